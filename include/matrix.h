/* matrix.h: the C matrix library: its records and their operations, with C linkage.
 * Calling convention: `_LM_<op>` operations end with (callerLine, callerName, int *status);
 * the process-wide status word `_LM_err_status` is cleared on entry, an error goes through
 * `_LM_error` (message 3100 + code) and leaves -1 in *status, and the operation then returns
 * NULL or -1. Allocators and resizers begin with a caller tag and a context number that
 * change nothing. Records own their blocks; views own none. Nothing here is thread-safe:
 * the status word and the accounting state are process-wide and unguarded. */
#ifndef KVELO_MATRIX_H
#define KVELO_MATRIX_H

#include <stdio.h>

#include "erreur.h" /* _LM_err_status, _LM_error */
#include "kvelo_export.h"
#include "meminfo.h"

/* ---------------------------------------------------------------------------------------
 * Dense real records
 * ------------------------------------------------------------------------------------- */

/* Real vector: dim elements in use out of max_dim stored; max_dim 0 marks a view. */
typedef struct {
  unsigned int dim;
  unsigned int max_dim;
  double *ve;
} VEC;

/* Real matrix stored by rows: row i is me[i][0 .. n-1], all rows in the one block base
 * (max_size = max_m * max_n doubles); a view has base NULL and owns only its row table. */
typedef struct {
  unsigned int m;
  unsigned int n;
  unsigned int max_m;
  unsigned int max_n;
  unsigned int max_size;
  double **me;
  double *base;
} MAT;

/* Permutation: pe[i] is the image of i, for i < size. */
typedef struct {
  unsigned int size;
  unsigned int max_size;
  unsigned int *pe;
} PERM;

/* Integer vector: dim ints in use out of max_dim stored. */
typedef struct {
  unsigned int dim;
  unsigned int max_dim;
  int *ive;
} IVEC;

/* Long vector: dim values in use out of max_dim stored. The values are 32-bit signed
 * quantities (their binary form is 4 bytes); arithmetic on them wraps at 32 bits. */
typedef struct {
  unsigned int dim;
  unsigned int max_dim;
  long *lve;
} LVEC;

KVELO_C_BEGIN

/* ---------------------------------------------------------------------------------------
 * Creation, release and resizing of VEC, MAT and PERM
 * Failures: code 20 for a negative size, 3 when memory (or a size field) is exhausted;
 * a failed resize leaves the record as it was.
 * ------------------------------------------------------------------------------------- */

/* New zeroed vector of dim elements (capacity at least 1), or NULL. */
KVELO_API VEC *_LM_v_get(const char *tag, int context, int dim, int callerLine,
                         const char *callerName, int *status);
/* New zeroed m x n matrix (capacity at least 1 x 1), or NULL. */
KVELO_API MAT *_LM_m_get(const char *tag, int context, int m, int n, int callerLine,
                         const char *callerName, int *status);
/* New identity permutation of size entries (capacity at least 1), or NULL. */
KVELO_API PERM *_LM_px_get(const char *tag, int context, int size, int callerLine,
                           const char *callerName, int *status);

/* Frees x and its block (a view's viewed block is left alone); -1 for NULL or a bad dim. */
KVELO_API int v_free(VEC *x);
/* Frees A, its block and its row table; -1 for NULL or a bad m or n. */
KVELO_API int m_free(MAT *A);
/* Frees px and its entries; -1 for NULL or a bad size. */
KVELO_API int px_free(PERM *px);

/* x with dim elements (0 taken as 1), values kept, new ones 0; NULL x or a view gives a
 * new vector; returns the record to use from then on, or NULL. */
KVELO_API VEC *_LM_v_resize(const char *tag, int context, VEC *x, int dim, int callerLine,
                            const char *callerName, int *status);
/* A as m x n (0 taken as 1), the common part kept at the same (i, j), new entries 0; rows
 * laid out again at stride n; NULL A gives a new matrix; NULL on failure. */
KVELO_API MAT *_LM_m_resize(const char *tag, int context, MAT *A, int m, int n, int callerLine,
                            const char *callerName, int *status);
/* px with size entries (0 taken as 1): shrinking gives the identity, growing keeps the old
 * entries and maps each new i to i; NULL px gives a new identity; NULL on failure. */
KVELO_API PERM *_LM_px_resize(const char *tag, int context, PERM *px, int size,
                              int callerLine, const char *callerName, int *status);

/* Several variables at once: after the fixed arguments, addresses of record pointers ended
 * by NULL. Get/resize return how many were handled, or -1 at the first failure (earlier
 * variables keep their new records, the failing get leaves NULL, a failing resize leaves the
 * old record in place, later variables are untouched). */
KVELO_API int _LM_v_get_vars(const char *tag, int context, int callerLine,
                             const char *callerName, int *status, int dim, ...);
KVELO_API int _LM_px_get_vars(const char *tag, int context, int callerLine,
                              const char *callerName, int *status, int size, ...);
KVELO_API int _LM_m_get_vars(const char *tag, int context, int callerLine,
                             const char *callerName, int *status, int m, int n, ...);
KVELO_API int _LM_v_resize_vars(const char *tag, int context, int callerLine,
                                const char *callerName, int *status, int dim, ...);
KVELO_API int _LM_px_resize_vars(const char *tag, int context, int callerLine,
                                 const char *callerName, int *status, int size, ...);
KVELO_API int _LM_m_resize_vars(const char *tag, int context, int callerLine,
                                const char *callerName, int *status, int m, int n, ...);
/* Frees the record of each variable and sets the variable to NULL; returns the count. */
KVELO_API int v_free_vars(VEC **first, ...);
KVELO_API int px_free_vars(PERM **first, ...);
KVELO_API int m_free_vars(MAT **first, ...);

/* ---------------------------------------------------------------------------------------
 * Copies and moves. NULL source: code 8; a block outside the source: code 2. The output is
 * allocated or grown when needed (other values kept, new ones 0); returns it, or NULL.
 * ------------------------------------------------------------------------------------- */

/* out gets in's dim; elements i0 .. dim-1 copied (i0 beyond dim: code 2). */
KVELO_API VEC *_LM__v_copy(VEC *in, VEC *out, unsigned int i0, int callerLine,
                           const char *callerName, int *status);
/* out gets in's sizes; rows i0.., columns j0.. copied (j0 beyond n: code 2). */
KVELO_API MAT *_LM__m_copy(MAT *in, MAT *out, unsigned int i0, unsigned int j0, int callerLine,
                           const char *callerName, int *status);
/* out becomes a copy of in. */
KVELO_API PERM *_LM_px_copy(PERM *in, PERM *out, int callerLine, const char *callerName,
                            int *status);
/* in[i0 .. i0+len-1] to out[i1 .. i1+len-1]. */
KVELO_API VEC *_LM_v_move(VEC *in, int i0, int len, VEC *out, int i1, int callerLine,
                          const char *callerName, int *status);
/* The rows x cols block of in at (i0, j0) to out at (i1, j1). */
KVELO_API MAT *_LM_m_move(MAT *in, int i0, int j0, int rows, int cols, MAT *out, int i1, int j1,
                          int callerLine, const char *callerName, int *status);
/* The rows x cols block of in at (i0, j0) to out from i1 on, row after row. */
KVELO_API VEC *_LM_mv_move(MAT *in, int i0, int j0, int rows, int cols, VEC *out, int i1,
                           int callerLine, const char *callerName, int *status);
/* rows x cols consecutive values of in from i0 to the block of out at (i1, j1), by rows. */
KVELO_API MAT *_LM_vm_move(VEC *in, int i0, MAT *out, int i1, int j1, int rows, int cols,
                           int callerLine, const char *callerName, int *status);

/* ---------------------------------------------------------------------------------------
 * Element kernels on raw arrays: no checks, no status; a length <= 0 does nothing.
 * out may be x or y.
 * ------------------------------------------------------------------------------------- */

/* Returns the sum of x[i]*y[i], i < len (BLAS ddot); 0.0 for len <= 0. */
KVELO_API double __ip__(const double *x, const double *y, int len);
/* y[i] += s*x[i], i < len (BLAS daxpy). */
KVELO_API void __mltadd__(double *y, const double *x, double s, int len);
/* out[i] = s*x[i]. */
KVELO_API void __smlt__(const double *x, double s, double *out, int len);
/* out[i] = x[i] + y[i]. */
KVELO_API void __add__(const double *x, const double *y, double *out, int len);
/* out[i] = x[i] - y[i]. */
KVELO_API void __sub__(const double *x, const double *y, double *out, int len);
/* Clears every bit of the first len doubles (so -0.0 becomes +0.0). */
KVELO_API void __zero__(double *x, int len);
/* Sets the first len ints to 0. */
KVELO_API void __izero__(int *x, int len);

/* ---------------------------------------------------------------------------------------
 * Integer and long vectors. A resize to 0 keeps dim 0 and never replaces the record.
 * Failures: 20 negative size, 3 allocation, 8 NULL record, 2 move outside the source,
 * 1 different dims (add, sub) or an empty vector (max, cmp), 6/7 text input.
 * ------------------------------------------------------------------------------------- */

/* New zeroed IVEC of dim ints (capacity at least 1), or NULL. */
KVELO_API IVEC *_LM_iv_get(const char *tag, int context, int dim, int callerLine,
                           const char *callerName, int *status);
/* Frees iv and its block; -1 for NULL. */
KVELO_API int iv_free(IVEC *iv);
/* iv with dim ints (values kept, new ones 0; capacity never shrinks); NULL iv gives a new
 * vector; NULL on failure, iv then unchanged. */
KVELO_API IVEC *_LM_iv_resize(const char *tag, int context, IVEC *iv, int dim, int callerLine,
                              const char *callerName, int *status);
/* out (resized to in's dim) holding in's elements; NULL on failure. */
KVELO_API IVEC *_LM_iv_copy(IVEC *in, IVEC *out, int callerLine, const char *callerName,
                            int *status);
/* in[i0 .. i0+len-1] to out[i1 .. i1+len-1], out grown when short; NULL on failure. */
KVELO_API IVEC *_LM_iv_move(IVEC *in, int i0, int len, IVEC *out, int i1, int callerLine,
                            const char *callerName, int *status);
/* out[i] = a[i] + b[i] (32-bit wrap-around); out may be a or b; NULL on failure. */
KVELO_API IVEC *_LM_iv_add(IVEC *a, IVEC *b, IVEC *out, int callerLine, const char *callerName,
                           int *status);
/* out[i] = a[i] - b[i] (32-bit wrap-around); out may be a or b; NULL on failure. */
KVELO_API IVEC *_LM_iv_sub(IVEC *a, IVEC *b, IVEC *out, int callerLine, const char *callerName,
                           int *status);
/* Sorts x ascending in place; order (when given, resized to x's dim) receives the former
 * position of each element; O(n log n) on any input; returns x, or NULL on failure. */
KVELO_API IVEC *_LM_iv_sort(IVEC *x, PERM *order, int callerLine, const char *callerName,
                            int *status);
/* Returns the 32-bit wrap-around sum of the elements (0 when empty), or -1 for NULL. */
KVELO_API int _LM_iv_sum(IVEC *x, int callerLine, const char *callerName, int *status);
/* Returns the largest element (first position stored in *index when index is given);
 * -1 for NULL (code 8) or an empty vector (code 1). */
KVELO_API int _LM_iv_max(IVEC *x, int *index, int callerLine, const char *callerName,
                         int *status);
/* Returns 1 when a and b hold equal elements, 0 when not; -1 for NULL (8) or empty (1). */
KVELO_API int _LM_iv_cmp(IVEC *a, IVEC *b, int callerLine, const char *callerName, int *status);
/* Writes the text form "IntVector: dim: n" and eight values a line; returns the last
 * stream result. */
KVELO_API int iv_foutput(FILE *fp, IVEC *iv);
/* Writes the text form with capacity, block address and all max_dim values. */
KVELO_API int iv_dump(FILE *fp, IVEC *iv);
/* Reads the text form into iv (created, or resized to the heading's dim); NULL on failure
 * (6 bad format or size above 2001, 7 end of input); a refused form leaves iv as it was. */
KVELO_API IVEC *_LM_iv_finput(FILE *fp, IVEC *iv, int callerLine, const char *callerName,
                              int *status);
/* The reader behind _LM_iv_finput; the int *status comes as the variable argument. */
KVELO_API IVEC *_LM_biv_finput(FILE *fp, IVEC *iv, int callerLine, const char *callerName, ...);
/* Sets x[i] = 0 for i < dim; returns x, or NULL for NULL (code 8). */
KVELO_API IVEC *_LM_iv_zero(IVEC *x, int callerLine, const char *callerName, int *status);

/* Several IVEC variables at once, as the VEC families. */
KVELO_API int _LM_iv_get_vars(const char *tag, int context, int callerLine,
                              const char *callerName, int *status, int dim, ...);
KVELO_API int _LM_iv_resize_vars(const char *tag, int context, int callerLine,
                                 const char *callerName, int *status, int dim, ...);
KVELO_API int iv_free_vars(IVEC **first, ...);

/* The LVEC twins of the IVEC operations above (values are 32-bit quantities). */
KVELO_API LVEC *_LM_lv_get(const char *tag, int context, int dim, int callerLine,
                           const char *callerName, int *status);
KVELO_API int lv_free(LVEC *lv);
KVELO_API LVEC *_LM_lv_resize(const char *tag, int context, LVEC *lv, int dim, int callerLine,
                              const char *callerName, int *status);
KVELO_API LVEC *_LM_lv_copy(LVEC *in, LVEC *out, int callerLine, const char *callerName,
                            int *status);
KVELO_API LVEC *_LM_lv_move(LVEC *in, int i0, int len, LVEC *out, int i1, int callerLine,
                            const char *callerName, int *status);
KVELO_API LVEC *_LM_lv_add(LVEC *a, LVEC *b, LVEC *out, int callerLine, const char *callerName,
                           int *status);
KVELO_API LVEC *_LM_lv_sub(LVEC *a, LVEC *b, LVEC *out, int callerLine, const char *callerName,
                           int *status);
KVELO_API LVEC *_LM_lv_sort(LVEC *x, PERM *order, int callerLine, const char *callerName,
                            int *status);
/* "LongVector: dim: n" and sixteen values a line. */
KVELO_API int lv_foutput(FILE *fp, LVEC *lv);
KVELO_API int lv_dump(FILE *fp, LVEC *lv);
/* Values outside the 32-bit range are refused (code 6); a refused form leaves lv as it was. */
KVELO_API LVEC *_LM_lv_finput(FILE *fp, LVEC *lv, int callerLine, const char *callerName,
                              int *status);
KVELO_API LVEC *_LM_blv_finput(FILE *fp, LVEC *lv, int callerLine, const char *callerName, ...);

/* ---------------------------------------------------------------------------------------
 * Real vector arithmetic. Outputs are sized to the operands when NULL or of another dim;
 * every result record must be used from then on. Failures: 8 NULL operand, 1 sizes differ,
 * 2 offset out of bounds, 4 zero divisor, 12 output equal to an input where not allowed;
 * a record made by the operation itself is freed when it then fails.
 * ------------------------------------------------------------------------------------- */

/* Returns the sum of a[i]*b[i] for i0 <= i < min(a.dim, b.dim); 0.0 after an error. */
KVELO_API double _LM__in_prod(VEC *a, VEC *b, unsigned int i0, int callerLine,
                              const char *callerName, int *status);
/* out = s*x (s == 0: exact zeros; s == 1: exact copy); NULL on failure. */
KVELO_API VEC *_LM_sv_mlt(double s, VEC *x, VEC *out, int callerLine, const char *callerName,
                          int *status);
/* out = x + y; NULL on failure. */
KVELO_API VEC *_LM_v_add(VEC *x, VEC *y, VEC *out, int callerLine, const char *callerName,
                         int *status);
/* out = x - y; NULL on failure. */
KVELO_API VEC *_LM_v_sub(VEC *x, VEC *y, VEC *out, int callerLine, const char *callerName,
                         int *status);
/* out = x + s*y; out may be x or y; NULL on failure. */
KVELO_API VEC *_LM_v_mltadd(VEC *x, VEC *y, double s, VEC *out, int callerLine,
                            const char *callerName, int *status);
/* out[i] = f(x[i]) in index order; NULL on failure. */
KVELO_API VEC *_LM_v_map(double (*f)(double), VEC *x, VEC *out, int callerLine,
                         const char *callerName, int *status);
/* out[i] = f(params, x[i]) in index order; NULL on failure. */
KVELO_API VEC *_LM__v_map(double (*f)(void *, double), void *params, VEC *x, VEC *out,
                          int callerLine, const char *callerName, int *status);
/* out = sum of a[k]*v[k], k < n; out may be v[0] but no other v[k]; NULL for n <= 0 (no
 * error) or on failure (every vector is checked first: a refused vector leaves out as it
 * was). */
KVELO_API VEC *_LM_v_lincomb(int n, VEC **v, double *a, VEC *out, int callerLine,
                             const char *callerName, int *status);
/* out[i] = x[i]*y[i]; NULL on failure. */
KVELO_API VEC *_LM_v_star(VEC *x, VEC *y, VEC *out, int callerLine, const char *callerName,
                          int *status);
/* out[i] = y[i] / x[i] (x[i] == 0: code 4, earlier quotients written); NULL on failure. */
KVELO_API VEC *_LM_v_slash(VEC *x, VEC *y, VEC *out, int callerLine, const char *callerName,
                           int *status);
/* Returns the smallest entry (first index in *index when given); a NaN entry is the result,
 * its index the first NaN's; 0.0 after an error (8, or 1 for an empty vector). */
KVELO_API double _LM_v_min(VEC *x, int *index, int callerLine, const char *callerName,
                           int *status);
/* Returns the largest entry, as _LM_v_min. */
KVELO_API double _LM_v_max(VEC *x, int *index, int callerLine, const char *callerName,
                           int *status);
/* Returns 0.0 + x[0] + x[1] + ... in index order (partial sums that overflow do not lose a
 * total within range); 0.0 after an error. */
KVELO_API double _LM_v_sum(VEC *x, int callerLine, const char *callerName, int *status);
/* Sorts x ascending in place; order (when given, resized to x's dim) receives the former
 * index of each entry; NaNs go last; O(n log n) on any input; returns x, or NULL on failure. */
KVELO_API VEC *_LM_v_sort(VEC *x, PERM *order, int callerLine, const char *callerName,
                          int *status);

/* ---------------------------------------------------------------------------------------
 * Real matrix arithmetic and matrix-vector products; same conventions. Failures also
 * 11 in-place transpose of a non-square matrix.
 * ------------------------------------------------------------------------------------- */

/* out = A + B; NULL on failure. */
KVELO_API MAT *_LM_m_add(MAT *A, MAT *B, MAT *out, int callerLine, const char *callerName,
                         int *status);
/* out = A - B; NULL on failure. */
KVELO_API MAT *_LM_m_sub(MAT *A, MAT *B, MAT *out, int callerLine, const char *callerName,
                         int *status);
/* out = s*A (no shortcut for 0 or 1); NULL on failure. */
KVELO_API MAT *_LM_sm_mlt(double s, MAT *A, MAT *out, int callerLine, const char *callerName,
                          int *status);
/* out = A*B (out not A or B); NULL on failure. */
KVELO_API MAT *_LM_m_mlt(MAT *A, MAT *B, MAT *out, int callerLine, const char *callerName,
                         int *status);
/* out = A*B^T (out not A or B); NULL on failure. */
KVELO_API MAT *_LM_mmtr_mlt(MAT *A, MAT *B, MAT *out, int callerLine, const char *callerName,
                            int *status);
/* out = A^T*B (out not A or B); NULL on failure. */
KVELO_API MAT *_LM_mtrm_mlt(MAT *A, MAT *B, MAT *out, int callerLine, const char *callerName,
                            int *status);
/* out = A*b (out not b); NULL on failure. */
KVELO_API VEC *_LM_mv_mlt(MAT *A, VEC *b, VEC *out, int callerLine, const char *callerName,
                          int *status);
/* out = b^T*A (out not b); NULL on failure. */
KVELO_API VEC *_LM_vm_mlt(MAT *A, VEC *b, VEC *out, int callerLine, const char *callerName,
                          int *status);
/* out = A^T (in place for a square A only); NULL on failure. */
KVELO_API MAT *_LM_m_transp(MAT *A, MAT *out, int callerLine, const char *callerName,
                            int *status);
/* Exchanges rows i and j of A over columns lo..hi (clamped to the row); returns A. */
KVELO_API MAT *_LM_swap_rows(MAT *A, int i, int j, int lo, int hi, int callerLine,
                             const char *callerName, int *status);
/* Exchanges columns i and j of A over rows lo..hi (clamped to the column); returns A. */
KVELO_API MAT *_LM_swap_cols(MAT *A, int i, int j, int lo, int hi, int callerLine,
                             const char *callerName, int *status);
/* out = A + s*B, sized by the copy of A; out may be A or B; NULL on failure. */
KVELO_API MAT *_LM_ms_mltadd(MAT *A, MAT *B, double s, MAT *out, int callerLine,
                             const char *callerName, int *status);
/* out = A + s*B, out sized to A first; out may be A or B; NULL on failure. */
KVELO_API MAT *_LM_m_mltadd(MAT *A, MAT *B, double s, MAT *out, int callerLine,
                            const char *callerName, int *status);
/* out = x + s*A*y (out may be x, not y); NULL on failure. */
KVELO_API VEC *_LM_mv_mltadd(VEC *x, VEC *y, MAT *A, double s, VEC *out, int callerLine,
                             const char *callerName, int *status);
/* out^T = x^T + s*y^T*A (out may be x, not y); NULL on failure. */
KVELO_API VEC *_LM_vm_mltadd(VEC *x, VEC *y, MAT *A, double s, VEC *out, int callerLine,
                             const char *callerName, int *status);

/* ---------------------------------------------------------------------------------------
 * Rows, columns and views. A view shares another record's elements and owns none: free a
 * matrix view with m_free and a vector view with v_free (both leave the viewed block
 * alone). A record that owns a block is never turned into a view (code 12).
 * Failures: 8 NULL, 10 row or column out of range, 3 allocation.
 * ------------------------------------------------------------------------------------- */

/* out[i] = A[i][j], i < A.m (out grown only when NULL or shorter); NULL on failure. */
KVELO_API VEC *_LM_get_col(MAT *A, unsigned int j, VEC *out, int callerLine,
                           const char *callerName, int *status);
/* out[j] = A[i][j], j < A.n (out grown only when NULL or shorter); NULL on failure. */
KVELO_API VEC *_LM_get_row(MAT *A, unsigned int i, VEC *out, int callerLine,
                           const char *callerName, int *status);
/* A[i][j] = v[i] for i0 <= i < min(A.m, v.dim); returns A, or NULL on failure. */
KVELO_API MAT *_LM__set_col(MAT *A, unsigned int j, VEC *v, unsigned int i0, int callerLine,
                            const char *callerName, int *status);
/* A[i][j] = v[j] for j0 <= j < min(A.n, v.dim); returns A, or NULL on failure. */
KVELO_API MAT *_LM__set_row(MAT *A, unsigned int i, VEC *v, unsigned int j0, int callerLine,
                            const char *callerName, int *status);
/* View of rows row1..row2 and columns col1..col2 of A in out (NULL: a new header; a view:
 * reused, its row table grown when short); NULL on failure. */
KVELO_API MAT *_LM_sub_mat(MAT *A, unsigned int row1, unsigned int col1, unsigned int row2,
                           unsigned int col2, MAT *out, int callerLine, const char *callerName,
                           int *status);
/* View of entries i1..i2 of v in out (NULL: a new header; a view: reused); NULL on failure. */
KVELO_API VEC *_LM_sub_vec(VEC *v, int i1, int i2, VEC *out, int callerLine,
                           const char *callerName, int *status);

/* ---------------------------------------------------------------------------------------
 * Norms (-1.0 after an error: 8 NULL, 1 scale shorter than x). A scale entry of exactly 0
 * leaves its entry unscaled. A NaN entry makes every norm NaN.
 * ------------------------------------------------------------------------------------- */

/* Returns the sum of |x[i] / scale[i]| (scale may be NULL). */
KVELO_API double _LM__v_norm1(VEC *x, VEC *scale, int callerLine, const char *callerName,
                              int *status);
/* Returns the Euclidean norm of the scaled entries; no overflow or underflow short of the
 * result's own. */
KVELO_API double _LM__v_norm2(VEC *x, VEC *scale, int callerLine, const char *callerName,
                              int *status);
/* Returns the largest |scaled entry|. */
KVELO_API double _LM__v_norm_inf(VEC *x, VEC *scale, int callerLine, const char *callerName,
                                 int *status);
/* Returns the largest column sum of |A[i][j]|. */
KVELO_API double _LM_m_norm1(MAT *A, int callerLine, const char *callerName, int *status);
/* Returns the largest row sum of |A[i][j]|. */
KVELO_API double _LM_m_norm_inf(MAT *A, int callerLine, const char *callerName, int *status);
/* Returns the square root of the sum of the squared entries; no overflow or underflow
 * short of the result's own. */
KVELO_API double _LM_m_norm_frob(MAT *A, int callerLine, const char *callerName, int *status);

/* ---------------------------------------------------------------------------------------
 * Permutations: pe[i] = j means position i takes the element of position j. Every operation
 * that reads a permutation (all but _LM_px_transp) needs a true one, each of 0 .. size-1
 * once: its entries are checked before any output is sized or written, and one out of range
 * or repeated is refused with code 2, nothing changed. Failures: 8 NULL, 1 sizes differ,
 * 2 not a permutation, 12 output equal to an input where not allowed.
 * ------------------------------------------------------------------------------------- */

/* out = px^-1 (out may be px; an invalid px leaves px and out unchanged); NULL on failure. */
KVELO_API PERM *_LM_px_inv(PERM *px, PERM *out, int callerLine, const char *callerName,
                           int *status);
/* out[i] = p1[p2[i]], both checked (out grown only when NULL or smaller); NULL on failure. */
KVELO_API PERM *_LM_px_mlt(PERM *p1, PERM *p2, PERM *out, int callerLine,
                           const char *callerName, int *status);
/* out[i] = x[px[i]], i < px.size (out may be x); NULL on failure. */
KVELO_API VEC *_LM_px_vec(PERM *px, VEC *x, VEC *out, int callerLine, const char *callerName,
                          int *status);
/* out[px[i]] = x[i], i < px.size (out may be x); NULL on failure. */
KVELO_API VEC *_LM_pxinv_vec(PERM *px, VEC *x, VEC *out, int callerLine,
                             const char *callerName, int *status);
/* Exchanges entries i and j when both are below px.size (entries not checked); returns px
 * (NULL: code 8). */
KVELO_API PERM *_LM_px_transp(PERM *px, unsigned int i, unsigned int j, int callerLine,
                              const char *callerName, int *status);
/* +1 for an even permutation, -1 for an odd one; 0 after an error (8; 2: not a permutation). */
KVELO_API int _LM_px_sign(PERM *px, int callerLine, const char *callerName, int *status);
/* Column i of A becomes column px[i] of out (a new matrix when out is NULL or of another
 * shape; out not A); NULL on failure. */
KVELO_API MAT *_LM_px_cols(PERM *px, MAT *A, MAT *out, int callerLine, const char *callerName,
                           int *status);
/* Row i of out = row px[i] of A (as _LM_px_cols); NULL on failure. */
KVELO_API MAT *_LM_px_rows(PERM *px, MAT *A, MAT *out, int callerLine, const char *callerName,
                           int *status);

/* ---------------------------------------------------------------------------------------
 * Fills (each returns its argument, or NULL with code 8 for NULL) and the library's own
 * uniform generator (lagged subtractive, modulus 2^31 - 1; process-wide state, unguarded;
 * seeded with 3127 at the first draw when smrand was never called).
 * ------------------------------------------------------------------------------------- */

KVELO_API VEC *_LM_v_zero(VEC *x, int callerLine, const char *callerName, int *status);
KVELO_API MAT *_LM_m_zero(MAT *A, int callerLine, const char *callerName, int *status);
/* Zeros with 1.0 on the leading diagonal. */
KVELO_API MAT *_LM_m_ident(MAT *A, int callerLine, const char *callerName, int *status);
KVELO_API PERM *_LM_px_ident(PERM *px, int callerLine, const char *callerName, int *status);
KVELO_API VEC *_LM_v_ones(VEC *x, int callerLine, const char *callerName, int *status);
KVELO_API MAT *_LM_m_ones(MAT *A, int callerLine, const char *callerName, int *status);
/* Fills x with the next x.dim draws of mrand. */
KVELO_API VEC *_LM_v_rand(VEC *x, int callerLine, const char *callerName, int *status);
/* Fills A row by row with draws of mrand. */
KVELO_API MAT *_LM_m_rand(MAT *A, int callerLine, const char *callerName, int *status);
/* Returns the next uniform draw in [0, 1). */
KVELO_API double mrand(void);
/* Reseeds the generator (the stream position indices stay where they are). */
KVELO_API void smrand(int seed);
/* Writes the next len draws to a[0 .. len-1]. */
KVELO_API void mrandlist(double *a, int len);

/* ---------------------------------------------------------------------------------------
 * LU factorisation (scaled partial pivoting, in place) and triangular solves. A zero pivot
 * surfaces as code 4 from the solve that divides by it. The factorisation, inverse and
 * condition estimate keep work records in process-wide pointers (registered with the
 * static-work registry): they are not re-entrant. Failures: 8 NULL, 1 sizes differ,
 * 4 zero divisor, 9 not square, 7 factors or inverse beyond the range of double.
 * ------------------------------------------------------------------------------------- */

/* Overwrites the m x n A with L (unit, below the diagonal; every one of the min(m, n)
 * columns eliminated) and U, so that P*A = L*U with pivot[i] = original row now at i;
 * returns A, or NULL on failure. Only finite factors are handed out: an A holding a NaN or
 * an infinity, or one whose factors overflow (1e308 [[1, 1], [-1, 1]]: U holds 2e308), is
 * refused with code 7, A and pivot as they were (a copy of both is taken first: code 3 when
 * it cannot be). */
KVELO_API MAT *_LM_LUfactor(MAT *A, PERM *pivot, int callerLine, const char *callerName,
                            int *status);
/* x with A*x = b from the factors (x may be b); NULL on failure (x as it was). */
KVELO_API VEC *_LM_LUsolve(MAT *LU, PERM *pivot, VEC *b, VEC *x, int callerLine,
                           const char *callerName, int *status);
/* x with A^T*x = b from the factors (x may be b); NULL on failure (x as it was). */
KVELO_API VEC *_LM_LUTsolve(MAT *LU, PERM *pivot, VEC *b, VEC *x, int callerLine,
                            const char *callerName, int *status);
/* out holding A^-1 in its leading block (out grown when NULL or smaller); NULL on failure,
 * out as it was: a singular A (code 4), an A holding a NaN or an infinity or an inverse
 * beyond the range of double (code 7). A is factored scaled by a power of two, so entries
 * near the ends of the range lose nothing. */
KVELO_API MAT *_LM_m_inverse(MAT *A, MAT *out, int callerLine, const char *callerName,
                             int *status);
/* Returns an estimate of the infinity-norm condition number of A from its factors
 * (HUGE_VAL for a zero on U's diagonal), the same for A and for A times any power of two,
 * subnormal entries and entries near the largest double included; 0.0 after a failed check
 * or step, -1.0 when the work vectors (or, for such extreme entries, a scaled copy of the
 * factors) cannot be made. */
KVELO_API double _LM_LUcondest(MAT *LU, PERM *pivot, int callerLine, const char *callerName,
                               int *status);
/* out with U*out = b, U upper triangular (diag 0.0: U's diagonal, else diag); NULL on
 * failure. All five solves accept out == b; a zero divisor (code 4) is found before out is
 * sized or written. */
KVELO_API VEC *_LM_Usolve(MAT *U, VEC *b, VEC *out, double diag, int callerLine,
                          const char *callerName, int *status);
/* out with L*out = b, L lower triangular. */
KVELO_API VEC *_LM_Lsolve(MAT *L, VEC *b, VEC *out, double diag, int callerLine,
                          const char *callerName, int *status);
/* out with U^T*out = b. */
KVELO_API VEC *_LM_UTsolve(MAT *U, VEC *b, VEC *out, double diag, int callerLine,
                           const char *callerName, int *status);
/* out with L^T*out = b. */
KVELO_API VEC *_LM_LTsolve(MAT *L, VEC *b, VEC *out, double diag, int callerLine,
                           const char *callerName, int *status);
/* out[i] = b[i] / A[i][i]. */
KVELO_API VEC *_LM_Dsolve(MAT *A, VEC *b, VEC *out, int callerLine, const char *callerName,
                          int *status);

/* ---------------------------------------------------------------------------------------
 * Text forms of MAT, VEC and PERM. Printers and dumps check only for NULL and return the
 * result of their last stream call. Readers skip blank space and '#' comment lines before
 * headings and rows, refuse sizes above 2001 and fail with 6 (bad format), 7 (end of input;
 * 18 in a matrix heading) or 2 (a permutation image out of range or repeated); a number
 * beyond its type (an integer outside long long, a value beyond the largest double) is a bad
 * format (6), never wrapped. A record handed in takes the heading's size, grown or cut down
 * as by its resize (an empty heading gives one zero element), never written past. A refused
 * form leaves a record handed in exactly as it was; nothing is made when none was.
 * ------------------------------------------------------------------------------------- */

/* Skips white space and '#' comment lines; the next character stays unread; returns 0. */
KVELO_API int skipjunk(FILE *fp);
/* "Matrix: m by n" then "row i: " and the values, "%14.9g " with line breaks. */
KVELO_API int m_foutput(FILE *fp, MAT *A);
/* As m_foutput with capacities and addresses. */
KVELO_API int m_dump(FILE *fp, MAT *A);
/* "Vector: dim: n" then five values a line. */
KVELO_API int v_foutput(FILE *fp, VEC *x);
KVELO_API int v_dump(FILE *fp, VEC *x);
/* "Permutation: size: n" then "i->pe[i] " entries, eight a line. */
KVELO_API int px_foutput(FILE *fp, PERM *px);
KVELO_API int px_dump(FILE *fp, PERM *px);
/* Reads a matrix into A (created when NULL, else sized to the heading); NULL on failure. */
KVELO_API MAT *_LM_m_finput(FILE *fp, MAT *A, int callerLine, const char *callerName,
                            int *status);
/* Reads a vector into x (created when NULL, else sized to the heading); a value that cannot
 * be read is reported, reading goes on, and x comes back as it was handed in (NULL when none
 * was) with the status -1; NULL when the heading fails. */
KVELO_API VEC *_LM_v_finput(FILE *fp, VEC *x, int callerLine, const char *callerName,
                            int *status);
/* Reads a permutation into px (created when NULL, else sized to the heading); NULL on
 * failure. */
KVELO_API PERM *_LM_px_finput(FILE *fp, PERM *px, int callerLine, const char *callerName,
                              int *status);
/* The readers behind the three above; the int *status comes as the variable argument. */
KVELO_API MAT *_LM_bm_finput(FILE *fp, MAT *A, int callerLine, const char *callerName, ...);
KVELO_API VEC *_LM_bfin_vec(FILE *fp, VEC *x, int callerLine, const char *callerName, ...);
KVELO_API PERM *_LM_bpx_finput(FILE *fp, PERM *px, int callerLine, const char *callerName, ...);


KVELO_C_END

#endif
