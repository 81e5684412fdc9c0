#include <windows.h>

#include "sys/paths.h"
#include "sys/text.h"
#include "sys/trace_win.h"

namespace sys {

std::string ProgramFolder() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) {
            TraceLastError("GetModuleFileNameA");
            return {};
        }
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    // The ANSI path is GBK: the last separator is searched character by character.
    int cut = FindLast(path, "\\");
    return cut > 0 ? path.substr(0, static_cast<size_t>(cut - 1)) : std::string();
}

}  // namespace sys
