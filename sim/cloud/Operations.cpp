// Routing of requests to tenants and operation groups.
#include "Operations.h"

namespace sim {

using nlohmann::json;

// The factor group goes first: of the auth URL's requests it claims only the SMS verification and the
// code exchange, and leaves every other sign-in request to the authentication group.
COperations::COperations()
    : default_(std::make_shared<CTenant>(json::object())),
      groups_{FactorOperations, AuthOperations, OrchOperations} {}

void COperations::SetDefault(const json& data) {
    json clean = data.is_object() ? data : json::object();
    clean.erase("answers");
    clean.erase("faults");
    std::lock_guard<std::mutex> lock(lock_);
    default_ = std::make_shared<CTenant>(std::move(clean));
}

void COperations::SetTenant(const std::string& name, const json& data) {
    std::lock_guard<std::mutex> lock(lock_);
    tenants_[name] = std::make_shared<CTenant>(data.is_object() ? data : json::object());
}

void COperations::DropTenants() {
    std::lock_guard<std::mutex> lock(lock_);
    tenants_.clear();
}

bool COperations::Answer(const Request& request, Reply& reply) {
    std::string path = request.path;
    std::string prefix;
    std::string name;
    std::shared_ptr<CTenant> tenant;
    {
        std::lock_guard<std::mutex> lock(lock_);
        tenant = default_;
        if (path.compare(0, 3, "/t/") == 0) {
            const auto end = path.find('/', 3);
            if (end != std::string::npos) {
                const auto it = tenants_.find(path.substr(3, end - 3));
                if (it != tenants_.end()) {
                    name = it->first;
                    tenant = it->second;
                    prefix = path.substr(0, end);
                    path = path.substr(end);
                }
            }
        }
    }
    std::string host = request.Header("Host");
    if (host.empty()) host = "127.0.0.1";
    const OpRequest op{request, path, std::string(request.tls ? "https://" : "http://") + host + prefix, name};
    for (const OperationGroup& group : groups_) {
        if (group(op, *tenant, reply)) return true;
    }
    return false;
}

}  // namespace sim
