// The registry part of the Win32 layer: keys and typed values in hives kept
// under <prefix>/registry/ (see docs/registry.md).  Results are Win32 error
// codes, as RegXxx returns them; the calls never set the last error.
// Internal: nothing declared here leaves libquarnnt.so.
#pragma once

#include "winbase.h"

// The predefined roots.  Their handle values are Windows' own.
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000003u)))

extern "C" {

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_LITTLE_ENDIAN = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_RESOURCE_LIST = 8;
constexpr DWORD REG_FULL_RESOURCE_DESCRIPTOR = 9;
constexpr DWORD REG_RESOURCE_REQUIREMENTS_LIST = 10;
constexpr DWORD REG_QWORD = 11;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_READ = 0x00020019;
constexpr REGSAM KEY_WRITE = 0x00020006;
constexpr REGSAM KEY_EXECUTE = 0x00020019;
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_OPTION_VOLATILE = 1;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Windows' documented limits, in characters.
constexpr DWORD REG_MAX_KEY_NAME = 255;
constexpr DWORD REG_MAX_VALUE_NAME = 16383;
constexpr DWORD REG_MAX_TREE_DEPTH = 512;
constexpr DWORD REG_MAX_CREATE_LEVELS = 32;

LONG RegOpenKeyExA(HKEY key, LPCSTR subkey, DWORD options, REGSAM access, PHKEY result);
LONG RegCreateKeyExA(HKEY key, LPCSTR subkey, DWORD reserved, LPSTR class_name, DWORD options, REGSAM access,
                     LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition);
LONG RegCloseKey(HKEY key);
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data, DWORD size);
LONG RegDeleteValueA(HKEY key, LPCSTR name);
LONG RegDeleteKeyA(HKEY key, LPCSTR subkey);
LONG RegSetKeyValueA(HKEY key, LPCSTR subkey, LPCSTR name, DWORD type, LPCVOID data, DWORD size);
LONG RegDeleteTreeA(HKEY key, LPCSTR subkey);
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_length, LPDWORD reserved, LPSTR class_name,
                   LPDWORD class_length, PFILETIME last_write);
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD name_length, LPDWORD reserved, LPDWORD type,
                   LPBYTE data, LPDWORD size);
LONG RegQueryInfoKeyA(HKEY key, LPSTR class_name, LPDWORD class_length, LPDWORD reserved, LPDWORD subkeys,
                      LPDWORD max_subkey_length, LPDWORD max_class_length, LPDWORD values,
                      LPDWORD max_value_name_length, LPDWORD max_value_length, LPDWORD security_length,
                      PFILETIME last_write);
LONG RegQueryValueA(HKEY key, LPCSTR subkey, LPSTR data, PLONG size);
LONG RegConnectRegistryA(LPCSTR machine, HKEY key, PHKEY result);

}  // extern "C"
