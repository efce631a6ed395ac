// The cloud service stand-in: scripted answers from a scenario file, injected faults, a record of every
// request, and the control endpoints under /_sim/ through which tests drive and inspect it.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "HttpServer.h"
#include "Operations.h"

namespace sim {

class CCloudSim : public IHandler {
public:
    // Loads (or with an empty path: clears) the scenario. False with a reason when it cannot be used.
    bool LoadScenario(const std::string& path, std::string& error);
    void OnStop(std::function<void()> stop) { stop_ = std::move(stop); }

    Reply Handle(const Request& request) override;
    void Handled(int64_t recordId, int64_t micros) override;

private:
    struct Answer {
        std::string method;  // empty: any
        std::string path;
        int status = 200;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
        int times = -1;  // answers left; -1: without end
    };
    struct Fault {
        std::string method;  // empty: any
        std::string prefix;  // the paths it applies to
        std::string kind;
        int ms = 0;
        int status = 500;
        std::size_t size = 20u * 1024 * 1024;
        std::string body;
        bool hasBody = false;
        int times = -1;
    };
    struct Entry {
        int64_t seq = 0;
        Request request;
        std::size_t bodyLength = 0;  // the body is kept up to kMaxRecordedBody bytes
        int status = 0;
        int64_t micros = -1;
    };

    Reply Control(const Request& request);
    Reply Operation(const Request& request, int64_t recordId);
    void ApplyScenario(const nlohmann::json& scenario);
    static Answer ParseAnswer(const nlohmann::json& j);
    static Fault ParseFault(const nlohmann::json& j);
    void AddAnswers(std::vector<Answer> answers);
    nlohmann::json EntryJson(const Entry& e) const;

    std::mutex lock_;
    nlohmann::json scenario_ = nlohmann::json::object();
    std::vector<Answer> answers_;
    std::vector<Fault> faults_;
    std::deque<Entry> record_;
    int64_t nextSeq_ = 1;
    std::function<void()> stop_;
    COperations operations_;  // has its own lock
};

}  // namespace sim
