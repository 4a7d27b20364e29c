// matop.cpp: arithmetic on the real matrix MAT: sums, scaling, the three products, the
// matrix-vector products (one BLAS call over the element block where the rows lie at one
// stride), transposition, row and column exchanges and the multiply-adds.
#include <cmath>
#include <cstdint>

#include "ITF_blas_lapack.h"
#include "cmatrix/lm_dense.h"
#include "cmatrix/lm_mltadd.h"
#include "cmatrix/lm_owned.h"
#include "cmatrix/lm_status.h"
#include "matrix.h"

using kvlm::DropIfNew;
using kvlm::LmOp;
using kvlm::SizedMat;
using kvlm::SizedVec;

namespace {

const char kFile[] = "matop";

int Len(unsigned n) { return static_cast<int>(n); }

void ZeroRows(MAT* A) {
  for (unsigned i = 0; i < A->m; ++i) __zero__(A->me[i], Len(A->n));
}

// The sum over t < len of s * a(t) * b[t] with every term held as a mantissa and an
// exponent and the running sum kept at the largest exponent met, so that neither a weight
// s*b[t] nor a partial product leaves the range of double before the sum itself does. An
// infinite or NaN factor is carried into the sum as the plain arithmetic would carry it,
// short of a term with a zero factor, which is nothing (the kernels skip a zero weight).
template <class Entry>
double ScaledWeightedSum(double s, Entry a, const double* b, unsigned len) {
  kvlm::ExpSum sum;
  for (unsigned t = 0; t < len; ++t) sum.AddTriple(1.0, s, a(t), b[t]);
  return sum.Value();
}

bool AllFinite(const double* v, unsigned len) {
  for (unsigned t = 0; t < len; ++t)
    if (!std::isfinite(v[t])) return false;
  return true;
}

// The distance in doubles between consecutive rows when every row lies at one stride from
// row 0 (at least n apart, within what a BLAS count holds); 0 otherwise.
size_t UniformStride(const MAT* A) {
  if (A->me == nullptr || A->me[0] == nullptr) return 0;
  if (A->m < 2) return A->n > 0 ? A->n : 1;
  const uintptr_t r0 = reinterpret_cast<uintptr_t>(A->me[0]);
  const uintptr_t r1 = reinterpret_cast<uintptr_t>(A->me[1]);
  if (r1 <= r0 || (r1 - r0) % sizeof(double) != 0) return 0;
  const size_t stride = (r1 - r0) / sizeof(double);
  if (stride < A->n || stride > static_cast<size_t>(INT32_MAX)) return 0;
  for (unsigned i = 2; i < A->m; ++i)
    if (reinterpret_cast<uintptr_t>(A->me[i]) != r0 + static_cast<uintptr_t>(i) * stride * sizeof(double))
      return 0;
  return stride;
}

}  // namespace

extern "C" {

KVELO_API MAT* _LM_m_add(MAT* A, MAT* B, MAT* out, int callerLine, const char* callerName,
                         int* status) {
  LmOp op(kFile, "m_add", callerLine, callerName, status);
  return kvlm::AddSubMatrices(op, "_LM_m_add", A, B, out, false);
}

KVELO_API MAT* _LM_m_sub(MAT* A, MAT* B, MAT* out, int callerLine, const char* callerName,
                         int* status) {
  LmOp op(kFile, "m_sub", callerLine, callerName, status);
  return kvlm::AddSubMatrices(op, "_LM_m_sub", A, B, out, true);
}

KVELO_API MAT* _LM_sm_mlt(double s, MAT* A, MAT* out, int callerLine, const char* callerName,
                          int* status) {
  LmOp op(kFile, "sm_mlt", callerLine, callerName, status);
  return kvlm::ScaleMatrix(op, "_LM_sm_mlt", s, A, out);
}

KVELO_API MAT* _LM_m_mlt(MAT* A, MAT* B, MAT* out, int callerLine, const char* callerName,
                         int* status) {
  LmOp op(kFile, "m_mlt", callerLine, callerName, status);
  return kvlm::MultiplyMatrices(op, "_LM_m_mlt", A, B, out);
}

KVELO_API MAT* _LM_mmtr_mlt(MAT* A, MAT* B, MAT* out, int callerLine, const char* callerName,
                            int* status) {
  LmOp op(kFile, "mmtr_mlt", callerLine, callerName, status);
  if (A == nullptr || B == nullptr) LM_FAIL(op, 8, nullptr);
  if (out == A || out == B) LM_FAIL(op, 12, nullptr);
  if (A->n != B->n) LM_FAIL(op, 1, nullptr);
  MAT* res = SizedMat(op, "_LM_mmtr_mlt", out, A->m, B->m);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < A->m; ++i)
    for (unsigned j = 0; j < B->m; ++j) res->me[i][j] = __ip__(A->me[i], B->me[j], Len(A->n));
  return op.done(res);
}

KVELO_API MAT* _LM_mtrm_mlt(MAT* A, MAT* B, MAT* out, int callerLine, const char* callerName,
                            int* status) {
  LmOp op(kFile, "mtrm_mlt", callerLine, callerName, status);
  if (A == nullptr || B == nullptr) LM_FAIL(op, 8, nullptr);
  if (out == A || out == B) LM_FAIL(op, 12, nullptr);
  if (A->m != B->m) LM_FAIL(op, 1, nullptr);
  MAT* res = SizedMat(op, "_LM_mtrm_mlt", out, A->n, B->n);
  LM_CHECK(op, nullptr);
  ZeroRows(res);
  for (unsigned i = 0; i < A->m; ++i)
    for (unsigned k = 0; k < A->n; ++k) {
      const double a = A->me[i][k];
      if (a != 0.0) __mltadd__(res->me[k], B->me[i], a, Len(B->n));
    }
  return op.done(res);
}

KVELO_API VEC* _LM_mv_mlt(MAT* A, VEC* b, VEC* out, int callerLine, const char* callerName,
                          int* status) {
  LmOp op(kFile, "mv_mlt", callerLine, callerName, status);
  if (A == nullptr || b == nullptr) LM_FAIL(op, 8, nullptr);
  if (b->dim != A->n) LM_FAIL(op, 1, nullptr);
  if (out == b) LM_FAIL(op, 12, nullptr);
  VEC* res = SizedVec(op, "_LM_mv_mlt", out, A->m);
  LM_CHECK(op, nullptr);
  if (A->m == 0) return op.done(res);
  if (A->n == 0) {
    // The BLAS returns at once on an empty row without clearing y: the product is zero.
    __zero__(res->ve, Len(A->m));
    return op.done(res);
  }
  const size_t lda = UniformStride(A);
  if (lda != 0) {
    // Read by columns with leading dimension lda, the row-major rows form A^T.
    ITF_dgemv("T", Len(A->n), Len(A->m), 1.0, A->me[0], static_cast<int>(lda), b->ve, 1, 0.0,
              res->ve, 1);
  } else {
    // Rows that do not lie at one stride (a view of scattered rows): one dot product each.
    for (unsigned i = 0; i < A->m; ++i) res->ve[i] = __ip__(A->me[i], b->ve, Len(A->n));
  }
  return op.done(res);
}

KVELO_API VEC* _LM_vm_mlt(MAT* A, VEC* b, VEC* out, int callerLine, const char* callerName,
                          int* status) {
  LmOp op(kFile, "vm_mlt", callerLine, callerName, status);
  if (A == nullptr || b == nullptr) LM_FAIL(op, 8, nullptr);
  if (b->dim != A->m) LM_FAIL(op, 1, nullptr);
  if (out == b) LM_FAIL(op, 12, nullptr);
  VEC* res = SizedVec(op, "_LM_vm_mlt", out, A->n);
  LM_CHECK(op, nullptr);
  _LM_v_zero(res, callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < A->m; ++i) {
    const double c = b->ve[i];
    if (c != 0.0) __mltadd__(res->ve, A->me[i], c, Len(A->n));
  }
  return op.done(res);
}

KVELO_API MAT* _LM_m_transp(MAT* A, MAT* out, int callerLine, const char* callerName,
                            int* status) {
  LmOp op(kFile, "m_transp", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, nullptr);
  if (out == A) {
    if (A->m != A->n) LM_FAIL(op, 11, nullptr);
    for (unsigned i = 1; i < A->m; ++i)
      for (unsigned j = 0; j < i; ++j) {
        const double t = A->me[i][j];
        A->me[i][j] = A->me[j][i];
        A->me[j][i] = t;
      }
    return op.done(A);
  }
  MAT* res = SizedMat(op, "_LM_m_transp", out, A->n, A->m);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < A->m; ++i)
    for (unsigned j = 0; j < A->n; ++j) res->me[j][i] = A->me[i][j];
  return op.done(res);
}

KVELO_API MAT* _LM_swap_rows(MAT* A, int i, int j, int lo, int hi, int callerLine,
                             const char* callerName, int* status) {
  LmOp op(kFile, "swap_rows", callerLine, callerName, status);
  return kvlm::SwapLines(op, A, false, i, j, lo, hi);
}

KVELO_API MAT* _LM_swap_cols(MAT* A, int i, int j, int lo, int hi, int callerLine,
                             const char* callerName, int* status) {
  LmOp op(kFile, "swap_cols", callerLine, callerName, status);
  return kvlm::SwapLines(op, A, true, i, j, lo, hi);
}

}  // extern "C"

namespace kvlm {

MAT* MatMltAdd(MAT* A, MAT* B, double s, MAT* out, bool sizeFirst, const char* file,
               const char* routine, const char* traceName, int callerLine,
               const char* callerName, int* status) {
  LmOp op(file, routine, callerLine, callerName, status);
  if (A == nullptr || B == nullptr) LM_FAIL(op, 8, nullptr);
  if (A->m != B->m || A->n != B->n) LM_FAIL(op, 1, nullptr);
  if (s == 0.0) return op.done(_LM__m_copy(A, out, 0, 0, callerLine, callerName, op.st()));
  if (s == 1.0) return op.done(_LM_m_add(A, B, out, callerLine, callerName, op.st()));
  MAT* res = out;
  if (sizeFirst) {
    res = SizedMat(op, traceName, out, A->m, A->n);
    if (op.failed()) {
      fct_Trace(traceName, __LINE__, file);
      return nullptr;
    }
  }
  if (B == res && A == res) {
    // Scaling out first would scale A too: A + s*A row by row instead.
    for (unsigned i = 0; i < A->m; ++i)
      for (unsigned j = 0; j < A->n; ++j) res->me[i][j] = res->me[i][j] + s * res->me[i][j];
    return op.done(res);
  }
  MAT* sum = nullptr;
  if (B == res) {
    _LM_sm_mlt(s, B, res, callerLine, callerName, op.st());
    if (!op.failed()) sum = _LM_m_add(A, res, res, callerLine, callerName, op.st());
  } else {
    sum = _LM__m_copy(A, res, 0, 0, callerLine, callerName, op.st());
    if (!op.failed())
      for (unsigned i = 0; i < A->m; ++i) __mltadd__(sum->me[i], B->me[i], s, Len(A->n));
  }
  if (op.failed()) {
    fct_Trace(traceName, __LINE__, file);
    DropIfNew(res, out);
    return nullptr;
  }
  return op.done(sum);
}

}  // namespace kvlm

extern "C" {

KVELO_API MAT* _LM_ms_mltadd(MAT* A, MAT* B, double s, MAT* out, int callerLine,
                             const char* callerName, int* status) {
  return kvlm::MatMltAdd(A, B, s, out, false, kFile, "ms_mltadd", "_LM_ms_mltadd", callerLine,
                         callerName, status);
}

KVELO_API VEC* _LM_mv_mltadd(VEC* x, VEC* y, MAT* A, double s, VEC* out, int callerLine,
                             const char* callerName, int* status) {
  LmOp op(kFile, "mv_mltadd", callerLine, callerName, status);
  if (x == nullptr || y == nullptr || A == nullptr) LM_FAIL(op, 8, nullptr);
  if (out == y) LM_FAIL(op, 12, nullptr);
  if (A->m != x->dim || A->n != y->dim) LM_FAIL(op, 1, nullptr);
  VEC* res = _LM__v_copy(x, out, 0, callerLine, callerName, op.st());
  if (op.failed()) {
    fct_Trace("_LM_mv_mltadd", __LINE__, kFile);
    return nullptr;
  }
  if (s == 0.0) return op.done(res);
  for (unsigned i = 0; i < A->m; ++i) {
    // The row's product first, then the weight. A product of finite factors beyond the range
    // of double, whose weighted value need not be (a weight below 1), is formed again term by
    // term at its own scale.
    const double ip = __ip__(A->me[i], y->ve, Len(A->n));
    const double* row = A->me[i];
    const double p = !std::isfinite(ip) && std::isfinite(s) && AllFinite(row, A->n) &&
                             AllFinite(y->ve, A->n)
                         ? ScaledWeightedSum(s, [row](unsigned t) { return row[t]; }, y->ve, A->n)
                         : s * ip;
    res->ve[i] = p + res->ve[i];
  }
  return op.done(res);
}

KVELO_API VEC* _LM_vm_mltadd(VEC* x, VEC* y, MAT* A, double s, VEC* out, int callerLine,
                             const char* callerName, int* status) {
  LmOp op(kFile, "vm_mltadd", callerLine, callerName, status);
  if (x == nullptr || y == nullptr || A == nullptr) LM_FAIL(op, 8, nullptr);
  if (out == y) LM_FAIL(op, 12, nullptr);
  if (A->n != x->dim || A->m != y->dim) LM_FAIL(op, 1, nullptr);
  VEC* res = _LM__v_copy(x, out, 0, callerLine, callerName, op.st());
  if (op.failed()) {
    fct_Trace("_LM_vm_mltadd", __LINE__, kFile);
    return nullptr;
  }
  // Rows weighted by s*y[j], as long as every weight is what it stands for: a weight that
  // overflows (its products with small entries may be finite) or underflows to zero (its
  // products with an infinite entry are not zero) sends every column through the sum at its
  // own scale instead.
  bool weightsHold = true;
  for (unsigned j = 0; j < A->m && weightsHold; ++j) {
    const double yj = y->ve[j], t = s * yj;
    if ((std::isinf(t) && std::isfinite(s) && std::isfinite(yj)) ||
        (t == 0.0 && s != 0.0 && yj != 0.0))
      weightsHold = false;
  }
  if (weightsHold) {
    for (unsigned j = 0; j < A->m; ++j) {
      const double t = s * y->ve[j];
      if (t != 0.0) __mltadd__(res->ve, A->me[j], t, Len(A->n));
    }
    return op.done(res);
  }
  for (unsigned i = 0; i < A->n; ++i) {
    const double p =
        ScaledWeightedSum(s, [A, i](unsigned j) { return A->me[j][i]; }, y->ve, A->m);
    res->ve[i] = p + res->ve[i];
  }
  return op.done(res);
}

}  // extern "C"
