#include "wallpaper/category_list.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
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

// One preview to fetch. Pieces that name the same file share one fetch.
struct Fetch {
    std::string url;
    std::string file;
    std::string bytes;
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
        for (std::thread& t : threads_) t.join();
    }

    // The fetched bytes of fetch `i` (empty when it failed), once it is in.
    const std::string& Wait(size_t i) {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return fetches_[i].done; });
        return fetches_[i].bytes;
    }

  private:
    void Work() {
        for (size_t i; (i = next_.fetch_add(1)) < fetches_.size();) {
            Fetch& f = fetches_[i];
            std::string bytes;
            // No exception may leave the thread; a failed fetch is an empty preview.
            try {
                bytes = net::FetchPicture(f.url);
                if (!bytes.empty()) sys::WriteFileBytes(f.file, bytes);
            } catch (...) {
                bytes.clear();
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
    core::ShowLoadingIndicator(true);
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
    std::map<std::string, int> fetchOfFile;
    for (size_t i = 0; i < pieces.size(); ++i) {
        files[i] = core::PreviewCacheFile(pieces[i]);
        if (files[i].empty()) continue;
        // An empty file is what a failed download used to leave behind: not a preview.
        std::string bytes;
        if (sys::FileExists(files[i]) && sys::ReadFileBytes(files[i], &bytes) && !bytes.empty()) {
            if (kept + bytes.size() <= kKeptBytes) {
                kept += bytes.size();
                cached[i] = std::move(bytes);
            }
            continue;
        }
        auto [it, fresh] = fetchOfFile.emplace(files[i], static_cast<int>(fetches.size()));
        if (fresh) fetches.push_back({baseUrl + pieces[i], files[i], {}, false});
        fetchOf[i] = it->second;
    }

    if (list) ui.LockUpdate(list);
    bool locked = list != 0;
    ui::ImageId button = ui.LoadImageEx(core::UseButtonPng(), 63, 30);
    if (list) EnsureButtonElement(list, category, link);
    {
        PreviewFetcher fetcher(fetches);
        for (size_t i = 0; i < pieces.size(); ++i) {
            net::AppendCategoryPath(category.name, pieces[i]);
            std::string bytes;
            bool downloaded = fetchOf[i] >= 0;
            if (downloaded)
                bytes = fetcher.Wait(static_cast<size_t>(fetchOf[i]));
            else if (!cached[i].empty())
                bytes = std::move(cached[i]);
            else if (!files[i].empty())
                sys::ReadFileBytes(files[i], &bytes);
            if (!list) continue;
            ui::ImageId preview = bytes.empty() ? 0 : ui.LoadImageEx(bytes, kPreviewWidth, kPreviewHeight);
            ui.InsertIcoItem(list, -1, preview, "");
            ui.SetElemImageData(list, kButtonElem, static_cast<int>(i), button);
            if (preview) ui.DestroyImage(preview);
            // Downloaded previews show one by one; cached ones go in while the list is locked.
            if (downloaded && locked) {
                ui.UnlockUpdate(list);
                locked = false;
            }
            // The short pause lets a freshly shown preview paint; cached ones go in locked, so
            // they only let queued messages through and a cached page stays quick.
            if (downloaded)
                sys::DelayWithMessages(2);
            else
                sys::PumpPendingMessages();
        }
    }
    if (list) {
        if (ui::ControlId skin = core::ControlOf(core::WindowKind::Main, core::controls::main_window::kSkin))
            ui.Redraw(skin);
        ui.Redraw(list);
        if (locked) ui.UnlockUpdate(list);
    }
    if (button) ui.DestroyImage(button);
    core::ShowLoadingIndicator(false);
}

}  // namespace wallpaper
