// The handle table: handles are small tagged numbers, never addresses, so a
// closed handle can never alias a live object by accident.
#include "kernel32/kernel_object.h"

#include <mutex>
#include <unordered_map>

namespace quarn::win32 {
namespace {

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
    uintptr_t next = 0x1000;
};

HandleTable &table() {
    // Never destroyed: handles may be closed from other objects' destructors at exit.
    static auto *instance = new HandleTable;
    return *instance;
}

}  // namespace

DWORD KernelObject::wait(DWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

HANDLE make_handle(std::shared_ptr<KernelObject> object) {
    auto &t = table();
    std::lock_guard lock(t.mutex);
    uintptr_t value = t.next;
    t.next += 4;  // handles are multiples of four, as on Windows
    t.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> object_from_handle(HANDLE handle) {
    auto &t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == t.objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second;
}

bool close_handle(HANDLE handle) {
    std::shared_ptr<KernelObject> doomed;  // destroyed outside the table's lock
    auto &t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == t.objects.end()) return false;
    doomed = std::move(it->second);
    t.objects.erase(it);
    return true;
}

}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" BOOL CloseHandle(HANDLE handle) {
    if (!close_handle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

extern "C" DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto object = object_from_handle(handle);
    if (!object) return WAIT_FAILED;
    return object->wait(milliseconds);
}
