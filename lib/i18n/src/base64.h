// Base64 groups (internal): three bytes to four characters of the standard alphabet.
#pragma once

#include <cstddef>

namespace i18n_mime::base64 {

// Writes 4 × `groups` characters for 3 × `groups` bytes; returns the end of the output.
char *encode_groups(const unsigned char *in, size_t groups, char *out);
// Writes the padded final group of 1 or 2 bytes; returns the end of the output.
char *encode_last(const unsigned char *in, size_t count, char *out);

}  // namespace i18n_mime::base64
