// The host's simulated dial-up service: entries, keys and connections kept in memory, the phonebook file
// written as an INI text the way the system keeps entries (the key is never in it), and dials that begin
// at once with a connection that is dialling, then end as the test planned: after a delay, or not until the
// test lets them go or someone hangs them up.
#include "platform/DialUp.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/Kernel.h"
#include "platform/SystemErrors.h"
#include "platform/Text.h"
#include "platform/host/SimDialUp.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kStateDialling = 2;           // RASCS_ConnectDevice
constexpr uint32_t kStateDisconnected = 0x2001;  // RASCS_Disconnected

enum class SimLink { Dialling, Connected, Down };

struct SimConnection {
    std::u16string entryName;
    SimLink link = SimLink::Connected;
};

// A dial begun on a handle: valid until the handle is hung up, as the system keeps a dial's resources.
struct SimDial {
    host::SimDialPlan plan;
    Clock::time_point ends;  // Connect and Fail: when the plan ends the dial
    std::shared_ptr<Event> endedEvent;
    bool ended = false;
    uint32_t error = 0;  // once ended: 0 connected, else the dial's error
};

struct SimDialUpService {
    std::mutex lock;
    std::vector<host::SimDialPlan> plans;
    std::size_t nextPlan = 0;
    std::vector<host::SimDialCall> calls;
    std::map<std::pair<std::u16string, std::u16string>, DialUpEntry> entries;
    std::map<std::pair<std::u16string, std::u16string>, std::u16string> keys;
    std::map<uintptr_t, SimConnection> connections;  // by handle value, in dial order
    std::map<uintptr_t, SimDial> dials;
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

// The dial ends with `error` (0: connected); its waiter wakes. A failed dial's connection is no longer
// listed, though its handle stays valid until hung up.
void EndDial(SimDialUpService& sim, uintptr_t id, uint32_t error) {
    SimDial& dial = sim.dials.at(id);
    dial.ended = true;
    dial.error = error;
    dial.endedEvent->Set();
    if (error == 0) {
        sim.connections[id].link = SimLink::Connected;
    } else {
        sim.connections.erase(id);
    }
}

// A dial whose planned delay has passed ends as planned.
void SettleDial(SimDialUpService& sim, uintptr_t id, Clock::time_point now) {
    const auto it = sim.dials.find(id);
    if (it == sim.dials.end() || it->second.ended) return;
    const host::SimDialPlan& plan = it->second.plan;
    if (plan.outcome == host::SimDialPlan::Outcome::NeverReturn || now < it->second.ends) return;
    EndDial(sim, id, plan.outcome == host::SimDialPlan::Outcome::Connect ? 0 : plan.error);
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

uint32_t BeginDialUpEntry(std::u16string_view phonebook, std::u16string_view name, std::u16string_view user,
                          std::u16string_view password, DialUpHandle& handle) {
    handle = nullptr;
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    sim.calls.push_back(
        {std::u16string(phonebook), std::u16string(name), std::u16string(user), std::u16string(password)});
    if (!sim.entries.count({std::u16string(phonebook), std::u16string(name)}))
        return kDialUpErrorCannotFindEntry;
    EventCreation created = OpenOrCreateEvent(u"", true, false);
    if (!created.event) return created.error;
    SimDial dial;
    if (sim.nextPlan < sim.plans.size()) dial.plan = sim.plans[sim.nextPlan++];
    dial.ends = Clock::now() + std::chrono::milliseconds(dial.plan.delayMs);
    dial.endedEvent = std::move(created.event);
    const uintptr_t id = sim.nextHandle++;
    sim.dials[id] = std::move(dial);
    sim.connections[id] = {std::u16string(name), SimLink::Dialling};
    handle = reinterpret_cast<DialUpHandle>(id);
    return 0;
}

DialUpWaitResult WaitForDialUp(DialUpHandle handle, uint32_t waitMs, Event* stop) {
    auto& sim = Sim();
    const uintptr_t id = reinterpret_cast<uintptr_t>(handle);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    // Each pass ends with the dial's end, the stop, the plan's own end or the deadline, so the loop ends
    // at the deadline at the latest.
    for (;;) {
        std::shared_ptr<Event> ended;
        Clock::time_point next = deadline;
        {
            std::lock_guard<std::mutex> guard(sim.lock);
            const auto it = sim.dials.find(id);
            if (it == sim.dials.end()) return {DialUpWaitEnd::Failed, kDialUpErrorInvalidHandle};
            SettleDial(sim, id, Clock::now());
            const SimDial& dial = it->second;
            if (dial.ended)
                return dial.error == 0 ? DialUpWaitResult{DialUpWaitEnd::Connected, 0}
                                       : DialUpWaitResult{DialUpWaitEnd::Failed, dial.error};
            if (Clock::now() >= deadline) return {DialUpWaitEnd::TimedOut, 0};
            if (dial.plan.outcome != host::SimDialPlan::Outcome::NeverReturn) next = std::min(next, dial.ends);
            ended = dial.endedEvent;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
        Event* const events[] = {stop, ended.get()};
        if (WaitForAnyEvent(events, static_cast<uint32_t>(std::max<int64_t>(left, 0))) == 0)
            return {DialUpWaitEnd::Stopped, 0};
    }
}

uint32_t GetDialUpState(DialUpHandle handle, uint32_t& state) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    const uintptr_t id = reinterpret_cast<uintptr_t>(handle);
    SettleDial(sim, id, Clock::now());
    const auto it = sim.connections.find(id);
    if (it == sim.connections.end()) {
        // A failed dial's handle is still known until it is hung up.
        if (!sim.dials.count(id)) return kDialUpErrorInvalidHandle;
        state = kStateDisconnected;
        return 0;
    }
    state = it->second.link == SimLink::Connected  ? kDialUpStateConnected
            : it->second.link == SimLink::Dialling ? kStateDialling
                                                   : kStateDisconnected;
    return 0;
}

uint32_t HangUpDialUp(DialUpHandle handle, uint32_t) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    const uintptr_t id = reinterpret_cast<uintptr_t>(handle);
    sim.hangUps.push_back(handle);
    SettleDial(sim, id, Clock::now());
    const auto dial = sim.dials.find(id);
    const bool known = dial != sim.dials.end() || sim.connections.count(id);
    if (dial != sim.dials.end()) {
        if (!dial->second.ended) EndDial(sim, id, kDialUpErrorUserDisconnection);
        sim.dials.erase(dial);
    }
    sim.connections.erase(id);
    return known ? 0 : kDialUpErrorInvalidHandle;
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
    sim.plans = std::move(plans);
    sim.nextPlan = 0;
}

void ReleaseSimDials(uint32_t error) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    for (auto& [id, dial] : sim.dials) {
        if (!dial.ended && dial.plan.outcome == SimDialPlan::Outcome::NeverReturn) EndDial(sim, id, error);
    }
}

uint32_t SimDialsInProgress() {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    const Clock::time_point now = Clock::now();
    uint32_t count = 0;
    for (auto& [id, dial] : sim.dials) {
        SettleDial(sim, id, now);
        if (!dial.ended) ++count;
    }
    return count;
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
    sim.connections[id] = {std::u16string(entryName), connected ? SimLink::Connected : SimLink::Down};
    return reinterpret_cast<DialUpHandle>(id);
}

void DropSimConnection(DialUpHandle handle) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    const auto it = sim.connections.find(reinterpret_cast<uintptr_t>(handle));
    if (it != sim.connections.end()) it->second.link = SimLink::Down;
}

std::vector<DialUpHandle> SimHangUps() {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    return sim.hangUps;
}

void ResetSimDialUp() {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    // Dials still waited for end now, rather than at their waiter's bound.
    for (auto& [id, dial] : sim.dials) {
        if (!dial.ended) EndDial(sim, id, kErrorSemTimeout);
    }
    sim.plans.clear();
    sim.nextPlan = 0;
    sim.calls.clear();
    sim.entries.clear();
    sim.keys.clear();
    sim.connections.clear();
    sim.dials.clear();
    sim.hangUps.clear();
    sim.failStep = DialUpEntryStep::Done;
    sim.failError = 0;
    sim.keyError = 0;
}

}  // namespace host
}  // namespace platform
