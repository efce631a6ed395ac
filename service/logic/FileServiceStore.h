// A service store kept under one folder, for the host build and for tests on both platforms: the
// executable is taken to lie in the folder, the configuration files are written there, and each
// registry parameter is a file under "Parameters" holding the value's raw data.
// (The Windows service host brings its own store with the real module path and registry key.)
#pragma once
#include <filesystem>
#include <functional>
#include <string>

#include "logic/ServiceStore.h"

namespace corvane {

class CFileServiceStore : public CServiceStore {
public:
    using LogSink = std::function<void(std::u16string_view)>;
    using Describer = std::function<std::u16string(HResult)>;

    // `log` receives every message (none: dropped); `describe` gives the text of an HRESULT (none: the
    // installed system message source, else "IDispatch error #%d" or "Unknown error 0x%0lX").
    explicit CFileServiceStore(std::filesystem::path folder, std::u16string moduleName = u"Corvane.exe",
                               LogSink log = {}, Describer describe = {});

    uint32_t GetModulePath(std::u16string& path) override;
    int WriteWholeFile(std::u16string_view path, std::string_view bytes, bool& openFailed) override;
    int ReadWholeFile(std::u16string_view path, std::string& bytes) override;
    uint32_t OpenParameters(bool create, std::unique_ptr<CParameterKey>& key) override;
    uint32_t CreatePrivateFolder(std::u16string_view path) override;
    int RemoveFile(std::u16string_view path) override;
    void WriteLog(std::u16string_view message) override;
    std::u16string DescribeHResult(HResult hr) override;

    const std::filesystem::path& Folder() const { return folder_; }

private:
    std::filesystem::path folder_;
    std::u16string moduleName_;
    LogSink log_;
    Describer describe_;
};

// The fallback text of an HRESULT that has no system message.
std::u16string FallbackHResultText(HResult hr);

}  // namespace corvane
