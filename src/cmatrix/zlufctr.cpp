// zlufctr.cpp: complex LU factorisation with scaled partial pivoting, the solve with its
// factors and the inverse built column by column. The factorisation keeps its scale vector
// in a process-wide static record registered with the static-work registry. A solve or
// inverse that fails on a singular matrix leaves its output as it was.
#include "cmatrix/lm_lu.h"
#include "cmatrix/lm_owned.h"
#include "cmatrix/lm_sort.h"
#include "cmatrix/zcomplex_internal.h"
#include "cmatrix/zlufctr.h"

using kvlm::LmOp;
using kvlm::Z;
using kvlm::ZIsZero;

namespace {

const char kFile[] = "zlufctr";

// Row scales of the last factorisation; freed only through the registry of static work.
VEC* g_scale = nullptr;

// True when U has a zero on its diagonal: a solve with the factors may then divide by it.
bool ZeroOnDiagonal(const ZMAT* LU) {
  for (unsigned i = 0; i < LU->m; ++i)
    if (ZIsZero(LU->me[i][i])) return true;
  return false;
}

// Factors A in place as zLUfactor does (the checks made): the kept scale vector sized and
// registered, then FactorFinite (keep: A and pivot put back on a refusal; a scratch copy is
// left as the elimination left it). False on failure.
bool Factor(LmOp& op, ZMAT* A, PERM* pivot, bool keep) {
  const unsigned m = A->m, n = A->n;
  VEC* scale = _LM_v_resize(op.callerName(), kvlm::lm_context, g_scale, static_cast<int>(m),
                            op.callerLine(), op.callerName(), op.st());
  if (op.failed()) return false;
  g_scale = scale;
  kvlm::RegisterStatic(&g_scale, TYPE_VEC);
  // Row k holds the pivot: each row below keeps its multiplier in column k and loses that
  // multiple of row k beyond it.
  auto eliminate = [&](unsigned k) {
    const Z piv = A->me[k][k];
    for (unsigned i = k + 1; i < m; ++i) {
      Z* row = A->me[i];
      row[k] = zdiv(row[k], piv);
      if (k + 1 < n)
        __zmltadd__(row + k + 1, A->me[k] + k + 1, zneg(row[k]), static_cast<int>(n - k - 1), 0);
    }
  };
  return kvlm::FactorFinite(op, A, pivot, scale, zabs, eliminate, keep, "zLUfactor");
}

}  // namespace

extern "C" {

ZMAT* zLUfactor(ZMAT* A, PERM* pivot, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zLUfactor", callerLine, callerName, status);
  if (A == nullptr || pivot == nullptr) LM_FAIL(op, 8, nullptr);
  if (A->m != pivot->size) LM_FAIL(op, 1, nullptr);
  if (!Factor(op, A, pivot, true)) return nullptr;
  return op.done(A);
}

ZVEC* zLUsolve(ZMAT* LU, PERM* pivot, ZVEC* b, ZVEC* x, int callerLine, const char* callerName,
               int* status) {
  LmOp op(kFile, "zLUsolve", callerLine, callerName, status);
  if (LU == nullptr || b == nullptr || pivot == nullptr) LM_FAIL(op, 8, nullptr);
  // A pivot of another order than the factors would leave part of x unpermuted.
  if (LU->n != LU->m || LU->n != b->dim || pivot->size != LU->m) LM_FAIL(op, 1, nullptr);
  auto steps = [&](ZVEC* v) {
    _LM_px_zvec(pivot, b, v, callerLine, callerName, op.st());
    if (!op.failed()) zLsolve(LU, v, v, 1.0, callerLine, callerName, op.st());
    if (!op.failed()) zUsolve(LU, v, v, 0.0, callerLine, callerName, op.st());
    return !op.failed();
  };
  if (!ZeroOnDiagonal(LU) && kvlm::IsPermutation(pivot->pe, pivot->size)) {
    // No step can fail once x is sized: the solve runs in x itself (which may be b).
    ZVEC* res = x;
    if (res == nullptr || res->dim < b->dim) {
      res = _LM_zv_resize(callerName, kvlm::lm_context, x, static_cast<int>(b->dim), callerLine,
                          callerName, op.st());
      LM_CHECK(op, nullptr);
    }
    if (!steps(res)) {
      kvlm::DropIfNew(res, x);
      return nullptr;
    }
    return op.done(res);
  }
  // A zero pivot or a pivot that is no permutation may stop the solve part-way: it runs on a
  // scratch vector, and x is grown and written only once every step succeeded.
  ZVEC* work = _LM_zv_get(callerName, kvlm::lm_context, static_cast<int>(b->dim), callerLine,
                          callerName, op.st());
  LM_CHECK(op, nullptr);
  if (!steps(work)) {
    zv_free(work);
    return nullptr;
  }
  ZVEC* res = x;
  if (res == nullptr || res->dim < b->dim)
    res = _LM_zv_resize(callerName, kvlm::lm_context, x, static_cast<int>(b->dim), callerLine,
                        callerName, op.st());
  if (!op.failed())
    for (unsigned i = 0; i < b->dim; ++i) res->ve[i] = work->ve[i];
  zv_free(work);
  LM_CHECK(op, nullptr);
  return op.done(res);
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
  ZMAT* work = nullptr;
  copy = _LM__zm_copy(A, nullptr, 0, 0, callerLine, callerName, op.st());
  if (!op.failed()) unit = _LM_zv_get(callerName, kvlm::lm_context, n, callerLine, callerName, op.st());
  if (!op.failed()) col = _LM_zv_get(callerName, kvlm::lm_context, n, callerLine, callerName, op.st());
  if (!op.failed()) pivot = _LM_px_get(callerName, kvlm::lm_context, n, callerLine, callerName, op.st());
  if (!op.failed()) work = _LM_zm_get(callerName, kvlm::lm_context, n, n, callerLine, callerName, op.st());
  // A^-1 = 2^-e (A 2^-e)^-1, the largest modulus of A 2^-e in [0.5, 1): the factors of a
  // matrix of huge or tiny entries stay in range. Scaling by a power of two is exact.
  int e = 0;
  if (!op.failed()) {
    e = kvlm::ScaleExponent(copy, zabs, false);
    kvlm::ScaleBy(copy, -e, false);
    Factor(op, copy, pivot, false);
  }
  // The columns are solved aside, so that a failure (a singular A: code 4 from zUsolve; an
  // inverse beyond the range of double: code 7) leaves out as it was.
  for (int i = 0; !op.failed() && i < n; ++i) {
    _LM_zv_zero(unit, callerLine, callerName, op.st());
    if (op.failed()) break;
    unit->ve[i].re = 1.0;
    unit->ve[i].im = 0.0;
    // col has A.m entries already, so the solve fills it in place (no new record).
    ZVEC* solved = zLUsolve(copy, pivot, unit, col, callerLine, callerName, op.st());
    if (op.failed()) break;
    col = solved;
    for (int j = 0; j < n; ++j) {
      work->me[j][i] = col->ve[j];
      kvlm::ScaleElem(work->me[j][i], -e);
    }
  }
  if (!op.failed() && !kvlm::AllFinite(work)) op.raise(7, __LINE__);
  ZMAT* res = out;
  if (!op.failed() && (out == nullptr || out->m < A->m || out->n < A->n))
    res = _LM_zm_resize(callerName, kvlm::lm_context, out, n, n, callerLine, callerName, op.st());
  if (!op.failed())
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) res->me[i][j] = work->me[i][j];
  const bool ok = !op.failed();
  // Scratch records are released on every path, the failing ones included.
  if (copy != nullptr) zm_free(copy);
  if (unit != nullptr) zv_free(unit);
  if (col != nullptr) zv_free(col);
  if (pivot != nullptr) px_free(pivot);
  if (work != nullptr) zm_free(work);
  if (!ok) {
    *op.st() = -1;
    fct_Trace("_LM_zm_inverse", __LINE__, kFile);
    return nullptr;
  }
  return op.done(res);
}

}  // extern "C"
