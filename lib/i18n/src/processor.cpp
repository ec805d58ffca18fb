// The processor base and the duplicator that runs one over a text, giving back
// a copy of the text whenever encoding cannot be done.
#include <climits>
#include <cstring>

#include "i18n/processors.h"

namespace i18n_mime {

bool is_utf8_name(const char *name) {
    static constexpr char kUtf8[] = "utf-8";
    for (size_t i = 0; i < sizeof kUtf8; ++i) {
        char c = name[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kUtf8[i]) return false;
    }
    return true;
}

Processor::Processor() : m_out(256) {}
Processor::~Processor() = default;
Processor::Processor(const Processor &) = default;
Processor &Processor::operator=(const Processor &) = default;

char *Processor::take_result() { return is_error() ? nullptr : m_out.take_str(nullptr); }

}  // namespace i18n_mime

Duplicator::Duplicator(i18n_mime::Processor *processor) : m_processor(processor) {}

Duplicator::Duplicator(const Duplicator &other)
    : m_processor(other.m_processor ? other.m_processor->clone() : nullptr) {}

Duplicator &Duplicator::operator=(const Duplicator &other) {
    if (this != &other) m_processor.reset(other.m_processor ? other.m_processor->clone() : nullptr);
    return *this;
}

Duplicator::~Duplicator() = default;

void Duplicator::set_processor(i18n_mime::Processor *processor) { m_processor.reset(processor); }

char *Duplicator::encode(const char *text) {
    if (!text) return nullptr;
    size_t length = std::strlen(text);
    if (m_processor && length <= INT32_MAX) {
        // The text outlives the processor's work: it is read in place.
        m_processor->set_in_view(text, static_cast<int32_t>(length));
        m_processor->process();
        if (char *result = m_processor->take_result()) return result;
    }
    char *copy = new char[length + 1];
    std::memcpy(copy, text, length + 1);
    return copy;
}
