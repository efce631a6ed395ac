// The host's simulated service manager: a table of service names and states that tests steer.
#include <map>
#include <mutex>
#include <string>

#include "platform/Services.h"
#include "platform/host/SimServices.h"

namespace platform {
namespace {

struct Failure {
    ServiceQueryStep step = ServiceQueryStep::kNone;
    uint32_t error = 0;
};

struct Table {
    std::mutex lock;
    std::map<std::u16string, uint32_t, std::less<>> states;
    std::map<std::u16string, Failure, std::less<>> failures;
};

void Defaults(Table& t) {
    t.states = {{u"BFE", kServiceStateRunning},
                {u"brxnet", kServiceStateRunning},
                {u"Corvane", kServiceStateRunning}};
    t.failures.clear();
}

Table& Services() {
    static Table* table = [] {
        auto* t = new Table;
        Defaults(*t);
        return t;
    }();
    return *table;
}

// Service names are not case sensitive on Windows.
std::u16string Key(std::u16string_view name) {
    std::u16string key(name);
    for (char16_t& c : key)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return key;
}

}  // namespace

ServiceState QueryServiceState(std::u16string_view name) {
    Table& t = Services();
    std::lock_guard l(t.lock);
    ServiceState result;
    const std::u16string key = Key(name);
    for (const auto& [failing, failure] : t.failures) {
        if (failure.step == ServiceQueryStep::kOpenManager || failing == key) {
            result.failedStep = failure.step;
            result.error = failure.error;
            return result;
        }
    }
    for (const auto& [known, state] : t.states) {
        if (Key(known) != key) continue;
        result.currentState = state;
        result.state =
            state == kServiceStateRunning ? ServiceRunState::kRunning : ServiceRunState::kNotRunning;
        return result;
    }
    result.failedStep = ServiceQueryStep::kOpenService;
    result.error = kErrorServiceDoesNotExist;
    return result;
}

namespace host {

void SetSimulatedService(std::u16string_view name, uint32_t currentState) {
    Table& t = Services();
    std::lock_guard l(t.lock);
    t.states[std::u16string(name)] = currentState;
}

void RemoveSimulatedService(std::u16string_view name) {
    Table& t = Services();
    std::lock_guard l(t.lock);
    t.states.erase(std::u16string(name));
}

void FailSimulatedServiceQuery(std::u16string_view name, ServiceQueryStep step, uint32_t error) {
    Table& t = Services();
    std::lock_guard l(t.lock);
    t.failures[Key(name)] = Failure{step, error};
}

void ResetSimulatedServices() {
    Table& t = Services();
    std::lock_guard l(t.lock);
    Defaults(t);
}

}  // namespace host
}  // namespace platform
