// lm_owned.h: release of an output record that an operation made itself (the caller passed
// NULL, or a view that a resize replaced) when the operation then fails, so that a failure
// never leaves a record the caller cannot reach.
#ifndef KVELO_CMATRIX_LM_OWNED_H
#define KVELO_CMATRIX_LM_OWNED_H

#include "matrix.h"

namespace kvlm {

inline void DropIfNew(VEC* cur, VEC* given) {
  if (cur != nullptr && cur != given) v_free(cur);
}
inline void DropIfNew(MAT* cur, MAT* given) {
  if (cur != nullptr && cur != given) m_free(cur);
}
inline void DropIfNew(PERM* cur, PERM* given) {
  if (cur != nullptr && cur != given) px_free(cur);
}
inline void DropIfNew(IVEC* cur, IVEC* given) {
  if (cur != nullptr && cur != given) iv_free(cur);
}
inline void DropIfNew(LVEC* cur, LVEC* given) {
  if (cur != nullptr && cur != given) lv_free(cur);
}

}  // namespace kvlm

#endif
