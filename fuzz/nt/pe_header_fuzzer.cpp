// Executable headers from outside: any bytes give 0 or EINVAL with a flag of
// 0 or 1, and nt_is_gui_app reads nothing outside the file.
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "nt.h"

namespace {
std::string image_path;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char directory[] = "/tmp/pe_header_fuzzer.XXXXXX";
    if (!mkdtemp(directory)) std::abort();
    setenv("QUARN_PREFIX", directory, 1);
    image_path = std::string(directory) + "/image.exe";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FILE *file = std::fopen(image_path.c_str(), "wb");
    if (!file) std::abort();
    if (size) std::fwrite(data, 1, size, file);
    std::fclose(file);
    int flag = -1;
    int result = nt_is_gui_app(image_path.c_str(), &flag);
    if ((result != 0 && result != EINVAL) || (flag != 0 && flag != 1)) std::abort();
    return 0;
}
