// Exceptions on Linux: the unhandled-exception filter is a handler of the fatal
// signals, run on an alternate stack and chained to the handler it replaced;
// RaiseException offers a software exception to the vectored handlers with
// the caller's registers.  A CONTEXT holds the host's ucontext_t.
//
// The signal handler allocates nothing: the records it hands to the filter
// live on the alternate stack.  A thread has one once it asks for a stack
// guarantee; the stack is its own mapping, unmapped when the thread ends.
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "winbase.h"

static_assert(sizeof(ucontext_t) <= sizeof(CONTEXT), "CONTEXT must hold the host's ucontext_t");

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr size_t kMaxVectoredHandlers = 16;

std::atomic<LPTOP_LEVEL_EXCEPTION_FILTER> top_level_filter{nullptr};
std::once_flag handlers_installed;
struct sigaction previous_actions[std::size(kFatalSignals)];
std::atomic<int> fault_owner{0};  // the thread handling a fatal signal, so a second one waits

std::mutex vectored_mutex;
PVECTORED_EXCEPTION_HANDLER vectored[kMaxVectoredHandlers];
size_t vectored_count = 0;

UINT error_mode = 0;

int gettid_raw() { return static_cast<int>(syscall(SYS_gettid)); }

DWORD exception_code_of(int signal, const siginfo_t *info) {
    switch (signal) {
    case SIGSEGV: return EXCEPTION_ACCESS_VIOLATION;
    case SIGBUS: return EXCEPTION_IN_PAGE_ERROR;
    case SIGILL: return EXCEPTION_ILLEGAL_INSTRUCTION;
    case SIGFPE: return info->si_code == FPE_INTDIV ? EXCEPTION_INT_DIVIDE_BY_ZERO : EXCEPTION_FLT_INVALID_OPERATION;
    default: return STATUS_FATAL_APP_EXIT;  // abort()
    }
}

size_t signal_slot(int signal) {
    for (size_t i = 0; i < std::size(kFatalSignals); ++i)
        if (kFatalSignals[i] == signal) return i;
    return 0;
}

// The handler that was there before ours runs next; with none, the signal's
// default action ends the process once this handler returns.
void chain_to_previous(int signal, siginfo_t *info, void *context) {
    const struct sigaction &previous = previous_actions[signal_slot(signal)];
    if (previous.sa_flags & SA_SIGINFO) {
        if (previous.sa_sigaction) {
            previous.sa_sigaction(signal, info, context);
            return;
        }
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
        return;
    }
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    // Pending until the handler returns and the mask is restored: a fault
    // that was raised (abort) is delivered again, a hardware fault repeats.
    syscall(SYS_tgkill, getpid(), gettid_raw(), signal);
}

void on_fatal_signal(int signal, siginfo_t *info, void *context) {
    int saved_errno = errno;
    int self = gettid_raw();
    int expected = 0;
    // One thread at a time writes its dump; another faulting thread waits its turn
    // and the process usually ends before then.
    while (!fault_owner.compare_exchange_weak(expected, self) && expected != self) {
        expected = 0;
        syscall(SYS_sched_yield);
    }
    LONG verdict = EXCEPTION_CONTINUE_SEARCH;
    if (LPTOP_LEVEL_EXCEPTION_FILTER filter = top_level_filter.load()) {
        EXCEPTION_RECORD record{};
        record.ExceptionCode = exception_code_of(signal, info);
        record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
        record.ExceptionAddress = info->si_addr;
        if (signal == SIGSEGV || signal == SIGBUS) {
            record.NumberParameters = 2;
            record.ExceptionInformation[1] = reinterpret_cast<ULONG_PTR>(info->si_addr);
        }
        CONTEXT registers;
        std::memcpy(registers.opaque, context, sizeof(ucontext_t));
        EXCEPTION_POINTERS pointers{&record, &registers};
        verdict = filter(&pointers);
    }
    fault_owner.store(0);
    if (verdict != EXCEPTION_CONTINUE_EXECUTION) chain_to_previous(signal, info, context);
    errno = saved_errno;
}

// The alternate stack this layer gave the thread; it goes with the thread,
// unless someone else's replaced it meanwhile (then it stays, as that one
// may still be in use).
struct FaultStack {
    void *memory = nullptr;
    size_t size = 0;
    size_t foreign_size = 0;  // another's alternate stack, as first seen
    ~FaultStack() {
        if (!memory) return;
        stack_t current{};
        if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) || current.ss_sp != memory) return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        if (sigaltstack(&off, nullptr) == 0) munmap(memory, size);
    }
};

thread_local FaultStack fault_stack;

// The size of the thread's alternate stack, ours or another's, or 0.
size_t alternate_stack_size() {
    stack_t current{};
    if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE)) return 0;
    return current.ss_size;
}

void install_fatal_signal_handlers() {
    struct sigaction action {};
    action.sa_sigaction = on_fatal_signal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kFatalSignals); ++i) sigaction(kFatalSignals[i], &action, &previous_actions[i]);
}

}  // namespace

extern "C" {

LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter) {
    std::call_once(handlers_installed, install_fatal_signal_handlers);
    return top_level_filter.exchange(filter);
}

PVOID AddVectoredExceptionHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler) {
    std::lock_guard lock(vectored_mutex);
    if (!handler || vectored_count == kMaxVectoredHandlers) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (first) {
        std::memmove(vectored + 1, vectored, vectored_count * sizeof vectored[0]);
        vectored[0] = handler;
    } else {
        vectored[vectored_count] = handler;
    }
    ++vectored_count;
    return reinterpret_cast<PVOID>(handler);
}

ULONG RemoveVectoredExceptionHandler(PVOID handle) {
    std::lock_guard lock(vectored_mutex);
    for (size_t i = 0; i < vectored_count; ++i)
        if (reinterpret_cast<PVOID>(vectored[i]) == handle) {
            std::memmove(vectored + i, vectored + i + 1, (vectored_count - i - 1) * sizeof vectored[0]);
            --vectored_count;
            return 1;
        }
    return 0;
}

// The registers are taken here, in a frame that stays alive while the
// handlers run below it, so a dump they write unwinds to the raiser.
__attribute__((noinline)) void RaiseException(DWORD code, DWORD flags, DWORD count, const ULONG_PTR *arguments) {
    CONTEXT registers;
    getcontext(reinterpret_cast<ucontext_t *>(registers.opaque));
    EXCEPTION_RECORD record{};
    record.ExceptionCode = code;
    record.ExceptionFlags = flags & EXCEPTION_NONCONTINUABLE;
    record.ExceptionAddress = __builtin_return_address(0);
    record.NumberParameters = count < EXCEPTION_MAXIMUM_PARAMETERS ? count : EXCEPTION_MAXIMUM_PARAMETERS;
    if (arguments) std::memcpy(record.ExceptionInformation, arguments, record.NumberParameters * sizeof(ULONG_PTR));
    EXCEPTION_POINTERS pointers{&record, &registers};

    PVECTORED_EXCEPTION_HANDLER handlers[kMaxVectoredHandlers];
    size_t handler_count;
    {
        std::lock_guard lock(vectored_mutex);
        handler_count = vectored_count;
        std::memcpy(handlers, vectored, handler_count * sizeof handlers[0]);
    }
    for (size_t i = 0; i < handler_count; ++i)
        if (handlers[i](&pointers) == EXCEPTION_CONTINUE_EXECUTION && !(record.ExceptionFlags & EXCEPTION_NONCONTINUABLE))
            return;
    if (LPTOP_LEVEL_EXCEPTION_FILTER filter = top_level_filter.load())
        if (filter(&pointers) == EXCEPTION_CONTINUE_EXECUTION && !(record.ExceptionFlags & EXCEPTION_NONCONTINUABLE))
            return;
    _exit(static_cast<int>(code & 0xFF) ? static_cast<int>(code & 0xFF) : 1);
}

BOOL SetThreadStackGuarantee(ULONG *size) {
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Asked again and again (on every use of a library that wants it): the
    // thread's own record answers without a system call.
    if (!fault_stack.memory && !fault_stack.foreign_size) fault_stack.foreign_size = alternate_stack_size();
    size_t before = fault_stack.memory ? fault_stack.size : fault_stack.foreign_size;
    size_t wanted = *size;
    *size = static_cast<ULONG>(before);
    if (wanted <= before) return TRUE;
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    wanted = (wanted + page - 1) / page * page;
    if (wanted < static_cast<size_t>(MINSIGSTKSZ)) wanted = (MINSIGSTKSZ + page - 1) / page * page;
    void *memory = mmap(nullptr, wanted, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    stack_t stack{};
    stack.ss_sp = memory;
    stack.ss_size = wanted;
    if (sigaltstack(&stack, nullptr) != 0) {  // refused while the thread runs on its present one
        munmap(memory, wanted);
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (fault_stack.memory) munmap(fault_stack.memory, fault_stack.size);
    fault_stack.memory = memory;
    fault_stack.size = wanted;
    return TRUE;
}

UINT SetErrorMode(UINT mode) {
    return __atomic_exchange_n(&error_mode, mode, __ATOMIC_ACQ_REL);
}

UINT GetErrorMode() { return __atomic_load_n(&error_mode, __ATOMIC_ACQUIRE); }

}  // extern "C"
