#include "web/internet_api.h"

#include <atomic>

namespace web {

// Defined by the platform half: WinINet on Windows.
InternetApi& PlatformInternetApi();

namespace {
std::atomic<InternetApi*> g_override{nullptr};
}

InternetApi& DefaultInternetApi() {
    InternetApi* api = g_override.load(std::memory_order_acquire);
    return api ? *api : PlatformInternetApi();
}

InternetApi* SetDefaultInternetApi(InternetApi* api) {
    InternetApi* previous = g_override.exchange(api, std::memory_order_acq_rel);
    return previous ? previous : &PlatformInternetApi();
}

}  // namespace web
