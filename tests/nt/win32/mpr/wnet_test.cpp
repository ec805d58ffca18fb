// IPC$ connections of this process (tests/machines/member.toml).
#include <gtest/gtest.h>

#include "identity_support.h"
#include "wnet.h"

namespace {

DWORD connect(const char *remote, const char *local = nullptr) {
    NETRESOURCEA resource{RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_SHARE, RESOURCEUSAGE_CONNECTABLE,
                          const_cast<char *>(local), const_cast<char *>(remote), nullptr, nullptr};
    return WNetAddConnection2A(&resource, "", "", 0);
}

TEST(WNetAddConnection2, NullSessionsToMachinesThatAnswer) {
    struct Case {
        const char *remote;
        const char *local;
        DWORD error;
    } cases[] = {
        {"\\\\DC1\\IPC$", nullptr, NO_ERROR},
        {"\\\\dc3\\ipc$", nullptr, NO_ERROR},
        {"\\\\WS01\\IPC$", nullptr, NO_ERROR},
        {"\\\\FILES\\IPC$", "", NO_ERROR},
        {"\\\\DC2\\IPC$", nullptr, ERROR_BAD_NETPATH},
        {"\\\\NOBODY\\IPC$", nullptr, ERROR_BAD_NETPATH},
        {"\\\\DC1\\C$", nullptr, ERROR_BAD_NET_NAME},
        {"\\\\DC1", nullptr, ERROR_BAD_NET_NAME},
        {"DC1\\IPC$", nullptr, ERROR_BAD_NET_NAME},
        {"\\\\DC1\\IPC$\\x", nullptr, ERROR_BAD_NET_NAME},
        {"\\\\DC1\\IPC$", "X:", ERROR_BAD_DEVICE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.remote);
        EXPECT_EQ(connect(c.remote, c.local), c.error);
    }
    EXPECT_EQ(WNetAddConnection2A(nullptr, "", "", 0), ERROR_INVALID_PARAMETER);
    for (const char *held : {"\\\\DC1\\IPC$", "\\\\DC3\\IPC$", "\\\\ws01\\IPC$", "\\\\FILES\\IPC$"})
        EXPECT_EQ(WNetCancelConnection2A(held, 0, TRUE), NO_ERROR) << held;
}

TEST(WNetCancelConnection2, OnlyConnectionsThisProcessHolds) {
    EXPECT_EQ(WNetCancelConnection2A("\\\\DC1\\IPC$", 0, TRUE), ERROR_NOT_CONNECTED);
    ASSERT_EQ(connect("\\\\DC1\\IPC$"), NO_ERROR);
    ASSERT_EQ(connect("\\\\DC1\\IPC$"), NO_ERROR);  // the same connection
    EXPECT_EQ(WNetCancelConnection2W(u"\\\\dc1\\IPC$", CONNECT_UPDATE_PROFILE, TRUE), NO_ERROR);
    EXPECT_EQ(WNetCancelConnection2W(u"\\\\DC1\\IPC$", CONNECT_UPDATE_PROFILE, TRUE), ERROR_NOT_CONNECTED);
    EXPECT_EQ(WNetCancelConnection2A("X:", 0, TRUE), ERROR_NOT_CONNECTED);
    EXPECT_EQ(WNetCancelConnection2A(nullptr, 0, TRUE), ERROR_INVALID_PARAMETER);
}

}  // namespace
