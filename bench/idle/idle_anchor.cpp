// The anchor of the idle benchmark: the least a Windows program under Wine costs while it
// waits, one hidden window and its message loop.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = L"MiaolanIdleAnchor";
    RegisterClassW(&wc);
    CreateWindowW(wc.lpszClassName, L"miaolan-idle-anchor", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                  nullptr, instance, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}
