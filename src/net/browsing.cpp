#include "net/browsing.h"

#include <climits>

#include "core/control_names.h"
#include "core/main_window.h"
#include "core/window_registry.h"
#include "net/category_paths.h"
#include "net/requests.h"
#include "sys/text.h"

namespace net {
namespace {

namespace mw = core::controls::main_window;

ui::ControlId MainControl(const char* name) { return core::ControlOf(core::WindowKind::Main, name); }

}  // namespace

int Browsing::StripIndex(std::string_view strip) {
    if (strip == core::kStrip4K) return 0;
    if (strip == core::kStripHd) return 1;
    return -1;
}

std::string Browsing::CurrentCategory() const {
    std::lock_guard lock(mutex_);
    return currentCategory_;
}

std::string Browsing::PageMemo(int slot) const {
    if (slot < 0 || slot >= core::kPageMemoSlots) return {};
    std::lock_guard lock(mutex_);
    return memo_[static_cast<size_t>(slot)];
}

bool Browsing::IsPageLoaded(std::string_view strip, int position) const {
    int s = StripIndex(strip);
    if (s < 0 || position < 0 || position >= core::kPagesPerStrip) return false;
    std::lock_guard lock(mutex_);
    return loaded_[s][position];
}

void Browsing::Show4KView() { SwitchView(core::kStrip4K, core::kStripHd); }
void Browsing::ShowHdView() { SwitchView(core::kStripHd, core::kStrip4K); }

void Browsing::SwitchView(const char* shown, const char* hidden) {
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

void Browsing::SelectCategoryTab(std::string_view strip, int position) {
    const core::Category* category = core::CategoryAt(strip, position);
    bool loaded = false;
    bool redraw = false;
    {
        std::lock_guard lock(mutex_);
        int s = StripIndex(strip);
        if (s >= 0) pageOnShow_[s] = position;
        int slot = core::MemoSlotOf(strip, position);
        const std::string& memo =
            slot >= 0 && slot < core::kPageMemoSlots ? memo_[static_cast<size_t>(slot)] : std::string();
        if (!memo.empty()) {
            // A memo without its total part reads that part as empty.
            std::vector<std::string> parts = sys::Split(memo, "[a]");
            shownPage_ = parts.empty() ? std::string() : parts[0];
            shownTotal_ = parts.size() > 1 ? parts[1] : std::string();
            redraw = true;
        }
        if (category) {
            currentCategory_ = category->name;
            loaded = loaded_[s][position];
        }
    }
    if (redraw) DrawLabelsLater();
    if (category && !loaded) SendTabChangeRequest(link_, category->name, position);
}

void Browsing::FirstPage() { SendFirstPageRequest(link_, CurrentCategory()); }

void Browsing::NextPage() {
    // The page box is an edit box: what the user typed there is the base of the step.
    int64_t n = int64_t{sys::ToInt(core::Ui().GetText(MainControl(mw::kPageBox), ui::attr::kText))} + 1;
    int64_t total;
    {
        std::lock_guard lock(mutex_);
        total = sys::ToInt(shownTotal_);
    }
    if (n > total) n = 1;
    SendPage(n);
}

void Browsing::PreviousPage() {
    int64_t n = int64_t{sys::ToInt(core::Ui().GetText(MainControl(mw::kPageBox), ui::attr::kText))} - 1;
    if (n < 1) {
        std::lock_guard lock(mutex_);
        n = sys::ToInt(shownTotal_);
    }
    SendPage(n);
}

void Browsing::SendPage(int64_t page) {
    // Computed in 64 bits, so a box at the edge of int neither overflows nor wraps; what is
    // sent is always a page the rules above can give.
    int sent = page > INT_MAX ? INT_MAX : page < INT_MIN ? INT_MIN : static_cast<int>(page);
    SendPagingRequest(link_, CurrentCategory(), sent);
}

void Browsing::SendDetailRequestFor(std::string_view category, int position) {
    if (std::optional<std::string> path = CategoryPathAt(category, position))
        link_.Send(DetailRequest(category, *path));
}

void Browsing::ApplyListPage(const ListPage& page) {
    const core::Category& category = *page.category;
    int s = StripIndex(category.strip);
    bool onShow;
    {
        std::lock_guard lock(mutex_);
        // The strip has seven pages; a mark elsewhere would name no page.
        if (page.tabPosition >= 0 && page.tabPosition < core::kPagesPerStrip)
            loaded_[s][page.tabPosition] = true;
        memo_[static_cast<size_t>(category.memoSlot)] = page.page + "[a]" + page.total;
        onShow = pageOnShow_[s] == category.position;
        if (onShow) {
            shownPage_ = page.page;
            shownTotal_ = page.total;
        }
    }
    // The tab page's data word carries the mark too, as the window design has it.
    if (page.tabPosition >= 0 && page.tabPosition < core::kPagesPerStrip)
        if (ui::ControlId tabs = MainControl(category.strip))
            core::Ui().SetTabData(tabs, page.tabPosition, 1);
    if (onShow) DrawLabelsLater();
}

void Browsing::DrawLabelsLater() {
    core::Ui().Post([this] {
        std::string page, total;
        {
            std::lock_guard lock(mutex_);
            page = shownPage_;
            total = shownTotal_;
        }
        core::Ui().SetText(MainControl(mw::kPageBox), ui::attr::kText, page);
        core::Ui().SetText(MainControl(mw::kTotalLabel), ui::attr::kCaption, "共" + total + "页");
    });
}

}  // namespace net
