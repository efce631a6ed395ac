// Test controls of the host's simulated dial-up service (DialUp.h): what the entries and keys hold, how
// the next dials end (connected after a delay, failed with a code, or not at all until the test lets
// them go or someone hangs them up), the connections that are up, and a drop of one of them. A dial in
// progress already has its handle; its connection is listed, in a dialling state, until the dial ends.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DialUp.h"

namespace platform::host {

struct SimDialPlan {
    // NeverReturn: the dial ends only through ReleaseSimDials, a hang-up or ResetSimDialUp.
    enum class Outcome { Connect, Fail, NeverReturn };
    Outcome outcome = Outcome::Connect;
    uint32_t delayMs = 0;  // from the dial's start to its end (Connect, Fail)
    uint32_t error = 0;    // Fail: the dial's error
};

struct SimDialCall {
    std::u16string phonebook, entryName, user, password;
};

// The plans of the next dials, in order; once they are used up every dial connects at once.
void PlanSimDials(std::vector<SimDialPlan> plans);
// Ends every dial still held (NeverReturn) now with `error` (0: connected).
void ReleaseSimDials(uint32_t error);
// Dials begun and not yet ended.
uint32_t SimDialsInProgress();
// Every dial so far, oldest first.
std::vector<SimDialCall> SimDialCalls();

// The entry as last written under `name` into `phonebook`; nullopt when none.
std::optional<DialUpEntry> SimDialUpEntry(std::u16string_view phonebook, std::u16string_view name);
// The pre-shared key stored for the entry; nullopt when none.
std::optional<std::u16string> SimPresharedKey(std::u16string_view phonebook, std::u16string_view name);
// The next entry writes fail at `step` with `error` (Done: no failure); the next key stores fail with
// `keyError` (0: no failure). Both stay until changed or reset.
void FailSimEntryWrites(DialUpEntryStep step, uint32_t error);
void FailSimKeyStores(uint32_t keyError);

// A connection that is up without a dial of this process (left over from an earlier run).
DialUpHandle AddSimConnection(std::u16string_view entryName, bool connected);
// The connection drops: it stays listed, its state is no longer connected.
void DropSimConnection(DialUpHandle handle);
// Hang-ups so far, in order.
std::vector<DialUpHandle> SimHangUps();

// Back to no entries, no connections, no plans, no failures, empty records; dials still in progress end
// with 121 (ERROR_SEM_TIMEOUT).
void ResetSimDialUp();

}  // namespace platform::host
