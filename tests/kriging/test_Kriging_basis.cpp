/* test_Kriging_basis.cpp: the model mathematics under the fit: correlation functions and
 * the packed correlation matrix, the trend basis and its automatic degree, column
 * variances, the scaling vectors and their maps, and the small utilities. */
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "kriging_files.h"
#include "kriging_fixtures.h"

namespace {

/* A model of n inputs and m samples in state 1, with the kernel theta. */
template <class T>
void ReadyModel(KrigingProbe<T>& k, C_MatMGe<T>& X, const std::vector<double>& theta,
                int kernVarType = 0) {
  ASSERT_EQ(0, k.PutNumSol(1, 1, nullptr));
  ASSERT_EQ(0, k.PutKrigingKernVarType(static_cast<E_KrigingKernVarType>(kernVarType)));
  ASSERT_EQ(0, k.PutNumVar(X.cols));
  ASSERT_EQ(0, k.PutInpSampMtx(X));
  RVec t(static_cast<int>(theta.size()));
  for (std::size_t i = 0; i < theta.size(); ++i) t[static_cast<int>(i)] = theta[i];
  ASSERT_EQ(0, k.PutKernVec(t));
}

TEST(KrigingBasis, CorrelationFunctionsByHand) {
  /* a = (0, 0), b = (0.3, 0.4): distances 0.3 and 0.4. */
  struct Case {
    int type;
    std::vector<double> theta;
    double expected;
  };
  const std::vector<Case> cases = {
      {1, {1.0}, std::exp(-0.7)},
      {2, {1.0}, std::exp(-0.25)},
      {3, {1.0}, 0.7 * 0.6},
      {7, {1.0}, 1.25 * 0.343 * 1.25 * 0.216},
      {1, {2.0, 0.5}, std::exp(-0.8)},
      {2, {2.0, 0.5}, std::exp(-0.26)},
      {3, {2.0, 0.5}, 0.4 * 0.8},
      {7, {2.0, 0.5}, 1.25 * 0.064 * 0.64},  // second factor at xi = 0.2: first branch, 0.64
      {3, {4.0, 0.5}, 0.0},                  // xi = 1.2 in one input
      {7, {2.5, 0.5}, 1.25 * 0.25 * 0.25 * 0.25 * 0.64},  // xi = 0.75 and 0.2
      {7, {1.0, 2.5}, 0.0},                               // xi = 1.0 exactly: zero
  };
  C_MatMGe<double> X = MakeMat<double>(2, 2, {0.0, 0.0, 0.3, 0.4});
  for (const Case& c : cases) {
    KrigingProbe<double> k;
    ReadyModel(k, X, c.theta, c.theta.size() == 1 ? 0 : 1);
    ASSERT_EQ(0, k.PutCorrFuncType(static_cast<E_CorrFuncType>(c.type)));
    RVec a(2), b(2);
    b[0] = 0.3;
    b[1] = 0.4;
    double r = -1.0;
    ASSERT_EQ(0, k.EvalCorrFunc(a, b, r));
    EXPECT_NEAR(c.expected, r, 1e-15) << "type " << c.type << " theta0 " << c.theta[0];
    EXPECT_NEAR(RefCorr(c.type, {0.3, 0.4}, c.theta), r, 1e-15);

    /* Identical points correlate to 1. */
    ASSERT_EQ(0, k.EvalCorrFunc(b, b, r));
    EXPECT_EQ(1.0, r);
  }
}

TEST(KrigingBasis, SplineAtTheBranchPoint) {
  C_MatMGe<double> X = MakeMat<double>(2, 1, {0.0, 0.2});
  KrigingProbe<double> k;
  ReadyModel(k, X, {1.0});
  ASSERT_EQ(0, k.PutCorrFuncType(CorrCubicSpline));
  RVec a(1), b(1, 0.2);
  double r = 0.0;
  ASSERT_EQ(0, k.EvalCorrFunc(a, b, r));
  EXPECT_NEAR(0.64, r, 1e-15);
  EXPECT_NEAR(1.25 * std::pow(0.8, 3), r, 1e-15);  // the second branch agrees there
}

TEST(KrigingBasis, ComplexPointsCorrelateByTheModulusOfTheirDifference) {
  C_MatMGe<cplx> X = MakeMat<cplx>(2, 1, {cplx(0, 0), cplx(0.6, 0.8)});
  for (int type : {1, 2, 3, 7}) {
    KrigingProbe<cplx> k;
    ReadyModel(k, X, {0.5});
    ASSERT_EQ(0, k.PutCorrFuncType(static_cast<E_CorrFuncType>(type)));
    CVec a(1), b(1);
    b[0] = cplx(0.6, 0.8);  // |b - a| = 1
    double r = -1.0;
    ASSERT_EQ(0, k.EvalCorrFunc(a, b, r));
    EXPECT_NEAR(RefCorr(type, {1.0}, {0.5}), r, 1e-15) << type;
  }
}

TEST(KrigingBasis, CorrelationMatrixIsLowerPacked) {
  C_MatMGe<double> X = MakeMat<double>(3, 1, {0.0, 1.0, 3.0});
  KrigingProbe<double> k;
  ReadyModel(k, X, {0.5});
  C_MatMSym<double> R(0, 0);
  ASSERT_EQ(0, k.EvalCorrMtx(X, R));
  EXPECT_EQ(3, R.rows);
  EXPECT_NE(0, R.Side());
  EXPECT_EQ(6, R.Dim());
  const double* ap = R.Adr();
  /* Column by column: (0,0) (1,0) (2,0) (1,1) (2,1) (2,2). */
  EXPECT_EQ(1.0, ap[0]);
  EXPECT_NEAR(std::exp(-0.5), ap[1], 1e-16);
  EXPECT_NEAR(std::exp(-4.5), ap[2], 1e-16);
  EXPECT_EQ(1.0, ap[3]);
  EXPECT_NEAR(std::exp(-2.0), ap[4], 1e-16);
  EXPECT_EQ(1.0, ap[5]);
}

TEST(KrigingBasis, CorrelationMatrixRefusals) {
  C_MatMGe<double> X = MakeMat<double>(3, 1, {0.0, 1.0, 3.0});
  C_MatMSym<double> R(0, 1);

  Kriging<double> fresh;  // state 0
  EXPECT_EQ(1, fresh.EvalCorrMtx(X, R));

  KrigingProbe<double> k;
  ReadyModel(k, X, {0.5});
  ASSERT_EQ(0, k.PutCorrFuncType(static_cast<E_CorrFuncType>(4)));
  EXPECT_EQ(1, k.EvalCorrMtx(X, R));
  EXPECT_EQ(3, X.rows);  // X left with its shape and values
  EXPECT_EQ(1, X.cols);
  EXPECT_EQ(3.0, X.GetVal(2, 0));
  RVec a(1), b(1);
  double r = 0.25;
  EXPECT_EQ(1, k.EvalCorrFunc(a, b, r));
  EXPECT_EQ(0.25, r);

  /* Points of another width than the model's inputs. */
  ASSERT_EQ(0, k.PutCorrFuncType(CorrGaussian));
  C_MatMGe<double> wide = RandomMat(3, 2, 1u);
  EXPECT_EQ(1, k.EvalCorrMtx(wide, R));
}

TEST(KrigingBasis, KernelThatDoesNotFitTheInputsIsRefusedNotOverread) {
  /* One kernel value while NumKern says one per input (written by a derived model: a
   * refused PutKernVec leaves the count as it was). */
  C_MatMGe<double> X = RandomMat(4, 3, 2u);
  KrigingProbe<double> k;
  ReadyModel(k, X, {0.5});
  ASSERT_EQ(0, k.PutKrigingKernVarType(KernPerInput));
  RVec one(1, 0.5);
  ASSERT_EQ(1, k.PutKernVec(one));
  k.NumKern = 3;
  ASSERT_EQ(1, k.KernVec.Dim());
  C_MatMSym<double> R(0, 1);
  EXPECT_EQ(1, k.EvalCorrMtx(X, R));
  C_MatMGe<double> Y = RandomMat(4, 1, 3u);
  ASSERT_EQ(0, k.PutOutSampMtx(Y));
  EXPECT_EQ(1, k.Solve());
  EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
}

TEST(KrigingBasis, TrendColumnsInOrder) {
  C_MatMGe<double> X = MakeMat<double>(2, 2, {2.0, 3.0, -1.0, 0.5});
  KrigingProbe<double> k;
  ASSERT_EQ(0, k.PutNumVar(2));
  struct Case {
    int terms;
    std::vector<double> row0;
  };
  const std::vector<Case> cases = {
      {1, {1.0}},
      {3, {1.0, 2.0, 3.0}},
      {5, {1.0, 2.0, 3.0, 4.0, 9.0}},
      {6, {1.0, 2.0, 3.0, 4.0, 6.0, 9.0}},
  };
  for (const Case& c : cases) {
    C_MatMGe<double> F;
    int terms = c.terms;
    ASSERT_EQ(0, k.EvalQuadPolynomMtx(X, terms, F, 0)) << c.terms;
    EXPECT_EQ(c.terms, terms);
    ASSERT_EQ(2, F.rows);
    ASSERT_EQ(c.terms, F.cols);
    for (int j = 0; j < c.terms; ++j) EXPECT_EQ(c.row0[j], F.GetVal(0, j)) << j;
  }
  EXPECT_EQ(PolyQuadratic, k.GetPolynomType());  // explicit requests never store a type

  /* No trend: N x 0. A count that no type has: refused. */
  C_MatMGe<double> F;
  int terms = 0;
  ASSERT_EQ(0, k.EvalQuadPolynomMtx(X, terms, F, 0));
  EXPECT_EQ(2, F.rows);
  EXPECT_EQ(0, F.cols);
  terms = 4;
  EXPECT_EQ(1, k.EvalQuadPolynomMtx(X, terms, F, 0));

  /* Rows before start keep what F held. */
  C_MatMGe<double> G = MakeMat<double>(2, 3, {7, 7, 7, 7, 7, 7});
  terms = 3;
  ASSERT_EQ(0, k.EvalQuadPolynomMtx(X, terms, G, 1));
  EXPECT_EQ(7.0, G.GetVal(0, 1));
  EXPECT_EQ(-1.0, G.GetVal(1, 1));
  EXPECT_EQ(0.5, G.GetVal(1, 2));

  /* Points of the wrong width, or none. */
  C_MatMGe<double> W = RandomMat(2, 3, 1u), none(0, 2);
  terms = 3;
  EXPECT_EQ(1, k.EvalQuadPolynomMtx(W, terms, F, 0));
  EXPECT_EQ(1, k.EvalQuadPolynomMtx(none, terms, F, 0));
}

TEST(KrigingBasis, ThreeTermsForOneInputAreTheSquareType) {
  C_MatMGe<double> X = MakeMat<double>(2, 1, {3.0, -2.0});
  KrigingProbe<double> k;
  ASSERT_EQ(0, k.PutNumVar(1));
  C_MatMGe<double> F;
  int terms = 3;
  ASSERT_EQ(0, k.EvalQuadPolynomMtx(X, terms, F, 0));
  EXPECT_EQ(1.0, F.GetVal(1, 0));
  EXPECT_EQ(-2.0, F.GetVal(1, 1));
  EXPECT_EQ(4.0, F.GetVal(1, 2));
}

TEST(KrigingBasis, ComplexTrendUsesPlainProducts) {
  C_MatMGe<cplx> X = MakeMat<cplx>(1, 2, {cplx(1, 1), cplx(0, 2)});
  KrigingProbe<cplx> k;
  ASSERT_EQ(0, k.PutNumVar(2));
  C_MatMGe<cplx> F;
  int terms = 6;
  ASSERT_EQ(0, k.EvalQuadPolynomMtx(X, terms, F, 0));
  EXPECT_EQ(cplx(1, 0), F.GetVal(0, 0));
  EXPECT_EQ(cplx(0, 2), F.GetVal(0, 3));    // (1+i)^2
  EXPECT_EQ(cplx(-2, 2), F.GetVal(0, 4));   // (1+i)(2i)
  EXPECT_EQ(cplx(-4, 0), F.GetVal(0, 5));   // (2i)^2
}

TEST(KrigingBasis, AutomaticDegree) {
  /* n = 3, 8 samples: 10 quadratic terms are too many, 7 terms of type 3 are stored. */
  C_MatMGe<double> X = RandomMat(8, 3, 11u, -1.0, 1.0);
  KrigingProbe<double> k;
  ASSERT_EQ(0, k.PutNumVar(3));
  ASSERT_EQ(0, k.PutNumSamp(8));
  C_MatMGe<double> F;
  int terms = -1;
  ASSERT_EQ(0, k.EvalQuadPolynomMtx(X, terms, F, 0));
  EXPECT_EQ(7, terms);
  EXPECT_EQ(7, F.cols);
  EXPECT_EQ(PolyLinearSquares, k.GetPolynomType());
  /* The lowered degree is where the next choice starts. */
  ASSERT_EQ(0, k.PutNumSamp(20));
  terms = -1;
  ASSERT_EQ(0, k.EvalQuadPolynomMtx(X, terms, F, 0));
  EXPECT_EQ(7, terms);

  /* A constant input column makes every degree above 1 rank deficient; the choice ends at
   * the constant trend and leaves the stored type alone. */
  C_MatMGe<double> Xc = RandomMat(12, 2, 12u);
  for (int i = 0; i < 12; ++i) Xc.SetVal(i, 1, 5.0);
  KrigingProbe<double> c;
  ASSERT_EQ(0, c.PutNumVar(2));
  ASSERT_EQ(0, c.PutNumSamp(12));
  terms = -1;
  ASSERT_EQ(0, c.EvalQuadPolynomMtx(Xc, terms, F, 0));
  EXPECT_EQ(1, terms);
  EXPECT_EQ(PolyQuadratic, c.GetPolynomType());

  /* Fewer rows than terms count as rank deficient. */
  KrigingProbe<double> few;
  ASSERT_EQ(0, few.PutNumVar(2));
  ASSERT_EQ(0, few.PutNumSamp(10));
  C_MatMGe<double> X2 = RandomMat(2, 2, 13u);
  terms = -1;
  ASSERT_EQ(0, few.EvalQuadPolynomMtx(X2, terms, F, 0));
  EXPECT_EQ(1, terms);

  /* Type 0 asks for nothing and leaves F as it was; an unknown type is refused. */
  ASSERT_EQ(0, few.PutPolynomType(PolyNone));
  C_MatMGe<double> keep = MakeMat<double>(1, 1, {42.0});
  terms = -1;
  ASSERT_EQ(0, few.EvalQuadPolynomMtx(X2, terms, keep, 0));
  EXPECT_EQ(0, terms);
  EXPECT_EQ(42.0, keep.GetVal(0, 0));
  ASSERT_EQ(0, few.PutPolynomType(static_cast<E_KrigingPolynomType>(9)));
  terms = -1;
  EXPECT_EQ(1, few.EvalQuadPolynomMtx(X2, terms, keep, 0));
}

/* The automatic degree asked of a solved model for a few other points: the choice is made
 * for those points (three points carry no more than the linear trend), but the model keeps
 * the type it was fitted with, so its file, Read, the copy constructor and Copy take it back
 * and predict as before. */
template <class T>
void AutomaticDegreeLeavesTheFittedModel() {
  C_MatMGe<T> X = SampleInputs<T>(12, 2, 31u), Y = SmoothOutputs(X, 1);
  SmallModelSpec s;
  s.poly = PolyQuadratic;
  s.theta = {2.0};
  Kriging<T> k;
  ASSERT_EQ(0, SolveSmall(k, X, Y, s));
  ASSERT_EQ(PolyQuadratic, k.GetPolynomType());
  int rows = 0;
  ASSERT_EQ(0, k.GetNumPolyCoeff(rows));
  ASSERT_EQ(6, rows);
  C_MatMGe<T> P = SampleInputs<T>(5, 2, 32u), Ybefore;
  ASSERT_EQ(0, k.EvalModel(P, Ybefore));
  const kvtest::Bytes before = kvtest::WrittenBytes(k);

  C_MatMGe<T> few = SampleInputs<T>(3, 2, 33u), F;
  int terms = -1;
  ASSERT_EQ(0, k.EvalQuadPolynomMtx(few, terms, F, 0));
  EXPECT_EQ(3, terms);
  EXPECT_EQ(3, F.cols);
  EXPECT_EQ(PolyQuadratic, k.GetPolynomType());
  EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
  int res = -1;
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::WrittenBytes(k, &res), before));
  EXPECT_EQ(0, res);

  struct Taker {
    const char* name;
    std::function<int(std::unique_ptr<Kriging<T>>&)> take;
  };
  const std::vector<Taker> takers = {
      {"Read",
       [&](std::unique_ptr<Kriging<T>>& out) {
         out.reset(new Kriging<T>);
         kvtest::FilePtr f = kvtest::FileWith(before);
         return out->Read(f.get());
       }},
      {"copy constructor",
       [&](std::unique_ptr<Kriging<T>>& out) {
         int err = -1;
         out.reset(new Kriging<T>(k, err));
         return err;
       }},
      {"Copy",
       [&](std::unique_ptr<Kriging<T>>& out) {
         out.reset(new Kriging<T>);
         return out->Copy(&k);
       }},
  };
  for (const Taker& t : takers) {
    SCOPED_TRACE(t.name);
    std::unique_ptr<Kriging<T>> taken;
    ASSERT_EQ(0, t.take(taken));
    EXPECT_EQ(PolyQuadratic, taken->GetPolynomType());
    C_MatMGe<T> Yt;
    ASSERT_EQ(0, taken->EvalModel(P, Yt));
    EXPECT_TRUE(SameMat(Ybefore, Yt));
  }
  C_MatMGe<T> Yafter;
  ASSERT_EQ(0, k.EvalModel(P, Yafter));
  EXPECT_TRUE(SameMat(Ybefore, Yafter));
}

TEST(KrigingBasis, AutomaticDegreeOutsideAFitLeavesTheFittedModel) {
  AutomaticDegreeLeavesTheFittedModel<double>();
  AutomaticDegreeLeavesTheFittedModel<cplx>();
}

TEST(KrigingBasis, ColumnVariances) {
  KrigingProbe<double> k;
  C_MatMGe<double> X = MakeMat<double>(3, 2, {1e8, 0.0, 1e8 + 1.0, 2.0, 1e8 + 2.0, 4.0});
  RVec var(0);
  ASSERT_EQ(0, k.DiagOfCovarMtx(X, var));
  ASSERT_EQ(2, var.Dim());
  EXPECT_EQ(1.0, var[0]);  // no cancellation around a large offset
  EXPECT_EQ(4.0, var[1]);

  C_MatMGe<double> wide = RandomMat(2, 3, 1u);
  EXPECT_EQ(1, k.DiagOfCovarMtx(wide, var));

  C_MatMGe<double> single = MakeMat<double>(1, 1, {3.5});
  ASSERT_EQ(0, k.DiagOfCovarMtx(single, var));
  EXPECT_EQ(0.0, var[0]);  // one value has no spread; nothing is divided by zero

  KrigingProbe<cplx> c;
  C_MatMGe<cplx> Z = MakeMat<cplx>(3, 1, {cplx(0, 0), cplx(1, 1), cplx(2, 2)});
  ASSERT_EQ(0, c.DiagOfCovarMtx(Z, var));
  EXPECT_DOUBLE_EQ(2.0, var[0]);
}

TEST(KrigingBasis, InputScaleVectors) {
  KrigingProbe<double> k;
  C_MatMGe<double> X = MakeMat<double>(3, 3, {1.0, 0.0, 7.0, 2.0, 2.0, 7.0, 3.0, 4.0, 7.0});
  RVec s(3);
  RVec icpt(3);
  ASSERT_EQ(0, k.EvalInpScale(X, s, icpt));
  EXPECT_DOUBLE_EQ(1.0, s[0]);
  EXPECT_DOUBLE_EQ(-2.0, icpt[0]);
  EXPECT_DOUBLE_EQ(0.5, s[1]);
  EXPECT_DOUBLE_EQ(-1.0, icpt[1]);
  /* A constant column gets scale 1 and intercept minus its mean, not an infinite scale. */
  EXPECT_EQ(1.0, s[2]);
  EXPECT_EQ(-7.0, icpt[2]);

  RVec shortS(2);
  EXPECT_EQ(1, k.EvalInpScale(X, shortS, icpt));

  /* A single value has no spread either. */
  RVec one(1, 4.0);
  double sc = 0.0, ic = 0.0;
  ASSERT_EQ(0, k.EvalColScale(one, sc, ic));
  EXPECT_EQ(1.0, sc);
  EXPECT_EQ(-4.0, ic);

  /* Complex column: complex mean, real scale. {0, 2+2i}: mean 1+i, sigma = |(1+i)|*sqrt(2). */
  KrigingProbe<cplx> c;
  CVec z(2);
  z[1] = cplx(2, 2);
  double zs = 0.0;
  cplx zi;
  ASSERT_EQ(0, c.EvalColScale(z, zs, zi));
  EXPECT_DOUBLE_EQ(0.5, zs);
  EXPECT_NEAR(-0.5, zi.real(), 1e-15);
  EXPECT_NEAR(-0.5, zi.imag(), 1e-15);
}

TEST(KrigingBasis, OutputScaleVectors) {
  KrigingProbe<double> k;
  C_MatMGe<double> Y = MakeMat<double>(2, 2, {3.0, -8.0, 1.0, 2.0});
  RVec s(2), icpt(2, 9.0);
  ASSERT_EQ(0, k.EvalOutScale(Y, s, icpt));
  EXPECT_EQ(0.125, s[0]);
  EXPECT_EQ(0.125, s[1]);
  EXPECT_EQ(0.0, icpt[1]);

  C_MatMGe<double> Z(2, 2);  // all zero: below the drop tolerance
  ASSERT_EQ(0, k.EvalOutScale(Z, s, icpt));
  EXPECT_EQ(1.0, s[0]);
  C_MatMGe<double> Huge = MakeMat<double>(1, 1, {1e31});
  RVec s1(1), i1(1);
  ASSERT_EQ(0, k.EvalOutScale(Huge, s1, i1));
  EXPECT_EQ(1.0, s1[0]);

  /* Complex: the modulus of the element with the largest |re| + |im|: 3+3i beats 0+5i. */
  KrigingProbe<cplx> c;
  C_MatMGe<cplx> Yc = MakeMat<cplx>(2, 1, {cplx(3, 3), cplx(0, 5)});
  RVec cs(1);
  CVec ci(1);
  ASSERT_EQ(0, c.EvalOutScale(Yc, cs, ci));
  EXPECT_DOUBLE_EQ(1.0 / std::sqrt(18.0), cs[0]);
}

TEST(KrigingBasis, ScalingMapAndUnscaling) {
  KrigingProbe<double> k;
  C_MatMGe<double> X = MakeMat<double>(2, 2, {1.0, 10.0, 3.0, 20.0});
  RVec s(2), icpt(2);
  s[0] = 2.0;
  s[1] = 0.0;
  icpt[0] = -1.0;
  icpt[1] = 5.0;
  C_MatMGe<double> Xs;
  ASSERT_EQ(0, k.ApplyScaling(X, s, icpt, Xs));
  EXPECT_EQ(1.0, Xs.GetVal(0, 0));
  EXPECT_EQ(5.0, Xs.GetVal(1, 0));
  EXPECT_EQ(5.0, Xs.GetVal(1, 1));

  /* Unscaling removes the intercept and divides by the scale; a zero scale removes the
   * intercept only. */
  ASSERT_EQ(0, k.UnscaleOutput(Xs, s, icpt));
  EXPECT_EQ(1.0, Xs.GetVal(0, 0));
  EXPECT_EQ(3.0, Xs.GetVal(1, 0));
  EXPECT_EQ(0.0, Xs.GetVal(1, 1));

  RVec s3(3);
  EXPECT_EQ(1, k.ApplyScaling(X, s3, icpt, Xs));
  EXPECT_EQ(1, k.UnscaleOutput(Xs, s3, icpt));
}

TEST(KrigingBasis, ScalingStepByType) {
  C_MatMGe<double> X = MakeMat<double>(3, 1, {1.0, 2.0, 3.0});
  C_MatMGe<double> Y = MakeMat<double>(3, 1, {-4.0, 2.0, 1.0});
  for (int type = 0; type <= 4; ++type) {
    KrigingProbe<double> k;
    ASSERT_EQ(0, k.PutNumSol(1, 1, nullptr));
    ASSERT_EQ(0, k.PutNumVar(1));
    ASSERT_EQ(0, k.PutInpSampMtx(X));
    ASSERT_EQ(0, k.PutOutSampMtx(Y));
    ASSERT_EQ(0, k.PutScalingType(static_cast<E_KrigingScalingType>(type)));
    C_MatMGe<double> Xs, Ys;
    if (type == 4) {
      EXPECT_EQ(1, k.EvalScaling(Xs, Ys));
      continue;
    }
    ASSERT_EQ(0, k.EvalScaling(Xs, Ys)) << type;
    const bool in = type == 1 || type == 3, out = type == 2 || type == 3;
    EXPECT_EQ(in ? -1.0 : 1.0, Xs.GetVal(0, 0)) << type;
    EXPECT_EQ(in ? 1.0 : 3.0, Xs.GetVal(2, 0)) << type;
    EXPECT_EQ(out ? -1.0 : -4.0, Ys.GetVal(0, 0)) << type;
    EXPECT_EQ(out ? 0.25 : 1.0, Ys.GetVal(2, 0)) << type;
    RVec sv(0);
    k.GetInpScaleVec(sv);
    EXPECT_EQ(in ? 1 : 0, sv.Dim());
    k.GetOutScaleVec(sv);
    EXPECT_EQ(out ? 1 : 0, sv.Dim());
  }
}

TEST(KrigingBasis, StoredInputScalesOfAnotherLengthAreRecomputed) {
  KrigingProbe<double> k;
  C_MatMGe<double> X2 = RandomMat(6, 2, 21u), Y = RandomMat(6, 1, 22u);
  ASSERT_EQ(0, k.PutNumSol(1, 1, nullptr));
  ASSERT_EQ(0, k.PutNumVar(2));
  ASSERT_EQ(0, k.PutInpSampMtx(X2));
  ASSERT_EQ(0, k.PutOutSampMtx(Y));
  ASSERT_EQ(0, k.PutScalingType(ScaleInputs));
  ASSERT_EQ(0, k.Solve());
  ASSERT_EQ(2, k.InpScaleVec.Dim());

  /* New inputs of three columns, and a build that reuses the stored scales. */
  C_MatMGe<double> X3 = RandomMat(6, 3, 23u);
  ASSERT_EQ(0, k.PutInpSampMtx(X3));
  k.RescaleRequested = false;
  C_MatMGe<double> Xs, Ys;
  ASSERT_EQ(0, k.EvalScaling(Xs, Ys));
  EXPECT_EQ(3, k.InpScaleVec.Dim());
  EXPECT_EQ(3, k.InpInterceptVec.Dim());
  EXPECT_EQ(3, Xs.cols);
  /* Each scaled column has mean 0. */
  for (int j = 0; j < 3; ++j) {
    double s = 0.0;
    for (int i = 0; i < 6; ++i) s += Xs.GetVal(i, j);
    EXPECT_NEAR(0.0, s, 1e-13);
  }
}

TEST(KrigingBasis, SmallUtilities) {
  KrigingProbe<double> k;
  RVec empty(0);
  EXPECT_EQ(0.0, k.GetMean(empty));
  RVec v(4);
  for (int i = 0; i < 4; ++i) v[i] = i + 1.0;
  EXPECT_EQ(2.5, k.GetMean(v));
  KrigingProbe<cplx> c;
  CVec z(2);
  z[0] = cplx(1, 3);
  z[1] = cplx(2, -1);
  EXPECT_EQ(cplx(1.5, 1.0), c.GetMean(z));

  /* Cyclic shift of the first NumKern values. */
  ASSERT_EQ(0, k.PutKrigingKernVarType(KernPerInput));
  ASSERT_EQ(0, k.PutNumVar(3));
  RVec d(3);
  d[0] = 1.0;
  d[1] = 2.0;
  d[2] = 3.0;
  ASSERT_EQ(0, k.ShiftStepVec(d));
  EXPECT_EQ(3.0, d[0]);
  EXPECT_EQ(1.0, d[1]);
  EXPECT_EQ(2.0, d[2]);
  RVec shortV(2);
  EXPECT_EQ(1, k.ShiftStepVec(shortV));
  KrigingProbe<double> one;
  ASSERT_EQ(0, one.PutNumVar(3));  // one shared parameter
  RVec single(1, 5.0);
  ASSERT_EQ(0, one.ShiftStepVec(single));
  EXPECT_EQ(5.0, single[0]);

  /* Packed triangular product on two columns: L = [[2, 0], [3, 4]] (lower packed 2, 3, 4). */
  double ap[3] = {2.0, 3.0, 4.0};
  double x[4] = {1.0, 1.0, 0.5, -1.0};
  ASSERT_EQ(0, k.MultTriPacked('L', 'N', 'N', 2, 2, ap, x));
  EXPECT_EQ(2.0, x[0]);
  EXPECT_EQ(7.0, x[1]);
  EXPECT_EQ(1.0, x[2]);
  EXPECT_EQ(-2.5, x[3]);
  double y[2] = {1.0, 1.0};
  ASSERT_EQ(0, k.MultTriPacked('L', 'T', 'N', 2, 1, ap, y));  // L^T
  EXPECT_EQ(5.0, y[0]);
  EXPECT_EQ(4.0, y[1]);

  /* Real packed matrix into a complex one. */
  C_MatMSym<double> S(2, 1);
  S.Adr()[0] = 1.0;
  S.Adr()[1] = -2.0;
  S.Adr()[2] = 3.0;
  C_MatMSym<cplx> Sc(0, 0);
  ASSERT_EQ(0, c.CopySymMtx(S, Sc));
  EXPECT_EQ(2, Sc.rows);
  EXPECT_NE(0, Sc.Side());
  EXPECT_EQ(cplx(-2.0, 0.0), Sc.Adr()[1]);
  EXPECT_EQ(cplx(3.0, 0.0), Sc.Adr()[2]);
}

}  // namespace
