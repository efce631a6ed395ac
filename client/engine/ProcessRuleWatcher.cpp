// The process-rule watcher: evaluate, then wait 30 s on the stop event, until the rule fails or the exit
// path stops it.
#include "engine/ProcessRuleWatcher.h"

#include <string>

#include "core/Log.h"
#include "core/Settings.h"
#include "core/WindowMessages.h"
#include "engine/EngineState.h"
#include "platform/Kernel.h"
#include "platform/Messenger.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

uint32_t Report(int32_t code) {
    platform::PostWindowMessage(platform::MainWindow(), UM_CONNECT_RESULT, static_cast<uint32_t>(code), 0);
    LogMessageIdAtLevel(kMsgProcessCheckEnded, kLogInfo);
    return static_cast<uint32_t>(code);
}

}  // namespace

uint32_t ProcessRuleWatcher(const ProcessRuleCheck& check) {
    const std::u16string rule = GetSetting(u"ProcessList", u"");
    if (rule.empty()) return 0;
    LogMessageIdAtLevel(kMsgProcessCheckStarted, kLogInfo);
    platform::Event* stop = GetEngineState().stopProcessCheckEvent.get();
    for (;;) {
        const ProcessRuleVerdict verdict = check(rule);
        if (verdict.malformed) return Report(kProcessRuleMalformed);
        if (!verdict.satisfied) return Report(kProcessRuleNotSatisfied);
        // Without the stop event nothing could ever end the loop: the watcher does not run unstoppable.
        if (!stop || platform::PauseUntilSignalled(*stop, kProcessCheckIntervalMs)) {
            LogMessageIdAtLevel(kMsgProcessCheckEnded, kLogInfo);
            return 0;
        }
    }
}

}  // namespace velora
