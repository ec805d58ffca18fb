// MiniDumpWriteDump of the built-in "dbghelp.dll": the dump of this process
// as an ELF core file (see dbghelp/core_dump.h and docs/dumps.md).  Only the
// calling process can be dumped; the callback is not called.
#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "dbghelp.h"
#include "dbghelp/core_dump.h"
#include "kernel32/file_object.h"
#include "kernel32/module.h"

namespace quarn::win32 {
namespace {

int signal_of(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: return SIGSEGV;
    case EXCEPTION_IN_PAGE_ERROR: return SIGBUS;
    case EXCEPTION_ILLEGAL_INSTRUCTION: return SIGILL;
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION: return SIGFPE;
    case STATUS_FATAL_APP_EXIT: return SIGABRT;
    default: return 0;  // a software exception: the process goes on
    }
}

BOOL write_dump(HANDLE process, DWORD process_id, HANDLE file, DWORD dump_type,
                PMINIDUMP_EXCEPTION_INFORMATION exception, PMINIDUMP_USER_STREAM_INFORMATION user_streams, PVOID) {
    if (process != GetCurrentProcess() || process_id != GetCurrentProcessId()) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    auto object = typed_object<FileObject>(file);
    if (!object) return FALSE;
    if (!object->writable()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    CoreDumpRequest request;
    request.fd = object->fd();
    request.full_memory = dump_type & MiniDumpWithFullMemory;
    if (exception && exception->ExceptionPointers) {
        const EXCEPTION_POINTERS &pointers = *exception->ExceptionPointers;
        request.fault_thread = static_cast<pid_t>(exception->ThreadId);
        if (pointers.ContextRecord) request.fault_context = pointers.ContextRecord->opaque;
        if (const EXCEPTION_RECORD *record = pointers.ExceptionRecord) {
            request.exception_code = record->ExceptionCode;
            request.exception_address = reinterpret_cast<uintptr_t>(record->ExceptionAddress);
            request.fault_signal = signal_of(record->ExceptionCode);
        }
    }
    for (ULONG i = 0; user_streams && i < user_streams->UserStreamCount; ++i) {
        const MINIDUMP_USER_STREAM &stream = user_streams->UserStreamArray[i];
        if (stream.Type == CommentStreamA && stream.Buffer) {
            request.reason = static_cast<const char *>(stream.Buffer);
            request.reason_size = stream.BufferSize;
        }
    }
    if (!write_core_dump(request)) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    return TRUE;
}

const ModuleExport kExports[] = {
    {"MiniDumpWriteDump", reinterpret_cast<FARPROC>(static_cast<MINIDUMP_WRITE_DUMP>(write_dump))},
};

}  // namespace

std::span<const ModuleExport> dbghelp_exports() { return kExports; }

}  // namespace quarn::win32
