// prop_cm_vec.h: what the vector-side harnesses of the C matrix library share: records made
// from drawn values with spare capacity holding sentinels, snapshots of every record a call is
// handed, and the reference comparisons (long double, whose exponent range holds every
// product and sum of doubles without overflow or underflow, so that the reference needs no
// scaling of its own).
#ifndef KVELO_TEST_PROP_CM_VEC_H
#define KVELO_TEST_PROP_CM_VEC_H

#include <rapidcheck.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <tuple>
#include <cstring>
#include <vector>

#include "cmat_snap.h"
#include "matrix.h"
#include "prop_support.h"
#include "zmatrix.h"

namespace cmvtest {

using LD = long double;
using cmat_test::Snap;
using cmat_test::RecordBytes;

constexpr double kEps = DBL_EPSILON;
// A value no operation writes by chance: stands in the capacity beyond dim.
constexpr double kSentinel = -7.25e-111;

// A real vector holding vals, with `spare` more places of capacity holding the sentinel.
inline VEC* MakeVec(const std::vector<double>& vals, unsigned spare = 0) {
  int st = 0;
  const int cap = static_cast<int>(vals.size() + spare);
  VEC* v = _LM_v_get("p", 0, cap, __LINE__, "p", &st);
  RC_ASSERT(st == 0);
  RC_ASSERT(v != nullptr);
  for (unsigned i = 0; i < v->max_dim; ++i) v->ve[i] = kSentinel;
  for (size_t i = 0; i < vals.size(); ++i) v->ve[i] = vals[i];
  v->dim = static_cast<unsigned>(vals.size());
  return v;
}

inline ZVEC* MakeZVec(const std::vector<std::complex<double>>& vals, unsigned spare = 0) {
  int st = 0;
  const int cap = static_cast<int>(vals.size() + spare);
  ZVEC* v = _LM_zv_get("p", 0, cap, __LINE__, "p", &st);
  RC_ASSERT(st == 0);
  RC_ASSERT(v != nullptr);
  for (unsigned i = 0; i < v->max_dim; ++i) v->ve[i] = zmake(kSentinel, -kSentinel);
  for (size_t i = 0; i < vals.size(); ++i) v->ve[i] = zmake(vals[i].real(), vals[i].imag());
  v->dim = static_cast<unsigned>(vals.size());
  return v;
}

inline std::vector<double> Vals(const VEC* v) { return std::vector<double>(v->ve, v->ve + v->dim); }
inline std::vector<std::complex<double>> Vals(const ZVEC* v) {
  std::vector<std::complex<double>> out;
  for (unsigned i = 0; i < v->dim; ++i) out.emplace_back(v->ve[i].re, v->ve[i].im);
  return out;
}

// The spare capacity of a record still holds the sentinels from `from` on.
inline bool SentinelsFrom(const VEC* v, unsigned from) {
  for (unsigned i = from; i < v->max_dim; ++i)
    if (!kvtest::SameBits(v->ve[i], kSentinel)) return false;
  return true;
}
inline bool SentinelsFrom(const ZVEC* v, unsigned from) {
  for (unsigned i = from; i < v->max_dim; ++i)
    if (!kvtest::SameBits(v->ve[i].re, kSentinel) || !kvtest::SameBits(v->ve[i].im, -kSentinel)) return false;
  return true;
}

// got against a long double reference ref with an absolute tolerance tol (long double).
// A result beyond the range of double may be the infinity of its sign; a NaN is never close.
inline bool Close(double got, LD ref, LD tol) {
  if (std::isnan(ref)) return std::isnan(got);
  if (std::isnan(got)) return false;
  if (std::isinf(got)) {
    if (std::isinf(ref)) return (got > 0) == (ref > 0);
    return std::fabs(ref) + tol >= static_cast<LD>(DBL_MAX) && (got > 0) == (ref > 0);
  }
  if (std::isinf(ref)) return false;
  // Results near the bottom of the range keep only the subnormal grid.
  return std::fabs(static_cast<LD>(got) - ref) <= tol + 4 * static_cast<LD>(DBL_TRUE_MIN);
}

// A sum of terms in double: the exact sum ref (long double), the bound of the rounding error
// n eps sum|terms|. A sum whose partial sums may leave the range of double (sum|terms| beyond
// DBL_MAX) may give the infinity of the result's sign, never NaN.
inline bool SumClose(double got, LD ref, LD absSum, int n) {
  const LD tol = (n + 2) * static_cast<LD>(kEps) * absSum;
  if (std::isnan(got)) return false;
  if (std::isinf(got) && absSum >= static_cast<LD>(DBL_MAX)) return ref == 0 || (got > 0) == (ref > 0);
  return Close(got, ref, tol);
}

inline bool AnyNaN(const std::vector<double>& v) {
  for (double d : v)
    if (std::isnan(d)) return true;
  return false;
}
inline bool AllFinite(const std::vector<double>& v) {
  for (double d : v)
    if (!std::isfinite(d)) return false;
  return true;
}
inline bool Finite(std::complex<double> z) { return std::isfinite(z.real()) && std::isfinite(z.imag()); }
inline bool HasNaN(std::complex<double> z) { return std::isnan(z.real()) || std::isnan(z.imag()); }

// Complex values with parts of nearly equal size near the top (or bottom) of the range, such
// as 5e108 (1 + (1 - 1e-9) i): a product of two of them cancels in one part and overflows (or
// underflows) in the other, the case where a plain formula loses the finite part.
inline rc::Gen<std::complex<double>> BalancedComplex() {
  return rc::gen::map(
      rc::gen::tuple(rc::gen::inRange(1 << 20, 1 << 21), rc::gen::inRange(-1074, 1024),
                     rc::gen::inRange(1, 60), rc::gen::inRange(0, 4)),
      [](std::tuple<int, int, int, int> t) {
        const double m = std::ldexp(std::get<0>(t), std::get<1>(t) - 21);
        const double other = m * (1.0 - std::ldexp(1.0, -std::get<2>(t)));
        const int signs = std::get<3>(t);
        return std::complex<double>(signs & 1 ? -m : m, signs & 2 ? -other : other);
      });
}

// The complex operands of the harnesses: the whole range, with balanced values mixed in.
inline rc::Gen<std::complex<double>> ZOperand() {
  return rc::gen::weightedOneOf<std::complex<double>>({{4, kvtest::AnyComplex()}, {1, BalancedComplex()}});
}

// Vectors whose values come from the whole double range, of dimension 0 to maxDim.
inline rc::Gen<std::vector<double>> AnyValues(int n) {
  return rc::gen::container<std::vector<double>>(n, kvtest::AnyDouble());
}
inline rc::Gen<std::vector<std::complex<double>>> AnyZValues(int n) {
  return rc::gen::container<std::vector<std::complex<double>>>(n, ZOperand());
}

}  // namespace cmvtest

#endif
