/* test_Kriging_persist.cpp: the model file: byte-exact against files spelled by hand, round
 * trips for both value types and every scaling type, refusals of truncated, inconsistent
 * and damaged files (marked at their records) and of values no fit makes, each named, that
 * leave the target model as it was. */
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "bf.h"
#include "kriging_files.h"
#include "kriging_fixtures.h"
#include "msgcapture.h"
#include "thrown_code.h"

using kvtest::BeBytes;
using kvtest::Bytes;
using kvtest::KrigingTraceLines;
using kvtest::FilePtr;

namespace {

testing::Environment* const g_traceEnv =
    testing::AddGlobalTestEnvironment(new kvtest::TraceToolEnvironment);

/* Lines of the trace marks, records 1 to 18 (0: record absent from that layout). */
const int kReadLines[18] = {4610, 4614, 4619, 4627, 4633, 4636, 4638, 4655, 4659,
                            4660, 4669, 4670, 4678, 4680, 4687, 4691, 4699, 4703};
const int kReadOldLines[18] = {0,    4733, 4738, 4746, 4752, 4755, 4757, 4774, 4778,
                               4779, 4788, 4789, 4797, 4799, 4806, 4810, 4818, 4822};

/* The model of the layout example: 4 samples of 2 inputs, 1 output in one group, a kernel
 * of one value, no scaling, Gaussian correlation, constant trend. */
void LayoutExample(Kriging<double>& k, C_MatMGe<double>& X, C_MatMGe<double>& Y) {
  X = MakeMat<double>(4, 2, {0.0, 0.0, 1.0, 0.0, 0.0, 1.0, 1.0, 1.0});
  Y = MakeMat<double>(4, 1, {1.0, 2.0, 3.0, 5.0});
  SmallModelSpec s;
  s.poly = PolyConstant;
  s.theta = {0.8};
  ASSERT_EQ(0, SolveSmall(k, X, Y, s));
}

/* The records of a model file as values, taken from a solved model (or set one by one), to
 * be damaged one at a time and spelled into a file for either reader. */
template <class T>
struct FileParts {
  typedef C_VecPi<T, int, C_PtrInCore<T, int>> VecT;
  C_MatMGe<T> X, Y, G, B;
  int groups = 0, kernVarType = 0, scaling = 0, corr = 0, poly = 0, soln = 0, opt = 0;
  std::vector<int> sizes;
  RVec theta, inScale, outScale;
  VecT inIcpt, outIcpt;

  FileParts() : theta(0), inScale(0), outScale(0), inIcpt(0), outIcpt(0) {}
  explicit FileParts(Kriging<T>& k) : FileParts() {
    EXPECT_EQ(0, k.GetInpSampMtx(X));
    EXPECT_EQ(0, k.GetOutSampMtx(Y));
    EXPECT_EQ(0, k.GetCorrCoeff(G));
    k.GetNumGlobalSol(groups);
    int err = 0;
    int* s = k.GetVecGlobalSol(err);
    sizes.assign(s, s + groups);
    delete[] s;
    kernVarType = k.GetKrigingKernVarType();
    k.GetKernVec(theta);
    scaling = k.GetScalingType();
    k.GetInpScaleVec(inScale);
    k.GetInpInterceptVec(inIcpt);
    k.GetOutScaleVec(outScale);
    k.GetOutInterceptVec(outIcpt);
    corr = k.GetCorrFuncType();
    poly = k.GetPolynomType();
    if (poly != 0) {
      EXPECT_EQ(0, k.GetPolyCoeff(B));
    }
    soln = k.GetSolnType();
    opt = k.GetKrigingKernOptType();
  }

  /* The file record by record, as the layout describes it, each record's start marked. */
  BeBytes Marked(bool withVersion) {
    BeBytes b;
    if (withVersion) b.Mark().Text("1.0");
    b.Mark().Mat(X).Mark().Mat(Y).Mark().Int(groups).Mark();
    for (int size : sizes) b.Int(size);
    b.Mark().Int(kernVarType).Mark().Vec(theta).Mark().Int(scaling);
    if (scaling == 1 || scaling == 3) b.Mark().Vec(inScale).Mark().Vec(inIcpt);
    if (scaling == 2 || scaling == 3) b.Mark().Vec(outScale).Mark().Vec(outIcpt);
    b.Mark().Int(corr).Mark().Mat(G).Mark().Int(poly);
    if (poly != 0) b.Mark().Mat(B);
    b.Mark().Int(soln).Mark().Int(opt);
    return b;
  }
  Bytes Spell(bool withVersion) { return Marked(withVersion).bytes(); }
};

/* Bytes of a model file spelled from the model's values, record by record (each record's
 * start marked), as the layout describes them. */
template <class T>
BeBytes SpellFile(Kriging<T>& k, bool withVersion) {
  return FileParts<T>(k).Marked(withVersion);
}

/* Reads data into k with Read (withVersion) or ReadOld. */
template <class T>
int ReadBytes(Kriging<T>& k, const Bytes& data, bool withVersion = true) {
  FilePtr f = kvtest::FileWith(data);
  if (!f) return -1;
  return withVersion ? k.Read(f.get()) : k.ReadOld(f.get());
}

/* Everything of a solved model that a failed read must leave alone: the file it writes
 * (samples, groups, kernel, scaling vectors, coefficients, options), counts and flags. */
template <class T>
struct Snapshot {
  Bytes file;
  int status, m, n, q, p;
  bool solveRequired;
  explicit Snapshot(Kriging<T>& k) {
    file = kvtest::WrittenBytes(k);
    status = k.GetKrigingStatus();
    k.GetNumSamp(m);
    k.GetNumVar(n);
    k.GetNumSol(q);
    k.GetNumKern(p);
    solveRequired = k.ISSolveRequired();
  }
  bool operator==(const Snapshot& o) const {
    return file == o.file && status == o.status && m == o.m && n == o.n && q == o.q &&
           p == o.p && solveRequired == o.solveRequired;
  }
};

}  // namespace

/* The layout example, byte for byte: the version text, then every record in order, the
 * element records big-endian, no scaling vector, the 1 x 1 trend coefficients. */
TEST(KrigingFile, LayoutExampleByteForByte) {
  Kriging<double> k;
  C_MatMGe<double> X, Y;
  LayoutExample(k, X, Y);
  int res = -1;
  const Bytes written = kvtest::WrittenBytes(k, &res);
  ASSERT_EQ(0, res);

  C_MatMGe<double> G, B;
  ASSERT_EQ(0, k.GetCorrCoeff(G));
  ASSERT_EQ(0, k.GetPolyCoeff(B));
  ASSERT_EQ(4, G.rows);
  ASSERT_EQ(1, G.cols);
  ASSERT_EQ(1, B.rows);
  ASSERT_EQ(1, B.cols);
  RVec theta(1);
  theta[0] = 0.8;
  BeBytes want;
  want.Text("1.0").Mat(X).Mat(Y).Int(1).Int(1).Int(0).Vec(theta).Int(0).Int(2).Mat(G)
      .Int(1).Mat(B).Int(0).Int(0);
  EXPECT_TRUE(kvtest::BytesEqual(written, want.bytes()));
  /* The first bytes spelled out: length 3, "1.0", then rows 4, columns 2, count 8. */
  const Bytes head = kvtest::MakeBytes({0, 0, 0, 3, '1', '.', '0', 0, 0, 0, 4, 0, 0, 0, 2,
                                        0, 0, 0, 8});
  ASSERT_GE(written.size(), head.size());
  EXPECT_TRUE(kvtest::BytesEqual(Bytes(written.begin(), written.begin() + head.size()), head));
  /* 0.0 then 1.0 as the first two input values (column 0). */
  const Bytes one = kvtest::MakeBytes({0x3F, 0xF0, 0, 0, 0, 0, 0, 0});
  EXPECT_TRUE(kvtest::BytesEqual(Bytes(written.begin() + 27, written.begin() + 35), one));
  EXPECT_STREQ("1.0", k.Version());

  /* The older layout is the same file without the version text: ReadOld takes it, and the
   * model it gives writes the full file again. */
  Kriging<double> old;
  ASSERT_EQ(0, ReadBytes(old, Bytes(written.begin() + 7, written.end()), false));
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::WrittenBytes(old), written));
}

/* A complex model with every scaling vector, two output groups, a kernel per input and no
 * trend (no trend record): complex elements are the real then the imaginary part. */
TEST(KrigingFile, ComplexModelWithScalingByteForByte) {
  C_MatMGe<cplx> X = SampleInputs<cplx>(7, 2, 11u);
  C_MatMGe<cplx> Y = SmoothOutputs(X, 3);
  SmallModelSpec s;
  s.groups = 2;
  s.sizes = {2, 1};
  s.scaling = ScaleInputsOutputs;
  s.poly = PolyNone;
  s.corr = CorrExponential;
  s.kernVarType = KernPerInput;
  s.theta = {0.7, 1.9};
  Kriging<cplx> k;
  ASSERT_EQ(0, SolveSmall(k, X, Y, s));

  int res = -1;
  const Bytes written = kvtest::WrittenBytes(k, &res);
  ASSERT_EQ(0, res);
  RVec theta(2), is(0), os(0);
  theta[0] = 0.7;
  theta[1] = 1.9;
  CVec ii(0), oi(0);
  k.GetInpScaleVec(is);
  k.GetInpInterceptVec(ii);
  k.GetOutScaleVec(os);
  k.GetOutInterceptVec(oi);
  ASSERT_EQ(2, is.Dim());
  ASSERT_EQ(3, os.Dim());
  C_MatMGe<cplx> G;
  ASSERT_EQ(0, k.GetCorrCoeff(G));
  BeBytes want;
  want.Text("1.0").Mat(X).Mat(Y).Int(2).Int(2).Int(1).Int(1).Vec(theta).Int(3).Vec(is).Vec(ii)
      .Vec(os).Vec(oi).Int(1).Mat(G).Int(0).Int(0).Int(0);
  EXPECT_TRUE(kvtest::BytesEqual(written, want.bytes()));

  /* The first input value's two parts, each a big-endian double. */
  BeBytes first;
  first.Double(X.GetVal(0, 0).real()).Double(X.GetVal(0, 0).imag());
  EXPECT_TRUE(kvtest::BytesEqual(Bytes(written.begin() + 19, written.begin() + 35),
                                 first.bytes()));
}

/* Write refuses a model that is not solved or whose counts changed since its fit (nothing
 * written) and a null stream (marked at the version record); Read refuses a null stream at
 * the same record, ReadOld through the matrix reader's exception. */
TEST(KrigingFile, RefusalsOfWriteAndNullStreams) {
  Kriging<double> fresh;
  int res = -1;
  EXPECT_TRUE(kvtest::WrittenBytes(fresh, &res).empty());
  EXPECT_EQ(1, res);

  Kriging<double> k;
  C_MatMGe<double> X, Y;
  LayoutExample(k, X, Y);
  ASSERT_EQ(0, k.PutDropToler(1e-6)); /* state 1 */
  EXPECT_TRUE(kvtest::WrittenBytes(k, &res).empty());
  EXPECT_EQ(1, res);
  ASSERT_EQ(0, k.Solve());

  /* A new output count leaves the state at 2 but the outputs invalid: a file of it could
   * not be read back, so none is written. */
  Kriging<double> recount;
  LayoutExample(recount, X, Y);
  ASSERT_EQ(0, recount.PutNumSol(2, 2, nullptr));
  ASSERT_EQ(KrigingSolved, recount.GetKrigingStatus());
  EXPECT_TRUE(kvtest::WrittenBytes(recount, &res).empty());
  EXPECT_EQ(1, res);

  kvtest::MsgCapture cap;
  EXPECT_EQ(1, k.Write(nullptr));
  EXPECT_EQ(std::vector<int>({4532}), KrigingTraceLines(cap));
  cap.Clear();
  Kriging<double> target;
  EXPECT_EQ(1, target.Read(nullptr));
  EXPECT_EQ(std::vector<int>({4610}), KrigingTraceLines(cap));
  EXPECT_EQ(KrigingInitial, target.GetKrigingStatus());
  EXPECT_EQ(12, kvtest::ThrownCode([&] { target.ReadOld(nullptr); }));
  EXPECT_EQ(KrigingInitial, target.GetKrigingStatus());
}

/* Round trips for both value types and every scaling type: the read model is solved with
 * its factors to be rebuilt, holds the writer's values, predicts the writer's values
 * exactly and, once refitted, gives the writer's predictor errors. */
template <class T>
void RoundTrip(int scaling, int corr, int kernVarType, int poly) {
  SCOPED_TRACE("scaling " + std::to_string(scaling) + " corr " + std::to_string(corr));
  C_MatMGe<T> X = SampleInputs<T>(9, 2, 100u + scaling);
  C_MatMGe<T> Y = SmoothOutputs(X, 2);
  for (int i = 0; i < Y.rows; ++i) Y.SetVal(i, 1, 40.0 * Y.GetVal(i, 1) + 7.0);
  SmallModelSpec s;
  s.groups = 2;
  s.scaling = scaling;
  s.corr = corr;
  s.kernVarType = kernVarType;
  s.poly = poly;
  s.theta = kernVarType ? std::vector<double>{1.5, 0.6} : std::vector<double>{1.2};
  KrigingProbe<T> w;
  ASSERT_EQ(0, SolveSmall(w, X, Y, s));
  ASSERT_EQ(0, w.SetStep(3));
  const Bytes file = kvtest::WrittenBytes(w);
  ASSERT_FALSE(file.empty());
  EXPECT_TRUE(kvtest::BytesEqual(file, SpellFile(w, true).bytes()));

  KrigingProbe<T> r;
  ASSERT_EQ(0, r.PutMaxNumIter(17)); /* not in the file: stays */
  ASSERT_EQ(0, ReadBytes(r, file));
  EXPECT_EQ(KrigingSolved, r.GetKrigingStatus());
  EXPECT_TRUE(r.ISSolveRequired());
  EXPECT_FALSE(r.KernToEstimate);
  EXPECT_TRUE(r.CorrStale);
  EXPECT_TRUE(r.TrendStale);
  int iter = 0;
  r.GetMaxNumIter(iter);
  EXPECT_EQ(17, iter);
  EXPECT_EQ(1, r.Step);
  int a = 0;
  r.GetNumSamp(a);
  EXPECT_EQ(9, a);
  r.GetNumVar(a);
  EXPECT_EQ(2, a);
  r.GetNumSol(a);
  EXPECT_EQ(2, a);
  r.GetNumGlobalSol(a);
  EXPECT_EQ(2, a);
  r.GetNumKern(a);
  EXPECT_EQ(kernVarType ? 2 : 1, a);
  EXPECT_EQ(2, r.WorkVec.Dim());
  int err = 1;
  int* sizes = r.GetVecGlobalSol(err);
  ASSERT_EQ(0, err);
  EXPECT_EQ(1, sizes[0]);
  EXPECT_EQ(1, sizes[1]);
  delete[] sizes;
  EXPECT_EQ(scaling, r.GetScalingType());
  EXPECT_EQ(corr, r.GetCorrFuncType());
  EXPECT_EQ(w.GetPolynomType(), r.GetPolynomType());
  EXPECT_EQ(kernVarType, r.GetKrigingKernVarType());
  /* The range table is rebuilt from the samples: relative errors use the writer's ranges. */
  EXPECT_TRUE(SameVec(w.GlobalRangeVec, r.GlobalRangeVec));
  EXPECT_TRUE(SameMat(w.OutRangeMtx, r.OutRangeMtx));

  C_MatMGe<T> P = SampleInputs<T>(5, 2, 999u);
  /* Plain predictions need no refit. */
  ASSERT_NO_FATAL_FAILURE(kvtest::ExpectSamePredictions(w, r, P));

  ASSERT_NO_FATAL_FAILURE(kvtest::ExpectSamePredictorErrors(w, r, P, 1e-9));
  /* The refit at the stored kernel keeps the coefficients. */
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::WrittenBytes(r), file));
}

TEST(KrigingFile, RoundTripsEveryScalingTypeBothValueTypes) {
  const int corr[4] = {CorrGaussian, CorrExponential, CorrCubicSpline, CorrLinear};
  for (int scaling = 0; scaling <= 3; ++scaling) {
    RoundTrip<double>(scaling, corr[scaling], scaling % 2, scaling == 1 ? PolyNone : PolyLinear);
    RoundTrip<cplx>(scaling, corr[3 - scaling], 1 - scaling % 2,
                    scaling == 2 ? PolyNone : PolyConstant);
  }
}

/* Each read leaves the stream after its last record: two models in one file come back in
 * order, and the bytes that follow stay unread. */
TEST(KrigingFile, TwoModelsInOneStream) {
  Kriging<double> a;
  C_MatMGe<double> X, Y;
  LayoutExample(a, X, Y);
  Kriging<double> b;
  C_MatMGe<double> X2 = SampleInputs<double>(6, 3, 5u), Y2 = SmoothOutputs(X2, 1);
  SmallModelSpec s;
  s.scaling = ScaleInputs;
  ASSERT_EQ(0, SolveSmall(b, X2, Y2, s));

  FilePtr f(std::tmpfile());
  ASSERT_TRUE(f);
  ASSERT_EQ(0, a.Write(f.get()));
  ASSERT_EQ(0, b.Write(f.get()));
  const int tail = 0x5EED;
  ASSERT_EQ(0, BF_fwrite_int(f.get(), &tail, 1));
  std::rewind(f.get());

  Kriging<double> ra, rb;
  ASSERT_EQ(0, ra.Read(f.get()));
  ASSERT_EQ(0, rb.Read(f.get()));
  int after = 0;
  ASSERT_EQ(0, BF_fread_int(f.get(), &after, 1));
  EXPECT_EQ(tail, after);
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::WrittenBytes(ra), kvtest::WrittenBytes(a)));
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::WrittenBytes(rb), kvtest::WrittenBytes(b)));
}

/* A file spelled by hand, with values of no fit at all, is installed as it stands: one
 * sample at x = 0 with gamma = 3, constant trend beta = 2 and Gaussian kernel 1 predict
 * 2 + 3 exp(-x^2). The version text is not interpreted, an empty one included. */
TEST(KrigingFile, HandSpelledModelPredictsItsCoefficients) {
  C_MatMGe<double> X = MakeMat<double>(1, 1, {0.0}), Y = MakeMat<double>(1, 1, {5.0});
  C_MatMGe<double> G = MakeMat<double>(1, 1, {3.0}), B = MakeMat<double>(1, 1, {2.0});
  RVec theta(1);
  theta[0] = 1.0;
  for (const char* version : {"1.0", "9.9-beta", ""}) {
    BeBytes b;
    b.Text(version).Mat(X).Mat(Y).Int(1).Int(1).Int(0).Vec(theta).Int(0).Int(2).Mat(G).Int(1)
        .Mat(B).Int(0).Int(0);
    Kriging<double> k;
    ASSERT_EQ(0, ReadBytes(k, b.bytes())) << version;
    C_MatMGe<double> P = MakeMat<double>(3, 1, {0.0, 1.0, -0.5}), Yp;
    ASSERT_EQ(0, k.EvalModel(P, Yp));
    EXPECT_NEAR(5.0, Yp.GetVal(0, 0), 1e-15);
    EXPECT_NEAR(2.0 + 3.0 * std::exp(-1.0), Yp.GetVal(1, 0), 1e-15);
    EXPECT_NEAR(2.0 + 3.0 * std::exp(-0.25), Yp.GetVal(2, 0), 1e-15);
  }
}

/* A record that cannot be read (the file ends inside it) is marked at its own line, for
 * Read and for ReadOld; the model stays as it was. */
TEST(KrigingFile, TruncatedRecordsAreMarkedAtTheirLines) {
  C_MatMGe<double> X = SampleInputs<double>(5, 2, 3u), Y = SmoothOutputs(X, 1);
  SmallModelSpec s;
  s.scaling = ScaleInputsOutputs;
  s.poly = PolyLinear;
  Kriging<double> w;
  ASSERT_EQ(0, SolveSmall(w, X, Y, s));
  for (bool withVersion : {true, false}) {
    BeBytes b = SpellFile(w, withVersion);
    const std::vector<std::size_t>& marks = b.marks();
    const int* lines = withVersion ? kReadLines : kReadOldLines;
    const int first = withVersion ? 0 : 1;
    ASSERT_EQ(static_cast<std::size_t>(18 - first), marks.size());
    Kriging<double> target;
    for (std::size_t r = 0; r < marks.size(); ++r) {
      const int record = first + static_cast<int>(r);
      /* Inside the record's first int, and (for longer records) inside its last value. */
      std::vector<std::size_t> cuts = {marks[r] + 1};
      const std::size_t end = (r + 1 < marks.size()) ? marks[r + 1] : b.bytes().size();
      if (end - marks[r] > 4) cuts.push_back(end - 1);
      for (std::size_t cut : cuts) {
        kvtest::MsgCapture cap;
        const Bytes part(b.bytes().begin(), b.bytes().begin() + cut);
        EXPECT_EQ(1, ReadBytes(target, part, withVersion)) << record;
        EXPECT_EQ(std::vector<int>({lines[record]}), KrigingTraceLines(cap))
            << "record " << record + 1 << " cut at " << cut;
        EXPECT_EQ(KrigingInitial, target.GetKrigingStatus());
      }
    }
    Kriging<double> whole;
    EXPECT_EQ(0, ReadBytes(whole, b.bytes(), withVersion));
  }
}

/* Files whose records read well but do not make one consistent model are refused without
 * a mark, and the target keeps its model; a group count below 1 is a failed read of the
 * group sizes (marked). */
TEST(KrigingFile, InconsistentFilesAreRefused) {
  /* Base: 3 samples of 2 inputs, 2 outputs in groups {1, 1}, linear trend (3 terms). */
  C_MatMGe<double> X = MakeMat<double>(3, 2, {0.0, 0.0, 1.0, 0.0, 0.0, 1.0});
  C_MatMGe<double> Y = MakeMat<double>(3, 2, {1.0, 4.0, 2.0, 5.0, 3.0, 7.0});
  C_MatMGe<double> X0(0, 2), X2(3, 0), Y4(4, 2), G = MakeMat<double>(3, 2, {1, 2, 3, 4, 5, 6});
  C_MatMGe<double> G4(4, 2), G3(3, 3), B3(3, 2), B1(1, 2), B2(2, 2), B6(6, 2), B3w(3, 3);
  RVec t1(1), t2(2), t3(3), s2(2), s3(3);
  t1[0] = t2[0] = t2[1] = t3[0] = t3[1] = t3[2] = 1.0;
  s2[0] = s2[1] = s3[0] = s3[1] = s3[2] = 1.0;

  struct Variant {
    const char* what;
    int groups;
    std::vector<int> sizes;
    int kvt;
    RVec* theta;
    int scaling;
    int corr;
    int poly;
    C_MatMGe<double>* x;
    C_MatMGe<double>* y;
    C_MatMGe<double>* g;
    C_MatMGe<double>* b;
    RVec* inScale;
    int expect;      /* result of Read */
    int traceLine;   /* 0: no Kriging trace */
  };
  const std::vector<Variant> variants = {
      {"consistent", 2, {1, 1}, 0, &t1, 0, 2, 2, &X, &Y, &G, &B3, nullptr, 0, 0},
      {"constant fallback of a quadratic", 2, {1, 1}, 0, &t1, 0, 2, 4, &X, &Y, &G, &B1, nullptr,
       0, 0},
      {"full quadratic terms", 2, {1, 1}, 0, &t1, 0, 2, 4, &X, &Y, &G, &B6, nullptr, 0, 0},
      {"one group of two", 1, {2}, 0, &t1, 1, 2, 2, &X, &Y, &G, &B3, &s2, 0, 0},
      {"inputs without rows", 2, {1, 1}, 0, &t1, 0, 2, 2, &X0, &Y, &G, &B3, nullptr, 1, 0},
      {"inputs without columns", 2, {1, 1}, 0, &t1, 0, 2, 2, &X2, &Y, &G, &B3, nullptr, 1, 0},
      {"outputs of m+1 rows", 2, {1, 1}, 0, &t1, 0, 2, 2, &X, &Y4, &G, &B3, nullptr, 1, 0},
      {"more groups than outputs", 3, {1, 1, 0}, 0, &t1, 0, 2, 2, &X, &Y, &G, &B3, nullptr, 1,
       0},
      {"no group", 0, {}, 0, &t1, 0, 2, 2, &X, &Y, &G, &B3, nullptr, 1, 4633},
      {"negative group count", -5, {}, 0, &t1, 0, 2, 2, &X, &Y, &G, &B3, nullptr, 1, 4633},
      {"sizes not adding up", 2, {1, 2}, 0, &t1, 0, 2, 2, &X, &Y, &G, &B3, nullptr, 1, 0},
      {"negative size", 2, {3, -1}, 0, &t1, 0, 2, 2, &X, &Y, &G, &B3, nullptr, 1, 0},
      {"kernel per input of one value", 2, {1, 1}, 1, &t1, 0, 2, 2, &X, &Y, &G, &B3, nullptr, 0,
       0},
      {"shared kernel of two values", 2, {1, 1}, 0, &t2, 0, 2, 2, &X, &Y, &G, &B3, nullptr, 0, 0},
      {"kernel per input of three values", 2, {1, 1}, 1, &t3, 0, 2, 2, &X, &Y, &G, &B3, nullptr,
       1, 0},
      {"unknown kernel type", 2, {1, 1}, 2, &t2, 0, 2, 2, &X, &Y, &G, &B3, nullptr, 1, 0},
      {"unknown scaling type", 2, {1, 1}, 0, &t1, 4, 2, 2, &X, &Y, &G, &B3, nullptr, 1, 0},
      {"input scale of n+1 values", 2, {1, 1}, 0, &t1, 1, 2, 2, &X, &Y, &G, &B3, &s3, 1, 0},
      {"unknown correlation", 2, {1, 1}, 0, &t1, 0, 4, 2, &X, &Y, &G, &B3, nullptr, 1, 0},
      {"correlation coefficients of m+1 rows", 2, {1, 1}, 0, &t1, 0, 2, 2, &X, &Y, &G4, &B3,
       nullptr, 1, 0},
      {"correlation coefficients of q+1 columns", 2, {1, 1}, 0, &t1, 0, 2, 2, &X, &Y, &G3, &B3,
       nullptr, 1, 0},
      {"unknown trend", 2, {1, 1}, 0, &t1, 0, 2, 5, &X, &Y, &G, &B3, nullptr, 1, 0},
      {"trend rows of no type", 2, {1, 1}, 0, &t1, 0, 2, 2, &X, &Y, &G, &B2, nullptr, 1, 0},
      {"constant trend of three rows", 2, {1, 1}, 0, &t1, 0, 2, 1, &X, &Y, &G, &B3, nullptr, 1,
       0},
      {"trend of q+1 columns", 2, {1, 1}, 0, &t1, 0, 2, 2, &X, &Y, &G, &B3w, nullptr, 1, 0},
  };

  Kriging<double> target;
  C_MatMGe<double> TX, TY;
  LayoutExample(target, TX, TY);
  const Snapshot<double> before(target);
  for (const Variant& v : variants) {
    FileParts<double> f;
    f.X = *v.x;
    f.Y = *v.y;
    f.groups = v.groups;
    f.sizes = v.sizes;
    f.kernVarType = v.kvt;
    f.theta = *v.theta;
    f.scaling = v.scaling;
    if (v.inScale != nullptr) {
      f.inScale = *v.inScale;
      f.inIcpt = *v.inScale;
    }
    f.outScale = s2;
    f.outIcpt = s2;
    f.corr = v.corr;
    f.G = *v.g;
    f.poly = v.poly;
    f.B = *v.b;
    const Bytes file = f.Spell(true);
    kvtest::MsgCapture cap;
    Kriging<double> probe;
    EXPECT_EQ(v.expect, ReadBytes(probe, file)) << v.what;
    if (v.expect != 0) {
      EXPECT_EQ(1, ReadBytes(target, file)) << v.what;
      EXPECT_TRUE(Snapshot<double>(target) == before) << v.what;
    }
    const std::vector<int> want = v.traceLine ? std::vector<int>(2, v.traceLine)
                                              : std::vector<int>();
    if (v.expect != 0) {
      EXPECT_EQ(want, KrigingTraceLines(cap)) << v.what;
    }
  }
}

/* A matrix header that contradicts itself (count other than rows x columns, negative
 * counts) is a failed read, marked at its record. */
TEST(KrigingFile, SelfContradictingHeadersAreFailedReads) {
  const std::vector<std::vector<int>> heads = {{2, 2, 5}, {-1, 2, -2}, {2, -3, -6},
                                               {65536, 65536, 0}};
  for (const std::vector<int>& h : heads) {
    BeBytes b;
    b.Text("1.0").Int(h[0]).Int(h[1]).Int(h[2]);
    for (int i = 0; i < 8; ++i) b.Double(1.0);
    kvtest::MsgCapture cap;
    Kriging<double> k;
    EXPECT_EQ(1, ReadBytes(k, b.bytes()));
    EXPECT_EQ(std::vector<int>({4614}), KrigingTraceLines(cap));
  }
}

/* Damaged files of a small model: every prefix, every byte flipped three ways, and every
 * count or length replaced by a huge or negative one. Read never crashes or reads past a
 * buffer (sanitizers watch), refuses what it cannot use and then leaves the target exactly
 * as it was; a damaged file it does accept gives a model that can be used and written. */
TEST(KrigingFile, DamagedFilesNeverHurtTheTarget) {
  Kriging<double> source;
  C_MatMGe<double> X = MakeMat<double>(3, 1, {0.0, 0.5, 1.0}), Y;
  Y = SmoothOutputs(X, 1);
  SmallModelSpec s;
  s.scaling = ScaleInputsOutputs;
  s.poly = PolyConstant;
  s.theta = {2.0};
  ASSERT_EQ(0, SolveSmall(source, X, Y, s));
  BeBytes spelled = SpellFile(source, true);
  const Bytes file = spelled.bytes();
  ASSERT_TRUE(kvtest::BytesEqual(kvtest::WrittenBytes(source), file));

  Kriging<double> target;
  ASSERT_EQ(0, target.Copy(&source));
  const Snapshot<double> before(target);
  C_MatMGe<double> P = MakeMat<double>(2, 1, {0.25, 0.75});
  int accepted = 0, refused = 0;

  auto attempt = [&](const Bytes& data, bool withVersion) {
    kvtest::MsgCapture cap; /* keeps the marks off the screen */
    const int res = ReadBytes(target, data, withVersion);
    if (res == 0) {
      ++accepted;
      C_MatMGe<double> Yp;
      double a = 0, r = 0;
      int c = 0;
      target.EvalModel(P, Yp);
      target.GetPredictorError(P, a, r, c);
      kvtest::WrittenBytes(target);
      ASSERT_EQ(0, target.Copy(&source));
    } else {
      ++refused;
      ASSERT_EQ(1, res);
      ASSERT_TRUE(Snapshot<double>(target) == before);
    }
  };

  /* Every prefix, with and without the version text. */
  for (std::size_t len = 0; len < file.size(); ++len) {
    attempt(Bytes(file.begin(), file.begin() + len), true);
    if (len >= 7) attempt(Bytes(file.begin() + 7, file.begin() + len), false);
  }
  EXPECT_EQ(0, accepted);

  /* Every byte flipped. */
  for (std::size_t pos = 0; pos < file.size(); ++pos)
    for (unsigned char mask : {0xFF, 0x80, 0x01}) {
      Bytes bad = file;
      bad[pos] ^= mask;
      attempt(bad, true);
    }

  /* Every int of the file's records replaced by huge and negative values (the doubles
   * are not aligned to these positions, so every 4-byte position is tried). */
  for (std::size_t pos = 0; pos + 4 <= file.size(); ++pos)
    for (std::uint32_t v : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0x00010000u}) {
      Bytes bad = file;
      for (int b = 0; b < 4; ++b) bad[pos + b] = static_cast<unsigned char>(v >> (24 - 8 * b));
      attempt(bad, true);
    }

  /* Matrix headers that agree with themselves but promise far more than the file holds. */
  for (std::size_t mark : spelled.marks()) {
    Bytes bad = file;
    if (mark + 12 > bad.size()) continue;
    BeBytes h;
    h.Int(46340).Int(46340).Int(46340 * 46340);
    std::copy(h.bytes().begin(), h.bytes().end(), bad.begin() + mark);
    attempt(bad, true);
  }
  EXPECT_GT(refused, 0);
  SUCCEED() << accepted << " damaged files accepted, " << refused << " refused";
}

/* Damaged files built from a good one, one record at a time: group sizes that add up to less
 * or more than the outputs, trend rows and kernel counts that fit no model, and values that
 * no fit makes (a kernel that is not a finite number above 0; samples, scale vectors or
 * coefficients that are not finite). Read and ReadOld refuse every one with 1, name the
 * reason, and leave the target exactly as it was. */
TEST(KrigingFile, DamagedRecordsAreRefusedByBothReaders) {
  C_MatMGe<double> X = SampleInputs<double>(6, 2, 21u), Y = SmoothOutputs(X, 2);
  SmallModelSpec s;
  s.groups = 2;
  s.scaling = ScaleInputsOutputs;
  s.poly = PolyLinear;
  s.theta = {1.3};
  Kriging<double> source;
  ASSERT_EQ(0, SolveSmall(source, X, Y, s));
  ASSERT_EQ(PolyLinear, source.GetPolynomType());
  FileParts<double> good(source);
  ASSERT_TRUE(kvtest::BytesEqual(kvtest::WrittenBytes(source), good.Spell(true)));

  const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
  const std::string groupSizes =
      "Kriging: the model to install has group sizes that are negative or do not add up to its "
      "outputs";
  const std::string trend =
      "Kriging: the model to install has trend coefficients of a shape that fits no trend";
  const std::string kernelCount =
      "Kriging: the model to install has a kernel of neither one value nor one per input";
  const std::string solnType = "Kriging: the model to install has a solution type other than 0";
  const std::string scaleValue =
      "Kriging: the model to install has a scale factor that is not above 0";
  const std::string optType =
      "Kriging: the model to install has a kernel optimisation other than 0 and 1";
  const std::string kernelValue =
      "Kriging: the model to install has a kernel value that is not a finite number above 0";
  const std::string notFinite =
      "Kriging: the model to install has a sample, scale factor, intercept or coefficient that "
      "is not finite";
  struct Damage {
    const char* what;
    std::string reason;
    std::function<void(FileParts<double>&)> apply;
  };
  const std::vector<Damage> damages = {
      {"sizes adding up to less", groupSizes, [](FileParts<double>& f) { f.sizes = {1, 0}; }},
      {"sizes adding up to more", groupSizes, [](FileParts<double>& f) { f.sizes = {2, 1}; }},
      {"one group of one output", groupSizes,
       [](FileParts<double>& f) {
         f.groups = 1;
         f.sizes = {1};
       }},
      {"a negative size", groupSizes, [](FileParts<double>& f) { f.sizes = {3, -1}; }},
      {"trend rows of no type", trend, [](FileParts<double>& f) { f.B.ResizeKeep(2, 2); }},
      {"trend rows of the quadratic", trend, [](FileParts<double>& f) { f.B.ResizeKeep(6, 2); }},
      {"trend of three columns", trend, [](FileParts<double>& f) { f.B.ResizeKeep(3, 3); }},
      /* A kernel of one value, or of one per input, fits either parameterisation (a fit
       * keeps the length it has when the parameterisation changes): three values for two
       * inputs fit none. */
      {"shared kernel of three values", kernelCount,
       [](FileParts<double>& f) { f.theta = RVec(3, 1.3); }},
      {"kernel per input of three values", kernelCount,
       [](FileParts<double>& f) {
         f.kernVarType = 1;
         f.theta = RVec(3, 1.3);
       }},
      /* Solve fits only with solution type 0 and optimisation 0 or 1: a model holding
       * others would report itself solved and then refuse its own refit. */
      /* Scale factors are reciprocals of spreads and magnitudes, or 1. */
      {"input scale zero", scaleValue, [](FileParts<double>& f) { f.inScale[0] = 0.0; }},
      {"output scale negative", scaleValue, [](FileParts<double>& f) { f.outScale[1] = -0.5; }},
      {"solution type 1", solnType, [](FileParts<double>& f) { f.soln = 1; }},
      {"solution type -1", solnType, [](FileParts<double>& f) { f.soln = -1; }},
      {"kernel optimisation 2", optType, [](FileParts<double>& f) { f.opt = 2; }},
      {"kernel optimisation -1", optType, [](FileParts<double>& f) { f.opt = -1; }},
      {"kernel not a number", kernelValue, [nan](FileParts<double>& f) { f.theta[0] = nan; }},
      {"kernel infinite", kernelValue, [inf](FileParts<double>& f) { f.theta[0] = inf; }},
      {"kernel negative", kernelValue, [](FileParts<double>& f) { f.theta[0] = -1.0; }},
      {"kernel zero", kernelValue, [](FileParts<double>& f) { f.theta[0] = 0.0; }},
      {"sample input not a number", notFinite,
       [nan](FileParts<double>& f) { f.X.SetVal(2, 1, nan); }},
      {"sample output infinite", notFinite, [inf](FileParts<double>& f) { f.Y.SetVal(5, 0, inf); }},
      {"input scale not a number", notFinite,
       [nan](FileParts<double>& f) { f.inScale[1] = nan; }},
      {"input intercept infinite", notFinite, [inf](FileParts<double>& f) { f.inIcpt[0] = -inf; }},
      {"output scale infinite", notFinite, [inf](FileParts<double>& f) { f.outScale[0] = inf; }},
      {"output intercept not a number", notFinite,
       [nan](FileParts<double>& f) { f.outIcpt[1] = nan; }},
      {"correlation coefficient not a number", notFinite,
       [nan](FileParts<double>& f) { f.G.SetVal(4, 1, nan); }},
      {"trend coefficient infinite", notFinite,
       [inf](FileParts<double>& f) { f.B.SetVal(0, 0, -inf); }},
  };

  /* The target holds a model of its own, whose file must come through every refusal. */
  Kriging<double> target;
  C_MatMGe<double> TX, TY;
  LayoutExample(target, TX, TY);
  const Snapshot<double> before(target);
  for (const Damage& d : damages) {
    FileParts<double> parts = good;
    d.apply(parts);
    for (bool withVersion : {true, false}) {
      SCOPED_TRACE(std::string(d.what) + (withVersion ? ", Read" : ", ReadOld"));
      kvtest::KrigingLines lines;
      EXPECT_EQ(1, ReadBytes(target, parts.Spell(withVersion), withVersion));
      EXPECT_TRUE(Snapshot<double>(target) == before);
      EXPECT_EQ(std::vector<std::string>({d.reason}), lines.Refusals());
    }
  }
  /* Undamaged, the same parts make a file both readers take. */
  for (bool withVersion : {true, false}) {
    Kriging<double> k;
    EXPECT_EQ(0, ReadBytes(k, good.Spell(withVersion), withVersion));
  }
}

namespace {

/* v with its imaginary part (complex) or itself (real) replaced by x. */
inline double WithPart(double, double x) { return x; }
inline cplx WithPart(const cplx& v, double x) { return cplx(v.real(), x); }

/* Files whose samples no fit takes (an output of 1e160 among outputs near 1, whose process
 * variance has no double; a part of 8e298, whose square has none): Read and ReadOld refuse
 * them with the target as it was, as Solve refuses the same samples, while the undamaged
 * file is taken. */
template <class T>
void UnfittableSamplesAreRefused() {
  C_MatMGe<T> X = SampleInputs<T>(8, 2, 41u), Y = SmoothOutputs(X, 1);
  SmallModelSpec s;
  s.poly = PolyLinear;
  s.theta = {1.7};
  Kriging<T> source;
  ASSERT_EQ(0, SolveSmall(source, X, Y, s));
  FileParts<T> good(source);

  struct Damage {
    const char* what;
    T value; /* the new output of sample 3 */
  };
  const std::vector<Damage> damages = {
      {"an output of 1e160", T(1e160)},
      {"a part of 8e298", WithPart(Y.GetVal(3, 0), 8e298)},
  };
  Kriging<T> target;
  C_MatMGe<T> TX = SampleInputs<T>(6, 2, 42u), TY = SmoothOutputs(TX, 1);
  ASSERT_EQ(0, SolveSmall(target, TX, TY, s));
  const Snapshot<T> before(target);
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    FileParts<T> parts = good;
    parts.Y.SetVal(3, 0, d.value);
    for (bool withVersion : {true, false}) {
      SCOPED_TRACE(withVersion ? "Read" : "ReadOld");
      kvtest::KrigingLines lines;
      EXPECT_EQ(1, ReadBytes(target, parts.Spell(withVersion), withVersion));
      EXPECT_TRUE(Snapshot<T>(target) == before);
      EXPECT_EQ(1u, lines.Refusals().size());
    }
    kvtest::KrigingLines lines;
    Kriging<T> fresh;
    EXPECT_EQ(1, SolveSmall(fresh, parts.X, parts.Y, s));
  }
  for (bool withVersion : {true, false}) {
    Kriging<T> k;
    EXPECT_EQ(0, ReadBytes(k, good.Spell(withVersion), withVersion));
  }
}

}  // namespace

TEST(KrigingFile, SamplesThatNoFitTakesAreRefused) {
  UnfittableSamplesAreRefused<double>();
  UnfittableSamplesAreRefused<cplx>();
}

namespace {

/* What a host sees of a model it fitted itself: predictions and predictor errors at a few
 * points, the process variance of its first output (only a fit of its own has one), and
 * whether it still holds its own factors. */
template <class T>
struct FittedView {
  C_MatMGe<T> Y;
  double absErr = 0, relErr = 0, var = 0;
  int count = 0, varRes = 1;
  bool solveRequired = true;
  FittedView(Kriging<T>& k, C_MatMGe<T>& P) {
    EXPECT_EQ(0, k.EvalModel(P, Y));
    EXPECT_EQ(0, k.GetPredictorError(P, absErr, relErr, count));
    varRes = k.GetProcVarnc(var, 0);
    solveRequired = k.ISSolveRequired();
  }
  bool operator==(const FittedView& o) const {
    C_MatMGe<T> a = Y, b = o.Y;
    return SameMat(a, b) && absErr == o.absErr && relErr == o.relErr && count == o.count &&
           varRes == o.varRes && var == o.var && solveRequired == o.solveRequired;
  }
};

/* Damaged files of another model (3 samples, 1 input, 1 output) are refused by both readers,
 * and the target, fitted by the host on its own samples, predicts exactly as before: the
 * same values (its samples' outputs at its samples), the same predictor errors from its own
 * factors, the same process variance. */
template <class T>
void RefusedFilesKeepAFittedModel() {
  C_MatMGe<T> X = SampleInputs<T>(6, 2, 5u), Y = SmoothOutputs(X, 2);
  SmallModelSpec s;
  s.groups = 2;
  s.scaling = ScaleInputsOutputs;
  s.poly = PolyLinear;
  s.theta = {1.1};
  Kriging<T> target;
  ASSERT_EQ(0, SolveSmall(target, X, Y, s));
  /* Points: the first three samples, then two points between them. */
  C_MatMGe<T> P(5, 2);
  for (int j = 0; j < 2; ++j) {
    for (int i = 0; i < 3; ++i) P.SetVal(i, j, X.GetVal(i, j));
    P.SetVal(3, j, 0.5 * (X.GetVal(0, j) + X.GetVal(1, j)));
    P.SetVal(4, j, 0.5 * (X.GetVal(2, j) + X.GetVal(5, j)));
  }
  const FittedView<T> before(target, P);
  ASSERT_FALSE(before.solveRequired);
  ASSERT_EQ(0, before.varRes);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 2; ++j)
      EXPECT_NEAR(0.0, std::abs(before.Y.GetVal(i, j) - Y.GetVal(i, j)),
                  1e-6 * (1.0 + std::abs(Y.GetVal(i, j))));

  Kriging<T> other;
  C_MatMGe<T> OX = SampleInputs<T>(3, 1, 9u), OY = SmoothOutputs(OX, 1);
  SmallModelSpec os;
  os.poly = PolyConstant;
  os.theta = {2.0};
  ASSERT_EQ(0, SolveSmall(other, OX, OY, os));
  FileParts<T> good(other);
  Kriging<T> probe; /* undamaged, the file is one that both readers take */
  ASSERT_EQ(0, ReadBytes(probe, good.Spell(true), true));
  ASSERT_EQ(0, ReadBytes(probe, good.Spell(false), false));

  const double nan = std::nan("");
  struct Damage {
    const char* what;
    std::function<Bytes(FileParts<T>)> make;
  };
  const std::vector<Damage> damages = {
      {"cut in the correlation coefficients",
       [](FileParts<T> f) {
         Bytes b = f.Spell(true);
         b.resize(b.size() - 30);
         return b;
       }},
      {"no group",
       [](FileParts<T> f) {
         f.groups = 0;
         f.sizes.clear();
         return f.Spell(true);
       }},
      {"kernel zero",
       [](FileParts<T> f) {
         f.theta[0] = 0.0;
         return f.Spell(true);
       }},
      {"correlation coefficient not a number",
       [nan](FileParts<T> f) {
         f.G.SetVal(1, 0, T(nan));
         return f.Spell(true);
       }},
      {"correlation coefficients of m+1 rows",
       [](FileParts<T> f) {
         f.G.ResizeKeep(4, 1);
         return f.Spell(true);
       }},
      {"unknown correlation",
       [](FileParts<T> f) {
         f.corr = 5;
         return f.Spell(true);
       }},
      {"inputs promising far more rows than arrive",
       [](FileParts<T> f) {
         BeBytes b = f.Marked(true);
         Bytes bytes = b.bytes();
         BeBytes h;
         h.Int(46340).Int(1).Int(46340);
         std::copy(h.bytes().begin(), h.bytes().end(), bytes.begin() + b.marks()[1]);
         return bytes;
       }},
  };
  for (const Damage& d : damages) {
    const Bytes withVersion = d.make(good);
    ASSERT_GT(withVersion.size(), 7u);
    const Bytes older(withVersion.begin() + 7, withVersion.end());
    for (bool v : {true, false}) {
      SCOPED_TRACE(std::string(d.what) + (v ? ", Read" : ", ReadOld"));
      kvtest::MsgCapture cap; /* keeps the marks off the screen */
      EXPECT_EQ(1, ReadBytes(target, v ? withVersion : older, v));
      EXPECT_EQ(KrigingSolved, target.GetKrigingStatus());
      EXPECT_TRUE(FittedView<T>(target, P) == before);
    }
  }
}

}  // namespace

TEST(KrigingFile, RefusedFilesLeaveAFittedModelPredictingAsBefore) {
  RefusedFilesKeepAFittedModel<double>();
  RefusedFilesKeepAFittedModel<cplx>();
}
