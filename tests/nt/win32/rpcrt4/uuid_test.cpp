// UUID text and the nil test.
#include <gtest/gtest.h>
#include <cstring>

#include "rpc.h"

namespace {

RPC_STATUS parse(const char *text, UUID &uuid) {
    return UuidFromStringA(reinterpret_cast<RPC_CSTR>(const_cast<char *>(text)), &uuid);
}

TEST(Uuid, TextIsReadFieldByField) {
    UUID uuid;
    ASSERT_EQ(parse("5C9D4C8E-1b2a-4d3c-9e8f-0a1b2c3d4e5f", uuid), RPC_S_OK);
    EXPECT_EQ(uuid.Data1, 0x5c9d4c8eu);
    EXPECT_EQ(uuid.Data2, 0x1b2a);
    EXPECT_EQ(uuid.Data3, 0x4d3c);
    const uint8_t tail[8] = {0x9e, 0x8f, 0x0a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f};
    EXPECT_EQ(std::memcmp(uuid.Data4, tail, 8), 0);
}

TEST(Uuid, MalformedTextIsRefusedAndLeavesTheUuid) {
    for (const char *text : {"", "5c9d4c8e-1b2a-4d3c-9e8f-0a1b2c3d4e5", "5c9d4c8e-1b2a-4d3c-9e8f-0a1b2c3d4e5f0",
                             "{5c9d4c8e-1b2a-4d3c-9e8f-0a1b2c3d4e5f}", "5c9d4c8e1b2a-4d3c-9e8f-0a1b2c3d4e5f",
                             "5c9d4c8e-1b2a-4d3c-9e8f0a1b2c3d4e5f-", "5c9d4c8g-1b2a-4d3c-9e8f-0a1b2c3d4e5f"}) {
        SCOPED_TRACE(text);
        UUID uuid{0xDEADBEEF, 1, 2, {3}};
        EXPECT_EQ(parse(text, uuid), RPC_S_INVALID_STRING_UUID);
        EXPECT_EQ(uuid.Data1, 0xDEADBEEFu);
    }
}

TEST(Uuid, NilIsAllZeroOrNull) {
    RPC_STATUS status = -1;
    UUID nil{};
    EXPECT_TRUE(UuidIsNil(&nil, &status));
    EXPECT_EQ(status, RPC_S_OK);
    EXPECT_TRUE(UuidIsNil(nullptr, &status));
    UUID one{};
    one.Data4[7] = 1;
    status = -1;
    EXPECT_FALSE(UuidIsNil(&one, &status));
    EXPECT_EQ(status, RPC_S_OK);
    ASSERT_EQ(parse(nullptr, one), RPC_S_OK);
    EXPECT_TRUE(UuidIsNil(&one, &status));
}

}  // namespace
