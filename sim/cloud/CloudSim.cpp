// Scripted answers, faults, the request record and the control endpoints of the stand-in.
#include "CloudSim.h"

#include "SimReplies.h"

#include <fstream>
#include <sstream>

namespace sim {
namespace {

using nlohmann::json;

constexpr std::size_t kMaxRecordEntries = 20000;
constexpr std::size_t kMaxRecordedBody = 4u * 1024 * 1024;
constexpr int kDefaultHoldMs = 120000;

}  // namespace

std::string Base64(std::string_view in) {
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((in.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += table[v & 63];
    }
    if (i + 1 == in.size()) {
        const uint32_t v = uint8_t(in[i]) << 16;
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == in.size()) {
        const uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8);
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string Unbase64(std::string_view in) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+' || c == '-') return 62;
        if (c == '/' || c == '_') return 63;
        return -1;
    };
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (const char c : in) {
        const int v = value(c);
        if (v < 0) continue;
        bits = (bits << 6) | static_cast<uint32_t>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

namespace {

// Record texts may hold any bytes; JSON wants UTF-8, so invalid bytes become U+FFFD there (the exact
// bytes are in the Base64 field).
std::string Printable(const std::string& bytes) {
    return json(bytes).dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

Reply JsonReply(int status, const json& body) {
    Reply reply;
    reply.status = status;
    reply.body = body.dump(-1, ' ', false, json::error_handler_t::replace);
    reply.headers.emplace_back("Content-Type", "application/json");
    return reply;
}

Reply JsonReply(int status, const nlohmann::ordered_json& body) {
    Reply reply;
    reply.status = status;
    reply.body = body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    reply.headers.emplace_back("Content-Type", "application/json");
    return reply;
}

Reply TextReply(int status, std::string body) {
    Reply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.headers.emplace_back("Content-Type", "text/plain");
    return reply;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

namespace {

std::string BodyOf(const json& j, const std::string& key) {
    if (j.contains(key + "Base64")) return Unbase64(j.at(key + "Base64").get<std::string>());
    if (j.contains(key)) {
        const json& v = j.at(key);
        return v.is_string() ? v.get<std::string>() : v.dump();
    }
    return {};
}

}  // namespace

bool CCloudSim::LoadScenario(const std::string& path, std::string& error) {
    json scenario = json::object();
    if (!path.empty()) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = "cannot read " + path;
            return false;
        }
        try {
            scenario = json::parse(in);
        } catch (const std::exception& e) {
            error = std::string("scenario is not JSON: ") + e.what();
            return false;
        }
    }
    try {
        std::lock_guard<std::mutex> lock(lock_);
        scenario_ = scenario;
        ApplyScenario(scenario_);
        operations_.SetDefault(scenario_);
    } catch (const std::exception& e) {
        error = std::string("scenario cannot be used: ") + e.what();
        return false;
    }
    return true;
}

void CCloudSim::ApplyScenario(const json& scenario) {
    answers_.clear();
    faults_.clear();
    if (scenario.contains("answers")) {
        for (const json& a : scenario.at("answers")) answers_.push_back(ParseAnswer(a));
    }
    if (scenario.contains("faults")) {
        for (const json& f : scenario.at("faults")) faults_.push_back(ParseFault(f));
    }
}

CCloudSim::Answer CCloudSim::ParseAnswer(const json& j) {
    Answer a;
    a.method = j.value("method", std::string());
    a.path = j.at("path").get<std::string>();
    a.status = j.value("status", 200);
    a.body = BodyOf(j, "body");
    a.times = j.value("times", -1);
    if (j.contains("headers")) {
        for (const auto& [name, value] : j.at("headers").items()) {
            a.headers.emplace_back(name, value.is_string() ? value.get<std::string>() : value.dump());
        }
    }
    return a;
}

CCloudSim::Fault CCloudSim::ParseFault(const json& j) {
    Fault f;
    f.method = j.value("method", std::string());
    f.prefix = j.value("path", std::string("/"));
    f.kind = j.at("kind").get<std::string>();
    f.ms = j.value("ms", f.kind == "never-answer" ? kDefaultHoldMs : 0);
    f.status = j.value("status", 500);
    f.size = j.value("size", f.size);
    f.hasBody = j.contains("body") || j.contains("bodyBase64");
    f.body = BodyOf(j, "body");
    f.times = j.value("times", -1);
    static const char* kinds[] = {"delay",           "drop",      "fail",           "close-mid-answer",
                                  "nul-bytes",       "huge-body", "no-status-line", "never-answer",
                                  "status-line-only"};
    bool known = false;
    for (const char* k : kinds) known = known || f.kind == k;
    if (!known) throw std::runtime_error("unknown fault kind " + f.kind);
    return f;
}

void CCloudSim::AddAnswers(std::vector<Answer> answers) {
    // Answers posted together replace every earlier answer for their method and path, so a test can
    // script a sequence (with "times") or change an answer without a reset.
    for (const Answer& a : answers) {
        std::erase_if(answers_,
                      [&](const Answer& old) { return old.path == a.path && old.method == a.method; });
    }
    for (Answer& a : answers) answers_.push_back(std::move(a));
}

Reply CCloudSim::Handle(const Request& request) {
    if (StartsWith(request.path, "/_sim/")) return Control(request);
    int64_t id;
    {
        std::lock_guard<std::mutex> lock(lock_);
        Entry entry;
        entry.seq = id = nextSeq_++;
        entry.request = request;
        entry.bodyLength = request.body.size();
        if (entry.request.body.size() > kMaxRecordedBody) entry.request.body.resize(kMaxRecordedBody);
        record_.push_back(std::move(entry));
        if (record_.size() > kMaxRecordEntries) record_.pop_front();
    }
    Reply reply = Operation(request, id);
    reply.recordId = id;
    std::lock_guard<std::mutex> lock(lock_);
    for (Entry& e : record_) {
        if (e.seq == id) e.status = reply.kind == Reply::Kind::kNormal ? reply.status : 0;
    }
    return reply;
}

void CCloudSim::Handled(int64_t recordId, int64_t micros) {
    if (recordId < 0) return;
    std::lock_guard<std::mutex> lock(lock_);
    // Entries are in order of their numbers: search from the end, where the recent ones are.
    for (auto it = record_.rbegin(); it != record_.rend(); ++it) {
        if (it->seq == recordId) {
            it->micros = micros;
            break;
        }
    }
}

Reply CCloudSim::Operation(const Request& request, int64_t) {
    Reply reply;
    Fault fault;
    bool faulted = false;
    Answer answer;
    bool answered = false;
    {
        std::lock_guard<std::mutex> lock(lock_);
        for (Fault& f : faults_) {
            if (f.times == 0 || !StartsWith(request.path, f.prefix)) continue;
            if (!f.method.empty() && f.method != request.method) continue;
            if (f.times > 0) --f.times;
            fault = f;
            faulted = true;
            break;
        }
        for (Answer& a : answers_) {
            if (a.times == 0 || a.path != request.path) continue;
            if (!a.method.empty() && a.method != request.method) continue;
            if (a.times > 0) --a.times;
            answer = a;
            answered = true;
            break;
        }
    }
    if (answered) {
        reply.status = answer.status;
        reply.headers = answer.headers;
        reply.body = answer.body;
    } else if (!operations_.Answer(request, reply)) {
        reply = JsonReply(404, json{{"message", "no answer for " + request.method + " " + request.path}});
    }
    if (!faulted) return reply;

    const std::string& kind = fault.kind;
    if (kind == "delay") {
        reply.delayMs = fault.ms;
    } else if (kind == "drop") {
        reply.kind = Reply::Kind::kDrop;
        reply.delayMs = fault.ms;
    } else if (kind == "fail") {
        reply = fault.hasBody ? TextReply(fault.status, fault.body)
                              : JsonReply(fault.status, json{{"message", "injected failure"}});
        reply.delayMs = fault.ms;
    } else if (kind == "close-mid-answer") {
        // The head promises more than the connection then carries.
        const std::string body = fault.hasBody ? fault.body : std::string(100, 'x');
        reply.kind = Reply::Kind::kRaw;
        reply.raw = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                    std::to_string(body.size() * 10 + 1000) + "\r\n\r\n" + body;
    } else if (kind == "nul-bytes") {
        reply.status = 200;
        reply.body = fault.hasBody ? fault.body : std::string("{\"a\":\"before\0after\"}", 20);
    } else if (kind == "huge-body") {
        reply.status = 200;
        reply.body.assign(fault.size, 'a');
        if (!reply.body.empty()) reply.body.back() = 'z';
        reply.headers = {{"Content-Type", "text/plain"}};
    } else if (kind == "no-status-line") {
        reply.kind = Reply::Kind::kRaw;
        reply.raw = "Content-Type: text/plain\r\nContent-Length: 5\r\n\r\nhello";
    } else if (kind == "status-line-only") {
        // A whole answer without a single header line: the body ends where the connection does.
        reply.kind = Reply::Kind::kRaw;
        reply.raw = "HTTP/1.1 200 OK\r\n\r\n" + (fault.hasBody ? fault.body : std::string("hello"));
    } else if (kind == "never-answer") {
        reply.kind = Reply::Kind::kHold;
        reply.holdMs = fault.ms;
    }
    return reply;
}

json CCloudSim::EntryJson(const Entry& e) const {
    json headers = json::array();
    for (const auto& [name, value] : e.request.headers) headers.push_back(json::array({name, value}));
    json j{{"seq", e.seq},
           {"listener", e.request.listener},
           {"tls", e.request.tls},
           {"method", e.request.method},
           {"target", e.request.target},
           {"path", e.request.path},
           {"query", e.request.query},
           {"headerLines", e.request.headerLines},
           {"headers", headers},
           {"bodyBase64", Base64(e.request.body)},
           {"bodyLength", e.bodyLength},
           {"status", e.status},
           {"handlingMicros", e.micros}};
    j["body"] = json::parse(Printable(e.request.body));
    return j;
}

Reply CCloudSim::Control(const Request& request) {
    const std::string& path = request.path;
    try {
        if (path == "/_sim/health") return TextReply(200, "ok");
        if (path == "/_sim/requests" && request.method == "GET") {
            const std::string prefix = request.QueryValue("prefix");
            json list = json::array();
            std::lock_guard<std::mutex> lock(lock_);
            for (const Entry& e : record_) {
                if (StartsWith(e.request.path, prefix)) list.push_back(EntryJson(e));
            }
            return JsonReply(200, list);
        }
        if (path == "/_sim/last" && request.method == "GET") {
            // One part of the last request to a path, as raw bytes: easy to compare byte for byte.
            const std::string wanted = request.QueryValue("path");
            const std::string part = request.QueryValue("part");
            std::lock_guard<std::mutex> lock(lock_);
            std::size_t count = 0;
            const Entry* last = nullptr;
            for (const Entry& e : record_) {
                if (e.request.path == wanted) {
                    ++count;
                    last = &e;
                }
            }
            if (part == "count") return TextReply(200, std::to_string(count));
            if (!last) return TextReply(404, "");
            if (part == "method") return TextReply(200, last->request.method);
            if (part == "target") return TextReply(200, last->request.target);
            if (part == "tls") return TextReply(200, last->request.tls ? "1" : "0");
            if (part == "body") return TextReply(200, last->request.body);
            if (part == "bodyhex") {
                static const char* digits = "0123456789abcdef";
                std::string hex;
                for (const unsigned char c : last->request.body) {
                    hex += digits[c >> 4];
                    hex += digits[c & 15];
                }
                return TextReply(200, hex);
            }
            if (part == "headers") {
                std::string lines;
                for (const std::string& line : last->request.headerLines) lines += line + "\r\n";
                return TextReply(200, lines);
            }
            if (part == "header") return TextReply(200, last->request.Header(request.QueryValue("name")));
            return TextReply(400, "unknown part");
        }
        if (path == "/_sim/stats" && request.method == "GET") {
            const std::string prefix = request.QueryValue("prefix");
            int64_t count = 0, micros = 0;
            std::lock_guard<std::mutex> lock(lock_);
            for (const Entry& e : record_) {
                if (!StartsWith(e.request.path, prefix) || e.micros < 0) continue;
                ++count;
                micros += e.micros;
            }
            return JsonReply(200, json{{"count", count}, {"handlingMicros", micros}});
        }
        if (request.method != "POST") return TextReply(405, "use POST");
        if (path == "/_sim/answers" || path == "/_sim/faults") {
            const json body = json::parse(request.body);
            const json list = body.is_array() ? body : json::array({body});
            std::lock_guard<std::mutex> lock(lock_);
            if (path == "/_sim/answers") {
                std::vector<Answer> answers;
                for (const json& a : list) answers.push_back(ParseAnswer(a));
                AddAnswers(std::move(answers));
            } else {
                for (const json& f : list) faults_.push_back(ParseFault(f));
            }
            return JsonReply(200, json{{"added", list.size()}});
        }
        if (path == "/_sim/reset") {
            const std::string prefix = request.QueryValue("prefix");
            std::lock_guard<std::mutex> lock(lock_);
            if (prefix.empty()) {
                record_.clear();
                ApplyScenario(scenario_);
                operations_.SetDefault(scenario_);
                operations_.DropTenants();
            } else {
                std::erase_if(record_, [&](const Entry& e) { return StartsWith(e.request.path, prefix); });
                std::erase_if(answers_, [&](const Answer& a) { return StartsWith(a.path, prefix); });
                std::erase_if(faults_, [&](const Fault& f) { return StartsWith(f.prefix, prefix); });
            }
            return JsonReply(200, json{{"reset", prefix.empty() ? "all" : prefix}});
        }
        if (path == "/_sim/tenant") {
            // A fresh customer world under /t/<name>/, its data in the body (the scenario's form).
            const std::string name = request.QueryValue("name");
            if (name.empty() || name.find('/') != std::string::npos)
                return JsonReply(400, json{{"message", "bad name"}});
            operations_.SetTenant(name, request.body.empty() ? json::object() : json::parse(request.body));
            return JsonReply(200, json{{"tenant", name}});
        }
        if (path == "/_sim/stop") {
            if (stop_) stop_();
            return JsonReply(200, json{{"stopping", true}});
        }
    } catch (const std::exception& e) {
        return JsonReply(400, json{{"message", e.what()}});
    }
    return JsonReply(404, json{{"message", "no control endpoint " + path}});
}

}  // namespace sim
