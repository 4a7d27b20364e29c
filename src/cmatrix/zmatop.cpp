// zmatop.cpp: complex matrix operations of the C matrix library: sums, scaling, products
// with and without adjoints, matrix-vector products and multiply-adds, the adjoint, row and
// column exchange and access, random fills; also the second matrix multiply-add, whose
// messages name the multiply-add module.
#include <cmath>

#include "cmatrix/lm_dense.h"
#include "cmatrix/lm_mltadd.h"
#include "cmatrix/zcomplex_internal.h"

using kvlm::LmOp;
using kvlm::SizedMat;
using kvlm::SizedVec;
using kvlm::Z;
using kvlm::ZIsOne;
using kvlm::ExpSum;
using kvlm::ZIsZero;

namespace {

const char kFile[] = "zmatop";
const char kMltaddFile[] = "m_mltadd";

// s times the sum over t < len of w[t] * a(t) (a(t) conjugated when conj), every term split
// into its real triple products held at their own scale, so that neither a weight s*w[t], nor
// a term, nor the plain sum leaves the range of double before the result does.
template <class Entry>
Z ScaledWeightedSum(const Z& s, Entry a, const Z* w, unsigned len, bool conj) {
  ExpSum re, im;
  for (unsigned t = 0; t < len; ++t) {
    const Z at = a(t);
    const double ar = at.re, ai = conj ? -at.im : at.im, wr = w[t].re, wi = w[t].im;
    // (s w) a with s w = (sr wr - si wi, sr wi + si wr).
    re.AddTriple(1.0, s.re, wr, ar);
    re.AddTriple(-1.0, s.im, wi, ar);
    re.AddTriple(-1.0, s.re, wi, ai);
    re.AddTriple(-1.0, s.im, wr, ai);
    im.AddTriple(1.0, s.re, wr, ai);
    im.AddTriple(-1.0, s.im, wi, ai);
    im.AddTriple(1.0, s.re, wi, ar);
    im.AddTriple(1.0, s.im, wr, ar);
  }
  Z r;
  r.re = re.Value();
  r.im = im.Value();
  return r;
}

bool ZFinite(const Z& z) { return std::isfinite(z.re) && std::isfinite(z.im); }

bool AllFinite(const Z* v, unsigned len) {
  for (unsigned t = 0; t < len; ++t)
    if (!ZFinite(v[t])) return false;
  return true;
}

}  // namespace

extern "C" {

KVELO_API ZMAT* _LM_zm_add(ZMAT* A, ZMAT* B, ZMAT* out, int callerLine, const char* callerName,
                           int* status) {
  LmOp op(kFile, "zm_add", callerLine, callerName, status);
  return kvlm::AddSubMatrices(op, "_LM_zm_add", A, B, out, false);
}

KVELO_API ZMAT* _LM_zm_sub(ZMAT* A, ZMAT* B, ZMAT* out, int callerLine, const char* callerName,
                           int* status) {
  LmOp op(kFile, "zm_sub", callerLine, callerName, status);
  return kvlm::AddSubMatrices(op, "_LM_zm_sub", A, B, out, true);
}

KVELO_API ZMAT* _LM_zsm_mlt(Z s, ZMAT* A, ZMAT* out, int callerLine, const char* callerName,
                            int* status) {
  LmOp op(kFile, "zsm_mlt", callerLine, callerName, status);
  return kvlm::ScaleMatrix(op, "_LM_zsm_mlt", s, A, out);
}

KVELO_API ZMAT* _LM_zm_mlt(ZMAT* A, ZMAT* B, ZMAT* out, int callerLine, const char* callerName,
                           int* status) {
  LmOp op(kFile, "zm_mlt", callerLine, callerName, status);
  return kvlm::MultiplyMatrices(op, "_LM_zm_mlt", A, B, out);
}

KVELO_API ZMAT* _LM_zmma_mlt(ZMAT* A, ZMAT* B, ZMAT* out, int callerLine,
                             const char* callerName, int* status) {
  LmOp op(kFile, "zmma_mlt", callerLine, callerName, status);
  if (A == nullptr || B == nullptr) LM_FAIL(op, 8, nullptr);
  if (out == A || out == B) LM_FAIL(op, 12, nullptr);
  if (A->n != B->n) LM_FAIL(op, 1, nullptr);
  out = SizedMat(op, "_LM_zmma_mlt", out, A->m, B->m);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < A->m; ++i)
    for (unsigned j = 0; j < B->m; ++j)
      out->me[i][j] = __zip__(B->me[j], A->me[i], static_cast<int>(A->n), 1);
  return op.done(out);
}

KVELO_API ZMAT* _LM_zmam_mlt(ZMAT* A, ZMAT* B, ZMAT* out, int callerLine,
                             const char* callerName, int* status) {
  LmOp op(kFile, "zmam_mlt", callerLine, callerName, status);
  if (A == nullptr || B == nullptr) LM_FAIL(op, 8, nullptr);
  if (out == A || out == B) LM_FAIL(op, 12, nullptr);
  if (A->m != B->m) LM_FAIL(op, 1, nullptr);
  out = SizedMat(op, "_LM_zmam_mlt", out, A->n, B->n);
  LM_CHECK(op, nullptr);
  _LM_zm_zero(out, callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < A->m; ++i)
    for (unsigned j = 0; j < A->n; ++j) {
      const Z c = zconj(A->me[i][j]);
      if (!ZIsZero(c)) __zmltadd__(out->me[j], B->me[i], c, static_cast<int>(B->n), 0);
    }
  return op.done(out);
}

KVELO_API ZVEC* _LM_zmv_mlt(ZMAT* A, ZVEC* b, ZVEC* out, int callerLine, const char* callerName,
                            int* status) {
  LmOp op(kFile, "zmv_mlt", callerLine, callerName, status);
  if (A == nullptr || b == nullptr) LM_FAIL(op, 8, nullptr);
  if (b->dim != A->n) LM_FAIL(op, 1, nullptr);
  if (out == b) LM_FAIL(op, 12, nullptr);
  out = SizedVec(op, "_LM_zmv_mlt", out, A->m);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < A->m; ++i)
    out->ve[i] = __zip__(A->me[i], b->ve, static_cast<int>(A->n), 0);
  return op.done(out);
}

KVELO_API ZVEC* _LM_zvm_mlt(ZMAT* A, ZVEC* b, ZVEC* out, int callerLine, const char* callerName,
                            int* status) {
  LmOp op(kFile, "zvm_mlt", callerLine, callerName, status);
  if (A == nullptr || b == nullptr) LM_FAIL(op, 8, nullptr);
  if (b->dim != A->m) LM_FAIL(op, 1, nullptr);
  if (out == b) LM_FAIL(op, 12, nullptr);
  out = SizedVec(op, "_LM_zvm_mlt", out, A->n);
  LM_CHECK(op, nullptr);
  _LM_zv_zero(out, callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < A->m; ++i)
    if (!ZIsZero(b->ve[i])) __zmltadd__(out->ve, A->me[i], b->ve[i], static_cast<int>(A->n), 1);
  return op.done(out);
}

KVELO_API ZMAT* _LM_zm_adjoint(ZMAT* A, ZMAT* out, int callerLine, const char* callerName,
                               int* status) {
  LmOp op(kFile, "zm_adjoint", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, nullptr);
  if (out == A) {
    if (A->m != A->n) LM_FAIL(op, 11, nullptr);
    for (unsigned i = 0; i < A->m; ++i) {
      for (unsigned j = 0; j < i; ++j) {
        const Z a = A->me[i][j], b = A->me[j][i];
        A->me[i][j] = zconj(b);
        A->me[j][i] = zconj(a);
      }
      A->me[i][i] = zconj(A->me[i][i]);
    }
    return op.done(A);
  }
  out = SizedMat(op, "_LM_zm_adjoint", out, A->n, A->m);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < A->m; ++i)
    for (unsigned j = 0; j < A->n; ++j) out->me[j][i] = zconj(A->me[i][j]);
  return op.done(out);
}

KVELO_API ZMAT* _LM_zswap_rows(ZMAT* A, int i, int j, int lo, int hi, int callerLine,
                               const char* callerName, int* status) {
  LmOp op(kFile, "swap_rows", callerLine, callerName, status);
  return kvlm::SwapLines(op, A, false, i, j, lo, hi);
}

KVELO_API ZMAT* _LM_zswap_cols(ZMAT* A, int i, int j, int lo, int hi, int callerLine,
                               const char* callerName, int* status) {
  LmOp op(kFile, "swap_cols", callerLine, callerName, status);
  return kvlm::SwapLines(op, A, true, i, j, lo, hi);
}

KVELO_API ZMAT* _LM_mz_mltadd(ZMAT* A, ZMAT* B, Z s, ZMAT* out, int callerLine,
                              const char* callerName, int* status) {
  LmOp op(kFile, "mz_mltadd", callerLine, callerName, status);
  if (A == nullptr || B == nullptr) LM_FAIL(op, 8, nullptr);
  if (A->m != B->m || A->n != B->n) LM_FAIL(op, 1, nullptr);
  if (ZIsZero(s)) return op.done(_LM__zm_copy(A, out, 0, 0, callerLine, callerName, op.st()));
  if (ZIsOne(s)) return op.done(_LM_zm_add(A, B, out, callerLine, callerName, op.st()));
  if (B == out) {
    out = _LM_zsm_mlt(s, B, out, callerLine, callerName, op.st());
    LM_CHECK(op, nullptr);
    return op.done(_LM_zm_add(A, out, out, callerLine, callerName, op.st()));
  }
  out = _LM__zm_copy(A, out, 0, 0, callerLine, callerName, op.st());
  if (op.failed()) {
    fct_Trace("_LM_mz_mltadd", __LINE__, kFile);
    return nullptr;
  }
  for (unsigned i = 0; i < A->m; ++i)
    __zmltadd__(out->me[i], B->me[i], s, static_cast<int>(A->n), 0);
  return op.done(out);
}

KVELO_API ZMAT* _LM_zm_mltadd(ZMAT* A, ZMAT* B, Z s, ZMAT* out, int callerLine,
                              const char* callerName, int* status) {
  LmOp op(kMltaddFile, "zm_mltadd", callerLine, callerName, status);
  if (A == nullptr || B == nullptr) LM_FAIL(op, 8, nullptr);
  if (A->m != B->m || A->n != B->n) LM_FAIL(op, 1, nullptr);
  if (ZIsZero(s)) return op.done(_LM__zm_copy(A, out, 0, 0, callerLine, callerName, op.st()));
  if (ZIsOne(s)) return op.done(_LM_zm_add(A, B, out, callerLine, callerName, op.st()));
  if (out == nullptr || out->m != A->m || out->n != A->n) {
    out = _LM_zm_resize(callerName, 0, out, static_cast<int>(A->m), static_cast<int>(A->n), 174,
                        callerName, op.st());
  }
  if (!op.failed()) {
    if (B == out) {
      out = _LM_zsm_mlt(s, B, out, callerLine, callerName, op.st());
      if (!op.failed()) out = _LM_zm_add(A, out, out, callerLine, callerName, op.st());
    } else {
      out = _LM__zm_copy(A, out, 0, 0, callerLine, callerName, op.st());
      if (!op.failed())
        for (unsigned i = 0; i < A->m; ++i)
          __zmltadd__(out->me[i], B->me[i], s, static_cast<int>(A->n), 0);
    }
  }
  if (op.failed()) {
    fct_Trace("_LM_zm_mltadd", __LINE__, kMltaddFile);
    return nullptr;
  }
  return op.done(out);
}

KVELO_API ZVEC* _LM_zmv_mltadd(ZVEC* x, ZVEC* y, ZMAT* A, Z s, ZVEC* out, int callerLine,
                               const char* callerName, int* status) {
  LmOp op(kFile, "zmv_mltadd", callerLine, callerName, status);
  if (x == nullptr || y == nullptr || A == nullptr) LM_FAIL(op, 8, nullptr);
  if (out == y) LM_FAIL(op, 12, nullptr);
  if (A->m != x->dim || A->n != y->dim) LM_FAIL(op, 1, nullptr);
  out = _LM__zv_copy(x, out, 0, callerLine, callerName, op.st());
  if (op.failed()) {
    fct_Trace("_LM_zmv_mltadd", __LINE__, kFile);
    return nullptr;
  }
  if (ZIsZero(s)) return op.done(out);
  for (unsigned i = 0; i < A->m; ++i) {
    // The row's product first, then the weight; a product of finite factors beyond the range
    // of double, whose weighted value need not be, is formed again term by term at its own
    // scale.
    const Z t = __zip__(A->me[i], y->ve, static_cast<int>(A->n), 0);
    const Z* row = A->me[i];
    const Z p = !ZFinite(t) && ZFinite(s) && AllFinite(row, A->n) && AllFinite(y->ve, A->n)
                    ? ScaledWeightedSum(s, [row](unsigned j) { return row[j]; }, y->ve, A->n, false)
                    : zmlt(t, s);
    out->ve[i] = zadd(out->ve[i], p);
  }
  return op.done(out);
}

KVELO_API ZVEC* _LM_zvm_mltadd(ZVEC* x, ZVEC* y, ZMAT* A, Z s, ZVEC* out, int callerLine,
                               const char* callerName, int* status) {
  LmOp op(kFile, "zvm_mltadd", callerLine, callerName, status);
  if (x == nullptr || y == nullptr || A == nullptr) LM_FAIL(op, 8, nullptr);
  if (out == y) LM_FAIL(op, 12, nullptr);
  if (A->n != x->dim || A->m != y->dim) LM_FAIL(op, 1, nullptr);
  out = _LM__zv_copy(x, out, 0, callerLine, callerName, op.st());
  if (op.failed()) {
    fct_Trace("_LM_zvm_mltadd", __LINE__, kFile);
    return nullptr;
  }
  // Rows weighted by y[i]*s, as long as every weight stands for its products: a weight with
  // a part beyond the range of double (its products with small entries may be finite) or one
  // that underflows to zero (its products with an infinite entry are not zero) sends every
  // column through the sum at its own scale instead.
  bool weightsHold = true;
  for (unsigned i = 0; i < A->m && weightsHold; ++i) {
    const Z t = zmlt(y->ve[i], s);
    if ((!ZFinite(t) && ZFinite(s) && ZFinite(y->ve[i])) ||
        (ZIsZero(t) && !ZIsZero(s) && !ZIsZero(y->ve[i])))
      weightsHold = false;
  }
  if (weightsHold) {
    for (unsigned i = 0; i < A->m; ++i) {
      const Z t = zmlt(y->ve[i], s);
      if (!ZIsZero(t)) __zmltadd__(out->ve, A->me[i], t, static_cast<int>(A->n), 1);
    }
    return op.done(out);
  }
  for (unsigned k = 0; k < A->n; ++k) {
    const Z p =
        ScaledWeightedSum(s, [A, k](unsigned i) { return A->me[i][k]; }, y->ve, A->m, true);
    out->ve[k] = zadd(out->ve[k], p);
  }
  return op.done(out);
}

KVELO_API ZVEC* _LM_zget_col(ZMAT* A, int j, ZVEC* out, int callerLine, const char* callerName,
                             int* status) {
  LmOp op(kFile, "zget_col", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, nullptr);
  if (j < 0 || static_cast<unsigned>(j) >= A->n) LM_FAIL(op, 10, nullptr);
  out = kvlm::GrownVec(op, "_LM_zget_col", out, A->m);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < A->m; ++i) out->ve[i] = A->me[i][j];
  return op.done(out);
}

KVELO_API ZVEC* _LM_zget_row(ZMAT* A, int i, ZVEC* out, int callerLine, const char* callerName,
                             int* status) {
  LmOp op(kFile, "zget_row", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, nullptr);
  if (i < 0 || static_cast<unsigned>(i) >= A->m) LM_FAIL(op, 10, nullptr);
  out = kvlm::GrownVec(op, "_LM_zget_row", out, A->n);
  LM_CHECK(op, nullptr);
  for (unsigned j = 0; j < A->n; ++j) out->ve[j] = A->me[i][j];
  return op.done(out);
}

KVELO_API ZMAT* _LM_zset_col(ZMAT* A, int j, ZVEC* v, int callerLine, const char* callerName,
                             int* status) {
  LmOp op(kFile, "zset_col", callerLine, callerName, status);
  if (A == nullptr || v == nullptr) LM_FAIL(op, 8, nullptr);
  if (j < 0 || static_cast<unsigned>(j) >= A->n) LM_FAIL(op, 10, nullptr);
  const unsigned lim = A->m < v->dim ? A->m : v->dim;
  for (unsigned i = 0; i < lim; ++i) A->me[i][j] = v->ve[i];
  return op.done(A);
}

KVELO_API ZMAT* _LM_zset_row(ZMAT* A, int i, ZVEC* v, int callerLine, const char* callerName,
                             int* status) {
  LmOp op(kFile, "zset_row", callerLine, callerName, status);
  if (A == nullptr || v == nullptr) LM_FAIL(op, 8, nullptr);
  if (i < 0 || static_cast<unsigned>(i) >= A->m) LM_FAIL(op, 10, nullptr);
  const unsigned lim = A->n < v->dim ? A->n : v->dim;
  for (unsigned j = 0; j < lim; ++j) A->me[i][j] = v->ve[j];
  return op.done(A);
}

KVELO_API ZMAT* _LM_zm_rand(ZMAT* A, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zm_rand", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, nullptr);
  for (unsigned i = 0; i < A->m; ++i) kvlm::ZRandFill(A->me[i], A->n);
  return op.done(A);
}

}  // extern "C"
