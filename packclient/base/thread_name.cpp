#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

#include <cstdio>
#include <cstring>

#include "thread_name.h"

namespace osthread {

#ifdef _WIN32

void SetName(const char* name) noexcept {
    using SetDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    static const SetDescriptionFn setDescription = reinterpret_cast<SetDescriptionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (!setDescription || !name) return;
    wchar_t wide[64];
    size_t i = 0;
    for (; name[i] && i + 1 < sizeof wide / sizeof wide[0]; ++i)
        wide[i] = static_cast<unsigned char>(name[i]);
    wide[i] = L'\0';
    setDescription(GetCurrentThread(), wide);
}

void ReportEscaped(const char* name, const char* what) noexcept {
    char line[256];
    std::snprintf(line, sizeof line, "MiaolanWallpaper: thread %s stopped an exception: %s\n",
                  name ? name : "?", what ? what : "");
    OutputDebugStringA(line);
}

#else

void SetName(const char* name) noexcept {
    if (!name) return;
    char cut[16];
    std::strncpy(cut, name, sizeof cut - 1);
    cut[sizeof cut - 1] = '\0';
    pthread_setname_np(pthread_self(), cut);
}

void ReportEscaped(const char* name, const char* what) noexcept {
    std::fprintf(stderr, "thread %s stopped an exception: %s\n", name ? name : "?", what ? what : "");
}

#endif

}  // namespace osthread
