// The RPC runtime's UUID helpers that the Win32 layer offers: reading a UUID's
// text and testing it for nil.  Internal: nothing here leaves libquarnnt.so.
#pragma once

#include "winbase.h"

extern "C" {

typedef GUID UUID;
typedef LONG RPC_STATUS;
typedef unsigned char *RPC_CSTR;

constexpr RPC_STATUS RPC_S_OK = 0;

// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" (hexadecimal digits, any case) into
// *uuid; a null text gives the nil UUID.  RPC_S_INVALID_STRING_UUID otherwise.
RPC_STATUS UuidFromStringA(RPC_CSTR text, UUID *uuid);
// TRUE when *uuid is all zero, or uuid is null; *status is RPC_S_OK.
int UuidIsNil(UUID *uuid, RPC_STATUS *status);

}  // extern "C"
