// Previews (296 x 156), detail pictures (864 x 456) and JPEG copies of sources the client
// cannot decode, made once and kept on disk under the cache folder. Thread-safe; a file is
// made by one thread while others asking for it wait.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "catalogue.h"

namespace node {

enum class Derived { kPreview, kDetail, kFull };

constexpr int kPreviewWidth = 296;
constexpr int kPreviewHeight = 156;
constexpr int kDetailWidth = 864;
constexpr int kDetailHeight = 456;

class ImageCache {
  public:
    explicit ImageCache(std::string cacheUtf8);
    ~ImageCache();
    ImageCache(const ImageCache&) = delete;
    ImageCache& operator=(const ImageCache&) = delete;

    bool CreateFolders(std::string& error);

    // The file to send for `kind`: made now when missing or older than the source. Empty
    // when it cannot be made. kFull of a picture the client can decode is the source itself.
    std::string Ensure(const Picture& picture, Derived kind);
    // The file to send when it is there and fresh, without making it; empty otherwise.
    std::string Ready(const Picture& picture, Derived kind) const;

    // Makes every missing file of `catalogue` on a background thread; a later call (after a
    // rescan) replaces the earlier run.
    void PregenerateAsync(std::shared_ptr<const Catalogue> catalogue);
    void StopPregeneration();

    std::string PathFor(const Picture& picture, Derived kind) const;

  private:
    std::string root_;
    std::mutex locks_[64];
    std::mutex runMutex_;
    std::thread pregen_;
    std::atomic<bool> stopPregen_{false};
};

}  // namespace node
