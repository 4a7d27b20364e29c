/* test_C_VecRand.cpp: the random fill of vectors: reproducible for a given seed, uniform in
 * (0, 1), equal to the published MT19937 words (std::mt19937 as the independent reference),
 * complex parts drawn in turn, and the refusals (storage not usable, a refused seed). */
#include "C_VecPi.h"
#include "C_VecRand.h"
#include "derived_vec.h"
#include "vec_files.h"

#include <gtest/gtest.h>

#include <complex>
#include <random>
#include <string>

using cd = std::complex<double>;
using VD = C_VecPi<double, int, C_PtrInCore<double, int>>;
using VZ = C_VecPi<cd, int, C_PtrInCore<cd, int>>;

namespace {
double Uniform(std::mt19937& g) { return (static_cast<double>(g()) + 0.5) / 4294967296.0; }
}  // namespace

TEST(CVecRand, SameSeedSameValuesAsThePublishedGenerator) {
  VD a(700), b(700);  // more than 624 draws: the state is regenerated once
  InitRand<double>(a, E_SeedGiven, 1u);
  InitRand<double>(b, E_SeedGiven, 1u);
  std::mt19937 ref(1u);
  for (int i = 0; i < 700; ++i) {
    ASSERT_EQ(a[i], b[i]) << i;
    ASSERT_GT(a[i], 0.0);
    ASSERT_LT(a[i], 1.0);
    ASSERT_EQ(a[i], Uniform(ref)) << i;
  }
  VD fixed(3);
  InitRand<double>(fixed, E_SeedFixed, 0u);
  std::mt19937 ref2(123457u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(fixed[i], Uniform(ref2));
}

TEST(CVecRand, ComplexDrawsRealThenImaginary) {
  VZ z(3);
  InitRand<cd>(z, E_SeedGiven, 42u);
  std::mt19937 ref(42u);
  for (int i = 0; i < 3; ++i) {
    double re = Uniform(ref);
    double im = Uniform(ref);
    EXPECT_EQ(z[i], cd(re, im)) << i;
  }
}

TEST(CVecRand, RefusedSeedLeavesTheVectorUnchanged) {
  VD v(3, 0.25);
  ::testing::internal::CaptureStderr();
  InitRand<double>(v, E_SeedGiven, 0u);  // a zero seed is refused (traced, nothing drawn)
  const std::string trace = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(trace.find("aff_lieu"), std::string::npos) << trace;
  EXPECT_NE(trace.find("include/C_VecRand"), std::string::npos) << trace;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(v[i], 0.25);
  InitRand<double>(v, static_cast<E_InitSeedType>(2), 1u);
  EXPECT_NE(v[0], 0.25);
  VD empty;
  InitRand<double>(empty, E_SeedGiven, 1u);
  EXPECT_EQ(empty.Dim(), 0);
}

TEST(CVecRand, StorageThatIsNotUsableIsRefused) {
  ChunkVec<double, int> notInCore(4);
  EXPECT_KVELO_CODE(InitRand<double>(notInCore, E_SeedGiven, 1u), 2870);
  ChunkVec<double, int> notFull(4);
  notFull.inCore = 1;
  notFull.full = 0;
  EXPECT_KVELO_CODE(InitRand<double>(notFull, E_SeedGiven, 1u), 2870);
  ChunkVec<double, int> noAddress(4);
  noAddress.inCore = 1;
  EXPECT_KVELO_CODE(InitRand<double>(noAddress, E_SeedGiven, 1u), 38);
}
