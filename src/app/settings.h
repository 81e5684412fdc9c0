// Config.ini and the storage folders.
//
// Config.ini lives at program folder + "\data\Config.ini" and is read and written only through
// the system's private-profile functions, one key per call, never cached.
#pragma once

#include <string>

namespace app {

// Program folder + "\data\Config.ini", rebuilt at each call.
std::string SettingsPath();

// One value of Config.ini; `defaultText` when the file, section or key is missing. Leading
// bytes <= 32 of the path, section and key are skipped; an empty one gives the empty text.
// Values are cut to 10,239 bytes. A key present with an empty value reads as empty.
std::string ReadSetting(const std::string& section, const std::string& key, const std::string& defaultText);

// Writes one value (creating section and file); the result is ignored by every caller.
bool WriteSetting(const std::string& section, const std::string& key, const std::string& value);

// True exactly when the path names an existing folder.
bool DirectoryExists(const std::string& path);

// The documents folder + "\" + "\Zerav" (its doubled backslash kept, as it always was).
std::string DefaultStorageFolder();

// Re-reads "路径" into the storage folder, creates the missing folders (one level each):
// storage folder, its "\图片" and "\壁纸", and program folder + "\data".
void InitSettingsAndFolders();

// The storage folder as the last InitSettingsAndFolders (or the settings window) read it.
// Safe from any thread.
std::string StorageFolder();
void SetStorageFolder(const std::string& folder);

// The node the client connects to: fixed at build time, port 1629.
std::string NodeHost();
constexpr int kNodePort = 1629;

}  // namespace app
