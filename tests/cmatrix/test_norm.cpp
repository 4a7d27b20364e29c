// Tests of the vector and matrix norms: hand-computed values, the scale vector and its
// zero entries, NaN entries (every norm NaN), empty records and errors, and Euclidean
// and Frobenius norms whose sums of squares overflow or underflow (checked against numpy).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "cmat_norm.h"
#include "cmat_support.h"
#include "dense_fixtures.h"
#include "matrix.h"

using namespace cmat_test;

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();
}

TEST(VecNorm, HandValuesWithAndWithoutScale) {
  int st = 0;
  VecP x(NewVec({3, -4, 12}));
  EXPECT_EQ(_LM__v_norm1(x.get(), nullptr, __LINE__, "n", &st), 19.0);
  EXPECT_EQ(_LM__v_norm2(x.get(), nullptr, __LINE__, "n", &st), 13.0);
  EXPECT_EQ(_LM__v_norm_inf(x.get(), nullptr, __LINE__, "n", &st), 12.0);
  // Scaled: (3/3, -4/2, 12 unscaled where the scale is 0); a longer scale is fine.
  VecP sc(NewVec({3, 2, 0, 99}));
  EXPECT_EQ(_LM__v_norm1(x.get(), sc.get(), __LINE__, "n", &st), 15.0);
  EXPECT_DOUBLE_EQ(_LM__v_norm2(x.get(), sc.get(), __LINE__, "n", &st), std::sqrt(149.0));
  EXPECT_EQ(_LM__v_norm_inf(x.get(), sc.get(), __LINE__, "n", &st), 12.0);
  VecP y(NewVec({2, 3})), s2(NewVec({2, 0}));
  EXPECT_DOUBLE_EQ(_LM__v_norm2(y.get(), s2.get(), __LINE__, "n", &st), std::sqrt(10.0));
  VecP e(NewVec({}));
  EXPECT_EQ(_LM__v_norm1(e.get(), nullptr, __LINE__, "n", &st), 0.0);
  EXPECT_EQ(_LM__v_norm2(e.get(), nullptr, __LINE__, "n", &st), 0.0);
  EXPECT_EQ(_LM__v_norm_inf(e.get(), nullptr, __LINE__, "n", &st), 0.0);
  EXPECT_EQ(st, 0);
}

TEST(VecNorm, TwoNormAgreesWithTheSumOfSquares) {
  std::mt19937 g(3);
  std::normal_distribution<double> d;
  int st = 0;
  for (int n : {1, 10, 1000}) {
    VecP x(_LM_v_get("t", 0, n, __LINE__, "t", &st));
    long double s = 0;
    for (int i = 0; i < n; ++i) x->ve[i] = d(g), s += static_cast<long double>(x->ve[i]) * x->ve[i];
    EXPECT_NEAR(_LM__v_norm2(x.get(), nullptr, __LINE__, "n", &st), std::sqrt(static_cast<double>(s)),
                4 * n * std::numeric_limits<double>::epsilon() * std::sqrt(static_cast<double>(s)));
  }
}

// Once a NaN is met, no later number may hide it: every norm of a record holding a NaN is
// NaN, wherever the NaN stands (first, middle, last) and whatever follows it.
TEST(VecNorm, ANaNEntryMakesEveryNormNaN) {
  int st = 0;
  const std::vector<std::vector<double>> cases = {{kNaN, 1}, {1, kNaN}, {5, kNaN, 1, 0}, {kNaN, 1e300, -7}};
  for (const auto& c : cases) {
    VecP x(NewVec(c));
    VecP ones(NewVec(std::vector<double>(c.size(), 2.0)));
    for (VEC* scale : {static_cast<VEC*>(nullptr), ones.get()}) {
      EXPECT_TRUE(std::isnan(_LM__v_norm1(x.get(), scale, __LINE__, "n", &st)));
      EXPECT_TRUE(std::isnan(_LM__v_norm2(x.get(), scale, __LINE__, "n", &st)));
      EXPECT_TRUE(std::isnan(_LM__v_norm_inf(x.get(), scale, __LINE__, "n", &st))) << c.size();
      EXPECT_EQ(st, 0);
    }
  }
  // A NaN scale divides.
  VecP x(NewVec({2, 1})), s(NewVec({kNaN, 1}));
  EXPECT_TRUE(std::isnan(_LM__v_norm1(x.get(), s.get(), __LINE__, "n", &st)));
  EXPECT_TRUE(std::isnan(_LM__v_norm_inf(x.get(), s.get(), __LINE__, "n", &st)));
}

TEST(MatNorm, ANaNEntryMakesEveryNormNaN) {
  int st = 0;
  // diag(NaN, 1, 1): the NaN's column and row sums come first, finite ones after them.
  MatP D(NewMat({{kNaN, 0, 0}, {0, 1, 0}, {0, 0, 1}}));
  MatP L(NewMat({{1, 0}, {2, 0}, {0, kNaN}}));  // the NaN in the last row and column
  MatP M(NewMat({{1, 2, 3}, {4, kNaN, 6}, {7, 8, 9}}));
  for (MAT* A : {D.get(), L.get(), M.get()}) {
    EXPECT_TRUE(std::isnan(_LM_m_norm1(A, __LINE__, "n", &st)));
    EXPECT_TRUE(std::isnan(_LM_m_norm_inf(A, __LINE__, "n", &st)));
    EXPECT_TRUE(std::isnan(_LM_m_norm_frob(A, __LINE__, "n", &st)));
    EXPECT_EQ(st, 0);
  }
}

TEST(VecNorm, Errors) {
  int st = 0;
  VecP x(NewVec({1, 2, 3})), s(NewVec({1, 1}));
  const struct {
    double (*fn)(VEC*, VEC*, int, const char*, int*);
    const char* routine;
  } ops[] = {{_LM__v_norm1, "_v_norm1"}, {_LM__v_norm2, "_v_norm2"}, {_LM__v_norm_inf, "_v_norm_inf"}};
  for (const auto& op : ops) {
    ErrWatch w;
    EXPECT_EQ(op.fn(x.get(), s.get(), __LINE__, "n", &st), -1.0);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 1);
    EXPECT_EQ(w.routine(), op.routine);
    EXPECT_EQ(op.fn(nullptr, nullptr, __LINE__, "n", &st), -1.0);
    EXPECT_EQ(w.last(), 8);
  }
}

TEST(MatNorm, HandValuesEmptyAndErrors) {
  int st = 0;
  MatP A(NewMat({{1, -2}, {3, 4}}));
  EXPECT_EQ(_LM_m_norm1(A.get(), __LINE__, "n", &st), 6.0);
  EXPECT_EQ(_LM_m_norm_inf(A.get(), __LINE__, "n", &st), 7.0);
  EXPECT_DOUBLE_EQ(_LM_m_norm_frob(A.get(), __LINE__, "n", &st), std::sqrt(30.0));
  MatP R(NewMat({{1, -1, 1, -1}}));  // one row: one-norm 1, infinity norm 4
  EXPECT_EQ(_LM_m_norm1(R.get(), __LINE__, "n", &st), 1.0);
  EXPECT_EQ(_LM_m_norm_inf(R.get(), __LINE__, "n", &st), 4.0);
  MatP E(_LM_m_get("t", 0, 0, 3, __LINE__, "get", &st));
  EXPECT_EQ(_LM_m_norm1(E.get(), __LINE__, "n", &st), 0.0);
  EXPECT_EQ(_LM_m_norm_inf(E.get(), __LINE__, "n", &st), 0.0);
  EXPECT_EQ(_LM_m_norm_frob(E.get(), __LINE__, "n", &st), 0.0);
  EXPECT_EQ(st, 0);
  ErrWatch w;
  EXPECT_EQ(_LM_m_norm1(nullptr, __LINE__, "n", &st), -1.0);
  EXPECT_EQ(w.routine(), "m_norm1");
  EXPECT_EQ(_LM_m_norm_inf(nullptr, __LINE__, "n", &st), -1.0);
  EXPECT_EQ(w.routine(), "m_norm_inf");
  EXPECT_EQ(_LM_m_norm_frob(nullptr, __LINE__, "n", &st), -1.0);
  EXPECT_EQ(w.routine(), "m_norm_frob");
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(w.file(), "norm");
}

TEST(VecNorm, TwoNormNeitherOverflowsNorUnderflows) {
  // Without a scale, with a scale of ones and with a scale of zeros (entries unscaled): one
  // answer for each.
  int st = 0;
  for (const NormCase& c : NormCases()) {
    SCOPED_TRACE(c.what);
    VecP x(NewVec(c.terms));
    VecP ones(NewVec(std::vector<double>(c.terms.size(), 1.0)));
    VecP zeros(NewVec(std::vector<double>(c.terms.size(), 0.0)));
    EXPECT_TRUE(NormNear(_LM__v_norm2(x.get(), nullptr, __LINE__, "n", &st), c.want));
    EXPECT_TRUE(NormNear(_LM__v_norm2(x.get(), ones.get(), __LINE__, "n", &st), c.want));
    EXPECT_TRUE(NormNear(_LM__v_norm2(x.get(), zeros.get(), __LINE__, "n", &st), c.want));
    EXPECT_EQ(st, 0);
  }
}

TEST(VecNorm, ScaledTermsNeitherOverflowNorUnderflow) {
  // Entries divided by their scales (unscaled where the scale is 0) whose squares overflow or
  // underflow; the norms from numpy in extended precision.
  const struct {
    std::vector<double> x, scale;
    double want;
  } cases[] = {
      {{3e-200, 4e-200, 5e-201}, {1e100, 2, 0}, 2.0615528128088304e-200},
      {{3e300, 4e300}, {1e-5, 1e-5}, 5e+305},
  };
  int st = 0;
  for (const auto& c : cases) {
    VecP x(NewVec(c.x)), sc(NewVec(c.scale));
    EXPECT_TRUE(NormNear(_LM__v_norm2(x.get(), sc.get(), __LINE__, "n", &st), c.want));
  }
}

TEST(MatNorm, FrobeniusNeitherOverflowsNorUnderflows) {
  // The terms row by row in two columns (an odd last term beside a 0), and in one row.
  int st = 0;
  for (const NormCase& c : NormCases()) {
    SCOPED_TRACE(c.what);
    std::vector<double> byRows = c.terms;
    if (byRows.size() % 2 != 0) byRows.push_back(0.0);
    MatP A(NewMat(static_cast<int>(byRows.size() / 2), 2, byRows));
    MatP R(NewMat(1, static_cast<int>(c.terms.size()), c.terms));
    EXPECT_TRUE(NormNear(_LM_m_norm_frob(A.get(), __LINE__, "n", &st), c.want));
    EXPECT_TRUE(NormNear(_LM_m_norm_frob(R.get(), __LINE__, "n", &st), c.want));
    EXPECT_EQ(st, 0);
  }
}
