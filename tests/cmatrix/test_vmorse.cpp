// Tests of the Morse sparse vector VECM: creation, insertion with pool growth and link
// rebasing, lookups, conversions, inner products and combinations checked against dense
// arithmetic, the text form and the binary form (hand-made bytes, truncation, damage).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "cmat_norm.h"
#include "cmat_pipe.h"
#include "cmat_support.h"
#include "cmatrix/vmorse_internal.h"
#include "vmorse.h"
#include "vmorse_support.h"

using cmat_test::ErrWatch;
using namespace sparse_test;

namespace {

// A VECM of dimension dim holding the given (index, value) pairs, inserted in that order.
VECM* Sparse(int dim, std::initializer_list<std::pair<int, double>> entries) {
  int st = 0;
  VECM* v = LM_vecm_get(dim, 0, &st);
  for (const auto& e : entries) EXPECT_EQ(LM_vecm_addval(v, e.first, e.second, 0), 0);
  return v;
}

// The stored entries in walk order.
std::vector<std::pair<int, double>> Entries(VECM* v) {
  std::vector<std::pair<int, double>> out;
  kvms::WalkInOrder(v->root, [&](VECM_NODE* n) {
    out.emplace_back(n->idx, n->val);
    return true;
  });
  return out;
}

// Every stored node is pool[0 .. nnz-1], reachable once from the root, and the tree is a
// search tree.
void ExpectValidTree(const VECM* v) {
  ASSERT_GE(v->max_nnz, v->nnz);
  std::vector<int> seen(v->nnz, 0);
  std::vector<std::pair<VECM_NODE*, std::pair<long long, long long>>> todo;
  if (v->root != nullptr) todo.push_back({v->root, {-1LL, static_cast<long long>(v->dim)}});
  int count = 0;
  while (!todo.empty()) {
    auto [n, range] = todo.back();
    todo.pop_back();
    const long long k = n - v->pool;
    ASSERT_TRUE(k >= 0 && k < v->nnz) << "node outside the pool";
    ASSERT_EQ(seen[k]++, 0) << "node reached twice";
    ASSERT_GT(n->idx, range.first);
    ASSERT_LT(n->idx, range.second);
    ++count;
    if (n->left) todo.push_back({n->left, {range.first, n->idx}});
    if (n->right) todo.push_back({n->right, {n->idx, range.second}});
  }
  EXPECT_EQ(count, v->nnz);
  if (v->nnz == 0) {
    EXPECT_EQ(v->root, nullptr);
  }
}

std::string Text(void (*fn)(VECM*, FILE*), VECM* v) {
  return cmat_test::CaptureFile([&](FILE* f) { fn(v, f); });
}

}  // namespace

TEST(VecmGet, SizesAreCheckedAndThePoolHasAtLeastOneNode) {
  int st = 0;
  {
    ErrWatch w;
    EXPECT_EQ(LM_vecm_get(5, 6, &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 2);
    EXPECT_EQ(w.routine(), "LM_vecm_get");
  }
  {
    ErrWatch w;
    EXPECT_EQ(LM_vecm_get(-1, 0, &st), nullptr);
    EXPECT_EQ(w.last(), 20);
    EXPECT_EQ(LM_vecm_get(4, -1, &st), nullptr);
    EXPECT_EQ(w.last(), 2);
  }
  VECM* v = LM_vecm_get(5, 0, &st);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(v->dim, 5);
  EXPECT_EQ(v->max_dim, 5);
  EXPECT_EQ(v->nnz, 0);
  EXPECT_EQ(v->max_nnz, 1);
  EXPECT_EQ(v->root, nullptr);
  EXPECT_EQ(vecm_free(v), 0);
  EXPECT_EQ(vecm_free(nullptr), -1);
}

TEST(VecmAddval, StoresOverwritesAccumulatesAndRefusesBadIndices) {
  int st = 0;
  VECM* v = LM_vecm_get(6, 2, &st);
  _LM_err_status = -1;  // an index refusal leaves the status word as it is
  EXPECT_EQ(LM_vecm_addval(v, 6, 1.0, 0), -1);
  EXPECT_EQ(LM_vecm_addval(v, -1, 1.0, 0), -1);
  EXPECT_EQ(_LM_err_status, -1);
  _LM_err_status = 0;
  EXPECT_EQ(LM_vecm_addval(v, 3, 2.5, 1), 0);  // absent with add: stored as given
  EXPECT_EQ(LM_vecm_addval(v, 3, 1.5, 1), 0);  // present with add: accumulated
  EXPECT_EQ(LM_vecm_getval(v, 3, &st), 4.0);
  EXPECT_EQ(LM_vecm_addval(v, 3, -7.0, 0), 0);  // present without add: replaced
  EXPECT_EQ(LM_vecm_getval(v, 3, &st), -7.0);
  EXPECT_EQ(LM_vecm_getval(v, 2, &st), 0.0);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(v->nnz, 1);
  EXPECT_EQ(_LM_err_status, 0);
  {
    ErrWatch w;
    EXPECT_EQ(LM_vecm_getval(v, 6, &st), 0.0);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 2);
    EXPECT_EQ(LM_vecm_getval(nullptr, 0, &st), 0.0);
    EXPECT_EQ(w.last(), 8);
    EXPECT_EQ(LM_vecm_addval(nullptr, 0, 1.0, 0), -1);
    EXPECT_EQ(w.last(), 8);
  }
  vecm_free(v);
}

TEST(VecmAddval, PoolGrowsTenNodesAtATimeNeverBeyondTheDimension) {
  int st = 0;
  VECM* v = LM_vecm_get(100, 1, &st);
  std::vector<int> sizes;
  for (int k = 0; k < 12; ++k) {
    ASSERT_EQ(LM_vecm_addval(v, 7 * k, k, 0), 0);
    sizes.push_back(v->max_nnz);
  }
  EXPECT_EQ(sizes[0], 1);
  EXPECT_EQ(sizes[1], 11);
  EXPECT_EQ(sizes[10], 11);
  EXPECT_EQ(sizes[11], 21);
  vecm_free(v);

  v = LM_vecm_get(12, 10, &st);
  for (int k = 0; k < 12; ++k) ASSERT_EQ(LM_vecm_addval(v, 11 - k, k, 0), 0);
  EXPECT_EQ(v->max_nnz, 12);
  EXPECT_EQ(v->nnz, 12);
  ExpectValidTree(v);
  vecm_free(v);
}

TEST(VecmAddval, EveryValueIsFoundAfterManyPoolMoves) {
  std::mt19937 gen(12345);
  std::uniform_int_distribution<int> pick(0, 1999);
  int st = 0;
  VECM* v = LM_vecm_get(2000, 1, &st);
  std::map<int, double> truth;
  for (int k = 0; k < 1500; ++k) {
    const int i = pick(gen);
    const double x = k * 0.25 - 7;
    const int add = k % 3 == 0;
    ASSERT_EQ(LM_vecm_addval(v, i, x, add), 0);
    truth[i] = add && truth.count(i) ? truth[i] + x : x;
  }
  ExpectValidTree(v);
  EXPECT_EQ(v->nnz, static_cast<int>(truth.size()));
  for (const auto& [i, x] : truth) EXPECT_EQ(LM_vecm_getval(v, i, &st), x) << i;
  // The walk gives the entries in ascending index order.
  const auto walked = Entries(v);
  ASSERT_EQ(walked.size(), truth.size());
  auto it = truth.begin();
  for (const auto& e : walked) {
    EXPECT_EQ(e.first, it->first);
    EXPECT_EQ(e.second, it->second);
    ++it;
  }
  vecm_free(v);
}

TEST(VecmWalk, DeepLeftChainsAreWalkedWithoutRecursionAndWithoutMemory) {
  // One chain of left links as deep as the vector (what descending insertions build), laid
  // out by hand: a recursive walk would need a million frames.
  const int n = 1000000;
  int st = 0;
  VECM* v = LM_vecm_get(n, n, &st);
  for (int k = 0; k < n; ++k) {
    v->pool[k].idx = n - 1 - k;
    v->pool[k].val = n - 1 - k + 0.5;
    v->pool[k].left = k + 1 < n ? &v->pool[k + 1] : nullptr;
  }
  v->nnz = n;
  v->root = v->pool;
  VEC* d = LM_vecm2vec(v, nullptr, &st);
  ASSERT_NE(d, nullptr);
  for (int i = 0; i < n; i += 99991) EXPECT_EQ(d->ve[i], i + 0.5);
  double ss = 0;
  for (int i = 0; i < n; ++i) ss += (i + 0.5) * (i + 0.5);
  EXPECT_NEAR(LM_vecm_norm2(v, &st), std::sqrt(ss), 1e-9 * std::sqrt(ss));
  // A few descending insertions build the same shape.
  VECM* small = Sparse(5, {{4, 1}, {3, 1}, {2, 1}, {1, 1}, {0, 1}});
  EXPECT_EQ(small->root->left, &small->pool[1]);
  EXPECT_EQ(small->pool[1].left, &small->pool[2]);
  vecm_free(small);
  v_free(d);
  vecm_free(v);

  // With no heap for the stack the walk goes on by successor search, in the same order.
  VECM* w = Sparse(50, {{20, 1}, {10, 2}, {5, 3}, {1, 4}, {0, 5}, {30, 6}, {25, 7}, {40, 8}, {3, 9}});
  std::vector<int> order;
  kvms::WalkInOrder(
      w->root,
      [&](VECM_NODE* n) {
        order.push_back(n->idx);
        return true;
      },
      0);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 3, 5, 10, 20, 25, 30, 40}));
  vecm_free(w);
}

TEST(VecmCopy, CopiesAreIndependentAndLinksFollowThePool) {
  int st = 0;
  VECM* in = Sparse(10, {{4, 4.0}, {1, 1.0}, {8, 8.0}, {6, 6.0}});
  VECM* out = LM_vecm_copy(in, nullptr, &st);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(st, 0);
  ExpectValidTree(out);
  EXPECT_EQ(Entries(out), Entries(in));
  ASSERT_EQ(LM_vecm_addval(out, 2, 2.0, 0), 0);
  EXPECT_EQ(LM_vecm_getval(in, 2, &st), 0.0);
  EXPECT_EQ(in->nnz, 4);

  // Into an existing record of another size: the pool is remade to the entry count.
  VECM* big = Sparse(30, {{29, 1.0}, {0, 3.0}});
  ASSERT_EQ(LM_vecm_copy(in, big, &st), big);
  EXPECT_EQ(big->dim, 10);
  EXPECT_EQ(big->max_dim, 10);
  EXPECT_EQ(big->nnz, 4);
  EXPECT_EQ(big->max_nnz, 4);
  ExpectValidTree(big);
  EXPECT_EQ(Entries(big), Entries(in));

  VECM* empty = LM_vecm_get(3, 0, &st);
  ASSERT_EQ(LM_vecm_copy(empty, big, &st), big);
  EXPECT_EQ(big->nnz, 0);
  EXPECT_EQ(big->root, nullptr);
  EXPECT_EQ(big->max_nnz, 1);
  EXPECT_EQ(LM_vecm_copy(in, in, &st), in);
  {
    ErrWatch w;
    EXPECT_EQ(LM_vecm_copy(nullptr, big, &st), nullptr);
    EXPECT_EQ(w.last(), 8);
  }
  vecm_free(in);
  vecm_free(out);
  vecm_free(big);
  vecm_free(empty);
}

TEST(VecmZeroAndScale, ZeroKeepsThePoolAndScalingByZeroKeepsTheEntries) {
  int st = 0;
  VECM* v = Sparse(10, {{1, 2.0}, {5, -3.0}});
  LM_vecm_scal(v, 0.0, &st);
  EXPECT_EQ(v->nnz, 2);
  EXPECT_EQ(LM_vecm_getval(v, 5, &st), 0.0);
  LM_vecm_scal(v, 1.0, &st);
  const int pool = v->max_nnz;
  LM_vecm_zero(v, &st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(v->nnz, 0);
  EXPECT_EQ(v->root, nullptr);
  EXPECT_EQ(v->max_nnz, pool);
  ASSERT_EQ(LM_vecm_addval(v, 9, 1.0, 0), 0);
  EXPECT_EQ(v->root, &v->pool[0]);
  {
    ErrWatch w;
    LM_vecm_zero(nullptr, &st);
    EXPECT_EQ(st, -1);
    LM_vecm_scal(nullptr, 2.0, &st);
    EXPECT_EQ(w.last(), 8);
  }
  vecm_free(v);
}

TEST(VecmDense, SignificantEntriesAreThoseAboveTheRelativeThreshold) {
  int st = 0;
  VEC* x = NewVec({0, 1e-17, 1, -2});  // threshold 2e-16
  VECM* v = LM_vec2vecm(x, &st);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(v->dim, 4);
  EXPECT_EQ(Entries(v), (std::vector<std::pair<int, double>>{{2, 1.0}, {3, -2.0}}));
  // Built as a chain of right links from pool[0].
  EXPECT_EQ(v->root, &v->pool[0]);
  EXPECT_EQ(v->pool[0].right, &v->pool[1]);
  EXPECT_EQ(v->pool[0].left, nullptr);
  VEC* back = LM_vecm2vec(v, nullptr, &st);
  EXPECT_EQ(Values(back), (std::vector<double>{0, 0, 1, -2}));

  VEC* z = NewVec({0, 0, 0});
  VECM* vz = LM_vec2vecm(z, &st);
  ASSERT_NE(vz, nullptr);
  EXPECT_EQ(vz->dim, 3);
  EXPECT_EQ(vz->nnz, 0);
  EXPECT_EQ(vz->root, nullptr);

  // A dense output is resized and cleared before the entries are placed.
  VEC* out = NewVec({9, 9, 9, 9, 9, 9});
  ASSERT_EQ(LM_vecm2vec(v, out, &st), out);
  EXPECT_EQ(Values(out), (std::vector<double>{0, 0, 1, -2}));
  {
    ErrWatch w;
    EXPECT_EQ(LM_vec2vecm(nullptr, &st), nullptr);
    EXPECT_EQ(w.last(), 8);
    EXPECT_EQ(LM_vecm2vec(nullptr, out, &st), nullptr);
    EXPECT_EQ(w.last(), 8);
  }
  v_free(x);
  v_free(z);
  v_free(back);
  v_free(out);
  vecm_free(v);
  vecm_free(vz);
}

// The threshold comes from the finite entries only, and an infinite or NaN entry is kept:
// one such entry no longer makes the threshold infinite or NaN and drops every finite entry.
// The dense writer keeps the same entries as the conversion.
TEST(VecmDense, EveryConverterAndWriterKeepsTheSameEntries) {
  for (const KeptCase& c : KeptCases()) {
    SCOPED_TRACE(c.what);
    int st = 0;
    VEC* x = NewVec(c.x);
    VECM* v = LM_vec2vecm(x, &st);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(v->dim, static_cast<int>(c.x.size()));
    EXPECT_TRUE(SameKept(Entries(v), c)) << Show(Entries(v));
    ExpectValidTree(v);

    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    v_boutput_as_vecm(f, x, &st);
    EXPECT_EQ(st, 0);
    Rewind(f);
    VECM* r = LM_vecm_binput(f, nullptr, &st);
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(SameKept(Entries(r), c)) << Show(Entries(r));
    std::fclose(f);
    v_free(x);
    vecm_free(v);
    vecm_free(r);
  }
}

TEST(VecmProducts, InnerProductsNormAndCombinationsMatchDenseArithmetic) {
  int st = 0;
  VECM* a = Sparse(6, {{5, 2.0}, {0, -1.0}, {3, 4.0}});
  VECM* b = Sparse(6, {{3, 0.5}, {4, 9.0}, {0, 3.0}, {1, 7.0}});
  EXPECT_EQ(LM_pscal_vecm(a, b, &st), -1.0 * 3.0 + 4.0 * 0.5);
  EXPECT_EQ(LM_pscal_vecm(b, a, &st), -1.0);
  EXPECT_EQ(st, 0);
  VECM* disjoint = Sparse(6, {{2, 1.0}});
  EXPECT_EQ(LM_pscal_vecm(a, disjoint, &st), 0.0);
  EXPECT_EQ(LM_vecm_norm2(a, &st), std::sqrt(1.0 + 16.0 + 4.0));

  VEC* d = NewVec({1, 2, 3, 4, 5, 6});
  EXPECT_EQ(LM_pscal_vvecm(d, a, &st), -1.0 + 16.0 + 12.0);
  VEC* out = _LM_vvecm_mltadd(d, a, 2.0, nullptr, __LINE__, "t", &st);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(Values(out), (std::vector<double>{-1, 2, 3, 12, 5, 10}));
  ASSERT_EQ(_LM_vvecm_mltadd(d, a, 0.0, out, __LINE__, "t", &st), out);
  EXPECT_EQ(Values(out), Values(d));
  ASSERT_EQ(_LM_vvecm_mltadd(d, a, NAN, out, __LINE__, "t", &st), out);  // NaN is not 0
  EXPECT_TRUE(std::isnan(out->ve[0]));
  EXPECT_EQ(out->ve[1], 2.0);
  {
    ErrWatch w;
    VECM* short3 = Sparse(3, {{1, 1.0}});
    EXPECT_EQ(LM_pscal_vecm(a, short3, &st), 0.0);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 1);
    EXPECT_EQ(LM_pscal_vvecm(d, short3, &st), 0.0);
    EXPECT_EQ(w.last(), 1);
    EXPECT_EQ(_LM_vvecm_mltadd(d, short3, 1.0, nullptr, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 1);
    EXPECT_EQ(LM_vecm_norm2(nullptr, &st), -1.0);
    EXPECT_EQ(w.last(), 8);
    EXPECT_EQ(LM_pscal_vecm(nullptr, a, &st), 0.0);
    EXPECT_EQ(w.last(), 8);
    vecm_free(short3);
  }
  v_free(d);
  v_free(out);
  vecm_free(a);
  vecm_free(b);
  vecm_free(disjoint);
}

TEST(VecmDaxpy, AccumulatesInsertsAndSkipsNegligibleFactors) {
  int st = 0;
  VECM* x = Sparse(8, {{2, 1.0}, {7, -2.0}, {0, 4.0}});
  VECM* y = Sparse(8, {{7, 1.0}, {3, 5.0}});
  LM_vecm_daxpy(x, 1e-15, y, &st);
  EXPECT_EQ(y->nnz, 2);
  LM_vecm_daxpy(x, 0.5, y, &st);
  EXPECT_EQ(st, 0);
  ExpectValidTree(y);
  EXPECT_EQ(Entries(y), (std::vector<std::pair<int, double>>{{0, 2.0}, {2, 0.5}, {3, 5.0}, {7, 0.0}}));
  LM_vecm_daxpy(x, 1.0, x, &st);  // the same record: every value doubled
  EXPECT_EQ(Entries(x), (std::vector<std::pair<int, double>>{{0, 8.0}, {2, 2.0}, {7, -4.0}}));
  {
    ErrWatch w;
    VECM* z = Sparse(9, {});
    LM_vecm_daxpy(x, 1.0, z, &st);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 1);
    LM_vecm_daxpy(nullptr, 1.0, z, &st);
    EXPECT_EQ(w.last(), 8);
    vecm_free(z);
  }
  vecm_free(x);
  vecm_free(y);
}

TEST(VecmRates, FillRatiosAndTheirRefusals) {
  int st = 5;
  VECM* v = Sparse(8, {{1, 1.0}, {2, 2.0}});
  EXPECT_EQ(vecm_RateCompletion(v, &st), 0.25);
  EXPECT_EQ(st, 0);
  VECM* empty = LM_vecm_get(0, 0, &st);
  EXPECT_EQ(vecm_RateCompletion(empty, &st), 0.0);
  EXPECT_EQ(st, -1);
  st = 5;
  EXPECT_EQ(vecm_RateCompletion(nullptr, &st), 0.0);
  EXPECT_EQ(st, 0);

  VEC* d = NewVec({0.5, -3, 0, 2});
  st = 5;
  EXPECT_EQ(v_RateCompletion(d, 1.0, &st), 0.5);
  EXPECT_EQ(st, 0);
  st = 5;
  EXPECT_EQ(v_RateCompletion(nullptr, 1.0, &st), 0.0);
  EXPECT_EQ(st, 5);  // not written
  VEC* d0 = NewVec({1});
  d0->dim = 0;
  EXPECT_EQ(v_RateCompletion(d0, 1.0, &st), 0.0);
  EXPECT_EQ(st, -1);
  v_free(d);
  v_free(d0);
  vecm_free(v);
  vecm_free(empty);
}

TEST(VecmText, OutputListsTheEntriesInIndexOrder) {
  VECM* v = Sparse(4, {{3, -1.0}, {1, 2.5}});
  EXPECT_EQ(Text(vecm_output, v),
            "Morse Vector :\nDim = 4, Number of effective values = 2\n------------------------------\n\n"
            "[1] : 2.5\n[3] : -1\n------------------------------\n\n");
  VECM* e = Sparse(3, {});
  EXPECT_EQ(Text(vecm_output, e),
            "Morse Vector :\nDim = 3, Number of effective values = 0\n------------------------------\n\n"
            "------------------------------\n\n");
  EXPECT_EQ(Text(vecm_output, nullptr), "NULL vector\n");
  vecm_free(v);
  vecm_free(e);
}

namespace {

// The 32-byte example: dimension 4, entries (1, 2.5) and (3, -1.0).
Bytes Example() {
  Bytes b;
  PutInt(b, 4);
  PutInt(b, 2);
  PutInt(b, 1);
  PutDouble(b, 2.5);
  PutInt(b, 3);
  PutDouble(b, -1.0);
  return b;
}

}  // namespace

TEST(VecmBinary, WritesTheHandMadeBytesAndReadsThemBack) {
  int st = 0;
  VECM* v = Sparse(4, {{3, -1.0}, {1, 2.5}});
  FILE* f = std::tmpfile();
  vecm_boutput(f, v, &st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(FileBytes(f), Example());
  VECM* r = LM_vecm_binput(f, nullptr, &st);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(r->dim, 4);
  EXPECT_EQ(Entries(r), Entries(v));
  EXPECT_EQ(r->root, &r->pool[0]);
  std::fclose(f);

  // Into a record to reuse: whatever it held is replaced.
  FILE* g = StreamWith(Example());
  VECM* reuse = Sparse(50, {{40, 1.0}, {10, 2.0}, {20, 3.0}});
  ASSERT_EQ(LM_vecm_binput(g, reuse, &st), reuse);
  EXPECT_EQ(reuse->dim, 4);
  EXPECT_EQ(reuse->max_dim, 4);
  EXPECT_EQ(reuse->max_nnz, 2);
  EXPECT_EQ(Entries(reuse), Entries(v));
  std::fclose(g);

  // Dense writer: the same form as the sparse vector of the significant entries.
  VEC* d = NewVec({0, 2.5, 1e-300, -1.0});
  FILE* h = std::tmpfile();
  v_boutput_as_vecm(h, d, &st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(FileBytes(h), Example());
  std::fclose(h);

  // Refusals write nothing.
  FILE* k = std::tmpfile();
  VECM* zero = LM_vecm_get(0, 0, &st);
  vecm_boutput(k, zero, &st);
  EXPECT_EQ(st, -1);
  vecm_boutput(nullptr, v, &st);
  EXPECT_EQ(st, -1);
  VEC* d0 = NewVec({1});
  d0->dim = 0;
  v_boutput_as_vecm(k, d0, &st);
  EXPECT_EQ(st, -1);
  EXPECT_TRUE(FileBytes(k).empty());
  EXPECT_EQ(LM_vecm_binput(nullptr, nullptr, &st), nullptr);
  EXPECT_EQ(st, -1);
  std::fclose(k);
  v_free(d);
  v_free(d0);
  vecm_free(v);
  vecm_free(r);
  vecm_free(reuse);
  vecm_free(zero);
}

TEST(VecmBinary, FormsOfManyEntriesComeOutWholeFromBothWriters) {
  // Entries at the even indices only (the odd ones are 0), so the indices are not the
  // positions: enough of them to fill several buffers of any likely size and end part-way
  // through one.
  const int count = 3 * 4096 + 7;
  const int dim = 2 * count;
  std::vector<double> dense(dim, 0.0);
  Bytes want;
  PutInt(want, dim);
  PutInt(want, count);
  for (int k = 0; k < count; ++k) {
    dense[2 * k] = k + 0.25;
    PutInt(want, 2 * k);
    PutDouble(want, k + 0.25);
  }
  int st = 0;
  VEC* d = NewVec(dense);
  FILE* f = std::tmpfile();
  v_boutput_as_vecm(f, d, &st);
  EXPECT_EQ(st, 0);
  EXPECT_TRUE(FileBytes(f) == want);
  std::fclose(f);

  VECM* v = LM_vec2vecm(d, &st);
  ASSERT_NE(v, nullptr);
  FILE* g = std::tmpfile();
  vecm_boutput(g, v, &st);
  EXPECT_EQ(st, 0);
  EXPECT_TRUE(FileBytes(g) == want);
  VECM* r = LM_vecm_binput(g, nullptr, &st);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->dim, dim);
  EXPECT_EQ(Entries(r), Entries(v));
  std::fclose(g);
  v_free(d);
  vecm_free(v);
  vecm_free(r);
}

TEST(VecmBinary, TruncatedFilesFailAndLeaveTheRecordToReuseAsItWas) {
  const Bytes full = Example();
  ForEachPrefix(full, [](FILE* f, size_t len) {
    int st = 0;
    VECM* reuse = Sparse(7, {{6, 6.0}, {2, 2.0}});
    VECM_NODE* pool = reuse->pool;
    EXPECT_EQ(LM_vecm_binput(f, reuse, &st), nullptr) << len;
    EXPECT_EQ(st, -1) << len;
    EXPECT_EQ(reuse->pool, pool);
    EXPECT_EQ(reuse->dim, 7);
    EXPECT_EQ(Entries(reuse), (std::vector<std::pair<int, double>>{{2, 2.0}, {6, 6.0}}));
    EXPECT_EQ(LM_vecm_binput(f, nullptr, &st), nullptr);
    vecm_free(reuse);
  });
}

TEST(VecmBinary, AShortReadFromAStreamOfUnknownSizeFailsCleanly) {
  // A pipe cannot tell how much is left: the reader finds out by reading.
  const Bytes full = Example();
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], full.data(), 20), 20);
  close(fds[1]);
  FILE* f = fdopen(fds[0], "rb");
  int st = 0;
  VECM* reuse = Sparse(3, {{1, 1.0}});
  EXPECT_EQ(LM_vecm_binput(f, reuse, &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(reuse->dim, 3);
  EXPECT_EQ(LM_vecm_getval(reuse, 1, &st), 1.0);
  vecm_free(reuse);
  std::fclose(f);
}

TEST(VecmBinary, DamagedCountsAndIndicesAreRefusedBeforeAnyUse) {
  struct Case {
    const char* what;
    int dim, count, i0, i1, code;
  };
  const Case cases[] = {
      {"negative dim", -4, 2, 1, 3, 20},   {"count above dim", 1, 2, 1, 3, 2},
      {"negative count", 4, -2, 1, 3, 2},  {"index at dim", 4, 2, 1, 4, 2},
      {"negative index", 4, 2, -1, 3, 2},  {"descending", 4, 2, 3, 1, 2},
      {"repeated index", 4, 2, 1, 1, 2},
  };
  for (const Case& c : cases) {
    Bytes b;
    PutInt(b, c.dim);
    PutInt(b, c.count);
    PutInt(b, c.i0);
    PutDouble(b, 1.0);
    PutInt(b, c.i1);
    PutDouble(b, 2.0);
    FILE* f = StreamWith(b);
    int st = 0;
    ErrWatch w;
    EXPECT_EQ(LM_vecm_binput(f, nullptr, &st), nullptr) << c.what;
    EXPECT_EQ(st, -1) << c.what;
    EXPECT_EQ(w.last(), c.code) << c.what;
    std::fclose(f);
  }
  // A count the file cannot hold is refused before anything is allocated.
  Bytes huge;
  PutInt(huge, 2000000000);
  PutInt(huge, 1999999999);
  FILE* f = StreamWith(huge);
  int st = 0;
  EXPECT_EQ(LM_vecm_binput(f, nullptr, &st), nullptr);
  EXPECT_EQ(st, -1);
  std::fclose(f);

  // Any single flipped byte gives either a refusal or a consistent record.
  const Bytes full = Example();
  ForEachFlippedBit(full, [&](FILE* g) {
    VECM* r = LM_vecm_binput(g, nullptr, &st);
    if (r != nullptr) {
      ExpectValidTree(r);
      EXPECT_LE(r->nnz, r->dim);
      vecm_free(r);
    } else {
      EXPECT_EQ(st, -1);
    }
  });
}

TEST(VecmProducts, NormNeitherOverflowsNorUnderflows) {
  // The terms stored at odd indices, inserted last first (a tree of left links).
  cmat_test::ExpectNormOfEveryCase(
      [](const std::vector<double>& terms) {
        const int n = static_cast<int>(terms.size());
        int st = 0;
        VECM* v = LM_vecm_get(2 * n + 1, 0, &st);
        for (int k = n - 1; v != nullptr && k >= 0; --k)
          EXPECT_EQ(LM_vecm_addval(v, 2 * k + 1, terms[static_cast<size_t>(k)], 0), 0) << k;
        return v;
      },
      LM_vecm_norm2, vecm_free);
}

TEST(VecmBinary, MemoryFollowsTheEntriesThatArriveNotTheCountClaimed) {
  // Through a pipe the reader cannot weigh the claim against the stream before reading. A
  // header claiming 2^31 - 1 entries with 3 or 20000 behind it must end as a short read
  // (no code), the record handed in untouched, while no block of the heap may exceed 1 MiB: a
  // pool sized from the claim (48 GiB) would be refused as no memory (code 3). Under the same
  // ceiling, a form of 20000 entries (several read batches) comes through whole.
  cmat_test::ExpectMemoryFollowsArrivals(
      [](int dim, int claimed, int arriving) {
        Bytes b;
        PutInt(b, dim);
        PutInt(b, claimed);
        for (int k = 0; k < arriving; ++k) {
          PutInt(b, 2 * k);
          PutDouble(b, k + 0.5);
        }
        return b;
      },
      LM_vecm_binput, vecm_free, [] { return Sparse(7, {{6, 6.0}, {2, 2.0}}); },
      [](VECM* reuse) {
        return [reuse, pool = reuse->pool, slots = reuse->max_nnz] {
          EXPECT_EQ(reuse->pool, pool);
          EXPECT_EQ(reuse->max_nnz, slots);
          EXPECT_EQ(reuse->dim, 7);
          EXPECT_EQ(Entries(reuse), (std::vector<std::pair<int, double>>{{2, 2.0}, {6, 6.0}}));
        };
      },
      [](VECM* r) {
        EXPECT_EQ(r->max_nnz, 20000);
        ExpectValidTree(r);
        const std::vector<std::pair<int, double>> got = Entries(r);
        ASSERT_EQ(got.size(), 20000u);
        for (int k = 0; k < 20000; ++k)
          ASSERT_EQ(got[static_cast<size_t>(k)], std::make_pair(2 * k, k + 0.5)) << k;
      });
}
