// machine.toml reader: any text either loads (with its directory of domains)
// or fails with one error that names the origin; it never crashes, and a
// loaded value reads back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "machine/directory.h"
#include "machine/machine_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    try {
        auto config = quarn::win32::MachineConfig::parse(text, "fuzz.toml");
        if (auto name = config.text("computer.name"); name && (name->empty() || name->size() > 15)) std::abort();
        if (auto major = config.integer("windows.major"); major && (*major < 0 || *major > 255)) std::abort();
        quarn::win32::Directory directory(config, "FUZZ", {1, 2, 3});  // the checks across keys
    } catch (const quarn::win32::MachineConfigError &e) {
        if (std::string_view(e.what()).substr(0, 9) != "fuzz.toml") std::abort();
    }
    return 0;
}
