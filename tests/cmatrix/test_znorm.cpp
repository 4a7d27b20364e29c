// Tests of the complex norms and the vector of moduli: hand-computed values, scale vectors
// (a zero entry leaves its element unscaled), empty records, the error results 0.0 and
// NULL, and Euclidean and Frobenius norms whose sums of squares overflow or underflow
// (checked against numpy).
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <limits>

#include "cmat_complex.h"
#include "cmat_norm.h"
#include "cmat_support.h"
#include "dense_fixtures.h"
#include "zmatrix.h"

using namespace cmat_test;

namespace {

const char kTag[] = "test";

// The terms of a norm case in pairs (re, im), an odd last one with im 0.
ZVEC* PairedZVec(const std::vector<double>& terms) {
  const int n = static_cast<int>((terms.size() + 1) / 2);
  ZVEC* v = _LM_zv_get(kTag, 0, n, __LINE__, "t", nullptr);
  for (size_t k = 0; k < terms.size(); ++k) {
    if (k % 2 == 0)
      v->ve[k / 2].re = terms[k];
    else
      v->ve[k / 2].im = terms[k];
  }
  return v;
}

}  // namespace

TEST(ZNorm, VectorNormsWithAndWithoutScale) {
  int st = 0;
  ZVEC* x = NewZVec({{3, 4}, {0, -1}, {-6, 8}});
  EXPECT_EQ(_LM__zv_norm1(x, nullptr, __LINE__, "t", &st), 5.0 + 1.0 + 10.0);
  EXPECT_EQ(_LM__zv_norm2(x, nullptr, __LINE__, "t", &st), std::sqrt(25.0 + 1.0 + 100.0));
  EXPECT_EQ(_LM__zv_norm_inf(x, nullptr, __LINE__, "t", &st), 10.0);
  EXPECT_EQ(st, 0);
  // Scale (-5, 0, 2, extra): the first modulus divided by 5, the second unscaled.
  VEC* scale = NewVec({-5, 0, 2, 123});
  EXPECT_EQ(_LM__zv_norm1(x, scale, __LINE__, "t", &st), 1.0 + 1.0 + 5.0);
  EXPECT_EQ(_LM__zv_norm2(x, scale, __LINE__, "t", &st), std::sqrt(1.0 + 1.0 + 25.0));
  EXPECT_EQ(_LM__zv_norm_inf(x, scale, __LINE__, "t", &st), 5.0);
  ZVEC* single = NewZVec({{3, 4}});
  EXPECT_EQ(_LM__zv_norm1(single, nullptr, __LINE__, "t", &st), 5.0);
  ZVEC* empty = _LM_zv_get(kTag, 0, 0, __LINE__, "t", &st);
  EXPECT_EQ(_LM__zv_norm1(empty, nullptr, __LINE__, "t", &st), 0.0);
  EXPECT_EQ(_LM__zv_norm2(empty, nullptr, __LINE__, "t", &st), 0.0);
  EXPECT_EQ(_LM__zv_norm_inf(empty, nullptr, __LINE__, "t", &st), 0.0);
  zv_free_vars(&x, &single, &empty, nullptr);
  v_free(scale);
}

TEST(ZNorm, VectorNormErrorsGiveZero) {
  int st = 0;
  ZVEC* x = NewZVec({{1, 1}, {2, 2}});
  VEC* shortScale = NewVec({1});
  struct Case {
    double (*fn)(ZVEC*, VEC*, int, const char*, int*);
    const char* routine;
    const char* scaleRoutine;
  } cases[] = {{_LM__zv_norm1, "_zv_norm1", "_zv_norm1"},
               {_LM__zv_norm2, "_zv_norm2", "_v_norm2"},
               {_LM__zv_norm_inf, "_zv_norm_inf", "_zv_norm_inf"}};
  for (const Case& c : cases) {
    ErrWatch w;
    EXPECT_EQ(c.fn(nullptr, nullptr, __LINE__, "t", &st), 0.0);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 8);
    EXPECT_EQ(w.routine(), c.routine);
    EXPECT_EQ(c.fn(x, shortScale, __LINE__, "t", &st), 0.0);
    EXPECT_EQ(w.last(), 1);
    EXPECT_EQ(w.routine(), c.scaleRoutine);
  }
  zv_free(x);
  v_free(shortScale);
}

TEST(ZNorm, MatrixNorms) {
  int st = 0;
  ZMAT* A = _LM_zm_get(kTag, 0, 2, 2, __LINE__, "t", &st);
  A->me[0][0] = zmake(3, 4);   // 5
  A->me[0][1] = zmake(0, -2);  // 2
  A->me[1][0] = zmake(1, 0);   // 1
  A->me[1][1] = zmake(-6, 8);  // 10
  EXPECT_EQ(_LM_zm_norm1(A, __LINE__, "t", &st), 12.0);     // columns: 6, 12
  EXPECT_EQ(_LM_zm_norm_inf(A, __LINE__, "t", &st), 11.0);  // rows: 7, 11
  EXPECT_EQ(_LM_zm_norm_frob(A, __LINE__, "t", &st), std::sqrt(25.0 + 4.0 + 1.0 + 100.0));
  ZMAT* E = _LM_zm_get(kTag, 0, 0, 3, __LINE__, "t", &st);
  EXPECT_EQ(_LM_zm_norm1(E, __LINE__, "t", &st), 0.0);
  EXPECT_EQ(_LM_zm_norm_inf(E, __LINE__, "t", &st), 0.0);
  EXPECT_EQ(_LM_zm_norm_frob(E, __LINE__, "t", &st), 0.0);
  ErrWatch w;
  EXPECT_EQ(_LM_zm_norm1(nullptr, __LINE__, "t", &st), 0.0);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(_LM_zm_norm_inf(nullptr, __LINE__, "t", &st), 0.0);
  EXPECT_EQ(_LM_zm_norm_frob(nullptr, __LINE__, "t", &st), 0.0);
  EXPECT_EQ(w.routine(), "zm_norm_frob");
  zm_free_vars(&A, &E, nullptr);
}

// A NaN part anywhere makes every norm NaN, whatever finite moduli follow it.
TEST(ZNorm, ANaNPartMakesEveryNormNaN) {
  int st = 0;
  const double nan = std::nan("");
  ZVEC* vs[] = {NewZVec({{nan, 0}, {1, 1}}), NewZVec({{3, 4}, {0, nan}, {1, 0}}), NewZVec({{1, 0}, {nan, 2}})};
  VEC* scale = nullptr;
  int sst = 0;
  scale = _LM_v_get(kTag, 0, 3, __LINE__, "t", &sst);
  for (unsigned i = 0; i < 3; ++i) scale->ve[i] = 2.0;
  for (ZVEC* x : vs) {
    for (VEC* s : {static_cast<VEC*>(nullptr), scale}) {
      EXPECT_TRUE(std::isnan(_LM__zv_norm1(x, s, __LINE__, "n", &st)));
      EXPECT_TRUE(std::isnan(_LM__zv_norm2(x, s, __LINE__, "n", &st)));
      EXPECT_TRUE(std::isnan(_LM__zv_norm_inf(x, s, __LINE__, "n", &st)));
      EXPECT_EQ(st, 0);
    }
    zv_free(x);
  }
  v_free(scale);
  ZMAT* D = NewZMat({{{nan, 0}, {0, 0}, {0, 0}}, {{0, 0}, {1, 0}, {0, 0}}, {{0, 0}, {0, 0}, {0, 1}}});
  ZMAT* M = NewZMat({{{1, 0}, {2, 0}}, {{3, 0}, {0, nan}}});
  for (ZMAT* A : {D, M}) {
    EXPECT_TRUE(std::isnan(_LM_zm_norm1(A, __LINE__, "n", &st)));
    EXPECT_TRUE(std::isnan(_LM_zm_norm_inf(A, __LINE__, "n", &st)));
    EXPECT_TRUE(std::isnan(_LM_zm_norm_frob(A, __LINE__, "n", &st)));
    EXPECT_EQ(st, 0);
    zm_free(A);
  }
}

TEST(ZNorm, ModulusVector) {
  int st = 0;
  ZVEC* x = NewZVec({{3, -4}, {0, 2}, {-1e200, 1e200}});
  VEC* out = NewVec({9});
  ASSERT_NE((out = _LM_zv_zabs(x, out, __LINE__, "t", &st)), nullptr);
  ASSERT_EQ(out->dim, 3u);
  EXPECT_EQ(out->ve[0], 5.0);
  EXPECT_EQ(out->ve[1], 2.0);
  EXPECT_NEAR(out->ve[2] / 1e200, std::sqrt(2.0), 4 * DBL_EPSILON);
  ZVEC* empty = _LM_zv_get(kTag, 0, 0, __LINE__, "t", &st);
  ErrWatch w;
  EXPECT_EQ(_LM_zv_zabs(empty, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(w.routine(), "zv_abs");
  EXPECT_EQ(_LM_zv_zabs(x, nullptr, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(st, -1);
  zv_free_vars(&x, &empty, nullptr);
  v_free(out);
}

TEST(ZNorm, TwoNormAndFrobeniusNeitherOverflowNorUnderflow) {
  // The terms in (re, im) pairs: as a vector without a scale, with a scale of ones and of
  // zeros (entries unscaled), and as a one-column and a one-row matrix.
  int st = 0;
  for (const NormCase& c : NormCases()) {
    SCOPED_TRACE(c.what);
    ZVEC* x = PairedZVec(c.terms);
    VEC* ones = NewVec(std::vector<double>(x->dim, 1.0));
    VEC* zeros = NewVec(std::vector<double>(x->dim, 0.0));
    EXPECT_TRUE(NormNear(_LM__zv_norm2(x, nullptr, __LINE__, "t", &st), c.want));
    EXPECT_TRUE(NormNear(_LM__zv_norm2(x, ones, __LINE__, "t", &st), c.want));
    EXPECT_TRUE(NormNear(_LM__zv_norm2(x, zeros, __LINE__, "t", &st), c.want));
    ZMAT* col = _LM_zm_get(kTag, 0, static_cast<int>(x->dim), 1, __LINE__, "t", &st);
    ZMAT* row = _LM_zm_get(kTag, 0, 1, static_cast<int>(x->dim), __LINE__, "t", &st);
    for (unsigned i = 0; i < x->dim; ++i) col->me[i][0] = row->me[0][i] = x->ve[i];
    EXPECT_TRUE(NormNear(_LM_zm_norm_frob(col, __LINE__, "t", &st), c.want));
    EXPECT_TRUE(NormNear(_LM_zm_norm_frob(row, __LINE__, "t", &st), c.want));
    EXPECT_EQ(st, 0);
    zv_free(x);
    zm_free_vars(&col, &row, nullptr);
    v_free(ones);
    v_free(zeros);
  }
}

TEST(ZNorm, ScaledEntriesNeitherOverflowNorUnderflow) {
  // |x[i] / scale[i]|^2 summed, where |x[i]|^2 or scale[i]^2 overflows or underflows (the
  // last case: both squares subnormal, their quotient ordinary); norms from numpy in extended
  // precision.
  const struct {
    std::vector<C> x;
    std::vector<double> scale;
    double want;
  } cases[] = {
      {{{3e200, 4e200}}, {1e-100}, 4.9999999999999997e+300},
      {{{3e-200, 4e-200}}, {1e100}, 5e-300},
      {{{3e-200, 4e-200}, {1, 0}}, {1e100, 0}, 1.0},
      {{{1e-160, 1e-160}}, {1e-150}, 1.414213562373095e-10},
  };
  int st = 0;
  for (const auto& c : cases) {
    ZVEC* x = _LM_zv_get(kTag, 0, static_cast<int>(c.x.size()), __LINE__, "t", &st);
    for (size_t i = 0; i < c.x.size(); ++i) x->ve[i] = Z(c.x[i].real(), c.x[i].imag());
    VEC* sc = NewVec(c.scale);
    EXPECT_TRUE(NormNear(_LM__zv_norm2(x, sc, __LINE__, "t", &st), c.want)) << c.want;
    zv_free(x);
    v_free(sc);
  }
}

// An entry whose modulus passes DBL_MAX while its scaled modulus does not: the scaled norms
// stay finite, as the Euclidean one does.
TEST(ZNormScaled, EntryBeyondTheRangeDividedBackIntoIt) {
  int st = 0;
  ZVEC* x = _LM_zv_get("t", 0, 1, __LINE__, "t", &st);
  x->ve[0] = zmake(DBL_MAX, -DBL_MAX);
  VEC* scale = _LM_v_get("t", 0, 1, __LINE__, "t", &st);
  scale->ve[0] = 4.0;
  const double want = static_cast<double>(std::sqrt(2.0L) * static_cast<long double>(DBL_MAX) / 4);
  EXPECT_NEAR(_LM__zv_norm1(x, scale, __LINE__, "t", &st), want, 4 * DBL_EPSILON * want);
  EXPECT_NEAR(_LM__zv_norm_inf(x, scale, __LINE__, "t", &st), want, 4 * DBL_EPSILON * want);
  EXPECT_NEAR(_LM__zv_norm2(x, scale, __LINE__, "t", &st), want, 4 * DBL_EPSILON * want);
  EXPECT_EQ(st, 0);
  zv_free(x);
  v_free(scale);
}

// A subnormal entry divided by a subnormal scale: the modulus is not rounded to the subnormal
// grid before the division.
TEST(ZNormScaled, SubnormalEntryOverSubnormalScale) {
  int st = 0;
  const double tiny = std::numeric_limits<double>::denorm_min();
  ZVEC* x = _LM_zv_get("t", 0, 1, __LINE__, "t", &st);
  x->ve[0] = zmake(tiny, tiny);
  VEC* scale = _LM_v_get("t", 0, 1, __LINE__, "t", &st);
  scale->ve[0] = -tiny;
  const double want = std::sqrt(2.0);
  EXPECT_NEAR(_LM__zv_norm1(x, scale, __LINE__, "t", &st), want, 4 * DBL_EPSILON);
  EXPECT_NEAR(_LM__zv_norm_inf(x, scale, __LINE__, "t", &st), want, 4 * DBL_EPSILON);
  EXPECT_NEAR(_LM__zv_norm2(x, scale, __LINE__, "t", &st), want, 4 * DBL_EPSILON);
  zv_free(x);
  v_free(scale);
}
