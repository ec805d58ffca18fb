// Whether the encoders take their AVX2 paths (internal).
#pragma once

namespace i18n_mime {

// Set when the library loads, where the processor has AVX2; tests turn it
// off to try the other paths.
extern bool use_avx2;

}  // namespace i18n_mime
