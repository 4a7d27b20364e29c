/* runtime_headers_c.h: what the C host of the runtime's headers (runtime_headers_c.c) saw,
 * for the C++ test that checks it. Shared by both languages. */
#ifndef KVELO_TEST_RUNTIME_HEADERS_C_H
#define KVELO_TEST_RUNTIME_HEADERS_C_H

#ifdef __cplusplus
extern "C" {
#endif

struct RuntimeCResults {
  int tickCount;
  double origin, cpuOrigin, elapsed, spin;
  float cpuUsed;
  int strdupEqual, endianCorrect, usefulLine, commentLine;
  int hashCreated, hashFound, listLength, listSecond;
  int memoryMode, munmapNull, munmapStatus, ismappedNull;
  int statusWord, traceOn;
};

/* Calls every C family of the runtime from C and records the results in r. */
void runtime_c_host(struct RuntimeCResults* r);

#ifdef __cplusplus
}
#endif

#endif
