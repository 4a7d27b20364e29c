/* test_Kriging_rfp.cpp: the lower triangle in rectangular full packed storage that the Kriging
 * fit and predictor errors use, against plain dense arithmetic written here: the Cholesky
 * factor and its diagonal, the solves with the factor and its transpose, the inverse, the
 * products from the left and from the right, the packed round trip, for odd and even orders,
 * and the refusal of a matrix that is not positive definite. */
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "kriging/rfp_factor.h"

namespace {

using kriging_internal::RfpFactor;
typedef std::vector<double> Dense; /* column-major n x n (or n x k) */

/* A symmetric positive definite matrix of order n: A = B B^T + n I. */
Dense Spd(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Dense B(static_cast<std::size_t>(n) * n), A(B.size(), 0.0);
  for (double& b : B) b = u(gen);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double s = (i == j) ? n : 0.0;
      for (int k = 0; k < n; ++k) s += B[i + k * n] * B[j + k * n];
      A[i + j * n] = s;
    }
  return A;
}

/* Lower packed copy (column by column) of the lower triangle of A. */
std::vector<double> Packed(const Dense& A, int n) {
  std::vector<double> ap;
  for (int j = 0; j < n; ++j)
    for (int i = j; i < n; ++i) ap.push_back(A[i + j * n]);
  return ap;
}

/* Dense lower Cholesky factor by the textbook column algorithm. */
Dense Cholesky(const Dense& A, int n) {
  Dense L(A.size(), 0.0);
  for (int j = 0; j < n; ++j) {
    double d = A[j + j * n];
    for (int k = 0; k < j; ++k) d -= L[j + k * n] * L[j + k * n];
    L[j + j * n] = std::sqrt(d);
    for (int i = j + 1; i < n; ++i) {
      double s = A[i + j * n];
      for (int k = 0; k < j; ++k) s -= L[i + k * n] * L[j + k * n];
      L[i + j * n] = s / L[j + j * n];
    }
  }
  return L;
}

/* C := A B for dense A (r x k) and B (k x c), column-major. */
Dense Product(const Dense& A, const Dense& B, int r, int k, int c) {
  Dense C(static_cast<std::size_t>(r) * c, 0.0);
  for (int j = 0; j < c; ++j)
    for (int l = 0; l < k; ++l)
      for (int i = 0; i < r; ++i) C[i + j * r] += A[i + l * r] * B[l + j * k];
  return C;
}

Dense Transposed(const Dense& A, int r, int c) {
  Dense T(A.size());
  for (int i = 0; i < r; ++i)
    for (int j = 0; j < c; ++j) T[j + i * c] = A[i + j * r];
  return T;
}

Dense Random(int r, int c, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Dense M(static_cast<std::size_t>(r) * c);
  for (double& x : M) x = u(gen);
  return M;
}

double MaxAbs(const Dense& a) {
  double m = 0.0;
  for (double x : a) m = std::max(m, std::fabs(x));
  return m;
}

double MaxDiff(const Dense& a, const Dense& b) {
  double m = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) m = std::max(m, std::fabs(a[i] - b[i]));
  return m;
}

const int kOrders[] = {1, 2, 3, 6, 7, 32, 33};

/* A positive definite matrix of order n from seed, its dense factor, its packed lower
 * triangle and the packed factor made from that (info: what Factor returned). */
struct Factored {
  const int n;
  const Dense A, L;
  const std::vector<double> ap;
  RfpFactor C;
  const int info;
  Factored(int order, unsigned seed)
      : n(order), A(Spd(n, seed)), L(Cholesky(A, n)), ap(Packed(A, n)),
        info(C.Factor(ap.data(), n)) {}
};

TEST(KrigingRfp, FactorDiagonalAndPackedRoundTrip) {
  for (int n : kOrders) {
    Factored f(n, 10u + n);
    ASSERT_EQ(0, f.info) << n;
    ASSERT_EQ(n, f.C.Order());
    EXPECT_EQ(static_cast<long long>(n) * (n + 1) / 2, RfpFactor::Values(n));
    const double tol = 1e-13 * MaxAbs(f.L);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(f.L[i + i * n], f.C.Diag(i), tol) << n << " " << i;
    std::vector<double> back(f.ap.size(), -1.0);
    f.C.ToPacked(back.data());
    EXPECT_LT(MaxDiff(Packed(f.L, n), back), tol) << n;
    /* The input is only read. */
    EXPECT_EQ(Packed(f.A, n), f.ap);

    /* Load keeps a triangle as it is given. */
    RfpFactor T;
    ASSERT_EQ(0, T.Load(f.ap.data(), n));
    std::vector<double> same(f.ap.size());
    T.ToPacked(same.data());
    EXPECT_EQ(f.ap, same) << n;
  }
}

TEST(KrigingRfp, SolvesAndProductsMatchDenseArithmetic) {
  for (int n : kOrders) {
    Factored f(n, 20u + n);
    ASSERT_EQ(0, f.info);
    const int k = 5, ldb = n + 3;
    const Dense B = Random(n, k, 30u + n);
    /* B padded to a leading dimension above n: the padding rows must stay untouched. */
    std::vector<double> b(static_cast<std::size_t>(ldb) * k, 7.0);
    auto load = [&]() {
      for (int j = 0; j < k; ++j)
        for (int i = 0; i < n; ++i) b[i + j * ldb] = B[i + j * n];
    };
    auto unload = [&]() {
      Dense X(static_cast<std::size_t>(n) * k);
      for (int j = 0; j < k; ++j)
        for (int i = 0; i < n; ++i) X[i + j * n] = b[i + j * ldb];
      for (int j = 0; j < k; ++j)
        for (int i = n; i < ldb; ++i) EXPECT_EQ(7.0, b[i + j * ldb]);
      return X;
    };
    const double tol = 1e-11 * (1.0 + MaxAbs(B));

    /* L X = B and L^T X = B, checked by multiplying back. */
    load();
    f.C.Solve(false, k, b.data(), ldb);
    EXPECT_LT(MaxDiff(Product(f.L, unload(), n, n, k), B), tol) << n;
    load();
    f.C.Solve(true, k, b.data(), ldb);
    EXPECT_LT(MaxDiff(Product(Transposed(f.L, n, n), unload(), n, n, k), B), tol) << n;

    /* L B from the left. */
    load();
    f.C.Multiply(k, b.data(), ldb);
    EXPECT_LT(MaxDiff(Product(f.L, B, n, n, k), unload()), tol * n) << n;

    /* W L^T from the right, W of k rows and n columns (leading dimension k + 2). */
    const Dense Wd = Random(k, n, 40u + n);
    const int ldw = k + 2;
    std::vector<double> w(static_cast<std::size_t>(ldw) * n, 7.0);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < k; ++i) w[i + j * ldw] = Wd[i + j * k];
    f.C.MultiplyRightTrans(k, w.data(), ldw);
    const Dense want = Product(Wd, Transposed(f.L, n, n), k, n, n);
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < k; ++i) EXPECT_NEAR(want[i + j * k], w[i + j * ldw], tol * n);
      for (int i = k; i < ldw; ++i) EXPECT_EQ(7.0, w[i + j * ldw]);
    }
  }
}

TEST(KrigingRfp, InverseIsTheInverseOfTheFactor) {
  for (int n : kOrders) {
    Factored f(n, 50u + n);
    ASSERT_EQ(0, f.info);
    ASSERT_EQ(0, f.C.Invert());
    ASSERT_EQ(n, f.C.Order());
    std::vector<double> inv(f.ap.size());
    f.C.ToPacked(inv.data());
    /* L^-1 L = I. */
    Dense Li(static_cast<std::size_t>(n) * n, 0.0);
    std::size_t at = 0;
    for (int j = 0; j < n; ++j)
      for (int i = j; i < n; ++i) Li[i + j * n] = inv[at++];
    const Dense I = Product(Li, f.L, n, n, n);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) EXPECT_NEAR(i == j ? 1.0 : 0.0, I[i + j * n], 1e-12) << n;
  }
}

TEST(KrigingRfp, RefusesAMatrixThatIsNotPositiveDefinite) {
  /* [[1, 2], [2, 1]] has the eigenvalue -1: the minor of order 2 fails. Odd and even orders
   * (the two halves of the layout) both report where the factorisation stopped. */
  const std::vector<double> two = {1.0, 2.0, 1.0};
  RfpFactor C;
  EXPECT_EQ(2, C.Factor(two.data(), 2));
  EXPECT_EQ(0, C.Order());
  for (int n : {5, 6}) {
    Dense A = Spd(n, 60u + n);
    A[(n - 1) + (n - 1) * n] = -1.0; /* the last leading minor is not positive definite */
    const std::vector<double> ap = Packed(A, n);
    const int info = C.Factor(ap.data(), n);
    EXPECT_EQ(n, info) << n;
    EXPECT_EQ(0, C.Order());
  }
  /* A factor is made again afterwards, in the same storage. */
  const Dense A = Spd(4, 70u);
  const std::vector<double> ap = Packed(A, 4);
  EXPECT_EQ(0, C.Factor(ap.data(), 4));
  EXPECT_EQ(4, C.Order());
  /* An order whose value count exceeds an int is refused before anything is read. */
  EXPECT_EQ(-1, RfpFactor::Values(70000));
  EXPECT_EQ(-1, C.Factor(ap.data(), 70000));
  EXPECT_EQ(0, C.Order());
}

TEST(KrigingRfp, SwapAndRelease) {
  const Dense A = Spd(5, 80u), B = Spd(8, 81u);
  const std::vector<double> a = Packed(A, 5), b = Packed(B, 8);
  RfpFactor x, y;
  ASSERT_EQ(0, x.Factor(a.data(), 5));
  ASSERT_EQ(0, y.Factor(b.data(), 8));
  const double x0 = x.Diag(0), y0 = y.Diag(0);
  x.Swap(y);
  EXPECT_EQ(8, x.Order());
  EXPECT_EQ(5, y.Order());
  EXPECT_EQ(y0, x.Diag(0));
  EXPECT_EQ(x0, y.Diag(0));
  x.Release();
  EXPECT_EQ(0, x.Order());
  /* Without a triangle the solves and products leave the columns alone. */
  std::vector<double> v = {1.0, 2.0};
  x.Solve(false, 1, v.data(), 2);
  x.Multiply(1, v.data(), 2);
  EXPECT_EQ(1.0, v[0]);
  EXPECT_EQ(2.0, v[1]);
}

}  // namespace
