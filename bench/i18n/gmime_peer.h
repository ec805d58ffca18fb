// GMime, the MIME library a mail program would use instead of ours: the same
// bodies and headers encoded its way, for the benchmarks' ratios.
#pragma once

#include <string>

namespace i18n_bench {

// The body in Base64 or quoted-printable, as g_mime_encoding_flush writes it
// into one new array that is then freed, as a caller of ours frees our result.
void gmime_encode_body_b64(const std::string &text);
void gmime_encode_body_qp(const std::string &text);
// The header text encoded in UTF-8 words (GMime chooses Q or B itself).
void gmime_encode_header(const char *text);

}  // namespace i18n_bench
