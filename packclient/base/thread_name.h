// Every thread the program or its packet library starts is named (seen in a debugger and in
// crash reports) and guarded: no exception leaves a thread's entry function.
#pragma once

#include <exception>

namespace osthread {

// Names the calling thread. Windows: SetThreadDescription, bound at run time (older Windows
// and Wine may lack it); elsewhere pthread_setname_np, cut to 15 bytes. Never fails loudly.
void SetName(const char* name) noexcept;

// Reports an exception that reached a thread's entry (the debugger on Windows, stderr
// elsewhere); the program keeps no log file.
void ReportEscaped(const char* name, const char* what) noexcept;

// The whole body of a thread: names it, runs fn, and stops any exception there.
template <class Fn>
void RunGuarded(const char* name, Fn&& fn) noexcept {
    SetName(name);
    try {
        fn();
    } catch (const std::exception& e) {
        ReportEscaped(name, e.what());
    } catch (...) {
        ReportEscaped(name, "unknown exception");
    }
}

}  // namespace osthread
