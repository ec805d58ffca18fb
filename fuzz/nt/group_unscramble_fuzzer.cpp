// The product group's unscrambler on any bytes: it fails cleanly, or the
// name it gives scrambles back, with the same salt and some filler, to the
// very text it was given.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "identity/group_scramble.h"

namespace {

constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_+";

// The salt a scrambled text carries: the XOR of all its symbol values.
uint32_t salt_of(const std::string &text) {
    uint32_t salt = 0;
    for (char c : text) salt ^= static_cast<uint32_t>(std::strchr(kAlphabet, c) - kAlphabet);
    return salt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);  // a NUL ends it, as the setting's reader does
    text = text.c_str();
    char name[330];
    std::memset(name, 0xCC, sizeof name);
    if (!nt_unscramble_group_name(text.c_str(), name, 322)) return 0;
    size_t length = std::strlen(name);
    if (length > kScrambleMaxBytes || nt_scrambled_length(length) != text.size()) std::abort();
    if (static_cast<unsigned char>(name[322]) != 0xCC) std::abort();
    for (uint32_t filler = 0; filler < 16; ++filler) {
        char again[330];
        if (!nt_scramble_group_name(name, length, salt_of(text), filler, again, 322)) std::abort();
        if (text == again) return 0;
    }
    std::abort();
}
