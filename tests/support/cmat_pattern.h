// cmat_pattern.h: a recognisable fill of real and complex matrices for the record tests:
// element (i, j) holds 10 i + j + 1 (a complex element the same with its negative as the
// imaginary part), so a resize or a copy that moves a value to another place shows.
#ifndef KVELO_TESTS_CMAT_PATTERN_H
#define KVELO_TESTS_CMAT_PATTERN_H

#include <gtest/gtest.h>

#include <cstddef>

#include "matrix.h"
#include "zmatrix.h"

namespace cmat_test {

inline double PatternAt(unsigned i, unsigned j) { return 10.0 * i + j + 1; }

inline void SetPattern(double& e, double v) { e = v; }
inline void SetPattern(::complex& e, double v) {
  e.re = v;
  e.im = -v;
}

inline void ExpectPattern(double got, double want, unsigned i, unsigned j) {
  EXPECT_EQ(got, want) << "(" << i << "," << j << ")";
}
inline void ExpectPattern(const ::complex& got, double want, unsigned i, unsigned j) {
  EXPECT_EQ(got.re, want) << "(" << i << "," << j << ")";
  EXPECT_EQ(got.im, -want) << "(" << i << "," << j << ")";
}

// Fills the rows and columns in use of a MAT or ZMAT with the pattern.
template <class M>
void FillPattern(M* A) {
  for (unsigned i = 0; i < A->m; ++i)
    for (unsigned j = 0; j < A->n; ++j) SetPattern(A->me[i][j], PatternAt(i, j));
}

// Checks A's shape, its packed row layout at stride n, and the pattern inside the kept part
// (rows < keepM, columns < keepN), zero elsewhere.
template <class M>
void ExpectKeptPattern(const M* A, unsigned m, unsigned n, unsigned keepM, unsigned keepN) {
  ASSERT_EQ(A->m, m);
  ASSERT_EQ(A->n, n);
  for (unsigned i = 0; i < m; ++i) {
    EXPECT_EQ(A->me[i], A->base + static_cast<size_t>(i) * n) << "row " << i;
    for (unsigned j = 0; j < n; ++j)
      ExpectPattern(A->me[i][j], (i < keepM && j < keepN) ? PatternAt(i, j) : 0.0, i, j);
  }
}

}  // namespace cmat_test

#endif
