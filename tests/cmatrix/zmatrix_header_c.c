/* zmatrix_header_c.c: a C host of the complex matrix header that also includes <complex.h>,
 * where `complex` is a macro: the library's scalar stays reachable as kvelo_complex. */
#include <complex.h>

#include "zmatrix.h"

/* Returns |(3 + 4i) * conj(i)| computed through the library, and checks that the C99
 * complex type still works beside it. */
double zmatrix_header_c_probe(void) {
  kvelo_complex z = zmake(3.0, 4.0);
  kvelo_complex i = zmake(0.0, 1.0);
  double complex w = 2.0 * I;
  if (cimag(w) != 2.0) return -1.0;
  return zabs(zmlt(z, zconj(i)));
}
