/* kriging_bench_common.h: what the Kriging benchmarks share: the eight-input borehole
 * function their designs are drawn for, the first solve of a prepared model, the timed
 * refits, and one round of predictions, with or without predictor errors, as a host asks for
 * them. */
#ifndef KVELO_BENCH_KRIGING_BENCH_COMMON_H
#define KVELO_BENCH_KRIGING_BENCH_COMMON_H

#include <benchmark/benchmark.h>

#include <cmath>
#include <numeric>
#include <random>
#include <vector>

#include "kvelo.h"

namespace kvbench {

const int kInputs = 8;

/* The borehole function (water flow through a borehole) of eight inputs given in [0, 1]^8
 * and mapped to their physical ranges. */
inline double Borehole(const double* u) {
  const double kPi = 3.14159265358979323846;
  const double rw = 0.05 + 0.10 * u[0], r = 100.0 + 49900.0 * u[1];
  const double Tu = 63070.0 + 52530.0 * u[2], Hu = 990.0 + 120.0 * u[3];
  const double Tl = 63.1 + 52.9 * u[4], Hl = 700.0 + 120.0 * u[5];
  const double L = 1120.0 + 560.0 * u[6], Kw = 9855.0 + 2190.0 * u[7];
  const double lr = std::log(r / rw);
  return 2.0 * kPi * Tu * (Hu - Hl) / (lr * (1.0 + 2.0 * L * Tu / (lr * rw * rw * Kw) + Tu / Tl));
}

/* A Latin hypercube of m points in [0, 1]^8 from seed: in every input each of the m strata
 * holds one point, at a uniform position inside it; Y := the borehole values. */
inline void LatinHypercube(int m, unsigned seed, C_MatMGe<double>& X, C_MatMGe<double>& Y) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  X.Resize(m, kInputs);
  Y.Resize(m, 1);
  std::vector<int> perm(static_cast<std::size_t>(m));
  for (int k = 0; k < kInputs; ++k) {
    std::iota(perm.begin(), perm.end(), 0);
    for (int i = m - 1; i > 0; --i) {
      std::uniform_int_distribution<int> pick(0, i);
      std::swap(perm[i], perm[pick(gen)]);
    }
    for (int i = 0; i < m; ++i) X.SetVal(i, k, (perm[i] + u(gen)) / m);
  }
  double x[kInputs];
  for (int i = 0; i < m; ++i) {
    for (int k = 0; k < kInputs; ++k) x[k] = X.GetVal(i, k);
    Y.SetVal(i, 0, Borehole(x));
  }
}

/* Solves model once; false, with the benchmark stopped on an error, when that solve fails. */
inline bool SolveOrStop(benchmark::State& state, Kriging<double>& model) {
  if (model.Solve() == 0) return true;
  state.SkipWithError("Solve failed");
  return false;
}

/* One ReSolve per iteration: it re-checks the data and refits with the kernel in hand (the
 * one the first fit estimated); the benchmark stops on an error when one fails. */
inline void TimeReSolve(benchmark::State& state, Kriging<double>& model) {
  for (auto _ : state) {
    if (model.ReSolve() != 0) {
      state.SkipWithError("Solve failed");
      break;
    }
  }
}

/* One round of predictions of model at the points P: into Yp, or, with errors, the
 * predictor errors through the at-points GetPredictorError (which also keeps them in the
 * model). Returns the model's result, 0 on success. */
inline int PredictOnce(Kriging<double>& model, C_MatMGe<double>& P, C_MatMGe<double>& Yp, bool errors) {
  if (errors) {
    double maxAbs = 0.0, maxRel = 0.0;
    int count = 0;
    const int res = model.GetPredictorError(P, maxAbs, maxRel, count);
    benchmark::DoNotOptimize(maxAbs);
    return res;
  }
  const int res = model.EvalModel(P, Yp);
  benchmark::DoNotOptimize(Yp.Adr());
  return res;
}

}  // namespace kvbench

#endif
