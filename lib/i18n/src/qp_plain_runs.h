// Runs of bytes that quoted-printable writes as they are (internal).
#pragma once

#include <cstddef>

namespace i18n_mime {

// Finds and copies the plain runs of one chunk under one table: 32 bytes at a
// time with AVX2 (the table's marks below 0x80 as two nibble look-ups, every
// byte from 0x80 on marked, as both of the library's tables have it), else
// eight at a time.
class PlainRuns {
public:
    explicit PlainRuns(const unsigned char *table);
    // Copies the bytes from `in` on, at most `most`, up to the first one that
    // the table marks; returns how many. `readable` bytes may be read from
    // `in` and `room` bytes written to `out` (both at least `most`): the
    // vector path reads and writes whole blocks of 32 where they allow.
    size_t copy(const char *in, size_t most, size_t readable, char *out, size_t room) const;

private:
    const unsigned char *m_table;
    const unsigned char *m_rows;  // the nibble look-up, or null for the scalar path
};

}  // namespace i18n_mime
