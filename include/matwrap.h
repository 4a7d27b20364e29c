/* matwrap.h: generic wrappers of the C matrix library: GVEC holds a real (VEC) or complex
 * (ZVEC) vector, GMAT a real (MAT) or complex (ZMAT) matrix, so that one code path serves both
 * element types. The constructors take a kind, 5 for real and 6 for complex; the wrapper's
 * type (3 VEC, 8 ZVEC, 0 MAT, 9 ZMAT) never changes afterwards. A wrapper owns its wrapped
 * record and (GMAT) its row table; pdim, pm, pn, data and rows are views into the wrapped
 * record, refreshed by the wrapper operations. kvelo_vec_free and mat_free release what the
 * wrapper holds but not the wrapper record itself, which the host releases with
 * kvelomem_free. Calling convention of matrix.h; codes 1 shapes that do not fit, 3 no
 * memory, 6 a kind or type that does not match, 8 NULL wrapper, 12 output equal to an
 * operand, 20 negative size. Not thread-safe (process-wide status word). */
#ifndef KVELO_MATWRAP_H
#define KVELO_MATWRAP_H

#include "kvelo_export.h"
#include "matrix.h"
#include "zmatrix.h"

typedef struct {
  int type;        /* 3: VEC, 8: ZVEC */
  unsigned *pdim;  /* address of the wrapped record's dim */
  void *data;      /* the wrapped record's elements (double or kvelo_complex) */
  void *vec;       /* the wrapped VEC or ZVEC */
} GVEC;

typedef struct {
  int type;        /* 0: MAT, 9: ZMAT */
  unsigned *pm;    /* address of the wrapped record's row count */
  unsigned *pn;    /* address of its column count */
  void **rows;     /* copy of the wrapped record's row pointers, one per row */
  void *mat;       /* the wrapped MAT or ZMAT */
} GMAT;

KVELO_C_BEGIN

/* A wrapper around a new zeroed vector of dim elements (kind 5 VEC, 6 ZVEC); NULL on failure
 * (6 bad kind, 3, and the codes of the record's getter). */
KVELO_API GVEC *_LM_vec_get(const char *caller, int context, int kind, int dim, int line,
                            const char *callerName, int *status);
/* The wrapped vector resized to dim (NULL w: a new wrapper); kind must match the wrapper's
 * type (code 6); NULL on failure. */
KVELO_API GVEC *_LM_vec_resize(const char *caller, int context, GVEC *w, int kind, int dim,
                               int line, const char *callerName, int *status);
/* Frees the wrapped vector (vec becomes NULL); -1 for NULL, else 0 (code 6 for a wrapper of
 * another type, which is kept). The wrapper record stays the host's to free. */
KVELO_API int kvelo_vec_free(GVEC *w);
/* A wrapper around a new zeroed m x n matrix (kind 5 MAT, 6 ZMAT); NULL on failure. */
KVELO_API GMAT *_LM_mat_get(const char *caller, int context, int kind, int m, int n, int line,
                            const char *callerName, int *status);
/* The wrapped matrix resized to m x n (NULL w: a new wrapper); kind must match (code 6). */
KVELO_API GMAT *_LM_mat_resize(const char *caller, int context, GMAT *w, int kind, int m, int n,
                               int line, const char *callerName, int *status);
/* Frees the wrapped matrix and the row table; -1 for NULL, else 0 (code 6 for a wrapper of
 * another type, whose matrix is kept). The wrapper record stays the host's to free. */
KVELO_API int mat_free(GMAT *w);
/* Every element 0; returns w, or NULL (code 8 for NULL). */
KVELO_API GVEC *_LM_vec_zero(GVEC *w, int line, const char *callerName, int *status);
KVELO_API GMAT *_LM_mat_zero(GMAT *w, int line, const char *callerName, int *status);
/* src's elements copied into dst (made or grown to src's size when NULL or smaller; a larger
 * dst keeps its size and further elements); dst must be of src's type (code 6). */
KVELO_API GVEC *_LM_vec_copy(GVEC *src, GVEC *dst, int line, const char *callerName, int *status);
/* src's rows copied into dst's rows (dst made or grown to src's shape when NULL or smaller). */
KVELO_API GMAT *_LM_mat_copy(GMAT *src, GMAT *dst, int line, const char *callerName, int *status);
/* dst := inverse of the square src (dst made or grown as in _LM_mat_copy); NULL on failure
 * (8, 6, and the inverse's codes: 9 not square, 4 singular, 7 an entry not finite or an
 * inverse beyond the range of double). */
KVELO_API GMAT *_LM_mat_inverse(GMAT *src, GMAT *dst, int line, const char *callerName, int *status);
/* out := a * b (out made or resized to a's rows x b's columns); codes 8, 1, 12, 6. */
KVELO_API GMAT *_LM_mat_mlt(GMAT *a, GMAT *b, GMAT *out, int line, const char *callerName, int *status);

KVELO_C_END

#endif
