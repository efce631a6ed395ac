// A request to the cloud service as the callers think of it (where, what, for which installation and
// with which token), on top of CHttpClient: the service's own header lines follow from it by one rule,
// and the answer comes back as transport result, status and text together.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velora {

struct ServiceRequest {
    std::u16string url{};
    std::u16string body{};
    std::u16string serial{};   // not empty: the device's lines "sn:" + serial and "type:windows"
    std::u16string token{};    // not empty: the line "X-KX-AUTH-HEADER:" + token
    std::u16string ownLine{};  // a line of the operation's own (such as "middleToken:..."), or empty
    bool tokenFirst = false;   // the auth line leads, before the device's lines (the password change)
};

struct ServiceAnswer {
    uint32_t transport = 0;  // 0, or the transport's error number
    uint32_t status = 0;     // the HTTP status when one was read
    std::string bytes;       // the answer as received (UTF-8)
    std::u16string text;     // the same as text
    bool Succeeded() const { return transport == 0 && status == 200; }
};

// The header lines of a request in their one order: the operation's own line, "sn:", the auth line,
// "type:windows" (the auth line ahead of "sn:" when the request says so); lines a request does not
// carry are left out.
std::vector<std::u16string> ServiceLines(const ServiceRequest& request);

// POSTs the body with the JSON or the form content type and the request's lines.
ServiceAnswer PostJson(const ServiceRequest& request);
ServiceAnswer PostForm(const ServiceRequest& request);

}  // namespace velora
