/* test_Kriging_threads_log.cpp: independent models fitted in several threads while the
 * default message tool writes their fit lines to a log file, as a host that logs the fits it
 * runs in parallel has it. Every fit gives the sequential run's model, and the log holds
 * exactly the sequential run's lines, each whole. */
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "C_MessageTool.h"
#include "binfile.h"
#include "kriging_fixtures.h"

using namespace Kvelo;
using namespace Kvelo::MessageToolEnums;

namespace {

/* One fit with a kernel search on data of its own (seed); the predictions at new points. */
template <class T>
std::vector<double> Fit(unsigned seed) {
  C_MatMGe<T> X = SampleInputs<T>(12, 2, seed), Y = SmoothOutputs(X, 1);
  C_MatMGe<T> P = SampleInputs<T>(5, 2, seed + 1000u);
  SmallModelSpec s;
  s.scaling = ScaleInputsOutputs;
  s.kernVarType = KernPerInput;
  s.kernOpt = KernOptLikelihood;
  Kriging<T> k;
  std::vector<double> out;
  if (SolveSmall(k, X, Y, s) != 0) return out;
  C_MatMGe<T> Yp;
  if (k.EvalModel(P, Yp) != 0) return out;
  for (int i = 0; i < Yp.rows; ++i) {
    const std::complex<double> v(Yp.GetVal(i, 0));
    out.push_back(v.real());
    out.push_back(v.imag());
  }
  return out;
}

std::vector<double> Job(int i) {
  const unsigned seed = 900u + 53u * static_cast<unsigned>(i);
  return (i % 2 == 0) ? Fit<double>(seed) : Fit<cplx>(seed);
}

/* The lines of the log file, sorted: threads interleave them, but not their contents. */
std::vector<std::string> SortedLines(const std::string& path) {
  std::istringstream in(kvtest::ReadFileText(path));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

}  // namespace

TEST(KrigingThreadsLog, FitsLoggedFromSeveralThreadsGiveTheSequentialModelsAndLines) {
  kvtest::TempDir dir("kriging_threads_log");
  C_MessageTool* tool = C_MessageTool::Instance("DefaultMessageTool");
  ASSERT_NE(tool, nullptr);
  static C_DevNullCtrl quiet;  // the screen stays silent; the log stream writes the file
  tool->setMessageStreamCtrl(quiet, STREAM_SCREEN);
  tool->setEndMsgChar('\n');
  tool->setVerbosityLevel(LEVEL_INTERNAL, STREAM_LOG);
  tool->ActivateDebugScope(SCOPE_KRIGING, true, STREAM_LOG);

  const int jobs = 8;
  const std::string seqLog = dir.file("sequential.log"), parLog = dir.file("threads.log");
  ASSERT_EQ(tool->setLogFilename(seqLog, false), 0);
  std::vector<std::vector<double>> sequential;
  for (int i = 0; i < jobs; ++i) {
    sequential.push_back(Job(i));
    ASSERT_FALSE(sequential.back().empty()) << "job " << i;
  }

  ASSERT_EQ(tool->setLogFilename(parLog, false), 0);
  std::vector<std::vector<double>> threaded(jobs);
  std::vector<std::thread> pool;
  for (int i = 0; i < jobs; ++i) pool.emplace_back([i, &threaded] { threaded[i] = Job(i); });
  for (std::thread& t : pool) t.join();
  tool->setLogFilename("", true);
  tool->ActivateDebugScope(SCOPE_KRIGING, false, STREAM_LOG);
  tool->setVerbosityLevel(LEVEL_PUBLIC, STREAM_LOG);
  tool->ResetMessageStreamCtrl(STREAM_ALL);
  tool->setEndMsgChar(' ');

  for (int i = 0; i < jobs; ++i) EXPECT_TRUE(threaded[i] == sequential[i]) << "job " << i;
  // Each search logs one line per trial: many lines, every one whole and each exactly as the
  // sequential run wrote it.
  const std::vector<std::string> seqLines = SortedLines(seqLog), parLines = SortedLines(parLog);
  EXPECT_GT(seqLines.size(), static_cast<std::size_t>(4 * jobs));
  for (const std::string& line : seqLines) ASSERT_EQ(line.rfind("   Kernel : ", 0), 0u) << line;
  EXPECT_EQ(parLines, seqLines);
}
