// Category browsing: the current category, the page memo, the view switch, the tab change,
// the page buttons and the item choice. Safe from any thread: the handlers run on the UI
// thread, the hello and list replies reach the same state from the receive thread.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace net {

// The category the page buttons request; empty until the first tab change.
std::string CurrentCategory();

// Page memo slots 0..49: current page + "[a]" + total pages of the category's last reply.
std::string PageMemo(int slot);
void SetPageMemo(int slot, const std::string& memo);

// Moves the strip into the window (left 2, top 61), hides the other, shows it, then runs the
// tab change for its current page. The view selectors follow the strip in the window.
void Show4KView();
void ShowHdView();

// Page change of a strip: restores the page box and total label from the memo, makes the
// page's category current and requests page 1 unless the page is marked loaded.
void SelectCategoryTab(std::string_view strip, int position);

void FirstPage();
// Page box + 1, or 1 past the total of the total label.
void NextPage();
// Page box - 1, or the total below 1.
void PreviousPage();

// The detail request for item `position` of the category's list; nothing when that item has
// no path.
void SendDetailRequestFor(std::string_view category, int position);

// Loaded mark of a strip page (the page's tab data word).
bool IsPageLoaded(std::string_view strip, int position);
void MarkPageLoaded(std::string_view strip, int position);

}  // namespace net
