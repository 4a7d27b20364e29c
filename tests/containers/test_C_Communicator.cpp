// test_C_Communicator.cpp: vector transfers through a host communicator. A loop-back
// communicator queues what is sent and hands it back on receive, recording every call, so
// the protocol (a length, then the values in runs of at most 1 MiB) can be checked call by
// call; a failing peer shows that a receiver's vector and memory follow what has arrived.
#include "C_Communicator.h"
#include "C_KveloException.h"
#include "C_VecPi.h"
#include "derived_vec.h"

#include <gtest/gtest.h>

#include <complex>
#include <cstring>
#include <deque>
#include <functional>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

enum Kind { kInt, kLongLong, kFloat, kDouble, kComplexFloat, kComplexDouble };

template <class T> Kind KindOf();
template <> Kind KindOf<int>() { return kInt; }
template <> Kind KindOf<long long>() { return kLongLong; }
template <> Kind KindOf<float>() { return kFloat; }
template <> Kind KindOf<double>() { return kDouble; }
template <> Kind KindOf<std::complex<float>>() { return kComplexFloat; }
template <> Kind KindOf<std::complex<double>>() { return kComplexDouble; }

struct Call {
  bool isSend;
  Kind kind;
  int a, b, count;
  const void* ptr;
  long long watchedDim;       // dimension of the watched vector at the time of the call
  std::vector<unsigned char> bytes;  // values sent, or values handed out on receive
};

struct Message {
  Kind kind;
  int a, b, count;
  std::vector<unsigned char> bytes;
};

// Overrides send and recv only: every other operation keeps its default body.
class LoopbackComm : public C_Communicator {
 public:
  std::vector<Call> calls;
  std::deque<Message> queue;
  std::function<long long()> watch;  // dimension probe, optional

  LoopbackComm(int cpu = 0, int procs = 1) {
    m_cpuNum = cpu;
    m_size = procs;
  }

  void send(int a, int b, std::complex<double>* p, int n) override { Send(a, b, p, n); }
  void send(int a, int b, std::complex<float>* p, int n) override { Send(a, b, p, n); }
  void send(int a, int b, double* p, int n) override { Send(a, b, p, n); }
  void send(int a, int b, float* p, int n) override { Send(a, b, p, n); }
  void send(int a, int b, long long* p, int n) override { Send(a, b, p, n); }
  void send(int a, int b, int* p, int n) override { Send(a, b, p, n); }
  void recv(int a, int b, std::complex<double>* p, int n) override { Recv(a, b, p, n); }
  void recv(int a, int b, std::complex<float>* p, int n) override { Recv(a, b, p, n); }
  void recv(int a, int b, double* p, int n) override { Recv(a, b, p, n); }
  void recv(int a, int b, float* p, int n) override { Recv(a, b, p, n); }
  void recv(int a, int b, long long* p, int n) override { Recv(a, b, p, n); }
  void recv(int a, int b, int* p, int n) override { Recv(a, b, p, n); }

  // Queues a message as if another process had sent it.
  template <class T>
  void Push(int a, int b, std::vector<T> values) {
    Message m{KindOf<T>(), a, b, static_cast<int>(values.size()), {}};
    m.bytes.resize(values.size() * sizeof(T));
    if (!values.empty()) std::memcpy(m.bytes.data(), values.data(), m.bytes.size());
    queue.push_back(std::move(m));
  }

 private:
  long long Dim() const { return watch ? watch() : -1; }

  template <class T>
  void Send(int a, int b, T* p, int n) {
    std::vector<unsigned char> bytes(static_cast<size_t>(n > 0 ? n : 0) * sizeof(T));
    if (n > 0) std::memcpy(bytes.data(), p, bytes.size());
    calls.push_back(Call{true, KindOf<T>(), a, b, n, p, Dim(), bytes});
    queue.push_back(Message{KindOf<T>(), a, b, n, bytes});
  }

  template <class T>
  void Recv(int a, int b, T* p, int n) {
    calls.push_back(Call{false, KindOf<T>(), a, b, n, p, Dim(), {}});
    if (queue.empty()) {
      ADD_FAILURE() << "recv with nothing queued";
      return;
    }
    Message m = std::move(queue.front());
    queue.pop_front();
    if (m.kind != KindOf<T>() || m.count != n || m.a != a || m.b != b) {
      ADD_FAILURE() << "recv does not match the queued message";
      return;
    }
    if (n > 0) std::memcpy(p, m.bytes.data(), m.bytes.size());
    calls.back().bytes = m.bytes;
  }
};

// Installs a communicator for one test and uninstalls it afterwards.
class Installed {
 public:
  explicit Installed(C_Communicator* c) { C_Communicator::setInstance(c); }
  ~Installed() { C_Communicator::setInstance(nullptr); }
};

// Contiguous host vector that counts its resizes and can refuse them without a word.
template <class T, class I>
class WatchVec : public ArrayVec<T, I> {
 public:
  int resizes = 0;
  bool refuse = false;
  explicit WatchVec(I n = 0) : ArrayVec<T, I>(n) {}
  int Resize(I n) override {
    ++resizes;
    if (refuse) return -1;
    return ArrayVec<T, I>::Resize(n);
  }
};

template <class F>
int CodeOf(F&& f) {
  try {
    f();
  } catch (C_KveloException& e) {
    EXPECT_EQ(e.getReasonCode(), 0);
    return e.getExceptionCode();
  }
  return -1;
}

template <class T> T Make(int i);
template <> int Make<int>(int i) { return 3 * i - 7; }
template <> long long Make<long long>(int i) { return (1LL << 40) + 5LL * i - 1; }
template <> float Make<float>(int i) { return 0.5f * static_cast<float>(i) - 1.25f; }
template <> double Make<double>(int i) { return 1.0 / (i + 3); }
template <> std::complex<float> Make<std::complex<float>>(int i) {
  return {static_cast<float>(i) + 0.5f, -0.25f * static_cast<float>(i)};
}
template <> std::complex<double> Make<std::complex<double>>(int i) { return {0.1 * i, 2.0 * i - 1.0}; }

template <class T>
std::vector<unsigned char> BytesOf(const std::vector<T>& v) {
  std::vector<unsigned char> out(v.size() * sizeof(T));
  if (!v.empty()) std::memcpy(out.data(), v.data(), out.size());
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Every one of the twelve instances: the calls on the sending side, and a round trip.
// ---------------------------------------------------------------------------------------
template <class P>
class CommTyped : public ::testing::Test {};
using Instances = ::testing::Types<std::pair<int, int>, std::pair<int, long long>, std::pair<float, int>,
                                   std::pair<float, long long>, std::pair<double, int>,
                                   std::pair<double, long long>, std::pair<long long, int>,
                                   std::pair<long long, long long>, std::pair<std::complex<float>, int>,
                                   std::pair<std::complex<float>, long long>,
                                   std::pair<std::complex<double>, int>,
                                   std::pair<std::complex<double>, long long>>;
TYPED_TEST_SUITE(CommTyped, Instances);

TYPED_TEST(CommTyped, SendsLengthThenValuesAndRoundTrips) {
  using T = typename TypeParam::first_type;
  using I = typename TypeParam::second_type;
  LoopbackComm comm;
  Installed on(&comm);

  for (int n : {0, 1, 5}) {
    SCOPED_TRACE(n);
    comm.calls.clear();
    ArrayVec<T, I> src(static_cast<I>(n));
    std::vector<T> values;
    for (int i = 0; i < n; ++i) values.push_back(Make<T>(i));
    src.v = values;

    C_Vec_Send<T, I>(&src, 11, -4);
    ASSERT_EQ(comm.calls.size(), 2u);
    const Call& len = comm.calls[0];
    EXPECT_TRUE(len.isSend);
    EXPECT_EQ(len.kind, KindOf<I>());
    EXPECT_EQ(len.count, 1);
    EXPECT_EQ(len.a, 11);
    EXPECT_EQ(len.b, -4);
    EXPECT_EQ(len.bytes, BytesOf(std::vector<I>{static_cast<I>(n)}));
    const Call& vals = comm.calls[1];
    EXPECT_TRUE(vals.isSend);
    EXPECT_EQ(vals.kind, KindOf<T>());
    EXPECT_EQ(vals.count, n);
    EXPECT_EQ(vals.a, 11);
    EXPECT_EQ(vals.b, -4);
    EXPECT_EQ(vals.bytes, BytesOf(values));

    // The receiving vector starts with another length and other values.
    WatchVec<T, I> dst(3);
    for (int i = 0; i < 3; ++i) dst.v[static_cast<size_t>(i)] = Make<T>(100 + i);
    C_Vec_Recv<T, I>(&dst, 11, -4);
    EXPECT_TRUE(comm.queue.empty());
    EXPECT_EQ(dst.Dim(), static_cast<I>(n));
    EXPECT_EQ(dst.v, values);
    EXPECT_EQ(dst.resizes, 1);
  }
}

TYPED_TEST(CommTyped, MemberFormsCallTheFunctions) {
  using T = typename TypeParam::first_type;
  using I = typename TypeParam::second_type;
  LoopbackComm comm;
  Installed on(&comm);
  ArrayVec<T, I> src{Make<T>(1), Make<T>(2)};
  C_Vec<T, I>& base = src;
  base.Send(2, 9);
  ASSERT_EQ(comm.calls.size(), 2u);
  EXPECT_EQ(comm.calls[1].ptr, src.v.data());

  ArrayVec<T, I> dst;
  C_Vec<T, I>& dbase = dst;
  dbase.Recv(2, 9);
  ASSERT_EQ(comm.calls.size(), 4u);
  EXPECT_FALSE(comm.calls[2].isSend);
  EXPECT_EQ(comm.calls[2].kind, KindOf<I>());
  EXPECT_EQ(comm.calls[3].kind, KindOf<T>());
  EXPECT_EQ(comm.calls[3].count, 2);
  EXPECT_EQ(dst.v, src.v);
}

// ---------------------------------------------------------------------------------------
// The edge cases of the protocol.
// ---------------------------------------------------------------------------------------
TEST(Communicator, SendDoubleIntCallSequence) {
  LoopbackComm comm;
  Installed on(&comm);
  C_VecPi<double, int, C_PtrInCore<double, int>> v(3);
  v.SetVal(0, 1.5);
  v.SetVal(1, -2.0);
  v.SetVal(2, 1e300);
  C_Vec_Send<double, int>(&v, 3, 17);
  ASSERT_EQ(comm.calls.size(), 2u);
  EXPECT_EQ(comm.calls[0].kind, kInt);
  EXPECT_EQ(comm.calls[0].count, 1);
  int len = 0;
  std::memcpy(&len, comm.calls[0].bytes.data(), sizeof len);
  EXPECT_EQ(len, 3);
  EXPECT_EQ(comm.calls[1].kind, kDouble);
  EXPECT_EQ(comm.calls[1].count, 3);
  EXPECT_EQ(comm.calls[1].ptr, v.Adr(0));
  EXPECT_EQ(comm.calls[1].bytes, BytesOf(std::vector<double>{1.5, -2.0, 1e300}));
  for (const Call& c : comm.calls) {
    EXPECT_EQ(c.a, 3);
    EXPECT_EQ(c.b, 17);
  }
}

TEST(Communicator, RecvChangesTheVectorOnlyOnceTheValuesHaveArrived) {
  LoopbackComm comm;
  Installed on(&comm);
  WatchVec<float, long long> v(1);
  comm.watch = [&v] { return static_cast<long long>(v.Dim()); };
  comm.Push<long long>(0, 1, {4});
  comm.Push<float>(0, 1, {1.f, 2.f, 3.f, 4.f});
  C_Vec_Recv<float, long long>(&v, 0, 1);
  ASSERT_EQ(comm.calls.size(), 2u);
  EXPECT_EQ(comm.calls[0].kind, kLongLong);
  EXPECT_EQ(comm.calls[0].watchedDim, 1);  // the length arrives before any change
  EXPECT_EQ(comm.calls[1].kind, kFloat);
  EXPECT_EQ(comm.calls[1].count, 4);
  EXPECT_EQ(comm.calls[1].watchedDim, 1);  // the values arrive before any change either
  EXPECT_EQ(v.resizes, 1);
  EXPECT_EQ(v.v, (std::vector<float>{1.f, 2.f, 3.f, 4.f}));
}

TEST(Communicator, RecvIntoTheLibraryVector) {
  LoopbackComm comm;
  Installed on(&comm);
  using V = C_VecPi<std::complex<double>, int, C_PtrInCore<std::complex<double>, int>>;
  V src(2);
  src.SetVal(0, {1.0, -1.0});
  src.SetVal(1, {0.0, 3.5});
  src.Send(5, 6);
  V dst;
  dst.Recv(5, 6);
  ASSERT_EQ(dst.Dim(), 2);
  EXPECT_EQ(dst.GetVal(0), std::complex<double>(1.0, -1.0));
  EXPECT_EQ(dst.GetVal(1), std::complex<double>(0.0, 3.5));

  // Shrinking to an empty vector: the values message carries nothing.
  comm.Push<int>(5, 6, {0});
  comm.Push<std::complex<double>>(5, 6, {});
  dst.Recv(5, 6);
  EXPECT_EQ(dst.Dim(), 0);
  EXPECT_EQ(comm.calls.back().count, 0);
}

TEST(Communicator, NegativeLengthIsRefusedBeforeAnythingGoesOut) {
  LoopbackComm comm;
  Installed on(&comm);
  BareVec<double, int> neg(-3);
  EXPECT_EQ(CodeOf([&] { C_Vec_Send<double, int>(&neg, 4, 5); }), 2);
  EXPECT_TRUE(comm.calls.empty());
}

TEST(Communicator, LengthAboveIntRangeIsRefused) {
  LoopbackComm comm;
  Installed on(&comm);
  // Only the dimension matters: no storage stands behind it.
  BareVec<float, long long> big(2147483648LL);
  EXPECT_EQ(CodeOf([&] { C_Vec_Send<float, long long>(&big, 0, 0); }), 2880);
  EXPECT_TRUE(comm.calls.empty());

  // 2^31 - 1 itself is a valid length; it is refused here only for lack of an address.
  BareVec<float, long long> edge(2147483647LL);
  EXPECT_EQ(CodeOf([&] { C_Vec_Send<float, long long>(&edge, 0, 0); }), 38);
  EXPECT_TRUE(comm.calls.empty());

  WatchVec<float, long long> v(2);
  v.v = {7.f, 8.f};
  comm.Push<long long>(0, 0, {2147483648LL});
  EXPECT_EQ(CodeOf([&] { C_Vec_Recv<float, long long>(&v, 0, 0); }), 2880);
  EXPECT_EQ(comm.calls.size(), 1u);  // the length only
  EXPECT_EQ(v.resizes, 0);
  EXPECT_EQ(v.Dim(), 2);
  EXPECT_EQ(v.v, (std::vector<float>{7.f, 8.f}));
}

TEST(Communicator, NegativeLengthIsRefusedBeforeResize) {
  LoopbackComm comm;
  Installed on(&comm);
  WatchVec<int, int> v(2);
  comm.Push<int>(0, 0, {-3});
  EXPECT_EQ(CodeOf([&] { C_Vec_Recv<int, int>(&v, 0, 0); }), 2);
  EXPECT_EQ(v.resizes, 0);
  EXPECT_EQ(v.Dim(), 2);
  EXPECT_EQ(comm.calls.size(), 1u);

  WatchVec<long long, long long> w;
  comm.Push<long long>(0, 0, {-1});
  EXPECT_EQ(CodeOf([&] { C_Vec_Recv<long long, long long>(&w, 0, 0); }), 2);
  EXPECT_EQ(w.resizes, 0);
}

TEST(Communicator, VectorThatCannotTakeTheLengthIsLeftAsItWas) {
  LoopbackComm comm;
  Installed on(&comm);
  // A host vector whose Resize refuses without throwing. The values were received (the
  // transport stays in step with the sender) but none lands in the vector.
  WatchVec<double, int> v(1);
  v.refuse = true;
  v.v[0] = 9.0;
  comm.Push<int>(0, 0, {3});
  comm.Push<double>(0, 0, {1.0, 2.0, 3.0});
  EXPECT_EQ(CodeOf([&] { C_Vec_Recv<double, int>(&v, 0, 0); }), 2870);
  EXPECT_EQ(comm.calls.size(), 2u);
  EXPECT_TRUE(comm.queue.empty());
  EXPECT_EQ(v.v, (std::vector<double>{9.0}));

  // The library's vector over a borrowed buffer cannot grow: its own error passes through.
  comm.queue.clear();
  comm.calls.clear();
  double buf[2] = {4.0, 5.0};
  C_VecPi<double, int, C_PtrInCore<double, int>> view;
  view.Attach(2, buf);
  comm.Push<int>(0, 0, {3});
  comm.Push<double>(0, 0, {1.0, 2.0, 3.0});
  EXPECT_EQ(CodeOf([&] { view.Recv(0, 0); }), 2870);
  EXPECT_EQ(comm.calls.size(), 2u);
  EXPECT_EQ(view.Dim(), 2);
  EXPECT_EQ(buf[0], 4.0);
  EXPECT_EQ(buf[1], 5.0);
}

TEST(Communicator, StorageWithoutAddress) {
  LoopbackComm comm;
  Installed on(&comm);
  // Nothing goes out for a sender without an address, so no receiver waits for values.
  BareVec<double, int> bare(3);
  EXPECT_EQ(CodeOf([&] { C_Vec_Send<double, int>(&bare, 0, 0); }), 38);
  EXPECT_TRUE(comm.calls.empty());

  // An empty vector without storage sends its length and an empty values message.
  BareVec<double, int> empty(0);
  C_Vec_Send<double, int>(&empty, 0, 0);
  ASSERT_EQ(comm.calls.size(), 2u);
  EXPECT_EQ(comm.calls[1].count, 0);

  // A receiver without an address: length and values are received, and then refused.
  comm.queue.clear();
  comm.calls.clear();
  BareVec<double, int> sink(0);
  comm.Push<int>(0, 0, {2});
  comm.Push<double>(0, 0, {1.0, 2.0});
  EXPECT_EQ(CodeOf([&] { C_Vec_Recv<double, int>(&sink, 0, 0); }), 38);
  EXPECT_EQ(comm.calls.size(), 2u);
  EXPECT_TRUE(comm.queue.empty());
}

// ---------------------------------------------------------------------------------------
// Long vectors travel in runs of 1 MiB, and a receiver's memory follows what has arrived.
// ---------------------------------------------------------------------------------------
TEST(CommunicatorRuns, LongVectorsGoInRunsOfOneMebibyteAndRoundTrip) {
  LoopbackComm comm;
  Installed on(&comm);
  // Per element type (values per 1 MiB run): a length of two full runs and 3 values.
  const long long dRun = (1 << 20) / 8, zRun = (1 << 20) / 16;
  auto roundTrip = [&](auto zero, long long run) {
    using T = decltype(zero);
    const int n = static_cast<int>(2 * run + 3);
    ArrayVec<T, int> src(n);
    for (int i = 0; i < n; ++i) src.v[static_cast<size_t>(i)] = Make<T>(i % 1000);
    comm.calls.clear();
    C_Vec_Send<T, int>(&src, 1, 2);
    ASSERT_EQ(comm.calls.size(), 4u);  // the length, then runs of run, run and 3 values
    EXPECT_EQ(comm.calls[1].count, run);
    EXPECT_EQ(comm.calls[2].count, run);
    EXPECT_EQ(comm.calls[3].count, 3);
    EXPECT_EQ(comm.calls[2].ptr, src.v.data() + run);
    C_VecPi<T, int, C_PtrInCore<T, int>> dst(1);
    comm.calls.clear();
    C_Vec_Recv<T, int>(&dst, 1, 2);
    ASSERT_EQ(comm.calls.size(), 4u);
    EXPECT_EQ(comm.calls[3].count, 3);
    ASSERT_EQ(dst.Dim(), n);
    EXPECT_EQ(0, std::memcmp(dst.Adr(0), src.v.data(), static_cast<size_t>(n) * sizeof(T)));
  };
  roundTrip(0.0, dRun);
  roundTrip(std::complex<double>(), zRun);
  roundTrip(0, (1 << 20) / 4);
}

namespace {
// A peer that announces a length, delivers its first runs of values and then fails.
class FailingPeer : public C_Communicator {
 public:
  long long announced = 0;
  int runsBeforeFailure = 0;
  std::vector<int> counts;  // count of every recv of values
  void recv(int, int, int* p, int n) override {
    if (counts.empty() && n == 1) {
      *p = static_cast<int>(announced);
      counts.push_back(-1);
      return;
    }
    Values(p, n);
  }
  void recv(int, int, long long* p, int n) override {
    if (counts.empty() && n == 1) {
      *p = announced;
      counts.push_back(-1);
      return;
    }
    Values(p, n);
  }
  void recv(int, int, float* p, int n) override { Values(p, n); }
  void recv(int, int, double* p, int n) override { Values(p, n); }

 private:
  template <class T>
  void Values(T* p, int n) {
    counts.push_back(n);
    if (static_cast<int>(counts.size()) - 1 > runsBeforeFailure) throw std::runtime_error("peer gone");
    for (int i = 0; i < n; ++i) p[i] = static_cast<T>(i);
  }
};
}  // namespace

TEST(CommunicatorRuns, PeerThatAnnouncesMoreThanItSendsLeavesTheVectorAsItWas) {
  // The largest length a peer may announce, then one run of values and a failure: the
  // receiver asked for one run at a time and its vector never changed.
  for (int runs : {0, 1}) {
    SCOPED_TRACE(runs);
    FailingPeer peer;
    peer.announced = 2147483647LL;
    peer.runsBeforeFailure = runs;
    Installed on(&peer);
    WatchVec<float, long long> v(2);
    v.v = {7.f, 8.f};
    EXPECT_THROW((C_Vec_Recv<float, long long>(&v, 0, 0)), std::runtime_error);
    EXPECT_EQ(v.resizes, 0);
    EXPECT_EQ(v.v, (std::vector<float>{7.f, 8.f}));
    ASSERT_EQ(peer.counts.size(), static_cast<size_t>(runs + 2));
    for (size_t k = 1; k < peer.counts.size(); ++k) EXPECT_EQ(peer.counts[k], (1 << 20) / 4);

    C_VecPi<double, int, C_PtrInCore<double, int>> d(3, 1.5);
    double* before = d.Adr(0);
    FailingPeer peer2;
    peer2.announced = 2147483647LL;
    peer2.runsBeforeFailure = runs;
    C_Communicator::setInstance(&peer2);
    EXPECT_THROW((C_Vec_Recv<double, int>(&d, 0, 0)), std::runtime_error);
    EXPECT_EQ(d.Dim(), 3);
    EXPECT_EQ(d.Adr(0), before);
    EXPECT_EQ(d[2], 1.5);
    for (size_t k = 1; k < peer2.counts.size(); ++k) EXPECT_EQ(peer2.counts[k], (1 << 20) / 8);
  }
}

TEST(Communicator, InstanceSlot) {
  EXPECT_EQ(C_Communicator::Instance(), nullptr);
  LoopbackComm first(2, 4), second(3, 4);
  C_Communicator::setInstance(&first);
  EXPECT_EQ(C_Communicator::Instance(), &first);
  C_Communicator::setInstance(&second);  // replaces; the first is left alone
  EXPECT_EQ(C_Communicator::Instance(), &second);
  EXPECT_EQ(C_Communicator::Instance()->cpuNum(), 3);
  EXPECT_EQ(C_Communicator::Instance()->size(), 4);
  EXPECT_EQ(first.cpuNum(), 2);
  C_Communicator::setInstance(nullptr);
  EXPECT_EQ(C_Communicator::Instance(), nullptr);
}

TEST(Communicator, WithoutCommunicatorNothingHappens) {
  ASSERT_EQ(C_Communicator::Instance(), nullptr);
  ArrayVec<double, int> v{1.0, 2.0};
  EXPECT_EQ(CodeOf([&] { C_Vec_Send<double, int>(&v, 0, 0); }), 2871);
  EXPECT_EQ(CodeOf([&] { v.Recv(0, 0); }), 2871);
  EXPECT_EQ(v.Dim(), 2);
  EXPECT_EQ(v.v, (std::vector<double>{1.0, 2.0}));
}

// A host's communicator that overrides nothing: every body is the library's default.
class PlainComm : public C_Communicator {};

// A host owns its communicator through its own class: deleting one through a C_Communicator
// pointer (a std::unique_ptr<C_Communicator>, say) must not compile, since the destructor is
// not virtual.
static_assert(!std::is_destructible<C_Communicator>::value, "C_Communicator's destructor is reachable");
static_assert(std::is_destructible<PlainComm>::value, "a host's communicator cannot be destroyed");

TEST(Communicator, DefaultBodiesDoNothing) {
  PlainComm plain;
  int i[2] = {1, 2};
  double d[2] = {1.5, 2.5};
  long long ll[2] = {3, 4};
  bool bl[2] = {true, false};
  std::complex<double> z[2] = {{1, 2}, {3, 4}};
  std::complex<float> zf[2] = {{1, 2}, {3, 4}};
  float f[2] = {0.5f, 0.25f};
  int* ip = i;
  double* dp = d;
  plain.Bcast(i, 2, 0);
  plain.Bcast(d, 2, 0);
  plain.Bcast(z, 2, 0);
  plain.Bcast(ll, 2, 0);
  plain.Bcast(bl, 2, 0);
  plain.barrier(0);
  plain.check(0);
  plain.exchange(0, 1, i, i, i, i, i);
  plain.exchange(0, 1, i, i, &ip, i, &ip);
  plain.exchange(0, 1, i, i, &dp, i, &dp);
  plain.glbMax(2, i);
  plain.glbMax(2, d);
  plain.glbMax(2, ll);
  plain.glbMin(2, i);
  plain.glbMin(2, d);
  plain.glbMin(2, ll);
  plain.glbOr(2, i);
  plain.glbOr(2, bl);
  plain.glbSum(2, i);
  plain.glbSum(2, d);
  plain.glbSum(2, z);
  plain.glbSum(2, ll);
  plain.send(0, 0, z, 2);
  plain.send(0, 0, zf, 2);
  plain.send(0, 0, d, 2);
  plain.send(0, 0, f, 2);
  plain.send(0, 0, ll, 2);
  plain.send(0, 0, i, 2);
  plain.recv(0, 0, z, 2);
  plain.recv(0, 0, zf, 2);
  plain.recv(0, 0, d, 2);
  plain.recv(0, 0, f, 2);
  plain.recv(0, 0, ll, 2);
  plain.recv(0, 0, i, 2);
  EXPECT_EQ(i[0], 1);
  EXPECT_EQ(i[1], 2);
  EXPECT_EQ(d[1], 2.5);
  EXPECT_EQ(ll[1], 4);
  EXPECT_TRUE(bl[0]);
  EXPECT_EQ(z[1], std::complex<double>(3, 4));
  EXPECT_EQ(zf[0], std::complex<float>(1, 2));
  EXPECT_EQ(f[1], 0.25f);
  EXPECT_EQ(ip, i);
  EXPECT_EQ(dp, d);

  // With the do-nothing communicator installed, a receive reads a length of 0.
  Installed on(&plain);
  ArrayVec<int, int> v{9, 9, 9};
  C_Vec_Recv<int, int>(&v, 0, 0);
  EXPECT_EQ(v.Dim(), 0);
  C_Vec_Send<int, int>(&v, 0, 0);
}
