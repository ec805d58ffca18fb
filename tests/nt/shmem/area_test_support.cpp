// Host data, area file paths and live helper children for the area suites.
#include "area_test_support.h"

#include <stdexcept>

#include "nt.h"
#include "ntregy.h"
#include "temp_prefix.h"
#include "win32.h"

namespace quarn::test {

std::filesystem::path use_host_data() {
    auto directory = process_prefix().path() / "hostdata";
    std::filesystem::create_directories(directory / "var" / "cache");
    std::string text = directory.string();
    if (ntregy_set_param(16, text.c_str(), nullptr) != 0) throw std::runtime_error("cannot set HostData");
    return directory;
}

std::filesystem::path global_area_file() { return process_prefix().path() / "hostdata/var/cache/ZNshmemV3"; }

std::filesystem::path private_area_file() {
    PSID sid = nullptr;
    char text[100] = {};
    if (!nt_get_user_sid(&sid) || !nt_sid_to_str(sid, text, sizeof text)) throw std::runtime_error("no user SID");
    return process_prefix().path() / ("hostdata/var/cache/ZNshmemV3." + std::string(text));
}

}  // namespace quarn::test
