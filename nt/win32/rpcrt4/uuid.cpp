// UUID text and the nil test of the RPC runtime.
#include <cctype>
#include <cstring>

#include "rpc.h"

namespace {

// Reads `digits` hexadecimal digits from `p` into `out`; advances `p`.
bool read_hex(const unsigned char *&p, int digits, uint64_t &out) {
    out = 0;
    for (int i = 0; i < digits; ++i, ++p) {
        if (!std::isxdigit(*p)) return false;
        out = out * 16 + static_cast<uint64_t>(std::isdigit(*p) ? *p - '0' : std::tolower(*p) - 'a' + 10);
    }
    return true;
}

bool parse_uuid(const unsigned char *p, UUID &uuid) {
    uint64_t v = 0;
    if (!read_hex(p, 8, v) || *p++ != '-') return false;
    uuid.Data1 = static_cast<uint32_t>(v);
    if (!read_hex(p, 4, v) || *p++ != '-') return false;
    uuid.Data2 = static_cast<uint16_t>(v);
    if (!read_hex(p, 4, v) || *p++ != '-') return false;
    uuid.Data3 = static_cast<uint16_t>(v);
    for (int i = 0; i < 8; ++i) {
        if (i == 2 && *p++ != '-') return false;
        if (!read_hex(p, 2, v)) return false;
        uuid.Data4[i] = static_cast<uint8_t>(v);
    }
    return *p == 0;
}

}  // namespace

extern "C" {

RPC_STATUS UuidFromStringA(RPC_CSTR text, UUID *uuid) {
    UUID parsed{};
    if (text && !parse_uuid(text, parsed)) return static_cast<RPC_STATUS>(RPC_S_INVALID_STRING_UUID);
    *uuid = parsed;
    return RPC_S_OK;
}

int UuidIsNil(UUID *uuid, RPC_STATUS *status) {
    *status = RPC_S_OK;
    if (!uuid) return TRUE;
    static const UUID nil{};
    return std::memcmp(uuid, &nil, sizeof nil) == 0;
}

}  // extern "C"
