// zvecop.cpp: complex vector operations of the C matrix library: inner product, scaling,
// sums and differences, multiply-adds and linear combinations, maps, element-wise product
// and quotient, sum, sort by modulus, permutations and random fills.
#include <cfloat>
#include <climits>
#include <cstdarg>
#include <cstdint>

#include "cmatrix/lm_dense.h"
#include "cmatrix/lm_owned.h"
#include "cmatrix/lm_sort.h"
#include "cmatrix/zcomplex_internal.h"

using kvlm::LmOp;
using kvlm::SizedVec;
using kvlm::Z;
using kvlm::ZIsMinusOne;
using kvlm::ZIsOne;
using kvlm::ZIsZero;

namespace {

const char kFile[] = "zvecop";

// The checks of both permutations of x, made before out is sized or written so that a
// refusal changes nothing: px and x given (8), x as long as px (1), px a true permutation,
// each of 0 .. size-1 once (2, reported under the real operation's routine name): a
// repeated entry would copy some elements twice and leave places of out unwritten.
bool CheckPermutation(LmOp& op, PERM* px, ZVEC* x, const char* routine) {
  if (px == nullptr || x == nullptr) LM_FAIL(op, 8, false);
  if (x->dim < px->size) LM_FAIL(op, 1, false);
  if (!kvlm::IsPermutation(px->pe, px->size)) {
    kvlm::RaiseAs(op, kFile, 2, __LINE__, routine);
    return false;
  }
  return true;
}

}  // namespace

namespace kvlm {

// Hands the library's uniform stream to a complex block, two doubles per element, in
// chunks whose double count fits an int (an empty block still makes the one call, which
// seeds a generator never used before).
void ZRandFill(Z* p, unsigned count) {
  double* d = reinterpret_cast<double*>(p);
  uint64_t left = 2ull * count;
  const uint64_t chunk = static_cast<uint64_t>(INT_MAX) & ~1ull;
  if (left == 0) mrandlist(d, 0);
  while (left > 0) {
    const uint64_t k = left < chunk ? left : chunk;
    mrandlist(d, static_cast<int>(k));
    d += k;
    left -= k;
  }
}

}  // namespace kvlm

extern "C" {

KVELO_API Z _LM__zin_prod(ZVEC* a, ZVEC* b, unsigned int i0, int flag, int callerLine,
                          const char* callerName, int* status) {
  LmOp op(kFile, "_zin_prod", callerLine, callerName, status);
  if (a == nullptr || b == nullptr) LM_FAIL(op, 8, zmake(0.0, 0.0));
  const unsigned lim = a->dim < b->dim ? a->dim : b->dim;
  if (i0 > lim) LM_FAIL(op, 2, zmake(0.0, 0.0));
  return op.done(__zip__(a->ve + i0, b->ve + i0, static_cast<int>(lim - i0), flag));
}

KVELO_API ZVEC* _LM_zv_mlt(Z s, ZVEC* x, ZVEC* out, int callerLine, const char* callerName,
                           int* status) {
  LmOp op(kFile, "zv_mlt", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, nullptr);
  out = SizedVec(op, "_LM_zv_mlt", out, x->dim);
  LM_CHECK(op, nullptr);
  if (ZIsZero(s)) return op.done(_LM_zv_zero(out, callerLine, callerName, op.st()));
  if (ZIsOne(s)) return op.done(_LM__zv_copy(x, out, 0, callerLine, callerName, op.st()));
  __zmlt__(x->ve, s, out->ve, static_cast<int>(x->dim));
  return op.done(out);
}

KVELO_API ZVEC* _LM_zv_add(ZVEC* x, ZVEC* y, ZVEC* out, int callerLine, const char* callerName,
                           int* status) {
  LmOp op(kFile, "zv_add", callerLine, callerName, status);
  return kvlm::AddSubVectors(op, "_LM_zv_add", x, y, out, false);
}

KVELO_API ZVEC* _LM_zv_sub(ZVEC* x, ZVEC* y, ZVEC* out, int callerLine, const char* callerName,
                           int* status) {
  LmOp op(kFile, "zv_sub", callerLine, callerName, status);
  return kvlm::AddSubVectors(op, "_LM_zv_sub", x, y, out, true);
}

KVELO_API ZVEC* _LM_zv_mltadd(ZVEC* x, ZVEC* y, Z s, ZVEC* out, int callerLine,
                              const char* callerName, int* status) {
  LmOp op(kFile, "zv_mltadd", callerLine, callerName, status);
  if (x == nullptr || y == nullptr) LM_FAIL(op, 8, nullptr);
  if (x->dim != y->dim) LM_FAIL(op, 1, nullptr);
  if (ZIsZero(s)) return op.done(_LM__zv_copy(x, out, 0, callerLine, callerName, op.st()));
  if (ZIsOne(s)) return op.done(_LM_zv_add(x, y, out, callerLine, callerName, op.st()));
  if (y == out) {
    // Scale y in place first, then add x: no element of y is needed afterwards.
    out = _LM_zv_mlt(s, y, out, callerLine, callerName, op.st());
    if (!op.failed()) out = _LM_zv_add(x, out, out, callerLine, callerName, op.st());
  } else {
    out = _LM__zv_copy(x, out, 0, callerLine, callerName, op.st());
    if (!op.failed()) __zmltadd__(out->ve, y->ve, s, static_cast<int>(x->dim), 0);
  }
  if (op.failed()) {
    fct_Trace("_LM_zv_mltadd", __LINE__, kFile);
    return nullptr;
  }
  return op.done(out);
}

KVELO_API ZVEC* _LM_zv_map(Z (*f)(Z), ZVEC* x, ZVEC* out, int callerLine,
                           const char* callerName, int* status) {
  LmOp op(kFile, "zv_map", callerLine, callerName, status);
  if (x == nullptr || f == nullptr) LM_FAIL(op, 8, nullptr);
  out = SizedVec(op, "_LM_zv_map", out, x->dim);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < x->dim; ++i) out->ve[i] = f(x->ve[i]);
  return op.done(out);
}

KVELO_API ZVEC* _LM__zv_map(Z (*f)(void*, Z), void* params, ZVEC* x, ZVEC* out, int callerLine,
                            const char* callerName, int* status) {
  LmOp op(kFile, "_zv_map", callerLine, callerName, status);
  if (x == nullptr || f == nullptr) LM_FAIL(op, 8, nullptr);
  out = SizedVec(op, "_LM__zv_map", out, x->dim);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < x->dim; ++i) out->ve[i] = f(params, x->ve[i]);
  return op.done(out);
}

KVELO_API ZVEC* _LM_zv_lincomb(int n, ZVEC** v, Z* a, ZVEC* out, int callerLine,
                               const char* callerName, int* status) {
  LmOp op(kFile, "zv_lincomb", callerLine, callerName, status);
  if (v == nullptr || a == nullptr) LM_FAIL(op, 8, nullptr);
  if (n <= 0) return op.done(static_cast<ZVEC*>(nullptr));
  for (int k = 1; k < n; ++k)
    if (out != nullptr && v[k] == out) LM_FAIL(op, 12, nullptr);
  // Every vector is checked before out is sized or written, so a refused one leaves out as
  // it was (a NULL v[0] is refused by the scaling, before it writes).
  for (int k = 1; k < n && v[0] != nullptr; ++k) {
    if (v[k] == nullptr) LM_FAIL(op, 8, nullptr);
    if (v[k]->dim != v[0]->dim) LM_FAIL(op, 1, nullptr);
  }
  ZVEC* res = _LM_zv_mlt(a[0], v[0], out, callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  for (int k = 1; k < n; ++k) {
    // Only an allocation can fail here, and none is needed: res already has the dim.
    ZVEC* next = _LM_zv_mltadd(res, v[k], a[k], res, callerLine, callerName, op.st());
    if (op.failed()) {
      kvlm::DropIfNew(res, out);
      return nullptr;
    }
    res = next;
  }
  return op.done(res);
}

KVELO_API ZVEC* _LM_zv_linlist(int callerLine, const char* callerName, int* status, ZVEC* out,
                               ZVEC* x1, Z a1, ...) {
  LmOp op(kFile, "zv_linlist", callerLine, callerName, status);
  if (x1 == nullptr) return op.done(static_cast<ZVEC*>(nullptr));
  // Every pair is checked before out is sized or written, so a refused one leaves out as it
  // was: a pair whose coefficient is 0 is skipped unchecked; else x must not be out (12)
  // and must have x1's dim (1).
  va_list ap;
  va_start(ap, a1);
  int refused = 0;
  for (ZVEC* x = va_arg(ap, ZVEC*); x != nullptr && refused == 0; x = va_arg(ap, ZVEC*)) {
    const Z a = va_arg(ap, Z);
    if (ZIsZero(a)) continue;
    if (x == out)
      refused = 12;
    else if (x->dim != x1->dim)
      refused = 1;
  }
  va_end(ap);
  if (refused != 0) LM_FAIL(op, refused, nullptr);
  ZVEC* res = _LM_zv_mlt(a1, x1, out, callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  va_start(ap, a1);
  for (ZVEC* x = va_arg(ap, ZVEC*); x != nullptr; x = va_arg(ap, ZVEC*)) {
    const Z a = va_arg(ap, Z);
    if (ZIsZero(a)) continue;
    ZVEC* next;
    if (ZIsOne(a))
      next = _LM_zv_add(res, x, res, callerLine, callerName, op.st());
    else if (ZIsMinusOne(a))
      next = _LM_zv_sub(res, x, res, callerLine, callerName, op.st());
    else
      next = _LM_zv_mltadd(res, x, a, res, callerLine, callerName, op.st());
    if (op.failed()) break;
    res = next;
  }
  va_end(ap);
  if (op.failed()) {
    kvlm::DropIfNew(res, out);
    return nullptr;
  }
  return op.done(res);
}

KVELO_API ZVEC* _LM_zv_star(ZVEC* x, ZVEC* y, ZVEC* out, int callerLine, const char* callerName,
                            int* status) {
  LmOp op(kFile, "zv_star", callerLine, callerName, status);
  if (x == nullptr || y == nullptr) LM_FAIL(op, 8, nullptr);
  if (x->dim != y->dim) LM_FAIL(op, 1, nullptr);
  out = _LM_zv_resize("_LM_zv_star", kvlm::lm_context, out, static_cast<int>(x->dim), callerLine,
                      callerName, op.st());
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < x->dim; ++i) out->ve[i] = zmlt(y->ve[i], x->ve[i]);
  return op.done(out);
}

KVELO_API ZVEC* _LM_zv_slash(ZVEC* x, ZVEC* y, ZVEC* out, int callerLine,
                             const char* callerName, int* status) {
  LmOp op(kFile, "zv_slash", callerLine, callerName, status);
  if (x == nullptr || y == nullptr) LM_FAIL(op, 8, nullptr);
  if (x->dim != y->dim) LM_FAIL(op, 1, nullptr);
  // A zero divisor is refused before out is sized or written, so that a refusal leaves the
  // caller's output as it was.
  for (unsigned i = 0; i < x->dim; ++i)
    if (ZIsZero(x->ve[i])) LM_FAIL(op, 4, nullptr);
  ZVEC* res = _LM_zv_resize("_LM_zv_slash", kvlm::lm_context, out, static_cast<int>(x->dim),
                            callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < x->dim; ++i) {
    const Z xv = x->ve[i], yv = y->ve[i];
    // Only a true zero is refused (above). y conj(x) / |x|^2 as written while |x|^2 is a normal double; beyond that range (where
    // |x|^2 would overflow to a zero quotient or underflow to a refused divisor) the quotient
    // is taken on scaled parts.
    const double d = xv.re * xv.re + xv.im * xv.im;
    if (!(d >= DBL_MIN && d <= DBL_MAX)) {
      res->ve[i] = kvlm::ZQuotient(yv, xv);
      continue;
    }
    const double r = xv.re / d, t = -(xv.im / d);
    res->ve[i].re = yv.re * r - yv.im * t;
    res->ve[i].im = yv.im * r + yv.re * t;
    // A quotient beyond the range of double whose products overflowed with opposite signs
    // (a NaN part from finite operands): taken again on scaled parts, which give each part
    // its infinity or its finite value.
    if (!(std::isfinite(res->ve[i].re) && std::isfinite(res->ve[i].im)) && std::isfinite(yv.re) &&
        std::isfinite(yv.im) && std::isfinite(xv.re) && std::isfinite(xv.im))
      res->ve[i] = kvlm::ZQuotient(yv, xv);
  }
  return op.done(res);
}

KVELO_API Z _LM_zv_sum(ZVEC* x, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zv_sum", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, zmake(0.0, 0.0));
  // Each part added on its own, in index order.
  return op.done(zmake(kvlm::SumInRange(x->dim, [&](uint64_t i) { return x->ve[i].re; }),
                       kvlm::SumInRange(x->dim, [&](uint64_t i) { return x->ve[i].im; })));
}

KVELO_API ZVEC* _LM_zv_sort(ZVEC* x, PERM* order, int callerLine, const char* callerName,
                            int* status) {
  LmOp op(kFile, "zv_sort", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, nullptr);
  if (!kvlm::StartOrder(op, "_LM_zv_sort", order, x->dim)) return nullptr;
  // The quicksort of the real sort, with moduli compared.
  kvlm::QuickSortByKey(x->ve, order != nullptr ? order->pe : nullptr, static_cast<int64_t>(x->dim),
                       [](const Z& z) { return zabs(z); });
  return op.done(x);
}

KVELO_API ZVEC* _LM_px_zvec(PERM* px, ZVEC* x, ZVEC* out, int callerLine, const char* callerName,
                            int* status) {
  LmOp op(kFile, "px_zvec", callerLine, callerName, status);
  if (!CheckPermutation(op, px, x, "px_vec")) return nullptr;
  const unsigned n = px->size;
  if (n == 0) return op.done(_LM__zv_copy(x, out, 0, callerLine, callerName, op.st()));
  if (out != x) {
    out = kvlm::GrownVec(op, "_LM_px_zvec", out, x->dim);
    LM_CHECK(op, nullptr);
    for (unsigned i = 0; i < n; ++i) out->ve[i] = x->ve[px->pe[i]];
    return op.done(out);
  }
  kvlm::PermuteInPlace(px->pe, n, x->ve);  // a true permutation: every entry is reached
  return op.done(x);
}

KVELO_API ZVEC* _LM_pxinv_zvec(PERM* px, ZVEC* x, ZVEC* out, int callerLine,
                               const char* callerName, int* status) {
  LmOp op(kFile, "pxinv_zvec", callerLine, callerName, status);
  if (!CheckPermutation(op, px, x, "pxinv_vec")) return nullptr;
  const unsigned n = px->size;
  if (n == 0) return op.done(_LM__zv_copy(x, out, 0, callerLine, callerName, op.st()));
  if (out != x) {
    out = kvlm::GrownVec(op, "_LM_pxinv_zvec", out, x->dim);
    LM_CHECK(op, nullptr);
    for (unsigned i = 0; i < n; ++i) out->ve[px->pe[i]] = x->ve[i];
    return op.done(out);
  }
  _LM_px_inv(px, px, callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  _LM_px_zvec(px, x, x, callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  _LM_px_inv(px, px, callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  return op.done(x);
}

KVELO_API ZVEC* _LM_zv_rand(ZVEC* x, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zv_rand", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, nullptr);
  kvlm::ZRandFill(x->ve, x->dim);
  return op.done(x);
}

}  // extern "C"
