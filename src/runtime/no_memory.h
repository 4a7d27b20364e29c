// no_memory.h: the two faces of a want of memory inside the library. The standard library
// says it with std::bad_alloc; the host is promised C_KveloException 1001 and nothing else.
// Public operations turn the first into the second here, and the runtime's roads of last
// resort, which must recognise a want of memory whichever operation ran out, ask here too.
#ifndef KVELO_RUNTIME_NO_MEMORY_H
#define KVELO_RUNTIME_NO_MEMORY_H

#include "C_KveloException.h"

#include <new>
#include <utility>

namespace kvrt {

// f(), with a std::bad_alloc from it leaving as C_KveloException 1001. f must leave things as
// they were when it throws: the conversion adds no guarantee of its own.
template <class F>
decltype(auto) Or1001(F&& f) {
  try {
    return std::forward<F>(f)();
  } catch (const std::bad_alloc&) {
    KVELO_THROW(1001);
  }
}

// Whether e says that memory ran out.
inline bool IsNoMemory(const C_KveloException& e) noexcept { return e.getExceptionCode() == 1001; }

// For a catch (...) block that handles a want of memory: returns when the exception in flight
// is one (std::bad_alloc, or C_KveloException 1001), rethrows anything else unchanged.
inline void RethrowUnlessNoMemory() {
  try {
    throw;
  } catch (const std::bad_alloc&) {
  } catch (const C_KveloException& e) {
    if (!IsNoMemory(e)) throw;
  }
}

// For a catch (...) block that must not throw: whether the exception in flight is a want of
// memory in either form.
inline bool NoMemoryInFlight() noexcept {
  try {
    RethrowUnlessNoMemory();
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace kvrt

#endif
