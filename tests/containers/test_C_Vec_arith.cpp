/* test_C_Vec_arith.cpp: arithmetic, norms and extreme positions of the abstract vector,
 * over every one of the twelve instances (each kernel family: BLAS real, BLAS complex with
 * the conjugated dot, integer loops; 32-bit and 64-bit index types), the block walks through
 * Extract for storage without contiguous data, the role swap of the dot product, and the
 * splitter that cuts lengths into blocks (the pieces of long vectors: test_C_Vec_pieces).
 * Expected values are hand computations. */
#include "C_Vec.h"
#include "derived_vec.h"
#include "vec_files.h"
#include "vec_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <utility>
#include <vector>

using cd = std::complex<double>;
using cf = std::complex<float>;

namespace {

using kvtest::AsC;
using kvtest::RealOf;

template <class T, class I>
ArrayVec<T, I> Make(std::initializer_list<int> vals) {
  ArrayVec<T, I> v(static_cast<I>(vals.size()));
  I i = 0;
  for (int x : vals) v.v[static_cast<size_t>(i++)] = T(x);
  return v;
}

template <class T, class I>
void ExpectValues(ArrayVec<T, I>& v, std::initializer_list<double> expect) {
  ASSERT_EQ(static_cast<size_t>(v.Dim()), expect.size());
  size_t i = 0;
  for (double e : expect) {
    EXPECT_NEAR(std::abs(AsC(v.v[i]) - cd(e, 0.0)), 0.0, 1e-6) << "element " << i;
    ++i;
  }
}

template <class Pair>
class VecArith : public ::testing::Test {};

using Instances = ::testing::Types<std::pair<int, int>, std::pair<float, int>, std::pair<double, int>,
                                   std::pair<long long, int>, std::pair<cf, int>, std::pair<cd, int>,
                                   std::pair<int, long long>, std::pair<float, long long>,
                                   std::pair<double, long long>, std::pair<long long, long long>,
                                   std::pair<cf, long long>, std::pair<cd, long long>>;
TYPED_TEST_SUITE(VecArith, Instances);

}  // namespace

TYPED_TEST(VecArith, ScaleAndAddScalar) {
  using T = typename TypeParam::first_type;
  using I = typename TypeParam::second_type;
  auto x = Make<T, I>({1, -2, 3});
  x *= T(2);
  ExpectValues(x, {2, -4, 6});
  x += T(5);
  ExpectValues(x, {7, 1, 11});
}

TYPED_TEST(VecArith, DotAxpyAndVectorUpdates) {
  using T = typename TypeParam::first_type;
  using I = typename TypeParam::second_type;
  auto x = Make<T, I>({1, 2, 3});
  auto v = Make<T, I>({4, 5, 6});
  EXPECT_EQ(AsC(x * v), cd(32.0, 0.0));

  auto y = Make<T, I>({1, 1, 1});
  EXPECT_EQ(x.Axpy(y, T(2)), 0);
  ExpectValues(y, {3, 5, 7});
  ExpectValues(x, {1, 2, 3});  // x is not changed

  auto a = Make<T, I>({1, 2});
  auto b = Make<T, I>({10, 20});
  a += b;
  ExpectValues(a, {11, 22});
  auto c = Make<T, I>({1, 2});
  c -= b;
  ExpectValues(c, {-9, -18});
  ExpectValues(b, {10, 20});

  ArrayVec<T, I> e0, e1;
  EXPECT_EQ(AsC(e0 * e1), cd(0.0, 0.0));
}

TYPED_TEST(VecArith, CopyAndDiff) {
  using T = typename TypeParam::first_type;
  using I = typename TypeParam::second_type;
  auto src = Make<T, I>({7, -8, 9});
  ArrayVec<T, I> dst(1);
  EXPECT_EQ(dst.Copy(src), 0);
  ExpectValues(dst, {7, -8, 9});

  auto p = Make<T, I>({1, 2});
  auto q = Make<T, I>({4, 6});
  double d = -1.0;
  EXPECT_EQ(p.Diff(q, d), 0);
  EXPECT_DOUBLE_EQ(d, 25.0);  // no square root
}

TYPED_TEST(VecArith, Norms) {
  using T = typename TypeParam::first_type;
  using I = typename TypeParam::second_type;
  auto x = Make<T, I>({3, -4});
  EXPECT_DOUBLE_EQ(x.Nrm(NRM_INF), 4.0);
  EXPECT_DOUBLE_EQ(x.Nrm(NRM_ONE), 7.0);
  EXPECT_DOUBLE_EQ(x.Nrm(NRM_TWO), 5.0);
  EXPECT_DOUBLE_EQ(x.Nrm2(), 5.0);
  EXPECT_DOUBLE_EQ(x.NrmInf(), 4.0);
  EXPECT_KVELO_CODE(x.Nrm(static_cast<E_NrmType>(7)), 3);

  ArrayVec<T, I> empty;
  for (int t : {0, 1, 2, 7}) EXPECT_EQ(empty.Nrm(static_cast<E_NrmType>(t)), 0.0);

  ChunkVec<T, I> noAddress(2);  // no contiguous address: 38, even for a bad type
  EXPECT_KVELO_CODE(noAddress.Nrm(NRM_TWO), 38);
  EXPECT_KVELO_CODE(noAddress.Nrm(static_cast<E_NrmType>(7)), 38);
}

TYPED_TEST(VecArith, ExtremePositionsRangeRule) {
  using T = typename TypeParam::first_type;
  using I = typename TypeParam::second_type;
  // BLAS searches (real and complex types with int indices) answer -1 for an empty range,
  // the loops -2.
  const bool blas = !std::is_integral<T>::value && std::is_same<I, int>::value;
  const I empty = blas ? -1 : -2;
  auto x = Make<T, I>({2, 9, 4});
  EXPECT_EQ(x.IMax(0, -1), 1);
  EXPECT_EQ(x.IMin(0, -1), 0);
  EXPECT_EQ(x.IMax(1, 2), 0);  // offset from first
  EXPECT_EQ(x.IMin(1, 2), 1);
  EXPECT_EQ(x.IMax(2, 1), empty);
  // last past the end is clamped; a first outside the vector gives the empty result and
  // reads nothing.
  EXPECT_EQ(x.IMax(0, 100), 1);
  EXPECT_EQ(x.IMin(2, 50), 0);
  EXPECT_EQ(x.IMax(-1, 2), empty);
  EXPECT_EQ(x.IMax(3, -1), empty);
  EXPECT_EQ(x.IMin(4, -1), empty);
  ArrayVec<T, I> none;
  EXPECT_EQ(none.IMax(0, -1), empty);

  x.inCore = 0;
  EXPECT_KVELO_CODE(x.IMax(0, -1), 38);
  EXPECT_KVELO_CODE(x.IMin(0, -1), 38);
}

TYPED_TEST(VecArith, DimensionAndStorageErrors) {
  using T = typename TypeParam::first_type;
  using I = typename TypeParam::second_type;
  auto a = Make<T, I>({1, 2, 3});
  auto b = Make<T, I>({1, 2});
  double d = 0.0;
  EXPECT_KVELO_CODE(a * b, 2872);
  EXPECT_KVELO_CODE(a.Axpy(b, T(1)), 2872);
  EXPECT_KVELO_CODE(a += b, 2872);
  EXPECT_KVELO_CODE(a -= b, 2872);
  EXPECT_KVELO_CODE(a.Diff(b, d), 2872);

  // Axpy: empty vectors need nothing; a vector that is not full cannot be updated.
  ArrayVec<T, I> e0, e1;
  e0.full = 0;
  EXPECT_EQ(e0.Axpy(e1, T(1)), 0);
  auto nf = Make<T, I>({1, 2, 3});
  nf.full = 0;
  EXPECT_KVELO_CODE(nf.Axpy(a, T(1)), 2873);
  EXPECT_KVELO_CODE(a.Axpy(nf, T(1)), 2873);

  // Scaling needs in core and full.
  EXPECT_KVELO_CODE(nf *= T(2), 38);
  auto oc = Make<T, I>({1});
  oc.inCore = 0;
  EXPECT_KVELO_CODE(oc *= T(2), 38);

  // Adding a scalar needs an address unless empty.
  ChunkVec<T, I> na(0);
  na += T(1);  // empty: nothing, not even a test of the address
  ChunkVec<T, I> nb(2);
  EXPECT_KVELO_CODE(nb += T(1), 38);

  // Diff without contiguous data or not full (different objects): 14008; with itself: 0.
  ChunkVec<T, I> c3(3);
  EXPECT_KVELO_CODE(a.Diff(c3, d), 14008);
  EXPECT_KVELO_CODE(c3.Diff(a, d), 14008);
  EXPECT_KVELO_CODE(nf.Diff(a, d), 14008);
  d = 5.0;
  EXPECT_EQ(c3.Diff(c3, d), 0);
  EXPECT_EQ(d, 0.0);
  // Two empty vectors are at distance 0, whatever their storage.
  ChunkVec<T, I> z0(0), z1(0);
  d = 5.0;
  EXPECT_EQ(z0.Diff(z1, d), 0);
  EXPECT_EQ(d, 0.0);
}

TYPED_TEST(VecArith, CopyErrors) {
  using T = typename TypeParam::first_type;
  using I = typename TypeParam::second_type;
  auto src = Make<T, I>({1, 2, 3});
  auto dst = Make<T, I>({9});
  dst.full = 0;
  EXPECT_KVELO_CODE(dst.Copy(src), 12);
  EXPECT_EQ(dst.Dim(), 1);  // unchanged

  // A copy that cannot be made is refused before the resize: the target keeps its shape and
  // values (not in core, or a contiguous source without an address).
  auto out = Make<T, I>({9});
  out.inCore = 0;
  EXPECT_KVELO_CODE(out.Copy(src), 38);
  ExpectValues(out, {9});
  auto into = Make<T, I>({9});
  ChunkVec<T, I> noAddress(3);
  noAddress.inCore = 1;
  EXPECT_KVELO_CODE(into.Copy(noAddress), 38);
  ExpectValues(into, {9});
}

TYPED_TEST(VecArith, BlockWalksMatchContiguousResults) {
  using T = typename TypeParam::first_type;
  using I = typename TypeParam::second_type;
  const I n = 10000;
  ArrayVec<T, I> x(n);
  ChunkVec<T, I> v(n);
  for (I i = 0; i < n; ++i) {
    x.v[static_cast<size_t>(i)] = T(1);
    v.SetVal(i, T(static_cast<int>(i % 7)));
  }
  // 0+1+...+6 repeated: 1428 full cycles (sum 21 each) and 4 more (0+1+2+3).
  const double expect = 1428.0 * 21.0 + 6.0;
  // x alone is contiguous: v walks its own storage with the roles exchanged.
  EXPECT_EQ(AsC(x * v), cd(expect, 0.0));
  // Straight block walk: three blocks of 4096, 4096 and 1808, v's block fetched first.
  v.extracts.clear();
  EXPECT_EQ(AsC(v * x), cd(expect, 0.0));
  ASSERT_EQ(v.extracts.size(), 3u);
  EXPECT_EQ(v.extracts[0].first, 0);
  EXPECT_EQ(v.extracts[0].last, 4095);
  EXPECT_EQ(v.extracts[1].first, 4096);
  EXPECT_EQ(v.extracts[2].first, 8192);
  EXPECT_EQ(v.extracts[2].last, 9999);
  EXPECT_EQ(v.extracts[0].buf, nullptr);  // not in core and no address: its Adr(0), null

  // Axpy into the chunked storage writes through the blocks Extract hands out.
  EXPECT_EQ(x.Axpy(v, T(2)), 0);
  for (I i : {I(0), I(4095), I(4096), I(9999)})
    EXPECT_EQ(AsC(v.GetVal(i)), AsC(T(static_cast<int>(i % 7) + 2))) << i;
  // And from the chunked storage into a contiguous vector.
  ArrayVec<T, I> y(n);
  EXPECT_EQ(v.Axpy(y, T(1)), 0);
  EXPECT_EQ(AsC(y.v[9999]), AsC(T(static_cast<int>(9999 % 7) + 2)));
}

TEST(VecBlocks, BufferHandedToExtractIsTheAddressOfAVectorNotInCore) {
  ChunkVec<double, int> a(5), b(5);
  double home = 0.0;
  a.adr = &home;  // not in core, but it answers Adr(0) with a buffer of its own
  for (int i = 0; i < 5; ++i) {
    a.SetVal(i, 1.0);
    b.SetVal(i, i);
  }
  EXPECT_EQ(a * b, 10.0);
  ASSERT_EQ(a.extracts.size(), 1u);
  EXPECT_EQ(a.extracts[0].buf, &home);
  ASSERT_EQ(b.extracts.size(), 1u);
  EXPECT_EQ(b.extracts[0].buf, nullptr);
}

TEST(VecBlocks, ExtractFaultPassesThrough) {
  // A class that does not provide Extract: its 2871 comes through the block walk.
  BareVec<double, int> bare(3);
  ChunkVec<double, int> c(3);
  c.inCore = 1;  // in core but without address
  EXPECT_KVELO_CODE(bare.Axpy(c, 1.0), 38);  // both in core: contiguous path, no address
  c.inCore = 0;
  EXPECT_KVELO_CODE(c.Axpy(bare, 1.0), 2871);
}

TEST(VecComplex, DotConjugatesTheFirstOperandOnEveryPath) {
  ArrayVec<cd, int> x{cd(0, 1)};
  ArrayVec<cd, int> v{cd(0, 1)};
  EXPECT_EQ(x * v, cd(1, 0));
  ChunkVec<cd, int> cv(1);
  cv.SetVal(0, cd(0, 1));
  EXPECT_EQ(x * cv, cd(1, 0));  // exchanged roles, conjugated back
  EXPECT_EQ(cv * x, cd(1, 0));  // block walk

  ArrayVec<cd, long long> a{cd(1, 2), cd(3, -1)};
  ArrayVec<cd, long long> b{cd(2, 0), cd(0, 1)};
  // conj(1+2i)*2 + conj(3-i)*i = (2-4i) + (3+i)i = (2-4i) + (-1+3i) = 1 - i
  EXPECT_EQ(a * b, cd(1, -1));
  ChunkVec<cd, long long> cb(2);
  cb.SetVal(0, cd(2, 0));
  cb.SetVal(1, cd(0, 1));
  EXPECT_EQ(a * cb, cd(1, -1));

  ArrayVec<cf, int> fx{cf(0, 1)};
  ChunkVec<cf, int> fv(1);
  fv.SetVal(0, cf(2, 3));
  // conj(i)(2+3i) = -i(2+3i) = 3 - 2i
  EXPECT_EQ(fx * fv, cf(3, -2));
}

TEST(VecComplex, DiffUsesTheComplexSquare) {
  ArrayVec<cd, int> x{cd(1, 0), cd(0, 1)};
  ArrayVec<cd, int> z{cd(0, 0), cd(0, 0)};
  double d = -1.0;
  EXPECT_EQ(x.Diff(z, d), 0);
  EXPECT_EQ(d, 0.0);  // 1^2 + i^2 = 0
  ArrayVec<cf, long long> a{cf(1, 1)};
  ArrayVec<cf, long long> b{cf(0, 0)};
  EXPECT_EQ(a.Diff(b, d), 0);
  EXPECT_DOUBLE_EQ(d, 2.0);  // (1+i)^2 = 2i, modulus 2
}

TEST(VecNorms, ComplexInfinityNormIsTheLargestModulus) {
  ArrayVec<cd, int> a{cd(3, 4)};
  EXPECT_DOUBLE_EQ(a.Nrm(NRM_INF), 5.0);
  EXPECT_DOUBLE_EQ(a.Nrm(NRM_ONE), 5.0);
  EXPECT_DOUBLE_EQ(a.Nrm(NRM_TWO), 5.0);
  // |Re| + |Im| would pick 3+3i (6 > 5), whose modulus sqrt(18) = 4.24 is not the largest.
  ArrayVec<cd, int> b{cd(3, 3), cd(5, 0)};
  EXPECT_EQ(b.Nrm(NRM_INF), 5.0);
  ArrayVec<cf, long long> c{cf(3, 3), cf(5, 0)};
  EXPECT_EQ(c.Nrm(NRM_INF), 5.0);
  ArrayVec<cd, int> d{cd(3, 0), cd(2, 2)};  // 2+2i: |Re| + |Im| = 4 > 3, modulus 2.83 < 3
  EXPECT_EQ(d.Nrm(NRM_INF), 3.0);
  ArrayVec<cd, int> e{cd(1, 0), cd(INFINITY, NAN)};
  EXPECT_TRUE(std::isnan(e.Nrm(NRM_INF)));
}

TEST(VecNorms, IntegerNormsAndNormalize) {
  ArrayVec<long long, int> a{-7, 2};
  ArrayVec<long long, long long> b{-7, 2};
  EXPECT_EQ(a.Nrm(NRM_INF), 7.0);
  EXPECT_EQ(b.Nrm(NRM_INF), 7.0);

  ArrayVec<int, int> c{3, 4};
  double norm = 0.0;
  EXPECT_EQ(c.Normalize(NRM_TWO, &norm), 0);
  EXPECT_EQ(norm, 5.0);
  EXPECT_EQ(c.v, (std::vector<int>{0, 0}));  // 1/5 in integers
  ArrayVec<int, int> d{1, 0};
  EXPECT_EQ(d.Normalize(NRM_TWO, &norm), 0);
  EXPECT_EQ(d.v, (std::vector<int>{1, 0}));
  ArrayVec<int, long long> e{-1, 1};  // one-norm 2: the factor is 0
  EXPECT_EQ(e.Normalize(NRM_ONE, nullptr), 0);
  EXPECT_EQ(e.v, (std::vector<int>{0, 0}));
  // The most negative value has the magnitude 2^31.
  ArrayVec<int, int> m{std::numeric_limits<int>::min(), 5};
  EXPECT_EQ(m.Nrm(NRM_INF), 2147483648.0);
}

TEST(VecNorms, NormalizeDouble) {
  ArrayVec<double, int> x{3.0, -4.0};
  double norm = 0.0;
  EXPECT_EQ(x.Normalize(NRM_ONE, &norm), 0);
  EXPECT_EQ(norm, 7.0);
  EXPECT_DOUBLE_EQ(x.v[0], 3.0 / 7.0);
  EXPECT_DOUBLE_EQ(x.v[1], -4.0 / 7.0);

  ArrayVec<double, int> z{0.0, 0.0};
  norm = -1.0;
  EXPECT_EQ(z.Normalize(NRM_TWO, &norm), 0);
  EXPECT_EQ(norm, 0.0);
  EXPECT_EQ(z.v, (std::vector<double>{0.0, 0.0}));

  ArrayVec<double, long long> y{0.0, 2.0};
  EXPECT_EQ(y.Normalize(NRM_INF, nullptr), 0);  // scaled all the same
  EXPECT_EQ(y.v, (std::vector<double>{0.0, 1.0}));

  ArrayVec<cd, int> c{cd(0, 2)};
  EXPECT_EQ(c.Normalize(NRM_TWO, &norm), 0);
  EXPECT_EQ(norm, 2.0);
  EXPECT_EQ(c.v[0], cd(0, 1));

  ChunkVec<double, int> noAddress(2);
  EXPECT_KVELO_CODE(noAddress.Normalize(NRM_TWO, &norm), 38);
}

TEST(VecSearch, KernelFamiliesChooseDifferently) {
  // Magnitudes through the BLAS for double with int indices...
  ArrayVec<double, int> a{1, -5, 3};
  EXPECT_EQ(a.IMax(0, -1), 1);
  EXPECT_EQ(a.IMin(0, -1), 0);
  EXPECT_EQ(a.IMax(1, 2), 0);
  // ...signed values for long long indices.
  ArrayVec<double, long long> b{1, -5, 3};
  EXPECT_EQ(b.IMax(0, -1), 2);
  EXPECT_EQ(b.IMin(0, -1), 1);
  // int with int indices: magnitudes, the first of equal ones.
  ArrayVec<int, int> c{4, -4};
  EXPECT_EQ(c.IMax(0, -1), 0);
  ArrayVec<int, int> c2{1, -5, 3};
  EXPECT_EQ(c2.IMax(0, -1), 1);
  // long long with int indices: signed values.
  ArrayVec<long long, int> d{1, -5, 3};
  EXPECT_EQ(d.IMax(0, -1), 2);
  EXPECT_EQ(d.IMin(0, -1), 1);
  // complex with long long indices: real parts only.
  ArrayVec<cd, long long> e{cd(1, 9), cd(2, 0)};
  EXPECT_EQ(e.IMax(0, -1), 1);
  // complex with int indices: |Re| + |Im| through the BLAS.
  ArrayVec<cd, int> f{cd(1, 9), cd(2, 0)};
  EXPECT_EQ(f.IMax(0, -1), 0);
  EXPECT_EQ(f.IMin(0, -1), 1);
  ArrayVec<float, int> g{2, -7, 7};
  EXPECT_EQ(g.IMax(0, -1), 1);  // the first of equal magnitudes
}

TEST(VecSplit, BlockSplitterEdges) {
  struct Case {
    int n, max, blocks, size, last;
  };
  const Case cases[] = {{0, 4096, 1, 0, 0},           {1, 4096, 1, 1, 1},
                        {4096, 4096, 1, 4096, 4096},  {4097, 4096, 2, 4096, 1},
                        {8192, 4096, 2, 4096, 4096},  {10000, 4096, 3, 4096, 1808},
                        {2147483647, 4096, 524288, 4096, 4095}};
  for (const Case& c : cases) {
    int nb = -1, bs = -1, lbs = -1;
    SplitCountInBlocks(c.n, c.max, nb, bs, lbs);
    EXPECT_EQ(nb, c.blocks) << c.n;
    EXPECT_EQ(bs, c.size) << c.n;
    EXPECT_EQ(lbs, c.last) << c.n;
  }
}

TEST(VecWrap, IntegerKernelsWrapInsteadOfOverflowing) {
  const int big = std::numeric_limits<int>::max();
  ArrayVec<int, int> x{big, 1};
  ArrayVec<int, int> y{1, 1};
  EXPECT_EQ(x * y, std::numeric_limits<int>::min());  // formed in int, wraps
  x *= 2;
  EXPECT_EQ(x.v[0], -2);
  ArrayVec<long long, long long> h{std::numeric_limits<long long>::max()};
  h += 1LL;
  EXPECT_EQ(h.v[0], std::numeric_limits<long long>::min());
}

TEST(VecNorms, SumsOfMagnitudesAndSquaresAreFormedInDouble) {
  // int: (2e9, 2e9) has the one-norm 4e9 and the two-norm 2e9 sqrt(2), both beyond int;
  // the most negative int has the magnitude 2^31.
  ArrayVec<int, int> i{2000000000, 2000000000};
  EXPECT_EQ(i.Nrm(NRM_ONE), 4e9);
  EXPECT_DOUBLE_EQ(i.Nrm(NRM_TWO), std::sqrt(8e18));
  ArrayVec<int, long long> il{std::numeric_limits<int>::min(), std::numeric_limits<int>::min()};
  EXPECT_EQ(il.Nrm(NRM_ONE), 4294967296.0);
  EXPECT_DOUBLE_EQ(il.Nrm(NRM_TWO), 2147483648.0 * std::sqrt(2.0));
  // float: 2^24 followed by 1000 ones sums to 16778216, where single precision stops at
  // 2^24; squares of 3e20 and 4e20 overflow single precision, their root 5e20 does not.
  ArrayVec<float, int> f(1001);
  f.v[0] = 16777216.0f;
  for (int k = 1; k <= 1000; ++k) f.v[static_cast<size_t>(k)] = 1.0f;
  EXPECT_EQ(f.Nrm(NRM_ONE), 16778216.0);
  ArrayVec<float, long long> big{3e20f, -4e20f};
  EXPECT_NEAR(big.Nrm(NRM_TWO), 5e20, 5e20 * 1e-7);
  EXPECT_NEAR(big.Nrm(NRM_ONE), 7e20, 7e20 * 1e-7);
  // complex<float>: |3e38 + 3e38 i| = 3e38 sqrt(2) lies beyond single precision.
  ArrayVec<cf, int> z{cf(3e38f, 3e38f)};
  const double m = static_cast<double>(3e38f) * std::sqrt(2.0);
  EXPECT_NEAR(z.Nrm(NRM_INF), m, m * 1e-12);
  EXPECT_NEAR(z.Nrm(NRM_ONE), m, m * 1e-12);
  EXPECT_NEAR(z.Nrm(NRM_TWO), m, m * 1e-12);
  // long long: squares of 2^62 lie beyond long long.
  ArrayVec<long long, int> h{1LL << 62};
  EXPECT_EQ(h.Nrm(NRM_TWO), 4611686018427387904.0);
}

TEST(VecNorms, DiffIsFormedInDouble) {
  // (2e9 - (-2e9))^2 = 1.6e19 for int; (3e20 - 0)^2 = 9e40 for float; for complex<float>
  // (3e20 i)^2 = -9e40, modulus 9e40.
  double d = 0.0;
  ArrayVec<int, int> a{2000000000}, b{-2000000000};
  EXPECT_EQ(a.Diff(b, d), 0);
  EXPECT_EQ(d, 1.6e19);
  ArrayVec<float, int> f{3e20f}, g{0.0f};
  EXPECT_EQ(f.Diff(g, d), 0);
  const double s = static_cast<double>(3e20f) * static_cast<double>(3e20f);
  EXPECT_DOUBLE_EQ(d, s);
  ArrayVec<cf, long long> z{cf(0.0f, 3e20f)}, w{cf(0.0f, 0.0f)};
  EXPECT_EQ(z.Diff(w, d), 0);
  EXPECT_DOUBLE_EQ(d, s);
}

// ---------------------------------------------------------------------------------------
// Finite values near the ends of the range: norms, normalisation and distances whose
// intermediate squares or sums leave the range while the result does not. Expected values
// come from std::hypot (which neither overflows nor underflows) or by hand.
// ---------------------------------------------------------------------------------------
namespace {

template <class Pair>
class VecRangeEnds : public ::testing::Test {};
using FloatingInstances = ::testing::Types<std::pair<float, int>, std::pair<double, int>, std::pair<cf, int>,
                                           std::pair<cd, int>, std::pair<float, long long>,
                                           std::pair<double, long long>, std::pair<cf, long long>,
                                           std::pair<cd, long long>>;
TYPED_TEST_SUITE(VecRangeEnds, FloatingInstances);

// (a, -b) as two real elements, or as the one complex element a - b i.
template <class T, class I, class R>
ArrayVec<T, I> TwoParts(R a, R b) {
  if constexpr (std::is_floating_point<T>::value)
    return ArrayVec<T, I>{T(a), T(-b)};
  else
    return ArrayVec<T, I>{T(a, -b)};
}

// (m, m) as a complex element, m as a real one.
template <class T, class R>
T Both(R m) {
  if constexpr (std::is_floating_point<T>::value)
    return T(m);
  else
    return T(m, m);
}

// The parts of v in order (one per real element, two per complex one).
template <class T, class I>
std::vector<double> Parts(const ArrayVec<T, I>& v) {
  std::vector<double> out;
  for (const T& e : v.v) {
    const cd c = AsC(e);
    out.push_back(c.real());
    if (!std::is_floating_point<T>::value) out.push_back(c.imag());
  }
  return out;
}

}  // namespace

TYPED_TEST(VecRangeEnds, TwoNormAndNormalizeWhereSquaresLeaveTheRange) {
  using T = typename TypeParam::first_type;
  using I = typename TypeParam::second_type;
  using R = typename RealOf<T>::type;
  const bool single = std::is_same<R, float>::value;
  const double tol = single ? 1e-6 : 1e-14;
  // Squares of 3B and 4B overflow (B = 1e200, 1e37 in single precision) or underflow
  // (1e-200, 1e-40) the element type; the last scale makes subnormal elements.
  const std::vector<double> scales = single ? std::vector<double>{1e37, 1e-40, 1e-44}
                                            : std::vector<double>{1e200, 1e-200, 1e-320};
  for (double B : scales) {
    const R a = static_cast<R>(3.0 * B), b = static_cast<R>(4.0 * B);
    ArrayVec<T, I> x = TwoParts<T, I>(a, b);
    const double expect = std::hypot(static_cast<double>(a), static_cast<double>(b));
    EXPECT_NEAR(x.Nrm(NRM_TWO), expect, expect * tol) << B;
    double norm = 0.0;
    EXPECT_EQ(x.Normalize(NRM_TWO, &norm), 0) << B;
    EXPECT_NEAR(norm, expect, expect * tol) << B;
    const std::vector<double> parts = Parts(x);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_NEAR(parts[0], static_cast<double>(a) / expect, tol) << B;
    EXPECT_NEAR(parts[1], -static_cast<double>(b) / expect, tol) << B;
  }
}

TYPED_TEST(VecRangeEnds, NormalizeWhenTheNormLeavesTheRange) {
  using T = typename TypeParam::first_type;
  using I = typename TypeParam::second_type;
  using R = typename RealOf<T>::type;
  const bool single = std::is_same<R, float>::value;
  const double tol = single ? 1e-6 : 1e-14;
  // Two elements of (M, M): the one-norm (2 M real, 2 sqrt(2) M complex) and the two-norm
  // (sqrt(2) M, 2 M) lie beyond the element type (beyond double for double elements), while
  // every normalised part is 1/2, 1/sqrt(8), 1/sqrt(2) or 1/2.
  const R M = static_cast<R>(std::numeric_limits<R>::max() / static_cast<R>(1.2));
  const bool complex = !std::is_floating_point<T>::value;
  struct Case {
    E_NrmType type;
    double part;
  };
  const Case cases[] = {{NRM_ONE, complex ? 1.0 / std::sqrt(8.0) : 0.5}, {NRM_TWO, complex ? 0.5 : 1.0 / std::sqrt(2.0)}};
  for (const Case& c : cases) {
    ArrayVec<T, I> x(2);
    for (T& e : x.v) e = Both<T>(M);
    double norm = 0.0;
    EXPECT_EQ(x.Normalize(c.type, &norm), 0) << c.type;
    const double expectNorm = static_cast<double>(M) / c.part;
    if (single)
      EXPECT_NEAR(norm, expectNorm, expectNorm * tol) << c.type;
    else
      EXPECT_EQ(norm, HUGE_VAL) << c.type;  // the norm itself lies beyond double
    for (double p : Parts(x)) EXPECT_NEAR(p, c.part, tol) << c.type;
  }
}

TEST(VecRangeEnds, ComplexDiffOfSquaresThatCancel) {
  double d = -1.0;
  // (1.5e154)^2 + (1.5e154 i)^2 = 0, though each square overflows.
  ArrayVec<cd, int> x{cd(1.5e154, 0), cd(0, 1.5e154)}, z{cd(0, 0), cd(0, 0)};
  EXPECT_EQ(x.Diff(z, d), 0);
  EXPECT_EQ(d, 0.0);
  // Differences that overflow themselves: (3e308)^2 + (3e308 i)^2 = 0.
  ArrayVec<cd, long long> p{cd(1.5e308, 0), cd(0, 1.5e308)}, q{cd(-1.5e308, 0), cd(0, -1.5e308)};
  EXPECT_EQ(p.Diff(q, d), 0);
  EXPECT_EQ(d, 0.0);
  // (1.4e154)^2 - (1e154)^2 = 0.96e308, within double although the first square is not.
  ArrayVec<cd, int> r{cd(1.4e154, 0), cd(0, 1e154)};
  EXPECT_EQ(r.Diff(z, d), 0);
  EXPECT_NEAR(d, 0.96e308, 1e293);
  // A sum beyond double stays infinite.
  ArrayVec<cd, int> s{cd(1e200, 0), cd(1e200, 0)};
  EXPECT_EQ(s.Diff(z, d), 0);
  EXPECT_EQ(d, HUGE_VAL);
}

// ---------------------------------------------------------------------------------------
// NaN: once an element holds one, every norm is NaN and the searches name it.
// ---------------------------------------------------------------------------------------
TYPED_TEST(VecRangeEnds, EveryNormAndSearchMeetsANaN) {
  using T = typename TypeParam::first_type;
  using I = typename TypeParam::second_type;
  using R = typename RealOf<T>::type;
  const R nan = std::numeric_limits<R>::quiet_NaN(), inf = std::numeric_limits<R>::infinity();
  // Lengths either side of the BLAS searches' vector widths; the NaN in each position in
  // turn, among values 1, 2, 3, 1, 2, 3, ... (the BLAS searches pass over most of these).
  for (I n : {1, 2, 3, 5, 8, 17, 33}) {
    for (I at = 0; at < n; ++at) {
      ArrayVec<T, I> x(n);
      for (I i = 0; i < n; ++i) x.v[static_cast<size_t>(i)] = T(static_cast<R>(i % 3 + 1));
      x.v[static_cast<size_t>(at)] = T(nan);
      EXPECT_TRUE(std::isnan(x.Nrm(NRM_INF))) << n << " " << at;
      EXPECT_TRUE(std::isnan(x.Nrm(NRM_ONE))) << n << " " << at;
      EXPECT_TRUE(std::isnan(x.Nrm(NRM_TWO))) << n << " " << at;
      EXPECT_EQ(x.IMax(0, -1), at) << n;
      EXPECT_EQ(x.IMin(0, -1), at) << n;
      if (at > 0) {  // a range that ends before the NaN searches as always
        EXPECT_EQ(x.IMax(0, at - 1), at - 1 >= 2 ? 2 : at - 1) << n << " " << at;
        EXPECT_EQ(x.IMin(0, at - 1), 0) << n << " " << at;
      }
    }
  }
  // Beside an infinity the NaN still wins; so does a NaN part beside an infinite part of one
  // complex element, whose modulus the C library makes infinite.
  ArrayVec<T, I> both(2);
  both.v[0] = T(inf);
  both.v[1] = T(nan);
  for (E_NrmType t : {NRM_INF, NRM_ONE, NRM_TWO}) EXPECT_TRUE(std::isnan(both.Nrm(t))) << t;
  EXPECT_EQ(both.IMax(0, -1), 1);
  if constexpr (!std::is_floating_point<T>::value) {
    ArrayVec<T, I> mixed{T(1), T(inf, nan)};
    for (E_NrmType t : {NRM_INF, NRM_ONE, NRM_TWO}) EXPECT_TRUE(std::isnan(mixed.Nrm(t))) << t;
    ArrayVec<T, I> zero{T(0), T(0)};
    double d = 0.0;
    EXPECT_EQ(mixed.Diff(zero, d), 0);
    EXPECT_TRUE(std::isnan(d));
  }
  ArrayVec<T, I> y{T(1), T(nan)}, w{T(1), T(0)};
  double d = 0.0;
  EXPECT_EQ(y.Diff(w, d), 0);
  EXPECT_TRUE(std::isnan(d));
}
