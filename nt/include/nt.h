/*
 * nt.h: the NT utilities of libquarnnt: start-up, error texts and errno
 * mapping, the event log, the library lock and environment access, the
 * platform code, and the identity of the calling thread.  Usable from C and C++.
 */
#ifndef QUARN_NT_H
#define QUARN_NT_H

#include "ntexport.h"
#include "ntwintypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- start-up ------------------------------------------------------------ */

/* Opens the identity name caches; call once, before the other functions.  */
NT_API void nt_init(void);

/* ---- errors and events ------------------------------------------------------ */

/* Where nt_get_error_string looks a code up. */
#define NT_ERROR_KIND_WIN32 0    /* system table; 2100-2999 network management first */
#define NT_ERROR_KIND_NETMSG 1   /* the network-management messages */
#define NT_ERROR_KIND_NTSTATUS 2 /* NT status codes (3 is the same) */

/* The errno value for a Win32 error code (0 for 0); errno itself is untouched. */
NT_API int nt_win32error2errno(DWORD code);

/* A readable text for `code` in `buffer` (size bytes, always terminated). */
NT_API char *nt_get_error_string(DWORD code, int kind, int size, char *buffer);

#define NT_EVENT_ERROR 1
#define NT_EVENT_WARNING 2
#define NT_EVENT_INFORMATION 4

/* Reports one event under the source "Zendrel". */
NT_API void nt_log_event(int type, const char *format, ...) __attribute__((format(printf, 2, 3)));

/* ---- the library lock and the environment ------------------------------------ */

NT_API void nt_environment_lock(void);
NT_API void nt_environment_unlock(void);

/* Copies the value of `name` (cut to size-1 characters) into `buffer` and
 * stores its length + 1 in *needed; null when unset or no buffer was given. */
NT_API char *nt_getenv_safe(const char *name, char *buffer, size_t size, size_t *needed);
NT_API int nt_putenv_safe(const char *assignment);

/* ---- platform ------------------------------------------------------------------ */

#define NT_OS_WIN32S 0x0001
#define NT_OS_WIN95 0x0002
#define NT_OS_WIN98 0x0004
#define NT_OS_NT3 0x0100
#define NT_OS_NT4 0x0200
#define NT_OS_NT5 0x0400
#define NT_OS_VISTA 0x0800
#define NT_OS_WIN7 0x1000
#define NT_OS_ANY_NT 0x1F00
#define NT_OS_NT5_OR_LATER 0x1C00
#define NT_OS_WIN9X 0x0006

/* The platform code (one NT_OS_ bit); QUARN_FORCE_PLATFORM overrides it. */
NT_API int nt_osinfo(void);
/* 2 for any NT platform, 1 for Windows 95 or 98, 0 otherwise. */
NT_API int nt_win32_platform(void);

/* ---- identity --------------------------------------------------------------------- */

/* The calling thread's user SID, owned by the library; 1, or 0 on failure. */
NT_API int nt_get_user_sid(PSID *sid_out);

#ifdef __cplusplus
}
#endif

#endif /* QUARN_NT_H */
