// Scrambling and unscrambling the product group's name.  Three bytes become
// four six-bit values (the low six bits of the first; its top two bits under
// the low four of the second; the top four of the second under the low two
// of the third; the top six of the third).  A final group of one or two
// bytes is closed by one value whose free bits are clock noise.
#include "identity/group_scramble.h"

#include <cstring>

namespace {

constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_+";

// Fixed for ever: texts stored by one installation are read by every later one.
constexpr uint8_t kTable[64] = {
    30, 53, 52, 8,  32, 44, 46, 43, 29, 23, 5,  33, 51, 35, 57, 40, 25, 50, 48, 55, 56, 27,
    63, 4,  19, 3,  21, 42, 14, 41, 9,  49, 22, 17, 12, 18, 28, 2,  1,  24, 11, 0,  13, 58,
    45, 31, 26, 16, 34, 20, 7,  61, 6,  15, 59, 36, 47, 10, 37, 62, 54, 39, 38, 60,
};

int value_of(char symbol) {
    if (symbol >= 'a' && symbol <= 'z') return symbol - 'a';
    if (symbol >= 'A' && symbol <= 'Z') return symbol - 'A' + 26;
    if (symbol >= '0' && symbol <= '9') return symbol - '0' + 52;
    if (symbol == '_') return 62;
    if (symbol == '+') return 63;
    return -1;
}

// Emits values as symbols, XORed with the table from the salt on, keeping the check.
class Writer {
public:
    Writer(char *out, uint8_t salt) : out_(out), position_(salt), salt_(salt) {}
    void put(unsigned value) {
        unsigned symbol = (value ^ kTable[position_]) & 63;
        check_ ^= static_cast<uint8_t>(symbol);
        position_ = (position_ + 1) & 63;
        *out_++ = kAlphabet[symbol];
    }
    void finish() {
        *out_++ = kAlphabet[check_ ^ salt_];
        *out_ = '\0';
    }

private:
    char *out_;
    uint8_t position_, salt_, check_ = 0;
};

}  // namespace

size_t nt_scrambled_length(size_t length) {
    if (length == 0) return 0;
    size_t tail = length % 3;
    return length / 3 * 4 + (tail ? tail + 1 : 0) + 1;
}

bool nt_scramble_group_name(const char *name, size_t length, uint32_t salt_clock, uint32_t filler_clock, char *out,
                            size_t size) {
    if (!out || size == 0) return false;
    if (nt_scrambled_length(length) >= size) return false;
    *out = '\0';
    if (length == 0) return true;
    Writer w(out, static_cast<uint8_t>(salt_clock & 63));
    unsigned carry = 0;
    for (size_t i = 0; i < length; ++i) {
        unsigned b = static_cast<unsigned char>(name[i]);
        switch (i % 3) {
        case 0:
            w.put((b & 0x3F) | carry);
            carry = b >> 6;
            break;
        case 1:
            w.put(((b & 0x0F) << 2) | carry);
            carry = (b & 0xF0) >> 4;
            break;
        default:
            w.put(((b & 0x03) << 4) | carry);
            w.put((b & 0xFC) >> 2);
            carry = 0;
            break;
        }
    }
    if (length % 3 == 1) w.put(((filler_clock & 0x0F) << 2) | carry);
    if (length % 3 == 2) w.put(((filler_clock & 0x03) << 4) | carry);
    w.finish();
    return true;
}

bool nt_unscramble_group_name(const char *text, char *out, size_t size) {
    if (!text || !out || size == 0) return false;
    size_t symbols = std::strlen(text);
    uint8_t values[kScrambleMaxBytes / 3 * 4];  // the data symbols of the longest name
    if (symbols == 0) {
        *out = '\0';
        return true;
    }
    size_t data = symbols - 1;
    if (data == 0 || data % 4 == 1 || data > sizeof values) return false;  // no name is a lone check symbol
    size_t length = data / 4 * 3 + (data % 4 ? data % 4 - 1 : 0);
    if (length + 1 > size) return false;
    unsigned salt = 0;
    for (size_t i = 0; i < symbols; ++i) {
        int v = value_of(text[i]);
        if (v < 0) return false;
        salt ^= static_cast<unsigned>(v);
        if (i < data) values[i] = static_cast<uint8_t>(v);
    }
    for (size_t i = 0; i < data; ++i) values[i] ^= kTable[(salt + i) & 63];
    size_t n = 0;
    for (size_t g = 0; g < data; g += 4) {
        const uint8_t *v = values + g;
        size_t left = data - g;  // 4, or 3 / 2 for a final partial group
        out[n++] = static_cast<char>(v[0] | ((v[1] & 0x03) << 6));
        if (left >= 3) out[n++] = static_cast<char>((v[1] >> 2) | ((v[2] & 0x0F) << 4));
        if (left >= 4) out[n++] = static_cast<char>((v[2] >> 4) | (v[3] << 2));
    }
    out[n] = '\0';
    return std::memchr(out, '\0', n) == nullptr;
}
