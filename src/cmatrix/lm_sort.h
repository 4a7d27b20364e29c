// lm_sort.h: the in-place quicksorts of the dense and integer vectors (complex ones by
// modulus), without recursion and without heap memory; every exchange of two elements
// exchanges the same two entries of the optional order array, so order[k] ends as the
// former position of element k.
#ifndef KVELO_CMATRIX_LM_SORT_H
#define KVELO_CMATRIX_LM_SORT_H

#include <cstdint>
#include <utility>

#include "cmatrix/lm_status.h"
#include "matrix.h"

namespace kvlm {

// The optional order permutation of a sort of dim elements, made ready before the sort:
// resized (tag) when its size differs from dim (a resize turns 0 into 1, so an empty vector
// keeps an order of one entry), then set to the identity. True when order is NULL or ready;
// false (status -1) when a step failed.
inline bool StartOrder(LmOp& op, const char* tag, PERM* order, unsigned dim) {
  if (order == nullptr) return true;
  if (order->size != dim) {
    _LM_px_resize(tag, lm_context, order, static_cast<int>(dim), op.callerLine(), op.callerName(),
                  op.st());
    if (op.failed()) return false;
  }
  _LM_px_ident(order, op.callerLine(), op.callerName(), op.st());
  return !op.failed();
}

// Pending ranges: the larger part waits while the smaller is sorted, so the stack never
// holds more than log2(dim) + 1 ranges; 64 covers every 32-bit dimension.
class SortStack {
 public:
  void push(int64_t l, int64_t r) {
    l_[n_] = l;
    r_[n_] = r;
    ++n_;
  }
  bool pop(int64_t* l, int64_t* r) {
    if (n_ == 0) return false;
    --n_;
    *l = l_[n_];
    *r = r_[n_];
    return true;
  }

 private:
  int64_t l_[64];
  int64_t r_[64];
  int n_ = 0;
};

template <class T>
inline void SortSwap(T* x, unsigned* order, int64_t a, int64_t b) {
  std::swap(x[a], x[b]);
  if (order != nullptr) std::swap(order[a], order[b]);
}

// The loop shared by the sorts: partition(l, r) splits x[l .. r] around the pivot x[r]
// and returns the pivot's final place; the larger part waits on the stack while the smaller
// one is sorted.
template <class Partition>
void QuickSortRanges(int64_t dim, Partition partition) {
  if (dim <= 1) return;
  SortStack stack;
  int64_t l = 0, r = dim - 1;
  for (;;) {
    while (r > l) {
      const int64_t i = partition(l, r);
      if (i - l > r - i) {
        stack.push(l, i - 1);
        l = i + 1;
      } else {
        stack.push(i + 1, r);
        r = i - 1;
      }
    }
    if (!stack.pop(&l, &r)) return;
  }
}

// Integer vectors: i and j both step before they compare; j never goes below l.
template <class T>
void QuickSortInt(T* x, unsigned* order, int64_t dim) {
  QuickSortRanges(dim, [&](int64_t l, int64_t r) {
    const T v = x[r];
    int64_t i = l - 1, j = r;
    for (;;) {
      while (x[++i] < v) {
      }
      do {
        --j;
      } while (x[j] > v && j > l);
      if (i >= j) break;
      SortSwap(x, order, i, j);
    }
    SortSwap(x, order, i, r);
    return i;
  });
}

// Elements ordered by key(element) (a real value): j starts one below the pivot and stays
// on an entry not above it, so a NaN key (never above, never below) stops both scans and
// the partition still ends.
template <class T, class Key>
void QuickSortByKey(T* x, unsigned* order, int64_t dim, Key key) {
  QuickSortRanges(dim, [&](int64_t l, int64_t r) {
    const auto v = key(x[r]);
    int64_t i = l - 1, j = r - 1;
    for (;;) {
      ++i;
      while (key(x[i]) < v) ++i;
      while (j >= 0 && key(x[j]) > v) --j;
      if (i >= j) break;
      SortSwap(x, order, i, j);
    }
    SortSwap(x, order, i, r);
    return i;
  });
}

// Real vectors, by value.
template <class T>
void QuickSortReal(T* x, unsigned* order, int64_t dim) {
  QuickSortByKey(x, order, dim, [](const T& e) { return e; });
}

}  // namespace kvlm

#endif
