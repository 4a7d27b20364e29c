// zfunc.cpp: arithmetic on the complex scalar of the C matrix library. The modulus, the
// reciprocal, the quotient, the square root, the logarithm and (outside the plain range) the
// product and the exponential work on parts scaled by a power of two and apply the scale
// only to the result, so that no intermediate overflows or underflows while the result is
// finite; the logarithm near the unit circle is formed from |z|^2 - 1 exactly. Infinite
// and NaN parts follow C99's Annex G where the plain formulas would lose them.
#include <cmath>
#include <limits>

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

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// ln 2 in two pieces: k * kLn2Hi is exact for |k| < 2^20, so k ln 2 keeps its last bits.
const double kLn2Hi = 6.93147180369123816490e-01;
const double kLn2Lo = 1.90821492927058770002e-10;

// A zero divisor: no status argument, so the handler's status word tells the caller; the
// arithmetic that follows yields not-a-number parts.
void ReportZeroDivisor(const Z& z) {
  if (z.re == 0.0 && z.im == 0.0) _LM_error("zfunc", 4, 168, "zinv", 0, 168, "zvinc");
}

// x^2 + y^2 - 1 for |z|^2 near 1, where the plain sum would keep little but rounding: each
// square is split exactly into a rounded product and its error (fma), and the five terms are
// added with a running compensation, so the result is good to a few ulps of itself.
double SquaredModulusMinusOne(double x, double y) {
  const double px = x * x, py = y * y;
  const double terms[4] = {px, py, std::fma(x, x, -px), std::fma(y, y, -py)};
  double sum = -1.0, comp = 0.0;
  for (double t : terms) {
    const double s = sum + t;
    comp += std::fabs(sum) >= std::fabs(t) ? (sum - s) + t : (t - s) + sum;
    sum = s;
  }
  return sum + comp;
}

// log |z| for finite or infinite parts: +inf when either part is infinite (a NaN beside it
// included, as C99's clog has it), NaN for a NaN part, -inf for zero.
double LogModulus(const Z& z) {
  const double a = std::fabs(z.re), b = std::fabs(z.im);
  if (std::isinf(a) || std::isinf(b)) return HUGE_VAL;
  if (std::isnan(a) || std::isnan(b)) return kNaN;
  if (a == 0.0 && b == 0.0) return -HUGE_VAL;
  // Both parts below 2 here, so the squares neither overflow nor matter when they underflow.
  const double big = a >= b ? a : b;
  if (big < 2.0) {
    const double sq = a * a + b * b;
    if (sq >= 0.5 && sq <= 2.0) return 0.5 * std::log1p(SquaredModulusMinusOne(a, b));
  }
  // Away from the unit circle log|z| = log|z'| + e ln 2 with |z'| in [0.5, 1.42): no
  // overflow or underflow of |z| itself, and |log|z|| >= 0.34 keeps the sum accurate.
  const Scaled s = Scale(z);
  const double r = std::sqrt(s.re * s.re + s.im * s.im);
  return s.e * kLn2Hi + (std::log(r) + s.e * kLn2Lo);
}

// e^x * (c, s) for finite x beyond the range where e^x itself is a normal double: e^x =
// e^r 2^k with |r| <= ln 2 / 2, and the power of two is applied to each part last, so a
// finite part is not lost to an infinite or zero e^x.
Z ScaledExp(double x, double c, double s) {
  // Beyond |x| = 2200 every non-zero part over- or underflows whatever c and s are.
  const double lim = 2200.0;
  const double xc = x > lim ? lim : (x < -lim ? -lim : x);
  const int k = static_cast<int>(std::nearbyint(xc / (kLn2Hi + kLn2Lo)));
  const double r = (xc - k * kLn2Hi) - k * kLn2Lo;
  const double er = std::exp(r);
  return Make(std::ldexp(c * er, k), std::ldexp(s * er, k));
}

// a*b as m * 2^e, m the product of the two frexp mantissas (|m| in [0.25, 1), or 0): no
// overflow or underflow whatever the exponents, one rounding.
struct PartialProduct {
  double m;
  int e;
};

PartialProduct Partial(double a, double b) {
  int ea = 0, eb = 0;
  const double ma = std::frexp(a, &ea), mb = std::frexp(b, &eb);
  return PartialProduct{ma * mb, ea + eb};
}

// p + sign*q, the two added at the larger exponent: the smaller term may leave the normal
// range there only when it lies below the larger one's last bit. The scale is applied once,
// to the sum.
double AddPartials(const PartialProduct& p, const PartialProduct& q, double sign) {
  if (p.m == 0.0) return std::ldexp(sign * q.m, q.e) + p.m;
  if (q.m == 0.0) return std::ldexp(p.m, p.e) + sign * q.m;
  const int e = p.e > q.e ? p.e : q.e;
  return std::ldexp(std::ldexp(p.m, p.e - e) + sign * std::ldexp(q.m, q.e - e), e);
}

}  // namespace

namespace kvlm {

Z ZProductScaled(const Z& z1, const Z& z2) {
  // Each partial product is kept as a mantissa in [0.25, 1) and an exponent, and the two of a
  // part are added at the larger exponent. Scaling a whole operand by its larger part would
  // push its smaller part below the normal range and lose the bits that its product with the
  // other operand's larger part still needs.
  const PartialProduct rr = Partial(z1.re, z2.re), ii = Partial(z1.im, z2.im);
  const PartialProduct ir = Partial(z1.im, z2.re), ri = Partial(z1.re, z2.im);
  return Make(AddPartials(rr, ii, -1.0), AddPartials(ir, ri, 1.0));
}

Z ZDotScaled(const Z* x, const Z* y, int len, int flag) {
  // A running sum s * 2^e per part, rescaled to the larger exponent as terms come in.
  struct Acc {
    double s = 0.0;
    int e = 0;
    bool empty = true;
    void Add(const PartialProduct& p, double sign) {
      if (p.m == 0.0) return;
      if (empty) {
        s = sign * p.m;
        e = p.e;
        empty = false;
      } else if (p.e > e) {
        s = std::ldexp(s, e - p.e) + sign * p.m;
        e = p.e;
      } else {
        s += sign * std::ldexp(p.m, p.e - e);
      }
    }
    double Value() const { return empty ? 0.0 : std::ldexp(s, e); }
  } re, im;
  for (int i = 0; i < len; ++i) {
    const double ar = x[i].re, ai = flag != 0 ? -x[i].im : x[i].im;
    re.Add(Partial(ar, y[i].re), 1.0);
    re.Add(Partial(ai, y[i].im), -1.0);
    im.Add(Partial(ai, y[i].re), 1.0);
    im.Add(Partial(ar, y[i].im), 1.0);
  }
  return Make(re.Value(), im.Value());
}

Z ZQuotient(const Z& z1, const Z& z2) {
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

}  // namespace kvlm

extern "C" {

KVELO_API Z zmake(double re, double im) { return Make(re, im); }

KVELO_API Z zneg(Z z) { return Make(-z.re, -z.im); }

KVELO_API Z zconj(Z z) { return Make(z.re, -z.im); }

KVELO_API Z zadd(Z z1, Z z2) { return Make(z1.re + z2.re, z1.im + z2.im); }

KVELO_API Z zsub(Z z1, Z z2) { return Make(z1.re - z2.re, z1.im - z2.im); }

KVELO_API Z zsmlt(Z z, double x) { return Make(x * z.re, x * z.im); }

KVELO_API Z zmlt(Z z1, Z z2) { return kvlm::ZProduct(z1, z2); }

KVELO_API double zabs(Z z) {
  // C99's cabs: an infinite part gives +inf even beside a NaN.
  if (std::isinf(z.re) || std::isinf(z.im)) return HUGE_VAL;
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
  return kvlm::ZQuotient(z1, z2);
}

KVELO_API Z zsqrt(Z z) {
  // C99's csqrt on infinite and NaN parts: an infinite imaginary part wins over everything.
  if (std::isinf(z.im)) return Make(HUGE_VAL, z.im);
  if (std::isnan(z.re)) return Make(kNaN, kNaN);
  if (std::isinf(z.re)) {
    if (std::isnan(z.im)) return z.re > 0.0 ? Make(HUGE_VAL, kNaN) : Make(kNaN, HUGE_VAL);
    return z.re > 0.0 ? Make(HUGE_VAL, std::copysign(0.0, z.im))
                      : Make(0.0, std::copysign(HUGE_VAL, z.im));
  }
  if (std::isnan(z.im)) return Make(kNaN, kNaN);
  if (z.re == 0.0 && z.im == 0.0) return Make(0.0, z.im);
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
  // On the negative real axis the sign of a zero imaginary part picks the side of the cut.
  return Make(std::ldexp(std::fabs(s.im) / (2.0 * alpha), half),
              std::ldexp(std::signbit(z.im) ? -alpha : alpha, half));
}

KVELO_API Z zexp(Z z) {
  // A zero imaginary part stays exact (e^x may be infinite or NaN: no 0 * inf).
  if (z.im == 0.0) return Make(std::exp(z.re), z.im);
  if (std::isinf(z.re) && !std::isfinite(z.im))
    return z.re < 0.0 ? Make(0.0, 0.0) : Make(HUGE_VAL, kNaN);
  if (std::isfinite(z.re) && std::isfinite(z.im) && std::fabs(z.re) > 708.0)
    return ScaledExp(z.re, std::cos(z.im), std::sin(z.im));
  const double x = std::exp(z.re);
  return Make(std::cos(z.im) * x, std::sin(z.im) * x);
}

KVELO_API Z zlog(Z z) { return Make(LogModulus(z), std::atan2(z.im, z.re)); }

}  // extern "C"
