// The one pause the program uses: a wait that keeps the calling thread's windows alive.
#pragma once

#include <cstdint>

namespace sys {

// Milliseconds per unit: 0 → 1, 1 → 1000, 2 → 60000, 3 → 3600000, any other value → itself.
int64_t DelayUnitMilliseconds(int64_t unit);

// The relative due time of the wait in 100-ns intervals (negative), rounded to nearest.
int64_t DelayDueTime(int32_t amount, int64_t unit);

// Waits amount × unit on a one-shot waitable timer, dispatching the thread's messages as they
// arrive (WM_QUIT stays queued for the thread's own loop). Nests; amount <= 0 returns at once.
// Falls back to a plain sleep when the timer cannot be made. Always returns true.
bool DelayWithMessages(int32_t amount, int64_t unit = 0);

// Dispatches what is queued for this thread, stopping before WM_QUIT.
void PumpPendingMessages();

}  // namespace sys
