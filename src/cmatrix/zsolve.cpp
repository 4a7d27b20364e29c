// zsolve.cpp: complex triangular solves by back and forward substitution. Leading or
// trailing zeros of the right-hand side are skipped without arithmetic, and a diagonal entry
// is singular only when both its parts are exactly 0.0.
#include "cmatrix/zcomplex_internal.h"
#include "cmatrix/zlufctr.h"

using kvlm::LmOp;
using kvlm::Z;
using kvlm::ZIsZero;

namespace {

const char kFile[] = "zsolve";

// The checks and the output of both solves: A and b given (8), b covering the order
// min(m, n) of A (1, the order left in *dim); out grown to A's column count when NULL or
// shorter than the order. NULL with the status -1 on failure.
ZVEC* Prepare(LmOp& op, ZMAT* A, ZVEC* b, ZVEC* out, unsigned* dim) {
  if (A == nullptr || b == nullptr) LM_FAIL(op, 8, nullptr);
  *dim = A->m < A->n ? A->m : A->n;
  if (b->dim < *dim) LM_FAIL(op, 1, nullptr);
  if (out == nullptr || out->dim < *dim)
    out = _LM_zv_resize(op.callerName(), kvlm::lm_context, out, static_cast<int>(A->n),
                        op.callerLine(), op.callerName(), op.st());
  return out;
}

// out = s divided by the diagonal entry d (or by diag when it is not 0.0); false for a zero d.
bool Divide(const Z& s, const Z& d, double diag, Z* out) {
  if (diag != 0.0) {
    out->re = s.re / diag;
    out->im = s.im / diag;
    return true;
  }
  if (ZIsZero(d)) return false;
  *out = zdiv(s, d);
  return true;
}

}  // namespace

extern "C" {

ZVEC* zUsolve(ZMAT* U, ZVEC* b, ZVEC* out, double diag, int callerLine, const char* callerName,
              int* status) {
  LmOp op(kFile, "zUsolve", callerLine, callerName, status);
  unsigned dim = 0;
  out = Prepare(op, U, b, out, &dim);
  LM_CHECK(op, nullptr);
  // b may be out: every b[i] is read before out[i] is written.
  int64_t t = static_cast<int64_t>(dim) - 1;
  for (; t >= 0 && ZIsZero(b->ve[t]); --t) {
    out->ve[t].re = 0.0;
    out->ve[t].im = 0.0;
  }
  for (int64_t i = t; i >= 0; --i) {
    const Z dot = __zip__(U->me[i] + i + 1, out->ve + i + 1, static_cast<int>(t - i), 0);
    const Z s = zsub(b->ve[i], dot);
    if (!Divide(s, U->me[i][i], diag, &out->ve[i])) LM_FAIL(op, 4, nullptr);
  }
  return op.done(out);
}

ZVEC* zLsolve(ZMAT* L, ZVEC* b, ZVEC* out, double diag, int callerLine, const char* callerName,
              int* status) {
  LmOp op(kFile, "zLsolve", callerLine, callerName, status);
  unsigned dim = 0;
  out = Prepare(op, L, b, out, &dim);
  LM_CHECK(op, nullptr);
  unsigned f = 0;
  for (; f < dim && ZIsZero(b->ve[f]); ++f) {
    out->ve[f].re = 0.0;
    out->ve[f].im = 0.0;
  }
  for (unsigned i = f; i < dim; ++i) {
    const Z dot = __zip__(L->me[i] + f, out->ve + f, static_cast<int>(i - f), 0);
    const Z s = zsub(b->ve[i], dot);
    if (!Divide(s, L->me[i][i], diag, &out->ve[i])) LM_FAIL(op, 4, nullptr);
  }
  return op.done(out);
}

}  // extern "C"
