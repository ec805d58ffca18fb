// Native NT services the library calls directly: process information, and
// opening a device by its object-manager name to ask its driver.
// Internal: nothing declared here leaves libquarnnt.so.
#pragma once

#include "winbase.h"

extern "C" {

typedef ULONG *PULONG;

typedef struct _UNICODE_STRING {
    USHORT Length;         // bytes, without a terminator
    USHORT MaximumLength;  // bytes
    WCHAR *Buffer;
} UNICODE_STRING, *PUNICODE_STRING;

// A counted copy of `text`, freed with RtlFreeUnicodeString; FALSE when it
// cannot be made.
BOOL RtlCreateUnicodeStringFromAsciiz(PUNICODE_STRING target, LPCSTR text);
void RtlFreeUnicodeString(PUNICODE_STRING text);

constexpr ULONG OBJ_CASE_INSENSITIVE = 0x00000040;

typedef struct _OBJECT_ATTRIBUTES {
    ULONG Length;
    HANDLE RootDirectory;
    PUNICODE_STRING ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
} OBJECT_ATTRIBUTES, *POBJECT_ATTRIBUTES;

typedef struct _IO_STATUS_BLOCK {
    NTSTATUS Status;
    ULONG_PTR Information;
} IO_STATUS_BLOCK, *PIO_STATUS_BLOCK;

constexpr ULONG FILE_NON_DIRECTORY_FILE = 0x00000040;

// Opens "\Device\NAME" of a network adapter (see DeviceIoControl).
NTSTATUS NtOpenFile(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes, PIO_STATUS_BLOCK io,
                    ULONG share, ULONG options);
NTSTATUS NtClose(HANDLE handle);

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
