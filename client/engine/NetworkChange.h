// Whether the network under a connection has changed (the default route moved to another interface, or
// its interface's address changed), and the debounce the tunnel and mobile-detect monitors run over the
// address-change notification: a change is noticed at once but taken for a lost link only when it still
// holds 15 seconds later, so that a short hiccup of the adapter does not cost the connection.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/AddressChange.h"
#include "platform/Types.h"

namespace velora {

constexpr int64_t kNetworkChangeHoldMs = 15000;

bool NetworkChanged(std::u16string_view rememberedAddress, bool verbose, bool tunnelMode);

class CNetworkChangeDebounce {
public:
    // Arms the notification; `rememberedAddress` is the address the connection was made over.
    CNetworkChangeDebounce(std::u16string rememberedAddress, bool tunnelMode, uint32_t checkWaitMs = 200);

    // One pass at `nowMs`: posts UM_LINK_STATE 5 for a change noticed, and 2 for one that held, then
    // answering the monitor's exit code 2. No value: the monitor goes on.
    std::optional<uint32_t> Pass(platform::WindowHandle window, int64_t nowMs);

private:
    platform::CAddressChangeWatch m_watch;
    std::u16string m_remembered;
    bool m_tunnelMode;
    uint32_t m_checkWaitMs;
    std::optional<int64_t> m_noticedAt;
};

}  // namespace velora
