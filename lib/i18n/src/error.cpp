// The support classes that carry error state and ranges through a conversion.
#include "i18n/error.h"

namespace i18n {

UcnvErrorHandler::UcnvErrorHandler() = default;
UcnvErrorHandler::UcnvErrorHandler(const UcnvErrorHandler &) = default;
UcnvErrorHandler &UcnvErrorHandler::operator=(const UcnvErrorHandler &) = default;

void UcnvErrorHandler::ucnv_set_ok() { m_code = U_ZERO_ERROR; }
// A warning, or a full output chunk, is not a failure.
bool UcnvErrorHandler::ucnv_is_ok() const { return m_code <= U_ZERO_ERROR || m_code == U_BUFFER_OVERFLOW_ERROR; }
bool UcnvErrorHandler::ucnv_is_total_ok() const { return m_code <= U_ZERO_ERROR; }
bool UcnvErrorHandler::has_next() const { return m_code == U_BUFFER_OVERFLOW_ERROR; }

Error::Error() = default;
Error::Error(const Error &) = default;
Error &Error::operator=(const Error &) = default;
Error::~Error() = default;

void Error::set_error() { m_error = 1; }
bool Error::is_error() const { return m_error != 0; }
bool Error::is_ok() const { return m_error == 0; }

BegEnd::BegEnd() = default;
BegEnd::BegEnd(int32_t begin, int32_t end) : m_begin(begin), m_end(end) {}
BegEnd::BegEnd(const BegEnd &) = default;
BegEnd &BegEnd::operator=(const BegEnd &) = default;

void BegEnd::add(int32_t n) {
    m_begin += n;
    if (m_end != -1) m_end += n;
}

int32_t BegEnd::size() const { return m_end - m_begin; }

}  // namespace i18n
