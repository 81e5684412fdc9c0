// The one copy per session: a named mutex marks it; a second start finds its windows by class
// and asks them, by a registered message, to bring the main window forward.
#include <windows.h>

#include "sys/trace_win.h"
#include "ui/program_window.h"
#include "ui/win32_engine.h"

namespace ui {
namespace {

struct Search {
    UINT message;
    bool found = false;
};

BOOL CALLBACK AskToShow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    wchar_t name[64] = {};
    if (!GetClassNameW(window, name, 64) || lstrcmpW(name, kSkinWindowClass) != 0) return TRUE;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    // The running copy may take the foreground from this process, which the user just started.
    AllowSetForegroundWindow(process);
    if (PostMessageW(window, search->message, 0, 0)) search->found = true;
    return FALSE;  // any one of its windows passes the request to its main window
}

}  // namespace

bool BecomeTheOnlyCopy() {
    // Never closed: the mark lasts as long as this process.
    HANDLE mark = CreateMutexW(nullptr, FALSE, kRunningMutex);
    if (!mark) {
        // No mark to be had: better a second copy than none.
        sys::TraceLastError("CreateMutexW");
        return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return true;
    CloseHandle(mark);
    // The first copy may still be starting: its windows come within a few seconds.
    Search search{RegisterWindowMessageW(kShowMessage)};
    for (int tries = 0; tries < 50 && !search.found; ++tries) {
        EnumWindows(AskToShow, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(100);
    }
    return false;
}

}  // namespace ui
