/* test_Kriging_threads.cpp: independent models in several threads. Each thread fits its own
 * model (real or complex, with a kernel search), predicts with predictor errors, writes the
 * model and reads it back; every result is bitwise the one a sequential run gives. No log
 * file is set: the models' lines go only to the screen streams, which show none of them. */
#include <gtest/gtest.h>

#include <complex>
#include <cstdio>
#include <thread>
#include <vector>

#include "kriging_files.h"
#include "kriging_fixtures.h"

using kvtest::Bytes;

namespace {

/* Everything a job produces, compared bitwise between runs. */
struct JobResult {
  int status = -1;
  Bytes file;
  std::vector<double> values; /* predictions (real and imaginary parts), then errors */
  std::vector<double> reread; /* predictions of the model read back */

  bool operator==(const JobResult& o) const {
    return status == o.status && file == o.file && values == o.values && reread == o.reread;
  }
};

inline void Push(std::vector<double>& v, double x) { v.push_back(x); }
inline void Push(std::vector<double>& v, const cplx& z) {
  v.push_back(z.real());
  v.push_back(z.imag());
}

/* One job: a model of its own on data of its own (seed), searched, evaluated, saved, read. */
template <class T>
JobResult Job(unsigned seed, int kernVarType) {
  JobResult r;
  C_MatMGe<T> X = SampleInputs<T>(14, 2, seed), Y = SmoothOutputs(X, 2);
  C_MatMGe<T> P = SampleInputs<T>(6, 2, seed + 1000u);
  SmallModelSpec s;
  s.groups = 2;
  s.scaling = ScaleInputsOutputs;
  s.poly = PolyLinear;
  s.kernVarType = kernVarType;
  s.kernOpt = KernOptLikelihood;
  Kriging<T> k;
  r.status = SolveSmall(k, X, Y, s);
  if (r.status != 0) return r;

  C_MatMGe<T> Yp;
  if ((r.status = k.EvalModel(P, Yp)) != 0) return r;
  double absErr = 0.0, relErr = 0.0;
  int count = 0;
  if ((r.status = k.GetPredictorError(P, absErr, relErr, count)) != 0) return r;
  for (int i = 0; i < Yp.rows; ++i)
    for (int j = 0; j < Yp.cols; ++j) Push(r.values, Yp.GetVal(i, j));
  Push(r.values, absErr);
  Push(r.values, relErr);
  double r2 = 0.0;
  if ((r.status = k.getR2(r2)) != 0) return r;
  Push(r.values, r2);

  r.file = kvtest::WrittenBytes(k, &r.status);
  if (r.status != 0) return r;
  kvtest::FilePtr f = kvtest::FileWith(r.file);
  Kriging<T> back;
  if ((r.status = back.Read(f.get())) != 0) return r;
  C_MatMGe<T> Yb;
  if ((r.status = back.EvalModel(P, Yb)) != 0) return r;
  for (int i = 0; i < Yb.rows; ++i)
    for (int j = 0; j < Yb.cols; ++j) Push(r.reread, Yb.GetVal(i, j));
  return r;
}

/* Job i of a run: real and complex models, shared and per-input kernels, each on its seed. */
JobResult RunJob(int i) {
  const unsigned seed = 500u + 37u * static_cast<unsigned>(i);
  return (i % 2 == 0) ? Job<double>(seed, (i / 2) % 2) : Job<cplx>(seed, (i / 2) % 2);
}

}  // namespace

TEST(KrigingThreads, IndependentModelsGiveTheSequentialResultsBitwise) {
  const int jobs = 8;
  /* The sequential run comes first: it also makes the message tool the models print
   * through, so that the threads find it made. */
  std::vector<JobResult> sequential;
  for (int i = 0; i < jobs; ++i) {
    sequential.push_back(RunJob(i));
    ASSERT_EQ(0, sequential.back().status) << i;
    ASSERT_FALSE(sequential.back().file.empty()) << i;
  }
  /* Four threads at a time, twice over, each with its own model and data. */
  for (int round = 0; round < 2; ++round) {
    std::vector<JobResult> threaded(jobs);
    for (int first = 0; first < jobs; first += 4) {
      std::vector<std::thread> pool;
      for (int i = first; i < first + 4; ++i)
        pool.emplace_back([i, &threaded] { threaded[i] = RunJob(i); });
      for (std::thread& t : pool) t.join();
    }
    for (int i = 0; i < jobs; ++i) EXPECT_TRUE(threaded[i] == sequential[i]) << "job " << i;
  }
}
