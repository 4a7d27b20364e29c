// lm_sort.h: ordering by value: the reductions over data (running extremes that keep a NaN
// once they have seen one, and a sum whose partial sums cannot overflow short of the total
// itself), the check that a PERM is a true permutation,
// and the in-place sorts of the dense, integer and
// long vectors (complex ones by modulus), without recursion and without heap memory; every
// exchange or move of elements
// moves the same entries of the optional order array, so order[k] ends as the former
// position of element k. The quicksort takes the median of the first, middle and last
// elements as its pivot and stops both scans on elements equal to it, so sorted, reversed
// and constant input split evenly; a range that still splits badly too often is finished
// by heapsort, so no input costs more than O(n log n).
#ifndef KVELO_CMATRIX_LM_SORT_H
#define KVELO_CMATRIX_LM_SORT_H

#include <cmath>
#include <cstdint>
#include <utility>

#include "cmatrix/lm_status.h"
#include "matrix.h"

namespace kvlm {

// The larger of a running maximum and the next value, keeping a NaN: a NaN best stays, a
// NaN value is taken, so no later number can hide a NaN met earlier.
inline double MaxKeepingNaN(double best, double v) { return std::isnan(best) || best >= v ? best : v; }

// The extreme (largest, or smallest) of values offered one after another, with the place of
// the first one reaching it; once a NaN is offered it is the extreme, at its place, for good.
class Extreme {
 public:
  Extreme(bool largest, double first, unsigned at) : largest_(largest), best_(first), at_(at) {}
  void Offer(double v, unsigned at) {
    if (std::isnan(best_)) return;
    if (std::isnan(v) || (largest_ ? v > best_ : v < best_)) {
      best_ = v;
      at_ = at;
    }
  }
  double value() const { return best_; }
  unsigned at() const { return at_; }

 private:
  bool largest_;
  double best_;
  unsigned at_;
};

// The sum term(0) + term(1) + ... + term(n-1), added in index order to 0.0. When finite terms
// carry a partial sum past the largest double though the total lies within range (1e308 +
// 1e308 - 1e308), the terms are added again scaled by 2^-k with n <= 2^k, which keeps every
// partial sum in range, and the total is scaled back; an infinite or NaN term decides the
// sum as IEEE addition does. The common case pays one test.
template <class Term>
double SumInRange(uint64_t n, Term term) {
  double sum = 0.0;
  for (uint64_t i = 0; i < n; ++i) sum += term(i);
  if (std::isfinite(sum)) return sum;
  for (uint64_t i = 0; i < n; ++i)
    if (!std::isfinite(term(i))) return sum;
  int k = 0;
  std::frexp(static_cast<double>(n), &k);
  double scaled = 0.0;
  for (uint64_t i = 0; i < n; ++i) scaled += std::ldexp(term(i), -k);
  return std::ldexp(scaled, k);
}

// The largest sum of mag(entry) over the columns (byColumns: the one-norm) or over the rows
// (the infinity norm) of a dense record A (MAT or ZMAT), each sum in index order from 0.0;
// NaN when any sum is, 0.0 for no line.
template <class M, class Mag>
double LargestLineSum(const M* A, bool byColumns, Mag mag) {
  const unsigned lines = byColumns ? A->n : A->m;
  const unsigned len = byColumns ? A->m : A->n;
  double best = 0.0;
  for (unsigned l = 0; l < lines; ++l) {
    double sum = 0.0;
    for (unsigned k = 0; k < len; ++k) sum += mag(byColumns ? A->me[k][l] : A->me[l][k]);
    best = MaxKeepingNaN(best, sum);
  }
  return best;
}

// True when pe[0 .. n-1] holds each of 0 .. n-1 exactly once; pe is left as it was (the
// high bit of each entry marks the values seen for the time of the check, which needs n
// below 2^31, as the in-place walks of the permutation operations do: a PERM's size comes
// from an int, so every record qualifies). No memory is taken, so a false answer always
// means a map that is no permutation.
inline bool IsPermutation(unsigned* pe, unsigned n) {
  const unsigned mark = 0x80000000u;
  if (n >= mark) return false;
  for (unsigned i = 0; i < n; ++i)
    if (pe[i] >= n) return false;
  bool ok = true;
  for (unsigned i = 0; i < n && ok; ++i) {
    const unsigned e = pe[i] & ~mark;
    if ((pe[e] & mark) != 0) ok = false;
    pe[e] |= mark;
  }
  for (unsigned i = 0; i < n; ++i) pe[i] &= ~mark;
  return ok;
}

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

// Elements and their order entries, moved together.
template <class T>
class SortSpan {
 public:
  SortSpan(T* x, unsigned* order) : x_(x), order_(order) {}
  T& operator[](int64_t i) const { return x_[i]; }
  void swap(int64_t a, int64_t b) const {
    std::swap(x_[a], x_[b]);
    if (order_ != nullptr) std::swap(order_[a], order_[b]);
  }
  // x[to] takes x[from] (and its order entry); x[from] is left to be overwritten.
  void move(int64_t from, int64_t to) const {
    x_[to] = x_[from];
    if (order_ != nullptr) order_[to] = order_[from];
  }
  unsigned orderAt(int64_t i) const { return order_ != nullptr ? order_[i] : 0u; }
  void put(int64_t i, const T& v, unsigned ord) const {
    x_[i] = v;
    if (order_ != nullptr) order_[i] = ord;
  }

 private:
  T* x_;
  unsigned* order_;
};

// Ranges of at most this many elements are finished by insertion.
const int64_t kSortSmall = 16;

// The sorts order elements by key(element) (the element itself, or a complex modulus),
// compared with <; a key that is used more than once is computed once.

template <class T, class Key>
void InsertionSort(const SortSpan<T>& a, int64_t l, int64_t r, Key key) {
  for (int64_t i = l + 1; i <= r; ++i) {
    const auto kv = key(a[i]);
    if (!(kv < key(a[i - 1]))) continue;
    const T v = a[i];
    const unsigned ord = a.orderAt(i);
    int64_t j = i;
    do {
      a.move(j - 1, j);
      --j;
    } while (j > l && kv < key(a[j - 1]));
    a.put(j, v, ord);
  }
}

template <class T, class Key>
void SiftDown(const SortSpan<T>& a, int64_t base, int64_t root, int64_t n, Key key) {
  for (;;) {
    int64_t child = 2 * root + 1;
    if (child >= n) return;
    if (child + 1 < n && key(a[base + child]) < key(a[base + child + 1])) ++child;
    if (!(key(a[base + root]) < key(a[base + child]))) return;
    a.swap(base + root, base + child);
    root = child;
  }
}

template <class T, class Key>
void HeapSort(const SortSpan<T>& a, int64_t l, int64_t r, Key key) {
  const int64_t n = r - l + 1;
  for (int64_t i = n / 2; i-- > 0;) SiftDown(a, l, i, n, key);
  for (int64_t end = n - 1; end > 0; --end) {
    a.swap(l, l + end);
    SiftDown(a, l, 0, end, key);
  }
}

// Splits a[l .. r] (more than kSortSmall elements) around the median of a[l], a[mid] and
// a[r]; returns the pivot's final place p: nothing before p is above it, nothing after p
// below it. The three sampled elements bound both scans, and each scan stops on an element
// equal to the pivot, so runs of equal elements are shared out between the two sides.
template <class T, class Key>
int64_t Partition(const SortSpan<T>& a, int64_t l, int64_t r, Key key) {
  const int64_t mid = l + (r - l) / 2;
  if (key(a[mid]) < key(a[l])) a.swap(mid, l);
  if (key(a[r]) < key(a[l])) a.swap(r, l);
  if (key(a[r]) < key(a[mid])) a.swap(r, mid);
  a.swap(mid, r - 1);
  const auto kv = key(a[r - 1]);
  int64_t i = l, j = r - 1;
  for (;;) {
    while (key(a[++i]) < kv) {
    }
    while (kv < key(a[--j])) {
    }
    if (i >= j) break;
    a.swap(i, j);
  }
  a.swap(i, r - 1);
  return i;
}

// Pending ranges with what is left of their split budget: the larger part waits while the
// smaller is sorted, so the stack never holds more than log2(dim) + 1 ranges; 64 covers
// every 32-bit dimension.
class SortStack {
 public:
  void push(int64_t l, int64_t r, int budget) {
    l_[n_] = l;
    r_[n_] = r;
    b_[n_] = budget;
    ++n_;
  }
  bool pop(int64_t* l, int64_t* r, int* budget) {
    if (n_ == 0) return false;
    --n_;
    *l = l_[n_];
    *r = r_[n_];
    *budget = b_[n_];
    return true;
  }

 private:
  int64_t l_[64];
  int64_t r_[64];
  int b_[64];
  int n_ = 0;
};

// Sorts x[0 .. dim-1] by ascending key; the keys must be ordered by < (no NaN among them).
template <class T, class Key>
void SortRange(T* x, unsigned* order, int64_t dim, Key key) {
  if (dim <= 1) return;
  const SortSpan<T> a(x, order);
  int depth = 0;
  for (int64_t n = dim; n > 1; n >>= 1) depth += 2;
  SortStack stack;
  int64_t l = 0, r = dim - 1;
  int budget = depth;
  for (;;) {
    while (r - l + 1 > kSortSmall && budget > 0) {
      --budget;
      const int64_t p = Partition(a, l, r, key);
      if (p - l > r - p) {
        stack.push(l, p - 1, budget);
        l = p + 1;
      } else {
        stack.push(p + 1, r, budget);
        r = p - 1;
      }
    }
    if (r - l + 1 > kSortSmall) {
      HeapSort(a, l, r, key);
    } else if (r > l) {
      InsertionSort(a, l, r, key);
    }
    if (!stack.pop(&l, &r, &budget)) return;
  }
}

// Moves the elements whose key is NaN behind all others (relative order of neither group
// kept) and returns how many are left in front.
template <class T, class Key>
int64_t NaNsLast(T* x, unsigned* order, int64_t dim, Key key) {
  const SortSpan<T> a(x, order);
  int64_t front = 0;
  for (int64_t i = 0; i < dim; ++i) {
    if (std::isnan(key(a[i]))) continue;
    if (i != front) a.swap(i, front);
    ++front;
  }
  return front;
}

// Integer vectors, by signed value.
template <class T>
void QuickSortInt(T* x, unsigned* order, int64_t dim) {
  SortRange(x, order, dim, [](const T& e) { return e; });
}

// Elements ordered by key(element), a real value: ascending keys, the elements whose key is
// NaN (which compares with nothing) after all the others.
template <class T, class Key>
void QuickSortByKey(T* x, unsigned* order, int64_t dim, Key key) {
  const int64_t numbers = NaNsLast(x, order, dim, key);
  SortRange(x, order, numbers, key);
}

// Real vectors, by value.
template <class T>
void QuickSortReal(T* x, unsigned* order, int64_t dim) {
  QuickSortByKey(x, order, dim, [](const T& e) { return e; });
}

}  // namespace kvlm

#endif
