/* itf_kernels.cpp: the library's own complex kernels: unit-stride complex dot products on top
 * of the dependency's ?DOTC/?DOTU, and GEMV with one real and one complex operand, which no
 * BLAS offers. The matrix-vector products follow the reference GEMV step by step. */
#include "blas/itf_kernels.h"

#include <cstdint>

#include "blas/itf_fortran.h"

namespace kvelo_blas {

void kvelozdot(const int* n, const std::complex<double>* x, const std::complex<double>* y,
               std::complex<double>* result, const int* conj)
{
    const int one = 1;
    *result = *conj ? zdotc_(n, x, &one, y, &one) : zdotu_(n, x, &one, y, &one);
}

void kvelocdot(const int* n, const std::complex<float>* x, const std::complex<float>* y,
               std::complex<float>* result, const int* conj)
{
    const int one = 1;
    *result = *conj ? cdotc_(n, x, &one, y, &one) : cdotu_(n, x, &one, y, &one);
}

namespace {

using zc = std::complex<double>;

// Products spelled out: std::complex's operator* recovers infinities the C99 way, which
// would make the kernels depart from the plain (ac - bd) + (ad + bc)i of the reference GEMV.
inline zc mul(zc a, zc b)
{
    return zc(a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real());
}
inline zc mul(zc a, double r) { return zc(a.real() * r, a.imag() * r); }
inline zc mul(double r, zc a) { return zc(r * a.real(), r * a.imag()); }

// Exact comparisons: a NaN part makes a value nonzero, as in the reference code.
inline bool is_zero(zc v) { return v.real() == 0.0 && v.imag() == 0.0; }
inline bool is_zero(double v) { return v == 0.0; }
inline bool is_one(zc v) { return v.real() == 1.0 && v.imag() == 0.0; }

inline double op_a(double v, bool) { return v; }
inline zc op_a(zc v, bool conj) { return conj ? zc(v.real(), -v.imag()) : v; }

// y := alpha*op(A)*x + beta*y where exactly one of A (AT) and x (XT) is real.
template <class AT, class XT>
void gemv_mixed(const char* srname, const char* trans, int m, int n, zc alpha, const AT* a,
                int lda, const XT* x, int incx, zc beta, zc* y, int incy)
{
    const bool notrans = lsame_(trans, "N", 1, 1) != 0;
    const bool conjtr = lsame_(trans, "C", 1, 1) != 0;
    int info = 0;
    if (!notrans && !lsame_(trans, "T", 1, 1) && !conjtr)
        info = 1;
    else if (m < 0)
        info = 2;
    else if (n < 0)
        info = 3;
    else if (lda < (m > 1 ? m : 1))
        info = 6;
    else if (incx == 0)
        info = 8;
    else if (incy == 0)
        info = 11;
    if (info != 0) {
        xerbla_(srname, &info, 7);
        return;
    }

    if (m == 0 || n == 0 || (is_zero(alpha) && is_one(beta)))
        return;

    // 64-bit offsets: LDA*N and the strides' spans may pass 2^31.
    const std::int64_t lenx = notrans ? n : m;
    const std::int64_t leny = notrans ? m : n;
    const std::int64_t kx = incx > 0 ? 0 : -(lenx - 1) * incx;
    const std::int64_t ky = incy > 0 ? 0 : -(leny - 1) * incy;
    const std::int64_t ld = lda;

    if (!is_one(beta)) {
        std::int64_t iy = ky;
        if (is_zero(beta)) {
            for (std::int64_t i = 0; i < leny; ++i, iy += incy)
                y[iy] = zc(0.0, 0.0);
        } else {
            for (std::int64_t i = 0; i < leny; ++i, iy += incy)
                y[iy] = mul(beta, y[iy]);
        }
    }
    if (is_zero(alpha))
        return;

    if (notrans) {
        std::int64_t jx = kx;
        for (std::int64_t j = 0; j < n; ++j, jx += incx) {
            if (!is_zero(x[jx])) {
                const zc temp = mul(alpha, x[jx]);
                const AT* col = a + j * ld;
                std::int64_t iy = ky;
                for (std::int64_t i = 0; i < m; ++i, iy += incy)
                    y[iy] += mul(temp, col[i]);
            }
        }
    } else {
        std::int64_t jy = ky;
        for (std::int64_t j = 0; j < n; ++j, jy += incy) {
            zc temp(0.0, 0.0);
            const AT* col = a + j * ld;
            std::int64_t ix = kx;
            for (std::int64_t i = 0; i < m; ++i, ix += incx)
                temp += mul(op_a(col[i], conjtr), x[ix]);
            y[jy] += mul(alpha, temp);
        }
    }
}

}  // namespace

void dzgemv(const char* trans, const int* m, const int* n, const std::complex<double>* alpha,
            const double* a, const int* lda, const std::complex<double>* x, const int* incx,
            const std::complex<double>* beta, std::complex<double>* y, const int* incy,
            std::size_t /*trans_len: only the first letter counts*/)
{
    gemv_mixed("DZGEMV ", trans, *m, *n, *alpha, a, *lda, x, *incx, *beta, y, *incy);
}

void zdgemv(const char* trans, const int* m, const int* n, const std::complex<double>* alpha,
            const std::complex<double>* a, const int* lda, const double* x, const int* incx,
            const std::complex<double>* beta, std::complex<double>* y, const int* incy,
            std::size_t /*trans_len: only the first letter counts*/)
{
    gemv_mixed("ZDGEMV ", trans, *m, *n, *alpha, a, *lda, x, *incx, *beta, y, *incy);
}

}  // namespace kvelo_blas
