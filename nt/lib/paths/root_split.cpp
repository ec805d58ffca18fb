// nt_file_root_split: a path's root ("\\server\share\", "\", "X:\") and the
// rest.  In the UTF-8 code page no byte of a multibyte character equals a
// separator and none is a lead byte of a double-byte character, so a byte
// search finds the separators.
#include <cstring>
#include <string>
#include <string_view>

#include "nt.h"

namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

size_t next_separator(std::string_view text, size_t from) {
    while (from < text.size() && !is_separator(text[from])) ++from;
    return from;
}

bool copy_out(std::string_view text, char *out, size_t size) {
    if (!out || text.size() + 1 > size) return false;
    // An empty view may have no data at all, which memcpy must never be given.
    if (!text.empty()) std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
    return true;
}

}  // namespace

extern "C" NT_API int nt_file_root_split(const char *path, char *root, size_t root_size, char *rest, size_t rest_size) {
    if (!path) return -1;
    std::string_view p(path);
    std::string root_text;
    std::string_view remainder;
    if (p.size() >= 2 && is_separator(p[0]) && is_separator(p[1])) {
        size_t server_end = next_separator(p, 2);
        if (server_end == 2 || server_end >= p.size()) return -1;
        size_t share_end = next_separator(p, server_end + 1);
        if (share_end == server_end + 1) return -1;
        root_text = std::string(p.substr(0, share_end)) + '\\';
        remainder = share_end < p.size() ? p.substr(share_end + 1) : std::string_view();
    } else if (!p.empty() && is_separator(p[0])) {
        root_text = "\\";
        remainder = p.substr(1);
    } else if (p.size() >= 3 && is_letter(p[0]) && p[1] == ':' && is_separator(p[2])) {
        root_text = std::string(p.substr(0, 3));
        remainder = p.substr(3);
    } else {
        return -1;
    }
    // Neither buffer is written unless both fit.
    if (!root || !rest || root_text.size() + 1 > root_size || remainder.size() + 1 > rest_size) return -1;
    copy_out(root_text, root, root_size);
    copy_out(remainder, rest, rest_size);
    return 0;
}
