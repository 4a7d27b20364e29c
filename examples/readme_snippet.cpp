// readme_snippet.cpp: the code the README shows, built and run with the tests: a Kriging
// model of y = sin(x1) + x2^2 fitted to 16 samples, and its prediction at a new point.
#include "kvelo.h"

#include <cmath>
#include <cstdio>

int main() {
  const int m = 16, n = 2;                 // samples, inputs
  C_MatMGe<double> X(m, n), Y(m, 1);       // one sample per row
  for (int i = 0; i < m; ++i) {
    const double x1 = i % 4, x2 = (i / 4) / 3.0;
    X.SetVal(i, 0, x1);
    X.SetVal(i, 1, x2);
    Y.SetVal(i, 0, std::sin(x1) + x2 * x2);
  }

  Kriging<double> model;
  model.PutNumSol(1, 1, nullptr);          // one output (in one group)
  model.PutNumVar(n);                      // the counts come first: each clears the samples
  model.PutCorrFuncType(CorrGaussian);
  model.PutKrigingKernOptType(KernOptLikelihood);
  model.PutInpSampMtx(X);
  model.PutOutSampMtx(Y);
  if (model.Solve() != 0) {                // state 3: a count or a sample set is missing
    std::printf("Solve failed, model state %d\n", static_cast<int>(model.GetKrigingStatus()));
    return 1;
  }

  C_MatMGe<double> P(1, n), Yp(0, 0);      // points to predict at, one per row
  P.SetVal(0, 0, 1.5);
  P.SetVal(0, 1, 0.5);
  if (model.EvalModel(P, Yp) != 0) return 1;
  std::printf("y(1.5, 0.5) = %.4f (true value %.4f)\n", Yp.GetVal(0, 0), std::sin(1.5) + 0.25);
  return 0;
}
