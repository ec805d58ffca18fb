/* libquarnks: the services that libquarni18n takes from its sibling library:
 * catalogued message printing, assertion reports and string-keyed tables. */
#ifndef QUARN_KS_H
#define QUARN_KS_H

#include <stdint.h>

#if defined(QUARN_KS_BUILD)
#define KS_API __attribute__((visibility("default")))
#else
#define KS_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A message catalogue: printf formats addressed by a 0-based index. */
typedef struct imsg_table {
    const char *facility;         /* e.g. "i18n_lib" */
    const char *short_name;       /* prefix of every printed line, e.g. "i18n" */
    uint16_t catalogue_number;
    uint16_t message_count;
    const char *const *texts;     /* message_count printf formats */
    const uint16_t *numbers;      /* message_count message numbers */
} imsg_table_t;

/* Prints message `index` of `table`, formatted with the arguments that follow,
 * as one line on standard error. Returns the number of bytes written, or -1. */
KS_API int imsg_print(int kind, const imsg_table_t *table, int index, ...);

/* Reports a violated invariant on standard error and returns. */
KS_API void pfm_assert_fail(const char *expression, const char *file, int line);

/* String-keyed tables of pointer-sized slots. Keys are copied on entry; a
 * slot's address stays the same for the life of the table. */
typedef struct hash_str_table *hash_str_t;

KS_API hash_str_t hash_str_create(int size_hint, int unused_a, int unused_b);
/* Non-zero when `key` is present; *slot then addresses its value. */
KS_API int hash_str_lookup(hash_str_t table, const char *key, void **aux, void ***slot);
/* Makes `key` present and returns its slot's address through *slot (1 when new). */
KS_API int hash_str_enter(hash_str_t table, const char *key, void **aux, void ***slot);

#ifdef __cplusplus
}
#endif

#endif
