// Keys and values under a root through the library: the path rule, writes
// that create their path, handed-back keys, list terminators, the common key.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ntregy.h"
#include "win32.h"

namespace {

DWORD read_dword(HKEY root, const char *path, const char *name) {
    DWORD value = 0xdeadbeef;
    HKEY key = nullptr;
    EXPECT_EQ(ntregy_get_value(root, path, name, &value, sizeof value, &key), ERROR_SUCCESS) << path;
    ntregy_close_key(key);
    return value;
}

TEST(RegistryPaths, LeadingBackslashesNameTheSameKeyForEveryOperation) {
    DWORD one = 1;
    HKEY key = nullptr;
    ASSERT_EQ(ntregy_create_value(HKEY_LOCAL_MACHINE, "\\\\\\Paths\\A", "v", &one, sizeof one, REG_DWORD, &key),
              ERROR_SUCCESS);
    ntregy_close_key(key);
    EXPECT_EQ(read_dword(HKEY_LOCAL_MACHINE, "Paths\\A", "v"), 1u);
    EXPECT_EQ(read_dword(HKEY_LOCAL_MACHINE, "\\\\Paths\\A", "v"), 1u);
    EXPECT_EQ(ntregy_del_value(HKEY_LOCAL_MACHINE, "\\\\Paths\\A", "v"), ERROR_SUCCESS);
    EXPECT_EQ(ntregy_del_key(HKEY_LOCAL_MACHINE, "\\\\Paths\\A"), ERROR_SUCCESS);
    EXPECT_EQ(ntregy_get_handle(HKEY_LOCAL_MACHINE, "\\Paths\\A", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ntregy_get_handle(HKEY_LOCAL_MACHINE, nullptr, KEY_READ, &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ntregy_get_value(HKEY_LOCAL_MACHINE, nullptr, "v", nullptr, 0, &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ntregy_del_value(HKEY_LOCAL_MACHINE, nullptr, "v"), ERROR_INVALID_PARAMETER);
}

TEST(RegistryPaths, AWriteCreatesTheWholePathAndHandsBackAWritableKey) {
    const char text[] = "x";
    HKEY key = nullptr;
    ASSERT_EQ(ntregy_create_value(HKEY_LOCAL_MACHINE, "New\\Path\\Deep", "s", text, sizeof text, REG_SZ, &key),
              ERROR_SUCCESS);
    ASSERT_NE(key, nullptr);
    DWORD two = 2;
    EXPECT_EQ(RegSetValueExA(key, "more", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&two), sizeof two),
              ERROR_SUCCESS);
    ntregy_close_key(key);
    EXPECT_EQ(read_dword(HKEY_LOCAL_MACHINE, "New\\Path\\Deep", "more"), 2u);

    // Over a path that exists, the existing keys and their values stay.
    ASSERT_EQ(ntregy_create_value(HKEY_LOCAL_MACHINE, "New\\Path", "t", text, sizeof text, REG_SZ, &key),
              ERROR_SUCCESS);
    ntregy_close_key(key);
    EXPECT_EQ(read_dword(HKEY_LOCAL_MACHINE, "New\\Path\\Deep", "more"), 2u);

    // No components: the value goes on the root, and the root is handed back.
    ASSERT_EQ(ntregy_create_value(HKEY_CURRENT_USER, "\\", "rootvalue", text, sizeof text, REG_SZ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(key, HKEY_CURRENT_USER);
}

TEST(RegistryPaths, AReadWithoutABufferOnlyTestsTheKey) {
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(ntregy_get_value(HKEY_LOCAL_MACHINE, "Nowhere\\At\\All", "v", nullptr, 0, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    DWORD one = 1;
    ASSERT_EQ(ntregy_create_value(HKEY_LOCAL_MACHINE, "Somewhere", "v", &one, sizeof one, REG_DWORD, &key),
              ERROR_SUCCESS);
    ntregy_close_key(key);
    EXPECT_EQ(ntregy_get_value(HKEY_LOCAL_MACHINE, "Somewhere", "absent", nullptr, 0, &key), ERROR_SUCCESS);
    EXPECT_NE(key, nullptr);
    ntregy_close_key(key);
}

TEST(RegistryPaths, AListGetsOneMoreNulAfterItsData) {
    const char list[] = "a\0bc\0";  // 6 bytes with the string's own NUL
    HKEY key = nullptr;
    ASSERT_EQ(ntregy_create_value(HKEY_LOCAL_MACHINE, "Lists", "m", list, 5, REG_MULTI_SZ, &key), ERROR_SUCCESS);
    ntregy_close_key(key);
    char buffer[8];
    std::memset(buffer, 'Z', sizeof buffer);
    ASSERT_EQ(ntregy_get_value(HKEY_LOCAL_MACHINE, "Lists", "m", buffer, 7, &key), ERROR_SUCCESS);
    ntregy_close_key(key);
    EXPECT_EQ(std::string(buffer, 6), std::string("a\0bc\0\0", 6));
    EXPECT_EQ(buffer[6], 'Z');
}

TEST(RegistryPaths, AKeyWithSubkeysIsRefusedAndKeptWhole) {
    DWORD one = 1;
    HKEY key = nullptr;
    ASSERT_EQ(ntregy_create_value(HKEY_LOCAL_MACHINE, "Tree\\Branch\\Leaf", "v", &one, sizeof one, REG_DWORD, &key),
              ERROR_SUCCESS);
    ntregy_close_key(key);
    EXPECT_EQ(ntregy_del_key(HKEY_LOCAL_MACHINE, "Tree\\Branch"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(read_dword(HKEY_LOCAL_MACHINE, "Tree\\Branch\\Leaf", "v"), 1u);
    EXPECT_EQ(ntregy_del_key(HKEY_LOCAL_MACHINE, "Tree\\Branch\\Leaf"), ERROR_SUCCESS);
    EXPECT_EQ(ntregy_del_key(HKEY_LOCAL_MACHINE, "Tree\\Branch"), ERROR_SUCCESS);
    EXPECT_EQ(ntregy_del_key(HKEY_LOCAL_MACHINE, "Tree"), ERROR_SUCCESS);
}

TEST(RegistryPaths, EnumerationTerminatesNamesAndData) {
    HKEY key = nullptr;
    const char text[] = "abc";
    ASSERT_EQ(ntregy_create_value(HKEY_LOCAL_MACHINE, "Walk\\Sub", "name", text, 3, REG_BINARY, &key), ERROR_SUCCESS);
    ntregy_close_key(key);
    ASSERT_EQ(ntregy_get_handle(HKEY_LOCAL_MACHINE, "Walk", KEY_READ, &key), ERROR_SUCCESS);
    char name[16];
    DWORD length = sizeof name;
    EXPECT_EQ(ntregy_enum_subkeys(key, 0, name, &length), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Sub");
    EXPECT_EQ(ntregy_enum_subkeys(key, 1, name, &length), ERROR_NO_MORE_ITEMS);
    ntregy_close_key(key);
    ASSERT_EQ(ntregy_get_handle(HKEY_LOCAL_MACHINE, "Walk\\Sub", KEY_READ, &key), ERROR_SUCCESS);
    char data[8];
    std::memset(data, 'Z', sizeof data);
    DWORD type = 0, size = sizeof data - 1;
    length = sizeof name;
    EXPECT_EQ(ntregy_enum_value(key, 0, name, &length, &type, data, &size), ERROR_SUCCESS);
    EXPECT_STREQ(name, "name");
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_STREQ(data, "abc");
    ntregy_close_key(key);
}

TEST(CommonKey, BothFormsAreFixedTextsInOneBuffer) {
    EXPECT_STREQ(ntregy_get_common_key(), "\\Software\\Quarn\\Zendrel\\CurrentVersion");
    EXPECT_STREQ(ntregy_get_common_key_mfc_style(), "Quarn\\Zendrel\\CurrentVersion");
    EXPECT_EQ(ntregy_get_common_key(), ntregy_get_common_key());
    EXPECT_EQ(ntregy_get_common_key_mfc_style(), ntregy_get_common_key_mfc_style());
}

TEST(CommonKey, ItsLastWriteTimeIsReadEvenWithALongClassName) {
    FILETIME time{0, 0};
    EXPECT_EQ(ntregy_get_common_key_modtime(&time, nullptr), ERROR_FILE_NOT_FOUND);
    HKEY key = nullptr;
    char class_name[] = "a class name of many characters";
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quarn\\Zendrel\\CurrentVersion", 0, class_name, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    FILETIME expected;
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, &expected),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(ntregy_get_common_key_modtime(&time, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(time.dwLowDateTime, expected.dwLowDateTime);
    EXPECT_EQ(time.dwHighDateTime, expected.dwHighDateTime);
    FILETIME same{0, 0};
    EXPECT_EQ(ntregy_modtime_product_info_keys(&same, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(same.dwLowDateTime, expected.dwLowDateTime);
    EXPECT_EQ(ntregy_modtime_znrgy_keys(&same, "\\\\NOSUCHMACHINE"), ERROR_BAD_NETPATH);
}

}  // namespace

TEST(NullPointers, AreRefusedWhereTheHeaderSaysTheyMayNotBeNull) {
    DWORD one = 1;
    EXPECT_EQ(ntregy_create_value(HKEY_LOCAL_MACHINE, "Nulls", "v", &one, sizeof one, REG_DWORD, nullptr),
              ERROR_INVALID_PARAMETER);
    HKEY key = nullptr;
    EXPECT_EQ(ntregy_get_handle(HKEY_LOCAL_MACHINE, "Nulls", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ntregy_get_value(HKEY_LOCAL_MACHINE, "Software", nullptr, nullptr, 0, nullptr), ERROR_INVALID_PARAMETER);

    ASSERT_EQ(ntregy_set_app_geometry("NullApp", 1, 2, 3, 4, nullptr), ERROR_SUCCESS);
    LONG x = 0xdeadbeef, y = 0xdeadbeef, width = 0xdeadbeef, height = 0xdeadbeef;
    struct Row {
        const char *what;
        LONG *x, *y, *width, *height;
    } rows[] = {{"x", nullptr, &y, &width, &height},
                {"y", &x, nullptr, &width, &height},
                {"width", &x, &y, nullptr, &height},
                {"height", &x, &y, &width, nullptr}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(ntregy_get_app_geometry("NullApp", row.x, row.y, row.width, row.height, nullptr),
                  ERROR_INVALID_PARAMETER);
        EXPECT_EQ(x, static_cast<LONG>(0xdeadbeef));
    }
    EXPECT_EQ(ntregy_get_app_geometry("NullApp", &x, &y, &width, &height, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(height, 4);

    char buffer[8];
    EXPECT_EQ(ntregy_get_app_param(nullptr, "v", sizeof buffer, buffer, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ntregy_set_app_param(nullptr, "v", REG_DWORD, &one, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ntregy_set_app_param("NullApp", "v", REG_SZ, nullptr, nullptr), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(ntregy_get_kelfs_datatype(25), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(ntregy_set_kelfs_param(25, 0, nullptr), ERROR_INVALID_PARAMETER);
}
