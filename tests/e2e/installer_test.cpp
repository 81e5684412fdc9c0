// The installer under Wine, silent: where it puts the program for one user and for all users,
// that the installed program starts, and that the uninstaller removes the program and keeps
// the user's settings and pictures unless told otherwise.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

#include "app_driver.h"

namespace {

constexpr int kWait = 60000;
const std::wstring kFolderName = L"渺岚壁纸";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MiaolanWallpaper";
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring out;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) out = path;
    CoTaskMemFree(path);
    return out;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring RegText(HKEY root, const wchar_t* key, const wchar_t* value) {
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    if (RegGetValueW(root, key, value, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) return L"";
    return data;
}

bool KeyExists(HKEY root, const wchar_t* key) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

// The uninstaller runs on from a copy of itself, so it is done when its own file is gone.
bool WaitUntilRemoved(const std::wstring& path) {
    for (int waited = 0; waited <= kWait; waited += 100) {
        if (!Exists(path)) return true;
        Sleep(100);
    }
    return false;
}

class Installer : public ::testing::Test {
  protected:
    void SetUp() override {
        setup_ = e2e::WinePath(MIAOLAN_INSTALLER);
        ASSERT_TRUE(Exists(setup_));
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        storage_ = std::wstring(temp) + L"miaolan-install-storage-" + std::to_wstring(GetCurrentProcessId());
    }
    long Install(const std::wstring& options) {
        return e2e::RunToEnd(L"\"" + setup_ + L"\" /S " + options, kWait);
    }
    long Uninstall(const std::wstring& folder, const std::wstring& options) {
        return e2e::RunToEnd(L"\"" + folder + L"\\uninstall.exe\" /S " + options, kWait);
    }

    // Starts the installed program with its storage folder in the test's temporary folder;
    // its main window showing means start-up ran, the packet library included.
    void RunInstalledProgram(const std::wstring& folder) {
        // Config.ini holds the code page's bytes, as the program reads them.
        char storage[MAX_PATH];
        WideCharToMultiByte(CP_ACP, 0, storage_.c_str(), -1, storage, MAX_PATH, nullptr, nullptr);
        char section[32], key[16];
        WideCharToMultiByte(CP_ACP, 0, L"常规设置", -1, section, sizeof section, nullptr, nullptr);
        WideCharToMultiByte(CP_ACP, 0, L"路径", -1, key, sizeof key, nullptr, nullptr);
        std::wstring iniPath = folder + L"\\data\\Config.ini";
        char iniA[MAX_PATH];
        WideCharToMultiByte(CP_ACP, 0, iniPath.c_str(), -1, iniA, MAX_PATH, nullptr, nullptr);
        ASSERT_TRUE(WritePrivateProfileStringA(section, key, storage, iniA));
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, iniA);

        HANDLE program = e2e::Start(L"\"" + folder + L"\\MiaolanWallpaper.exe\"");
        ASSERT_NE(program, nullptr);
        HWND main = e2e::WaitForWindowOf(program, L"渺岚壁纸", kWait);
        EXPECT_NE(main, nullptr);
        EXPECT_TRUE(Exists(storage_ + L"\\图片"));
        e2e::EndProcess(program);
        CloseHandle(program);
    }

    std::wstring setup_;
    std::wstring storage_;
};

TEST_F(Installer, ForOneUserWithoutAdminThenUninstallKeepsTheUsersDataUnlessAsked) {
    const std::wstring folder = KnownFolder(FOLDERID_LocalAppData) + L"\\Programs\\" + kFolderName;
    const std::wstring shortcut = KnownFolder(FOLDERID_Programs) + L"\\" + kFolderName + L".lnk";
    ASSERT_EQ(Install(L"/CurrentUser"), 0);
    EXPECT_TRUE(Exists(folder + L"\\MiaolanWallpaper.exe"));
    EXPECT_TRUE(Exists(folder + L"\\HPSocket4C.dll"));
    EXPECT_TRUE(Exists(folder + L"\\uninstall.exe"));
    EXPECT_TRUE(Exists(shortcut));
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kUninstallKey, L"InstallLocation"), folder);
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kUninstallKey, L"DisplayName"), kFolderName);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    RunInstalledProgram(folder);

    // The program's start-with-Windows value goes with it; another program's stays.
    RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, L"渺岚壁纸", REG_SZ,
                    (folder + L"\\MiaolanWallpaper.exe").c_str(),
                    static_cast<DWORD>((folder.size() + 22) * sizeof(wchar_t)));
    RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, L"miaolan-other", REG_SZ, L"C:\\other.exe", 26);

    ASSERT_EQ(Uninstall(folder, L""), 0);
    ASSERT_TRUE(WaitUntilRemoved(folder + L"\\uninstall.exe"));
    EXPECT_FALSE(Exists(folder + L"\\MiaolanWallpaper.exe"));
    EXPECT_FALSE(Exists(folder + L"\\HPSocket4C.dll"));
    EXPECT_FALSE(Exists(shortcut));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kRunKey, L"渺岚壁纸"), L"");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kRunKey, L"miaolan-other"), L"C:\\other.exe");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"miaolan-other");
    EXPECT_TRUE(Exists(folder + L"\\data\\Config.ini"));
    EXPECT_TRUE(Exists(storage_ + L"\\图片"));

    // Installing again keeps the settings; removing with the user's data takes them along.
    ASSERT_EQ(Install(L"/CurrentUser"), 0);
    EXPECT_TRUE(Exists(folder + L"\\data\\Config.ini"));
    ASSERT_EQ(Uninstall(folder, L"/RemoveUserData"), 0);
    ASSERT_TRUE(WaitUntilRemoved(folder));
    EXPECT_FALSE(Exists(storage_ + L"\\图片"));
    EXPECT_FALSE(Exists(storage_ + L"\\壁纸"));
    EXPECT_FALSE(Exists(storage_));
}

TEST_F(Installer, ForAllUsersWithAdminUnderProgramFiles) {
    // Wine's user has administrator rights, so all users is the default there.
    const std::wstring folder = KnownFolder(FOLDERID_ProgramFiles) + L"\\" + kFolderName;
    const std::wstring shortcut = KnownFolder(FOLDERID_CommonPrograms) + L"\\" + kFolderName + L".lnk";
    ASSERT_EQ(Install(L""), 0);
    EXPECT_TRUE(Exists(folder + L"\\MiaolanWallpaper.exe"));
    EXPECT_TRUE(Exists(folder + L"\\HPSocket4C.dll"));
    EXPECT_TRUE(Exists(folder + L"\\data"));
    EXPECT_TRUE(Exists(shortcut));
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation"), folder);
    RunInstalledProgram(folder);

    ASSERT_EQ(Uninstall(folder, L"/RemoveUserData"), 0);
    ASSERT_TRUE(WaitUntilRemoved(folder));
    EXPECT_FALSE(Exists(shortcut));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

}  // namespace
