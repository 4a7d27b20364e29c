/* c_example.c: a C host of the library, shown in the README and built and run with the tests:
 * a 3 x 3 linear system solved through the C matrix library (LU with partial pivoting), its
 * residual, and the status protocol every operation follows. Exit status 0 when the solution
 * is the known one. */
#include <math.h>
#include <stdio.h>

#include "kvelo_c.h"

int main(void)
{
  /* A x = b with A = [[2, 1, 1], [4, -6, 0], [-2, 7, 2]] and b = (5, -2, 9): x = (1, 1, 2). */
  static const double a[3][3] = {{2, 1, 1}, {4, -6, 0}, {-2, 7, 2}};
  static const double rhs[3] = {5, -2, 9};
  int st = 0, i, j, ok = 0;
  /* Every operation ends with (caller's line, caller's name, &status): on failure it returns
   * NULL (or -1), leaves -1 in status and reports through the library's error handler. */
  MAT *A = _LM_m_get("c_example", 0, 3, 3, __LINE__, "main", &st);
  MAT *LU = _LM_m_get("c_example", 0, 3, 3, __LINE__, "main", &st);
  VEC *b = _LM_v_get("c_example", 0, 3, __LINE__, "main", &st);
  VEC *x = NULL, *Ax = NULL, *r = NULL;
  PERM *pivot = _LM_px_get("c_example", 0, 3, __LINE__, "main", &st);
  if (A == NULL || LU == NULL || b == NULL || pivot == NULL) {
    fprintf(stderr, "c_example: no memory (status %d)\n", st);
    return 1;
  }
  for (i = 0; i < 3; ++i) {
    for (j = 0; j < 3; ++j) A->me[i][j] = LU->me[i][j] = a[i][j];
    b->ve[i] = rhs[i];
  }

  /* LU is factored in place (P*A = L*U); A stays for the residual. */
  if (_LM_LUfactor(LU, pivot, __LINE__, "main", &st) != NULL &&
      (x = _LM_LUsolve(LU, pivot, b, NULL, __LINE__, "main", &st)) != NULL &&
      (Ax = _LM_mv_mlt(A, x, NULL, __LINE__, "main", &st)) != NULL &&
      (r = _LM_v_sub(b, Ax, NULL, __LINE__, "main", &st)) != NULL) {
    const double res = _LM__v_norm2(r, NULL, __LINE__, "main", &st);
    ok = fabs(x->ve[0] - 1.0) < 1e-14 && fabs(x->ve[1] - 1.0) < 1e-14 &&
         fabs(x->ve[2] - 2.0) < 1e-14 && res < 1e-14;
    printf("kvelo %s, C host: A x = b solved by LU\n", KVELO_VERSION_STRING);
    printf("x = (%g, %g, %g), |b - A x| = %.3g, pivot rows (%u, %u, %u)\n", x->ve[0],
           x->ve[1], x->ve[2], res, pivot->pe[0], pivot->pe[1], pivot->pe[2]);
    v_foutput(stdout, x);
  } else {
    fprintf(stderr, "c_example: the solve failed (status %d)\n", st);
  }

  /* The frees refuse NULL (-1): free only what was made. */
  if (r != NULL) v_free(r);
  if (Ax != NULL) v_free(Ax);
  if (x != NULL) v_free(x);
  v_free(b);
  px_free(pivot);
  m_free(LU);
  m_free(A);
  return ok ? 0 : 1;
}
