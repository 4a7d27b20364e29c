/* kriging_work.h: what Kriging<T> keeps between calls beyond the members that its file and its
 * copies carry: the Cholesky factor of the kept fit (whose inverse CorrMtx holds), the arrays
 * that a build and the trials of a kernel search reuse, and the scaled samples of prediction. */
#ifndef KVELO_KRIGING_WORK_H
#define KVELO_KRIGING_WORK_H

#include "Kriging.h"
#include "kriging_util.h"
#include "rfp_factor.h"

template <class T>
struct Kriging<T>::Workspace {
  /* The inverse factor C^-1 that CorrMtx holds, in RFP storage for predictor errors, and what
   * it was made from: CorrMtx's order, storage and three of its values, so that a CorrMtx
   * written by other hands is never read through another triangle. */
  kriging_internal::RfpFactor kept;
  int keptOrder;
  const double* keptData;
  double keptProbe[3];

  /* The build in progress: its correlation matrix and its factor. */
  C_MatMSym<double> R;
  kriging_internal::RfpFactor trial;

  /* Scaled samples and trend matrix of a build. During a kernel search they depend on nothing
   * that the trials change: the search scales once (search set) and its first build makes the
   * trend matrix and its degree for all of them (trendReady set). A trial defers the inverse
   * factor, which only the kept fit needs (trialFit set). */
  C_MatMGe<T> Xs, Ys, F;
  int nterms;
  bool search;
  bool trendReady;
  bool trialFit;
  /* A fit that only checks that a model can be fitted prints no fit line. */
  bool quiet;

  /* Temporaries of the fit: whitened outputs and trend matrix, its transpose, the least-squares
   * copies and solution, the trend factor, the least-squares work array and the real columns
   * that complex right-hand sides are solved through. */
  C_MatMGe<T> Yt, Ft, FtT, B;
  C_MatMSym<T> G;
  kriging_internal::Margined<T> lsA, lsB, lsWork;
  VecD split;

  /* Blocks of correlations of points with the samples that predictor errors are made from,
   * and the products of those blocks with the trend (bounded, kept from call to call). */
  VecD errW, errU;

  /* What a fit may change before it knows whether it succeeds (the kernel and its count, the
   * kernel-estimate flag, the trend type the degree choice lowers, the scale vectors, and the
   * coefficients, factors and objective that the trials of a kernel search store), as they
   * were when it began: a failed fit puts them back. */
  VecD savedKern, savedInpScale, savedOutScale, savedProcVarnc, savedMLEVec;
  VecT savedInpIcpt, savedOutIcpt;
  C_MatMGe<T> savedCorrCoeff, savedPolyCoeff, savedFtTMtx;
  C_MatMSym<T> savedTrendFactor;
  double savedMLE;
  int savedNumKern;
  bool savedKernToEstimate, savedFtReady, savedSolveRequired;
  E_KrigingPolynomType savedPolynomType;

  /* Sample inputs as prediction scales them, valid while the samples, the scaling type and the
   * input scale vectors are those they were made from. */
  C_MatMGe<T> Ss;
  bool ssValid;
  int ssType;
  VecD ssScale;
  VecT ssIcpt;

  Workspace()
      : keptOrder(-1), keptData(nullptr), keptProbe{0.0, 0.0, 0.0}, R(0, 1), Xs(0, 0), Ys(0, 0),
        F(0, 0), nterms(0), search(false), trendReady(false), trialFit(false), quiet(false),
        Yt(0, 0), Ft(0, 0), FtT(0, 0), B(0, 0), G(0, 1), split(0),
        errW(0), errU(0), savedKern(0), savedInpScale(0), savedOutScale(0), savedProcVarnc(0),
        savedMLEVec(0), savedInpIcpt(0), savedOutIcpt(0), savedCorrCoeff(0, 0),
        savedPolyCoeff(0, 0), savedFtTMtx(0, 0), savedTrendFactor(0, 1), savedMLE(0.0),
        savedNumKern(0), savedKernToEstimate(false), savedFtReady(false),
        savedSolveRequired(true), savedPolynomType(PolyNone), Ss(0, 0), ssValid(false),
        ssType(-1), ssScale(0), ssIcpt(0) {}
};

namespace kriging_internal {

/* Records in the workspace w that its kept triangle is the one M (CorrMtx) holds. */
template <class W>
void NoteKeptFactor(W& w, C_MatMSym<double>& M) {
  const int m = M.rows;
  const long long count = RfpFactor::Values(m);
  w.keptOrder = m;
  w.keptData = count > 0 ? M.Adr() : nullptr;
  w.keptProbe[0] = count > 0 ? M.Adr()[0] : 0.0;
  w.keptProbe[1] = count > 0 ? M.Adr()[count / 2] : 0.0;
  w.keptProbe[2] = count > 0 ? M.Adr()[count - 1] : 0.0;
}

/* Records that the kept triangle of w no longer stands for CorrMtx. */
template <class W>
void ForgetKeptFactor(W& w) {
  w.keptOrder = -1;
  w.keptData = nullptr;
}

/* Whether the kept triangle of w is still the one M holds: same order, storage and probed
 * values, and M holds all of its values. */
template <class W>
bool KeptFactorMatches(W& w, C_MatMSym<double>& M) {
  const int m = M.rows;
  const long long count = RfpFactor::Values(m);
  if (count <= 0 || w.kept.Order() != m || w.keptOrder != m || M.cols != m) return false;
  if (M.storage.Dim() < count || w.keptData != M.Adr()) return false;
  const double* a = M.Adr();
  return a[0] == w.keptProbe[0] && a[count / 2] == w.keptProbe[1] &&
         a[count - 1] == w.keptProbe[2];
}

}  // namespace kriging_internal

#endif
