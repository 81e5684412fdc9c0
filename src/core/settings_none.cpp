// Natively the program has no settings file of its own: tests install the store they need.
#include "core/settings.h"

namespace core {
namespace {

class NoSettingsStore : public SettingsStore {
  public:
    std::string Read(const std::string&, const std::string&, const std::string&,
                     const std::string& defaultText) override {
        return defaultText;
    }
    bool Write(const std::string&, const std::string&, const std::string&, const std::string&) override {
        return false;
    }
    bool DirectoryExists(const std::string&) override { return false; }
    void CreateFolder(const std::string&) override {}
    std::string ProgramFolder() override { return {}; }
    std::string DocumentsFolder() override { return {}; }
};

}  // namespace

SettingsStore& SystemSettingsStore() {
    static NoSettingsStore store;
    return store;
}

}  // namespace core
