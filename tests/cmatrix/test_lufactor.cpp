// Tests of the LU factorisation and what stands on it: P*A = L*U rebuilt from the factors,
// the pivot choice (ties, zero columns), solves and transposed solves by their residuals,
// the inverse against the closed-form inverse of a Hilbert matrix, the condition estimate
// on exact cases, the errors, and the kept work records freed through the registry.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "cmat_support.h"
#include "dense_fixtures.h"
#include "matrix.h"

using namespace cmat_test;

namespace {

const double kEps = std::numeric_limits<double>::epsilon();

// The bits of every entry, so that NaN entries compare too.
std::vector<uint64_t> Bits(const MAT* A) {
  std::vector<uint64_t> out;
  for (unsigned i = 0; i < A->m; ++i)
    for (unsigned j = 0; j < A->n; ++j) {
      uint64_t b = 0;
      std::memcpy(&b, &A->me[i][j], sizeof b);
      out.push_back(b);
    }
  return out;
}

MAT* Copy(MAT* A) {
  int st = 0;
  return _LM__m_copy(A, nullptr, 0, 0, __LINE__, "Copy", &st);
}

PERM* Pivot(unsigned m) {
  int st = 0;
  return _LM_px_get("t", 0, static_cast<int>(m), __LINE__, "Pivot", &st);
}

// Row i of P*A is row pivot[i] of A. Every one of the min(m, n) columns is eliminated, so
// row i holds multipliers in its first r = min(i, min(m, n)) places and U's values from r on
// (a row below the last diagonal position of a tall matrix holds multipliers only);
// multiplying back must give the permuted matrix.
void ExpectFactors(const MAT* A, const MAT* LU, const PERM* pivot) {
  const unsigned m = A->m, n = A->n, steps = m < n ? m : n;
  for (unsigned i = 0; i < m; ++i) {
    const unsigned r = i < steps ? i : steps;
    for (unsigned j = 0; j < n; ++j) {
      double s = j >= r ? LU->me[i][j] : 0.0, bound = std::fabs(s);
      for (unsigned l = 0; l < r && l <= j; ++l) {
        s += LU->me[i][l] * LU->me[l][j];
        bound += std::fabs(LU->me[i][l] * LU->me[l][j]);
      }
      EXPECT_NEAR(s, A->me[pivot->pe[i]][j], 4 * (steps + 2) * kEps * (bound + 1)) << i << "," << j;
    }
  }
}

// |A*x - b| within the backward-error bound of a stable solve.
void ExpectSolves(const MAT* A, const VEC* x, const VEC* b, bool transposed) {
  const unsigned n = A->m;
  double normA = 0, normX = 0;
  for (unsigned i = 0; i < n; ++i) {
    double row = 0;
    for (unsigned j = 0; j < n; ++j) row += std::fabs(A->me[i][j]);
    normA = std::max(normA, row);
    normX = std::max(normX, std::fabs(x->ve[i]));
  }
  for (unsigned i = 0; i < n; ++i) {
    double r = -b->ve[i];
    for (unsigned j = 0; j < n; ++j) r += (transposed ? A->me[j][i] : A->me[i][j]) * x->ve[j];
    EXPECT_NEAR(r, 0.0, 64 * n * kEps * (normA * normX + std::fabs(b->ve[i])));
  }
}

}  // namespace

TEST(LUFactor, RebuildsTheRowPermutedMatrix) {
  std::mt19937 g(31);
  int st = 0;
  const unsigned shapes[][2] = {{1, 1}, {2, 2}, {3, 3}, {8, 8}, {50, 50}, {6, 4}, {9, 2}, {5, 1},
                                {4, 6}, {2, 9}, {1, 5}};
  for (const auto& s : shapes) {
    MatP A(RandMat(g, s[0], s[1]));
    MatP LU(Copy(A.get()));
    PermP p(Pivot(s[0]));
    ASSERT_EQ(_LM_LUfactor(LU.get(), p.get(), __LINE__, "lu", &st), LU.get());
    EXPECT_EQ(st, 0);
    ExpectFactors(A.get(), LU.get(), p.get());
    // The pivot is a permutation.
    std::vector<unsigned> e = Entries(p.get());
    std::sort(e.begin(), e.end());
    for (unsigned i = 0; i < s[0]; ++i) EXPECT_EQ(e[i], i);
  }
}

TEST(LUFactor, PivotChoice) {
  int st = 0;
  {  // [[0, 1], [1, 0]] exchanges the rows
    MatP A(NewMat({{0, 1}, {1, 0}}));
    PermP p(Pivot(2));
    ASSERT_EQ(_LM_LUfactor(A.get(), p.get(), __LINE__, "lu", &st), A.get());
    EXPECT_EQ(Entries(p.get()), (std::vector<unsigned>{1, 0}));
    EXPECT_EQ(Rows(A.get()), (std::vector<double>{1, 0, 0, 1}));
  }
  {  // equal scaled candidates: the upper row wins, so no exchange at row k itself
    MatP A(NewMat({{2, 1}, {4, 1}}));  // |2|/2 = |4|/4
    PermP p(Pivot(2));
    ASSERT_EQ(_LM_LUfactor(A.get(), p.get(), __LINE__, "lu", &st), A.get());
    EXPECT_EQ(Entries(p.get()), (std::vector<unsigned>{0, 1}));
    EXPECT_EQ(Rows(A.get()), (std::vector<double>{2, 1, 2, -1}));
  }
  {  // a tie below row k: the first of the tied rows is taken
    MatP A(NewMat({{0, 1, 0}, {3, 0, 1}, {3, 1, 0}}));
    PermP p(Pivot(3));
    ASSERT_EQ(_LM_LUfactor(A.get(), p.get(), __LINE__, "lu", &st), A.get());
    EXPECT_EQ(p->pe[0], 1u);
  }
  {  // scaled, not plain, partial pivoting: |1|/1 beats |10|/1000
    MatP A(NewMat({{10, 1000}, {1, 1}}));
    PermP p(Pivot(2));
    ASSERT_EQ(_LM_LUfactor(A.get(), p.get(), __LINE__, "lu", &st), A.get());
    EXPECT_EQ(Entries(p.get()), (std::vector<unsigned>{1, 0}));
  }
  // No elimination for a 1 x 1 matrix or one row (no row below a diagonal position): the
  // pivot stays the identity and the values stay.
  for (auto shape : {std::vector<unsigned>{1, 1}, {1, 4}}) {
    MatP A(_LM_m_get("t", 0, shape[0], shape[1], __LINE__, "get", &st));
    for (unsigned i = 0; i < shape[0]; ++i)
      for (unsigned j = 0; j < shape[1]; ++j) A->me[i][j] = 1.0 + i + 2.0 * j;
    const std::vector<double> before = Rows(A.get());
    PermP p(Pivot(shape[0]));
    ASSERT_EQ(_LM_LUfactor(A.get(), p.get(), __LINE__, "lu", &st), A.get());
    EXPECT_EQ(Rows(A.get()), before);
    for (unsigned i = 0; i < shape[0]; ++i) EXPECT_EQ(p->pe[i], i);
  }
}

// A matrix with more rows than columns has its last column eliminated too, so that
// P*A = L*U holds (factored by hand).
TEST(LUFactor, TallMatricesEliminateTheirLastColumn) {
  int st = 0;
  {
    // [[1, 2], [3, 4], [5, 7]], scales (2, 4, 7). Column 0: |1|/2, |3|/4, |5|/7: row 1 wins
    // and goes up, leaving multipliers 1/3 and 5/3 and the reduced values 2 - 4/3 = 2/3 and
    // 7 - 20/3 = 1/3. Column 1: |2/3|/4 beats |1/3|/7, no exchange; the multiplier of the
    // last row is (1/3) / (2/3) = 1/2.
    MatP A(NewMat({{1, 2}, {3, 4}, {5, 7}}));
    PermP p(Pivot(3));
    ASSERT_EQ(_LM_LUfactor(A.get(), p.get(), __LINE__, "lu", &st), A.get());
    EXPECT_EQ(st, 0);
    EXPECT_EQ(Entries(p.get()), (std::vector<unsigned>{1, 0, 2}));
    const double want[3][2] = {{3, 4}, {1.0 / 3, 2.0 / 3}, {5.0 / 3, 0.5}};
    for (unsigned i = 0; i < 3; ++i)
      for (unsigned j = 0; j < 2; ++j) EXPECT_NEAR(A->me[i][j], want[i][j], 8 * kEps) << i << "," << j;
  }
  {
    // One column: every row below the first becomes a multiplier. All scaled candidates
    // are 1, so the first row stays the pivot: (2, 4, -8, 1) gives (2, 2, -4, 0.5).
    MatP A(NewMat({{2}, {4}, {-8}, {1}}));
    PermP p(Pivot(4));
    ASSERT_EQ(_LM_LUfactor(A.get(), p.get(), __LINE__, "lu", &st), A.get());
    EXPECT_EQ(Entries(p.get()), (std::vector<unsigned>{0, 1, 2, 3}));
    EXPECT_EQ(Rows(A.get()), (std::vector<double>{2, 2, -4, 0.5}));
  }
}

TEST(LUFactor, SingularMatricesFactorAndFailOnlyInTheSolve) {
  int st = 0;
  MatP A(NewMat({{0, 1}, {0, 2}}));  // zero column
  PermP p(Pivot(2));
  ASSERT_EQ(_LM_LUfactor(A.get(), p.get(), __LINE__, "lu", &st), A.get());
  EXPECT_EQ(st, 0);
  ErrWatch w;
  VecP b(NewVec({1, 1}));
  EXPECT_EQ(_LM_LUsolve(A.get(), p.get(), b.get(), nullptr, __LINE__, "solve", &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.last(), 4);
  EXPECT_EQ(w.routine(), "Usolve");
  // b = 0 gives x = 0 without an error, the zero pivot never divided by.
  VecP zero(NewVec({0, 0}));
  VecP x(_LM_LUsolve(A.get(), p.get(), zero.get(), nullptr, __LINE__, "solve", &st));
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(Values(x.get()), (std::vector<double>{0, 0}));
}

// Solves with the factors of a singular matrix that fail on the zero pivot after the
// permutation and the forward substitution could be done: x keeps its values and size,
// and so does b when it is x.
// Factors beyond the range of double are never handed out with status 0: 1e308 [[1, 1],
// [-1, 1]] (condition 1) has U = [[1e308, 1e308], [0, 2e308]], and the second case
// overflows at its second step, after the first has changed A. Both are refused (code 7)
// with A and pivot as they were, and so are a NaN and an infinity.
TEST(LUFactor, FactorsBeyondTheRangeOfDoubleAreRefusedUnchanged) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* what;
    int m;
    std::vector<double> rows;
  } cases[] = {
      {"U overflows", 2, {1e308, 1e308, -1e308, 1e308}},
      {"U overflows at the second step", 3, {2, 1, 0, 1, 1e308, 1e308, 0, -1e308, 1e308}},
      {"NaN", 2, {1, nan, 2, 3}},
      {"infinity", 2, {1, 2, -HUGE_VAL, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MatP A(NewMat(c.m, c.m, c.rows));
    std::vector<unsigned> order(c.m);
    for (int i = 0; i < c.m; ++i) order[i] = static_cast<unsigned>(c.m - 1 - i);
    PermP p(Pivot(c.m));
    for (int i = 0; i < c.m; ++i) p->pe[i] = order[i];
    const std::vector<uint64_t> before = Bits(A.get());
    ErrWatch w;
    int st = 0;
    EXPECT_EQ(_LM_LUfactor(A.get(), p.get(), __LINE__, "lu", &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 7);
    EXPECT_EQ(Bits(A.get()), before);
    EXPECT_EQ(std::vector<unsigned>(p->pe, p->pe + c.m), order);
  }
  // The largest entries whose factors fit are factored: U = [[1e308, 1e308], [0, 0.5e308]].
  MatP F(NewMat({{1e308, 1e308}, {-0.5e308, -0.25e308}}));
  PermP pf(Pivot(2));
  int st = 0;
  ASSERT_EQ(_LM_LUfactor(F.get(), pf.get(), __LINE__, "lu", &st), F.get());
  EXPECT_EQ(st, 0);
  EXPECT_EQ(F->me[1][0], -0.5);
  EXPECT_EQ(F->me[1][1], 0.25e308);
}

TEST(LUSolve, ASingularFactorLeavesXAsItWas) {
  int st = 0;
  ErrWatch w;
  MatP A(NewMat({{1, 2, 3}, {2, 4, 6}, {1, 0, 1}}));  // row 1 = 2 * row 0
  PermP p(Pivot(3));
  ASSERT_EQ(_LM_LUfactor(A.get(), p.get(), __LINE__, "lu", &st), A.get());
  bool zero = false;
  for (unsigned i = 0; i < 3; ++i) zero = zero || A->me[i][i] == 0.0;
  ASSERT_TRUE(zero);
  using SolveFn = VEC* (*)(MAT*, PERM*, VEC*, VEC*, int, const char*, int*);
  for (SolveFn fn : {static_cast<SolveFn>(_LM_LUsolve), static_cast<SolveFn>(_LM_LUTsolve)}) {
    VecP b(NewVec({1, 1, 1}));
    VecP x(NewVec({5, 5, 5, 5}));
    VecP shortX(NewVec({5}));
    EXPECT_EQ(fn(A.get(), p.get(), b.get(), x.get(), __LINE__, "s", &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 4);
    EXPECT_EQ(Values(x.get()), (std::vector<double>{5, 5, 5, 5}));
    EXPECT_EQ(fn(A.get(), p.get(), b.get(), shortX.get(), __LINE__, "s", &st), nullptr);
    EXPECT_EQ(Values(shortX.get()), std::vector<double>{5});
    EXPECT_EQ(fn(A.get(), p.get(), b.get(), b.get(), __LINE__, "s", &st), nullptr);
    EXPECT_EQ(Values(b.get()), (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(fn(A.get(), p.get(), b.get(), nullptr, __LINE__, "s", &st), nullptr);  // no leak
  }
  // A pivot that is no permutation is refused in place with b unchanged.
  MatP I(NewMat({{1, 0}, {0, 1}}));
  PermP twice(NewPerm({0, 0}));
  VecP c(NewVec({3, 4}));
  EXPECT_EQ(_LM_LUTsolve(I.get(), twice.get(), c.get(), c.get(), __LINE__, "s", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(Values(c.get()), (std::vector<double>{3, 4}));
  EXPECT_EQ(_LM_LUsolve(I.get(), twice.get(), c.get(), c.get(), __LINE__, "s", &st), nullptr);
  EXPECT_EQ(Values(c.get()), (std::vector<double>{3, 4}));
}

// A pivot with a repeated entry, every entry in range, is refused (code 2) by both solves
// before a given x of another dim is sized: x keeps its dim and values, whether it is longer
// or shorter than b.
TEST(LUSolve, APivotThatIsNoPermutationLeavesAGivenXAsItWas) {
  int st = 0;
  MatP I(NewMat({{1, 0}, {0, 1}}));
  PermP twice(NewPerm({0, 0}));
  VecP b(NewVec({1, 2}));
  using SolveFn = VEC* (*)(MAT*, PERM*, VEC*, VEC*, int, const char*, int*);
  for (SolveFn fn : {static_cast<SolveFn>(_LM_LUsolve), static_cast<SolveFn>(_LM_LUTsolve)}) {
    for (const std::vector<double>& given : {std::vector<double>{9, 9, 9}, std::vector<double>{9}}) {
      VecP x(NewVec(given));
      ErrWatch w;
      EXPECT_EQ(fn(I.get(), twice.get(), b.get(), x.get(), __LINE__, "s", &st), nullptr);
      EXPECT_EQ(w.last(), 2);
      EXPECT_EQ(st, -1);
      EXPECT_EQ(Values(x.get()), given);
    }
  }
  EXPECT_EQ(Values(b.get()), (std::vector<double>{1, 2}));
}

TEST(LUSolve, SolvesAndTransposedSolves) {
  std::mt19937 g(77);
  int st = 0;
  for (unsigned n : {1u, 2u, 3u, 10u, 60u}) {
    MatP A(RandMat(g, n, n));
    for (unsigned i = 0; i < n; ++i) A->me[i][i] += 0.5;  // comfortably regular
    MatP LU(Copy(A.get()));
    PermP p(Pivot(n));
    ASSERT_NE(_LM_LUfactor(LU.get(), p.get(), __LINE__, "lu", &st), nullptr);
    VecP b(RandVec(g, n));
    VecP x(_LM_LUsolve(LU.get(), p.get(), b.get(), nullptr, __LINE__, "solve", &st));
    ASSERT_NE(x, nullptr);
    ExpectSolves(A.get(), x.get(), b.get(), false);
    VecP xt(_LM_LUTsolve(LU.get(), p.get(), b.get(), nullptr, __LINE__, "tsolve", &st));
    ASSERT_NE(xt, nullptr);
    ExpectSolves(A.get(), xt.get(), b.get(), true);
    // In place: x may be b.
    VecP bb(_LM__v_copy(b.get(), nullptr, 0, __LINE__, "c", &st));
    ASSERT_EQ(_LM_LUsolve(LU.get(), p.get(), bb.get(), bb.get(), __LINE__, "solve", &st), bb.get());
    EXPECT_EQ(Values(bb.get()), Values(x.get()));
    ASSERT_EQ(_LM__v_copy(b.get(), bb.get(), 0, __LINE__, "c", &st), bb.get());
    ASSERT_EQ(_LM_LUTsolve(LU.get(), p.get(), bb.get(), bb.get(), __LINE__, "tsolve", &st), bb.get());
    EXPECT_EQ(Values(bb.get()), Values(xt.get()));
  }
  // For a non-symmetric matrix the two solves differ.
  MatP A(NewMat({{2, 1}, {0, 1}}));
  MatP LU(Copy(A.get()));
  PermP p(Pivot(2));
  ASSERT_NE(_LM_LUfactor(LU.get(), p.get(), __LINE__, "lu", &st), nullptr);
  VecP b(NewVec({3, 1}));
  VecP x(_LM_LUsolve(LU.get(), p.get(), b.get(), nullptr, __LINE__, "solve", &st));
  VecP xt(_LM_LUTsolve(LU.get(), p.get(), b.get(), nullptr, __LINE__, "tsolve", &st));
  ASSERT_NE(x, nullptr);
  ASSERT_NE(xt, nullptr);
  EXPECT_EQ(Values(x.get()), (std::vector<double>{1, 1}));     // 2x + y = 3, y = 1
  EXPECT_EQ(Values(xt.get()), (std::vector<double>{1.5, -0.5}));  // 2x = 3, x + y = 1
}

TEST(LUSolve, Errors) {
  int st = 0;
  MatP A(NewMat({{1, 2}, {3, 4}}));
  PermP p(Pivot(2)), p3(Pivot(3));
  VecP b2(NewVec({1, 1})), b3(NewVec({1, 1, 1}));
  MatP R(NewMat({{1, 2, 3}, {4, 5, 6}}));
  ErrWatch w;
  EXPECT_EQ(_LM_LUfactor(A.get(), p3.get(), __LINE__, "lu", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "_LM_LUfactor");
  EXPECT_EQ(_LM_LUfactor(nullptr, p.get(), __LINE__, "lu", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(_LM_LUsolve(A.get(), p.get(), b3.get(), nullptr, __LINE__, "s", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "_LM_LUsolve");
  EXPECT_EQ(_LM_LUsolve(R.get(), p.get(), b3.get(), nullptr, __LINE__, "s", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  // A pivot that does not match the factors would leave part of b unpermuted: refused.
  EXPECT_EQ(_LM_LUsolve(A.get(), p3.get(), b2.get(), nullptr, __LINE__, "s", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(_LM_LUTsolve(A.get(), nullptr, b2.get(), nullptr, __LINE__, "s", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(w.routine(), "LUTsolve");
  EXPECT_EQ(_LM_LUTsolve(A.get(), p3.get(), b2.get(), nullptr, __LINE__, "s", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
}

TEST(MInverse, HilbertMatrixAgainstItsClosedFormInverse) {
  int st = 0;
  MatP H(_LM_m_get("t", 0, 4, 4, __LINE__, "get", &st));
  for (unsigned i = 0; i < 4; ++i)
    for (unsigned j = 0; j < 4; ++j) H->me[i][j] = 1.0 / (i + j + 1);
  const double want[4][4] = {{16, -120, 240, -140},
                             {-120, 1200, -2700, 1680},
                             {240, -2700, 6480, -4200},
                             {-140, 1680, -4200, 2800}};
  MatP inv(_LM_m_inverse(H.get(), nullptr, __LINE__, "inv", &st));
  ASSERT_NE(inv, nullptr);
  EXPECT_EQ(st, 0);
  // The condition number of H4 is about 2.8e4: relative accuracy of that many ulps.
  for (unsigned i = 0; i < 4; ++i)
    for (unsigned j = 0; j < 4; ++j) EXPECT_NEAR(inv->me[i][j], want[i][j], 1e-9 * 6480);
  // H itself is untouched.
  EXPECT_EQ(H->me[3][3], 1.0 / 7);
}

TEST(MInverse, OutputSizingAndErrors) {
  int st = 0;
  MatP A(NewMat({{4, 7}, {2, 6}}));  // inverse (1/10) [[6, -7], [-2, 4]]
  MatP big(_LM_m_get("t", 0, 4, 4, __LINE__, "get", &st));
  ASSERT_EQ(_LM_m_ones(big.get(), __LINE__, "ones", &st), big.get());
  ASSERT_EQ(_LM_m_inverse(A.get(), big.get(), __LINE__, "inv", &st), big.get());
  EXPECT_EQ(big->m, 4u);
  const double want[2][2] = {{0.6, -0.7}, {-0.2, 0.4}};
  for (unsigned i = 0; i < 4; ++i)
    for (unsigned j = 0; j < 4; ++j) {
      if (i < 2 && j < 2)
        EXPECT_NEAR(big->me[i][j], want[i][j], 8 * kEps);
      else
        EXPECT_EQ(big->me[i][j], 1.0) << i << "," << j;  // outside the leading block
    }
  MatP small(NewMat({{9}}));
  ASSERT_EQ(_LM_m_inverse(A.get(), small.get(), __LINE__, "inv", &st), small.get());
  EXPECT_EQ(small->m, 2u);
  EXPECT_EQ(small->n, 2u);

  ErrWatch w;
  MatP R(NewMat({{1, 2, 3}}));
  EXPECT_EQ(_LM_m_inverse(R.get(), nullptr, __LINE__, "inv", &st), nullptr);
  EXPECT_EQ(w.last(), 9);
  EXPECT_EQ(w.routine(), "m_inverse");
  MatP S(NewMat({{1, 2}, {2, 4}}));
  EXPECT_EQ(_LM_m_inverse(S.get(), nullptr, __LINE__, "inv", &st), nullptr);  // no leak
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.last(), 4);
  EXPECT_EQ(w.routine(), "Usolve");
  // A singular matrix whose first columns solve before one meets the zero pivot: a given
  // out keeps its values, and a smaller one its shape.
  MatP S3(NewMat({{0, 0, 1}, {0, 1, 0}, {0, 1, 0}}));
  MatP given(_LM_m_get("t", 0, 3, 3, __LINE__, "get", &st));
  ASSERT_EQ(_LM_m_ones(given.get(), __LINE__, "ones", &st), given.get());
  MatP tiny(NewMat({{8}}));
  EXPECT_EQ(_LM_m_inverse(S3.get(), given.get(), __LINE__, "inv", &st), nullptr);
  EXPECT_EQ(w.last(), 4);
  EXPECT_EQ(Rows(given.get()), std::vector<double>(9, 1.0));
  EXPECT_EQ(_LM_m_inverse(S3.get(), tiny.get(), __LINE__, "inv", &st), nullptr);
  EXPECT_EQ(tiny->m, 1u);
  EXPECT_EQ(Rows(tiny.get()), std::vector<double>{8});
  EXPECT_EQ(_LM_m_inverse(nullptr, nullptr, __LINE__, "inv", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
}

// Near the ends of the range the inverse is the scaled inverse: 1e308 [[1, 1], [-1, 1]] has
// the inverse (1 / 2e308) [[1, -1], [1, 1]] (by hand; its entries are subnormal), where the
// overflowing factors gave wrong numbers with status 0. An inverse beyond the range of
// double (2^1060 [[1, -1], [-1, 2]] for 2^-1060 [[2, 1], [1, 1]]) and a NaN entry are
// refused (code 7), a given out as it was.
TEST(MInverse, MatricesNearTheEndsOfTheRange) {
  int st = 0;
  MatP A(NewMat({{1e308, 1e308}, {-1e308, 1e308}}));
  const double q = static_cast<double>(1.0L / (2.0L * static_cast<long double>(1e308)));
  const double want[2][2] = {{q, -q}, {q, q}};
  MatP inv(_LM_m_inverse(A.get(), nullptr, __LINE__, "inv", &st));
  ASSERT_NE(inv, nullptr);
  EXPECT_EQ(st, 0);
  for (unsigned i = 0; i < 2; ++i)
    for (unsigned j = 0; j < 2; ++j) EXPECT_NEAR(inv->me[i][j], want[i][j], 1e-13 * q) << i << "," << j;
  EXPECT_EQ(A->me[1][0], -1e308);  // A itself is untouched

  const double t = std::ldexp(1.0, -1060);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const std::vector<double>& rows : {std::vector<double>{2 * t, t, t, t}, std::vector<double>{1, 2, nan, 4}}) {
    MatP B(NewMat(2, 2, rows));
    MatP given(NewMat({{5, 5}, {5, 5}}));
    ErrWatch w;
    EXPECT_EQ(_LM_m_inverse(B.get(), given.get(), __LINE__, "inv", &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 7);
    EXPECT_EQ(Rows(given.get()), std::vector<double>(4, 5.0));
    EXPECT_EQ(_LM_m_inverse(B.get(), nullptr, __LINE__, "inv", &st), nullptr);  // no leak
  }
  // The smallest scale whose inverse fits: 2^-1020 [[2, 1], [1, 1]] gives 2^1020 [[1, -1], [-1, 2]].
  const double u = std::ldexp(1.0, -1020);
  MatP C(NewMat({{2 * u, u}, {u, u}}));
  MatP ci(_LM_m_inverse(C.get(), nullptr, __LINE__, "inv", &st));
  ASSERT_NE(ci, nullptr);
  const double big = std::ldexp(1.0, 1020);
  EXPECT_EQ(Rows(ci.get()), (std::vector<double>{big, -big, -big, 2 * big}));
}

TEST(LUCondest, ExactCasesAndErrors) {
  int st = 0;
  {
    MatP I(NewMat({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}));
    PermP p(Pivot(3));
    ASSERT_NE(_LM_LUfactor(I.get(), p.get(), __LINE__, "lu", &st), nullptr);
    EXPECT_EQ(_LM_LUcondest(I.get(), p.get(), __LINE__, "c", &st), 1.0);
    EXPECT_EQ(st, 0);
  }
  {  // diag(1, 10): infinity-norm condition number 10, found exactly
    MatP D(NewMat({{1, 0}, {0, 10}}));
    PermP p(Pivot(2));
    ASSERT_NE(_LM_LUfactor(D.get(), p.get(), __LINE__, "lu", &st), nullptr);
    EXPECT_DOUBLE_EQ(_LM_LUcondest(D.get(), p.get(), __LINE__, "c", &st), 10.0);
  }
  {  // [[1, 1], [0, 1]] (true condition number 4) by hand: Uᵀy = e gives y = (1, -2)
     // (e = (1, -1)), L = I leaves it, z = A⁻¹y = (3, -2), normU = 2, normL = 1:
     // the estimate is 3 * (1 * 2) / 2 = 3.
    MatP T(NewMat({{1, 1}, {0, 1}}));
    PermP p(Pivot(2));
    ASSERT_NE(_LM_LUfactor(T.get(), p.get(), __LINE__, "lu", &st), nullptr);
    EXPECT_DOUBLE_EQ(_LM_LUcondest(T.get(), p.get(), __LINE__, "c", &st), 3.0);
  }
  {  // a zero on U's diagonal: infinite, not an error
    MatP Z(NewMat({{1, 2}, {2, 4}}));
    PermP p(Pivot(2));
    ASSERT_NE(_LM_LUfactor(Z.get(), p.get(), __LINE__, "lu", &st), nullptr);
    ErrWatch w;
    EXPECT_EQ(_LM_LUcondest(Z.get(), p.get(), __LINE__, "c", &st), HUGE_VAL);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(w.count(), 0);
  }
  ErrWatch w;
  MatP R(NewMat({{1, 2, 3}}));
  PermP p1(Pivot(1)), p2(Pivot(2));
  EXPECT_EQ(_LM_LUcondest(R.get(), p1.get(), __LINE__, "c", &st), 0.0);
  EXPECT_EQ(w.last(), 9);
  EXPECT_EQ(w.routine(), "LUcondest");
  MatP Q(NewMat({{1, 0}, {0, 1}}));
  EXPECT_EQ(_LM_LUcondest(Q.get(), p1.get(), __LINE__, "c", &st), 0.0);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(_LM_LUcondest(nullptr, p2.get(), __LINE__, "c", &st), 0.0);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(st, -1);
}

// The estimate does not depend on the scale of the matrix: multiplying A by a power of two
// gives the same estimate to the last bit, at scales where z = A^-1 y used to underflow to 0
// (entries near 2^660) or overflow (near 2^-660). A NaN entry gives NaN.
TEST(LUCondest, SameEstimateAtEveryScaleAndNaNForANaNEntry) {
  int st = 0;
  std::mt19937 g(91);
  MatP B(RandMat(g, 5, 5));
  for (unsigned i = 0; i < 5; ++i) B->me[i][i] += 1.0;
  MatP LUB(Copy(B.get()));
  PermP pb(Pivot(5));
  ASSERT_NE(_LM_LUfactor(LUB.get(), pb.get(), __LINE__, "lu", &st), nullptr);
  const double base = _LM_LUcondest(LUB.get(), pb.get(), __LINE__, "c", &st);
  ASSERT_GT(base, 1.0);
  ASSERT_TRUE(std::isfinite(base));
  for (int e : {-660, -300, 300, 660, 1000}) {
    MatP A(Copy(B.get()));
    for (unsigned i = 0; i < 5; ++i)
      for (unsigned j = 0; j < 5; ++j) A->me[i][j] = std::ldexp(A->me[i][j], e);
    PermP p(Pivot(5));
    ASSERT_NE(_LM_LUfactor(A.get(), p.get(), __LINE__, "lu", &st), nullptr);
    EXPECT_EQ(_LM_LUcondest(A.get(), p.get(), __LINE__, "c", &st), base) << e;
    EXPECT_EQ(st, 0);
  }
  // The identity at 2^700: condition number 1.
  MatP I(NewMat({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}));
  for (unsigned i = 0; i < 3; ++i) I->me[i][i] = std::ldexp(1.0, 700);
  PermP pi(Pivot(3));
  ASSERT_NE(_LM_LUfactor(I.get(), pi.get(), __LINE__, "lu", &st), nullptr);
  EXPECT_EQ(_LM_LUcondest(I.get(), pi.get(), __LINE__, "c", &st), 1.0);
  // NaN in the factors, first in a row sum and then in a multiplier.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const std::vector<double>& rows : {std::vector<double>{nan, 1, 0, 1}, std::vector<double>{1, 0, nan, 1},
                                          std::vector<double>{2, nan, 0, 1}}) {
    MatP N(NewMat(2, 2, rows));
    PermP p(Pivot(2));
    EXPECT_TRUE(std::isnan(_LM_LUcondest(N.get(), p.get(), __LINE__, "c", &st)));
  }
}

// [[1, 0], [1, 1]] times c: by hand U = c I, L's multiplier 1, y = (0, 1/c) after the
// unit lower solve, z = (0, 1/c^2), normL = 2, normU = c: the estimate (1/c^2) (2 c) /
// (1/c) is 2 at every scale, beside the largest double (where normL * normU overflowed to
// +inf) and down to the smallest subnormal (where y overflowed and the estimate was NaN).
TEST(LUCondest, TheSameEstimateFromTheSubnormalsToTheLargestDouble) {
  for (double c : {1.0, 3.0, 1e300, 1e308, DBL_MAX, 1e-300, DBL_MIN, 1e-310, std::numeric_limits<double>::denorm_min()}) {
    MatP A(NewMat({{c, 0}, {c, c}}));
    PermP p(Pivot(2));
    int st = 0;
    ASSERT_EQ(_LM_LUfactor(A.get(), p.get(), __LINE__, "lu", &st), A.get()) << c;
    EXPECT_NEAR(_LM_LUcondest(A.get(), p.get(), __LINE__, "c", &st), 2.0, 8 * kEps) << c;
    EXPECT_EQ(st, 0);
    EXPECT_EQ(A->me[1][1], c);  // the factors themselves are not scaled
  }
}

TEST(LUWorkRecords, RegisteredUnderAMarkAndFreedWithIt) {
  int st = 0;
  ASSERT_EQ(mem_stat_mark(7), 7);
  MatP A(NewMat({{4, 3}, {6, 3}}));
  MatP LU(Copy(A.get()));
  PermP p(Pivot(2));
  ASSERT_NE(_LM_LUfactor(LU.get(), p.get(), __LINE__, "lu", &st), nullptr);
  MatP inv(_LM_m_inverse(A.get(), nullptr, __LINE__, "inv", &st));
  ASSERT_NE(inv, nullptr);
  EXPECT_GT(_LM_LUcondest(LU.get(), p.get(), __LINE__, "c", &st), 1.0);
  // Seven kept records: the scale, the inverse's copy, unit, column and pivot, y and z.
  const std::string dump = cmat_test::CaptureFile([](FILE* f) { mem_stat_dump(f, 0); });
  size_t count = 0;
  for (size_t at = dump.find("mark = 7"); at != std::string::npos; at = dump.find("mark = 7", at + 1)) ++count;
  EXPECT_EQ(count, 7u) << dump;
  EXPECT_EQ(mem_stat_free_list(7, 0), 0);
  EXPECT_EQ(cmat_test::CaptureFile([](FILE* f) { mem_stat_dump(f, 0); }).find("mark = 7"), std::string::npos);
  // The operations make their work records anew and give the same results.
  MatP inv2(_LM_m_inverse(A.get(), nullptr, __LINE__, "inv", &st));
  ASSERT_NE(inv2, nullptr);
  EXPECT_EQ(Rows(inv2.get()), Rows(inv.get()));
  MatP LU2(Copy(A.get()));
  ASSERT_NE(_LM_LUfactor(LU2.get(), p.get(), __LINE__, "lu", &st), nullptr);
  EXPECT_EQ(Rows(LU2.get()), Rows(LU.get()));
}

// diag(4.19956e-16, 2 * 2^-1074): U's largest entry is near 1, so the estimate works on U
// as it is, and y = U^-T e overflows at 1 / 1e-323 although the condition number (the ratio
// of the two, 4.25e307) is a double: the estimate is made again on U scaled into [0.5, 1).
// Where the work overflows all the same the answer is +inf, never NaN.
TEST(LUCondest, AWideDiagonalGivesItsRatioNotNaN) {
  const double a = 4.19956e-16, b = 2 * std::numeric_limits<double>::denorm_min();
  MatP D(NewMat({{a, 0}, {0, b}}));
  PermP p(Pivot(2));
  int st = 0;
  ASSERT_EQ(_LM_LUfactor(D.get(), p.get(), __LINE__, "lu", &st), D.get());
  const double c = _LM_LUcondest(D.get(), p.get(), __LINE__, "c", &st);
  EXPECT_EQ(st, 0);
  EXPECT_NEAR(c, a / b, 1e-12 * (a / b));
  // diag(1e300, 1e-300): the ratio 1e600 is beyond the range: +inf.
  MatP W(NewMat({{1e300, 0}, {0, 1e-300}}));
  PermP q(Pivot(2));
  ASSERT_EQ(_LM_LUfactor(W.get(), q.get(), __LINE__, "lu", &st), W.get());
  EXPECT_EQ(_LM_LUcondest(W.get(), q.get(), __LINE__, "c", &st), HUGE_VAL);
}

// [[DBL_MIN, 2e16], [DBL_MIN, 3e16]]: each row's scaled ratio in column 0 underflows to 0.
// The column is not empty for that: it still pivots (on its first largest entry) and is
// eliminated, so that P*A = L*U, the multiplier 1 and U = [[DBL_MIN, 2e16], [0, 1e16]].
TEST(LUFactor, AColumnWhoseScaledRatiosUnderflowIsStillEliminated) {
  MatP A(NewMat({{DBL_MIN, 2e16}, {DBL_MIN, 3e16}}));
  PermP p(Pivot(2));
  int st = 0;
  ASSERT_EQ(_LM_LUfactor(A.get(), p.get(), __LINE__, "lu", &st), A.get());
  EXPECT_EQ(p->pe[0], 0u);
  EXPECT_EQ(A->me[0][0], DBL_MIN);
  EXPECT_EQ(A->me[0][1], 2e16);
  EXPECT_EQ(A->me[1][0], 1.0);
  EXPECT_EQ(A->me[1][1], 1e16);
}
