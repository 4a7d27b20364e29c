// cmat_intvec.h: the integer vectors IVEC (int values) and LVEC (32-bit values held in longs)
// side by side, so that a test written once runs on both: how each is made, read, sorted and
// seen, and the checks they share (a vector handed to the text reader takes the heading's
// dim; the hard inputs of cmat_sort.h sort with a valid order permutation).
#ifndef KVELO_TESTS_CMAT_INTVEC_H
#define KVELO_TESTS_CMAT_INTVEC_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cmat_sort.h"
#include "dense_fixtures.h"
#include "matrix.h"

namespace cmat_test {

template <class V>
struct IntVecKind;

template <>
struct IntVecKind<IVEC> {
  using Elem = int;
  using Owner = IvecP;
  static constexpr const char* kHeading = "IntVector";
  static IVEC* Get(int n, int* st) { return _LM_iv_get("t", 0, n, __LINE__, "t", st); }
  static IVEC* Read(FILE* f, IVEC* v, int* st) { return _LM_iv_finput(f, v, __LINE__, "read", st); }
  static IVEC* Sort(IVEC* v, PERM* order, int* st) { return _LM_iv_sort(v, order, __LINE__, "sort", st); }
  static Elem* Values(IVEC* v) { return v->ive; }
};

template <>
struct IntVecKind<LVEC> {
  using Elem = long;
  using Owner = LvecP;
  static constexpr const char* kHeading = "LongVector";
  static LVEC* Get(int n, int* st) { return _LM_lv_get("t", 0, n, __LINE__, "t", st); }
  static LVEC* Read(FILE* f, LVEC* v, int* st) { return _LM_lv_finput(f, v, __LINE__, "read", st); }
  static LVEC* Sort(LVEC* v, PERM* order, int* st) { return _LM_lv_sort(v, order, __LINE__, "sort", st); }
  static Elem* Values(LVEC* v) { return v->lve; }
};

// The values of an integer vector, dim of them.
template <class V>
std::vector<typename IntVecKind<V>::Elem> IntValues(V* v) {
  const auto* p = IntVecKind<V>::Values(v);
  return std::vector<typename IntVecKind<V>::Elem>(p, p + v->dim);
}

// Whatever its size, the vector handed to the text reader comes back with exactly the values
// read: no old value beyond them passes for a read one. A cut keeps the capacity.
template <class V>
void ExpectHandedInTakesTheHeadingsDim() {
  using K = IntVecKind<V>;
  using Elem = typename K::Elem;
  const std::string heading = K::kHeading;
  const struct {
    std::vector<Elem> given;
    std::string text;
    std::vector<Elem> want;
    unsigned capacity;
  } cases[] = {
      {{9, 9, 9, 9, 9}, heading + ": dim: 3\n 1 2 3", {1, 2, 3}, 5},
      {{9, 9, 9}, heading + ": dim: 3\n 1 2 3", {1, 2, 3}, 3},
      {{9}, heading + ": dim: 3\n 1 2 3", {1, 2, 3}, 3},
      {{9, 9, 9, 9, 9}, heading + ": dim: 3\n 1 -2 3", {1, -2, 3}, 5},
      {{9, 9, 9}, heading + ": dim: 3\n 1 -2 3", {1, -2, 3}, 3},
      {{9}, heading + ": dim: 3\n 1 -2 3", {1, -2, 3}, 3},
      {{9, 9}, heading + ": dim: 0\n", {}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    V* given = K::Get(static_cast<int>(c.given.size()), nullptr);
    ASSERT_NE(given, nullptr);
    std::copy(c.given.begin(), c.given.end(), K::Values(given));
    typename K::Owner v(given);
    TextFile in(c.text);
    int st = 5;
    ASSERT_EQ(K::Read(in.get(), v.get(), &st), v.get());
    EXPECT_EQ(st, 0);
    EXPECT_EQ(IntValues(v.get()), c.want);
    EXPECT_EQ(v->max_dim, c.capacity);
  }
}

// Every hard case sorts in place into ascending values with a valid order permutation; the
// input is the case's keys (drawn from seed) through value().
template <class V, class Value>
void ExpectHardInputsSorted(uint32_t seed, Value value) {
  using K = IntVecKind<V>;
  using Elem = typename K::Elem;
  int st = 0;
  for (const SortCase& c : HardSortCases()) {
    SCOPED_TRACE(c.name);
    std::vector<Elem> in;
    for (long long k : PatternKeys(c.pattern, c.n, seed)) in.push_back(value(k));
    typename K::Owner x(K::Get(c.n, &st));
    ASSERT_NE(x, nullptr);
    std::copy(in.begin(), in.end(), K::Values(x.get()));
    PermP order(_LM_px_get("t", 0, 1, __LINE__, "p", &st));
    ASSERT_EQ(K::Sort(x.get(), order.get(), &st), x.get());
    EXPECT_EQ(st, 0);
    std::vector<Elem> want = in;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(IntValues(x.get()), want);
    EXPECT_TRUE(SortedWithOrder(in, K::Values(x.get()), order.get(), [](Elem e) { return e; }));
  }
}

}  // namespace cmat_test

#endif
