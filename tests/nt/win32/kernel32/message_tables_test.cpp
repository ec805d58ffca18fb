// The message tables: ordered, well-formed texts, and the codes the library meets.
#include <gtest/gtest.h>

#include <string>

#include "kernel32/message_tables.h"
#include "winerror.h"

namespace {

using quarn::win32::find_message;
using quarn::win32::MessageEntry;

struct Table {
    const char *name;
    std::span<const MessageEntry> entries;
};

TEST(MessageTables, SortedAndEachTextOneLineEndingInCrLf) {
    for (const Table &t : {Table{"system", quarn::win32::system_message_table()},
                           Table{"netmsg", quarn::win32::netmsg_message_table()},
                           Table{"ntstatus", quarn::win32::ntstatus_message_table()}}) {
        SCOPED_TRACE(t.name);
        ASSERT_FALSE(t.entries.empty());
        for (size_t i = 0; i < t.entries.size(); ++i) {
            std::string text = t.entries[i].text;
            SCOPED_TRACE(t.entries[i].id);
            if (i) {
                EXPECT_LT(t.entries[i - 1].id, t.entries[i].id);
            }
            ASSERT_GT(text.size(), 3u);
            EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
            EXPECT_EQ(text.find_first_of("\r\n"), text.size() - 2);
            EXPECT_EQ(text.find('%'), std::string::npos);  // no inserts: callers ignore them
        }
    }
}

TEST(MessageTables, CodesTheLibraryProducesOrPassesOn) {
    const DWORD system_codes[] = {
        ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY, ERROR_NOT_SUPPORTED,
        ERROR_INVALID_PARAMETER, ERROR_BUFFER_OVERFLOW, ERROR_INSUFFICIENT_BUFFER, ERROR_MORE_DATA,
        ERROR_NO_MORE_ITEMS, ERROR_NOT_OWNER, ERROR_ALREADY_EXISTS, ERROR_SHARING_VIOLATION, ERROR_NO_TOKEN,
        ERROR_BADDB, ERROR_BADKEY, ERROR_CANTOPEN, ERROR_CANTREAD, ERROR_CANTWRITE, ERROR_REGISTRY_CORRUPT,
        ERROR_KEY_DELETED, ERROR_LOGON_FAILURE, ERROR_NONE_MAPPED, ERROR_INVALID_SID, ERROR_NO_SUCH_DOMAIN,
        RPC_S_SERVER_UNAVAILABLE, ERROR_BAD_CONFIGURATION, ERROR_MR_MID_NOT_FOUND, ERROR_FILENAME_EXCED_RANGE,
        ERROR_NOT_CONNECTED, WAIT_TIMEOUT, ERROR_PRIVILEGE_NOT_HELD, ERROR_NOT_ALL_ASSIGNED};
    for (DWORD code : system_codes) {
        SCOPED_TRACE(code);
        EXPECT_NE(find_message(quarn::win32::system_message_table(), code), nullptr);
    }
    for (DWORD code : {NERR_NetNotStarted, NERR_UserNotFound, NERR_DCNotFound, NERR_NotLocalDomain,
                       NERR_GroupNotFound, NERR_UseNotFound}) {
        SCOPED_TRACE(code);
        EXPECT_NE(find_message(quarn::win32::netmsg_message_table(), code), nullptr);
        EXPECT_GE(code, NERR_BASE);
        EXPECT_LE(code, MAX_NERR);
    }
    for (NTSTATUS status : {STATUS_ACCESS_DENIED, STATUS_NO_MEMORY, STATUS_NO_MORE_ENTRIES, STATUS_MORE_ENTRIES,
                            STATUS_NONE_MAPPED, STATUS_OBJECT_NAME_NOT_FOUND, STATUS_RPC_NT_SERVER_UNAVAILABLE}) {
        SCOPED_TRACE(status);
        EXPECT_NE(find_message(quarn::win32::ntstatus_message_table(), static_cast<uint32_t>(status)), nullptr);
    }
}

TEST(MessageTables, AbsentCodesAreNotFound) {
    EXPECT_EQ(find_message(quarn::win32::system_message_table(), 0x7FFFFFF0u), nullptr);
    EXPECT_EQ(find_message(quarn::win32::netmsg_message_table(), 2), nullptr);
    EXPECT_EQ(find_message(quarn::win32::ntstatus_message_table(), 1), nullptr);
    EXPECT_EQ(find_message({}, 2), nullptr);
}

}  // namespace
