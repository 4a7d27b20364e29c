/* vmorse.h: the sparse real vectors of the C matrix library. VECM keeps its entries as the
 * nodes of a binary search tree in one growable pool, for building a vector entry by entry;
 * VECMP is the packed read-mostly form (ascending indices beside their values); VECMW keeps
 * the values with a compact index code in which a run of consecutive indices costs two ints.
 * Operations named LM_<op> end with the status pointer alone and report errors under their
 * own name and line; _LM_<op> operations take (callerLine, callerName, status) as usual. The
 * status word and the records are not thread-safe: one thread at a time.
 * The significant entries of a dense vector x are those with |x_i| > 1e-16 * max |x_j| over
 * the finite x_j, and every infinite or NaN entry; conversions, writers and statistics share
 * this one rule. */
#ifndef KVELO_VMORSE_H
#define KVELO_VMORSE_H

#include <stdio.h>

#include "kvelo_export.h"
#include "matrix.h"

/* One stored entry of a VECM: a node of the search tree keyed by index. */
typedef struct VECM_NODE {
  double val;              /* the entry's value */
  int idx;                 /* its index, 0 <= idx < dim */
  struct VECM_NODE *left;  /* smaller indices, or NULL */
  struct VECM_NODE *right; /* larger indices, or NULL */
} VECM_NODE;

/* Sparse vector as a search tree; the stored entries are exactly pool[0 .. nnz-1]. */
typedef struct {
  int dim;         /* valid indices 0 .. dim-1 */
  int max_dim;     /* kept equal to dim */
  int nnz;         /* stored entries */
  int max_nnz;     /* node slots in the pool (at least 1) */
  VECM_NODE *pool; /* owned block of max_nnz nodes */
  VECM_NODE *root; /* the tree's root, NULL when nothing is stored */
} VECM;

/* Packed sparse vector: nnz strictly ascending indices and their values. */
typedef struct {
  int dim;
  int nnz;
  int *idx;    /* owned, room for max(nnz, 1) */
  double *val; /* owned, room for max(nnz, 1) */
} VECMP;

/* Windowed sparse vector. The code lists the stored indices block by block in ascending
 * order: e >= 0 is the single index e; -s followed by L is the run s .. s+L-1; when lead is 1
 * the code starts with 0, L for the run 0 .. L-1. The values follow the indices in order. */
typedef struct {
  int dim;
  int nval;    /* stored values */
  int ncode;   /* ints in code */
  int lead;    /* 1 when the vector starts with a run at index 0 */
  int *code;   /* owned */
  double *val; /* owned, nval values */
} VECMW;

KVELO_C_BEGIN

/* ---------------------------------------------------------------------------------------
 * VECM. Codes: 1 different dimensions, 2 index or pool size out of range, 3 no memory,
 * 8 NULL record, 20 negative dimension.
 * ------------------------------------------------------------------------------------- */

/* New empty VECM of dimension dim with room for max(max_nnz, 1) entries (0 <= max_nnz <= dim);
 * NULL on failure (codes 20, 2, 3). */
KVELO_API VECM *LM_vecm_get(int dim, int max_nnz, int *status);
/* out becomes a copy of in (a new record when out is NULL); returns out, or NULL (codes 8, 3);
 * a failure leaves out as it was. */
KVELO_API VECM *LM_vecm_copy(VECM *in, VECM *out, int *status);
/* Removes every entry of v, keeping its pool; code 8 for NULL. */
KVELO_API void LM_vecm_zero(VECM *v, int *status);
/* Stores x at index (adds it to the stored value when add is non-zero and the index is
 * stored). Returns 0; -1 for an index outside 0 .. dim-1 (no code), a NULL v (code 8) or a
 * pool that cannot grow (code 3, v unchanged). Takes no status and leaves the status word. */
KVELO_API int LM_vecm_addval(VECM *v, int index, double x, int add);
/* The value stored at index, 0.0 when none; 0.0 with code 2 (index out of range) or 8. */
KVELO_API double LM_vecm_getval(VECM *v, int index, int *status);
/* Frees v and its pool: 0, or -1 for NULL. */
KVELO_API int vecm_free(VECM *v);
/* Dense copy of in into out (resized to in's dim, zero elsewhere); returns out or NULL. */
KVELO_API VEC *LM_vecm2vec(VECM *in, VEC *out, int *status);
/* New VECM of the significant entries of in (a chain of right links), or NULL. */
KVELO_API VECM *LM_vec2vecm(VEC *in, int *status);
/* Inner product of a and b; 0.0 with code 8 (NULL) or 1 (different dims). */
KVELO_API double LM_pscal_vecm(VECM *a, VECM *b, int *status);
/* Euclidean norm of v (no overflow or underflow short of the result's own); -1.0 with code 8
 * for NULL. */
KVELO_API double LM_vecm_norm2(VECM *v, int *status);
/* Inner product of the dense a and the sparse b; 0.0 with code 8 or 1. */
KVELO_API double LM_pscal_vvecm(VEC *a, VECM *b, int *status);
/* v := s v (entries stay stored when s is 0); code 8 for NULL. */
KVELO_API void LM_vecm_scal(VECM *v, double s, int *status);
/* out := a + s b (out made or resized as _LM__v_copy does; may be a); NULL on failure. */
KVELO_API VEC *_LM_vvecm_mltadd(VEC *a, VECM *b, double s, VEC *out, int callerLine,
                                const char *callerName, int *status);
/* y := y + s x (nothing when |s| < 1e-14); codes 8, 1; a failed insertion (code 3) is
 * reported and the other entries are still added. */
KVELO_API void LM_vecm_daxpy(VECM *x, double s, VECM *y, int *status);
/* nnz / dim; 0.0 for NULL (status 0) or dim 0 (status -1). */
KVELO_API double vecm_RateCompletion(VECM *v, int *status);
/* Share of the entries with |x_i| > threshold; 0.0 for NULL (status not written) or dim 0
 * (status -1). */
KVELO_API double v_RateCompletion(VEC *v, double threshold, int *status);
/* Text form on fp (standard output when fp is NULL). */
KVELO_API void vecm_output(VECM *v, FILE *fp);
/* Binary form (int32 dim, int32 count, count x (int32 index, float64 value)), big-endian;
 * *status -1 for a NULL fp or v, dim 0, or a failed write or flush. */
KVELO_API void vecm_boutput(FILE *fp, VECM *v, int *status);
/* The VECM binary form of the significant entries of the dense v; failures as above. */
KVELO_API void v_boutput_as_vecm(FILE *fp, VEC *v, int *status);
/* Reads a VECM binary form into reuse (or a new record) and returns it; NULL on a failed or
 * short read, a negative dim (code 20), a count beyond dim or indices out of range or not
 * ascending (code 2), or no memory (3). On failure reuse is left as it was. Memory grows with
 * the entries that arrive, never with the count the form claims. */
KVELO_API VECM *LM_vecm_binput(FILE *fp, VECM *reuse, int *status);

/* ---------------------------------------------------------------------------------------
 * VECMP
 * ------------------------------------------------------------------------------------- */

/* New VECMP of dimension dim with nnz zeroed entries (0 <= nnz <= dim); NULL (20, 2, 3). */
KVELO_API VECMP *LM_vecmp_get(int dim, int nnz, int *status);
/* out becomes a copy of in (new when NULL); NULL on failure (8, 3), out then unchanged. */
KVELO_API VECMP *LM_vecmp_copy(VECMP *in, VECMP *out, int *status);
/* Frees v and its arrays: 0, or -1 for NULL. */
KVELO_API int vecmp_free(VECMP *v);
/* New VECMP of the significant entries of in, or NULL. */
KVELO_API VECMP *LM_vec2vecmp(VEC *in, int *status);
/* New VECMP with the entries of in in ascending order, or NULL. */
KVELO_API VECMP *LM_vecm2vecmp(VECM *in, int *status);
/* Appends the entries of the subtree at node, ascending, at idx/val[*count], advancing
 * *count; nothing for a NULL node. The arrays must have room. */
KVELO_API void BT_fill_pack(VECM_NODE *node, int *idx, double *val, int *count);
/* New VECM with the entries of in (indices outside 0 .. dim-1 end it with NULL), or NULL. */
KVELO_API VECM *LM_vecmp2vecm(VECMP *in, int *status);
/* Inner product of the dense a and the packed b; 0.0 with code 8 or 1. */
KVELO_API double LM_pscal_vvecmp(VEC *a, VECMP *b, int *status);
/* Euclidean norm of v (no overflow or underflow short of the result's own); -1.0 with code 8
 * for NULL. */
KVELO_API double LM_vecmp_norm2(VECMP *v, int *status);
/* out := a + s b; NULL on failure (codes 8, 1 and those of the copy). */
KVELO_API VEC *_LM_vvecmp_mltadd(VEC *a, VECMP *b, double s, VEC *out, int callerLine,
                                 const char *callerName, int *status);
/* list NULL: scatter, out[idx[k]] = s val[k] (accumulate 0) or += (accumulate non-zero), other
 * entries kept; list given (ascending indices): gather, out[i] = (or +=) s times the value
 * stored at list[i], positions without a stored value kept. out is resized to x's dim (values
 * kept) and, for a gather, to at least the list's length. NULL on failure (8, 3). */
KVELO_API VEC *_LM_vvecmp_daxpy_idx(IVEC *list, VECMP *x, int accumulate, double s, VEC *out,
                                    int callerLine, const char *callerName, int *status);
/* nnz / dim; 0.0 for NULL (status 0) or dim <= 0 (status -1). */
KVELO_API double vecmp_RateCompletion(VECMP *v, int *status);
/* Text form on fp (standard output when fp is NULL). */
KVELO_API void vecmp_output(VECMP *v, FILE *fp);
/* Binary form (int32 dim, int32 nnz, nnz x int32 indices, nnz x float64 values); *status -1
 * for a NULL fp or v, dim <= 0, or a failed write or flush. */
KVELO_API void vecmp_boutput(FILE *fp, VECMP *v, int *status);
/* The VECMP binary form of the packed copy of the VECM v. */
KVELO_API void vecm_boutput_as_vecmp(FILE *fp, VECM *v, int *status);
/* Reads a VECMP binary form into reuse (or a new record); NULL on a failed or short read or
 * bad content (codes 20, 2, 3), reuse then unchanged. Memory grows with the values that
 * arrive, never with the count the form claims. */
KVELO_API VECMP *LM_vecmp_binput(FILE *fp, VECMP *reuse, int *status);

/* ---------------------------------------------------------------------------------------
 * VECMW
 * ------------------------------------------------------------------------------------- */

/* New VECMW of the significant entries of in (codes 8, 3), or NULL. */
KVELO_API VECMW *LM_vec2vecmw(VEC *in, int *status);
/* New VECMW with the entries of the packed in (codes 8, 3), or NULL. */
KVELO_API VECMW *LM_vecmp2vecmw(VECMP *in, int *status);
/* Dense copy of in into out (resized to in's dim, zero elsewhere); returns out or NULL. */
KVELO_API VEC *LM_vecmw2vec(VECMW *in, VEC *out, int *status);
/* New VECM with the entries of in, or NULL. */
KVELO_API VECM *LM_vecmw2vecm(VECMW *in, int *status);
/* out becomes a copy of in (new when NULL); NULL on failure (8, 3), out then unchanged. */
KVELO_API VECMW *LM_vecmw_copy(VECMW *in, VECMW *out, int *status);
/* Frees v and its arrays: 0, or -1 for NULL. */
KVELO_API int vecmw_free(VECMW *v);
/* Inner product of the dense a and the windowed b (runs by the dot kernel); 0.0 with 8 or 1. */
KVELO_API double LM_pscal_vvecmw(VEC *a, VECMW *b, int *status);
/* Euclidean norm of v (no overflow or underflow short of the result's own); -1.0 with code 8
 * for NULL. */
KVELO_API double LM_vecmw_norm2(VECMW *v, int *status);
/* accumulate non-zero: out := a + s b; accumulate 0: out := a with s times b's values at b's
 * stored indices (s = 0 included: those places become 0). NULL on failure (8, 1 and those of
 * the copy). */
KVELO_API VEC *_LM_vvecmw_mltadd2(int accumulate, VEC *a, VECMW *b, double s, VEC *out,
                                  int callerLine, const char *callerName, int *status);
/* _LM_vvecmw_mltadd2 with accumulate 1. */
KVELO_API VEC *_LM_vvecmw_mltadd(VEC *a, VECMW *b, double s, VEC *out, int callerLine,
                                 const char *callerName, int *status);
/* list NULL: scatter, out := s x (accumulate 0, zero elsewhere) or out + s x; list given
 * (ascending indices): gather as _LM_vvecmp_daxpy_idx. out resized to x's dim (and to the
 * list's length for a gather). NULL on failure. */
KVELO_API VEC *_LM_vvecmw_daxpy_idx(IVEC *list, VECMW *x, int accumulate, double s, VEC *out,
                                    int callerLine, const char *callerName, int *status);
/* Mean block length (values / blocks); 0.0 for no values, or with code 8 for NULL. */
KVELO_API double LM_vecmw_sizebloc(VECMW *v, int *status);
/* Share of the significant entries of v lying in runs of two or more (1.0 when there is none
 * or dim is 0); *meanBlock := significant entries / code entries of the windowed form. 0.0
 * with code 8 for NULL. */
KVELO_API double LM_v_RatioBloc(VEC *v, double *meanBlock, int *status);
/* Text form on fp (standard output when fp is NULL). */
KVELO_API void vecmw_output(VECMW *v, FILE *fp);
/* Binary form (int32 dim, nval, ncode, lead, ncode x int32 code, nval x float64 values);
 * *status -1 for a NULL fp or v, dim <= 0, or a failed write or flush. Does not clear the
 * status word. */
KVELO_API void vecmw_boutput(FILE *fp, VECMW *v, int *status);
/* Reads a VECMW binary form into reuse (or a new record); NULL on a failed or short read, a
 * malformed code (codes 20, 2; also a code count above twice the value count) or no memory
 * (3), reuse then unchanged. Memory grows with the values that arrive, never with the counts
 * the form claims. Does not clear the status word. */
KVELO_API VECMW *LM_vecmw_binput(FILE *fp, VECMW *reuse, int *status);

KVELO_C_END

#endif
