// Outside Windows there is no WinINet: every handle fails to open, which WebRequest reports as
// its empty result. Native code that needs real exchanges installs its own InternetApi.
#include "web/internet_api.h"

namespace web {
namespace {

class UnavailableInternetApi final : public InternetApi {
  public:
    InternetHandle Open(const char*, uint32_t, const char*, const char*, uint32_t) override {
        return nullptr;
    }
    InternetHandle Connect(InternetHandle, const char*, uint16_t, const char*, const char*, uint32_t,
                           uint32_t, uintptr_t) override {
        return nullptr;
    }
    InternetHandle OpenRequest(InternetHandle, const char*, const char*, const char*, const char*,
                               const char**, uint32_t, uintptr_t) override {
        return nullptr;
    }
    bool SetOption(InternetHandle, uint32_t, void*, uint32_t) override { return false; }
    bool SendRequest(InternetHandle, const char*, uint32_t, void*, uint32_t) override { return false; }
    bool ReadFile(InternetHandle, void*, uint32_t, uint32_t* read) override {
        if (read) *read = 0;
        return false;
    }
    bool QueryInfo(InternetHandle, uint32_t, void*, uint32_t*, uint32_t*) override { return false; }
    bool CloseHandle(InternetHandle) override { return false; }
};

}  // namespace

InternetApi& DefaultInternetApi() {
    static UnavailableInternetApi api;
    return api;
}

}  // namespace web
