/* C_AlgoPower.h: power iteration (C_AlgoPower<T>, T = double or complex<double>) and the
 * matrix 2-norm estimate built on it (MatNrm2), as used by Nrm(2) of the general and packed
 * symmetric matrices. The 2-norm is the square root of the dominant eigenvalue of A^H A for
 * every matrix. Each finished run sends the result line "[name]\tIter [  i] : Teta = t " as an
 * information message (verbosity 3, debug scope 306, all streams). */
#ifndef KVELO_C_ALGOPOWER_H
#define KVELO_C_ALGOPOWER_H

#include <cmath>
#include <complex>
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
}  // namespace kvelo_power_detail

/* Power iteration on a matrix, with the options "A*A" (bool, false: iterate with A^H A instead
 * of A) and "StopCriteria" (int, 0: residual <= tolerance or the step limit; 1: relative change
 * of Teta <= tolerance, no step limit; 2: relative change <= tolerance or the step limit; any
 * other value: one step). Every run also stops when |Teta| < 1e-14. */
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
  // the last Teta (Rayleigh quotient), 0 when the first product is exactly 0. maxSteps -1 stands
  // for A's column count. On return x holds Teta times the last normalised iterate and y the
  // last product. A product that becomes exactly 0 after the first step abandons the run with
  // code 2872 (the iterate vanished). Container codes pass through.
  T Iterate(C_Mat<T>& A, VecType& x, VecType& y, int maxSteps);

  double Tolerance() const { return m_tolerance; }

 private:
  // out = A^H in; a symmetric class ignores the transposition letter, so A^H v is formed as
  // conj(A conj(v)) there (A^T = A).
  void ApplyAH(C_Mat<T>& A, VecType& in, VecType& out) {
    if (!A.IsSym()) {
      A.Mv(T(1), in, T(0), out, 'C');
      return;
    }
    VecType tmp(0);
    tmp.Copy(in);
    kvelo_power_detail::Conjugate(tmp.Adr(0), tmp.Dim());
    A.Mv(T(1), tmp, T(0), out, 'N');
    kvelo_power_detail::Conjugate(out.Adr(0), out.Dim());
  }

  Kvelo::C_KveloMessage m_message;
  double m_tolerance;
};

template <class T>
T C_AlgoPower<T>::Iterate(C_Mat<T>& A, VecType& x, VecType& y, int maxSteps) {
  const int n = A.cols;
  if (maxSteps == -1) maxSteps = n;
  x.Resize(n);
  y.Resize(n);
  if (n == 0) return T(0);
  InitRand(x, static_cast<E_InitSeedType>(2), 1u);
  VecType tmp(0);

  T prev = T(0);
  for (int i = 0;; i++) {
    const double nx = x.Nrm(NRM_TWO);
    // Only a start vector that could not be drawn is zero (a zero product stops the run first).
    if (nx == 0.0) return T(0);
    kvelo_power_detail::Rscl(x.Dim(), nx, x.Adr(0));
    if (getOption_b("A*A")) {
      A.Mv(T(1), x, T(0), tmp, 'N');
      ApplyAH(A, tmp, y);
    } else {
      A.Mv(T(1), x, T(0), y, 'N');
    }
    T teta = x * y;
    const double absTeta = std::abs(teta);
    if (absTeta == 0.0) {
      if (i == 0) return T(0);
      KVELO_THROW(2872);
    }
    x *= teta;
    const double change = std::abs((teta - prev) / teta);
    prev = teta;
    double diff = 0.0;
    y.Diff(x, diff);
    const double residual = diff / absTeta;

    bool stop;
    switch (getOption_i("StopCriteria")) {
      case 0: stop = residual <= m_tolerance || i >= maxSteps; break;
      case 1: stop = change <= m_tolerance; break;
      case 2: stop = change <= m_tolerance || i >= maxSteps; break;
      default: stop = true; break;
    }
    if (absTeta < 1e-14) stop = true;
    if (stop) {
      m_message.Print("[%s]\tIter [%3d] : Teta = %g ", Nom(), i, kvelo_power_detail::ReOf(teta));
      return teta;
    }
    x.Copy(y);
  }
}

/* 2-norm estimate of A: the square root of the dominant eigenvalue of A^H A by power iteration
 * (relative change of the estimate <= tolerance, at most max(500, cols) steps). 0 for a zero
 * matrix (no result line). Container codes pass through; code 2872 when the iteration breaks down. */
template <class T>
double MatNrm2(C_Mat<T>& A, double tolerance) {
  C_AlgoPower<T> algo("MatNrm2", tolerance);
  typename C_AlgoPower<T>::VecType x(A.cols), y(A.cols);
  algo.setOption("A*A", true);
  algo.setOption("StopCriteria", 2);
  // Convergence depends on the gap between the two largest singular values, not on the order.
  const int steps = A.cols > 500 ? A.cols : 500;
  T teta = algo.Iterate(A, x, y, steps);
  return std::sqrt(std::abs(teta));
}

#endif
