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

// Sizes out for a solve of order dim: grown to cols when NULL or shorter than dim.
ZVEC* SizeSolveOut(LmOp& op, ZVEC* out, unsigned dim, unsigned cols) {
  if (out == nullptr || out->dim < dim)
    out = _LM_zv_resize(op.callerName(), kvlm::lm_context, out, static_cast<int>(cols),
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
  if (U == nullptr || b == nullptr) LM_FAIL(op, 8, nullptr);
  const unsigned dim = U->m < U->n ? U->m : U->n;
  if (b->dim < dim) LM_FAIL(op, 1, nullptr);
  out = SizeSolveOut(op, out, dim, U->n);
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
  if (L == nullptr || b == nullptr) LM_FAIL(op, 8, nullptr);
  const unsigned dim = L->m < L->n ? L->m : L->n;
  if (b->dim < dim) LM_FAIL(op, 1, nullptr);
  out = SizeSolveOut(op, out, dim, L->n);
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
