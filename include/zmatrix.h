/* zmatrix.h: the complex side of the C matrix library: the complex scalar `complex` and its
 * arithmetic, the complex vector ZVEC and matrix ZMAT (creation, resizing, release, copies,
 * moves), their element kernels, vector and matrix arithmetic, products and norms.
 * Calling convention as in matrix.h: `_LM_<op>` operations end with (callerLine, callerName,
 * int *status), clear the status word on entry, report errors through `_LM_error` (message
 * 3100 + code), leave -1 in *status and return NULL (a record), -1 (an int), (0, 0) (a
 * complex) or 0.0 (a norm). Records own their blocks. Nothing here is thread-safe: the status
 * word, the accounting state and the random stream are process-wide and unguarded.
 *
 * Naming the scalar: the record is `complex` (tag and typedef). C++ hosts that also see
 * std::complex through `using namespace std` write `::complex`; C hosts that include
 * <complex.h> (where `complex` is a macro) write `kvelo_complex`, an alias valid everywhere,
 * which is the name used in the declarations below. */
#ifndef KVELO_ZMATRIX_H
#define KVELO_ZMATRIX_H

#include <stdio.h>

#include "kvelo_export.h"
#include "matrix.h"

#if !defined(__cplusplus) && defined(complex)
#pragma push_macro("complex")
#undef complex
#define KVELO_ZMATRIX_POP_COMPLEX 1
#endif

/* Complex scalar: real part, then imaginary part; 16 bytes, no padding. */
typedef struct complex {
  double re;
  double im;
} complex;

#ifdef __cplusplus
typedef ::complex kvelo_complex;
#else
typedef complex kvelo_complex;
#endif

/* Complex vector (record type 8): dim elements in use out of max_dim stored in ve; max_dim 0
 * marks a record that owns no block. Growing dim zeroes the newly covered elements. */
typedef struct {
  unsigned int dim;
  unsigned int max_dim;
  kvelo_complex *ve;
} ZVEC;

/* Complex matrix stored by rows (record type 9): row i is me[i][0 .. n-1]; all rows lie in
 * the one block base of max_size = max_m * max_n elements. The element block comes before
 * the row-pointer table (the reverse of MAT). */
typedef struct {
  unsigned int m;
  unsigned int n;
  unsigned int max_m;
  unsigned int max_n;
  unsigned int max_size;
  kvelo_complex *base;
  kvelo_complex **me;
} ZMAT;

KVELO_C_BEGIN

/* ---------------------------------------------------------------------------------------
 * Complex scalars (by value; no checks, no status, IEEE arithmetic throughout)
 * ------------------------------------------------------------------------------------- */

/* Returns (re, im). */
KVELO_API kvelo_complex zmake(double re, double im);
/* Returns (-re, -im): both sign bits flipped, so zero gives (-0.0, -0.0). */
KVELO_API kvelo_complex zneg(kvelo_complex z);
/* Returns (re, -im): the sign bit of im flipped. */
KVELO_API kvelo_complex zconj(kvelo_complex z);
/* Returns z1 + z2, part by part. */
KVELO_API kvelo_complex zadd(kvelo_complex z1, kvelo_complex z2);
/* Returns z1 - z2, part by part. */
KVELO_API kvelo_complex zsub(kvelo_complex z1, kvelo_complex z2);
/* Returns x * z. */
KVELO_API kvelo_complex zsmlt(kvelo_complex z, double x);
/* Returns z1 * z2; finite parts stay finite when only a partial product overflows. */
KVELO_API kvelo_complex zmlt(kvelo_complex z1, kvelo_complex z2);
/* Returns 1/z, computed on parts scaled by a power of two so that nothing overflows or
 * underflows before the result; z = 0 raises code 4 ("zinv", caller "zvinc", line 168),
 * leaves the status word -1 and returns not-a-number parts. */
KVELO_API kvelo_complex zinv(kvelo_complex z);
/* Returns z1 / z2, both scaled as in zinv (a zero z2 fails as zinv does). */
KVELO_API kvelo_complex zdiv(kvelo_complex z1, kvelo_complex z2);
/* Returns the square root with a non-negative real part, scaled as zinv; on the negative
 * real axis the sign of a zero imaginary part picks the side (-4-0i -> -2i); (0, +-0) for
 * +-0; infinite and NaN parts as C99 csqrt. */
KVELO_API kvelo_complex zsqrt(kvelo_complex z);
/* Returns e^z; a finite part stays finite beyond e^x's range; infinite and NaN parts as
 * C99 cexp. */
KVELO_API kvelo_complex zexp(kvelo_complex z);
/* Returns (log |z|, atan2(im, re)): log|z| accurate near |z| = 1 and without overflow of
 * |z|; an infinite part gives +inf; a zero gives -inf (without an error). */
KVELO_API kvelo_complex zlog(kvelo_complex z);
/* Returns the modulus |z|, scaled so that no square overflows or underflows; NaN when a
 * part is NaN, beside an infinite one too. */
KVELO_API double zabs(kvelo_complex z);

/* ---------------------------------------------------------------------------------------
 * Creation, release, resizing and zeroing of ZVEC and ZMAT. Failures: code 20 for a
 * negative size, 3 when memory (or a size field, sizes taken in 64 bits) is exhausted; a
 * failed resize leaves the record as it was. Requested sizes of 0 stay 0 (capacity >= 1).
 * ------------------------------------------------------------------------------------- */

/* New zeroed vector of dim elements (capacity max(dim, 1)), or NULL. */
KVELO_API ZVEC *_LM_zv_get(const char *tag, int context, int dim, int callerLine,
                           const char *callerName, int *status);
/* New zeroed m x n matrix (capacity max(m,1) x max(n,1)), or NULL; success leaves *status. */
KVELO_API ZMAT *_LM_zm_get(const char *tag, int context, int m, int n, int callerLine,
                           const char *callerName, int *status);
/* Frees x and its block (a record without capacity frees only its header); 0, or -1 for
 * NULL or a dim negative as a signed int. */
KVELO_API int zv_free(ZVEC *x);
/* Frees A, its block and its row table; 0, or -1 for NULL or an m or n negative as a signed
 * int. */
KVELO_API int zm_free(ZMAT *A);
/* x with dim elements, values kept, new ones zero; NULL x or a record without capacity gives
 * a new vector (*status 0), else success leaves *status; the record to use, or NULL. */
KVELO_API ZVEC *_LM_zv_resize(const char *tag, int context, ZVEC *x, int dim, int callerLine,
                              const char *callerName, int *status);
/* A as m x n, the common part kept at the same (i, j) (read through the row pointers), new
 * elements zero, rows laid out again at stride n; NULL A gives a new matrix; NULL on failure. */
KVELO_API ZMAT *_LM_zm_resize(const char *tag, int context, ZMAT *A, int m, int n,
                              int callerLine, const char *callerName, int *status);
/* Zeroes the dim elements of x; returns x, or NULL with code 8 for a NULL x. */
KVELO_API ZVEC *_LM_zv_zero(ZVEC *x, int callerLine, const char *callerName, int *status);
/* Zeroes n elements of each of the m rows of A; returns A, or NULL with code 8. */
KVELO_API ZMAT *_LM_zm_zero(ZMAT *A, int callerLine, const char *callerName, int *status);

/* Several variables at once: after the sizes, addresses of record pointers ended by NULL.
 * Get/resize return how many were handled, or -1 at the first failure (earlier variables
 * keep their new records, a failing get leaves NULL, a failing resize leaves the variable's
 * record in place, later ones are untouched); an empty list returns 0 with status 0. */
KVELO_API int _LM_zv_get_vars(const char *tag, int context, int callerLine,
                              const char *callerName, int *status, int dim, ...);
KVELO_API int _LM_zm_get_vars(const char *tag, int context, int callerLine,
                              const char *callerName, int *status, int m, int n, ...);
KVELO_API int _LM_zv_resize_vars(const char *tag, int context, int callerLine,
                                 const char *callerName, int *status, int dim, ...);
KVELO_API int _LM_zm_resize_vars(const char *tag, int context, int callerLine,
                                 const char *callerName, int *status, int m, int n, ...);
/* Frees the record of each variable (the first always handled) and sets the variable to
 * NULL; returns the count. */
KVELO_API int zv_free_vars(ZVEC **first, ...);
KVELO_API int zm_free_vars(ZMAT **first, ...);

/* ---------------------------------------------------------------------------------------
 * Copies and moves. NULL source: code 8; a block outside the source: code 2. The output is
 * allocated or grown when needed (other values kept, new ones zero); returns it, or NULL.
 * ------------------------------------------------------------------------------------- */

/* out gets in's dim; elements i0 .. dim-1 copied (i0 beyond dim: code 2). */
KVELO_API ZVEC *_LM__zv_copy(ZVEC *in, ZVEC *out, unsigned int i0, int callerLine,
                             const char *callerName, int *status);
/* out gets in's sizes; rows i0.., columns j0.. copied (j0 beyond n: code 2). */
KVELO_API ZMAT *_LM__zm_copy(ZMAT *in, ZMAT *out, unsigned int i0, unsigned int j0,
                             int callerLine, const char *callerName, int *status);
/* in[i0 .. i0+len-1] to out[i1 .. i1+len-1]. */
KVELO_API ZVEC *_LM_zv_move(ZVEC *in, int i0, int len, ZVEC *out, int i1, int callerLine,
                            const char *callerName, int *status);
/* The rows x cols block of in at (i0, j0) to out at (i1, j1). */
KVELO_API ZMAT *_LM_zm_move(ZMAT *in, int i0, int j0, int rows, int cols, ZMAT *out, int i1,
                            int j1, int callerLine, const char *callerName, int *status);
/* The rows x cols block of in at (i0, j0) to out from i1 on, row after row. */
KVELO_API ZVEC *_LM_zmv_move(ZMAT *in, int i0, int j0, int rows, int cols, ZVEC *out, int i1,
                             int callerLine, const char *callerName, int *status);
/* rows x cols consecutive elements of in from i0 to the block of out at (i1, j1), by rows. */
KVELO_API ZMAT *_LM_zvm_move(ZVEC *in, int i0, ZMAT *out, int i1, int j1, int rows, int cols,
                             int callerLine, const char *callerName, int *status);

/* ---------------------------------------------------------------------------------------
 * Element kernels on raw complex arrays: no checks, no status; a length <= 0 does nothing.
 * out may be x or y.
 * ------------------------------------------------------------------------------------- */

/* x[i] = conj(x[i]), i < len. */
KVELO_API void __zconj__(kvelo_complex *x, int len);
/* Returns the sum of x[i]*y[i] (conj(x[i])*y[i] when flag is non-zero), i < len, each
 * product zmlt's, added in index order; (0, 0) for len <= 0. */
KVELO_API kvelo_complex __zip__(const kvelo_complex *x, const kvelo_complex *y, int len,
                                int flag);
/* y[i] += s*x[i] (s*conj(x[i]) when flag is non-zero), i < len, the product zmlt's: every
 * complex multiply-add, product and elimination of the library goes through it. */
KVELO_API void __zmltadd__(kvelo_complex *y, const kvelo_complex *x, kvelo_complex s, int len,
                           int flag);
/* out[i] = s*x[i]. */
KVELO_API void __zmlt__(const kvelo_complex *x, kvelo_complex s, kvelo_complex *out, int len);
/* out[i] = x[i] + y[i]. */
KVELO_API void __zadd__(const kvelo_complex *x, const kvelo_complex *y, kvelo_complex *out,
                        int len);
/* out[i] = x[i] - y[i]. */
KVELO_API void __zsub__(const kvelo_complex *x, const kvelo_complex *y, kvelo_complex *out,
                        int len);
/* Clears every bit of the first len elements. */
KVELO_API void __zzero__(kvelo_complex *x, int len);

/* ---------------------------------------------------------------------------------------
 * Vector operations. Codes: 1 sizes differ, 2 out of bounds, 4 zero divisor, 8 NULL
 * argument, 12 output equal to an input where not allowed. Outputs are sized through
 * _LM_zv_resize; use the returned record from then on.
 * ------------------------------------------------------------------------------------- */

/* Returns the sum of a[i]*b[i] (conj(a[i])*b[i] when flag is non-zero) for
 * i0 <= i < min(a.dim, b.dim); (0, 0) after code 8 or 2 (i0 beyond the shorter dim). */
KVELO_API kvelo_complex _LM__zin_prod(ZVEC *a, ZVEC *b, unsigned int i0, int flag,
                                      int callerLine, const char *callerName, int *status);
/* out = s*x (s = 0 gives exact zeros, s = 1 an exact copy); out may be x. */
KVELO_API ZVEC *_LM_zv_mlt(kvelo_complex s, ZVEC *x, ZVEC *out, int callerLine,
                           const char *callerName, int *status);
/* out = x + y; out may be x or y. */
KVELO_API ZVEC *_LM_zv_add(ZVEC *x, ZVEC *y, ZVEC *out, int callerLine, const char *callerName,
                           int *status);
/* out = x - y; out may be x or y. */
KVELO_API ZVEC *_LM_zv_sub(ZVEC *x, ZVEC *y, ZVEC *out, int callerLine, const char *callerName,
                           int *status);
/* out = x + s*y; out may be x or y. */
KVELO_API ZVEC *_LM_zv_mltadd(ZVEC *x, ZVEC *y, kvelo_complex s, ZVEC *out, int callerLine,
                              const char *callerName, int *status);
/* out[i] = f(x[i]) in index order. */
KVELO_API ZVEC *_LM_zv_map(kvelo_complex (*f)(kvelo_complex), ZVEC *x, ZVEC *out,
                           int callerLine, const char *callerName, int *status);
/* out[i] = f(params, x[i]) in index order. */
KVELO_API ZVEC *_LM__zv_map(kvelo_complex (*f)(void *, kvelo_complex), void *params, ZVEC *x,
                            ZVEC *out, int callerLine, const char *callerName, int *status);
/* out = a[0]*v[0] + ... + a[n-1]*v[n-1]; out may be v[0], not v[1..n-1] (code 12); n <= 0
 * returns NULL with status 0; a refused vector leaves out as it was. */
KVELO_API ZVEC *_LM_zv_lincomb(int n, ZVEC **v, kvelo_complex *a, ZVEC *out, int callerLine,
                               const char *callerName, int *status);
/* out = a1*x1 + a2*x2 + ...: after out come pairs (ZVEC *x, complex a) ended by a NULL
 * vector; a pair with a = 0 is skipped unchecked; a NULL x1 returns NULL with status 0; a
 * refused vector leaves out as it was. */
KVELO_API ZVEC *_LM_zv_linlist(int callerLine, const char *callerName, int *status, ZVEC *out,
                               ZVEC *x1, kvelo_complex a1, ...);
/* out[i] = x[i]*y[i]; out may be x or y. */
KVELO_API ZVEC *_LM_zv_star(ZVEC *x, ZVEC *y, ZVEC *out, int callerLine, const char *callerName,
                            int *status);
/* out[i] = y[i]/x[i]; a zero x[i] raises code 4 after the earlier quotients are written to a
 * given out (a record made for a NULL out is released); tiny and huge x[i] are divided on
 * scaled parts. */
KVELO_API ZVEC *_LM_zv_slash(ZVEC *x, ZVEC *y, ZVEC *out, int callerLine,
                             const char *callerName, int *status);
/* Returns the sum of the elements (real and imaginary parts added separately); a total
 * within range is kept when partial sums overflow. */
KVELO_API kvelo_complex _LM_zv_sum(ZVEC *x, int callerLine, const char *callerName,
                                   int *status);
/* Sorts x in place by ascending modulus (not stable); order, when given, is resized to x.dim
 * and receives the sorting permutation; a NaN modulus goes last; O(n log n) on any input. */
KVELO_API ZVEC *_LM_zv_sort(ZVEC *x, PERM *order, int callerLine, const char *callerName,
                            int *status);
/* out[i] = x[px[i]] for i < px.size; out may be x (px restored afterwards). Codes: 8, 1
 * (x.dim < px.size), 2 (px no permutation: an entry >= px.size or repeated); a refusal
 * leaves x, px and out as they were. */
KVELO_API ZVEC *_LM_px_zvec(PERM *px, ZVEC *x, ZVEC *out, int callerLine,
                            const char *callerName, int *status);
/* out[px[i]] = x[i] for i < px.size; out may be x. Codes as _LM_px_zvec. */
KVELO_API ZVEC *_LM_pxinv_zvec(PERM *px, ZVEC *x, ZVEC *out, int callerLine,
                               const char *callerName, int *status);
/* Fills x with the library's uniform stream (real then imaginary part of each element). */
KVELO_API ZVEC *_LM_zv_rand(ZVEC *x, int callerLine, const char *callerName, int *status);

/* ---------------------------------------------------------------------------------------
 * Matrix operations. Codes: 1 shapes differ, 8 NULL argument, 10 row or column out of
 * range, 11 in-place adjoint of a non-square matrix, 12 output equal to an input.
 * Outputs are sized through _LM_zm_resize / _LM_zv_resize.
 * ------------------------------------------------------------------------------------- */

/* out = A + B; out may be A or B. */
KVELO_API ZMAT *_LM_zm_add(ZMAT *A, ZMAT *B, ZMAT *out, int callerLine, const char *callerName,
                           int *status);
/* out = A - B; out may be A or B. */
KVELO_API ZMAT *_LM_zm_sub(ZMAT *A, ZMAT *B, ZMAT *out, int callerLine, const char *callerName,
                           int *status);
/* out = s*A (no shortcut); out may be A. */
KVELO_API ZMAT *_LM_zsm_mlt(kvelo_complex s, ZMAT *A, ZMAT *out, int callerLine,
                            const char *callerName, int *status);
/* out = A*B (A.m x B.n); out may not be A or B. */
KVELO_API ZMAT *_LM_zm_mlt(ZMAT *A, ZMAT *B, ZMAT *out, int callerLine, const char *callerName,
                           int *status);
/* out = A*adjoint(B) (A.m x B.m); out may not be A or B. */
KVELO_API ZMAT *_LM_zmma_mlt(ZMAT *A, ZMAT *B, ZMAT *out, int callerLine,
                             const char *callerName, int *status);
/* out = adjoint(A)*B (A.n x B.n); out may not be A or B. */
KVELO_API ZMAT *_LM_zmam_mlt(ZMAT *A, ZMAT *B, ZMAT *out, int callerLine,
                             const char *callerName, int *status);
/* out = A*b (A.m entries); out may not be b. */
KVELO_API ZVEC *_LM_zmv_mlt(ZMAT *A, ZVEC *b, ZVEC *out, int callerLine, const char *callerName,
                            int *status);
/* out = adjoint(A)*b (A.n entries); out may not be b. */
KVELO_API ZVEC *_LM_zvm_mlt(ZMAT *A, ZVEC *b, ZVEC *out, int callerLine, const char *callerName,
                            int *status);
/* out = adjoint(A) (conjugate transpose); in place for a square A only (code 11). */
KVELO_API ZMAT *_LM_zm_adjoint(ZMAT *A, ZMAT *out, int callerLine, const char *callerName,
                               int *status);
/* Exchanges rows i and j of A in columns lo .. hi (lo < 0 means 0, hi < 0 or beyond the last
 * column means the last column); returns A. */
KVELO_API ZMAT *_LM_zswap_rows(ZMAT *A, int i, int j, int lo, int hi, int callerLine,
                               const char *callerName, int *status);
/* Exchanges columns i and j of A in rows lo .. hi, clamped likewise; returns A. */
KVELO_API ZMAT *_LM_zswap_cols(ZMAT *A, int i, int j, int lo, int hi, int callerLine,
                               const char *callerName, int *status);
/* out = A + s*B; out may be A or B. */
KVELO_API ZMAT *_LM_mz_mltadd(ZMAT *A, ZMAT *B, kvelo_complex s, ZMAT *out, int callerLine,
                              const char *callerName, int *status);
/* out = A + s*B; out may be A or B. */
KVELO_API ZMAT *_LM_zm_mltadd(ZMAT *A, ZMAT *B, kvelo_complex s, ZMAT *out, int callerLine,
                              const char *callerName, int *status);
/* out = x + s*A*y; out may be x, not y. */
KVELO_API ZVEC *_LM_zmv_mltadd(ZVEC *x, ZVEC *y, ZMAT *A, kvelo_complex s, ZVEC *out,
                               int callerLine, const char *callerName, int *status);
/* out = x + s*adjoint(A)*y; out may be x, not y. */
KVELO_API ZVEC *_LM_zvm_mltadd(ZVEC *x, ZVEC *y, ZMAT *A, kvelo_complex s, ZVEC *out,
                               int callerLine, const char *callerName, int *status);
/* out[i] = A[i][j] for i < A.m; out grown to A.m only when NULL or shorter (a longer out
 * keeps its dim and further entries). */
KVELO_API ZVEC *_LM_zget_col(ZMAT *A, int j, ZVEC *out, int callerLine, const char *callerName,
                             int *status);
/* out[j] = A[i][j] for j < A.n; out grown likewise. */
KVELO_API ZVEC *_LM_zget_row(ZMAT *A, int i, ZVEC *out, int callerLine, const char *callerName,
                             int *status);
/* A[i][j] = v[i] for i < min(A.m, v.dim); returns A. */
KVELO_API ZMAT *_LM_zset_col(ZMAT *A, int j, ZVEC *v, int callerLine, const char *callerName,
                             int *status);
/* A[i][j] = v[j] for j < min(A.n, v.dim); returns A. */
KVELO_API ZMAT *_LM_zset_row(ZMAT *A, int i, ZVEC *v, int callerLine, const char *callerName,
                             int *status);
/* Fills each row of A from the library's uniform stream (real then imaginary parts). */
KVELO_API ZMAT *_LM_zm_rand(ZMAT *A, int callerLine, const char *callerName, int *status);

/* ---------------------------------------------------------------------------------------
 * Norms: each returns a double, 0.0 after an error (code 8 for a NULL record, 1 for a scale
 * shorter than x). A scale entry that is not exactly 0 divides the modulus of its entry. A
 * NaN part makes every norm NaN.
 * ------------------------------------------------------------------------------------- */

/* Returns the sum of the (scaled) moduli. */
KVELO_API double _LM__zv_norm1(ZVEC *x, VEC *scale, int callerLine, const char *callerName,
                               int *status);
/* Returns the Euclidean norm of the (scaled) entries; no overflow or underflow short of
 * the result's own. */
KVELO_API double _LM__zv_norm2(ZVEC *x, VEC *scale, int callerLine, const char *callerName,
                               int *status);
/* Returns the largest (scaled) modulus. */
KVELO_API double _LM__zv_norm_inf(ZVEC *x, VEC *scale, int callerLine, const char *callerName,
                                  int *status);
/* Returns the largest column sum of moduli. */
KVELO_API double _LM_zm_norm1(ZMAT *A, int callerLine, const char *callerName, int *status);
/* Returns the largest row sum of moduli. */
KVELO_API double _LM_zm_norm_inf(ZMAT *A, int callerLine, const char *callerName, int *status);
/* Returns the square root of the sum of re^2 + im^2 over all entries; no overflow or
 * underflow short of the result's own. */
KVELO_API double _LM_zm_norm_frob(ZMAT *A, int callerLine, const char *callerName,
                                  int *status);
/* out[i] = |x[i]| for i < x.dim (out resized to x.dim); NULL x, NULL out or an empty x:
 * code 8 and NULL. */
KVELO_API VEC *_LM_zv_zabs(ZVEC *x, VEC *out, int callerLine, const char *callerName,
                           int *status);

KVELO_C_END

#ifdef KVELO_ZMATRIX_POP_COMPLEX
#undef KVELO_ZMATRIX_POP_COMPLEX
#pragma pop_macro("complex")
#endif

#endif
