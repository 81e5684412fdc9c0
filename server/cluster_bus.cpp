#include "cluster_bus.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "log.h"
#include "sys/text.h"

namespace node {
namespace {

const char kNotice[] = "miaolan_notice";
const char kRescan[] = "miaolan_rescan";
const char kCounts[] = "miaolan_counts";
const size_t kMaxPayload = 7999;
const size_t kMaxOutbox = 256;

}  // namespace

ClusterBus::ClusterBus(std::string uri, Handlers handlers)
    : conn_(std::move(uri), "miaolan-node cluster"),
      handlers_(std::move(handlers)),
      wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

ClusterBus::~ClusterBus() {
    Stop();
    if (wakeFd_ >= 0) close(wakeFd_);
}

bool ClusterBus::Start(std::string& error) {
    if (!Listen()) {
        error = "cannot listen on the cluster database: " + conn_.LastError();
        return false;
    }
    if (wakeFd_ < 0) {
        error = "cannot make the cluster bus's wake-up";
        return false;
    }
    stop_ = false;
    thread_ = std::thread([this] { Loop(); });
    return true;
}

void ClusterBus::Stop() {
    stop_ = true;
    if (wakeFd_ >= 0) {
        uint64_t one = 1;
        (void)!write(wakeFd_, &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
    conn_.Drop();
}

bool ClusterBus::Listen() {
    if (!conn_.Ready()) return false;
    std::string sql = std::string("LISTEN ") + kNotice + "; LISTEN " + kRescan + "; LISTEN " + kCounts;
    return conn_.Exec(sql.c_str());
}

bool ClusterBus::PostNotice(const std::string& textGbk) {
    // The database speaks UTF-8; GBK bytes would not pass as text.
    std::string utf8 = sys::GbkToUtf8(textGbk);
    if (utf8.size() > kMaxPayload) return false;
    Post(kNotice, std::move(utf8));
    return true;
}

void ClusterBus::PostRescan() { Post(kRescan, {}); }

void ClusterBus::Post(const char* channel, std::string payload) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (outbox_.size() >= kMaxOutbox) {
            Log("cluster: PostgreSQL has been away too long; an older message for the other nodes is "
                "dropped");
            outbox_.pop_front();
        }
        outbox_.emplace_back(channel, std::move(payload));
    }
    uint64_t one = 1;
    if (wakeFd_ >= 0) (void)!write(wakeFd_, &one, sizeof one);
}

void ClusterBus::Deliver(const std::string& channel, const std::string& payload) {
    if (channel == kNotice && handlers_.notice) {
        handlers_.notice(sys::Utf8ToGbk(payload));
    } else if (channel == kRescan && handlers_.rescan) {
        handlers_.rescan();
    } else if (channel == kCounts && handlers_.countsChanged) {
        handlers_.countsChanged();
    }
}

void ClusterBus::Loop() {
    bool wasDown = false;
    while (!stop_) {
        if (!conn_.raw() || PQstatus(conn_.raw()) != CONNECTION_OK) {
            if (!wasDown) Log("cluster: PostgreSQL is away; trying again each second");
            wasDown = true;
            if (!Listen()) {
                pollfd p{wakeFd_, POLLIN, 0};
                poll(&p, 1, 1000);
                uint64_t n;
                (void)!read(wakeFd_, &n, sizeof n);
                continue;
            }
            Log("cluster: PostgreSQL is back");
            wasDown = false;
            // What the counts did meanwhile is read again.
            if (handlers_.countsChanged) handlers_.countsChanged();
        }
        for (;;) {
            std::pair<std::string, std::string> m;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (outbox_.empty()) break;
                m = outbox_.front();
            }
            const char* params[] = {m.first.c_str(), m.second.c_str()};
            bool sent = conn_.ExecParams("SELECT pg_notify($1, $2)", 2, params);
            // Lost with the connection: kept for later. Refused by a working server: it
            // would be refused again, so it goes.
            if (!sent && !conn_.raw()) break;
            if (!sent) Log("cluster: PostgreSQL refused a message for the other nodes: " + conn_.LastError());
            std::lock_guard<std::mutex> lock(mutex_);
            outbox_.pop_front();
        }
        PGconn* c = conn_.raw();
        if (!c) continue;
        // Notifications read in passing (during the sends above) are already queued: the
        // socket would not wake for them.
        Drain(c);
        pollfd p[2] = {{PQsocket(c), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (poll(p, 2, 1000) < 0) continue;
        if (p[1].revents) {
            uint64_t n;
            (void)!read(wakeFd_, &n, sizeof n);
        }
        if (!PQconsumeInput(c)) {
            conn_.Drop();
            continue;
        }
        Drain(c);
    }
}

void ClusterBus::Drain(PGconn* c) {
    int self = PQbackendPID(c);
    while (PGnotify* n = PQnotifies(c)) {
        std::string channel = n->relname, payload = n->extra;
        // What this node posted it has done already.
        bool mine = n->be_pid == self;
        PQfreemem(n);
        if (!mine) Deliver(channel, payload);
    }
}

}  // namespace node
