/* i18n.h from C: a program that opens charsets, converts and encodes. */
#include <stdio.h>
#include <string.h>

#include "i18n.h"

int main(void) {
    i18n_charset_t utf8 = i18n_charset_open("UTF-8");
    i18n_charset_t latin1 = i18n_charset_open("latin1");
    size_t length = 0;
    char *converted = i18n_iconv_easy(latin1, "caf\xe9", 4, utf8, NULL, &length);
    char *encoded = i18n_mime_encode_header_qp("caf\xe9", "ISO-8859-1", "UTF-8");
    i18n_mime_encoding_t kind = I18N_MIME_NONE;
    char *target = NULL;
    char *body = i18n_mime_encode("a=b", "UTF-8", "UTF-8", 0.5, &kind, &target);
    int ok = utf8 && latin1 && strcmp(i18n_charset_get_name(latin1), "ISO-8859-1") == 0 && converted &&
             length == 5 && strcmp(encoded, "=?UTF-8?Q?caf=C3=A9?=") == 0 && strcmp(body, "a=3Db") == 0 &&
             kind == I18N_MIME_QP && strcmp(target, "UTF-8") == 0 && _i18n_i18n_msg_table_adr() != NULL;
    printf("%s %s %s\n", encoded, body, target);
    i18n_iconv_free(converted);
    i18n_mime_free(encoded);
    i18n_mime_free(body);
    i18n_mime_free(target);
    return ok ? 0 : 1;
}
