// Name folding and path splitting for the registry store.
#include "advapi32/registry_names.h"

#include "winnls.h"
#include "winreg.h"

namespace quarn::win32::registry {

std::string fold_name(std::string_view name) {
    bool ascii = true;
    for (unsigned char c : name) ascii = ascii && c < 0x80;
    std::string folded(name);
    if (ascii) {
        for (char &c : folded)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return folded;
    }
    std::u16string wide = utf8_to_utf16(name);
    for (char16_t &unit : wide) unit = upper_case(unit);
    return utf16_to_utf8(wide);
}

size_t name_units(std::string_view name) {
    size_t units = 0;
    for (unsigned char c : name) {
        if ((c & 0xC0) != 0x80) ++units;  // one per lead byte
        if ((c & 0xF8) == 0xF0) ++units;  // four-byte sequences are surrogate pairs
    }
    return units;
}

LONG split_key_path(const char *path, std::vector<std::string_view> &components) {
    components.clear();
    if (!path) return ERROR_SUCCESS;
    std::string_view rest(path);
    if (!rest.empty() && rest.front() == '\\') return ERROR_BAD_PATHNAME;
    while (!rest.empty()) {
        size_t cut = rest.find('\\');
        std::string_view part = rest.substr(0, cut);
        if (!part.empty()) {
            if (name_units(part) > REG_MAX_KEY_NAME) return ERROR_INVALID_PARAMETER;
            components.push_back(part);
        }
        if (cut == std::string_view::npos) break;
        rest.remove_prefix(cut + 1);
    }
    return ERROR_SUCCESS;
}

}  // namespace quarn::win32::registry
