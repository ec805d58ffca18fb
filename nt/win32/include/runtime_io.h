// The runtime library's file calls that the library builds on: wide-path
// opening and file-name calls, descriptors over handles, 64-bit positions and
// status.  Flags and permission bits are the host's (O_*, S_*); a descriptor
// is a host descriptor.  Failures set errno and, where a Win32 call failed,
// _doserrno, as the Windows runtime does.
// Internal: nothing declared here leaves libquarnnt.so.
#pragma once

#include <cstdio>

#include "ntposix.h"
#include "winbase.h"

extern "C" {

// Opens with the runtime's share mode (read and write shared, delete not);
// a file created without S_IWUSR in `mode` is read-only.
int _wopen(const WCHAR *path, int flags, int mode);
FILE *_wfopen(const WCHAR *path, const WCHAR *mode);
FILE *_fdopen(int fd, const char *mode);
int _waccess(const WCHAR *path, int mode);
// Only S_IWUSR counts: without it the file becomes read-only.
int _wchmod(const WCHAR *path, int mode);
int _wmkdir(const WCHAR *path);
int _wrmdir(const WCHAR *path);
// Closes the descriptor and the handle behind it.
int _close(int fd);
// Closes the stream and the handle behind its descriptor.
int _fclose(FILE *stream);
// Mode as the Windows runtime gives it (0x8000 or 0x4000 with the owner's
// read, write unless read-only, copied to group and others); UTC times.
int _fstat64(int fd, struct nt_stat64 *st);
int64_t _lseeki64(int fd, int64_t offset, int origin);
// The handle behind a descriptor (owned by the runtime), or -1 with EBADF.
intptr_t _get_osfhandle(int fd);
// A new descriptor that owns `handle`; closing it closes the handle.
int _open_osfhandle(intptr_t handle, int flags);

}  // extern "C"
