// Test controls of the host's simulated named pipes: a test plays the server end of a pipe by a
// function that sees every block the client writes and answers with the bytes the client will read.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform::host {

struct SimPipeAnswer {
    std::string bytes;   // queued for the client's reads
    bool close = false;  // the server ends this connection after the bytes
};
using SimPipeServer = std::function<SimPipeAnswer(std::string_view written)>;

// Serves `name` from now on (replacing an earlier server); connections opened before keep theirs.
void ServeSimPipe(std::u16string_view name, SimPipeServer server);
// Serves `name` with a server of its own for every connection opened from now on (made by
// `newConnection` at the open), so a server can keep what one client has sent so far.
void ServeSimPipeConnections(std::u16string_view name, std::function<SimPipeServer()> newConnection);
// No server for `name` any more: opens fail with 2, open connections read a broken pipe.
void StopSimPipe(std::u16string_view name);
// The next `count` open attempts of `name` find every instance busy.
void SetSimPipeBusy(std::u16string_view name, uint32_t count);
// The program path that serves `name` poses as (empty: "ferronwin.exe" beside the running program).
void SetSimPipeServerImage(std::u16string_view name, std::u16string_view image);
// Connections opened to `name` so far.
uint32_t SimPipeOpenCount(std::u16string_view name);

}  // namespace platform::host
