// thrown_code.h: the exception code a call throws, for tests that compare codes in one
// expression (0 when the call throws nothing).
#ifndef KVELO_TEST_THROWN_CODE_H
#define KVELO_TEST_THROWN_CODE_H

#include "C_KveloException.h"

namespace kvtest {

// The exception code thrown by f, 0 when it throws nothing.
template <class F>
int ThrownCode(F f) {
  try {
    f();
  } catch (const C_KveloException& e) {
    return e.getExceptionCode();
  }
  return 0;
}

}  // namespace kvtest

#endif
