/* test_Kriging_roundtrip.cpp: every model that Solve fits comes back whole through each
 * writer and reader pair: Write then Read, Write without its version text then ReadOld, the
 * copy constructor and Copy. A table of fitted states (trend types, correlation functions,
 * kernel lengths and parameterisations in every order of the setters, output groups,
 * scaling types, complex values, appended samples, kernel searches, refinement) for both
 * value types; and the option values Solve refuses, which no reader takes either. */
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kriging_files.h"
#include "kriging_fixtures.h"

using kvtest::Bytes;

namespace {

testing::Environment* const g_traceEnv =
    testing::AddGlobalTestEnvironment(new kvtest::TraceToolEnvironment);

/* The version text "1.0" as Write puts it first: its length (4 bytes), then 3 bytes. */
const std::size_t kVersionBytes = 7;

template <class T>
int ReadInto(Kriging<T>& k, const Bytes& data, bool withVersion) {
  kvtest::FilePtr f = kvtest::FileWith(data);
  if (!f) return -1;
  return withVersion ? k.Read(f.get()) : k.ReadOld(f.get());
}

/* The model w, fitted, comes back whole through each pair: every reader and copy returns 0,
 * has w's kernel count, writes w's file byte for byte, predicts w's values bitwise without a
 * refit, and refits to w's predictor errors. */
template <class T>
void ExpectRoundTrips(KrigingProbe<T>& w) {
  ASSERT_EQ(KrigingSolved, w.GetKrigingStatus());
  int res = 1;
  const Bytes file = kvtest::WrittenBytes(w, &res);
  ASSERT_EQ(0, res);
  ASSERT_GT(file.size(), kVersionBytes);
  const Bytes older(file.begin() + kVersionBytes, file.end());
  int n = 0, p = 0;
  w.GetNumVar(n);
  w.GetNumKern(p);
  C_MatMGe<T> P = SampleInputs<T>(4, n, 4242u);

  for (int way = 0; way < 4; ++way) {
    SCOPED_TRACE(way == 0 ? "Read" : way == 1 ? "ReadOld" : way == 2 ? "Copy" : "copy constructor");
    int err = 1;
    std::unique_ptr<Kriging<T>> r;
    if (way == 3) {
      r.reset(new Kriging<T>(w, err));
    } else {
      r.reset(new Kriging<T>());
      if (way == 0) err = ReadInto(*r, file, true);
      if (way == 1) err = ReadInto(*r, older, false);
      if (way == 2) err = r->Copy(&w);
    }
    ASSERT_EQ(0, err);
    int rp = 0;
    r->GetNumKern(rp);
    EXPECT_EQ(p, rp);
    EXPECT_TRUE(kvtest::BytesEqual(file, kvtest::WrittenBytes(*r)));
    ASSERT_NO_FATAL_FAILURE(kvtest::ExpectSamePredictions<T>(w, *r, P));
    ASSERT_NO_FATAL_FAILURE(kvtest::ExpectSamePredictorErrors<T>(w, *r, P, 1e-8));
    /* The refit at the stored kernel gives the file back. */
    EXPECT_TRUE(kvtest::BytesEqual(file, kvtest::WrittenBytes(*r)));
  }
}

/* One fitted state: how to get there from a new model, with samples X (n inputs) and
 * outputs Y (q outputs). */
template <class T>
struct State {
  const char* what;
  int n, q, m;
  std::function<int(KrigingProbe<T>&, C_MatMGe<T>&, C_MatMGe<T>&)> make;
};

template <class T>
int Give(KrigingProbe<T>& k, C_MatMGe<T>& X, C_MatMGe<T>& Y) {
  int r = k.PutInpSampMtx(X);
  if (r == 0) r = k.PutOutSampMtx(Y);
  return r;
}

template <class T>
std::vector<State<T>> States() {
  typedef KrigingProbe<T> K;
  typedef C_MatMGe<T> M;
  auto opts = [](int poly, int corr, int scaling, int kvt, int opt) {
    SmallModelSpec s;
    s.poly = poly;
    s.corr = corr;
    s.scaling = scaling;
    s.kernVarType = kvt;
    s.kernOpt = opt;
    return s;
  };
  std::vector<State<T>> v;
  for (int poly = 0; poly <= 4; ++poly)
    v.push_back({"trend type", 2, 1, 10, [=](K& k, M& X, M& Y) {
                   return SolveSmall(k, X, Y, opts(poly, CorrGaussian, 0, 0, 0));
                 }});
  for (int corr : {CorrExponential, CorrLinear, CorrCubicSpline})
    v.push_back({"correlation function", 2, 1, 9, [=](K& k, M& X, M& Y) {
                   return SolveSmall(k, X, Y, opts(PolyLinear, corr, 0, 1, 0));
                 }});
  for (int scaling = 0; scaling <= 3; ++scaling)
    v.push_back({"scaling type", 3, 2, 12, [=](K& k, M& X, M& Y) {
                   return SolveSmall(k, X, Y, opts(PolyLinear, CorrGaussian, scaling, 1, 0));
                 }});
  /* Trend degrees the fit lowers: more terms than samples, then a rank test failing on a
   * constant input (the constant fallback keeps the stored type). */
  v.push_back({"quadratic lowered by the sample count", 3, 1, 8, [=](K& k, M& X, M& Y) {
                 return SolveSmall(k, X, Y, opts(PolyQuadratic, CorrGaussian, 0, 0, 0));
               }});
  v.push_back({"quadratic falling back to a constant", 2, 1, 8, [=](K& k, M& X, M& Y) {
                 for (int i = 0; i < X.rows; ++i) X.SetVal(i, 1, T(2.0));
                 return SolveSmall(k, X, Y, opts(PolyQuadratic, CorrGaussian, 0, 0, 0));
               }});
  /* Output groups. */
  v.push_back({"one group of three outputs", 2, 3, 9, [=](K& k, M& X, M& Y) {
                 SmallModelSpec s = opts(PolyConstant, CorrGaussian, 2, 0, 0);
                 s.groups = 1;
                 return SolveSmall(k, X, Y, s);
               }});
  v.push_back({"one group per output", 2, 3, 9, [=](K& k, M& X, M& Y) {
                 SmallModelSpec s = opts(PolyConstant, CorrGaussian, 0, 0, 0);
                 s.groups = 3;
                 return SolveSmall(k, X, Y, s);
               }});
  v.push_back({"groups of sizes 1 and 2", 2, 3, 9, [=](K& k, M& X, M& Y) {
                 SmallModelSpec s = opts(PolyLinear, CorrGaussian, 3, 1, 0);
                 s.groups = 2;
                 s.sizes = {1, 2};
                 return SolveSmall(k, X, Y, s);
               }});
  /* Kernel lengths in every order of the setters. The kernel count follows the
   * parameterisation only when PutNumVar or PutKernVec sets it. */
  v.push_back({"per input after PutNumVar: one value", 3, 1, 10, [](K& k, M& X, M& Y) {
                 int r = k.PutNumSol(1, 1, nullptr);
                 if (r == 0) r = k.PutNumVar(3);
                 if (r == 0) r = k.PutKrigingKernVarType(KernPerInput);
                 if (r == 0) r = Give(k, X, Y);
                 if (r == 0) r = k.Solve();
                 return (r == 0 && k.KernVec.Dim() == 1) ? 0 : 1;
               }});
  v.push_back({"shared after PutNumVar per input: n values", 3, 1, 10, [](K& k, M& X, M& Y) {
                 int r = k.PutKrigingKernVarType(KernPerInput);
                 if (r == 0) r = k.PutNumSol(1, 1, nullptr);
                 if (r == 0) r = k.PutNumVar(3);
                 if (r == 0) r = k.PutKrigingKernVarType(KernOneForAll);
                 if (r == 0) r = Give(k, X, Y);
                 if (r == 0) r = k.Solve();
                 return (r == 0 && k.KernVec.Dim() == 3) ? 0 : 1;
               }});
  v.push_back({"per input after a fit and a new solve", 2, 1, 9, [=](K& k, M& X, M& Y) {
                 int r = SolveSmall(k, X, Y, opts(PolyConstant, CorrGaussian, 1, 0, 0));
                 if (r == 0) r = k.PutKrigingKernVarType(KernPerInput);
                 if (r == 0) r = k.Solve();
                 return (r == 0 && k.KernVec.Dim() == 1) ? 0 : 1;
               }});
  v.push_back({"kernel given without PutNumVar", 2, 1, 9, [](K& k, M& X, M& Y) {
                 int r = k.PutNumSol(1, 1, nullptr);
                 if (r == 0) r = Give(k, X, Y);
                 RVec t(1, 0.7);
                 if (r == 0) r = k.PutKernVec(t);
                 if (r == 0) r = k.Solve();
                 return r;
               }});
  v.push_back({"kernel given per input, then shared parameterisation", 2, 1, 9,
               [](K& k, M& X, M& Y) {
                 int r = k.PutKrigingKernVarType(KernPerInput);
                 if (r == 0) r = k.PutNumSol(1, 1, nullptr);
                 if (r == 0) r = Give(k, X, Y);
                 RVec t(2, 0.7);
                 t[1] = 1.9;
                 if (r == 0) r = k.PutKernVec(t);
                 if (r == 0) r = k.PutKrigingKernVarType(KernOneForAll);
                 if (r == 0) r = k.Solve();
                 return r;
               }});
  /* Kernel searches: shared and per input, a second solve that keeps the kernel (step 2),
   * and one after appended samples. */
  for (int kvt : {0, 1})
    v.push_back({"kernel search", 2, 1, 10, [=](K& k, M& X, M& Y) {
                   return SolveSmall(k, X, Y, opts(PolyConstant, CorrGaussian, 3, kvt, 1));
                 }});
  v.push_back({"search, then a solve between searches", 2, 1, 10, [=](K& k, M& X, M& Y) {
                 int r = SolveSmall(k, X, Y, opts(PolyLinear, CorrExponential, 1, 1, 1));
                 if (r == 0) r = k.SetStep(2);
                 if (r == 0) r = k.PutOutSampMtx(Y); /* the same outputs: one more fit */
                 if (r == 0) r = k.Solve();
                 return r;
               }});
  v.push_back({"appended samples, then a search", 2, 1, 8, [=](K& k, M& X, M& Y) {
                 int r = SolveSmall(k, X, Y, opts(PolyLinear, CorrGaussian, 3, 1, 1));
                 M X2 = SampleInputs<T>(3, 2, 777u), Y2 = SmoothOutputs(X2, 1);
                 if (r == 0) r = k.AppendSampData(X2, Y2);
                 if (r == 0) r = k.Solve();
                 return (r == 0 && k.NewSamples) ? 0 : 1;
               }});
  v.push_back({"refinement step", 2, 2, 8, [=](K& k, M& X, M& Y) {
                 int r = SolveSmall(k, X, Y, opts(PolyConstant, CorrGaussian, 2, 0, 0));
                 M C = SampleInputs<T>(4, 2, 31u), CY = SmoothOutputs(C, 2), Xnew, Xall;
                 double rel = 0, abs = 0;
                 int numNew = 0, numSamp = 0;
                 if (r == 0) r = k.Solve(C, CY, rel, abs, numNew, Xnew, numSamp, Xall, 0.05);
                 return (r == 0 && numNew > 0) ? 0 : 1;
               }});
  return v;
}

template <class T>
void EveryFittedStateRoundTrips() {
  for (const State<T>& s : States<T>()) {
    SCOPED_TRACE(s.what);
    KrigingProbe<T> w;
    C_MatMGe<T> X = SampleInputs<T>(s.m, s.n, 100u + s.m + s.n), Y = SmoothOutputs(X, s.q);
    ASSERT_EQ(0, s.make(w, X, Y));
    ASSERT_NO_FATAL_FAILURE(ExpectRoundTrips(w));
  }
}

}  // namespace

TEST(KrigingRoundTrip, EveryFittedStateComesBackThroughEveryPair) {
  EveryFittedStateRoundTrips<double>();
  EveryFittedStateRoundTrips<cplx>();
}

/* The option values that no reader takes are those that Solve does not fit with: a
 * solution type other than 0, a kernel parameterisation or optimisation other than 0 and 1.
 * Each is refused by Solve with its reason, the model staying unsolved, so Write has nothing
 * to write; a file holding one is refused by both readers (see the persistence tests). */
TEST(KrigingRoundTrip, OptionValuesThatNoReaderTakesAreNotFitted) {
  struct Case {
    std::function<void(Kriging<double>&)> set;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {[](Kriging<double>& k) { k.PutSolnType(static_cast<E_KrigingSolType>(1)); },
       "Kriging: the solution type must be 0 (PutSolnType)"},
      {[](Kriging<double>& k) { k.PutKrigingKernOptType(static_cast<E_KrigingKernOptType>(2)); },
       "Kriging: the kernel optimisation must be 0 or 1 (PutKrigingKernOptType)"},
      {[](Kriging<double>& k) {
         k.PutKrigingKernOptType(static_cast<E_KrigingKernOptType>(-1));
       },
       "Kriging: the kernel optimisation must be 0 or 1 (PutKrigingKernOptType)"},
      /* With a kernel given, no estimate needs the parameterisation: still refused. */
      {[](Kriging<double>& k) {
         k.PutKrigingKernVarType(static_cast<E_KrigingKernVarType>(2));
       },
       "Kriging: the kernel parameterisation must be 0 or 1 (PutKrigingKernVarType)"},
  };
  C_MatMGe<double> X = SampleInputs<double>(8, 2, 3u), Y = SmoothOutputs(X, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    Kriging<double> k;
    SmallModelSpec s;
    s.theta = {1.5};
    ASSERT_EQ(0, SolveSmall(k, X, Y, s));
    c.set(k);
    kvtest::KrigingLines lines;
    EXPECT_EQ(1, k.Solve());
    EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
    EXPECT_EQ(std::vector<std::string>({c.reason}), lines.Refusals());
    int res = 0;
    EXPECT_TRUE(kvtest::WrittenBytes(k, &res).empty());
    EXPECT_EQ(1, res);
  }
}

/* The model file holds no drop tolerance (nor nugget): a model fitted with another drop
 * tolerance comes back whole when the reading model has the same one before it refits. */
TEST(KrigingRoundTrip, AnotherDropToleranceComesBackWithTheReadersOwn) {
  C_MatMGe<double> X = SampleInputs<double>(10, 2, 55u), Y = SmoothOutputs(X, 1);
  KrigingProbe<double> w;
  ASSERT_EQ(0, w.PutDropToler(1e-6));
  SmallModelSpec s;
  s.scaling = ScaleInputsOutputs;
  ASSERT_EQ(0, SolveSmall(w, X, Y, s));
  const kvtest::Bytes file = kvtest::WrittenBytes(w);
  Kriging<double> r;
  ASSERT_EQ(0, r.PutDropToler(1e-6));
  ASSERT_EQ(0, ReadInto(r, file, true));
  C_MatMGe<double> P = SampleInputs<double>(4, 2, 56u);
  ASSERT_NO_FATAL_FAILURE(kvtest::ExpectSamePredictions(w, r, P));
  ASSERT_NO_FATAL_FAILURE(kvtest::ExpectSamePredictorErrors(w, r, P, 1e-8));
  EXPECT_TRUE(kvtest::BytesEqual(file, kvtest::WrittenBytes(r)));
}

namespace {

/* Four samples at one input value, outputs of -1e-300 and three of -1e154, no trend, no
 * scaling, exponential correlation, drop tolerance 0.5: the whitened outputs of this fit have
 * a sum of squares near the largest double. Solve takes them; both readers and Copy, given
 * the writer's drop tolerance, take the model back and write its file byte for byte. */
template <class T>
void FitNearTheTopOfTheRangeReadsBack() {
  C_MatMGe<T> X = MakeMat<T>(4, 1, {T(-2.0), T(-2.0), T(-2.0), T(-2.0)});
  C_MatMGe<T> Y = MakeMat<T>(4, 1, {T(-1e-300), T(-1e154), T(-1e154), T(-1e154)});
  SmallModelSpec s;
  s.poly = PolyNone;
  s.corr = CorrExponential;
  KrigingProbe<T> w;
  ASSERT_EQ(0, w.PutDropToler(0.5));
  ASSERT_EQ(0, SolveSmall(w, X, Y, s));
  int res = 1;
  const Bytes file = kvtest::WrittenBytes(w, &res);
  ASSERT_EQ(0, res);
  const Bytes older(file.begin() + kVersionBytes, file.end());
  C_MatMGe<T> P = MakeMat<T>(2, 1, {T(-2.0), T(-1.5)});
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way == 0 ? "Read" : way == 1 ? "ReadOld" : "Copy");
    Kriging<T> r;
    ASSERT_EQ(0, r.PutDropToler(0.5));
    const int err = way == 0 ? ReadInto(r, file, true)
                    : way == 1 ? ReadInto(r, older, false)
                               : r.Copy(&w);
    ASSERT_EQ(0, err);
    EXPECT_TRUE(kvtest::BytesEqual(file, kvtest::WrittenBytes(r)));
    ASSERT_NO_FATAL_FAILURE(kvtest::ExpectSamePredictions<T>(w, r, P));
  }
}

}  // namespace

TEST(KrigingRoundTrip, FitNearTheTopOfTheRangeReadsBack) {
  FitNearTheTopOfTheRangeReadsBack<double>();
  FitNearTheTopOfTheRangeReadsBack<cplx>();
}

namespace {

/* A model fitted per input on 3 inputs, then given samples of 2 inputs: PutInpSampMtx keeps
 * the kernel count, so the kernel left over holds 3 values for 2 inputs, a length no model
 * file holds and no reader takes. Solve refuses it by name (plain build and kernel search
 * alike), leaving the model unsolved with nothing to write; once a kernel of one value per
 * input is given the fit takes the samples and every reader and copy takes the model back. */
template <class T>
void KernelOfAnotherInputCountIsNotFitted(int kernOpt) {
  KrigingProbe<T> k;
  C_MatMGe<T> X3 = SampleInputs<T>(6, 3, 71u), Y3 = SmoothOutputs(X3, 1);
  SmallModelSpec s;
  s.poly = PolyNone;
  s.corr = CorrLinear;
  s.kernVarType = KernPerInput;
  s.kernOpt = kernOpt;
  ASSERT_EQ(0, SolveSmall(k, X3, Y3, s));
  int p = 0;
  k.GetNumKern(p);
  ASSERT_EQ(3, p);

  C_MatMGe<T> X2 = SampleInputs<T>(5, 2, 72u), Y2 = SmoothOutputs(X2, 1);
  ASSERT_EQ(0, k.PutInpSampMtx(X2));
  ASSERT_EQ(0, k.PutOutSampMtx(Y2));
  {
    kvtest::KrigingLines lines;
    EXPECT_EQ(1, k.Solve());
    EXPECT_EQ(std::vector<std::string>(
                  {"Kriging: the kernel to fit with holds neither one value nor one per input"}),
              lines.Refusals());
  }
  EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
  int res = 0;
  EXPECT_TRUE(kvtest::WrittenBytes(k, &res).empty());
  EXPECT_EQ(1, res);

  RVec t(2, 0.8);
  ASSERT_EQ(0, k.PutKernVec(t));
  ASSERT_EQ(0, k.Solve());
  ASSERT_NO_FATAL_FAILURE(ExpectRoundTrips(k));
}

}  // namespace

TEST(KrigingRoundTrip, KernelOfAnotherInputCountIsNotFitted) {
  for (int kernOpt : {0, 1}) {
    SCOPED_TRACE(kernOpt == 0 ? "plain build" : "kernel search");
    KernelOfAnotherInputCountIsNotFitted<double>(kernOpt);
    KernelOfAnotherInputCountIsNotFitted<cplx>(kernOpt);
  }
}
