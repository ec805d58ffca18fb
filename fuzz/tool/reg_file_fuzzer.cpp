// libFuzzer target for .reg files: any input either fails with RegFileError
// or parses to a model that writes out and parses back to the same model; a
// file that parses has a start that the early check lets through.
#include <cstddef>
#include <cstdint>

#include "reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace quarn::tool;
    RegFile file;
    try {
        file = parse_reg_file(std::string_view(reinterpret_cast<const char *>(data), size));
    } catch (const RegFileError &) {
        try {
            check_reg_file_start(std::string_view(reinterpret_cast<const char *>(data), size).substr(0, kRegFileProbe));
        } catch (const RegFileError &) {
        }
        return 0;
    }
    check_reg_file_start(std::string_view(reinterpret_cast<const char *>(data), size).substr(0, kRegFileProbe));
    // Whatever was read can be written; a RegFileError here escapes and fails the run.
    std::string written = write_reg_file(file);
    if (parse_reg_file(written) != file) __builtin_trap();
    if (parse_reg_file(reg_file_text(file)) != file) __builtin_trap();
    return 0;
}
