/* C_Type.h: the roots shared by the vector and matrix containers: the element-type codes
 * every container reports, the norm selector, the per-class object counter and the int
 * form of the block splitter that walks storage without contiguous data. */
#ifndef KVELO_C_TYPE_H
#define KVELO_C_TYPE_H

#include "kvelo_export.h"

// Root of the container classes: no data, no virtual operation; carries the type codes.
class C_Type {
 public:
  // Element-type code answered by Type() of every container (fixed int underlying type,
  // so a code read from outside is never an invalid enumerator value).
  enum E_Type : int {
    TypeDouble = 1,
    TypeFloat = 2,
    TypeComplexFloat = 3,
    TypeComplexDouble = 4,
    TypeInt = 5,
    TypeLongLong = 6,
    TypeNone = 7  // the element-type-free bases (C_BaseVec, the general matrix base)
  };
};

// Norm selector of the vector and matrix norms; any other value makes them throw code 3.
// The underlying type is fixed so that such a value may be passed without undefined behaviour.
enum E_NrmType : int {
  NRM_INF = 0,  // infinity norm
  NRM_ONE = 1,  // one-norm
  NRM_TWO = 2   // two-norm
};

// Counts the objects of one class X: every construction (copies included) adds one to both
// counts, destruction takes one from objects_alive, assignment changes neither.
// The counts are process-wide ints that hosts read as before; every update is atomic, so
// objects built and destroyed on several threads at once keep them exact. A host reading a
// count while other threads build objects gets a value that was true at some moment (read it
// with an atomic load, e.g. __atomic_load_n(&objects_alive, __ATOMIC_RELAXED), to stay
// free of data races in the language's sense).
template <class X>
struct KVELO_API C_Counter {
  static int objects_created;  // X objects constructed since the library was loaded
  static int objects_alive;    // X objects constructed and not yet destroyed

  // The counts stay plain ints (their type is part of the interface hosts compiled against);
  // the compiler's atomic operations update them in place.
  C_Counter() {
    __atomic_add_fetch(&objects_created, 1, __ATOMIC_RELAXED);
    __atomic_add_fetch(&objects_alive, 1, __ATOMIC_RELAXED);
  }
  C_Counter(const C_Counter&) {
    __atomic_add_fetch(&objects_created, 1, __ATOMIC_RELAXED);
    __atomic_add_fetch(&objects_alive, 1, __ATOMIC_RELAXED);
  }
  C_Counter& operator=(const C_Counter&) { return *this; }
  virtual ~C_Counter() { __atomic_sub_fetch(&objects_alive, 1, __ATOMIC_RELAXED); }
};

template <class X>
int C_Counter<X>::objects_created = 0;
template <class X>
int C_Counter<X>::objects_alive = 0;

// Cuts n elements into nBlocks blocks of blockSize elements, the last of lastBlockSize:
// n = 0 gives one block of 0, n <= maxBlock one block of n, 10000 by 4096 gives 4096, 4096, 1808.
// The int form of the splitter whose long long form serves the typed binary arrays; it walks
// storage without contiguous data in blocks of 4096. maxBlock must be positive.
inline void SplitCountInBlocks(int n, int maxBlock, int& nBlocks, int& blockSize, int& lastBlockSize) {
  nBlocks = static_cast<int>(static_cast<double>(n) / static_cast<double>(maxBlock));
  if (nBlocks == 0)
    nBlocks = 1;
  else if (n % maxBlock > 0)
    ++nBlocks;
  if (n > 0 && nBlocks < 1) nBlocks = 1;
  blockSize = nBlocks == 1 ? n : maxBlock;
  lastBlockSize = n - blockSize * (nBlocks - 1);
}

#endif
