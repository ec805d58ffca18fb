// The dump writer behind MiniDumpWriteDump: an ELF core file of the whole
// running process, which gdb and lldb open.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace quarn::win32 {

struct CoreDumpRequest {
    int fd = -1;                          // the dump file, open for writing
    pid_t fault_thread = 0;               // the thread whose registers are `fault_context`, or 0
    const void *fault_context = nullptr;  // that thread's ucontext_t at the exception, or null
    int fault_signal = 0;                 // the signal the thread died of, 0 for a dump on demand
    uint32_t exception_code = 0;
    uint64_t exception_address = 0;
    bool full_memory = false;             // every readable mapping, else stacks and writable data
    const char *reason = nullptr;         // the reason text and its size with the terminator
    size_t reason_size = 0;
};

// Writes the core of this process to request.fd.  The threads are stopped
// while it is written and then go on.  Nothing is allocated in this process:
// a helper, a copy of it made with a bare clone, stops the threads with
// ptrace, reads their memory through /proc and writes the file.  False when
// the helper could not run or could not write the file.
bool write_core_dump(const CoreDumpRequest &request);

}  // namespace quarn::win32
