// miaolan-node: serves a picture collection to 渺岚壁纸 clients.
//
//   miaolan-node [options] [DIR]
//     DIR                 catalogue folder (subfolders named after the fourteen categories)
//     --config FILE       configuration file (UTF-8; see server/node.example.conf)
//     --listen HOST:PORT  protocol address (default 127.0.0.1:1629)
//     --http HOST:PORT    HTTP address (default 127.0.0.1:1630)
//     --cache DIR         previews, detail pictures and counts (default DIR/.miaolan-node)
//     --admin-token T     enables POST /admin/notice and /admin/rescan with header X-Admin-Token
//     --admin HOST:PORT   where the admin endpoint listens (default 127.0.0.1:1631)
//     --verbose           one log line per request
//
// While it runs, lines on standard input are commands: "notice TEXT", "rescan", "clients",
// "quit". SIGHUP rescans; SIGINT and SIGTERM stop it cleanly.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "log.h"
#include "node.h"
#include "node_config.h"
#include "sys/text.h"

namespace {

int Usage(const char* why) {
    std::fprintf(
        stderr,
        "miaolan-node: %s\nusage: miaolan-node [--config FILE] [--listen HOST:PORT] [--http HOST:PORT] "
        "[--cache DIR] [--admin-token T] [--admin HOST:PORT] [--verbose] [DIR]\n",
        why);
    return 2;
}

// Reads commands from standard input until it ends or the node stops.
void CommandLoop(node::Node& n, std::atomic<bool>& stop) {
    std::string pending;
    while (!stop) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        int r = poll(&p, 1, 200);
        if (r < 0) return;
        if (r == 0) continue;
        char buf[1024];
        ssize_t got = read(STDIN_FILENO, buf, sizeof buf);
        if (got <= 0) return;  // no more commands (stdin closed or /dev/null)
        pending.append(buf, static_cast<size_t>(got));
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
            if (line.rfind("notice ", 0) == 0) {
                n.SendNotice(sys::Utf8ToGbk(line.substr(7)));
            } else if (line == "rescan") {
                n.Rescan();
            } else if (line == "clients") {
                node::Log("node: " + std::to_string(n.clients()) + " clients connected");
            } else if (line == "quit") {
                kill(getpid(), SIGTERM);
                return;
            } else if (!line.empty()) {
                node::Log("node: commands are: notice TEXT, rescan, clients, quit");
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    node::Config config;
    std::string configFile, dir, listen, http, cache, token, admin;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        if (a == "--config") {
            if (!value(configFile)) return Usage("--config needs a file");
        } else if (a == "--listen") {
            if (!value(listen)) return Usage("--listen needs HOST:PORT");
        } else if (a == "--http") {
            if (!value(http)) return Usage("--http needs HOST:PORT");
        } else if (a == "--cache") {
            if (!value(cache)) return Usage("--cache needs a folder");
        } else if (a == "--admin-token") {
            if (!value(token)) return Usage("--admin-token needs a text");
        } else if (a == "--admin") {
            if (!value(admin)) return Usage("--admin needs HOST:PORT");
        } else if (a == "--verbose") {
            node::SetVerbose(true);
        } else if (a == "--help" || a == "-h") {
            Usage("serves a picture collection");
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            return Usage(("unknown option " + a).c_str());
        } else if (dir.empty()) {
            dir = a;
        } else {
            return Usage("only one catalogue folder");
        }
    }
    std::string error;
    if (!configFile.empty() && !node::LoadConfigFile(configFile, config, error)) return Usage(error.c_str());
    if (!dir.empty()) config.catalogueUtf8 = dir;
    if (!cache.empty()) config.cacheUtf8 = cache;
    if (!listen.empty() && !node::ParseHostPort(listen, config.listenHost, config.listenPort))
        return Usage("bad --listen address");
    if (!http.empty() && !node::ParseHostPort(http, config.httpHost, config.httpPort))
        return Usage("bad --http address");
    if (!admin.empty() && !node::ParseHostPort(admin, config.adminHost, config.adminPort))
        return Usage("bad --admin address");
    if (config.catalogueUtf8.empty()) return Usage("no catalogue folder");

    // Signals are taken by sigwait below, never by a handler on some worker thread.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    node::Node n(config, token);
    if (!n.Start(error)) {
        node::Log("node: cannot start: " + error);
        return 1;
    }
    std::atomic<bool> stop{false};
    std::thread commands([&] { CommandLoop(n, stop); });
    for (;;) {
        int sig = 0;
        if (sigwait(&signals, &sig) != 0) continue;
        if (sig == SIGHUP) {
            n.Rescan();
            continue;
        }
        node::Log(std::string("node: ") + (sig == SIGINT ? "SIGINT" : "SIGTERM") + ", stopping");
        break;
    }
    stop = true;
    commands.join();
    n.Stop();
    return 0;
}
