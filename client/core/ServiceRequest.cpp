// The one rule for the service's header lines, and the POST of a service request.
#include "core/ServiceRequest.h"

#include "core/HttpClient.h"
#include "core/TextHelpers.h"

namespace velora {
namespace {

ServiceAnswer Post(const ServiceRequest& request, int json) {
    ServiceAnswer answer;
    CHttpClient client;
    answer.transport =
        client.PostLines(request.url, request.body, answer.bytes, answer.status, json, ServiceLines(request));
    answer.text = Utf8ToUtf16(answer.bytes);
    return answer;
}

}  // namespace

std::vector<std::u16string> ServiceLines(const ServiceRequest& request) {
    std::vector<std::u16string> lines;
    const std::u16string auth =
        request.token.empty() ? std::u16string() : u"X-KX-AUTH-HEADER:" + request.token;
    if (!request.ownLine.empty()) lines.push_back(request.ownLine);
    if (request.tokenFirst && !auth.empty()) lines.push_back(auth);
    if (!request.serial.empty()) lines.push_back(u"sn:" + request.serial);
    if (!request.tokenFirst && !auth.empty()) lines.push_back(auth);
    if (!request.serial.empty()) lines.emplace_back(u"type:windows");
    return lines;
}

ServiceAnswer PostJson(const ServiceRequest& request) {
    return Post(request, 1);
}

ServiceAnswer PostForm(const ServiceRequest& request) {
    return Post(request, 0);
}

}  // namespace velora
