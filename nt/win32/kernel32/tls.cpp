// Thread-local and fiber-local storage slots over pthread keys.  A fiber-local
// slot's callback is its key's destructor: the thread library calls it after
// every thread-local destructor, and again for a value stored meanwhile by
// another key's destructor, so no value stored on the way out is missed.
#include <pthread.h>

#include "kernel32/loader.h"

static_assert(sizeof(pthread_key_t) <= sizeof(DWORD));

extern "C" {

DWORD TlsAlloc() {
    pthread_key_t key;
    if (pthread_key_create(&key, nullptr) != 0) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return TLS_OUT_OF_INDEXES;
    }
    return static_cast<DWORD>(key);
}

BOOL TlsFree(DWORD index) {
    if (pthread_key_delete(static_cast<pthread_key_t>(index)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

LPVOID TlsGetValue(DWORD index) {
    SetLastError(ERROR_SUCCESS);  // as documented: callers tell null from failure this way
    return pthread_getspecific(static_cast<pthread_key_t>(index));
}

BOOL TlsSetValue(DWORD index, LPVOID value) {
    if (pthread_setspecific(static_cast<pthread_key_t>(index), value) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (value) quarn::win32::watch_thread_exit();
    return TRUE;
}

DWORD FlsAlloc(PFLS_CALLBACK_FUNCTION callback) {
    pthread_key_t key;
    if (pthread_key_create(&key, callback) != 0) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FLS_OUT_OF_INDEXES;
    }
    return static_cast<DWORD>(key);
}

BOOL FlsFree(DWORD index) { return TlsFree(index); }

PVOID FlsGetValue(DWORD index) { return TlsGetValue(index); }

BOOL FlsSetValue(DWORD index, PVOID value) {
    if (pthread_setspecific(static_cast<pthread_key_t>(index), value) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"
