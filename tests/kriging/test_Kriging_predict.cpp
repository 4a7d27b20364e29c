/* test_Kriging_predict.cpp: prediction and predictor errors: agreement with an independent
 * dense Kriging model for every correlation, trend and scaling type, interpolation of the
 * samples, errors that vanish there and grow away from them, the test-input caches across
 * appended samples, the shape checks, the at-points error summary and the refit that an
 * error request makes on a model without factors of its own. */
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "kriging_fixtures.h"
#include "msgcapture.h"

namespace {

/* Two smooth outputs of two inputs. */
template <class T>
C_MatMGe<T> Outputs(C_MatMGe<T>& X) {
  C_MatMGe<T> Y(X.rows, 2);
  for (int i = 0; i < X.rows; ++i) {
    const T a = X.GetVal(i, 0), b = X.GetVal(i, 1);
    Y.SetVal(i, 0, std::sin(3.0 * a) + b * b);
    Y.SetVal(i, 1, a * b - 0.3);
  }
  return Y;
}

C_MatMGe<cplx> ComplexPoints(int rows, int cols, unsigned seed) {
  C_MatMGe<double> re = RandomMat(rows, cols, seed), im = RandomMat(rows, cols, seed + 1000u);
  C_MatMGe<cplx> c(rows, cols);
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) c.SetVal(i, j, cplx(re.GetVal(i, j), 0.5 * im.GetVal(i, j)));
  return c;
}

template <class T>
C_MatMGe<T> Points(int rows, int cols, unsigned seed);
template <>
C_MatMGe<double> Points<double>(int rows, int cols, unsigned seed) {
  return RandomMat(rows, cols, seed);
}
template <>
C_MatMGe<cplx> Points<cplx>(int rows, int cols, unsigned seed) {
  return ComplexPoints(rows, cols, seed);
}

/* A model with samples, a fixed kernel and the given types; not yet solved. */
template <class T>
void Prepare(Kriging<T>& k, C_MatMGe<T>& X, C_MatMGe<T>& Y, int corr, int trend,
           double theta, int scaling = 0) {
  ASSERT_EQ(0, k.PutNumSol(Y.cols, Y.cols, nullptr));
  ASSERT_EQ(0, k.PutNumVar(X.cols));
  ASSERT_EQ(0, k.PutCorrFuncType(static_cast<E_CorrFuncType>(corr)));
  ASSERT_EQ(0, k.PutPolynomType(static_cast<E_KrigingPolynomType>(trend)));
  ASSERT_EQ(0, k.PutScalingType(static_cast<E_KrigingScalingType>(scaling)));
  ASSERT_EQ(0, k.PutInpSampMtx(X));
  ASSERT_EQ(0, k.PutOutSampMtx(Y));
  RVec t(1, theta);
  ASSERT_EQ(0, k.PutKernVec(t));
}

/* Predictions and predictor errors of the model at P (errors through the kept matrix). */
template <class T>
void Evaluate(KrigingProbe<T>& k, C_MatMGe<T>& P, C_MatMGe<T>& Y, C_MatMGe<double>& E) {
  k.KeepPredErr = true;
  ASSERT_EQ(0, k.EvalModel(P, Y));
  k.KeepPredErr = false;
  E = k.PredErrMtx;
}

/* Column-wise scaled copy, (x - mean) / sample standard deviation, as the model scales. */
C_MatMGe<double> Standardise(C_MatMGe<double>& X, C_MatMGe<double>& by) {
  C_MatMGe<double> S(X.rows, X.cols);
  for (int j = 0; j < X.cols; ++j) {
    double mu = 0.0, ss = 0.0;
    for (int i = 0; i < by.rows; ++i) mu += by.GetVal(i, j);
    mu /= by.rows;
    for (int i = 0; i < by.rows; ++i) ss += std::pow(by.GetVal(i, j) - mu, 2);
    const double sd = std::sqrt(ss / (by.rows - 1));
    for (int i = 0; i < X.rows; ++i) S.SetVal(i, j, (X.GetVal(i, j) - mu) / sd);
  }
  return S;
}

template <class T>
void CheckAgainstReference(int corr, int trend, unsigned seed) {
  const int m = 12, N = 9;
  C_MatMGe<T> X = Points<T>(m, 2, seed), Y = Outputs(X), P = Points<T>(N, 2, seed + 7u);
  const double theta = (corr == 2) ? 3.0 : 1.2;
  KrigingProbe<T> k;
  Prepare(k, X, Y, corr, trend, theta);
  ASSERT_EQ(0, k.Solve());
  ASSERT_EQ(trend, k.GetPolynomType());

  RefKriging<T> ref;
  ref.Fit(X, Y, corr, trend, {theta});
  C_MatMGe<T> Yp;
  C_MatMGe<double> E;
  Evaluate(k, P, Yp, E);
  ASSERT_EQ(N, Yp.rows);
  ASSERT_EQ(2, Yp.cols);
  ASSERT_EQ(N, E.rows);
  ASSERT_EQ(2, E.cols);
  for (int i = 0; i < N; ++i) {
    const std::vector<T> x = RowOf(P, i);
    for (int out = 0; out < 2; ++out) {
      const T want = ref.Predict(x, out);
      EXPECT_NEAR(0.0, std::abs(want - Yp.GetVal(i, out)), 1e-9 * (1.0 + std::abs(want)))
          << "corr " << corr << " trend " << trend << " point " << i << " output " << out;
      const double e = ref.PredErr(x, out);
      EXPECT_NEAR(e, E.GetVal(i, out), 1e-7 * e + 1e-9) /* outputs of order 1 */
          << "corr " << corr << " trend " << trend << " point " << i << " output " << out;
    }
  }
}

TEST(KrigingPredict, AgreesWithIndependentModelForEveryCorrelationAndTrend) {
  unsigned seed = 101u;
  for (int corr : {1, 2, 3, 7})
    for (int trend : {0, 1, 2, 3, 4}) CheckAgainstReference<double>(corr, trend, seed++);
}

TEST(KrigingPredict, ComplexAgreesWithIndependentModel) {
  unsigned seed = 201u;
  for (int corr : {1, 2})
    for (int trend : {0, 1, 2, 4}) CheckAgainstReference<cplx>(corr, trend, seed++);
}

/* Samples at 0, 1, 2, 3 on a line: predictions reproduce the samples up to the
 * regularisation, the predictor error is near 0 at a sample, larger between samples, and
 * grows steadily away from the last sample. */
TEST(KrigingPredict, InterpolatesAndErrorsGrowAwayFromTheSamples) {
  C_MatMGe<double> X = MakeMat<double>(4, 1, {0.0, 1.0, 2.0, 3.0});
  C_MatMGe<double> Y = MakeMat<double>(4, 1, {1.0, -0.5, 2.0, 0.5});
  KrigingProbe<double> k;
  Prepare(k, X, Y, CorrGaussian, PolyConstant, 0.8);
  ASSERT_EQ(0, k.Solve());
  double s2 = 0.0;
  ASSERT_EQ(0, k.GetProcVarnc(s2, 0));

  C_MatMGe<double> Yp;
  C_MatMGe<double> E;
  Evaluate(k, X, Yp, E);
  for (int i = 0; i < 4; ++i) {
    /* The regularised diagonal 1 + 2e-8 moves the fit by that order, no more. */
    EXPECT_NEAR(Y.GetVal(i, 0), Yp.GetVal(i, 0), 1e-7) << i;
    EXPECT_LT(E.GetVal(i, 0), 1e-3 * std::sqrt(s2)) << i;
  }

  C_MatMGe<double> P = MakeMat<double>(7, 1, {1.5, 3.0, 3.25, 3.5, 4.0, 5.0, 8.0});
  Evaluate(k, P, Yp, E);
  EXPECT_GT(E.GetVal(0, 0), 100.0 * E.GetVal(1, 0)); /* between samples vs at a sample */
  for (int i = 2; i < 7; ++i) EXPECT_GT(E.GetVal(i, 0), E.GetVal(i - 1, 0)) << i;
  /* Far from every sample the correlations vanish: sigma^2 (1 + u^2/(F^T K^-1 F)) with
   * u = -1, i.e. the error of the process plus that of the estimated mean. */
  RefKriging<double> ref;
  ref.Fit(X, Y, CorrGaussian, PolyConstant, {0.8});
  const double far = std::sqrt(s2 * (1.0 + ref.Minv[0][0]));
  EXPECT_NEAR(far, E.GetVal(6, 0), 1e-9 * far);
}

/* Input scaling works in standardised coordinates (the kernel applies to them); output
 * scaling is linear and leaves predictions and errors in the caller's units. */
TEST(KrigingPredict, EveryScalingTypeAgreesWithTheReference) {
  const int m = 11, N = 6;
  C_MatMGe<double> X = RandomMat(m, 2, 301u, -2.0, 5.0), P = RandomMat(N, 2, 302u, -2.0, 5.0);
  C_MatMGe<double> Y = Outputs(X);
  for (int i = 0; i < m; ++i) Y.SetVal(i, 1, 40.0 * Y.GetVal(i, 1));
  for (int scaling = 0; scaling <= 3; ++scaling) {
    const bool inputs = (scaling == 1 || scaling == 3);
    const double theta = inputs ? 0.7 : 0.25;
    KrigingProbe<double> k;
    Prepare(k, X, Y, CorrGaussian, PolyLinear, theta, scaling);
    ASSERT_EQ(0, k.Solve()) << scaling;

    C_MatMGe<double> Xr = inputs ? Standardise(X, X) : X, Pr = inputs ? Standardise(P, X) : P;
    RefKriging<double> ref;
    ref.Fit(Xr, Y, CorrGaussian, PolyLinear, {theta});
    C_MatMGe<double> Yp, E;
    Evaluate(k, P, Yp, E);
    for (int i = 0; i < N; ++i)
      for (int out = 0; out < 2; ++out) {
        const double want = ref.Predict(RowOf(Pr, i), out);
        EXPECT_NEAR(want, Yp.GetVal(i, out), 1e-9 * (1.0 + std::fabs(want)))
            << "scaling " << scaling << " point " << i << " output " << out;
        const double e = ref.PredErr(RowOf(Pr, i), out);
        EXPECT_NEAR(e, E.GetVal(i, out), 1e-7 * (1.0 + e))
            << "scaling " << scaling << " point " << i << " output " << out;
      }
  }
}

/* Without trend the error of output j is sqrt(|sigma_j^2 (1 - r^T K^-1 r)|): two outputs
 * differ exactly by the ratio of their process deviations. */
TEST(KrigingPredict, WithoutTrendErrorsFollowEachOutputsVariance) {
  C_MatMGe<double> X = RandomMat(9, 2, 401u), Y = Outputs(X), P = RandomMat(5, 2, 402u);
  KrigingProbe<double> k;
  Prepare(k, X, Y, CorrGaussian, PolyNone, 2.0);
  ASSERT_EQ(0, k.Solve());
  double s0 = 0.0, s1 = 0.0;
  ASSERT_EQ(0, k.GetProcVarnc(s0, 0));
  ASSERT_EQ(0, k.GetProcVarnc(s1, 1));
  ASSERT_NE(s0, s1);
  C_MatMGe<double> Yp, E;
  Evaluate(k, P, Yp, E);
  RefKriging<double> ref;
  ref.Fit(X, Y, CorrGaussian, PolyNone, {2.0});
  for (int i = 0; i < 5; ++i) {
    EXPECT_NEAR(std::sqrt(s0 / s1), E.GetVal(i, 0) / E.GetVal(i, 1), 1e-12) << i;
    const std::vector<double> r = ref.Corr(RowOf(P, i));
    double s = 0.0;
    for (int a = 0; a < 9; ++a)
      for (int b = 0; b < 9; ++b) s += r[a] * ref.Kinv[a][b] * r[b];
    EXPECT_NEAR(std::sqrt(std::fabs(s0 * (1.0 - s))), E.GetVal(i, 0), 1e-8 * std::sqrt(s0)) << i;
  }
}

/* A model solved with a trend and then without: the old trend factor plays no part. */
TEST(KrigingPredict, TrendDroppedByALaterFitIsNotUsed) {
  C_MatMGe<double> X = RandomMat(10, 2, 411u), Y = Outputs(X), P = RandomMat(4, 2, 412u);
  KrigingProbe<double> k;
  Prepare(k, X, Y, CorrGaussian, PolyLinear, 2.0);
  ASSERT_EQ(0, k.Solve());
  ASSERT_EQ(0, k.PutPolynomType(PolyNone));
  C_MatMGe<double> Yp, E;
  Evaluate(k, P, Yp, E); /* solves first: state 1 after the setter */
  EXPECT_TRUE(k.FtReady);
  EXPECT_EQ(3, k.TrendFactor.rows);
  RefKriging<double> ref;
  ref.Fit(X, Y, CorrGaussian, PolyNone, {2.0});
  for (int i = 0; i < 4; ++i)
    for (int out = 0; out < 2; ++out) {
      EXPECT_NEAR(ref.Predict(RowOf(P, i), out), Yp.GetVal(i, out), 1e-9);
      EXPECT_NEAR(ref.PredErr(RowOf(P, i), out), E.GetVal(i, out), 1e-8);
    }
}

TEST(KrigingPredict, ComplexInstanceMatchesRealOnRealData) {
  C_MatMGe<double> X = RandomMat(10, 2, 421u), Y = Outputs(X), P = RandomMat(6, 2, 422u);
  C_MatMGe<cplx> Xc = ToComplex(X), Yc = ToComplex(Y), Pc = ToComplex(P);
  KrigingProbe<double> kr;
  KrigingProbe<cplx> kc;
  Prepare(kr, X, Y, CorrGaussian, PolyQuadratic, 2.5);
  Prepare(kc, Xc, Yc, CorrGaussian, PolyQuadratic, 2.5);
  C_MatMGe<double> Yr, Er, Ec;
  C_MatMGe<cplx> Ycp;
  Evaluate(kr, P, Yr, Er);
  Evaluate(kc, Pc, Ycp, Ec);
  for (int i = 0; i < 6; ++i)
    for (int out = 0; out < 2; ++out) {
      EXPECT_NEAR(Yr.GetVal(i, out), Ycp.GetVal(i, out).real(), 1e-10);
      EXPECT_NEAR(0.0, Ycp.GetVal(i, out).imag(), 1e-10);
      EXPECT_NEAR(Er.GetVal(i, out), Ec.GetVal(i, out), 1e-9);
    }
}

/* ---- test-input caches ----------------------------------------------------------------- */

struct CacheCase {
  C_MatMGe<double> X, Y, Xnew, Ynew, Tm;
};

CacheCase MakeCacheCase() {
  CacheCase c;
  c.X = RandomMat(10, 2, 501u);
  c.Y = Outputs(c.X);
  c.Xnew = RandomMat(3, 2, 502u);
  c.Ynew = Outputs(c.Xnew);
  c.Tm = RandomMat(15, 2, 503u);
  return c;
}

void ExpectSameMatrix(C_MatMGe<double>& a, C_MatMGe<double>& b, double tol) {
  ASSERT_EQ(a.rows, b.rows);
  ASSERT_EQ(a.cols, b.cols);
  for (int i = 0; i < a.rows; ++i)
    for (int j = 0; j < a.cols; ++j)
      EXPECT_NEAR(a.GetVal(i, j), b.GetVal(i, j), tol * (1.0 + std::fabs(a.GetVal(i, j))))
          << i << "," << j;
}

/* The model of the cache case (linear trend, Gaussian kernel theta), solved, with the test
 * inputs stored and not yet evaluated. */
void SolveWithTestInputs(KrigingProbe<double>& k, CacheCase& c, double theta = 2.0,
                         int scaling = 0) {
  Prepare(k, c.X, c.Y, CorrGaussian, PolyLinear, theta, scaling);
  ASSERT_EQ(0, k.Solve());
  k.SetTestInputs(c.Tm);
}

/* Y := predictions at the stored test inputs, without refinement points. */
int EvalTestInputs(Kriging<double>& k, C_MatMGe<double>& Y) {
  C_MatMGe<double> unused(0, 0), sel(0, 0);
  int none = 0;
  double maxErr = 0.0;
  return k.EvalModel(unused, Y, none, sel, maxErr, true);
}

TEST(KrigingPredict, TestInputsGiveTheSameResultsAsFreshEvaluation) {
  CacheCase c = MakeCacheCase();
  KrigingProbe<double> k;
  ASSERT_NO_FATAL_FAILURE(SolveWithTestInputs(k, c));

  C_MatMGe<double> unused(0, 0), sel(0, 0), Yt, Yf, Et, Ef;
  int kk = 0;
  double maxErr = -1.0;
  k.KeepPredErr = true;
  ASSERT_EQ(0, k.EvalModel(unused, Yt, kk, sel, maxErr, true));
  Et = k.PredErrMtx;
  EXPECT_FALSE(k.CorrStale);
  EXPECT_FALSE(k.TrendStale);
  EXPECT_EQ(15, k.TestCorrMtx.rows);
  EXPECT_EQ(10, k.TestCorrMtx.cols);
  EXPECT_EQ(3, k.TestTrendMtx.cols);
  ASSERT_EQ(0, k.EvalModel(c.Tm, Yf));
  Ef = k.PredErrMtx;
  k.KeepPredErr = false;
  ExpectSameMatrix(Yf, Yt, 1e-14);
  ExpectSameMatrix(Ef, Et, 1e-14);
  EXPECT_EQ(-1.0, maxErr);
  EXPECT_EQ(0, kk);

  /* The cached correlations really come from the samples. */
  for (int i = 0; i < 15; ++i)
    for (int j = 0; j < 10; ++j)
      EXPECT_NEAR(RefCorr(2, RowDist2(c.Tm, i, c.X, j), {2.0}), k.TestCorrMtx.GetVal(i, j), 1e-15);
}

/* A second evaluation of the same test inputs reads the caches and evaluates neither a
 * correlation nor a trend row: with the caches overwritten by marks, the prediction is
 * exactly what the marks give. */
TEST(KrigingPredict, RepeatedTestEvaluationReadsTheCaches) {
  CacheCase c = MakeCacheCase();
  KrigingProbe<double> k;
  ASSERT_NO_FATAL_FAILURE(SolveWithTestInputs(k, c));
  C_MatMGe<double> Y1, Y2;
  ASSERT_EQ(0, EvalTestInputs(k, Y1));
  ASSERT_EQ(0, EvalTestInputs(k, Y2));
  ExpectSameMatrix(Y1, Y2, 0.0);

  for (int i = 0; i < 15; ++i) {
    for (int j = 0; j < 10; ++j) k.TestCorrMtx.SetVal(i, j, 0.5);
    for (int j = 0; j < 3; ++j) k.TestTrendMtx.SetVal(i, j, 2.0);
  }
  ASSERT_EQ(0, EvalTestInputs(k, Y2));
  for (int out = 0; out < 2; ++out) {
    double want = 0.0;
    for (int j = 0; j < 10; ++j) want += 0.5 * k.CorrCoeff.GetVal(j, out);
    for (int t = 0; t < 3; ++t) want += 2.0 * k.PolyCoeff.GetVal(t, out);
    for (int i = 0; i < 15; ++i) EXPECT_NEAR(want, Y2.GetVal(i, out), 1e-13) << i;
  }
}

/* After samples are appended and the model is solved again with the same kernel and
 * scaling, a test evaluation computes only the correlations with the new samples (the
 * marked old columns stay) and, without marks, predicts exactly as a fresh evaluation. */
TEST(KrigingPredict, AppendedSamplesExtendTheCorrelationCache) {
  CacheCase c = MakeCacheCase();
  for (bool marked : {false, true}) {
    KrigingProbe<double> k;
    ASSERT_NO_FATAL_FAILURE(SolveWithTestInputs(k, c));
    C_MatMGe<double> Yt, Yf;
    ASSERT_EQ(0, EvalTestInputs(k, Yt));
    if (marked)
      for (int i = 0; i < 15; ++i)
        for (int j = 0; j < 10; ++j) k.TestCorrMtx.SetVal(i, j, -7.0);

    ASSERT_EQ(0, k.AppendSampData(c.Xnew, c.Ynew));
    ASSERT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
    k.KeepPredErr = true;
    ASSERT_EQ(0, EvalTestInputs(k, Yt)); /* solves first */
    C_MatMGe<double> Et = k.PredErrMtx;
    ASSERT_EQ(KrigingSolved, k.GetKrigingStatus());
    ASSERT_EQ(13, k.TestCorrMtx.cols);
    for (int i = 0; i < 15; ++i) {
      for (int j = 0; j < 10 && marked; ++j) EXPECT_EQ(-7.0, k.TestCorrMtx.GetVal(i, j));
      for (int j = 0; j < 3; ++j)
        EXPECT_NEAR(RefCorr(2, RowDist2(c.Tm, i, c.Xnew, j), {2.0}),
                    k.TestCorrMtx.GetVal(i, 10 + j), 1e-15);
    }
    if (!marked) {
      ASSERT_EQ(0, k.EvalModel(c.Tm, Yf));
      C_MatMGe<double> Ef = k.PredErrMtx;
      ExpectSameMatrix(Yf, Yt, 1e-14);
      ExpectSameMatrix(Ef, Et, 1e-14);
      /* And both agree with a model fitted from scratch on all 13 samples. */
      C_MatMGe<double> Xall, Yall;
      ASSERT_EQ(0, k.GetInpSampMtx(Xall));
      ASSERT_EQ(0, k.GetOutSampMtx(Yall));
      RefKriging<double> ref;
      ref.Fit(Xall, Yall, CorrGaussian, PolyLinear, {2.0});
      for (int i = 0; i < 15; ++i)
        EXPECT_NEAR(ref.Predict(RowOf(c.Tm, i), 0), Yt.GetVal(i, 0), 1e-9) << i;
    }
    k.KeepPredErr = false;
  }
}

/* With input scaling the solve after an append recomputes the scale vectors; the caches are
 * then stale and refilled, so the test evaluation still equals a fresh one. The same goes
 * for a new kernel and a new trend type. */
TEST(KrigingPredict, StaleCachesAreRefilled) {
  CacheCase c = MakeCacheCase();
  KrigingProbe<double> k;
  ASSERT_NO_FATAL_FAILURE(SolveWithTestInputs(k, c, 0.9, ScaleInputs));
  C_MatMGe<double> Yt, Yf;
  ASSERT_EQ(0, EvalTestInputs(k, Yt));

  ASSERT_EQ(0, k.AppendSampData(c.Xnew, c.Ynew));
  ASSERT_EQ(0, EvalTestInputs(k, Yt));
  ASSERT_EQ(0, k.EvalModel(c.Tm, Yf));
  ExpectSameMatrix(Yf, Yt, 1e-14);

  RVec t(1, 1.7);
  ASSERT_EQ(0, k.PutKernVec(t));
  ASSERT_EQ(0, EvalTestInputs(k, Yt));
  ASSERT_EQ(0, k.EvalModel(c.Tm, Yf));
  ExpectSameMatrix(Yf, Yt, 1e-14);

  ASSERT_EQ(0, k.PutPolynomType(PolyQuadratic));
  ASSERT_EQ(0, EvalTestInputs(k, Yt));
  EXPECT_EQ(6, k.TestTrendMtx.cols);
  ASSERT_EQ(0, k.EvalModel(c.Tm, Yf));
  ExpectSameMatrix(Yf, Yt, 1e-14);
}

/* A kernel search that fails after moving the kernel (samples appended, outputs that no trial
 * can fit) puts the kernel back and leaves the correlation cache stale: once the outputs are
 * mended and the model is built at that kernel, the test evaluation still equals a fresh one. */
TEST(KrigingPredict, FailedSearchLeavesTheCorrelationCacheStale) {
  CacheCase c = MakeCacheCase();
  KrigingProbe<double> k;
  /* A kernel far above the box the search centres on the data: the search clips it. */
  ASSERT_NO_FATAL_FAILURE(SolveWithTestInputs(k, c, 1e4));
  C_MatMGe<double> Yt, Yf;
  ASSERT_EQ(0, EvalTestInputs(k, Yt));
  ASSERT_FALSE(k.CorrStale);
  const double before = k.KernVec[0];

  ASSERT_EQ(0, k.AppendSampData(c.Xnew, c.Ynew));
  /* Outputs that vary at a magnitude of 1e-300 have a variance no double holds: no kernel of
   * the search can be fitted. */
  C_MatMGe<double> Yall, tiny;
  ASSERT_EQ(0, k.GetOutSampMtx(Yall));
  tiny = Yall;
  for (int i = 0; i < tiny.rows; ++i)
    for (int out = 0; out < tiny.cols; ++out) tiny.SetVal(i, out, 1e-300 * Yall.GetVal(i, out));
  ASSERT_EQ(0, k.PutOutSampMtx(tiny));
  ASSERT_EQ(0, k.PutKrigingKernOptType(KernOptLikelihood));
  ASSERT_EQ(1, k.Solve());
  ASSERT_EQ(before, k.KernVec[0]); /* the failed solve put the kernel back */
  ASSERT_TRUE(k.CorrStale);

  ASSERT_EQ(0, k.PutOutSampMtx(Yall));
  ASSERT_EQ(0, k.PutKrigingKernOptType(KernOptNone));
  ASSERT_EQ(0, EvalTestInputs(k, Yt)); /* builds at that kernel */
  ASSERT_EQ(0, k.EvalModel(c.Tm, Yf));
  ExpectSameMatrix(Yf, Yt, 1e-14);
}

/* A test evaluation that fails half-way (a correlation type no longer known, as a model read
 * from elsewhere may carry) leaves the cache marked stale, so that it is refilled rather
 * than trusted once the model is mended. */
TEST(KrigingPredict, FailedTestEvaluationLeavesTheCacheStale) {
  CacheCase c = MakeCacheCase();
  KrigingProbe<double> k;
  ASSERT_NO_FATAL_FAILURE(SolveWithTestInputs(k, c));
  C_MatMGe<double> Yt, Yf;
  k.CorrFuncType = static_cast<E_CorrFuncType>(5);
  EXPECT_EQ(1, EvalTestInputs(k, Yt));
  EXPECT_TRUE(k.CorrStale);
  k.CorrFuncType = CorrGaussian;
  ASSERT_EQ(0, EvalTestInputs(k, Yt));
  ASSERT_EQ(0, k.EvalModel(c.Tm, Yf));
  ExpectSameMatrix(Yf, Yt, 1e-14);
}

/* Fitted members that do not belong together (as a damaged model file could leave them)
 * are refused, not read past. */
TEST(KrigingPredict, InconsistentFittedMembersAreRefused) {
  C_MatMGe<double> X = RandomMat(8, 2, 631u), Y = Outputs(X), P = RandomMat(3, 2, 632u), Yp;
  {
    KrigingProbe<double> k;
    Prepare(k, X, Y, CorrGaussian, PolyLinear, 2.0);
    ASSERT_EQ(0, k.Solve());
    k.CorrCoeff.ResizeKeep(7, 2);
    EXPECT_EQ(1, k.EvalModel(P, Yp));
  }
  {
    KrigingProbe<double> k;
    Prepare(k, X, Y, CorrGaussian, PolyLinear, 2.0);
    ASSERT_EQ(0, k.Solve());
    k.ProcVarnc.Resize(1);
    double maxAbs = -1.0, maxRel = -1.0;
    int count = -1;
    EXPECT_EQ(1, k.GetPredictorError(P, maxAbs, maxRel, count));
    EXPECT_EQ(-1.0, maxAbs);
  }
  {
    /* A singular trend factor gives no error estimate instead of an infinite one. */
    KrigingProbe<double> k;
    Prepare(k, X, Y, CorrGaussian, PolyLinear, 2.0);
    ASSERT_EQ(0, k.Solve());
    k.TrendFactor(1, 1) = 0.0;
    double maxAbs = -1.0, maxRel = -1.0;
    int count = -1;
    EXPECT_EQ(1, k.GetPredictorError(P, maxAbs, maxRel, count));
    EXPECT_EQ(0, k.EvalModel(P, Yp)); /* predictions do not need the factor */
  }
}

/* ---- readiness, refusals, shapes -------------------------------------------------------- */

TEST(KrigingPredict, ReadinessAndRefusals) {
  C_MatMGe<double> X = RandomMat(8, 2, 601u), Y = Outputs(X), P = RandomMat(3, 2, 602u);
  C_MatMGe<double> Yp = MakeMat<double>(1, 1, {42.0});
  {
    KrigingProbe<double> k;
    EXPECT_EQ(1, k.EvalModel(P, Yp)); /* state 0 */
    EXPECT_EQ(1, Yp.rows);
    EXPECT_EQ(42.0, Yp.GetVal(0, 0));
    ASSERT_EQ(0, k.PutNumSol(2, 2, nullptr));
    ASSERT_EQ(0, k.PutInpSampMtx(X));
    EXPECT_EQ(1, k.EvalModel(P, Yp)); /* outputs missing: state 3 */
    EXPECT_EQ(KrigingDataIncomplete, k.GetKrigingStatus());
  }
  KrigingProbe<double> k;
  Prepare(k, X, Y, CorrGaussian, PolyLinear, 2.0);
  ASSERT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
  ASSERT_EQ(0, k.EvalModel(P, Yp)); /* the first evaluation solves */
  EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
  EXPECT_EQ(3, Yp.rows);

  C_MatMGe<double> wide = RandomMat(3, 3, 603u), none(0, 2), sel = MakeMat<double>(1, 1, {5.0});
  Yp = MakeMat<double>(1, 1, {42.0});
  EXPECT_EQ(1, k.EvalModel(wide, Yp));
  EXPECT_EQ(42.0, Yp.GetVal(0, 0));
  int kk = 0;
  double maxErr = 9.0;
  EXPECT_EQ(1, k.EvalModel(P, Yp, kk, sel, maxErr, true)); /* no test inputs */
  EXPECT_EQ(42.0, Yp.GetVal(0, 0));
  EXPECT_EQ(1, k.EvalModel(none, Yp)); /* no points */

  /* k <= 0 without kept errors: no predictor error, k, Xsel and maxErr untouched. */
  k.PredErrMtx = MakeMat<double>(1, 1, {-3.0});
  kk = -2;
  ASSERT_EQ(0, k.EvalModel(P, Yp, kk, sel, maxErr, false));
  EXPECT_EQ(-2, kk);
  EXPECT_EQ(9.0, maxErr);
  EXPECT_EQ(5.0, sel.GetVal(0, 0));
  EXPECT_EQ(1, k.PredErrMtx.rows);
  EXPECT_EQ(-3.0, k.PredErrMtx.GetVal(0, 0));
}

TEST(KrigingPredict, OneMatrixForPointsAndPredictions) {
  C_MatMGe<double> X = RandomMat(8, 2, 611u), Y = Outputs(X), P = RandomMat(4, 2, 612u);
  KrigingProbe<double> k;
  Prepare(k, X, Y, CorrGaussian, PolyLinear, 2.0);
  C_MatMGe<double> Yp, both = P;
  ASSERT_EQ(0, k.EvalModel(P, Yp));
  ASSERT_EQ(0, k.EvalModel(both, both));
  ExpectSameMatrix(Yp, both, 0.0);
}

/* Predictions written over the points through another object that shares their storage (a
 * Lnk() view, a view over the same array, a view one row down in a shared array): the same
 * predictions, kept errors and refinement points as into a matrix of their own, with and
 * without input scaling. */
template <class T>
void PredictionsOverSharedStorage() {
  C_MatMGe<T> X = Points<T>(8, 2, 631u), Y = Outputs(X);
  const int N = 4;
  C_MatMGe<T> P0 = Points<T>(N, 2, 632u);
  struct Alias {
    const char* name;
    /* Points equal to P0 in buf, and the view of Y over their storage. */
    std::function<void(C_MatMGe<T>& buf, std::unique_ptr<C_MatMGe<T>>& P,
                       std::unique_ptr<C_MatMGe<T>>& Yv)>
        make;
  };
  const std::vector<Alias> aliases = {
      {"Lnk view",
       [&](C_MatMGe<T>& buf, std::unique_ptr<C_MatMGe<T>>& P, std::unique_ptr<C_MatMGe<T>>& Yv) {
         buf = P0;
         P.reset(new C_MatMGe<T>(N, 2, buf.Adr(), N));
         Yv.reset(static_cast<C_MatMGe<T>*>(P->Lnk()));
       }},
      {"view over the same array",
       [&](C_MatMGe<T>& buf, std::unique_ptr<C_MatMGe<T>>& P, std::unique_ptr<C_MatMGe<T>>& Yv) {
         buf = P0;
         P.reset(new C_MatMGe<T>(N, 2, buf.Adr(), N));
         Yv.reset(new C_MatMGe<T>(N, 2, buf.Adr(), N));
       }},
      {"view one row down",
       [&](C_MatMGe<T>& buf, std::unique_ptr<C_MatMGe<T>>& P, std::unique_ptr<C_MatMGe<T>>& Yv) {
         buf = C_MatMGe<T>(N + 1, 2);
         for (int i = 0; i < N; ++i)
           for (int j = 0; j < 2; ++j) buf.SetVal(i, j, P0.GetVal(i, j));
         P.reset(new C_MatMGe<T>(N, 2, buf.Adr(), N + 1));
         Yv.reset(new C_MatMGe<T>(N, 2, buf.Adr() + 1, N + 1));
       }},
  };
  for (int scaling : {ScaleNone, ScaleInputs})
    for (int mode = 0; mode < 3; ++mode) { /* plain, kept errors, two refinement points */
      KrigingProbe<T> k;
      Prepare(k, X, Y, CorrGaussian, PolyLinear, 2.0, scaling);
      k.KeepPredErr = (mode == 1);
      C_MatMGe<T> P = P0, Yref, selRef;
      int want = (mode == 2) ? 2 : 0;
      double maxRef = -1.0;
      ASSERT_EQ(0, k.EvalModel(P, Yref, want, selRef, maxRef, false));
      C_MatMGe<double> Eref = k.PredErrMtx;
      for (const Alias& a : aliases) {
        SCOPED_TRACE(testing::Message() << a.name << ", scaling " << scaling << ", mode " << mode);
        C_MatMGe<T> buf;
        std::unique_ptr<C_MatMGe<T>> Pv, Yv;
        a.make(buf, Pv, Yv);
        C_MatMGe<T> sel;
        int got = want;
        double maxErr = -1.0;
        k.PredErrMtx.Resize(0, 0);
        ASSERT_EQ(0, k.EvalModel(*Pv, *Yv, got, sel, maxErr, false));
        ASSERT_EQ(N, Yv->rows);
        ASSERT_EQ(2, Yv->cols);
        C_MatMGe<T> Yown = *Yv;
        EXPECT_TRUE(SameMat(Yref, Yown));
        if (mode == 1) {
          EXPECT_TRUE(SameMat(Eref, k.PredErrMtx));
        }
        if (mode == 2) {
          EXPECT_EQ(want, got);
          EXPECT_EQ(maxRef, maxErr);
          EXPECT_TRUE(SameMat(selRef, sel));
        }
      }
    }
}

TEST(KrigingPredict, PredictionsOverViewsOfThePoints) {
  PredictionsOverSharedStorage<double>();
  PredictionsOverSharedStorage<cplx>();
}

TEST(KrigingPredict, PredictorErrorShapeChecks) {
  C_MatMGe<double> X = RandomMat(8, 2, 621u), Y = Outputs(X), P = RandomMat(4, 2, 622u);
  KrigingProbe<double> k;
  Prepare(k, X, Y, CorrGaussian, PolyLinear, 2.0);
  ASSERT_EQ(0, k.Solve());
  RefKriging<double> ref;
  ref.Fit(X, Y, CorrGaussian, PolyLinear, {2.0});
  C_MatMGe<double> R(4, 8), F(4, 3), E = MakeMat<double>(1, 1, {7.0});
  for (int i = 0; i < 4; ++i) {
    const std::vector<double> r = ref.Corr(RowOf(P, i));
    const std::vector<double> f = RefTrendRow(RowOf(P, i), 2);
    for (int j = 0; j < 8; ++j) R.SetVal(i, j, r[j]);
    for (int j = 0; j < 3; ++j) F.SetVal(i, j, f[j]);
  }
  ASSERT_EQ(0, k.GetPredictorError(R, F, E));
  ASSERT_EQ(4, E.rows);
  ASSERT_EQ(2, E.cols);
  for (int i = 0; i < 4; ++i)
    for (int out = 0; out < 2; ++out)
      EXPECT_NEAR(ref.PredErr(RowOf(P, i), out), E.GetVal(i, out), 1e-8);

  C_MatMGe<double> Fshort(3, 3), Fwide(4, 4), Rnarrow(4, 7), Empty(0, 8), F0(0, 3), Fnone(4, 0);
  E = MakeMat<double>(1, 1, {7.0});
  EXPECT_EQ(1, k.GetPredictorError(R, Fshort, E));  /* rows of F */
  EXPECT_EQ(1, k.GetPredictorError(R, Fwide, E));   /* terms of the last fit */
  EXPECT_EQ(1, k.GetPredictorError(Rnarrow, F, E)); /* samples */
  EXPECT_EQ(7.0, E.GetVal(0, 0));
  ASSERT_EQ(0, k.GetPredictorError(Empty, F0, E));
  EXPECT_EQ(0, E.rows);
  /* Without trend columns the formula without trend applies. */
  ASSERT_EQ(0, k.GetPredictorError(R, Fnone, E));
  double s2 = 0.0;
  k.GetProcVarnc(s2, 0);
  const std::vector<double> r = ref.Corr(RowOf(P, 0));
  double s = 0.0;
  for (int a = 0; a < 8; ++a)
    for (int b = 0; b < 8; ++b) s += r[a] * ref.Kinv[a][b] * r[b];
  EXPECT_NEAR(std::sqrt(std::fabs(s2 * (1.0 - s))), E.GetVal(0, 0), 1e-8);
}

/* ---- the at-points summary ------------------------------------------------------------- */

TEST(KrigingPredict, AtPointsSummaryAndKeptFlag) {
  C_MatMGe<double> X = RandomMat(9, 2, 701u), Y = Outputs(X), P = RandomMat(7, 2, 702u);
  KrigingProbe<double> k;
  Prepare(k, X, Y, CorrGaussian, PolyLinear, 2.0);
  ASSERT_EQ(0, k.Solve());
  RefKriging<double> ref;
  ref.Fit(X, Y, CorrGaussian, PolyLinear, {2.0});

  /* Largest absolute error, and largest relative one by the per-output rule: the output
   * range is max|y| - min|y| over the samples; values below 1e-4 of it use range/2 + |y|. */
  double wantAbs = 0.0, wantRel = 0.0;
  for (int out = 0; out < 2; ++out) {
    const double range = MagSpread(Y, out);
    for (int i = 0; i < 7; ++i) {
      const double e = ref.PredErr(RowOf(P, i), out), v = std::fabs(ref.Predict(RowOf(P, i), out));
      wantAbs = std::max(wantAbs, e);
      wantRel = std::max(wantRel, RefRelErr(e, v, range));
    }
  }
  for (bool kept : {false, true}) {
    k.KeepPredErr = kept;
    double maxAbs = -1.0, maxRel = -1.0;
    int count = -1;
    ASSERT_EQ(0, k.GetPredictorError(P, maxAbs, maxRel, count));
    EXPECT_EQ(9, count);
    EXPECT_NEAR(wantAbs, maxAbs, 1e-8 * wantAbs);
    EXPECT_NEAR(wantRel, maxRel, 1e-7 * wantRel);
    EXPECT_EQ(kept, k.KeepPredErr);
    EXPECT_EQ(7, k.PredErrMtx.rows);

    C_MatMGe<double> wide = RandomMat(2, 3, 703u);
    maxAbs = -1.0;
    count = -1;
    EXPECT_EQ(1, k.GetPredictorError(wide, maxAbs, maxRel, count));
    EXPECT_EQ(kept, k.KeepPredErr);
    EXPECT_EQ(-1.0, maxAbs);
    EXPECT_EQ(-1, count);
  }
}

/* ---- a model that holds coefficients but no factors of its own ---------------------------
 * (as after a copy or a read): an error request refits it at its stored kernel, without a
 * kernel search, and fails rather than use factors that are not its own. */
TEST(KrigingPredict, ErrorRequestRefitsAtTheStoredKernel) {
  C_MatMGe<double> X = RandomMat(9, 2, 801u), Y = Outputs(X), P = RandomMat(5, 2, 802u);
  KrigingProbe<double> k;
  Prepare(k, X, Y, CorrGaussian, PolyLinear, 2.0);
  ASSERT_EQ(0, k.Solve());
  ASSERT_EQ(0, k.PutKrigingKernOptType(KernOptLikelihood));
  ASSERT_EQ(0, k.Solve()); /* searches: SolveCount 1, Step 1 */
  const double theta = k.KernVec[0];
  k.SolveRequired = true;
  ASSERT_EQ(0, k.SolveCount % k.Step); /* a plain Solve now would search again */

  kvtest::MsgCapture cap;
  cap.SetLevel(Kvelo::MessageToolEnums::LEVEL_INTERNAL);
  cap.OnlyScope(502);
  C_MatMGe<double> Yp;
  ASSERT_EQ(0, k.EvalModel(P, Yp)); /* no error request: no refit */
  EXPECT_EQ(0, cap.Count(1));
  EXPECT_TRUE(k.SolveRequired);

  double maxAbs = 0.0, maxRel = 0.0;
  int count = 0;
  ASSERT_EQ(0, k.GetPredictorError(P, maxAbs, maxRel, count));
  EXPECT_EQ(1, cap.Count(1)); /* one build, no search */
  EXPECT_FALSE(k.SolveRequired);
  EXPECT_EQ(theta, k.KernVec[0]);
  EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
  RefKriging<double> ref;
  ref.Fit(X, Y, CorrGaussian, PolyLinear, {theta});
  for (int i = 0; i < 5; ++i)
    EXPECT_NEAR(ref.PredErr(RowOf(P, i), 0), k.PredErrMtx.GetVal(i, 0), 1e-8);
}

TEST(KrigingPredict, FailedRefitFailsTheErrorRequest) {
  C_MatMGe<double> X = RandomMat(9, 2, 811u), Y = Outputs(X), P = RandomMat(5, 2, 812u);
  KrigingProbe<double> k;
  Prepare(k, X, Y, CorrGaussian, PolyLinear, 2.0);
  ASSERT_EQ(0, k.Solve());
  /* Coefficients without factors, and output samples that are no longer valid: plain
   * predictions still come from the coefficients, but the refit that errors need fails. */
  k.SolveRequired = true;
  k.OutSampSet = false;
  C_MatMGe<double> Yp;
  ASSERT_EQ(0, k.EvalModel(P, Yp));
  k.PredErrMtx = MakeMat<double>(1, 1, {-3.0});
  double maxAbs = -1.0, maxRel = -1.0;
  int count = -1;
  EXPECT_EQ(1, k.GetPredictorError(P, maxAbs, maxRel, count));
  EXPECT_FALSE(k.KeepPredErr);
  EXPECT_EQ(-1.0, maxAbs);
  EXPECT_EQ(-1, count);
  EXPECT_EQ(1, k.PredErrMtx.rows);
  EXPECT_EQ(-3.0, k.PredErrMtx.GetVal(0, 0));
}

/* ---- small helpers ---------------------------------------------------------------------- */

TEST(KrigingPredict, RowMaximaAbsoluteMaximumAndSquaredDistance) {
  KrigingProbe<double> k;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  C_MatMGe<double> M = MakeMat<double>(3, 3, {-1.0, -2.0, -0.5, 0.3, nan, 0.2, nan, -4.0, 1.5});
  RVec v(0);
  ASSERT_EQ(0, k.GetRowMax(M, v));
  ASSERT_EQ(3, v.Dim());
  EXPECT_EQ(0.0, v[0]);
  /* A NaN makes its row's maximum NaN, wherever it stands: a larger value after it does not
   * hide it, and neither does a larger one before it. */
  EXPECT_TRUE(std::isnan(v[1]));
  EXPECT_TRUE(std::isnan(v[2]));

  double out = -1.0;
  C_MatMGe<double> A = MakeMat<double>(2, 3, {1.0, -7.5, 2.0, 3.0, 0.5, -7.0}), none(4, 0);
  ASSERT_EQ(0, k.GetMaxAbs(A, out));
  EXPECT_EQ(7.5, out);
  ASSERT_EQ(0, k.GetMaxAbs(none, out));
  EXPECT_EQ(0.0, out);
  /* A NaN in any column, before or after the largest value, makes the maximum NaN. */
  for (int at : {0, 5}) {
    C_MatMGe<double> B = A;
    B.SetVal(at % 2, at / 2, nan);
    out = -1.0;
    ASSERT_EQ(0, k.GetMaxAbs(B, out));
    EXPECT_TRUE(std::isnan(out)) << at;
  }

  k.PutNumVar(3);
  RVec a(3), b(3);
  a[0] = 1.0; a[1] = 2.0; a[2] = 3.0;
  b[0] = 4.0; b[1] = 6.0; b[2] = 3.0;
  EXPECT_NEAR(25.0, k.GetSqrDist(a, b, 3), 1e-14);
  EXPECT_NEAR(9.0, k.GetSqrDist(a, b, 1), 1e-14);

  KrigingProbe<cplx> kc;
  kc.PutNumVar(2);
  CVec ca(2), cb(2);
  ca[0] = cplx(1.0, 1.0); ca[1] = cplx(0.0, 2.0);
  cb[0] = cplx(4.0, 5.0); cb[1] = cplx(0.0, 0.0);
  EXPECT_NEAR(25.0 + 4.0, kc.GetSqrDist(ca, cb, 2), 1e-13);
}

/* ---- predictor errors in blocks, the kept inverse factor, the kept scaled samples -------- */

/* Enough samples and points that the errors go in several blocks of points: at-points errors,
 * the matrix form on correlations and trend rows made here, and the independent dense model
 * agree at every point, at block boundaries included. */
template <class T>
void CheckBlockedErrors(int m, int N, unsigned seed) {
  /* Six inputs and a short kernel: a well-conditioned correlation matrix and errors of the
   * order of the process deviation, which the reference computes to many digits. */
  const int n = 6;
  C_MatMGe<T> X = Points<T>(m, n, seed), Y = Outputs(X), P = Points<T>(N, n, seed + 1u);
  const double theta = 4.0;
  KrigingProbe<T> k;
  Prepare(k, X, Y, CorrGaussian, PolyLinear, theta);
  ASSERT_EQ(0, k.Solve());
  C_MatMGe<T> Yp;
  C_MatMGe<double> E;
  Evaluate(k, P, Yp, E);
  ASSERT_EQ(N, E.rows);

  /* The matrix form on R (points x samples) and F (points x trend terms) of the same points. */
  C_MatMGe<double> R(N, m), E2;
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < m; ++j) R.SetVal(i, j, RefCorr(2, RowDist2(P, i, X, j), {theta}));
  C_MatMGe<T> F;
  int terms = n + 1;
  ASSERT_EQ(0, k.EvalQuadPolynomMtx(P, terms, F, 0));
  ASSERT_EQ(0, k.GetPredictorError(R, F, E2));
  ASSERT_EQ(N, E2.rows);

  RefKriging<T> ref;
  ref.Fit(X, Y, CorrGaussian, PolyLinear, {theta});
  for (int i = 0; i < N; ++i)
    for (int out = 0; out < 2; ++out) {
      EXPECT_NEAR(E.GetVal(i, out), E2.GetVal(i, out), 1e-9 * (1e-6 + E.GetVal(i, out))) << i;
      if (i % 97 == 0 || i == N - 1) {
        const double e = ref.PredErr(RowOf(P, i), out);
        EXPECT_NEAR(e, E.GetVal(i, out), 1e-6 * e + 1e-9) << "point " << i << " output " << out;
      }
    }
}

TEST(KrigingPredict, ErrorsInBlocksAgreeAtEveryPoint) {
  /* Blocks hold 2^19 correlations: 1747 points of 300 samples, 1310 points of 400. */
  CheckBlockedErrors<double>(300, 2000, 901u);
  CheckBlockedErrors<cplx>(400, 1500, 903u);
}

/* The errors follow what CorrMtx holds, also when it is written after the fit: doubling the
 * inverse factor multiplies r^T K^-1 r by four (model without trend: e^2 = sigma^2 |1 - s|). */
TEST(KrigingPredict, ErrorsFollowTheStoredInverseFactor) {
  C_MatMGe<double> X = RandomMat(10, 2, 911u), Y = Outputs(X), P = RandomMat(6, 2, 912u);
  KrigingProbe<double> k;
  Prepare(k, X, Y, CorrGaussian, PolyNone, 3.0);
  ASSERT_EQ(0, k.Solve());
  C_MatMGe<double> Yp, E1, E2;
  Evaluate(k, P, Yp, E1);
  const int count = k.CorrMtx.rows * (k.CorrMtx.rows + 1) / 2;
  for (int i = 0; i < count; ++i) k.CorrMtx.Adr()[i] *= 2.0;
  Evaluate(k, P, Yp, E2);
  for (int i = 0; i < P.rows; ++i)
    for (int out = 0; out < 2; ++out) {
      const double v = k.ProcVarnc[out];
      const double e1 = E1.GetVal(i, out);
      const double s = 1.0 - e1 * e1 / v; /* e1^2 = v (1 - s), 1 - s >= 0 away from samples */
      EXPECT_NEAR(std::sqrt(std::fabs(v * (1.0 - 4.0 * s))), E2.GetVal(i, out), 1e-9) << i;
    }
  /* A new fit stores its own inverse factor again. */
  ASSERT_EQ(0, k.PutDropToler(k.GetDropToler() * 2.0));
  ASSERT_EQ(0, k.PutDropToler(1e-8));
  ASSERT_EQ(0, k.Solve());
  C_MatMGe<double> E3;
  Evaluate(k, P, Yp, E3);
  for (int i = 0; i < P.rows; ++i)
    for (int out = 0; out < 2; ++out) EXPECT_NEAR(E1.GetVal(i, out), E3.GetVal(i, out), 1e-12);
}

/* Samples given again in another order (the same model, other scale vectors to the last bit or
 * not), or extended: predictions and errors are those of a fresh model of the same samples. */
TEST(KrigingPredict, KeptScaledSamplesFollowTheSamples) {
  C_MatMGe<double> X = RandomMat(14, 2, 921u, -3.0, 5.0), Y = Outputs(X);
  C_MatMGe<double> P = RandomMat(7, 2, 922u, -3.0, 5.0);
  C_MatMGe<double> Xr(14, 2), Yr(14, 2);
  for (int i = 0; i < 14; ++i)
    for (int j = 0; j < 2; ++j) {
      Xr.SetVal(i, j, X.GetVal(13 - i, j));
      Yr.SetVal(i, j, Y.GetVal(13 - i, j));
    }
  auto fresh = [&](C_MatMGe<double>& Xs, C_MatMGe<double>& Ys, C_MatMGe<double>& Yp,
                   C_MatMGe<double>& E) {
    KrigingProbe<double> f;
    Prepare(f, Xs, Ys, CorrGaussian, PolyLinear, 0.4, 1);
    ASSERT_EQ(0, f.Solve());
    Evaluate(f, P, Yp, E);
  };
  KrigingProbe<double> k;
  Prepare(k, X, Y, CorrGaussian, PolyLinear, 0.4, 1);
  ASSERT_EQ(0, k.Solve());
  C_MatMGe<double> Yp, E, Yf, Ef;
  Evaluate(k, P, Yp, E);

  ASSERT_EQ(0, k.PutInpSampMtx(Xr));
  ASSERT_EQ(0, k.PutOutSampMtx(Yr));
  ASSERT_EQ(0, k.Solve());
  Evaluate(k, P, Yp, E);
  fresh(Xr, Yr, Yf, Ef);
  for (int i = 0; i < P.rows; ++i)
    for (int out = 0; out < 2; ++out) {
      EXPECT_NEAR(Yf.GetVal(i, out), Yp.GetVal(i, out), 1e-10) << i;
      EXPECT_NEAR(Ef.GetVal(i, out), E.GetVal(i, out), 1e-10) << i;
    }

  C_MatMGe<double> Xa = RandomMat(3, 2, 923u, -3.0, 5.0), Ya = Outputs(Xa);
  ASSERT_EQ(0, k.AppendSampData(Xa, Ya));
  ASSERT_EQ(0, k.Solve());
  Evaluate(k, P, Yp, E);
  C_MatMGe<double> Xall(17, 2), Yall(17, 2);
  for (int i = 0; i < 17; ++i)
    for (int j = 0; j < 2; ++j) {
      Xall.SetVal(i, j, i < 14 ? Xr.GetVal(i, j) : Xa.GetVal(i - 14, j));
      Yall.SetVal(i, j, i < 14 ? Yr.GetVal(i, j) : Ya.GetVal(i - 14, j));
    }
  fresh(Xall, Yall, Yf, Ef);
  for (int i = 0; i < P.rows; ++i)
    for (int out = 0; out < 2; ++out) {
      EXPECT_NEAR(Yf.GetVal(i, out), Yp.GetVal(i, out), 1e-10) << i;
      EXPECT_NEAR(Ef.GetVal(i, out), E.GetVal(i, out), 1e-10) << i;
    }
}

/* The kept scaled samples belong to the input scale vectors they were made with as well as
 * to the samples: a derived model that writes its (protected) scale vectors without giving
 * the samples again predicts with the vectors it wrote, exactly as a model whose first
 * prediction comes after the same change. */
TEST(KrigingPredict, KeptScaledSamplesFollowScaleVectorsWrittenByADerivedModel) {
  C_MatMGe<double> X = RandomMat(12, 2, 941u, -2.0, 3.0), Y = Outputs(X);
  C_MatMGe<double> P = RandomMat(6, 2, 942u, -2.0, 3.0);
  auto rescale = [](KrigingProbe<double>& k) {
    k.InpScaleVec[0] *= 1.5;
    k.InpInterceptVec[1] += 0.25;
  };
  KrigingProbe<double> kept, fresh;
  Prepare(kept, X, Y, CorrGaussian, PolyLinear, 0.8, ScaleInputs);
  Prepare(fresh, X, Y, CorrGaussian, PolyLinear, 0.8, ScaleInputs);
  ASSERT_EQ(0, kept.Solve());
  ASSERT_EQ(0, fresh.Solve());
  C_MatMGe<double> Y0, E0, Yk, Ek, Yf, Ef;
  Evaluate(kept, P, Y0, E0); /* makes the kept scaled samples */
  rescale(kept);
  rescale(fresh);
  Evaluate(kept, P, Yk, Ek);
  Evaluate(fresh, P, Yf, Ef);
  EXPECT_TRUE(SameMat(Yf, Yk));
  EXPECT_TRUE(SameMat(Ef, Ek));
  EXPECT_FALSE(SameMat(Y0, Yk)); /* the change matters */
}

/* A host asking point by point gets what one call for all the points gives. */
TEST(KrigingPredict, PointByPointErrorsEqualOneCall) {
  C_MatMGe<double> X = RandomMat(20, 2, 931u), Y = Outputs(X), P = RandomMat(5, 2, 932u);
  KrigingProbe<double> k;
  Prepare(k, X, Y, CorrGaussian, PolyConstant, 2.0, 3);
  ASSERT_EQ(0, k.Solve());
  double maxAbs = 0.0, maxRel = 0.0;
  int count = 0;
  ASSERT_EQ(0, k.GetPredictorError(P, maxAbs, maxRel, count));
  C_MatMGe<double> all = k.PredErrMtx;
  double worst = 0.0;
  for (int i = 0; i < P.rows; ++i) {
    C_MatMGe<double> one(1, 2);
    one.SetVal(0, 0, P.GetVal(i, 0));
    one.SetVal(0, 1, P.GetVal(i, 1));
    double a = 0.0, r = 0.0;
    ASSERT_EQ(0, k.GetPredictorError(one, a, r, count));
    for (int out = 0; out < 2; ++out) {
      EXPECT_NEAR(all.GetVal(i, out), k.PredErrMtx.GetVal(0, out), 1e-12) << i;
      worst = std::max(worst, all.GetVal(i, out));
    }
  }
  EXPECT_NEAR(maxAbs, worst, 1e-12);
}

}  // namespace
