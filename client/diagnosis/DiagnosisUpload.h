// The upload of the diagnosis bundle: ask the service where to put "windows_diagnosis.zip", PUT it there
// and report the outcome. Any failure before a successful report leaves "DiagnosisResult" 1, so the next
// connect sends the same bundle again.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "diagnosis/DiagnosisRequest.h"

namespace velora {

// The longest piece of the upload's answer that goes into a failure report.
constexpr std::size_t kUploadReportTextLimit = 1024;

// `capture`: the client is connected in NATIVE mode (otherwise an upload address in 169.x goes through
// the tunnel). `rejected`: the service no longer accepts this sign-in. True when the bundle was delivered
// and reported.
bool UploadDiagnosis(const DiagnosisFolders& folders, bool capture, bool& rejected);

// The report endpoints: "AuthUrl" cut at its last "/" followed by "/log/url" or "/log/result"; empty when
// the URL has no "/".
std::u16string DiagnosisEndpoint(std::u16string_view authUrl, std::u16string_view path);

// The result report's body for the PUT's outcome (transport result, HTTP status, its answer).
std::u16string UploadReportBody(std::u16string_view logId, std::u16string_view requestId, uint32_t transport,
                                uint32_t status, std::u16string_view answer, uint64_t time);

}  // namespace velora
