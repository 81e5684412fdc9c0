#include "net/notices.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/window_registry.h"
#include "thread_name.h"

namespace net {
namespace {

struct NoticeQueue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> pending;
    bool showing = false;
    bool started = false;
};

// Never destroyed: the notice thread waits on it for the life of the process, and the
// process ends without joining it.
NoticeQueue& Q() {
    static NoticeQueue* queue = new NoticeQueue;
    return *queue;
}

void ShowNotices() {
    NoticeQueue& q = Q();
    for (;;) {
        std::string text;
        {
            std::unique_lock lock(q.mutex);
            q.changed.wait(lock, [&] { return !q.pending.empty(); });
            text = std::move(q.pending.front());
            q.pending.pop_front();
            q.showing = true;
        }
        // No exception may end the thread: later notices still need it.
        try {
            core::Ui().MsgBox("渺岚壁纸", text, "确定", core::WindowOf(core::WindowKind::Main));
        } catch (...) {
        }
        {
            std::lock_guard lock(q.mutex);
            q.showing = false;
        }
        q.changed.notify_all();
    }
}

}  // namespace

void ShowNoticeLater(const std::string& text) {
    NoticeQueue& q = Q();
    std::lock_guard lock(q.mutex);
    if (!q.started) {
        try {
            std::thread([] { osthread::RunGuarded("notices", ShowNotices); }).detach();
            q.started = true;
        } catch (const std::system_error&) {
            // No thread now: the notice waits in the queue and the next one tries again.
        }
    }
    if (q.pending.size() >= static_cast<size_t>(kMaxPendingNotices)) return;
    q.pending.push_back(text);
    q.changed.notify_all();
}

void WaitForNoticesShown() {
    NoticeQueue& q = Q();
    std::unique_lock lock(q.mutex);
    q.changed.wait(lock, [&] { return q.pending.empty() && !q.showing; });
}

}  // namespace net
