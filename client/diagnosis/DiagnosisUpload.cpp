// The diagnosis upload: upload request, PUT of the bundle, result report, each a separate exchange.
#include "diagnosis/DiagnosisUpload.h"

#include <ctime>

#include "core/DeviceInfo.h"
#include "core/HostResolve.h"
#include "core/HttpClient.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/ResultCodes.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "diagnosis/Diagnosis.h"
#include "helper/HelperClient.h"
#include "platform/FileStream.h"
#include "platform/Files.h"
#include "platform/HttpUrl.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

constexpr uint32_t kReportPutOk = 28;         // the PUT's status was 200
constexpr uint32_t kReportPutFailed = 10001;  // any other status
constexpr uint32_t kCannotConnect = kCodeHttpCannotConnect;
constexpr uint32_t kTooFrequent = 32;
constexpr uint32_t kNameNotResolved = kCodeHttpNameNotResolved;

bool IsRejection(std::u16string_view answer) {
    return GetIntField(answer, u"code", 0) == 401 && GetIntField(answer, u"invalidReasonCode", -1) == 1;
}

std::u16string AuthLine(std::u16string_view token) {
    return u"X-KX-AUTH-HEADER:" + std::u16string(token);
}

}  // namespace

std::u16string DiagnosisEndpoint(std::u16string_view authUrl, std::u16string_view path) {
    const std::size_t slash = authUrl.rfind(u'/');
    if (slash == std::u16string_view::npos) return {};
    return std::u16string(authUrl.substr(0, slash)) + std::u16string(path);
}

std::u16string UploadReportBody(std::u16string_view logId, std::u16string_view requestId, uint32_t transport,
                                uint32_t status, std::u16string_view answer, uint64_t time) {
    const std::u16string log(logId);
    const std::u16string request(requestId);
    if (transport == 0 && status == 200) {
        return FormatText(
            u"{\"logId\":\"%s\",\"errorCode\":200, \"reason\":\"\",\"requestId\":\"%s\",\"uploaded\":true,"
            u"\"uploadedTime\":%I64u}",
            log, request, time);
    }
    const uint32_t code = status == 200 ? kReportPutOk : kReportPutFailed;
    std::u16string_view reason;
    if (transport == kCannotConnect) reason = u"Can not connect server";
    if (transport == kTooFrequent) reason = u"The operation is too frequent, please try again later";
    if (transport == kNameNotResolved) reason = u"The server name could not be resolved";
    if (!reason.empty()) {
        return FormatText(
            u"{\"logId\":\"%s\",\"errorCode\":%d,\"reason\":\"%s\",\"requestId\":\"%s\","
            u"\"uploaded\":false,\"uploadedTime\":%I64u}",
            log, code, std::u16string(reason), request, time);
    }
    // The server's text goes into a JSON string: cut first (so no escape is split), then escaped.
    const std::u16string content = JsonEscape(answer.substr(0, kUploadReportTextLimit));
    return FormatText(
        u"{\"logId\":\"%s\",\"errorCode\":%d,\"reason\":\"error code %d, status code %d, content: %s\","
        u"\"requestId\":\"%s\",\"uploaded\":false,\"uploadedTime\":%I64u}",
        log, code, transport, status, content, request, time);
}

bool UploadDiagnosis(const DiagnosisFolders& folders, bool capture, bool& rejected) {
    rejected = false;
    // An upload that fails before its request must not be reported as accepted by an earlier run's flag.
    SetUploadRequestAccepted(false);
    LogMessageIdAtLevel(kMsgDiagnosisUploadStarted, kLogInfo);
    CHttpClient http;
    auto fail = [] {
        SetSettingInt(u"DiagnosisResult", 1);
        return false;
    };
    const std::u16string authUrl = GetSetting(u"AuthUrl", u"");
    if (authUrl.find(u'/') == std::u16string::npos) {
        LogMessageIdAtLevel(kMsgDiagnosisUploadNoServer, kLogInfo);
        return fail();
    }
    const std::u16string token = GetSetting(u"AuthToken", u"");
    if (token.empty()) {
        LogMessageIdAtLevel(kMsgDiagnosisUploadNoToken, kLogInfo);
        return fail();
    }
    const int32_t cpeId = GetSettingInt(u"CpeId", -1);
    const std::u16string customerId = GetSetting(u"CustomerId", u"");
    if (customerId.empty()) {
        LogMessageIdAtLevel(kMsgDiagnosisUploadNoCustomer, kLogInfo);
        return fail();
    }
    const std::u16string serial = GetInstallationSerial();
    const std::u16string zipPath = folders.diagnosis + u"\\" + std::u16string(kDiagnosisZipName);
    uint64_t size = 0;
    {
        platform::CFileStream zip;
        if (!zip.Open(zipPath, platform::FileOpenMode::kRead, platform::FileShare::kReadWrite) ||
            !zip.Size(size)) {
            LogFormatMessageIdAtLevel(kLogError, kMsgDiagnosisZipUnreadable, zip.Error(),
                                      platform::ErrorText(zip.Error()));
            return fail();
        }
    }
    const std::u16string body =
        cpeId == -1
            ? FormatText(u"{\"customerId\":\"%s\",\"sn\":\"%s\",\"fileName\":\"%s\",\"fileSize\":%I64u}",
                         customerId, serial, std::u16string(kDiagnosisZipName), size)
            : FormatText(
                  u"{\"customerId\":\"%s\",\"cpeId\":%d,\"sn\":\"%s\",\"fileName\":\"%s\",\"fileSize\":%"
                  u"I64u}",
                  customerId, cpeId, serial, std::u16string(kDiagnosisZipName), size);
    std::string answer;
    uint32_t status = 0;
    uint32_t transport =
        http.PostText(DiagnosisEndpoint(authUrl, u"/log/url"), body, answer, status, 1, AuthLine(token));
    std::u16string answerText = Utf8ToUtf16(answer);
    if (transport != 0 || status != 200) {
        SetUploadRequestAccepted(false);
        LogMessageIdAtLevel(kMsgDiagnosisUploadNoServer, kLogInfo);
        LogFormatMessageIdAtLevel(kLogDebug, kMsgDiagnosisUploadUrlAnswer, status, transport, answerText);
        if (IsRejection(answerText)) rejected = true;
        return fail();
    }
    LogFormatMessageIdAtLevel(kLogDebug, kMsgDiagnosisUploadUrlAnswer, status, 0u, answerText);
    SetUploadRequestAccepted(true);
    const std::u16string uploadUrl = GetStringField(answerText, u"uploadUrl", u"");
    const std::u16string requestId = GetStringField(answerText, u"requestId", u"");
    const std::u16string logId = GetStringField(answerText, u"logId", u"");
    LogMessageIdAtLevel(kMsgDiagnosisUploadUrlReceived, kLogInfo);
    if (!capture) {
        // Outside the NATIVE data path, an upload address in the link-local range is reached through the
        // tunnel.
        platform::HttpUrlParts parts;
        std::u16string addresses;
        if (platform::SplitHttpUrl(uploadUrl, parts) == 0 && ResolveHostIpv4(parts.host, addresses) &&
            addresses.size() >= 4 && addresses.compare(0, 3, u"169") == 0) {
            (void)AddTunnelRoute(addresses);
        }
    }
    transport = http.PutZipFile(uploadUrl, zipPath, answer, status);
    const uint64_t now = static_cast<uint64_t>(std::time(nullptr));
    LogMessageIdAtLevel(kMsgDiagnosisUploaded, kLogInfo);
    answerText = Utf8ToUtf16(answer);
    const std::u16string resultUrl = DiagnosisEndpoint(authUrl, u"/log/result");
    if (transport != 0 || status != 200) {
        LogMessageIdAtLevel(kMsgDiagnosisUploadFailed, kLogError);
        LogFormatMessageIdAtLevel(kLogDebug, kMsgDiagnosisUploadAnswer, status, transport, answerText);
        std::string ignored;
        uint32_t ignoredStatus = 0;
        (void)http.PostText(resultUrl, UploadReportBody(logId, requestId, transport, status, answerText, now),
                            ignored, ignoredStatus, 1, AuthLine(token));
        return fail();
    }
    transport = http.PostText(resultUrl, UploadReportBody(logId, requestId, 0, 200, u"", now), answer, status,
                              1, AuthLine(token));
    if (transport != 0 || status != 200) {
        LogMessageIdAtLevel(kMsgDiagnosisResultReportFailed, kLogError);
        if (IsRejection(Utf8ToUtf16(answer))) rejected = true;
        return fail();
    }
    SetSettingInt(u"DiagnosisResult", 0);
    return true;
}

}  // namespace velora
