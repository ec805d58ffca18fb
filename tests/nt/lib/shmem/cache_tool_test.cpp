// quarn cache through the built tool: the statistics of both areas and
// flushing them, with what a missing installation and bad options give.
#include <gtest/gtest.h>

#include "area_test_support.h"
#include "child_process.h"
#include "live_child.h"
#include "ntregy.h"

namespace quarn::test {
namespace {

ChildResult quarn_cache(const std::vector<std::string> &arguments) {
    std::vector<std::string> argv{QUARN_TOOL, "cache"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return run_child(argv);
}

TEST(CacheTool, StatsWithoutAHostDataDirectoryFail) {
    auto r = quarn_cache({"stats"});
    EXPECT_NE(r.exit_code, 0);
    EXPECT_EQ(r.err,
              "Can not attach to the global persistent hash table.\n"
              "Can not attach to the private persistent hash table.\n");
    EXPECT_EQ(r.out, "");
}

TEST(CacheTool, StatsShowTheIdentityTables) {
    use_host_data();
    ASSERT_EQ(run_child(shmem_helper({"enter", "5", "55"})).exit_code, 0);
    auto r = quarn_cache({"stats"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("=====================  Global Cache  =====================\n"), std::string::npos);
    EXPECT_NE(r.out.find("  Section: Global\\ZNshmemV3_area\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Sid->Uid                     0       0       1        0       0     100   1.00%\n"),
              std::string::npos)
        << r.out;
}

TEST(CacheTool, FlushEmptiesTheTables) {
    use_host_data();
    const std::vector<std::vector<std::string>> variants = {{"flush"}, {"flush", "--global"}};
    for (const auto &arguments : variants) {
        SCOPED_TRACE(arguments.size());
        ASSERT_EQ(run_child(shmem_helper({"enter", "5", "55"})).exit_code, 0);
        ASSERT_EQ(run_child(shmem_helper({"lookup", "5"})).out, "55\n");
        auto r = quarn_cache(arguments);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(run_child(shmem_helper({"lookup", "5"})).out, "miss\n");
    }
}

TEST(CacheTool, FlushFailuresAndBadOptionsGoToStandardError) {
    auto r = quarn_cache({"flush", "--private"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "quarn: cannot flush the private cache\n");
    r = quarn_cache({"flush", "--global", "--private"});
    EXPECT_NE(r.exit_code, 0);
    EXPECT_NE(r.err.find("--global excludes --private"), std::string::npos) << r.err;
    r = quarn_cache({});
    EXPECT_NE(r.exit_code, 0);
    r = quarn_cache({"flush", "--help"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("--private"), std::string::npos);
}

}  // namespace
}  // namespace quarn::test
