// Writer and reader pairs of the containers: what a vector or a matrix writes (its binary
// form, or its values sent through the host's communicator), its own reader gives back bit
// for bit: values at the edges of their type (NaN payloads, signed zeros, subnormals, the
// ends of int), empty and one-element objects, views and strided blocks, a vector beyond one
// read block, several objects of different kinds in one stream, and a reader whose target
// borrows a caller's array.
#include "C_Communicator.h"
#include "C_MatMGe.h"
#include "C_MatMSym.h"
#include "C_VecPi.h"
#include "edge_values.h"
#include "scratch_file.h"
#include "thrown_code.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using zc = std::complex<double>;
using VD = C_VecPi<double, int, C_PtrInCore<double, int>>;
using VI = C_VecPi<int, int, C_PtrInCore<int, int>>;
using VZ = C_VecPi<zc, int, C_PtrInCore<zc, int>>;
using kvtest::ThrownCode;

using kvtest::EdgeDoubles;
using kvtest::Scratch;

namespace {

std::vector<int> EdgeInts() { return {0, 1, -1, INT_MIN, INT_MAX, 0x01020304}; }
std::vector<zc> EdgeComplex() {
  const std::vector<double> d = EdgeDoubles();
  std::vector<zc> z;
  for (size_t k = 0; k < d.size(); ++k) z.emplace_back(d[k], d[d.size() - 1 - k]);
  return z;
}

template <class T>
bool SameBits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

template <class V, class T>
void Fill(V& v, const std::vector<T>& values) {
  v.Resize(static_cast<int>(values.size()));
  for (size_t k = 0; k < values.size(); ++k) v.SetVal(static_cast<int>(k), values[k]);
}

// Whether v holds exactly these values, bit for bit.
template <class T>
testing::AssertionResult Holds(C_Vec<T, int>& v, const std::vector<T>& want) {
  if (v.Dim() != static_cast<int>(want.size()))
    return testing::AssertionFailure() << "dimension " << v.Dim() << ", want " << want.size();
  for (size_t k = 0; k < want.size(); ++k) {
    const T got = v.GetVal(static_cast<int>(k));
    if (!SameBits(got, want[k])) return testing::AssertionFailure() << "element " << k << " differs";
  }
  return testing::AssertionSuccess();
}


}  // namespace

/* ------------------------------------------------------------ vectors -- */

TEST(VecPiPairs, VectorsOfEveryKindAndShapeReadBackFromOneStream) {
  const std::vector<double> d = EdgeDoubles();
  const std::vector<int> i = EdgeInts();
  const std::vector<zc> z = EdgeComplex();
  std::vector<double> big(300001);  // beyond one 1 MiB read block
  for (size_t k = 0; k < big.size(); ++k) big[k] = kvtest::FromBits(0x0123456789ABCDEFull ^ (k * 0x9E3779B97F4A7C15ull));
  VD vd, vempty, vone, vbig;
  VI vi;
  VZ vz;
  Fill(vd, d);
  Fill(vone, std::vector<double>{-0.0});
  Fill(vbig, big);
  Fill(vi, i);
  Fill(vz, z);
  // A view of vd's tail, and a vector over a caller's array.
  std::unique_ptr<C_Vec<double, int>> tail(vd.Lnk(5));
  std::vector<double> callerArray(d.begin() + 2, d.end());
  VD borrowed(static_cast<int>(callerArray.size()), callerArray.data());

  Scratch s;
  ASSERT_NE(s.f, nullptr);
  EXPECT_EQ(ThrownCode([&] {
              vd.Write(s.f);
              vempty.Write(s.f);
              vi.Write(s.f);
              vone.Write(s.f);
              vz.Write(s.f);
              tail->Write(s.f);
              borrowed.Write(s.f);
              vbig.Write(s.f);
            }),
            0);
  s.Rewind();

  VD rd(3), rempty(4), rone, rtail, rborrowed, rbig;
  VI ri(100);
  VZ rz;
  // The tail's values land in a caller's array of their length.
  std::vector<double> landing(d.size() - 5, 7.0);
  VD rview(static_cast<int>(landing.size()), landing.data());
  EXPECT_EQ(ThrownCode([&] {
              EXPECT_EQ(rd.Read(s.f), 0);
              EXPECT_EQ(rempty.Read(s.f), 0);
              EXPECT_EQ(ri.Read(s.f), 0);
              EXPECT_EQ(rone.Read(s.f), 0);
              EXPECT_EQ(rz.Read(s.f), 0);
              EXPECT_EQ(rview.Read(s.f), 0);
              EXPECT_EQ(rborrowed.Read(s.f), 0);
              EXPECT_EQ(rbig.Read(s.f), 0);
            }),
            0);
  EXPECT_TRUE(Holds<double>(rd, d));
  EXPECT_TRUE(Holds<double>(rempty, {}));
  EXPECT_TRUE(Holds<int>(ri, i));
  EXPECT_TRUE(Holds<double>(rone, {-0.0}));
  EXPECT_TRUE(Holds<zc>(rz, z));
  const std::vector<double> tailValues(d.begin() + 5, d.end());
  EXPECT_TRUE(Holds<double>(rview, tailValues));
  EXPECT_EQ(std::memcmp(landing.data(), tailValues.data(), landing.size() * sizeof(double)), 0);
  EXPECT_TRUE(Holds<double>(rborrowed, callerArray));
  EXPECT_TRUE(Holds<double>(rbig, big));
  EXPECT_TRUE(s.AtEnd());
}

/* ------------------------------------------------------------ matrices -- */

namespace {

template <class T>
T Edge(int k);
template <>
double Edge<double>(int k) {
  const std::vector<double> d = EdgeDoubles();
  return d[static_cast<size_t>(k) % d.size()];
}
template <>
zc Edge<zc>(int k) {
  const std::vector<zc> z = EdgeComplex();
  return z[static_cast<size_t>(k) % z.size()];
}

template <class M>
testing::AssertionResult SameMatrix(M& got, M& want) {
  if (got.rows != want.rows || got.cols != want.cols)
    return testing::AssertionFailure() << got.rows << " x " << got.cols << ", want " << want.rows << " x "
                                       << want.cols;
  for (int i = 0; i < want.rows; ++i)
    for (int j = 0; j < want.cols; ++j) {
      const auto a = got.GetVal(i, j), b = want.GetVal(i, j);
      if (!SameBits(a, b)) return testing::AssertionFailure() << "element " << i << "," << j << " differs";
    }
  return testing::AssertionSuccess();
}

template <class T>
void MatricesRoundTrip() {
  // General: edge values everywhere, a strided block of it, its Lnk view, one element, empty
  // shapes and a large one.
  C_MatMGe<T> g(6, 7), one(1, 1), wide(0, 4), none(0, 0), large(700, 300);
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 7; ++j) g.SetVal(i, j, Edge<T>(7 * i + j));
  one.SetVal(0, 0, Edge<T>(1));
  for (int i = 0; i < 700; ++i)
    for (int j = 0; j < 300; ++j) large.SetVal(i, j, Edge<T>(i + 13 * j));
  C_MatMGe<T> block(3, 4, g.Adr() + 2 + 6, 6);  // rows 2..4, columns 1..4 of g
  std::unique_ptr<C_Mat<T>> link(g.Lnk());
  // Symmetric: both stored triangles, orders 1 and 5.
  C_MatMSym<T> lower(5, 1), upper(5, 0), sone(1, 1);
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j <= i; ++j) {
      lower.SetVal(i, j, Edge<T>(3 * i + j));
      upper.SetVal(i, j, Edge<T>(3 * i + j + 1));
    }
  sone.SetVal(0, 0, Edge<T>(9));

  Scratch s;
  ASSERT_NE(s.f, nullptr);
  C_MatMGe<T>& lk = static_cast<C_MatMGe<T>&>(*link);
  EXPECT_EQ(ThrownCode([&] {
              g.Write(s.f);
              lower.Write(s.f);
              block.Write(s.f);
              one.Write(s.f);
              upper.Write(s.f);
              wide.Write(s.f);
              lk.Write(s.f);
              sone.Write(s.f);
              none.Write(s.f);
              large.Write(s.f);
            }),
            0);
  s.Rewind();
  C_MatMGe<T> rg(2, 2), rblock, rone(3, 3), rwide(1, 1), rlk, rnone(2, 2), rlarge;
  C_MatMSym<T> rlower(2, 0), rupper(3, 1), rsone;
  EXPECT_EQ(ThrownCode([&] {
              EXPECT_EQ(rg.Read(s.f), 0);
              EXPECT_EQ(rlower.Read(s.f), 0);
              EXPECT_EQ(rblock.Read(s.f), 0);
              EXPECT_EQ(rone.Read(s.f), 0);
              EXPECT_EQ(rupper.Read(s.f), 0);
              EXPECT_EQ(rwide.Read(s.f), 0);
              EXPECT_EQ(rlk.Read(s.f), 0);
              EXPECT_EQ(rsone.Read(s.f), 0);
              EXPECT_EQ(rnone.Read(s.f), 0);
              EXPECT_EQ(rlarge.Read(s.f), 0);
            }),
            0);
  EXPECT_TRUE(SameMatrix(rg, g));
  EXPECT_TRUE(SameMatrix(rlower, lower));
  EXPECT_NE(rlower.side, 0);
  EXPECT_TRUE(SameMatrix(rblock, block));
  EXPECT_TRUE(SameMatrix(rone, one));
  EXPECT_TRUE(SameMatrix(rupper, upper));
  EXPECT_EQ(rupper.side, 0);
  EXPECT_TRUE(SameMatrix(rwide, wide));
  EXPECT_TRUE(SameMatrix(rlk, lk));
  EXPECT_TRUE(SameMatrix(rsone, sone));
  EXPECT_TRUE(SameMatrix(rnone, none));
  EXPECT_TRUE(SameMatrix(rlarge, large));
  EXPECT_TRUE(s.AtEnd());
}

}  // namespace

TEST(MatPairs, MatricesOfEveryShapeAndViewReadBackBitForBit) {
  {
    SCOPED_TRACE("double");
    MatricesRoundTrip<double>();
  }
  {
    SCOPED_TRACE("complex");
    MatricesRoundTrip<zc>();
  }
}

/* ------------------------------------------------------------ communicator -- */

namespace {

// A communicator whose receives take the messages its sends queued, in order, checking that
// each receive asks for what the matching send gave (type, count and tags).
class Loopback : public C_Communicator {
 public:
  Loopback() {
    m_cpuNum = 0;
    m_size = 1;
  }
  void send(int a, int b, zc* p, int n) override { Put(a, b, p, n); }
  void send(int a, int b, std::complex<float>* p, int n) override { Put(a, b, p, n); }
  void send(int a, int b, double* p, int n) override { Put(a, b, p, n); }
  void send(int a, int b, float* p, int n) override { Put(a, b, p, n); }
  void send(int a, int b, long long* p, int n) override { Put(a, b, p, n); }
  void send(int a, int b, int* p, int n) override { Put(a, b, p, n); }
  void recv(int a, int b, zc* p, int n) override { Take(a, b, p, n); }
  void recv(int a, int b, std::complex<float>* p, int n) override { Take(a, b, p, n); }
  void recv(int a, int b, double* p, int n) override { Take(a, b, p, n); }
  void recv(int a, int b, float* p, int n) override { Take(a, b, p, n); }
  void recv(int a, int b, long long* p, int n) override { Take(a, b, p, n); }
  void recv(int a, int b, int* p, int n) override { Take(a, b, p, n); }
  bool Drained() const { return queue.empty(); }

 private:
  struct Message {
    size_t width;
    int a, b, n;
    std::vector<unsigned char> bytes;
  };
  std::deque<Message> queue;
  template <class T>
  void Put(int a, int b, T* p, int n) {
    Message m{sizeof(T), a, b, n, std::vector<unsigned char>(static_cast<size_t>(n > 0 ? n : 0) * sizeof(T))};
    if (n > 0) std::memcpy(m.bytes.data(), p, m.bytes.size());
    queue.push_back(std::move(m));
  }
  template <class T>
  void Take(int a, int b, T* p, int n) {
    ASSERT_FALSE(queue.empty()) << "a receive with nothing sent";
    Message m = std::move(queue.front());
    queue.pop_front();
    ASSERT_EQ(m.width, sizeof(T));
    ASSERT_EQ(m.n, n);
    ASSERT_EQ(m.a, a);
    ASSERT_EQ(m.b, b);
    if (n > 0) std::memcpy(p, m.bytes.data(), m.bytes.size());
  }
};

struct Installed {
  explicit Installed(C_Communicator* c) { C_Communicator::setInstance(c); }
  ~Installed() { C_Communicator::setInstance(nullptr); }
};

}  // namespace

TEST(CommunicatorPairs, WhatASendGivesTheMatchingReceiveTakes) {
  Loopback comm;
  Installed on(&comm);
  const std::vector<double> d = EdgeDoubles();
  const std::vector<int> i = EdgeInts();
  const std::vector<zc> z = EdgeComplex();
  std::vector<double> big(200000);  // more than one message of values
  for (size_t k = 0; k < big.size(); ++k) big[k] = kvtest::FromBits(0x7FF0000000000001ull + k);  // NaNs only
  VD vd, vempty, vone, vbig;
  VI vi;
  VZ vz;
  Fill(vd, d);
  Fill(vone, std::vector<double>{kvtest::FromBits(0x8000000000000001ull)});
  Fill(vbig, big);
  Fill(vi, i);
  Fill(vz, z);
  std::unique_ptr<C_Vec<double, int>> tail(vd.Lnk(3));

  VD rd(2), rempty(5), rone, rbig, rtail;
  VI ri;
  VZ rz(1);
  std::vector<double> landing(d.size(), 1.0);
  VD rborrowed(static_cast<int>(landing.size()), landing.data());
  EXPECT_EQ(ThrownCode([&] {
              vd.Send(1, 2);
              rd.Recv(1, 2);
              vempty.Send(1, 3);
              rempty.Recv(1, 3);
              vone.Send(2, 2);
              rone.Recv(2, 2);
              vi.Send(4, 4);
              ri.Recv(4, 4);
              vz.Send(5, 5);
              rz.Recv(5, 5);
              tail->Send(6, 6);
              rtail.Recv(6, 6);
              vd.Send(7, 7);
              rborrowed.Recv(7, 7);
              vbig.Send(8, 8);
              rbig.Recv(8, 8);
            }),
            0);
  EXPECT_TRUE(Holds<double>(rd, d));
  EXPECT_TRUE(Holds<double>(rempty, {}));
  EXPECT_TRUE(Holds<double>(rone, {kvtest::FromBits(0x8000000000000001ull)}));
  EXPECT_TRUE(Holds<int>(ri, i));
  EXPECT_TRUE(Holds<zc>(rz, z));
  EXPECT_TRUE(Holds<double>(rtail, std::vector<double>(d.begin() + 3, d.end())));
  EXPECT_TRUE(Holds<double>(rborrowed, d));
  EXPECT_EQ(std::memcmp(landing.data(), d.data(), d.size() * sizeof(double)), 0);
  EXPECT_TRUE(Holds<double>(rbig, big));
  EXPECT_TRUE(comm.Drained());
}
