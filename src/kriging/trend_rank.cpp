/* trend_rank.cpp: the rank test of the automatic trend degree: ?gesvd on a copy of the trend
 * matrix, with the copy, the singular values, the right vectors and the work arrays laid out,
 * each with its margin, in one block the test owns. */
#include "trend_rank.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <cstdint>
#include <type_traits>

#include "ITF_blas_lapack.h"

namespace kriging_internal {

namespace {

typedef std::complex<double> dcomplex;

/* Margin around every array, in doubles (64 bytes: OpenBLAS 0.3.21's complex gemv, under
 * zgesvd, reads up to 32 bytes beyond the arrays it is handed); offsets stay multiples of 16
 * bytes. */
const long long kMarginDoubles = 8;

inline long long Even(long long n) { return n + (n & 1); }

/* Where each array of a test of a rows x cols matrix lies in the block, in doubles from its
 * start; total is the block length in doubles (-1 when it exceeds an int). */
struct Layout {
  long long a, s, vt, work, rwork, u, total;
  int lwork;
};

template <class E>
Layout LayoutOf(int rows, int cols) {
  const long long esz = static_cast<long long>(sizeof(E) / sizeof(double));
  const long long mn = std::min(rows, cols), mx = std::max(rows, cols);
  Layout L;
  L.lwork = static_cast<int>(std::min<long long>(INT_MAX, std::max(5 * mn, mx + 3 * mn)));
  long long at = kMarginDoubles;
  auto place = [&at](long long doubles) {
    const long long here = at;
    at += Even(std::max(doubles, 1LL)) + kMarginDoubles;
    return here;
  };
  L.a = place(esz * rows * cols);
  L.s = place(mn);
  L.vt = place(esz * cols * cols);
  L.work = place(esz * L.lwork);
  L.rwork = place(std::is_same<E, dcomplex>::value ? 5 * mx : 0);
  L.u = place(esz);
  L.total = at > INT_MAX ? -1 : at;
  return L;
}

inline void Gesvd(int rows, int cols, double* a, double* s, double* u, double* vt, double* work,
                  int lwork, double*, int* info) {
  ITF_dgesvd("O", "S", rows, cols, a, rows, s, u, rows, vt, cols, work, lwork, info);
}
inline void Gesvd(int rows, int cols, dcomplex* a, double* s, dcomplex* u, dcomplex* vt,
                  dcomplex* work, int lwork, double* rwork, int* info) {
  ITF_zgesvd("O", "S", rows, cols, a, rows, s, u, rows, vt, cols, work, lwork, rwork, info);
}

}  // namespace

template <class E>
std::size_t TrendRankTest<E>::BlockBytes(int rows, int cols) {
  if (rows < 1 || cols < 1) return 0;
  const Layout L = LayoutOf<E>(rows, cols);
  return L.total < 0 ? 0 : static_cast<std::size_t>(L.total) * sizeof(double);
}

template <class E>
bool TrendRankTest<E>::FullRankIn(int rows, int cols, const E* a, int lda, void* block) {
  if (rows < cols || cols < 1 || lda < rows || block == nullptr) return false;
  if (reinterpret_cast<std::uintptr_t>(block) % 16 != 0) return false;
  const Layout L = LayoutOf<E>(rows, cols);
  if (L.total < 0) return false;
  double* base = static_cast<double*>(block);
  E* ac = reinterpret_cast<E*>(base + L.a);
  double* s = base + L.s;
  E* vt = reinterpret_cast<E*>(base + L.vt);
  E* work = reinterpret_cast<E*>(base + L.work);
  double* rwork = base + L.rwork;
  E* u = reinterpret_cast<E*>(base + L.u); /* not referenced: the left vectors overwrite a */
  for (int c = 0; c < cols; ++c)
    std::copy(a + static_cast<std::ptrdiff_t>(c) * lda,
              a + static_cast<std::ptrdiff_t>(c) * lda + rows,
              ac + static_cast<std::ptrdiff_t>(c) * rows);
  std::fill(s, s + cols, 1e-20);
  *u = E(0.0);
  int info = 0;
  Gesvd(rows, cols, ac, s, u, vt, work, L.lwork, rwork, &info);
  if (info != 0) return false;
  for (int k = 0; k < cols; ++k)
    if (!(std::fabs(s[k]) >= 1e-14)) return false;
  return true;
}

template <class E>
bool TrendRankTest<E>::FullRank(int rows, int cols, const E* a, int lda) {
  const std::size_t bytes = BlockBytes(rows, cols);
  if (bytes == 0 || rows < cols || lda < rows) return false;
  block_.Resize(static_cast<int>(bytes / sizeof(double)));
  return FullRankIn(rows, cols, a, lda, block_.Adr(0));
}

template class TrendRankTest<double>;
template class TrendRankTest<std::complex<double>>;

}  // namespace kriging_internal
