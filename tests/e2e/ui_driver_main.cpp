// One step of the screenshot run: ui_driver <step>. Prints the client size of the window the
// step leaves in front, or fails with exit code 1.
#include <cstdio>
#include <cstring>

#include "app_driver.h"

namespace {

int Report(HWND w) {
    if (!w) {
        std::printf("missing\n");
        return 1;
    }
    SIZE s = e2e::ClientSize(w);
    std::printf("%ld %ld\n", s.cx, s.cy);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const char* step = argv[1];
    const int wait = 15000;
    HWND main = e2e::WaitForWindow(L"渺岚壁纸", wait);
    if (!main) return Report(nullptr);
    if (!std::strcmp(step, "main")) return Report(main);
    // The main window's view headers and its first list item, in design pixels.
    if (!std::strcmp(step, "4k-view") || !std::strcmp(step, "hd-view")) {
        e2e::ClickDesign(main, 1280, step[0] == '4' ? 528 : 615, 28);
        return Report(main);
    }
    if (!std::strcmp(step, "first-item")) {
        e2e::ClickDesign(main, 1280, 169, 150);
        return Report(e2e::WaitForWindow(L"渺岚壁纸_详细描述", wait));
    }
    if (!std::strcmp(step, "close-detail")) {
        if (HWND detail = e2e::WaitForWindow(L"渺岚壁纸_详细描述", wait))
            PostMessageW(detail, WM_CLOSE, 0, 0);
        return e2e::WaitUntilGone(L"渺岚壁纸_详细描述", wait) ? 0 : 1;
    }
    if (!std::strcmp(step, "settings")) {
        e2e::ClickDesign(main, 1280, 1194, 28);
        return Report(e2e::WaitForWindow(L"渺岚壁纸_设置", wait));
    }
    if (!std::strcmp(step, "rotation")) {
        HWND settings = e2e::WaitForWindow(L"渺岚壁纸_设置", wait);
        if (!settings) return Report(nullptr);
        e2e::ClickDesign(settings, 429, 212, 181);
        return Report(e2e::WaitForWindow(L"渺岚壁纸_自动更换", wait));
    }
    if (!std::strcmp(step, "close-rotation")) {
        HWND rotation = e2e::WaitForWindow(L"渺岚壁纸_自动更换", wait);
        if (rotation) e2e::ClickDesign(rotation, 429, 412, 20);
        return e2e::WaitUntilGone(L"渺岚壁纸_自动更换", wait) ? 0 : 1;
    }
    if (!std::strcmp(step, "display")) {
        HWND settings = e2e::WaitForWindow(L"渺岚壁纸_设置", wait);
        if (!settings) return Report(nullptr);
        e2e::ClickDesign(settings, 429, 352, 181);
        return Report(e2e::WaitForWindow(L"渺岚壁纸_显示设置", wait));
    }
    if (!std::strcmp(step, "close-display")) {
        HWND display = e2e::WaitForWindow(L"渺岚壁纸_显示设置", wait);
        if (display) e2e::ClickDesign(display, 429, 412, 20);
        return e2e::WaitUntilGone(L"渺岚壁纸_显示设置", wait) ? 0 : 1;
    }
    if (!std::strcmp(step, "close-settings")) {
        HWND settings = e2e::WaitForWindow(L"渺岚壁纸_设置", wait);
        if (settings) e2e::ClickDesign(settings, 429, 412, 20);
        return e2e::WaitUntilGone(L"渺岚壁纸_设置", wait) ? 0 : 1;
    }
    if (!std::strcmp(step, "exit")) {
        if (!e2e::ChooseTrayMenu(main, e2e::kTrayExit, wait)) return Report(nullptr);
        return Report(e2e::WaitForWindow(L"渺岚壁纸_退出", wait));
    }
    if (!std::strcmp(step, "quit")) {
        HWND exitWindow = e2e::WaitForWindow(L"渺岚壁纸_退出", wait);
        if (exitWindow) e2e::ClickDesign(exitWindow, 288, 188, 124);
        return e2e::WaitUntilGone(L"渺岚壁纸", wait) ? 0 : 1;
    }
    return 2;
}
