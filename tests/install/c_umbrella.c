/* c_umbrella.c: a C99 host that includes only kvelo_c.h (built with -std=c99 -Wall -Wextra
 * -pedantic -Werror) after the system's <complex.h>, as C hosts often do; it calls the C matrix
 * library, the complex scalars and the BLAS entry points for test_c_umbrella.cpp to check. */
#include <complex.h>

#include "kvelo_c.h"

const char *c_umbrella_version(void);
int c_umbrella_solve(double *x0, double *x1);
double c_umbrella_dots(double *zre, double *zim);
double c_umbrella_zabs(void);

/* The version text that the umbrella header carries. */
const char *c_umbrella_version(void)
{
  return KVELO_VERSION_STRING;
}

/* [[2, 1], [1, 3]] x = [3, 5] by LU factors; 0, or -1 when a step fails. */
int c_umbrella_solve(double *x0, double *x1)
{
  int st = 0, ok = 0;
  MAT *a = _LM_m_get("c_umbrella", 0, 2, 2, __LINE__, "c_umbrella_solve", &st);
  VEC *b = _LM_v_get("c_umbrella", 0, 2, __LINE__, "c_umbrella_solve", &st);
  PERM *p = _LM_px_get("c_umbrella", 0, 2, __LINE__, "c_umbrella_solve", &st);
  if (a != NULL && b != NULL && p != NULL) {
    a->me[0][0] = 2.0;
    a->me[0][1] = 1.0;
    a->me[1][0] = 1.0;
    a->me[1][1] = 3.0;
    b->ve[0] = 3.0;
    b->ve[1] = 5.0;
    ok = _LM_LUfactor(a, p, __LINE__, "c_umbrella_solve", &st) != NULL &&
         _LM_LUsolve(a, p, b, b, __LINE__, "c_umbrella_solve", &st) != NULL;
    if (ok) {
      *x0 = b->ve[0];
      *x1 = b->ve[1];
    }
  }
  if (a != NULL) m_free(a);
  if (b != NULL) v_free(b);
  if (p != NULL) px_free(p);
  return ok ? 0 : -1;
}

/* (1, 2, 3) . (4, 5, 6) by ITF_ddot; (1 + i) (2 - i) by ITF_zdotu into zre, zim. */
double c_umbrella_dots(double *zre, double *zim)
{
  const double x[3] = {1.0, 2.0, 3.0}, y[3] = {4.0, 5.0, 6.0};
  const itf_doublecomplex zx[1] = {1.0 + 1.0 * I}, zy[1] = {2.0 - 1.0 * I};
  const itf_doublecomplex z = ITF_zdotu(1, zx, 1, zy, 1);
  *zre = creal(z);
  *zim = cimag(z);
  return ITF_ddot(3, x, 1, y, 1);
}

/* |3 - 4i| through the C matrix library's own complex scalar. */
double c_umbrella_zabs(void)
{
  const kvelo_complex z = zmake(3.0, -4.0);
  return zabs(z);
}
