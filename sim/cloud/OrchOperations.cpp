// The stand-in's connect, gateway check, filter list, heartbeat, disconnect notice, diagnosis upload and upgrade.
#include "Operations.h"

namespace sim {

bool OrchOperations(const OpRequest&, CTenant&, Reply&) { return false; }

}  // namespace sim
