// The loader's notifications to the library's entry point: process attach and
// detach from the shared object's constructor and destructor, and thread
// detach for every thread that stored thread-local data.
#pragma once

#include "winbase.h"

// Defined by the library that links the layer; optional for the layer's own tests.
extern "C" BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) __attribute__((weak));

namespace quarn::win32 {
// Arranges a DLL_THREAD_DETACH notification when the calling thread ends.
void watch_thread_exit();
}
