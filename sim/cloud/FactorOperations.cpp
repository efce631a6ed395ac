// The stand-in's SMS codes, OTP recovery, the identity provider, password change and sign-out.
#include "Operations.h"

namespace sim {

bool FactorOperations(const OpRequest&, CTenant&, Reply&) { return false; }

}  // namespace sim
