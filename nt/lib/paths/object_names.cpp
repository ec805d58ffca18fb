// User paths as object-manager names: ntx_cvt_to_ob_pname(_w) and the link
// expansion that follows "\??\C:" down to "\Device\HarddiskVolume1".
#include <cstdarg>
#include <cstring>
#include <string>

#include "frame/trace.h"
#include "lsa.h"
#include "nt.h"
#include "ntx.h"
#include "paths/paths.h"
#include "winnls.h"

namespace {

constexpr ACCESS_MASK kQueryAccess = GENERIC_READ | READ_CONTROL;

UNICODE_STRING counted(WCHAR *buffer, size_t bytes, size_t capacity) {
    return UNICODE_STRING{static_cast<USHORT>(bytes), static_cast<USHORT>(capacity), buffer};
}

void warn_access_denied(const char *call, const UNICODE_STRING &prefix) {
    std::string name = quarn::win32::utf16_to_utf8(std::u16string_view(prefix.Buffer, prefix.Length / sizeof(WCHAR)));
    nt_trace("ntx_expand_symlinks_in_ob_pname(): Warning: %s(%.*s) returned access denied\n", call,
             static_cast<int>(name.size()), name.c_str());
}

int fail_with_status(NTSTATUS status) {
    SetLastError(LsaNtStatusToWinError(status));
    return -1;
}

}  // namespace

int ntx_expand_symlinks_in_ob_pname(UNICODE_STRING *name) {
    size_t i = 1;
    while (i < name->Length / sizeof(WCHAR)) {
        if (name->Buffer[i] != u'\\') {
            ++i;
            continue;
        }
        UNICODE_STRING prefix = counted(name->Buffer, i * sizeof(WCHAR), i * sizeof(WCHAR));
        OBJECT_ATTRIBUTES attributes{sizeof(OBJECT_ATTRIBUTES), nullptr, &prefix, OBJ_CASE_INSENSITIVE, nullptr, nullptr};
        HANDLE link = nullptr;
        NTSTATUS status = NtOpenSymbolicLinkObject(&link, kQueryAccess, &attributes);
        if (status == STATUS_ACCESS_DENIED) {
            warn_access_denied("NtOpenSymbolicLinkObject", prefix);
            return 0;
        }
        if (status == STATUS_OBJECT_TYPE_MISMATCH) {
            HANDLE directory = nullptr;
            status = NtOpenDirectoryObject(&directory, kQueryAccess, &attributes);
            if (status == STATUS_ACCESS_DENIED) {
                warn_access_denied("NtOpenDirectoryObject", prefix);
                return 0;
            }
            if (status == STATUS_OBJECT_TYPE_MISMATCH) return 0;  // a device: fully expanded
            if (status != STATUS_SUCCESS) return fail_with_status(status);
            NtClose(directory);
            ++i;
            continue;
        }
        if (status != STATUS_SUCCESS) return fail_with_status(status);
        WCHAR target_buffer[kWidePathChars];
        UNICODE_STRING target = counted(target_buffer, 0, sizeof target_buffer);
        status = NtQuerySymbolicLinkObject(link, &target, nullptr);
        NtClose(link);
        if (status != STATUS_SUCCESS) return fail_with_status(status);
        if (target.Length == 0 || target.Buffer[0] != u'\\') return 0;
        // The target, then the rest of the name from this backslash on.
        std::u16string rest(name->Buffer + i, name->Length / sizeof(WCHAR) - i);
        if (RtlAppendUnicodeToString(&target, rest.c_str()) != STATUS_SUCCESS || target.Length > name->MaximumLength) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return -1;
        }
        RtlCopyUnicodeString(name, &target);
        i = 1;
    }
    return 0;
}

extern "C" NT_API int ntx_cvt_to_ob_pname_w(const WCHAR *path, int expand, size_t size, WCHAR *out) {
    UNICODE_STRING native{};
    if (!RtlDosPathNameToNtPathName_U(path, &native, nullptr, nullptr)) return -1;
    WCHAR work_buffer[kWidePathChars];
    UNICODE_STRING work = counted(work_buffer, 0, sizeof work_buffer);
    RtlCopyUnicodeString(&work, &native);
    RtlFreeUnicodeString(&native);
    if (expand && ntx_expand_symlinks_in_ob_pname(&work) != 0) return -1;
    if (size < sizeof(WCHAR) || work.Length > size - sizeof(WCHAR)) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return -1;
    }
    std::memcpy(out, work.Buffer, work.Length);
    out[work.Length / sizeof(WCHAR)] = 0;
    return 0;
}

extern "C" NT_API int ntx_cvt_to_ob_pname(const char *path, int expand, size_t size, char *out) {
    WCHAR wide[kWidePathChars];
    if (nt_get_wide_path(path, wide, sizeof wide) != 0) {
        NTX_TRACE_FAILURE("nt_get_wide_path", kSourceNtunpub, GetLastError());
        return -1;
    }
    WCHAR native[kWidePathChars];
    if (ntx_cvt_to_ob_pname_w(wide, expand, sizeof native, native) != 0) return -1;
    if (nt_get_thin_path(native, out, size) != 0) {
        NTX_TRACE_FAILURE("nt_get_thin_path", kSourceNtunpub, GetLastError());
        return -1;
    }
    return 0;
}
