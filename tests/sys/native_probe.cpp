// A child process for the native call table tests: binds one HPSocket4C row and reports.
//   native_probe desc    → calls HP_Client_GetLastErrorDesc; exit 1 for "local", 2 for "path"
//   native_probe create  → calls Create_HP_TcpPackClientListener (missing from the probe DLLs)
#include <windows.h>

#include <cstring>

#include "sys/native_calls.h"

int main(int argc, char** argv) {
    if (argc < 2) return 10;
    if (std::strcmp(argv[1], "desc") == 0) {
        const char* who = sys::Native<sys::Row::HP_Client_GetLastErrorDesc>()(nullptr);
        if (std::strcmp(who, "local") == 0) return 1;
        if (std::strcmp(who, "path") == 0) return 2;
        return 3;
    }
    if (std::strcmp(argv[1], "create") == 0) {
        sys::Native<sys::Row::Create_HP_TcpPackClientListener>()();
        return 4;  // not reached: the binding ends the process
    }
    return 11;
}
