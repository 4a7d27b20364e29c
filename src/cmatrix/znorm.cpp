// znorm.cpp: norms of complex vectors (one, Euclidean, infinity; optionally relative to a
// real scale vector) and complex matrices (one, infinity, Frobenius), and the vector of
// moduli. Every sum runs in index order from 0.0 with plain loops; the Euclidean and
// Frobenius norms neither overflow nor underflow before their result; a NaN part makes
// every norm NaN.
#include <cmath>

#include "cmatrix/lm_dense.h"
#include "cmatrix/lm_sort.h"
#include "cmatrix/zcomplex_internal.h"

using kvlm::LmOp;
using kvlm::Z;

namespace {

const char kFile[] = "znorm";

// Modulus of x[i] divided by |scale[i]|; unscaled without a scale or for a zero entry. The
// entry and the scale are both taken apart into a mantissa and a power of two, and the two
// powers meet only in the result: a modulus beyond DBL_MAX or in the subnormal range, divided
// back into the normal range, keeps its digits.
double ScaledAbs(const ZVEC* x, const VEC* scale, unsigned i) {
  const ::complex z = x->ve[i];
  if (scale == nullptr || scale->ve[i] == 0.0) return zabs(z);
  const double s = std::fabs(scale->ve[i]);
  if (!(std::isfinite(z.re) && std::isfinite(z.im) && std::isfinite(s)) || (z.re == 0.0 && z.im == 0.0))
    return zabs(z) / s;
  int e = 0, es = 0;
  std::frexp(std::fmax(std::fabs(z.re), std::fabs(z.im)), &e);
  const double ms = std::frexp(s, &es);
  const double m = zabs(zmake(std::ldexp(z.re, -e), std::ldexp(z.im, -e)));
  return std::ldexp(m / ms, e - es);
}

}  // namespace

extern "C" {

KVELO_API double _LM__zv_norm1(ZVEC* x, VEC* scale, int callerLine, const char* callerName,
                               int* status) {
  LmOp op(kFile, "_zv_norm1", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, 0.0);
  if (scale != nullptr && scale->dim < x->dim) LM_FAIL(op, 1, 0.0);
  double sum = 0.0;
  for (unsigned i = 0; i < x->dim; ++i) sum += ScaledAbs(x, scale, i);
  return op.done(sum);
}

KVELO_API double _LM__zv_norm2(ZVEC* x, VEC* scale, int callerLine, const char* callerName,
                               int* status) {
  LmOp op(kFile, "_zv_norm2", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, 0.0);
  if (scale != nullptr && scale->dim < x->dim) {
    kvlm::RaiseAs(op, kFile, 1, __LINE__, "_v_norm2");
    return 0.0;
  }
  // A scaled entry is divided part by part before squaring: (re/s)^2 + (im/s)^2 is
  // (re^2 + im^2) / s^2 without forming s^2, which overflows or underflows long before the
  // ratio does. A sum that overflowed or lost digits to underflow is taken again with a
  // running scale.
  auto parts = [&](unsigned i, double* re, double* im) {
    const Z z = x->ve[i];
    *re = z.re;
    *im = z.im;
    if (scale != nullptr && scale->ve[i] != 0.0) {
      *re /= scale->ve[i];
      *im /= scale->ve[i];
    }
  };
  double sum = 0.0;
  for (unsigned i = 0; i < x->dim; ++i) {
    double re, im;
    parts(i, &re, &im);
    sum += re * re + im * im;
  }
  return op.done(kvlm::SafeNorm2(sum, 2ull * x->dim, [&](kvlm::ScaledSquares& acc) {
    for (unsigned i = 0; i < x->dim; ++i) {
      double re, im;
      parts(i, &re, &im);
      acc.Add(re);
      acc.Add(im);
    }
  }));
}

KVELO_API double _LM__zv_norm_inf(ZVEC* x, VEC* scale, int callerLine, const char* callerName,
                                  int* status) {
  LmOp op(kFile, "_zv_norm_inf", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, 0.0);
  if (scale != nullptr && scale->dim < x->dim) LM_FAIL(op, 1, 0.0);
  double best = 0.0;
  for (unsigned i = 0; i < x->dim; ++i) best = kvlm::MaxKeepingNaN(best, ScaledAbs(x, scale, i));
  return op.done(best);
}

KVELO_API double _LM_zm_norm1(ZMAT* A, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zm_norm1", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, 0.0);
  return op.done(kvlm::LargestLineSum(A, true, zabs));
}

KVELO_API double _LM_zm_norm_inf(ZMAT* A, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zm_norm_inf", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, 0.0);
  return op.done(kvlm::LargestLineSum(A, false, zabs));
}

KVELO_API double _LM_zm_norm_frob(ZMAT* A, int callerLine, const char* callerName,
                                  int* status) {
  LmOp op(kFile, "zm_norm_frob", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, 0.0);
  return op.done(kvlm::FrobeniusNorm(A, [](const Z& z) { return z.re * z.re + z.im * z.im; },
                                     [](const Z& z, kvlm::ScaledSquares& acc) {
                                       acc.Add(z.re);
                                       acc.Add(z.im);
                                     }));
}

KVELO_API VEC* _LM_zv_zabs(ZVEC* x, VEC* out, int callerLine, const char* callerName,
                           int* status) {
  LmOp op(kFile, "zv_abs", callerLine, callerName, status);
  if (x == nullptr || out == nullptr || x->dim == 0 || static_cast<int>(x->dim) < 0)
    LM_FAIL(op, 8, nullptr);
  out = _LM_v_resize(callerName, 0, out, static_cast<int>(x->dim), 307, callerName, op.st());
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < x->dim; ++i) out->ve[i] = zabs(x->ve[i]);
  return op.done(out);
}

}  // extern "C"
