// machine.cpp: the element kernels on raw double arrays under every dense real operation
// of the C matrix library. The dot product and the multiply-add are single BLAS calls with
// unit strides; the others are plain loops that read an index before writing it.
#include <cmath>
#include <cstring>

#include "ITF_blas_lapack.h"
#include "matrix.h"

namespace {

// The sum of x[i]*y[i] with each product kept as a mantissa and an exponent (frexp) and the
// running sum rescaled to the largest exponent met so far: nothing overflows before the
// final scaling, which gives the result or the infinity of its sign.
double ScaledDot(const double* x, const double* y, int len) {
  double sum = 0.0;
  int exp = 0;
  bool empty = true;
  for (int i = 0; i < len; ++i) {
    int ex = 0, ey = 0;
    const double m = std::frexp(x[i], &ex) * std::frexp(y[i], &ey);
    if (m == 0.0) continue;
    const int e = ex + ey;
    if (empty) {
      sum = m;
      exp = e;
      empty = false;
    } else if (e > exp) {
      sum = std::ldexp(sum, exp - e) + m;
      exp = e;
    } else {
      sum += std::ldexp(m, e - exp);
    }
  }
  return empty ? 0.0 : std::ldexp(sum, exp);
}

}  // namespace

extern "C" {

KVELO_API double __ip__(const double* x, const double* y, int len) {
  if (len <= 0) return 0.0;
  const double r = ITF_ddot(len, x, 1, y, 1);
  if (!std::isnan(r)) return r;
  // Finite operands whose products or partial sums overflowed to opposite infinities: taken
  // again on scaled terms, so the result is the infinity of its sign (or finite), not NaN.
  for (int i = 0; i < len; ++i)
    if (!std::isfinite(x[i]) || !std::isfinite(y[i])) return r;
  return ScaledDot(x, y, len);
}

KVELO_API void __mltadd__(double* y, const double* x, double s, int len) {
  if (len <= 0) return;
  ITF_daxpy(len, s, x, 1, y, 1);
}

KVELO_API void __smlt__(const double* x, double s, double* out, int len) {
  for (int i = 0; i < len; ++i) out[i] = s * x[i];
}

KVELO_API void __add__(const double* x, const double* y, double* out, int len) {
  for (int i = 0; i < len; ++i) out[i] = x[i] + y[i];
}

KVELO_API void __sub__(const double* x, const double* y, double* out, int len) {
  for (int i = 0; i < len; ++i) out[i] = x[i] - y[i];
}

KVELO_API void __zero__(double* x, int len) {
  // All bits clear, so a -0.0 becomes +0.0 as well.
  if (len > 0) std::memset(x, 0, static_cast<size_t>(len) * sizeof(double));
}

KVELO_API void __izero__(int* x, int len) {
  if (len > 0) std::memset(x, 0, static_cast<size_t>(len) * sizeof(int));
}

}  // extern "C"
