#include "app_driver.h"

namespace e2e {
namespace {

// The tray callback the engine asks for.
constexpr UINT kTrayMessage = WM_APP + 2;

HWND Find(const wchar_t* title) { return FindWindowW(ui::kSkinWindowClass, title); }

}  // namespace

HWND WaitForWindow(const wchar_t* title, int timeoutMs, bool visible) {
    for (int waited = 0; waited <= timeoutMs; waited += 50) {
        HWND w = Find(title);
        if (w && (!visible || IsWindowVisible(w))) return w;
        Sleep(50);
    }
    return nullptr;
}

bool WaitUntilGone(const wchar_t* title, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 50) {
        HWND w = Find(title);
        if (!w || !IsWindowVisible(w)) return true;
        Sleep(50);
    }
    return false;
}

SIZE ClientSize(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return SIZE{r.right, r.bottom};
}

void ClickDesign(HWND window, int designWidth, int x, int y) {
    double scale = static_cast<double>(ClientSize(window).cx) / designWidth;
    LPARAM at = MAKELPARAM(static_cast<int>(x * scale), static_cast<int>(y * scale));
    PostMessageW(window, WM_MOUSEMOVE, 0, at);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(window, WM_LBUTTONUP, 0, at);
}

void PostTrayEvent(HWND main, int kind) {
    UINT event = kind == 1 ? WM_LBUTTONUP : kind == 2 ? WM_LBUTTONDBLCLK : WM_CONTEXTMENU;
    PostMessageW(main, kTrayMessage, 0, MAKELPARAM(event, 1));
}

bool ChooseTrayMenu(HWND main, int command, int timeoutMs) {
    PostTrayEvent(main, 3);
    HWND menu = nullptr;
    for (int waited = 0; waited <= timeoutMs && !menu; waited += 50) {
        menu = FindWindowW(L"#32768", nullptr);
        if (menu && !IsWindowVisible(menu)) menu = nullptr;
        if (!menu) Sleep(50);
    }
    if (!menu) return false;
    // Separators are skipped by the arrow keys.
    for (int i = 0; i < command; ++i) {
        PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(menu, WM_KEYUP, VK_DOWN, 0);
    }
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageW(menu, WM_KEYUP, VK_RETURN, 0);
    return true;
}

std::wstring WinePath(const std::string& linuxPath) {
    std::wstring out = L"Z:";
    for (char c : linuxPath) out += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
}

HANDLE Start(const std::wstring& commandLine) {
    std::wstring line = commandLine;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

long RunToEnd(const std::wstring& commandLine, int timeoutMs) {
    HANDLE process = Start(commandLine);
    if (!process) return -1;
    long result = -1;
    if (WaitForSingleObject(process, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0) {
        DWORD code = 0;
        if (GetExitCodeProcess(process, &code)) result = static_cast<long>(code);
    } else {
        TerminateProcess(process, 99);
    }
    CloseHandle(process);
    return result;
}

HWND WaitForWindowOf(HANDLE process, const wchar_t* title, int timeoutMs) {
    struct Search {
        DWORD pid;
        const wchar_t* title;
        HWND found;
    } search{GetProcessId(process), title, nullptr};
    for (int waited = 0; waited <= timeoutMs; waited += 50) {
        EnumWindows(
            [](HWND w, LPARAM p) -> BOOL {
                auto* s = reinterpret_cast<Search*>(p);
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                wchar_t text[64] = {};
                GetWindowTextW(w, text, 64);
                if (pid == s->pid && IsWindowVisible(w) && lstrcmpW(text, s->title) == 0) {
                    s->found = w;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

void EndProcess(HANDLE process) {
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 15000);
    }
}

}  // namespace e2e
