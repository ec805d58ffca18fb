// domain_helper: the trusted-domain tables as another process of the
// machine sees them.  "dump" prints both tables; "tpo-to-sid N" prints the
// SID and name of the domain with the shifted offset N.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "identity/domains.h"
#include "nt.h"

int main(int argc, char **argv) {
    if (argc < 2) return 2;
    std::string command = argv[1];
    if (command == "dump") {
        ntx_dump_cache();
    } else if (command == "tpo-to-sid" && argc == 3) {
        ntx_tpo_sid_value *value = nullptr;
        PSID sid = ntx_tpo_to_sid(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 0)), &value);
        char text[100];
        if (!sid || !nt_sid_to_str(sid, text, sizeof text)) return 1;
        std::printf("%s: %s\n", text, value->name);
    } else {
        return 2;
    }
    return 0;
}
