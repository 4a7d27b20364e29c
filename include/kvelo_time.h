/* kvelo_time.h: the C interface of the library's profiling: the elapsed and CPU clocks of the
 * profiling blocks, the global time manager that every traced scope feeds while profiling is on
 * (USE_TIMEMANAGER at load, or initTimeManager), and its dump files. Plain C, for C and C++
 * hosts alike; the C++ classes are in C_TimeManager.h.
 * The global manager's block operations and dump are serialised by one lock, taken only while
 * a global manager exists: scopes of several threads may feed it at once. */
#ifndef KVELO_KVELO_TIME_H
#define KVELO_KVELO_TIME_H

#include "kvelo_export.h"

KVELO_C_BEGIN

/* Stores the elapsed clock (milliseconds of a monotonic clock since the library loaded) in
 * *origin and 0.0 in *cpuOrigin (each when not null); returns the reading as int (saturated). */
KVELO_API int InitElapseTime(double* origin, double* cpuOrigin);
/* Seconds elapsed since an origin read by InitElapseTime. */
KVELO_API double ReturnElapseTime(double origin);
/* Process CPU time (user + system, seconds), minus start when start > 0.00001. */
KVELO_API float cputim_c(float start);

/* Begins / ends the named block in the global time manager (a null name is the empty one);
 * nothing when there is none. */
KVELO_API void cTimeManagerBeginBlock(const char* name);
KVELO_API void cTimeManagerEndBlock(const char* name);

/* n = 0: nothing; otherwise the global manager is freed, and for n > 0 a new one is made
 * (call graph when n > 1). */
KVELO_API void initTimeManager(int n);
/* Frees the global time manager, if any. */
KVELO_API void freeTimeManager(void);
/* Does nothing. */
KVELO_API void dispTimeManager(void);
/* Writes the global manager's text file and binary file in the current directory:
 * "TimeManager.csv" and "TimeManager.cpu" for n = 1, else "TimeManager-<n>.csv" and
 * "TimeManager-<n>.cpu"; nothing without a global manager. Each file is replaced whole or not
 * at all: a failed write leaves an earlier file of that name as it was (failures are only
 * traced). */
KVELO_API void dumpTimeManager(int n);

KVELO_C_END

#endif
