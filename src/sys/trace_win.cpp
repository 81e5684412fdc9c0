#include "sys/trace_win.h"

#include <windows.h>

#include <cstdio>

namespace sys {

void TraceError(const char* api, unsigned long code) noexcept {
    DWORD saved = GetLastError();
    char text[256] = "";
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                             text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) text[--n] = '\0';
    char line[400];
    std::snprintf(line, sizeof line, "MiaolanWallpaper: %s failed: error %lu (%s)\n", api ? api : "?", code,
                  text);
    OutputDebugStringA(line);
    SetLastError(saved);
}

void TraceLastError(const char* api) noexcept { TraceError(api, GetLastError()); }

}  // namespace sys
