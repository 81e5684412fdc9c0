// One running node: the catalogue, the counts, the picture cache, the protocol server, the
// web server and the admin endpoint, started and stopped together.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "catalogue.h"
#include "cluster_bus.h"
#include "counts_store.h"
#include "http_server.h"
#include "image_cache.h"
#include "node_config.h"
#include "pack_server.h"
#include "protocol.h"

namespace node {

class Node {
  public:
    explicit Node(Config config, std::string adminToken = {});
    ~Node();
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    // Opens the counts, binds both ports, scans the catalogue and starts serving.
    bool Start(std::string& error);
    void Stop();

    // Scans the catalogue again and swaps the result in; returns the scan summary. In a
    // cluster the other nodes scan too.
    std::string Rescan();
    // Sends "&通用" with the text to every connected client, in a cluster those of every node.
    void SendNotice(const std::string& textGbk);

    int packPort() const { return pack_ ? pack_->port() : 0; }
    int httpPort() const { return http_ ? http_->port() : 0; }
    int adminPort() const { return admin_ ? admin_->port() : 0; }
    size_t clients() const { return pack_ ? pack_->clients() : 0; }
    const Config& config() const { return config_; }
    std::shared_ptr<const Catalogue> catalogue() const;
    CountsStore& counts() { return counts_; }

  private:
    void RaiseOpenFileLimit();
    std::string RescanHere();
    void NoticeHere(const std::string& textGbk);

    Config config_;
    std::string adminToken_;
    CountsStore counts_;
    std::unique_ptr<ImageCache> cache_;
    mutable std::mutex catalogueMutex_;
    std::shared_ptr<const Catalogue> catalogue_;
    std::mutex rescanMutex_;
    std::unique_ptr<Protocol> protocol_;
    std::unique_ptr<HttpServer> http_;
    std::unique_ptr<HttpServer> admin_;
    std::unique_ptr<PackServer> pack_;
    std::unique_ptr<ClusterBus> bus_;  // only with a shared PostgreSQL database
    bool started_ = false;
};

}  // namespace node
