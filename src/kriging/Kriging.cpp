/* Kriging.cpp: the Kriging response-surface model Kriging<T> for real and complex samples:
 * settings and sample data with their output groups, data scaling, correlation kernels and
 * trend basis, the generalised least-squares fit that Solve runs, the maximum-likelihood
 * kernel search, prediction with predictor errors, relative errors, error measures,
 * refinement points, the model file and model copies. */
#include "Kriging.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "C_KveloMessage.h"
#include "C_bfd.h"
#include "ITF_blas_lapack.h"
#include "bf.h"
#include "erreur.h"

namespace {

typedef std::complex<double> dcomplex;

/* ---- shapes of the containers -------------------------------------------------------- */

template <class M>
inline int RowsOf(const M& a) { return a.rows; }
template <class M>
inline int ColsOf(const M& a) { return a.cols; }

/* Gives a packed symmetric matrix order n, the side flag and n(n+1)/2 stored values. */
template <class X>
inline void SetSymShape(C_MatMSym<X>& s, int n, int side) {
  s.rows = n;
  s.cols = n;
  s.side = side;
  s.storage.Resize(static_cast<int>(static_cast<long long>(n) * (n + 1) / 2));
}

/* Column j of a general matrix (contiguous, leading dimension Ld()). */
template <class X>
inline X* ColPtr(C_MatMGe<X>& a, int j) {
  return a.Adr() + static_cast<std::ptrdiff_t>(j) * a.Ld();
}

/* Position of (i, j), i >= j, in lower packed storage of order n. */
inline std::size_t LowerPacked(int i, int j, int n) {
  return static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * n -
         static_cast<std::size_t>(j) * (j + 1) / 2;
}

/* ---- element arithmetic shared by both instances ------------------------------------- */

inline double Mag(double x) { return std::fabs(x); }
inline double Mag(const dcomplex& z) { return std::abs(z); }
inline double SqMag(double x) { return x * x; }
inline double SqMag(const dcomplex& z) { return std::norm(z); }

template <class S>
inline void Demote(S& status) {
  if (status == KrigingSolved) status = KrigingSolveRequired;
}

/* Kernel-parameter count: one per input, or one shared by all. */
inline int KernCount(int kernVarType, int n) { return kernVarType != 0 ? n : 1; }

/* Which data a scaling type scales. */
inline bool ScalesInputs(int type) { return type == 1 || type == 3; }
inline bool ScalesOutputs(int type) { return type == 2 || type == 3; }

/* ---- BLAS / LAPACK by element type --------------------------------------------------- */

inline void Tpmv(const char* uplo, const char* trans, const char* diag, int n, double* ap,
                 double* x) {
  ITF_dtpmv(uplo, trans, diag, n, ap, x, 1);
}
inline void Tpmv(const char* uplo, const char* trans, const char* diag, int n, dcomplex* ap,
                 dcomplex* x) {
  ITF_ztpmv(uplo, trans, diag, n, ap, x, 1);
}

inline double Nrm2(int n, double* x) { return ITF_dnrm2(n, x, 1); }
inline double Nrm2(int n, dcomplex* x) { return ITF_dznrm2(n, x, 1); }

inline void Axpy(int n, double a, double* x, double* y) { ITF_daxpy(n, a, x, 1, y, 1); }
inline void Axpy(int n, double a, dcomplex* x, dcomplex* y) {
  ITF_zaxpy(n, dcomplex(a, 0.0), x, 1, y, 1);
}

inline void Gels(int m, int n, int nrhs, double* a, int lda, double* b, int ldb, int lwork,
                 int* info) {
  std::vector<double> work(static_cast<std::size_t>(lwork));
  ITF_dgels("N", m, n, nrhs, a, lda, b, ldb, work.data(), lwork, info);
}
inline void Gels(int m, int n, int nrhs, dcomplex* a, int lda, dcomplex* b, int ldb, int lwork,
                 int* info) {
  std::vector<dcomplex> work(static_cast<std::size_t>(lwork));
  ITF_zgels("N", m, n, nrhs, a, lda, b, ldb, work.data(), lwork, info);
}

/* Singular values of the rows x cols matrix a (overwritten) into s (min(rows, cols) values). */
inline void Gesvd(int rows, int cols, double* a, double* s, int* info) {
  const int mn = std::min(rows, cols), mx = std::max(rows, cols);
  const int lwork = std::max(5 * mn, mx + 3 * mn);
  std::vector<double> work(static_cast<std::size_t>(lwork));
  std::vector<double> vt(static_cast<std::size_t>(cols) * cols);
  double u = 0.0; /* not referenced: the left vectors overwrite a */
  ITF_dgesvd("O", "S", rows, cols, a, rows, s, &u, rows, vt.data(), cols, work.data(), lwork,
             info);
}
inline void Gesvd(int rows, int cols, dcomplex* a, double* s, int* info) {
  const int mn = std::min(rows, cols), mx = std::max(rows, cols);
  const int lwork = std::max(5 * mn, mx + 3 * mn);
  std::vector<dcomplex> work(static_cast<std::size_t>(lwork));
  std::vector<dcomplex> vt(static_cast<std::size_t>(cols) * cols);
  std::vector<double> rwork(static_cast<std::size_t>(5) * mx);
  dcomplex u(0.0, 0.0);
  ITF_zgesvd("O", "S", rows, cols, a, rows, s, &u, rows, vt.data(), cols, work.data(), lwork,
             rwork.data(), info);
}

/* ---- correlation kernels ------------------------------------------------------------- */

inline bool KnownCorrFunc(int type) { return type == 1 || type == 2 || type == 3 || type == 7; }

/* Whether correlations of points of n values can be made: a known function, and a kernel
 * of kernDim values holding the one shared value (shared) or one value per input. */
inline bool KernelFits(int type, int kernDim, bool shared, int n) {
  return KnownCorrFunc(type) && kernDim >= (shared ? 1 : n);
}

/* Correlation of the points a and b of n values; theta holds one shared value (shared) or
 * one per input. The type has been checked by the caller. */
template <class T>
inline double CorrValue(int type, const T* a, const T* b, int n, const double* theta,
                        bool shared) {
  switch (type) {
    case 1: {
      double s = 0.0;
      for (int k = 0; k < n; ++k) s += theta[shared ? 0 : k] * Mag(a[k] - b[k]);
      return std::exp(-s);
    }
    case 2: {
      double s = 0.0;
      for (int k = 0; k < n; ++k) s += theta[shared ? 0 : k] * SqMag(a[k] - b[k]);
      return std::exp(-s);
    }
    case 3: {
      double r = 1.0;
      for (int k = 0; k < n; ++k) {
        const double f = 1.0 - theta[shared ? 0 : k] * Mag(a[k] - b[k]);
        if (!(f > 0.0)) return 0.0;
        r *= f;
      }
      return r;
    }
    default: { /* 7: cubic spline */
      double r = 1.0;
      for (int k = 0; k < n; ++k) {
        const double xi = theta[shared ? 0 : k] * Mag(a[k] - b[k]);
        if (xi <= 0.2) {
          r *= 1.0 - 15.0 * xi * xi + 30.0 * xi * xi * xi;
        } else if (xi < 1.0) {
          const double c = 1.0 - xi;
          r *= 1.25 * c * c * c;
        } else {
          return 0.0;
        }
      }
      return r;
    }
  }
}

/* Term count of a trend type for n inputs (64 bits: a large n must not wrap). */
inline long long TrendTerms(int type, int n) {
  const long long nn = n;
  switch (type) {
    case 0: return 0;
    case 1: return 1;
    case 2: return nn + 1;
    case 3: return 2 * nn + 1;
    case 4: return (nn + 1) * (nn + 2) / 2;
    default: return -1;
  }
}

}  // namespace

/* ======================================================================================= */
/* Construction, defaults, destruction                                                     */
/* ======================================================================================= */

/* The settings and counts take their defaults from InitKriging, the one place that states
 * them; the list gives only what it leaves alone, and the group sizes that it frees. */
template <class T>
Kriging<T>::Kriging()
    : VecGlobalSol(nullptr),
      KernVec(0),
      InpSampMtx(0, 0),
      OutSampMtx(0, 0),
      InpScaleVec(0),
      InpInterceptVec(0),
      OutScaleVec(0),
      OutInterceptVec(0),
      PolyCoeff(0, 0),
      CorrCoeff(0, 0),
      MaxNumIter(0),
      CorrMtx(0, 1),
      TrendFactor(0, 1),
      FtReady(false),
      FtTMtx(0, 0),
      ProcVarnc(0),
      OutRangeMtx(0, 0),
      GlobalRangeVec(0),
      MLE(0.0),
      MLEVec(0),
      PredErrMtx(0, 0),
      InpTestMtx(0, 0),
      InpTestSet(false),
      TestCorrMtx(0, 0),
      TestTrendMtx(0, 0),
      RescaleRequested(true),
      TestRelErrVec(0),
      WorkVec(0) {
  InitKriging();
}

template <class T>
Kriging<T>::~Kriging() {
  delete[] VecGlobalSol;
  VecGlobalSol = nullptr;
}

template <class T>
void Kriging<T>::InitKriging() {
  KrigingStatus = KrigingInitial;
  NumSamp = 0;
  NumVar = 0;
  NumSol = 0;
  NumGlobalSol = 0;
  delete[] VecGlobalSol;
  VecGlobalSol = nullptr;
  NumKern = 0;
  KernOptType = KernOptNone;
  SolnType = SolDefault;
  CorrFuncType = CorrGaussian;
  PolynomType = PolyQuadratic;
  KernToEstimate = true;
  KernVarType = KernOneForAll;
  NewSamples = false;
  SolveRequired = true;
  InpSampSet = false;
  OutSampSet = false;
  ScalingType = ScaleNone;
  DropToler = 1e-8;
  NuggetEps = 1e-14;
  SolveCount = 0;
  Step = 1;
  PointToler = 1e-7;
  KernLoFactor = 0.01;
  KernUpFactor = 20.0;
  KeepPredErr = false;
  CorrStale = true;
  TrendStale = true;
}

/* ======================================================================================= */
/* Counts, tolerances and options                                                          */
/* ======================================================================================= */

template <class T>
int Kriging<T>::PutNumVar(const int& n) {
  if (n <= 0) return 1;
  if (n == NumVar) return 0;
  NumVar = n;
  InpSampSet = false;
  KernToEstimate = true;
  CorrStale = true;
  TrendStale = true;
  WorkVec.Resize(n);
  NumKern = KernCount(KernVarType, n);
  return 0;
}

template <class T>
int Kriging<T>::GetNumVar(int& n) const {
  n = NumVar;
  return 0;
}

template <class T>
int Kriging<T>::PutNumSol(const int& total, const int& groups, int* sizes) {
  if (total <= 0) return 1;
  if (groups <= 0 || total < groups) return 1;
  if (total == NumSol && groups == NumGlobalSol) return 0;
  /* One group, or one per output, needs no sizes; any other grouping is checked. */
  const bool given = (groups != total && groups != 1);
  if (given) {
    if (sizes == nullptr) return 1;
    long long sum = 0;
    for (int g = 0; g < groups; ++g) {
      /* A negative group would make the output ranges walk outside the outputs. */
      if (sizes[g] < 0) return 1;
      sum += sizes[g];
    }
    if (sum != total) return 1;
  }
  int* fresh = new (std::nothrow) int[groups];
  if (fresh == nullptr) return 1;
  for (int g = 0; g < groups; ++g) fresh[g] = given ? sizes[g] : (groups == 1 ? total : 1);
  delete[] VecGlobalSol;
  VecGlobalSol = fresh;
  NumSol = total;
  NumGlobalSol = groups;
  OutSampSet = false;
  return 0;
}

template <class T>
int Kriging<T>::GetNumSol(int& q) const {
  q = NumSol;
  return 0;
}

template <class T>
int Kriging<T>::PutDropToler(const double& tol) {
  if (!(tol > 0.0) || !(tol < 1.0)) return 1;
  if (tol == DropToler) return 0;
  DropToler = tol;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
double Kriging<T>::GetDropToler() const {
  return DropToler;
}

template <class T>
int Kriging<T>::GetOptNumSamp(int& m) const {
  const long long n = NumVar;
  const long long count = (n + 1) * (n + 2) / 2;
  if (count > INT_MAX || count < INT_MIN) return 1;
  m = static_cast<int>(count);
  return 0;
}

template <class T>
int Kriging<T>::SetOptNumSamp() {
  int m = 0;
  if (GetOptNumSamp(m) != 0 || m <= 0) return 1;
  return PutNumSamp(m);
}

template <class T>
int Kriging<T>::PutNumSamp(const int& m) {
  if (m <= 0) return 1;
  if (m == NumSamp) return 0;
  NumSamp = m;
  InpSampSet = false;
  OutSampSet = false;
  return 0;
}

template <class T>
int Kriging<T>::GetNumSamp(int& m) const {
  m = NumSamp;
  return 0;
}

template <class T>
int Kriging<T>::PutMaxNumIter(const int& k) {
  if (k <= 0) return 1;
  if (k == MaxNumIter) return 0;
  MaxNumIter = k;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
int Kriging<T>::GetMaxNumIter(int& k) const {
  k = MaxNumIter;
  return 0;
}

template <class T>
int Kriging<T>::PutSolnType(const E_KrigingSolType& t) {
  if (t == SolnType) return 0;
  SolnType = t;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
E_KrigingSolType Kriging<T>::GetSolnType() const {
  return SolnType;
}

template <class T>
int Kriging<T>::PutCorrFuncType(const E_CorrFuncType& t) {
  if (t == CorrFuncType) return 0;
  CorrFuncType = t;
  CorrStale = true;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
E_CorrFuncType Kriging<T>::GetCorrFuncType() const {
  return CorrFuncType;
}

template <class T>
int Kriging<T>::PutKrigingKernVarType(const E_KrigingKernVarType& t) {
  if (t == KernVarType) return 0;
  KernVarType = t;
  CorrStale = true;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
int Kriging<T>::GetKrigingKernVarType(E_KrigingKernVarType& t) const {
  t = KernVarType;
  return 0;
}

template <class T>
E_KrigingKernVarType Kriging<T>::GetKrigingKernVarType() const {
  return KernVarType;
}

template <class T>
int Kriging<T>::PutKrigingKernOptType(const E_KrigingKernOptType& t) {
  if (t == KernOptType) return 0;
  KernOptType = t;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
E_KrigingKernOptType Kriging<T>::GetKrigingKernOptType() const {
  return KernOptType;
}

template <class T>
int Kriging<T>::PutScalingType(const E_KrigingScalingType& t) {
  if (t == ScalingType) return 0;
  ScalingType = t;
  CorrStale = true;
  TrendStale = true;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
E_KrigingScalingType Kriging<T>::GetScalingType() const {
  return ScalingType;
}

template <class T>
int Kriging<T>::PutPolynomType(const E_KrigingPolynomType& t) {
  if (t == PolynomType) return 0;
  PolynomType = t;
  TrendStale = true;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
E_KrigingPolynomType Kriging<T>::GetPolynomType() const {
  return PolynomType;
}

template <class T>
int Kriging<T>::SetStep(const int& step) {
  if (step > 0) Step = step;
  return 0;
}

template <class T>
E_KrigingStatus Kriging<T>::GetKrigingStatus() const {
  return KrigingStatus;
}

/* ======================================================================================= */
/* Sample data and output ranges                                                           */
/* ======================================================================================= */

template <class T>
int Kriging<T>::PutInpSampMtx(C_MatMGe<T>& X) {
  const int rows = RowsOf(X), cols = ColsOf(X);
  if (rows <= 0 || cols <= 0) return 1;
  /* The flag goes down first: an interrupted copy must not leave the old matrix looking
   * valid under the new counts. */
  InpSampSet = false;
  if (rows != NumSamp) OutSampSet = false;
  NumSamp = rows;
  NumVar = cols;
  WorkVec.Resize(cols);
  const int res = (InpSampMtx = X);
  if (res != 0) return res;
  InpSampSet = true;
  NewSamples = false;
  KrigingStatus = KrigingSolveRequired;
  CorrStale = true;
  TrendStale = true;
  return 0;
}

template <class T>
int Kriging<T>::GetInpSampMtx(C_MatMGe<T>& X) {
  if (!InpSampSet) return 1;
  return (X = InpSampMtx) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::PutOutSampMtx(C_MatMGe<T>& Y) {
  if (RowsOf(Y) != NumSamp || ColsOf(Y) != NumSol) return 1;
  if ((OutSampMtx = Y) != 0) return 1;
  if (GetOutputGlobalRange(GlobalRangeVec) != 0) return 1;
  OutSampSet = true;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
int Kriging<T>::GetOutSampMtx(C_MatMGe<T>& Y) {
  if (!OutSampSet) return 1;
  return (Y = OutSampMtx) != 0 ? 1 : 0;
}

namespace {

/* Grows S from m to m + rows(A) rows of `cols` columns and copies the rows of A below the
 * m rows it keeps. */
template <class T>
inline void AppendRows(C_MatMGe<T>& S, int m, C_MatMGe<T>& A, int cols) {
  const int r = RowsOf(A);
  S.ResizeKeep(m + r, cols);
  for (int k = 0; k < cols; ++k) std::copy(ColPtr(A, k), ColPtr(A, k) + r, ColPtr(S, k) + m);
}

}  // namespace

template <class T>
int Kriging<T>::AppendSampData(C_MatMGe<T>& X, C_MatMGe<T>& Y) {
  if (!InpSampSet || !OutSampSet) return 1;
  const int r = RowsOf(X);
  if (r <= 0 || ColsOf(X) != NumVar || RowsOf(Y) != r || ColsOf(Y) != NumSol) return 1;
  const int m = NumSamp;
  if (static_cast<long long>(m) + r > INT_MAX) return 1;
  const int n = NumVar, q = NumSol;

  AppendRows(OutSampMtx, m, Y, q);
  AppendRows(InpSampMtx, m, X, n);
  NumSamp = m + r;
  KrigingStatus = KrigingSolveRequired;
  NewSamples = true;
  return UpdateOutputRange(Y, GlobalRangeVec) != 0 ? 1 : 0;
}

namespace {

/* table := q x 3 output ranges of the outputs Y (smallest |y|, largest |y|, difference per
 * output); 1 when Y is not q wide or an output has no sample. */
template <class T>
int OutputRangeTable(C_MatMGe<T>& Y, int q, C_MatMGe<double>& table) {
  const int m = RowsOf(Y);
  if (q < 0 || ColsOf(Y) != q || (q > 0 && m <= 0)) return 1;
  if (table.Resize(q, 3) != 0) return 1;
  for (int j = 0; j < q; ++j) {
    const T* y = ColPtr(Y, j);
    double lo = Mag(y[0]), hi = lo;
    for (int i = 1; i < m; ++i) {
      const double a = Mag(y[i]);
      if (a < lo) lo = a;
      if (a > hi) hi = a;
    }
    ColPtr(table, 0)[j] = lo;
    ColPtr(table, 1)[j] = hi;
    ColPtr(table, 2)[j] = hi - lo;
  }
  return 0;
}

/* ranges := range of each of the groups of the given sizes from the range table: the root
 * of the summed squared spreads of its outputs (0 for a group without outputs). */
inline void GroupRangesOf(C_MatMGe<double>& table, const int* sizes, int groups,
                          C_VecPi<double, int, C_PtrInCore<double, int>>& ranges) {
  if (ranges.Dim() != groups) ranges.Resize(groups);
  const int rows = RowsOf(table);
  int first = 0;
  for (int g = 0; g < groups; ++g) {
    const int size = sizes[g];
    double sum = 0.0;
    for (int k = first; k < first + size && k < rows; ++k) {
      const double d = ColPtr(table, 1)[k] - ColPtr(table, 0)[k];
      sum += d * d;
    }
    ranges[g] = (size < 1) ? 0.0 : std::sqrt(sum);
    if (size > 0) first += size;
  }
}

}  // namespace

template <class T>
int Kriging<T>::EvalOutputRange(C_MatMGe<double>& table) {
  return OutputRangeTable(OutSampMtx, NumSol, table);
}

template <class T>
int Kriging<T>::EvalGroupRanges(VecD& groupRanges) {
  const int groups = (VecGlobalSol != nullptr) ? NumGlobalSol : 0;
  GroupRangesOf(OutRangeMtx, VecGlobalSol, groups, groupRanges);
  return 0;
}

template <class T>
int Kriging<T>::UpdateOutputRange(C_MatMGe<T>& Ynew, VecD& groupRanges) {
  const int q = NumSol;
  if (RowsOf(OutRangeMtx) != q || ColsOf(OutRangeMtx) != 3 || ColsOf(Ynew) != q) return 1;
  const int r = RowsOf(Ynew);
  for (int j = 0; j < q; ++j) {
    double lo = ColPtr(OutRangeMtx, 0)[j], hi = ColPtr(OutRangeMtx, 1)[j];
    const T* y = ColPtr(Ynew, j);
    for (int i = 0; i < r; ++i) {
      const double a = Mag(y[i]);
      if (a < lo) lo = a;
      if (a > hi) hi = a;
    }
    if (hi - lo > ColPtr(OutRangeMtx, 2)[j]) {
      ColPtr(OutRangeMtx, 0)[j] = lo;
      ColPtr(OutRangeMtx, 1)[j] = hi;
      ColPtr(OutRangeMtx, 2)[j] = hi - lo;
    }
  }
  return EvalGroupRanges(groupRanges);
}

template <class T>
int Kriging<T>::GetOutputGlobalRange(VecD& ranges) {
  if (EvalOutputRange(OutRangeMtx) != 0) return 1;
  if (ranges.Resize(NumGlobalSol) != 0) return 1;
  return EvalGroupRanges(ranges);
}

/* ======================================================================================= */
/* Kernel, readiness and getters                                                           */
/* ======================================================================================= */

template <class T>
int Kriging<T>::PutKernVec(VecD& theta) {
  NumKern = KernCount(KernVarType, NumVar);
  if (theta.Dim() != NumKern) return 1;
  KernVec.Assign(theta);
  KernToEstimate = false;
  CorrStale = true;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
int Kriging<T>::GetKernVec(VecD& theta) {
  theta.Assign(KernVec);
  return 0;
}

template <class T>
int Kriging<T>::CheckSampData() {
  if (InpSampSet && OutSampSet && NumSamp > 0 && NumVar > 0 && NumKern > 0 && NumSol > 0)
    return KrigingSolveRequired;
  return KrigingDataIncomplete;
}

template <class T>
int Kriging<T>::ReSolve() {
  KrigingStatus = static_cast<E_KrigingStatus>(CheckSampData());
  if (KrigingStatus != KrigingSolveRequired) return 1;
  return Solve();
}

template <class T>
int Kriging<T>::GetNumGlobalSol(int& groups) const {
  groups = NumGlobalSol;
  return 0;
}

template <class T>
int* Kriging<T>::GetVecGlobalSol(int& err) {
  const int groups = (VecGlobalSol != nullptr && NumGlobalSol > 0) ? NumGlobalSol : 0;
  int* copy = new (std::nothrow) int[groups > 0 ? groups : 1];
  if (copy == nullptr) {
    err = 1;
    return nullptr;
  }
  for (int g = 0; g < groups; ++g) copy[g] = VecGlobalSol[g];
  err = 0;
  return copy;
}

template <class T>
int Kriging<T>::GetInpScaleVec(VecD& v) {
  v.Assign(InpScaleVec);
  return 0;
}

template <class T>
int Kriging<T>::GetInpInterceptVec(VecT& v) {
  v.Assign(InpInterceptVec);
  return 0;
}

template <class T>
int Kriging<T>::GetOutScaleVec(VecD& v) {
  v.Assign(OutScaleVec);
  return 0;
}

template <class T>
int Kriging<T>::GetOutInterceptVec(VecT& v) {
  v.Assign(OutInterceptVec);
  return 0;
}

template <class T>
int Kriging<T>::GetCorrCoeff(C_MatMGe<T>& G) {
  return (G = CorrCoeff) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::GetPolyCoeff(C_MatMGe<T>& B) {
  if (PolynomType == PolyNone) return 1;
  return (B = PolyCoeff) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::GetNumKern(int& p) const {
  p = NumKern;
  return 0;
}

template <class T>
int Kriging<T>::GetNumCorrCoef(int& rows) const {
  rows = RowsOf(CorrCoeff);
  return 0;
}

template <class T>
int Kriging<T>::GetNumPolyCoeff(int& rows) const {
  rows = RowsOf(PolyCoeff);
  return 0;
}

template <class T>
int Kriging<T>::GetProcVarnc(double& v, int index) const {
  if (KrigingStatus != KrigingSolved) return 1;
  if (index < 0 || index >= NumSol || index >= ProcVarnc.Dim()) return 1;
  v = const_cast<VecD&>(ProcVarnc)[index];
  return 0;
}

template <class T>
int Kriging<T>::GetMLE(VecD& v) {
  if (KrigingStatus != KrigingSolved) return 1;
  v.Assign(MLEVec);
  return 0;
}

template <class T>
int Kriging<T>::GetMLE(double& v) const {
  if (KrigingStatus != KrigingSolved) return 1;
  v = MLE;
  return 0;
}

template <class T>
bool Kriging<T>::ISSolveRequired() {
  return SolveRequired;
}

template <class T>
int Kriging<T>::GetTestRelativeErrorDim() {
  return TestRelErrVec.Dim();
}

template <class T>
double Kriging<T>::TestRelativeError(int i) {
  if (i < 0 || i >= TestRelErrVec.Dim()) return std::numeric_limits<double>::quiet_NaN();
  return TestRelErrVec[i];
}

/* ======================================================================================= */
/* Correlation, trend basis, variances                                                     */
/* ======================================================================================= */

namespace {

/* The first `rows` rows of X (n columns) laid out one point after another, so that the
 * correlation of two points reads two contiguous runs. */
template <class T>
inline std::vector<T> PointsByRow(C_MatMGe<T>& X, int rows, int n) {
  std::vector<T> pts(static_cast<std::size_t>(rows) * n);
  for (int k = 0; k < n; ++k) {
    const T* col = ColPtr(X, k);
    for (int i = 0; i < rows; ++i) pts[static_cast<std::size_t>(i) * n + k] = col[i];
  }
  return pts;
}

/* The first n values of v as one contiguous run: v's own storage, or a copy in buf for a
 * vector whose elements do not lie contiguously in memory. */
template <class T>
inline const T* Contiguous(C_Vec<T, int>& v, int n, std::vector<T>& buf) {
  const T* p = v.Adr(0);
  if (p != nullptr || n <= 0) return p;
  buf.resize(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) buf[k] = v.GetVal(k);
  return buf.data();
}

}  // namespace

template <class T>
int Kriging<T>::EvalCorrFunc(C_Vec<T, int>& a, C_Vec<T, int>& b, double& r) {
  const int n = NumVar;
  const bool shared = (NumKern == 1);
  if (!KernelFits(CorrFuncType, KernVec.Dim(), shared, n)) return 1;
  if (n < 0 || a.Dim() < n || b.Dim() < n) return 1;
  std::vector<T> ca, cb;
  r = CorrValue<T>(CorrFuncType, Contiguous(a, n, ca), Contiguous(b, n, cb), n, KernVec.Adr(0),
                   shared);
  return 0;
}

template <class T>
int Kriging<T>::EvalCorrMtx(C_MatMGe<T>& X, C_MatMSym<double>& R) {
  if (KrigingStatus == KrigingInitial || KrigingStatus == KrigingDataIncomplete) return 1;
  const int n = NumVar;
  const int N = RowsOf(X);
  const bool shared = (NumKern == 1);
  if (!KernelFits(CorrFuncType, KernVec.Dim(), shared, n)) return 1;
  if (ColsOf(X) != n || N < 0) return 1;
  if (static_cast<long long>(N) * (N + 1) / 2 > INT_MAX) return 1;

  SetSymShape(R, N, 1);
  if (N == 0) return 0;

  const std::vector<T> pts = PointsByRow(X, N, n);
  const double* theta = KernVec.Adr(0);
  double* ap = R.Adr();
  const int type = CorrFuncType;
  for (int j = 0; j < N; ++j) {
    const T* pj = pts.data() + static_cast<std::size_t>(j) * n;
    double* colj = ap + LowerPacked(j, j, N);
    for (int i = j; i < N; ++i)
      colj[i - j] = CorrValue<T>(type, pts.data() + static_cast<std::size_t>(i) * n, pj, n,
                                 theta, shared);
  }
  return 0;
}

template <class T>
int Kriging<T>::EvalQuadPolynomMtx(C_MatMGe<T>& X, int& terms, C_MatMGe<T>& F, int start) {
  const int N = RowsOf(X);
  const int n = NumVar;
  if (N <= 0 || ColsOf(X) != n) return 1;

  /* Fills rows first .. N-1 of the P columns of type t. */
  auto fill = [&](int t, int P) {
    F.ResizeKeep(N, P);
    const int first = std::max(start, 0);
    std::vector<T*> fc(static_cast<std::size_t>(P));
    for (int c = 0; c < P; ++c) fc[c] = ColPtr(F, c);
    std::vector<const T*> xc(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) xc[k] = ColPtr(X, k);
    for (int i = first; i < N; ++i) {
      fc[0][i] = T(1.0);
      if (t < 2) continue;
      for (int k = 0; k < n; ++k) fc[1 + k][i] = xc[k][i];
      if (t == 3) {
        for (int k = 0; k < n; ++k) fc[n + 1 + k][i] = xc[k][i] * xc[k][i];
      } else if (t == 4) {
        int c = n + 1;
        for (int a = 0; a < n; ++a)
          for (int b = a; b < n; ++b) fc[c++][i] = xc[a][i] * xc[b][i];
      }
    }
  };

  if (terms != -1) {
    int type = -1;
    for (int t = 0; t <= 4; ++t)
      if (TrendTerms(t, n) == terms) {
        type = t;
        break;
      }
    if (type < 0) return 1;
    if (type == 0) {
      F.Resize(N, 0);
      return 0;
    }
    fill(type, terms);
    return 0;
  }

  int t = PolynomType;
  for (;;) {
    if (t == 0) {
      terms = 0;
      return 0;
    }
    if (t < 0 || t > 4) return 1;
    const long long count = TrendTerms(t, n);
    if (count > NumSamp) {
      --t;
      continue;
    }
    const int P = static_cast<int>(count);
    terms = P;
    fill(t, P);
    if (t == 1) return 0;

    /* Rank test: a trend column that the samples cannot tell apart from the others lowers
     * the degree. Fewer rows than terms is rank deficient by itself. */
    bool fullRank = false;
    if (N >= P) {
      std::vector<T> a(static_cast<std::size_t>(N) * P);
      for (int c = 0; c < P; ++c) {
        const T* src = ColPtr(F, c);
        std::copy(src, src + N, a.begin() + static_cast<std::ptrdiff_t>(c) * N);
      }
      std::vector<double> s(static_cast<std::size_t>(P), 1e-20);
      int info = 0;
      Gesvd(N, P, a.data(), s.data(), &info);
      fullRank = (info == 0);
      for (int k = 0; k < P && fullRank; ++k)
        if (!(std::fabs(s[k]) >= 1e-14)) fullRank = false;
    }
    if (fullRank) {
      PolynomType = static_cast<E_KrigingPolynomType>(t);
      return 0;
    }
    --t;
  }
}

template <class T>
int Kriging<T>::DiagOfCovarMtx(C_MatMGe<T>& X, VecD& var) {
  const int N = RowsOf(X), C = ColsOf(X);
  if (N < C) return 1;
  var.Resize(C);
  for (int j = 0; j < C; ++j) {
    VecT col(0);
    X.LnkCol(j, col);
    const T mu = GetMean(col);
    if (N <= 1) {
      var[j] = 0.0; /* one value has no spread */
      continue;
    }
    /* Two passes: deviations from the mean, so large offsets do not cancel. */
    const T* x = col.Adr(0);
    double s = 0.0;
    for (int i = 0; i < N; ++i) s += SqMag(x[i] - mu);
    var[j] = s / static_cast<double>(N - 1);
  }
  return 0;
}

/* ======================================================================================= */
/* Scaling                                                                                 */
/* ======================================================================================= */

template <class T>
T Kriging<T>::GetMean(VecT& v) {
  const int n = v.Dim();
  if (n <= 0) return T(0.0);
  return v.Sum(0, -1) / static_cast<double>(n);
}

template <class T>
int Kriging<T>::EvalColScale(VecT& x, double& scale, T& icpt) {
  const int N = x.Dim();
  const T mu = GetMean(x);
  double sigma = 0.0;
  if (N > 1) {
    VecT d(N);
    const T* src = x.Adr(0);
    T* dp = d.Adr(0);
    for (int i = 0; i < N; ++i) dp[i] = src[i] - mu;
    sigma = Nrm2(N, dp) / std::sqrt(static_cast<double>(N - 1));
  }
  const double s = 1.0 / sigma;
  if (!(sigma > 0.0) || !std::isfinite(s)) {
    /* A column without spread: shift it to zero, leave its unit alone. */
    scale = 1.0;
    icpt = -mu;
    return 0;
  }
  scale = s;
  icpt = (-mu) * s;
  return 0;
}

template <class T>
int Kriging<T>::EvalInpScale(C_MatMGe<T>& X, VecD& scale, VecT& icpt) {
  const int C = ColsOf(X);
  if (scale.Dim() != C || icpt.Dim() != C) return 1;
  for (int j = 0; j < C; ++j) {
    VecT col(0);
    X.LnkCol(j, col);
    double s = 1.0;
    T c = T(0.0);
    EvalColScale(col, s, c);
    scale[j] = s;
    icpt[j] = c;
  }
  return 0;
}

template <class T>
int Kriging<T>::EvalOutScale(C_MatMGe<T>& Y, VecD& scale, VecT& icpt) {
  const int C = ColsOf(Y);
  if (scale.Dim() != C || icpt.Dim() != C) return 1;
  double a = 0.0;
  for (int j = 0; j < C; ++j) {
    VecT col(0);
    Y.LnkCol(j, col);
    const double mx = col.Nrm(NRM_INF);
    if (mx > a) a = mx;
  }
  const double factor = (a < DropToler || a > 1e30) ? 1.0 : 1.0 / a;
  for (int j = 0; j < C; ++j) {
    scale[j] = factor;
    icpt[j] = T(0.0);
  }
  return 0;
}

template <class T>
int Kriging<T>::ApplyScaling(C_MatMGe<T>& X, VecD& scale, VecT& icpt, C_MatMGe<T>& Xout) {
  const int N = RowsOf(X), C = ColsOf(X);
  if (scale.Dim() != C || icpt.Dim() != C) return 1;
  if (&Xout == &X) {
    for (int j = 0; j < C; ++j) {
      T* x = ColPtr(X, j);
      for (int i = 0; i < N; ++i) x[i] = icpt[j] + scale[j] * x[i];
    }
    return 0;
  }
  if (Xout.Resize(N, C) != 0) return 1;
  for (int j = 0; j < C; ++j) {
    T* y = ColPtr(Xout, j);
    const T c = icpt[j];
    for (int i = 0; i < N; ++i) y[i] = c;
    Axpy(N, scale[j], ColPtr(X, j), y);
  }
  return 0;
}

template <class T>
int Kriging<T>::UnscaleOutput(C_MatMGe<T>& Y, VecD& scale, VecT& icpt) {
  const int N = RowsOf(Y), q = ColsOf(Y);
  if (scale.Dim() != q || icpt.Dim() != q) return 1;
  for (int k = 0; k < q; ++k) {
    T* y = ColPtr(Y, k);
    const T c = icpt[k];
    for (int i = 0; i < N; ++i) y[i] -= c;
    if (std::fabs(scale[k]) > 1e-31) {
      const double f = 1.0 / scale[k];
      for (int i = 0; i < N; ++i) y[i] *= f;
    }
  }
  return 0;
}

template <class T>
int Kriging<T>::EvalScaling(C_MatMGe<T>& Xs, C_MatMGe<T>& Ys) {
  const int n = NumVar, q = NumSol;
  const int type = ScalingType;
  if (type < 0 || type > 3) return 1;
  const bool inputs = ScalesInputs(type);
  const bool outputs = ScalesOutputs(type);

  if (outputs) {
    OutScaleVec.Resize(q);
    OutInterceptVec.Resize(q);
  }
  if (inputs) {
    /* Scale vectors of another length (the inputs changed shape since they were made)
     * are made afresh rather than failing every later solve. */
    if (RescaleRequested || InpScaleVec.Dim() != n || InpInterceptVec.Dim() != n) {
      InpScaleVec.Resize(n);
      InpInterceptVec.Resize(n);
      const int res = EvalInpScale(InpSampMtx, InpScaleVec, InpInterceptVec);
      if (res != 0) return res;
      CorrStale = true;
      TrendStale = true;
    }
  }
  if (outputs) {
    const int res = EvalOutScale(OutSampMtx, OutScaleVec, OutInterceptVec);
    if (res != 0) return res;
  }

  if (inputs) {
    const int res = ApplyScaling(InpSampMtx, InpScaleVec, InpInterceptVec, Xs);
    if (res != 0) return res;
  } else if ((Xs = InpSampMtx) != 0) {
    return 1;
  }
  if (outputs) {
    const int res = ApplyScaling(OutSampMtx, OutScaleVec, OutInterceptVec, Ys);
    if (res != 0) return res;
  } else if ((Ys = OutSampMtx) != 0) {
    return 1;
  }
  return 0;
}

/* ======================================================================================= */
/* Small utilities                                                                         */
/* ======================================================================================= */

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
int Kriging<T>::ShiftStepVec(VecD& v) {
  const int p = NumKern;
  if (p > v.Dim()) return 1;
  if (p <= 1) return 0;
  const double last = v[p - 1];
  for (int i = p - 1; i > 0; --i) v[i] = v[i - 1];
  v[0] = last;
  return 0;
}

/* ======================================================================================= */
/* Fit                                                                                     */
/* ======================================================================================= */

template <class T>
int Kriging<T>::Solve() {
  if (KrigingStatus == KrigingSolved) return 0;
  KrigingStatus = static_cast<E_KrigingStatus>(CheckSampData());
  if (KrigingStatus != KrigingSolveRequired) return 1;
  if (SolnType != SolDefault) return 1;

  int res;
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
  if (res != 0) {
    KrigingStatus = KrigingSolveRequired;
    return res;
  }
  ++SolveCount;
  KrigingStatus = KrigingSolved;
  return 0;
}

template <class T>
int Kriging<T>::EstimateKern(C_MatMGe<T>& Xs, VecD& theta) {
  if (KernVarType != KernOneForAll && KernVarType != KernPerInput) return 1;
  VecD v(0);
  const int res = this->DiagOfCovarMtx(Xs, v);
  if (res != 0) return res;
  const int n = NumVar;
  /* A zero or unusable variance (constant column, single sample) gives the kernel value 1:
   * such a column adds nothing to any distance, and the kernel stays finite. */
  if (KernVarType == KernOneForAll) {
    double S = 0.0;
    for (int j = 0; j < n && j < v.Dim(); ++j) S += v[j];
    double t = static_cast<double>(n) / S;
    if (!(S > 0.0) || !std::isfinite(t)) t = 1.0;
    for (int j = 0; j < theta.Dim(); ++j) theta[j] = t;
  } else {
    for (int j = 0; j < NumKern && j < theta.Dim(); ++j) {
      double t = 1.0;
      if (j < v.Dim() && v[j] > 0.0 && std::isfinite(1.0 / v[j])) t = 1.0 / v[j];
      theta[j] = t;
    }
  }
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
    for (int i = 1; i < m - j; ++i)
      if (std::fabs(col[i]) < DropToler) col[i] = 0.0;
  }
  return 0;
}

template <class T>
int Kriging<T>::BuildModel() {
  if (KrigingStatus == KrigingSolved) return 0;
  if (KrigingStatus != KrigingSolveRequired) return 1;

  C_MatMGe<T> Xs(0, 0), Ys(0, 0);
  int res = EvalScaling(Xs, Ys);
  if (res != 0) return res;

  if (KernToEstimate) {
    if (NumKern == 0) NumKern = KernCount(KernVarType, NumVar);
    KernVec.Resize(NumKern);
    res = EstimateKern(Xs, KernVec);
    if (res != 0) return res;
    KernToEstimate = false;
    CorrStale = true;
    TrendStale = true;
  }

  C_MatMSym<double> R(0, 1);
  res = this->EvalCorrMtx(Xs, R);
  if (res != 0) return res;

  C_MatMGe<T> F(0, 0);
  int nterms = -1;
  res = this->EvalQuadPolynomMtx(Xs, nterms, F, 0);
  if (res != 0) return res;

  RegularizeCorrMtx(R);
  res = FitModel(R, F, Ys);
  if (res != 0) return res;

  KrigingStatus = KrigingSolved;
  return 0;
}

template <class T>
double Kriging<T>::DetTerm(C_MatMSym<double>& C) {
  const int m = RowsOf(C);
  if (m <= 0) return 1.0;
  const double e = 2.0 / static_cast<double>(m);
  const double* ap = C.Adr();
  double D = 1.0, b = 1.0;
  for (int i = 0; i < m; ++i) {
    b *= ap[LowerPacked(i, i, m)];
    if (i % 20 == 0) {
      D *= std::pow(b, e);
      b = 1.0;
    }
  }
  if ((m - 1) % 20 != 0) D *= std::pow(b, e);
  return D;
}

template <class T>
int Kriging<T>::EvalDetTerm(C_MatMSym<double>& C) {
  MLE = DetTerm(C);
  return 0;
}

template <class T>
int Kriging<T>::FitModel(C_MatMSym<double>& R, C_MatMGe<T>& F, C_MatMGe<T>& Y) {
  const int m = RowsOf(R);
  if (m != NumSamp || ColsOf(Y) != NumSol) return 1;
  const int p = ColsOf(F), q = ColsOf(Y);
  if (m <= 0 || RowsOf(Y) != m || R.Side() == 0) return 1;
  if (p > 0 && (p > m || RowsOf(F) < m)) return 1;
  const int lwork = 64 * std::max(m, std::max(p, q)) + std::min(m, p);

  /* Everything is computed in locals and stored only once every LAPACK step succeeded:
   * a failed fit leaves the model's previous members as they were. */
  C_MatMSym<double> S(0, 1);
  S = R;
  C_MatMGe<T> Yt(0, 0);
  Yt = Y;

  int info = 0;
  ITF_dpptrf("L", m, S.Adr(), &info);
  if (info != 0) return 1; /* not positive definite */
  const double D = DetTerm(S);
  ITF_dtptri("L", "N", m, S.Adr(), &info);
  if (info != 0) return 1; /* singular factor */

  /* W: the inverse factor in the element type of the data. */
  C_MatMSym<T> Wc(0, 1);
  T* W;
  if constexpr (std::is_same<T, double>::value) {
    W = S.Adr();
  } else {
    if (CopySymMtx(S, Wc) != 0) return 1;
    W = Wc.Adr();
  }

  MultTriPacked('L', 'N', 'N', m, q, W, Yt.Adr());

  C_MatMGe<T> Ft(0, 0), FtT(0, 0), B(0, 0);
  C_MatMSym<T> G(0, 1);
  if (p > 0) {
    Ft.Resize(m, p);
    for (int c = 0; c < p; ++c) {
      const T* src = ColPtr(F, c);
      std::copy(src, src + m, ColPtr(Ft, c));
    }
    MultTriPacked('L', 'N', 'N', m, p, W, Ft.Adr());
    FtT = Ft;
    FtT.Transpose();

    C_MatMGe<T> A(0, 0), Bm(0, 0);
    A = Ft;
    Bm = Yt;
    Gels(m, p, q, A.Adr(), m, Bm.Adr(), m, lwork, &info);
    if (info != 0) return 1; /* trend matrix without full rank */

    B.Resize(p, q);
    for (int k = 0; k < q; ++k) std::copy(ColPtr(Bm, k), ColPtr(Bm, k) + p, ColPtr(B, k));

    SetSymShape(G, p, 1);
    T* g = G.Adr();
    for (int j = 0; j < p; ++j)
      for (int i = j; i < p; ++i) g[LowerPacked(i, j, p)] = ColPtr(A, i)[j];

    Yt.Mm('N', 'N', T(-1.0), Ft, B, T(1.0));
  }

  /* Process variances and objective on the whitened residual. */
  VecD procVar(q), mleVec(q);
  const bool outScaled = ScalesOutputs(ScalingType);
  double sum = 0.0;
  for (int k = 0; k < q; ++k) {
    const double nr = Nrm2(m, ColPtr(Yt, k));
    const double s2 = nr * nr / static_cast<double>(m);
    double pv = s2;
    if (outScaled && k < OutScaleVec.Dim()) pv = s2 / (OutScaleVec[k] * OutScaleVec[k]);
    procVar[k] = pv;
    mleVec[k] = s2 * D;
    sum += s2;
  }
  const double objective = sum * D;
  if (!std::isfinite(D) || !std::isfinite(objective)) return 1;

  MultTriPacked('L', 'T', 'N', m, q, W, Yt.Adr());

  /* Commit. */
  CorrMtx = S;
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
  using namespace Kvelo::MessageToolEnums;
  Kvelo::C_KveloMessage msg("KrigingList<T>::Print", "Kriging", 2254,
                            static_cast<E_MessageType_enum>(1),
                            static_cast<E_VerbosityLevel_enum>(3),
                            static_cast<E_DebugScope_enum>(502),
                            static_cast<E_MessageStream_enum>(3));
  msg.Set("   Kernel : ");
  for (int j = 0; j < KernVec.Dim(); ++j) msg.Append("%lf ", KernVec[j]);
  msg.Append(" -> %lf", MLE);
  msg.Print();
}

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
  if (RowsOf(B) != p || ColsOf(B) != 2 || KernVec.Dim() != p) return 1;
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
  if (outside) return 1;
  best = std::numeric_limits<double>::infinity();
  bool accepted = false;
  return OptKernTrial(KernVec, best, accepted);
}

template <class T>
int Kriging<T>::OptKernExplore(VecD& D, C_MatMGe<double>& B, double& best) {
  const int p = NumKern;
  if (RowsOf(B) != p || ColsOf(B) != 2 || D.Dim() < p || KernVec.Dim() != p) return 1;
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
    return 1;
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
  if (KrigingStatus != KrigingSolveRequired) return 1;

  C_MatMGe<T> Xs(0, 0), Ys(0, 0);
  int res = EvalScaling(Xs, Ys);
  if (res != 0) return res;

  /* From here the kernel may move, whether or not the search succeeds: test correlations
   * cached at the old kernel no longer hold. */
  CorrStale = true;

  VecD theta0(0);
  if (KernToEstimate) {
    if (NumKern == 0) NumKern = KernCount(KernVarType, NumVar);
    KernVec.Resize(NumKern);
    res = EstimateKern(Xs, KernVec);
    if (res != 0) return res;
    theta0.Assign(KernVec);
    KernToEstimate = false;
  } else {
    if (KernVec.Dim() != NumKern) return 1;
    if (NewSamples) {
      /* Samples were appended: centre the box on an estimate from all of them. */
      theta0.Resize(NumKern);
      res = EstimateKern(Xs, theta0);
      if (res != 0) return res;
    } else {
      theta0.Assign(KernVec);
    }
  }

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
  if (OptimizeKern(B, best) != 0) return 1;
  /* Not one kernel of the search could be fitted: there is nothing to build at. */
  if (!(best < std::numeric_limits<double>::infinity())) return 1;

  KrigingStatus = KrigingSolveRequired;
  if (BuildModel() != 0) return 1;
  TrendStale = true;
  return 0;
}

/* ======================================================================================= */
/* Prediction and predictor error                                                          */
/* ======================================================================================= */

namespace {

inline void Tptri(int n, double* ap, int* info) { ITF_dtptri("L", "N", n, ap, info); }
inline void Tptri(int n, dcomplex* ap, int* info) { ITF_ztptri("L", "N", n, ap, info); }

/* y := A x - y for a column-major rows x cols matrix A. */
inline void GemvMinus(int rows, int cols, const double* a, int lda, const double* x, double* y) {
  ITF_dgemv("N", rows, cols, 1.0, a, lda, x, 1, -1.0, y, 1);
}
inline void GemvMinus(int rows, int cols, const dcomplex* a, int lda, const dcomplex* x,
                      dcomplex* y) {
  ITF_zgemv("N", rows, cols, dcomplex(1.0, 0.0), a, lda, x, 1, dcomplex(-1.0, 0.0), y, 1);
}

/* The real vector x in the element type T: itself for double, a copy in buf for complex. */
inline const double* AsElem(const double* x, int, std::vector<double>&) { return x; }
inline const dcomplex* AsElem(const double* x, int n, std::vector<dcomplex>& buf) {
  buf.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) buf[i] = dcomplex(x[i], 0.0);
  return buf.data();
}

}  // namespace

template <class T>
int Kriging<T>::RefitAtStoredKernel() {
  KrigingStatus = static_cast<E_KrigingStatus>(CheckSampData());
  if (KrigingStatus != KrigingSolveRequired) return 1;
  if (SolnType != SolDefault) return 1;
  /* The stored scale vectors belong to the stored coefficients: reuse them. */
  RescaleRequested = false;
  const int res = BuildModel();
  if (res != 0) return res;
  ++SolveCount;
  KrigingStatus = KrigingSolved;
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
  /* 1. Readiness. */
  if (KrigingStatus == KrigingSolveRequired && this->Solve() != 0) return 1;
  if (KrigingStatus != KrigingSolved) return 1;

  /* 2. Predictor errors need factors of this model's own: a copied or read model refits at
   * its stored kernel first, and fails rather than use factors it does not have. */
  if ((k > 0 || KeepPredErr) && SolveRequired) {
    if (RefitAtStoredKernel() != 0) return 1;
  }

  /* 3. Points. */
  if (useTest && !InpTestSet) return 1;
  const int n = NumVar, m = NumSamp, q = NumSol;
  C_MatMGe<T>* P = useTest ? &InpTestMtx : &X;
  if (ColsOf(*P) != n) return 1;
  /* The fitted members must describe the current samples. */
  if (RowsOf(InpSampMtx) != m || ColsOf(InpSampMtx) != n || RowsOf(CorrCoeff) != m ||
      ColsOf(CorrCoeff) != q)
    return 1;
  const int p = (ColsOf(PolyCoeff) > 0) ? RowsOf(PolyCoeff) : 0;
  if (p > 0 && ColsOf(PolyCoeff) != q) return 1;
  /* Y is about to be overwritten: keep the points when the caller passed one matrix twice. */
  C_MatMGe<T> Pkeep(0, 0);
  if (P == &Y) {
    Pkeep = *P;
    P = &Pkeep;
  }
  const int N = RowsOf(*P);

  /* 4. Scaling of the points and of the samples. */
  C_MatMGe<T> PsLoc(0, 0), SsLoc(0, 0);
  C_MatMGe<T>* Ps = P;
  C_MatMGe<T>* Ss = &InpSampMtx;
  if (ScalesInputs(ScalingType)) {
    if (ApplyScaling(*P, InpScaleVec, InpInterceptVec, PsLoc) != 0) return 1;
    if (ApplyScaling(InpSampMtx, InpScaleVec, InpInterceptVec, SsLoc) != 0) return 1;
    Ps = &PsLoc;
    Ss = &SsLoc;
  }

  /* 5. Y starts from zero. */
  Y.Resize(N, q);
  for (int c = 0; c < q; ++c) std::fill(ColPtr(Y, c), ColPtr(Y, c) + N, T(0.0));

  /* 6. Correlation store: the test-input cache, a local matrix when predictor errors or
   * refinement points need the correlations afterwards, or none. */
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
  const bool shared = (NumKern == 1);
  if (!KernelFits(CorrFuncType, KernVec.Dim(), shared, n)) {
    if (useTest) CorrStale = true; /* the cache was not filled */
    return 1;
  }
  const std::vector<T> pts = PointsByRow(*Ps, N, n), smp = PointsByRow(*Ss, m, n);
  const double* theta = KernVec.Adr(0);
  const int type = CorrFuncType;
  std::vector<T*> ycol(static_cast<std::size_t>(q));
  for (int c = 0; c < q; ++c) ycol[c] = ColPtr(Y, c);
  std::vector<T> gamma(static_cast<std::size_t>(q));
  for (int j = 0; j < m; ++j) {
    for (int c = 0; c < q; ++c) gamma[c] = ColPtr(CorrCoeff, c)[j];
    const T* sj = smp.data() + static_cast<std::size_t>(j) * n;
    double* rcol = (Rs != nullptr) ? ColPtr(*Rs, j) : nullptr;
    for (int i = 0; i < N; ++i) {
      double r;
      if (j < cached) {
        r = rcol[i];
      } else {
        r = CorrValue<T>(type, pts.data() + static_cast<std::size_t>(i) * n, sj, n, theta,
                         shared);
        if (rcol != nullptr) rcol[i] = r;
      }
      for (int c = 0; c < q; ++c) ycol[c][i] += r * gamma[c];
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
  if (ColsOf(*Fs) != p || RowsOf(*Fs) != N) return 1;
  if (p > 0) Y.Mm('N', 'N', T(1.0), *Fs, PolyCoeff, T(1.0));

  /* 9. Back to the caller's output scale. */
  if (ScalesOutputs(ScalingType)) {
    if (UnscaleOutput(Y, OutScaleVec, OutInterceptVec) != 0) return 1;
  }

  /* 10. Predictor errors, refinement points. */
  if (k > 0) return EvalRefinement(*P, Y, *Rs, *Fs, k, Xsel, maxErr);
  if (KeepPredErr) {
    C_MatMGe<double> Err(0, 0);
    if (this->GetPredictorError(*Rs, *Fs, Err) != 0) return 1;
    if ((PredErrMtx = Err) != 0) return 1;
  }
  return 0;
}

template <class T>
int Kriging<T>::GetPredictorError(C_MatMGe<double>& R, C_MatMGe<T>& F, C_MatMGe<double>& Err) {
  const int N = RowsOf(R);
  const int p = ColsOf(F);
  const int q = NumSol;
  if (p > 0 && RowsOf(F) != N) return 1;
  if (p > 0) {
    const int order = FtReady ? RowsOf(TrendFactor) : 0;
    if (p != order || p != RowsOf(FtTMtx)) return 1;
  }
  const int m = RowsOf(CorrMtx);
  if (ColsOf(R) != m) return 1;
  if (p > 0 && ColsOf(R) != ColsOf(FtTMtx)) return 1;
  /* Factors of the sizes they claim, and a variance per output (a model built elsewhere
   * must not make this read past them). */
  if (q < 0 || ProcVarnc.Dim() < q) return 1;
  if (CorrMtx.storage.Dim() < static_cast<long long>(m) * (m + 1) / 2) return 1;
  if (p > 0 && TrendFactor.storage.Dim() < static_cast<long long>(p) * (p + 1) / 2) return 1;

  C_MatMGe<double> E(N, q);
  if (N == 0) return (Err = E) != 0 ? 1 : 0;

  /* G^-1 once per call. */
  C_MatMSym<T> Ginv(0, 1);
  if (p > 0) {
    Ginv = TrendFactor;
    int info = 0;
    Tptri(p, Ginv.Adr(), &info);
    if (info != 0) return 1; /* a singular trend factor gives no error estimate */
  }

  std::vector<double> rt(static_cast<std::size_t>(m));
  std::vector<T> u(static_cast<std::size_t>(p > 0 ? p : 1)), rtBuf;
  const double* rdata = R.Adr();
  const std::size_t ldr = static_cast<std::size_t>(R.Ld());
  double* cinv = CorrMtx.Adr();
  for (int i = 0; i < N; ++i) {
    for (int j = 0; j < m; ++j) rt[j] = rdata[i + j * ldr];
    /* rt = C^-1 r, so that s = r^T K^-1 r. */
    if (m > 0) ITF_dtpmv("L", "N", "N", m, cinv, rt.data(), 1);
    const double s = (m > 0) ? ITF_ddot(m, rt.data(), 1, rt.data(), 1) : 0.0;
    double bracket = 1.0 - s;
    if (p > 0) {
      /* u = F~^T rt - f_i, v = G^-1 u, t = |v|^2. */
      for (int c = 0; c < p; ++c) u[c] = ColPtr(F, c)[i];
      GemvMinus(p, m, FtTMtx.Adr(), std::max(1, FtTMtx.Ld()), AsElem(rt.data(), m, rtBuf),
                u.data());
      Tpmv("L", "N", "N", p, Ginv.Adr(), u.data());
      double t = 0.0;
      for (int c = 0; c < p; ++c) t += SqMag(u[c]);
      bracket = 1.0 + t - s;
    }
    for (int c = 0; c < q; ++c) ColPtr(E, c)[i] = std::sqrt(std::fabs(ProcVarnc[c] * bracket));
  }
  return (Err = E) != 0 ? 1 : 0;
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
  double best = 0.0;
  for (int j = 0; j < cols && rows > 0; ++j) {
    const double* col = ColPtr(M, j);
    const int pos = ITF_idamax(rows, col, 1);
    if (pos < 1 || pos > rows) continue;
    const double a = std::fabs(col[pos - 1]);
    if (a > best) best = a;
  }
  out = best;
  return 0;
}

template <class T>
int Kriging<T>::GetRowMax(C_MatMGe<double>& M, VecD& v) {
  const int rows = RowsOf(M), cols = ColsOf(M);
  if (v.Resize(rows) != 0) return 1;
  for (int i = 0; i < rows; ++i) {
    double best = 0.0;
    for (int j = 0; j < cols; ++j) {
      const double x = ColPtr(M, j)[i];
      if (x > best) best = x;
    }
    v[i] = best;
  }
  return 0;
}

/* ======================================================================================= */
/* Relative predictor errors                                                               */
/* ======================================================================================= */

namespace {

/* An error of size err relative to a value of size v: err / v while v lies above the
 * threshold; nearer zero, err over half the range plus v, so that small values do not blow
 * the ratio up (err itself when that sum is not above 1e-31). */
inline double RelativeTo(double err, double v, double threshold, double range) {
  const double soft = 0.5 * range + v;
  if (v > threshold) return err / v;
  if (soft > 1e-31) return err / soft;
  return err;
}

}  // namespace

template <class T>
int Kriging<T>::GetRelativePredictorErrorNorm(C_MatMGe<T>& Y, C_MatMGe<double>& Err,
                                              C_MatMGe<double>& R) {
  const int N = RowsOf(Y), q = NumSol, g = NumGlobalSol;
  if (RowsOf(Err) != N || ColsOf(Y) != q || ColsOf(Err) != q) return 1;
  /* The group sizes and ranges must be there to be read. */
  if (g < 0 || (g > 0 && (VecGlobalSol == nullptr || GlobalRangeVec.Dim() < g))) return 1;

  C_MatMGe<double> out(N, g);
  VecD threshold(g);
  std::vector<double> fallback(static_cast<std::size_t>(g));
  for (int k = 0; k < g; ++k) {
    threshold[k] = 1e-4 * GlobalRangeVec[k];
    fallback[k] = std::max(GlobalRangeVec[k], DropToler);
  }
  int first = 0;
  for (int k = 0; k < g; ++k) {
    const int size = VecGlobalSol[k];
    const int last = std::min(q, first + std::max(size, 0));
    double* rk = ColPtr(out, k);
    for (int i = 0; i < N; ++i) {
      double f2 = 0.0, v2 = 0.0;
      for (int j = first; j < last; ++j) {
        const double e = ColPtr(Err, j)[i];
        f2 += e * e;
        v2 += SqMag(ColPtr(Y, j)[i]);
      }
      rk[i] = RelativeTo(std::sqrt(f2), std::sqrt(v2), threshold[k], fallback[k]);
    }
    if (size > 0) first += size;
  }
  return (R = out) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::GetRelativePredictorError(C_MatMGe<T>& Y, C_MatMGe<double>& Err,
                                          C_MatMGe<double>& R) {
  const int N = RowsOf(Y), q = NumSol;
  if (RowsOf(Err) != N || ColsOf(Y) != q || ColsOf(Err) != q) return 1;
  if (q > 0 && (RowsOf(OutRangeMtx) < q || ColsOf(OutRangeMtx) < 3)) return 1;

  C_MatMGe<double> out(N, q);
  VecD threshold(q);
  for (int j = 0; j < q; ++j) threshold[j] = 1e-4 * ColPtr(OutRangeMtx, 2)[j];
  for (int j = 0; j < q; ++j) {
    const double range = ColPtr(OutRangeMtx, 2)[j];
    double* rj = ColPtr(out, j);
    const T* y = ColPtr(Y, j);
    const double* e = ColPtr(Err, j);
    for (int i = 0; i < N; ++i) rj[i] = RelativeTo(e[i], Mag(y[i]), threshold[j], range);
  }
  return (R = out) != 0 ? 1 : 0;
}

/* ======================================================================================= */
/* Error measures                                                                          */
/* ======================================================================================= */

namespace {

/* D := |Y1 - Y2| entry by entry; false (D untouched) when the shapes differ. */
template <class T>
bool AbsDifference(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, C_MatMGe<double>& D) {
  const int N = RowsOf(Y1), q = ColsOf(Y1);
  if (RowsOf(Y2) != N || ColsOf(Y2) != q) return false;
  D.Resize(N, q);
  for (int j = 0; j < q; ++j) {
    const T* a = ColPtr(Y1, j);
    const T* b = ColPtr(Y2, j);
    double* d = ColPtr(D, j);
    for (int i = 0; i < N; ++i) d[i] = Mag(a[i] - b[i]);
  }
  return true;
}

/* v := the largest entry of each column of M, at least 0 (NaN never enters). */
inline void ColumnMax(C_MatMGe<double>& M, C_VecPi<double, int, C_PtrInCore<double, int>>& v) {
  const int rows = RowsOf(M), cols = ColsOf(M);
  v.Resize(cols);
  for (int j = 0; j < cols; ++j) {
    const double* c = ColPtr(M, j);
    double best = 0.0;
    for (int i = 0; i < rows; ++i)
      if (c[i] > best) best = c[i];
    v[j] = best;
  }
}

/* The largest entry of v, at least 0. */
inline double VectorMax(C_VecPi<double, int, C_PtrInCore<double, int>>& v) {
  double best = 0.0;
  for (int i = 0; i < v.Dim(); ++i)
    if (v[i] > best) best = v[i];
  return best;
}

}  // namespace

template <class T>
int Kriging<T>::GetError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, C_MatMGe<double>& E) {
  if (KrigingStatus != KrigingSolved) return 1;
  /* Built aside: E may be one of the inputs. */
  C_MatMGe<double> D(0, 0);
  if (!AbsDifference(Y1, Y2, D)) return 1;
  return (E = D) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::GetError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, VecD& e) {
  C_MatMGe<double> E(0, 0);
  if (this->GetError(Y1, Y2, E) != 0) return 1;
  ColumnMax(E, e);
  return 0;
}

template <class T>
int Kriging<T>::GetError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, double& e) {
  VecD v(0);
  if (this->GetError(Y1, Y2, v) != 0) return 1;
  e = VectorMax(v);
  return 0;
}

template <class T>
int Kriging<T>::GetRelativeError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, C_MatMGe<double>& R) {
  if (KrigingStatus != KrigingSolved) return 1;
  C_MatMGe<double> D(0, 0);
  if (!AbsDifference(Y1, Y2, D)) return 1;
  return this->GetRelativePredictorErrorNorm(Y1, D, R) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::GetRelativeError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, VecD& r) {
  C_MatMGe<double> R(0, 0);
  if (this->GetRelativeError(Y1, Y2, R) != 0) return 1;
  ColumnMax(R, r);
  return 0;
}

template <class T>
int Kriging<T>::GetRelativeError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, double& r) {
  VecD v(0);
  if (this->GetRelativeError(Y1, Y2, v) != 0) return 1;
  r = VectorMax(v);
  return 0;
}

template <class T>
int Kriging<T>::GetRelativeError(double& r) {
  r = 1.0;
  C_MatMGe<T> X(0, 0), Yref(0, 0), Ypred(0, 0);
  X = InpSampMtx;
  Yref = OutSampMtx;
  if (this->EvalModel(X, Ypred) != 0) return 1;
  return this->GetRelativeError(Yref, Ypred, r) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::CheckError(C_MatMGe<T>& X, C_MatMGe<T>& Y, double& err) {
  if (KrigingStatus != KrigingSolved) return 1;
  if (RowsOf(X) != RowsOf(Y) || ColsOf(X) != NumVar || ColsOf(Y) != NumSol) return 1;
  C_MatMGe<T> Ypred(0, 0), sel(0, 0);
  int k = 0;
  double scratch = 0.0;
  if (this->EvalModel(X, Ypred, k, sel, scratch, false) != 0) return 1;
  return this->GetError(Y, Ypred, err) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::CheckRelativeError(C_MatMGe<T>& X, C_MatMGe<T>& Y, double& relErr,
                                   double& maxPredErr) {
  if (KrigingStatus != KrigingSolved) return 1;
  if (RowsOf(X) != RowsOf(Y) || ColsOf(X) != NumVar || ColsOf(Y) != NumSol) return 1;
  C_MatMGe<T> Ypred(0, 0), sel(0, 0);
  /* One refinement point: the branch leaves the largest relative predictor error over the
   * rows that are not sample inputs. */
  int k = 1;
  if (this->EvalModel(X, Ypred, k, sel, maxPredErr, false) != 0) return 1;
  return this->GetRelativeError(Y, Ypred, relErr) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::getR2(VecT& a, VecT& b, double& r2) {
  r2 = 0.0;
  const int N = a.Dim();
  if (b.Dim() != N) return 1;
  T sum = T(0.0);
  for (int i = 0; i < N; ++i) sum += a[i];
  const T mean = sum / static_cast<double>(N);
  double sse = 0.0, sst = 0.0;
  for (int i = 0; i < N; ++i) {
    sse += SqMag(b[i] - a[i]);
    sst += SqMag(b[i] - mean);
  }
  r2 = 1.0 - sse / sst;
  return 0;
}

template <class T>
int Kriging<T>::getR2(C_MatMGe<T>& A, C_MatMGe<T>& B, double& r2) {
  r2 = 0.0;
  const int cols = ColsOf(A);
  if (RowsOf(B) != RowsOf(A) || ColsOf(B) != cols) return 1;
  double best = 1.0;
  for (int j = 0; j < cols; ++j) {
    VecT a(0), b(0);
    A.LnkCol(j, a);
    B.LnkCol(j, b);
    double v = 0.0;
    if (this->getR2(a, b, v) != 0) return 1;
    if (v < best) best = v;
  }
  r2 = best;
  return 0;
}

template <class T>
int Kriging<T>::getR2(double& r2) {
  r2 = 0.0;
  C_MatMGe<T> X(0, 0), Yref(0, 0), Ypred(0, 0);
  X = InpSampMtx;
  Yref = OutSampMtx;
  if (this->EvalModel(X, Ypred) != 0) return 1;
  return this->getR2(Yref, Ypred, r2) != 0 ? 1 : 0;
}

/* ======================================================================================= */
/* Refinement points and test inputs                                                       */
/* ======================================================================================= */

namespace {

/* Number of sample rows whose first n coordinates can be read (none when the stored inputs
 * are narrower than the model's input count). */
template <class T>
inline int UsableSamples(C_MatMGe<T>& S, int n) {
  return (n >= 0 && ColsOf(S) >= n) ? RowsOf(S) : 0;
}

/* The rows index[0 .. count-1] of M, first `cols` columns, as a new count x cols matrix. */
template <class T>
inline C_MatMGe<T> RowsAt(C_MatMGe<T>& M, const int* index, int count, int cols) {
  C_MatMGe<T> out(count, cols);
  for (int c = 0; c < cols; ++c) {
    const T* src = ColPtr(M, c);
    T* dst = ColPtr(out, c);
    for (int i = 0; i < count; ++i) dst[i] = src[index[i]];
  }
  return out;
}

/* v[0 .. n-1] := the first n coordinates of row i of M. */
template <class T>
inline void LoadRow(C_MatMGe<T>& M, int i, int n, C_VecPi<T, int, C_PtrInCore<T, int>>& v) {
  T* d = v.Adr(0);
  for (int k = 0; k < n; ++k) d[k] = ColPtr(M, k)[i];
}

}  // namespace

template <class T>
int Kriging<T>::PutInpTestMtx(C_MatMGe<T>& Tm) {
  if (RowsOf(Tm) <= 0 || ColsOf(Tm) != NumVar) return 1;
  const int res = (InpTestMtx = Tm);
  if (res != 0) return res;
  InpTestSet = true;
  CorrStale = true;
  TrendStale = true;
  return 0;
}

template <class T>
bool Kriging<T>::IsInputPoint(C_MatMGe<T>& X, int row) {
  const int n = NumVar;
  if (n < 0 || row < 0 || row >= RowsOf(X) || ColsOf(X) < n) return false;
  const int ms = UsableSamples(InpSampMtx, n);
  if (WorkVec.Dim() < n) WorkVec.Resize(n);
  T* w = (n > 0) ? WorkVec.Adr(0) : nullptr;
  for (int s = 0; s < ms; ++s) {
    for (int k = 0; k < n; ++k) w[k] = ColPtr(InpSampMtx, k)[s] - ColPtr(X, k)[row];
    const double d = (n > 0) ? Nrm2(n, w) : 0.0;
    if (d < PointToler) return true;
  }
  return false;
}

template <class T>
int Kriging<T>::CheckNewPoints(C_MatMGe<T>& cand, C_MatMGe<T>& kept, int*& index,
                               double dmin) {
  const int n = NumVar;
  const int rows = RowsOf(cand), cols = ColsOf(cand);
  if (n < 0 || cols < n) return 1;
  if (index == nullptr) index = new int[rows > 0 ? rows : 1];
  const double d = dmin * dmin;
  const int ms = UsableSamples(InpSampMtx, n);

  VecT a(n), b(n);
  std::vector<int> accepted;
  for (int j = 0; j < rows; ++j) {
    LoadRow(cand, j, n, a);
    bool drop = false;
    /* Written as "not farther": a distance that is not a number drops the candidate too. */
    for (int s = 0; s < ms && !drop; ++s) {
      LoadRow(InpSampMtx, s, n, b);
      if (!(GetSqrDist(a, b, n) > d)) drop = true;
    }
    for (std::size_t t = 0; t < accepted.size() && !drop; ++t) {
      LoadRow(cand, accepted[t], n, b);
      if (!(GetSqrDist(a, b, n) > d)) drop = true;
    }
    if (drop) continue;
    index[accepted.size()] = j;
    accepted.push_back(j);
  }

  /* Built aside: kept may be cand itself. */
  C_MatMGe<T> out = RowsAt(cand, accepted.data(), static_cast<int>(accepted.size()), cols);
  return (kept = out) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::SelectMaxErrPoints(C_MatMGe<T>& P, VecD& vals, int& k, int* index, VecD& out) {
  const int N = RowsOf(P);
  if (vals.Dim() != N) return 1;
  const int cap = k;
  int c = 0;
  if (cap > 0) {
    for (int i = 0; i < N; ++i) {
      const double x = vals[i];
      /* Walk from the tail past every entry that is not greater than x: of equal values
       * the later point goes first, and a NaN entry never stops the walk. */
      int pos = c;
      while (pos > 0 && !(vals[index[pos - 1]] > x)) --pos;
      if (pos == cap) continue;
      if (this->IsInputPoint(P, i)) continue;
      for (int t = std::min(c, cap - 1); t > pos; --t) index[t] = index[t - 1];
      index[pos] = i;
      c = std::min(c + 1, cap);
    }
  }
  k = c;
  out.Resize(c);
  for (int t = 0; t < c; ++t) out[t] = vals[index[t]];
  return 0;
}

template <class T>
int Kriging<T>::EvalRefinement(C_MatMGe<T>& P, C_MatMGe<T>& Y, C_MatMGe<double>& R,
                               C_MatMGe<T>& F, int& k, C_MatMGe<T>& Xsel, double& maxErr) {
  C_MatMGe<double> Err(0, 0), Er(0, 0);
  if (this->GetPredictorError(R, F, Err) != 0) return 1;
  if (KeepPredErr && (PredErrMtx = Err) != 0) return 1;
  if (this->GetRelativePredictorErrorNorm(Y, Err, Er) != 0) return 1;
  if (GetRowMax(Er, TestRelErrVec) != 0) return 1;

  /* No more points than were evaluated can be named: the index list needs no more room. */
  const int N = RowsOf(P), n = NumVar;
  int want = std::min(k, N);
  std::vector<int> index(static_cast<std::size_t>(want > 0 ? want : 1));
  VecD vals(0);
  if (SelectMaxErrPoints(P, TestRelErrVec, want, index.data(), vals) != 0) return 1;
  k = want;
  if (want <= 0) {
    maxErr = 0.0;
    return 0;
  }
  maxErr = vals[0];
  /* Built aside: Xsel may be the caller's point matrix. */
  C_MatMGe<T> sel = RowsAt(P, index.data(), want, n);
  return (Xsel = sel) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::Solve(C_MatMGe<T>& Xcand, C_MatMGe<T>& Ycand, double& maxRelErr,
                      double& maxAbsErr, int& numNew, C_MatMGe<T>& Xnew, int& numSamp,
                      C_MatMGe<T>& Xall, double dmin) {
  const int q = NumSol;
  if (ColsOf(Ycand) != q) return 1;
  const int candRows = RowsOf(Xcand);
  /* The outputs must survive the acceptance writing Xnew, should they be one matrix. */
  C_MatMGe<T> yKeep(0, 0);
  C_MatMGe<T>* Yc = &Ycand;
  if (&Ycand == &Xnew) {
    yKeep = Ycand;
    Yc = &yKeep;
  }

  int* rawIndex = nullptr;
  const int res = this->CheckNewPoints(Xcand, Xnew, rawIndex, dmin);
  std::unique_ptr<int[]> index(rawIndex);
  if (res != 0) return 1;
  numNew = RowsOf(Xnew);
  if (numNew == 0) return 0;

  /* Each accepted candidate takes its own outputs: Ycand lists either every candidate or
   * only the accepted ones, in their order. */
  const int rowsY = RowsOf(*Yc);
  const bool perCandidate = (rowsY == candRows);
  if (!perCandidate && rowsY != numNew) return 1;
  C_MatMGe<T> Ynew(numNew, q);
  for (int i = 0; i < numNew; ++i) {
    const int src = perCandidate ? index[i] : i;
    if (src < 0 || src >= rowsY) return 1;
    for (int c = 0; c < q; ++c) ColPtr(Ynew, c)[i] = ColPtr(*Yc, c)[src];
  }

  if (this->AppendSampData(Xnew, Ynew) != 0) return 1;
  if (this->Solve() != 0) return 1;
  int count = 0;
  if (this->GetPredictorError(InpSampMtx, maxAbsErr, maxRelErr, count) != 0) return 1;
  numSamp = NumSamp;
  return (Xall = InpSampMtx) != 0 ? 1 : 0;
}

/* ======================================================================================= */
/* Model file and model copies                                                             */
/* ======================================================================================= */

/* A model gathered from a file or another model; nothing of the target changes until it is
 * complete and checked. */
template <class T>
struct Kriging<T>::ModelImage {
  C_MatMGe<T> X, Y;
  int groups;
  std::vector<int> sizes;
  int kernVarType;
  VecD kern;
  int scalingType;
  VecD inpScale;
  VecT inpIcpt;
  VecD outScale;
  VecT outIcpt;
  int corrFuncType;
  C_MatMGe<T> corrCoeff;
  int polynomType;
  C_MatMGe<T> polyCoeff;
  int solnType;
  int kernOptType;
  C_MatMGe<double> rangeTable;
  VecD groupRanges;

  ModelImage()
      : X(0, 0), Y(0, 0), groups(0), kernVarType(0), kern(0), scalingType(0), inpScale(0),
        inpIcpt(0), outScale(0), outIcpt(0), corrFuncType(0), corrCoeff(0, 0), polynomType(0),
        polyCoeff(0, 0), solnType(0), kernOptType(0), rangeTable(0, 0), groupRanges(0) {}
};

namespace {

/* Marks the place of a failed transfer or getter and gives the failure result. */
inline int TraceFail(int line) {
  fct_Trace("aff_lieu", line, "Kriging");
  return 1;
}

/* Lines marked for each record of the model file (0: the record is absent). */
struct RecordLines {
  int version, inp, out, groups, sizes, kernVarType, kern, scaling, inpScale, inpIcpt,
      outScale, outIcpt, corrType, corrCoeff, polyType, polyCoeff, solnType, optType;
};
const RecordLines kWriteLines = {4532, 4535, 4538, 4541, 4542, 4546, 4547, 4551, 4554,
                                 4555, 4560, 4561, 4566, 4567, 4571, 4574, 4579, 4583};
const RecordLines kReadLines = {4610, 4614, 4619, 4627, 4633, 4636, 4638, 4655, 4659,
                                4660, 4669, 4670, 4678, 4680, 4687, 4691, 4699, 4703};
const RecordLines kReadOldLines = {0,    4733, 4738, 4746, 4752, 4755, 4757, 4774, 4778,
                                   4779, 4788, 4789, 4797, 4799, 4806, 4810, 4818, 4822};

/* Outcome of reading one record: read and as expected; not readable (short, or a header
 * that contradicts itself); readable but of another shape than the model needs. */
enum RecordResult { kRecordOk = 0, kRecordFailed = 1, kRecordMismatch = 2 };

/* Elements are read in blocks and the buffer grows with what actually arrives, so a count
 * read from a damaged file never sizes an allocation by itself. */
const int kReadBlock = 4096;

template <class E>
bool ReadElements(FILE* f, std::vector<E>& buf, int count) {
  buf.clear();
  for (int done = 0; done < count;) {
    const int k = std::min(kReadBlock, count - done);
    buf.resize(static_cast<std::size_t>(done) + static_cast<std::size_t>(k));
    if (T_BF_read(f, static_cast<const E*>(buf.data() + done), k, true) != 0) return false;
    done += k;
  }
  return true;
}

inline int ReadIntRecord(FILE* f, int& v) {
  return BF_fread_int(f, &v, 1) == 0 ? kRecordOk : kRecordFailed;
}

/* A version text: its length, then its bytes, skipped (the text is not interpreted). */
inline int SkipTextRecord(FILE* f) {
  int length = 0;
  if (BF_fread_int(f, &length, 1) != 0 || length < 0) return kRecordFailed;
  char block[kReadBlock];
  for (int done = 0; done < length;) {
    const int k = std::min(kReadBlock, length - done);
    if (BF_fread_char(f, block, k) != 0) return kRecordFailed;
    done += k;
  }
  return kRecordOk;
}

/* A vector record of exactly `expect` elements into v. */
template <class E>
int ReadVectorRecord(FILE* f, C_VecPi<E, int, C_PtrInCore<E, int>>& v, int expect) {
  int dim = 0;
  if (BF_fread_int(f, &dim, 1) != 0 || dim < 0) return kRecordFailed;
  if (dim != expect) return kRecordMismatch;
  std::vector<E> buf;
  if (!ReadElements(f, buf, dim)) return kRecordFailed;
  v.Resize(dim);
  for (int i = 0; i < dim; ++i) v[i] = buf[static_cast<std::size_t>(i)];
  return kRecordOk;
}

/* A matrix record into M; accept(rows, cols) tells whether the shape is the one needed. */
template <class E, class Accept>
int ReadMatrixRecord(FILE* f, C_MatMGe<E>& M, Accept accept) {
  int head[3] = {0, 0, 0};
  if (BF_fread_int(f, head, 3) != 0) return kRecordFailed;
  const int rows = head[0], cols = head[1], count = head[2];
  if (rows < 0 || cols < 0 || static_cast<long long>(rows) * cols != count)
    return kRecordFailed;
  if (!accept(rows, cols)) return kRecordMismatch;
  std::vector<E> buf;
  if (!ReadElements(f, buf, count)) return kRecordFailed;
  M.Resize(rows, cols);
  for (int c = 0; c < cols; ++c) {
    const E* src = buf.data() + static_cast<std::size_t>(c) * rows;
    std::copy(src, src + rows, ColPtr(M, c));
  }
  return kRecordOk;
}

/* Whether a trend-coefficient matrix of `rows` rows fits trend type `type` on n inputs:
 * the type's term count, or the single constant term the automatic degree choice falls
 * back to when the samples cannot carry a higher degree. */
inline bool TrendRowsFit(int type, int n, int rows) {
  if (type < 1 || type > 4) return false;
  return rows == 1 || static_cast<long long>(rows) == TrendTerms(type, n);
}

}  // namespace

template <class T>
const char* Kriging<T>::Version() const {
  return "1.0";
}

template <class T>
int Kriging<T>::Write(FILE* fp) {
  if (KrigingStatus != KrigingSolved) return 1;
  /* A count changed since the fit (the state stays 2 but the samples are no longer valid):
   * the records would not agree with each other, and no reader could take the file back. */
  if (!InpSampSet || !OutSampSet) return 1;
  const RecordLines& L = kWriteLines;
  if (BF_fwrite_str(fp, Version()) != 0) return TraceFail(L.version);
  if (InpSampMtx.Write(fp) != 0) return TraceFail(L.inp);
  if (OutSampMtx.Write(fp) != 0) return TraceFail(L.out);
  const int groups = NumGlobalSol;
  if (BF_fwrite_int(fp, &groups, 1) != 0) return TraceFail(L.groups);
  if (BF_fwrite_int(fp, VecGlobalSol, groups) != 0) return TraceFail(L.sizes);
  const int kernVarType = KernVarType;
  if (BF_fwrite_int(fp, &kernVarType, 1) != 0) return TraceFail(L.kernVarType);
  if (KernVec.Write(fp) != 0) return TraceFail(L.kern);
  const int scaling = ScalingType;
  if (BF_fwrite_int(fp, &scaling, 1) != 0) return TraceFail(L.scaling);
  if (ScalesInputs(scaling)) {
    if (InpScaleVec.Write(fp) != 0) return TraceFail(L.inpScale);
    if (InpInterceptVec.Write(fp) != 0) return TraceFail(L.inpIcpt);
  }
  if (ScalesOutputs(scaling)) {
    if (OutScaleVec.Write(fp) != 0) return TraceFail(L.outScale);
    if (OutInterceptVec.Write(fp) != 0) return TraceFail(L.outIcpt);
  }
  const int corrType = CorrFuncType;
  if (BF_fwrite_int(fp, &corrType, 1) != 0) return TraceFail(L.corrType);
  if (CorrCoeff.Write(fp) != 0) return TraceFail(L.corrCoeff);
  const int polyType = PolynomType;
  if (BF_fwrite_int(fp, &polyType, 1) != 0) return TraceFail(L.polyType);
  if (polyType != 0 && PolyCoeff.Write(fp) != 0) return TraceFail(L.polyCoeff);
  const int solnType = SolnType;
  if (BF_fwrite_int(fp, &solnType, 1) != 0) return TraceFail(L.solnType);
  const int optType = KernOptType;
  if (BF_fwrite_int(fp, &optType, 1) != 0) return TraceFail(L.optType);
  return 0;
}

template <class T>
int Kriging<T>::GatherFile(FILE* fp, bool withVersion, ModelImage& img) {
  const RecordLines& L = withVersion ? kReadLines : kReadOldLines;
  /* A record that cannot be read is marked at its line; one of a shape the model cannot
   * hold ends the read without a mark. */
  auto done = [](int res, int line) -> bool {
    if (res == kRecordFailed) TraceFail(line);
    return res == kRecordOk;
  };

  if (withVersion && !done(SkipTextRecord(fp), L.version)) return 1;
  if (!done(ReadMatrixRecord(fp, img.X, [](int r, int c) { return r >= 1 && c >= 1; }),
            L.inp))
    return 1;
  const int m = RowsOf(img.X), n = ColsOf(img.X);
  if (!done(ReadMatrixRecord(fp, img.Y, [m](int r, int c) { return r == m && c >= 1; }),
            L.out))
    return 1;
  const int q = ColsOf(img.Y);

  if (!done(ReadIntRecord(fp, img.groups), L.groups)) return 1;
  if (img.groups < 1) return TraceFail(L.sizes); /* no size array can be read */
  if (img.groups > q) return 1;
  img.sizes.assign(static_cast<std::size_t>(img.groups), 0);
  if (BF_fread_int(fp, img.sizes.data(), img.groups) != 0) return TraceFail(L.sizes);

  if (!done(ReadIntRecord(fp, img.kernVarType), L.kernVarType)) return 1;
  if (img.kernVarType != KernOneForAll && img.kernVarType != KernPerInput) return 1;
  if (!done(ReadVectorRecord(fp, img.kern, KernCount(img.kernVarType, n)), L.kern)) return 1;

  if (!done(ReadIntRecord(fp, img.scalingType), L.scaling)) return 1;
  if (img.scalingType < 0 || img.scalingType > 3) return 1;
  if (ScalesInputs(img.scalingType)) {
    if (!done(ReadVectorRecord(fp, img.inpScale, n), L.inpScale)) return 1;
    if (!done(ReadVectorRecord(fp, img.inpIcpt, n), L.inpIcpt)) return 1;
  }
  if (ScalesOutputs(img.scalingType)) {
    if (!done(ReadVectorRecord(fp, img.outScale, q), L.outScale)) return 1;
    if (!done(ReadVectorRecord(fp, img.outIcpt, q), L.outIcpt)) return 1;
  }

  if (!done(ReadIntRecord(fp, img.corrFuncType), L.corrType)) return 1;
  if (!KnownCorrFunc(img.corrFuncType)) return 1;
  if (!done(ReadMatrixRecord(fp, img.corrCoeff,
                             [m, q](int r, int c) { return r == m && c == q; }),
            L.corrCoeff))
    return 1;

  if (!done(ReadIntRecord(fp, img.polynomType), L.polyType)) return 1;
  if (img.polynomType < 0 || img.polynomType > 4) return 1;
  if (img.polynomType != 0) {
    const int type = img.polynomType;
    if (!done(ReadMatrixRecord(fp, img.polyCoeff,
                               [type, n, q](int r, int c) {
                                 return c == q && TrendRowsFit(type, n, r);
                               }),
              L.polyCoeff))
      return 1;
  }

  if (!done(ReadIntRecord(fp, img.solnType), L.solnType)) return 1;
  if (!done(ReadIntRecord(fp, img.kernOptType), L.optType)) return 1;
  return 0;
}

template <class T>
int Kriging<T>::GatherCopy(Kriging& other, ModelImage& img, bool fromConstructor) {
  /* A failing getter is marked at the line of its caller: the constructor and Copy have
   * lines of their own, and Copy marks no failure of the sample getters (line 0). */
  auto failed = [fromConstructor](int res, int ctorLine, int copyLine) {
    const int line = fromConstructor ? ctorLine : copyLine;
    if (res != 0 && line != 0) fct_Trace("aff_lieu", line, "Kriging");
    return res != 0;
  };
  /* Only a solved model has coefficients that belong to its samples. */
  if (other.GetKrigingStatus() != KrigingSolved) return 1;

  int res = 0;
  if (failed(res = other.GetInpSampMtx(img.X), 57, 0)) return res;
  if (failed(res = other.GetOutSampMtx(img.Y), 62, 0)) return res;
  const int m = RowsOf(img.X), n = ColsOf(img.X), q = ColsOf(img.Y);
  if (RowsOf(img.Y) != m || m < 1 || n < 1 || q < 1) return 1;

  if (failed(res = other.GetNumGlobalSol(img.groups), 71, 203)) return res;
  int err = 0;
  std::unique_ptr<int[]> sizes(other.GetVecGlobalSol(err));
  if (failed(err != 0 || !sizes, 73, 205)) return err != 0 ? err : 1;
  if (img.groups < 1 || img.groups > q) return 1;
  img.sizes.assign(sizes.get(), sizes.get() + img.groups);

  E_KrigingKernVarType kernVarType = KernOneForAll;
  if (failed(res = other.GetKrigingKernVarType(kernVarType), 76, 208)) return res;
  img.kernVarType = kernVarType;
  if (failed(res = other.GetKernVec(img.kern), 77, 209)) return res;
  if (img.kernVarType != KernOneForAll && img.kernVarType != KernPerInput) return 1;
  if (img.kern.Dim() != KernCount(img.kernVarType, n)) return 1;

  img.scalingType = other.GetScalingType();
  if (ScalesInputs(img.scalingType)) {
    if (failed(res = other.GetInpScaleVec(img.inpScale), 98, 229)) return res;
    if (failed(res = other.GetInpInterceptVec(img.inpIcpt), 99, 230)) return res;
    if (img.inpScale.Dim() != n || img.inpIcpt.Dim() != n) return 1;
  }
  if (ScalesOutputs(img.scalingType)) {
    if (failed(res = other.GetOutScaleVec(img.outScale), 109, 239)) return res;
    if (failed(res = other.GetOutInterceptVec(img.outIcpt), 110, 240)) return res;
    if (img.outScale.Dim() != q || img.outIcpt.Dim() != q) return 1;
  }

  img.corrFuncType = other.GetCorrFuncType();
  if (failed(res = other.GetCorrCoeff(img.corrCoeff), 120, 249)) return res;
  if (RowsOf(img.corrCoeff) != m || ColsOf(img.corrCoeff) != q) return 1;

  img.polynomType = other.GetPolynomType();
  if (img.polynomType != 0) {
    if (failed(res = other.GetPolyCoeff(img.polyCoeff), 131, 259)) return res;
    if (ColsOf(img.polyCoeff) != q) return 1;
  }

  img.solnType = other.GetSolnType();
  img.kernOptType = other.GetKrigingKernOptType();
  return 0;
}

template <class T>
int Kriging<T>::CheckImage(ModelImage& img) {
  const int m = RowsOf(img.X), n = ColsOf(img.X), q = ColsOf(img.Y);
  if (m < 1 || n < 1 || q < 1 || RowsOf(img.Y) != m) return 1;

  const int g = img.groups;
  if (g < 1 || g > q || static_cast<int>(img.sizes.size()) != g) return 1;
  long long sum = 0;
  for (int s : img.sizes) {
    if (s < 0) return 1;
    sum += s;
  }
  if (sum != q) return 1;

  if (img.kernVarType != KernOneForAll && img.kernVarType != KernPerInput) return 1;
  if (img.kern.Dim() != KernCount(img.kernVarType, n)) return 1;

  if (img.scalingType < 0 || img.scalingType > 3) return 1;
  if (ScalesInputs(img.scalingType) && (img.inpScale.Dim() != n || img.inpIcpt.Dim() != n))
    return 1;
  if (ScalesOutputs(img.scalingType) && (img.outScale.Dim() != q || img.outIcpt.Dim() != q))
    return 1;

  if (!KnownCorrFunc(img.corrFuncType)) return 1;
  if (RowsOf(img.corrCoeff) != m || ColsOf(img.corrCoeff) != q) return 1;
  if (img.polynomType < 0 || img.polynomType > 4) return 1;
  if (img.polynomType != 0 && (ColsOf(img.polyCoeff) != q ||
                               !TrendRowsFit(img.polynomType, n, RowsOf(img.polyCoeff))))
    return 1;

  /* The output ranges of the new samples, ready to be installed with them. */
  if (OutputRangeTable(img.Y, q, img.rangeTable) != 0) return 1;
  GroupRangesOf(img.rangeTable, img.sizes.data(), g, img.groupRanges);
  return 0;
}

template <class T>
int Kriging<T>::InstallImage(ModelImage& img, bool asCopy) {
  const int m = RowsOf(img.X), n = ColsOf(img.X), q = ColsOf(img.Y);
  std::unique_ptr<int[]> sizes(new (std::nothrow) int[img.groups]);
  if (!sizes) return 1;
  std::copy(img.sizes.begin(), img.sizes.end(), sizes.get());

  /* The containers take their values first. Should one of them throw (allocation), the
   * model must not pass for a solved model of mixed data: it is left as an empty one. */
  try {
    InpSampMtx = img.X;
    OutSampMtx = img.Y;
    KernVec.Assign(img.kern);
    if (ScalesInputs(img.scalingType)) {
      InpScaleVec.Assign(img.inpScale);
      InpInterceptVec.Assign(img.inpIcpt);
    }
    if (ScalesOutputs(img.scalingType)) {
      OutScaleVec.Assign(img.outScale);
      OutInterceptVec.Assign(img.outIcpt);
    }
    CorrCoeff = img.corrCoeff;
    if (img.polynomType != 0) PolyCoeff = img.polyCoeff;
    else PolyCoeff.Resize(0, q);
    OutRangeMtx = img.rangeTable;
    GlobalRangeVec.Assign(img.groupRanges);
    WorkVec.Resize(n);
  } catch (...) {
    KrigingStatus = KrigingInitial;
    InpSampSet = false;
    OutSampSet = false;
    throw;
  }

  delete[] VecGlobalSol;
  VecGlobalSol = sizes.release();
  NumGlobalSol = img.groups;
  NumSamp = m;
  NumVar = n;
  NumSol = q;
  KernVarType = static_cast<E_KrigingKernVarType>(img.kernVarType);
  NumKern = KernCount(img.kernVarType, n);
  ScalingType = static_cast<E_KrigingScalingType>(img.scalingType);
  CorrFuncType = static_cast<E_CorrFuncType>(img.corrFuncType);
  PolynomType = static_cast<E_KrigingPolynomType>(img.polynomType);
  SolnType = static_cast<E_KrigingSolType>(img.solnType);
  KernOptType = static_cast<E_KrigingKernOptType>(img.kernOptType);
  InpSampSet = true;
  OutSampSet = true;
  KrigingStatus = KrigingSolved;
  KernToEstimate = false;
  SolveRequired = true;
  CorrStale = true;
  TrendStale = true;
  if (asCopy) {
    SolveCount = 0;
    Step = 1;
    KeepPredErr = false;
  }
  return 0;
}

template <class T>
int Kriging<T>::Read(FILE* fp) {
  ModelImage img;
  if (GatherFile(fp, true, img) != 0) return 1;
  if (CheckImage(img) != 0) return 1;
  return InstallImage(img, false);
}

template <class T>
int Kriging<T>::ReadOld(FILE* fp) {
  if (fp == nullptr) {
    /* The first record is a matrix: its reader refuses the null stream (code 12). */
    C_MatMGe<T> first(0, 0);
    first.Read(fp);
    return 1;
  }
  ModelImage img;
  if (GatherFile(fp, false, img) != 0) return 1;
  if (CheckImage(img) != 0) return 1;
  return InstallImage(img, false);
}

template <class T>
Kriging<T>::Kriging(Kriging& other, int& err) : Kriging() {
  ModelImage img;
  int res = GatherCopy(other, img, true);
  if (res == 0) res = CheckImage(img);
  if (res == 0) res = InstallImage(img, true);
  err = res;
}

template <class T>
int Kriging<T>::Copy(Kriging* other) {
  if (other == nullptr) return 1;
  ModelImage img;
  if (GatherCopy(*other, img, false) != 0) return 1;
  if (CheckImage(img) != 0) return 1;
  return InstallImage(img, true) != 0 ? 1 : 0;
}

template class Kriging<double>;
template class Kriging<std::complex<double>>;
