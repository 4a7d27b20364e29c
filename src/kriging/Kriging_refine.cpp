/* Kriging_refine.cpp: refinement of the Kriging model: test inputs, the check of candidate points
 * against the samples, the selection of the points of largest relative predictor error, and the
 * refinement step that appends accepted points and solves again. */
#include "Kriging.h"

#include <algorithm>
#include <complex>
#include <cstddef>
#include <memory>
#include <cmath>
#include <vector>

#include "kriging_refusal.h"
#include "kriging_util.h"

using namespace kriging_internal;

/* ======================================================================================= */
/* Refinement points and test inputs                                                       */
/* ======================================================================================= */

namespace {

/* Number of sample rows whose first n coordinates can be read (none when the stored inputs
 * are narrower than the model's input count). */
template <class T>
inline int UsableSamples(C_MatMGe<T>& S, bool set, int n) {
  /* Inputs that InitKriging or a new count let go of are no samples any more, though the
   * container still holds them. */
  return (set && n >= 0 && ColsOf(S) >= n) ? RowsOf(S) : 0;
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

/* Whether the points a and b (n values each) lie farther apart than dmin (>= 0), using w for
 * their differences. Distances, not their squares, are compared: the squares of distances
 * above about 1e154 overflow, and a distance beyond the largest double (coordinates of
 * opposite signs near it) is farther than any dmin. */
template <class T>
inline bool FartherThan(const T* a, const T* b, int n, double dmin, T* w) {
  for (int k = 0; k < n; ++k) {
    w[k] = a[k] - b[k];
    if (!IsFinite(w[k])) return true;
  }
  const double d = (n > 0) ? Nrm2(n, w) : 0.0;
  return d > dmin;
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
  if (RowsOf(Tm) <= 0 || ColsOf(Tm) != NumVar) return Refuse(kTestInputsShape);
  if (!AllFinite(Tm)) return Refuse(kPointsNotFinite);
  /* The caches go stale and the inputs unset first: a copy interrupted by an exception must
   * not leave a mix of old and new test inputs looking valid. */
  InpTestSet = false;
  CorrStale = true;
  TrendStale = true;
  const int res = (InpTestMtx = Tm);
  if (res != 0) return res;
  InpTestSet = true;
  return 0;
}

template <class T>
bool Kriging<T>::IsInputPoint(C_MatMGe<T>& X, int row) {
  const int n = NumVar;
  if (n < 0 || row < 0 || row >= RowsOf(X) || ColsOf(X) < n) return false;
  const int ms = UsableSamples(InpSampMtx, InpSampSet, n);
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
  if (n < 0 || cols < n) return Refuse(kCandidatesWidth);
  /* A candidate that is not a number, or a distance that is not one, would drop candidates
   * silently: refused before anything is written or allocated. */
  if (!AllFinite(cand)) return Refuse(kPointsNotFinite);
  if (!std::isfinite(dmin)) return Refuse(kMinDistance);
  /* A list made here is handed over only with the result: an exception leaves none behind. */
  std::unique_ptr<int[]> made;
  if (index == nullptr) {
    made.reset(new (std::nothrow) int[rows > 0 ? rows : 1]);
    if (!made) KVELO_THROW(1001);
  }
  int* const list = made ? made.get() : index;
  const double d = std::fabs(dmin);
  const int ms = UsableSamples(InpSampMtx, InpSampSet, n);

  VecT a(n), b(n);
  if (WorkVec.Dim() < n) WorkVec.Resize(n);
  T* w = (n > 0) ? WorkVec.Adr(0) : nullptr;
  const T* pa = (n > 0) ? a.Adr(0) : nullptr;
  const T* pb = (n > 0) ? b.Adr(0) : nullptr;
  std::vector<int> accepted = SizedBuffer<std::vector<int>>(static_cast<std::size_t>(rows));
  int count = 0;
  for (int j = 0; j < rows; ++j) {
    LoadRow(cand, j, n, a);
    bool drop = false;
    for (int s = 0; s < ms && !drop; ++s) {
      LoadRow(InpSampMtx, s, n, b);
      if (!FartherThan(pa, pb, n, d, w)) drop = true;
    }
    for (int t = 0; t < count && !drop; ++t) {
      LoadRow(cand, accepted[t], n, b);
      if (!FartherThan(pa, pb, n, d, w)) drop = true;
    }
    if (drop) continue;
    list[count] = j;
    accepted[static_cast<std::size_t>(count++)] = j;
  }

  /* Built aside: kept may be cand itself. */
  C_MatMGe<T> out = RowsAt(cand, accepted.data(), count, cols);
  const int res = (kept = out) != 0 ? Refuse(kContainerFailed) : 0;
  if (made) index = made.release();
  return res;
}

template <class T>
int Kriging<T>::SelectMaxErrPoints(C_MatMGe<T>& P, VecD& vals, int& k, int* index, VecD& out) {
  const int N = RowsOf(P);
  if (vals.Dim() != N) return Refuse(kSelectionShape);
  /* A value that is not a number cannot be ranked: it would be passed over unseen. */
  if (!AllFinite(vals)) return Refuse(kValuesNotFinite);
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
  /* The steps called here name their own refusals. */
  C_MatMGe<double> Err(0, 0), Er(0, 0);
  if (this->GetPredictorError(R, F, Err) != 0) return 1;
  if (KeepPredErr && (PredErrMtx = Err) != 0) return Refuse(kContainerFailed);
  if (this->GetRelativePredictorErrorNorm(Y, Err, Er) != 0) return 1;
  if (GetRowMax(Er, TestRelErrVec) != 0) return 1;

  /* No more points than were evaluated can be named: the index list needs no more room. */
  const int N = RowsOf(P), n = NumVar;
  int want = std::min(k, N);
  std::vector<int> index =
      SizedBuffer<std::vector<int>>(static_cast<std::size_t>(want > 0 ? want : 1));
  VecD vals(0);
  const int res = SelectMaxErrPoints(P, TestRelErrVec, want, index.data(), vals);
  if (res != 0) return res;
  k = want;
  if (want <= 0) {
    maxErr = 0.0;
    return 0;
  }
  maxErr = vals[0];
  /* Built aside: Xsel may be the caller's point matrix. */
  C_MatMGe<T> sel = RowsAt(P, index.data(), want, n);
  return (Xsel = sel) != 0 ? Refuse(kContainerFailed) : 0;
}

template <class T>
int Kriging<T>::Solve(C_MatMGe<T>& Xcand, C_MatMGe<T>& Ycand, double& maxRelErr,
                      double& maxAbsErr, int& numNew, C_MatMGe<T>& Xnew, int& numSamp,
                      C_MatMGe<T>& Xall, double dmin) {
  const int q = NumSol;
  if (ColsOf(Ycand) != q) return Refuse(kCandidateOutputsWidth);
  /* Points or outputs that are not numbers are refused before anything is written. */
  if (!AllFinite(Xcand)) return Refuse(kPointsNotFinite);
  if (!AllFinite(Ycand)) return Refuse(kValuesNotFinite);
  const int candRows = RowsOf(Xcand);

  /* The accepted candidates are made aside: a pairing that fails is refused before numNew,
   * Xnew or anything else of the caller's is written. */
  C_MatMGe<T> accepted(0, 0);
  int* rawIndex = nullptr;
  const int res = this->CheckNewPoints(Xcand, accepted, rawIndex, dmin);
  std::unique_ptr<int[]> index(rawIndex);
  if (res != 0) return 1;
  const int count = RowsOf(accepted);
  if (count == 0) {
    if ((Xnew = accepted) != 0) return Refuse(kContainerFailed);
    numNew = 0;
    return 0;
  }

  /* Each accepted candidate takes its own outputs: Ycand lists either every candidate or
   * only the accepted ones, in their order. */
  const int rowsY = RowsOf(Ycand);
  const bool perCandidate = (rowsY == candRows);
  if (!perCandidate && rowsY != count) return Refuse(kCandidateOutputsRows);
  C_MatMGe<T> Ynew(count, q);
  for (int i = 0; i < count; ++i) {
    const int src = perCandidate ? index[i] : i;
    if (src < 0 || src >= rowsY) return Refuse(kCandidateOutputsRows);
    for (int c = 0; c < q; ++c) ColPtr(Ynew, c)[i] = ColPtr(Ycand, c)[src];
  }
  if ((Xnew = accepted) != 0) return Refuse(kContainerFailed);
  numNew = count;

  /* The append, the solve and the errors name their own refusals. */
  if (this->AppendSampData(accepted, Ynew) != 0) return 1;
  if (this->Solve() != 0) return 1;
  int samples = 0;
  if (this->GetPredictorError(InpSampMtx, maxAbsErr, maxRelErr, samples) != 0) return 1;
  numSamp = NumSamp;
  return (Xall = InpSampMtx) != 0 ? Refuse(kContainerFailed) : 0;
}

/* Explicit instances of the members defined in this file, for both element types (the class
 * itself is instantiated in Kriging.cpp). */
#define KRIGING_REFINE_MEMBERS(T) \
  template int Kriging<T>::Solve(C_MatMGe<T>& Xcand, C_MatMGe<T>& Ycand, double& maxRelErr, double& maxAbsErr, int& numNew, C_MatMGe<T>& Xnew, int& numSamp, C_MatMGe<T>& Xall, double dmin); \
  template int Kriging<T>::CheckNewPoints(C_MatMGe<T>& cand, C_MatMGe<T>& kept, int*& index, double dmin); \
  template int Kriging<T>::PutInpTestMtx(C_MatMGe<T>& Tm); \
  template bool Kriging<T>::IsInputPoint(C_MatMGe<T>& X, int row); \
  template int Kriging<T>::EvalRefinement(C_MatMGe<T>& P, C_MatMGe<T>& Y, C_MatMGe<double>& R, C_MatMGe<T>& F, int& k, C_MatMGe<T>& Xsel, double& maxErr); \
  template int Kriging<T>::SelectMaxErrPoints(C_MatMGe<T>& P, VecD& vals, int& k, int* index, VecD& out);

KRIGING_REFINE_MEMBERS(double)
KRIGING_REFINE_MEMBERS(std::complex<double>)
