// The message-pumping wait on a real window thread under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "sys/delay.h"

namespace {

constexpr UINT kPing = WM_APP + 1;
constexpr UINT kNest = WM_APP + 2;
std::vector<DWORD> g_pings;
bool g_nestedReturned = false;

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kPing) {
        g_pings.push_back(GetTickCount());
        return 0;
    }
    if (msg == kNest) {
        g_nestedReturned = sys::DelayWithMessages(100);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

HWND MakeWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "MiaolanWaitTest";
    RegisterClassA(&wc);
    return CreateWindowA("MiaolanWaitTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

struct Poster {
    HWND target;
    int count;
};

DWORD WINAPI PostPings(void* arg) {
    auto* p = static_cast<Poster*>(arg);
    for (int i = 0; i < p->count; ++i) {
        Sleep(100);
        PostMessageA(p->target, kPing, 0, 0);
    }
    return 0;
}

}  // namespace

TEST(DelayWithMessagesWin, DispatchesMessagesAsTheyComeAndStillReturnsAfterTheTime) {
    HWND hwnd = MakeWindow();
    ASSERT_NE(hwnd, nullptr);
    g_pings.clear();
    Poster poster{hwnd, 5};
    HANDLE thread = CreateThread(nullptr, 0, PostPings, &poster, 0, nullptr);
    DWORD start = GetTickCount();
    EXPECT_TRUE(sys::DelayWithMessages(1, 1));
    DWORD elapsed = GetTickCount() - start;
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    EXPECT_GE(elapsed, 900u);
    EXPECT_LT(elapsed, 5000u);
    ASSERT_EQ(g_pings.size(), 5u);  // each handled during the wait, not after it
    for (DWORD t : g_pings) EXPECT_LT(t - start, elapsed + 50);
    DestroyWindow(hwnd);
}

TEST(DelayWithMessagesWin, NestedWaitsAndQuitStaysQueued) {
    HWND hwnd = MakeWindow();
    g_nestedReturned = false;
    PostMessageA(hwnd, kNest, 0, 0);
    DWORD start = GetTickCount();
    EXPECT_TRUE(sys::DelayWithMessages(300));
    EXPECT_TRUE(g_nestedReturned);
    EXPECT_GE(GetTickCount() - start, 250u);

    PostQuitMessage(7);
    sys::DelayWithMessages(20);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    DestroyWindow(hwnd);
}
