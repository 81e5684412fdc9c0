// The installer under Wine, silent: where it puts the program for one user and for all users,
// that the installed program starts, that installing over or uninstalling a running copy ends
// it first, and that the uninstaller keeps the user's settings and pictures unless told
// otherwise, and even then takes only the program's own pictures.
// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on
#include <gtest/gtest.h>
#include <shlobj.h>

#include <atomic>
#include <iterator>
#include <string>
#include <thread>

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

void Touch(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE) << path.size();
    DWORD written = 0;
    ::WriteFile(f, "x", 1, &written, nullptr);
    CloseHandle(f);
}

// Whether the folder's own access list lets BUILTIN\Users modify it and what is made in it.
bool UsersMayModify(const std::wstring& folder) {
    PSID users = nullptr;
    if (!ConvertStringSidToSidW(L"S-1-5-32-545", &users)) return false;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    bool granted = false;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &dacl, nullptr, &sd) == ERROR_SUCCESS) {
        ACL_SIZE_INFORMATION info{};
        if (!dacl)
            granted = true;
        else if (GetAclInformation(dacl, &info, sizeof info, AclSizeInformation))
            for (DWORD i = 0; i < info.AceCount && !granted; ++i) {
                ACCESS_ALLOWED_ACE* ace = nullptr;
                if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))) continue;
                const DWORD modify = 0x1301BF;
                granted = ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && (ace->Header.AceFlags & 3) == 3 &&
                          (ace->Mask & modify) == modify && EqualSid(&ace->SidStart, users);
            }
        LocalFree(sd);
    }
    LocalFree(users);
    return granted;
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

// Windows of the program's class that come and go all the time, as another program drawn by
// the same engine makes them: a search from window to window loses its place among them.
class WindowChurn {
  public:
    WindowChurn() {
        for (std::thread& t : threads_) t = std::thread([this] { Run(); });
    }
    ~WindowChurn() {
        stop_ = true;
        for (std::thread& t : threads_) t.join();
    }

  private:
    void Run() {
        WNDCLASSW type{};
        type.lpfnWndProc = DefWindowProcW;
        type.hInstance = GetModuleHandleW(nullptr);
        type.lpszClassName = ui::kSkinWindowClass;
        RegisterClassW(&type);  // the second thread finds it registered
        // There is always one, and it is never the same for long.
        HWND last = nullptr;
        while (!stop_) {
            HWND w = CreateWindowExW(0, ui::kSkinWindowClass, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                     type.hInstance, nullptr);
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
            if (last) DestroyWindow(last);
            last = w;
        }
        if (last) DestroyWindow(last);
    }
    std::atomic<bool> stop_{false};
    std::thread threads_[3];
};

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

    // Starts the installed program with its storage folder in the test's temporary folder and
    // leaves it running; its main window showing means start-up ran, the packet library
    // included.
    void StartInstalledProgram(const std::wstring& folder) {
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

        program_ = e2e::Start(L"\"" + folder + L"\\MiaolanWallpaper.exe\"");
        ASSERT_NE(program_, nullptr);
        ASSERT_NE(e2e::WaitForWindowOf(program_, L"渺岚壁纸", kWait), nullptr);
        EXPECT_TRUE(Exists(storage_ + L"\\图片"));
    }
    // The running program has ended as its "退出" ends it (exit code 0), not killed.
    void ExpectProgramEndedByItself(int waitMs = kWait) {
        ASSERT_NE(program_, nullptr);
        ASSERT_EQ(WaitForSingleObject(program_, waitMs), WAIT_OBJECT_0);
        DWORD code = 99;
        GetExitCodeProcess(program_, &code);
        EXPECT_EQ(code, 0u);
        CloseHandle(program_);
        program_ = nullptr;
    }
    void TearDown() override {
        if (!program_) return;
        e2e::EndProcess(program_);
        CloseHandle(program_);
    }

    std::wstring setup_;
    HANDLE program_ = nullptr;
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
    StartInstalledProgram(folder);

    // The program's start-with-Windows value goes with it; another program's stays.
    RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, L"渺岚壁纸", REG_SZ,
                    (folder + L"\\MiaolanWallpaper.exe").c_str(),
                    static_cast<DWORD>((folder.size() + 22) * sizeof(wchar_t)));
    RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, L"miaolan-other", REG_SZ, L"C:\\other.exe", 26);

    // Uninstalled while it runs: it is told to end, and then nothing of it stays behind.
    ASSERT_EQ(Uninstall(folder, L""), 0);
    ASSERT_TRUE(WaitUntilRemoved(folder + L"\\uninstall.exe"));
    ExpectProgramEndedByItself();
    EXPECT_FALSE(Exists(folder + L"\\MiaolanWallpaper.exe"));
    EXPECT_FALSE(Exists(folder + L"\\HPSocket4C.dll"));
    EXPECT_FALSE(Exists(shortcut));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kRunKey, L"渺岚壁纸"), L"");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kRunKey, L"miaolan-other"), L"C:\\other.exe");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"miaolan-other");
    EXPECT_TRUE(Exists(folder + L"\\data\\Config.ini"));
    EXPECT_TRUE(Exists(storage_ + L"\\图片"));

    // Installing again keeps the settings; removing with the user's data takes them along,
    // and of the storage folder only the program's pictures and the folders they leave empty.
    ASSERT_EQ(Install(L"/CurrentUser"), 0);
    EXPECT_TRUE(Exists(folder + L"\\data\\Config.ini"));
    const std::wstring pictures = storage_ + L"\\图片", wallpapers = storage_ + L"\\壁纸";
    const std::wstring bitmaps = KnownFolder(FOLDERID_LocalAppData) + L"\\" + kFolderName;
    ASSERT_TRUE(CreateDirectoryW((pictures + L"\\相册").c_str(), nullptr));
    CreateDirectoryW(bitmaps.c_str(), nullptr);
    // The history of applied pictures goes with them: without it, its folder would be left.
    CreateDirectoryW(wallpapers.c_str(), nullptr);
    ASSERT_TRUE(CreateDirectoryW((wallpapers + L"\\历史").c_str(), nullptr));
    for (const std::wstring& file : {wallpapers + L"\\历史\\0.jpg", wallpapers + L"\\历史\\历史.txt"})
        Touch(file);
    for (const std::wstring& file :
         {pictures + L"\\a.jpg", pictures + L"\\b.PNG", pictures + L"\\c.webp", pictures + L"\\mine.txt",
          pictures + L"\\相册\\holiday.jpg", wallpapers + L"\\壁纸.jpg", wallpapers + L"\\壁纸1.jpg",
          storage_ + L"\\notes.txt", bitmaps + L"\\桌面背景图片.bmp"})
        Touch(file);
    ASSERT_EQ(Uninstall(folder, L"/RemoveUserData"), 0);
    ASSERT_TRUE(WaitUntilRemoved(folder));
    for (const wchar_t* gone : {L"\\a.jpg", L"\\b.PNG", L"\\c.webp"}) EXPECT_FALSE(Exists(pictures + gone));
    EXPECT_TRUE(Exists(pictures + L"\\mine.txt"));
    EXPECT_TRUE(Exists(pictures + L"\\相册\\holiday.jpg"));
    EXPECT_TRUE(Exists(storage_ + L"\\notes.txt"));
    EXPECT_FALSE(Exists(wallpapers));
    EXPECT_FALSE(Exists(bitmaps));
    DeleteFileW((pictures + L"\\mine.txt").c_str());
    DeleteFileW((pictures + L"\\相册\\holiday.jpg").c_str());
    DeleteFileW((storage_ + L"\\notes.txt").c_str());
    for (const std::wstring& folder : {pictures + L"\\相册", pictures, storage_})
        RemoveDirectoryW(folder.c_str());
}

TEST_F(Installer, ForAllUsersWithAdminUnderProgramFiles) {
    // Wine's user has administrator rights, so all users is the default there.
    const std::wstring folder = KnownFolder(FOLDERID_ProgramFiles) + L"\\" + kFolderName;
    const std::wstring shortcut = KnownFolder(FOLDERID_CommonPrograms) + L"\\" + kFolderName + L".lnk";
    const long installed = Install(L"");
    EXPECT_EQ(installed, UsersMayModify(folder + L"\\data") ? 0 : 3);
    EXPECT_TRUE(Exists(folder + L"\\MiaolanWallpaper.exe"));
    EXPECT_TRUE(Exists(folder + L"\\HPSocket4C.dll"));
    EXPECT_TRUE(Exists(folder + L"\\data"));
    EXPECT_TRUE(Exists(shortcut));
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation"), folder);

    // Installed again over a running copy, while another program's windows of its class come
    // and go: the copy is told to end before its files are replaced.
    StartInstalledProgram(folder);
    long again;
    {
        WindowChurn churn;
        again = Install(L"");
    }
    // The installer waits for the copy before it goes on.
    ExpectProgramEndedByItself(2000);
    // Every user shares data\Config.ini: the installer says so when their write access cannot
    // be seen on the folder (Wine keeps no access lists, so it cannot be here).
    EXPECT_EQ(again, UsersMayModify(folder + L"\\data") ? 0 : 3);
    EXPECT_TRUE(Exists(folder + L"\\MiaolanWallpaper.exe"));

    ASSERT_EQ(Uninstall(folder, L"/RemoveUserData"), 0);
    ASSERT_TRUE(WaitUntilRemoved(folder));
    EXPECT_FALSE(Exists(shortcut));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

// The installer's reading of an access list, on lists Wine cannot keep on a folder: modify
// for Users on the folder and what is made in it, in the order Windows reads the entries.
TEST(InstallerAccessCheck, SeesUsersModifyRightsOnlyWhereTheListGrantsThem) {
    const struct {
        const wchar_t* sddl;
        bool granted;
    } cases[] = {
        {L"D:(A;OICI;0x1301bf;;;BU)", true},
        {L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)", true},
        {L"D:(A;OICI;FA;;;BU)", true},
        {L"D:(A;OICI;0x1200a9;;;BU)", false},                  // read and run only
        {L"D:(A;CI;0x1301bf;;;BU)", false},                    // not for the files made in it
        {L"D:(A;OICI;0x1301bf;;;WD)", false},                  // somebody else
        {L"D:(A;OICI;0x1301bf;;;S-1-5-32-546)", false},        // Guests
        {L"D:(D;OICI;FW;;;BU)(A;OICI;0x1301bf;;;BU)", false},  // denied first
        {L"D:", false},
        {L"nodescriptor", false},
    };
    std::wstring line = L"\"" + e2e::WinePath(MIAOLAN_ACL_PROBE) + L"\"";
    long expected = 0;
    for (size_t i = 0; i < std::size(cases); ++i) {
        line += L" " + std::wstring(cases[i].sddl);
        if (cases[i].granted) expected |= 1L << i;
    }
    EXPECT_EQ(e2e::RunToEnd(line, kWait), expected);
}

}  // namespace
