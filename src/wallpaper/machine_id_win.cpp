// clang-format off
#include <winsock2.h>
#include <iphlpapi.h>
// clang-format on

#include <cstdio>
#include <vector>

#include "wallpaper/machine_id.h"

namespace wallpaper {

std::optional<std::string> FirstAdapterAddress() {
    ULONG size = 0;
    if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return std::nullopt;
    std::vector<unsigned char> buffer(size);
    auto* info = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
    if (GetAdaptersInfo(info, &size) != NO_ERROR) return std::nullopt;
    const BYTE* a = info->Address;
    char text[24];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
    return std::string(text);
}

}  // namespace wallpaper
