// zlufctr.cpp: complex LU factorisation with scaled partial pivoting, the solve with its
// factors and the inverse built column by column. The factorisation keeps its scale vector
// in a process-wide static record registered with the static-work registry.
#include <cstdint>

#include "cmatrix/zcomplex_internal.h"
#include "cmatrix/zlufctr.h"

using kvlm::LmOp;
using kvlm::Z;
using kvlm::ZIsZero;

namespace {

const char kFile[] = "zlufctr";

// Row scales of the last factorisation; freed only through the registry of static work.
VEC* g_scale = nullptr;

}  // namespace

extern "C" {

ZMAT* zLUfactor(ZMAT* A, PERM* pivot, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zLUfactor", callerLine, callerName, status);
  if (A == nullptr || pivot == nullptr) LM_FAIL(op, 8, nullptr);
  if (A->m != pivot->size) LM_FAIL(op, 1, nullptr);
  const unsigned m = A->m, n = A->n;

  VEC* scale = _LM_v_resize(callerName, kvlm::lm_context, g_scale, static_cast<int>(m),
                            callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  g_scale = scale;
  kvlm::RegisterStatic(reinterpret_cast<void**>(&g_scale), TYPE_VEC);

  for (unsigned i = 0; i < m; ++i) pivot->pe[i] = i;
  // Scales come from the matrix as given, before any exchange; they stay with the positions.
  for (unsigned i = 0; i < m; ++i) {
    double best = 0.0;
    for (unsigned j = 0; j < n; ++j) {
      const double a = zabs(A->me[i][j]);
      if (a > best) best = a;
    }
    scale->ve[i] = best;
  }

  const unsigned kmax = m < n ? m : n;
  if (kmax == 1) return op.done(A);
  for (unsigned k = 0; k + 1 < kmax; ++k) {
    double best = 0.0;
    int64_t p = -1;
    for (unsigned i = k; i < m; ++i) {
      if (!(scale->ve[i] > 0.0)) continue;
      const double t = zabs(A->me[i][k]) / scale->ve[i];
      if (t > best) {
        best = t;
        p = i;
      }
    }
    if (p < 0) continue;  // nothing to eliminate with in this column
    if (p != k) {
      _LM_px_transp(pivot, static_cast<unsigned>(p), k, callerLine, callerName, op.st());
      LM_CHECK(op, nullptr);
      Z* rp = A->me[p];
      Z* rk = A->me[k];
      for (unsigned j = 0; j < n; ++j) {
        const Z t = rp[j];
        rp[j] = rk[j];
        rk[j] = t;
      }
    }
    const Z piv = A->me[k][k];
    for (unsigned i = k + 1; i < m; ++i) {
      Z* row = A->me[i];
      row[k] = zdiv(row[k], piv);
      if (k + 1 < n) {
        Z neg;
        neg.re = -row[k].re;
        neg.im = -row[k].im;
        __zmltadd__(row + k + 1, A->me[k] + k + 1, neg, static_cast<int>(n - k - 1), 0);
      }
    }
  }
  return op.done(A);
}

ZVEC* zLUsolve(ZMAT* LU, PERM* pivot, ZVEC* b, ZVEC* x, int callerLine, const char* callerName,
               int* status) {
  LmOp op(kFile, "zLUsolve", callerLine, callerName, status);
  if (LU == nullptr || b == nullptr || pivot == nullptr) LM_FAIL(op, 8, nullptr);
  // A pivot of another order than the factors would leave part of x unpermuted.
  if (LU->n != LU->m || LU->n != b->dim || pivot->size != LU->m) LM_FAIL(op, 1, nullptr);
  x = _LM_px_zvec(pivot, b, x, callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  zLsolve(LU, x, x, 1.0, callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  zUsolve(LU, x, x, 0.0, callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  return op.done(x);
}

ZMAT* _LM_zm_inverse(ZMAT* A, ZMAT* out, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zm_inverse", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, nullptr);
  if (A->n != A->m) LM_FAIL(op, 9, nullptr);
  const int n = static_cast<int>(A->m);

  ZMAT* copy = nullptr;
  ZVEC* unit = nullptr;
  ZVEC* col = nullptr;
  PERM* pivot = nullptr;
  bool ok = true;
  if (out == nullptr || out->m < A->m || out->n < A->n) {
    out = _LM_zm_resize(callerName, kvlm::lm_context, out, n, n, callerLine, callerName, op.st());
    ok = !op.failed();
  }
  if (ok) copy = _LM__zm_copy(A, nullptr, 0, 0, callerLine, callerName, op.st());
  if (ok && !op.failed()) unit = _LM_zv_get(callerName, kvlm::lm_context, n, callerLine, callerName, op.st());
  if (ok && !op.failed()) col = _LM_zv_get(callerName, kvlm::lm_context, n, callerLine, callerName, op.st());
  if (ok && !op.failed()) pivot = _LM_px_get(callerName, kvlm::lm_context, n, callerLine, callerName, op.st());
  if (ok && !op.failed()) zLUfactor(copy, pivot, callerLine, callerName, op.st());
  ok = ok && !op.failed();
  for (int i = 0; ok && i < n; ++i) {
    _LM_zv_zero(unit, callerLine, callerName, op.st());
    if (op.failed()) break;
    unit->ve[i].re = 1.0;
    unit->ve[i].im = 0.0;
    // col has A.m entries already, so the solve fills it in place (no new record).
    ZVEC* solved = zLUsolve(copy, pivot, unit, col, callerLine, callerName, op.st());
    if (op.failed()) break;
    col = solved;
    _LM_zset_col(out, i, col, callerLine, callerName, op.st());
    if (op.failed()) break;
  }
  ok = ok && !op.failed();
  // Scratch records are released on every path, the failing ones included.
  if (copy != nullptr) zm_free(copy);
  if (unit != nullptr) zv_free(unit);
  if (col != nullptr) zv_free(col);
  if (pivot != nullptr) px_free(pivot);
  if (!ok) {
    *op.st() = -1;
    fct_Trace("_LM_zm_inverse", __LINE__, kFile);
    return nullptr;
  }
  return op.done(out);
}

}  // extern "C"
