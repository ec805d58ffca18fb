// Drive letters through the dosdevices links, and the drive table that is
// kept between calls: a link changed later is seen, however soon it changes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

#include "machine/dos_paths.h"
#include "machine/machine.h"
#include "temp_prefix.h"

namespace fs = std::filesystem;
using quarn::win32::dos_to_unix_path;
using quarn::win32::Machine;
using quarn::win32::unix_to_dos_path;

namespace {

// Makes a folder look untouched for a while, so that its table may be kept.
void age(const fs::path &folder, long seconds_ago, long nanoseconds) {
    timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= seconds_ago;
    times[0].tv_nsec = nanoseconds;
    times[1] = times[0];
    ASSERT_EQ(utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
}

void point(const fs::path &link, const fs::path &target) {
    fs::path fresh = link.string() + ".new";
    fs::create_directory_symlink(target, fresh);
    fs::rename(fresh, link);  // as ln -sfn does: the folder changes
}

TEST(DosPaths, ADriveLinkRepointedIsSeenAtOnce) {
    const Machine &machine = *Machine::current();
    fs::path prefix = machine.prefix();
    fs::path devices = prefix / "dosdevices";
    fs::path first = prefix / "first", second = prefix / "second";
    fs::create_directories(first / "sub");
    fs::create_directories(second / "sub");
    fs::create_directories(devices);
    point(devices / "q:", first);
    age(prefix, 60, 0);
    age(devices, 60, 0);
    EXPECT_EQ(unix_to_dos_path(machine, (first / "sub").string()), "Q:\\sub");
    EXPECT_EQ(unix_to_dos_path(machine, (first / "sub").string()), "Q:\\sub");  // from the kept table

    point(devices / "q:", second);  // the folder's time is now: never kept
    EXPECT_EQ(dos_to_unix_path(machine, "Q:\\sub"), (fs::canonical(second) / "sub").string());
    EXPECT_EQ(unix_to_dos_path(machine, (second / "sub").string()), "Q:\\sub");

    // Changed again, and aged to a time of its own: read again, then kept.
    point(devices / "q:", first);
    age(devices, 30, 1);
    EXPECT_EQ(dos_to_unix_path(machine, "Q:\\sub"), (fs::canonical(first) / "sub").string());
    fs::remove(devices / "q:");
    age(devices, 20, 2);
    EXPECT_EQ(dos_to_unix_path(machine, "Q:\\sub"), std::nullopt);
    EXPECT_EQ(unix_to_dos_path(machine, (first / "sub").string()).value_or("").substr(0, 2), "Z:");
}

}  // namespace
