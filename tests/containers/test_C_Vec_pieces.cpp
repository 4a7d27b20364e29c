/* test_C_Vec_pieces.cpp: how vectors with long long indices reach their kernels, whose counts
 * are 32-bit: the cutting into pieces of at most 2^31 - 1 elements (the last piece holding the
 * rest) and the joins of the pieces' results (sums added, the largest kept, a NaN of any piece
 * carried to the result). The joins are checked at small sizes with the piece length lowered
 * to a few elements through the library's internals; the full length is checked on the
 * splitter alone, which touches no memory. Expected values are hand computations. */
#include "C_Vec.h"
#include "derived_vec.h"
#include "vec_files.h"
#include "vec_values.h"
#include "vec_pieces.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <utility>
#include <vector>

using cd = std::complex<double>;
using cf = std::complex<float>;
using Pieces = std::vector<std::pair<long long, int>>;

namespace {

// The pieces the vector operations cut n elements into.
Pieces PiecesOf(long long n) {
  Pieces seen;
  kvelo_vec::ForEachVecPiece(n, [&](long long off, int len) { seen.emplace_back(off, len); });
  return seen;
}

using kvtest::AsC;
using kvtest::RealOf;

// x_i = i + 1 for i = 0 .. n - 1, with long long indices.
template <class T>
ArrayVec<T, long long> Ramp(long long n) {
  ArrayVec<T, long long> x(n);
  for (long long i = 0; i < n; ++i) x.v[static_cast<size_t>(i)] = T(static_cast<int>(i + 1));
  return x;
}

}  // namespace

TEST(VecPieces, LongLengthsAreCutAtTheLargest32BitCount) {
  EXPECT_EQ(kvelo_vec::PieceLength(), 2147483647LL);
  // 2^31 + 1 elements: one piece of 2^31 - 1 and a last piece of 2; 2^31: the last of 1.
  EXPECT_EQ(PiecesOf(2147483649LL), (Pieces{{0, 2147483647}, {2147483647LL, 2}}));
  EXPECT_EQ(PiecesOf(2147483648LL), (Pieces{{0, 2147483647}, {2147483647LL, 1}}));
  EXPECT_EQ(PiecesOf(2147483647LL), (Pieces{{0, 2147483647}}));
  EXPECT_EQ(PiecesOf(4294967295LL), (Pieces{{0, 2147483647}, {2147483647LL, 2147483647}, {4294967294LL, 1}}));
  EXPECT_EQ(PiecesOf(0), (Pieces{{0, 0}}));  // the kernel still runs once, on nothing
  // An int length is one call whatever it is, and whatever the piece length; the storage's
  // own splitter keeps the full length.
  kvtest::PieceLengthScope scope(4);
  std::vector<std::pair<int, int>> ints;
  kvelo_vec::ForEachVecPiece(2147483647, [&](int off, int len) { ints.emplace_back(off, len); });
  kvelo_vec::ForEachVecPiece(10, [&](int off, int len) { ints.emplace_back(off, len); });
  EXPECT_EQ(ints, (std::vector<std::pair<int, int>>{{0, 2147483647}, {0, 10}}));
  Pieces storage;
  kvelo_vec::ForEachPiece(10LL, [&](long long off, int len) { storage.emplace_back(off, len); });
  EXPECT_EQ(storage, (Pieces{{0, 10}}));
}

TEST(VecPieces, LoweredLengthCutsPiecesAndLeavesTheRestToTheLast) {
  {
    kvtest::PieceLengthScope scope(4);
    EXPECT_EQ(kvelo_vec::PieceLength(), 4);
    struct Case {
      long long n;
      Pieces pieces;
    };
    const Case cases[] = {{10, {{0, 4}, {4, 4}, {8, 2}}},
                          {9, {{0, 4}, {4, 4}, {8, 1}}},
                          {8, {{0, 4}, {4, 4}}},
                          {5, {{0, 4}, {4, 1}}},
                          {4, {{0, 4}}},
                          {1, {{0, 1}}},
                          {0, {{0, 0}}}};
    for (const Case& c : cases) EXPECT_EQ(PiecesOf(c.n), c.pieces) << c.n;
    // A setting outside 1 .. 2^31 - 1 restores the library's length.
    for (long long bad : {0LL, -3LL, 2147483648LL}) {
      kvelo_vec::SetPieceLength(3);
      kvelo_vec::SetPieceLength(bad);
      EXPECT_EQ(kvelo_vec::PieceLength(), 2147483647LL) << bad;
    }
  }
  EXPECT_EQ(kvelo_vec::PieceLength(), 2147483647LL);
}

template <class T>
class VecPiecesJoin : public ::testing::Test {};
using Elements = ::testing::Types<int, float, double, long long, cf, cd>;
TYPED_TEST_SUITE(VecPiecesJoin, Elements);

TYPED_TEST(VecPiecesJoin, EveryKernelRunsOverEveryPiece) {
  using T = TypeParam;
  kvtest::PieceLengthScope scope(3);  // 10 elements: pieces of 3, 3, 3 and a last of 1
  ArrayVec<T, long long> x = Ramp<T>(10);
  ArrayVec<T, long long> y(10);
  for (T& e : y.v) e = T(1);
  // Dot product: the pieces' sums added, 1 + 2 + ... + 10.
  EXPECT_EQ(AsC(x * y), cd(55.0, 0.0));
  // Multiply-add and scaling reach both sides of every cut and the last piece's element.
  EXPECT_EQ(x.Axpy(y, T(2)), 0);
  for (long long i : {0LL, 2LL, 3LL, 8LL, 9LL}) EXPECT_EQ(AsC(y.v[static_cast<size_t>(i)]), AsC(T(static_cast<int>(3 + 2 * i)))) << i;
  x *= T(3);  // x_i = 3 (i + 1)
  for (long long i : {0LL, 2LL, 3LL, 8LL, 9LL}) EXPECT_EQ(AsC(x.v[static_cast<size_t>(i)]), AsC(T(static_cast<int>(3 * (i + 1))))) << i;
  // Norms: the largest (30) stands alone in the last piece; one-norm 3 * 55; two-norm
  // 3 sqrt(385).
  EXPECT_EQ(x.Nrm(NRM_INF), 30.0);
  EXPECT_EQ(x.Nrm(NRM_ONE), 165.0);
  EXPECT_NEAR(x.Nrm(NRM_TWO), 3.0 * std::sqrt(385.0), 1e-12 * 60.0);
  // The largest in the first piece is kept against the smaller results of later pieces.
  x.v[0] = T(-100);
  EXPECT_EQ(x.Nrm(NRM_INF), 100.0);
  double norm = 0.0;
  ArrayVec<T, long long> z = Ramp<T>(7);
  EXPECT_EQ(z.Normalize(NRM_INF, &norm), 0);
  EXPECT_EQ(norm, 7.0);
}

template <class T>
class VecPiecesNaN : public ::testing::Test {};
using FloatingElements = ::testing::Types<float, double, cf, cd>;
TYPED_TEST_SUITE(VecPiecesNaN, FloatingElements);

TYPED_TEST(VecPiecesNaN, ANaNInAnyPieceReachesEveryNorm) {
  using T = TypeParam;
  using R = typename RealOf<T>::type;
  const R nan = std::numeric_limits<R>::quiet_NaN();
  kvtest::PieceLengthScope scope(3);
  // The NaN in each position in turn: in a first, middle or last piece, before or after the
  // piece holding the largest finite value (10, in the last piece).
  for (size_t at = 0; at < 10; ++at) {
    ArrayVec<T, long long> x = Ramp<T>(10);
    x.v[at] = T(nan);
    EXPECT_TRUE(std::isnan(x.Nrm(NRM_INF))) << at;
    EXPECT_TRUE(std::isnan(x.Nrm(NRM_ONE))) << at;
    EXPECT_TRUE(std::isnan(x.Nrm(NRM_TWO))) << at;
  }
}
