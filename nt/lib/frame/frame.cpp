// The library frame: loader notifications, the one-time initialiser, the
// recursive library lock and each thread's context with its private heap.
#include "frame/frame.h"

#include <cstdlib>

#include "nt.h"

namespace {

CRITICAL_SECTION library_lock;
LONG volatile initialised = 0;
// A fiber-local slot: its callback destroys the context when the thread
// ends, even one made by another exit routine of the thread (a pthread key
// destructor, a thread_local destructor) after the loader's notification.
DWORD context_slot = FLS_OUT_OF_INDEXES;

// The one-time initialiser: 0 not started, 1 running, 2 done.
struct {
    LONG volatile state;
    HANDLE volatile done_event;
} once = {0, nullptr};

constexpr SIZE_T kThreadHeapInitialSize = 4096;

void context_ends(PVOID context) { nt_thread_context_destroy(static_cast<nt_thread_context *>(context)); }

void attach() {
    InitializeCriticalSection(&library_lock);
    if (context_slot == FLS_OUT_OF_INDEXES) context_slot = FlsAlloc(context_ends);
    __atomic_store_n(&initialised, 1, __ATOMIC_RELEASE);
}

void ensure_initialised() {
    if (__atomic_load_n(&initialised, __ATOMIC_ACQUIRE)) return;
    if (__atomic_load_n(&once.state, __ATOMIC_ACQUIRE) == 2) return;
    if (InterlockedExchange(&once.state, 1) == 0) {
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        __atomic_store_n(&once.done_event, event, __ATOMIC_RELEASE);
        attach();
        SetEvent(event);
        __atomic_store_n(&once.state, 2, __ATOMIC_RELEASE);
        return;
    }
    // Another thread is initialising: wait until its event exists, then on it.
    HANDLE event;
    while (!(event = __atomic_load_n(&once.done_event, __ATOMIC_ACQUIRE))) Sleep(10);
    WaitForSingleObject(event, INFINITE);
}

}  // namespace

extern "C" BOOL DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        attach();
        break;
    case DLL_PROCESS_DETACH:
        // The lock stays: other objects' destructors may still take it.
        if (context_slot != FLS_OUT_OF_INDEXES) {
            FlsFree(context_slot);
            context_slot = FLS_OUT_OF_INDEXES;
        }
        __atomic_store_n(&initialised, 0, __ATOMIC_RELEASE);
        break;
    default:
        break;
    }
    return TRUE;
}

void nt_library_lock() {
    ensure_initialised();
    nt_guard_thread_stack();
    EnterCriticalSection(&library_lock);
}

void nt_library_unlock() { LeaveCriticalSection(&library_lock); }

extern "C" void nt_environment_lock() { nt_library_lock(); }
extern "C" void nt_environment_unlock() { nt_library_unlock(); }

nt_thread_context *nt_thread_context_get() {
    ensure_initialised();
    nt_guard_thread_stack();
    if (context_slot == FLS_OUT_OF_INDEXES) return nullptr;
    if (auto *context = static_cast<nt_thread_context *>(FlsGetValue(context_slot))) return context;
    HANDLE heap = HeapCreate(HEAP_NO_SERIALIZE, kThreadHeapInitialSize, 0);
    if (!heap) return nullptr;
    auto *context = static_cast<nt_thread_context *>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(nt_thread_context)));
    if (!context) {
        HeapDestroy(heap);
        return nullptr;
    }
    context->heap = heap;
    context->group_list_count = -1;
    FlsSetValue(context_slot, context);
    return context;
}

void *nt_thread_alloc(nt_thread_context *context, size_t bytes) {
    return HeapAlloc(context->heap, HEAP_ZERO_MEMORY, bytes);
}

void nt_thread_free(nt_thread_context *context, void *memory) {
    if (memory) HeapFree(context->heap, 0, memory);
}

void nt_thread_context_destroy(nt_thread_context *context) {
    if (!context) return;
    FlsSetValue(context_slot, nullptr);
    // The token blocks come from malloc, not from the heap.
    std::free(context->token_groups);
    std::free(context->token_primary_group);
    HeapDestroy(context->heap);
}
