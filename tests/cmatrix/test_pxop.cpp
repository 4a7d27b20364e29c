// Tests of the permutation algebra: sign against the cycle count, the inversion count and
// products of disjoint transpositions (up to millions of entries), inverse and composition
// against their definitions, application to vectors in and out of place (the permutation
// unchanged afterwards), refusal of entries out of range or repeated, and the row and
// column permutations of matrices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "cmat_support.h"
#include "dense_fixtures.h"
#include "matrix.h"

using namespace cmat_test;

namespace {

std::vector<unsigned> RandomPerm(std::mt19937& g, unsigned n) {
  std::vector<unsigned> p(n);
  std::iota(p.begin(), p.end(), 0u);
  std::shuffle(p.begin(), p.end(), g);
  return p;
}

// (-1)^(n - number of cycles): the sign by the cycle decomposition.
int SignByCycles(const std::vector<unsigned>& p) {
  std::vector<bool> seen(p.size());
  size_t cycles = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    if (seen[i]) continue;
    ++cycles;
    for (size_t j = i; !seen[j]; j = p[j]) seen[j] = true;
  }
  return (p.size() - cycles) % 2 == 0 ? 1 : -1;
}

// (-1)^(number of pairs i < j with p[i] > p[j]): the sign by the inversion count, counted
// with a Fenwick tree over the values seen so far.
int SignByInversions(const std::vector<unsigned>& p) {
  std::vector<uint64_t> tree(p.size() + 1, 0);
  uint64_t inversions = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    uint64_t notAbove = 0;  // earlier values <= p[i]
    for (size_t k = p[i] + 1; k > 0; k -= k & (~k + 1)) notAbove += tree[k];
    inversions += i - notAbove;
    for (size_t k = p[i] + 1; k <= p.size(); k += k & (~k + 1)) ++tree[k];
  }
  return inversions % 2 == 0 ? 1 : -1;
}

}  // namespace

TEST(PermSign, ProductsOfDisjointTranspositionsHaveSignMinusOneToTheirCount) {
  // The identity is the empty product; swapping pairs (2i, 2i+1) for i < k, or the pairs
  // (i, n-1-i) of a reversal, multiplies k disjoint transpositions: sign (-1)^k. Sizes up to
  // millions: near-sorted and reversed entries are what a partition count handles worst.
  int st = 0;
  struct Case {
    unsigned n, k;
    bool mirrored;  // pairs (i, n-1-i) instead of (2i, 2i+1)
  };
  const Case cases[] = {{1, 0, false},        {2, 1, false},        {7, 3, false},
                        {7, 3, true},         {200000, 0, false},   {200001, 1, false},
                        {200000, 99999, false}, {1000000, 500000, true}, {1000001, 499999, true},
                        {2000000, 0, false},  {2000000, 777777, false}};
  for (const Case& c : cases) {
    std::vector<unsigned> p(c.n);
    std::iota(p.begin(), p.end(), 0u);
    for (unsigned i = 0; i < c.k; ++i) {
      if (c.mirrored) {
        std::swap(p[i], p[c.n - 1 - i]);
      } else {
        std::swap(p[2 * i], p[2 * i + 1]);
      }
    }
    PermP px(NewPerm(p));
    EXPECT_EQ(_LM_px_sign(px.get(), __LINE__, "s", &st), c.k % 2 == 0 ? 1 : -1)
        << "n " << c.n << ", k " << c.k;
    EXPECT_EQ(st, 0);
    EXPECT_TRUE(std::equal(p.begin(), p.end(), px->pe)) << "n " << c.n;  // untouched
  }
}

TEST(PermSign, AgreesWithTheInversionCountOfRandomPermutations) {
  int st = 0;
  std::mt19937 g(11);
  for (unsigned n : {3u, 4u, 10u, 101u, 4096u, 100000u}) {
    for (int rep = 0; rep < 6; ++rep) {
      const std::vector<unsigned> p = RandomPerm(g, n);
      PermP px(NewPerm(p));
      EXPECT_EQ(_LM_px_sign(px.get(), __LINE__, "s", &st), SignByInversions(p)) << "n " << n;
    }
  }
}

TEST(PermSign, EntriesThatAreNotAPermutationHaveNoSign) {
  const std::vector<unsigned> bad[] = {{0, 0, 1}, {2, 1, 2, 0}, {0, 5}, {1, 0, 3}, {0x80000000u, 0}};
  for (const std::vector<unsigned>& e : bad) {
    PermP px(NewPerm(e));
    ErrWatch w;
    int st = 0;
    EXPECT_EQ(_LM_px_sign(px.get(), __LINE__, "s", &st), 0);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 2);
    EXPECT_EQ(w.routine(), "px_sign");
    EXPECT_EQ(Entries(px.get()), e);
  }
}

TEST(PermSign, SmallCasesAndCycleParity) {
  int st = 0;
  PermP id(NewPerm({0, 1, 2, 3})), swap(NewPerm({1, 0})), cyc(NewPerm({1, 2, 0}));
  EXPECT_EQ(_LM_px_sign(id.get(), __LINE__, "s", &st), 1);
  EXPECT_EQ(_LM_px_sign(swap.get(), __LINE__, "s", &st), -1);
  EXPECT_EQ(_LM_px_sign(cyc.get(), __LINE__, "s", &st), 1);
  EXPECT_EQ(Entries(cyc.get()), (std::vector<unsigned>{1, 2, 0}));  // untouched
  std::mt19937 g(1);
  for (unsigned n : {1u, 2u, 5u, 50u, 2000u}) {
    for (int rep = 0; rep < 5; ++rep) {
      const std::vector<unsigned> p = RandomPerm(g, n);
      PermP px(NewPerm(p));
      EXPECT_EQ(_LM_px_sign(px.get(), __LINE__, "s", &st), SignByCycles(p));
    }
  }
  std::vector<unsigned> big(5000);
  std::iota(big.begin(), big.end(), 0u);
  PermP sorted(NewPerm(big));
  EXPECT_EQ(_LM_px_sign(sorted.get(), __LINE__, "s", &st), 1);
  ErrWatch w;
  EXPECT_EQ(_LM_px_sign(nullptr, __LINE__, "s", &st), 0);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(w.routine(), "px_sign");
}

TEST(PermInverse, DefinitionInAndOutOfPlace) {
  int st = 0;
  PermP p(NewPerm({1, 2, 0}));
  PermP inv(_LM_px_inv(p.get(), nullptr, __LINE__, "inv", &st));
  ASSERT_NE(inv, nullptr);
  EXPECT_EQ(Entries(inv.get()), (std::vector<unsigned>{2, 0, 1}));
  std::mt19937 g(2);
  for (unsigned n : {1u, 3u, 17u, 1000u}) {
    const std::vector<unsigned> pv = RandomPerm(g, n);
    PermP px(NewPerm(pv));
    ASSERT_EQ(_LM_px_inv(px.get(), px.get(), __LINE__, "inv", &st), px.get());
    for (unsigned i = 0; i < n; ++i) EXPECT_EQ(px->pe[pv[i]], i);
  }
  ErrWatch w;
  // Out of range or repeated: refused, and an in-place call leaves px as it was.
  for (auto bad : {std::vector<unsigned>{0, 3, 1}, std::vector<unsigned>{1, 1, 0}}) {
    PermP px(NewPerm(bad));
    EXPECT_EQ(_LM_px_inv(px.get(), px.get(), __LINE__, "inv", &st), nullptr);
    EXPECT_EQ(w.last(), 2);
    EXPECT_EQ(w.routine(), "px_inv");
    EXPECT_EQ(Entries(px.get()), bad);
    EXPECT_EQ(_LM_px_inv(px.get(), nullptr, __LINE__, "inv", &st), nullptr);  // no leak
  }
  EXPECT_EQ(_LM_px_inv(nullptr, nullptr, __LINE__, "inv", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(w.routine(), "px_copy");
}

TEST(PermCompose, DefinitionAndOutputRules) {
  int st = 0;
  PermP p1(NewPerm({2, 0, 1})), p2(NewPerm({1, 2, 0}));
  PermP out(_LM_px_mlt(p1.get(), p2.get(), nullptr, __LINE__, "mlt", &st));
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(Entries(out.get()), (std::vector<unsigned>{0, 1, 2}));  // p1[p2[i]]
  PermP big(NewPerm({9, 9, 9, 9, 9}));
  ASSERT_EQ(_LM_px_mlt(p2.get(), p2.get(), big.get(), __LINE__, "mlt", &st), big.get());
  EXPECT_EQ(Entries(big.get()), (std::vector<unsigned>{2, 0, 1, 9, 9}));  // size and tail kept
  ErrWatch w;
  EXPECT_EQ(_LM_px_mlt(p1.get(), p2.get(), p1.get(), __LINE__, "mlt", &st), nullptr);
  EXPECT_EQ(w.last(), 12);
  EXPECT_EQ(w.routine(), "px_mlt");
  PermP p4(NewPerm({0, 1, 2, 3}));
  EXPECT_EQ(_LM_px_mlt(p1.get(), p4.get(), nullptr, __LINE__, "mlt", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  PermP badp(NewPerm({0, 5, 1}));
  EXPECT_EQ(_LM_px_mlt(p1.get(), badp.get(), nullptr, __LINE__, "mlt", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
}

TEST(PermVector, ApplyAndInverseApplyInAndOutOfPlace) {
  int st = 0;
  PermP px(NewPerm({2, 0, 1}));
  VecP x(NewVec({10, 20, 30}));
  VecP y(_LM_px_vec(px.get(), x.get(), nullptr, __LINE__, "pv", &st));
  ASSERT_NE(y, nullptr);
  EXPECT_EQ(Values(y.get()), (std::vector<double>{30, 10, 20}));
  ASSERT_EQ(_LM_px_vec(px.get(), x.get(), x.get(), __LINE__, "pv", &st), x.get());
  EXPECT_EQ(Values(x.get()), (std::vector<double>{30, 10, 20}));
  EXPECT_EQ(Entries(px.get()), (std::vector<unsigned>{2, 0, 1}));
  VecP back(_LM_pxinv_vec(px.get(), x.get(), nullptr, __LINE__, "piv", &st));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(Values(back.get()), (std::vector<double>{10, 20, 30}));
  ASSERT_EQ(_LM_pxinv_vec(px.get(), x.get(), x.get(), __LINE__, "piv", &st), x.get());
  EXPECT_EQ(Values(x.get()), (std::vector<double>{10, 20, 30}));
  EXPECT_EQ(Entries(px.get()), (std::vector<unsigned>{2, 0, 1}));

  std::mt19937 g(4);
  for (unsigned n : {1u, 2u, 9u, 300u}) {
    const std::vector<unsigned> pv = RandomPerm(g, n);
    PermP p(NewPerm(pv));
    std::vector<double> xs(n + 2);
    std::iota(xs.begin(), xs.end(), 100.0);  // longer than the permutation
    VecP v(NewVec(xs));
    ASSERT_EQ(_LM_px_vec(p.get(), v.get(), v.get(), __LINE__, "pv", &st), v.get());
    for (unsigned i = 0; i < n; ++i) EXPECT_EQ(v->ve[i], xs[pv[i]]);
    EXPECT_EQ(v->ve[n], xs[n]);  // beyond the permutation: untouched
    ASSERT_EQ(_LM_pxinv_vec(p.get(), v.get(), v.get(), __LINE__, "piv", &st), v.get());
    EXPECT_EQ(Values(v.get()), xs);
    EXPECT_EQ(Entries(p.get()), pv);
  }
  // An empty permutation copies.
  PermP e(_LM_px_get("t", 0, 0, __LINE__, "p", &st));
  VecP c(_LM_px_vec(e.get(), back.get(), nullptr, __LINE__, "pv", &st));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(Values(c.get()), Values(back.get()));
}

TEST(PermVector, BadPermutationsAreRefusedWithNothingChangedInPlace) {
  int st = 0;
  ErrWatch w;
  VecP x(NewVec({1, 2, 3}));
  for (auto bad : {std::vector<unsigned>{1, 1, 0}, std::vector<unsigned>{0, 7, 1}}) {
    PermP px(NewPerm(bad));
    EXPECT_EQ(_LM_px_vec(px.get(), x.get(), x.get(), __LINE__, "pv", &st), nullptr);
    EXPECT_EQ(w.last(), 2);
    EXPECT_EQ(Values(x.get()), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(Entries(px.get()), bad);
    EXPECT_EQ(_LM_pxinv_vec(px.get(), x.get(), x.get(), __LINE__, "piv", &st), nullptr);
    EXPECT_EQ(Values(x.get()), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(Entries(px.get()), bad);
  }
  PermP out(NewPerm({0, 7, 1}));
  EXPECT_EQ(_LM_px_vec(out.get(), x.get(), nullptr, __LINE__, "pv", &st), nullptr);  // no leak
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(_LM_pxinv_vec(out.get(), x.get(), nullptr, __LINE__, "piv", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(w.routine(), "pxinv_vec");
  PermP p4(NewPerm({0, 1, 2, 3}));
  EXPECT_EQ(_LM_px_vec(p4.get(), x.get(), nullptr, __LINE__, "pv", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "px_vec");
  EXPECT_EQ(_LM_px_vec(nullptr, x.get(), nullptr, __LINE__, "pv", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
}

TEST(PermTransp, ExchangesOnlyWithinTheSize) {
  int st = 0;
  PermP p(NewPerm({0, 1, 2}));
  ASSERT_EQ(_LM_px_transp(p.get(), 0, 2, __LINE__, "t", &st), p.get());
  EXPECT_EQ(Entries(p.get()), (std::vector<unsigned>{2, 1, 0}));
  ErrWatch w;
  ASSERT_EQ(_LM_px_transp(p.get(), 1, 3, __LINE__, "t", &st), p.get());
  EXPECT_EQ(st, 0);
  EXPECT_EQ(w.count(), 0);
  EXPECT_EQ(Entries(p.get()), (std::vector<unsigned>{2, 1, 0}));
  EXPECT_EQ(_LM_px_transp(nullptr, 0, 0, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
}

TEST(PermMatrix, ColumnsAndRows) {
  int st = 0;
  MatP A(NewMat({{1, 2, 3}, {4, 5, 6}}));
  PermP pc(NewPerm({2, 0, 1}));
  MatP C(_LM_px_cols(pc.get(), A.get(), nullptr, __LINE__, "pc", &st));
  ASSERT_NE(C, nullptr);
  // Column i of A becomes column pc[i]: column 0 -> 2, 1 -> 0, 2 -> 1.
  EXPECT_EQ(Rows(C.get()), (std::vector<double>{2, 3, 1, 5, 6, 4}));
  PermP pr(NewPerm({1, 0}));
  MatP R(_LM_px_rows(pr.get(), A.get(), nullptr, __LINE__, "pr", &st));
  ASSERT_NE(R, nullptr);
  EXPECT_EQ(Rows(R.get()), (std::vector<double>{4, 5, 6, 1, 2, 3}));
  // A given output of the right shape is filled; one of another shape is left alone.
  ASSERT_EQ(_LM_px_rows(pr.get(), A.get(), C.get(), __LINE__, "pr", &st), C.get());
  EXPECT_EQ(Rows(C.get()), (std::vector<double>{4, 5, 6, 1, 2, 3}));
  MatP other(NewMat({{7}}));
  MatP fresh(_LM_px_cols(pc.get(), A.get(), other.get(), __LINE__, "pc", &st));
  ASSERT_NE(fresh, nullptr);
  EXPECT_NE(fresh.get(), other.get());
  EXPECT_EQ(Rows(fresh.get()), (std::vector<double>{2, 3, 1, 5, 6, 4}));
  EXPECT_EQ(Rows(other.get()), std::vector<double>{7});

  ErrWatch w;
  EXPECT_EQ(_LM_px_cols(pc.get(), A.get(), A.get(), __LINE__, "pc", &st), nullptr);
  EXPECT_EQ(w.last(), 12);
  EXPECT_EQ(w.routine(), "px_cols");
  EXPECT_EQ(_LM_px_rows(pc.get(), A.get(), nullptr, __LINE__, "pr", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "px_rows");
  PermP badc(NewPerm({0, 3, 1}));
  EXPECT_EQ(_LM_px_cols(badc.get(), A.get(), nullptr, __LINE__, "pc", &st), nullptr);  // no leak
  EXPECT_EQ(w.last(), 2);
  PermP badr(NewPerm({2, 0}));
  EXPECT_EQ(_LM_px_rows(badr.get(), A.get(), nullptr, __LINE__, "pr", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(_LM_px_rows(nullptr, A.get(), nullptr, __LINE__, "pr", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
}

// An entry out of range that comes after good ones: the output the caller handed in keeps
// its size and values (every entry is checked before anything is sized or written), and a
// refused inverse leaves out as it was too.
TEST(PermOutputs, ARefusedPermutationLeavesTheGivenOutputAsItWas) {
  int st = 0;
  ErrWatch w;
  PermP bad(NewPerm({1, 0, 5}));  // the third entry is out of range
  // Composition into an out larger, and into one smaller, than the permutations.
  PermP p(NewPerm({2, 1, 0}));
  PermP big(NewPerm({7, 7, 7, 7})), small(NewPerm({7}));
  EXPECT_EQ(_LM_px_mlt(p.get(), bad.get(), big.get(), __LINE__, "mlt", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(Entries(big.get()), (std::vector<unsigned>{7, 7, 7, 7}));
  EXPECT_EQ(_LM_px_mlt(p.get(), bad.get(), small.get(), __LINE__, "mlt", &st), nullptr);
  EXPECT_EQ(Entries(small.get()), std::vector<unsigned>{7});
  // Inverse into a given out: a repeated entry is refused before the copy.
  PermP rep(NewPerm({1, 1, 0})), inv(NewPerm({5, 6, 4}));
  EXPECT_EQ(_LM_px_inv(rep.get(), inv.get(), __LINE__, "inv", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(Entries(inv.get()), (std::vector<unsigned>{5, 6, 4}));
  // Vectors, both directions, into a given out and one that would have to grow.
  VecP x(NewVec({1, 2, 3}));
  VecP out(NewVec({9, 9, 9})), shortOut(NewVec({9}));
  for (auto fn : {_LM_px_vec, _LM_pxinv_vec}) {
    EXPECT_EQ(fn(bad.get(), x.get(), out.get(), __LINE__, "pv", &st), nullptr);
    EXPECT_EQ(w.last(), 2);
    EXPECT_EQ(Values(out.get()), (std::vector<double>{9, 9, 9}));
    EXPECT_EQ(fn(bad.get(), x.get(), shortOut.get(), __LINE__, "pv", &st), nullptr);
    EXPECT_EQ(Values(shortOut.get()), std::vector<double>{9});
  }
  // Rows and columns into a given out of the right shape.
  MatP A(NewMat({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}));
  MatP M(NewMat({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}));
  for (auto fn : {_LM_px_cols, _LM_px_rows}) {
    EXPECT_EQ(fn(bad.get(), A.get(), M.get(), __LINE__, "pm", &st), nullptr);
    EXPECT_EQ(w.last(), 2);
    EXPECT_EQ(Rows(M.get()), std::vector<double>(9, 0.0));
  }
}

// Maps that are no permutation: a repeated entry in range, and an entry out of range. A
// gather with a repeated entry makes no rearrangement of its input, and a scatter leaves
// places of its output unwritten, so every form refuses both (code 2, under its own name)
// with the output handed in, and the map itself, as they were; a NULL output leaves
// nothing behind (the leak check at exit).
namespace {

const std::vector<unsigned> kNotPermutations[] = {{1, 1, 2}, {0, 2, 2}, {2, 0, 0}, {0, 5, 1}};

}  // namespace

TEST(PermOutputs, MapsThatAreNoPermutationAreRefusedByTheVectorForms) {
  struct Form {
    VEC* (*fn)(PERM*, VEC*, VEC*, int, const char*, int*);
    const char* routine;
  };
  const Form forms[] = {{_LM_px_vec, "px_vec"}, {_LM_pxinv_vec, "pxinv_vec"}};
  for (const std::vector<unsigned>& e : kNotPermutations) {
    for (const Form& f : forms) {
      PermP px(NewPerm(e));
      VecP x(NewVec({1, 2, 3, 4}));
      // Of x's dim, of px's size (the output would grow), and of another dim.
      VecP same(NewVec({9, 9, 9, 9})), grows(NewVec({9, 9, 9})), other(NewVec({9, 9, 9, 9, 9}));
      for (VEC* out : {same.get(), grows.get(), other.get(), static_cast<VEC*>(nullptr)}) {
        const std::vector<double> before = out != nullptr ? Values(out) : std::vector<double>{};
        ErrWatch w;
        int st = 0;
        EXPECT_EQ(f.fn(px.get(), x.get(), out, __LINE__, "pv", &st), nullptr)
            << f.routine << " on " << e[0] << e[1] << e[2];
        EXPECT_EQ(st, -1);
        EXPECT_EQ(w.last(), 2);
        EXPECT_EQ(w.routine(), f.routine);
        if (out != nullptr) {
          EXPECT_EQ(Values(out), before) << f.routine;
        }
        EXPECT_EQ(Entries(px.get()), e);
        EXPECT_EQ(Values(x.get()), (std::vector<double>{1, 2, 3, 4}));
      }
    }
  }
}

TEST(PermOutputs, MapsThatAreNoPermutationAreRefusedByTheMatrixForms) {
  struct Form {
    MAT* (*fn)(PERM*, MAT*, MAT*, int, const char*, int*);
    const char* routine;
  };
  const Form forms[] = {{_LM_px_cols, "px_cols"}, {_LM_px_rows, "px_rows"}};
  const std::vector<double> a = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  for (const std::vector<unsigned>& e : kNotPermutations) {
    for (const Form& f : forms) {
      PermP px(NewPerm(e));
      MatP A(NewMat(3, 3, a));
      MatP given(NewMat(3, 3, std::vector<double>(9, 7.0)));
      for (MAT* out : {given.get(), static_cast<MAT*>(nullptr)}) {
        ErrWatch w;
        int st = 0;
        EXPECT_EQ(f.fn(px.get(), A.get(), out, __LINE__, "pm", &st), nullptr)
            << f.routine << " on " << e[0] << e[1] << e[2];
        EXPECT_EQ(st, -1);
        EXPECT_EQ(w.last(), 2);
        EXPECT_EQ(w.routine(), f.routine);
        EXPECT_EQ(Rows(given.get()), std::vector<double>(9, 7.0)) << f.routine;
        EXPECT_EQ(Entries(px.get()), e);
        EXPECT_EQ(Rows(A.get()), a);
      }
    }
  }
}

TEST(PermOutputs, ACompositionWithAMapThatIsNoPermutationIsRefused) {
  const std::vector<unsigned> good = {2, 0, 1};
  for (const std::vector<unsigned>& e : kNotPermutations) {
    for (bool badFirst : {true, false}) {
      // A bad p1 is refused as well: its entries would pass into out unchecked.
      PermP p1(NewPerm(badFirst ? e : good)), p2(NewPerm(badFirst ? good : e));
      PermP same(NewPerm({2, 1, 0})), larger(NewPerm({7, 7, 7, 7})), smaller(NewPerm({7}));
      for (PERM* out : {same.get(), larger.get(), smaller.get(), static_cast<PERM*>(nullptr)}) {
        const std::vector<unsigned> before = out != nullptr ? Entries(out) : std::vector<unsigned>{};
        ErrWatch w;
        int st = 0;
        EXPECT_EQ(_LM_px_mlt(p1.get(), p2.get(), out, __LINE__, "mlt", &st), nullptr)
            << (badFirst ? "p1 " : "p2 ") << e[0] << e[1] << e[2];
        EXPECT_EQ(st, -1);
        EXPECT_EQ(w.last(), 2);
        EXPECT_EQ(w.routine(), "px_mlt");
        if (out != nullptr) {
          EXPECT_EQ(Entries(out), before);
        }
        EXPECT_EQ(Entries(p1.get()), badFirst ? e : good);
        EXPECT_EQ(Entries(p2.get()), badFirst ? good : e);
      }
    }
  }
  // One record as both factors is checked without harm to it: p o p.
  PermP p(NewPerm({1, 2, 0}));
  int st = 0;
  PermP sq(_LM_px_mlt(p.get(), p.get(), nullptr, __LINE__, "mlt", &st));
  ASSERT_NE(sq, nullptr);
  EXPECT_EQ(Entries(sq.get()), (std::vector<unsigned>{2, 0, 1}));
  EXPECT_EQ(Entries(p.get()), (std::vector<unsigned>{1, 2, 0}));
}

// The check of a true permutation marks its entries for its time; every form that applies a
// permutation out of place leaves it exactly as it was, large sizes included.
TEST(PermOutputs, TheCheckLeavesATruePermutationAsItWas) {
  std::mt19937 g(21);
  for (unsigned n : {1u, 2u, 33u, 5000u}) {
    const std::vector<unsigned> pv = RandomPerm(g, n);
    const std::vector<unsigned> qv = RandomPerm(g, n);
    PermP p(NewPerm(pv)), q(NewPerm(qv));
    std::vector<double> xs(n);
    std::iota(xs.begin(), xs.end(), 1.0);
    VecP x(NewVec(xs));
    int st = 0;
    VecP y(_LM_px_vec(p.get(), x.get(), nullptr, __LINE__, "pv", &st));
    ASSERT_NE(y, nullptr);
    for (unsigned i = 0; i < n; ++i) EXPECT_EQ(y->ve[i], xs[pv[i]]);
    VecP z(_LM_pxinv_vec(p.get(), y.get(), nullptr, __LINE__, "piv", &st));
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(Values(z.get()), xs);
    PermP pq(_LM_px_mlt(p.get(), q.get(), nullptr, __LINE__, "mlt", &st));
    ASSERT_NE(pq, nullptr);
    for (unsigned i = 0; i < n; ++i) EXPECT_EQ(pq->pe[i], pv[qv[i]]);
    MatP A(NewMat(1, static_cast<int>(n), xs)), B(NewMat(static_cast<int>(n), 1, xs));
    MatP C(_LM_px_cols(p.get(), A.get(), nullptr, __LINE__, "pc", &st));
    ASSERT_NE(C, nullptr);
    for (unsigned i = 0; i < n; ++i) EXPECT_EQ(C->me[0][pv[i]], xs[i]);
    MatP R(_LM_px_rows(p.get(), B.get(), nullptr, __LINE__, "pr", &st));
    ASSERT_NE(R, nullptr);
    for (unsigned i = 0; i < n; ++i) EXPECT_EQ(R->me[i][0], xs[pv[i]]);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(Entries(p.get()), pv) << "n " << n;
    EXPECT_EQ(Entries(q.get()), qv) << "n " << n;
  }
}

// The solves with LU factors apply their pivot as a permutation: a pivot that repeats an
// entry is refused (code 2), out of place too, instead of solving a system the factors do
// not describe; an x of b's dim keeps its values.
TEST(PermUsers, ASolveWithAPivotThatRepeatsAnEntryIsRefused) {
  using SolveFn = VEC* (*)(MAT*, PERM*, VEC*, VEC*, int, const char*, int*);
  MatP I(NewMat({{1, 0}, {0, 1}}));
  for (SolveFn fn : {static_cast<SolveFn>(_LM_LUsolve), static_cast<SolveFn>(_LM_LUTsolve)}) {
    for (const std::vector<unsigned>& e : {std::vector<unsigned>{0, 0}, std::vector<unsigned>{1, 1}}) {
      PermP pivot(NewPerm(e));
      VecP b(NewVec({3, 4})), x(NewVec({5, 5}));
      ErrWatch w;
      int st = 0;
      EXPECT_EQ(fn(I.get(), pivot.get(), b.get(), x.get(), __LINE__, "s", &st), nullptr);
      EXPECT_EQ(st, -1);
      EXPECT_EQ(w.last(), 2);
      EXPECT_EQ(Values(x.get()), (std::vector<double>{5, 5}));
      EXPECT_EQ(Values(b.get()), (std::vector<double>{3, 4}));
      EXPECT_EQ(Entries(pivot.get()), e);
      EXPECT_EQ(fn(I.get(), pivot.get(), b.get(), nullptr, __LINE__, "s", &st), nullptr);  // no leak
      EXPECT_EQ(w.last(), 2);
    }
  }
}
