// lm_owned.h: release of an output record that an operation made itself (the caller passed
// NULL, or a view that a resize replaced) when the operation then fails, so that a failure
// never leaves a record the caller cannot reach.
#ifndef KVELO_CMATRIX_LM_OWNED_H
#define KVELO_CMATRIX_LM_OWNED_H

#include "cmatrix/lm_status.h"
#include "matrix.h"
#include "zmatrix.h"

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
inline void DropIfNew(ZVEC* cur, ZVEC* given) {
  if (cur != nullptr && cur != given) zv_free(cur);
}
inline void DropIfNew(ZMAT* cur, ZMAT* given) {
  if (cur != nullptr && cur != given) zm_free(cur);
}

// Raises code from line, releases res when the operation made it, and gives the NULL that
// ends the operation: `return RaiseAndDrop(op, code, __LINE__, res, out);`.
template <class R>
R* RaiseAndDrop(LmOp& op, int code, int line, R* res, R* given) {
  op.raise(code, line);
  DropIfNew(res, given);
  return nullptr;
}

}  // namespace kvlm

#endif
