#include "wallpaper/detail_window.h"

#include "core/control_names.h"
#include "core/preview_cache.h"
#include "core/window_registry.h"
#include "net/node_id.h"
#include "net/preview_fetch.h"
#include "sys/file_bytes.h"
#include "sys/text.h"

namespace wallpaper {
namespace {

namespace dw = core::controls::detail_window;

// The detail picture from the cache, fetched first when missing. A name that is not a plain
// file name is neither fetched nor written; a failed, empty or oversized fetch is not kept.
std::string DetailPicture(const std::string& path) {
    std::string file = core::PreviewCacheFile(path);
    if (file.empty()) return {};
    std::string bytes;
    if (sys::ReadFileBytes(file, &bytes, core::kMaxPictureBytes) && !bytes.empty()) return bytes;
    bytes = net::FetchPicture(net::NodeId() + path);
    if (!bytes.empty()) sys::WriteFileBytes(file, bytes);
    return bytes;
}

}  // namespace

void ShowDetail(const net::Detail& detail) {
    ui::Engine& ui = core::Ui();
    ui::WindowId window = core::WindowOf(core::WindowKind::Detail);
    if (!window) return;
    auto control = [](const char* name) { return core::ControlOf(core::WindowKind::Detail, name); };
    auto caption = [&](const char* name, const std::string& text) {
        ui.SetText(control(name), ui::attr::kCaption, text);
    };
    // The texts first: its "下载" button sends the category and path labels, and may be pressed
    // while the picture is still on its way.
    caption(dw::kSizeLabel, core::FormatSize(sys::ToInt(detail.size)));
    caption(dw::kFirstCount, detail.firstCount + " 次");
    caption(dw::kSecondCount, detail.secondCount + " 次");
    caption(dw::kTextLine, detail.textLine);
    caption(dw::kTextBlock, detail.textBlock);
    caption(dw::kPathLabel, detail.path);
    caption(dw::kCategoryLabel, detail.category);
    if (!ui.IsWindowVisible(window)) ui.ShowWindow(window, true);
    ui.SetPicture(control(dw::kPicture), DetailPicture(detail.path));
    ui.Redraw(control(dw::kPicture));
}

}  // namespace wallpaper
