/* kriging_fuzz.h: what the two model-file harnesses share: a model-file reader run on the
 * fuzzer's bytes for either element type, with the checks that whatever it accepted writes
 * back byte for byte and survives what a host does next with a read model. */
#ifndef KVELO_KRIGING_FUZZ_H
#define KVELO_KRIGING_FUZZ_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <complex>
#include <unistd.h>
#include <vector>

#include "C_KveloException.h"
#include "C_MatMGe.h"
#include "C_MessageTool.h"
#include "Kriging.h"
#include "fuzz_support.h"

namespace kvfuzz {

/* A broken promise of the readers: abort, so that libFuzzer keeps the input. */
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "kriging harness: %s\n", what);
  std::abort();
}

/* An element of either type from its parts (the imaginary part is dropped for double). */
template <class T>
inline T Elem(double re, double im);
template <>
inline double Elem<double>(double re, double) {
  return re;
}
template <>
inline std::complex<double> Elem<std::complex<double>>(double re, double im) {
  return std::complex<double>(re, im);
}

/* rows x cols points spread from base, the same for every input. */
template <class T>
C_MatMGe<T> Points(int rows, int cols, double base) {
  C_MatMGe<T> P(rows, cols);
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j)
      P.SetVal(i, j, Elem<T>(base + 0.37 * i + 0.11 * j, 0.05 * (i - j)));
  return P;
}

/* A small solved model of 2 inputs and 2 outputs in two groups, with test inputs and their
 * cached correlations, so that a read replaces a model that holds state the file does not. */
template <class T>
bool Prime(Kriging<T>& k) {
  const double xs[6][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0.5, 0.2}, {0.3, 0.8}};
  C_MatMGe<T> X(6, 2), Y(6, 2);
  for (int i = 0; i < 6; ++i) {
    X.SetVal(i, 0, Elem<T>(xs[i][0], 0.0));
    X.SetVal(i, 1, Elem<T>(xs[i][1], 0.1 * i));
    Y.SetVal(i, 0, Elem<T>(1.0 + xs[i][0] * xs[i][1], 0.0));
    Y.SetVal(i, 1, Elem<T>(xs[i][0] - 2.0 * xs[i][1], 0.2));
  }
  int sizes[2] = {1, 1};
  typename Kriging<T>::VecD theta(1);
  theta[0] = 0.8;
  C_MatMGe<T> Tst = Points<T>(3, 2, 0.15);
  if (k.PutNumSol(2, 2, sizes) != 0 || k.PutNumVar(2) != 0 ||
      k.PutScalingType(ScaleInputsOutputs) != 0 || k.PutPolynomType(PolyLinear) != 0 ||
      k.PutInpSampMtx(X) != 0 || k.PutOutSampMtx(Y) != 0 || k.PutKernVec(theta) != 0 ||
      k.Solve() != 0 || k.PutInpTestMtx(Tst) != 0)
    return false;
  C_MatMGe<T> Yt(0, 0), sel(0, 0);
  int want = 1;
  double maxErr = 0.0;
  return k.EvalModel(Tst, Yt, want, sel, maxErr, true) == 0;
}

/* Predictions of k at a fixed point of 2 inputs, bit for bit. */
template <class T>
std::vector<uint8_t> Fingerprint(Kriging<T>& k) {
  C_MatMGe<T> P = Points<T>(2, 2, 0.2), Y(0, 0);
  std::vector<uint8_t> out;
  if (k.EvalModel(P, Y) != 0) return out;
  for (int i = 0; i < Y.rows; ++i)
    for (int j = 0; j < Y.cols; ++j) {
      const T v = Y.GetVal(i, j);
      const uint8_t* b = reinterpret_cast<const uint8_t*>(&v);
      out.insert(out.end(), b, b + sizeof v);
    }
  return out;
}

/* The file k writes now, or an empty vector when it refuses. The binary records move
 * through the stream's descriptor, so the file is a real one (no memory stream). */
template <class T>
std::vector<uint8_t> Written(Kriging<T>& k) {
  FILE* f = std::tmpfile();
  if (f == nullptr) std::abort();
  int res = 1;
  try {
    res = k.Write(f);
  } catch (C_KveloException&) {
    res = 1;
  }
  std::vector<uint8_t> out;
  if (res == 0) {
    const off_t len = lseek(fileno(f), 0, SEEK_END);
    if (len < 0 || lseek(fileno(f), 0, SEEK_SET) != 0) std::abort();
    out.resize(static_cast<size_t>(len));
    if (len > 0 && read(fileno(f), out.data(), out.size()) != static_cast<ssize_t>(len))
      std::abort();
  }
  std::fclose(f);
  return out;
}

/* What a host calls on a model it has just read: predictions, refinement, predictor errors
 * in both forms, error measures and a new file. Results do not matter, soundness does. */
template <class T>
void UseReadModel(Kriging<T>& k) {
  int n = 0, m = 0, q = 0;
  k.GetNumVar(n);
  k.GetNumSamp(m);
  k.GetNumSol(q);
  C_MatMGe<T> X = Points<T>(2, n, 0.25), Y(0, 0), sel(0, 0);
  k.EvalModel(X, Y);
  int want = 1;
  double maxErr = 0.0;
  k.EvalModel(X, Y, want, sel, maxErr, false);
  want = 1;
  k.EvalModel(X, Y, want, sel, maxErr, true);
  double maxAbs = 0.0, maxRel = 0.0, r = 0.0;
  int count = 0;
  k.GetPredictorError(X, maxAbs, maxRel, count);
  int p = 0;
  k.GetNumPolyCoeff(p);
  C_MatMGe<double> R(1, m), Err(0, 0);
  for (int j = 0; j < m; ++j) R.SetVal(0, j, 0.5);
  C_MatMGe<T> F(1, k.GetPolynomType() != PolyNone ? p : 0);
  for (int j = 0; j < F.cols; ++j) F.SetVal(0, j, Elem<T>(1.0, 0.0));
  k.GetPredictorError(R, F, Err);
  k.GetRelativeError(r);
  k.getR2(r);
  double procVar = 0.0;
  k.GetProcVarnc(procVar, 0);
  Written(k);

  /* A copy of what was read, and a refinement step that appends points to it. */
  int err = 0;
  Kriging<T> copy(k, err);
  if (err == 0) {
    if (Written(copy) != Written(k)) Fail("a copy does not write the file of its source");
    C_MatMGe<T> Yc(0, 0);
    copy.EvalModel(X, Yc);
  }
  C_MatMGe<T> Xcand = Points<T>(2, n, 1.5), Ycand = Points<T>(2, q, -0.5), Xnew(0, 0),
              Xall(0, 0);
  int numNew = 0, numSamp = 0;
  k.Solve(Xcand, Ycand, maxRel, maxAbs, numNew, Xnew, numSamp, Xall, 1e-3);
  k.EvalModel(X, Y);
}

/* One input: the first byte picks the element type and whether the target holds a model
 * before the read; the rest is the file for Read (withVersion) or ReadOld. */
template <class T>
void RunOne(const uint8_t* data, size_t size, bool primed, bool withVersion) {
  Kriging<T> k;
  if (primed && !Prime(k)) Fail("cannot prime the target model");
  const std::vector<uint8_t> before = primed ? Fingerprint(k) : std::vector<uint8_t>();

  FILE* f = kvtest::StreamWith(kvtest::Bytes(data, data + size));
  if (f == nullptr) std::abort();
  int res = 1;
  bool threw = false;
  try {
    res = withVersion ? k.Read(f) : k.ReadOld(f);
  } catch (C_KveloException&) {
    threw = true;
  }
  const off_t used = lseek(fileno(f), 0, SEEK_CUR);
  std::fclose(f);

  if (res != 0 || threw) {
    /* A refused file leaves the model as it was. */
    if (primed && Fingerprint(k) != before) Fail("a refused read changed the model");
    return;
  }

  /* What was accepted writes back as the bytes it was read from (the version text of the
   * written file is this library's own). */
  std::vector<uint8_t> expect = {0, 0, 0, 3, '1', '.', '0'};
  size_t from = 0;
  if (withVersion) {
    if (size < 4) Fail("a read accepted a file without a version text");
    const uint32_t len = (uint32_t(data[0]) << 24) | (uint32_t(data[1]) << 16) |
                         (uint32_t(data[2]) << 8) | uint32_t(data[3]);
    from = 4 + static_cast<size_t>(len);
  }
  if (used < 0 || static_cast<size_t>(used) < from) Fail("position after the read");
  expect.insert(expect.end(), data + from, data + used);
  if (Written(k) != expect) Fail("an accepted file does not write back as read");

  try {
    UseReadModel(k);
  } catch (C_KveloException&) {
  }
}

inline int TestOneInput(const uint8_t* data, size_t size, bool withVersion) {
  SilenceMessages();
  if (size == 0) return 0;
  const bool complexType = (data[0] & 1) != 0;
  const bool primed = (data[0] & 2) != 0;
  if (complexType)
    RunOne<std::complex<double>>(data + 1, size - 1, primed, withVersion);
  else
    RunOne<double>(data + 1, size - 1, primed, withVersion);
  return 0;
}

}  // namespace kvfuzz

#endif
