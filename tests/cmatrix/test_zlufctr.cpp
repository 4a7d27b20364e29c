// Tests of the complex LU factorisation, the triangular solves and the inverse: hand-made
// factorisations, P*A = L*U on square, tall and wide matrices, residuals of random systems,
// inverses of matrices whose entries lie near the ends of the range against numpy, singular
// matrices, zero right-hand sides, untouched parts of a larger output, and the registered
// scale vector.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "cmat_complex.h"
#include "cmat_support.h"
#include "cmatrix/zlufctr.h"
#include "kvelosys.h"
#include "matwrap.h"
#include "meminfo.h"
#include "zmatrix.h"

using namespace cmat_test;

namespace {

const char kTag[] = "test";

ZMAT* RandomMat(int n, unsigned seed) { return RandomZMat(n, n, seed, 1.0); }

PERM* Perm(int n) {
  int st = 0;
  return _LM_px_get(kTag, 0, n, __LINE__, "Perm", &st);
}

// Row i of P*A is row pivot[i] of A: rebuilt from the factors of the m x n matrix LU, whose
// every column below the diagonal holds multipliers (L is m x min(m, n) with a unit
// diagonal, U min(m, n) x n), it must give the permuted matrix.
void ExpectFactors(const ZMAT* A, const ZMAT* LU, const PERM* pivot) {
  const unsigned m = A->m, n = A->n, r = m < n ? m : n;
  for (unsigned i = 0; i < m; ++i)
    for (unsigned j = 0; j < n; ++j) {
      C s = 0;
      double bound = 0;
      for (unsigned k = 0; k < r && k <= i && k <= j; ++k) {
        const C l = k == i ? C(1, 0) : S(LU->me[i][k]);
        s += l * S(LU->me[k][j]);
        bound += std::abs(l) * std::abs(S(LU->me[k][j]));
      }
      EXPECT_LE(std::abs(s - S(A->me[pivot->pe[i]][j])), 8 * (r + 2) * DBL_EPSILON * (bound + 1))
          << m << "x" << n << " at " << i << "," << j;
    }
}

// max over i of |(A x - b)_i| for the original A.
double Residual(const ZMAT* A, const ZVEC* x, const ZVEC* b) {
  double worst = 0;
  for (unsigned i = 0; i < A->m; ++i) {
    C s = 0;
    for (unsigned j = 0; j < A->n; ++j) s += S(A->me[i][j]) * S(x->ve[j]);
    worst = std::max(worst, std::abs(s - S(b->ve[i])));
  }
  return worst;
}

}  // namespace

TEST(ZLU, FactorisingAPermutationMatrixExchangesRows) {
  int st = 0;
  ZMAT* A = NewZMat({{C(0, 0), C(1, 0)}, {C(1, 0), C(0, 0)}});
  PERM* p = Perm(2);
  ASSERT_EQ(zLUfactor(A, p, __LINE__, "t", &st), A);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(p->pe[0], 1u);
  EXPECT_EQ(p->pe[1], 0u);
  EXPECT_EQ(S(A->me[0][0]), C(1, 0));
  EXPECT_EQ(S(A->me[1][1]), C(1, 0));
  EXPECT_EQ(S(A->me[1][0]), C(0, 0));
  zm_free(A);
  px_free(p);
}

TEST(ZLU, FactorsReproduceThePermutedMatrix) {
  int st = 0;
  // Scaled pivoting: row 1 has the larger |a_i0| / max_j |a_ij|.
  ZMAT* A = NewZMat({{C(1, 0), C(100, 0), C(0, 1)},
                 {C(2, 1), C(1, 0), C(0, 0)},
                 {C(0, 4), C(2, -1), C(3, 0)}});
  ZMAT* orig = _LM__zm_copy(A, nullptr, 0, 0, __LINE__, "t", &st);
  PERM* p = Perm(3);
  ASSERT_EQ(zLUfactor(A, p, __LINE__, "t", &st), A);
  // L*U must equal the rows of the original in pivot order.
  for (unsigned i = 0; i < 3; ++i)
    for (unsigned j = 0; j < 3; ++j) {
      C s = 0;
      for (unsigned k = 0; k <= std::min(i, j); ++k) {
        const C l = k == i ? C(1, 0) : S(A->me[i][k]);
        s += l * S(A->me[k][j]);
      }
      EXPECT_LE(std::abs(s - S(orig->me[p->pe[i]][j])), 64 * DBL_EPSILON) << i << "," << j;
    }
  // Scaled candidates in column 0: row 0 gives 1/100, rows 1 and 2 both give exactly 1;
  // the first row reaching the largest value (row 1) wins.
  EXPECT_EQ(p->pe[0], 1u);
  zm_free_vars(&A, &orig, nullptr);
  px_free(p);
}

TEST(ZLU, EveryShapeFactorsAsThePermutedMatrix) {
  int st = 0;
  // The tall matrix of the report, then random square, tall and wide ones.
  {
    ZMAT* A = NewZMat({{C(1, 0), C(2, 0)}, {C(3, 0), C(4, 0)}, {C(5, 0), C(7, 0)}});
    ZMAT* LU = _LM__zm_copy(A, nullptr, 0, 0, __LINE__, "t", &st);
    PERM* p = Perm(3);
    ASSERT_EQ(zLUfactor(LU, p, __LINE__, "t", &st), LU);
    EXPECT_EQ(st, 0);
    ExpectFactors(A, LU, p);
    // By hand (scaled pivoting picks 3/4 over 1/2 and 5/7, then 2/3 / 4 over 1/3 / 7): pivot
    // (1, 0, 2), U = [[3, 4], [0, 2/3]], multipliers 1/3, 5/3 and, in the last column, 1/2.
    EXPECT_EQ(p->pe[0], 1u);
    EXPECT_EQ(p->pe[1], 0u);
    EXPECT_EQ(p->pe[2], 2u);
    EXPECT_LE(std::abs(S(LU->me[2][1]) - C(0.5, 0)), 16 * DBL_EPSILON);
    EXPECT_LE(std::abs(S(LU->me[1][1]) - C(2.0 / 3, 0)), 16 * DBL_EPSILON);
    zm_free_vars(&A, &LU, nullptr);
    px_free(p);
  }
  const int shapes[][2] = {{3, 3}, {6, 6}, {5, 2}, {7, 3}, {4, 1}, {2, 5}, {3, 7}, {1, 4}};
  unsigned seed = 40;
  for (const auto& sh : shapes) {
    ZMAT* A = RandomZMat(sh[0], sh[1], ++seed, 1.0);
    ZMAT* LU = _LM__zm_copy(A, nullptr, 0, 0, __LINE__, "t", &st);
    PERM* p = Perm(sh[0]);
    ASSERT_EQ(zLUfactor(LU, p, __LINE__, "t", &st), LU);
    EXPECT_EQ(st, 0);
    ExpectFactors(A, LU, p);
    zm_free_vars(&A, &LU, nullptr);
    px_free(p);
  }
}

TEST(ZLU, DegenerateShapesNeedNoElimination) {
  int st = 0;
  // A single column does need one step (its rows below the first become multipliers); a
  // single row, a 1 x 1 and an empty matrix have no row below any diagonal position.
  for (auto shape : {std::pair<int, int>{1, 1}, {1, 4}, {0, 0}}) {
    ZMAT* A = _LM_zm_get(kTag, 0, shape.first, shape.second, __LINE__, "t", &st);
    for (unsigned i = 0; i < A->m; ++i)
      for (unsigned j = 0; j < A->n; ++j) A->me[i][j] = Z(i + 1.0, j - 1.0);
    ZMAT* orig = _LM__zm_copy(A, nullptr, 0, 0, __LINE__, "t", &st);
    PERM* p = Perm(shape.first);
    ASSERT_EQ(zLUfactor(A, p, __LINE__, "t", &st), A);
    for (unsigned i = 0; i < p->size; ++i) EXPECT_EQ(p->pe[i], i);
    for (unsigned i = 0; i < A->m; ++i)
      for (unsigned j = 0; j < A->n; ++j) EXPECT_EQ(S(A->me[i][j]), S(orig->me[i][j]));
    zm_free_vars(&A, &orig, nullptr);
    px_free(p);
  }
}

TEST(ZLU, SolvesRandomSystems) {
  int st = 0;
  for (int n : {2, 5, 33}) {
    ZMAT* A = RandomMat(n, 100 + n);
    ZMAT* LU = _LM__zm_copy(A, nullptr, 0, 0, __LINE__, "t", &st);
    PERM* p = Perm(n);
    ASSERT_EQ(zLUfactor(LU, p, __LINE__, "t", &st), LU);
    int stb = 0;
    ZVEC* b = _LM_zv_get(kTag, 0, n, __LINE__, "t", &stb);
    _LM_zv_rand(b, __LINE__, "t", &stb);
    ZVEC* x = zLUsolve(LU, p, b, nullptr, __LINE__, "t", &st);
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(st, 0);
    EXPECT_LE(Residual(A, x, b), 1e3 * n * DBL_EPSILON) << "n = " << n;
    // The solve may overwrite its right-hand side.
    ZVEC* bb = _LM__zv_copy(b, nullptr, 0, __LINE__, "t", &st);
    ASSERT_EQ(zLUsolve(LU, p, bb, bb, __LINE__, "t", &st), bb);
    for (int i = 0; i < n; ++i) EXPECT_EQ(S(bb->ve[i]), S(x->ve[i]));
    zm_free_vars(&A, &LU, nullptr);
    zv_free_vars(&b, &x, &bb, nullptr);
    px_free(p);
  }
}

TEST(ZLU, SolveChecksItsArguments) {
  int st = 0;
  ZMAT* wide = _LM_zm_get(kTag, 0, 2, 3, __LINE__, "t", &st);
  ZMAT* sq = _LM_zm_get(kTag, 0, 2, 2, __LINE__, "t", &st);
  PERM* p2 = Perm(2);
  PERM* p3 = Perm(3);
  ZVEC* b2 = NewZVec({C(1, 0), C(1, 0)});
  ZVEC* b3 = NewZVec({C(1, 0), C(1, 0), C(1, 0)});
  ErrWatch w;
  EXPECT_EQ(zLUsolve(wide, p2, b2, nullptr, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "zLUsolve");
  EXPECT_EQ(zLUsolve(sq, p2, b3, nullptr, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(zLUsolve(sq, p3, b2, nullptr, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(zLUsolve(sq, nullptr, b2, nullptr, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(zLUfactor(sq, p3, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "zLUfactor");
  EXPECT_EQ(zLUfactor(nullptr, p3, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(st, -1);
  zm_free_vars(&wide, &sq, nullptr);
  px_free(p2);
  px_free(p3);
  zv_free_vars(&b2, &b3, nullptr);
}

// A pivot with a repeated entry is no permutation: the solve refuses it (code 2) whether x
// is another vector, b itself or NULL, and leaves x (and b) as they were.
TEST(ZLU, SolveRefusesAPivotThatIsNoPermutation) {
  int st = 0;
  ZMAT* I = _LM_zm_get(kTag, 0, 2, 2, __LINE__, "t", &st);
  I->me[0][0] = I->me[1][1] = zmake(1.0, 0.0);
  PERM* twice = Perm(2);
  twice->pe[0] = twice->pe[1] = 0;
  ZVEC* b = NewZVec({C(1, 0), C(2, 0)});
  ZVEC* x = NewZVec({C(9, 0), C(9, 0)});
  ErrWatch w;
  EXPECT_EQ(zLUsolve(I, twice, b, x, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(S(x->ve[0]), C(9, 0));
  EXPECT_EQ(S(x->ve[1]), C(9, 0));
  EXPECT_EQ(zLUsolve(I, twice, b, b, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(S(b->ve[0]), C(1, 0));
  EXPECT_EQ(S(b->ve[1]), C(2, 0));
  EXPECT_EQ(zLUsolve(I, twice, b, nullptr, __LINE__, "t", &st), nullptr);  // no leak
  EXPECT_EQ(w.count(), 3);
  zm_free(I);
  px_free(twice);
  zv_free_vars(&b, &x, nullptr);
}

// A solve that fails (a singular factor: code 4; a pivot that is no permutation: code 2)
// leaves a given x shorter than b as it was, its dim and its value, as the real twin does.
TEST(ZLU, AFailedSolveLeavesAShorterXAsItWas) {
  int st = 0;
  ZMAT* S2 = NewZMat({{C(1, 0), C(2, 0)}, {C(2, 0), C(4, 0)}});
  PERM* p = Perm(2);
  ASSERT_EQ(zLUfactor(S2, p, __LINE__, "t", &st), S2);  // U[1][1] = 0
  ZMAT* I = NewZMat({{C(1, 0), C(0, 0)}, {C(0, 0), C(1, 0)}});
  PERM* twice = Perm(2);
  twice->pe[0] = twice->pe[1] = 0;
  ZVEC* b = NewZVec({C(1, 0), C(1, 0)});
  const struct {
    const char* what;
    ZMAT* LU;
    PERM* pivot;
    int code;
  } cases[] = {{"singular factor", S2, p, 4}, {"no permutation", I, twice, 2}};
  for (const auto& c : cases) {
    ZVEC* x = NewZVec({C(7, -7)});
    ErrWatch w;
    EXPECT_EQ(zLUsolve(c.LU, c.pivot, b, x, __LINE__, "t", &st), nullptr) << c.what;
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), c.code) << c.what;
    ASSERT_EQ(x->dim, 1u) << c.what;
    EXPECT_EQ(S(x->ve[0]), C(7, -7)) << c.what;
    zv_free(x);
  }
  EXPECT_EQ(Std(b), (std::vector<C>{C(1, 0), C(1, 0)}));
  zm_free_vars(&S2, &I, nullptr);
  px_free(p);
  px_free(twice);
  zv_free(b);
}

// Factors beyond the range of double are never handed out with status 0: 1e308 [[1, 1],
// [-1, 1]] has U[1][1] = 2e308. The factorisation refuses it (code 7), A and pivot as they
// were, as it refuses a NaN part; the inverse, factored on A scaled by a power of two, is
// (1 / 2e308) [[1, -1], [1, 1]] (by hand).
TEST(ZLU, FactorsBeyondTheRangeAreRefusedAndTheInverseIsScaled) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* what;
    std::initializer_list<std::initializer_list<C>> rows;
  } cases[] = {{"U overflows", {{C(1e308, 0), C(1e308, 0)}, {C(-1e308, 0), C(1e308, 0)}}},
               {"U overflows, imaginary", {{C(0, 1e308), C(0, 1e308)}, {C(0, -1e308), C(0, 1e308)}}},
               {"NaN part", {{C(1, 0), C(2, nan)}, {C(3, 0), C(4, 0)}}}};
  for (const auto& c : cases) {
    int st = 0;
    ZMAT* A = NewZMat(c.rows);
    ZMAT* before = _LM__zm_copy(A, nullptr, 0, 0, __LINE__, "t", &st);
    PERM* p = Perm(2);
    p->pe[0] = 1;
    p->pe[1] = 0;
    ErrWatch w;
    EXPECT_EQ(zLUfactor(A, p, __LINE__, "t", &st), nullptr) << c.what;
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 7) << c.what;
    EXPECT_EQ(std::memcmp(A->me[0], before->me[0], 2 * sizeof(::complex)), 0) << c.what;
    EXPECT_EQ(std::memcmp(A->me[1], before->me[1], 2 * sizeof(::complex)), 0) << c.what;
    EXPECT_EQ(p->pe[0], 1u);
    EXPECT_EQ(p->pe[1], 0u);
    zm_free_vars(&A, &before, nullptr);
    px_free(p);
  }
  int st = 0;
  ZMAT* A = NewZMat({{C(1e308, 0), C(1e308, 0)}, {C(-1e308, 0), C(1e308, 0)}});
  ZMAT* inv = _LM_zm_inverse(A, nullptr, __LINE__, "t", &st);
  ASSERT_NE(inv, nullptr);
  EXPECT_EQ(st, 0);
  const double q = static_cast<double>(1.0L / (2.0L * static_cast<long double>(1e308)));
  const C want[2][2] = {{C(q, 0), C(-q, 0)}, {C(q, 0), C(q, 0)}};
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) EXPECT_LE(std::abs(S(inv->me[i][j]) - want[i][j]), 1e-13 * q) << i << "," << j;
  zm_free_vars(&A, &inv, nullptr);
}

TEST(ZLU, TriangularSolves) {
  int st = 0;
  // U = [[2i, 1], [0, 1+i]], L = [[2, 0], [i, 4]].
  ZMAT* U = NewZMat({{C(0, 2), C(1, 0)}, {C(99, 99), C(1, 1)}});
  ZMAT* L = NewZMat({{C(2, 0), C(99, 99)}, {C(0, 1), C(4, 0)}});
  ZVEC* b = NewZVec({C(1, 0), C(2, 0)});
  // U x = b: x1 = 2/(1+i) = 1-i; x0 = (1 - (1-i)) / 2i = i/2i = 0.5.
  ZVEC* x = zUsolve(U, b, nullptr, 0.0, __LINE__, "t", &st);
  ASSERT_NE(x, nullptr);
  EXPECT_LE(std::abs(S(x->ve[1]) - C(1, -1)), 4 * DBL_EPSILON);
  EXPECT_LE(std::abs(S(x->ve[0]) - C(0.5, 0)), 4 * DBL_EPSILON);
  // L x = b: x0 = 0.5; x1 = (2 - 0.5i)/4 = 0.5 - 0.125i.
  x = zLsolve(L, b, x, 0.0, __LINE__, "t", &st);
  EXPECT_EQ(S(x->ve[0]), C(0.5, 0));
  EXPECT_LE(std::abs(S(x->ve[1]) - C(0.5, -0.125)), 4 * DBL_EPSILON);
  // A non-zero diag replaces the stored diagonal, a zero there included.
  U->me[0][0] = Z(0, 0);
  x = zUsolve(U, b, x, 1.0, __LINE__, "t", &st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(S(x->ve[1]), C(2, 0));
  EXPECT_EQ(S(x->ve[0]), C(-1, 0));
  // A zero right-hand side gives zero without touching the zero diagonal entry.
  ZVEC* zero = NewZVec({C(0, 0), C(-0.0, 0)});
  x = zUsolve(U, zero, x, 0.0, __LINE__, "t", &st);
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(S(x->ve[0]), C(0, 0));
  EXPECT_EQ(S(x->ve[1]), C(0, 0));
  // b whose trailing entry is zero: only the leading part is solved, and it divides by 0.
  ZVEC* lead = NewZVec({C(1, 0), C(0, 0)});
  ErrWatch w;
  EXPECT_EQ(zUsolve(U, lead, x, 0.0, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 4);
  EXPECT_EQ(w.routine(), "zUsolve");
  EXPECT_EQ(S(x->ve[0]), C(0, 0));  // the zero divisor is found before anything is written
  L->me[1][1] = Z(0, 0);
  x->ve[0] = Z(7, 7);
  x->ve[1] = Z(7, 7);
  EXPECT_EQ(zLsolve(L, b, x, 0.0, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 4);
  EXPECT_EQ(w.routine(), "zLsolve");
  EXPECT_EQ(S(x->ve[0]), C(7, 7));  // row 0 could be solved, but out stays as it was
  EXPECT_EQ(S(x->ve[1]), C(7, 7));
  ZVEC* one = NewZVec({C(1, 0)});
  EXPECT_EQ(zLsolve(L, one, x, 0.0, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(zUsolve(nullptr, one, x, 0.0, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  zm_free_vars(&U, &L, nullptr);
  zv_free_vars(&b, &x, &zero, &lead, &one, nullptr);
}

TEST(ZLU, InverseOfSmallMatrices) {
  int st = 0;
  ZMAT* A = NewZMat({{C(0, 2)}});
  ZMAT* inv = _LM_zm_inverse(A, nullptr, __LINE__, "t", &st);
  ASSERT_NE(inv, nullptr);
  EXPECT_EQ(S(inv->me[0][0]), C(0, -0.5));
  ZMAT* B = NewZMat({{C(1, 0), C(0, 1)}, {C(0, 0), C(1, 0)}});
  inv = _LM_zm_inverse(B, inv, __LINE__, "t", &st);
  ASSERT_NE(inv, nullptr);
  ASSERT_EQ(inv->m, 2u);
  EXPECT_EQ(S(inv->me[0][0]), C(1, 0));
  EXPECT_EQ(S(inv->me[0][1]), C(0, -1));
  EXPECT_EQ(S(inv->me[1][0]), C(0, 0));
  EXPECT_EQ(S(inv->me[1][1]), C(1, 0));
  // A larger output keeps its shape and everything outside the leading block.
  ZMAT* big = _LM_zm_get(kTag, 0, 3, 3, __LINE__, "t", &st);
  for (unsigned i = 0; i < 3; ++i)
    for (unsigned j = 0; j < 3; ++j) big->me[i][j] = Z(7, 7);
  ASSERT_EQ(_LM_zm_inverse(B, big, __LINE__, "t", &st), big);
  EXPECT_EQ(big->m, 3u);
  EXPECT_EQ(S(big->me[0][1]), C(0, -1));
  for (unsigned k = 0; k < 3; ++k) {
    EXPECT_EQ(S(big->me[2][k]), C(7, 7));
    EXPECT_EQ(S(big->me[k][2]), C(7, 7));
  }
  zm_free_vars(&A, &B, &inv, &big, nullptr);
}

TEST(ZLU, InverseOfARandomMatrixTimesTheMatrixIsTheIdentity) {
  int st = 0;
  const int n = 12;
  ZMAT* A = RandomMat(n, 7);
  ZMAT* inv = _LM_zm_inverse(A, nullptr, __LINE__, "t", &st);
  ASSERT_NE(inv, nullptr);
  ZMAT* prod = _LM_zm_mlt(A, inv, nullptr, __LINE__, "t", &st);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      EXPECT_LE(std::abs(S(prod->me[i][j]) - C(i == j ? 1 : 0, 0)), 1e4 * DBL_EPSILON);
  zm_free_vars(&A, &inv, &prod, nullptr);
}

TEST(ZLU, InverseRefusesNonSquareAndSingularMatrices) {
  const int was = mem_info_on(1);
  const int before = mem_info_numvar(TYPE_ZMAT, 0) + mem_info_numvar(TYPE_ZVEC, 0) +
                     mem_info_numvar(TYPE_PERM, 0);
  int st = 0;
  ZMAT* wide = _LM_zm_get(kTag, 0, 2, 3, __LINE__, "t", &st);
  ZMAT* sing = NewZMat({{C(1, 0), C(1, 0)}, {C(1, 0), C(1, 0)}});
  ErrWatch w;
  EXPECT_EQ(_LM_zm_inverse(wide, nullptr, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 9);
  EXPECT_EQ(w.routine(), "zm_inverse");
  EXPECT_EQ(_LM_zm_inverse(nullptr, nullptr, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  ZMAT* out = _LM_zm_get(kTag, 0, 2, 2, __LINE__, "t", &st);
  EXPECT_EQ(_LM_zm_inverse(sing, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.last(), 4);
  EXPECT_EQ(w.routine(), "zUsolve");
  zm_free_vars(&wide, &sing, &out, nullptr);
  // Every scratch record of the failed inverse was released.
  EXPECT_EQ(mem_info_numvar(TYPE_ZMAT, 0) + mem_info_numvar(TYPE_ZVEC, 0) +
                mem_info_numvar(TYPE_PERM, 0),
            before);
  mem_info_on(was);
}

// A singular matrix whose solves fail only after the permutation and the forward
// substitution could be done, and whose inverse fails after its first column: the given x
// and out keep their values and size, b keeps its values when it is x, and a solve into a
// NULL x releases what it made (counted with memory accounting on).
TEST(ZLU, ASingularFactorLeavesTheOutputAsItWas) {
  const int was = mem_info_on(1);
  const int before = mem_info_numvar(TYPE_ZMAT, 0) + mem_info_numvar(TYPE_ZVEC, 0);
  int st = 0;
  ErrWatch w;
  ZMAT* A = NewZMat({{C(0, 0), C(0, 0), C(1, 0)}, {C(0, 0), C(0, 1), C(0, 0)}, {C(0, 0), C(0, 1), C(0, 0)}});
  ZMAT* LU = _LM__zm_copy(A, nullptr, 0, 0, __LINE__, "t", &st);
  PERM* p = Perm(3);
  ASSERT_EQ(zLUfactor(LU, p, __LINE__, "t", &st), LU);
  ZVEC* b = NewZVec({C(1, 0), C(1, 0), C(1, 0)});
  ZVEC* x = NewZVec({C(5, 5), C(5, 5), C(5, 5)});
  EXPECT_EQ(zLUsolve(LU, p, b, x, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.last(), 4);
  for (unsigned i = 0; i < 3; ++i) EXPECT_EQ(S(x->ve[i]), C(5, 5));
  EXPECT_EQ(zLUsolve(LU, p, b, b, __LINE__, "t", &st), nullptr);
  for (unsigned i = 0; i < 3; ++i) EXPECT_EQ(S(b->ve[i]), C(1, 0));
  EXPECT_EQ(zLUsolve(LU, p, b, nullptr, __LINE__, "t", &st), nullptr);
  ZMAT* out = _LM_zm_get(kTag, 0, 3, 3, __LINE__, "t", &st);
  for (unsigned i = 0; i < 3; ++i)
    for (unsigned j = 0; j < 3; ++j) out->me[i][j] = Z(2, -2);
  ZMAT* small = _LM_zm_get(kTag, 0, 1, 1, __LINE__, "t", &st);
  small->me[0][0] = Z(3, 3);
  EXPECT_EQ(_LM_zm_inverse(A, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 4);
  for (unsigned i = 0; i < 3; ++i)
    for (unsigned j = 0; j < 3; ++j) EXPECT_EQ(S(out->me[i][j]), C(2, -2));
  EXPECT_EQ(_LM_zm_inverse(A, small, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(small->m, 1u);
  EXPECT_EQ(S(small->me[0][0]), C(3, 3));
  EXPECT_EQ(_LM_zm_inverse(A, nullptr, __LINE__, "t", &st), nullptr);
  zm_free_vars(&A, &LU, &out, &small, nullptr);
  zv_free_vars(&b, &x, nullptr);
  px_free(p);
  EXPECT_EQ(mem_info_numvar(TYPE_ZMAT, 0) + mem_info_numvar(TYPE_ZVEC, 0), before);
  mem_info_on(was);
}

TEST(ZLU, ScaleVectorIsRegisteredAndFreedWithItsMark) {
  int st = 0;
  const int mark = mem_stat_mark(17);
  ASSERT_EQ(mark, 17);
  ZMAT* A = RandomMat(4, 3);
  PERM* p = Perm(4);
  ASSERT_EQ(zLUfactor(A, p, __LINE__, "t", &st), A);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(_LM_err_status, 0);
  EXPECT_EQ(mem_stat_free_list(17, 0), 0);
  // The next factorisation allocates a fresh scale vector and still works.
  ZMAT* B = RandomMat(4, 4);
  ASSERT_EQ(zLUfactor(B, p, __LINE__, "t", &st), B);
  EXPECT_EQ(st, 0);
  zm_free_vars(&A, &B, nullptr);
  px_free(p);
}

namespace {

// The numpy inverses (numpy.linalg.inv, LAPACK zgesv) of 1e-160 * K and 1e200 * K, K the
// well-conditioned matrix below (2-norm condition number 3.87).
const C kK[3][3] = {{C(2, 1), C(-1, 0.5), C(0.25, -3)},
                    {C(0.5, -2), C(3, 0), C(1, 1)},
                    {C(-1.5, 0.75), C(2, -1), C(-0.5, 2.5)}};
const C kInvSmall[3][3] = {
    {C(1.2825554709622987e+159, -2.668083451550887e+159), C(8.5270001588405694e+158, 1.1916329358667498e+159),
     C(3.3301747794033126e+158, -3.2756212583459773e+159)},
    {C(2.7649214286887995e+159, 6.9846034189063998e+158), C(1.9988169115915272e+159, -2.4625766131903493e+158),
     C(2.8361258236431469e+159, 1.4454492175732453e+159)},
    {C(-8.980517382088262e+158, 2.7018233802369472e+159), C(1.5211449666708666e+159, 3.2721158112097639e+158),
     C(-2.078072880436867e+159, 4.5570812770782052e+157)}};
const C kInvLarge[3][3] = {
    {C(1.2825554709622991e-201, -2.6680834515508868e-201), C(8.5270001588405727e-202, 1.1916329358667497e-201),
     C(3.3301747794033031e-202, -3.2756212583459771e-201)},
    {C(2.7649214286887986e-201, 6.9846034189064022e-202), C(1.9988169115915276e-201, -2.4625766131903434e-202),
     C(2.8361258236431453e-201, 1.4454492175732443e-201)},
    {C(-8.9805173820882608e-202, 2.701823380236947e-201), C(1.5211449666708662e-201, 3.2721158112097631e-202),
     C(-2.0780728804368665e-201, 4.5570812770782273e-203)}};

// got against want, each entry within a norm-wise bound: 1e-13 of want's largest modulus.
void ExpectInverse(const ZMAT* got, const C (&want)[3][3], const char* what) {
  double big = 0;
  for (const auto& row : want)
    for (const C& w : row) big = std::max(big, std::abs(w));
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const C g = S(got->me[i][j]);
      EXPECT_TRUE(std::isfinite(g.real()) && std::isfinite(g.imag())) << what << " " << i << "," << j;
      EXPECT_LE(std::abs(g - want[i][j]), 1e-13 * big) << what << " " << i << "," << j << ": " << g;
    }
}

}  // namespace

// Entries of 1e-160 or 1e200 are no harder than entries of 1: the factorisation and the
// solves divide through the scaled complex quotient, so the inverse keeps every digit.
TEST(ZLU, InverseOfMatricesNearTheEndsOfTheRangeMatchesNumpy) {
  const struct {
    double scale;
    const C (*want)[3][3];
  } cases[] = {{1e-160, &kInvSmall}, {1e200, &kInvLarge}};
  for (const auto& c : cases) {
    int st = 0;
    ZMAT* A = _LM_zm_get(kTag, 0, 3, 3, __LINE__, "t", &st);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) A->me[i][j] = Z(kK[i][j].real() * c.scale, kK[i][j].imag() * c.scale);
    ZMAT* inv = _LM_zm_inverse(A, nullptr, __LINE__, "t", &st);
    ASSERT_NE(inv, nullptr) << c.scale;
    EXPECT_EQ(st, 0);
    ExpectInverse(inv, *c.want, c.scale < 1 ? "zm_inverse 1e-160" : "zm_inverse 1e200");

    // The generic wrapper reaches the same inverse.
    GMAT* w = _LM_mat_get(kTag, 0, 6, 3, 3, __LINE__, "t", &st);
    ASSERT_NE(w, nullptr);
    ZMAT* wm = static_cast<ZMAT*>(w->mat);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) wm->me[i][j] = A->me[i][j];
    st = 0;
    GMAT* out = _LM_mat_inverse(w, nullptr, __LINE__, "t", &st);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(st, 0);
    ExpectInverse(static_cast<ZMAT*>(out->mat), *c.want, c.scale < 1 ? "mat_inverse 1e-160" : "mat_inverse 1e200");
    mat_free(w);
    mat_free(out);
    kvelomem_free(w, __FILE__, __LINE__);
    kvelomem_free(out, __FILE__, __LINE__);
    zm_free_vars(&A, &inv, nullptr);
  }
}

// The real twin through the same wrapper: s K' has the inverse (1/s) [[17, 1, 7] / 24,
// [3, 3, 5] / 16, [-11, 5, -13] / 12] (by hand; numpy agrees to the last digit).
TEST(ZLU, RealTwinThroughTheWrapperAtTheSameScales) {
  const double k[3][3] = {{2, -1, 0.25}, {0.5, 3, 1}, {-1.5, 2, -0.75}};
  const double inv[3][3] = {{17.0 / 24, 1.0 / 24, 7.0 / 24}, {3.0 / 16, 3.0 / 16, 5.0 / 16},
                            {-11.0 / 12, 5.0 / 12, -13.0 / 12}};
  for (double scale : {1e-160, 1e200}) {
    int st = 0;
    GMAT* w = _LM_mat_get(kTag, 0, 5, 3, 3, __LINE__, "t", &st);
    ASSERT_NE(w, nullptr);
    MAT* m = static_cast<MAT*>(w->mat);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) m->me[i][j] = k[i][j] * scale;
    GMAT* out = _LM_mat_inverse(w, nullptr, __LINE__, "t", &st);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(st, 0);
    const MAT* r = static_cast<MAT*>(out->mat);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        EXPECT_NEAR(r->me[i][j] * scale, inv[i][j], 1e-13 * 1.1) << scale << " " << i << "," << j;
    mat_free(w);
    mat_free(out);
    kvelomem_free(w, __FILE__, __LINE__);
    kvelomem_free(out, __FILE__, __LINE__);
  }
}
