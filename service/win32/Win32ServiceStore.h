// The service store of the running Corvane.exe: files beside the executable, the credentials under
// HKEY_LOCAL_MACHINE "SYSTEM\CurrentControlSet\Services\Corvane\Parameters", lines to "service.log", and
// the system's message texts for result codes.
#pragma once
#include "logic/ServiceStore.h"

namespace corvane::win32 {

class CWin32ServiceStore : public CServiceStore {
public:
    uint32_t GetModulePath(std::u16string& path) override;
    int WriteWholeFile(std::u16string_view path, std::string_view bytes, bool& openFailed) override;
    int ReadWholeFile(std::u16string_view path, std::string& bytes) override;
    uint32_t OpenParameters(bool create, std::unique_ptr<CParameterKey>& key) override;
    uint32_t CreatePrivateFolder(std::u16string_view path) override;
    int RemoveFile(std::u16string_view path) override;
    void WriteLog(std::u16string_view message) override;
    std::u16string DescribeHResult(HResult hr) override;
};

// The one store the automation objects share; it holds no state of its own.
CServiceStore& ServiceStore();

}  // namespace corvane::win32
