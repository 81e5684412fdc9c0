// Config.ini and the storage folders.
//
// Config.ini lives at program folder + "\data\Config.ini" and is read and written one key per
// call, never cached. The file operations go through a SettingsStore: the private-profile
// functions on Windows, a test's own store elsewhere, so the logic that reads settings is
// tested natively. The *In / *At forms take the folders explicitly; the plain forms use the
// program folder.
#pragma once

#include <string>
#include <string_view>

namespace core {

// What settings access needs of the system. Every call is safe from any thread.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    // One value, or `defaultText` when the file, section or key is missing; cut to 10,239
    // bytes. The arguments are already cleaned and not empty.
    virtual std::string Read(const std::string& iniPath, const std::string& section, const std::string& key,
                             const std::string& defaultText) = 0;
    virtual bool Write(const std::string& iniPath, const std::string& section, const std::string& key,
                       const std::string& value) = 0;
    virtual bool DirectoryExists(const std::string& path) = 0;
    // One level; a missing parent or a plain file in the way fails silently.
    virtual void CreateFolder(const std::string& path) = 0;
    virtual std::string ProgramFolder() = 0;
    virtual std::string DocumentsFolder() = 0;
};

// The store in use: the system's on Windows; natively none until a test installs one (reads
// then give their defaults and writes fail). Not owned; null restores the default.
void UseSettingsStore(SettingsStore* store);
SettingsStore& Store();

// Program folder + "\data\Config.ini", rebuilt at each call.
std::string SettingsPath();

// One value of Config.ini; `defaultText` when the file, section or key is missing. Leading
// bytes <= 32 of the path, section and key are skipped; an empty one gives the empty text.
// Values are cut to 10,239 bytes. A key present with an empty value reads as empty.
std::string ReadSetting(const std::string& section, const std::string& key, const std::string& defaultText);
std::string ReadSettingAt(const std::string& iniPath, const std::string& section, const std::string& key,
                          const std::string& defaultText);

// Writes one value (creating section and file); the result is ignored by every caller. An
// empty section or key writes nothing: a null key would delete the whole section.
bool WriteSetting(const std::string& section, const std::string& key, const std::string& value);
bool WriteSettingAt(const std::string& iniPath, const std::string& section, const std::string& key,
                    const std::string& value);

// True exactly when the path names an existing folder.
bool DirectoryExists(const std::string& path);

// The documents folder, a "\" when it does not end in one, then "\Zerav": the doubled
// backslash is kept, as stored settings and folders already carry it.
std::string DefaultStorageFolder();
std::string StorageFolderUnder(std::string_view documentsFolder);

// Re-reads "路径" into the storage folder, creates the missing folders (one level each):
// storage folder, its "\图片" and "\壁纸", and program folder + "\data". Nothing is written to
// Config.ini.
void InitSettingsAndFolders();
void InitSettingsAndFoldersIn(const std::string& programFolder, const std::string& defaultStorage);

// The storage folder as the last InitSettingsAndFolders (or the settings window) read it.
// Safe from any thread.
std::string StorageFolder();
void SetStorageFolder(const std::string& folder);

// The node the client connects to: fixed at build time, port 1629.
std::string NodeHost();
constexpr int kNodePort = 1629;

// Sections and keys of Config.ini.
inline constexpr const char* kSectionGeneral = "常规设置";
inline constexpr const char* kKeyPath = "路径";
inline constexpr const char* kSectionNode = "节点";
inline constexpr const char* kKeyNodeName = "节点名称";
inline constexpr const char* kKeyNodeSponsor = "节点商";
inline constexpr const char* kKeyNodeId = "节点设置";
inline constexpr const char* kSectionRotation = "自动更换";
inline constexpr const char* kKeyRotationType = "类型";
inline constexpr const char* kKeyRotationPeriod = "周期";
// The display choices of "显示设置"; a file without the section reads as the defaults.
inline constexpr const char* kSectionDisplay = "显示设置";
inline constexpr const char* kKeyDisplayFit = "适应方式";
inline constexpr const char* kKeyDisplayPerMonitor = "每个显示器不同壁纸";
inline constexpr const char* kKeyDisplayPauseFullScreen = "全屏时暂停";
inline constexpr const char* kKeyDisplayPauseOnBattery = "电池供电时暂停";

// What the profile reader gives back for a value written as `written`: the blanks around it
// dropped (space, tab, line breaks, as the file is parsed), then one pair of matching quotes
// (' or ") around what is left removed. A check of a value before it is stored must read it
// this way, since that is what every later read returns.
std::string ProfileValueAsReadBack(std::string_view written);

// Leading bytes <= 32 removed (the profile functions' own argument clean-up).
std::string_view SkipLeadingControlBytes(std::string_view text);

}  // namespace core
