// lm_mltadd.h: the matrix multiply-add out = A + s*B shared by _LM_ms_mltadd (matop) and
// _LM_m_mltadd (m_mltadd), which differ only in whether out is sized to A beforehand.
#ifndef KVELO_CMATRIX_LM_MLTADD_H
#define KVELO_CMATRIX_LM_MLTADD_H

#include <cmath>

#include "matrix.h"

namespace kvlm {

// file/routine name the messages, traceName the trace mark of a failing inner step.
MAT* MatMltAdd(MAT* A, MAT* B, double s, MAT* out, bool sizeFirst, const char* file,
               const char* routine, const char* traceName, int callerLine,
               const char* callerName, int* status);

// A running real sum held as sum * 2^e, rescaled to the larger exponent as terms come in.
struct ExpSum {
  double sum = 0.0;
  int e = 0;
  bool empty = true;
  // Adds sign * a*b*c as the product of the three frexp mantissas (|m| in [1/8, 1)) and the
  // sum of the exponents: no overflow or underflow whatever the factors' sizes. A zero factor
  // makes the term nothing, beside an infinite one too, as the kernels skip a zero weight.
  void AddTriple(double sign, double a, double b, double c) {
    if (a == 0.0 || b == 0.0 || c == 0.0) return;
    int ea = 0, eb = 0, ec = 0;
    const double m = sign * std::frexp(a, &ea) * std::frexp(b, &eb) * std::frexp(c, &ec);
    if (m == 0.0) return;
    const int et = ea + eb + ec;
    if (empty) {
      sum = m;
      e = et;
      empty = false;
    } else if (et > e) {
      sum = std::ldexp(sum, e - et) + m;
      e = et;
    } else {
      sum += std::ldexp(m, et - e);
    }
  }
  double Value() const { return empty ? 0.0 : std::ldexp(sum, e); }
};

}  // namespace kvlm

#endif
