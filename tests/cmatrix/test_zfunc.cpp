// Tests of the complex scalar arithmetic: exact small cases, the scaled modulus, reciprocal,
// quotient and square root against std::complex and against long double arithmetic at
// scales where a plain formula overflows or underflows, sign bits, and the zero-divisor
// report of zinv.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <string>

#include "cmat_complex.h"
#include "cmat_support.h"
#include "zmatrix.h"

using cmat_test::ErrWatch;
using cmat_test::S;
using cmat_test::Z;

namespace {

void ExpectBits(double got, double want, const char* what) {
  EXPECT_EQ(std::signbit(got), std::signbit(want)) << what;
  EXPECT_EQ(got, want) << what;
}

// Relative agreement within a few ulps of the larger magnitude.
void ExpectNear(std::complex<double> got, std::complex<double> want, double ulps = 8) {
  const double scale = std::max(std::abs(want), DBL_MIN);
  EXPECT_LE(std::abs(got - want), ulps * DBL_EPSILON * scale) << got << " vs " << want;
}

using LC = std::complex<long double>;

// The exact-range references: long double (64-bit mantissa, exponents to 2^16383) holds
// |z|^2 of any double z, so the textbook formulas need no scaling there.
LC Inv(LC z) { return std::conj(z) / (z.real() * z.real() + z.imag() * z.imag()); }
LC Div(LC a, LC b) { return a * std::conj(b) / (b.real() * b.real() + b.imag() * b.imag()); }

// got against the long double reference, part by part, within ulps of the reference's
// modulus (the result must be a normal double for this to be meaningful).
void ExpectNearLong(std::complex<double> got, LC want, double ulps, const std::string& what) {
  const long double scale = std::abs(want);
  ASSERT_GT(scale, DBL_MIN) << what;
  ASSERT_LT(scale, DBL_MAX) << what;
  EXPECT_LE(std::fabs(got.real() - want.real()), ulps * DBL_EPSILON * scale) << what << ": " << got;
  EXPECT_LE(std::fabs(got.imag() - want.imag()), ulps * DBL_EPSILON * scale) << what << ": " << got;
}

}  // namespace

TEST(ZScalar, ElementaryArithmeticAndSignBits) {
  const ::complex a = Z(1.5, -2.0), b = Z(-0.25, 4.0);
  EXPECT_EQ(S(zadd(a, b)), std::complex<double>(1.25, 2.0));
  EXPECT_EQ(S(zsub(a, b)), std::complex<double>(1.75, -6.0));
  EXPECT_EQ(S(zsmlt(a, -2.0)), std::complex<double>(-3.0, 4.0));
  // (1.5 - 2i)(-0.25 + 4i) = -0.375 + 6i + 0.5i + 8 = 7.625 + 6.5i
  EXPECT_EQ(S(zmlt(a, b)), std::complex<double>(7.625, 6.5));

  const ::complex n = zneg(Z(0.0, 0.0));
  ExpectBits(n.re, -0.0, "zneg re");
  ExpectBits(n.im, -0.0, "zneg im");
  const ::complex c = zconj(Z(1.0, 0.0));
  ExpectBits(c.re, 1.0, "zconj re");
  ExpectBits(c.im, -0.0, "zconj im");
  EXPECT_EQ(S(zconj(Z(2.0, 3.0))), std::complex<double>(2.0, -3.0));
}

TEST(ZScalar, ModulusIsExactWhereItCanBeAndNeverOverflows) {
  EXPECT_EQ(zabs(Z(3.0, 4.0)), 5.0);
  EXPECT_EQ(zabs(Z(-4.0, 3.0)), 5.0);
  EXPECT_EQ(zabs(Z(0.0, 0.0)), 0.0);
  EXPECT_EQ(zabs(Z(0.0, -7.0)), 7.0);
  const double big = zabs(Z(1e200, 1e200));
  EXPECT_TRUE(std::isfinite(big));
  EXPECT_NEAR(big / 1e200, std::sqrt(2.0), 4 * DBL_EPSILON);
  const double tiny = zabs(Z(3e-320, 4e-320));  // subnormal parts: squares would underflow
  EXPECT_NEAR(tiny / 5e-320, 1.0, 1e-3);
  // Against the library-independent hypot on random values of wide range.
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> ex(-300, 300);
  for (int k = 0; k < 500; ++k) {
    const double re = std::ldexp(mant(gen), ex(gen)), im = std::ldexp(mant(gen), ex(gen));
    const double want = std::hypot(re, im);
    EXPECT_LE(std::fabs(zabs(Z(re, im)) - want), 4 * DBL_EPSILON * want) << re << " " << im;
  }
}

TEST(ZScalar, ReciprocalAndQuotient) {
  EXPECT_EQ(S(zinv(Z(0.0, 1.0))), std::complex<double>(0.0, -1.0));
  EXPECT_EQ(S(zdiv(Z(1.0, 0.0), Z(0.0, 1.0))), std::complex<double>(0.0, -1.0));
  EXPECT_EQ(S(zinv(Z(2.0, 0.0))), std::complex<double>(0.5, -0.0));
  // Far beyond 2^537, where a scale of 2^(-2e) formed on its own would underflow to 0.
  const ::complex r = zinv(Z(std::ldexp(1.0, 600), 0.0));
  ExpectBits(r.re, std::ldexp(1.0, -600), "zinv big re");
  ExpectBits(r.im, -0.0, "zinv big im");
  std::mt19937_64 gen(11);
  std::uniform_real_distribution<double> u(-10.0, 10.0);
  for (int k = 0; k < 200; ++k) {
    const ::complex a = Z(u(gen), u(gen)), b = Z(u(gen), u(gen));
    ExpectNear(S(zinv(b)), 1.0 / S(b));
    ExpectNear(S(zdiv(a, b)), S(a) / S(b), 16);
  }
  EXPECT_EQ(_LM_err_status, 0);
}

TEST(ZScalar, ReciprocalOfZeroRaisesCode4AndGivesNotANumber) {
  _LM_err_status = 0;
  ErrWatch w;
  const ::complex r = zinv(Z(0.0, -0.0));
  EXPECT_TRUE(std::isnan(r.re));
  EXPECT_TRUE(std::isnan(r.im));
  EXPECT_EQ(_LM_err_status, -1);
  EXPECT_EQ(w.count(), 1);
  EXPECT_EQ(w.last(), 4);
  EXPECT_EQ(w.routine(), "zinv");
  // zdiv goes through zinv.
  _LM_err_status = 0;
  ErrWatch w2;
  const ::complex q = zdiv(Z(1.0, 1.0), Z(0.0, 0.0));
  EXPECT_TRUE(std::isnan(q.re));
  EXPECT_EQ(w2.last(), 4);
  EXPECT_EQ(_LM_err_status, -1);
  // A NaN divisor is not zero: no error.
  _LM_err_status = 0;
  ErrWatch w3;
  zinv(Z(std::nan(""), 0.0));
  EXPECT_EQ(w3.count(), 0);
  EXPECT_EQ(_LM_err_status, 0);
}

TEST(ZScalar, SquareRoot) {
  EXPECT_EQ(S(zsqrt(Z(-4.0, 0.0))), std::complex<double>(0.0, 2.0));
  EXPECT_EQ(S(zsqrt(Z(4.0, 0.0))), std::complex<double>(2.0, 0.0));
  EXPECT_EQ(S(zsqrt(Z(1e-40, 0.0))), std::complex<double>(1e-20, 0.0));  // no size cut-off
  EXPECT_EQ(S(zsqrt(Z(-4.0, -0.0))), std::complex<double>(0.0, 2.0));  // -0.0 counts as >= 0
  EXPECT_EQ(S(zsqrt(Z(0.0, 0.0))), std::complex<double>(0.0, 0.0));
  // -4 - tiny i lies just below the cut: the root's imaginary part is negative.
  EXPECT_EQ(zsqrt(Z(-4.0, -1e-300)).im, -2.0);
  std::mt19937_64 gen(5);
  std::uniform_real_distribution<double> u(-100.0, 100.0);
  for (int k = 0; k < 200; ++k) {
    const ::complex z = Z(u(gen), u(gen));
    const ::complex r = zsqrt(z);
    EXPECT_GE(r.re, 0.0);
    ExpectNear(S(r), std::sqrt(S(z)), 16);
  }
}

TEST(ZScalar, ExponentialAndLogarithm) {
  const double pi = std::acos(-1.0);
  ExpectNear(S(zexp(Z(0.0, pi))), std::complex<double>(-1.0, 0.0), 1e3);
  std::mt19937_64 gen(3);
  std::uniform_real_distribution<double> u(-5.0, 5.0);
  for (int k = 0; k < 100; ++k) {
    const ::complex z = Z(u(gen), u(gen));
    ExpectNear(S(zexp(z)), std::exp(S(z)), 16);
    ExpectNear(S(zlog(z)), std::log(S(z)), 16);
    ExpectNear(S(zexp(zlog(z))), S(z), 64);
  }
  ErrWatch w;
  _LM_err_status = 0;
  const ::complex l = zlog(Z(0.0, 0.0));
  EXPECT_TRUE(std::isinf(l.re));
  EXPECT_LT(l.re, 0.0);
  EXPECT_EQ(l.im, 0.0);
  EXPECT_EQ(w.count(), 0);
  EXPECT_EQ(_LM_err_status, 0);
}

// The same values at the edges of the range: 1e-300 and 1e-160 (where a scale of 2^(-2e)
// overflows), 1e160 and 1e300 (where it underflows); the reciprocal and every quotient whose
// result is a normal double must come out as in exact arithmetic.
TEST(ZScalar, ReciprocalAndQuotientAtExtremeScales) {
  const double scales[] = {1e-300, 1e-160, 1.0, 1e160, 1e300};
  const std::complex<double> bases[] = {{1.0, 0.0}, {0.0, -1.0}, {3.0, 4.0}, {-0.7, 0.2}, {1.25, -1e-3}};
  _LM_err_status = 0;
  for (double s : scales) {
    for (const auto& b : bases) {
      const std::complex<double> z = b * s;
      const std::string what = "1/(" + std::to_string(b.real()) + ", " + std::to_string(b.imag()) +
                               ") at " + std::to_string(std::log10(s));
      ExpectNearLong(S(zinv(Z(z.real(), z.imag()))), Inv(LC(z)), 4, what);
    }
  }
  for (double s1 : scales) {
    for (double s2 : scales) {
      const double ratio = std::log10(s1) - std::log10(s2);
      if (std::fabs(ratio) > 300) continue;  // the quotient itself leaves the normal range
      for (const auto& a : bases) {
        for (const auto& b : bases) {
          const std::complex<double> x = a * s1, y = b * s2;
          const std::string what = "quotient at 1e" + std::to_string(static_cast<int>(std::log10(s1))) +
                                   " / 1e" + std::to_string(static_cast<int>(std::log10(s2)));
          ExpectNearLong(S(zdiv(Z(x.real(), x.imag()), Z(y.real(), y.imag()))), Div(LC(x), LC(y)), 8, what);
        }
      }
    }
  }
  EXPECT_EQ(_LM_err_status, 0);
  // The bare cases of the report: entries of 1e-160 and 1e200 give their reciprocals.
  EXPECT_NEAR(zinv(Z(1e-160, 0.0)).re / 1e160, 1.0, 4 * DBL_EPSILON);
  EXPECT_NEAR(zinv(Z(1e200, 0.0)).re / 1e-200, 1.0, 4 * DBL_EPSILON);
}

TEST(ZScalar, ModulusAndSquareRootAtExtremeScales) {
  const double scales[] = {1e-300, 1e-160, 1e-40, 1.0, 1e160, 1e300, 1.7e308};
  const std::complex<double> bases[] = {{1.0, 0.0}, {-1.0, 0.0}, {0.0, 1.0}, {0.6, -0.8}, {-0.6, 0.8}};
  for (double s : scales) {
    for (const auto& b : bases) {
      const std::complex<double> z = b * s;
      const std::string what = std::to_string(b.real()) + ", " + std::to_string(b.imag()) + " at " +
                               std::to_string(std::log10(s));
      const long double mod = std::abs(LC(z));
      EXPECT_LE(std::fabs(zabs(Z(z.real(), z.imag())) - mod), 2 * DBL_EPSILON * mod) << what;
      ExpectNearLong(S(zsqrt(Z(z.real(), z.imag()))), std::sqrt(LC(z)), 4, "sqrt of " + what);
    }
  }
  // Subnormal parts: the root of 4e-320 is 2e-160.
  EXPECT_NEAR(zsqrt(Z(4e-320, 0.0)).re / 2e-160, 1.0, 1e-3);
}
