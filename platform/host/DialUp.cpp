// The host's simulated dial-up service: entries, keys and connections kept in memory, the phonebook file
// written as an INI text the way the system keeps entries (the key is never in it), and dials that end as
// the test planned.
#include "platform/DialUp.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/SystemErrors.h"
#include "platform/Text.h"
#include "platform/host/SimDialUp.h"

namespace platform {
namespace {

constexpr uint32_t kStateDisconnected = 0x2001;  // RASCS_Disconnected
// A dial that was told never to return still ends after this long, so a test that forgets to let it go
// cannot hang the run.
constexpr auto kNeverReturnBound = std::chrono::seconds(120);

struct SimConnection {
    std::u16string entryName;
    bool connected = true;
};

struct SimDialUpService {
    std::mutex lock;
    std::condition_variable released;
    uint64_t releaseGeneration = 0;
    uint32_t releaseError = 0;
    uint32_t inProgress = 0;
    std::deque<host::SimDialPlan> plans;
    std::vector<host::SimDialCall> calls;
    std::map<std::pair<std::u16string, std::u16string>, DialUpEntry> entries;
    std::map<std::pair<std::u16string, std::u16string>, std::u16string> keys;
    std::map<uintptr_t, SimConnection> connections;  // by handle value, in dial order
    std::vector<DialUpHandle> hangUps;
    uintptr_t nextHandle = 0x5000;
    DialUpEntryStep failStep = DialUpEntryStep::Done;
    uint32_t failError = 0;
    uint32_t keyError = 0;
};

SimDialUpService& Sim() {
    static SimDialUpService* sim = new SimDialUpService();  // outlives dials still blocked at exit
    return *sim;
}

std::string Number(uint32_t value) {
    return std::to_string(value);
}

// Rewrites the whole phonebook file from the entries kept for it.
void WritePhonebookFile(SimDialUpService& sim, const std::u16string& phonebook) {
    std::ofstream file(Utf16ToUtf8(phonebook), std::ios::binary | std::ios::trunc);
    for (const auto& [key, entry] : sim.entries) {
        if (key.first != phonebook) continue;
        file << "[" << Utf16ToUtf8(key.second) << "]\r\n"
             << "Type=" << Number(entry.type) << "\r\n"
             << "NetworkProtocols=" << Number(entry.networkProtocols) << "\r\n"
             << "DataEncryption=" << Number(entry.encryptionType) << "\r\n"
             << "VpnStrategy=" << Number(entry.vpnStrategy) << "\r\n"
             << "Options=" << Number(entry.options) << "\r\n"
             << "Options2=" << Number(entry.options2) << "\r\n"
             << "IpInterfaceMetric=" << Number(entry.ipv4InterfaceMetric) << "\r\n"
             << "NetworkOutageTime=" << Number(entry.networkOutageTime) << "\r\n"
             << "DEVICE=" << Utf16ToUtf8(entry.deviceType) << "\r\n"
             << "PhoneNumber=" << Utf16ToUtf8(entry.localPhoneNumber) << "\r\n\r\n";
    }
}

}  // namespace

DialUpEntryResult WriteDialUpEntry(std::u16string_view phonebook, std::u16string_view name,
                                   const DialUpEntry& entry) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    if (sim.failStep != DialUpEntryStep::Done) return {sim.failStep, sim.failError};
    sim.entries[{std::u16string(phonebook), std::u16string(name)}] = entry;
    WritePhonebookFile(sim, std::u16string(phonebook));
    return {};
}

uint32_t SetDialUpPresharedKey(std::u16string_view phonebook, std::u16string_view name,
                               std::u16string_view key) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    if (sim.keyError != 0) return sim.keyError;
    const std::pair<std::u16string, std::u16string> id{std::u16string(phonebook), std::u16string(name)};
    if (!sim.entries.count(id)) return kDialUpErrorCannotFindEntry;
    sim.keys[id] = std::u16string(key);
    return 0;
}

uint32_t DialDialUpEntry(std::u16string_view phonebook, std::u16string_view name, std::u16string_view user,
                         std::u16string_view password, DialUpHandle& handle) {
    handle = nullptr;
    auto& sim = Sim();
    std::unique_lock<std::mutex> guard(sim.lock);
    sim.calls.push_back(
        {std::u16string(phonebook), std::u16string(name), std::u16string(user), std::u16string(password)});
    if (!sim.entries.count({std::u16string(phonebook), std::u16string(name)}))
        return kDialUpErrorCannotFindEntry;
    host::SimDialPlan plan;
    if (!sim.plans.empty()) {
        plan = sim.plans.front();
        sim.plans.pop_front();
    }
    ++sim.inProgress;
    uint32_t error = plan.error;
    if (plan.outcome == host::SimDialPlan::Outcome::NeverReturn) {
        const uint64_t generation = sim.releaseGeneration;
        if (sim.released.wait_for(guard, kNeverReturnBound,
                                  [&] { return sim.releaseGeneration != generation; })) {
            error = sim.releaseError;
        } else {
            error = kErrorSemTimeout;
        }
    } else {
        guard.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(plan.delayMs));
        guard.lock();
        if (plan.outcome == host::SimDialPlan::Outcome::Connect) error = 0;
    }
    --sim.inProgress;
    if (error != 0) return error;
    const uintptr_t id = sim.nextHandle++;
    sim.connections[id] = {std::u16string(name), true};
    handle = reinterpret_cast<DialUpHandle>(id);
    return 0;
}

uint32_t GetDialUpState(DialUpHandle handle, uint32_t& state) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    const auto it = sim.connections.find(reinterpret_cast<uintptr_t>(handle));
    if (it == sim.connections.end()) return kDialUpErrorInvalidHandle;
    state = it->second.connected ? kDialUpStateConnected : kStateDisconnected;
    return 0;
}

uint32_t HangUpDialUp(DialUpHandle handle, uint32_t) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    sim.hangUps.push_back(handle);
    return sim.connections.erase(reinterpret_cast<uintptr_t>(handle)) ? 0 : kDialUpErrorInvalidHandle;
}

std::vector<DialUpConnectionInfo> ListDialUpConnections(uint32_t& error) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    error = 0;
    std::vector<DialUpConnectionInfo> list;
    for (const auto& [id, connection] : sim.connections)
        list.push_back({reinterpret_cast<DialUpHandle>(id), connection.entryName});
    return list;
}

std::u16string DialUpErrorText(uint32_t error) {
    // The simulation's own wording for the errors a tunnel dial meets.
    static const std::map<uint32_t, std::u16string> texts = {
        {619, u"A connection to the remote computer could not be established."},
        {623, u"The phonebook entry for this connection could not be found."},
        {691, u"The remote connection was denied: the user name and password were not accepted."},
        {692, u"A hardware failure occurred in the modem or other connecting device."},
        {711, u"The remote access connection manager could not start."},
        {789, u"The L2TP connection failed during security negotiation with the remote computer."},
        {1062, u"The service has not been started."},
    };
    const auto it = texts.find(error);
    return it == texts.end() ? std::u16string() : it->second;
}

namespace host {

void PlanSimDials(std::vector<SimDialPlan> plans) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    sim.plans.assign(plans.begin(), plans.end());
}

void ReleaseSimDials(uint32_t error) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    sim.releaseError = error;
    ++sim.releaseGeneration;
    sim.released.notify_all();
}

uint32_t SimDialsInProgress() {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    return sim.inProgress;
}

std::vector<SimDialCall> SimDialCalls() {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    return sim.calls;
}

std::optional<DialUpEntry> SimDialUpEntry(std::u16string_view phonebook, std::u16string_view name) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    const auto it = sim.entries.find({std::u16string(phonebook), std::u16string(name)});
    if (it == sim.entries.end()) return std::nullopt;
    return it->second;
}

std::optional<std::u16string> SimPresharedKey(std::u16string_view phonebook, std::u16string_view name) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    const auto it = sim.keys.find({std::u16string(phonebook), std::u16string(name)});
    if (it == sim.keys.end()) return std::nullopt;
    return it->second;
}

void FailSimEntryWrites(DialUpEntryStep step, uint32_t error) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    sim.failStep = step;
    sim.failError = error;
}

void FailSimKeyStores(uint32_t keyError) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    sim.keyError = keyError;
}

DialUpHandle AddSimConnection(std::u16string_view entryName, bool connected) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    const uintptr_t id = sim.nextHandle++;
    sim.connections[id] = {std::u16string(entryName), connected};
    return reinterpret_cast<DialUpHandle>(id);
}

void DropSimConnection(DialUpHandle handle) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    const auto it = sim.connections.find(reinterpret_cast<uintptr_t>(handle));
    if (it != sim.connections.end()) it->second.connected = false;
}

std::vector<DialUpHandle> SimHangUps() {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    return sim.hangUps;
}

void ResetSimDialUp() {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    sim.plans.clear();
    sim.calls.clear();
    sim.entries.clear();
    sim.keys.clear();
    sim.connections.clear();
    sim.hangUps.clear();
    sim.failStep = DialUpEntryStep::Done;
    sim.failError = 0;
    sim.keyError = 0;
    // Dials still blocked end now rather than at their bound.
    sim.releaseError = kErrorSemTimeout;
    ++sim.releaseGeneration;
    sim.released.notify_all();
}

}  // namespace host
}  // namespace platform
