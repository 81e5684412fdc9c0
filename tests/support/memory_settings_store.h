// Config.ini and the folders in memory, for the logic that reads settings natively.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <tuple>

#include "core/settings.h"

namespace testing_support {

class MemorySettingsStore : public core::SettingsStore {
  public:
    // Installs itself for its lifetime.
    MemorySettingsStore() { core::UseSettingsStore(this); }
    ~MemorySettingsStore() override { core::UseSettingsStore(nullptr); }

    std::string Read(const std::string& iniPath, const std::string& section, const std::string& key,
                     const std::string& defaultText) override {
        std::lock_guard lock(mutex_);
        auto it = values_.find({iniPath, section, key});
        // As the private-profile reader does: a stored value comes back without the blanks and
        // the quotes around it (the Wine test of the settings checks this against the real one).
        if (it == values_.end()) return defaultText.substr(0, 10239);
        return core::ProfileValueAsReadBack(it->second).substr(0, 10239);
    }
    bool Write(const std::string& iniPath, const std::string& section, const std::string& key,
               const std::string& value) override {
        std::lock_guard lock(mutex_);
        if (refuseWrites) return false;
        values_[{iniPath, section, key}] = value;
        return true;
    }
    bool DirectoryExists(const std::string& path) override {
        std::lock_guard lock(mutex_);
        return folders_.count(path) != 0;
    }
    void CreateFolder(const std::string& path) override {
        std::lock_guard lock(mutex_);
        folders_.insert(path);
        ++foldersCreated_;
    }
    std::string ProgramFolder() override { return programFolder; }
    std::string DocumentsFolder() override { return documentsFolder; }

    // Config.ini of the program folder, as the program reads it back.
    std::string Value(const std::string& section, const std::string& key) {
        return Read(core::SettingsPath(), section, key, "");
    }
    bool Has(const std::string& section, const std::string& key) {
        std::lock_guard lock(mutex_);
        return values_.count({core::SettingsPath(), section, key}) != 0;
    }
    int FoldersCreated() {
        std::lock_guard lock(mutex_);
        return foldersCreated_;
    }

    std::string programFolder = "C:\\程序";
    std::string documentsFolder = "C:\\Users\\u\\Documents";
    bool refuseWrites = false;

  private:
    std::mutex mutex_;
    std::map<std::tuple<std::string, std::string, std::string>, std::string> values_;
    std::set<std::string> folders_;
    int foldersCreated_ = 0;
};

}  // namespace testing_support
