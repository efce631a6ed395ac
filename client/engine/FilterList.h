// The traffic filter list: which destinations go through the tunnel (`whiteIpSet`) and which bypass it
// (`blackIpSet`), by `ipSetMode`. The client downloads it from the URL of the connect answer, hands it to
// the helper service (which writes "filterConfig.conf" beside itself) and keeps its text and lists in the
// EngineState; the settings "FilterVerify" (salted digest of the document's UTF-8 bytes) and
// "FilterVersion" (the URL's version key) let a later connection skip an unchanged list.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "core/ResultCodes.h"

namespace velora {

// Results of the filter step (the connect worker posts them with its own result).
inline constexpr int32_t kFilterDownloadFailed = kCodeFilterListFailed;
inline constexpr int32_t kFilterSaveFailed = kCodeHelperStoreFailed;

// Reads the first line of "filterConfig.conf" beside the client's own module file (Velora.exe, or
// Velora.dll wherever the program that loaded it lies; UTF-8) into `filterText` and,
// when it is not empty, the mode and both lists. A missing or unreadable file changes nothing.
void LoadCachedFilterList();
// The same from a given folder (with its trailing separator).
void LoadCachedFilterListFrom(std::u16string_view folder);

// True when the cached list is the one the orchestrator announces: the stored digest matches
// `filterText`, which is not empty, and the expected version key ("/%s/%d" of the site template and the
// version, or the URL's own key when either is missing) is the stored, non-empty "FilterVersion".
bool IsFilterListCurrent(std::u16string_view url, std::u16string_view siteTemplateId,
                         int32_t mobileTrafficVersion);

// Downloads and installs the list. False with `codeOut` 30104 (and the transport code or the status in
// `detailOut`) when the download fails, 30114 when the helper service refuses the list; an empty URL
// returns false at once and leaves both untouched.
bool DownloadFilterList(std::u16string_view url, int32_t& codeOut, int32_t& detailOut);

// The version key of a URL: from the third-last "/" up to the last one ("/site/12" of ".../site/12/list");
// empty with fewer than three "/".
std::u16string FilterVersionKey(std::u16string_view url);

// A list as the user log shows it: up to 20 characters unchanged, a longer one cut to 20 and "...", an
// empty one "none" (U+65E0 for the UI language 2052).
std::u16string ShortenForDisplay(std::u16string_view list, uint16_t uiLanguage);

}  // namespace velora
