// Tests of the complex LU factorisation, the triangular solves and the inverse: hand-made
// factorisations, residuals of random systems, singular matrices, zero right-hand sides,
// untouched parts of a larger output, and the registered scale vector.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "cmat_complex.h"
#include "cmat_support.h"
#include "cmatrix/zlufctr.h"
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

TEST(ZLU, DegenerateShapesNeedNoElimination) {
  int st = 0;
  for (auto shape : {std::pair<int, int>{1, 1}, {1, 4}, {4, 1}, {0, 0}}) {
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
  L->me[1][1] = Z(0, 0);
  EXPECT_EQ(zLsolve(L, b, x, 0.0, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 4);
  EXPECT_EQ(w.routine(), "zLsolve");
  EXPECT_EQ(S(x->ve[0]), C(0.5, 0));  // computed before the zero divisor
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
