// Tests of the complex matrix operations: sums, scaling, the three products and the two
// matrix-vector products (with adjoints where named), the multiply-adds, the adjoint in and
// out of place, row and column exchange and access; numbers are checked against direct
// std::complex sums.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "cmat_complex.h"
#include "cmat_support.h"
#include "zmatrix.h"

using namespace cmat_test;

namespace {

const char kTag[] = "test";

ZMAT* RandomMat(int m, int n, unsigned seed) { return RandomZMat(m, n, seed, 2.0); }
ZVEC* RandomVec(int n, unsigned seed) { return RandomZVec(n, seed, 2.0); }

C At(const ZMAT* A, unsigned i, unsigned j) { return S(A->me[i][j]); }

void ExpectMat(const ZMAT* A, unsigned m, unsigned n, const std::vector<C>& want, double tol) {
  ASSERT_NE(A, nullptr);
  ASSERT_EQ(A->m, m);
  ASSERT_EQ(A->n, n);
  for (unsigned i = 0; i < m; ++i)
    for (unsigned j = 0; j < n; ++j) {
      if (tol == 0.0)
        EXPECT_EQ(At(A, i, j), want[i * n + j]) << i << "," << j;
      else
        EXPECT_LE(std::abs(At(A, i, j) - want[i * n + j]), tol) << i << "," << j;
    }
}

const double kTol = 64 * DBL_EPSILON;

}  // namespace

TEST(ZMatOp, SumDifferenceAndScaling) {
  int st = 0;
  ZMAT* A = RandomMat(3, 4, 1);
  ZMAT* B = RandomMat(3, 4, 2);
  std::vector<C> sum(12), diff(12), scaled(12);
  const C s(0.5, -2.0);
  for (unsigned i = 0; i < 3; ++i)
    for (unsigned j = 0; j < 4; ++j) {
      sum[i * 4 + j] = At(A, i, j) + At(B, i, j);
      diff[i * 4 + j] = At(A, i, j) - At(B, i, j);
      scaled[i * 4 + j] = s * At(A, i, j);
    }
  ZMAT* out = _LM_zm_add(A, B, nullptr, __LINE__, "t", &st);
  ExpectMat(out, 3, 4, sum, 0.0);
  out = _LM_zm_sub(A, B, out, __LINE__, "t", &st);
  ExpectMat(out, 3, 4, diff, 0.0);
  out = _LM_zsm_mlt(Z(0.5, -2.0), A, out, __LINE__, "t", &st);
  ExpectMat(out, 3, 4, scaled, kTol);
  // In place on B; an output of another shape is resized.
  ZMAT* other = RandomMat(1, 1, 3);
  ASSERT_NE((other = _LM_zm_add(A, B, other, __LINE__, "t", &st)), nullptr);
  ExpectMat(other, 3, 4, sum, 0.0);
  ASSERT_EQ(_LM_zm_sub(A, B, B, __LINE__, "t", &st), B);
  ExpectMat(B, 3, 4, diff, 0.0);
  // No shortcut in the matrix scaling: 0 times an infinity is a NaN.
  A->me[0][0] = Z(INFINITY, 0);
  out = _LM_zsm_mlt(Z(0, 0), A, out, __LINE__, "t", &st);
  EXPECT_TRUE(std::isnan(out->me[0][0].re));
  ZMAT* wide = RandomMat(3, 5, 4);
  ErrWatch w;
  EXPECT_EQ(_LM_zm_add(A, wide, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "zm_add");
  EXPECT_EQ(_LM_zm_sub(nullptr, B, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(_LM_zsm_mlt(Z(1, 0), nullptr, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  zm_free_vars(&A, &B, &out, &other, &wide, nullptr);
}

TEST(ZMatOp, ProductsOfSingleEntries) {
  int st = 0;
  ZMAT* A = NewZMat({{C(0, 1)}});
  ZMAT* B = NewZMat({{C(0, 1)}});
  ZMAT* out = _LM_zmma_mlt(A, B, nullptr, __LINE__, "t", &st);
  ExpectMat(out, 1, 1, {C(1, 0)}, 0.0);
  out = _LM_zmam_mlt(A, B, out, __LINE__, "t", &st);
  ExpectMat(out, 1, 1, {C(1, 0)}, 0.0);
  out = _LM_zm_mlt(A, B, out, __LINE__, "t", &st);
  ExpectMat(out, 1, 1, {C(-1, 0)}, 0.0);
  ZVEC* b = _LM_zv_get(kTag, 0, 1, __LINE__, "t", &st);
  b->ve[0] = Z(1, 0);
  ZVEC* v = _LM_zvm_mlt(A, b, nullptr, __LINE__, "t", &st);
  EXPECT_EQ(S(v->ve[0]), C(0, -1));
  v = _LM_zmv_mlt(A, b, v, __LINE__, "t", &st);
  EXPECT_EQ(S(v->ve[0]), C(0, 1));
  zm_free_vars(&A, &B, &out, nullptr);
  zv_free_vars(&b, &v, nullptr);
}

TEST(ZMatOp, ProductsAgainstDirectSums) {
  int st = 0;
  ZMAT* A = RandomMat(3, 4, 10);
  ZMAT* B = RandomMat(4, 2, 11);
  ZMAT* Bt = RandomMat(5, 4, 12);  // for A * B*
  ZMAT* Am = RandomMat(3, 2, 13);  // for A* * Am
  A->me[1][2] = Z(0, 0);           // a skipped coefficient
  B->me[2][0] = Z(INFINITY, 0);    // only reached through that coefficient
  std::vector<C> ab(3 * 2), abh(3 * 5), ahb(4 * 2);
  for (unsigned i = 0; i < 3; ++i)
    for (unsigned j = 0; j < 2; ++j)
      for (unsigned k = 0; k < 4; ++k)
        if (!(i == 1 && k == 2)) ab[i * 2 + j] += At(A, i, k) * At(B, k, j);
  for (unsigned i = 0; i < 3; ++i)
    for (unsigned j = 0; j < 5; ++j)
      for (unsigned k = 0; k < 4; ++k) abh[i * 5 + j] += At(A, i, k) * std::conj(At(Bt, j, k));
  for (unsigned i = 0; i < 4; ++i)
    for (unsigned j = 0; j < 2; ++j)
      for (unsigned k = 0; k < 3; ++k) ahb[i * 2 + j] += std::conj(At(A, k, i)) * At(Am, k, j);
  ZMAT* out = _LM_zm_mlt(A, B, nullptr, __LINE__, "t", &st);
  EXPECT_TRUE(std::isfinite(out->me[1][0].re));  // the infinity stays out of row 1
  EXPECT_TRUE(std::isinf(out->me[0][0].re));
  for (unsigned i = 0; i < 3; ++i)
    for (unsigned j = 0; j < 2; ++j)
      if (j == 1 || i == 1) {
        EXPECT_LE(std::abs(At(out, i, j) - ab[i * 2 + j]), kTol);
      }
  ZMAT* out2 = _LM_zmma_mlt(A, Bt, nullptr, __LINE__, "t", &st);
  ExpectMat(out2, 3, 5, abh, kTol);
  ZMAT* out3 = _LM_zmam_mlt(A, Am, nullptr, __LINE__, "t", &st);
  ExpectMat(out3, 4, 2, ahb, kTol);

  // Matrix-vector products: A*b and A* * c.
  A->me[1][2] = Z(0.25, 0.5);
  ZVEC* b = RandomVec(4, 14);
  ZVEC* c = RandomVec(3, 15);
  ZVEC* y = _LM_zmv_mlt(A, b, nullptr, __LINE__, "t", &st);
  ZVEC* z = _LM_zvm_mlt(A, c, nullptr, __LINE__, "t", &st);
  ASSERT_EQ(y->dim, 3u);
  ASSERT_EQ(z->dim, 4u);
  for (unsigned i = 0; i < 3; ++i) {
    C want = 0;
    for (unsigned k = 0; k < 4; ++k) want += At(A, i, k) * S(b->ve[k]);
    EXPECT_LE(std::abs(S(y->ve[i]) - want), kTol);
  }
  for (unsigned k = 0; k < 4; ++k) {
    C want = 0;
    for (unsigned i = 0; i < 3; ++i) want += S(c->ve[i]) * std::conj(At(A, i, k));
    EXPECT_LE(std::abs(S(z->ve[k]) - want), kTol);
  }
  ErrWatch w;
  EXPECT_EQ(_LM_zm_mlt(A, A, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(_LM_zm_mlt(A, B, A, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 12);
  EXPECT_EQ(_LM_zmma_mlt(A, B, B, __LINE__, "t", &st), nullptr);  // 12 comes before 1
  EXPECT_EQ(w.last(), 12);
  EXPECT_EQ(_LM_zmam_mlt(A, B, out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "zmam_mlt");
  EXPECT_EQ(_LM_zmv_mlt(A, c, y, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(_LM_zmv_mlt(A, b, b, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 12);
  EXPECT_EQ(_LM_zvm_mlt(A, b, z, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(_LM_zvm_mlt(nullptr, c, z, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  zm_free_vars(&A, &B, &Bt, &Am, &out, &out2, &out3, nullptr);
  zv_free_vars(&b, &c, &y, &z, nullptr);
}

TEST(ZMatOp, AdjointInAndOutOfPlace) {
  int st = 0;
  ZMAT* A = NewZMat({{C(1, 0), C(0, 1)}, {C(2, 0), C(3, 0)}});
  ASSERT_EQ(_LM_zm_adjoint(A, A, __LINE__, "t", &st), A);
  ExpectMat(A, 2, 2, {C(1, 0), C(2, 0), C(0, -1), C(3, 0)}, 0.0);
  // Every imaginary part went through a conjugation: the real entries carry -0.0.
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) EXPECT_TRUE(std::signbit(A->me[i][j].im)) << i << j;
  ZMAT* R = RandomMat(2, 3, 20);
  ZMAT* out = _LM_zm_adjoint(R, nullptr, __LINE__, "t", &st);
  ASSERT_EQ(out->m, 3u);
  ASSERT_EQ(out->n, 2u);
  for (unsigned i = 0; i < 2; ++i)
    for (unsigned j = 0; j < 3; ++j) EXPECT_EQ(At(out, j, i), std::conj(At(R, i, j)));
  ErrWatch w;
  EXPECT_EQ(_LM_zm_adjoint(R, R, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 11);
  EXPECT_EQ(w.routine(), "zm_adjoint");
  zm_free_vars(&A, &R, &out, nullptr);
}

TEST(ZMatOp, RowAndColumnExchangeClampTheirRange) {
  int st = 0;
  ZMAT* A = NewZMat({{C(1, 0), C(2, 0), C(3, 0)}, {C(4, 0), C(5, 0), C(6, 0)}});
  ASSERT_EQ(_LM_zswap_rows(A, 0, 1, 0, -1, __LINE__, "t", &st), A);
  ExpectMat(A, 2, 3, {C(4, 0), C(5, 0), C(6, 0), C(1, 0), C(2, 0), C(3, 0)}, 0.0);
  ASSERT_EQ(_LM_zswap_rows(A, 0, 1, -4, 1, __LINE__, "t", &st), A);
  ExpectMat(A, 2, 3, {C(1, 0), C(2, 0), C(6, 0), C(4, 0), C(5, 0), C(3, 0)}, 0.0);
  ASSERT_EQ(_LM_zswap_rows(A, 0, 1, 3, 9, __LINE__, "t", &st), A);  // lo beyond: nothing
  ASSERT_EQ(_LM_zswap_cols(A, 0, 2, 1, 99, __LINE__, "t", &st), A);
  ExpectMat(A, 2, 3, {C(1, 0), C(2, 0), C(6, 0), C(3, 0), C(5, 0), C(4, 0)}, 0.0);
  ErrWatch w;
  EXPECT_EQ(_LM_zswap_rows(A, 0, 2, 0, -1, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "swap_rows");
  EXPECT_EQ(_LM_zswap_cols(A, -1, 0, 0, -1, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "swap_cols");
  EXPECT_EQ(_LM_zswap_cols(nullptr, 0, 0, 0, 0, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  zm_free(A);
}

TEST(ZMatOp, MatrixMultiplyAddsWithEveryOutputChoice) {
  int st = 0;
  const C s(-0.5, 1.5);
  for (auto fn : {_LM_zm_mltadd, _LM_mz_mltadd}) {
    ZMAT* A = RandomMat(3, 3, 30);
    ZMAT* B = RandomMat(3, 3, 31);
    std::vector<C> want(9), plus(9);
    for (unsigned i = 0; i < 3; ++i)
      for (unsigned j = 0; j < 3; ++j) {
        want[i * 3 + j] = At(A, i, j) + s * At(B, i, j);
        plus[i * 3 + j] = At(A, i, j) + At(B, i, j);
      }
    ZMAT* out = fn(A, B, Z(-0.5, 1.5), nullptr, __LINE__, "t", &st);
    ExpectMat(out, 3, 3, want, kTol);
    out = fn(A, B, Z(1, 0), out, __LINE__, "t", &st);
    ExpectMat(out, 3, 3, plus, 0.0);
    ZMAT* Bc = _LM__zm_copy(B, nullptr, 0, 0, __LINE__, "t", &st);
    ASSERT_EQ(fn(A, Bc, Z(-0.5, 1.5), Bc, __LINE__, "t", &st), Bc);  // out is B
    ExpectMat(Bc, 3, 3, want, kTol);
    ZMAT* Ac = _LM__zm_copy(A, nullptr, 0, 0, __LINE__, "t", &st);
    ASSERT_EQ(fn(Ac, B, Z(-0.5, 1.5), Ac, __LINE__, "t", &st), Ac);  // out is A
    ExpectMat(Ac, 3, 3, want, kTol);
    ASSERT_EQ(fn(A, B, Z(0, 0), Ac, __LINE__, "t", &st), Ac);        // s = 0: a copy of A
    for (unsigned i = 0; i < 3; ++i)
      for (unsigned j = 0; j < 3; ++j) EXPECT_EQ(At(Ac, i, j), At(A, i, j));
    ZMAT* wide = RandomMat(3, 4, 32);
    ErrWatch w;
    EXPECT_EQ(fn(A, wide, Z(2, 0), out, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 1);
    EXPECT_EQ(fn(A, nullptr, Z(2, 0), out, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 8);
    zm_free_vars(&A, &B, &out, &Bc, &Ac, &wide, nullptr);
  }
}

TEST(ZMatOp, VectorMultiplyAdds) {
  int st = 0;
  const C s(2.0, -1.0);
  ZMAT* A = RandomMat(3, 4, 40);
  ZVEC* x3 = RandomVec(3, 41);
  ZVEC* y4 = RandomVec(4, 42);
  ZVEC* x4 = RandomVec(4, 43);
  ZVEC* y3 = RandomVec(3, 44);
  ZVEC* out = _LM_zmv_mltadd(x3, y4, A, Z(2.0, -1.0), nullptr, __LINE__, "t", &st);
  ASSERT_EQ(out->dim, 3u);
  for (unsigned i = 0; i < 3; ++i) {
    C t = 0;
    for (unsigned k = 0; k < 4; ++k) t += At(A, i, k) * S(y4->ve[k]);
    EXPECT_LE(std::abs(S(out->ve[i]) - (S(x3->ve[i]) + s * t)), kTol);
  }
  ZVEC* out2 = _LM_zvm_mltadd(x4, y3, A, Z(2.0, -1.0), nullptr, __LINE__, "t", &st);
  ASSERT_EQ(out2->dim, 4u);
  for (unsigned k = 0; k < 4; ++k) {
    C t = 0;
    for (unsigned i = 0; i < 3; ++i) t += S(y3->ve[i]) * std::conj(At(A, i, k));
    EXPECT_LE(std::abs(S(out2->ve[k]) - (S(x4->ve[k]) + s * t)), kTol);
  }
  // s = 0 copies x exactly; out may be x.
  out = _LM_zmv_mltadd(x3, y4, A, Z(0, 0), out, __LINE__, "t", &st);
  for (unsigned i = 0; i < 3; ++i) EXPECT_EQ(S(out->ve[i]), S(x3->ve[i]));
  ASSERT_EQ(_LM_zvm_mltadd(x4, y3, A, Z(2.0, -1.0), x4, __LINE__, "t", &st), x4);
  for (unsigned k = 0; k < 4; ++k) EXPECT_LE(std::abs(S(x4->ve[k]) - S(out2->ve[k])), kTol);
  ErrWatch w;
  EXPECT_EQ(_LM_zmv_mltadd(x3, y4, A, Z(1, 0), y4, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 12);
  EXPECT_EQ(_LM_zmv_mltadd(x4, y4, A, Z(1, 0), out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(_LM_zvm_mltadd(x3, y3, A, Z(1, 0), out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "zvm_mltadd");
  EXPECT_EQ(_LM_zvm_mltadd(x4, y3, nullptr, Z(1, 0), out, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  zm_free(A);
  zv_free_vars(&x3, &y4, &x4, &y3, &out, &out2, nullptr);
}

// The matrix multiply-adds and every product that accumulates through the complex kernels
// take zmlt's product: with s*y's partial products beyond the double range and one of its
// parts within it, each 1 x 1 case gives zmlt's value (a long-double product's, to the
// seven digits the cancelling part keeps), conjugated where the operation conjugates.
TEST(ZMatOp, MultiplyAddsAndProductsTakeZmltsProduct) {
  const ::complex s = Z(kBigS.real(), kBigS.imag()), y = Z(kBigY.real(), kBigY.imag());
  const C plain = WideProduct(kBigS, kBigY);                // s * y
  const C conjY = WideProduct(kBigS, std::conj(kBigY));     // s * conj(y)
  const C conjS = WideProduct(std::conj(kBigS), kBigY);     // conj(s) * y
  int st = 0;
  ZMAT* zero = NewZMat({{C(0, 0)}});
  ZMAT* Y = NewZMat({{kBigY}});
  ZMAT* Sm = NewZMat({{kBigS}});
  ZMAT* Sc = NewZMat({{std::conj(kBigS)}});
  ZVEC* vs = NewZVec({kBigS});
  ZVEC* vy = NewZVec({kBigY});
  ZVEC* v0 = NewZVec({C(0, 0)});
  ZVEC* v1 = NewZVec({C(1, 0)});
  ZMAT* zmMltadd = _LM_zm_mltadd(zero, Y, s, nullptr, __LINE__, "t", &st);
  ZMAT* mzMltadd = _LM_mz_mltadd(zero, Y, s, nullptr, __LINE__, "t", &st);
  ZMAT* mlt = _LM_zm_mlt(Sm, Y, nullptr, __LINE__, "t", &st);
  ZMAT* mam = _LM_zmam_mlt(Sc, Y, nullptr, __LINE__, "t", &st);  // conj(conj(s)) * y
  ZMAT* mma = _LM_zmma_mlt(Y, Sm, nullptr, __LINE__, "t", &st);  // y * conj(s)
  ZVEC* mv = _LM_zmv_mlt(Sm, vy, nullptr, __LINE__, "t", &st);
  ZVEC* vm = _LM_zvm_mlt(Y, vs, nullptr, __LINE__, "t", &st);  // s * conj(y)
  ZVEC* mvAdd = _LM_zmv_mltadd(v0, v1, Y, s, nullptr, __LINE__, "t", &st);
  ZVEC* vmAdd = _LM_zvm_mltadd(v0, v1, Y, s, nullptr, __LINE__, "t", &st);  // s * conj(y)
  EXPECT_EQ(st, 0);
  const ::complex ys = zconj(y), sc = zconj(s);
  const struct {
    const char* what;
    const ::complex* got;
    C want, exact;
  } cases[] = {
      {"zm_mltadd", zmMltadd != nullptr ? &zmMltadd->me[0][0] : nullptr, plain, S(zmlt(s, y))},
      {"mz_mltadd", mzMltadd != nullptr ? &mzMltadd->me[0][0] : nullptr, plain, S(zmlt(s, y))},
      {"zm_mlt", mlt != nullptr ? &mlt->me[0][0] : nullptr, plain, S(zmlt(s, y))},
      {"zmam_mlt", mam != nullptr ? &mam->me[0][0] : nullptr, plain, S(zmlt(s, y))},
      {"zmma_mlt", mma != nullptr ? &mma->me[0][0] : nullptr, conjS, S(zmlt(sc, y))},
      {"zmv_mlt", mv != nullptr ? &mv->ve[0] : nullptr, plain, S(zmlt(s, y))},
      {"zvm_mlt", vm != nullptr ? &vm->ve[0] : nullptr, conjY, S(zmlt(s, ys))},
      {"zmv_mltadd", mvAdd != nullptr ? &mvAdd->ve[0] : nullptr, plain, S(zmlt(s, y))},
      {"zvm_mltadd", vmAdd != nullptr ? &vmAdd->ve[0] : nullptr, conjY, S(zmlt(s, ys))},
  };
  for (const auto& c : cases) {
    ASSERT_NE(c.got, nullptr) << c.what;
    EXPECT_TRUE(NearWide(S(*c.got), c.want, 1e-6)) << c.what << ": " << S(*c.got) << " vs " << c.want;
    EXPECT_EQ(S(*c.got), c.exact) << c.what;
  }
  zm_free_vars(&zero, &Y, &Sm, &Sc, &zmMltadd, &mzMltadd, &mlt, &mam, &mma, nullptr);
  zv_free_vars(&vs, &vy, &v0, &v1, &mv, &vm, &mvAdd, &vmAdd, nullptr);
}

TEST(ZMatOp, RowAndColumnAccess) {
  int st = 0;
  ZMAT* A = RandomMat(3, 2, 50);
  ZVEC* col = _LM_zget_col(A, 1, nullptr, __LINE__, "t", &st);
  ASSERT_EQ(col->dim, 3u);
  for (unsigned i = 0; i < 3; ++i) EXPECT_EQ(S(col->ve[i]), At(A, i, 1));
  // A longer output keeps its dim and its entries beyond A.m.
  ZVEC* longv = RandomVec(5, 51);
  const C tail = S(longv->ve[4]);
  ASSERT_EQ(_LM_zget_col(A, 0, longv, __LINE__, "t", &st), longv);
  EXPECT_EQ(longv->dim, 5u);
  EXPECT_EQ(S(longv->ve[2]), At(A, 2, 0));
  EXPECT_EQ(S(longv->ve[4]), tail);
  ZVEC* row = _LM_zget_row(A, 2, nullptr, __LINE__, "t", &st);
  ASSERT_EQ(row->dim, 2u);
  EXPECT_EQ(S(row->ve[1]), At(A, 2, 1));
  // Setting a column from a longer vector writes A.m entries; from a shorter, its own.
  ASSERT_EQ(_LM_zset_col(A, 0, longv, __LINE__, "t", &st), A);
  for (unsigned i = 0; i < 3; ++i) EXPECT_EQ(At(A, i, 0), S(longv->ve[i]));
  ZVEC* one = RandomVec(1, 52);
  const C keep = At(A, 1, 1);
  ASSERT_EQ(_LM_zset_col(A, 1, one, __LINE__, "t", &st), A);
  EXPECT_EQ(At(A, 0, 1), S(one->ve[0]));
  EXPECT_EQ(At(A, 1, 1), keep);
  ASSERT_EQ(_LM_zset_row(A, 1, longv, __LINE__, "t", &st), A);
  EXPECT_EQ(At(A, 1, 1), S(longv->ve[1]));
  ErrWatch w;
  EXPECT_EQ(_LM_zget_col(A, 2, col, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 10);
  EXPECT_EQ(w.routine(), "zget_col");
  EXPECT_EQ(_LM_zget_row(A, -1, col, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 10);
  EXPECT_EQ(_LM_zset_row(A, 3, one, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 10);
  EXPECT_EQ(_LM_zset_col(A, 0, nullptr, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  zm_free(A);
  zv_free_vars(&col, &longv, &row, &one, nullptr);
}

TEST(ZMatOp, RandomFillDrawsRowByRow) {
  int st = 0;
  double want[110];
  smrand(777);
  mrandlist(want, 110);
  smrand(777);
  // 5 x 11 elements: 110 draws, each row's real and imaginary parts in turn.
  ZMAT* A = _LM_zm_get(kTag, 0, 5, 11, __LINE__, "t", &st);
  ASSERT_EQ(_LM_zm_rand(A, __LINE__, "t", &st), A);
  for (unsigned i = 0; i < 5; ++i)
    for (unsigned j = 0; j < 11; ++j) {
      EXPECT_EQ(A->me[i][j].re, want[2 * (i * 11 + j)]);
      EXPECT_EQ(A->me[i][j].im, want[2 * (i * 11 + j) + 1]);
    }
  ErrWatch w;
  EXPECT_EQ(_LM_zm_rand(nullptr, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  zm_free(A);
}

// x + s*A*y and x + s*A^H*y whose weight y[i]*s or row product leaves the range of double
// while the weighted sum does not: the finite result is kept (checked against long double,
// where no term leaves the range), and an infinite entry still reaches the result when its
// weight underflows to zero.
TEST(ZMatOp, VectorMultiplyAddsKeepAFiniteResultBeyondAWeightsRange) {
  using LC = std::complex<long double>;
  int st = 0;
  const double tiny = std::ldexp(1.0, -1070);
  // A^H y: y[0]*s = 2^56 * 1.5e308 overflows, its product with a subnormal entry does not.
  {
    ZMAT* A = _LM_zm_get("t", 0, 2, 1, __LINE__, "t", &st);
    A->me[0][0] = Z(-tiny, tiny);
    A->me[1][0] = Z(3.0, 0.0);
    ZVEC* x = _LM_zv_get("t", 0, 1, __LINE__, "t", &st);
    ZVEC* y = _LM_zv_get("t", 0, 2, __LINE__, "t", &st);
    x->ve[0] = Z(1.0, 0.0);
    y->ve[0] = Z(1.5e308, 0.0);
    y->ve[1] = Z(1.0, 0.0);
    const double s = std::ldexp(1.0, 56);
    ZVEC* out = _LM_zvm_mltadd(x, y, A, Z(s, 0.0), nullptr, __LINE__, "t", &st);
    ASSERT_NE(out, nullptr);
    const LC want = LC(1.0L) + (LC)s * (LC(1.5e308L) * std::conj(LC(-tiny, tiny)) + LC(3.0L));
    // By hand: re = 1 + 2^56 (-1.5e308 * 2^-1070 + 3) = 1 - 20.79 + 3 * 2^56, im = -20.79.
    EXPECT_NEAR((double)want.imag(), -1.5e308 * std::ldexp(1.0, -1014), 1e-12);
    EXPECT_NEAR(out->ve[0].re, (double)want.real(), 4 * DBL_EPSILON * std::fabs((double)want.real()));
    EXPECT_NEAR(out->ve[0].im, (double)want.imag(), 4 * DBL_EPSILON * std::fabs((double)want.imag()));
    zm_free(A);
    zv_free_vars(&x, &y, &out, nullptr);
  }
  // A^H y: y[0]*s underflows to zero; its product with an infinite entry is not zero.
  {
    ZMAT* A = _LM_zm_get("t", 0, 1, 2, __LINE__, "t", &st);
    A->me[0][0] = Z(HUGE_VAL, 0.0);
    A->me[0][1] = Z(2.0, 0.0);
    ZVEC* x = _LM_zv_get("t", 0, 2, __LINE__, "t", &st);
    ZVEC* y = _LM_zv_get("t", 0, 1, __LINE__, "t", &st);
    x->ve[1] = Z(5.0, 0.0);
    y->ve[0] = Z(1e-300, 0.0);
    ZVEC* out = _LM_zvm_mltadd(x, y, A, Z(-4.9406564584124654e-324, 0.0), nullptr, __LINE__, "t", &st);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->ve[0].re, -HUGE_VAL);
    EXPECT_EQ(out->ve[1].re, 5.0);
    EXPECT_EQ(out->ve[1].im, 0.0);
    zm_free(A);
    zv_free_vars(&x, &y, &out, nullptr);
  }
  // A y: the row's product 2e308 overflows, a quarter of it does not.
  {
    ZMAT* A = _LM_zm_get("t", 0, 1, 2, __LINE__, "t", &st);
    A->me[0][0] = A->me[0][1] = Z(1e308, 0.0);
    ZVEC* x = _LM_zv_get("t", 0, 1, __LINE__, "t", &st);
    ZVEC* y = _LM_zv_get("t", 0, 2, __LINE__, "t", &st);
    x->ve[0] = Z(1.0, 0.0);
    y->ve[0] = y->ve[1] = Z(1.0, 0.0);
    ZVEC* out = _LM_zmv_mltadd(x, y, A, Z(0.25, 0.0), nullptr, __LINE__, "t", &st);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->ve[0].re, 5e307);
    EXPECT_EQ(out->ve[0].im, 0.0);
    zm_free(A);
    zv_free_vars(&x, &y, &out, nullptr);
  }
}
