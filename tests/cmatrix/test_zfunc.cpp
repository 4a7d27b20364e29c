// Tests of the complex scalar arithmetic: exact small cases, the scaled modulus and
// reciprocal against std::complex, sign bits, and the zero-divisor report of zinv.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <limits>
#include <random>

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
  // 2^600 is past 2^537: the separately formed scale underflows and the result is zero.
  const ::complex r = zinv(Z(std::ldexp(1.0, 600), 0.0));
  ExpectBits(r.re, 0.0, "zinv big re");
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
  EXPECT_EQ(S(zsqrt(Z(1e-40, 0.0))), std::complex<double>(0.0, 0.0));  // alpha below 2^-52
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
