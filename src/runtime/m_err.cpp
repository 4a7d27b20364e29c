// m_err.cpp: error handler of the C matrix library. Error n becomes message 3100 + n of the
// message database, reported at once through Erreur, kept among the last 100 records, and
// signalled to callers only through the status word _LM_err_status. The records are kept
// under a lock, so that errors of several threads never write outside them.
#include "erreur.h"

#include "kvelosys.h"
#include "runtime/m_err_internal.h"
#include "runtime/source_name.h"

#include <climits>
#include <cstring>
#include <mutex>
#include <new>

using kvlm_err::LM_ErrorRecord;

namespace {

LM_ErrorRecord g_records[kvlm_err::LM_MAX_RECORDS];
int g_count = 0;
int g_lastCode = 0;
const int g_report = 1;  // every kept record is reported at once

// Guards the records, the count and the last code. Built on first use and never destroyed.
std::mutex& RecordsLock() {
  alignas(std::mutex) static unsigned char storage[sizeof(std::mutex)];
  static std::mutex& lock = *new (storage) std::mutex();
  return lock;
}

// Copies src into dst of size bytes, cut to size - 1 characters; a null src leaves a blank.
void CopyCut(char* dst, std::size_t size, const char* src) {
  if (src == nullptr) src = " ";
  std::size_t n = std::strlen(src);
  if (n > size - 1) n = size - 1;
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

}  // namespace

KVELO_C_BEGIN

int _LM_err_status = 0;

int _LM_error(const char* file, int code, int line, const char* function, int list, int callerLine,
              const char* callerName) {
  (void)list;
  char message[255] = " ";
  char fn[100] = " ";
  char fl[255] = " ";
  try {
    // Error n is message 3100 + n; a code whose message number lies beyond int has no text.
    const long long id = 3100LL + code;
    char* text = id <= INT_MAX ? MSG_get(static_cast<int>(id), callerLine, callerName != nullptr ? callerName : "")
                               : nullptr;
    if (text != nullptr) {
      CopyCut(message, sizeof message, text);
      kvelomem_free(text, __FILE__, __LINE__);
    }
  } catch (...) {
    // No text for the code: the message stays a blank.
  }
  if (function != nullptr) CopyCut(fn, sizeof fn, function);
  if (file != nullptr) CopyCut(fl, sizeof fl, file);
  {
    std::lock_guard<std::mutex> hold(RecordsLock());
    g_lastCode = code;
  }
  _LM_error_push(message, fn, fl, line);
  // The status word stays one word for the whole process (the C matrix library is driven from
  // one thread); the store is made whole so that errors of two threads never tear it.
  __atomic_store_n(&_LM_err_status, -1, __ATOMIC_RELAXED);
  return 0;
}

void _LM_error_push(const char* message, const char* function, const char* file, int line) {
  // The record is made aside, kept under the lock, and reported from the copy: another
  // thread may overwrite the kept one meanwhile.
  LM_ErrorRecord r;
  CopyCut(r.message, sizeof r.message, message);
  CopyCut(r.function, sizeof r.function, function);
  // Kept and reported under the library's name of the source, not the build's path.
  kvrt::SourceName(file != nullptr ? file : " ", r.file, sizeof r.file);
  r.line = line;
  {
    std::lock_guard<std::mutex> hold(RecordsLock());
    ++g_count;
    if (g_count > kvlm_err::LM_MAX_RECORDS) {
      g_count = kvlm_err::LM_MAX_RECORDS;
      std::memmove(&g_records[0], &g_records[1], sizeof(LM_ErrorRecord) * (kvlm_err::LM_MAX_RECORDS - 1));
    }
    g_records[g_count - 1] = r;
  }
  if (g_report == 1) Erreur(r.function, line, r.file, "%s", r.message);
}

KVELO_C_END

int LM_LastErrorCode() {
  std::lock_guard<std::mutex> hold(RecordsLock());
  return g_lastCode;
}

int LM_ErrorCount() {
  std::lock_guard<std::mutex> hold(RecordsLock());
  return g_count;
}

const LM_ErrorRecord* LM_ErrorRecordAt(int i) {
  std::lock_guard<std::mutex> hold(RecordsLock());
  if (i < 0 || i >= g_count) return nullptr;
  return &g_records[i];
}

void LM_ResetErrors() {
  std::lock_guard<std::mutex> hold(RecordsLock());
  g_count = 0;
  g_lastCode = 0;
}
