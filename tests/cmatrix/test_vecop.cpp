// Tests of the real vector arithmetic: inner product bounds, the exact shortcuts of scaling
// and multiply-add, maps, linear combinations, element products and quotients, extremes,
// sum and the sort with its order permutation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "cmat_sort.h"
#include "cmat_support.h"
#include "dense_fixtures.h"
#include "matrix.h"

using namespace cmat_test;

namespace {

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

double Twice(double x) { return 2.0 * x; }
double AddParam(void* p, double x) { return x + *static_cast<double*>(p); }

}  // namespace

TEST(VecInProd, RangeOfTheShorterVectorAndItsBounds) {
  int st = 0;
  VecP a(NewVec({1, 2, 3})), b(NewVec({4, 5, 6, 7}));
  EXPECT_EQ(_LM__in_prod(a.get(), b.get(), 0, __LINE__, "ip", &st), 32.0);  // 4 + 10 + 18
  EXPECT_EQ(_LM__in_prod(a.get(), b.get(), 1, __LINE__, "ip", &st), 28.0);
  EXPECT_EQ(_LM__in_prod(a.get(), b.get(), 3, __LINE__, "ip", &st), 0.0);
  EXPECT_EQ(st, 0);
  ErrWatch w;
  EXPECT_EQ(_LM__in_prod(a.get(), b.get(), 4, __LINE__, "ip", &st), 0.0);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(w.routine(), "_in_prod");
  EXPECT_EQ(_LM__in_prod(nullptr, b.get(), 0, __LINE__, "ip", &st), 0.0);
  EXPECT_EQ(w.last(), 8);
}

TEST(VecScale, ZeroAndOneAreExactShortcuts) {
  int st = 0;
  VecP x(NewVec({kNaN, kInf, -2.5, -0.0}));
  VecP z(_LM_sv_mlt(0.0, x.get(), nullptr, __LINE__, "s", &st));
  ASSERT_NE(z, nullptr);
  for (double v : Values(z.get())) {
    EXPECT_EQ(v, 0.0);
    EXPECT_FALSE(std::signbit(v));
  }
  VecP c(_LM_sv_mlt(1.0, x.get(), nullptr, __LINE__, "s", &st));
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(std::isnan(c->ve[0]));
  EXPECT_EQ(c->ve[1], kInf);
  EXPECT_EQ(c->ve[2], -2.5);
  EXPECT_TRUE(std::signbit(c->ve[3]));
  VecP y(NewVec({1, -2, 4}));
  VecP out(NewVec({9}));  // another dim: resized
  ASSERT_EQ(_LM_sv_mlt(-0.5, y.get(), out.get(), __LINE__, "s", &st), out.get());
  EXPECT_EQ(Values(out.get()), (std::vector<double>{-0.5, 1, -2}));
  ASSERT_EQ(_LM_sv_mlt(3.0, y.get(), y.get(), __LINE__, "s", &st), y.get());  // in place
  EXPECT_EQ(Values(y.get()), (std::vector<double>{3, -6, 12}));
  ErrWatch w;
  EXPECT_EQ(_LM_sv_mlt(2.0, nullptr, nullptr, __LINE__, "s", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(w.routine(), "sv_mlt");
}

TEST(VecAddSub, ElementwiseAndInPlace) {
  int st = 0;
  VecP x(NewVec({1, 2, 3})), y(NewVec({10, 20, 30}));
  VecP s(_LM_v_add(x.get(), y.get(), nullptr, __LINE__, "a", &st));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(Values(s.get()), (std::vector<double>{11, 22, 33}));
  ASSERT_EQ(_LM_v_sub(x.get(), y.get(), y.get(), __LINE__, "s", &st), y.get());
  EXPECT_EQ(Values(y.get()), (std::vector<double>{-9, -18, -27}));
  ErrWatch w;
  VecP shorter(NewVec({1, 2}));
  EXPECT_EQ(_LM_v_add(x.get(), shorter.get(), nullptr, __LINE__, "a", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "v_add");
  EXPECT_EQ(_LM_v_sub(x.get(), nullptr, nullptr, __LINE__, "s", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(w.routine(), "v_sub");
}

TEST(VecMltadd, EveryPathGivesXPlusSY) {
  int st = 0;
  const std::vector<double> xs{1, -2, 3}, ys{4, 5, -6};
  for (double s : {0.0, 1.0, -1.5, 2.0}) {
    std::vector<double> want(3);
    for (int i = 0; i < 3; ++i) want[i] = xs[i] + s * ys[i];
    {  // separate output
      VecP x(NewVec(xs)), y(NewVec(ys));
      VecP out(_LM_v_mltadd(x.get(), y.get(), s, nullptr, __LINE__, "m", &st));
      ASSERT_NE(out, nullptr);
      EXPECT_EQ(Values(out.get()), want) << s;
    }
    {  // out is x
      VecP x(NewVec(xs)), y(NewVec(ys));
      ASSERT_EQ(_LM_v_mltadd(x.get(), y.get(), s, x.get(), __LINE__, "m", &st), x.get());
      EXPECT_EQ(Values(x.get()), want) << s;
    }
    {  // out is y
      VecP x(NewVec(xs)), y(NewVec(ys));
      ASSERT_EQ(_LM_v_mltadd(x.get(), y.get(), s, y.get(), __LINE__, "m", &st), y.get());
      EXPECT_EQ(Values(y.get()), want) << s;
    }
    {  // x, y and out all one vector: x + s*x
      VecP x(NewVec(xs));
      ASSERT_EQ(_LM_v_mltadd(x.get(), x.get(), s, x.get(), __LINE__, "m", &st), x.get());
      for (int i = 0; i < 3; ++i) EXPECT_EQ(x->ve[i], xs[i] + s * xs[i]) << s;
    }
  }
  ErrWatch w;
  VecP a(NewVec({1})), b(NewVec({1, 2}));
  EXPECT_EQ(_LM_v_mltadd(a.get(), b.get(), 2.0, nullptr, __LINE__, "m", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "v_mltadd");
}

TEST(VecMap, PlainAndWithParameters) {
  int st = 0;
  VecP x(NewVec({1, -2, 0.5}));
  VecP y(_LM_v_map(Twice, x.get(), nullptr, __LINE__, "map", &st));
  ASSERT_NE(y, nullptr);
  EXPECT_EQ(Values(y.get()), (std::vector<double>{2, -4, 1}));
  double shift = 10;
  ASSERT_EQ(_LM__v_map(AddParam, &shift, x.get(), x.get(), __LINE__, "map", &st), x.get());
  EXPECT_EQ(Values(x.get()), (std::vector<double>{11, 8, 10.5}));
  ErrWatch w;
  EXPECT_EQ(_LM_v_map(nullptr, x.get(), nullptr, __LINE__, "map", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(w.routine(), "v_map");
  EXPECT_EQ(_LM__v_map(AddParam, &shift, nullptr, nullptr, __LINE__, "map", &st), nullptr);
  EXPECT_EQ(w.routine(), "_v_map");
}

TEST(VecLincomb, SumsAndItsRules) {
  int st = 7;
  VecP v0(NewVec({1, 0, 2})), v1(NewVec({0, 1, 1})), v2(NewVec({3, 3, 3}));
  VEC* vs[] = {v0.get(), v1.get(), v2.get()};
  double a[] = {2, -1, 0.5};
  VecP out(_LM_v_lincomb(3, vs, a, nullptr, __LINE__, "lc", &st));
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(Values(out.get()), (std::vector<double>{3.5, 0.5, 4.5}));

  EXPECT_EQ(_LM_v_lincomb(0, vs, a, nullptr, __LINE__, "lc", &st), nullptr);
  EXPECT_EQ(st, 0);
  // In place on v[0].
  ASSERT_EQ(_LM_v_lincomb(3, vs, a, v0.get(), __LINE__, "lc", &st), v0.get());
  EXPECT_EQ(Values(v0.get()), (std::vector<double>{3.5, 0.5, 4.5}));

  ErrWatch w;
  EXPECT_EQ(_LM_v_lincomb(3, vs, a, v2.get(), __LINE__, "lc", &st), nullptr);
  EXPECT_EQ(w.last(), 12);
  EXPECT_EQ(w.routine(), "v_lincomb");
  EXPECT_EQ(_LM_v_lincomb(3, nullptr, a, nullptr, __LINE__, "lc", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  VecP odd(NewVec({1, 2}));
  VEC* mixed[] = {v1.get(), odd.get()};
  // The output made here is released when a later vector does not fit (no leak).
  EXPECT_EQ(_LM_v_lincomb(2, mixed, a, nullptr, __LINE__, "lc", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  VEC* holes[] = {v1.get(), nullptr};
  EXPECT_EQ(_LM_v_lincomb(2, holes, a, nullptr, __LINE__, "lc", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  // A given output is left as it was: every vector is checked before out is written.
  VecP partial(NewVec({7, 7, 7}));
  EXPECT_EQ(_LM_v_lincomb(2, holes, a, partial.get(), __LINE__, "lc", &st), nullptr);
  EXPECT_EQ(Values(partial.get()), (std::vector<double>{7, 7, 7}));
  VEC* late[] = {v1.get(), v2.get(), odd.get()};
  EXPECT_EQ(_LM_v_lincomb(3, late, a, partial.get(), __LINE__, "lc", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(Values(partial.get()), (std::vector<double>{7, 7, 7}));
}

TEST(VecStarSlash, ProductsAndQuotients) {
  int st = 0;
  VecP x(NewVec({2, 4})), y(NewVec({1, 1}));
  VecP p(_LM_v_star(x.get(), y.get(), nullptr, __LINE__, "star", &st));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(Values(p.get()), (std::vector<double>{2, 4}));
  VecP q(_LM_v_slash(x.get(), y.get(), nullptr, __LINE__, "slash", &st));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(Values(q.get()), (std::vector<double>{0.5, 0.25}));  // y / x

  ErrWatch w;
  VecP d(NewVec({2, 0, 5})), n(NewVec({6, 1, 10}));
  VecP out(NewVec({-1, -1, -1}));
  EXPECT_EQ(_LM_v_slash(d.get(), n.get(), out.get(), __LINE__, "slash", &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.last(), 4);
  EXPECT_EQ(w.routine(), "v_slash");
  // A refusal leaves the caller's output as it was: nothing is written before the zero
  // divisor is found.
  EXPECT_EQ(Values(out.get()), (std::vector<double>{-1, -1, -1}));
  VecP shortOut(NewVec({-2}));
  EXPECT_EQ(_LM_v_slash(d.get(), n.get(), shortOut.get(), __LINE__, "slash", &st), nullptr);
  EXPECT_EQ(Values(shortOut.get()), std::vector<double>{-2});  // not resized either
  EXPECT_EQ(_LM_v_slash(d.get(), n.get(), nullptr, __LINE__, "slash", &st), nullptr);  // no leak
  EXPECT_EQ(_LM_v_star(d.get(), x.get(), nullptr, __LINE__, "star", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
}

// Partial sums that pass the largest double while the total does not: the total comes out
// as exact arithmetic gives it (rounded once); beyond the range it stays infinite, and an
// infinite or NaN entry decides the sum as IEEE addition does.
TEST(VecSum, KeepsATotalWithinRangeWhosePartialSumsOverflow) {
  int st = 0;
  const double big = std::numeric_limits<double>::max(), inf = HUGE_VAL;
  const struct {
    std::vector<double> x;
    double want;
  } cases[] = {
      {{1e308, 1e308, -1e308}, 1e308},
      {{big, big, -big, -big, 1.5}, 1.5},
      {{-big, -big, big, big, 4.0}, 4.0},
      {{big, big}, inf},
      {{big, inf, -big}, inf},
  };
  for (const auto& c : cases) {
    VecP x(NewVec(c.x));
    EXPECT_EQ(_LM_v_sum(x.get(), __LINE__, "sum", &st), c.want) << c.x.size();
    EXPECT_EQ(st, 0);
  }
  VecP n(NewVec({big, big, kNaN, -big}));
  EXPECT_TRUE(std::isnan(_LM_v_sum(n.get(), __LINE__, "sum", &st)));
  VecP m(NewVec({inf, -inf}));
  EXPECT_TRUE(std::isnan(_LM_v_sum(m.get(), __LINE__, "sum", &st)));
}

TEST(VecExtremes, FirstIndexOnTiesAndNaNRules) {
  int st = 0, index = -1;
  VecP a(NewVec({3, 1, 1}));
  EXPECT_EQ(_LM_v_min(a.get(), &index, __LINE__, "min", &st), 1.0);
  EXPECT_EQ(index, 1);
  VecP b(NewVec({2, 5, 5}));
  EXPECT_EQ(_LM_v_max(b.get(), &index, __LINE__, "max", &st), 5.0);
  EXPECT_EQ(index, 1);
  VecP c(NewVec({kNaN, -3, 7}));
  EXPECT_TRUE(std::isnan(_LM_v_max(c.get(), &index, __LINE__, "max", &st)));
  EXPECT_EQ(index, 0);
  // A NaN is the extreme, at the first NaN's index, whatever numbers follow it.
  VecP d(NewVec({4, kNaN, -3}));
  EXPECT_TRUE(std::isnan(_LM_v_min(d.get(), &index, __LINE__, "min", &st)));
  EXPECT_EQ(index, 1);
  EXPECT_TRUE(std::isnan(_LM_v_max(d.get(), &index, __LINE__, "max", &st)));
  EXPECT_EQ(index, 1);
  VecP d2(NewVec({-1, 8, kNaN, 2, kNaN, 9}));
  EXPECT_TRUE(std::isnan(_LM_v_min(d2.get(), &index, __LINE__, "min", &st)));
  EXPECT_EQ(index, 2);
  EXPECT_TRUE(std::isnan(_LM_v_max(d2.get(), &index, __LINE__, "max", &st)));
  EXPECT_EQ(index, 2);
  EXPECT_TRUE(std::isnan(_LM_v_min(c.get(), &index, __LINE__, "min", &st)));
  EXPECT_EQ(index, 0);
  EXPECT_TRUE(std::isnan(_LM_v_sum(d.get(), __LINE__, "sum", &st)));
  VecP e(NewVec({0.5, 0.25, -1}));
  EXPECT_EQ(_LM_v_sum(e.get(), __LINE__, "sum", &st), -0.25);

  ErrWatch w;
  VecP empty(NewVec({}));
  index = 42;
  EXPECT_EQ(_LM_v_min(empty.get(), &index, __LINE__, "min", &st), 0.0);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "v_min");
  EXPECT_EQ(index, 42);
  EXPECT_EQ(_LM_v_max(nullptr, &index, __LINE__, "max", &st), 0.0);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(_LM_v_sum(nullptr, __LINE__, "sum", &st), 0.0);
  EXPECT_EQ(w.routine(), "v_sum");
}

TEST(VecSort, OrderPermutationAndAgreementWithStdSort) {
  int st = 0;
  VecP x(NewVec({3, 1, 2}));
  PermP order(_LM_px_get("t", 0, 3, __LINE__, "p", &st));
  ASSERT_EQ(_LM_v_sort(x.get(), order.get(), __LINE__, "sort", &st), x.get());
  EXPECT_EQ(Values(x.get()), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(cmat_test::Entries(order.get()), (std::vector<unsigned>{1, 2, 0}));

  std::mt19937 gen(7);
  std::uniform_int_distribution<int> small(-20, 20);
  std::normal_distribution<double> normal;
  for (int n : {1, 2, 5, 31, 500, 4000}) {
    for (int kind = 0; kind < 3; ++kind) {
      std::vector<double> in(n);
      for (int i = 0; i < n; ++i)
        in[i] = kind == 0 ? normal(gen) : kind == 1 ? small(gen) : static_cast<double>(i % 3);
      VecP v(NewVec(in));
      PermP ord(_LM_px_get("t", 0, 1, __LINE__, "p", &st));
      ASSERT_EQ(_LM_v_sort(v.get(), ord.get(), __LINE__, "sort", &st), v.get());
      std::vector<double> want = in;
      std::sort(want.begin(), want.end());
      EXPECT_EQ(Values(v.get()), want);
      ASSERT_EQ(ord->size, static_cast<unsigned>(n));
      std::vector<unsigned> seen = cmat_test::Entries(ord.get());
      std::sort(seen.begin(), seen.end());
      for (int k = 0; k < n; ++k) {
        EXPECT_EQ(seen[k], static_cast<unsigned>(k));
        EXPECT_EQ(v->ve[k], in[ord->pe[k]]);
      }
    }
  }
  // Without an order; NaNs do not stop the sort from ending.
  VecP nan(NewVec({kNaN, 2, kNaN, 1}));
  EXPECT_EQ(_LM_v_sort(nan.get(), nullptr, __LINE__, "sort", &st), nan.get());
  ErrWatch w;
  EXPECT_EQ(_LM_v_sort(nullptr, nullptr, __LINE__, "sort", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(w.routine(), "v_sort");
}

TEST(VecSort, HardInputsSortWithAValidOrderPermutation) {
  int st = 0;
  for (const SortCase& c : HardSortCases()) {
    SCOPED_TRACE(c.name);
    std::vector<double> in;
    for (long long k : PatternKeys(c.pattern, c.n, 3)) in.push_back(0.5 * static_cast<double>(k));
    VecP v(NewVec(in));
    PermP order(_LM_px_get("t", 0, 1, __LINE__, "p", &st));
    ASSERT_EQ(_LM_v_sort(v.get(), order.get(), __LINE__, "sort", &st), v.get());
    EXPECT_EQ(st, 0);
    std::vector<double> want = in;
    std::sort(want.begin(), want.end());
    EXPECT_TRUE(std::equal(want.begin(), want.end(), v->ve));
    EXPECT_TRUE(SortedWithOrder(in, v->ve, order.get(), [](double d) { return d; }));
  }
}

TEST(VecSort, NaNsGoAfterEveryNumber) {
  // A NaN is neither below nor above anything: the numbers come first, sorted, then the
  // NaNs, each still the element its order entry names.
  const double inf = std::numeric_limits<double>::infinity();
  int st = 0;
  const std::vector<double> small = {kNaN, 3, -kNaN, -1, inf, 2, kNaN, -inf, 0.0, 0.5};
  std::mt19937 gen(5);
  std::vector<double> large(20000);
  for (double& d : large) d = gen() % 10 == 0 ? kNaN : static_cast<double>(gen() % 1000) - 500.0;
  for (const std::vector<double>& in : {small, large}) {
    VecP v(NewVec(in));
    PermP order(_LM_px_get("t", 0, 1, __LINE__, "p", &st));
    ASSERT_EQ(_LM_v_sort(v.get(), order.get(), __LINE__, "sort", &st), v.get());
    std::vector<double> numbers;
    for (double d : in)
      if (!std::isnan(d)) numbers.push_back(d);
    std::sort(numbers.begin(), numbers.end());
    EXPECT_TRUE(std::equal(numbers.begin(), numbers.end(), v->ve));
    for (size_t k = numbers.size(); k < in.size(); ++k) EXPECT_TRUE(std::isnan(v->ve[k])) << k;
    EXPECT_TRUE(SortedWithOrder(in, v->ve, order.get(), [](double d) { return d; }));
  }
}

// Empty vectors combine into a given output as the scaling of the first does: the output a
// resize gives an empty result (one element) is not compared with the later empty terms.
TEST(VecLincomb, EmptyVectorsIntoAGivenOutput) {
  int st = 0;
  VecP e1(NewVec(std::vector<double>{})), e2(NewVec(std::vector<double>{}));
  VecP out(NewVec({4}));
  VEC* v[2] = {e1.get(), e2.get()};
  double a[2] = {2, 3};
  EXPECT_EQ(_LM_v_lincomb(2, v, a, out.get(), __LINE__, "lc", &st), out.get());
  EXPECT_EQ(st, 0);
  VecP alone(NewVec({4}));
  EXPECT_EQ(_LM_sv_mlt(2, e1.get(), alone.get(), __LINE__, "lc", &st), alone.get());
  EXPECT_EQ(Values(out.get()), Values(alone.get()));
}
