// failing_new.h: an allocator that fails on request, to drive an operation through every
// allocation it makes and check what a failure there leaves behind. Including this header
// replaces the global operator new and delete of the whole test program (the library's too):
// include it in exactly one source file of a program. Unarmed, it is malloc and free.
#ifndef KVELO_TEST_FAILING_NEW_H
#define KVELO_TEST_FAILING_NEW_H

#include <atomic>
#include <cstdlib>
#include <new>

namespace kvtest {

// Allocations left up to the one that fails (1: the next); 0 once it failed; -1 unarmed.
inline std::atomic<long>& NewCountdown() {
  static std::atomic<long> left{-1};
  return left;
}

// While it lives, allocation number n from now (1 = the next one) fails, once.
class FailingNew {
 public:
  explicit FailingNew(long n) { NewCountdown().store(n); }
  ~FailingNew() { NewCountdown().store(-1); }
  FailingNew(const FailingNew&) = delete;
  FailingNew& operator=(const FailingNew&) = delete;
  // Whether the failure was handed out already.
  static bool Spent() { return NewCountdown().load() == 0; }
};

// Whether this allocation is the one to fail.
inline bool NewMustFail() {
  long left = NewCountdown().load();
  while (left > 0) {
    if (NewCountdown().compare_exchange_weak(left, left - 1)) return left == 1;
  }
  return false;
}

inline void* NewBlock(std::size_t n) { return NewMustFail() ? nullptr : std::malloc(n != 0 ? n : 1); }

// Runs op(n) for n = 1, 2, ... with allocation n failing, until op completes with no failure
// handed out; check() runs after each failed attempt. Returns the number of failed attempts.
template <class Op, class Check>
int ForEachAllocation(Op op, Check check, int cap = 100000) {
  for (int n = 1; n <= cap; ++n) {
    bool spent = false;
    {
      FailingNew fail(n);
      try {
        op();
      } catch (...) {
      }
      spent = FailingNew::Spent();
    }
    if (!spent) return n - 1;
    check();
  }
  return cap;
}

}  // namespace kvtest

// The blocks come from malloc and go back to free, whichever form allocated them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t n) {
  void* p = kvtest::NewBlock(n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t n) {
  void* p = kvtest::NewBlock(n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return kvtest::NewBlock(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return kvtest::NewBlock(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#endif
