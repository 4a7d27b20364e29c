// Tests of the packed Morse vector VECMP: creation, conversions with dense vectors and VECM,
// products and combinations against dense arithmetic, scatter and gather through index
// lists, the text form and the binary form (hand-made bytes, truncation, damage).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "cmat_norm.h"
#include "cmat_pipe.h"
#include "cmat_support.h"
#include "vmorse.h"
#include "vmorse_support.h"

using cmat_test::ErrWatch;
using namespace sparse_test;

namespace {

VECMP* Packed(int dim, std::initializer_list<int> idx, std::initializer_list<double> val) {
  int st = 0;
  VECMP* v = LM_vecmp_get(dim, static_cast<int>(idx.size()), &st);
  int k = 0;
  for (int i : idx) v->idx[k++] = i;
  k = 0;
  for (double x : val) v->val[k++] = x;
  return v;
}

std::vector<int> Idx(const VECMP* v) { return std::vector<int>(v->idx, v->idx + v->nnz); }
std::vector<double> Val(const VECMP* v) { return std::vector<double>(v->val, v->val + v->nnz); }

// The 32-byte example: dimension 4, entries (1, 2.5) and (3, -1.0), indices before values.
Bytes Example() {
  Bytes b;
  PutInt(b, 4);
  PutInt(b, 2);
  PutInt(b, 1);
  PutInt(b, 3);
  PutDouble(b, 2.5);
  PutDouble(b, -1.0);
  return b;
}

}  // namespace

TEST(VecmpGet, SizesAreCheckedAndEmptyVectorsKeepOneSlot) {
  int st = 0;
  {
    ErrWatch w;
    EXPECT_EQ(LM_vecmp_get(3, 4, &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 2);
    EXPECT_EQ(w.routine(), "LM_vecmp_get");
    EXPECT_EQ(LM_vecmp_get(-1, 0, &st), nullptr);
    EXPECT_EQ(w.last(), 20);
  }
  VECMP* v = LM_vecmp_get(3, 0, &st);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(v->nnz, 0);
  ASSERT_NE(v->idx, nullptr);
  ASSERT_NE(v->val, nullptr);
  v->idx[0] = 1;  // the one slot is there to use
  EXPECT_EQ(vecmp_free(v), 0);
  EXPECT_EQ(vecmp_free(nullptr), -1);
}

TEST(VecmpConvert, DenseAndTreeFormsGiveAscendingArrays) {
  int st = 0;
  VEC* x = NewVec({0, 3, 0, 1e-300, -2});  // threshold 3e-16
  VECMP* p = LM_vec2vecmp(x, &st);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->dim, 5);
  EXPECT_EQ(Idx(p), (std::vector<int>{1, 4}));
  EXPECT_EQ(Val(p), (std::vector<double>{3, -2}));

  VECM* m = LM_vecm_get(9, 0, &st);
  LM_vecm_addval(m, 7, 70, 0);
  LM_vecm_addval(m, 2, 20, 0);
  LM_vecm_addval(m, 5, 50, 0);
  VECMP* q = LM_vecm2vecmp(m, &st);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(Idx(q), (std::vector<int>{2, 5, 7}));
  EXPECT_EQ(Val(q), (std::vector<double>{20, 50, 70}));

  // To a tree and back gives the same arrays; the tree is a chain of right links.
  VECM* t = LM_vecmp2vecm(q, &st);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->root, &t->pool[0]);
  EXPECT_EQ(t->pool[0].right, &t->pool[1]);
  EXPECT_EQ(t->pool[1].right, &t->pool[2]);
  VECMP* q2 = LM_vecm2vecmp(t, &st);
  EXPECT_EQ(Idx(q2), Idx(q));
  EXPECT_EQ(Val(q2), Val(q));

  // Indices out of order still convert (by insertion); one outside the vector ends it.
  VECMP* mixed = Packed(6, {4, 1, 3}, {4, 1, 3});
  VECM* tm = LM_vecmp2vecm(mixed, &st);
  ASSERT_NE(tm, nullptr);
  EXPECT_EQ(LM_vecm_getval(tm, 1, &st), 1.0);
  EXPECT_EQ(LM_vecm_getval(tm, 3, &st), 3.0);
  VECMP* outside = Packed(6, {1, 6}, {1, 6});
  {
    ErrWatch w;
    EXPECT_EQ(LM_vecmp2vecm(outside, &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.count(), 0);  // refused by the insertion, without a code
  }

  // BT_fill_pack appends a subtree in order at the given count.
  int idx[5] = {-1, -1, -1, -1, -1};
  double val[5] = {0};
  int count = 1;
  BT_fill_pack(m->root, idx, val, &count);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(std::vector<int>(idx, idx + 5), (std::vector<int>{-1, 2, 5, 7, -1}));
  BT_fill_pack(nullptr, idx, val, &count);
  EXPECT_EQ(count, 4);

  v_free(x);
  vecmp_free(p);
  vecm_free(m);
  vecmp_free(q);
  vecm_free(t);
  vecmp_free(q2);
  vecmp_free(mixed);
  vecm_free(tm);
  vecmp_free(outside);
}

// The packed conversion keeps exactly the entries of the shared table: the threshold from
// the finite entries, every infinite or NaN entry kept.
TEST(VecmpConvert, DenseVectorsKeepTheEntriesOfTheSharedRule) {
  for (const KeptCase& c : KeptCases()) {
    SCOPED_TRACE(c.what);
    int st = 0;
    VEC* x = NewVec(c.x);
    VECMP* p = LM_vec2vecmp(x, &st);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(p->dim, static_cast<int>(c.x.size()));
    std::vector<std::pair<int, double>> got;
    for (int k = 0; k < p->nnz; ++k) got.emplace_back(p->idx[k], p->val[k]);
    EXPECT_TRUE(SameKept(got, c)) << Show(got);
    v_free(x);
    vecmp_free(p);
  }
}

TEST(VecmpCopy, CopiesAreMadeToMeasure) {
  int st = 0;
  VECMP* in = Packed(8, {0, 3, 6}, {1, 2, 3});
  VECMP* out = LM_vecmp_copy(in, nullptr, &st);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(Idx(out), Idx(in));
  EXPECT_EQ(Val(out), Val(in));
  VECMP* other = Packed(20, {19}, {5});
  ASSERT_EQ(LM_vecmp_copy(in, other, &st), other);
  EXPECT_EQ(other->dim, 8);
  EXPECT_EQ(Idx(other), Idx(in));
  VECMP* empty = LM_vecmp_get(2, 0, &st);
  ASSERT_EQ(LM_vecmp_copy(empty, other, &st), other);
  EXPECT_EQ(other->nnz, 0);
  EXPECT_EQ(other->dim, 2);
  EXPECT_EQ(LM_vecmp_copy(in, in, &st), in);
  {
    ErrWatch w;
    EXPECT_EQ(LM_vecmp_copy(nullptr, out, &st), nullptr);
    EXPECT_EQ(w.last(), 8);
  }
  vecmp_free(in);
  vecmp_free(out);
  vecmp_free(other);
  vecmp_free(empty);
}

TEST(VecmpProducts, InnerProductNormAndCombination) {
  int st = 0;
  VECMP* b = Packed(5, {0, 2, 4}, {1, -2, 3});
  VEC* a = NewVec({2, 7, 1, 7, -1});
  EXPECT_EQ(LM_pscal_vvecmp(a, b, &st), 2.0 - 2.0 - 3.0);
  EXPECT_EQ(LM_vecmp_norm2(b, &st), std::sqrt(14.0));
  VEC* out = _LM_vvecmp_mltadd(a, b, -1.0, nullptr, __LINE__, "t", &st);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(Values(out), (std::vector<double>{1, 7, 3, 7, -4}));
  ASSERT_EQ(_LM_vvecmp_mltadd(a, b, 0.0, out, __LINE__, "t", &st), out);
  EXPECT_EQ(Values(out), Values(a));
  {
    ErrWatch w;
    VECMP* c = Packed(4, {}, {});
    EXPECT_EQ(LM_pscal_vvecmp(a, c, &st), 0.0);
    EXPECT_EQ(w.last(), 1);
    EXPECT_EQ(_LM_vvecmp_mltadd(a, c, 1.0, nullptr, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 1);
    EXPECT_EQ(w.routine(), "LM_vvecmp_mltadd");
    EXPECT_EQ(LM_vecmp_norm2(nullptr, &st), -1.0);
    EXPECT_EQ(w.last(), 8);
    vecmp_free(c);
  }
  vecmp_free(b);
  v_free(a);
  v_free(out);
}

TEST(VecmpScatterGather, ScatterKeepsOtherEntriesAndGatherFollowsTheList) {
  int st = 0;
  VECMP* x = Packed(6, {1, 4}, {10, 20});
  VEC* out = NewVec({1, 1, 1, 1, 1, 1});
  ASSERT_EQ(_LM_vvecmp_daxpy_idx(nullptr, x, 0, -1.0 + 1e-15, out, __LINE__, "t", &st), out);
  EXPECT_EQ(Values(out), (std::vector<double>{1, -10, 1, 1, -20, 1}));
  ASSERT_EQ(_LM_vvecmp_daxpy_idx(nullptr, x, 1, 2.0, out, __LINE__, "t", &st), out);
  EXPECT_EQ(Values(out), (std::vector<double>{1, 10, 1, 1, 20, 1}));
  // A shorter output is grown to x's dimension, its values kept.
  VEC* small = NewVec({5, 5});
  ASSERT_EQ(_LM_vvecmp_daxpy_idx(nullptr, x, 1, 1.0, small, __LINE__, "t", &st), small);
  EXPECT_EQ(Values(small), (std::vector<double>{5, 15, 0, 0, 20, 0}));

  // Gather in the list's numbering.
  VECMP* y = Packed(10, {1, 5, 9}, {1.5, 5.5, 9.5});
  IVEC* list = NewIvec({2, 5, 7});
  VEC* g = NewVec({-1, -1, -1, -1, -1, -1, -1, -1, -1, -1});
  ASSERT_EQ(_LM_vvecmp_daxpy_idx(list, y, 0, 2.0, g, __LINE__, "t", &st), g);
  EXPECT_EQ(Values(g), (std::vector<double>{-1, 11, -1, -1, -1, -1, -1, -1, -1, -1}));
  ASSERT_EQ(_LM_vvecmp_daxpy_idx(list, y, 1, 2.0, g, __LINE__, "t", &st), g);
  EXPECT_EQ(g->ve[1], 22.0);
  // Ranges that touch at one index gather it; ranges apart gather nothing.
  IVEC* touch = NewIvec({9, 12});
  ASSERT_EQ(_LM_vvecmp_daxpy_idx(touch, y, 0, 1.0, g, __LINE__, "t", &st), g);
  EXPECT_EQ(g->ve[0], 9.5);
  EXPECT_EQ(g->ve[1], 22.0);
  IVEC* before = NewIvec({0});
  ASSERT_EQ(_LM_vvecmp_daxpy_idx(before, y, 0, 1.0, g, __LINE__, "t", &st), g);
  EXPECT_EQ(g->ve[0], 9.5);
  // A list longer than x's dimension grows the output to the list's length.
  IVEC* longlist = NewIvec({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
  VEC* gl = _LM_vvecmp_daxpy_idx(longlist, y, 0, 1.0, nullptr, __LINE__, "t", &st);
  ASSERT_NE(gl, nullptr);
  EXPECT_EQ(gl->dim, 12u);
  EXPECT_EQ(gl->ve[9], 9.5);
  EXPECT_EQ(gl->ve[5], 5.5);
  EXPECT_EQ(gl->ve[11], 0.0);
  {
    ErrWatch w;
    EXPECT_EQ(_LM_vvecmp_daxpy_idx(list, nullptr, 0, 1.0, g, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 8);
  }
  vecmp_free(x);
  vecmp_free(y);
  v_free(out);
  v_free(small);
  v_free(g);
  v_free(gl);
  iv_free(list);
  iv_free(touch);
  iv_free(before);
  iv_free(longlist);
}

TEST(VecmpText, OutputAndFillRatio) {
  VECMP* v = Packed(4, {1, 3}, {2.5, -1});
  EXPECT_EQ(cmat_test::CaptureFile([&](FILE* f) { vecmp_output(v, f); }),
            "Morse Packed Vector :\nDim = 4, Number of effective values = 2\n"
            "------------------------------\n\n[1] : 2.5\n[3] : -1\n------------------------------\n\n");
  EXPECT_EQ(cmat_test::CaptureFile([&](FILE* f) { vecmp_output(nullptr, f); }), "NULL vector\n");
  int st = 3;
  EXPECT_EQ(vecmp_RateCompletion(v, &st), 0.5);
  EXPECT_EQ(st, 0);
  VECMP* e = Packed(0, {}, {});
  EXPECT_EQ(vecmp_RateCompletion(e, &st), 0.0);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(vecmp_RateCompletion(nullptr, &st), 0.0);
  EXPECT_EQ(st, 0);
  vecmp_free(v);
  vecmp_free(e);
}

TEST(VecmpBinary, WritesTheHandMadeBytesAndReadsThemBack) {
  int st = 0;
  VECMP* v = Packed(4, {1, 3}, {2.5, -1.0});
  FILE* f = std::tmpfile();
  vecmp_boutput(f, v, &st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(FileBytes(f), Example());
  VECMP* reuse = Packed(9, {8}, {8});
  ASSERT_EQ(LM_vecmp_binput(f, reuse, &st), reuse);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(reuse->dim, 4);
  EXPECT_EQ(Idx(reuse), (std::vector<int>{1, 3}));
  EXPECT_EQ(Val(reuse), (std::vector<double>{2.5, -1.0}));
  std::fclose(f);

  // A VECM written in the packed form.
  VECM* m = LM_vecm_get(4, 0, &st);
  LM_vecm_addval(m, 3, -1.0, 0);
  LM_vecm_addval(m, 1, 2.5, 0);
  FILE* g = std::tmpfile();
  vecm_boutput_as_vecmp(g, m, &st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(FileBytes(g), Example());
  std::fclose(g);

  // An empty vector writes only its header.
  VECMP* e = Packed(3, {}, {});
  FILE* h = std::tmpfile();
  vecmp_boutput(h, e, &st);
  Bytes want;
  PutInt(want, 3);
  PutInt(want, 0);
  EXPECT_EQ(FileBytes(h), want);
  VECMP* re = LM_vecmp_binput(h, nullptr, &st);
  ASSERT_NE(re, nullptr);
  EXPECT_EQ(re->dim, 3);
  EXPECT_EQ(re->nnz, 0);
  std::fclose(h);

  // Refusals write nothing.
  FILE* k = std::tmpfile();
  VECMP* zero = Packed(0, {}, {});
  vecmp_boutput(k, zero, &st);
  EXPECT_EQ(st, -1);
  vecm_boutput_as_vecmp(k, nullptr, &st);
  EXPECT_EQ(st, -1);
  EXPECT_TRUE(FileBytes(k).empty());
  EXPECT_EQ(LM_vecmp_binput(nullptr, nullptr, &st), nullptr);
  EXPECT_EQ(st, -1);
  std::fclose(k);
  vecmp_free(v);
  vecmp_free(reuse);
  vecm_free(m);
  vecmp_free(e);
  vecmp_free(re);
  vecmp_free(zero);
}

TEST(VecmpBinary, TruncatedOrDamagedFilesFailWithTheRecordToReuseUnchanged) {
  const Bytes full = Example();
  ForEachPrefix(full, [](FILE* f, size_t len) {
    int st = 0;
    VECMP* reuse = Packed(7, {6}, {6});
    int* idx = reuse->idx;
    EXPECT_EQ(LM_vecmp_binput(f, reuse, &st), nullptr) << len;
    EXPECT_EQ(st, -1);
    EXPECT_EQ(reuse->idx, idx);
    EXPECT_EQ(reuse->dim, 7);
    EXPECT_EQ(reuse->nnz, 1);
    vecmp_free(reuse);
  });
  struct Case {
    const char* what;
    int dim, nnz, i0, i1, code;
  };
  const Case cases[] = {{"negative dim", -4, 2, 1, 3, 20}, {"nnz above dim", 1, 2, 1, 3, 2},
                        {"descending", 4, 2, 3, 1, 2},     {"index at dim", 4, 2, 1, 4, 2},
                        {"negative index", 4, 2, -2, 3, 2}};
  for (const Case& c : cases) {
    Bytes b;
    PutInt(b, c.dim);
    PutInt(b, c.nnz);
    PutInt(b, c.i0);
    PutInt(b, c.i1);
    PutDouble(b, 1.0);
    PutDouble(b, 2.0);
    FILE* f = StreamWith(b);
    int st = 0;
    ErrWatch w;
    EXPECT_EQ(LM_vecmp_binput(f, nullptr, &st), nullptr) << c.what;
    EXPECT_EQ(w.last(), c.code) << c.what;
    std::fclose(f);
  }
  ForEachFlippedBit(full, [](FILE* f) {
    int st = 0;
    VECMP* r = LM_vecmp_binput(f, nullptr, &st);
    if (r != nullptr) {
      ASSERT_LE(r->nnz, r->dim);
      for (int k = 0; k < r->nnz; ++k) {
        EXPECT_GE(r->idx[k], k == 0 ? 0 : r->idx[k - 1] + 1);
        EXPECT_LT(r->idx[k], r->dim);
      }
      vecmp_free(r);
    }
  });
}

TEST(VecmpProducts, NormNeitherOverflowsNorUnderflows) {
  // The terms stored at odd indices.
  cmat_test::ExpectNormOfEveryCase(
      [](const std::vector<double>& terms) {
        const int n = static_cast<int>(terms.size());
        int st = 0;
        VECMP* v = LM_vecmp_get(2 * n + 1, n, &st);
        for (int k = 0; v != nullptr && k < n; ++k) {
          v->idx[k] = 2 * k + 1;
          v->val[k] = terms[static_cast<size_t>(k)];
        }
        return v;
      },
      LM_vecmp_norm2, vecmp_free);
}

TEST(VecmpBinary, MemoryFollowsTheValuesThatArriveNotTheCountClaimed) {
  // As for VECM: through a pipe, a claim of 2^31 - 1 entries with 3 or 20000 behind it ends
  // as a short read (no code) with the record handed in untouched, under a 1 MiB ceiling on
  // single heap blocks that arrays sized from the claim (8 and 16 GiB) would break (code 3);
  // 20000 entries come through whole under the same ceiling.
  cmat_test::ExpectMemoryFollowsArrivals(
      [](int dim, int claimed, int arriving) {
        Bytes b;
        PutInt(b, dim);
        PutInt(b, claimed);
        for (int k = 0; k < arriving; ++k) PutInt(b, 2 * k);
        for (int k = 0; k < arriving; ++k) PutDouble(b, k + 0.5);
        return b;
      },
      LM_vecmp_binput, vecmp_free, [] { return Packed(9, {2, 8}, {2.0, 8.0}); },
      [](VECMP* reuse) {
        return [reuse, idx = reuse->idx, val = reuse->val] {
          EXPECT_EQ(reuse->idx, idx);
          EXPECT_EQ(reuse->val, val);
          EXPECT_EQ(reuse->dim, 9);
          EXPECT_EQ(Idx(reuse), (std::vector<int>{2, 8}));
          EXPECT_EQ(Val(reuse), (std::vector<double>{2.0, 8.0}));
        };
      },
      [](VECMP* r) {
        ASSERT_EQ(r->nnz, 20000);
        for (int k = 0; k < 20000; ++k) {
          ASSERT_EQ(r->idx[k], 2 * k) << k;
          ASSERT_EQ(r->val[k], k + 0.5) << k;
        }
      });
}
