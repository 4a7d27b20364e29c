// zfunc.cpp: arithmetic on the complex scalar of the C matrix library. The modulus, the
// reciprocal, the quotient and the square root work on parts scaled by a power of two near
// 1/|z| and apply the scale only to the result, so that no intermediate overflows or
// underflows; every other function is plain IEEE arithmetic.
#include <cmath>

#include "cmatrix/zcomplex_internal.h"
#include "erreur.h"

using kvlm::Z;

namespace {

// z = (re, im) * 2^e with the larger part of (re, im) in [0.5, 1) (frexp's range). Scaling by
// a power of two is exact, short of a smaller part so far below the larger one that it
// leaves the subnormal range, where it cannot change a result either.
struct Scaled {
  double re;
  double im;
  int e;
};

Scaled Scale(const Z& z) {
  const double a = std::fabs(z.re), b = std::fabs(z.im);
  Scaled s;
  std::frexp(a >= b ? a : b, &s.e);
  s.re = std::ldexp(z.re, -s.e);
  s.im = std::ldexp(z.im, -s.e);
  return s;
}

Z Make(double re, double im) {
  Z z;
  z.re = re;
  z.im = im;
  return z;
}

// A zero divisor: no status argument, so the handler's status word tells the caller; the
// arithmetic that follows yields not-a-number parts.
void ReportZeroDivisor(const Z& z) {
  if (z.re == 0.0 && z.im == 0.0) _LM_error("zfunc", 4, 168, "zinv", 0, 168, "zvinc");
}

}  // namespace

extern "C" {

KVELO_API Z zmake(double re, double im) { return Make(re, im); }

KVELO_API Z zneg(Z z) { return Make(-z.re, -z.im); }

KVELO_API Z zconj(Z z) { return Make(z.re, -z.im); }

KVELO_API Z zadd(Z z1, Z z2) { return Make(z1.re + z2.re, z1.im + z2.im); }

KVELO_API Z zsub(Z z1, Z z2) { return Make(z1.re - z2.re, z1.im - z2.im); }

KVELO_API Z zsmlt(Z z, double x) { return Make(x * z.re, x * z.im); }

KVELO_API Z zmlt(Z z1, Z z2) {
  return Make(z1.re * z2.re - z1.im * z2.im, z1.im * z2.re + z1.re * z2.im);
}

KVELO_API double zabs(Z z) {
  const Scaled s = Scale(z);
  return std::ldexp(std::sqrt(s.re * s.re + s.im * s.im), s.e);
}

KVELO_API Z zinv(Z z) {
  ReportZeroDivisor(z);
  // 1/z = conj(z') / |z'|^2 * 2^-e, with |z'|^2 in [0.25, 2).
  const Scaled s = Scale(z);
  const double d = s.re * s.re + s.im * s.im;
  return Make(std::ldexp(s.re / d, -s.e), std::ldexp(-s.im / d, -s.e));
}

KVELO_API Z zdiv(Z z1, Z z2) {
  ReportZeroDivisor(z2);
  // z1/z2 = z1' conj(z2') / |z2'|^2 * 2^(e1 - e2): the parts of z1' and z2' are below 1 and
  // |z2'|^2 at least 0.25, so the quotient of the scaled parts stays below 8 and the two
  // exponents meet only in the result (a quotient beyond the range of double then overflows
  // or underflows once, as it must).
  const Scaled a = Scale(z1), b = Scale(z2);
  const double d = b.re * b.re + b.im * b.im;
  const double re = (a.re * b.re + a.im * b.im) / d;
  const double im = (a.im * b.re - a.re * b.im) / d;
  return Make(std::ldexp(re, a.e - b.e), std::ldexp(im, a.e - b.e));
}

KVELO_API Z zsqrt(Z z) {
  if (z.re == 0.0 && z.im == 0.0) return Make(0.0, 0.0);
  // sqrt(z) = sqrt(z') * 2^(e/2) with an even e: z' has its larger part in [0.25, 1), so
  // alpha lies in [0.35, 1) and neither the sum under the root nor the division by 2 alpha
  // can overflow or lose the value, however large or small z is.
  Scaled s = Scale(z);
  if (s.e % 2 != 0) {
    s.re = std::ldexp(s.re, -1);
    s.im = std::ldexp(s.im, -1);
    ++s.e;
  }
  const int half = s.e / 2;
  const double alpha = std::sqrt((std::fabs(s.re) + zabs(Make(s.re, s.im))) * 0.5);
  if (z.re >= 0.0) return Make(std::ldexp(alpha, half), std::ldexp(s.im / (2.0 * alpha), half));
  return Make(std::ldexp(std::fabs(s.im) / (2.0 * alpha), half),
              std::ldexp(z.im >= 0.0 ? alpha : -alpha, half));
}

KVELO_API Z zexp(Z z) {
  const double x = std::exp(z.re);
  return Make(std::cos(z.im) * x, std::sin(z.im) * x);
}

KVELO_API Z zlog(Z z) { return Make(std::log(zabs(z)), std::atan2(z.im, z.re)); }

}  // extern "C"
