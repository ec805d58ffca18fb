// nt_ob_has_global_prefix: whether kernel object names may carry "Global\".
// NT 5 and later always have the global namespace; an older NT has it only
// as a terminal server, which its "ProductSuite" list says.
#include "host/product_suite.h"
#include "nt.h"

extern "C" NT_API int nt_ob_has_global_prefix(void) {
    if (nt_osinfo() & NT_OS_NT5_OR_LATER) return 1;
    return nt_product_suite_has_terminal_server();
}
