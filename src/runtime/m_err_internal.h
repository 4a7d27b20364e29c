// m_err_internal.h: read access to the C matrix library's kept error records, for the
// library's own tests (not exported; link kvelo_internal to use it).
#ifndef KVELO_M_ERR_INTERNAL_H
#define KVELO_M_ERR_INTERNAL_H

namespace kvlm_err {

// One kept error: message text, function, file (the library's name of the source) and line,
// as _LM_error_push received them.
struct LM_ErrorRecord {
  char message[255];
  char function[100];
  char file[257];
  int line;
};

enum { LM_MAX_RECORDS = 100 };

}  // namespace kvlm_err

// Code of the last _LM_error since load or LM_ResetErrors (0 when none).
int LM_LastErrorCode();
// Number of kept records (at most 100).
int LM_ErrorCount();
// Kept record i, 0 = oldest kept; null when i is out of range.
const kvlm_err::LM_ErrorRecord* LM_ErrorRecordAt(int i);
// Forgets every kept record and the last code (status word untouched).
void LM_ResetErrors();

#endif
