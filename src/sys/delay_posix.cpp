// Native builds have no window messages: the wait is a plain sleep.
#include <chrono>
#include <thread>

#include "sys/delay.h"

namespace sys {

bool DelayWithMessages(int32_t amount, int64_t unit) {
    int64_t due = DelayDueTime(amount, unit);
    if (due < 0) std::this_thread::sleep_for(std::chrono::nanoseconds(-due * 100));
    return true;
}

void PumpPendingMessages() {}

}  // namespace sys
