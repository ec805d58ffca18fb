// Shared memory areas in one process: the file's layout byte for byte, the
// names and sizes, sub-area allocation and its limits, walking, committing,
// the statistics, and what null or detached areas answer.
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>

#include <gtest/gtest.h>

#include "area_test_support.h"
#include "ntregy.h"
#include "shmem/shmem_area.h"
#include "temp_prefix.h"

namespace quarn::test {
namespace {

class ShmemArea : public testing::Test {
protected:
    void SetUp() override { host_data_ = use_host_data(); }
    void TearDown() override {
        if (area_) shmem_free_area(area_);
    }
    shmem_area *open_global() {
        EXPECT_EQ(shmem_create_area(0, 1, &area_), 1);
        return area_;
    }
    std::string events() const {
        std::error_code ec;
        auto log = process_prefix().path() / "events.log";
        return std::filesystem::exists(log, ec) ? read_file(log) : std::string();
    }

    std::filesystem::path host_data_;
    shmem_area *area_ = nullptr;
};

TEST(ShmemSize, CapacityComesFromTheSettingWithinItsBounds) {
    struct Row {
        const char *what;
        bool set;
        DWORD capacity;
        uint32_t total;
    } rows[] = {
        {"unset", false, 0, 3146344},
        {"exactly 3 MiB", true, 0x300000, 3146344},
        {"exactly 1 GiB", true, 0x40000000, 3146344},
        {"above 1 GiB", true, 0xFFFFFFFF, 3146344},
        {"below 3 MiB", true, 0x1000, 3146344},
        {"4 MiB", true, 0x400000, 4194920},
        {"just below 1 GiB", true, 0x3FFFFFFF, 0x3FFFFFFFu + 616},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        if (row.set) set_area_capacity(row.capacity);
        EXPECT_EQ(shmem_total_size(), row.total);
    }
}

TEST_F(ShmemArea, NewFileHoldsTheHeaderByteForByte) {
    set_area_capacity(0x400000);
    int64_t before = static_cast<int64_t>(std::time(nullptr));
    shmem_area *area = open_global();
    ASSERT_NE(area, nullptr);
    std::string bytes = read_file(global_area_file());
    ASSERT_EQ(bytes.size(), 4194920u);
    EXPECT_EQ(bytes.substr(0, 4), "ZNsh");
    EXPECT_EQ(field_at<int32_t>(bytes, 4), 3);
    int64_t stamp = field_at<int64_t>(bytes, 8);
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, before + 5);
    EXPECT_EQ(field_at<int32_t>(bytes, 16), 24);
    EXPECT_EQ(field_at<int32_t>(bytes, 20), 0);
    EXPECT_EQ(bytes.substr(24, 576), std::string(576, '\0'));
    EXPECT_EQ(field_at<uint32_t>(bytes, 600), 4194920u);
    EXPECT_EQ(field_at<uint32_t>(bytes, 604), 616u);
    EXPECT_EQ(bytes.substr(608, 4), "mem2");
    EXPECT_EQ(field_at<uint32_t>(bytes, 612), 0u);
    EXPECT_EQ(bytes.find_first_not_of('\0', 616), std::string::npos);
    EXPECT_EQ(shmem_is_area_readonly(area), 0);
}

TEST_F(ShmemArea, GlobalNamesAndFilePath) {
    shmem_area *area = open_global();
    ASSERT_NE(area, nullptr);
    EXPECT_STREQ(area->section_name, "Global\\ZNshmemV3_area");
    EXPECT_STREQ(area->mutex_name, "Global\\ZNshmemV3_mutex");
    EXPECT_EQ(std::string(area->file_path), host_data_.string() + "\\var\\cache\\ZNshmemV3");
}

TEST_F(ShmemArea, LocalSystemAskingForThePrivateAreaGetsTheGlobalOne) {
    if (geteuid() != 0) GTEST_SKIP() << "only root's token is LocalSystem";
    shmem_area *global = open_global();
    shmem_area *own = nullptr;
    ASSERT_EQ(shmem_create_area(0, 0, &own), 1);
    EXPECT_EQ(own, global);
}

TEST_F(ShmemArea, SameUuidRoundsToTheSameSubAreaAndOtherSizesFail) {
    shmem_area *area = open_global();
    ASSERT_NE(area, nullptr);
    GUID uuid = test_uuid(1);
    shmem_subarea *first = nullptr, *second = nullptr;
    shmem_subarea *third = reinterpret_cast<shmem_subarea *>(0xdeadbeef);
    ASSERT_EQ(shmem_create_subarea(area, 100, &uuid, &first), 1);
    ASSERT_EQ(shmem_create_subarea(area, 104, &uuid, &second), 1);
    EXPECT_EQ(shmem_create_subarea(area, 105, &uuid, &third), 0);
    EXPECT_EQ(third, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(shmem_get_subarea_addr(first), shmem_get_subarea_addr(second));
    EXPECT_EQ(shmem_get_subarea_size(first), 104u);
    EXPECT_EQ(shmem_get_subarea_addr(first), reinterpret_cast<char *>(area->view) + 616);
    EXPECT_EQ(area->view->subarea_count, 1);
    EXPECT_EQ(area->view->used, 720u);
    EXPECT_EQ(shmem_free_subarea(first), 1);
    EXPECT_EQ(shmem_free_subarea(second), 1);
    EXPECT_EQ(shmem_free_subarea(nullptr), 0);
}

TEST_F(ShmemArea, DirectoryEntriesAreWrittenInAllocationOrder) {
    shmem_area *area = open_global();
    ASSERT_NE(area, nullptr);
    const unsigned sizes[] = {1, 8, 13, 4096};
    for (unsigned i = 0; i < 4; ++i) {
        GUID uuid = test_uuid(10 + i);
        shmem_subarea *s = nullptr;
        ASSERT_EQ(shmem_create_subarea(area, sizes[i], &uuid, &s), 1);
        shmem_free_subarea(s);
    }
    shmem_commit_area(area);
    std::string bytes = read_file(global_area_file());
    EXPECT_EQ(field_at<int32_t>(bytes, 20), 4);
    const uint32_t offsets[] = {616, 624, 632, 648};
    const uint32_t rounded[] = {8, 8, 16, 4096};
    for (unsigned i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        size_t entry = 24 + 24 * i;
        GUID uuid = test_uuid(10 + i);
        EXPECT_EQ(std::memcmp(bytes.data() + entry, &uuid, 16), 0);
        EXPECT_EQ(field_at<uint8_t>(bytes, entry), static_cast<uint8_t>(10 + i));  // Data1 little-endian
        EXPECT_EQ(field_at<uint8_t>(bytes, entry + 3), 0x5E);
        EXPECT_EQ(field_at<uint32_t>(bytes, entry + 16), offsets[i]);
        EXPECT_EQ(field_at<uint32_t>(bytes, entry + 20), rounded[i]);
    }
    EXPECT_EQ(field_at<uint32_t>(bytes, 604), 648u + 4096u);
    EXPECT_EQ(bytes.substr(24 + 24 * 4, 24), std::string(24, '\0'));
}

TEST_F(ShmemArea, TwentyFifthUuidIsRefusedWithoutAnEvent) {
    shmem_area *area = open_global();
    ASSERT_NE(area, nullptr);
    for (unsigned i = 0; i < 24; ++i) {
        GUID uuid = test_uuid(100 + i);
        shmem_subarea *s = nullptr;
        ASSERT_EQ(shmem_create_subarea(area, 16, &uuid, &s), 1) << i;
        shmem_free_subarea(s);
    }
    GUID extra = test_uuid(200);
    shmem_subarea *s = nullptr;
    EXPECT_EQ(shmem_create_subarea(area, 16, &extra, &s), 0);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(area->view->subarea_count, 24);
    EXPECT_EQ(events().find("Failed to create shmem subarea"), std::string::npos);
    // The ones already there are still found.
    GUID old = test_uuid(123);
    ASSERT_EQ(shmem_create_subarea(area, 16, &old, &s), 1);
    shmem_free_subarea(s);
}

TEST_F(ShmemArea, SubAreaThatDoesNotFitLogsAWarningNamingItsUuid) {
    shmem_area *area = open_global();
    ASSERT_NE(area, nullptr);
    GUID big = test_uuid(1), small = test_uuid(2);
    shmem_subarea *s = nullptr;
    ASSERT_EQ(shmem_create_subarea(area, 0x300000 - 8, &big, &s), 1);
    shmem_free_subarea(s);
    EXPECT_EQ(shmem_create_subarea(area, 16, &small, &s), 0);
    std::string log = events();
    EXPECT_NE(log.find("] warning category=8 id=1024 "), std::string::npos) << log;
    EXPECT_NE(log.find("Failed to create shmem subarea for sub-area with id "
                       "5E000002.12345678.0102.03:04:05:06:07:08"),
              std::string::npos)
        << log;
    // Exactly what is left still fits.
    EXPECT_EQ(shmem_create_subarea(area, 8, &small, &s), 1);
    EXPECT_EQ(area->view->used, area->view->total_size);
    shmem_free_subarea(s);
}

TEST_F(ShmemArea, WalkVisitsSubAreasInOrderAndEndsWithMinusOne) {
    shmem_area *area = open_global();
    ASSERT_NE(area, nullptr);
    for (unsigned i = 0; i < 3; ++i) {
        GUID uuid = test_uuid(i);
        shmem_subarea *s = nullptr;
        ASSERT_EQ(shmem_create_subarea(area, 24 * (i + 1), &uuid, &s), 1);
        shmem_free_subarea(s);
    }
    ASSERT_EQ(shmem_lock_area_mutex(area), 1);
    int cursor = 0;
    void *address = reinterpret_cast<void *>(0xdeadbeef);
    unsigned size = 0xCCCCCCCC;
    uint32_t expected = 616;
    for (unsigned i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(shmem_walk_subarea_info(area, &cursor, &address, &size), 1);
        EXPECT_EQ(cursor, static_cast<int>(i + 1));
        EXPECT_EQ(address, reinterpret_cast<char *>(area->view) + expected);
        EXPECT_EQ(size, 24 * (i + 1));
        expected += size;
    }
    EXPECT_EQ(shmem_walk_subarea_info(area, &cursor, &address, &size), 0);
    EXPECT_EQ(cursor, -1);
    cursor = 7;
    EXPECT_EQ(shmem_walk_subarea_info(area, &cursor, &address, &size), 0);
    EXPECT_EQ(cursor, -1);
    EXPECT_EQ(shmem_unlock_area_mutex(area), 1);
}

TEST_F(ShmemArea, CommitsStampTheHeaderAndCommitAreaWritesTheFile) {
    shmem_area *area = open_global();
    ASSERT_NE(area, nullptr);
    GUID uuid = test_uuid(1);
    shmem_subarea *s = nullptr;
    ASSERT_EQ(shmem_create_subarea(area, 64, &uuid, &s), 1);
    area->view->last_update = 5;
    shmem_commit_subarea(s);
    int64_t now = static_cast<int64_t>(std::time(nullptr));
    EXPECT_GE(area->view->last_update, now - 2);
    std::memset(shmem_get_subarea_addr(s), 0xA5, 64);
    area->view->last_update = 5;
    shmem_commit_area(area);
    EXPECT_GE(area->view->last_update, now - 2);
    std::string bytes = read_file(global_area_file());
    EXPECT_EQ(field_at<int64_t>(bytes, 8), area->view->last_update);
    EXPECT_EQ(bytes.substr(616, 64), std::string(64, '\xA5'));
    shmem_free_subarea(s);
}

TEST_F(ShmemArea, LockIsRecursiveForItsThread) {
    shmem_area *area = open_global();
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(shmem_lock_area_mutex(area), 1);
    EXPECT_EQ(shmem_lock_area_mutex(area), 1);
    EXPECT_EQ(shmem_unlock_area_mutex(area), 1);
    EXPECT_EQ(shmem_unlock_area_mutex(area), 1);
    EXPECT_EQ(shmem_unlock_area_mutex(area), 0);
}

TEST_F(ShmemArea, StatisticsShowNamesHeaderAndDirectory) {
    shmem_area *area = open_global();
    ASSERT_NE(area, nullptr);
    GUID uuid = {0x01234567, 0x89AB, 0xCDEF, {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE}};
    shmem_subarea *s = nullptr;
    ASSERT_EQ(shmem_create_subarea(area, 40, &uuid, &s), 1);
    shmem_free_subarea(s);
    time_t stamp = static_cast<time_t>(area->view->last_update);
    char expected_header[512];
    std::snprintf(expected_header, sizeof expected_header,
                  "  Version: %-6d           Last Update: 0x%llx %s  # of Sub-Areas: %3d/%-3d          "
                  "Size: 0x%08X/0x%08X (Used/Total)\n\n",
                  3, static_cast<unsigned long long>(stamp), std::ctime(&stamp), 1, 24, 0x290, 0x300268);
    testing::internal::CaptureStdout();
    shmem_display_stats(area);
    std::string out = testing::internal::GetCapturedStdout();
    std::string expected = "--------------------- Shared Memory Area Statistics ---------------------------\n"
                           "  Section: Global\\ZNshmemV3_area\n  Mutex: Global\\ZNshmemV3_mutex\n  File: " +
                           std::string(area->file_path) + "\n" + expected_header +
                           "Sec.       UUID                                   Offset       Size\n"
                           "  0  01234567.89ABCDEF.1032.54:76:98:BA:DC:FE 0x00000268 0x00000028\n";
    EXPECT_EQ(out, expected);
}

TEST(ShmemNull, NullAndDetachedAreasGiveFailureValues) {
    int cursor = 3;
    void *address = reinterpret_cast<void *>(0xdeadbeef);
    unsigned size = 0xCCCCCCCC;
    EXPECT_EQ(shmem_walk_subarea_info(nullptr, &cursor, &address, &size), 0);
    EXPECT_EQ(cursor, -1);
    EXPECT_EQ(address, reinterpret_cast<void *>(0xdeadbeef));
    EXPECT_EQ(size, 0xCCCCCCCCu);
    EXPECT_EQ(shmem_is_area_readonly(nullptr), 1);
    EXPECT_EQ(shmem_lock_area_mutex(nullptr), 0);
    EXPECT_EQ(shmem_unlock_area_mutex(nullptr), 0);
    EXPECT_EQ(shmem_free_area(nullptr), 0);
    EXPECT_EQ(shmem_lock_mutex(nullptr), 0);
    EXPECT_EQ(shmem_unlock_mutex(nullptr), 0);
    EXPECT_EQ(shmem_get_subarea_addr(nullptr), nullptr);
    EXPECT_EQ(shmem_get_subarea_size(nullptr), 0u);
    shmem_commit_subarea(nullptr);
    shmem_commit_area(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    shmem_display_stats(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "--------------------- Shared Memory Area Statistics ---------------------------\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Can not attach to the shared memory\n");
}

TEST_F(ShmemArea, FreedAreaIsDetachedAndOpensAgain) {
    shmem_area *area = open_global();
    ASSERT_NE(area, nullptr);
    GUID uuid = test_uuid(1);
    shmem_subarea *s = nullptr;
    ASSERT_EQ(shmem_create_subarea(area, 8, &uuid, &s), 1);
    shmem_commit_area(area);
    EXPECT_EQ(shmem_free_area(area), 1);
    area_ = nullptr;
    EXPECT_EQ(shmem_free_area(area), 0);
    EXPECT_EQ(shmem_is_area_readonly(area), 1);
    EXPECT_EQ(shmem_get_subarea_addr(s), nullptr);
    EXPECT_EQ(shmem_lock_mutex(s), 0);
    shmem_free_subarea(s);
    // This process held the only handles: the file is read again, and it is current.
    area = open_global();
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->view->subarea_count, 1);
}

TEST_F(ShmemArea, NoHostDataDirectoryMeansNoArea) {
    ntregy_del_param(16, nullptr);
    shmem_area *area = reinterpret_cast<shmem_area *>(0xdeadbeef);
    EXPECT_EQ(shmem_create_area(0, 1, &area), 0);
    EXPECT_EQ(area, nullptr);
}

}  // namespace
}  // namespace quarn::test
