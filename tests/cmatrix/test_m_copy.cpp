// Tests of the copies and moves between VEC, MAT and PERM records: sizes given to the output,
// values kept outside the copied part, bounds checks and the status after inner calls.
#include <gtest/gtest.h>

#include <climits>

#include "cmat_support.h"
#include "dense_fixtures.h"
#include "matrix.h"

using cmat_test::ErrWatch;
using cmat_test::NewVec;

namespace {

// m x n matrix with A(i, j) = 10 i + j.
MAT* Mat(int m, int n) {
  int st = 0;
  MAT* A = _LM_m_get("t", 0, m, n, __LINE__, "Mat", &st);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) A->me[i][j] = 10.0 * i + j;
  return A;
}

}  // namespace

TEST(VecCopy, OutputTakesTheSourceDimAndKeepsItsCapacity) {
  int st = 0;
  VEC* in = NewVec({1, 2, 3});
  VEC* out = NewVec({9, 9, 9, 9, 9});
  ASSERT_EQ(_LM__v_copy(in, out, 0, __LINE__, "c", &st), out);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(out->dim, 3u);
  EXPECT_EQ(out->max_dim, 5u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(out->ve[i], i + 1.0);
  EXPECT_EQ(out->ve[3], 9.0);

  out->ve[0] = -1;  // below the start: kept
  ASSERT_EQ(_LM__v_copy(in, out, 1, __LINE__, "c", &st), out);
  EXPECT_EQ(out->ve[0], -1.0);
  EXPECT_EQ(out->ve[2], 3.0);

  VEC* fresh = _LM__v_copy(in, nullptr, 0, __LINE__, "c", &st);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->dim, 3u);
  EXPECT_EQ(fresh->ve[2], 3.0);

  VEC* small = NewVec({7});
  ASSERT_EQ(_LM__v_copy(in, small, 0, __LINE__, "c", &st), small);  // grown in place
  EXPECT_EQ(small->dim, 3u);
  EXPECT_EQ(small->ve[1], 2.0);

  EXPECT_EQ(_LM__v_copy(in, in, 0, __LINE__, "c", &st), in);
  EXPECT_EQ(st, 0);
  v_free_vars(&in, &out, &fresh, &small, (VEC**)nullptr);
}

TEST(VecCopy, NullSourceAndStartBeyondTheSourceAreRefused) {
  int st = 0;
  VEC* in = NewVec({1, 2});
  VEC* out = NewVec({5, 5, 5});
  {
    ErrWatch w;
    EXPECT_EQ(_LM__v_copy(nullptr, out, 0, __LINE__, "c", &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 8);
    EXPECT_EQ(w.routine(), "_v_copy");
    EXPECT_EQ(w.file(), "m_copy");
  }
  {
    ErrWatch w;
    EXPECT_EQ(_LM__v_copy(in, out, 3, __LINE__, "c", &st), nullptr);
    EXPECT_EQ(w.last(), 2);
    EXPECT_EQ(out->dim, 3u);
  }
  EXPECT_EQ(_LM__v_copy(in, out, 2, __LINE__, "c", &st), out);  // empty copy at the end
  EXPECT_EQ(out->dim, 2u);
  EXPECT_EQ(out->ve[0], 5.0);
  v_free_vars(&in, &out, (VEC**)nullptr);
}

TEST(VecCopy, AFailureOfTheInnerResizeIsPassedOn) {
  int st = 0;
  VEC* in = NewVec({1});
  in->dim = 0x80000000u;  // a dimension the resizer refuses (negative as an int)
  ErrWatch w;
  EXPECT_EQ(_LM__v_copy(in, nullptr, 0, __LINE__, "c", &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.count(), 1);
  EXPECT_EQ(w.last(), 20);
  EXPECT_EQ(w.routine(), "v_resize");  // raised inside, passed on by the copy
  EXPECT_EQ(w.file(), "m_memory");
  in->dim = 1;
  v_free(in);
}

TEST(MatCopy, OutputTakesTheSourceSizesAndCopiesFromTheStart) {
  int st = 0;
  MAT* in = Mat(2, 3);
  MAT* out = _LM__m_copy(in, nullptr, 0, 0, __LINE__, "c", &st);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->m, 2u);
  EXPECT_EQ(out->n, 3u);
  EXPECT_EQ(out->me[1][2], 12.0);

  MAT* big = Mat(3, 4);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) big->me[i][j] = -1;
  ASSERT_EQ(_LM__m_copy(in, big, 1, 1, __LINE__, "c", &st), big);
  EXPECT_EQ(big->m, 2u);
  EXPECT_EQ(big->n, 3u);
  for (int j = 0; j < 3; ++j) EXPECT_EQ(big->me[0][j], -1.0);  // row 0 not copied
  EXPECT_EQ(big->me[1][0], -1.0);                              // column 0 not copied
  EXPECT_EQ(big->me[1][1], 11.0);
  EXPECT_EQ(big->me[1][2], 12.0);

  big->me[1][1] = -1;
  MAT* wide = Mat(1, 5);
  ASSERT_EQ(_LM__m_copy(in, wide, 0, 0, __LINE__, "c", &st), wide);  // too few rows: resized
  EXPECT_EQ(wide->m, 2u);
  EXPECT_EQ(wide->n, 3u);
  EXPECT_EQ(wide->me[1][1], 11.0);

  ErrWatch w;
  EXPECT_EQ(_LM__m_copy(in, out, 0, 4, __LINE__, "c", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(_LM__m_copy(nullptr, out, 0, 0, __LINE__, "c", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(_LM__m_copy(in, in, 0, 0, __LINE__, "c", &st), in);
  m_free_vars(&in, &out, &big, &wide, (MAT**)nullptr);
}

TEST(PermCopy, OutputBecomesACopy) {
  int st = 0;
  PERM* in = _LM_px_get("t", 0, 4, __LINE__, "p", &st);
  const unsigned vals[] = {3, 1, 0, 2};
  for (int i = 0; i < 4; ++i) in->pe[i] = vals[i];
  PERM* out = _LM_px_copy(in, nullptr, __LINE__, "c", &st);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(out->size, 4u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out->pe[i], vals[i]);
  PERM* other = _LM_px_get("t", 0, 7, __LINE__, "p", &st);
  ASSERT_EQ(_LM_px_copy(in, other, __LINE__, "c", &st), other);
  EXPECT_EQ(other->size, 4u);
  EXPECT_EQ(other->pe[0], 3u);
  ErrWatch w;
  EXPECT_EQ(_LM_px_copy(nullptr, other, __LINE__, "c", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  px_free_vars(&in, &out, &other, (PERM**)nullptr);
}

TEST(Moves, VectorToVector) {
  int st = 0;
  VEC* in = NewVec({1, 2, 3, 4});
  VEC* out = _LM_v_move(in, 1, 2, nullptr, 3, __LINE__, "m", &st);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(out->dim, 5u);
  const double want[] = {0, 0, 0, 2, 3};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(out->ve[i], want[i]);

  ASSERT_EQ(_LM_v_move(in, 0, 2, out, 0, __LINE__, "m", &st), out);  // fits: no resize
  EXPECT_EQ(out->dim, 5u);
  EXPECT_EQ(out->ve[1], 2.0);
  EXPECT_EQ(out->ve[4], 3.0);

  ASSERT_EQ(_LM_v_move(in, 0, 3, in, 1, __LINE__, "m", &st), in);  // overlapping, in place
  const double shifted[] = {1, 1, 2, 3};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(in->ve[i], shifted[i]);

  ErrWatch w;
  EXPECT_EQ(_LM_v_move(in, 3, 2, out, 0, __LINE__, "m", &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(_LM_v_move(in, -1, 1, out, 0, __LINE__, "m", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(_LM_v_move(nullptr, 0, 1, out, 0, __LINE__, "m", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  // A destination end beyond what a size can hold: code 3, the output left as it was.
  EXPECT_EQ(_LM_v_move(in, 0, 2, out, INT_MAX - 1, __LINE__, "m", &st), nullptr);
  EXPECT_EQ(w.last(), 3);
  EXPECT_EQ(out->dim, 5u);
  v_free_vars(&in, &out, (VEC**)nullptr);
}

TEST(Moves, MatrixToMatrix) {
  int st = 0;
  MAT* in = Mat(2, 2);
  MAT* out = _LM_m_move(in, 0, 0, 2, 2, nullptr, 1, 1, __LINE__, "m", &st);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(out->m, 3u);
  ASSERT_EQ(out->n, 3u);
  const double want[3][3] = {{0, 0, 0}, {0, 0, 1}, {0, 10, 11}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(out->me[i][j], want[i][j]);

  // Growing an existing output keeps its values: only the missing direction grows.
  MAT* tall = Mat(4, 1);
  ASSERT_EQ(_LM_m_move(in, 1, 0, 1, 2, tall, 0, 1, __LINE__, "m", &st), tall);
  EXPECT_EQ(tall->m, 4u);
  EXPECT_EQ(tall->n, 3u);
  EXPECT_EQ(tall->me[3][0], 30.0);
  EXPECT_EQ(tall->me[0][1], 10.0);
  EXPECT_EQ(tall->me[0][2], 11.0);
  EXPECT_EQ(tall->me[1][1], 0.0);

  // Within one matrix, a block moved down over itself keeps its values.
  MAT* self = Mat(4, 2);
  ASSERT_EQ(_LM_m_move(self, 0, 0, 3, 2, self, 1, 0, __LINE__, "m", &st), self);
  const double moved[4][2] = {{0, 1}, {0, 1}, {10, 11}, {20, 21}};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 2; ++j) EXPECT_EQ(self->me[i][j], moved[i][j]);

  ErrWatch w;
  EXPECT_EQ(_LM_m_move(in, 1, 0, 2, 1, out, 0, 0, __LINE__, "m", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(_LM_m_move(in, 0, 1, 1, 2, out, 0, 0, __LINE__, "m", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  // The inner resize fails (the size field would overflow): the output is left as it was.
  EXPECT_EQ(_LM_m_move(in, 0, 0, 1, 1, out, 70000, 70000, __LINE__, "m", &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.last(), 3);
  EXPECT_EQ(out->m, 3u);
  EXPECT_EQ(out->me[2][2], 11.0);
  m_free_vars(&in, &out, &tall, &self, (MAT**)nullptr);
}

TEST(Moves, MatrixToVectorAndBack) {
  int st = 0;
  MAT* in = Mat(3, 4);
  VEC* v = _LM_mv_move(in, 1, 1, 2, 3, nullptr, 0, __LINE__, "m", &st);
  ASSERT_NE(v, nullptr);
  ASSERT_EQ(v->dim, 6u);
  const double want[] = {11, 12, 13, 21, 22, 23};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(v->ve[i], want[i]);

  ASSERT_EQ(_LM_mv_move(in, 0, 0, 1, 2, v, 5, __LINE__, "m", &st), v);  // grows to 7
  EXPECT_EQ(v->dim, 7u);
  EXPECT_EQ(v->ve[4], 22.0);
  EXPECT_EQ(v->ve[5], 0.0);
  EXPECT_EQ(v->ve[6], 1.0);

  MAT* back = _LM_vm_move(v, 0, nullptr, 1, 0, 2, 3, __LINE__, "m", &st);
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->m, 3u);
  ASSERT_EQ(back->n, 3u);
  const double bw[3][3] = {{0, 0, 0}, {11, 12, 13}, {21, 22, 0}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(back->me[i][j], bw[i][j]);

  // A given output keeps its larger sizes and the values outside the block.
  MAT* wide = Mat(2, 5);
  ASSERT_EQ(_LM_vm_move(v, 3, wide, 0, 3, 1, 2, __LINE__, "m", &st), wide);
  EXPECT_EQ(wide->m, 2u);
  EXPECT_EQ(wide->n, 5u);
  EXPECT_EQ(wide->me[0][3], 21.0);
  EXPECT_EQ(wide->me[0][4], 22.0);
  EXPECT_EQ(wide->me[1][4], 14.0);

  ErrWatch w;
  EXPECT_EQ(_LM_vm_move(v, 2, nullptr, 0, 0, 2, 3, __LINE__, "m", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(_LM_mv_move(in, 2, 0, 2, 1, v, 0, __LINE__, "m", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(_LM_mv_move(nullptr, 0, 0, 1, 1, v, 0, __LINE__, "m", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  m_free_vars(&in, &back, &wide, (MAT**)nullptr);
  v_free(v);
}
