// Attaching an area.  The named mutex decides who may look at the file: its
// creator, or whoever waits for it next, either finds the live section that
// other processes hold or is the first opener, and then checks the file and
// reinitialises content written before the machine started.  Writers find
// or create the section through the area's security attributes, so that
// the product group's members trust each other's.  A process that may only
// read the global area never touches its mutex, which is kept from it so
// that nobody but the area's writers can hold it: it maps the area's file
// read-only, when a writer has written it since the machine started, or
// goes without.
#include <cstdio>
#include <cstring>

#include "identity/security_internal.h"
#include "shmem/shmem_area.h"
#include "frame/trace.h"

namespace {

// Every opener of an area's file shares it: writers meet only under the
// mutex, and readers never write.
constexpr DWORD kShared = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr char kIntegrityMessage[] = "Internal error: Data integrity check failed on \"%s\".\n";

enum class FileState { good, reinitialise, damaged };

// Releases whatever a failed attach holds.
void undo(shmem_area *area, bool mutex_held) {
    if (mutex_held) ReleaseMutex(area->mutex);
    shmem_detach(area);
}

// What the first opener must do with the file it holds.
FileState judge_file(HANDLE file, bool created, uint32_t total_size) {
    if (created) return FileState::reinitialise;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    if (size == 0 && high == 0) return FileState::reinitialise;  // a file whose creator died at once
    shmem_header header{};
    DWORD read = 0;
    if (!ReadFile(file, &header, sizeof header, &read, nullptr) || read != sizeof header) return FileState::damaged;
    if (!shmem_header_marked(&header)) return FileState::damaged;
    // Content written before the machine started is stale whatever it holds,
    // and so is an area of another layout (an administrator changed
    // ShmemTotalAreaSize): no process has it open, so it starts afresh.
    if (header.last_update <= shmem_boot_time() || header.total_size != total_size ||
        header.max_subareas != kShmemMaxSubareas)
        return FileState::reinitialise;
    // A file cut short would fault when its missing pages are touched; one
    // longer than the area (left by a larger setting) is harmless.
    if (high == 0 && size < total_size) return FileState::damaged;
    if (!shmem_header_sound(&header, total_size)) return FileState::damaged;
    return FileState::good;
}

void initialise_content(shmem_header *view, uint32_t total_size) {
    std::memset(view, 0, total_size);
    std::memcpy(view->head_magic, kShmemHeadMagic, 4);
    view->version = kShmemVersion;
    view->max_subareas = kShmemMaxSubareas;
    view->subarea_count = 0;
    view->total_size = total_size;
    view->used = kShmemHeaderSize;
    std::memcpy(view->tail_magic, kShmemTailMagic, 4);
    view->last_update = shmem_now();
}

bool map_view(shmem_area *area, DWORD access) {
    area->view = static_cast<shmem_header *>(MapViewOfFile(area->section, access, 0, 0, 0));
    if (!area->view) NT_TRACE_FAILURE("MapViewOfFile", GetLastError());
    return area->view != nullptr;
}

// Maps the area's file read-only.  False when it cannot be opened or mapped;
// else `sound` tells whether its header passes the check, `live` whether it
// was written since the machine started.
bool map_file_read_only(shmem_area *area, bool &sound, bool &live) {
    HANDLE file = CreateFileA(area->file_path, GENERIC_READ, kShared, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        NT_TRACE_FAILURE("CreateFileA", GetLastError());
        return false;
    }
    shmem_header header{};
    DWORD read = 0, high = 0;
    DWORD size = GetFileSize(file, &high);
    sound = ReadFile(file, &header, sizeof header, &read, nullptr) && read == sizeof header &&
            (high != 0 || size >= area->total_size) && shmem_header_sound(&header, area->total_size);
    live = sound && header.last_update > shmem_boot_time();
    if (sound) area->section = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, area->total_size, nullptr);
    CloseHandle(file);
    if (!sound) return true;
    if (!area->section || !map_view(area, FILE_MAP_READ)) {
        if (!area->section) NT_TRACE_FAILURE("CreateFileMappingA", GetLastError());
        shmem_detach(area);
        return false;
    }
    return true;
}

// The private area's file lives in a folder of its user's own, which nobody
// else can write; the folder is made here when its parent lets the user.
void make_private_folder(const shmem_area *area) {
    if (area->global) return;
    char folder[MAX_PATH];
    std::snprintf(folder, sizeof folder, "%s", area->file_path);
    char *last = std::strrchr(folder, '\\');
    if (!last) return;
    *last = 0;
    if (!CreateDirectoryA(folder, shmem_security_attributes(area, FILE_ALL_ACCESS)) &&
        GetLastError() != ERROR_ALREADY_EXISTS)
        NT_TRACE_FAILURE("CreateDirectoryA", GetLastError());
}

// Under the mutex: the section other writers hold, or a new one over the
// file, reinitialised when it is stale.  The header is good on success.
bool open_file_section(shmem_area *area, bool &damaged) {
    make_private_folder(area);
    LPSECURITY_ATTRIBUTES file_security = shmem_security_attributes(area, FILE_ALL_ACCESS);
    if (!file_security) return false;  // never fall back to the host's default modes
    HANDLE file = CreateFileA(area->file_path, GENERIC_READ | GENERIC_WRITE, kShared, file_security, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD status = GetLastError();
    if (file == INVALID_HANDLE_VALUE || (status != ERROR_SUCCESS && status != ERROR_ALREADY_EXISTS)) {
        NT_TRACE_FAILURE("CreateFileA", status);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        return false;
    }
    // Judged before any section exists over it: a new section grows the file.
    FileState state = judge_file(file, status != ERROR_ALREADY_EXISTS, area->total_size);
    if (state == FileState::damaged) {  // leave the file as it is for whoever investigates
        CloseHandle(file);
        damaged = true;
        return false;
    }
    LPSECURITY_ATTRIBUTES section_security = shmem_security_attributes(area, SECTION_ALL_ACCESS);
    if (section_security)
        area->section = CreateFileMappingA(file, section_security, PAGE_READWRITE | SEC_COMMIT, 0, area->total_size,
                                           area->section_name);
    status = GetLastError();
    CloseHandle(file);
    if (!area->section) {
        NT_TRACE_FAILURE("CreateFileMappingA", status);
        return false;
    }
    if (status == ERROR_ALREADY_EXISTS) {  // live: its content is current
        bool good = map_view(area, FILE_MAP_ALL_ACCESS) && shmem_header_sound(area->view, area->total_size);
        damaged = area->view && !good;
        return good;
    }
    if (!map_view(area, FILE_MAP_ALL_ACCESS)) return false;
    if (state == FileState::reinitialise) {
        initialise_content(area->view, area->total_size);
        if (!FlushViewOfFile(area->view, 0)) {
            NT_TRACE_FAILURE("FlushViewOfFile", GetLastError());
            return false;
        }
    }
    return true;
}

void report_unless_good(shmem_area *area, bool good, bool damaged) {
    if (good) return;
    if (damaged) std::fprintf(stderr, kIntegrityMessage, area->file_path);
    undo(area, false);
}

// A reader maps the file itself, which writers share: content written
// before the machine started is nobody's, and then it has no area.
bool attach_reader(shmem_area *area) {
    bool good = false, damaged = false, live = false;
    if (map_file_read_only(area, good, live)) {
        damaged = !good;
        good = good && live;
    }
    report_unless_good(area, good, damaged);
    return good;
}

bool attach_with_mutex(shmem_area *area) {
    LPSECURITY_ATTRIBUTES security = shmem_security_attributes(area, MUTEX_ALL_ACCESS);
    if (!security) return false;
    area->mutex = CreateMutexA(security, TRUE, area->mutex_name);
    DWORD status = GetLastError();
    if (!area->mutex) {
        NT_TRACE_FAILURE("CreateMutexA", status);
        return false;
    }
    if (ObReferenceObjectByHandle(area->mutex, SYNCHRONIZE, *ExMutantObjectType, KernelMode, &area->mutex_object,
                                  nullptr) != STATUS_SUCCESS) {
        undo(area, status != ERROR_ALREADY_EXISTS);
        return false;
    }
    if (status == ERROR_ALREADY_EXISTS && !shmem_lock_area_mutex(area)) {
        undo(area, false);
        return false;
    }
    bool damaged = false;
    bool good = open_file_section(area, damaged);
    if (!ReleaseMutex(area->mutex)) {
        NT_TRACE_FAILURE("ReleaseMutex", GetLastError());
        undo(area, false);
        return false;
    }
    report_unless_good(area, good, damaged);
    return good;
}

bool attach_debug_copy(shmem_area *area) {
    bool good = false, live = false;
    if (!map_file_read_only(area, good, live)) return false;
    if (!good) {
        std::fprintf(stderr, kIntegrityMessage, area->file_path);
        shmem_detach(area);
    }
    return good;
}

}  // namespace

bool shmem_attach(shmem_area *area) {
    bool attached = !area->mutex_name  ? attach_debug_copy(area)
                    : area->read_only ? attach_reader(area)
                                      : attach_with_mutex(area);
    area->attached = attached ? 1 : 0;
    return attached;
}

void shmem_detach(shmem_area *area) {
    if (area->view) UnmapViewOfFile(area->view);
    if (area->section) CloseHandle(area->section);
    if (area->mutex_object) ObDereferenceObject(area->mutex_object);
    if (area->mutex) CloseHandle(area->mutex);
    area->view = nullptr;
    area->section = nullptr;
    area->mutex = nullptr;
    area->mutex_object = nullptr;
    area->attached = 0;
}
