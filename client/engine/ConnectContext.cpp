// The outcome of a connect attempt and the one place where the main window is told of it.
#include "engine/ConnectContext.h"

#include "core/WindowMessages.h"
#include "platform/Messenger.h"

namespace velora {
namespace {

void Decide(ConnectContext& context, int32_t code, std::u16string_view text, ConnectReport report) {
    context.message = std::u16string(text);
    context.result = code;
    context.report = report;
}

}  // namespace

void ConnectSucceeded(ConnectContext& context) {
    Decide(context, 0, u"", {ConnectEnd::kConnected, 0, 0, false});
}

void ConnectFailed(ConnectContext& context, int32_t code, std::u16string_view text) {
    ConnectFailedAs(context, code, text, code, 0);
}

void ConnectFailedAs(ConnectContext& context, int32_t code, std::u16string_view text, int32_t postedCode,
                     intptr_t detail) {
    Decide(context, code, text, {ConnectEnd::kFailed, static_cast<uint32_t>(postedCode), detail, false});
}

void ConnectFailedWithServerText(ConnectContext& context, int32_t code, std::u16string_view text) {
    Decide(context, code, text, {ConnectEnd::kFailed, static_cast<uint32_t>(code), 0, true});
}

void ConnectFailedAsReported(ConnectContext& context, int32_t code, std::u16string_view text) {
    Decide(context, code, text, {ConnectEnd::kReported, static_cast<uint32_t>(code), 0, false});
}

void ConnectStoppedByDisconnect(ConnectContext& context) {
    Decide(context, kConnectStopped, kTextStoppedByDisconnect,
           {ConnectEnd::kStopped, static_cast<uint32_t>(kConnectStopped), 0, false});
}

void PostConnectResult(const ConnectContext& context) {
    const ConnectReport& r = context.report;
    if (r.end != ConnectEnd::kConnected && r.end != ConnectEnd::kFailed) return;
    if (r.sendsText) {
        platform::SendWindowMessage(platform::MainWindow(), UM_CONNECT_RESULT, r.code,
                                    reinterpret_cast<intptr_t>(context.message.c_str()));
        return;
    }
    platform::PostWindowMessage(platform::MainWindow(), UM_CONNECT_RESULT, r.code, r.detail);
}

void PostConnectNotice(int32_t code) {
    platform::PostWindowMessage(platform::MainWindow(), UM_CONNECT_RESULT, static_cast<uint32_t>(code), 0);
}

}  // namespace velora
