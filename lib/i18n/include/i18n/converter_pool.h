// Converters that go back to a per-thread pool when their owner is done, so
// that the next conversion in the same charset skips ICU's open and close:
// for a short header those cost more than the conversion itself.
#pragma once

#include <string>
#include <unicode/ucnv.h>

#include "i18n.h"

namespace i18n {

// One configured converter for a charset name, taken from this thread's pool
// (reset to its initial state) or freshly opened; handed back when destroyed.
class I18N_API PooledConverter {
public:
    PooledConverter() = default;
    // NULL (and catalogue message 0 on standard error) when ICU knows no such charset.
    explicit PooledConverter(const char *name);
    PooledConverter(PooledConverter &&other) noexcept;
    PooledConverter &operator=(PooledConverter &&other) noexcept;
    PooledConverter(const PooledConverter &) = delete;
    PooledConverter &operator=(const PooledConverter &) = delete;
    ~PooledConverter();

    // A converter of the same charset in the same state, or an empty one when ICU cannot copy it.
    PooledConverter clone() const;
    UConverter *get() const { return m_converter; }
    explicit operator bool() const { return m_converter != nullptr; }

private:
    PooledConverter(std::string name, UConverter *converter) : m_name(std::move(name)), m_converter(converter) {}

    std::string m_name;  // as asked for: the pool's key
    UConverter *m_converter = nullptr;
};

}  // namespace i18n
