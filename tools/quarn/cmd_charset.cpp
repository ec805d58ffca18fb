// quarn charset list | name CS: the charsets ICU offers with the names the
// library publishes for them, and what the library makes of one name.
#include <cstdio>
#include <string>
#include <unicode/ucnv.h>

#include "commands.h"
#include "i18n.h"

namespace quarn::tool {
namespace {

void run_list() {
    i18n_charset_t *all = i18n_charset_open_all();
    int32_t count = ucnv_countAvailable();
    for (int32_t i = 0; i < count; ++i)
        std::printf("%s\t%s\n", ucnv_getAvailableName(i), all[i] ? i18n_charset_get_name(all[i]) : "-");
}

void run_name(const std::string &name) {
    i18n_charset_t charset = i18n_charset_open(name.c_str());
    if (!charset) fail(1, "unknown charset: " + name);
    char *normalised = i18n_mime_transform_charset_name(name.c_str());
    const char *body = i18n_mime_get_body_to_charset_name(name.c_str());
    const char *header = i18n_mime_get_header_to_charset_name(name.c_str());
    std::printf("name: %s\nnormalised: %s\nbody target: %s\nheader target: %s\n", i18n_charset_get_name(charset),
                normalised, body ? body : "-", header ? header : "-");
    i18n_mime_free(normalised);
}

}  // namespace

void add_charset_command(CLI::App &app) {
    auto *charset = app.add_subcommand("charset", "The charsets of the charset library");
    charset->require_subcommand(1);
    charset->add_subcommand("list", "Every charset ICU offers: its ICU name, a TAB, and its published name")
        ->callback(run_list);
    auto *name = charset->add_subcommand(
        "name", "The published name of a charset, its normalised form and its MIME target charsets");
    static std::string text;
    name->add_option("CS", text, "A charset name or alias")->required();
    name->callback([] { run_name(text); });
}

}  // namespace quarn::tool
