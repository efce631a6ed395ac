// velora_cloud_sim: starts the stand-in on 127.0.0.1 (and ::1) over HTTP and HTTPS, says where it
// listens on one line (and in the ready file) once it accepts requests, and stops by itself after an
// idle limit or when asked at /_sim/stop.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "CloudSim.h"
#include "HttpServer.h"

namespace {

std::atomic<bool> g_stop{false};

void Usage() {
    std::cerr
        << "usage: velora_cloud_sim [--scenario FILE] [--http-port N] [--https-port N --cert PEM --key PEM]\n"
           "                        [--tls NAME=CERT,KEY]... [--no-ipv6] [--idle-seconds N] [--ready-file "
           "FILE]\n";
}

std::string Url(bool tls, const std::string& address, int port) {
    const std::string host = address.find(':') != std::string::npos ? "[" + address + "]" : address;
    return std::string(tls ? "https://" : "http://") + host + ":" + std::to_string(port);
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    std::string scenario, cert, key, readyFile;
    int httpPort = 0, httpsPort = 0, idleSeconds = 600;
    bool ipv6 = true;
    std::vector<std::pair<std::string, std::pair<std::string, std::string>>> extraTls;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                Usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--scenario")
            scenario = next();
        else if (arg == "--http-port")
            httpPort = std::atoi(next().c_str());
        else if (arg == "--https-port")
            httpsPort = std::atoi(next().c_str());
        else if (arg == "--cert")
            cert = next();
        else if (arg == "--key")
            key = next();
        else if (arg == "--idle-seconds")
            idleSeconds = std::atoi(next().c_str());
        else if (arg == "--ready-file")
            readyFile = next();
        else if (arg == "--no-ipv6")
            ipv6 = false;
        else if (arg == "--tls") {
            const std::string spec = next();
            const auto eq = spec.find('='), comma = spec.find(',');
            if (eq == std::string::npos || comma == std::string::npos || comma < eq) {
                Usage();
                return 2;
            }
            extraTls.push_back(
                {spec.substr(0, eq), {spec.substr(eq + 1, comma - eq - 1), spec.substr(comma + 1)}});
        } else {
            Usage();
            return 2;
        }
    }

    sim::CCloudSim cloud;
    std::string error;
    if (!cloud.LoadScenario(scenario, error)) {
        std::cerr << "velora_cloud_sim: " << error << "\n";
        return 1;
    }
    cloud.OnStop([] { g_stop = true; });
    sim::CHttpServer server(cloud);

    std::vector<std::pair<std::string, std::string>> urls;  // name, URL
    auto listen = [&](const std::string& name, const std::string& address, int port, SSL_CTX* tls) {
        const int bound = server.Listen(name, address, port, tls);
        if (bound == 0) return 0;
        urls.emplace_back(name, Url(tls != nullptr, address, bound));
        return bound;
    };
    const int http = listen("http", "127.0.0.1", httpPort, nullptr);
    if (http == 0) {
        std::cerr << "velora_cloud_sim: cannot listen on 127.0.0.1:" << httpPort << "\n";
        return 1;
    }
    // IPv6 loopback on the same port number when it is free there, else on any.
    if (ipv6 && listen("http6", "::1", http, nullptr) == 0) listen("http6", "::1", 0, nullptr);
    if (!cert.empty()) {
        SSL_CTX* tls = sim::MakeServerTlsContext(cert, key);
        if (!tls) {
            std::cerr << "velora_cloud_sim: cannot use certificate " << cert << " with key " << key << "\n";
            return 1;
        }
        const int https = listen("https", "127.0.0.1", httpsPort, tls);
        if (https == 0) {
            std::cerr << "velora_cloud_sim: cannot listen on 127.0.0.1:" << httpsPort << "\n";
            return 1;
        }
        if (ipv6 && listen("https6", "::1", https, tls) == 0) listen("https6", "::1", 0, tls);
    }
    for (const auto& [name, files] : extraTls) {
        SSL_CTX* tls = sim::MakeServerTlsContext(files.first, files.second);
        if (!tls || listen(name, "127.0.0.1", 0, tls) == 0) {
            std::cerr << "velora_cloud_sim: cannot serve " << name << " with " << files.first << "\n";
            return 1;
        }
    }

    std::string line = "velora_cloud_sim ready";
    std::string info;
    for (const auto& [name, url] : urls) {
        line += " " + name + "=" + url;
        info += name + "=" + url + "\n";
    }
    info += "pid=" + std::to_string(::getpid()) + "\n";
    if (!readyFile.empty()) {
        // Written beside and renamed, so a reader never sees half of it.
        const std::string temp = readyFile + ".tmp";
        std::ofstream(temp, std::ios::binary) << info;
        std::rename(temp.c_str(), readyFile.c_str());
    }
    std::cout << line << std::endl;

    while (!g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const int64_t idleMs = sim::CHttpServer::NowMs() - server.LastActivityMs();
        if (idleSeconds > 0 && idleMs > int64_t(idleSeconds) * 1000) {
            std::cout << "velora_cloud_sim: idle for " << idleSeconds << " s, stopping" << std::endl;
            break;
        }
    }
    if (g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the stop answer leave
    std::cout.flush();
    std::_Exit(0);
}
