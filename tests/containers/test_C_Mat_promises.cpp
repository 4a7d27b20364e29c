// Small fixtures, each with an answer known by hand, for promises of the matrices that
// random command sequences found broken: NaN through the complex norms, a refused call that
// moved a cursor, a product without inner terms, self-aliased sums, power iteration on a
// matrix without rows, an empty solve, and a 2-norm at the top of the double range.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>

#include "C_AlgoPower.h"
#include "C_MatMGe.h"
#include "C_MatMSym.h"
#include "mat_support.h"

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool SameBits(zc a, zc b) { return std::memcmp(&a, &b, sizeof a) == 0; }
}  // namespace

TEST(MatPromises, ComplexNormsOfAnInfiniteAndNaNElementAreNaN) {
  // (inf, NaN) is no number: the vector norms give NaN, and so must every matrix norm.
  C_MatMGe<zc> g(2, 2);
  g.SetVal(0, 0, zc(kInf, kNaN));
  g.SetVal(1, 1, zc(1, 0));
  EXPECT_TRUE(std::isnan(g.Nrm(NRM_INF)));
  EXPECT_TRUE(std::isnan(g.Nrm(NRM_ONE)));
  EXPECT_TRUE(std::isnan(g.Nrm(NRM_TWO)));
  C_MatMSym<zc> s(2, 1);
  s.SetVal(1, 0, zc(kNaN, kInf));
  EXPECT_TRUE(std::isnan(s.Nrm(NRM_INF)));
  // A plain infinite element (no NaN part) stays infinite.
  g.SetVal(0, 0, zc(kInf, 0));
  EXPECT_EQ(g.Nrm(NRM_INF), kInf);
  EXPECT_EQ(g.Nrm(NRM_ONE), kInf);
}

TEST(MatPromises, RefusedNormsAndStepsMoveNoCursor) {
  // Rows but no columns: the infinity norm is refused, and the cursors stay where they were.
  C_MatMGe<double> g(3, 0);
  g.rowCursor = 2;
  g.colCursor = 5;
  EXPECT_EQ(ThrownCode([&] { g.Nrm(NRM_INF); }), 2872);
  EXPECT_EQ(g.rowCursor, 2);
  EXPECT_EQ(g.colCursor, 5);
  // NextCol with the row cursor outside the rows is refused without a step.
  C_MatMGe<double> n(0, 3);
  double v = 4;
  EXPECT_EQ(ThrownCode([&] { n.NextCol(v); }), 2872);
  EXPECT_EQ(n.colCursor, 0);
  EXPECT_EQ(v, 4.0);
  // A norm that is given walks no cursor either.
  C_MatMGe<double> a(2, 2);
  a.SetVal(0, 1, -3);
  a.SetVal(1, 0, 2);
  a.rowCursor = 1;
  a.colCursor = 1;
  EXPECT_EQ(a.Nrm(NRM_INF), 3.0);
  EXPECT_EQ(a.rowCursor, 1);
  EXPECT_EQ(a.colCursor, 1);
}

TEST(MatPromises, MvWithoutColumnsGivesBetaY) {
  // A is 2 x 0: A x has no terms, y = beta y.
  C_MatMGe<double> a(2, 0);
  DVec x(0), y(2);
  y[0] = 3;
  y[1] = -5;
  EXPECT_EQ(a.Mv(7.0, x, 2.0, y, 'N'), 0);
  EXPECT_EQ(y[0], 6.0);
  EXPECT_EQ(y[1], -10.0);
  // beta 0 gives zeros, whatever y held (NaN included).
  y[0] = kNaN;
  EXPECT_EQ(a.Mv(7.0, x, 0.0, y, 'N'), 0);
  EXPECT_EQ(y[0], 0.0);
  // The transposed product of a 0 x 2 matrix has no rows: nothing is done.
  C_MatMGe<zc> z(0, 2);
  ZVec zx(0), zy(2);
  zy[0] = zc(1, 1);
  EXPECT_EQ(z.Mv(zc(1), zx, zc(0, 1), zy, 'C'), 0);
  EXPECT_TRUE(SameBits(zy[0], zc(1, 1)));
  // Complex 1 x 0: y = (0 + i)(1 + i) = -1 + i.
  C_MatMGe<zc> w(1, 0);
  ZVec wy(1);
  wy[0] = zc(1, 1);
  EXPECT_EQ(w.Mv(zc(1), zx, zc(0, 1), wy, 'N'), 0);
  EXPECT_TRUE(SameBits(wy[0], zc(-1, 1)));
}

TEST(MatPromises, SumsIntoThemselvesEqualTheUnaliasedSum) {
  // S + (-1) S of an infinite element is NaN (inf - inf), never 0.
  C_MatMSym<double> s(2, 0);
  s.SetVal(0, 0, -kInf);
  s.SetVal(1, 0, 4);
  s.Axpy(s, -1.0);
  EXPECT_TRUE(std::isnan(s.GetVal(0, 0)));
  EXPECT_EQ(s.GetVal(1, 0), 0.0);
  // NaN stays NaN at any a.
  C_MatMSym<double> n(1, 0);
  n.SetVal(0, 0, kNaN);
  n.Axpy(n, -1.0);
  EXPECT_TRUE(std::isnan(n.GetVal(0, 0)));
  // y + a y, not (1 + a) y: 1e308 + 1e308 overflows either way, but 3 + 0.1 * 3 is 3.3 as the
  // sum rounds it.
  C_MatMSym<double> r(1, 0);
  r.SetVal(0, 0, 3);
  r.Axpy(r, 0.1);
  EXPECT_TRUE(SameBits(r.GetVal(0, 0), 3 + 0.1 * 3));
  // The complex general matrix into itself equals the sum of two copies.
  C_MatMGe<zc> g(2, 3), x(2, 3), y(2, 3);
  for (int j = 0; j < 3; j++)
    for (int i = 0; i < 2; i++) g.SetVal(i, j, zc(1000.0 * (i + 1), -1000.0 * (j + 1)));
  x = g;
  y = g;
  const zc a(0, 1);
  x.Axpy(y, a);
  g.Axpy(g, a);
  for (int j = 0; j < 3; j++)
    for (int i = 0; i < 2; i++) EXPECT_TRUE(SameBits(g.GetVal(i, j), y.GetVal(i, j))) << i << "," << j;
  // By hand: (1000 - 1000i) + i (1000 - 1000i) = 2000 + 0i.
  EXPECT_TRUE(SameBits(g.GetVal(0, 0), zc(2000, 0)));
}

TEST(MatPromises, PowerIterationOnAMatrixWithoutRowsGivesZero) {
  // A is 0 x 3: A^H A is the 3 x 3 zero matrix, whatever x and y held before.
  C_MatMGe<double> a(0, 3);
  C_AlgoPower<double> p("P", 1e-3);
  p.setOption("A*A", true);
  C_AlgoPower<double>::VecType x(3), y(3);
  x.Init(5.0, 0, -1);
  y.Init(6.0, 0, -1);
  EXPECT_EQ(p.Iterate(a, x, y, 10), 0.0);
  ASSERT_EQ(y.Dim(), 3);
  for (int i = 0; i < 3; i++) EXPECT_EQ(y[i], 0.0);
  // Its 2-norm is 0 too.
  EXPECT_EQ(a.Nrm(NRM_TWO), 0.0);
}

TEST(MatPromises, AnEmptySystemSolves) {
  C_MatMGe<double> a(0, 0);
  C_MatMGe<double>::PivotVec ipiv(0);
  EXPECT_EQ(a.Factor(ipiv, true), 0);
  DVec b(0), x(0);
  EXPECT_EQ(a.Solve(ipiv, b, &x), 0);
  EXPECT_EQ(a.Solve(ipiv, b, nullptr), 0);
  EXPECT_EQ(x.Dim(), 0);
}

TEST(MatPromises, TwoNormAtTheTopOfTheRangeStaysFinite) {
  // [[-1000, M], [M, -1000]] has singular values M + 1000 and M - 1000, both M as doubles.
  C_MatMSym<double> s(2, 0);
  s.SetVal(0, 0, -1000);
  s.SetVal(1, 1, -1000);
  s.SetVal(1, 0, DBL_MAX);
  EXPECT_EQ(s.Nrm(NRM_TWO), DBL_MAX);
  // Past the range it is infinite: 2 M.
  C_MatMGe<double> g(1, 2);
  g.SetVal(0, 0, DBL_MAX);
  g.SetVal(0, 1, DBL_MAX);
  EXPECT_EQ(g.Nrm(NRM_TWO), kInf);
}

TEST(MatPromises, PrintIntoAPathOfARowOutsideChangesNothing) {
  kvtest::TempPath path("print_row");
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("kept", f);
  std::fclose(f);
  C_MatMGe<double> g(2, 2);
  EXPECT_EQ(g.Print(path.c_str(), 5, false), 0);
  EXPECT_EQ(kvtest::ReadFileText(path.str()), "kept");
}

TEST(MatPromises, AnEmptyResultAsItsOwnOperandIsCopiedBeforeItsShapeChanges) {
  // c (3 x 0) = a^T (2 x 0) c^H (0 x 3): k = 0, so c becomes the 2 x 3 zero matrix. Resized
  // in place, c would reach ?gemm as its own operand with the new leading dimension 2, which
  // ?gemm refuses for a conjugated 3-row operand (its error handler prints and nothing runs).
  C_MatMGe<double> a(0, 2), c(3, 0);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(c.Mm('T', 'C', 1.0, a, c, 0.0), 0);
  const std::string out = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
  EXPECT_EQ(out.find("DGEMM"), std::string::npos) << out;
  ASSERT_EQ(c.rows, 2);
  ASSERT_EQ(c.cols, 3);
  for (int j = 0; j < 3; j++)
    for (int i = 0; i < 2; i++) EXPECT_EQ(c.GetVal(i, j), 0.0);
}
