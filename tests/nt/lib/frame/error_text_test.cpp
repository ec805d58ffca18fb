// Error texts and the errno mapping.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "nt.h"
#include "ntposix.h"
#include "win32.h"

namespace {

// Buffers are poisoned, with guard bytes after the size given to the call.
struct GuardedBuffer {
    explicit GuardedBuffer(int size) : size(size), bytes(static_cast<size_t>(size) + 16, '\xEE') {}
    char *data() { return bytes.data(); }
    bool guard_intact() const {
        for (size_t i = static_cast<size_t>(size); i < bytes.size(); ++i)
            if (bytes[i] != '\xEE') return false;
        return true;
    }
    int size;
    std::string bytes;
};

std::string error_string(DWORD code, int kind, int size = 512) {
    GuardedBuffer buffer(size);
    std::string text = nt_get_error_string(code, kind, size, buffer.data());
    EXPECT_TRUE(buffer.guard_intact());
    return text;
}

std::string system_text(DWORD code) {
    char raw[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, raw,
                             sizeof raw, nullptr);
    return std::string(raw, n);
}

TEST(ErrorString, SystemTextWithoutItsLineBreak) {
    std::string raw = system_text(ERROR_FILE_NOT_FOUND);
    ASSERT_GE(raw.size(), 2u);
    ASSERT_EQ(raw.substr(raw.size() - 2), "\r\n");
    EXPECT_EQ(error_string(2, NT_ERROR_KIND_WIN32), raw.substr(0, raw.size() - 2));
}

TEST(ErrorString, NetworkCodesTryTheNetworkTableFirst) {
    HMODULE netmsg = LoadLibraryExA("netmsg.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(netmsg, nullptr);
    char raw[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, netmsg, 2102, 0, raw,
                             sizeof raw, nullptr);
    ASSERT_GT(n, 2u);
    std::string expected(raw, n - 2);
    EXPECT_EQ(error_string(2102, NT_ERROR_KIND_WIN32), expected);
    EXPECT_EQ(error_string(2102, NT_ERROR_KIND_NETMSG), expected);
}

TEST(ErrorString, NetworkTableWinsOverTheSystemTableInItsRange) {
    // 2202 has a text in both tables; the network-management one is taken.
    HMODULE netmsg = LoadLibraryExA("netmsg.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    char raw[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, netmsg, 2202, 0, raw,
                             sizeof raw, nullptr);
    ASSERT_GT(n, 2u);
    std::string system = system_text(2202);
    ASSERT_FALSE(system.empty());
    ASSERT_NE(system, std::string(raw, n));
    EXPECT_EQ(error_string(2202, NT_ERROR_KIND_WIN32), std::string(raw, n - 2));
}

TEST(ErrorString, NtStatusCodesComeFromNtdll) {
    std::string text = error_string(0xC0000022u, 2);
    EXPECT_EQ(text.find("Error "), std::string::npos) << text;
    EXPECT_EQ(error_string(0xC0000022u, 3), text);
    EXPECT_NE(text.back(), '\n');
}

TEST(ErrorString, UnknownKindGivesTheFallbackWithTheCodeInSignedDecimal) {
    EXPECT_EQ(error_string(2, 7), "Error 2: No additional description available for this system error.");
    EXPECT_EQ(error_string(0xC0000022u, 7),
              "Error -1073741790: No additional description available for this system error.");
}

TEST(ErrorString, CodeWithoutMessageInATenByteBuffer) {
    EXPECT_EQ(error_string(0x7FFFFFF0u, NT_ERROR_KIND_WIN32, 10), "No additi");
    EXPECT_EQ(error_string(0x7FFFFFF0u, NT_ERROR_KIND_WIN32, 1), "");
}

TEST(ErrnoMapping, ZeroIsZeroAndNothingIsTouched) {
    errno = EDOM;
    _doserrno = 77;
    EXPECT_EQ(nt_win32error2errno(0), 0);
    EXPECT_EQ(nt_win32error2errno(ERROR_ACCESS_DENIED), EACCES);
    EXPECT_EQ(errno, EDOM);
    EXPECT_EQ(_doserrno, 77u);
}

TEST(ErrnoMapping, TableAndRanges) {
    struct Case {
        DWORD code;
        int expected;
    } cases[] = {
        {2, ENOENT},    {3, ENOENT},     {4, EMFILE},    {5, EACCES},   {6, EBADF},   {8, ENOMEM},
        {10, E2BIG},    {11, ENOEXEC},   {17, EXDEV},    {19, EACCES},  {32, EACCES}, {36, EACCES},
        {80, EEXIST},   {87, EINVAL},    {109, EPIPE},   {112, ENOSPC}, {128, ECHILD}, {145, ENOTEMPTY},
        {183, EEXIST},  {188, ENOEXEC},  {202, ENOEXEC}, {206, ENOENT}, {1816, ENOMEM}, {1009, EINVAL},
        {37, EINVAL},   {203, EINVAL},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(nt_win32error2errno(c.code), c.expected);
    }
}

}  // namespace
