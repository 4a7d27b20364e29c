// plat_time.cpp: monotonic elapsed time and process CPU time for the profiling blocks.
#include "platform/plat_time.h"

#include <sys/resource.h>
#include <time.h>

namespace kvplat {

double ElapsedMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) * 1e-6;
}

double ProcessCpuMs() {
  struct rusage ru;
  if (getrusage(RUSAGE_SELF, &ru) != 0) return 0.0;
  const double user = static_cast<double>(ru.ru_utime.tv_sec) * 1e3 + static_cast<double>(ru.ru_utime.tv_usec) * 1e-3;
  const double sys = static_cast<double>(ru.ru_stime.tv_sec) * 1e3 + static_cast<double>(ru.ru_stime.tv_usec) * 1e-3;
  return user + sys;
}

long long TimeNow() { return static_cast<long long>(time(nullptr)); }

}  // namespace kvplat
