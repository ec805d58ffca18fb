// MIME processors: a conversion iterator and an encoder put together, the
// choice between quoted-printable and Base64, the target charset finders, and
// the duplicators that give back a copy of the text whenever encoding fails.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "i18n.h"
#include "i18n/charset_iter.h"
#include "i18n/encoders.h"
#include "i18n/error.h"
#include "i18n/string_buffer.h"
#include "ks.h"

namespace i18n_mime {

class I18N_API Processor : public i18n::InStrSetter<char>, public i18n::Error {
public:
    Processor();
    Processor(const Processor &);
    Processor &operator=(const Processor &);
    ~Processor() override;

    virtual void process() = 0;
    virtual Processor *clone() const = 0;
    // The encoded text as a new NUL-terminated string (delete[]); NULL after a
    // failure. The output buffer is left empty.
    char *take_result();

protected:
    i18n::StringBuffer<char> m_out;
};

using HeaderIter = i18n::CharsetToCharsetChunkIter<i18n::FromUnicodeFullCharIter>;
using BodyIter = i18n::CharsetToCharsetChunkIter<i18n::FromUnicodeIter>;

// Whether ICU takes `name` for UTF-8 as it is written ("UTF-8" in any case).
I18N_API bool is_utf8_name(const char *name);

// Feeds a text through a conversion iterator into an encoder.
template <class Iter>
class ConverterEncoder : public Processor {
public:
    static constexpr int32_t kChunkSize = 256;

    // Equal names with `allow_pass_through` skip conversion and open no
    // converter, so a charset ICU does not know still goes out under its label.
    ConverterEncoder(const char *from, const char *to, bool allow_pass_through, int32_t chunk_size = kChunkSize) {
        if (!from || !to) {
            set_error();
            return;
        }
        if (allow_pass_through && std::strcmp(from, to) == 0) {
            m_pass.emplace(chunk_size);
        } else if (std::is_same_v<Iter, HeaderIter> && chunk_size <= i18n::Utf8HeaderIter::kMaxChunk &&
                   is_utf8_name(from) && is_utf8_name(to)) {
            m_utf8.emplace(chunk_size / 3 + 1, chunk_size);
        } else {
            m_convert.emplace(from, to, chunk_size / 3 + 1, chunk_size);
            if (m_convert->is_error()) set_error();
        }
    }

    void set_in_str(const char *text, int32_t length) override {
        if (i18n::CharsetToCharsetIterPrototype *iter = get_iter()) iter->set_in_str(text, length);
    }
    void set_in_view(const char *text, int32_t length) override {
        if (i18n::CharsetToCharsetIterPrototype *iter = get_iter()) iter->set_in_view(text, length);
    }

    void process() override {
        if (is_error()) return;
        i18n::CharsetToCharsetIterPrototype *iter = get_iter();
        GenericEncoder *encoder = get_encoder();
        if (!iter || !encoder) {
            set_error();
            return;
        }
        int32_t limit = encoder->get_limit_byte_size();
        if (limit != -1) {
            // A line too short for a character cannot carry a header word.
            if (limit < kMinChunkLimit) {
                set_error();
                return;
            }
            iter->set_chunk_limit(limit);
        }
        // A passed-through text of known length whose encoded size the encoder
        // can bound is written straight into the array that becomes the result.
        if (m_pass)
            if (size_t bound = encoder->get_output_bound(m_pass->get_input_size())) m_out.reserve(bound);
        do {
            iter->next();
            if (iter->is_error()) {
                set_error();
                return;
            }
            encoder->encode(*iter, m_out);
        } while (iter->has_more());
        encoder->complete(m_out);
    }

    i18n::CharsetToCharsetIterPrototype *get_iter() {
        if (m_pass) return &*m_pass;
        if (m_utf8) return &*m_utf8;
        if (m_convert) return &*m_convert;
        return nullptr;
    }
    virtual GenericEncoder *get_encoder() = 0;

private:
    static constexpr int32_t kMinChunkLimit = 4;

    std::optional<i18n::TrivialIter> m_pass;
    std::optional<i18n::Utf8HeaderIter> m_utf8;  // headers from UTF-8 to UTF-8
    std::optional<Iter> m_convert;
};

template <class Iter, class Encoder>
class ConcreteConverterEncoder : public ConverterEncoder<Iter> {
public:
    ConcreteConverterEncoder(const char *from, const char *to, bool allow_pass_through)
        : ConverterEncoder<Iter>(from, to, allow_pass_through) {
        if (to) m_encoder.emplace(to);
    }
    GenericEncoder *get_encoder() override { return m_encoder ? &*m_encoder : nullptr; }
    Processor *clone() const override { return new ConcreteConverterEncoder(*this); }

private:
    std::optional<Encoder> m_encoder;
};


// Headers are always converted, so that every encoded word holds whole characters.
template <class Encoder>
class HeaderConverterEncoder : public ConcreteConverterEncoder<HeaderIter, Encoder> {
public:
    HeaderConverterEncoder(const char *from, const char *to)
        : ConcreteConverterEncoder<HeaderIter, Encoder>(from, to, false) {}
    Processor *clone() const override { return new HeaderConverterEncoder(*this); }
};

template <class Encoder>
class BodyConverterEncoder : public ConcreteConverterEncoder<BodyIter, Encoder> {
public:
    BodyConverterEncoder(const char *from, const char *to)
        : ConcreteConverterEncoder<BodyIter, Encoder>(from, to, true) {}
    Processor *clone() const override { return new BodyConverterEncoder(*this); }
};

// Chooses quoted-printable when the share of bytes it must escape is below the
// ratio, Base64 otherwise (also for an empty text).
template <class Iter, class Table, class QPEncoder, class B64Encoder>
class ConverterEncoderChooser : public ConverterEncoder<Iter> {
public:
    ConverterEncoderChooser(const char *from, const char *to, double ratio, bool allow_pass_through)
        : ConverterEncoder<Iter>(from, to, allow_pass_through), m_ratio(ratio), m_to(to ? to : "") {}
    ConverterEncoderChooser(const ConverterEncoderChooser &other)
        : ConverterEncoder<Iter>(other), m_table(other.m_table), m_ratio(other.m_ratio), m_to(other.m_to),
          m_qp(other.m_qp), m_b64(other.m_b64) {
        rebind();
    }
    ConverterEncoderChooser &operator=(const ConverterEncoderChooser &other) {
        if (this != &other) {
            ConverterEncoder<Iter>::operator=(other);
            m_table = other.m_table;
            m_ratio = other.m_ratio;
            m_to = other.m_to;
            m_qp = other.m_qp;
            m_b64 = other.m_b64;
            rebind();
        }
        return *this;
    }

    void set_in_str(const char *text, int32_t length) override {
        if (this->is_error()) return;
        ConverterEncoder<Iter>::set_in_str(text, length);
        choose(text, length);
    }
    void set_in_view(const char *text, int32_t length) override {
        if (this->is_error()) return;
        ConverterEncoder<Iter>::set_in_view(text, length);
        choose(text, length);
    }
    GenericEncoder *get_encoder() override {
        if (m_qp) return &*m_qp;
        if (m_b64) return &*m_b64;
        return nullptr;
    }
    Processor *clone() const override { return new ConverterEncoderChooser(*this); }
    // The kind of the chosen encoder; I18N_MIME_NONE before one is chosen.
    i18n_mime_encoding_t get_encoding_type() const {
        if (m_qp) return m_qp->get_encoding_type();
        if (m_b64) return m_b64->get_encoding_type();
        return I18N_MIME_NONE;
    }

private:
    void choose(const char *text, int32_t length) {
        size_t escaped = m_table.get_number_qp_encoded_bytes({text, static_cast<size_t>(length)});
        if (length > 0 && static_cast<double>(escaped) / length < m_ratio)
            m_qp.emplace(m_to.c_str());
        else
            m_b64.emplace(m_to.c_str());
    }
    void rebind() {
        if (m_qp) m_qp->rebind_charset(m_to.c_str());
        if (m_b64) m_b64->rebind_charset(m_to.c_str());
    }

    Table m_table;
    double m_ratio;
    std::string m_to;
    std::optional<QPEncoder> m_qp;
    std::optional<B64Encoder> m_b64;
};

class HeaderConverterEncoderChooser
    : public ConverterEncoderChooser<HeaderIter, QPHeaderEncodingTable, QPHeaderEncoder, B64HeaderEncoder> {
public:
    HeaderConverterEncoderChooser(const char *from, const char *to, double ratio)
        : ConverterEncoderChooser(from, to, ratio, false) {}
    Processor *clone() const override { return new HeaderConverterEncoderChooser(*this); }
};

class BodyConverterEncoderChooser
    : public ConverterEncoderChooser<BodyIter, QPBodyEncodingTable, QPBodyEncoder, B64BodyEncoder> {
public:
    BodyConverterEncoderChooser(const char *from, const char *to, double ratio)
        : ConverterEncoderChooser(from, to, ratio, true) {}
    Processor *clone() const override { return new BodyConverterEncoderChooser(*this); }
};

// The target tables: the charset a body or header in a given charset goes out in.
I18N_API hash_str_t get_body_target_table();
I18N_API hash_str_t get_header_target_table();
// The table's target for `name` after normalisation, or NULL.
I18N_API const char *find_target_charset(hash_str_t table, const char *name);

}  // namespace i18n_mime

// Finds the target charset for a source charset (the platform default when none is given).
class I18N_API CharsetFinder {
public:
    CharsetFinder(const CharsetFinder &) = default;
    CharsetFinder &operator=(const CharsetFinder &) = default;
    virtual ~CharsetFinder();

    const char *get_from_name() const { return m_from.c_str(); }
    // The target table that the finder looked in.
    hash_str_t get_table() const { return m_table; }
    // The table's target name, or NULL.
    const char *get_to_name() const { return m_to; }

protected:
    CharsetFinder(const char *from, hash_str_t table);

private:
    std::string m_from;
    hash_str_t m_table;
    const char *m_to;
};

class I18N_API BodyCharsetFinder : public CharsetFinder {
public:
    explicit BodyCharsetFinder(const char *from = nullptr);
};

class I18N_API HeaderCharsetFinder : public CharsetFinder {
public:
    explicit HeaderCharsetFinder(const char *from = nullptr);
};

// Runs one processor over a text; gives back a copy of the text whenever there
// is no processor or it fails.
class I18N_API Duplicator {
public:
    explicit Duplicator(i18n_mime::Processor *processor = nullptr);
    Duplicator(const Duplicator &other);
    Duplicator &operator=(const Duplicator &other);
    virtual ~Duplicator();

    // A new string (delete[]); NULL only when `text` is NULL.
    char *encode(const char *text);

protected:
    void set_processor(i18n_mime::Processor *processor);
    i18n_mime::Processor *get_processor() const { return m_processor.get(); }

private:
    std::unique_ptr<i18n_mime::Processor> m_processor;
};

template <class ConverterEncoderType>
class PlainConverterEncoder : public Duplicator {
public:
    PlainConverterEncoder(const char *from, const char *to) : Duplicator(new ConverterEncoderType(from, to)) {}
};

// Encodes from the platform default charset into the finder's target, if it has one.
template <class ConverterEncoderType, class Finder>
class EasyEncoder : public Duplicator {
public:
    EasyEncoder() : m_finder(nullptr) {
        if (m_finder.get_to_name())
            set_processor(new ConverterEncoderType(m_finder.get_from_name(), m_finder.get_to_name()));
    }

private:
    Finder m_finder;
};

// Chooses the encoding per text; the target is the caller's, else the finder's.
template <class Chooser, class Finder>
class PlainEncoderChooser : public Duplicator {
public:
    PlainEncoderChooser(const char *from, const char *to, double ratio, i18n_mime_encoding_t *kind)
        : m_finder(from), m_kind(kind), m_to(to ? to : m_finder.get_to_name()) {
        if (m_to) set_processor(new Chooser(m_finder.get_from_name(), m_to, ratio));
    }

    char *encode(const char *text) {
        char *result = Duplicator::encode(text);
        if (m_kind) *m_kind = get_chooser() ? get_chooser()->get_encoding_type() : I18N_MIME_NONE;
        return result;
    }
    // The target charset used, or NULL.
    const char *get_to_name() const { return m_to; }

private:
    Chooser *get_chooser() const { return static_cast<Chooser *>(get_processor()); }

    Finder m_finder;
    i18n_mime_encoding_t *m_kind;
    const char *m_to;
};
