// zsolve.cpp: complex triangular solves by back and forward substitution. Leading or
// trailing zeros of the right-hand side are skipped without arithmetic, and a diagonal entry
// is singular only when both its parts are exactly 0.0. Every diagonal entry a solve will
// divide by is checked before out is sized or written, so a zero divisor (code 4) leaves
// out as it was.
#include <cstdint>

#include "cmatrix/zcomplex_internal.h"
#include "cmatrix/zlufctr.h"

using kvlm::LmOp;
using kvlm::Z;
using kvlm::ZIsZero;

namespace {

const char kFile[] = "zsolve";

// The checks of both solves: A and b given (8), b covering the order min(m, n) of A (1, the
// order left in *dim). False with the status -1 on failure.
bool Check(LmOp& op, ZMAT* A, ZVEC* b, unsigned* dim) {
  if (A == nullptr || b == nullptr) LM_FAIL(op, 8, false);
  *dim = A->m < A->n ? A->m : A->n;
  if (b->dim < *dim) LM_FAIL(op, 1, false);
  return true;
}

// The rows first .. last that the solve divides by their diagonal entry (diag 0.0) checked
// (4), then out grown to A's column count when NULL or shorter than the order. NULL with
// the status -1 on failure, out untouched.
ZVEC* Prepare(LmOp& op, ZMAT* A, ZVEC* out, unsigned dim, int64_t first, int64_t last,
              double diag) {
  if (diag == 0.0)
    for (int64_t i = first; i <= last; ++i)
      if (ZIsZero(A->me[i][i])) LM_FAIL(op, 4, nullptr);
  if (out == nullptr || out->dim < dim)
    out = _LM_zv_resize(op.callerName(), kvlm::lm_context, out, static_cast<int>(A->n),
                        op.callerLine(), op.callerName(), op.st());
  return out;
}

// s divided by the diagonal entry d, or by diag when it is not 0.0 (d checked non-zero).
Z Divide(const Z& s, const Z& d, double diag) {
  if (diag == 0.0) return kvlm::ZQuotient(s, d);
  Z q;
  q.re = s.re / diag;
  q.im = s.im / diag;
  return q;
}

}  // namespace

extern "C" {

ZVEC* zUsolve(ZMAT* U, ZVEC* b, ZVEC* out, double diag, int callerLine, const char* callerName,
              int* status) {
  LmOp op(kFile, "zUsolve", callerLine, callerName, status);
  unsigned dim = 0;
  if (!Check(op, U, b, &dim)) return nullptr;
  int64_t t = static_cast<int64_t>(dim) - 1;
  while (t >= 0 && ZIsZero(b->ve[t])) --t;
  out = Prepare(op, U, out, dim, 0, t, diag);
  LM_CHECK(op, nullptr);
  // b may be out: every b[i] is read before out[i] is written.
  for (int64_t i = static_cast<int64_t>(dim) - 1; i > t; --i) {
    out->ve[i].re = 0.0;
    out->ve[i].im = 0.0;
  }
  for (int64_t i = t; i >= 0; --i) {
    const Z dot = __zip__(U->me[i] + i + 1, out->ve + i + 1, static_cast<int>(t - i), 0);
    out->ve[i] = Divide(zsub(b->ve[i], dot), U->me[i][i], diag);
  }
  return op.done(out);
}

ZVEC* zLsolve(ZMAT* L, ZVEC* b, ZVEC* out, double diag, int callerLine, const char* callerName,
              int* status) {
  LmOp op(kFile, "zLsolve", callerLine, callerName, status);
  unsigned dim = 0;
  if (!Check(op, L, b, &dim)) return nullptr;
  unsigned f = 0;
  while (f < dim && ZIsZero(b->ve[f])) ++f;
  out = Prepare(op, L, out, dim, f, static_cast<int64_t>(dim) - 1, diag);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < f; ++i) {
    out->ve[i].re = 0.0;
    out->ve[i].im = 0.0;
  }
  for (unsigned i = f; i < dim; ++i) {
    const Z dot = __zip__(L->me[i] + f, out->ve + f, static_cast<int>(i - f), 0);
    out->ve[i] = Divide(zsub(b->ve[i], dot), L->me[i][i], diag);
  }
  return op.done(out);
}

}  // extern "C"
