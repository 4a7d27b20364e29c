// Tests of the complex vector operations: products, scalings and their exact shortcuts,
// multiply-adds and linear combinations, element-wise product and quotient, sort by
// modulus, permutations and random fills; numbers are checked against std::complex.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <vector>

#include "cmat_complex.h"
#include "cmat_sort.h"
#include "cmat_support.h"
#include "meminfo.h"
#include "zmatrix.h"

using namespace cmat_test;

namespace {

const char kTag[] = "test";

ZVEC* RandomVec(int n, unsigned seed) { return RandomZVec(n, seed, 3.0); }

void ExpectVec(const ZVEC* v, const std::vector<C>& want, double tol = 0.0) {
  ASSERT_NE(v, nullptr);
  ASSERT_EQ(v->dim, want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    if (tol == 0.0)
      EXPECT_EQ(S(v->ve[i]), want[i]) << "at " << i;
    else
      EXPECT_LE(std::abs(S(v->ve[i]) - want[i]), tol) << "at " << i;
  }
}

}  // namespace

TEST(ZVecOp, InnerProductWithOffsetAndConjugation) {
  int st = 0;
  ZVEC* a = NewZVec({C(1, 1), C(2, -1), C(0, 3)});
  ZVEC* b = NewZVec({C(2, 0), C(1, 1), C(-1, 2), C(9, 9)});
  // From offset 1: (2-i)(1+i) + (3i)(-1+2i) = (3+i) + (-6-3i) = -3-2i
  EXPECT_EQ(S(_LM__zin_prod(a, b, 1, 0, __LINE__, "t", &st)), C(-3, -2));
  // Conjugating a: (2+i)(1+i) + (-3i)(-1+2i) = (1+3i) + (6+3i) = 7+6i
  EXPECT_EQ(S(_LM__zin_prod(a, b, 1, 1, __LINE__, "t", &st)), C(7, 6));
  EXPECT_EQ(st, 0);
  // Offset equal to the shorter dim: empty sum, no error.
  EXPECT_EQ(S(_LM__zin_prod(a, b, 3, 0, __LINE__, "t", &st)), C(0, 0));
  EXPECT_EQ(st, 0);
  ErrWatch w;
  EXPECT_EQ(S(_LM__zin_prod(a, b, 4, 0, __LINE__, "t", &st)), C(0, 0));
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(w.routine(), "_zin_prod");
  EXPECT_EQ(st, -1);
  EXPECT_EQ(S(_LM__zin_prod(nullptr, b, 0, 0, __LINE__, "t", &st)), C(0, 0));
  EXPECT_EQ(w.last(), 8);
  zv_free_vars(&a, &b, nullptr);
}

TEST(ZVecOp, ScalingShortcutsAreExact) {
  int st = 0;
  const double nan = std::nan("");
  ZVEC* x = NewZVec({C(nan, 1), C(1.0 / 3, -0.0), C(1e300, 1e-300)});
  // s = (0, 0): exact zeros even where x holds a NaN.
  ZVEC* out = _LM_zv_mlt(Z(0, 0), x, nullptr, __LINE__, "t", &st);
  ExpectVec(out, {C(0, 0), C(0, 0), C(0, 0)});
  EXPECT_FALSE(std::signbit(out->ve[1].im));
  // s = (1, 0): an exact copy (the -0.0 and the NaN kept).
  out = _LM_zv_mlt(Z(1, 0), x, out, __LINE__, "t", &st);
  EXPECT_TRUE(std::isnan(out->ve[0].re));
  EXPECT_TRUE(std::signbit(out->ve[1].im));
  EXPECT_EQ(out->ve[2].im, 1e-300);
  // s = (1, 1e-300) multiplies: 1e300 * 1e-300 enters the imaginary part.
  out = _LM_zv_mlt(Z(1, 1e-300), x, out, __LINE__, "t", &st);
  EXPECT_NEAR(out->ve[2].im, 1.0, 1e-15);
  // In place, general scalar.
  ZVEC* y = RandomVec(9, 1);
  const auto y0 = Std(y);
  ASSERT_EQ(_LM_zv_mlt(Z(2, -1), y, y, __LINE__, "t", &st), y);
  for (int i = 0; i < 9; ++i) EXPECT_LE(std::abs(S(y->ve[i]) - C(2, -1) * y0[i]), 8 * DBL_EPSILON * 10);
  ErrWatch w;
  EXPECT_EQ(_LM_zv_mlt(Z(1, 0), nullptr, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(w.routine(), "zv_mlt");
  zv_free_vars(&x, &out, &y, nullptr);
}

TEST(ZVecOp, SumDifferenceAndMultiplyAdd) {
  int st = 0;
  ZVEC* x = RandomVec(7, 2);
  ZVEC* y = RandomVec(7, 3);
  const auto xs = Std(x), ys = Std(y);
  ZVEC* out = _LM_zv_add(x, y, nullptr, __LINE__, "t", &st);
  std::vector<C> want(7);
  for (int i = 0; i < 7; ++i) want[i] = xs[i] + ys[i];
  ExpectVec(out, want);
  out = _LM_zv_sub(x, y, out, __LINE__, "t", &st);
  for (int i = 0; i < 7; ++i) want[i] = xs[i] - ys[i];
  ExpectVec(out, want);
  const double tol = 32 * DBL_EPSILON;
  const C s(0.5, -1.5);
  for (int i = 0; i < 7; ++i) want[i] = xs[i] + s * ys[i];
  out = _LM_zv_mltadd(x, y, Z(0.5, -1.5), out, __LINE__, "t", &st);
  ExpectVec(out, want, tol);
  // Shortcuts: s = 0 copies x exactly, s = 1 adds.
  out = _LM_zv_mltadd(x, y, Z(0, 0), out, __LINE__, "t", &st);
  ExpectVec(out, xs);
  out = _LM_zv_mltadd(x, y, Z(1, 0), out, __LINE__, "t", &st);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(S(out->ve[i]), xs[i] + ys[i]);
  // out equal to y, then to x.
  ZVEC* yy = _LM__zv_copy(y, nullptr, 0, __LINE__, "t", &st);
  ASSERT_EQ(_LM_zv_mltadd(x, yy, Z(0.5, -1.5), yy, __LINE__, "t", &st), yy);
  for (int i = 0; i < 7; ++i) want[i] = xs[i] + s * ys[i];
  ExpectVec(yy, want, tol);
  ZVEC* xx = _LM__zv_copy(x, nullptr, 0, __LINE__, "t", &st);
  ASSERT_EQ(_LM_zv_mltadd(xx, y, Z(0.5, -1.5), xx, __LINE__, "t", &st), xx);
  ExpectVec(xx, want, tol);
  ZVEC* shorter = RandomVec(6, 4);
  ErrWatch w;
  EXPECT_EQ(_LM_zv_add(x, shorter, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(_LM_zv_mltadd(x, shorter, Z(2, 0), out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "zv_mltadd");
  EXPECT_EQ(_LM_zv_sub(nullptr, y, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  zv_free_vars(&x, &y, &out, &yy, &xx, &shorter, nullptr);
}

namespace {
::complex Square(::complex z) { return zmlt(z, z); }
::complex AddParam(void* p, ::complex z) { return zadd(z, *static_cast<::complex*>(p)); }
}  // namespace

// Every vector multiply-add path adds zmlt's product: 0 + s*y where s*y's partial products
// overflow but its real part does not gives zmlt(s, y) (a long-double product's value, to
// the seven digits the cancelling part keeps), not (-inf, inf) or NaN.
TEST(ZVecOp, MultiplyAddsOfZeroGiveZmltsProductWherePartialProductsOverflow) {
  const ::complex s = Z(kBigS.real(), kBigS.imag());
  const C want = WideProduct(kBigS, kBigY);
  ASSERT_TRUE(std::isfinite(want.real()));
  const C exact = S(zmlt(s, Z(kBigY.real(), kBigY.imag())));
  int st = 0;
  ZVEC* zero = NewZVec({C(0, 0), C(0, 0)});
  ZVEC* y = NewZVec({kBigY, kBigY});
  ZVEC* yOut = NewZVec({kBigY, kBigY});
  ZVEC* viaOut = _LM_zv_mltadd(zero, yOut, s, yOut, __LINE__, "t", &st);  // y is out
  ZVEC* plain = _LM_zv_mltadd(zero, y, s, nullptr, __LINE__, "t", &st);
  ZVEC* vs[2] = {zero, y};
  ::complex as[2] = {Z(1, 0), s};
  ZVEC* comb = _LM_zv_lincomb(2, vs, as, nullptr, __LINE__, "t", &st);
  ZVEC* list = _LM_zv_linlist(__LINE__, "t", &st, nullptr, zero, Z(1, 0), y, s, static_cast<ZVEC*>(nullptr));
  const struct {
    const char* what;
    ZVEC* got;
  } cases[] = {{"zv_mltadd, y is out", viaOut}, {"zv_mltadd", plain}, {"zv_lincomb", comb}, {"zv_linlist", list}};
  for (const auto& c : cases) {
    ASSERT_NE(c.got, nullptr) << c.what;
    for (unsigned i = 0; i < 2; ++i) {
      EXPECT_TRUE(NearWide(S(c.got->ve[i]), want, 1e-6)) << c.what << ": " << S(c.got->ve[i]);
      EXPECT_EQ(S(c.got->ve[i]), exact) << c.what;
    }
  }
  EXPECT_EQ(st, 0);
  zv_free_vars(&zero, &y, &yOut, &plain, &comb, &list, nullptr);
}

TEST(ZVecOp, MapsApplyTheFunctionInIndexOrder) {
  int st = 0;
  ZVEC* x = NewZVec({C(1, 1), C(0, 2)});
  ZVEC* out = _LM_zv_map(Square, x, nullptr, __LINE__, "t", &st);
  ExpectVec(out, {C(0, 2), C(-4, 0)});
  ::complex shift = Z(1, -1);
  ASSERT_EQ(_LM__zv_map(AddParam, &shift, x, x, __LINE__, "t", &st), x);
  ExpectVec(x, {C(2, 0), C(1, 1)});
  ErrWatch w;
  EXPECT_EQ(_LM_zv_map(nullptr, x, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(_LM__zv_map(AddParam, &shift, nullptr, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  zv_free_vars(&x, &out, nullptr);
}

TEST(ZVecOp, LinearCombination) {
  int st = 0;
  ZVEC* v0 = RandomVec(5, 10);
  ZVEC* v1 = RandomVec(5, 11);
  ZVEC* v2 = RandomVec(5, 12);
  const auto a0 = Std(v0), a1 = Std(v1), a2 = Std(v2);
  ::complex a[3] = {Z(1, 2), Z(-1, 0), Z(0.5, 0.25)};
  ZVEC* v[3] = {v0, v1, v2};
  std::vector<C> want(5);
  for (int i = 0; i < 5; ++i) want[i] = C(1, 2) * a0[i] - a1[i] + C(0.5, 0.25) * a2[i];
  ZVEC* out = _LM_zv_lincomb(3, v, a, nullptr, __LINE__, "t", &st);
  ExpectVec(out, want, 64 * DBL_EPSILON);
  // out may be v[0].
  ASSERT_EQ(_LM_zv_lincomb(3, v, a, v0, __LINE__, "t", &st), v0);
  ExpectVec(v0, want, 64 * DBL_EPSILON);
  st = -1;
  EXPECT_EQ(_LM_zv_lincomb(0, v, a, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(st, 0);
  ErrWatch w;
  EXPECT_EQ(_LM_zv_lincomb(3, v, a, v2, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 12);
  ZVEC* shortv = RandomVec(4, 13);
  v[1] = shortv;
  // Refused vectors leave a given out as it was, and a NULL out is not left allocated.
  const auto before = Std(out);
  EXPECT_EQ(_LM_zv_lincomb(2, v, a, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(Std(out), before);
  EXPECT_EQ(_LM_zv_lincomb(2, v, a, nullptr, __LINE__, "t", &st), nullptr);
  v[1] = nullptr;
  EXPECT_EQ(_LM_zv_lincomb(2, v, a, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(Std(out), before);
  EXPECT_EQ(_LM_zv_lincomb(2, v, a, nullptr, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(_LM_zv_lincomb(2, nullptr, a, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  zv_free_vars(&v0, &v1, &v2, &out, &shortv, nullptr);
}

TEST(ZVecOp, LinearListSkipsZeroPairsUncheckedAndSubtractsMinusOne) {
  int st = -1;
  ZVEC* x1 = NewZVec({C(1, 0), C(0, 1)});
  ZVEC* x2 = NewZVec({C(2, 2), C(3, -1)});
  ZVEC* x3 = NewZVec({C(5, 0), C(0, 0), C(1, 1)});  // another length: only checked when used
  ZVEC* out = _LM_zv_linlist(__LINE__, "t", &st, nullptr, x1, Z(2, 0), x2, Z(-1, 0), x3,
                             Z(0, 0), static_cast<ZVEC*>(nullptr));
  ExpectVec(out, {C(0, -2), C(-3, 3)});
  EXPECT_EQ(st, 0);
  // A zero pair naming out itself is skipped without a check; (0, 1) scales by i.
  ZVEC* res = _LM_zv_linlist(__LINE__, "t", &st, out, x1, Z(1, 0), out, Z(0, 0), x2, Z(0, 1),
                             static_cast<ZVEC*>(nullptr));
  ASSERT_EQ(res, out);
  ExpectVec(out, {C(-1, 2), C(1, 4)});
  ErrWatch w;
  EXPECT_EQ(_LM_zv_linlist(__LINE__, "t", &st, out, x1, Z(1, 0), out, Z(2, 0),
                           static_cast<ZVEC*>(nullptr)),
            nullptr);
  EXPECT_EQ(w.last(), 12);
  EXPECT_EQ(w.routine(), "zv_linlist");
  EXPECT_EQ(_LM_zv_linlist(__LINE__, "t", &st, out, x1, Z(1, 0), x3, Z(2, 0),
                           static_cast<ZVEC*>(nullptr)),
            nullptr);
  EXPECT_EQ(w.last(), 1);
  // A refused pair after good ones leaves a given out as it was, and a NULL out is not left
  // allocated.
  ExpectVec(out, {C(-1, 2), C(1, 4)});
  EXPECT_EQ(_LM_zv_linlist(__LINE__, "t", &st, out, x1, Z(1, 0), x2, Z(3, 0), x3, Z(2, 0),
                           static_cast<ZVEC*>(nullptr)),
            nullptr);
  EXPECT_EQ(w.last(), 1);
  ExpectVec(out, {C(-1, 2), C(1, 4)});
  EXPECT_EQ(_LM_zv_linlist(__LINE__, "t", &st, static_cast<ZVEC*>(nullptr), x1, Z(1, 0), x3, Z(2, 0),
                           static_cast<ZVEC*>(nullptr)),
            nullptr);
  EXPECT_EQ(_LM_zv_linlist(__LINE__, "t", &st, out, x1, Z(1, 0), x2, Z(1, 0), out, Z(2, 0),
                           static_cast<ZVEC*>(nullptr)),
            nullptr);
  EXPECT_EQ(w.last(), 12);
  ExpectVec(out, {C(-1, 2), C(1, 4)});
  st = -1;
  EXPECT_EQ(_LM_zv_linlist(__LINE__, "t", &st, out, static_cast<ZVEC*>(nullptr), Z(1, 0),
                           static_cast<ZVEC*>(nullptr)),
            nullptr);
  EXPECT_EQ(st, 0);
  zv_free_vars(&x1, &x2, &x3, &out, nullptr);
}

TEST(ZVecOp, ElementWiseProductAndQuotient) {
  int st = 0;
  ZVEC* x = RandomVec(8, 20);
  ZVEC* y = RandomVec(8, 21);
  const auto xs = Std(x), ys = Std(y);
  ZVEC* out = _LM_zv_star(x, y, nullptr, __LINE__, "t", &st);
  std::vector<C> want(8);
  for (int i = 0; i < 8; ++i) want[i] = xs[i] * ys[i];
  ExpectVec(out, want, 32 * DBL_EPSILON);
  out = _LM_zv_slash(x, y, out, __LINE__, "t", &st);
  for (int i = 0; i < 8; ++i) want[i] = ys[i] / xs[i];
  ExpectVec(out, want, 1e-13);
  // In place on y: y / x.
  ASSERT_EQ(_LM_zv_slash(x, y, y, __LINE__, "t", &st), y);
  ExpectVec(y, want, 1e-13);
  ZVEC* a = NewZVec({C(0, 2)});
  ZVEC* b = NewZVec({C(4, 0)});
  ZVEC* q = _LM_zv_slash(a, b, nullptr, __LINE__, "t", &st);
  ExpectVec(q, {C(0, -2)});
  // A zero divisor is refused before anything is written.
  ZVEC* d = NewZVec({C(2, 0), C(0, -0.0), C(1, 0)});
  ZVEC* n = NewZVec({C(4, 4), C(1, 0), C(1, 0)});
  ZVEC* r = NewZVec({C(9, 9), C(9, 9), C(9, 9)});
  ErrWatch w;
  EXPECT_EQ(_LM_zv_slash(d, n, r, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 4);
  EXPECT_EQ(w.routine(), "zv_slash");
  EXPECT_EQ(st, -1);
  EXPECT_EQ(S(r->ve[0]), C(9, 9));
  EXPECT_EQ(S(r->ve[2]), C(9, 9));
  zv_free_vars(&x, &y, &out, &a, &b, &q, &d, &n, &r, nullptr);
}

// Divisors whose squared modulus leaves the range of double while the quotient does not:
// 1e-200 (|x|^2 underflows to 0) and 1e200 (|x|^2 overflows and the quotient came out 0).
// The references are exact: each quotient is a power of ten times a small Gaussian ratio.
TEST(ZVecOp, SlashDividesByTinyAndHugeElements) {
  int st = 0;
  ZVEC* x = NewZVec({C(1e-200, 0), C(1e200, 1e200), C(0, 3e-170), C(2e160, 0), C(1, 1)});
  ZVEC* y = NewZVec({C(3e-200, 0), C(1e200, 0), C(6e-170, 0), C(1e160, 2e160), C(1e-300, 0)});
  ZVEC* q = _LM_zv_slash(x, y, nullptr, __LINE__, "t", &st);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(st, 0);
  const C want[] = {C(3, 0), C(0.5, -0.5), C(0, -2), C(0.5, 1), C(5e-301, -5e-301)};
  for (int i = 0; i < 5; ++i) {
    EXPECT_NEAR(q->ve[i].re, want[i].real(), 4 * DBL_EPSILON * std::abs(want[i])) << i;
    EXPECT_NEAR(q->ve[i].im, want[i].imag(), 4 * DBL_EPSILON * std::abs(want[i])) << i;
  }
  zv_free_vars(&x, &y, &q, nullptr);
}

// A zero divisor met after the output was made for a NULL out: the record goes with the
// refusal (the live count of complex vectors is back where it was).
TEST(ZVecOp, SlashDropsTheOutputItMadeWhenItMeetsAZeroDivisor) {
  int st = 0;
  ZVEC* x = NewZVec({C(1, 0), C(0, 0)});
  ZVEC* y = NewZVec({C(2, 0), C(3, 0)});
  const int was = mem_info_on(1);
  const int vars0 = mem_info_numvar(TYPE_ZVEC, 0);
  ErrWatch w;
  EXPECT_EQ(_LM_zv_slash(x, y, nullptr, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 4);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(mem_info_numvar(TYPE_ZVEC, 0), vars0);
  mem_info_on(was);
  zv_free_vars(&x, &y, nullptr);
}

TEST(ZVecOp, SumAddsThePartsSeparately) {
  int st = 0;
  ZVEC* x = NewZVec({C(1, -1), C(2.5, 0.5), C(-0.5, 4)});
  EXPECT_EQ(S(_LM_zv_sum(x, __LINE__, "t", &st)), C(3, 3.5));
  ErrWatch w;
  EXPECT_EQ(S(_LM_zv_sum(nullptr, __LINE__, "t", &st)), C(0, 0));
  EXPECT_EQ(w.last(), 8);
  zv_free(x);
}

// Partial sums that pass the largest double while the total does not: each part comes out
// as exact arithmetic gives it; a total beyond the range stays infinite, a NaN part NaN.
TEST(ZVecOp, SumKeepsATotalWithinRangeWhosePartialSumsOverflow) {
  int st = 0;
  const double big = DBL_MAX;
  ZVEC* x = NewZVec({C(big, -1e308), C(big, -1e308), C(-big, 1e308), C(1, 2)});
  const ::complex s = _LM_zv_sum(x, __LINE__, "t", &st);
  EXPECT_EQ(s.re, big);         // big + big - big + 1: 1 is lost to rounding beside big
  EXPECT_EQ(s.im, -1e308 + 2);  // likewise
  EXPECT_EQ(st, 0);
  ZVEC* y = NewZVec({C(big, 0), C(big, std::nan("")), C(-big, 0)});
  const ::complex t = _LM_zv_sum(y, __LINE__, "t", &st);
  EXPECT_EQ(t.re, big);
  EXPECT_TRUE(std::isnan(t.im));
  ZVEC* z = NewZVec({C(big, 0), C(big, 0)});
  EXPECT_TRUE(std::isinf(_LM_zv_sum(z, __LINE__, "t", &st).re));
  zv_free_vars(&x, &y, &z, nullptr);
}

TEST(ZVecOp, SortByModulusRecordsThePermutation) {
  int st = 0;
  ZVEC* x = NewZVec({C(3, 0), C(-1, 0), C(0, 2)});
  PERM* order = _LM_px_get(kTag, 0, 1, __LINE__, "t", &st);
  ASSERT_EQ(_LM_zv_sort(x, order, __LINE__, "t", &st), x);
  ExpectVec(x, {C(-1, 0), C(0, 2), C(3, 0)});
  ASSERT_EQ(order->size, 3u);
  EXPECT_EQ(order->pe[0], 1u);
  EXPECT_EQ(order->pe[1], 2u);
  EXPECT_EQ(order->pe[2], 0u);
  // Random vectors with repeated moduli: sorted by modulus, and order maps back.
  for (int n : {0, 1, 2, 17, 200}) {
    ZVEC* v = RandomVec(n, 40 + n);
    for (int i = 0; i + 3 < n; i += 4) v->ve[i + 1] = zconj(v->ve[i]);  // equal moduli
    const auto before = Std(v);
    ASSERT_EQ(_LM_zv_sort(v, order, __LINE__, "t", &st), v);
    EXPECT_EQ(st, 0);
    for (int k = 0; k + 1 < n; ++k) EXPECT_LE(zabs(v->ve[k]), zabs(v->ve[k + 1]));
    if (n > 0) {
      ASSERT_EQ(order->size, static_cast<unsigned>(n));
      std::vector<bool> seen(n, false);
      for (int k = 0; k < n; ++k) {
        ASSERT_LT(order->pe[k], static_cast<unsigned>(n));
        EXPECT_FALSE(seen[order->pe[k]]);
        seen[order->pe[k]] = true;
        EXPECT_EQ(S(v->ve[k]), before[order->pe[k]]);
      }
    }
    zv_free(v);
  }
  // Without an order.
  ZVEC* w3 = NewZVec({C(0, -5), C(4, 0), C(1, 1)});
  ASSERT_EQ(_LM_zv_sort(w3, nullptr, __LINE__, "t", &st), w3);
  ExpectVec(w3, {C(1, 1), C(4, 0), C(0, -5)});
  ErrWatch w;
  EXPECT_EQ(_LM_zv_sort(nullptr, order, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  zv_free_vars(&x, &w3, nullptr);
  px_free(order);
}

TEST(ZVecOp, PermutationsForwardInverseAndInPlace) {
  int st = 0;
  const C a(1, 2), b(3, 4), c(5, 6);
  ZVEC* x = NewZVec({a, b, c});
  PERM* px = _LM_px_get(kTag, 0, 3, __LINE__, "t", &st);
  px->pe[0] = 2;
  px->pe[1] = 0;
  px->pe[2] = 1;
  ZVEC* out = _LM_px_zvec(px, x, nullptr, __LINE__, "t", &st);
  ExpectVec(out, {c, a, b});
  ASSERT_EQ(_LM_px_zvec(px, x, x, __LINE__, "t", &st), x);
  ExpectVec(x, {c, a, b});
  EXPECT_EQ(px->pe[0], 2u);
  EXPECT_EQ(px->pe[1], 0u);
  EXPECT_EQ(px->pe[2], 1u);
  ZVEC* back = _LM_pxinv_zvec(px, x, nullptr, __LINE__, "t", &st);
  ExpectVec(back, {a, b, c});
  ASSERT_EQ(_LM_pxinv_zvec(px, x, x, __LINE__, "t", &st), x);
  EXPECT_EQ(st, 0);
  ExpectVec(x, {a, b, c});
  EXPECT_EQ(px->pe[0], 2u);
  EXPECT_EQ(px->pe[2], 1u);
  // Random permutations in place against the definition.
  std::mt19937 gen(9);
  for (int n : {1, 5, 64}) {
    PERM* p = _LM_px_get(kTag, 0, n, __LINE__, "t", &st);
    std::vector<unsigned> idx(n);
    for (int i = 0; i < n; ++i) idx[i] = i;
    std::shuffle(idx.begin(), idx.end(), gen);
    for (int i = 0; i < n; ++i) p->pe[i] = idx[i];
    ZVEC* v = RandomVec(n, 50 + n);
    const auto v0 = Std(v);
    ASSERT_EQ(_LM_px_zvec(p, v, v, __LINE__, "t", &st), v);
    for (int i = 0; i < n; ++i) EXPECT_EQ(S(v->ve[i]), v0[idx[i]]);
    ASSERT_EQ(_LM_pxinv_zvec(p, v, v, __LINE__, "t", &st), v);
    ExpectVec(v, v0);
    for (int i = 0; i < n; ++i) EXPECT_EQ(p->pe[i], idx[i]);
    zv_free(v);
    px_free(p);
  }
  // Errors: an entry out of range changes nothing; x shorter than px.
  px->pe[1] = 3;
  ErrWatch w;
  EXPECT_EQ(_LM_px_zvec(px, x, x, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(w.routine(), "px_vec");
  ExpectVec(x, {a, b, c});
  EXPECT_EQ(px->pe[1], 3u);
  EXPECT_EQ(_LM_pxinv_zvec(px, x, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(w.routine(), "pxinv_vec");
  // A repeated entry (every entry in range) cannot be walked in place: refused before
  // anything moves.
  px->pe[1] = 2;
  EXPECT_EQ(_LM_px_zvec(px, x, x, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(w.routine(), "px_vec");
  ExpectVec(x, {a, b, c});
  EXPECT_EQ(px->pe[1], 2u);
  px->pe[1] = 0;
  ZVEC* two = NewZVec({a, b});
  EXPECT_EQ(_LM_px_zvec(px, two, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "px_zvec");
  EXPECT_EQ(_LM_pxinv_zvec(nullptr, x, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  zv_free_vars(&x, &out, &back, &two, nullptr);
  px_free(px);
}

// A map with a repeated entry is no permutation: out of place as in place, both directions
// refuse it (code 2, under the routine names of the real operations) before out is sized or
// written; a NULL out gets no record.
TEST(ZVecOp, PermutationsRefuseARepeatedEntryOutOfPlace) {
  int st = 0;
  const C a(1, 0), b(2, 0), c(3, 0), nine(9, 0);
  PERM* px = _LM_px_get(kTag, 0, 3, __LINE__, "t", &st);
  px->pe[0] = 1;
  px->pe[1] = 1;
  px->pe[2] = 2;
  using Fn = ZVEC* (*)(PERM*, ZVEC*, ZVEC*, int, const char*, int*);
  const struct {
    Fn fn;
    const char* routine;
  } ops[] = {{_LM_px_zvec, "px_vec"}, {_LM_pxinv_zvec, "pxinv_vec"}};
  const int was = mem_info_on(1);
  for (const auto& op : ops) {
    ZVEC* x = NewZVec({a, b, c});
    ZVEC* out = NewZVec({nine, nine, nine});
    ZVEC* shorter = NewZVec({nine});
    const int vars0 = mem_info_numvar(TYPE_ZVEC, 0);
    ErrWatch w;
    EXPECT_EQ(op.fn(px, x, out, __LINE__, "t", &st), nullptr) << op.routine;
    EXPECT_EQ(w.last(), 2) << op.routine;
    EXPECT_EQ(w.routine(), op.routine);
    EXPECT_EQ(st, -1);
    ExpectVec(out, {nine, nine, nine});
    EXPECT_EQ(op.fn(px, x, shorter, __LINE__, "t", &st), nullptr) << op.routine;
    ExpectVec(shorter, {nine});
    EXPECT_EQ(op.fn(px, x, nullptr, __LINE__, "t", &st), nullptr) << op.routine;
    EXPECT_EQ(w.count(), 3);
    EXPECT_EQ(mem_info_numvar(TYPE_ZVEC, 0), vars0);
    ExpectVec(x, {a, b, c});
    EXPECT_EQ(px->pe[0], 1u);
    EXPECT_EQ(px->pe[1], 1u);
    EXPECT_EQ(px->pe[2], 2u);
    zv_free_vars(&x, &out, &shorter, nullptr);
  }
  mem_info_on(was);
  px_free(px);
}

TEST(ZVecOp, RandomFillContinuesTheLibraryStream) {
  int st = 0;
  // 55 complex elements are 110 draws, a multiple of 55: reseeding then repeats the stream.
  double want[110];
  smrand(4242);
  mrandlist(want, 110);
  smrand(4242);
  ZVEC* x = _LM_zv_get(kTag, 0, 55, __LINE__, "t", &st);
  ASSERT_EQ(_LM_zv_rand(x, __LINE__, "t", &st), x);
  for (int i = 0; i < 55; ++i) {
    EXPECT_EQ(x->ve[i].re, want[2 * i]);
    EXPECT_EQ(x->ve[i].im, want[2 * i + 1]);
    EXPECT_GT(x->ve[i].re, 0.0);
    EXPECT_LT(x->ve[i].im, 1.0);
  }
  ErrWatch w;
  EXPECT_EQ(_LM_zv_rand(nullptr, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  zv_free(x);
}

TEST(ZVecOp, SortByModulusOfHardInputs) {
  // Moduli follow the pattern: |k| on the real axis for even places, on the imaginary axis
  // (sign alternating) for odd ones, so equal moduli come as different elements.
  int st = 0;
  for (const SortCase& c : HardSortCases()) {
    SCOPED_TRACE(c.name);
    const std::vector<long long> keys = PatternKeys(c.pattern, c.n, 8);
    const long long low = keys.empty() ? 0 : *std::min_element(keys.begin(), keys.end());
    std::vector<::complex> in(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
      const double r = static_cast<double>(keys[i] - low);
      in[i] = i % 2 == 0 ? zmake(r, 0.0) : zmake(0.0, i % 4 == 1 ? r : -r);
    }
    ZVEC* v = _LM_zv_get(kTag, 0, c.n, __LINE__, "t", &st);
    std::copy(in.begin(), in.end(), v->ve);
    PERM* order = _LM_px_get(kTag, 0, 1, __LINE__, "t", &st);
    ASSERT_EQ(_LM_zv_sort(v, order, __LINE__, "t", &st), v);
    EXPECT_EQ(st, 0);
    std::vector<long long> want(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) want[i] = keys[i] - low;
    std::sort(want.begin(), want.end());
    for (size_t k = 0; k < want.size(); ++k)
      ASSERT_EQ(zabs(v->ve[k]), static_cast<double>(want[k])) << k;
    EXPECT_TRUE(SortedWithOrder(in, v->ve, order, [](const ::complex& z) { return zabs(z); }));
    zv_free(v);
    px_free(order);
  }
}

TEST(ZVecOp, SortPutsNaNModuliLast) {
  const double nan = std::nan("");
  int st = 0;
  const std::vector<::complex> in = {zmake(nan, 0), zmake(0, 3), zmake(1, nan), zmake(-1, 0),
                                     zmake(0, -2), zmake(nan, nan)};
  ZVEC* v = _LM_zv_get(kTag, 0, 6, __LINE__, "t", &st);
  std::copy(in.begin(), in.end(), v->ve);
  PERM* order = _LM_px_get(kTag, 0, 6, __LINE__, "t", &st);
  ASSERT_EQ(_LM_zv_sort(v, order, __LINE__, "t", &st), v);
  EXPECT_EQ(zabs(v->ve[0]), 1.0);
  EXPECT_EQ(zabs(v->ve[1]), 2.0);
  EXPECT_EQ(zabs(v->ve[2]), 3.0);
  for (int k = 3; k < 6; ++k) EXPECT_TRUE(std::isnan(zabs(v->ve[k]))) << k;
  EXPECT_TRUE(SortedWithOrder(in, v->ve, order, [](const ::complex& z) { return zabs(z); }));
  zv_free(v);
  px_free(order);
}

// A zero divisor is found before anything is written: the caller's output keeps its values
// and its dim.
TEST(ZVecOp, SlashRefusalLeavesTheCallersOutputAsItWas) {
  int st = 0;
  ZVEC* x = NewZVec({C(1, 0), C(0, 0)});
  ZVEC* y = NewZVec({C(2, 0), C(3, 0)});
  ZVEC* out = NewZVec({C(-1, -1), C(-1, -1)});
  ZVEC* shortOut = NewZVec({C(-2, 0)});
  EXPECT_EQ(_LM_zv_slash(x, y, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(st, -1);
  ASSERT_EQ(out->dim, 2u);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(S(out->ve[i]), C(-1, -1));
  EXPECT_EQ(_LM_zv_slash(x, y, shortOut, __LINE__, "t", &st), nullptr);
  ASSERT_EQ(shortOut->dim, 1u);
  EXPECT_EQ(S(shortOut->ve[0]), C(-2, 0));
  zv_free_vars(&x, &y, &out, &shortOut, nullptr);
}

// A quotient beyond the range of double whose plain products overflow with opposite signs:
// each part is the infinity of its exact sign, not NaN.
TEST(ZVecOp, SlashBeyondTheRangeGivesSignedInfinities) {
  int st = 0;
  ZVEC* x = NewZVec({C(1.49167e-154, 7.45834e-155)});
  ZVEC* y = NewZVec({C(-1.7e308, -5.36312e154)});
  ZVEC* q = _LM_zv_slash(x, y, nullptr, __LINE__, "t", &st);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->ve[0].re, -std::numeric_limits<double>::infinity());
  EXPECT_EQ(q->ve[0].im, std::numeric_limits<double>::infinity());
  zv_free_vars(&x, &y, &q, nullptr);
}
