/* test_Kriging_object.cpp: the Kriging model object: defaults, setters and their same-value
 * and demotion rules, readiness states, output groups and ranges, sample data. */
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "kriging_fixtures.h"

namespace {

/* Five samples of two inputs and one output, complete and solvable. */
void GiveData(Kriging<double>& k, int outputs = 1) {
  C_MatMGe<double> X = MakeMat<double>(5, 2, {0, 0, 1, 0, 0, 1, 1, 1, 0.5, 0.3});
  C_MatMGe<double> Y(5, outputs);
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < outputs; ++j) Y.SetVal(i, j, 1.0 + i * (j + 1) + 0.3 * i * i);
  ASSERT_EQ(0, k.PutNumSol(outputs, 1, nullptr));
  ASSERT_EQ(0, k.PutNumVar(2));
  ASSERT_EQ(0, k.PutInpSampMtx(X));
  ASSERT_EQ(0, k.PutOutSampMtx(Y));
}

TEST(KrigingObject, FreshModelDefaults) {
  KrigingProbe<double> k;
  EXPECT_EQ(KrigingInitial, k.GetKrigingStatus());
  EXPECT_EQ(1e-8, k.GetDropToler());
  EXPECT_EQ(CorrGaussian, k.GetCorrFuncType());
  EXPECT_EQ(PolyQuadratic, k.GetPolynomType());
  EXPECT_EQ(ScaleNone, k.GetScalingType());
  EXPECT_EQ(KernOptNone, k.GetKrigingKernOptType());
  EXPECT_EQ(SolDefault, k.GetSolnType());
  EXPECT_EQ(KernOneForAll, k.GetKrigingKernVarType());
  E_KrigingKernVarType kv = KernPerInput;
  EXPECT_EQ(0, k.GetKrigingKernVarType(kv));
  EXPECT_EQ(KernOneForAll, kv);
  EXPECT_TRUE(k.ISSolveRequired());

  double v = -1.0;
  RVec mv(0);
  EXPECT_EQ(1, k.GetMLE(v));
  EXPECT_EQ(1, k.GetMLE(mv));
  EXPECT_EQ(1, k.GetProcVarnc(v, 0));

  int n = -1;
  k.GetMaxNumIter(n);
  EXPECT_EQ(0, n);
  k.GetNumVar(n);
  EXPECT_EQ(0, n);
  k.GetNumSamp(n);
  EXPECT_EQ(0, n);
  k.GetNumSol(n);
  EXPECT_EQ(0, n);
  k.GetNumKern(n);
  EXPECT_EQ(0, n);
  k.GetNumGlobalSol(n);
  EXPECT_EQ(0, n);

  EXPECT_EQ(1e-14, k.NuggetEps);
  EXPECT_EQ(1e-7, k.PointToler);
  EXPECT_EQ(0.01, k.KernLoFactor);
  EXPECT_EQ(20.0, k.KernUpFactor);
  EXPECT_EQ(1, k.Step);
  EXPECT_EQ(0, k.SolveCount);
  EXPECT_TRUE(k.KernToEstimate);
  EXPECT_TRUE(k.RescaleRequested);
  EXPECT_TRUE(k.CorrStale);
  EXPECT_TRUE(k.TrendStale);
  EXPECT_FALSE(k.FtReady);
  EXPECT_FALSE(k.NewSamples);

  /* Coefficient getters answer in any state. */
  C_MatMGe<double> G(2, 2);
  EXPECT_EQ(0, k.GetCorrCoeff(G));
  EXPECT_EQ(0, G.rows);
  EXPECT_EQ(0, G.cols);
  EXPECT_EQ(0, k.GetTestRelativeErrorDim());
  EXPECT_TRUE(std::isnan(k.TestRelativeError(0)));
}

TEST(KrigingObject, KernelCountFollowsPutNumVarOnlyWhenTheCountChanges) {
  /* Samples first: PutInpSampMtx sets NumVar to 3 without a kernel count, so the later
   * PutNumVar(3) is the same-value case and the data stay incomplete. */
  Kriging<double> late;
  C_MatMGe<double> X = RandomMat(10, 3, 1u), Y = RandomMat(10, 1, 2u);
  ASSERT_EQ(0, late.PutNumSol(1, 1, nullptr));
  ASSERT_EQ(0, late.PutInpSampMtx(X));
  ASSERT_EQ(0, late.PutOutSampMtx(Y));
  ASSERT_EQ(0, late.PutNumVar(3));
  int p = -1;
  late.GetNumKern(p);
  EXPECT_EQ(0, p);
  EXPECT_EQ(1, late.ReSolve());
  EXPECT_EQ(KrigingDataIncomplete, late.GetKrigingStatus());

  /* A kernel given afterwards completes them. */
  RVec theta(1, 2.0);
  ASSERT_EQ(0, late.PutKernVec(theta));
  EXPECT_EQ(0, late.ReSolve());
  EXPECT_EQ(KrigingSolved, late.GetKrigingStatus());

  /* PutNumVar before the samples gives the kernel count. */
  Kriging<double> early;
  ASSERT_EQ(0, early.PutNumSol(1, 1, nullptr));
  ASSERT_EQ(0, early.PutNumVar(3));
  ASSERT_EQ(0, early.PutInpSampMtx(X));
  ASSERT_EQ(0, early.PutOutSampMtx(Y));
  early.GetNumKern(p);
  EXPECT_EQ(1, p);
  EXPECT_EQ(0, early.ReSolve());
  EXPECT_EQ(KrigingSolved, early.GetKrigingStatus());
}

TEST(KrigingObject, KernelParameterisationAndPutKernVec) {
  KrigingProbe<double> k;
  ASSERT_EQ(0, k.PutNumVar(3));
  ASSERT_EQ(0, k.PutKrigingKernVarType(KernPerInput));
  int p = 0;
  k.GetNumKern(p);
  EXPECT_EQ(1, p);  // the type alone leaves the count

  RVec one(1, 0.7);
  EXPECT_EQ(1, k.PutKernVec(one));
  k.GetNumKern(p);
  EXPECT_EQ(1, p);  // a refusal leaves the count as it was
  EXPECT_TRUE(k.KernToEstimate);

  RVec three(3);
  three[0] = 1.0;
  three[1] = 2.0;
  three[2] = 3.0;
  EXPECT_EQ(0, k.PutKernVec(three));
  EXPECT_FALSE(k.KernToEstimate);
  RVec back(0);
  k.GetKernVec(back);
  ASSERT_EQ(3, back.Dim());
  EXPECT_EQ(2.0, back[1]);
  three[1] = 9.0;  // a deep copy: the model keeps its own values
  k.GetKernVec(back);
  EXPECT_EQ(2.0, back[1]);
}

/* A solved model whose kernel length differs from what its parameterisation asks (one value
 * fitted per input, or one per input fitted as shared): its own kernel given back is refused,
 * and the refusal leaves the model as it was: the kernel count, the state, the predictions. */
TEST(KrigingObject, RefusedKernelLeavesTheKernelCount) {
  struct Case {
    const char* name;
    std::function<void(KrigingProbe<double>&)> fit;
    int kern; /* kernel length of the fit */
  };
  const std::vector<Case> cases = {
      {"one value fitted, then per input",
       [](KrigingProbe<double>& k) {
         GiveData(k);
         ASSERT_EQ(0, k.PutKrigingKernVarType(KernPerInput));
         ASSERT_EQ(0, k.Solve());
       },
       1},
      {"per input fitted, then shared and fitted again",
       [](KrigingProbe<double>& k) {
         ASSERT_EQ(0, k.PutKrigingKernVarType(KernPerInput));
         GiveData(k);
         ASSERT_EQ(0, k.Solve());
         ASSERT_EQ(0, k.PutKrigingKernVarType(KernOneForAll));
         ASSERT_EQ(0, k.Solve());
       },
       2},
  };
  const C_MatMGe<double> P0 = MakeMat<double>(3, 2, {0.2, 0.7, 0.9, 0.1, 0.4, 0.45});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    KrigingProbe<double> k;
    c.fit(k);
    ASSERT_EQ(KrigingSolved, k.GetKrigingStatus());
    ASSERT_EQ(c.kern, k.KernVec.Dim());
    ASSERT_EQ(c.kern, k.NumKern);
    C_MatMGe<double> P = P0, Ybefore, Yafter;
    ASSERT_EQ(0, k.EvalModel(P, Ybefore));

    RVec theta(0), back(0);
    ASSERT_EQ(0, k.GetKernVec(theta));
    EXPECT_EQ(1, k.PutKernVec(theta));
    int p = -1;
    k.GetNumKern(p);
    EXPECT_EQ(c.kern, p);
    EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
    ASSERT_EQ(0, k.GetKernVec(back));
    EXPECT_TRUE(SameVec(theta, back));
    ASSERT_EQ(0, k.EvalModel(P, Yafter));
    EXPECT_TRUE(SameMat(Ybefore, Yafter));
  }
}

TEST(KrigingObject, OutputGroups) {
  struct Case {
    int total, groups;
    std::vector<int> sizes;  // empty: null pointer
    int result;
    std::vector<int> stored;
  };
  const std::vector<Case> cases = {
      {4, 4, {}, 0, {1, 1, 1, 1}},
      {4, 1, {}, 0, {4}},
      {5, 2, {2, 3}, 0, {2, 3}},
      {5, 2, {2, 2}, 1, {}},
      {5, 2, {}, 1, {}},
      {5, 6, {1, 1, 1, 1, 1, 0}, 1, {}},
      {0, 1, {}, 1, {}},
      {3, 0, {}, 1, {}},
      {5, 3, {6, -2, 1}, 1, {}},  // negative group sizes are refused
      {5, 3, {5, 0, 0}, 0, {5, 0, 0}},
  };
  for (const Case& c : cases) {
    Kriging<double> k;
    std::vector<int> sizes = c.sizes;
    int* ptr = sizes.empty() ? nullptr : sizes.data();
    EXPECT_EQ(c.result, k.PutNumSol(c.total, c.groups, ptr)) << c.total << "/" << c.groups;
    int q = -1, g = -1, err = 1;
    k.GetNumSol(q);
    k.GetNumGlobalSol(g);
    int* got = k.GetVecGlobalSol(err);
    EXPECT_EQ(0, err);
    if (c.result == 0) {
      EXPECT_EQ(c.total, q);
      ASSERT_EQ(static_cast<int>(c.stored.size()), g);
      for (int i = 0; i < g; ++i) EXPECT_EQ(c.stored[i], got[i]);
    } else {
      EXPECT_EQ(0, q);
      EXPECT_EQ(0, g);
    }
    delete[] got;
  }

  /* Repeating the stored total and group count keeps the old sizes. */
  Kriging<double> k;
  int s1[] = {2, 3}, s2[] = {4, 1};
  ASSERT_EQ(0, k.PutNumSol(5, 2, s1));
  EXPECT_EQ(0, k.PutNumSol(5, 2, s2));
  int err = 1;
  int* got = k.GetVecGlobalSol(err);
  EXPECT_EQ(2, got[0]);
  EXPECT_EQ(3, got[1]);
  delete[] got;
}

TEST(KrigingObject, PutNumSolClearsOutputSamplesButKeepsState) {
  KrigingProbe<double> k;
  GiveData(k);
  ASSERT_EQ(0, k.Solve());
  ASSERT_TRUE(k.OutSampSet);
  ASSERT_EQ(0, k.PutNumSol(2, 2, nullptr));
  EXPECT_FALSE(k.OutSampSet);
  EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
  /* The old outputs are one column wide now: no range can be made from them. */
  RVec ranges(0);
  EXPECT_EQ(1, k.GetOutputGlobalRange(ranges));
  EXPECT_EQ(1, k.ReSolve());
  EXPECT_EQ(KrigingDataIncomplete, k.GetKrigingStatus());
}

TEST(KrigingObject, DropToleranceRules) {
  Kriging<double> k;
  EXPECT_EQ(1, k.PutDropToler(1.0));
  EXPECT_EQ(1, k.PutDropToler(0.0));
  EXPECT_EQ(1, k.PutDropToler(-0.5));
  EXPECT_EQ(1, k.PutDropToler(std::nan("")));
  EXPECT_EQ(1e-8, k.GetDropToler());
  GiveData(k);
  ASSERT_EQ(0, k.Solve());
  EXPECT_EQ(0, k.PutDropToler(1e-8));
  EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
  EXPECT_EQ(0, k.PutDropToler(0.5));
  EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
  EXPECT_EQ(0.5, k.GetDropToler());
}

TEST(KrigingObject, StepAndSampleCounts) {
  KrigingProbe<double> k;
  EXPECT_EQ(0, k.SetStep(0));
  EXPECT_EQ(1, k.Step);
  EXPECT_EQ(0, k.SetStep(-3));
  EXPECT_EQ(1, k.Step);
  EXPECT_EQ(0, k.SetStep(4));
  EXPECT_EQ(4, k.Step);

  int m = -1;
  EXPECT_EQ(0, k.GetOptNumSamp(m));
  EXPECT_EQ(1, m);  // n = 0
  ASSERT_EQ(0, k.PutNumVar(3));
  EXPECT_EQ(0, k.GetOptNumSamp(m));
  EXPECT_EQ(10, m);

  GiveData(k);
  ASSERT_TRUE(k.InpSampSet);
  EXPECT_EQ(0, k.SetOptNumSamp());  // n = 2: six samples recommended
  k.GetNumSamp(m);
  EXPECT_EQ(6, m);
  EXPECT_FALSE(k.InpSampSet);
  EXPECT_FALSE(k.OutSampSet);
  EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus());

  EXPECT_EQ(1, k.PutNumSamp(0));
  EXPECT_EQ(1, k.PutMaxNumIter(0));
  EXPECT_EQ(0, k.PutMaxNumIter(25));
  k.GetMaxNumIter(m);
  EXPECT_EQ(25, m);

  /* A count whose quadratic term number exceeds int is refused, not cut. */
  KrigingProbe<double> big;
  ASSERT_EQ(0, big.PutNumVar(100000));
  m = 7;
  EXPECT_EQ(1, big.GetOptNumSamp(m));
  EXPECT_EQ(7, m);
  EXPECT_EQ(1, big.SetOptNumSamp());
}

TEST(KrigingObject, SettersThatChangeTheFitDemoteASolvedModel) {
  typedef std::function<int(Kriging<double>&)> Setter;
  const std::vector<std::pair<const char*, Setter>> changing = {
      {"DropToler", [](Kriging<double>& k) { return k.PutDropToler(1e-6); }},
      {"MaxNumIter", [](Kriging<double>& k) { return k.PutMaxNumIter(7); }},
      {"SolnType", [](Kriging<double>& k) { return k.PutSolnType(static_cast<E_KrigingSolType>(1)); }},
      {"CorrFunc", [](Kriging<double>& k) { return k.PutCorrFuncType(CorrExponential); }},
      {"KernVarType", [](Kriging<double>& k) { return k.PutKrigingKernVarType(KernPerInput); }},
      {"KernOptType", [](Kriging<double>& k) { return k.PutKrigingKernOptType(KernOptLikelihood); }},
      {"Scaling", [](Kriging<double>& k) { return k.PutScalingType(ScaleInputs); }},
      {"Polynom", [](Kriging<double>& k) { return k.PutPolynomType(PolyConstant); }},
      {"KernVec", [](Kriging<double>& k) { RVec t(1, 3.0); return k.PutKernVec(t); }},
      {"Outputs", [](Kriging<double>& k) {
         C_MatMGe<double> Y = RandomMat(5, 1, 9u);
         return k.PutOutSampMtx(Y);
       }},
  };
  for (const auto& c : changing) {
    Kriging<double> k;
    GiveData(k);
    ASSERT_EQ(0, k.Solve());
    EXPECT_EQ(0, c.second(k)) << c.first;
    EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus()) << c.first;
  }

  const std::vector<std::pair<const char*, Setter>> same = {
      {"DropToler", [](Kriging<double>& k) { return k.PutDropToler(1e-8); }},
      {"SolnType", [](Kriging<double>& k) { return k.PutSolnType(SolDefault); }},
      {"CorrFunc", [](Kriging<double>& k) { return k.PutCorrFuncType(CorrGaussian); }},
      {"KernVarType", [](Kriging<double>& k) { return k.PutKrigingKernVarType(KernOneForAll); }},
      {"KernOptType", [](Kriging<double>& k) { return k.PutKrigingKernOptType(KernOptNone); }},
      {"Scaling", [](Kriging<double>& k) { return k.PutScalingType(ScaleNone); }},
      {"NumVar", [](Kriging<double>& k) { return k.PutNumVar(2); }},
      {"NumSamp", [](Kriging<double>& k) { return k.PutNumSamp(5); }},
      {"NumSol", [](Kriging<double>& k) { return k.PutNumSol(1, 1, nullptr); }},
      {"Step", [](Kriging<double>& k) { return k.SetStep(3); }},
  };
  for (const auto& c : same) {
    Kriging<double> k;
    GiveData(k);
    ASSERT_EQ(0, k.Solve());
    EXPECT_EQ(0, c.second(k)) << c.first;
    EXPECT_EQ(KrigingSolved, k.GetKrigingStatus()) << c.first;
  }
}

TEST(KrigingObject, ProcessVarianceIsReadPerOutput) {
  KrigingProbe<double> k;
  GiveData(k, 2);
  double v = 0.0;
  ASSERT_EQ(0, k.Solve());
  ASSERT_EQ(2, k.ProcVarnc.Dim());
  ASSERT_NE(k.ProcVarnc[0], k.ProcVarnc[1]);
  EXPECT_EQ(0, k.GetProcVarnc(v, 0));
  EXPECT_EQ(k.ProcVarnc[0], v);
  EXPECT_EQ(0, k.GetProcVarnc(v, 1));
  EXPECT_EQ(k.ProcVarnc[1], v);
  v = -7.0;
  EXPECT_EQ(1, k.GetProcVarnc(v, 2));
  EXPECT_EQ(1, k.GetProcVarnc(v, 3));
  EXPECT_EQ(1, k.GetProcVarnc(v, -1));
  EXPECT_EQ(-7.0, v);
}

TEST(KrigingObject, OutputRangesAndGroupRanges) {
  KrigingProbe<double> k;
  int sizes[] = {2, 1};
  ASSERT_EQ(0, k.PutNumSol(3, 2, sizes));
  ASSERT_EQ(0, k.PutNumVar(1));
  C_MatMGe<double> X = MakeMat<double>(2, 1, {0.0, 1.0});
  ASSERT_EQ(0, k.PutInpSampMtx(X));
  /* Output magnitudes spread 3 (1..4), 4 (2..6, from -2 and 6) and 5 (0..5). */
  C_MatMGe<double> Y = MakeMat<double>(2, 3, {1.0, -2.0, 0.0, 4.0, 6.0, 5.0});
  ASSERT_EQ(0, k.PutOutSampMtx(Y));
  ASSERT_EQ(2, k.GlobalRangeVec.Dim());
  EXPECT_DOUBLE_EQ(5.0, k.GlobalRangeVec[0]);  // sqrt(3^2 + 4^2)
  EXPECT_DOUBLE_EQ(5.0, k.GlobalRangeVec[1]);

  RVec ranges(0);
  EXPECT_EQ(0, k.GetOutputGlobalRange(ranges));
  ASSERT_EQ(2, ranges.Dim());
  EXPECT_DOUBLE_EQ(5.0, ranges[0]);
  EXPECT_DOUBLE_EQ(5.0, ranges[1]);

  /* The spread of magnitudes: -5 and 3 give 3, 5 and 2. */
  KrigingProbe<double> s;
  ASSERT_EQ(0, s.PutNumSol(1, 1, nullptr));
  ASSERT_EQ(0, s.PutInpSampMtx(X));
  C_MatMGe<double> Y1 = MakeMat<double>(2, 1, {-5.0, 3.0});
  ASSERT_EQ(0, s.PutOutSampMtx(Y1));
  EXPECT_EQ(3.0, s.OutRangeMtx.GetVal(0, 0));
  EXPECT_EQ(5.0, s.OutRangeMtx.GetVal(0, 1));
  EXPECT_EQ(2.0, s.OutRangeMtx.GetVal(0, 2));

  /* Complex outputs use the modulus. */
  KrigingProbe<cplx> c;
  ASSERT_EQ(0, c.PutNumSol(1, 1, nullptr));
  C_MatMGe<cplx> Xc = MakeMat<cplx>(2, 1, {cplx(0, 0), cplx(1, 0)});
  ASSERT_EQ(0, c.PutInpSampMtx(Xc));
  C_MatMGe<cplx> Yc = MakeMat<cplx>(2, 1, {cplx(3, 4), cplx(0, -1)});
  ASSERT_EQ(0, c.PutOutSampMtx(Yc));
  EXPECT_DOUBLE_EQ(1.0, c.OutRangeMtx.GetVal(0, 0));
  EXPECT_DOUBLE_EQ(5.0, c.OutRangeMtx.GetVal(0, 1));
  EXPECT_DOUBLE_EQ(4.0, c.GlobalRangeVec[0]);
}

TEST(KrigingObject, SampleMatricesAreCheckedAndCopied) {
  KrigingProbe<double> k;
  C_MatMGe<double> empty(0, 0), noCols(3, 0);
  EXPECT_EQ(1, k.PutInpSampMtx(empty));
  EXPECT_EQ(1, k.PutInpSampMtx(noCols));
  C_MatMGe<double> X;
  EXPECT_EQ(1, k.GetInpSampMtx(X));
  EXPECT_EQ(1, k.GetOutSampMtx(X));

  GiveData(k);
  C_MatMGe<double> wrong = RandomMat(4, 1, 3u);
  EXPECT_EQ(1, k.PutOutSampMtx(wrong));  // 4 rows for 5 samples
  ASSERT_EQ(0, k.GetInpSampMtx(X));
  EXPECT_EQ(5, X.rows);
  EXPECT_EQ(2, X.cols);
  EXPECT_EQ(0.5, X.GetVal(4, 0));

  /* A new row count clears the output samples; the same count keeps them. */
  C_MatMGe<double> X6 = RandomMat(6, 2, 4u);
  ASSERT_EQ(0, k.PutInpSampMtx(X6));
  EXPECT_FALSE(k.OutSampSet);
  int m = 0;
  k.GetNumSamp(m);
  EXPECT_EQ(6, m);
  C_MatMGe<double> Y6 = RandomMat(6, 1, 5u);
  ASSERT_EQ(0, k.PutOutSampMtx(Y6));
  C_MatMGe<double> X6b = RandomMat(6, 2, 6u);
  ASSERT_EQ(0, k.PutInpSampMtx(X6b));
  EXPECT_TRUE(k.OutSampSet);
  EXPECT_EQ(2, k.WorkVec.Dim());
}

TEST(KrigingObject, AppendSampData) {
  KrigingProbe<double> k;
  C_MatMGe<double> Xa = RandomMat(2, 2, 7u);
  C_MatMGe<double> Ya = MakeMat<double>(2, 1, {-20.0, 0.25});
  EXPECT_EQ(1, k.AppendSampData(Xa, Ya));  // no samples yet

  GiveData(k);
  ASSERT_EQ(0, k.Solve());
  const double lo = k.OutRangeMtx.GetVal(0, 0), hi = k.OutRangeMtx.GetVal(0, 1);
  ASSERT_GT(lo, 0.25);
  ASSERT_LT(hi, 20.0);

  C_MatMGe<double> badX = RandomMat(2, 3, 8u), badY = RandomMat(3, 1, 8u), noRows(0, 2);
  EXPECT_EQ(1, k.AppendSampData(badX, Ya));
  EXPECT_EQ(1, k.AppendSampData(Xa, badY));
  EXPECT_EQ(1, k.AppendSampData(noRows, Ya));
  EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());

  ASSERT_EQ(0, k.AppendSampData(Xa, Ya));
  int m = 0;
  k.GetNumSamp(m);
  EXPECT_EQ(7, m);
  EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
  EXPECT_TRUE(k.NewSamples);
  EXPECT_EQ(0.25, k.OutRangeMtx.GetVal(0, 0));
  EXPECT_EQ(20.0, k.OutRangeMtx.GetVal(0, 1));
  EXPECT_DOUBLE_EQ(19.75, k.GlobalRangeVec[0]);

  C_MatMGe<double> X, Y;
  ASSERT_EQ(0, k.GetInpSampMtx(X));
  ASSERT_EQ(0, k.GetOutSampMtx(Y));
  EXPECT_EQ(7, X.rows);
  EXPECT_EQ(0.5, X.GetVal(4, 0));  // old rows kept
  EXPECT_EQ(Xa.GetVal(1, 1), X.GetVal(6, 1));
  EXPECT_EQ(-20.0, Y.GetVal(5, 0));

  /* The enlarged model fits all seven samples. */
  ASSERT_EQ(0, k.Solve());
  int rows = 0;
  k.GetNumCorrCoef(rows);
  EXPECT_EQ(7, rows);

  /* Giving the inputs whole clears the appended-samples flag. */
  ASSERT_EQ(0, k.PutInpSampMtx(X));
  EXPECT_FALSE(k.NewSamples);
}

/* A refused append (a value that is not finite first, in the middle or last of the inputs
 * or of the outputs, inputs one column too wide or too narrow, outputs one column too wide or
 * one row short, no rows, a range table that does not fit the outputs) appends nothing: the
 * samples, their count, the output range table and the group range (by hand) and the solved
 * state stay as they were, and the model predicts as before without a refit. */
TEST(KrigingObject, RefusedAppendChangesNothing) {
  const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
  typedef KrigingProbe<double> KP;
  struct Case {
    const char* what;
    std::function<void(KP&, C_MatMGe<double>&, C_MatMGe<double>&)> damage;
  };
  const std::vector<Case> cases = {
      {"NaN first of the inputs", [&](KP&, C_MatMGe<double>& X, C_MatMGe<double>&) {
         X.SetVal(0, 0, nan);
       }},
      {"NaN in the middle of the inputs", [&](KP&, C_MatMGe<double>& X, C_MatMGe<double>&) {
         X.SetVal(1, 0, nan);
       }},
      {"infinity last of the inputs", [&](KP&, C_MatMGe<double>& X, C_MatMGe<double>&) {
         X.SetVal(2, 1, -inf);
       }},
      {"NaN first of the outputs", [&](KP&, C_MatMGe<double>&, C_MatMGe<double>& Y) {
         Y.SetVal(0, 0, nan);
       }},
      {"NaN in the middle of the outputs", [&](KP&, C_MatMGe<double>&, C_MatMGe<double>& Y) {
         Y.SetVal(1, 1, nan);
       }},
      {"NaN last of the outputs", [&](KP&, C_MatMGe<double>&, C_MatMGe<double>& Y) {
         Y.SetVal(2, 1, nan);
       }},
      {"inputs too wide", [](KP&, C_MatMGe<double>& X, C_MatMGe<double>&) {
         X.ResizeKeep(3, 3);
       }},
      {"inputs too narrow", [](KP&, C_MatMGe<double>& X, C_MatMGe<double>&) {
         X.ResizeKeep(3, 1);
       }},
      {"outputs too wide", [](KP&, C_MatMGe<double>&, C_MatMGe<double>& Y) {
         Y.ResizeKeep(3, 3);
       }},
      {"an output row short", [](KP&, C_MatMGe<double>&, C_MatMGe<double>& Y) {
         Y.ResizeKeep(2, 2);
       }},
      {"no rows", [](KP&, C_MatMGe<double>& X, C_MatMGe<double>& Y) {
         X.Resize(0, 2);
         Y.Resize(0, 2);
       }},
      {"a range table of another shape", [](KP& k, C_MatMGe<double>&, C_MatMGe<double>&) {
         k.OutRangeMtx.ResizeKeep(1, 3);
       }},
  };
  /* Outputs 1 + i(j + 1) + 0.3 i^2 of GiveData, i = 0 .. 4: column 0 from 1 to 9.8, column
   * 1 from 1 to 13.8; one group of both. */
  const double range = std::sqrt(8.8 * 8.8 + 12.8 * 12.8);
  C_MatMGe<double> P = MakeMat<double>(3, 2, {0.2, 0.7, 0.9, 0.1, 0.4, 0.4});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KP k;
    ASSERT_NO_FATAL_FAILURE(GiveData(k, 2));
    ASSERT_EQ(0, k.Solve());
    C_MatMGe<double> Xa = MakeMat<double>(3, 2, {0.2, 0.8, 0.7, 0.6, 0.9, 0.9});
    C_MatMGe<double> Ya = MakeMat<double>(3, 2, {-20.0, 30.0, 0.5, 2.0, 4.0, 40.0});
    c.damage(k, Xa, Ya);
    C_MatMGe<double> X0, Y0, Yp0, table = k.OutRangeMtx;
    ASSERT_EQ(0, k.GetInpSampMtx(X0));
    ASSERT_EQ(0, k.GetOutSampMtx(Y0));
    ASSERT_EQ(0, k.EvalModel(P, Yp0));

    EXPECT_EQ(1, k.AppendSampData(Xa, Ya));

    C_MatMGe<double> X1, Y1, Yp1;
    ASSERT_EQ(0, k.GetInpSampMtx(X1));
    ASSERT_EQ(0, k.GetOutSampMtx(Y1));
    EXPECT_TRUE(SameMat(X0, X1));
    EXPECT_TRUE(SameMat(Y0, Y1));
    int m = 0;
    k.GetNumSamp(m);
    EXPECT_EQ(5, m);
    EXPECT_TRUE(SameMat(table, k.OutRangeMtx));
    ASSERT_EQ(1, k.GlobalRangeVec.Dim());
    EXPECT_NEAR(range, k.GlobalRangeVec[0], 1e-14 * range);
    EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
    EXPECT_FALSE(k.NewSamples);
    EXPECT_FALSE(k.ISSolveRequired());
    ASSERT_EQ(0, k.EvalModel(P, Yp1));
    EXPECT_TRUE(SameMat(Yp0, Yp1));
    /* The ranges made again from the samples are the same. */
    RVec ranges(0);
    ASSERT_EQ(0, k.GetOutputGlobalRange(ranges));
    ASSERT_EQ(1, ranges.Dim());
    EXPECT_NEAR(range, ranges[0], 1e-14 * range);
    EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
  }
}

TEST(KrigingObject, CoefficientGettersAndRefitAfterNewOutputs) {
  Kriging<double> k;
  GiveData(k);
  ASSERT_EQ(0, k.Solve());
  C_MatMGe<double> G1, G2, B;
  ASSERT_EQ(0, k.GetCorrCoeff(G1));
  EXPECT_EQ(5, G1.rows);
  EXPECT_EQ(0, k.GetPolyCoeff(B));
  int rows = 0;
  k.GetNumPolyCoeff(rows);
  EXPECT_EQ(B.rows, rows);

  C_MatMGe<double> Y = MakeMat<double>(5, 1, {3.0, -1.0, 2.0, 0.5, 4.0});
  ASSERT_EQ(0, k.PutOutSampMtx(Y));
  EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
  ASSERT_EQ(0, k.Solve());
  ASSERT_EQ(0, k.GetCorrCoeff(G2));
  EXPECT_NE(G1.GetVal(0, 0), G2.GetVal(0, 0));

  ASSERT_EQ(0, k.PutPolynomType(PolyNone));
  EXPECT_EQ(1, k.GetPolyCoeff(B));
}

TEST(KrigingObject, InitKrigingRestoresSettingsAndKeepsContainers) {
  KrigingProbe<double> k;
  GiveData(k);
  ASSERT_EQ(0, k.PutScalingType(ScaleInputsOutputs));
  ASSERT_EQ(0, k.PutMaxNumIter(12));
  ASSERT_EQ(0, k.Solve());
  k.InitKriging();
  EXPECT_EQ(KrigingInitial, k.GetKrigingStatus());
  EXPECT_EQ(ScaleNone, k.GetScalingType());
  int v = -1;
  k.GetNumSamp(v);
  EXPECT_EQ(0, v);
  k.GetNumGlobalSol(v);
  EXPECT_EQ(0, v);
  k.GetMaxNumIter(v);
  EXPECT_EQ(12, v);  // kept
  EXPECT_FALSE(k.InpSampSet);
  EXPECT_TRUE(k.SolveRequired);
  EXPECT_TRUE(k.KernToEstimate);
  EXPECT_TRUE(k.FtReady);  // kept
  C_MatMGe<double> G;
  k.GetCorrCoeff(G);
  EXPECT_EQ(5, G.rows);  // containers keep their contents
  int err = 1;
  int* sizes = k.GetVecGlobalSol(err);
  EXPECT_EQ(0, err);
  delete[] sizes;
}

TEST(KrigingObject, OutputRangesNeedSamples) {
  /* InitKriging leaves the sample count at 0: outputs without rows give no range. */
  Kriging<double> k;
  k.InitKriging();
  ASSERT_EQ(0, k.PutNumSol(1, 1, nullptr));
  C_MatMGe<double> Y(0, 1);
  EXPECT_EQ(1, k.PutOutSampMtx(Y));
  RVec ranges(0);
  EXPECT_EQ(1, k.GetOutputGlobalRange(ranges));
}

}  // namespace
