// The cluster form as clients meet it: two nodes behind HAProxy, nginx in front of their
// pictures, PostgreSQL between them. Runs against a cluster started by
// server/deploy/cluster-test.sh, which names it in MIAOLAN_CLUSTER_ENV; not part of ctest.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "node_harness.h"
#include "sys/text.h"

using namespace nodetest;
using Clock = std::chrono::steady_clock;

namespace {

std::map<std::string, std::string>& Env() {
    static std::map<std::string, std::string> env = [] {
        std::map<std::string, std::string> e;
        const char* path = std::getenv("MIAOLAN_CLUSTER_ENV");
        std::ifstream in(path ? path : "");
        std::string line;
        while (std::getline(in, line)) {
            size_t eq = line.find('=');
            if (eq != std::string::npos) e[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return e;
    }();
    return env;
}
int Port(const std::string& name) { return std::atoi(Env()[name].c_str()); }

std::string S(std::initializer_list<std::string> fields) {
    std::string out;
    for (const auto& f : fields) out += (&f == fields.begin() ? "" : kSep) + f;
    return out;
}
std::string ListPage(const std::string& cat) { return S({"&获取", cat, "下载最多", "1", "1", ""}); }
std::vector<std::string> Paths(const std::vector<std::string>& reply) {
    return sys::Split(FieldOf(reply, 5), "[a]");
}

// Current sessions HAProxy holds per node, from its stats socket.
std::map<std::string, int> SessionsPerNode() {
    std::map<std::string, int> out;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::string path = Env()["HAPROXY_SOCKET"];
    if (fd < 0 || path.size() >= sizeof a.sun_path) return out;
    path.copy(a.sun_path, path.size());
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return out;
    }
    std::string ask = "show stat\n", csv;
    (void)!write(fd, ask.data(), ask.size());
    char buf[4096];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) csv.append(buf, static_cast<size_t>(n));
    close(fd);
    std::istringstream lines(csv);
    std::string line;
    int scur = -1;
    while (std::getline(lines, line)) {
        auto cells = sys::Split(line, ",");
        if (line.rfind("# ", 0) == 0) {
            for (size_t i = 0; i < cells.size(); ++i)
                if (cells[i] == "scur") scur = static_cast<int>(i);
        } else if (scur >= 0 && cells.size() > static_cast<size_t>(scur) && cells[0] == "nodes" &&
                   cells[1].rfind("node", 0) == 0) {
            out[cells[1]] = std::atoi(cells[scur].c_str());
        }
    }
    return out;
}

// The sessions once HAProxy holds exactly `total`: clients of an earlier test that closed their
// end may still be counted for a moment.
std::map<std::string, int> SettledSessions(int total) {
    auto deadline = Clock::now() + std::chrono::seconds(5);
    auto s = SessionsPerNode();
    while (s["node1"] + s["node2"] != total && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        s = SessionsPerNode();
    }
    return s;
}

// Clients through the front, each greeted.
std::vector<std::unique_ptr<PackClient>> GreetedClients(int count) {
    std::vector<std::unique_ptr<PackClient>> out;
    for (int i = 0; i < count; ++i) {
        out.push_back(std::make_unique<PackClient>(Port("FRONT_PORT")));
        EXPECT_EQ(FieldOf(out.back()->Ask("&1"), 1), "&1") << "client " << i;
    }
    return out;
}

class Cluster : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_GT(Port("FRONT_PORT"), 0) << "MIAOLAN_CLUSTER_ENV names no running cluster";
    }
};

TEST_F(Cluster, ClientsSpreadOverBothNodes) {
    auto clients = GreetedClients(6);
    auto sessions = SettledSessions(6);
    EXPECT_GT(sessions["node1"], 0);
    EXPECT_GT(sessions["node2"], 0);
    EXPECT_EQ(sessions["node1"] + sessions["node2"], 6);
}

TEST_F(Cluster, ADownloadCountedThroughOneNodeOrdersTheOthersList) {
    PackClient one(Port("NODE1_PACK")), two(Port("NODE2_PACK"));
    const std::string cat = "K风景";
    auto before = Paths(two.Ask(ListPage(cat)));
    ASSERT_GE(before.size(), 2u);
    const std::string last = before.back();
    // Past whatever the first one has, so the order must change.
    auto top = one.Ask(S({"&详细", cat, before.front(), "m"}));
    ASSERT_EQ(FieldOf(top, 1), "&详细");
    int needed = sys::ToInt(FieldOf(top, 4)) + 1;
    for (int i = 0; i < needed; ++i)
        ASSERT_EQ(FieldOf(one.Ask(S({"&下载", cat, last, "m", "", ""})), 1), "&下载");
    auto deadline = Clock::now() + std::chrono::seconds(10);
    std::vector<std::string> after;
    do {
        after = Paths(two.Ask(ListPage(cat)));
        if (!after.empty() && after.front() == last) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (Clock::now() < deadline);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.front(), last) << "node 2 never ordered by node 1's downloads";
    EXPECT_EQ(FieldOf(two.Ask(S({"&详细", cat, last, "m"})), 4), std::to_string(needed));

    // Both nodes count one picture at once: neither overwrites the other's downloads.
    const std::string both = before[before.size() - 2];
    auto downloads = [&](PackClient& c) {
        return sys::ToInt(FieldOf(c.Ask(S({"&详细", cat, both, "m"})), 4));
    };
    int start = downloads(one);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(FieldOf(one.Ask(S({"&下载", cat, both, "m", "", ""})), 1), "&下载");
        ASSERT_EQ(FieldOf(two.Ask(S({"&下载", cat, both, "m", "", ""})), 1), "&下载");
    }
    deadline = Clock::now() + std::chrono::seconds(10);
    while ((downloads(one) != start + 40 || downloads(two) != start + 40) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(downloads(one), start + 40);
    EXPECT_EQ(downloads(two), start + 40);
}

TEST_F(Cluster, ANoticePostedToOneNodeReachesTheClientsOfEveryNode) {
    PackClient one(Port("NODE1_PACK")), two(Port("NODE2_PACK"));
    auto front = GreetedClients(4);
    ASSERT_EQ(FieldOf(one.Ask("&1"), 1), "&1");
    ASSERT_EQ(FieldOf(two.Ask("&1"), 1), "&1");
    std::string tag = "cluster-" + std::to_string(getpid());
    auto posted =
        HttpGet(Port("NODE1_ADMIN"), "/admin/notice", "X-Admin-Token: " + Env()["ADMIN_TOKEN"] + "\r\n",
                "POST", sys::GbkToUtf8("维护通知 " + tag));
    ASSERT_EQ(posted.status, 200);
    std::vector<PackClient*> everyone = {&one, &two};
    for (auto& c : front) everyone.push_back(c.get());
    for (size_t i = 0; i < everyone.size(); ++i) {
        auto got = everyone[i]->Receive();
        ASSERT_TRUE(got) << "client " << i << " got no notice";
        auto f = Fields(*got);
        EXPECT_EQ(FieldOf(f, 1), "&通用") << "client " << i;
        EXPECT_NE(FieldOf(f, 2).find("维护通知 " + tag), std::string::npos) << "client " << i;
    }
}

TEST_F(Cluster, ARescanPostedToOneNodeReachesTheOthers) {
    PackClient two(Port("NODE2_PACK"));
    const std::string cat = "K动物";
    size_t before = Paths(two.Ask(ListPage(cat))).size();
    ASSERT_GT(before, 0u);
    // A new picture in the shared catalogue, known to no node until a rescan.
    std::string folder = Env()["CATALOGUE"] + "/" + sys::GbkToUtf8(cat);
    std::string copy = folder + "/added-" + std::to_string(getpid()) + ".jpg";
    {
        std::ofstream(copy, std::ios::binary)
            << ReadFile(Env()["CATALOGUE"] + "/" + sys::GbkToUtf8("K风景") + "/" + "Aqua.jpg");
    }
    auto posted = HttpGet(Port("NODE1_ADMIN"), "/admin/rescan",
                          "X-Admin-Token: " + Env()["ADMIN_TOKEN"] + "\r\n", "POST", "");
    EXPECT_EQ(posted.status, 200);
    auto deadline = Clock::now() + std::chrono::seconds(10);
    size_t after = before;
    while (after == before && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        after = Paths(two.Ask(ListPage(cat))).size();
    }
    std::remove(copy.c_str());
    EXPECT_EQ(after, before + 1) << "node 2 did not rescan";
}

TEST_F(Cluster, AFullImageThroughNginxResumesByteExact) {
    PackClient c(Port("FRONT_PORT"));
    // The largest picture of the view (the detail reply gives its size in kilobytes).
    const std::string cat = "4K最新";
    std::string largest;
    int largestKb = 0;
    for (const auto& p : Paths(c.Ask(ListPage(cat)))) {
        int kb = sys::ToInt(FieldOf(c.Ask(S({"&详细", cat, p, "m"})), 3));
        if (kb > largestKb) largest = p, largestKb = kb;
    }
    ASSERT_FALSE(largest.empty());
    auto dl = c.Ask(S({"&下载", cat, largest, "m", "", ""}));
    std::string url = FieldOf(dl, 2);
    std::string base = "http://127.0.0.1:" + Env()["PICTURES_PORT"] + "/image/";
    ASSERT_EQ(url.rfind(base, 0), 0u) << url;
    std::string path = url.substr(base.size() - 7);
    auto whole = HttpGet(Port("PICTURES_PORT"), path);
    auto direct = HttpGet(Port("NODE2_HTTP"), path);
    ASSERT_EQ(whole.status, 200);
    ASSERT_EQ(direct.status, 200);
    // Larger than nginx's 1 MiB slice, so the resumed part spans slices.
    ASSERT_GT(whole.body.size(), 1u << 21);
    EXPECT_TRUE(whole.body == direct.body);
    size_t from = whole.body.size() / 3 + 12345;
    auto rest = HttpGet(Port("PICTURES_PORT"), path, "Range: bytes=" + std::to_string(from) + "-\r\n");
    EXPECT_EQ(rest.status, 206);
    EXPECT_EQ(rest.Header("Content-Range"), "bytes " + std::to_string(from) + "-" +
                                                std::to_string(whole.body.size() - 1) + "/" +
                                                std::to_string(whole.body.size()));
    EXPECT_TRUE(rest.body == whole.body.substr(from)) << rest.body.size() << " bytes";
}

// Last: it leaves one node dead.
TEST_F(Cluster, ClientsOfAKilledNodeAreGreetedByTheOtherWithinSixSeconds) {
    auto clients = GreetedClients(6);
    auto sessions = SettledSessions(6);
    ASSERT_EQ(sessions["node1"] + sessions["node2"], 6);
    int onFirst = sessions["node1"];
    ASSERT_GT(onFirst, 0);
    pid_t pid = std::atoi(Env()["NODE1_PID"].c_str());
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    auto killed = Clock::now();
    // The dead node's clients find their connection closed; the others are still answered.
    int orphans = 0;
    for (auto& c : clients)
        if (FieldOf(c->Ask("&1"), 1) != "&1") ++orphans;
    EXPECT_EQ(orphans, onFirst);
    std::printf("failover: %d clients found their connection closed %lld ms after the kill\n", orphans,
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - killed).count()));
    // Each reconnects the way the program does, at least a second apart.
    for (int i = 0; i < orphans; ++i) {
        std::unique_ptr<PackClient> again;
        bool greeted = false;
        int attempts = 0;
        while (!greeted && Clock::now() - killed < std::chrono::seconds(6)) {
            ++attempts;
            again = std::make_unique<PackClient>(Port("FRONT_PORT"));
            greeted = again->connected() && FieldOf(again->Ask("&1"), 1) == "&1";
            if (!greeted) std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - killed).count();
        ASSERT_TRUE(greeted) << "client " << i << " not greeted " << ms << " ms after the kill";
        std::printf("failover: client %d greeted %lld ms after its node was killed (attempt %d)\n", i,
                    static_cast<long long>(ms), attempts);
        auto page = again->Ask(ListPage("K风景"));
        EXPECT_EQ(FieldOf(page, 1), "&获取");
        EXPECT_FALSE(Paths(page).empty());
    }
}

}  // namespace
