/* test_itf_functional.cpp: the BLAS and LAPACK entry points that the containers and the
 * Kriging model call, checked against small hand-computed cases in the precisions they use. */
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <vector>

#include "ITF_blas_lapack.h"

namespace {

using zc = std::complex<double>;
using cc = std::complex<float>;
using dv = std::vector<double>;
using zv = std::vector<zc>;
const double eps = DBL_EPSILON;
const zc I(0, 1);

void expect_near(const dv& got, const dv& want, double tol)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], want[i], tol) << "element " << i;
}

void expect_near(const zv& got, const zv& want, double tol)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(std::abs(got[i] - want[i]), 0.0, tol) << "element " << i;
}

TEST(ItfFunctional, Gemv)
{
    const dv a{1, 4, 2, 5, 3, 6};  // [[1, 2, 3], [4, 5, 6]]
    dv y{1, 1};
    const dv x{1, 1, 1};
    ITF_dgemv("N", 2, 3, 2.0, a.data(), 2, x.data(), 1, -1.0, y.data(), 1);
    EXPECT_EQ(y, (dv{11, 29}));
    dv yt(3, 7.0);
    const dv xt{1, -1};
    ITF_dgemv("T", 2, 3, 1.0, a.data(), 2, xt.data(), 1, 0.0, yt.data(), 1);
    EXPECT_EQ(yt, (dv{-3, -3, -3}));

    const zv az{zc(1, 1), zc(0, 2)};  // 1 by 2
    zv yz{zc(0, 0)};
    const zv xz{zc(1, 0), zc(0, 1)};
    ITF_zgemv("N", 1, 2, zc(1, 0), az.data(), 1, xz.data(), 1, zc(0, 0), yz.data(), 1);
    EXPECT_EQ(yz[0], zc(-1, 1));
    zv yc(2);
    const zv x1{zc(2, 0)};
    ITF_zgemv("C", 1, 2, zc(1, 0), az.data(), 1, x1.data(), 1, zc(0, 0), yc.data(), 1);
    EXPECT_EQ(yc, (zv{zc(2, -2), zc(0, -4)}));
}

TEST(ItfFunctional, Gemm)
{
    const dv a{1, 4, 2, 5, 3, 6};        // 2 by 3
    const dv b{1, 0, 1, 0, 1, 1};        // [[1, 0], [0, 1], [1, 1]]
    dv c(4, -1.0);
    ITF_dgemm("N", "N", 2, 2, 3, 1.0, a.data(), 2, b.data(), 3, 0.0, c.data(), 2);
    EXPECT_EQ(c, (dv{4, 10, 5, 11}));

    const zv ai{I}, bi{I};
    zv ci{zc(5, 5)};
    ITF_zgemm("N", "N", 1, 1, 1, zc(1, 0), ai.data(), 1, bi.data(), 1, zc(0, 0), ci.data(), 1);
    EXPECT_EQ(ci[0], zc(-1, 0));
    ITF_zgemm("C", "N", 1, 1, 1, zc(1, 0), ai.data(), 1, bi.data(), 1, zc(0, 0), ci.data(), 1);
    EXPECT_EQ(ci[0], zc(1, 0));
}

TEST(ItfFunctional, CopyScaleAndZeroLengths)
{
    dv x{1, 2, 3}, y(3, 0.0);
    ITF_dcopy(3, x.data(), 1, y.data(), 1);
    EXPECT_EQ(y, x);
    ITF_dscal(0, 5.0, x.data(), 1);
    EXPECT_EQ(x, (dv{1, 2, 3}));
    ITF_dscal(2, 5.0, x.data(), 2);
    EXPECT_EQ(x, (dv{5, 2, 15}));
    zv z{zc(1, 1)}, w{zc(0, 0)};
    ITF_zcopy(1, z.data(), 1, w.data(), 1);
    ITF_zscal(1, I, w.data(), 1);
    EXPECT_EQ(w[0], zc(-1, 1));
    std::vector<float> f{2, 4};
    ITF_sscal(2, 0.5f, f.data(), 1);
    EXPECT_EQ(f, (std::vector<float>{1, 2}));
    std::vector<cc> fc{cc(1, 0)};
    ITF_cscal(1, cc(0, 2), fc.data(), 1);
    EXPECT_EQ(fc[0], cc(0, 2));
}

TEST(ItfFunctional, Nrm2)
{
    const dv x{3, 99, 4};
    EXPECT_NEAR(ITF_dnrm2(2, x.data(), 2), 5.0, 4 * eps);
    EXPECT_EQ(ITF_dnrm2(0, x.data(), 1), 0.0);
    const zv z{zc(3, 4), zc(0, 12)};
    EXPECT_NEAR(ITF_dznrm2(2, z.data(), 1), 13.0, 16 * eps);
}

TEST(ItfFunctional, IndexOfLargestAndSmallestAbsoluteValue)
{
    // Complex elements are measured by |re| + |im| (not the modulus) and ties go to the first.
    const std::vector<float> f{4, -1, 1, -4};
    const dv d{4, -1, 1, -4};
    const std::vector<cc> c{cc(3, 0), cc(2, -2), cc(0, 4), cc(0.5f, 0.5f)};
    const zv z{zc(3, 0), zc(2, -2), zc(0, 4), zc(0.5, 0.5)};
    struct Case {
        const char* what;
        int got, want;
    } cases[] = {
        {"isamax", ITF_isamax(4, f.data(), 1), 1},
        {"idamax", ITF_idamax(4, d.data(), 1), 1},
        {"icamax", ITF_icamax(4, c.data(), 1), 2},
        {"izamax", ITF_izamax(4, z.data(), 1), 2},
        {"isamin", ITF_isamin(4, f.data(), 1), 2},
        {"idamin", ITF_idamin(4, d.data(), 1), 2},
        {"icamin", ITF_icamin(4, c.data(), 1), 4},
        {"izamin", ITF_izamin(4, z.data(), 1), 4},
        {"idamax stride 2", ITF_idamax(2, d.data(), 2), 1},
        {"idamin stride 2", ITF_idamin(2, d.data() + 1, 2), 1},
        {"isamax n = 0", ITF_isamax(0, f.data(), 1), 0},
        {"idamax n = 0", ITF_idamax(0, d.data(), 1), 0},
        {"icamin n = 0", ITF_icamin(0, c.data(), 1), 0},
        {"izamin n = -1", ITF_izamin(-1, z.data(), 1), 0},
    };
    for (const Case& k : cases)
        EXPECT_EQ(k.got, k.want) << k.what;
}

TEST(ItfFunctional, PackedTriangularProduct)
{
    const dv ap{1, 2, 3};  // upper [[1, 2], [0, 3]]
    dv x{1, 1};
    ITF_dtpmv("U", "N", "N", 2, ap.data(), x.data(), 1);
    EXPECT_EQ(x, (dv{3, 3}));
    x = {1, 1};
    ITF_dtpmv("U", "T", "N", 2, ap.data(), x.data(), 1);
    EXPECT_EQ(x, (dv{1, 5}));

    const zv lp{zc(99, 99), I, zc(99, 99)};  // unit lower [[1, 0], [i, 1]]
    zv z{zc(1, 0), zc(1, 0)};
    ITF_ztpmv("L", "N", "U", 2, lp.data(), z.data(), 1);
    EXPECT_EQ(z, (zv{zc(1, 0), zc(1, 1)}));
}

TEST(ItfFunctional, PackedSymmetricProduct)
{
    const dv ap{2, 1, 3};  // [[2, 1], [1, 3]], packed either side
    const dv x{1, 2};
    dv y(2, 9.0);
    ITF_dspmv("U", 2, 1.0, ap.data(), x.data(), 1, 0.0, y.data(), 1);
    EXPECT_EQ(y, (dv{4, 7}));
    ITF_dspmv("L", 2, 2.0, ap.data(), x.data(), 1, 1.0, y.data(), 1);
    EXPECT_EQ(y, (dv{12, 21}));

    // Complex symmetric (not Hermitian): [[i, 1], [1, 2]].
    const zv zp{I, zc(1, 0), zc(2, 0)};
    const zv zx{zc(1, 0), I};
    zv zy(2);
    ITF_zspmv("U", 2, zc(1, 0), zp.data(), zx.data(), 1, zc(0, 0), zy.data(), 1);
    EXPECT_EQ(zy, (zv{zc(0, 2), zc(1, 2)}));
}

TEST(ItfFunctional, LuFactorAndSolve)
{
    dv a{4, 6, 3, 3};  // [[4, 3], [6, 3]]
    std::vector<int> ipiv(2);
    int info = -1;
    ITF_dgetrf(2, 2, a.data(), 2, ipiv.data(), &info);
    ASSERT_EQ(info, 0);
    EXPECT_EQ(ipiv[0], 2);
    expect_near(a, dv{6, 4.0 / 6.0, 3, 1}, 4 * eps);
    dv b{10, 12};  // A * (1, 2)
    ITF_dgetrs("N", 2, 1, a.data(), 2, ipiv.data(), b.data(), 2, &info);
    ASSERT_EQ(info, 0);
    expect_near(b, dv{1, 2}, 8 * eps);
    dv bt{16, 9};  // A^T * (1, 2)
    ITF_dgetrs("T", 2, 1, a.data(), 2, ipiv.data(), bt.data(), 2, &info);
    expect_near(bt, dv{1, 2}, 8 * eps);

    dv s{1, 2, 0, 0};  // second column zero
    ITF_dgetrf(2, 2, s.data(), 2, ipiv.data(), &info);
    EXPECT_EQ(info, 2);

    zv z{I, 0, 0, zc(2, 0)};
    ITF_zgetrf(2, 2, z.data(), 2, ipiv.data(), &info);
    ASSERT_EQ(info, 0);
    zv zb{zc(1, 0), zc(4, 0)};
    ITF_zgetrs("N", 2, 1, z.data(), 2, ipiv.data(), zb.data(), 2, &info);
    ASSERT_EQ(info, 0);
    expect_near(zb, zv{zc(0, -1), zc(2, 0)}, 4 * eps);
}

TEST(ItfFunctional, PackedCholeskyAndTriangularInverse)
{
    dv ap{4, 2, 5};  // upper packed [[4, 2], [2, 5]] = U^T U with U = [[2, 1], [0, 2]]
    int info = -1;
    ITF_dpptrf("U", 2, ap.data(), &info);
    ASSERT_EQ(info, 0);
    expect_near(ap, dv{2, 1, 2}, 4 * eps);
    dv np{1, 2, 1};  // [[1, 2], [2, 1]]: the second leading minor is negative
    ITF_dpptrf("U", 2, np.data(), &info);
    EXPECT_EQ(info, 2);

    dv tp{2, 1, 4};  // upper [[2, 1], [0, 4]]
    ITF_dtptri("U", "N", 2, tp.data(), &info);
    ASSERT_EQ(info, 0);
    expect_near(tp, dv{0.5, -0.125, 0.25}, 4 * eps);
    dv sing{2, 1, 0};
    ITF_dtptri("U", "N", 2, sing.data(), &info);
    EXPECT_EQ(info, 2);

    zv zp{I, zc(1, 0), zc(2, 0)};  // lower [[i, 0], [1, 2]]
    ITF_ztptri("L", "N", 2, zp.data(), &info);
    ASSERT_EQ(info, 0);
    expect_near(zp, zv{zc(0, -1), zc(0, 0.5), zc(0.5, 0)}, 4 * eps);
}

TEST(ItfFunctional, PackedSymmetricSolve)
{
    dv ap{4, 1, 3};  // upper packed [[4, 1], [1, 3]]
    std::vector<int> ipiv(2);
    int info = -1;
    ITF_dsptrf("U", 2, ap.data(), ipiv.data(), &info);
    ASSERT_EQ(info, 0);
    dv b{3, -2};  // A * (1, -1)
    ITF_dsptrs("U", 2, 1, ap.data(), ipiv.data(), b.data(), 2, &info);
    ASSERT_EQ(info, 0);
    expect_near(b, dv{1, -1}, 8 * eps);

    zv zp{I, zc(1, 0), I};  // complex symmetric [[i, 1], [1, i]]
    ITF_zsptrf("U", 2, zp.data(), ipiv.data(), &info);
    ASSERT_EQ(info, 0);
    zv zb{zc(1, 1), zc(1, 1)};  // A * (1, 1)
    ITF_zsptrs("U", 2, 1, zp.data(), ipiv.data(), zb.data(), 2, &info);
    ASSERT_EQ(info, 0);
    expect_near(zb, zv{zc(1, 0), zc(1, 0)}, 8 * eps);
}

TEST(ItfFunctional, LeastSquares)
{
    // Line through (0, 1), (1, 2), (2, 4): normal equations give 5/6 + 3/2 t.
    dv a{1, 1, 1, 0, 1, 2}, b{1, 2, 4};
    dv query(1, 0.0);
    int info = -1;
    ITF_dgels("N", 3, 2, 1, a.data(), 3, b.data(), 3, query.data(), -1, &info);
    ASSERT_EQ(info, 0);
    EXPECT_GE(query[0], 3.0);  // at least min(M,N) + max(min(M,N), NRHS)
    EXPECT_EQ(a, (dv{1, 1, 1, 0, 1, 2}));  // the query computes nothing else
    EXPECT_EQ(b, (dv{1, 2, 4}));
    dv work(static_cast<size_t>(query[0]));
    ITF_dgels("N", 3, 2, 1, a.data(), 3, b.data(), 3, work.data(), int(work.size()), &info);
    ASSERT_EQ(info, 0);
    EXPECT_NEAR(b[0], 5.0 / 6.0, 16 * eps);
    EXPECT_NEAR(b[1], 1.5, 16 * eps);

    zv za{zc(1, 0), I}, zb{zc(1, 0), zc(1, 0)}, zw(64);
    ITF_zgels("N", 2, 1, 1, za.data(), 2, zb.data(), 2, zw.data(), 64, &info);
    ASSERT_EQ(info, 0);
    EXPECT_NEAR(std::abs(zb[0] - zc(0.5, -0.5)), 0.0, 16 * eps);
}

TEST(ItfFunctional, SingularValues)
{
    dv a{3, 4, 0, 5};  // [[3, 0], [4, 5]]: A^T A has eigenvalues 45 and 5
    dv s(2), u(1), vt(1), work(64);
    int info = -1;
    ITF_dgesvd("N", "N", 2, 2, a.data(), 2, s.data(), u.data(), 1, vt.data(), 1, work.data(), 64,
               &info);
    ASSERT_EQ(info, 0);
    expect_near(s, dv{std::sqrt(45.0), std::sqrt(5.0)}, 32 * eps);

    zv z{I, 0, 0, zc(-2, 0)};
    zv zu(1), zvt(1), zw(64);
    dv rw(10);
    ITF_zgesvd("N", "N", 2, 2, z.data(), 2, s.data(), zu.data(), 1, zvt.data(), 1, zw.data(), 64,
               rw.data(), &info);
    ASSERT_EQ(info, 0);
    expect_near(s, dv{2, 1}, 16 * eps);
}

TEST(ItfFunctional, ScaleByReciprocal)
{
    dv x{4, 8, 12};
    ITF_drscl(3, 4.0, x.data(), 1);
    expect_near(x, dv{1, 2, 3}, 4 * eps);
    zv z{zc(2, 4)};
    ITF_zdrscl(1, 2.0, z.data(), 1);
    expect_near(z, zv{zc(1, 2)}, 4 * eps);
}

}  // namespace
