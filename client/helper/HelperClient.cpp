// Client operations on the helper service: logging of the three steps (class identifier, instance, call)
// and the status codes that mean "already there", "not there" and "nothing to stop".
#include "helper/HelperClient.h"

#include <optional>
#include <vector>

#include "core/Log.h"
#include "platform/HelperService.h"
#include "res/MessageIds.h"

namespace velora {

namespace {

enum class Where { UserLog, EngineLog };

// Logs a failure of the class-identifier or instance step; false when the call itself was made.
bool LoggedSetupFailure(const platform::HelperStatus& status, Where where) {
    if (status.step == platform::HelperStep::Call) return false;
    const uint32_t id = status.step == platform::HelperStep::ClassId ? 294 : 293;
    const std::u16string text = HelperResultText(status.code);
    if (where == Where::UserLog)
        LogFormatMessageIdAtLevel(kLogInfo, id, static_cast<uint32_t>(status.code), text);
    else
        LogFormatMessageId(id, static_cast<uint32_t>(status.code), text);
    return true;
}

// The service's description when it gave one, else the system's text for the code.
std::u16string FailureText(const platform::HelperStatus& status) {
    return status.description.empty() ? HelperResultText(status.code) : status.description;
}

}  // namespace

std::u16string HelperResultText(int32_t code) {
    std::u16string text = platform::HelperCodeText(code);
    if (!text.empty()) return text;
    switch (static_cast<uint32_t>(code)) {
        case 0x80040154u:  // REGDB_E_CLASSNOTREG
            return u"class not registered: the helper service is not installed";
        case 0x80080005u:  // CO_E_SERVER_EXEC_FAILURE
            return u"the helper service could not be started";
        case 0x800706BAu:  // RPC_S_SERVER_UNAVAILABLE
        case 0x800706BEu:  // RPC_S_CALL_FAILED
            return u"the helper service stopped answering";
        case 0x80070005u:  // E_ACCESS_DENIED
            return u"access denied by the helper service";
        case 0x800401F0u:  // CO_E_NOTINITIALIZED
            return u"COM is not initialised on this thread";
        default:
            return u"no description of this code";
    }
}

int32_t SaveOrchConfig(const OrchConfig& c) {
    LogFormat(u"orchId=%d,cpeId=%d,customerId=%d,comm=%s,backcommaddrs=%s", c.orchId, c.cpeId, c.customerId,
              c.commuServer, c.backServer);
    const auto status = platform::HelperSaveOrchConfigToFile(c.commuServer, c.orchId, c.cpeId, c.customerId,
                                                             c.token, c.sn, c.backServer);
    if (LoggedSetupFailure(status, Where::UserLog)) return status.code;
    if (status.code < 0)
        LogFormatMessageIdAtLevel(kLogInfo, kMsgHelperRequestFailed, static_cast<uint32_t>(status.code));
    else
        LogFormatMessageIdAtLevel(kLogInfo, kMsgEngineConfigurationSaved);
    return status.code;
}

int32_t SaveFilterConfig(std::u16string_view filterText) {
    const auto status = platform::HelperSaveFilterConfigToFile(filterText);
    if (LoggedSetupFailure(status, Where::UserLog)) return status.code;
    if (status.code < 0)
        LogFormatMessageIdAtLevel(kLogInfo, kMsgFilterListSaveFailed, static_cast<uint32_t>(status.code));
    else
        LogFormatMessageIdAtLevel(kLogInfo, kMsgFilterListSaved);
    return status.code;
}

int32_t StartDataPath(std::u16string_view domain, int32_t mode, int32_t langId, int32_t& icsOut) {
    LogFormatMessageId(kMsgDataPathStarting, domain);
    int32_t isErr = 0;
    int32_t ics = 0;
    std::optional<std::u16string> msgErr;
    const auto status = platform::HelperStartDataPath(domain, mode, isErr, langId, msgErr, ics);
    icsOut = ics;
    if (LoggedSetupFailure(status, Where::UserLog)) return status.code;
    if (status.code < 0) {
        LogFormatMessageIdAtLevel(kLogInfo, kMsgDataPathRequestFailed, domain,
                                  static_cast<uint32_t>(status.code), FailureText(status));
        return status.code;
    }
    LogFormatMessageIdAtLevel(kLogInfo, kMsgDataPathStarted);
    if (msgErr && !msgErr->empty()) LogAtLevel(*msgErr, isErr != 0 ? kLogWarn : kLogInfo);
    return status.code;
}

int32_t StopDataPath() {
    std::optional<std::u16string> discarded;
    const auto status = platform::HelperStopDataPath(discarded);
    if (LoggedSetupFailure(status, Where::UserLog)) return status.code;
    if (status.code >= 0)
        LogFormatMessageIdAtLevel(kLogInfo, kMsgDataPathStopped);
    else if (status.code != kHelperNothingToStop)
        LogFormatMessageIdAtLevel(kLogInfo, kMsgDataPathRequestFailed, u"",
                                  static_cast<uint32_t>(status.code), FailureText(status));
    return status.code;
}

int32_t GetSystemInfo(std::u16string_view execPath, std::u16string_view outFilePath) {
    const auto status = platform::HelperGetSystemInfo(execPath, outFilePath);
    if (LoggedSetupFailure(status, Where::EngineLog)) return status.code;
    if (status.code < 0)
        LogFormatMessageId(kMsgSystemInfoFailed, static_cast<uint32_t>(status.code), FailureText(status));
    return status.code;
}

int32_t FixErrAuto(uint32_t code) {
    const auto status = platform::HelperFixErrAuto(code);
    if (LoggedSetupFailure(status, Where::EngineLog)) return status.code;
    if (status.code < 0)
        LogFormatMessageId(kMsgAutoRepairFailed, static_cast<uint32_t>(status.code), FailureText(status));
    return status.code;
}

int32_t WifiSpotHotNotify(int32_t langId) {
    int32_t ifIndex = 0;
    std::optional<std::u16string> msg;
    const auto status = platform::HelperWifiSpotHotNotify(ifIndex, langId, msg);
    if (LoggedSetupFailure(status, Where::UserLog)) return 0;
    if (status.code < 0) {
        LogFormatMessageIdAtLevel(kLogInfo, kMsgHelperRequestFailed, static_cast<uint32_t>(status.code));
        return 0;
    }
    if (msg && !msg->empty()) LogAtLevel(*msg, kLogInfo);
    return ifIndex;
}

void ProduceNsCtlLog(std::u16string_view path, std::u16string_view name) {
    const auto status = platform::HelperProduceNsCtlLog(path, name);
    if (LoggedSetupFailure(status, Where::UserLog)) return;
    if (status.code < 0)
        LogFormatMessageIdAtLevel(kLogInfo, kMsgHelperCallFailed, corvane::method::kProduceNsCtlLog,
                                  static_cast<uint32_t>(status.code));
}

int32_t AddRouterToGW(std::u16string_view address) {
    const auto status = platform::HelperAddRouterToGW(address);
    if (LoggedSetupFailure(status, Where::EngineLog)) return status.code;
    if (status.code < 0 && status.code != kHelperRouteExists)
        LogFormatMessageId(kMsgRoutesAddFailed, static_cast<uint32_t>(status.code), FailureText(status));
    return status.code;
}

int32_t AddTunnelRoute(std::u16string_view address) {
    const auto status = platform::HelperAddRoute(u"", address, kTunnelInterfaceName, 1);
    if (LoggedSetupFailure(status, Where::UserLog)) return status.code;
    if (status.code < 0 && status.code != kHelperRouteExists)
        LogFormatMessageId(kMsgRoutesAddFailed, static_cast<uint32_t>(status.code), FailureText(status));
    return status.code;
}

int32_t UpdateRoutes(int32_t op, bool log, std::u16string_view gwRoutes, std::u16string_view vpnRoutes,
                     int32_t mode) {
    if (op == kRoutesAdd) {
        const auto status = platform::HelperAddRoute(gwRoutes, vpnRoutes, kTunnelInterfaceName, mode);
        if (status.step != platform::HelperStep::Call) {
            if (log) LoggedSetupFailure(status, Where::UserLog);
            return status.code;
        }
        if (status.code < 0 && status.code != kHelperRouteExists) {
            if (log)
                LogFormatMessageIdAtLevel(kLogInfo, kMsgRoutesAddFailed, static_cast<uint32_t>(status.code),
                                          FailureText(status));
            return status.code;
        }
        if (log) LogFormatMessageIdAtLevel(kLogInfo, kMsgRoutesAdded);
        return 0;
    }
    if (op != kRoutesRemove) return 0;
    std::vector<std::u16string> routes;
    if (!gwRoutes.empty()) routes.emplace_back(gwRoutes);
    if (!vpnRoutes.empty()) routes.emplace_back(vpnRoutes);
    if (routes.empty()) {
        if (log) LogFormatMessageIdAtLevel(kLogInfo, kMsgRoutesRemoved);
        return 0;
    }
    const auto status = platform::HelperRemoveRoutes(routes);
    if (status.step != platform::HelperStep::Call) {
        if (log) LoggedSetupFailure(status, Where::UserLog);
        return status.code;
    }
    if (status.code < 0) {
        if (log && status.code != kHelperRouteMissing)
            LogFormatMessageIdAtLevel(kLogInfo, kMsgRoutesRemoveFailed, static_cast<uint32_t>(status.code),
                                      FailureText(status));
        return status.code;
    }
    if (log) LogFormatMessageIdAtLevel(kLogInfo, kMsgRoutesRemoved);
    return 0;
}

int32_t FindDefaultGatewayInterface(int32_t exceptTunnel, int32_t exceptVirtual, std::u16string_view name,
                                    int32_t& indexOut) {
    int32_t index = indexOut;
    const auto status = platform::HelperFindMinMetricInfOfDefaultGW(exceptTunnel, exceptVirtual, name, index);
    if (LoggedSetupFailure(status, Where::UserLog)) return status.code;
    indexOut = index;
    return status.code;
}

}  // namespace velora
