// zfunc.cpp: arithmetic on the complex scalar of the C matrix library. The modulus and the
// reciprocal scale through frexp/ldexp so that no intermediate square overflows or
// underflows; every other function is plain IEEE arithmetic.
#include <cmath>

#include "cmatrix/zcomplex_internal.h"
#include "erreur.h"

using kvlm::Z;

namespace {

// big = m1 * 2^e1 and t = small / 2^e1, the two halves of the scaled modulus.
struct Scaled {
  double m1;
  int e1;
  double t;
};

Scaled Scale(const Z& z) {
  const double a = std::fabs(z.re), b = std::fabs(z.im);
  const double big = a >= b ? a : b;
  const double small = a >= b ? b : a;
  Scaled s;
  int e2 = 0;
  s.m1 = std::frexp(big, &s.e1);
  const double m2 = std::frexp(small, &e2);
  s.t = std::ldexp(m2, e2 - s.e1);
  return s;
}

Z Make(double re, double im) {
  Z z;
  z.re = re;
  z.im = im;
  return z;
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
  const double r = std::sqrt(s.t * s.t + s.m1 * s.m1);
  return std::ldexp(r, s.e1);
}

KVELO_API Z zinv(Z z) {
  if (z.re == 0.0 && z.im == 0.0) {
    // No status argument: the handler's status word tells the caller; the arithmetic below
    // then yields not-a-number parts.
    _LM_error("zfunc", 4, 168, "zinv", 0, 168, "zvinc");
  }
  const Scaled sc = Scale(z);
  const double d = sc.t * sc.t + sc.m1 * sc.m1;
  const double q = 1.0 / d;
  // Formed on its own: it underflows to 0 once the larger part reaches 2^537.
  const double s = std::ldexp(1.0, -2 * sc.e1);
  return Make(s * (q * z.re), -(s * (q * z.im)));
}

KVELO_API Z zdiv(Z z1, Z z2) {
  const Z w = zinv(z2);
  return Make(w.re * z1.re - w.im * z1.im, z1.re * w.im + w.re * z1.im);
}

KVELO_API Z zsqrt(Z z) {
  const double alpha = std::sqrt((std::fabs(z.re) + zabs(z)) * 0.5);
  if (alpha < 2.220446049250313e-16) return Make(0.0, 0.0);
  if (z.re >= 0.0) return Make(alpha, z.im / (2.0 * alpha));
  return Make(std::fabs(z.im) / (2.0 * alpha), z.im >= 0.0 ? alpha : -alpha);
}

KVELO_API Z zexp(Z z) {
  const double x = std::exp(z.re);
  return Make(std::cos(z.im) * x, std::sin(z.im) * x);
}

KVELO_API Z zlog(Z z) { return Make(std::log(zabs(z)), std::atan2(z.im, z.re)); }

}  // extern "C"
