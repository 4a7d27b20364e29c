/* Kriging_predict.cpp: prediction with the Kriging model: trend and correlation parts at new
 * points or at the cached test inputs, predictor errors from the factors of the fit, and the
 * small distance and maximum helpers that prediction and refinement share. */
#include "Kriging.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <cstddef>
#include <limits>
#include <vector>

#include "kriging_refusal.h"
#include "kriging_util.h"
#include "kriging_work.h"
#include "rfp_factor.h"

using namespace kriging_internal;

/* ======================================================================================= */
/* Prediction and predictor error                                                          */
/* ======================================================================================= */

namespace {

inline void Tptri(int n, double* ap, int* info) { ITF_dtptri("L", "N", n, ap, info); }
inline void Tptri(int n, dcomplex* ap, int* info) { ITF_ztptri("L", "N", n, ap, info); }

/* u_a of point c, from U := W FtT^T (cols x p real values, or cols x 2p for a complex FtT,
 * whose real and imaginary parts are the interleaved rows of a real 2p x m matrix). */
inline void TrendProduct(int cols, int p, int m, const double* W, const double* FtT, int ld,
                         double* U) {
  ITF_dgemm("N", "T", cols, p, m, 1.0, W, cols, FtT, ld, 0.0, U, cols);
}
inline void TrendProduct(int cols, int p, int m, const double* W, const dcomplex* FtT, int ld,
                         double* U) {
  ITF_dgemm("N", "T", cols, 2 * p, m, 1.0, W, cols, reinterpret_cast<const double*>(FtT),
            2 * ld, 0.0, U, cols);
}
inline double TrendValue(const double* U, int cols, int c, int a, double*) {
  return U[c + static_cast<std::ptrdiff_t>(a) * cols];
}
inline dcomplex TrendValue(const double* U, int cols, int c, int a, dcomplex*) {
  return dcomplex(U[c + static_cast<std::ptrdiff_t>(2 * a) * cols],
                  U[c + static_cast<std::ptrdiff_t>(2 * a + 1) * cols]);
}

/* Predictor errors of points in blocks, from their correlations with the samples: the rows of
 * W (one point per row, one sample per column) become z_i^T = (C^-1 r_i)^T in one product with
 * the inverse factor, s_i = |z_i|^2 = r_i^T K^-1 r_i, and with a trend u_i = F~^T z_i - f_i,
 * v_i = G^-1 u_i, t_i = |v_i|^2; the error of output k is sqrt|sigma_k^2 (1 + t_i - s_i)|. */
template <class T>
class ErrorBlocks {
 public:
  /* U holds the products with the trend of up to maxCols points (resized here). */
  ErrorBlocks(const RfpFactor& cinv, C_MatMGe<T>& FtT, C_MatMSym<T>& Ginv,
              C_VecPi<double, int, C_PtrInCore<double, int>>& procVar, int m, int p, int q,
              int maxCols, C_VecPi<double, int, C_PtrInCore<double, int>>& U)
      : cinv_(cinv), FtT_(FtT), Ginv_(Ginv), procVar_(procVar), m_(m), p_(p), q_(q), U_(U),
        s_(SizedBuffer<std::vector<double>>(static_cast<std::size_t>(std::max(1, maxCols)))),
        u_(SizedBuffer<std::vector<T>>(static_cast<std::size_t>(std::max(p, 1)))) {
    const long long values = std::max(1LL, static_cast<long long>(maxCols) * p *
                                               static_cast<long long>(sizeof(T) / sizeof(double)));
    U_.Resize(values > INT_MAX ? -1 : static_cast<int>(values));
  }

  /* Rows i0 .. i0+cols-1 of E := the errors of the points whose correlations are the rows of
   * W (cols x m, leading dimension cols; overwritten) and whose trend rows are those of F. */
  void Run(double* W, int cols, C_MatMGe<T>& F, int i0, C_MatMGe<double>& E) {
    const int m = m_, p = p_;
    if (m > 0) cinv_.MultiplyRightTrans(cols, W, cols);
    double* s = s_.data();
    std::fill(s, s + cols, 0.0);
    for (int j = 0; j < m; ++j) {
      const double* wj = W + static_cast<std::ptrdiff_t>(j) * cols;
      for (int c = 0; c < cols; ++c) s[c] += wj[c] * wj[c];
    }
    double* U = U_.Adr(0);
    if (p > 0) TrendProduct(cols, p, m, W, FtT_.Adr(), std::max(1, FtT_.Ld()), U);
    for (int c = 0; c < cols; ++c) {
      const int i = i0 + c;
      double bracket = 1.0 - s[c];
      /* The root of |bracket| when t = |v|^2 has no double (trend rows of points near 1e154
       * and beyond): |v| sqrt|1 + (1 - s)/|v|^2|, negative while unset. */
      double root = -1.0;
      if (p > 0) {
        T* u = u_.data();
        for (int a = 0; a < p; ++a) u[a] = TrendValue(U, cols, c, a, u) - ColPtr(F, a)[i];
        Tpmv("L", "N", "N", p, Ginv_.Adr(), u);
        double tsum = 0.0;
        for (int a = 0; a < p; ++a) tsum += SqMag(u[a]);
        bracket = 1.0 + tsum - s[c];
        if (std::isinf(tsum)) {
          const double v = NormOf(p, [u](int a) { return SqMag(u[a]); },
                                  [u](int a) { return Mag(u[a]); });
          root = v * std::sqrt(std::fabs(1.0 + ((1.0 - s[c]) / v) / v));
        }
      }
      for (int k = 0; k < q_; ++k)
        ColPtr(E, k)[i] = ErrorOf(procVar_[k], bracket, root);
    }
  }

  /* sqrt|sigma^2 bracket|, the product formed as it is while it is a normal double; else (an
   * error whose square lies beyond the doubles, outputs near 1e154, or below them) the
   * product of the roots, and with root set (see Run) sqrt|sigma^2| times root. */
  static double ErrorOf(double procVar, double bracket, double root) {
    if (root >= 0.0) return std::sqrt(std::fabs(procVar)) * root;
    const double product = procVar * bracket;
    if (std::isfinite(product) && std::fabs(product) >= std::numeric_limits<double>::min())
      return std::sqrt(std::fabs(product));
    return std::sqrt(std::fabs(procVar)) * std::sqrt(std::fabs(bracket));
  }

 private:
  const RfpFactor& cinv_;
  C_MatMGe<T>& FtT_;
  C_MatMSym<T>& Ginv_;
  C_VecPi<double, int, C_PtrInCore<double, int>>& procVar_;
  int m_, p_, q_;
  C_VecPi<double, int, C_PtrInCore<double, int>>& U_;
  std::vector<double> s_;
  std::vector<T> u_;
};

/* Points whose correlations with the samples are solved together: at most 2^19 correlations
 * (4 MiB) in a block, at least one point. */
inline int PointsPerBlock(int m, int N) {
  const int budget = 1 << 19;
  return std::max(1, std::min(N, budget / std::max(m, 1)));
}

}  // namespace

template <class T>
int Kriging<T>::ScaledSamples(C_MatMGe<T>*& Ss) {
  if (!ScalesInputs(ScalingType)) {
    Ss = &InpSampMtx;
    return 0;
  }
  Workspace& w = Work();
  const bool same = w.ssValid && w.ssType == ScalingType && RowsOf(w.Ss) == RowsOf(InpSampMtx) &&
                    ColsOf(w.Ss) == ColsOf(InpSampMtx) && SameValues(w.ssScale, InpScaleVec) &&
                    SameValues(w.ssIcpt, InpInterceptVec);
  if (!same) {
    w.ssValid = false;
    const int res = ApplyScaling(InpSampMtx, InpScaleVec, InpInterceptVec, w.Ss);
    if (res != 0) return res;
    w.ssScale.Assign(InpScaleVec);
    w.ssIcpt.Assign(InpInterceptVec);
    w.ssType = ScalingType;
    w.ssValid = true;
  }
  Ss = &w.Ss;
  return 0;
}

template <class T>
int Kriging<T>::KeptFactorReady() {
  Workspace& w = Work();
  if (KeptFactorMatches(w, CorrMtx)) return 0;
  /* CorrMtx was not made by this model's last fit, or was written since: the triangle is
   * taken from it, so that predictor errors always follow what CorrMtx holds. */
  ForgetKeptFactor(w);
  const int m = RowsOf(CorrMtx);
  const long long count = RfpFactor::Values(m);
  if (m <= 0 || count < 0 || CorrMtx.storage.Dim() < count || CorrMtx.Side() == 0)
    return Refuse(kNoFactor);
  if (w.kept.Load(CorrMtx.Adr(), m) != 0) return Refuse(kSingularFactor);
  NoteKeptFactor(w, CorrMtx);
  return 0;
}

template <class T>
int Kriging<T>::PrepareErrors(int m, int p, int N, C_MatMSym<T>& Ginv) {
  if (p > 0) {
    const int order = FtReady ? RowsOf(TrendFactor) : 0;
    if (p != order || p != RowsOf(FtTMtx)) return Refuse(kErrorTrendShape);
  }
  if (m != RowsOf(CorrMtx)) return Refuse(kErrorCorrShape);
  if (p > 0 && m != ColsOf(FtTMtx)) return Refuse(kErrorCorrShape);
  /* Factors of the sizes they claim, and a variance per output (a model built elsewhere
   * must not make this read past them). */
  const int q = NumSol;
  if (q < 0 || ProcVarnc.Dim() < q) return Refuse(kNoVariances);
  if (CorrMtx.storage.Dim() < static_cast<long long>(m) * (m + 1) / 2) return Refuse(kNoFactor);
  if (p > 0 && TrendFactor.storage.Dim() < static_cast<long long>(p) * (p + 1) / 2)
    return Refuse(kNoFactor);
  if (N == 0) return 0;

  /* G^-1 once per call. */
  if (p > 0) {
    Ginv = TrendFactor;
    int info = 0;
    Tptri(p, Ginv.Adr(), &info);
    if (info != 0) return Refuse(kSingularTrendFactor); /* it gives no error estimate */
  }
  /* C^-1, the inverse Cholesky factor that CorrMtx holds, in RFP storage. */
  if (m > 0) return KeptFactorReady();
  return 0;
}

template <class T>
int Kriging<T>::EvalModel(C_MatMGe<T>& X, C_MatMGe<T>& Y) {
  int k = 0;
  double maxErr = 0.0;
  C_MatMGe<T> sel(0, 0);
  return EvalModel(X, Y, k, sel, maxErr, false) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::EvalModel(C_MatMGe<T>& X, C_MatMGe<T>& Y, int& k, C_MatMGe<T>& Xsel,
                          double& maxErr, bool useTest) {
  /* 1. Readiness (Solve names its own refusal). */
  if (KrigingStatus == KrigingSolveRequired && this->Solve() != 0) return 1;
  if (KrigingStatus != KrigingSolved)
    return RefuseIncomplete();

  /* 2. Predictor errors need factors of this model's own: a copied or read model refits at
   * its stored kernel first, and fails rather than use factors it does not have. */
  if ((k > 0 || KeepPredErr) && SolveRequired) {
    if (RefitAtStoredKernel() != 0) return 1;
  }

  /* 3. Points. A point that is not a number has no prediction: refused before anything of
   * the caller's is written. */
  if (useTest && !InpTestSet) return Refuse(kNoTestInputs);
  const int n = NumVar, m = NumSamp, q = NumSol;
  C_MatMGe<T>* P = useTest ? &InpTestMtx : &X;
  if (ColsOf(*P) != n) return Refuse(kPointsWidth);
  if (!AllFinite(*P)) return Refuse(kPointsNotFinite);
  /* The fitted members must describe the current samples. */
  if (RowsOf(InpSampMtx) != m || ColsOf(InpSampMtx) != n || RowsOf(CorrCoeff) != m ||
      ColsOf(CorrCoeff) != q)
    return Refuse(kFitStale);
  const int p = (ColsOf(PolyCoeff) > 0) ? RowsOf(PolyCoeff) : 0;
  if (p > 0 && ColsOf(PolyCoeff) != q) return Refuse(kFitStale);
  const int N = RowsOf(*P);
  /* Y is about to be resized and zeroed: points in memory that Y writes or may give back
   * (the same matrix, a Lnk() view, a view over the same array) are kept in a copy first. */
  C_MatMGe<T> Pkeep(0, 0);
  if (kvelo_vec::Overlaps(Y.ResultMemory(static_cast<long long>(N) * q), P->ValueMemory())) {
    Pkeep = *P;
    P = &Pkeep;
  }

  /* 4. Scaling of the points and of the samples (kept from call to call). */
  C_MatMGe<T> PsLoc(0, 0);
  C_MatMGe<T>* Ps = P;
  C_MatMGe<T>* Ss = &InpSampMtx;
  if (ScalesInputs(ScalingType)) {
    if (ApplyScaling(*P, InpScaleVec, InpInterceptVec, PsLoc) != 0) return 1;
    Ps = &PsLoc;
  }
  if (ScaledSamples(Ss) != 0) return 1;

  /* 5. Y starts from zero. */
  Y.Resize(N, q);
  for (int c = 0; c < q; ++c) std::fill(ColPtr(Y, c), ColPtr(Y, c) + N, T(0.0));

  const bool shared = (NumKern == 1);
  const E_Refusal kernel = KernelRefusal(CorrFuncType, KernVec.Dim(), shared, n);
  if (kernel != kRefusalCount) {
    if (useTest) CorrStale = true; /* the cache was not filled */
    return Refuse(kernel);
  }
  const double* theta = KernVec.Adr(0);
  const int type = CorrFuncType;
  std::vector<T> sj = SizedBuffer<std::vector<T>>(static_cast<std::size_t>(n)), point;
  const std::ptrdiff_t ldp = std::max(Ps->Ld(), 1);

  /* Predictor errors of new points without refinement: the points go in blocks whose
   * correlations are made, used for the prediction and solved for the errors at once, so that
   * no matrix of all points by all samples is made. The trend rows are made first. */
  if (KeepPredErr && k <= 0 && !useTest) {
    C_MatMGe<T> Floc(0, 0);
    int terms = p;
    const int res = this->EvalQuadPolynomMtx(*Ps, terms, Floc, 0);
    if (res != 0) return res;
    if (ColsOf(Floc) != p || RowsOf(Floc) != N) return Refuse(kErrorTrendShape);
    C_MatMSym<T> Ginv(0, 1);
    if (PrepareErrors(m, p, N, Ginv) != 0) return 1;
    C_MatMGe<double> Err(N, q);
    const int nb = PointsPerBlock(m, N);
    Workspace& w = Work();
    ErrorBlocks<T> errors(w.kept, FtTMtx, Ginv, ProcVarnc, m, p, q, nb, w.errU);
    w.errW.Resize(std::max(1, nb * std::max(m, 1)));
    double* W = w.errW.Adr(0);
    for (int i0 = 0; i0 < N; i0 += nb) {
      const int cols = std::min(nb, N - i0);
      /* Correlation part, each point summed over the samples in index order. */
      for (int j = 0; j < m; ++j) {
        double* r = W + static_cast<std::ptrdiff_t>(j) * cols;
        for (int v = 0; v < n; ++v) sj[v] = ColPtr(*Ss, v)[j];
        CorrColumn<T>(type, Ps->Adr() + i0, ldp, cols, sj.data(), n, theta, shared, r, point);
        for (int c = 0; c < q; ++c) {
          const T g = ColPtr(CorrCoeff, c)[j];
          T* y = ColPtr(Y, c) + i0;
          for (int i = 0; i < cols; ++i) y[i] += r[i] * g;
        }
      }
      errors.Run(W, cols, Floc, i0, Err);
    }
    if (p > 0) Y.Mm('N', 'N', T(1.0), Floc, PolyCoeff, T(1.0));
    if (ScalesOutputs(ScalingType)) {
      if (UnscaleOutput(Y, OutScaleVec, OutInterceptVec) != 0) return 1;
    }
    /* A prediction or an error that overflowed is no answer. */
    if (!AllFinite(Y) || !AllFinite(Err)) return Refuse(kPredictionNotFinite);
    if ((PredErrMtx = Err) != 0) return Refuse(kContainerFailed);
    return 0;
  }

  /* 6. Correlation store: the test-input cache, a local matrix when refinement points need
   * the correlations afterwards, or none. */
  C_MatMGe<double> Rloc(0, 0);
  C_MatMGe<double>* Rs = nullptr;
  int cached = 0;
  if (useTest) {
    if (CorrStale || RowsOf(TestCorrMtx) != N || ColsOf(TestCorrMtx) > m) {
      TestCorrMtx.Resize(N, m);
      CorrStale = false;
    } else {
      cached = ColsOf(TestCorrMtx);
      TestCorrMtx.ResizeKeep(N, m);
    }
    Rs = &TestCorrMtx;
  } else if (k > 0 || KeepPredErr) {
    Rloc.Resize(N, m);
    Rs = &Rloc;
  }

  /* 7. Correlation part, each point summed over the samples in index order. */
  std::vector<double> rloc =
      SizedBuffer<std::vector<double>>(static_cast<std::size_t>(Rs != nullptr ? 0 : N));
  for (int j = 0; j < m; ++j) {
    double* r = (Rs != nullptr) ? ColPtr(*Rs, j) : rloc.data();
    if (j >= cached && N > 0) {
      for (int v = 0; v < n; ++v) sj[v] = ColPtr(*Ss, v)[j];
      CorrColumn<T>(type, Ps->Adr(), ldp, N, sj.data(), n, theta, shared, r, point);
    }
    for (int c = 0; c < q; ++c) {
      const T g = ColPtr(CorrCoeff, c)[j];
      T* y = ColPtr(Y, c);
      for (int i = 0; i < N; ++i) y[i] += r[i] * g;
    }
  }

  /* 8. Trend part: rows of the test inputs are kept and only new rows are computed. */
  C_MatMGe<T> Floc(0, 0);
  C_MatMGe<T>* Fs = &Floc;
  int terms = p;
  if (useTest) {
    int start = 0;
    if (TrendStale || ColsOf(TestTrendMtx) != p || RowsOf(TestTrendMtx) > N) {
      TrendStale = false;
    } else {
      start = RowsOf(TestTrendMtx);
    }
    const int res = this->EvalQuadPolynomMtx(*Ps, terms, TestTrendMtx, start);
    if (res != 0) {
      TrendStale = true;
      return res;
    }
    Fs = &TestTrendMtx;
  } else {
    const int res = this->EvalQuadPolynomMtx(*Ps, terms, Floc, 0);
    if (res != 0) return res;
  }
  if (ColsOf(*Fs) != p || RowsOf(*Fs) != N) return Refuse(kErrorTrendShape);
  if (p > 0) Y.Mm('N', 'N', T(1.0), *Fs, PolyCoeff, T(1.0));

  /* 9. Back to the caller's output scale. */
  if (ScalesOutputs(ScalingType)) {
    if (UnscaleOutput(Y, OutScaleVec, OutInterceptVec) != 0) return 1;
  }
  /* A prediction that overflowed (finite points far outside the samples) is no answer. */
  if (!AllFinite(Y)) return Refuse(kPredictionNotFinite);

  /* 10. Predictor errors, refinement points. */
  if (k > 0) return EvalRefinement(*P, Y, *Rs, *Fs, k, Xsel, maxErr);
  if (KeepPredErr) {
    C_MatMGe<double> Err(0, 0);
    if (this->GetPredictorError(*Rs, *Fs, Err) != 0) return 1;
    if ((PredErrMtx = Err) != 0) return Refuse(kContainerFailed);
  }
  return 0;
}

template <class T>
int Kriging<T>::GetPredictorError(C_MatMGe<double>& R, C_MatMGe<T>& F, C_MatMGe<double>& Err) {
  const int N = RowsOf(R), m = ColsOf(R);
  const int p = ColsOf(F);
  const int q = NumSol;
  /* The factors a read or copied model holds belong to an earlier fit. */
  if (SolveRequired) return Refuse(kNoFitOfItsOwn);
  if (p > 0 && RowsOf(F) != N) return Refuse(kErrorTrendShape);
  if (!AllFinite(R) || (p > 0 && !AllFinite(F))) return Refuse(kCorrelationsNotFinite);
  C_MatMSym<T> Ginv(0, 1);
  if (PrepareErrors(m, p, N, Ginv) != 0) return 1;
  C_MatMGe<double> E(N, q);
  if (N == 0) return (Err = E) != 0 ? Refuse(kContainerFailed) : 0;

  /* The points go in blocks of rows of R. */
  const int nb = PointsPerBlock(m, N);
  Workspace& w = Work();
  ErrorBlocks<T> errors(w.kept, FtTMtx, Ginv, ProcVarnc, m, p, q, nb, w.errU);
  w.errW.Resize(std::max(1, nb * std::max(m, 1)));
  double* W = w.errW.Adr(0);
  const double* rdata = R.Adr();
  const std::ptrdiff_t ldr = R.Ld();
  for (int i0 = 0; i0 < N; i0 += nb) {
    const int cols = std::min(nb, N - i0);
    for (int j = 0; j < m; ++j)
      std::copy(rdata + i0 + j * ldr, rdata + i0 + j * ldr + cols,
                W + static_cast<std::ptrdiff_t>(j) * cols);
    errors.Run(W, cols, F, i0, E);
  }
  if (!AllFinite(E)) return Refuse(kPredictionNotFinite);
  return (Err = E) != 0 ? Refuse(kContainerFailed) : 0;
}

template <class T>
int Kriging<T>::GetPredictorError(C_MatMGe<T>& X, double& maxAbsErr, double& maxRelErr,
                                  int& count) {
  /* Predictor errors are kept only for this call, however it ends. */
  struct KeepGuard {
    bool& flag;
    bool saved;
    ~KeepGuard() { flag = saved; }
  } guard{KeepPredErr, KeepPredErr};
  KeepPredErr = true;

  /* EvalModel and the relative errors name their own refusals. */
  C_MatMGe<T> Yhat(0, 0);
  if (this->EvalModel(X, Yhat) != 0) return 1;
  C_MatMGe<double> rel(0, 0);
  if (this->GetRelativePredictorError(Yhat, PredErrMtx, rel) != 0) return 1;
  double absMax = 0.0, relMax = 0.0;
  GetMaxAbs(PredErrMtx, absMax);
  GetMaxAbs(rel, relMax);
  maxAbsErr = absMax;
  maxRelErr = relMax;
  count = NumSamp;
  return 0;
}

template <class T>
double Kriging<T>::GetSqrDist(C_Vec<T, int>& a, C_Vec<T, int>& b, int n) {
  n = std::min(n, std::min(a.Dim(), b.Dim()));
  if (n <= 0) return 0.0;
  if (WorkVec.Dim() < n) WorkVec.Resize(n);
  T* w = WorkVec.Adr(0);
  for (int i = 0; i < n; ++i) w[i] = a.GetVal(i) - b.GetVal(i);
  const double d = Nrm2(n, w);
  return d * d;
}

template <class T>
int Kriging<T>::GetMaxAbs(C_MatMGe<double>& M, double& out) {
  const int rows = RowsOf(M), cols = ColsOf(M);
  /* A plain scan rather than the BLAS index of the largest value, which passes over a NaN:
   * a NaN entry makes the maximum NaN. */
  double best = 0.0;
  for (int j = 0; j < cols && rows > 0; ++j) {
    const double* col = ColPtr(M, j);
    for (int i = 0; i < rows; ++i) KeepMax(best, std::fabs(col[i]));
  }
  out = best;
  return 0;
}

template <class T>
int Kriging<T>::GetRowMax(C_MatMGe<double>& M, VecD& v) {
  const int rows = RowsOf(M), cols = ColsOf(M);
  if (v.Resize(rows) != 0) return Refuse(kContainerFailed);
  for (int i = 0; i < rows; ++i) {
    double best = 0.0;
    for (int j = 0; j < cols; ++j) KeepMax(best, ColPtr(M, j)[i]);
    v[i] = best;
  }
  return 0;
}

/* Explicit instances of the members defined in this file, for both element types (the class
 * itself is instantiated in Kriging.cpp). */
#define KRIGING_PREDICT_MEMBERS(T) \
  template int Kriging<T>::EvalModel(C_MatMGe<T>& X, C_MatMGe<T>& Y); \
  template int Kriging<T>::EvalModel(C_MatMGe<T>& X, C_MatMGe<T>& Y, int& k, C_MatMGe<T>& Xsel, double& maxErr, bool useTest); \
  template int Kriging<T>::GetPredictorError(C_MatMGe<double>& R, C_MatMGe<T>& F, C_MatMGe<double>& Err); \
  template int Kriging<T>::GetPredictorError(C_MatMGe<T>& X, double& maxAbsErr, double& maxRelErr, int& count); \
  template double Kriging<T>::GetSqrDist(C_Vec<T, int>& a, C_Vec<T, int>& b, int n); \
  template int Kriging<T>::GetMaxAbs(C_MatMGe<double>& M, double& out); \
  template int Kriging<T>::GetRowMax(C_MatMGe<double>& M, VecD& v); \
  template int Kriging<T>::ScaledSamples(C_MatMGe<T>*& Ss); \
  template int Kriging<T>::KeptFactorReady(); \
  template int Kriging<T>::PrepareErrors(int m, int p, int N, C_MatMSym<T>& Ginv);

KRIGING_PREDICT_MEMBERS(double)
KRIGING_PREDICT_MEMBERS(std::complex<double>)
