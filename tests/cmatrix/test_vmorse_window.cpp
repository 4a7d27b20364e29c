// Tests of the windowed Morse vector VECMW: the index code made by the builders (runs, singles,
// the lead run), conversions, products and combinations against dense arithmetic, scatter and
// gather, block statistics, the text form and the binary form (hand-made bytes, truncation,
// damage).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>
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

std::vector<int> Code(const VECMW* v) { return std::vector<int>(v->code, v->code + v->ncode); }
std::vector<double> Val(const VECMW* v) { return std::vector<double>(v->val, v->val + v->nval); }

VECMW* FromDense(std::initializer_list<double> vals) {
  int st = 0;
  VEC* x = NewVec(vals);
  VECMW* w = LM_vec2vecmw(x, &st);
  v_free(x);
  return w;
}

VECMW* FromPacked(int dim, std::initializer_list<int> idx) {
  int st = 0;
  VECMP* p = LM_vecmp_get(dim, static_cast<int>(idx.size()), &st);
  int k = 0;
  for (int i : idx) {
    p->idx[k] = i;
    p->val[k] = 10.0 * i + 1;
    ++k;
  }
  VECMW* w = LM_vecmp2vecmw(p, &st);
  vecmp_free(p);
  return w;
}

// Dimension 4 storing a = 0.5 at index 1 and b = -3 at index 2: 40 bytes.
Bytes Example() {
  Bytes b;
  for (int v : {4, 2, 2, 0, -1, 2}) PutInt(b, v);
  PutDouble(b, 0.5);
  PutDouble(b, -3.0);
  return b;
}

}  // namespace

TEST(VecmwBuild, DenseVectorsGiveRunsSinglesAndTheLeadRun) {
  VECMW* w = FromDense({1, 2, 0, 4, 0, 6, 7});
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->dim, 7);
  EXPECT_EQ(w->lead, 1);
  EXPECT_EQ(Code(w), (std::vector<int>{0, 2, 3, -5, 2}));
  EXPECT_EQ(w->nval, 5);
  EXPECT_EQ(Val(w), (std::vector<double>{1, 2, 4, 6, 7}));
  vecmw_free(w);

  w = FromDense({0, 5});
  EXPECT_EQ(w->lead, 0);
  EXPECT_EQ(Code(w), (std::vector<int>{1}));
  vecmw_free(w);
  w = FromDense({5});
  EXPECT_EQ(w->lead, 0);
  EXPECT_EQ(Code(w), (std::vector<int>{0}));
  vecmw_free(w);
  w = FromDense({0, 0, 0});
  EXPECT_EQ(w->dim, 3);
  EXPECT_EQ(w->nval, 0);
  EXPECT_EQ(w->ncode, 0);
  EXPECT_EQ(w->code, nullptr);
  vecmw_free(w);

  int st = 0;
  VEC* e = NewVec({1});
  e->dim = 0;
  w = LM_vec2vecmw(e, &st);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->dim, 0);
  EXPECT_EQ(w->nval, 0);
  vecmw_free(w);
  v_free(e);
  {
    ErrWatch watch;
    EXPECT_EQ(LM_vec2vecmw(nullptr, &st), nullptr);
    EXPECT_EQ(watch.last(), 8);
  }
}

TEST(VecmwBuild, PackedVectorsGiveTheSameCode) {
  VECMW* w = FromPacked(9, {0, 1, 2, 5});
  EXPECT_EQ(w->lead, 1);
  EXPECT_EQ(Code(w), (std::vector<int>{0, 3, 5}));
  EXPECT_EQ(Val(w), (std::vector<double>{1, 11, 21, 51}));
  vecmw_free(w);
  w = FromPacked(9, {2, 3});
  EXPECT_EQ(w->lead, 0);
  EXPECT_EQ(Code(w), (std::vector<int>{-2, 2}));
  vecmw_free(w);
  w = FromPacked(9, {0});
  EXPECT_EQ(w->lead, 0);
  EXPECT_EQ(Code(w), (std::vector<int>{0}));
  vecmw_free(w);
  w = FromPacked(9, {0, 1, 2, 5, 7, 8});
  EXPECT_EQ(Code(w), (std::vector<int>{0, 3, 5, -7, 2}));
  EXPECT_EQ(w->ncode, 5);
  EXPECT_EQ(w->nval, 6);
  vecmw_free(w);
  w = FromPacked(9, {0, 4, 5});
  EXPECT_EQ(w->lead, 0);
  EXPECT_EQ(Code(w), (std::vector<int>{0, -4, 2}));
  vecmw_free(w);
  w = FromPacked(9, {});
  EXPECT_EQ(w->nval, 0);
  EXPECT_EQ(w->ncode, 0);
  vecmw_free(w);

  // Random vectors: the packed and the dense builders agree, and decoding gives the input.
  std::mt19937 gen(7);
  std::bernoulli_distribution on(0.4);
  for (int trial = 0; trial < 50; ++trial) {
    std::vector<double> d(37);
    for (size_t i = 0; i < d.size(); ++i) d[i] = on(gen) ? static_cast<double>(i) + 1 : 0.0;
    int st = 0;
    VEC* x = NewVec(d);
    VECMW* a = LM_vec2vecmw(x, &st);
    VECMP* p = LM_vec2vecmp(x, &st);
    VECMW* b = LM_vecmp2vecmw(p, &st);
    EXPECT_EQ(Code(a), Code(b));
    EXPECT_EQ(a->lead, b->lead);
    VEC* back = LM_vecmw2vec(a, nullptr, &st);
    EXPECT_EQ(Values(back), d);
    VECM* m = LM_vecmw2vecm(b, &st);
    VEC* back2 = LM_vecm2vec(m, nullptr, &st);
    EXPECT_EQ(Values(back2), d);
    v_free(x);
    v_free(back);
    v_free(back2);
    vecm_free(m);
    vecmp_free(p);
    vecmw_free(a);
    vecmw_free(b);
  }
}

TEST(VecmwDecode, TheLeadFlagDecidesWhatALeadingZeroMeans) {
  int st = 0;
  VECMW w{};
  int code[3] = {0, 3, 5};
  double val[4] = {1, 2, 3, 4};
  w.dim = 8;
  w.code = code;
  w.val = val;
  w.ncode = 3;
  w.nval = 3;
  w.lead = 0;
  VEC* d = LM_vecmw2vec(&w, nullptr, &st);
  EXPECT_EQ(Values(d), (std::vector<double>{1, 0, 0, 2, 0, 3, 0, 0}));
  w.lead = 1;
  w.nval = 4;
  ASSERT_EQ(LM_vecmw2vec(&w, d, &st), d);
  EXPECT_EQ(Values(d), (std::vector<double>{1, 2, 3, 0, 0, 4, 0, 0}));
  VECM* m = LM_vecmw2vecm(&w, &st);
  EXPECT_EQ(m->nnz, 4);
  EXPECT_EQ(LM_vecm_getval(m, 5, &st), 4.0);
  v_free(d);
  vecm_free(m);
}

TEST(VecmwCopy, CopiesAreIndependent) {
  int st = 0;
  VECMW* a = FromPacked(10, {0, 1, 4, 7, 8});
  VECMW* b = LM_vecmw_copy(a, nullptr, &st);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Code(b), Code(a));
  EXPECT_EQ(Val(b), Val(a));
  EXPECT_EQ(b->lead, a->lead);
  b->val[0] = 99;
  EXPECT_EQ(a->val[0], 1.0);
  VECMW* c = FromPacked(3, {1});
  ASSERT_EQ(LM_vecmw_copy(a, c, &st), c);
  EXPECT_EQ(c->dim, 10);
  EXPECT_EQ(Code(c), Code(a));
  EXPECT_EQ(LM_vecmw_copy(a, a, &st), a);
  {
    ErrWatch w;
    EXPECT_EQ(LM_vecmw_copy(nullptr, c, &st), nullptr);
    EXPECT_EQ(w.last(), 8);
  }
  vecmw_free(a);
  vecmw_free(b);
  vecmw_free(c);
  EXPECT_EQ(vecmw_free(nullptr), -1);
}

TEST(VecmwProducts, InnerProductNormAndCombinationsMatchDenseArithmetic) {
  int st = 0;
  const std::vector<double> xv{1, 2, 0, 4, 0, 6, 7, 0};
  VEC* x = NewVec(xv);
  VECMW* w = LM_vec2vecmw(x, &st);
  VEC* a = NewVec({1, -1, 2, -2, 3, -3, 4, -4});
  double dot = 0;
  for (size_t i = 0; i < xv.size(); ++i) dot += xv[i] * a->ve[i];
  EXPECT_EQ(LM_pscal_vvecmw(a, w, &st), dot);
  EXPECT_EQ(LM_vecmw_norm2(w, &st), std::sqrt(1.0 + 4 + 16 + 36 + 49));

  VEC* out = _LM_vvecmw_mltadd(a, w, 2.0, nullptr, __LINE__, "t", &st);
  ASSERT_NE(out, nullptr);
  for (size_t i = 0; i < xv.size(); ++i) EXPECT_EQ(out->ve[i], a->ve[i] + 2.0 * xv[i]) << i;
  // Without accumulation the stored places take s times the stored values.
  ASSERT_EQ(_LM_vvecmw_mltadd2(0, a, w, 3.0, out, __LINE__, "t", &st), out);
  for (size_t i = 0; i < xv.size(); ++i) EXPECT_EQ(out->ve[i], xv[i] != 0 ? 3.0 * xv[i] : a->ve[i]) << i;
  ASSERT_EQ(_LM_vvecmw_mltadd(a, w, 0.0, out, __LINE__, "t", &st), out);
  EXPECT_EQ(Values(out), Values(a));
  // Without accumulation a zero s still writes the stored places: 0 times the values is 0
  // there (not a copy of a), a elsewhere.
  ASSERT_EQ(_LM_vvecmw_mltadd2(0, a, w, 0.0, out, __LINE__, "t", &st), out);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(Values(out), (std::vector<double>{0, 0, 2, 0, 3, 0, 0, -4}));
  VEC* fresh = _LM_vvecmw_mltadd2(0, a, w, -0.0, nullptr, __LINE__, "t", &st);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(Values(fresh), (std::vector<double>{0, 0, 2, 0, 3, 0, 0, -4}));
  v_free(fresh);
  {
    ErrWatch watch;
    VEC* s3 = NewVec({1, 2, 3});
    EXPECT_EQ(LM_pscal_vvecmw(s3, w, &st), 0.0);
    EXPECT_EQ(watch.last(), 1);
    EXPECT_EQ(_LM_vvecmw_mltadd(s3, w, 1.0, nullptr, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(watch.last(), 1);
    EXPECT_EQ(watch.routine(), "_LM_vvecmw_mltadd");
    EXPECT_EQ(_LM_vvecmw_mltadd2(1, nullptr, w, 1.0, nullptr, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(watch.last(), 8);
    EXPECT_EQ(LM_vecmw_norm2(nullptr, &st), -1.0);
    v_free(s3);
  }
  v_free(x);
  v_free(a);
  v_free(out);
  vecmw_free(w);
}

// The windowed form and the run statistics keep exactly the entries of the shared table:
// the threshold from the finite entries, every infinite or NaN entry kept.
TEST(VecmwBuild, DenseVectorsKeepTheEntriesOfTheSharedRule) {
  for (const KeptCase& c : KeptCases()) {
    SCOPED_TRACE(c.what);
    // Runs and singles of the kept indices, counted by hand from the table.
    int runs = 0, singles = 0, inRuns = 0;
    for (size_t k = 0; k < c.kept.size();) {
      size_t e = k + 1;
      while (e < c.kept.size() && c.kept[e] == c.kept[e - 1] + 1) ++e;
      if (e - k >= 2) {
        ++runs;
        inRuns += static_cast<int>(e - k);
      } else {
        ++singles;
      }
      k = e;
    }
    const int kept = static_cast<int>(c.kept.size());
    int st = 0;
    VEC* x = NewVec(c.x);
    VECMW* w = LM_vec2vecmw(x, &st);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(w->nval, kept);
    EXPECT_EQ(w->ncode, singles + 2 * runs);
    VEC* back = LM_vecmw2vec(w, nullptr, &st);
    ASSERT_NE(back, nullptr);
    std::vector<std::pair<int, double>> got;
    for (unsigned i = 0; i < back->dim; ++i)
      if (back->ve[i] != 0.0 || std::isnan(back->ve[i])) got.emplace_back(static_cast<int>(i), back->ve[i]);
    EXPECT_TRUE(SameKept(got, c)) << Show(got);

    double mean = -1;
    const double ratio = LM_v_RatioBloc(x, &mean, &st);
    EXPECT_EQ(st, 0);
    EXPECT_DOUBLE_EQ(ratio, kept == 0 ? 1.0 : static_cast<double>(inRuns) / kept);
    EXPECT_DOUBLE_EQ(mean, kept == 0 ? 0.0 : static_cast<double>(kept) / (singles + 2 * runs));
    v_free(x);
    v_free(back);
    vecmw_free(w);
  }
}

TEST(VecmwScatterGather, ScatterClearsWithoutAccumulationAndGatherFollowsTheList) {
  int st = 0;
  VECMW* x = FromPacked(9, {4, 5, 6, 8});  // values 41, 51, 61, 81
  VEC* out = NewVec({1, 1, 1, 1, 1, 1, 1, 1, 1});
  ASSERT_EQ(_LM_vvecmw_daxpy_idx(nullptr, x, 0, 2.0, out, __LINE__, "t", &st), out);
  EXPECT_EQ(Values(out), (std::vector<double>{0, 0, 0, 0, 82, 102, 122, 0, 162}));
  ASSERT_EQ(_LM_vvecmw_daxpy_idx(nullptr, x, 1, 1.0, out, __LINE__, "t", &st), out);
  EXPECT_EQ(out->ve[4], 123.0);
  EXPECT_EQ(out->ve[0], 0.0);

  IVEC* list = NewIvec({3, 5, 8});
  VEC* g = NewVec({-1, -1, -1, -1, -1, -1, -1, -1, -1});
  ASSERT_EQ(_LM_vvecmw_daxpy_idx(list, x, 0, 2.0, g, __LINE__, "t", &st), g);
  EXPECT_EQ(Values(g), (std::vector<double>{-1, 102, 162, -1, -1, -1, -1, -1, -1}));
  ASSERT_EQ(_LM_vvecmw_daxpy_idx(list, x, 1, 1.0, g, __LINE__, "t", &st), g);
  EXPECT_EQ(g->ve[1], 153.0);
  // A list whose first index is the final single stored index gathers it.
  IVEC* touch = NewIvec({8, 11});
  ASSERT_EQ(_LM_vvecmw_daxpy_idx(touch, x, 0, 1.0, g, __LINE__, "t", &st), g);
  EXPECT_EQ(g->ve[0], 81.0);
  IVEC* apart = NewIvec({0, 1, 2});
  VEC* h = NewVec({7, 7, 7, 7, 7, 7, 7, 7, 7});
  ASSERT_EQ(_LM_vvecmw_daxpy_idx(apart, x, 0, 1.0, h, __LINE__, "t", &st), h);
  EXPECT_EQ(Values(h), std::vector<double>(9, 7.0));
  // Lists longer than the vector write one place per entry.
  IVEC* longlist = NewIvec({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
  VEC* gl = _LM_vvecmw_daxpy_idx(longlist, x, 0, 1.0, nullptr, __LINE__, "t", &st);
  ASSERT_NE(gl, nullptr);
  EXPECT_EQ(gl->dim, 12u);
  EXPECT_EQ(gl->ve[6], 61.0);
  EXPECT_EQ(gl->ve[8], 81.0);
  EXPECT_EQ(gl->ve[7], 0.0);
  vecmw_free(x);
  v_free(out);
  v_free(g);
  v_free(h);
  v_free(gl);
  iv_free(list);
  iv_free(touch);
  iv_free(apart);
  iv_free(longlist);
}

TEST(VecmwStatistics, MeanBlockAndRunShare) {
  int st = 0;
  VECMW* w = FromPacked(9, {0, 1, 2, 5});
  EXPECT_EQ(LM_vecmw_sizebloc(w, &st), 2.0);
  VECMW* e = FromPacked(9, {});
  EXPECT_EQ(LM_vecmw_sizebloc(e, &st), 0.0);
  {
    ErrWatch watch;
    EXPECT_EQ(LM_vecmw_sizebloc(nullptr, &st), 0.0);
    EXPECT_EQ(watch.last(), 8);
  }
  double mean = -1;
  VEC* v = NewVec({1, 2, 0, 4});
  EXPECT_DOUBLE_EQ(LM_v_RatioBloc(v, &mean, &st), 2.0 / 3.0);
  EXPECT_EQ(mean, 1.0);  // 3 values over the 3 code entries (0, 2, 3)
  VEC* single = NewVec({0, 3, 0, 0, 5});
  EXPECT_EQ(LM_v_RatioBloc(single, &mean, &st), 0.0);
  EXPECT_EQ(mean, 1.0);
  VEC* zero = NewVec({0, 0});
  mean = -1;
  EXPECT_EQ(LM_v_RatioBloc(zero, &mean, &st), 1.0);
  EXPECT_EQ(mean, 0.0);
  VEC* empty = NewVec({1});
  empty->dim = 0;
  mean = -1;
  EXPECT_EQ(LM_v_RatioBloc(empty, &mean, &st), 1.0);
  EXPECT_EQ(mean, -1.0);
  vecmw_free(w);
  vecmw_free(e);
  v_free(v);
  v_free(single);
  v_free(zero);
  v_free(empty);
}

TEST(VecmwText, OutputDecodesTheIndices) {
  VECMW* w = FromPacked(6, {0, 1, 4});
  EXPECT_EQ(cmat_test::CaptureFile([&](FILE* f) { vecmw_output(w, f); }),
            "Morse Window Vector :\nDim = 6, Number of effective values = 3\n"
            "------------------------------\n\n[0] : 1\n[1] : 11\n[4] : 41\n"
            "------------------------------\n\n");
  VECMW* e = FromPacked(6, {});
  EXPECT_EQ(cmat_test::CaptureFile([&](FILE* f) { vecmw_output(e, f); }),
            "Morse Window Vector :\nDim = 6, Number of effective values = 0\n");
  EXPECT_EQ(cmat_test::CaptureFile([&](FILE* f) { vecmw_output(nullptr, f); }), "NULL vector\n");
  vecmw_free(w);
  vecmw_free(e);
}

TEST(VecmwBinary, WritesTheHandMadeBytesAndReadsThemBack) {
  int st = 0;
  VEC* d = NewVec({0, 0.5, -3.0, 0});
  VECMW* w = LM_vec2vecmw(d, &st);
  FILE* f = std::tmpfile();
  vecmw_boutput(f, w, &st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(FileBytes(f), Example());
  VECMW* reuse = FromPacked(20, {1, 2, 3, 9});
  ASSERT_EQ(LM_vecmw_binput(f, reuse, &st), reuse);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(reuse->dim, 4);
  EXPECT_EQ(Code(reuse), (std::vector<int>{-1, 2}));
  EXPECT_EQ(Val(reuse), (std::vector<double>{0.5, -3.0}));
  std::fclose(f);

  FILE* k = std::tmpfile();
  VECMW* zero = FromPacked(0, {});
  vecmw_boutput(k, zero, &st);
  EXPECT_EQ(st, -1);
  vecmw_boutput(k, nullptr, &st);
  EXPECT_EQ(st, -1);
  EXPECT_TRUE(FileBytes(k).empty());
  EXPECT_EQ(LM_vecmw_binput(nullptr, nullptr, &st), nullptr);
  EXPECT_EQ(st, -1);
  std::fclose(k);
  v_free(d);
  vecmw_free(w);
  vecmw_free(reuse);
  vecmw_free(zero);
}

TEST(VecmwBinary, TruncatedOrMalformedFilesFailWithTheRecordToReuseUnchanged) {
  const Bytes full = Example();
  ForEachPrefix(full, [](FILE* f, size_t len) {
    int st = 0;
    VECMW* reuse = FromPacked(7, {6});
    int* code = reuse->code;
    EXPECT_EQ(LM_vecmw_binput(f, reuse, &st), nullptr) << len;
    EXPECT_EQ(st, -1);
    EXPECT_EQ(reuse->code, code);
    EXPECT_EQ(reuse->dim, 7);
    EXPECT_EQ(Code(reuse), (std::vector<int>{6}));
    vecmw_free(reuse);
  });
  struct Case {
    const char* what;
    std::vector<int> head, code;
    int nvals;
    int err;
  };
  const Case cases[] = {
      {"negative dim", {-4, 2, 2, 0}, {-1, 2}, 2, 20},
      {"nval above dim", {1, 2, 2, 0}, {-1, 2}, 2, 2},
      {"bad lead", {4, 2, 2, 2}, {-1, 2}, 2, 2},
      {"run past dim", {4, 2, 2, 0}, {-3, 2}, 2, 2},
      {"single at dim", {4, 1, 1, 0}, {4}, 1, 2},
      {"descending", {4, 2, 2, 0}, {3, 1}, 2, 2},
      {"count differs", {4, 3, 2, 0}, {-1, 2}, 3, 2},
      {"run without length", {4, 1, 1, 0}, {-1}, 1, 2},
      {"zero-length run", {4, 1, 3, 0}, {-1, 0, 3}, 1, 2},
      {"lead without zero", {4, 2, 2, 1}, {1, 2}, 2, 2},
  };
  for (const Case& c : cases) {
    Bytes b;
    for (int v : c.head) PutInt(b, v);
    for (int v : c.code) PutInt(b, v);
    for (int k = 0; k < c.nvals; ++k) PutDouble(b, k + 1.0);
    FILE* f = StreamWith(b);
    int st = 0;
    ErrWatch w;
    EXPECT_EQ(LM_vecmw_binput(f, nullptr, &st), nullptr) << c.what;
    EXPECT_EQ(st, -1) << c.what;
    EXPECT_EQ(w.last(), c.err) << c.what;
    std::fclose(f);
  }
  ForEachFlippedBit(full, [](FILE* f) {
    int st = 0;
    VECMW* r = LM_vecmw_binput(f, nullptr, &st);
    if (r != nullptr) {
      // Whatever was accepted decodes inside the vector (a flipped high bit of the
      // dimension is accepted too, but not expanded into a dense vector here).
      if (r->dim <= 100000) {
        VEC* d = LM_vecmw2vec(r, nullptr, &st);
        EXPECT_NE(d, nullptr);
        v_free(d);
      }
      VECM* m = LM_vecmw2vecm(r, &st);
      EXPECT_NE(m, nullptr);
      vecm_free(m);
      vecmw_free(r);
    }
  });
}

TEST(VecmwProducts, NormNeitherOverflowsNorUnderflows) {
  // The terms as one run from index 1 (one dot product in the plain case).
  cmat_test::ExpectNormOfEveryCase(
      [](const std::vector<double>& terms) -> VECMW* {
        const int n = static_cast<int>(terms.size());
        int st = 0;
        VECMP* p = LM_vecmp_get(n + 2, n, &st);
        if (p == nullptr) return nullptr;
        for (int k = 0; k < n; ++k) {
          p->idx[k] = k + 1;
          p->val[k] = terms[static_cast<size_t>(k)];
        }
        VECMW* w = LM_vecmp2vecmw(p, &st);
        vecmp_free(p);
        return w;
      },
      LM_vecmw_norm2, vecmw_free);
}

TEST(VecmwBinary, MemoryFollowsTheValuesThatArriveNotTheCountsClaimed) {
  // As for VECM: through a pipe, claims of 2^31 - 1 values and code entries with 3 or 20000
  // behind them end as a short read (no code) with the record handed in untouched, under a
  // 1 MiB ceiling on single heap blocks that arrays sized from the claims (8 and 16 GiB) would
  // break (code 3); 20000 single entries come through whole under the same ceiling.
  cmat_test::ExpectMemoryFollowsArrivals(
      [](int dim, int claimed, int arriving) {
        Bytes b;
        for (int v : {dim, claimed, claimed, 0}) PutInt(b, v);
        for (int k = 0; k < arriving; ++k) PutInt(b, 2 * k);
        for (int k = 0; k < arriving; ++k) PutDouble(b, k + 0.5);
        return b;
      },
      LM_vecmw_binput, vecmw_free, [] { return FromPacked(7, {6}); },
      [](VECMW* reuse) {
        return [reuse, code = reuse->code, val = reuse->val] {
          EXPECT_EQ(reuse->code, code);
          EXPECT_EQ(reuse->val, val);
          EXPECT_EQ(reuse->dim, 7);
          EXPECT_EQ(Code(reuse), (std::vector<int>{6}));
          EXPECT_EQ(Val(reuse), (std::vector<double>{61.0}));
        };
      },
      [](VECMW* r) {
        ASSERT_EQ(r->nval, 20000);
        ASSERT_EQ(r->ncode, 20000);
        for (int k = 0; k < 20000; ++k) {
          ASSERT_EQ(r->code[k], 2 * k) << k;
          ASSERT_EQ(r->val[k], k + 0.5) << k;
        }
      });
}

TEST(VecmwBinary, MoreCodeEntriesThanTwicePerValueAreRefusedBeforeReading) {
  // Every block of a valid code holds a value in at most two code entries: a header claiming
  // more is damage, refused (code 2) from the header alone, before anything is read or
  // allocated (nothing follows it here).
  Bytes b;
  for (int v : {4, 1, 3, 0}) PutInt(b, v);
  cmat_test::PipeFeed feed(b);
  ASSERT_NE(feed.get(), nullptr);
  int st = 0;
  ErrWatch w;
  EXPECT_EQ(LM_vecmw_binput(feed.get(), nullptr, &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.last(), 2);
}
