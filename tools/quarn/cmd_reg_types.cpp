// The names of registry value types, as reg.exe prints and takes them.
#include <strings.h>

#include <cstdio>

#include "cmd_reg.h"

namespace quarn::tool::reg {
namespace {

struct TypeName {
    uint32_t type;
    const char *name;
};

// Windows' own names; the first one for a number is the one printed.
constexpr TypeName kTypeNames[] = {
    {REG_NONE, "REG_NONE"},
    {REG_SZ, "REG_SZ"},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {REG_BINARY, "REG_BINARY"},
    {REG_DWORD, "REG_DWORD"},
    {REG_DWORD_LITTLE_ENDIAN, "REG_DWORD_LITTLE_ENDIAN"},
    {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
    {REG_LINK, "REG_LINK"},
    {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {REG_RESOURCE_LIST, "REG_RESOURCE_LIST"},
    {REG_FULL_RESOURCE_DESCRIPTOR, "REG_FULL_RESOURCE_DESCRIPTOR"},
    {REG_RESOURCE_REQUIREMENTS_LIST, "REG_RESOURCE_REQUIREMENTS_LIST"},
    {REG_QWORD, "REG_QWORD"},
};

}  // namespace

std::string type_name(uint32_t type) {
    for (const auto &entry : kTypeNames)
        if (entry.type == type) return entry.name;
    char number[16];
    std::snprintf(number, sizeof number, "0x%x", type);
    return number;
}

std::optional<uint32_t> type_of_name(const std::string &name) {
    for (const auto &entry : kTypeNames)
        if (strcasecmp(entry.name, name.c_str()) == 0) return entry.type;
    return std::nullopt;
}

}  // namespace quarn::tool::reg
