/* itf_header_c.c: the entry-point header compiled as C, where complex elements are C99
 * _Complex values; complex function results must come back by value as in C++. */
#include <complex.h>

#include "ITF_blas_lapack.h"

void itf_c_header_dots(double* zre, double* zim, float* cre, float* cim, double* dot);

void itf_c_header_dots(double* zre, double* zim, float* cre, float* cim, double* dot)
{
    const itf_doublecomplex xz[2] = {1.0 + 1.0 * I, 2.0 * I};
    const itf_doublecomplex yz[2] = {1.0, 1.0 * I};
    const itf_complex xc[2] = {1.0f + 2.0f * I, 3.0f - 1.0f * I};
    const itf_complex yc[2] = {2.0f + 1.0f * I, 1.0f * I};
    const double xd[3] = {1, 2, 3}, yd[3] = {4, 5, 6};
    itf_doublecomplex z = ITF_zdotc(2, xz, 1, yz, 1);
    itf_complex c = ITF_cdotu(2, xc, 1, yc, 1);
    *zre = creal(z);
    *zim = cimag(z);
    *cre = crealf(c);
    *cim = cimagf(c);
    *dot = ITF_ddot(3, xd, 1, yd, 1);
}
