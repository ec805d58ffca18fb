// The registry calls as Windows documents them: names, values and buffer
// rules, enumeration order, access, limits, last-write times, connections.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "temp_prefix.h"
#include "win32.h"

namespace {

constexpr DWORD kPoison = 0xdeadbeef;

// A fresh key under HKLM per test, removed with its subtree afterwards.
class Registry : public testing::Test {
protected:
    void SetUp() override {
        name_ = std::string("Test\\") + testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, name_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                                  nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override { RegCloseKey(key_); }

    HKEY create(HKEY parent, const char *path, DWORD *disposition = nullptr, const char *class_name = nullptr) {
        HKEY child = nullptr;
        std::string copy = class_name ? class_name : "";
        EXPECT_EQ(RegCreateKeyExA(parent, path, 0, class_name ? copy.data() : nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &child, disposition),
                  ERROR_SUCCESS)
            << path;
        return child;
    }
    void set_dword(HKEY key, const char *name, DWORD value) {
        ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value),
                  ERROR_SUCCESS);
    }
    std::vector<std::string> subkeys(HKEY key) {
        std::vector<std::string> names;
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = sizeof name;
            LONG status = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            EXPECT_EQ(status, ERROR_SUCCESS);
            EXPECT_EQ(length, std::strlen(name));
            names.emplace_back(name);
        }
        return names;
    }
    std::vector<std::string> value_names(HKEY key) {
        std::vector<std::string> names;
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = sizeof name;
            LONG status = RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            EXPECT_EQ(status, ERROR_SUCCESS);
            names.emplace_back(name);
        }
        return names;
    }

    std::string name_;
    HKEY key_ = nullptr;
};

TEST_F(Registry, CreateReportsWhetherTheKeyIsNewAndMakesEveryLevel) {
    DWORD disposition = kPoison;
    HKEY deep = create(key_, "a\\b\\c", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    RegCloseKey(deep);
    disposition = kPoison;
    deep = create(key_, "A\\B\\C", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(deep);
    HKEY middle = nullptr;
    EXPECT_EQ(RegOpenKeyExA(key_, "a\\b", 0, KEY_READ, &middle), ERROR_SUCCESS);
    RegCloseKey(middle);
}

TEST_F(Registry, NamesAreCaseInsensitiveAndCasePreservingBeyondAscii) {
    RegCloseKey(create(key_, "MixedCase"));
    RegCloseKey(create(key_, "\xC3\x84rger"));  // "Ärger"
    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyExA(key_, "MIXEDcase", 0, KEY_READ, &opened), ERROR_SUCCESS);
    RegCloseKey(opened);
    EXPECT_EQ(RegOpenKeyExA(key_, "\xC3\xA4RGER", 0, KEY_READ, &opened), ERROR_SUCCESS);  // "äRGER"
    RegCloseKey(opened);
    EXPECT_EQ(subkeys(key_), (std::vector<std::string>{"MixedCase", "\xC3\x84rger"}));

    set_dword(key_, "Value", 1);
    set_dword(key_, "VALUE", 2);  // the same value; its name keeps its first spelling
    EXPECT_EQ(value_names(key_), std::vector<std::string>{"Value"});
    DWORD data = kPoison, size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(key_, "value", nullptr, nullptr, reinterpret_cast<BYTE *>(&data), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(data, 2u);
}

TEST_F(Registry, MissingKeysAndValuesAreNotFoundAndTheResultIsCleared) {
    HKEY opened = reinterpret_cast<HKEY>(static_cast<uintptr_t>(kPoison));
    EXPECT_EQ(RegOpenKeyExA(key_, "absent", 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(opened, nullptr);
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueExA(key_, "absent", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(key_, "absent"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(key_, "absent"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(key_, "\\leading", 0, KEY_READ, &opened), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(0x1234), "x", 0, KEY_READ, &opened), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, QueryFollowsTheBufferRules) {
    const char text[] = "hello";
    ASSERT_EQ(RegSetValueExA(key_, "s", 0, REG_SZ, reinterpret_cast<const BYTE *>(text), sizeof text),
              ERROR_SUCCESS);
    DWORD type = kPoison, size = kPoison;
    EXPECT_EQ(RegQueryValueExA(key_, "s", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, sizeof text);

    char small[4 + 4];
    std::memset(small, 0xCC, sizeof small);
    size = 4;
    EXPECT_EQ(RegQueryValueExA(key_, "s", nullptr, &type, reinterpret_cast<BYTE *>(small), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof text);
    for (char c : small) EXPECT_EQ(static_cast<unsigned char>(c), 0xCCu);  // nothing written, no overflow

    char exact[sizeof text + 1];
    std::memset(exact, 0xCC, sizeof exact);
    size = sizeof text;
    EXPECT_EQ(RegQueryValueExA(key_, "s", nullptr, nullptr, reinterpret_cast<BYTE *>(exact), &size), ERROR_SUCCESS);
    EXPECT_STREQ(exact, "hello");
    EXPECT_EQ(static_cast<unsigned char>(exact[sizeof text]), 0xCCu);

    EXPECT_EQ(RegQueryValueExA(key_, "s", nullptr, nullptr, reinterpret_cast<BYTE *>(exact), nullptr),
              ERROR_INVALID_PARAMETER);
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExA(key_, "s", &reserved, nullptr, nullptr, &size), ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, EveryTypeKeepsItsExactBytesIncludingEmptyData) {
    const BYTE binary[] = {0, 1, 2, 0xFF, 0};
    ASSERT_EQ(RegSetValueExA(key_, "bin", 0, REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key_, "empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key_, "odd", 0, 0x12345, binary, 2), ERROR_SUCCESS);
    BYTE out[16];
    DWORD type = kPoison, size = sizeof out;
    ASSERT_EQ(RegQueryValueExA(key_, "bin", nullptr, &type, out, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(std::vector<BYTE>(out, out + size), std::vector<BYTE>(binary, binary + sizeof binary));
    size = sizeof out;
    ASSERT_EQ(RegQueryValueExA(key_, "empty", nullptr, &type, out, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    size = sizeof out;
    ASSERT_EQ(RegQueryValueExA(key_, "odd", nullptr, &type, out, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, 0x12345u);
    EXPECT_EQ(size, 2u);
}

TEST_F(Registry, TheDefaultValueHasNoName) {
    const char text[] = "default";
    ASSERT_EQ(RegSetValueExA(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(text), sizeof text),
              ERROR_SUCCESS);
    char out[32];
    DWORD size = sizeof out;
    EXPECT_EQ(RegQueryValueExA(key_, "", nullptr, nullptr, reinterpret_cast<BYTE *>(out), &size), ERROR_SUCCESS);
    EXPECT_STREQ(out, "default");
    LONG long_size = sizeof out;
    EXPECT_EQ(RegQueryValueA(key_, nullptr, out, &long_size), ERROR_SUCCESS);
    EXPECT_STREQ(out, "default");
    // A subkey whose default was never set answers with an empty string.
    RegCloseKey(create(key_, "plain"));
    long_size = sizeof out;
    EXPECT_EQ(RegQueryValueA(key_, "plain", out, &long_size), ERROR_SUCCESS);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(long_size, 1);
}

TEST_F(Registry, SubkeysEnumerateSortedAndValuesInCreationOrder) {
    for (const char *name : {"delta", "Alpha", "charlie", "Bravo"}) RegCloseKey(create(key_, name));
    EXPECT_EQ(subkeys(key_), (std::vector<std::string>{"Alpha", "Bravo", "charlie", "delta"}));
    for (const char *name : {"zulu", "alpha", "mike", "kilo"}) set_dword(key_, name, 1);
    set_dword(key_, "alpha", 2);  // rewriting keeps the place
    ASSERT_EQ(RegDeleteValueA(key_, "mike"), ERROR_SUCCESS);
    set_dword(key_, "echo", 3);
    EXPECT_EQ(value_names(key_), (std::vector<std::string>{"zulu", "alpha", "kilo", "echo"}));

    // Random access by index agrees with the walk.
    char name[16];
    DWORD length = sizeof name;
    EXPECT_EQ(RegEnumValueA(key_, 2, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(name, "kilo");
    length = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(key_, 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Bravo");
    length = 3;
    EXPECT_EQ(RegEnumKeyExA(key_, 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
}

TEST_F(Registry, EnumeratedValuesFollowTheDataRules) {
    const char text[] = "abcdef";
    ASSERT_EQ(RegSetValueExA(key_, "text", 0, REG_SZ, reinterpret_cast<const BYTE *>(text), sizeof text),
              ERROR_SUCCESS);
    char name[8];
    BYTE data[4];
    DWORD name_length = sizeof name, type = kPoison, size = sizeof data;
    EXPECT_EQ(RegEnumValueA(key_, 0, name, &name_length, nullptr, &type, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof text);
    EXPECT_EQ(type, REG_SZ);
    name_length = 4;  // "text" needs 5 with its NUL
    EXPECT_EQ(RegEnumValueA(key_, 0, name, &name_length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(RegEnumValueA(key_, 1, name, &name_length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, AKeyWithSubkeysIsNotDeletedAndADeletedKeyIsGoneForItsHandles) {
    HKEY parent = create(key_, "parent");
    RegCloseKey(create(parent, "child"));
    EXPECT_EQ(RegDeleteKeyA(key_, "parent"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(subkeys(parent), std::vector<std::string>{"child"});
    EXPECT_EQ(RegDeleteKeyA(parent, "child"), ERROR_SUCCESS);
    set_dword(parent, "v", 1);
    EXPECT_EQ(RegDeleteKeyA(key_, "PARENT"), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(parent, "v", 0, REG_BINARY, nullptr, 0), ERROR_KEY_DELETED);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(parent, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    RegCloseKey(parent);
    // A key of the same name made later is a new key with nothing of the old one.
    parent = create(key_, "parent");
    EXPECT_EQ(RegQueryValueExA(parent, "v", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(parent);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
}

TEST_F(Registry, AHandleAllowsOnlyWhatItWasOpenedFor) {
    HKEY reader = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, name_.c_str(), 0, KEY_READ, &reader), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(reader, "v", 0, REG_BINARY, nullptr, 0), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(reader, "v"), ERROR_ACCESS_DENIED);
    // Creating beneath a key is checked against the hive, not the handle.
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExA(reader, "new", 0, nullptr, 0, KEY_READ, nullptr, &child, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(child, "v", 0, REG_BINARY, nullptr, 0), ERROR_ACCESS_DENIED);
    RegCloseKey(child);
    RegCloseKey(reader);

    HKEY writer = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, name_.c_str(), 0, KEY_SET_VALUE, &writer), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(writer, "v", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(writer, "v", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
    char name[8];
    DWORD length = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(writer, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    RegCloseKey(writer);
    EXPECT_EQ(RegCloseKey(writer), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, WindowsLimitsOnNamesAndDepthAreEnforced) {
    std::string longest(REG_MAX_KEY_NAME, 'k');
    RegCloseKey(create(key_, longest.c_str()));
    HKEY child = nullptr;
    std::string too_long = longest + "k";
    EXPECT_EQ(RegCreateKeyExA(key_, too_long.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_INVALID_PARAMETER);

    std::string value_name(REG_MAX_VALUE_NAME, 'v');
    EXPECT_EQ(RegSetValueExA(key_, value_name.c_str(), 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    value_name += 'v';
    EXPECT_EQ(RegSetValueExA(key_, value_name.c_str(), 0, REG_BINARY, nullptr, 0), ERROR_INVALID_PARAMETER);

    std::string levels;
    for (DWORD i = 0; i <= REG_MAX_CREATE_LEVELS; ++i) levels += "l\\";
    EXPECT_EQ(RegCreateKeyExA(key_, levels.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_INVALID_PARAMETER);

    // The tree is at most 512 levels deep, counted from the root.
    std::string chunk;
    for (DWORD i = 0; i < REG_MAX_CREATE_LEVELS; ++i) chunk += "d\\";
    HKEY current = nullptr;
    ASSERT_EQ(RegOpenKeyExA(key_, "", 0, KEY_ALL_ACCESS, &current), ERROR_SUCCESS);
    size_t depth = 2;  // Test\<name>
    while (depth + REG_MAX_CREATE_LEVELS <= REG_MAX_TREE_DEPTH) {
        HKEY next = create(current, chunk.c_str());
        RegCloseKey(current);
        current = next;
        depth += REG_MAX_CREATE_LEVELS;
    }
    for (; depth < REG_MAX_TREE_DEPTH; ++depth) {
        HKEY next = create(current, "d");
        RegCloseKey(current);
        current = next;
    }
    EXPECT_EQ(RegCreateKeyExA(current, "one-too-many", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(current);
}

TEST_F(Registry, SetKeyValueCreatesTheMissingKeysWithTheValue) {
    DWORD seven = 7;
    ASSERT_EQ(RegSetKeyValueA(key_, "new\\deeper", "n", REG_DWORD, &seven, sizeof seven), ERROR_SUCCESS);
    HKEY deeper = nullptr;
    ASSERT_EQ(RegOpenKeyExA(key_, "NEW\\Deeper", 0, KEY_READ, &deeper), ERROR_SUCCESS);
    DWORD value = kPoison, size = sizeof value, type = kPoison;
    EXPECT_EQ(RegQueryValueExA(deeper, "N", nullptr, &type, reinterpret_cast<BYTE *>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    RegCloseKey(deeper);
    // Without a subkey the value goes on the key itself; the handle needs KEY_SET_VALUE.
    EXPECT_EQ(RegSetKeyValueA(key_, nullptr, "own", REG_DWORD, &seven, sizeof seven), ERROR_SUCCESS);
    EXPECT_EQ(value_names(key_), std::vector<std::string>{"own"});
    HKEY reader = nullptr;
    ASSERT_EQ(RegOpenKeyExA(key_, "", 0, KEY_READ, &reader), ERROR_SUCCESS);
    EXPECT_EQ(RegSetKeyValueA(reader, "other", "n", REG_DWORD, &seven, sizeof seven), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegSetKeyValueA(key_, "other", "n", REG_DWORD, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(subkeys(key_), std::vector<std::string>{"new"});
    RegCloseKey(reader);
}

TEST_F(Registry, DeleteTreeTakesAKeyWithEverythingBelowOrEmptiesOne) {
    for (const char *path : {"tree\\a\\deep", "tree\\b", "treetop"}) RegCloseKey(create(key_, path));
    HKEY tree = create(key_, "tree");
    set_dword(tree, "v", 1);
    RegCloseKey(tree);
    EXPECT_EQ(RegDeleteTreeA(key_, "TREE"), ERROR_SUCCESS);
    // A sibling whose name begins the same is not below it.
    EXPECT_EQ(subkeys(key_), std::vector<std::string>{"treetop"});
    EXPECT_EQ(RegDeleteTreeA(key_, "tree"), ERROR_FILE_NOT_FOUND);

    HKEY top = create(key_, "treetop\\x");
    RegCloseKey(top);
    top = create(key_, "treetop");
    set_dword(top, "kept?", 1);
    EXPECT_EQ(RegDeleteTreeA(top, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(subkeys(top), std::vector<std::string>{});
    EXPECT_EQ(value_names(top), std::vector<std::string>{});
    EXPECT_EQ(subkeys(key_), std::vector<std::string>{"treetop"});
    HKEY reader = nullptr;
    ASSERT_EQ(RegOpenKeyExA(key_, "", 0, KEY_READ, &reader), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(reader, "treetop"), ERROR_ACCESS_DENIED);
    RegCloseKey(reader);
    RegCloseKey(top);
}

TEST_F(Registry, WritesStampTheKeysTheyChange) {
    auto written = [](HKEY key) {
        FILETIME time{0, 0};
        EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, &time),
                  ERROR_SUCCESS);
        return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    HKEY child = create(key_, "child");
    uint64_t parent_after_create = written(key_);
    uint64_t child_created = written(child);
    EXPECT_GE(parent_after_create, child_created);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    uint64_t now_ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    EXPECT_LE(child_created, now_ticks);
    EXPECT_GT(child_created, now_ticks - 600ull * 10'000'000);
    Sleep(20);
    set_dword(child, "v", 1);
    EXPECT_GT(written(child), child_created);
    EXPECT_EQ(written(key_), parent_after_create);  // a value write stamps its own key only
    RegCloseKey(child);
}

TEST_F(Registry, TheWalStaysShortUnderManyCommits) {
    // Each process that opens the hive first reads back what the WAL holds, so
    // a long run of single writes must not leave thousands of pages in it.
    for (DWORD i = 0; i < 1500; ++i) set_dword(key_, ("v" + std::to_string(i % 300)).c_str(), i);
    auto wal = quarn::test::process_prefix().path() / "registry" / "machine.db-wal";
    ASSERT_TRUE(std::filesystem::exists(wal));
    constexpr uintmax_t kFrame = 4096 + 24;
    EXPECT_LT(std::filesystem::file_size(wal), 400 * kFrame);
}

TEST_F(Registry, KeyFactsCountAndMeasureAndTheClassMayNotFit) {
    RegCloseKey(create(key_, "short", nullptr, "a long class name"));
    RegCloseKey(create(key_, "much-longer"));
    const BYTE data[40] = {};
    ASSERT_EQ(RegSetValueExA(key_, "n", 0, REG_BINARY, data, sizeof data), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key_, "name7xx", 0, REG_BINARY, data, 3), ERROR_SUCCESS);
    DWORD subkeys = kPoison, max_subkey = kPoison, max_class = kPoison, values = kPoison, max_name = kPoison,
          max_data = kPoison;
    ASSERT_EQ(RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, &subkeys, &max_subkey, &max_class, &values,
                               &max_name, &max_data, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 2u);
    EXPECT_EQ(max_subkey, 11u);
    EXPECT_EQ(max_class, 17u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(max_name, 7u);
    EXPECT_EQ(max_data, 40u);

    HKEY classy = nullptr;
    ASSERT_EQ(RegOpenKeyExA(key_, "short", 0, KEY_READ, &classy), ERROR_SUCCESS);
    char class_name[10];
    DWORD class_length = sizeof class_name;
    FILETIME time{0, 0};
    EXPECT_EQ(RegQueryInfoKeyA(classy, class_name, &class_length, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, &time),
              ERROR_MORE_DATA);
    EXPECT_NE(time.dwHighDateTime, 0u);  // answered although the class did not fit
    char enough[32];
    class_length = sizeof enough;
    EXPECT_EQ(RegQueryInfoKeyA(classy, enough, &class_length, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(enough, "a long class name");
    EXPECT_EQ(class_length, 17u);
    RegCloseKey(classy);
}

TEST(RegistryRoots, TheUserHiveIsApartFromTheMachineHive) {
    HKEY user = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Only\\Mine", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &user, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(user);
    HKEY machine = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Only\\Mine", 0, KEY_READ, &machine), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(std::filesystem::exists(quarn::test::process_prefix().path() / "registry" / "machine.db"));
    EXPECT_TRUE(std::filesystem::is_directory(quarn::test::process_prefix().path() / "registry" / "users"));
}

TEST(RegistryRoots, ConnectionsReachTheMachinesOfThePrefix) {
    const auto &prefix = quarn::test::process_prefix();
    std::filesystem::create_directories(prefix.path() / "machines" / "Other");
    HKEY other = nullptr;
    ASSERT_EQ(RegConnectRegistryA("\\\\OTHER", HKEY_LOCAL_MACHINE, &other), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(other, "Remote\\Key", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Remote\\Key", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(std::filesystem::exists(prefix.path() / "machines" / "Other" / "registry" / "machine.db"));
    EXPECT_EQ(RegCloseKey(other), ERROR_SUCCESS);

    HKEY none = reinterpret_cast<HKEY>(static_cast<uintptr_t>(kPoison));
    EXPECT_EQ(RegConnectRegistryA("\\\\NOSUCHHOST", HKEY_LOCAL_MACHINE, &none), ERROR_BAD_NETPATH);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(RegConnectRegistryA("\\\\OTHER", HKEY_CURRENT_USER, &none), ERROR_INVALID_HANDLE);

    char computer[16];
    DWORD size = sizeof computer;
    ASSERT_TRUE(GetComputerNameA(computer, &size));
    HKEY self = nullptr;
    ASSERT_EQ(RegConnectRegistryA(computer, HKEY_LOCAL_MACHINE, &self), ERROR_SUCCESS);
    HKEY test = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Seen\\Locally", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &test,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(test);
    EXPECT_EQ(RegOpenKeyExA(self, "Seen\\Locally", 0, KEY_READ, &test), ERROR_SUCCESS);
    RegCloseKey(test);
    RegCloseKey(self);
}

}  // namespace
