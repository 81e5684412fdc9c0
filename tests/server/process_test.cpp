// The miaolan-node program itself: started with a folder, commands on standard input, and a
// clean stop on SIGINT.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>

#include "node_harness.h"
#include "sys/text.h"

using namespace nodetest;

namespace {

class NodeProcess {
  public:
    explicit NodeProcess(const std::vector<std::string>& args) {
        int in[2], err[2];
        if (pipe(in) != 0 || pipe(err) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(err[1], STDERR_FILENO);
            close(in[1]);
            close(err[0]);
            std::vector<char*> argv;
            std::string exe = std::string(MIAOLAN_BINARY_DIR) + "/server/miaolan-node";
            argv.push_back(exe.data());
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(exe.c_str(), argv.data());
            _exit(127);
        }
        close(in[0]);
        close(err[1]);
        stdin_ = in[1];
        stderr_ = err[0];
    }
    ~NodeProcess() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdin_ >= 0) close(stdin_);
        if (stderr_ >= 0) close(stderr_);
    }
    // Reads the log until a line matches; 20 s at most.
    bool WaitFor(const std::regex& re, std::smatch& m) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (;;) {
            size_t nl;
            while ((nl = log_.find('\n', scanned_)) != std::string::npos) {
                std::string line = log_.substr(scanned_, nl - scanned_);
                scanned_ = nl + 1;
                if (std::regex_search(line, m, re)) {
                    line_ = line;
                    std::regex_search(line_, m, re);
                    return true;
                }
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{stderr_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
            char buf[4096];
            ssize_t n = read(stderr_, buf, sizeof buf);
            if (n <= 0) return false;
            log_.append(buf, static_cast<size_t>(n));
        }
    }
    void Command(const std::string& line) { (void)!write(stdin_, line.data(), line.size()); }
    // Exit status after a signal, or -1 when it does not end within 20 s.
    int StopWith(int sig) {
        kill(pid_, sig);
        for (int i = 0; i < 400; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                reaped_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(50 * 1000);
        }
        return -1;
    }
    const std::string& log() const { return log_; }

  private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int stdin_ = -1, stderr_ = -1;
    std::string log_, line_;
    size_t scanned_ = 0;
};

TEST(NodeProgram, ServesAFolderTakesCommandsAndStopsCleanly) {
    TempDir cache("proc");
    NodeProcess p(
        {CatalogueDir(), "--listen", "127.0.0.1:0", "--http", "127.0.0.1:0", "--cache", cache.path()});
    std::smatch m;
    ASSERT_TRUE(
        p.WaitFor(std::regex("protocol on 127\\.0\\.0\\.1:(\\d+), HTTP on 127\\.0\\.0\\.1:(\\d+)"), m))
        << p.log();
    int packPort = std::stoi(m[1]);
    std::string http = "http://127.0.0.1:" + m[2].str();

    PackClient c(packPort);
    auto hello = c.Ask(std::string("&1") + kSep);
    EXPECT_EQ(sys::Split(FieldOf(hello, 2), "[a]").back(), http);

    p.Command(sys::GbkToUtf8("notice 服务器将重启\n"));
    auto notice = c.Receive();
    ASSERT_TRUE(notice.has_value());
    EXPECT_EQ(*notice, std::string("&通用") + kSep + "服务器将重启");

    p.Command("rescan\n");
    ASSERT_TRUE(p.WaitFor(std::regex("scan: 25 pictures"), m)) << p.log();

    EXPECT_EQ(p.StopWith(SIGINT), 0) << p.log();
    EXPECT_TRUE(p.WaitFor(std::regex("node: stopped"), m)) << p.log();
    EXPECT_TRUE(c.WaitClosed());
}

TEST(NodeProgram, RefusesBadArgumentsAndBusyPorts) {
    NodeProcess bad({"--listen"});
    EXPECT_EQ(bad.StopWith(0), 2);
    NodeProcess none({"--http", "127.0.0.1:1"});
    EXPECT_EQ(none.StopWith(0), 2);  // no catalogue folder

    TempDir cache("proc-busy");
    RunningNode running(TestConfig(cache.path()));
    TempDir cache2("proc-busy2");
    NodeProcess clash({CatalogueDir(), "--listen", "127.0.0.1:" + std::to_string(running.packPort()),
                       "--http", "127.0.0.1:0", "--cache", cache2.path()});
    std::smatch m;
    EXPECT_TRUE(clash.WaitFor(std::regex("cannot start"), m));
    EXPECT_EQ(clash.StopWith(0), 1);
}

}  // namespace
