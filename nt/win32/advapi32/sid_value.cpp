// SIDs held by value.
#include "advapi32/sid_value.h"

#include <cstring>

namespace quarn::win32 {

SidValue::SidValue(BYTE authority, std::initializer_list<DWORD> sub_authorities) {
    bytes_ = {SID_REVISION, static_cast<BYTE>(sub_authorities.size()), 0, 0, 0, 0, 0, authority};
    for (DWORD s : sub_authorities) {
        BYTE raw[4];
        std::memcpy(raw, &s, 4);
        bytes_.insert(bytes_.end(), raw, raw + 4);
    }
}

SidValue SidValue::copy_of(PSID sid) {
    SidValue out;
    if (!IsValidSid(sid)) return out;
    auto *p = static_cast<const BYTE *>(sid);
    out.bytes_.assign(p, p + GetLengthSid(sid));
    return out;
}

std::optional<SidValue> SidValue::parse(const std::string &text) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidA(text.c_str(), &sid)) return std::nullopt;
    SidValue out = copy_of(sid);
    LocalFree(sid);
    return out;
}

DWORD SidValue::sub_authority(BYTE index) const {
    DWORD value = 0;
    if (index < count()) std::memcpy(&value, bytes_.data() + 8 + 4u * index, 4);
    return value;
}

SidValue SidValue::parent() const {
    SidValue out;
    if (count() == 0) return out;
    out.bytes_.assign(bytes_.begin(), bytes_.end() - 4);
    out.bytes_[1] = static_cast<BYTE>(count() - 1);
    return out;
}

SidValue SidValue::with_rid(DWORD rid) const {
    SidValue out = *this;
    if (empty() || count() >= SID_MAX_SUB_AUTHORITIES) return {};
    BYTE raw[4];
    std::memcpy(raw, &rid, 4);
    out.bytes_.insert(out.bytes_.end(), raw, raw + 4);
    out.bytes_[1] = static_cast<BYTE>(count() + 1);
    return out;
}

std::string SidValue::text() const {
    char *text = nullptr;
    if (empty() || !ConvertSidToStringSidA(get(), &text)) return {};
    std::string out = text;
    LocalFree(text);
    return out;
}

}  // namespace quarn::win32
