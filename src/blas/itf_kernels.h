/* itf_kernels.h: the library's own BLAS-like kernels behind ITF_kvelozdot, ITF_kvelocdot,
 * ITF_dzgemv and ITF_zdgemv. Fortran calling convention: every argument by address, one
 * size_t hidden length for TRANS; argument errors go to the dependency's XERBLA. */
#ifndef KVELO_ITF_KERNELS_H
#define KVELO_ITF_KERNELS_H

#include <complex>
#include <cstddef>

namespace kvelo_blas {

/* *result := sum of conj(x_i)*y_i (conj != 0) or x_i*y_i over n unit-stride elements; 0 for n <= 0. */
void kvelozdot(const int* n, const std::complex<double>* x, const std::complex<double>* y,
               std::complex<double>* result, const int* conj);
void kvelocdot(const int* n, const std::complex<float>* x, const std::complex<float>* y,
               std::complex<float>* result, const int* conj);

/* y := alpha*op(A)*x + beta*y, A real m-by-n, x, y, alpha, beta complex (GEMV semantics and
 * argument numbers; a bad argument goes to XERBLA as "DZGEMV " and leaves y untouched). */
void dzgemv(const char* trans, const int* m, const int* n, const std::complex<double>* alpha,
            const double* a, const int* lda, const std::complex<double>* x, const int* incx,
            const std::complex<double>* beta, std::complex<double>* y, const int* incy,
            std::size_t trans_len);

/* The same with a complex A and a real x; TRANS = C conjugates A ("ZDGEMV " to XERBLA). */
void zdgemv(const char* trans, const int* m, const int* n, const std::complex<double>* alpha,
            const std::complex<double>* a, const int* lda, const double* x, const int* incx,
            const std::complex<double>* beta, std::complex<double>* y, const int* incy,
            std::size_t trans_len);

}  // namespace kvelo_blas

#endif
