/* corr_kernels.cpp: the exponential and the column of real correlations in which every fit and
 * every prediction spend their time outside LAPACK, and the drop of small correlations that
 * regularises the correlation matrix. */
#include "corr_kernels.h"

#include <cmath>
#include <cstdint>
#include <cstring>

/* Plain loops that the compiler vectorises; the column kernel is built for the baseline
 * x86-64, AVX2 and AVX-512, and the loader picks the one the processor runs. All builds do the
 * same operations in the same order (this file is compiled without contraction into fused
 * multiply-adds), so they give the same numbers; it is also compiled without trapping math,
 * so that the clamps of the exponential become branch-free selects. */

namespace kriging_internal {

namespace {

inline double FromBits(std::uint64_t b) {
  double d;
  std::memcpy(&d, &b, sizeof d);
  return d;
}

inline std::uint64_t ToBits(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

/* exp(x) = 2^n e^r with n = round(x / ln 2) and r = x - n ln 2 (ln 2 in two parts, so that
 * n ln2hi is exact), |r| <= ln(2)/2; e^r by its Taylor polynomial of degree 13 (remainder below
 * 2^-60); 2^n applied in two halves (overflow to +infinity above about 709.8). Results below
 * the smallest normal double (x < -708) are 0: subnormal arithmetic costs a hundred times a
 * normal operation on x86, and such a correlation weighs nothing next to the others. */
inline double ExpKernel(double x) {
  const double log2e = 1.4426950408889634074;
  const double ln2hi = 6.93147180369123816490e-01;
  const double ln2lo = 1.90821492927058770002e-10;
  const double shifter = 6755399441055744.0; /* 1.5 * 2^52: adding it rounds to an integer */
  const bool tiny = x < -708.0;
  x = tiny ? -708.0 : x;
  x = x > 710.0 ? 710.0 : x;
  const double n = (x * log2e + shifter) - shifter;
  const double r = (x - n * ln2hi) - n * ln2lo;
  double p = 1.0 / 6227020800.0;
  p = p * r + 1.0 / 479001600.0;
  p = p * r + 1.0 / 39916800.0;
  p = p * r + 1.0 / 3628800.0;
  p = p * r + 1.0 / 362880.0;
  p = p * r + 1.0 / 40320.0;
  p = p * r + 1.0 / 5040.0;
  p = p * r + 1.0 / 720.0;
  p = p * r + 1.0 / 120.0;
  p = p * r + 1.0 / 24.0;
  p = p * r + 1.0 / 6.0;
  p = p * r + 0.5;
  p = p * r + 1.0;
  p = p * r + 1.0;
  const double n1 = (n * 0.5 + shifter) - shifter;
  const double n2 = n - n1;
  const double s1 = FromBits((ToBits(n1 + shifter) - ToBits(shifter) + 1023) << 52);
  const double s2 = FromBits((ToBits(n2 + shifter) - ToBits(shifter) + 1023) << 52);
  const double v = p * s1 * s2;
  return tiny ? 0.0 : v;
}

}  // namespace

double KernelExp(double x) { return ExpKernel(x); }

// The clones' resolver runs while the library is being relocated, before ThreadSanitizer's
// runtime has started, and an instrumented resolver crashes there: such builds take the
// plain code.
#if defined(__SANITIZE_THREAD__)
#define KVELO_CORR_CLONES
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KVELO_CORR_CLONES
#endif
#endif
#ifndef KVELO_CORR_CLONES
#define KVELO_CORR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#endif

KVELO_CORR_CLONES
void RealCorrColumn(bool gaussian, const double* P, std::ptrdiff_t ldp, int N, const double* s,
                    int n, const double* theta, bool shared, double* r) {
  for (int i = 0; i < N; ++i) r[i] = 0.0;
  for (int k = 0; k < n; ++k) {
    const double th = theta[shared ? 0 : k];
    const double sk = s[k];
    const double* pk = P + k * ldp;
    if (gaussian) {
      for (int i = 0; i < N; ++i) {
        const double d = pk[i] - sk;
        r[i] += th * (d * d);
      }
    } else {
      for (int i = 0; i < N; ++i) r[i] += th * std::fabs(pk[i] - sk);
    }
  }
  for (int i = 0; i < N; ++i) r[i] = ExpKernel(-r[i]);
}

void DropBelow(double* a, std::ptrdiff_t n, double tol) {
  for (std::ptrdiff_t i = 0; i < n; ++i) a[i] = std::fabs(a[i]) < tol ? 0.0 : a[i];
}

}  // namespace kriging_internal
