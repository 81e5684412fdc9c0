// The settings on Windows: the Run keys, the folder dialog and the file manager.
// clang-format off
#include <windows.h>
#include <shlobj.h>
#include <shellapi.h>
// clang-format on

#include "sys/native_calls.h"
#include "sys/scoped_win.h"
#include "sys/trace_win.h"
#include "wallpaper/user_settings.h"

namespace wallpaper {
namespace {

using sys::Native;
using sys::Row;

constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

HKEY HiveOf(RunKey key) { return key == RunKey::kMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

class Win32SettingsSystem : public SettingsSystem {
  public:
    std::string ReadAutoStart(RunKey which) override {
        sys::ScopedKey key;
        if (Native<Row::RegOpenKeyExA>()(HiveOf(which), kRunKey, 0, KEY_QUERY_VALUE, key.put()) !=
            ERROR_SUCCESS)
            return {};
        char value[2048] = {};
        DWORD type = 0, size = sizeof value - 1;
        if (RegQueryValueExA(key.get(), kAutoStartName, nullptr, &type, reinterpret_cast<BYTE*>(value),
                             &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return {};
        return std::string(value);
    }

    bool WriteAutoStart(RunKey which, const std::string& command) override {
        sys::ScopedKey key;
        LONG rc = Native<Row::RegOpenKeyExA>()(HiveOf(which), kRunKey, 0, KEY_SET_VALUE, key.put());
        if (rc != ERROR_SUCCESS) rc = RegCreateKeyA(HiveOf(which), kRunKey, key.put());
        if (rc != ERROR_SUCCESS) {
            sys::TraceError("RegCreateKeyA", static_cast<unsigned long>(rc));
            return false;
        }
        rc = Native<Row::RegSetValueExA>()(key.get(), kAutoStartName, 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>(command.c_str()),
                                           static_cast<DWORD>(command.size() + 1));
        if (rc != ERROR_SUCCESS) sys::TraceError("RegSetValueExA", static_cast<unsigned long>(rc));
        return rc == ERROR_SUCCESS;
    }

    bool RemoveAutoStart(RunKey which) override {
        sys::ScopedKey key;
        LONG rc = Native<Row::RegOpenKeyExA>()(HiveOf(which), kRunKey, 0, KEY_SET_VALUE, key.put());
        if (rc == ERROR_FILE_NOT_FOUND) return true;
        if (rc == ERROR_SUCCESS) rc = RegDeleteValueA(key.get(), kAutoStartName);
        if (rc == ERROR_FILE_NOT_FOUND) return true;
        if (rc != ERROR_SUCCESS) sys::TraceError("RegDeleteValueA", static_cast<unsigned long>(rc));
        return rc == ERROR_SUCCESS;
    }

    std::string ProgramFile() override {
        std::string path(MAX_PATH, '\0');
        for (;;) {
            DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
            if (n == 0) return {};
            if (n < path.size()) {
                path.resize(n);
                return path;
            }
            path.resize(path.size() * 2);
        }
    }

    std::string BrowseForFolder(const std::string& title) override {
        BROWSEINFOA info = {};
        // The settings window, whose button opened the dialog.
        info.hwndOwner = GetActiveWindow();
        info.lpszTitle = title.c_str();
        info.ulFlags = BIF_EDITBOX;
        PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&info);
        if (!chosen) return {};
        char path[MAX_PATH + 1] = {};
        BOOL ok = SHGetPathFromIDListA(chosen, path);
        CoTaskMemFree(chosen);
        return ok ? std::string(path) : std::string();
    }

    void ExploreFolder(const std::string& folder) override {
        ShellExecuteA(nullptr, "explore", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
};

}  // namespace

SettingsSystem& PlatformSettingsSystem() {
    static Win32SettingsSystem system;
    return system;
}

}  // namespace wallpaper
