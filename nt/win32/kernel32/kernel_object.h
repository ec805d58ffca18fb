// Kernel objects behind HANDLEs: a reference-counted base and the process's
// handle table, so that a stale or invented handle fails with
// ERROR_INVALID_HANDLE instead of touching freed memory.
#pragma once

#include <atomic>
#include <memory>

#include "winbase.h"

namespace quarn::win32 {

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Waits for the object to be signalled; WAIT_FAILED with ERROR_INVALID_HANDLE
    // for objects that cannot be waited on.
    virtual DWORD wait(DWORD milliseconds);
};

// Registers `object` and returns its new handle (never null, never INVALID_HANDLE_VALUE).
HANDLE make_handle(std::shared_ptr<KernelObject> object);

// The object behind `handle`, or null with ERROR_INVALID_HANDLE set.
std::shared_ptr<KernelObject> object_from_handle(HANDLE handle);

// The object behind `handle` if it is of type T, else null with ERROR_INVALID_HANDLE.
template <typename T>
std::shared_ptr<T> typed_object(HANDLE handle) {
    auto object = std::dynamic_pointer_cast<T>(object_from_handle(handle));
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

// Removes `handle`; false when it was not open.
bool close_handle(HANDLE handle);

}  // namespace quarn::win32

// An object type of the native layer: which kernel objects are of it.
struct _OBJECT_TYPE {
    bool (*holds)(const quarn::win32::KernelObject &object);
};
