// Failed Win32 calls are traced to the debugger (OutputDebugString; under Wine visible with
// WINEDEBUG=+debugstr). The program keeps no log file. Windows only.
#pragma once

namespace sys {

// Traces "<api> failed: error <GetLastError()> (<system text>)". Leaves the last error as it
// was, so a caller may still inspect it.
void TraceLastError(const char* api) noexcept;

// The same for calls that return their error code instead (the registry functions).
// Leaves the last error as it was too.
void TraceError(const char* api, unsigned long code) noexcept;

}  // namespace sys
