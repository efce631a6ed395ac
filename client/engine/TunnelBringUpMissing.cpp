// The tunnel and mobile-detect bring-ups are not in this build yet: each fails with a clear code instead
// of reporting a connection that does not exist.
#include "core/WindowMessages.h"
#include "engine/EngineWorkers.h"
#include "engine/TunnelBringUp.h"
#include "platform/Messenger.h"

namespace velora {
namespace {

void NotAvailable(ConnectContext& context, const char16_t* what) {
    context.message = std::u16string(what) + u" is not available in this build";
    context.result = kConnectNotAvailable;
    platform::PostWindowMessage(platform::MainWindow(), UM_CONNECT_RESULT, kConnectNotAvailable, 0);
}

}  // namespace

void StartVcpeTunnel(std::u16string_view, ConnectContext& context) {
    NotAvailable(context, u"The VCPE tunnel");
}
void StartDcpeTunnel(std::u16string_view, ConnectContext& context) {
    NotAvailable(context, u"The DCPE tunnel");
}
void StartMobileDetect(std::u16string_view, ConnectContext& context) {
    NotAvailable(context, u"The mobile-detect mode");
}

}  // namespace velora
