/* rfp_factor.cpp: a lower triangle in rectangular full packed storage: conversions from and to
 * packed storage, Cholesky factor, inverse and solves through LAPACK's RFP routines, and
 * products with many columns through level-3 BLAS on the blocks of the layout. */
#include "rfp_factor.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <new>
#include <utility>

#include "C_KveloException.h"
#include "ITF_blas_lapack.h"
#include "rfp_lapack.h"

namespace kriging_internal {

namespace {

/* Every RFP call of the model uses the normal (not transposed) layout of a lower factor. */
const char kTransR[] = "N";
const char kLower[] = "L";

/* The blocks of the RFP layout (see Diag): T11 of order n1, T21 of n2 x n1, and T22 of order
 * n2 held transposed, all with leading dimension lda. */
struct RfpBlocks {
  int n1, n2, lda;
  const double *t11, *t21, *t22t;
};

RfpBlocks BlocksOf(const double* a, int n) {
  RfpBlocks k;
  if (n % 2 != 0) {
    k.n2 = n / 2;
    k.n1 = n - k.n2;
    k.lda = n;
    k.t11 = a;
    k.t21 = a + k.n1;
    k.t22t = a + n;
  } else {
    k.n1 = k.n2 = n / 2;
    k.lda = n + 1;
    k.t11 = a + 1;
    k.t21 = a + k.n1 + 1;
    k.t22t = a;
  }
  return k;
}

}  // namespace

/* A want of memory is the library's 1001, as for the store's own values. */
RfpFactor::RfpFactor() : n_(0), a_(new (std::nothrow) Store(0)) {
  if (!a_) KVELO_THROW(1001);
}

RfpFactor::~RfpFactor() = default;

long long RfpFactor::Values(int n) {
  if (n < 0) return -1;
  const long long v = static_cast<long long>(n) * (n + 1) / 2;
  return v > INT_MAX ? -1 : v;
}

bool RfpFactor::Reserve(int n) {
  n_ = 0;
  const long long v = Values(n);
  if (v < 0) return false;
  a_->Resize(static_cast<int>(v));
  return true;
}

int RfpFactor::Factor(const double* ap, int n) {
  const int res = Load(ap, n);
  if (res != 0 || n == 0) return res;
  int info = 0;
  dpftrf_(kTransR, kLower, &n, a_->Adr(0), &info, 1, 1);
  if (info != 0) {
    n_ = 0;
    return info < 0 ? -1 : info;
  }
  return 0;
}

int RfpFactor::Load(const double* ap, int n) {
  if (!Reserve(n)) return -1;
  if (n == 0) return 0;
  int info = 0;
  dtpttf_(kTransR, kLower, &n, ap, a_->Adr(0), &info, 1, 1);
  if (info != 0) return -1;
  n_ = n;
  return 0;
}

int RfpFactor::Invert() {
  if (n_ <= 0) return 0;
  int info = 0;
  int n = n_;
  dtftri_(kTransR, kLower, "N", &n, a_->Adr(0), &info, 1, 1, 1);
  if (info != 0) {
    n_ = 0;
    return info < 0 ? -1 : info;
  }
  return 0;
}

/* RFP keeps a lower triangle T of order n as two triangles and a rectangle of one column-major
 * array: with n1 = n - n/2 and n2 = n/2 for odd n, T11 (n1 x n1, lower) at offset 0, T21
 * (n2 x n1) at offset n1 and T22 (n2 x n2) transposed, as an upper triangle, at offset n, all
 * with leading dimension n; with k = n/2 for even n, T11 at offset 1, T21 at offset k + 1 and
 * T22 transposed at offset 0, with leading dimension n + 1. */
double RfpFactor::Diag(int i) const {
  const double* a = a_->Adr(0);
  const std::size_t n = static_cast<std::size_t>(n_);
  const std::size_t k = static_cast<std::size_t>(i);
  if (n % 2 != 0) {
    const std::size_t n1 = n - n / 2;
    return k < n1 ? a[k * (n + 1)] : a[n + (k - n1) * (n + 1)];
  }
  const std::size_t h = n / 2;
  return k < h ? a[1 + k * (n + 2)] : a[(k - h) * (n + 2)];
}

void RfpFactor::Solve(bool transpose, int nrhs, double* b, int ldb) const {
  if (n_ <= 0 || nrhs <= 0) return;
  const double one = 1.0;
  dtfsm_(kTransR, "L", kLower, transpose ? "T" : "N", "N", &n_, &nrhs, &one, a_->Adr(0), b,
         &ldb, 1, 1, 1, 1, 1);
}

void RfpFactor::Multiply(int nrhs, double* b, int ldb) const {
  if (n_ <= 0 || nrhs <= 0) return;
  const RfpBlocks k = BlocksOf(a_->Adr(0), n_);
  /* [B1; B2] := [T11 0; T21 T22] [B1; B2]: B2 first, while B1 still holds its old values. */
  double* b1 = b;
  double* b2 = b + k.n1;
  if (k.n2 > 0) {
    ITF_dtrmm("L", "U", "T", "N", k.n2, nrhs, 1.0, k.t22t, k.lda, b2, ldb);
    ITF_dgemm("N", "N", k.n2, nrhs, k.n1, 1.0, k.t21, k.lda, b1, ldb, 1.0, b2, ldb);
  }
  ITF_dtrmm("L", "L", "N", "N", k.n1, nrhs, 1.0, k.t11, k.lda, b1, ldb);
}

void RfpFactor::MultiplyRightTrans(int nrows, double* b, int ldb) const {
  if (n_ <= 0 || nrows <= 0) return;
  const RfpBlocks k = BlocksOf(a_->Adr(0), n_);
  /* [B1 B2] := [B1 B2] [T11^T T21^T; 0 T22^T]: B2 first, while B1 still holds its old values. */
  double* b1 = b;
  double* b2 = b + static_cast<std::ptrdiff_t>(k.n1) * ldb;
  if (k.n2 > 0) {
    ITF_dtrmm("R", "U", "N", "N", nrows, k.n2, 1.0, k.t22t, k.lda, b2, ldb);
    ITF_dgemm("N", "T", nrows, k.n2, k.n1, 1.0, b1, ldb, k.t21, k.lda, 1.0, b2, ldb);
  }
  ITF_dtrmm("R", "L", "T", "N", nrows, k.n1, 1.0, k.t11, k.lda, b1, ldb);
}

void RfpFactor::ToPacked(double* ap) const {
  if (n_ <= 0) return;
  int info = 0;
  int n = n_;
  dtfttp_(kTransR, kLower, &n, a_->Adr(0), ap, &info, 1, 1);
}

void RfpFactor::Swap(RfpFactor& other) {
  std::swap(n_, other.n_);
  a_.swap(other.a_);
}

void RfpFactor::Release() {
  n_ = 0;
  a_->Release();
}

}  // namespace kriging_internal
