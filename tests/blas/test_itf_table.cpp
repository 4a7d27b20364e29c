/* test_itf_table.cpp: a sample of the ITF_* forwarders, one or more of each argument shape
 * (band, packed, triangular, real and complex in both precisions, CHARACTER arguments,
 * workspace queries, pivots and INFO, function results), each run twice on the same inputs:
 * through the forwarder and through the routine's Fortran interface called here by hand, in
 * the routine's own argument order. Every dimension, leading dimension and increment differs
 * from the others in its call, so a forwarder that hands two arguments over in the wrong
 * order computes something else (or is refused by XERBLA) and the outputs differ. */
#include <gtest/gtest.h>

#include <complex>
#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ITF_blas_lapack.h"
#include "blas/itf_fortran.h"

namespace {

using z = std::complex<double>;
using c = std::complex<float>;

// Distinct, well-scaled values: no two entries of one array and no two arrays are alike.
double Val(int seed, int i) { return ((seed * 7919 + i * 104729) % 2003) / 1001.0 - 1.0 + 0.001 * seed; }
template <class T>
std::vector<T> Fill(std::size_t n, int seed);
template <>
std::vector<double> Fill<double>(std::size_t n, int seed) {
  std::vector<double> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = Val(seed, static_cast<int>(i));
  return v;
}
template <>
std::vector<float> Fill<float>(std::size_t n, int seed) {
  std::vector<float> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<float>(Val(seed, static_cast<int>(i)));
  return v;
}
template <>
std::vector<z> Fill<z>(std::size_t n, int seed) {
  std::vector<z> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = z(Val(seed, static_cast<int>(i)), Val(seed + 50, static_cast<int>(i)));
  return v;
}
template <>
std::vector<c> Fill<c>(std::size_t n, int seed) {
  std::vector<c> v(n);
  for (std::size_t i = 0; i < n; ++i)
    v[i] = c(static_cast<float>(Val(seed, static_cast<int>(i))), static_cast<float>(Val(seed + 50, static_cast<int>(i))));
  return v;
}

// Makes the diagonal of a column-major n x n block (leading dimension ld) dominant, so that
// triangular solves and factorisations stay well away from overflow and singularity.
template <class T>
void Dominant(std::vector<T>& a, int n, int ld, double d = 8.0) {
  for (int j = 0; j < n; ++j) a[static_cast<std::size_t>(j) * ld + j] += T(d + j);
}

// What a call left behind, flattened to doubles so that every case compares the same way.
struct Out {
  std::vector<double> v;
  void Add(double x) { v.push_back(x); }
  void Add(const std::vector<double>& a) { for (double x : a) v.push_back(x); }
  void Add(const std::vector<float>& a) { for (float x : a) v.push_back(x); }
  void Add(const std::vector<int>& a) { for (int x : a) v.push_back(x); }
  void Add(const std::vector<z>& a) { for (const z& x : a) { v.push_back(x.real()); v.push_back(x.imag()); } }
  void Add(const std::vector<c>& a) { for (const c& x : a) { v.push_back(x.real()); v.push_back(x.imag()); } }
};

struct Case {
  const char* name;
  std::function<Out(bool itf)> run;  // itf: through the forwarder; else the Fortran routine
};

const int one = 1;

std::vector<Case> Cases() {
  std::vector<Case> t;

  // Band, real, CHARACTER: y = alpha*A^T*x + beta*y with A 6 x 5, kl 1, ku 2, strided x, y.
  t.push_back({"dgbmv", [](bool itf) {
    const int m = 6, n = 5, kl = 1, ku = 2, lda = 7, incx = 3, incy = 4;
    const double alpha = 1.5, beta = -0.5;
    std::vector<double> a = Fill<double>(lda * n, 1), x = Fill<double>(1 + (m - 1) * incx, 2),
                        y = Fill<double>(1 + (n - 1) * incy, 3);
    if (itf) ITF_dgbmv("T", m, n, kl, ku, alpha, a.data(), lda, x.data(), incx, beta, y.data(), incy);
    else dgbmv_("T", &m, &n, &kl, &ku, &alpha, a.data(), &lda, x.data(), &incx, &beta, y.data(), &incy, 1);
    Out o; o.Add(y); return o; }});

  // Band, complex single, triangular: x = A*x, A lower with 2 subdiagonals, unit diagonal.
  t.push_back({"ctbmv", [](bool itf) {
    const int n = 5, k = 2, lda = 4, incx = 3;
    std::vector<c> a = Fill<c>(lda * n, 4), x = Fill<c>(1 + (n - 1) * incx, 5);
    if (itf) ITF_ctbmv("L", "N", "U", n, k, a.data(), lda, x.data(), incx);
    else ctbmv_("L", "N", "U", &n, &k, a.data(), &lda, x.data(), &incx, 1, 1, 1);
    Out o; o.Add(x); return o; }});

  // Packed Hermitian, complex: y = alpha*A*x + beta*y, lower triangle packed.
  t.push_back({"zhpmv", [](bool itf) {
    const int n = 4, incx = 2, incy = 3;
    const z alpha(1.0, 2.0), beta(0.5, -1.0);
    std::vector<z> ap = Fill<z>(n * (n + 1) / 2, 6), x = Fill<z>(1 + (n - 1) * incx, 7),
                   y = Fill<z>(1 + (n - 1) * incy, 8);
    if (itf) ITF_zhpmv("L", n, alpha, ap.data(), x.data(), incx, beta, y.data(), incy);
    else zhpmv_("L", &n, &alpha, ap.data(), x.data(), &incx, &beta, y.data(), &incy, 1);
    Out o; o.Add(y); return o; }});

  // Triangular solve with four CHARACTER arguments: B = alpha*B*inv(A^T), A upper 3 x 3.
  t.push_back({"dtrsm", [](bool itf) {
    const int m = 5, n = 3, lda = 4, ldb = 7;
    const double alpha = 2.0;
    std::vector<double> a = Fill<double>(lda * n, 9), b = Fill<double>(ldb * n, 10);
    Dominant(a, n, lda);
    if (itf) ITF_dtrsm("R", "U", "T", "N", m, n, alpha, a.data(), lda, b.data(), ldb);
    else dtrsm_("R", "U", "T", "N", &m, &n, &alpha, a.data(), &lda, b.data(), &ldb, 1, 1, 1, 1);
    Out o; o.Add(b); return o; }});

  // Complex product with a conjugate transpose: C = alpha*A^H*B + beta*C, A 5 x 3, B 5 x 4.
  t.push_back({"zgemm", [](bool itf) {
    const int m = 3, n = 4, k = 5, lda = 6, ldb = 7, ldc = 8;
    const z alpha(1.0, -1.0), beta(0.5, 0.25);
    std::vector<z> a = Fill<z>(lda * m, 11), b = Fill<z>(ldb * n, 12), cc = Fill<z>(ldc * n, 13);
    if (itf) ITF_zgemm("C", "N", m, n, k, alpha, a.data(), lda, b.data(), ldb, beta, cc.data(), ldc);
    else zgemm_("C", "N", &m, &n, &k, &alpha, a.data(), &lda, b.data(), &ldb, &beta, cc.data(), &ldc, 1, 1);
    Out o; o.Add(cc); return o; }});

  // Single-precision rank-k updates, real and complex, with real scalars for the Hermitian one.
  t.push_back({"ssyr2k", [](bool itf) {
    const int n = 4, k = 2, lda = 5, ldb = 6, ldc = 7;
    const float alpha = 1.25f, beta = -0.75f;
    std::vector<float> a = Fill<float>(lda * k, 14), b = Fill<float>(ldb * k, 15), cc = Fill<float>(ldc * n, 16);
    if (itf) ITF_ssyr2k("L", "N", n, k, alpha, a.data(), lda, b.data(), ldb, beta, cc.data(), ldc);
    else ssyr2k_("L", "N", &n, &k, &alpha, a.data(), &lda, b.data(), &ldb, &beta, cc.data(), &ldc, 1, 1);
    Out o; o.Add(cc); return o; }});
  t.push_back({"cherk", [](bool itf) {
    const int n = 3, k = 5, lda = 6, ldc = 4;
    const float alpha = 1.5f, beta = 0.5f;
    std::vector<c> a = Fill<c>(lda * n, 17), cc = Fill<c>(ldc * n, 18);
    if (itf) ITF_cherk("U", "C", n, k, alpha, a.data(), lda, beta, cc.data(), ldc);
    else cherk_("U", "C", &n, &k, &alpha, a.data(), &lda, &beta, cc.data(), &ldc, 1, 1);
    Out o; o.Add(cc); return o; }});

  // Integer function result with a stride.
  t.push_back({"idamax", [](bool itf) {
    const int n = 5, incx = 2;
    std::vector<double> x = Fill<double>(1 + (n - 1) * incx, 19);
    x[6] = 40.0;    // element 4 (1-based) through the stride
    x[1] = -90.0;   // between the strided elements: seen only with a wrong increment
    Out o; o.Add(itf ? ITF_idamax(n, x.data(), incx) : idamax_(&n, x.data(), &incx)); return o; }});

  // Real function result, CHARACTER norm, workspace: the one- and infinity-norms of 5 x 3.
  t.push_back({"dlange", [](bool itf) {
    const int m = 5, n = 3, lda = 6;
    std::vector<double> a = Fill<double>(lda * n, 20), work(m);
    Out o;
    for (const char* norm : {"1", "I"})
      o.Add(itf ? ITF_dlange(norm, m, n, a.data(), lda, work.data()) : dlange_(norm, &m, &n, a.data(), &lda, work.data(), 1));
    return o; }});

  // Pivots and INFO: LU of a 6 x 4 matrix whose third column is zero (INFO = 3).
  t.push_back({"dgetrf", [](bool itf) {
    const int m = 6, n = 4, lda = 7;
    std::vector<double> a = Fill<double>(lda * n, 21);
    for (int i = 0; i < m; ++i) a[2 * lda + i] = 0.0;
    std::vector<int> ipiv(n, -7);
    int info = -99;
    if (itf) ITF_dgetrf(m, n, a.data(), lda, ipiv.data(), &info);
    else dgetrf_(&m, &n, a.data(), &lda, ipiv.data(), &info);
    Out o; o.Add(a); o.Add(ipiv); o.Add(info); return o; }});

  // Band LU with pivots: 6 x 5, kl 2, ku 1, room for the fill-in rows.
  t.push_back({"dgbtrf", [](bool itf) {
    const int m = 6, n = 5, kl = 2, ku = 1, ldab = 7;
    std::vector<double> ab = Fill<double>(ldab * n, 22);
    std::vector<int> ipiv(n, -7);
    int info = -99;
    if (itf) ITF_dgbtrf(m, n, kl, ku, ab.data(), ldab, ipiv.data(), &info);
    else dgbtrf_(&m, &n, &kl, &ku, ab.data(), &ldab, ipiv.data(), &info);
    Out o; o.Add(ab); o.Add(ipiv); o.Add(info); return o; }});

  // Packed symmetric solve with pivots: 4 x 4 upper packed, two right-hand sides.
  t.push_back({"dspsv", [](bool itf) {
    const int n = 4, nrhs = 2, ldb = 6;
    std::vector<double> ap = Fill<double>(n * (n + 1) / 2, 23), b = Fill<double>(ldb * nrhs, 24);
    std::vector<int> ipiv(n, -7);
    int info = -99;
    if (itf) ITF_dspsv("U", n, nrhs, ap.data(), ipiv.data(), b.data(), ldb, &info);
    else dspsv_("U", &n, &nrhs, ap.data(), ipiv.data(), b.data(), &ldb, &info, 1);
    Out o; o.Add(ap); o.Add(ipiv); o.Add(b); o.Add(info); return o; }});

  // Packed triangular solve with three CHARACTER arguments.
  t.push_back({"dtptrs", [](bool itf) {
    const int n = 4, nrhs = 3, ldb = 6;
    std::vector<double> ap = Fill<double>(n * (n + 1) / 2, 25), b = Fill<double>(ldb * nrhs, 26);
    for (int j = 0, at = 0; j < n; at += ++j) ap[at + j] += 6.0 + j;  // upper packed diagonal
    int info = -99;
    if (itf) ITF_dtptrs("U", "T", "N", n, nrhs, ap.data(), b.data(), ldb, &info);
    else dtptrs_("U", "T", "N", &n, &nrhs, ap.data(), b.data(), &ldb, &info, 1, 1, 1);
    Out o; o.Add(b); o.Add(info); return o; }});

  // Workspace query (lwork = -1), then the QR factorisation of 6 x 4 with that workspace.
  t.push_back({"dgeqrf", [](bool itf) {
    const int m = 6, n = 4, lda = 8;
    std::vector<double> a = Fill<double>(lda * n, 27), tau(n), q(1);
    int info = -99, lq = -1;
    if (itf) ITF_dgeqrf(m, n, a.data(), lda, tau.data(), q.data(), -1, &info);
    else dgeqrf_(&m, &n, a.data(), &lda, tau.data(), q.data(), &lq, &info);
    Out o; o.Add(q[0]); o.Add(info);
    const int lwork = static_cast<int>(q[0]);
    std::vector<double> work(lwork);
    if (itf) ITF_dgeqrf(m, n, a.data(), lda, tau.data(), work.data(), lwork, &info);
    else dgeqrf_(&m, &n, a.data(), &lda, tau.data(), work.data(), &lwork, &info);
    o.Add(a); o.Add(tau); o.Add(info); return o; }});

  // Two CHARACTER arguments and a workspace query: eigenpairs of a symmetric 5 x 5.
  t.push_back({"dsyev", [](bool itf) {
    const int n = 5, lda = 6;
    std::vector<double> a = Fill<double>(lda * n, 28), w(n), q(1);
    int info = -99, lq = -1;
    if (itf) ITF_dsyev("V", "L", n, a.data(), lda, w.data(), q.data(), -1, &info);
    else dsyev_("V", "L", &n, a.data(), &lda, w.data(), q.data(), &lq, &info, 1, 1);
    Out o; o.Add(q[0]);
    const int lwork = static_cast<int>(q[0]);
    std::vector<double> work(lwork);
    if (itf) ITF_dsyev("V", "L", n, a.data(), lda, w.data(), work.data(), lwork, &info);
    else dsyev_("V", "L", &n, a.data(), &lda, w.data(), work.data(), &lwork, &info, 1, 1);
    o.Add(a); o.Add(w); o.Add(info); return o; }});

  // Complex least squares, non-square, workspace query then the solve.
  t.push_back({"zgels", [](bool itf) {
    const int m = 6, n = 3, nrhs = 2, lda = 7, ldb = 8;
    std::vector<z> a = Fill<z>(lda * n, 29), b = Fill<z>(ldb * nrhs, 30), q(1);
    int info = -99, lq = -1;
    if (itf) ITF_zgels("N", m, n, nrhs, a.data(), lda, b.data(), ldb, q.data(), -1, &info);
    else zgels_("N", &m, &n, &nrhs, a.data(), &lda, b.data(), &ldb, q.data(), &lq, &info, 1);
    Out o; o.Add(q[0].real());
    const int lwork = static_cast<int>(q[0].real());
    std::vector<z> work(lwork);
    if (itf) ITF_zgels("N", m, n, nrhs, a.data(), lda, b.data(), ldb, work.data(), lwork, &info);
    else zgels_("N", &m, &n, &nrhs, a.data(), &lda, b.data(), &ldb, work.data(), &lwork, &info, 1);
    o.Add(a); o.Add(b); o.Add(info); return o; }});

  // Complex singular values with two CHARACTER arguments, real workspace and query.
  t.push_back({"zgesvd", [](bool itf) {
    const int m = 5, n = 3, lda = 6, ldu = 7, ldvt = 4;
    std::vector<z> a = Fill<z>(lda * n, 31), u(ldu * n), vt(ldvt * n), q(1);
    std::vector<double> s(n), rwork(5 * n);
    int info = -99, lq = -1;
    if (itf) ITF_zgesvd("S", "A", m, n, a.data(), lda, s.data(), u.data(), ldu, vt.data(), ldvt, q.data(), -1, rwork.data(), &info);
    else zgesvd_("S", "A", &m, &n, a.data(), &lda, s.data(), u.data(), &ldu, vt.data(), &ldvt, q.data(), &lq, rwork.data(), &info, 1, 1);
    Out o; o.Add(q[0].real());
    const int lwork = static_cast<int>(q[0].real());
    std::vector<z> work(lwork);
    if (itf) ITF_zgesvd("S", "A", m, n, a.data(), lda, s.data(), u.data(), ldu, vt.data(), ldvt, work.data(), lwork, rwork.data(), &info);
    else zgesvd_("S", "A", &m, &n, a.data(), &lda, s.data(), u.data(), &ldu, vt.data(), &ldvt, work.data(), &lwork, rwork.data(), &info, 1, 1);
    o.Add(s); o.Add(u); o.Add(vt); o.Add(info); return o; }});

  return t;
}

TEST(ItfTable, ForwardersComputeWhatTheRoutineComputes) {
  for (const Case& k : Cases()) {
    SCOPED_TRACE(k.name);
    const Out direct = k.run(false);
    const Out via = k.run(true);
    ASSERT_EQ(via.v.size(), direct.v.size());
    ASSERT_FALSE(direct.v.empty());
    // The same routine on the same inputs: the same bits, element by element.
    for (std::size_t i = 0; i < direct.v.size(); ++i)
      EXPECT_EQ(0, std::memcmp(&via.v[i], &direct.v[i], sizeof(double)))
          << "output " << i << ": forwarder " << via.v[i] << ", routine " << direct.v[i];
  }
}

// The direct calls above are the reference, so they must do what the routines are known to
// do. A few results checked by hand guard against a reference that is itself mis-called.
TEST(ItfTable, ReferenceCallsAgreeWithHandComputation) {
  // dgbmv with A = [1 2 0; 3 4 5] (2 x 3, kl 1, ku 1), y = A^T x for x = (1, 10): (31, 42, 50).
  {
    const int m = 2, n = 3, kl = 1, ku = 1, lda = 3, incx = 1, incy = 1;
    const double alpha = 1.0, beta = 0.0;
    // Band storage: a(ku + i - j, j) = A(i, j).
    std::vector<double> a = {0, 1, 3, 2, 4, 0, 5, 0, 0}, x = {1, 10}, y(3, 7.0);
    ITF_dgbmv("T", m, n, kl, ku, alpha, a.data(), lda, x.data(), incx, beta, y.data(), incy);
    EXPECT_EQ(y, (std::vector<double>{31, 42, 50}));
  }
  // idamax through a stride of 2 over (1, -90, 2, 0, -3): elements 1, 2, -3: index 3.
  {
    std::vector<double> x = {1, -90, 2, 0, -3};
    EXPECT_EQ(3, ITF_idamax(3, x.data(), 2));
  }
  // dgetrf of [[0, 2], [4, 0], [1, 1]] (3 x 2): the first pivot is row 2, INFO 0.
  {
    std::vector<double> a = {0, 4, 1, 2, 0, 1};
    std::vector<int> ipiv(2);
    int info = -1;
    ITF_dgetrf(3, 2, a.data(), 3, ipiv.data(), &info);
    EXPECT_EQ(0, info);
    EXPECT_EQ(2, ipiv[0]);
    EXPECT_DOUBLE_EQ(4.0, a[0]);
  }
}

}  // namespace
