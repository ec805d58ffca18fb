// The gecos field of passwd records: the part of a user's full name before
// any comma, parenthesis or other decoration, as Unix programs expect it.
#include <string>

#include "identity/identity.h"
#include "winnls.h"

namespace {

constexpr size_t kGecosChars = 256;
constexpr char16_t kCutCharacters[] = u",;:([<{";

}  // namespace

void nt_gecos_of_full_name(const WCHAR *full_name, char *out, size_t size) {
    if (!size) return;
    out[0] = '\0';
    if (!full_name) return;
    std::u16string text(full_name);
    text = text.substr(0, text.find_first_of(kCutCharacters));
    size_t first = text.find_first_not_of(u' ');
    if (first == std::u16string::npos) return;
    text = text.substr(first, text.find_last_not_of(u' ') - first + 1).substr(0, kGecosChars);
    int converted = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out, static_cast<int>(size), nullptr, nullptr);
    if (converted <= 0) out[0] = '\0';
}
