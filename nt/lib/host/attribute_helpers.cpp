// The file attribute helpers: read-only, archive and hidden, each read with
// GetFileAttributesA and, where it changes, written back whole with
// SetFileAttributesA so that the file's other attributes stay as they were.
#include "nt.h"
#include "win32.h"

namespace {

int add_attribute(const char *path, DWORD attribute) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    return SetFileAttributesA(path, attributes | attribute) ? 1 : 0;
}

}  // namespace

extern "C" NT_API int nt_get_file_readonly(const char *path) {
    DWORD attributes = GetFileAttributesA(path);
    // Attributes that cannot be read count as read-only: the caller must not write.
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) ? 1 : 0;
}

extern "C" NT_API int nt_set_file_readonly(const char *path) { return add_attribute(path, FILE_ATTRIBUTE_READONLY); }

extern "C" NT_API int nt_set_file_archive(const char *path) { return add_attribute(path, FILE_ATTRIBUTE_ARCHIVE); }

extern "C" NT_API int nt_set_file_hidden(const char *path) { return add_attribute(path, FILE_ATTRIBUTE_HIDDEN); }

extern "C" NT_API int nt_unset_file_readonly(const char *path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    if (!(attributes & FILE_ATTRIBUTE_READONLY)) return 1;
    return SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY) ? 1 : 0;
}
