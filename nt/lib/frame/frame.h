// The library frame, internal side: the library lock, the per-thread context
// with its private heap, and the one-time initialisation behind both.
#pragma once

#include "nt.h"
#include "win32.h"

// The calling thread's identity results, allocated from its private heap:
// the records that the passwd and group look-ups return.
using nt_passwd_record = nt_passwd;
using nt_group_record = nt_group;

struct nt_thread_context {
    HANDLE heap;  // first field: destroying it frees the record and all it holds
    void *trusted_domain_scratch[2];
    BYTE environment_primary_group[SECURITY_MAX_SID_SIZE];
    nt_passwd_record passwd_by_name;
    nt_passwd_record passwd_by_sid;
    nt_group_record group_by_name;
    nt_group_record group_by_sid;
    BYTE mapped_group[SECURITY_MAX_SID_SIZE];
    PSID user_sid;
    void *token_groups;
    PSID effective_primary_group;
    void *token_primary_group;
    int group_list_count;
    PSID *group_list;
};

void nt_library_lock();
void nt_library_unlock();

// Holds the library lock for a scope; an exception passing through releases it.
class NtLibraryLock {
public:
    NtLibraryLock() { nt_library_lock(); }
    ~NtLibraryLock() { nt_library_unlock(); }
    NtLibraryLock(const NtLibraryLock &) = delete;
    NtLibraryLock &operator=(const NtLibraryLock &) = delete;
};

// Once dumps are registered, gives the calling thread room to handle its own
// stack overflow (the fatal-signal handler needs a stack); cheap when it has it.
void nt_guard_thread_stack();

nt_thread_context *nt_thread_context_get();
void *nt_thread_alloc(nt_thread_context *context, size_t bytes);
void nt_thread_free(nt_thread_context *context, void *memory);
void nt_thread_context_destroy(nt_thread_context *context);
