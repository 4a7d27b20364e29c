// prop_mat_ref.h: what the matrix property harness compares with: dense column-major images
// of a matrix, long-double transcriptions of the products and norms, and the element
// generators of both element types.
#ifndef KVELO_TEST_PROP_MAT_REF_H
#define KVELO_TEST_PROP_MAT_REF_H

#include <rapidcheck.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

#include "C_Mat.h"
#include "prop_support.h"

namespace kvtest {

template <class T>
inline constexpr bool kComplex = !std::is_same<T, double>::value;

// Elements: mostly of ordinary size (so that products have a reference to meet), often from
// the whole range of the format.
template <class T>
rc::Gen<T> Elem() {
  if constexpr (kComplex<T>) {
    // Elements with an infinite and a NaN part are no numbers, though their modulus is inf.
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    return rc::gen::weightedOneOf<T>({{12, TameComplex()},
                                      {4, AnyComplex()},
                                      {1, rc::gen::element(T(inf, nan), T(nan, -inf), T(-inf, 0.0))}});
  } else {
    return rc::gen::weightedOneOf<T>({{3, TameDouble()}, {1, AnyDouble()}});
  }
}
template <class T>
rc::Gen<T> FiniteElem() {
  if constexpr (kComplex<T>)
    return rc::gen::weightedOneOf<T>({{3, TameComplex()}, {1, FiniteComplex()}});
  else
    return rc::gen::weightedOneOf<T>({{3, TameDouble()}, {1, FiniteDouble()}});
}
template <class T>
rc::Gen<T> Scalar() {
  if constexpr (kComplex<T>)
    return rc::gen::weightedOneOf<T>({{1, rc::gen::element(T(0), T(1), T(-1), T(0, 1))},
                                      {3, TameComplex()},
                                      {1, AnyComplex()}});
  else
    return rc::gen::weightedOneOf<T>(
        {{1, rc::gen::element(0.0, 1.0, -1.0, -0.0)}, {3, TameDouble()}, {1, AnyDouble()}});
}

template <class T>
bool HasNaN(T v) {
  if constexpr (kComplex<T>)
    return std::isnan(v.real()) || std::isnan(v.imag());
  else
    return std::isnan(v);
}
template <class T>
bool Finite(T v) {
  if constexpr (kComplex<T>)
    return std::isfinite(v.real()) && std::isfinite(v.imag());
  else
    return std::isfinite(v);
}
template <class T>
bool Bits(T a, T b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// The long-double twin of an element.
template <class T>
using Wide = typename std::conditional<kComplex<T>, std::complex<long double>, long double>::type;
template <class T>
Wide<T> W(T v) {
  if constexpr (kComplex<T>)
    return Wide<T>(v.real(), v.imag());
  else
    return v;
}
template <class T>
long double AbsW(Wide<T> v) {
  if constexpr (kComplex<T>)
    return std::hypot(v.real(), v.imag());
  else
    return std::fabs(v);
}
// |v| with a NaN part giving NaN (also beside an infinite one).
template <class T>
long double Mag(T v) {
  if (HasNaN(v)) return std::numeric_limits<long double>::quiet_NaN();
  return AbsW<T>(W(v));
}

// A dense column-major image of an r x c matrix.
template <class T>
struct Dense {
  int r = 0, c = 0;
  std::vector<T> v;
  T at(int i, int j) const { return v[static_cast<size_t>(i) + static_cast<size_t>(j) * r]; }
};
template <class T>
Dense<T> ImageOf(const C_Mat<T>& m) {
  Dense<T> d;
  d.r = m.rows;
  d.c = m.cols;
  for (int j = 0; j < m.cols; j++)
    for (int i = 0; i < m.rows; i++) d.v.push_back(m.GetVal(i, j));
  return d;
}
template <class T>
bool SameImage(const Dense<T>& a, const Dense<T>& b) {
  return a.r == b.r && a.c == b.c && SameBits(a.v, b.v);
}

// op(A)(i, j) for the transposition letter t.
template <class T>
T OpAt(const Dense<T>& a, char t, int i, int j) {
  if (t == 'N' || t == 'n') return a.at(i, j);
  T v = a.at(j, i);
  if constexpr (kComplex<T>)
    if (t == 'C' || t == 'c') v = std::conj(v);
  return v;
}

// Whether got is within a product's rounding of ref: |got - ref| <= k eps bound + the
// absolute rounding of k subnormal results; bound is the sum of the magnitudes of the terms.
template <class T>
bool Near(T got, Wide<T> ref, long double bound, int k) {
  if (!Finite(got)) return false;
  const long double err = AbsW<T>(W(got) - ref);
  return err <= (k + 4) * 4 * DBL_EPSILON * bound + (k + 4) * 4 * std::numeric_limits<double>::denorm_min();
}

// The infinity and one norms in long double (NaN when an element is NaN).
template <class T>
long double NormInfRef(const Dense<T>& a, bool byColumns) {
  long double best = 0;
  bool nan = false;
  const int outer = byColumns ? a.c : a.r, inner = byColumns ? a.r : a.c;
  for (int p = 0; p < outer; p++) {
    long double s = 0;
    for (int q = 0; q < inner; q++) s += Mag(byColumns ? a.at(q, p) : a.at(p, q));
    if (std::isnan(s)) nan = true;
    if (s > best) best = s;
  }
  return nan ? std::numeric_limits<long double>::quiet_NaN() : best;
}

// Whether a double norm agrees with its long-double reference (n terms per sum).
inline bool NormAgrees(double got, long double ref, int n) {
  if (std::isnan(ref)) return std::isnan(got);
  if (std::isnan(got)) return false;
  if (ref > static_cast<long double>(DBL_MAX) * (1 - 1e-12L)) return got >= DBL_MAX * (1 - 1e-12);
  return std::fabs(got - ref) <= (n + 2) * 4 * DBL_EPSILON * ref;
}

}  // namespace kvtest

#endif
