// The one thread type of the program: named, guarded (no exception leaves its body), told to
// stop, and joined by its owner. Nothing the program starts is detached.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace sys {

// What a thread's body asks to learn that its owner wants it to end.
class StopSignal {
  public:
    bool Requested() const;
    // Waits up to `duration`; false as soon as a stop has been requested.
    bool WaitFor(std::chrono::milliseconds duration) const;
    void Request();

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool requested_ = false;
};

class Thread {
  public:
    using Body = std::function<void(const StopSignal&)>;

    Thread() = default;
    // Requests a stop and joins.
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Runs body on a new thread named `name`; false (and nothing runs) when the system has no
    // thread to give, or when this one already runs.
    bool Start(const char* name, Body body);
    // Asks the body to end; it sees it through its StopSignal.
    void RequestStop();
    // Waits for the body to return. A thread never joins itself.
    void Join();
    bool Started() const { return thread_.joinable(); }

  private:
    std::shared_ptr<StopSignal> stop_;
    std::thread thread_;
};

}  // namespace sys
