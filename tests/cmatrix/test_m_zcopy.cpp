// Tests of the copies and block moves between complex vectors and matrices: sizes of the
// output, values kept outside the copied part, refused offsets and in-place moves.
#include <gtest/gtest.h>

#include "cmat_support.h"
#include "zmatrix.h"

using cmat_test::ErrWatch;

namespace {

const char kTag[] = "test";

ZVEC* Vec(std::initializer_list<double> re) {
  int st = 0;
  ZVEC* v = _LM_zv_get(kTag, 0, static_cast<int>(re.size()), __LINE__, "Vec", &st);
  int i = 0;
  for (double r : re) {
    v->ve[i] = zmake(r, -r);
    ++i;
  }
  return v;
}

// m x n matrix with A(i, j) = (10 i + j + 1, i - j).
ZMAT* Mat(int m, int n) {
  int st = 0;
  ZMAT* A = _LM_zm_get(kTag, 0, m, n, __LINE__, "Mat", &st);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) A->me[i][j] = zmake(10.0 * i + j + 1, i - j);
  return A;
}

void ExpectZ(const ::complex& z, double re, double im) {
  EXPECT_EQ(z.re, re);
  EXPECT_EQ(z.im, im);
}

}  // namespace

TEST(ZCopy, VectorCopySizesTheOutputAndKeepsElementsBelowTheStart) {
  int st = 0;
  ZVEC* in = Vec({1, 2, 3});
  ZVEC* out = _LM__zv_copy(in, nullptr, 0, __LINE__, "t", &st);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->dim, 3u);
  for (int i = 0; i < 3; ++i) ExpectZ(out->ve[i], i + 1.0, -(i + 1.0));
  // Into a longer vector: its dim drops to in's, capacity and later values kept.
  ZVEC* longer = Vec({9, 9, 9, 9, 9});
  ASSERT_EQ(_LM__zv_copy(in, longer, 1, __LINE__, "t", &st), longer);
  EXPECT_EQ(longer->dim, 3u);
  EXPECT_EQ(longer->max_dim, 5u);
  ExpectZ(longer->ve[0], 9, -9);  // below i0: kept
  ExpectZ(longer->ve[2], 3, -3);
  ExpectZ(longer->ve[4], 9, -9);
  // Onto itself: nothing happens.
  EXPECT_EQ(_LM__zv_copy(in, in, 0, __LINE__, "t", &st), in);
  // An empty vector into NULL gives a vector of dim 0.
  ZVEC* empty = _LM_zv_get(kTag, 0, 0, __LINE__, "t", &st);
  ZVEC* e2 = _LM__zv_copy(empty, nullptr, 0, __LINE__, "t", &st);
  ASSERT_NE(e2, nullptr);
  EXPECT_EQ(e2->dim, 0u);
  zv_free_vars(&in, &out, &longer, &empty, &e2, nullptr);
}

TEST(ZCopy, RefusesNullSourcesAndStartsBeyondTheSource) {
  int st = 0;
  ZVEC* in = Vec({1, 2});
  ZVEC* out = Vec({7, 7, 7});
  {
    ErrWatch w;
    EXPECT_EQ(_LM__zv_copy(nullptr, out, 0, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 8);
    EXPECT_EQ(w.routine(), "_zv_copy");
  }
  {
    ErrWatch w;
    EXPECT_EQ(_LM__zv_copy(in, out, 3, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 2);
    EXPECT_EQ(out->dim, 3u);  // refused before out changes
  }
  ZMAT* A = Mat(2, 2);
  {
    ErrWatch w;
    EXPECT_EQ(_LM__zm_copy(A, nullptr, 0, 3, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 2);
    EXPECT_EQ(_LM__zm_copy(nullptr, A, 0, 0, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 8);
    EXPECT_EQ(w.routine(), "_zm_copy");
  }
  zv_free_vars(&in, &out, nullptr);
  zm_free(A);
}

TEST(ZCopy, MatrixCopyFromAnOffsetIntoNullAndIntoALargerMatrix) {
  int st = 0;
  ZMAT* A = Mat(3, 3);
  ZMAT* B = _LM__zm_copy(A, nullptr, 1, 1, __LINE__, "t", &st);
  ASSERT_NE(B, nullptr);
  EXPECT_EQ(B->m, 3u);
  EXPECT_EQ(B->n, 3u);
  ExpectZ(B->me[0][0], 0, 0);  // outside the copied part: new, zero
  ExpectZ(B->me[1][0], 0, 0);
  ExpectZ(B->me[2][2], 23, 0);
  ExpectZ(B->me[1][2], 13, -1);
  ZMAT* big = Mat(4, 5);
  ASSERT_EQ(_LM__zm_copy(A, big, 0, 0, __LINE__, "t", &st), big);
  EXPECT_EQ(big->m, 3u);
  EXPECT_EQ(big->n, 3u);
  EXPECT_EQ(big->max_n, 5u);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) ExpectZ(big->me[i][j], 10.0 * i + j + 1, i - j);
  zm_free_vars(&A, &B, &big, nullptr);
}

TEST(ZMove, VectorMoveGrowsTheOutputAndChecksTheSourceBlock) {
  int st = 0;
  ZVEC* in = Vec({1, 2, 3, 4});
  ZVEC* out = _LM_zv_move(in, 1, 2, nullptr, 3, __LINE__, "t", &st);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->dim, 5u);
  ExpectZ(out->ve[0], 0, 0);
  ExpectZ(out->ve[3], 2, -2);
  ExpectZ(out->ve[4], 3, -3);
  // Inside one vector, overlapping.
  ASSERT_EQ(_LM_zv_move(in, 0, 3, in, 1, __LINE__, "t", &st), in);
  ExpectZ(in->ve[1], 1, -1);
  ExpectZ(in->ve[3], 3, -3);
  ErrWatch w;
  EXPECT_EQ(_LM_zv_move(in, 2, 3, out, 0, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(w.routine(), "zv_move");
  EXPECT_EQ(_LM_zv_move(in, -1, 1, out, 0, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(_LM_zv_move(nullptr, 0, 1, out, 0, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  zv_free_vars(&in, &out, nullptr);
}

TEST(ZMove, MatrixBlockMovesBetweenMatricesAndVectors) {
  int st = 0;
  ZMAT* A = Mat(3, 4);
  // A 2 x 2 block into NULL at (1, 1): a 3 x 3 matrix with zeros outside the block.
  ZMAT* B = _LM_zm_move(A, 0, 0, 2, 2, nullptr, 1, 1, __LINE__, "t", &st);
  ASSERT_NE(B, nullptr);
  EXPECT_EQ(B->m, 3u);
  EXPECT_EQ(B->n, 3u);
  ExpectZ(B->me[0][0], 0, 0);
  ExpectZ(B->me[0][2], 0, 0);
  ExpectZ(B->me[1][1], 1, 0);
  ExpectZ(B->me[2][2], 12, 0);
  ExpectZ(B->me[2][1], 11, 1);
  // The 2 x 3 block at (1, 1) of A into NULL at 0: row 1 columns 1..3, then row 2.
  ZVEC* v = _LM_zmv_move(A, 1, 1, 2, 3, nullptr, 0, __LINE__, "t", &st);
  ASSERT_NE(v, nullptr);
  ASSERT_EQ(v->dim, 6u);
  const double want[6] = {12, 13, 14, 22, 23, 24};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(v->ve[k].re, want[k]);
  // And back into a matrix: out is raised to R x C at least and keeps its other values.
  ZMAT* C = Mat(2, 2);
  ASSERT_NE((C = _LM_zvm_move(v, 0, C, 1, 0, 2, 3, __LINE__, "t", &st)), nullptr);
  EXPECT_EQ(C->m, 3u);
  EXPECT_EQ(C->n, 3u);
  ExpectZ(C->me[0][1], 2, -1);  // old value kept
  ExpectZ(C->me[1][0], 12, 0);
  ExpectZ(C->me[2][2], 24, -1);
  ErrWatch w;
  EXPECT_EQ(_LM_zm_move(A, 2, 0, 2, 1, B, 0, 0, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(_LM_zmv_move(A, 0, 3, 1, 2, v, 0, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(_LM_zvm_move(v, 1, C, 0, 0, 2, 3, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(w.routine(), "zvm_move");
  zm_free_vars(&A, &B, &C, nullptr);
  zv_free(v);
}

TEST(ZMove, BlockMovedDownInsideOneMatrixIsNotOverwritten) {
  int st = 0;
  ZMAT* A = Mat(4, 2);
  ASSERT_EQ(_LM_zm_move(A, 0, 0, 3, 2, A, 1, 0, __LINE__, "t", &st), A);
  for (int i = 1; i < 4; ++i)
    for (int j = 0; j < 2; ++j) ExpectZ(A->me[i][j], 10.0 * (i - 1) + j + 1, (i - 1) - j);
  zm_free(A);
}
