// The kernel part of the Win32 layer: last error, handles, synchronisation,
// thread-local storage, private heaps, process and module facts, the debugger
// channel, message tables, system information, time and console input.
// Internal: nothing declared here leaves libquarnnt.so.
#pragma once

#include <cstdarg>

#include "ntwintypes.h"
#include "winerror.h"

#define WINAPI

typedef unsigned int UINT;
typedef intptr_t LONG_PTR;

constexpr DWORD MAX_PATH = 260;
typedef unsigned int UINT;

extern "C" {

// ---- last error ----------------------------------------------------------
DWORD GetLastError();
void SetLastError(DWORD code);

// ---- handles and waits ------------------------------------------------------
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

BOOL CloseHandle(HANDLE handle);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// ---- critical sections -------------------------------------------------------
// Opaque storage large enough for a recursive pthread mutex.
typedef struct _CRITICAL_SECTION {
    alignas(8) unsigned char opaque[48];
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);

// ---- events ---------------------------------------------------------------
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset, BOOL initial_state,
                    LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

LONG InterlockedExchange(LONG volatile *target, LONG value);
LONG InterlockedCompareExchange(LONG volatile *target, LONG exchange, LONG comparand);

void Sleep(DWORD milliseconds);
DWORD GetTickCount();
ULONGLONG GetTickCount64();

// ---- thread-local storage -------------------------------------------------------
constexpr DWORD TLS_OUT_OF_INDEXES = 0xFFFFFFFFu;
DWORD TlsAlloc();
BOOL TlsFree(DWORD index);
LPVOID TlsGetValue(DWORD index);
BOOL TlsSetValue(DWORD index, LPVOID value);
// Slots whose callback receives the thread's value when the thread ends,
// whenever the value was stored: even by another exit routine of the thread.
constexpr DWORD FLS_OUT_OF_INDEXES = 0xFFFFFFFFu;
typedef void (*PFLS_CALLBACK_FUNCTION)(PVOID value);
DWORD FlsAlloc(PFLS_CALLBACK_FUNCTION callback);
BOOL FlsFree(DWORD index);
PVOID FlsGetValue(DWORD index);
BOOL FlsSetValue(DWORD index, PVOID value);

// ---- private heaps ------------------------------------------------------------
constexpr DWORD HEAP_NO_SERIALIZE = 0x00000001;
constexpr DWORD HEAP_GENERATE_EXCEPTIONS = 0x00000004;
constexpr DWORD HEAP_ZERO_MEMORY = 0x00000008;
HANDLE HeapCreate(DWORD options, SIZE_T initial_size, SIZE_T maximum_size);
BOOL HeapDestroy(HANDLE heap);
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID memory);
SIZE_T HeapSize(HANDLE heap, DWORD flags, LPCVOID memory);

// ---- processes, threads and modules ----------------------------------------------
DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();
HANDLE GetCurrentProcess();
HANDLE GetCurrentThread();
DWORD GetModuleFileNameA(HMODULE module, LPSTR filename, DWORD size);
BOOL GetProcessTimes(HANDLE process, LPFILETIME creation, LPFILETIME exit, LPFILETIME kernel,
                     LPFILETIME user);

constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;
constexpr DWORD DLL_THREAD_ATTACH = 2;
constexpr DWORD DLL_THREAD_DETACH = 3;

constexpr DWORD LOAD_LIBRARY_AS_DATAFILE = 0x00000002;
HMODULE LoadLibraryExA(LPCSTR name, HANDLE reserved, DWORD flags);
BOOL FreeLibrary(HMODULE module);

constexpr DWORD LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE = 0x00000040;
// An entry point of a module, cast to its real type by the caller.
typedef void (*FARPROC)();
// Loads a module: a path names a shared object that is loaded with the
// platform's loader; a bare name is looked for beside the program, among the
// layer's own modules ("dbghelp.dll" and the message modules), then in the
// directory of SetDllDirectoryA or the current directory.
HMODULE LoadLibraryA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
// "" removes the current directory from the search; null restores it.
BOOL SetDllDirectoryA(LPCSTR directory);

// ---- exceptions ------------------------------------------------------------------
// A thread's registers: the host's own record of them (a ucontext_t), as
// opaque to the library as Windows' CONTEXT is to portable code.
typedef struct _CONTEXT {
    alignas(16) unsigned char opaque[4608];
} CONTEXT, *PCONTEXT;

constexpr DWORD EXCEPTION_MAXIMUM_PARAMETERS = 15;
constexpr DWORD EXCEPTION_NONCONTINUABLE = 0x1;
constexpr DWORD EXCEPTION_ACCESS_VIOLATION = 0xC0000005u;
constexpr DWORD EXCEPTION_IN_PAGE_ERROR = 0xC0000006u;
constexpr DWORD EXCEPTION_ILLEGAL_INSTRUCTION = 0xC000001Du;
constexpr DWORD EXCEPTION_INT_DIVIDE_BY_ZERO = 0xC0000094u;
constexpr DWORD EXCEPTION_FLT_INVALID_OPERATION = 0xC0000090u;
constexpr DWORD STATUS_FATAL_APP_EXIT = 0x40000015u;

typedef struct _EXCEPTION_RECORD {
    DWORD ExceptionCode;
    DWORD ExceptionFlags;
    struct _EXCEPTION_RECORD *ExceptionRecord;
    PVOID ExceptionAddress;
    DWORD NumberParameters;
    ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
} EXCEPTION_RECORD, *PEXCEPTION_RECORD;

typedef struct _EXCEPTION_POINTERS {
    PEXCEPTION_RECORD ExceptionRecord;
    PCONTEXT ContextRecord;
} EXCEPTION_POINTERS, *PEXCEPTION_POINTERS;

constexpr LONG EXCEPTION_EXECUTE_HANDLER = 1;
constexpr LONG EXCEPTION_CONTINUE_SEARCH = 0;
constexpr LONG EXCEPTION_CONTINUE_EXECUTION = -1;
typedef LONG (*LPTOP_LEVEL_EXCEPTION_FILTER)(PEXCEPTION_POINTERS pointers);

// The filter runs on a fatal signal (SIGSEGV, SIGBUS, SIGILL, SIGFPE,
// SIGABRT) and on a raised exception that no handler took; the previous
// filter, or null, is returned.
LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter);
typedef LONG (*PVECTORED_EXCEPTION_HANDLER)(PEXCEPTION_POINTERS pointers);
PVOID AddVectoredExceptionHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler);
ULONG RemoveVectoredExceptionHandler(PVOID handle);
// Offers the exception, with the caller's registers, to the vectored handlers
// and returns when one answers EXCEPTION_CONTINUE_EXECUTION; otherwise the
// unhandled-exception filter runs and the process ends.
void RaiseException(DWORD code, DWORD flags, DWORD count, const ULONG_PTR *arguments);
// The room the calling thread keeps for handling a fault, a stack overflow
// included (an alternate signal stack, freed when the thread ends).  It only
// grows; *size in is the room asked for (0 asks nothing), out the room before.
BOOL SetThreadStackGuarantee(ULONG *size);

constexpr UINT SEM_FAILCRITICALERRORS = 0x0001;
constexpr UINT SEM_NOGPFAULTERRORBOX = 0x0002;
constexpr UINT SEM_NOOPENFILEERRORBOX = 0x8000;
UINT SetErrorMode(UINT mode);
UINT GetErrorMode();

// ---- the debugger channel ----------------------------------------------------------
void OutputDebugStringA(LPCSTR text);

// ---- message tables ------------------------------------------------------------------
constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;
constexpr DWORD FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                     LPSTR buffer, DWORD size, va_list *arguments);
// The local heap: LMEM_FIXED blocks only, LMEM_ZEROINIT zero-filled.
typedef unsigned int UINT;
typedef HANDLE HLOCAL;
constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL LocalFree(HLOCAL memory);

// ---- system information ---------------------------------------------------------------
typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA, *LPOSVERSIONINFOA;

typedef struct _OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
} OSVERSIONINFOEXA, *LPOSVERSIONINFOEXA;

constexpr DWORD VER_PLATFORM_WIN32s = 0;
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
constexpr BYTE VER_NT_WORKSTATION = 1;
constexpr BYTE VER_NT_DOMAIN_CONTROLLER = 2;
constexpr BYTE VER_NT_SERVER = 3;
constexpr WORD VER_SUITE_TERMINAL = 0x0010;
constexpr WORD VER_SUITE_SINGLEUSERTS = 0x0100;

BOOL GetVersionExA(LPOSVERSIONINFOA info);

// Version checks: VerSetConditionMask puts one condition per field in the
// mask, VerifyVersionInfoA compares the machine with `wanted` field by field
// (FALSE with ERROR_OLD_WIN_VERSION when a field does not satisfy its condition).
constexpr DWORD VER_MINORVERSION = 0x0000001;
constexpr DWORD VER_MAJORVERSION = 0x0000002;
constexpr DWORD VER_BUILDNUMBER = 0x0000004;
constexpr DWORD VER_PLATFORMID = 0x0000008;
constexpr DWORD VER_SERVICEPACKMINOR = 0x0000010;
constexpr DWORD VER_SERVICEPACKMAJOR = 0x0000020;
constexpr DWORD VER_SUITENAME = 0x0000040;
constexpr DWORD VER_PRODUCT_TYPE = 0x0000080;
constexpr BYTE VER_EQUAL = 1;
constexpr BYTE VER_GREATER = 2;
constexpr BYTE VER_GREATER_EQUAL = 3;
constexpr BYTE VER_LESS = 4;
constexpr BYTE VER_LESS_EQUAL = 5;
constexpr BYTE VER_AND = 6;
constexpr BYTE VER_OR = 7;
ULONGLONG VerSetConditionMask(ULONGLONG mask, DWORD type, BYTE condition);
BOOL VerifyVersionInfoA(LPOSVERSIONINFOEXA wanted, DWORD type_mask, ULONGLONG condition_mask);
DWORD GetVersion();

typedef struct _SYSTEM_INFO {
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    LPVOID lpMinimumApplicationAddress;
    LPVOID lpMaximumApplicationAddress;
    DWORD_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
} SYSTEM_INFO, *LPSYSTEM_INFO;

constexpr WORD PROCESSOR_ARCHITECTURE_INTEL = 0;
constexpr WORD PROCESSOR_ARCHITECTURE_ARM64 = 12;
constexpr WORD PROCESSOR_ARCHITECTURE_AMD64 = 9;
constexpr DWORD PROCESSOR_INTEL_386 = 386;
constexpr DWORD PROCESSOR_INTEL_486 = 486;
constexpr DWORD PROCESSOR_INTEL_PENTIUM = 586;
constexpr DWORD PROCESSOR_AMD_X8664 = 8664;
constexpr DWORD PROCESSOR_ARM = 2577;
void GetSystemInfo(LPSYSTEM_INFO info);

constexpr DWORD MAX_COMPUTERNAME_LENGTH = 15;
BOOL GetComputerNameA(LPSTR buffer, LPDWORD size);
BOOL GetComputerNameW(LPWSTR buffer, LPDWORD size);

// ---- time ----------------------------------------------------------------------
typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

typedef struct _TIME_ZONE_INFORMATION {
    LONG Bias;
    WCHAR StandardName[32];
    SYSTEMTIME StandardDate;
    LONG StandardBias;
    WCHAR DaylightName[32];
    SYSTEMTIME DaylightDate;
    LONG DaylightBias;
} TIME_ZONE_INFORMATION, *LPTIME_ZONE_INFORMATION;

constexpr DWORD TIME_ZONE_ID_UNKNOWN = 0;
constexpr DWORD TIME_ZONE_ID_STANDARD = 1;
constexpr DWORD TIME_ZONE_ID_DAYLIGHT = 2;
constexpr DWORD TIME_ZONE_ID_INVALID = 0xFFFFFFFFu;

void GetSystemTimeAsFileTime(LPFILETIME time);
BOOL FileTimeToSystemTime(const FILETIME *file_time, LPSYSTEMTIME system_time);
BOOL SystemTimeToFileTime(const SYSTEMTIME *system_time, LPFILETIME file_time);
// UTC to local time with the bias in force now, whatever the date.
BOOL FileTimeToLocalFileTime(const FILETIME *file_time, LPFILETIME local_time);
// UTC to local time with the bias in force at that date; only a null zone
// (the host's) is supported.
BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION *zone, const SYSTEMTIME *utc,
                                     LPSYSTEMTIME local);
void GetSystemTime(LPSYSTEMTIME time);
DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION info);

// ---- the runtime's paths and error messages -----------------------------------------
constexpr int _MAX_DRIVE = 3;
constexpr int _MAX_DIR = 256;
constexpr int _MAX_FNAME = 256;
constexpr int _MAX_EXT = 256;
// Splits a path into drive ("C:"), directory (with its last separator), base
// name and extension (with its dot); any part may be null.
void _splitpath(const char *path, char *drive, char *dir, char *fname, char *ext);

constexpr int _OUT_TO_DEFAULT = 0;
constexpr int _OUT_TO_STDERR = 1;
constexpr int _OUT_TO_MSGBOX = 2;
constexpr int _REPORT_ERRMODE = 3;
// Where the runtime's error messages go; returns the previous mode, or -1.
int _set_error_mode(int mode);

// ---- console -----------------------------------------------------------------------
// One keystroke from the console without echo; Enter gives 13, Backspace 8.
int _getch();
// The console's input is CreateFileA("CONIN$", ...); its mode says whether
// Ctrl+C is a signal, whether input comes in lines, and whether it is echoed.
constexpr DWORD ENABLE_PROCESSED_INPUT = 0x0001;
constexpr DWORD ENABLE_LINE_INPUT = 0x0002;
constexpr DWORD ENABLE_ECHO_INPUT = 0x0004;
BOOL GetConsoleMode(HANDLE console, LPDWORD mode);
BOOL SetConsoleMode(HANDLE console, DWORD mode);

// ---- the runtime's wide strings ---------------------------------------------------
// Compares at most `count` units, A-Z equal to a-z (the "C" locale's rule).
int _wcsnicmp(LPCWSTR a, LPCWSTR b, size_t count);

// ---- named mutexes, files and sections ------------------------------------------
constexpr DWORD SYNCHRONIZE = 0x00100000;
constexpr DWORD STANDARD_RIGHTS_REQUIRED = 0x000F0000;
constexpr DWORD MUTEX_ALL_ACCESS = 0x001F0001;
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initial_owner, LPCSTR name);
BOOL ReleaseMutex(HANDLE mutex);

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD GENERIC_ALL = 0x10000000u;
constexpr DWORD FILE_READ_DATA = 0x0001;
constexpr DWORD FILE_WRITE_DATA = 0x0002;
constexpr DWORD FILE_ALL_ACCESS = 0x001F01FF;
constexpr DWORD FILE_SHARE_READ = 0x0001;
constexpr DWORD FILE_SHARE_WRITE = 0x0002;
constexpr DWORD FILE_SHARE_DELETE = 0x0004;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x0001;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x0010;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x0080;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;
constexpr DWORD FILE_APPEND_DATA = 0x0004;
constexpr DWORD FILE_READ_EA = 0x0008;
constexpr DWORD FILE_WRITE_EA = 0x0010;
constexpr DWORD FILE_EXECUTE = 0x0020;
constexpr DWORD FILE_READ_ATTRIBUTES = 0x0080;
constexpr DWORD FILE_WRITE_ATTRIBUTES = 0x0100;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x0002;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x0004;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x0020;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;
constexpr DWORD FILE_FLAG_WRITE_THROUGH = 0x80000000u;
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD disposition, DWORD flags, HANDLE template_file);
// Paths in DOS form ("C:\x", "\\?\C:\x", relative); directories open only
// with FILE_FLAG_BACKUP_SEMANTICS.  Share modes hold between every process
// that opens files through this layer, and end with the process.
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD disposition, DWORD flags, HANDLE template_file);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read_count, LPVOID overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPVOID overlapped);
DWORD GetFileSize(HANDLE file, LPDWORD high);
BOOL CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES attributes);
DWORD GetFileAttributesA(LPCSTR name);
// Read-only is the absence of the owner's write bit; hidden, system and
// archive live in the user.DOSATTRIB extended attribute where the file
// system keeps one.
DWORD GetFileAttributesW(LPCWSTR name);
BOOL SetFileAttributesA(LPCSTR name, DWORD attributes);
BOOL SetFileAttributesW(LPCWSTR name, DWORD attributes);
BOOL DeleteFileW(LPCWSTR name);
// Fails with ERROR_ALREADY_EXISTS when the new name exists.
BOOL MoveFileW(LPCWSTR existing, LPCWSTR new_name);

DWORD GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR *file_part);
// Absolute DOS form over the drive table: the Unix current directory is the
// drive whose root is its longest prefix.  Result length without the
// terminator, or the size needed (terminator included) when `size` is short.
DWORD GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR buffer, LPWSTR *file_part);

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distance_high, DWORD method);
BOOL SetEndOfFile(HANDLE file);
// Null times are left alone; the creation time cannot be set on Linux and is ignored.
BOOL SetFileTime(HANDLE file, const FILETIME *creation, const FILETIME *access, const FILETIME *write);

typedef struct _BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
} BY_HANDLE_FILE_INFORMATION, *LPBY_HANDLE_FILE_INFORMATION;
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info);

typedef struct _WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

typedef struct _WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

// Wildcards in the last component only, matched as Windows matches them
// ("*.*" every name); "." and ".." come first except at a drive root.
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data);
HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data);
BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data);
BOOL FindClose(HANDLE find);

constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;
constexpr UINT DRIVE_RAMDISK = 6;
UINT GetDriveTypeA(LPCSTR root);
UINT GetDriveTypeW(LPCWSTR root);
constexpr DWORD FILE_CASE_SENSITIVE_SEARCH = 0x00000001;
constexpr DWORD FILE_CASE_PRESERVED_NAMES = 0x00000002;
constexpr DWORD FILE_UNICODE_ON_DISK = 0x00000004;
constexpr DWORD FILE_PERSISTENT_ACLS = 0x00000008;
BOOL GetVolumeInformationA(LPCSTR root, LPSTR volume_name, DWORD volume_name_size, LPDWORD serial,
                           LPDWORD max_component, LPDWORD flags, LPSTR fs_name, DWORD fs_name_size);
BOOL GetVolumeInformationW(LPCWSTR root, LPWSTR volume_name, DWORD volume_name_size, LPDWORD serial,
                           LPDWORD max_component, LPDWORD flags, LPWSTR fs_name, DWORD fs_name_size);
// The DOS device names ("C:", "UNC", ...) or one name's target, each
// terminated, the list ending in an empty string.
DWORD QueryDosDeviceA(LPCSTR device, LPSTR target, DWORD size);

constexpr DWORD PAGE_READONLY = 0x02;
constexpr DWORD PAGE_READWRITE = 0x04;
constexpr DWORD SEC_COMMIT = 0x08000000;
constexpr DWORD FILE_MAP_WRITE = 0x0002;
constexpr DWORD FILE_MAP_READ = 0x0004;
constexpr DWORD FILE_MAP_ALL_ACCESS = 0x000F001F;
constexpr DWORD SECTION_ALL_ACCESS = 0x000F001F;
HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES attributes, DWORD protect, DWORD size_high,
                          DWORD size_low, LPCSTR name);
HANDLE OpenFileMappingA(DWORD access, BOOL inherit, LPCSTR name);
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offset_high, DWORD offset_low, SIZE_T bytes);
BOOL UnmapViewOfFile(LPCVOID address);
BOOL FlushViewOfFile(LPCVOID address, SIZE_T bytes);

}  // extern "C"
