// zmemory.cpp: creation, release, resizing and zeroing of the complex records ZVEC and ZMAT,
// singly and several variables per call. Sizes are checked in 64 bits; a failed resize
// leaves its record exactly as it was; requested sizes of 0 stay 0.
#include <cstdarg>

#include "cmatrix/lm_dense.h"
#include "cmatrix/zcomplex_internal.h"

using kvlm::LmOp;

namespace {

const char kFile[] = "zmemory";

}  // namespace

extern "C" {

/* ---------------------------------------------------------------- creation --------- */

KVELO_API ZVEC* _LM_zv_get(const char* tag, int context, int dim, int callerLine,
                           const char* callerName, int* status) {
  LmOp op(kFile, "_LM_zv_get", callerLine, callerName, status);
  return kvlm::GetVector<ZVEC>(op, tag, context, dim);
}

KVELO_API ZMAT* _LM_zm_get(const char* tag, int context, int m, int n, int callerLine,
                           const char* callerName, int* status) {
  // Success leaves the status word and argument as the caller had them.
  LmOp op(kFile, "_LM_zm_get", callerLine, callerName, status, LmOp::kKeep);
  return kvlm::GetMatrix<ZMAT>(op, tag, context, m, n);
}

/* ---------------------------------------------------------------- release ---------- */

// Every complex record was counted when made, those that own no block included.
KVELO_API int zv_free(ZVEC* x) { return kvlm::ReleaseVector(x, true); }

KVELO_API int zm_free(ZMAT* A) { return kvlm::ReleaseMatrix(A, true); }

/* ---------------------------------------------------------------- resizing --------- */

KVELO_API ZVEC* _LM_zv_resize(const char* tag, int context, ZVEC* x, int dim, int callerLine,
                              const char* callerName, int* status) {
  // Success leaves the status word and argument as the caller had them, except that a NULL x
  // goes to _LM_zv_get, which clears both.
  LmOp op(kFile, "zv_resize", callerLine, callerName, status, LmOp::kKeep);
  if (dim < 0) LM_FAIL(op, 20, nullptr);
  return kvlm::ResizeVector(op, tag, context, x, dim);
}

KVELO_API ZMAT* _LM_zm_resize(const char* tag, int context, ZMAT* A, int m, int n,
                              int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zm_resize", callerLine, callerName, status);
  if (m < 0 || n < 0) LM_FAIL(op, 20, nullptr);
  return kvlm::ResizeMatrix(op, tag, context, A, m, n);
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

/* ------------------------------------------------------- several variables -------- */

// The status argument is 0 after an empty list; a failure leaves -1 in it.
KVELO_API int _LM_zv_get_vars(const char* tag, int context, int callerLine,
                              const char* callerName, int* status, int dim, ...) {
  va_list ap;
  va_start(ap, dim);
  const int r = kvlm::GetEachVar<ZVEC>(ap, status, true, [&](int* st) {
    return _LM_zv_get(tag, context, dim, callerLine, callerName, st);
  });
  va_end(ap);
  return r;
}

KVELO_API int _LM_zm_get_vars(const char* tag, int context, int callerLine,
                              const char* callerName, int* status, int m, int n, ...) {
  va_list ap;
  va_start(ap, n);
  const int r = kvlm::GetEachVar<ZMAT>(ap, status, true, [&](int* st) {
    return _LM_zm_get(tag, context, m, n, callerLine, callerName, st);
  });
  va_end(ap);
  return r;
}

KVELO_API int _LM_zv_resize_vars(const char* tag, int context, int callerLine,
                                 const char* callerName, int* status, int dim, ...) {
  va_list ap;
  va_start(ap, dim);
  const int r = kvlm::ResizeEachVar<ZVEC>(ap, status, true, [&](ZVEC* v, int* st) {
    return _LM_zv_resize(tag, context, v, dim, callerLine, callerName, st);
  });
  va_end(ap);
  return r;
}

KVELO_API int _LM_zm_resize_vars(const char* tag, int context, int callerLine,
                                 const char* callerName, int* status, int m, int n, ...) {
  va_list ap;
  va_start(ap, n);
  const int r = kvlm::ResizeEachVar<ZMAT>(ap, status, true, [&](ZMAT* A, int* st) {
    return _LM_zm_resize(tag, context, A, m, n, callerLine, callerName, st);
  });
  va_end(ap);
  return r;
}

KVELO_API int zv_free_vars(ZVEC** first, ...) {
  va_list ap;
  va_start(ap, first);
  const int r = kvlm::FreeEachVar<ZVEC>(first, ap, zv_free);
  va_end(ap);
  return r;
}

KVELO_API int zm_free_vars(ZMAT** first, ...) {
  va_list ap;
  va_start(ap, first);
  const int r = kvlm::FreeEachVar<ZMAT>(first, ap, zm_free);
  va_end(ap);
  return r;
}

}  // extern "C"
