// cmat_snap.h: the bytes of a C matrix record, its header and every element its blocks hold
// (capacity, not only the part in use), so that a test or a fuzz harness can show that a
// refused call left a record handed to it exactly as it was.
#ifndef KVELO_TESTS_CMAT_SNAP_H
#define KVELO_TESTS_CMAT_SNAP_H

#include <cstddef>
#include <vector>

#include "matrix.h"
#include "zmatrix.h"

namespace cmat_test {

using RecordBytes = std::vector<unsigned char>;

template <class T>
void AppendBytes(RecordBytes& out, const T* p, size_t count) {
  if (p == nullptr) return;
  const unsigned char* c = reinterpret_cast<const unsigned char*>(p);
  out.insert(out.end(), c, c + count * sizeof(T));
}

template <class V, class E>
RecordBytes SnapVector(const V* v, const E* block, unsigned capacity) {
  RecordBytes b;
  AppendBytes(b, v, 1);
  AppendBytes(b, block, capacity);
  return b;
}

inline RecordBytes Snap(const IVEC* v) { return SnapVector(v, v->ive, v->max_dim); }
inline RecordBytes Snap(const LVEC* v) { return SnapVector(v, v->lve, v->max_dim); }
inline RecordBytes Snap(const VEC* v) { return SnapVector(v, v->ve, v->max_dim); }
inline RecordBytes Snap(const ZVEC* v) { return SnapVector(v, v->ve, v->max_dim); }
inline RecordBytes Snap(const PERM* p) { return SnapVector(p, p->pe, p->max_size); }

// A matrix: header, row table and element block. A view (no block of its own) shows the
// values it reaches through its rows instead.
template <class M>
RecordBytes SnapMatrix(const M* A) {
  RecordBytes b;
  AppendBytes(b, A, 1);
  AppendBytes(b, A->me, A->max_m);
  if (A->base != nullptr) {
    AppendBytes(b, A->base, A->max_size);
  } else if (A->me != nullptr) {
    for (unsigned i = 0; i < A->m; ++i) AppendBytes(b, A->me[i], A->n);
  }
  return b;
}
inline RecordBytes Snap(const MAT* A) { return SnapMatrix(A); }
inline RecordBytes Snap(const ZMAT* A) { return SnapMatrix(A); }

}  // namespace cmat_test

#endif
