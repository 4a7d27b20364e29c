/* vstruct.h: structured vectors of the C matrix library: lists of records of one type
 * (MAT 0, VEC 3, IVEC 4, ZVEC 8, ZMAT 9, VECM 11, VECMP 12, VECMW 14, BVEC 15, the record type
 * numbers of meminfo.h). An unpacked list owns one record per item; a packed list (types 0, 3,
 * 4, 8, 9) keeps the elements of all its items, of one shape, one after another in one block,
 * the pack, allocated in memory or, in the out-of-core heap mode (kvelomem_getmode() == 2),
 * in a memory-mapped temporary file that is deleted when the list is freed. The items of a
 * packed list are headers over the pack that own no elements (VEC, ZVEC and matrix items are
 * views); they are changed only through the list operations below, never freed or resized on
 * their own. A packed resize, a store or a reload may move the pack: element addresses taken
 * earlier are then stale.
 * Calling convention of matrix.h; codes 2 index or range, 3 no memory (or a bad heap mode),
 * 7 a type or argument the operation does not serve, 8 NULL list, 20 negative size. Nothing
 * here is thread-safe: the heap mode and the out-of-core units are process-wide. */
#ifndef KVELO_VSTRUCT_H
#define KVELO_VSTRUCT_H

#include "kvelo_export.h"
#include "kvelo_mmap.h"
#include "matrix.h"

typedef struct {
  int dim;           /* items in use */
  int max_dim;       /* item slots (at least 1) */
  int type;          /* record type number of the items */
  void *pack;        /* packed lists: the block of all elements; NULL when unpacked */
  void **items;      /* max_dim slots: item records, or NULL */
  MMAP_HANDLE *unit; /* packed out-of-core lists: the unit of the pack; else NULL */
} VSTRUCT;

KVELO_C_BEGIN

/* An empty unpacked list of dim NULL slots (type stored as given); NULL on failure (20, 3). */
KVELO_API VSTRUCT *_LM_vs_get(const char *caller, int context, int type, int dim, int line,
                              const char *callerName, int *status);
/* An unpacked list of count new items of shape n (vectors; sparse vectors: n with m entries)
 * or n x m (matrices). Code 7 for a type it cannot make. An item that cannot be made leaves
 * its slot NULL and the status -1; the list is still returned. */
KVELO_API VSTRUCT *_LM_vs_get_liste(const char *caller, int context, int line,
                                    const char *callerName, int *status, int type, int count,
                                    int n, int m);
/* A packed list of count zeroed items of shape n or n x m (types 0, 3, 4, 8, 9; others: 7). */
KVELO_API VSTRUCT *_LM_vs_get_liste_pack(const char *caller, int context, int line,
                                         const char *callerName, int *status, int type,
                                         int count, int n, int m);
/* Sets the number of items to dim: new slots are NULL; an unpacked list keeps the items
 * beyond a lower dim in their slots (freed when the list is freed or the slots reopen), a
 * packed list frees their headers. NULL vs gives _LM_vs_get. */
KVELO_API VSTRUCT *_LM_vs_resize(const char *caller, int context, VSTRUCT *vs, int type, int dim,
                                 int line, const char *callerName, int *status);
/* An unpacked list (NULL: new) resized to count items, each made or resized to shape n or
 * n x m through its type's resizer (types 0, 3, 4, 8, 9; 11, 12, 14: code 7; others: items
 * left as they are). NULL when an item cannot be resized. */
KVELO_API VSTRUCT *_LM_vs_resize_liste(const char *caller, int context, int line,
                                       const char *callerName, int *status, VSTRUCT *vs,
                                       int type, int count, int n, int m);
/* A packed list resized to count items of shape n or n x m: each surviving item keeps the
 * values of its old shape that fit the new one (the leading elements of a vector, the common
 * rows and columns of a matrix); new elements and items are 0. Code 8 for NULL, 7 for an
 * unpacked list, 3 (or the out-of-core codes) when the pack cannot grow or be mapped again;
 * on any failure the list is as it was (an out-of-core pack mapped where it was, or still
 * stored). A pack that cannot be cut down once the data are moved merely stays larger: the
 * resize succeeds. */
KVELO_API VSTRUCT *_LM_vs_resize_liste_pack(const char *caller, int context, int line,
                                            const char *callerName, int *status, VSTRUCT *vs,
                                            int count, int n, int m);
/* Releases the mapping of an out-of-core pack, its data staying in the file (code 3 when
 * that fails); nothing for other lists (status 0); status -1 for NULL. Until _LM_vs_reload
 * (or a packed resize, which maps the pack again) the stored list is refused with code 7,
 * nothing read or written, by _LM__vs_copy (as a source) and by every item operation below;
 * _LM_vs_resize, _LM_vs_store, _LM_vs_reload and vs_free take it. */
KVELO_API void _LM_vs_store(VSTRUCT *vs, const char *callerName, const char *caller, int line,
                            int *status);
/* Maps a stored (or mapped) out-of-core pack again and re-points every item; other lists are
 * returned as they are; NULL with status -1 for NULL. */
KVELO_API VSTRUCT *_LM_vs_reload(VSTRUCT *vs, const char *caller, int line, const char *callerName,
                                 int *status);
/* Frees the list, its items (unpacked: every slot up to max_dim) and its pack (deleting an
 * out-of-core data file); 0, or -1 for NULL or a negative dim. */
KVELO_API int vs_free(VSTRUCT *vs);
/* vs_free of *vs and of every further VSTRUCT ** up to a NULL address, each variable set to
 * NULL; returns how many lists were freed. */
KVELO_API int vs_free_vars(VSTRUCT **vs, ...);
/* dst (NULL: new; else an unpacked list of src's type, code 7 otherwise) becomes an unpacked
 * list of copies of src's items first .. end-1 (code 8 NULL src, 2 bad range); an empty slot
 * copies as an empty slot. A failed item copy leaves its slot as it was and the status -1. */
KVELO_API VSTRUCT *_LM__vs_copy(VSTRUCT *src, int first, int end, VSTRUCT *dst, int line,
                                const char *callerName, int *status);

/* Item i becomes v: VEC items take a copy (a packed item must have v's length: code 1),
 * sparse items (11, 12, 14) are replaced by the sparse form of v. Codes 7 (NULL argument or
 * type), 2 (i outside the list). */
KVELO_API void LM_vs_CopyVec(VEC *v, VSTRUCT *vs, int i, const char *callerName, int *status);
/* Item i as a dense vector in out (types 3, 11, 14; others code 7); NULL on failure. */
KVELO_API VEC *LM_vs_XtractVec(VSTRUCT *vs, int i, VEC *out, const char *callerName, int *status);
/* out = v + s * item i (types 3, 11, 12, 14); NULL on failure. */
KVELO_API VEC *LM_vs_v_mltadd(VEC *v, VSTRUCT *vs, int i, double s, VEC *out,
                              const char *callerName, int *status);
/* Inner product of v and item i (types 3, 11, 12, 14); 0.0 on any refusal. */
KVELO_API double LM_vs_in_prod(VEC *v, VSTRUCT *vs, int i, const char *callerName, int *status);
/* Item i scaled in place by s (s = 1: nothing; s = 0 zeroes); types 3, 11, 12, 14; code 7 for
 * a NULL list or item or another type, 2 for i outside the list. */
KVELO_API void LM_vs_sv_mlt(double s, VSTRUCT *vs, int i, const char *callerName, int *status);

KVELO_C_END

#endif
