#include "sys/thread.h"

#include <system_error>

#include "thread_name.h"

namespace sys {

bool StopSignal::Requested() const {
    std::lock_guard lock(mutex_);
    return requested_;
}

bool StopSignal::WaitFor(std::chrono::milliseconds duration) const {
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, duration, [this] { return requested_; });
}

void StopSignal::Request() {
    {
        std::lock_guard lock(mutex_);
        requested_ = true;
    }
    changed_.notify_all();
}

Thread::~Thread() {
    RequestStop();
    Join();
}

bool Thread::Start(const char* name, Body body) {
    if (thread_.joinable()) return false;
    auto stop = std::make_shared<StopSignal>();
    try {
        thread_ = std::thread(
            [name, stop, body = std::move(body)] { osthread::RunGuarded(name, [&] { body(*stop); }); });
    } catch (const std::system_error&) {
        return false;
    }
    stop_ = std::move(stop);
    return true;
}

void Thread::RequestStop() {
    if (stop_) stop_->Request();
}

void Thread::Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

}  // namespace sys
