// cmat_complex.h: complex scalars and records for the tests of the complex C matrix library:
// conversions between the library's scalar and std::complex (which the tests use as the
// independent arithmetic), builders of ZVEC and ZMAT from values or random draws, and a
// product whose partial products overflow the double range while one part does not.
#ifndef KVELO_TESTS_CMAT_COMPLEX_H
#define KVELO_TESTS_CMAT_COMPLEX_H

#include <cmath>
#include <complex>
#include <initializer_list>
#include <random>
#include <vector>

#include "zmatrix.h"

namespace cmat_test {

using C = std::complex<double>;

inline ::complex Z(double re, double im) { return zmake(re, im); }
inline C S(::complex z) { return {z.re, z.im}; }

// New records holding the given values (the caller frees them).
inline ZVEC* NewZVec(std::initializer_list<C> vals) {
  int st = 0;
  ZVEC* v = _LM_zv_get("test", 0, static_cast<int>(vals.size()), __LINE__, "NewZVec", &st);
  int i = 0;
  for (C c : vals) v->ve[i++] = Z(c.real(), c.imag());
  return v;
}

// A matrix given by its rows (all of one length).
inline ZMAT* NewZMat(std::initializer_list<std::initializer_list<C>> rows) {
  int st = 0;
  const int m = static_cast<int>(rows.size());
  const int n = m > 0 ? static_cast<int>(rows.begin()->size()) : 0;
  ZMAT* A = _LM_zm_get("test", 0, m, n, __LINE__, "NewZMat", &st);
  int i = 0;
  for (const auto& r : rows) {
    int j = 0;
    for (C c : r) A->me[i][j++] = Z(c.real(), c.imag());
    ++i;
  }
  return A;
}

// New records whose real and imaginary parts are drawn uniformly from [-bound, bound) by a
// generator seeded with seed, element after element (row after row), real part first.
inline ZVEC* RandomZVec(int n, unsigned seed, double bound) {
  int st = 0;
  ZVEC* v = _LM_zv_get("test", 0, n, __LINE__, "RandomZVec", &st);
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-bound, bound);
  for (int i = 0; i < n; ++i) v->ve[i] = Z(u(gen), u(gen));
  return v;
}
inline ZMAT* RandomZMat(int m, int n, unsigned seed, double bound) {
  int st = 0;
  ZMAT* A = _LM_zm_get("test", 0, m, n, __LINE__, "RandomZMat", &st);
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-bound, bound);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) A->me[i][j] = Z(u(gen), u(gen));
  return A;
}

// The values of a vector as std::complex.
inline std::vector<C> Std(const ZVEC* v) {
  std::vector<C> r;
  for (unsigned i = 0; i < v->dim; ++i) r.push_back(S(v->ve[i]));
  return r;
}

// s and y of a product s*y whose partial products (5e308) overflow while its real part
// (about 5e299) does not: the plain formula gives inf - inf there.
const C kBigS(1e200, 1e200);
const C kBigY(5e108, 5e108 * (1 - 1e-9));

// a*b with each part formed in long double (whose range holds products of doubles) and
// rounded once to double: the independent value of a product near the top of the range.
inline C WideProduct(C a, C b) {
  const long double ar = a.real(), ai = a.imag(), br = b.real(), bi = b.imag();
  return C(static_cast<double>(ar * br - ai * bi), static_cast<double>(ar * bi + ai * br));
}

// got against a WideProduct: an infinite part exactly, a finite one within rel of it (the
// finite part of kBigS * kBigY cancels nine digits, so a double formula keeps about seven).
inline bool NearWide(C got, C want, double rel) {
  auto part = [rel](double g, double w) {
    if (std::isinf(w)) return g == w;
    return std::fabs(g - w) <= rel * std::fabs(w);
  };
  return part(got.real(), want.real()) && part(got.imag(), want.imag());
}

}  // namespace cmat_test

#endif
