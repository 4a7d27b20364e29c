// Tests of the packed symmetric matrix: packed positions on both sides, shape changes, deep
// copies and views, packed products and multiply-add, the solve with caller-made packed
// factors, norms, text and binary forms (damaged files included), products, sums, copies and
// solves whose result shares memory with an operand, and views that keep their order and their
// owner's side.
#include <gtest/gtest.h>

#include <complex>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "C_MatMGe.h"
#include "C_MatMSym.h"
#include "binfile.h"
#include "derived_vec.h"
#include "mat_support.h"
#include "msgcapture.h"

namespace {

std::vector<double> Packed(const C_MatMSym<double>& m) {
  std::vector<double> out;
  for (long long k = 0; k < m.Dim(); k++) out.push_back(m.Adr()[k]);
  return out;
}

// [[a, b], [b, c]] on the given side.
C_MatMSym<double> Sym2(double a, double b, double c, int side) {
  C_MatMSym<double> m(2, side);
  m.SetVal(0, 0, a);
  m.SetVal(1, 0, b);
  m.SetVal(1, 1, c);
  return m;
}

}  // namespace

TEST(MatMSym, PackedPositionsOnBothSides) {
  C_MatMSym<double> lo(3, 1);
  EXPECT_EQ(lo.Dim(), 6);
  EXPECT_EQ(lo.Side(), 1);
  EXPECT_TRUE(lo.IsSym());
  EXPECT_EQ(lo.NbColPtr(), -1);
  EXPECT_STREQ(lo.AffType(), "C_MatMSym Type");
  EXPECT_EQ(lo.Type(), 1);
  EXPECT_EQ(lo.InCore(), 1);
  lo.SetVal(0, 2, 5.0);
  EXPECT_EQ(lo.Adr()[2], 5.0);
  EXPECT_EQ(lo.GetVal(2, 0), 5.0);
  C_MatMSym<double> up(3, 0);
  up.SetVal(0, 2, 5.0);
  EXPECT_EQ(up.Adr()[3], 5.0);

  // Lower stores (0,0) (1,0) (2,0) (1,1) (2,1) (2,2); upper (0,0) (0,1) (1,1) (0,2) (1,2) (2,2).
  const int lowOrder[6][2] = {{0, 0}, {1, 0}, {2, 0}, {1, 1}, {2, 1}, {2, 2}};
  const int upOrder[6][2] = {{0, 0}, {0, 1}, {1, 1}, {0, 2}, {1, 2}, {2, 2}};
  for (int k = 0; k < 6; k++) {
    lo(lowOrder[k][0], lowOrder[k][1]) = 10.0 + k;
    up(upOrder[k][1], upOrder[k][0]) = 20.0 + k;  // through the other triangle
  }
  EXPECT_EQ(Packed(lo), (std::vector<double>{10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(Packed(up), (std::vector<double>{20, 21, 22, 23, 24, 25}));
  EXPECT_EQ(ThrownCode([] { C_MatMSym<double> bad(-1, 0); }), 2);
  EXPECT_EQ(ThrownCode([] { C_MatMSym<double> big(70000, 0); }), 2880);
}

TEST(MatMSym, ResizeRules) {
  C_MatMSym<double> m(3, 1);
  m.SetVal(1, 1, 4.0);
  EXPECT_EQ(m.Resize(3, 3), 0);  // same order: nothing changes, side included
  EXPECT_EQ(m.Side(), 1);
  EXPECT_EQ(m.GetVal(1, 1), 4.0);
  EXPECT_EQ(m.Resize(4, 7), 0);
  EXPECT_EQ(m.rows, 4);
  EXPECT_EQ(m.cols, 4);
  EXPECT_EQ(m.Dim(), 10);
  EXPECT_EQ(m.Side(), 0);
  EXPECT_EQ(ThrownCode([&] { m.Resize(-2, 2); }), 2);
  EXPECT_EQ(ThrownCode([&] { m.Resize(2, -2); }), 2);
  EXPECT_EQ(ThrownCode([&] { m.Resize(70000, 70000); }), 2880);
  EXPECT_EQ(m.rows, 4);
  EXPECT_EQ(m.Dim(), 10);
}

TEST(MatMSym, CopiesViewsAndCounts) {
  const int alive = C_Counter<C_Mat<double>>::objects_alive;
  {
    C_MatMSym<double> a = Sym2(1, 2, 3, 1);
    C_MatMSym<double> b(a);
    b.SetVal(0, 0, 9);
    EXPECT_EQ(a.GetVal(0, 0), 1.0);
    EXPECT_EQ(b.Side(), 1);
    C_MatMSym<double> c(5, 0);
    EXPECT_EQ(c = a, 0);
    EXPECT_EQ(c.rows, 2);
    EXPECT_EQ(c.Side(), 1);  // the side comes with the packed values
    EXPECT_EQ(Packed(c), (std::vector<double>{1, 2, 3}));
    c.SetVal(1, 1, -3);
    EXPECT_EQ(a.GetVal(1, 1), 3.0);

    C_Mat<double>* v = a.Lnk();
    EXPECT_EQ(v->Adr(), a.Adr());
    EXPECT_EQ(v->Side(), 1);
    v->SetVal(1, 0, 7.0);
    EXPECT_EQ(a.GetVal(0, 1), 7.0);
    delete v;
    EXPECT_EQ(a.GetVal(0, 1), 7.0);  // the view freed nothing
    EXPECT_EQ(ThrownCode([&] { a.Dup(); }), 2871);
    DVec col(0);
    EXPECT_EQ(ThrownCode([&] { a.LnkCol(0, col); }), 2871);
    IVec ipiv(0);
    EXPECT_EQ(ThrownCode([&] { a.Factor(ipiv, false); }), 2871);
    EXPECT_EQ(ThrownCode([&] { a.ResizeKeep(3, 3); }), 2871);
  }
  EXPECT_EQ(C_Counter<C_Mat<double>>::objects_alive, alive);
}

TEST(MatMSym, CopyFromAGeneralMatrix) {
  C_MatMGe<double> g(2, 2);
  g.SetVal(0, 0, 1), g.SetVal(0, 1, 2), g.SetVal(1, 0, 3), g.SetVal(1, 1, 4);
  C_MatMSym<double> s(3, 1);
  EXPECT_EQ(s.Copy(g), 0);
  EXPECT_EQ(s.rows, 2);
  EXPECT_EQ(s.Side(), 0);                               // made upper by the resize
  EXPECT_EQ(Packed(s), (std::vector<double>{1, 3, 4}));  // the element below the diagonal wins
  C_MatMGe<double> rect(2, 3);
  EXPECT_EQ(ThrownCode([&] { s.Copy(rect); }), 2872);
  EXPECT_EQ(s.rows, 2);
  C_MatMSym<zc> z(2, 0);
  EXPECT_EQ(s.Copy(z), -1);  // another element type
  EXPECT_EQ(Packed(s), (std::vector<double>{1, 3, 4}));
}

TEST(MatMSym, PackedProductOnBothSides) {
  DVec x(2), y(0);
  x[0] = 1, x[1] = 2;
  for (int side : {0, 1}) {
    C_MatMSym<double> a = Sym2(2, 1, 3, side);
    EXPECT_EQ(a.Mv(1.0, x, 0.0, y, 'N'), 0);
    ASSERT_EQ(y.Dim(), 2);
    EXPECT_EQ(y[0], 4.0);
    EXPECT_EQ(y[1], 7.0);
    EXPECT_EQ(a.Mv(1.0, x, 1.0, y, 'T'), 0);  // beta on the values y holds; trans unused
    EXPECT_EQ(y[1], 14.0);
  }
  C_MatMSym<double> sa = Sym2(2, 1, 3, 1);
  DVec inout(2);
  inout[0] = 1, inout[1] = 2;
  EXPECT_EQ(sa.Mv(1.0, inout, 0.0, inout, 'N'), 0);  // the same vector as input and output
  EXPECT_EQ(inout[0], 4.0);
  EXPECT_EQ(inout[1], 7.0);
  C_MatMSym<double> a3(3, 1);
  EXPECT_EQ(ThrownCode([&] { a3.Mv(1.0, x, 0.0, y, 'N'); }), 2872);
  // Complex symmetric: no conjugation.
  C_MatMSym<zc> z(2, 1);
  z.SetVal(1, 0, zc(0, 1));
  ZVec zx(2), zy(0);
  zx[0] = 1.0;
  z.Mv(zc(1), zx, zc(0), zy, 'N');
  EXPECT_EQ(zy[1], zc(0, 1));
}

TEST(MatMSym, MultiplyAdd) {
  C_MatMSym<double> a = Sym2(1, 2, 3, 1);
  C_MatMSym<double> b = Sym2(10, 20, 30, 1);
  a.Axpy(b, 2.0);
  EXPECT_EQ(Packed(b), (std::vector<double>{12, 24, 36}));
  C_MatMSym<double> up = Sym2(10, 20, 30, 0);
  a.Axpy(up, 1.0);  // sides differ: element by element
  EXPECT_EQ(up.GetVal(0, 0), 11.0);
  EXPECT_EQ(up.GetVal(0, 1), 22.0);
  EXPECT_EQ(up.GetVal(1, 1), 33.0);
  C_MatMSym<double> three(3, 1);
  EXPECT_EQ(ThrownCode([&] { a.Axpy(three, 1.0); }), 2872);
  a.Axpy(a, 1.0);
  EXPECT_EQ(Packed(a), (std::vector<double>{2, 4, 6}));
  // Into a general matrix: the full symmetric matrix is added.
  C_MatMGe<double> g(2, 2);
  C_Mat<double>& ga = g;
  a.Axpy(ga, 1.0);
  EXPECT_EQ(g.GetVal(0, 1), 4.0);
  EXPECT_EQ(g.GetVal(1, 0), 4.0);
}

TEST(MatMSym, SolveWithCallerMadePackedFactors) {
  // [[4, 1], [1, 3]] z = (1, 2) has z = (1/11, 7/11).
  for (int side : {0, 1}) {
    C_MatMSym<double> a = Sym2(4, 1, 3, side);
    IVec ipiv(2);
    int info = -1;
    ITF_dsptrf(side ? "L" : "U", 2, a.Adr(), ipiv.Adr(0), &info);
    ASSERT_EQ(info, 0);
    DVec b(2), x(0);
    b[0] = 1, b[1] = 2;
    EXPECT_EQ(a.Solve(ipiv, b, &x), 0);
    EXPECT_NEAR(x[0], 1.0 / 11, 1e-15);
    EXPECT_NEAR(x[1], 7.0 / 11, 1e-15);
    EXPECT_EQ(b[0], 1.0);
    EXPECT_EQ(a.Solve(ipiv, b, nullptr), 0);
    EXPECT_NEAR(b[1], 7.0 / 11, 1e-15);
  }
  // Complex symmetric [[2, i], [i, 1]] z = (2 + i, 1 + i) has z = (1, 1).
  C_MatMSym<zc> z(2, 1);
  z.SetVal(0, 0, 2.0), z.SetVal(1, 0, zc(0, 1)), z.SetVal(1, 1, 1.0);
  IVec ipiv(2);
  int info = -1;
  ITF_zsptrf("L", 2, z.Adr(), ipiv.Adr(0), &info);
  ASSERT_EQ(info, 0);
  ZVec zb(2);
  zb[0] = zc(2, 1), zb[1] = zc(1, 1);
  EXPECT_EQ(z.Solve(ipiv, zb, nullptr), 0);
  EXPECT_NEAR(std::abs(zb[0] - 1.0), 0.0, 1e-14);
  EXPECT_NEAR(std::abs(zb[1] - 1.0), 0.0, 1e-14);
}

TEST(MatMSym, RefusedSolvesReportAndReturnMinusOne) {
  kvtest::MsgCapture cap;
  C_MatMSym<double> a = Sym2(4, 1, 3, 1);
  IVec ipiv(2);
  ipiv[0] = 1, ipiv[1] = 2;
  DVec b3(3), b2(2);
  EXPECT_EQ(a.Solve(ipiv, b3, nullptr), -1);
  IVec shortPiv(1);
  shortPiv[0] = 1;
  EXPECT_EQ(a.Solve(shortPiv, b2, nullptr), -1);
  IVec bad(2);
  bad[0] = 1, bad[1] = -3;  // |pivot| beyond n
  EXPECT_EQ(a.Solve(bad, b2, nullptr), -1);
  bad[1] = 0;
  EXPECT_EQ(a.Solve(bad, b2, nullptr), -1);
  EXPECT_EQ(cap.Count(2), 4);
  // Pivots in range on storage that was never factored: the solve still runs (no exception).
  b2[0] = 4, b2[1] = 1;
  EXPECT_EQ(a.Solve(ipiv, b2, nullptr), 0);
}

TEST(MatMSym, Norms) {
  C_MatMSym<double> s = Sym2(1, -2, 3, 1);
  EXPECT_EQ(s.Nrm(NRM_INF), 5.0);
  C_MatMGe<double> g(2, 2);
  g.SetVal(0, 0, 1), g.SetVal(0, 1, -2), g.SetVal(1, 0, -2), g.SetVal(1, 1, 3);
  EXPECT_EQ(g.Nrm(NRM_INF), 5.0);
  EXPECT_EQ(ThrownCode([&] { s.Nrm(NRM_ONE); }), 2871);
  EXPECT_EQ(ThrownCode([&] { s.Nrm(static_cast<E_NrmType>(4)); }), 3);
  C_MatMSym<double> empty(0, 1);
  EXPECT_EQ(empty.Nrm(NRM_ONE), 0.0);
  // The 2-norm is the largest singular value: 3 for diag(-3, 1) and for [[0, 3], [3, 0]].
  C_MatMSym<double> d = Sym2(-3, 0, 1, 1);
  EXPECT_NEAR(d.Nrm(NRM_TWO), 3.0, 3e-3);
  C_MatMSym<double> off = Sym2(0, 3, 0, 0);
  EXPECT_NEAR(off.Nrm(NRM_TWO), 3.0, 3e-3);
}

TEST(MatMSym, PrintAndWriteMatlabTexts) {
  C_MatMSym<double> s = Sym2(1, 2, 3, 1);
  const std::string expected =
      " Type: Double\n Rows: 2\n Columns: 2\n In Core: 1\n Sym: YES\n- Side : Lower\n"
      "[0,0]: 1.000e+00   [0,1]: 2.000e+00   \n[1,1]: 3.000e+00   \n";
  EXPECT_EQ(kvtest::TextOf("msym_print", [&](FILE* f) { s.Print(f, -1); }), expected);
  EXPECT_EQ(kvtest::TextOf("msym_print1", [&](FILE* f) { s.Print(f, 1); }), expected);
  EXPECT_EQ(kvtest::TextOf("msym_matlab", [&](FILE* f) { s.WriteMatlab(f); }),
            "C_MatMSym Type\nDouble\n2 2\n 1.000e+00   2.000e+00  \n 2.000e+00   3.000e+00  \n");
  // A line break after every fifth element of a row.
  C_MatMSym<double> six(6, 0);
  std::string text = kvtest::TextOf("msym_print6", [&](FILE* f) { six.Print(f, -1); });
  EXPECT_NE(text.find("- Side : Upper\n[0,0]: 0.000e+00   [0,1]: 0.000e+00   [0,2]: 0.000e+00   "
                      "[0,3]: 0.000e+00   [0,4]: 0.000e+00  \n[0,5]: 0.000e+00   \n[1,1]:"),
            std::string::npos)
      << text;
  C_MatMSym<zc> z(1, 0);
  z.SetVal(0, 0, zc(-1, 0.5));
  EXPECT_EQ(kvtest::TextOf("msym_zmatlab", [&](FILE* f) { z.WriteMatlab(f); }),
            "C_MatMSym Type\nDouble complex\n1 1\n-1.000E+00  5.000E-01  \n");
  EXPECT_EQ(ThrownCode([&] { s.WriteMatlab(static_cast<FILE*>(nullptr)); }), 12);
}

TEST(MatMSym, BinaryFormByteForByte) {
  C_MatMSym<double> s = Sym2(1, 2, 3, 1);
  kvtest::TempPath path("msym_bin");
  FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_EQ(s.Write(f), 0);
  std::fclose(f);
  const Bytes expected = MakeBytes({0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 3,      //
                                    0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0,  //
                                    0x40, 0x08, 0, 0, 0, 0, 0, 0});
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(path.str()), expected));
  C_MatMSym<double> r(4, 0);
  f = std::fopen(path.c_str(), "rb");
  EXPECT_EQ(r.Read(f), 0);
  std::fclose(f);
  EXPECT_EQ(r.rows, 2);
  EXPECT_EQ(r.Side(), 1);
  EXPECT_EQ(r.GetVal(0, 1), 2.0);

  // Inconsistent files are refused and change nothing.
  auto readBytes = [&](const Bytes& b) {
    kvtest::WriteFileBytes(path.str(), b);
    FILE* in = std::fopen(path.c_str(), "rb");
    int code = ThrownCode([&] { r.Read(in); });
    std::fclose(in);
    return code;
  };
  Bytes notSquare;
  for (int v : {2, 3, 1, 3}) kvtest::PutInt(notSquare, v);
  for (int k = 0; k < 3; k++) kvtest::PutDouble(notSquare, k);
  EXPECT_EQ(readBytes(notSquare), 21);
  Bytes wrongCount;
  for (int v : {2, 2, 1, 4}) kvtest::PutInt(wrongCount, v);
  for (int k = 0; k < 4; k++) kvtest::PutDouble(wrongCount, k);
  EXPECT_EQ(readBytes(wrongCount), 21);
  Bytes shortValues;
  for (int v : {2, 2, 0, 3}) kvtest::PutInt(shortValues, v);
  kvtest::PutDouble(shortValues, 1.0);
  EXPECT_EQ(readBytes(shortValues), 21);
  EXPECT_EQ(r.rows, 2);
  EXPECT_EQ(r.Side(), 1);
  EXPECT_EQ(Packed(r), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(ThrownCode([&] { s.Write(nullptr); }), 12);
}

TEST(MatMSym, InitScaleZero) {
  C_MatMSym<zc> z(2, 1);
  z.Init(zc(1, 1));
  z *= zc(0, 1);
  EXPECT_EQ(z.GetVal(0, 1), zc(-1, 1));
  z.Zero();
  EXPECT_EQ(z.GetVal(1, 1), zc(0, 0));
  EXPECT_EQ(z.Type(), 4);
}

TEST(MatMSym, ProductIsATracedScope) {
  Kvelo::C_CallStack& stack = Kvelo::GlobalCallstackCollection().GetCurrentCallStack();
  const int depth = stack.NbEntries();
  C_MatMSym<double> a(3, 1);
  DVec x(2), y(0);
  std::string top;
  try {
    a.Mv(1.0, x, 0.0, y, 'N');
  } catch (const C_KveloException& e) {
    top = e.getCallStack().Top()->function;
  }
  EXPECT_EQ(top, "C_MatMSym<T>::Mv");
  EXPECT_EQ(stack.NbEntries(), depth);
}

TEST(MatMSym, HugeAnnouncedOrderLeavesTheMatrixAsItWas) {
  // Order 65535 announces 2147450880 packed values (16 GiB); a few arrive.
  Bytes b;
  for (int v : {65535, 65535, 1, 2147450880}) kvtest::PutInt(b, v);
  for (int k = 0; k < 3; k++) kvtest::PutDouble(b, k);
  C_MatMSym<double> m = Sym2(1, 2, 3, 0);
  const double* before = m.Adr();
  FILE* f = kvtest::StreamWith(b);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(ThrownCode([&] { m.Read(f); }), 21);
  std::fclose(f);
  EXPECT_EQ(m.rows, 2);
  EXPECT_EQ(m.Side(), 0);
  EXPECT_EQ(m.Adr(), before);
  EXPECT_EQ(Packed(m), (std::vector<double>{1, 2, 3}));
}

TEST(MatMSymAliasing, ProductWithYSharingXOrTheStorage) {
  // S = [[1, 2], [2, 3]] (lower), x = (1, 1): S x = (3, 5).
  {
    C_MatMSym<double> s = Sym2(1, 2, 3, 1);
    double buf[3] = {1, 1, 0};
    DVec x(2, buf), y(2, buf + 1);  // y one place ahead of x in one buffer
    EXPECT_EQ(s.Mv(1.0, x, 0.0, y, 'N'), 0);
    EXPECT_EQ((std::vector<double>(buf, buf + 3)), (std::vector<double>{1, 3, 5}));
  }
  {
    C_MatMSym<double> s = Sym2(1, 2, 3, 1);
    DVec x(2, 1.0), y(2, s.Adr() + 1);  // y over the packed values (2, 3)
    EXPECT_EQ(s.Mv(1.0, x, 0.0, y, 'N'), 0);
    EXPECT_EQ(Packed(s), (std::vector<double>{1, 3, 5}));
  }
  {
    // The same vector as x and y, scaled with beta: y = S y + y = (4, 6).
    C_MatMSym<double> s = Sym2(1, 2, 3, 0);
    DVec y(2, 1.0);
    EXPECT_EQ(s.Mv(1.0, y, 1.0, y, 'N'), 0);
    EXPECT_EQ(y[0], 4.0);
    EXPECT_EQ(y[1], 6.0);
  }
}

TEST(MatMSymAliasing, SolveWithTheRightHandSideInTheFactors) {
  // Lower packed L D L^T factors of A = [[2, 1], [1, 4.5]] with 1 x 1 pivots: d0 = 2,
  // l = 0.5, d1 = 4, stored (2, 0.5, 4), pivots (1, 2). The right-hand side is the packed
  // pair (0.5, 4) itself: A^-1 = [[4.5, -1], [-1, 2]] / 8 gives z = (-0.21875, 0.9375).
  C_MatMSym<double> f(2, 1);
  f.storage[0] = 2.0, f.storage[1] = 0.5, f.storage[2] = 4.0;
  IVec ipiv(2);
  ipiv[0] = 1, ipiv[1] = 2;
  DVec rhs(2, f.Adr() + 1);
  EXPECT_EQ(f.Solve(ipiv, rhs, nullptr), 0);
  EXPECT_DOUBLE_EQ(rhs[0], -0.21875);
  EXPECT_DOUBLE_EQ(rhs[1], 0.9375);
  EXPECT_EQ(f.storage[0], 2.0);
}

TEST(MatMSymAliasing, AxpyAndAssignmentBetweenSharedStorage) {
  // x over buf[0..2] and y over buf[1..3], both order 2: y := y + x packed value by value.
  double buf[4] = {1, 2, 3, 4};
  C_MatMSym<double> x(2, 1), y(2, 1);
  x.storage.Attach(3, buf);
  y.storage.Attach(3, buf + 1);
  x.Axpy(y, 1.0);
  EXPECT_EQ((std::vector<double>(buf, buf + 4)), (std::vector<double>{1, 3, 5, 7}));

  double a[4] = {1, 2, 3, 4};
  C_MatMSym<double> src(2, 1), dst(2, 1);
  src.storage.Attach(3, a);
  dst.storage.Attach(3, a + 1);
  EXPECT_EQ(dst = src, 0);
  EXPECT_EQ((std::vector<double>(a, a + 4)), (std::vector<double>{1, 1, 2, 3}));
}

TEST(MatMSym, ACountOfMinusOneIsNoCount) {
  // Orders from 65536 on have more than 2^31 - 1 packed values, which no writer can write:
  // a header announcing -1 of them is a damaged file (21), not a negative size.
  for (int n : {65536, 100000}) {
    SCOPED_TRACE(n);
    Bytes b;
    for (int v : {n, n, 1, -1}) kvtest::PutInt(b, v);
    kvtest::PutDouble(b, 1.0);
    C_MatMSym<double> m = Sym2(1, 2, 3, 0);
    FILE* f = kvtest::StreamWith(b);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(ThrownCode([&] { m.Read(f); }), 21);
    std::fclose(f);
    EXPECT_EQ(m.rows, 2);
    EXPECT_EQ(Packed(m), (std::vector<double>{1, 2, 3}));
  }
}

TEST(MatMSym, ARefusedProductLeavesYAsItWas) {
  // y cannot take the product (not full): refused before it is resized.
  C_MatMSym<double> a = Sym2(2, 1, 3, 1);
  DVec x(2, 1.0);
  ArrayVec<double, int> y{5.0};
  y.full = 0;
  EXPECT_EQ(ThrownCode([&] { a.Mv(1.0, x, 0.0, y, 'N'); }), 38);
  EXPECT_EQ(y.Dim(), 1);
  EXPECT_EQ(y.v, (std::vector<double>{5.0}));
}

TEST(MatMSymViews, AViewKeepsItsOrderAndItsOwnersLayout) {
  // owner: lower 3 x 3 with a(i, j) = 10 i + j for i >= j; v = owner.Lnk().
  auto lower3 = [] {
    C_MatMSym<double> m(3, 1);
    for (int i = 0; i < 3; i++)
      for (int j = 0; j <= i; j++) m.SetVal(i, j, 10.0 * i + j);
    return m;
  };
  const std::vector<double> ownerPacked = {0, 10, 20, 11, 21, 22};
  // Another order would leave the owner's values out of reach (or mean another layout).
  {
    C_MatMSym<double> owner = lower3();
    std::unique_ptr<C_Mat<double>> link(owner.Lnk());
    C_MatMSym<double>& v = static_cast<C_MatMSym<double>&>(*link);
    C_MatMSym<double> two = Sym2(1, 2, 3, 1);
    C_MatMGe<double> g(2, 2);
    EXPECT_EQ(ThrownCode([&] { v.Resize(2, 2); }), 2870);
    EXPECT_EQ(ThrownCode([&] { v = two; }), 2870);
    EXPECT_EQ(ThrownCode([&] { v.Copy(g); }), 2870);
    kvtest::TempPath path("msym_view");
    FILE* f = std::fopen(path.c_str(), "wb");
    two.Write(f);
    std::fclose(f);
    f = std::fopen(path.c_str(), "rb");
    EXPECT_EQ(ThrownCode([&] { v.Read(f); }), 2870);
    std::fclose(f);
    EXPECT_EQ(v.rows, 3);
    EXPECT_EQ(v.Side(), 1);
    EXPECT_EQ(Packed(owner), ownerPacked);
  }
  // The same order from an upper matrix: the owner (lower) reads the source's elements.
  C_MatMSym<double> up(3, 0);
  for (int i = 0; i < 3; i++)
    for (int j = 0; j <= i; j++) up.SetVal(i, j, 100.0 + 10.0 * i + j);
  kvtest::TempPath path("msym_view_up");
  FILE* f = std::fopen(path.c_str(), "wb");
  up.Write(f);
  std::fclose(f);
  for (int viaRead = 0; viaRead < 2; viaRead++) {
    SCOPED_TRACE(viaRead ? "Read" : "operator=");
    C_MatMSym<double> owner = lower3();
    std::unique_ptr<C_Mat<double>> link(owner.Lnk());
    C_MatMSym<double>& v = static_cast<C_MatMSym<double>&>(*link);
    if (viaRead) {
      f = std::fopen(path.c_str(), "rb");
      EXPECT_EQ(v.Read(f), 0);
      std::fclose(f);
    } else {
      EXPECT_EQ(v = up, 0);
    }
    EXPECT_EQ(v.Side(), 1);
    EXPECT_EQ(v.Adr(), owner.Adr());
    for (int i = 0; i < 3; i++)
      for (int j = 0; j < 3; j++) EXPECT_EQ(owner.GetVal(i, j), up.GetVal(i, j)) << i << "," << j;
  }
}
