// Directory searches: FindFirstFileA/W, FindNextFileA/W and FindClose.  The
// last component of the pattern may hold wildcards, matched as Windows
// matches them: "*" any run, "?" one character (or none at the end of the
// name), a final "." also matching names without an extension, "*.*" every
// name, letters without regard to case.  A directory lists "." and ".."
// first; a drive root lists neither.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "kernel32/dos_path.h"
#include "kernel32/file_facts.h"
#include "kernel32/host_error.h"
#include "kernel32/kernel_object.h"
#include "winnls.h"

namespace quarn::win32 {
namespace {

bool wildcard_match(std::u16string_view pattern, std::u16string_view name) {
    size_t p = 0, n = 0, star = std::u16string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || upper_case(pattern[p]) == upper_case(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            resume = n;
        } else if (star != std::u16string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && (pattern[p] == u'*' || pattern[p] == u'?')) ++p;
    return p == pattern.size();
}

bool matches(std::u16string_view pattern, std::u16string_view name) {
    if (pattern == u"*" || pattern == u"*.*") return true;
    if (wildcard_match(pattern, name)) return true;
    // "name." stands for "name" without an extension, as in DOS.
    return !pattern.empty() && pattern.back() == u'.' && name.find(u'.') == std::u16string_view::npos &&
           wildcard_match(pattern.substr(0, pattern.size() - 1), name);
}

struct DirCloser {
    void operator()(DIR *d) const { closedir(d); }
};

class FindObject final : public KernelObject {
public:
    FindObject(std::string directory, std::u16string pattern, bool root, std::unique_ptr<DIR, DirCloser> dir)
        : directory_(std::move(directory)), pattern_(std::move(pattern)), dots_left_(root ? 0 : 2), dir_(std::move(dir)) {}

    // The next matching entry: its name and facts; false at the end
    // (ERROR_NO_MORE_FILES) or on an error.
    bool next(std::u16string &name, FileFacts &facts) {
        for (;;) {
            std::string entry;
            if (dots_left_) {
                entry = dots_left_-- == 2 ? "." : "..";
                name = utf8_to_utf16(entry);
                if (!matches(pattern_, name) || !file_facts(-1, true, directory_ + "/" + entry, facts)) continue;
                return true;
            } else {
                errno = 0;
                dirent *d = dir_ ? readdir(dir_.get()) : nullptr;
                if (!d) {
                    if (errno) return fail_with_errno(errno);
                    SetLastError(ERROR_NO_MORE_FILES);
                    return false;
                }
                if (!std::strcmp(d->d_name, ".") || !std::strcmp(d->d_name, "..")) continue;
                entry = d->d_name;
            }
            name = utf8_to_utf16(entry);
            if (!matches(pattern_, name)) continue;
            // Relative to the open directory, so that long paths are not walked again.
            if (!file_facts_in(dirfd(dir_.get()), entry.c_str(), directory_ + "/" + entry, facts)) continue;
            return true;
        }
    }

private:
    std::string directory_;
    std::u16string pattern_;
    int dots_left_;
    std::unique_ptr<DIR, DirCloser> dir_;
};

template <typename Data, typename Char>
bool fill(Data &data, const std::u16string &name, const FileFacts &facts) {
    std::basic_string<Char> text = text_as<Char>(utf16_to_utf8(name));
    if (text.size() >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    data.dwFileAttributes = facts.attributes;
    data.ftCreationTime = facts.creation;
    data.ftLastAccessTime = facts.access;
    data.ftLastWriteTime = facts.write;
    data.nFileSizeHigh = static_cast<DWORD>(facts.size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(facts.size);
    data.dwReserved0 = 0;
    data.dwReserved1 = 0;
    std::memcpy(data.cFileName, text.c_str(), (text.size() + 1) * sizeof(Char));
    data.cAlternateFileName[0] = 0;
    return true;
}

// A name without wildcards: that one entry, without reading the directory.
template <typename Data, typename Char>
HANDLE find_one(const std::string &directory, std::u16string name, Data *data) {
    while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.pop_back();
    FileFacts facts;
    if (name.empty() || !file_facts(-1, true, directory + "/" + utf16_to_utf8(name), facts)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (!fill<Data, Char>(*data, name, facts)) return INVALID_HANDLE_VALUE;
    return make_handle(std::make_shared<FindObject>(directory, name, true, nullptr));
}

template <typename Data, typename Char>
HANDLE find_first(const Char *pattern, Data *data) {
    if (!pattern || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // The last component is taken as written: folding would drop the final
    // dot of "*." that asks for names without an extension.
    std::u16string given = utf8_to_utf16(utf8_of(pattern));
    size_t slash = given.find_last_of(u"\\/");
    size_t drive = given.size() >= 2 && given[1] == u':' ? 2 : 0;
    size_t start = slash == std::u16string::npos ? drive : slash + 1;
    std::u16string last = given.substr(start);
    if (last.empty() || last == u"." || last == u"..") {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string written_folder = start ? given.substr(0, start) : u".";
    auto folder = full_dos_path(written_folder);
    if (!folder) return INVALID_HANDLE_VALUE;
    if (folder->back() != u'\\') *folder += u'\\';
    auto directory = unix_path_of_dos(*folder);
    if (!directory || !unix_path_of_dos(*folder + last, PathTail::pattern)) return INVALID_HANDLE_VALUE;
    if (last.find_first_of(u"*?") == std::u16string::npos) return find_one<Data, Char>(*directory, last, data);
    std::unique_ptr<DIR, DirCloser> dir(opendir(directory->c_str()));
    if (!dir) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : win32_error_from_errno(errno));
        return INVALID_HANDLE_VALUE;
    }
    // A root is "X:\" or "\\?\X:\": nothing above it to name with "..".
    std::u16string_view bare = *folder;
    if (bare.starts_with(u"\\\\?\\") || bare.starts_with(u"\\\\.\\")) bare.remove_prefix(4);
    bool root = bare.size() == 3;
    auto find = std::make_shared<FindObject>(*directory, last, root, std::move(dir));
    std::u16string name;
    FileFacts facts;
    if (!find->next(name, facts)) {
        if (GetLastError() == ERROR_NO_MORE_FILES) SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (!fill<Data, Char>(*data, name, facts)) return INVALID_HANDLE_VALUE;
    return make_handle(find);
}

template <typename Data, typename Char>
BOOL find_next(HANDLE handle, Data *data) {
    auto find = typed_object<FindObject>(handle);
    if (!find) return FALSE;
    if (!data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string name;
    FileFacts facts;
    return find->next(name, facts) && fill<Data, Char>(*data, name, facts);
}

}  // namespace
}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) { return find_first<WIN32_FIND_DATAA, char>(pattern, data); }
HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
    return find_first<WIN32_FIND_DATAW, char16_t>(pattern, data);
}
BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) { return find_next<WIN32_FIND_DATAA, char>(find, data); }
BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data) { return find_next<WIN32_FIND_DATAW, char16_t>(find, data); }

BOOL FindClose(HANDLE find) {
    if (!typed_object<FindObject>(find)) return FALSE;
    return close_handle(find) ? TRUE : FALSE;
}

}  // extern "C"
