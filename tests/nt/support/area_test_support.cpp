// Host data, area file paths and file fields for the area suites.
#include "area_test_support.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <ctime>
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
    return process_prefix().path() / "hostdata/var/cache" / text / ("ZNshmemV3." + std::string(text));
}

void patch_file(const std::filesystem::path &file, size_t offset, const void *data, size_t size) {
    int fd = ::open(file.c_str(), O_WRONLY);
    if (fd < 0) throw std::runtime_error("cannot open " + file.string());
    ssize_t written = pwrite(fd, data, size, static_cast<off_t>(offset));
    ::close(fd);
    if (written != static_cast<ssize_t>(size)) throw std::runtime_error("cannot patch " + file.string());
}

int64_t machine_start_time() {
    timespec since_boot{};
    clock_gettime(CLOCK_BOOTTIME, &since_boot);
    return static_cast<int64_t>(std::time(nullptr)) - since_boot.tv_sec;
}

GUID test_uuid(unsigned n) { return {0x5E000000u + n, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}}; }

void set_area_capacity(DWORD capacity) {
    if (ntregy_set_param(45, &capacity, nullptr) != 0) throw std::runtime_error("cannot set ShmemTotalAreaSize");
}

}  // namespace quarn::test
