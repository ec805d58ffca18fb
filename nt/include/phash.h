/*
 * phash.h: persistent hash tables.  A table of fixed-size keys and values
 * lives in a sub-area of a shared memory area (shmem.h), so that every
 * process that creates it with the same UUID works on the same entries.
 * Tables are caches: a table left half-changed by a process that died is
 * emptied by the next one.  Functions return 1 for success and 0 for failure
 * unless said otherwise.  Usable from C and C++.
 */
#ifndef QUARN_PHASH_H
#define QUARN_PHASH_H

#include "ntexport.h"
#include "ntwintypes.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct phash_table phash_table; /* valid in one process */

typedef unsigned int (*phash_hash_fn)(const void *key);
/* Non-zero when the looked-up key equals the stored one. */
typedef int (*phash_keycmp_fn)(const void *lookup_key, const void *stored_key);

#define PHASH_FLAG_GLOBAL 0x1u   /* in the global area, else the private one */
#define PHASH_FLAG_NO_FLUSH 0x2u /* left alone by the flush functions */

/* Opens or creates the table `uuid`; keys and values are passed by address,
 * keys always in buffers of the full key size. */
NT_API int phash_create(const GUID *uuid, unsigned int capacity, unsigned int key_size, unsigned int value_size,
                        phash_hash_fn hash, phash_keycmp_fn keycmp, const char *name, unsigned int flags,
                        phash_table **table_out);
/* 1 when found and *size was at least the value size; *size becomes the value size. */
NT_API int phash_lookup(phash_table *table, const void *key, void *value, unsigned int *size);
/* Stores or replaces; the rest of the value field is zeroed.  0 when full. */
NT_API int phash_enter(phash_table *table, const void *key, const void *value, unsigned int length);
NT_API int phash_delete(phash_table *table, const void *key);
/* Scans in entry order: start with *cursor null; 0 (and *cursor null) at the end. */
NT_API int phash_next(phash_table *table, unsigned int **cursor, void *key, unsigned int key_size, void *value,
                      unsigned int value_size);
NT_API void phash_term_scan(unsigned int **cursor);
NT_API int phash_close(phash_table *table);
/* Holds the table's area lock around several calls (recursive for the thread). */
NT_API int phash_lock(phash_table *table);
NT_API int phash_unlock(phash_table *table);
/* Empty every table of the area, except those with PHASH_FLAG_NO_FLUSH. */
NT_API int phash_flush_global_tables(void);
NT_API int phash_flush_private_tables(void);
/* Both areas' statistics and their tables' counters on standard output. */
NT_API void phash_display_stats(void);

NT_API unsigned int phash_int_hash_fn(const void *key);
NT_API unsigned int phash_str_hash_fn(const void *key);
NT_API unsigned int phash_sid_hash_fn(const void *key);
NT_API int phash_int_keycmp_fn(const void *lookup_key, const void *stored_key);
NT_API int phash_str_keycmp_fn(const void *lookup_key, const void *stored_key);
NT_API int phash_sid_keycmp_fn(const void *lookup_key, const void *stored_key);

#ifdef __cplusplus
}
#endif

#endif /* QUARN_PHASH_H */
