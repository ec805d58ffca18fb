// The path conversions and the root split on any text and any output size:
// nothing is written past the size given, a wide path strips and widens back
// to itself, and a root split gives a root and rest that make up the path.
// The first input byte chooses the output size, the rest is the path.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "nt.h"
#include "ntx.h"

namespace {

constexpr size_t kGuard = 16;
constexpr unsigned char kPoison = 0xCC;

// An output of `size` bytes followed by guard bytes that must stay poison.
struct Output {
    explicit Output(size_t size) : size(size), bytes(size + kGuard, kPoison) {}
    void check_guard() const {
        for (size_t i = size; i < bytes.size(); ++i)
            if (static_cast<unsigned char>(bytes[i]) != kPoison) std::abort();
    }
    size_t size;
    std::string bytes;
};

void check_root_split(const std::string &path, size_t size) {
    Output root(size), rest(size);
    if (nt_file_root_split(path.c_str(), root.bytes.data(), size, rest.bytes.data(), size) != 0) {
        root.check_guard();
        rest.check_guard();
        return;
    }
    root.check_guard();
    rest.check_guard();
    std::string r = root.bytes.c_str(), remainder = rest.bytes.c_str();
    if (r.empty() || r.size() - 1 > path.size() || path.compare(0, r.size() - 1, r, 0, r.size() - 1) != 0) std::abort();
    if (path.size() < remainder.size() || path.compare(path.size() - remainder.size(), remainder.size(), remainder) != 0)
        std::abort();
}

void check_wide_round_trip(const std::string &path, size_t size) {
    Output wide(size & ~size_t{1});
    auto *out = reinterpret_cast<WCHAR *>(wide.bytes.data());
    int result = nt_get_wide_path(path.c_str(), out, wide.size);
    wide.check_guard();
    if (result != 0) return;
    std::u16string first(out);
    bool extended = first.rfind(u"\\\\?\\", 0) == 0;
    if (!extended && first.rfind(u"\\\\.\\", 0) != 0) std::abort();
    // Input already extended-length passes unfolded, so only folded paths must come back the same.
    if (path.size() >= 4 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/') && path[2] == '?')
        return;
    Output thin(8192);
    if (nt_get_thin_path(first.c_str(), thin.bytes.data(), thin.size) != 0) return;
    thin.check_guard();
    WCHAR again[1024];
    if (nt_get_wide_path(thin.bytes.c_str(), again, sizeof again) != 0 || first != again) std::abort();
}

void check_object_name(const std::string &path, size_t size) {
    Output name(size);
    ntx_cvt_to_ob_pname(path.c_str(), path.size() % 2, name.size, name.bytes.data());
    name.check_guard();
    char *user = nullptr;
    if (nt_kernel_to_dosdevice_user_path(path.c_str(), &user) == 0) std::free(user);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char pattern[] = "/tmp/quarn-path-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    setenv("QUARN_PREFIX", pattern, 1);
    std::filesystem::create_directories(std::filesystem::path(pattern) / "drive_c" / "work");
    if (chdir((std::string(pattern) + "/drive_c/work").c_str()) != 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    size_t output = data[0] * 9u;  // 0 to 2295 bytes
    std::string path(reinterpret_cast<const char *>(data + 1), size - 1);
    path = path.c_str();  // a NUL ends it, as for a C caller
    check_root_split(path, output);
    check_wide_round_trip(path, output);
    check_object_name(path, output);
    return 0;
}
