// lufactor.cpp: LU factorisation with scaled partial pivoting in place, the solves with
// the factors and with their transpose, the inverse built column by column, and a cheap
// estimate of the condition number. Work records are kept between calls in process-wide
// pointers registered with the static-work registry: these operations are not re-entrant.
// A solve or inverse that fails on a singular matrix leaves its output as it was.
#include <cmath>
#include <cstdint>

#include "cmatrix/lm_lu.h"
#include "cmatrix/lm_owned.h"
#include "cmatrix/lm_sort.h"
#include "cmatrix/lm_status.h"
#include "matrix.h"

using kvlm::DropIfNew;
using kvlm::LmOp;
using kvlm::RegisterStatic;

namespace {

const char kFile[] = "lufactor";

// Kept work records (process-wide, unguarded).
VEC* lu_scale = nullptr;        // _LM_LUfactor: row scales
MAT* inv_copy = nullptr;        // _LM_m_inverse: the matrix being factored
VEC* inv_unit = nullptr;        // _LM_m_inverse: unit right-hand side
VEC* inv_column = nullptr;      // _LM_m_inverse: solution column
PERM* inv_pivot = nullptr;      // _LM_m_inverse: pivot
VEC* cond_y = nullptr;          // _LM_LUcondest
VEC* cond_z = nullptr;          // _LM_LUcondest

int Len(int64_t n) { return static_cast<int>(n); }

// The condition estimate works on a copy of the factors with U scaled into [0.5, 1) once
// U's largest entry lies beyond 2^kCondSpan or below 2^-kCondSpan.
const int kCondSpan = 64;

// Factors A in place as _LM_LUfactor does (the checks made): the kept scale vector sized and
// registered, then FactorFinite with keep (A and pivot put back on a refusal, or left as the
// elimination left them for a scratch copy). Trace mark and false on failure.
bool Factor(LmOp& op, MAT* A, PERM* pivot, bool keep) {
  const unsigned m = A->m, n = A->n;
  VEC* scale = _LM_v_resize("_LM_LUfactor", kvlm::lm_context, lu_scale, static_cast<int>(m), op.callerLine(),
                            op.callerName(), op.st());
  if (op.failed()) {
    fct_Trace("_LM_LUfactor", __LINE__, kFile);
    return false;
  }
  lu_scale = scale;
  RegisterStatic(&lu_scale, TYPE_VEC);
  // Row k holds the pivot: each row below keeps its multiplier in column k and loses that
  // multiple of row k beyond it.
  auto eliminate = [&](unsigned k) {
    const double piv = A->me[k][k];
    for (unsigned i = k + 1; i < m; ++i) {
      A->me[i][k] = A->me[i][k] / piv;
      if (k + 1 < n) __mltadd__(&A->me[i][k + 1], &A->me[k][k + 1], -A->me[i][k], Len(n - k - 1));
    }
  };
  auto mag = [](double a) { return std::fabs(a); };
  if (!kvlm::FactorFinite(op, A, pivot, scale, mag, eliminate, keep, "_LM_LUfactor")) {
    fct_Trace("_LM_LUfactor", __LINE__, kFile);
    return false;
  }
  return true;
}

}  // namespace

extern "C" {

KVELO_API MAT* _LM_LUfactor(MAT* A, PERM* pivot, int callerLine, const char* callerName,
                            int* status) {
  LmOp op(kFile, "_LM_LUfactor", callerLine, callerName, status);
  if (A == nullptr || pivot == nullptr) LM_FAIL(op, 8, nullptr);
  if (A->m != pivot->size) LM_FAIL(op, 1, nullptr);
  if (!Factor(op, A, pivot, true)) return nullptr;
  return op.done(A);
}

}  // extern "C"

namespace {

// The checks shared by the two solves with the factors; the pivot must match the factors,
// else part of the right-hand side would never be permuted into place.
bool CheckFactors(MAT* LU, PERM* pivot, VEC* b, LmOp& op) {
  if (LU == nullptr || b == nullptr || pivot == nullptr) {
    op.raise(8, __LINE__);
    return false;
  }
  if (LU->n != LU->m || LU->n != b->dim || pivot->size != LU->m) {
    op.raise(1, __LINE__);
    return false;
  }
  return true;
}

// True when U has a zero on its diagonal: a solve with the factors may then divide by it.
bool ZeroOnDiagonal(const MAT* LU) {
  for (unsigned i = 0; i < LU->m; ++i)
    if (LU->me[i][i] == 0.0) return true;
  return false;
}

// A solve with the factors in steps that may fail part-way (a zero pivot met, a pivot that
// is no permutation): the steps run on a scratch copy, and x is sized and written only once
// they all succeeded, so that a failure leaves x as it was. steps(v) works on v in place
// and returns false (status -1) when a step failed.
template <class Steps>
VEC* SolveAside(LmOp& op, VEC* b, VEC* x, const char* tag, Steps steps) {
  VEC* work = _LM__v_copy(b, nullptr, 0, op.callerLine(), op.callerName(), op.st());
  if (op.failed()) return nullptr;
  if (!steps(work)) {
    v_free(work);
    return nullptr;
  }
  VEC* res = _LM_v_resize(tag, kvlm::lm_context, x, static_cast<int>(b->dim), op.callerLine(),
                          op.callerName(), op.st());
  if (!op.failed()) _LM__v_copy(work, res, 0, op.callerLine(), op.callerName(), op.st());
  v_free(work);
  if (op.failed()) {
    DropIfNew(res, x);
    return nullptr;
  }
  return res;
}

}  // namespace

extern "C" {

KVELO_API VEC* _LM_LUsolve(MAT* LU, PERM* pivot, VEC* b, VEC* x, int callerLine,
                           const char* callerName, int* status) {
  LmOp op(kFile, "_LM_LUsolve", callerLine, callerName, status);
  if (!CheckFactors(LU, pivot, b, op)) return nullptr;
  auto steps = [&](VEC* v) {
    _LM_px_vec(pivot, b, v, callerLine, callerName, op.st());
    if (!op.failed()) _LM_Lsolve(LU, v, v, 1.0, callerLine, callerName, op.st());
    if (!op.failed()) _LM_Usolve(LU, v, v, 0.0, callerLine, callerName, op.st());
    return !op.failed();
  };
  VEC* res = nullptr;
  if (ZeroOnDiagonal(LU) || !kvlm::IsPermutation(pivot->pe, pivot->size)) {
    res = SolveAside(op, b, x, "_LM_LUsolve", steps);
  } else {
    // No step can fail once x is sized: the solve runs in x itself (which may be b).
    res = _LM_v_resize("_LM_LUsolve", kvlm::lm_context, x, static_cast<int>(b->dim), callerLine,
                       callerName, op.st());
    if (!op.failed() && !steps(res)) DropIfNew(res, x);
  }
  if (op.failed()) {
    fct_Trace("_LM_LUsolve", __LINE__, kFile);
    return nullptr;
  }
  return op.done(res);
}

KVELO_API VEC* _LM_LUTsolve(MAT* LU, PERM* pivot, VEC* b, VEC* x, int callerLine,
                            const char* callerName, int* status) {
  LmOp op(kFile, "LUTsolve", callerLine, callerName, status);
  if (!CheckFactors(LU, pivot, b, op)) return nullptr;
  auto steps = [&](VEC* v) {
    _LM_UTsolve(LU, v, v, 0.0, callerLine, callerName, op.st());
    if (!op.failed()) _LM_LTsolve(LU, v, v, 1.0, callerLine, callerName, op.st());
    if (!op.failed()) _LM_pxinv_vec(pivot, v, v, callerLine, callerName, op.st());
    return !op.failed();
  };
  VEC* res = nullptr;
  if (ZeroOnDiagonal(LU) || !kvlm::IsPermutation(pivot->pe, pivot->size)) {
    res = SolveAside(op, b, x, "_LM_LUTsolve", steps);
  } else {
    res = _LM__v_copy(b, x, 0, callerLine, callerName, op.st());
    if (!op.failed() && !steps(res)) DropIfNew(res, x);
  }
  if (op.failed()) {
    fct_Trace("_LM_LUTsolve", __LINE__, kFile);
    return nullptr;
  }
  return op.done(res);
}

KVELO_API MAT* _LM_m_inverse(MAT* A, MAT* out, int callerLine, const char* callerName,
                             int* status) {
  LmOp op(kFile, "m_inverse", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, nullptr);
  if (A->n != A->m) LM_FAIL(op, 9, nullptr);
  const int n = static_cast<int>(A->m);
  MAT* work = nullptr;
  auto fail = [&](int line) -> MAT* {
    fct_Trace("_LM_m_inverse", line, kFile);
    if (work != nullptr) m_free(work);
    return nullptr;
  };
  MAT* copy = _LM__m_copy(A, inv_copy, 0, 0, callerLine, callerName, op.st());
  if (op.failed()) return fail(__LINE__);
  inv_copy = copy;
  VEC* unit = _LM_v_resize("_LM_m_inverse", kvlm::lm_context, inv_unit, n, callerLine, callerName, op.st());
  if (op.failed()) return fail(__LINE__);
  inv_unit = unit;
  VEC* column = _LM_v_resize("_LM_m_inverse", kvlm::lm_context, inv_column, n, callerLine, callerName,
                             op.st());
  if (op.failed()) return fail(__LINE__);
  inv_column = column;
  PERM* pivot = _LM_px_resize("_LM_m_inverse", kvlm::lm_context, inv_pivot, n, callerLine, callerName,
                              op.st());
  if (op.failed()) return fail(__LINE__);
  inv_pivot = pivot;
  RegisterStatic(&inv_copy, TYPE_MAT);
  RegisterStatic(&inv_unit, TYPE_VEC);
  RegisterStatic(&inv_column, TYPE_VEC);
  RegisterStatic(&inv_pivot, TYPE_PERM);

  // A^-1 = 2^-e (A 2^-e)^-1, with the largest entry of A 2^-e in [0.5, 1): the factors of a
  // matrix of huge or tiny entries then stay in range (1e308 [[1, 1], [-1, 1]] has
  // condition 1, but its own U holds 2e308). Scaling by a power of two is exact.
  const int e = kvlm::ScaleExponent(copy, [](double a) { return std::fabs(a); }, false);
  kvlm::ScaleBy(copy, -e, false);
  if (!Factor(op, copy, pivot, false)) return fail(__LINE__);
  // The columns are solved aside, so that a failure (a singular A: code 4 from the back
  // substitution; an inverse beyond the range of double: code 7) leaves out as it was.
  work = _LM_m_get("_LM_m_inverse", kvlm::lm_context, n, n, callerLine, callerName, op.st());
  if (op.failed()) return fail(__LINE__);
  for (int i = 0; i < n; ++i) {
    _LM_v_zero(unit, callerLine, callerName, op.st());
    if (op.failed()) return fail(__LINE__);
    unit->ve[i] = 1.0;
    VEC* col = _LM_LUsolve(copy, pivot, unit, column, callerLine, callerName, op.st());
    if (op.failed()) return fail(__LINE__);
    inv_column = column = col;
    for (int j = 0; j < n; ++j) work->me[j][i] = std::ldexp(column->ve[j], -e);
  }
  if (!kvlm::AllFinite(work)) {
    op.raise(7, __LINE__);
    return fail(__LINE__);
  }
  MAT* res = out;
  if (res == nullptr || res->m < A->m || res->n < A->n) {
    res = _LM_m_resize("_LM_m_inverse", kvlm::lm_context, out, n, n, callerLine, callerName, op.st());
    if (op.failed()) return fail(__LINE__);
  }
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) res->me[i][j] = work->me[i][j];
  m_free(work);
  return op.done(res);
}

KVELO_API double _LM_LUcondest(MAT* LU, PERM* pivot, int callerLine, const char* callerName,
                               int* status) {
  LmOp op(kFile, "LUcondest", callerLine, callerName, status);
  if (LU == nullptr || pivot == nullptr) LM_FAIL(op, 8, 0.0);
  if (LU->m != LU->n) LM_FAIL(op, 9, 0.0);
  if (pivot->size != LU->n) LM_FAIL(op, 1, 0.0);
  const unsigned n = LU->n;
  VEC* y = _LM_v_resize("_LM_LUcondest", kvlm::lm_context, cond_y, static_cast<int>(n), callerLine,
                        callerName, op.st());
  if (!op.failed()) {
    cond_y = y;
    VEC* z = _LM_v_resize("_LM_LUcondest", kvlm::lm_context, cond_z, static_cast<int>(n), callerLine,
                          callerName, op.st());
    if (!op.failed()) cond_z = z;
  }
  if (op.failed()) {
    fct_Trace("_LM_LUcondest", __LINE__, kFile);
    return -1.0;
  }
  RegisterStatic(&cond_y, TYPE_VEC);
  RegisterStatic(&cond_z, TYPE_VEC);

  // The estimate is the same for LU and for L with U 2^-e (the powers of two cancel in
  // |z| |L| |U| / |y|). Where U's largest entry is far from 1 the work runs on such a copy,
  // whose U lies in [0.5, 1): otherwise y = U^-T e overflows for subnormal entries and
  // normL * normU for entries near the largest double. The copy changes no bit elsewhere:
  // scaling by a power of two is exact wherever nothing over- or underflows.
  // A U whose diagonal spans much of the range can overflow y = U^-T e even within the span
  // (U = diag(4e-16, 1e-323): 1/1e-323); the estimate is then made again on the scaled copy.
  const int e = kvlm::ScaleExponent(LU, [](double a) { return std::fabs(a); }, true);
  bool forceScale = false;
again:
  MAT* F = LU;
  MAT* scaled = nullptr;
  if (e > kCondSpan || e < -kCondSpan || (forceScale && e != 0)) {
    scaled = _LM__m_copy(LU, nullptr, 0, 0, callerLine, callerName, op.st());
    if (op.failed()) {
      fct_Trace("_LM_LUcondest", __LINE__, kFile);
      return -1.0;
    }
    kvlm::ScaleBy(scaled, -e, true);
    F = scaled;
  }
  auto finish = [&](double r) {
    if (scaled != nullptr) m_free(scaled);
    return r;
  };
  auto fail = [&](int line) {
    fct_Trace("_LM_LUcondest", line, kFile);
    return finish(0.0);
  };

  // Solve U^T y = e with each e[i] = -1 or +1 chosen to make |y| grow.
  for (unsigned i = 0; i < n; ++i) {
    double s = 0.0;
    for (unsigned j = 0; j < i; ++j) s = s + (0.0 - F->me[j][i] * y->ve[j]);
    const double d = F->me[i][i];
    if (d == 0.0) return finish(op.done(HUGE_VAL));
    y->ve[i] = s < 0.0 ? (s - 1.0) / d : (s + 1.0) / d;
  }
  _LM_LTsolve(F, y, y, 1.0, callerLine, callerName, op.st());
  if (op.failed()) return fail(__LINE__);
  bool yFinite = true;
  for (unsigned i = 0; i < n; ++i) yFinite = yFinite && std::isfinite(y->ve[i]);
  if (!yFinite && scaled == nullptr && e != 0 && !forceScale) {
    forceScale = true;
    goto again;
  }
  // The estimate does not change when y is scaled, but z = A^-1 y is about |y| / |A|: for a
  // matrix of entries near 1e200 it would underflow to zero (and overflow near 1e-200). y is
  // brought to an infinity norm in [0.5, 1) by a power of two first, which is exact, so the
  // estimate is the same to the last bit wherever it did not over- or underflow before.
  const double yNorm = _LM__v_norm_inf(y, nullptr, callerLine, callerName, op.st());
  if (op.failed()) return fail(__LINE__);
  if (std::isfinite(yNorm) && yNorm > 0.0) {
    int ey = 0;
    std::frexp(yNorm, &ey);
    for (unsigned i = 0; i < n; ++i) y->ve[i] = std::ldexp(y->ve[i], -ey);
  }
  VEC* z = _LM_LUsolve(F, pivot, y, cond_z, callerLine, callerName, op.st());
  if (op.failed()) return fail(__LINE__);
  cond_z = z;

  double normU = 0.0, normL = 0.0;
  for (unsigned i = 0; i < n; ++i) {
    double su = 0.0, sl = 0.0;
    for (unsigned j = i; j < n; ++j) su += std::fabs(F->me[i][j]);
    for (unsigned j = 0; j < i; ++j) sl += std::fabs(F->me[i][j]);
    sl = 1.0 + sl;  // L's unit diagonal
    normU = kvlm::MaxKeepingNaN(normU, su);
    normL = kvlm::MaxKeepingNaN(normL, sl);
  }
  const double nz = _LM__v_norm_inf(z, nullptr, callerLine, callerName, op.st());
  if (op.failed()) return fail(__LINE__);
  const double ny = _LM__v_norm_inf(y, nullptr, callerLine, callerName, op.st());
  if (op.failed()) return fail(__LINE__);
  const double prod = normL * normU;
  double r = nz * prod / ny;
  // The factors are finite (the factorisation hands out no other), so a NaN here is an
  // overflow of the work (inf / inf): the condition number lies beyond the double range.
  if (std::isnan(r)) {
    bool finiteLU = true;
    for (unsigned i = 0; i < n && finiteLU; ++i)
      for (unsigned j = 0; j < n; ++j) finiteLU = finiteLU && std::isfinite(LU->me[i][j]);
    if (finiteLU) r = HUGE_VAL;
  }
  return finish(op.done(r));
}

}  // extern "C"
