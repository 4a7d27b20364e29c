/* test_C_Vec_heap.cpp: the vectors when the library's heap refuses a block (a ceiling on block
 * size, set through the library's internals, so it works in every build): code 1001 reaches
 * the caller as C_KveloException, and the target keeps its dimension, capacity, buffer and
 * values, whether the refused block was its new buffer, a copy of values set aside because
 * they share its memory, or the values arriving from a file or a peer. */
#include "C_Communicator.h"
#include "C_VecPi.h"
#include "binfile.h"
#include "pipe_feed.h"
#include "vec_files.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

using VD = C_VecPi<double, int, C_PtrInCore<double, int>>;

namespace {

constexpr int kN = 1000;             // 8000 bytes of doubles
constexpr size_t kCeiling = 4096;    // blocks above this are refused

VD Ramp(int n) {
  VD v(n);
  for (int i = 0; i < n; ++i) v[i] = i + 1.0;
  return v;
}

// A peer sending kN doubles.
class Peer : public C_Communicator {
 public:
  void recv(int, int, int* p, int n) override {
    if (n == 1) *p = kN;
  }
  void recv(int, int, double* p, int n) override {
    for (int i = 0; i < n; ++i) p[i] = 7.0;
  }
};

}  // namespace

TEST(VecHeap, RefusedBlocksLeaveTheTargetAsItWas) {
  VD big = Ramp(kN);
  kvtest::Bytes file;
  kvtest::PutInt(file, kN);
  for (int i = 0; i < kN; ++i) kvtest::PutDouble(file, 1.0);
  // Each operation returns the code it met (the reader's is taken from the stream helper).
  struct Case {
    const char* what;
    std::function<int(VD&)> op;
  };
  const Case cases[] = {
      {"Resize", [](VD& v) { return kvtest::ThrownCode([&] { v.Resize(kN); }); }},
      {"operator=", [&](VD& v) { return kvtest::ThrownCode([&] { v = big; }); }},
      {"Copy", [&](VD& v) { return kvtest::ThrownCode([&] { v.Copy(big); }); }},
      {"Assign", [&](VD& v) { return kvtest::ThrownCode([&] { v.Assign(big); }); }},
      {"Read", [&](VD& v) { return ReadFromBytes(v, file); }},
      {"Recv",
       [](VD& v) {
         Peer peer;
         C_Communicator::setInstance(&peer);
         const int code = kvtest::ThrownCode([&] { v.Recv(0, 0); });
         C_Communicator::setInstance(nullptr);
         return code;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VD v = Ramp(3);
    const double* buf = v.Adr(0);
    int code = 0;
    {
      kvtest::HeapCeiling ceiling(kCeiling);
      code = c.op(v);
    }
    EXPECT_EQ(code, 1001);
    EXPECT_EQ(v.Dim(), 3);
    EXPECT_EQ(v.capacity, 3);
    EXPECT_EQ(v.Adr(0), buf);
    EXPECT_EQ(v[0], 1.0);
    EXPECT_EQ(v[2], 3.0);
  }
}

TEST(VecHeap, ValuesSetAsideCannotBeHad) {
  // Copying a view of a vector into that vector needs the view's values set aside (the copy
  // may give back the memory they are in): when that block is refused, 1001 comes before
  // anything changed.
  struct Case {
    const char* what;
    std::function<void(VD&, VD&)> op;
  };
  const Case cases[] = {
      {"Copy", [](VD& v, VD& tail) { v.Copy(tail); }},
      {"Assign", [](VD& v, VD& tail) { v.Assign(tail); }},
      // y := y + x with x one element behind y in the same buffer: x is read from a copy.
      {"Axpy", [](VD& v, VD& tail) {
         VD head(kN - 1, v.Adr(0));
         head.Axpy(tail, 1.0);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VD v = Ramp(kN);
    const double* buf = v.Adr(0);
    std::unique_ptr<C_Vec<double, int>> link(v.Lnk(1));
    VD& tail = static_cast<VD&>(*link);
    {
      kvtest::HeapCeiling ceiling(kCeiling);
      EXPECT_EQ(kvtest::ThrownCode([&] { c.op(v, tail); }), 1001);
    }
    EXPECT_EQ(v.Dim(), kN);
    EXPECT_EQ(v.Adr(0), buf);
    bool same = true;
    for (int i = 0; i < kN && same; ++i) same = v[i] == i + 1.0;
    EXPECT_TRUE(same);
  }
}
