// zcomplex_internal.h: helpers shared by the complex modules of the C matrix library:
// the exact scalar tests, the bridge to the BLAS complex type, and raising an error under
// a routine name other than the operation's own, the product and quotient that stay finite
// whenever their result is.
#ifndef KVELO_CMATRIX_ZCOMPLEX_INTERNAL_H
#define KVELO_CMATRIX_ZCOMPLEX_INTERNAL_H

#include <cmath>
#include <complex>

#include "cmatrix/lm_status.h"
#include "zmatrix.h"

namespace kvlm {

using Z = ::complex;

// Exact IEEE tests: a NaN in either part makes the scalar none of these; -0.0 equals 0.0.
inline bool ZIsZero(const Z& z) { return z.re == 0.0 && z.im == 0.0; }
inline bool ZIsOne(const Z& z) { return z.re == 1.0 && z.im == 0.0; }
inline bool ZIsMinusOne(const Z& z) { return z.re == -1.0 && z.im == 0.0; }

// The library's scalar and the BLAS element share one layout: two doubles, real first.
static_assert(sizeof(Z) == 2 * sizeof(double), "complex must be two packed doubles");
static_assert(sizeof(std::complex<double>) == sizeof(Z), "BLAS complex layout");
inline std::complex<double>* Blas(Z* p) { return reinterpret_cast<std::complex<double>*>(p); }
inline const std::complex<double>* Blas(const Z* p) {
  return reinterpret_cast<const std::complex<double>*>(p);
}
inline std::complex<double> Blas(const Z& z) { return std::complex<double>(z.re, z.im); }

// z1*z2 on parts scaled by powers of two (zfunc.cpp): no partial product overflows while
// the result's parts are finite.
Z ZProductScaled(const Z& z1, const Z& z2);

// The sum over i < len of x[i]*y[i] (conj(x[i])*y[i] when flag is non-zero) with every partial
// product and partial sum held as a mantissa and an exponent (zfunc.cpp): for finite operands
// whose plain sum meets an overflowing term; a part beyond the range of double becomes the
// infinity of its sign, never the NaN of opposite infinities.
Z ZDotScaled(const Z* x, const Z* y, int len, int flag);

// z1*z2 = (re1 re2 - im1 im2, im1 re2 + re1 im2), the plain formula; when finite parts give
// an infinite or NaN part (a partial product beyond the range of double while the part
// itself is not), the scaled product instead.
inline Z ZProduct(const Z& z1, const Z& z2) {
  Z r;
  r.re = z1.re * z2.re - z1.im * z2.im;
  r.im = z1.im * z2.re + z1.re * z2.im;
  if (std::isfinite(r.re) && std::isfinite(r.im)) return r;
  if (!(std::isfinite(z1.re) && std::isfinite(z1.im) && std::isfinite(z2.re) &&
        std::isfinite(z2.im)))
    return r;
  return ZProductScaled(z1, z2);
}

// z1/z2 on parts scaled by powers of two, without the zero-divisor report of zdiv (the
// caller has refused a zero z2): nothing overflows or underflows before the result does.
Z ZQuotient(const Z& z1, const Z& z2);

// Reports `code` from `line` of `file` under `routine` (not the operation's own name), with
// the operation's caller, and copies the status word out as LmOp::raise does.
inline void RaiseAs(LmOp& op, const char* file, int code, int line, const char* routine) {
  _LM_error(file, code, line, routine, 0, op.callerLine(), op.callerName());
  *op.st() = _LM_err_status;
}

// Fills count elements from the library's uniform stream, real then imaginary part of each
// (zvecop.cpp; the matrix fill uses it row by row).
void ZRandFill(Z* p, unsigned count);

}  // namespace kvlm

#endif
