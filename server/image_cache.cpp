#include "image_cache.h"

#include <malloc.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "image_tools.h"
#include "log.h"

namespace node {
namespace {

bool FreshFile(const std::string& path, int64_t sourceMtime) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && st.st_size > 0 &&
           static_cast<int64_t>(st.st_mtime) >= sourceMtime;
}

}  // namespace

ImageCache::ImageCache(std::string cacheUtf8) : root_(std::move(cacheUtf8)) {}

ImageCache::~ImageCache() { StopPregeneration(); }

bool ImageCache::CreateFolders(std::string& error) {
    std::error_code ec;
    for (const char* sub : {"preview", "detail", "full"}) {
        std::filesystem::create_directories(std::filesystem::path(root_) / sub, ec);
        if (ec) {
            error = "cannot create cache folder " + root_ + "/" + sub + ": " + ec.message();
            return false;
        }
    }
    return true;
}

std::string ImageCache::PathFor(const Picture& picture, Derived kind) const {
    switch (kind) {
        case Derived::kPreview:
            return root_ + "/preview/" + picture.key + ".jpg";
        case Derived::kDetail:
            return root_ + "/detail/" + picture.key + "_d.jpg";
        case Derived::kFull:
            return picture.needsJpeg ? root_ + "/full/" + picture.key + ".jpg" : picture.sourceUtf8;
    }
    return {};
}

std::string ImageCache::Ready(const Picture& picture, Derived kind) const {
    std::string path = PathFor(picture, kind);
    if (kind == Derived::kFull && !picture.needsJpeg) return path;
    return FreshFile(path, picture.mtime) ? path : std::string();
}

std::string ImageCache::Ensure(const Picture& picture, Derived kind) {
    std::string path = PathFor(picture, kind);
    if (kind == Derived::kFull && !picture.needsJpeg) return path;
    if (FreshFile(path, picture.mtime)) return path;
    std::lock_guard<std::mutex> lock(locks_[std::hash<std::string>{}(picture.key) % 64]);
    if (FreshFile(path, picture.mtime)) return path;  // made while we waited
    auto start = std::chrono::steady_clock::now();
    bool ok = false;
    switch (kind) {
        case Derived::kPreview:
            ok = MakeThumbnail(picture.sourceUtf8, path, kPreviewWidth, kPreviewHeight);
            break;
        case Derived::kDetail:
            ok = MakeThumbnail(picture.sourceUtf8, path, kDetailWidth, kDetailHeight);
            break;
        case Derived::kFull:
            ok = ConvertToJpeg(picture.sourceUtf8, path);
            break;
    }
    if (!ok) {
        Log("cache: cannot make " + path + " from " + picture.sourceUtf8);
        return {};
    }
    if (Verbose()) {
        auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        Log("cache: made " + path + " in " + std::to_string(ms.count()) + " ms");
    }
    return path;
}

void ImageCache::PregenerateAsync(std::shared_ptr<const Catalogue> catalogue) {
    std::lock_guard<std::mutex> lock(runMutex_);
    stopPregen_ = true;
    if (pregen_.joinable()) pregen_.join();
    stopPregen_ = false;
    pregen_ = std::thread([this, catalogue] {
        auto start = std::chrono::steady_clock::now();
        size_t made = 0;
        for (const auto& p : catalogue->pictures()) {
            for (Derived kind : {Derived::kPreview, Derived::kDetail, Derived::kFull}) {
                if (stopPregen_) return;
                if (kind == Derived::kFull && !p.needsJpeg) continue;
                bool had = FreshFile(PathFor(p, kind), p.mtime);
                if (!Ensure(p, kind).empty() && !had) ++made;
            }
        }
        auto s =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        Log("cache: ready, " + std::to_string(made) + " files made in " + std::to_string(s.count()) + " ms");
        // Making 4K pictures left a node at about 190 MB: the image library's buffers of this
        // thread, and the allocator's arenas full of freed blocks. Both go back.
        EndImageThread();
#ifdef __GLIBC__
        if (made > 0) malloc_trim(0);
#endif
    });
}

void ImageCache::StopPregeneration() {
    std::lock_guard<std::mutex> lock(runMutex_);
    stopPregen_ = true;
    if (pregen_.joinable()) pregen_.join();
}

}  // namespace node
