// The cloud service's real operations (discovery, sign-in, connect, heartbeat, ...), answered from a
// tenant's data when no scripted answer matched the request.
//
// A tenant is one customer world: its scenario data and the state its operations keep. Requests under
// "/t/<name>/" go to tenant <name> (with that prefix taken off the path), so tests that run side by side
// against one stand-in each get a world of their own; every other request goes to the default tenant,
// whose data is the scenario file. A client finds a tenant's URLs because every URL the stand-in hands
// out (orchDomain, configUrl, uploadUrl, ...) is built from `base`.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "HttpServer.h"

namespace sim {

class CTenant {
public:
    explicit CTenant(nlohmann::json data) : data_(std::move(data)) {}
    // The scenario data (read-only after creation) and the operations' own state. Operations keep their
    // state under a key of their group ("auth", "factors", "orch") and hold `lock` while they touch it.
    const nlohmann::json& Data() const { return data_; }
    nlohmann::json state = nlohmann::json::object();
    std::mutex lock;

private:
    const nlohmann::json data_;
};

struct OpRequest {
    const Request& request;
    std::string path;  // without the tenant prefix
    std::string base;  // scheme://host[:port][/t/<name>], from the Host header the client sent
    std::string tenant;
};

// One group of operations: true when it answered the request (reply filled in).
using OperationGroup = std::function<bool(const OpRequest&, CTenant&, Reply&)>;

// Each group lives in its own file.
bool AuthOperations(const OpRequest& op, CTenant& tenant, Reply& reply);    // AuthOperations.cpp
bool FactorOperations(const OpRequest& op, CTenant& tenant, Reply& reply);  // FactorOperations.cpp
bool OrchOperations(const OpRequest& op, CTenant& tenant, Reply& reply);    // OrchOperations.cpp

// An encrypted credential of the client ("key:base64" of "escaped value\nmillis" under the stand-in's
// key) to its value: decrypted, its time stamp checked, the escaped value decoded once. False with the
// reason otherwise. Shared by the sign-in and the password change (AuthOperations.cpp).
bool DecryptCredentialText(const std::string& text, std::string& value, std::string& reason);

class COperations {
public:
    COperations();
    // The default tenant's data: the scenario file without its "answers" and "faults".
    void SetDefault(const nlohmann::json& data);
    // Creates or replaces a tenant (fresh state).
    void SetTenant(const std::string& name, const nlohmann::json& data);
    void DropTenants();
    // Answers a request with a real operation; false when none applies (the caller answers 404).
    bool Answer(const Request& request, Reply& reply);

private:
    std::mutex lock_;
    std::shared_ptr<CTenant> default_;
    std::map<std::string, std::shared_ptr<CTenant>> tenants_;
    std::vector<OperationGroup> groups_;
};

}  // namespace sim
