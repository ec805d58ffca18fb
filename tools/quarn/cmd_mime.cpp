// quarn mime encode: standard input encoded as a MIME body or header, in
// quoted-printable, Base64, or the form the escape ratio chooses, converted
// from one charset to another on the way.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>
#include <unicode/ucnv.h>

#include "commands.h"
#include "i18n.h"
#include "i18n/processors.h"

namespace quarn::tool {
namespace {

struct MimeOptions {
    bool header = false;
    bool qp = false;
    bool b64 = false;
    double ratio = 0.5;
    bool report = false;  // --ratio was given: say what was chosen
    std::string from;
    std::string to;
};

// Standard input without the one line break that ends it (as echo adds one).
std::string read_text() {
    std::string text{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    if (text.find('\0') != std::string::npos) fail(1, "the text on standard input holds a NUL byte");
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
}

void require_charset(const std::string &name) {
    if (!i18n_charset_open(name.c_str())) fail(2, "unknown charset: " + name);
}

// The library gives back the text unchanged when it cannot convert it; say why instead.
void require_convertible(const std::string &text, const std::string &from, const std::string &to) {
    char *out = nullptr;
    size_t length = 0;
    size_t position = 0;
    int code = i18n_iconv_easy_ex(i18n_charset_open(from.c_str()), text.data(), text.size(), &position,
                                  i18n_charset_open(to.c_str()), &out, &length);
    i18n_iconv_free(out);
    if (code == I18N_ICONV_OK) return;
    std::string why = code == I18N_ICONV_TRUNCATED    ? std::string("the text ends inside a character")
                      : code == I18N_ICONV_UNMAPPABLE ? "a character has no mapping in " + to
                                                      : "the text is not valid " + from;
    fail(1, "cannot convert from " + from + " to " + to + " near byte " + std::to_string(position) + ": " + why);
}

std::string taken(char *encoded) {
    std::string text = encoded ? encoded : "";
    i18n_mime_free(encoded);
    return text;
}

std::string encode(const MimeOptions &options, const std::string &text, const std::string &from,
                   const std::string &to, i18n_mime_encoding_t *kind) {
    const char *t = text.c_str();
    if (options.qp || options.b64) {
        *kind = options.qp ? I18N_MIME_QP : I18N_MIME_B64;
        if (options.header)
            return taken(options.qp ? i18n_mime_encode_header_qp(t, from.c_str(), to.c_str())
                                    : i18n_mime_encode_header_b64(t, from.c_str(), to.c_str()));
        return taken(options.qp ? i18n_mime_encode_qp(t, from.c_str(), to.c_str())
                                : i18n_mime_encode_b64(t, from.c_str(), to.c_str()));
    }
    if (options.header) {
        PlainEncoderChooser<i18n_mime::HeaderConverterEncoderChooser, HeaderCharsetFinder> chooser(
            from.c_str(), to.c_str(), options.ratio, kind);
        return taken(chooser.encode(t));
    }
    return taken(i18n_mime_encode(t, from.c_str(), to.c_str(), options.ratio, kind, nullptr));
}

void run_encode(const MimeOptions &options) {
    std::string from = options.from.empty() ? ucnv_getDefaultName() : options.from;
    require_charset(from);
    std::string to = options.to;
    if (to.empty()) {
        // The target table's charset, else the source charset itself.
        const char *target = options.header ? i18n_mime_get_header_to_charset_name(from.c_str())
                                            : i18n_mime_get_body_to_charset_name(from.c_str());
        to = target ? target : from;
    }
    require_charset(to);
    std::string text = read_text();
    require_convertible(text, from, to);
    i18n_mime_encoding_t kind = I18N_MIME_NONE;
    std::string encoded = encode(options, text, from, to, &kind);
    std::fwrite(encoded.data(), 1, encoded.size(), stdout);
    std::fputc('\n', stdout);
    if (options.report)
        std::fprintf(stderr, "encoding: %s\ntarget: %s\n", i18n_mime::get_encoding_str(kind), to.c_str());
}

}  // namespace

void add_mime_command(CLI::App &app) {
    auto *mime = app.add_subcommand("mime", "Encode text as MIME mail bodies and headers");
    mime->require_subcommand(1);
    auto *encode_command = mime->add_subcommand(
        "encode", "Encode standard input (without its final line break) to standard output");
    static MimeOptions options;
    encode_command->add_flag("--header", options.header, "Encode a header field as RFC 2047 encoded words");
    auto *qp = encode_command->add_flag("--qp", options.qp, "Quoted-printable");
    auto *b64 = encode_command->add_flag("--b64", options.b64, "Base64");
    auto *ratio = encode_command->add_option(
        "--ratio", options.ratio,
        "Choose: quoted-printable when less than this share of the bytes needs escaping, else Base64; "
        "the choice and the target go to standard error (default 0.5, without the report)");
    qp->excludes(b64);
    qp->excludes(ratio);
    b64->excludes(ratio);
    encode_command->add_option("--from", options.from, "Charset of the text (default: the host's)");
    encode_command->add_option("--to", options.to,
                               "Charset to encode in (default: the target table's for the source, else the source)");
    encode_command->callback([ratio] {
        options.report = ratio->count() > 0;
        run_encode(options);
    });
}

}  // namespace quarn::tool
