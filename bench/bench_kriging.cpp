/* bench_kriging.cpp: timings of the Kriging model for m samples of n = 8 inputs: one Solve
 * with the current kernel and the correlation matrix alone (smooth test data, Gaussian
 * kernel, constant trend); EvalModel of 1000 new points with and without predictor errors;
 * and a full Solve with the maximum-likelihood kernel search on borehole data. */
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "kriging_bench_common.h"
#include "kvelo.h"

namespace {

using kvbench::Borehole;
using kvbench::kInputs;

/* m samples uniform in [0, 1]^8, drawn row by row from seed, and the output f(x) of each
 * sample x (8 values). */
template <class F>
void MakeData(int m, unsigned seed, F f, C_MatMGe<double>& X, C_MatMGe<double>& Y) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  X.Resize(m, kInputs);
  Y.Resize(m, 1);
  double x[kInputs];
  for (int i = 0; i < m; ++i) {
    for (int k = 0; k < kInputs; ++k) {
      x[k] = u(gen);
      X.Adr()[i + static_cast<long>(k) * X.Ld()] = x[k];
    }
    Y.Adr()[i] = f(x);
  }
}

/* A smooth output of eight inputs. */
double Smooth(const double* x) {
  double y = 0.0;
  for (int k = 0; k < kInputs; ++k) y += std::sin(3.0 * x[k] + k) + 0.5 * x[k] * x[k];
  return y;
}

/* Samples uniform in [0, 1]^8 (fixed seed) and a smooth output of them. */
void MakeSamples(int m, C_MatMGe<double>& X, C_MatMGe<double>& Y, unsigned seed = 12345u) {
  MakeData(m, seed, Smooth, X, Y);
}

void MakeBorehole(int m, C_MatMGe<double>& X, C_MatMGe<double>& Y) {
  MakeData(m, 777u, Borehole, X, Y);
}

/* A model with samples given and every option set, ready for Solve. */
void Prepare(Kriging<double>& model, C_MatMGe<double>& X, C_MatMGe<double>& Y) {
  model.PutNumSol(1, 1, nullptr);
  model.PutNumVar(kInputs);
  model.PutCorrFuncType(CorrGaussian);
  model.PutPolynomType(PolyConstant);
  model.PutInpSampMtx(X);
  model.PutOutSampMtx(Y);
}

/* A model of m smooth samples X, Y, solved once; false, with the benchmark stopped on an
 * error, when that solve fails. */
bool SolvedModel(benchmark::State& state, int m, Kriging<double>& model, C_MatMGe<double>& X,
                 C_MatMGe<double>& Y) {
  MakeSamples(m, X, Y);
  Prepare(model, X, Y);
  return kvbench::SolveOrStop(state, model);
}

void BM_KrigingSolve(benchmark::State& state) {
  const int m = static_cast<int>(state.range(0));
  C_MatMGe<double> X(0, 0), Y(0, 0);
  MakeSamples(m, X, Y);
  Kriging<double> model;
  Prepare(model, X, Y);
  kvbench::TimeReSolve(state, model);
  state.SetLabel("n=8 Gaussian constant trend");
}

void BM_KrigingCorrMtx(benchmark::State& state) {
  const int m = static_cast<int>(state.range(0));
  C_MatMGe<double> X(0, 0), Y(0, 0);
  Kriging<double> model;
  if (!SolvedModel(state, m, model, X, Y)) return;
  C_MatMSym<double> R(0, 1);
  for (auto _ : state) {
    model.EvalCorrMtx(X, R);
    benchmark::DoNotOptimize(R.Adr());
  }
}

/* Predictions at 1000 new points of a model of m samples; with range(1) set, predictor
 * errors as well (the host asks for them through the at-points GetPredictorError). */
void BM_KrigingEvalModel(benchmark::State& state) {
  const int m = static_cast<int>(state.range(0));
  const bool errors = state.range(1) != 0;
  C_MatMGe<double> X(0, 0), Y(0, 0), P(0, 0), Q(0, 0), Yp(0, 0);
  MakeSamples(1000, P, Q, 999u);
  Kriging<double> model;
  if (!SolvedModel(state, m, model, X, Y)) return;
  for (auto _ : state) {
    if (kvbench::PredictOnce(model, P, Yp, errors) != 0) {
      state.SkipWithError("EvalModel failed");
      break;
    }
  }
  state.SetLabel(errors ? "1000 points, with predictor errors" : "1000 points");
}

/* One Solve with the kernel search (one kernel value per input, estimated start) on a
 * fresh model of m borehole samples. */
void BM_KrigingSolveSearch(benchmark::State& state) {
  const int m = static_cast<int>(state.range(0));
  C_MatMGe<double> X(0, 0), Y(0, 0);
  MakeBorehole(m, X, Y);
  for (auto _ : state) {
    state.PauseTiming();
    Kriging<double> model;
    model.PutKrigingKernVarType(KernPerInput);
    model.PutKrigingKernOptType(KernOptLikelihood);
    model.PutScalingType(ScaleInputsOutputs);
    Prepare(model, X, Y);
    state.ResumeTiming();
    if (!kvbench::SolveOrStop(state, model)) break;
    state.PauseTiming();
    double mle = 0.0;
    model.GetMLE(mle);
    state.counters["objective"] = mle;
    state.ResumeTiming();
  }
  state.SetLabel("borehole n=8, kernel per input, constant trend");
}

BENCHMARK(BM_KrigingSolve)->Arg(250)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KrigingCorrMtx)->Arg(250)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KrigingEvalModel)->Args({1000, 0})->Args({1000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KrigingSolveSearch)->Arg(250)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
