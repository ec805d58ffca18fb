// VerSetConditionMask and VerifyVersionInfoA: the machine's version compared
// field by field with the conditions of a mask, three bits per field.
#include "machine/machine.h"

using quarn::win32::Machine;

namespace {

// The field's place in the condition mask: the index of its type bit.
int field_index(DWORD type) { return __builtin_ctz(type); }

BYTE condition_for(ULONGLONG mask, DWORD type) { return static_cast<BYTE>((mask >> (3 * field_index(type))) & 7); }

bool compare(DWORD have, DWORD want, BYTE condition) {
    switch (condition) {
    case VER_EQUAL: return have == want;
    case VER_GREATER: return have > want;
    case VER_GREATER_EQUAL: return have >= want;
    case VER_LESS: return have < want;
    case VER_LESS_EQUAL: return have <= want;
    default: return false;
    }
}

bool suites_match(WORD have, WORD want, BYTE condition) {
    if (condition == VER_AND) return (have & want) == want;
    if (condition == VER_OR) return (have & want) != 0;
    return false;
}

}  // namespace

extern "C" {

ULONGLONG VerSetConditionMask(ULONGLONG mask, DWORD type, BYTE condition) {
    condition &= 7;
    if (!condition) return mask;
    for (DWORD bit = 1; bit <= VER_PRODUCT_TYPE; bit <<= 1)
        if (type & bit) {
            int shift = 3 * field_index(bit);
            mask = (mask & ~(ULONGLONG{7} << shift)) | (ULONGLONG{condition} << shift);
        }
    return mask;
}

BOOL VerifyVersionInfoA(LPOSVERSIONINFOEXA wanted, DWORD type_mask, ULONGLONG condition_mask) {
    if (!wanted || !type_mask || !condition_mask) {
        SetLastError(ERROR_BAD_ARGUMENTS);
        return FALSE;
    }
    const Machine *machine = Machine::current();
    if (!machine) return FALSE;
    const auto &v = machine->version();
    struct Field {
        DWORD type;
        DWORD have;
        DWORD want;
    } fields[] = {
        {VER_MAJORVERSION, v.major, wanted->dwMajorVersion},
        {VER_MINORVERSION, v.minor, wanted->dwMinorVersion},
        {VER_BUILDNUMBER, v.build, wanted->dwBuildNumber},
        {VER_PLATFORMID, v.platform_id, wanted->dwPlatformId},
        {VER_SERVICEPACKMAJOR, v.service_pack_major, wanted->wServicePackMajor},
        {VER_SERVICEPACKMINOR, v.service_pack_minor, wanted->wServicePackMinor},
        {VER_PRODUCT_TYPE, v.product_type, wanted->wProductType},
    };
    for (const auto &f : fields) {
        if (!(type_mask & f.type)) continue;
        BYTE condition = condition_for(condition_mask, f.type);
        if (!condition) {
            SetLastError(ERROR_BAD_ARGUMENTS);
            return FALSE;
        }
        if (!compare(f.have, f.want, condition)) {
            SetLastError(ERROR_OLD_WIN_VERSION);
            return FALSE;
        }
    }
    if (type_mask & VER_SUITENAME) {
        if (!suites_match(v.suite_mask, wanted->wSuiteMask, condition_for(condition_mask, VER_SUITENAME))) {
            SetLastError(ERROR_OLD_WIN_VERSION);
            return FALSE;
        }
    }
    return TRUE;
}

}  // extern "C"
