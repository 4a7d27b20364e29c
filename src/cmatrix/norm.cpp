// norm.cpp: norms of VEC records (one, Euclidean and infinity norm, each optionally of the
// entries divided by a scale vector) and of MAT records (one, infinity and Frobenius norm).
// The Euclidean and Frobenius norms neither overflow nor underflow before their result; a
// NaN entry makes every norm NaN.
#include <cmath>

#include "cmatrix/lm_dense.h"
#include "cmatrix/lm_sort.h"

using kvlm::LmOp;

namespace {

const char kFile[] = "norm";

// Entry i divided by its scale, unscaled where there is no scale or the scale is exactly 0.
double Scaled(const VEC* x, const VEC* scale, unsigned i) {
  if (scale == nullptr || scale->ve[i] == 0.0) return x->ve[i];
  return x->ve[i] / scale->ve[i];
}

enum class VNorm { One, Two, Inf };

double VecNorm(VEC* x, VEC* scale, VNorm kind, const char* routine, int callerLine,
               const char* callerName, int* status) {
  LmOp op(kFile, routine, callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, -1.0);
  if (scale != nullptr && scale->dim < x->dim) LM_FAIL(op, 1, -1.0);
  double r = 0.0;
  switch (kind) {
    case VNorm::One:
      for (unsigned i = 0; i < x->dim; ++i) r += std::fabs(Scaled(x, scale, i));
      break;
    case VNorm::Two: {
      // One dot product (or the loop of the scaled squares) in the common case; a sum that
      // overflowed or lost digits to underflow is taken again with a running scale.
      if (scale == nullptr) {
        r = __ip__(x->ve, x->ve, static_cast<int>(x->dim));
      } else {
        for (unsigned i = 0; i < x->dim; ++i) {
          const double v = Scaled(x, scale, i);
          r += v * v;
        }
      }
      r = kvlm::SafeNorm2(r, x->dim, [&](kvlm::ScaledSquares& acc) {
        for (unsigned i = 0; i < x->dim; ++i) acc.Add(Scaled(x, scale, i));
      });
      break;
    }
    case VNorm::Inf:
      for (unsigned i = 0; i < x->dim; ++i) r = kvlm::MaxKeepingNaN(r, std::fabs(Scaled(x, scale, i)));
      break;
  }
  return op.done(r);
}

}  // namespace

extern "C" {

KVELO_API double _LM__v_norm1(VEC* x, VEC* scale, int callerLine, const char* callerName,
                              int* status) {
  return VecNorm(x, scale, VNorm::One, "_v_norm1", callerLine, callerName, status);
}

KVELO_API double _LM__v_norm2(VEC* x, VEC* scale, int callerLine, const char* callerName,
                              int* status) {
  return VecNorm(x, scale, VNorm::Two, "_v_norm2", callerLine, callerName, status);
}

KVELO_API double _LM__v_norm_inf(VEC* x, VEC* scale, int callerLine, const char* callerName,
                                 int* status) {
  return VecNorm(x, scale, VNorm::Inf, "_v_norm_inf", callerLine, callerName, status);
}

KVELO_API double _LM_m_norm1(MAT* A, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "m_norm1", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, -1.0);
  return op.done(kvlm::LargestLineSum(A, true, [](double a) { return std::fabs(a); }));
}

KVELO_API double _LM_m_norm_inf(MAT* A, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "m_norm_inf", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, -1.0);
  return op.done(kvlm::LargestLineSum(A, false, [](double a) { return std::fabs(a); }));
}

KVELO_API double _LM_m_norm_frob(MAT* A, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "m_norm_frob", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, -1.0);
  return op.done(kvlm::FrobeniusNorm(A, [](double a) { return a * a; },
                                     [](double a, kvlm::ScaledSquares& acc) { acc.Add(a); }));
}

}  // extern "C"
