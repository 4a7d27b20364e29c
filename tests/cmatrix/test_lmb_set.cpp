// Tests of the set operations between bit vectors: intersection, union, removal and
// completion, per storage kind, checked against plain set arithmetic and the worked cases of
// run merging, and the refusal of operands that do not match.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bvec.h"
#include "cmat_bvec.h"
#include "cmat_support.h"
#include "vmorse_support.h"

using namespace sparse_test;

namespace {

// The set tests start the BLOC and LIST kinds with room for two runs or elements.
BVEC* Get(int kind, int n, int cap = 2) { return GetBvec(kind, n, cap); }
BVEC* Make(int kind, int n, const std::set<int>& on) { return MakeBvec(kind, n, on, 2); }

std::vector<int> Sorted(const std::set<int>& s) { return std::vector<int>(s.begin(), s.end()); }

std::set<int> RandomSet(std::mt19937& gen, int n, double density) {
  std::bernoulli_distribution pick(density);
  std::set<int> s;
  for (int e = 0; e < n; ++e)
    if (pick(gen)) s.insert(e);
  return s;
}

}  // namespace

TEST(BvecUnion, RunsMergeWhenTheyOverlapAndStayApartWhenTheyTouch) {
  int st = 0;
  BVEC* a = Runs(10, {{0, 3}});
  BVEC* b = Runs(10, {{4, 6}});
  BVEC* u = _LM_bv_union(a, b, nullptr, &st);
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(RunList(u), (std::vector<int>{0, 3, 4, 6}));
  _LM_bv_free(u);
  BVEC* c = Runs(10, {{0, 4}});
  u = _LM_bv_union(c, b, nullptr, &st);
  EXPECT_EQ(RunList(u), (std::vector<int>{0, 6}));
  _LM_bv_free(u);
  BVEC* none = Runs(10, {});
  BVEC* d = Runs(10, {{2, 3}});
  u = _LM_bv_union(none, d, nullptr, &st);
  EXPECT_EQ(RunList(u), (std::vector<int>{2, 3}));
  // Into a supplied output whose capacity is too small: it grows by 50 runs.
  BVEC* e = Runs(40, {{0, 0}, {4, 5}, {10, 10}, {20, 21}});
  BVEC* f = Runs(40, {{2, 2}, {5, 8}, {30, 31}});
  BVEC* out = Get(BLOC, 40, 1);
  ASSERT_EQ(_LM_bv_union(e, f, out, &st), out);
  EXPECT_EQ(RunList(out), (std::vector<int>{0, 0, 2, 2, 4, 8, 10, 10, 20, 21, 30, 31}));
  EXPECT_EQ(out->max_blocs, 51);
  for (BVEC* bv : {a, b, c, none, d, u, e, f, out}) _LM_bv_free(bv);
}

TEST(BvecUnion, ListsMergeAndAllActiveStaysAllActive) {
  int st = 0;
  BVEC* a = Make(LIST, 10, {1, 5});
  BVEC* b = Make(LIST, 10, {2, 3, 9});
  BVEC* u = _LM_bv_union(a, b, nullptr, &st);
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(Walk(u), (std::vector<int>{1, 2, 3, 5, 9}));
  _LM_bv_free(u);
  BVEC* c = Make(LIST, 10, {1});
  BVEC* d = Make(LIST, 10, {2, 3});
  u = _LM_bv_union(c, d, nullptr, &st);
  EXPECT_EQ(Walk(u), (std::vector<int>{1, 2, 3}));
  _LM_bv_free(u);

  BVEC* t1 = Get(TOUT, 6);
  BVEC* t2 = Get(TOUT, 6);
  u = _LM_bv_union(t1, t2, nullptr, &st);
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->type_stockage, 5);
  EXPECT_EQ(u->nb_ddl, 6);
  BVEC* given = Get(TOUT, 9);
  EXPECT_EQ(_LM_bv_union(t1, t2, given, &st), given);
  EXPECT_EQ(given->nb_ddl, 9);
  for (BVEC* bv : {a, b, c, d, u, t1, t2, given}) _LM_bv_free(bv);
}

TEST(BvecInter, WorkedCasesOfRunsListsAndAllActive) {
  int st = 0;
  BVEC* a = Runs(10, {{0, 5}});
  BVEC* b = Runs(10, {{3, 9}});
  BVEC* r = _LM_bv_inter(a, b, nullptr, &st);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(RunList(r), (std::vector<int>{3, 5}));
  _LM_bv_free(r);
  BVEC* c = Runs(10, {{0, 2}, {6, 8}});
  BVEC* d = Runs(10, {{1, 7}});
  r = _LM_bv_inter_bloc(c, d, nullptr, &st);
  EXPECT_EQ(RunList(r), (std::vector<int>{1, 2, 6, 7}));
  EXPECT_EQ(r->max_blocs, 100);
  _LM_bv_free(r);
  // Operand runs sharing a boundary give its element once.
  BVEC* s = Runs(10, {{2, 5}, {5, 8}});
  BVEC* w = Runs(10, {{0, 9}});
  r = _LM_bv_inter_bloc(s, w, nullptr, &st);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(Walk(r), (std::vector<int>{2, 3, 4, 5, 6, 7, 8}));
  _LM_bv_free(r);

  BVEC* l1 = Make(LIST, 10, {2, 4, 6});
  BVEC* l2 = Make(LIST, 10, {1, 4, 6});
  r = _LM_bv_inter(l1, l2, nullptr, &st);
  EXPECT_EQ(Walk(r), (std::vector<int>{4, 6}));
  _LM_bv_free(r);
  r = _LM_bv_inter_ivec(nullptr, l2, nullptr, &st);  // a missing operand is empty
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->nb_ddl, 10);
  EXPECT_EQ(r->nb_blocs, 0);
  _LM_bv_free(r);
  EXPECT_EQ(_LM_bv_inter_ivec(nullptr, nullptr, nullptr, &st), nullptr);

  BVEC* t = Get(TOUT, 40);
  BVEC* p = Make(CODAGE, 40, {3, 33});
  r = _LM_bv_inter(t, p, nullptr, &st);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->type_stockage, 2);
  EXPECT_EQ(Walk(r), (std::vector<int>{3, 33}));
  _LM_bv_free(r);
  r = _LM_bv_inter(p, t, nullptr, &st);
  EXPECT_EQ(Walk(r), (std::vector<int>{3, 33}));
  _LM_bv_free(r);

  BVEC* d1 = Make(DIRECT, 5, {1, 2});
  BVEC* d2 = Make(DIRECT, 5, {2, 3});
  EXPECT_EQ(_LM_bv_inter(d1, d2, nullptr, &st), nullptr);
  EXPECT_EQ(st, -1);
  r = _LM_bv_inter_direct(d1, d2, nullptr, &st);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(Walk(r), (std::vector<int>{2}));
  _LM_bv_free(r);
  for (BVEC* bv : {a, b, c, d, s, w, l1, l2, t, p, d1, d2}) _LM_bv_free(bv);
}

TEST(BvecInter, PackedIntersectionIsTheAndOfTheWords) {
  int st = 0;
  BVEC* a = Get(CODAGE, 64);
  BVEC* b = Get(CODAGE, 64);
  a->code->ive[0] = 0x0F0F0F0F;
  a->code->ive[1] = static_cast<int>(0xFFFF0000u);
  b->code->ive[0] = 0x00FF00FF;
  b->code->ive[1] = 0x0FF00000;
  BVEC* r = _LM_bv_inter_codage(a, b, nullptr, &st);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->code->ive[0], 0x000F000F);
  EXPECT_EQ(r->code->ive[1], 0x0FF00000);
  EXPECT_EQ(r->code->ive[2], 0);
  _LM_bv_free(r);
  BVEC* c = Get(CODAGE, 65);
  EXPECT_EQ(_LM_bv_inter_codage(a, c, nullptr, &st), nullptr);
  EXPECT_EQ(st, -1);
  for (BVEC* bv : {a, b, c}) _LM_bv_free(bv);
}

TEST(BvecSetOps, EveryKindAgreesWithSetArithmetic) {
  std::mt19937 gen(99);
  for (int n : {1, 32, 33, 95}) {
    for (int trial = 0; trial < 6; ++trial) {
      const std::set<int> A = RandomSet(gen, n, 0.15 * trial);
      const std::set<int> B = RandomSet(gen, n, 0.9 - 0.15 * trial);
      std::set<int> uni, inter, minus, plus;
      std::set_union(A.begin(), A.end(), B.begin(), B.end(), std::inserter(uni, uni.end()));
      std::set_intersection(A.begin(), A.end(), B.begin(), B.end(), std::inserter(inter, inter.end()));
      std::set_difference(B.begin(), B.end(), A.begin(), A.end(), std::inserter(minus, minus.end()));
      plus = B;
      for (int e = 0; e < n; ++e)
        if (!A.count(e)) plus.insert(e);
      for (int kind : {BLOC, CODAGE, LIST, DIRECT}) {
        SCOPED_TRACE("kind " + std::to_string(kind) + " n " + std::to_string(n));
        int st = 0;
        BVEC* a = Make(kind, n, A);
        BVEC* b = Make(kind, n, B);
        BVEC* u = _LM_bv_union(a, b, nullptr, &st);
        ASSERT_NE(u, nullptr);
        EXPECT_EQ(Walk(u), Sorted(uni));
        BVEC* i = kind == DIRECT ? _LM_bv_inter_direct(a, b, nullptr, &st) : _LM_bv_inter(a, b, nullptr, &st);
        ASSERT_NE(i, nullptr);
        EXPECT_EQ(Walk(i), Sorted(inter));
        if (kind == CODAGE || kind == DIRECT) {
          BVEC* b2 = Make(kind, n, B);
          ASSERT_EQ(_LM_bv_on1_to_off2(a, b2, "t", &st), b2);
          EXPECT_EQ(Walk(b2), Sorted(minus));
          BVEC* b3 = Make(kind, n, B);
          ASSERT_EQ(_LM_bv_off1_to_on2(a, b3, "t", &st), b3);
          EXPECT_EQ(Walk(b3), Sorted(plus));
          _LM_bv_free(b2);
          _LM_bv_free(b3);
        }
        for (BVEC* bv : {a, b, u, i}) _LM_bv_free(bv);
      }
    }
  }
}

TEST(BvecTransfer, RemovalAndCompletionWorkedCasesAndRefusals) {
  int st = 0;
  BVEC* a = Make(CODAGE, 4, {1, 2});
  BVEC* b = Make(CODAGE, 4, {0, 1, 2, 3});
  ASSERT_EQ(_LM_bv_on1_to_off2(a, b, "t", &st), b);
  EXPECT_EQ(Walk(b), (std::vector<int>{0, 3}));
  BVEC* e = Get(CODAGE, 4);
  ASSERT_EQ(_LM_bv_off1_to_on2(a, e, "t", &st), e);
  EXPECT_EQ(Walk(e), (std::vector<int>{0, 3}));
  BVEC* fresh = _LM_bv_off1_to_on2(a, nullptr, "t", &st);  // made when not given
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(Walk(fresh), (std::vector<int>{0, 3}));

  BVEC* runs = Make(BLOC, 4, {1});
  BVEC* list = Make(LIST, 4, {1});
  BVEC* all = Get(TOUT, 4);
  for (BVEC* first : {runs, list, all}) {
    st = 0;
    EXPECT_EQ(_LM_bv_on1_to_off2(first, b, "t", &st), nullptr);
    EXPECT_EQ(st, -1);
    st = 0;
    EXPECT_EQ(_LM_bv_off1_to_on2(first, b, "t", &st), nullptr);
    EXPECT_EQ(st, -1);
  }
  st = 5;
  EXPECT_EQ(_LM_bv_on1_to_off2(nullptr, b, "t", &st), nullptr);
  EXPECT_EQ(st, 5);
  st = 0;
  EXPECT_EQ(_LM_bv_on1_to_off2(a, runs, "t", &st), nullptr);  // b of another kind
  EXPECT_EQ(st, -1);
  EXPECT_EQ(Walk(runs), (std::vector<int>{1}));
  BVEC* d = Make(DIRECT, 4, {1, 2});
  st = 0;
  EXPECT_EQ(_LM_bv_on1_to_off2(d, nullptr, "t", &st), nullptr);  // direct needs b
  EXPECT_EQ(st, -1);
  for (BVEC* bv : {a, b, e, fresh, runs, list, all, d}) _LM_bv_free(bv);
}

TEST(BvecSetOps, OperandsThatDoNotMatchAreRefused) {
  BVEC* c40 = Make(CODAGE, 40, {1});
  BVEC* c41 = Make(CODAGE, 41, {1});
  BVEC* l40 = Make(LIST, 40, {1});
  BVEC* b40 = Make(BLOC, 40, {1});
  struct Case {
    const char* what;
    BVEC* (*op)(BVEC*, BVEC*, BVEC*, int*);
    BVEC *a, *b, *out;
  };
  const Case refused[] = {
      {"union, sizes differ", _LM_bv_union, c40, c41, nullptr},
      {"union, kinds differ", _LM_bv_union, c40, l40, nullptr},
      {"union, no second operand", _LM_bv_union, c40, nullptr, nullptr},
      {"union, output of another kind", _LM_bv_union, c40, c40, l40},
      {"inter, kinds differ", _LM_bv_inter, c40, b40, nullptr},
      {"inter, no first operand", _LM_bv_inter, nullptr, b40, nullptr},
      {"bloc inter of a packed operand", _LM_bv_inter_bloc, b40, c40, nullptr},
      {"packed inter into a list", _LM_bv_inter_codage, c40, c40, l40},
      {"list inter of a packed operand", _LM_bv_inter_ivec, l40, c40, nullptr},
  };
  for (const Case& c : refused) {
    int st = 0;
    EXPECT_EQ(c.op(c.a, c.b, c.out, &st), nullptr) << c.what;
    EXPECT_EQ(st, -1) << c.what;
  }
  int st = 0;
  // A packed output with fewer words than the operands grows to hold them.
  BVEC* big = Make(CODAGE, 100, {99});
  BVEC* big2 = Make(CODAGE, 100, {5});
  BVEC* small = Get(CODAGE, 3);
  ASSERT_EQ(_LM_bv_union(big, big2, small, &st), small);
  EXPECT_EQ(small->nb_blocs, 4);
  _LM_bv_resize_codage("t", 0, small, 100, __LINE__, "t", &st);
  EXPECT_EQ(Walk(small), (std::vector<int>{5, 99}));
  for (BVEC* bv : {c40, c41, l40, b40, big, big2, small}) _LM_bv_free(bv);
}

// A run or list output over fewer elements than the operands would take runs or entries
// beyond its own set (which its reader refuses): the union refuses it before writing.
TEST(BvecUnion, AnOutputOverFewerElementsIsRefusedUnchanged) {
  for (int kind : {BLOC, LIST}) {
    SCOPED_TRACE("kind " + std::to_string(kind));
    BVEC* a = Make(kind, 20, {1, 15});
    BVEC* b = Make(kind, 20, {2, 18});
    BVEC* out = Make(kind, 10, {4});
    const int blocs = out->nb_blocs, cap = out->max_blocs;
    int st = 0;
    EXPECT_EQ(_LM_bv_union(a, b, out, &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(out->nb_ddl, 10);
    EXPECT_EQ(out->nb_blocs, blocs);
    EXPECT_EQ(out->max_blocs, cap);
    EXPECT_EQ(Walk(out, true), (std::vector<int>{4}));
    // An output over as many elements takes the union.
    BVEC* wide = Get(kind, 20);
    st = 0;
    EXPECT_EQ(_LM_bv_union(a, b, wide, &st), wide);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(Walk(wide, true), (std::vector<int>{1, 2, 15, 18}));
    for (BVEC* bv : {a, b, out, wide}) _LM_bv_free(bv);
  }
}

// The run and list intersections likewise refuse an output over fewer elements than a
// before writing it (an element of the intersection beyond its set would be refused
// part-way; it used to be taken beyond the set).
TEST(BvecInter, AnOutputOverFewerElementsIsRefusedUnchanged) {
  for (int kind : {BLOC, LIST}) {
    SCOPED_TRACE("kind " + std::to_string(kind));
    BVEC* a = Make(kind, 20, {1, 15});
    BVEC* b = Make(kind, 20, {1, 15, 18});
    BVEC* out = Get(kind, 10);
    const int cap = out->max_blocs;
    int st = 0;
    BVEC* r = kind == BLOC ? _LM_bv_inter_bloc(a, b, out, &st) : _LM_bv_inter_ivec(a, b, out, &st);
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(out->nb_blocs, 0);
    EXPECT_EQ(out->max_blocs, cap);
    EXPECT_EQ(out->nb_ddl, 10);
    for (BVEC* bv : {a, b, out}) _LM_bv_free(bv);
  }
}

TEST(BvecInter, LongListsIntersectInOneWalkOfTheirEntries) {
  // 300,000 even elements against 200,000 multiples of 3: the multiples of 6. A search of a's
  // whole list for every entry of b would take some 3 * 10^10 steps here.
  const int n = 600000;
  std::set<int> evens, threes;
  for (int e = 0; e < n; e += 2) evens.insert(e);
  for (int e = 0; e < n; e += 3) threes.insert(e);
  BVEC* a = Make(LIST, n, evens);
  BVEC* b = Make(LIST, n, threes);
  int st = 0;
  BVEC* r = _LM_bv_inter_ivec(a, b, nullptr, &st);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(st, 0);
  std::vector<int> want;
  for (int e = 0; e < n; e += 6) want.push_back(e);
  EXPECT_EQ(Walk(r), want);
  _LM_bv_free(r);
  _LM_bv_free(a);
  _LM_bv_free(b);
}
