// The skin code's exception: HRESULT form of the code and the throw helper.
#include "core/BrxException.h"

#include "platform/SystemErrors.h"

namespace velora {

CBrxException::CBrxException(int32_t code, int32_t line, const char* file, const char* function)
    : code_(ToHresult(code)), line_(line), file_(file ? file : ""), function_(function ? function : "") {}

int32_t CBrxException::ToHresult(int32_t code) {
    return platform::HResultFromWin32(static_cast<uint32_t>(code));
}

void ThrowBrxException(int32_t code, int32_t line, const char* file, const char* function) {
    throw new CBrxException(code, line, file, function);
}

}  // namespace velora
