// zcomplex_internal.h: helpers shared by the complex modules of the C matrix library:
// the exact scalar tests, the bridge to the BLAS complex type, and raising an error under
// a routine name other than the operation's own.
#ifndef KVELO_CMATRIX_ZCOMPLEX_INTERNAL_H
#define KVELO_CMATRIX_ZCOMPLEX_INTERNAL_H

#include <complex>

#include "cmatrix/lm_status.h"
#include "zmatrix.h"

namespace kvlm {

using Z = ::complex;

// Exact IEEE tests: a NaN in either part makes the scalar none of these; -0.0 equals 0.0.
inline bool ZIsZero(const Z& z) { return z.re == 0.0 && z.im == 0.0; }
inline bool ZIsOne(const Z& z) { return z.re == 1.0 && z.im == 0.0; }
inline bool ZIsMinusOne(const Z& z) { return z.re == -1.0 && z.im == 0.0; }

// The library's scalar and the BLAS element share one layout: two doubles, real first.
static_assert(sizeof(Z) == 2 * sizeof(double), "complex must be two packed doubles");
static_assert(sizeof(std::complex<double>) == sizeof(Z), "BLAS complex layout");
inline std::complex<double>* Blas(Z* p) { return reinterpret_cast<std::complex<double>*>(p); }
inline const std::complex<double>* Blas(const Z* p) {
  return reinterpret_cast<const std::complex<double>*>(p);
}
inline std::complex<double> Blas(const Z& z) { return std::complex<double>(z.re, z.im); }

// Reports `code` from `line` of `file` under `routine` (not the operation's own name), with
// the operation's caller, and copies the status word out as LmOp::raise does.
inline void RaiseAs(LmOp& op, const char* file, int code, int line, const char* routine) {
  _LM_error(file, code, line, routine, 0, op.callerLine(), op.callerName());
  *op.st() = _LM_err_status;
}

// Fills count elements from the library's uniform stream, real then imaginary part of each
// (zvecop.cpp; the matrix fill uses it row by row).
void ZRandFill(Z* p, unsigned count);

}  // namespace kvlm

#endif
