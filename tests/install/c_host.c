/* c_host.c: a C host of an installed libkvelo.so, built with the flags of
 * `pkg-config --cflags --libs kvelo`: the inverse of a 3 x 3 matrix through the C matrix
 * library, checked against the closed form. Prints the result; exit status 0 when it holds. */
#include <math.h>
#include <stdio.h>

#include "kvelo_c.h"

int main(void)
{
  /* A = [[4, 7, 2], [3, 6, 1], [2, 5, 3]], det 9; A^-1 = adj(A) / 9. */
  static const double a[3][3] = {{4, 7, 2}, {3, 6, 1}, {2, 5, 3}};
  static const double inv9[3][3] = {{13, -11, -5}, {-7, 8, 2}, {3, -6, 3}};
  int st = 0, i, j, bad = 0;
  MAT *A = _LM_m_get("c_host", 0, 3, 3, __LINE__, "main", &st);
  MAT *B = NULL;
  if (A == NULL) {
    fprintf(stderr, "c_host: no matrix (status %d)\n", st);
    return 1;
  }
  for (i = 0; i < 3; ++i)
    for (j = 0; j < 3; ++j) A->me[i][j] = a[i][j];
  B = _LM_m_inverse(A, NULL, __LINE__, "main", &st);
  if (B == NULL) {
    fprintf(stderr, "c_host: inverse failed (status %d)\n", st);
    m_free(A);
    return 1;
  }
  for (i = 0; i < 3; ++i)
    for (j = 0; j < 3; ++j)
      if (fabs(B->me[i][j] - inv9[i][j] / 9.0) > 1e-13) bad = 1;
  printf("kvelo %s, C host: inverse of a 3 x 3 matrix %s\n", KVELO_VERSION_STRING,
         bad ? "WRONG" : "as expected");
  m_foutput(stdout, B);
  m_free(B);
  m_free(A);
  return bad;
}
