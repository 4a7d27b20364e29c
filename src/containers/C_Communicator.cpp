// C_Communicator.cpp: the process-wide communicator slot, the do-nothing default bodies a
// host overrides, and the vector transfers: a length message, then the values, both through
// the installed communicator's send / recv overloads for the index and element types.
#include "C_Communicator.h"

#include "C_KveloException.h"
#include "kvelosys.h"

#include <atomic>
#include <complex>
#include <cstring>

namespace {

// Not owned: the host installs it and keeps it alive. Atomic, so that a host may install or
// replace its communicator while other threads transfer vectors (each transfer uses the
// instance it found when it began).
std::atomic<C_Communicator*> g_instance{nullptr};

// One message carries at most this many values (the count travels as an int).
constexpr long long kMaxCount = 2147483647LL;

}  // namespace

C_Communicator* C_Communicator::Instance() { return g_instance.load(std::memory_order_acquire); }

void C_Communicator::setInstance(C_Communicator* c) { g_instance.store(c, std::memory_order_release); }

namespace {

// Values received ahead of the vector: a block of the library's heap that grows run by run
// (doubling, so the copies stay linear) and is given back whatever happens. Code 1001 when the
// heap refuses it.
template <class T>
class Arrivals {
 public:
  Arrivals() = default;
  Arrivals(const Arrivals&) = delete;
  Arrivals& operator=(const Arrivals&) = delete;
  ~Arrivals() { kvelomem_free(m_data, __FILE__, __LINE__); }
  // Room for `count` values in all, of at most `cap` expected; the earlier values stay.
  void Reserve(long long count, long long cap) {
    if (count <= m_room) return;
    long long room = m_room > cap / 2 ? cap : 2 * m_room;
    if (room < count) room = count;
    T* grown = static_cast<T*>(kvelomem_realloc(m_data, static_cast<size_t>(room) * sizeof(T), "C_Vec_Recv", 0, __FILE__, __LINE__));
    if (!grown) KVELO_THROW(1001);
    m_data = grown;
    m_room = room;
  }
  T* at(long long i) { return m_data ? m_data + i : nullptr; }

 private:
  T* m_data = nullptr;
  long long m_room = 0;
};

}  // namespace

void C_Communicator::Bcast(int*, int, int) {}
void C_Communicator::Bcast(double*, int, int) {}
void C_Communicator::Bcast(std::complex<double>*, int, int) {}
void C_Communicator::Bcast(long long*, int, int) {}
void C_Communicator::Bcast(bool*, int, int) {}
void C_Communicator::barrier(int) {}
void C_Communicator::check(int) {}
void C_Communicator::exchange(int, int, int*, int*, int*, int*, int*) {}
void C_Communicator::exchange(int, int, int*, int*, int**, int*, int**) {}
void C_Communicator::exchange(int, int, int*, int*, double**, int*, double**) {}
void C_Communicator::glbMax(int, int*) {}
void C_Communicator::glbMax(int, double*) {}
void C_Communicator::glbMax(int, long long*) {}
void C_Communicator::glbMin(int, int*) {}
void C_Communicator::glbMin(int, double*) {}
void C_Communicator::glbMin(int, long long*) {}
void C_Communicator::glbOr(int, int*) {}
void C_Communicator::glbOr(int, bool*) {}
void C_Communicator::glbSum(int, int*) {}
void C_Communicator::glbSum(int, double*) {}
void C_Communicator::glbSum(int, std::complex<double>*) {}
void C_Communicator::send(int, int, std::complex<double>*, int) {}
void C_Communicator::send(int, int, std::complex<float>*, int) {}
void C_Communicator::send(int, int, double*, int) {}
void C_Communicator::send(int, int, float*, int) {}
void C_Communicator::send(int, int, long long*, int) {}
void C_Communicator::send(int, int, int*, int) {}
void C_Communicator::recv(int, int, std::complex<double>*, int) {}
void C_Communicator::recv(int, int, std::complex<float>*, int) {}
void C_Communicator::recv(int, int, double*, int) {}
void C_Communicator::recv(int, int, float*, int) {}
void C_Communicator::recv(int, int, long long*, int) {}
void C_Communicator::recv(int, int, int*, int) {}
void C_Communicator::glbSum(int, long long*) {}

// Values travel in runs of at most 1 MiB, the readers' block (kvelo_vec::ReadBlockLength): a
// receiver then holds, beyond what has already arrived, room for one run only, whatever
// length the peer announced. A vector of up to 1 MiB goes as one message, so the transfer is
// the length message and one values message.
template <class T, class I>
void C_Vec_Send(C_Vec<T, I>* v, int a, int b) {
  C_Communicator* c = C_Communicator::Instance();
  // Without a transport nothing could be sent: a silent return would pass for a transfer.
  if (!c) KVELO_THROW(2871);
  I n = v->Dim();
  if (static_cast<long long>(n) > kMaxCount) KVELO_THROW(2880);
  // A negative length is no vector: every receiver refuses it, so it never goes out.
  if (n < 0) KVELO_THROW(2);
  // Checked before the length goes out, so that a receiver never waits for values that
  // cannot follow.
  T* values = v->Adr(0);
  if (n > 0 && !values) KVELO_THROW(38);
  c->send(a, b, &n, 1);
  const long long total = static_cast<long long>(n), run = kvelo_vec::ReadBlockLength<T>();
  long long done = 0;
  do {
    const long long len = total - done < run ? total - done : run;
    c->send(a, b, total > 0 ? values + done : values, static_cast<int>(len));
    done += len;
  } while (done < total);
}

template <class T, class I>
void C_Vec_Recv(C_Vec<T, I>* v, int a, int b) {
  C_Communicator* c = C_Communicator::Instance();
  if (!c) KVELO_THROW(2871);
  I n = 0;
  c->recv(a, b, &n, 1);
  if (static_cast<long long>(n) > kMaxCount) KVELO_THROW(2880);
  // Refused here rather than left to Resize: a host's Resize may take it without a word.
  if (n < 0) KVELO_THROW(2);
  // The values arrive run by run into a buffer that grows with them; the vector changes only
  // once all have arrived, so a transport that fails midway leaves it as it was.
  const long long total = static_cast<long long>(n), run = kvelo_vec::ReadBlockLength<T>();
  Arrivals<T> got;
  long long done = 0;
  do {
    const long long len = total - done < run ? total - done : run;
    got.Reserve(done + len, total);
    c->recv(a, b, len > 0 ? got.at(done) : nullptr, static_cast<int>(len));
    done += len;
  } while (done < total);
  v->Resize(n);
  // A vector that did not take the length (a host's Resize may refuse without throwing)
  // must not receive: the values would land past its storage.
  if (v->Dim() != n) KVELO_THROW(2870);
  T* values = v->Adr(0);
  if (n > 0 && !values) KVELO_THROW(38);
  if (n > 0) std::memcpy(static_cast<void*>(values), got.at(0), static_cast<size_t>(n) * sizeof(T));
}

#define KVELO_COMM_INSTANCES(T)                                              \
  template KVELO_API void C_Vec_Send<T, int>(C_Vec<T, int>*, int, int);             \
  template KVELO_API void C_Vec_Send<T, long long>(C_Vec<T, long long>*, int, int); \
  template KVELO_API void C_Vec_Recv<T, int>(C_Vec<T, int>*, int, int);             \
  template KVELO_API void C_Vec_Recv<T, long long>(C_Vec<T, long long>*, int, int);
KVELO_VEC_ELEMENT_TYPES(KVELO_COMM_INSTANCES)
#undef KVELO_COMM_INSTANCES
