/* fuzz_cont_comm.cpp: a vector received (C_Vec_Recv through C_Vec<T,I>::Recv) from a peer
 * that sends arbitrary bytes. The harness's communicator takes each message from a pipe that
 * was filled, and its writing end closed, before the receive; a message cut short ends the
 * transfer with the transport's own exception. A refused or broken transfer must leave the
 * vector as it was; a complete one must hold the values that came.
 * Input: byte 0 (bit 7: borrowing vector; bits 0-1: element type), the rest the peer's bytes. */
#include <unistd.h>

#include <complex>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "C_Communicator.h"
#include "C_KveloException.h"
#include "C_Vec.h"
#include "C_VecPi.h"
#include "fuzz_support.h"

namespace {

// The transport's failure: the peer's bytes ended inside a message.
struct TransportEnded {};

// Receives raw values, in the host's layout, from a descriptor; sends nothing.
class PipeCommunicator : public C_Communicator {
 public:
  explicit PipeCommunicator(int fd) : fd_(fd) {}
  void recv(int, int, std::complex<double>* p, int count) override { Take(p, count); }
  void recv(int, int, std::complex<float>* p, int count) override { Take(p, count); }
  void recv(int, int, double* p, int count) override { Take(p, count); }
  void recv(int, int, float* p, int count) override { Take(p, count); }
  void recv(int, int, long long* p, int count) override { Take(p, count); }
  void recv(int, int, int* p, int count) override { Take(p, count); }
  size_t Received() const { return received_; }

 private:
  template <typename T>
  void Take(T* p, int count) {
    if (count < 0) std::abort();  // the library never asks for a negative count
    if (count > 0 && p == nullptr) std::abort();
    const size_t bytes = static_cast<size_t>(count) * sizeof(T);
    size_t done = 0;
    while (done < bytes) {
      const ssize_t r = read(fd_, reinterpret_cast<char*>(p) + done, bytes - done);
      if (r <= 0) throw TransportEnded();
      done += static_cast<size_t>(r);
    }
    received_ += bytes;
  }
  int fd_;
  size_t received_ = 0;
};

template <typename T>
T Fill(int i) {
  return static_cast<T>(i + 1);
}

template <typename T>
using Vec = C_VecPi<T, int, C_PtrInCore<T, int> >;

template <typename T>
void Receive(int fd, bool borrow, const uint8_t* bytes, size_t size) {
  std::vector<T> own(4);
  for (int i = 0; i < 4; ++i) own[static_cast<size_t>(i)] = Fill<T>(i);
  Vec<T>* v = borrow ? new Vec<T>(4, own.data()) : new Vec<T>(4);
  if (!borrow)
    for (int i = 0; i < 4; ++i) v->SetVal(i, Fill<T>(i));
  PipeCommunicator comm(fd);
  C_Communicator::setInstance(&comm);
  bool done = false;
  try {
    v->Recv(3, 4);
    done = true;
  } catch (const C_KveloException&) {
  } catch (const TransportEnded&) {
  }
  C_Communicator::setInstance(nullptr);
  if (!done) {
    if (v->Dim() != 4) std::abort();
    for (int i = 0; i < 4; ++i) {
      const T want = Fill<T>(i);
      const T got = v->GetVal(i);
      if (std::memcmp(&want, &got, sizeof(T)) != 0) std::abort();
    }
    delete v;
    return;
  }
  int n;
  if (size < sizeof n) std::abort();
  std::memcpy(&n, bytes, sizeof n);
  if (v->Dim() != n || comm.Received() != sizeof n + static_cast<size_t>(n) * sizeof(T)) std::abort();
  if (n > 0 && std::memcmp(v->Adr(0), bytes + sizeof n, static_cast<size_t>(n) * sizeof(T)) != 0) std::abort();
  delete v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvfuzz::SilenceMessages();
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  const size_t n = size - 1;
  // The peer's messages arrive through a pipe fed by a thread; the receiver reads its
  // descriptor, never the stream's buffer.
  kvtest::PipeFeed feed(kvtest::Bytes(data + 1, data + size));
  if (feed.get() == nullptr) std::abort();
  const int rfd = fileno(feed.get());
  const bool borrow = (mode & 0x80) != 0;
  switch (mode & 0x03) {
    case 0: Receive<double>(rfd, borrow, data + 1, n); break;
    case 1: Receive<int>(rfd, borrow, data + 1, n); break;
    default: Receive<std::complex<double> >(rfd, borrow, data + 1, n); break;
  }
  return 0;
}
