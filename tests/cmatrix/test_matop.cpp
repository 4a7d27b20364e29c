// Tests of the real matrix arithmetic: sums, scaling, the three products against a plain
// triple loop, the matrix-vector products on every row layout a MAT can have (packed,
// narrowed, copied into a larger matrix, a view, scattered rows, no columns), transposes,
// row and column exchanges and the multiply-adds.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "cmat_support.h"
#include "dense_fixtures.h"
#include "matrix.h"

using namespace cmat_test;

namespace {

const double kEps = std::numeric_limits<double>::epsilon();
const double kInf = std::numeric_limits<double>::infinity();

// A(i, j) through the row pointers, optionally transposed.
double At(const MAT* A, unsigned i, unsigned j, bool tr) { return tr ? A->me[j][i] : A->me[i][j]; }

// op(A)*op(B) by the definition, and the bound of its rounding error.
void ExpectProduct(const MAT* A, bool ta, const MAT* B, bool tb, const MAT* C) {
  const unsigned m = ta ? A->n : A->m, k = ta ? A->m : A->n, n = tb ? B->m : B->n;
  ASSERT_EQ(C->m, m);
  ASSERT_EQ(C->n, n);
  for (unsigned i = 0; i < m; ++i)
    for (unsigned j = 0; j < n; ++j) {
      double s = 0, bound = 0;
      for (unsigned l = 0; l < k; ++l) {
        s += At(A, i, l, ta) * At(B, l, j, tb);
        bound += std::fabs(At(A, i, l, ta) * At(B, l, j, tb));
      }
      EXPECT_NEAR(C->me[i][j], s, 2 * (k + 1) * kEps * bound) << i << "," << j;
    }
}

// A*b by the definition, rows reached through the row pointers.
void ExpectMatVec(const MAT* A, const VEC* b, const VEC* out) {
  ASSERT_GE(out->dim, A->m);
  for (unsigned i = 0; i < A->m; ++i) {
    double s = 0, bound = 0;
    for (unsigned j = 0; j < A->n; ++j) {
      s += A->me[i][j] * b->ve[j];
      bound += std::fabs(A->me[i][j] * b->ve[j]);
    }
    EXPECT_NEAR(out->ve[i], s, 2 * (A->n + 1) * kEps * bound) << i;
  }
}

}  // namespace

TEST(MatAddSub, SumsDifferencesAndScaling) {
  int st = 0;
  MatP A(NewMat({{1, 2}, {3, 4}})), B(NewMat({{10, 20}, {30, 40}}));
  MatP S(_LM_m_add(A.get(), B.get(), nullptr, __LINE__, "add", &st));
  ASSERT_NE(S, nullptr);
  EXPECT_EQ(Rows(S.get()), (std::vector<double>{11, 22, 33, 44}));
  ASSERT_EQ(_LM_m_sub(A.get(), B.get(), B.get(), __LINE__, "sub", &st), B.get());
  EXPECT_EQ(Rows(B.get()), (std::vector<double>{-9, -18, -27, -36}));
  MatP wrong(NewMat({{0, 0, 0}}));  // another shape: resized
  ASSERT_EQ(_LM_sm_mlt(-2, A.get(), wrong.get(), __LINE__, "sm", &st), wrong.get());
  EXPECT_EQ(Rows(wrong.get()), (std::vector<double>{-2, -4, -6, -8}));
  // No shortcut for 0: zero times an infinity stays NaN.
  MatP I(NewMat({{kInf, 1}}));
  ASSERT_EQ(_LM_sm_mlt(0.0, I.get(), I.get(), __LINE__, "sm", &st), I.get());
  EXPECT_TRUE(std::isnan(I->me[0][0]));
  EXPECT_EQ(I->me[0][1], 0.0);

  ErrWatch w;
  MatP C(NewMat({{1, 2, 3}}));
  EXPECT_EQ(_LM_m_add(A.get(), C.get(), nullptr, __LINE__, "add", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "m_add");
  EXPECT_EQ(_LM_m_sub(nullptr, C.get(), nullptr, __LINE__, "sub", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(w.routine(), "m_sub");
  EXPECT_EQ(_LM_sm_mlt(1, nullptr, nullptr, __LINE__, "sm", &st), nullptr);
  EXPECT_EQ(w.routine(), "sm_mlt");
}

TEST(MatProducts, AgreeWithTheDefinition) {
  std::mt19937 g(2024);
  int st = 0;
  const int dims[][3] = {{1, 1, 1}, {2, 3, 4}, {5, 1, 3}, {7, 6, 5}, {16, 9, 12}};
  for (const auto& d : dims) {
    const int m = d[0], k = d[1], n = d[2];
    MatP A(RandMat(g, m, k)), B(RandMat(g, k, n)), Bt(RandMat(g, n, k)), At2(RandMat(g, k, m));
    MatP C(_LM_m_mlt(A.get(), B.get(), nullptr, __LINE__, "mlt", &st));
    ASSERT_NE(C, nullptr);
    ExpectProduct(A.get(), false, B.get(), false, C.get());
    MatP D(_LM_mmtr_mlt(A.get(), Bt.get(), nullptr, __LINE__, "mmtr", &st));
    ASSERT_NE(D, nullptr);
    ExpectProduct(A.get(), false, Bt.get(), true, D.get());
    MatP E(_LM_mtrm_mlt(At2.get(), B.get(), nullptr, __LINE__, "mtrm", &st));
    ASSERT_NE(E, nullptr);
    ExpectProduct(At2.get(), true, B.get(), false, E.get());
    // An output of the right shape full of old values is overwritten, not added to.
    ASSERT_EQ(_LM_m_ones(C.get(), __LINE__, "ones", &st), C.get());
    ASSERT_EQ(_LM_m_mlt(A.get(), B.get(), C.get(), __LINE__, "mlt", &st), C.get());
    ExpectProduct(A.get(), false, B.get(), false, C.get());
    ASSERT_EQ(_LM_m_ones(E.get(), __LINE__, "ones", &st), E.get());
    ASSERT_EQ(_LM_mtrm_mlt(At2.get(), B.get(), E.get(), __LINE__, "mtrm", &st), E.get());
    ExpectProduct(At2.get(), true, B.get(), false, E.get());
  }
}

TEST(MatProducts, ZeroCoefficientsKeepInfinitiesOut) {
  int st = 0;
  MatP A(NewMat({{0, 1}, {2, 0}}));
  MatP B(NewMat({{kInf, kInf}, {3, 4}}));
  MatP C(_LM_m_mlt(A.get(), B.get(), nullptr, __LINE__, "mlt", &st));
  ASSERT_NE(C, nullptr);
  EXPECT_EQ(C->me[0][0], 3.0);  // row 0 never touches B's infinite row
  EXPECT_EQ(C->me[0][1], 4.0);
  EXPECT_EQ(C->me[1][0], kInf);
  MatP At(NewMat({{0, 2}, {1, 0}}));
  MatP D(_LM_mtrm_mlt(At.get(), B.get(), nullptr, __LINE__, "mtrm", &st));
  ASSERT_NE(D, nullptr);
  EXPECT_EQ(D->me[0][0], 3.0);
  EXPECT_EQ(D->me[0][1], 4.0);
}

TEST(MatProducts, Errors) {
  int st = 0;
  MatP A(NewMat({{1, 2}, {3, 4}})), B(NewMat({{1, 2, 3}}));
  const struct {
    MAT* (*fn)(MAT*, MAT*, MAT*, int, const char*, int*);
    const char* routine;
  } ops[] = {{_LM_m_mlt, "m_mlt"}, {_LM_mmtr_mlt, "mmtr_mlt"}, {_LM_mtrm_mlt, "mtrm_mlt"}};
  for (const auto& op : ops) {
    ErrWatch w;
    EXPECT_EQ(op.fn(A.get(), B.get(), nullptr, __LINE__, "p", &st), nullptr);
    EXPECT_EQ(w.last(), 1) << op.routine;
    EXPECT_EQ(w.routine(), op.routine);
    EXPECT_EQ(op.fn(A.get(), A.get(), A.get(), __LINE__, "p", &st), nullptr);
    EXPECT_EQ(w.last(), 12) << op.routine;
    EXPECT_EQ(op.fn(nullptr, A.get(), nullptr, __LINE__, "p", &st), nullptr);
    EXPECT_EQ(w.last(), 8) << op.routine;
    EXPECT_EQ(st, -1);
  }
}

TEST(MatVec, ProductOnEveryRowLayout) {
  std::mt19937 g(11);
  int st = 0;
  {  // packed rows, several shapes, and bᵀ·A
    for (auto mn : {std::pair<int, int>{1, 1}, {1, 7}, {7, 1}, {4, 6}, {33, 17}}) {
      MatP A(RandMat(g, mn.first, mn.second));
      VecP b(RandVec(g, mn.second)), c(RandVec(g, mn.first));
      VecP out(_LM_mv_mlt(A.get(), b.get(), nullptr, __LINE__, "mv", &st));
      ASSERT_NE(out, nullptr);
      EXPECT_EQ(out->dim, A->m);
      ExpectMatVec(A.get(), b.get(), out.get());
      VecP outT(_LM_vm_mlt(A.get(), c.get(), nullptr, __LINE__, "vm", &st));
      ASSERT_NE(outT, nullptr);
      ASSERT_EQ(outT->dim, A->n);
      for (unsigned j = 0; j < A->n; ++j) {
        double s = 0, bound = 0;
        for (unsigned i = 0; i < A->m; ++i) s += c->ve[i] * A->me[i][j], bound += std::fabs(c->ve[i] * A->me[i][j]);
        EXPECT_NEAR(outT->ve[j], s, 2 * (A->m + 1) * kEps * bound);
      }
    }
  }
  {  // narrowed by a resize: rows at the new column count, max_n kept
    MatP A(RandMat(g, 3, 5));
    MAT* R = _LM_m_resize("t", 0, A.get(), 3, 2, __LINE__, "r", &st);
    ASSERT_EQ(R, A.get());
    ASSERT_EQ(A->max_n, 5u);
    VecP b(RandVec(g, 2));
    VecP out(_LM_mv_mlt(A.get(), b.get(), nullptr, __LINE__, "mv", &st));
    ASSERT_NE(out, nullptr);
    ExpectMatVec(A.get(), b.get(), out.get());
  }
  {  // a smaller matrix copied into a larger one: rows keep the larger stride
    MatP small(RandMat(g, 2, 3));
    MatP big(RandMat(g, 4, 6));
    ASSERT_EQ(_LM__m_copy(small.get(), big.get(), 0, 0, __LINE__, "c", &st), big.get());
    ASSERT_EQ(big->m, 2u);
    VecP b(RandVec(g, 3));
    VecP out(_LM_mv_mlt(big.get(), b.get(), nullptr, __LINE__, "mv", &st));
    ASSERT_NE(out, nullptr);
    ExpectMatVec(small.get(), b.get(), out.get());
  }
  {  // a view: rows 1..3, columns 2..4 of a 5 x 6 matrix
    MatP A(RandMat(g, 5, 6));
    MatP V(_LM_sub_mat(A.get(), 1, 2, 3, 4, nullptr, __LINE__, "sub", &st));
    ASSERT_NE(V, nullptr);
    VecP b(RandVec(g, 3));
    VecP out(_LM_mv_mlt(V.get(), b.get(), nullptr, __LINE__, "mv", &st));
    ASSERT_NE(out, nullptr);
    ExpectMatVec(V.get(), b.get(), out.get());
  }
  {  // rows that do not lie at one stride
    MatP A(RandMat(g, 4, 3));
    std::swap(A->me[0], A->me[2]);
    VecP b(RandVec(g, 3));
    VecP out(_LM_mv_mlt(A.get(), b.get(), nullptr, __LINE__, "mv", &st));
    ASSERT_NE(out, nullptr);
    ExpectMatVec(A.get(), b.get(), out.get());
    std::swap(A->me[0], A->me[2]);
  }
  {  // no columns: the product is zero, whatever the output held
    MatP A(_LM_m_get("t", 0, 3, 0, __LINE__, "get", &st));
    VecP b(NewVec({}));
    VecP out(NewVec({5, 6, 7}));
    ASSERT_EQ(_LM_mv_mlt(A.get(), b.get(), out.get(), __LINE__, "mv", &st), out.get());
    EXPECT_EQ(Values(out.get()), (std::vector<double>{0, 0, 0}));
  }
}

TEST(MatVec, Errors) {
  int st = 0;
  MatP A(NewMat({{1, 2}, {3, 4}, {5, 6}}));
  VecP b2(NewVec({1, 1})), b3(NewVec({1, 1, 1}));
  ErrWatch w;
  EXPECT_EQ(_LM_mv_mlt(A.get(), b3.get(), nullptr, __LINE__, "mv", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "mv_mlt");
  EXPECT_EQ(_LM_mv_mlt(A.get(), b2.get(), b2.get(), __LINE__, "mv", &st), nullptr);
  EXPECT_EQ(w.last(), 12);
  EXPECT_EQ(_LM_vm_mlt(A.get(), b2.get(), nullptr, __LINE__, "vm", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "vm_mlt");
  EXPECT_EQ(_LM_vm_mlt(A.get(), b3.get(), b3.get(), __LINE__, "vm", &st), nullptr);
  EXPECT_EQ(w.last(), 12);
  EXPECT_EQ(_LM_vm_mlt(nullptr, b3.get(), nullptr, __LINE__, "vm", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
}

TEST(MatTranspose, InPlaceAndOutOfPlace) {
  int st = 0;
  MatP S(NewMat({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}));
  ASSERT_EQ(_LM_m_transp(S.get(), S.get(), __LINE__, "tr", &st), S.get());
  EXPECT_EQ(Rows(S.get()), (std::vector<double>{1, 4, 7, 2, 5, 8, 3, 6, 9}));
  MatP R(NewMat({{1, 2, 3}, {4, 5, 6}}));
  MatP T(_LM_m_transp(R.get(), nullptr, __LINE__, "tr", &st));
  ASSERT_NE(T, nullptr);
  EXPECT_EQ(T->m, 3u);
  EXPECT_EQ(T->n, 2u);
  EXPECT_EQ(Rows(T.get()), (std::vector<double>{1, 4, 2, 5, 3, 6}));
  ErrWatch w;
  EXPECT_EQ(_LM_m_transp(R.get(), R.get(), __LINE__, "tr", &st), nullptr);
  EXPECT_EQ(w.last(), 11);
  EXPECT_EQ(w.routine(), "m_transp");
  EXPECT_EQ(Rows(R.get()), (std::vector<double>{1, 2, 3, 4, 5, 6}));
}

TEST(MatSwap, RowsAndColumnsWithClampedRanges) {
  int st = 0;
  const std::vector<double> base{1, 2, 3, 4, 5, 6, 7, 8, 9};
  const struct {
    bool rows;
    int i, j, lo, hi;
    std::vector<double> want;
  } cases[] = {
      {true, 0, 2, 0, -1, {7, 8, 9, 4, 5, 6, 1, 2, 3}},   // whole rows
      {true, 0, 2, 1, 1, {1, 8, 3, 4, 5, 6, 7, 2, 9}},    // one column
      {true, 0, 2, -5, 99, {7, 8, 9, 4, 5, 6, 1, 2, 3}},  // clamped at both ends
      {true, 0, 2, 3, -1, base},                          // lo beyond the last column
      {true, 1, 1, 0, -1, base},                          // a row with itself
      {false, 0, 1, 0, -1, {2, 1, 3, 5, 4, 6, 8, 7, 9}},  // whole columns
      {false, 0, 2, 1, 2, {1, 2, 3, 6, 5, 4, 9, 8, 7}},
  };
  for (const auto& c : cases) {
    MatP A(NewMat(3, 3, base));
    MAT* r = c.rows ? _LM_swap_rows(A.get(), c.i, c.j, c.lo, c.hi, __LINE__, "sw", &st)
                    : _LM_swap_cols(A.get(), c.i, c.j, c.lo, c.hi, __LINE__, "sw", &st);
    ASSERT_EQ(r, A.get());
    EXPECT_EQ(Rows(A.get()), c.want) << c.rows << c.i << c.j << c.lo << c.hi;
  }
  // A matrix without columns: nothing to exchange, whatever hi says.
  MatP E(_LM_m_get("t", 0, 2, 0, __LINE__, "get", &st));
  EXPECT_EQ(_LM_swap_rows(E.get(), 0, 1, 0, 5, __LINE__, "sw", &st), E.get());
  ErrWatch w;
  MatP A(NewMat(3, 3, base));
  EXPECT_EQ(_LM_swap_rows(A.get(), 0, 3, 0, -1, __LINE__, "sw", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "swap_rows");
  EXPECT_EQ(_LM_swap_cols(A.get(), -1, 0, 0, -1, __LINE__, "sw", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "swap_cols");
  EXPECT_EQ(_LM_swap_rows(nullptr, 0, 0, 0, 0, __LINE__, "sw", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
}

TEST(MatMltadd, EveryPathGivesAPlusSB) {
  int st = 0;
  const std::vector<double> a{1, 2, 3, 4}, b{-1, 0.5, 2, -4};
  for (double s : {0.0, 1.0, 3.0, -0.5}) {
    std::vector<double> want(4), twice(4);
    for (int i = 0; i < 4; ++i) want[i] = a[i] + s * b[i], twice[i] = a[i] + s * a[i];
    {
      MatP A(NewMat(2, 2, a)), B(NewMat(2, 2, b));
      MatP C(_LM_ms_mltadd(A.get(), B.get(), s, nullptr, __LINE__, "ms", &st));
      ASSERT_NE(C, nullptr);
      EXPECT_EQ(Rows(C.get()), want) << s;
    }
    {
      MatP A(NewMat(2, 2, a)), B(NewMat(2, 2, b));
      ASSERT_EQ(_LM_ms_mltadd(A.get(), B.get(), s, B.get(), __LINE__, "ms", &st), B.get());
      EXPECT_EQ(Rows(B.get()), want) << s;
    }
    {
      MatP A(NewMat(2, 2, a)), B(NewMat(2, 2, b));
      ASSERT_EQ(_LM_ms_mltadd(A.get(), B.get(), s, A.get(), __LINE__, "ms", &st), A.get());
      EXPECT_EQ(Rows(A.get()), want) << s;
    }
    {
      MatP A(NewMat(2, 2, a));
      ASSERT_EQ(_LM_ms_mltadd(A.get(), A.get(), s, A.get(), __LINE__, "ms", &st), A.get());
      EXPECT_EQ(Rows(A.get()), twice) << s;
    }
  }
  ErrWatch w;
  MatP A(NewMat(2, 2, a)), C(NewMat({{1, 2}}));
  EXPECT_EQ(_LM_ms_mltadd(A.get(), C.get(), 2.0, nullptr, __LINE__, "ms", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "ms_mltadd");
}

TEST(MatVecMltadd, AgreeWithTheDefinition) {
  std::mt19937 g(5);
  int st = 0;
  MatP A(RandMat(g, 4, 3));
  VecP x(RandVec(g, 4)), y(RandVec(g, 3));
  for (double s : {0.0, 1.0, -2.5}) {
    VecP out(_LM_mv_mltadd(x.get(), y.get(), A.get(), s, nullptr, __LINE__, "mva", &st));
    ASSERT_NE(out, nullptr);
    for (unsigned i = 0; i < 4; ++i) {
      double p = 0, bound = std::fabs(x->ve[i]);
      for (unsigned j = 0; j < 3; ++j) p += A->me[i][j] * y->ve[j], bound += std::fabs(s * A->me[i][j] * y->ve[j]);
      EXPECT_NEAR(out->ve[i], x->ve[i] + s * p, 8 * kEps * bound);
    }
    // xᵀ + s·yᵀ·A with x of A.n entries and y of A.m entries.
    VecP xt(RandVec(g, 3)), yt(RandVec(g, 4));
    VecP outT(_LM_vm_mltadd(xt.get(), yt.get(), A.get(), s, nullptr, __LINE__, "vma", &st));
    ASSERT_NE(outT, nullptr);
    for (unsigned j = 0; j < 3; ++j) {
      double p = 0, bound = std::fabs(xt->ve[j]);
      for (unsigned i = 0; i < 4; ++i) p += yt->ve[i] * A->me[i][j], bound += std::fabs(s * yt->ve[i] * A->me[i][j]);
      EXPECT_NEAR(outT->ve[j], xt->ve[j] + s * p, 8 * kEps * bound);
    }
  }
  // out may be x: the result replaces x.
  const std::vector<double> x0 = Values(x.get());
  ASSERT_EQ(_LM_mv_mltadd(x.get(), y.get(), A.get(), 1.0, x.get(), __LINE__, "mva", &st), x.get());
  for (unsigned i = 0; i < 4; ++i) {
    double p = 0;
    for (unsigned j = 0; j < 3; ++j) p += A->me[i][j] * y->ve[j];
    EXPECT_NEAR(x->ve[i], x0[i] + p, 8 * kEps * 4);
  }
  ErrWatch w;
  EXPECT_EQ(_LM_mv_mltadd(x.get(), y.get(), A.get(), 1.0, y.get(), __LINE__, "mva", &st), nullptr);
  EXPECT_EQ(w.last(), 12);
  EXPECT_EQ(w.routine(), "mv_mltadd");
  EXPECT_EQ(_LM_mv_mltadd(y.get(), x.get(), A.get(), 1.0, nullptr, __LINE__, "mva", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(_LM_vm_mltadd(x.get(), y.get(), A.get(), 1.0, nullptr, __LINE__, "vma", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "vm_mltadd");
  EXPECT_EQ(_LM_vm_mltadd(x.get(), nullptr, A.get(), 1.0, nullptr, __LINE__, "vma", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
}

// Results of empty operands are empty: the resizers take a size of 0 as 1, but an output
// sized for a result keeps the result's true shape (an output handed in keeps its room).
TEST(MatOpEmpty, ResultsOfEmptyOperandsAreEmpty) {
  int st = 0;
  MAT* A = _LM_m_get("t", 0, 2, 2, __LINE__, "t", &st);
  MAT* B = _LM_m_get("t", 0, 2, 0, __LINE__, "t", &st);
  MAT* P = _LM_m_mlt(A, B, nullptr, __LINE__, "t", &st);
  ASSERT_NE(P, nullptr);
  EXPECT_EQ(P->m, 2u);
  EXPECT_EQ(P->n, 0u);
  MAT* O = _LM_m_get("t", 0, 3, 3, __LINE__, "t", &st);
  O->me[0][0] = 5.0;
  MAT* S = _LM_m_add(B, B, O, __LINE__, "t", &st);
  ASSERT_EQ(S, O);
  EXPECT_EQ(S->m, 2u);
  EXPECT_EQ(S->n, 0u);
  MAT* C = _LM__m_copy(B, nullptr, 0, 0, __LINE__, "t", &st);
  ASSERT_NE(C, nullptr);
  EXPECT_EQ(C->n, 0u);
  VEC* x = _LM_v_get("t", 0, 2, __LINE__, "t", &st);
  VEC* y = _LM_vm_mlt(B, x, nullptr, __LINE__, "t", &st);
  ASSERT_NE(y, nullptr);
  EXPECT_EQ(y->dim, 0u);
  for (MAT* M : {A, B, P, S, C}) m_free(M);
  v_free(x);
  v_free(y);
}

// x + s*A*y and x + s*y^T*A whose weight s*y[j] or row product leaves the range of double
// while the weighted sum does not: the finite result is kept, and an infinite entry still
// reaches the result when its weight underflows. Checked against long double, where none of
// these terms leaves the range.
TEST(MatVecMltadd, AWeightOrProductBeyondTheRangeKeepsAFiniteResult) {
  using LD = long double;
  int st = 0;
  // y^T*A: s*y[0] = 2^56 * 1.5e308 overflows, its product with a subnormal entry does not.
  {
    MatP A(_LM_m_get("t", 0, 2, 1, __LINE__, "t", &st));
    A->me[0][0] = -std::ldexp(1.0, -1070);
    A->me[1][0] = 3.0;
    VecP x(_LM_v_get("t", 0, 1, __LINE__, "t", &st)), y(_LM_v_get("t", 0, 2, __LINE__, "t", &st));
    x->ve[0] = 1.0;
    y->ve[0] = 1.5e308;
    y->ve[1] = 1.0;
    const double s = std::ldexp(1.0, 56);
    VecP out(_LM_vm_mltadd(x.get(), y.get(), A.get(), s, nullptr, __LINE__, "vma", &st));
    ASSERT_NE(out, nullptr);
    const LD want = 1.0L + (LD)s * ((LD)A->me[0][0] * (LD)y->ve[0] + 3.0L);
    ASSERT_TRUE(std::isfinite(out->ve[0]));
    EXPECT_NEAR(out->ve[0], (double)want, 4 * kEps * std::fabs((double)want));
    // The real value by hand: -1.5e308 * 2^-1014 + 3 * 2^56 + 1 = -20.79... + 2.16e17 + 1.
    EXPECT_NEAR(out->ve[0], -1.5e308 * std::ldexp(1.0, -1014) + 3.0 * s + 1.0, 64.0);
  }
  // y^T*A: s*y[0] underflows to zero, but its product with an infinite entry is -inf.
  {
    MatP A(_LM_m_get("t", 0, 1, 2, __LINE__, "t", &st));
    A->me[0][0] = kInf;
    A->me[0][1] = 2.0;
    VecP x(_LM_v_get("t", 0, 2, __LINE__, "t", &st)), y(_LM_v_get("t", 0, 1, __LINE__, "t", &st));
    x->ve[1] = 5.0;
    y->ve[0] = 1e-300;
    const double s = -std::numeric_limits<double>::denorm_min();
    VecP out(_LM_vm_mltadd(x.get(), y.get(), A.get(), s, nullptr, __LINE__, "vma", &st));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->ve[0], -kInf);
    EXPECT_EQ(out->ve[1], 5.0);
  }
  // A*y: the row's product 2e308 overflows, a quarter of it does not.
  {
    MatP A(_LM_m_get("t", 0, 2, 2, __LINE__, "t", &st));
    A->me[0][0] = A->me[0][1] = 1e308;
    A->me[1][0] = kInf;
    A->me[1][1] = 1.0;
    VecP x(_LM_v_get("t", 0, 2, __LINE__, "t", &st)), y(_LM_v_get("t", 0, 2, __LINE__, "t", &st));
    x->ve[0] = 1.0;
    x->ve[1] = 1.0;
    y->ve[0] = y->ve[1] = 1.0;
    VecP out(_LM_mv_mltadd(x.get(), y.get(), A.get(), 0.25, nullptr, __LINE__, "mva", &st));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->ve[0], 5e307);  // 0.25 * 2e308 + 1 rounds to 5e307
    EXPECT_EQ(out->ve[1], kInf);   // an infinite entry with s != 0 stays infinite
  }
  // Ordinary weights keep the plain kernel's result bit for bit.
  {
    std::mt19937 g(11);
    MatP A(RandMat(g, 3, 4));
    VecP x(RandVec(g, 4)), y(RandVec(g, 3));
    const double s = -1.75;
    VecP out(_LM_vm_mltadd(x.get(), y.get(), A.get(), s, nullptr, __LINE__, "vma", &st));
    ASSERT_NE(out, nullptr);
    std::vector<double> r = Values(x.get());
    for (unsigned i = 0; i < 3; ++i) __mltadd__(r.data(), A->me[i], s * y->ve[i], 4);
    for (unsigned j = 0; j < 4; ++j) EXPECT_EQ(out->ve[j], r[j]) << j;
  }
}
