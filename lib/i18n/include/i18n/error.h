// Error state carried by the conversion and encoding classes: an ICU status,
// a sticky error flag, and a range of offsets.
#pragma once

#include <cstdint>
#include <unicode/utypes.h>

#include "i18n.h"

namespace i18n {

// The status of the last ICU call; a full output chunk counts as success.
class I18N_API UcnvErrorHandler {
public:
    UcnvErrorHandler() = default;
    UcnvErrorHandler(const UcnvErrorHandler &) = default;
    UcnvErrorHandler &operator=(const UcnvErrorHandler &) = default;

    void ucnv_set_ok() { m_code = U_ZERO_ERROR; }
    bool ucnv_is_ok() const { return m_code <= U_ZERO_ERROR || m_code == U_BUFFER_OVERFLOW_ERROR; }
    bool ucnv_is_total_ok() const { return m_code <= U_ZERO_ERROR; }
    bool has_next() const { return m_code == U_BUFFER_OVERFLOW_ERROR; }
    UErrorCode *ucnv_code() { return &m_code; }
    UErrorCode get_code() const { return m_code; }

private:
    UErrorCode m_code = U_ZERO_ERROR;
};

// A flag that, once set, says the object's work has failed.
class I18N_API Error {
public:
    Error(const Error &) = default;
    Error &operator=(const Error &) = default;

    void set_error() { m_error = 1; }
    bool is_error() const { return m_error != 0; }
    bool is_ok() const { return m_error == 0; }

protected:
    Error() = default;
    ~Error() = default;

private:
    int32_t m_error = 0;
};

// A range of offsets [begin, end); an end of -1 leaves the range open.
class I18N_API BegEnd {
public:
    BegEnd() = default;
    BegEnd(int32_t begin, int32_t end) : m_begin(begin), m_end(end) {}
    BegEnd(const BegEnd &) = default;
    BegEnd &operator=(const BegEnd &) = default;

    void add(int32_t n) {
        m_begin += n;
        if (m_end != -1) m_end += n;
    }
    int32_t size() const { return m_end - m_begin; }
    int32_t begin() const { return m_begin; }
    int32_t end() const { return m_end; }

private:
    int32_t m_begin = 0;
    int32_t m_end = 0;
};

}  // namespace i18n
