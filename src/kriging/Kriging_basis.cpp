/* Kriging_basis.cpp: the model mathematics of the Kriging model: the correlation of two points,
 * the correlation matrix of a point set (lower packed), the trend matrix with its automatic
 * choice of degree, and the column variances the first kernel is estimated from. */
#include "Kriging.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

#include "kriging_refusal.h"
#include "kriging_util.h"
#include "trend_rank.h"

using namespace kriging_internal;

/* ======================================================================================= */
/* Correlation, trend basis, variances                                                     */
/* ======================================================================================= */

namespace {

/* The first n values of v as one contiguous run: v's own storage, or a copy in buf for a
 * vector whose elements do not lie contiguously in memory. */
template <class T>
inline const T* Contiguous(C_Vec<T, int>& v, int n, std::vector<T>& buf) {
  const T* p = v.Adr(0);
  if (p != nullptr || n <= 0) return p;
  SizeTo(buf, static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) buf[k] = v.GetVal(k);
  return buf.data();
}

}  // namespace

template <class T>
int Kriging<T>::EvalCorrFunc(C_Vec<T, int>& a, C_Vec<T, int>& b, double& r) {
  const int n = NumVar;
  const bool shared = (NumKern == 1);
  const E_Refusal kernel = KernelRefusal(CorrFuncType, KernVec.Dim(), shared, n);
  if (kernel != kRefusalCount) return Refuse(kernel);
  if (n < 0 || a.Dim() < n || b.Dim() < n) return Refuse(kPointTooShort);
  std::vector<T> ca, cb;
  r = CorrValue<T>(CorrFuncType, Contiguous(a, n, ca), Contiguous(b, n, cb), n, KernVec.Adr(0),
                   shared);
  return 0;
}

template <class T>
int Kriging<T>::EvalCorrMtx(C_MatMGe<T>& X, C_MatMSym<double>& R) {
  if (KrigingStatus == KrigingInitial || KrigingStatus == KrigingDataIncomplete)
    return RefuseIncomplete();
  const int n = NumVar;
  const int N = RowsOf(X);
  const bool shared = (NumKern == 1);
  const E_Refusal kernel = KernelRefusal(CorrFuncType, KernVec.Dim(), shared, n);
  if (kernel != kRefusalCount) return Refuse(kernel);
  if (ColsOf(X) != n || N < 0) return Refuse(kPointsWidth);
  if (static_cast<long long>(N) * (N + 1) / 2 > INT_MAX) return Refuse(kTooManyPoints);
  /* A point that is not a number has no correlation with anything. */
  if (!AllFinite(X)) return Refuse(kPointsNotFinite);

  SetSymShape(R, N, 1);
  if (N == 0) return 0;

  /* Column j of the packed matrix holds the correlations of points j .. N-1 with point j. */
  const double* theta = KernVec.Adr(0);
  double* ap = R.Adr();
  const int type = CorrFuncType;
  std::vector<T> pj = SizedBuffer<std::vector<T>>(static_cast<std::size_t>(n)), point;
  if (n == 0) {
    std::fill(ap, ap + static_cast<std::size_t>(N) * (N + 1) / 2, 1.0);
    return 0;
  }
  const std::ptrdiff_t ld = X.Ld();
  for (int j = 0; j < N; ++j) {
    for (int k = 0; k < n; ++k) pj[k] = ColPtr(X, k)[j];
    CorrColumn<T>(type, X.Adr() + j, ld, N - j, pj.data(), n, theta, shared,
                  ap + LowerPacked(j, j, N), point);
  }
  return 0;
}

template <class T>
int Kriging<T>::EvalQuadPolynomMtx(C_MatMGe<T>& X, int& terms, C_MatMGe<T>& F, int start) {
  const int N = RowsOf(X);
  const int n = NumVar;
  if (N <= 0) return Refuse(kNoPoints);
  if (ColsOf(X) != n) return Refuse(kPointsWidth);
  /* Only the rows to be filled are read. */
  if (!AllFinite(X, start)) return Refuse(kPointsNotFinite);

  /* Fills rows first .. N-1 of the P columns of type t. */
  auto fill = [&](int t, int P) {
    F.ResizeKeep(N, P);
    const int first = std::max(start, 0);
    std::vector<T*> fc = SizedBuffer<std::vector<T*>>(static_cast<std::size_t>(P));
    for (int c = 0; c < P; ++c) fc[c] = ColPtr(F, c);
    std::vector<const T*> xc = SizedBuffer<std::vector<const T*>>(static_cast<std::size_t>(n));
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
    if (type < 0) return Refuse(kTermCount);
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
    if (t < 0 || t > 4) return Refuse(kPolynomType);
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
    TrendRankTest<T> rank;
    const bool fullRank = N >= P && rank.FullRank(N, P, ColPtr(F, 0), F.Ld());
    if (fullRank) {
      /* The degree is the model's to keep only while it is being fitted (a fit runs in state
       * 1): asked of a solved model for other points, the choice must not change the type its
       * coefficients were fitted with, or its file and its copies would contradict them. */
      if (KrigingStatus != KrigingSolved) PolynomType = static_cast<E_KrigingPolynomType>(t);
      return 0;
    }
    --t;
  }
}

template <class T>
int Kriging<T>::DiagOfCovarMtx(C_MatMGe<T>& X, VecD& var) {
  const int N = RowsOf(X), C = ColsOf(X);
  if (N < C) return Refuse(kFewPoints);
  if (!AllFinite(X)) return Refuse(kPointsNotFinite);
  /* Made aside: var is written only when every column has a variance a double holds. */
  VecD out(C);
  for (int j = 0; j < C; ++j) {
    VecT col(0);
    X.LnkCol(j, col);
    if (N <= 1) {
      out[j] = 0.0; /* one value has no spread */
      continue;
    }
    /* Values near the largest or the smallest doubles are scaled by a power of two (exactly),
     * so that the mean and the squares do not overflow, and the variance scaled back. */
    double big = 0.0;
    for (int i = 0; i < N; ++i) KeepMax(big, Mag(col[i]));
    const int e = SquaresExponent(big);
    VecT xs(0);
    if (e != 0) {
      xs.Resize(N);
      for (int i = 0; i < N; ++i) xs[i] = Scaled(col[i], e);
    }
    VecT& src = (e != 0) ? xs : col;
    const T mu = GetMean(src);
    /* Two passes: deviations from the mean, so large offsets do not cancel. */
    const T* x = src.Adr(0);
    double s = 0.0;
    for (int i = 0; i < N; ++i) s += SqMag(x[i] - mu);
    const double v = std::ldexp(s / static_cast<double>(N - 1), 2 * e);
    if (!std::isfinite(v)) return Refuse(kVarianceBeyondRange);
    out[j] = v;
  }
  var.Assign(out);
  return 0;
}

/* Explicit instances of the members defined in this file, for both element types (the class
 * itself is instantiated in Kriging.cpp). */
#define KRIGING_BASIS_MEMBERS(T) \
  template int Kriging<T>::EvalCorrMtx(C_MatMGe<T>& X, C_MatMSym<double>& R); \
  template int Kriging<T>::EvalQuadPolynomMtx(C_MatMGe<T>& X, int& terms, C_MatMGe<T>& F, int start); \
  template int Kriging<T>::DiagOfCovarMtx(C_MatMGe<T>& X, VecD& var); \
  template int Kriging<T>::EvalCorrFunc(C_Vec<T, int>& a, C_Vec<T, int>& b, double& r);

KRIGING_BASIS_MEMBERS(double)
KRIGING_BASIS_MEMBERS(std::complex<double>)
