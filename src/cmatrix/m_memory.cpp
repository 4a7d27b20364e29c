// m_memory.cpp: creation, release and resizing of the dense records VEC, MAT and PERM,
// singly and several variables per call (IVEC too, in the several-variable forms). Sizes
// are checked in 64 bits; a failed resize leaves its record exactly as it was.
#include <cstdarg>
#include <cstdint>

#include "cmatrix/lm_dense.h"

using kvlm::LmOp;

namespace {

const char kFile[] = "m_memory";

}  // namespace

extern "C" {

/* ---------------------------------------------------------------- creation --------- */

KVELO_API VEC* _LM_v_get(const char* tag, int context, int dim, int callerLine,
                         const char* callerName, int* status) {
  LmOp op(kFile, "_LM_v_get", callerLine, callerName, status);
  return kvlm::GetVector<VEC>(op, tag, context, dim);
}

KVELO_API MAT* _LM_m_get(const char* tag, int context, int m, int n, int callerLine,
                         const char* callerName, int* status) {
  LmOp op(kFile, "_LM_m_get", callerLine, callerName, status);
  return kvlm::GetMatrix<MAT>(op, tag, context, m, n);
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

// Views (sub-vectors, sub-matrices) are not counted as records when made: only their header
// bytes go off when they are freed.
KVELO_API int v_free(VEC* x) { return kvlm::ReleaseVector(x, false); }

KVELO_API int m_free(MAT* A) { return kvlm::ReleaseMatrix(A, false); }

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
  return kvlm::ResizeVector(op, tag, context, x, dim > 0 ? dim : 1);
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
    const bool noBlock = px->pe == nullptr;
    void* nb = kvelomem_realloc(px->pe, static_cast<size_t>(usize) * sizeof(unsigned), tag, context,
                                __FILE__, __LINE__);
    if (nb == nullptr) LM_FAIL(op, 3, nullptr);
    if (noBlock) px->size = 0;  // no entries to keep
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
  return kvlm::ResizeMatrix(op, tag, context, A, m > 0 ? m : 1, n > 0 ? n : 1);
}

/* ------------------------------------------------------- several variables -------- */

// An empty list leaves the status argument untouched.
KVELO_API int _LM_v_get_vars(const char* tag, int context, int callerLine, const char* callerName,
                             int* status, int dim, ...) {
  va_list ap;
  va_start(ap, dim);
  const int r = kvlm::GetEachVar<VEC>(ap, status, false, [&](int* st) {
    return _LM_v_get(tag, context, dim, callerLine, callerName, st);
  });
  va_end(ap);
  return r;
}

KVELO_API int _LM_px_get_vars(const char* tag, int context, int callerLine, const char* callerName,
                              int* status, int size, ...) {
  va_list ap;
  va_start(ap, size);
  const int r = kvlm::GetEachVar<PERM>(ap, status, false, [&](int* st) {
    return _LM_px_get(tag, context, size, callerLine, callerName, st);
  });
  va_end(ap);
  return r;
}

KVELO_API int _LM_m_get_vars(const char* tag, int context, int callerLine, const char* callerName,
                             int* status, int m, int n, ...) {
  va_list ap;
  va_start(ap, n);
  const int r = kvlm::GetEachVar<MAT>(ap, status, false, [&](int* st) {
    return _LM_m_get(tag, context, m, n, callerLine, callerName, st);
  });
  va_end(ap);
  return r;
}

KVELO_API int _LM_v_resize_vars(const char* tag, int context, int callerLine,
                                const char* callerName, int* status, int dim, ...) {
  va_list ap;
  va_start(ap, dim);
  const int r = kvlm::ResizeEachVar<VEC>(ap, status, false, [&](VEC* v, int* st) {
    return _LM_v_resize(tag, context, v, dim, callerLine, callerName, st);
  });
  va_end(ap);
  return r;
}

KVELO_API int _LM_px_resize_vars(const char* tag, int context, int callerLine,
                                 const char* callerName, int* status, int size, ...) {
  va_list ap;
  va_start(ap, size);
  const int r = kvlm::ResizeEachVar<PERM>(ap, status, false, [&](PERM* p, int* st) {
    return _LM_px_resize(tag, context, p, size, callerLine, callerName, st);
  });
  va_end(ap);
  return r;
}

KVELO_API int _LM_m_resize_vars(const char* tag, int context, int callerLine,
                                const char* callerName, int* status, int m, int n, ...) {
  va_list ap;
  va_start(ap, n);
  const int r = kvlm::ResizeEachVar<MAT>(ap, status, false, [&](MAT* A, int* st) {
    return _LM_m_resize(tag, context, A, m, n, callerLine, callerName, st);
  });
  va_end(ap);
  return r;
}

KVELO_API int v_free_vars(VEC** first, ...) {
  va_list ap;
  va_start(ap, first);
  const int r = kvlm::FreeEachVar<VEC>(first, ap, v_free);
  va_end(ap);
  return r;
}

KVELO_API int px_free_vars(PERM** first, ...) {
  va_list ap;
  va_start(ap, first);
  const int r = kvlm::FreeEachVar<PERM>(first, ap, px_free);
  va_end(ap);
  return r;
}

KVELO_API int m_free_vars(MAT** first, ...) {
  va_list ap;
  va_start(ap, first);
  const int r = kvlm::FreeEachVar<MAT>(first, ap, m_free);
  va_end(ap);
  return r;
}

KVELO_API int _LM_iv_get_vars(const char* tag, int context, int callerLine, const char* callerName,
                              int* status, int dim, ...) {
  va_list ap;
  va_start(ap, dim);
  const int r = kvlm::GetEachVar<IVEC>(ap, status, false, [&](int* st) {
    return _LM_iv_get(tag, context, dim, callerLine, callerName, st);
  });
  va_end(ap);
  return r;
}

KVELO_API int _LM_iv_resize_vars(const char* tag, int context, int callerLine,
                                 const char* callerName, int* status, int dim, ...) {
  va_list ap;
  va_start(ap, dim);
  const int r = kvlm::ResizeEachVar<IVEC>(ap, status, false, [&](IVEC* v, int* st) {
    return _LM_iv_resize(tag, context, v, dim, callerLine, callerName, st);
  });
  va_end(ap);
  return r;
}

KVELO_API int iv_free_vars(IVEC** first, ...) {
  va_list ap;
  va_start(ap, first);
  const int r = kvlm::FreeEachVar<IVEC>(first, ap, iv_free);
  va_end(ap);
  return r;
}

}  // extern "C"
