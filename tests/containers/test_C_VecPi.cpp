/* test_C_VecPi.cpp: the concrete vector: its binary form (big-endian dimension) against the
 * generic one (little-endian dimension) byte by byte, reading, Resize and capacity, borrowed
 * arrays, the range rule, views, text forms, deep copies (by value, assignment, Assign),
 * Copy from contiguous, block-wise and cursor sources, and the operations that throw. */
#include "C_Communicator.h"
#include "C_VecPi.h"
#include "derived_vec.h"
#include "vec_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using cd = std::complex<double>;
using VD = C_VecPi<double, int, C_PtrInCore<double, int>>;
using VI = C_VecPi<int, int, C_PtrInCore<int, int>>;
using VZ = C_VecPi<cd, int, C_PtrInCore<cd, int>>;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes WriteConcrete(C_BaseVec<int>& v) {
  return BytesWrittenBy("vecpi_write", [&](FILE* f) { return v.Write(f); });
}

template <class T>
Bytes WriteGeneric(C_VecPi<T, int, C_PtrInCore<T, int>>& v) {
  using Base = C_Vec<T, int>;
  // The base form, called past the override.
  return BytesWrittenBy("vecpi_generic", [&](FILE* f) { return v.Base::Write(f); });
}

template <class V>
std::string PrintText(V& v, bool matlab) {
  return TextWrittenBy("vecpi_text", [&](FILE* f) { return matlab ? v.WriteMatlab(f) : v.Print(f); });
}

VD MakeD(std::initializer_list<double> vals) {
  VD v(static_cast<int>(vals.size()));
  int i = 0;
  for (double x : vals) v[i++] = x;
  return v;
}

// Takes a vector by value: the copy must own a buffer of its own.
double SumByValue(VD v) {
  v[0] += 100.0;
  return v.Sum(0, -1);
}

}  // namespace

TEST(CVecPiBinary, DoubleFormIsBigEndianThroughout) {
  VD v = MakeD({1.0, 2.0, 3.0});
  const Bytes expect = {0x00, 0x00, 0x00, 0x03, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0,
                        0x40, 0x00, 0, 0, 0, 0, 0, 0,    0x40, 0x08, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(WriteConcrete(v), expect);
  // The generic form of the same vector differs in its first four bytes only.
  Bytes generic = WriteGeneric(v);
  ASSERT_EQ(generic.size(), expect.size());
  EXPECT_EQ(Bytes(generic.begin(), generic.begin() + 4), (Bytes{0x03, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Bytes(generic.begin() + 4, generic.end()), Bytes(expect.begin() + 4, expect.end()));

  TempFile tmp("vecpi_read");
  WriteAll(tmp.path(), expect);
  FILE* f = std::fopen(tmp.path(), "rb");
  VD back;
  EXPECT_EQ(back.Read(f), 0);
  std::fclose(f);
  ASSERT_EQ(back.Dim(), 3);
  EXPECT_EQ(back[0], 1.0);
  EXPECT_EQ(back[2], 3.0);
}

TEST(CVecPiBinary, IntComplexAndEmptyForms) {
  VI i(2);
  i[0] = 1;
  i[1] = -1;
  EXPECT_EQ(WriteConcrete(i), (Bytes{0, 0, 0, 2, 0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF}));
  VI none;
  EXPECT_EQ(WriteConcrete(none), (Bytes{0, 0, 0, 0}));
  VZ z(1);
  z[0] = cd(1.0, -2.0);
  EXPECT_EQ(WriteConcrete(z),
            (Bytes{0, 0, 0, 1, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0xC0, 0x00, 0, 0, 0, 0, 0, 0}));
}

namespace {

// The binary form of n doubles, value i being i / 2.
Bytes DoubleForm(int announced, int present) {
  Bytes b;
  kvtest::PutInt(b, announced);
  for (int i = 0; i < present; ++i) kvtest::PutDouble(b, i / 2.0);
  return b;
}

}  // namespace

TEST(CVecPiBinary, DamagedFilesLeaveTheVectorAsItWas) {
  // 131072 doubles make one 1 MiB run of the reader.
  struct Case {
    const char* what;
    Bytes bytes;
    int code;
  };
  const Case cases[] = {
      {"negative dimension", {0xFF, 0xFF, 0xFF, 0xFF}, 2},
      {"2^31-1 announced (16 GiB), nothing follows", {0x7F, 0xFF, 0xFF, 0xFF}, 21},
      {"five announced, one present", DoubleForm(5, 1), 21},
      {"one full run present, one value more announced", DoubleForm(131073, 131072), 21},
      {"two full runs announced, one and a half present", DoubleForm(262144, 196608), 21},
      {"half a dimension", {0, 0}, 21},
      {"empty file", {}, 21},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VD v = MakeD({1.0, 2.0, 3.0});
    const double* before = v.Adr(0);
    EXPECT_EQ(ReadFromBytes(v, c.bytes), c.code);
    EXPECT_EQ(v.Dim(), 3);
    EXPECT_EQ(v.capacity, 3);
    EXPECT_EQ(v.Adr(0), before);
    EXPECT_EQ(v[0], 1.0);
    EXPECT_EQ(v[2], 3.0);
  }
  // 32 GiB of complex values, 8 GiB of ints announced by four bytes.
  VZ z(1);
  z[0] = cd(4, 5);
  EXPECT_EQ(ReadFromBytes(z, {0x7F, 0xFF, 0xFF, 0xFF}), 21);
  EXPECT_EQ(z.Dim(), 1);
  EXPECT_EQ(z[0], cd(4, 5));
  VI i(2);
  i[1] = 7;
  EXPECT_EQ(ReadFromBytes(i, {0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 0, 1}), 21);
  EXPECT_EQ(i.Dim(), 2);
  EXPECT_EQ(i[1], 7);

  VD v = MakeD({1.0});
  EXPECT_KVELO_CODE(v.Read(nullptr), 21);
  EXPECT_EQ(v.Dim(), 1);
}

TEST(CVecPiBinary, ReadTakesTheValuesWhereTheyFit) {
  // Values that fit the capacity go into the vector's own buffer: views of it stay valid.
  VD roomy(5, 9.0);
  const double* before = roomy.Adr(0);
  std::unique_ptr<C_Vec<double, int>> view(roomy.Lnk(1));
  EXPECT_EQ(ReadFromBytes(roomy, DoubleForm(3, 3)), 0);
  EXPECT_EQ(roomy.Dim(), 3);
  EXPECT_EQ(roomy.capacity, 5);
  EXPECT_EQ(roomy.Adr(0), before);
  EXPECT_EQ(view->GetVal(1), 1.0);  // element 2 of the vector: 2 / 2

  // More values than the capacity: the buffer they were read into becomes the vector's.
  VD small(1, 9.0);
  EXPECT_EQ(ReadFromBytes(small, DoubleForm(4, 4)), 0);
  EXPECT_EQ(small.Dim(), 4);
  EXPECT_EQ(small.capacity, 4);
  EXPECT_EQ(small.ptr.owns, 1);
  EXPECT_EQ(small[3], 1.5);

  // Several runs of 1 MiB arrive in order.
  const int n = 2 * 131072 + 5;
  VD big;
  EXPECT_EQ(ReadFromBytes(big, DoubleForm(n, n)), 0);
  ASSERT_EQ(big.Dim(), n);
  bool same = true;
  for (int k = 0; k < n && same; ++k) same = big[k] == k / 2.0;
  EXPECT_TRUE(same);

  // A caller's array takes values it can hold, and refuses more, unchanged.
  double caller[4] = {-1, -1, -1, -1};
  VD borrowed(4, caller);
  EXPECT_EQ(ReadFromBytes(borrowed, DoubleForm(3, 3)), 0);
  EXPECT_EQ(borrowed.Adr(0), caller);
  EXPECT_EQ(caller[2], 1.0);
  EXPECT_EQ(caller[3], -1.0);
  EXPECT_EQ(ReadFromBytes(borrowed, DoubleForm(5, 5)), 2870);
  EXPECT_EQ(borrowed.Dim(), 3);
  EXPECT_EQ(caller[0], 0.0);

  // A zero dimension read into a filled vector empties it.
  VD w = MakeD({1.0});
  EXPECT_EQ(ReadFromBytes(w, {0, 0, 0, 0}), 0);
  EXPECT_EQ(w.Dim(), 0);
}

TEST(CVecPiBinary, TakeValuesHandsOverOrCopies) {
  VD src = MakeD({1, 2, 3});
  double* srcBuf = src.Adr(0);
  VD dst(1);
  dst.TakeValues(src);  // beyond dst's capacity: src's buffer is handed over
  EXPECT_EQ(dst.Adr(0), srcBuf);
  EXPECT_EQ(dst.Dim(), 3);
  EXPECT_EQ(dst.capacity, 3);
  EXPECT_EQ(src.Dim(), 0);
  EXPECT_EQ(src.Adr(0), nullptr);

  VD roomy(6);
  double* own = roomy.Adr(0);
  VD more = MakeD({4, 5});
  roomy.TakeValues(more);  // fits: copied into roomy's own buffer
  EXPECT_EQ(roomy.Adr(0), own);
  EXPECT_EQ(roomy.Dim(), 2);
  EXPECT_EQ(roomy[1], 5.0);
  EXPECT_EQ(more.Dim(), 0);

  double caller[2] = {7, 8};
  VD borrowed(2, caller);
  VD three = MakeD({1, 2, 3});
  EXPECT_KVELO_CODE(borrowed.TakeValues(three), 2870);
  EXPECT_EQ(borrowed.Dim(), 2);
  EXPECT_EQ(caller[0], 7.0);
  EXPECT_EQ(three.Dim(), 3);
}

TEST(CVecPiBinary, WriteFailures) {
  VD v = MakeD({1.0});
  EXPECT_KVELO_CODE(v.Write(nullptr), 22);
  TempFile tmp("vecpi_ro");
  FILE* f = std::fopen(tmp.path(), "rb");
  EXPECT_KVELO_CODE(v.Write(f), 22);
  std::fclose(f);
}

TEST(CVecPiResize, CapacityKeepsOneBufferUpAndDown) {
  VD v;
  EXPECT_EQ(v.Resize(10), 0);
  for (int i = 0; i < 10; ++i) v[i] = i + 1.0;
  const double* buf = v.Adr(0);
  EXPECT_EQ(v.Resize(4), 0);
  EXPECT_EQ(v.capacity, 10);
  EXPECT_EQ(v.Resize(10), 0);
  EXPECT_EQ(v.Adr(0), buf);  // no reallocation
  for (int i = 4; i < 10; ++i) EXPECT_EQ(v[i], i + 1.0);  // earlier values, not zeros
  EXPECT_EQ(v.Resize(11), 0);
  EXPECT_EQ(v.capacity, 11);
  EXPECT_EQ(v[9], 10.0);
  EXPECT_EQ(v[10], 0.0);
  EXPECT_KVELO_CODE(v.Resize(-1), 2);
  EXPECT_EQ(v.Dim(), 11);
  EXPECT_EQ(v.Resize(0), 0);
  EXPECT_EQ(v.capacity, 0);
  EXPECT_EQ(v.Adr(0), nullptr);
}

TEST(CVecPiResize, BorrowedArray) {
  double caller[10];
  for (int i = 0; i < 10; ++i) caller[i] = i;
  VD v(10, caller);
  EXPECT_EQ(v.capacity, 0);
  EXPECT_EQ(v.ptr.owns, 0);
  EXPECT_EQ(v.Resize(5), 0);
  EXPECT_EQ(v.Resize(5), 0);
  EXPECT_KVELO_CODE(v.Resize(8), 2870);
  EXPECT_EQ(v.Dim(), 5);
  EXPECT_EQ(v.Adr(0), caller);
  EXPECT_EQ(v.Resize(0), 0);
  EXPECT_EQ(v.Adr(0), nullptr);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(caller[i], i);
}

TEST(CVecPiResize, NegativeConstructionAndRegrowth) {
  VD v(-3);
  EXPECT_EQ(v.Dim(), -3);
  EXPECT_EQ(v.capacity, -3);
  EXPECT_EQ(v.Adr(0), nullptr);
  std::string text = PrintText(v, false);
  EXPECT_EQ(text, "- Object : C_VecPi Vector\n- Scalar : Double\n- Dim : -3\n- In Core : 1\n- Values : \n");
  EXPECT_EQ(v.Resize(2), 0);
  EXPECT_EQ(v.Dim(), 2);
  EXPECT_EQ(v.capacity, 2);
  EXPECT_EQ(v[0], 0.0);
  EXPECT_EQ(v[1], 0.0);
}

TEST(CVecPiRelease, OwningAndBorrowing) {
  VD v = MakeD({1.0, 2.0});
  v.Release();
  EXPECT_EQ(v.Dim(), 0);
  EXPECT_EQ(v.capacity, 0);
  EXPECT_EQ(v.Adr(0), nullptr);

  double caller[3] = {1, 2, 3};
  VD b(3, caller);
  b.Release();
  EXPECT_EQ(b.Dim(), 0);
  EXPECT_EQ(caller[2], 3.0);
  EXPECT_EQ(b.Resize(2), 0);  // a fresh buffer, owned by the vector
  EXPECT_EQ(b.ptr.owns, 1);
  EXPECT_EQ(b[1], 0.0);
}

TEST(CVecPiRange, RangeRuleOfEveryRangeOperation) {
  VD v = MakeD({1, 2, 3, 4, 5});
  EXPECT_EQ(v.Zero(5, -1), 0);  // first = dimension: empty range
  EXPECT_EQ(v.Zero(6, -1), -1);
  EXPECT_EQ(v.Zero(-1, 2), -1);
  EXPECT_EQ(v.Sum(0, -1), 15.0);
  EXPECT_EQ(v.Sum(-1, 3), 0.0);
  EXPECT_EQ(v.Sum(3, 99), 9.0);
  EXPECT_EQ(v.Sum(4, 2), 0.0);
  EXPECT_EQ(v.Extract(0, -1, nullptr), v.Adr(0));
  EXPECT_EQ(v.Extract(2, 3, nullptr), v.Adr(2));
  EXPECT_EQ(v.Extract(6, 7, nullptr), nullptr);
  EXPECT_EQ(v.SMlt(2.0, 3, -1), 0);
  EXPECT_EQ(v[3], 8.0);
  EXPECT_EQ(v[4], 10.0);
  EXPECT_EQ(v.SMlt(2.0, 9, -1), -1);
  EXPECT_EQ(v.Zero(1, 2), 0);
  EXPECT_EQ(v[1], 0.0);
  EXPECT_EQ(v[2], 0.0);
  EXPECT_EQ(v[3], 8.0);

  VI w(4);
  EXPECT_EQ(w.Init(7, 1, 100), 0);
  EXPECT_EQ(w[0], 0);
  EXPECT_EQ(w[1], 7);
  EXPECT_EQ(w[3], 7);
  EXPECT_EQ(w.Init(7, 5, -1), -1);
  EXPECT_EQ(w.Sum(0, -1), 21);
}

TEST(CVecPiViews, LnkSharesValuesAndFreesNothing) {
  VD v = MakeD({0, 10, 20, 30, 40});
  std::unique_ptr<C_Vec<double, int>> view(v.Lnk(2));
  ASSERT_EQ(view->Dim(), 3);
  EXPECT_EQ(view->GetVal(0), 20.0);
  (*view)[1] = -1.0;
  EXPECT_EQ(v[3], -1.0);
  view.reset();
  EXPECT_EQ(v[4], 40.0);
  EXPECT_KVELO_CODE(v.Lnk(6), 2872);
  EXPECT_KVELO_CODE(v.Lnk(-1), 2872);
  std::unique_ptr<C_Vec<double, int>> tail(v.Lnk(5));
  EXPECT_EQ(tail->Dim(), 0);
  VD empty;
  std::unique_ptr<C_Vec<double, int>> none(empty.Lnk(0));
  EXPECT_EQ(none->Dim(), 0);
}

TEST(CVecPiViews, AttachFreesAnOwnedBufferAndBorrows) {
  double caller[3] = {1, 2, 3};
  VD v(100, 1.0);
  EXPECT_EQ(v.Attach(3, caller), 0);
  EXPECT_EQ(v.capacity, 0);
  EXPECT_EQ(v.Dim(), 3);
  EXPECT_EQ(v.Adr(0), caller);
  EXPECT_EQ(v.ptr.owns, 0);
  v[0] = 9.0;
  EXPECT_EQ(caller[0], 9.0);
}

TEST(CVecPiViews, AttachInsideItsOwnBufferIsRefused) {
  // The buffer would be freed under the new view: refused, nothing changed.
  VD v = MakeD({1, 2, 3});
  double* buf = v.Adr(0);
  EXPECT_KVELO_CODE(v.Attach(2, buf + 1), 2870);
  EXPECT_EQ(v.Dim(), 3);
  EXPECT_EQ(v.capacity, 3);
  EXPECT_EQ(v.ptr.owns, 1);
  EXPECT_EQ(v.Adr(0), buf);
  EXPECT_EQ(v[2], 3.0);
  // Its own start changes nothing in the buffer; a caller's array is borrowed as always.
  EXPECT_EQ(v.Attach(3, buf), 0);
  EXPECT_EQ(v[0], 1.0);
}

namespace {

// A peer that sends a length and then its values.
class Peer : public C_Communicator {
 public:
  std::vector<double> values;
  void recv(int, int, int* p, int n) override {
    if (n == 1) *p = static_cast<int>(values.size());
  }
  void recv(int, int, double* p, int n) override {
    for (int i = 0; i < n; ++i) p[i] = values[static_cast<size_t>(i)];
  }
};

Bytes VecBytes(const std::vector<double>& values) {
  Bytes b;
  kvtest::PutInt(b, static_cast<int>(values.size()));
  for (double v : values) kvtest::PutDouble(b, v);
  return b;
}

int Received(VD& v, const std::vector<double>& values) {
  Peer peer;
  peer.values = values;
  C_Communicator::setInstance(&peer);
  const int code = kvtest::ThrownCode([&] { v.Recv(0, 0); });
  C_Communicator::setInstance(nullptr);
  return code;
}

}  // namespace

TEST(CVecPiViews, WritesIntoAViewLandInItsElementsOnly) {
  // P = 0 .. 5 and V its view from position 2 (four elements). Every operation that writes a
  // result into V changes P's last four elements at most; one that would make V longer is
  // refused (2870) with P and V as they were.
  const std::vector<double> four{10, 11, 12, 13}, five{10, 11, 12, 13, 14};
  struct Case {
    const char* what;
    std::function<void(VD&)> op;
    std::vector<double> parent;  // P afterwards
    int dim;                     // V's dimension afterwards
    int code;
  };
  const std::vector<double> same{0, 1, 2, 3, 4, 5}, copied{0, 1, 10, 11, 12, 13};
  VD src4 = MakeD({10, 11, 12, 13}), src5 = MakeD({10, 11, 12, 13, 14}), src3 = MakeD({10, 11, 12});
  ChunkVec<double, int> chunked(4);
  for (int i = 0; i < 4; ++i) chunked.SetVal(i, 10.0 + i);
  const Case cases[] = {
      {"Copy", [&](VD& v) { v.Copy(src4); }, copied, 4, 0},
      {"Copy, blocks", [&](VD& v) { v.Copy(chunked); }, copied, 4, 0},
      {"Assign", [&](VD& v) { v.Assign(src4); }, copied, 4, 0},
      {"operator=", [&](VD& v) { v = src4; }, copied, 4, 0},
      {"Read", [&](VD& v) { ASSERT_EQ(ReadFromBytes(v, VecBytes(four)), 0); }, copied, 4, 0},
      {"Recv", [&](VD& v) { ASSERT_EQ(Received(v, four), 0); }, copied, 4, 0},
      {"Copy, shorter", [&](VD& v) { v.Copy(src3); }, {0, 1, 10, 11, 12, 5}, 3, 0},
      {"SMlt", [&](VD& v) { v.SMlt(2.0, 0, -1); }, {0, 1, 4, 6, 8, 10}, 4, 0},
      {"operator*=", [&](VD& v) { v *= 2.0; }, {0, 1, 4, 6, 8, 10}, 4, 0},
      {"Init", [&](VD& v) { v.Init(7.0, 1, 2); }, {0, 1, 2, 7, 7, 5}, 4, 0},
      {"Zero", [&](VD& v) { v.Zero(0, -1); }, {0, 1, 0, 0, 0, 0}, 4, 0},
      {"Axpy", [&](VD& v) { src4.Axpy(v, 1.0); }, {0, 1, 12, 14, 16, 18}, 4, 0},
      {"operator-=", [&](VD& v) { v -= src4; }, {0, 1, -8, -8, -8, -8}, 4, 0},
      {"operator+= scalar", [&](VD& v) { v += 1.0; }, {0, 1, 3, 4, 5, 6}, 4, 0},
      {"Normalize", [&](VD& v) { v.Normalize(NRM_INF, nullptr); }, {0, 1, 0.4, 0.6, 0.8, 1}, 4, 0},
      {"Copy, longer", [&](VD& v) { v.Copy(src5); }, same, 4, 2870},
      {"Assign, longer", [&](VD& v) { v.Assign(src5); }, same, 4, 2870},
      {"operator=, longer", [&](VD& v) { v = src5; }, same, 4, 2870},
      {"Read, longer", [&](VD& v) { EXPECT_EQ(ReadFromBytes(v, VecBytes(five)), 2870); }, same, 4, 0},
      {"Recv, longer", [&](VD& v) { EXPECT_EQ(Received(v, five), 2870); }, same, 4, 0},
      {"Resize, longer", [&](VD& v) { v.Resize(5); }, same, 4, 2870},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VD parent = MakeD({0, 1, 2, 3, 4, 5});
    const double* buf = parent.Adr(0);
    std::unique_ptr<C_Vec<double, int>> link(parent.Lnk(2));
    VD& view = static_cast<VD&>(*link);
    EXPECT_EQ(kvtest::ThrownCode([&] { c.op(view); }), c.code);
    EXPECT_EQ(view.Dim(), c.dim);
    EXPECT_EQ(view.Adr(0), buf + 2);  // still a view of P
    EXPECT_EQ(view.ptr.owns, 0);
    std::vector<double> now(buf, buf + 6);
    for (size_t i = 0; i < 6; ++i) EXPECT_NEAR(now[i], c.parent[i], 1e-15) << i;
  }
}

TEST(CVecPiText, PrintFiveToALine) {
  VI v(6);
  for (int i = 0; i < 6; ++i) v[i] = i + 1;
  EXPECT_EQ(PrintText(v, false),
            "- Object : C_VecPi Vector\n- Scalar : Integer\n- Dim : 6\n- In Core : 1\n- Values : \n"
            "       1         2         3         4         5 \n"
            "       6  \n");
  VI five(5);
  EXPECT_EQ(PrintText(five, false),
            "- Object : C_VecPi Vector\n- Scalar : Integer\n- Dim : 5\n- In Core : 1\n- Values : \n"
            "       0         0         0         0         0 \n");
  EXPECT_KVELO_CODE(v.Print(static_cast<FILE*>(nullptr)), 12);
}

TEST(CVecPiText, MatlabOnOneLine) {
  VI v(6);
  for (int i = 0; i < 6; ++i) v[i] = i + 1;
  EXPECT_EQ(PrintText(v, true),
            "C_VecPi Vector\nInteger\n6\n"
            "       1         2         3         4         5         6  \n");
  VZ z(1);
  z[0] = cd(-1.5, 1e-120);
  EXPECT_EQ(PrintText(z, true), "C_VecPi Vector\nDouble complex\n1\n-1.500E+00  1.000E-120  \n");
  VD d = MakeD({0.5, -2.0});
  EXPECT_EQ(PrintText(d, false),
            "- Object : C_VecPi Vector\n- Scalar : Double\n- Dim : 2\n- In Core : 1\n- Values : \n"
            " 5.000e-01  -2.000e+00  \n");
  EXPECT_KVELO_CODE(d.WriteMatlab(static_cast<FILE*>(nullptr)), 12);
}

TEST(CVecPiText, FileForms) {
  VD d = MakeD({1.0});
  TempFile tmp("vecpi_files");
  EXPECT_EQ(d.WriteMatlab(tmp.path()), 0);
  EXPECT_EQ(ReadText(tmp.path()), "C_VecPi Vector\nDouble\n1\n 1.000e+00  \n");
  EXPECT_EQ(d.Print(tmp.path(), true), 0);
  EXPECT_EQ(ReadText(tmp.path()),
            "C_VecPi Vector\nDouble\n1\n 1.000e+00  \n"
            "- Object : C_VecPi Vector\n- Scalar : Double\n- Dim : 1\n- In Core : 1\n- Values : \n 1.000e+00  \n");
  EXPECT_EQ(d.Print(static_cast<const char*>(nullptr), false), 0);
  EXPECT_KVELO_CODE(d.WriteMatlab("no_such_dir_kvelo/m.txt"), 12);
}

TEST(CVecPiIdentity, TypesSizesAndCursor) {
  VI i(3);
  VD d(3);
  VZ z(3);
  EXPECT_EQ(static_cast<int>(i.Type()), 5);
  EXPECT_EQ(static_cast<int>(d.Type()), 1);
  EXPECT_EQ(static_cast<int>(z.Type()), 4);
  EXPECT_EQ(i.MemSize(), 12);
  EXPECT_EQ(d.MemSize(), 24);
  EXPECT_EQ(z.MemSize(), 48);
  // Beyond 2 GiB the size does not fit an int: the largest int, not a wrapped count (a view
  // of 300000000 doubles that is never touched).
  double one[1] = {0.0};
  VD huge(300000000, one);
  EXPECT_EQ(huge.MemSize(), 2147483647);
  EXPECT_EQ(d.InCore(), 1);
  EXPECT_EQ(d.Full(), 1);
  EXPECT_STREQ(d.AffType(), "C_VecPi Vector");
  double x = 0.0;
  std::string s;
  EXPECT_KVELO_CODE(d.FirstVal(x), 2871);
  EXPECT_KVELO_CODE(d.NextVal(x), 2871);
  EXPECT_KVELO_CODE(d.FirstVal(s), 2871);
  EXPECT_KVELO_CODE(d.NextVal(s), 2871);
  d[1] = 2.5;
  d.GetVal(1, s);
  EXPECT_EQ(s, " 2.500e+00 ");
  EXPECT_EQ(d.SetVal(2, 4.0), 1);
  EXPECT_EQ(d.GetVal(2), 4.0);
  VD filled(3, 1.25);
  EXPECT_EQ(filled.Sum(0, -1), 3.75);
}

TEST(CVecPiCopies, CopiesAreDeepAndFreedOnce) {
  VD a = MakeD({1.0, 2.0, 3.0});
  EXPECT_EQ(SumByValue(a), 106.0);
  EXPECT_EQ(a[0], 1.0);  // the callee changed its own copy

  VD b(a);
  EXPECT_NE(b.Adr(0), a.Adr(0));
  EXPECT_EQ(b.ptr.owns, 1);
  EXPECT_EQ(b.capacity, 3);
  b[1] = -5.0;
  EXPECT_EQ(a[1], 2.0);

  VD c(7, 4.0);  // its buffer is given back by the assignment
  c = a;
  EXPECT_EQ(c.Dim(), 3);
  EXPECT_NE(c.Adr(0), a.Adr(0));
  EXPECT_EQ(c[2], 3.0);
  c = c;
  EXPECT_EQ(c[2], 3.0);
  VD empty;
  c = empty;
  EXPECT_EQ(c.Dim(), 0);
  EXPECT_EQ(c.Adr(0), nullptr);

  // A copy of a view owns a copy of the viewed values.
  double caller[2] = {8.0, 9.0};
  VD view(2, caller);
  VD owned(view);
  EXPECT_NE(owned.Adr(0), caller);
  EXPECT_EQ(owned[1], 9.0);
  // Assigning from a view of itself reads the values before the old buffer goes.
  std::unique_ptr<C_Vec<double, int>> tail(a.Lnk(1));
  VD& tailVec = static_cast<VD&>(*tail);
  owned = tailVec;
  EXPECT_EQ(owned[0], 2.0);
  a = tailVec;
  tail.reset();
  EXPECT_EQ(a.Dim(), 2);
  EXPECT_EQ(a[0], 2.0);
  EXPECT_EQ(a[1], 3.0);

  std::vector<VD> many(3, MakeD({1.0}));
  many.push_back(MakeD({2.0, 3.0}));  // reallocation copies, then destroys the originals
  EXPECT_EQ(many[3][1], 3.0);
  EXPECT_EQ(many[0][0], 1.0);
}

TEST(CVecPiCopies, AssignIsDeepAndKeepsViews) {
  VD src = MakeD({1, 2, 3, 4});
  VD dst;
  EXPECT_EQ(dst.Assign(src), 0);
  EXPECT_EQ(dst.Dim(), 4);
  EXPECT_NE(dst.Adr(0), src.Adr(0));
  dst[0] = 99.0;
  EXPECT_EQ(src[0], 1.0);

  double caller[4] = {0, 0, 0, 0};
  VD view(4, caller);
  EXPECT_EQ(view.Assign(src), 0);  // equal length: stays a view, values copied in
  EXPECT_EQ(view.Adr(0), caller);
  EXPECT_EQ(caller[3], 4.0);
  VD longer = MakeD({1, 2, 3, 4, 5});
  EXPECT_KVELO_CODE(view.Assign(longer), 2870);

  VZ zs(2), zd;
  zs[1] = cd(1, -1);
  EXPECT_EQ(zd.Assign(zs), 0);
  EXPECT_EQ(zd[1], cd(1, -1));
}

TEST(CVecPiCopy, ContiguousSources) {
  VD src = MakeD({1, 2, 3});
  VD dst(1);
  EXPECT_EQ(dst.Copy(src), 0);
  EXPECT_EQ(dst.Dim(), 3);
  EXPECT_EQ(dst[2], 3.0);
  EXPECT_NE(dst.Adr(0), src.Adr(0));
  EXPECT_EQ(dst.Copy(dst), 0);
  EXPECT_EQ(dst[1], 2.0);

  VI is(2), id;
  is[0] = 5;
  is[1] = -6;
  EXPECT_EQ(id.Copy(is), 0);
  EXPECT_EQ(id[1], -6);
  VZ zs(2), zd;
  zs[0] = cd(0, 3);
  EXPECT_EQ(zd.Copy(zs), 0);
  EXPECT_EQ(zd[0], cd(0, 3));

  // Overlapping: copying a view of itself (a shrink, no reallocation).
  VD over = MakeD({1, 2, 3, 4, 5});
  std::unique_ptr<C_Vec<double, int>> tail(over.Lnk(1));
  EXPECT_EQ(over.Copy(*tail), 0);
  EXPECT_EQ(over.Dim(), 4);
  EXPECT_EQ(over[0], 2.0);
  EXPECT_EQ(over[3], 5.0);

  // From a generic contiguous vector.
  ArrayVec<double, int> a{7.0, 8.0};
  EXPECT_EQ(dst.Copy(a), 0);
  EXPECT_EQ(dst.Dim(), 2);
  EXPECT_EQ(dst[1], 8.0);

  // Into a view that would have to grow.
  double caller[1] = {0};
  VD view(1, caller);
  EXPECT_KVELO_CODE(view.Copy(src), 2870);
}

TEST(CVecPiCopy, BlockWiseAndCursorSources) {
  const int n = 9000;
  ChunkVec<double, int> chunked(n);
  for (int i = 0; i < n; ++i) chunked.SetVal(i, i * 0.5);
  VD dst;
  EXPECT_EQ(dst.Copy(chunked), 0);
  ASSERT_EQ(dst.Dim(), n);
  EXPECT_EQ(dst[0], 0.0);
  EXPECT_EQ(dst[4096], 2048.0);
  EXPECT_EQ(dst[n - 1], (n - 1) * 0.5);
  ASSERT_EQ(chunked.extracts.size(), 3u);
  EXPECT_EQ(chunked.extracts[2].first, 8192);
  EXPECT_EQ(chunked.extracts[2].last, n - 1);

  ChunkVec<double, int> sparse(6);
  sparse.full = 0;
  sparse.stored = {{1, 4.0}, {5, -1.0}};
  VD into = MakeD({9, 9, 9});
  EXPECT_EQ(into.Copy(sparse), 0);
  ASSERT_EQ(into.Dim(), 6);
  const double expect[6] = {0, 4, 0, 0, 0, -1};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(into[i], expect[i]) << i;

  // A cursor position outside the vector is refused, after values were delivered: the target
  // is as it was (not zeroed, not partly filled).
  sparse.stored = {{2, 8.0}, {6, 1.0}};
  EXPECT_KVELO_CODE(into.Copy(sparse), 2872);
  ASSERT_EQ(into.Dim(), 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(into[i], expect[i]) << i;
}

namespace {
// Chunked storage whose Extract gives nothing from the second block of 4096 on.
class FailingChunks : public ChunkVec<double, int> {
 public:
  using ChunkVec<double, int>::ChunkVec;
  double* Extract(int first, int last, double* buf) override {
    if (first >= 4096) return nullptr;
    return ChunkVec<double, int>::Extract(first, last, buf);
  }
};
}  // namespace

TEST(CVecPiCopy, SourceFailingPartWayLeavesTheTargetAsItWas) {
  FailingChunks src(9000);
  for (int i = 0; i < 9000; ++i) src.SetVal(i, 1.0);
  VD dst = MakeD({5, 6});
  const double* buf = dst.Adr(0);
  EXPECT_KVELO_CODE(dst.Copy(src), 38);
  EXPECT_EQ(dst.Dim(), 2);
  EXPECT_EQ(dst.capacity, 2);
  EXPECT_EQ(dst.Adr(0), buf);
  EXPECT_EQ(dst[0], 5.0);
  EXPECT_EQ(dst[1], 6.0);
  // A contiguous source without an address is refused before anything changes too.
  ChunkVec<double, int> noAddress(3);
  noAddress.inCore = 1;
  EXPECT_KVELO_CODE(dst.Copy(noAddress), 38);
  EXPECT_EQ(dst.Dim(), 2);
  EXPECT_EQ(dst[1], 6.0);
}

TEST(CVecPiArith, ScalingAndInheritedOperations) {
  VI i(3);
  i.Init(2, 0, -1);
  i *= -3;
  EXPECT_EQ(i[2], -6);
  VZ z(2);
  z.Init(cd(1, 1), 0, -1);
  z *= cd(0, 1);
  EXPECT_EQ(z[1], cd(-1, 1));
  VD d = MakeD({3, -4});
  d *= 0.5;
  EXPECT_EQ(d[1], -2.0);
  VD empty;
  empty *= 2.0;
  EXPECT_EQ(d.Nrm(NRM_TWO), 2.5);
  double norm = 0.0;
  EXPECT_EQ(d.Normalize(NRM_INF, &norm), 0);
  EXPECT_EQ(norm, 2.0);
  EXPECT_EQ(d[0], 0.75);
  VD e = MakeD({1, 1});
  e += d;
  EXPECT_EQ(e[1], 0.0);
  double dist = 0.0;
  VD f = MakeD({1, 2});
  VD g = MakeD({4, 6});
  EXPECT_EQ(f.Diff(g, dist), 0);
  EXPECT_EQ(dist, 25.0);
  VD h, k;
  EXPECT_EQ(h.Diff(k, dist), 0);  // two empty vectors: no storage needed
  EXPECT_EQ(dist, 0.0);
  EXPECT_EQ(f.IMax(0, -1), 1);
}

TEST(CVecPiArith, SumsAndNormalisationNearTheEndsOfTheRange) {
  // Partial sums that overflow on the way to a sum within double.
  VD s = MakeD({1e308, 1e308, -1e308});
  EXPECT_EQ(s.Sum(0, -1), 1e308);
  VZ z(3);
  z[0] = cd(1e308, -1e308);
  z[1] = cd(1e308, -1e308);
  z[2] = cd(-1e308, 1e308);
  EXPECT_EQ(z.Sum(0, -1), cd(1e308, -1e308));
  VD beyond = MakeD({1e308, 1e308});
  EXPECT_EQ(beyond.Sum(0, -1), HUGE_VAL);  // the sum itself lies beyond double
  VD nan = MakeD({1, NAN, 2});
  EXPECT_TRUE(std::isnan(nan.Sum(0, -1)));
  // The two-norm of (3e-200, 4e-200) is 5e-200, and the vector is scaled by it.
  VD tiny = MakeD({3e-200, 4e-200});
  double norm = 0.0;
  EXPECT_EQ(tiny.Normalize(NRM_TWO, &norm), 0);
  EXPECT_NEAR(norm, 5e-200, 5e-215);
  EXPECT_NEAR(tiny[0], 0.6, 1e-15);
  EXPECT_NEAR(tiny[1], 0.8, 1e-15);
  VZ huge(1);
  huge[0] = cd(3e200, 4e200);
  EXPECT_NEAR(huge.Nrm(NRM_TWO), 5e200, 5e185);
  EXPECT_EQ(huge.Normalize(NRM_TWO, &norm), 0);
  EXPECT_NEAR(std::abs(huge[0] - cd(0.6, 0.8)), 0.0, 1e-15);
}

// ---------------------------------------------------------------------------------------
// Operands sharing memory with the result: views of one buffer, shifted against each other.
// ---------------------------------------------------------------------------------------
TEST(CVecPiAliasing, AxpyBetweenShiftedViewsOfOneBuffer) {
  // buf = 0, 1, ..., n. With x over buf[0..n-1] and y over buf[1..n], y := y + x gives
  // y_i = (i + 1) + i, each x_i read before y_(i-1) overwrote it; the other way round
  // y_i = i + (i + 1) as well. Long enough for the vector kernels' blocks.
  const int n = 64;
  struct Case {
    const char* what;
    int xAt, yAt;
    bool viaOperator;
  };
  const Case cases[] = {{"x behind y", 0, 1, false}, {"x ahead of y", 1, 0, false}, {"y += x, x behind", 0, 1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<double> buf(n + 1);
    for (int k = 0; k <= n; ++k) buf[static_cast<size_t>(k)] = k;
    VD x(n, buf.data() + c.xAt), y(n, buf.data() + c.yAt);
    if (c.viaOperator)
      y += x;
    else
      EXPECT_EQ(x.Axpy(y, 1.0), 0);
    bool ok = true;
    for (int i = 0; i < n && ok; ++i) ok = buf[static_cast<size_t>(c.yAt + i)] == 2.0 * i + 1.0;
    EXPECT_TRUE(ok);
    // The element outside y keeps its value.
    EXPECT_EQ(buf[c.yAt == 0 ? n : 0], c.yAt == 0 ? n : 0.0);
  }
}

TEST(CVecPiAliasing, AssignAndCopyFromOverlappingViews) {
  // dst one element ahead of src in one buffer {1, 2, 3, 4}: dst takes 1, 2, 3.
  double buf[4] = {1, 2, 3, 4};
  VD src(3, buf), dst(3, buf + 1);
  EXPECT_EQ(dst.Assign(src), 0);
  EXPECT_EQ((std::vector<double>(buf, buf + 4)), (std::vector<double>{1, 1, 2, 3}));
  double back[4] = {1, 2, 3, 4};
  VD src2(3, back + 1), dst2(3, back);
  EXPECT_EQ(dst2.Assign(src2), 0);
  EXPECT_EQ((std::vector<double>(back, back + 4)), (std::vector<double>{2, 3, 4, 4}));

  // A host vector whose growth fills new places with zeros copies a view of its own buffer
  // that reaches past its dimension: the view is read before the host vector grows.
  ArrayVec<double, int> host{1, 2, 3, 4};
  host.Resize(2);  // the std::vector keeps its four places
  VD view(4, host.v.data());
  EXPECT_EQ(host.Copy(view), 0);
  EXPECT_EQ(host.v, (std::vector<double>{1, 2, 3, 4}));
}

TEST(CVecPiWrite, NegativeDimensionIsRefused) {
  // Read refuses a negative dimension (2): Write refuses it too and writes nothing.
  VD v(-3);
  TempFile tmp("vecpi_negative");
  FILE* f = std::fopen(tmp.path(), "wb");
  ASSERT_NE(f, nullptr);
  EXPECT_KVELO_CODE(v.Write(f), 2);
  std::fclose(f);
  EXPECT_TRUE(ReadAll(tmp.path()).empty());
  EXPECT_EQ(v.Dim(), -3);
}

TEST(CVecPiAttach, OwnBufferFromTheStartStaysOwned) {
  VD v = MakeD({1.0, 2.0, 3.0, 4.0});
  double* buf = v.Adr(0);
  EXPECT_EQ(v.Attach(2, buf), 0);
  EXPECT_EQ(v.Dim(), 2);
  EXPECT_EQ(v.capacity, 4);  // still its allocation: regrowing within it keeps the values
  EXPECT_EQ(v.ptr.owns, 1);
  EXPECT_EQ(v.Resize(4), 0);
  EXPECT_EQ(v.Adr(0), buf);
  EXPECT_EQ(v[3], 4.0);
  // More elements than the buffer holds: refused, nothing changed.
  EXPECT_KVELO_CODE(v.Attach(5, buf), 2870);
  EXPECT_EQ(v.Dim(), 4);
  EXPECT_EQ(v.capacity, 4);
}

TEST(CVecPiAttach, EndOfTheOwnBufferIsRefused) {
  VD v = MakeD({1.0, 2.0, 3.0});
  double* buf = v.Adr(0);
  EXPECT_KVELO_CODE(v.Attach(0, buf + 3), 2870);
  EXPECT_EQ(v.Adr(0), buf);
  EXPECT_EQ(v.Dim(), 3);
  EXPECT_EQ(v.capacity, 3);
  EXPECT_EQ(v[2], 3.0);
}

TEST(CVecPiAxpy, ComplexOperandThatIsTheResult) {
  // y := y + a y with x the very vector y: each element as with a copy of y, a (1 + a) y.
  // The kernel would read x's real part after writing it.
  const cd a(-4.94066e-324, 1.4318e13), y0(0.0, -4.94066e-324);
  VZ y(1);
  y[0] = y0;
  y.Axpy(y, a);
  VZ x(1), w(1);
  x[0] = y0;
  w[0] = y0;
  x.Axpy(w, a);
  EXPECT_EQ(y[0], w[0]);
  EXPECT_EQ(y[0].imag(), -4.94066e-324);
  // Larger sizes through the vectorised kernel.
  VZ big(37), copy(37), target(37);
  for (int i = 0; i < 37; ++i) big[i] = copy[i] = target[i] = cd(1.0 + i, 0.5 - i);
  big.Axpy(big, cd(0.25, -2.0));
  copy.Axpy(target, cd(0.25, -2.0));
  for (int i = 0; i < 37; ++i) EXPECT_EQ(big[i], target[i]) << i;
}

TEST(CVecPiAxpy, ZeroFactorKeepsNaNOfTheOperand) {
  // y + 0 x is NaN where x holds NaN or an infinity: the BLAS multiply-add returns at once for
  // a zero factor.
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  VD x = MakeD({1.0, inf, nan}), y = MakeD({2.0, 3.0, 4.0});
  x.Axpy(y, 0.0);
  EXPECT_EQ(y[0], 2.0);
  EXPECT_TRUE(std::isnan(y[1]));
  EXPECT_TRUE(std::isnan(y[2]));
  VZ zx(2), zy(2);
  zx[0] = cd(1, 1);
  zx[1] = cd(inf, 0);
  zy[0] = cd(5, 6);
  zy[1] = cd(7, 8);
  zx.Axpy(zy, cd(0, 0));
  EXPECT_EQ(zy[0], cd(5, 6));
  EXPECT_TRUE(std::isnan(zy[1].real()));
}
