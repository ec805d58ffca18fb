// Handles, events, heaps, thread-local storage and process facts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "win32.h"

namespace {

TEST(Handles, ClosedOrInventedHandlesFail) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_TRUE(CloseHandle(event));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetEvent(reinterpret_cast<HANDLE>(0x12345678)));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
}

TEST(Events, ManualResetStaysSignalledAutoResetReleasesOne) {
    HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(manual, 10), WAIT_TIMEOUT);
    std::thread([manual] { SetEvent(manual); }).join();
    EXPECT_EQ(WaitForSingleObject(manual, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    ResetEvent(manual);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
    CloseHandle(manual);

    HANDLE automatic = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);
    CloseHandle(automatic);
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "Global\\named"), nullptr);
}

TEST(Heaps, ZeroFillLimitsAndDestroy) {
    HANDLE heap = HeapCreate(HEAP_NO_SERIALIZE, 4096, 1000);
    ASSERT_NE(heap, nullptr);
    auto *a = static_cast<unsigned char *>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 600));
    ASSERT_NE(a, nullptr);
    for (int i = 0; i < 600; ++i) ASSERT_EQ(a[i], 0);
    EXPECT_EQ(HeapSize(heap, 0, a), 600u);
    SetLastError(0);
    EXPECT_EQ(HeapAlloc(heap, 0, 600), nullptr);  // past the maximum
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(HeapFree(heap, 0, a));
    EXPECT_NE(HeapAlloc(heap, 0, 900), nullptr);
    EXPECT_TRUE(HeapFree(heap, 0, nullptr));
    EXPECT_TRUE(HeapDestroy(heap));  // frees the 900 bytes still held
    EXPECT_FALSE(HeapDestroy(heap));

    HANDLE growable = HeapCreate(0, 4096, 0);
    EXPECT_NE(HeapAlloc(growable, 0, 1 << 20), nullptr);
    HeapDestroy(growable);
}

TEST(ThreadLocalStorage, ValuesArePerThread) {
    DWORD slot = TlsAlloc();
    ASSERT_NE(slot, TLS_OUT_OF_INDEXES);
    int mine = 1, theirs = 2;
    TlsSetValue(slot, &mine);
    std::thread([&] {
        EXPECT_EQ(TlsGetValue(slot), nullptr);
        TlsSetValue(slot, &theirs);
        EXPECT_EQ(TlsGetValue(slot), &theirs);
    }).join();
    EXPECT_EQ(TlsGetValue(slot), &mine);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    TlsSetValue(slot, nullptr);
    EXPECT_TRUE(TlsFree(slot));
}

TEST(CriticalSections, AreRecursive) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    bool taken = false;
    std::thread([&] {
        taken = TryEnterCriticalSection(&section);
        if (taken) LeaveCriticalSection(&section);
    }).join();
    EXPECT_TRUE(taken);
    DeleteCriticalSection(&section);
}

TEST(Process, IdsTicksAndTimes) {
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
    DWORD main_thread = GetCurrentThreadId();
    DWORD other = 0;
    std::thread([&] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(other, main_thread);
    ULONGLONG before = GetTickCount64();
    Sleep(20);
    EXPECT_GE(GetTickCount64() - before, 20u);
    FILETIME creation, exit, kernel, user, now;
    ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user));
    GetSystemTimeAsFileTime(&now);
    auto value = [](const FILETIME &f) { return (uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    EXPECT_LT(value(creation), value(now));
    EXPECT_GT(value(creation), value(now) - 3600ull * 10000000ull);
}

TEST(Process, ModuleFileNameIsADrivePathAndCutsAsDocumented) {
    char path[1024];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    ASSERT_GT(n, 3u);
    EXPECT_EQ(path[1], ':');
    EXPECT_EQ(path[2], '\\');
    char small[5];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(small[4], '\0');
}

TEST(SystemInfo, VersionAndComputerName) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(GetVersion() & 0xFFFF, info.dwMajorVersion | (info.dwMinorVersion << 8));
    info.dwOSVersionInfoSize = 7;
    EXPECT_FALSE(GetVersionExA(&info));

    char name[16];
    DWORD size = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &size));
    EXPECT_EQ(size, std::strlen(name));
    DWORD tiny = 1;
    EXPECT_FALSE(GetComputerNameA(name, &tiny));
    EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
    EXPECT_EQ(tiny, size + 1);
}

}  // namespace
