// One process the service started or found, as the method logic sees it: it can be ended, waited for and
// asked for its exit code. Destroying the object closes the handle; it never ends the process.
#pragma once
#include <cstdint>
#include <string>

namespace corvane {

enum class WaitOutcome { Ended, TimedOut, Failed };

class CRunningProcess {
public:
    virtual ~CRunningProcess() = default;
    // Ends the process with `exitCode`. 0 or a system error code.
    virtual uint32_t Terminate(uint32_t exitCode) = 0;
    // Waits up to `ms` for the process to end; `error` is set when the wait itself failed.
    virtual WaitOutcome Wait(uint32_t ms, uint32_t& error) = 0;
    // False when the code cannot be read; 259 while the process runs.
    virtual bool GetExitCode(uint32_t& code) = 0;
    // The process's creation time and full image path, read from the open handle (so they describe this
    // very process, not one that got its id later). False when they cannot be read.
    virtual bool Identity(uint64_t& creationTime, std::u16string& imagePath) {
        (void)creationTime;
        (void)imagePath;
        return false;
    }
};

inline constexpr uint32_t kStillActiveCode = 259;

}  // namespace corvane
