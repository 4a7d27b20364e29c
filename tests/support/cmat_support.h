// cmat_support.h: helpers for the C matrix library tests: watching the error codes that
// reach the error handler, and (through cmat_capture.h) capturing what a call prints.
#ifndef KVELO_TESTS_CMAT_SUPPORT_H
#define KVELO_TESTS_CMAT_SUPPORT_H

#include <string>

#include "cmat_capture.h"
#include "runtime/m_err_internal.h"

namespace cmat_test {

// Forgets the kept errors on construction, then counts the errors raised since and names
// the last code and the routine that raised it.
class ErrWatch {
 public:
  ErrWatch() { LM_ResetErrors(); }
  int count() const { return LM_ErrorCount(); }
  int last() const { return count() > 0 ? LM_LastErrorCode() : 0; }
  std::string routine() const {
    const kvlm_err::LM_ErrorRecord* r = LM_ErrorRecordAt(count() - 1);
    return r != nullptr ? r->function : "";
  }
  std::string file() const {
    const kvlm_err::LM_ErrorRecord* r = LM_ErrorRecordAt(count() - 1);
    return r != nullptr ? r->file : "";
  }
};

}  // namespace cmat_test

#endif
