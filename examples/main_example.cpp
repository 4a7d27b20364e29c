// main_example.cpp: a Kriging response surface of the Branin function, as a host builds one:
// a space-filling design of 30 points (maximin augmentation of the library's design class),
// a Gaussian-kernel model whose kernel is tuned by maximum likelihood, and predictions with
// predictor errors at 1000 new points, compared with the true values; then the model is
// saved and restored, and refined once where its predictor error is largest.
// Deterministic: every random draw comes from a fixed seed.
#include "kvelo.h"

#include <cmath>
#include <cstdio>

namespace {

const double kPi = 3.14159265358979323846;
const double kLo1 = -5.0, kHi1 = 10.0, kLo2 = 0.0, kHi2 = 15.0;

// The Branin function, a standard two-input test function (three global minima of
// 0.397887 at (-pi, 12.275), (pi, 2.275) and (9.42478, 2.475)).
double Branin(double x1, double x2) {
  const double b = 5.1 / (4.0 * kPi * kPi), c = 5.0 / kPi, t = 1.0 / (8.0 * kPi);
  const double u = x2 - b * x1 * x1 + c * x1 - 6.0;
  return u * u + 10.0 * (1.0 - t) * std::cos(x1) + 10.0;
}

// Y := the Branin values at the rows of X (one column).
void BraninAt(C_MatMGe<double>& X, C_MatMGe<double>& Y) {
  Y.Resize(X.rows, 1);
  for (int i = 0; i < X.rows; ++i) Y.SetVal(i, 0, Branin(X.GetVal(i, 0), X.GetVal(i, 1)));
}

// 30 maximin points in (-1, 1)^2 from the design class, mapped to the Branin box.
bool MakeDesign(int n, C_MatMGe<double>& X) {
  Kvelo::C_BaseDesign design(2, 0);
  if (design.AugmentDesign('R', n, nullptr) != 0) return false;
  MAT* pts = design.getDesignMatrix();
  if (pts == nullptr || static_cast<int>(pts->m) != n || pts->n != 2) return false;
  X.Resize(n, 2);
  for (int i = 0; i < n; ++i) {
    X.SetVal(i, 0, kLo1 + 0.5 * (pts->me[i][0] + 1.0) * (kHi1 - kLo1));
    X.SetVal(i, 1, kLo2 + 0.5 * (pts->me[i][1] + 1.0) * (kHi2 - kLo2));
  }
  return true;
}

// n points drawn uniformly in the Branin box from the given seed.
bool MakeTestPoints(int n, C_MatMGe<double>& P, unsigned seed = 20240611u) {
  C_RandNum rng;
  const E_InitSeedType given = E_SeedGiven;
  if (rng.Init(given, seed) != 0) return false;
  P.Resize(n, 2);
  double u[2];
  double* pu = u;
  for (int i = 0; i < n; ++i) {
    if (rng.GetRandNum(2, pu) != 0) return false;
    P.SetVal(i, 0, kLo1 + u[0] * (kHi1 - kLo1));
    P.SetVal(i, 1, kLo2 + u[1] * (kHi2 - kLo2));
  }
  return true;
}

using Kernel = C_VecPi<double, int, C_PtrInCore<double, int>>;

// The search box of a kernel value whose search started at s.
double BoxLo(double s) { return 0.01 * s; }
double BoxUp(double s) { return 20.0 * s; }
bool AtLo(double t, double s) { return t <= BoxLo(s) * (1.0 + 1e-12); }
bool AtUp(double t, double s) { return t >= BoxUp(s) * (1.0 - 1e-12); }

// Whether a value of the kernel theta found by a search from start sits on its box.
bool OnBound(Kernel& start, Kernel& theta) {
  for (int j = 0; j < theta.Dim(); ++j)
    if (AtLo(theta[j], start[j]) || AtUp(theta[j], start[j])) return true;
  return false;
}

// One line per search: each kernel value in its box, marked when it sits on a bound.
void PrintSearch(int round, Kernel& start, Kernel& theta) {
  std::printf("  search %d          :", round);
  for (int j = 0; j < theta.Dim(); ++j)
    std::printf(" %.4f in [%.4g, %.4g]%s", theta[j], BoxLo(start[j]), BoxUp(start[j]),
                AtLo(theta[j], start[j]) ? " (lower bound)"
                : AtUp(theta[j], start[j]) ? " (upper bound)" : "");
  std::printf("\n");
}

int Fail(const char* what) {
  std::fprintf(stderr, "kvelo example: %s failed\n", what);
  return 1;
}

}  // namespace

int main() {
  const int m = 30, N = 1000;
  C_MatMGe<double> X(0, 0), Y(0, 0), P(0, 0), Ytrue(0, 0), Yp(0, 0);
  if (!MakeDesign(m, X)) return Fail("the design");
  BraninAt(X, Y);
  if (!MakeTestPoints(N, P)) return Fail("the test points");
  BraninAt(P, Ytrue);

  // Model: Gaussian kernel with one value per input (chosen before the input count, which
  // sets the number of kernel values); inputs and outputs scaled; the default quadratic
  // trend (lowered by the fit if need be).
  Kriging<double> model;
  if (model.PutKrigingKernVarType(KernPerInput) || model.PutNumSol(1, 1, nullptr) ||
      model.PutNumVar(2) || model.PutCorrFuncType(CorrGaussian) ||
      model.PutKrigingKernOptType(KernOptNone) || model.PutScalingType(ScaleInputsOutputs) ||
      model.PutInpSampMtx(X) || model.PutOutSampMtx(Y))
    return Fail("setting up the model");
  // A first fit without the search gives the kernel estimated from the spread of the
  // samples: the start of the likelihood search, which moves each value within a box of
  // [0.01, 20] times its start.
  if (model.Solve() != 0) return Fail("Solve");
  Kernel start(0), theta(0);
  model.GetKernVec(start);
  if (model.PutKrigingKernOptType(KernOptLikelihood) != 0 || model.Solve() != 0)
    return Fail("the kernel search");
  model.GetKernVec(theta);
  std::printf("Kriging response surface of the Branin function on [-5, 10] x [0, 15]\n\n");
  std::printf("  kernel search     : each value within [0.01, 20] x its start value\n");
  PrintSearch(1, start, theta);
  // A value that ends on its bound may have wanted to go farther: search again in a box
  // around the kernel found (switching the search off and on makes the next Solve search),
  // until no value sits on a bound, four searches more at most.
  for (int round = 2; round <= 5 && OnBound(start, theta); ++round) {
    start.Copy(theta);
    if (model.PutKrigingKernOptType(KernOptNone) != 0 ||
        model.PutKrigingKernOptType(KernOptLikelihood) != 0 || model.Solve() != 0)
      return Fail("the kernel search");
    model.GetKernVec(theta);
    PrintSearch(round, start, theta);
  }

  // Predictions at all new points in one call, then the predictor error of each point
  // (GetPredictorError reports the largest error over the points it is given: one point
  // at a time gives each point's own).
  if (model.EvalModel(P, Yp) != 0) return Fail("EvalModel");
  C_VecPi<double, int, C_PtrInCore<double, int>> predErr(N);
  C_MatMGe<double> one(1, 2);
  for (int i = 0; i < N; ++i) {
    one.SetVal(0, 0, P.GetVal(i, 0));
    one.SetVal(0, 1, P.GetVal(i, 1));
    double absErr = 0.0, relErr = 0.0;
    int count = 0;
    if (model.GetPredictorError(one, absErr, relErr, count) != 0)
      return Fail("GetPredictorError");
    predErr[i] = absErr;
  }

  // Accuracy on the new points: R^2 against the true values, the largest absolute error,
  // and how often the true value lies within two predictor errors of the prediction.
  double mean = 0.0, lo = 1e300, hi = -1e300;
  for (int i = 0; i < N; ++i) {
    const double truth = Ytrue.GetVal(i, 0);
    mean += truth;
    lo = std::fmin(lo, truth);
    hi = std::fmax(hi, truth);
  }
  mean /= N;
  double sse = 0.0, sst = 0.0, maxAbs = 0.0, maxPred = 0.0;
  int worst = 0, covered = 0;
  for (int i = 0; i < N; ++i) {
    const double truth = Ytrue.GetVal(i, 0);
    const double e = Yp.GetVal(i, 0) - truth;
    sse += e * e;
    sst += (truth - mean) * (truth - mean);
    if (std::fabs(e) > maxAbs) {
      maxAbs = std::fabs(e);
      worst = i;
    }
    if (std::fabs(e) <= 2.0 * predErr[i]) ++covered;
    maxPred = std::fmax(maxPred, predErr[i]);
  }

  double objective = 0.0;
  model.GetMLE(objective);
  int terms = 0;
  model.GetNumPolyCoeff(terms);

  std::printf("\n  samples           : %d maximin points of the design class\n", m);
  std::printf("  model             : Gaussian kernel per input, %d trend terms, scaled data\n",
              terms);
  std::printf("  tuned kernel      :");
  for (int j = 0; j < theta.Dim(); ++j) std::printf(" %.4f", theta[j]);
  std::printf(" (on standardised inputs)\n");
  std::printf("  objective         : %.6g (likelihood objective, smaller is better)\n\n",
              objective);
  std::printf("  at %d new points (true values from %.2f to %.2f):\n", N, lo, hi);
  std::printf("  R^2               : %.6f\n", 1.0 - sse / sst);
  std::printf("  RMS error         : %.4f\n", std::sqrt(sse / N));
  std::printf("  largest |error|   : %.4f at (%.3f, %.3f)\n", maxAbs, P.GetVal(worst, 0),
              P.GetVal(worst, 1));
  std::printf("  largest pred. err : %.4f\n", maxPred);
  std::printf("  |error| <= 2 pred. err at %d of %d points\n\n", covered, N);

  // A few points beside their true values and predictor errors.
  std::printf("  %8s %8s %10s %10s %10s %10s\n", "x1", "x2", "true", "predicted", "error",
              "pred. err");
  for (int i = 0; i < N; i += N / 8) {
    const double truth = Ytrue.GetVal(i, 0);
    std::printf("  %8.3f %8.3f %10.4f %10.4f %10.4f %10.4f\n", P.GetVal(i, 0), P.GetVal(i, 1),
                truth, Yp.GetVal(i, 0), Yp.GetVal(i, 0) - truth, predErr[i]);
  }

  // Save the fitted model and restore it into a new one (a host would fopen a named file
  // with "wb", then "rb"): the restored model predicts the same values at once.
  FILE* file = std::tmpfile();
  if (file == nullptr || model.Write(file) != 0) return Fail("Write");
  std::rewind(file);
  Kriging<double> restored;
  const int readResult = restored.Read(file);
  std::fclose(file);
  if (readResult != 0) return Fail("Read");
  C_MatMGe<double> Yr(0, 0);
  if (restored.EvalModel(P, Yr) != 0) return Fail("EvalModel of the restored model");
  double maxDiff = 0.0;
  for (int i = 0; i < N; ++i)
    maxDiff = std::fmax(maxDiff, std::fabs(Yr.GetVal(i, 0) - Yp.GetVal(i, 0)));
  std::printf("\n  saved and restored : largest prediction difference %.3g at %d points\n",
              maxDiff, N);

  // One refinement round: among 200 candidates, name the 5 of largest relative predictor
  // error, "simulate" there (the Branin function), append them with their outputs, refit.
  double errBefore = 0.0, relBefore = 0.0, predBefore = 0.0;
  if (model.CheckError(P, Ytrue, errBefore) != 0 ||
      model.CheckRelativeError(P, Ytrue, relBefore, predBefore) != 0)
    return Fail("the error measures");

  C_MatMGe<double> cand(0, 0), Yc(0, 0), Xsel(0, 0);
  if (!MakeTestPoints(200, cand, 7u)) return Fail("the candidates");
  int wanted = 5;
  double maxRel = 0.0;
  if (model.EvalModel(cand, Yc, wanted, Xsel, maxRel, false) != 0)
    return Fail("naming refinement points");
  C_MatMGe<double> Ysel(0, 0), Xnew(0, 0), Xall(0, 0);
  BraninAt(Xsel, Ysel);
  double maxRelErr = 0.0, maxAbsErr = 0.0;
  int numNew = 0, numSamp = 0;
  if (model.Solve(Xsel, Ysel, maxRelErr, maxAbsErr, numNew, Xnew, numSamp, Xall, 1e-3) != 0)
    return Fail("the refinement Solve");

  double errAfter = 0.0, relAfter = 0.0, predAfter = 0.0;
  if (model.CheckError(P, Ytrue, errAfter) != 0 ||
      model.CheckRelativeError(P, Ytrue, relAfter, predAfter) != 0)
    return Fail("the error measures");
  std::printf("  refinement         : %d of 200 candidates named (largest relative predictor"
              " error %.4f),\n                       %d added, %d samples, model refitted\n\n",
              wanted, maxRel, numNew, numSamp);
  std::printf("  at the %4d new points%11s %12s\n", N, "before", "after");
  std::printf("  largest |error|    : %12.4f %12.4f\n", errBefore, errAfter);
  std::printf("  largest rel. error : %12.5f %12.5f\n", relBefore, relAfter);
  std::printf("  largest rel. pred. : %12.5f %12.5f\n", predBefore, predAfter);
  return 0;
}
