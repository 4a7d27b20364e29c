// c_report.h: how the runtime's C modules (lists, hash table) report a coded failure.
// A C caller must never see an exception, and a missing database text must not hide the
// report, so the lookup failure falls back to the database's own failure text.
#ifndef KVELO_RUNTIME_C_REPORT_H
#define KVELO_RUNTIME_C_REPORT_H

namespace kvrt {

// Sends the database text of `code` (with one optional string argument) as an error message
// located at fn, file and line; never throws.
void ReportCode(const char* file, const char* fn, int line, int code, const char* arg = nullptr);

}  // namespace kvrt
#endif
