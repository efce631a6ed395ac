// PostText under Wine or Windows (WinINet) against the cloud stand-in on loopback: 1,000 sequential
// exchanges, one CHttpClient each as the callers use it, over HTTP and HTTPS. Reports the median per
// exchange and the client's own share: the total time minus the stand-in's handling time from its
// statistics. The stand-in is started by `./run bench`, which names its folder (ready file, test CA) in
// VELORA_BENCH_SIM_DIR. Plain timing loop: Google Benchmark has no mingw-w64 build here.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/HttpClient.h"
#include "core/JsonFields.h"
#include "platform/Http.h"
#include "platform/Text.h"

#include "StandInStats.h"

namespace {

constexpr int kExchanges = 1000;

// name=url lines of the stand-in's ready file.
std::map<std::string, std::string> ReadReady(const std::string& folder) {
    std::map<std::string, std::string> urls;
    std::ifstream in(folder + "\\ready");
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto eq = line.find('=');
        if (eq != std::string::npos) urls[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return urls;
}

bool Control(const std::u16string& url, const std::u16string& body) {
    velora::CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    return client.PostText(url, body, answer, status, 1) == 0 && status == 200;
}

// 1,000 exchanges with `base`; the answers are scripted under a path of this listener's own, so the
// stand-in's statistics for that path are exactly these exchanges.
bool Measure(const char* name, const std::u16string& base, const std::u16string& control) {
    const std::u16string path = u"/bench/win/" + platform::Utf8ToUtf16(name);
    if (!Control(control + u"/_sim/reset?prefix=" + path, u"") ||
        !Control(control + u"/_sim/answers",
                 u"{\"path\":\"" + path +
                     u"\",\"status\":200,\"body\":{\"resultCode\":0,\"heartbeatInterval\":30}}")) {
        std::printf("%-10s the stand-in refused the set-up\n", name);
        return false;
    }
    const std::u16string body =
        u"{\"customerId\":\"c-1\",\"userName\":\"alice\",\"sn\":\"SN-0001\",\"type\":\"windows\"}";
    std::vector<double> micros;
    micros.reserve(kExchanges);
    double total = 0;
    for (int i = 0; i < kExchanges; ++i) {
        const auto start = std::chrono::steady_clock::now();
        velora::CHttpClient client;
        std::string answer;
        uint32_t status = 0;
        const uint32_t error =
            client.PostText(base + path, body, answer, status, 1, u"sn:SN-0001", u"type:windows", u"");
        const double us =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
        if (error != 0 || status != 200) {
            std::printf("%-10s exchange %d failed: error %u, status %u\n", name, i, error, status);
            return false;
        }
        micros.push_back(us);
        total += us;
    }
    std::sort(micros.begin(), micros.end());

    const velora::bench::StandInStats stats = velora::bench::ReadStandInStats(control, path);
    const int32_t count = stats.count;
    const double handling = stats.handlingMicros;
    if (count != kExchanges) {
        std::printf("%-10s the stand-in counted %d exchanges, not %d\n", name, count, kExchanges);
        return false;
    }
    const double standIn = handling / count;
    std::printf("%-10s %6d %10.1f %10.1f %10.1f %10.1f %10.1f %10.1f %12.1f\n", name, kExchanges,
                micros[micros.size() / 2], micros.front(), micros[micros.size() * 9 / 10], micros.back(),
                total / kExchanges, standIn, (total - handling) / kExchanges);
    return true;
}

}  // namespace

int wmain() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const char* folder = std::getenv("VELORA_BENCH_SIM_DIR");
    if (!folder || !*folder) {
        std::printf("VELORA_BENCH_SIM_DIR must name the running stand-in's folder (./run bench sets it)\n");
        return 1;
    }
    auto urls = ReadReady(folder);
    if (urls["http"].empty()) {
        std::printf("no running stand-in in %s\n", folder);
        return 1;
    }
    const std::u16string http = platform::Utf8ToUtf16(urls["http"]);
    std::printf("%-10s %6s %10s %10s %10s %10s %10s %10s %12s\n", "PostText", "runs", "median_us", "min_us",
                "p90_us", "max_us", "mean_us", "standin_us", "client_us");
    bool ok = Measure("http", http, http);
    if (!urls["https"].empty()) {
        // WinINet validates the stand-in's certificate for real: its test CA joins the user's root store.
        const std::string ca = std::string(folder) + "\\ca.pem";
        if (!platform::TrustRootCertificateForTest(platform::Utf8ToUtf16(ca))) {
            std::printf("the test CA %s could not be trusted\n", ca.c_str());
            return 1;
        }
        ok &= Measure("https", platform::Utf8ToUtf16(urls["https"]), http);
    }
    std::printf("client_us: the mean exchange minus the stand-in's mean handling time\n");
    return ok ? 0 : 1;
}
