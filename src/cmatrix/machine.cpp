// machine.cpp: the element kernels on raw double arrays under every dense real operation
// of the C matrix library. The dot product and the multiply-add are single BLAS calls with
// unit strides; the others are plain loops that read an index before writing it.
#include <cstring>

#include "ITF_blas_lapack.h"
#include "matrix.h"

extern "C" {

KVELO_API double __ip__(const double* x, const double* y, int len) {
  if (len <= 0) return 0.0;
  return ITF_ddot(len, x, 1, y, 1);
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
