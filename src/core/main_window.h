// Operations on the main window that the shell, browsing and list filling all use.
#pragma once

namespace core {

// The loading picture of the main window: moved into view (left 520) or out (left -300). It
// is never hidden by its visibility flag.
void ShowLoadingIndicator(bool shown);

// Selects the view selector of the strip that is in the window (4K when 静态4K is shown inside
// the window, HD otherwise). The view switch calls it after moving the strips.
void SyncViewSelectors();

}  // namespace core
