// Sections over files and their views.  A section is a MAP_SHARED mapping of
// its file.  A named one records its file's identity in its namespace entry,
// so another process opening it by name maps the same file; it exists while
// some handle or view holds it.  Views keep their section alive after its
// handle is closed, as on Windows.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

#include "kernel32/file_object.h"
#include "kernel32/host_error.h"
#include "ntdll/object_namespace.h"

namespace quarn::win32 {
namespace {

// Gives the first `size` bytes of the file their blocks (growing it when
// shorter), or the Win32 error of a file system that has no room.
bool commit_file(int fd, uint64_t file_size, uint64_t size) {
    int result;
    do {
        result = fallocate(fd, 0, 0, static_cast<off_t>(size));
    } while (result == -1 && errno == EINTR);
    if (result == 0) return true;
    // A file system that cannot reserve space still grows the file.
    if ((errno == EOPNOTSUPP || errno == ENOSYS) &&
        (size <= file_size || ftruncate(fd, static_cast<off_t>(size)) == 0))
        return true;
    fail_with_errno(errno);
    return false;
}

// What a named section's namespace file holds: the identity of its file.
struct SectionRecord {
    uint64_t size;
    uint64_t device;
    uint64_t inode;
    char path[PATH_MAX];
};

class Section final : public KernelObject {
public:
    Section(int fd, uint64_t size, bool writable, std::unique_ptr<NamespaceEntry> entry,
            std::shared_ptr<ShareHold> share = nullptr)
        : fd_(fd), size_(size), writable_(writable), entry_(std::move(entry)), share_(std::move(share)) {}
    ~Section() override { ::close(fd_); }
    Section(const Section &) = delete;
    Section &operator=(const Section &) = delete;

    int fd() const { return fd_; }
    uint64_t size() const { return size_; }
    bool writable() const { return writable_; }

private:
    int fd_;
    uint64_t size_;
    bool writable_;
    std::unique_ptr<NamespaceEntry> entry_;
    std::shared_ptr<ShareHold> share_;  // the file's share modes, while the section lives
};

struct View {
    size_t length;
    std::shared_ptr<Section> section;
};

struct Views {
    std::mutex mutex;
    std::map<uintptr_t, View> by_address;
};

Views &views() {
    static auto *instance = new Views;  // never destroyed: views may outlive static destructors
    return *instance;
}

bool write_record(int fd, const SectionRecord &record) {
    if (ftruncate(fd, sizeof record) == -1) return fail_with_errno(errno);
    if (pwrite(fd, &record, sizeof record, 0) != static_cast<ssize_t>(sizeof record)) return fail_with_errno(errno);
    return true;
}

// Opens the file that a named section's record names, checking it is the same file.
int open_recorded_file(int entry_fd, bool writable, uint64_t &size) {
    SectionRecord record{};
    if (pread(entry_fd, &record, sizeof record, 0) != static_cast<ssize_t>(sizeof record)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return -1;
    }
    record.path[sizeof record.path - 1] = 0;
    int fd = ::open(record.path, (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd == -1) {
        fail_with_errno(errno);
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) == -1 || st.st_dev != record.device || st.st_ino != record.inode) {
        ::close(fd);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return -1;
    }
    size = record.size;
    return fd;
}

std::shared_ptr<Section> new_section(FileObject &file, bool writable, uint64_t size, const char *name,
                                     LPSECURITY_ATTRIBUTES attributes, bool &existed) {
    std::unique_ptr<NamespaceEntry> entry;
    if (name) {
        entry = NamespaceEntry::create(ObjectKind::section, name, mode_from_security(attributes, 0600),
                                       group_of_security(attributes), existed);
        if (!entry) return nullptr;
        if (existed) {
            uint64_t recorded_size = 0;
            int fd = open_recorded_file(entry->fd(), writable, recorded_size);
            if (fd == -1) return nullptr;
            return std::make_shared<Section>(fd, recorded_size, writable, std::move(entry));
        }
    }
    struct stat st {};
    if (fstat(file.fd(), &st) == -1) {
        fail_with_errno(errno);
        return nullptr;
    }
    uint64_t file_size = static_cast<uint64_t>(st.st_size);
    if (size == 0) size = file_size;
    if (size == 0) {
        SetLastError(ERROR_FILE_INVALID);
        return nullptr;
    }
    if (size > file_size && !writable) {
        // Windows grows a file to a larger writable section; a read-only one cannot.
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // A committed writable section has its disk space from the start, as on
    // Windows: a full disk fails here with ERROR_DISK_FULL, where a hole in
    // a mapped file would otherwise fault the process that first writes it.
    if (writable && !commit_file(file.fd(), file_size, size)) return nullptr;
    if (entry) {
        SectionRecord record{size, st.st_dev, st.st_ino, {}};
        char resolved[PATH_MAX];
        if (!realpath(file.path().c_str(), resolved)) {  // other processes may run elsewhere
            fail_with_errno(errno);
            return nullptr;
        }
        std::memcpy(record.path, resolved, std::strlen(resolved) + 1);
        if (!write_record(entry->fd(), record)) return nullptr;
        entry->share();
    }
    int fd = fcntl(file.fd(), F_DUPFD_CLOEXEC, 0);
    if (fd == -1) {
        fail_with_errno(errno);
        return nullptr;
    }
    return std::make_shared<Section>(fd, size, writable, std::move(entry), file.share());
}

}  // namespace
}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES attributes, DWORD protect, DWORD size_high,
                          DWORD size_low, LPCSTR name) {
    DWORD page = protect & 0xFF;
    if (page != PAGE_READONLY && page != PAGE_READWRITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto object = typed_object<FileObject>(file);
    if (!object) return nullptr;  // sections over the paging file are not needed here
    bool writable = page == PAGE_READWRITE;
    if (writable && !object->writable()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    try {
        bool existed = false;
        uint64_t size = (static_cast<uint64_t>(size_high) << 32) | size_low;
        auto section = new_section(*object, writable, size, name && *name ? name : nullptr, attributes, existed);
        if (!section) return nullptr;
        HANDLE handle = make_handle(section);
        SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
        return handle;
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HANDLE OpenFileMappingA(DWORD access, BOOL, LPCSTR name) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        auto entry = NamespaceEntry::open(ObjectKind::section, name);
        if (!entry) return nullptr;
        bool writable = access & FILE_MAP_WRITE;
        uint64_t size = 0;
        int fd = open_recorded_file(entry->fd(), writable, size);
        if (fd == -1) return nullptr;
        return make_handle(std::make_shared<Section>(fd, size, writable, std::move(entry)));
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offset_high, DWORD offset_low, SIZE_T bytes) {
    auto section = typed_object<Section>(mapping);
    if (!section) return nullptr;
    bool write = access & FILE_MAP_WRITE;
    if (write && !section->writable()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    uint64_t offset = (static_cast<uint64_t>(offset_high) << 32) | offset_low;
    if (offset % static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) || offset >= section->size() ||
        bytes > section->size() - offset) {
        SetLastError(offset >= section->size() ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    size_t length = bytes ? bytes : static_cast<size_t>(section->size() - offset);
    void *view = mmap(nullptr, length, PROT_READ | (write ? PROT_WRITE : 0), MAP_SHARED, section->fd(),
                      static_cast<off_t>(offset));
    if (view == MAP_FAILED) {
        fail_with_errno(errno);
        return nullptr;
    }
    try {
        auto &v = views();
        std::lock_guard lock(v.mutex);
        v.by_address.emplace(reinterpret_cast<uintptr_t>(view), View{length, section});
    } catch (const std::bad_alloc &) {
        munmap(view, length);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return view;
}

BOOL UnmapViewOfFile(LPCVOID address) {
    std::shared_ptr<Section> doomed;  // released outside the lock
    auto &v = views();
    std::lock_guard lock(v.mutex);
    auto it = v.by_address.find(reinterpret_cast<uintptr_t>(address));
    if (it == v.by_address.end()) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    munmap(const_cast<void *>(address), it->second.length);
    doomed = std::move(it->second.section);
    v.by_address.erase(it);
    return TRUE;
}

BOOL FlushViewOfFile(LPCVOID address, SIZE_T bytes) {
    auto &v = views();
    std::lock_guard lock(v.mutex);
    uintptr_t at = reinterpret_cast<uintptr_t>(address);
    auto it = v.by_address.upper_bound(at);
    if (it == v.by_address.begin()) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    --it;
    uintptr_t start = it->first, end = it->first + it->second.length;
    if (at >= end) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    uintptr_t from = start + (at - start) / page * page;
    uintptr_t to = bytes == 0 || bytes > end - at ? end : at + bytes;
    if (msync(reinterpret_cast<void *>(from), to - from, MS_SYNC) == -1) return fail_with_errno(errno);
    return TRUE;
}

}  // extern "C"
