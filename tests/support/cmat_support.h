// cmat_support.h: helpers for the C matrix library tests: watching the error codes that
// reach the error handler, and capturing what a call writes to a FILE*.
#ifndef KVELO_TESTS_CMAT_SUPPORT_H
#define KVELO_TESTS_CMAT_SUPPORT_H

#include <cstdio>
#include <string>

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

// Runs fn(FILE*) on a temporary file and returns what it wrote.
template <class Fn>
std::string CaptureFile(Fn fn) {
  std::FILE* f = std::tmpfile();
  if (f == nullptr) return "<tmpfile failed>";
  fn(f);
  std::fflush(f);
  std::string out;
  std::rewind(f);
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

}  // namespace cmat_test

#endif
