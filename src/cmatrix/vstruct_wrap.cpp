// vstruct_wrap.cpp: the generic vector and matrix wrappers GVEC and GMAT, which hold a real or
// a complex record behind one interface and hand each operation to the real or complex
// operation of the library.
#include <cstring>

#include "cmatrix/lm_status.h"
#include "cmatrix/zlufctr.h"
#include "matrix.h"
#include "matwrap.h"
#include "zmatrix.h"

using kvlm::LmOp;

namespace {

const char kFile[] = "vstruct";

bool Real(const GVEC* w) { return w->type == TYPE_VEC; }
bool Real(const GMAT* w) { return w->type == TYPE_MAT; }
int KindOf(const GVEC* w) { return Real(w) ? 5 : 6; }
int KindOf(const GMAT* w) { return Real(w) ? 5 : 6; }

// Points the wrapper's views at its vector.
void Refresh(GVEC* w) {
  if (Real(w)) {
    VEC* v = static_cast<VEC*>(w->vec);
    w->pdim = &v->dim;
    w->data = v->ve;
  } else {
    ZVEC* v = static_cast<ZVEC*>(w->vec);
    w->pdim = &v->dim;
    w->data = v->ve;
  }
}

unsigned Rows(const GMAT* w) {
  return Real(w) ? static_cast<const MAT*>(w->mat)->m : static_cast<const ZMAT*>(w->mat)->m;
}
unsigned Cols(const GMAT* w) {
  return Real(w) ? static_cast<const MAT*>(w->mat)->n : static_cast<const ZMAT*>(w->mat)->n;
}
void* RowAt(const GMAT* w, unsigned i) {
  return Real(w) ? static_cast<void*>(static_cast<const MAT*>(w->mat)->me[i])
                 : static_cast<void*>(static_cast<const ZMAT*>(w->mat)->me[i]);
}

// Gives the row table room for the matrix's rows and copies its row pointers; false when
// memory is short (the table then keeps what it had).
bool Refresh(GMAT* w) {
  const unsigned m = Rows(w);
  const size_t want = m > 0 ? m : 1u;
  void* t = kvlm::Realloc(w->rows, want * sizeof(void*), "GMAT");
  if (t == nullptr) return false;
  w->rows = static_cast<void**>(t);
  for (unsigned i = 0; i < m; ++i) w->rows[i] = RowAt(w, i);
  if (Real(w)) {
    MAT* A = static_cast<MAT*>(w->mat);
    w->pm = &A->m;
    w->pn = &A->n;
  } else {
    ZMAT* A = static_cast<ZMAT*>(w->mat);
    w->pm = &A->m;
    w->pn = &A->n;
  }
  return true;
}

// Releases a wrapper made inside an operation that then failed.
void Drop(GMAT* w) {
  if (w == nullptr) return;
  mat_free(w);
  kvlm::Free(w);
}

}  // namespace

extern "C" {

/* ---------------------------------------------------------------- vectors ---------- */

KVELO_API GVEC* _LM_vec_get(const char* caller, int context, int kind, int dim, int line, const char* callerName,
                            int* status) {
  LmOp op(kFile, "vec_get", line, callerName, status);
  if (kind != 5 && kind != 6) LM_FAIL(op, 6, nullptr);
  GVEC* w = static_cast<GVEC*>(kvelomem_calloc(1, sizeof(GVEC), caller, context, __FILE__, __LINE__));
  if (w == nullptr) LM_FAIL(op, 3, nullptr);
  w->type = kind == 5 ? TYPE_VEC : TYPE_ZVEC;
  w->vec = kind == 5 ? static_cast<void*>(_LM_v_get(caller, context, dim, line, callerName, op.st()))
                     : static_cast<void*>(_LM_zv_get(caller, context, dim, line, callerName, op.st()));
  if (op.failed()) {
    kvlm::Free(w);
    return nullptr;
  }
  Refresh(w);
  return op.done(w);
}

KVELO_API GVEC* _LM_vec_resize(const char* caller, int context, GVEC* w, int kind, int dim, int line,
                               const char* callerName, int* status) {
  LmOp op(kFile, "vec_resize", line, callerName, status);
  if (dim < 0) LM_FAIL(op, 20, nullptr);
  if (kind != 5 && kind != 6) LM_FAIL(op, 6, nullptr);
  if (w == nullptr) return op.done(_LM_vec_get(caller, context, kind, dim, line, callerName, op.st()));
  if (w->vec == nullptr || (w->type != TYPE_VEC && w->type != TYPE_ZVEC) || kind != KindOf(w))
    LM_FAIL(op, 6, nullptr);
  if (static_cast<unsigned>(dim) == *w->pdim) return op.done(w);
  void* r = Real(w) ? static_cast<void*>(_LM_v_resize(caller, context, static_cast<VEC*>(w->vec), dim, line,
                                                      callerName, op.st()))
                    : static_cast<void*>(_LM_zv_resize(caller, context, static_cast<ZVEC*>(w->vec), dim, line,
                                                       callerName, op.st()));
  LM_CHECK(op, nullptr);
  w->vec = r;
  Refresh(w);
  return op.done(w);
}

KVELO_API int kvelo_vec_free(GVEC* w) {
  if (w == nullptr) return -1;
  if (w->type == TYPE_VEC) {
    v_free(static_cast<VEC*>(w->vec));
  } else if (w->type == TYPE_ZVEC) {
    zv_free(static_cast<ZVEC*>(w->vec));
  } else {
    _LM_error(kFile, 6, __LINE__, "kvelo_vec_free", 0, __LINE__, "kvelo_vec_free");
    return 0;
  }
  w->vec = nullptr;
  w->pdim = nullptr;
  w->data = nullptr;
  return 0;
}

KVELO_API GVEC* _LM_vec_zero(GVEC* w, int line, const char* callerName, int* status) {
  LmOp op(kFile, "vec_zero", line, callerName, status);
  if (w == nullptr) LM_FAIL(op, 8, nullptr);
  if (Real(w)) {
    _LM_v_zero(static_cast<VEC*>(w->vec), line, callerName, op.st());
  } else {
    _LM_zv_zero(static_cast<ZVEC*>(w->vec), line, callerName, op.st());
  }
  LM_CHECK(op, nullptr);
  return op.done(w);
}

KVELO_API GVEC* _LM_vec_copy(GVEC* src, GVEC* dst, int line, const char* callerName, int* status) {
  LmOp op(kFile, "vec_copy", line, callerName, status);
  if (src == nullptr || src->vec == nullptr) LM_FAIL(op, 8, nullptr);
  if (src == dst) return op.done(dst);
  // Elements of one size only: a destination of the other type would be overrun.
  if (dst != nullptr && dst->type != src->type) LM_FAIL(op, 6, nullptr);
  const unsigned n = *src->pdim;
  if (dst == nullptr || dst->vec == nullptr || *dst->pdim < n) {
    dst = _LM_vec_resize("_LM_vec_copy", kvlm::lm_context, dst, KindOf(src), static_cast<int>(n), line, callerName,
                         op.st());
    LM_CHECK(op, nullptr);
  }
  if (n > 0) {
    if (Real(src)) {
      std::memmove(static_cast<VEC*>(dst->vec)->ve, static_cast<VEC*>(src->vec)->ve, n * sizeof(double));
    } else {
      std::memmove(static_cast<ZVEC*>(dst->vec)->ve, static_cast<ZVEC*>(src->vec)->ve, n * sizeof(kvelo_complex));
    }
  }
  return op.done(dst);
}

/* ---------------------------------------------------------------- matrices --------- */

KVELO_API GMAT* _LM_mat_get(const char* caller, int context, int kind, int m, int n, int line, const char* callerName,
                            int* status) {
  LmOp op(kFile, "mat_get", line, callerName, status);
  if (kind != 5 && kind != 6) LM_FAIL(op, 6, nullptr);
  if (m < 0 || n < 0) LM_FAIL(op, 20, nullptr);
  GMAT* w = static_cast<GMAT*>(kvelomem_calloc(1, sizeof(GMAT), caller, context, __FILE__, __LINE__));
  if (w == nullptr) LM_FAIL(op, 3, nullptr);
  w->rows = static_cast<void**>(kvelomem_calloc(m > 0 ? static_cast<size_t>(m) : 1u, sizeof(void*), caller, context,
                                                __FILE__, __LINE__));
  if (w->rows == nullptr) {
    kvlm::Free(w);
    LM_FAIL(op, 3, nullptr);
  }
  w->type = kind == 5 ? TYPE_MAT : TYPE_ZMAT;
  w->mat = kind == 5 ? static_cast<void*>(_LM_m_get(caller, context, m, n, line, callerName, op.st()))
                     : static_cast<void*>(_LM_zm_get(caller, context, m, n, line, callerName, op.st()));
  if (op.failed()) {
    kvlm::Free(w->rows);
    kvlm::Free(w);
    return nullptr;
  }
  Refresh(w);  // the table already has room for every row
  return op.done(w);
}

KVELO_API GMAT* _LM_mat_resize(const char* caller, int context, GMAT* w, int kind, int m, int n, int line,
                               const char* callerName, int* status) {
  LmOp op(kFile, "mat_resize", line, callerName, status);
  if (m < 0 || n < 0) LM_FAIL(op, 20, nullptr);
  if (kind != 5 && kind != 6) LM_FAIL(op, 6, nullptr);
  if (w == nullptr) return op.done(_LM_mat_get(caller, context, kind, m, n, line, callerName, op.st()));
  if (w->mat == nullptr || (w->type != TYPE_MAT && w->type != TYPE_ZMAT) || kind != KindOf(w))
    LM_FAIL(op, 6, nullptr);
  if (Rows(w) == static_cast<unsigned>(m) && Cols(w) == static_cast<unsigned>(n)) return op.done(w);
  // The row table grows first: when it cannot, nothing has changed.
  const size_t want = m > 0 ? static_cast<size_t>(m) : 1u;
  void* t = kvlm::Realloc(w->rows, want * sizeof(void*), "GMAT");
  if (t == nullptr) LM_FAIL(op, 3, nullptr);
  w->rows = static_cast<void**>(t);
  void* r = Real(w) ? static_cast<void*>(_LM_m_resize(caller, context, static_cast<MAT*>(w->mat), m, n, line,
                                                      callerName, op.st()))
                    : static_cast<void*>(_LM_zm_resize(caller, context, static_cast<ZMAT*>(w->mat), m, n, line,
                                                       callerName, op.st()));
  if (op.failed()) {
    Refresh(w);
    return nullptr;
  }
  w->mat = r;
  if (!Refresh(w)) LM_FAIL(op, 3, nullptr);
  return op.done(w);
}

KVELO_API int mat_free(GMAT* w) {
  if (w == nullptr) return -1;
  if (w->type == TYPE_MAT) {
    m_free(static_cast<MAT*>(w->mat));
    w->mat = nullptr;
  } else if (w->type == TYPE_ZMAT) {
    zm_free(static_cast<ZMAT*>(w->mat));
    w->mat = nullptr;
  } else {
    _LM_error(kFile, 6, __LINE__, "mat_free", 0, __LINE__, "mat_free");
  }
  kvlm::Free(w->rows);
  w->rows = nullptr;
  if (w->mat == nullptr) w->pm = w->pn = nullptr;
  return 0;
}

KVELO_API GMAT* _LM_mat_zero(GMAT* w, int line, const char* callerName, int* status) {
  LmOp op(kFile, "mat_zero", line, callerName, status);
  if (w == nullptr) LM_FAIL(op, 8, nullptr);
  if (Real(w)) {
    _LM_m_zero(static_cast<MAT*>(w->mat), line, callerName, op.st());
  } else {
    _LM_zm_zero(static_cast<ZMAT*>(w->mat), line, callerName, op.st());
  }
  LM_CHECK(op, nullptr);
  return op.done(w);
}

KVELO_API GMAT* _LM_mat_copy(GMAT* src, GMAT* dst, int line, const char* callerName, int* status) {
  LmOp op(kFile, "mat_copy", line, callerName, status);
  if (src == nullptr || src->mat == nullptr) LM_FAIL(op, 8, nullptr);
  if (src == dst) return op.done(dst);
  if (dst != nullptr && dst->type != src->type) LM_FAIL(op, 6, nullptr);
  const unsigned m = Rows(src), n = Cols(src);
  if (dst == nullptr || dst->mat == nullptr || Rows(dst) < m || Cols(dst) < n) {
    dst = _LM_mat_resize("_LM_mat_copy", kvlm::lm_context, dst, KindOf(src), static_cast<int>(m),
                         static_cast<int>(n), line, callerName, op.st());
    LM_CHECK(op, nullptr);
  }
  const size_t bytes = static_cast<size_t>(n) * (Real(src) ? sizeof(double) : sizeof(kvelo_complex));
  for (unsigned i = 0; i < m; ++i) std::memmove(RowAt(dst, i), RowAt(src, i), bytes);
  return op.done(dst);
}

KVELO_API GMAT* _LM_mat_inverse(GMAT* src, GMAT* dst, int line, const char* callerName, int* status) {
  LmOp op(kFile, "mat_inverse", line, callerName, status);
  if (src == nullptr || src->mat == nullptr) LM_FAIL(op, 8, nullptr);
  if (dst != nullptr && dst->type != src->type) LM_FAIL(op, 6, nullptr);
  const unsigned m = Rows(src), n = Cols(src);
  GMAT* made = nullptr;
  if (dst == nullptr || dst->mat == nullptr || Rows(dst) < m || Cols(dst) < n) {
    GMAT* given = dst;
    dst = _LM_mat_resize("_LM_mat_inverse", kvlm::lm_context, dst, KindOf(src), static_cast<int>(m),
                         static_cast<int>(n), line, callerName, op.st());
    LM_CHECK(op, nullptr);
    if (given == nullptr) made = dst;
  }
  void* r = Real(src) ? static_cast<void*>(_LM_m_inverse(static_cast<MAT*>(src->mat), static_cast<MAT*>(dst->mat),
                                                         line, callerName, op.st()))
                      : static_cast<void*>(_LM_zm_inverse(static_cast<ZMAT*>(src->mat),
                                                          static_cast<ZMAT*>(dst->mat), line, callerName, op.st()));
  if (op.failed()) {
    Drop(made);  // the caller never saw it
    return nullptr;
  }
  dst->mat = r;
  if (!Refresh(dst)) LM_FAIL(op, 3, nullptr);
  return op.done(dst);
}

KVELO_API GMAT* _LM_mat_mlt(GMAT* a, GMAT* b, GMAT* out, int line, const char* callerName, int* status) {
  LmOp op(kFile, "mat_mlt", line, callerName, status);
  if (a == nullptr || b == nullptr || a->mat == nullptr || b->mat == nullptr) LM_FAIL(op, 8, nullptr);
  if (Rows(b) != Cols(a)) LM_FAIL(op, 1, nullptr);
  if (out == a || out == b) LM_FAIL(op, 12, nullptr);
  if (a->type != b->type || (out != nullptr && out->type != a->type)) LM_FAIL(op, 6, nullptr);
  GMAT* made = nullptr;
  if (out == nullptr || out->mat == nullptr || Rows(out) != Rows(a) || Cols(out) != Cols(b)) {
    GMAT* given = out;
    out = _LM_mat_resize("_LM_mat_mlt", kvlm::lm_context, out, KindOf(a), static_cast<int>(Rows(a)),
                         static_cast<int>(Cols(b)), line, callerName, op.st());
    LM_CHECK(op, nullptr);
    if (given == nullptr) made = out;
  }
  void* r = Real(a) ? static_cast<void*>(_LM_m_mlt(static_cast<MAT*>(a->mat), static_cast<MAT*>(b->mat),
                                                   static_cast<MAT*>(out->mat), line, callerName, op.st()))
                    : static_cast<void*>(_LM_zm_mlt(static_cast<ZMAT*>(a->mat), static_cast<ZMAT*>(b->mat),
                                                    static_cast<ZMAT*>(out->mat), line, callerName, op.st()));
  if (op.failed()) {
    Drop(made);
    return nullptr;
  }
  out->mat = r;
  if (!Refresh(out)) LM_FAIL(op, 3, nullptr);
  return op.done(out);
}

}  // extern "C"
