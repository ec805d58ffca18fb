// A SID held by value: the form in which the machine keeps the SIDs of its
// domains and accounts, and hands them to the calls that copy them out.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "advapi.h"

namespace quarn::win32 {

class SidValue {
public:
    SidValue() = default;
    // S-1-<authority>-<sub>-... for an identifier authority below 256.
    SidValue(BYTE authority, std::initializer_list<DWORD> sub_authorities);
    // A copy of `sid`; empty when it is not a valid SID.
    static SidValue copy_of(PSID sid);
    // The SID of a text such as "S-1-5-21-1-2-3"; nullopt when it is not one.
    static std::optional<SidValue> parse(const std::string &text);

    bool empty() const { return bytes_.empty(); }
    PSID get() const { return const_cast<BYTE *>(bytes_.data()); }
    DWORD size() const { return static_cast<DWORD>(bytes_.size()); }
    BYTE count() const { return empty() ? 0 : bytes_[1]; }
    DWORD sub_authority(BYTE index) const;
    DWORD rid() const { return sub_authority(static_cast<BYTE>(count() - 1)); }
    // The SID without its last sub-authority (its domain, for an account).
    SidValue parent() const;
    SidValue with_rid(DWORD rid) const;
    std::string text() const;

    bool operator==(const SidValue &other) const = default;

private:
    std::vector<BYTE> bytes_;
};

}  // namespace quarn::win32
