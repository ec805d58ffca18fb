// What Windows reports of a file, read from Linux: attributes (read-only from
// the owner's write bit; hidden, system and archive from the user.DOSATTRIB
// extended attribute, kept as Samba keeps it: the text "0x<hex>"), the three
// times as FILETIMEs, size, links and identity.
#pragma once

#include <sys/stat.h>

#include <string>

#include "winbase.h"

namespace quarn::win32 {

// The attributes that the extended attribute keeps.
constexpr DWORD kStoredAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

struct FileFacts {
    DWORD attributes = 0;
    FILETIME creation{}, access{}, write{};
    uint64_t size = 0;
    DWORD links = 0;
    uint64_t index = 0;
    DWORD volume_serial = 0;
};

// A FILETIME from Unix seconds and nanoseconds, and back.
FILETIME file_time_of(int64_t seconds, long nanoseconds);
timespec timespec_of(const FILETIME &time);

// The facts of the file at `path` (fd -1) or of an open descriptor (an
// O_PATH one when `path_only`); false with the last error set.  Links are followed.
bool file_facts(int fd, bool path_only, const std::string &path, FileFacts &facts);

// The facts of `name` in an open directory, whose full path is `path`.
bool file_facts_in(int directory_fd, const char *name, const std::string &path, FileFacts &facts);

// The attributes of `st` together with those stored on the file, read
// through `fd` unless it is -1.
DWORD attributes_of(const struct stat &st, int fd, const std::string &path);

// The attributes of a file by name; INVALID_FILE_ATTRIBUTES with the last error set.
DWORD attributes_at(const std::string &path);
// Sets read-only through the mode and the stored attributes through the
// extended attribute.  Where the file system has no user extended attributes,
// hidden, system or archive fail with ERROR_NOT_SUPPORTED and change nothing.
bool set_attributes_at(const std::string &path, DWORD attributes);

}  // namespace quarn::win32
