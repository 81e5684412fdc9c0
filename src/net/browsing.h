// Category browsing: the current category, each category's page and page count (the memo),
// the loaded marks, the view switch, the tab change, the page buttons and the item choice.
//
// The state is data under one lock: the page box and the total label are drawn from it on the
// UI thread, and nothing is read back out of a label. Safe from any thread: the handlers run on
// the UI thread, list replies reach the same state from the receive thread.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "core/categories.h"
#include "net/link.h"
#include "net/replies.h"

namespace net {

class Browsing {
  public:
    explicit Browsing(Sender& link) : link_(link) {}

    // The category the page buttons request; empty until the first tab change.
    std::string CurrentCategory() const;
    // Memo slots 0..49: current page + "[a]" + total pages of the category's last reply.
    std::string PageMemo(int slot) const;
    // Loaded mark of a strip page: set by the first list reply naming it, never cleared.
    bool IsPageLoaded(std::string_view strip, int position) const;

    // Moves the strip into the window (left 2, top 61), hides the other, shows it, then runs
    // the tab change for its current page. The view selectors follow the strip in the window.
    void Show4KView();
    void ShowHdView();

    // Page change of a strip: restores the page box and total label from the memo, makes the
    // page's category current and requests page 1 unless the page is marked loaded.
    void SelectCategoryTab(std::string_view strip, int position);

    void FirstPage();
    // Page box + 1, or 1 past the total on show.
    void NextPage();
    // Page box - 1, or the total on show below 1.
    void PreviousPage();

    // The detail request for item `position` of the category's list; nothing when that item
    // has no path.
    void SendDetailRequestFor(std::string_view category, int position);

    // A list reply: marks the page of its tab position loaded, keeps its memo and, when its
    // category is the page on show of its strip, shows its page and total.
    void ApplyListPage(const ListPage& page);

  private:
    static constexpr int kStrips = 2;
    static int StripIndex(std::string_view strip);
    void SwitchView(const char* shown, const char* hidden);
    // Posts the drawing of the page box and total label; the task draws what the state holds
    // when it runs, so a late task never shows an older page.
    void DrawLabelsLater();
    void SendPage(int64_t page);

    Sender& link_;
    mutable std::mutex mutex_;  // guards everything below
    std::string currentCategory_;
    std::array<std::string, core::kPageMemoSlots> memo_{};
    std::array<std::array<bool, core::kPagesPerStrip>, kStrips> loaded_{};
    std::array<int, kStrips> pageOnShow_{};  // each strip's current page position
    std::string shownPage_;                  // what the page box was last given
    std::string shownTotal_ = "0";           // the total label's number ("共0页" as designed)
};

}  // namespace net
