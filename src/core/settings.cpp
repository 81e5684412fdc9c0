#include "core/settings.h"

#include <atomic>
#include <mutex>

#include "sys/text.h"

#ifndef MIAOLAN_NODE_HOST
#define MIAOLAN_NODE_HOST "127.0.0.1"
#endif

namespace core {

// The platform's store; defined beside the system calls (settings_win.cpp, settings_none.cpp).
SettingsStore& SystemSettingsStore();

namespace {

std::atomic<SettingsStore*> g_store{nullptr};
std::mutex g_storageMutex;
std::string g_storageFolder;

}  // namespace

void UseSettingsStore(SettingsStore* store) { g_store.store(store); }

SettingsStore& Store() {
    SettingsStore* store = g_store.load();
    return store ? *store : SystemSettingsStore();
}

std::string_view SkipLeadingControlBytes(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32) ++i;
    return text.substr(i);
}

std::string ProfileValueAsReadBack(std::string_view written) {
    auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == '\x1a'; };
    size_t a = 0, b = written.size();
    while (a < b && blank(written[a])) ++a;
    while (b > a && blank(written[b - 1])) --b;
    std::string_view v = written.substr(a, b - a);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

std::string SettingsPath() { return Store().ProgramFolder() + "\\data\\Config.ini"; }

std::string ReadSettingAt(const std::string& iniPath, const std::string& section, const std::string& key,
                          const std::string& defaultText) {
    std::string path(SkipLeadingControlBytes(iniPath));
    std::string sec(SkipLeadingControlBytes(section));
    std::string k(SkipLeadingControlBytes(key));
    if (path.empty() || sec.empty() || k.empty()) return {};
    return Store().Read(path, sec, k, defaultText);
}

std::string ReadSetting(const std::string& section, const std::string& key, const std::string& defaultText) {
    return ReadSettingAt(SettingsPath(), section, key, defaultText);
}

bool WriteSettingAt(const std::string& iniPath, const std::string& section, const std::string& key,
                    const std::string& value) {
    if (iniPath.empty() || section.empty() || key.empty()) return false;
    return Store().Write(iniPath, section, key, value);
}

bool WriteSetting(const std::string& section, const std::string& key, const std::string& value) {
    return WriteSettingAt(SettingsPath(), section, key, value);
}

bool DirectoryExists(const std::string& path) { return Store().DirectoryExists(path); }

std::string StorageFolderUnder(std::string_view documentsFolder) {
    std::string folder(documentsFolder);
    if (!sys::EndsWith(folder, "\\")) folder += "\\";
    return folder + "\\Zerav";
}

std::string DefaultStorageFolder() { return StorageFolderUnder(Store().DocumentsFolder()); }

void InitSettingsAndFoldersIn(const std::string& programFolder, const std::string& defaultStorage) {
    std::string storage =
        ReadSettingAt(programFolder + "\\data\\Config.ini", kSectionGeneral, kKeyPath, defaultStorage);
    SetStorageFolder(storage);
    SettingsStore& store = Store();
    for (const std::string& folder :
         {storage, storage + "\\图片", storage + "\\壁纸", programFolder + "\\data"})
        if (!store.DirectoryExists(folder)) store.CreateFolder(folder);
}

void InitSettingsAndFolders() { InitSettingsAndFoldersIn(Store().ProgramFolder(), DefaultStorageFolder()); }

std::string StorageFolder() {
    std::lock_guard<std::mutex> lock(g_storageMutex);
    return g_storageFolder;
}

void SetStorageFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_storageMutex);
    g_storageFolder = folder;
}

std::string NodeHost() { return MIAOLAN_NODE_HOST; }

}  // namespace core
