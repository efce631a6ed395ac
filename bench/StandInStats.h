// The stand-in's own count of the requests under a path prefix and their summed handling time
// (GET /_sim/stats), so a benchmark can tell the client's share of an exchange from the stand-in's.
#pragma once
#include <cstdint>
#include <string>

#include "core/HttpClient.h"
#include "core/JsonFields.h"
#include "platform/Text.h"

namespace velora::bench {

struct StandInStats {
    int32_t count = 0;
    double handlingMicros = 0;
};

inline StandInStats ReadStandInStats(const std::u16string& controlUrl, const std::u16string& prefix) {
    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    client.GetText(controlUrl + u"/_sim/stats?prefix=" + prefix, answer, status);
    const std::u16string text = platform::Utf8ToUtf16(answer);
    return {GetIntField(text, u"count", 0), static_cast<double>(GetIntField(text, u"handlingMicros", 0))};
}

}  // namespace velora::bench
