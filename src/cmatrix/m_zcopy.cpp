// m_zcopy.cpp: whole and partial copies of ZVEC and ZMAT, and moves of blocks between
// complex vectors and matrices. Outputs are allocated or grown through the complex
// resizers, so values outside the copied part stay and newly covered places are zero.
#include <climits>
#include <cstdint>
#include <cstring>

#include "cmatrix/zcomplex_internal.h"

using kvlm::LmOp;
using kvlm::Z;

namespace {

const char kFile[] = "m_zcopy";

// Copies len elements; source and destination may overlap (moves inside one record).
void CopyElems(Z* dst, const Z* src, size_t len) {
  if (len > 0 && dst != src) std::memmove(dst, src, len * sizeof(Z));
}

}  // namespace

extern "C" {

KVELO_API ZVEC* _LM__zv_copy(ZVEC* in, ZVEC* out, unsigned int i0, int callerLine,
                             const char* callerName, int* status) {
  LmOp op(kFile, "_zv_copy", callerLine, callerName, status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  if (out == in) return op.done(out);
  // A start beyond the source would copy a negative count: refused before out changes.
  if (i0 > in->dim) LM_FAIL(op, 2, nullptr);
  if (out != nullptr && out->dim >= in->dim) {
    out->dim = in->dim;
  } else {
    out = _LM_zv_resize("_LM__zv_copy", kvlm::lm_context, out, static_cast<int>(in->dim),
                        callerLine, callerName, op.st());
    LM_CHECK(op, nullptr);
  }
  CopyElems(out->ve + i0, in->ve + i0, in->dim - i0);
  return op.done(out);
}

KVELO_API ZMAT* _LM__zm_copy(ZMAT* in, ZMAT* out, unsigned int i0, unsigned int j0,
                             int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "_zm_copy", callerLine, callerName, status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  if (out == in) return op.done(out);
  if (j0 > in->n) LM_FAIL(op, 2, nullptr);
  if (out != nullptr && out->m >= in->m && out->n >= in->n) {
    // The rows stay where they are; the resizer follows the row pointers later on.
    out->m = in->m;
    out->n = in->n;
  } else {
    out = _LM_zm_resize("_LM__zm_copy", kvlm::lm_context, out, static_cast<int>(in->m),
                        static_cast<int>(in->n), callerLine, callerName, op.st());
    LM_CHECK(op, nullptr);
  }
  for (unsigned i = i0; i < in->m; ++i) CopyElems(out->me[i] + j0, in->me[i] + j0, in->n - j0);
  return op.done(out);
}

KVELO_API ZVEC* _LM_zv_move(ZVEC* in, int i0, int len, ZVEC* out, int i1, int callerLine,
                            const char* callerName, int* status) {
  LmOp op(kFile, "zv_move", callerLine, callerName, status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  if (i0 < 0 || len < 0 || i1 < 0 || static_cast<int64_t>(i0) + len > in->dim)
    LM_FAIL(op, 2, nullptr);
  const int64_t need = static_cast<int64_t>(i1) + len;
  if (need > INT_MAX) LM_FAIL(op, 3, nullptr);
  if (out == nullptr || out->dim < need) {
    out = _LM_zv_resize("_LM_zv_move", kvlm::lm_context, out, static_cast<int>(need), callerLine,
                        callerName, op.st());
    LM_CHECK(op, nullptr);
  }
  CopyElems(out->ve + i1, in->ve + i0, static_cast<size_t>(len));
  return op.done(out);
}

KVELO_API ZMAT* _LM_zm_move(ZMAT* in, int i0, int j0, int rows, int cols, ZMAT* out, int i1,
                            int j1, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zm_move", callerLine, callerName, status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  if (i0 < 0 || j0 < 0 || rows < 0 || cols < 0 || i1 < 0 || j1 < 0 ||
      static_cast<int64_t>(i0) + rows > in->m || static_cast<int64_t>(j0) + cols > in->n)
    LM_FAIL(op, 2, nullptr);
  const int64_t needM = static_cast<int64_t>(i1) + rows, needN = static_cast<int64_t>(j1) + cols;
  if (needM > INT_MAX || needN > INT_MAX) LM_FAIL(op, 3, nullptr);
  if (out == nullptr || out->m < needM || out->n < needN) {
    const int64_t m = out != nullptr && out->m > needM ? out->m : needM;
    const int64_t n = out != nullptr && out->n > needN ? out->n : needN;
    out = _LM_zm_resize("_LM_zm_move", kvlm::lm_context, out, static_cast<int>(m),
                        static_cast<int>(n), callerLine, callerName, op.st());
    LM_CHECK(op, nullptr);
  }
  // Within one matrix a block moving down is copied from its last row up, so that no source
  // row is overwritten before it is read.
  const bool backwards = out == in && i1 > i0;
  for (int k = 0; k < rows; ++k) {
    const int r = backwards ? rows - 1 - k : k;
    CopyElems(out->me[i1 + r] + j1, in->me[i0 + r] + j0, static_cast<size_t>(cols));
  }
  return op.done(out);
}

KVELO_API ZVEC* _LM_zmv_move(ZMAT* in, int i0, int j0, int rows, int cols, ZVEC* out, int i1,
                             int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zmv_move", callerLine, callerName, status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  if (i0 < 0 || j0 < 0 || rows < 0 || cols < 0 || i1 < 0 ||
      static_cast<int64_t>(i0) + rows > in->m || static_cast<int64_t>(j0) + cols > in->n)
    LM_FAIL(op, 2, nullptr);
  const int64_t need = static_cast<int64_t>(i1) + static_cast<int64_t>(rows) * cols;
  if (need > INT_MAX) LM_FAIL(op, 3, nullptr);
  if (out == nullptr || out->dim < need) {
    out = _LM_zv_resize("_LM_zmv_move", kvlm::lm_context, out, static_cast<int>(need),
                        callerLine, callerName, op.st());
    LM_CHECK(op, nullptr);
  }
  for (int r = 0; r < rows; ++r)
    CopyElems(out->ve + i1 + static_cast<size_t>(r) * cols, in->me[i0 + r] + j0,
              static_cast<size_t>(cols));
  return op.done(out);
}

KVELO_API ZMAT* _LM_zvm_move(ZVEC* in, int i0, ZMAT* out, int i1, int j1, int rows, int cols,
                             int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zvm_move", callerLine, callerName, status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  if (i0 < 0 || i1 < 0 || j1 < 0 || rows < 0 || cols < 0 ||
      static_cast<int64_t>(i0) + static_cast<int64_t>(rows) * cols > in->dim)
    LM_FAIL(op, 2, nullptr);
  int64_t R = static_cast<int64_t>(i1) + rows, C = static_cast<int64_t>(j1) + cols;
  if (out != nullptr) {
    if (out->m > R) R = out->m;
    if (out->n > C) C = out->n;
  }
  if (R > INT_MAX || C > INT_MAX) LM_FAIL(op, 3, nullptr);
  out = _LM_zm_resize("_LM_zvm_move", kvlm::lm_context, out, static_cast<int>(R),
                      static_cast<int>(C), callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  for (int r = 0; r < rows; ++r)
    CopyElems(out->me[i1 + r] + j1, in->ve + i0 + static_cast<size_t>(r) * cols,
              static_cast<size_t>(cols));
  return op.done(out);
}

}  // extern "C"
