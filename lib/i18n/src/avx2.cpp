// The processor check behind the encoders' AVX2 paths.
#include "avx2.h"

namespace i18n_mime {

#if defined(__x86_64__)
bool use_avx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
#else
bool use_avx2 = false;
#endif

}  // namespace i18n_mime
