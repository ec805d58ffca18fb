// The debugging-help library's dump writer, as the library loads it at run
// time: the dump types, the exception and user-stream records it takes, and
// the type of MiniDumpWriteDump.  Internal: nothing declared here leaves
// libquarnnt.so.
#pragma once

#include "winbase.h"

// Dump types.  Without MiniDumpWithFullMemory a dump holds the threads'
// stacks and the writable data only.
constexpr DWORD MiniDumpNormal = 0x00000000;
constexpr DWORD MiniDumpWithDataSegs = 0x00000001;
constexpr DWORD MiniDumpWithFullMemory = 0x00000002;
constexpr DWORD MiniDumpWithHandleData = 0x00000004;
constexpr DWORD MiniDumpWithUnloadedModules = 0x00000020;
constexpr DWORD MiniDumpWithProcessThreadData = 0x00000100;

// A comment stream: ANSI text with its terminator.
constexpr ULONG CommentStreamA = 10;

typedef struct _MINIDUMP_EXCEPTION_INFORMATION {
    DWORD ThreadId;
    PEXCEPTION_POINTERS ExceptionPointers;
    BOOL ClientPointers;
} MINIDUMP_EXCEPTION_INFORMATION, *PMINIDUMP_EXCEPTION_INFORMATION;

typedef struct _MINIDUMP_USER_STREAM {
    ULONG Type;
    ULONG BufferSize;
    PVOID Buffer;
} MINIDUMP_USER_STREAM, *PMINIDUMP_USER_STREAM;

typedef struct _MINIDUMP_USER_STREAM_INFORMATION {
    ULONG UserStreamCount;
    PMINIDUMP_USER_STREAM UserStreamArray;
} MINIDUMP_USER_STREAM_INFORMATION, *PMINIDUMP_USER_STREAM_INFORMATION;

// The entry point "MiniDumpWriteDump" of a loaded debugging-help library.
typedef BOOL (*MINIDUMP_WRITE_DUMP)(HANDLE process, DWORD process_id, HANDLE file, DWORD dump_type,
                                     PMINIDUMP_EXCEPTION_INFORMATION exception,
                                     PMINIDUMP_USER_STREAM_INFORMATION user_streams, PVOID callback);
