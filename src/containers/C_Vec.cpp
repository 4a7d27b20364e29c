/* C_Vec.cpp: the compiled side of the vector containers: the binary form of the dimension of
 * C_BaseVec<I>, the piece length of long vectors, and the exported instances of the vector,
 * storage and concrete-vector templates and of the random fill. */
#include "C_Vec.h"
#include "C_Ptr.h"
#include "C_VecPi.h"
#include "C_VecRand.h"

#include <atomic>

namespace kvelo_vec {

namespace {
// Read on every operation that goes by pieces; written only by the library's tests.
std::atomic<long long> g_pieceLength{kPieceLength};
}  // namespace

long long PieceLength() { return g_pieceLength.load(std::memory_order_relaxed); }

// Lets the library's tests cut vectors into pieces of n elements (1 <= n <= kPieceLength;
// any other n restores kPieceLength), so that the joins between pieces can be reached at small
// sizes. Not declared in any installed header and not exported.
void SetPieceLength(long long n);
void SetPieceLength(long long n) {
  g_pieceLength.store(n >= 1 && n <= kPieceLength ? n : kPieceLength, std::memory_order_relaxed);
}

}  // namespace kvelo_vec

// The dimension of the generic binary form is little-endian (the values that follow it are
// big-endian): the two halves of the form differ on purpose.
template <class I>
int C_BaseVec<I>::Write(FILE* f) {
  if (!f) KVELO_THROW(12);
  if (T_BF_write(f, &dim, static_cast<I>(1), false) != 0) KVELO_THROW(22);
  return 0;
}

template <class I>
int C_BaseVec<I>::Read(FILE* f) {
  if (!f) KVELO_THROW(12);
  // Read aside: a short read must not leave part of a dimension behind.
  I n = 0;
  if (T_BF_read(f, &n, static_cast<I>(1), false) != 0) KVELO_THROW(21);
  dim = n;
  return 0;
}

template class C_BaseVec<int>;
template class C_BaseVec<long long>;

#define KVELO_VEC_INSTANCES(T)                    \
  template struct C_Counter<C_Vec<T, int>>;       \
  template struct C_Counter<C_Vec<T, long long>>; \
  template class C_Vec<T, int>;                   \
  template class C_Vec<T, long long>;
KVELO_VEC_ELEMENT_TYPES(KVELO_VEC_INSTANCES)
#undef KVELO_VEC_INSTANCES

template class C_Ptr<int, int>;
template class C_Ptr<double, int>;
template class C_Ptr<std::complex<double>, int>;
template class C_PtrInCore<int, int>;
template class C_PtrInCore<double, int>;
template class C_PtrInCore<std::complex<double>, int>;

template class C_VecPi<int, int, C_PtrInCore<int, int>>;
template class C_VecPi<double, int, C_PtrInCore<double, int>>;
template class C_VecPi<std::complex<double>, int, C_PtrInCore<std::complex<double>, int>>;

template KVELO_API void InitRand<double>(C_Vec<double, int>&, E_InitSeedType, unsigned);
template KVELO_API void InitRand<std::complex<double>>(C_Vec<std::complex<double>, int>&, E_InitSeedType, unsigned);
