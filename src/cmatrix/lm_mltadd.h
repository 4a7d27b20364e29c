// lm_mltadd.h: the matrix multiply-add out = A + s*B shared by _LM_ms_mltadd (matop) and
// _LM_m_mltadd (m_mltadd), which differ only in whether out is sized to A beforehand.
#ifndef KVELO_CMATRIX_LM_MLTADD_H
#define KVELO_CMATRIX_LM_MLTADD_H

#include "matrix.h"

namespace kvlm {

// file/routine name the messages, traceName the trace mark of a failing inner step.
MAT* MatMltAdd(MAT* A, MAT* B, double s, MAT* out, bool sizeFirst, const char* file,
               const char* routine, const char* traceName, int callerLine,
               const char* callerName, int* status);

}  // namespace kvlm

#endif
