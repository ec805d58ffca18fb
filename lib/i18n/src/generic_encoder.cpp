// The encoder base and the display names of the encoding kinds.
#include "i18n/encoders.h"

namespace i18n_mime {

const char *get_encoding_str(i18n_mime_encoding_t type) {
    switch (type) {
    case I18N_MIME_NONE:
        return "None";
    case I18N_MIME_QP:
        return "Quoted Printable";
    case I18N_MIME_B64:
        return "Base64";
    default:
        return "\"Error: No such encoding\"";
    }
}

GenericEncoder::GenericEncoder(const char *charset) : m_charset(charset) {}
GenericEncoder::~GenericEncoder() = default;
GenericEncoder::GenericEncoder(const GenericEncoder &) = default;
GenericEncoder &GenericEncoder::operator=(const GenericEncoder &) = default;
int32_t GenericEncoder::get_limit_byte_size() const { return -1; }
void GenericEncoder::complete(i18n::StringBuffer<char> &) {}
size_t GenericEncoder::get_output_bound(size_t) const { return 0; }

}  // namespace i18n_mime
