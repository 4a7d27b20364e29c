/* test_Kriging_relerr.cpp: relative predictor errors per output group and per output, against
 * hand computations: the group norms, the thresholds at 1e-4 of the range, the fallback to
 * half the range (at least the drop tolerance for groups), complex moduli and refusals. */
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "kriging_fixtures.h"

namespace {

/* A model of q outputs in the given groups whose output samples are the rows of Ys (one
 * input variable); the output range of output j is max|y| - min|y| over its samples. */
template <class T>
void GiveOutputs(Kriging<T>& k, int groups, int* sizes, C_MatMGe<T>& Ys) {
  ASSERT_EQ(0, k.PutNumSol(Ys.cols, groups, sizes));
  C_MatMGe<T> X(Ys.rows, 1);
  for (int i = 0; i < Ys.rows; ++i) X.SetVal(i, 0, T(static_cast<double>(i)));
  ASSERT_EQ(0, k.PutInpSampMtx(X));
  ASSERT_EQ(0, k.PutOutSampMtx(Ys));
}

TEST(KrigingRelErr, OneOutputOfRangeTen) {
  C_MatMGe<double> Ys = MakeMat<double>(2, 1, {0.0, -10.0});
  Kriging<double> k;
  GiveOutputs(k, 1, nullptr, Ys);
  C_MatMGe<double> Y = MakeMat<double>(4, 1, {2.0, 0.0005, 0.001, -0.0011});
  C_MatMGe<double> E = MakeMat<double>(4, 1, {0.5, 0.5, 0.5, 0.5});
  C_MatMGe<double> Rg, Ro;
  ASSERT_EQ(0, k.GetRelativePredictorErrorNorm(Y, E, Rg));
  ASSERT_EQ(0, k.GetRelativePredictorError(Y, E, Ro));
  ASSERT_EQ(4, Rg.rows);
  ASSERT_EQ(1, Rg.cols);
  ASSERT_EQ(4, Ro.rows);
  ASSERT_EQ(1, Ro.cols);
  /* Threshold 1e-4 * 10 = 1e-3, strictly exceeded by 2 and |-0.0011| only. */
  const double want[4] = {0.25, 0.5 / (5.0 + 0.0005), 0.5 / (5.0 + 0.001), 0.5 / 0.0011};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(want[i], Rg.GetVal(i, 0), 1e-15 * want[i]) << i;
    EXPECT_NEAR(want[i], Ro.GetVal(i, 0), 1e-15 * want[i]) << i;
  }
  /* The threshold is read from the range of each call, in any state (here: never solved). */
  EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
}

/* A range of 0: the group form falls back to half the drop tolerance, the per-output form
 * returns the error itself once the fallback is not above 1e-31. */
TEST(KrigingRelErr, ZeroRangeFallbacks) {
  C_MatMGe<double> Ys = MakeMat<double>(3, 1, {3.0, -3.0, 3.0});
  Kriging<double> k;
  GiveOutputs(k, 1, nullptr, Ys);
  C_MatMGe<double> Y = MakeMat<double>(2, 1, {0.0, 0.002});
  C_MatMGe<double> E = MakeMat<double>(2, 1, {1e-3, 1e-3});
  C_MatMGe<double> Rg, Ro;
  ASSERT_EQ(0, k.GetRelativePredictorErrorNorm(Y, E, Rg));
  ASSERT_EQ(0, k.GetRelativePredictorError(Y, E, Ro));
  EXPECT_NEAR(2e5, Rg.GetVal(0, 0), 1e-9 * 2e5);
  EXPECT_EQ(1e-3, Ro.GetVal(0, 0));
  EXPECT_NEAR(0.5, Rg.GetVal(1, 0), 1e-15); /* any value is above a zero threshold */
  EXPECT_NEAR(0.5, Ro.GetVal(1, 0), 1e-15);

  ASSERT_EQ(0, k.PutDropToler(1e-2));
  ASSERT_EQ(0, k.GetRelativePredictorErrorNorm(Y, E, Rg));
  EXPECT_NEAR(1e-3 / 5e-3, Rg.GetVal(0, 0), 1e-15);
}

/* Groups {2, 1} of three outputs with ranges 60, 80 and 5: group ranges 100 and 5. */
TEST(KrigingRelErr, GroupNormsAndPerOutputValues) {
  C_MatMGe<double> Ys = MakeMat<double>(2, 3, {0.0, 0.0, 1.0, 60.0, -80.0, 6.0});
  int sizes[2] = {2, 1};
  KrigingProbe<double> k;
  GiveOutputs(k, 2, sizes, Ys);
  ASSERT_NEAR(100.0, k.GlobalRangeVec[0], 1e-12);
  ASSERT_NEAR(5.0, k.GlobalRangeVec[1], 1e-15);

  C_MatMGe<double> Y = MakeMat<double>(3, 3, {3.0, 4.0, 2.0,         /* |.| = 5, 2 */
                                              0.006, -0.008, 0.0004, /* |.| = 0.01, 4e-4 */
                                              0.0, 0.0, -1.0});
  C_MatMGe<double> E = MakeMat<double>(3, 3, {0.3, 0.4, 0.1,  //
                                              0.3, 0.4, 0.1,  //
                                              1.2, 0.5, 0.2});
  C_MatMGe<double> Rg, Ro;
  ASSERT_EQ(0, k.GetRelativePredictorErrorNorm(Y, E, Rg));
  ASSERT_EQ(3, Rg.rows);
  ASSERT_EQ(2, Rg.cols);
  const double f2 = 0.5, f3 = std::sqrt(1.2 * 1.2 + 0.25);
  /* Group 0: threshold 0.01; group 1: threshold 5e-4. */
  EXPECT_NEAR(0.1, Rg.GetVal(0, 0), 1e-15);
  EXPECT_NEAR(0.05, Rg.GetVal(0, 1), 1e-15);
  EXPECT_NEAR(f2 / (50.0 + 0.01), Rg.GetVal(1, 0), 1e-15); /* 0.01 is not above 0.01 */
  EXPECT_NEAR(0.1 / (2.5 + 0.0004), Rg.GetVal(1, 1), 1e-15);
  EXPECT_NEAR(f3 / 50.0, Rg.GetVal(2, 0), 1e-15);
  EXPECT_NEAR(0.2, Rg.GetVal(2, 1), 1e-15);

  ASSERT_EQ(0, k.GetRelativePredictorError(Y, E, Ro));
  ASSERT_EQ(3, Ro.rows);
  ASSERT_EQ(3, Ro.cols);
  /* Per output: ranges 60, 80, 5, thresholds 6e-3, 8e-3, 5e-4. */
  const double want[3][3] = {{0.1, 0.1, 0.05},
                             {0.3 / (30.0 + 0.006), 0.4 / (40.0 + 0.008), 0.1 / (2.5 + 0.0004)},
                             {1.2 / 30.0, 0.5 / 40.0, 0.2}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(want[i][j], Ro.GetVal(i, j), 1e-15) << i << "," << j;
}

TEST(KrigingRelErr, ComplexValuesByModulus) {
  C_MatMGe<cplx> Ys = MakeMat<cplx>(2, 2, {cplx(0, 0), cplx(0, 0), cplx(36, 48), cplx(0, 80)});
  Kriging<cplx> k;
  GiveOutputs(k, 1, nullptr, Ys); /* one group, ranges 60 and 80: group range 100 */
  C_MatMGe<cplx> Y = MakeMat<cplx>(1, 2, {cplx(0.0, 3.0), cplx(4.0, 0.0)});
  C_MatMGe<double> E = MakeMat<double>(1, 2, {0.3, 0.4}), Rg, Ro;
  ASSERT_EQ(0, k.GetRelativePredictorErrorNorm(Y, E, Rg));
  ASSERT_EQ(1, Rg.cols);
  EXPECT_NEAR(0.1, Rg.GetVal(0, 0), 1e-15);
  ASSERT_EQ(0, k.GetRelativePredictorError(Y, E, Ro));
  EXPECT_NEAR(0.1, Ro.GetVal(0, 0), 1e-15);
  EXPECT_NEAR(0.1, Ro.GetVal(0, 1), 1e-15);
}

TEST(KrigingRelErr, ShapeMismatchLeavesTheResultAlone) {
  C_MatMGe<double> Ys = MakeMat<double>(2, 2, {0.0, 0.0, 1.0, 2.0});
  Kriging<double> k;
  GiveOutputs(k, 2, nullptr, Ys);
  C_MatMGe<double> Y(3, 2), E(3, 2), Eshort(2, 2), Enarrow(3, 1), Ynarrow(3, 1);
  C_MatMGe<double> R = MakeMat<double>(1, 1, {7.0});
  typedef int (Kriging<double>::*RelErr)(C_MatMGe<double>&, C_MatMGe<double>&, C_MatMGe<double>&);
  for (RelErr f : {&Kriging<double>::GetRelativePredictorErrorNorm,
                  &Kriging<double>::GetRelativePredictorError}) {
    EXPECT_EQ(1, (k.*f)(Y, Eshort, R));
    EXPECT_EQ(1, (k.*f)(Y, Enarrow, R));
    EXPECT_EQ(1, (k.*f)(Ynarrow, Enarrow, R));
    ASSERT_EQ(1, R.rows);
    EXPECT_EQ(7.0, R.GetVal(0, 0));
  }
  /* No rows: an empty result. */
  C_MatMGe<double> Y0(0, 2), E0(0, 2);
  ASSERT_EQ(0, k.GetRelativePredictorError(Y0, E0, R));
  EXPECT_EQ(0, R.rows);
  EXPECT_EQ(2, R.cols);
  /* A model without output ranges yet has nothing to scale by. */
  Kriging<double> fresh;
  ASSERT_EQ(0, fresh.PutNumSol(2, 2, nullptr));
  R = MakeMat<double>(1, 1, {7.0});
  EXPECT_EQ(1, fresh.GetRelativePredictorError(Y, E, R));
  EXPECT_EQ(1, fresh.GetRelativePredictorErrorNorm(Y, E, R));
  EXPECT_EQ(7.0, R.GetVal(0, 0));
}

/* The result may be written over the error matrix it is computed from. */
TEST(KrigingRelErr, ResultOverTheErrors) {
  C_MatMGe<double> Ys = MakeMat<double>(2, 1, {0.0, 10.0});
  Kriging<double> k;
  GiveOutputs(k, 1, nullptr, Ys);
  C_MatMGe<double> Y = MakeMat<double>(2, 1, {2.0, 4.0});
  C_MatMGe<double> E = MakeMat<double>(2, 1, {0.5, 0.5});
  ASSERT_EQ(0, k.GetRelativePredictorError(Y, E, E));
  EXPECT_EQ(0.25, E.GetVal(0, 0));
  EXPECT_EQ(0.125, E.GetVal(1, 0));
  E = MakeMat<double>(2, 1, {0.5, 0.5});
  ASSERT_EQ(0, k.GetRelativePredictorErrorNorm(Y, E, E));
  EXPECT_EQ(0.25, E.GetVal(0, 0));
  EXPECT_EQ(0.125, E.GetVal(1, 0));
}

}  // namespace

namespace {

/* Outputs whose group range is the root of 2 x 1.5e308 squared, beyond the doubles: the
 * outputs that would make it are refused when given or appended, a range table made from
 * them (written by a derived model) gives no group ranges, and a range that no double holds
 * scales no error. The model keeps the outputs and ranges it had. */
TEST(KrigingRelErr, RangesBeyondTheDoublesAreRefused) {
  const double big = 1.5e308;
  C_MatMGe<double> Y0 = MakeMat<double>(2, 2, {0.0, 0.0, 3.0, 4.0}); /* group range 5 */
  C_MatMGe<double> Ybig = MakeMat<double>(2, 2, {0.0, 0.0, big, -big});
  struct Case {
    const char* what;
    int groups;
    int result; /* of PutOutSampMtx(Ybig) */
  };
  const std::vector<Case> cases = {
      {"one group of both", 1, 1},
      {"one group each", 2, 0}, /* each range is 1.5e308 */
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KrigingProbe<double> k;
    GiveOutputs(k, c.groups, nullptr, Y0);
    RVec before(0), ranges(0);
    before.Assign(k.GlobalRangeVec);
    EXPECT_EQ(c.result, k.PutOutSampMtx(Ybig));
    if (c.result == 0) {
      ASSERT_EQ(0, k.GetOutputGlobalRange(ranges));
      ASSERT_EQ(2, ranges.Dim());
      EXPECT_EQ(big, ranges[0]);
      EXPECT_EQ(big, ranges[1]);
      continue;
    }
    C_MatMGe<double> Yback;
    ASSERT_EQ(0, k.GetOutSampMtx(Yback));
    EXPECT_TRUE(SameMat(Y0, Yback));
    EXPECT_TRUE(SameVec(before, k.GlobalRangeVec));

    /* Appended rows that would widen the ranges that far: nothing appended. */
    C_MatMGe<double> Xa = MakeMat<double>(1, 1, {7.0}), Ya = MakeMat<double>(1, 2, {big, big});
    EXPECT_EQ(1, k.AppendSampData(Xa, Ya));
    int m = 0;
    k.GetNumSamp(m);
    EXPECT_EQ(2, m);
    ASSERT_EQ(0, k.GetOutSampMtx(Yback));
    EXPECT_TRUE(SameMat(Y0, Yback));
    EXPECT_TRUE(SameVec(before, k.GlobalRangeVec));

    /* Outputs written in by a derived model: no group range, the vector given untouched. */
    k.OutSampMtx = Ybig;
    RVec sentinel(1, -1.0);
    EXPECT_EQ(1, k.GetOutputGlobalRange(sentinel));
    ASSERT_EQ(1, sentinel.Dim());
    EXPECT_EQ(-1.0, sentinel[0]);

    /* A group range beyond the doubles (written by a derived model) scales no error: an
     * error of 1e300 at the value 1 is not a relative error of 0. */
    k.GlobalRangeVec[0] = std::numeric_limits<double>::infinity();
    C_MatMGe<double> Y = MakeMat<double>(1, 2, {1.0, 0.0}), E = MakeMat<double>(1, 2, {1e300, 0.0});
    C_MatMGe<double> R = MakeMat<double>(1, 1, {7.0});
    EXPECT_EQ(1, k.GetRelativePredictorErrorNorm(Y, E, R));
    EXPECT_EQ(7.0, R.GetVal(0, 0));
  }
}

}  // namespace
