// lm_lu.h: what the real (lufactor) and the complex (zlufctr) LU factorisations share: the
// factorisation with scaled partial pivoting, written once over the element type, and the
// registration of the work records they keep between calls.
#ifndef KVELO_CMATRIX_LM_LU_H
#define KVELO_CMATRIX_LM_LU_H

#include <cmath>
#include <cstdint>
#include <utility>

#include "cmatrix/lm_dense.h"
#include "cmatrix/lm_owned.h"
#include "cmatrix/lm_status.h"
#include "matrix.h"
#include "zmatrix.h"

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
    double best = 0.0, bestMag = 0.0;
    int64_t p = -1, pMag = -1;
    for (unsigned i = k; i < m; ++i) {
      const double sc = scale->ve[i];
      if (!(sc > 0.0)) continue;
      const double a = mag(A->me[i][k]);
      const double t = a / sc;
      if (t > best) {
        best = t;
        p = i;
      }
      if (a > bestMag) {
        bestMag = a;
        pMag = i;
      }
    }
    // A ratio may underflow to 0 (2.2e-308 in a row scaled by 2e16): the column is not
    // empty all the same, and skipping it would leave that entry uneliminated below the
    // diagonal. The largest entry then pivots.
    if (p < 0) p = pMag;
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

// Every entry finite (both parts of a complex one).
inline bool FiniteElem(double a) { return std::isfinite(a); }
inline bool FiniteElem(const ::complex& a) { return std::isfinite(a.re) && std::isfinite(a.im); }
template <class M>
bool AllFinite(const M* A) {
  for (unsigned i = 0; i < A->m; ++i)
    for (unsigned j = 0; j < A->n; ++j)
      if (!FiniteElem(A->me[i][j])) return false;
  return true;
}

// The power of two e that brings the largest mag(entry) of rows [0, m) of A, columns from the
// diagonal on when upper (U of a factored matrix), into [0.5, 1) as entry * 2^-e; 0 when
// that largest entry is 0 or not finite (nothing to scale then).
template <class M, class Mag>
int ScaleExponent(const M* A, Mag mag, bool upper) {
  double big = 0.0;
  for (unsigned i = 0; i < A->m; ++i)
    for (unsigned j = upper ? i : 0; j < A->n; ++j) {
      const double a = mag(A->me[i][j]);
      if (!std::isfinite(a)) return 0;
      if (a > big) big = a;
    }
  int e = 0;
  if (big > 0.0) std::frexp(big, &e);
  return e;
}

// a * 2^e, exact short of a result beyond the normal range.
inline void ScaleElem(double& a, int e) { a = std::ldexp(a, e); }
inline void ScaleElem(::complex& a, int e) {
  a.re = std::ldexp(a.re, e);
  a.im = std::ldexp(a.im, e);
}
// Entries of A (from the diagonal on when upper) times 2^e.
template <class M>
void ScaleBy(M* A, int e, bool upper) {
  if (e == 0) return;
  for (unsigned i = 0; i < A->m; ++i)
    for (unsigned j = upper ? i : 0; j < A->n; ++j) ScaleElem(A->me[i][j], e);
}

// FactorScaled, but a factor that is not finite is never handed out: a matrix holding a NaN
// or an infinity is refused at once (code 7, nothing changed), and so is one whose
// elimination overflows (its factors lie beyond the range of double). With keep, A and
// pivot are then put back from copies taken before the elimination (copies that cannot be
// made end the factorisation first, with the code of the allocation, A untouched); a caller
// factoring a scratch copy of its own passes keep = false. False with status -1 on refusal.
template <class M, class Mag, class Eliminate>
bool FactorFinite(LmOp& op, M* A, PERM* pivot, VEC* scale, Mag mag, Eliminate eliminate, bool keep,
                  const char* tag) {
  if (!AllFinite(A)) {
    op.raise(7, __LINE__);
    return false;
  }
  const unsigned m = A->m, n = A->n;
  // Only the elimination changes values: without a row below the first there is none.
  const bool eliminates = m > 1 && n > 0;
  M* savedA = nullptr;
  PERM* savedP = nullptr;
  if (keep && eliminates) {
    savedA = Dense<M>::Get(tag, lm_context, static_cast<int>(m), static_cast<int>(n), op.callerLine(),
                           op.callerName(), op.st());
    if (!op.failed())
      savedP = _LM_px_copy(pivot, nullptr, op.callerLine(), op.callerName(), op.st());
    if (op.failed()) {
      DropIfNew(savedA, static_cast<M*>(nullptr));
      return false;
    }
    for (unsigned i = 0; i < m; ++i)
      for (unsigned j = 0; j < n; ++j) savedA->me[i][j] = A->me[i][j];
  }
  bool ok = FactorScaled(op, A, pivot, scale, mag, eliminate);
  if (ok && eliminates && !AllFinite(A)) {
    op.raise(7, __LINE__);
    ok = false;
  }
  if (!ok && savedA != nullptr) {
    for (unsigned i = 0; i < m; ++i)
      for (unsigned j = 0; j < n; ++j) A->me[i][j] = savedA->me[i][j];
    for (unsigned i = 0; i < m; ++i) pivot->pe[i] = savedP->pe[i];
  }
  DropIfNew(savedA, static_cast<M*>(nullptr));
  DropIfNew(savedP, static_cast<PERM*>(nullptr));
  return ok;
}

}  // namespace kvlm

#endif
