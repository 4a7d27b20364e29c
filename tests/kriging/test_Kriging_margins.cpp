/* test_Kriging_margins.cpp: the arrays the Kriging model hands to LAPACK lie in memory it owns,
 * with a margin around each (OpenBLAS 0.3.21's complex gemv, under zgesvd and zgels, reads a
 * few bytes outside the arrays it is given). The rank test of the automatic trend degree runs
 * in a block placed against inaccessible guard pages, at either end, and still answers right;
 * complex fits whose trend degree is chosen by that test, and their predictor errors, run
 * through the whole model. Run under valgrind (the test_Kriging_margins_valgrind entry of a
 * plain build), any read outside owned memory fails the test. */
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include "kriging/trend_rank.h"
#include "kriging_fixtures.h"

namespace {

using kriging_internal::TrendRankTest;

/* A region of `bytes` bytes placed flush against an inaccessible page: right after one
 * (front) or right before one (back, its end on the page boundary). */
class Guarded {
 public:
  Guarded(std::size_t bytes, bool front) {
    page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    span_ = (bytes + page_ - 1) / page_ * page_;
    void* m = mmap(nullptr, span_ + 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                   -1, 0);
    base_ = (m == MAP_FAILED) ? nullptr : static_cast<char*>(m);
    if (base_ == nullptr) return;
    mprotect(base_, page_, PROT_NONE);
    mprotect(base_ + page_ + span_, page_, PROT_NONE);
    at_ = front ? base_ + page_ : base_ + page_ + span_ - bytes;
  }
  ~Guarded() {
    if (base_ != nullptr) munmap(base_, span_ + 2 * page_);
  }
  void* Data() const { return at_; }

 private:
  std::size_t page_ = 0, span_ = 0;
  char* base_ = nullptr;
  char* at_ = nullptr;
};

/* rows x cols matrix, column-major, random entries; dependent (when asked) makes its last
 * column twice its second, so that its rank is cols - 1. */
template <class E>
std::vector<E> Matrix(int rows, int cols, unsigned seed, bool dependent);
template <>
std::vector<double> Matrix<double>(int rows, int cols, unsigned seed, bool dependent) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> a(static_cast<std::size_t>(rows) * cols);
  for (double& x : a) x = u(gen);
  if (dependent)
    for (int i = 0; i < rows; ++i) a[i + (cols - 1) * rows] = 2.0 * a[i + rows];
  return a;
}
template <>
std::vector<cplx> Matrix<cplx>(int rows, int cols, unsigned seed, bool dependent) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<cplx> a(static_cast<std::size_t>(rows) * cols);
  for (cplx& x : a) x = cplx(u(gen), u(gen));
  if (dependent)
    for (int i = 0; i < rows; ++i) a[i + (cols - 1) * rows] = cplx(0.0, 2.0) * a[i + rows];
  return a;
}

/* The rank test with its block and its input each flush against a guard page, at the front
 * and at the back: the margins keep every LAPACK read inside the block. */
template <class E>
void GuardedRankTests() {
  for (auto shape : {std::make_pair(8, 6), std::make_pair(10, 5), std::make_pair(45, 45)})
    for (bool dependent : {false, true})
      for (bool front : {true, false}) {
        const int rows = shape.first, cols = shape.second;
        const std::vector<E> a = Matrix<E>(rows, cols, 11u + rows, dependent);
        const std::size_t bytes = TrendRankTest<E>::BlockBytes(rows, cols);
        ASSERT_GT(bytes, 0u);
        Guarded block(bytes, front), input(a.size() * sizeof(E), front);
        ASSERT_NE(nullptr, block.Data());
        ASSERT_NE(nullptr, input.Data());
        std::memcpy(input.Data(), a.data(), a.size() * sizeof(E));
        const bool full = TrendRankTest<E>::FullRankIn(rows, cols, static_cast<E*>(input.Data()),
                                                        rows, block.Data());
        EXPECT_EQ(!dependent, full) << rows << "x" << cols << (front ? " front" : " back");
        /* The input is only read. */
        EXPECT_EQ(0, std::memcmp(input.Data(), a.data(), a.size() * sizeof(E)));
      }
}

TEST(KrigingMargins, RankTestAgainstGuardPagesReal) { GuardedRankTests<double>(); }
TEST(KrigingMargins, RankTestAgainstGuardPagesComplex) { GuardedRankTests<cplx>(); }

TEST(KrigingMargins, RankTestShapesAndOwnBlock) {
  TrendRankTest<cplx> t;
  /* A leading dimension above the row count reads only the rows asked for. */
  std::vector<cplx> a = Matrix<cplx>(12, 4, 3u, false);
  std::vector<cplx> padded(static_cast<std::size_t>(15) * 4, cplx(std::nan(""), 0.0));
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 12; ++i) padded[i + j * 15] = a[i + j * 12];
  EXPECT_TRUE(t.FullRank(12, 4, padded.data(), 15));
  EXPECT_FALSE(t.FullRank(3, 4, a.data(), 3)); /* fewer rows than columns */
  EXPECT_FALSE(t.FullRank(12, 4, a.data(), 11)); /* leading dimension below the rows */
  EXPECT_EQ(0u, TrendRankTest<cplx>::BlockBytes(0, 4));
  EXPECT_EQ(0u, TrendRankTest<cplx>::BlockBytes(4, 0));
  /* A column of zeros, and a column below the threshold 1e-14 of the test, one above it. */
  std::vector<double> z = Matrix<double>(9, 3, 4u, false);
  for (int i = 0; i < 9; ++i) z[i + 2 * 9] = 0.0;
  TrendRankTest<double> r;
  EXPECT_FALSE(r.FullRank(9, 3, z.data(), 9));
  for (int i = 0; i < 9; ++i) z[i + 2 * 9] = (i == 4) ? 1e-15 : 0.0;
  EXPECT_FALSE(r.FullRank(9, 3, z.data(), 9));
  for (int i = 0; i < 9; ++i) z[i + 2 * 9] = (i == 4) ? 1e-12 : 0.0;
  EXPECT_TRUE(r.FullRank(9, 3, z.data(), 9));
}

/* Complex fits whose automatic trend degree runs the rank test (linear with squares and full
 * quadratic), with their least squares (zgels) and predictor errors: the model must fit, keep
 * the degree the samples carry and give finite, positive errors away from the samples. */
TEST(KrigingMargins, ComplexFitsWithRankTestedTrends) {
  for (int poly : {3, 4})
    for (int m : {8, 12, 40}) {
      C_MatMGe<cplx> X = SampleInputs<cplx>(m, 2, 90u + m);
      C_MatMGe<cplx> Y = SmoothOutputs(X, 2);
      Kriging<cplx> k;
      SmallModelSpec s;
      s.poly = poly;
      s.scaling = 3;
      ASSERT_EQ(0, SolveSmall(k, X, Y, s)) << poly << " " << m;
      int rows = 0;
      k.GetNumPolyCoeff(rows);
      EXPECT_GE(rows, 1);
      C_MatMGe<cplx> P = SampleInputs<cplx>(5, 2, 200u + m);
      double maxAbs = -1.0, maxRel = -1.0;
      int count = 0;
      ASSERT_EQ(0, k.GetPredictorError(P, maxAbs, maxRel, count));
      EXPECT_TRUE(std::isfinite(maxAbs));
      EXPECT_GT(maxAbs, 0.0);
      EXPECT_EQ(m, count);
    }
}

}  // namespace
