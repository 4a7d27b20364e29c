// zmachine.cpp: the element kernels on raw complex arrays under every dense complex
// operation of the C matrix library. The dot product and the plain multiply-add are single
// BLAS calls with unit strides; the conjugating multiply-add and the rest are plain loops
// that read both parts of an index before writing it. The scaling product is zmlt's.
#include <cstring>

#include "ITF_blas_lapack.h"
#include "cmatrix/zcomplex_internal.h"

using kvlm::Z;

extern "C" {

KVELO_API void __zconj__(Z* x, int len) {
  for (int i = 0; i < len; ++i) x[i].im = -x[i].im;
}

KVELO_API Z __zip__(const Z* x, const Z* y, int len, int flag) {
  Z r;
  r.re = 0.0;
  r.im = 0.0;
  if (len <= 0) return r;
  std::complex<double> res(0.0, 0.0);
  ITF_kvelozdot(len, kvlm::Blas(x), kvlm::Blas(y), &res, flag);
  r.re = res.real();
  r.im = res.imag();
  return r;
}

KVELO_API void __zmltadd__(Z* y, const Z* x, Z s, int len, int flag) {
  if (len <= 0) return;
  if (flag == 0) {
    ITF_zaxpy(len, kvlm::Blas(s), kvlm::Blas(x), 1, kvlm::Blas(y), 1);
    return;
  }
  // y += s * conj(x), in the library's own order of operations.
  for (int i = 0; i < len; ++i) {
    const double xr = x[i].re, xi = x[i].im;
    const double yr = y[i].re, yi = y[i].im;
    y[i].re = (xr * s.re + yr) + xi * s.im;
    y[i].im = (yi - xi * s.re) + xr * s.im;
  }
}

KVELO_API void __zmlt__(const Z* x, Z s, Z* out, int len) {
  // The product of zmlt, which stays finite whenever its result is.
  for (int i = 0; i < len; ++i) out[i] = kvlm::ZProduct(x[i], s);
}

KVELO_API void __zadd__(const Z* x, const Z* y, Z* out, int len) {
  for (int i = 0; i < len; ++i) {
    const double re = x[i].re + y[i].re, im = x[i].im + y[i].im;
    out[i].re = re;
    out[i].im = im;
  }
}

KVELO_API void __zsub__(const Z* x, const Z* y, Z* out, int len) {
  for (int i = 0; i < len; ++i) {
    const double re = x[i].re - y[i].re, im = x[i].im - y[i].im;
    out[i].re = re;
    out[i].im = im;
  }
}

KVELO_API void __zzero__(Z* x, int len) {
  // All bits clear: a -0.0 part becomes +0.0 as well.
  if (len > 0) std::memset(x, 0, static_cast<size_t>(len) * sizeof(Z));
}

}  // extern "C"
