/* matrix.h: the C matrix library: its records and their operations, with C linkage.
 * Calling convention: `_LM_<op>` operations end with (callerLine, callerName, int *status);
 * the process-wide status word `_LM_err_status` is cleared on entry, an error goes through
 * `_LM_error` (message 3100 + code) and leaves -1 in *status, and the operation then returns
 * NULL or -1. Allocators and resizers begin with a caller tag and a context number that
 * change nothing. Records own their blocks; views own none. Nothing here is thread-safe:
 * the status word and the accounting state are process-wide and unguarded. */
#ifndef KVELO_MATRIX_H
#define KVELO_MATRIX_H

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
 * by NULL. Get/resize return how many were handled, or -1 at the first failure (the failing
 * get leaves NULL, a failing resize leaves the old record in place). */
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

KVELO_C_END

#endif
