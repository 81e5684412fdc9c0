#include "net/browsing.h"

#include <array>
#include <mutex>

#include "core/categories.h"
#include "core/control_names.h"
#include "core/main_window.h"
#include "core/window_registry.h"
#include "net/category_paths.h"
#include "net/link.h"
#include "net/requests.h"
#include "sys/text.h"
#include "web/urls.h"

namespace net {
namespace {

namespace mw = core::controls::main_window;

struct State {
    std::mutex mutex;
    std::string currentCategory;
    std::array<std::string, core::kPageMemoSlots> memo;
};

State& S() {
    static State state;
    return state;
}

ui::ControlId MainControl(const char* name) { return core::ControlOf(core::WindowKind::Main, name); }

void SwitchView(const char* shown, const char* hidden) {
    ui::Engine& ui = core::Ui();
    ui::ControlId strip = MainControl(shown);
    if (!strip) return;
    ui.SetInt(strip, ui::attr::kLeft, 2);
    ui.SetInt(strip, ui::attr::kTop, 61);
    if (ui::ControlId other = MainControl(hidden)) ui.SetInt(other, ui::attr::kVisible, 0);
    ui.SetInt(strip, ui::attr::kVisible, 1);
    core::SyncViewSelectors();
    SelectCategoryTab(shown, ui.GetInt(strip, ui::attr::kValue));
}

// The total of the total label ("共" N "页"); 0 when it holds no number.
int TotalPages() {
    return sys::ToInt(
        web::TextBetween(core::Ui().GetText(MainControl(mw::kTotalLabel), ui::attr::kCaption), "共", "页"));
}

int PageBox() { return sys::ToInt(core::Ui().GetText(MainControl(mw::kPageBox), ui::attr::kText)); }

}  // namespace

std::string CurrentCategory() {
    std::lock_guard lock(S().mutex);
    return S().currentCategory;
}

std::string PageMemo(int slot) {
    if (slot < 0 || slot >= core::kPageMemoSlots) return {};
    std::lock_guard lock(S().mutex);
    return S().memo[static_cast<size_t>(slot)];
}

void SetPageMemo(int slot, const std::string& memo) {
    if (slot < 0 || slot >= core::kPageMemoSlots) return;
    std::lock_guard lock(S().mutex);
    S().memo[static_cast<size_t>(slot)] = memo;
}

void Show4KView() { SwitchView(core::kStrip4K, core::kStripHd); }
void ShowHdView() { SwitchView(core::kStripHd, core::kStrip4K); }

void SelectCategoryTab(std::string_view strip, int position) {
    std::string memo = PageMemo(core::MemoSlotOf(strip, position));
    if (!memo.empty()) {
        // A memo without its total part reads that part as empty.
        std::vector<std::string> parts = sys::Split(memo, "[a]");
        std::string page = parts.empty() ? std::string() : parts[0];
        std::string total = parts.size() > 1 ? parts[1] : std::string();
        core::Ui().SetText(MainControl(mw::kPageBox), ui::attr::kText, page);
        core::Ui().SetText(MainControl(mw::kTotalLabel), ui::attr::kCaption, "共" + total + "页");
    }
    const core::Category* category = core::CategoryAt(strip, position);
    if (!category) return;
    {
        std::lock_guard lock(S().mutex);
        S().currentCategory = category->name;
    }
    if (!IsPageLoaded(strip, position)) SendTabChangeRequest(category->name, position);
}

void FirstPage() { SendFirstPageRequest(CurrentCategory()); }

void NextPage() {
    int n = PageBox() + 1;
    if (n > TotalPages()) n = 1;
    SendPagingRequest(CurrentCategory(), n);
}

void PreviousPage() {
    int n = PageBox() - 1;
    if (n < 1) n = TotalPages();
    SendPagingRequest(CurrentCategory(), n);
}

void SendDetailRequestFor(std::string_view category, int position) {
    if (std::optional<std::string> path = CategoryPathAt(category, position))
        SendToNode(DetailRequest(category, *path));
}

bool IsPageLoaded(std::string_view strip, int position) {
    ui::ControlId tabs = MainControl(std::string(strip).c_str());
    return tabs && core::Ui().GetTabData(tabs, position) != 0;
}

void MarkPageLoaded(std::string_view strip, int position) {
    if (ui::ControlId tabs = MainControl(std::string(strip).c_str()))
        core::Ui().SetTabData(tabs, position, 1);
}

}  // namespace net
