// The stand-in's discovery, privacy version, error catalogue, public key, sign-in methods, sign-in and polling.
#include "Operations.h"

namespace sim {

bool AuthOperations(const OpRequest&, CTenant&, Reply&) { return false; }

}  // namespace sim
