// Property harness of the Kriging model (real and complex): random command sequences over
// every public operation (set-up, samples, fits, refinement, predictions, predictor errors,
// error measures, refinement points, model mathematics, files and copies), checking after
// every command that a refusal changes nothing, that what Write writes Read, ReadOld, Copy and
// the copy constructor take back and predict with bit for bit, that finite values give finite
// results or a refusal, that aliased outputs give the unaliased result, that a solved model
// reproduces its samples, that the error measures agree with long double references, and that
// running out of memory refuses cleanly.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "C_KveloException.h"
#include "Kriging.h"
#include "failing_new.h"
#include "msgcapture.h"
#include "prop_kriging_support.h"
#include "prop_support.h"

using namespace kvtest;
using namespace kvtest::krig;

KVELO_HOLDS("Kriging::Kriging", "Kriging::~Kriging", "Kriging::Version", "Kriging::PutNumVar",
            "Kriging::GetNumVar", "Kriging::PutNumSol", "Kriging::GetNumSol", "Kriging::PutDropToler",
            "Kriging::GetDropToler", "Kriging::GetOptNumSamp", "Kriging::SetOptNumSamp",
            "Kriging::PutNumSamp", "Kriging::GetNumSamp", "Kriging::PutMaxNumIter",
            "Kriging::GetMaxNumIter", "Kriging::PutInpSampMtx", "Kriging::GetInpSampMtx",
            "Kriging::PutOutSampMtx", "Kriging::GetOutSampMtx", "Kriging::AppendSampData",
            "Kriging::PutKernVec", "Kriging::GetKernVec", "Kriging::PutSolnType", "Kriging::GetSolnType",
            "Kriging::PutCorrFuncType", "Kriging::GetCorrFuncType", "Kriging::PutKrigingKernVarType",
            "Kriging::GetKrigingKernVarType", "Kriging::PutKrigingKernOptType",
            "Kriging::GetKrigingKernOptType", "Kriging::PutScalingType", "Kriging::GetScalingType",
            "Kriging::PutPolynomType", "Kriging::GetPolynomType", "Kriging::SetStep",
            "Kriging::GetKrigingStatus", "Kriging::Solve", "Kriging::ReSolve", "Kriging::EvalModel",
            "Kriging::GetRelativeError", "Kriging::GetError", "Kriging::CheckRelativeError",
            "Kriging::CheckError", "Kriging::getR2", "Kriging::Write", "Kriging::Read", "Kriging::ReadOld",
            "Kriging::GetNumGlobalSol", "Kriging::GetVecGlobalSol", "Kriging::GetInpScaleVec",
            "Kriging::GetInpInterceptVec", "Kriging::GetOutScaleVec", "Kriging::GetOutInterceptVec",
            "Kriging::GetCorrCoeff", "Kriging::GetPolyCoeff", "Kriging::GetNumKern",
            "Kriging::GetNumCorrCoef", "Kriging::GetNumPolyCoeff", "Kriging::GetProcVarnc",
            "Kriging::GetMLE", "Kriging::GetPredictorError", "Kriging::CheckNewPoints",
            "Kriging::PutInpTestMtx", "Kriging::IsInputPoint", "Kriging::GetTestRelativeErrorDim",
            "Kriging::TestRelativeError", "Kriging::EvalCorrMtx", "Kriging::EvalQuadPolynomMtx",
            "Kriging::GetRelativePredictorErrorNorm", "Kriging::GetOutputGlobalRange",
            "Kriging::GetRelativePredictorError", "Kriging::ISSolveRequired", "Kriging::DiagOfCovarMtx",
            "Kriging::InitKriging", "Kriging::Copy",
            // Protected members: called directly through the probe class below, or by the
            // public operations above on every fit, prediction, read and copy.
            "Kriging::CheckSampData", "Kriging::RefuseIncomplete", "Kriging::EvalOutputRange",
            "Kriging::UpdateOutputRange", "Kriging::EvalGroupRanges", "Kriging::EvalCorrFunc",
            "Kriging::EvalScaling", "Kriging::EvalInpScale", "Kriging::EvalColScale",
            "Kriging::EvalOutScale", "Kriging::ApplyScaling", "Kriging::UnscaleOutput",
            "Kriging::GetMean", "Kriging::MultTriPacked", "Kriging::CopySymMtx", "Kriging::ShiftStepVec",
            "Kriging::BeginFit", "Kriging::EndFit", "Kriging::BuildModel", "Kriging::EstimateKern",
            "Kriging::EstimateStartKern", "Kriging::RegularizeCorrMtx", "Kriging::FitModel",
            "Kriging::EvalDetTerm", "Kriging::DetTerm", "Kriging::SolveOptKern", "Kriging::OptimizeKern",
            "Kriging::OptKernStart", "Kriging::OptKernExplore", "Kriging::OptKernMove",
            "Kriging::OptKernTrial", "Kriging::RefitAtStoredKernel", "Kriging::PredictAtSamples",
            "Kriging::PredictForCheck", "Kriging::EvalRefinement", "Kriging::SelectMaxErrPoints",
            "Kriging::GatherCopy", "Kriging::GatherFile", "Kriging::CheckImage", "Kriging::InstallImage",
            "Kriging::CheckRefit", "Kriging::ReadModel", "Kriging::TakeModel", "Kriging::GetSqrDist",
            "Kriging::GetMaxAbs", "Kriging::GetRowMax", "Kriging::PrintFitLine", "Kriging::Work",
            "Kriging::Workspace::Workspace", "Kriging::ReleaseBuildWork", "Kriging::SamplesChanged",
            "Kriging::KeptFactorReady", "Kriging::PrepareErrors", "Kriging::ScaledSamples");

namespace {

// Opens the protected helpers of the model to the harness.
template <class T>
class Probe : public Kriging<T> {
 public:
  typedef Kriging<T> B;
  typedef typename B::VecT VecT;
  Probe() = default;
  Probe(Kriging<T>& other, int& err) : Kriging<T>(other, err) {}
  // Takes other's solved model through the checks a copy makes (the refit trial included).
  int Take(Kriging<T>& other) { return this->TakeModel(other, false); }
  using B::CheckSampData;
  using B::EvalCorrFunc;
  using B::GetMean;
  using B::GetSqrDist;
  using B::ShiftStepVec;
  using B::GetMaxAbs;
  using B::GetRowMax;
};

struct Model {};
template <class T>
struct Sut {
  std::unique_ptr<Probe<T>> k{new Probe<T>()};
};

template <class T>
int Counts(Kriging<T>& k, int& m, int& n, int& q) {
  k.GetNumSamp(m);
  k.GetNumVar(n);
  k.GetNumSol(q);
  return 0;
}

template <class T>
bool SameBitsMat(const C_MatMGe<T>& a, const C_MatMGe<T>& b) {
  Blob x, y;
  PutM(x, a);
  PutM(y, b);
  return x == y;
}

// Points at which copies are compared: the samples, the samples moved by an eighth, a far point.
template <class T>
C_MatMGe<T> ProbePoints(Kriging<T>& k) {
  C_MatMGe<T> X(0, 0);
  int n = 0;
  k.GetNumVar(n);
  if (k.GetInpSampMtx(X) != 0 || X.cols != n || n <= 0) return C_MatMGe<T>(1, n > 0 ? n : 1);
  C_MatMGe<T> P(2 * X.rows + 1, n);
  for (int i = 0; i < X.rows; ++i)
    for (int j = 0; j < n; ++j) {
      P.SetVal(i, j, X.GetVal(i, j));
      P.SetVal(X.rows + i, j, X.GetVal(i, j) + T(0.125));
    }
  for (int j = 0; j < n; ++j) P.SetVal(2 * X.rows, j, T(30.0));
  return P;
}

// A solved model reproduces its samples: the miss is measured against the largest magnitude
// of the column. A badly conditioned fit (close samples, a flat kernel) misses by up to a few
// thousandths of it through the nugget and the dropped small correlations; a prediction at
// the wrong point or from the wrong coefficients misses by the whole size. Samples whose
// inputs repeat cannot be reproduced (the fit averages them): such a set is not measured.
template <class T>
void CheckInterpolation(Kriging<T>& k, const C_MatMGe<T>& P, const C_MatMGe<T>& Yp) {
  C_MatMGe<T> Y(0, 0), X(0, 0);
  if (k.GetOutSampMtx(Y) != 0 || k.GetInpSampMtx(X) != 0) return;
  for (int i = 0; i < X.rows; ++i)
    for (int t = 0; t < i; ++t) {
      long double d2 = 0;
      for (int c = 0; c < X.cols; ++c) d2 += Mag2(X.GetVal(i, c) - X.GetVal(t, c));
      if (d2 == 0) return;
    }
  // Samples that the kernel hardly tells apart make a correlation matrix too close to
  // singular for the nugget to leave the samples reproduced: such a fit is not measured.
  // A large drop tolerance drops correlations that prediction keeps: no interpolation then.
  if (k.GetDropToler() > 1e-6) return;
  const int corr = k.GetCorrFuncType();
  if (corr != CorrExponential && corr != CorrGaussian && corr != CorrLinear) return;
  RVec theta(0), sc(0);
  typename Kriging<T>::VecT ic(0);
  k.GetKernVec(theta);
  const bool scaled = (k.GetScalingType() & ScaleInputs) != 0;
  if (scaled) {
    k.GetInpScaleVec(sc);
    k.GetInpInterceptVec(ic);
    if (sc.Dim() != X.cols || ic.Dim() != X.cols) return;
  }
  if (theta.Dim() != 1 && theta.Dim() != X.cols) return;
  for (int i = 0; i < X.rows; ++i)
    for (int t = 0; t < i; ++t) {
      long double e = 0, lin = 1;
      for (int c = 0; c < X.cols; ++c) {
        T a = X.GetVal(i, c), b = X.GetVal(t, c);
        if (scaled) {
          a = a * sc[c] + ic[c];
          b = b * sc[c] + ic[c];
        }
        const long double d2 = Mag2(a - b), th = theta[theta.Dim() == 1 ? 0 : c];
        e += corr == CorrGaussian ? th * d2 : th * std::sqrt(d2);
        lin *= std::max(0.0L, 1 - th * std::sqrt(d2));
      }
      const long double r = corr == CorrLinear ? lin : std::exp(-e);
      if (r > 0.9L) return;
    }
  for (int j = 0; j < Y.cols; ++j) {
    long double big = 0;
    for (int i = 0; i < Y.rows; ++i) big = std::max(big, std::sqrt(Mag2(Y.GetVal(i, j))));
    for (int i = 0; i < Y.rows; ++i) {
      const long double miss = std::sqrt(Mag2(Yp.GetVal(i, j) - Y.GetVal(i, j)));
      const long double scale = big + 1e-300L;
      if (!(miss <= 0.05L * scale))
        RC_LOG() << "sample " << i << " output " << j << " miss " << static_cast<double>(miss) << " scale "
                 << static_cast<double>(scale) << "\n";
      RC_ASSERT(miss <= 0.05L * scale);
    }
  }
  (void)P;
}

// Writers and readers close, copies predict as the model, the model reproduces its samples.
template <class T>
void CheckClosed(Probe<T>& k, bool fitted = true) {
  int wr = 0;
  const Blob img = Image(k, wr);
  if (wr != 0) {
    RC_ASSERT(img.empty());
    return;
  }
  RC_ASSERT(k.GetKrigingStatus() == KrigingSolved);
  // Files and copies do not carry the drop tolerance, which sets the nugget of the refit that
  // a reader tries: the readers take the writer's (a default reader may refuse a file that a
  // model of a large tolerance wrote, as it could not refit it).
  Probe<T> a, b, c, e;
  const double tol = k.GetDropToler();
  for (Probe<T>* x : {&a, &b, &c, &e}) x->PutDropToler(tol);
  {
    File f = FileOf(img);
    const int r = a.Read(f.get());
    RC_LOG() << "Read of the written image: " << r << "\n";
    RC_ASSERT(r == 0);
  }
  {
    File f = FileOf(WithoutVersion(img));
    RC_ASSERT(b.ReadOld(f.get()) == 0);
  }
  RC_ASSERT(c.Copy(&k) == 0);
  int err = 1;
  Probe<T> d(k, err);
  RC_LOG() << "copy constructor " << err << "\n";
  if (tol == 1e-8) RC_ASSERT(err == 0);

  RC_ASSERT(e.Take(k) == 0);
  std::vector<Kriging<T>*> copies = {&a, &b, &c, &e};
  if (err == 0) copies.push_back(&d);
  for (Kriging<T>* x : copies) {
    int r = 0;
    RC_ASSERT(Image(*x, r) == img);
  }
  C_MatMGe<T> P = ProbePoints(k);
  C_MatMGe<T> Y0(0, 0);
  const int r0 = k.EvalModel(P, Y0);
  for (Kriging<T>* x : copies) {
    C_MatMGe<T> Y(0, 0);
    RC_ASSERT(x->EvalModel(P, Y) == r0);
    if (r0 == 0) RC_ASSERT(SameBitsMat(Y, Y0));
  }
  if (r0 == 0) {
    RC_ASSERT(AllFinite(Y0));
    if (fitted) CheckInterpolation(k, P, Y0);
  }
  // A read model refits itself for predictor errors: what the model answers, it answers.
  C_MatMGe<T> X(0, 0);
  k.GetInpSampMtx(X);
  double ma = 0, mr = 0, ma2 = 0, mr2 = 0;
  int cnt = 0, cnt2 = 0;
  const int pe = k.GetPredictorError(X, ma, mr, cnt);
  const int pe2 = a.GetPredictorError(X, ma2, mr2, cnt2);
  RC_LOG() << "predictor errors at the samples: model " << pe << ", read back " << pe2 << "\n";
  if (pe == 0) RC_ASSERT(pe2 == 0);
  // A model refitted at its kernel keeps the coefficients it had (a file changed by hand may
  // hold coefficients that its samples do not give).
  int wr2 = 0;
  if (fitted) RC_ASSERT(Image(k, wr2) == img);
}

// Whether an observation is the one taken before; logs where it first differs.
inline bool Unchanged(const Blob& after, const Blob& before) {
  if (after == before) return true;
  std::size_t i = 0;
  while (i < after.size() && i < before.size() && after[i] == before[i]) ++i;
  RC_LOG() << "observation differs from byte " << i << " (sizes " << before.size() << " -> " << after.size()
           << "; Write result " << static_cast<int>(before.empty() ? -1 : before[0]) << " -> "
           << static_cast<int>(after.empty() ? -1 : after[0]) << ")\n";
  return false;
}

template <class T>
struct Cmd : rc::state::Command<Model, Sut<T>> {
  void apply(Model&) const override {}
};

// ---------------------------------------------------------------- counts and tolerances
template <class T>
struct Counts_ : Cmd<T> {
  int which = *rc::gen::inRange(0, 7);
  int v = *rc::gen::inRange(-1, 9);
  int total = *rc::gen::inRange(-1, 4);
  int groups = *rc::gen::inRange(0, 4);
  bool nullSizes = *rc::gen::arbitrary<bool>();
  std::vector<int> sizes = *rc::gen::container<std::vector<int>>(4, rc::gen::inRange(-1, 4));
  double tol = *rc::gen::weightedOneOf<double>(
      {{3, rc::gen::element(1e-8, 1e-12, 0.5, 1e-3)}, {1, AnyDouble()}});
  void run(const Model&, Sut<T>& s) const override {
    Probe<T>& k = *s.k;
    const Blob before = Observe(k);
    int res = 0;
    switch (which) {
      case 0: res = k.PutNumVar(v > 3 ? 3 : v); break;
      case 1: {
        std::vector<int> z = sizes;
        res = k.PutNumSol(total, groups, nullSizes ? nullptr : z.data());
        break;
      }
      case 2: res = k.PutNumSamp(v); break;
      case 3: res = k.SetOptNumSamp(); break;
      case 4: res = k.PutDropToler(tol); break;
      case 5: res = k.PutMaxNumIter(v); break;
      default: RC_ASSERT(k.SetStep(v) == 0); break;
    }
    if (res != 0) RC_ASSERT(Unchanged(Observe(k), before));
    CheckClosed(k);
  }
  void show(std::ostream& os) const override {
    const char* names[] = {"PutNumVar", "PutNumSol", "PutNumSamp", "SetOptNumSamp", "PutDropToler",
                           "PutMaxNumIter", "SetStep"};
    os << names[which] << "(";
    if (which == 1) {
      os << total << ", " << groups << ", ";
      if (nullSizes) os << "null";
      else os << "{" << sizes[0] << "," << sizes[1] << "," << sizes[2] << "," << sizes[3] << "}";
    } else if (which == 4) {
      os << tol;
    } else if (which != 3) {
      os << v;
    }
    os << ")";
  }
};

// ---------------------------------------------------------------- option types
template <class T>
struct Types : Cmd<T> {
  int which = *rc::gen::inRange(0, 6);
  int v = *rc::gen::weightedOneOf<int>({{6, rc::gen::inRange(0, 5)}, {1, rc::gen::element(-1, 7, 9)}});
  void run(const Model&, Sut<T>& s) const override {
    Probe<T>& k = *s.k;
    int res = 0, got = -99;
    switch (which) {
      case 0: res = k.PutSolnType(static_cast<E_KrigingSolType>(v)); got = k.GetSolnType(); break;
      case 1: res = k.PutCorrFuncType(static_cast<E_CorrFuncType>(v)); got = k.GetCorrFuncType(); break;
      case 2:
        res = k.PutKrigingKernVarType(static_cast<E_KrigingKernVarType>(v));
        got = k.GetKrigingKernVarType();
        break;
      case 3:
        res = k.PutKrigingKernOptType(static_cast<E_KrigingKernOptType>(v));
        got = k.GetKrigingKernOptType();
        break;
      case 4: res = k.PutScalingType(static_cast<E_KrigingScalingType>(v)); got = k.GetScalingType(); break;
      default: res = k.PutPolynomType(static_cast<E_KrigingPolynomType>(v)); got = k.GetPolynomType(); break;
    }
    RC_ASSERT(res == 0);
    RC_ASSERT(got == v);
    CheckClosed(k);
  }
  void show(std::ostream& os) const override {
    const char* names[] = {"PutSolnType", "PutCorrFuncType", "PutKrigingKernVarType",
                           "PutKrigingKernOptType", "PutScalingType", "PutPolynomType"};
    os << names[which] << "(" << v << ")";
  }
};

// ---------------------------------------------------------------- kernel
template <class T>
struct Kern : Cmd<T> {
  bool roundTrip = *rc::gen::arbitrary<bool>();
  std::vector<double> theta = *rc::gen::container<std::vector<double>>(
      static_cast<std::size_t>(*rc::gen::inRange(0, 4)),
      rc::gen::weightedOneOf<double>({{4, rc::gen::element(0.5, 1.0, 2.0, 10.0, 1e-3)}, {1, AnyDouble()}}));
  void run(const Model&, Sut<T>& s) const override {
    Probe<T>& k = *s.k;
    RVec t(0);
    if (roundTrip) {
      RC_ASSERT(k.GetKernVec(t) == 0);
    } else {
      t.Resize(static_cast<int>(theta.size()));
      for (std::size_t i = 0; i < theta.size(); ++i) t[static_cast<int>(i)] = theta[i];
    }
    const Blob before = Observe(k);
    const int res = k.PutKernVec(t);
    if (res != 0) {
      RC_ASSERT(Unchanged(Observe(k), before));
    } else {
      RVec g(0);
      k.GetKernVec(g);
      Blob x, y;
      PutV(x, g);
      PutV(y, t);
      RC_ASSERT(x == y);
      int p = 0;
      k.GetNumKern(p);
      RC_ASSERT(p == t.Dim());
    }
    CheckClosed(k);
  }
  void show(std::ostream& os) const override {
    if (roundTrip) {
      os << "GetKernVec(t); PutKernVec(t)";
      return;
    }
    os << "PutKernVec({";
    for (double d : theta) os << d << ",";
    os << "})";
  }
};

// ---------------------------------------------------------------- InitKriging
template <class T>
struct Init : Cmd<T> {
  void run(const Model&, Sut<T>& s) const override {
    s.k->InitKriging();
    RC_ASSERT(s.k->GetKrigingStatus() == KrigingInitial);
    CheckClosed(*s.k);
  }
  void show(std::ostream& os) const override { os << "InitKriging()"; }
};

// ---------------------------------------------------------------- samples
template <class T>
struct Samples : Cmd<T> {
  int which = *rc::gen::inRange(0, 3);  // inputs, outputs, append
  bool keepShape = *rc::gen::weightedOneOf<bool>({{4, rc::gen::just(true)}, {1, rc::gen::just(false)}});
  int r = *rc::gen::inRange(0, 9);
  int c = *rc::gen::inRange(0, 4);
  int seed = *rc::gen::inRange(0, 1 << 30);
  C_MatMGe<T> A = *Points<T>(8, 3);
  C_MatMGe<T> Bo = *Outputs<T>(8, 3);
  void run(const Model&, Sut<T>& s) const override {
    Probe<T>& k = *s.k;
    int m = 0, n = 0, q = 0;
    Counts(k, m, n, q);
    int rows = r, cin = c, cout = c;
    if (keepShape) {
      rows = which == 2 ? std::max(1, r % 3) : m;
      cin = n;
      cout = q;
    }
    rows = std::min(rows, 8);
    cin = std::min(std::max(cin, 0), 3);
    cout = std::min(std::max(cout, 0), 3);
    C_MatMGe<T> X(rows, cin), Y(rows, cout);
    for (int i = 0; i < rows; ++i) {
      for (int j = 0; j < cin; ++j) X.SetVal(i, j, A.GetVal(i, j));
      for (int j = 0; j < cout; ++j) Y.SetVal(i, j, Bo.GetVal(i, j));
    }
    const Blob before = Observe(k);
    int res;
    if (which == 0) res = k.PutInpSampMtx(X);
    else if (which == 1) res = k.PutOutSampMtx(Y);
    else res = k.AppendSampData(X, Y);
    RC_LOG() << "result " << res << "\n";
    if (res != 0) {
      RC_ASSERT(Unchanged(Observe(k), before));
    } else {
      if (which != 1) RC_ASSERT(AllFinite(X));
      if (which != 0) RC_ASSERT(AllFinite(Y));
      C_MatMGe<T> G(0, 0);
      if (which == 0) {
        RC_ASSERT(k.GetInpSampMtx(G) == 0);
        RC_ASSERT(SameBitsMat(G, X));
      } else if (which == 1) {
        RC_ASSERT(k.GetOutSampMtx(G) == 0);
        RC_ASSERT(SameBitsMat(G, Y));
      }
      RVec ranges(0);
      if (k.GetOutputGlobalRange(ranges) == 0)
        for (int g = 0; g < ranges.Dim(); ++g) RC_ASSERT(std::isfinite(ranges[g]));
    }
    CheckClosed(k);
  }
  void show(std::ostream& os) const override {
    const char* names[] = {"PutInpSampMtx", "PutOutSampMtx", "AppendSampData"};
    os << names[which] << (keepShape ? "(current shape" : "(") << " r=" << r << " c=" << c << " X=[";
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < 3; ++j) os << A.GetVal(i, j) << (j == 2 ? ";" : ",");
    os << "] Y=[";
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < 3; ++j) os << Bo.GetVal(i, j) << (j == 2 ? ";" : ",");
    os << "])";
  }
};

// ---------------------------------------------------------------- a whole set-up and fit
template <class T>
struct Setup : Cmd<T> {
  int n = *rc::gen::inRange(1, 4);
  int m = *rc::gen::inRange(2, 9);
  int q = *rc::gen::inRange(1, 4);
  bool oneGroup = *rc::gen::arbitrary<bool>();
  int scaling = *rc::gen::inRange(0, 4);
  int poly = *rc::gen::inRange(0, 5);
  int corr = *rc::gen::element(1, 2, 2, 3, 7);
  int kernVar = *rc::gen::inRange(0, 2);
  int kernOpt = *rc::gen::weightedOneOf<int>({{4, rc::gen::just(0)}, {1, rc::gen::just(1)}});
  C_MatMGe<T> X = *NearPoints<T>(8, 3);
  C_MatMGe<T> Y = *Outputs<T>(8, 3);
  void run(const Model&, Sut<T>& s) const override {
    Probe<T>& k = *s.k;
    C_MatMGe<T> Xs(m, n), Ys(m, q);
    for (int i = 0; i < m; ++i) {
      for (int j = 0; j < n; ++j) Xs.SetVal(i, j, X.GetVal(i, j));
      for (int j = 0; j < q; ++j) Ys.SetVal(i, j, Y.GetVal(i, j));
    }
    k.PutKrigingKernVarType(static_cast<E_KrigingKernVarType>(kernVar));
    int sizes[3] = {1, q - 1, 0};
    k.PutNumSol(q, oneGroup ? 1 : (q == 3 ? 2 : q), (!oneGroup && q == 3) ? sizes : nullptr);
    k.PutNumVar(n);
    k.PutScalingType(static_cast<E_KrigingScalingType>(scaling));
    k.PutPolynomType(static_cast<E_KrigingPolynomType>(poly));
    k.PutCorrFuncType(static_cast<E_CorrFuncType>(corr));
    k.PutKrigingKernOptType(static_cast<E_KrigingKernOptType>(kernOpt));
    const int r1 = k.PutInpSampMtx(Xs);
    const int r2 = k.PutOutSampMtx(Ys);
    const int res = k.Solve();
    RC_LOG() << "set-up " << r1 << r2 << " solve " << res << "\n";
    if (res == 0) {
      RC_ASSERT(k.GetKrigingStatus() == KrigingSolved);
      int wr = 0;
      Image(k, wr);
      RC_ASSERT(wr == 0);
    }
    CheckClosed(k);
  }
  void show(std::ostream& os) const override {
    os << "Setup(n=" << n << " m=" << m << " q=" << q << (oneGroup ? " one group" : " groups") << " scaling="
       << scaling << " poly=" << poly << " corr=" << corr << " kernVar=" << kernVar << " kernOpt=" << kernOpt
       << " X=[";
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < n; ++j) os << X.GetVal(i, j) << (j == n - 1 ? ";" : ",");
    os << "] Y=[";
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < q; ++j) os << Y.GetVal(i, j) << (j == q - 1 ? ";" : ",");
    os << "])";
  }
};

// ---------------------------------------------------------------- fits
template <class T>
struct Fit : Cmd<T> {
  bool re = *rc::gen::arbitrary<bool>();
  void run(const Model&, Sut<T>& s) const override {
    Probe<T>& k = *s.k;
    const E_KrigingStatus st = k.GetKrigingStatus();
    const int res = re ? k.ReSolve() : k.Solve();
    RC_LOG() << "state before " << st << ", result " << res << "\n";
    if (res == 0) {
      RC_ASSERT(k.GetKrigingStatus() == KrigingSolved);
      // What a fit accepts is a model that can be written and read back. A model still in
      // state 2 is left alone (0 at once), also when a count changed since its fit.
      int wr = 0;
      Image(k, wr);
      if (st != KrigingSolved) RC_ASSERT(wr == 0);
    } else {
      RC_ASSERT(k.GetKrigingStatus() == KrigingSolveRequired || k.GetKrigingStatus() == KrigingDataIncomplete);
    }
    CheckClosed(k);
  }
  void show(std::ostream& os) const override { os << (re ? "ReSolve()" : "Solve()"); }
};

// ---------------------------------------------------------------- refinement Solve
template <class T>
struct Refine : Cmd<T> {
  int r = *rc::gen::inRange(0, 4);
  int yr = *rc::gen::inRange(0, 4);
  bool pairRows = *rc::gen::arbitrary<bool>();
  int wide = *rc::gen::inRange(-1, 2);
  double dmin = *rc::gen::weightedOneOf<double>({{4, rc::gen::element(0.1, 0.25, 0.0, -0.5)}, {1, AnyDouble()}});
  C_MatMGe<T> X = *Points<T>(3, 4);
  C_MatMGe<T> Y = *Outputs<T>(3, 4);
  void run(const Model&, Sut<T>& s) const override {
    Probe<T>& k = *s.k;
    int m = 0, n = 0, q = 0;
    Counts(k, m, n, q);
    const int cin = std::min(4, std::max(0, n + wide));
    const int rows = pairRows ? r : yr;
    C_MatMGe<T> Xc(r, cin), Yc(rows, std::min(q, 4));
    for (int i = 0; i < r; ++i)
      for (int j = 0; j < cin; ++j) Xc.SetVal(i, j, X.GetVal(i, j));
    for (int i = 0; i < rows; ++i)
      for (int j = 0; j < Yc.cols; ++j) Yc.SetVal(i, j, Y.GetVal(i, j));
    double maxRel = -7, maxAbs = -7;
    int numNew = -7, numSamp = -7;
    C_MatMGe<T> Xnew(1, 1), Xall(1, 1);
    Xnew.SetVal(0, 0, T(-7.0));
    Xall.SetVal(0, 0, T(-7.0));
    const Blob before = Observe(k);
    const int res = k.Solve(Xc, Yc, maxRel, maxAbs, numNew, Xnew, numSamp, Xall, dmin);
    int m2 = 0;
    k.GetNumSamp(m2);
    RC_LOG() << "result " << res << " numNew " << numNew << "\n";
    if (res != 0 && Observe(k) == before) {
      // Nothing appended: the caller's numNew and Xnew are written only by a call whose
      // candidates and outputs were taken (the append itself refused them), the rest never.
      if (numNew != -7) {
        RC_ASSERT(Yc.rows == Xc.rows || Yc.rows == numNew);
        RC_ASSERT(AllFinite(Xc) && AllFinite(Yc) && std::isfinite(dmin) && Yc.cols == q);
      } else {
        RC_ASSERT(Xnew.rows == 1 && Xnew.cols == 1);
      }
      RC_ASSERT(maxRel == -7 && maxAbs == -7 && numSamp == -7);
    }
    if (res != 0 && !(Observe(k) == before)) {
      // A refusal of the pairing of the candidates or of their values appends nothing.
      RC_ASSERT(AllFinite(Xc) && AllFinite(Yc) && std::isfinite(dmin));
    }
    if (res == 0 && numNew > 0) {
      RC_ASSERT(std::isfinite(maxRel) && std::isfinite(maxAbs));
      RC_ASSERT(numSamp == m2);
      RC_ASSERT(k.GetKrigingStatus() == KrigingSolved);
    }
    CheckClosed(k);
  }
  void show(std::ostream& os) const override {
    os << "Solve(Xcand " << r << " rows width n" << (wide >= 0 ? "+" : "") << wide << ", Ycand "
       << (pairRows ? r : yr) << " rows, dmin=" << dmin << ") X=[";
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 4; ++j) os << X.GetVal(i, j) << (j == 3 ? ";" : ",");
    os << "] Y=[";
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 4; ++j) os << Y.GetVal(i, j) << (j == 3 ? ";" : ",");
    os << "]";
  }
};

// ---------------------------------------------------------------- predictions
template <class T>
struct Eval : Cmd<T> {
  int N = *rc::gen::inRange(1, 4);
  int wide = *rc::gen::weightedOneOf<int>({{6, rc::gen::just(0)}, {1, rc::gen::element(-1, 1)}});
  int alias = *rc::gen::inRange(0, 4);
  int kk = *rc::gen::element(-1, 0, 0, 1, 2, 5);
  bool useTest = *rc::gen::weightedOneOf<bool>({{4, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  C_MatMGe<T> X = *Points<T>(3, 4);
  void run(const Model&, Sut<T>& s) const override {
    Probe<T>& k = *s.k;
    int m = 0, n = 0, q = 0;
    Counts(k, m, n, q);
    const int c = std::min(4, std::max(0, n + wide));
    C_MatMGe<T> Q(N, c);
    for (int i = 0; i < N; ++i)
      for (int j = 0; j < c; ++j) Q.SetVal(i, j, X.GetVal(i, j));
    const C_MatMGe<T> Qkeep(Q);
    // The unaliased call first: it may fit the model.
    C_MatMGe<T> Y(2, 5);
    const bool wasSolved = k.GetKrigingStatus() == KrigingSolved;
    const Blob pre = Observe(k);
    const int res = k.EvalModel(Q, Y);
    RC_LOG() << "EvalModel " << res << "\n";
    RC_ASSERT(SameBitsMat(Q, Qkeep));
    if (res == 0) {
      RC_ASSERT(AllFinite(Qkeep));
      RC_ASSERT(Y.rows == N && Y.cols == q);
      RC_ASSERT(AllFinite(Y));
    } else if (wasSolved) {
      // A solved model's refusal changes nothing.
      RC_ASSERT(Unchanged(Observe(k), pre));
    }
    const Blob before = Observe(k);
    int ra = -1;
    bool threw = false;
    C_MatMGe<T> got(0, 0);
    std::vector<T> arr(static_cast<std::size_t>((N + 2) * std::max(q, 1)), T(-5.0));
    try {
      if (alias == 0) {
        C_MatMGe<T> Z(3, 1);
        ra = k.EvalModel(Q, Z);
        got = Z;
      } else if (alias == 1) {
        ra = k.EvalModel(Q, Q);
        got = Q;
      } else if (alias == 2) {
        std::unique_ptr<C_MatMGe<T>> L(static_cast<C_MatMGe<T>*>(Q.Lnk()));
        ra = k.EvalModel(Q, *L);
        got = *L;
      } else {
        C_MatMGe<T> V(N, q, arr.data(), N + 2);
        ra = k.EvalModel(Q, V);
        got = V;
        for (int j = 0; j < q; ++j)
          for (int i = N; i < N + 2; ++i)
            RC_ASSERT(SameBits(Re(arr[static_cast<std::size_t>(j * (N + 2) + i)]), -5.0));
      }
    } catch (const C_KveloException&) {
      threw = true;
    }
    RC_LOG() << "aliased (" << alias << ") " << ra << (threw ? " threw" : "") << "\n";
    if (threw || ra != 0) {
      RC_ASSERT(res != 0 || alias == 2 || alias == 1);
      RC_ASSERT(Unchanged(Observe(k), before));
    } else {
      RC_ASSERT(res == 0);
      RC_ASSERT(SameBitsMat(got, Y));
    }
    // The refinement form.
    if (res == 0) {
      int kreq = kk;
      double maxErr = -3;
      C_MatMGe<T> Xsel(1, 1), Y2(0, 0);
      const int rk = k.EvalModel(Qkeep.rows ? const_cast<C_MatMGe<T>&>(Qkeep) : Q, Y2, kreq, Xsel, maxErr, useTest);
      RC_LOG() << "refinement form " << rk << " k " << kreq << "\n";
      if (rk == 0) {
        RC_ASSERT(AllFinite(Y2));
        if (kk > 0) {
          RC_ASSERT(kreq >= 0 && kreq <= kk);
          RC_ASSERT(std::isfinite(maxErr) && maxErr >= 0);
          const int dim = k.GetTestRelativeErrorDim();
          for (int i = 0; i < dim; ++i) RC_ASSERT(std::isfinite(k.TestRelativeError(i)));
          RC_ASSERT(std::isnan(k.TestRelativeError(dim)));
          RC_ASSERT(std::isnan(k.TestRelativeError(-1)));
        } else {
          RC_ASSERT(kreq == kk);
          RC_ASSERT(maxErr == -3);
        }
        if (!useTest) RC_ASSERT(SameBitsMat(Y2, Y));
      }
    }
    CheckClosed(k);
  }
  void show(std::ostream& os) const override {
    const char* names[] = {"Y", "Q (same object)", "*Q.Lnk()", "view with sentinels"};
    os << "EvalModel(Q " << N << " rows width n" << (wide >= 0 ? "+" : "") << wide << ", " << names[alias]
       << "), k=" << kk << (useTest ? " test inputs" : "") << " Q=[";
    for (int i = 0; i < N; ++i)
      for (int j = 0; j < 4; ++j) os << X.GetVal(i, j) << (j == 3 ? ";" : ",");
    os << "]";
  }
};

// ---------------------------------------------------------------- predictor errors
template <class T>
struct PredErr : Cmd<T> {
  bool matrixForm = *rc::gen::arbitrary<bool>();
  int N = *rc::gen::inRange(0, 4);
  int wide = *rc::gen::weightedOneOf<int>({{6, rc::gen::just(0)}, {1, rc::gen::element(-1, 1)}});
  C_MatMGe<T> X = *Points<T>(3, 4);
  std::vector<double> rv = *rc::gen::container<std::vector<double>>(
      32, rc::gen::weightedOneOf<double>({{6, rc::gen::map(rc::gen::inRange(0, 9), [](int i) { return i / 8.0; })},
                                          {1, AnyDouble()}}));
  void run(const Model&, Sut<T>& s) const override {
    Probe<T>& k = *s.k;
    int m = 0, n = 0, q = 0, p = 0;
    Counts(k, m, n, q);
    k.GetNumPolyCoeff(p);
    const bool solved = k.GetKrigingStatus() == KrigingSolved;
    const Blob before = Observe(k);
    if (!matrixForm) {
      const int c = std::min(4, std::max(0, n + wide));
      C_MatMGe<T> P(N, c);
      for (int i = 0; i < N; ++i)
        for (int j = 0; j < c; ++j) P.SetVal(i, j, X.GetVal(i, j));
      double ma = -3, mr = -3;
      int cnt = -3;
      const int res = k.GetPredictorError(P, ma, mr, cnt);
      RC_LOG() << "GetPredictorError(points) " << res << "\n";
      if (res == 0) {
        RC_ASSERT(AllFinite(P));
        RC_ASSERT(std::isfinite(ma) && ma >= 0 && std::isfinite(mr) && mr >= 0);
      } else if (solved) {
        RC_ASSERT(Unchanged(Observe(k), before));
      }
    } else {
      const int cr = std::max(0, m + wide), cf = std::max(0, p + (wide > 0 ? 1 : 0));
      C_MatMGe<double> R(N, cr);
      C_MatMGe<T> F(N, cf);
      for (int i = 0; i < N; ++i) {
        for (int j = 0; j < cr; ++j) R.SetVal(i, j, rv[static_cast<std::size_t>((i * 8 + j) % 32)]);
        for (int j = 0; j < cf; ++j) F.SetVal(i, j, X.GetVal(i % 3, j % 4));
      }
      C_MatMGe<double> Err(1, 1);
      Err.SetVal(0, 0, -9.0);
      const int res = k.GetPredictorError(R, F, Err);
      RC_LOG() << "GetPredictorError(R, F) " << res << "\n";
      if (res == 0) {
        RC_ASSERT(AllFinite(R) && AllFinite(F));
        RC_ASSERT(Err.rows == N && Err.cols == q);
        for (int i = 0; i < N; ++i)
          for (int j = 0; j < q; ++j) RC_ASSERT(std::isfinite(Err.GetVal(i, j)) && Err.GetVal(i, j) >= 0);
      } else {
        RC_ASSERT(Err.rows == 1 && Err.cols == 1 && Err.GetVal(0, 0) == -9.0);
        if (solved) RC_ASSERT(Unchanged(Observe(k), before));
      }
    }
    CheckClosed(k);
  }
  void show(std::ostream& os) const override {
    os << "GetPredictorError(" << (matrixForm ? "R, F" : "points") << ", " << N << " rows, width" << wide
       << ") X=[";
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 4; ++j) os << X.GetVal(i, j) << (j == 3 ? ";" : ",");
    os << "]";
  }
};

// ---------------------------------------------------------------- error measures
// Long double group ranges of the model's samples: sqrt of the summed squared magnitude
// spreads of each group's outputs; empty when there are no outputs.
template <class T>
std::vector<long double> RefGroupRanges(Kriging<T>& k, std::vector<int>& sizes) {
  C_MatMGe<T> Y(0, 0);
  int groups = 0, err = 0;
  k.GetNumGlobalSol(groups);
  int* sz = k.GetVecGlobalSol(err);
  sizes.assign(sz ? sz : nullptr, sz ? sz + groups : nullptr);
  delete[] sz;
  std::vector<long double> out;
  if (k.GetOutSampMtx(Y) != 0) return out;
  int first = 0;
  for (int g = 0; g < groups; ++g) {
    long double s = 0;
    for (int j = first; j < first + sizes[static_cast<std::size_t>(g)] && j < Y.cols; ++j) {
      long double lo = INFINITY, hi = 0;
      for (int i = 0; i < Y.rows; ++i) {
        const long double a = std::sqrt(Mag2(Y.GetVal(i, j)));
        lo = std::min(lo, a);
        hi = std::max(hi, a);
      }
      s += (hi - lo) * (hi - lo);
    }
    out.push_back(std::sqrt(s));
    first += std::max(0, sizes[static_cast<std::size_t>(g)]);
  }
  return out;
}

template <class T>
struct Measures : Cmd<T> {
  int which = *rc::gen::inRange(0, 14);
  int N = *rc::gen::inRange(0, 4);
  int wide = *rc::gen::weightedOneOf<int>({{6, rc::gen::just(0)}, {1, rc::gen::element(-1, 1)}});
  C_MatMGe<T> A = *Outputs<T>(3, 4);
  C_MatMGe<T> Bm = *Outputs<T>(3, 4);
  C_MatMGe<T> X = *Points<T>(3, 4);
  void run(const Model&, Sut<T>& s) const override {
    Probe<T>& k = *s.k;
    int m = 0, n = 0, q = 0;
    Counts(k, m, n, q);
    const int c = std::min(4, std::max(0, q + wide));
    C_MatMGe<T> Y1(N, c), Y2(N, c), P(N, std::min(4, std::max(0, n)));
    for (int i = 0; i < N; ++i) {
      for (int j = 0; j < c; ++j) {
        Y1.SetVal(i, j, A.GetVal(i, j));
        Y2.SetVal(i, j, Bm.GetVal(i, j));
      }
      for (int j = 0; j < P.cols; ++j) P.SetVal(i, j, X.GetVal(i, j));
    }
    const bool solved = k.GetKrigingStatus() == KrigingSolved;
    const Blob before = Observe(k);
    std::vector<int> sizes;
    const std::vector<long double> ranges = RefGroupRanges(k, sizes);
    int res = 0;
    double d = -3;
    C_MatMGe<double> R(1, 1);
    R.SetVal(0, 0, -3.0);
    RVec v(1);
    v[0] = -3.0;
    switch (which) {
      case 0: {
        res = k.GetRelativeError(Y1, Y2, R);
        if (res == 0) {
          // Against the long double reference of the group norms (of the outputs given now).
          if (!sizes.empty()) RC_ASSERT(!ranges.empty());
          RC_ASSERT(R.rows == N && R.cols == static_cast<int>(sizes.size()));
          for (int i = 0; i < N; ++i) {
            int first = 0;
            for (std::size_t g = 0; g < sizes.size(); ++g) {
              long double f = 0, val = 0;
              for (int j = first; j < first + sizes[g] && j < c; ++j) {
                f += Mag2(Y1.GetVal(i, j) - Y2.GetVal(i, j));
                val += Mag2(Y1.GetVal(i, j));
              }
              f = std::sqrt(f);
              val = std::sqrt(val);
              const long double rg = ranges[g];
              const long double fb = std::max(rg, static_cast<long double>(k.GetDropToler()));
              long double ref;
              if (val > 1e-4L * rg) ref = f / val;
              else if (0.5L * fb + val > 1e-31L) ref = f / (0.5L * fb + val);
              else ref = f;
              const long double got = R.GetVal(i, static_cast<int>(g));
              RC_LOG() << "R(" << i << "," << g << ") " << static_cast<double>(got) << " ref "
                       << static_cast<double>(ref) << "\n";
              RC_ASSERT(std::fabs(got - ref) <= 1e-9L * (std::fabs(ref) + 1e-300L));
              first += sizes[g];
            }
          }
        }
        break;
      }
      case 1: res = k.GetRelativeError(Y1, Y2, v); break;
      case 2: res = k.GetRelativeError(Y1, Y2, d); break;
      case 3: res = k.GetRelativeError(d); break;
      case 4: {
        res = k.GetError(Y1, Y2, R);
        if (res == 0) {
          RC_ASSERT(R.rows == N && R.cols == c);
          for (int i = 0; i < N; ++i)
            for (int j = 0; j < c; ++j) {
              const long double ref = std::sqrt(Mag2(Y1.GetVal(i, j) - Y2.GetVal(i, j)));
              RC_ASSERT(std::fabs(R.GetVal(i, j) - ref) <= 1e-15L * ref);
            }
        }
        break;
      }
      case 5: res = k.GetError(Y1, Y2, v); break;
      case 6: res = k.GetError(Y1, Y2, d); break;
      case 7: {
        double pe = -3;
        res = k.CheckRelativeError(P, Y1, d, pe);
        if (res == 0) RC_ASSERT(std::isfinite(pe) && pe >= 0);
        else RC_ASSERT(pe == -3);
        break;
      }
      case 8: res = k.CheckError(P, Y1, d); break;
      case 9: {
        typename Kriging<T>::VecT a(N), b(N);
        for (int i = 0; i < N; ++i) {
          a[i] = A.GetVal(i, 0);
          b[i] = Bm.GetVal(i, 0);
        }
        res = k.getR2(a, b, d);
        if (res != 0) RC_ASSERT(d == 0);
        break;
      }
      case 10: res = k.getR2(Y1, Y2, d); if (res != 0) RC_ASSERT(d == 0); break;
      case 11: res = k.getR2(d); if (res != 0) RC_ASSERT(d == 0); break;
      case 12: {
        C_MatMGe<double> E(N, c);
        for (int i = 0; i < N; ++i)
          for (int j = 0; j < c; ++j) E.SetVal(i, j, std::fabs(Re(Bm.GetVal(i, j))));
        res = k.GetRelativePredictorErrorNorm(Y1, E, R);
        if (res == 0) {
          C_MatMGe<double> R2(0, 0);
          RC_ASSERT(k.GetRelativePredictorError(Y1, E, R2) == 0 || true);
        }
        break;
      }
      default: {
        C_MatMGe<double> E(N, c);
        for (int i = 0; i < N; ++i)
          for (int j = 0; j < c; ++j) E.SetVal(i, j, std::fabs(Re(Bm.GetVal(i, j))));
        res = k.GetRelativePredictorError(Y1, E, R);
        if (res == 0) RC_ASSERT(R.rows == N && R.cols == q);
        break;
      }
    }
    RC_LOG() << "result " << res << " d " << d << "\n";
    if (res == 0) {
      RC_ASSERT(std::isfinite(d) && (d >= 0 || d == -3 || which >= 9));
      const bool toR = which == 0 || which == 4 || which >= 12;
      for (int i = 0; toR && i < R.rows; ++i)
        for (int j = 0; j < R.cols; ++j) RC_ASSERT(std::isfinite(R.GetVal(i, j)) && R.GetVal(i, j) >= 0);
      for (int i = 0; i < v.Dim(); ++i) RC_ASSERT(std::isfinite(v[i]));
    } else {
      if (which != 3 && which < 9) RC_ASSERT(d == -3);
      if (which != 3 && which < 9) RC_ASSERT(R.rows == 1 && R.cols == 1 && R.GetVal(0, 0) == -3.0);
      if (which != 3 && which < 9) RC_ASSERT(v.Dim() == 1 && v[0] == -3.0);
      // getR2(d) and GetRelativeError(d) evaluate the model, whose readiness check stores
      // its state on an unsolved model; the other forms change nothing.
      if (solved || (which >= 9 && which != 11)) RC_ASSERT(Unchanged(Observe(k), before));
    }
    CheckClosed(k);
  }
  void show(std::ostream& os) const override {
    const char* names[] = {"GetRelativeError(Y1,Y2,R)", "GetRelativeError(Y1,Y2,v)", "GetRelativeError(Y1,Y2,d)",
                           "GetRelativeError(d)", "GetError(Y1,Y2,E)", "GetError(Y1,Y2,v)", "GetError(Y1,Y2,d)",
                           "CheckRelativeError(X,Y)", "CheckError(X,Y)", "getR2(a,b)", "getR2(A,B)", "getR2(d)",
                           "GetRelativePredictorErrorNorm", "GetRelativePredictorError"};
    os << names[which] << " " << N << " rows width q" << (wide >= 0 ? "+" : "") << wide << " Y1=[";
    for (int i = 0; i < N; ++i)
      for (int j = 0; j < 4; ++j) os << A.GetVal(i, j) << (j == 3 ? ";" : ",");
    os << "] Y2=[";
    for (int i = 0; i < N; ++i)
      for (int j = 0; j < 4; ++j) os << Bm.GetVal(i, j) << (j == 3 ? ";" : ",");
    os << "] X=[";
    for (int i = 0; i < N; ++i)
      for (int j = 0; j < 4; ++j) os << X.GetVal(i, j) << (j == 3 ? ";" : ",");
    os << "]";
  }
};

// ---------------------------------------------------------------- refinement points, test inputs
template <class T>
struct NewPoints : Cmd<T> {
  int which = *rc::gen::inRange(0, 3);
  int N = *rc::gen::inRange(0, 4);
  int wide = *rc::gen::weightedOneOf<int>({{6, rc::gen::just(0)}, {1, rc::gen::element(-1, 1)}});
  bool ownIndex = *rc::gen::arbitrary<bool>();
  int row = *rc::gen::inRange(-1, 4);
  double dmin = *rc::gen::weightedOneOf<double>({{5, rc::gen::element(0.0, 0.25, 0.5, -0.5, 1.0)}, {1, AnyDouble()}});
  C_MatMGe<T> X = *Points<T>(3, 4);
  void run(const Model&, Sut<T>& s) const override {
    Probe<T>& k = *s.k;
    int m = 0, n = 0, q = 0;
    Counts(k, m, n, q);
    const int c = std::min(4, std::max(0, n + wide));
    C_MatMGe<T> Cd(N, c);
    for (int i = 0; i < N; ++i)
      for (int j = 0; j < c; ++j) Cd.SetVal(i, j, X.GetVal(i, j));
    const Blob before = Observe(k);
    if (which == 0) {
      C_MatMGe<T> kept(1, 1);
      kept.SetVal(0, 0, T(-4.0));
      std::vector<int> mine(static_cast<std::size_t>(N + 1), -4);
      int* index = ownIndex ? mine.data() : nullptr;
      const int res = k.CheckNewPoints(Cd, kept, index, dmin);
      RC_LOG() << "CheckNewPoints " << res << "\n";
      if (res != 0) {
        RC_ASSERT(index == (ownIndex ? mine.data() : nullptr));
        RC_ASSERT(kept.rows == 1 && kept.cols == 1);
        RC_ASSERT(std::all_of(mine.begin(), mine.end(), [](int i) { return i == -4; }));
      } else {
        RC_ASSERT(AllFinite(Cd) && std::isfinite(dmin) && c >= n);
        // Reference: distance over the first n coordinates against the samples, then against
        // the rows kept before.
        C_MatMGe<T> S(0, 0);
        if (k.GetInpSampMtx(S) != 0) S = C_MatMGe<T>(0, n);
        std::vector<int> ref;
        auto far = [&](const C_MatMGe<T>& A, int i, const C_MatMGe<T>& Bm, int j) {
          long double s2 = 0;
          for (int t = 0; t < n; ++t) s2 += Mag2(A.GetVal(i, t) - Bm.GetVal(j, t));
          return std::sqrt(s2) > std::fabs(static_cast<long double>(dmin));
        };
        for (int i = 0; i < N; ++i) {
          bool ok = true;
          for (int t = 0; t < S.rows && ok; ++t) ok = far(Cd, i, S, t);
          for (std::size_t t = 0; t < ref.size() && ok; ++t) ok = far(Cd, i, Cd, ref[t]);
          if (ok) ref.push_back(i);
        }
        RC_ASSERT(kept.rows == static_cast<int>(ref.size()));
        for (std::size_t t = 0; t < ref.size(); ++t) {
          RC_ASSERT(index[t] == ref[t]);
          for (int j = 0; j < c; ++j) RC_ASSERT(kept.GetVal(static_cast<int>(t), j) == Cd.GetVal(ref[t], j));
        }
        if (!ownIndex) delete[] index;
      }
      RC_ASSERT(Unchanged(Observe(k), before));
    } else if (which == 1) {
      const int res = k.PutInpTestMtx(Cd);
      RC_LOG() << "PutInpTestMtx " << res << "\n";
      if (res != 0) RC_ASSERT(Unchanged(Observe(k), before));
      else RC_ASSERT(AllFinite(Cd) && N > 0 && c == n);
    } else {
      const bool in = k.IsInputPoint(Cd, row);
      if (in) {
        RC_ASSERT(row >= 0 && row < N && c >= n);
        C_MatMGe<T> S(0, 0);
        RC_ASSERT(k.GetInpSampMtx(S) == 0);
      }
      RC_ASSERT(Unchanged(Observe(k), before));
    }
    CheckClosed(k);
  }
  void show(std::ostream& os) const override {
    const char* names[] = {"CheckNewPoints", "PutInpTestMtx", "IsInputPoint"};
    os << names[which] << "(" << N << " rows width n" << (wide >= 0 ? "+" : "") << wide << ", dmin=" << dmin
       << ", row=" << row << (ownIndex ? ", own index" : ", null index") << ") X=[";
    for (int i = 0; i < N; ++i)
      for (int j = 0; j < 4; ++j) os << X.GetVal(i, j) << (j == 3 ? ";" : ",");
    os << "]";
  }
};

// ---------------------------------------------------------------- model mathematics
template <class T>
struct Maths : Cmd<T> {
  int which = *rc::gen::inRange(0, 5);
  int N = *rc::gen::inRange(0, 5);
  int wide = *rc::gen::weightedOneOf<int>({{6, rc::gen::just(0)}, {1, rc::gen::element(-1, 1)}});
  int terms = *rc::gen::element(-1, -1, 0, 1, 2, 3, 4, 5, 6, 7, 10);
  int start = *rc::gen::inRange(0, 3);
  C_MatMGe<T> X = *Points<T>(4, 4);
  void run(const Model&, Sut<T>& s) const override {
    Probe<T>& k = *s.k;
    int m = 0, n = 0, q = 0;
    Counts(k, m, n, q);
    const int c = std::min(4, std::max(0, n + wide));
    C_MatMGe<T> P(N, c);
    for (int i = 0; i < N; ++i)
      for (int j = 0; j < c; ++j) P.SetVal(i, j, X.GetVal(i, j));
    const C_MatMGe<T> Pkeep(P);
    const E_KrigingStatus st = k.GetKrigingStatus();
    const Blob before = Observe(k);
    int res = 0;
    if (which == 0) {
      C_MatMSym<double> R(0, 0);
      res = k.EvalCorrMtx(P, R);
      RC_LOG() << "EvalCorrMtx " << res << "\n";
      RC_ASSERT(SameBitsMat(P, Pkeep));
      if (res == 0) {
        RC_ASSERT(AllFinite(P));
        for (int i = 0; i < N; ++i)
          for (int j = 0; j <= i; ++j) {
            const double r = R.GetVal(i, j);
            RC_ASSERT(std::isfinite(r) && r >= 0 && r <= 1);
            if (i == j) RC_ASSERT(std::fabs(r - 1) <= 1e-12);
          }
        if (N >= 2 && c == n) {
          // The correlation of two rows as EvalCorrFunc gives it.
          typename Probe<T>::VecT a(n), b(n);
          for (int t = 0; t < n; ++t) {
            a[t] = P.GetVal(0, t);
            b[t] = P.GetVal(1, t);
          }
          double r = -1;
          if (k.EvalCorrFunc(a, b, r) == 0) RC_ASSERT(std::fabs(r - R.GetVal(1, 0)) <= 1e-12);
        }
      }
    } else if (which == 1) {
      int t = terms;
      C_MatMGe<T> F(1, 1);
      F.SetVal(0, 0, T(-6.0));
      res = k.EvalQuadPolynomMtx(P, t, F, std::min(start, N));
      RC_LOG() << "EvalQuadPolynomMtx " << res << " terms " << t << "\n";
      if (res == 0) {
        RC_ASSERT(t >= 0);
        // The automatic choice that ends without trend leaves F as it was.
        if (t > 0 || terms != -1) RC_ASSERT(F.rows == N && F.cols == t);
        // Row values: 1, x..., (squares / products) as the degree asks; the constant first.
        const int st0 = std::min(start, N);
        for (int i = st0; i < N && t > 0; ++i) RC_ASSERT(F.GetVal(i, 0) == T(1.0));
        for (int i = st0; i < N && t > n; ++i)
          for (int j = 0; j < n; ++j) RC_ASSERT(F.GetVal(i, 1 + j) == P.GetVal(i, j));
      }
      // A solved model keeps the trend it was fitted with.
      if (st == KrigingSolved) RC_ASSERT(Unchanged(Observe(k), before));
    } else if (which == 2) {
      RVec var(1);
      var[0] = -5.0;
      res = k.DiagOfCovarMtx(P, var);
      RC_LOG() << "DiagOfCovarMtx " << res << "\n";
      if (res == 0) {
        RC_ASSERT(var.Dim() == c);
        // Two-pass sample variance of the magnitudes' spread around the mean, in long double.
        for (int j = 0; j < c; ++j) {
          long double mr = 0, mi = 0;
          for (int i = 0; i < N; ++i) {
            const cplx z(P.GetVal(i, j));
            mr += z.real();
            mi += z.imag();
          }
          mr /= N;
          mi /= N;
          long double ss = 0;
          for (int i = 0; i < N; ++i) {
            const cplx z(P.GetVal(i, j));
            ss += (z.real() - mr) * (z.real() - mr) + (z.imag() - mi) * (z.imag() - mi);
          }
          const long double ref = N > 1 ? ss / (N - 1) : 0;
          RC_LOG() << "var " << j << " " << var[j] << " ref " << static_cast<double>(ref) << "\n";
          RC_ASSERT(std::isfinite(var[j]) && var[j] >= 0);
          if (std::isfinite(static_cast<double>(ref)))
            RC_ASSERT(std::fabs(var[j] - ref) <= 1e-12L * ref + 1e-300L);
        }
      } else {
        RC_ASSERT(var.Dim() == 1 && var[0] == -5.0);
      }
      RC_ASSERT(Unchanged(Observe(k), before));
    } else if (which == 3) {
      // Protected helpers on the points: mean, squared distance, cyclic shift.
      if (N > 0 && c > 0) {
        typename Probe<T>::VecT col(N);
        long double sr = 0;
        for (int i = 0; i < N; ++i) {
          col[i] = P.GetVal(i, 0);
          sr += Re(P.GetVal(i, 0));
        }
        const T mean = k.GetMean(col);
        if (std::isfinite(static_cast<double>(sr / N)) && AllFinite(P))
          RC_ASSERT(std::fabs(Re(mean) - static_cast<double>(sr / N)) <=
                    1e-12 * (std::fabs(static_cast<double>(sr / N)) + 1e-300) + 1e-300 ||
                    !std::isfinite(Re(mean)));
      }
      int p = 0;
      k.GetNumKern(p);
      RVec v(p);
      for (int i = 0; i < p; ++i) v[i] = i + 1.0;
      if (p > 0 && k.ShiftStepVec(v) == 0) {
        RC_ASSERT(v[0] == static_cast<double>(p));
        for (int i = 1; i < p; ++i) RC_ASSERT(v[i] == static_cast<double>(i));
      }
      C_MatMGe<double> M(N, 2);
      for (int i = 0; i < N; ++i) {
        M.SetVal(i, 0, -static_cast<double>(i));
        M.SetVal(i, 1, i * 2.0);
      }
      double mx = -1;
      RC_ASSERT(k.GetMaxAbs(M, mx) == 0);
      RC_ASSERT(mx == (N > 0 ? 2.0 * (N - 1) : 0.0));
      RVec rm(N);
      RC_ASSERT(k.GetRowMax(M, rm) == 0);
      for (int i = 0; i < N; ++i) RC_ASSERT(rm[i] == 2.0 * i);
    } else {
      const int cs = k.CheckSampData();
      C_MatMGe<T> A(0, 0), B(0, 0);
      int kp = 0;
      k.GetNumKern(kp);
      const bool complete = k.GetInpSampMtx(A) == 0 && k.GetOutSampMtx(B) == 0 && kp > 0;
      RC_ASSERT(cs == (complete ? 1 : 3));
      // CheckSampData sets the state it reports (unless solved).
    }
    if (which != 4) CheckClosed(k);
  }
  void show(std::ostream& os) const override {
    const char* names[] = {"EvalCorrMtx", "EvalQuadPolynomMtx", "DiagOfCovarMtx", "helpers", "CheckSampData"};
    os << names[which] << "(" << N << " rows width n" << (wide >= 0 ? "+" : "") << wide << ", terms " << terms
       << ", start " << start << ") X=[";
    for (int i = 0; i < N; ++i)
      for (int j = 0; j < 4; ++j) os << X.GetVal(i, j) << (j == 3 ? ";" : ",");
    os << "]";
  }
};

// ---------------------------------------------------------------- files and copies
template <class T>
struct Files : Cmd<T> {
  int which = *rc::gen::inRange(0, 5);
  int at = *rc::gen::inRange(0, 1 << 20);
  double value = *rc::gen::weightedOneOf<double>(
      {{3, rc::gen::element(1e160, -1e200, 1e300, 1e-320, 0.0, 2.5)}, {1, AnyDouble()}});
  int byte = *rc::gen::inRange(0, 256);
  void run(const Model&, Sut<T>& s) const override {
    Probe<T>& k = *s.k;
    int wr = 0;
    const Blob img = Image(k, wr);
    if (which <= 1 && wr == 0) {
      Blob mut = img;
      int m = 0, n = 0, q = 0;
      Counts(k, m, n, q);
      const std::size_t vlen = 4 + WithoutVersion(img).size() < img.size() ? img.size() - WithoutVersion(img).size() : 0;
      if (which == 0) {
        // One sample output replaced by a value from anywhere in the format.
        const std::size_t ys = vlen + 12 + static_cast<std::size_t>(m) * n * sizeof(T) + 12;
        const std::size_t cnt = static_cast<std::size_t>(m) * q * (sizeof(T) / 8);
        if (cnt > 0 && ys + cnt * 8 <= mut.size()) {
          std::uint64_t u;
          std::memcpy(&u, &value, 8);
          const std::size_t pos = ys + (static_cast<std::size_t>(at) % cnt) * 8;
          for (int b = 0; b < 8; ++b) mut[pos + b] = static_cast<unsigned char>(u >> (56 - 8 * b));
        }
      } else if (!mut.empty()) {
        const std::size_t pos = static_cast<std::size_t>(at) % mut.size();
        RC_LOG() << "byte " << pos << " of " << mut.size() << ": " << static_cast<int>(mut[pos]) << " -> " << byte
                 << "\n";
        mut[pos] = static_cast<unsigned char>(byte);
      }
      // Read into a copy of the model and into a new model.
      Probe<T> t1;
      t1.Copy(&k);
      Probe<T> t2;
      Probe<T>* targets[] = {&t1, &t2};
      for (Probe<T>* t : targets) {
        const Blob before = Observe(*t);
        File f = FileOf(mut);
        const int res = t->Read(f.get());
        RC_LOG() << "Read of the changed file " << res << "\n";
        if (res != 0) {
          RC_ASSERT(Unchanged(Observe(*t), before));
        } else {
          int r2 = 0;
          // Any version text is read; the writer writes its own.
          RC_ASSERT(WithoutVersion(Image(*t, r2)) == WithoutVersion(mut));
          CheckClosed(*t, false);
          // What a reader accepts, a fit takes: the model refits for its predictor errors.
          C_MatMGe<T> X(0, 0);
          t->GetInpSampMtx(X);
          double ma = 0, mr = 0;
          int cnt = 0;
          const int pe = t->GetPredictorError(X, ma, mr, cnt);
          RC_LOG() << "read model's predictor errors " << pe << "\n";
          RC_ASSERT(pe == 0);
        }
        File g = FileOf(WithoutVersion(mut));
        Probe<T> t3;
        const Blob b3 = Observe(t3);
        const int r3 = t3.ReadOld(g.get());
        if (r3 != 0) RC_ASSERT(Unchanged(Observe(t3), b3));
        else RC_ASSERT(res == 0);
      }
    } else if (which == 2) {
      // Copy of itself, of nothing, of an unsolved model.
      const Blob before = Observe(k);
      const int r1 = k.Copy(nullptr);
      RC_ASSERT(r1 != 0);
      RC_ASSERT(Unchanged(Observe(k), before));
      Probe<T> fresh;
      RC_ASSERT(k.Copy(&fresh) != 0);
      RC_ASSERT(Unchanged(Observe(k), before));
      int err = 0;
      Probe<T> c2(fresh, err);
      RC_ASSERT(err != 0);
      const int r2 = k.Copy(&k);
      RC_LOG() << "self copy " << r2 << "\n";
      if (r2 != 0) RC_ASSERT(Unchanged(Observe(k), before));
      else {
        int w2 = 0;
        RC_ASSERT(Image(k, w2) == img);
      }
    } else if (which == 3) {
      // Null and empty streams are refused and change nothing.
      const Blob before = Observe(k);
      File f(std::tmpfile());
      RC_ASSERT(k.Read(f.get()) != 0);
      RC_ASSERT(Unchanged(Observe(k), before));
      RC_ASSERT(k.Read(nullptr) != 0);
      RC_ASSERT(Unchanged(Observe(k), before));
      if (wr == 0) RC_ASSERT(k.Write(nullptr) != 0);
      RC_ASSERT(Unchanged(Observe(k), before));
      // A truncated image is refused.
      if (wr == 0 && !img.empty()) {
        Blob cut(img.begin(), img.begin() + static_cast<long>(static_cast<std::size_t>(at) % img.size()));
        File g = FileOf(cut);
        RC_ASSERT(k.Read(g.get()) != 0);
        RC_ASSERT(Unchanged(Observe(k), before));
      }
    } else if (which == 4 && wr == 0) {
      // Twin models: the same samples with outputs scaled by a power of two, fitted at the
      // model's kernel, predict and estimate errors scaled by that power.
      const int e = std::vector<int>{508, 500, -500, 2, 900}[static_cast<std::size_t>(at % 5)];
      Twin(k, e);
    }
    CheckClosed(k);
  }
  static int Build(Kriging<T>& src, Kriging<T>& t, double f) {
    C_MatMGe<T> X(0, 0), Y(0, 0);
    src.GetInpSampMtx(X);
    src.GetOutSampMtx(Y);
    for (int i = 0; i < Y.rows; ++i)
      for (int j = 0; j < Y.cols; ++j) Y.SetVal(i, j, Y.GetVal(i, j) * f);
    int groups = 0, err = 0;
    src.GetNumGlobalSol(groups);
    int* sizes = src.GetVecGlobalSol(err);
    RVec kern(0);
    src.GetKernVec(kern);
    t.PutKrigingKernVarType(src.GetKrigingKernVarType());
    t.PutNumSol(Y.cols, groups, sizes);
    delete[] sizes;
    t.PutNumVar(X.cols);
    t.PutScalingType(src.GetScalingType());
    t.PutPolynomType(src.GetPolynomType());
    t.PutCorrFuncType(src.GetCorrFuncType());
    t.PutKrigingKernOptType(KernOptNone);
    t.PutInpSampMtx(X);
    t.PutOutSampMtx(Y);
    t.PutKernVec(kern);
    return t.Solve();
  }
  static void Twin(Kriging<T>& k, int e) {
    const double f = std::ldexp(1.0, e);
    Probe<T> base, twin;
    if (Build(k, base, 1.0) != 0) return;
    const int rt = Build(k, twin, f);
    C_MatMGe<T> P = ProbePoints(k);
    C_MatMGe<T> Y0(0, 0), Y1(0, 0);
    if (base.EvalModel(P, Y0) != 0) return;
    double big = 0;
    for (int i = 0; i < Y0.rows; ++i)
      for (int j = 0; j < Y0.cols; ++j) big = std::max(big, static_cast<double>(std::sqrt(Mag2(Y0.GetVal(i, j)))));
    RC_LOG() << "twin x2^" << e << ": solve " << rt << ", largest prediction " << big << "\n";
    if (rt != 0) {
      // Only outputs whose scaled size leaves the doubles' comfortable middle may be refused.
      C_MatMGe<T> Y(0, 0);
      base.GetOutSampMtx(Y);
      double ymax = 0;
      for (int i = 0; i < Y.rows; ++i)
        for (int j = 0; j < Y.cols; ++j) ymax = std::max(ymax, static_cast<double>(std::sqrt(Mag2(Y.GetVal(i, j)))));
      RC_ASSERT(ymax * f > 1e140 || ymax * f < 1e-140);
      return;
    }
    RC_ASSERT(twin.EvalModel(P, Y1) == 0);
    for (int i = 0; i < Y0.rows; ++i)
      for (int j = 0; j < Y0.cols; ++j) {
        const long double d = std::sqrt(Mag2(Y1.GetVal(i, j) / f - Y0.GetVal(i, j)));
        RC_ASSERT(d <= 1e-6L * (big + 1e-300L));
      }
    double ma0 = 0, mr0 = 0, ma1 = 0, mr1 = 0;
    int c0 = 0, c1 = 0;
    if (base.GetPredictorError(P, ma0, mr0, c0) != 0) return;
    const int r1 = twin.GetPredictorError(P, ma1, mr1, c1);
    RC_LOG() << "predictor errors: base " << ma0 << ", twin " << r1 << " " << ma1 << "\n";
    if (std::isfinite(ma0 * f) && ma0 * f < 1e300) {
      RC_ASSERT(r1 == 0);
      // Errors near the rounding of the outputs depend on the output scale factor, which
      // the two fits choose differently: measured against the outputs' size too.
      RC_ASSERT(std::fabs(ma1 / f - ma0) <= 1e-5 * ma0 + 1e-6 * big + 1e-300);
    }
  }
  void show(std::ostream& os) const override {
    const char* names[] = {"Read of the image with one output changed", "Read of the image with one byte changed",
                           "Copy(null), Copy(unsolved), copy constructor of unsolved, Copy(self)",
                           "Read(empty), Read(null), Write(null), Read(truncated)", "twin with outputs scaled"};
    os << names[which] << " at=" << at << " value=" << value << " byte=" << byte;
  }
};

// ---------------------------------------------------------------- want of memory
template <class T>
struct NoMem : Cmd<T> {
  int which = *rc::gen::inRange(0, 8);
  int allowed = *rc::gen::inRange(0, 60);
  bool once = *rc::gen::arbitrary<bool>();
  C_MatMGe<T> X = *NearPoints<T>(3, 3);
  void run(const Model&, Sut<T>& s) const override {
    Probe<T>& k = *s.k;
    int m = 0, n = 0, q = 0;
    Counts(k, m, n, q);
    Probe<T> tgt;
    Probe<T>* obj = &k;
    int wr = 0;
    const Blob img = Image(k, wr);
    if (which == 1 || which == 2) obj = &tgt;
    if (which == 4) {
      if (tgt.Copy(&k) != 0) return;
      tgt.PutDropToler(tgt.GetDropToler() == 1e-8 ? 2e-8 : 1e-8);  // demoted: to be fitted
      obj = &tgt;
    }
    C_MatMGe<T> P(std::max(1, std::min(3, m)), std::max(n, 1));
    for (int i = 0; i < P.rows; ++i)
      for (int j = 0; j < P.cols; ++j) P.SetVal(i, j, X.GetVal(i, j % 3));
    C_MatMGe<T> Y(0, 0), Yo(0, 0), Xi(0, 0), kept(0, 0);
    k.GetOutSampMtx(Yo);
    k.GetInpSampMtx(Xi);
    File f = FileOf(img);
    const Blob before = Observe(*obj);
    const Blob freshObs = Observe(*std::unique_ptr<Probe<T>>(new Probe<T>()));
    int res = 0;
    bool threw = false;
    FailNewAfter(allowed, once);
    try {
      switch (which) {
        case 0: res = k.EvalModel(P, Y); break;
        case 1: res = tgt.Copy(&k); break;
        case 2: res = tgt.Read(f.get()); break;
        case 3: res = k.PutOutSampMtx(Yo); break;
        case 4: res = tgt.Solve(); break;
        case 5: {
          double a = 0, b = 0;
          int c = 0;
          res = k.GetPredictorError(P, a, b, c);
          break;
        }
        case 6: {
          int* index = nullptr;
          res = k.CheckNewPoints(P, kept, index, 0.25);
          delete[] index;
          break;
        }
        default: res = k.PutInpSampMtx(Xi); break;
      }
    } catch (const C_KveloException&) {
      threw = true;
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    const bool refused = NewWasRefused();
    Heal();
    RC_LOG() << "result " << res << (threw ? " threw" : "") << (refused ? " (an allocation refused)" : "") << "\n";
    if (threw || res != 0) {
      const Blob after = Observe(*obj);
      bool ok = Unchanged(after, before);
      // On a model not solved before, EvalModel and GetPredictorError fit first: the
      // readiness check stores its state and a fit finished before memory ran out stays.
      if (!ok && (which == 0 || which == 5) && before[0] != 0) ok = true;
      // A container exception while a checked model is installed leaves an empty model.
      if (!ok && threw && (which == 1 || which == 2)) ok = after == freshObs;
      if (!ok && threw && which == 7) {
        C_MatMGe<T> G(0, 0);
        ok = k.GetInpSampMtx(G) != 0;
      }
      RC_ASSERT(ok);
    }
    CheckClosed(k);
  }
  void show(std::ostream& os) const override {
    const char* names[] = {"EvalModel", "Copy", "Read", "PutOutSampMtx", "Solve of a copy", "GetPredictorError",
                           "CheckNewPoints", "PutInpSampMtx"};
    os << "no memory after " << allowed << (once ? " (once)" : "") << ": " << names[which];
  }
};

template <class T>
void RunHarness() {
  MsgCapture quiet;
  Model m;
  Sut<T> s;
  rc::state::check(m, s,
                   rc::state::gen::execOneOfWithArgs<Counts_<T>, Types<T>, Kern<T>, Init<T>, Samples<T>, Setup<T>,
                                                     Setup<T>, Fit<T>, Refine<T>, Eval<T>, PredErr<T>, Measures<T>,
                                                     NewPoints<T>, Maths<T>, Files<T>, NoMem<T>>());
}

}  // namespace

RC_GTEST_PROP(KrigingProps, RealModelKeepsItsPromises, ()) { RunHarness<double>(); }
RC_GTEST_PROP(KrigingProps, ComplexModelKeepsItsPromises, ()) { RunHarness<cplx>(); }
