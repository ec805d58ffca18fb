// Identity suite helpers.
#include "identity_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace quarn::test {
namespace {

constexpr size_t kRoom = 300;  // characters or bytes in each buffer
constexpr size_t kGuard = 16;

template <typename T>
struct Guarded {
    std::vector<T> storage = std::vector<T>(kRoom + kGuard, static_cast<T>(kPoison));
    T *data() { return storage.data(); }
    void check_guard() const {
        for (size_t i = kRoom; i < storage.size(); ++i)
            ASSERT_EQ(storage[i], static_cast<T>(kPoison)) << "guard overwritten at " << i;
    }
};

template <typename Char>
std::string utf8_from(const Char *text) {
    return quarn::win32::utf8_of(text);
}

template <typename Char, typename Call>
Lookup run_name(Call call) {
    Guarded<BYTE> sid;
    Guarded<Char> domain;
    DWORD sid_size = kRoom, domain_size = kRoom;
    SID_NAME_USE use = kPoisonUse;
    Lookup out;
    out.ok = call(sid.data(), &sid_size, domain.data(), &domain_size, &use);
    out.error = out.ok ? 0 : GetLastError();
    sid.check_guard();
    domain.check_guard();
    if (!out.ok) return out;
    EXPECT_EQ(sid_size, GetLengthSid(sid.data()));
    out.sid = text_of(sid.data());
    out.domain = utf8_from(domain.data());
    EXPECT_EQ(domain_size, std::char_traits<Char>::length(domain.data()));
    out.use = use;
    return out;
}

template <typename Char, typename Call>
Lookup run_sid(const std::string &sid_text, Call call) {
    PSID sid = nullptr;
    EXPECT_TRUE(ConvertStringSidToSidA(sid_text.c_str(), &sid)) << sid_text;
    Guarded<Char> name, domain;
    DWORD name_size = kRoom, domain_size = kRoom;
    SID_NAME_USE use = kPoisonUse;
    Lookup out;
    out.ok = call(sid, name.data(), &name_size, domain.data(), &domain_size, &use);
    out.error = out.ok ? 0 : GetLastError();
    LocalFree(sid);
    name.check_guard();
    domain.check_guard();
    if (!out.ok) return out;
    out.sid = sid_text;
    out.name = utf8_from(name.data());
    out.domain = utf8_from(domain.data());
    EXPECT_EQ(name_size, std::char_traits<Char>::length(name.data()));
    EXPECT_EQ(domain_size, std::char_traits<Char>::length(domain.data()));
    out.use = use;
    return out;
}

}  // namespace

Lookup lookup_name(const char *system, const char *name) {
    return run_name<char>([&](PSID sid, LPDWORD sid_size, char *domain, LPDWORD domain_size, PSID_NAME_USE use) {
        return LookupAccountNameA(system, name, sid, sid_size, domain, domain_size, use);
    });
}

Lookup lookup_name_w(const char16_t *system, const char16_t *name) {
    return run_name<char16_t>([&](PSID sid, LPDWORD sid_size, char16_t *domain, LPDWORD domain_size, PSID_NAME_USE use) {
        return LookupAccountNameW(system, name, sid, sid_size, domain, domain_size, use);
    });
}

Lookup lookup_sid(const char *system, const std::string &sid_text) {
    return run_sid<char>(sid_text, [&](PSID sid, char *name, LPDWORD name_size, char *domain, LPDWORD domain_size,
                                       PSID_NAME_USE use) {
        return LookupAccountSidA(system, sid, name, name_size, domain, domain_size, use);
    });
}

Lookup lookup_sid_w(const char16_t *system, const std::string &sid_text) {
    return run_sid<char16_t>(sid_text, [&](PSID sid, char16_t *name, LPDWORD name_size, char16_t *domain,
                                           LPDWORD domain_size, PSID_NAME_USE use) {
        return LookupAccountSidW(system, sid, name, name_size, domain, domain_size, use);
    });
}

void expect_both_ways(const AccountCase &c) {
    SCOPED_TRACE(c.name);
    auto by_name = lookup_name(nullptr, c.name);
    ASSERT_TRUE(by_name.ok) << by_name.error;
    EXPECT_EQ(by_name.sid, c.sid);
    EXPECT_EQ(by_name.domain, c.domain);
    EXPECT_EQ(by_name.use, c.use);
    auto by_sid = lookup_sid(nullptr, c.sid);
    ASSERT_TRUE(by_sid.ok) << by_sid.error;
    EXPECT_EQ(by_sid.name, c.canonical);
    EXPECT_EQ(by_sid.domain, c.domain);
    EXPECT_EQ(by_sid.use, c.use);
}

std::string text_of(PSID sid) {
    char *text = nullptr;
    if (!sid || !ConvertSidToStringSidA(sid, &text)) return "<none>";
    std::string out = text;
    LocalFree(text);
    return out;
}

std::string utf8(const WCHAR *text) { return text ? quarn::win32::utf16_to_utf8(text) : "<null>"; }

Policy::Policy(const char16_t *system, ACCESS_MASK access) {
    LSA_OBJECT_ATTRIBUTES attributes{};
    std::u16string name = system ? system : u"";
    LSA_UNICODE_STRING system_name = lsa_string(name);
    status_ = LsaOpenPolicy(system ? &system_name : nullptr, &attributes, access, &handle_);
}

Policy::~Policy() {
    if (status_ == STATUS_SUCCESS) LsaClose(handle_);
}

LSA_UNICODE_STRING lsa_string(const std::u16string &text) {
    auto bytes = static_cast<USHORT>(text.size() * sizeof(WCHAR));
    return {bytes, bytes, const_cast<LPWSTR>(text.data())};
}

}  // namespace quarn::test
