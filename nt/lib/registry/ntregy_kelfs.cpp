// The file-system driver's parameters: their table of names, types and
// shipped defaults, which defaults an installation writes, and the
// operations on the service's Parameters key.
#include <cstring>

#include "registry/ntregy_internal.h"

namespace {

constexpr const char *kParametersKey = "\\SYSTEM\\CurrentControlSet\\Services\\kelfs\\Parameters";
constexpr const char *kInstallParametersKey = "\\SYSTEM\\CurrentControlSet\\Services\\kelfs\\InstallParameters";
constexpr int kExtendedNameSuffix = 21;  // read, never written

struct Parameter {
    const char *name;
    DWORD type;
    DWORD number;      // the default of a number parameter
    const char *text;  // the default of a string parameter
    bool installed;    // written at installation
};

constexpr Parameter kParameters[] = {
    /* 0 */ {"acenabled", REG_DWORD, 1, nullptr, false},
    /* 1 */ {"auditbufsiz", REG_DWORD, 16384, nullptr, true},
    /* 2 */ {"cowbufsiz", REG_DWORD, 4096, nullptr, true},
    /* 3 */ {"ctoenabled", REG_DWORD, 1, nullptr, false},
    /* 4 */ {"cvpfreemax", REG_DWORD, 0, nullptr, false},
    /* 5 */ {"dncdirmax", REG_DWORD, 0, nullptr, false},
    /* 6 */ {"dncenabled", REG_DWORD, 1, nullptr, false},
    /* 7 */ {"dncnoentenabled", REG_DWORD, 1, nullptr, false},
    /* 8 */ {"dncnoentmax", REG_DWORD, 0, nullptr, false},
    /* 9 */ {"dncregmax", REG_DWORD, 0, nullptr, false},
    /* 10 */ {"duplsearchmax", REG_DWORD, 40, nullptr, true},
    /* 11 */ {"idleview_timeout", REG_DWORD, 300, nullptr, true},
    /* 12 */ {"largeinit", REG_DWORD, 1, nullptr, true},
    /* 13 */ {"major", REG_DWORD, 200, nullptr, true},
    /* 14 */ {"max_rpcdelay", REG_DWORD, 30, nullptr, true},
    /* 15 */ {"mnmax", REG_DWORD, 0, nullptr, false},
    /* 16 */ {"rebind_dir_enable", REG_DWORD, 1, nullptr, true},
    /* 17 */ {"rebind_view_enable", REG_DWORD, 1, nullptr, false},
    /* 18 */ {"rlenabled", REG_DWORD, 1, nullptr, false},
    /* 19 */ {"rvcenabled", REG_DWORD, 1, nullptr, false},
    /* 20 */ {"vobfreemax", REG_DWORD, 0, nullptr, false},
    /* 21 */ {"xnsuffix", REG_SZ, 0, "@@", false},
    /* 22 */ {"logdir", REG_SZ, 0, "\\DosDevices\\C:\\kelfslogs", true},
    /* 23 */ {"ciflag", REG_DWORD, 1, nullptr, true},
    /* 24 */ {"qlbdwkp", REG_DWORD, 371, nullptr, true},
    /* 25 */ {"drive", REG_SZ, 0, "M", true},
    /* 26 */ {"logonaction", REG_DWORD, 0, nullptr, true},
    /* 27 */ {"rpccache", REG_DWORD, 0, nullptr, false},
    /* 28 */ {"view_netname", REG_SZ, 0, "view", true},
    /* 29 */ {"ulogdir", REG_SZ, 0, "C:\\kelfslogs", true},
    /* 30 */ {"viewtagdiropt", REG_DWORD, 1, nullptr, true},
    /* 31 */ {"zncredscantime", REG_DWORD, 60, nullptr, true},
    /* 32 */ {"rddirblocks", REG_DWORD, 0, nullptr, false},
    /* 33 */ {"view_rebind_timeout", REG_DWORD, 7200, nullptr, true},
    /* 34 */ {"vobfreemin", REG_DWORD, 0, nullptr, false},
    /* 35 */ {"age_cvp_time_sec", REG_DWORD, 172800, nullptr, false},
    /* 36 */ {"cvpfreemin", REG_DWORD, 0, nullptr, false},
    /* 37 */ {"vobhashtab_sz", REG_DWORD, 0, nullptr, false},
    /* 38 */ {"cvphashtab_sz", REG_DWORD, 0, nullptr, false},
    /* 39 */ {"dnchashtab_sz", REG_DWORD, 0, nullptr, false},
    /* 40 */ {"threadhashtab_sz", REG_DWORD, 0, nullptr, false},
    /* 41 */ {"prochashtab_sz", REG_DWORD, 0, nullptr, false},
    /* 42 */ {"otherhashtab_sz", REG_DWORD, 0, nullptr, true},
    /* 43 */ {"vobfreehashtab_sz", REG_DWORD, 0, nullptr, true},
    /* 44 */ {"logbuffer_sz", REG_DWORD, 100, nullptr, true},
    /* 45 */ {"logbuffer_write_sz", REG_DWORD, 40, nullptr, true},
    /* 46 */ {"Tot_Allocation_kunits", REG_DWORD, 160000, nullptr, true},
    /* 47 */ {"Avail_Allocation_kunits", REG_DWORD, 100000, nullptr, true},
    /* 48 */ {"ctxt_atime_refresh", REG_DWORD, 3600, nullptr, false},
    /* 49 */ {"MiniFilterMask", REG_DWORD, 0, nullptr, true},
    /* 50 */ {"KelfsViewAttachMup", REG_DWORD, 0, nullptr, true},
    /* 51 */ {"rdcenabled", REG_DWORD, 1, nullptr, false},
    /* 52 */ {"HistoryModeSuffix", REG_SZ, 0, "@@", true},
    /* 53 */ {"LeakFinder", REG_DWORD, 0, nullptr, true},
    /* 54 */ {"drive_au", REG_SZ, 0, "R", true},
    /* 55 */ {"rview_netname", REG_SZ, 0, "rview", true},
    /* 56 */ {"max_lpcdelay", REG_DWORD, 10, nullptr, true},
};
constexpr int kParameterCount = sizeof kParameters / sizeof *kParameters;
static_assert(kParameterCount == 57);

// The row of a parameter.  Callers pass numbers from the table; one outside
// it has no row and is refused instead of read past the table.
const Parameter *parameter_of(int number) {
    return number >= 0 && number < kParameterCount ? &kParameters[number] : nullptr;
}

bool is_string(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }
bool is_number(DWORD type) { return type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN; }

LONG read_from(const char *path, int number, void *buffer, DWORD size, const char *machine) {
    const Parameter *row = parameter_of(number);
    if (!row) return ERROR_INVALID_PARAMETER;
    quarn::nt::RegistryRoot root(machine, HKEY_LOCAL_MACHINE);
    if (root.status() != ERROR_SUCCESS) return root.status();
    HKEY key = nullptr;
    LONG status = ntregy_get_value(root.key(), path, row->name, buffer, size, &key);
    quarn::nt::close_handed_key(key);
    return status;
}

// Writes `value` (a string's address or the number itself) as the row's type says.
LONG write_parameter(const Parameter &row, uintptr_t value, const char *machine) {
    quarn::nt::RegistryRoot root(machine, HKEY_LOCAL_MACHINE);
    if (root.status() != ERROR_SUCCESS) return root.status();
    DWORD number = static_cast<DWORD>(value);
    const void *data = nullptr;
    DWORD length = 0;
    if (is_string(row.type)) {
        if (!value) return ERROR_INVALID_PARAMETER;
        data = reinterpret_cast<const char *>(value);
        length = static_cast<DWORD>(std::strlen(static_cast<const char *>(data)) + 1);
    } else if (is_number(row.type)) {
        data = &number;
        length = sizeof number;
    }
    HKEY key = nullptr;
    LONG status = ntregy_create_value(root.key(), kParametersKey, row.name, data, length, row.type, &key);
    quarn::nt::close_handed_key(key);
    return status;
}

}  // namespace

extern "C" {

NT_API DWORD ntregy_get_kelfs_datatype(int number) {
    const Parameter *row = parameter_of(number);
    return row ? row->type : REG_NONE;
}

NT_API LONG ntregy_get_kelfs_param(int number, void *buffer, DWORD size, const char *machine) {
    return read_from(kParametersKey, number, buffer, size, machine);
}

NT_API LONG ntregy_get_installed_kelfs_param(int number, void *buffer, DWORD size, const char *machine) {
    return read_from(kInstallParametersKey, number, buffer, size, machine);
}

NT_API LONG ntregy_set_kelfs_param(int number, uintptr_t value, const char *machine) {
    const Parameter *row = parameter_of(number);
    if (!row) return ERROR_INVALID_PARAMETER;
    if (number == kExtendedNameSuffix) {
        quarn::nt::RegistryRoot root(machine, HKEY_LOCAL_MACHINE);
        return root.status() != ERROR_SUCCESS ? root.status() : ERROR_BAD_ARGUMENTS;
    }
    return write_parameter(*row, value, machine);
}

NT_API LONG ntregy_del_kelfs_param(int number) {
    const Parameter *row = parameter_of(number);
    if (!row) return ERROR_INVALID_PARAMETER;
    return ntregy_del_value(HKEY_LOCAL_MACHINE, kParametersKey, row->name);
}

NT_API int ntregy_get_default_param(int number, void *destination, DWORD size) {
    const Parameter *row = parameter_of(number);
    if (!row) return 0;
    const void *data = nullptr;
    DWORD length = 0;
    if (is_string(row->type)) {
        data = row->text;
        length = static_cast<DWORD>(std::strlen(row->text) + 1);
    } else if (is_number(row->type)) {
        data = &row->number;
        length = sizeof row->number;
    } else {
        return 0;
    }
    if (size < length) return 1;
    std::memcpy(destination, data, length);
    return 0;
}

NT_API LONG ntregy_default_kelfs_param(int number, const char *machine) {
    const Parameter *row = parameter_of(number);
    if (!row) return ERROR_INVALID_PARAMETER;
    if (number == kExtendedNameSuffix) return ERROR_SUCCESS;
    uintptr_t value = is_string(row->type) ? reinterpret_cast<uintptr_t>(row->text) : row->number;
    return write_parameter(*row, value, machine);
}

NT_API int ntregy_should_install_default_kelfs_param(int number) {
    const Parameter *row = parameter_of(number);
    return row ? (row->installed ? 1 : 0) : 1;
}

// CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 3000, METHOD_BUFFERED, FILE_READ_ACCESS).
NT_API DWORD nt_get_kelfs_ioctl_cmd(void) {
    constexpr DWORD device_type = 9, function = 3000, method = 0, access = 1;
    return (device_type << 16) | (access << 14) | (function << 2) | method;
}

}  // extern "C"
