// Shared pieces of the registry configuration sources.
#pragma once

#include <optional>

#include "ntregy.h"
#include "win32.h"

namespace quarn::nt {

// The root to use for one call: `root` itself for this machine, else that
// root of the named machine, connected for the life of this object.
class RegistryRoot {
public:
    RegistryRoot(const char *machine, HKEY root);
    ~RegistryRoot();
    RegistryRoot(const RegistryRoot &) = delete;
    RegistryRoot &operator=(const RegistryRoot &) = delete;

    // The connection's error; the key is usable only when this is ERROR_SUCCESS.
    LONG status() const { return status_; }
    HKEY key() const { return key_; }

private:
    HKEY key_ = nullptr;
    bool connected_ = false;
    LONG status_ = ERROR_SUCCESS;
};

// A row of the product settings table, for the tool that names settings by
// their value names; nullopt for a number that names no setting.
struct SettingRow {
    const char *name;
    HKEY root;  // HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER
    DWORD type;
};
constexpr int kSettingCount = 69;  // numbers 0 to 68
std::optional<SettingRow> setting_row(int number);

// Closes a key handed back by ntregy_get_value or ntregy_create_value.
inline void close_handed_key(HKEY key) {
    if (key) ntregy_close_key(key);
}

}  // namespace quarn::nt
