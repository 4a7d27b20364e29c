// m_memory.cpp: creation, release and resizing of the dense records VEC, MAT and PERM,
// singly and several variables per call (IVEC too, in the several-variable forms). Sizes
// are checked in 64 bits; a failed resize leaves its record exactly as it was.
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <climits>

#include "cmatrix/lm_status.h"
#include "matrix.h"

using kvlm::LmOp;

namespace {

const char kFile[] = "m_memory";

// A capacity that fits the record's unsigned size fields.
bool FitsUnsigned(uint64_t v) { return v <= UINT_MAX; }

}  // namespace

extern "C" {

/* ---------------------------------------------------------------- creation --------- */

KVELO_API VEC* _LM_v_get(const char* tag, int context, int dim, int callerLine,
                         const char* callerName, int* status) {
  LmOp op(kFile, "_LM_v_get", callerLine, callerName, status);
  if (dim < 0) LM_FAIL(op, 20, nullptr);
  VEC* v = static_cast<VEC*>(kvelomem_calloc(1, sizeof(VEC), tag, context, __FILE__, __LINE__));
  if (v == nullptr) LM_FAIL(op, 3, nullptr);
  const unsigned cap = dim > 0 ? static_cast<unsigned>(dim) : 1u;
  v->ve = static_cast<double*>(kvelomem_calloc(cap, sizeof(double), tag, context, __FILE__, __LINE__));
  if (v->ve == nullptr) {
    kvlm::Free(v);
    LM_FAIL(op, 3, nullptr);
  }
  v->dim = static_cast<unsigned>(dim);
  v->max_dim = cap;
  kvlm::AccountBytes(TYPE_VEC, 0, sizeof(VEC));
  kvlm::AccountBytes(TYPE_VEC, 0, static_cast<int64_t>(cap) * sizeof(double));
  kvlm::AccountRecords(TYPE_VEC, 1);
  return op.done(v);
}

KVELO_API MAT* _LM_m_get(const char* tag, int context, int m, int n, int callerLine,
                         const char* callerName, int* status) {
  LmOp op(kFile, "_LM_m_get", callerLine, callerName, status);
  if (m < 0 || n < 0) LM_FAIL(op, 20, nullptr);
  const unsigned maxM = m > 0 ? static_cast<unsigned>(m) : 1u;
  const unsigned maxN = n > 0 ? static_cast<unsigned>(n) : 1u;
  const uint64_t size = static_cast<uint64_t>(maxM) * maxN;
  if (!FitsUnsigned(size)) LM_FAIL(op, 3, nullptr);
  MAT* A = static_cast<MAT*>(kvelomem_calloc(1, sizeof(MAT), tag, context, __FILE__, __LINE__));
  if (A == nullptr) LM_FAIL(op, 3, nullptr);
  A->base = static_cast<double*>(kvelomem_calloc(size, sizeof(double), tag, context, __FILE__, __LINE__));
  if (A->base == nullptr) {
    kvlm::Free(A);
    LM_FAIL(op, 3, nullptr);
  }
  A->me = static_cast<double**>(kvelomem_calloc(maxM, sizeof(double*), tag, context, __FILE__, __LINE__));
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
  kvlm::AccountBytes(TYPE_MAT, 0, sizeof(MAT));
  kvlm::AccountBytes(TYPE_MAT, 0, static_cast<int64_t>(size) * sizeof(double));
  kvlm::AccountBytes(TYPE_MAT, 0, static_cast<int64_t>(maxM) * sizeof(double*));
  kvlm::AccountRecords(TYPE_MAT, 1);
  return op.done(A);
}

KVELO_API PERM* _LM_px_get(const char* tag, int context, int size, int callerLine,
                           const char* callerName, int* status) {
  LmOp op(kFile, "_LM_px_get", callerLine, callerName, status);
  if (size < 0) LM_FAIL(op, 20, nullptr);
  PERM* p = static_cast<PERM*>(kvelomem_calloc(1, sizeof(PERM), tag, context, __FILE__, __LINE__));
  if (p == nullptr) LM_FAIL(op, 3, nullptr);
  const unsigned cap = size > 0 ? static_cast<unsigned>(size) : 1u;
  p->pe = static_cast<unsigned*>(kvelomem_calloc(cap, sizeof(unsigned), tag, context, __FILE__, __LINE__));
  if (p->pe == nullptr) {
    kvlm::Free(p);  // nothing of the permutation survives a failed creation
    LM_FAIL(op, 3, nullptr);
  }
  p->size = static_cast<unsigned>(size);
  p->max_size = cap;
  for (unsigned i = 0; i < p->size; ++i) p->pe[i] = i;
  kvlm::AccountBytes(TYPE_PERM, 0, sizeof(PERM));
  kvlm::AccountBytes(TYPE_PERM, 0, static_cast<int64_t>(cap) * sizeof(unsigned));
  kvlm::AccountRecords(TYPE_PERM, 1);
  return op.done(p);
}

/* ---------------------------------------------------------------- release ---------- */

KVELO_API int v_free(VEC* x) {
  if (x == nullptr || static_cast<int>(x->dim) < 0) return -1;
  // A record without capacity is a view: its elements belong to another vector.
  const bool ownsBlock = x->max_dim != 0 && x->ve != nullptr;
  if (ownsBlock) {
    kvlm::AccountBytes(TYPE_VEC, static_cast<int64_t>(x->max_dim) * sizeof(double) + sizeof(VEC), 0);
    kvlm::Free(x->ve);
    kvlm::AccountRecords(TYPE_VEC, -1);
  } else {
    // Views are not counted as records when made; only their header bytes are.
    kvlm::AccountBytes(TYPE_VEC, sizeof(VEC), 0);
  }
  kvlm::Free(x);
  return 0;
}

KVELO_API int m_free(MAT* A) {
  if (A == nullptr || static_cast<int>(A->m) < 0 || static_cast<int>(A->n) < 0) return -1;
  const bool ownsBlock = A->base != nullptr;
  if (ownsBlock) {
    kvlm::AccountBytes(TYPE_MAT, static_cast<int64_t>(A->max_m) * A->max_n * sizeof(double), 0);
    kvlm::Free(A->base);
  }
  if (A->me != nullptr) {
    kvlm::AccountBytes(TYPE_MAT, static_cast<int64_t>(A->max_m) * sizeof(double*), 0);
    kvlm::Free(A->me);
  }
  kvlm::AccountBytes(TYPE_MAT, sizeof(MAT), 0);
  if (ownsBlock) kvlm::AccountRecords(TYPE_MAT, -1);
  kvlm::Free(A);
  return 0;
}

KVELO_API int px_free(PERM* px) {
  if (px == nullptr || static_cast<int>(px->size) < 0) return -1;
  if (px->pe != nullptr) {
    kvlm::AccountBytes(TYPE_PERM, static_cast<int64_t>(px->max_size) * sizeof(unsigned) + sizeof(PERM), 0);
    kvlm::Free(px->pe);
  } else {
    kvlm::AccountBytes(TYPE_PERM, sizeof(PERM), 0);
  }
  kvlm::AccountRecords(TYPE_PERM, -1);
  kvlm::Free(px);
  return 0;
}

/* ---------------------------------------------------------------- resizing --------- */

KVELO_API VEC* _LM_v_resize(const char* tag, int context, VEC* x, int dim, int callerLine,
                            const char* callerName, int* status) {
  LmOp op(kFile, "v_resize", callerLine, callerName, status);
  if (dim < 0) LM_FAIL(op, 20, nullptr);
  if (dim == 0) dim = 1;
  if (x == nullptr) return op.done(_LM_v_get(tag, context, dim, callerLine, callerName, op.st()));
  const unsigned udim = static_cast<unsigned>(dim);
  if (udim == x->dim) return op.done(x);
  if (x->max_dim == 0) return op.done(_LM_v_get(tag, context, dim, callerLine, callerName, op.st()));
  if (udim > x->max_dim || x->ve == nullptr) {
    const bool fresh = x->ve == nullptr;
    void* nb = kvelomem_realloc(x->ve, static_cast<size_t>(udim) * sizeof(double), tag, context,
                                __FILE__, __LINE__);
    if (nb == nullptr) LM_FAIL(op, 3, nullptr);
    if (fresh) std::memset(nb, 0, static_cast<size_t>(udim) * sizeof(double));
    kvlm::AccountBytes(TYPE_VEC, static_cast<int64_t>(x->max_dim) * sizeof(double),
                       static_cast<int64_t>(udim) * sizeof(double));
    x->ve = static_cast<double*>(nb);
    x->max_dim = udim;
  }
  if (udim > x->dim)
    std::memset(x->ve + x->dim, 0, static_cast<size_t>(udim - x->dim) * sizeof(double));
  x->dim = udim;
  return op.done(x);
}

KVELO_API PERM* _LM_px_resize(const char* tag, int context, PERM* px, int size, int callerLine,
                              const char* callerName, int* status) {
  LmOp op(kFile, "px_resize", callerLine, callerName, status);
  if (size < 0) LM_FAIL(op, 20, nullptr);
  if (size == 0) size = 1;
  if (px == nullptr) return op.done(_LM_px_get(tag, context, size, callerLine, callerName, op.st()));
  const unsigned usize = static_cast<unsigned>(size);
  if (usize == px->size) return op.done(px);
  if (usize > px->max_size || px->pe == nullptr) {
    if (px->pe == nullptr) px->size = 0;  // no entries to keep
    void* nb = kvelomem_realloc(px->pe, static_cast<size_t>(usize) * sizeof(unsigned), tag, context,
                                __FILE__, __LINE__);
    if (nb == nullptr) LM_FAIL(op, 3, nullptr);
    kvlm::AccountBytes(TYPE_PERM, static_cast<int64_t>(px->max_size) * sizeof(unsigned),
                       static_cast<int64_t>(usize) * sizeof(unsigned));
    px->pe = static_cast<unsigned*>(nb);
    px->max_size = usize;
  }
  if (usize < px->size) {
    for (unsigned i = 0; i < usize; ++i) px->pe[i] = i;
  } else {
    for (unsigned i = px->size; i < usize; ++i) px->pe[i] = i;
  }
  px->size = usize;
  return op.done(px);
}

KVELO_API MAT* _LM_m_resize(const char* tag, int context, MAT* A, int m, int n, int callerLine,
                            const char* callerName, int* status) {
  LmOp op(kFile, "m_resize", callerLine, callerName, status);
  if (m < 0 || n < 0) LM_FAIL(op, 20, nullptr);
  if (m == 0) m = 1;
  if (n == 0) n = 1;
  if (A == nullptr) return op.done(_LM_m_get(tag, context, m, n, callerLine, callerName, op.st()));
  const unsigned um = static_cast<unsigned>(m), un = static_cast<unsigned>(n);
  if (um == A->m && un == A->n) return op.done(A);

  const unsigned newMaxM = um > A->max_m ? um : A->max_m;
  const unsigned newMaxN = un > A->max_n ? un : A->max_n;
  const uint64_t newSize = static_cast<uint64_t>(newMaxM) * newMaxN;
  if (!FitsUnsigned(newSize)) LM_FAIL(op, 3, nullptr);

  // The kept part: rows below k, columns below cn, read where the row pointers say.
  // (A record without a row table has no rows to read.)
  const unsigned k = A->me == nullptr ? 0u : (A->m < um ? A->m : um);
  const unsigned cn = A->n < un ? A->n : un;
  const unsigned oldN = A->n;
  // Rows in place at one stride from base (the layout the allocators keep) are repacked
  // inside the block; any other layout (a view, rows lowered by a copy into a bigger
  // matrix and then hand-moved, ...) goes through a scratch copy taken before any change.
  bool packed = A->base != nullptr && (k == 0 || A->me[0] == A->base);
  size_t stride = 0;
  if (packed && k >= 2) {
    const ptrdiff_t d = A->me[1] - A->me[0];
    packed = d >= static_cast<ptrdiff_t>(oldN);
    stride = static_cast<size_t>(d);
    for (unsigned i = 2; packed && i < k; ++i) packed = A->me[i] == A->base + i * stride;
    packed = packed && (k - 1) * stride + oldN <= A->max_size;
  }
  double* scratch = nullptr;
  if (!packed && k > 0 && cn > 0) {
    scratch = static_cast<double*>(
        kvelomem_calloc(static_cast<size_t>(k) * cn, sizeof(double), tag, context, __FILE__, __LINE__));
    if (scratch == nullptr) LM_FAIL(op, 3, nullptr);
    for (unsigned i = 0; i < k; ++i)
      std::memcpy(scratch + static_cast<size_t>(i) * cn, A->me[i], cn * sizeof(double));
  }

  // Grow the row table and the block; on failure nothing of the record has changed (a
  // table that grew before the block failed keeps its entries and its recorded size).
  double** table = A->me;
  if (um > A->max_m || table == nullptr) {
    void* nt = kvelomem_realloc(table, static_cast<size_t>(newMaxM) * sizeof(double*), tag, context,
                                __FILE__, __LINE__);
    if (nt == nullptr) {
      kvlm::Free(scratch);
      LM_FAIL(op, 3, nullptr);
    }
    table = static_cast<double**>(nt);
    A->me = table;
  }
  double* base = A->base;
  const size_t oldCap = base != nullptr ? A->max_size : 0;
  if (newSize > oldCap) {
    void* nb = kvelomem_realloc(base, static_cast<size_t>(newSize) * sizeof(double), tag, context,
                                __FILE__, __LINE__);
    if (nb == nullptr) {
      kvlm::Free(scratch);
      LM_FAIL(op, 3, nullptr);
    }
    base = static_cast<double*>(nb);
    std::memset(base + oldCap, 0, static_cast<size_t>(newSize - oldCap) * sizeof(double));
  }

  // Lay the kept rows out at the new stride n; a narrower stride moves rows towards the
  // start (increasing order), a wider one towards the end (decreasing order), so that no
  // row is overwritten before it has moved.
  const size_t nn = un;
  auto placeRow = [&](unsigned i, const double* src) {
    double* dst = base + i * nn;
    if (dst != src && cn > 0) std::memmove(dst, src, cn * sizeof(double));
    if (un > cn) std::memset(dst + cn, 0, (un - cn) * sizeof(double));
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
  if (um > k) std::memset(base + k * nn, 0, static_cast<size_t>(um - k) * nn * sizeof(double));

  // Every entry of the table points into the block, those beyond m included.
  for (unsigned i = 0; i < newMaxM; ++i) table[i] = base + i * nn;

  kvlm::AccountBytes(TYPE_MAT, static_cast<int64_t>(A->max_m) * sizeof(double*),
                     static_cast<int64_t>(newMaxM) * sizeof(double*));
  kvlm::AccountBytes(TYPE_MAT, static_cast<int64_t>(oldCap) * sizeof(double),
                     static_cast<int64_t>(newSize > oldCap ? newSize : oldCap) * sizeof(double));
  A->base = base;
  A->m = um;
  A->n = un;
  A->max_m = newMaxM;
  A->max_n = newMaxN;
  A->max_size = static_cast<unsigned>(newSize > oldCap ? newSize : oldCap);
  return op.done(A);
}

/* ------------------------------------------------------- several variables -------- */

}  // extern "C"

namespace {

// Walks the null-ended list of record-pointer addresses, making each with `make`; stops with
// -1 at the first failure. An empty list leaves the status argument untouched.
template <class Rec, class Make>
int ForEachVar(va_list ap, int* status, Make make) {
  _LM_err_status = 0;
  int count = 0;
  int local = 0;
  int* st = status ? status : &local;
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

KVELO_API int _LM_v_get_vars(const char* tag, int context, int callerLine, const char* callerName,
                             int* status, int dim, ...) {
  va_list ap;
  va_start(ap, dim);
  int r = ForEachVar<VEC>(ap, status, [&](VEC** var, int* st) {
    *var = _LM_v_get(tag, context, dim, callerLine, callerName, st);
    return *st == 0;
  });
  va_end(ap);
  return r;
}

KVELO_API int _LM_px_get_vars(const char* tag, int context, int callerLine, const char* callerName,
                              int* status, int size, ...) {
  va_list ap;
  va_start(ap, size);
  int r = ForEachVar<PERM>(ap, status, [&](PERM** var, int* st) {
    *var = _LM_px_get(tag, context, size, callerLine, callerName, st);
    return *st == 0;
  });
  va_end(ap);
  return r;
}

KVELO_API int _LM_m_get_vars(const char* tag, int context, int callerLine, const char* callerName,
                             int* status, int m, int n, ...) {
  va_list ap;
  va_start(ap, n);
  int r = ForEachVar<MAT>(ap, status, [&](MAT** var, int* st) {
    *var = _LM_m_get(tag, context, m, n, callerLine, callerName, st);
    return *st == 0;
  });
  va_end(ap);
  return r;
}

// A failed resize keeps the variable's record (it is still valid and owned by the caller).
KVELO_API int _LM_v_resize_vars(const char* tag, int context, int callerLine,
                                const char* callerName, int* status, int dim, ...) {
  va_list ap;
  va_start(ap, dim);
  int r = ForEachVar<VEC>(ap, status, [&](VEC** var, int* st) {
    VEC* res = _LM_v_resize(tag, context, *var, dim, callerLine, callerName, st);
    if (*st != 0) return false;
    *var = res;
    return true;
  });
  va_end(ap);
  return r;
}

KVELO_API int _LM_px_resize_vars(const char* tag, int context, int callerLine,
                                 const char* callerName, int* status, int size, ...) {
  va_list ap;
  va_start(ap, size);
  int r = ForEachVar<PERM>(ap, status, [&](PERM** var, int* st) {
    PERM* res = _LM_px_resize(tag, context, *var, size, callerLine, callerName, st);
    if (*st != 0) return false;
    *var = res;
    return true;
  });
  va_end(ap);
  return r;
}

KVELO_API int _LM_m_resize_vars(const char* tag, int context, int callerLine,
                                const char* callerName, int* status, int m, int n, ...) {
  va_list ap;
  va_start(ap, n);
  int r = ForEachVar<MAT>(ap, status, [&](MAT** var, int* st) {
    MAT* res = _LM_m_resize(tag, context, *var, m, n, callerLine, callerName, st);
    if (*st != 0) return false;
    *var = res;
    return true;
  });
  va_end(ap);
  return r;
}

KVELO_API int v_free_vars(VEC** first, ...) {
  va_list ap;
  va_start(ap, first);
  int r = FreeEachVar<VEC>(first, ap, v_free);
  va_end(ap);
  return r;
}

KVELO_API int px_free_vars(PERM** first, ...) {
  va_list ap;
  va_start(ap, first);
  int r = FreeEachVar<PERM>(first, ap, px_free);
  va_end(ap);
  return r;
}

KVELO_API int m_free_vars(MAT** first, ...) {
  va_list ap;
  va_start(ap, first);
  int r = FreeEachVar<MAT>(first, ap, m_free);
  va_end(ap);
  return r;
}

KVELO_API int _LM_iv_get_vars(const char* tag, int context, int callerLine, const char* callerName,
                              int* status, int dim, ...) {
  va_list ap;
  va_start(ap, dim);
  int r = ForEachVar<IVEC>(ap, status, [&](IVEC** var, int* st) {
    *var = _LM_iv_get(tag, context, dim, callerLine, callerName, st);
    return *st == 0;
  });
  va_end(ap);
  return r;
}

KVELO_API int _LM_iv_resize_vars(const char* tag, int context, int callerLine,
                                 const char* callerName, int* status, int dim, ...) {
  va_list ap;
  va_start(ap, dim);
  int r = ForEachVar<IVEC>(ap, status, [&](IVEC** var, int* st) {
    IVEC* res = _LM_iv_resize(tag, context, *var, dim, callerLine, callerName, st);
    if (*st != 0) return false;
    *var = res;
    return true;
  });
  va_end(ap);
  return r;
}

KVELO_API int iv_free_vars(IVEC** first, ...) {
  va_list ap;
  va_start(ap, first);
  int r = FreeEachVar<IVEC>(first, ap, iv_free);
  va_end(ap);
  return r;
}

}  // extern "C"
