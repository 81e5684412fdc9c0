// The node's side of the message protocol: one request body in, at most one reply body out.
// Holds no socket; the pack server calls it for each packet of a connection. Thread-safe.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue.h"
#include "counts_store.h"
#include "image_cache.h"
#include "node_config.h"

namespace node {

// What the node remembers about one connection.
struct Session {
    std::string nodeId;  // as registered with "&3"; picks the mirror of "&更换" replies
};

class Protocol {
  public:
    using CatalogueSource = std::function<std::shared_ptr<const Catalogue>()>;

    Protocol(const Config& config, CountsStore& counts, const ImageCache& cache, CatalogueSource catalogue);

    // The reply to one request body, or nothing (requests without reply, unknown names,
    // missing or unknown categories and pictures). `what` names the request for the log.
    std::optional<std::string> Handle(std::string_view body, Session& session, std::string* what = nullptr);

    // The notice message every connected client is sent by an administrator.
    std::string NoticeMessage(const std::string& textGbk) const;

  private:
    std::string Hello() const;
    std::string NodeList() const;
    std::optional<std::string> ListPage(const std::vector<std::string>& f, const Session& s);
    std::optional<std::string> Detail(const std::vector<std::string>& f);
    std::optional<std::string> Download(const std::vector<std::string>& f, const Session& s);
    std::optional<std::string> Change(const std::vector<std::string>& f, const Session& s);

    const Mirror& PickMirror(const std::string& requestId, const Session& s) const;
    std::string ImageUrl(const Picture& p, const Mirror& m) const;
    uint64_t ServedBytes(const Picture& p) const;
    // Pictures of a category, most downloaded first (ties in catalogue order).
    std::shared_ptr<const std::vector<size_t>> Ordered(const std::shared_ptr<const Catalogue>& cat,
                                                       const std::string& category);

    const Config& config_;
    CountsStore& counts_;
    const ImageCache& cache_;
    CatalogueSource catalogue_;

    struct OrderCache {
        const Catalogue* catalogue = nullptr;
        uint64_t version = 0;
        std::shared_ptr<const std::vector<size_t>> order;
    };
    std::mutex orderMutex_;
    std::map<std::string, OrderCache> orders_;
    std::mutex randomMutex_;
    std::mt19937_64 random_;
};

// The picture key named by a path of a list, detail or download reply; empty when the path
// names none.
std::string KeyFromPath(const std::string& path);

// Percent-encodes each segment of a '/'-separated UTF-8 path.
std::string UrlPath(const std::string& relUtf8);

}  // namespace node
