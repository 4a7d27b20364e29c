/* test_Kriging_copy.cpp: model copies by the copy constructor and Copy: what a copy carries
 * and what it does not, its refit for predictor errors, and refusals (unsolved sources,
 * failing getters marked at their lines, inconsistent data, values no fit makes) that leave
 * the target alone. */
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "kriging_files.h"
#include "kriging_fixtures.h"
#include "msgcapture.h"

using kvtest::Bytes;
using kvtest::KrigingTraceLines;

namespace {

testing::Environment* const g_traceEnv =
    testing::AddGlobalTestEnvironment(new kvtest::TraceToolEnvironment);

/* A solved model of 8 samples, 2 inputs and 3 outputs in groups {2, 1}. */
template <class T>
void SolvedSource(Kriging<T>& k, int scaling, int poly = PolyLinear, int kernVarType = 0) {
  C_MatMGe<T> X = SampleInputs<T>(8, 2, 40u + scaling);
  C_MatMGe<T> Y = SmoothOutputs(X, 3);
  SmallModelSpec s;
  s.groups = 2;
  s.sizes = {2, 1};
  s.scaling = scaling;
  s.poly = poly;
  s.corr = CorrCubicSpline;
  s.kernVarType = kernVarType;
  s.theta = kernVarType ? std::vector<double>{0.9, 0.4} : std::vector<double>{0.6};
  ASSERT_EQ(0, SolveSmall(k, X, Y, s));
}

/* Both roads refuse src: the constructor's model stays new (state 0) with err := 1, and Copy
 * gives 1 and leaves target as it was (it still writes the bytes before). */
template <class T>
void ExpectBothRoadsRefuse(Kriging<T>& src, Kriging<T>& target, const Bytes& before) {
  int err = 0;
  Kriging<T> c(src, err);
  EXPECT_EQ(1, err);
  EXPECT_EQ(KrigingInitial, c.GetKrigingStatus());
  EXPECT_EQ(1, target.Copy(&src));
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::WrittenBytes(target), before));
}

/* A model whose getters can be made to fail or to hand out inconsistent values. */
template <class T>
class TamperedKriging : public Kriging<T> {
 public:
  typedef Kriging<T> B;
  typedef typename B::VecD VecD;
  typedef typename B::VecT VecT;
  enum Getter { kNone, kInp, kOut, kNumGlobal, kVecGlobal, kKernVarType, kKern, kInpScale,
                kInpIcpt, kOutScale, kOutIcpt, kCorr, kPoly };
  Getter failing = kNone; /* this getter returns 7 */
  bool longKernel = false, wideCorr = false, wrongSizes = false, widePoly = false;

  using B::GetKrigingKernVarType;
  int GetInpSampMtx(C_MatMGe<T>& X) override { return failing == kInp ? 7 : B::GetInpSampMtx(X); }
  int GetOutSampMtx(C_MatMGe<T>& Y) override { return failing == kOut ? 7 : B::GetOutSampMtx(Y); }
  int GetNumGlobalSol(int& g) const override {
    return failing == kNumGlobal ? 7 : B::GetNumGlobalSol(g);
  }
  int* GetVecGlobalSol(int& err) override {
    if (failing == kVecGlobal) {
      err = 7;
      return nullptr;
    }
    int* sizes = B::GetVecGlobalSol(err);
    if (wrongSizes && sizes != nullptr) sizes[0] += 1;
    return sizes;
  }
  int GetKrigingKernVarType(E_KrigingKernVarType& t) const override {
    return failing == kKernVarType ? 7 : B::GetKrigingKernVarType(t);
  }
  int GetKernVec(VecD& theta) override {
    if (failing == kKern) return 7;
    const int r = B::GetKernVec(theta);
    if (longKernel) {
      theta.Resize(theta.Dim() + 1);
      theta[theta.Dim() - 1] = 1.0;
    }
    return r;
  }
  int GetInpScaleVec(VecD& v) override { return failing == kInpScale ? 7 : B::GetInpScaleVec(v); }
  int GetInpInterceptVec(VecT& v) override {
    return failing == kInpIcpt ? 7 : B::GetInpInterceptVec(v);
  }
  int GetOutScaleVec(VecD& v) override { return failing == kOutScale ? 7 : B::GetOutScaleVec(v); }
  int GetOutInterceptVec(VecT& v) override {
    return failing == kOutIcpt ? 7 : B::GetOutInterceptVec(v);
  }
  int GetCorrCoeff(C_MatMGe<T>& G) override {
    if (failing == kCorr) return 7;
    const int r = B::GetCorrCoeff(G);
    if (wideCorr) G.ResizeKeep(G.rows, G.cols + 1);
    return r;
  }
  int GetPolyCoeff(C_MatMGe<T>& P) override {
    if (failing == kPoly) return 7;
    const int r = B::GetPolyCoeff(P);
    if (widePoly) P.ResizeKeep(P.rows, P.cols + 1);
    return r;
  }
};

}  // namespace

/* A copy of a solved model, by either road, for both value types and every scaling type:
 * state 2 with its factors to be rebuilt, the source's model (same file), the same
 * predictions at once, the same predictor errors after its own refit. */
template <class T>
void CopyRoundTrip(int scaling, int kernVarType) {
  SCOPED_TRACE("scaling " + std::to_string(scaling));
  KrigingProbe<T> src;
  SolvedSource(src, scaling, scaling == 2 ? PolyNone : PolyLinear, kernVarType);
  ASSERT_EQ(0, src.PutDropToler(1e-7));
  ASSERT_EQ(0, src.Solve());
  ASSERT_EQ(0, src.SetStep(4));
  const Bytes file = kvtest::WrittenBytes(src);
  ASSERT_FALSE(file.empty());

  int err = -1;
  Kriging<T> ctor(src, err);
  ASSERT_EQ(0, err);
  KrigingProbe<T> target;
  ASSERT_EQ(0, target.PutDropToler(1e-5));
  C_MatMGe<T> Tm = SampleInputs<T>(3, 2, 77u);
  target.SetTestInputs(Tm);
  target.SetStep(5);
  target.KeepPredErr = true;
  ASSERT_EQ(0, target.Copy(&src));

  for (Kriging<T>* k : {&ctor, static_cast<Kriging<T>*>(&target)}) {
    EXPECT_EQ(KrigingSolved, k->GetKrigingStatus());
    EXPECT_TRUE(k->ISSolveRequired());
    EXPECT_TRUE(kvtest::BytesEqual(kvtest::WrittenBytes(*k), file));
    int n = 0, p = 0;
    k->GetNumVar(n);
    k->GetNumKern(p);
    EXPECT_EQ(2, n);
    EXPECT_EQ(kernVarType ? 2 : 1, p);
  }
  /* Not carried: the constructor's copy has a new model's settings, Copy keeps its own. */
  EXPECT_EQ(1e-8, ctor.GetDropToler());
  EXPECT_EQ(1e-5, target.GetDropToler());
  EXPECT_TRUE(target.InpTestSet);
  EXPECT_TRUE(SameMat(Tm, target.InpTestMtx));
  EXPECT_EQ(1, target.Step);
  EXPECT_EQ(0, target.SolveCount);
  EXPECT_FALSE(target.KeepPredErr);
  EXPECT_FALSE(target.KernToEstimate);
  EXPECT_TRUE(target.CorrStale);
  EXPECT_TRUE(target.TrendStale);
  EXPECT_TRUE(SameVec(src.GlobalRangeVec, target.GlobalRangeVec));
  EXPECT_TRUE(SameMat(src.OutRangeMtx, target.OutRangeMtx));

  C_MatMGe<T> P = SampleInputs<T>(6, 2, 555u);
  ASSERT_NO_FATAL_FAILURE(kvtest::ExpectSamePredictions(src, ctor, P));

  /* Given the source's drop tolerance, the constructor's copy refits to the source's fit. */
  ASSERT_EQ(0, ctor.PutDropToler(1e-7));
  ASSERT_EQ(0, ctor.Solve());
  ASSERT_NO_FATAL_FAILURE(kvtest::ExpectSamePredictorErrors(src, ctor, P, 1e-12));
}

TEST(KrigingCopy, CopiesOfSolvedModelsBothValueTypes) {
  for (int scaling = 0; scaling <= 3; ++scaling) {
    CopyRoundTrip<double>(scaling, scaling % 2);
    CopyRoundTrip<cplx>(scaling, 1 - scaling % 2);
  }
}

/* A copy refits on the first request for predictor errors, at the copied kernel, and then
 * gives the source's predictor errors. */
TEST(KrigingCopy, FirstPredictorErrorRequestRefitsTheCopy) {
  Kriging<double> src;
  SolvedSource(src, ScaleInputsOutputs);
  int err = -1;
  Kriging<double> copy(src, err);
  ASSERT_EQ(0, err);
  C_MatMGe<double> P = SampleInputs<double>(4, 2, 9u);
  ASSERT_NO_FATAL_FAILURE(kvtest::ExpectSamePredictorErrors(src, copy, P, 1e-12));
  RVec ts(0), tc(0);
  src.GetKernVec(ts);
  copy.GetKernVec(tc);
  EXPECT_TRUE(SameVec(ts, tc));
}

/* Sources that are not solved: never given samples, or demoted by a setter. The
 * constructor's model stays new (state 0, sample flags clear); Copy changes nothing. */
TEST(KrigingCopy, SourcesThatAreNotSolvedAreRefused) {
  Kriging<double> target;
  SolvedSource(target, ScaleInputs);
  const Bytes before = kvtest::WrittenBytes(target);

  Kriging<double> fresh;
  int err = 0;
  Kriging<double> c1(fresh, err);
  EXPECT_NE(0, err);
  EXPECT_EQ(KrigingInitial, c1.GetKrigingStatus());
  C_MatMGe<double> X;
  EXPECT_EQ(1, c1.GetInpSampMtx(X));
  EXPECT_EQ(1, c1.GetOutSampMtx(X));
  EXPECT_EQ(1, target.Copy(&fresh));
  EXPECT_EQ(1, target.Copy(nullptr));

  Kriging<double> demoted;
  SolvedSource(demoted, ScaleNone);
  ASSERT_EQ(0, demoted.PutCorrFuncType(CorrGaussian)); /* state 1 */
  ExpectBothRoadsRefuse(demoted, target, before);

  EXPECT_EQ(KrigingSolved, target.GetKrigingStatus());
  EXPECT_FALSE(target.ISSolveRequired());
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::WrittenBytes(target), before));
}

/* Copying a model onto itself keeps its model and drops its factors. */
TEST(KrigingCopy, CopyOntoItself) {
  Kriging<cplx> k;
  SolvedSource(k, ScaleOutputs);
  const Bytes before = kvtest::WrittenBytes(k);
  C_MatMGe<cplx> P = SampleInputs<cplx>(3, 2, 1u), Y1, Y2;
  ASSERT_EQ(0, k.EvalModel(P, Y1));
  ASSERT_EQ(0, k.Copy(&k));
  EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
  EXPECT_TRUE(k.ISSolveRequired());
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::WrittenBytes(k), before));
  ASSERT_EQ(0, k.EvalModel(P, Y2));
  EXPECT_TRUE(SameMat(Y1, Y2));
}

/* A failing getter stops the copy: the constructor reports the getter's result, Copy 1;
 * the place is marked at the getter's line (the constructor marks the sample getters too,
 * Copy does not), and Copy leaves the target as it was. */
TEST(KrigingCopy, FailingGettersAreMarkedAtTheirLines) {
  typedef TamperedKriging<double> TK;
  struct Row {
    TK::Getter getter;
    int ctorLine;
    int copyLine; /* 0: no mark */
  };
  const Row rows[] = {{TK::kInp, 57, 0},         {TK::kOut, 62, 0},
                      {TK::kNumGlobal, 71, 203}, {TK::kVecGlobal, 73, 205},
                      {TK::kKernVarType, 76, 208}, {TK::kKern, 77, 209},
                      {TK::kInpScale, 98, 229},  {TK::kInpIcpt, 99, 230},
                      {TK::kOutScale, 109, 239}, {TK::kOutIcpt, 110, 240},
                      {TK::kCorr, 120, 249},     {TK::kPoly, 131, 259}};
  TK src;
  SolvedSource(src, ScaleInputsOutputs);
  Kriging<double> target;
  SolvedSource(target, ScaleNone, PolyConstant);
  const Bytes before = kvtest::WrittenBytes(target);

  for (const Row& r : rows) {
    SCOPED_TRACE(r.ctorLine);
    src.failing = r.getter;
    kvtest::MsgCapture cap;
    int err = 0;
    Kriging<double> c(src, err);
    EXPECT_EQ(7, err);
    EXPECT_EQ(KrigingInitial, c.GetKrigingStatus());
    EXPECT_EQ(std::vector<int>({r.ctorLine}), KrigingTraceLines(cap));
    cap.Clear();
    EXPECT_EQ(1, target.Copy(&src));
    EXPECT_EQ(r.copyLine ? std::vector<int>({r.copyLine}) : std::vector<int>(),
              KrigingTraceLines(cap));
    EXPECT_TRUE(kvtest::BytesEqual(kvtest::WrittenBytes(target), before));
    EXPECT_FALSE(target.ISSolveRequired());
  }
  src.failing = TK::kNone;
  int err = -1;
  Kriging<double> ok(src, err);
  EXPECT_EQ(0, err);
}

/* Data that do not make one consistent model (a kernel of the wrong length, coefficients
 * of the wrong shape, group sizes that do not add up) are refused with 1 and no mark. */
TEST(KrigingCopy, InconsistentSourcesAreRefused) {
  typedef TamperedKriging<cplx> TK;
  Kriging<cplx> target;
  SolvedSource(target, ScaleInputs);
  const Bytes before = kvtest::WrittenBytes(target);
  for (int which = 0; which < 4; ++which) {
    SCOPED_TRACE(which);
    TK src;
    SolvedSource(src, ScaleNone, PolyLinear, which == 0 ? 1 : 0);
    src.longKernel = (which == 0);
    src.wideCorr = (which == 1);
    src.wrongSizes = (which == 2);
    src.widePoly = (which == 3);
    kvtest::MsgCapture cap;
    ExpectBothRoadsRefuse<cplx>(src, target, before);
    EXPECT_TRUE(KrigingTraceLines(cap).empty());
  }
}

/* A source holding what no fit makes, written into it directly: a kernel that is not a finite
 * number above 0, or samples, scale vectors or coefficients with a part that is not finite.
 * Both roads refuse it and name why: the constructor's model stays new (state 0), Copy's
 * target keeps its own model. */
TEST(KrigingCopy, SourcesHoldingWhatNoFitMakesAreRefused) {
  const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
  const std::string kernel =
      "Kriging: the model to install has a kernel value that is not a finite number above 0";
  const std::string notFinite =
      "Kriging: the model to install has a sample, scale factor, intercept or coefficient that "
      "is not finite";
  typedef KrigingProbe<cplx> KP;
  const std::vector<std::pair<std::function<void(KP&)>, std::string>> damages = {
      {[nan](KP& k) { k.KernVec[0] = nan; }, kernel},
      {[inf](KP& k) { k.KernVec[0] = inf; }, kernel},
      {[](KP& k) { k.KernVec[0] = -1.0; }, kernel},
      {[](KP& k) { k.KernVec[0] = 0.0; }, kernel},
      {[nan](KP& k) { k.InpSampMtx.SetVal(3, 1, cplx(nan, 0.0)); }, notFinite},
      {[inf](KP& k) { k.OutSampMtx.SetVal(0, 2, cplx(0.0, inf)); }, notFinite},
      {[nan](KP& k) { k.InpScaleVec[1] = nan; }, notFinite},
      {[inf](KP& k) { k.InpInterceptVec[0] = cplx(-inf, 0.0); }, notFinite},
      {[inf](KP& k) { k.OutScaleVec[2] = inf; }, notFinite},
      {[nan](KP& k) { k.OutInterceptVec[1] = cplx(0.0, nan); }, notFinite},
      {[nan](KP& k) { k.CorrCoeff.SetVal(5, 1, cplx(1.0, nan)); }, notFinite},
      {[inf](KP& k) { k.PolyCoeff.SetVal(0, 0, cplx(inf, 1.0)); }, notFinite},
  };
  Kriging<cplx> target;
  SolvedSource(target, ScaleInputs);
  const Bytes before = kvtest::WrittenBytes(target);
  for (std::size_t d = 0; d < damages.size(); ++d) {
    SCOPED_TRACE(d);
    KP src;
    SolvedSource(src, ScaleInputsOutputs);
    damages[d].first(src);
    ASSERT_EQ(KrigingSolved, src.GetKrigingStatus());
    kvtest::KrigingLines lines;
    ExpectBothRoadsRefuse<cplx>(src, target, before);
    EXPECT_EQ(std::vector<std::string>(2, damages[d].second), lines.Refusals());
  }
}

/* A model that took another's by Copy or by Read holds no fit of its own: the objective, the
 * process variances and the factors it still holds belong to the fit it had before, so they
 * are refused (named) until the first predictor-error request refits it, which then gives
 * the source's values. */
TEST(KrigingCopy, TakenModelsReportNothingOfAnEarlierFit) {
  KrigingProbe<double> src;
  SolvedSource(src, ScaleNone);
  /* Other data of the same shapes, fitted by the target before it takes the source. */
  C_MatMGe<double> X = SampleInputs<double>(8, 2, 99u), Y = SmoothOutputs(X, 3);
  for (int i = 0; i < 8; ++i) Y.SetVal(i, 0, 50.0 * Y.GetVal(i, 0));
  SmallModelSpec s;
  s.theta = {3.0};
  double mleSrc = 0.0, varSrc = 0.0;
  ASSERT_EQ(0, src.GetMLE(mleSrc));
  ASSERT_EQ(0, src.GetProcVarnc(varSrc, 0));

  for (bool byFile : {false, true}) {
    SCOPED_TRACE(byFile);
    double v = -1.0;
    KrigingProbe<double> k;
    ASSERT_EQ(0, SolveSmall(k, X, Y, s));
    if (byFile) {
      kvtest::FilePtr f = kvtest::FileWith(kvtest::WrittenBytes(src));
      ASSERT_EQ(0, k.Read(f.get()));
    } else {
      ASSERT_EQ(0, k.Copy(&src));
    }
    kvtest::KrigingLines lines;
    RVec mv(0);
    C_MatMGe<double> R(1, 8), F(1, 3), E(0, 0);
    for (int j = 0; j < 8; ++j) R.SetVal(0, j, 0.5);
    F.SetVal(0, 0, 1.0);
    EXPECT_EQ(1, k.GetMLE(v));
    EXPECT_EQ(1, k.GetMLE(mv));
    EXPECT_EQ(1, k.GetProcVarnc(v, 0));
    EXPECT_EQ(1, k.GetPredictorError(R, F, E));
    EXPECT_EQ(-1.0, v);
    EXPECT_EQ(0, E.rows);
    EXPECT_EQ(std::vector<std::string>(
                  4, "Kriging: a read or copied model holds no fit of its own until it is "
                     "refitted"),
              lines.Refusals());

    C_MatMGe<double> P = SampleInputs<double>(3, 2, 5u);
    double a = 0.0, rel = 0.0;
    int count = 0;
    ASSERT_EQ(0, k.GetPredictorError(P, a, rel, count));
    ASSERT_EQ(0, k.GetMLE(v));
    EXPECT_NEAR(mleSrc, v, 1e-12 * mleSrc);
    ASSERT_EQ(0, k.GetProcVarnc(v, 0));
    EXPECT_NEAR(varSrc, v, 1e-12 * varSrc);
  }
}

/* A scale factor is the reciprocal of a spread or of a magnitude, or 1: a source holding 0
 * (of either sign), a negative factor or a NaN holds what no fit makes, on the input side as
 * on the output side. Both roads refuse it and name why; the constructor's model stays new,
 * with no samples, and Copy's target keeps its own model and the factors of its own fit. The
 * smallest positive double is a factor above 0 and is taken. */
template <class T>
void ScaleFactorsOfNoFit() {
  const double nan = std::nan("");
  const std::string notAbove0 =
      "Kriging: the model to install has a scale factor that is not above 0";
  const std::string notFinite =
      "Kriging: the model to install has a sample, scale factor, intercept or coefficient that "
      "is not finite";
  struct Row {
    bool output;
    double value;
    const char* reason; /* null: taken */
  };
  const Row rows[] = {
      {false, 0.0, notAbove0.c_str()},  {false, -0.0, notAbove0.c_str()},
      {false, -0.5, notAbove0.c_str()}, {false, nan, notFinite.c_str()},
      {true, 0.0, notAbove0.c_str()},   {true, -0.0, notAbove0.c_str()},
      {true, -2.0, notAbove0.c_str()},  {true, nan, notFinite.c_str()},
      {false, std::numeric_limits<double>::denorm_min(), nullptr},
      {true, std::numeric_limits<double>::denorm_min(), nullptr},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.output ? "output" : "input") + " factor " +
                 std::to_string(r.value));
    KrigingProbe<T> src;
    ASSERT_NO_FATAL_FAILURE(SolvedSource(src, ScaleInputsOutputs));
    typename Kriging<T>::VecD& v = r.output ? src.OutScaleVec : src.InpScaleVec;
    ASSERT_EQ(r.output ? 3 : 2, v.Dim());
    v[v.Dim() - 1] = r.value;
    ASSERT_EQ(KrigingSolved, src.GetKrigingStatus());

    Kriging<T> target;
    ASSERT_NO_FATAL_FAILURE(SolvedSource(target, ScaleInputs, PolyConstant));
    const Bytes before = kvtest::WrittenBytes(target);
    /* The refusal lines of the two copies alone. */
    int err = -1, copied = -1;
    std::unique_ptr<Kriging<T>> made;
    std::vector<std::string> refusals;
    {
      kvtest::KrigingLines lines;
      made.reset(new Kriging<T>(src, err));
      copied = target.Copy(&src);
      refusals = lines.Refusals();
    }
    Kriging<T>& c = *made;
    if (r.reason == nullptr) {
      EXPECT_EQ(0, err);
      EXPECT_EQ(0, copied);
      EXPECT_EQ(KrigingSolved, c.GetKrigingStatus());
      EXPECT_TRUE(kvtest::BytesEqual(kvtest::WrittenBytes(target), kvtest::WrittenBytes(src)));
      EXPECT_TRUE(refusals.empty());
      continue;
    }
    EXPECT_EQ(1, err);
    EXPECT_EQ(KrigingInitial, c.GetKrigingStatus());
    C_MatMGe<T> none;
    EXPECT_EQ(1, c.GetInpSampMtx(none));
    EXPECT_EQ(1, c.GetOutSampMtx(none));
    EXPECT_EQ(1, copied);
    EXPECT_EQ(KrigingSolved, target.GetKrigingStatus());
    EXPECT_FALSE(target.ISSolveRequired());
    EXPECT_TRUE(kvtest::BytesEqual(kvtest::WrittenBytes(target), before));
    EXPECT_EQ(std::vector<std::string>(2, r.reason), refusals);
  }
}

TEST(KrigingCopy, ScaleFactorsNotAbove0AreRefused) {
  ScaleFactorsOfNoFit<double>();
  ScaleFactorsOfNoFit<cplx>();
}
