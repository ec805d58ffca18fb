// Security attributes for the area objects: the global area's are everybody's;
// the private area's mutex, file and section belong to the user, open only
// to them, the product group, the built-in Administrators and LocalSystem.
#include "identity/security_internal.h"
#include "nt.h"
#include "shmem/shmem_area.h"

LPSECURITY_ATTRIBUTES shmem_security_attributes(const shmem_area *area, DWORD access) {
    return area->global ? nt_public_security_attributes() : nt_owner_security_attributes(access, 0);
}
