/* cm_fuzz.h: what the C matrix harnesses share: a trap for a broken promise of a reader, and
 * walks over every element a record claims to hold (its sizes checked against its capacity),
 * so that a record left inconsistent shows up under the sanitizers or stops the run here. */
#ifndef KVELO_CM_FUZZ_H
#define KVELO_CM_FUZZ_H

#include "matrix.h"
#include "zmatrix.h"

namespace kvfuzz {

inline volatile double g_sink;

inline void Check(bool ok) {
  if (!ok) __builtin_trap();
}

template <class V, class E>
void TouchElements(const V* x, unsigned count, unsigned capacity, const E* first,
                   unsigned perElem) {
  Check(count <= capacity && first != nullptr);
  double s = 0;
  for (unsigned i = 0; i < count * perElem; ++i) s += static_cast<double>(first[i]);
  g_sink = s;
  (void)x;
}
inline void Touch(const VEC* x) { TouchElements(x, x->dim, x->max_dim, x->ve, 1); }
inline void Touch(const ZVEC* x) {
  TouchElements(x, x->dim, x->max_dim, reinterpret_cast<const double*>(x->ve), 2);
}
inline void Touch(const IVEC* x) { TouchElements(x, x->dim, x->max_dim, x->ive, 1); }
inline void Touch(const LVEC* x) { TouchElements(x, x->dim, x->max_dim, x->lve, 1); }
inline void Touch(const PERM* px) { TouchElements(px, px->size, px->max_size, px->pe, 1); }

template <class M>
void TouchMatrix(const M* A) {
  Check(A->m <= A->max_m && A->n <= A->max_n && A->me != nullptr);
  constexpr unsigned kPer = sizeof(*A->base) / sizeof(double);
  double s = 0;
  for (unsigned i = 0; i < A->m; ++i) {
    const double* row = reinterpret_cast<const double*>(A->me[i]);
    for (unsigned j = 0; j < A->n * kPer; ++j) s += row[j];
  }
  g_sink = s;
}
inline void Touch(const MAT* A) { TouchMatrix(A); }
inline void Touch(const ZMAT* A) { TouchMatrix(A); }

/* A permutation read successfully must be one: each image below its size, none repeated. */
inline void CheckPermutation(const PERM* px) {
  static bool seen[2001];
  Check(px->size <= 2001);
  for (unsigned i = 0; i < px->size; ++i) seen[i] = false;
  for (unsigned i = 0; i < px->size; ++i) {
    Check(px->pe[i] < px->size && !seen[px->pe[i]]);
    seen[px->pe[i]] = true;
  }
}

}  // namespace kvfuzz

#endif
