// identity_helper: the identity functions as another process of the machine
// sees them, after nt_init unless the command says otherwise.
//   uid SID          nt_sid_to_uid, in hexadecimal ("none" for no uid)
//   cached SID       the "Sid->Uid" entry of SID, read from the table itself
//   lookup NAME      nt_lookup_account_name: "QUALIFIED SID TYPE", or "failed"
//   dump             nt_dump_cache
//   dump-uninit      nt_dump_cache without nt_init: no table exists
#include <cstdio>
#include <cstring>
#include <string>

#include "identity/identity_caches.h"
#include "nt.h"
#include "win32.h"

namespace {

int print_uid(const char *text, bool from_table) {
    PSID sid = nullptr;
    if (nt_str_to_sid(text, &sid) != 0) return 2;
    DWORD uid = NT_NO_UID;
    if (from_table) {
        BYTE key[kSidSize] = {};
        std::memcpy(key, sid, GetLengthSid(sid));
        unsigned int size = sizeof uid;
        if (!nt_sid_uid_cache || !phash_lookup(nt_sid_uid_cache, key, &uid, &size)) uid = NT_NO_UID;
    } else {
        uid = nt_sid_to_uid(sid);
    }
    FreeSid(sid);
    if (uid == NT_NO_UID)
        std::printf("none\n");
    else
        std::printf("0x%x\n", uid);
    return 0;
}

int print_lookup(const char *name) {
    BYTE sid[kSidSize];
    char domain[65], qualified[NT_QUALIFIED_NAME_SIZE], text[100];
    int use = 0;
    if (!nt_lookup_account_name(name, sid, sizeof sid, domain, sizeof domain, &use, qualified)) {
        std::printf("failed\n");
        return 0;
    }
    std::printf("%s %s %d\n", qualified, nt_sid_to_str(sid, text, sizeof text), use);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) return 2;
    std::string command = argv[1];
    if (command == "dump-uninit") {
        nt_dump_cache();
        return 0;
    }
    nt_init();
    if (command == "dump") {
        nt_dump_cache();
        return 0;
    }
    if (argc != 3) return 2;
    if (command == "uid") return print_uid(argv[2], false);
    if (command == "cached") return print_uid(argv[2], true);
    if (command == "lookup") return print_lookup(argv[2]);
    return 2;
}
