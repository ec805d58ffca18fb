/*
 * shmem.h: shared memory areas.  An area is a file under the product's
 * host-data directory that every process of the machine (the global area) or
 * of one user (the private area) maps at once, divided into sub-areas that
 * are named by a UUID and allocated once, in order.  A cross-process mutex
 * guards each area.  Functions return 1 for success and 0 for failure
 * unless said otherwise.  Usable from C and C++.
 */
#ifndef QUARN_SHMEM_H
#define QUARN_SHMEM_H

#include "ntexport.h"
#include "ntwintypes.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct shmem_area shmem_area;       /* valid in one process */
typedef struct shmem_subarea shmem_subarea; /* owned by its caller */

/* Attaches the global area (global non-zero) or the calling user's private
 * area; a LocalSystem process always gets the global one.  `reserved` is 0. */
NT_API int shmem_create_area(int reserved, int global, shmem_area **area_out);
/* Detaches; 1 if the area was attached. */
NT_API int shmem_free_area(shmem_area *area);
/* Stamps the area's last update and writes the whole area back to its file. */
NT_API void shmem_commit_area(shmem_area *area);
/* The area's cross-process mutex: recursive for its thread, waits at most 30 s. */
NT_API int shmem_lock_area_mutex(shmem_area *area);
NT_API int shmem_unlock_area_mutex(shmem_area *area);
/* 1 for a read-only area (the debugging copy), a null or a detached one. */
NT_API int shmem_is_area_readonly(shmem_area *area);

/* Finds or allocates the sub-area `uuid` of `size` bytes (rounded up to 8);
 * a null area means the private area. */
NT_API int shmem_create_subarea(shmem_area *area, unsigned int size, const GUID *uuid,
                                shmem_subarea **subarea_out);
/* Frees the handle; the sub-area stays in the area. */
NT_API int shmem_free_subarea(shmem_subarea *subarea);
NT_API void *shmem_get_subarea_addr(shmem_subarea *subarea);
NT_API unsigned int shmem_get_subarea_size(shmem_subarea *subarea);
/* Stamps the area's last update, without writing it back. */
NT_API void shmem_commit_subarea(shmem_subarea *subarea);
NT_API int shmem_lock_mutex(shmem_subarea *subarea);
NT_API int shmem_unlock_mutex(shmem_subarea *subarea);

/* Walks the sub-areas: start with *cursor 0 and hold the area's mutex.
 * 1 with the next one's address and size, else 0 with *cursor -1. */
NT_API int shmem_walk_subarea_info(shmem_area *area, int *cursor, void **address, unsigned int *size);

#ifdef __cplusplus
}
#endif

#endif /* QUARN_SHMEM_H */
