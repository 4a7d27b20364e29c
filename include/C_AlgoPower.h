/* C_AlgoPower.h: power iteration (C_AlgoPower<T>, T = double or complex<double>) and the
 * matrix 2-norm estimate built on it (MatNrm2), as used by Nrm(2) of the general and packed
 * symmetric matrices. The 2-norm is the square root of the dominant eigenvalue of A^H A for
 * every matrix. Each finished run sends the result line "[name]\tIter [  i] : Teta = t " as an
 * information message (verbosity 3, debug scope 306, all streams). */
#ifndef KVELO_C_ALGOPOWER_H
#define KVELO_C_ALGOPOWER_H

#include <cfloat>
#include <cmath>
#include <complex>
#include <limits>
#include <string>

#include "C_Entity.h"
#include "C_KveloException.h"
#include "C_KveloMessage.h"
#include "C_Mat.h"
#include "C_VecPi.h"
#include "C_VecRand.h"
#include "ITF_blas_lapack.h"

namespace kvelo_power_detail {
inline void Rscl(int n, double sa, double* x) { ITF_drscl(n, sa, x, 1); }
inline void Rscl(int n, double sa, std::complex<double>* x) { ITF_zdrscl(n, sa, x, 1); }
inline double ReOf(double v) { return v; }
inline double ReOf(const std::complex<double>& v) { return v.real(); }
inline void Conjugate(double*, int) {}
inline void Conjugate(std::complex<double>* p, int n) {
  for (int i = 0; i < n; i++) p[i] = std::conj(p[i]);
}

// The larger magnitude of the parts of v (within a factor sqrt 2 of |v|, and never overflowing
// as the modulus of a complex value near the top of the range does); NaN for a NaN part.
inline double LargestPart(double v) { return std::fabs(v); }
inline double LargestPart(const std::complex<double>& v) {
  const double re = std::fabs(v.real()), im = std::fabs(v.imag());
  return re != re || im != im ? std::numeric_limits<double>::quiet_NaN() : (re > im ? re : im);
}

// v * 2^e, exact unless the result leaves the double range.
inline double Pow2(double v, int e) { return std::ldexp(v, e); }
inline std::complex<double> Pow2(const std::complex<double>& v, int e) {
  return std::complex<double>(std::ldexp(v.real(), e), std::ldexp(v.imag(), e));
}
template <class T>
void Pow2(T* p, int n, int e) {
  if (e == 0) return;
  for (int i = 0; i < n; i++) p[i] = Pow2(p[i], e);
}

// Sum of |a_i - b_i|^2 (squared moduli for complex values, so that differences cannot cancel).
inline double Dist2(const double* a, const double* b, int n) {
  double s = 0.0;
  for (int i = 0; i < n; i++) s += (a[i] - b[i]) * (a[i] - b[i]);
  return s;
}
inline double Dist2(const std::complex<double>* a, const std::complex<double>* b, int n) {
  double s = 0.0;
  for (int i = 0; i < n; i++) s += std::norm(a[i] - b[i]);
  return s;
}

template <class T>
T NotANumber() {
  return T(std::numeric_limits<double>::quiet_NaN());
}
template <>
inline std::complex<double> NotANumber<std::complex<double>>() {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  return std::complex<double>(nan, nan);
}
}  // namespace kvelo_power_detail

template <class T>
class C_AlgoPower;
template <class T>
double MatNrm2(C_Mat<T>& A, double tolerance);

/* Power iteration on a matrix, with the options "A*A" (bool, false: iterate with A^H A instead
 * of A) and "StopCriteria" (int, 0: residual <= tolerance or the step limit; 1: relative change
 * of Teta <= tolerance, no step limit but a ceiling of max(100000, 10 n) steps against a Teta
 * that never settles; 2: relative change <= tolerance or the step limit; any
 * other value: one step). The run works on A / 2^sigma, 2^sigma being the power of two at or
 * just below A's largest |entry| (scaled inside the products, no copy of A), so that matrices
 * near the top or the bottom of the double range neither overflow nor underflow; the residual
 * (sum of |y_i - Teta x_i|^2 / |Teta|) and the stop at |Teta| < 1e-14 are taken in those
 * scaled units, i.e. relative to the size of A (to its square with "A*A"). */
template <class T>
class C_AlgoPower : public C_Algorithm {
 public:
  typedef C_VecPi<T, int, C_PtrInCore<T, int>> VecType;

  C_AlgoPower(const std::string& name, double tolerance)
      : C_Algorithm(name),
        m_message("C_AlgoPower", "include/C_AlgoPower", __LINE__, Kvelo::MessageToolEnums::TYPE_INFORMATION,
                  Kvelo::MessageToolEnums::LEVEL_INTERNAL,
                  Kvelo::MessageToolEnums::SCOPE_ALGO_POWER,
                  Kvelo::MessageToolEnums::STREAM_ALL),
        m_tolerance(tolerance) {
    setOption("A*A", false);
    setOption("StopCriteria", 0);
  }
  ~C_AlgoPower() override {}

  // 306.
  E_DebugScope_enum GetDebugScope() override { return Kvelo::MessageToolEnums::SCOPE_ALGO_POWER; }

  // Runs the power iteration from the fixed random start vector InitRand(x, 2, 1) and returns
  // the last Teta (Rayleigh quotient), 0 when the first product is exactly 0, NaN (with its
  // result line) when A holds a value that is not finite or an iterate stops being finite.
  // maxSteps -1 stands for A's column count. On return x holds Teta times the last normalised
  // iterate and y the last product, in A's units (a Teta beyond the double range, as that of
  // A^H A for |entries| near 1e300, is inf there). A product that becomes exactly 0 after the
  // first step abandons the run with code 2872 (the iterate vanished). A tolerance that no
  // run can meet, NaN (any criterion) or below 0 with "StopCriteria" 1 (no step limit), throws
  // code 3 before x or y change. Container codes pass through.
  T Iterate(C_Mat<T>& A, VecType& x, VecType& y, int maxSteps) {
    // No residual or change ever meets a NaN, nor a change a negative tolerance: the run could
    // end only at the step limit, which "StopCriteria" 1 lacks. A NaN is no tolerance at all.
    if (std::isnan(m_tolerance) || (m_tolerance < 0 && getOption_i("StopCriteria") == 1)) KVELO_THROW(3);
    T scaled;
    int sigma;
    return Run(A, x, y, maxSteps, scaled, sigma);
  }

  double Tolerance() const { return m_tolerance; }

 private:
  template <class U>
  friend double MatNrm2(C_Mat<U>& A, double tolerance);

  // How far the 2^-sigma of a product is applied to its operand before the product: as far
  // as the operand's leading values keep their precision (their magnitude is at most about
  // 2^33) and the products of A's entries with it stay far from overflow; the rest is applied
  // to the result.
  static const int kPreShift = 900;

  // Iterate, also giving the Teta of the scaled problem and the sigma of the scaling: Teta is
  // scaled times 2^sigma (times 4^sigma with "A*A").
  T Run(C_Mat<T>& A, VecType& x, VecType& y, int maxSteps, T& scaled, int& sigma);

  // sigma with 2^sigma <= the largest part of A's entries < 2^(sigma+1); 0 for a zero matrix.
  // finite = false (sigma 0) when an entry is not finite.
  static int ScaleExponent(C_Mat<T>& A, bool& finite);

  // out = op(A) in / 2^sigma, op(A) = A, or A^H when adjoint. A symmetric class ignores the
  // transposition letter, so A^H v is formed as conj(A conj(v)) there (A^T = A).
  static void Product(C_Mat<T>& A, VecType& in, VecType& out, bool adjoint, int sigma, VecType& scratch);

  Kvelo::C_KveloMessage m_message;
  double m_tolerance;
};

template <class T>
int C_AlgoPower<T>::ScaleExponent(C_Mat<T>& A, bool& finite) {
  finite = true;
  double big = 0.0;
  const bool sym = A.IsSym();
  for (int j = 0; j < A.cols; j++)
    for (int i = sym ? j : 0; i < A.rows; i++) {
      const double m = kvelo_power_detail::LargestPart(A.GetVal(i, j));
      if (!(m <= DBL_MAX)) {
        finite = false;
        return 0;
      }
      if (m > big) big = m;
    }
  if (big == 0.0) return 0;
  int e = 0;
  std::frexp(big, &e);
  return e - 1;
}

template <class T>
void C_AlgoPower<T>::Product(C_Mat<T>& A, VecType& in, VecType& out, bool adjoint, int sigma,
                             VecType& scratch) {
  namespace pd = kvelo_power_detail;
  const bool viaConj = adjoint && A.IsSym();
  if (A.rows == 0) {
    // A matrix without rows does nothing in Mv, leaving out as an earlier step made it; its
    // product is the zero vector of op(A)'s length (cols for A^H), which stops the run at 0.
    out.Resize(adjoint ? A.cols : 0);
    out.Init(T(0), 0, -1);
    return;
  }
  const int pre = -sigma > kPreShift ? kPreShift : (-sigma < -kPreShift ? -kPreShift : -sigma);
  const int post = -sigma - pre;
  VecType* src = &in;
  if (pre != 0 || viaConj) {
    scratch.Copy(in);
    if (viaConj) pd::Conjugate(scratch.Adr(0), scratch.Dim());
    pd::Pow2(scratch.Adr(0), scratch.Dim(), pre);
    src = &scratch;
  }
  A.Mv(T(1), *src, T(0), out, adjoint && !viaConj ? 'C' : 'N');
  if (viaConj) pd::Conjugate(out.Adr(0), out.Dim());
  pd::Pow2(out.Adr(0), out.Dim(), post);
}

template <class T>
T C_AlgoPower<T>::Run(C_Mat<T>& A, VecType& x, VecType& y, int maxSteps, T& scaled, int& sigma) {
  namespace pd = kvelo_power_detail;
  const int n = A.cols;
  if (maxSteps == -1) maxSteps = n;
  scaled = T(0);
  sigma = 0;
  x.Resize(n);
  y.Resize(n);
  if (n == 0) return T(0);
  InitRand(x, static_cast<E_InitSeedType>(2), 1u);
  bool finite = true;
  sigma = ScaleExponent(A, finite);
  const bool squared = getOption_b("A*A");
  // Teta in A's units is the scaled one times 2^unit.
  const int unit = squared ? 2 * sigma : sigma;
  VecType tmp(0), scratch(0);

  T prev = T(0);
  for (int i = 0;; i++) {
    // Scaled iterates stay within a few powers of ten of 1 (the run stops before |Teta| falls
    // below 1e-14), so their norm is finite and non-zero unless the matrix or an iterate is
    // not finite; such a norm is never handed to ?rscl.
    const double nx = x.Nrm(NRM_TWO);
    // Only a start vector that could not be drawn is zero (a zero product stops the run first).
    if (nx == 0.0 && i == 0) return T(0);
    T teta = pd::NotANumber<T>();
    const bool usable = finite && nx > 0.0 && nx <= DBL_MAX;
    if (usable) {
      pd::Rscl(x.Dim(), nx, x.Adr(0));
      if (squared) {
        Product(A, x, tmp, false, sigma, scratch);
        Product(A, tmp, y, true, sigma, scratch);
      } else {
        Product(A, x, y, false, sigma, scratch);
      }
      teta = x * y;
    }
    double absTeta = std::abs(teta);
    if (absTeta == 0.0) {
      if (i == 0) return T(0);
      KVELO_THROW(2872);
    }
    // A value that is not finite ends the run at once: no stop test could ever pass on it.
    const bool broken = !(absTeta <= DBL_MAX);
    if (broken) {
      teta = pd::NotANumber<T>();
      absTeta = std::abs(teta);
    }
    x *= teta;
    const double change = std::abs((teta - prev) / teta);
    prev = teta;
    const double residual = pd::Dist2(y.Adr(0), x.Adr(0), n) / absTeta;

    bool stop;
    switch (getOption_i("StopCriteria")) {
      case 0: stop = residual <= m_tolerance || i >= maxSteps; break;
      // No step limit of the caller's, but a ceiling all the same: a Teta that never
      // settles (a dominant pair of eigenvalues of equal modulus) would otherwise loop for ever.
      case 1: stop = change <= m_tolerance || i >= (n > 10000 ? 10 * n : 100000); break;
      case 2: stop = change <= m_tolerance || i >= maxSteps; break;
      default: stop = true; break;
    }
    if (broken || absTeta < 1e-14) stop = true;
    if (stop) {
      scaled = teta;
      pd::Pow2(x.Adr(0), x.Dim(), unit);
      pd::Pow2(y.Adr(0), y.Dim(), unit);
      const T result = pd::Pow2(teta, unit);
      m_message.Print("[%s]\tIter [%3d] : Teta = %g ", Nom(), i, pd::ReOf(result));
      return result;
    }
    x.Copy(y);
  }
}

/* 2-norm estimate of A: the square root of the dominant eigenvalue of A^H A by power iteration
 * (relative change of the estimate <= tolerance, at most max(500, cols) steps), taken on A
 * scaled by a power of two and scaled back, so that it holds for any finite A (|entries| from
 * the smallest subnormal to the largest double); an estimate that rounds past the largest
 * double by no more than a few ulps is the largest double. 0 for a zero matrix (no result line); NaN
 * for a matrix with an entry that is not finite. Container codes pass through; code 2872
 * when the iteration breaks down. */
template <class T>
double MatNrm2(C_Mat<T>& A, double tolerance) {
  C_AlgoPower<T> algo("MatNrm2", tolerance);
  typename C_AlgoPower<T>::VecType x(A.cols), y(A.cols);
  algo.setOption("A*A", true);
  algo.setOption("StopCriteria", 2);
  // Convergence depends on the gap between the two largest singular values, not on the order.
  const int steps = A.cols > 500 ? A.cols : 500;
  T scaled;
  int sigma;
  algo.Run(A, x, y, steps, scaled, sigma);
  // The root of the scaled Teta is scaled back, never the square of the norm itself, which
  // leaves the double range for norms above 1e154.
  const double root = std::sqrt(std::abs(scaled));
  const double norm = std::ldexp(root, sigma);
  // A norm at the top of the range may come out an ulp or two past it, from the rounding of
  // the iteration: one within that rounding of the largest double is the largest double.
  if (std::isinf(norm) && std::ldexp(root, sigma - 1) <= std::ldexp(1.0 + 4 * DBL_EPSILON, 1023)) return DBL_MAX;
  return norm;
}

#endif
