// m_submat.cpp: rows and columns of a MAT to and from vectors, and the views: a matrix view
// is a header with its own row table pointing into another matrix's rows, a vector view a
// header whose entries are another vector's. Views own no elements.
#include <cstdint>

#include "cmatrix/lm_dense.h"
#include "cmatrix/lm_owned.h"
#include "cmatrix/lm_status.h"
#include "matrix.h"

using kvlm::LmOp;

namespace {

const char kFile[] = "m_submat";

}  // namespace

extern "C" {

KVELO_API VEC* _LM_get_col(MAT* A, unsigned int j, VEC* out, int callerLine,
                           const char* callerName, int* status) {
  LmOp op(kFile, "get_col", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, nullptr);
  if (j >= A->n) LM_FAIL(op, 10, nullptr);
  VEC* res = kvlm::GrownVec(op, "_LM_get_col", out, A->m);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < A->m; ++i) res->ve[i] = A->me[i][j];
  return op.done(res);
}

KVELO_API VEC* _LM_get_row(MAT* A, unsigned int i, VEC* out, int callerLine,
                           const char* callerName, int* status) {
  LmOp op(kFile, "get_row", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, nullptr);
  if (i >= A->m) LM_FAIL(op, 10, nullptr);
  VEC* res = kvlm::GrownVec(op, "_LM_get_row", out, A->n);
  LM_CHECK(op, nullptr);
  for (unsigned j = 0; j < A->n; ++j) res->ve[j] = A->me[i][j];
  return op.done(res);
}

KVELO_API MAT* _LM__set_col(MAT* A, unsigned int j, VEC* v, unsigned int i0, int callerLine,
                            const char* callerName, int* status) {
  LmOp op(kFile, "_set_col", callerLine, callerName, status);
  if (A == nullptr || v == nullptr) LM_FAIL(op, 8, nullptr);
  if (j >= A->n) LM_FAIL(op, 10, nullptr);
  const unsigned end = A->m < v->dim ? A->m : v->dim;
  for (unsigned i = i0; i < end; ++i) A->me[i][j] = v->ve[i];
  return op.done(A);
}

KVELO_API MAT* _LM__set_row(MAT* A, unsigned int i, VEC* v, unsigned int j0, int callerLine,
                            const char* callerName, int* status) {
  LmOp op(kFile, "_set_row", callerLine, callerName, status);
  if (A == nullptr || v == nullptr) LM_FAIL(op, 8, nullptr);
  if (i >= A->m) LM_FAIL(op, 10, nullptr);
  const unsigned end = A->n < v->dim ? A->n : v->dim;
  for (unsigned j = j0; j < end; ++j) A->me[i][j] = v->ve[j];
  return op.done(A);
}

KVELO_API MAT* _LM_sub_mat(MAT* A, unsigned int row1, unsigned int col1, unsigned int row2,
                           unsigned int col2, MAT* out, int callerLine, const char* callerName,
                           int* status) {
  LmOp op(kFile, "sub_mat", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, nullptr);
  if (row1 > row2 || col1 > col2 || row2 >= A->m || col2 >= A->n) LM_FAIL(op, 10, nullptr);
  // A matrix with an element block of its own is never turned into a view: its block
  // would be lost.
  if (out != nullptr && out->base != nullptr) LM_FAIL(op, 12, nullptr);
  const unsigned rows = row2 - row1 + 1;
  MAT* res = out;
  if (res == nullptr) {
    res = static_cast<MAT*>(kvlm::Calloc(1, sizeof(MAT), "_LM_sub_mat"));
    if (res == nullptr) LM_FAIL(op, 3, nullptr);
    res->me = static_cast<double**>(kvlm::Calloc(rows, sizeof(double*), "_LM_sub_mat"));
    if (res->me == nullptr) {
      kvlm::Free(res);
      LM_FAIL(op, 3, nullptr);
    }
    // The table's length is kept in max_m, so that m_free takes off what was counted here.
    res->max_m = rows;
    kvlm::AccountBytes(TYPE_MAT, 0, static_cast<int64_t>(sizeof(MAT)) + static_cast<int64_t>(rows) * sizeof(double*));
  } else {
    // A view handed back in: its row table grows in place when it is too short, so the
    // caller's header stays the one in use.
    const unsigned have = res->me == nullptr ? 0u : (res->max_m > res->m ? res->max_m : res->m);
    if (have < rows) {
      void* nt = kvlm::Realloc(res->me, static_cast<size_t>(rows) * sizeof(double*), "_LM_sub_mat");
      if (nt == nullptr) LM_FAIL(op, 3, nullptr);
      kvlm::AccountBytes(TYPE_MAT, static_cast<int64_t>(res->me == nullptr ? 0u : res->max_m) * sizeof(double*),
                         static_cast<int64_t>(rows) * sizeof(double*));
      res->me = static_cast<double**>(nt);
      res->max_m = rows;
    }
  }
  res->m = rows;
  res->n = col2 - col1 + 1;
  res->base = nullptr;
  for (unsigned k = 0; k < rows; ++k) res->me[k] = A->me[row1 + k] + col1;
  return op.done(res);
}

KVELO_API VEC* _LM_sub_vec(VEC* v, int i1, int i2, VEC* out, int callerLine,
                           const char* callerName, int* status) {
  LmOp op(kFile, "sub_vec", callerLine, callerName, status);
  if (v == nullptr) LM_FAIL(op, 8, nullptr);
  if (i1 < 0 || i1 > i2 || static_cast<unsigned>(i2) >= v->dim) LM_FAIL(op, 10, nullptr);
  // A vector with a block of its own (capacity above 0) is never turned into a view.
  if (out != nullptr && out->max_dim != 0) LM_FAIL(op, 12, nullptr);
  VEC* res = out;
  if (res == nullptr) {
    res = static_cast<VEC*>(kvlm::Calloc(1, sizeof(VEC), "_LM_sub_vec"));
    if (res == nullptr) LM_FAIL(op, 3, nullptr);
    kvlm::AccountBytes(TYPE_VEC, 0, sizeof(VEC));
  }
  res->dim = static_cast<unsigned>(i2 - i1 + 1);
  res->ve = v->ve + i1;
  return op.done(res);
}

}  // extern "C"
