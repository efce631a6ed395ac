// The mobile-detect bring-up is not in this build yet: it fails with a clear code instead of reporting a
// connection that does not exist.
#include "core/WindowMessages.h"
#include "engine/EngineWorkers.h"
#include "engine/TunnelBringUp.h"
#include "platform/Messenger.h"

namespace velora {

void StartMobileDetect(std::u16string_view, ConnectContext& context) {
    context.message = u"The mobile-detect mode is not available in this build";
    context.result = kConnectNotAvailable;
    platform::PostWindowMessage(platform::MainWindow(), UM_CONNECT_RESULT, kConnectNotAvailable, 0);
}

}  // namespace velora
