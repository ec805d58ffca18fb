// FormatMessageA: inserts, escapes, buffer sizes and look-up failures.
#include <gtest/gtest.h>

#include <string>

#include "win32.h"

namespace {

std::string format_array(const char *pattern, std::initializer_list<DWORD_PTR> values, DWORD size = 256) {
    std::vector<DWORD_PTR> arguments(values);
    std::string buffer(size + 8, '\xEE');
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, pattern, 0, 0,
                             buffer.data(), size, reinterpret_cast<va_list *>(arguments.data()));
    EXPECT_EQ(buffer.substr(size), std::string(8, '\xEE'));
    if (n == 0) return "<failed " + std::to_string(GetLastError()) + ">";
    EXPECT_EQ(buffer[n], '\0');
    return buffer.substr(0, n);
}

std::string format_varargs(const char *pattern, ...) {
    va_list list;
    va_start(list, pattern);
    char buffer[256];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING, pattern, 0, 0, buffer, sizeof buffer, &list);
    va_end(list);
    return std::string(buffer, n);
}

TEST(FormatMessage, InsertsAndEscapes) {
    struct Case {
        const char *pattern;
        std::initializer_list<DWORD_PTR> values;
        const char *expected;
    } cases[] = {
        {"Error %1!d!: none.", {static_cast<DWORD_PTR>(static_cast<DWORD>(-5))}, "Error -5: none."},
        {"%1!u! and %1!x!", {255}, "255 and ff"},
        {"%2 before %1", {reinterpret_cast<DWORD_PTR>("one"), reinterpret_cast<DWORD_PTR>("two")}, "two before one"},
        {"a%nb%tc%%d%!e%.f% g", {}, "a\r\nb\tc%d!e.f g"},
        {"stop here%0 not this", {}, "stop here"},
        {"%1!5s!|", {reinterpret_cast<DWORD_PTR>("ab")}, "   ab|"},
        {"%1!08X!", {0xBEEF}, "0000BEEF"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(format_array(c.pattern, c.values), c.expected);
    }
}

TEST(FormatMessage, VaListArgumentsAreTakenInOrder) {
    EXPECT_EQ(format_varargs("%1 is %2!d! years", "Ann", 42), "Ann is 42 years");
}

TEST(FormatMessage, ATooSmallBufferFailsWithInsufficientBuffer) {
    EXPECT_EQ(format_array("0123456789", {}, 10), "<failed 122>");
    EXPECT_EQ(format_array("012345678", {}, 10), "012345678");
}

TEST(FormatMessage, IgnoreInsertsCopiesTheTextAsItIs) {
    char buffer[64];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS, "keep %1 and %n", 0, 0,
                             buffer, sizeof buffer, nullptr);
    EXPECT_EQ(std::string(buffer, n), "keep %1 and %n");
}

TEST(FormatMessage, UnknownIdsLanguagesAndModules) {
    char buffer[64];
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x7FFFFFF0u, 0, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0x0407, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_LANG_NOT_FOUND);
    EXPECT_EQ(LoadLibraryExA("kernel32.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_NE(LoadLibraryExA("C:\\Windows\\System32\\NETMSG.DLL", nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
    EXPECT_EQ(LoadLibraryExA("netmsg.dll", nullptr, 0), nullptr);
}

TEST(FormatMessage, AllocatedBufferIsFreedWithLocalFree) {
    char *text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 5, 0,
                             reinterpret_cast<LPSTR>(&text), 0, nullptr);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(std::string(text).size(), n);
    LocalFree(text);
}

}  // namespace
