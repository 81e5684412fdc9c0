#include <windows.h>
#include <shlobj.h>

#include "app/settings.h"
#include "sys/native_calls.h"
#include "sys/paths.h"

namespace app {
namespace {

constexpr DWORD kValueBuffer = 10240;  // values come back cut to 10,239 bytes

void CreateFolderIfMissing(const std::string& path) {
    // One level only; a missing parent or a plain file in the way fails silently.
    if (!DirectoryExists(path)) CreateDirectoryA(path.c_str(), nullptr);
}

}  // namespace

std::string SettingsPath() { return sys::ProgramFolder() + "\\data\\Config.ini"; }

std::string ReadSettingAt(const std::string& iniPath, const std::string& section, const std::string& key,
                          const std::string& defaultText) {
    std::string path(SkipLeadingControlBytes(iniPath));
    std::string sec(SkipLeadingControlBytes(section));
    std::string k(SkipLeadingControlBytes(key));
    if (path.empty() || sec.empty() || k.empty()) return {};
    std::string value(kValueBuffer, '\0');
    DWORD n = GetPrivateProfileStringA(sec.c_str(), k.c_str(), defaultText.empty() ? nullptr : defaultText.c_str(),
                                       value.data(), kValueBuffer, path.c_str());
    value.resize(n);
    return value;
}

std::string ReadSetting(const std::string& section, const std::string& key, const std::string& defaultText) {
    return ReadSettingAt(SettingsPath(), section, key, defaultText);
}

bool WriteSettingAt(const std::string& iniPath, const std::string& section, const std::string& key,
                    const std::string& value) {
    // A null key would delete the whole section: an empty one writes nothing instead.
    if (iniPath.empty() || section.empty() || key.empty()) return false;
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), iniPath.c_str()) != FALSE;
}

bool WriteSetting(const std::string& section, const std::string& key, const std::string& value) {
    return WriteSettingAt(SettingsPath(), section, key, value);
}

bool DirectoryExists(const std::string& path) {
    return sys::Native<sys::Row::PathIsDirectoryA>()(path.c_str()) == FILE_ATTRIBUTE_DIRECTORY;
}

std::string DefaultStorageFolder() {
    char documents[MAX_PATH + 1] = {};
    sys::Native<sys::Row::SHGetSpecialFolderPathA>()(nullptr, documents, CSIDL_PERSONAL, FALSE);
    return StorageFolderUnder(documents);
}

void InitSettingsAndFoldersIn(const std::string& programFolder, const std::string& defaultStorage) {
    std::string storage =
        ReadSettingAt(programFolder + "\\data\\Config.ini", kSectionGeneral, kKeyPath, defaultStorage);
    SetStorageFolder(storage);
    CreateFolderIfMissing(storage);
    CreateFolderIfMissing(storage + "\\图片");
    CreateFolderIfMissing(storage + "\\壁纸");
    CreateFolderIfMissing(programFolder + "\\data");
}

void InitSettingsAndFolders() { InitSettingsAndFoldersIn(sys::ProgramFolder(), DefaultStorageFolder()); }

}  // namespace app
