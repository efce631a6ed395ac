// The error catalogue (in progress).
#include "auth/ErrorCatalogue.h"

namespace velora {
void loadErrorCatalogue(std::u16string_view, std::u16string_view) {}
void updateErrorCatalogue(std::u16string_view) {}
std::u16string serverErrorText(std::u16string_view) { return {}; }
void ParseErrorCatalogue(std::u16string_view, std::map<int32_t, std::u16string>&,
                         std::map<int32_t, std::u16string>&) {}
void ResetErrorCatalogueForTest() {}
std::u16string ErrorCatalogueVersionForTest() { return {}; }
}  // namespace velora
