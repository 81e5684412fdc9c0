// Thread names as the system keeps them, and the guard at a thread's entry.
#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "thread_name.h"

namespace {

// The calling thread's name as the system reports it; empty when it cannot tell.
std::string CurrentName() {
#ifdef _WIN32
    using GetDescriptionFn = HRESULT(WINAPI*)(HANDLE, PWSTR*);
    auto get = reinterpret_cast<GetDescriptionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    PWSTR wide = nullptr;
    if (!get || FAILED(get(GetCurrentThread(), &wide)) || !wide) return {};
    std::string name;
    for (PWSTR p = wide; *p; ++p) name.push_back(static_cast<char>(*p));
    LocalFree(wide);
    return name;
#else
    char name[32] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    return name;
#endif
}

}  // namespace

TEST(ThreadName, NamesReachTheSystemAndLongOnesAreCut) {
    std::string seen, cut;
    std::thread([&] {
        osthread::SetName("dl-connection");
        seen = CurrentName();
        osthread::SetName("a-name-well-over-fifteen-bytes");
        cut = CurrentName();
    }).join();
    if (seen.empty()) GTEST_SKIP() << "this system keeps no thread names";
    EXPECT_EQ(seen, "dl-connection");
    EXPECT_EQ(cut.rfind("a-name-well-ove", 0), 0u);  // POSIX keeps 15 bytes, Windows all of it
}

TEST(ThreadName, AnExceptionStopsAtTheThreadsEntry) {
    // Without the guard std::terminate would end this test process.
    bool after = false;
    std::string name;
    std::thread([&] {
        osthread::RunGuarded("hp-client", [&] {
            name = CurrentName();
            throw std::runtime_error("from a callback");
        });
        osthread::RunGuarded("hp-client", [] { throw 42; });
        after = true;
    }).join();
    EXPECT_TRUE(after);
    if (!name.empty()) EXPECT_EQ(name, "hp-client");
}
