// Process handles from OpenProcess and the token facts the layer derives
// from a process's credentials.
#pragma once

#include <sys/types.h>

#include <vector>

#include "advapi.h"
#include "kernel32/kernel_object.h"

namespace quarn::win32 {

class ProcessObject final : public KernelObject {
public:
    ProcessObject(DWORD id, uid_t uid) : id_(id), uid_(uid) {}
    DWORD id() const { return id_; }
    uid_t uid() const { return uid_; }

private:
    DWORD id_;
    uid_t uid_;
};

// The privileges a token of `uid` holds: every one for root, the ordinary
// user's set otherwise.
std::vector<LUID_AND_ATTRIBUTES> privileges_for_uid(uid_t uid);

// The logon session of process `pid` running as `uid`: 999 (the system logon) for root.
LUID logon_session_of(pid_t pid, uid_t uid);

}  // namespace quarn::win32
