// The object-manager namespace over the drive table, native path names and
// counted strings.
#include <gtest/gtest.h>

#include <filesystem>

#include "file_support.h"
#include "lsa.h"
#include "temp_prefix.h"
#include "winternl.h"

namespace fs = std::filesystem;
using namespace quarn::test;

namespace {

UNICODE_STRING counted(const char16_t *text) {
    auto bytes = static_cast<USHORT>(std::char_traits<char16_t>::length(text) * 2);
    return UNICODE_STRING{bytes, bytes, const_cast<char16_t *>(text)};
}

NTSTATUS open_link(const char16_t *name, HANDLE *handle) {
    UNICODE_STRING text = counted(name);
    OBJECT_ATTRIBUTES attributes{sizeof attributes, nullptr, &text, OBJ_CASE_INSENSITIVE, nullptr, nullptr};
    return NtOpenSymbolicLinkObject(handle, SYMBOLIC_LINK_QUERY, &attributes);
}

NTSTATUS open_directory(const char16_t *name, HANDLE *handle) {
    UNICODE_STRING text = counted(name);
    OBJECT_ATTRIBUTES attributes{sizeof attributes, nullptr, &text, OBJ_CASE_INSENSITIVE, nullptr, nullptr};
    return NtOpenDirectoryObject(handle, DIRECTORY_QUERY, &attributes);
}

TEST(ObjectManager, DosPathsGetTheirNativeNames) {
    drive_c_folder("native");
    auto saved = fs::current_path();
    fs::current_path(process_prefix().path() / "drive_c" / "native");
    struct Case {
        const char16_t *dos, *native, *file_part;
    } cases[] = {
        {u"C:\\dir\\f", u"\\??\\C:\\dir\\f", u"f"},
        {u"c:/a/../b", u"\\??\\C:\\b", u"b"},
        {u"rel", u"\\??\\C:\\native\\rel", u"rel"},
        {u"\\\\srv\\share\\x", u"\\??\\UNC\\srv\\share\\x", u"x"},
        {u"\\\\?\\C:\\a\\..\\b", u"\\??\\C:\\a\\..\\b", u"b"},
        {u"\\\\.\\PIPE\\p", u"\\??\\PIPE\\p", u"p"},
        {u"C:\\dir\\", u"\\??\\C:\\dir\\", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(thin(c.dos));
        UNICODE_STRING native{0xCCCC, 0xCCCC, nullptr};
        char16_t *file_part = reinterpret_cast<char16_t *>(0xdeadbeef);
        ASSERT_TRUE(RtlDosPathNameToNtPathName_U(c.dos, &native, &file_part, nullptr));
        EXPECT_EQ(std::u16string(native.Buffer, native.Length / 2), c.native);
        EXPECT_EQ(native.Buffer[native.Length / 2], 0);
        if (c.file_part) EXPECT_EQ(std::u16string(file_part), c.file_part);
        else EXPECT_EQ(file_part, nullptr);
        RtlFreeUnicodeString(&native);
        EXPECT_EQ(native.Buffer, nullptr);
    }
    UNICODE_STRING native;
    EXPECT_FALSE(RtlDosPathNameToNtPathName_U(u"", &native, nullptr, nullptr));
    fs::current_path(saved);
}

TEST(ObjectManager, DriveLinksLeadToOneVolumePerDrive) {
    HANDLE link = nullptr;
    ASSERT_EQ(open_link(u"\\??\\c:", &link), STATUS_SUCCESS);
    char16_t buffer[40];
    std::fill(std::begin(buffer), std::end(buffer), u'\xCCCC');
    UNICODE_STRING target{0, 64, buffer};
    ULONG needed = 0xdeadbeef;
    ASSERT_EQ(NtQuerySymbolicLinkObject(link, &target, &needed), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(buffer, target.Length / 2), u"\\Device\\HarddiskVolume1");
    EXPECT_EQ(needed, 48u);
    EXPECT_EQ(buffer[32], u'\xCCCC');
    target.MaximumLength = 20;
    EXPECT_EQ(NtQuerySymbolicLinkObject(link, &target, nullptr), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(NtClose(link), STATUS_SUCCESS);
    EXPECT_EQ(NtClose(link), STATUS_INVALID_HANDLE);

    struct Case {
        const char16_t *name;
        NTSTATUS as_link, as_directory;
    } cases[] = {
        {u"\\??\\UNC", STATUS_SUCCESS, STATUS_OBJECT_TYPE_MISMATCH},
        {u"\\DosDevices\\C:", STATUS_SUCCESS, STATUS_OBJECT_TYPE_MISMATCH},
        {u"\\DosDevices", STATUS_SUCCESS, STATUS_OBJECT_TYPE_MISMATCH},
        {u"\\??", STATUS_OBJECT_TYPE_MISMATCH, STATUS_SUCCESS},
        {u"\\", STATUS_OBJECT_TYPE_MISMATCH, STATUS_SUCCESS},
        {u"\\Device", STATUS_OBJECT_TYPE_MISMATCH, STATUS_SUCCESS},
        {u"\\Device\\HarddiskVolume1", STATUS_OBJECT_TYPE_MISMATCH, STATUS_OBJECT_TYPE_MISMATCH},
        {u"\\Device\\Mup", STATUS_OBJECT_TYPE_MISMATCH, STATUS_OBJECT_TYPE_MISMATCH},
        {u"\\??\\Q:", STATUS_OBJECT_NAME_NOT_FOUND, STATUS_OBJECT_NAME_NOT_FOUND},
        {u"\\Nowhere\\x", STATUS_OBJECT_PATH_NOT_FOUND, STATUS_OBJECT_PATH_NOT_FOUND},
        {u"\\Device\\Mup\\x", STATUS_OBJECT_PATH_NOT_FOUND, STATUS_OBJECT_PATH_NOT_FOUND},
        {u"relative", STATUS_OBJECT_NAME_INVALID, STATUS_OBJECT_NAME_INVALID},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(thin(c.name));
        HANDLE handle = nullptr;
        EXPECT_EQ(open_link(c.name, &handle), c.as_link);
        if (c.as_link == STATUS_SUCCESS) NtClose(handle);
        EXPECT_EQ(open_directory(c.name, &handle), c.as_directory);
        if (c.as_directory == STATUS_SUCCESS) NtClose(handle);
    }
}

TEST(ObjectManager, CountedStringsCopyWhatFitsAndAppendWhole) {
    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'\xCCCC');
    UNICODE_STRING small{0, 8, buffer};
    UNICODE_STRING source = counted(u"abcdef");
    RtlCopyUnicodeString(&small, &source);
    EXPECT_EQ(small.Length, 8);
    EXPECT_EQ(std::u16string(buffer, 4), u"abcd");
    EXPECT_EQ(buffer[4], u'\xCCCC');
    UNICODE_STRING roomy{0, 16, buffer};
    RtlCopyUnicodeString(&roomy, &source);
    EXPECT_EQ(std::u16string(buffer), u"abcdef");
    EXPECT_EQ(RtlAppendUnicodeToString(&roomy, u"g"), STATUS_SUCCESS);
    EXPECT_EQ(roomy.Length, 14);
    EXPECT_EQ(RtlAppendUnicodeToString(&roomy, u"hi"), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(roomy.Length, 14);
    EXPECT_EQ(std::u16string(buffer, 7), u"abcdefg");
}

}  // namespace
