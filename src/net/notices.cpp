#include "net/notices.h"

#include "core/window_registry.h"

namespace net {

Notices::~Notices() { Stop(); }

void Notices::Run(const sys::StopSignal&) {
    for (;;) {
        std::string text;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || !pending_.empty(); });
            if (stopping_) return;
            text = std::move(pending_.front());
            pending_.pop_front();
            showing_ = true;
        }
        // No exception may end the thread: later notices still need it.
        try {
            core::Ui().MsgBox("渺岚壁纸", text, "确定", core::WindowOf(core::WindowKind::Main));
        } catch (...) {
        }
        {
            std::lock_guard lock(mutex_);
            showing_ = false;
        }
        changed_.notify_all();
    }
}

void Notices::Show(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    // No thread now: the notice waits in the queue and the next one tries again.
    if (!thread_.Started()) thread_.Start("notices", [this](const sys::StopSignal& stop) { Run(stop); });
    if (pending_.size() >= static_cast<size_t>(kMaxPending)) return;
    pending_.push_back(text);
    changed_.notify_all();
}

void Notices::WaitUntilShown() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopping_ || (pending_.empty() && !showing_); });
}

void Notices::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        pending_.clear();
    }
    changed_.notify_all();
    thread_.Join();
}

}  // namespace net
