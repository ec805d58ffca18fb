// An ELF core file of the running process, written by a helper.
//
// The process that asks (perhaps in a fatal-signal handler, perhaps with the
// allocator's lock held by a thread that crashed) only makes a bare clone of
// itself, lets that clone trace it (PR_SET_PTRACER) and waits for one byte.
// The clone takes nothing from the allocator or from any lock: its buffers
// are mmap'd, its files read with plain system calls.  It
//   1. stops every thread of the process with PTRACE_SEIZE + PTRACE_INTERRUPT,
//      and takes their registers (the faulting thread's from its exception);
//   2. reads /proc/PID/maps and picks the mappings that the dump type wants;
//   3. writes the ELF header, a PT_LOAD per mapping, the notes (process
//      information, auxiliary vector, mapped files, every thread's registers,
//      the reason) and the memory, read through /proc/PID/mem;
//   4. lets the threads go.
// Memory that was never touched, and pages of zeros, are not written: the file
// has holes there, and a long untouched stretch of private memory (a
// sanitizer's shadow, a reserved heap) is a PT_LOAD of its own with no bytes,
// so neither the disk nor the file's length grows with what was reserved.
#include "dbghelp/core_dump.h"

#include "dbghelp/touched_pages.h"

#include <dirent.h>
#include <elf.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/procfs.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quarn::win32 {
namespace {

#if defined(__x86_64__)
using GeneralRegisters = user_regs_struct;
using FloatRegisters = user_fpregs_struct;
constexpr Elf64_Half kMachine = EM_X86_64;
#elif defined(__aarch64__)
using GeneralRegisters = user_regs_struct;
using FloatRegisters = user_fpsimd_struct;
constexpr Elf64_Half kMachine = EM_AARCH64;
#else
#error "the dump writer knows the registers of x86-64 and AArch64"
#endif
static_assert(sizeof(GeneralRegisters) == sizeof(elf_gregset_t));

// The owner and types of this system's own notes.
constexpr char kNoteOwner[] = "QUARN";
constexpr Elf64_Word kNoteException = 1;  // {u32 code, u32 thread id, u64 address}
constexpr Elf64_Word kNoteReason = 10;    // the reason text with its terminator

constexpr size_t kScratchSize = size_t{1} << 30;  // reserved, touched as used
constexpr size_t kMaxThreads = 32768;
constexpr size_t kCopyChunk = 1 << 20;
constexpr size_t kPageScanBuffer = 1 << 20;
// An untouched stretch of private memory this long is listed without bytes;
// a shorter one is a hole of the file, read back as zeros.
constexpr uint64_t kListedGap = uint64_t{64} << 20;
constexpr int kHelperTimeoutMs = 120000;
constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

// ---- the helper's memory: a bump region of its own mapping -----------------------

struct Scratch {
    char *base = nullptr;
    size_t used = 0;

    bool open() {
        void *p = mmap(nullptr, kScratchSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (p == MAP_FAILED) return false;
        base = static_cast<char *>(p);
        return true;
    }
    void *take(size_t bytes) {
        size_t start = (used + 15) & ~size_t{15};
        if (start + bytes > kScratchSize) return nullptr;
        used = start + bytes;
        return base + start;
    }
    // Everything left, for a read of unknown length; give back with `keep`.
    char *tail(size_t &room) {
        used = (used + 15) & ~size_t{15};
        room = kScratchSize - used;
        return base + used;
    }
    void keep(size_t bytes) { used += bytes; }
};

// "/proc/PID/LEAF" in `path` (64 bytes), built without the formatting functions.
void proc_path(char (&path)[64], pid_t pid, const char *leaf) {
    char *p = path;
    for (const char *s = "/proc/"; *s;) *p++ = *s++;
    char digits[16];
    int n = 0;
    for (unsigned v = static_cast<unsigned>(pid); v || !n; v /= 10) digits[n++] = static_cast<char>('0' + v % 10);
    while (n) *p++ = digits[--n];
    *p++ = '/';
    while (*leaf && p < path + 63) *p++ = *leaf++;
    *p = 0;
}

// The whole of a /proc file, or null.
const char *read_proc_file(Scratch &scratch, pid_t pid, const char *leaf, size_t &length) {
    char path[64];
    proc_path(path, pid, leaf);
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    size_t room;
    char *buffer = scratch.tail(room);
    length = 0;
    for (;;) {
        ssize_t got = ::read(fd, buffer + length, room - length);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        length += static_cast<size_t>(got);
    }
    ::close(fd);
    scratch.keep(length + 1);
    buffer[length] = 0;
    return buffer;
}

// ---- threads -------------------------------------------------------------------------

struct Thread {
    pid_t tid;
    bool stopped;
    int pending_signal;  // a signal the stop took, handed back at detach
    bool has_registers;
    bool has_float;
    GeneralRegisters registers;
    FloatRegisters float_registers;
};

struct Threads {
    Thread *list = nullptr;
    size_t count = 0;

    bool known(pid_t tid) const {
        for (size_t i = 0; i < count; ++i)
            if (list[i].tid == tid) return true;
        return false;
    }
};

void stop_thread(Thread &t) {
    if (ptrace(PTRACE_SEIZE, t.tid, nullptr, nullptr) != 0) return;
    if (ptrace(PTRACE_INTERRUPT, t.tid, nullptr, nullptr) != 0) {
        ptrace(PTRACE_DETACH, t.tid, nullptr, nullptr);
        return;
    }
    int status = 0;
    pid_t got;
    do got = waitpid(t.tid, &status, __WALL);
    while (got == -1 && errno == EINTR);
    if (got != t.tid || !WIFSTOPPED(status)) return;  // it ended meanwhile
    t.stopped = true;
    if ((status >> 16) != PTRACE_EVENT_STOP) t.pending_signal = WSTOPSIG(status);
    iovec general{&t.registers, sizeof t.registers};
    t.has_registers = ptrace(PTRACE_GETREGSET, t.tid, reinterpret_cast<void *>(NT_PRSTATUS), &general) == 0;
    iovec floating{&t.float_registers, sizeof t.float_registers};
    t.has_float = ptrace(PTRACE_GETREGSET, t.tid, reinterpret_cast<void *>(NT_PRFPREG), &floating) == 0;
}

// Every thread of `pid`, stopped.  Threads started while the list is read are
// found by reading it again until it holds no new one.
bool stop_all_threads(Scratch &scratch, pid_t pid, Threads &threads) {
    threads.list = static_cast<Thread *>(scratch.take(kMaxThreads * sizeof(Thread)));
    if (!threads.list) return false;
    char path[64];
    proc_path(path, pid, "task");
    alignas(8) char entries[8192];
    for (int pass = 0; pass < 16; ++pass) {
        int dir = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0) return false;
        bool found_new = false;
        for (;;) {
            long got = syscall(SYS_getdents64, dir, entries, sizeof entries);
            if (got <= 0) break;
            for (long at = 0; at < got;) {
                auto *entry = reinterpret_cast<dirent64 *>(entries + at);
                at += entry->d_reclen;
                pid_t tid = 0;
                for (const char *c = entry->d_name; *c >= '0' && *c <= '9'; ++c) tid = tid * 10 + (*c - '0');
                if (tid <= 0 || threads.known(tid) || threads.count == kMaxThreads) continue;
                Thread &t = threads.list[threads.count++];
                std::memset(&t, 0, sizeof t);
                t.tid = tid;
                stop_thread(t);
                found_new = true;
            }
        }
        ::close(dir);
        if (!found_new) break;
    }
    return true;
}

void release_threads(const Threads &threads) {
    for (size_t i = 0; i < threads.count; ++i)
        if (threads.list[i].stopped)
            ptrace(PTRACE_DETACH, threads.list[i].tid, nullptr,
                   reinterpret_cast<void *>(static_cast<intptr_t>(threads.list[i].pending_signal)));
}

// The registers of the exception replace the live ones (the thread now waits
// for this dump); the rest (segment bases) stay as ptrace read them.
void apply_fault_context(Thread &t, const void *context) {
    const auto *uc = static_cast<const ucontext_t *>(context);
    GeneralRegisters &r = t.registers;
#if defined(__x86_64__)
    const greg_t *g = uc->uc_mcontext.gregs;
    r.r8 = g[REG_R8], r.r9 = g[REG_R9], r.r10 = g[REG_R10], r.r11 = g[REG_R11];
    r.r12 = g[REG_R12], r.r13 = g[REG_R13], r.r14 = g[REG_R14], r.r15 = g[REG_R15];
    r.rdi = g[REG_RDI], r.rsi = g[REG_RSI], r.rbp = g[REG_RBP], r.rbx = g[REG_RBX];
    r.rdx = g[REG_RDX], r.rax = g[REG_RAX], r.rcx = g[REG_RCX], r.rsp = g[REG_RSP];
    r.rip = g[REG_RIP], r.eflags = g[REG_EFL];
    r.orig_rax = static_cast<unsigned long long>(-1);
#else
    for (int i = 0; i < 31; ++i) r.regs[i] = uc->uc_mcontext.regs[i];
    r.sp = uc->uc_mcontext.sp, r.pc = uc->uc_mcontext.pc, r.pstate = uc->uc_mcontext.pstate;
#endif
    t.has_registers = true;
}

uint64_t stack_pointer(const Thread &t) {
#if defined(__x86_64__)
    return t.registers.rsp;
#else
    return t.registers.sp;
#endif
}

// ---- mappings ---------------------------------------------------------------------

struct Mapping {
    uint64_t start, end, offset;
    bool readable, writable, executable, shared;
    const char *name;  // in the maps text, terminated in place; "" for anonymous memory
};

// One PT_LOAD: a mapping or a stretch of one.
struct Segment {
    uint64_t start, end;
    uint64_t file_size;  // the bytes the file holds from `start`: 0, one page, or all
    uint64_t file_offset;
    Elf64_Word flags;
    bool sparse;  // private anonymous memory: only its touched pages are read
};

uint64_t parse_hex(const char *&p) {
    uint64_t v = 0;
    for (;; ++p) {
        char c = *p;
        if (c >= '0' && c <= '9') v = v * 16 + static_cast<uint64_t>(c - '0');
        else if (c >= 'a' && c <= 'f') v = v * 16 + static_cast<uint64_t>(c - 'a' + 10);
        else return v;
    }
}

// Lines "start-end perms offset dev inode [name]"; the text is cut in place.
size_t parse_maps(char *text, size_t length, Mapping *out, size_t capacity) {
    size_t count = 0;
    char *end = text + length;
    for (char *line = text; line < end && count < capacity;) {
        char *next = static_cast<char *>(std::memchr(line, '\n', static_cast<size_t>(end - line)));
        if (!next) next = end;
        *next = 0;
        const char *p = line;
        Mapping m{};
        m.start = parse_hex(p);
        if (*p++ == '-') {
            m.end = parse_hex(p);
            ++p;
            m.readable = p[0] == 'r', m.writable = p[1] == 'w', m.executable = p[2] == 'x', m.shared = p[3] == 's';
            p += 5;
            m.offset = parse_hex(p);
            for (int field = 0; field < 2 && *p; ++field) {  // dev, inode
                while (*p == ' ') ++p;
                while (*p && *p != ' ') ++p;
            }
            while (*p == ' ') ++p;
            m.name = p;
            if (m.end > m.start) out[count++] = m;
        }
        line = next + 1;
    }
    return count;
}

bool starts_with(const char *s, const char *prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

bool is_elf_image(int memory, const Mapping &m) {
    char magic[4];
    return pread(memory, magic, 4, static_cast<off_t>(m.start)) == 4 && std::memcmp(magic, ELFMAG, SELFMAG) == 0;
}

bool holds_a_stack(const Mapping &m, const Threads &threads) {
    for (size_t i = 0; i < threads.count; ++i) {
        uint64_t sp = stack_pointer(threads.list[i]);
        if (threads.list[i].has_registers && sp >= m.start && sp < m.end) return true;
    }
    return false;
}

// How much of a mapping the file holds: everything for full memory; else the
// stacks, the writable data, the vDSO and the first page of every mapped ELF
// image (what a debugger needs to tell the images apart).  Memory that cannot
// be read (no read permission, [vvar], device memory) is listed with no bytes.
uint64_t bytes_to_dump(const Mapping &m, bool full_memory, int memory, const Threads &threads, uint64_t page) {
    if (!m.readable) return 0;
    if (starts_with(m.name, "[vvar") || starts_with(m.name, "[vsyscall]")) return 0;
    if (starts_with(m.name, "/dev/") && !starts_with(m.name, "/dev/shm/") && !starts_with(m.name, "/dev/zero"))
        return 0;
    uint64_t size = m.end - m.start;
    if (full_memory || m.writable || holds_a_stack(m, threads) || std::strcmp(m.name, "[vdso]") == 0) return size;
    if (m.name[0] == '/' && m.offset == 0 && is_elf_image(memory, m)) return page;
    return 0;
}

// Private memory of no file, whose untouched pages hold nothing: the kernel's
// special mappings aside, whose pages it supplies itself.
bool is_private_anonymous(const Mapping &m) {
    return !m.shared && m.name[0] != '/' && std::strcmp(m.name, "[vdso]") != 0 && !starts_with(m.name, "[vvar") &&
           !starts_with(m.name, "[vsyscall]");
}

struct SegmentList {
    Segment *list;
    size_t count = 0, capacity;

    bool add(const Mapping &m, uint64_t start, uint64_t end, uint64_t file_size, bool sparse) {
        if (end <= start) return true;
        if (count == capacity) return false;
        Elf64_Word flags = (m.readable ? PF_R : 0) | (m.writable ? PF_W : 0) | (m.executable ? PF_X : 0);
        list[count++] = {start, end, file_size, 0, flags, sparse};
        return true;
    }
};

// The segments of one mapping.  A private anonymous one is cut around its
// long untouched stretches, which get no bytes.
bool plan_segments(const Mapping &m, uint64_t dump_size, TouchedPages &touched, SegmentList &segments) {
    if (dump_size != m.end - m.start || !is_private_anonymous(m)) return segments.add(m, m.start, m.end, dump_size, false);
    uint64_t piece = m.start, data_end = m.start;
    PageRun run;
    for (uint64_t at = m.start; touched.next(at, m.end, run); at = run.end) {
        if (run.start - data_end >= kListedGap) {
            if (!segments.add(m, piece, data_end, data_end - piece, true) ||
                !segments.add(m, data_end, run.start, 0, false))
                return false;
            piece = run.start;
        }
        data_end = run.end;
    }
    if (m.end - data_end < kListedGap) return segments.add(m, piece, m.end, m.end - piece, true);
    return segments.add(m, piece, data_end, data_end - piece, true) && segments.add(m, data_end, m.end, 0, false);
}

// ---- notes ------------------------------------------------------------------------------

struct NoteWriter {
    char *buffer;
    size_t size = 0;

    static size_t padded(size_t n) { return (n + 3) & ~size_t{3}; }
    static size_t room(size_t name_size, size_t desc_size) {
        return sizeof(Elf64_Nhdr) + padded(name_size) + padded(desc_size);
    }
    void add(const char *name, Elf64_Word type, const void *desc, size_t desc_size) {
        size_t name_size = std::strlen(name) + 1;
        Elf64_Nhdr header{static_cast<Elf64_Word>(name_size), static_cast<Elf64_Word>(desc_size), type};
        std::memcpy(buffer + size, &header, sizeof header);
        size += sizeof header;
        std::memset(buffer + size, 0, padded(name_size) + padded(desc_size));
        std::memcpy(buffer + size, name, name_size);
        size += padded(name_size);
        if (desc_size) std::memcpy(buffer + size, desc, desc_size);
        size += padded(desc_size);
    }
};

void copy_text(char *to, size_t room, const char *from, size_t length) {
    size_t n = length < room - 1 ? length : room - 1;
    std::memcpy(to, from, n);
    to[n] = 0;
}

void add_process_note(NoteWriter &notes, Scratch &scratch, pid_t pid, pid_t parent) {
    elf_prpsinfo info{};
    info.pr_sname = 'R';
    info.pr_uid = getuid();
    info.pr_gid = getgid();
    info.pr_pid = pid;
    info.pr_ppid = parent;
    info.pr_pgrp = getpgid(pid);
    info.pr_sid = getsid(pid);
    size_t length = 0;
    if (const char *comm = read_proc_file(scratch, pid, "comm", length)) {
        while (length && comm[length - 1] == '\n') --length;
        copy_text(info.pr_fname, sizeof info.pr_fname, comm, length);
    }
    if (char *args = const_cast<char *>(read_proc_file(scratch, pid, "cmdline", length))) {
        for (size_t i = 0; i + 1 < length; ++i)
            if (!args[i]) args[i] = ' ';
        copy_text(info.pr_psargs, sizeof info.pr_psargs, args, length ? length - 1 : 0);
    }
    notes.add("CORE", NT_PRPSINFO, &info, sizeof info);
}

size_t mapped_file_note_size(const Mapping *maps, size_t count) {
    size_t size = 2 * sizeof(uint64_t);
    for (size_t i = 0; i < count; ++i)
        if (maps[i].name[0] == '/') size += 3 * sizeof(uint64_t) + std::strlen(maps[i].name) + 1;
    return size;
}

// NT_FILE: the count and page size, {start, end, offset in pages} per mapped
// file, then the files' names.
void add_mapped_file_note(NoteWriter &notes, Scratch &scratch, const Mapping *maps, size_t count, uint64_t page) {
    size_t size = mapped_file_note_size(maps, count);
    auto *words = static_cast<uint64_t *>(scratch.take(size));
    if (!words) return;
    uint64_t files = 0;
    for (size_t i = 0; i < count; ++i)
        if (maps[i].name[0] == '/') ++files;
    words[0] = files;
    words[1] = page;
    uint64_t *range = words + 2;
    char *names = reinterpret_cast<char *>(range + 3 * files);
    for (size_t i = 0; i < count; ++i) {
        if (maps[i].name[0] != '/') continue;
        *range++ = maps[i].start;
        *range++ = maps[i].end;
        *range++ = maps[i].offset / page;
        size_t n = std::strlen(maps[i].name) + 1;
        std::memcpy(names, maps[i].name, n);
        names += n;
    }
    notes.add("CORE", NT_FILE, words, size);
}

void add_thread_notes(NoteWriter &notes, const Thread &t, pid_t pid, pid_t parent, int signal) {
    elf_prstatus status{};
    status.pr_info.si_signo = signal;
    status.pr_cursig = static_cast<short>(signal);
    status.pr_pid = t.tid;
    status.pr_ppid = parent;
    status.pr_pgrp = getpgid(pid);
    status.pr_sid = getsid(pid);
    std::memcpy(&status.pr_reg, &t.registers, sizeof t.registers);
    status.pr_fpvalid = t.has_float;
    notes.add("CORE", NT_PRSTATUS, &status, sizeof status);
    if (t.has_float) notes.add("CORE", NT_FPREGSET, &t.float_registers, sizeof t.float_registers);
}

// ---- the file ------------------------------------------------------------------------------

bool write_all(int fd, const void *data, size_t size, off_t at) {
    const char *p = static_cast<const char *>(data);
    while (size) {
        ssize_t n = pwrite(fd, p, size, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n, at += n, size -= static_cast<size_t>(n);
    }
    return true;
}

bool is_zero_page(const char *data, uint64_t page) {
    const auto *words = reinterpret_cast<const uint64_t *>(data);
    uint64_t any = 0;
    for (uint64_t i = 0; i < page / sizeof(uint64_t); ++i) any |= words[i];
    return any == 0;
}

// Writes `size` bytes (whole pages) at `at`, leaving pages of zeros as holes.
bool write_nonzero_pages(int fd, const char *data, uint64_t size, off_t at, uint64_t page) {
    for (uint64_t done = 0; done < size;) {
        if (is_zero_page(data + done, page)) {
            done += page;
            continue;
        }
        uint64_t end = done + page;
        while (end < size && !is_zero_page(data + end, page)) end += page;
        if (!write_all(fd, data + done, static_cast<size_t>(end - done), at + static_cast<off_t>(done))) return false;
        done = end;
    }
    return true;
}

// Copies [start, start + size) of the process to the file at `at`.  Pages
// that cannot be read, or hold zeros, stay holes, which read as zeros.
bool copy_memory(int memory, int fd, uint64_t start, uint64_t size, off_t at, char *chunk, uint64_t page) {
    for (uint64_t done = 0; done < size;) {
        size_t want = static_cast<size_t>(size - done < kCopyChunk ? size - done : kCopyChunk);
        ssize_t got = pread(memory, chunk, want, static_cast<off_t>(start + done));
        if (got == static_cast<ssize_t>(want)) {
            if (!write_nonzero_pages(fd, chunk, want, at + static_cast<off_t>(done), page)) return false;
            done += want;
            continue;
        }
        for (uint64_t end = done + want; done < end; done += page)  // page by page past the hole
            if (pread(memory, chunk, page, static_cast<off_t>(start + done)) == static_cast<ssize_t>(page) &&
                !write_nonzero_pages(fd, chunk, page, at + static_cast<off_t>(done), page))
                return false;
    }
    return true;
}

// Copies a segment's bytes; of a sparse one, only the touched pages.
bool copy_segment(const Segment &s, int memory, int fd, TouchedPages &touched, char *chunk, uint64_t page) {
    uint64_t end = s.start + s.file_size;
    if (!s.sparse) return copy_memory(memory, fd, s.start, s.file_size, static_cast<off_t>(s.file_offset), chunk, page);
    PageRun run;
    for (uint64_t at = s.start; touched.next(at, end, run); at = run.end)
        if (!copy_memory(memory, fd, run.start, run.end - run.start,
                         static_cast<off_t>(s.file_offset + (run.start - s.start)), chunk, page))
            return false;
    return true;
}

// The process as the helper sees it, its threads stopped.
struct Target {
    pid_t pid, parent;
    int memory;   // /proc/PID/mem
    int pagemap;  // /proc/PID/pagemap, or -1
    const Threads &threads;
    uint64_t page;
};

// The ELF header, then the program headers: the notes, then the segments
// laid out one after the other from the first page after the notes.  The end
// of the file.
uint64_t fill_headers(char *headers, size_t headers_size, size_t notes_size, SegmentList &segments, uint64_t page) {
    size_t program_headers = segments.count + 1;
    bool extended = program_headers >= PN_XNUM;  // the count goes in section header 0
    std::memset(headers, 0, headers_size);
    auto *elf = reinterpret_cast<Elf64_Ehdr *>(headers);
    std::memcpy(elf->e_ident, ELFMAG, SELFMAG);
    elf->e_ident[EI_CLASS] = ELFCLASS64;
    elf->e_ident[EI_DATA] = ELFDATA2LSB;
    elf->e_ident[EI_VERSION] = EV_CURRENT;
    elf->e_ident[EI_OSABI] = ELFOSABI_NONE;
    elf->e_type = ET_CORE;
    elf->e_machine = kMachine;
    elf->e_version = EV_CURRENT;
    elf->e_phoff = sizeof(Elf64_Ehdr);
    elf->e_ehsize = sizeof(Elf64_Ehdr);
    elf->e_phentsize = sizeof(Elf64_Phdr);
    elf->e_phnum = extended ? PN_XNUM : static_cast<Elf64_Half>(program_headers);
    if (extended) {
        elf->e_shoff = sizeof(Elf64_Ehdr) + program_headers * sizeof(Elf64_Phdr);
        elf->e_shentsize = sizeof(Elf64_Shdr);
        elf->e_shnum = 1;
        reinterpret_cast<Elf64_Shdr *>(headers + elf->e_shoff)->sh_info = static_cast<Elf64_Word>(program_headers);
    }
    auto *ph = reinterpret_cast<Elf64_Phdr *>(headers + sizeof(Elf64_Ehdr));
    ph[0].p_type = PT_NOTE;
    ph[0].p_offset = headers_size;
    ph[0].p_filesz = notes_size;
    uint64_t offset = (headers_size + notes_size + page - 1) & ~(page - 1);
    for (size_t i = 0; i < segments.count; ++i) {
        Segment &s = segments.list[i];
        s.file_offset = offset;
        Elf64_Phdr &p = ph[i + 1];
        p.p_type = PT_LOAD;
        p.p_flags = s.flags;
        p.p_offset = offset;
        p.p_vaddr = s.start;
        p.p_filesz = s.file_size;
        p.p_memsz = s.end - s.start;
        p.p_align = page;
        offset += s.file_size;
    }
    return offset;
}

int write_file(const CoreDumpRequest &request, Scratch &scratch, const Target &target, char *maps_text,
               size_t maps_length, const char *auxv, size_t auxv_length) {
    const Threads &threads = target.threads;
    size_t capacity = maps_length / 40 + 1;  // a line is longer than 40 characters
    auto *maps = static_cast<Mapping *>(scratch.take(capacity * sizeof(Mapping)));
    void *scan_buffer = scratch.take(kPageScanBuffer);
    if (!maps || !scan_buffer) return ENOMEM;
    size_t count = parse_maps(maps_text, maps_length, maps, capacity);
    TouchedPages touched(target.pagemap, scan_buffer, kPageScanBuffer, target.page);

    size_t room;
    SegmentList segments{reinterpret_cast<Segment *>(scratch.tail(room)), 0, 0};
    segments.capacity = room / sizeof(Segment) / 2;  // half stays for the buffers below
    for (size_t i = 0; i < count; ++i)
        if (!plan_segments(maps[i], bytes_to_dump(maps[i], request.full_memory, target.memory, threads, target.page),
                           touched, segments))
            return ENOMEM;
    scratch.keep(segments.count * sizeof(Segment));

    size_t note_room = NoteWriter::room(sizeof "CORE", sizeof(elf_prpsinfo)) +
                       NoteWriter::room(sizeof "CORE", auxv_length) +
                       NoteWriter::room(sizeof "CORE", mapped_file_note_size(maps, count)) +
                       threads.count * (NoteWriter::room(sizeof "CORE", sizeof(elf_prstatus)) +
                                        NoteWriter::room(sizeof "CORE", sizeof(FloatRegisters))) +
                       NoteWriter::room(sizeof kNoteOwner, 16) +
                       NoteWriter::room(sizeof kNoteOwner, request.reason_size);
    NoteWriter notes{static_cast<char *>(scratch.take(note_room))};
    size_t program_headers = segments.count + 1;
    size_t headers_size = sizeof(Elf64_Ehdr) + program_headers * sizeof(Elf64_Phdr) +
                          (program_headers >= PN_XNUM ? sizeof(Elf64_Shdr) : 0);
    auto *headers = static_cast<char *>(scratch.take(headers_size));
    char *chunk = static_cast<char *>(scratch.take(kCopyChunk));
    if (!notes.buffer || !headers || !chunk) return ENOMEM;

    add_process_note(notes, scratch, target.pid, target.parent);
    if (auxv) notes.add("CORE", NT_AUXV, auxv, auxv_length);
    add_mapped_file_note(notes, scratch, maps, count, target.page);
    for (size_t i = 0; i < threads.count; ++i)
        if (threads.list[i].has_registers)
            add_thread_notes(notes, threads.list[i], target.pid, target.parent,
                             i == 0 && threads.list[0].tid == request.fault_thread ? request.fault_signal : 0);
    struct {
        uint32_t code, thread;
        uint64_t address;
    } exception{request.exception_code, static_cast<uint32_t>(request.fault_thread), request.exception_address};
    notes.add(kNoteOwner, kNoteException, &exception, sizeof exception);
    if (request.reason && request.reason_size) notes.add(kNoteOwner, kNoteReason, request.reason, request.reason_size);

    uint64_t file_end = fill_headers(headers, headers_size, notes.size, segments, target.page);
    bool written = write_all(request.fd, headers, headers_size, 0) &&
                   write_all(request.fd, notes.buffer, notes.size, static_cast<off_t>(headers_size));
    for (size_t i = 0; written && i < segments.count; ++i)
        if (segments.list[i].file_size)
            written = copy_segment(segments.list[i], target.memory, request.fd, touched, chunk, target.page);
    if (written && ftruncate(request.fd, static_cast<off_t>(file_end)) != 0) written = false;
    return written ? 0 : (errno ? errno : EIO);
}

int write_core(const CoreDumpRequest &request, pid_t pid, pid_t parent) {
    Scratch scratch;
    if (!scratch.open()) return ENOMEM;
    Threads threads;
    if (!stop_all_threads(scratch, pid, threads)) return ESRCH;
    // The faulting thread goes first: a debugger shows the first thread's stack.
    for (size_t i = 0; i < threads.count; ++i)
        if (threads.list[i].tid == request.fault_thread) {
            Thread fault = threads.list[i];
            threads.list[i] = threads.list[0];
            threads.list[0] = fault;
            if (request.fault_context) apply_fault_context(threads.list[0], request.fault_context);
        }

    char path[64];
    proc_path(path, pid, "mem");
    Target target{pid, parent, ::open(path, O_RDONLY | O_CLOEXEC), -1, threads,
                  static_cast<uint64_t>(sysconf(_SC_PAGESIZE))};
    proc_path(path, pid, "pagemap");
    target.pagemap = ::open(path, O_RDONLY | O_CLOEXEC);
    size_t maps_length = 0;
    char *maps_text = const_cast<char *>(read_proc_file(scratch, pid, "maps", maps_length));
    size_t auxv_length = 0;
    const char *auxv = read_proc_file(scratch, pid, "auxv", auxv_length);
    int result = target.memory < 0 || !maps_text
                     ? (errno ? errno : EIO)
                     : write_file(request, scratch, target, maps_text, maps_length, auxv, auxv_length);
    if (target.memory >= 0) ::close(target.memory);
    if (target.pagemap >= 0) ::close(target.pagemap);
    release_threads(threads);
    return result;
}

}  // namespace

bool write_core_dump(const CoreDumpRequest &request) {
    int go[2], done[2];
    if (pipe2(go, O_CLOEXEC) != 0) return false;
    if (pipe2(done, O_CLOEXEC) != 0) {
        ::close(go[0]), ::close(go[1]);
        return false;
    }
    pid_t self = getpid(), parent = getppid();
    // A bare clone: no fork handlers, which would take the allocator's locks.
    long child = syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0);
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        // A fault in the helper ends the helper only, without a dump of its own.
        struct sigaction plain {};
        plain.sa_handler = SIG_DFL;
        for (int fatal : kFatalSignals) sigaction(fatal, &plain, nullptr);
        ::close(go[1]), ::close(done[0]);
        char byte;
        while (::read(go[0], &byte, 1) < 0 && errno == EINTR) {
        }
        unsigned char status = static_cast<unsigned char>(write_core(request, self, parent));
        ssize_t ignored = ::write(done[1], &status, 1);
        (void)ignored;
        _exit(status);
    }
    ::close(go[0]), ::close(done[1]);
    bool written = false;
    if (child > 0) {
        prctl(PR_SET_PTRACER, child, 0, 0, 0);  // fails harmlessly where Yama is absent
        ssize_t ignored = ::write(go[1], "g", 1);
        (void)ignored;
        pollfd wait_for{done[0], POLLIN, 0};
        int ready;
        do ready = poll(&wait_for, 1, kHelperTimeoutMs);
        while (ready < 0 && errno == EINTR);
        unsigned char status = 1;
        written = ready == 1 && ::read(done[0], &status, 1) == 1 && status == 0;
        if (ready == 0) kill(static_cast<pid_t>(child), SIGKILL);
        while (waitpid(static_cast<pid_t>(child), nullptr, __WALL) < 0 && errno == EINTR) {
        }
        prctl(PR_SET_PTRACER, 0, 0, 0, 0);
    }
    ::close(go[1]), ::close(done[0]);
    return written;
}

}  // namespace quarn::win32
