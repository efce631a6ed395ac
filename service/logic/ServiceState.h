// What the service remembers between calls, in its own folder ("corvane.state" beside the executable,
// where only the system account and administrators may write), so that a restarted service still knows
// it: the engine it started (process id and creation time, so that a reused id or a look-alike is never
// taken for it) with the caller that started it, and every route it added with the caller it added it for.
// Every read-change-write of the state happens under ServiceStateLock, which also serialises the engine's
// start and stop.
#pragma once
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "logic/CallerIdentity.h"
#include "logic/ServiceStore.h"

namespace corvane {

struct EngineRecord {
    uint32_t id = 0;
    uint64_t creationTime = 0;  // as the system reports it for the process; never 0 for a real one
    CallerIdentity owner;
};

struct RouteRecord {
    uint32_t destination = 0, mask = 0, nextHop = 0, interfaceIndex = 0;
    CallerIdentity owner;
};

inline constexpr char16_t kServiceStateFile[] = u"corvane.state";

class CServiceState {
public:
    explicit CServiceState(CServiceStore& store) : store_(store) {}

    // Reads the file; a missing or unreadable file is an empty state (an unreadable one is logged), a
    // malformed line is skipped.
    void Load();
    // Writes the whole state; false (logged) when it could not be written.
    bool Save();

    std::optional<EngineRecord> engine;
    std::vector<RouteRecord> routes;

private:
    bool Path(std::u16string& path);
    CServiceStore& store_;
};

std::recursive_mutex& ServiceStateLock();

// The state's text form, open for tests.
std::string FormatServiceState(const std::optional<EngineRecord>& engine, const std::vector<RouteRecord>& routes);
void ParseServiceState(std::string_view text, std::optional<EngineRecord>& engine,
                       std::vector<RouteRecord>& routes);

}  // namespace corvane
