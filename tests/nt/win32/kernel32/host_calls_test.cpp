// The layer's calls behind the host facts and dumps, as Windows documents
// them: path splitting, version conditions, file positions, modules, raised
// exceptions, stack guarantees, locale facts and address records.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mman.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "dbghelp.h"
#include "machine/volume_kinds.h"
#include "temp_prefix.h"
#include "win32.h"
#include "winnls.h"
#include "winsock.h"

namespace {

TEST(SplitPath, DriveDirectoryNameAndExtension) {
    struct Case {
        const char *path, *drive, *dir, *fname, *ext;
    } cases[] = {
        {"C:\\p\\tool.exe", "C:", "\\p\\", "tool", ".exe"},
        {"C:tool", "C:", "", "tool", ""},
        {"\\\\server\\share\\a.b.c", "", "\\\\server\\share\\", "a.b", ".c"},
        {"/usr/bin/gdb", "", "/usr/bin/", "gdb", ""},
        {"dir.d\\file", "", "dir.d\\", "file", ""},
        {"", "", "", "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        char drive[_MAX_DRIVE + 2], dir[_MAX_DIR], fname[_MAX_FNAME], ext[_MAX_EXT];
        std::memset(drive, 0xCC, sizeof drive);
        _splitpath(c.path, drive, dir, fname, ext);
        EXPECT_STREQ(drive, c.drive);
        EXPECT_STREQ(dir, c.dir);
        EXPECT_STREQ(fname, c.fname);
        EXPECT_STREQ(ext, c.ext);
        EXPECT_EQ(static_cast<unsigned char>(drive[_MAX_DRIVE]), 0xCC);  // the guard byte after the part
        _splitpath(c.path, nullptr, nullptr, fname, nullptr);             // parts not wanted are skipped
        EXPECT_STREQ(fname, c.fname);
    }
}

TEST(VersionConditions, EachFieldAgainstItsCondition) {
    // The test process's machine: NT 6.1 build 7601, Service Pack 1, a workstation without suites.
    struct Case {
        const char *name;
        DWORD type;
        BYTE condition;
        DWORD major, minor;
        WORD suites;
        BOOL expected;
        DWORD error;
    } cases[] = {
        {"major equal", VER_MAJORVERSION, VER_EQUAL, 6, 0, 0, TRUE, 0},
        {"major greater", VER_MAJORVERSION, VER_GREATER, 5, 0, 0, TRUE, 0},
        {"major less fails", VER_MAJORVERSION, VER_LESS, 6, 0, 0, FALSE, ERROR_OLD_WIN_VERSION},
        {"minor at least", VER_MINORVERSION, VER_GREATER_EQUAL, 0, 1, 0, TRUE, 0},
        {"terminal suite, and", VER_SUITENAME, VER_AND, 0, 0, VER_SUITE_TERMINAL, FALSE, ERROR_OLD_WIN_VERSION},
        {"terminal suite, or", VER_SUITENAME, VER_OR, 0, 0, VER_SUITE_TERMINAL, FALSE, ERROR_OLD_WIN_VERSION},
        {"no condition for the field", VER_MAJORVERSION, 0, 6, 0, 0, FALSE, ERROR_BAD_ARGUMENTS},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        OSVERSIONINFOEXA wanted{};
        wanted.dwOSVersionInfoSize = sizeof wanted;
        wanted.dwMajorVersion = c.major;
        wanted.dwMinorVersion = c.minor;
        wanted.wSuiteMask = c.suites;
        // A condition for another field makes the mask non-empty when this one has none.
        ULONGLONG mask = VerSetConditionMask(VerSetConditionMask(0, VER_BUILDNUMBER, VER_EQUAL), c.type, c.condition);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(VerifyVersionInfoA(&wanted, c.type, mask), c.expected);
        if (!c.expected) {
            EXPECT_EQ(GetLastError(), c.error);
        }
    }
    EXPECT_EQ(VerSetConditionMask(0, VER_SUITENAME, VER_AND), ULONGLONG{VER_AND} << 18);
    EXPECT_EQ(VerSetConditionMask(ULONGLONG{7} << 18, VER_SUITENAME, VER_OR), ULONGLONG{VER_OR} << 18);
}

TEST(FilePointer, PastTheEndIsAllowedBeforeTheStartIsNot) {
    quarn::test::TempPrefix dir;
    auto file = dir.path() / "ten";
    std::ofstream(file) << "0123456789";
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SetFilePointer(handle, 4, nullptr, FILE_BEGIN), 4u);
    EXPECT_EQ(SetFilePointer(handle, 2, nullptr, FILE_CURRENT), 6u);
    EXPECT_EQ(SetFilePointer(handle, -1, nullptr, FILE_END), 9u);
    EXPECT_EQ(SetFilePointer(handle, 1000, nullptr, FILE_BEGIN), 1000u);
    EXPECT_EQ(SetFilePointer(handle, -2000, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    LONG high = 1;
    EXPECT_EQ(SetFilePointer(handle, 0, &high, FILE_BEGIN), 0u);  // 4 GiB
    EXPECT_EQ(high, 1);
    EXPECT_EQ(SetFilePointer(handle, 0, nullptr, 7), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    CloseHandle(handle);
}

TEST(Modules, BuiltInDbghelpPathsAndMissingModules) {
    HMODULE dbghelp = LoadLibraryA("DbgHelp.DLL");
    ASSERT_NE(dbghelp, nullptr);
    EXPECT_NE(GetProcAddress(dbghelp, "MiniDumpWriteDump"), nullptr);
    EXPECT_EQ(GetProcAddress(dbghelp, "MiniDumpReadDumpStream"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);

    HMODULE stub = LoadLibraryA(QUARN_RESOURCE_STUB);
    ASSERT_NE(stub, nullptr);
    auto language = reinterpret_cast<int (*)()>(GetProcAddress(stub, "resource_stub_language"));
    ASSERT_NE(language, nullptr);
    EXPECT_EQ(language(), 1);
    char path[MAX_PATH];
    EXPECT_GT(GetModuleFileNameA(stub, path, sizeof path), 0u);
    EXPECT_NE(std::string(path).find("resource_stub"), std::string::npos) << path;
    EXPECT_TRUE(FreeLibrary(stub));
    EXPECT_FALSE(FreeLibrary(stub));  // freed: the handle names nothing now
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    quarn::test::TempPrefix dir;
    std::ofstream(dir.path() / "text.dll") << "text";
    struct Case {
        std::string name;
        DWORD error;
    } failures[] = {
        {(dir.path() / "text.dll").string(), ERROR_BAD_EXE_FORMAT},
        {(dir.path() / "missing.dll").string(), ERROR_MOD_NOT_FOUND},
        {"no-such-module.dll", ERROR_MOD_NOT_FOUND},
        {"", ERROR_INVALID_PARAMETER},
    };
    for (const auto &c : failures) {
        SCOPED_TRACE(c.name);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(LoadLibraryA(c.name.c_str()), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

LONG continue_after_raise(PEXCEPTION_POINTERS pointers) {
    if (pointers->ExceptionRecord->ExceptionCode != 0xE0001234u) return EXCEPTION_CONTINUE_SEARCH;
    auto *seen = reinterpret_cast<int *>(pointers->ExceptionRecord->ExceptionInformation[0]);
    *seen = static_cast<int>(pointers->ExceptionRecord->NumberParameters);
    return EXCEPTION_CONTINUE_EXECUTION;
}

TEST(RaisedExceptions, AVectoredHandlerTakesThemAndTheRaiserGoesOn) {
    PVOID handler = AddVectoredExceptionHandler(1, continue_after_raise);
    ASSERT_NE(handler, nullptr);
    int seen = 0;
    ULONG_PTR arguments[2] = {reinterpret_cast<ULONG_PTR>(&seen), 7};
    RaiseException(0xE0001234u, 0, 2, arguments);
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(RemoveVectoredExceptionHandler(handler), 1u);
    EXPECT_EQ(RemoveVectoredExceptionHandler(handler), 0u);
}

// A thread's stack guarantee is its alternate signal stack: it only grows,
// and the stack the layer made is unmapped when the thread ends.
TEST(StackGuarantee, OnlyGrowsAndGoesWithTheThread) {
    void *made = nullptr;
    std::thread([&made] {
        ULONG size = 0;
        ASSERT_TRUE(SetThreadStackGuarantee(&size));
        const ULONG before = size;  // a sanitizer may have given the thread one already
        const ULONG asked = before + 128 * 1024;
        size = asked;
        ASSERT_TRUE(SetThreadStackGuarantee(&size));
        EXPECT_EQ(size, before);
        stack_t current{};
        ASSERT_EQ(sigaltstack(nullptr, &current), 0);
        EXPECT_FALSE(current.ss_flags & SS_DISABLE);
        EXPECT_GE(current.ss_size, asked);
        made = current.ss_sp;
        std::memset(made, 0xCC, current.ss_size);  // it is writable memory of that size
        size = 4096;
        ASSERT_TRUE(SetThreadStackGuarantee(&size));
        EXPECT_GE(size, asked);
        ASSERT_EQ(sigaltstack(nullptr, &current), 0);
        EXPECT_EQ(current.ss_sp, made);
    }).join();
    ASSERT_NE(made, nullptr);
    unsigned char resident = 0;
    EXPECT_EQ(mincore(made, 4096, &resident), -1);
    EXPECT_EQ(errno, ENOMEM);
    SetLastError(0);
    EXPECT_FALSE(SetThreadStackGuarantee(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(LocaleFacts, NamesAndTheBufferRules) {
    struct Case {
        LCID locale;
        DWORD type;
        const char *expected;
    } cases[] = {
        {0x0409, LOCALE_SISO639LANGNAME, "en"}, {0x0409, LOCALE_SISO3166CTRYNAME, "US"},
        {0x0409, LOCALE_SABBREVLANGNAME, "ENU"}, {0x0C0A, LOCALE_SABBREVLANGNAME, "ESN"},
        {0x040A, LOCALE_SABBREVLANGNAME, "ESP"}, {0x0404, LOCALE_SABBREVLANGNAME, "CHT"},
        {0x0804, LOCALE_SISO3166CTRYNAME, "CN"}, {0x0009, LOCALE_SABBREVLANGNAME, "ENU"},
        {0x0404, LOCALE_SISO639LANGNAME | LOCALE_USE_CP_ACP, "zh"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expected);
        char text[12];
        std::memset(text, 0xCC, sizeof text);
        int length = static_cast<int>(std::strlen(c.expected)) + 1;
        EXPECT_EQ(GetLocaleInfoA(c.locale, c.type, nullptr, 0), length);
        EXPECT_EQ(GetLocaleInfoA(c.locale, c.type, text, length - 1), 0);
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(GetLocaleInfoA(c.locale, c.type, text, length), length);
        EXPECT_STREQ(text, c.expected);
        EXPECT_EQ(static_cast<unsigned char>(text[length]), 0xCC);
    }
    char text[8];
    EXPECT_EQ(GetLocaleInfoA(0x0409, 0x12345, text, sizeof text), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
}

TEST(AddressRecords, WindowsLayoutAndFamilies) {
    struct Case {
        const char *host;
        int family;
        size_t size;
    } cases[] = {{"127.0.0.1", AF_INET, sizeof(SOCKADDR_IN)}, {"::1", AF_INET6, sizeof(SOCKADDR_IN6)}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.host);
        ADDRINFOA hints{};
        PADDRINFOA found = nullptr;
        ASSERT_EQ(GetAddrInfoA(c.host, nullptr, &hints, &found), 0);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->ai_family, c.family);
        EXPECT_EQ(found->ai_addrlen, c.size);
        EXPECT_EQ(found->ai_addr->sa_family, c.family);
        FreeAddrInfoA(found);
    }
    PADDRINFOA none = reinterpret_cast<PADDRINFOA>(0xdeadbeef);
    EXPECT_EQ(GetAddrInfoA("no-such-host.invalid", nullptr, nullptr, &none), WSAHOST_NOT_FOUND);
    EXPECT_EQ(none, nullptr);
}

TEST(VolumeKinds, ARamDiskAndADiskFromStatfs) {
    using namespace quarn::win32;
    auto ram = volume_kind("/dev/shm");
    ASSERT_TRUE(ram);
    EXPECT_EQ(ram->drive_type, DRIVE_RAMDISK);
    EXPECT_EQ(ram->file_system, "TMPFS");
    EXPECT_GT(ram->max_component, 0u);
    // The build folder is on the machine's disk: ext4, xfs, btrfs or an overlay over one.
    auto disk = volume_kind(std::filesystem::current_path().string());
    ASSERT_TRUE(disk);
    EXPECT_EQ(disk->drive_type, DRIVE_FIXED);
    EXPECT_EQ(disk->file_system, "NTFS");
    EXPECT_TRUE(disk->flags & FILE_CASE_PRESERVED_NAMES);
    EXPECT_FALSE(volume_kind("/no/such/path"));
    auto proc = volume_kind("/proc");
    ASSERT_TRUE(proc);
    EXPECT_EQ(proc->file_system, "0x9fa0");  // an unknown file system is named by its number
}

// GetDriveTypeA and GetVolumeInformationA give the one answer of volume_kind
// for a drive's folder, and a volume's serial is that of each of its files.
TEST(VolumeKinds, TheDriveCallsAnswerWithThem) {
    using namespace quarn::win32;
    const auto &prefix = quarn::test::process_prefix().path();
    std::filesystem::create_directories(prefix / "dosdevices");
    struct Case {
        const char *root;
        std::filesystem::path folder;
    } cases[] = {{"M:\\", "/dev/shm"}, {"N:\\", prefix}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.root);
        auto link = prefix / "dosdevices" / std::string{static_cast<char>(c.root[0] + 32), ':'};
        std::filesystem::create_directory_symlink(c.folder, link);
        auto kind = volume_kind(c.folder.string());
        ASSERT_TRUE(kind);
        EXPECT_EQ(GetDriveTypeA(c.root), kind->drive_type);
        char name[64], fs_name[64];
        std::memset(fs_name, 0xCC, sizeof fs_name);
        DWORD serial = 0xdeadbeef, longest = 0xdeadbeef, flags = 0xdeadbeef;
        ASSERT_TRUE(GetVolumeInformationA(c.root, name, sizeof name, &serial, &longest, &flags, fs_name, sizeof fs_name));
        EXPECT_STREQ(fs_name, kind->file_system.c_str());
        EXPECT_EQ(static_cast<unsigned char>(fs_name[kind->file_system.size() + 1]), 0xCC);  // nothing past the name
        EXPECT_EQ(flags, kind->flags);
        EXPECT_EQ(longest, kind->max_component);
        std::string file = std::string(c.root) + "volume-serial-" + std::to_string(GetCurrentProcessId());
        HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        BY_HANDLE_FILE_INFORMATION info{};
        EXPECT_TRUE(GetFileInformationByHandle(h, &info));
        EXPECT_EQ(info.dwVolumeSerialNumber, serial);
        CloseHandle(h);
        std::filesystem::remove(c.folder / ("volume-serial-" + std::to_string(GetCurrentProcessId())));
        std::filesystem::remove(link);
    }
}

}  // namespace
