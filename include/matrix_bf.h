/* matrix_bf.h: portable binary forms of the C matrix library's records. A form is a plain
 * sequence of big-endian values (int32, long32, float64) with no header, magic number or
 * padding; several records may follow one another in one stream and are read back in the
 * same order. The sparse-matrix records CSP, SK and ZSK are built by the caller and only
 * written; csp_2_sk_disk writes a compressed sparse matrix in skyline form.
 * Writers set *err to 0 or -1 (a failed flush is reported as "Write error: %s\n" under
 * "CHKDISK"); readers return the record read, or NULL with *err -1, and leave the record
 * they were given untouched on every failure (a truncated or corrupted stream included).
 * The status word is process-wide and unguarded, as everywhere in the library. */
#ifndef KVELO_MATRIX_BF_H
#define KVELO_MATRIX_BF_H

#include <stdio.h>

#include "kvelo_export.h"
#include "matrix.h"
#include "zmatrix.h"

/* Compressed sparse rows: row_count[i] stored entries in row i; the column and the value of
 * each stored entry, rows one after another. */
typedef struct {
  int m;
  int n;
  IVEC *row_count;
  IVEC *col_index;
  VEC *value;
} CSP;

/* Skyline (lower profile by rows): profile_ptr has n + 1 one-based entries (entry 0 is 1,
 * entry i+1 - entry i is the length of row i's profile); profile holds each row from its
 * first stored column up to the diagonal; diag the diagonal. */
typedef struct {
  int m;
  int n;
  IVEC *profile_ptr;
  VEC *profile;
  VEC *diag;
} SK;

/* Complex skyline: the profile pointers and two complex vectors, in record order. */
typedef struct {
  int m;
  int n;
  IVEC *profile_ptr;
  ZVEC *zfirst;
  ZVEC *zsecond;
} ZSK;

/* Complex compressed sparse record: the library neither builds nor stores it. */
typedef struct ZCSP ZCSP;

KVELO_C_BEGIN

/* ---------------------------------------------------------------------------------------
 * Writers (FILE *fp, record, int *err): err 0, or -1 for a NULL fp, a NULL record (except
 * iv_boutput, which writes NULL as the empty form), sizes the form cannot hold, a failed
 * write (part of the form may be in the stream) or a failed flush.
 * ------------------------------------------------------------------------------------- */

/* int32 dim, then dim int32; NULL or dim <= 0 is the single int32 0. */
KVELO_API void iv_boutput(FILE *fp, IVEC *iv, int *err);
/* int32 dim, then dim long32; dim <= 0 is the single int32 0; a value that needs more than
 * 32 bits is refused before anything is written. */
KVELO_API void lv_boutput(FILE *fp, LVEC *lv, int *err);
/* int32 dim, then dim float64; dim <= 0 is the single int32 0. */
KVELO_API void v_boutput(FILE *fp, VEC *v, int *err);
/* int32 dim, then dim (real, imaginary) float64 pairs; dim <= 0 is the single int32 0. */
KVELO_API void zv_boutput(FILE *fp, ZVEC *v, int *err);
/* int32 size (> 0), then size int32 entries. */
KVELO_API void px_boutput(FILE *fp, PERM *px, int *err);
/* int32 m (> 0), int32 n (> 0), then the rows, n float64 each. */
KVELO_API void m_boutput(FILE *fp, MAT *A, int *err);
/* int32 m (> 0), int32 n (> 0), then the rows, n (real, imaginary) float64 pairs each. */
KVELO_API void zm_boutput(FILE *fp, ZMAT *A, int *err);
/* m, n (> 0), then the IVEC forms of row_count and col_index and the VEC form of value. */
KVELO_API void csp_boutput(FILE *fp, CSP *A, int *err);
/* m, n (> 0), then the IVEC form of profile_ptr, the VEC form of diag, then of profile. */
KVELO_API void sk_boutput(FILE *fp, SK *A, int *err);
/* m, n (> 0), then the IVEC form of profile_ptr and the ZVEC forms of zfirst and zsecond. */
KVELO_API void zsk_boutput(FILE *fp, ZSK *A, int *err);
/* Writes nothing; err 0. */
KVELO_API void zcsp_boutput(FILE *fp, ZCSP *A, int *err);

/* ---------------------------------------------------------------------------------------
 * Readers (FILE *fp, record to reuse or NULL, callerLine, callerName, int *err): the form is
 * read and checked whole (sizes against what the file holds, in 64 bits) before the record
 * is resized through its resizer and filled; the result is the record to use from then on.
 * Memory grows with the values that arrive, never with a size the form merely names. A
 * failed resize reports its own code (20 negative size, 3 no memory). Stricter than the
 * forms strictly need, and on purpose: a negative vector dim (no writer makes one) fails
 * with err -1 instead of reading as empty; a PERM must hold each of 0 .. size-1 once; a
 * matrix form with one size 0 and the other not fails.
 * ------------------------------------------------------------------------------------- */

/* IVEC; a dim of 0 returns NULL with err 0 and leaves reuse untouched; dim < 0 fails. */
KVELO_API IVEC *_LM_iv_binput(FILE *fp, IVEC *reuse, int callerLine, const char *callerName,
                              int *err);
/* LVEC; a dim of 0 gives reuse (or a new vector) with dim 0; dim < 0 fails. */
KVELO_API LVEC *_LM_lv_binput(FILE *fp, LVEC *reuse, int callerLine, const char *callerName,
                              int *err);
/* VEC; a dim of 0 gives reuse (or a new vector) with dim 0; dim < 0 fails. */
KVELO_API VEC *_LM_v_binput(FILE *fp, VEC *reuse, int callerLine, const char *callerName,
                            int *err);
/* ZVEC; a dim of 0 gives reuse (or a new vector) with dim 0; dim < 0 fails. */
KVELO_API ZVEC *_LM_zv_binput(FILE *fp, ZVEC *reuse, int callerLine, const char *callerName,
                              int *err);
/* PERM; size 0, or entries that are not a permutation of 0 .. size-1, fail. */
KVELO_API PERM *_LM_px_binput(FILE *fp, PERM *reuse, int callerLine, const char *callerName,
                              int *err);
/* MAT; m or n 0 alone fails; 0 x 0 gives the 1 x 1 matrix of the resize. */
KVELO_API MAT *_LM_m_binput(FILE *fp, MAT *reuse, int callerLine, const char *callerName,
                            int *err);
/* ZMAT; m or n 0 alone fails; 0 x 0 gives a 0 x 0 matrix. */
KVELO_API ZMAT *_LM_zm_binput(FILE *fp, ZMAT *reuse, int callerLine, const char *callerName,
                              int *err);

/* The sparse records are never read: these read nothing, set err to 0 and return NULL. */
KVELO_API CSP *csp_binput(FILE *fp, int *err);
KVELO_API SK *sk_binput(FILE *fp, int *err);
KVELO_API ZCSP *zcsp_binput(FILE *fp, int *err);
KVELO_API ZSK *zsk_binput(FILE *fp, int *err);

/* Writes the SK form of the lower profile of the square CSP matrix A to path (created or
 * truncated): entries above the diagonal are ignored, the last diagonal entry of a row gives
 * its diagonal value. err -1 without creating the file when A is NULL, not square, empty or
 * inconsistent (counts beyond the stored entries, a column outside 0 .. n-1, a row whose
 * first stored column lies beyond the row or is not its smallest); -1 also when the file
 * cannot be opened or written. */
KVELO_API void csp_2_sk_disk(CSP *A, const char *path, int *err);

KVELO_C_END

#endif
