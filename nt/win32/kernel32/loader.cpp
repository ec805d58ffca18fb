// Loader notifications.  Linux has no per-thread notification for shared
// objects, so a thread-local sentinel, armed the first time a thread stores
// thread-local data, delivers DLL_THREAD_DETACH from its destructor.  C++
// thread-local destructors run before pthread key destructors, so the
// thread's TLS values are still readable at that point.
#include "kernel32/loader.h"

namespace quarn::win32 {
namespace {

void notify(DWORD reason) {
    if (DllMain) DllMain(nullptr, reason, nullptr);
}

struct ThreadExitSentinel {
    bool armed = false;
    ~ThreadExitSentinel() {
        if (armed) notify(DLL_THREAD_DETACH);
    }
};

thread_local ThreadExitSentinel sentinel;

__attribute__((constructor)) void on_load() { notify(DLL_PROCESS_ATTACH); }
__attribute__((destructor)) void on_unload() { notify(DLL_PROCESS_DETACH); }

}  // namespace

void watch_thread_exit() { sentinel.armed = true; }

}  // namespace quarn::win32
