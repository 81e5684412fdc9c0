// Message boxes raised by replies. They are shown one after another by a notice thread of
// their own, so the receive thread goes on handling replies while a box is open.
#pragma once

#include <string>

namespace net {

// Queues a box with title "渺岚壁纸", the text and one "确定" button, owned by the main window.
// At most kMaxPendingNotices wait behind the open one; a node that sends more in a burst
// loses the surplus rather than burying the user in boxes.
void ShowNoticeLater(const std::string& text);
constexpr int kMaxPendingNotices = 8;

// Blocks until every queued box has been closed (for orderly checks).
void WaitForNoticesShown();

}  // namespace net
