// The host's in-process binding to the helper service: without COM, each call runs the service's method
// logic on a fresh logic object, with the same outputs and result codes the Windows binding gives. What the
// service would keep beside its executable and in its registry parameters lies in one folder (by default
// "Corvane" under the user's data folder), its log in "service.log" there. As COM does on Windows, it
// refuses a thread that has not joined an apartment, so a worker that forgets to join fails here too.
#include "platform/HelperService.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "contract/CorvaneContract.h"
#include "inprocess/SimHelperService.h"
#include "logic/ControlHelperLogic.h"
#include "logic/FileServiceStore.h"
#include "logic/HResult.h"
#include "logic/RouteHelperLogic.h"
#include "logic/ServiceLog.h"
#include "logic/SimProcessControl.h"
#include "logic/SimSharing.h"
#include "logic/SimulatedNetwork.h"
#include "platform/ComApartment.h"
#include "platform/Files.h"

namespace corvane::inprocess {

using platform::HelperStatus;
using platform::HelperStep;

namespace {

// What CoCreateInstance answers on a thread that has not joined COM (CO_E_NOTINITIALIZED).
constexpr int32_t kComNotInitialized = static_cast<int32_t>(0x800401F0u);

struct SimState {
    std::mutex lock;
    bool reachable = true;
    std::map<std::u16string, int32_t> answers;
    std::map<std::u16string, int> calls;
    std::filesystem::path folder;  // empty: the default, fixed at the first call
    CallerIdentity caller;
};
SimState& Sim() {
    static SimState state;
    return state;
}

// Counts the call and tells whether a test has fixed its answer.
bool Answered(std::u16string_view method, int32_t& code) {
    SimState& s = Sim();
    std::lock_guard<std::mutex> lock(s.lock);
    ++s.calls[std::u16string(method)];
    const auto it = s.answers.find(std::u16string(method));
    if (it == s.answers.end()) return false;
    code = it->second;
    return true;
}

bool Reachable(HelperStatus& status) {
    if (!platform::ThreadInComApartment()) {
        status.code = kComNotInitialized;
        status.step = HelperStep::Create;
        return false;
    }
    SimState& s = Sim();
    std::lock_guard<std::mutex> lock(s.lock);
    if (s.reachable) return true;
    status.code = kClassNotRegistered;
    status.step = HelperStep::Create;
    return false;
}

std::filesystem::path StoreFolder() {
    SimState& s = Sim();
    std::lock_guard<std::mutex> lock(s.lock);
    if (s.folder.empty()) {
        const std::u16string data = platform::RoamingAppDataFolder();
        s.folder = data.empty() ? std::filesystem::temp_directory_path() / "Corvane"
                                : std::filesystem::path(data) / u"Corvane";
    }
    return s.folder;
}

// The service's store for one call. The folder exists, as the folder of an installed executable would.
corvane::CFileServiceStore Store() {
    const std::filesystem::path folder = StoreFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return corvane::CFileServiceStore(folder, u"Corvane.exe", [folder](std::u16string_view message) {
        corvane::LogTime time;
        int error = 0;
        if (corvane::LocalLogTime(time, error))
            corvane::AppendServiceLogLine(folder / u"service.log", message, time, error);
    });
}

CallerIdentity Caller() {
    std::lock_guard<std::mutex> lock(Sim().lock);
    return Sim().caller;
}

// The method logic of one call, bound to the current caller, over the simulated processes and sharing.
corvane::CControlHelperLogic Control(corvane::CServiceStore& store) {
    return corvane::CControlHelperLogic(store, corvane::SimulatedProcesses(), corvane::SimulatedSharing(),
                                        Caller());
}

template <typename Body>
HelperStatus Call(std::u16string_view method, Body body) {
    HelperStatus status;
    if (!Reachable(status)) return status;
    int32_t code = 0;
    status.code = Answered(method, code) ? code : body();
    return status;
}

}  // namespace

void SetHelperServiceReachable(bool reachable) {
    std::lock_guard<std::mutex> lock(Sim().lock);
    Sim().reachable = reachable;
}
void SetHelperAnswer(std::u16string_view method, int32_t code) {
    std::lock_guard<std::mutex> lock(Sim().lock);
    Sim().answers[std::u16string(method)] = code;
}
void ClearHelperAnswers() {
    std::lock_guard<std::mutex> lock(Sim().lock);
    Sim().answers.clear();
}
void SetHelperCaller(const CallerIdentity& caller) {
    std::lock_guard<std::mutex> lock(Sim().lock);
    Sim().caller = caller;
}
void SetHelperServiceFolder(const std::filesystem::path& folder) {
    std::lock_guard<std::mutex> lock(Sim().lock);
    Sim().folder = folder;
}
std::filesystem::path HelperServiceFolder() {
    return StoreFolder();
}
int HelperCallCount(std::u16string_view method) {
    std::lock_guard<std::mutex> lock(Sim().lock);
    const auto it = Sim().calls.find(std::u16string(method));
    return it == Sim().calls.end() ? 0 : it->second;
}
CSimulatedNetwork& SimulatedNetwork() {
    static CSimulatedNetwork network;
    return network;
}

}  // namespace corvane::inprocess

namespace platform {

using corvane::inprocess::Call;
using corvane::inprocess::Control;
using corvane::inprocess::Store;

namespace {

// A route helper over the process's simulated routing table, logging to the service folder's log.
template <typename Body>
int32_t WithRouteHelper(Body body) {
    auto store = Store();
    corvane::CRouteHelperLogic logic(corvane::inprocess::SimulatedNetwork(), store, corvane::inprocess::Caller(),
                                     &corvane::SimulatedProcesses());
    return body(logic);
}

}  // namespace

std::u16string HelperCodeText(int32_t code) {
    switch (static_cast<uint32_t>(code)) {
        case 0x80004001u:
            return u"Not implemented";
        case 0x80070057u:
            return u"The parameter is incorrect.";
        case 0x80040154u:
            return u"Class not registered";
        case 0x80070002u:
            return u"The system cannot find the file specified.";
        case 0x80071392u:
            return u"The object already exists.";
        case 0x800401F0u:
            return u"CoInitialize has not been called.";
        default:
            return {};
    }
}

HelperStatus HelperSaveOrchConfigToFile(std::u16string_view commuServer, int32_t orchId, int32_t cpeId,
                                        int32_t customerId, std::u16string_view token, std::u16string_view sn,
                                        std::u16string_view backServer) {
    return Call(corvane::method::kSaveOrchConfigToFile, [&] {
        auto store = Store();
        return Control(store).SaveOrchConfigToFile(commuServer, orchId, cpeId,
                                                                        customerId, token, sn, backServer);
    });
}

HelperStatus HelperSaveFilterConfigToFile(std::u16string_view filterContent) {
    return Call(corvane::method::kSaveFilterConfigToFile, [&] {
        auto store = Store();
        return Control(store).SaveFilterConfigToFile(filterContent);
    });
}

HelperStatus HelperStartDataPath(std::u16string_view orchDomain, int32_t enableHotSpotOrTransferMode,
                                 int32_t& isErr, int32_t langId, std::optional<std::u16string>& msgErr,
                                 int32_t& isIcsEnable) {
    return Call(corvane::method::kStartDataPath, [&] {
        auto store = Store();
        return Control(store).StartDataPath(orchDomain, enableHotSpotOrTransferMode,
                                                                 isErr, langId, msgErr, isIcsEnable);
    });
}

HelperStatus HelperStopDataPath(std::optional<std::u16string>& msgErr) {
    return Call(corvane::method::kStopDataPath, [&] {
        auto store = Store();
        return Control(store).StopDataPath(msgErr);
    });
}

HelperStatus HelperGetSystemInfo(std::u16string_view execPath, std::u16string_view outFilePath) {
    return Call(corvane::method::kGetSystemInfo, [&] {
        auto store = Store();
        return Control(store).GetSystemInfo(execPath, outFilePath);
    });
}

HelperStatus HelperFixErrAuto(uint32_t errCode) {
    return Call(corvane::method::kFixErrAuto, [&] {
        auto store = Store();
        return Control(store).FixErrAuto(errCode);
    });
}

HelperStatus HelperWifiSpotHotNotify(int32_t& ifIndex, int32_t langId, std::optional<std::u16string>& msg) {
    return Call(corvane::method::kWifiSpotHotNotify, [&] {
        auto store = Store();
        return Control(store).WifiSpotHotNotify(ifIndex, langId, msg);
    });
}

HelperStatus HelperProduceNsCtlLog(std::u16string_view path, std::u16string_view name) {
    return Call(corvane::method::kProduceNsCtlLog, [&] {
        auto store = Store();
        return Control(store).ProduceNsCtlLog(path, name);
    });
}

HelperStatus HelperAddRoute(std::u16string_view routerToGw, std::u16string_view routerToVpn,
                            std::u16string_view l2tpInfName, int32_t mode) {
    return Call(corvane::method::kAddRoute, [&] {
        return WithRouteHelper([&](corvane::CRouteHelperLogic& logic) {
            return logic.AddRoute(routerToGw, routerToVpn, l2tpInfName, mode);
        });
    });
}

HelperStatus HelperRemoveRoutes(const std::vector<std::u16string>& routes) {
    HelperStatus status;
    if (!corvane::inprocess::Reachable(status)) return status;
    auto store = Store();
    corvane::CRouteHelperLogic instance(corvane::inprocess::SimulatedNetwork(), store,
                                        corvane::inprocess::Caller(), &corvane::SimulatedProcesses());
    for (const std::u16string& route : routes) {
        int32_t code = 0;
        status.code = corvane::inprocess::Answered(corvane::method::kRemoveRoute, code)
                          ? code
                          : instance.RemoveRoute(route);
        if (status.code < 0) break;
    }
    return status;
}

HelperStatus HelperAddRouterToGW(std::u16string_view routerToGw) {
    return Call(corvane::method::kAddRouterToGW, [&] {
        return WithRouteHelper(
            [&](corvane::CRouteHelperLogic& logic) { return logic.AddRouterToGW(routerToGw); });
    });
}

HelperStatus HelperFindMinMetricInfOfDefaultGW(int32_t exceptL2tpInf, int32_t exceptVirtualInf,
                                               std::u16string_view l2tpInfName, int32_t& index) {
    return Call(corvane::method::kFindMinMetricInfOfDefaultGW, [&] {
        return WithRouteHelper([&](corvane::CRouteHelperLogic& logic) {
            return logic.FindMinMetricInfOfDefaultGW(exceptL2tpInf, exceptVirtualInf, l2tpInfName, index);
        });
    });
}

}  // namespace platform
