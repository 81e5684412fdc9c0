#include "net/dispatch.h"

#include <memory>
#include <mutex>
#include <vector>

#include "core/control_names.h"
#include "core/preview_cache.h"
#include "core/settings.h"
#include "core/window_registry.h"
#include "net/browsing.h"
#include "net/link.h"
#include "net/node_id.h"
#include "net/notices.h"
#include "net/preview_fetch.h"
#include "net/reply_text.h"
#include "net/requests.h"
#include "sys/file_bytes.h"
#include "sys/text.h"

namespace net {
namespace {

namespace mw = core::controls::main_window;
namespace dw = core::controls::detail_window;

std::mutex g_actionsMutex;
std::shared_ptr<const DispatchActions> g_actions = std::make_shared<const DispatchActions>();

std::shared_ptr<const DispatchActions> Actions() {
    std::lock_guard lock(g_actionsMutex);
    return g_actions;
}

// Part `n` (1-based) of the pieces, or the empty text when the sender left it out.
const std::string& Part(const std::vector<std::string>& parts, size_t n) {
    static const std::string kEmpty;
    return n >= 1 && n <= parts.size() ? parts[n - 1] : kEmpty;
}

void OnListPage(const std::vector<std::string>& f) {
    core::InitSettingsAndFolders();
    const core::Category* category = core::CategoryNamed(f[1]);
    if (!category) return;
    int position = sys::ToInt(f[5]);
    // The strip has seven pages; a mark elsewhere would name no page.
    if (position >= 0 && position < core::kPagesPerStrip) MarkPageLoaded(category->strip, position);
    ui::Engine& ui = core::Ui();
    ui::ControlId strip = core::ControlOf(core::WindowKind::Main, category->strip);
    if (strip && ui.GetInt(strip, ui::attr::kValue) == category->position) {
        ui.SetText(core::ControlOf(core::WindowKind::Main, mw::kPageBox), ui::attr::kText, f[3]);
        ui.SetText(core::ControlOf(core::WindowKind::Main, mw::kTotalLabel), ui::attr::kCaption,
                   "共" + f[2] + "页");
    }
    SetPageMemo(category->memoSlot, f[3] + "[a]" + f[2]);
    auto actions = Actions();
    if (actions->fillList) actions->fillList(*category, f[4], f[6]);
}

// The detail picture from the cache, fetched first when missing. A name that is not a plain
// file name is neither fetched nor written; a failed or empty fetch is not kept.
std::string DetailPicture(const std::string& path) {
    std::string file = core::PreviewCacheFile(path);
    if (file.empty()) return {};
    std::string bytes;
    if (sys::ReadFileBytes(file, &bytes) && !bytes.empty()) return bytes;
    bytes = FetchPicture(NodeId() + path);
    if (!bytes.empty()) sys::WriteFileBytes(file, bytes);
    return bytes;
}

void OnDetail(const std::vector<std::string>& f) {
    ui::Engine& ui = core::Ui();
    ui::WindowId window = core::WindowOf(core::WindowKind::Detail);
    if (!window) return;
    if (!ui.IsWindowVisible(window)) ui.ShowWindow(window, true);
    auto control = [](const char* name) { return core::ControlOf(core::WindowKind::Detail, name); };
    ui.SetPicture(control(dw::kPicture), DetailPicture(f[1]));
    auto caption = [&](const char* name, const std::string& text) {
        ui.SetText(control(name), ui::attr::kCaption, text);
    };
    caption(dw::kSizeLabel, core::FormatSize(sys::ToInt(f[2])));
    caption(dw::kFirstCount, f[3] + " 次");
    caption(dw::kSecondCount, f[4] + " 次");
    caption(dw::kTextLine, f[5]);
    caption(dw::kTextBlock, f[6]);
    caption(dw::kPathLabel, f[1]);
    caption(dw::kCategoryLabel, f[7]);
    ui.Redraw(control(dw::kPicture));
}

void OnDownload(const std::vector<std::string>& f) {
    auto actions = Actions();
    if (f[2] == "0") {
        if (ui::WindowId window = core::WindowOf(core::WindowKind::Download))
            core::Ui().ShowWindow(window, true);
        if (actions->startVisibleDownload) actions->startVisibleDownload(f[1]);
    } else if (f[2] == "1") {
        if (actions->startSilentDownload) actions->startSilentDownload(f[1]);
    }
}

void OnHello(const std::vector<std::string>& f) {
    if (ConnectTimer* timer = GetConnectTimer()) timer->SetInterval(0);
    if (f[2] == "真") ShowNoticeLater(f[3]);
    std::vector<std::string> parts = sys::Split(f[1], "[a]");
    auto keepOrWrite = [](const char* key, const std::string& value) {
        if (core::ReadSetting(core::kSectionNode, key, "").empty())
            core::WriteSetting(core::kSectionNode, key, value);
    };
    keepOrWrite(core::kKeyNodeName, Part(parts, 1));
    keepOrWrite(core::kKeyNodeSponsor, Part(parts, 2));
    keepOrWrite(core::kKeyNodeId, Part(parts, 4));
    SetNodeId(core::ReadSetting(core::kSectionNode, core::kKeyNodeId, Part(parts, 4)));
    SendRegisterNode();
    Show4KView();
}

void OnNodeList(const std::vector<std::string>& f) {
    ui::ControlId list = core::ControlOf(core::WindowKind::Node, core::controls::node_window::kNodeList);
    if (!list) return;
    ui::Engine& ui = core::Ui();
    ui.DeleteRow(list, -1);
    for (const std::string& record : sys::Split(f[1], "[q]")) {
        int row = ui.InsertRow(list, -1);
        std::vector<std::string> parts = sys::Split(record, "[a]");
        for (int column = 0; column < 4; ++column) ui.SetCell(list, row, column, Part(parts, column + 1));
    }
}

}  // namespace

void SetDispatchActions(DispatchActions actions) {
    auto shared = std::make_shared<const DispatchActions>(std::move(actions));
    std::lock_guard lock(g_actionsMutex);
    g_actions = std::move(shared);
}

void DispatchReply(const uint8_t* data, size_t length) {
    std::vector<std::string> f = SplitReply(data, length);
    // At least seventeen fields; a lone lead byte at the end can cost one, so pad.
    if (f.size() < 17) f.resize(17);
    const std::string& kind = f[0];
    if (kind == "&获取")
        OnListPage(f);
    else if (kind == "&详细")
        OnDetail(f);
    else if (kind == "&下载")
        OnDownload(f);
    else if (kind == "&1")
        OnHello(f);
    else if (kind == "&2")
        OnNodeList(f);
    else if (kind == "&通用")
        ShowNoticeLater(f[1]);
}

}  // namespace net
