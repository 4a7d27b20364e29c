// app.cpp: a host of an installed libkvelo.so, found through find_package(kvelo): it fits a
// Kriging model to 16 samples of f(x1, x2) = exp(-x1) cos(2 x2) on a 4 x 4 grid of [0, 1]^2
// and checks that the model reproduces the samples (a Kriging predictor interpolates) and
// predicts f closely between them. Exit status 0 when everything holds.
#include "kvelo.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

double F(double x1, double x2) { return std::exp(-x1) * std::cos(2.0 * x2); }

int Fail(const char* what) {
  std::fprintf(stderr, "cmake host: %s\n", what);
  return 1;
}

}  // namespace

int main() {
  if (std::strcmp(KVELO_VERSION_STRING, KVELO_PACKAGE_VERSION) != 0 ||
      std::strcmp(KVELO_VERSION_STRING, KVELO_EXPECTED_VERSION) != 0)
    return Fail("the version header, the package and the build disagree");

  const int m = 16, n = 2;
  C_MatMGe<double> X(m, n), Y(m, 1);
  for (int i = 0; i < m; ++i) {
    const double x1 = (i % 4) / 3.0, x2 = (i / 4) / 3.0;
    X.SetVal(i, 0, x1);
    X.SetVal(i, 1, x2);
    Y.SetVal(i, 0, F(x1, x2));
  }
  Kriging<double> model;
  if (model.PutNumSol(1, 1, nullptr) || model.PutNumVar(n) ||
      model.PutCorrFuncType(CorrGaussian) || model.PutKrigingKernOptType(KernOptLikelihood) ||
      model.PutInpSampMtx(X) || model.PutOutSampMtx(Y))
    return Fail("setting up the model failed");
  if (model.Solve() != 0 || model.GetKrigingStatus() != KrigingSolved)
    return Fail("Solve failed");

  // At the samples: the sample values again (up to the small diagonal regularisation).
  C_MatMGe<double> Ys(0, 0);
  if (model.EvalModel(X, Ys) != 0) return Fail("EvalModel at the samples failed");
  double atSamples = 0.0;
  for (int i = 0; i < m; ++i)
    atSamples = std::fmax(atSamples, std::fabs(Ys.GetVal(i, 0) - Y.GetVal(i, 0)));

  // Between the samples: close to f.
  const double pts[3][2] = {{0.5, 0.5}, {0.2, 0.9}, {0.8, 0.1}};
  C_MatMGe<double> P(3, n), Yp(0, 0);
  for (int i = 0; i < 3; ++i) {
    P.SetVal(i, 0, pts[i][0]);
    P.SetVal(i, 1, pts[i][1]);
  }
  if (model.EvalModel(P, Yp) != 0) return Fail("EvalModel between the samples failed");
  double between = 0.0;
  for (int i = 0; i < 3; ++i)
    between = std::fmax(between, std::fabs(Yp.GetVal(i, 0) - F(pts[i][0], pts[i][1])));

  std::printf("kvelo %s, CMake host: largest error %.2e at the samples, %.2e between them\n",
              KVELO_VERSION_STRING, atSamples, between);
  if (atSamples > 1e-5) return Fail("the model does not reproduce its samples");
  if (between > 2e-2) return Fail("the predictions between the samples are far from f");
  return 0;
}
