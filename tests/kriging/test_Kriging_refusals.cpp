/* test_Kriging_refusals.cpp: why a Kriging operation refuses. Each refusal names its reason in
 * one line beside the fit lines while debug scope 502 is on at verbosity 3, and prints nothing
 * otherwise: the forgotten input count, what readiness lacks, refused settings; and points and
 * values that are not numbers, refused at every entry point that takes them from the host
 * with nothing of the caller's written. */
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "kriging_files.h"
#include "kriging_fixtures.h"
#include "msgcapture.h"

using kvtest::KrigingLines;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

typedef std::vector<std::string> Lines;

const char* const kNoInputCount = "Kriging: the number of inputs is not set (PutNumVar)";
const char* const kPointsNotFinite = "Kriging: the points hold a value that is not finite";
const char* const kValuesNotFinite = "Kriging: the values hold a number that is not finite";
const char* const kKernelValue =
    "Kriging: a kernel value is not a finite number above 0 (PutKernVec)";

/* A solved model of 8 samples of 2 inputs and one output: linear trend, Gaussian kernel 2. */
template <class T>
void Solved(KrigingProbe<T>& k, int poly = PolyLinear) {
  C_MatMGe<T> X = SampleInputs<T>(8, 2, 7u), Y = SmoothOutputs(X, 1);
  SmallModelSpec s;
  s.poly = poly;
  s.theta = {2.0};
  ASSERT_EQ(0, SolveSmall(k, X, Y, s));
}

/* PutKernVec of a kernel holding the one value bad, on a model of Solved: refused, with the
 * kernel and the state as they were. */
int PutBadKernel(KrigingProbe<double>& k, double bad) {
  RVec t(1, bad);
  const int r = k.PutKernVec(t);
  EXPECT_EQ(2.0, k.KernVec[0]);
  EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
  return r;
}

/* A matrix of rows x cols copies of v. */
C_MatMGe<double> Filled(int rows, int cols, double v) {
  C_MatMGe<double> M(rows, cols);
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) M.SetVal(i, j, v);
  return M;
}

/* A user who gives the samples but forgets PutNumVar has no kernel count: every readiness
 * check says so, and nothing else; a kernel of one value mends it. */
TEST(KrigingRefusals, ForgottenInputCountIsNamed) {
  C_MatMGe<double> X = SampleInputs<double>(10, 3, 3u), Y = SmoothOutputs(X, 1);
  Kriging<double> k;
  ASSERT_EQ(0, k.PutNumSol(1, 1, nullptr));
  ASSERT_EQ(0, k.PutInpSampMtx(X));
  ASSERT_EQ(0, k.PutOutSampMtx(Y));
  {
    KrigingLines lines;
    EXPECT_EQ(1, k.Solve());
    EXPECT_EQ(KrigingDataIncomplete, k.GetKrigingStatus());
    EXPECT_EQ(Lines({kNoInputCount}), lines.Refusals());
    EXPECT_TRUE(lines.Fits().empty());
  }
  /* The count the inputs already gave changes nothing: ReSolve and EvalModel say the same. */
  ASSERT_EQ(0, k.PutNumVar(3));
  {
    KrigingLines lines;
    EXPECT_EQ(1, k.ReSolve());
    C_MatMGe<double> P = SampleInputs<double>(2, 3, 4u), Yp;
    EXPECT_EQ(1, k.EvalModel(P, Yp));
    EXPECT_EQ(Lines(2, kNoInputCount), lines.Refusals());
  }
  RVec t(1, 1.5);
  ASSERT_EQ(0, k.PutKernVec(t));
  KrigingLines lines;
  EXPECT_EQ(0, k.Solve());
  EXPECT_TRUE(lines.Refusals().empty());
  EXPECT_EQ(1u, lines.Fits().size());
}

/* Readiness names the first thing missing, in the order a host gives them. */
TEST(KrigingRefusals, ReadinessNamesWhatIsMissing) {
  C_MatMGe<double> X = SampleInputs<double>(6, 2, 5u), Y = SmoothOutputs(X, 1);
  RVec t(1, 1.0);
  Kriging<double> k;
  const std::vector<std::pair<std::function<int()>, const char*>> steps = {
      {[] { return 0; }, "Kriging: the sample inputs are not given (PutInpSampMtx)"},
      {[&] { return k.PutInpSampMtx(X); }, "Kriging: the number of outputs is not set (PutNumSol)"},
      {[&] { return k.PutNumSol(1, 1, nullptr); },
       "Kriging: the sample outputs are not given (PutOutSampMtx)"},
      {[&] { return k.PutOutSampMtx(Y); }, kNoInputCount},
  };
  for (const auto& step : steps) {
    ASSERT_EQ(0, step.first());
    KrigingLines lines;
    EXPECT_EQ(1, k.Solve());
    EXPECT_EQ(Lines({step.second}), lines.Refusals());
  }
  ASSERT_EQ(0, k.PutKernVec(t));
  EXPECT_EQ(0, k.Solve());
}

/* Refused settings, and settings the fit cannot use, each with its own reason. */
TEST(KrigingRefusals, RefusedSettingsAreNamed) {
  int sizes[2] = {2, 2};
  const std::vector<std::pair<std::function<int(KrigingProbe<double>&)>, const char*>> cases = {
      {[](KrigingProbe<double>& k) { return k.PutNumVar(0); },
       "Kriging: the number of inputs must be above 0 (PutNumVar)"},
      {[&](KrigingProbe<double>& k) { return k.PutNumSol(5, 2, sizes); },
       "Kriging: the sizes of the output groups do not add up to the number of outputs "
       "(PutNumSol)"},
      {[](KrigingProbe<double>& k) { return k.PutNumSol(5, 2, nullptr); },
       "Kriging: the sizes of the output groups are missing (PutNumSol)"},
      {[](KrigingProbe<double>& k) { return k.PutNumSol(2, 3, nullptr); },
       "Kriging: the number of output groups must lie between 1 and the number of outputs "
       "(PutNumSol)"},
      {[](KrigingProbe<double>& k) { return k.PutDropToler(1.0); },
       "Kriging: the drop tolerance must lie strictly between 0 and 1 (PutDropToler)"},
      {[](KrigingProbe<double>& k) { return k.PutNumSamp(-1); },
       "Kriging: the number of samples must be above 0 (PutNumSamp)"},
      {[](KrigingProbe<double>& k) { return k.PutMaxNumIter(0); },
       "Kriging: the iteration limit must be above 0 (PutMaxNumIter)"},
      {[](KrigingProbe<double>& k) {
         RVec two(2, 1.0);
         return k.PutKernVec(two);
       },
       "Kriging: the kernel needs one value, or one per input with parameterisation 1 "
       "(PutKernVec)"},
      {[](KrigingProbe<double>& k) {
         k.PutSolnType(static_cast<E_KrigingSolType>(1));
         return k.Solve();
       },
       "Kriging: the solution type must be 0 (PutSolnType)"},
      {[](KrigingProbe<double>& k) {
         k.PutCorrFuncType(static_cast<E_CorrFuncType>(4));
         return k.Solve();
       },
       "Kriging: the correlation function must be 1, 2, 3 or 7 (PutCorrFuncType)"},
      {[](KrigingProbe<double>& k) {
         k.PutPolynomType(static_cast<E_KrigingPolynomType>(7));
         return k.Solve();
       },
       "Kriging: the trend type must lie between 0 and 4 (PutPolynomType)"},
      {[](KrigingProbe<double>& k) {
         k.PutScalingType(static_cast<E_KrigingScalingType>(5));
         return k.Solve();
       },
       "Kriging: the scaling type must lie between 0 and 3 (PutScalingType)"},
      {[](KrigingProbe<double>& k) {
         k.PutKrigingKernVarType(static_cast<E_KrigingKernVarType>(2));
         k.KernToEstimate = true;
         return k.Solve();
       },
       "Kriging: the kernel parameterisation must be 0 or 1 (PutKrigingKernVarType)"},
      {[](KrigingProbe<double>& k) {
         k.PutDropToler(0.5);
         double v = 0.0;
         return k.GetMLE(v);
       },
       "Kriging: the model is not solved (Solve)"},
      {[](KrigingProbe<double>& k) {
         C_MatMGe<double> B;
         k.PutPolynomType(PolyNone);
         return k.GetPolyCoeff(B);
       },
       "Kriging: the model has no trend (PutPolynomType)"},
  };
  for (const auto& c : cases) {
    KrigingProbe<double> k;
    ASSERT_NO_FATAL_FAILURE(Solved(k));
    KrigingLines lines;
    EXPECT_EQ(1, c.first(k)) << c.second;
    EXPECT_EQ(Lines({c.second}), lines.Refusals());
    EXPECT_TRUE(lines.Fits().empty()) << c.second;
  }
}

/* While scope 502 is off, or the verbosity is below 3, a refusal prints nothing at all. */
TEST(KrigingRefusals, NothingWhileScope502IsOff) {
  for (bool scopeOn : {false, true}) {
    kvtest::MsgCapture cap;
    if (scopeOn) {
      cap.AddScope(502);
      cap.SetLevel(Kvelo::MessageToolEnums::LEVEL_2);
    } else {
      cap.SetLevel(Kvelo::MessageToolEnums::LEVEL_INTERNAL);
    }
    Kriging<double> k;
    EXPECT_EQ(1, k.Solve());
    EXPECT_EQ(1, k.PutNumVar(0));
    C_MatMGe<double> P = Filled(1, 2, kNaN), Yp;
    EXPECT_EQ(1, k.EvalModel(P, Yp));
    EXPECT_EQ(0, cap.Count()) << scopeOn;
  }
}

/* Every entry point that takes points or values from the host refuses one that is not a
 * number (NaN, +inf or -inf): 1, one reason line, and nothing of the caller's written. */
TEST(KrigingRefusals, NonFiniteHostValuesAreRefused) {
  struct Case {
    const char* what;
    const char* reason;
    std::function<int(KrigingProbe<double>&, double)> call;
  };
  C_MatMGe<double> sentinel = Filled(2, 3, 7.0);
  const std::vector<Case> cases = {
      {"EvalModel", kPointsNotFinite,
       [&](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> X = SampleInputs<double>(3, 2, 9u), Y = sentinel;
         X.SetVal(1, 0, bad);
         const int r = k.EvalModel(X, Y);
         EXPECT_TRUE(SameMat(Y, sentinel));
         return r;
       }},
      {"EvalModel with refinement points", kPointsNotFinite,
       [&](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> X = SampleInputs<double>(4, 2, 9u), Y = sentinel, Xsel = sentinel;
         X.SetVal(3, 1, bad);
         int want = 2;
         double maxErr = -5.0;
         const int dim = k.GetTestRelativeErrorDim();
         const int r = k.EvalModel(X, Y, want, Xsel, maxErr, false);
         EXPECT_TRUE(SameMat(Y, sentinel));
         EXPECT_TRUE(SameMat(Xsel, sentinel));
         EXPECT_EQ(2, want);
         EXPECT_EQ(-5.0, maxErr);
         EXPECT_EQ(dim, k.GetTestRelativeErrorDim());
         return r;
       }},
      {"GetPredictorError at points", kPointsNotFinite,
       [](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> X = SampleInputs<double>(3, 2, 9u);
         X.SetVal(0, 1, bad);
         double a = -1.0, rel = -2.0;
         int count = -3;
         const int r = k.GetPredictorError(X, a, rel, count);
         EXPECT_EQ(-1.0, a);
         EXPECT_EQ(-2.0, rel);
         EXPECT_EQ(-3, count);
         EXPECT_FALSE(k.KeepPredErr);
         return r;
       }},
      {"GetPredictorError of correlations",
       "Kriging: the correlations or trend rows hold a value that is not finite",
       [&](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> R = Filled(2, 8, 0.5), F = Filled(2, 3, 1.0), E = sentinel;
         R.SetVal(1, 4, bad);
         const int r = k.GetPredictorError(R, F, E);
         EXPECT_TRUE(SameMat(E, sentinel));
         return r;
       }},
      {"GetError", kValuesNotFinite,
       [&](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> Y1 = Filled(3, 1, 1.0), Y2 = Filled(3, 1, 2.0), E = sentinel;
         Y2.SetVal(2, 0, bad);
         const int r = k.GetError(Y1, Y2, E);
         EXPECT_TRUE(SameMat(E, sentinel));
         return r;
       }},
      {"GetError, largest", kValuesNotFinite,
       [](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> Y1 = Filled(3, 1, 1.0), Y2 = Filled(3, 1, 2.0);
         Y1.SetVal(1, 0, bad);
         double e = -1.0;
         const int r = k.GetError(Y1, Y2, e);
         EXPECT_EQ(-1.0, e);
         return r;
       }},
      {"GetRelativeError", kValuesNotFinite,
       [&](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> Y1 = Filled(3, 1, 1.0), Y2 = Filled(3, 1, 2.0), R = sentinel;
         Y1.SetVal(0, 0, bad);
         const int r = k.GetRelativeError(Y1, Y2, R);
         EXPECT_TRUE(SameMat(R, sentinel));
         return r;
       }},
      {"CheckError at a point", kPointsNotFinite,
       [](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> X = SampleInputs<double>(3, 2, 9u), Y = Filled(3, 1, 1.0);
         X.SetVal(2, 0, bad);
         double err = -1.0;
         const int r = k.CheckError(X, Y, err);
         EXPECT_EQ(-1.0, err);
         return r;
       }},
      {"CheckRelativeError of a value", kValuesNotFinite,
       [](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> X = SampleInputs<double>(3, 2, 9u), Y = Filled(3, 1, 1.0);
         Y.SetVal(1, 0, bad);
         double rel = -1.0, pred = -2.0;
         const int r = k.CheckRelativeError(X, Y, rel, pred);
         EXPECT_EQ(-1.0, rel);
         EXPECT_EQ(-2.0, pred);
         return r;
       }},
      {"getR2 of vectors", kValuesNotFinite,
       [](KrigingProbe<double>& k, double bad) {
         RVec a(3, 1.0), b(3, 2.0);
         b[1] = bad;
         double r2 = -1.0;
         const int r = k.getR2(a, b, r2);
         EXPECT_EQ(0.0, r2); /* set first, as every refusal of getR2 does */
         return r;
       }},
      {"getR2 of matrices", kValuesNotFinite,
       [](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> A = Filled(3, 2, 1.0), B = Filled(3, 2, 2.0);
         A.SetVal(2, 1, bad);
         double r2 = -1.0;
         const int r = k.getR2(A, B, r2);
         EXPECT_EQ(0.0, r2);
         return r;
       }},
      {"GetRelativePredictorErrorNorm", kValuesNotFinite,
       [&](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> Y = Filled(2, 1, 1.0), Err = Filled(2, 1, 0.1), R = sentinel;
         Err.SetVal(1, 0, bad);
         const int r = k.GetRelativePredictorErrorNorm(Y, Err, R);
         EXPECT_TRUE(SameMat(R, sentinel));
         return r;
       }},
      {"GetRelativePredictorError", kValuesNotFinite,
       [&](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> Y = Filled(2, 1, 1.0), Err = Filled(2, 1, 0.1), R = sentinel;
         Y.SetVal(0, 0, bad);
         const int r = k.GetRelativePredictorError(Y, Err, R);
         EXPECT_TRUE(SameMat(R, sentinel));
         return r;
       }},
      {"CheckNewPoints", kPointsNotFinite,
       [&](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> cand = Filled(3, 2, 5.0), kept = sentinel;
         cand.SetVal(0, 1, bad);
         int* index = nullptr;
         const int r = k.CheckNewPoints(cand, kept, index, 0.1);
         EXPECT_EQ(nullptr, index);
         EXPECT_TRUE(SameMat(kept, sentinel));
         return r;
       }},
      {"CheckNewPoints with a minimum distance",
       "Kriging: the minimum distance is not a finite number",
       [&](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> cand = Filled(3, 2, 5.0), kept = sentinel;
         int* index = nullptr;
         const int r = k.CheckNewPoints(cand, kept, index, bad);
         EXPECT_EQ(nullptr, index);
         EXPECT_TRUE(SameMat(kept, sentinel));
         return r;
       }},
      {"refinement Solve of a candidate", kPointsNotFinite,
       [&](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> Xc = Filled(2, 2, 5.0), Yc = Filled(2, 1, 1.0);
         C_MatMGe<double> Xnew = sentinel, Xall = sentinel;
         Xc.SetVal(1, 0, bad);
         double rel = -1.0, abs = -2.0;
         int numNew = -3, numSamp = -4;
         const int r = k.Solve(Xc, Yc, rel, abs, numNew, Xnew, numSamp, Xall, 0.1);
         EXPECT_EQ(-1.0, rel);
         EXPECT_EQ(-2.0, abs);
         EXPECT_EQ(-3, numNew);
         EXPECT_EQ(-4, numSamp);
         EXPECT_TRUE(SameMat(Xnew, sentinel));
         EXPECT_TRUE(SameMat(Xall, sentinel));
         EXPECT_EQ(8, k.NumSamp);
         return r;
       }},
      {"refinement Solve of a candidate output", kValuesNotFinite,
       [&](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> Xc = Filled(2, 2, 5.0), Yc = Filled(2, 1, 1.0), Xnew = sentinel,
                          Xall = sentinel;
         Xc.SetVal(1, 0, 6.0);
         Yc.SetVal(0, 0, bad);
         double rel = -1.0, abs = -2.0;
         int numNew = -3, numSamp = -4;
         const int r = k.Solve(Xc, Yc, rel, abs, numNew, Xnew, numSamp, Xall, 0.1);
         EXPECT_EQ(-3, numNew);
         EXPECT_TRUE(SameMat(Xnew, sentinel));
         EXPECT_EQ(8, k.NumSamp);
         return r;
       }},
      {"PutInpTestMtx", kPointsNotFinite,
       [](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> Tm = SampleInputs<double>(4, 2, 9u);
         Tm.SetVal(3, 0, bad);
         const int r = k.PutInpTestMtx(Tm);
         EXPECT_FALSE(k.InpTestSet);
         return r;
       }},
      {"AppendSampData of inputs", "Kriging: the appended rows hold a value that is not finite "
                                   "(AppendSampData)",
       [](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> X = Filled(2, 2, 5.0), Y = Filled(2, 1, 1.0);
         X.SetVal(0, 0, bad);
         const int r = k.AppendSampData(X, Y);
         EXPECT_EQ(8, k.NumSamp);
         EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
         EXPECT_FALSE(k.NewSamples);
         return r;
       }},
      {"AppendSampData of outputs", "Kriging: the appended rows hold a value that is not finite "
                                    "(AppendSampData)",
       [](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> X = Filled(2, 2, 5.0), Y = Filled(2, 1, 1.0);
         Y.SetVal(1, 0, bad);
         const int r = k.AppendSampData(X, Y);
         EXPECT_EQ(8, k.NumSamp);
         return r;
       }},
      {"PutKernVec", kKernelValue, PutBadKernel},
      {"EvalCorrMtx", kPointsNotFinite,
       [](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> X = SampleInputs<double>(3, 2, 9u);
         X.SetVal(1, 1, bad);
         C_MatMSym<double> R(2, 1);
         R(1, 0) = 9.0;
         const int r = k.EvalCorrMtx(X, R);
         EXPECT_EQ(2, R.rows);
         EXPECT_EQ(9.0, R(1, 0));
         return r;
       }},
      {"EvalQuadPolynomMtx", kPointsNotFinite,
       [&](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> X = SampleInputs<double>(3, 2, 9u), F = sentinel;
         X.SetVal(2, 1, bad);
         int terms = -1;
         const int r = k.EvalQuadPolynomMtx(X, terms, F, 0);
         EXPECT_EQ(-1, terms);
         EXPECT_TRUE(SameMat(F, sentinel));
         return r;
       }},
      {"DiagOfCovarMtx", kPointsNotFinite,
       [](KrigingProbe<double>& k, double bad) {
         C_MatMGe<double> X = SampleInputs<double>(3, 2, 9u);
         X.SetVal(0, 0, bad);
         RVec var(1, -1.0);
         const int r = k.DiagOfCovarMtx(X, var);
         EXPECT_EQ(1, var.Dim());
         EXPECT_EQ(-1.0, var[0]);
         return r;
       }},
  };
  for (const Case& c : cases)
    for (double bad : {kNaN, kInf, -kInf}) {
      SCOPED_TRACE(std::string(c.what) + " with " + std::to_string(bad));
      KrigingProbe<double> k;
      ASSERT_NO_FATAL_FAILURE(Solved(k));
      KrigingLines lines;
      EXPECT_EQ(1, c.call(k, bad));
      EXPECT_EQ(Lines({c.reason}), lines.Refusals());
    }
}

/* The kernel values that no fit makes are refused like those that are not numbers. */
TEST(KrigingRefusals, KernelValuesAtOrBelowZeroAreRefused) {
  for (double bad : {0.0, -0.0, -1.0, -1e-300}) {
    SCOPED_TRACE(bad);
    KrigingProbe<double> k;
    ASSERT_NO_FATAL_FAILURE(Solved(k));
    KrigingLines lines;
    EXPECT_EQ(1, PutBadKernel(k, bad));
    EXPECT_EQ(Lines({kKernelValue}), lines.Refusals());
  }
  /* The smallest positive value is one a fit can hold. */
  KrigingProbe<double> k;
  ASSERT_NO_FATAL_FAILURE(Solved(k));
  RVec tiny(1, std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(0, k.PutKernVec(tiny));
}

/* Complex points and values are numbers only when both parts are. */
TEST(KrigingRefusals, ComplexValuesWithAPartThatIsNotANumber) {
  for (bool imaginary : {false, true}) {
    KrigingProbe<cplx> k;
    ASSERT_NO_FATAL_FAILURE(Solved(k));
    const cplx bad = imaginary ? cplx(0.5, kNaN) : cplx(kInf, 0.5);
    KrigingLines lines;
    C_MatMGe<cplx> X = SampleInputs<cplx>(3, 2, 9u), Y(1, 1);
    X.SetVal(1, 1, bad);
    Y.SetVal(0, 0, cplx(7.0, 7.0));
    EXPECT_EQ(1, k.EvalModel(X, Y));
    EXPECT_EQ(1, Y.rows);
    EXPECT_EQ(cplx(7.0, 7.0), Y.GetVal(0, 0));
    C_MatMGe<cplx> Xa = SampleInputs<cplx>(1, 2, 19u), Ya(1, 1);
    Ya.SetVal(0, 0, bad);
    EXPECT_EQ(1, k.AppendSampData(Xa, Ya));
    EXPECT_EQ(8, k.NumSamp);
    EXPECT_EQ(Lines({kPointsNotFinite,
                     "Kriging: the appended rows hold a value that is not finite "
                     "(AppendSampData)"}),
              lines.Refusals());
  }
}

/* Finite points far outside the samples whose trend overflows have no prediction: refused
 * rather than answered with infinities, with their errors too. */
TEST(KrigingRefusals, PredictionsThatOverflowAreRefused) {
  KrigingProbe<double> k;
  ASSERT_NO_FATAL_FAILURE(Solved(k, PolyQuadratic));
  ASSERT_EQ(PolyQuadratic, k.GetPolynomType());
  C_MatMGe<double> P = MakeMat<double>(2, 2, {0.5, 0.5, 1e300, 0.5}), Y;
  KrigingLines lines;
  EXPECT_EQ(1, k.EvalModel(P, Y));
  double a = -1.0, rel = -1.0;
  int count = -1;
  EXPECT_EQ(1, k.GetPredictorError(P, a, rel, count));
  EXPECT_EQ(-1.0, a);
  EXPECT_EQ(Lines(2, "Kriging: a prediction or predictor error is not finite"), lines.Refusals());
  /* The first point alone is answered. */
  C_MatMGe<double> P1 = MakeMat<double>(1, 2, {0.5, 0.5});
  EXPECT_EQ(0, k.EvalModel(P1, Y));
  EXPECT_TRUE(std::isfinite(Y.GetVal(0, 0)));
}

/* Samples that are not numbers are refused when given; and should they reach the model's
 * sample matrices all the same (written by a derived model), the fit refuses them before any
 * step meets them, with or without a kernel search (whose trials would otherwise each fail
 * on them). */
TEST(KrigingRefusals, SamplesThatAreNotNumbersAreNamedByTheFit) {
  const char* const why =
      "Kriging: the samples hold a value that is not finite (PutInpSampMtx, PutOutSampMtx)";
  for (bool search : {false, true})
    for (bool inputs : {false, true}) {
      C_MatMGe<double> X = SampleInputs<double>(8, 2, 7u), Y = SmoothOutputs(X, 1);
      C_MatMGe<double> Xn = X, Yn = Y;
      (inputs ? Xn : Yn).SetVal(3, 0, kNaN);
      SmallModelSpec s;
      s.kernOpt = search ? KernOptLikelihood : KernOptNone;
      {
        KrigingProbe<double> k;
        KrigingLines lines;
        EXPECT_EQ(1, SolveSmall(k, Xn, Yn, s));
        EXPECT_EQ(inputs ? KrigingInitial : KrigingSolveRequired, k.GetKrigingStatus());
        EXPECT_EQ(inputs, !k.InpSampSet);
        EXPECT_FALSE(k.OutSampSet);
        EXPECT_TRUE(lines.Fits().empty());
        EXPECT_EQ(Lines({why}), lines.Refusals());
      }
      KrigingProbe<double> k;
      ASSERT_EQ(0, SolveSmall(k, X, Y, s));
      (inputs ? k.InpSampMtx : k.OutSampMtx).SetVal(3, 0, kNaN);
      ASSERT_EQ(0, k.PutDropToler(1e-7)); /* demotes: the next Solve fits */
      KrigingLines lines;
      EXPECT_EQ(1, k.Solve());
      EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
      EXPECT_TRUE(lines.Fits().empty());
      EXPECT_EQ(Lines({why}), lines.Refusals());
    }
}

}  // namespace
