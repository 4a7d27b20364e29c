// zlufctr.h: complex dense linear systems of the C matrix library (internal, not exported):
// LU factorisation with scaled partial pivoting, solve with the factors, the two triangular
// solves and the inverse. Calling convention of matrix.h; codes 1 sizes differ, 4 zero
// divisor, 8 NULL argument, 9 not square. The factorisation keeps its scale vector in a
// process-wide static record: none of these may run in two threads at once.
#ifndef KVELO_CMATRIX_ZLUFCTR_H
#define KVELO_CMATRIX_ZLUFCTR_H

#include "matrix.h"
#include "zmatrix.h"

extern "C" {

// Overwrites the m x n matrix A with L (unit diagonal not stored) below and U on and above
// the diagonal, every one of the min(m, n) columns eliminated, so that P*A = L*U with
// pivot[i] naming the original row now at row i; returns A. Never fails on a singular
// matrix. Codes 8 (A or pivot NULL), 1 (pivot.size differs from A.m), 7 (A holds a NaN or
// an infinity, or its factors overflow: A and pivot as they were; a copy of both is taken
// first, code 3 when it cannot be).
ZMAT* zLUfactor(ZMAT* A, PERM* pivot, int callerLine, const char* callerName, int* status);
// Returns x with A*x = b from the factors of a square A; x is grown to b.dim when NULL or
// shorter. Codes 8, 1 (LU not square, or of another order than b or pivot), 4 from zUsolve,
// 2 for a pivot that is no permutation; a failure leaves x as it was.
ZVEC* zLUsolve(ZMAT* LU, PERM* pivot, ZVEC* b, ZVEC* x, int callerLine, const char* callerName,
               int* status);
// Back substitution with the upper triangle of U (diag 0.0: its own diagonal; otherwise
// every diagonal entry is taken to be diag); out may be b. Codes 8, 1 (b shorter than
// min(U.m, U.n)), 4 (a zero diagonal entry that would be divided by: found before out is
// sized or written, so out stays as it was).
ZVEC* zUsolve(ZMAT* U, ZVEC* b, ZVEC* out, double diag, int callerLine, const char* callerName,
              int* status);
// Forward substitution with the lower triangle of L, as zUsolve.
ZVEC* zLsolve(ZMAT* L, ZVEC* b, ZVEC* out, double diag, int callerLine, const char* callerName,
              int* status);
// Writes the inverse of the square A into the leading A.m x A.n block of out (grown when
// NULL or smaller in either dimension); returns out. Codes 8, 9, 4 from zUsolve for a
// singular A, 7 for an A holding a NaN or an infinity or an inverse beyond the range of
// double; a failure leaves out as it was, and every scratch record is released on every
// path. A is factored scaled by a power of two, so entries near the ends of the range lose
// nothing.
ZMAT* _LM_zm_inverse(ZMAT* A, ZMAT* out, int callerLine, const char* callerName, int* status);

}  // extern "C"

#endif
