/* test_Kriging_kernels.cpp: the arithmetic kernels under the Kriging correlations: the
 * exponential against the C library's to within one unit in the last place and at its edges,
 * the column of real correlations against the textbook formulas and, bit for bit, against
 * the correlation of one pair of points that every other path computes, and the drop of small
 * entries that regularises the correlation matrix. */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "kriging/corr_kernels.h"
#include "kriging/kriging_util.h"

namespace {

using kriging_internal::CorrValue;
using kriging_internal::DropBelow;
using kriging_internal::KernelExp;
using kriging_internal::RealCorrColumn;

std::int64_t Ordered(double d) {
  std::int64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b < 0 ? std::numeric_limits<std::int64_t>::min() - b : b;
}

/* Distance in units in the last place between two finite doubles. */
std::int64_t Ulps(double a, double b) {
  const std::int64_t d = Ordered(a) - Ordered(b);
  return d < 0 ? -d : d;
}

TEST(KrigingKernels, ExponentialWithinOneUlp) {
  std::mt19937_64 gen(5u);
  std::uniform_real_distribution<double> wide(-708.0, 709.0), near0(-1.0, 1.0);
  std::int64_t worst = 0;
  for (int i = 0; i < 200000; ++i) {
    const double x = (i % 2 == 0) ? wide(gen) : near0(gen);
    worst = std::max(worst, Ulps(KernelExp(x), std::exp(x)));
  }
  EXPECT_LE(worst, 1);
  /* Values the correlations meet: exactly 1 at 0, e^-1, tiny and huge arguments. */
  EXPECT_EQ(1.0, KernelExp(0.0));
  EXPECT_EQ(1.0, KernelExp(-0.0));
  EXPECT_LE(Ulps(KernelExp(-1.0), 0.36787944117144233), 1);
  EXPECT_GT(KernelExp(-708.0), 0.0);
  EXPECT_GE(KernelExp(-708.0), std::numeric_limits<double>::min());
  EXPECT_EQ(0.0, KernelExp(-708.5));
  EXPECT_EQ(0.0, KernelExp(-1e6));
  EXPECT_EQ(0.0, KernelExp(-std::numeric_limits<double>::infinity()));
  EXPECT_EQ(std::numeric_limits<double>::infinity(), KernelExp(710.0));
  EXPECT_EQ(std::numeric_limits<double>::infinity(),
            KernelExp(std::numeric_limits<double>::infinity()));
  EXPECT_TRUE(std::isnan(KernelExp(std::nan(""))));
}

TEST(KrigingKernels, ColumnMatchesThePairFormulaBitForBit) {
  /* N points of n values (column-major, leading dimension N + 3) against one point s. */
  const int N = 37, n = 5, ld = N + 3;
  std::mt19937 gen(7u);
  std::uniform_real_distribution<double> u(-2.0, 2.0);
  std::vector<double> P(static_cast<std::size_t>(ld) * n), s(n), theta(n);
  for (double& x : P) x = u(gen);
  for (double& x : s) x = u(gen);
  for (int k = 0; k < n; ++k) theta[k] = 0.3 + 0.7 * k;
  /* Point 3 is s itself: its correlation is exactly 1. */
  for (int k = 0; k < n; ++k) P[3 + k * ld] = s[k];
  for (bool gaussian : {true, false})
    for (bool shared : {true, false}) {
      std::vector<double> r(N, -1.0);
      RealCorrColumn(gaussian, P.data(), ld, N, s.data(), n, theta.data(), shared, r.data());
      for (int i = 0; i < N; ++i) {
        std::vector<double> pt(n);
        double sum = 0.0;
        for (int k = 0; k < n; ++k) {
          pt[k] = P[i + k * ld];
          const double d = std::fabs(pt[k] - s[k]);
          sum += theta[shared ? 0 : k] * (gaussian ? d * d : d);
        }
        EXPECT_EQ(CorrValue<double>(gaussian ? 2 : 1, pt.data(), s.data(), n, theta.data(), shared),
                  r[i]) << i;
        EXPECT_NEAR(std::exp(-sum), r[i], 4e-16 * std::exp(-sum)) << i;
      }
      EXPECT_EQ(1.0, r[3]);
    }
  /* No variables: every correlation is 1; no points: nothing is written. */
  std::vector<double> r(4, -1.0);
  RealCorrColumn(true, P.data(), ld, 4, s.data(), 0, theta.data(), true, r.data());
  for (double x : r) EXPECT_EQ(1.0, x);
  RealCorrColumn(true, P.data(), ld, 0, s.data(), n, theta.data(), true, r.data());
}

TEST(KrigingKernels, DropBelowIsStrictAndKeepsNaN) {
  std::vector<double> a = {1e-9, -1e-9, 1e-8, -1e-8, 2e-8, 0.5, std::nan(""), -0.0};
  DropBelow(a.data(), static_cast<std::ptrdiff_t>(a.size()), 1e-8);
  EXPECT_EQ(0.0, a[0]);
  EXPECT_EQ(0.0, a[1]);
  EXPECT_EQ(1e-8, a[2]); /* equal to the tolerance: stays */
  EXPECT_EQ(-1e-8, a[3]);
  EXPECT_EQ(2e-8, a[4]);
  EXPECT_EQ(0.5, a[5]);
  EXPECT_TRUE(std::isnan(a[6]));
  EXPECT_EQ(0.0, a[7]);
}

}  // namespace
