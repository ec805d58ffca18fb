// Referenced objects: a pointer to a kernel object that keeps it alive apart
// from any handle, and waiting on it without the handle table.  The layer
// keeps each reference's owning pointer, so a pointer handed out stays valid
// until its own dereference, however the handles to the object end.
#include <map>
#include <mutex>

#include "kernel32/kernel_object.h"
#include "winternl.h"

namespace quarn::win32 {
namespace {

struct References {
    std::mutex mutex;
    std::multimap<KernelObject *, std::shared_ptr<KernelObject>> held;
};

References &references() {
    // Never destroyed: references may be dropped from other objects' destructors at exit.
    static auto *instance = new References;
    return *instance;
}

constexpr long long kTicksPerMillisecond = 10000;  // 100-ns units

// Milliseconds until `timeout` (see KeWaitForSingleObject), rounded up.
DWORD milliseconds_of(const PLARGE_INTEGER timeout) {
    if (!timeout) return INFINITE;
    long long ticks = timeout->QuadPart;
    if (ticks > 0) {
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        ticks = -(ticks - static_cast<long long>((static_cast<unsigned long long>(now.dwHighDateTime) << 32) |
                                                 now.dwLowDateTime));
        if (ticks > 0) ticks = 0;  // already past
    }
    unsigned long long ms = (static_cast<unsigned long long>(-ticks) + kTicksPerMillisecond - 1) / kTicksPerMillisecond;
    return ms >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(ms);
}

}  // namespace
}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

NTSTATUS ObReferenceObjectByHandle(HANDLE handle, ACCESS_MASK, POBJECT_TYPE type, KPROCESSOR_MODE, PVOID *object,
                                   PVOID) {
    if (!object) return STATUS_INVALID_PARAMETER;
    *object = nullptr;
    std::shared_ptr<KernelObject> target = object_from_handle(handle);
    if (!target) return STATUS_INVALID_HANDLE;
    if (type && !type->holds(*target)) return STATUS_OBJECT_TYPE_MISMATCH;
    auto &r = references();
    try {
        std::lock_guard lock(r.mutex);
        r.held.emplace(target.get(), target);
    } catch (const std::bad_alloc &) {
        return STATUS_NO_MEMORY;
    }
    *object = target.get();
    return STATUS_SUCCESS;
}

void ObDereferenceObject(PVOID object) {
    std::shared_ptr<KernelObject> doomed;  // destroyed outside the lock
    auto &r = references();
    std::lock_guard lock(r.mutex);
    auto it = r.held.find(static_cast<KernelObject *>(object));
    if (it == r.held.end()) return;
    doomed = std::move(it->second);
    r.held.erase(it);
}

NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON, KPROCESSOR_MODE, BOOLEAN, PLARGE_INTEGER timeout) {
    switch (static_cast<KernelObject *>(object)->wait(milliseconds_of(timeout))) {
    case WAIT_OBJECT_0: return STATUS_SUCCESS;
    case WAIT_ABANDONED: return STATUS_ABANDONED;
    case WAIT_TIMEOUT: return STATUS_TIMEOUT;
    default: return STATUS_UNSUCCESSFUL;
    }
}

}  // extern "C"
