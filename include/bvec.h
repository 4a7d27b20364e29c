/* bvec.h: bit vectors of the C matrix library: which of the nb_ddl elements 0 .. nb_ddl-1 of
 * a set are active, kept in one of five storage kinds chosen at creation:
 *   1 BLOC   sorted closed runs [deb_blocs[k], fin_blocs[k]], k < nb_blocs (a run may start
 *            on the element where the previous one ends; that element counts once);
 *   2 CODAGE nb_blocs 32-bit words, element i being bit i mod 32 of word i / 32;
 *   3 IVEC   the active elements, strictly increasing, in code[0 .. nb_blocs-1];
 *   4 direct one int flag per element in code (1 active);
 *   5 TOUT   every element active, nothing stored.
 * All lists are IVEC records owned by the bit vector. Operations with a status follow the
 * C matrix library's protocol (0 or -1; codes 3 no memory, 20 negative size); the others
 * report refusals through their result. Refusals leave a trace mark naming the operation.
 * The iterator (iter_num, iter_pos) belongs to the record: walks, prints, conversions and
 * set operations reset it. Nothing here is thread-safe: one thread at a time per record. */
#ifndef KVELO_BVEC_H
#define KVELO_BVEC_H

#include <stdio.h>

#include "kvelo_export.h"
#include "matrix.h"

typedef struct {
  int type_stockage; /* storage kind, 1 to 5 */
  int nb_ddl;        /* number of elements of the set */
  int nb_blocs;      /* BLOC runs, CODAGE words, IVEC entries in use; 0 otherwise */
  int max_blocs;     /* BLOC/IVEC list capacity; CODAGE -1; direct nb_ddl; TOUT 0 */
  IVEC *deb_blocs;   /* BLOC: first element of each run */
  IVEC *fin_blocs;   /* BLOC: last element of each run */
  IVEC *code;        /* CODAGE words, IVEC list, direct flags */
  int iter_num;      /* iterator: run, word, list position or element */
  int iter_pos;      /* iterator: offset, bit or candidate element */
} BVEC;

KVELO_C_BEGIN

/* ---------------------------------------------------------------------------------------
 * Allocation, copy and release. Getters return NULL on failure (code 20 for a negative
 * size, 3 when memory is short); nothing is left allocated then.
 * ------------------------------------------------------------------------------------- */

/* New bit vector of kind 2, 4 or 5 (3 is refused: status -1, NULL), any other kind a BLOC of
 * capacity 100; no element active. */
KVELO_API BVEC *_LM_bv_get(const char *caller, int context, int kind, int nb_ddl, int line,
                           const char *callerName, int *status);
/* New BLOC bit vector without runs, room for max_blocs runs. */
KVELO_API BVEC *_LM_bv_get_bloc(const char *caller, int context, int nb_ddl, int max_blocs,
                                int line, const char *callerName, int *status);
/* New CODAGE bit vector of nb_ddl / 32 + 1 zero words. */
KVELO_API BVEC *_LM_bv_get_codage(const char *caller, int context, int nb_ddl, int line,
                                  const char *callerName, int *status);
/* New IVEC bit vector with an empty list of capacity max_blocs. */
KVELO_API BVEC *_LM_bv_get_ivec(const char *caller, int context, int nb_ddl, int max_blocs,
                                int line, const char *callerName, int *status);
/* New direct bit vector of nb_ddl zero flags. */
KVELO_API BVEC *_LM_bv_get_direct(const char *caller, int context, int nb_ddl, int line,
                                  const char *callerName, int *status);
/* New TOUT bit vector of nb_ddl elements. */
KVELO_API BVEC *_LM_bv_get_tout(const char *caller, int context, int nb_ddl, int line,
                                const char *callerName, int *status);
/* Raises the run capacity of a BLOC (or the list capacity of an IVEC) bit vector to
 * max_blocs (never lowers it; other kinds unchanged); NULL bv gives a new BLOC of nb_ddl
 * elements. NULL on failure (code 20 for a negative capacity, 3), bv then unchanged. */
KVELO_API BVEC *_LM_bv_resize_bloc(const char *caller, int context, BVEC *bv, int nb_ddl,
                                   int max_blocs, int line, const char *callerName, int *status);
/* Sets the element count of a CODAGE bit vector to nb_ddl, growing (never shrinking) its word
 * list; NULL bv gives a new one. NULL with status 0 for nb_ddl <= 0; NULL with status -1 for a
 * bit vector of another kind or when memory is short. */
KVELO_API BVEC *_LM_bv_resize_codage(const char *caller, int context, BVEC *bv, int nb_ddl,
                                     int line, const char *callerName, int *status);
/* Frees bv and its lists: 0, or -1 for NULL. */
KVELO_API int _LM_bv_free(BVEC *bv);
/* dst becomes a copy of src and is returned (a new record when dst is NULL). An IVEC, direct
 * or TOUT copy frees a dst of another kind and returns a new record; a BLOC or CODAGE copy
 * refuses such a dst (status -1, NULL). NULL for a NULL src or on failure. */
KVELO_API BVEC *_LM_bv_copy(BVEC *src, BVEC *dst, const char *callerName, int *status);
/* The active elements of src inserted into dst (a new bit vector of kind `kind` when NULL;
 * the same kind copies); dst must hold no active element. NULL on failure (a dst made here
 * is freed then); a BLOC, CODAGE or IVEC dst over fewer elements than src is refused
 * unchanged. Resets src's iterator. */
KVELO_API BVEC *_LM_bv_to_bv(BVEC *src, BVEC *dst, int kind, int *status);

/* ---------------------------------------------------------------------------------------
 * Elements. Element numbers are 0 .. nb_ddl-1.
 * ------------------------------------------------------------------------------------- */

/* CODAGE only: makes element i active; 0, or -1 (other kinds, NULL, i outside the set). */
KVELO_API int _LM_bv_set_on(BVEC *bv, int i);
/* CODAGE only: makes element i inactive; 0 or -1 as _LM_bv_set_on. */
KVELO_API int _LM_bv_set_off(BVEC *bv, int i);
/* 1 when i is active, 0 when not (also for NULL or an i outside a CODAGE or direct set);
 * -1 for TOUT and unknown kinds (non-zero: TOUT reads as active). */
KVELO_API int _LM_bv_is_on(BVEC *bv, int i);
/* 1 when _LM_bv_is_on gives 0, else 0. */
KVELO_API int _LM_bv_is_off(BVEC *bv, int i);
/* Makes element i active: BLOC appends only above its last run (else status -1); IVEC keeps
 * its list sorted (growing it); direct grows its flags to cover i; TOUT does nothing.
 * Status -1 with a trace, nothing changed, for a refused element (negative i; a BLOC, CODAGE
 * or IVEC i at or beyond nb_ddl) or kind; code 3 when a list cannot grow. */
KVELO_API void _LM_bv_insere(BVEC *bv, int i, int *status);
/* Every element active (CODAGE: every bit of every word). Code 20 for NULL. */
KVELO_API void _LM_bv_set_all_on(BVEC *bv, const char *callerName, int *status);
/* Every element inactive; TOUT cannot be emptied: status -1. Code 20 for NULL. */
KVELO_API void _LM_bv_set_all_off(BVEC *bv, const char *callerName, int *status);
/* Complement (CODAGE every word inverted, direct every flag flipped): 0; BLOC, IVEC, TOUT
 * refused with -1 (trace); NULL and unknown kinds 0. */
KVELO_API int _LM_bv_oppose(BVEC *bv);
/* Makes elements first .. end-1 active (CODAGE, direct): 0; -1 for NULL, BLOC, IVEC, TOUT or
 * a segment outside 0 .. nb_ddl (trace); unknown kinds 0. */
KVELO_API int _LM_bv_set_to_on_segment(BVEC *bv, int first, int end);
/* Makes elements first .. end-1 inactive; results as _LM_bv_set_to_on_segment. */
KVELO_API int _LM_bv_set_to_off_segment(BVEC *bv, int first, int end);

/* ---------------------------------------------------------------------------------------
 * Counting and ranks
 * ------------------------------------------------------------------------------------- */

/* Number of active elements below nb_ddl (0 for NULL or an unknown kind). */
KVELO_API int _LM_bv_nb_on(BVEC *bv);
/* Number of inactive elements (0 for NULL, TOUT or an unknown kind). */
KVELO_API int _LM_bv_nb_off(BVEC *bv);
/* Active elements in first .. end-1 (BLOC, CODAGE); NULL gives 0 with status 0; IVEC, direct,
 * TOUT give -1 with status -1; unknown kinds 0 with the status untouched. */
KVELO_API int _LM_bv_nb_on_segment(BVEC *bv, int first, int end, int *status);
/* Number of active elements below the active element i; -1 when i is inactive; TOUT: i. */
KVELO_API int _LM_bv_ou_dans_bv(BVEC *bv, int i);
/* CODAGE: prefix[k + 1] := prefix[k] + active bits of word k, for k below the word count and
 * below dim(prefix) - 1 (prefix[0] is left as it is); nothing for other kinds. */
KVELO_API void _LM_bv_build_nb_active_bit_per_integer(BVEC *bv, IVEC *prefix);
/* _LM_bv_ou_dans_bv through the prefix counts (CODAGE with a prefix long enough); the same
 * result as _LM_bv_ou_dans_bv in every case. */
KVELO_API int _LM_bv_ou_dans_bv_fast(BVEC *bv, int i, IVEC *prefix);

/* ---------------------------------------------------------------------------------------
 * Iteration
 * ------------------------------------------------------------------------------------- */

/* Puts the iterator before the first element. */
KVELO_API void _LM_bv_initialize(BVEC *bv);
/* The next active element in increasing order, -1 after the last. */
KVELO_API int _LM_bv_on_suivant(BVEC *bv);
/* The next inactive element in increasing order, -1 after the last (TOUT: -1). */
KVELO_API int _LM_bv_off_suivant(BVEC *bv);
/* BLOC, CODAGE: places the iterator at element i and returns the first active element at or
 * above i (-1 when none); IVEC, direct, TOUT: status -1, -1; unknown kinds and NULL: -1. */
KVELO_API int _LM_bv_set_iterateur(BVEC *bv, int i, int *status);

/* ---------------------------------------------------------------------------------------
 * Conversions
 * ------------------------------------------------------------------------------------- */

/* Flags: out[e] := 1 for every active e (out made or grown to nb_ddl entries, other entries
 * kept); NULL on failure. */
KVELO_API IVEC *_LM_bv_to_ivec(BVEC *bv, IVEC *out, int *status);
/* The active elements in increasing order from out[0] (out made or grown to fit). */
KVELO_API IVEC *_LM_bv_on_to_ivec_compact(BVEC *bv, IVEC *out, int *status);
/* The inactive elements in increasing order from out[0] (out made or grown to fit). */
KVELO_API IVEC *_LM_bv_off_to_ivec_compact(BVEC *bv, IVEC *out, int *status);
/* Inserts every k with flags[k] non-zero into *bv (a new bit vector of kind `kind` when *bv
 * is NULL); 0, or the failing status (-1) with *bv as far as it got. NULL flags, or a flag
 * beyond the set of a given BLOC, CODAGE or IVEC *bv: -1, *bv left as it was. */
KVELO_API int _LM_ivec_to_bv(IVEC *flags, int kind, BVEC **bv);

/* ---------------------------------------------------------------------------------------
 * Input and output
 * ------------------------------------------------------------------------------------- */

/* Binary form: int32 kind, nb_ddl, nb_blocs, max_blocs (NULL: -1, 0, 0, 0), then the lists of
 * the kind in the IVEC binary form. 0, or -1 when a write fails. */
KVELO_API int _LM_bv_boutput(FILE *fp, BVEC *bv);
/* Reads a binary form into a new record (iterator 0); NULL on a failed read or a form whose
 * header and lists do not agree (lists shorter than the header says, runs or list elements
 * out of order or outside the set, flags other than 0 and 1); nothing is left allocated then;
 * code 3 when memory is short. */
KVELO_API BVEC *_LM_bv_binput(FILE *fp, int *status);
/* Text form on fp (standard output when fp is NULL); nothing for direct kinds or NULL. */
KVELO_API void _LM_bv_print(FILE *fp, BVEC *bv);
/* Prints "ddl %d est actif" for every active element on standard output; returns -1. */
KVELO_API int _LM_bv_on_print(BVEC *bv);
/* Prints the same line for every inactive element; returns -1. */
KVELO_API int _LM_bv_off_print(BVEC *bv);

/* ---------------------------------------------------------------------------------------
 * Set operations. Operands have one kind and one nb_ddl (apart from the TOUT cases of the
 * intersection). Refusals give a trace, status -1 and NULL; a supplied output is written in
 * place and returned, a NULL output is created.
 * ------------------------------------------------------------------------------------- */

/* Intersection: TOUT with anything copies the other operand; BLOC, CODAGE or IVEC pairs. The
 * run and list intersections refuse a supplied out over fewer elements than a unchanged. */
KVELO_API BVEC *_LM_bv_inter(BVEC *a, BVEC *b, BVEC *out, int *status);
KVELO_API BVEC *_LM_bv_inter_bloc(BVEC *a, BVEC *b, BVEC *out, int *status);
KVELO_API BVEC *_LM_bv_inter_codage(BVEC *a, BVEC *b, BVEC *out, int *status);
KVELO_API BVEC *_LM_bv_inter_ivec(BVEC *a, BVEC *b, BVEC *out, int *status);
KVELO_API BVEC *_LM_bv_inter_direct(BVEC *a, BVEC *b, BVEC *out, int *status);
/* Union of two bit vectors of one kind (TOUT: a new TOUT, or the given out unchanged); a
 * supplied BLOC or IVEC out over fewer elements than a is refused before it is written. */
KVELO_API BVEC *_LM_bv_union(BVEC *a, BVEC *b, BVEC *out, int *status);
/* CODAGE, direct: every element active in a becomes inactive in b (b made for CODAGE when
 * NULL); returns b. NULL a: NULL, status untouched. */
KVELO_API BVEC *_LM_bv_on1_to_off2(BVEC *a, BVEC *b, const char *caller, int *status);
/* CODAGE, direct: every element inactive in a becomes active in b; returns b. */
KVELO_API BVEC *_LM_bv_off1_to_on2(BVEC *a, BVEC *b, const char *caller, int *status);

KVELO_C_END

#endif
