// The product settings: the numbered table, per-application values and
// geometry, the user's comma lists, the privilege override, the product
// information list, the registry password and the removal of the product's keys.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>
#include <string>

#include "ntregy.h"
#include "phash.h"
#include "win32.h"

namespace {

std::string read_string(int setting) {
    char buffer[8200] = {};
    LONG status = ntregy_get_param(setting, sizeof buffer - 1, buffer, nullptr);
    return status == ERROR_SUCCESS ? std::string(buffer) : "error " + std::to_string(status);
}

void write_string(int setting, const char *text) { ASSERT_EQ(ntregy_set_param(setting, text, nullptr), ERROR_SUCCESS); }

// The raw bytes and type of a value under the common key.
std::string raw_value(HKEY root, const char *name, DWORD *type = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, ntregy_get_common_key() + 1, 0, KEY_READ, &key) != ERROR_SUCCESS) return "no key";
    char data[256];
    DWORD size = sizeof data;
    LONG status = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE *>(data), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::string(data, size) : "error " + std::to_string(status);
}

TEST(Settings, TheTableGivesEachNumberItsTypeAndItsGaps) {
    struct Row {
        int number;
        DWORD type;
    } rows[] = {{0, REG_SZ},       {3, REG_SZ},   {4, REG_NONE},  {5, REG_NONE},  {6, REG_MULTI_SZ}, {9, REG_DWORD},
                {41, REG_DWORD},   {45, REG_DWORD}, {48, REG_MULTI_SZ}, {53, REG_NONE}, {60, REG_NONE},  {68, REG_DWORD},
                {69, REG_NONE},    {-1, REG_NONE}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.number);
        EXPECT_EQ(ntregy_get_datatype(row.number), row.type);
    }
    DWORD value = 1;
    char buffer[8];
    EXPECT_EQ(ntregy_get_param(53, sizeof buffer, buffer, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ntregy_set_param(60, &value, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ntregy_del_param(99, nullptr), ERROR_INVALID_PARAMETER);
}

TEST(Settings, EachSettingLivesUnderTheCommonKeyOfItsRootWithItsType) {
    DWORD size = 4096;
    ASSERT_EQ(ntregy_set_param(45, &size, nullptr), ERROR_SUCCESS);  // ShmemTotalAreaSize, machine
    DWORD type = 0;
    EXPECT_EQ(raw_value(HKEY_LOCAL_MACHINE, "ShmemTotalAreaSize", &type), std::string("\0\x10\0\0", 4));
    EXPECT_EQ(type, REG_DWORD);
    DWORD read = 0;
    EXPECT_EQ(ntregy_get_param(45, sizeof read, &read, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(read, 4096u);

    write_string(37, "user keyword");  // DomainMappingKeyword, user
    write_string(56, "machine keyword");  // the same name, machine
    EXPECT_EQ(raw_value(HKEY_CURRENT_USER, "DomainMappingKeyword"), std::string("user keyword\0", 13));
    EXPECT_EQ(raw_value(HKEY_LOCAL_MACHINE, "DomainMappingKeyword"), std::string("machine keyword\0", 16));
    EXPECT_EQ(ntregy_del_param(37, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(read_string(37), "error 2");
    EXPECT_EQ(read_string(56), "machine keyword");
}

TEST(Settings, StringListsAreWrittenWithTheirFinalNul) {
    ASSERT_EQ(ntregy_set_param(48, "one\0two\0", nullptr), ERROR_SUCCESS);
    EXPECT_EQ(raw_value(HKEY_LOCAL_MACHINE, "CredmapAllowedDomainList"), std::string("one\0two\0\0", 9));
    ASSERT_EQ(ntregy_set_param(48, "\0", nullptr), ERROR_SUCCESS);
    EXPECT_EQ(raw_value(HKEY_LOCAL_MACHINE, "CredmapAllowedDomainList"), "");
}

TEST(Settings, ASettingOfAnotherMachineIsReadThere) {
    std::filesystem::create_directories(std::filesystem::path(getenv("QUARN_PREFIX")) / "machines" / "peer");
    ASSERT_EQ(ntregy_set_param(13, "PeerGroup", "peer"), ERROR_SUCCESS);
    char buffer[32] = {};
    EXPECT_EQ(ntregy_get_param(13, sizeof buffer, buffer, "\\\\PEER"), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "PeerGroup");
    EXPECT_EQ(ntregy_get_param(13, sizeof buffer, buffer, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ntregy_get_param(19, sizeof buffer, buffer, "peer"), ERROR_INVALID_HANDLE);  // a user setting
    EXPECT_EQ(ntregy_get_param(13, sizeof buffer, buffer, "absent"), ERROR_BAD_NETPATH);
}

TEST(ApplicationValues, TypesDecideTheLengthAndOthersAreRefused) {
    EXPECT_EQ(ntregy_set_app_param("App", "s", REG_SZ, "text", nullptr), ERROR_SUCCESS);
    DWORD number = 7;
    EXPECT_EQ(ntregy_set_app_param("App", "n", REG_DWORD_BIG_ENDIAN, &number, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(ntregy_set_app_param("App", "empty", REG_MULTI_SZ, "\0", nullptr), ERROR_SUCCESS);
    EXPECT_EQ(ntregy_set_app_param("App", "bin", REG_BINARY, "xx", nullptr), ERROR_INVALID_PARAMETER);
    char buffer[16] = {};
    EXPECT_EQ(ntregy_get_app_param("App", "bin", sizeof buffer, buffer, nullptr), ERROR_FILE_NOT_FOUND);

    std::string path = std::string(ntregy_get_common_key() + 1) + "\\App";
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD size = sizeof buffer, type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "empty", nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 2u);  // an empty list given as two NULs
    EXPECT_EQ(type, REG_MULTI_SZ);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "s", nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 5u);
    RegCloseKey(key);
    EXPECT_EQ(ntregy_get_app_param("App", "n", sizeof buffer, buffer, nullptr), ERROR_SUCCESS);
}

TEST(ApplicationValues, GeometryIsFourNumbersOrInvalidData) {
    ASSERT_EQ(ntregy_set_app_geometry("Viewer", 10, 20, 300, -400, nullptr), ERROR_SUCCESS);
    LONG x = 0, y = 0, w = 0, h = 0;
    EXPECT_EQ(ntregy_get_app_geometry("Viewer", &x, &y, &w, &h, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::vector<LONG>({x, y, w, h}), std::vector<LONG>({10, 20, 300, -400}));

    ASSERT_EQ(ntregy_set_app_param("Half", "Geometry", REG_SZ, "10 20", nullptr), ERROR_SUCCESS);
    x = y = w = h = -7;
    EXPECT_EQ(ntregy_get_app_geometry("Half", &x, &y, &w, &h, nullptr), ERROR_INVALID_DATA);
    EXPECT_EQ(std::vector<LONG>({x, y, w, h}), std::vector<LONG>({10, 20, -7, -7}));
    EXPECT_EQ(ntregy_get_app_geometry("Nobody", &x, &y, &w, &h, nullptr), ERROR_FILE_NOT_FOUND);
}

struct ListCase {
    const char *before;
    const char *tag;
    const char *after;
};

TEST(UserLists, PersistentVobsAreAddedOnceAndRemovedWithTheirComma) {
    const ListCase adds[] = {{"a,b,c", "b", "a,b,c"}, {"a,b,c", "d", "a,b,c,d"}, {"", "x", "x"}, {"a,bb", "b", "a,bb,b"}};
    for (const auto &c : adds) {
        SCOPED_TRACE(std::string(c.before) + " + " + c.tag);
        write_string(19, c.before);
        ntregy_add_persistent_vob(c.tag);
        EXPECT_EQ(read_string(19), c.after);
    }
    const ListCase removes[] = {
        {"a,b,c", "b", "a,c"}, {"a,b,c", "c", "a,b"}, {"a", "a", ""}, {"a,b,c", "z", "a,b,c"}, {"a,b,a", "a", "b,a"}};
    for (const auto &c : removes) {
        SCOPED_TRACE(std::string(c.before) + " - " + c.tag);
        write_string(19, c.before);
        ntregy_remove_persistent_vob(c.tag);
        EXPECT_EQ(read_string(19), c.after);
    }
    ntregy_remove_persistent_vob(nullptr);
    EXPECT_EQ(read_string(19), "");
}

TEST(UserLists, AMissingListStartsEmptyAndAFullOneIsLeftAlone) {
    ntregy_del_param(19, nullptr);
    ntregy_add_persistent_vob("first");
    EXPECT_EQ(read_string(19), "first");
    std::string full(8185, 'f');
    write_string(19, full.c_str());
    ntregy_add_persistent_vob("toolong");
    EXPECT_EQ(read_string(19), full);
    ntregy_del_param(19, nullptr);
    ntregy_remove_persistent_vob("absent");  // nothing to read: nothing written
    EXPECT_EQ(read_string(19), "error 2");
}

TEST(UserLists, AVobListThatCannotBeReadIsNeverOverwrittenAndARecentOneCountsAsEmpty) {
    std::string huge(9000, 'h');  // longer than any list this library writes
    write_string(19, huge.c_str());
    ntregy_add_persistent_vob("new");
    char buffer[9100] = {};
    ASSERT_EQ(ntregy_get_param(19, sizeof buffer - 1, buffer, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::string(buffer), huge);
    write_string(20, huge.c_str());
    ntregy_add_to_recent_views("t1");
    EXPECT_EQ(read_string(20), "t1");
    ntregy_add_to_recent_views("t2");
    EXPECT_EQ(read_string(20), "t2,t1");
}

TEST(UserLists, RecentViewsKeepTheNewestFirstUpToTheMaximum) {
    write_string(20, "t2,t1,t3,t4,t5,t6");
    ntregy_add_to_recent_views("t1");
    EXPECT_EQ(read_string(20), "t1,t2,t3,t4,t5");
    DWORD maximum = 0;
    EXPECT_EQ(ntregy_get_param(21, sizeof maximum, &maximum, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(maximum, 5u);

    maximum = 2;
    ASSERT_EQ(ntregy_set_param(21, &maximum, nullptr), ERROR_SUCCESS);
    ntregy_add_to_recent_views("t9");
    EXPECT_EQ(read_string(20), "t9,t1");
    maximum = 0;
    ASSERT_EQ(ntregy_set_param(21, &maximum, nullptr), ERROR_SUCCESS);
    ntregy_add_to_recent_views("t8");
    EXPECT_EQ(read_string(20), "");

    write_string(20, "v1,v2,v3");
    ntregy_del_from_recent_views("v2");
    EXPECT_EQ(read_string(20), "v1,v3");
}

TEST(ProductInfo, LinesBecomeAListEndingAtTheFirstEmptyLine) {
    const struct {
        const char *text;
        std::string stored;
    } cases[] = {{"k1\nk2", std::string("k1\0k2\0\0", 7)},
                 {"a\nb\n", std::string("a\0b\0\0", 5)},
                 {"a\n\nb", std::string("a\0\0", 3)},
                 {"t\tab\rx\n", std::string("tabx\0\0", 6)},
                 {"", ""}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_EQ(ntregy_update_product_info_keys(c.text, nullptr), ERROR_SUCCESS);
        EXPECT_EQ(raw_value(HKEY_LOCAL_MACHINE, "ProductInfoKeys"), c.stored);
    }
}

TEST(PrivilegeOverride, OnlyTheComputersOwnNonZeroValueCountsAndOnlyOnce) {
    char computer[16];
    DWORD size = sizeof computer;
    ASSERT_TRUE(GetComputerNameA(computer, &size));
    std::string name = "AdminsArePrivileged_" + std::to_string(static_cast<int>(phash_str_hash_fn(computer)));
    DWORD one = 1;
    ASSERT_EQ(ntregy_set_param(12, &one, nullptr), ERROR_SUCCESS);  // the plain setting is not consulted
    HKEY key = nullptr;
    DWORD zero = 0;
    ASSERT_EQ(ntregy_create_value(HKEY_LOCAL_MACHINE, ntregy_get_common_key(), name.c_str(), &zero, 4, REG_DWORD, &key),
              ERROR_SUCCESS);
    ntregy_close_key(key);
    EXPECT_EQ(ntregy_admins_are_privileged(), 0);
    ASSERT_EQ(ntregy_create_value(HKEY_LOCAL_MACHINE, ntregy_get_common_key(), name.c_str(), &one, 4, REG_DWORD, &key),
              ERROR_SUCCESS);
    ntregy_close_key(key);
    EXPECT_EQ(ntregy_admins_are_privileged(), 0);  // computed once per process
    EXPECT_EQ(ntregy_zngroup_is_privileged(), 0);
}

TEST(PrivilegeOverride, TheHashIsTheStringHashOfTheName) {
    EXPECT_EQ(phash_str_hash_fn(""), 0u);
    EXPECT_EQ(phash_str_hash_fn("A"), 65u);
    EXPECT_EQ(phash_str_hash_fn("AB"), 65u + ((65u << 7) ^ 66u));
    EXPECT_EQ(phash_str_hash_fn("\xE9"), static_cast<unsigned>(-23));  // bytes count as signed
}

TEST(RegistryPassword, IsAPlainStringUnderSecurity) {
    ASSERT_EQ(ntregy_set_rgy_passwd("s3cret", nullptr), ERROR_SUCCESS);
    char buffer[16] = {};
    EXPECT_EQ(ntregy_get_rgy_passwd(buffer, sizeof buffer, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "s3cret");
    EXPECT_EQ(ntregy_get_rgy_passwd(buffer, 3, nullptr), ERROR_MORE_DATA);
}

TEST(ProductKeys, ServerTypeRemovalToleratesAMissingValue) {
    write_string(15, "server");
    EXPECT_EQ(ntregy_del_rgy_svrtype(nullptr), ERROR_SUCCESS);
    EXPECT_EQ(read_string(15), "error 2");
    EXPECT_EQ(ntregy_del_rgy_svrtype(nullptr), ERROR_SUCCESS);
}

TEST(ProductKeys, TreeRemovalStopsAtKeysThatHoldOthers) {
    ASSERT_EQ(ntregy_set_rgy_passwd("p", nullptr), ERROR_SUCCESS);
    HKEY key = nullptr;
    DWORD one = 1;
    ASSERT_EQ(ntregy_create_value(HKEY_LOCAL_MACHINE, "Software\\Quarn\\OtherProduct", "v", &one, 4, REG_DWORD, &key),
              ERROR_SUCCESS);
    ntregy_close_key(key);
    EXPECT_EQ(ntregy_del_zendrel_tree(nullptr), ERROR_SUCCESS);
    EXPECT_EQ(ntregy_get_handle(HKEY_LOCAL_MACHINE, "Software\\Quarn\\Zendrel", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(ntregy_get_handle(HKEY_LOCAL_MACHINE, "Software\\Quarn\\OtherProduct", KEY_READ, &key), ERROR_SUCCESS);
    ntregy_close_key(key);

    // Alone, the product's keys go up to Software, which stays.
    EXPECT_EQ(ntregy_del_key(HKEY_LOCAL_MACHINE, "Software\\Quarn\\OtherProduct"), ERROR_SUCCESS);
    ASSERT_EQ(ntregy_set_rgy_passwd("p", nullptr), ERROR_SUCCESS);
    EXPECT_EQ(ntregy_del_zendrel_tree(nullptr), ERROR_SUCCESS);
    EXPECT_EQ(ntregy_get_handle(HKEY_LOCAL_MACHINE, "Software\\Quarn", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(ntregy_get_handle(HKEY_LOCAL_MACHINE, "Software", KEY_READ, &key), ERROR_SUCCESS);
    ntregy_close_key(key);
    EXPECT_EQ(ntregy_del_zendrel_tree(nullptr), ERROR_SUCCESS);  // nothing left is no failure
}

}  // namespace
