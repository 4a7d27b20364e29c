// Tests of the general dense matrix: construction and views, shape changes, deep copies,
// BLAS products, LU factorisation and solve, norms, text and binary forms (damaged files
// included), the reshaping operations (Transpose, TransposeInPlace against Transpose over
// many shapes, ResizeKeep), and products, sums, copies and solves whose result shares memory
// with an operand, views that write only their own elements, and independent matrices in
// several threads.
#include <gtest/gtest.h>

#include <complex>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "C_MatMGe.h"
#include "C_MatMSym.h"
#include "binfile.h"
#include "derived_vec.h"
#include "mat_support.h"

namespace {

// Fills a matrix from rows given in reading order.
template <class T>
void Fill(C_MatMGe<T>& m, std::initializer_list<std::initializer_list<double>> rowsInit) {
  int i = 0;
  for (auto& r : rowsInit) {
    int j = 0;
    for (double v : r) m.SetVal(i, j++, T(v));
    i++;
  }
}

std::vector<double> Storage(C_MatMGe<double>& m) {
  std::vector<double> out;
  for (long long k = 0; k < m.Dim(); k++) out.push_back(m.Adr()[k]);
  return out;
}

// Element (i, j) holds a value unique to its place.
double Tag(int i, int j) { return 1000.0 * (i + 1) + (j + 1); }

}  // namespace

TEST(MatMGe, ConstructionShapeAndLabels) {
  C_MatMGe<double> m(3, 2);
  EXPECT_EQ(m.rows, 3);
  EXPECT_EQ(m.cols, 2);
  EXPECT_EQ(m.Ld(), 3);
  EXPECT_EQ(m.Dim(), 6);
  EXPECT_EQ(m.NbColPtr(), 2);
  EXPECT_STREQ(m.AffType(), "C_MatMGe Type");
  EXPECT_STREQ(m.Version(), "0.1");
  EXPECT_EQ(m.Type(), 1);
  EXPECT_EQ(m.Side(), 3);
  EXPECT_FALSE(m.IsSym());
  EXPECT_EQ(m.InCore(), 1);
  EXPECT_EQ(m.MemSize(), 48);
  EXPECT_FALSE(m.factored);
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 2; j++) EXPECT_EQ(m.GetVal(i, j), 0.0);
  m.SetVal(2, 1, 7.0);
  EXPECT_EQ(m.Adr()[2 + 1 * 3], 7.0);
  EXPECT_EQ(m.col[1][2], 7.0);

  C_MatMGe<zc> z(1, 1);
  EXPECT_EQ(z.Type(), 4);
  C_MatMGe<double> empty;
  EXPECT_EQ(empty.rows, 0);
  EXPECT_EQ(empty.Dim(), 0);
  EXPECT_EQ(ThrownCode([] { C_MatMGe<double> bad(-1, 2); }), 2);
  EXPECT_EQ(ThrownCode([] { C_MatMGe<double> big(65536, 32768); }), 2880);
}

TEST(MatMGe, ViewsOfACallersArray) {
  double a[6] = {1, 2, 3, 4, 5, 6};
  {
    C_MatMGe<double> v(2, 3, a, -1);  // ld -1 stands for rows
    EXPECT_EQ(v.Ld(), 2);
    EXPECT_EQ(v.GetVal(1, 2), 6.0);
    v.SetVal(0, 0, 10.0);
    EXPECT_EQ(a[0], 10.0);
    C_Mat<double>* l = v.Lnk();  // another view of the same array
    EXPECT_EQ(l->Adr(), a);
    EXPECT_EQ(l->GetVal(1, 1), 4.0);
    delete l;
    C_MatMGe<double> s(2, 2, a, 3);  // strided view: columns 3 apart
    EXPECT_EQ(s.GetVal(1, 1), 5.0);
    EXPECT_EQ(s.Dim(), 6);
    // A view cannot grow; the failure changes nothing.
    EXPECT_EQ(ThrownCode([&] { v.Resize(4, 4); }), 2870);
    EXPECT_EQ(v.rows, 2);
    EXPECT_EQ(v.cols, 3);
    EXPECT_EQ(ThrownCode([&] { C_MatMGe<double> bad(3, 2, a, 2); }), 2872);
  }
  EXPECT_EQ(a[5], 6.0);  // the array outlives its views untouched

  C_MatMGe<double> own(2, 2);
  Fill(own, {{1, 2}, {3, 4}});
  C_Mat<double>* d = own.Dup();
  own.SetVal(0, 0, 9);
  EXPECT_EQ(d->GetVal(0, 0), 1.0);
  EXPECT_NE(d->Adr(), own.Adr());
  delete d;
}

TEST(MatMGe, ResizeKeepsStorageOrderAndRefusesBadSizes) {
  C_MatMGe<double> m(3, 2);
  for (int k = 0; k < 6; k++) m.Adr()[k] = k + 1;
  EXPECT_EQ(m.Resize(2, 3), 0);
  EXPECT_EQ(m.Ld(), 2);
  EXPECT_EQ(Storage(m), (std::vector<double>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(m.GetVal(1, 2), 6.0);
  EXPECT_EQ(m.col[2], m.Adr() + 4);

  EXPECT_EQ(ThrownCode([&] { m.Resize(65536, 32768); }), 2880);
  EXPECT_EQ(ThrownCode([&] { m.Resize(-1, 3); }), 2);
  EXPECT_EQ(ThrownCode([&] { m.Resize(3, -1); }), 2);
  EXPECT_EQ(m.rows, 2);
  EXPECT_EQ(m.cols, 3);
  EXPECT_EQ(Storage(m), (std::vector<double>{1, 2, 3, 4, 5, 6}));

  EXPECT_EQ(m.Resize(0, 0), 0);
  EXPECT_EQ(m.Dim(), 0);
  EXPECT_EQ(m.Resize(2, 2), 0);
  EXPECT_EQ(m.Dim(), 4);
  m.Release();
  EXPECT_EQ(m.rows, 0);
  EXPECT_EQ(m.col, nullptr);
}

TEST(MatMGe, CopiesAreDeepAndCounted) {
  const int alive = C_Counter<C_Mat<double>>::objects_alive;
  const int created = C_Counter<C_Mat<double>>::objects_created;
  {
    C_MatMGe<double> a(2, 2);
    Fill(a, {{1, 2}, {3, 4}});
    C_MatMGe<double> b(a);
    b.SetVal(0, 0, 100);
    EXPECT_EQ(a.GetVal(0, 0), 1.0);
    EXPECT_EQ(b.GetVal(1, 0), 3.0);
    C_MatMGe<double> c(5, 1);
    EXPECT_EQ(c = a, 0);
    EXPECT_EQ(c.rows, 2);
    EXPECT_EQ(c.GetVal(1, 1), 4.0);
    c.SetVal(1, 1, -4);
    EXPECT_EQ(a.GetVal(1, 1), 4.0);
    EXPECT_EQ(c = c, 0);  // self-assignment changes nothing
    EXPECT_EQ(c.GetVal(1, 1), -4.0);

    // A strided source is copied column by column into a contiguous result.
    double arr[6] = {1, 2, -1, 3, 4, -1};
    C_MatMGe<double> view(2, 2, arr, 3);
    C_MatMGe<double> d;
    d = view;
    EXPECT_EQ(d.Ld(), 2);
    EXPECT_EQ(Storage(d), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(C_Counter<C_Mat<double>>::objects_alive, alive + 5);
    C_Mat<double>* l = a.Lnk();
    delete l;
  }
  EXPECT_EQ(C_Counter<C_Mat<double>>::objects_alive, alive);
  EXPECT_EQ(C_Counter<C_Mat<double>>::objects_created, created + 6);
}

TEST(MatMGe, InitScaleAndZeroOnOwnedAndStridedMatrices) {
  double arr[6] = {1, 2, -1, 3, 4, -1};
  C_MatMGe<double> view(2, 2, arr, 3);
  view *= 1.0;
  EXPECT_EQ(arr[2], -1.0);
  view *= 2.0;
  EXPECT_EQ((std::vector<double>(arr, arr + 6)), (std::vector<double>{2, 4, -1, 6, 8, -1}));
  view.Init(5.0);
  EXPECT_EQ((std::vector<double>(arr, arr + 6)), (std::vector<double>{5, 5, -1, 5, 5, -1}));
  view.Zero();
  EXPECT_EQ((std::vector<double>(arr, arr + 6)), (std::vector<double>{0, 0, -1, 0, 0, -1}));

  C_MatMGe<zc> z(2, 1);
  z.Init(zc(1, 2));
  z *= zc(0, 1);
  EXPECT_EQ(z.GetVal(1, 0), zc(-2, 1));
}

TEST(MatMGe, MatrixVectorProducts) {
  C_MatMGe<double> a(2, 3);
  Fill(a, {{1, 2, 3}, {4, 5, 6}});
  DVec x(3), y(0);
  x[0] = 1, x[1] = 0, x[2] = -1;
  EXPECT_EQ(a.Mv(1.0, x, 0.0, y, 'N'), 0);
  ASSERT_EQ(y.Dim(), 2);
  EXPECT_EQ(y[0], -2.0);
  EXPECT_EQ(y[1], -2.0);
  // beta applies to the values a y of the right length already holds.
  EXPECT_EQ(a.Mv(2.0, x, 10.0, y, 'N'), 0);
  EXPECT_EQ(y[0], -24.0);
  DVec u(2), w(0);
  u[0] = 1, u[1] = 1;
  EXPECT_EQ(a.Mv(1.0, u, 0.0, w, 't'), 0);
  ASSERT_EQ(w.Dim(), 3);
  EXPECT_EQ(w[2], 9.0);
  EXPECT_EQ(a.Mv(1.0, u, 0.0, w, 'C'), 0);  // the real matrix takes C as the transpose
  EXPECT_EQ(w[0], 5.0);

  // The same vector as input and output.
  C_MatMGe<double> sq(2, 2);
  Fill(sq, {{1, 2}, {3, 4}});
  DVec inout(2);
  inout[0] = 1, inout[1] = 1;
  EXPECT_EQ(sq.Mv(1.0, inout, 0.0, inout, 'N'), 0);
  EXPECT_EQ(inout[0], 3.0);
  EXPECT_EQ(inout[1], 7.0);

  EXPECT_EQ(ThrownCode([&] { a.Mv(1.0, u, 0.0, y, 'N'); }), 2872);
  EXPECT_EQ(ThrownCode([&] { a.Mv(1.0, x, 0.0, y, 'X'); }), 2875);
  EXPECT_EQ(ThrownCode([&] { a.Mv(1.0, x, 0.0, y, ' '); }), 2875);

  C_MatMGe<double> norows(0, 3);
  DVec keep(2);
  keep[0] = 7;
  EXPECT_EQ(norows.Mv(1.0, x, 0.0, keep, 'N'), 0);
  EXPECT_EQ(keep.Dim(), 2);
  EXPECT_EQ(keep[0], 7.0);

  // Complex: T transposes, C also conjugates.
  C_MatMGe<zc> z(1, 2);
  z.SetVal(0, 0, zc(0, 1));
  z.SetVal(0, 1, zc(2, 0));
  ZVec one(1), out(0);
  one[0] = zc(1, 0);
  z.Mv(zc(1), one, zc(0), out, 'T');
  EXPECT_EQ(out[0], zc(0, 1));
  z.Mv(zc(1), one, zc(0), out, 'C');
  EXPECT_EQ(out[0], zc(0, -1));
  EXPECT_EQ(out[1], zc(2, 0));
}

TEST(MatMGe, MatrixMatrixProducts) {
  C_MatMGe<double> a(2, 3), b(3, 2), c;
  Fill(a, {{1, 2, 3}, {4, 5, 6}});
  Fill(b, {{1, 0}, {0, 1}, {1, 1}});
  EXPECT_EQ(c.Mm('N', 'N', 1.0, a, b, 0.0), 0);
  ASSERT_EQ(c.rows, 2);
  ASSERT_EQ(c.cols, 2);
  EXPECT_EQ(c.GetVal(0, 0), 4.0);
  EXPECT_EQ(c.GetVal(0, 1), 5.0);
  EXPECT_EQ(c.GetVal(1, 0), 10.0);
  EXPECT_EQ(c.GetVal(1, 1), 11.0);
  // beta applies when the shape is unchanged: c = A^T A^T... here c = 2 (A B) + 1 c.
  EXPECT_EQ(c.Mm('N', 'N', 2.0, a, b, 1.0), 0);
  EXPECT_EQ(c.GetVal(1, 1), 33.0);
  C_MatMGe<double> g;
  EXPECT_EQ(g.Mm('T', 'N', 1.0, a, a, 0.0), 0);  // A^T A, 3 x 3
  EXPECT_EQ(g.rows, 3);
  EXPECT_EQ(g.GetVal(2, 2), 45.0);
  EXPECT_EQ(g.GetVal(0, 1), 22.0);

  EXPECT_EQ(ThrownCode([&] { c.Mm('N', 'N', 1.0, a, a, 0.0); }), 2872);
  EXPECT_EQ(ThrownCode([&] { c.Mm('N', 'Q', 1.0, a, b, 0.0); }), 2875);
  C_MatMGe<double> e0(0, 3);
  EXPECT_EQ(c.Mm('N', 'N', 1.0, e0, b, 0.0), 0);  // empty product: c untouched
  EXPECT_EQ(c.rows, 2);
  EXPECT_EQ(c.GetVal(1, 1), 33.0);
  // An operand that is the result itself.
  C_MatMGe<double> s(2, 2);
  Fill(s, {{1, 1}, {0, 1}});
  EXPECT_EQ(s.Mm('N', 'N', 1.0, s, s, 0.0), 0);
  EXPECT_EQ(s.GetVal(0, 1), 2.0);
  EXPECT_EQ(s.GetVal(1, 1), 1.0);
}

TEST(MatMGe, AxpyFastAndGenericPaths) {
  C_MatMGe<double> x(2, 2), y(2, 2);
  Fill(x, {{1, 2}, {3, 4}});
  Fill(y, {{10, 20}, {30, 40}});
  x.Axpy(y, 2.0);
  EXPECT_EQ(y.GetVal(1, 0), 36.0);
  EXPECT_EQ(y.GetVal(0, 1), 24.0);
  double arr[6] = {0, 0, -1, 0, 0, -1};
  C_MatMGe<double> view(2, 2, arr, 3);
  x.Axpy(view, 1.0);
  EXPECT_EQ((std::vector<double>(arr, arr + 6)), (std::vector<double>{1, 3, -1, 2, 4, -1}));
  C_MatMGe<double> wrong(2, 3);
  EXPECT_EQ(ThrownCode([&] { x.Axpy(wrong, 1.0); }), 2872);
  // Into a symmetric matrix each packed element is added once, from this(i, j), i >= j.
  C_MatMSym<double> s(2, 1);
  x.Axpy(s, 1.0);
  EXPECT_EQ(s.GetVal(0, 0), 1.0);
  EXPECT_EQ(s.GetVal(1, 0), 3.0);
  EXPECT_EQ(s.GetVal(1, 1), 4.0);
}

TEST(MatMGe, FactorAndSolveHandSolvedSystems) {
  C_MatMGe<double> a(2, 2);
  Fill(a, {{4, 3}, {6, 3}});
  IVec ipiv(0);
  EXPECT_EQ(a.Factor(ipiv, false), 0);
  EXPECT_TRUE(a.factored);
  ASSERT_EQ(ipiv.Dim(), 2);
  EXPECT_EQ(ipiv[0], 2);  // the larger first-column entry is the pivot
  DVec b(2);
  b[0] = 10, b[1] = 12;
  DVec x(0);
  EXPECT_EQ(a.Solve(ipiv, b, &x), 0);
  EXPECT_NEAR(x[0], 1.0, 1e-15);
  EXPECT_NEAR(x[1], 2.0, 1e-15);
  EXPECT_EQ(b[0], 10.0);  // b untouched when x is given
  EXPECT_EQ(a.Solve(ipiv, b, nullptr), 0);
  EXPECT_NEAR(b[1], 2.0, 1e-15);

  // Already factored: a second Factor without refactor leaves the factors alone.
  std::vector<double> factors = Storage(a);
  EXPECT_EQ(a.Factor(ipiv, false), 0);
  EXPECT_EQ(Storage(a), factors);

  // Complex: [[1, i], [0, 2]] z = (0, 2i) has z = (1, i).
  C_MatMGe<zc> z(2, 2);
  z.SetVal(0, 0, 1.0);
  z.SetVal(0, 1, zc(0, 1));
  z.SetVal(1, 1, 2.0);
  ZVec zb(2);
  zb[0] = 0.0;
  zb[1] = zc(0, 2);
  EXPECT_EQ(z.Factor(ipiv, false), 0);
  EXPECT_EQ(z.Solve(ipiv, zb, nullptr), 0);
  EXPECT_NEAR(std::abs(zb[0] - zc(1, 0)), 0.0, 1e-15);
  EXPECT_NEAR(std::abs(zb[1] - zc(0, 1)), 0.0, 1e-15);
}

TEST(MatMGe, SingularAndRefusedSolves) {
  C_MatMGe<double> s(2, 2);
  Fill(s, {{0, 0}, {0, 1}});
  IVec ipiv(0);
  EXPECT_EQ(ThrownCode([&] { s.Factor(ipiv, false); }), 2869);
  EXPECT_FALSE(s.factored);

  C_MatMGe<double> a(2, 2);
  Fill(a, {{2, 0}, {0, 4}});
  a.Factor(ipiv, false);
  DVec b3(3), b2(2);
  EXPECT_EQ(ThrownCode([&] { a.Solve(ipiv, b3, nullptr); }), 2872);  // right-hand side length
  IVec shortPiv(1);
  shortPiv[0] = 1;
  EXPECT_EQ(ThrownCode([&] { a.Solve(shortPiv, b2, nullptr); }), 2872);
  IVec badPiv(2);
  badPiv[0] = 1, badPiv[1] = 3;  // outside 1 .. n
  EXPECT_EQ(ThrownCode([&] { a.Solve(badPiv, b2, nullptr); }), 2872);
  badPiv[1] = 0;
  EXPECT_EQ(ThrownCode([&] { a.Solve(badPiv, b2, nullptr); }), 2872);
  C_MatMGe<double> rect(2, 3);
  EXPECT_EQ(ThrownCode([&] { rect.Solve(ipiv, b2, nullptr); }), 2872);
  double arr[4] = {1, 0, 0, 1};
  C_MatMGe<double> strided(1, 1, arr, 2);  // ld 2 >= rows: accepted
  IVec p1(1);
  p1[0] = 1;
  DVec one(1);
  one[0] = 3;
  EXPECT_EQ(strided.Solve(p1, one, nullptr), 0);
  EXPECT_EQ(one[0], 3.0);
}

TEST(MatMGe, FactoredFlagClearedByEveryLoad) {
  C_MatMGe<double> a(2, 2);
  IVec ipiv(0);
  auto factored = [&]() {
    Fill(a, {{4, 3}, {6, 3}});
    a.Factor(ipiv, true);
    return a.factored;
  };
  ASSERT_TRUE(factored());
  a.Resize(2, 2);
  EXPECT_FALSE(a.factored);
  ASSERT_TRUE(factored());
  a.Init(1.0);
  EXPECT_FALSE(a.factored);
  ASSERT_TRUE(factored());
  C_MatMGe<double> other(2, 2);
  a = other;
  EXPECT_FALSE(a.factored);
  ASSERT_TRUE(factored());
  a.Copy(other);
  EXPECT_FALSE(a.factored);
  ASSERT_TRUE(factored());
  a.ResizeKeep(2, 2);
  EXPECT_FALSE(a.factored);
  ASSERT_TRUE(factored());
  a.Transpose();
  EXPECT_FALSE(a.factored);
  ASSERT_TRUE(factored());
  a.TransposeInPlace();
  EXPECT_FALSE(a.factored);
  ASSERT_TRUE(factored());
  kvtest::TempPath path("mge_factored");
  FILE* f = std::fopen(path.c_str(), "wb");
  other.Write(f);
  std::fclose(f);
  f = std::fopen(path.c_str(), "rb");
  a.Read(f);
  std::fclose(f);
  EXPECT_FALSE(a.factored);
}

TEST(MatMGe, Norms) {
  C_MatMGe<double> a(2, 2);
  Fill(a, {{1, -2}, {3, 4}});
  EXPECT_EQ(a.Nrm(NRM_INF), 7.0);
  EXPECT_EQ(a.Nrm(NRM_ONE), 6.0);
  EXPECT_EQ(ThrownCode([&] { a.Nrm(static_cast<E_NrmType>(5)); }), 3);
  // One column: the vector norm of the column.
  C_MatMGe<double> c(2, 1);
  Fill(c, {{3}, {-4}});
  EXPECT_EQ(c.Nrm(NRM_INF), 4.0);
  EXPECT_EQ(c.Nrm(NRM_ONE), 7.0);
  EXPECT_EQ(c.Nrm(NRM_TWO), 5.0);
  // [[3, 0], [4, 5]]: A^T A has eigenvalues 45 and 5, so the 2-norm is sqrt(45).
  C_MatMGe<double> t(2, 2);
  Fill(t, {{3, 0}, {4, 5}});
  EXPECT_NEAR(t.Nrm(NRM_TWO), std::sqrt(45.0), 1e-3 * std::sqrt(45.0));
  C_MatMGe<zc> z(2, 2);
  z.SetVal(0, 0, zc(3, 4));
  z.SetVal(1, 1, zc(0, -1));
  z.SetVal(0, 1, zc(0, 1));
  EXPECT_DOUBLE_EQ(z.Nrm(NRM_INF), 6.0);
  EXPECT_DOUBLE_EQ(z.Nrm(NRM_ONE), 5.0);
  C_MatMGe<double> empty(0, 3);
  EXPECT_EQ(ThrownCode([&] { empty.Nrm(NRM_INF); }), 2872);
}

TEST(MatMGe, PrintAndWriteMatlabTexts) {
  C_MatMGe<double> m(3, 6);
  for (int j = 0; j < 6; j++) m.SetVal(1, j, j + 1);
  std::string text = kvtest::TextOf("mge_print", [&](FILE* f) { m.Print(f, 1); });
  EXPECT_EQ(text,
            " Type: Double\n Rows: 3\n Columns: 6\n In Core: 1\n Sym: NO\n Values: \n"
            "[2,1]: 1.000e+00 [2,2]: 2.000e+00 [2,3]: 3.000e+00 [2,4]: 4.000e+00 [2,5]: 5.000e+00 \n"
            "[2,6]: 6.000e+00 \n");

  C_MatMGe<double> a(2, 2);
  Fill(a, {{1, -2}, {3, 4}});
  EXPECT_EQ(kvtest::TextOf("mge_all", [&](FILE* f) { a.Print(f, -1); }),
            " Type: Double\n Rows: 2\n Columns: 2\n In Core: 1\n Sym: NO\n Values: \n"
            "[1,1]: 1.000e+00 [1,2]:-2.000e+00 \n[2,1]: 3.000e+00 [2,2]: 4.000e+00 \n");
  EXPECT_EQ(kvtest::TextOf("mge_matlab", [&](FILE* f) { a.WriteMatlab(f); }),
            "C_MatMGe Type\nDouble\n2 2\n 1.000e+00  -2.000e+00  \n 3.000e+00   4.000e+00  \n");
  C_MatMGe<zc> z(1, 1);
  z.SetVal(0, 0, zc(1, -2));
  EXPECT_EQ(kvtest::TextOf("mge_zmatlab", [&](FILE* f) { z.WriteMatlab(f); }),
            "C_MatMGe Type\nDouble complex\n1 1\n 1.000E+00 -2.000E+00  \n");
  EXPECT_EQ(ThrownCode([&] { a.WriteMatlab(static_cast<FILE*>(nullptr)); }), 12);
  EXPECT_EQ(ThrownCode([&] { a.Print(static_cast<FILE*>(nullptr), -1); }), 12);
  EXPECT_EQ(ThrownCode([&] { a.Print(stdout, 2); }), 2872);

  // File forms.
  kvtest::TempPath path("mge_files");
  EXPECT_EQ(a.Print(path.c_str(), 0, false), 0);
  EXPECT_EQ(a.Print(path.c_str(), 1, true), 0);
  EXPECT_EQ(kvtest::ReadFileText(path.str()),
            std::string(" Type: Double\n Rows: 2\n Columns: 2\n In Core: 1\n Sym: NO\n Values: \n"
                        "[1,1]: 1.000e+00 [1,2]:-2.000e+00 \n") +
                " Type: Double\n Rows: 2\n Columns: 2\n In Core: 1\n Sym: NO\n Values: \n"
                "[2,1]: 3.000e+00 [2,2]: 4.000e+00 \n");
  EXPECT_EQ(a.Print(static_cast<const char*>(nullptr), -1, false), 0);
  EXPECT_EQ(a.Print("no_such_dir_kvelo/x.txt", -1, false), 0);
  EXPECT_EQ(a.WriteMatlab(path.c_str()), 0);
  EXPECT_EQ(kvtest::ReadFileText(path.str()), "C_MatMGe Type\nDouble\n2 2\n 1.000e+00  -2.000e+00  \n 3.000e+00   4.000e+00  \n");
  EXPECT_EQ(ThrownCode([&] { a.WriteMatlab("no_such_dir_kvelo/x.txt"); }), 12);
}

TEST(MatMGe, BinaryFormByteForByte) {
  C_MatMGe<double> a(2, 2);
  Fill(a, {{1, 2}, {3, 4}});
  const Bytes expected = MakeBytes({0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 4,                    //
                                    0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0x40, 0x08, 0, 0, 0, 0, 0, 0,  // 1, 3
                                    0x40, 0x00, 0, 0, 0, 0, 0, 0, 0x40, 0x10, 0, 0, 0, 0, 0, 0});
  kvtest::TempPath path("mge_bin");
  FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_EQ(a.Write(f), 0);
  std::fclose(f);
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(path.str()), expected));

  double arr[6] = {1, 3, 99, 2, 4, 99};
  C_MatMGe<double> view(2, 2, arr, 3);
  f = std::fopen(path.c_str(), "wb");
  EXPECT_EQ(view.Write(f), 0);
  std::fclose(f);
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(path.str()), expected));

  C_MatMGe<double> r(5, 5);
  f = std::fopen(path.c_str(), "rb");
  EXPECT_EQ(r.Read(f), 0);
  std::fclose(f);
  EXPECT_EQ(r.rows, 2);
  EXPECT_EQ(r.Ld(), 2);
  EXPECT_EQ(r.GetVal(1, 0), 3.0);
  EXPECT_EQ(r.GetVal(0, 1), 2.0);

  C_MatMGe<zc> z(1, 1);
  z.SetVal(0, 0, zc(1, -2));
  f = std::fopen(path.c_str(), "wb");
  z.Write(f);
  std::fclose(f);
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(path.str()),
                                 MakeBytes({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0,
                                            0xC0, 0x00, 0, 0, 0, 0, 0, 0})));
  EXPECT_EQ(ThrownCode([&] { a.Write(nullptr); }), 12);
  EXPECT_EQ(ThrownCode([&] { a.Read(nullptr); }), 12);
}

TEST(MatMGe, ReadInstallsOnlyConsistentMatrices) {
  kvtest::TempPath path("mge_badread");
  C_MatMGe<double> m(1, 2);
  m.SetVal(0, 1, 8.0);
  auto readBytes = [&](const Bytes& b) {
    kvtest::WriteFileBytes(path.str(), b);
    FILE* f = std::fopen(path.c_str(), "rb");
    int code = ThrownCode([&] { m.Read(f); });
    std::fclose(f);
    return code;
  };
  Bytes countWrong;  // 2 x 2 announced with 3 values
  kvtest::PutInt(countWrong, 2), kvtest::PutInt(countWrong, 2), kvtest::PutInt(countWrong, 3);
  for (int k = 0; k < 3; k++) kvtest::PutDouble(countWrong, k);
  EXPECT_EQ(readBytes(countWrong), 21);
  Bytes negative;
  kvtest::PutInt(negative, -2), kvtest::PutInt(negative, -2), kvtest::PutInt(negative, 4);
  EXPECT_EQ(readBytes(negative), 21);
  Bytes truncated;
  kvtest::PutInt(truncated, 2), kvtest::PutInt(truncated, 1), kvtest::PutInt(truncated, 2);
  kvtest::PutDouble(truncated, 5.0);
  EXPECT_EQ(readBytes(truncated), 21);
  EXPECT_EQ(readBytes(MakeBytes({0, 0, 0, 1, 0})), 21);
  // After every failure the matrix is the one it was.
  EXPECT_EQ(m.rows, 1);
  EXPECT_EQ(m.cols, 2);
  EXPECT_EQ(m.GetVal(0, 1), 8.0);
  Bytes good;
  kvtest::PutInt(good, 2), kvtest::PutInt(good, 1), kvtest::PutInt(good, 2);
  kvtest::PutDouble(good, 5.0), kvtest::PutDouble(good, 6.0);
  EXPECT_EQ(readBytes(good), 0);
  EXPECT_EQ(m.rows, 2);
  EXPECT_EQ(m.GetVal(1, 0), 6.0);
}

TEST(MatMGeReshape, TransposeInPlaceExamples) {
  C_MatMGe<double> m(2, 3);
  Fill(m, {{1, 2, 3}, {4, 5, 6}});
  EXPECT_EQ(Storage(m), (std::vector<double>{1, 4, 2, 5, 3, 6}));
  EXPECT_EQ(m.TransposeInPlace(), 0);
  EXPECT_EQ(m.rows, 3);
  EXPECT_EQ(m.cols, 2);
  EXPECT_EQ(m.Ld(), 3);
  EXPECT_EQ(Storage(m), (std::vector<double>{1, 2, 3, 4, 5, 6}));

  C_MatMGe<double> row(1, 4);
  for (int k = 0; k < 4; k++) row.Adr()[k] = k;
  double* before = row.Adr();
  row.TransposeInPlace();
  EXPECT_EQ(row.rows, 4);
  EXPECT_EQ(row.cols, 1);
  EXPECT_EQ(row.Adr(), before);
  EXPECT_EQ(Storage(row), (std::vector<double>{0, 1, 2, 3}));

  C_MatMGe<double> sq(3, 3);
  for (int k = 0; k < 9; k++) sq.Adr()[k] = k;
  sq.TransposeInPlace();
  EXPECT_EQ(Storage(sq), (std::vector<double>{0, 3, 6, 1, 4, 7, 2, 5, 8}));

  double arr[4] = {1, 2, 3, 4};
  C_MatMGe<double> strided(1, 2, arr, 2);
  EXPECT_EQ(ThrownCode([&] { strided.TransposeInPlace(); }), 2870);
}

TEST(MatMGeReshape, TransposeInPlaceAgreesWithTransposeOnManyShapes) {
  // Every shape up to 40 x 40 (the degenerate ones included), and a few larger ones.
  std::vector<std::pair<int, int>> shapes = {{97, 61}, {128, 3}, {5, 211}};
  for (int m = 0; m <= 40; m++)
    for (int n = 0; n <= 40; n++) shapes.push_back({m, n});
  for (auto s : shapes) {
    const int m = s.first, n = s.second;
    C_MatMGe<double> a(m, n), b(m, n);
    for (int i = 0; i < m; i++)
      for (int j = 0; j < n; j++) a.SetVal(i, j, Tag(i, j));
    b = a;
    a.TransposeInPlace();
    b.Transpose();
    ASSERT_EQ(a.rows, n) << m << "x" << n;
    ASSERT_EQ(a.cols, m) << m << "x" << n;
    ASSERT_EQ(b.rows, n);
    bool same = true;
    for (int i = 0; i < n && same; i++)
      for (int j = 0; j < m && same; j++) same = a.GetVal(i, j) == Tag(j, i) && b.GetVal(i, j) == Tag(j, i);
    ASSERT_TRUE(same) << "shape " << m << "x" << n;
  }
  // The complex instance transposes without conjugation.
  C_MatMGe<zc> z(2, 3);
  for (int i = 0; i < 2; i++)
    for (int j = 0; j < 3; j++) z.SetVal(i, j, zc(i, j + 1));
  z.TransposeInPlace();
  EXPECT_EQ(z.GetVal(2, 1), zc(1, 3));
}

TEST(MatMGeReshape, ResizeKeepExamples) {
  C_MatMGe<double> a(2, 2);
  Fill(a, {{1, 2}, {3, 4}});
  C_MatMGe<double> b(a), c(a);
  EXPECT_EQ(a.ResizeKeep(4, 3), 0);
  ASSERT_EQ(a.rows, 4);
  ASSERT_EQ(a.cols, 3);
  const double want[4][3] = {{1, 2, 0}, {3, 4, 0}, {0, 0, 0}, {0, 0, 0}};
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 3; j++) EXPECT_EQ(a.GetVal(i, j), want[i][j]) << i << "," << j;
  EXPECT_EQ(b.ResizeKeep(1, 2), 0);
  EXPECT_EQ(b.rows, 1);
  EXPECT_EQ(b.GetVal(0, 0), 1.0);
  EXPECT_EQ(b.GetVal(0, 1), 2.0);
  EXPECT_EQ(c.ResizeKeep(2, 2), 0);
  EXPECT_EQ(Storage(c), (std::vector<double>{1, 3, 2, 4}));
  EXPECT_EQ(ThrownCode([&] { c.ResizeKeep(-1, 2); }), 2);
  EXPECT_EQ(Storage(c), (std::vector<double>{1, 3, 2, 4}));

  // Shrinking and growing in turn, with stale values in the buffer: new elements are zeros.
  std::mt19937 gen(7u);
  std::uniform_int_distribution<int> dim(0, 9);
  for (int k = 0; k < 200; k++) {
    const int r0 = dim(gen), c0 = dim(gen), r1 = dim(gen), c1 = dim(gen);
    C_MatMGe<double> m(r0, c0);
    for (int i = 0; i < r0; i++)
      for (int j = 0; j < c0; j++) m.SetVal(i, j, Tag(i, j));
    m.ResizeKeep(r1, c1);
    ASSERT_EQ(m.rows, r1);
    ASSERT_EQ(m.cols, c1);
    for (int i = 0; i < r1; i++)
      for (int j = 0; j < c1; j++)
        ASSERT_EQ(m.GetVal(i, j), (i < r0 && j < c0) ? Tag(i, j) : 0.0)
            << r0 << "x" << c0 << " -> " << r1 << "x" << c1 << " at " << i << "," << j;
  }
}

TEST(MatMGe, FactorAndSolveAreTracedScopes) {
  Kvelo::C_CallStack& stack = Kvelo::GlobalCallstackCollection().GetCurrentCallStack();
  const int depth = stack.NbEntries();
  C_MatMGe<double> s(2, 2);
  IVec ipiv(0);
  std::string top;
  try {
    s.Factor(ipiv, false);  // singular
  } catch (const C_KveloException& e) {
    ASSERT_NE(e.getCallStack().Top(), nullptr);
    top = e.getCallStack().Top()->function;
  }
  EXPECT_EQ(top, "C_MatMGe<T>::Factor");
  EXPECT_EQ(stack.NbEntries(), depth);  // the scope closed on the way out
  DVec b(3);
  try {
    s.Solve(ipiv, b, nullptr);
  } catch (const C_KveloException& e) {
    top = e.getCallStack().Top()->function;
  }
  EXPECT_EQ(top, "C_MatMGe<T>::Solve");
  EXPECT_EQ(stack.NbEntries(), depth);
}

TEST(MatMGeReshape, ResizeKeepAfterAShrinkFillsNewPlacesWithZeros) {
  // The shrink leaves the old values in the storage's capacity; growing again must not bring
  // them back. Columns: 2 x 3 holding 1..6 by rows, to 2 x 1 and back to 2 x 3.
  C_MatMGe<double> m(2, 3);
  Fill(m, {{1, 2, 3}, {4, 5, 6}});
  ASSERT_EQ(m.ResizeKeep(2, 1), 0);
  ASSERT_EQ(m.ResizeKeep(2, 3), 0);
  const double cols[2][3] = {{1, 0, 0}, {4, 0, 0}};
  for (int i = 0; i < 2; i++)
    for (int j = 0; j < 3; j++) EXPECT_EQ(m.GetVal(i, j), cols[i][j]) << i << "," << j;
  // Rows: 3 x 2 holding 1..6 by rows, to 1 x 2 and back to 3 x 2.
  C_MatMGe<double> r(3, 2);
  Fill(r, {{1, 2}, {3, 4}, {5, 6}});
  ASSERT_EQ(r.ResizeKeep(1, 2), 0);
  ASSERT_EQ(r.ResizeKeep(3, 2), 0);
  const double rowsWant[3][2] = {{1, 2}, {0, 0}, {0, 0}};
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 2; j++) EXPECT_EQ(r.GetVal(i, j), rowsWant[i][j]) << i << "," << j;
}

// ---------------------------------------------------------------------------------------
// Products, sums, copies and solves whose result shares memory with an operand.
// ---------------------------------------------------------------------------------------
TEST(MatMGeAliasing, MmWithOperandsSharingTheResult) {
  // c = [[1, 2], [3, 4]]; c c = [[7, 10], [15, 22]]; c^T c = [[10, 14], [14, 20]], plus
  // c / 2 = [[0.5, 1], [1.5, 2]]: [[10.5, 15], [15.5, 22]].
  struct Case {
    const char* what;
    char ta;
    double beta;
    double want[4];  // column by column
  };
  const Case cases[] = {{"c = Lnk(c) Lnk(c)", 'N', 0.0, {7, 15, 10, 22}},
                        {"c = Lnk(c)^T Lnk(c) + c / 2", 'T', 0.5, {10.5, 15.5, 15, 22}}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    C_MatMGe<double> c(2, 2);
    Fill(c, {{1, 2}, {3, 4}});
    std::unique_ptr<C_Mat<double>> l(c.Lnk());
    C_MatMGe<double>& view = static_cast<C_MatMGe<double>&>(*l);
    EXPECT_EQ(c.Mm(k.ta, 'N', 1.0, view, view, k.beta), 0);
    EXPECT_EQ(Storage(c), (std::vector<double>(k.want, k.want + 4)));
  }

  // A view over Adr() of one column as B: c = c [2, 4]^T = [10, 22], the result shrinking
  // to 2 x 1 over the column it reads.
  C_MatMGe<double> c(2, 2);
  Fill(c, {{1, 2}, {3, 4}});
  C_MatMGe<double> col1(2, 1, c.Adr() + 2, 2);
  EXPECT_EQ(c.Mm('N', 'N', 1.0, c, col1, 0.0), 0);
  EXPECT_EQ(c.rows, 2);
  EXPECT_EQ(c.cols, 1);
  EXPECT_EQ(Storage(c), (std::vector<double>{10, 22}));

  // A growing result: 2 x 2 times 2 x 3 needs six places, the storage is reallocated and
  // the view would read the freed buffer.
  C_MatMGe<double> g(2, 2), b(2, 3);
  Fill(g, {{1, 2}, {3, 4}});
  Fill(b, {{1, 0, 1}, {0, 1, 1}});
  std::unique_ptr<C_Mat<double>> gl(g.Lnk());
  EXPECT_EQ(g.Mm('N', 'N', 1.0, static_cast<C_MatMGe<double>&>(*gl), b, 0.0), 0);
  ASSERT_EQ(g.cols, 3);
  EXPECT_EQ(Storage(g), (std::vector<double>{1, 3, 2, 4, 3, 7}));
}

TEST(MatMGeAliasing, MvWithYSharingTheMatrixOrX) {
  // A = [[1, 2], [3, 4]], x = (1, 1): A x = (3, 7), A^T x = (4, 6).
  {
    C_MatMGe<double> a(2, 2);
    Fill(a, {{1, 2}, {3, 4}});
    DVec x(2, 1.0), y(0);
    a.LnkCol(0, y);  // y is column 0 of A
    EXPECT_EQ(a.Mv(1.0, x, 0.0, y, 'N'), 0);
    EXPECT_EQ(y[0], 3.0);
    EXPECT_EQ(y[1], 7.0);
    EXPECT_EQ(Storage(a), (std::vector<double>{3, 7, 2, 4}));
  }
  {
    C_MatMGe<double> a(2, 2);
    Fill(a, {{1, 2}, {3, 4}});
    DVec x(2, 1.0), y(0);
    a.LnkCol(1, y);
    EXPECT_EQ(a.Mv(1.0, x, 0.0, y, 'T'), 0);
    EXPECT_EQ(Storage(a), (std::vector<double>{1, 3, 4, 6}));
  }
  {
    // x over buf[0..1], y over buf[1..2]: y = A (1, 2) = (5, 11).
    C_MatMGe<double> a(2, 2);
    Fill(a, {{1, 2}, {3, 4}});
    double buf[3] = {1, 2, 0};
    DVec x(2, buf), y(2, buf + 1);
    EXPECT_EQ(a.Mv(1.0, x, 0.0, y, 'N'), 0);
    EXPECT_EQ((std::vector<double>(buf, buf + 3)), (std::vector<double>{1, 5, 11}));
  }
  {
    // x views y's only element and y must grow to two: [[2], [3]] (5) = (10, 15).
    C_MatMGe<double> a(2, 1);
    Fill(a, {{2}, {3}});
    DVec y(1);
    y[0] = 5.0;
    std::unique_ptr<C_Vec<double, int>> x(y.Lnk(0));
    EXPECT_EQ(a.Mv(1.0, *x, 0.0, y, 'N'), 0);
    ASSERT_EQ(y.Dim(), 2);
    EXPECT_EQ(y[0], 10.0);
    EXPECT_EQ(y[1], 15.0);
  }
}

TEST(MatMGeAliasing, AxpyCopyAndAssignmentBetweenShiftedViews) {
  // buf = 0..n; x over buf[0..n-1] and y over buf[1..n] as n x 1 matrices: y := y + x gives
  // y_i = 2i + 1.
  const int n = 64;
  std::vector<double> buf(n + 1);
  for (int k = 0; k <= n; ++k) buf[static_cast<size_t>(k)] = k;
  C_MatMGe<double> x(n, 1, buf.data(), -1), y(n, 1, buf.data() + 1, -1);
  x.Axpy(y, 1.0);
  bool ok = true;
  for (int i = 0; i < n && ok; ++i) ok = buf[static_cast<size_t>(i + 1)] == 2.0 * i + 1.0;
  EXPECT_TRUE(ok);

  // dst one place ahead of src in the same buffer 0..n: dst takes 0..n-1, by assignment and
  // by the element copy.
  for (int byCopy = 0; byCopy < 2; ++byCopy) {
    SCOPED_TRACE(byCopy ? "Copy" : "operator=");
    for (int k = 0; k <= n; ++k) buf[static_cast<size_t>(k)] = k;
    C_MatMGe<double> src(n, 1, buf.data(), -1), dst(n, 1, buf.data() + 1, -1);
    EXPECT_EQ(byCopy ? dst.Copy(src) : (dst = src), 0);
    ok = buf[0] == 0.0;
    for (int i = 0; i < n && ok; ++i) ok = buf[static_cast<size_t>(i + 1)] == i;
    EXPECT_TRUE(ok);
  }
}

TEST(MatMGeAliasing, SolveWithTheRightHandSideInTheFactors) {
  // A = [[2, 1], [1, 2.5]] factors without a row exchange into L = [[1, 0], [0.5, 1]],
  // U = [[2, 1], [0, 2]]: storage 2, 0.5, 1, 2. A^-1 = [[2.5, -1], [-1, 2]] / 4.
  struct Case {
    const char* what;
    bool intoX;  // the column is x (b a separate vector) rather than b itself
    double b0, b1;
  };
  // b = column 1 of the factors (1, 2): z = (0.125, 0.75); b = (3, 1): z = (1.625, -0.25).
  const Case cases[] = {{"b is column 1", false, 1, 2}, {"x is column 1", true, 3, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    C_MatMGe<double> a(2, 2);
    Fill(a, {{2, 1}, {1, 2.5}});
    IVec ipiv(0);
    ASSERT_EQ(a.Factor(ipiv, false), 0);
    ASSERT_EQ(Storage(a), (std::vector<double>{2, 0.5, 1, 2}));
    DVec column(0), b(2);
    a.LnkCol(1, column);
    b[0] = c.b0, b[1] = c.b1;
    if (c.intoX)
      EXPECT_EQ(a.Solve(ipiv, b, &column), 0);
    else
      EXPECT_EQ(a.Solve(ipiv, column, nullptr), 0);
    const double z0 = (2.5 * c.b0 - c.b1) / 4.0, z1 = (-c.b0 + 2.0 * c.b1) / 4.0;
    EXPECT_DOUBLE_EQ(column[0], z0);
    EXPECT_DOUBLE_EQ(column[1], z1);
    if (c.intoX) {
      EXPECT_EQ(b[0], c.b0);  // b untouched
    }
  }
}

TEST(MatMGe, DamagedFilesLeaveTheMatrixAsItWas) {
  struct Case {
    const char* what;
    Bytes bytes;
  };
  auto form = [](int r, int c, int count, int present) {
    Bytes b;
    kvtest::PutInt(b, r), kvtest::PutInt(b, c), kvtest::PutInt(b, count);
    for (int k = 0; k < present; ++k) kvtest::PutDouble(b, k);
    return b;
  };
  const Case cases[] = {
      {"1 x 268435455 announced (2 GiB), two values present", form(1, 268435455, 268435455, 2)},
      {"1000 x 1000 announced, one run present", form(1000, 1000, 1000000, 131072)},
      {"header cut after the count", form(2, 2, 4, 0)},
      {"header cut after cols", MakeBytes({0, 0, 0, 2, 0, 0, 0, 2})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    C_MatMGe<double> m(2, 2);
    Fill(m, {{1, 2}, {3, 4}});
    const double* before = m.Adr();
    FILE* f = kvtest::StreamWith(c.bytes);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(ThrownCode([&] { m.Read(f); }), 21);
    std::fclose(f);
    EXPECT_EQ(m.rows, 2);
    EXPECT_EQ(m.cols, 2);
    EXPECT_EQ(m.Adr(), before);
    EXPECT_EQ(Storage(m), (std::vector<double>{1, 3, 2, 4}));
  }

  // A matrix without rows holds no values and needs no column addresses, however many
  // columns its 12-byte header names.
  C_MatMGe<double> m(2, 2);
  FILE* f = kvtest::StreamWith(MakeBytes({0, 0, 0, 0, 0x26, 0, 0, 0, 0, 0, 0, 0}));
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(m.Read(f), 0);
  std::fclose(f);
  EXPECT_EQ(m.rows, 0);
  EXPECT_EQ(m.cols, 637534208);
  EXPECT_EQ(m.Dim(), 0);
  EXPECT_EQ(m.col, nullptr);
  DVec column(3);
  m.LnkCol(637534207, column);
  EXPECT_EQ(column.Dim(), 0);
  // Reading a real matrix afterwards rebuilds the column table.
  f = kvtest::StreamWith(form(2, 1, 2, 2));
  EXPECT_EQ(m.Read(f), 0);
  std::fclose(f);
  EXPECT_EQ(m.cols, 1);
  ASSERT_NE(m.col, nullptr);
  EXPECT_EQ(m.GetVal(1, 0), 1.0);
}

// ---------------------------------------------------------------------------------------
// Views of a caller's array write only their own elements.
// ---------------------------------------------------------------------------------------
namespace {

// P = 4 x 4 with P(i, j) = Tag(i, j); R = its bottom-right 2 x 2 block, leading dimension 4.
struct BlockOfP {
  C_MatMGe<double> p;
  C_MatMGe<double> r;
  BlockOfP() : p(Tagged(4, 4)), r(2, 2, p.Adr() + 2 + 2 * 4, 4) {}
  static C_MatMGe<double> Tagged(int m, int n) {
    C_MatMGe<double> t(m, n);
    for (int i = 0; i < m; i++)
      for (int j = 0; j < n; j++) t.SetVal(i, j, Tag(i, j));
    return t;
  }
  // R holds want (by rows), still as a 2 x 2 view with leading dimension 4, and every other
  // element of P is as it was.
  ::testing::AssertionResult Holds(const double want[2][2]) {
    if (r.rows != 2 || r.cols != 2 || r.Ld() != 4 || r.Adr() != p.Adr() + 10)
      return ::testing::AssertionFailure() << "R is now " << r.rows << " x " << r.cols << " ld " << r.Ld();
    for (int i = 0; i < 4; i++)
      for (int j = 0; j < 4; j++) {
        const bool mine = i >= 2 && j >= 2;
        const double w = mine ? want[i - 2][j - 2] : Tag(i, j);
        if (p.GetVal(i, j) != w)
          return ::testing::AssertionFailure() << "P(" << i << "," << j << ") = " << p.GetVal(i, j) << ", not " << w;
        if (mine && r.GetVal(i - 2, j - 2) != w)
          return ::testing::AssertionFailure() << "R(" << i - 2 << "," << j - 2 << ") = " << r.GetVal(i - 2, j - 2);
      }
    return ::testing::AssertionSuccess();
  }
};

// What m writes to a fresh file, opened for reading.
FILE* FormOf(C_MatMGe<double>& m) {
  kvtest::TempPath path("mge_form");
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return nullptr;
  m.Write(f);
  std::fclose(f);
  return kvtest::StreamWith(kvtest::ReadFileBytes(path.str()));
}

}  // namespace

TEST(MatMGeViews, AResultOfTheViewsShapeLandsInItsOwnElements) {
  // a = [[1, 2], [3, 4]], b = [[5, 6], [7, 8]]: a b = [[19, 22], [43, 50]]. R's own values
  // before each write: [[3003, 3004], [4003, 4004]].
  C_MatMGe<double> a(2, 2), b(2, 2);
  Fill(a, {{1, 2}, {3, 4}});
  Fill(b, {{5, 6}, {7, 8}});
  C_MatMSym<double> s(2, 1);
  s.SetVal(0, 0, 1), s.SetVal(1, 0, 2), s.SetVal(1, 1, 3);
  struct Case {
    const char* what;
    std::function<int(C_MatMGe<double>&)> write;
    double want[2][2];
  };
  const Case cases[] = {
      {"Mm", [&](C_MatMGe<double>& r) { return r.Mm('N', 'N', 1.0, a, b, 0.0); }, {{19, 22}, {43, 50}}},
      {"Mm adding to R", [&](C_MatMGe<double>& r) { return r.Mm('N', 'N', 1.0, a, b, 1.0); },
       {{3022, 3026}, {4046, 4054}}},
      {"operator=", [&](C_MatMGe<double>& r) { return r = a; }, {{1, 2}, {3, 4}}},
      {"Copy", [&](C_MatMGe<double>& r) { return r.Copy(s); }, {{1, 2}, {2, 3}}},
      {"Transpose", [&](C_MatMGe<double>& r) { return r.Transpose(); }, {{3003, 4003}, {3004, 4004}}},
      {"Read", [&](C_MatMGe<double>& r) {
         FILE* f = FormOf(a);
         const int result = r.Read(f);
         std::fclose(f);
         return result;
       }, {{1, 2}, {3, 4}}},
      {"Resize to its shape", [&](C_MatMGe<double>& r) { return r.Resize(2, 2); }, {{3003, 3004}, {4003, 4004}}},
      {"ResizeKeep to its shape", [&](C_MatMGe<double>& r) { return r.ResizeKeep(2, 2); },
       {{3003, 3004}, {4003, 4004}}},
      {"Init", [&](C_MatMGe<double>& r) { return r.Init(5.0); }, {{5, 5}, {5, 5}}},
      {"Axpy into R", [&](C_MatMGe<double>& r) {
         a.Axpy(r, 1.0);
         return 0;
       }, {{3004, 3006}, {4006, 4008}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BlockOfP blk;
    EXPECT_EQ(ThrownCode([&] { EXPECT_EQ(c.write(blk.r), 0); }), 0);
    EXPECT_TRUE(blk.Holds(c.want));
  }
}

TEST(MatMGeViews, AShapeChangeOfAStridedViewIsRefusedWithPUnchanged) {
  C_MatMGe<double> a(2, 3), big(3, 3), one(1, 1);
  Fill(a, {{1, 2, 3}, {4, 5, 6}});
  const double same[2][2] = {{3003, 3004}, {4003, 4004}};
  struct Case {
    const char* what;
    std::function<void(C_MatMGe<double>&)> write;
  };
  const Case cases[] = {
      {"Mm giving 2 x 3", [&](C_MatMGe<double>& r) { r.Mm('N', 'N', 1.0, r, a, 0.0); }},
      {"operator= from 3 x 3", [&](C_MatMGe<double>& r) { r = big; }},
      {"Copy from 3 x 3", [&](C_MatMGe<double>& r) { r.Copy(big); }},
      {"Read of a 1 x 1 form", [&](C_MatMGe<double>& r) {
         FILE* f = FormOf(one);
         const int code = ThrownCode([&] { r.Read(f); });
         std::fclose(f);
         if (code) KVELO_THROW(code);
       }},
      {"Resize to 2 x 1", [&](C_MatMGe<double>& r) { r.Resize(2, 1); }},
      {"Resize to 1 x 4", [&](C_MatMGe<double>& r) { r.Resize(1, 4); }},
      {"ResizeKeep to 2 x 1", [&](C_MatMGe<double>& r) { r.ResizeKeep(2, 1); }},
      {"TransposeInPlace", [&](C_MatMGe<double>& r) { r.TransposeInPlace(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BlockOfP blk;
    EXPECT_EQ(ThrownCode([&] { c.write(blk.r); }), 2870);
    EXPECT_TRUE(blk.Holds(same));
  }
  // A 2 x 3 block transposes to 3 x 2, which it cannot hold.
  BlockOfP blk;
  C_MatMGe<double> wide(2, 3, blk.p.Adr() + 2 + 1 * 4, 4);
  EXPECT_EQ(ThrownCode([&] { wide.Transpose(); }), 2870);
  EXPECT_EQ(wide.rows, 2);
  EXPECT_EQ(wide.cols, 3);
  EXPECT_TRUE(blk.Holds(same));
}

TEST(MatMGeViews, AViewKeepsEveryElementOfItsArrayWithinReach) {
  // ResizeKeep(4, 2) of a Lnk() view of a 2 x 3 matrix needs 8 elements of an array of 6.
  C_MatMGe<double> m(2, 3);
  Fill(m, {{1, 2, 3}, {4, 5, 6}});
  std::unique_ptr<C_Mat<double>> link(m.Lnk());
  C_MatMGe<double>& v = static_cast<C_MatMGe<double>&>(*link);
  EXPECT_EQ(ThrownCode([&] { v.ResizeKeep(4, 2); }), 2870);
  // Shrinking would leave the third column out of reach for good.
  EXPECT_EQ(ThrownCode([&] { v.Resize(2, 2); }), 2870);
  EXPECT_EQ(ThrownCode([&] { v.ResizeKeep(1, 3); }), 2870);
  ASSERT_EQ(v.rows, 2);
  ASSERT_EQ(v.cols, 3);
  EXPECT_EQ(v.GetVal(1, 2), 6.0);
  EXPECT_EQ(Storage(m), (std::vector<double>{1, 4, 2, 5, 3, 6}));
  // Shapes of as many elements stay in the array: the transpose in place, then 3 x 2 back to
  // 2 x 3 keeping the common 2 x 2 block.
  EXPECT_EQ(v.TransposeInPlace(), 0);
  EXPECT_EQ(v.rows, 3);
  EXPECT_EQ(Storage(m), (std::vector<double>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(v.ResizeKeep(2, 3), 0);
  EXPECT_EQ(v.Adr(), m.Adr());
  EXPECT_EQ(Storage(m), (std::vector<double>{1, 2, 4, 5, 0, 0}));
}

TEST(MatMGeReshape, ResizeKeepBetweenALongColumnAndALongRow) {
  // 100000 x 1 to 1 x 100000: both hold 100000 values; the shape in between of the old way
  // (100000 x 100000) is no reason to refuse.
  C_MatMGe<double> m(100000, 1);
  m.SetVal(0, 0, 7.0);
  m.SetVal(1, 0, 8.0);
  EXPECT_EQ(m.ResizeKeep(1, 100000), 0);
  ASSERT_EQ(m.rows, 1);
  ASSERT_EQ(m.cols, 100000);
  EXPECT_EQ(m.GetVal(0, 0), 7.0);
  EXPECT_EQ(m.GetVal(0, 1), 0.0);
  EXPECT_EQ(m.GetVal(0, 99999), 0.0);
  EXPECT_EQ(m.ResizeKeep(100000, 1), 0);
  EXPECT_EQ(m.GetVal(0, 0), 7.0);
  EXPECT_EQ(m.GetVal(1, 0), 0.0);
}

TEST(MatMGe, ARefusedSolveLeavesXAsItWas) {
  // x cannot take the solution (not full): refused before it is given b's values.
  C_MatMGe<double> a(2, 2);
  Fill(a, {{2, 0}, {0, 4}});
  IVec ipiv(0);
  ASSERT_EQ(a.Factor(ipiv, false), 0);
  DVec b(2);
  b[0] = 2, b[1] = 8;
  ArrayVec<double, int> x{9.0, 9.0, 9.0};
  x.full = 0;
  EXPECT_EQ(ThrownCode([&] { a.Solve(ipiv, b, &x); }), 38);
  EXPECT_EQ(x.Dim(), 3);
  EXPECT_EQ(x.v, (std::vector<double>{9, 9, 9}));
}

// ---------------------------------------------------------------------------------------
// The right-hand operand of Mm sharing the result.
// ---------------------------------------------------------------------------------------
TEST(MatMGeAliasing, MmWithTheResultAsRightOperand) {
  // a = [[1, 2], [3, 4]], c = [[5, 6], [7, 8]]: a c = [[19, 22], [43, 50]] and
  // a c^T = [[17, 23], [39, 53]], column by column below.
  struct Case {
    char tb;
    double want[4];
  };
  const Case cases[] = {{'N', {19, 43, 22, 50}}, {'T', {17, 39, 23, 53}}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.tb);
    C_MatMGe<double> a(2, 2), c(2, 2);
    Fill(a, {{1, 2}, {3, 4}});
    Fill(c, {{5, 6}, {7, 8}});
    EXPECT_EQ(c.Mm('N', k.tb, 1.0, a, c, 0.0), 0);
    EXPECT_EQ(Storage(c), (std::vector<double>(k.want, k.want + 4)));
  }
  // The result grows over a view of itself: c = [1; 2] and B = Lnk(c); A = [[1, 0], [0, 1],
  // [1, 1]] makes c 3 x 1 = [1; 2; 3], in storage the growth may move while B reads it.
  C_MatMGe<double> c(2, 1), A(3, 2);
  Fill(c, {{1}, {2}});
  Fill(A, {{1, 0}, {0, 1}, {1, 1}});
  std::unique_ptr<C_Mat<double>> link(c.Lnk());
  EXPECT_EQ(c.Mm('N', 'N', 1.0, A, static_cast<C_MatMGe<double>&>(*link), 0.0), 0);
  ASSERT_EQ(c.rows, 3);
  EXPECT_EQ(Storage(c), (std::vector<double>{1, 2, 3}));
}

// At 2 x 2 the BLAS happens to compute a product in place correctly; from a few dozen rows on
// it works by blocks, so a right operand read while the result is written gives wrong values.
// Every aliased product is compared with the same product of unshared copies.
namespace {
template <class T>
void FillRandom(C_MatMGe<T>& m, std::mt19937& gen) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int j = 0; j < m.cols; j++)
    for (int i = 0; i < m.rows; i++) {
      if constexpr (std::is_same<T, double>::value)
        m.SetVal(i, j, u(gen));
      else
        m.SetVal(i, j, T(u(gen), u(gen)));
    }
}

template <class T>
void ExpectSameValues(C_MatMGe<T>& got, C_MatMGe<T>& want) {
  ASSERT_EQ(got.rows, want.rows);
  ASSERT_EQ(got.cols, want.cols);
  int wrong = 0;
  for (int j = 0; j < got.cols; j++)
    for (int i = 0; i < got.rows; i++)
      if (std::abs(got.GetVal(i, j) - want.GetVal(i, j)) > 1e-12 * (1.0 + std::abs(want.GetVal(i, j)))) wrong++;
  EXPECT_EQ(wrong, 0) << "of " << got.rows * got.cols << " entries";
}

template <class T>
void BlockedRightOperandAliases() {
  const int n = 64;
  for (char tb : {'N', 'T', 'C'})
    for (double beta : {0.0, 0.5}) {
      SCOPED_TRACE(std::string(1, tb) + " beta " + std::to_string(beta));
      std::mt19937 gen(7);
      C_MatMGe<T> a(n, n), c(n, n);
      FillRandom(a, gen);
      FillRandom(c, gen);
      // The unaliased product: B a copy of c, the result another copy.
      C_MatMGe<T> b(c), want(c);
      ASSERT_EQ(want.Mm('N', tb, T(1), a, b, T(beta)), 0);
      // The result itself as B.
      C_MatMGe<T> same(c);
      ASSERT_EQ(same.Mm('N', tb, T(1), a, same, T(beta)), 0);
      ExpectSameValues(same, want);
      // A Lnk view of the result as B.
      C_MatMGe<T> linked(c);
      std::unique_ptr<C_Mat<T>> l(linked.Lnk());
      ASSERT_EQ(linked.Mm('N', tb, T(1), a, static_cast<C_MatMGe<T>&>(*l), T(beta)), 0);
      ExpectSameValues(linked, want);
      // The result a view of a caller's array, B another view of the same values.
      std::vector<T> buf(static_cast<size_t>(n) * n);
      for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) buf[i + static_cast<size_t>(j) * n] = c.GetVal(i, j);
      C_MatMGe<T> over(n, n, buf.data(), n), bview(n, n, buf.data(), n);
      ASSERT_EQ(over.Mm('N', tb, T(1), a, bview, T(beta)), 0);
      ExpectSameValues(over, want);
    }
  // The result grows over its own view: c (n x n) = A (96 x n) Lnk(c); the storage must move,
  // and B would read the buffer it left.
  std::mt19937 gen(11);
  C_MatMGe<T> A(96, n), c(n, n);
  FillRandom(A, gen);
  FillRandom(c, gen);
  C_MatMGe<T> b(c), want(0, 0);
  ASSERT_EQ(want.Mm('N', 'N', T(1), A, b, T(0)), 0);
  std::unique_ptr<C_Mat<T>> link(c.Lnk());
  ASSERT_EQ(c.Mm('N', 'N', T(1), A, static_cast<C_MatMGe<T>&>(*link), T(0)), 0);
  ExpectSameValues(c, want);
}
}  // namespace

TEST(MatMGeAliasing, MmWithTheResultAsRightOperandWhereTheBlasBlocks) {
  BlockedRightOperandAliases<double>();
  BlockedRightOperandAliases<std::complex<double>>();
}

// ---------------------------------------------------------------------------------------
// Independent matrices in several threads.
// ---------------------------------------------------------------------------------------
namespace {

// A run of the matrix operations on matrices of its own, from a seed: every number it
// produces, in order.
std::vector<double> MatrixWork(unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const int n = 24;
  C_MatMGe<double> a(n, n), b(n, 3);
  for (int j = 0; j < n; j++)
    for (int i = 0; i < n; i++) a.SetVal(i, j, u(gen) + (i == j ? n : 0.0));
  for (int j = 0; j < 3; j++)
    for (int i = 0; i < n; i++) b.SetVal(i, j, u(gen));
  std::vector<double> out;
  C_MatMGe<double> c;
  c.Mm('T', 'N', 1.0, a, b, 0.0);
  for (int j = 0; j < 3; j++)
    for (int i = 0; i < n; i++) out.push_back(c.GetVal(i, j));
  out.push_back(a.Nrm(NRM_INF));
  out.push_back(a.Nrm(NRM_ONE));
  C_MatMGe<double> lu(a);
  IVec ipiv(0);
  lu.Factor(ipiv, false);
  DVec rhs(n), x(0);
  for (int i = 0; i < n; i++) rhs[i] = b.GetVal(i, 0);
  lu.Solve(ipiv, rhs, &x);
  for (int i = 0; i < n; i++) out.push_back(x[i]);
  kvtest::TempPath path("mge_threads");
  FILE* f = std::fopen(path.c_str(), "wb");
  c.Write(f);
  std::fclose(f);
  f = std::fopen(path.c_str(), "rb");
  C_MatMGe<double> back;
  back.Read(f);
  std::fclose(f);
  back.TransposeInPlace();
  back.ResizeKeep(5, 30);
  for (long long k = 0; k < back.Dim(); k++) out.push_back(back.Adr()[k]);
  return out;
}

}  // namespace

TEST(MatMGeThreads, IndependentMatricesGiveTheSequentialResults) {
  const unsigned kRuns = 6;
  std::vector<std::vector<double>> alone(kRuns), together(kRuns);
  for (unsigned s = 0; s < kRuns; s++) alone[s] = MatrixWork(s);
  std::vector<std::thread> threads;
  for (unsigned s = 0; s < kRuns; s++) threads.emplace_back([&together, s] { together[s] = MatrixWork(s); });
  for (std::thread& t : threads) t.join();
  for (unsigned s = 0; s < kRuns; s++) {
    ASSERT_EQ(together[s].size(), alone[s].size());
    EXPECT_EQ(std::memcmp(together[s].data(), alone[s].data(), alone[s].size() * sizeof(double)), 0) << "run " << s;
  }
}
