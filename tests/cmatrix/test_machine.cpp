// Tests of the element kernels: results against hand computation and a plain summation,
// in-place use, and lengths of zero or less that must not read the arrays.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "matrix.h"

TEST(Kernels, DotProductMatchesHandValuesAndIgnoresEmptyLengths) {
  const double x[] = {1, 2, 3, 4};
  const double y[] = {0.5, -1, 2, 0.25};
  EXPECT_EQ(__ip__(x, y, 4), 0.5 - 2 + 6 + 1);
  EXPECT_EQ(__ip__(x, y, 2), -1.5);
  EXPECT_EQ(__ip__(nullptr, nullptr, 0), 0.0);  // nothing is read
  EXPECT_EQ(__ip__(nullptr, nullptr, -1), 0.0);

  // A long product against compensated summation: the BLAS order may differ, so the
  // tolerance grows with the length.
  const int n = 10007;
  std::vector<double> a(n), b(n);
  for (int i = 0; i < n; ++i) {
    a[i] = std::sin(0.1 * i);
    b[i] = std::cos(0.07 * i) + 1.0 / (i + 1);
  }
  long double ref = 0;
  for (int i = 0; i < n; ++i) ref += static_cast<long double>(a[i]) * b[i];
  double mag = 0;
  for (int i = 0; i < n; ++i) mag += std::fabs(a[i] * b[i]);
  EXPECT_NEAR(__ip__(a.data(), b.data(), n), static_cast<double>(ref),
              n * std::numeric_limits<double>::epsilon() * mag);
}

TEST(Kernels, MultiplyAddScaleAddAndSubtract) {
  double y[] = {1, 1, 1, 9};
  const double x[] = {1, 2, 3, 4};
  __mltadd__(y, x, 2.0, 3);
  const double wantMa[] = {3, 5, 7, 9};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(y[i], wantMa[i]);
  __mltadd__(nullptr, nullptr, 2.0, 0);

  double out[4] = {0, 0, 0, -7};
  __smlt__(x, -0.5, out, 3);
  const double wantS[] = {-0.5, -1, -1.5, -7};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], wantS[i]);

  double a[] = {1, 2, 3};
  const double b[] = {10, 20, 30};
  __add__(a, b, a, 3);  // out is x
  const double wantAdd[] = {11, 22, 33};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(a[i], wantAdd[i]);

  double c[] = {1, 2, 3};
  __sub__(b, c, c, 3);  // out is y: x - y in place
  const double wantSub[] = {9, 18, 27};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(c[i], wantSub[i]);

  __smlt__(nullptr, 1.0, nullptr, -3);
  __add__(nullptr, nullptr, nullptr, 0);
  __sub__(nullptr, nullptr, nullptr, -1);
}

TEST(Kernels, ZeroFillsClearEveryBit) {
  double x[] = {-0.0, 5, std::numeric_limits<double>::quiet_NaN(), 7};
  __zero__(x, 3);
  for (int i = 0; i < 3; ++i) {
    uint64_t bits;
    std::memcpy(&bits, &x[i], sizeof bits);
    EXPECT_EQ(bits, 0u) << i;
  }
  EXPECT_EQ(x[3], 7.0);
  __zero__(nullptr, 0);

  int k[] = {1, -2, 3};
  __izero__(k, 2);
  EXPECT_EQ(k[0], 0);
  EXPECT_EQ(k[1], 0);
  EXPECT_EQ(k[2], 3);
  __izero__(nullptr, -5);
}

// Finite terms whose products overflow with opposite signs: the infinity of the exact sum's
// sign, or the finite sum, never NaN; a NaN operand still gives NaN.
TEST(Kernels, DotOfFiniteTermsThatOverflowOppositelyIsNotNaN) {
  const double inf = std::numeric_limits<double>::infinity();
  const double x[2] = {1e200, 1e200}, y[2] = {2e200, -1e200};
  EXPECT_EQ(__ip__(x, y, 2), inf);
  const double a[2] = {1e200, -1e200}, b[2] = {-2e200, 1e200};
  EXPECT_EQ(__ip__(a, b, 2), -inf);
  const double c[2] = {1e200, 1e200}, d[2] = {1e200, -1e200};
  EXPECT_EQ(__ip__(c, d, 2), 0.0);
  const double e[2] = {std::numeric_limits<double>::quiet_NaN(), 1e200}, f[2] = {1, 1e200};
  EXPECT_TRUE(std::isnan(__ip__(e, f, 2)));
}
