// Tests of the complex element kernels: dot products with and without conjugation, the two
// multiply-adds, scaling, sums, zero fill, in-place use and non-positive lengths.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "cmat_complex.h"
#include "zmatrix.h"

using cmat_test::C;
using cmat_test::kBigS;
using cmat_test::kBigY;
using cmat_test::NearWide;
using cmat_test::WideProduct;
using cmat_test::S;
using cmat_test::Z;

namespace {

std::vector<::complex> Random(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-2.0, 2.0);
  std::vector<::complex> v(n);
  for (auto& z : v) z = Z(u(gen), u(gen));
  return v;
}

void ExpectClose(C got, C want, double tol) {
  EXPECT_LE(std::abs(got - want), tol) << got << " vs " << want;
}

}  // namespace

TEST(ZKernels, DotProductConjugatesTheFirstArrayOnRequest) {
  const ::complex i1[1] = {Z(0, 1)};
  EXPECT_EQ(S(__zip__(i1, i1, 1, 0)), C(-1, 0));
  EXPECT_EQ(S(__zip__(i1, i1, 1, 1)), C(1, 0));
  const auto x = Random(37, 1), y = Random(37, 2);
  C plain = 0, conj = 0;
  for (int i = 0; i < 37; ++i) {
    plain += S(x[i]) * S(y[i]);
    conj += std::conj(S(x[i])) * S(y[i]);
  }
  ExpectClose(S(__zip__(x.data(), y.data(), 37, 0)), plain, 37 * 16 * DBL_EPSILON);
  ExpectClose(S(__zip__(x.data(), y.data(), 37, 7)), conj, 37 * 16 * DBL_EPSILON);
  EXPECT_EQ(S(__zip__(x.data(), y.data(), 0, 0)), C(0, 0));
  EXPECT_EQ(S(__zip__(nullptr, nullptr, -3, 1)), C(0, 0));  // reads nothing
}

TEST(ZKernels, MultiplyAddWithAndWithoutConjugation) {
  ::complex y[1] = {Z(0, 0)};
  const ::complex x[1] = {Z(0, 1)};
  __zmltadd__(y, x, Z(1, 0), 1, 0);
  EXPECT_EQ(S(y[0]), C(0, 1));
  y[0] = Z(0, 0);
  __zmltadd__(y, x, Z(1, 0), 1, 1);
  EXPECT_EQ(S(y[0]), C(0, -1));

  const auto xs = Random(19, 3);
  const ::complex s = Z(0.75, -1.25);
  for (int flag = 0; flag < 2; ++flag) {
    auto ys = Random(19, 4);
    std::vector<C> want(19);
    for (int i = 0; i < 19; ++i)
      want[i] = S(ys[i]) + S(s) * (flag ? std::conj(S(xs[i])) : S(xs[i]));
    __zmltadd__(ys.data(), xs.data(), s, 19, flag);
    for (int i = 0; i < 19; ++i) ExpectClose(S(ys[i]), want[i], 8 * DBL_EPSILON);
    __zmltadd__(ys.data(), xs.data(), s, 0, flag);  // nothing
    __zmltadd__(ys.data(), xs.data(), s, -1, flag);
    for (int i = 0; i < 19; ++i) ExpectClose(S(ys[i]), want[i], 8 * DBL_EPSILON);
  }
}

// The multiply-add and the dot product take each product as zmlt does: where the partial
// products of s*y overflow but a part of the product does not, 0 + s*y is zmlt's value
// (agreeing with a long-double product), with and without conjugation, not inf - inf.
TEST(ZKernels, ProductsOfTheMultiplyAddAndTheDotAreZmlts) {
  const ::complex s = Z(kBigS.real(), kBigS.imag()), y = Z(kBigY.real(), kBigY.imag());
  const struct {
    int flag;
    C want;  // y + s*x with y = 0 and x = kBigY, conjugated for flag 1
  } cases[] = {{0, WideProduct(kBigS, kBigY)}, {1, WideProduct(kBigS, std::conj(kBigY))}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flag);
    ASSERT_TRUE(std::isfinite(c.want.real()) || std::isfinite(c.want.imag()));
    const ::complex x = c.flag ? zconj(y) : y;
    ::complex acc[2] = {Z(0, 0), Z(0, 0)};
    const ::complex xs[2] = {y, y};
    __zmltadd__(acc, xs, s, 2, c.flag);
    for (const ::complex& a : acc) {
      EXPECT_TRUE(NearWide(S(a), c.want, 1e-6)) << S(a) << " vs " << c.want;
      EXPECT_EQ(S(a), S(zmlt(s, x)));
    }
    // The dot product conjugates its first array: conj(s) * y for flag 1.
    const ::complex one[1] = {s};
    const C dot = S(__zip__(one, &y, 1, c.flag));
    const C wantDot = WideProduct(c.flag ? std::conj(kBigS) : kBigS, kBigY);
    EXPECT_TRUE(NearWide(dot, wantDot, 1e-6)) << dot << " vs " << wantDot;
    EXPECT_EQ(dot, S(zmlt(c.flag ? zconj(s) : s, y)));
  }
}

TEST(ZKernels, ScaleSumDifferenceConjugateAndZeroWorkInPlace) {
  auto x = Random(11, 5);
  const auto y = Random(11, 6);
  const auto x0 = x;
  const ::complex s = Z(-0.5, 2.0);
  __zmlt__(x.data(), s, x.data(), 11);
  for (int i = 0; i < 11; ++i) ExpectClose(S(x[i]), S(s) * S(x0[i]), 8 * DBL_EPSILON);
  x = x0;
  __zadd__(x.data(), y.data(), x.data(), 11);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(S(x[i]), S(x0[i]) + S(y[i]));
  std::vector<::complex> out = y;
  __zsub__(x0.data(), out.data(), out.data(), 11);  // out = x - out, with out = y
  for (int i = 0; i < 11; ++i) EXPECT_EQ(S(out[i]), S(x0[i]) - S(y[i]));
  x = x0;
  __zconj__(x.data(), 11);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(S(x[i]), std::conj(S(x0[i])));
  ::complex z[3] = {Z(0, 0), Z(1, 1), Z(2, 2)};
  __zconj__(z, 1);
  EXPECT_TRUE(std::signbit(z[0].im));  // the sign bit flips even for zero
  EXPECT_EQ(z[1].im, 1.0);
  z[0] = Z(-0.0, -0.0);
  __zzero__(z, 2);
  const unsigned char zero[32] = {0};
  EXPECT_EQ(std::memcmp(z, zero, 32), 0);
  EXPECT_EQ(z[2].re, 2.0);
  __zzero__(z, -1);
  EXPECT_EQ(z[2].re, 2.0);
}

// Finite terms whose products overflow with opposite signs: the sum is taken on scaled terms,
// giving the infinity of the exact sum's sign (or a finite sum), never NaN.
TEST(ZKernels, DotOfFiniteTermsThatOverflowOppositelyIsNotNaN) {
  const ::complex x[2] = {zmake(-1.7e308, 0), zmake(1.04432e17, 1e-300)};
  const ::complex y[2] = {zmake(0, -1.39293e17), zmake(0, -1.7e308)};
  // Exactly: re = 1e-300 * 1.7e308, im = 1.7e308 * (1.39293e17 - 1.04432e17), beyond DBL_MAX.
  const ::complex r = __zip__(x, y, 2, 0);
  EXPECT_NEAR(r.re, 1.7e8, 1e-6);
  EXPECT_EQ(r.im, std::numeric_limits<double>::infinity());
  const ::complex a[2] = {zmake(1e200, 0), zmake(1e200, 0)};
  const ::complex b[2] = {zmake(1e200, 0), zmake(-1e200, 0)};
  const ::complex q = __zip__(a, b, 2, 1);
  EXPECT_EQ(q.re, 0.0);
  EXPECT_EQ(q.im, 0.0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const ::complex c[2] = {zmake(nan, 0), zmake(1e200, 0)};
  EXPECT_TRUE(std::isnan(__zip__(c, b, 2, 0).re));
}
