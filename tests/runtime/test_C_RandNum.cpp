// Tests of the MT19937 generator: its words against the standard generator's published
// sequence, the mapping to (lo, hi) for each element type, seeding rules and statuses.
#include "kvelo.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <functional>
#include <random>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

// The value a draw must take from MT19937 word w in the range (lo, hi).
double FromWord(std::uint32_t w, double lo = 0.0, double hi = 1.0) {
  return (hi - lo) * ((static_cast<double>(w) + 0.5) / 4294967296.0) + lo;
}

int Seeded(C_RandNum& g, unsigned seed) {
  const E_InitSeedType given = E_SeedGiven;
  return g.Init(given, seed);
}

TEST(RandNum, NothingBeforeInit) {
  C_RandNum g;
  double d[3] = {7, 7, 7};
  double* p = d;
  EXPECT_EQ(g.GetRandNum(3, p), 1);
  EXPECT_EQ(d[0], 7);
  unsigned s = 5;
  int n = 5;
  EXPECT_EQ(g.GetSeed(s), 1);
  EXPECT_EQ(g.GetSeed(0, s), 1);
  EXPECT_EQ(g.GetSeedVectorSize(n), 1);
  EXPECT_EQ(s, 5u);
  EXPECT_EQ(n, 5);
}

TEST(RandNum, WordsAreThoseOfThePublishedGenerator) {
  C_RandNum g;
  ASSERT_EQ(Seeded(g, 5489u), 0);
  std::vector<double> d(10000);
  double* p = d.data();
  ASSERT_EQ(g.GetRandNum(10000, p), 0);
  // Published values of MT19937 with seed 5489: the first and the 10000th output.
  EXPECT_EQ(d[0], FromWord(3499211612u));
  EXPECT_EQ(d[9999], FromWord(4123659995u));
  std::mt19937 ref(5489u);
  for (int i = 0; i < 10000; ++i) ASSERT_EQ(d[i], FromWord(ref())) << i;  // across 16 regenerations
}

TEST(RandNum, FixedSeedGivesTheSameTenDrawsEveryRun) {
  C_RandNum g;
  const E_InitSeedType fixed = E_SeedFixed;
  ASSERT_EQ(g.Init(fixed, 999u), 0);  // the seed argument is not read for the fixed seed
  unsigned s = 0;
  ASSERT_EQ(g.GetSeed(s), 0);
  EXPECT_EQ(s, 123457u);
  double d[10];
  double* p = d;
  ASSERT_EQ(g.GetRandNum(10, p), 0);
  std::mt19937 ref(123457u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(d[i], FromWord(ref()));
    EXPECT_GT(d[i], 0.0);
    EXPECT_LT(d[i], 1.0);
  }
}

TEST(RandNum, ArraySeedingFollowsThePublishedInitialisation) {
  // Reference output of the published array initialisation with the key {0x123, 0x234,
  // 0x345, 0x456}: its first five words.
  const unsigned key[4] = {0x123, 0x234, 0x345, 0x456};
  const std::uint32_t words[5] = {1067595299u, 955945823u, 477289528u, 4107218783u, 4228976476u};
  C_RandNum g;
  ASSERT_EQ(g.Init(4, key), 0);
  double d[5];
  double* p = d;
  ASSERT_EQ(g.GetRandNum(5, p), 0);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(d[i], FromWord(words[i])) << i;
  int n = 0;
  ASSERT_EQ(g.GetSeedVectorSize(n), 0);
  EXPECT_EQ(n, 4);
}

TEST(RandNum, SeedQueries) {
  C_RandNum g;
  const unsigned key[3] = {11, 22, 33};
  ASSERT_EQ(g.Init(3, key), 0);
  int n = 0;
  ASSERT_EQ(g.GetSeedVectorSize(n), 0);
  EXPECT_EQ(n, 3);
  unsigned s = 0;
  EXPECT_EQ(g.GetSeed(2, s), 0);
  EXPECT_EQ(s, 33u);
  EXPECT_EQ(g.GetSeed(s), 0);
  EXPECT_EQ(s, 11u);
  s = 77;
  EXPECT_EQ(g.GetSeed(3, s), 1);
  EXPECT_EQ(g.GetSeed(-1, s), 1);
  EXPECT_EQ(s, 77u);
}

TEST(RandNum, RefusedSeedsChangeNothing) {
  C_RandNum g, twin;
  ASSERT_EQ(Seeded(g, 42u), 0);
  ASSERT_EQ(Seeded(twin, 42u), 0);
  double a[3], b[3];
  double* pa = a;
  double* pb = b;
  ASSERT_EQ(g.GetRandNum(2, pa), 0);
  ASSERT_EQ(twin.GetRandNum(2, pb), 0);

  const unsigned zeros[3] = {5, 0, 6};
  const unsigned good[1] = {9};
  EXPECT_EQ(Seeded(g, 0u), 1);
  EXPECT_EQ(g.Init(0, good), 1);
  EXPECT_EQ(g.Init(-1, good), 1);
  EXPECT_EQ(g.Init(3, zeros), 1);
  EXPECT_EQ(g.Init(2, nullptr), 1);
  const E_InitSeedType unknown = static_cast<E_InitSeedType>(7);
  EXPECT_EQ(g.Init(unknown, 5u), 1);

  ASSERT_EQ(g.GetRandNum(3, pa), 0);
  ASSERT_EQ(twin.GetRandNum(3, pb), 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(a[i], b[i]);  // the sequence goes on untouched
  unsigned s = 0;
  EXPECT_EQ(g.GetSeed(s), 0);
  EXPECT_EQ(s, 42u);

  C_RandNum fresh;
  EXPECT_EQ(Seeded(fresh, 0u), 1);
  EXPECT_EQ(fresh.GetRandNum(1, pa), 1);  // still not initialised
}

TEST(RandNum, ReseedingRestartsTheSequence) {
  C_RandNum g;
  std::vector<double> first(700), again(700);
  double* p1 = first.data();
  double* p2 = again.data();
  ASSERT_EQ(Seeded(g, 2024u), 0);
  ASSERT_EQ(g.GetRandNum(700, p1), 0);
  ASSERT_EQ(Seeded(g, 2024u), 0);
  ASSERT_EQ(g.GetRandNum(300, p2), 0);
  ASSERT_EQ(g.GetRandNum(400, (p2 = again.data() + 300)), 0);  // split draws, same words
  EXPECT_EQ(first, again);
}

TEST(RandNum, RangesAndElementTypes) {
  C_RandNum g;
  ASSERT_EQ(Seeded(g, 7u), 0);
  g.SetRangeValue(-1.0, 1.0);
  std::vector<double> d(2000);
  double* pd = d.data();
  ASSERT_EQ(g.GetRandNum(2000, pd), 0);
  std::mt19937 ref(7u);
  for (double x : d) {
    EXPECT_EQ(x, FromWord(ref(), -1.0, 1.0));
    EXPECT_GT(x, -1.0);
    EXPECT_LT(x, 1.0);
  }

  // Each draw takes one word whatever the type.
  g.SetRangeValue(0.0, 10.0);
  int iv[1000];
  int* pi = iv;
  ASSERT_EQ(g.GetRandNum(1000, pi), 0);
  for (int x : iv) EXPECT_EQ(x, static_cast<int>(std::floor(FromWord(ref(), 0.0, 10.0))));

  g.SetRangeValue(2.0, 3.0);
  float fv[1000];
  float* pf = fv;
  ASSERT_EQ(g.GetRandNum<float>(1000, pf), 0);
  for (float x : fv) {
    const double u = (static_cast<double>(ref()) + 0.5) / 4294967296.0;
    EXPECT_EQ(x, static_cast<float>(1.0 * static_cast<double>(static_cast<float>(u)) + 2.0));
    EXPECT_GE(x, 2.0f);
    EXPECT_LE(x, 3.0f);
  }

  // With the default range an int draw truncates to 0; hi below lo mirrors the range.
  C_RandNum h;
  ASSERT_EQ(Seeded(h, 3u), 0);
  ASSERT_EQ(h.GetRandNum(100, pi), 0);
  for (int k = 0; k < 100; ++k) EXPECT_EQ(iv[k], 0);
  h.SetRangeValue(5.0, -5.0);
  ASSERT_EQ(h.GetRandNum(100, pd), 0);
  for (int k = 0; k < 100; ++k) {
    EXPECT_GT(d[k], -5.0);
    EXPECT_LT(d[k], 5.0);
  }
  // A range too wide for int keeps draws at the ends of the int range.
  h.SetRangeValue(-1e12, 1e12);
  ASSERT_EQ(h.GetRandNum(100, pi), 0);
  for (int k = 0; k < 100; ++k) EXPECT_TRUE(iv[k] == INT_MIN || iv[k] == INT_MAX) << iv[k];
  EXPECT_EQ(h.GetRandNum(0, pi), 0);
  EXPECT_EQ(h.GetRandNum(-3, pi), 0);
}

TEST(RandNum, FiniteBoundsFarApartGiveFiniteDraws) {
  // hi - lo overflows for these bounds; the draws must still be the points u of the way from
  // lo to hi: DBL_MAX * (2u - 1) for (-DBL_MAX, DBL_MAX) (2u - 1 is exact).
  C_RandNum g;
  ASSERT_EQ(Seeded(g, 11u), 0);
  g.SetRangeValue(-DBL_MAX, DBL_MAX);
  std::vector<double> d(1000);
  double* pd = d.data();
  ASSERT_EQ(g.GetRandNum(1000, pd), 0);
  std::mt19937 ref(11u);
  int positive = 0;
  for (double x : d) {
    const double u = (static_cast<double>(ref()) + 0.5) / 4294967296.0;
    ASSERT_TRUE(std::isfinite(x)) << x;
    EXPECT_GT(x, -DBL_MAX);
    EXPECT_LT(x, DBL_MAX);
    EXPECT_NEAR(x / DBL_MAX, 2.0 * u - 1.0, 1e-15);
    positive += x > 0.0;
  }
  EXPECT_GT(positive, 400);
  EXPECT_LT(positive, 600);

  // As floats and ints the draws stop at the ends of their types, both ends being reached.
  g.SetRangeValue(-1e308, 1e308);
  float fv[200];
  float* pf = fv;
  ASSERT_EQ(g.GetRandNum<float>(200, pf), 0);
  int ends = 0;
  for (float x : fv) {
    ASSERT_TRUE(std::isfinite(x)) << x;
    ends += (x == FLT_MAX) ? 1 : (x == -FLT_MAX) ? 2 : 0;
  }
  int iv[200];
  int* pi = iv;
  ASSERT_EQ(g.GetRandNum(200, pi), 0);
  int low = 0, high = 0;
  for (int x : iv) {
    low += x == INT_MIN;
    high += x == INT_MAX;
  }
  EXPECT_EQ(low + high, 200);
  EXPECT_GT(low, 0);
  EXPECT_GT(high, 0);
  g.SetRangeValue(0.0, 1e300);  // no float lies in there past FLT_MAX
  ASSERT_EQ(g.GetRandNum<float>(200, pf), 0);
  for (float x : fv) EXPECT_EQ(x, FLT_MAX);
  EXPECT_GT(ends, 0);
}

TEST(RandNum, IndependentGeneratorsInSeveralThreads) {
  // Each thread draws from its own generator: the draws are those of a run in one thread.
  const int kThreads = 6;
  const int kDraws = 20000;
  auto run = [&](int t, std::vector<double>& out) {
    C_RandNum g;
    const unsigned seeds[2] = {static_cast<unsigned>(t + 1), 977u};
    if (g.Init(2, seeds) != 0) return;
    g.SetRangeValue(-3.0, 5.0);
    out.assign(kDraws, 0.0);
    double* p = out.data();
    for (int k = 0; k < kDraws; k += 1000) {
      double* q = p + k;
      g.GetRandNum(1000, q);
    }
  };
  std::vector<std::vector<double>> alone(kThreads), together(kThreads);
  for (int t = 0; t < kThreads; ++t) run(t, alone[t]);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(run, t, std::ref(together[t]));
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(alone[t].size(), static_cast<size_t>(kDraws));
    ASSERT_EQ(together[t].size(), alone[t].size());
    EXPECT_EQ(std::memcmp(alone[t].data(), together[t].data(), alone[t].size() * sizeof(double)), 0) << t;
  }
  EXPECT_FALSE(alone[0] == alone[1]);
}

TEST(RandNum, ClockSeed) {
  C_RandNum g;
  const long long before = static_cast<long long>(std::time(nullptr));
  ASSERT_EQ(g.Init(), 0);
  const long long after = static_cast<long long>(std::time(nullptr));
  unsigned s = 0;
  ASSERT_EQ(g.GetSeed(s), 0);
  EXPECT_GE(s, static_cast<unsigned>(before & 0xFFFFFFFF));
  EXPECT_LE(s, static_cast<unsigned>(after & 0xFFFFFFFF));
  double d[2];
  double* p = d;
  EXPECT_EQ(g.GetRandNum(2, p), 0);
  std::mt19937 ref(s);
  EXPECT_EQ(d[0], FromWord(ref()));
}

TEST(RandNum, GeneratorsAreNeverCopied) {
  static_assert(!std::is_copy_constructible<C_RandNum>::value, "copying would share the state");
  static_assert(!std::is_copy_assignable<C_RandNum>::value, "assigning would share the state");
  static_assert(std::has_virtual_destructor<C_RandNum>::value, "virtual destructor");
}

}  // namespace
