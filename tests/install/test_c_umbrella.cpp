// test_c_umbrella.cpp: the C umbrella header serves a strict C99 host (c_umbrella.c): what
// that host computes through the C matrix library and the BLAS entry points is checked here
// against hand-computed values, and its version text against the project's version.
#include <gtest/gtest.h>

#include <string>

#include "kvelo.h"

extern "C" {
const char* c_umbrella_version(void);
int c_umbrella_solve(double* x0, double* x1);
double c_umbrella_dots(double* zre, double* zim);
double c_umbrella_zabs(void);
}

namespace {

TEST(CUmbrella, VersionTextIsTheProjectVersion) {
  EXPECT_STREQ(c_umbrella_version(), KVELO_EXPECTED_VERSION);
  EXPECT_STREQ(c_umbrella_version(), KVELO_VERSION_STRING);
  const std::string parts = std::to_string(KVELO_VERSION_MAJOR) + "." +
                            std::to_string(KVELO_VERSION_MINOR) + "." +
                            std::to_string(KVELO_VERSION_PATCH);
  EXPECT_EQ(parts, KVELO_EXPECTED_VERSION);
  EXPECT_EQ(KVELO_VERSION,
            KVELO_VERSION_MAJOR * 10000 + KVELO_VERSION_MINOR * 100 + KVELO_VERSION_PATCH);
}

TEST(CUmbrella, MatrixLibraryFromC) {
  double x0 = 0.0, x1 = 0.0;
  ASSERT_EQ(c_umbrella_solve(&x0, &x1), 0);
  // 2 x0 + x1 = 3 and x0 + 3 x1 = 5: x0 = 4/5, x1 = 7/5.
  EXPECT_NEAR(x0, 0.8, 1e-15);
  EXPECT_NEAR(x1, 1.4, 1e-15);
  EXPECT_DOUBLE_EQ(c_umbrella_zabs(), 5.0);
}

TEST(CUmbrella, EntryPointsFromC) {
  double zre = 0.0, zim = 0.0;
  EXPECT_DOUBLE_EQ(c_umbrella_dots(&zre, &zim), 32.0);  // 4 + 10 + 18
  EXPECT_DOUBLE_EQ(zre, 3.0);                            // (1 + i)(2 - i) = 3 + i
  EXPECT_DOUBLE_EQ(zim, 1.0);
}

}  // namespace
