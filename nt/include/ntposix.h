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
#include <stdio.h>

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

/* ---- files on long paths ------------------------------------------------------------
 * Paths are multibyte (UTF-8) DOS or Unix paths of any length; flags and
 * permission bits are the host's (O_*, S_*).  Results are 0 (or a descriptor
 * or stream) on success, -1 (or null) with errno and _doserrno set. */

/* The status record: the widths of the Windows runtime's 64-bit record.  The
 * times are UTC seconds since 1970; they are not named st_atime and so on,
 * which <sys/stat.h> defines as macros. */
struct nt_stat64 {
    uint32_t st_dev;
    uint16_t st_ino;
    uint16_t st_mode;
    int16_t st_nlink;
    int16_t st_uid;
    int16_t st_gid;
    uint32_t st_rdev;
    int64_t st_size;
    int64_t st_atime64;
    int64_t st_mtime64;
    int64_t st_ctime64;
};

/* Seconds since 1970; only the low 32 bits of each are used. */
struct nt_utimbuf {
    int64_t actime;
    int64_t modtime;
};

typedef int64_t nt_fpos64_t;

NT_API int unix_nt_open(const char *path, int flags, int mode);
/* "w" modes keep the file (and its attributes) and empty it. */
NT_API FILE *unix_nt_fopen(const char *path, const char *mode);
NT_API int unix_nt_close(int fd);
NT_API int unix_nt_fclose(FILE *stream);
NT_API int unix_nt_access(const char *path, int mode);
NT_API int unix_nt_chmod(const char *path, int mode);
NT_API int unix_nt_mkdir(const char *path);
NT_API int unix_nt_rmdir(const char *path);
/* Deletes read-only files too; a file in use gives EACCES. */
NT_API int unix_nt_unlink(const char *path);
/* Replaces an existing new path; retries for about 2 s while the old one is in use. */
NT_API int unix_nt_rename(const char *old_path, const char *new_path);
/* times: access then modification time; null means now. */
NT_API int unix_nt_utimes(const char *path, const struct nt_timeval *times);
/* times null means now. */
NT_API int unix_nt_utime(const char *path, const struct nt_utimbuf *times);
NT_API int unix_nt_stati64(const char *path, struct nt_stat64 *st);
NT_API int unix_nt_fstati64(int fd, struct nt_stat64 *st);
NT_API int nt_ftruncate64(int fd, int64_t length);
NT_API int nt_truncate64(const char *path, int64_t length);
/* origin 0 start, 1 current, 2 end. */
NT_API int nt_fseeko64(FILE *stream, int64_t offset, int origin);
NT_API int64_t nt_ftello64(FILE *stream);
NT_API int nt_fgetpos64(FILE *stream, nt_fpos64_t *position);
NT_API int nt_fsetpos64(FILE *stream, const nt_fpos64_t *position);

/* ---- directory streams ------------------------------------------------------------ */

typedef struct nt_dir NT_DIR;

struct nt_dirent {
    uint16_t d_reclen; /* d_namlen + 5 */
    uint16_t d_namlen; /* bytes */
    char d_name[260];  /* multibyte, terminated */
};

/* A directory path of fewer than 1020 bytes; null with errno set. */
NT_API NT_DIR *nt_opendir(const char *path);
/* The next entry ("." and ".." first, except at a drive root), valid until
 * the next call on the stream; null at the end and on errors. */
NT_API struct nt_dirent *nt_readdir(NT_DIR *dir);
/* 0 with *result the caller's entry, or null at the end; an errno value on error. */
NT_API int nt_readdir_r(NT_DIR *dir, struct nt_dirent *entry, struct nt_dirent **result);
NT_API int nt_closedir(NT_DIR *dir);

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
#define DIR NT_DIR
#define dirent nt_dirent
#define opendir nt_opendir
#define readdir nt_readdir
#define readdir_r nt_readdir_r
#define closedir nt_closedir
#define truncate64 nt_truncate64
#define ftruncate64 nt_ftruncate64
#define fseeko64 nt_fseeko64
#define ftello64 nt_ftello64
#define fgetpos64 nt_fgetpos64
#define fsetpos64 nt_fsetpos64
#endif

#endif /* QUARN_NTPOSIX_H */
