// Counted strings and the translation of DOS paths into native names:
// RtlDosPathNameToNtPathName_U, RtlCopyUnicodeString, RtlAppendUnicodeToString
// and RtlFreeUnicodeString.
#include <cstdlib>
#include <cstring>

#include "kernel32/dos_path.h"
#include "winternl.h"

namespace quarn::win32 {
namespace {

// The native name of a DOS path: the object directory "\??" in front of the
// absolute form, network paths under "\??\UNC".
std::optional<std::u16string> native_name(std::u16string_view dos) {
    if (dos.size() >= 4 && dos[0] == u'\\' && dos[1] == u'\\' && dos[2] == u'?' && dos[3] == u'\\')
        return u"\\??\\" + std::u16string(dos.substr(4));
    auto full = full_dos_path(dos);
    if (!full) return std::nullopt;
    std::u16string_view p = *full;
    if (p.size() >= 4 && p[0] == u'\\' && p[1] == u'\\' && (p[2] == u'.' || p[2] == u'?') && p[3] == u'\\')
        return u"\\??\\" + std::u16string(p.substr(4));
    if (p.size() >= 2 && p[0] == u'\\' && p[1] == u'\\') return u"\\??\\UNC\\" + std::u16string(p.substr(2));
    return u"\\??\\" + std::u16string(p);
}

}  // namespace
}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

BOOLEAN RtlDosPathNameToNtPathName_U(PCWSTR dos_path, PUNICODE_STRING nt_path, PWSTR *file_part, PVOID) {
    if (!dos_path || !nt_path) return FALSE;
    auto name = native_name(dos_path);
    size_t bytes = name ? name->size() * sizeof(WCHAR) : 0;
    if (!name || bytes + sizeof(WCHAR) > 0xFFFF) return FALSE;
    auto *buffer = static_cast<WCHAR *>(std::malloc(bytes + sizeof(WCHAR)));
    if (!buffer) return FALSE;
    std::memcpy(buffer, name->c_str(), bytes + sizeof(WCHAR));
    nt_path->Buffer = buffer;
    nt_path->Length = static_cast<USHORT>(bytes);
    nt_path->MaximumLength = static_cast<USHORT>(bytes + sizeof(WCHAR));
    if (file_part) {
        size_t slash = name->find_last_of(u'\\');
        *file_part = slash + 1 < name->size() ? buffer + slash + 1 : nullptr;
    }
    return TRUE;
}

void RtlFreeUnicodeString(PUNICODE_STRING string) {
    if (!string) return;
    std::free(string->Buffer);
    string->Buffer = nullptr;
    string->Length = string->MaximumLength = 0;
}

void RtlCopyUnicodeString(PUNICODE_STRING destination, PCUNICODE_STRING source) {
    if (!destination) return;
    if (!source || !source->Buffer) {
        destination->Length = 0;
        return;
    }
    USHORT bytes = source->Length < destination->MaximumLength ? source->Length : destination->MaximumLength;
    bytes &= ~1u;
    std::memmove(destination->Buffer, source->Buffer, bytes);
    destination->Length = bytes;
    if (bytes + sizeof(WCHAR) <= destination->MaximumLength) destination->Buffer[bytes / sizeof(WCHAR)] = 0;
}

NTSTATUS RtlAppendUnicodeToString(PUNICODE_STRING destination, PCWSTR source) {
    if (!destination) return STATUS_INVALID_PARAMETER;
    if (!source) return STATUS_SUCCESS;
    size_t bytes = std::char_traits<char16_t>::length(source) * sizeof(WCHAR);
    if (destination->Length + bytes > destination->MaximumLength) return STATUS_BUFFER_TOO_SMALL;
    std::memmove(reinterpret_cast<char *>(destination->Buffer) + destination->Length, source, bytes);
    destination->Length = static_cast<USHORT>(destination->Length + bytes);
    if (destination->Length + sizeof(WCHAR) <= destination->MaximumLength)
        destination->Buffer[destination->Length / sizeof(WCHAR)] = 0;
    return STATUS_SUCCESS;
}

}  // extern "C"
