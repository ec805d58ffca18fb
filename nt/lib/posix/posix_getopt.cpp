// nt_getopt: the classic option parser with its four variables.
#include <cstdio>
#include <cstring>

#include "ntposix.h"

extern "C" {
NT_API char *nt_optarg = nullptr;
NT_API int nt_optind = 1;
NT_API int nt_opterr = 1;
NT_API int nt_optopt = 0;
}

namespace {

char empty_group[] = "";
const char *scan = empty_group;  // where the parser stands inside an option group

// The program name for diagnostics: argv[0] after its last '/'.
const char *program_name(char *const argv[]) {
    const char *slash = std::strrchr(argv[0], '/');
    return slash ? slash + 1 : argv[0];
}

}  // namespace

extern "C" NT_API int nt_getopt(int argc, char *const argv[], const char *letters) noexcept {
    if (!*scan) {
        if (nt_optind >= argc || argv[nt_optind][0] != '-') {
            scan = empty_group;
            return -1;
        }
        if (std::strcmp(argv[nt_optind], "--") == 0) {
            ++nt_optind;
            scan = empty_group;
            return -1;
        }
        // A lone "-" is scanned as the option character '-'.
        scan = argv[nt_optind][1] ? argv[nt_optind] + 1 : argv[nt_optind];
    }
    nt_optopt = static_cast<unsigned char>(*scan++);
    const char *letter = nt_optopt == ':' ? nullptr : std::strchr(letters, nt_optopt);
    if (!letter) {
        if (nt_optopt == '-') {
            scan = empty_group;  // a lone "-" ends the options and stays in place
            return -1;
        }
        if (!*scan) ++nt_optind;
        if (nt_opterr) std::fprintf(stderr, "%s: illegal option -- %c\n", program_name(argv), nt_optopt);
        return '?';
    }
    if (letter[1] != ':') {
        nt_optarg = nullptr;
        if (!*scan) ++nt_optind;
        return nt_optopt;
    }
    if (*scan) {
        nt_optarg = const_cast<char *>(scan);
    } else if (++nt_optind >= argc) {
        scan = empty_group;
        if (nt_opterr)
            std::fprintf(stderr, "%s: option requires an argument -- %c\n", program_name(argv), nt_optopt);
        return '?';
    } else {
        nt_optarg = argv[nt_optind];
    }
    ++nt_optind;
    scan = empty_group;
    return nt_optopt;
}
