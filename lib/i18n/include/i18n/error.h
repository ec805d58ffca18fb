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
    UcnvErrorHandler();
    UcnvErrorHandler(const UcnvErrorHandler &);
    UcnvErrorHandler &operator=(const UcnvErrorHandler &);

    void ucnv_set_ok();
    bool ucnv_is_ok() const;
    bool ucnv_is_total_ok() const;
    // More output is pending: the last call filled its output chunk.
    bool has_next() const;
    // Where an ICU call stores its status.
    UErrorCode *ucnv_code() { return &m_code; }
    UErrorCode get_code() const { return m_code; }

private:
    UErrorCode m_code = U_ZERO_ERROR;
};

// A flag that, once set, says the object's work has failed.
class I18N_API Error {
public:
    Error(const Error &);
    Error &operator=(const Error &);

    void set_error();
    bool is_error() const;
    bool is_ok() const;

protected:
    Error();
    ~Error();

private:
    int32_t m_error = 0;
};

// A range of offsets [begin, end); an end of -1 leaves the range open.
class I18N_API BegEnd {
public:
    BegEnd();
    BegEnd(int32_t begin, int32_t end);
    BegEnd(const BegEnd &);
    BegEnd &operator=(const BegEnd &);

    // Moves the range by `n`; an open end stays open.
    void add(int32_t n);
    int32_t size() const;
    int32_t begin() const { return m_begin; }
    int32_t end() const { return m_end; }

private:
    int32_t m_begin = 0;
    int32_t m_end = 0;
};

}  // namespace i18n
