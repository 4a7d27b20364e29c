// lm_lu.h: what the real (lufactor) and the complex (zlufctr) LU factorisations share: the
// factorisation with scaled partial pivoting, written once over the element type, and the
// registration of the work records they keep between calls.
#ifndef KVELO_CMATRIX_LM_LU_H
#define KVELO_CMATRIX_LM_LU_H

#include <cstdint>
#include <utility>

#include "cmatrix/lm_status.h"
#include "matrix.h"

namespace kvlm {

// Registers a static work pointer with the registry. A full registry only leaves the record
// unregistered: its report must not turn the calling operation into a failure, so the
// status word is left as it was.
template <class R>
void RegisterStatic(R** var, int type) {
  const int saved = _LM_err_status;
  mem_stat_reg_list(reinterpret_cast<void**>(var), type, 0);
  _LM_err_status = saved;
}

// Factors the m x n matrix A in place with scaled partial pivoting: pivot (of size m, the
// caller has checked) receives the rows' original positions, scale (at least m entries) the
// largest mag(entry) of each row as given, before any exchange (the scales stay with the
// positions). In column k the first row reaching the largest mag(A[i][k]) / scale[i] is the
// pivot; rows of zeros (scale not above 0) and zeros in the column never qualify, and a
// column without a candidate is left as it is. Once the pivot row is in place,
// eliminate(k) reduces the rows below it. Every column k < min(m, n) is a step, the last
// one too: in a matrix with more rows than columns the rows below the last diagonal
// position still hold values of that column to eliminate, and P*A = L*U needs them as
// multipliers (for square and wide matrices the last step has no row below and changes
// nothing). False (status -1) when an exchange failed.
template <class M, class Mag, class Eliminate>
bool FactorScaled(LmOp& op, M* A, PERM* pivot, VEC* scale, Mag mag, Eliminate eliminate) {
  const unsigned m = A->m, n = A->n;
  for (unsigned i = 0; i < m; ++i) pivot->pe[i] = i;
  for (unsigned i = 0; i < m; ++i) {
    double best = 0.0;
    for (unsigned j = 0; j < n; ++j) {
      const double a = mag(A->me[i][j]);
      if (a > best) best = a;
    }
    scale->ve[i] = best;
  }
  const unsigned kEnd = m < n ? m : n;
  for (unsigned k = 0; k < kEnd; ++k) {
    double best = 0.0;
    int64_t p = -1;
    for (unsigned i = k; i < m; ++i) {
      const double sc = scale->ve[i];
      if (!(sc > 0.0)) continue;
      const double t = mag(A->me[i][k]) / sc;
      if (t > best) {
        best = t;
        p = i;
      }
    }
    if (p < 0) continue;
    if (p != k) {
      _LM_px_transp(pivot, static_cast<unsigned>(p), k, op.callerLine(), op.callerName(), op.st());
      if (op.failed()) return false;
      for (unsigned j = 0; j < n; ++j) std::swap(A->me[p][j], A->me[k][j]);
    }
    eliminate(k);
  }
  return true;
}

}  // namespace kvlm

#endif
