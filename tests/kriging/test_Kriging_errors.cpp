/* test_Kriging_errors.cpp: error measures: absolute and relative errors and R^2 of given
 * values against hand computations, the measures of a model on its samples and at given
 * points against an independent dense Kriging model, and maxima that keep a NaN. */
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "kriging_files.h"
#include "kriging_fixtures.h"

namespace {

/* A solved model of one input and three outputs in groups {2, 1} whose output ranges are
 * 60, 80 and 5 (group ranges 100 and 5). */
template <class T>
void GroupedModel(Kriging<T>& k) {
  C_MatMGe<T> X = MakeMat<T>(2, 1, {T(0.0), T(1.0)});
  C_MatMGe<T> Y = MakeMat<T>(2, 3, {T(0.0), T(0.0), T(1.0), T(60.0), T(-80.0), T(6.0)});
  SmallModelSpec s;
  s.groups = 2;
  s.sizes = {2, 1};
  s.poly = PolyConstant;
  s.theta = {1.0};
  ASSERT_EQ(0, SolveSmall(k, X, Y, s));
}

}  // namespace

/* Y1 = (1, 2), Y2 = (1.5, 2): errors (0.5, 0), largest 0.5; a second column adds its own
 * largest value; equal matrices give 0; complex values give moduli. */
TEST(KrigingErrors, AbsoluteErrorsByHand) {
  Kriging<double> k;
  GroupedModel(k);
  C_MatMGe<double> Y1 = MakeMat<double>(2, 1, {1.0, 2.0}), Y2 = MakeMat<double>(2, 1, {1.5, 2.0});
  C_MatMGe<double> E;
  RVec e(0);
  double s = -1.0;
  ASSERT_EQ(0, k.GetError(Y1, Y2, E));
  ASSERT_EQ(2, E.rows);
  ASSERT_EQ(1, E.cols);
  EXPECT_EQ(0.5, E.GetVal(0, 0));
  EXPECT_EQ(0.0, E.GetVal(1, 0));
  ASSERT_EQ(0, k.GetError(Y1, Y2, s));
  EXPECT_EQ(0.5, s);

  C_MatMGe<double> A = MakeMat<double>(2, 2, {1.0, -3.0, 2.0, 4.0});
  C_MatMGe<double> B = MakeMat<double>(2, 2, {1.5, -1.0, 2.0, 4.0});
  ASSERT_EQ(0, k.GetError(A, B, e));
  ASSERT_EQ(2, e.Dim());
  EXPECT_EQ(0.5, e[0]);
  EXPECT_EQ(2.0, e[1]);
  ASSERT_EQ(0, k.GetError(A, B, s));
  EXPECT_EQ(2.0, s);
  ASSERT_EQ(0, k.GetError(A, A, s));
  EXPECT_EQ(0.0, s);
  /* Points without rows: no errors, the largest of none is 0. */
  C_MatMGe<double> Z(0, 2);
  s = -1.0;
  ASSERT_EQ(0, k.GetError(Z, Z, E));
  EXPECT_EQ(0, E.rows);
  EXPECT_EQ(2, E.cols);
  ASSERT_EQ(0, k.GetError(Z, Z, s));
  EXPECT_EQ(0.0, s);
  /* The result may be the first matrix itself. */
  ASSERT_EQ(0, k.GetError(A, B, A));
  EXPECT_EQ(2.0, A.GetVal(0, 1));

  Kriging<cplx> kc;
  GroupedModel(kc);
  C_MatMGe<cplx> C1 = MakeMat<cplx>(1, 1, {cplx(1, 1)}), C2 = MakeMat<cplx>(1, 1, {cplx(4, 5)});
  ASSERT_EQ(0, kc.GetError(C1, C2, E));
  EXPECT_EQ(5.0, E.GetVal(0, 0));
}

/* Refusals: a model that is not solved, shapes that differ; the outputs stay as they were. */
TEST(KrigingErrors, AbsoluteAndRelativeRefusals) {
  Kriging<double> k;
  GroupedModel(k);
  C_MatMGe<double> A(2, 3), B(3, 3), C(2, 2);
  C_MatMGe<double> sentinel = MakeMat<double>(1, 1, {7.0}), E = sentinel;
  RVec v(1);
  v[0] = 7.0;
  double s = 7.0;
  EXPECT_EQ(1, k.GetError(A, B, E));
  EXPECT_EQ(1, k.GetError(A, C, v));
  EXPECT_EQ(1, k.GetError(A, B, s));
  EXPECT_EQ(1, k.GetRelativeError(A, B, E));
  EXPECT_EQ(1, k.GetRelativeError(A, C, v));
  EXPECT_EQ(1, k.GetRelativeError(A, B, s));
  /* q columns are needed for the group norms. */
  EXPECT_EQ(1, k.GetRelativeError(C, C, E));
  EXPECT_TRUE(SameMat(sentinel, E));
  EXPECT_EQ(1, v.Dim());
  EXPECT_EQ(7.0, v[0]);
  EXPECT_EQ(7.0, s);

  ASSERT_EQ(0, k.PutDropToler(1e-6)); /* state 1 */
  EXPECT_EQ(1, k.GetError(A, A, E));
  EXPECT_EQ(1, k.GetError(A, A, s));
  EXPECT_EQ(1, k.GetRelativeError(A, A, E));
  EXPECT_EQ(1, k.GetRelativeError(A, A, s));
  EXPECT_TRUE(SameMat(sentinel, E));
  EXPECT_EQ(7.0, s);
}

/* A solved model of two outputs in two groups (ranges 1 and 100) whose grouping changes
 * (PutNumSol(2, 1)): its ranges belong to the groups it was given, and until the outputs are
 * given again every error measure refuses, as Write does, leaving its outputs alone (r := 1
 * and r2 := 0 first, as always). With the outputs given again and the model solved, the one
 * group's range (the root of 1 + 100^2) scales the relative errors. */
TEST(KrigingErrors, MeasuresRefuseGroupsChangedSinceTheFit) {
  C_MatMGe<double> X = MakeMat<double>(2, 1, {0.0, 1.0});
  C_MatMGe<double> Y = MakeMat<double>(2, 2, {0.0, 0.0, 1.0, 100.0});
  SmallModelSpec s;
  s.groups = 2;
  s.poly = PolyConstant;
  s.theta = {1.0};
  Kriging<double> k;
  ASSERT_EQ(0, SolveSmall(k, X, Y, s));
  ASSERT_EQ(0, k.PutNumSol(2, 1, nullptr));
  ASSERT_EQ(KrigingSolved, k.GetKrigingStatus());

  C_MatMGe<double> Y1 = MakeMat<double>(1, 2, {0.003, 0.004});
  C_MatMGe<double> Y2 = MakeMat<double>(1, 2, {0.0033, 0.0044});
  C_MatMGe<double> P = MakeMat<double>(1, 1, {0.5});
  C_MatMGe<double> M = MakeMat<double>(1, 1, {7.0});
  RVec v(1, 7.0);
  double x = 7.0, y = 7.0;
  struct Measure {
    const char* what;
    std::function<int()> run;
    double first; /* what x holds after the refusal */
  };
  const std::vector<Measure> measures = {
      {"GetRelativeError, matrix", [&] { return k.GetRelativeError(Y1, Y2, M); }, 7.0},
      {"GetRelativeError, vector", [&] { return k.GetRelativeError(Y1, Y2, v); }, 7.0},
      {"GetRelativeError, scalar", [&] { return k.GetRelativeError(Y1, Y2, x); }, 7.0},
      {"GetRelativeError, samples", [&] { return k.GetRelativeError(x); }, 1.0},
      {"GetError, matrix", [&] { return k.GetError(Y1, Y2, M); }, 7.0},
      {"GetError, vector", [&] { return k.GetError(Y1, Y2, v); }, 7.0},
      {"GetError, scalar", [&] { return k.GetError(Y1, Y2, x); }, 7.0},
      {"CheckError", [&] { return k.CheckError(P, Y1, x); }, 7.0},
      {"CheckRelativeError", [&] { return k.CheckRelativeError(P, Y1, x, y); }, 7.0},
      {"getR2, samples", [&] { return k.getR2(x); }, 0.0},
  };
  for (const Measure& m : measures) {
    SCOPED_TRACE(m.what);
    x = y = 7.0;
    EXPECT_EQ(1, m.run());
    EXPECT_EQ(m.first, x);
    EXPECT_EQ(7.0, y);
    ASSERT_EQ(1, M.rows);
    EXPECT_EQ(7.0, M.GetVal(0, 0));
    ASSERT_EQ(1, v.Dim());
    EXPECT_EQ(7.0, v[0]);
  }

  ASSERT_EQ(0, k.PutOutSampMtx(Y));
  ASSERT_EQ(0, k.Solve());
  C_MatMGe<double> R;
  ASSERT_EQ(0, k.GetRelativeError(Y1, Y2, R));
  ASSERT_EQ(1, R.rows);
  ASSERT_EQ(1, R.cols);
  /* |Y1| = 0.005 lies below 1e-4 of the range: the error 5e-4 over half the range plus it. */
  const double want = 5e-4 / (0.5 * std::sqrt(10001.0) + 0.005);
  EXPECT_NEAR(want, R.GetVal(0, 0), 1e-12 * want);
}

/* Relative errors per point and group, by hand: group ranges 100 and 5, thresholds 0.01 and
 * 5e-4. Row 0: (0.3, 0.4) on (3, 4) gives 0.1, 0.1 on 2 gives 0.05. Row 1: norms 0.005 and
 * 4e-4 are below the thresholds: 0.0025 / (50 + 0.005) and 2e-4 / (2.5 + 4e-4). */
template <class T>
void RelativeByHand(T unit) {
  Kriging<T> k;
  GroupedModel(k);
  const double y1[2][3] = {{3.0, 4.0, 2.0}, {0.003, -0.004, 0.0004}};
  const double e[2][3] = {{0.3, 0.4, 0.1}, {0.0015, 0.002, 0.0002}};
  C_MatMGe<T> Y1(2, 3), Y2(2, 3);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 3; ++j) {
      Y1.SetVal(i, j, y1[i][j] * unit);
      Y2.SetVal(i, j, (y1[i][j] + e[i][j]) * unit);
    }
  const double want[2][2] = {{0.1, 0.05}, {0.0025 / (50.0 + 0.005), 2e-4 / (2.5 + 4e-4)}};
  C_MatMGe<double> R;
  ASSERT_EQ(0, k.GetRelativeError(Y1, Y2, R));
  ASSERT_EQ(2, R.rows);
  ASSERT_EQ(2, R.cols);
  for (int i = 0; i < 2; ++i)
    for (int g = 0; g < 2; ++g) EXPECT_NEAR(want[i][g], R.GetVal(i, g), 1e-12 * want[i][g]);
  RVec r(0);
  ASSERT_EQ(0, k.GetRelativeError(Y1, Y2, r));
  ASSERT_EQ(2, r.Dim());
  EXPECT_NEAR(0.1, r[0], 1e-13);
  EXPECT_NEAR(0.05, r[1], 1e-13);
  double s = 0.0;
  ASSERT_EQ(0, k.GetRelativeError(Y1, Y2, s));
  EXPECT_NEAR(0.1, s, 1e-13);
  ASSERT_EQ(0, k.GetRelativeError(Y1, Y1, s));
  EXPECT_EQ(0.0, s);
}

TEST(KrigingErrors, RelativeErrorsByHand) {
  RelativeByHand<double>(1.0);
  RelativeByHand<cplx>(cplx(0.6, -0.8)); /* a unit factor: the same moduli */
}

/* R^2 of b against a: 1 for b = a; b = (2, 2, 2) has SSE 2 and SST 0, so R^2 has no value
 * and is refused (r2 stays 0); b = (1, 2, 4) has SSE 1, mean 2, SST 1 + 0 + 4 = 5, R^2 0.8
 * (the spread of b, not of a). */
TEST(KrigingErrors, R2ByHand) {
  Kriging<double> k; /* any state */
  RVec a(3), b(3);
  a[0] = 1.0;
  a[1] = 2.0;
  a[2] = 3.0;
  double r2 = -1.0;
  ASSERT_EQ(0, k.getR2(a, a, r2));
  EXPECT_EQ(1.0, r2);
  b[0] = b[1] = b[2] = 2.0;
  r2 = -1.0;
  EXPECT_EQ(1, k.getR2(a, b, r2));
  EXPECT_EQ(0.0, r2);
  RVec empty(0);
  r2 = -1.0;
  EXPECT_EQ(1, k.getR2(empty, empty, r2));
  EXPECT_EQ(0.0, r2);
  b[0] = 1.0;
  b[1] = 2.0;
  b[2] = 4.0;
  ASSERT_EQ(0, k.getR2(a, b, r2));
  EXPECT_NEAR(0.8, r2, 1e-15);
  RVec shortV(2);
  r2 = 5.0;
  EXPECT_EQ(1, k.getR2(a, shortV, r2));
  EXPECT_EQ(0.0, r2);

  /* Matrices: the smaller column value; no columns gives 1; shapes that differ give 1. */
  C_MatMGe<double> A = MakeMat<double>(3, 2, {1.0, 0.0, 2.0, 1.0, 3.0, 2.0});
  C_MatMGe<double> B = MakeMat<double>(3, 2, {1.0, 0.0, 2.0, 1.0, 4.0, 2.0});
  ASSERT_EQ(0, k.getR2(A, B, r2));
  EXPECT_NEAR(0.8, r2, 1e-15);
  ASSERT_EQ(0, k.getR2(A, A, r2));
  EXPECT_EQ(1.0, r2);
  C_MatMGe<double> none(3, 0);
  ASSERT_EQ(0, k.getR2(none, none, r2));
  EXPECT_EQ(1.0, r2);
  C_MatMGe<double> C(2, 2);
  r2 = 5.0;
  EXPECT_EQ(1, k.getR2(A, C, r2));
  EXPECT_EQ(0.0, r2);

  /* Complex: a = (1+i, 2, 3i), b = (1+i, 2+i, 3i): mean 1 + 4i/3, SSE 1, SST 1/9 + 10/9 +
   * (1 + 25/9) = 5, R^2 0.8. */
  Kriging<cplx> kc;
  CVec ca(3), cb(3);
  ca[0] = cb[0] = cplx(1, 1);
  ca[1] = cplx(2, 0);
  cb[1] = cplx(2, 1);
  ca[2] = cb[2] = cplx(0, 3);
  ASSERT_EQ(0, kc.getR2(ca, cb, r2));
  EXPECT_NEAR(0.8, r2, 1e-15);
}

namespace {

/* A smoothing model (drop tolerance 0.3: a large nugget, so that predictions at the samples
 * differ from the samples) of 8 samples of 2 inputs and two outputs in one group, with its
 * dense twin. */
struct SmoothingModel {
  KrigingProbe<double> k;
  RefKriging<double> ref;
  C_MatMGe<double> X, Y;
  double range = 0.0;
  SmoothingModel() {
    X = SampleInputs<double>(8, 2, 61u);
    Y = SmoothOutputs(X, 2);
    SmallModelSpec s;
    s.poly = PolyConstant;
    s.theta = {2.0};
    EXPECT_EQ(0, k.PutDropToler(0.3));
    EXPECT_EQ(0, SolveSmall(k, X, Y, s));
    ref.Fit(X, Y, CorrGaussian, PolyConstant, {2.0}, 0.3);
    double sum = 0.0;
    for (int j = 0; j < 2; ++j) {
      const double d = MagSpread(Y, j);
      sum += d * d;
    }
    range = std::sqrt(sum);
  }
  /* Group relative error of errors e against values v (two outputs). */
  double Rel(double e0, double e1, double v0, double v1) const {
    const double f = std::sqrt(e0 * e0 + e1 * e1), v = std::sqrt(v0 * v0 + v1 * v1);
    return RefRelErr(f, v, range, 0.3);
  }
};

}  // namespace

/* The measures of the model on its own samples: the largest relative error and R^2 of the
 * predictions at the samples, against the dense model's predictions; a model that cannot
 * evaluate gives 1 with r = 1 and r2 = 0. */
TEST(KrigingErrors, MeasuresOnTheSamples) {
  SmoothingModel sm;
  double wantRel = 0.0, wantR2 = 1.0;
  for (int j = 0; j < 2; ++j) {
    double mean = 0.0;
    for (int i = 0; i < 8; ++i) mean += sm.Y.GetVal(i, j);
    mean /= 8.0;
    double sse = 0.0, sst = 0.0;
    for (int i = 0; i < 8; ++i) {
      const double p = sm.ref.Predict(RowOf(sm.X, i), j);
      sse += (p - sm.Y.GetVal(i, j)) * (p - sm.Y.GetVal(i, j));
      sst += (p - mean) * (p - mean);
    }
    wantR2 = std::min(wantR2, 1.0 - sse / sst);
  }
  for (int i = 0; i < 8; ++i) {
    const std::vector<double> x = RowOf(sm.X, i);
    const double y0 = sm.Y.GetVal(i, 0), y1 = sm.Y.GetVal(i, 1);
    wantRel = std::max(wantRel, sm.Rel(sm.ref.Predict(x, 0) - y0, sm.ref.Predict(x, 1) - y1,
                                       y0, y1));
  }
  ASSERT_GT(wantRel, 1e-3); /* the smoothing shows */
  double r = 0.0, r2 = 0.0;
  ASSERT_EQ(0, sm.k.GetRelativeError(r));
  EXPECT_NEAR(wantRel, r, 1e-9 * wantRel);
  ASSERT_EQ(0, sm.k.getR2(r2));
  EXPECT_NEAR(wantR2, r2, 1e-9);
  EXPECT_LT(r2, 1.0);

  Kriging<double> fresh;
  r = 0.0;
  r2 = 5.0;
  EXPECT_EQ(1, fresh.GetRelativeError(r));
  EXPECT_EQ(1.0, r);
  EXPECT_EQ(1, fresh.getR2(r2));
  EXPECT_EQ(0.0, r2);
}

/* CheckError and CheckRelativeError at given points: the largest absolute and relative
 * errors of the predictions against the dense model; the largest relative predictor error
 * over the rows that are not samples (0 when all are samples); refusals leave the outputs. */
TEST(KrigingErrors, ChecksAtGivenPoints) {
  SmoothingModel sm;
  C_MatMGe<double> P = SampleInputs<double>(6, 2, 62u);
  for (int j = 0; j < 2; ++j) P.SetVal(2, j, sm.X.GetVal(5, j)); /* one sample among them */
  C_MatMGe<double> Yt = SmoothOutputs(P, 2);

  double wantAbs = 0.0, wantRel = 0.0, wantPred = 0.0;
  for (int i = 0; i < 6; ++i) {
    const std::vector<double> x = RowOf(P, i);
    const double p0 = sm.ref.Predict(x, 0), p1 = sm.ref.Predict(x, 1);
    const double y0 = Yt.GetVal(i, 0), y1 = Yt.GetVal(i, 1);
    wantAbs = std::max(wantAbs, std::max(std::fabs(p0 - y0), std::fabs(p1 - y1)));
    wantRel = std::max(wantRel, sm.Rel(p0 - y0, p1 - y1, y0, y1));
    if (i != 2)
      wantPred = std::max(wantPred, sm.Rel(sm.ref.PredErr(x, 0), sm.ref.PredErr(x, 1), p0, p1));
  }
  double err = -1.0, rel = -1.0, pred = -1.0;
  ASSERT_EQ(0, sm.k.CheckError(P, Yt, err));
  EXPECT_NEAR(wantAbs, err, 1e-9 * wantAbs);
  ASSERT_EQ(0, sm.k.CheckRelativeError(P, Yt, rel, pred));
  EXPECT_NEAR(wantRel, rel, 1e-9 * wantRel);
  EXPECT_NEAR(wantPred, pred, 1e-7 * wantPred);
  EXPECT_EQ(6, sm.k.GetTestRelativeErrorDim());

  C_MatMGe<double> S(2, 2), Ys(2, 2);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      S.SetVal(i, j, sm.X.GetVal(i, j));
      Ys.SetVal(i, j, sm.Y.GetVal(i, j));
    }
  ASSERT_EQ(0, sm.k.CheckRelativeError(S, Ys, rel, pred));
  EXPECT_EQ(0.0, pred);

  /* Refusals: n + 1 columns, rows that differ, q + 1 values, a model that is not solved. */
  C_MatMGe<double> wide(6, 3), Y5(5, 2), Yw(6, 3);
  err = rel = pred = 7.0;
  EXPECT_EQ(1, sm.k.CheckError(wide, Yt, err));
  EXPECT_EQ(1, sm.k.CheckError(P, Y5, err));
  EXPECT_EQ(1, sm.k.CheckError(P, Yw, err));
  EXPECT_EQ(1, sm.k.CheckRelativeError(wide, Yt, rel, pred));
  EXPECT_EQ(1, sm.k.CheckRelativeError(P, Y5, rel, pred));
  ASSERT_EQ(0, sm.k.PutDropToler(0.2)); /* state 1: the checks do not solve */
  EXPECT_EQ(1, sm.k.CheckError(P, Yt, err));
  EXPECT_EQ(1, sm.k.CheckRelativeError(P, Yt, rel, pred));
  EXPECT_EQ(KrigingSolveRequired, sm.k.GetKrigingStatus());
  EXPECT_EQ(7.0, err);
  EXPECT_EQ(7.0, rel);
  EXPECT_EQ(7.0, pred);
}

/* ---- a NaN among the values of a maximum ----------------------------------------------- */

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

/* Which of its measures a derived model spoils with a NaN. */
enum class Spoilt { None, Absolute, Relative, RelativeNorm, RelativePredictor };

/* A derived model whose chosen measure puts a NaN at (row, col) of the matrix it makes; the
 * other measures are the model's own. The reduced forms and the checks reach the measure
 * through the model's virtual operations, as they would a host's own measure. */
class NanMeasureKriging : public Kriging<double> {
 public:
  typedef Kriging<double> B;
  Spoilt spoilt = Spoilt::None;
  int row = 0, col = 0;

  using B::GetError;
  using B::GetRelativeError;
  int GetError(C_MatMGe<double>& Y1, C_MatMGe<double>& Y2, C_MatMGe<double>& E) override {
    return Spoil(Spoilt::Absolute, B::GetError(Y1, Y2, E), E);
  }
  int GetRelativeError(C_MatMGe<double>& Y1, C_MatMGe<double>& Y2,
                       C_MatMGe<double>& R) override {
    return Spoil(Spoilt::Relative, B::GetRelativeError(Y1, Y2, R), R);
  }
  int GetRelativePredictorErrorNorm(C_MatMGe<double>& Y, C_MatMGe<double>& Err,
                                    C_MatMGe<double>& R) override {
    return Spoil(Spoilt::RelativeNorm, B::GetRelativePredictorErrorNorm(Y, Err, R), R);
  }
  int GetRelativePredictorError(C_MatMGe<double>& Y, C_MatMGe<double>& Err,
                                C_MatMGe<double>& R) override {
    return Spoil(Spoilt::RelativePredictor, B::GetRelativePredictorError(Y, Err, R), R);
  }

 private:
  int Spoil(Spoilt which, int res, C_MatMGe<double>& M) {
    if (res == 0 && spoilt == which) {
      EXPECT_LT(row, M.rows);
      EXPECT_LT(col, M.cols);
      if (row < M.rows && col < M.cols) M.SetVal(row, col, kNaN);
    }
    return res;
  }
};

/* 8 samples of 2 inputs, 3 outputs each in a group of its own, constant trend, theta 2: the
 * relative error of a group is that of its one output. */
struct ThreeGroupModel {
  C_MatMGe<double> X = SampleInputs<double>(8, 2, 83u), Y = SmoothOutputs(X, 3);
  RefKriging<double> ref;
  void Solve(Kriging<double>& k) {
    SmallModelSpec s;
    s.groups = 3;
    s.poly = PolyConstant;
    s.theta = {2.0};
    ASSERT_EQ(0, SolveSmall(k, X, Y, s));
    ref.Fit(X, Y, CorrGaussian, PolyConstant, {2.0});
  }
};

/* The NaN first, in the middle and last of the values a maximum runs over: of the rows of a
 * column (0, 2 and 4 of 5), of the columns of a row and of the column maxima (0, 1 and 2 of
 * 3). Larger values stand after the first NaN, before the last and on both sides of the
 * middle one, so that neither a larger value before it nor one after it hides it. */
struct NanPlace {
  int row, col;
  const char* where;
};
const NanPlace kNanPlaces[] = {{0, 0, "first"}, {2, 1, "middle"}, {4, 2, "last"}};

}  // namespace

/* The largest absolute and relative errors per output and overall keep a NaN of the measure
 * they reduce, wherever it stands: its column's maximum and the overall one are NaN, the
 * other columns keep their largest value (by hand), and CheckError, CheckRelativeError and
 * the relative error on the samples report the NaN as their largest value. */
TEST(KrigingErrors, MaximaKeepANaNOfTheMeasure) {
  ThreeGroupModel tg;
  NanMeasureKriging k;
  ASSERT_NO_FATAL_FAILURE(tg.Solve(k));
  /* Values 1 .. 5 (above any threshold of these ranges) and differences whose largest
   * value in each column lies at row 1 or 3, around the rows the NaN takes. */
  C_MatMGe<double> Y1(5, 3), Y2(5, 3);
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 3; ++j) {
      Y1.SetVal(i, j, 1.0 + i + 0.25 * j);
      Y2.SetVal(i, j, Y1.GetVal(i, j) + 0.01 * (1 + j) * (i % 2 == 1 ? 10.0 + i : 1.0));
    }
  std::vector<double> wantAbs(3, 0.0), wantRel(3, 0.0);
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 5; ++i) {
      const double e = std::fabs(Y2.GetVal(i, j) - Y1.GetVal(i, j));
      wantAbs[j] = std::max(wantAbs[j], e);
      wantRel[j] = std::max(wantRel[j], e / Y1.GetVal(i, j));
    }
  C_MatMGe<double> P = SampleInputs<double>(5, 2, 84u), Yp = SmoothOutputs(P, 3);

  for (Spoilt which : {Spoilt::Absolute, Spoilt::Relative})
    for (const NanPlace& at : kNanPlaces) {
      const bool abs = which == Spoilt::Absolute;
      SCOPED_TRACE(std::string(abs ? "absolute" : "relative") + ", NaN " + at.where);
      k.spoilt = which;
      k.row = at.row;
      k.col = at.col;
      RVec v(0);
      double overall = 0.0;
      ASSERT_EQ(0, abs ? k.GetError(Y1, Y2, v) : k.GetRelativeError(Y1, Y2, v));
      ASSERT_EQ(3, v.Dim());
      for (int j = 0; j < 3; ++j) {
        if (j == at.col) {
          EXPECT_TRUE(std::isnan(v[j])) << j;
        } else {
          const double want = abs ? wantAbs[j] : wantRel[j];
          EXPECT_NEAR(want, v[j], 1e-14 * want) << j;
        }
      }
      ASSERT_EQ(0, abs ? k.GetError(Y1, Y2, overall) : k.GetRelativeError(Y1, Y2, overall));
      EXPECT_TRUE(std::isnan(overall));

      double check = 0.0, pred = -1.0;
      ASSERT_EQ(0, abs ? k.CheckError(P, Yp, check) : k.CheckRelativeError(P, Yp, check, pred));
      EXPECT_TRUE(std::isnan(check));
      if (!abs) {
        EXPECT_GT(pred, 0.0); /* the predictor errors are the model's own */
        double onSamples = 0.0;
        ASSERT_EQ(0, k.GetRelativeError(onSamples));
        EXPECT_TRUE(std::isnan(onSamples));
      }
    }

  /* Unspoilt, the same calls give numbers: the NaN above came from the measure alone. */
  k.spoilt = Spoilt::None;
  double overall = -1.0;
  ASSERT_EQ(0, k.GetError(Y1, Y2, overall));
  EXPECT_NEAR(*std::max_element(wantAbs.begin(), wantAbs.end()), overall, 1e-14);
  ASSERT_EQ(0, k.GetRelativeError(Y1, Y2, overall));
  EXPECT_NEAR(*std::max_element(wantRel.begin(), wantRel.end()), overall, 1e-14);
}

/* The largest relative predictor error of GetPredictorError at points keeps a NaN of the
 * relative measure wherever it stands; the largest absolute one stays the dense model's. A
 * NaN among the relative predictor errors of a refinement run leaves no point to name: the
 * run and CheckRelativeError are refused, with nothing named and the outputs untouched. */
TEST(KrigingErrors, PredictorErrorMaximaKeepANaN) {
  ThreeGroupModel tg;
  NanMeasureKriging k;
  ASSERT_NO_FATAL_FAILURE(tg.Solve(k));
  C_MatMGe<double> P = SampleInputs<double>(5, 2, 85u), Yp = SmoothOutputs(P, 3);
  double wantAbs = 0.0;
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 3; ++j) wantAbs = std::max(wantAbs, tg.ref.PredErr(RowOf(P, i), j));

  for (const NanPlace& at : kNanPlaces) {
    SCOPED_TRACE(std::string("NaN ") + at.where);
    k.row = at.row;
    k.col = at.col;
    k.spoilt = Spoilt::RelativePredictor;
    double a = -1.0, rel = -1.0;
    int count = -1;
    ASSERT_EQ(0, k.GetPredictorError(P, a, rel, count));
    EXPECT_NEAR(wantAbs, a, 1e-7 * wantAbs);
    EXPECT_TRUE(std::isnan(rel));
    EXPECT_EQ(8, count);

    k.spoilt = Spoilt::RelativeNorm;
    C_MatMGe<double> sentinel = MakeMat<double>(1, 1, {-7.0}), Xsel = sentinel, Ye;
    int n = 2;
    double maxErr = 5.0;
    EXPECT_EQ(1, k.EvalModel(P, Ye, n, Xsel, maxErr, false));
    EXPECT_EQ(2, n);
    EXPECT_EQ(5.0, maxErr);
    EXPECT_TRUE(SameMat(sentinel, Xsel));
    double relErr = 7.0, pred = 7.0;
    EXPECT_EQ(1, k.CheckRelativeError(P, Yp, relErr, pred));
    EXPECT_EQ(7.0, relErr);
    EXPECT_EQ(7.0, pred);
  }
}

/* A predictor error that is not a number (a process variance of NaN, written into the model,
 * for the first, a middle or the last output) is refused by the matrix form, the form at
 * points and a refinement run, with the outputs untouched; with the variance restored the
 * matrix form gives the dense model's errors. */
TEST(KrigingErrors, PredictorErrorsThatAreNotANumberAreRefused) {
  ThreeGroupModel tg;
  KrigingProbe<double> k;
  ASSERT_NO_FATAL_FAILURE(tg.Solve(k));
  C_MatMGe<double> P = SampleInputs<double>(4, 2, 86u);
  /* Correlations and trend rows of P by the textbook formulas. */
  C_MatMGe<double> R(4, 8), F(4, 1);
  for (int i = 0; i < 4; ++i) {
    const std::vector<double> r = tg.ref.Corr(RowOf(P, i));
    for (int j = 0; j < 8; ++j) R.SetVal(i, j, r[j]);
    F.SetVal(i, 0, 1.0);
  }
  for (int out : {0, 1, 2}) {
    SCOPED_TRACE(out);
    const double kept = k.ProcVarnc[out];
    k.ProcVarnc[out] = kNaN;
    kvtest::KrigingLines lines;
    C_MatMGe<double> sentinel = MakeMat<double>(1, 1, {-7.0}), E = sentinel, Ye, Xsel = sentinel;
    EXPECT_EQ(1, k.GetPredictorError(R, F, E));
    EXPECT_TRUE(SameMat(sentinel, E));
    double a = -1.0, rel = -1.0;
    int count = -1;
    EXPECT_EQ(1, k.GetPredictorError(P, a, rel, count));
    EXPECT_EQ(-1.0, a);
    EXPECT_EQ(-1.0, rel);
    EXPECT_EQ(-1, count);
    int n = 2;
    double maxErr = 5.0;
    EXPECT_EQ(1, k.EvalModel(P, Ye, n, Xsel, maxErr, false));
    EXPECT_EQ(2, n);
    EXPECT_EQ(5.0, maxErr);
    EXPECT_TRUE(SameMat(sentinel, Xsel));
    EXPECT_EQ(std::vector<std::string>(3, "Kriging: a prediction or predictor error is not finite"),
              lines.Refusals());
    k.ProcVarnc[out] = kept;
  }
  C_MatMGe<double> E;
  ASSERT_EQ(0, k.GetPredictorError(R, F, E));
  ASSERT_EQ(4, E.rows);
  ASSERT_EQ(3, E.cols);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 3; ++j) {
      const double want = tg.ref.PredErr(RowOf(P, i), j);
      EXPECT_NEAR(want, E.GetVal(i, j), 1e-7 * want) << i << ", " << j;
    }
}
