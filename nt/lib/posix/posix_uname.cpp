// nt_uname: "NT", the computer name, the version number and the processor.
#include <cstdio>
#include <cstring>

#include "ntposix.h"
#include "win32.h"

namespace {

const char *machine_name(DWORD processor_type) {
    switch (processor_type) {
    case 586: return "i586";
    case 486: return "i486";
    case 4000: return "mips_R4000";
    case 21064: return "alpha";
    default: return "i386";
    }
}

}  // namespace

extern "C" NT_API int nt_uname(struct nt_utsname *name) noexcept {
    std::memset(name, 0, sizeof *name);
    std::snprintf(name->sysname, sizeof name->sysname, "NT");
    DWORD size = sizeof name->nodename;
    if (!GetComputerNameA(name->nodename, &size)) name->nodename[0] = 0;
    DWORD version = GetVersion();
    std::snprintf(name->release, sizeof name->release, "%d.%d", static_cast<int>(version & 0xFF),
                  static_cast<int>((version >> 8) & 0xFF));
    std::snprintf(name->version, sizeof name->version, "X");
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    std::snprintf(name->machine, sizeof name->machine, "%s", machine_name(info.dwProcessorType));
    return 0;
}
