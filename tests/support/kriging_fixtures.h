/* kriging_fixtures.h: shared helpers of the Kriging tests: a probe that opens the model's
 * internal members and steps to a test, matrix builders, and independent reference
 * formulas (correlation functions, regularisation) to check the model against. */
#ifndef KVELO_TESTS_KRIGING_FIXTURES_H
#define KVELO_TESTS_KRIGING_FIXTURES_H

#include <algorithm>
#include <cmath>
#include <complex>
#include <initializer_list>
#include <utility>
#include <vector>

#include "Kriging.h"

typedef std::complex<double> cplx;
typedef C_VecPi<double, int, C_PtrInCore<double, int>> RVec;
typedef C_VecPi<cplx, int, C_PtrInCore<cplx, int>> CVec;

/* Kriging<T> with its internal members and steps opened to the tests. */
template <class T>
class KrigingProbe : public Kriging<T> {
 public:
  typedef Kriging<T> B;
  using B::ApplyScaling;
  using B::BuildModel;
  using B::CheckSampData;
  using B::CopySymMtx;
  using B::CorrCoeff;
  using B::CorrMtx;
  using B::CorrStale;
  using B::DetTerm;
  using B::EvalColScale;
  using B::EvalCorrFunc;
  using B::EvalDetTerm;
  using B::EvalInpScale;
  using B::EvalOutScale;
  using B::EvalScaling;
  using B::FitModel;
  using B::FtReady;
  using B::FtTMtx;
  using B::GetMean;
  using B::InpSampMtx;
  using B::InpSampSet;
  using B::KernLoFactor;
  using B::KernToEstimate;
  using B::KernUpFactor;
  using B::KernVec;
  using B::KrigingStatus;
  using B::MLE;
  using B::MultTriPacked;
  using B::NewSamples;
  using B::NuggetEps;
  using B::NumKern;
  using B::OutRangeMtx;
  using B::OutSampMtx;
  using B::OutSampSet;
  using B::PointToler;
  using B::PolyCoeff;
  using B::ProcVarnc;
  using B::RegularizeCorrMtx;
  using B::RescaleRequested;
  using B::ShiftStepVec;
  using B::SolveCount;
  using B::SolveRequired;
  using B::Step;
  using B::TrendFactor;
  using B::TrendStale;
  using B::UnscaleOutput;
  using B::WorkVec;
  using B::GlobalRangeVec;
  using B::InpScaleVec;
  using B::InpInterceptVec;
  using B::OutScaleVec;
  using B::OutInterceptVec;
  using B::KeepPredErr;
  using B::PredErrMtx;
  using B::InpTestMtx;
  using B::InpTestSet;
  using B::TestCorrMtx;
  using B::TestTrendMtx;
  using B::SolveOptKern;
  using B::OptimizeKern;
  using B::OptKernStart;
  using B::OptKernExplore;
  using B::OptKernMove;
  using B::OptKernTrial;
  using B::RefitAtStoredKernel;
  using B::GetSqrDist;
  using B::GetMaxAbs;
  using B::GetRowMax;
  using B::MLEVec;
  using B::NumGlobalSol;
  using B::VecGlobalSol;
  using B::CorrFuncType;
  using B::NumSamp;
  using B::NumVar;
  using B::NumSol;
  using B::ScalingType;
  using B::PolynomType;
  using B::KernVarType;
  using B::KernOptType;
  using B::SolnType;
  using B::DropToler;
  using B::TestRelErrVec;
  using B::SelectMaxErrPoints;
  using B::EvalRefinement;

  /* Test inputs stored directly, without the checks of PutInpTestMtx. */
  void SetTestInputs(C_MatMGe<T>& Tm) {
    this->InpTestMtx = Tm;
    this->InpTestSet = true;
    this->CorrStale = true;
    this->TrendStale = true;
  }
};

/* rows x cols matrix from values given row by row. */
template <class T>
C_MatMGe<T> MakeMat(int rows, int cols, std::initializer_list<T> rowMajor) {
  C_MatMGe<T> m(rows, cols);
  auto it = rowMajor.begin();
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) m.SetVal(i, j, *it++);
  return m;
}

/* Copies a real matrix into a complex one (imaginary parts 0). */
C_MatMGe<cplx> ToComplex(C_MatMGe<double>& a);

/* rows x cols matrix of uniform values in [lo, hi) drawn from a fixed seed. */
C_MatMGe<double> RandomMat(int rows, int cols, unsigned seed, double lo = 0.0, double hi = 1.0);

/* Correlation of two points by the textbook formulas (theta one value or one per input). */
double RefCorr(int type, const std::vector<double>& d, const std::vector<double>& theta);

/* m x n sample inputs from a fixed seed: uniform in [0, 1) for double; for complex values
 * the same real parts with imaginary parts uniform in [0, 0.5). */
template <class T>
C_MatMGe<T> SampleInputs(int m, int n, unsigned seed);
template <>
inline C_MatMGe<double> SampleInputs<double>(int m, int n, unsigned seed) {
  return RandomMat(m, n, seed);
}
template <>
inline C_MatMGe<cplx> SampleInputs<cplx>(int m, int n, unsigned seed) {
  C_MatMGe<double> re = RandomMat(m, n, seed), im = RandomMat(m, n, seed + 7919u, 0.0, 0.5);
  C_MatMGe<cplx> X(m, n);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) X.SetVal(i, j, cplx(re.GetVal(i, j), im.GetVal(i, j)));
  return X;
}

/* q smooth outputs of the rows of X: output k is sum_j sin((k + 1) x_j) + (k + 2) x_0 x_last. */
template <class T>
C_MatMGe<T> SmoothOutputs(C_MatMGe<T>& X, int q) {
  C_MatMGe<T> Y(X.rows, q);
  for (int i = 0; i < X.rows; ++i)
    for (int k = 0; k < q; ++k) {
      T y(0.0);
      for (int j = 0; j < X.cols; ++j) y += std::sin(static_cast<double>(k + 1) * X.GetVal(i, j));
      y += static_cast<double>(k + 2) * X.GetVal(i, 0) * X.GetVal(i, X.cols - 1);
      Y.SetVal(i, k, y);
    }
  return Y;
}

/* Options of a small model for the tests of files, copies and refinement. */
struct SmallModelSpec {
  int groups = 1;
  std::vector<int> sizes;      /* empty: one group, or one per output when groups == q */
  int scaling = 0;
  int poly = 2;
  int corr = 2;
  int kernVarType = 0;
  int kernOpt = 0;
  std::vector<double> theta;  /* empty: estimated by the first build */
};

/* Gives k the samples X, Y with the options of s and solves it; the result of the first
 * failing call (0 when the model is solved). */
template <class T>
int SolveSmall(Kriging<T>& k, C_MatMGe<T>& X, C_MatMGe<T>& Y, const SmallModelSpec& s) {
  std::vector<int> sizes = s.sizes;
  int r = k.PutKrigingKernVarType(static_cast<E_KrigingKernVarType>(s.kernVarType));
  if (r == 0) r = k.PutNumSol(Y.cols, s.groups, sizes.empty() ? nullptr : sizes.data());
  if (r == 0) r = k.PutNumVar(X.cols);
  if (r == 0) r = k.PutScalingType(static_cast<E_KrigingScalingType>(s.scaling));
  if (r == 0) r = k.PutPolynomType(static_cast<E_KrigingPolynomType>(s.poly));
  if (r == 0) r = k.PutCorrFuncType(static_cast<E_CorrFuncType>(s.corr));
  if (r == 0) r = k.PutKrigingKernOptType(static_cast<E_KrigingKernOptType>(s.kernOpt));
  if (r == 0) r = k.PutInpSampMtx(X);
  if (r == 0) r = k.PutOutSampMtx(Y);
  if (r == 0 && !s.theta.empty()) {
    RVec t(static_cast<int>(s.theta.size()));
    for (std::size_t i = 0; i < s.theta.size(); ++i) t[static_cast<int>(i)] = s.theta[i];
    r = k.PutKernVec(t);
  }
  if (r == 0) r = k.Solve();
  return r;
}

/* Whether two matrices have the same shape and bitwise-equal values. */
template <class T>
bool SameMat(C_MatMGe<T>& a, C_MatMGe<T>& b) {
  if (a.rows != b.rows || a.cols != b.cols) return false;
  for (int i = 0; i < a.rows; ++i)
    for (int j = 0; j < a.cols; ++j)
      if (!(a.GetVal(i, j) == b.GetVal(i, j))) return false;
  return true;
}

/* Whether two vectors have the same length and equal values. */
template <class T>
bool SameVec(C_VecPi<T, int, C_PtrInCore<T, int>>& a, C_VecPi<T, int, C_PtrInCore<T, int>>& b) {
  if (a.Dim() != b.Dim()) return false;
  for (int i = 0; i < a.Dim(); ++i)
    if (!(a[i] == b[i])) return false;
  return true;
}

/* Range of output column j of Y by hand: max|y| - min|y| over its rows. */
template <class T>
double MagSpread(C_MatMGe<T>& Y, int j) {
  double lo = 1e300, hi = 0.0;
  for (int i = 0; i < Y.rows; ++i) {
    lo = std::min(lo, std::abs(Y.GetVal(i, j)));
    hi = std::max(hi, std::abs(Y.GetVal(i, j)));
  }
  return hi - lo;
}

/* Relative error by hand of an error e against a value v: e / v, or, when v is not above
 * 1e-4 of the range, e over half the range (at least floor) plus v. */
inline double RefRelErr(double e, double v, double range, double floor = 0.0) {
  return v > 1e-4 * range ? e / v : e / (0.5 * std::max(range, floor) + v);
}

/* Distances |a_k - b_k| between row i of A and row j of B. */
template <class T>
std::vector<double> RowDist2(C_MatMGe<T>& A, int i, C_MatMGe<T>& B, int j) {
  std::vector<double> d(static_cast<std::size_t>(A.cols));
  for (int k = 0; k < A.cols; ++k) d[k] = std::abs(A.GetVal(i, k) - B.GetVal(j, k));
  return d;
}

/* Distances |a_k - b_k| of rows i and j of X. */
template <class T>
std::vector<double> RowDist(C_MatMGe<T>& X, int i, int j) {
  return RowDist2(X, i, X, j);
}

/* Dense regularised correlation matrix of the rows of X as a fit builds it: diagonal
 * 1 + sqrt(m)*tol + (m+10)*nugget, off-diagonal entries below tol dropped. */
template <class T>
std::vector<std::vector<double>> RefCorrMatrix(C_MatMGe<T>& X, int type,
                                               const std::vector<double>& theta,
                                               double tol = 1e-8, double nugget = 1e-14) {
  const int m = X.rows;
  std::vector<std::vector<double>> R(m, std::vector<double>(m, 0.0));
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j) {
      double r = RefCorr(type, RowDist(X, i, j), theta);
      if (i == j) r += std::sqrt(static_cast<double>(m)) * tol + (m + 10.0) * nugget;
      else if (std::fabs(r) < tol) r = 0.0;
      R[i][j] = r;
    }
  return R;
}

/* ---- an independent dense Kriging model, for checking predictions and predictor errors ----
 * Built from the textbook formulas with plain Gauss-Jordan inverses (no packed storage, no
 * Cholesky, no QR): beta = (F^H K^-1 F)^-1 F^H K^-1 Y, gamma = K^-1 (Y - F beta),
 * sigma^2 = rho^H K^-1 rho / m, prediction f^T beta + r^T gamma and mean squared error
 * sigma^2 (1 + u^T M^-1 conj(u) - r^T K^-1 r) with u = F^T K^-1 r - f, M = F^H K^-1 F. */

inline double Conj(double x) { return x; }
inline cplx Conj(const cplx& z) { return std::conj(z); }
inline double RealPart(double x) { return x; }
inline double RealPart(const cplx& z) { return z.real(); }

/* Inverse of a dense n x n matrix by Gauss-Jordan elimination with partial pivoting. */
template <class T>
std::vector<std::vector<T>> DenseInverse(std::vector<std::vector<T>> a) {
  const int n = static_cast<int>(a.size());
  std::vector<std::vector<T>> inv(n, std::vector<T>(n, T(0.0)));
  for (int i = 0; i < n; ++i) inv[i][i] = T(1.0);
  for (int c = 0; c < n; ++c) {
    int piv = c;
    for (int r = c + 1; r < n; ++r)
      if (std::abs(a[r][c]) > std::abs(a[piv][c])) piv = r;
    std::swap(a[c], a[piv]);
    std::swap(inv[c], inv[piv]);
    const T d = a[c][c];
    for (int j = 0; j < n; ++j) {
      a[c][j] /= d;
      inv[c][j] /= d;
    }
    for (int r = 0; r < n; ++r) {
      if (r == c) continue;
      const T f = a[r][c];
      for (int j = 0; j < n; ++j) {
        a[r][j] -= f * a[c][j];
        inv[r][j] -= f * inv[c][j];
      }
    }
  }
  return inv;
}

/* Trend row of point x (n values) for trend type 0 .. 4, in the library's column order. */
template <class T>
std::vector<T> RefTrendRow(const std::vector<T>& x, int type) {
  const int n = static_cast<int>(x.size());
  std::vector<T> f;
  if (type >= 1) f.push_back(T(1.0));
  if (type >= 2)
    for (int k = 0; k < n; ++k) f.push_back(x[k]);
  if (type == 3)
    for (int k = 0; k < n; ++k) f.push_back(x[k] * x[k]);
  if (type == 4)
    for (int a = 0; a < n; ++a)
      for (int b = a; b < n; ++b) f.push_back(x[a] * x[b]);
  return f;
}

template <class T>
std::vector<T> RowOf(C_MatMGe<T>& X, int i) {
  std::vector<T> r(static_cast<std::size_t>(X.cols));
  for (int k = 0; k < X.cols; ++k) r[k] = X.GetVal(i, k);
  return r;
}

template <class T>
struct RefKriging {
  int m = 0, q = 0, p = 0, corr = 2, trend = 0;
  std::vector<double> theta;
  std::vector<std::vector<T>> X;          /* sample points */
  std::vector<std::vector<double>> Kinv;  /* inverse of the regularised correlation matrix */
  std::vector<std::vector<T>> F;          /* m x p */
  std::vector<std::vector<T>> Minv;       /* p x p */
  std::vector<std::vector<T>> beta;       /* p x q */
  std::vector<std::vector<T>> gamma;      /* m x q */
  std::vector<double> sigma2;             /* q */

  void Fit(C_MatMGe<T>& Xs, C_MatMGe<T>& Y, int corrType, int trendType,
           const std::vector<double>& th, double tol = 1e-8, double nugget = 1e-14) {
    m = Xs.rows;
    q = Y.cols;
    corr = corrType;
    trend = trendType;
    theta = th;
    X.clear();
    for (int i = 0; i < m; ++i) X.push_back(RowOf(Xs, i));
    Kinv = DenseInverse(RefCorrMatrix(Xs, corrType, th, tol, nugget));
    F.clear();
    for (int i = 0; i < m; ++i) F.push_back(RefTrendRow(X[i], trendType));
    p = static_cast<int>(F.empty() ? 0 : F[0].size());
    /* A = K^-1 F, M = F^H A. */
    std::vector<std::vector<T>> A(m, std::vector<T>(p, T(0.0)));
    for (int i = 0; i < m; ++i)
      for (int c = 0; c < p; ++c)
        for (int j = 0; j < m; ++j) A[i][c] += Kinv[i][j] * F[j][c];
    std::vector<std::vector<T>> M(p, std::vector<T>(p, T(0.0)));
    for (int a = 0; a < p; ++a)
      for (int b = 0; b < p; ++b)
        for (int i = 0; i < m; ++i) M[a][b] += Conj(F[i][a]) * A[i][b];
    Minv = p > 0 ? DenseInverse(M) : M;
    beta.assign(p, std::vector<T>(q, T(0.0)));
    gamma.assign(m, std::vector<T>(q, T(0.0)));
    sigma2.assign(q, 0.0);
    for (int k = 0; k < q; ++k) {
      std::vector<T> bk(p, T(0.0));
      for (int a = 0; a < p; ++a)
        for (int i = 0; i < m; ++i) bk[a] += Conj(A[i][a]) * Y.GetVal(i, k);
      for (int a = 0; a < p; ++a)
        for (int b = 0; b < p; ++b) beta[a][k] += Minv[a][b] * bk[b];
      std::vector<T> rho(m);
      for (int i = 0; i < m; ++i) {
        rho[i] = Y.GetVal(i, k);
        for (int a = 0; a < p; ++a) rho[i] -= F[i][a] * beta[a][k];
      }
      double s2 = 0.0;
      for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) {
          gamma[i][k] += Kinv[i][j] * rho[j];
          s2 += RealPart(Conj(rho[i]) * Kinv[i][j] * rho[j]);
        }
      sigma2[k] = s2 / m;
    }
  }

  std::vector<double> Corr(const std::vector<T>& x) const {
    std::vector<double> r(m);
    for (int j = 0; j < m; ++j) {
      std::vector<double> d(x.size());
      for (std::size_t v = 0; v < x.size(); ++v) d[v] = std::abs(x[v] - X[j][v]);
      r[j] = RefCorr(corr, d, theta);
    }
    return r;
  }

  T Predict(const std::vector<T>& x, int k) const {
    const std::vector<double> r = Corr(x);
    const std::vector<T> f = RefTrendRow(x, trend);
    T y(0.0);
    for (int a = 0; a < p; ++a) y += f[a] * beta[a][k];
    for (int j = 0; j < m; ++j) y += r[j] * gamma[j][k];
    return y;
  }

  double PredErr(const std::vector<T>& x, int k) const {
    const std::vector<double> r = Corr(x);
    std::vector<double> kr(m, 0.0);
    double s = 0.0;
    for (int i = 0; i < m; ++i) {
      for (int j = 0; j < m; ++j) kr[i] += Kinv[i][j] * r[j];
      s += r[i] * kr[i];
    }
    double t = 0.0;
    if (p > 0) {
      const std::vector<T> f = RefTrendRow(x, trend);
      std::vector<T> u(p, T(0.0));
      for (int a = 0; a < p; ++a) {
        for (int i = 0; i < m; ++i) u[a] += F[i][a] * kr[i];
        u[a] -= f[a];
      }
      T acc(0.0);
      for (int a = 0; a < p; ++a)
        for (int b = 0; b < p; ++b) acc += u[a] * Minv[a][b] * Conj(u[b]);
      t = RealPart(acc);
    }
    return std::sqrt(std::fabs(sigma2[k] * (1.0 + t - s)));
  }
};

#endif
