// Tests of rows, columns and views: extraction into short and long vectors, setting from a
// start index, matrix and vector views that write through to their source, reuse of a
// view, refusal to turn an owning record into a view, release of views and accounting, and
// results written into views (copies, moves, both readers) that land in the view's own
// elements and nowhere else.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "binfile.h"
#include "cmat_pattern.h"
#include "cmat_snap.h"
#include "cmat_support.h"
#include "dense_fixtures.h"
#include "matrix.h"
#include "matrix_bf.h"

using namespace cmat_test;

TEST(SubmatRowsCols, GetIntoShortAndLongVectors) {
  int st = 0;
  MatP A(NewMat({{1, 2, 3}, {4, 5, 6}}));
  VecP c(_LM_get_col(A.get(), 1, nullptr, __LINE__, "col", &st));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(Values(c.get()), (std::vector<double>{2, 5}));
  VecP longer(NewVec({9, 9, 9, 9}));
  ASSERT_EQ(_LM_get_col(A.get(), 2, longer.get(), __LINE__, "col", &st), longer.get());
  EXPECT_EQ(Values(longer.get()), (std::vector<double>{3, 6, 9, 9}));  // dim and tail kept
  VecP shorter(NewVec({9}));
  ASSERT_EQ(_LM_get_row(A.get(), 1, shorter.get(), __LINE__, "row", &st), shorter.get());
  EXPECT_EQ(Values(shorter.get()), (std::vector<double>{4, 5, 6}));

  ErrWatch w;
  EXPECT_EQ(_LM_get_col(A.get(), 3, nullptr, __LINE__, "col", &st), nullptr);
  EXPECT_EQ(w.last(), 10);
  EXPECT_EQ(w.routine(), "get_col");
  EXPECT_EQ(_LM_get_row(A.get(), 2, nullptr, __LINE__, "row", &st), nullptr);
  EXPECT_EQ(w.last(), 10);
  EXPECT_EQ(w.routine(), "get_row");
  EXPECT_EQ(_LM_get_row(nullptr, 0, nullptr, __LINE__, "row", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
}

TEST(SubmatRowsCols, SetFromAStartIndexWithinBothSizes) {
  int st = 0;
  MatP A(NewMat({{0, 0, 0}, {0, 0, 0}}));
  VecP v(NewVec({1, 2, 3, 4}));
  ASSERT_EQ(_LM__set_col(A.get(), 2, v.get(), 1, __LINE__, "set", &st), A.get());
  EXPECT_EQ(Rows(A.get()), (std::vector<double>{0, 0, 0, 0, 0, 2}));
  ASSERT_EQ(_LM__set_row(A.get(), 0, v.get(), 0, __LINE__, "set", &st), A.get());
  EXPECT_EQ(Rows(A.get()), (std::vector<double>{1, 2, 3, 0, 0, 2}));
  // A start at or beyond the common length writes nothing.
  ASSERT_EQ(_LM__set_row(A.get(), 1, v.get(), 3, __LINE__, "set", &st), A.get());
  EXPECT_EQ(Rows(A.get()), (std::vector<double>{1, 2, 3, 0, 0, 2}));
  ErrWatch w;
  EXPECT_EQ(_LM__set_col(A.get(), 3, v.get(), 0, __LINE__, "set", &st), nullptr);
  EXPECT_EQ(w.last(), 10);
  EXPECT_EQ(w.routine(), "_set_col");
  EXPECT_EQ(_LM__set_row(A.get(), 0, nullptr, 0, __LINE__, "set", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(w.routine(), "_set_row");
}

TEST(SubmatViews, MatrixViewSharesTheSourceRows) {
  int st = 0;
  MatP A(NewMat({{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}}));
  MAT* V = _LM_sub_mat(A.get(), 1, 1, 2, 2, nullptr, __LINE__, "sub", &st);
  ASSERT_NE(V, nullptr);
  EXPECT_EQ(V->m, 2u);
  EXPECT_EQ(V->n, 2u);
  EXPECT_EQ(V->base, nullptr);
  EXPECT_EQ(Rows(V), (std::vector<double>{6, 7, 10, 11}));
  V->me[1][0] = -10;  // writes through
  EXPECT_EQ(A->me[2][1], -10.0);
  // Reused for a smaller block, then for a larger one: the same header each time.
  ASSERT_EQ(_LM_sub_mat(A.get(), 0, 3, 0, 3, V, __LINE__, "sub", &st), V);
  EXPECT_EQ(Rows(V), std::vector<double>{4});
  ASSERT_EQ(_LM_sub_mat(A.get(), 0, 0, 2, 1, V, __LINE__, "sub", &st), V);
  EXPECT_EQ(Rows(V), (std::vector<double>{1, 2, 5, 6, 9, -10}));
  // A view of a view.
  MAT* W = _LM_sub_mat(V, 1, 1, 2, 1, nullptr, __LINE__, "sub", &st);
  ASSERT_NE(W, nullptr);
  EXPECT_EQ(Rows(W), (std::vector<double>{6, -10}));
  EXPECT_EQ(m_free(W), 0);
  EXPECT_EQ(m_free(V), 0);  // frees the header and its row table only
  EXPECT_EQ(Rows(A.get()), (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, 9, -10, 11, 12}));

  ErrWatch w;
  const unsigned bad[][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 3, 0}, {0, 0, 0, 4}};
  for (const auto& b : bad) {
    EXPECT_EQ(_LM_sub_mat(A.get(), b[0], b[1], b[2], b[3], nullptr, __LINE__, "sub", &st), nullptr);
    EXPECT_EQ(w.last(), 10);
    EXPECT_EQ(w.routine(), "sub_mat");
  }
  // A matrix that owns its block is not turned into a view: its block would be lost.
  MatP owner(NewMat({{5}}));
  EXPECT_EQ(_LM_sub_mat(A.get(), 0, 0, 0, 0, owner.get(), __LINE__, "sub", &st), nullptr);
  EXPECT_EQ(w.last(), 12);
  EXPECT_EQ(owner->me[0][0], 5.0);
  EXPECT_EQ(_LM_sub_mat(nullptr, 0, 0, 0, 0, nullptr, __LINE__, "sub", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
}

TEST(SubmatViews, VectorViewSharesTheSourceEntries) {
  int st = 0;
  VecP v(NewVec({1, 2, 3, 4, 5}));
  VEC* s = _LM_sub_vec(v.get(), 1, 3, nullptr, __LINE__, "sv", &st);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(Values(s), (std::vector<double>{2, 3, 4}));
  s->ve[0] = 20;
  EXPECT_EQ(v->ve[1], 20.0);
  ASSERT_EQ(_LM_sub_vec(v.get(), 4, 4, s, __LINE__, "sv", &st), s);  // one entry, reused
  EXPECT_EQ(Values(s), std::vector<double>{5});
  EXPECT_EQ(v_free(s), 0);  // the header only: v stays whole
  EXPECT_EQ(Values(v.get()), (std::vector<double>{1, 20, 3, 4, 5}));

  ErrWatch w;
  EXPECT_EQ(_LM_sub_vec(v.get(), 2, 5, nullptr, __LINE__, "sv", &st), nullptr);  // i2 == dim
  EXPECT_EQ(w.last(), 10);
  EXPECT_EQ(w.routine(), "sub_vec");
  EXPECT_EQ(_LM_sub_vec(v.get(), -1, 2, nullptr, __LINE__, "sv", &st), nullptr);
  EXPECT_EQ(w.last(), 10);
  EXPECT_EQ(_LM_sub_vec(v.get(), 3, 2, nullptr, __LINE__, "sv", &st), nullptr);
  EXPECT_EQ(w.last(), 10);
  VecP owner(NewVec({7, 8}));
  EXPECT_EQ(_LM_sub_vec(v.get(), 0, 1, owner.get(), __LINE__, "sv", &st), nullptr);
  EXPECT_EQ(w.last(), 12);
  EXPECT_EQ(Values(owner.get()), (std::vector<double>{7, 8}));
  EXPECT_EQ(_LM_sub_vec(nullptr, 0, 0, nullptr, __LINE__, "sv", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
}

TEST(SubmatViews, AccountingOfViewHeadersBalances) {
  int st = 0;
  MatP A(NewMat({{1, 2}, {3, 4}, {5, 6}}));
  VecP v(NewVec({1, 2, 3}));
  const int was = mem_info_on(1);
  const long long mat0 = mem_info_bytes(TYPE_MAT, 0), vec0 = mem_info_bytes(TYPE_VEC, 0);
  const int matN = mem_info_numvar(TYPE_MAT, 0), vecN = mem_info_numvar(TYPE_VEC, 0);
  MAT* V = _LM_sub_mat(A.get(), 0, 0, 1, 1, nullptr, __LINE__, "sub", &st);
  EXPECT_EQ(mem_info_bytes(TYPE_MAT, 0), mat0 + static_cast<long long>(sizeof(MAT) + 2 * sizeof(double*)));
  ASSERT_EQ(_LM_sub_mat(A.get(), 0, 0, 2, 1, V, __LINE__, "sub", &st), V);  // table grows to 3
  EXPECT_EQ(mem_info_bytes(TYPE_MAT, 0), mat0 + static_cast<long long>(sizeof(MAT) + 3 * sizeof(double*)));
  VEC* s = _LM_sub_vec(v.get(), 0, 1, nullptr, __LINE__, "sv", &st);
  EXPECT_EQ(mem_info_bytes(TYPE_VEC, 0), vec0 + static_cast<long long>(sizeof(VEC)));
  EXPECT_EQ(mem_info_numvar(TYPE_MAT, 0), matN);  // views are not counted as records
  EXPECT_EQ(mem_info_numvar(TYPE_VEC, 0), vecN);
  EXPECT_EQ(m_free(V), 0);
  EXPECT_EQ(v_free(s), 0);
  EXPECT_EQ(mem_info_bytes(TYPE_MAT, 0), mat0);
  EXPECT_EQ(mem_info_bytes(TYPE_VEC, 0), vec0);
  EXPECT_EQ(mem_info_numvar(TYPE_MAT, 0), matN);
  EXPECT_EQ(mem_info_numvar(TYPE_VEC, 0), vecN);
  mem_info_on(was);
}

namespace {

// The 4 x 4 source of the views below, holding the pattern 10 i + j + 1.
MAT* Source4() {
  MAT* P = _LM_m_get("t", 0, 4, 4, __LINE__, "t", nullptr);
  FillPattern(P);
  return P;
}

// P's values by rows with its bottom-right 2 x 2 block replaced by -1 -2 / -3 -4 (or kept
// when block is false).
std::vector<double> Source4With(bool block) {
  std::vector<double> want;
  for (unsigned i = 0; i < 4; ++i)
    for (unsigned j = 0; j < 4; ++j)
      want.push_back(block && i >= 2 && j >= 2 ? -(2.0 * (i - 2) + (j - 2) + 1) : PatternAt(i, j));
  return want;
}

kvtest::Bytes MatForm(int m, int n, const std::vector<double>& byRows) {
  kvtest::Bytes b;
  kvtest::PutInt(b, m);
  kvtest::PutInt(b, n);
  for (double d : byRows) kvtest::PutDouble(b, d);
  return b;
}

}  // namespace

// R is the bottom-right 2 x 2 block of a 4 x 4 matrix P: its rows sit at a stride of 4 in P's
// block. A result of R's shape written into R, by each operation that can write a matrix,
// lands in R's own four elements of P; P's other twelve values stay.
TEST(SubmatViews, ResultsOfTheViewsShapeLandInItsOwnElements) {
  int st = 0;
  MatP B(NewMat({{-1, -2}, {-3, -4}}));
  VecP v(NewVec({-1, -2, -3, -4}));
  const struct {
    const char* what;
    std::function<MAT*(MAT* R)> write;
  } ops[] = {
      {"copy", [&](MAT* R) { return _LM__m_copy(B.get(), R, 0, 0, __LINE__, "t", &st); }},
      {"move", [&](MAT* R) { return _LM_m_move(B.get(), 0, 0, 2, 2, R, 0, 0, __LINE__, "t", &st); }},
      {"vector to matrix", [&](MAT* R) { return _LM_vm_move(v.get(), 0, R, 0, 0, 2, 2, __LINE__, "t", &st); }},
      {"text read",
       [&](MAT* R) {
         TextFile in("Matrix: 2 by 2\nrow 0: -1 -2\nrow 1: -3 -4\n");
         return _LM_m_finput(in.get(), R, __LINE__, "t", &st);
       }},
      {"binary read",
       [&](MAT* R) {
         FILE* fp = kvtest::StreamWith(MatForm(2, 2, {-1, -2, -3, -4}));
         MAT* r = _LM_m_binput(fp, R, __LINE__, "t", &st);
         std::fclose(fp);
         return r;
       }},
  };
  for (const auto& op : ops) {
    SCOPED_TRACE(op.what);
    MatP P(Source4());
    MAT* R = _LM_sub_mat(P.get(), 2, 2, 3, 3, nullptr, __LINE__, "t", &st);
    ASSERT_NE(R, nullptr);
    EXPECT_EQ(op.write(R), R);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(R->base, nullptr);  // still a view
    EXPECT_EQ(Rows(P.get()), Source4With(true));
    EXPECT_EQ(m_free(R), 0);
  }
}

// A result of another shape cannot live in the view's elements: the view takes a block of
// its own (the same header comes back) and P keeps all its values. A refused form changes
// neither.
TEST(SubmatViews, ResultsOfAnotherShapeNeverReachTheSource) {
  int st = 0;
  MatP C(NewMat({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}));
  const std::vector<double> c9{1, 2, 3, 4, 5, 6, 7, 8, 9};
  const struct {
    const char* what;
    std::function<MAT*(MAT* R)> write;
  } grow[] = {
      {"copy", [&](MAT* R) { return _LM__m_copy(C.get(), R, 0, 0, __LINE__, "t", &st); }},
      {"move", [&](MAT* R) { return _LM_m_move(C.get(), 0, 0, 3, 3, R, 0, 0, __LINE__, "t", &st); }},
      {"text read",
       [&](MAT* R) {
         TextFile in("Matrix: 3 by 3\nrow 0: 1 2 3\nrow 1: 4 5 6\nrow 2: 7 8 9\n");
         return _LM_m_finput(in.get(), R, __LINE__, "t", &st);
       }},
      {"binary read",
       [&](MAT* R) {
         FILE* fp = kvtest::StreamWith(MatForm(3, 3, c9));
         MAT* r = _LM_m_binput(fp, R, __LINE__, "t", &st);
         std::fclose(fp);
         return r;
       }},
  };
  for (const auto& op : grow) {
    SCOPED_TRACE(op.what);
    MatP P(Source4());
    MAT* R = _LM_sub_mat(P.get(), 2, 2, 3, 3, nullptr, __LINE__, "t", &st);
    ASSERT_NE(R, nullptr);
    ASSERT_EQ(op.write(R), R);
    EXPECT_EQ(st, 0);
    EXPECT_NE(R->base, nullptr);
    EXPECT_EQ(Rows(R), c9);
    EXPECT_EQ(Rows(P.get()), Source4With(false));
    EXPECT_EQ(m_free(R), 0);
  }
  for (const char* text : {"Matrix: 2 by 2\nrow 0: -1 -2\nrow 1: -3\n", "Matrix: 3 by 3\nrow 0: 1 2 3\n"}) {
    SCOPED_TRACE(text);
    MatP P(Source4());
    MAT* R = _LM_sub_mat(P.get(), 2, 2, 3, 3, nullptr, __LINE__, "t", &st);
    const cmat_test::RecordBytes before = cmat_test::Snap(R);
    TextFile in(text);
    EXPECT_EQ(_LM_m_finput(in.get(), R, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_TRUE(cmat_test::Snap(R) == before);
    EXPECT_EQ(Rows(P.get()), Source4With(false));
    EXPECT_EQ(m_free(R), 0);
  }
}

// The same for a vector view s of entries 2 and 3 of (1 .. 6): results of its length land in
// those two entries; a longer one comes back as a new vector and the source stays whole.
TEST(SubmatViews, ResultsWrittenIntoAVectorViewStayInIt) {
  int st = 0;
  VecP u(NewVec({-1, -2}));
  MatP B(NewMat({{-1, -2}, {-3, -4}}));
  const struct {
    const char* what;
    std::function<VEC*(VEC* s)> write;
  } ops[] = {
      {"copy", [&](VEC* s) { return _LM__v_copy(u.get(), s, 0, __LINE__, "t", &st); }},
      {"move", [&](VEC* s) { return _LM_v_move(u.get(), 0, 2, s, 0, __LINE__, "t", &st); }},
      {"matrix to vector", [&](VEC* s) { return _LM_mv_move(B.get(), 0, 0, 1, 2, s, 0, __LINE__, "t", &st); }},
      {"row", [&](VEC* s) { return _LM_get_row(B.get(), 0, s, __LINE__, "t", &st); }},
      {"text read",
       [&](VEC* s) {
         TextFile in("Vector: dim: 2\n-1 -2\n");
         return _LM_v_finput(in.get(), s, __LINE__, "t", &st);
       }},
      {"binary read",
       [&](VEC* s) {
         kvtest::Bytes b;
         kvtest::PutInt(b, 2);
         kvtest::PutDouble(b, -1);
         kvtest::PutDouble(b, -2);
         FILE* fp = kvtest::StreamWith(b);
         VEC* r = _LM_v_binput(fp, s, __LINE__, "t", &st);
         std::fclose(fp);
         return r;
       }},
  };
  for (const auto& op : ops) {
    SCOPED_TRACE(op.what);
    VecP v(NewVec({1, 2, 3, 4, 5, 6}));
    VEC* s = _LM_sub_vec(v.get(), 2, 3, nullptr, __LINE__, "t", &st);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(op.write(s), s);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(Values(v.get()), (std::vector<double>{1, 2, -1, -2, 5, 6}));
    EXPECT_EQ(v_free(s), 0);
  }
  VecP v(NewVec({1, 2, 3, 4, 5, 6}));
  VEC* s = _LM_sub_vec(v.get(), 2, 3, nullptr, __LINE__, "t", &st);
  VecP three(NewVec({7, 8, 9}));
  VecP got(_LM__v_copy(three.get(), s, 0, __LINE__, "t", &st));
  ASSERT_NE(got, nullptr);
  EXPECT_NE(got.get(), s);
  EXPECT_EQ(Values(got.get()), (std::vector<double>{7, 8, 9}));
  EXPECT_EQ(Values(s), (std::vector<double>{3, 4}));
  EXPECT_EQ(Values(v.get()), (std::vector<double>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(v_free(s), 0);
}
