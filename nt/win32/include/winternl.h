// The native layer as the library sees it: counted strings, object
// attributes, DOS-to-native path translation, the object manager's directory
// and symbolic-link objects, referenced objects and their waits, process
// information, and opening a device by its object-manager name to ask its
// driver.
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

// A counted copy of `text`, freed with RtlFreeUnicodeString; FALSE when it
// cannot be made.
BOOL RtlCreateUnicodeStringFromAsciiz(PUNICODE_STRING target, LPCSTR text);

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

typedef struct _IO_STATUS_BLOCK {
    NTSTATUS Status;
    ULONG_PTR Information;
} IO_STATUS_BLOCK, *PIO_STATUS_BLOCK;

constexpr ULONG FILE_NON_DIRECTORY_FILE = 0x00000040;

// Opens "\Device\NAME" of a network adapter (see DeviceIoControl).
NTSTATUS NtOpenFile(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes, PIO_STATUS_BLOCK io,
                    ULONG share, ULONG options);

// The network driver's statistics query: the object id (a DWORD) in, its value out.
constexpr DWORD IOCTL_NDIS_QUERY_GLOBAL_STATS = 0x00170002;
constexpr DWORD OID_GEN_MEDIA_IN_USE = 0x00010103;
constexpr DWORD OID_802_3_CURRENT_ADDRESS = 0x01010102;
constexpr DWORD OID_802_3_PERMANENT_ADDRESS = 0x01010101;
constexpr DWORD OID_802_5_CURRENT_ADDRESS = 0x02010102;
constexpr DWORD OID_802_5_PERMANENT_ADDRESS = 0x02010101;
constexpr DWORD NdisMedium802_3 = 0;
constexpr DWORD NdisMedium802_5 = 1;
constexpr DWORD NdisMediumWan = 3;
constexpr DWORD NdisMediumLoopback = 12;
BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD in_size, LPVOID out, DWORD out_size,
                     LPDWORD returned, LPVOID overlapped);

// Referenced objects, as the kernel's own code keeps them: a pointer to the
// object behind a handle that stays valid, whatever becomes of the handle,
// until it is dereferenced.  A caller that waits on one object very often
// resolves its handle once and skips the handle table on every wait.
typedef struct _OBJECT_TYPE *POBJECT_TYPE;
typedef char KPROCESSOR_MODE;
constexpr KPROCESSOR_MODE KernelMode = 0;
typedef enum _KWAIT_REASON { Executive = 0 } KWAIT_REASON;
typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    };
    long long QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

extern POBJECT_TYPE *ExMutantObjectType;

// `type` null takes an object of any type; STATUS_OBJECT_TYPE_MISMATCH for a
// handle to another type, STATUS_INVALID_HANDLE for one that is not open.
// `access`, `mode` and `handle_information` (which may be null) are not used:
// the handle's own access was checked when it was opened.
NTSTATUS ObReferenceObjectByHandle(HANDLE handle, ACCESS_MASK access, POBJECT_TYPE type, KPROCESSOR_MODE mode,
                                   PVOID *object, PVOID handle_information);
void ObDereferenceObject(PVOID object);
// STATUS_SUCCESS, STATUS_ABANDONED (a mutex whose owner died: now the
// caller's), or STATUS_TIMEOUT.  `timeout` is in units of 100 ns, negative
// for a time from now, positive for a system time; null waits for ever.
NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON reason, KPROCESSOR_MODE mode, BOOLEAN alertable,
                               PLARGE_INTEGER timeout);
// Releases a mutex the calling thread holds (an object of ExMutantObjectType)
// once, and returns its signal state before: 0 when it is free now, below 0
// while the thread still holds it recursively.  STATUS_MUTANT_NOT_OWNED, and
// nothing changes, when the thread does not hold it.  `wait` is not used.
LONG KeReleaseMutex(PVOID mutex, BOOLEAN wait);

typedef struct _PROCESS_BASIC_INFORMATION {
    NTSTATUS ExitStatus;
    PVOID PebBaseAddress;
    ULONG_PTR AffinityMask;
    LONG BasePriority;
    ULONG_PTR UniqueProcessId;
    ULONG_PTR InheritedFromUniqueProcessId;
} PROCESS_BASIC_INFORMATION;

constexpr ULONG ProcessBasicInformation = 0;
// Class ProcessBasicInformation of a process handle (or GetCurrentProcess()).
NTSTATUS NtQueryInformationProcess(HANDLE process, ULONG information_class, PVOID information, ULONG length,
                                   PULONG returned);

}  // extern "C"
