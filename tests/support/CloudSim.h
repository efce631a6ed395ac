// Access to the cloud service stand-in that the test run started (CTest fixture cloud_sim): its URLs,
// the test CA, per-test paths, and its control endpoints (scripted answers, faults, the request record).
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <string_view>

#include "core/HttpClient.h"
#include "platform/Files.h"
#include "platform/Http.h"
#include "platform/Text.h"

namespace velora::test {

class CCloudSimAccess {
public:
    // Reads the stand-in's ready file; false (with a test failure) when the fixture did not start it.
    bool Open() {
        std::string info;
        if (!platform::ReadWholeFile(Dir() + u"/ready", info)) {
            ADD_FAILURE()
                << "the cloud stand-in is not running: run the tests through ctest (fixture cloud_sim)";
            return false;
        }
        std::size_t start = 0;
        while (start < info.size()) {
            auto end = info.find('\n', start);
            if (end == std::string::npos) end = info.size();
            const std::string line = info.substr(start, end - start);
            if (const auto eq = line.find('='); eq != std::string::npos) {
                urls_[line.substr(0, eq)] = platform::Utf8ToUtf16(line.substr(eq + 1));
            }
            start = end + 1;
        }
        return true;
    }

    // The fixture's folder; a test run in a network namespace of its own names the stand-in it started there
    // in VELORA_CLOUD_SIM_DIR.
    static std::u16string Dir() {
        const char* own = std::getenv("VELORA_CLOUD_SIM_DIR");
        return platform::Utf8ToUtf16(own && *own ? own : VELORA_CLOUD_SIM_DIR);
    }
    static std::u16string CaFile() { return Dir() + u"/ca.pem"; }

    // Base URL of a listener: "http", "https", "http6", "https6", "wrongname", "expired", "self".
    std::u16string Url(const std::string& listener) const {
        const auto it = urls_.find(listener);
        return it == urls_.end() ? std::u16string() : it->second;
    }
    std::u16string Port(const std::string& listener) const {
        const std::u16string url = Url(listener);
        return url.substr(url.rfind(u':') + 1);
    }

    // A path of this test's own, so tests that run side by side never see each other's requests.
    static std::u16string UniquePath(std::u16string_view name) {
        static std::atomic<int> counter{0};
        std::random_device random;
        return u"/t/" + std::u16string(name) + u"-" + platform::Utf8ToUtf16(std::to_string(random())) + u"-" +
               platform::Utf8ToUtf16(std::to_string(++counter));
    }

    // Control calls go over plain HTTP with the product's client; they fail the test when refused.
    void Control(std::u16string_view path, std::u16string_view body) const {
        CHttpClient client;
        std::string answer;
        uint32_t status = 0;
        const uint32_t error = client.PostText(Url("http") + std::u16string(path), body, answer, status, 1);
        ASSERT_EQ(error, 0u) << "control " << platform::Utf16ToUtf8(path);
        ASSERT_EQ(status, 200u) << "control " << platform::Utf16ToUtf8(path) << ": " << answer;
    }
    void Answer(std::u16string_view json) const { Control(u"/_sim/answers", json); }
    void Fault(std::u16string_view json) const { Control(u"/_sim/faults", json); }

    // One part ("method", "target", "tls", "body", "headers", "count", "header&name=X") of the last
    // request to the path, as raw bytes.
    std::string Last(std::u16string_view path, std::u16string_view part) const {
        CHttpClient client;
        std::string answer;
        uint32_t status = 0;
        const uint32_t error = client.GetText(
            Url("http") + u"/_sim/last?path=" + std::u16string(path) + u"&part=" + std::u16string(part),
            answer, status);
        EXPECT_EQ(error, 0u);
        return answer;
    }

    // A fresh customer world of the stand-in's real operations, with the scenario data given (accounts,
    // customers, ...): returns its name; its URLs are Url(listener) + u"/t/" + name.
    std::u16string Tenant(std::u16string_view name, std::u16string_view data) const {
        static std::atomic<int> counter{0};
        std::random_device random;
        const std::u16string unique = std::u16string(name) + u"-" + platform::Utf8ToUtf16(std::to_string(random())) +
                                      u"-" + platform::Utf8ToUtf16(std::to_string(++counter));
        Control(u"/_sim/tenant?name=" + unique, data);
        return unique;
    }
    std::u16string TenantUrl(const std::string& listener, std::u16string_view tenant) const {
        return Url(listener) + u"/t/" + std::u16string(tenant);
    }
    // The requests of the tenant's orchestrator refused for breaking the protocol (method, path and what
    // was wrong, as the stand-in's state keeps them); empty when there were none. A client that shrugs
    // off the 400 (a heartbeat) does not fail by itself: tests look here.
    std::string Refusals(std::u16string_view tenant) const {
        CHttpClient client;
        std::string answer;
        uint32_t status = 0;
        EXPECT_EQ(client.GetText(TenantUrl("http", tenant) + u"/orch/_state", answer, status), 0u);
        const std::size_t at = answer.find("\"refusals\":");
        return at == std::string::npos ? std::string() : answer.substr(at, answer.find(']', at) - at + 1);
    }

private:
    std::map<std::string, std::u16string> urls_;
};

}  // namespace velora::test
