// Config.ini through the private-profile functions, folders through the shell.
#include <shlobj.h>
#include <windows.h>

#include "core/settings.h"
#include "sys/native_calls.h"
#include "sys/paths.h"
#include "sys/trace_win.h"

namespace core {
namespace {

constexpr DWORD kValueBuffer = 10240;  // values come back cut to 10,239 bytes

class PrivateProfileStore : public SettingsStore {
  public:
    std::string Read(const std::string& iniPath, const std::string& section, const std::string& key,
                     const std::string& defaultText) override {
        std::string value(kValueBuffer, '\0');
        DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(),
                                           defaultText.empty() ? nullptr : defaultText.c_str(), value.data(),
                                           kValueBuffer, iniPath.c_str());
        value.resize(n);
        return value;
    }
    bool Write(const std::string& iniPath, const std::string& section, const std::string& key,
               const std::string& value) override {
        if (WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), iniPath.c_str()))
            return true;
        sys::TraceLastError("WritePrivateProfileStringA");
        return false;
    }
    bool DirectoryExists(const std::string& path) override {
        return sys::Native<sys::Row::PathIsDirectoryA>()(path.c_str()) == FILE_ATTRIBUTE_DIRECTORY;
    }
    void CreateFolder(const std::string& path) override {
        if (!CreateDirectoryA(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            sys::TraceLastError("CreateDirectoryA");
    }
    std::string ProgramFolder() override { return sys::ProgramFolder(); }
    std::string DocumentsFolder() override {
        char documents[MAX_PATH + 1] = {};
        if (!sys::Native<sys::Row::SHGetSpecialFolderPathA>()(nullptr, documents, CSIDL_PERSONAL, FALSE))
            sys::TraceLastError("SHGetSpecialFolderPathA");
        return documents;
    }
};

}  // namespace

SettingsStore& SystemSettingsStore() {
    static PrivateProfileStore store;
    return store;
}

}  // namespace core
