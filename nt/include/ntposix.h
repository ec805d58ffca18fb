/*
 * ntposix.h: the POSIX functions that libquarnnt supplies, under their own
 * names (nt_getopt, nt_gettimeofday, ...) and with their own record types
 * (struct nt_timeval, struct nt_utsname, ...), so that loading the library
 * never interposes on the C library's own functions.
 *
 * A program that wants the plain names defines QUARN_POSIX_NAMES before
 * including this header, and includes it after the system headers: the
 * function and variable names are then mapped (getopt -> nt_getopt, ...).
 * The record types keep their nt_ names, since the host's have other widths.
 */
#ifndef QUARN_NTPOSIX_H
#define QUARN_NTPOSIX_H

#include <stddef.h>
#include <stdint.h>

#include "ntexport.h"

#ifdef __cplusplus
extern "C" {
#define NT_POSIX_NOTHROW noexcept
#else
#define NT_POSIX_NOTHROW
#endif

/* ---- options ------------------------------------------------------------ */

NT_API extern char *nt_optarg;
NT_API extern int nt_optind;
NT_API extern int nt_opterr;
NT_API extern int nt_optopt;

/* The next option letter, '?' for an error, -1 at the end of the options. */
NT_API int nt_getopt(int argc, char *const argv[], const char *letters) NT_POSIX_NOTHROW;

/* ---- password prompt ------------------------------------------------------- */

/* Reads a password without echo; at most its first 8 characters are kept. */
NT_API char *nt_getpass(const char *prompt);

/* ---- strings -------------------------------------------------------------- */

/* Compare with A-Z folded to a-z only, whatever the locale. */
NT_API int nt_strcasecmp(const char *a, const char *b) NT_POSIX_NOTHROW;
NT_API int nt_strncasecmp(const char *a, const char *b, size_t count) NT_POSIX_NOTHROW;

/* ---- host ------------------------------------------------------------------ */

struct nt_utsname {
    char sysname[15];
    char nodename[16];
    char release[15];
    char version[15];
    char machine[16];
};

NT_API int nt_uname(struct nt_utsname *name) NT_POSIX_NOTHROW;

/* ---- time -------------------------------------------------------------------- */

struct nt_timeval {
    int32_t tv_sec;
    int32_t tv_usec;
};

struct nt_timezone {
    int32_t tz_minuteswest;
    int32_t tz_dsttime;
};

/* Milliseconds, each 32 bits. */
struct nt_tms {
    int32_t tms_utime;
    int32_t tms_stime;
    int32_t tms_cutime;
    int32_t tms_cstime;
};

/* Times that strictly increase within the process. */
NT_API int nt_gettimeofday(struct nt_timeval *tv, struct nt_timezone *tz) NT_POSIX_NOTHROW;
/* Seconds since 1970-01-01 UTC, also stored in *t when t is given. */
NT_API int64_t unix_nt_time(int64_t *t);
/* Milliseconds since the machine started, or -1 (errno and _doserrno set). */
NT_API int32_t nt_times(struct nt_tms *buffer) NT_POSIX_NOTHROW;
NT_API unsigned int nt_sleep(unsigned int seconds);

/* ---- system queries ---------------------------------------------------------------- */

#define NT_SC_CLK_TCK 2
#define NT_SC_OPEN_MAX 4
#define NT_PC_NAME_MAX 3

NT_API long nt_sysconf(int name) NT_POSIX_NOTHROW;
NT_API long nt_fpathconf(int fd, int name) NT_POSIX_NOTHROW;
/* Never allocates: always null. */
NT_API void *nt_sbrk(intptr_t increment) NT_POSIX_NOTHROW;

/* ---- the Win32 error of the last failed POSIX call, per thread ------------------------ */

NT_API unsigned long *nt___doserrno(void);
#define _doserrno (*nt___doserrno())

#ifdef __cplusplus
}
#endif

#ifdef QUARN_POSIX_NAMES
#define optarg nt_optarg
#define optind nt_optind
#define opterr nt_opterr
#define optopt nt_optopt
#define getopt nt_getopt
#define getpass nt_getpass
#define strcasecmp nt_strcasecmp
#define strncasecmp nt_strncasecmp
#define uname nt_uname
#define gettimeofday nt_gettimeofday
#define times nt_times
#define sleep nt_sleep
#define sysconf nt_sysconf
#define fpathconf nt_fpathconf
#define sbrk nt_sbrk
#endif

#endif /* QUARN_NTPOSIX_H */
