/* bench_kriging_speed.cpp: the Kriging model on the borehole function against its own LAPACK
 * floor and, through kriging_vs_sklearn.py, against scikit-learn: fits with kernel search,
 * predictions with and without errors, one build next to dpotrf + dtrtri, peak memory. */
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "kriging_bench_common.h"
#include "kvelo.h"

/* The fit: d = 8, constant trend, Gaussian kernel per input, scaling 3, maximum-likelihood
 * kernel search, on a Latin hypercube design of m samples (fixed seed) for m = 200, 500, 1000,
 * 2000; the predictions: 2000 new points by the model fitted at m = 1000.
 *
 *   bench_kriging_speed [--data=DIR] [google benchmark flags]   designs to DIR, then timings
 *   bench_kriging_speed --peak=M                                 peak memory of one fit of M samples
 *
 * Run on one core (taskset, OPENBLAS_NUM_THREADS=1). */

namespace {

using kvbench::Borehole;
using kvbench::kInputs;
using kvbench::LatinHypercube;

const int kPoints = 2000;     /* prediction points */
const int kPredictM = 1000;   /* samples of the model that predicts */

unsigned SeedOf(int m) { return 1000u + static_cast<unsigned>(m); }

/* The design of m samples (seed by m; a negative m names a set of -m points of a seed of its
 * own), made once per process. */
struct Design {
  C_MatMGe<double> X, Y;
};
Design& DesignOf(int m) {
  static std::map<int, std::unique_ptr<Design>> designs;
  auto& d = designs[m];
  if (!d) {
    d.reset(new Design());
    LatinHypercube(std::abs(m), SeedOf(m), d->X, d->Y);
  }
  return *d;
}

/* The points predicted at (a design of their own). */
Design& PredictionPoints() { return DesignOf(-kPoints); }

/* A model with the samples given and the options of the comparison, ready for Solve. */
void Prepare(Kriging<double>& model, Design& d, bool search) {
  model.PutKrigingKernVarType(KernPerInput); /* before the input count, which sizes the kernel */
  model.PutNumSol(1, 1, nullptr);
  model.PutNumVar(kInputs);
  model.PutCorrFuncType(CorrGaussian);
  model.PutPolynomType(PolyConstant);
  model.PutScalingType(ScaleInputsOutputs);
  model.PutKrigingKernOptType(search ? KernOptLikelihood : KernOptNone);
  model.PutInpSampMtx(d.X);
  model.PutOutSampMtx(d.Y);
}

/* Fit with the kernel search on a fresh model of m samples. */
void BM_FitSearch(benchmark::State& state) {
  const int m = static_cast<int>(state.range(0));
  Design& d = DesignOf(m);
  double mle = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<Kriging<double>> model(new Kriging<double>());
    Prepare(*model, d, true);
    state.ResumeTiming();
    if (!kvbench::SolveOrStop(state, *model)) break;
    state.PauseTiming();
    model->GetMLE(mle);
    model.reset();
    state.ResumeTiming();
  }
  state.counters["objective"] = mle;
  state.SetLabel("borehole d=8, kernel per input, constant trend, scaling 3");
}

/* The model that predicts: fitted once with the kernel search at kPredictM samples. */
Kriging<double>& PredictingModel() {
  static std::unique_ptr<Kriging<double>> model;
  if (!model) {
    model.reset(new Kriging<double>());
    Prepare(*model, DesignOf(kPredictM), true);
    if (model->Solve() != 0) std::fprintf(stderr, "the predicting model could not be fitted\n");
  }
  return *model;
}

/* Predictions at 2000 points; range(0) = 1 adds the predictor errors (the at-points
 * GetPredictorError, which also keeps them in the model). */
void BM_Predict(benchmark::State& state) {
  const bool errors = state.range(0) != 0;
  Kriging<double>& model = PredictingModel();
  Design& pts = PredictionPoints();
  C_MatMGe<double> Yp(0, 0);
  for (auto _ : state) {
    if (kvbench::PredictOnce(model, pts.X, Yp, errors) != 0) {
      state.SkipWithError("prediction failed");
      break;
    }
  }
  state.SetLabel(errors ? "2000 points at m=1000, with predictor errors" : "2000 points at m=1000");
}

/* model prepared without kernel search on the design of m samples and solved once; false,
 * with the benchmark stopped on an error, when that solve fails. */
bool SolvedWithoutSearch(benchmark::State& state, int m, Kriging<double>& model) {
  Prepare(model, DesignOf(m), false);
  return kvbench::SolveOrStop(state, model);
}

/* One build at m samples: Solve without kernel search at the kernel the first fit estimated
 * (scaling, correlation matrix, factor, fit, inverse factor). */
void BM_Build(benchmark::State& state) {
  const int m = static_cast<int>(state.range(0));
  Kriging<double> model;
  if (!SolvedWithoutSearch(state, m, model)) return;
  kvbench::TimeReSolve(state, model);
  state.SetLabel("one build, scaling 3, estimated kernel");
}

/* The floor of one build: dpotrf + dtrtri in full storage on the same regularised correlation
 * matrix (made by the model's own EvalCorrMtx from its scaled samples). */
void BM_PotrfTrtri(benchmark::State& state) {
  const int m = static_cast<int>(state.range(0));
  Kriging<double> model;
  if (!SolvedWithoutSearch(state, m, model)) return;
  /* Scaled inputs, as the build scales them. */
  C_VecPi<double, int, C_PtrInCore<double, int>> s(0);
  C_VecPi<double, int, C_PtrInCore<double, int>> c(0);
  model.GetInpScaleVec(s);
  model.GetInpInterceptVec(c);
  Design& d = DesignOf(m);
  C_MatMGe<double> Xs(m, kInputs);
  for (int i = 0; i < m; ++i)
    for (int k = 0; k < kInputs; ++k) Xs.SetVal(i, k, s[k] * d.X.GetVal(i, k) + c[k]);
  C_MatMSym<double> R(0, 1);
  if (model.EvalCorrMtx(Xs, R) != 0) {
    state.SkipWithError("EvalCorrMtx failed");
    return;
  }
  std::vector<double> full(static_cast<std::size_t>(m) * m, 0.0), work(full.size());
  const double gain = std::sqrt(static_cast<double>(m)) * 1e-8 + (m + 10.0) * 1e-14;
  for (int j = 0; j < m; ++j)
    for (int i = j; i < m; ++i) {
      double v = R(i, j);
      if (i == j) v += gain;
      else if (std::fabs(v) < 1e-8) v = 0.0;
      full[i + static_cast<std::size_t>(j) * m] = v;
    }
  for (auto _ : state) {
    state.PauseTiming();
    work = full;
    state.ResumeTiming();
    int info = 0;
    ITF_dpotrf("L", m, work.data(), m, &info);
    ITF_dtrtri("L", "N", m, work.data(), m, &info);
    if (info != 0) {
      state.SkipWithError("dpotrf/dtrtri failed");
      break;
    }
  }
  state.SetLabel("dpotrf + dtrtri, full storage, same matrix");
}

BENCHMARK(BM_FitSearch)->Arg(200)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FitSearch)->Arg(500)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FitSearch)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FitSearch)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Predict)->Arg(0)->MinTime(1.0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Predict)->Arg(1)->MinTime(1.0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Build)->Arg(2000)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PotrfTrtri)->Arg(2000)->Iterations(5)->Unit(benchmark::kMillisecond);

/* Writes the designs of the comparison (m = 200, 500, 1000, 2000, then the prediction
 * points) as text, one point per line: the 8 inputs, then the output. */
bool WriteDesigns(const std::string& dir) {
  const int sizes[] = {200, 500, 1000, 2000, -kPoints};
  for (int m : sizes) {
    Design& d = DesignOf(m);
    const std::string path =
        dir + "/" + (m > 0 ? "design_" + std::to_string(m) : std::string("points")) + ".txt";
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) return false;
    for (int i = 0; i < d.X.rows; ++i) {
      for (int k = 0; k < kInputs; ++k) std::fprintf(f, "%.17g ", d.X.GetVal(i, k));
      std::fprintf(f, "%.17g\n", d.Y.GetVal(i, 0));
    }
    if (std::fclose(f) != 0) return false;
  }
  return true;
}

/* Peak resident memory of the process, MiB. */
double PeakMiB() {
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss / 1024.0;
}

/* One fit with the kernel search at m samples; prints the peak memory before and after. */
int PeakRun(int m) {
  Design& d = DesignOf(m);
  const double before = PeakMiB();
  Kriging<double> model;
  Prepare(model, d, true);
  const int res = model.Solve();
  const double after = PeakMiB();
  double mle = 0.0;
  model.GetMLE(mle);
  std::printf("{\"m\": %d, \"solve\": %d, \"objective\": %.9g, \"peak_before_mib\": %.1f, "
              "\"peak_mib\": %.1f}\n", m, res, mle, before, after);
  return res;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (i > 0 && std::strncmp(argv[i], "--peak=", 7) == 0) return PeakRun(std::atoi(argv[i] + 7));
    if (i > 0 && std::strncmp(argv[i], "--data=", 7) == 0) {
      if (!WriteDesigns(argv[i] + 7)) {
        std::fprintf(stderr, "cannot write the designs to %s\n", argv[i] + 7);
        return 1;
      }
      continue;
    }
    rest.push_back(argv[i]);
  }
  int n = static_cast<int>(rest.size());
  benchmark::Initialize(&n, rest.data());
  if (benchmark::ReportUnrecognizedArguments(n, rest.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
