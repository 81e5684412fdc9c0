#include "wallpaper/category_list.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "core/builtin_images.h"
#include "core/control_names.h"
#include "core/main_window.h"
#include "core/preview_cache.h"
#include "core/window_registry.h"
#include "net/category_paths.h"
#include "net/link.h"
#include "net/node_id.h"
#include "net/preview_fetch.h"
#include "net/requests.h"
#include "sys/delay.h"
#include "sys/file_bytes.h"
#include "sys/text.h"
#include "thread_name.h"
#include "wallpaper/machine_id.h"

namespace wallpaper {
namespace {

constexpr int kButtonElem = 1;
constexpr int kPreviewWidth = 296, kPreviewHeight = 156;
constexpr ui::Rect kButtonRect{235, 125, 60, 30};

// One preview to fetch. Pieces that name the same file share one fetch; `users` counts the
// items still to take its bytes, so the body is freed as the last of them goes in.
struct Fetch {
    std::string url;
    std::string file;
    std::string bytes;
    int users = 0;
    bool done = false;
};

// Fetches the previews a few at a time while the fill appends items in list order.
class PreviewFetcher {
  public:
    explicit PreviewFetcher(std::vector<Fetch>& fetches) : fetches_(fetches) {
        size_t workers = std::min<size_t>(kPreviewFetchers, fetches.size());
        try {
            for (size_t i = 0; i < workers; ++i)
                threads_.emplace_back([this] { osthread::RunGuarded("preview-fetch", [this] { Work(); }); });
        } catch (const std::system_error&) {
            // Out of threads: those that started share the work, or this thread does it all.
            if (threads_.empty()) Work();
        }
    }
    ~PreviewFetcher() {
        // A fill that ends early (an exception) leaves the rest unfetched.
        next_.store(fetches_.size());
        for (std::thread& t : threads_) t.join();
    }

    // The fetched bytes of fetch `i` (empty when it failed), once it is in. Only the bodies
    // still waiting for their turn are kept: the last taker gets the body itself.
    std::string Take(size_t i) {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return fetches_[i].done; });
        Fetch& f = fetches_[i];
        if (--f.users > 0) return f.bytes;
        return std::move(f.bytes);
    }

  private:
    void Work() {
        for (size_t i; (i = next_.fetch_add(1)) < fetches_.size();) {
            Fetch& f = fetches_[i];
            std::string bytes;
            // No exception may leave the thread; a failed fetch is an empty preview.
            try {
                // Empty too for a body over the picture limit: nothing too large is cached.
                bytes = net::FetchPicture(f.url);
                if (!bytes.empty()) sys::WriteFileBytes(f.file, bytes);
            } catch (...) {
                std::string().swap(bytes);
            }
            {
                std::lock_guard lock(mutex_);
                f.bytes = std::move(bytes);
                f.done = true;
            }
            done_.notify_all();
        }
    }

    std::vector<Fetch>& fetches_;
    std::atomic<size_t> next_{0};
    std::mutex mutex_;
    std::condition_variable done_;
    std::vector<std::thread> threads_;
};

// The busy picture is up while the fill runs and down after it, however it ends.
class BusyIndicator {
  public:
    BusyIndicator() { core::ShowLoadingIndicator(true); }
    ~BusyIndicator() {
        try {
            core::ShowLoadingIndicator(false);
        } catch (...) {
        }
    }
    BusyIndicator(const BusyIndicator&) = delete;
    BusyIndicator& operator=(const BusyIndicator&) = delete;
};

// Holds back the list's drawing until released; a fill that ends early unlocks it too.
class ListUpdateLock {
  public:
    explicit ListUpdateLock(ui::ControlId list) : list_(list) {
        if (list_) core::Ui().LockUpdate(list_);
    }
    ~ListUpdateLock() {
        try {
            Release();
        } catch (...) {
        }
    }
    void Release() {
        if (!list_) return;
        ui::ControlId list = std::exchange(list_, 0);
        core::Ui().UnlockUpdate(list);
    }
    bool held() const { return list_ != 0; }
    ListUpdateLock(const ListUpdateLock&) = delete;
    ListUpdateLock& operator=(const ListUpdateLock&) = delete;

  private:
    ui::ControlId list_;
};

// The window's skin and the list are redrawn at the end of every fill, a broken one too, so
// what did go in shows.
class FinalRedraw {
  public:
    explicit FinalRedraw(ui::ControlId list) : list_(list) {}
    ~FinalRedraw() {
        try {
            Run();
        } catch (...) {
        }
    }
    void Run() {
        if (!list_) return;
        ui::ControlId list = std::exchange(list_, 0);
        if (ui::ControlId skin = core::ControlOf(core::WindowKind::Main, core::controls::main_window::kSkin))
            core::Ui().Redraw(skin);
        core::Ui().Redraw(list);
    }
    FinalRedraw(const FinalRedraw&) = delete;
    FinalRedraw& operator=(const FinalRedraw&) = delete;

  private:
    ui::ControlId list_;
};

// An engine image released with its owner.
class OwnedImage {
  public:
    explicit OwnedImage(ui::ImageId image) : image_(image) {}
    ~OwnedImage() {
        try {
            Release();
        } catch (...) {
        }
    }
    void Release() {
        if (ui::ImageId image = std::exchange(image_, 0)) core::Ui().DestroyImage(image);
    }
    ui::ImageId get() const { return image_; }
    OwnedImage(const OwnedImage&) = delete;
    OwnedImage& operator=(const OwnedImage&) = delete;

  private:
    ui::ImageId image_;
};

void EnsureButtonElement(ui::ControlId list, const core::Category& category, net::Sender& link) {
    ui::Engine& ui = core::Ui();
    if (ui.ElemCount(list, kButtonElem) != 0) return;
    ui.InsertElem(list, kButtonElem);
    const core::Category* row = &category;
    ui.SetElemImageAttribute(
        list, kButtonElem, [row, &link](int code, int item) { OnItemButton(link, *row, code, item); },
        kButtonRect);
}

}  // namespace

void OnItemButton(net::Sender& link, const core::Category& category, int code, int item) {
    if (code != ui::kElemClickCode) return;
    std::optional<std::string> path = net::CategoryPathAt(category.name, item);
    if (!path) return;
    link.Send(net::DownloadRequest(category.name, *path, MachineIdentifier(), net::NodeId()));
}

void FillCategoryList(const core::Category& category, const std::string& listText, const std::string& baseUrl,
                      net::Sender& link) {
    ui::Engine& ui = core::Ui();
    ui::ControlId list = core::ControlOf(core::WindowKind::Main, category.list);
    BusyIndicator busy;
    net::ClearCategoryPaths(category.name);
    if (list && ui.IcoItemCount(list) != 0) ui.DeleteIcoItem(list, -1);
    std::vector<std::string> pieces = sys::Split(listText, "[a]");

    // Decide per piece: refused name, cached file, or a fetch (shared by equal names).
    std::vector<std::string> files(pieces.size());
    // Cached previews are read once here and shown from memory, up to a bound that a long
    // hostile list naming the same file again and again cannot pass; beyond it they are read
    // again when shown.
    constexpr size_t kKeptBytes = 16 << 20;
    std::vector<std::string> cached(pieces.size());
    size_t kept = 0;
    std::vector<int> fetchOf(pieces.size(), -1);
    std::vector<Fetch> fetches;
    // Keyed by the name with its ASCII letters folded: "X.png" and "x.png" are one file on
    // Windows, so two fetchers would write it at once and one's failure would remove the
    // other's file. The first spelling on the page is the one fetched.
    std::map<std::string, int> fetchOfFile;
    for (size_t i = 0; i < pieces.size(); ++i) {
        files[i] = core::PreviewCacheFile(pieces[i]);
        if (files[i].empty()) continue;
        // An empty file is what a failed download used to leave behind, and one above the
        // bound is none the program wrote: neither is a preview.
        std::string bytes;
        if (sys::FileExists(files[i]) && sys::ReadFileBytes(files[i], &bytes, core::kMaxPictureBytes) &&
            !bytes.empty()) {
            if (kept + bytes.size() <= kKeptBytes) {
                kept += bytes.size();
                cached[i] = std::move(bytes);
            }
            continue;
        }
        auto [it, fresh] = fetchOfFile.emplace(sys::ToLowerAscii(files[i]), static_cast<int>(fetches.size()));
        if (fresh) fetches.push_back({baseUrl + pieces[i], files[i], {}, 0, false});
        fetchOf[i] = it->second;
        ++fetches[static_cast<size_t>(it->second)].users;
    }

    ListUpdateLock lock(list);
    OwnedImage button(ui.LoadImageEx(core::UseButtonPng(), 63, 30));
    FinalRedraw redraw(list);
    if (list) EnsureButtonElement(list, category, link);
    {
        PreviewFetcher fetcher(fetches);
        for (size_t i = 0; i < pieces.size(); ++i) {
            net::AppendCategoryPath(category.name, pieces[i]);
            std::string bytes;
            bool downloaded = fetchOf[i] >= 0;
            if (downloaded)
                bytes = fetcher.Take(static_cast<size_t>(fetchOf[i]));
            else if (!cached[i].empty())
                bytes = std::move(cached[i]);
            else if (!files[i].empty())
                sys::ReadFileBytes(files[i], &bytes, core::kMaxPictureBytes);
            if (!list) continue;
            OwnedImage preview(bytes.empty() ? 0 : ui.LoadImageEx(bytes, kPreviewWidth, kPreviewHeight));
            std::string().swap(bytes);
            ui.InsertIcoItem(list, -1, preview.get(), "");
            ui.SetElemImageData(list, kButtonElem, static_cast<int>(i), button.get());
            preview.Release();
            // Downloaded previews show one by one; cached ones go in while the list is locked.
            if (downloaded) lock.Release();
            // The short pause lets a freshly shown preview paint; cached ones go in locked, so
            // they only let queued messages through and a cached page stays quick.
            if (downloaded)
                sys::DelayWithMessages(2);
            else
                sys::PumpPendingMessages();
        }
    }
    redraw.Run();
    lock.Release();
    button.Release();
}

}  // namespace wallpaper
