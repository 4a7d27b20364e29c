// cmat_norm.h: the cases of the Euclidean and Frobenius norm tests of the C matrix library:
// lists of real terms whose sums of squares overflow or underflow in double ((3s, 4s) at
// s = 1e200, 1e-200, 1e-320, mixed scales, infinite and NaN terms) or do not, each with its
// norm worked out by numpy in extended precision, how far apart two doubles lie in units in
// the last place, and the run of every case through one vector form.
#ifndef KVELO_TESTS_CMAT_NORM_H
#define KVELO_TESTS_CMAT_NORM_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <limits>
#include <sstream>
#include <vector>

namespace cmat_test {

struct NormCase {
  const char* what;
  std::vector<double> terms;
  double want;  // sqrt(sum of squares) in numpy's longdouble, rounded to double
};

// A vector holds the terms as its entries; a complex vector takes them in pairs as (re, im)
// (an odd last term with im 0); a matrix takes them row by row. The norm is the same.
inline std::vector<NormCase> NormCases() {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  return {
      {"(3, 4)", {3, 4}, 5.0},
      {"(3, 4) * 1e200: squares overflow", {3e200, 4e200}, 4.9999999999999995e+200},
      {"(3, 4) * 1e-200: squares underflow to 0", {3e-200, 4e-200}, 5e-200},
      {"(3, 4) * 1e-320: subnormal terms", {3e-320, 4e-320}, 5e-320},
      {"squares in the subnormal range", {1e-160, 1e-160, 1e-160}, 1.732050807568877e-160},
      {"squares below the smallest subnormal", {1e-170, 1e-170, 1e-170, 1e-170, 1e-170, 1e-170, 1e-170},
       2.6457513110645904e-170},
      {"mixed scales, large", {1e200, 1.0, 1e-200, -3e199}, 1.044030650891055e+200},
      {"mixed scales, small", {1e-300, 2e-310, -4e-320}, 1e-300},
      {"mixed scales, both ends", {1e-300, 1e300}, 1e300},
      {"squares overflow, the norm does not", {1e308, -1e308}, 1.4142135623730951e+308},
      {"sum overflows from finite squares", {1e154, 1e154, 1e154}, 1.7320508075688773e+154},
      {"the norm itself overflows", {1.5e308, 1.5e308}, inf},
      {"ordinary values", {0.1, -0.2, 0.3, 1.7, -2.9}, 3.3823069050575523},
      {"an infinite term", {1, -inf, 2}, inf},
      {"a NaN after an infinite term", {inf, nan, 1}, nan},
      {"zeros", {0, 0, 0}, 0.0},
  };
}

// Steps between two doubles of one sign along the representable values (0 when both are
// the same infinity or both NaN; the largest distance when only one is NaN or the signs
// differ).
inline uint64_t UlpsApart(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b) ? 0 : UINT64_MAX;
  if (a == b) return 0;
  if (std::signbit(a) != std::signbit(b)) return UINT64_MAX;
  uint64_t x, y;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x > y ? x - y : y - x;
}

// got within `ulps` steps of want (the scaled sums of squares round a few times per term).
inline testing::AssertionResult NormNear(double got, double want, uint64_t ulps = 4) {
  if (UlpsApart(got, want) <= ulps) return testing::AssertionSuccess();
  std::ostringstream msg;
  msg << std::setprecision(17) << "got " << got << ", want " << want << " (within " << ulps << " ulps)";
  return testing::AssertionFailure() << msg.str();
}

// Every case through one vector form: make(terms) builds a record holding the terms (null
// fails the case), norm(record, &status) must lie near the case's norm with status 0, and
// release(record) frees it.
template <class Make, class Norm, class Release>
void ExpectNormOfEveryCase(Make make, Norm norm, Release release) {
  for (const NormCase& c : NormCases()) {
    SCOPED_TRACE(c.what);
    auto* v = make(c.terms);
    ASSERT_NE(v, nullptr);
    int st = 0;
    EXPECT_TRUE(NormNear(norm(v, &st), c.want));
    EXPECT_EQ(st, 0);
    release(v);
  }
}

}  // namespace cmat_test

#endif
