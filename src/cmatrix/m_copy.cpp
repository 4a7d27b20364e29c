// m_copy.cpp: whole and partial copies of VEC, MAT and PERM, and moves of blocks between
// vectors and matrices. Outputs are allocated or grown through the resizers, so values
// outside the copied part stay and newly covered places are 0.
#include <cstring>

#include "cmatrix/lm_dense.h"

using kvlm::LmOp;

namespace {

const char kFile[] = "m_copy";

}  // namespace

extern "C" {

KVELO_API VEC* _LM__v_copy(VEC* in, VEC* out, unsigned int i0, int callerLine,
                           const char* callerName, int* status) {
  LmOp op(kFile, "_v_copy", callerLine, callerName, status);
  return kvlm::CopyVector(op, "_LM__v_copy", in, out, i0);
}

KVELO_API MAT* _LM__m_copy(MAT* in, MAT* out, unsigned int i0, unsigned int j0, int callerLine,
                           const char* callerName, int* status) {
  LmOp op(kFile, "_m_copy", callerLine, callerName, status);
  return kvlm::CopyMatrix(op, "_LM__m_copy", in, out, i0, j0);
}

KVELO_API PERM* _LM_px_copy(PERM* in, PERM* out, int callerLine, const char* callerName,
                            int* status) {
  LmOp op(kFile, "px_copy", callerLine, callerName, status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  if (out == in) return op.done(out);
  if (out == nullptr || out->size != in->size) {
    out = _LM_px_resize("_LM_px_copy", kvlm::lm_context, out, static_cast<int>(in->size), callerLine,
                        callerName, op.st());
    LM_CHECK(op, nullptr);
  }
  if (in->size > 0) std::memmove(out->pe, in->pe, static_cast<size_t>(in->size) * sizeof(unsigned));
  return op.done(out);
}

KVELO_API VEC* _LM_v_move(VEC* in, int i0, int len, VEC* out, int i1, int callerLine,
                          const char* callerName, int* status) {
  LmOp op(kFile, "v_move", callerLine, callerName, status);
  return kvlm::MoveVector(op, "_LM_v_move", in, i0, len, out, i1);
}

KVELO_API MAT* _LM_m_move(MAT* in, int i0, int j0, int rows, int cols, MAT* out, int i1, int j1,
                          int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "m_move", callerLine, callerName, status);
  return kvlm::MoveMatrix(op, "_LM_m_move", in, i0, j0, rows, cols, out, i1, j1);
}

KVELO_API VEC* _LM_mv_move(MAT* in, int i0, int j0, int rows, int cols, VEC* out, int i1,
                           int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "mv_move", callerLine, callerName, status);
  return kvlm::MoveMatrixToVector(op, "_LM_mv_move", in, i0, j0, rows, cols, out, i1);
}

KVELO_API MAT* _LM_vm_move(VEC* in, int i0, MAT* out, int i1, int j1, int rows, int cols,
                           int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "vm_move", callerLine, callerName, status);
  return kvlm::MoveVectorToMatrix(op, "_LM_vm_move", in, i0, out, i1, j1, rows, cols);
}

}  // extern "C"
