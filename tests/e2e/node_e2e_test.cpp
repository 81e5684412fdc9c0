// The real exe against the real node, inside a Wine virtual desktop (tests/e2e/with_node.sh
// starts both): start-up and greeting, the node restarting, rotation asking for a new
// wallpaper, and the exit from the tray menu. What the node received is read from its log.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "app_driver.h"
#include "e2e_support.h"

namespace {

constexpr int kWait = 30000;
constexpr int kListWait = 90000;

std::wstring DesktopValue(const wchar_t* name) {
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", name, RRF_RT_REG_SZ, nullptr, data,
                     &size) != ERROR_SUCCESS)
        return L"";
    return data;
}

ULONGLONG WriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32 |
           data.ftLastWriteTime.dwLowDateTime;
}

// The middle of the virtual desktop: Wine draws the wallpaper there whatever the style says
// (it centres it), so the program's windows are hidden before it is looked at.
constexpr int kDesktopX = 800, kDesktopY = 500;

// Waits until the desktop at the free spot shows one of `colours`; its index, or -1.
int WaitForDesktopColour(const std::vector<COLORREF>& colours, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 250) {
        e2e::Screen screen = e2e::Capture();
        for (size_t i = 0; i < colours.size(); ++i)
            if (e2e::Near(screen.At(kDesktopX, kDesktopY), colours[i])) return static_cast<int>(i);
        Sleep(250);
    }
    return -1;
}

// The wallpaper the program applied: the registry's style and bitmap, the bitmap's colour
// and the desktop's pixels all name `colour`.
void ExpectDesktopIs(COLORREF colour) {
    EXPECT_EQ(DesktopValue(L"WallpaperStyle"), L"2");
    EXPECT_EQ(DesktopValue(L"TileWallpaper"), L"0");
    std::wstring bitmap = DesktopValue(L"Wallpaper");
    EXPECT_NE(bitmap.find(L"桌面背景图片.bmp"), std::wstring::npos)
        << std::string(bitmap.begin(), bitmap.end());
    EXPECT_TRUE(e2e::Near(e2e::BitmapCentre(bitmap), colour));
    EXPECT_TRUE(e2e::Near(e2e::Capture().At(kDesktopX, kDesktopY), colour));
}

// The main window outside its list: the header band (title, view switch) and the tab headers,
// and the page bar. These are what Wine's desktop painted over after a wallpaper change.
struct Bands {
    std::vector<COLORREF> pixels;
};
Bands MainBands(HWND main) {
    RECT r = e2e::ScreenRect(main);
    e2e::Screen screen = e2e::Capture();
    const int width = r.right - r.left, height = r.bottom - r.top;
    Bands b;
    for (int y = 0; y < height; y += 2) {
        // 0..100: header and tab headers; below 800: the page bar (design pixels at 96 dpi).
        if (y >= 100 * height / 847 && y < 800 * height / 847) continue;
        for (int x = 0; x < width; x += 2) b.pixels.push_back(screen.At(r.left + x, r.top + y));
    }
    return b;
}
// Share of the pixels that are the same in both pictures, 0..1.
double Alike(const Bands& a, const Bands& b) {
    if (a.pixels.size() != b.pixels.size() || a.pixels.empty()) return 0;
    size_t same = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) same += e2e::Near(a.pixels[i], b.pixels[i]);
    return static_cast<double>(same) / static_cast<double>(a.pixels.size());
}
// The bands once two pictures a moment apart agree: a window that has just closed over the main
// window may not be painted away yet.
Bands SettledBands(HWND main) {
    Bands last = MainBands(main);
    for (int waited = 0; waited <= 5000; waited += 300) {
        Sleep(300);
        Bands now = MainBands(main);
        if (Alike(now, last) >= 0.999) return now;
        last = std::move(now);
    }
    return last;
}

// After a wallpaper change the program's windows are repainted within a few seconds.
void ExpectMainWhole(HWND main, const Bands& before, const wchar_t* shot) {
    double alike = 0;
    for (int waited = 0; waited <= 10000 && (alike = Alike(MainBands(main), before)) < 0.99; waited += 250)
        Sleep(250);
    e2e::Shoot(shot);
    EXPECT_GE(alike, 0.99) << "the main window is painted over outside its list";
}

// A visible dialog of the process: a message box titled "渺岚壁纸", or with `title` null any
// other dialog (the folder browser). Null when none shows within the time.
HWND WaitForDialog(HANDLE process, const wchar_t* title, int timeoutMs) {
    struct Find {
        DWORD pid;
        const wchar_t* title;
        HWND found;
    } f{GetProcessId(process), title, nullptr};
    for (int waited = 0; waited <= timeoutMs; waited += 100) {
        EnumWindows(
            [](HWND w, LPARAM lp) -> BOOL {
                auto* f = reinterpret_cast<Find*>(lp);
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                wchar_t cls[32] = {}, text[64] = {};
                GetClassNameW(w, cls, 32);
                GetWindowTextW(w, text, 64);
                bool box = wcscmp(text, L"渺岚壁纸") == 0;
                if (pid == f->pid && IsWindowVisible(w) && wcscmp(cls, L"#32770") == 0 &&
                    (f->title ? box : !box)) {
                    f->found = w;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&f));
        if (f.found) return f.found;
        Sleep(100);
    }
    return nullptr;
}

// Closes the dialog with its button (`id`) and waits until it has gone.
void Dismiss(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, id, 0);
    for (int waited = 0; IsWindow(dialog) && waited <= kWait; waited += 100) Sleep(100);
    EXPECT_FALSE(IsWindow(dialog));
}

// The text of the program's next message box, which is then closed with its button.
std::wstring AnswerMessageBox(HANDLE process) {
    HWND box = WaitForDialog(process, L"渺岚壁纸", kWait);
    if (!box) return L"<no message box>";
    wchar_t text[512] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 512);
    Dismiss(box, IDOK);
    return text;
}

std::wstring RunValue(HKEY hive) {
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    if (RegGetValueW(hive, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", L"渺岚壁纸", RRF_RT_REG_SZ,
                     nullptr, data, &size) != ERROR_SUCCESS)
        return L"";
    return data;
}

// Rows of the node window's list (a native list view).
int NodeRows(HWND node) {
    HWND list = FindWindowExW(node, nullptr, L"SysListView32", nullptr);
    return list ? static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : -1;
}

// A whole file; empty when it cannot be read.
std::string FileBytes(const std::wstring& path) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char block[65536];
    DWORD n = 0;
    while (ReadFile(file, block, sizeof block, &n, nullptr) && n > 0) bytes.append(block, n);
    CloseHandle(file);
    return bytes;
}

// Files in the folder matching the pattern.
int CountFiles(const std::wstring& folder, const wchar_t* pattern) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do ++count;
    while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

// A window of this process, another one than the program, over the whole screen and in front
// until it goes: what a game or a presentation looks like to the program.
class FullScreenWindow {
  public:
    FullScreenWindow() {
        thread_ = std::thread([this] {
            window_ = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"full screen", WS_POPUP | WS_VISIBLE, 0, 0,
                                      GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                                      nullptr, nullptr, nullptr);
            SetForegroundWindow(window_);
            threadId_ = GetCurrentThreadId();
            ready_ = true;
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
            DestroyWindow(window_);
        });
        while (!ready_) Sleep(10);
    }
    ~FullScreenWindow() {
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    HWND window() const { return window_; }

  private:
    std::thread thread_;
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
    std::atomic<bool> ready_{false};
};

class ProgramWithNode : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(e2e::WorkFolder().empty()) << "run through tests/e2e/with_node.sh";
        ASSERT_TRUE(e2e::WaitForNodeLog(L"node: protocol on", 1, kWait));
    }
    void TearDown() override {
        if (program_) {
            e2e::EndProcess(program_);
            CloseHandle(program_);
        }
    }

    // A fresh copy of the program in a folder of its own, with these rotation settings.
    void StartProgram(const wchar_t* period) {
        folder_ = e2e::InstallProgramCopy(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_FALSE(folder_.empty());
        e2e::WriteConfig(folder_, L"常规设置", L"路径", e2e::WorkFolder() + L"\\storage");
        e2e::WriteConfig(folder_, L"自动更换", L"周期", period);
        program_ = e2e::Start(L"\"" + folder_ + L"\\MiaolanWallpaper.exe\"");
        ASSERT_NE(program_, nullptr);
        main_ = e2e::WaitForWindowOf(program_, L"渺岚壁纸", kWait);
        ASSERT_NE(main_, nullptr);
    }

    // The window's own hide button; it goes to the notification area.
    void HideMain() {
        e2e::ClickDesign(main_, 1280, 1260, 28);
        for (int waited = 0; IsWindowVisible(main_) && waited <= kWait; waited += 100) Sleep(100);
        EXPECT_FALSE(IsWindowVisible(main_));
    }

    // The tray menu's "退出", then the exit window's "退出": the process ends with code 0.
    void ExitFromTray() {
        ASSERT_TRUE(e2e::ChooseTrayMenu(main_, e2e::kTrayExit, kWait));
        HWND exitWindow = e2e::WaitForWindowOf(program_, L"渺岚壁纸_退出", kWait);
        ASSERT_NE(exitWindow, nullptr);
        e2e::Shoot(L"exit-window");
        e2e::ClickDesign(exitWindow, 288, 188, 124);
        ASSERT_EQ(WaitForSingleObject(program_, kWait), static_cast<DWORD>(WAIT_OBJECT_0));
        DWORD code = 1;
        GetExitCodeProcess(program_, &code);
        EXPECT_EQ(code, 0u);
    }

    std::wstring Config(const wchar_t* section, const wchar_t* key) {
        wchar_t value[512] = {};
        GetPrivateProfileStringW(section, key, L"", value, 512, (folder_ + L"\\data\\Config.ini").c_str());
        return value;
    }
    // Waits until the node has answered `request` `count` times in all.
    bool Answered(const wchar_t* request, int count) {
        return e2e::WaitForNodeLog(std::wstring(request) + L" answered", count, kWait);
    }

    std::wstring folder_;
    HANDLE program_ = nullptr;
    HWND main_ = nullptr;
};

TEST_F(ProgramWithNode, StartsToAFullListShowsADetailAndAppliesThePictureChosenWithUse) {
    std::vector<e2e::CataloguePicture> latest;
    for (const auto& p : e2e::Catalogue())
        if (p.category == L"4K最新") latest.push_back(p);
    ASSERT_EQ(latest.size(), 2u);
    StartProgram(L"0");

    // The first page of the 4K view: both pictures' previews on the main window.
    RECT area = e2e::ScreenRect(main_);
    RECT first{}, second{};
    bool full = false;
    for (int waited = 0; !full && waited <= kListWait; waited += 500) {
        e2e::Screen screen = e2e::Capture();
        full = e2e::FindColour(screen, latest[0].colour, area, &first) &&
               e2e::FindColour(screen, latest[1].colour, area, &second);
        if (!full) Sleep(500);
    }
    e2e::Shoot(L"list");
    ASSERT_TRUE(full) << "the 4K list did not show both previews";

    // A click on the first preview opens its detail with the picture.
    e2e::ClickScreen(main_, first.left + 40, first.top + 40);
    HWND detail = e2e::WaitForWindowOf(program_, L"渺岚壁纸_详细描述", kWait);
    ASSERT_NE(detail, nullptr);
    bool shown = false;
    for (int waited = 0; !shown && waited <= kWait; waited += 250) {
        shown = e2e::FindColour(e2e::Capture(), latest[0].colour, e2e::ScreenRect(detail), nullptr);
        if (!shown) Sleep(250);
    }
    e2e::Shoot(L"detail");
    EXPECT_TRUE(shown) << "the detail window did not show the picture";
    PostMessageW(detail, WM_CLOSE, 0, 0);
    for (int waited = 0; IsWindowVisible(detail) && waited <= kWait; waited += 100) Sleep(100);

    // "使用" sits in the lower right corner of the second preview.
    Bands before = SettledBands(main_);
    const ULONGLONG written = WriteTime(DesktopValue(L"Wallpaper"));
    e2e::ClickScreen(main_, second.right - 25, second.bottom - 12);
    ASSERT_TRUE(e2e::WaitForNodeLog(L"&下载 answered", 1, kWait));
    // The desktop changes behind the main window, which stays whole.
    for (int waited = 0; WriteTime(DesktopValue(L"Wallpaper")) <= written && waited <= kListWait;
         waited += 250)
        Sleep(250);
    ExpectMainWhole(main_, before, L"main-after-use");
    HideMain();
    EXPECT_EQ(WaitForDesktopColour({latest[1].colour}, kListWait), 0);
    e2e::Shoot(L"applied");
    ExpectDesktopIs(latest[1].colour);
    EXPECT_EQ(e2e::CountInNodeLog(L"&下载 answered"), 1);
    ExitFromTray();
}

TEST_F(ProgramWithNode, GreetsTheNodeAgainWithinSixSecondsOfItsRestartAndExitsFromTheTray) {
    StartProgram(L"0");
    ASSERT_TRUE(e2e::WaitForNodeLog(L"&1 answered", 1, kWait));
    e2e::Shoot(L"greeted");

    int hellos = e2e::CountInNodeLog(L"&1 answered");
    ASSERT_TRUE(e2e::RestartNode(60000));
    // The connect timer retries every 1 to 5 seconds; the first tick after the node is back
    // connects and greets.
    DWORD back = GetTickCount();
    EXPECT_TRUE(e2e::WaitForNodeLog(L"&1 answered", hellos + 1, 6000));
    EXPECT_LE(GetTickCount() - back, 6000u);
    ExitFromTray();
}

TEST_F(ProgramWithNode, RotationAsksTheNodeForANewWallpaperOnceItsPeriodHasPassed) {
    // One minute is the shortest period the settings file can hold: 65 seconds.
    StartProgram(L"1");
    ASSERT_TRUE(e2e::WaitForNodeLog(L"&1 answered", 1, kWait));
    ASSERT_TRUE(e2e::WaitForNodeLog(L"&获取 answered", 1, kWait));
    Bands window = SettledBands(main_);
    const ULONGLONG before = WriteTime(DesktopValue(L"Wallpaper"));
    ASSERT_TRUE(e2e::WaitForNodeLog(L"&更换 answered", 1, 120000));
    // Keep-alives went out between, at most a minute apart.
    EXPECT_TRUE(e2e::WaitForNodeLog(L"&4 no reply", 1, kWait));

    // The node's answer is applied without any window: the bitmap is written anew with a
    // picture of the catalogue, and the desktop shows it.
    for (int waited = 0; WriteTime(DesktopValue(L"Wallpaper")) <= before && waited <= kListWait;
         waited += 250)
        Sleep(250);
    ASSERT_GT(WriteTime(DesktopValue(L"Wallpaper")), before);
    // The silent download leaves every window of the program whole too.
    ExpectMainWhole(main_, window, L"main-after-rotation");
    HideMain();
    // The bitmap is written before the desktop is pointed at it: read its colour once the file
    // has stopped changing, not while it is being written.
    for (ULONGLONG last = 0, now; (now = WriteTime(DesktopValue(L"Wallpaper"))) != last; last = now)
        Sleep(500);
    COLORREF applied = e2e::BitmapCentre(DesktopValue(L"Wallpaper"));
    bool known = false;
    for (const auto& p : e2e::Catalogue()) known |= e2e::Near(p.colour, applied);
    EXPECT_TRUE(known) << "the bitmap is no picture of the catalogue";
    EXPECT_EQ(WaitForDesktopColour({applied}, kListWait), 0) << "the desktop does not show the bitmap";
    e2e::Shoot(L"rotated");
    ExitFromTray();
}

// "下一张" asks the node now and the picture lands on the desktop; "上一张" walks back through
// the bitmaps made before, without the node; the history keeps the last 20 pictures, and a new
// picture after going back drops the ones ahead.
TEST_F(ProgramWithNode, NextAndPreviousFromTheTrayWalkTheLastTwentyPictures) {
    StartProgram(L"0");
    ASSERT_TRUE(e2e::WaitForNodeLog(L"&1 answered", 1, kWait));
    HideMain();
    const std::wstring history = e2e::WorkFolder() + L"\\storage\\壁纸\\历史";
    const std::wstring index = history + L"\\历史.txt";
    // Each applied picture rewrites the index last: once it changed, the bitmap is whole.
    auto indexChanges = [&](const std::string& before) {
        for (int waited = 0; FileBytes(index) == before && waited <= kListWait; waited += 100) Sleep(100);
        return FileBytes(index) != before;
    };
    std::vector<std::string> bitmaps;  // the desktop bitmap after each picture
    for (int n = 1; n <= 21; ++n) {
        SCOPED_TRACE(n);
        std::string before = FileBytes(index);
        ASSERT_TRUE(e2e::ChooseTrayMenu(main_, e2e::kTrayNext, kWait));
        ASSERT_TRUE(Answered(L"&更换", n));
        ASSERT_TRUE(indexChanges(before));
        bitmaps.push_back(FileBytes(DesktopValue(L"Wallpaper")));
        ASSERT_FALSE(bitmaps.back().empty());
    }
    EXPECT_EQ(CountFiles(history, L"*.jpg"), 20);
    EXPECT_EQ(WaitForDesktopColour({e2e::BitmapCentre(DesktopValue(L"Wallpaper"))}, kListWait), 0);

    for (int back = 1; back <= 3; ++back) {
        SCOPED_TRACE(back);
        std::string before = FileBytes(index);
        ASSERT_TRUE(e2e::ChooseTrayMenu(main_, e2e::kTrayPrevious, kWait));
        ASSERT_TRUE(indexChanges(before));
        const std::string& wanted = bitmaps[bitmaps.size() - 1 - back];
        for (int waited = 0; FileBytes(DesktopValue(L"Wallpaper")) != wanted && waited <= kWait;
             waited += 100)
            Sleep(100);
        EXPECT_TRUE(FileBytes(DesktopValue(L"Wallpaper")) == wanted) << "not the picture " << back << " back";
    }
    EXPECT_EQ(e2e::CountInNodeLog(L"&更换 answered"), 21);
    e2e::Shoot(L"history-three-back");

    std::string before = FileBytes(index);
    ASSERT_TRUE(e2e::ChooseTrayMenu(main_, e2e::kTrayNext, kWait));
    ASSERT_TRUE(indexChanges(before));
    EXPECT_EQ(CountFiles(history, L"*.jpg"), 20 - 3 + 1);
    ExitFromTray();
}

// A second start, hidden in the tray or not, brings the running copy forward and ends: one
// tray icon, one link to the node.
TEST_F(ProgramWithNode, ASecondStartBringsTheRunningCopyForward) {
    StartProgram(L"0");
    ASSERT_TRUE(e2e::WaitForNodeLog(L"&1 answered", 1, kWait));
    HideMain();
    HANDLE second = e2e::Start(L"\"" + folder_ + L"\\MiaolanWallpaper.exe\"");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(WaitForSingleObject(second, kWait), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 1;
    GetExitCodeProcess(second, &code);
    CloseHandle(second);
    EXPECT_EQ(code, 0u);
    for (int waited = 0; !IsWindowVisible(main_) && waited <= kWait; waited += 100) Sleep(100);
    EXPECT_TRUE(IsWindowVisible(main_));
    e2e::Shoot(L"second-start");
    EXPECT_EQ(e2e::CountInNodeLog(L"&1 answered"), 1);
    ExitFromTray();
}

// While another program shows full screen, rotation skips its change and keeps the link alive;
// the change is made as soon as the window goes.
TEST_F(ProgramWithNode, RotationWaitsWhileAnotherProgramIsFullScreen) {
    folder_ = e2e::InstallProgramCopy("RotationWaitsWhileAnotherProgramIsFullScreen");
    ASSERT_FALSE(folder_.empty());
    e2e::WriteConfig(folder_, L"显示设置", L"全屏时暂停", L"1");
    StartProgram(L"1");
    ASSERT_TRUE(e2e::WaitForNodeLog(L"&1 answered", 1, kWait));
    HideMain();
    {
        FullScreenWindow game;
        EXPECT_EQ(GetForegroundWindow(), game.window());
        // The period is 65 seconds from the start; well past it, nothing was asked.
        Sleep(90000);
        e2e::Shoot(L"full-screen");
        EXPECT_EQ(e2e::CountInNodeLog(L"&更换 answered"), 0);
        EXPECT_GE(e2e::CountInNodeLog(L"&4 no reply"), 1);
    }
    EXPECT_TRUE(e2e::WaitForNodeLog(L"&更换 answered", 1, 10000));
    ExitFromTray();
}

}  // namespace

namespace {

TEST_F(ProgramWithNode, EveryControlOfEveryWindowDoesWhatItSays) {
    StartProgram(L"0");
    // The greeting's answer shows the 4K view, which asks for its first tab.
    ASSERT_TRUE(Answered(L"&获取", 1));
    int lists = 1;

    // Main window: the view switch, a tab, the page buttons.
    e2e::ClickDesign(main_, 1280, 615, 28);  // HD view: its first tab, never loaded
    EXPECT_TRUE(Answered(L"&获取", ++lists));
    e2e::ClickDesign(main_, 1280, 703, 28);  // the dynamic view is announced only
    EXPECT_NE(AnswerMessageBox(program_).find(L"动态壁纸正在开发中"), std::wstring::npos);
    e2e::ClickDesign(main_, 1280, 528, 28);               // back to 4K: loaded, nothing asked
    e2e::ClickDesign(main_, 1280, 2 + 16 + 88 + 44, 90);  // the 4K strip's second tab, 4K风景
    EXPECT_TRUE(Answered(L"&获取", ++lists));
    for (int x : {508, 572, 668}) {  // 首页, 上一页, 下一页
        e2e::ClickDesign(main_, 1280, x, 820);
        EXPECT_TRUE(Answered(L"&获取", ++lists)) << x;
    }

    // An item opens its detail; "收藏" is announced, "下载" orders the picture. The page's items
    // come with the last reply: the click is repeated until there is one under it.
    HWND detail = nullptr;
    for (int tries = 0; !detail && tries < 15; ++tries) {
        e2e::ClickDesign(main_, 1280, 169, 150);
        detail = e2e::WaitForWindowOf(program_, L"渺岚壁纸_详细描述", 2000);
    }
    ASSERT_NE(detail, nullptr);
    EXPECT_TRUE(Answered(L"&详细", 1));
    e2e::ClickDesign(detail, 879, 700, 632);
    EXPECT_EQ(AnswerMessageBox(program_), L"此功能作者正在开发中");
    e2e::ClickDesign(detail, 879, 820, 632);
    EXPECT_TRUE(Answered(L"&下载", 1));
    HWND download = e2e::WaitForWindow(L"渺岚壁纸_壁纸下载", kWait, false);
    ASSERT_NE(download, nullptr);

    // The download window's buttons (clicked as the mouse would, shown or not: a small picture
    // is done before a person could reach them).
    e2e::ClickDesign(download, 367, 312, 140);  // 节点赞助
    EXPECT_NE(AnswerMessageBox(program_).find(L"节点赞助"), std::wstring::npos);
    e2e::ClickDesign(download, 367, 224, 140);  // 更换节点: the node's own list
    EXPECT_TRUE(Answered(L"&2", 1));
    HWND node = e2e::WaitForWindowOf(program_, L"渺岚壁纸_节点更换", kWait);
    ASSERT_NE(node, nullptr);
    for (int waited = 0; NodeRows(node) < 1 && waited <= kWait; waited += 100) Sleep(100);
    ASSERT_GE(NodeRows(node), 1) << "the node window lists no node";
    e2e::Shoot(L"node-window");
    // A row chosen and "确定更换节点": the node is switched and Config.ini names it.
    e2e::ClickDesign(node, 491, 120, 76);
    e2e::ClickDesign(node, 491, 248, 236);
    EXPECT_NE(AnswerMessageBox(program_).find(L"节点已切换成功"), std::wstring::npos);
    EXPECT_FALSE(Config(L"节点", L"节点设置").empty());
    PostMessageW(node, WM_CLOSE, 0, 0);
    EXPECT_TRUE(e2e::WaitUntilGone(L"渺岚壁纸_节点更换", kWait));

    // Settings window.
    e2e::ClickDesign(main_, 1280, 1194, 28);
    HWND settings = e2e::WaitForWindowOf(program_, L"渺岚壁纸_设置", kWait);
    ASSERT_NE(settings, nullptr);
    e2e::ClickDesign(settings, 429, 188, 69);  // 开机自启动: on, then off again
    for (int waited = 0; RunValue(HKEY_LOCAL_MACHINE) + RunValue(HKEY_CURRENT_USER) == L"" && waited <= kWait;
         waited += 100)
        Sleep(100);
    EXPECT_NE((RunValue(HKEY_LOCAL_MACHINE) + RunValue(HKEY_CURRENT_USER)).find(L"MiaolanWallpaper.exe"),
              std::wstring::npos);
    e2e::ClickDesign(settings, 429, 188, 69);
    for (int waited = 0; RunValue(HKEY_LOCAL_MACHINE) + RunValue(HKEY_CURRENT_USER) != L"" && waited <= kWait;
         waited += 100)
        Sleep(100);
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE) + RunValue(HKEY_CURRENT_USER), L"");
    e2e::ClickDesign(settings, 429, 352, 130);  // 修改节点: the node window, listed again
    EXPECT_TRUE(Answered(L"&2", 2));
    node = e2e::WaitForWindowOf(program_, L"渺岚壁纸_节点更换", kWait);
    ASSERT_NE(node, nullptr);
    for (int waited = 0; NodeRows(node) < 1 && waited <= kWait; waited += 100) Sleep(100);
    EXPECT_GE(NodeRows(node), 1);
    PostMessageW(node, WM_CLOSE, 0, 0);
    EXPECT_TRUE(e2e::WaitUntilGone(L"渺岚壁纸_节点更换", kWait));
    e2e::ClickDesign(settings, 429, 200, 268);  // 修改目录: the folder browser, cancelled
    HWND browser = WaitForDialog(program_, nullptr, kWait);
    ASSERT_NE(browser, nullptr) << "no folder browser";
    Dismiss(browser, IDCANCEL);
    EXPECT_EQ(Config(L"常规设置", L"路径"), e2e::WorkFolder() + L"\\storage");
    e2e::ClickDesign(settings, 429, 352, 268);  // 打开文件位置: the file manager on the folder
    HWND files = nullptr;
    for (int waited = 0; !files && waited <= kWait; waited += 250) {
        EnumWindows(
            [](HWND w, LPARAM lp) -> BOOL {
                wchar_t title[256] = {};
                GetWindowTextW(w, title, 256);
                if (IsWindowVisible(w) && wcsstr(title, L"storage")) {
                    *reinterpret_cast<HWND*>(lp) = w;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&files));
        if (!files) Sleep(250);
    }
    e2e::Shoot(L"storage-folder");
    EXPECT_NE(files, nullptr) << "no window shows the storage folder";
    if (files) PostMessageW(files, WM_CLOSE, 0, 0);

    // The rotation window: its type and period go to Config.ini as they change.
    e2e::ClickDesign(settings, 429, 212, 181);
    HWND rotation = e2e::WaitForWindowOf(program_, L"渺岚壁纸_自动更换", kWait);
    ASSERT_NE(rotation, nullptr);
    HWND combo = FindWindowExW(rotation, nullptr, L"ComboBox", nullptr);
    HWND period = FindWindowExW(rotation, nullptr, L"Edit", nullptr);
    ASSERT_NE(combo, nullptr);
    ASSERT_NE(period, nullptr);
    SendMessageW(combo, CB_SETCURSEL, 1, 0);
    SendMessageW(rotation, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    SetWindowTextW(period, L"30");
    for (int waited = 0; Config(L"自动更换", L"周期") != L"30" && waited <= kWait; waited += 100) Sleep(100);
    EXPECT_EQ(Config(L"自动更换", L"类型"), L"1");
    EXPECT_EQ(Config(L"自动更换", L"周期"), L"30");
    e2e::ClickDesign(rotation, 429, 412, 20);
    EXPECT_TRUE(e2e::WaitUntilGone(L"渺岚壁纸_自动更换", kWait));

    // The display window: the fit and the three switches go to Config.ini as they change.
    e2e::ClickDesign(settings, 429, 352, 181);
    HWND display = e2e::WaitForWindowOf(program_, L"渺岚壁纸_显示设置", kWait);
    ASSERT_NE(display, nullptr);
    HWND fit = FindWindowExW(display, nullptr, L"ComboBox", nullptr);
    ASSERT_NE(fit, nullptr);
    EXPECT_EQ(SendMessageW(fit, CB_GETCURSEL, 0, 0), 2);  // 拉伸: what the program always did
    SendMessageW(fit, CB_SETCURSEL, 1, 0);
    SendMessageW(display, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(fit), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(fit));
    for (int y : {140, 176, 212}) e2e::ClickDesign(display, 429, 60, y);
    for (int waited = 0; Config(L"显示设置", L"电池供电时暂停") != L"1" && waited <= kWait; waited += 100)
        Sleep(100);
    EXPECT_EQ(Config(L"显示设置", L"适应方式"), L"1");
    EXPECT_EQ(Config(L"显示设置", L"每个显示器不同壁纸"), L"1");
    EXPECT_EQ(Config(L"显示设置", L"全屏时暂停"), L"1");
    EXPECT_EQ(Config(L"显示设置", L"电池供电时暂停"), L"1");
    e2e::Shoot(L"display-window");
    e2e::ClickDesign(display, 429, 60, 140);  // a picture per monitor, off again
    for (int waited = 0; Config(L"显示设置", L"每个显示器不同壁纸") != L"0" && waited <= kWait; waited += 100)
        Sleep(100);
    EXPECT_EQ(Config(L"显示设置", L"每个显示器不同壁纸"), L"0");
    e2e::ClickDesign(display, 429, 412, 20);
    EXPECT_TRUE(e2e::WaitUntilGone(L"渺岚壁纸_显示设置", kWait));
    e2e::ClickDesign(settings, 429, 412, 20);
    EXPECT_TRUE(e2e::WaitUntilGone(L"渺岚壁纸_设置", kWait));

    // The header's buttons and the tray menu.
    e2e::ClickDesign(main_, 1280, 1228, 28);  // minimise
    for (int waited = 0; !IsIconic(main_) && waited <= kWait; waited += 100) Sleep(100);
    EXPECT_TRUE(IsIconic(main_));
    ASSERT_TRUE(e2e::ChooseTrayMenu(main_, e2e::kTrayOpen, kWait));  // 打开
    for (int waited = 0; IsIconic(main_) && waited <= kWait; waited += 100) Sleep(100);
    EXPECT_FALSE(IsIconic(main_));
    HideMain();
    ASSERT_TRUE(e2e::ChooseTrayMenu(main_, e2e::kTraySettings, kWait));  // 设置
    settings = e2e::WaitForWindowOf(program_, L"渺岚壁纸_设置", kWait);
    ASSERT_NE(settings, nullptr);
    e2e::ClickDesign(settings, 429, 412, 20);
    EXPECT_TRUE(e2e::WaitUntilGone(L"渺岚壁纸_设置", kWait));
    ASSERT_TRUE(e2e::ChooseTrayMenu(main_, e2e::kTrayExit, kWait));  // 退出, then 取消
    HWND exitWindow = e2e::WaitForWindowOf(program_, L"渺岚壁纸_退出", kWait);
    ASSERT_NE(exitWindow, nullptr);
    e2e::ClickDesign(exitWindow, 288, 92, 124);
    EXPECT_TRUE(e2e::WaitUntilGone(L"渺岚壁纸_退出", kWait));
    EXPECT_EQ(WaitForSingleObject(program_, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ExitFromTray();
}

}  // namespace
