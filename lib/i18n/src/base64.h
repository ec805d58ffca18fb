// Base64 groups (internal): three bytes to four characters of the standard
// alphabet, one run at a time or in the lines of a body.
#pragma once

#include <cstddef>
#include <cstdint>

#include "avx2.h"

namespace i18n_mime::base64 {

// Writes 4 × `groups` characters for 3 × `groups` bytes; reads nothing
// outside them. Returns the end of the output.
char *encode_groups(const unsigned char *in, size_t groups, char *out);
// Writes the padded final group of 1 or 2 bytes; returns the end of the output.
char *encode_last(const unsigned char *in, size_t count, char *out);

// The characters a body line holds, and how a line that follows another
// begins (its CR LF counts on it, so it holds 72).
constexpr int32_t kBodyLineLimit = 76;
constexpr char kBodyLineBreak[] = "\r\n";

// A body's groups in its lines, written straight into `out`, which has `room`
// bytes: `line` is the current line's length (at least one group is on it),
// and a full line is followed by CR LF before the next group. Input may be
// read from `before` bytes ahead of `in` up to the end of the groups, never
// past them. Stops at the first piece (a group, with the break ahead of it)
// that does not fit the room; returns the groups written and sets `*written`.
size_t encode_body_lines(const unsigned char *in, size_t groups, size_t before, char *out, size_t room,
                         int32_t &line, size_t *written);

}  // namespace i18n_mime::base64
