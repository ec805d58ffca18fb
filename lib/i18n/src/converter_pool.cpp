// The per-thread converter pool. A converter is used by one owner at a time;
// the pool only keeps those whose owners are done, so no converter is ever
// shared between threads. Converters are reset when taken, so a failed
// conversion leaves nothing behind for the next one.
#include "i18n/converter_pool.h"

#include <cstring>
#include <utility>

#include "i18n/converter.h"
#include "per_thread.h"

namespace i18n {
namespace {

// A program converts between a few charsets; more than this are opened anew.
constexpr size_t kPoolSlots = 8;

struct Pool {
    struct Slot {
        std::string name;
        UConverter *converter = nullptr;
    };
    Slot slots[kPoolSlots];
    size_t used = 0;

    ~Pool() {
        for (size_t i = 0; i < used; ++i) ucnv_close(slots[i].converter);
    }
};

UConverter *take(const std::string &name) {
    Pool *kept = PerThread<Pool>::get();
    if (!kept) return nullptr;
    Pool &pool = *kept;
    // The latest given back is the likeliest to be asked for again.
    for (size_t i = pool.used; i-- > 0;) {
        if (pool.slots[i].name != name) continue;
        UConverter *converter = pool.slots[i].converter;
        for (size_t j = i + 1; j < pool.used; ++j) std::swap(pool.slots[j - 1], pool.slots[j]);
        --pool.used;
        ucnv_reset(converter);
        return converter;
    }
    return nullptr;
}

void give(std::string &name, UConverter *converter) {
    Pool *kept = PerThread<Pool>::get();
    if (!kept) {
        ucnv_close(converter);
        return;
    }
    Pool &pool = *kept;
    if (pool.used == kPoolSlots) {
        // The oldest makes room.
        ucnv_close(pool.slots[0].converter);
        for (size_t j = 1; j < kPoolSlots; ++j) std::swap(pool.slots[j - 1], pool.slots[j]);
        --pool.used;
    }
    Pool::Slot &slot = pool.slots[pool.used++];
    slot.name.swap(name);
    slot.converter = converter;
}

}  // namespace

PooledConverter::PooledConverter(const char *name) : m_name(name ? name : "") {
    m_converter = take(m_name);
    if (!m_converter) m_converter = open_ucnv_converter(name);
}

PooledConverter::PooledConverter(PooledConverter &&other) noexcept
    : m_name(std::move(other.m_name)), m_converter(std::exchange(other.m_converter, nullptr)) {}

PooledConverter &PooledConverter::operator=(PooledConverter &&other) noexcept {
    if (this != &other) {
        PooledConverter old(std::move(*this));
        m_name = std::move(other.m_name);
        m_converter = std::exchange(other.m_converter, nullptr);
    }
    return *this;
}

PooledConverter::~PooledConverter() {
    if (m_converter) give(m_name, m_converter);
}

PooledConverter PooledConverter::clone() const {
    if (!m_converter) return {};
    UErrorCode code = U_ZERO_ERROR;
    UConverter *copy = ucnv_clone(m_converter, &code);
    if (U_FAILURE(code)) {
        ucnv_close(copy);
        return {};
    }
    return PooledConverter(m_name, copy);
}

}  // namespace i18n
