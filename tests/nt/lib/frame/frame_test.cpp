// The library frame: the recursive lock, thread contexts and trace lines.
#include <gtest/gtest.h>

#include <pthread.h>

#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "kernel32/debug_channel.h"
#include "frame/frame.h"
#include "nt.h"
#include "frame/trace.h"

namespace {

using namespace std::chrono_literals;

TEST(LibraryLock, TakenTwiceAndReleasedTwiceIsFree) {
    nt_environment_lock();
    nt_environment_lock();
    nt_environment_unlock();
    nt_environment_unlock();
    auto other = std::async(std::launch::async, [] {
        nt_environment_lock();
        nt_environment_unlock();
    });
    EXPECT_EQ(other.wait_for(5s), std::future_status::ready);
}

TEST(LibraryLock, HeldOnceMoreThanReleasedBlocksOtherThreads) {
    nt_environment_lock();
    nt_environment_lock();
    nt_environment_unlock();
    auto other = std::async(std::launch::async, [] {
        nt_environment_lock();
        nt_environment_unlock();
    });
    EXPECT_EQ(other.wait_for(100ms), std::future_status::timeout);
    nt_environment_unlock();
    EXPECT_EQ(other.wait_for(5s), std::future_status::ready);
}

TEST(ThreadContext, IsPerThreadZeroFilledAndStable) {
    nt_thread_context *mine = nt_thread_context_get();
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(nt_thread_context_get(), mine);
    EXPECT_EQ(mine->user_sid, nullptr);
    EXPECT_EQ(mine->group_list_count, -1);
    nt_thread_context *theirs = nullptr;
    std::thread([&] { theirs = nt_thread_context_get(); }).join();
    EXPECT_NE(theirs, mine);
}

TEST(ThreadContext, HeapIsDestroyedWhenTheThreadEnds) {
    HANDLE heap = nullptr;
    std::thread([&] {
        nt_thread_context *context = nt_thread_context_get();
        ASSERT_NE(context, nullptr);
        heap = context->heap;
        void *block = nt_thread_alloc(context, 64);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(static_cast<unsigned char *>(block)[63], 0);
        // The heap lives while the thread does.
        EXPECT_NE(HeapAlloc(heap, 0, 16), nullptr);
    }).join();
    ASSERT_NE(heap, nullptr);
    SetLastError(0);
    EXPECT_EQ(HeapAlloc(heap, 0, 16), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(ThreadContext, DestroyClearsTheSlotAndANullContextIsIgnored) {
    nt_thread_context_destroy(nullptr);
    std::thread([] {
        nt_thread_context *first = nt_thread_context_get();
        HANDLE heap = first->heap;
        nt_thread_context_destroy(first);
        nt_thread_context *second = nt_thread_context_get();
        ASSERT_NE(second, nullptr);
        EXPECT_NE(second->heap, heap);
    }).join();
}

// The heap of a context that an exit routine of a thread made, after the
// library's own thread-exit notification had come.
HANDLE late_heap = nullptr;
void make_late_context(void *) { late_heap = nt_thread_context_get()->heap; }

TEST(ThreadContext, OneMadeByAnExitRoutineGoesWithTheThread) {
    struct LateUser {
        ~LateUser() { make_late_context(nullptr); }
    };
    pthread_key_t key;
    ASSERT_EQ(pthread_key_create(&key, make_late_context), 0);
    struct Row {
        const char *what;
        std::function<void()> thread;
    } rows[] = {
        {"a pthread key destructor", [key] { pthread_setspecific(key, &late_heap); }},
        {"a thread_local destructor that runs last",
         [] {
             thread_local LateUser user;
             (void)&user;  // made before the context, so destroyed after it
             nt_thread_context_get();
         }},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        late_heap = nullptr;
        std::thread(row.thread).join();
        ASSERT_NE(late_heap, nullptr);
        SetLastError(0);
        EXPECT_EQ(HeapAlloc(late_heap, 0, 16), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
    pthread_key_delete(key);
}

class TraceLines : public ::testing::Test {
protected:
    void SetUp() override {
        quarn::win32::set_debug_listener([this](std::string_view line) { lines.emplace_back(line); });
    }
    void TearDown() override { quarn::win32::set_debug_listener({}); }
    std::vector<std::string> lines;
};

TEST_F(TraceLines, LongMessageArrivesAsExactly1023CharactersWithThePrefix) {
    std::string long_text(5000, 'x');
    nt_trace("%s", long_text.c_str());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 1023u);
    std::string prefix = "NtUtilX(pid: " + std::to_string(GetCurrentProcessId()) +
                         ", tid: " + std::to_string(GetCurrentThreadId()) + ") ";
    EXPECT_EQ(lines[0].substr(0, prefix.size()), prefix);
    EXPECT_EQ(lines[0].back(), 'x');
}

TEST_F(TraceLines, FailureFormatsNameTheCallSourceLineAndStatus) {
    NT_TRACE_FAILURE("RegOpenKeyExA", 2);
    int line = __LINE__ - 1;
    NTX_TRACE_FAILURE_ARG("DsGetDcNameW", "CORP", kSourceNtutilx, 0x54b);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("NT_TRACE: Call to RegOpenKeyExA() at nt\\lib\\ntutil\\" + std::to_string(line) +
                            " failed with status=0x2\n"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("NTX_TRACE: Call to DsGetDcNameW(CORP) at nt\\lib\\ntutilx\\"), std::string::npos);
    EXPECT_NE(lines[1].find(" failed with status=0x54b\n"), std::string::npos);
}

TEST(Init, SecondCallReturnsWithoutTakingTheLock) {
    nt_init();
    // Another thread holds the lock: a second nt_init must not wait for it.
    std::promise<void> locked, release;
    std::thread holder([&] {
        nt_environment_lock();
        locked.set_value();
        release.get_future().wait();
        nt_environment_unlock();
    });
    locked.get_future().wait();
    auto second = std::async(std::launch::async, [] { nt_init(); });
    EXPECT_EQ(second.wait_for(2s), std::future_status::ready);
    release.set_value();
    holder.join();
}

}  // namespace
