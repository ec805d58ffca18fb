// Security attributes for the area objects.  The private area's mutex, file
// and section belong to the user: owned by them, and open only to them, the
// product's administrators, the built-in Administrators and LocalSystem.
// The global area's objects are everybody's to read and only those three's
// to change, and belong to the product group so that its members may write
// them: its readers never take its mutex, so nobody else can hold it.
#include "nt.h"
#include "identity/security_internal.h"
#include "shmem/shmem_area.h"

namespace {

SecurityBlock owner_block;
SecurityBlock global_block;

}  // namespace

LPSECURITY_ATTRIBUTES shmem_security_attributes(const shmem_area *area, DWORD access) {
    if (!area->global) {
        PSID user = nullptr;
        if (!nt_get_user_sid(&user)) return nullptr;
        return owner_block.attributes_for({user, user, access, access, nullptr, false});
    }
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    SID_IDENTIFIER_AUTHORITY world = {{0, 0, 0, 0, 0, 1}};
    if (!InitializeSid(everyone, &world, 1)) return nullptr;
    *GetSidSubAuthority(everyone, 0) = 0;  // S-1-1-0, Everyone
    PSID product_group = nt_get_enum_sid(NT_ENUM_SID_ZENDREL_GROUP);
    return global_block.attributes_for({everyone, everyone, GENERIC_READ, access, product_group, false});
}
