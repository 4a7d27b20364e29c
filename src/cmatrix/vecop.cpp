// vecop.cpp: arithmetic on the real vector VEC: inner product, scaling, sums, multiply-add,
// element maps, linear combinations, element products and quotients, extremes, sum and the
// in-place sort. Outputs are sized to the operands; the kernels do the element work.
#include <cstdint>

#include "cmatrix/lm_dense.h"
#include "cmatrix/lm_owned.h"
#include "cmatrix/lm_sort.h"
#include "cmatrix/lm_status.h"
#include "matrix.h"

using kvlm::DropIfNew;
using kvlm::RaiseAndDrop;
using kvlm::LmOp;
using kvlm::SizedVec;

namespace {

const char kFile[] = "vecop";

int Len(unsigned dim) { return static_cast<int>(dim); }

}  // namespace

extern "C" {

KVELO_API double _LM__in_prod(VEC* a, VEC* b, unsigned int i0, int callerLine,
                              const char* callerName, int* status) {
  LmOp op(kFile, "_in_prod", callerLine, callerName, status);
  if (a == nullptr || b == nullptr) LM_FAIL(op, 8, 0.0);
  const unsigned len = a->dim < b->dim ? a->dim : b->dim;
  if (i0 > len) LM_FAIL(op, 2, 0.0);
  return op.done(__ip__(a->ve + i0, b->ve + i0, Len(len - i0)));
}

KVELO_API VEC* _LM_sv_mlt(double s, VEC* x, VEC* out, int callerLine, const char* callerName,
                          int* status) {
  LmOp op(kFile, "sv_mlt", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, nullptr);
  VEC* res = SizedVec(op, "_LM_sv_mlt", out, x->dim);
  LM_CHECK(op, nullptr);
  if (s == 0.0) {
    _LM_v_zero(res, callerLine, callerName, op.st());
  } else if (s == 1.0) {
    _LM__v_copy(x, res, 0, callerLine, callerName, op.st());
  } else {
    __smlt__(x->ve, s, res->ve, Len(x->dim));
  }
  if (op.failed()) {
    DropIfNew(res, out);
    return nullptr;
  }
  return op.done(res);
}

KVELO_API VEC* _LM_v_add(VEC* x, VEC* y, VEC* out, int callerLine, const char* callerName,
                         int* status) {
  LmOp op(kFile, "v_add", callerLine, callerName, status);
  return kvlm::AddSubVectors(op, "_LM_v_add", x, y, out, false);
}

KVELO_API VEC* _LM_v_sub(VEC* x, VEC* y, VEC* out, int callerLine, const char* callerName,
                         int* status) {
  LmOp op(kFile, "v_sub", callerLine, callerName, status);
  return kvlm::AddSubVectors(op, "_LM_v_sub", x, y, out, true);
}

KVELO_API VEC* _LM_v_mltadd(VEC* x, VEC* y, double s, VEC* out, int callerLine,
                            const char* callerName, int* status) {
  LmOp op(kFile, "v_mltadd", callerLine, callerName, status);
  if (x == nullptr || y == nullptr) LM_FAIL(op, 8, nullptr);
  if (x->dim != y->dim) LM_FAIL(op, 1, nullptr);
  if (s == 0.0) return op.done(_LM__v_copy(x, out, 0, callerLine, callerName, op.st()));
  if (s == 1.0) return op.done(_LM_v_add(x, y, out, callerLine, callerName, op.st()));
  if (y == out && x == out) {
    // Scaling out first would scale x too: x + s*x element by element instead.
    for (unsigned i = 0; i < x->dim; ++i) out->ve[i] = out->ve[i] + s * out->ve[i];
    return op.done(out);
  }
  VEC* res = nullptr;
  if (y == out) {
    _LM_sv_mlt(s, y, out, callerLine, callerName, op.st());
    if (!op.failed()) res = _LM_v_add(x, out, out, callerLine, callerName, op.st());
  } else {
    res = _LM__v_copy(x, out, 0, callerLine, callerName, op.st());
    if (!op.failed()) __mltadd__(res->ve, y->ve, s, Len(x->dim));
  }
  if (op.failed()) {
    fct_Trace("_LM_v_mltadd", __LINE__, kFile);
    return nullptr;
  }
  return op.done(res);
}

KVELO_API VEC* _LM_v_map(double (*f)(double), VEC* x, VEC* out, int callerLine,
                         const char* callerName, int* status) {
  LmOp op(kFile, "v_map", callerLine, callerName, status);
  if (x == nullptr || f == nullptr) LM_FAIL(op, 8, nullptr);
  VEC* res = SizedVec(op, "_LM_v_map", out, x->dim);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < x->dim; ++i) res->ve[i] = f(x->ve[i]);
  return op.done(res);
}

KVELO_API VEC* _LM__v_map(double (*f)(void*, double), void* params, VEC* x, VEC* out,
                          int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "_v_map", callerLine, callerName, status);
  if (x == nullptr || f == nullptr) LM_FAIL(op, 8, nullptr);
  VEC* res = SizedVec(op, "_LM__v_map", out, x->dim);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < x->dim; ++i) res->ve[i] = f(params, x->ve[i]);
  return op.done(res);
}

KVELO_API VEC* _LM_v_lincomb(int n, VEC** v, double* a, VEC* out, int callerLine,
                             const char* callerName, int* status) {
  LmOp op(kFile, "v_lincomb", callerLine, callerName, status);
  if (v == nullptr || a == nullptr) LM_FAIL(op, 8, nullptr);
  if (n <= 0) return op.done(static_cast<VEC*>(nullptr));
  for (int k = 1; k < n; ++k)
    if (out != nullptr && v[k] == out) LM_FAIL(op, 12, nullptr);
  // Every vector is checked before out is sized or written, so a refused one leaves out as
  // it was (a NULL v[0] is refused by the scaling, before it writes).
  for (int k = 1; k < n && v[0] != nullptr; ++k) {
    if (v[k] == nullptr) LM_FAIL(op, 8, nullptr);
    if (v[k]->dim != v[0]->dim) LM_FAIL(op, 1, nullptr);
  }
  VEC* res = _LM_sv_mlt(a[0], v[0], out, callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  // Empty vectors: nothing to add. The sized output may hold one element (a resize makes a
  // dim of 0 into 1), which the later terms must not be compared with.
  if (v[0]->dim == 0) return op.done(res);
  for (int k = 1; k < n; ++k) {
    if (v[k] == nullptr || v[k]->dim != res->dim)
      return RaiseAndDrop(op, v[k] == nullptr ? 8 : 1, __LINE__, res, out);
    VEC* next = _LM_v_mltadd(res, v[k], a[k], res, callerLine, callerName, op.st());
    if (op.failed()) {
      DropIfNew(res, out);
      return nullptr;
    }
    res = next;
  }
  return op.done(res);
}

}  // extern "C"

namespace {

// out[i] = x[i]*y[i], or y[i]/x[i] with any zero divisor refused.
VEC* StarSlash(VEC* x, VEC* y, VEC* out, bool slash, int callerLine, const char* callerName,
               int* status) {
  LmOp op(kFile, slash ? "v_slash" : "v_star", callerLine, callerName, status);
  if (x == nullptr || y == nullptr) LM_FAIL(op, 8, nullptr);
  if (x->dim != y->dim) LM_FAIL(op, 1, nullptr);
  // A zero divisor is refused before out is sized or written, so that a refusal leaves the
  // caller's output as it was.
  if (slash)
    for (unsigned i = 0; i < x->dim; ++i)
      if (x->ve[i] == 0.0) LM_FAIL(op, 4, nullptr);
  VEC* res = _LM_v_resize(slash ? "_LM_v_slash" : "_LM_v_star", kvlm::lm_context, out,
                          static_cast<int>(x->dim), callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < x->dim; ++i) {
    if (!slash) {
      res->ve[i] = x->ve[i] * y->ve[i];
      continue;
    }
    res->ve[i] = y->ve[i] / x->ve[i];
  }
  return op.done(res);
}

// Smallest (or largest) entry, the first one on ties; a NaN anywhere is the answer, at the
// first NaN's index, since no number can stand for it.
double Extreme(VEC* x, int* index, bool largest, int callerLine, const char* callerName,
               int* status) {
  LmOp op(kFile, largest ? "v_max" : "v_min", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, 0.0);
  if (x->dim == 0) LM_FAIL(op, 1, 0.0);
  kvlm::Extreme best(largest, x->ve[0], 0);
  for (unsigned i = 1; i < x->dim; ++i) best.Offer(x->ve[i], i);
  if (index != nullptr) *index = static_cast<int>(best.at());
  return op.done(best.value());
}

}  // namespace

extern "C" {

KVELO_API VEC* _LM_v_star(VEC* x, VEC* y, VEC* out, int callerLine, const char* callerName,
                          int* status) {
  return StarSlash(x, y, out, false, callerLine, callerName, status);
}

KVELO_API VEC* _LM_v_slash(VEC* x, VEC* y, VEC* out, int callerLine, const char* callerName,
                           int* status) {
  return StarSlash(x, y, out, true, callerLine, callerName, status);
}

KVELO_API double _LM_v_min(VEC* x, int* index, int callerLine, const char* callerName,
                           int* status) {
  return Extreme(x, index, false, callerLine, callerName, status);
}

KVELO_API double _LM_v_max(VEC* x, int* index, int callerLine, const char* callerName,
                           int* status) {
  return Extreme(x, index, true, callerLine, callerName, status);
}

KVELO_API double _LM_v_sum(VEC* x, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "v_sum", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, 0.0);
  return op.done(kvlm::SumInRange(x->dim, [&](uint64_t i) { return x->ve[i]; }));
}

KVELO_API VEC* _LM_v_sort(VEC* x, PERM* order, int callerLine, const char* callerName,
                          int* status) {
  LmOp op(kFile, "v_sort", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, nullptr);
  if (!kvlm::StartOrder(op, "_LM_v_sort", order, x->dim)) return nullptr;
  kvlm::QuickSortReal(x->ve, order != nullptr ? order->pe : nullptr, static_cast<int64_t>(x->dim));
  return op.done(x);
}

}  // extern "C"
