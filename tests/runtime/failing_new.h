// failing_new.h: switches for the replaced global operator new of failing_new.cpp, which a
// test links to run library code short of memory: from a chosen point on, every operator new
// throws std::bad_alloc (the nothrow forms give null), or only the one allocation at that
// point does; on request every block of the library's C heap is refused too. Tests that set
// the C heap's ceiling (NoMemory, NoCHeap) link the static library, which has it.
#ifndef KVELO_TEST_FAILING_NEW_H
#define KVELO_TEST_FAILING_NEW_H

#include <new>

#include "C_KveloException.h"
#include "runtime/heap_limit.h"

namespace kvtest {

// After `allowed` more successful allocations, every operator new fails until Heal() (once:
// only that one fails, the later ones succeed); allowed 0 makes the very next one fail.
void FailNewAfter(long allowed, bool once = false);
// Lifts the failure: operator new works again.
void Heal();
// Whether an operator new was refused since the last FailNewAfter.
bool NewWasRefused();
// The largest size asked of operator new since the last call of this function (0 for none).
unsigned long LargestNewSince();

// Exhausts the C++ heap for its lifetime (and the library's C heap when cHeapToo), after
// `allowed` successful allocations.
class NoMemory {
 public:
  explicit NoMemory(long allowed = 0, bool cHeapToo = true) : m_cHeap(cHeapToo) {
    if (m_cHeap) kvrt::SetHeapBlockLimit(1);
    FailNewAfter(allowed);
  }
  ~NoMemory() {
    Heal();
    if (m_cHeap) kvrt::SetHeapBlockLimit(0);
  }
  NoMemory(const NoMemory&) = delete;
  NoMemory& operator=(const NoMemory&) = delete;

 private:
  bool m_cHeap;
};

// Refuses every block of the library's C heap (kvelomem_*) for its lifetime; operator new
// keeps working.
class NoCHeap {
 public:
  NoCHeap() { kvrt::SetHeapBlockLimit(1); }
  ~NoCHeap() { kvrt::SetHeapBlockLimit(0); }
  NoCHeap(const NoCHeap&) = delete;
  NoCHeap& operator=(const NoCHeap&) = delete;
};

// Runs op with the k-th operator new failing (k = 0, 1, 2, ...: the first k succeed) until op
// runs without a refusal, calling check(k, threw) after each run (threw: op let std::bad_alloc
// out). setup runs before each try with memory available. Gives the number of runs.
template <class Setup, class Op, class Check>
int SweepAllocations(Setup setup, Op op, Check check, int maxRuns = 2000) {
  for (int k = 0; k < maxRuns; ++k) {
    setup();
    bool threw = false;
    FailNewAfter(k);
    try {
      op();
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    const bool refused = NewWasRefused();
    Heal();
    check(k, threw);
    if (!refused) return k + 1;
  }
  return maxRuns;
}

// What an operation run short of memory let out: nothing, the library's want of memory
// (C_KveloException 1001), or a std::bad_alloc, which the host is promised never to see.
enum class Refusal { None, Code1001, BadAlloc };

// SweepAllocations for operations of the library: check(k, refusal) is told which of the two
// forms of a want of memory op let out (any other exception passes to the test).
template <class Setup, class Op, class Check>
int SweepRefusals(Setup setup, Op op, Check check, int maxRuns = 2000) {
  for (int k = 0; k < maxRuns; ++k) {
    setup();
    Refusal got = Refusal::None;
    FailNewAfter(k);
    try {
      op();
    } catch (const std::bad_alloc&) {
      got = Refusal::BadAlloc;
    } catch (const C_KveloException& e) {
      if (e.getExceptionCode() != 1001) {
        Heal();
        throw;
      }
      got = Refusal::Code1001;
    }
    const bool refused = NewWasRefused();
    Heal();
    check(k, got);
    if (!refused) return k + 1;
  }
  return maxRuns;
}

// Runs op with operator new number n failing once (n = 1, 2, ...; the others succeed) until op
// runs without a refusal, calling check() after each run that met one (whatever op threw is
// caught). Gives the number of runs that met a refusal.
template <class Op, class Check>
int ForEachAllocation(Op op, Check check, int maxRuns = 100000) {
  for (int n = 1; n <= maxRuns; ++n) {
    FailNewAfter(n - 1, true);
    try {
      op();
    } catch (...) {
    }
    const bool refused = NewWasRefused();
    Heal();
    if (!refused) return n - 1;
    check();
  }
  return maxRuns;
}

}  // namespace kvtest

#endif
