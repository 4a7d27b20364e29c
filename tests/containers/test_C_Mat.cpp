// Tests of the matrix base classes: the defaults of C_GenericMat, the row and column cursors
// and their text forms, the element copy between classes and element types, the default
// multiply-add, the binary header, the infinity and one norms (a NaN kept, large moduli
// finite), and the binary form of every kind of matrix read back as it was written.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>

#include "C_MatMGe.h"
#include "C_MatMSym.h"
#include "binfile.h"
#include "mat_support.h"

namespace {

// A matrix class that supplies only what C_GenericMat leaves pure.
class BareMat : public C_GenericMat {
 public:
  BareMat(int r, int c) : C_GenericMat(r, c) {}
  int MemSize() const override { return 0; }
  int InCore() const override { return 1; }
  bool IsSym() const override { return false; }
  std::string& GetVal(int, int, std::string& s) override { return s; }
  int FirstCol(std::string&) override { return -1; }
  int NextCol(std::string&) override { return -1; }
};

C_MatMGe<double> Make(int r, int c) {
  C_MatMGe<double> m(r, c);
  for (int i = 0; i < r; i++)
    for (int j = 0; j < c; j++) m.SetVal(i, j, 10.0 * i + j);
  return m;
}

}  // namespace

TEST(GenericMat, BaseDefaults) {
  BareMat b(3, 4);
  EXPECT_EQ(b.Side(), 3);
  EXPECT_EQ(b.Dim(), 12);
  EXPECT_EQ(b.NbColPtr(), -1);
  EXPECT_STREQ(b.AffType(), "C_GenericMat Type");
  EXPECT_STREQ(b.Version(), "0.1");
  EXPECT_EQ(b.Type(), 7);
  EXPECT_EQ(b.Print(stdout, -1), 0);  // prints nothing
  EXPECT_EQ(ThrownCode([&] { b.WriteMatlab(stdout); }), 2871);
  EXPECT_EQ(ThrownCode([&] { b.ResizeKeep(1, 1); }), 2871);
  EXPECT_EQ(ThrownCode([&] { b.Zero(); }), 2871);
  EXPECT_EQ(ThrownCode([&] { b.Nrm(NRM_INF); }), 2871);
  EXPECT_EQ(b.Resize(5, 6), 0);
  EXPECT_EQ(b.rows, 5);
  EXPECT_EQ(ThrownCode([&] { b.Resize(-1, 6); }), 2);
  EXPECT_EQ(b.rows, 5);
  BareMat other(2, 9);
  EXPECT_EQ(b.Copy(other), 0);
  EXPECT_EQ(b.cols, 9);

  C_MatMGe<double> g(2, 2);
  C_MatMSym<zc> s(2, 0);
  EXPECT_STREQ(g.Version(), "0.1");
  EXPECT_STREQ(s.Version(), "0.1");
  EXPECT_EQ(g.Type(), 1);
  EXPECT_EQ(s.Type(), 4);
}

TEST(GenericMat, BinaryHeader) {
  kvtest::TempPath path("generic_header");
  BareMat b(2, 7);
  FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_EQ(b.Write(f), 0);
  std::fclose(f);
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(path.str()), MakeBytes({0, 0, 0, 2, 0, 0, 0, 7})));
  BareMat r(0, 0);
  f = std::fopen(path.c_str(), "rb");
  EXPECT_EQ(r.Read(f), 0);
  EXPECT_EQ(r.rows, 2);
  EXPECT_EQ(r.cols, 7);
  EXPECT_EQ(ThrownCode([&] { r.Read(f); }), 21);  // at the end of the file
  std::fclose(f);
  EXPECT_EQ(r.rows, 2);
  EXPECT_EQ(ThrownCode([&] { r.Read(nullptr); }), 12);
  EXPECT_EQ(ThrownCode([&] { r.Write(nullptr); }), 12);
  // A negative count is no shape.
  kvtest::WriteFileBytes(path.str(), MakeBytes({0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 1}));
  f = std::fopen(path.c_str(), "rb");
  EXPECT_EQ(ThrownCode([&] { r.Read(f); }), 21);
  std::fclose(f);
  EXPECT_EQ(r.rows, 2);
  EXPECT_EQ(r.cols, 7);
  // A stream opened for reading only cannot be written.
  f = std::fopen(path.c_str(), "rb");
  EXPECT_EQ(ThrownCode([&] { b.Write(f); }), 22);
  std::fclose(f);
}

TEST(Cursors, RowAndColumnWalks) {
  C_MatMGe<double> m = Make(2, 3);
  EXPECT_EQ(m.Row(1), 1);
  EXPECT_EQ(m.NextRow(), -1);  // on the last row
  EXPECT_EQ(ThrownCode([&] { m.Row(2); }), 2872);
  EXPECT_EQ(ThrownCode([&] { m.Row(-1); }), 2872);

  m.Row(1);
  double v = -1;
  EXPECT_EQ(m.FirstCol(v), 0);
  EXPECT_EQ(v, 10.0);
  EXPECT_EQ(m.NextCol(v), 1);
  EXPECT_EQ(m.NextCol(v), 2);
  EXPECT_EQ(v, 12.0);
  EXPECT_EQ(m.NextCol(v), -1);
  EXPECT_EQ(v, 12.0);  // untouched past the last column

  // A full walk through the string forms.
  std::string text;
  m.Row(0);
  do {
    for (int c = m.FirstCol(text); c != -1; c = m.NextCol(text)) {
    }
    text += "|";
  } while (m.NextRow() != -1);
  EXPECT_EQ(text, " 0.000e+00  1.000e+00  2.000e+00 | 1.000e+01  1.100e+01  1.200e+01 |");
  std::string one;
  EXPECT_EQ(m.GetVal(1, 2, one), " 1.200e+01 ");

  C_MatMGe<double> nocols(2, 0);
  nocols.Row(0);
  EXPECT_EQ(ThrownCode([&] { nocols.FirstCol(v); }), 2872);
  C_MatMGe<double> norows(0, 2);
  EXPECT_EQ(ThrownCode([&] { norows.FirstCol(v); }), 2872);  // no column to read through
  EXPECT_EQ(ThrownCode([&] { norows.Row(0); }), 2872);
  // After a walk that ran off the rows, the column walk does not read past them.
  C_MatMGe<double> small = Make(1, 2);
  small.Row(0);
  EXPECT_EQ(small.NextRow(), -1);
  EXPECT_EQ(ThrownCode([&] { small.FirstCol(v); }), 2872);

  // Symmetric rows are walked in full, both triangles.
  C_MatMSym<zc> s(2, 1);
  s.SetVal(1, 0, zc(1, -1));
  std::string zt;
  s.Row(0);
  s.FirstCol(zt);
  s.NextCol(zt);
  EXPECT_EQ(zt, " 0.000E+00  0.000E+00  1.000E+00 -1.000E+00 ");
}

TEST(MatCopy, ElementCopyAcrossClassesAndTypes) {
  C_MatMSym<double> s(2, 1);
  s.SetVal(0, 0, 1), s.SetVal(1, 0, 2), s.SetVal(1, 1, 3);
  C_MatMGe<double> g(5, 5);
  EXPECT_EQ(g.Copy(s), 0);
  ASSERT_EQ(g.rows, 2);
  EXPECT_EQ(g.GetVal(0, 1), 2.0);
  EXPECT_EQ(g.GetVal(1, 0), 2.0);
  EXPECT_EQ(g.GetVal(1, 1), 3.0);
  EXPECT_EQ(g.Copy(g), 0);  // from itself: nothing changes
  EXPECT_EQ(g.GetVal(1, 1), 3.0);

  C_MatMGe<zc> z(1, 1);
  z.SetVal(0, 0, zc(1, 1));
  EXPECT_EQ(g.Copy(z), -1);  // another element type: nothing changes
  EXPECT_EQ(g.rows, 2);
  EXPECT_EQ(g.GetVal(1, 1), 3.0);
  BareMat bare(1, 1);
  EXPECT_EQ(g.Copy(bare), -1);
}

TEST(MatAxpy, DefaultElementLoop) {
  // A symmetric source added into a general target: the full matrix.
  C_MatMSym<double> s(2, 0);
  s.SetVal(0, 0, 1), s.SetVal(0, 1, 2), s.SetVal(1, 1, 3);
  C_MatMGe<double> g = Make(2, 2);
  C_Mat<double>& gm = g;
  s.Axpy(gm, 10.0);
  EXPECT_EQ(g.GetVal(0, 0), 10.0);
  EXPECT_EQ(g.GetVal(0, 1), 21.0);
  EXPECT_EQ(g.GetVal(1, 0), 30.0);
  EXPECT_EQ(g.GetVal(1, 1), 41.0);
  C_MatMGe<double> wrong(3, 2);
  C_Mat<double>& wm = wrong;
  EXPECT_EQ(ThrownCode([&] { s.Axpy(wm, 1.0); }), 2872);
}

TEST(MatNorms, InfinityAndOneNorms) {
  C_MatMGe<double> g(3, 2);
  const double v[3][2] = {{1, -7}, {-2, 3}, {4, 0.5}};
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 2; j++) g.SetVal(i, j, v[i][j]);
  EXPECT_EQ(g.Nrm(NRM_INF), 8.0);   // row sums 8, 5, 4.5
  EXPECT_EQ(g.Nrm(NRM_ONE), 10.5);  // column sums 7, 10.5
  C_MatMGe<double> nocols(2, 0);
  EXPECT_EQ(ThrownCode([&] { nocols.Nrm(NRM_INF); }), 2872);
  EXPECT_EQ(nocols.Nrm(NRM_ONE), 0.0);
  C_MatMGe<zc> z(1, 2);
  z.SetVal(0, 0, zc(3, 4));
  z.SetVal(0, 1, zc(0, -2));
  EXPECT_DOUBLE_EQ(z.Nrm(NRM_INF), 7.0);
  EXPECT_DOUBLE_EQ(z.Nrm(NRM_ONE), 5.0);
}

TEST(MatFiles, PrintToPathForms) {
  C_MatMSym<double> s(1, 1);
  s.SetVal(0, 0, 2.0);
  kvtest::TempPath path("mat_printpath");
  EXPECT_EQ(s.Print(path.c_str(), -1, false), 0);
  EXPECT_EQ(s.Print(path.c_str(), -1, true), 0);
  const std::string one = " Type: Double\n Rows: 1\n Columns: 1\n In Core: 1\n Sym: YES\n- Side : Lower\n[0,0]: 2.000e+00   \n";
  EXPECT_EQ(kvtest::ReadFileText(path.str()), one + one);
  EXPECT_EQ(s.Print(path.c_str(), -1, false), 0);
  EXPECT_EQ(kvtest::ReadFileText(path.str()), one);
  EXPECT_EQ(s.Print(static_cast<const char*>(nullptr), -1, false), 0);
  EXPECT_EQ(s.Print("no_such_dir_kvelo/p.txt", -1, true), 0);
  EXPECT_FALSE(kvtest::FileExists("no_such_dir_kvelo/p.txt"));
}

TEST(MatExports, BaseAndColumnCursorsAreExported) {
  // Mangled names of C_GenericMat::Row(int), C_GenericMat::Nrm(E_NrmType) and the cursors of
  // C_Mat<double> and C_Mat<complex<double>>.
  const char* names[] = {"_ZN12C_GenericMat3RowEi",
                         "_ZN12C_GenericMat3NrmE9E_NrmType",
                         "_ZN5C_MatIdE8FirstColERd",
                         "_ZN5C_MatIdE7NextColERd",
                         "_ZN5C_MatIdE8FirstColERNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE",
                         "_ZN5C_MatISt7complexIdEE8FirstColERS1_",
                         "_ZN5C_MatISt7complexIdEE7NextColERS1_"};
  // The loaded library, found through one of its own functions whatever its file is called.
  Dl_info where;
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&KveloThrow), &where), 0);
  ASSERT_NE(where.dli_fname, nullptr);
  void* lib = dlopen(where.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(lib, nullptr);
  for (const char* n : names) EXPECT_NE(dlsym(lib, n), nullptr) << n;
  dlclose(lib);
}

TEST(MatNorms, ANaNIsNeverHiddenByALaterSum) {
  // diag(NaN, 1, 1) and the same with the NaN last, as general and as packed symmetric
  // matrices: every row and column sum that holds the NaN is NaN, the others are 1. A running
  // maximum that lets the later 1 replace the NaN reports 1.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* what;
    double d0, d2;
    bool wantNaN;
  };
  const Case cases[] = {{"NaN first", nan, 1.0, true},
                        {"NaN last", 1.0, nan, true},
                        {"inf and NaN", inf, nan, true},
                        {"inf alone", inf, 1.0, false}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    C_MatMGe<double> g(3, 3);
    C_MatMSym<double> s(3, 1);
    g.SetVal(0, 0, k.d0), g.SetVal(1, 1, 1.0), g.SetVal(2, 2, k.d2);
    s.SetVal(0, 0, k.d0), s.SetVal(1, 1, 1.0), s.SetVal(2, 2, k.d2);
    for (double v : {g.Nrm(NRM_INF), g.Nrm(NRM_ONE), s.Nrm(NRM_INF)}) {
      if (k.wantNaN)
        EXPECT_TRUE(std::isnan(v)) << v;
      else
        EXPECT_EQ(v, inf);
    }
  }
  // A complex element with a NaN part, in the first column of three.
  C_MatMGe<zc> z(3, 3);
  z.SetVal(0, 0, zc(0.0, nan));
  z.SetVal(1, 1, 1.0);
  z.SetVal(2, 2, 1.0);
  EXPECT_TRUE(std::isnan(z.Nrm(NRM_INF)));
  EXPECT_TRUE(std::isnan(z.Nrm(NRM_ONE)));
}

TEST(MatNorms, LargeAndSmallModuliStayFinite) {
  // |3e200 + 4e200 i| = 5e200 and |3e-200 + 4e-200 i| = 5e-200: the modulus is not formed
  // from the squares, which overflow and underflow.
  C_MatMGe<zc> big(1, 2), small(1, 2);
  big.SetVal(0, 0, zc(3e200, 4e200));
  small.SetVal(0, 0, zc(3e-200, 4e-200));
  EXPECT_DOUBLE_EQ(big.Nrm(NRM_INF), 5e200);
  EXPECT_DOUBLE_EQ(big.Nrm(NRM_ONE), 5e200);
  EXPECT_DOUBLE_EQ(small.Nrm(NRM_INF), 5e-200);
  C_MatMSym<zc> s(2, 0);
  s.SetVal(1, 0, zc(-3e200, 4e200));
  EXPECT_DOUBLE_EQ(s.Nrm(NRM_INF), 5e200);
}

TEST(GenericMat, DimIsTheTrueCountOfLargeShapes) {
  // 46341^2 = 2147488281 is just past 2^31 - 1; 65536^2 = 2^32 wraps to 0 in 32 bits.
  EXPECT_EQ(BareMat(46341, 46341).Dim(), 2147488281LL);
  EXPECT_EQ(BareMat(65536, 65536).Dim(), 4294967296LL);
  EXPECT_EQ(BareMat(2147483647, 2).Dim(), 4294967294LL);
}

namespace {

// A value unique to its place, for either element type.
template <class T>
T PlaceValue(int i, int j);
template <>
double PlaceValue<double>(int i, int j) {
  return 100.0 * i + j + 0.25;
}
template <>
zc PlaceValue<zc>(int i, int j) {
  return zc(100.0 * i + j + 0.25, -(i + 1.0));
}

// What m writes to a fresh file.
template <class M>
Bytes WrittenBy(M& m) {
  kvtest::TempPath path("mat_roundtrip");
  FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_NE(f, nullptr);
  if (!f) return Bytes();
  EXPECT_EQ(m.Write(f), 0);
  std::fclose(f);
  return kvtest::ReadFileBytes(path.str());
}

// Reads what m writes into `into`, which then has m's shape, side and values and writes the
// same bytes again.
template <class M>
void ExpectRoundTrip(M& m, M& into) {
  const Bytes written = WrittenBy(m);
  FILE* f = kvtest::StreamWith(written);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(ThrownCode([&] { EXPECT_EQ(into.Read(f), 0); }), 0);
  std::fclose(f);
  ASSERT_EQ(into.rows, m.rows);
  ASSERT_EQ(into.cols, m.cols);
  EXPECT_EQ(into.Side() != 0, m.Side() != 0);
  for (int i = 0; i < m.rows; i++)
    for (int j = 0; j < m.cols; j++) ASSERT_EQ(into.GetVal(i, j), m.GetVal(i, j)) << i << "," << j;
  EXPECT_TRUE(kvtest::BytesEqual(WrittenBy(into), written));
}

template <class T>
void GeneralRoundTrips() {
  const int shapes[][2] = {{0, 0}, {0, 3}, {3, 0}, {1, 5}, {5, 1}, {2, 3}};
  for (const auto& s : shapes) {
    SCOPED_TRACE(std::to_string(s[0]) + " x " + std::to_string(s[1]));
    C_MatMGe<T> m(s[0], s[1]), into(2, 2);
    for (int i = 0; i < s[0]; i++)
      for (int j = 0; j < s[1]; j++) m.SetVal(i, j, PlaceValue<T>(i, j));
    into.SetVal(1, 1, PlaceValue<T>(7, 7));
    ExpectRoundTrip(m, into);
  }
  // A 2 x 3 block of a 4 x 4 matrix (leading dimension 4), and a Lnk() view.
  C_MatMGe<T> p(4, 4);
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) p.SetVal(i, j, PlaceValue<T>(i, j));
  C_MatMGe<T> block(2, 3, p.Adr() + 1, 4), into(1, 1);
  {
    SCOPED_TRACE("strided block");
    ExpectRoundTrip(block, into);
  }
  std::unique_ptr<C_Mat<T>> link(p.Lnk());
  C_MatMGe<T> into2(0, 0);
  SCOPED_TRACE("Lnk view");
  ExpectRoundTrip(static_cast<C_MatMGe<T>&>(*link), into2);
}

template <class T>
void SymmetricRoundTrips() {
  for (int n : {0, 1, 3}) {
    for (int side : {0, 1, 7}) {
      SCOPED_TRACE("order " + std::to_string(n) + " side " + std::to_string(side));
      C_MatMSym<T> m(n, side), into(2, side ? 0 : 1);
      for (int i = 0; i < n; i++)
        for (int j = 0; j <= i; j++) m.SetVal(i, j, PlaceValue<T>(i, j));
      ExpectRoundTrip(m, into);
    }
  }
  C_MatMSym<T> owner(3, 1), into(1, 0);
  for (int i = 0; i < 3; i++)
    for (int j = 0; j <= i; j++) owner.SetVal(i, j, PlaceValue<T>(i, j));
  std::unique_ptr<C_Mat<T>> link(owner.Lnk());
  SCOPED_TRACE("Lnk view");
  ExpectRoundTrip(static_cast<C_MatMSym<T>&>(*link), into);
}

}  // namespace

TEST(MatFiles, EveryWrittenFormReadsBack) {
  {
    SCOPED_TRACE("general double");
    GeneralRoundTrips<double>();
  }
  {
    SCOPED_TRACE("general complex");
    GeneralRoundTrips<zc>();
  }
  {
    SCOPED_TRACE("symmetric double");
    SymmetricRoundTrips<double>();
  }
  {
    SCOPED_TRACE("symmetric complex");
    SymmetricRoundTrips<zc>();
  }
}
