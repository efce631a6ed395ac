// The cloud stand-in for a host benchmark: started from the build's bin folder for this run with a fresh
// test CA that the HTTP port trusts, and stopped by its pid at the end.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/Http.h"
#include "platform/Text.h"

extern char** environ;

namespace velora::bench {

class CStandIn {
public:
    // Certificates and the ready file go to `dir`, or to a temporary folder of its own (removed at the end).
    bool Start(std::string dir = {}) {
        const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
        const std::string exe = (self.parent_path() / "velora_cloud_sim").string();
        const std::filesystem::path script =
            std::filesystem::path(__FILE__).parent_path().parent_path() / "scripts" / "cloud-sim.sh";
        if (dir.empty()) {
            char folder[] = "/tmp/velora-bench-standin-XXXXXX";
            if (!mkdtemp(folder)) return false;
            dir = dir_ = folder;
        }
        const std::string certs = "'" + script.string() + "' certs '" + dir + "' >/dev/null 2>&1";
        if (std::system(certs.c_str()) != 0) return false;
        const std::string cert = dir + "/server.pem", key = dir + "/server.key", ready = dir + "/ready";
        std::vector<std::string> args = {exe,         "--cert",         cert,  "--key",        key,
                                         "--no-ipv6", "--idle-seconds", "120", "--ready-file", ready};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) return false;
        for (int i = 0; i < 100 && !std::filesystem::exists(ready); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream in(ready);
        std::string line;
        while (std::getline(in, line)) {
            const auto eq = line.find('=');
            if (eq != std::string::npos) urls_[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return platform::TrustRootCertificateForTest(platform::Utf8ToUtf16(dir + "/ca.pem")) &&
               !Url("http").empty();
    }
    ~CStandIn() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }
    std::u16string Url(const std::string& name) const {
        const auto it = urls_.find(name);
        return it == urls_.end() ? std::u16string() : platform::Utf8ToUtf16(it->second);
    }

private:
    pid_t pid_ = -1;
    std::string dir_;  // the temporary folder this object made, if any
    std::map<std::string, std::string> urls_;
};

}  // namespace velora::bench
