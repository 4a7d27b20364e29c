/* kriging_util.h: helpers shared by the source files of the Kriging model: container shapes,
 * element arithmetic of both instances, BLAS/LAPACK by element type, arrays with margins for
 * LAPACK, the correlation kernels, trend term counts and the output range table. */
#ifndef KVELO_KRIGING_UTIL_H
#define KVELO_KRIGING_UTIL_H

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <cstddef>
#include <new>
#include <type_traits>
#include <vector>

#include "C_KveloException.h"
#include "C_MatMGe.h"
#include "C_MatMSym.h"
#include "C_VecPi.h"
#include "ITF_blas_lapack.h"
#include "Kriging.h"
#include "corr_kernels.h"
#include "runtime/no_memory.h"
#include "kriging_refusal.h"

namespace kriging_internal {

typedef std::complex<double> dcomplex;

/* ---- scratch memory ------------------------------------------------------------------ */

/* The standard containers report a want of memory as std::bad_alloc, but the host is promised
 * C_KveloException 1001 for it: every scratch buffer of the model is sized here, and every
 * object it makes with new is made here. */
template <class V>
inline void SizeTo(V& v, std::size_t n) {
  kvrt::Or1001([&] { v.resize(n); });
}
template <class V>
inline V SizedBuffer(std::size_t n) {
  V v;
  SizeTo(v, n);
  return v;
}
template <class X>
inline X* NewObject() {
  X* p = new (std::nothrow) X();
  if (p == nullptr) KVELO_THROW(1001);
  return p;
}

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

/* ---- sums of squares that neither overflow nor lose their terms ---------------------- */

/* The power of two by which values of largest magnitude maxAbs are scaled before squares of
 * them are summed: 0 (no scaling) while maxAbs lies within 2^-450 .. 2^450, where the plain
 * sums neither overflow nor lose what matters to underflow; else its exponent. Scaling by a
 * power of two is exact, so a result scaled back is what the plain sums would give if doubles
 * had no limits, and inside the range the plain sums run as they always did. */
inline int SquaresExponent(double maxAbs) {
  if (!(maxAbs > 0.0) || !std::isfinite(maxAbs)) return 0;
  const int e = std::ilogb(maxAbs);
  return (e > 450 || e < -450) ? e : 0;
}
inline double Scaled(double x, int e) { return e == 0 ? x : std::ldexp(x, -e); }
inline dcomplex Scaled(const dcomplex& z, int e) {
  return e == 0 ? z : dcomplex(std::ldexp(z.real(), -e), std::ldexp(z.imag(), -e));
}

/* The Euclidean norm of `count` values whose magnitudes are mag(i) and squares sq(i) (the
 * squared modulus of a complex value): the root of the summed squares, summed on values
 * scaled by a power of two when their size asks for it (see SquaresExponent). NaN for a NaN. */
template <class Sq, class Magn>
double NormOf(int count, Sq sq, Magn mag) {
  double big = 0.0;
  for (int i = 0; i < count; ++i) {
    const double a = mag(i);
    if (std::isnan(a)) return a;
    if (a > big) big = a;
  }
  const int e = SquaresExponent(big);
  double sum = 0.0;
  if (e == 0) {
    for (int i = 0; i < count; ++i) sum += sq(i);
    return std::sqrt(sum);
  }
  for (int i = 0; i < count; ++i) {
    const double a = std::ldexp(mag(i), -e);
    sum += a * a;
  }
  return std::ldexp(std::sqrt(sum), e);
}

/* A running maximum that keeps a NaN once it has met one: a value that is not a number makes
 * the maximum not a number, whatever comes after it. */
inline void KeepMax(double& best, double x) {
  if (std::isnan(best)) return;
  if (std::isnan(x) || x > best) best = x;
}
inline void KeepMin(double& best, double x) {
  if (std::isnan(best)) return;
  if (std::isnan(x) || x < best) best = x;
}

/* Whether a value is a finite number (both parts of a complex one). */
inline bool IsFinite(double x) { return std::isfinite(x); }
inline bool IsFinite(const dcomplex& z) {
  return std::isfinite(z.real()) && std::isfinite(z.imag());
}

/* Whether every value of rows first .. rows-1 of M is finite. */
template <class E>
inline bool AllFinite(C_MatMGe<E>& M, int first = 0) {
  const int rows = RowsOf(M), cols = ColsOf(M);
  for (int j = 0; j < cols; ++j) {
    const E* c = ColPtr(M, j);
    for (int i = std::max(first, 0); i < rows; ++i)
      if (!IsFinite(c[i])) return false;
  }
  return true;
}

/* Whether every value of v is finite. */
template <class E>
inline bool AllFinite(C_VecPi<E, int, C_PtrInCore<E, int>>& v) {
  for (int i = 0; i < v.Dim(); ++i)
    if (!IsFinite(v[i])) return false;
  return true;
}

/* Whether every value of v lies above floor. */
inline bool AllAbove(C_VecPi<double, int, C_PtrInCore<double, int>>& v, double floor) {
  for (int i = 0; i < v.Dim(); ++i)
    if (!(v[i] > floor)) return false;
  return true;
}

/* Whether every kernel value is what a fit can make: a finite number above 0. */
inline bool KernelValuesUsable(C_VecPi<double, int, C_PtrInCore<double, int>>& theta) {
  for (int i = 0; i < theta.Dim(); ++i)
    if (!(theta[i] > 0.0) || !std::isfinite(theta[i])) return false;
  return true;
}

/* Kernel-parameter count: one per input, or one shared by all. */
inline int KernCount(int kernVarType, int n) { return kernVarType != 0 ? n : 1; }

/* The kernel parameterisations and optimisation modes that a fit knows (Solve refuses others). */
inline bool KnownKernVarType(int t) { return t == KernOneForAll || t == KernPerInput; }
inline bool KnownKernOptType(int t) { return t == KernOptNone || t == KernOptLikelihood; }

/* Whether a fitted kernel of `dim` values fits n inputs, whatever the parameterisation says:
 * the kernel count follows the parameterisation only when PutNumVar or PutKernVec sets it,
 * so a model whose parameterisation changed afterwards is fitted with the other length (one
 * value shared by all inputs, or one per input) and its file holds that length. */
inline bool KernLengthFits(int dim, int n) { return dim == 1 || (dim == n && n >= 1); }

/* Which data a scaling type scales. */
inline bool ScalesInputs(int type) { return type == 1 || type == 3; }
inline bool ScalesOutputs(int type) { return type == 2 || type == 3; }

/* Whether two vectors have the same length and equal values. */
template <class E>
inline bool SameValues(C_VecPi<E, int, C_PtrInCore<E, int>>& a,
                       C_VecPi<E, int, C_PtrInCore<E, int>>& b) {
  if (a.Dim() != b.Dim()) return false;
  for (int i = 0; i < a.Dim(); ++i)
    if (!(a[i] == b[i])) return false;
  return true;
}

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

/* Least squares A X ~ B (trans "N") with a work array of lwork values. */
inline void Gels(int m, int n, int nrhs, double* a, int lda, double* b, int ldb, double* work,
                 int lwork, int* info) {
  ITF_dgels("N", m, n, nrhs, a, lda, b, ldb, work, lwork, info);
}
inline void Gels(int m, int n, int nrhs, dcomplex* a, int lda, dcomplex* b, int ldb,
                 dcomplex* work, int lwork, int* info) {
  ITF_zgels("N", m, n, nrhs, a, lda, b, ldb, work, lwork, info);
}

/* An array handed to LAPACK, inside a block the library owns with a margin of 64 bytes on
 * both sides: the complex gemv kernel of OpenBLAS 0.3.21 (under zgels and zgesvd) reads up to
 * 32 bytes before and after the arrays it is given, and with some heap layouts (a large block
 * at the start of its own mapping) such a read falls outside mapped memory. The storage is
 * kept from call to call and grows only when a larger array is asked for. */
template <class E>
class Margined {
 public:
  static const int kMargin = (64 + static_cast<int>(sizeof(E)) - 1) / static_cast<int>(sizeof(E));

  Margined() : buf_(0) {}
  /* The array of n values (at least 1 is reserved), valid until the next Reserve or Release;
   * a size beyond an int throws (code 2, as the containers do). */
  E* Reserve(long long n) {
    const long long total = std::max(n, 1LL) + 2LL * kMargin;
    buf_.Resize(total > INT_MAX ? -1 : static_cast<int>(total));
    return buf_.Adr(0) + kMargin;
  }
  void Release() { buf_.Release(); }

 private:
  C_VecPi<E, int, C_PtrInCore<E, int>> buf_;
};

/* ---- correlation kernels ------------------------------------------------------------- */

inline bool KnownCorrFunc(int type) { return type == 1 || type == 2 || type == 3 || type == 7; }

/* Why correlations of points of n values cannot be made with this function and a kernel of
 * kernDim values (one shared value, or one per input); kRefusalCount when they can. */
inline E_Refusal KernelRefusal(int type, int kernDim, bool shared, int n) {
  if (!KnownCorrFunc(type)) return kCorrFuncType;
  if (kernDim < (shared ? 1 : n)) return kKernelShort;
  return kRefusalCount;
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
      return KernelExp(-s);
    }
    case 2: {
      double s = 0.0;
      for (int k = 0; k < n; ++k) s += theta[shared ? 0 : k] * SqMag(a[k] - b[k]);
      return KernelExp(-s);
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

/* r[i] := correlation of point i of the N points at P (column-major: value k of point i at
 * P[i + k ldp]) with the point s of n values, for i = 0 .. N-1; each value is the one
 * CorrValue gives for (point i, s), by the same operations in the same order. The exponential
 * and Gaussian kernels of real points go through the vectorised column kernel; the others, and
 * complex points, point by point. The type has been checked. */
template <class T>
inline void CorrColumn(int type, const T* P, std::ptrdiff_t ldp, int N, const T* s, int n,
                       const double* theta, bool shared, double* r, std::vector<T>& point) {
  if constexpr (std::is_same<T, double>::value) {
    if (type == 1 || type == 2) {
      RealCorrColumn(type == 2, P, ldp, N, s, n, theta, shared, r);
      return;
    }
  }
  SizeTo(point, static_cast<std::size_t>(n));
  for (int i = 0; i < N; ++i) {
    for (int k = 0; k < n; ++k) point[k] = P[i + k * ldp];
    r[i] = CorrValue<T>(type, point.data(), s, n, theta, shared);
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
      KeepMin(lo, a);
      KeepMax(hi, a);
    }
    ColPtr(table, 0)[j] = lo;
    ColPtr(table, 1)[j] = hi;
    ColPtr(table, 2)[j] = hi - lo;
  }
  return 0;
}

/* Widens the range table (q x 3) with the outputs Ynew (q columns): each output's smallest
 * and largest |y| take the new rows in, and its three columns are rewritten when the spread
 * grows (or is not a number). */
template <class T>
void WidenRangeTable(C_MatMGe<double>& table, C_MatMGe<T>& Ynew) {
  const int q = ColsOf(Ynew), r = RowsOf(Ynew);
  for (int j = 0; j < q; ++j) {
    double lo = ColPtr(table, 0)[j], hi = ColPtr(table, 1)[j];
    const T* y = ColPtr(Ynew, j);
    for (int i = 0; i < r; ++i) {
      const double a = Mag(y[i]);
      KeepMin(lo, a);
      KeepMax(hi, a);
    }
    const double spread = hi - lo;
    if (std::isnan(spread) || spread > ColPtr(table, 2)[j]) {
      ColPtr(table, 0)[j] = lo;
      ColPtr(table, 1)[j] = hi;
      ColPtr(table, 2)[j] = hi - lo;
    }
  }
}

/* ranges := range of each of the groups of the given sizes from the range table: the root
 * of the summed squared spreads of its outputs (0 for a group without outputs). Whether every
 * range has a double: false when one lies beyond them (spreads near the largest double in one
 * group), a range that no relative error can be scaled by. A NaN spread gives a NaN range,
 * which is kept. */
inline bool GroupRangesOf(C_MatMGe<double>& table, const int* sizes, int groups,
                          C_VecPi<double, int, C_PtrInCore<double, int>>& ranges) {
  if (ranges.Dim() != groups) ranges.Resize(groups);
  bool held = true;
  const int rows = RowsOf(table);
  int first = 0;
  const double* lo = ColPtr(table, 0);
  const double* hi = ColPtr(table, 1);
  for (int g = 0; g < groups; ++g) {
    const int size = sizes[g];
    const int count = std::max(0, std::min(size, rows - first));
    /* Spreads of outputs near the largest doubles must not overflow the sum of squares. */
    const double range = NormOf(
        count,
        [&](int i) {
          const double d = hi[first + i] - lo[first + i];
          return d * d;
        },
        [&](int i) { return std::fabs(hi[first + i] - lo[first + i]); });
    ranges[g] = (size < 1) ? 0.0 : range;
    if (std::isinf(ranges[g])) held = false;
    if (size > 0) first += size;
  }
  return held;
}

}  // namespace kriging_internal

#endif
