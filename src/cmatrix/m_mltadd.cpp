// m_mltadd.cpp: the matrix multiply-add out = A + s*B that sizes its output to A's shape
// before it works, so that the result's rows lie packed at A's column count.
#include "cmatrix/lm_mltadd.h"
#include "matrix.h"

extern "C" {

KVELO_API MAT* _LM_m_mltadd(MAT* A, MAT* B, double s, MAT* out, int callerLine,
                            const char* callerName, int* status) {
  return kvlm::MatMltAdd(A, B, s, out, true, "m_mltadd", "m_mltadd", "_LM_m_mltadd", callerLine,
                         callerName, status);
}

}  // extern "C"
