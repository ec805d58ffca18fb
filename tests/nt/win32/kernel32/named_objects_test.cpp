// The Win32 layer's named objects as the areas use them: machine-wide named
// mutexes with abandonment and time-outs, files without sharing, named
// sections that exist while held and leave /dev/shm with their last handle,
// mutexes referenced apart from their handles,
// the modes their security gives them, and objects of other users that are
// refused.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "advapi.h"
#include "live_child.h"
#include "child_process.h"
#include "ntdll/object_namespace.h"
#include "temp_prefix.h"
#include "win32.h"
#include "winternl.h"

namespace quarn::test {
namespace {

TEST(ShmemNamedMutex, SecondCreateReportsExistingAndIsTheSameLock) {
    HANDLE first = CreateMutexA(nullptr, TRUE, "Global\\test_mutex");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    HANDLE second = CreateMutexA(nullptr, TRUE, "Global\\test_mutex");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    // Another process sees the lock held by this one.
    auto waited = run_child(object_helper({"wait-mutex", "Global\\test_mutex", "50"}));
    EXPECT_EQ(waited.out, std::to_string(WAIT_TIMEOUT) + "\n");
    EXPECT_TRUE(ReleaseMutex(first));
    waited = run_child(object_helper({"wait-mutex", "Global\\test_mutex", "50"}));
    EXPECT_EQ(waited.out, std::to_string(WAIT_OBJECT_0) + "\n");
    CloseHandle(first);
    CloseHandle(second);
}

TEST(ShmemNamedMutex, RecursiveForItsOwnerAndRefusedToOthers) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "recursive");
    ASSERT_NE(mutex, nullptr);
    ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(mutex, 1000), WAIT_OBJECT_0);
    DWORD other_wait = 0, other_release = 0;
    std::thread other([&] {
        other_wait = WaitForSingleObject(mutex, 20);
        SetLastError(0xdeadbeef);
        other_release = ReleaseMutex(mutex) ? 0 : GetLastError();
    });
    other.join();
    EXPECT_EQ(other_wait, WAIT_TIMEOUT);
    EXPECT_EQ(other_release, ERROR_NOT_OWNER);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(mutex));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    CloseHandle(mutex);
}

TEST(ShmemNamedMutex, DeadOwnerIsReportedAsAbandonedOnce) {
    LiveChild owner(object_helper({"hold-mutex", "Global\\abandoned"}));
    ASSERT_EQ(owner.read_line(), "held");
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\abandoned");
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(WaitForSingleObject(mutex, 20), WAIT_TIMEOUT);
    owner.kill9();
    EXPECT_EQ(WaitForSingleObject(mutex, 5000), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    // Made consistent by the abandoned wait: usable again, not unrecoverable.
    EXPECT_EQ(WaitForSingleObject(mutex, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST(ShmemNamedMutex, LastHandleClosedEndsTheObject) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "transient");
    ASSERT_NE(mutex, nullptr);
    ASSERT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
    mutex = CreateMutexA(nullptr, FALSE, "transient");
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    CloseHandle(mutex);
}

// A referenced mutex works without its handle: it outlives the handle's
// close, keeps the object (and its name) alive, times out against another
// process's hold, and reports that holder's death as abandonment once.
TEST(ShmemNamedMutex, ReferencedMutexOutlivesItsHandle) {
    LiveChild owner(object_helper({"hold-mutex", "Global\\referenced"}));
    ASSERT_EQ(owner.read_line(), "held");
    HANDLE handle = CreateMutexA(nullptr, FALSE, "Global\\referenced");
    ASSERT_NE(handle, nullptr);
    PVOID mutex = reinterpret_cast<PVOID>(0xdeadbeef);
    ASSERT_EQ(ObReferenceObjectByHandle(handle, SYNCHRONIZE, *ExMutantObjectType, KernelMode, &mutex, nullptr),
              STATUS_SUCCESS);
    ASSERT_TRUE(CloseHandle(handle));
    EXPECT_TRUE(std::filesystem::exists(win32::namespace_path(win32::ObjectKind::mutex, "Global\\referenced")));

    LARGE_INTEGER soon{};
    soon.QuadPart = -20 * 10000;  // 20 ms from now
    EXPECT_EQ(KeWaitForSingleObject(mutex, Executive, KernelMode, FALSE, &soon), STATUS_TIMEOUT);
    EXPECT_EQ(KeReleaseMutex(mutex, FALSE), STATUS_MUTANT_NOT_OWNED);
    owner.kill9();
    EXPECT_EQ(KeWaitForSingleObject(mutex, Executive, KernelMode, FALSE, nullptr), STATUS_ABANDONED);
    // Recursive: the signal state before each release counts the holds down to free.
    EXPECT_EQ(KeWaitForSingleObject(mutex, Executive, KernelMode, FALSE, &soon), STATUS_SUCCESS);
    EXPECT_EQ(KeReleaseMutex(mutex, FALSE), -1);
    EXPECT_EQ(KeReleaseMutex(mutex, FALSE), 0);
    EXPECT_EQ(KeReleaseMutex(mutex, FALSE), STATUS_MUTANT_NOT_OWNED);
    auto waited = run_child(object_helper({"wait-mutex", "Global\\referenced", "0"}));
    EXPECT_EQ(waited.out, std::to_string(WAIT_OBJECT_0) + "\n");

    ObDereferenceObject(mutex);
    EXPECT_FALSE(std::filesystem::exists(win32::namespace_path(win32::ObjectKind::mutex, "Global\\referenced")));
}

TEST(ShmemNamedMutex, ReferenceRefusesOtherTypesAndClosedHandles) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    PVOID object = reinterpret_cast<PVOID>(0xdeadbeef);
    EXPECT_EQ(ObReferenceObjectByHandle(event, SYNCHRONIZE, *ExMutantObjectType, KernelMode, &object, nullptr),
              STATUS_OBJECT_TYPE_MISMATCH);
    EXPECT_EQ(object, nullptr);
    // Without a type any object is taken, and waits on it as WaitForSingleObject would.
    ASSERT_EQ(ObReferenceObjectByHandle(event, SYNCHRONIZE, nullptr, KernelMode, &object, nullptr), STATUS_SUCCESS);
    LARGE_INTEGER now{};
    EXPECT_EQ(KeWaitForSingleObject(object, Executive, KernelMode, FALSE, &now), STATUS_TIMEOUT);
    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(KeWaitForSingleObject(object, Executive, KernelMode, FALSE, &now), STATUS_SUCCESS);
    ObDereferenceObject(object);
    ASSERT_TRUE(CloseHandle(event));
    object = reinterpret_cast<PVOID>(0xdeadbeef);
    EXPECT_EQ(ObReferenceObjectByHandle(event, SYNCHRONIZE, nullptr, KernelMode, &object, nullptr),
              STATUS_INVALID_HANDLE);
    EXPECT_EQ(object, nullptr);
}

// Security attributes whose empty access list keeps an object to its owner.
// An access list that lets in the process's own user and nobody else.
struct OwnerOnly {
    SECURITY_DESCRIPTOR sd{};
    alignas(4) BYTE acl[128]{};
    alignas(4) BYTE user[256]{};
    SECURITY_ATTRIBUTES sa{sizeof(SECURITY_ATTRIBUTES), &sd, FALSE};
    OwnerOnly() {
        HANDLE token = nullptr;
        DWORD size = 0;
        OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
        GetTokenInformation(token, TokenUser, user, sizeof user, &size);
        CloseHandle(token);
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        InitializeAcl(reinterpret_cast<PACL>(acl), sizeof acl, ACL_REVISION);
        AddAccessAllowedAce(reinterpret_cast<PACL>(acl), ACL_REVISION, GENERIC_ALL,
                            reinterpret_cast<TOKEN_USER *>(user)->User.Sid);
        SetSecurityDescriptorDacl(&sd, TRUE, reinterpret_cast<PACL>(acl), FALSE);
    }
    OwnerOnly(const OwnerOnly &) = delete;
    OwnerOnly &operator=(const OwnerOnly &) = delete;
};

mode_t umask_of_process() {
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}

bool in_dev_shm(win32::ObjectKind kind, const char *name) {
    return std::filesystem::exists(win32::namespace_path(kind, name));
}

TEST(ShmemNamedObjects, LeaveDevShmWhenTheLastHandleInTheMachineCloses) {
    using win32::ObjectKind;
    // One process: the handle, then the view that outlives it.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\last_close");
    ASSERT_NE(mutex, nullptr);
    EXPECT_TRUE(in_dev_shm(ObjectKind::mutex, "Global\\last_close"));
    CloseHandle(mutex);
    EXPECT_FALSE(in_dev_shm(ObjectKind::mutex, "Global\\last_close"));
    std::string path = (process_prefix().path() / "last_close.bin").string();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    HANDLE section = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 4096, "last_close_section");
    ASSERT_NE(section, nullptr);
    CloseHandle(file);
    void *view = MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0);
    CloseHandle(section);
    EXPECT_TRUE(in_dev_shm(ObjectKind::section, "last_close_section"));
    UnmapViewOfFile(view);
    EXPECT_FALSE(in_dev_shm(ObjectKind::section, "last_close_section"));

    // Two processes: whoever closes last removes it, and so does an exit
    // that never closed its handles.
    LiveChild holder(object_helper({"hold-mutex", "Global\\held_elsewhere"}));
    ASSERT_EQ(holder.read_line(), "held");
    mutex = CreateMutexA(nullptr, FALSE, "Global\\held_elsewhere");
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(run_child(object_helper({"wait-mutex", "Global\\held_elsewhere", "0"})).out,
              std::to_string(WAIT_TIMEOUT) + "\n");
    EXPECT_TRUE(in_dev_shm(ObjectKind::mutex, "Global\\held_elsewhere"));
    holder.kill9();  // a killed holder lets go, but removes nothing
    EXPECT_TRUE(in_dev_shm(ObjectKind::mutex, "Global\\held_elsewhere"));
    CloseHandle(mutex);
    EXPECT_FALSE(in_dev_shm(ObjectKind::mutex, "Global\\held_elsewhere"));
    EXPECT_EQ(run_child(object_helper({"wait-mutex", "Global\\exit_without_close", "0"})).out,
              std::to_string(WAIT_OBJECT_0) + "\n");
    EXPECT_FALSE(in_dev_shm(ObjectKind::mutex, "Global\\exit_without_close"));
}

TEST(ShmemNamedObjects, APrivateObjectThatAnotherUserPlantedIsRefusedAndLeftAlone) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to plant a file of another user";
    using win32::ObjectKind;
    struct Case {
        const char *name;
        ObjectKind kind;
        uid_t owner;
        mode_t mode;
    } cases[] = {
        {"owned_by_nobody", ObjectKind::mutex, 65534, 0600},
        {"writable_by_all", ObjectKind::mutex, 0, 0666},
        {"section_of_nobody", ObjectKind::section, 65534, 0666},
    };
    OwnerOnly owner_only;
    std::string data = (process_prefix().path() / "planted.bin").string();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = win32::namespace_path(c.kind, c.name);
        std::ofstream(path) << "planted";
        ASSERT_EQ(chown(path.c_str(), c.owner, c.owner), 0);
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        SetLastError(0xdeadbeef);
        if (c.kind == ObjectKind::mutex) {
            EXPECT_EQ(CreateMutexA(&owner_only.sa, FALSE, c.name), nullptr);
        } else {
            HANDLE file = CreateFileA(data.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 4096, c.name), nullptr);
            CloseHandle(file);
        }
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        EXPECT_EQ(read_file(path), "planted");
        EXPECT_NE(read_file(process_prefix().path() / "events.log").find("Refused \"" + path + "\""),
                  std::string::npos);
        std::filesystem::remove(path);
    }
}

// A descriptor with an access list of the given SIDs.
struct Descriptor {
    SECURITY_DESCRIPTOR sd{};
    alignas(4) BYTE acl[256]{};
    SECURITY_ATTRIBUTES sa{sizeof(SECURITY_ATTRIBUTES), &sd, FALSE};
    explicit Descriptor(const char *sid_text, bool null_dacl = false, DWORD access = MUTEX_ALL_ACCESS) {
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        if (null_dacl) {
            SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);
            return;
        }
        PSID sid = nullptr;
        ConvertStringSidToSidA(sid_text, &sid);
        InitializeAcl(reinterpret_cast<PACL>(acl), sizeof acl, ACL_REVISION);
        AddAccessAllowedAce(reinterpret_cast<PACL>(acl), ACL_REVISION, access, sid);
        LocalFree(sid);
        SetSecurityDescriptorDacl(&sd, TRUE, reinterpret_cast<PACL>(acl), FALSE);
    }
};

TEST(ShmemNamedMutex, SecurityBecomesTheObjectsMode) {
    struct Case {
        const char *name;
        const char *sid;
        bool null_dacl;
        DWORD access;
        mode_t mode;
    } cases[] = {
        {"owner_only", "S-1-5-18", false, MUTEX_ALL_ACCESS, 0600},
        {"everyone", "S-1-1-0", false, MUTEX_ALL_ACCESS, 0666},
        {"everyone_reads", "S-1-1-0", false, GENERIC_READ, 0644},
        {"null_dacl", nullptr, true, MUTEX_ALL_ACCESS, 0666},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Descriptor d(c.sid, c.null_dacl, c.access);
        HANDLE mutex = CreateMutexA(&d.sa, FALSE, c.name);
        ASSERT_NE(mutex, nullptr);
        struct stat st {};
        ASSERT_EQ(stat(win32::namespace_path(win32::ObjectKind::mutex, c.name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, c.mode);
        CloseHandle(mutex);
    }
}

TEST(ShmemAcl, FullListRefusesAnotherAce) {
    alignas(4) BYTE acl[sizeof(ACL) + 20] = {};
    PSID sid = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-21-1-2-3-1000", &sid));
    ASSERT_TRUE(InitializeAcl(reinterpret_cast<PACL>(acl), sizeof acl, ACL_REVISION));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(AddAccessAllowedAce(reinterpret_cast<PACL>(acl), ACL_REVISION, 1, sid));
    EXPECT_EQ(GetLastError(), ERROR_ALLOTTED_SPACE_EXCEEDED);
    LocalFree(sid);
}

class ShmemFiles : public testing::Test {
protected:
    std::string path = (process_prefix().path() / "data.bin").string();
    void write(const std::string &text) { std::ofstream(path, std::ios::binary) << text; }
};

TEST_F(ShmemFiles, NoSharingExcludesEveryOtherOpener) {
    write("0123456789abcdefXYZ");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(run_child(object_helper({"open-file", path})).out, std::to_string(ERROR_SHARING_VIOLATION) + "\n");
    CloseHandle(file);
    EXPECT_EQ(run_child(object_helper({"open-file", path})).out, "0\n");
}

TEST_F(ShmemFiles, OpenAlwaysReportsAnExistingFileAndReadsIt) {
    write("hello");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    char buffer[16];
    std::memset(buffer, 0x5A, sizeof buffer);
    DWORD read = 0xdeadbeef;
    ASSERT_TRUE(ReadFile(file, buffer, 8, &read, nullptr));
    EXPECT_EQ(read, 5u);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_EQ(buffer[5], 0x5A);  // nothing written past what was read
    EXPECT_EQ(GetFileSize(file, nullptr), 5u);
    CloseHandle(file);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesA(process_prefix().path().c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesA((path + ".missing").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(ShmemFiles, NamedSectionIsSharedWhileHeldAndGoneAfter) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE section = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 8192, "Global\\test_section");
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    CloseHandle(file);
    EXPECT_EQ(std::filesystem::file_size(path), 8192u);  // grown to the section's size
    char *view = static_cast<char *>(MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    std::memcpy(view, "shared content!!", 16);
    CloseHandle(section);  // the view keeps the section alive
    EXPECT_EQ(run_child(object_helper({"read-section", "Global\\test_section"})).out, "shared content!!\n");
    ASSERT_TRUE(FlushViewOfFile(view, 0));
    EXPECT_EQ(read_file(path).substr(0, 16), "shared content!!");
    ASSERT_TRUE(UnmapViewOfFile(view));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(UnmapViewOfFile(view));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, "Global\\test_section"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(run_child(object_helper({"read-section", "Global\\test_section"})).out,
              "error " + std::to_string(ERROR_FILE_NOT_FOUND) + "\n");
}

TEST_F(ShmemFiles, DirectoriesTakeTheirModeFromTheirAccessList) {
    namespace fs = std::filesystem;
    OwnerOnly owner_only;
    LPSECURITY_ATTRIBUTES mine = &owner_only.sa;
    auto root = process_prefix().path() / "folders";
    fs::create_directory(root);
    struct Case {
        const char *name;
        LPSECURITY_ATTRIBUTES attributes;
        BOOL made;
        DWORD error;
        mode_t mode;
    } cases[] = {
        {"mine", mine, TRUE, 0, 0700},
        {"mine", mine, FALSE, ERROR_ALREADY_EXISTS, 0700},
        {"missing/below", mine, FALSE, ERROR_PATH_NOT_FOUND, 0},
        {"plain", nullptr, TRUE, 0, 0777 & ~umask_of_process()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(0xdeadbeef);
        std::string path = (root / c.name).string();
        EXPECT_EQ(CreateDirectoryA(path.c_str(), c.attributes), c.made);
        if (!c.made) {
            EXPECT_EQ(GetLastError(), c.error);
        }
        if (c.mode) {
            EXPECT_EQ(static_cast<mode_t>(fs::status(path).permissions()) & 0777, c.mode);
        }
    }
    // A folder of the caller's own that others may write is refused, and stays as it is.
    fs::create_directory(root / "open");
    fs::permissions(root / "open", fs::perms(0777));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CreateDirectoryA((root / "open").c_str(), mine));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(static_cast<mode_t>(fs::status(root / "open").permissions()) & 0777, 0777u);
}

TEST_F(ShmemFiles, AFileKeptToItsOwnerIsRefusedWhenSomebodyElseCouldHaveIt) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to plant a file of another user";
    namespace fs = std::filesystem;
    OwnerOnly owner_only;
    LPSECURITY_ATTRIBUTES mine = &owner_only.sa;
    struct Case {
        const char *name;
        uid_t owner;
        mode_t mode;
        bool link;
    } cases[] = {
        {"of another user", 65534, 0600, false},
        {"open to others", 0, 0666, false},
        {"a link", 0, 0600, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        write("planted");
        ASSERT_EQ(chown(path.c_str(), c.owner, c.owner), 0);
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        std::string opened = path;
        if (c.link) {
            opened = path + ".link";
            fs::create_symlink(path, opened);
        }
        SetLastError(0xdeadbeef);
        EXPECT_EQ(CreateFileA(opened.c_str(), GENERIC_READ | GENERIC_WRITE, 0, mine, OPEN_ALWAYS, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        EXPECT_EQ(read_file(path), "planted");
        fs::remove(opened);
        fs::remove(path);
    }
    // A new one is made with its final mode; the caller's own opens again.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, mine, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    CloseHandle(file);
    EXPECT_EQ(static_cast<mode_t>(fs::status(path).permissions()) & 0777, 0600u);
    file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, mine, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(file);
}

TEST(ShmemPrivileges, NamesAndTheProcessToken) {
    LUID luid{0xdeadbeef, 0x5A5A};
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeCreateGlobalPrivilege", &luid));
    EXPECT_EQ(luid.LowPart, 30u);
    EXPECT_EQ(luid.HighPart, 0);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &luid));
    EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_PRIVILEGE);

    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    DWORD needed = 0;
    EXPECT_FALSE(GetTokenInformation(token, TokenPrivileges, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<BYTE> buffer(needed + 8, 0xCC);
    ASSERT_TRUE(GetTokenInformation(token, TokenPrivileges, buffer.data(), needed, &needed));
    auto *privileges = reinterpret_cast<TOKEN_PRIVILEGES *>(buffer.data());
    bool global = false;
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) global |= privileges->Privileges[i].Luid.LowPart == 30;
    EXPECT_EQ(global, geteuid() == 0);  // administrators hold it, ordinary users do not
    EXPECT_EQ(buffer[needed], 0xCC);
    TOKEN_STATISTICS statistics{};
    ASSERT_TRUE(GetTokenInformation(token, TokenStatistics, &statistics, sizeof statistics, &needed));
    if (geteuid() == 0) {
        EXPECT_EQ(statistics.AuthenticationId.LowPart, SYSTEM_LUID);
    }
    CloseHandle(token);
}

}  // namespace
}  // namespace quarn::test
