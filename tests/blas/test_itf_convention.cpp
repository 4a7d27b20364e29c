/* test_itf_convention.cpp: each class of the ITF_* calling convention once, through the real
 * dependency: scalars by value of every type, written scalars, options given as words, every
 * kind of function result, EQUED, both SELECT shapes, ILAENV and XERBLA. The binary carries
 * its own XERBLA (itf_xerbla_spy.cpp) to see what argument errors report. */
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

#include "ITF_blas_lapack.h"
#include "itf_xerbla_spy.h"

extern "C" {
// The dependency's own ILAENV, to compare ITF_ilaenv against.
int ilaenv_(const int* ispec, const char* name, const char* opts, const int* n1, const int* n2,
            const int* n3, const int* n4, std::size_t lname, std::size_t lopts);
// Calls made from a C translation unit through the same header (itf_header_c.c).
void itf_c_header_dots(double* zre, double* zim, float* cre, float* cim, double* dot);
}

namespace {

using zc = std::complex<double>;
using cc = std::complex<float>;
const double eps = DBL_EPSILON;

TEST(ItfConvention, ScalarInputsByValueOfEveryType)
{
    // int N and INCX, float, double, complex<float>, complex<double> and a real factor of a
    // complex vector: y := alpha*x + y with hand-computed results.
    std::vector<float> xs{1, 2}, ys{10, 20};
    ITF_saxpy(2, 2.5f, xs.data(), 1, ys.data(), 1);
    EXPECT_EQ(ys, (std::vector<float>{12.5f, 25.0f}));

    std::vector<double> xd{1, 2, 3}, yd{1, 1, 1};
    ITF_daxpy(2, -2.0, xd.data(), 2, yd.data(), 1);  // x1 and x3
    EXPECT_EQ(yd, (std::vector<double>{-1, -5, 1}));

    std::vector<cc> xc{cc(1, 1)}, yc{cc(0, 0)};
    ITF_caxpy(1, cc(1, 2), xc.data(), 1, yc.data(), 1);  // (1+2i)(1+i) = -1+3i
    EXPECT_EQ(yc[0], cc(-1, 3));

    std::vector<zc> xz{zc(0, 1)}, yz{zc(1, 0)};
    ITF_zaxpy(1, zc(2, -1), xz.data(), 1, yz.data(), 1);  // 1 + (2-i)i = 2+2i
    EXPECT_EQ(yz[0], zc(2, 2));

    ITF_zdscal(1, 0.5, yz.data(), 1);
    EXPECT_EQ(yz[0], zc(1, 1));
}

TEST(ItfConvention, LogicalScalarInputIsAnIntNonzeroForTrue)
{
    // DLALN2 solves (CA*A - WR*D) X = SCALE*B, or with A transposed when LTRANS is true.
    const double a[4] = {2, 0, 1, 3};  // [[2, 1], [0, 3]] by columns
    const double b[2] = {5, 6};
    double x[2], scale = 0, xnorm = 0;
    int info = -1;
    ITF_dlaln2(0, 2, 1, 1e-10, 1.0, a, 2, 1.0, 1.0, b, 2, 0.0, 0.0, x, 2, &scale, &xnorm, &info);
    ASSERT_EQ(info, 0);
    EXPECT_EQ(scale, 1.0);
    EXPECT_NEAR(x[0], 1.5, 4 * eps);
    EXPECT_NEAR(x[1], 2.0, 4 * eps);
    EXPECT_EQ(xnorm, 2.0);  // infinity norm of X

    ITF_dlaln2(1, 2, 1, 1e-10, 1.0, a, 2, 1.0, 1.0, b, 2, 0.0, 0.0, x, 2, &scale, &xnorm, &info);
    ASSERT_EQ(info, 0);
    EXPECT_NEAR(x[0], 2.5, 4 * eps);
    EXPECT_NEAR(x[1], 3.5 / 3.0, 4 * eps);
}

TEST(ItfConvention, WrittenScalarsReachTheCallersVariables)
{
    double a = 3, b = 4, c = 0, s = 0;
    ITF_drotg(&a, &b, &c, &s);
    EXPECT_NEAR(a, 5.0, 4 * eps);        // r
    EXPECT_NEAR(c, 0.6, 4 * eps);
    EXPECT_NEAR(s, 0.8, 4 * eps);
    EXPECT_NEAR(b, 1.0 / 0.6, 8 * eps);  // z = 1/c when |a| <= |b|

    double cs = 0, sn = 0, r = 0;
    ITF_dlartg(3.0, 4.0, &cs, &sn, &r);
    EXPECT_NEAR(cs, 0.6, 4 * eps);
    EXPECT_NEAR(sn, 0.8, 4 * eps);
    EXPECT_NEAR(r, 5.0, 4 * eps);

    // SCALE and SUMSQ are input/output: scale^2*sumsq grows by the sum of squares.
    const double x[2] = {3, 4};
    double scale = 1, sumsq = 0;
    ITF_dlassq(2, x, 1, &scale, &sumsq);
    EXPECT_NEAR(scale * scale * sumsq, 25.0, 64 * eps);
    scale = 2;
    sumsq = 1;
    ITF_dlassq(2, x, 1, &scale, &sumsq);
    EXPECT_NEAR(scale * scale * sumsq, 29.0, 64 * eps);
}

int select_positive_real(const double* re, const double*) { return *re > 0; }

TEST(ItfConvention, GeesWritesSdimAndCallsTheRealSelect)
{
    // Upper triangular, eigenvalues 1, -2, 3: two have a positive real part.
    std::vector<double> a{1, 0, 0, 4, -2, 0, 5, 6, 3};
    std::vector<double> wr(3), wi(3), vs(9), work(64);
    std::vector<int> bwork(3);
    int sdim = -1, info = -1;
    ITF_dgees("V", "S", select_positive_real, 3, a.data(), 3, &sdim, wr.data(), wi.data(),
              vs.data(), 3, work.data(), 64, bwork.data(), &info);
    ASSERT_EQ(info, 0);
    EXPECT_EQ(sdim, 2);
    EXPECT_GT(wr[0], 0);
    EXPECT_GT(wr[1], 0);
    EXPECT_NEAR(wr[0] + wr[1], 4.0, 32 * eps);
    EXPECT_NEAR(wr[2], -2.0, 32 * eps);
}

TEST(ItfConvention, GeesxWritesSdimRcondeAndRcondv)
{
    // diag(1, 3, -2), normal: selecting {1, 3} gives RCONDE = 1 and RCONDV = sep = 3.
    std::vector<double> a{1, 0, 0, 0, 3, 0, 0, 0, -2};
    std::vector<double> wr(3), wi(3), vs(9), work(100);
    std::vector<int> iwork(100), bwork(3);
    int sdim = -1, info = -1;
    double rconde = -1, rcondv = -1;
    ITF_dgeesx("V", "S", select_positive_real, "B", 3, a.data(), 3, &sdim, wr.data(), wi.data(),
               vs.data(), 3, &rconde, &rcondv, work.data(), 100, iwork.data(), 100, bwork.data(),
               &info);
    ASSERT_EQ(info, 0);
    EXPECT_EQ(sdim, 2);
    EXPECT_NEAR(rconde, 1.0, 64 * eps);
    EXPECT_NEAR(rcondv, 3.0, 64 * eps);
}

std::vector<zc> g_selected_seen;
int select_positive_complex(const zc* w)
{
    g_selected_seen.push_back(*w);
    return w->real() > 0;
}

TEST(ItfConvention, ComplexGeesCallsTheOneArgumentSelect)
{
    // Upper triangular with diagonal i, -1, 2: only 2 has a positive real part.
    std::vector<zc> a{zc(0, 1), 0, 0, zc(1, 1), zc(-1, 0), 0, zc(3, 0), zc(0, -2), zc(2, 0)};
    std::vector<zc> w(3), vs(9), work(64);
    std::vector<double> rwork(3);
    std::vector<int> bwork(3);
    int sdim = -1, info = -1;
    g_selected_seen.clear();
    ITF_zgees("V", "S", select_positive_complex, 3, a.data(), 3, &sdim, w.data(), vs.data(), 3,
              work.data(), 64, rwork.data(), bwork.data(), &info);
    ASSERT_EQ(info, 0);
    EXPECT_EQ(sdim, 1);
    EXPECT_NEAR(std::abs(w[0] - zc(2, 0)), 0.0, 32 * eps);
    ASSERT_FALSE(g_selected_seen.empty());
    bool saw_i = false;
    for (const zc& v : g_selected_seen)
        saw_i = saw_i || std::abs(v - zc(0, 1)) < 1e-12;
    EXPECT_TRUE(saw_i);
}

TEST(ItfConvention, SyevxWritesTheNumberOfEigenvaluesFound)
{
    std::vector<double> a{1, 0, 0, 0, 2, 0, 0, 0, 3}, w(3), z(9), work(64);
    std::vector<int> iwork(15), ifail(3);
    int m = -1, info = -1;
    ITF_dsyevx("N", "V", "L", 3, a.data(), 3, 1.5, 3.5, 0, 0, 0.0, &m, w.data(), z.data(), 3,
               work.data(), 64, iwork.data(), ifail.data(), &info);
    ASSERT_EQ(info, 0);
    EXPECT_EQ(m, 2);
    EXPECT_NEAR(w[0], 2.0, 16 * eps);
    EXPECT_NEAR(w[1], 3.0, 16 * eps);
}

TEST(ItfConvention, OptionGivenAsAWordActsAsItsFirstLetter)
{
    const double a[4] = {1, 3, 2, 4};  // [[1, 2], [3, 4]]
    const double id[4] = {1, 0, 0, 1};
    double c1[4] = {0}, c2[4] = {0};
    ITF_dgemm("Transpose", "No transpose", 2, 2, 2, 1.0, a, 2, id, 2, 0.0, c1, 2);
    ITF_dgemm("T", "N", 2, 2, 2, 1.0, a, 2, id, 2, 0.0, c2, 2);
    EXPECT_EQ(std::vector<double>(c1, c1 + 4), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(std::vector<double>(c2, c2 + 4), (std::vector<double>{1, 2, 3, 4}));

    double y[2] = {0, 0};
    const double x[2] = {1, 1};
    ITF_dgemv("transposed", 2, 2, 1.0, a, 2, x, 1, 0.0, y, 1);  // lower case too
    EXPECT_EQ(y[0], 4.0);
    EXPECT_EQ(y[1], 6.0);
}

TEST(ItfConvention, EveryKindOfFunctionResult)
{
    const float xf[3] = {1, 2, 3}, yf[3] = {4, 5, 6};
    EXPECT_EQ(ITF_sdot(3, xf, 1, yf, 1), 32.0f);
    const double xd[3] = {1, 2, 3}, yd[2] = {4, 5};
    EXPECT_EQ(ITF_ddot(2, xd, 2, yd, 1), 19.0);  // 1*4 + 3*5

    const double m[3] = {1, -5, 5};
    EXPECT_EQ(ITF_idamax(3, m, 1), 2);
    EXPECT_EQ(ITF_idamax(0, m, 1), 0);

    EXPECT_NE(ITF_lsame("a", "A"), 0);
    EXPECT_EQ(ITF_lsame("a", "b"), 0);

    // Complex results come back as values; nothing is written through X or Y.
    const cc xc[2] = {cc(1, 2), cc(3, -1)}, yc[2] = {cc(2, 1), cc(0, 1)};
    EXPECT_EQ(ITF_cdotc(2, xc, 1, yc, 1), cc(3, 0));
    EXPECT_EQ(ITF_cdotu(2, xc, 1, yc, 1), cc(1, 8));
    EXPECT_EQ(xc[0], cc(1, 2));
    EXPECT_EQ(yc[1], cc(0, 1));

    // ZDOTC with INCX = 2 takes x1 and x3 and conjugates them; ZDOTU does not conjugate.
    const zc xz[3] = {zc(1, 1), zc(100, 100), zc(0, 2)}, yz[2] = {zc(1, 0), zc(0, 1)};
    EXPECT_EQ(ITF_zdotc(2, xz, 2, yz, 1), zc(3, -1));  // (1-i)*1 + (-2i)*i = 3 - i
    EXPECT_EQ(ITF_zdotu(2, xz, 2, yz, 1), zc(-1, 1));  // (1+i)*1 + (2i)*i = -1 + i

    EXPECT_EQ(ITF_dlamch("E"), DBL_EPSILON / 2);
    EXPECT_EQ(ITF_slamch("E"), FLT_EPSILON / 2);
    EXPECT_EQ(ITF_dlamch("Precision"), DBL_EPSILON);
    EXPECT_EQ(ITF_dlapy2(3.0, 4.0), 5.0);
    const zc v[3] = {zc(3, 0), zc(0, -4), zc(1, 1)};
    EXPECT_EQ(ITF_izmax1(3, v, 1), 2);
}

TEST(ItfConvention, EquedIsWrittenThroughTheCallersCharacter)
{
    // Rows of very different size: only row scaling is worth doing.
    std::vector<double> a{1e6, 0, 0, 1e-6};
    double r[2], c[2], rowcnd = 0, colcnd = 0, amax = 0;
    int info = -1;
    ITF_dgeequ(2, 2, a.data(), 2, r, c, &rowcnd, &colcnd, &amax, &info);
    ASSERT_EQ(info, 0);
    EXPECT_NEAR(rowcnd, 1e-12, 1e-12 * 8 * eps);
    EXPECT_EQ(colcnd, 1.0);
    EXPECT_EQ(amax, 1e6);
    char equed = '?';
    ITF_dlaqge(2, 2, a.data(), 2, r, c, rowcnd, colcnd, amax, &equed);
    EXPECT_EQ(equed, 'R');
    EXPECT_EQ(a, (std::vector<double>{1, 0, 0, 1}));

    // The expert driver equilibrates, says how in EQUED and still solves A x = b.
    std::vector<double> m{1e8, 3, 2e8, 4}, af(4), b{3e8, 7}, x(2), work(8);
    std::vector<int> ipiv(2), iwork(2);
    double rr[2], cc2[2], rcond = -1, ferr = -1, berr = -1;
    char eq = '?';
    ITF_dgesvx("E", "N", 2, 1, m.data(), 2, af.data(), 2, ipiv.data(), &eq, rr, cc2, b.data(), 2,
               x.data(), 2, &rcond, &ferr, &berr, work.data(), iwork.data(), &info);
    ASSERT_EQ(info, 0);
    EXPECT_EQ(eq, 'R');
    EXPECT_GT(rcond, 0.0);
    EXPECT_NEAR(x[0], 1.0, 64 * eps);
    EXPECT_NEAR(x[1], 1.0, 64 * eps);
}

TEST(ItfConvention, IlaenvReturnsWhatTheDependencyReturns)
{
    const int ispec = 1, n = 1000, m1 = -1;
    const int direct = ilaenv_(&ispec, "DGETRF", " ", &n, &m1, &m1, &m1, 6, 1);
    const int via = ITF_ilaenv(1, "DGETRF", " ", 1000, -1, -1, -1);
    EXPECT_EQ(via, direct);
    EXPECT_GE(via, 1);
}

TEST(ItfConvention, XerblaAndTheRoutinesArgumentErrors)
{
    // The name as the handler reads it: six characters at most.
    xerbla_spy_reset();
    const int info = 4;
    ITF_xerbla("DLONGERNAME", &info);
    EXPECT_EQ(xerbla_spy().calls, 1);
    EXPECT_EQ(xerbla_spy().name, "DLONGE");
    EXPECT_EQ(xerbla_spy().len, 6u);
    EXPECT_EQ(xerbla_spy().info, 4);

    // A BLAS routine reports a bad option only through the handler, with its own name.
    double c[1] = {42};
    const double a[1] = {1};
    xerbla_spy_reset();
    ITF_dgemm("Q", "N", 1, 1, 1, 1.0, a, 1, a, 1, 0.0, c, 1);
    EXPECT_EQ(xerbla_spy().calls, 1);
    EXPECT_EQ(xerbla_spy().trimmed, "DGEMM");
    EXPECT_EQ(xerbla_spy().info, 1);
    EXPECT_EQ(c[0], 42.0);

    // A LAPACK routine sets INFO in the caller's variable and tells the handler too.
    double m[1] = {1};
    int ipiv[1], inf = 0;
    xerbla_spy_reset();
    ITF_dgetrf(-1, 1, m, 1, ipiv, &inf);
    EXPECT_EQ(inf, -1);
    EXPECT_EQ(xerbla_spy().trimmed, "DGETRF");
    EXPECT_EQ(xerbla_spy().info, 1);
}

TEST(ItfConvention, UsableFromC)
{
    double zre = 0, zim = 0, dot = 0;
    float cre = 0, cim = 0;
    itf_c_header_dots(&zre, &zim, &cre, &cim, &dot);
    EXPECT_EQ(zre, 3.0);  // zdotc of (1+i, 2i) with (1, i): 3 - i
    EXPECT_EQ(zim, -1.0);
    EXPECT_EQ(cre, 1.0f);  // cdotu of (1+2i, 3-i) with (2+i, i): 1 + 8i
    EXPECT_EQ(cim, 8.0f);
    EXPECT_EQ(dot, 32.0);
}

}  // namespace
