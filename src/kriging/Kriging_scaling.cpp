/* Kriging_scaling.cpp: data scaling of the Kriging model: per-column input scale factors and
 * intercepts, the common output factor, the scaling map and its inverse for outputs, and the
 * scaled copies of the samples that every build starts from. */
#include "Kriging.h"

#include <cmath>
#include <complex>

#include "kriging_refusal.h"
#include "kriging_util.h"

using namespace kriging_internal;

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
  /* Values near the largest or the smallest doubles are scaled by a power of two (exactly)
   * so that their sum and their deviations do not overflow; mean and spread are scaled back. */
  double big = 0.0;
  for (int i = 0; i < N; ++i) KeepMax(big, Mag(x[i]));
  const int e = SquaresExponent(big);
  VecT xs(0);
  if (e != 0) {
    xs.Resize(N);
    for (int i = 0; i < N; ++i) xs[i] = Scaled(x[i], e);
  }
  VecT& src = (e != 0) ? xs : x;
  const T mus = GetMean(src);
  double sigmas = 0.0;
  if (N > 1) {
    VecT d(N);
    const T* sp = src.Adr(0);
    T* dp = d.Adr(0);
    for (int i = 0; i < N; ++i) dp[i] = sp[i] - mus;
    sigmas = Nrm2(N, dp) / std::sqrt(static_cast<double>(N - 1));
  }
  const T mu = Scaled(mus, -e);
  if (!(sigmas > 0.0)) {
    /* A column without spread: shift it to zero, leave its unit alone. */
    scale = 1.0;
    icpt = -mu;
    return 0;
  }
  const double s = 1.0 / std::ldexp(sigmas, e);
  const T c = (-mu) * s;
  /* A spread below the smallest doubles has a factor no double holds: such a column is not
   * one without spread, and treating it as one would drop it from the model. */
  if (!std::isfinite(s) || !(s > 0.0) || !IsFinite(c)) return Refuse(kInputSpreadBeyondRange);
  scale = s;
  icpt = c;
  return 0;
}

template <class T>
int Kriging<T>::EvalInpScale(C_MatMGe<T>& X, VecD& scale, VecT& icpt) {
  const int C = ColsOf(X);
  if (scale.Dim() != C || icpt.Dim() != C) return Refuse(kScaleVectorsShape);
  for (int j = 0; j < C; ++j) {
    VecT col(0);
    X.LnkCol(j, col);
    double s = 1.0;
    T c = T(0.0);
    const int res = EvalColScale(col, s, c);
    if (res != 0) return res;
    scale[j] = s;
    icpt[j] = c;
  }
  return 0;
}

template <class T>
int Kriging<T>::EvalOutScale(C_MatMGe<T>& Y, VecD& scale, VecT& icpt) {
  const int C = ColsOf(Y);
  if (scale.Dim() != C || icpt.Dim() != C) return Refuse(kScaleVectorsShape);
  double a = 0.0;
  for (int j = 0; j < C; ++j) {
    VecT col(0);
    Y.LnkCol(j, col);
    /* A column holding a NaN makes the factor NaN rather than drop out of the maximum. The
     * scale is the modulus of the element the BLAS search ranks first (complex: by
     * |re| + |im|, not always the largest modulus), the choice every fitted model and its
     * file were made with. */
    double m = 0.0;
    if (!AllFinite(col)) {
      m = std::nan("");
    } else if (col.Dim() > 0) {
      m = std::abs(col[col.IMax(0, col.Dim() - 1)]);
    }
    KeepMax(a, m);
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
  if (scale.Dim() != C || icpt.Dim() != C) return Refuse(kScaleVectorsShape);
  if (&Xout == &X) {
    for (int j = 0; j < C; ++j) {
      T* x = ColPtr(X, j);
      for (int i = 0; i < N; ++i) x[i] = icpt[j] + scale[j] * x[i];
    }
    return 0;
  }
  if (Xout.Resize(N, C) != 0) return Refuse(kContainerFailed);
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
  if (scale.Dim() != q || icpt.Dim() != q) return Refuse(kScaleVectorsShape);
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
  if (type < 0 || type > 3) return Refuse(kScalingType);
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
    return Refuse(kContainerFailed);
  }
  if (outputs) {
    const int res = ApplyScaling(OutSampMtx, OutScaleVec, OutInterceptVec, Ys);
    if (res != 0) return res;
  } else if ((Ys = OutSampMtx) != 0) {
    return Refuse(kContainerFailed);
  }
  return 0;
}

/* Explicit instances of the members defined in this file, for both element types (the class
 * itself is instantiated in Kriging.cpp). */
#define KRIGING_SCALING_MEMBERS(T) \
  template int Kriging<T>::EvalScaling(C_MatMGe<T>& Xs, C_MatMGe<T>& Ys); \
  template int Kriging<T>::EvalInpScale(C_MatMGe<T>& X, VecD& scale, VecT& icpt); \
  template int Kriging<T>::EvalColScale(VecT& x, double& scale, T& icpt); \
  template int Kriging<T>::EvalOutScale(C_MatMGe<T>& Y, VecD& scale, VecT& icpt); \
  template int Kriging<T>::ApplyScaling(C_MatMGe<T>& X, VecD& scale, VecT& icpt, C_MatMGe<T>& Xout); \
  template int Kriging<T>::UnscaleOutput(C_MatMGe<T>& Y, VecD& scale, VecT& icpt); \
  template T Kriging<T>::GetMean(VecT& v);

KRIGING_SCALING_MEMBERS(double)
KRIGING_SCALING_MEMBERS(std::complex<double>)
