/* test_Kriging_search.cpp: the maximum-likelihood kernel search, watched through the fit
 * lines it prints: the start kernel and box, the step factors, the exploratory trials at and
 * between the bounds, the pattern moves, the shifts of the step factors and the number of
 * cycles, against a replay of the search written from its description with an independent
 * oracle of the objective; failed trials that do not end the search; and the improvement
 * over a poor start kernel. */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "kriging_files.h"
#include "kriging_fixtures.h"
#include "msgcapture.h"

namespace {

const double kInf = std::numeric_limits<double>::infinity();

std::string FitLine(const std::vector<double>& theta, double objective) {
  std::string s = "   Kernel : ";
  char buf[64];
  for (double t : theta) {
    std::snprintf(buf, sizeof buf, "%lf ", t);
    s += buf;
  }
  std::snprintf(buf, sizeof buf, " -> %lf", objective);
  return s + buf;
}

/* The kernel values of a fit line, without the objective. */
std::string KernelPart(const std::string& line) { return line.substr(0, line.find(" -> ")); }

/* The kernel a plain first fit estimates for these samples (same arithmetic as the search's
 * start), checked against the textbook variances before it is used. */
std::vector<double> ModelEstimate(C_MatMGe<double>& X, C_MatMGe<double>& Y, int kernVar);

/* Fit lines as the search model prints them (information messages of scope 502), and the
 * refusal lines printed beside them by the builds that fail. */
struct FitLines {
  kvtest::KrigingLines log;
  std::vector<std::string> Lines() const { return log.Fits(); }
  int Count() const { return static_cast<int>(Lines().size()); }
  std::vector<std::string> Refusals() const { return log.Refusals(); }
};

const char* const kOutsideBox = "Kriging: a start value of the kernel search lies outside its box";
const char* const kNoKernel = "Kriging: no kernel of the search could be fitted";
const char* const kNotPositive = "Kriging: the correlation matrix is not positive definite";

/* m samples of n inputs and an output that depends strongly on the first input and weakly
 * on the others, so that the per-input kernel values want to move apart. */
void Problem(int m, int n, unsigned seed, C_MatMGe<double>& X, C_MatMGe<double>& Y) {
  X = RandomMat(m, n, seed);
  Y = C_MatMGe<double>(m, 1);
  for (int i = 0; i < m; ++i) {
    double y = std::sin(5.0 * X.GetVal(i, 0));
    for (int k = 1; k < n; ++k) y += 0.4 * k * X.GetVal(i, k) * X.GetVal(i, k);
    Y.SetVal(i, 0, y);
  }
}

template <class T>
void Give(Kriging<T>& k, C_MatMGe<T>& X, C_MatMGe<T>& Y, int kernVar) {
  ASSERT_EQ(0, k.PutKrigingKernVarType(static_cast<E_KrigingKernVarType>(kernVar)));
  ASSERT_EQ(0, k.PutNumSol(1, 1, nullptr));
  ASSERT_EQ(0, k.PutNumVar(X.cols));
  ASSERT_EQ(0, k.PutPolynomType(PolyConstant));
  ASSERT_EQ(0, k.PutInpSampMtx(X));
  ASSERT_EQ(0, k.PutOutSampMtx(Y));
}

/* The objective of a plain fit at theta, from a separate model (+infinity when it fails). */
template <class T>
struct Oracle {
  Kriging<T> k;
  Oracle(C_MatMGe<T>& X, C_MatMGe<T>& Y, int kernVar) { Give(k, X, Y, kernVar); }
  double operator()(const std::vector<double>& theta) {
    RVec t(static_cast<int>(theta.size()));
    for (std::size_t j = 0; j < theta.size(); ++j) t[static_cast<int>(j)] = theta[j];
    if (k.PutKernVec(t) != 0 || k.Solve() != 0) return kInf;
    double v = kInf;
    k.GetMLE(v);
    return v;
  }
};

/* Kernel estimate from the sample variances: n / sum for one shared value, 1 / var_j for
 * one value per input. */
std::vector<double> Estimate(C_MatMGe<double>& X, int kernVar) {
  const int m = X.rows, n = X.cols;
  std::vector<double> var(n);
  for (int j = 0; j < n; ++j) {
    double mu = 0.0, s = 0.0;
    for (int i = 0; i < m; ++i) mu += X.GetVal(i, j);
    mu /= m;
    for (int i = 0; i < m; ++i) s += std::pow(X.GetVal(i, j) - mu, 2);
    var[j] = s / (m - 1);
  }
  if (kernVar == 1) {
    for (double& v : var) v = 1.0 / v;
    return var;
  }
  double S = 0.0;
  for (double v : var) S += v;
  return std::vector<double>(1, n / S);
}

std::vector<double> ModelEstimate(C_MatMGe<double>& X, C_MatMGe<double>& Y, int kernVar) {
  Kriging<double> k;
  Give(k, X, Y, kernVar);
  EXPECT_EQ(0, k.Solve());
  RVec t(0);
  k.GetKernVec(t);
  const std::vector<double> want = Estimate(X, kernVar);
  std::vector<double> got(static_cast<std::size_t>(t.Dim()));
  EXPECT_EQ(want.size(), got.size());
  for (int j = 0; j < t.Dim(); ++j) {
    got[j] = t[j];
    EXPECT_NEAR(want[j], got[j], 1e-12 * want[j]);
  }
  return got;
}

/* The search replayed from its description, each trial asking the oracle. */
struct Replay {
  std::function<double(const std::vector<double>&)> f;
  std::vector<std::string> lines;
  int rejectedUp = 0, patternAccepted = 0, patternTrials = 0, idleCycles = 0, cycles = 0;
  int failed = 0;

  double Trial(const std::vector<double>& t) {
    const double o = f(t);
    /* A failed build prints no fit line, but its reason. */
    if (o < kInf) lines.push_back(FitLine(t, o));
    else ++failed;
    return o;
  }

  /* Returns the kernel the final build uses; best receives its objective. */
  std::vector<double> Run(std::vector<double> th, const std::vector<double>& th0, double& best) {
    const int p = static_cast<int>(th.size());
    std::vector<double> lo(p), up(p), D(p);
    for (int j = 0; j < p; ++j) {
      lo[j] = 0.01 * th0[j];
      up[j] = 20.0 * th0[j];
      if (lo[j] == up[j]) {
        D[j] = 1.0;
        th[j] = up[j];
      } else {
        D[j] = std::pow(2.0, (j + 1.0) / (p + 2.0));
      }
    }
    best = kInf;
    const double o0 = Trial(th);
    if (o0 < best) best = o0;
    cycles = p < 2 ? 2 : std::min(p, 4);
    for (int c = 0; c < cycles; ++c) {
      const std::vector<double> base = th;
      std::vector<double> star = th;
      for (int j = 0; j < p; ++j) {
        if (!(up[j] > lo[j])) continue;
        std::vector<double> t = star;
        const double x = star[j];
        if (x == lo[j]) t[j] = lo[j] * std::sqrt(D[j]);
        else if (x == up[j]) t[j] = up[j] / std::sqrt(D[j]);
        else t[j] = (D[j] * x < up[j]) ? D[j] * x : up[j];
        double o = Trial(t);
        if (o < best) {
          best = o;
          star = t;
          continue;
        }
        ++rejectedUp;
        t[j] = (x / D[j] > lo[j]) ? x / D[j] : lo[j];
        o = Trial(t);
        if (o < best) {
          best = o;
          star = t;
        }
      }
      th = star;
      if (th == base) {
        ++idleCycles;
        for (double& d : D) d = std::pow(d, 0.2);
      } else {
        std::vector<double> v(p), cur = th, t(p);
        for (int j = 0; j < p; ++j) v[j] = (cur[j] == base[j]) ? 1.0 : cur[j] / base[j];
        for (;;) {
          for (int j = 0; j < p; ++j) t[j] = std::min(std::max(v[j] * cur[j], lo[j]), up[j]);
          ++patternTrials;
          const double o = Trial(t);
          if (!(o < best)) break;
          ++patternAccepted;
          best = o;
          cur = t;
          for (double& x : v) x *= x;
        }
        th = cur;
        for (double& d : D) d = std::pow(d, 0.25);
      }
      /* (a, b, c) -> (c, a, b) */
      std::vector<double> s(p);
      for (int j = 0; j < p; ++j) s[(j + 1) % p] = D[j];
      D = s;
    }
    Trial(th); /* the final build */
    return th;
  }
};

/* The whole sequence of trials of a first solve with kernel search, for p = 1, 2, 3 and 5
 * kernel values (two, two, three and four cycles). */
TEST(KrigingSearch, SequenceOfTrialsFollowsTheSearch) {
  struct Case {
    int n, kernVar, m;
    unsigned seed;
  };
  int rejectedUp = 0, patternAccepted = 0, patternTrials = 0;
  for (const Case& c : {Case{2, 0, 12, 11u}, Case{2, 1, 12, 12u}, Case{3, 1, 14, 13u},
                        Case{5, 1, 18, 14u}}) {
    C_MatMGe<double> X, Y;
    Problem(c.m, c.n, c.seed, X, Y);
    Oracle<double> oracle(X, Y, c.kernVar);
    Replay replay;
    replay.f = std::ref(oracle);
    const std::vector<double> th0 = ModelEstimate(X, Y, c.kernVar);
    double best = 0.0;
    const std::vector<double> last = replay.Run(th0, th0, best);
    rejectedUp += replay.rejectedUp;
    patternAccepted += replay.patternAccepted;
    patternTrials += replay.patternTrials;

    KrigingProbe<double> k;
    Give(k, X, Y, c.kernVar);
    ASSERT_EQ(0, k.PutKrigingKernOptType(KernOptLikelihood));
    FitLines lines;
    ASSERT_EQ(0, k.Solve()) << c.n;
    const std::vector<std::string> got = lines.Lines();
    ASSERT_EQ(replay.lines.size(), got.size()) << "p " << th0.size();
    for (std::size_t i = 0; i < got.size(); ++i)
      EXPECT_EQ(replay.lines[i], got[i]) << "p " << th0.size() << " trial " << i;

    /* The first trial is the estimate itself; the second raises the first value by
     * 2^(1/(p+2)). */
    const int p = static_cast<int>(th0.size());
    EXPECT_EQ(KernelPart(FitLine(th0, 0.0)), KernelPart(got[0]));
    std::vector<double> second = th0;
    second[0] *= std::pow(2.0, 1.0 / (p + 2.0));
    EXPECT_EQ(KernelPart(FitLine(second, 0.0)), KernelPart(got[1]));

    /* The model is left solved at the best kernel found. */
    EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
    EXPECT_EQ(1, k.SolveCount);
    EXPECT_FALSE(k.KernToEstimate);
    EXPECT_TRUE(k.CorrStale);
    EXPECT_TRUE(k.TrendStale);
    ASSERT_EQ(p, k.KernVec.Dim());
    for (int j = 0; j < p; ++j) EXPECT_EQ(last[j], k.KernVec[j]);
    double mle = 0.0;
    ASSERT_EQ(0, k.GetMLE(mle));
    EXPECT_EQ(best, mle);
    EXPECT_LT(mle, oracle(th0));
  }
  /* The cases do exercise both exploratory trials and accepted and refused pattern moves. */
  EXPECT_GT(rejectedUp, 0);
  EXPECT_GT(patternAccepted, 0);
  EXPECT_GT(patternTrials, patternAccepted);
}

/* Solves k on X, Y (one kernel value per input) by the kernel search started at t;
 * mle := the objective it reaches. */
template <class T>
void SearchFrom(Kriging<T>& k, C_MatMGe<T>& X, C_MatMGe<T>& Y, RVec& t, double& mle) {
  Give(k, X, Y, 1);
  ASSERT_EQ(0, k.PutKernVec(t));
  ASSERT_EQ(0, k.PutKrigingKernOptType(KernOptLikelihood));
  ASSERT_EQ(0, k.Solve());
  ASSERT_EQ(0, k.GetMLE(mle));
}

/* A poor start (a kernel far from the likely one): the search lowers the objective. */
TEST(KrigingSearch, ImprovesOnAPoorStart) {
  C_MatMGe<double> X, Y;
  Problem(15, 2, 21u, X, Y);
  Oracle<double> oracle(X, Y, 1);
  const std::vector<double> poor = {60.0, 0.05};
  const double start = oracle(poor);

  KrigingProbe<double> k;
  RVec t(2);
  t[0] = poor[0];
  t[1] = poor[1];
  double mle = 0.0;
  ASSERT_NO_FATAL_FAILURE(SearchFrom(k, X, Y, t, mle));
  EXPECT_LT(mle, 0.5 * start);
  /* The box around the start: [0.6, 1200] x [0.0005, 1]. */
  EXPECT_GE(k.KernVec[0], 0.6);
  EXPECT_LE(k.KernVec[0], 1200.0);
  EXPECT_GE(k.KernVec[1], 0.0005);
  EXPECT_LE(k.KernVec[1], 1.0);
  EXPECT_EQ(mle, oracle({k.KernVec[0], k.KernVec[1]}));

  /* The complex instance on the same (real-valued) data does as well. */
  C_MatMGe<cplx> Xc = ToComplex(X), Yc = ToComplex(Y);
  KrigingProbe<cplx> kc;
  double mlec = 0.0;
  ASSERT_NO_FATAL_FAILURE(SearchFrom(kc, Xc, Yc, t, mlec));
  EXPECT_LT(mlec, 0.5 * start);
  EXPECT_NEAR(mle, mlec, 1e-6 * mle);
}

/* Samples appended since the inputs were given: the box is centred on a fresh estimate from
 * all samples, and the current kernel is first clamped into it. */
TEST(KrigingSearch, AppendedSamplesRecentreTheBox) {
  C_MatMGe<double> X, Y, Xa, Ya;
  Problem(12, 2, 31u, X, Y);
  Problem(4, 2, 32u, Xa, Ya);
  for (int i = 0; i < 4; ++i) Xa.SetVal(i, 0, 3.0 + Xa.GetVal(i, 0)); /* widen input 0 */
  KrigingProbe<double> k;
  Give(k, X, Y, 1);
  ASSERT_EQ(0, k.PutKrigingKernOptType(KernOptLikelihood));
  ASSERT_EQ(0, k.Solve());
  ASSERT_EQ(0, k.AppendSampData(Xa, Ya));
  ASSERT_TRUE(k.NewSamples);
  RVec t(2);
  t[0] = 1e6;
  t[1] = 1e-9;
  ASSERT_EQ(0, k.PutKernVec(t));

  C_MatMGe<double> Xall, Yall;
  ASSERT_EQ(0, k.GetInpSampMtx(Xall));
  ASSERT_EQ(0, k.GetOutSampMtx(Yall));
  const std::vector<double> th0 = ModelEstimate(Xall, Yall, 1);
  const std::vector<double> start = {20.0 * th0[0], 0.01 * th0[1]};
  Oracle<double> oracle(Xall, Yall, 1);
  Replay replay;
  replay.f = std::ref(oracle);
  double best = 0.0;
  replay.Run(start, th0, best);

  FitLines lines;
  ASSERT_EQ(0, k.Solve());
  const std::vector<std::string> got = lines.Lines();
  ASSERT_EQ(replay.lines.size(), got.size());
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(replay.lines[i], got[i]) << i;
  EXPECT_EQ(KernelPart(FitLine(start, 0.0)), KernelPart(got[0]));
  EXPECT_TRUE(k.NewSamples); /* read, never cleared by the search */
  EXPECT_EQ(2, k.SolveCount);
}

/* ---- the steps, driven one by one on a small model ------------------------------------- */

struct StepModel {
  C_MatMGe<double> X, Y;
  KrigingProbe<double> k;
  explicit StepModel(int n) {
    Problem(12, n, 41u, X, Y);
    Give(k, X, Y, 1);
    RVec t(n, 2.0);
    k.PutKernVec(t);
  }
  C_MatMGe<double> Box(std::vector<std::pair<double, double>> rows) {
    C_MatMGe<double> B(static_cast<int>(rows.size()), 2);
    for (std::size_t j = 0; j < rows.size(); ++j) {
      B.SetVal(static_cast<int>(j), 0, rows[j].first);
      B.SetVal(static_cast<int>(j), 1, rows[j].second);
    }
    return B;
  }
  void Kernel(std::vector<double> v) {
    for (std::size_t j = 0; j < v.size(); ++j) k.KernVec[static_cast<int>(j)] = v[j];
  }
};

TEST(KrigingSearch, StartFactorsAndBoxChecks) {
  {
    StepModel s(3);
    C_MatMGe<double> B = s.Box({{0.1, 10.0}, {0.1, 10.0}, {0.5, 0.5}});
    RVec D(0);
    double best = -1.0;
    FitLines lines;
    ASSERT_EQ(0, s.k.OptKernStart(D, B, best));
    ASSERT_EQ(3, D.Dim());
    EXPECT_NEAR(std::pow(2.0, 0.2), D[0], 1e-15);
    EXPECT_NEAR(std::pow(2.0, 0.4), D[1], 1e-15);
    EXPECT_EQ(1.0, D[2]); /* empty box: factor 1, value pinned to the bound */
    EXPECT_EQ(0.5, s.k.KernVec[2]);
    ASSERT_EQ(1, lines.Count());
    double mle = 0.0;
    s.k.GetMLE(mle);
    EXPECT_EQ(mle, best);
  }
  {
    StepModel s(3);
    C_MatMGe<double> B = s.Box({{0.1, 10.0}, {0.1, 10.0}, {0.1, 10.0}});
    RVec D(0);
    double best = -1.0;
    ASSERT_EQ(0, s.k.OptKernStart(D, B, best));
    EXPECT_NEAR(std::pow(2.0, 0.6), D[2], 1e-15);
  }
  {
    /* A start value outside its box fails the start after replacing it. */
    StepModel s(2);
    C_MatMGe<double> B = s.Box({{0.1, 10.0}, {1.0, 3.0}});
    s.Kernel({2.0, 5.0});
    RVec D(0);
    double best = -1.0;
    FitLines lines;
    EXPECT_EQ(1, s.k.OptKernStart(D, B, best));
    EXPECT_EQ(0, lines.Count());
    EXPECT_EQ(std::vector<std::string>({kOutsideBox}), lines.Refusals());
    EXPECT_EQ(2.0, s.k.KernVec[0]);
    EXPECT_NEAR(std::pow(1.0 * std::pow(3.0, 7.0), 0.125), s.k.KernVec[1], 1e-14);
    EXPECT_EQ(-1.0, best);
    s.Kernel({2.0, std::nan("")});
    EXPECT_EQ(1, s.k.OptKernStart(D, B, best));
  }
  {
    /* Through Solve: a negative kernel has no box it lies in. PutKernVec refuses one (no fit
     * makes it), so it is written in directly. */
    StepModel s(1);
    RVec t(1, -1.0);
    EXPECT_EQ(1, s.k.PutKernVec(t));
    s.Kernel({-1.0});
    ASSERT_EQ(0, s.k.PutKrigingKernOptType(KernOptLikelihood));
    FitLines lines;
    EXPECT_EQ(1, s.k.Solve());
    EXPECT_EQ(KrigingSolveRequired, s.k.GetKrigingStatus());
    EXPECT_EQ(std::vector<std::string>({kOutsideBox}), lines.Refusals());
  }
}

/* Exploratory trial points at the lower bound, at the upper bound, near the upper bound
 * and for an empty box, read from the fit lines (the oracle tells which are accepted). */
TEST(KrigingSearch, ExploratoryTrialPoints) {
  StepModel s(3);
  Oracle<double> oracle(s.X, s.Y, 1);
  C_MatMGe<double> B = s.Box({{0.5, 8.0}, {0.5, 8.0}, {0.5, 0.5}});
  const double d0 = 1.5, d1 = 1.3;
  RVec D(3);
  D[0] = d0;
  D[1] = d1;
  D[2] = 1.0;
  const std::vector<double> start = {0.5, 8.0, 0.5}; /* at the lower, upper bound; empty */
  s.Kernel(start);
  double best = oracle(start);

  /* Expected: parameter 0 at its lower bound tries lo*sqrt(D) then lo itself; parameter 1
   * at its upper bound tries up/sqrt(D) then max(lo, up/D); parameter 2 is skipped. */
  std::vector<std::string> want;
  std::vector<double> star = start;
  double b = best;
  auto trial = [&](std::vector<double> t) {
    const double o = oracle(t);
    want.push_back(FitLine(t, o));
    if (o < b) {
      b = o;
      star = t;
      return true;
    }
    return false;
  };
  std::vector<double> t = star;
  t[0] = 0.5 * std::sqrt(d0);
  if (!trial(t)) {
    t[0] = 0.5;
    trial(t);
  }
  t = star;
  t[1] = 8.0 / std::sqrt(d1);
  if (!trial(t)) {
    t[1] = 8.0 / d1;
    trial(t);
  }

  FitLines lines;
  ASSERT_EQ(0, s.k.OptKernExplore(D, B, best));
  EXPECT_EQ(want, lines.Lines());
  EXPECT_EQ(b, best);
  for (int j = 0; j < 3; ++j) EXPECT_EQ(star[j], s.k.KernVec[j]);
  EXPECT_EQ(0.5, s.k.KernVec[2]);

  /* Near the upper bound the step is cut at the bound. */
  StepModel s2(1);
  C_MatMGe<double> B1 = s2.Box({{0.1, 3.0}});
  RVec D1(1, 2.0);
  s2.Kernel({2.0});
  double best1 = kInf; /* every trial is accepted against +infinity */
  FitLines lines1;
  ASSERT_EQ(0, s2.k.OptKernExplore(D1, B1, best1));
  ASSERT_EQ(1, lines1.Count());
  EXPECT_EQ(0u, lines1.Lines()[0].find("   Kernel : 3.000000  -> "));
  EXPECT_EQ(3.0, s2.k.KernVec[0]);
}

TEST(KrigingSearch, PatternMoveAndFactorSchedule) {
  StepModel s(2);
  Oracle<double> oracle(s.X, s.Y, 1);
  C_MatMGe<double> B = s.Box({{0.05, 50.0}, {0.05, 50.0}});

  /* Nothing moved: factors shrink by the power 0.2 and no trial is made. */
  s.Kernel({2.0, 3.0});
  RVec base(2), D(2);
  base[0] = 2.0;
  base[1] = 3.0;
  D[0] = 1.6;
  D[1] = 1.2;
  double best = 1.0;
  {
    FitLines lines;
    ASSERT_EQ(0, s.k.OptKernMove(base, D, B, best));
    EXPECT_EQ(0, lines.Count());
  }
  EXPECT_NEAR(std::pow(1.6, 0.2), D[0], 1e-15);
  EXPECT_NEAR(std::pow(1.2, 0.2), D[1], 1e-15);
  EXPECT_EQ(1.0, best);

  /* A move from (2, 3) to (4, 3): the pattern doubles parameter 0 while it improves, the
   * pattern factor squaring after each accepted step, clamped at the upper bound 50. */
  s.Kernel({4.0, 3.0});
  D[0] = 1.6;
  D[1] = 1.2;
  best = oracle({4.0, 3.0});
  std::vector<std::string> want;
  std::vector<double> c = {4.0, 3.0};
  double v = 2.0, b = best;
  for (;;) {
    std::vector<double> t = {std::min(v * c[0], 50.0), 3.0};
    const double o = oracle(t);
    want.push_back(FitLine(t, o));
    if (!(o < b)) break;
    b = o;
    c = t;
    v *= v;
  }
  FitLines lines;
  ASSERT_EQ(0, s.k.OptKernMove(base, D, B, best));
  EXPECT_EQ(want, lines.Lines());
  EXPECT_EQ(b, best);
  EXPECT_EQ(c[0], s.k.KernVec[0]);
  EXPECT_EQ(3.0, s.k.KernVec[1]);
  EXPECT_NEAR(std::pow(1.6, 0.25), D[0], 1e-15);
  EXPECT_NEAR(std::pow(1.2, 0.25), D[1], 1e-15);

  /* A pinned parameter (empty box at 0) moves along the pattern as itself. */
  StepModel s3(2);
  C_MatMGe<double> B3 = s3.Box({{0.05, 50.0}, {0.0, 0.0}});
  s3.Kernel({4.0, 0.0});
  RVec base3(2);
  base3[0] = 2.0;
  base3[1] = 0.0;
  double best3 = kInf;
  FitLines lines3;
  ASSERT_EQ(0, s3.k.OptKernMove(base3, D, B3, best3));
  ASSERT_GE(lines3.Count(), 1);
  EXPECT_EQ(0u, lines3.Lines()[0].find("   Kernel : 8.000000 0.000000  -> "));
  EXPECT_EQ(0.0, s3.k.KernVec[1]);
}

/* ---- failed trials --------------------------------------------------------------------- */

/* A model whose correlation matrix is broken for some kernels: not positive definite (a
 * negative diagonal entry) or not a number. */
class BrokenAbove : public KrigingProbe<double> {
 public:
  double limit = kInf;
  bool useNaN = false;
  int EvalCorrMtx(C_MatMGe<double>& X, C_MatMSym<double>& R) override {
    const int res = Kriging<double>::EvalCorrMtx(X, R);
    if (res != 0 || !(KernVec[0] > limit)) return res;
    if (useNaN) {
      for (int i = 0; i < R.rows; ++i) R(i, i) = std::nan("");
    } else {
      R(0, 0) = -1.0;
    }
    return 0;
  }
};

TEST(KrigingSearch, FailedTrialsAreRefusedAndTheSearchGoesOn) {
  C_MatMGe<double> X, Y;
  Problem(12, 1, 51u, X, Y);
  Oracle<double> oracle(X, Y, 0);
  const std::vector<double> th0 = ModelEstimate(X, Y, 0);
  for (bool useNaN : {false, true}) {
    /* The start and every kernel above 0.9 of it fail. */
    const double limit = 0.9 * th0[0];
    Replay replay;
    replay.f = [&](const std::vector<double>& t) { return t[0] > limit ? kInf : oracle(t); };
    double best = 0.0;
    const std::vector<double> last = replay.Run(th0, th0, best);
    ASSERT_LT(best, kInf);

    BrokenAbove k;
    k.limit = limit;
    k.useNaN = useNaN;
    Give(k, X, Y, 0);
    ASSERT_EQ(0, k.PutKrigingKernOptType(KernOptLikelihood));
    FitLines lines;
    ASSERT_EQ(0, k.Solve()) << useNaN;
    EXPECT_EQ(replay.lines, lines.Lines());
    /* Each failed trial names its reason where its fit line would stand. */
    ASSERT_GT(replay.failed, 0);
    const char* why = useNaN ? "Kriging: the process variance of an output is not finite"
                             : kNotPositive;
    EXPECT_EQ(std::vector<std::string>(replay.failed, why), lines.Refusals()) << useNaN;
    EXPECT_EQ(last[0], k.KernVec[0]);
    EXPECT_LE(k.KernVec[0], limit);
    double mle = 0.0;
    ASSERT_EQ(0, k.GetMLE(mle));
    EXPECT_EQ(best, mle);
    EXPECT_FALSE(std::isnan(mle));
  }
}

TEST(KrigingSearch, NoFittableKernelFailsTheSolve) {
  C_MatMGe<double> X, Y;
  Problem(10, 1, 61u, X, Y);
  BrokenAbove k;
  k.limit = -1.0; /* every kernel */
  Give(k, X, Y, 0);
  ASSERT_EQ(0, k.PutKrigingKernOptType(KernOptLikelihood));
  FitLines lines;
  EXPECT_EQ(1, k.Solve());
  EXPECT_EQ(0, lines.Count());
  /* Every trial names its failure, and the search says it found nothing to build at. */
  std::vector<std::string> why = lines.Refusals();
  ASSERT_GT(why.size(), 2u);
  EXPECT_EQ(kNoKernel, why.back());
  why.pop_back();
  EXPECT_EQ(std::vector<std::string>(why.size(), kNotPositive), why);
  EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
  EXPECT_EQ(0, k.SolveCount);
  double mle = 0.0;
  EXPECT_EQ(1, k.GetMLE(mle));

  /* Mended, the same model solves. */
  k.limit = kInf;
  EXPECT_EQ(0, k.Solve());
  EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
}

/* A model whose correlation matrix is broken at one build only, counted from the first
 * build of a solve (a negative diagonal entry: not positive definite). */
class BrokenAtBuild : public KrigingProbe<double> {
 public:
  int calls = 0, breakAt = -1;
  int EvalCorrMtx(C_MatMGe<double>& X, C_MatMSym<double>& R) override {
    const int res = Kriging<double>::EvalCorrMtx(X, R);
    if (res == 0 && calls++ == breakAt) R(0, 0) = -1.0;
    return res;
  }
};

/* The search counts a trial whose build fails as one of objective +infinity and goes on to
 * return the best kernel of the others; only the final build at that kernel, should it fail,
 * fails the solve, which then leaves the model as it was (unsolved, with its former kernel,
 * coefficients and count of solves). */
TEST(KrigingSearch, OneFailedTrialIsPassedAndAFailedFinalBuildFailsTheSolve) {
  C_MatMGe<double> X, Y;
  Problem(12, 2, 71u, X, Y);
  /* The undisturbed search: its builds, fit lines and result. */
  BrokenAtBuild clean;
  Give(clean, X, Y, 1);
  ASSERT_EQ(0, clean.PutKrigingKernOptType(KernOptLikelihood));
  FitLines cleanLines;
  ASSERT_EQ(0, clean.Solve());
  const int builds = clean.calls;
  ASSERT_GT(builds, 4);
  const std::vector<std::string> trials = cleanLines.Lines();
  ASSERT_EQ(static_cast<std::size_t>(builds), trials.size());

  /* The second trial (the first exploratory move) fails: the search goes on from the start,
   * with one refusal where that trial's fit line would stand, and returns a kernel no worse
   * than the start. */
  BrokenAtBuild one;
  one.breakAt = 1;
  Give(one, X, Y, 1);
  ASSERT_EQ(0, one.PutKrigingKernOptType(KernOptLikelihood));
  FitLines oneLines;
  ASSERT_EQ(0, one.Solve());
  EXPECT_EQ(KrigingSolved, one.GetKrigingStatus());
  EXPECT_EQ(std::vector<std::string>({kNotPositive}), oneLines.Refusals());
  const std::vector<std::string> got = oneLines.Lines();
  ASSERT_GE(got.size(), 2u);
  EXPECT_EQ(trials[0], got[0]); /* the start */
  double start = 0.0, best = 0.0;
  ASSERT_EQ(1, std::sscanf(got[0].substr(got[0].find(" -> ") + 4).c_str(), "%lf", &start));
  ASSERT_EQ(0, one.GetMLE(best));
  EXPECT_LE(best, start + 1e-6);
  /* The final build is at the kernel the last fit line names. */
  EXPECT_EQ(KernelPart(got.back()), KernelPart(FitLine({one.KernVec[0], one.KernVec[1]}, 0.0)));

  /* The final build fails: Solve fails and the model is as it was before it. Two models
   * fitted alike without search, then searching from their kernel: the first counts the
   * builds of the search, the second fails at the last of them. */
  auto prepare = [&](BrokenAtBuild& k, C_MatMGe<double>& G) {
    Give(k, X, Y, 1);
    RVec th(2);
    th[0] = 3.0;
    th[1] = 0.5;
    ASSERT_EQ(0, k.PutKernVec(th));
    ASSERT_EQ(0, k.Solve());
    ASSERT_EQ(0, k.GetCorrCoeff(G));
    ASSERT_EQ(0, k.PutKrigingKernOptType(KernOptLikelihood));
    k.calls = 0;
  };
  BrokenAtBuild counted, last;
  C_MatMGe<double> Gc, G0;
  ASSERT_NO_FATAL_FAILURE(prepare(counted, Gc));
  ASSERT_EQ(0, counted.Solve());
  const int searchBuilds = counted.calls;
  ASSERT_GT(searchBuilds, 4);
  ASSERT_NO_FATAL_FAILURE(prepare(last, G0));
  last.breakAt = searchBuilds - 1;
  FitLines lastLines;
  EXPECT_EQ(1, last.Solve());
  EXPECT_EQ(searchBuilds, last.calls);
  EXPECT_EQ(static_cast<std::size_t>(searchBuilds - 1), lastLines.Lines().size());
  EXPECT_EQ(std::vector<std::string>({kNotPositive}), lastLines.Refusals());
  EXPECT_EQ(KrigingSolveRequired, last.GetKrigingStatus());
  EXPECT_EQ(1, last.SolveCount);
  EXPECT_EQ(3.0, last.KernVec[0]);
  EXPECT_EQ(0.5, last.KernVec[1]);
  C_MatMGe<double> G1;
  ASSERT_EQ(0, last.GetCorrCoeff(G1));
  EXPECT_TRUE(SameMat(G0, G1));
  /* Mended, it solves by the same search. */
  last.breakAt = -1;
  EXPECT_EQ(0, last.Solve());
}

/* The trend matrix and its automatic degree (a singular value decomposition of the samples'
 * trend matrix) depend on the samples alone: a search makes them once, while every trial
 * still builds its correlation matrix through the virtual EvalCorrMtx. */
class CountingModel : public KrigingProbe<double> {
 public:
  int corrCalls = 0, autoTrendCalls = 0;
  int EvalCorrMtx(C_MatMGe<double>& X, C_MatMSym<double>& R) override {
    ++corrCalls;
    return Kriging<double>::EvalCorrMtx(X, R);
  }
  int EvalQuadPolynomMtx(C_MatMGe<double>& X, int& terms, C_MatMGe<double>& F,
                         int start) override {
    if (terms == -1) ++autoTrendCalls;
    return Kriging<double>::EvalQuadPolynomMtx(X, terms, F, start);
  }
};

TEST(KrigingSearch, TrendDegreeChosenOncePerSearch) {
  C_MatMGe<double> X, Y;
  Problem(14, 2, 71u, X, Y);
  CountingModel k;
  Give(k, X, Y, 1);
  ASSERT_EQ(0, k.PutPolynomType(PolyLinear)); /* a degree the rank test decides */
  ASSERT_EQ(0, k.PutKrigingKernOptType(KernOptLikelihood));
  FitLines lines;
  ASSERT_EQ(0, k.Solve());
  const int builds = lines.Count();
  EXPECT_GT(builds, 5);
  EXPECT_EQ(builds, k.corrCalls);
  EXPECT_EQ(1, k.autoTrendCalls);
  EXPECT_EQ(PolyLinear, k.GetPolynomType());
  int rows = 0;
  k.GetNumPolyCoeff(rows);
  EXPECT_EQ(3, rows);

  /* The same search in a model that is not counting gives the same fit. */
  KrigingProbe<double> plain;
  Give(plain, X, Y, 1);
  ASSERT_EQ(0, plain.PutPolynomType(PolyLinear));
  ASSERT_EQ(0, plain.PutKrigingKernOptType(KernOptLikelihood));
  ASSERT_EQ(0, plain.Solve());
  double a = 0.0, b = 0.0;
  ASSERT_EQ(0, k.GetMLE(a));
  ASSERT_EQ(0, plain.GetMLE(b));
  EXPECT_EQ(b, a);

  /* The next search chooses it once more; a solve without search once per build. */
  ASSERT_EQ(0, k.PutDropToler(2e-8));
  ASSERT_EQ(0, k.Solve());
  EXPECT_EQ(2, k.autoTrendCalls);
  ASSERT_EQ(0, k.PutKrigingKernOptType(KernOptNone));
  ASSERT_EQ(0, k.Solve());
  EXPECT_EQ(3, k.autoTrendCalls);
}

}  // namespace
