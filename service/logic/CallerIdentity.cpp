// The binding rule between a caller and the owner of what it wants to change.
#include "logic/CallerIdentity.h"

namespace corvane {

bool MayActFor(const CallerIdentity& caller, const CallerIdentity& owner) {
    if (caller.known && caller.administrator) return true;
    return caller.known == owner.known && caller.session == owner.session && caller.user == owner.user;
}

}  // namespace corvane
