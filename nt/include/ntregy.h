/*
 * ntregy.h: the product's configuration in the registry.  Keys named by
 * paths under a root, the common key "\Software\Quarn\Zendrel\CurrentVersion",
 * the numbered product settings, per-application values, the user's lists,
 * and the file-system driver's parameters.
 *
 * Every function returns a Win32 error code, 0 meaning success, unless its
 * comment says otherwise.  A machine name of NULL means this machine; any
 * other name connects to that machine's registry for the one call.
 * Usable from C and C++.
 */
#ifndef QUARN_NTREGY_H
#define QUARN_NTREGY_H

#include "ntexport.h"
#include "ntwintypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Inside the library these come from its Win32 layer. */
#ifndef QUARN_BUILDING_NT
#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define HKEY_USERS ((HKEY)(uintptr_t)0x80000003u)

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_READ 0x00020019
#define KEY_WRITE 0x00020006
#define KEY_EXECUTE 0x00020019
#define KEY_ALL_ACCESS 0x000F003F

/* The codes these functions return. */
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_INVALID_DATA 13
#define ERROR_BAD_NETPATH 53
#define ERROR_INVALID_PARAMETER 87
#define ERROR_BAD_ARGUMENTS 160
#define ERROR_BAD_PATHNAME 161
#define ERROR_MORE_DATA 234
#define ERROR_NO_MORE_ITEMS 259
#define ERROR_BADDB 1009
#define ERROR_CANTOPEN 1011
#define ERROR_CANTREAD 1012
#define ERROR_CANTWRITE 1013
#define ERROR_REGISTRY_IO_FAILED 1016
#define ERROR_KEY_DELETED 1018
#endif

/* ---- keys and values under a root ----------------------------------------- */

NT_API LONG ntregy_close_key(HKEY key);
NT_API LONG ntregy_connect_remote(const char *machine, HKEY root, HKEY *key);
NT_API LONG ntregy_get_handle(HKEY root, const char *path, REGSAM access, HKEY *key);
/* Reads one value into data (NULL: only opens the key); the open key is
 * handed back in *key.  A list of strings gets one more NUL after the data,
 * so data must hold length + 1 bytes for such values.  name may be NULL (the
 * default value); path and key may not (ERROR_INVALID_PARAMETER). */
NT_API LONG ntregy_get_value(HKEY root, const char *path, const char *name, void *data, DWORD length, HKEY *key);
/* Writes one value, creating every missing key of path; hands back the key.
 * name may be NULL (the default value), and data when length is 0; path and
 * key may not (ERROR_INVALID_PARAMETER). */
NT_API LONG ntregy_create_value(HKEY root, const char *path, const char *name, const void *data, DWORD length,
                                DWORD type, HKEY *key);
NT_API LONG ntregy_del_value(HKEY root, const char *path, const char *name);
/* Removes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise). */
NT_API LONG ntregy_del_key(HKEY root, const char *path);
NT_API LONG ntregy_enum_subkeys(HKEY key, DWORD index, char *name, DWORD *name_length);
/* NUL-terminates name and data: pass at most the data buffer's size - 1. */
NT_API LONG ntregy_enum_value(HKEY key, DWORD index, char *name, DWORD *name_length, DWORD *type, void *data,
                              DWORD *data_length);

/* ---- the common key ---------------------------------------------------------- */

/* "\Software\Quarn\Zendrel\CurrentVersion"; the library's buffer. */
NT_API const char *ntregy_get_common_key(void);
/* "Quarn\Zendrel\CurrentVersion", relative to Software; the library's buffer. */
NT_API const char *ntregy_get_common_key_mfc_style(void);
NT_API LONG ntregy_get_common_key_modtime(FILETIME *time, const char *machine);
NT_API LONG ntregy_modtime_product_info_keys(FILETIME *time, const char *machine);
NT_API LONG ntregy_modtime_znrgy_keys(FILETIME *time, const char *machine);

/* ---- product settings (numbers 0 to 68) --------------------------------------- */

/* The setting's type (REG_SZ, REG_DWORD or REG_MULTI_SZ); REG_NONE for a
 * number that names no setting. */
NT_API DWORD ntregy_get_datatype(int setting);
/* Reads the setting; ERROR_INVALID_PARAMETER for a number that names none. */
NT_API LONG ntregy_get_param(int setting, DWORD size, void *buffer, const char *machine);
/* data: a DWORD *, a NUL-terminated string, or a list of strings ended by one
 * more NUL, as the setting's type says. */
NT_API LONG ntregy_set_param(int setting, const void *data, const char *machine);
NT_API LONG ntregy_del_param(int setting, const char *machine);

/* The application's values under the common key of HKEY_CURRENT_USER.
 * application, and data when setting, may not be NULL (ERROR_INVALID_PARAMETER). */
NT_API LONG ntregy_get_app_param(const char *application, const char *name, DWORD size, void *buffer,
                                 const char *machine);
NT_API LONG ntregy_set_app_param(const char *application, const char *name, DWORD type, const void *data,
                                 const char *machine);
NT_API LONG ntregy_set_app_geometry(const char *application, LONG x, LONG y, LONG width, LONG height,
                                    const char *machine);
/* None of x, y, width and height may be NULL (ERROR_INVALID_PARAMETER). */
NT_API LONG ntregy_get_app_geometry(const char *application, LONG *x, LONG *y, LONG *width, LONG *height,
                                    const char *machine);

/* 1 or 0; computed once per process. */
NT_API int ntregy_admins_are_privileged(void);
NT_API int ntregy_zngroup_is_privileged(void);

NT_API LONG ntregy_update_product_info_keys(const char *text, const char *machine);
NT_API void ntregy_add_persistent_vob(const char *tag);
/* A NULL tag empties the list. */
NT_API void ntregy_remove_persistent_vob(const char *tag);
NT_API void ntregy_add_to_recent_views(const char *tag);
NT_API void ntregy_del_from_recent_views(const char *tag);

NT_API LONG ntregy_get_rgy_passwd(char *buffer, DWORD size, const char *machine);
NT_API LONG ntregy_set_rgy_passwd(const char *password, const char *machine);
NT_API LONG ntregy_del_rgy_svrtype(const char *machine);
/* Removes the product's keys from the bottom up while they are empty. */
NT_API LONG ntregy_del_zendrel_tree(const char *machine);

/* ---- the file-system driver's parameters (numbers 0 to 56) --------------------- */

NT_API DWORD ntregy_get_kelfs_datatype(int parameter);
NT_API LONG ntregy_get_kelfs_param(int parameter, void *buffer, DWORD size, const char *machine);
NT_API LONG ntregy_get_installed_kelfs_param(int parameter, void *buffer, DWORD size, const char *machine);
/* value: the address of a string for string parameters, the number itself
 * for number parameters.  A string parameter's address may not be 0
 * (ERROR_INVALID_PARAMETER). */
NT_API LONG ntregy_set_kelfs_param(int parameter, uintptr_t value, const char *machine);
NT_API LONG ntregy_del_kelfs_param(int parameter);
/* 0 when copied (or nothing to copy), 1 when the destination is too small. */
NT_API int ntregy_get_default_param(int parameter, void *destination, DWORD size);
NT_API LONG ntregy_default_kelfs_param(int parameter, const char *machine);
/* 1 if an installation writes this parameter's default, else 0. */
NT_API int ntregy_should_install_default_kelfs_param(int parameter);
NT_API DWORD nt_get_kelfs_ioctl_cmd(void);

#ifdef __cplusplus
}
#endif

#endif /* QUARN_NTREGY_H */
