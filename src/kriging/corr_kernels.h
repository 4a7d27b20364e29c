/* corr_kernels.h: the arithmetic kernels of the Kriging correlation functions that run over
 * many points at once: the exponential of the kernels and one column of correlations of real
 * points with one point, chosen at run time for the processor (AVX2 when it has it). */
#ifndef KVELO_KRIGING_CORR_KERNELS_H
#define KVELO_KRIGING_CORR_KERNELS_H

#include <cstddef>

namespace kriging_internal {

/* exp(x) to within one unit in the last place for x >= -708 (the value every correlation
 * kernel of the model uses, so that a correlation is the same number whichever path makes it):
 * 1 at 0, 0 below -708 (no subnormal results), +infinity above about 709.8, NaN for NaN. */
double KernelExp(double x);

/* r[i] := exp(-sum_k theta_k (P[i + k ldp] - s[k])^2) (gaussian) or exp(-sum_k theta_k
 * |P[i + k ldp] - s[k]|) (otherwise: the exponential kernel), i = 0 .. N-1, with theta_k =
 * theta[0] when shared, theta[k] otherwise; the sum runs over k = 0 .. n-1 in order, from 0. */
void RealCorrColumn(bool gaussian, const double* P, std::ptrdiff_t ldp, int N, const double* s,
                    int n, const double* theta, bool shared, double* r);

/* a[i] := 0 for every i < n with |a[i]| < tol (strictly; a NaN stays). */
void DropBelow(double* a, std::ptrdiff_t n, double tol);

}  // namespace kriging_internal

#endif
