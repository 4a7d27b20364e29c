// zmemory.cpp: creation, release, resizing and zeroing of the complex records ZVEC and ZMAT,
// singly and several variables per call. Sizes are checked in 64 bits; a failed resize
// leaves its record exactly as it was; requested sizes of 0 stay 0.
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "cmatrix/zcomplex_internal.h"

using kvlm::LmOp;
using kvlm::Z;

namespace {

const char kFile[] = "zmemory";

bool FitsUnsigned(uint64_t v) { return v <= UINT_MAX; }

void ZeroElems(Z* p, size_t count) {
  if (count > 0) std::memset(p, 0, count * sizeof(Z));
}

}  // namespace

extern "C" {

/* ---------------------------------------------------------------- creation --------- */

KVELO_API ZVEC* _LM_zv_get(const char* tag, int context, int dim, int callerLine,
                           const char* callerName, int* status) {
  LmOp op(kFile, "_LM_zv_get", callerLine, callerName, status);
  if (dim < 0) LM_FAIL(op, 20, nullptr);
  ZVEC* v = static_cast<ZVEC*>(kvelomem_calloc(1, sizeof(ZVEC), tag, context, __FILE__, __LINE__));
  if (v == nullptr) LM_FAIL(op, 3, nullptr);
  const unsigned cap = dim > 0 ? static_cast<unsigned>(dim) : 1u;
  v->ve = static_cast<Z*>(kvelomem_calloc(cap, sizeof(Z), tag, context, __FILE__, __LINE__));
  if (v->ve == nullptr) {
    kvlm::Free(v);
    LM_FAIL(op, 3, nullptr);
  }
  v->dim = static_cast<unsigned>(dim);
  v->max_dim = cap;
  kvlm::AccountBytes(TYPE_ZVEC, 0, sizeof(ZVEC));
  kvlm::AccountBytes(TYPE_ZVEC, 0, static_cast<int64_t>(cap) * sizeof(Z));
  kvlm::AccountRecords(TYPE_ZVEC, 1);
  return op.done(v);
}

KVELO_API ZMAT* _LM_zm_get(const char* tag, int context, int m, int n, int callerLine,
                           const char* callerName, int* status) {
  LmOp op(kFile, "_LM_zm_get", callerLine, callerName, status);
  if (m < 0 || n < 0) LM_FAIL(op, 20, nullptr);
  const unsigned maxM = m > 0 ? static_cast<unsigned>(m) : 1u;
  const unsigned maxN = n > 0 ? static_cast<unsigned>(n) : 1u;
  const uint64_t size = static_cast<uint64_t>(maxM) * maxN;
  if (!FitsUnsigned(size)) LM_FAIL(op, 3, nullptr);
  ZMAT* A = static_cast<ZMAT*>(kvelomem_calloc(1, sizeof(ZMAT), tag, context, __FILE__, __LINE__));
  if (A == nullptr) LM_FAIL(op, 3, nullptr);
  A->base = static_cast<Z*>(kvelomem_calloc(size, sizeof(Z), tag, context, __FILE__, __LINE__));
  if (A->base == nullptr) {
    kvlm::Free(A);
    LM_FAIL(op, 3, nullptr);
  }
  A->me = static_cast<Z**>(kvelomem_calloc(maxM, sizeof(Z*), tag, context, __FILE__, __LINE__));
  if (A->me == nullptr) {
    kvlm::Free(A->base);
    kvlm::Free(A);
    LM_FAIL(op, 3, nullptr);
  }
  A->m = static_cast<unsigned>(m);
  A->n = static_cast<unsigned>(n);
  A->max_m = maxM;
  A->max_n = maxN;
  A->max_size = static_cast<unsigned>(size);
  for (unsigned i = 0; i < maxM; ++i) A->me[i] = A->base + static_cast<size_t>(i) * maxN;
  kvlm::AccountBytes(TYPE_ZMAT, 0, sizeof(ZMAT));
  kvlm::AccountBytes(TYPE_ZMAT, 0, static_cast<int64_t>(size) * sizeof(Z));
  kvlm::AccountBytes(TYPE_ZMAT, 0, static_cast<int64_t>(maxM) * sizeof(Z*));
  kvlm::AccountRecords(TYPE_ZMAT, 1);
  return op.done(A);
}

/* ---------------------------------------------------------------- release ---------- */

KVELO_API int zv_free(ZVEC* x) {
  if (x == nullptr || static_cast<int>(x->dim) < 0) return -1;
  // A record without capacity owns no elements: they belong to someone else.
  const bool ownsBlock = x->max_dim != 0 && x->ve != nullptr;
  if (ownsBlock) {
    kvlm::AccountBytes(TYPE_ZVEC, static_cast<int64_t>(x->max_dim) * sizeof(Z) + sizeof(ZVEC), 0);
    kvlm::Free(x->ve);
    kvlm::AccountRecords(TYPE_ZVEC, -1);
  } else {
    kvlm::AccountBytes(TYPE_ZVEC, sizeof(ZVEC), 0);
    kvlm::AccountRecords(TYPE_ZVEC, -1);
  }
  kvlm::Free(x);
  return 0;
}

KVELO_API int zm_free(ZMAT* A) {
  if (A == nullptr || static_cast<int>(A->m) < 0 || static_cast<int>(A->n) < 0) return -1;
  if (A->base != nullptr) {
    kvlm::AccountBytes(TYPE_ZMAT, static_cast<int64_t>(A->max_m) * A->max_n * sizeof(Z), 0);
    kvlm::Free(A->base);
  }
  if (A->me != nullptr) {
    kvlm::AccountBytes(TYPE_ZMAT, static_cast<int64_t>(A->max_m) * sizeof(Z*), 0);
    kvlm::Free(A->me);
  }
  kvlm::AccountBytes(TYPE_ZMAT, sizeof(ZMAT), 0);
  kvlm::AccountRecords(TYPE_ZMAT, -1);
  kvlm::Free(A);
  return 0;
}

/* ---------------------------------------------------------------- resizing --------- */

KVELO_API ZVEC* _LM_zv_resize(const char* tag, int context, ZVEC* x, int dim, int callerLine,
                              const char* callerName, int* status) {
  LmOp op(kFile, "zv_resize", callerLine, callerName, status);
  if (dim < 0) LM_FAIL(op, 20, nullptr);
  if (x == nullptr) return op.done(_LM_zv_get(tag, context, dim, callerLine, callerName, op.st()));
  const unsigned udim = static_cast<unsigned>(dim);
  if (udim == x->dim) return op.done(x);
  if (x->max_dim == 0) return op.done(_LM_zv_get(tag, context, dim, callerLine, callerName, op.st()));
  if (udim > x->max_dim || x->ve == nullptr) {
    const bool fresh = x->ve == nullptr;
    void* nb = kvelomem_realloc(x->ve, static_cast<size_t>(udim) * sizeof(Z), tag, context,
                                __FILE__, __LINE__);
    if (nb == nullptr) LM_FAIL(op, 3, nullptr);
    if (fresh) ZeroElems(static_cast<Z*>(nb), udim);
    kvlm::AccountBytes(TYPE_ZVEC, static_cast<int64_t>(x->max_dim) * sizeof(Z),
                       static_cast<int64_t>(udim) * sizeof(Z));
    x->ve = static_cast<Z*>(nb);
    if (fresh) x->dim = 0;  // nothing was there to keep
    x->max_dim = udim;
  }
  if (udim > x->dim) ZeroElems(x->ve + x->dim, udim - x->dim);
  x->dim = udim;
  return op.done(x);
}

KVELO_API ZMAT* _LM_zm_resize(const char* tag, int context, ZMAT* A, int m, int n,
                              int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zm_resize", callerLine, callerName, status);
  if (m < 0 || n < 0) LM_FAIL(op, 20, nullptr);
  if (A == nullptr) return op.done(_LM_zm_get(tag, context, m, n, callerLine, callerName, op.st()));
  const unsigned um = static_cast<unsigned>(m), un = static_cast<unsigned>(n);
  if (um == A->m && un == A->n) return op.done(A);

  const unsigned newMaxM = um > A->max_m ? um : A->max_m;
  const unsigned newMaxN = un > A->max_n ? un : A->max_n;
  const uint64_t newSize = static_cast<uint64_t>(newMaxM) * newMaxN;
  if (!FitsUnsigned(newSize)) LM_FAIL(op, 3, nullptr);

  // The kept part: rows below k, columns below cn, read where the row pointers say, so a
  // matrix whose sizes were lowered by a copy into it keeps its values.
  const unsigned k = A->me == nullptr ? 0u : (A->m < um ? A->m : um);
  const unsigned cn = A->n < un ? A->n : un;
  const unsigned oldN = A->n;
  // Rows at one stride from base (the layout creation and resizing keep) are repacked
  // inside the block; any other layout goes through a scratch copy taken before any change.
  bool packed = A->base != nullptr && (k == 0 || A->me[0] == A->base);
  size_t stride = 0;
  if (packed && k >= 2) {
    const ptrdiff_t d = A->me[1] - A->me[0];
    packed = d >= static_cast<ptrdiff_t>(oldN);
    stride = static_cast<size_t>(d);
    for (unsigned i = 2; packed && i < k; ++i) packed = A->me[i] == A->base + i * stride;
    packed = packed && (k - 1) * stride + oldN <= A->max_size;
  }
  Z* scratch = nullptr;
  if (!packed && k > 0 && cn > 0) {
    scratch = static_cast<Z*>(
        kvelomem_calloc(static_cast<size_t>(k) * cn, sizeof(Z), tag, context, __FILE__, __LINE__));
    if (scratch == nullptr) LM_FAIL(op, 3, nullptr);
    for (unsigned i = 0; i < k; ++i)
      std::memcpy(scratch + static_cast<size_t>(i) * cn, A->me[i], cn * sizeof(Z));
  }

  // Grow the row table and the block; on failure the record's sizes and values are intact
  // (a table that grew before the block failed keeps its entries).
  Z** table = A->me;
  if (newMaxM > A->max_m || table == nullptr) {
    void* nt = kvelomem_realloc(table, static_cast<size_t>(newMaxM) * sizeof(Z*), tag, context,
                                __FILE__, __LINE__);
    if (nt == nullptr) {
      kvlm::Free(scratch);
      LM_FAIL(op, 3, nullptr);
    }
    table = static_cast<Z**>(nt);
    A->me = table;
  }
  Z* base = A->base;
  const size_t oldCap = base != nullptr ? A->max_size : 0;
  if (newSize > oldCap) {
    void* nb = kvelomem_realloc(base, static_cast<size_t>(newSize) * sizeof(Z), tag, context,
                                __FILE__, __LINE__);
    if (nb == nullptr) {
      kvlm::Free(scratch);
      LM_FAIL(op, 3, nullptr);
    }
    base = static_cast<Z*>(nb);
    ZeroElems(base + oldCap, static_cast<size_t>(newSize - oldCap));
  }

  // Lay the kept rows out at the new stride n: a narrower stride moves rows towards the
  // start (increasing order), a wider one towards the end (decreasing order).
  const size_t nn = un;
  auto placeRow = [&](unsigned i, const Z* src) {
    Z* dst = base + i * nn;
    if (dst != src && cn > 0) std::memmove(dst, src, cn * sizeof(Z));
    if (un > cn) ZeroElems(dst + cn, un - cn);
  };
  if (scratch != nullptr) {
    for (unsigned i = 0; i < k; ++i) placeRow(i, scratch + static_cast<size_t>(i) * cn);
    kvlm::Free(scratch);
  } else if (k > 0 && packed) {
    if (k == 1 || nn <= stride) {
      for (unsigned i = 0; i < k; ++i) placeRow(i, base + i * stride);
    } else {
      for (unsigned i = k; i-- > 0;) placeRow(i, base + i * stride);
    }
  } else if (k > 0) {
    for (unsigned i = 0; i < k; ++i) placeRow(i, base + i * nn);  // no kept columns: zero fill
  }
  if (um > k) ZeroElems(base + k * nn, static_cast<size_t>(um - k) * nn);

  // Every entry of the table points into the block, those beyond m included.
  for (unsigned i = 0; i < newMaxM; ++i) table[i] = base + i * nn;

  kvlm::AccountBytes(TYPE_ZMAT, static_cast<int64_t>(A->max_m) * sizeof(Z*),
                     static_cast<int64_t>(newMaxM) * sizeof(Z*));
  kvlm::AccountBytes(TYPE_ZMAT, static_cast<int64_t>(oldCap) * sizeof(Z),
                     static_cast<int64_t>(newSize > oldCap ? newSize : oldCap) * sizeof(Z));
  A->base = base;
  A->m = um;
  A->n = un;
  A->max_m = newMaxM;
  A->max_n = newMaxN;
  A->max_size = static_cast<unsigned>(newSize > oldCap ? newSize : oldCap);
  return op.done(A);
}

/* ---------------------------------------------------------------- zeroing ---------- */

KVELO_API ZVEC* _LM_zv_zero(ZVEC* x, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zv_zero", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, nullptr);
  __zzero__(x->ve, static_cast<int>(x->dim));
  return op.done(x);
}

KVELO_API ZMAT* _LM_zm_zero(ZMAT* A, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zm_zero", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, nullptr);
  for (unsigned i = 0; i < A->m; ++i) __zzero__(A->me[i], static_cast<int>(A->n));
  return op.done(A);
}

}  // extern "C"

/* ------------------------------------------------------- several variables -------- */

namespace {

// Walks the null-ended list of record-pointer addresses, making each with `make`; stops with
// -1 at the first failure (the status argument then holds -1).
template <class Rec, class Make>
int ForEachVar(va_list ap, int* status, Make make) {
  _LM_err_status = 0;
  int local = 0;
  int* st = status ? status : &local;
  *st = 0;
  int count = 0;
  for (Rec** var = va_arg(ap, Rec**); var != nullptr; var = va_arg(ap, Rec**)) {
    if (!make(var, st)) return -1;
    ++count;
  }
  return count;
}

// The free family: the first address is always handled, then the null-ended rest.
template <class Rec>
int FreeEachVar(Rec** first, va_list ap, int (*freeFn)(Rec*)) {
  if (first == nullptr) return 0;
  int count = 0;
  for (Rec** var = first; var != nullptr; var = va_arg(ap, Rec**)) {
    freeFn(*var);
    *var = nullptr;
    ++count;
  }
  return count;
}

}  // namespace

extern "C" {

KVELO_API int _LM_zv_get_vars(const char* tag, int context, int callerLine,
                              const char* callerName, int* status, int dim, ...) {
  va_list ap;
  va_start(ap, dim);
  const int r = ForEachVar<ZVEC>(ap, status, [&](ZVEC** var, int* st) {
    *var = _LM_zv_get(tag, context, dim, callerLine, callerName, st);
    return *st == 0;
  });
  va_end(ap);
  return r;
}

KVELO_API int _LM_zm_get_vars(const char* tag, int context, int callerLine,
                              const char* callerName, int* status, int m, int n, ...) {
  va_list ap;
  va_start(ap, n);
  const int r = ForEachVar<ZMAT>(ap, status, [&](ZMAT** var, int* st) {
    *var = _LM_zm_get(tag, context, m, n, callerLine, callerName, st);
    return *st == 0;
  });
  va_end(ap);
  return r;
}

// A failed resize keeps the variable's record: it is still valid and the caller's to free.
KVELO_API int _LM_zv_resize_vars(const char* tag, int context, int callerLine,
                                 const char* callerName, int* status, int dim, ...) {
  va_list ap;
  va_start(ap, dim);
  const int r = ForEachVar<ZVEC>(ap, status, [&](ZVEC** var, int* st) {
    ZVEC* res = _LM_zv_resize(tag, context, *var, dim, callerLine, callerName, st);
    if (*st != 0) return false;
    *var = res;
    return true;
  });
  va_end(ap);
  return r;
}

KVELO_API int _LM_zm_resize_vars(const char* tag, int context, int callerLine,
                                 const char* callerName, int* status, int m, int n, ...) {
  va_list ap;
  va_start(ap, n);
  const int r = ForEachVar<ZMAT>(ap, status, [&](ZMAT** var, int* st) {
    ZMAT* res = _LM_zm_resize(tag, context, *var, m, n, callerLine, callerName, st);
    if (*st != 0) return false;
    *var = res;
    return true;
  });
  va_end(ap);
  return r;
}

KVELO_API int zv_free_vars(ZVEC** first, ...) {
  va_list ap;
  va_start(ap, first);
  const int r = FreeEachVar<ZVEC>(first, ap, zv_free);
  va_end(ap);
  return r;
}

KVELO_API int zm_free_vars(ZMAT** first, ...) {
  va_list ap;
  va_start(ap, first);
  const int r = FreeEachVar<ZMAT>(first, ap, zm_free);
  va_end(ap);
  return r;
}

}  // extern "C"
