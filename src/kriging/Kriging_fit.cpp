/* Kriging_fit.cpp: the fit of the Kriging model: Solve, one build for the current kernel (scaling,
 * first kernel estimate, correlation and trend matrices, regularisation), the generalised
 * least-squares fit on the Cholesky factor with the likelihood objective, and the fit line. */
#include "Kriging.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <cstddef>
#include <limits>

#include "C_KveloMessage.h"

#include "corr_kernels.h"
#include "kriging_refusal.h"
#include "kriging_util.h"
#include "kriging_work.h"
#include "rfp_factor.h"

using namespace kriging_internal;

namespace {

/* det(R)^(1/m) from the m diagonal entries diag(i) of its Cholesky factor, in partial products
 * of at most 20 entries ({0}, {1 .. 20}, {21 .. 40}, ...) raised to the power 2/m, so that
 * det(R) itself, which under- or overflows for large m, is never formed. */
template <class Diag>
double DetTermOf(int m, Diag diag) {
  if (m <= 0) return 1.0;
  const double e = 2.0 / static_cast<double>(m);
  double D = 1.0, b = 1.0;
  for (int i = 0; i < m; ++i) {
    b *= diag(i);
    if (i % 20 == 0) {
      D *= std::pow(b, e);
      b = 1.0;
    }
  }
  if ((m - 1) % 20 != 0) D *= std::pow(b, e);
  return D;
}

/* B := C^-1 B, or C^-T B, for ncols columns of element type T at b (leading dimension ld).
 * The factor is real: complex columns are solved as their real and imaginary parts, side by
 * side in the real array split. */
inline void SolveColumns(const RfpFactor& C, bool transpose, int ncols, double* b, int ld,
                         C_VecPi<double, int, C_PtrInCore<double, int>>&) {
  C.Solve(transpose, ncols, b, ld);
}
inline void SolveColumns(const RfpFactor& C, bool transpose, int ncols, dcomplex* b, int ld,
                         C_VecPi<double, int, C_PtrInCore<double, int>>& split) {
  const int m = C.Order();
  if (m <= 0 || ncols <= 0) return;
  const long long total = 2LL * m * ncols;
  split.Resize(total > INT_MAX ? -1 : static_cast<int>(total));
  double* re = split.Adr(0);
  double* im = re + static_cast<std::ptrdiff_t>(m) * ncols;
  for (int c = 0; c < ncols; ++c) {
    const dcomplex* col = b + static_cast<std::ptrdiff_t>(c) * ld;
    double* r = re + static_cast<std::ptrdiff_t>(c) * m;
    double* i = im + static_cast<std::ptrdiff_t>(c) * m;
    for (int k = 0; k < m; ++k) {
      r[k] = col[k].real();
      i[k] = col[k].imag();
    }
  }
  C.Solve(transpose, 2 * ncols, re, m);
  for (int c = 0; c < ncols; ++c) {
    dcomplex* col = b + static_cast<std::ptrdiff_t>(c) * ld;
    const double* r = re + static_cast<std::ptrdiff_t>(c) * m;
    const double* i = im + static_cast<std::ptrdiff_t>(c) * m;
    for (int k = 0; k < m; ++k) col[k] = dcomplex(r[k], i[k]);
  }
}

/* Whether every value of column k of Y equals the first. */
template <class T>
bool ColumnConstant(C_MatMGe<T>& Y, int k) {
  const T* y = ColPtr(Y, k);
  for (int i = 1; i < RowsOf(Y); ++i)
    if (!(y[i] == y[0])) return false;
  return true;
}

}  // namespace

/* ======================================================================================= */
/* Fit                                                                                     */
/* ======================================================================================= */

template <class T>
int Kriging<T>::BeginFit() {
  KrigingStatus = static_cast<E_KrigingStatus>(CheckSampData());
  if (KrigingStatus != KrigingSolveRequired) return RefuseIncomplete();
  if (SolnType != SolDefault) return Refuse(kSolnType);
  /* Only the parameterisations and optimisation modes the enumerations name are fitted: a
   * model file records them, and its readers take back only what a fit can have made. */
  if (!KnownKernVarType(KernVarType)) return Refuse(kKernVarType);
  if (!KnownKernOptType(KernOptType)) return Refuse(kKernOptType);
  /* Samples that are not numbers would fail whichever step meets them first, under another
   * name (a correlation matrix that is not positive definite, an objective that is not
   * finite), and a kernel search would try every one of its trials on them. */
  if (!AllFinite(InpSampMtx) || !AllFinite(OutSampMtx)) return Refuse(kSamplesNotFinite);

  /* The triangle kept for predictor errors lends its storage to the build; it is made again
   * from CorrMtx should it be needed before a fit replaces it. */
  Workspace& w = Work();
  w.savedKern.Assign(KernVec);
  w.savedInpScale.Assign(InpScaleVec);
  w.savedInpIcpt.Assign(InpInterceptVec);
  w.savedOutScale.Assign(OutScaleVec);
  w.savedOutIcpt.Assign(OutInterceptVec);
  w.savedProcVarnc.Assign(ProcVarnc);
  w.savedMLEVec.Assign(MLEVec);
  w.savedCorrCoeff = CorrCoeff;
  w.savedPolyCoeff = PolyCoeff;
  w.savedFtTMtx = FtTMtx;
  w.savedTrendFactor = TrendFactor;
  w.savedMLE = MLE;
  w.savedNumKern = NumKern;
  w.savedKernToEstimate = KernToEstimate;
  w.savedFtReady = FtReady;
  w.savedSolveRequired = SolveRequired;
  w.savedPolynomType = PolynomType;
  w.trial.Swap(w.kept);
  ForgetKeptFactor(w);
  return 0;
}

template <class T>
int Kriging<T>::EndFit(int res) {
  if (res != 0) {
    /* A failed fit leaves the model as it found it, but unsolved: its kernel, kernel count
     * and estimate flag, trend type, scale vectors, coefficients, factors and objective go
     * back to what they were (the test-input caches are made again at their next use). */
    Workspace& w = Work();
    KernVec.Assign(w.savedKern);
    InpScaleVec.Assign(w.savedInpScale);
    InpInterceptVec.Assign(w.savedInpIcpt);
    OutScaleVec.Assign(w.savedOutScale);
    OutInterceptVec.Assign(w.savedOutIcpt);
    ProcVarnc.Assign(w.savedProcVarnc);
    MLEVec.Assign(w.savedMLEVec);
    CorrCoeff = w.savedCorrCoeff;
    PolyCoeff = w.savedPolyCoeff;
    FtTMtx = w.savedFtTMtx;
    TrendFactor = w.savedTrendFactor;
    MLE = w.savedMLE;
    NumKern = w.savedNumKern;
    KernToEstimate = w.savedKernToEstimate;
    FtReady = w.savedFtReady;
    SolveRequired = w.savedSolveRequired;
    PolynomType = w.savedPolynomType;
    CorrStale = true;
    TrendStale = true;
    KrigingStatus = KrigingSolveRequired;
    ReleaseBuildWork();
    return res;
  }
  ReleaseBuildWork();
  ++SolveCount;
  KrigingStatus = KrigingSolved;
  return 0;
}

template <class T>
int Kriging<T>::Solve() {
  if (KrigingStatus == KrigingSolved) return 0;
  const int ready = BeginFit();
  if (ready != 0) return ready;
  int res;
  try {
    if (KernOptType == KernOptNone) {
      RescaleRequested = true;
      res = BuildModel();
    } else if (SolveCount % (Step > 0 ? Step : 1) != 0) {
      RescaleRequested = false;
      res = BuildModel();
    } else {
      RescaleRequested = true;
      res = SolveOptKern();
    }
  } catch (...) {
    /* A fit that runs out of memory ends as a failed one does, then the host is told. */
    EndFit(1);
    throw;
  }
  return EndFit(res);
}

template <class T>
int Kriging<T>::EstimateKern(C_MatMGe<T>& Xs, VecD& theta) {
  if (!KnownKernVarType(KernVarType)) return Refuse(kKernVarType);
  VecD v(0);
  const int res = this->DiagOfCovarMtx(Xs, v);
  if (res != 0) return res;
  const int n = NumVar;
  /* A column without spread (constant, or a single sample) adds nothing to any distance: its
   * variance 0 gives the kernel value 1. A column that varies by less than the doubles' range
   * lets its variance underflow to 0, or leaves a reciprocal no double holds: that is no
   * column without spread, and an estimate of 1 would make the model ignore it. */
  auto flat = [&Xs](int j) { return j < ColsOf(Xs) && ColumnConstant(Xs, j); };
  double theta0 = 1.0;
  if (KernVarType == KernOneForAll) {
    double S = 0.0;
    bool varies = false;
    for (int j = 0; j < n && j < v.Dim(); ++j) {
      S += v[j];
      if (!flat(j)) varies = true;
    }
    if (S > 0.0) theta0 = static_cast<double>(n) / S;
    else if (varies) return Refuse(kKernelEstimateBeyondRange);
    if (!std::isfinite(theta0) || !(theta0 > 0.0)) return Refuse(kKernelEstimateBeyondRange);
  }
  VecD est(theta.Dim());
  for (int j = 0; j < theta.Dim(); ++j) {
    double t = theta0;
    if (KernVarType != KernOneForAll) {
      if (j >= NumKern) {
        t = theta[j];
      } else {
        t = 1.0;
        if (j < v.Dim() && v[j] > 0.0) t = 1.0 / v[j];
        else if (!flat(j)) return Refuse(kKernelEstimateBeyondRange);
        if (!std::isfinite(t) || !(t > 0.0)) return Refuse(kKernelEstimateBeyondRange);
      }
    }
    est[j] = t;
  }
  for (int j = 0; j < theta.Dim(); ++j) theta[j] = est[j];
  return 0;
}

template <class T>
int Kriging<T>::EstimateStartKern(C_MatMGe<T>& Xs) {
  if (NumKern == 0) NumKern = KernCount(KernVarType, NumVar);
  KernVec.Resize(NumKern);
  const int res = EstimateKern(Xs, KernVec);
  if (res != 0) return res;
  KernToEstimate = false;
  return 0;
}

template <class T>
int Kriging<T>::RegularizeCorrMtx(C_MatMSym<double>& R) {
  const int m = RowsOf(R);
  const double gain = std::sqrt(static_cast<double>(NumSamp)) * DropToler +
                      (static_cast<double>(NumSamp) + 10.0) * NuggetEps;
  double* ap = R.Adr();
  for (int j = 0; j < m; ++j) {
    double* col = ap + LowerPacked(j, j, m);
    col[0] += gain;
    DropBelow(col + 1, m - j - 1, DropToler);
  }
  return 0;
}

template <class T>
int Kriging<T>::BuildModel() {
  if (KrigingStatus == KrigingSolved) return 0;
  if (KrigingStatus != KrigingSolveRequired) return RefuseIncomplete();

  /* The work arrays live in the workspace: the trials of a kernel search reuse them, and the
   * search scales the samples once for all of its trials. */
  Workspace& w = Work();
  int res;
  if (!w.search) {
    res = EvalScaling(w.Xs, w.Ys);
    if (res != 0) return res;
  }
  C_MatMGe<T>& Xs = w.Xs;

  if (KernToEstimate) {
    res = EstimateStartKern(Xs);
    if (res != 0) return res;
    CorrStale = true;
    TrendStale = true;
  }
  /* A model file holds a kernel of one value or of one per input, and its readers take no
   * other: a kernel left over from another input count (PutInpSampMtx keeps the kernel count)
   * is not fitted, so that every model a fit makes can be written and read back. */
  if (!KernLengthFits(KernVec.Dim(), NumVar)) return Refuse(kFitKernelLength);

  res = this->EvalCorrMtx(Xs, w.R);
  if (res != 0) return res;

  /* The trend matrix and its degree depend on the scaled samples alone: within a search the
   * first build makes them (with the rank test of the automatic degree) for every trial. */
  if (!w.trendReady) {
    w.F.Resize(0, 0);
    w.nterms = -1;
    res = this->EvalQuadPolynomMtx(Xs, w.nterms, w.F, 0);
    if (res != 0) return res;
    w.trendReady = w.search;
  }

  RegularizeCorrMtx(w.R);
  res = FitModel(w.R, w.F, w.Ys);
  if (res != 0) return res;

  KrigingStatus = KrigingSolved;
  return 0;
}

template <class T>
double Kriging<T>::DetTerm(C_MatMSym<double>& C) {
  const double* ap = C.Adr();
  const int m = RowsOf(C);
  return DetTermOf(m, [ap, m](int i) { return ap[LowerPacked(i, i, m)]; });
}

template <class T>
int Kriging<T>::EvalDetTerm(C_MatMSym<double>& C) {
  MLE = DetTerm(C);
  return 0;
}

template <class T>
int Kriging<T>::FitModel(C_MatMSym<double>& R, C_MatMGe<T>& F, C_MatMGe<T>& Y) {
  const int m = RowsOf(R);
  if (m != NumSamp || ColsOf(Y) != NumSol) return Refuse(kFitShape);
  const int p = ColsOf(F), q = ColsOf(Y);
  if (m <= 0 || RowsOf(Y) != m || R.Side() == 0) return Refuse(kFitShape);
  if (p > 0 && (p > m || RowsOf(F) < m)) return Refuse(kFitTrendShape);
  if (RfpFactor::Values(m) < 0 || R.storage.Dim() < RfpFactor::Values(m))
    return Refuse(kFitShape);
  const int lwork = 64 * std::max(m, std::max(p, q)) + std::min(m, p);

  /* Everything is computed in the workspace and stored in the model only once every LAPACK
   * step succeeded: a failed fit leaves the model's members as they were. */
  Workspace& w = Work();
  RfpFactor& C = w.trial;
  if (C.Factor(R.Adr(), m) != 0) return Refuse(kNotPositiveDefinite);
  const double D = DetTermOf(m, [&C](int i) { return C.Diag(i); });

  /* Whitened outputs C^-1 Y. */
  C_MatMGe<T>& Yt = w.Yt;
  if ((Yt = Y) != 0) return Refuse(kContainerFailed);
  SolveColumns(C, false, q, Yt.Adr(), Yt.Ld(), w.split);

  C_MatMGe<T>& Ft = w.Ft;
  C_MatMGe<T>& FtT = w.FtT;
  C_MatMGe<T>& B = w.B;
  C_MatMSym<T>& G = w.G;
  if (p > 0) {
    /* Whitened trend matrix C^-1 F and its transpose. */
    Ft.Resize(m, p);
    for (int c = 0; c < p; ++c) {
      const T* src = ColPtr(F, c);
      std::copy(src, src + m, ColPtr(Ft, c));
    }
    SolveColumns(C, false, p, Ft.Adr(), Ft.Ld(), w.split);
    FtT.Resize(p, m);
    for (int c = 0; c < p; ++c) {
      const T* src = ColPtr(Ft, c);
      T* dst = FtT.Adr() + c;
      const std::ptrdiff_t ld = FtT.Ld();
      for (int i = 0; i < m; ++i) dst[i * ld] = src[i];
    }

    /* Least squares on copies, in arrays with margins of their own (see Margined). */
    const long long mp = static_cast<long long>(m) * p, mq = static_cast<long long>(m) * q;
    T* A = w.lsA.Reserve(mp);
    T* Bm = w.lsB.Reserve(mq);
    T* work = w.lsWork.Reserve(lwork);
    std::copy(Ft.Adr(), Ft.Adr() + mp, A);
    for (int k = 0; k < q; ++k)
      std::copy(ColPtr(Yt, k), ColPtr(Yt, k) + m, Bm + k * static_cast<std::ptrdiff_t>(m));
    int info = 0;
    Gels(m, p, q, A, m, Bm, m, work, lwork, &info);
    if (info != 0) return Refuse(kTrendRankDeficient);

    B.Resize(p, q);
    for (int k = 0; k < q; ++k) {
      const T* src = Bm + k * static_cast<std::ptrdiff_t>(m);
      std::copy(src, src + p, ColPtr(B, k));
    }

    SetSymShape(G, p, 1);
    T* g = G.Adr();
    for (int j = 0; j < p; ++j)
      for (int i = j; i < p; ++i)
        g[LowerPacked(i, j, p)] = A[j + i * static_cast<std::ptrdiff_t>(m)];

    Yt.Mm('N', 'N', T(-1.0), Ft, B, T(1.0));
  }

  /* Process variances and objective on the whitened residual. A variance or an objective
   * that the doubles cannot hold (outputs of magnitude below about 1e-154 that do not all
   * agree) would pass for a perfect fit: such a fit is refused. */
  VecD procVar(q), mleVec(q);
  const bool outScaled = ScalesOutputs(ScalingType);
  double sum = 0.0;
  bool varying = false;
  for (int k = 0; k < q; ++k) {
    const double nr = Nrm2(m, ColPtr(Yt, k));
    const double s2 = nr * nr / static_cast<double>(m);
    if (!ColumnConstant(Y, k)) {
      varying = true;
      if (!std::isfinite(s2)) return Refuse(kVarianceNotFinite);
      if (!(s2 >= std::numeric_limits<double>::min())) return Refuse(kVarianceUnderflow);
    }
    double pv = s2;
    if (outScaled && k < OutScaleVec.Dim()) pv = s2 / (OutScaleVec[k] * OutScaleVec[k]);
    procVar[k] = pv;
    mleVec[k] = s2 * D;
    sum += s2;
  }
  const double objective = sum * D;
  if (!std::isfinite(D) || !std::isfinite(objective)) return Refuse(kObjectiveNotFinite);
  if (varying && !(objective >= std::numeric_limits<double>::min()))
    return Refuse(kObjectiveUnderflow);

  /* Correlation coefficients C^-T (C^-1 (Y - F beta)). */
  SolveColumns(C, true, q, Yt.Adr(), Yt.Ld(), w.split);

  /* The kept fit stores the inverse factor C^-1 in CorrMtx (and keeps it in RFP storage for
   * predictor errors); the trials of a kernel search do not need it. */
  if (!w.trialFit) {
    if (C.Invert() != 0) return Refuse(kSingularFactor);
    CorrMtx.storage.Resize(static_cast<int>(RfpFactor::Values(m)));
  }

  /* Commit. */
  if (!w.trialFit) {
    CorrMtx.rows = m;
    CorrMtx.cols = m;
    CorrMtx.side = 1;
    C.ToPacked(CorrMtx.Adr());
    w.kept.Swap(C);
    NoteKeptFactor(w, CorrMtx);
  }
  MLE = objective;
  MLEVec.Assign(mleVec);
  ProcVarnc.Assign(procVar);
  if (p > 0) {
    TrendFactor = G;
    FtTMtx = FtT;
    FtReady = true;
    PolyCoeff = B;
  } else {
    PolyCoeff.Resize(0, q);
  }
  CorrCoeff = Yt;
  SolveRequired = false;
  PrintFitLine();
  return 0;
}

template <class T>
void Kriging<T>::PrintFitLine() {
  if (WorkPtr != nullptr && WorkPtr->quiet) return;
  /* Information, verbosity 3, debug scope 502, all streams: the refusal lines go the same way. */
  PrintLine("KrigingList<T>::Print", 2254, [this](Kvelo::C_KveloMessage& msg) {
    msg.Append("   Kernel : ");
    for (int j = 0; j < KernVec.Dim(); ++j) msg.Append("%lf ", KernVec[j]);
    msg.Append(" -> %lf", MLE);
  });
}

template <class T>
int Kriging<T>::MultTriPacked(char uplo, char trans, char diag, int n, int ncols, T* ap, T* x) {
  const char u[2] = {uplo, '\0'}, t[2] = {trans, '\0'}, d[2] = {diag, '\0'};
  for (int c = 0; c < ncols; ++c)
    Tpmv(u, t, d, n, ap, x + static_cast<std::ptrdiff_t>(c) * n);
  return 0;
}

template <class T>
int Kriging<T>::CopySymMtx(C_MatMSym<double>& src, C_MatMSym<T>& dst) {
  const int n = RowsOf(src);
  SetSymShape(dst, n, src.Side() != 0 ? 1 : 0);
  const std::size_t count = static_cast<std::size_t>(n) * (n + 1) / 2;
  const double* s = src.Adr();
  T* d = dst.Adr();
  for (std::size_t k = 0; k < count; ++k) d[k] = T(s[k]);
  return 0;
}

template <class T>
int Kriging<T>::RefitAtStoredKernel() {
  const int ready = BeginFit();
  if (ready != 0) return ready;
  /* The stored scale vectors belong to the stored coefficients: reuse them. */
  RescaleRequested = false;
  int res;
  try {
    res = BuildModel();
  } catch (...) {
    EndFit(1);
    throw;
  }
  return EndFit(res);
}

/* Explicit instances of the members defined in this file, for both element types (the class
 * itself is instantiated in Kriging.cpp). */
#define KRIGING_FIT_MEMBERS(T) \
  template int Kriging<T>::BeginFit(); \
  template int Kriging<T>::EndFit(int res); \
  template int Kriging<T>::Solve(); \
  template int Kriging<T>::EstimateStartKern(C_MatMGe<T>& Xs); \
  template int Kriging<T>::MultTriPacked(char uplo, char trans, char diag, int n, int ncols, T* ap, T* x); \
  template int Kriging<T>::CopySymMtx(C_MatMSym<double>& src, C_MatMSym<T>& dst); \
  template int Kriging<T>::BuildModel(); \
  template int Kriging<T>::EstimateKern(C_MatMGe<T>& Xs, VecD& theta); \
  template int Kriging<T>::RegularizeCorrMtx(C_MatMSym<double>& R); \
  template int Kriging<T>::FitModel(C_MatMSym<double>& R, C_MatMGe<T>& F, C_MatMGe<T>& Y); \
  template int Kriging<T>::EvalDetTerm(C_MatMSym<double>& C); \
  template double Kriging<T>::DetTerm(C_MatMSym<double>& C); \
  template int Kriging<T>::RefitAtStoredKernel(); \
  template void Kriging<T>::PrintFitLine();

KRIGING_FIT_MEMBERS(double)
KRIGING_FIT_MEMBERS(std::complex<double>)
