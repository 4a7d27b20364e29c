// Tests of the triangular and diagonal solves: residuals against the triangle named (the
// other triangle holding garbage), the diag argument, the zero ends of the right-hand side
// that spare a zero diagonal entry, out == b, and the zero-divisor and size errors.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "cmat_support.h"
#include "dense_fixtures.h"
#include "matrix.h"

using namespace cmat_test;

namespace {

const double kEps = std::numeric_limits<double>::epsilon();

enum class Tri { U, L, UT, LT };

VEC* Solve(Tri t, MAT* A, VEC* b, VEC* out, double diag, int* st) {
  switch (t) {
    case Tri::U: return _LM_Usolve(A, b, out, diag, __LINE__, "solve", st);
    case Tri::L: return _LM_Lsolve(A, b, out, diag, __LINE__, "solve", st);
    case Tri::UT: return _LM_UTsolve(A, b, out, diag, __LINE__, "solve", st);
    case Tri::LT: return _LM_LTsolve(A, b, out, diag, __LINE__, "solve", st);
  }
  return nullptr;
}

// The entry of the triangular operator that the solve uses: the named triangle of A (the
// diagonal replaced by diag unless diag is 0), transposed for UT and LT.
double Op(Tri t, const MAT* A, unsigned i, unsigned j, double diag) {
  const bool tr = t == Tri::UT || t == Tri::LT;
  const unsigned r = tr ? j : i, c = tr ? i : j;
  const bool upper = t == Tri::U || t == Tri::UT;
  if (r == c) return diag == 0.0 ? A->me[r][r] : diag;
  if (upper ? c > r : c < r) return A->me[r][c];
  return 0.0;
}

}  // namespace

TEST(TriSolve, ResidualsOfAllFourSolves) {
  std::mt19937 g(8);
  std::uniform_real_distribution<double> d(-1, 1);
  int st = 0;
  for (Tri t : {Tri::U, Tri::L, Tri::UT, Tri::LT}) {
    for (unsigned n : {1u, 2u, 5u, 40u}) {
      for (double diag : {0.0, 1.0, 2.5}) {
        MatP A(_LM_m_get("t", 0, n, n, __LINE__, "get", &st));
        for (unsigned i = 0; i < n; ++i)
          for (unsigned j = 0; j < n; ++j) A->me[i][j] = i == j ? 2 + d(g) : 1e3 * d(g) / n;
        // The other triangle holds values the solve must not read.
        for (unsigned i = 0; i < n; ++i)
          for (unsigned j = 0; j < n; ++j) {
            const bool used = (t == Tri::U || t == Tri::UT) ? j >= i : j <= i;
            if (!used) A->me[i][j] = std::numeric_limits<double>::quiet_NaN();
            else if (i != j) A->me[i][j] /= 1e3;
          }
        VecP b(_LM_v_get("t", 0, n, __LINE__, "get", &st));
        for (unsigned i = 0; i < n; ++i) b->ve[i] = d(g);
        for (bool inPlace : {false, true}) {
          VecP copy(_LM__v_copy(b.get(), nullptr, 0, __LINE__, "c", &st));
          VEC* x = Solve(t, A.get(), copy.get(), inPlace ? copy.get() : nullptr, diag, &st);
          ASSERT_NE(x, nullptr);
          EXPECT_EQ(st, 0);
          VecP own(inPlace ? nullptr : x);
          for (unsigned i = 0; i < n; ++i) {
            double r = -b->ve[i], bound = std::fabs(b->ve[i]);
            for (unsigned j = 0; j < n; ++j) {
              r += Op(t, A.get(), i, j, diag) * x->ve[j];
              bound += std::fabs(Op(t, A.get(), i, j, diag) * x->ve[j]);
            }
            EXPECT_NEAR(r, 0.0, 4 * (n + 1) * kEps * bound) << static_cast<int>(t) << " n=" << n;
          }
        }
      }
    }
  }
}

TEST(TriSolve, DiagArgumentReplacesTheStoredDiagonal) {
  int st = 0;
  MatP U(NewMat({{0, 1}, {0, 0}}));  // zero diagonal: never read with diag = 1
  VecP b(NewVec({3, 2}));
  VecP x(_LM_Usolve(U.get(), b.get(), nullptr, 1.0, __LINE__, "u", &st));
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(Values(x.get()), (std::vector<double>{1, 2}));
  VecP y(_LM_LTsolve(U.get(), b.get(), nullptr, 2.0, __LINE__, "lt", &st));  // L = diag 2
  ASSERT_NE(y, nullptr);
  EXPECT_EQ(Values(y.get()), (std::vector<double>{1.5, 1}));
}

TEST(TriSolve, ZeroEndsOfTheRightHandSideSpareZeroDiagonalEntries) {
  int st = 0;
  // U with U[2][2] = 0: b = (1, 0, 0) never divides by it.
  MatP U(NewMat({{2, 1, 1}, {0, 4, 1}, {0, 0, 0}}));
  VecP b(NewVec({1, 0, 0}));
  VecP x(_LM_Usolve(U.get(), b.get(), nullptr, 0.0, __LINE__, "u", &st));
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(Values(x.get()), (std::vector<double>{0.5, 0, 0}));
  VecP y(_LM_LTsolve(U.get(), b.get(), nullptr, 0.0, __LINE__, "lt", &st));  // L = diag only
  ASSERT_NE(y, nullptr);
  EXPECT_EQ(Values(y.get()), (std::vector<double>{0.5, 0, 0}));
  // L with L[0][0] = 0: b = (0, 0, 3) never divides by it.
  MatP L(NewMat({{0, 0, 0}, {1, 2, 0}, {1, 1, 3}}));
  VecP c(NewVec({0, 0, 3}));
  VecP z(_LM_Lsolve(L.get(), c.get(), nullptr, 0.0, __LINE__, "l", &st));
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(Values(z.get()), (std::vector<double>{0, 0, 1}));
  VecP w(_LM_UTsolve(L.get(), c.get(), nullptr, 0.0, __LINE__, "ut", &st));  // U = diag only
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(Values(w.get()), (std::vector<double>{0, 0, 1}));
  // An all-zero right-hand side gives zeros whatever the diagonal.
  VecP zero(NewVec({0, 0, 0}));
  VecP o(_LM_Usolve(L.get(), zero.get(), nullptr, 0.0, __LINE__, "u", &st));
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(Values(o.get()), (std::vector<double>{0, 0, 0}));
}

TEST(TriSolve, ZeroDivisorAndSizeErrors) {
  int st = 0;
  MatP U(NewMat({{1, 1}, {0, 0}}));
  VecP b(NewVec({1, 1}));
  ErrWatch w;
  const struct {
    Tri t;
    const char* routine;
  } cases[] = {{Tri::U, "Usolve"}, {Tri::L, "Lsolve"}, {Tri::UT, "UTsolve"}, {Tri::LT, "LTsolve"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Solve(c.t, U.get(), b.get(), nullptr, 0.0, &st), nullptr);  // no leak
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 4) << c.routine;
    EXPECT_EQ(w.routine(), c.routine);
    EXPECT_EQ(w.file(), "solve");
    VecP shortB(NewVec({1}));
    EXPECT_EQ(Solve(c.t, U.get(), shortB.get(), nullptr, 0.0, &st), nullptr);
    EXPECT_EQ(w.last(), 1);
    EXPECT_EQ(Solve(c.t, nullptr, b.get(), nullptr, 0.0, &st), nullptr);
    EXPECT_EQ(w.last(), 8);
  }
}

TEST(DiagSolve, QuotientsAndTheZeroDivisor) {
  int st = 0;
  MatP A(NewMat({{2, 9, 9}, {9, 4, 9}, {9, 9, 0}}));
  VecP b(NewVec({1, 2, 3}));
  VecP out(NewVec({-1, -1, -1}));
  ErrWatch w;
  EXPECT_EQ(_LM_Dsolve(A.get(), b.get(), out.get(), __LINE__, "d", &st), nullptr);
  EXPECT_EQ(w.last(), 4);
  EXPECT_EQ(w.routine(), "Dsolve");
  // The zero divisor is found before anything is written.
  EXPECT_EQ(Values(out.get()), (std::vector<double>{-1, -1, -1}));
  A->me[2][2] = 6;
  ASSERT_EQ(_LM_Dsolve(A.get(), b.get(), b.get(), __LINE__, "d", &st), b.get());
  EXPECT_EQ(Values(b.get()), (std::vector<double>{0.5, 0.5, 0.5}));
}

// A zero divisor met after rows that could be solved: the out handed in keeps its values
// and its size (a shorter one is not grown), b keeps its values when it is out, and the
// status tells the failure.
TEST(TriSolve, AZeroDivisorLeavesOutAsItWas) {
  int st = 0;
  ErrWatch w;
  // Each triangle divides by its zero entry last: U bottom-up reaches row 0 last, L
  // top-down reaches row 2 last, and so on.
  MatP U(NewMat({{0, 1, 1}, {0, 2, 1}, {0, 0, 4}}));
  MatP L(NewMat({{2, 0, 0}, {1, 4, 0}, {1, 1, 0}}));
  const struct {
    Tri t;
    MAT* A;
  } cases[] = {{Tri::U, U.get()}, {Tri::L, L.get()}, {Tri::UT, L.get()}, {Tri::LT, U.get()}};
  for (const auto& c : cases) {
    VecP b(NewVec({1, 2, 3}));
    VecP out(NewVec({7, 7, 7, 7}));
    VecP shortOut(NewVec({7}));
    EXPECT_EQ(Solve(c.t, c.A, b.get(), out.get(), 0.0, &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 4);
    EXPECT_EQ(Values(out.get()), (std::vector<double>{7, 7, 7, 7}));
    EXPECT_EQ(Solve(c.t, c.A, b.get(), shortOut.get(), 0.0, &st), nullptr);
    EXPECT_EQ(Values(shortOut.get()), std::vector<double>{7});
    EXPECT_EQ(Solve(c.t, c.A, b.get(), b.get(), 0.0, &st), nullptr);
    EXPECT_EQ(Values(b.get()), (std::vector<double>{1, 2, 3}));
  }
  MatP D(NewMat({{2, 0, 0}, {0, 4, 0}, {0, 0, 0}}));
  VecP b(NewVec({1, 2, 3}));
  EXPECT_EQ(_LM_Dsolve(D.get(), b.get(), b.get(), __LINE__, "d", &st), nullptr);
  EXPECT_EQ(w.last(), 4);
  EXPECT_EQ(Values(b.get()), (std::vector<double>{1, 2, 3}));
}
