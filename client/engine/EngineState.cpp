// The one EngineState of the process.
#include "engine/EngineState.h"

namespace velora {

EngineState& GetEngineState() {
    // Never destroyed: worker threads may still read it while the process ends.
    static EngineState* state = new EngineState;
    return *state;
}

}  // namespace velora
