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
#include <sstream>
#include <string>

#include "cmat_complex.h"
#include "cmat_norm.h"
#include "cmat_support.h"
#include "zmatrix.h"

using cmat_test::ErrWatch;
using cmat_test::C;
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
  // The sign of a zero imaginary part picks the side of the cut, as C99's csqrt has it.
  const ::complex below = zsqrt(Z(-4.0, -0.0));
  ExpectBits(below.re, 0.0, "sqrt(-4 - 0i) re");
  ExpectBits(below.im, -2.0, "sqrt(-4 - 0i) im");
  EXPECT_EQ(S(zsqrt(Z(0.0, 0.0))), std::complex<double>(0.0, 0.0));
  ExpectBits(zsqrt(Z(0.0, -0.0)).im, -0.0, "sqrt(0 - 0i) im");
  ExpectBits(zsqrt(Z(4.0, -0.0)).im, -0.0, "sqrt(4 - 0i) im");
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

// A dividend near the largest double: each quotient below is exact by hand ((a + ai) /
// (1 + i) = a, (-a + ai) / i = a + ai, a / (1 + i) = (a/2, -a/2)), although the dividend's
// own partial products with the divisor overflow; only scaling the dividend too keeps them.
TEST(ZScalar, QuotientOfADividendNearTheLargestDouble) {
  const double a = 1e308, M = DBL_MAX;
  const struct {
    C x, y, want;
  } cases[] = {
      {C(a, a), C(1, 1), C(a, 0)},
      {C(a, -a), C(1, -1), C(a, 0)},
      {C(-a, a), C(0, 1), C(a, a)},
      {C(M, M), C(2, 2), C(M / 2, 0)},
      {C(M, 0), C(1, 1), C(M / 2, -M / 2)},
  };
  _LM_err_status = 0;
  for (const auto& c : cases) {
    const C got = S(zdiv(Z(c.x.real(), c.x.imag()), Z(c.y.real(), c.y.imag())));
    EXPECT_EQ(got, c.want) << c.x << " / " << c.y;
  }
  EXPECT_EQ(_LM_err_status, 0);
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

// log|z| where the plain log(zabs(z)) loses it: near the unit circle (where |z| rounds to 1
// or its neighbours) and where |z| itself overflows or is subnormal. The references are
// 0.5 ln(x^2 + y^2) of the very doubles given, worked out with exact rational squares and
// 60-digit decimal logarithms (Python's fractions and decimal).
TEST(ZScalar, LogarithmKeepsItsRealPartNearTheUnitCircleAndAtTheEndsOfTheRange) {
  struct Case {
    double re, im, logmod;
  };
  const Case cases[] = {
      {1.0, 1e-10, 5.0000000000000005e-21},
      {1.7e308, 1.7e308, 710.0734104835083},
      {0.6, 0.8, 2.2204460492503132e-17},
      {0.8, -0.6, 2.2204460492503132e-17},
      {0.7071067811865476, 0.7071067811865475, -1.014653635756952e-17},
      {0.9999999999999998, 1.4901161193847656e-08, -1.1102230246251564e-16},
      {0.5, 0.8660254037844386, -4.345318932600586e-17},
      {-1.0000000001, 0.0, 1.000000082690371e-10},
      {1e-320, 0.0, -736.8272408909739},
      {1e300, -1e300, 691.1221014884936},
      {3e-300, 4e-300, -689.1660899857796},
      {1e-170, 1e-170, -391.0928922187078},
      {std::ldexp(1.0, -1074), 0.0, -744.4400719213812},
  };
  for (const Case& c : cases) {
    const ::complex l = zlog(Z(c.re, c.im));
    EXPECT_TRUE(cmat_test::NormNear(l.re, c.logmod, 4)) << c.re << " " << c.im;
    EXPECT_EQ(l.im, std::atan2(c.im, c.re)) << c.re << " " << c.im;
  }
  // Points on and next to the unit circle against the C library's clog, which forms
  // x^2 + y^2 - 1 exactly as well.
  std::mt19937_64 gen(17);
  std::uniform_real_distribution<double> angle(-3.14, 3.14), off(-1e-6, 1e-6);
  for (int k = 0; k < 500; ++k) {
    const double t = angle(gen), r = 1.0 + (k % 2 == 0 ? 0.0 : off(gen));
    const std::complex<double> z(r * std::cos(t), r * std::sin(t));
    const ::complex l = zlog(Z(z.real(), z.imag()));
    const std::complex<double> want = std::log(z);
    EXPECT_LE(std::fabs(l.re - want.real()), 4 * DBL_EPSILON * std::fabs(want.real()) + 1e-300)
        << z << " got " << l.re << " want " << want.real();
  }
}

// e^x beyond the range of double while e^x cos y or e^x sin y is not (or is subnormal), the
// references again from 60-digit decimal exponentials times the doubles' cos y and sin y.
TEST(ZScalar, ExponentialKeepsFinitePartsBeyondTheRangeOfEToTheX) {
  const double inf = HUGE_VAL;
  struct Case {
    double re, im, wantRe, wantIm;
  };
  const Case cases[] = {
      {710.0, 1.5707963267948966, 1.3679272698459396e+292, inf},
      {709.9, 2.0, -8.412000710440458e+307, inf},
      {1000.0, 1e-300, inf, 1.970071114017047e+134},
      {-710.0, -2.5, -3.586148131060313e-309, -2.6789326151028e-309},
      {-740.0, 1.0, 2.27e-322, 3.5e-322},
      {-745.0, 0.5, 5e-324, 0.0},
  };
  for (const Case& c : cases) {
    const ::complex e = zexp(Z(c.re, c.im));
    EXPECT_TRUE(cmat_test::NormNear(e.re, c.wantRe, 4)) << c.re << " " << c.im << ": " << e.re;
    EXPECT_TRUE(cmat_test::NormNear(e.im, c.wantIm, 4)) << c.re << " " << c.im << ": " << e.im;
  }
  // A sweep across both ends against the C library's cexp, which scales the same way.
  std::mt19937_64 gen(23);
  std::uniform_real_distribution<double> x(700.0, 1450.0), y(-3.0, 3.0), tiny(0.0, 1.0);
  for (int k = 0; k < 300; ++k) {
    const double re = (k % 3 == 0 ? -1.0 : 1.0) * x(gen);
    const double im = k % 5 == 0 ? std::ldexp(tiny(gen), -900) : y(gen);
    const std::complex<double> want = std::exp(std::complex<double>(re, im));
    const ::complex e = zexp(Z(re, im));
    for (int part = 0; part < 2; ++part) {
      const double g = part == 0 ? e.re : e.im, w = part == 0 ? want.real() : want.imag();
      if (std::fabs(w) < DBL_MIN) {
        EXPECT_LE(std::fabs(g - w), 2 * std::ldexp(1.0, -1074)) << re << " " << im;
      } else {
        EXPECT_TRUE(cmat_test::NormNear(g, w, 8)) << re << " " << im << " part " << part;
      }
    }
  }
}

// A product whose partial products pass the largest double while its parts do not:
// z = R e^(i pi/8) with R^2 = 1.3 DBL_MAX has z^2 = R^2 e^(i pi/4), both parts 0.92 DBL_MAX,
// while re^2 is 1.11 DBL_MAX. The references in long double, whose range holds them all.
TEST(ZScalar, ProductKeepsFinitePartsWhosePartialProductsOverflow) {
  const double R = std::sqrt(1.3) * std::sqrt(DBL_MAX);
  const double pi = std::acos(-1.0);
  const ::complex z = Z(R * std::cos(pi / 8), R * std::sin(pi / 8));
  const LC want = LC(z.re, z.im) * LC(z.re, z.im);
  // The parts are normal doubles though the modulus (1.3 DBL_MAX) is not: part by part.
  auto expectParts = [&](const ::complex& got, const char* what) {
    EXPECT_TRUE(cmat_test::NormNear(got.re, static_cast<double>(want.real()), 4)) << what;
    EXPECT_TRUE(cmat_test::NormNear(got.im, static_cast<double>(want.imag()), 4)) << what;
  };
  ASSERT_TRUE(std::isfinite(static_cast<double>(want.real())));
  ASSERT_TRUE(std::isinf(z.re * z.re));
  expectParts(zmlt(z, z), "zmlt");
  // The kernel of the record products and the element-wise product use it too.
  ::complex out[2];
  const ::complex x[2] = {z, Z(1.0, 2.0)};
  __zmlt__(x, z, out, 2);
  expectParts(out[0], "__zmlt__");
  ExpectNearLong(S(out[1]), LC(1.0, 2.0) * LC(z.re, z.im), 4, "__zmlt__ plain");
  ZVEC* a = cmat_test::NewZVec({S(z)});
  ZVEC* b = cmat_test::NewZVec({S(z)});
  int st = 0;
  ZVEC* p = _LM_zv_star(a, b, nullptr, __LINE__, "test", &st);
  ASSERT_NE(p, nullptr);
  expectParts(p->ve[0], "_LM_zv_star");
  zv_free(p);
  zv_free(a);
  zv_free(b);
  // Genuine overflow stays infinite, and non-finite inputs keep IEEE arithmetic.
  EXPECT_TRUE(std::isinf(zmlt(Z(1e200, 0.0), Z(1e200, 0.0)).re));
  EXPECT_TRUE(std::isnan(zmlt(Z(HUGE_VAL, 0.0), Z(0.0, 1.0)).re));
}

// Infinite and NaN parts, where the plain formulas give NaN in place of C99's values:
// every case against the C library's csqrt, cexp and clog (which follow its Annex G), by
// class: NaN, infinity with its sign, zero with its sign, or a finite number.
TEST(ZScalar, InfiniteAndNaNPartsFollowTheCLibrary) {
  const double inf = HUGE_VAL, nan = std::nan("");
  const double values[] = {-inf, -2.5, -0.0, 0.0, 1.5, inf, nan};
  auto same = [](double got, double want) {
    if (std::isnan(want)) return std::isnan(got);
    if (std::isinf(want) || want == 0.0) return got == want && std::signbit(got) == std::signbit(want);
    return std::fabs(got - want) <= 8 * DBL_EPSILON * std::fabs(want);
  };
  // Where C99 leaves a sign unspecified, only the class is compared.
  auto sameClass = [](double got, double want) {
    if (std::isnan(want)) return std::isnan(got);
    if (std::isinf(want)) return std::isinf(got);
    return got == want || std::fabs(got - want) <= 8 * DBL_EPSILON * std::fabs(want);
  };
  for (double re : values) {
    for (double im : values) {
      const std::complex<double> z(re, im);
      const bool special = !std::isfinite(re) || !std::isfinite(im);
      const std::complex<double> rs = std::sqrt(z), re_ = std::exp(z), rl = std::log(z);
      const ::complex s = zsqrt(Z(re, im)), e = zexp(Z(re, im)), l = zlog(Z(re, im));
      std::ostringstream what;
      what << "(" << re << ", " << im << ")";
      EXPECT_TRUE(same(s.re, rs.real()) && (std::isnan(re) && std::isinf(im) ? true : true))
          << "sqrt re " << what.str() << " got " << s.re << " want " << rs.real();
      if (std::isinf(re) && re < 0 && std::isnan(im)) {
        EXPECT_TRUE(sameClass(s.im, rs.imag())) << "sqrt im " << what.str();
      } else {
        EXPECT_TRUE(same(s.im, rs.imag())) << "sqrt im " << what.str() << " got " << s.im << " want " << rs.imag();
      }
      if (special && std::isinf(re) && !std::isfinite(im)) {
        EXPECT_TRUE(sameClass(e.re, re_.real()) && sameClass(e.im, re_.imag())) << "exp " << what.str();
      } else {
        EXPECT_TRUE(same(e.re, re_.real())) << "exp re " << what.str() << " got " << e.re << " want " << re_.real();
        EXPECT_TRUE(same(e.im, re_.imag())) << "exp im " << what.str() << " got " << e.im << " want " << re_.imag();
      }
      EXPECT_TRUE(same(l.re, rl.real())) << "log re " << what.str() << " got " << l.re << " want " << rl.real();
      EXPECT_TRUE(same(l.im, rl.imag())) << "log im " << what.str() << " got " << l.im << " want " << rl.imag();
    }
  }
  // Hand values of the cases the plain formulas got wrong.
  EXPECT_EQ(zexp(Z(inf, 0.0)).re, inf);
  ExpectBits(zexp(Z(inf, 0.0)).im, 0.0, "exp(inf + 0i) im");
  ExpectBits(zexp(Z(nan, -0.0)).im, -0.0, "exp(NaN - 0i) im");
  EXPECT_EQ(zlog(Z(nan, -inf)).re, inf);
  EXPECT_EQ(zsqrt(Z(nan, inf)).re, inf);
  EXPECT_EQ(zsqrt(Z(-inf, 1.0)).im, inf);
  EXPECT_EQ(zsqrt(Z(inf, -1.0)).re, inf);
}

// A product whose imaginary part overflows while its real part is finite: the real part is
// the small part of one factor times the large part of the other, which scaling a whole
// factor by its larger part would push below the normal range and cut short.
TEST(ZfuncProduct, FinitePartBesideAnOverflowKeepsItsDigits) {
  const double a = -4.94065645841246544e-324, b = -1e300, c = 4.25704e13, d = 2.2250738585072014e-308;
  const ::complex p = zmlt(zmake(a, b), zmake(c, d));
  const long double want = static_cast<long double>(a) * c - static_cast<long double>(b) * d;
  EXPECT_NEAR(p.re, static_cast<double>(want), 4 * DBL_EPSILON * std::fabs(static_cast<double>(want)));
  EXPECT_TRUE(std::isinf(p.im) && p.im < 0);
}

// Parts more than 2^1074 apart in one factor: (DBL_MAX, -DBL_MIN) * (-1e-300, -1.7e308).
// re = DBL_MAX * -1e-300 - DBL_MIN * 1.7e308 = -179769313.49 - 3.7826 by hand; the imaginary
// part -DBL_MAX * 1.7e308 overflows to -inf. No part of either factor may be flushed.
TEST(ZfuncProduct, PartsFarApartInOneFactorAreNotFlushed) {
  const double a = 1.7976931348623157e308, b = -2.2250738585072014e-308, c = -1e-300, d = -1.7e308;
  const ::complex p = zmlt(zmake(a, b), zmake(c, d));
  const long double want = static_cast<long double>(a) * c - static_cast<long double>(b) * d;
  EXPECT_NEAR(static_cast<double>(want), -179769313.49 - 3.7826, 0.01);
  EXPECT_NEAR(p.re, static_cast<double>(want), 4 * DBL_EPSILON * std::fabs(static_cast<double>(want)));
  EXPECT_EQ(p.im, -std::numeric_limits<double>::infinity());
  // The same product in the other order.
  const ::complex q = zmlt(zmake(c, d), zmake(a, b));
  EXPECT_NEAR(q.re, static_cast<double>(want), 4 * DBL_EPSILON * std::fabs(static_cast<double>(want)));
  EXPECT_EQ(q.im, -std::numeric_limits<double>::infinity());
}

// cabs: an infinite part gives +inf, even beside a NaN; a NaN beside a finite part is NaN.
TEST(ZfuncModulus, AnInfinitePartBesideANaNIsInfinite) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(zabs(zmake(-inf, nan)), inf);
  EXPECT_EQ(zabs(zmake(nan, inf)), inf);
  EXPECT_TRUE(std::isnan(zabs(zmake(nan, 1.0))));
}
