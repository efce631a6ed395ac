// Test controls of the host's simulated kernel: make thread or event creations fail on purpose, so the
// callers' failure paths can be exercised on Linux.
#pragma once
#include <cstdint>
#include <string_view>

namespace platform::host {

// The next `count` thread creations after `skip` successful ones fail with `error`.
void FailThreadCreations(uint32_t skip, uint32_t count, uint32_t error);

// The next creation of the named event `name` fails with `error` (once).
void FailNamedEventCreation(std::u16string_view name, uint32_t error);

// The next `count` event creations (named or not) fail with `error`.
void FailNextEventCreations(uint32_t count, uint32_t error);

// Clears every pending failure above.
void ResetSimKernel();

// Threads started through StartThread whose bodies have not returned yet.
uint32_t RunningThreadCount();

}  // namespace platform::host
