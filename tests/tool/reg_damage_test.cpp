// quarn reg on hives changed behind the registry's back: rows edited by hand
// so that keys lead round in a circle, damaged pages, a missing table, and
// another program's database where the machine hive should be.
#include <sqlite3.h>

#include <fstream>

#include "reg_tool_support.h"

namespace quarn::test {
namespace {

const std::string kDamaged = "ERROR: The registry's database is damaged.\n";

class RegDamage : public RegTool {
protected:
    std::string hive() const { return path("registry/machine.db"); }
    // Runs `sql` on the machine hive as an outside sqlite3 client would.
    void edit(const std::string &sql) const {
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(hive().c_str(), &db), SQLITE_OK);
        char *error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
    }
};

int64_t count_of(const std::string &hive, const std::string &sql) {
    sqlite3 *db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(hive.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt *s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), SQLITE_OK);
    int64_t count = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    sqlite3_finalize(s);
    sqlite3_close(db);
    return count;
}

TEST_F(RegDamage, KeysThatLeadBackAreReportedByEveryWalk) {
    struct Row {
        const char *what;
        const char *sql;
    } rows[] = {
        {"a subkey with an empty name", "UPDATE keys SET name = '' WHERE path = 'LOOP\\A'"},
        {"a subkey whose name ends in a backslash", "UPDATE keys SET name = 'A\\' WHERE path = 'LOOP\\A'"},
        {"a subkey filed under another path", "UPDATE keys SET path = 'ELSEWHERE' WHERE path = 'LOOP\\A'"},
        {"two keys each the other's parent",
         "UPDATE keys SET parent = (SELECT id FROM keys WHERE path = 'LOOP\\A') WHERE path = 'LOOP'"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        reg_ok({"add", "HKLM\\Loop\\A", "/v", "v", "/d", "x"});
        edit(row.sql);
        for (auto args : std::vector<std::vector<std::string>>{{"query", "HKLM\\Loop", "/s"},
                                                              {"export", "HKLM\\Loop", path("loop.reg"), "/y"}}) {
            SCOPED_TRACE(args[0]);
            ChildResult result = reg(args);
            EXPECT_EQ(result.exit_code, 1);
            EXPECT_EQ(result.err, kDamaged);
            EXPECT_LT(result.out.size(), 4096u);
        }
        EXPECT_FALSE(std::filesystem::exists(path("loop.reg")));
        // A tree is deleted by its paths, not by a walk: the damaged keys go with it.
        reg_ok({"delete", "HKLM\\Loop", "/f"});
        EXPECT_EQ(reg({"query", "HKLM\\Loop"}).err, kNotFound);
        EXPECT_EQ(count_of(hive(), "SELECT count(*) FROM keys WHERE path >= 'LOOP' AND path < 'LOOQ'"), 0);
    }
}

// The leaf pages of `table` in key order, and the page size, with every
// change checkpointed into the hive file itself.
std::pair<std::vector<int64_t>, int64_t> leaf_pages(const std::string &hive, const std::string &table) {
    sqlite3 *db = nullptr;
    EXPECT_EQ(sqlite3_open(hive.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr), SQLITE_OK);
    std::pair<std::vector<int64_t>, int64_t> found;
    sqlite3_stmt *s = nullptr;
    std::string sql = "SELECT pageno FROM dbstat WHERE name = '" + table + "' AND pagetype = 'leaf' ORDER BY path";
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), SQLITE_OK);
    while (sqlite3_step(s) == SQLITE_ROW) found.first.push_back(sqlite3_column_int64(s, 0));
    sqlite3_finalize(s);
    EXPECT_EQ(sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &s, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_step(s), SQLITE_ROW);
    found.second = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    sqlite3_close(db);
    return found;
}

TEST_F(RegDamage, ACallOnADamagedPageAppliesWholeOrNotAtAll) {
    // Tree\A has one value and Tree\B a few pages of them, so that the last
    // leaf of the values holds only B's, the last key's.
    reg_ok({"add", "HKLM\\Tree\\A", "/v", "a", "/d", "1"});
    std::string file = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Tree\\B]\r\n";
    for (int i = 0; i < 200; ++i) file += "\"v" + std::to_string(1000 + i) + "\"=\"" + std::string(200, 'x') + "\"\r\n";
    prefix_.write("b.reg", file);
    reg_ok({"import", path("b.reg")});
    auto [leaves, page_size] = leaf_pages(hive(), "vals");
    ASSERT_GT(leaves.size(), 2u);
    {
        std::fstream bytes(hive(), std::ios::in | std::ios::out | std::ios::binary);
        bytes.seekp((leaves.back() - 1) * page_size);
        bytes << std::string(page_size, '\xFF');
    }
    // A new key with a value whose place is on the damaged page.
    ChildResult result = reg({"add", "HKLM\\Zz", "/v", "zz", "/d", "1"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, kDamaged);
    EXPECT_EQ(count_of(hive(), "SELECT count(*) FROM keys WHERE path = 'ZZ'"), 0);
    // A tree whose last key's values are on the damaged page.
    result = reg({"delete", "HKLM\\Tree", "/f"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, kDamaged);
    EXPECT_EQ(count_of(hive(), "SELECT count(*) FROM keys WHERE path >= 'TREE' AND path < 'TREF'"), 3);
}

TEST_F(RegDamage, AMissingTableIsADamagedHive) {
    reg_ok({"add", "HKLM\\Kept", "/v", "a", "/d", "1"});
    edit("DROP TABLE vals");
    for (auto args : std::vector<std::vector<std::string>>{{"query", "HKLM\\Kept"}, {"add", "HKLM\\Kept", "/v", "b", "/d", "2"}}) {
        SCOPED_TRACE(args[0]);
        ChildResult result = reg(args);
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_EQ(result.err, kDamaged);
    }
}

}  // namespace
}  // namespace quarn::test
