/* test_itf_forwarding.cpp: what the ITF_* entry points hand to the dependency. This binary
 * defines its own dgemm_, dgeevx_, ... which the dynamic linker prefers over OpenBLAS's, so
 * each test sees the exact argument list: scalar copies by address, the caller's pointers
 * unchanged, hidden string lengths, SELECT functions and function results as they come. */
#include <gtest/gtest.h>

#include <complex>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "ITF_blas_lapack.h"

namespace {

using zc = std::complex<double>;
using cc = std::complex<float>;

// Everything a spy saw in its last call.
struct Seen {
    int calls = 0;
    std::vector<const void*> ptr;    // pointer arguments in order
    std::vector<double> val;         // values read through scalar pointers
    std::vector<std::size_t> len;    // hidden lengths
    void reset() { *this = Seen(); }
};
Seen seen;

}  // namespace

extern "C" {

void dgemm_(const char* ta, const char* tb, const int* m, const int* n, const int* k,
            const double* alpha, const double* a, const int* lda, const double* b, const int* ldb,
            const double* beta, double* c, const int* ldc, std::size_t lta, std::size_t ltb)
{
    ++seen.calls;
    seen.ptr = {ta, tb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc};
    seen.val = {double(*m), double(*n), double(*k), *alpha, double(*lda), double(*ldb), *beta,
                double(*ldc)};
    seen.len = {lta, ltb};
    // A routine may scribble on its scalar copies; the caller's variables must not notice.
    *const_cast<int*>(m) = -99;
    *const_cast<double*>(alpha) = -99.0;
    *const_cast<int*>(lda) = -99;
}

void dtrmv_(const char* uplo, const char* trans, const char* diag, const int* n, const double* a,
            const int* lda, double* x, const int* incx, std::size_t l1, std::size_t l2,
            std::size_t l3)
{
    ++seen.calls;
    seen.ptr = {uplo, trans, diag, n, a, lda, x, incx};
    seen.val = {double(*n), double(*lda), double(*incx)};
    seen.len = {l1, l2, l3};
}

void dgetrs_(const char* trans, const int* n, const int* nrhs, const double* a, const int* lda,
             const int* ipiv, double* b, const int* ldb, int* info, std::size_t l1)
{
    ++seen.calls;
    seen.ptr = {trans, n, nrhs, a, lda, ipiv, b, ldb, info};
    seen.val = {double(*n), double(*nrhs), double(*lda), double(*ldb)};
    seen.len = {l1};
    *info = 7;
}

void dgeevx_(const char* balanc, const char* jobvl, const char* jobvr, const char* sense,
             const int* n, double* a, const int* lda, double* wr, double* wi, double* vl,
             const int* ldvl, double* vr, const int* ldvr, int* ilo, int* ihi, double* scale,
             double* abnrm, double* rconde, double* rcondv, double* work, const int* lwork,
             int* iwork, int* info, std::size_t l1, std::size_t l2, std::size_t l3, std::size_t l4)
{
    ++seen.calls;
    seen.ptr = {balanc, jobvl, jobvr, sense, n, a, lda, wr, wi, vl, ldvl, vr, ldvr, ilo, ihi,
                scale, abnrm, rconde, rcondv, work, lwork, iwork, info};
    seen.val = {double(*n), double(*lda), double(*ldvl), double(*ldvr), double(*lwork)};
    seen.len = {l1, l2, l3, l4};
    *ilo = 2;
    *ihi = 3;
    *abnrm = 4.5;
    *info = 0;
}

int ilaenv_(const int* ispec, const char* name, const char* opts, const int* n1, const int* n2,
            const int* n3, const int* n4, std::size_t lname, std::size_t lopts)
{
    ++seen.calls;
    seen.ptr = {ispec, name, opts, n1, n2, n3, n4};
    seen.val = {double(*ispec), double(*n1), double(*n2), double(*n3), double(*n4)};
    seen.len = {lname, lopts};
    return 64;
}

void xerbla_(const char* srname, const int* info, std::size_t len)
{
    ++seen.calls;
    seen.ptr = {srname, info};
    seen.val = {double(*info)};
    seen.len = {len};
}

int lsame_(const char* ca, const char* cb, std::size_t la, std::size_t lb)
{
    ++seen.calls;
    seen.ptr = {ca, cb};
    seen.len = {la, lb};
    return 1;
}

zc zdotc_(const int* n, const zc* x, const int* incx, const zc* y, const int* incy)
{
    ++seen.calls;
    seen.ptr = {n, x, incx, y, incy};
    seen.val = {double(*n), double(*incx), double(*incy), 1.0};
    return zc(1.25, -2.5);
}

zc zdotu_(const int* n, const zc* x, const int* incx, const zc* y, const int* incy)
{
    ++seen.calls;
    seen.ptr = {n, x, incx, y, incy};
    seen.val = {double(*n), double(*incx), double(*incy), 0.0};
    return zc(-3.0, 0.5);
}

cc cdotu_(const int* n, const cc* x, const int* incx, const cc* y, const int* incy)
{
    ++seen.calls;
    seen.ptr = {n, x, incx, y, incy};
    seen.val = {double(*n), double(*incx), double(*incy)};
    return cc(0.75f, 8.0f);
}

void zaxpy_(const int* n, const zc* alpha, const zc* x, const int* incx, zc* y, const int* incy)
{
    ++seen.calls;
    seen.ptr = {n, alpha, x, incx, y, incy};
    seen.val = {double(*n), alpha->real(), alpha->imag(), double(*incx), double(*incy)};
}

double dlange_(const char* norm, const int* m, const int* n, const double* a, const int* lda,
               double* work, std::size_t l1)
{
    ++seen.calls;
    seen.ptr = {norm, m, n, a, lda, work};
    seen.len = {l1};
    return 6.5;
}

void dgees_(const char* jobvs, const char* sort, itf_select2_double select, const int* n,
            double* a, const int* lda, int* sdim, double* wr, double* wi, double* vs,
            const int* ldvs, double* work, const int* lwork, int* bwork, int* info,
            std::size_t l1, std::size_t l2)
{
    ++seen.calls;
    seen.ptr = {jobvs, sort, reinterpret_cast<const void*>(select), n, a, lda, sdim, wr, wi,
                vs, ldvs, work, lwork, bwork, info};
    seen.len = {l1, l2};
    *sdim = 1;
    *info = 0;
}

}  // extern "C"

namespace {

int select_any(const double*, const double*) { return 1; }

TEST(ItfForwarding, Dgemm_ScalarsByAddressOfCopiesPointersUnchangedTwoLengths)
{
    const char* ta = "N";
    const char* tb = "Transpose";
    int m = 2, n = 3, k = 4, lda = 5, ldb = 6, ldc = 7;
    double alpha = 1.5, beta = -0.5;
    double a[1] = {0}, b[1] = {0}, c[1] = {0};
    seen.reset();
    ITF_dgemm(ta, tb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
    ASSERT_EQ(seen.calls, 1);
    ASSERT_EQ(seen.ptr.size(), 13u);
    EXPECT_EQ(seen.ptr[0], ta);
    EXPECT_EQ(seen.ptr[1], tb);
    EXPECT_EQ(seen.ptr[6], a);
    EXPECT_EQ(seen.ptr[8], b);
    EXPECT_EQ(seen.ptr[11], c);
    EXPECT_EQ(seen.val, (std::vector<double>{2, 3, 4, 1.5, 5, 6, -0.5, 7}));
    EXPECT_EQ(seen.len, (std::vector<std::size_t>{1, 1}));
    // The routine wrote through its copies of M, ALPHA and LDA: the caller's are intact.
    EXPECT_EQ(m, 2);
    EXPECT_EQ(alpha, 1.5);
    EXPECT_EQ(lda, 5);
    // Scalars go by the address of the entry point's own copies, never the caller's.
    EXPECT_NE(seen.ptr[2], static_cast<const void*>(&m));
}

TEST(ItfForwarding, HiddenLengthsOnePerCharacterFromOneToFour)
{
    double a[1] = {0}, x[1] = {0}, b[1] = {0};
    int ipiv[1] = {1};
    int info = 0;

    seen.reset();
    ITF_dgetrs("N", 3, 1, a, 3, ipiv, b, 3, &info);
    EXPECT_EQ(seen.len, (std::vector<std::size_t>{1}));
    EXPECT_EQ(seen.ptr[8], &info);
    EXPECT_EQ(info, 7);  // INFO reaches the caller through the caller's own pointer

    seen.reset();
    ITF_dtrmv("U", "T", "N", 4, a, 4, x, -2);
    EXPECT_EQ(seen.len, (std::vector<std::size_t>{1, 1, 1}));
    EXPECT_EQ(seen.val, (std::vector<double>{4, 4, -2}));
    EXPECT_EQ(seen.ptr[6], x);

    double wr[2], wi[2], vl[1], vr[1], scale[2], abnrm = 0, rconde[2], rcondv[2], work[1];
    int ilo = 0, ihi = 0, iwork[1];
    seen.reset();
    ITF_dgeevx("B", "N", "V", "E", 2, a, 2, wr, wi, vl, 1, vr, 2, &ilo, &ihi, scale, &abnrm,
               rconde, rcondv, work, 10, iwork, &info);
    EXPECT_EQ(seen.len, (std::vector<std::size_t>{1, 1, 1, 1}));
    EXPECT_EQ(seen.ptr[13], &ilo);
    EXPECT_EQ(seen.ptr[14], &ihi);
    EXPECT_EQ(seen.ptr[16], &abnrm);
    EXPECT_EQ(seen.ptr[17], rconde);
    EXPECT_EQ(seen.ptr[18], rcondv);
    EXPECT_EQ(ilo, 2);
    EXPECT_EQ(ihi, 3);
    EXPECT_EQ(abnrm, 4.5);
}

TEST(ItfForwarding, IlaenvHandsStringLengthsAndIntegerCopies)
{
    const char* name = "DGETRF";
    const char* opts = " ";
    seen.reset();
    EXPECT_EQ(ITF_ilaenv(1, name, opts, 100, -1, -2, -3), 64);
    EXPECT_EQ(seen.ptr[1], name);
    EXPECT_EQ(seen.ptr[2], opts);
    EXPECT_EQ(seen.val, (std::vector<double>{1, 100, -1, -2, -3}));
    EXPECT_EQ(seen.len, (std::vector<std::size_t>{6, 1}));

    seen.reset();
    ITF_ilaenv(2, "ZHETRD", "UL", 1, 2, 3, 4);
    EXPECT_EQ(seen.len, (std::vector<std::size_t>{6, 2}));
}

TEST(ItfForwarding, XerblaHandsNameAndInfoPointerWithLengthSix)
{
    const char* name = "DLONGERNAME";
    const int info = 3;
    seen.reset();
    ITF_xerbla(name, &info);
    ASSERT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.ptr[0], name);
    EXPECT_EQ(seen.ptr[1], &info);  // an input of XERBLA, already an address: unchanged
    EXPECT_EQ(seen.len, (std::vector<std::size_t>{6}));
}

TEST(ItfForwarding, FunctionResultsComeBackUnchanged)
{
    zc x[2], y[2];
    cc xf[1], yf[1];
    double a[1] = {0}, work[1];

    seen.reset();
    EXPECT_EQ(ITF_zdotc(2, x, 3, y, -1), zc(1.25, -2.5));
    EXPECT_EQ(seen.val, (std::vector<double>{2, 3, -1, 1}));
    EXPECT_EQ(seen.ptr[1], x);
    EXPECT_EQ(seen.ptr[3], y);

    seen.reset();
    EXPECT_EQ(ITF_zdotu(2, x, 1, y, 1), zc(-3.0, 0.5));
    EXPECT_EQ(ITF_cdotu(1, xf, 1, yf, 1), cc(0.75f, 8.0f));
    EXPECT_EQ(ITF_dlange("F", 1, 1, a, 1, work), 6.5);
    EXPECT_EQ(seen.len, (std::vector<std::size_t>{1}));

    seen.reset();
    EXPECT_NE(ITF_lsame("x", "y"), 0);  // whatever LSAME answers, as it comes
    EXPECT_EQ(seen.len, (std::vector<std::size_t>{1, 1}));
}

TEST(ItfForwarding, ComplexScalarByAddressOfTheValueReceived)
{
    zc x[1], y[1];
    seen.reset();
    ITF_zaxpy(1, zc(2.0, -7.0), x, 1, y, 1);
    EXPECT_EQ(seen.val, (std::vector<double>{1, 2.0, -7.0, 1, 1}));
    EXPECT_EQ(seen.ptr[2], x);
    EXPECT_EQ(seen.ptr[4], y);
}

TEST(ItfForwarding, SelectFunctionAndWrittenScalarHandedOn)
{
    double a[1] = {0}, wr[1], wi[1], vs[1], work[1];
    int sdim = -1, bwork[1], info = -1;
    seen.reset();
    ITF_dgees("N", "S", select_any, 1, a, 1, &sdim, wr, wi, vs, 1, work, 3, bwork, &info);
    EXPECT_EQ(seen.ptr[2], reinterpret_cast<const void*>(&select_any));
    EXPECT_EQ(seen.ptr[6], &sdim);
    EXPECT_EQ(sdim, 1);
    EXPECT_EQ(info, 0);
    EXPECT_EQ(seen.len, (std::vector<std::size_t>{1, 1}));
}

TEST(ItfForwarding, KveloDotUsesUnitStridesAndConjSwitch)
{
    zc x[3], y[3], r(9, 9);
    seen.reset();
    ITF_kvelozdot(3, x, y, &r, 1);
    EXPECT_EQ(seen.val, (std::vector<double>{3, 1, 1, 1}));  // ZDOTC, strides 1 and 1
    EXPECT_EQ(seen.ptr[1], x);
    EXPECT_EQ(seen.ptr[3], y);
    EXPECT_EQ(r, zc(1.25, -2.5));
    ITF_kvelozdot(3, x, y, &r, 0);
    EXPECT_EQ(seen.val, (std::vector<double>{3, 1, 1, 0}));  // ZDOTU
    EXPECT_EQ(r, zc(-3.0, 0.5));
}

}  // namespace
