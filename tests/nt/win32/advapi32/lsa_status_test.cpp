// LsaNtStatusToWinError: the statuses the layer returns map as on Windows.
#include <gtest/gtest.h>

#include "lsa.h"

namespace {

TEST(LsaNtStatusToWinError, MapsTheLayersStatuses) {
    struct Case {
        NTSTATUS status;
        ULONG error;
    } cases[] = {
        {STATUS_SUCCESS, ERROR_SUCCESS},
        {STATUS_MORE_ENTRIES, ERROR_MORE_DATA},
        {STATUS_NO_MORE_ENTRIES, ERROR_NO_MORE_ITEMS},
        {STATUS_SOME_NOT_MAPPED, ERROR_SOME_NOT_MAPPED},
        {STATUS_NONE_MAPPED, ERROR_NONE_MAPPED},
        {STATUS_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {STATUS_INVALID_HANDLE, ERROR_INVALID_HANDLE},
        {STATUS_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
        {STATUS_INVALID_INFO_CLASS, ERROR_INVALID_PARAMETER},
        {STATUS_NO_MEMORY, ERROR_NOT_ENOUGH_MEMORY},
        {STATUS_OBJECT_NAME_NOT_FOUND, ERROR_FILE_NOT_FOUND},
        {STATUS_NOT_FOUND, ERROR_NOT_FOUND},
        {STATUS_NO_SUCH_PRIVILEGE, ERROR_NO_SUCH_PRIVILEGE},
        {STATUS_NO_SUCH_DOMAIN, ERROR_NO_SUCH_DOMAIN},
        {STATUS_INTERNAL_DB_CORRUPTION, ERROR_INTERNAL_DB_CORRUPTION},
        {STATUS_RPC_NT_SERVER_UNAVAILABLE, RPC_S_SERVER_UNAVAILABLE},
        {STATUS_DISK_FULL, ERROR_DISK_FULL},
        {static_cast<NTSTATUS>(0xC0FFEE01u), ERROR_MR_MID_NOT_FOUND},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<uint32_t>(c.status)));
        EXPECT_EQ(LsaNtStatusToWinError(c.status), c.error);
    }
}

}  // namespace
