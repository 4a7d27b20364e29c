// thrown_code.h: the exception code a call throws, for tests that compare codes in one
// expression (0 when the call throws nothing, -1 for a std::bad_alloc, which a host is
// promised never to see: a want of memory is 1001).
#ifndef KVELO_TEST_THROWN_CODE_H
#define KVELO_TEST_THROWN_CODE_H

#include <new>

#include "C_KveloException.h"

namespace kvtest {

// The exception code thrown by f, 0 when it throws nothing, -1 for std::bad_alloc.
template <class F>
int ThrownCode(F&& f) {
  try {
    f();
  } catch (const C_KveloException& e) {
    return e.getExceptionCode();
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 0;
}

}  // namespace kvtest

#endif
