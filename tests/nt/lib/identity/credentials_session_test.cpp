// Network credentials from a controller that answers only over a null
// session (LEGACY's NT4PDC on the member profile): the session is opened for
// the call and cancelled at its end.
#include <gtest/gtest.h>

#include "credentials_support.h"
#include "wnet.h"

namespace {

TEST(CredentialsSession, ANullSessionForTheCallOnly) {
    EXPECT_EQ(quarn::test::credentials_text("LEGACY\\dave"),
              "LEGACY\\dave S-1-5-21-777777777-888888888-999999999-1010 S-1-5-21-777777777-888888888-999999999-513\n");
    EXPECT_EQ(WNetCancelConnection2W(u"\\\\NT4PDC\\IPC$", 0, TRUE), static_cast<DWORD>(ERROR_NOT_CONNECTED))
        << "the null session outlived the call";
}

}  // namespace
