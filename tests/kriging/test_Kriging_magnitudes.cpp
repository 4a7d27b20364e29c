/* test_Kriging_magnitudes.cpp: values near the ends of the doubles. Finite input gives the
 * right finite answer or a named refusal, never a silent infinity or NaN: the outputs a
 * model can hold, inputs of any spread with and without input scaling, R^2, absolute and
 * relative errors, group ranges, variances and minimum distances of values far from 1; and
 * a NaN that reaches a maximum or a range is never dropped. */
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "kriging_files.h"
#include "kriging_fixtures.h"

namespace {

const char* const kVarianceUnderflow =
    "Kriging: the process variance of an output lies below the range of doubles";
const char* const kVarianceNotFinite = "Kriging: the process variance of an output is not finite";

/* 12 samples of 2 inputs (scaled by xs) and one output c * (2 + sum sin(3 x)); the model is
 * solved with the scaling type given, Gaussian correlation, linear trend. */
template <class T>
int FitScaled(KrigingProbe<T>& k, double xs, double c, int scaling, C_MatMGe<T>& X,
              C_MatMGe<T>& Y) {
  X = SampleInputs<T>(12, 2, 77u);
  Y = C_MatMGe<T>(12, 1);
  for (int i = 0; i < 12; ++i) {
    T y(2.0);
    for (int j = 0; j < 2; ++j) y += std::sin(3.0 * X.GetVal(i, j));
    Y.SetVal(i, 0, c * y);
    for (int j = 0; j < 2; ++j) X.SetVal(i, j, xs * X.GetVal(i, j));
  }
  SmallModelSpec s;
  s.scaling = scaling;
  s.poly = PolyLinear;
  return SolveSmall(k, X, Y, s);
}

/* The largest relative difference of the predictions at the samples from the outputs. */
template <class T>
double WorstAtSamples(Kriging<T>& k, C_MatMGe<T>& X, C_MatMGe<T>& Y) {
  C_MatMGe<T> Yp;
  EXPECT_EQ(0, k.EvalModel(X, Yp));
  double worst = 0.0;
  for (int i = 0; i < Y.rows; ++i)
    worst = std::max(worst, std::abs(Yp.GetVal(i, 0) - Y.GetVal(i, 0)) / std::abs(Y.GetVal(i, 0)));
  return worst;
}

template <class T>
void OutputMagnitudes() {
  /* Outputs whose residuals lie within about 1e-154 .. 1e154 fit and interpolate their
   * samples, with output scaling or not; farther out the process variance has no double,
   * and the solve names it. */
  struct Case {
    double c;
    const char* refusal; /* null: fits */
  };
  const std::vector<Case> cases = {
      {1e-150, nullptr}, {1e-100, nullptr}, {1e-9, nullptr},  {1.0, nullptr},
      {1e30, nullptr},   {1e100, nullptr},  {1e150, nullptr}, {1e-160, kVarianceUnderflow},
      {1e-200, kVarianceUnderflow}, {1e160, kVarianceNotFinite}, {1e200, kVarianceNotFinite},
  };
  for (int scaling : {ScaleNone, ScaleOutputs, ScaleInputsOutputs})
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "scaling " << scaling << " outputs " << c.c);
      KrigingProbe<T> k;
      C_MatMGe<T> X, Y;
      kvtest::KrigingLines lines;
      const int res = FitScaled(k, 1.0, c.c, scaling, X, Y);
      if (c.refusal == nullptr) {
        ASSERT_EQ(0, res);
        EXPECT_LT(WorstAtSamples(k, X, Y), 1e-6);
      } else {
        EXPECT_EQ(1, res);
        EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
        ASSERT_FALSE(lines.Refusals().empty());
        EXPECT_EQ(c.refusal, lines.Refusals().back());
      }
    }
}

}  // namespace

TEST(KrigingMagnitudes, OutputsTheModelHoldsAndThoseItRefuses) {
  OutputMagnitudes<double>();
  OutputMagnitudes<cplx>();
}

/* With input scaling the model does not depend on the inputs' unit: inputs spread over 1e200
 * or 1e-200, or lying near the largest double (whose sum overflows), give the predictions of
 * the same model at unit scale. Inputs spread below the smallest doubles have a scale factor
 * no double holds: refused by name rather than treated as a column without spread. */
TEST(KrigingMagnitudes, InputScalingHoldsInputsOfAnySpread) {
  KrigingProbe<double> unit;
  C_MatMGe<double> X1, Y1;
  ASSERT_EQ(0, FitScaled(unit, 1.0, 1.0, ScaleInputs, X1, Y1));
  C_MatMGe<double> P1 = SampleInputs<double>(5, 2, 78u), Yu;
  ASSERT_EQ(0, unit.EvalModel(P1, Yu));
  for (double xs : {1e200, 1e-200, 1e300, 1e-300}) {
    SCOPED_TRACE(xs);
    KrigingProbe<double> k;
    C_MatMGe<double> X, Y;
    ASSERT_EQ(0, FitScaled(k, xs, 1.0, ScaleInputs, X, Y));
    C_MatMGe<double> P = P1, Yp;
    for (int i = 0; i < P.rows; ++i)
      for (int j = 0; j < 2; ++j) P.SetVal(i, j, xs * P1.GetVal(i, j));
    ASSERT_EQ(0, k.EvalModel(P, Yp));
    for (int i = 0; i < P.rows; ++i) EXPECT_NEAR(Yu.GetVal(i, 0), Yp.GetVal(i, 0), 1e-8);
  }
  /* Inputs around 5e307: their sum overflows, their spread does not. */
  {
    KrigingProbe<double> k;
    C_MatMGe<double> X, Y;
    ASSERT_EQ(0, FitScaled(k, 1.0, 1.0, ScaleInputs, X, Y));
    C_MatMGe<double> Xb = X, P = P1, Yp;
    for (int i = 0; i < X.rows; ++i)
      for (int j = 0; j < 2; ++j) Xb.SetVal(i, j, 1e307 * (5.0 + X.GetVal(i, j)));
    for (int i = 0; i < P.rows; ++i)
      for (int j = 0; j < 2; ++j) P.SetVal(i, j, 1e307 * (5.0 + P1.GetVal(i, j)));
    KrigingProbe<double> big;
    SmallModelSpec s;
    s.scaling = ScaleInputs;
    s.poly = PolyLinear;
    ASSERT_EQ(0, SolveSmall(big, Xb, Y, s));
    ASSERT_EQ(0, big.EvalModel(P, Yp));
    for (int i = 0; i < P.rows; ++i) EXPECT_NEAR(Yu.GetVal(i, 0), Yp.GetVal(i, 0), 1e-6);
  }
  /* Subnormal spreads. */
  KrigingProbe<double> tiny;
  C_MatMGe<double> X, Y;
  kvtest::KrigingLines lines;
  EXPECT_EQ(1, FitScaled(tiny, 1e-315, 1.0, ScaleInputs, X, Y));
  EXPECT_EQ(std::vector<std::string>(
                {"Kriging: the spread of an input lies beyond what its scale factor and "
                 "intercept can hold"}),
            lines.Refusals());
}

/* Without input scaling the first kernel is estimated from the inputs' variances: inputs
 * spread over 1e200 have a variance beyond the doubles, inputs spread over 1e-200 one that
 * vanishes. Both are refused by name, rather than fitted with a kernel of 0 (correlations not
 * a number) or of 1 (a model blind to its inputs). A kernel given by the host fits them. */
TEST(KrigingMagnitudes, KernelEstimateOfUnscaledInputsBeyondTheDoubles) {
  struct Case {
    double xs;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {1e200, "Kriging: the variance of a column lies beyond the range of doubles"},
      {1e-200, "Kriging: the inputs spread too much or too little for a kernel estimate: scale "
               "the inputs (PutScalingType) or give the kernel (PutKernVec)"},
  };
  for (const Case& c : cases) {
    for (int kvt : {0, 1}) {
      SCOPED_TRACE(testing::Message() << c.xs << " parameterisation " << kvt);
      KrigingProbe<double> k;
      ASSERT_EQ(0, k.PutKrigingKernVarType(static_cast<E_KrigingKernVarType>(kvt)));
      C_MatMGe<double> X, Y;
      kvtest::KrigingLines lines;
      EXPECT_EQ(1, FitScaled(k, c.xs, 1.0, ScaleNone, X, Y));
      EXPECT_EQ(std::vector<std::string>({c.reason}), lines.Refusals());
      EXPECT_TRUE(k.KernToEstimate);
    }
  }
  /* The same inputs spread over 1e-100 still have a variance (1e-200): estimated and fitted,
   * predicting like the model at unit scale with input scaling. */
  KrigingProbe<double> k;
  C_MatMGe<double> X, Y;
  ASSERT_EQ(0, FitScaled(k, 1e-100, 1.0, ScaleNone, X, Y));
  EXPECT_GT(k.KernVec[0], 1e199);
  EXPECT_LT(WorstAtSamples(k, X, Y), 1e-6);
}

/* R^2 does not depend on the values' unit: (1, 2, 3) against (1, 2, 4) gives 0.8 at any
 * scale a double holds, real and complex; an output without spread has no R^2. */
TEST(KrigingMagnitudes, R2AtAnyScale) {
  Kriging<double> k;
  Kriging<cplx> kc;
  for (double c : {1.0, 1e200, 1e-200, 1e300, 1e-300, 1e-310}) {
    SCOPED_TRACE(c);
    RVec a(3), b(3);
    CVec ca(3), cb(3);
    const double av[3] = {1.0, 2.0, 3.0}, bv[3] = {1.0, 2.0, 4.0};
    for (int i = 0; i < 3; ++i) {
      a[i] = c * av[i];
      b[i] = c * bv[i];
      ca[i] = cplx(0.6, 0.8) * (c * av[i]);
      cb[i] = cplx(0.6, 0.8) * (c * bv[i]);
    }
    double r2 = 0.0;
    ASSERT_EQ(0, k.getR2(a, b, r2));
    EXPECT_NEAR(0.8, r2, c < 1e-300 ? 1e-6 : 1e-14);
    ASSERT_EQ(0, kc.getR2(ca, cb, r2));
    EXPECT_NEAR(0.8, r2, c < 1e-300 ? 1e-6 : 1e-14);
  }
  /* A spread too small for any double relative to the values: no R^2. */
  RVec a(2), b(2);
  a[0] = 1.0;
  a[1] = 1.0;
  b[0] = 1.0;
  b[1] = 1.0;
  double r2 = 5.0;
  EXPECT_EQ(1, k.getR2(a, b, r2));
  EXPECT_EQ(0.0, r2);
}

/* Absolute errors of values of opposite signs near the largest double have no double: named.
 * Relative errors and group ranges of values near 1e200 are the ratios and norms they are,
 * not infinity over infinity; a relative error beyond the doubles is named. */
TEST(KrigingMagnitudes, ErrorsAndRangesOfLargeAndSmallValues) {
  /* A solved model of two outputs in one group (unit outputs: its ranges are near 1). */
  Kriging<double> k;
  C_MatMGe<double> X = SampleInputs<double>(8, 2, 81u), Y = SmoothOutputs(X, 2);
  SmallModelSpec s;
  s.poly = PolyConstant;
  s.groups = 1;
  ASSERT_EQ(0, SolveSmall(k, X, Y, s));

  C_MatMGe<double> A = MakeMat<double>(1, 2, {1.5e308, 1.0}), B = MakeMat<double>(1, 2, {-1.5e308, 1.0});
  double e = -1.0;
  {
    kvtest::KrigingLines lines;
    EXPECT_EQ(1, k.GetError(A, B, e));
    EXPECT_EQ(-1.0, e);
    EXPECT_EQ(std::vector<std::string>(
                  {"Kriging: a difference of two values lies beyond the range of doubles"}),
              lines.Refusals());
  }
  C_MatMGe<double> Y1 = MakeMat<double>(1, 2, {3e200, 4e200}), Y2 = MakeMat<double>(1, 2, {3.3e200, 4.4e200});
  double r = -1.0;
  ASSERT_EQ(0, k.GetRelativeError(Y1, Y2, r));
  EXPECT_NEAR(0.1, r, 1e-14);
  C_MatMGe<double> T1 = MakeMat<double>(1, 2, {3e-200, 4e-200}), T2 = MakeMat<double>(1, 2, {3.3e-200, 4.4e-200});
  /* Values this small lie below the group's threshold: errors over half the range. */
  ASSERT_EQ(0, k.GetRelativeError(T1, T2, r));
  EXPECT_GT(r, 0.0);
  EXPECT_LT(r, 1e-190);

  /* Group ranges: spreads 3e200 and 4e200 in one group give 5e200. */
  Kriging<double> g;
  ASSERT_EQ(0, g.PutNumSol(2, 1, nullptr));
  C_MatMGe<double> GX = MakeMat<double>(2, 1, {0.0, 1.0}), GY = MakeMat<double>(2, 2, {0.0, 0.0, 3e200, -4e200});
  ASSERT_EQ(0, g.PutInpSampMtx(GX));
  ASSERT_EQ(0, g.PutOutSampMtx(GY));
  RVec ranges(0);
  ASSERT_EQ(0, g.GetOutputGlobalRange(ranges));
  ASSERT_EQ(1, ranges.Dim());
  EXPECT_NEAR(5e200, ranges[0], 1e186);

  /* A value of 1e-310 against an output of range 0: the error over it has no double. */
  Kriging<double> z;
  ASSERT_EQ(0, z.PutNumSol(1, 1, nullptr));
  C_MatMGe<double> ZX = MakeMat<double>(1, 1, {0.0}), ZY = MakeMat<double>(1, 1, {5.0});
  ASSERT_EQ(0, z.PutInpSampMtx(ZX));
  ASSERT_EQ(0, z.PutOutSampMtx(ZY));
  /* Per output and per group alike (the group's fallback, half the drop tolerance, is not
   * used: 1e-310 lies above a threshold of 0). */
  C_MatMGe<double> V = MakeMat<double>(1, 1, {1e-310}), R;
  C_MatMGe<double> Err = MakeMat<double>(1, 1, {1.0});
  typedef int (Kriging<double>::*RelErr)(C_MatMGe<double>&, C_MatMGe<double>&, C_MatMGe<double>&);
  for (RelErr f : {&Kriging<double>::GetRelativePredictorError,
                  &Kriging<double>::GetRelativePredictorErrorNorm}) {
    kvtest::KrigingLines lines;
    EXPECT_EQ(1, (z.*f)(V, Err, R));
    EXPECT_EQ(0, R.rows);
    EXPECT_EQ(
        std::vector<std::string>({"Kriging: a relative error lies beyond the range of doubles"}),
        lines.Refusals());
  }
}

/* The predictor error by the dense model fitted to the outputs divided by c, in long double
 * (whose range holds the squares of errors near the largest double): c times
 * sqrt(sigma^2 (1 + u^T M^-1 conj(u) - r^T K^-1 r)). */
template <class T>
long double LongPredErr(const RefKriging<T>& ref, const std::vector<T>& x, int k, double c) {
  typedef std::complex<long double> LC;
  auto lc = [](const T& v) { return LC(std::real(v), std::imag(v)); };
  const std::vector<double> r = ref.Corr(x);
  std::vector<long double> kr(static_cast<std::size_t>(ref.m), 0.0L);
  long double s = 0.0L;
  for (int i = 0; i < ref.m; ++i) {
    for (int j = 0; j < ref.m; ++j) kr[i] += static_cast<long double>(ref.Kinv[i][j]) * r[j];
    s += r[i] * kr[i];
  }
  long double t = 0.0L;
  if (ref.p > 0) {
    const std::vector<T> f = RefTrendRow(x, ref.trend);
    std::vector<LC> u(static_cast<std::size_t>(ref.p), LC(0.0L));
    for (int a = 0; a < ref.p; ++a) {
      for (int i = 0; i < ref.m; ++i) u[a] += lc(ref.F[i][a]) * kr[i];
      u[a] -= lc(f[a]);
    }
    LC acc(0.0L);
    for (int a = 0; a < ref.p; ++a)
      for (int b = 0; b < ref.p; ++b) acc += u[a] * lc(ref.Minv[a][b]) * std::conj(u[b]);
    t = acc.real();
  }
  return static_cast<long double>(c) *
         std::sqrt(static_cast<long double>(ref.sigma2[k]) * std::fabs(1.0L + t - s));
}

/* Predictor errors whose square lies beyond the doubles while they do not: outputs of size
 * 1e153 at a point far from the samples (100, 100), and ordinary outputs at a point of size
 * 1e160 (whose trend row squared has no double). Both error forms give the error of the
 * dense model (in long double); a prediction beyond the doubles is refused. */
template <class T>
void ErrorsWhoseSquaresOverflow() {
  struct Case {
    double c, at;
    bool fits; /* the prediction has a double */
  };
  const std::vector<Case> cases = {
      {1.0, 100.0, true}, {1e153, 30.0, true},  /* error about 1.1e154: its square holds */
      {1e153, 100.0, true},                      /* about 3.7e154: its square does not */
      {1.0, 1e160, true},                        /* about 3.7e159, a trend row beyond */
      {1e153, 1e160, false}};                    /* the prediction has no double */
  C_MatMGe<T> X = SampleInputs<T>(12, 2, 83u), Y1 = SmoothOutputs(X, 1);
  RefKriging<T> ref;
  ref.Fit(X, Y1, CorrGaussian, PolyLinear, {2.0});
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "outputs x" << c.c << " at " << c.at);
    C_MatMGe<T> Y = Y1;
    for (int i = 0; i < Y.rows; ++i) Y.SetVal(i, 0, c.c * Y1.GetVal(i, 0));
    Kriging<T> k;
    SmallModelSpec s;
    s.poly = PolyLinear;
    s.theta = {2.0};
    ASSERT_EQ(0, SolveSmall(k, X, Y, s));
    C_MatMGe<T> P = MakeMat<T>(1, 2, {T(c.at), T(c.at)});
    const long double want = LongPredErr(ref, RowOf(P, 0), 0, c.c);
    double absErr = -1.0, relErr = -1.0;
    int count = -1;
    const int res = k.GetPredictorError(P, absErr, relErr, count);
    if (!c.fits) {
      EXPECT_EQ(1, res);
      EXPECT_EQ(-1.0, absErr);
      continue;
    }
    ASSERT_TRUE(want < std::numeric_limits<double>::max());
    ASSERT_EQ(0, res);
    EXPECT_NEAR(1.0, static_cast<double>(absErr / want), 1e-6);

    /* The matrix form, from the correlations and the trend row of the point. */
    const std::vector<double> r = ref.Corr(RowOf(P, 0));
    C_MatMGe<double> R(1, ref.m), Err;
    for (int j = 0; j < ref.m; ++j) R.SetVal(0, j, r[j]);
    const std::vector<T> f = RefTrendRow(RowOf(P, 0), PolyLinear);
    C_MatMGe<T> F(1, static_cast<int>(f.size()));
    for (std::size_t a = 0; a < f.size(); ++a) F.SetVal(0, static_cast<int>(a), f[a]);
    ASSERT_EQ(0, k.GetPredictorError(R, F, Err));
    ASSERT_EQ(1, Err.rows);
    EXPECT_NEAR(1.0, static_cast<double>(Err.GetVal(0, 0) / want), 1e-6);
  }
}

TEST(KrigingMagnitudes, PredictorErrorsWhoseSquaresOverflow) {
  ErrorsWhoseSquaresOverflow<double>();
  ErrorsWhoseSquaresOverflow<cplx>();
}

/* Variances of columns near the largest double: a constant column has none (not the
 * infinity of an overflowing mean), a spread column one beyond the doubles (named). */
TEST(KrigingMagnitudes, VariancesOfColumnsNearTheLargestDouble) {
  Kriging<double> k;
  C_MatMGe<double> X = MakeMat<double>(3, 2, {1.5e308, 1.0, 1.5e308, 2.0, 1.5e308, 3.0});
  RVec var(0);
  ASSERT_EQ(0, k.DiagOfCovarMtx(X, var));
  ASSERT_EQ(2, var.Dim());
  EXPECT_EQ(0.0, var[0]);
  EXPECT_EQ(1.0, var[1]);
  C_MatMGe<double> W = MakeMat<double>(3, 1, {1e200, 2e200, 3e200});
  RVec kept(1, 7.0);
  EXPECT_EQ(1, k.DiagOfCovarMtx(W, kept));
  EXPECT_EQ(7.0, kept[0]);
  C_MatMGe<double> S = MakeMat<double>(3, 1, {1e-160, 2e-160, 3e-160});
  ASSERT_EQ(0, k.DiagOfCovarMtx(S, var));
  EXPECT_NEAR(1e-320, var[0], 1e-322);
}

/* Minimum distances of any size: a candidate 1e250 away from every sample is farther than
 * 1e200 (the squares of both overflow), one 1e150 away is not. */
TEST(KrigingMagnitudes, CandidatesFartherThanHugeDistances) {
  Kriging<double> k;
  ASSERT_EQ(0, k.PutNumSol(1, 1, nullptr));
  C_MatMGe<double> X = MakeMat<double>(2, 1, {0.0, 1.0}), Y = MakeMat<double>(2, 1, {0.0, 1.0});
  ASSERT_EQ(0, k.PutInpSampMtx(X));
  ASSERT_EQ(0, k.PutOutSampMtx(Y));
  C_MatMGe<double> cand = MakeMat<double>(3, 1, {1e250, 1e150, -1.7e308}), kept;
  int* index = nullptr;
  ASSERT_EQ(0, k.CheckNewPoints(cand, kept, index, 1e200));
  ASSERT_EQ(2, kept.rows);
  EXPECT_EQ(0, index[0]);
  EXPECT_EQ(2, index[1]);
  delete[] index;
}

/* Candidates at +1.7e308 and -1.7e308, whose coordinate differences have no double (nor the
 * norm of them): farther apart than any minimum distance, real and complex, with one or two
 * inputs; a repeated candidate is still dropped. */
TEST(KrigingMagnitudes, CandidatesWhoseDifferencesOverflow) {
  const double h = 1.7e308;
  struct Case {
    const char* what;
    int n;
    std::vector<double> cand; /* row by row */
    std::vector<int> kept;
  };
  const std::vector<Case> cases = {
      {"one input", 1, {h, -h}, {0, 1}},
      {"two inputs, both far", 2, {h, h, -h, -h}, {0, 1}},
      {"two inputs, one far", 2, {h, 0.0, -h, 0.0, h, 0.0}, {0, 1}},
      {"two inputs, crossed", 2, {h, -h, -h, h, -h, -h}, {0, 1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int rows = static_cast<int>(c.cand.size()) / c.n;
    Kriging<double> k;
    Kriging<cplx> kc;
    C_MatMGe<double> X(2, c.n), cand(rows, c.n), kept;
    C_MatMGe<cplx> Xc(2, c.n), candRe(rows, c.n), candIm(rows, c.n), keptc;
    for (int j = 0; j < c.n; ++j) {
      X.SetVal(1, j, 1.0);
      Xc.SetVal(1, j, cplx(1.0, 1.0));
    }
    for (int i = 0; i < rows; ++i)
      for (int j = 0; j < c.n; ++j) {
        const double v = c.cand[static_cast<std::size_t>(i * c.n + j)];
        cand.SetVal(i, j, v);
        candRe.SetVal(i, j, cplx(v, 0.5));
        candIm.SetVal(i, j, cplx(0.5, v));
      }
    ASSERT_EQ(0, k.PutInpSampMtx(X));
    ASSERT_EQ(0, kc.PutInpSampMtx(Xc));
    auto check = [&](int res, int* index, int keptRows) {
      ASSERT_EQ(0, res);
      std::unique_ptr<int[]> own(index);
      ASSERT_EQ(static_cast<int>(c.kept.size()), keptRows);
      for (std::size_t t = 0; t < c.kept.size(); ++t) EXPECT_EQ(c.kept[t], index[t]) << t;
    };
    int* index = nullptr;
    int res = k.CheckNewPoints(cand, kept, index, 1.0);
    check(res, index, kept.rows);
    for (C_MatMGe<cplx>* cc : {&candRe, &candIm}) {
      index = nullptr;
      res = kc.CheckNewPoints(*cc, keptc, index, 1.0);
      check(res, index, keptc.rows);
    }
  }
}

/* Samples holding a NaN are refused when given, the model keeping what it had; a NaN that
 * reaches a range, a maximum or an output scale factor is never dropped. */
TEST(KrigingMagnitudes, NaNsAreRefusedOrKept) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  KrigingProbe<double> k;
  C_MatMGe<double> X = SampleInputs<double>(6, 2, 91u), Y = SmoothOutputs(X, 1);
  SmallModelSpec s;
  s.poly = PolyConstant;
  ASSERT_EQ(0, SolveSmall(k, X, Y, s));
  C_MatMGe<double> Xn = X, Yn = Y;
  Xn.SetVal(3, 1, nan);
  Yn.SetVal(5, 0, nan);
  const kvtest::Bytes before = kvtest::WrittenBytes(k);
  RVec ranges0(0);
  ranges0.Assign(k.GlobalRangeVec);
  {
    kvtest::KrigingLines lines;
    EXPECT_EQ(1, k.PutInpSampMtx(Xn));
    EXPECT_EQ(1, k.PutOutSampMtx(Yn));
    EXPECT_EQ(std::vector<std::string>(
                  2, "Kriging: the samples hold a value that is not finite (PutInpSampMtx, "
                     "PutOutSampMtx)"),
              lines.Refusals());
  }
  EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
  EXPECT_TRUE(kvtest::BytesEqual(before, kvtest::WrittenBytes(k)));
  EXPECT_TRUE(SameVec(ranges0, k.GlobalRangeVec));

  /* The output scale factor of outputs holding a NaN is NaN, wherever the NaN stands. */
  for (int at : {0, 5}) {
    C_MatMGe<double> Yb = Y;
    Yb.SetVal(at, 0, nan);
    RVec scale(1);
    RVec icpt(1);
    ASSERT_EQ(0, k.EvalOutScale(Yb, scale, icpt));
    EXPECT_TRUE(std::isnan(scale[0])) << at;
  }
  /* Outputs holding a NaN all the same (written by a derived model): wherever it stands,
   * their range is NaN, not the range of the other samples. */
  for (int at : {0, 2, 5}) {
    KrigingProbe<double> d;
    ASSERT_EQ(0, SolveSmall(d, X, Y, s));
    d.OutSampMtx.SetVal(at, 0, nan);
    RVec r(0);
    ASSERT_EQ(0, d.GetOutputGlobalRange(r));
    ASSERT_EQ(1, r.Dim());
    EXPECT_TRUE(std::isnan(r[0])) << at;
  }
}
