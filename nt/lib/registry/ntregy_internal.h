// Shared pieces of the registry configuration sources.
#pragma once

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

// Closes a key handed back by ntregy_get_value or ntregy_create_value.
inline void close_handed_key(HKEY key) {
    if (key) ntregy_close_key(key);
}

}  // namespace quarn::nt
