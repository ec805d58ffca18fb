// The MIME transfer encoders: quoted-printable and Base64, for bodies and for
// header encoded words, with the two tables that say which bytes quoted-printable
// must escape.
#pragma once

#include <cstdint>
#include <string_view>

#include "i18n.h"
#include "i18n/chunk.h"
#include "i18n/line_cycle.h"
#include "i18n/string_buffer.h"

namespace i18n_mime {

// The display name of an encoding kind ("None", "Quoted Printable", "Base64").
I18N_API const char *get_encoding_str(i18n_mime_encoding_t type);

// 256 entries, 1 where quoted-printable writes the byte as =XX.
class I18N_API QPEncodingTable {
public:
    // Attaches to `table`, building its common part first unless `built`.
    QPEncodingTable(unsigned char *table, bool built);
    QPEncodingTable(const QPEncodingTable &);
    QPEncodingTable &operator=(const QPEncodingTable &);
    virtual ~QPEncodingTable();

    bool should_encode(unsigned char c) const { return m_table[c] != 0; }
    void set_encode_char(unsigned char c) { m_table[c] = 1; }
    void set_encode_chars(const char *chars);
    size_t get_number_qp_encoded_bytes(std::string_view text) const;
    size_t get_byte_size_qp_encoded_str(std::string_view text) const;
    const unsigned char *data() const { return m_table; }

private:
    unsigned char *m_table;
};

// The process-wide table for bodies.
class I18N_API QPBodyEncodingTable : public QPEncodingTable {
public:
    QPBodyEncodingTable();
    QPBodyEncodingTable(const QPBodyEncodingTable &);
    QPBodyEncodingTable &operator=(const QPBodyEncodingTable &);
    ~QPBodyEncodingTable() override;
};

// The process-wide table for headers: the body's, plus space, TAB, "_" and "?".
class I18N_API QPHeaderEncodingTable : public QPEncodingTable {
public:
    QPHeaderEncodingTable();
    QPHeaderEncodingTable(const QPHeaderEncodingTable &);
    QPHeaderEncodingTable &operator=(const QPHeaderEncodingTable &);
    ~QPHeaderEncodingTable() override;
};

class I18N_API GenericEncoder {
public:
    // `charset` is the target name written into encoded words; it must outlive the encoder.
    explicit GenericEncoder(const char *charset);
    GenericEncoder(const GenericEncoder &);
    GenericEncoder &operator=(const GenericEncoder &);
    virtual ~GenericEncoder();

    // Encodes the iterator's current chunk into `out`.
    virtual void encode(i18n::CharsetToCharsetIterPrototype &iter, i18n::StringBuffer<char> &out) = 0;
    // The most converted bytes one chunk may carry; -1 for no limit.
    virtual int32_t get_limit_byte_size() const;
    // Writes what the end of the text needs.
    virtual void complete(i18n::StringBuffer<char> &out);
    virtual i18n_mime_encoding_t get_encoding_type() const = 0;
    // At least the bytes this encoder writes for a text of `input_bytes` bytes
    // that it is given unconverted; 0 when it cannot tell.
    virtual size_t get_output_bound(size_t input_bytes) const;

    const char *get_charset() const { return m_charset; }
    // For an owner that keeps the charset name and copies it with itself.
    void rebind_charset(const char *charset) { m_charset = charset; }

protected:
    void set_ptrs(std::string_view chunk) {
        m_cur = chunk.data();
        m_end = chunk.data() + chunk.size();
    }

    const char *m_charset;
    const char *m_cur = nullptr;
    const char *m_end = nullptr;
};

class I18N_API QPBodyEncoder : public GenericEncoder {
public:
    explicit QPBodyEncoder(const char *charset);
    QPBodyEncoder(const QPBodyEncoder &);
    QPBodyEncoder &operator=(const QPBodyEncoder &);
    ~QPBodyEncoder() override;
    void encode(i18n::CharsetToCharsetIterPrototype &iter, i18n::StringBuffer<char> &out) override;
    void complete(i18n::StringBuffer<char> &out) override;
    i18n_mime_encoding_t get_encoding_type() const override { return I18N_MIME_QP; }

private:
    QPBodyEncodingTable m_table;
    i18n::LineCycle m_cycle;
};

class I18N_API QPHeaderEncoder : public GenericEncoder {
public:
    explicit QPHeaderEncoder(const char *charset);
    QPHeaderEncoder(const QPHeaderEncoder &);
    QPHeaderEncoder &operator=(const QPHeaderEncoder &);
    ~QPHeaderEncoder() override;
    void encode(i18n::CharsetToCharsetIterPrototype &iter, i18n::StringBuffer<char> &out) override;
    // One word per chunk for a stateful charset, or -1.
    int32_t get_limit_byte_size() const override;
    void complete(i18n::StringBuffer<char> &out) override;
    i18n_mime_encoding_t get_encoding_type() const override { return I18N_MIME_QP; }

private:
    void encode_word(i18n::StringBuffer<char> &out);

    QPHeaderEncodingTable m_table;
    HeaderLineCycle m_cycle;
    // A stateful charset's words must each start from its initial state, so
    // every chunk, which the iterator converts that way, becomes one word.
    bool m_word_per_chunk;
};

class I18N_API B64BodyEncoder : public GenericEncoder {
public:
    explicit B64BodyEncoder(const char *charset);
    B64BodyEncoder(const B64BodyEncoder &);
    B64BodyEncoder &operator=(const B64BodyEncoder &);
    ~B64BodyEncoder() override;
    void encode(i18n::CharsetToCharsetIterPrototype &iter, i18n::StringBuffer<char> &out) override;
    void complete(i18n::StringBuffer<char> &out) override;
    i18n_mime_encoding_t get_encoding_type() const override { return I18N_MIME_B64; }
    size_t get_output_bound(size_t input_bytes) const override;

private:
    i18n::LineCycle m_cycle;
    unsigned char m_carry[2] = {};
    int32_t m_carry_count = 0;
};

class I18N_API B64HeaderEncoder : public GenericEncoder {
public:
    explicit B64HeaderEncoder(const char *charset);
    B64HeaderEncoder(const B64HeaderEncoder &);
    B64HeaderEncoder &operator=(const B64HeaderEncoder &);
    ~B64HeaderEncoder() override;
    void encode(i18n::CharsetToCharsetIterPrototype &iter, i18n::StringBuffer<char> &out) override;
    int32_t get_limit_byte_size() const override;
    i18n_mime_encoding_t get_encoding_type() const override { return I18N_MIME_B64; }

private:
    HeaderLineCycle m_cycle;
};

}  // namespace i18n_mime
