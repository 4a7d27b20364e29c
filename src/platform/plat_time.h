// plat_time.h: the clocks behind profiling blocks and the random seed.
// Elapsed time comes from a monotonic clock, CPU time from getrusage (never clock()).
#ifndef KVELO_PLAT_TIME_H
#define KVELO_PLAT_TIME_H

namespace kvplat {

double ElapsedMs();      // milliseconds on a monotonic clock since an arbitrary origin
double ProcessCpuMs();   // user + system CPU time of the process, milliseconds
long long TimeNow();     // seconds since 1970 (the clock seed of the random generator)

}  // namespace kvplat
#endif
