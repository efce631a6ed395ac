// Bring-up of the connection modes that do not run the local data-path engine: the L2TP/IPsec tunnel to
// a VCPE or DCPE gateway, and the mobile-detect mode. Called by the connect worker with the connect
// answer (as text) once the mode is chosen; each writes `result` and `message` of the context and posts
// the final UM_CONNECT_RESULT itself.
#pragma once
#include <string_view>

#include "engine/ConnectContext.h"

namespace velora {

void StartVcpeTunnel(std::u16string_view answer, ConnectContext& context);
void StartDcpeTunnel(std::u16string_view answer, ConnectContext& context);
void StartMobileDetect(std::u16string_view answer, ConnectContext& context);

}  // namespace velora
