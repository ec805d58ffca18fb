// The calling thread's token (its impersonation token, else the process
// token), the reader of variable-size token information, and the thread's
// kept copy of the token groups.
#pragma once

#include "win32.h"

// The current token opened with `access`, or null after a trace line.
HANDLE nt_open_current_token(DWORD access);
// Reads one class of `token` into a malloc'd block (*information, freed by
// the caller); 0, or the Win32 error after a trace line.
DWORD nt_read_token_information(HANDLE token, TOKEN_INFORMATION_CLASS information_class, void **information);
// The current token's groups, read once per thread and kept in the thread's
// record until the identity flush; null when they cannot be read.
const TOKEN_GROUPS *nt_current_token_groups();
// The identity flush's part here: the calling thread forgets its token groups.
void nt_forget_current_token_groups();
