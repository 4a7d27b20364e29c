// lm_status.h: the status protocol of the C matrix library, written once.
// Every operation builds one LmOp on entry (clears the status word and the caller's
// status), raises its errors through LM_FAIL and ends through done(); inner calls get st().
#ifndef KVELO_CMATRIX_LM_STATUS_H
#define KVELO_CMATRIX_LM_STATUS_H

#include <cstddef>
#include <cstdint>

#include "erreur.h"
#include "kvelosys.h"
#include "meminfo.h"

namespace kvlm {

// Context number handed to the heap by internal calls; nothing ever sets it.
extern int lm_context;

class LmOp {
 public:
  // How an operation treats the status on success: most clear the status word and the
  // caller's status on entry and copy the word out on success; a few (the complex matrix
  // creation and vector resize) touch neither unless they raise, so an earlier -1 stays.
  enum Mode { kClear, kKeep };

  // file: source base name reported with errors; routine: name used in messages.
  LmOp(const char* file, const char* routine, int callerLine, const char* callerName,
       int* status, Mode mode = kClear)
      : file_(file), routine_(routine), callerLine_(callerLine),
        callerName_(callerName ? callerName : ""), st_(status ? status : &local_),
        keep_(mode == kKeep) {
    if (keep_) return;
    _LM_err_status = 0;
    *st_ = 0;
  }
  LmOp(const LmOp&) = delete;
  LmOp& operator=(const LmOp&) = delete;

  // The status pointer handed on to inner library calls (never null).
  int* st() const { return st_; }
  // True once an inner call (or a raise) left a failure in the status argument (a kept
  // status may also show the caller's earlier failure: kKeep operations do not ask).
  bool failed() const { return *st_ != 0; }
  int callerLine() const { return callerLine_; }
  const char* callerName() const { return callerName_; }

  // Reports code through the error handler and copies the status word out.
  void raise(int code, int line) {
    _LM_error(file_, code, line, routine_, 0, callerLine_, callerName_);
    *st_ = _LM_err_status;
  }
  // Success: copies the status word (0) out (unless the status is kept) and passes the
  // result through.
  template <class T>
  T done(T result) {
    if (!keep_) *st_ = _LM_err_status;
    return result;
  }

 private:
  const char* file_;
  const char* routine_;
  int callerLine_;
  const char* callerName_;
  int local_ = 0;
  int* st_;
  bool keep_;
};

// Reports `code` from this line and returns `ret` from the operation.
#define LM_FAIL(op, code, ret) \
  do {                         \
    (op).raise((code), __LINE__); \
    return (ret);              \
  } while (0)

// Ends the operation with `ret` when an inner call failed (the status stays -1).
#define LM_CHECK(op, ret) \
  do {                    \
    if ((op).failed()) return (ret); \
  } while (0)

// One accounting list: type names, free functions and counts, one entry per type number.
struct MemConnect {
  char** type_name;
  MEM_FREE_FN* free_fn;
  unsigned type_count;
  MEM_COUNTS* counts;
};
// The five accounting lists; list 0 holds the standard record types from load on.
extern MemConnect mem_connect[MEM_CONNECT_MAX_LISTS];

// Memory accounting of list 0, only while the switch is on; sizes in 64 bits are handed to
// mem_bytes_list in int-sized pieces so that large blocks are neither cut nor wrapped.
void AccountBytes(int type, int64_t oldBytes, int64_t newBytes);
void AccountRecords(int type, int num);

// An address as the dumps print it after their own "0x", with "%llx": the digits alone (the
// platform's %p brings a "0x" of its own here).
inline unsigned long long AddressBits(const void* p) {
  return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p));
}

// Heap with the library's bookkeeping tags.
inline void* Calloc(size_t count, size_t size, const char* tag) {
  return kvelomem_calloc(count, size, tag, lm_context, __FILE__, __LINE__);
}
inline void* Realloc(void* block, size_t size, const char* tag) {
  return kvelomem_realloc(block, size, tag, lm_context, __FILE__, __LINE__);
}
inline void Free(void* block) { kvelomem_free(block, __FILE__, __LINE__); }

}  // namespace kvlm

#endif
