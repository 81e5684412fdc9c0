#include <windows.h>

#include "sys/delay.h"
#include "sys/native_calls.h"
#include "sys/scoped_win.h"
#include "sys/trace_win.h"

namespace sys {

void PumpPendingMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        if (msg.message == WM_QUIT) return;  // left for the thread's own loop
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool DelayWithMessages(int32_t amount, int64_t unit) {
    LARGE_INTEGER due;
    due.QuadPart = DelayDueTime(amount, unit);
    ScopedHandle timer(Native<Row::CreateWaitableTimerA>()(nullptr, FALSE, nullptr));
    if (!timer || !Native<Row::SetWaitableTimer>()(timer.get(), &due, 0, nullptr, nullptr, FALSE)) {
        // Without a timer the wait would spin forever; sleep instead (messages wait meanwhile).
        TraceLastError(timer ? "SetWaitableTimer" : "CreateWaitableTimerA");
        if (due.QuadPart < 0) Sleep(static_cast<DWORD>((-due.QuadPart + 9999) / 10000));
        return true;
    }
    constexpr DWORD kAllInput = 0xFF;  // QS_KEY .. QS_HOTKEY
    HANDLE handle = timer.get();
    for (;;) {
        DWORD r = Native<Row::MsgWaitForMultipleObjects>()(1, &handle, FALSE, INFINITE, kAllInput);
        if (r == WAIT_OBJECT_0) break;
        if (r == WAIT_FAILED) {
            // A broken handle would spin the loop; treat it as the timer having fired.
            TraceLastError("MsgWaitForMultipleObjects");
            break;
        }
        PumpPendingMessages();
    }
    return true;
}

}  // namespace sys
