// zmachine.cpp: the element kernels on raw complex arrays under every dense complex
// operation of the C matrix library. The dot product and the multiply-add take each product
// as zmlt does (finite whenever its result is, where the BLAS's plain products overflow
// first) and add in index order; the rest are plain loops that read both parts of an index
// before writing it. The scaling product is zmlt's.
#include <cmath>
#include <cstring>

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
  for (int i = 0; i < len; ++i) {
    Z a = x[i];
    if (flag != 0) a.im = -a.im;
    const Z p = kvlm::ZProduct(a, y[i]);
    r.re += p.re;
    r.im += p.im;
  }
  if (std::isfinite(r.re) && std::isfinite(r.im)) return r;
  // A term or a partial sum beyond the range of double: from finite operands the sum is taken
  // again on scaled terms, so that opposite overflows do not meet as NaN.
  for (int i = 0; i < len; ++i)
    if (!(std::isfinite(x[i].re) && std::isfinite(x[i].im) && std::isfinite(y[i].re) &&
          std::isfinite(y[i].im)))
      return r;
  return kvlm::ZDotScaled(x, y, len, flag);
}

KVELO_API void __zmltadd__(Z* y, const Z* x, Z s, int len, int flag) {
  // The one multiply-add of every complex multiply-add, product and elimination: y + s*x
  // is zmlt(s, x) added to y, so 0 + s*x gives zmlt's value exactly.
  for (int i = 0; i < len; ++i) {
    Z a = x[i];
    if (flag != 0) a.im = -a.im;
    const Z p = kvlm::ZProduct(s, a);
    y[i].re += p.re;
    y[i].im += p.im;
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
