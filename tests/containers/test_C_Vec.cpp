/* test_C_Vec.cpp: the vector interface as a host sees it: object counts, type codes and
 * names, default bodies, the generic binary form (little-endian dimension, big-endian
 * values) byte by byte, its reader, the text headers and file forms, the string accessors. */
#include "C_Vec.h"
#include "C_VecPi.h"
#include "derived_vec.h"
#include "vec_files.h"

#include <gtest/gtest.h>

#include <complex>
#include <string>
#include <thread>
#include <vector>

using cd = std::complex<double>;
using cf = std::complex<float>;
using Bytes = std::vector<unsigned char>;

namespace {

// The element-type-free base with only its pure operations filled in.
class BaseOnly : public C_BaseVec<int> {
 public:
  explicit BaseOnly(int n = 0) : C_BaseVec<int>(n) {}
  using C_BaseVec<int>::Print;
  int MemSize() const override { return 0; }
  int InCore() override { return 1; }
  int Full() override { return 1; }
  int Print(FILE*) override { return 0; }
  void GetVal(int, std::string&) override {}
  int FirstVal(std::string&) override { return -1; }
  int NextVal(std::string&) override { return -1; }
  double Nrm(E_NrmType) override { return 0.0; }
  int Normalize(E_NrmType, double*) override { return 0; }
};

template <class V>
Bytes WriteToBytes(V& v) {
  return BytesWrittenBy("vec_write", [&](FILE* f) { return v.Write(f); });
}

}  // namespace

TEST(CVecCounter, CountsConstructionsCopiesAndDestructions) {
  using Counter = C_Counter<C_Vec<double, long long>>;
  const int created0 = Counter::objects_created;
  const int alive0 = Counter::objects_alive;
  {
    BareVec<double, long long> a(3), b(4);
    BareVec<double, long long> c(a);
    EXPECT_EQ(Counter::objects_created - created0, 3);
    EXPECT_EQ(Counter::objects_alive - alive0, 3);
    b = c;  // assignment counts nothing
    EXPECT_EQ(Counter::objects_created - created0, 3);
    EXPECT_EQ(Counter::objects_alive - alive0, 3);
    EXPECT_EQ(b.Dim(), 3);
  }
  EXPECT_EQ(Counter::objects_alive, alive0);
  EXPECT_EQ(Counter::objects_created - created0, 3);
}

TEST(CVecCounter, EachInstanceHasItsOwnCounts) {
  using DoubleCounter = C_Counter<C_Vec<double, int>>;
  using IntCounter = C_Counter<C_Vec<int, int>>;
  const int d0 = DoubleCounter::objects_created;
  const int i0 = IntCounter::objects_created;
  {
    C_VecPi<int, int, C_PtrInCore<int, int>> v(2);
    EXPECT_EQ(IntCounter::objects_created - i0, 1);
  }
  EXPECT_EQ(DoubleCounter::objects_created, d0);
}

TEST(CVecCounter, CountsStayExactWhenThreadsBuildVectorsAtOnce) {
  // Independent vectors built, copied and destroyed on eight threads at once: no count is
  // lost (plain increments from several threads lose some of these 320000 updates).
  using Counter = C_Counter<C_Vec<double, int>>;
  using VD = C_VecPi<double, int, C_PtrInCore<double, int>>;
  constexpr int kThreads = 8, kRounds = 20000;
  const int created0 = Counter::objects_created;
  const int alive0 = Counter::objects_alive;
  std::vector<std::thread> pool;
  for (int t = 0; t < kThreads; ++t)
    pool.emplace_back([] {
      for (int k = 0; k < kRounds; ++k) {
        VD a(0);
        VD b(a);
        (void)b;
      }
    });
  for (std::thread& t : pool) t.join();
  EXPECT_EQ(Counter::objects_created - created0, 2 * kThreads * kRounds);
  EXPECT_EQ(Counter::objects_alive, alive0);
  // Hosts keep reading the counts as plain ints.
  const int* alive = &Counter::objects_alive;
  EXPECT_EQ(*alive, alive0);
}

TEST(CVecTypes, CodesAndNamesOfEveryInstance) {
  BaseOnly base;
  EXPECT_EQ(base.Type(), C_Type::TypeNone);
  EXPECT_EQ(static_cast<int>(base.Type()), 7);
  EXPECT_STREQ(base.AffType(), "C_BaseVec");

  EXPECT_EQ(static_cast<int>(BareVec<double, int>().Type()), 1);
  EXPECT_EQ(static_cast<int>(BareVec<float, long long>().Type()), 2);
  EXPECT_EQ(static_cast<int>(BareVec<cf, long long>().Type()), 3);
  EXPECT_EQ(static_cast<int>(BareVec<cd, int>().Type()), 4);
  EXPECT_EQ(static_cast<int>(BareVec<int, long long>().Type()), 5);
  EXPECT_EQ(static_cast<int>(BareVec<long long, int>().Type()), 6);
  BareVec<int, int> bare;
  EXPECT_STREQ(bare.AffType(), "C_Vec");
}

TEST(CVecDefaults, BaseBodies) {
  BaseOnly base(4);
  EXPECT_EQ(base.Resize(-9), 0);  // the base checks nothing
  EXPECT_EQ(base.Dim(), -9);
  base.Release();
  EXPECT_EQ(base.Dim(), -9);
  EXPECT_KVELO_CODE(base.Zero(0, -1), 2871);
  TempFile tmp("vec_base_matlab");
  FILE* f = std::fopen(tmp.path(), "w");
  EXPECT_KVELO_CODE(base.WriteMatlab(f), 2871);
  std::fclose(f);
  EXPECT_KVELO_CODE(base.WriteMatlab(static_cast<FILE*>(nullptr)), 2871);
}

TEST(CVecDefaults, ElementInterfaceNotProvidedThrows2871) {
  BareVec<double, int> v(3);
  double x = 0.0;
  EXPECT_EQ(v.Adr(0), nullptr);
  EXPECT_KVELO_CODE(v.SetVal(0, 1.0), 2871);
  EXPECT_KVELO_CODE(v[0], 2871);
  EXPECT_KVELO_CODE(v.FirstVal(x), 2871);
  EXPECT_KVELO_CODE(v.NextVal(x), 2871);
  EXPECT_KVELO_CODE(v.Extract(0, -1, nullptr), 2871);
  EXPECT_KVELO_CODE(v.Init(1.0, 0, -1), 2871);
  EXPECT_KVELO_CODE(v.Attach(3, &x), 2871);
  EXPECT_KVELO_CODE(v.Zero(0, -1), 2871);
}

TEST(CVecDefaults, SendAndRecvWithoutTransportThrow2871) {
  BareVec<float, int> v(1);
  EXPECT_KVELO_CODE(v.Send(0, 1), 2871);
  EXPECT_KVELO_CODE(v.Recv(0, 1), 2871);
}

TEST(CVecBinary, DoubleIntWritesLittleEndianDimThenBigEndianValues) {
  ArrayVec<double, int> v{1.0, 2.0, 3.0};
  const Bytes expect = {0x03, 0x00, 0x00, 0x00,                          //
                        0x3F, 0xF0, 0, 0, 0, 0, 0, 0,                    //
                        0x40, 0x00, 0, 0, 0, 0, 0, 0,                    //
                        0x40, 0x08, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(WriteToBytes(v), expect);
}

TEST(CVecBinary, IntLongLongWritesEightByteDimension) {
  ArrayVec<int, long long> v{1, -1};
  const Bytes expect = {0x02, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(WriteToBytes(v), expect);
}

TEST(CVecBinary, ElementByElementWhenNoAddress) {
  // Chunked storage gives no address: the values go out one per call, same bytes.
  ChunkVec<double, int> v(3);
  v.SetVal(0, 1.0);
  v.SetVal(1, 2.0);
  v.SetVal(2, 3.0);
  const Bytes expect = {0x03, 0x00, 0x00, 0x00, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0,
                        0x40, 0x00, 0, 0, 0, 0, 0, 0, 0x40, 0x08, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(WriteToBytes(v), expect);
}

TEST(CVecBinary, ComplexAndFloatElements) {
  ArrayVec<cf, int> c{cf(1.0f, -2.0f)};
  const Bytes ec = {0x01, 0, 0, 0, 0x3F, 0x80, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00};
  EXPECT_EQ(WriteToBytes(c), ec);
  ArrayVec<long long, long long> h{-2};
  const Bytes eh = {0x01, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE};
  EXPECT_EQ(WriteToBytes(h), eh);
}

TEST(CVecBinary, EmptyVectorWritesItsDimensionAlone) {
  ArrayVec<double, int> a;
  EXPECT_EQ(WriteToBytes(a), (Bytes{0, 0, 0, 0}));
  ChunkVec<double, long long> b(0);
  EXPECT_EQ(WriteToBytes(b), (Bytes{0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(CVecBinary, WriteToNullFileThrows12) {
  ArrayVec<double, int> v{1.0};
  EXPECT_KVELO_CODE(v.Write(nullptr), 12);
  BaseOnly b(2);
  EXPECT_KVELO_CODE(b.Write(nullptr), 12);
}

TEST(CVecBinary, WriteToReadOnlyStreamThrows22) {
  TempFile tmp("vec_ro");
  FILE* f = std::fopen(tmp.path(), "rb");
  ASSERT_NE(f, nullptr);
  ArrayVec<double, int> v{1.0};
  EXPECT_KVELO_CODE(v.Write(f), 22);
  std::fclose(f);
}

TEST(CVecBinary, ReadTakesTheLittleEndianDimensionOnly) {
  TempFile tmp("vec_read");
  WriteAll(tmp.path(), Bytes{0x05, 0x00, 0x00, 0x00, 0xAA});
  FILE* f = std::fopen(tmp.path(), "rb");
  ASSERT_NE(f, nullptr);
  BareVec<double, int> v(0);
  EXPECT_EQ(v.Read(f), 0);
  EXPECT_EQ(v.Dim(), 5);
  EXPECT_EQ(std::fgetc(f), 0xAA);  // nothing beyond the dimension was read
  std::fclose(f);

  WriteAll(tmp.path(), Bytes{0x07, 0, 0, 0, 0, 0, 0, 0});
  f = std::fopen(tmp.path(), "rb");
  BareVec<int, long long> w(0);
  EXPECT_EQ(w.Read(f, 123), 0);
  EXPECT_EQ(w.Dim(), 7);
  std::fclose(f);
}

TEST(CVecBinary, ReadFailures) {
  BareVec<double, int> v(0);
  EXPECT_KVELO_CODE(v.Read(nullptr), 12);
  TempFile tmp("vec_short");
  WriteAll(tmp.path(), Bytes{0x05, 0x00});
  FILE* f = std::fopen(tmp.path(), "rb");
  EXPECT_KVELO_CODE(v.Read(f), 21);
  std::fclose(f);
}

TEST(CVecText, PrintHeaderOfFloatLongLong) {
  BareVec<float, long long> v(5);
  EXPECT_EQ(TextWrittenBy("vec_print", [&](FILE* f) { return v.Print(f); }),
            "- Object : C_Vec\n- Scalar : Float\n- Dim : 5\n- In Core : 1\n");
  EXPECT_KVELO_CODE(v.Print(static_cast<FILE*>(nullptr)), 12);
}

TEST(CVecText, MatlabHeaderAndNullStream) {
  BareVec<cd, int> v(2);
  TempFile tmp("vec_matlab");
  FILE* f = std::fopen(tmp.path(), "w");
  EXPECT_EQ(v.WriteMatlab(f), 0);
  std::fclose(f);
  EXPECT_EQ(ReadText(tmp.path()), "C_Vec\nDouble complex\n2\n");
  EXPECT_KVELO_CODE(v.WriteMatlab(static_cast<FILE*>(nullptr)), 12);
  // The file form replaces the file; an unopenable path hands on a null stream.
  EXPECT_EQ(v.WriteMatlab(tmp.path()), 0);
  EXPECT_EQ(ReadText(tmp.path()), "C_Vec\nDouble complex\n2\n");
  EXPECT_KVELO_CODE(v.WriteMatlab("no_such_dir_kvelo/x.m"), 12);
}

TEST(CVecText, PrintFileFormAppendsOrReplaces) {
  BareVec<int, int> v(2);
  TempFile tmp("vec_printfile");
  const std::string one = "- Object : C_Vec\n- Scalar : Integer\n- Dim : 2\n- In Core : 1\n";
  EXPECT_EQ(v.Print(tmp.path(), false), 0);
  EXPECT_EQ(ReadText(tmp.path()), one);
  EXPECT_EQ(v.Print(tmp.path(), true), 0);
  EXPECT_EQ(ReadText(tmp.path()), one + one);
  EXPECT_EQ(v.Print(tmp.path(), false), 0);
  EXPECT_EQ(ReadText(tmp.path()), one);

  EXPECT_EQ(v.Print(static_cast<const char*>(nullptr), false), 0);
  EXPECT_EQ(v.Print("no_such_dir_kvelo/p.txt", false), 0);
  FILE* probe = std::fopen("no_such_dir_kvelo/p.txt", "r");
  EXPECT_EQ(probe, nullptr);
}

TEST(CVecStrings, OneValuePerInstance) {
  ArrayVec<int, int> i{42};
  std::string s = "x";
  i.GetVal(0, s);
  EXPECT_EQ(s, "x      42 ");

  ArrayVec<long long, long long> h{4294967296LL};
  s.clear();
  h.GetVal(0, s);
  EXPECT_EQ(s, " 4294967296 ");

  ArrayVec<cd, int> c{cd(2.5, 0.0)};
  s.clear();
  c.GetVal(0, s);
  EXPECT_EQ(s, " 2.500E+00  0.000E+00 ");

  ArrayVec<cf, long long> cfv{cf(-1.5f, 0.25f)};
  s.clear();
  cfv.GetVal(0, s);
  EXPECT_EQ(s, "-1.500E+00  2.500E-01 ");

  ArrayVec<double, int> d{-0.001234};
  s.clear();
  d.GetVal(0, s);
  EXPECT_EQ(s, "-1.234e-03 ");

  ArrayVec<float, int> fl{1.0f / 3.0f};
  s.clear();
  fl.GetVal(0, s);
  EXPECT_EQ(s, " 3.333e-01 ");
}

TEST(CVecStrings, CursorForms) {
  ChunkVec<double, int> v(5);
  v.full = 0;
  v.stored = {{1, 2.0}, {4, -3.0}};
  std::string s;
  EXPECT_EQ(v.FirstVal(s), 1);
  EXPECT_EQ(s, " 2.000e+00 ");
  EXPECT_EQ(v.NextVal(s), 4);
  EXPECT_EQ(s, " 2.000e+00 -3.000e+00 ");
  EXPECT_EQ(v.NextVal(s), -1);  // past the last value: unchanged
  EXPECT_EQ(s, " 2.000e+00 -3.000e+00 ");

  ChunkVec<double, int> empty(3);
  empty.full = 0;
  std::string t = "keep";
  EXPECT_EQ(empty.FirstVal(t), -1);
  EXPECT_EQ(t, "keep");

  BareVec<double, int> bare(2);
  EXPECT_KVELO_CODE(bare.FirstVal(t), 2871);
  EXPECT_KVELO_CODE(bare.NextVal(t), 2871);
  EXPECT_EQ(t, "keep");
}

TEST(CVecCopyAssign, AbstractCopiesTakeTheDimensionOnly) {
  BareVec<double, int> a(3), b(7);
  a = b;
  EXPECT_EQ(a.Dim(), 7);
  BareVec<double, int> c(a);
  EXPECT_EQ(c.Dim(), 7);
}
