/* libquarni18n, the C function interface: charset handles, iconv-style
 * conversion and MIME encoding of mail headers and bodies. */
#ifndef QUARN_I18N_H
#define QUARN_I18N_H

#include <stddef.h>
#include <stdint.h>

#if defined(QUARN_I18N_BUILD)
#define I18N_API __attribute__((visibility("default")))
#else
#define I18N_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Charset handles: owned by the library for the life of the process. ---- */
typedef struct i18n_charset *i18n_charset_t;

enum {
    I18N_CHARSET_DEFAULT = 0, /* the platform default charset */
    I18N_CHARSET_UTF8 = 1,
    I18N_CHARSET_UTF16 = 2,   /* platform-endian UTF-16 */
    I18N_CHARSET_UTF32 = 3    /* platform-endian UTF-32 */
};

I18N_API i18n_charset_t i18n_charset_open(const char *name);
/* NULL-terminated, one entry per converter that ICU lists (NULL where it cannot be opened). */
I18N_API i18n_charset_t *i18n_charset_open_all(void);
I18N_API i18n_charset_t i18n_charset_open_special(int kind);
I18N_API const char *i18n_charset_get_name(i18n_charset_t charset);

/* ---- Iconv handles: private converter pairs, owned by the caller. ---- */
typedef struct i18n_iconv_handle *i18n_iconv_t;

I18N_API i18n_iconv_t i18n_iconv_open(i18n_charset_t to, i18n_charset_t from);
I18N_API void i18n_iconv_reset(i18n_iconv_t cd);
I18N_API void i18n_iconv_close(i18n_iconv_t cd);
/* Kept for source compatibility with iconv(3)-style callers: reads none of its
 * arguments, converts nothing and returns 1. Use i18n_iconv_easy(_ex). */
I18N_API int i18n_iconv(i18n_iconv_t cd, char **in, size_t *in_left, char **out, size_t *out_left);
/* Kept for source compatibility: reads none of its arguments, detects nothing
 * and returns 0. */
I18N_API int i18n_iconv_detect_codeset(const char *text, size_t length, const char **codeset);

/* One-shot conversion. Returns `out` or a new buffer (free with i18n_iconv_free),
 * NULL on failure; *out_len is the capacity of `out` on entry, bytes written after. */
I18N_API char *i18n_iconv_easy(i18n_charset_t from, const char *in, size_t in_len, i18n_charset_t to,
                               char *out, size_t *out_len);

enum {
    I18N_ICONV_OK = 0,
    I18N_ICONV_TRUNCATED = -1,   /* the input ends inside a character */
    I18N_ICONV_NO_ROOM = -2,     /* the output buffer is too small */
    I18N_ICONV_MALFORMED = -3,   /* the input is not text in its charset */
    I18N_ICONV_UNMAPPABLE = -4   /* a character has no mapping in the target charset */
};

/* One-shot conversion with a failure code and the input byte position of a failure. */
I18N_API int i18n_iconv_easy_ex(i18n_charset_t from, const char *in, size_t in_len, size_t *fail_pos,
                                i18n_charset_t to, char **out, size_t *out_len);
I18N_API void i18n_iconv_free(char *buffer);

/* ---- The message catalogue (layout: struct imsg_table of ks.h). ---- */
struct imsg_table;
I18N_API const struct imsg_table *_i18n_i18n_msg_table_adr(void);

/* ---- MIME encoding. Every result is a new string: free with i18n_mime_free. ---- */
typedef enum i18n_mime_encoding {
    I18N_MIME_NONE = 0,
    I18N_MIME_QP = 1,
    I18N_MIME_B64 = 2
} i18n_mime_encoding_t;

I18N_API char *i18n_mime_encode_header_qp(const char *text, const char *from, const char *to);
I18N_API char *i18n_mime_encode_header_b64(const char *text, const char *from, const char *to);
I18N_API char *i18n_mime_encode_qp(const char *text, const char *from, const char *to);
I18N_API char *i18n_mime_encode_b64(const char *text, const char *from, const char *to);
I18N_API char *i18n_mime_easy_encode_header_qp(const char *text);
I18N_API char *i18n_mime_easy_encode_header_b64(const char *text);
I18N_API char *i18n_mime_encode_header(const char *text, const char *from, const char *to, double ratio);
I18N_API char *i18n_mime_easy_encode_header(const char *text, double ratio);
I18N_API char *i18n_mime_encode(const char *text, const char *from, const char *to, double ratio,
                                i18n_mime_encoding_t *kind, char **to_used);
I18N_API char *i18n_mime_easy_encode(const char *text, double ratio, i18n_mime_encoding_t *kind, char **to_used);
I18N_API void i18n_mime_free(char *text);

/* The target charset that a body or header in charset `name` goes out in, or NULL. */
I18N_API const char *i18n_mime_get_body_to_charset_name(const char *name);
I18N_API const char *i18n_mime_get_header_to_charset_name(const char *name);
/* `name` lowered (ASCII) and without '-': a new string, free with i18n_mime_free. */
I18N_API char *i18n_mime_transform_charset_name(const char *name);

#ifdef __cplusplus
}
#endif

#endif
