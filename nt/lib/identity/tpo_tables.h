// The machine-wide tables of the trusted-domain database: "Sid->Tpo" (domain
// SID to name and offset) and "Tpo->Sid" (offset to name and SID), filled
// once by whichever process first finds them without their loaded marker.
#pragma once

#include "ntx.h"
#include "phash.h"

enum class TpoAnswer {
    found,     // the value was copied out
    absent,    // the table is filled and has no such key
    unfilled,  // the table lacks its loaded marker
};

// This process's handles, opened once; null when a table cannot be opened.
phash_table *ntx_sid_tpo_table();
phash_table *ntx_tpo_sid_table();

// Looks `sid` (at most 68 bytes) up in "Sid->Tpo", and an unshifted offset in "Tpo->Sid".
TpoAnswer ntx_find_sid_tpo(phash_table *table, PSID sid, ntx_sid_tpo_value *value);
TpoAnswer ntx_find_tpo_sid(phash_table *table, DWORD offset, ntx_tpo_sid_value *value);
