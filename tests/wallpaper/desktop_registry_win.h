// The desktop's values in the user's registry, as the Windows desktop tests read them back.
#pragma once

#include <windows.h>

#include <string>

// A value under HKCU\Control Panel\Desktop, or "<absent>".
inline std::string RegistryText(const char* name) {
    char value[64] = {};
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", name, RRF_RT_REG_SZ, nullptr, value,
                     &size) != ERROR_SUCCESS)
        return "<absent>";
    return value;
}
