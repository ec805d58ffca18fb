// The native layer as the library sees it: counted strings, object
// attributes, DOS-to-native path translation and the object manager's
// directory and symbolic-link objects.
// Internal: nothing declared here leaves libquarnnt.so.
#pragma once

#include "winbase.h"

extern "C" {

typedef unsigned char BOOLEAN;
typedef WCHAR *PWSTR;
typedef const WCHAR *PCWSTR;
typedef ULONG *PULONG;

typedef struct _UNICODE_STRING {
    USHORT Length;         // bytes, without a terminator
    USHORT MaximumLength;  // bytes
    PWSTR Buffer;
} UNICODE_STRING, *PUNICODE_STRING;
typedef const UNICODE_STRING *PCUNICODE_STRING;

constexpr ULONG OBJ_CASE_INSENSITIVE = 0x00000040;

typedef struct _OBJECT_ATTRIBUTES {
    ULONG Length;
    HANDLE RootDirectory;
    PUNICODE_STRING ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
} OBJECT_ATTRIBUTES, *POBJECT_ATTRIBUTES;

constexpr ACCESS_MASK SYMBOLIC_LINK_QUERY = 0x0001;
constexpr ACCESS_MASK DIRECTORY_QUERY = 0x0001;
constexpr ACCESS_MASK DIRECTORY_TRAVERSE = 0x0002;

// "C:\x" -> "\??\C:\x", "\\server\share\x" -> "\??\UNC\server\share\x",
// "\\?\x" -> "\??\x"; relative paths are made absolute first.  The string is
// the caller's to free with RtlFreeUnicodeString.  FALSE for a path that
// cannot be translated.
BOOLEAN RtlDosPathNameToNtPathName_U(PCWSTR dos_path, PUNICODE_STRING nt_path, PWSTR *file_part, PVOID reserved);
void RtlFreeUnicodeString(PUNICODE_STRING string);
// Copies what fits of `source` and terminates it when there is room.
void RtlCopyUnicodeString(PUNICODE_STRING destination, PCUNICODE_STRING source);
// STATUS_BUFFER_TOO_SMALL, with `destination` unchanged, when it does not fit.
NTSTATUS RtlAppendUnicodeToString(PUNICODE_STRING destination, PCWSTR source);

// The object namespace: directories "\", "\Device" and "\??", one volume
// device per drive, "\??\X:" links to them and "\??\UNC" to "\Device\Mup".
NTSTATUS NtOpenSymbolicLinkObject(PHANDLE link, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes);
NTSTATUS NtQuerySymbolicLinkObject(HANDLE link, PUNICODE_STRING target, PULONG returned_length);
NTSTATUS NtOpenDirectoryObject(PHANDLE directory, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes);
NTSTATUS NtClose(HANDLE handle);

}  // extern "C"
