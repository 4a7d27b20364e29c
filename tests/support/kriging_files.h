/* kriging_files.h: helpers of the Kriging file and copy tests: a big-endian byte builder for
 * model files spelled by hand, files in anonymous temporaries, an environment that makes
 * "DefaultMessageTool" route trace marks, and the checks that a copied or read-back model
 * predicts like its source. */
#ifndef KVELO_TESTS_KRIGING_FILES_H
#define KVELO_TESTS_KRIGING_FILES_H

#include <gtest/gtest.h>

#include <complex>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Kriging.h"
#include "binfile.h"
#include "kriging_fixtures.h"
#include "msgcapture.h"

namespace kvtest {

/* Bytes of a model file spelled value by value, most significant byte first. */
class BeBytes {
 public:
  BeBytes& Int(std::int32_t v);
  BeBytes& Double(double v);
  BeBytes& Elem(double v) { return Double(v); }
  BeBytes& Elem(const std::complex<double>& v) { return Double(v.real()).Double(v.imag()); }
  /* Length as an int, then the bytes without terminator. */
  BeBytes& Text(const std::string& s);
  /* Matrix record: rows, columns, rows*columns, then the values column by column. */
  template <class T>
  BeBytes& Mat(C_MatMGe<T>& M) {
    Int(M.rows).Int(M.cols).Int(M.rows * M.cols);
    for (int j = 0; j < M.cols; ++j)
      for (int i = 0; i < M.rows; ++i) Elem(M.GetVal(i, j));
    return *this;
  }
  /* Vector record: dimension, then the values. */
  template <class T>
  BeBytes& Vec(C_VecPi<T, int, C_PtrInCore<T, int>>& v) {
    Int(v.Dim());
    for (int i = 0; i < v.Dim(); ++i) Elem(v[i]);
    return *this;
  }
  /* Remembers the current length as the start of the next record. */
  BeBytes& Mark() {
    m_marks.push_back(m_bytes.size());
    return *this;
  }
  const Bytes& bytes() const { return m_bytes; }
  const std::vector<std::size_t>& marks() const { return m_marks; }

 private:
  Bytes m_bytes;
  std::vector<std::size_t> m_marks;
};

/* An anonymous temporary file (removed when closed), closed at scope exit. */
struct FileCloser {
  void operator()(FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};
typedef std::unique_ptr<FILE, FileCloser> FilePtr;

/* A temporary file holding data, positioned at its start. */
FilePtr FileWith(const Bytes& data);
/* The whole content of f (its position is left at the end). */
Bytes ContentOf(FILE* f);

/* What Write puts in a file for the model (empty when Write fails; result in *res). */
template <class T>
Bytes WrittenBytes(Kriging<T>& k, int* res = nullptr) {
  FilePtr f(std::tmpfile());
  if (!f) return Bytes();
  const int r = k.Write(f.get());
  if (res != nullptr) *res = r;
  return ContentOf(f.get());
}

/* The predictions at P of the model a and of its copy or read-back b are bitwise equal,
 * and b makes them without a refit (it still holds no factors of its own). */
template <class T>
void ExpectSamePredictions(Kriging<T>& a, Kriging<T>& b, C_MatMGe<T>& P) {
  C_MatMGe<T> Ya, Yb;
  ASSERT_EQ(0, a.EvalModel(P, Ya));
  ASSERT_EQ(0, b.EvalModel(P, Yb));
  EXPECT_TRUE(SameMat(Ya, Yb));
  EXPECT_TRUE(b.ISSolveRequired());
}

/* The predictor errors at P of the model a and of its copy or read-back b: b refits (it
 * holds no factors of its own afterwards), and the largest absolute and relative errors
 * agree within the relative tolerance tol over as many samples. */
template <class T>
void ExpectSamePredictorErrors(Kriging<T>& a, Kriging<T>& b, C_MatMGe<T>& P, double tol) {
  double absA = 0, relA = 0, absB = 0, relB = 0;
  int countA = 0, countB = 0;
  ASSERT_EQ(0, a.GetPredictorError(P, absA, relA, countA));
  ASSERT_EQ(0, b.GetPredictorError(P, absB, relB, countB));
  EXPECT_FALSE(b.ISSolveRequired());
  EXPECT_NEAR(absA, absB, tol * absA);
  EXPECT_NEAR(relA, relB, tol * relA);
  EXPECT_EQ(countA, countB);
}

/* Makes "DefaultMessageTool" an initialised tool (from a one-message file), so that the
 * trace marks of failing reads and copies are routed to the streams; register once per
 * test program with ::testing::AddGlobalTestEnvironment. */
class TraceToolEnvironment : public ::testing::Environment {
 public:
  void SetUp() override;
  void TearDown() override;

 private:
  std::unique_ptr<TempDir> m_dir;
};

/* The text of the trace mark of the Kriging source at the line. */
std::string KrigingTrace(int line);

/* The lines of the Kriging trace marks among the captured messages, in order. */
std::vector<int> KrigingTraceLines(const MsgCapture& cap);

/* The fit lines ("   Kernel : ... -> objective") among the captured information messages,
 * in order. */
std::vector<std::string> FitLines(const MsgCapture& cap);

/* The refusal lines ("Kriging: ...") among the captured information messages, in order. */
std::vector<std::string> RefusalLines(const MsgCapture& cap);

/* A capture of the Kriging log lines: information at verbosity 3 in debug scope 502 only. */
class KrigingLines {
 public:
  KrigingLines() {
    cap.SetLevel(Kvelo::MessageToolEnums::LEVEL_INTERNAL);
    cap.OnlyScope(502);
  }
  std::vector<std::string> Fits() const { return FitLines(cap); }
  std::vector<std::string> Refusals() const { return RefusalLines(cap); }
  MsgCapture cap;
};

}  // namespace kvtest

#endif
