#include <cstdio>
#include <cstdlib>
#include <string>

#include "sys/native_calls.h"
#include "sys/paths.h"
#include "sys/trace_win.h"

namespace sys {

NativeCallEntry g_nativeCallTable[kNativeRowCount] = {
#define MIAOLAN_ROW_ENTRY(index, library, name, type) {library, #name},
    MIAOLAN_NATIVE_ROWS(MIAOLAN_ROW_ENTRY)
#undef MIAOLAN_ROW_ENTRY
};

namespace {

// The program folder first, then the system search; a name with ':' is a full path.
HMODULE LoadRowLibrary(const char* library) {
    std::string name = library;
    if (name.find(':') != std::string::npos) return LoadLibraryA(name.c_str());
    std::string local = ProgramFolder() + "\\" + name;
    if (HMODULE module = LoadLibraryA(local.c_str())) return module;
    return LoadLibraryA(name.c_str());
}

FARPROC LookUp(HMODULE module, const char* function) {
    // "#123" names an export ordinal.
    if (function[0] == '#' && function[1] >= '0' && function[1] <= '9') {
        WORD ordinal = static_cast<WORD>(std::strtoul(function + 1, nullptr, 10) & 0xFFFF);
        return GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    }
    return GetProcAddress(module, function);
}

}  // namespace

void* BindNativeRow(int index) {
    NativeCallEntry& row = g_nativeCallTable[index];
    // Two threads binding at once both find the same address; storing it twice is harmless.
    if (void* address = row.address.load(std::memory_order_acquire)) return address;
    row.lookups.fetch_add(1, std::memory_order_relaxed);
    HMODULE module = LoadRowLibrary(row.library);
    FARPROC address = module ? LookUp(module, row.function) : nullptr;
    if (!address) {
        TraceLastError(module ? "GetProcAddress" : "LoadLibraryA");
        if (module) FreeLibrary(module);
        char message[512];
        std::snprintf(message, sizeof message, "无法找到指定DLL库文件“%s”中的输出命令“%s”", row.library,
                      row.function);
        FatalRuntimeError(message);
    }
    row.module.store(module, std::memory_order_relaxed);
    void* result = reinterpret_cast<void*>(address);
    row.address.store(result, std::memory_order_release);
    return result;
}

void FatalRuntimeError(const char* message) {
    std::string text = std::string("运行时出错!") + "\r\n错误信息：" + message;
    // Bound directly, not through the table: the table may be what failed.
    MessageBoxA(nullptr, text.c_str(), "渺岚壁纸", MB_OK | MB_ICONERROR | MB_SYSTEMMODAL | MB_SETFOREGROUND);
    ExitProcess(static_cast<UINT>(-1));
}

}  // namespace sys
