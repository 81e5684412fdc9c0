// The native call table under Wine: real DLLs, real exports, a real fatal box.
#include "sys/native_calls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sys/text.h"

namespace {

std::string WinPath(std::string unixPath) {
    for (char& c : unixPath)
        if (c == '/') c = '\\';
    return "Z:" + unixPath;
}

std::string MakeTempFolder(const char* tag) {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::string folder = std::string(base) + "miaolan-" + tag + "-" + std::to_string(GetCurrentProcessId()) +
                         "-" + std::to_string(GetTickCount());
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

struct Child {
    DWORD exitCode = 0;
    std::vector<std::string> boxTexts;  // static texts of a message box the child showed
};

struct BoxSearch {
    DWORD pid;
    HWND box = nullptr;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (pid == search->pid && std::string(cls) == "#32770" && IsWindowVisible(hwnd)) {
        search->box = hwnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectText(HWND hwnd, LPARAM param) {
    char text[1024] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    if (text[0]) reinterpret_cast<std::vector<std::string>*>(param)->push_back(text);
    return TRUE;
}

// Runs the probe from `folder` with PATH extended by `extraPath`; a message box it shows is
// read and dismissed, so no test waits for a person.
Child RunProbe(const std::string& exe, const std::string& arg, const std::string& extraPath) {
    Child child;
    std::string oldPath(32767, '\0');
    oldPath.resize(GetEnvironmentVariableA("PATH", oldPath.data(), static_cast<DWORD>(oldPath.size())));
    if (!extraPath.empty()) SetEnvironmentVariableA("PATH", (extraPath + ";" + oldPath).c_str());
    std::string command = "\"" + exe + "\" " + arg;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    BOOL ok =
        CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableA("PATH", oldPath.c_str());
    EXPECT_TRUE(ok) << exe;
    if (!ok) return child;
    for (int i = 0; i < 300; ++i) {  // 30 s at most
        if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) break;
        BoxSearch search{pi.dwProcessId};
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.box) {
            EnumChildWindows(search.box, CollectText, reinterpret_cast<LPARAM>(&child.boxTexts));
            char title[256] = {};
            GetWindowTextA(search.box, title, sizeof title);
            child.boxTexts.insert(child.boxTexts.begin(), title);
            PostMessageA(search.box, WM_COMMAND, IDOK, 0);
        }
    }
    if (WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
    WaitForSingleObject(pi.hProcess, 5000);
    GetExitCodeProcess(pi.hProcess, &child.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return child;
}

std::string Joined(const std::vector<std::string>& texts) { return sys::Join(texts, "|"); }

class NativeProbe : public ::testing::Test {
  protected:
    void SetUp() override {
        // The fatal box is a real window: without an X server Wine cannot show it.
        ASSERT_GT(GetEnvironmentVariableA("DISPLAY", nullptr, 0), 0u)
            << "needs an X display (scripts/xvfb-env.sh)";
        folder_ = MakeTempFolder("probe");
        exe_ = folder_ + "\\native_probe.exe";
        ASSERT_TRUE(CopyFileA(WinPath(PROBE_EXE).c_str(), exe_.c_str(), FALSE));
        pathFolder_ = MakeTempFolder("path");
        ASSERT_TRUE(
            CopyFileA(WinPath(PROBE_DLL_PATH).c_str(), (pathFolder_ + "\\HPSocket4C.dll").c_str(), FALSE));
    }
    void PutLocalDll() {
        ASSERT_TRUE(
            CopyFileA(WinPath(PROBE_DLL_LOCAL).c_str(), (folder_ + "\\HPSocket4C.dll").c_str(), FALSE));
    }
    std::string folder_, exe_, pathFolder_;
};

}  // namespace

TEST(NativeCallTable, EverySystemRowBindsToARealExport) {
    for (int i = 0; i <= 40; ++i) {
        SCOPED_TRACE(sys::g_nativeCallTable[i].function);
        EXPECT_NE(sys::BindNativeRow(i), nullptr);
        EXPECT_NE(sys::g_nativeCallTable[i].module.load(), nullptr);
    }
    EXPECT_STREQ(sys::g_nativeCallTable[5].library, "Wininet.dll");
    EXPECT_STREQ(sys::g_nativeCallTable[75].function, "Create_HP_TcpPackClientListener");
    EXPECT_STREQ(sys::g_nativeCallTable[91].function, "HP_TcpPackClient_GetPackHeaderFlag");
}

TEST(NativeCallTable, ARowIsLookedUpOnceAndNotBeforeItsFirstCall) {
    auto& row = sys::g_nativeCallTable[static_cast<int>(sys::Row::GetTempPathA)];
    EXPECT_EQ(row.address.load(), nullptr);
    char buffer[MAX_PATH];
    EXPECT_GT(sys::Native<sys::Row::GetTempPathA>()(MAX_PATH, buffer), 0u);
    EXPECT_GT(sys::Native<sys::Row::GetTempPathA>()(MAX_PATH, buffer), 0u);
    EXPECT_EQ(row.lookups.load(), 1);
    // Rows of a library nobody called stay unbound.
    EXPECT_EQ(sys::g_nativeCallTable[static_cast<int>(sys::Row::HP_Client_Send)].address.load(), nullptr);
}

TEST_F(NativeProbe, ProgramFolderWinsOverTheSearchPath) {
    EXPECT_EQ(RunProbe(exe_, "desc", pathFolder_).exitCode, 2u);  // only the search path has one
    PutLocalDll();
    EXPECT_EQ(RunProbe(exe_, "desc", pathFolder_).exitCode, 1u);
}

TEST_F(NativeProbe, MissingExportShowsFatalBoxNamingLibraryAndFunctionThenExitsMinusOne) {
    PutLocalDll();
    Child child = RunProbe(exe_, "create", "");
    EXPECT_EQ(child.exitCode, 0xFFFFFFFFu);
    std::string all = Joined(child.boxTexts);
    EXPECT_NE(all.find("运行时出错!"), std::string::npos) << sys::GbkToUtf8(all);
    EXPECT_NE(all.find("无法找到指定DLL库文件“HPSocket4C.dll”中的输出命令“Create_HP_TcpPackClientListener”"),
              std::string::npos)
        << sys::GbkToUtf8(all);
}

TEST_F(NativeProbe, MissingLibraryIsFatalTooAtTheFirstCall) {
    Child child = RunProbe(exe_, "create", "");  // no HPSocket4C.dll anywhere
    EXPECT_EQ(child.exitCode, 0xFFFFFFFFu);
    EXPECT_NE(Joined(child.boxTexts).find("Create_HP_TcpPackClientListener"), std::string::npos);
}
