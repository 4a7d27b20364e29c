// cmat_sort.h: inputs that in-place sorts find hard (sorted, reversed, constant, organ pipe,
// sawtooth, few distinct values, random) and the check of a sort's result: ascending keys,
// an order permutation of 0 .. n-1, and each sorted element bit for bit the input element
// its order entry names.
#ifndef KVELO_TESTS_CMAT_SORT_H
#define KVELO_TESTS_CMAT_SORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "matrix.h"

namespace cmat_test {

enum class SortPattern { kSorted, kReversed, kConstant, kOrganPipe, kSawtooth, kFewValues, kRandom };

struct SortCase {
  const char* name;
  SortPattern pattern;
  int n;
};

// The hard shapes at 10^5, and the ones a first- or last-element pivot turns quadratic at
// 10^6 as well.
inline std::vector<SortCase> HardSortCases() {
  return {{"sorted", SortPattern::kSorted, 100000},
          {"reversed", SortPattern::kReversed, 100000},
          {"constant", SortPattern::kConstant, 100000},
          {"organ pipe", SortPattern::kOrganPipe, 100000},
          {"sawtooth", SortPattern::kSawtooth, 100000},
          {"few values", SortPattern::kFewValues, 100000},
          {"random", SortPattern::kRandom, 100000},
          {"sorted, 10^6", SortPattern::kSorted, 1000000},
          {"reversed, 10^6", SortPattern::kReversed, 1000000},
          {"constant, 10^6", SortPattern::kConstant, 1000000},
          {"small", SortPattern::kRandom, 17},
          {"tiny", SortPattern::kReversed, 3}};
}

// Integer keys of the pattern, in -n .. n (random ones over a wider range).
inline std::vector<long long> PatternKeys(SortPattern p, int n, uint32_t seed) {
  std::vector<long long> k(static_cast<size_t>(n));
  std::mt19937 g(seed);
  for (int i = 0; i < n; ++i) {
    switch (p) {
      case SortPattern::kSorted: k[i] = i - n / 2; break;
      case SortPattern::kReversed: k[i] = n - i; break;
      case SortPattern::kConstant: k[i] = 7; break;
      case SortPattern::kOrganPipe: k[i] = i < n / 2 ? i : n - i; break;
      case SortPattern::kSawtooth: k[i] = i % 1000; break;
      case SortPattern::kFewValues: k[i] = static_cast<long long>(g() % 4) - 1; break;
      case SortPattern::kRandom: k[i] = static_cast<long long>(g() % 2000001) - 1000000; break;
    }
  }
  return k;
}

// out (n elements, sorted in place from in) against in and the order permutation: key(out)
// ascending, order a permutation of 0 .. n-1, out[k] bit for bit in[order[k]].
template <class T, class Key>
::testing::AssertionResult SortedWithOrder(const std::vector<T>& in, const T* out, const PERM* order,
                                           Key key) {
  const size_t n = in.size();
  for (size_t k = 1; k < n; ++k)
    if (key(out[k]) < key(out[k - 1]))
      return ::testing::AssertionFailure() << "descent at " << k;
  if (order == nullptr) return ::testing::AssertionSuccess();
  if (order->size != (n > 0 ? n : 1)) return ::testing::AssertionFailure() << "order size " << order->size;
  std::vector<bool> seen(n, false);
  for (size_t k = 0; k < n; ++k) {
    const unsigned e = order->pe[k];
    if (e >= n || seen[e]) return ::testing::AssertionFailure() << "order entry " << e << " at " << k;
    seen[e] = true;
    if (std::memcmp(&out[k], &in[e], sizeof(T)) != 0)
      return ::testing::AssertionFailure() << "element " << k << " is not input element " << e;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace cmat_test

#endif
