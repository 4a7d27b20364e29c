/* rfp_factor.h: a lower triangle of order n in rectangular full packed (RFP) storage, n(n+1)/2
 * values with LAPACK's blocked routines: the Cholesky factor C of a Kriging correlation matrix,
 * which the fit factors and whitens with, and C^-1, which predictor errors multiply with. */
#ifndef KVELO_KRIGING_RFP_FACTOR_H
#define KVELO_KRIGING_RFP_FACTOR_H

#include <memory>

#include "C_VecPi.h"

namespace kriging_internal {

class RfpFactor {
 public:
  typedef C_VecPi<double, int, C_PtrInCore<double, int>> Store;

  RfpFactor();
  ~RfpFactor();
  RfpFactor(const RfpFactor&) = delete;
  RfpFactor& operator=(const RfpFactor&) = delete;

  /* Order of the triangle; 0 when none is held (never made, released, or the last making
   * failed). */
  int Order() const { return n_; }
  /* Number of values a triangle of order n holds, n(n+1)/2; -1 when that exceeds an int. */
  static long long Values(int n);

  /* T := C, the lower Cholesky factor of the symmetric matrix whose lower triangle ap holds
   * in packed storage (order n, n(n+1)/2 values; ap is only read). 0; i > 0 when the leading
   * minor of order i is not positive definite, -1 for an order it cannot hold; on failure no
   * triangle is held. The storage is reused when it is large enough. */
  int Factor(const double* ap, int n);
  /* T := the lower triangular matrix held lower packed in ap (order n). 0, or -1 for an order
   * it cannot hold (no triangle is then held). */
  int Load(const double* ap, int n);
  /* T := T^-1 in place. 0; i > 0 when diagonal entry i is zero (no triangle is then held). */
  int Invert();

  /* Diagonal entry i of T (0 <= i < order). */
  double Diag(int i) const;
  /* B := T^-1 B, or T^-T B when transpose, for B of order rows and nrhs columns at b with
   * leading dimension ldb >= order. Nothing happens without a triangle or columns. */
  void Solve(bool transpose, int nrhs, double* b, int ldb) const;
  /* B := T B for B as in Solve (level-3 products on the blocks of the RFP layout). */
  void Multiply(int nrhs, double* b, int ldb) const;
  /* B := B T^T for B of nrows rows and order columns at b with leading dimension
   * ldb >= nrows (each row of B becomes T times that row). */
  void MultiplyRightTrans(int nrows, double* b, int ldb) const;
  /* ap := T, lower packed (order(order+1)/2 values). */
  void ToPacked(double* ap) const;

  /* Exchanges triangles and storage with other. */
  void Swap(RfpFactor& other);
  /* Gives the storage back; no triangle is held. */
  void Release();

 private:
  /* Makes room for a factor of order n; false for an order it cannot hold. */
  bool Reserve(int n);

  int n_;
  std::unique_ptr<Store> a_;
};

}  // namespace kriging_internal

#endif
