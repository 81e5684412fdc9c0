// The Win32 engine's notification-area icon, its menu, and message boxes.
// clang-format off
#include "ui/win32_internal.h"  // <windows.h> before the shell header
#include <shellapi.h>
// clang-format on

namespace ui {

using win32::Ctl;
using win32::Wide;
using win32::Win;

namespace {

// Renames the OK button of the message box about to appear on this thread.
thread_local std::wstring t_buttonCaption;
thread_local HHOOK t_hook = nullptr;

LRESULT CALLBACK MessageBoxHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE && !t_buttonCaption.empty()) {
        SetDlgItemTextW(reinterpret_cast<HWND>(wp), IDOK, t_buttonCaption.c_str());
        t_buttonCaption.clear();  // the box's own activation only
        return 0;
    }
    return CallNextHookEx(t_hook, code, wp, lp);
}

NOTIFYICONDATAW IconData(const Win& w) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = w.hwnd;
    data.uID = 1;
    return data;
}

}  // namespace

void Win32Engine::State::AddTray(Win& w) {
    NOTIFYICONDATAW data = IconData(w);
    data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP | NIF_SHOWTIP;
    data.uCallbackMessage = win32::kTrayMessage;
    if (!w.trayIcon) w.trayIcon.reset(win32::ProgramIcon(GetSystemMetrics(SM_CXSMICON)));
    data.hIcon = w.trayIcon.get();
    std::wstring tip = Wide(w.trayTip);
    wcsncpy(data.szTip, tip.c_str(), ARRAYSIZE(data.szTip) - 1);
    Shell_NotifyIconW(NIM_ADD, &data);
    data.uVersion = NOTIFYICON_VERSION_4;
    Shell_NotifyIconW(NIM_SETVERSION, &data);
}

void Win32Engine::State::RemoveTray(Win& w) {
    if (!w.tray) return;
    NOTIFYICONDATAW data = IconData(w);
    Shell_NotifyIconW(NIM_DELETE, &data);
    w.tray = false;
}

void Win32Engine::State::OnTrayMessage(Win& w, LPARAM lp) {
    int kind = 0;
    UINT event = LOWORD(lp);
    switch (event) {
        case WM_LBUTTONUP:
            kind = 1;
            break;
        case WM_LBUTTONDBLCLK:
            kind = 2;
            break;
        // Windows follows a right-button release with WM_CONTEXTMENU; Wine sends only the
        // release, and the menu key sends only WM_CONTEXTMENU. One menu per press.
        case WM_RBUTTONUP:
            kind = 3;
            break;
        case WM_CONTEXTMENU:
            if (!inTrayMenu && GetTickCount() - lastTrayButtonUp > 1000) kind = 3;
            break;
        default:
            break;
    }
    if (kind == 3 && inTrayMenu) kind = 0;
    if (kind == 3 && event == WM_RBUTTONUP) {
        // The button release is still on its way through the input queues; a menu opened now
        // is closed by it again under Wine. Open it once that has passed.
        lastTrayButtonUp = GetTickCount();
        SetTimer(w.hwnd, win32::kTrayMenuTimer, 150, nullptr);
        return;
    }
    if (!kind) return;
    WindowId id = w.id;
    bool nested = inTrayMenu;
    inTrayMenu = kind == 3 || inTrayMenu;
    Raise(id, EventKind::Tray, 0, kind);
    inTrayMenu = nested;
    if (event == WM_RBUTTONUP) lastTrayButtonUp = GetTickCount();
}

void Win32Engine::State::OnTrayMenuLater(Win& w) {
    if (inTrayMenu) return;
    WindowId id = w.id;
    inTrayMenu = true;
    Raise(id, EventKind::Tray, 0, 3);
    inTrayMenu = false;
    lastTrayButtonUp = GetTickCount();
}

void Win32Engine::State::PopupMenu(Ctl& c, int dx, int dy) {
    Win* w = FindWin(c.window);
    if (!w) return;
    sys::ScopedMenu popup(CreatePopupMenu());
    if (!popup) return;
    for (size_t i = 0; i < c.design.items.size(); ++i) {
        if (c.design.items[i] == "-")
            AppendMenuW(popup.get(), MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuW(popup.get(), MF_STRING, i + 1, Wide(c.design.items[i]).c_str());
    }
    POINT cursor;
    GetCursorPos(&cursor);
    HWND owner = w->hwnd;
    WindowId window = w->id;
    ControlId id = c.id;
    // A notification-area menu closes when the user clicks elsewhere only if its owner is in
    // front, and needs the null message after it to close properly.
    SetForegroundWindow(owner);
    int chosen = TrackPopupMenu(
        popup.get(), TPM_RIGHTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
        cursor.x - dx, cursor.y - dy, 0, owner, nullptr);
    PostMessageW(owner, WM_NULL, 0, 0);
    popup.reset();
    if (chosen > 0) Raise(window, EventKind::MenuChosen, id, chosen - 1);
}

void Win32Engine::State::ShowMessageBox(const std::string& title, const std::string& text,
                                        const std::string& button, HWND owner) {
    sys::ScopedHook hook;
    if (!button.empty()) {
        t_buttonCaption = Wide(button);
        hook.reset(SetWindowsHookExW(WH_CBT, MessageBoxHook, nullptr, GetCurrentThreadId()));
        t_hook = hook.get();
    }
    MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(), MB_OK | (owner ? 0 : MB_TOPMOST));
    t_buttonCaption.clear();
}

void Win32Engine::MsgBox(const std::string& title, const std::string& text, const std::string& button,
                         WindowId owner) {
    state_->OnUi([&] {
        Win* w = state_->FindWin(owner);
        state_->ShowMessageBox(title, text, button, w ? w->hwnd : nullptr);
    });
}

void Win32Engine::AddTrayIcon(WindowId window, const std::string& tooltip) {
    state_->OnUi([&] {
        Win* w = state_->FindWin(window);
        if (!w) return;
        state_->RemoveTray(*w);
        w->trayTip = tooltip;
        w->tray = true;
        state_->AddTray(*w);
    });
}

void Win32Engine::RemoveTrayIcon(WindowId window) {
    state_->OnUi([&] {
        if (Win* w = state_->FindWin(window)) state_->RemoveTray(*w);
    });
}

bool Win32Engine::HasTrayIcon(WindowId window) {
    return state_->OnUi([&] {
        Win* w = state_->FindWin(window);
        return w && w->tray;
    });
}

void Win32Engine::PopupTrayMenu(ControlId menu, int dx, int dy) {
    state_->OnUi([&] {
        if (Ctl* c = state_->FindKind(menu, Kind::Menu)) state_->PopupMenu(*c, dx, dy);
    });
}

}  // namespace ui
