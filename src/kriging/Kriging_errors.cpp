/* Kriging_errors.cpp: error measures of the Kriging model: relative predictor errors scaled by
 * the output ranges, absolute and relative errors of predictions against reference values,
 * checks at given points and R^2. */
#include "Kriging.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

#include "kriging_refusal.h"
#include "kriging_util.h"

using namespace kriging_internal;

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
  if (RowsOf(Err) != N || ColsOf(Y) != q || ColsOf(Err) != q) return Refuse(kErrorShapes);
  /* The group sizes and ranges must be there to be read, the ranges made for these groups
   * (the groups may have changed since the outputs were given), each a double. */
  if (g < 0 || (g > 0 && (VecGlobalSol == nullptr || GlobalRangeVec.Dim() != g)))
    return Refuse(kNoGroupRanges);
  for (int k = 0; k < g; ++k)
    if (std::isinf(GlobalRangeVec[k])) return Refuse(kOutputRangeBeyondRange);
  /* A value or an error that is not a number has no relative size: refused rather than left
   * out of the maxima taken from the result. */
  if (!AllFinite(Y) || !AllFinite(Err)) return Refuse(kValuesNotFinite);

  C_MatMGe<double> out(N, g);
  VecD threshold(g);
  std::vector<double> fallback = SizedBuffer<std::vector<double>>(static_cast<std::size_t>(g));
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
      /* Norms over the group's outputs, safe for values and errors near the largest or the
       * smallest doubles. */
      const int count = std::max(0, last - first);
      const double f = NormOf(
          count,
          [&](int t) {
            const double e = ColPtr(Err, first + t)[i];
            return e * e;
          },
          [&](int t) { return std::fabs(ColPtr(Err, first + t)[i]); });
      const double v = NormOf(
          count, [&](int t) { return SqMag(ColPtr(Y, first + t)[i]); },
          [&](int t) { return Mag(ColPtr(Y, first + t)[i]); });
      rk[i] = RelativeTo(f, v, threshold[k], fallback[k]);
    }
    if (size > 0) first += size;
  }
  /* A ratio beyond the largest double has no value to report. */
  if (!AllFinite(out)) return Refuse(kRelativeErrorBeyondRange);
  return (R = out) != 0 ? Refuse(kContainerFailed) : 0;
}

template <class T>
int Kriging<T>::GetRelativePredictorError(C_MatMGe<T>& Y, C_MatMGe<double>& Err,
                                          C_MatMGe<double>& R) {
  const int N = RowsOf(Y), q = NumSol;
  if (RowsOf(Err) != N || ColsOf(Y) != q || ColsOf(Err) != q) return Refuse(kErrorShapes);
  if (q > 0 && (RowsOf(OutRangeMtx) < q || ColsOf(OutRangeMtx) < 3))
    return Refuse(kRangeTableShape);
  if (!AllFinite(Y) || !AllFinite(Err)) return Refuse(kValuesNotFinite);

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
  if (!AllFinite(out)) return Refuse(kRelativeErrorBeyondRange);
  return (R = out) != 0 ? Refuse(kContainerFailed) : 0;
}

namespace {

/* D := |Y1 - Y2| entry by entry; 0, or the refusal (D untouched) when the shapes differ or a
 * value is not a number (whose difference would be left out of every maximum taken). */
template <class T>
int AbsDifference(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, C_MatMGe<double>& D) {
  const int N = RowsOf(Y1), q = ColsOf(Y1);
  if (RowsOf(Y2) != N || ColsOf(Y2) != q) return Refuse(kValueShapes);
  if (!AllFinite(Y1) || !AllFinite(Y2)) return Refuse(kValuesNotFinite);
  D.Resize(N, q);
  for (int j = 0; j < q; ++j) {
    const T* a = ColPtr(Y1, j);
    const T* b = ColPtr(Y2, j);
    double* d = ColPtr(D, j);
    for (int i = 0; i < N; ++i) d[i] = Mag(a[i] - b[i]);
  }
  /* Two finite values of opposite signs near the largest double differ by more than any
   * double holds. */
  if (!AllFinite(D)) return Refuse(kDifferenceBeyondRange);
  return 0;
}

typedef C_VecPi<double, int, C_PtrInCore<double, int>> RealVec;

/* Why a model in the given state, with its sample sets given or not, has no errors to
 * measure: not solved, or solved but a count or the groups changed since (the samples must
 * be given again; Write refuses such a model too). kRefusalCount when it has. */
inline E_Refusal MeasureRefusal(int status, bool inputsSet, bool outputsSet) {
  if (status != KrigingSolved) return kNotSolved;
  if (!inputsSet || !outputsSet) return kCountsChanged;
  return kRefusalCount;
}

/* The error measures come in three forms: a matrix, its column maxima and the largest of
 * those. Each reduced form asks for the next fuller one through measure, the model's own
 * (virtual) operation, so that a derived model's measure serves all three. */

/* v := the largest entry of each column of the matrix that measure fills, at least 0 (a NaN
 * makes its column's maximum NaN); 1, v untouched, when measure fails. */
template <class Measure>
int ColumnMaxOf(Measure measure, RealVec& v) {
  C_MatMGe<double> M(0, 0);
  if (measure(M) != 0) return 1;
  const int rows = RowsOf(M), cols = ColsOf(M);
  v.Resize(cols);
  for (int j = 0; j < cols; ++j) {
    const double* c = ColPtr(M, j);
    double best = 0.0;
    for (int i = 0; i < rows; ++i) KeepMax(best, c[i]);
    v[j] = best;
  }
  return 0;
}

/* x := the largest entry of the vector that measure fills, at least 0 (NaN when one is NaN);
 * 1, x untouched, when measure fails. */
template <class Measure>
int LargestOf(Measure measure, double& x) {
  RealVec v(0);
  if (measure(v) != 0) return 1;
  double best = 0.0;
  for (int i = 0; i < v.Dim(); ++i) KeepMax(best, v[i]);
  x = best;
  return 0;
}

}  // namespace

template <class T>
int Kriging<T>::GetError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, C_MatMGe<double>& E) {
  const E_Refusal state = MeasureRefusal(KrigingStatus, InpSampSet, OutSampSet);
  if (state != kRefusalCount) return Refuse(state);
  /* Built aside: E may be one of the inputs. */
  C_MatMGe<double> D(0, 0);
  if (AbsDifference(Y1, Y2, D) != 0) return 1;
  return (E = D) != 0 ? Refuse(kContainerFailed) : 0;
}

template <class T>
int Kriging<T>::GetError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, VecD& e) {
  return ColumnMaxOf([&](C_MatMGe<double>& E) { return this->GetError(Y1, Y2, E); }, e);
}

template <class T>
int Kriging<T>::GetError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, double& e) {
  return LargestOf([&](VecD& v) { return this->GetError(Y1, Y2, v); }, e);
}

template <class T>
int Kriging<T>::GetRelativeError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, C_MatMGe<double>& R) {
  const E_Refusal state = MeasureRefusal(KrigingStatus, InpSampSet, OutSampSet);
  if (state != kRefusalCount) return Refuse(state);
  C_MatMGe<double> D(0, 0);
  if (AbsDifference(Y1, Y2, D) != 0) return 1;
  return this->GetRelativePredictorErrorNorm(Y1, D, R) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::GetRelativeError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, VecD& r) {
  return ColumnMaxOf([&](C_MatMGe<double>& R) { return this->GetRelativeError(Y1, Y2, R); }, r);
}

template <class T>
int Kriging<T>::GetRelativeError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, double& r) {
  return LargestOf([&](VecD& v) { return this->GetRelativeError(Y1, Y2, v); }, r);
}

template <class T>
int Kriging<T>::PredictAtSamples(C_MatMGe<T>& Yref, C_MatMGe<T>& Ypred) {
  /* Samples that are no longer given (a count or the groups changed) are not measured. */
  if (!InpSampSet || !OutSampSet)
    return KrigingStatus == KrigingSolved ? Refuse(kCountsChanged) : RefuseIncomplete();
  C_MatMGe<T> X(0, 0);
  X = InpSampMtx;
  Yref = OutSampMtx;
  return this->EvalModel(X, Ypred) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::GetRelativeError(double& r) {
  r = 1.0;
  C_MatMGe<T> Yref(0, 0), Ypred(0, 0);
  if (PredictAtSamples(Yref, Ypred) != 0) return 1;
  return this->GetRelativeError(Yref, Ypred, r) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::PredictForCheck(C_MatMGe<T>& X, C_MatMGe<T>& Y, int k, C_MatMGe<T>& Ypred,
                                double& maxPredErr) {
  const E_Refusal state = MeasureRefusal(KrigingStatus, InpSampSet, OutSampSet);
  if (state != kRefusalCount) return Refuse(state);
  if (RowsOf(X) != RowsOf(Y) || ColsOf(X) != NumVar || ColsOf(Y) != NumSol)
    return Refuse(kCheckShapes);
  /* Checked before the evaluation writes maxPredErr. */
  if (!AllFinite(X)) return Refuse(kPointsNotFinite);
  if (!AllFinite(Y)) return Refuse(kValuesNotFinite);
  C_MatMGe<T> sel(0, 0);
  return this->EvalModel(X, Ypred, k, sel, maxPredErr, false) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::CheckError(C_MatMGe<T>& X, C_MatMGe<T>& Y, double& err) {
  C_MatMGe<T> Ypred(0, 0);
  double unused = 0.0;
  if (PredictForCheck(X, Y, 0, Ypred, unused) != 0) return 1;
  return this->GetError(Y, Ypred, err) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::CheckRelativeError(C_MatMGe<T>& X, C_MatMGe<T>& Y, double& relErr,
                                   double& maxPredErr) {
  C_MatMGe<T> Ypred(0, 0);
  /* One refinement point: the branch leaves the largest relative predictor error over the
   * rows that are not sample inputs. */
  if (PredictForCheck(X, Y, 1, Ypred, maxPredErr) != 0) return 1;
  return this->GetRelativeError(Y, Ypred, relErr) != 0 ? 1 : 0;
}

template <class T>
int Kriging<T>::getR2(VecT& a, VecT& b, double& r2) {
  r2 = 0.0;
  const int N = a.Dim();
  if (b.Dim() != N) return Refuse(kValueLengths);
  if (!AllFinite(a) || !AllFinite(b)) return Refuse(kValuesNotFinite);
  if (N == 0) return Refuse(kNoValues);
  /* R^2 does not change when every value is scaled alike: values near the largest or the
   * smallest doubles are scaled by a power of two (exactly) so that the sums neither overflow
   * nor vanish. */
  double big = 0.0;
  for (int i = 0; i < N; ++i) {
    KeepMax(big, Mag(a[i]));
    KeepMax(big, Mag(b[i]));
  }
  const int e = SquaresExponent(big);
  T sum = T(0.0);
  for (int i = 0; i < N; ++i) sum += Scaled(a[i], e);
  const T mean = sum / static_cast<double>(N);
  double sse = 0.0, sst = 0.0;
  for (int i = 0; i < N; ++i) {
    const T bi = Scaled(b[i], e);
    sse += SqMag(bi - Scaled(a[i], e));
    sst += SqMag(bi - mean);
  }
  /* Without spread of b around the mean of a the ratio has no value. */
  if (!(sst > 0.0)) return Refuse(kNoSpread);
  const double value = 1.0 - sse / sst;
  if (!std::isfinite(value)) return Refuse(kR2BeyondRange);
  r2 = value;
  return 0;
}

template <class T>
int Kriging<T>::getR2(C_MatMGe<T>& A, C_MatMGe<T>& B, double& r2) {
  r2 = 0.0;
  const int cols = ColsOf(A);
  if (RowsOf(B) != RowsOf(A) || ColsOf(B) != cols) return Refuse(kValueShapes);
  if (!AllFinite(A) || !AllFinite(B)) return Refuse(kValuesNotFinite);
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
  C_MatMGe<T> Yref(0, 0), Ypred(0, 0);
  if (PredictAtSamples(Yref, Ypred) != 0) return 1;
  return this->getR2(Yref, Ypred, r2) != 0 ? 1 : 0;
}

/* Explicit instances of the members defined in this file, for both element types (the class
 * itself is instantiated in Kriging.cpp). */
#define KRIGING_ERRORS_MEMBERS(T) \
  template int Kriging<T>::GetRelativeError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, C_MatMGe<double>& R); \
  template int Kriging<T>::GetRelativeError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, VecD& r); \
  template int Kriging<T>::GetRelativeError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, double& r); \
  template int Kriging<T>::GetRelativeError(double& r); \
  template int Kriging<T>::GetError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, C_MatMGe<double>& E); \
  template int Kriging<T>::GetError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, VecD& e); \
  template int Kriging<T>::GetError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, double& e); \
  template int Kriging<T>::PredictAtSamples(C_MatMGe<T>& Yref, C_MatMGe<T>& Ypred); \
  template int Kriging<T>::PredictForCheck(C_MatMGe<T>& X, C_MatMGe<T>& Y, int k, C_MatMGe<T>& Ypred, double& maxPredErr); \
  template int Kriging<T>::CheckRelativeError(C_MatMGe<T>& X, C_MatMGe<T>& Y, double& relErr, double& maxPredErr); \
  template int Kriging<T>::CheckError(C_MatMGe<T>& X, C_MatMGe<T>& Y, double& err); \
  template int Kriging<T>::getR2(VecT& a, VecT& b, double& r2); \
  template int Kriging<T>::getR2(C_MatMGe<T>& A, C_MatMGe<T>& B, double& r2); \
  template int Kriging<T>::getR2(double& r2); \
  template int Kriging<T>::GetRelativePredictorErrorNorm(C_MatMGe<T>& Y, C_MatMGe<double>& Err, C_MatMGe<double>& R); \
  template int Kriging<T>::GetRelativePredictorError(C_MatMGe<T>& Y, C_MatMGe<double>& Err, C_MatMGe<double>& R);

KRIGING_ERRORS_MEMBERS(double)
KRIGING_ERRORS_MEMBERS(std::complex<double>)
