// nt_init: once per process, on an NT-family host, the identity name caches.
#include "frame/frame.h"
#include "identity/identity_caches.h"
#include "nt.h"

namespace {
int volatile init_done = 0;
}

extern "C" NT_API void nt_init(void) {
    if (__atomic_load_n(&init_done, __ATOMIC_ACQUIRE)) return;
    NtLibraryLock lock;
    if (init_done) return;
    // A cache that cannot be opened stays null; its users then work uncached.
    if (nt_osinfo() & NT_OS_ANY_NT) nt_open_identity_caches();
    __atomic_store_n(&init_done, 1, __ATOMIC_RELEASE);
}
