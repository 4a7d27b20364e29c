// failing_new.cpp: a replacement of every global operator new and delete that can be told to
// fail, for the tests of what the library does when memory runs out. Allocations go to
// malloc/aligned_alloc and back to free, so the sanitizers still see every block.
#include "failing_new.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> g_allowed{-1};  // successes left before failing; -1: never fail
std::atomic<bool> g_once{false};   // only the first refusal, then every allocation succeeds
std::atomic<bool> g_refused{false};
std::atomic<unsigned long> g_largest{0};

// Whether this allocation is to be refused.
bool Refuse() {
  long left = g_allowed.load(std::memory_order_relaxed);
  while (left >= 0) {
    if (left == 0) {
      // In the once mode only the thread that takes the 0 away refuses.
      if (g_once.load(std::memory_order_relaxed) &&
          !g_allowed.compare_exchange_weak(left, -1, std::memory_order_relaxed))
        continue;
      g_refused.store(true, std::memory_order_relaxed);
      return true;
    }
    if (g_allowed.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) return false;
  }
  return false;
}

void Note(std::size_t size) {
  unsigned long seen = g_largest.load(std::memory_order_relaxed);
  while (size > seen && !g_largest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
  }
}

void* Take(std::size_t size) {
  Note(size);
  if (Refuse()) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

void* TakeAligned(std::size_t size, std::align_val_t al) {
  Note(size);
  if (Refuse()) return nullptr;
  const std::size_t a = static_cast<std::size_t>(al);
  std::size_t n = size == 0 ? a : (size + a - 1) / a * a;
  return std::aligned_alloc(a, n);
}

}  // namespace

namespace kvtest {

void FailNewAfter(long allowed, bool once) {
  g_refused.store(false);
  g_once.store(once);
  g_allowed.store(allowed < 0 ? 0 : allowed);
}

void Heal() { g_allowed.store(-1); }

bool NewWasRefused() { return g_refused.load(); }

unsigned long LargestNewSince() { return g_largest.exchange(0); }

}  // namespace kvtest

void* operator new(std::size_t size) {
  void* p = Take(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size) {
  void* p = Take(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Take(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Take(size); }
void* operator new(std::size_t size, std::align_val_t al) {
  void* p = TakeAligned(size, al);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size, std::align_val_t al) {
  void* p = TakeAligned(size, al);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new(std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
  return TakeAligned(size, al);
}
void* operator new[](std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
  return TakeAligned(size, al);
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
