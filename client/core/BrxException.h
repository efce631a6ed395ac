// The exception of the skinned-window code and its resource loaders: a result code in HRESULT form,
// the source line and file, and the name of the operation that failed ("CImageResource::Load").
#pragma once
#include <cstdint>
#include <string>

#include "core/Exception.h"

namespace velora {

class CBrxException : public CException {
public:
    // `code` is turned into HRESULT form (see ToHresult).
    CBrxException(int32_t code, int32_t line, const char* file, const char* function);

    int32_t Code() const { return code_; }
    int32_t Line() const { return line_; }
    const std::string& File() const { return file_; }
    const std::string& Function() const { return function_; }

    // A positive system error code e becomes 0x80070000 combined with the low 16 bits of e; zero and
    // negative values (already HRESULTs) stay as they are.
    static int32_t ToHresult(int32_t code);

protected:
    ~CBrxException() override = default;

private:
    int32_t code_;
    int32_t line_;
    std::string file_;
    std::string function_;
};

// Throws a new CBrxException by pointer; the catcher calls Delete() on it.
[[noreturn]] void ThrowBrxException(int32_t code, int32_t line, const char* file, const char* function);

}  // namespace velora
