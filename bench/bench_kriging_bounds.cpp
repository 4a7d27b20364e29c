/* bench_kriging_bounds.cpp: what searching again around a kernel that ended on its box buys.
 * The likelihood search keeps each kernel value within [0.01, 20] times its start; on the
 * borehole function many values end on the lower bound. A host searches again in a box around
 * the kernel found by switching the search off and on and solving; this program measures Q2 on
 * 2000 new points after the first search and after up to five searches, and the time each took.
 *
 *   bench_kriging_bounds --benchmark_counters_tabular=true    (one core: taskset, OPENBLAS_NUM_THREADS=1) */
#include <benchmark/benchmark.h>

#include <cmath>

#include "kriging_bench_common.h"
#include "kvelo.h"

namespace {

using Kernel = C_VecPi<double, int, C_PtrInCore<double, int>>;

// How many values of theta (found by a search from start) sit on their box.
int OnBound(Kernel& start, Kernel& theta) {
  int k = 0;
  for (int j = 0; j < theta.Dim(); ++j)
    if (theta[j] <= 0.01 * start[j] * (1.0 + 1e-12) || theta[j] >= 20.0 * start[j] * (1.0 - 1e-12)) ++k;
  return k;
}

// Q2 = 1 - sum (y - yhat)^2 / sum (y - mean)^2 over the points P with true values Y.
double Q2(Kriging<double>& model, C_MatMGe<double>& P, C_MatMGe<double>& Y) {
  C_MatMGe<double> Yp(0, 0);
  if (model.EvalModel(P, Yp) != 0) return std::nan("");
  double mean = 0.0;
  for (int i = 0; i < Y.rows; ++i) mean += Y.GetVal(i, 0);
  mean /= Y.rows;
  double sse = 0.0, sst = 0.0;
  for (int i = 0; i < Y.rows; ++i) {
    const double e = Yp.GetVal(i, 0) - Y.GetVal(i, 0), d = Y.GetVal(i, 0) - mean;
    sse += e * e;
    sst += d * d;
  }
  return 1.0 - sse / sst;
}

void BM_SearchAgainOnBound(benchmark::State& state) {
  const int m = static_cast<int>(state.range(0));
  C_MatMGe<double> X(0, 0), Y(0, 0), P(0, 0), Yt(0, 0);
  kvbench::LatinHypercube(m, 1000u + static_cast<unsigned>(m), X, Y);
  kvbench::LatinHypercube(2000, 99u, P, Yt);
  double q2First = 0.0, q2Last = 0.0;
  int boundFirst = 0, boundLast = 0, searches = 0;
  for (auto _ : state) {
    Kriging<double> model;
    model.PutKrigingKernVarType(KernPerInput);
    model.PutNumSol(1, 1, nullptr);
    model.PutNumVar(kvbench::kInputs);
    model.PutCorrFuncType(CorrGaussian);
    model.PutPolynomType(PolyConstant);
    model.PutScalingType(ScaleInputsOutputs);
    model.PutKrigingKernOptType(KernOptNone);
    model.PutInpSampMtx(X);
    model.PutOutSampMtx(Y);
    Kernel start(0), theta(0);
    if (model.Solve() != 0) { state.SkipWithError("Solve failed"); break; }
    model.GetKernVec(start);
    model.PutKrigingKernOptType(KernOptLikelihood);
    if (model.Solve() != 0) { state.SkipWithError("search failed"); break; }
    model.GetKernVec(theta);
    searches = 1;
    state.PauseTiming();
    q2First = Q2(model, P, Yt);
    boundFirst = OnBound(start, theta);
    state.ResumeTiming();
    boundLast = boundFirst;
    while (boundLast > 0 && searches < 5) {
      start.Copy(theta);
      model.PutKrigingKernOptType(KernOptNone);
      model.PutKrigingKernOptType(KernOptLikelihood);
      if (model.Solve() != 0) { state.SkipWithError("search failed"); break; }
      model.GetKernVec(theta);
      ++searches;
      boundLast = OnBound(start, theta);
    }
    state.PauseTiming();
    q2Last = Q2(model, P, Yt);
    state.ResumeTiming();
  }
  state.counters["Q2_first"] = q2First;
  state.counters["on_bound_first"] = boundFirst;
  state.counters["Q2_after"] = q2Last;
  state.counters["on_bound_after"] = boundLast;
  state.counters["searches"] = searches;
  state.SetLabel("borehole d=8, kernel per input, constant trend, scaling 3");
}
BENCHMARK(BM_SearchAgainOnBound)->Arg(50)->Arg(100)->Arg(200)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
