// GetFullPathNameW/A and the DOS-to-Unix mapping of every path form: drive
// paths ("C:\x", "C:x"), root-relative and relative paths against the
// current directory (the Unix one, seen through the drive table), network
// paths ("\\server\share\x"), device paths ("\\.\x") and extended-length
// paths ("\\?\C:\x", "\\?\UNC\server\share\x").
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "kernel32/dos_path.h"
#include "kernel32/host_error.h"
#include "machine/dos_paths.h"
#include "winnls.h"

namespace quarn::win32 {
namespace {

constexpr size_t kLongestPath = 32767;

bool is_letter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
char16_t upper_letter(char16_t c) { return c >= u'a' && c <= u'z' ? c - 0x20 : c; }
bool has_drive(std::u16string_view p) { return p.size() >= 2 && is_letter(p[0]) && p[1] == u':'; }

// The current directory as a DOS path ("Z:\home\u"), without a trailing separator
// except at a root.
std::optional<std::u16string> current_directory() {
    std::vector<char> buffer(PATH_MAX);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) {
            fail_with_errno(errno);
            return std::nullopt;
        }
        buffer.resize(buffer.size() * 2);
    }
    const Machine *machine = Machine::current();
    if (!machine) return std::nullopt;
    auto dos = canonical_unix_to_dos_path(*machine, buffer.data());
    if (!dos) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return std::nullopt;
    }
    return utf8_to_utf16(*dos);
}

// Appends the components of `rest` to `out`, whose first `root_length`
// characters are a root that ".." never climbs above.  "." goes, ".." takes
// the last component away, and the trailing dots and spaces of a component go.
void fold_components(std::u16string &out, size_t root_length, std::u16string_view rest) {
    size_t i = 0;
    while (i < rest.size()) {
        while (i < rest.size() && is_separator(rest[i])) ++i;
        size_t start = i;
        while (i < rest.size() && !is_separator(rest[i])) ++i;
        std::u16string_view part = rest.substr(start, i - start);
        if (part.empty()) break;
        bool last = i >= rest.size();
        if (part == u".") {
            if (last && out.size() > root_length && out.back() == u'\\') out.pop_back();
            continue;
        }
        if (part == u"..") {
            if (out.size() > root_length && out.back() == u'\\') out.pop_back();
            while (out.size() > root_length && out.back() != u'\\') out.pop_back();
            if (last && out.size() > root_length && out.back() == u'\\') out.pop_back();
            continue;
        }
        while (!part.empty() && (part.back() == u'.' || part.back() == u' ')) part.remove_suffix(1);
        if (part.empty()) continue;
        if (!out.empty() && out.back() != u'\\') out += u'\\';
        out += part;
        if (!last) out += u'\\';
    }
    if (!rest.empty() && is_separator(rest.back()) && !out.empty() && out.back() != u'\\') out += u'\\';
}

// The length of the root of a network path "\\server\share" (with its
// separator if any); 0 when the path stops before the share.
size_t network_root_length(std::u16string_view p, size_t start) {
    size_t i = start;
    while (i < p.size() && !is_separator(p[i])) ++i;  // server
    if (i == start || i >= p.size()) return 0;
    size_t share = ++i;
    while (i < p.size() && !is_separator(p[i])) ++i;
    return i == share ? 0 : i;
}

std::optional<std::u16string> normalised(std::u16string_view root, std::u16string_view rest) {
    std::u16string out(root);
    for (char16_t &c : out)
        if (c == u'/') c = u'\\';
    fold_components(out, out.size(), rest);
    return out;
}

}  // namespace

std::optional<std::u16string> full_dos_path(std::u16string_view p) {
    if (p.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return std::nullopt;
    }
    if (p.size() >= 4 && p[0] == u'\\' && p[1] == u'\\' && p[2] == u'?' && p[3] == u'\\') return std::u16string(p);
    if (p.size() >= 2 && is_separator(p[0]) && is_separator(p[1])) {
        if (p.size() >= 4 && (p[2] == u'.' || p[2] == u'?') && is_separator(p[3])) {
            // A device path: its first component after "\\.\" is the root.
            size_t end = 4;
            while (end < p.size() && !is_separator(p[end])) ++end;
            return normalised(p.substr(0, end), p.substr(end));
        }
        if (p.size() == 2 || is_separator(p[2])) {
            // No server name: nothing a network path could name.
            SetLastError(ERROR_INVALID_NAME);
            return std::nullopt;
        }
        size_t root = network_root_length(p, 2);
        if (!root) {
            // "\\server" without a share: the server is the root, kept as written.
            size_t server_end = 2;
            while (server_end < p.size() && !is_separator(p[server_end])) ++server_end;
            return normalised(p.substr(0, server_end), p.substr(server_end));
        }
        return normalised(p.substr(0, root), p.substr(root));
    }
    if (has_drive(p) && p.size() >= 3 && is_separator(p[2])) {
        std::u16string root{upper_letter(p[0]), u':', u'\\'};
        return normalised(root, p.substr(3));
    }
    auto cwd = current_directory();
    if (!cwd) return std::nullopt;
    if (has_drive(p)) {
        // "X:rest": against the current directory on the current drive, else that drive's root.
        std::u16string base = upper_letter(p[0]) == (*cwd)[0] ? *cwd : std::u16string{upper_letter(p[0]), u':', u'\\'};
        return normalised(base.substr(0, 3), base.substr(3) + u'\\' + std::u16string(p.substr(2)));
    }
    if (is_separator(p[0])) return normalised(cwd->substr(0, 3), p.substr(1));
    return normalised(cwd->substr(0, 3), cwd->substr(3) + u'\\' + std::u16string(p));
}

namespace {

// Characters Windows refuses in a file name; wildcards are allowed only in a
// pattern's last component.
bool valid_component(std::u16string_view part, bool wildcards_allowed) {
    for (char16_t c : part) {
        if (c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|') return false;
        if ((c == u'*' || c == u'?') && !wildcards_allowed) return false;
    }
    return true;
}

std::optional<std::string> drive_path_to_unix(std::u16string_view dos, PathTail tail) {
    size_t last = dos.size();
    while (last > 3 && is_separator(dos[last - 1])) --last;
    size_t last_start = last;
    while (last_start > 3 && !is_separator(dos[last_start - 1])) --last_start;
    for (size_t i = 3; i < dos.size();) {
        size_t end = i;
        while (end < dos.size() && !is_separator(dos[end])) ++end;
        std::u16string_view part = dos.substr(i, end - i);
        if (!valid_component(part, tail == PathTail::pattern && i == last_start)) {
            SetLastError(ERROR_INVALID_NAME);
            return std::nullopt;
        }
        i = end + 1;
    }
    const Machine *machine = Machine::current();
    if (!machine) return std::nullopt;
    auto unix_path = dos_to_unix_path(*machine, utf16_to_utf8(dos));
    if (!unix_path) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return std::nullopt;
    }
    return unix_path;
}

}  // namespace

std::optional<std::string> unix_path_of_dos(std::u16string_view path, PathTail tail) {
    auto full = full_dos_path(path);
    if (!full) return std::nullopt;
    if (full->size() > kLongestPath) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return std::nullopt;
    }
    std::u16string_view p = *full;
    bool prefixed = p.size() >= 4 && p[0] == u'\\' && p[1] == u'\\' && (p[2] == u'?' || p[2] == u'.') && p[3] == u'\\';
    if (prefixed) p.remove_prefix(4);
    if (has_drive(p) && (p.size() == 2 || is_separator(p[2]))) {
        std::u16string drive(p);
        if (drive.size() == 2) drive += u'\\';
        return drive_path_to_unix(drive, tail);
    }
    if ((!prefixed && p.size() >= 2 && is_separator(p[0]) && is_separator(p[1])) ||
        (prefixed && full->at(2) == u'?' && p.size() >= 4 && p.substr(0, 3) == u"UNC" && is_separator(p[3]))) {
        SetLastError(ERROR_BAD_NETPATH);
        return std::nullopt;
    }
    SetLastError(prefixed ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_NAME);
    return std::nullopt;
}

}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

DWORD GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR buffer, LPWSTR *file_part) {
    if (!name || (size && !buffer)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto full = full_dos_path(name);
    if (!full) return 0;
    if (full->size() > kLongestPath) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    if (full->size() + 1 > size) return static_cast<DWORD>(full->size() + 1);
    std::memcpy(buffer, full->c_str(), (full->size() + 1) * sizeof(char16_t));
    if (file_part) {
        size_t slash = full->find_last_of(u'\\');
        bool names_file = slash != std::u16string::npos && slash + 1 < full->size();
        *file_part = names_file ? buffer + slash + 1 : nullptr;
    }
    return static_cast<DWORD>(full->size());
}

DWORD GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR *file_part) {
    if (!name || (size && !buffer)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto full = full_dos_path(utf8_to_utf16(name));
    if (!full) return 0;
    std::string thin = utf16_to_utf8(*full);
    if (thin.size() > kLongestPath) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    if (thin.size() + 1 > size) return static_cast<DWORD>(thin.size() + 1);
    std::memcpy(buffer, thin.c_str(), thin.size() + 1);
    if (file_part) {
        size_t slash = thin.find_last_of('\\');
        bool names_file = slash != std::string::npos && slash + 1 < thin.size();
        *file_part = names_file ? buffer + slash + 1 : nullptr;
    }
    return static_cast<DWORD>(thin.size());
}

}  // extern "C"
