#include "node.h"

#include <sys/resource.h>

#include <algorithm>

#include "image_tools.h"
#include "log.h"
#include "sys/text.h"

namespace node {

Node::Node(Config config, std::string adminToken)
    : config_(std::move(config)), adminToken_(std::move(adminToken)) {}

Node::~Node() { Stop(); }

// Every client is a socket, so max_clients means nothing past the open-file limit. The soft
// limit is raised as far as the hard one allows; a hard limit below the need is said plainly.
void Node::RaiseOpenFileLimit() {
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0) return;
    // Both servers full, the listeners, the cache and database files, the libraries' own.
    rlim_t need =
        static_cast<rlim_t>(config_.maxClients) + static_cast<rlim_t>(config_.httpMaxConnections) + 64 + 256;
    if (lim.rlim_cur >= need) return;
    rlim_t want = lim.rlim_max == RLIM_INFINITY ? need : std::min(need, lim.rlim_max);
    if (want > lim.rlim_cur) {
        rlimit raised = lim;
        raised.rlim_cur = want;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) lim.rlim_cur = want;
    }
    if (lim.rlim_cur < need)
        Log("node: the open-file limit is " + std::to_string(lim.rlim_cur) + " (hard limit " +
            (lim.rlim_max == RLIM_INFINITY ? std::string("unlimited") : std::to_string(lim.rlim_max)) +
            "), below the " + std::to_string(need) +
            " that max_clients = " + std::to_string(config_.maxClients) +
            " and http_max_connections = " + std::to_string(config_.httpMaxConnections) +
            " need; clients past about " + std::to_string(lim.rlim_cur > 320 ? lim.rlim_cur - 320 : 0) +
            " will be refused. Raise the hard limit (LimitNOFILE= in a systemd unit, nofile in "
            "/etc/security/limits.conf, ulimit -Hn) or lower max_clients.");
}

std::shared_ptr<const Catalogue> Node::catalogue() const {
    std::lock_guard<std::mutex> lock(catalogueMutex_);
    return catalogue_;
}

bool Node::Start(std::string& error) {
    if (!InitImageLibrary()) {
        error = "cannot start libvips";
        return false;
    }
    if (config_.catalogueUtf8.empty()) {
        error = "no catalogue folder given";
        return false;
    }
    if (config_.cacheUtf8.empty()) config_.cacheUtf8 = config_.catalogueUtf8 + "/.miaolan-node";
    cache_ = std::make_unique<ImageCache>(config_.cacheUtf8);
    if (!cache_->CreateFolders(error)) return false;
    bool shared = IsPostgresUri(config_.database);
    auto database = shared ? OpenPostgresCounts(config_.database, error)
                           : OpenSqliteCounts(config_.cacheUtf8 + "/counts.sqlite", error);
    if (!database || !counts_.Open(std::move(database), error)) return false;
    if (shared) {
        // Made before the web server takes requests (its hooks post to it); it starts
        // listening once this node can act on what it hears.
        ClusterBus::Handlers bus;
        bus.notice = [this](const std::string& text) { NoticeHere(text); };
        bus.rescan = [this] { RescanHere(); };
        bus.countsChanged = [this] { counts_.Poke(); };
        bus_ = std::make_unique<ClusterBus>(config_.database, bus);
    }
    catalogue_ = std::make_shared<Catalogue>();

    RaiseOpenFileLimit();
    HttpLimits web;
    web.maxConnections = config_.httpMaxConnections;
    web.perAddress = config_.httpPerAddress;
    web.workers = config_.httpThreads;
    http_ = std::make_unique<HttpServer>("http", web, PictureRoutes(*cache_, [this] { return catalogue(); }));
    if (!http_->Start(config_.httpHost, config_.httpPort, error)) return false;
    // Mirrors are settled once the HTTP port is known: the default one is this node itself.
    config_.httpPort = http_->port();
    CompleteConfig(config_);
    if (!adminToken_.empty()) {
        AdminHooks hooks;
        hooks.token = adminToken_;
        hooks.notice = [this](const std::string& text) { SendNotice(text); };
        hooks.rescan = [this] { return Rescan(); };
        HttpLimits few;
        few.maxConnections = 64;
        few.perAddress = 16;
        few.workers = 1;
        admin_ = std::make_unique<HttpServer>("admin", few, AdminRoutes(hooks));
        if (!admin_->Start(config_.adminHost, config_.adminPort, error)) return false;
    }

    RescanHere();

    protocol_ = std::make_unique<Protocol>(config_, counts_, *cache_, [this] { return catalogue(); });
    PackLimits limits;
    limits.maxRequestBytes = config_.maxRequestBytes;
    limits.maxPendingReplyBytes = config_.maxPendingReplyBytes;
    limits.clientTimeoutSeconds = config_.clientTimeoutSeconds;
    limits.maxClients = config_.maxClients;
    limits.maxPerAddress = config_.maxClientsPerAddress;
    limits.proxyFrom = config_.proxyFrom;
    pack_ =
        std::make_unique<PackServer>(limits, [this](std::string_view body, Session& s, std::string* what) {
            return protocol_->Handle(body, s, what);
        });
    if (!pack_->Start(config_.listenHost, config_.listenPort, error)) return false;
    if (bus_ && !bus_->Start(error)) return false;
    started_ = true;
    Log("node: protocol on " + config_.listenHost + ":" + std::to_string(pack_->port()) + ", HTTP on " +
        config_.httpHost + ":" + std::to_string(http_->port()) +
        (admin_ ? ", admin on " + config_.adminHost + ":" + std::to_string(admin_->port()) : std::string()) +
        ", node id " + sys::GbkToUtf8(config_.mirrors[0].id));
    return true;
}

void Node::Stop() {
    bool wasStarted = started_;
    started_ = false;
    if (bus_) bus_->Stop();
    if (pack_) pack_->Stop();
    if (admin_) admin_->Stop();
    if (http_) http_->Stop();
    if (cache_) cache_->StopPregeneration();
    counts_.Close();
    if (wasStarted) Log("node: stopped");
}

std::string Node::Rescan() {
    std::string report = RescanHere();
    if (bus_) bus_->PostRescan();
    return report;
}

std::string Node::RescanHere() {
    std::lock_guard<std::mutex> lock(rescanMutex_);
    std::string report;
    auto fresh = ScanCatalogue(config_, &report);
    {
        std::lock_guard<std::mutex> l(catalogueMutex_);
        catalogue_ = fresh;
    }
    Log(report);
    if (config_.pregenerate && cache_) cache_->PregenerateAsync(fresh);
    return report;
}

void Node::SendNotice(const std::string& textGbk) {
    NoticeHere(textGbk);
    if (bus_ && !bus_->PostNotice(textGbk)) Log("notice: too long for the other nodes; sent only here");
}

void Node::NoticeHere(const std::string& textGbk) {
    if (!pack_ || !protocol_) return;
    Log("notice: " + LogText(textGbk, 200));
    pack_->Broadcast(protocol_->NoticeMessage(textGbk));
}

}  // namespace node
