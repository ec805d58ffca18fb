// The scrambled form in which the installer may store the product group's
// name: a text over 64 symbols (a-z, A-Z, 0-9, '_', '+'), each carrying six
// bits of the name XORed with the scramble table from a salted position on,
// and a last symbol that gives the salt back.  docs/product-group.md lists
// the table; stored names depend on it, so it never changes.
#pragma once

#include <cstddef>
#include <cstdint>

// The longest name whose scrambled form fits the 321 characters of the setting.
inline constexpr size_t kScrambleMaxBytes = 240;

// The characters of the scrambled form of `length` bytes, terminator excluded.
size_t nt_scrambled_length(size_t length);

// Scrambles `length` bytes of `name` into `out` (size bytes, terminated) with
// the salt `salt_clock` AND 63 and the free bits of a final partial group
// taken from `filler_clock`; false when the form does not fit.
bool nt_scramble_group_name(const char *name, size_t length, uint32_t salt_clock, uint32_t filler_clock, char *out,
                            size_t size);

// The name of a scrambled text in `out` (size bytes, terminated); false for a
// character outside the alphabet, a length no name scrambles to, a name that
// would hold a NUL byte, or too small an `out`.
bool nt_unscramble_group_name(const char *text, char *out, size_t size);
