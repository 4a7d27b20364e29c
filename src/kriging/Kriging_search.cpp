/* Kriging_search.cpp: the maximum-likelihood kernel search of the Kriging model: a bounded
 * pattern search on multiplicative steps around a start kernel, one complete build per trial,
 * followed by the final build at the best kernel found. */
#include "Kriging.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

#include "kriging_refusal.h"
#include "kriging_util.h"
#include "kriging_work.h"

using namespace kriging_internal;

/* ======================================================================================= */
/* Maximum-likelihood kernel search                                                        */
/* ======================================================================================= */

/* The objective is minimised over a box around the start kernel by a pattern search on
 * multiplicative steps. A kernel whose build fails (a correlation matrix that is not
 * positive definite, a non-finite objective) is a point the search cannot accept, not a
 * reason to give up: it counts as +infinity and the search goes on around the best point. */

template <class T>
int Kriging<T>::OptKernTrial(VecD& t, double& best, bool& accepted) {
  if (&t != &KernVec) KernVec.Assign(t);
  KrigingStatus = KrigingSolveRequired;
  const int res = BuildModel();
  double objective = std::numeric_limits<double>::infinity();
  if (res == 0 && !std::isnan(MLE)) objective = MLE;
  accepted = (objective < best);
  if (accepted) best = objective;
  return 0;
}

template <class T>
int Kriging<T>::OptKernStart(VecD& D, C_MatMGe<double>& B, double& best) {
  const int p = NumKern;
  D.Resize(p);
  if (RowsOf(B) != p || ColsOf(B) != 2 || KernVec.Dim() != p) return Refuse(kSearchShape);
  const double* lo = ColPtr(B, 0);
  const double* up = ColPtr(B, 1);
  bool outside = false;
  for (int j = 0; j < p; ++j) {
    if (lo[j] == up[j]) {
      D[j] = 1.0;
      KernVec[j] = up[j];
      continue;
    }
    D[j] = std::pow(2.0, (j + 1.0) / (p + 2.0));
    const double th = KernVec[j];
    /* Written as "not inside" so that a NaN start value counts as outside too. */
    if (!(th >= lo[j] && th <= up[j])) {
      KernVec[j] = std::pow(lo[j] * std::pow(up[j], 7.0), 0.125);
      outside = true;
    }
  }
  if (outside) return Refuse(kKernelOutsideBox);
  best = std::numeric_limits<double>::infinity();
  bool accepted = false;
  return OptKernTrial(KernVec, best, accepted);
}

template <class T>
int Kriging<T>::OptKernExplore(VecD& D, C_MatMGe<double>& B, double& best) {
  const int p = NumKern;
  if (RowsOf(B) != p || ColsOf(B) != 2 || D.Dim() < p || KernVec.Dim() != p)
    return Refuse(kSearchShape);
  const double* lo = ColPtr(B, 0);
  const double* up = ColPtr(B, 1);
  VecD star(0), t(0);
  star.Assign(KernVec);
  for (int j = 0; j < p; ++j) {
    if (!(up[j] > lo[j])) continue;
    const double c = star[j];
    double v;
    if (c == lo[j]) {
      v = lo[j] * std::sqrt(D[j]);
    } else if (c == up[j]) {
      v = up[j] / std::sqrt(D[j]);
    } else {
      v = D[j] * c;
      if (!(v < up[j])) v = up[j];
    }
    t.Assign(star);
    t[j] = v;
    bool accepted = false;
    OptKernTrial(t, best, accepted);
    if (accepted) {
      star.Assign(t);
      continue;
    }
    v = c / D[j];
    if (!(v > lo[j])) v = lo[j];
    t[j] = v;
    OptKernTrial(t, best, accepted);
    if (accepted) star.Assign(t);
  }
  KernVec.Assign(star);
  return 0;
}

template <class T>
int Kriging<T>::OptKernMove(VecD& thetaB, VecD& D, C_MatMGe<double>& B, double& best) {
  const int p = NumKern;
  if (RowsOf(B) != p || ColsOf(B) != 2 || D.Dim() < p || KernVec.Dim() != p ||
      thetaB.Dim() != p)
    return Refuse(kSearchShape);
  const double* lo = ColPtr(B, 0);
  const double* up = ColPtr(B, 1);
  VecD c(0);
  c.Assign(KernVec);
  bool moved = false;
  for (int j = 0; j < p; ++j)
    if (c[j] != thetaB[j]) moved = true;
  if (!moved) {
    for (int j = 0; j < p; ++j) D[j] = std::pow(D[j], 0.2);
    return 0;
  }
  /* A parameter that did not move keeps its value along the pattern; this also keeps a
   * parameter pinned at 0 (an empty box) from turning into 0/0. */
  VecD v(p), t(p);
  for (int j = 0; j < p; ++j) v[j] = (c[j] == thetaB[j]) ? 1.0 : c[j] / thetaB[j];
  for (;;) {
    for (int j = 0; j < p; ++j) {
      double x = v[j] * c[j];
      if (lo[j] > x) x = lo[j];
      else if (x > up[j]) x = up[j];
      t[j] = x;
    }
    bool accepted = false;
    OptKernTrial(t, best, accepted);
    if (!accepted) break;
    c.Assign(t);
    for (int j = 0; j < p; ++j) v[j] *= v[j];
  }
  KernVec.Assign(c);
  for (int j = 0; j < p; ++j) D[j] = std::pow(D[j], 0.25);
  return 0;
}

template <class T>
int Kriging<T>::OptimizeKern(C_MatMGe<double>& B, double& best) {
  /* Every step names its own refusal. */
  VecD D(0), thetaB(0);
  if (OptKernStart(D, B, best) != 0) return 1;
  const int p = NumKern;
  const int cycles = (p < 2) ? 2 : std::min(p, 4);
  for (int cycle = 0; cycle < cycles; ++cycle) {
    thetaB.Assign(KernVec);
    if (OptKernExplore(D, B, best) != 0) return 1;
    if (OptKernMove(thetaB, D, B, best) != 0) return 1;
    if (ShiftStepVec(D) != 0) return 1;
  }
  return 0;
}

template <class T>
int Kriging<T>::SolveOptKern() {
  if (KrigingStatus == KrigingSolved) return 0;
  if (KrigingStatus != KrigingSolveRequired) return RefuseIncomplete();

  /* The trials share the scaled samples and the trend matrix, which the kernel does not
   * change: scaled once here, the trend made by the first build. Every build of the search
   * but the last is a trial that needs no inverse factor. The workspace leaves search mode
   * however the search ends. */
  Workspace& w = Work();
  struct SearchMode {
    Workspace& w;
    ~SearchMode() { w.search = w.trendReady = w.trialFit = false; }
  } mode{w};
  w.search = false;
  w.trendReady = false;
  w.trialFit = false;
  int res = EvalScaling(w.Xs, w.Ys);
  if (res != 0) return res;
  C_MatMGe<T>& Xs = w.Xs;
  w.search = true;

  /* From here the kernel may move, whether or not the search succeeds: test correlations
   * cached at the old kernel no longer hold. */
  CorrStale = true;

  VecD theta0(0);
  if (KernToEstimate) {
    res = EstimateStartKern(Xs);
    if (res != 0) return res;
    theta0.Assign(KernVec);
  } else {
    if (KernVec.Dim() != NumKern) return Refuse(kKernelCount);
    if (NewSamples) {
      /* Samples were appended: centre the box on an estimate from all of them. */
      theta0.Resize(NumKern);
      res = EstimateKern(Xs, theta0);
      if (res != 0) return res;
    } else {
      theta0.Assign(KernVec);
    }
  }

  /* Every trial would be refused for it (see BuildModel): refused once, by name. */
  if (!KernLengthFits(theta0.Dim(), NumVar)) return Refuse(kFitKernelLength);

  const int p = NumKern;
  C_MatMGe<double> B(p, 2);
  double* lo = ColPtr(B, 0);
  double* up = ColPtr(B, 1);
  for (int j = 0; j < p; ++j) {
    lo[j] = KernLoFactor * theta0[j];
    up[j] = KernUpFactor * theta0[j];
  }
  if (NewSamples) {
    for (int j = 0; j < p; ++j) {
      if (lo[j] > KernVec[j]) KernVec[j] = lo[j];
      else if (KernVec[j] > up[j]) KernVec[j] = up[j];
    }
  }

  double best = std::numeric_limits<double>::infinity();
  w.trialFit = true;
  if (OptimizeKern(B, best) != 0) return 1; /* named by the failing step */
  /* Not one kernel of the search could be fitted: there is nothing to build at. */
  if (!(best < std::numeric_limits<double>::infinity())) return Refuse(kNoKernelFits);

  w.trialFit = false;
  KrigingStatus = KrigingSolveRequired;
  if (BuildModel() != 0) return 1; /* named by the build */
  TrendStale = true;
  return 0;
}

template <class T>
int Kriging<T>::ShiftStepVec(VecD& v) {
  const int p = NumKern;
  if (p > v.Dim()) return Refuse(kSearchShape);
  if (p <= 1) return 0;
  const double last = v[p - 1];
  for (int i = p - 1; i > 0; --i) v[i] = v[i - 1];
  v[0] = last;
  return 0;
}

/* Explicit instances of the members defined in this file, for both element types (the class
 * itself is instantiated in Kriging.cpp). */
#define KRIGING_SEARCH_MEMBERS(T) \
  template int Kriging<T>::ShiftStepVec(VecD& v); \
  template int Kriging<T>::SolveOptKern(); \
  template int Kriging<T>::OptimizeKern(C_MatMGe<double>& B, double& best); \
  template int Kriging<T>::OptKernStart(VecD& D, C_MatMGe<double>& B, double& best); \
  template int Kriging<T>::OptKernExplore(VecD& D, C_MatMGe<double>& B, double& best); \
  template int Kriging<T>::OptKernMove(VecD& thetaB, VecD& D, C_MatMGe<double>& B, double& best); \
  template int Kriging<T>::OptKernTrial(VecD& t, double& best, bool& accepted);

KRIGING_SEARCH_MEMBERS(double)
KRIGING_SEARCH_MEMBERS(std::complex<double>)
