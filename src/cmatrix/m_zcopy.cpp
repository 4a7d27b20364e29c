// m_zcopy.cpp: whole and partial copies of ZVEC and ZMAT, and moves of blocks between
// complex vectors and matrices. Outputs are allocated or grown through the complex
// resizers, so values outside the copied part stay and newly covered places are zero.
#include "cmatrix/lm_dense.h"

using kvlm::LmOp;

namespace {

const char kFile[] = "m_zcopy";

}  // namespace

extern "C" {

KVELO_API ZVEC* _LM__zv_copy(ZVEC* in, ZVEC* out, unsigned int i0, int callerLine,
                             const char* callerName, int* status) {
  LmOp op(kFile, "_zv_copy", callerLine, callerName, status);
  return kvlm::CopyVector(op, "_LM__zv_copy", in, out, i0);
}

KVELO_API ZMAT* _LM__zm_copy(ZMAT* in, ZMAT* out, unsigned int i0, unsigned int j0,
                             int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "_zm_copy", callerLine, callerName, status);
  return kvlm::CopyMatrix(op, "_LM__zm_copy", in, out, i0, j0);
}

KVELO_API ZVEC* _LM_zv_move(ZVEC* in, int i0, int len, ZVEC* out, int i1, int callerLine,
                            const char* callerName, int* status) {
  LmOp op(kFile, "zv_move", callerLine, callerName, status);
  return kvlm::MoveVector(op, "_LM_zv_move", in, i0, len, out, i1);
}

KVELO_API ZMAT* _LM_zm_move(ZMAT* in, int i0, int j0, int rows, int cols, ZMAT* out, int i1,
                            int j1, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zm_move", callerLine, callerName, status);
  return kvlm::MoveMatrix(op, "_LM_zm_move", in, i0, j0, rows, cols, out, i1, j1);
}

KVELO_API ZVEC* _LM_zmv_move(ZMAT* in, int i0, int j0, int rows, int cols, ZVEC* out, int i1,
                             int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zmv_move", callerLine, callerName, status);
  return kvlm::MoveMatrixToVector(op, "_LM_zmv_move", in, i0, j0, rows, cols, out, i1);
}

KVELO_API ZMAT* _LM_zvm_move(ZVEC* in, int i0, ZMAT* out, int i1, int j1, int rows, int cols,
                             int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "zvm_move", callerLine, callerName, status);
  return kvlm::MoveVectorToMatrix(op, "_LM_zvm_move", in, i0, out, i1, j1, rows, cols);
}

}  // extern "C"
