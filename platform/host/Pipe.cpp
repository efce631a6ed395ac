// Named pipes on the host: an in-process registry of simulated servers, each posing as a program (by
// default the engine beside the running program). The server answers only when
// the client writes, so a read that finds nothing queued could never be satisfied: it reports the
// time-out at once instead of sleeping through it.
#include <cstring>
#include <map>
#include <mutex>

#include "platform/Pipe.h"
#include "platform/ProgramFolder.h"
#include "platform/host/SimPipe.h"

namespace platform {
namespace {

struct ServerEntry {
    std::shared_ptr<host::SimPipeServer> server;
    std::shared_ptr<std::function<host::SimPipeServer()>> newConnection;
    std::u16string image;  // empty: the engine beside the running program
    uint32_t busy = 0;
    uint32_t opens = 0;
};

std::mutex g_lock;
std::map<std::u16string, ServerEntry, std::less<>> g_servers;

class HostPipe final : public PipeConnection {
public:
    HostPipe(std::u16string name, std::shared_ptr<host::SimPipeServer> server)
        : name_(std::move(name)), server_(std::move(server)) {}

    uint32_t Write(const void* data, std::size_t size, uint32_t) override {
        if (closed_ || !Alive()) return kErrorBrokenPipe;
        host::SimPipeAnswer answer = (*server_)(std::string_view(static_cast<const char*>(data), size));
        pending_.append(answer.bytes);
        if (answer.close) closed_ = true;
        return 0;
    }

    uint32_t Read(void* buffer, std::size_t capacity, std::size_t& got, uint32_t) override {
        got = 0;
        if (capacity == 0) return 87;
        if (pending_.empty()) return closed_ || !Alive() ? kErrorBrokenPipe : kWaitTimeout;
        got = capacity < pending_.size() ? capacity : pending_.size();
        std::memcpy(buffer, pending_.data(), got);
        pending_.erase(0, got);
        return 0;
    }

    bool ServerIsPrivileged() override { return false; }

    uint32_t ServerImagePath(std::u16string& path) override {
        std::lock_guard l(g_lock);
        auto it = g_servers.find(name_);
        if (it == g_servers.end() || (!it->second.server && !it->second.newConnection))
            return kErrorBrokenPipe;
        path = it->second.image.empty() ? ProgramFolder() + u"ferronwin.exe" : it->second.image;
        return 0;
    }

private:
    bool Alive() {
        std::lock_guard l(g_lock);
        auto it = g_servers.find(name_);
        return it != g_servers.end() && (it->second.server || it->second.newConnection);
    }

    std::u16string name_;
    std::shared_ptr<host::SimPipeServer> server_;
    std::string pending_;
    bool closed_ = false;
};

}  // namespace

PipeOpening OpenPipe(std::u16string_view name, uint32_t, uint32_t attempts) {
    PipeOpening result;
    result.error = kErrorSemTimeout;
    std::lock_guard l(g_lock);
    auto it = g_servers.find(name);
    if (it == g_servers.end() || (!it->second.server && !it->second.newConnection)) {
        result.error = 2;
        return result;
    }
    for (uint32_t attempt = 0; attempt < attempts; ++attempt) {
        if (it->second.busy > 0) {
            --it->second.busy;
            continue;
        }
        ++it->second.opens;
        auto server = it->second.server;
        if (!server) server = std::make_shared<host::SimPipeServer>((*it->second.newConnection)());
        result.pipe = std::make_unique<HostPipe>(std::u16string(name), std::move(server));
        result.error = 0;
        return result;
    }
    return result;
}

namespace host {

void ServeSimPipe(std::u16string_view name, SimPipeServer server) {
    std::lock_guard l(g_lock);
    ServerEntry& entry = g_servers[std::u16string(name)];
    entry.server = std::make_shared<SimPipeServer>(std::move(server));
    entry.newConnection.reset();
}

void ServeSimPipeConnections(std::u16string_view name, std::function<SimPipeServer()> newConnection) {
    std::lock_guard l(g_lock);
    ServerEntry& entry = g_servers[std::u16string(name)];
    entry.server.reset();
    entry.newConnection = std::make_shared<std::function<SimPipeServer()>>(std::move(newConnection));
}

void StopSimPipe(std::u16string_view name) {
    std::lock_guard l(g_lock);
    auto it = g_servers.find(name);
    if (it != g_servers.end()) {
        it->second.server.reset();
        it->second.newConnection.reset();
    }
}

void SetSimPipeBusy(std::u16string_view name, uint32_t count) {
    std::lock_guard l(g_lock);
    g_servers[std::u16string(name)].busy = count;
}

void SetSimPipeServerImage(std::u16string_view name, std::u16string_view image) {
    std::lock_guard l(g_lock);
    g_servers[std::u16string(name)].image = image;
}

uint32_t SimPipeOpenCount(std::u16string_view name) {
    std::lock_guard l(g_lock);
    auto it = g_servers.find(name);
    return it == g_servers.end() ? 0 : it->second.opens;
}

}  // namespace host
}  // namespace platform
