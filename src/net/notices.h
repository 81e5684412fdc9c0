// Message boxes raised by replies. They are shown one after another by a notice thread of
// their own, so the receive thread goes on handling replies while a box is open.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "sys/thread.h"

namespace net {

class Notices {
  public:
    Notices() = default;
    // Stops the thread (after the box on show, if any, has closed) and joins it.
    ~Notices();
    Notices(const Notices&) = delete;
    Notices& operator=(const Notices&) = delete;

    // Queues a box with title "渺岚壁纸", the text and one "确定" button, owned by the main
    // window. At most kMaxPending wait behind the open one; a node that sends more in a burst
    // loses the surplus rather than burying the user in boxes.
    void Show(const std::string& text);
    static constexpr int kMaxPending = 8;

    // Blocks until every queued box has been closed (for orderly checks).
    void WaitUntilShown();

    // Drops what still waits, ends the thread and joins it.
    void Stop();

  private:
    void Run(const sys::StopSignal& stop);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> pending_;
    bool showing_ = false;
    bool stopping_ = false;
    sys::Thread thread_;  // started by the first notice
};

}  // namespace net
