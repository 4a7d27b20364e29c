// Tests of the matrix multiply-add that sizes its output to A first: every path gives
// A + s*B, and an output of another shape comes back packed at A's shape.
#include <gtest/gtest.h>

#include <vector>

#include "cmat_support.h"
#include "dense_fixtures.h"
#include "matrix.h"

using namespace cmat_test;

TEST(MMltadd, EveryPathGivesAPlusSB) {
  int st = 0;
  const std::vector<double> a{1, 2, 3, 4, 5, 6}, b{6, -5, 4, -3, 2, -1};
  for (double s : {0.0, 1.0, 2.0, -0.25}) {
    std::vector<double> want(6);
    for (int i = 0; i < 6; ++i) want[i] = a[i] + s * b[i];
    MatP A(NewMat(2, 3, a)), B(NewMat(2, 3, b));
    MatP C(_LM_m_mltadd(A.get(), B.get(), s, nullptr, __LINE__, "ma", &st));
    ASSERT_NE(C, nullptr);
    EXPECT_EQ(Rows(C.get()), want) << s;
    ASSERT_EQ(_LM_m_mltadd(A.get(), B.get(), s, B.get(), __LINE__, "ma", &st), B.get());
    EXPECT_EQ(Rows(B.get()), want) << s;
    MatP A2(NewMat(2, 3, a));
    ASSERT_EQ(_LM_m_mltadd(A2.get(), A2.get(), s, A2.get(), __LINE__, "ma", &st), A2.get());
    for (int i = 0; i < 6; ++i) EXPECT_EQ(A2->me[i / 3][i % 3], a[i] + s * a[i]);
  }
}

TEST(MMltadd, OutputOfAnotherShapeIsSizedToA) {
  int st = 0;
  MatP A(NewMat({{1, 2}, {3, 4}})), B(NewMat({{1, 1}, {1, 1}}));
  MatP out(NewMat({{9, 9, 9, 9}, {9, 9, 9, 9}, {9, 9, 9, 9}}));
  ASSERT_EQ(_LM_m_mltadd(A.get(), B.get(), 2.0, out.get(), __LINE__, "ma", &st), out.get());
  ASSERT_EQ(out->m, 2u);
  ASSERT_EQ(out->n, 2u);
  EXPECT_EQ(out->me[1], out->base + 2);  // laid out again at stride 2
  EXPECT_EQ(Rows(out.get()), (std::vector<double>{3, 4, 5, 6}));
  ErrWatch w;
  MatP C(NewMat({{1, 2, 3}}));
  EXPECT_EQ(_LM_m_mltadd(A.get(), C.get(), 2.0, nullptr, __LINE__, "ma", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "m_mltadd");
  EXPECT_EQ(w.file(), "m_mltadd");
  EXPECT_EQ(_LM_m_mltadd(nullptr, C.get(), 2.0, nullptr, __LINE__, "ma", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
}
