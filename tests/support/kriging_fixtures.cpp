/* kriging_fixtures.cpp: matrix builders and textbook correlation formulas shared by the
 * Kriging tests. */
#include "kriging_fixtures.h"

#include <random>

C_MatMGe<cplx> ToComplex(C_MatMGe<double>& a) {
  C_MatMGe<cplx> c(a.rows, a.cols);
  for (int i = 0; i < a.rows; ++i)
    for (int j = 0; j < a.cols; ++j) c.SetVal(i, j, cplx(a.GetVal(i, j), 0.0));
  return c;
}

C_MatMGe<double> RandomMat(int rows, int cols, unsigned seed, double lo, double hi) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(lo, hi);
  C_MatMGe<double> m(rows, cols);
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) m.SetVal(i, j, u(gen));
  return m;
}

double RefCorr(int type, const std::vector<double>& d, const std::vector<double>& theta) {
  auto th = [&](std::size_t k) { return theta.size() == 1 ? theta[0] : theta[k]; };
  double r = 1.0;
  switch (type) {
    case 1: {
      double s = 0.0;
      for (std::size_t k = 0; k < d.size(); ++k) s += th(k) * d[k];
      return std::exp(-s);
    }
    case 2: {
      double s = 0.0;
      for (std::size_t k = 0; k < d.size(); ++k) s += th(k) * d[k] * d[k];
      return std::exp(-s);
    }
    case 3:
      for (std::size_t k = 0; k < d.size(); ++k) r *= std::max(0.0, 1.0 - th(k) * d[k]);
      return r;
    case 7:
      for (std::size_t k = 0; k < d.size(); ++k) {
        const double xi = th(k) * d[k];
        if (xi <= 0.2) r *= 1.0 - 15.0 * xi * xi + 30.0 * xi * xi * xi;
        else if (xi < 1.0) r *= 1.25 * std::pow(1.0 - xi, 3);
        else r = 0.0;
      }
      return r;
    default:
      return std::nan("");
  }
}
