// Crash dumps: nt_initialize_minidump finds the log and program directories
// and loads the debugging-help library; nt_register_minidump installs the
// unhandled-exception filter that writes a dump when the program dies;
// nt_write_minidump writes one on demand and lets the program go on.  Each
// dump written is reported as an error event.
#include <cstdio>
#include <cstring>

#include "dbghelp.h"
#include "frame/frame.h"
#include "frame/trace.h"
#include "nt.h"
#include "ntregy.h"

namespace {

constexpr int kSettingProductHome = 8;
constexpr int kSettingHostData = 16;
constexpr int kSettingDisableMiniDump = 63;
constexpr int kSettingMiniDumpType = 64;
constexpr DWORD kDefaultDumpType = MiniDumpWithDataSegs | MiniDumpWithFullMemory | MiniDumpWithHandleData |
                                   MiniDumpWithUnloadedModules | MiniDumpWithProcessThreadData;  // 295
constexpr DWORD kDumpOnDemand = 3435978413u;
constexpr char kCrashReason[] = "Unhandled exception was caught!";
constexpr size_t kPathSize = 1024;
constexpr ULONG kFaultStackSize = 256 * 1024;  // the filter writes a dump and reports an event

int volatile initialized = 0;
int volatile registered = 0;
MINIDUMP_WRITE_DUMP write_dump_entry = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER previous_filter = nullptr;
DWORD dump_type = kDefaultDumpType;
char default_dump_path[kPathSize];

// What nt_write_minidump asks its exception handler to do.
struct DumpRequest {
    const char *file_name;
    const char *reason;
};

bool is_directory(const char *path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void write_dump(const char *file_name, const char *reason, PEXCEPTION_POINTERS pointers) {
    if (!file_name || !*file_name || !write_dump_entry) return;
    HANDLE file = CreateFileA(file_name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_WRITE_THROUGH, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    MINIDUMP_EXCEPTION_INFORMATION exception{GetCurrentThreadId(), pointers, FALSE};
    MINIDUMP_USER_STREAM comment{CommentStreamA, reason ? static_cast<ULONG>(std::strlen(reason) + 1) : 0,
                                 const_cast<char *>(reason)};
    MINIDUMP_USER_STREAM_INFORMATION streams{1, &comment};
    if (write_dump_entry(GetCurrentProcess(), GetCurrentProcessId(), file, dump_type, &exception,
                         reason ? &streams : nullptr, nullptr))
        nt_log_event(NT_EVENT_ERROR, "nt_gendump(\"%s\"): %s", file_name, reason ? reason : "");
    CloseHandle(file);
}

LONG unhandled_exception_filter(PEXCEPTION_POINTERS pointers) {
    write_dump(default_dump_path, kCrashReason, pointers);
    if (previous_filter) return previous_filter(pointers);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Takes the exception that nt_write_minidump raises: the dump shows the
// raiser's stack, and the program goes on after the raise.
LONG on_demand_dump_handler(PEXCEPTION_POINTERS pointers) {
    const EXCEPTION_RECORD *record = pointers->ExceptionRecord;
    if (record->ExceptionCode != kDumpOnDemand || record->NumberParameters < 1) return EXCEPTION_CONTINUE_SEARCH;
    const auto *request = reinterpret_cast<const DumpRequest *>(record->ExceptionInformation[0]);
    write_dump(request->file_name, request->reason, pointers);
    return EXCEPTION_CONTINUE_EXECUTION;
}

// The program's file name without directory and extension, or "MiniDump".
void program_name(char (&name)[_MAX_FNAME]) {
    char path[MAX_PATH];
    std::snprintf(name, sizeof name, "MiniDump");
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    char base[_MAX_FNAME];
    _splitpath(path, nullptr, nullptr, base, nullptr);
    if (*base) std::snprintf(name, sizeof name, "%s", base);
}

}  // namespace

void nt_guard_thread_stack() {
    if (!__atomic_load_n(&registered, __ATOMIC_ACQUIRE)) return;
    ULONG size = kFaultStackSize;
    SetThreadStackGuarantee(&size);
}

extern "C" NT_API int nt_initialize_minidump(void) {
    if (__atomic_load_n(&initialized, __ATOMIC_ACQUIRE)) return 1;
    DWORD disabled = 0;
    if (ntregy_get_param(kSettingDisableMiniDump, sizeof disabled, &disabled, nullptr) == ERROR_SUCCESS && disabled)
        return 0;
    char data[kPathSize] = {};
    LONG status = ntregy_get_param(kSettingHostData, sizeof data, data, nullptr);
    if (status == ERROR_FILE_NOT_FOUND) status = ntregy_get_param(kSettingProductHome, sizeof data, data, nullptr);
    if (status != ERROR_SUCCESS) return 0;
    data[sizeof data - 1] = 0;
    if (std::strlen(data) + 9 >= kPathSize) return 0;
    char log_directory[kPathSize + 16], program_directory[kPathSize + 16];
    std::snprintf(log_directory, sizeof log_directory, "%s\\var\\log", data);
    std::snprintf(program_directory, sizeof program_directory, "%s\\bin", data);
    if (!is_directory(log_directory) || !is_directory(program_directory)) return 0;
    DWORD type = kDefaultDumpType;
    if (ntregy_get_param(kSettingMiniDumpType, sizeof type, &type, nullptr) != ERROR_SUCCESS) type = kDefaultDumpType;

    NtLibraryLock lock;
    if (initialized) return 1;
    char library[kPathSize + 32];
    std::snprintf(library, sizeof library, "%s\\%s", program_directory, "dbghelp.dll");
    if (GetFileAttributesA(library) == INVALID_FILE_ATTRIBUTES) std::snprintf(library, sizeof library, "dbghelp.dll");
    char name[_MAX_FNAME];
    program_name(name);
    SetDllDirectoryA("");
    HMODULE module = LoadLibraryA(library);
    if (!module) return 0;
    auto entry = reinterpret_cast<MINIDUMP_WRITE_DUMP>(GetProcAddress(module, "MiniDumpWriteDump"));
    if (!entry) {
        FreeLibrary(module);
        return 0;
    }
    // A name cut to fit would put dumps somewhere else: then there are none.
    int length = std::snprintf(default_dump_path, sizeof default_dump_path, "%s\\%s.%u.dmp", log_directory, name,
                               GetCurrentProcessId());
    if (length < 0 || static_cast<size_t>(length) >= sizeof default_dump_path) {
        FreeLibrary(module);
        return 0;
    }
    if (!AddVectoredExceptionHandler(0, on_demand_dump_handler)) {
        FreeLibrary(module);
        return 0;
    }
    write_dump_entry = entry;
    dump_type = type;
    __atomic_store_n(&initialized, 1, __ATOMIC_RELEASE);
    return 1;
}

extern "C" NT_API void nt_register_minidump(int no_fault_dialog) {
    if (__atomic_load_n(&registered, __ATOMIC_ACQUIRE)) {
        nt_guard_thread_stack();  // another thread registered; this one wants its stack too
        return;
    }
    if (!nt_initialize_minidump()) return;
    {
        NtLibraryLock lock;
        if (registered) return;
        char program[MAX_PATH];
        int windowed = 0;
        DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
        if (length && length < sizeof program && nt_is_gui_app(program, &windowed) == 0 && !windowed)
            _set_error_mode(_OUT_TO_STDERR);
        previous_filter = SetUnhandledExceptionFilter(unhandled_exception_filter);
        __atomic_store_n(&registered, 1, __ATOMIC_RELEASE);
    }
    nt_guard_thread_stack();
    if (no_fault_dialog) SetErrorMode(SEM_NOGPFAULTERRORBOX);
}

extern "C" NT_API void nt_write_minidump(const char *path, const char *reason) {
    if (!__atomic_load_n(&initialized, __ATOMIC_ACQUIRE)) return;
    char file_name[2048];
    if (path) {
        std::snprintf(file_name, sizeof file_name, "%s", path);
    } else {
        size_t stem = std::strlen(default_dump_path) - 3;  // "L\P.pid." without "dmp"
        std::snprintf(file_name, sizeof file_name, "%.*s%u.dmp", static_cast<int>(stem), default_dump_path,
                      GetTickCount());
    }
    DumpRequest request{file_name, reason};
    ULONG_PTR arguments[3] = {reinterpret_cast<ULONG_PTR>(&request), 0, 0};
    RaiseException(kDumpOnDemand, 0, 3, arguments);
    nt_trace("nt_write_minidump(%s): %s\n", file_name, reason ? reason : "(null)");
}
