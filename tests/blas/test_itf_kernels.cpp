/* test_itf_kernels.cpp: the library's own kernels behind ITF_kvelozdot, ITF_kvelocdot,
 * ITF_dzgemv and ITF_zdgemv, against hand-computed values: argument errors (reported through
 * XERBLA, caught here by the binary's own handler, Y untouched), quick returns, the exact-zero
 * rules for ALPHA, BETA and x, NaN handling, negative strides and the conjugate transpose. */
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <vector>

#include "ITF_blas_lapack.h"
#include "itf_xerbla_spy.h"

namespace {

using zc = std::complex<double>;
using cc = std::complex<float>;
using zv = std::vector<zc>;
const zc I(0, 1);
const double nan_ = std::numeric_limits<double>::quiet_NaN();

bool same_bits(const zv& a, const zv& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(zc)) == 0;
}

TEST(ItfKernels, ComplexDotConjugatedOrNot)
{
    const zv x{I}, y{I};
    zc r(7, 7);
    ITF_kvelozdot(1, x.data(), y.data(), &r, 1);
    EXPECT_EQ(r, zc(1, 0));
    ITF_kvelozdot(1, x.data(), y.data(), &r, 0);
    EXPECT_EQ(r, zc(-1, 0));
    ITF_kvelozdot(1, x.data(), y.data(), &r, -5);  // any nonzero switch conjugates
    EXPECT_EQ(r, zc(1, 0));

    const zv x2{zc(1, 2), zc(3, -1)}, y2{zc(2, 1), zc(0, 1)};
    ITF_kvelozdot(2, x2.data(), y2.data(), &r, 1);
    EXPECT_EQ(r, zc(3, 0));  // (1-2i)(2+i) + (3+i)i = (4-3i) + (-1+3i)
    ITF_kvelozdot(2, x2.data(), y2.data(), &r, 0);
    EXPECT_EQ(r, zc(1, 8));  // (1+2i)(2+i) + (3-i)i = 5i + (1+3i)

    const std::vector<cc> xf{cc(1, 2), cc(3, -1)}, yf{cc(2, 1), cc(0, 1)};
    cc rf(7, 7);
    ITF_kvelocdot(2, xf.data(), yf.data(), &rf, 1);
    EXPECT_EQ(rf, cc(3, 0));
    ITF_kvelocdot(2, xf.data(), yf.data(), &rf, 0);
    EXPECT_EQ(rf, cc(1, 8));
}

TEST(ItfKernels, ComplexDotOfNoElementsIsZero)
{
    const zv x{I}, y{I};
    for (int n : {0, -3}) {
        zc r(7, 7);
        ITF_kvelozdot(n, x.data(), y.data(), &r, 1);
        EXPECT_EQ(r, zc(0, 0)) << n;
        cc rf(7, 7);
        const std::vector<cc> xf{cc(0, 1)};
        ITF_kvelocdot(n, xf.data(), xf.data(), &rf, 0);
        EXPECT_EQ(rf, cc(0, 0)) << n;
    }
}

// One argument-error case for both mixed GEMV kernels.
struct BadArgs {
    const char* trans;
    int m, n, lda, incx, incy;
    int info;
};

TEST(ItfKernels, ArgumentErrorsGoToXerblaAndLeaveYUntouched)
{
    const BadArgs cases[] = {
        {"Q", 1, 1, 1, 1, 1, 1},  {"N", -1, 1, 1, 1, 1, 2}, {"T", 1, -1, 1, 1, 1, 3},
        {"N", 2, 1, 1, 1, 1, 6},  {"N", 0, 0, 0, 1, 1, 6},  {"C", 1, 1, 1, 0, 1, 8},
        {"N", 1, 1, 1, 1, 0, 11}, {"Q", -1, -1, 0, 0, 0, 1},  // the first failing test wins
        {"n", 3, -2, 0, 0, 0, 3},
    };
    const std::vector<double> ad(8, 1.0), xd(8, 1.0);
    const zv az(8, zc(1, 1)), xz(8, zc(1, 1));
    for (const BadArgs& k : cases) {
        zv y(8, zc(nan_, 5.0));
        const zv before = y;
        xerbla_spy_reset();
        ITF_dzgemv(k.trans, k.m, k.n, zc(1, 0), ad.data(), k.lda, xz.data(), k.incx, zc(0, 0),
                   y.data(), k.incy);
        EXPECT_EQ(xerbla_spy().calls, 1) << k.info;
        EXPECT_EQ(xerbla_spy().name, "DZGEMV ");
        EXPECT_EQ(xerbla_spy().len, 7u);
        EXPECT_EQ(xerbla_spy().info, k.info);
        EXPECT_TRUE(same_bits(y, before)) << k.info;

        xerbla_spy_reset();
        ITF_zdgemv(k.trans, k.m, k.n, zc(1, 0), az.data(), k.lda, xd.data(), k.incx, zc(0, 0),
                   y.data(), k.incy);
        EXPECT_EQ(xerbla_spy().calls, 1) << k.info;
        EXPECT_EQ(xerbla_spy().name, "ZDGEMV ");
        EXPECT_EQ(xerbla_spy().info, k.info);
        EXPECT_TRUE(same_bits(y, before)) << k.info;
    }
}

TEST(ItfKernels, QuickReturnsLeaveYBitForBitUnchanged)
{
    const std::vector<double> a(4, nan_), x(4, 1.0);
    const zv az(4, zc(nan_, nan_)), xz(4, zc(1, 0));
    zv y{zc(nan_, -0.0), zc(-0.0, 3.5)};
    const zv before = y;
    xerbla_spy_reset();
    // M = 0, N = 0 (even with BETA = 0), and ALPHA = 0 with BETA = 1.
    ITF_dzgemv("N", 0, 2, zc(1, 0), a.data(), 1, xz.data(), 1, zc(0, 0), y.data(), 1);
    ITF_dzgemv("T", 2, 0, zc(1, 0), a.data(), 2, xz.data(), 1, zc(0, 0), y.data(), 1);
    ITF_dzgemv("N", 2, 2, zc(0, 0), a.data(), 2, xz.data(), 1, zc(1, 0), y.data(), 1);
    ITF_zdgemv("N", 0, 2, zc(1, 0), az.data(), 1, x.data(), 1, zc(0, 0), y.data(), 1);
    ITF_zdgemv("C", 2, 0, zc(1, 0), az.data(), 2, x.data(), 1, zc(0, 0), y.data(), 1);
    ITF_zdgemv("T", 2, 2, zc(0, 0), az.data(), 2, x.data(), 1, zc(1, 0), y.data(), 1);
    EXPECT_EQ(xerbla_spy().calls, 0);
    EXPECT_TRUE(same_bits(y, before));
}

TEST(ItfKernels, BetaZeroClearsYEvenWhereItHeldNaN)
{
    const std::vector<double> a{1, 2};
    const zv x{zc(1, 0)};
    zv y{zc(nan_, nan_), zc(nan_, 1)};
    ITF_dzgemv("N", 2, 1, zc(0, 0), a.data(), 2, x.data(), 1, zc(0, 0), y.data(), 1);
    EXPECT_EQ(y, (zv{zc(0, 0), zc(0, 0)}));  // ALPHA = 0 too: only the clearing happens

    y = {zc(nan_, 0), zc(1, 1)};
    ITF_dzgemv("N", 2, 1, zc(2, 0), a.data(), 2, x.data(), 1, zc(0, 0), y.data(), 1);
    EXPECT_EQ(y, (zv{zc(2, 0), zc(4, 0)}));

    // BETA other than 0 and 1 scales, ALPHA = 0 then stops.
    y = {zc(1, 1), zc(2, 0)};
    ITF_zdgemv("N", 2, 1, zc(0, 0), nullptr, 2, nullptr, 1, I, y.data(), 1);
    EXPECT_EQ(y, (zv{zc(-1, 1), zc(0, 2)}));
}

TEST(ItfKernels, MixedProductsAgainstHandValues)
{
    // dzgemv: real A = [[1, 2], [3, 4]], complex x = (i, 1).
    const std::vector<double> a{1, 3, 2, 4};
    const zv x{I, zc(1, 0)};
    zv y{zc(1, 0), zc(1, 0)};
    ITF_dzgemv("N", 2, 2, I, a.data(), 2, x.data(), 1, zc(1, 0), y.data(), 1);
    EXPECT_EQ(y, (zv{zc(0, 2), zc(-2, 4)}));  // i*(2+i, 4+3i) + (1, 1)
    for (const char* t : {"T", "C", "c"}) {
        zv yt(2);
        ITF_dzgemv(t, 2, 2, zc(1, 0), a.data(), 2, x.data(), 1, zc(0, 0), yt.data(), 1);
        EXPECT_EQ(yt, (zv{zc(3, 1), zc(4, 2)})) << t;  // A real: C is the same as T
    }

    // zdgemv: complex A = [[1+i, 2], [0, -i]], real x = (2, -1).
    const zv az{zc(1, 1), zc(0, 0), zc(2, 0), zc(0, -1)};
    const std::vector<double> xr{2, -1};
    zv yz(2);
    ITF_zdgemv("N", 2, 2, zc(1, 0), az.data(), 2, xr.data(), 1, zc(0, 0), yz.data(), 1);
    EXPECT_EQ(yz, (zv{zc(0, 2), zc(0, 1)}));
    ITF_zdgemv("T", 2, 2, zc(1, 0), az.data(), 2, xr.data(), 1, zc(0, 0), yz.data(), 1);
    EXPECT_EQ(yz, (zv{zc(2, 2), zc(4, 1)}));
    ITF_zdgemv("C", 2, 2, zc(1, 0), az.data(), 2, xr.data(), 1, zc(0, 0), yz.data(), 1);
    EXPECT_EQ(yz, (zv{zc(2, -2), zc(4, -1)}));
    // ALPHA complex and x real: temp = (Re alpha * x, Im alpha * x).
    ITF_zdgemv("N", 2, 2, zc(0, 2), az.data(), 2, xr.data(), 1, zc(0, 0), yz.data(), 1);
    EXPECT_EQ(yz, (zv{zc(-4, 0), zc(-2, 0)}));
}

TEST(ItfKernels, ConjugateTransposeOfAnImaginaryOneByOne)
{
    const zv a{I};
    const std::vector<double> x{1};
    zv y{zc(nan_, nan_)};
    ITF_zdgemv("C", 1, 1, zc(1, 0), a.data(), 1, x.data(), 1, zc(0, 0), y.data(), 1);
    EXPECT_EQ(y[0], zc(0, -1));
    ITF_zdgemv("T", 1, 1, zc(1, 0), a.data(), 1, x.data(), 1, zc(0, 0), y.data(), 1);
    EXPECT_EQ(y[0], zc(0, 1));
}

TEST(ItfKernels, LowerCaseTransActsAsUpperCase)
{
    const std::vector<double> a{1, 3, 2, 4};
    const zv x{I, zc(1, 0)};
    zv y1(2), y2(2);
    ITF_dzgemv("n", 2, 2, zc(1, 0), a.data(), 2, x.data(), 1, zc(0, 0), y1.data(), 1);
    ITF_dzgemv("N", 2, 2, zc(1, 0), a.data(), 2, x.data(), 1, zc(0, 0), y2.data(), 1);
    EXPECT_EQ(y1, y2);
    EXPECT_EQ(y1, (zv{zc(2, 1), zc(4, 3)}));
}

TEST(ItfKernels, ExactlyZeroXSkipsItsColumnButNaNPartsCount)
{
    // Column 2 of A holds NaN; x2 = 0 exactly keeps it out of Y.
    const std::vector<double> a{1, 1, nan_, nan_};
    zv y(2);
    const zv x0{zc(1, 0), zc(0, 0)};
    ITF_dzgemv("N", 2, 2, zc(1, 0), a.data(), 2, x0.data(), 1, zc(0, 0), y.data(), 1);
    EXPECT_EQ(y, (zv{zc(1, 0), zc(1, 0)}));
    const zv az{zc(1, 0), zc(1, 0), zc(nan_, 0), zc(0, nan_)};
    const std::vector<double> xr{1, 0};
    ITF_zdgemv("N", 2, 2, zc(1, 0), az.data(), 2, xr.data(), 1, zc(0, 0), y.data(), 1);
    EXPECT_EQ(y, (zv{zc(1, 0), zc(1, 0)}));
    // A NaN part makes x2 nonzero: the column is used and the NaN shows.
    const zv xn{zc(1, 0), zc(0, nan_)};
    ITF_dzgemv("N", 2, 2, zc(1, 0), a.data(), 2, xn.data(), 1, zc(0, 0), y.data(), 1);
    EXPECT_TRUE(std::isnan(y[0].real()) || std::isnan(y[0].imag()));
}

TEST(ItfKernels, NegativeStridesWalkFromTheFarEnd)
{
    // M = 1, N = 3, INCX = -1: x is read from its third element back to its first.
    const std::vector<double> a{1, 10, 100};
    const zv x{zc(1, 0), zc(2, 0), zc(3, 0)};
    zv y{zc(0, 0)};
    ITF_dzgemv("N", 1, 3, zc(1, 0), a.data(), 1, x.data(), -1, zc(0, 0), y.data(), 1);
    EXPECT_EQ(y[0], zc(3 + 20 + 100, 0));

    // TRANS = T with INCY = -2: y3 (at index 0) gets the last column, y1 (index 4) the first;
    // the elements between are never touched.
    const zv az{zc(1, 0), zc(2, 0), zc(3, 0)};  // 1 by 3
    const std::vector<double> xr{1};
    zv yt{zc(0, 0), zc(nan_, 9), zc(0, 0), zc(nan_, 9), zc(0, 0)};
    ITF_zdgemv("T", 1, 3, zc(1, 0), az.data(), 1, xr.data(), 1, zc(0, 0), yt.data(), -2);
    EXPECT_EQ(yt[4], zc(1, 0));
    EXPECT_EQ(yt[2], zc(2, 0));
    EXPECT_EQ(yt[0], zc(3, 0));
    EXPECT_TRUE(std::isnan(yt[1].real()) && yt[1].imag() == 9);
    EXPECT_TRUE(std::isnan(yt[3].real()) && yt[3].imag() == 9);

    // TRANS = N with INCY = 2 and INCX = 2 over a leading dimension larger than M.
    const std::vector<double> a2{1, 2, -7, 3, 4, -7};  // 2 by 2 with LDA = 3
    const zv x2{zc(1, 0), zc(nan_, 0), zc(0, 1)};
    zv y2{zc(0, 0), zc(nan_, 1), zc(0, 0)};
    ITF_dzgemv("N", 2, 2, zc(1, 0), a2.data(), 3, x2.data(), 2, zc(0, 0), y2.data(), 2);
    EXPECT_EQ(y2[0], zc(1, 3));
    EXPECT_EQ(y2[2], zc(2, 4));
    EXPECT_TRUE(std::isnan(y2[1].real()));
}

}  // namespace
