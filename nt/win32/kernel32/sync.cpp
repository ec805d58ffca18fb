// Critical sections (recursive process-local mutexes), manual- and auto-reset
// events, interlocked exchanges, sleeping and the tick counts.
#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>

#include "kernel32/kernel_object.h"

namespace {

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::opaque));

pthread_mutex_t *as_mutex(LPCRITICAL_SECTION section) {
    return reinterpret_cast<pthread_mutex_t *>(section->opaque);
}

class Event final : public quarn::win32::KernelObject {
public:
    Event(bool manual_reset, bool signalled) : manual_reset_(manual_reset), signalled_(signalled) {}

    void set() {
        std::lock_guard lock(mutex_);
        signalled_ = true;
        if (manual_reset_)
            changed_.notify_all();
        else
            changed_.notify_one();
    }

    void reset() {
        std::lock_guard lock(mutex_);
        signalled_ = false;
    }

    DWORD wait(DWORD milliseconds) override {
        std::unique_lock lock(mutex_);
        auto ready = [this] { return signalled_; };
        if (milliseconds == INFINITE) {
            changed_.wait(lock, ready);
        } else if (!changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), ready)) {
            return WAIT_TIMEOUT;
        }
        if (!manual_reset_) signalled_ = false;
        return WAIT_OBJECT_0;
    }

private:
    const bool manual_reset_;
    bool signalled_;
    std::mutex mutex_;
    std::condition_variable changed_;
};

uint64_t clock_ms(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

}  // namespace

extern "C" {

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(as_mutex(section), &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void EnterCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_lock(as_mutex(section)); }

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    return pthread_mutex_trylock(as_mutex(section)) == 0;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_unlock(as_mutex(section)); }

void DeleteCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_destroy(as_mutex(section)); }

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manual_reset, BOOL initial_state, LPCSTR name) {
    if (name) {
        // Named events are not needed by the library; refuse rather than pretend.
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    try {
        return quarn::win32::make_handle(std::make_shared<Event>(manual_reset, initial_state));
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL SetEvent(HANDLE event) {
    auto object = quarn::win32::typed_object<Event>(event);
    if (!object) return FALSE;
    object->set();
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    auto object = quarn::win32::typed_object<Event>(event);
    if (!object) return FALSE;
    object->reset();
    return TRUE;
}

LONG InterlockedExchange(LONG volatile *target, LONG value) {
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

LONG InterlockedCompareExchange(LONG volatile *target, LONG exchange, LONG comparand) {
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return comparand;
}

void Sleep(DWORD milliseconds) {
    timespec request{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
    int saved_errno = errno;  // a signal on the way is no failure of the caller's
    while (nanosleep(&request, &request) == -1 && errno == EINTR) {
    }
    errno = saved_errno;
}

// Milliseconds since the machine booted, including time spent suspended.
DWORD GetTickCount() { return static_cast<DWORD>(clock_ms(CLOCK_BOOTTIME)); }
ULONGLONG GetTickCount64() { return clock_ms(CLOCK_BOOTTIME); }

}  // extern "C"
