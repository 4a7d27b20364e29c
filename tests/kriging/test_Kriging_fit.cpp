/* test_Kriging_fit.cpp: the model fit and Solve: closed-form two-sample models, the
 * generalised least-squares identities on larger models, the kernel estimate, the
 * determinant term and regularisation, the fit line, readiness, failed fits that store
 * nothing, and the agreement of the complex instance with the real one. */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "kriging_files.h"
#include "kriging_fixtures.h"
#include "msgcapture.h"

namespace {

const double kTol = 1e-8, kNugget = 1e-14;

/* Regularised diagonal of a fit of m samples with the default tolerances. */
double Diag(int m) { return 1.0 + std::sqrt(static_cast<double>(m)) * kTol + (m + 10.0) * kNugget; }

template <class T>
void Give(Kriging<T>& k, C_MatMGe<T>& X, C_MatMGe<T>& Y, E_KrigingPolynomType poly) {
  ASSERT_EQ(0, k.PutNumSol(Y.cols, 1, nullptr));
  ASSERT_EQ(0, k.PutNumVar(X.cols));
  ASSERT_EQ(0, k.PutPolynomType(poly));
  ASSERT_EQ(0, k.PutInpSampMtx(X));
  ASSERT_EQ(0, k.PutOutSampMtx(Y));
}

template <class T>
void GiveKern(Kriging<T>& k, double theta) {
  RVec t(1, theta);
  ASSERT_EQ(0, k.PutKernVec(t));
}

/* Gives the samples and the shared kernel theta, then solves. */
template <class T>
void GiveAndSolve(Kriging<T>& k, C_MatMGe<T>& X, C_MatMGe<T>& Y, E_KrigingPolynomType poly,
                  double theta) {
  Give(k, X, Y, poly);
  GiveKern(k, theta);
  ASSERT_EQ(0, k.Solve());
}

/* Two samples at distance 1, Gaussian kernel 1, constant trend: with R = [[a, r], [r, a]],
 * beta is the mean, gamma = (d, -d)/(a - r) with d = (y1 - y2)/2, sigma^2 = |d|^2/(a - r)
 * and the objective sqrt(a^2 - r^2) * sigma^2. */
TEST(KrigingFit, TwoSamplesConstantTrendClosedForm) {
  C_MatMGe<double> X = MakeMat<double>(2, 1, {0.0, 1.0});
  C_MatMGe<double> Y = MakeMat<double>(2, 1, {1.0, 3.0});
  KrigingProbe<double> k;
  ASSERT_NO_FATAL_FAILURE(GiveAndSolve(k, X, Y, PolyConstant, 1.0));
  EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
  EXPECT_FALSE(k.ISSolveRequired());

  const double a = Diag(2), r = std::exp(-1.0), d = -1.0;
  C_MatMGe<double> B, G;
  ASSERT_EQ(0, k.GetPolyCoeff(B));
  ASSERT_EQ(0, k.GetCorrCoeff(G));
  ASSERT_EQ(1, B.rows);
  EXPECT_NEAR(2.0, B.GetVal(0, 0), 1e-13);
  EXPECT_NEAR(d / (a - r), G.GetVal(0, 0), 1e-13);
  EXPECT_NEAR(-d / (a - r), G.GetVal(1, 0), 1e-13);

  const double s2 = d * d / (a - r), D = std::sqrt(a * a - r * r);
  double v = 0.0;
  ASSERT_EQ(0, k.GetProcVarnc(v, 0));
  EXPECT_NEAR(s2, v, 1e-13 * s2);
  ASSERT_EQ(0, k.GetMLE(v));
  EXPECT_NEAR(D * s2, v, 1e-13 * D * s2);
  RVec mv(0);
  ASSERT_EQ(0, k.GetMLE(mv));
  ASSERT_EQ(1, mv.Dim());
  EXPECT_NEAR(D * s2, mv[0], 1e-13 * D * s2);

  /* The packed factors: CorrMtx is the inverse Cholesky factor of R. */
  const double c00 = std::sqrt(a), c10 = r / c00, c11 = std::sqrt(a - c10 * c10);
  EXPECT_NEAR(1.0 / c00, k.CorrMtx.Adr()[0], 1e-14);
  EXPECT_NEAR(-c10 / (c00 * c11), k.CorrMtx.Adr()[1], 1e-14);
  EXPECT_NEAR(1.0 / c11, k.CorrMtx.Adr()[2], 1e-14);
  EXPECT_TRUE(k.FtReady);
  ASSERT_EQ(1, k.TrendFactor.rows);
  /* G = U^T with U^T U = F^T R^-1 F = 2/(a + r). */
  EXPECT_NEAR(2.0 / (a + r), std::pow(k.TrendFactor.Adr()[0], 2), 1e-13);
  EXPECT_EQ(1, k.FtTMtx.rows);
  EXPECT_EQ(2, k.FtTMtx.cols);
}

TEST(KrigingFit, TwoSamplesWithoutTrendClosedForm) {
  C_MatMGe<double> X = MakeMat<double>(2, 1, {0.0, 1.0});
  C_MatMGe<double> Y = MakeMat<double>(2, 1, {1.0, 3.0});
  KrigingProbe<double> k;
  ASSERT_NO_FATAL_FAILURE(GiveAndSolve(k, X, Y, PolyNone, 1.0));

  const double a = Diag(2), r = std::exp(-1.0), det = a * a - r * r;
  C_MatMGe<double> G, B;
  ASSERT_EQ(0, k.GetCorrCoeff(G));
  EXPECT_NEAR((a * 1.0 - r * 3.0) / det, G.GetVal(0, 0), 1e-13);
  EXPECT_NEAR((a * 3.0 - r * 1.0) / det, G.GetVal(1, 0), 1e-13);
  int rows = -1;
  k.GetNumPolyCoeff(rows);
  EXPECT_EQ(0, rows);
  EXPECT_EQ(1, k.GetPolyCoeff(B));
  EXPECT_FALSE(k.FtReady);

  const double s2 = (a * 10.0 - 2.0 * r * 3.0) / det / 2.0;
  double v = 0.0;
  ASSERT_EQ(0, k.GetProcVarnc(v, 0));
  EXPECT_NEAR(s2, v, 1e-13 * s2);
  ASSERT_EQ(0, k.GetMLE(v));
  EXPECT_NEAR(std::sqrt(det) * s2, v, 1e-13 * s2);
}

TEST(KrigingFit, TwoComplexSamplesClosedForm) {
  C_MatMGe<cplx> X = MakeMat<cplx>(2, 1, {cplx(0, 0), cplx(0.6, 0.8)});
  C_MatMGe<cplx> Y = MakeMat<cplx>(2, 1, {cplx(1, 2), cplx(3, -1)});
  KrigingProbe<cplx> k;
  ASSERT_NO_FATAL_FAILURE(GiveAndSolve(k, X, Y, PolyConstant, 1.0));

  const double a = Diag(2), r = std::exp(-1.0);
  const cplx d(-1.0, 1.5);
  C_MatMGe<cplx> B, G;
  ASSERT_EQ(0, k.GetPolyCoeff(B));
  ASSERT_EQ(0, k.GetCorrCoeff(G));
  EXPECT_NEAR(0.0, std::abs(cplx(2.0, 0.5) - B.GetVal(0, 0)), 1e-13);
  EXPECT_NEAR(0.0, std::abs(d / (a - r) - G.GetVal(0, 0)), 1e-13);
  EXPECT_NEAR(0.0, std::abs(-d / (a - r) - G.GetVal(1, 0)), 1e-13);
  const double s2 = std::norm(d) / (a - r);
  double v = 0.0;
  ASSERT_EQ(0, k.GetProcVarnc(v, 0));
  EXPECT_NEAR(s2, v, 1e-13 * s2);
  ASSERT_EQ(0, k.GetMLE(v));
  EXPECT_NEAR(std::sqrt(a * a - r * r) * s2, v, 1e-13 * s2);
}

/* On a larger model the fit must satisfy the defining identities of universal Kriging:
 * R*gamma + F*beta = Y and F^T*gamma = 0, with R and F built independently here. */
TEST(KrigingFit, GeneralisedLeastSquaresIdentities) {
  const int m = 14;
  for (int type : {1, 2, 3, 7}) {
    C_MatMGe<double> X = RandomMat(m, 2, 31u, -1.0, 1.0);
    C_MatMGe<double> Y(m, 2);
    for (int i = 0; i < m; ++i) {
      Y.SetVal(i, 0, std::sin(2.0 * X.GetVal(i, 0)) + X.GetVal(i, 1));
      Y.SetVal(i, 1, X.GetVal(i, 0) * X.GetVal(i, 1) - 0.5);
    }
    KrigingProbe<double> k;
    Give(k, X, Y, PolyLinear);
    ASSERT_EQ(0, k.PutCorrFuncType(static_cast<E_CorrFuncType>(type)));
    GiveKern(k, 0.8);
    ASSERT_EQ(0, k.Solve()) << type;
    ASSERT_EQ(PolyLinear, k.GetPolynomType());

    const auto R = RefCorrMatrix(X, type, {0.8});
    C_MatMGe<double> G, B;
    ASSERT_EQ(0, k.GetCorrCoeff(G));
    ASSERT_EQ(0, k.GetPolyCoeff(B));
    ASSERT_EQ(3, B.rows);
    /* Tolerances follow the backward error: n*eps times the magnitude of the summed terms. */
    const double eps = 1e-15;
    for (int out = 0; out < 2; ++out) {
      for (int i = 0; i < m; ++i) {
        double s = B.GetVal(0, out) + B.GetVal(1, out) * X.GetVal(i, 0) + B.GetVal(2, out) * X.GetVal(i, 1);
        double mag = std::fabs(B.GetVal(0, out)) + std::fabs(B.GetVal(1, out) * X.GetVal(i, 0)) +
                     std::fabs(B.GetVal(2, out) * X.GetVal(i, 1));
        for (int j = 0; j < m; ++j) {
          s += R[i][j] * G.GetVal(j, out);
          mag += std::fabs(R[i][j] * G.GetVal(j, out));
        }
        EXPECT_NEAR(Y.GetVal(i, out), s, 10.0 * m * eps * mag) << "type " << type << " row " << i;
      }
      double f[3] = {0.0, 0.0, 0.0}, mag[3] = {0.0, 0.0, 0.0};
      for (int i = 0; i < m; ++i) {
        const double g = G.GetVal(i, out), row[3] = {1.0, X.GetVal(i, 0), X.GetVal(i, 1)};
        for (int c = 0; c < 3; ++c) {
          f[c] += row[c] * g;
          mag[c] += std::fabs(row[c] * g);
        }
      }
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(0.0, f[c], 10.0 * m * eps * mag[c]) << type;
    }

    /* CorrMtx = C^-1 with C C^T = R: C^-1 R C^-T = I. */
    std::vector<std::vector<double>> Ci(m, std::vector<double>(m, 0.0));
    for (int j = 0; j < m; ++j)
      for (int i = j; i < m; ++i) Ci[i][j] = k.CorrMtx(i, j);
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < m; ++j) {
        double s = 0.0, mag = 0.0;
        for (int p = 0; p < m; ++p)
          for (int q = 0; q < m; ++q) {
            s += Ci[i][p] * R[p][q] * Ci[j][q];
            mag += std::fabs(Ci[i][p] * R[p][q] * Ci[j][q]);
          }
        EXPECT_NEAR(i == j ? 1.0 : 0.0, s, 10.0 * m * eps * mag);
      }

    /* G G^T = F~^T F~ with F~ = C^-1 F, held transposed in FtTMtx. */
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        double gg = 0.0, ff = 0.0, mag = 0.0;
        for (int p = 0; p <= std::min(i, j); ++p) gg += k.TrendFactor(i, p) * k.TrendFactor(j, p);
        for (int p = 0; p < m; ++p) {
          ff += k.FtTMtx.GetVal(i, p) * k.FtTMtx.GetVal(j, p);
          mag += std::fabs(k.FtTMtx.GetVal(i, p) * k.FtTMtx.GetVal(j, p));
        }
        EXPECT_NEAR(ff, gg, 10.0 * m * eps * mag);
      }
  }
}

TEST(KrigingFit, WithoutTrendGammaSolvesTheCorrelationSystem) {
  const int m = 9;
  C_MatMGe<double> X = RandomMat(m, 3, 41u);
  C_MatMGe<double> Y = RandomMat(m, 1, 42u, -2.0, 2.0);
  KrigingProbe<double> k;
  ASSERT_NO_FATAL_FAILURE(GiveAndSolve(k, X, Y, PolyNone, 2.0));
  const auto R = RefCorrMatrix(X, 2, {2.0});
  C_MatMGe<double> G;
  ASSERT_EQ(0, k.GetCorrCoeff(G));
  double yRy = 0.0;
  for (int i = 0; i < m; ++i) {
    double s = 0.0;
    for (int j = 0; j < m; ++j) s += R[i][j] * G.GetVal(j, 0);
    EXPECT_NEAR(Y.GetVal(i, 0), s, 1e-10);
    yRy += Y.GetVal(i, 0) * G.GetVal(i, 0);
  }
  double v = 0.0;
  ASSERT_EQ(0, k.GetProcVarnc(v, 0));
  EXPECT_NEAR(yRy / m, v, 1e-10 * v);
}

TEST(KrigingFit, KernelEstimateFromInputVariances) {
  /* Column variances 1 and 3. */
  const double r3 = std::sqrt(3.0);
  C_MatMGe<double> X = MakeMat<double>(3, 2, {0.0, 0.0, 1.0, r3, 2.0, 2.0 * r3});
  C_MatMGe<double> Y = MakeMat<double>(3, 1, {1.0, 0.0, 2.0});

  KrigingProbe<double> shared;
  Give(shared, X, Y, PolyConstant);
  ASSERT_EQ(0, shared.Solve());
  ASSERT_EQ(1, shared.KernVec.Dim());
  EXPECT_NEAR(0.5, shared.KernVec[0], 1e-15);  // n / (1 + 3)
  EXPECT_FALSE(shared.KernToEstimate);
  EXPECT_TRUE(shared.CorrStale);

  KrigingProbe<double> per;
  ASSERT_EQ(0, per.PutKrigingKernVarType(KernPerInput));
  Give(per, X, Y, PolyConstant);
  ASSERT_EQ(0, per.Solve());
  ASSERT_EQ(2, per.KernVec.Dim());
  EXPECT_NEAR(1.0, per.KernVec[0], 1e-15);
  EXPECT_NEAR(1.0 / 3.0, per.KernVec[1], 1e-15);

  /* The estimate is kept by later solves, until PutNumVar asks for a new one. */
  per.KernVec[0] = 4.0;
  ASSERT_EQ(0, per.ReSolve());
  EXPECT_EQ(4.0, per.KernVec[0]);

  /* An unknown parameterisation cannot be estimated. */
  KrigingProbe<double> odd;
  ASSERT_EQ(0, odd.PutKrigingKernVarType(static_cast<E_KrigingKernVarType>(5)));
  Give(odd, X, Y, PolyConstant);
  EXPECT_EQ(1, odd.Solve());
  EXPECT_EQ(KrigingSolveRequired, odd.GetKrigingStatus());
}

TEST(KrigingFit, ConstantInputColumnGivesFiniteScaleAndKernel) {
  C_MatMGe<double> X = RandomMat(8, 2, 51u);
  for (int i = 0; i < 8; ++i) X.SetVal(i, 1, 3.0);
  C_MatMGe<double> Y = RandomMat(8, 1, 52u);
  for (int kvt : {0, 1}) {
    KrigingProbe<double> k;
    ASSERT_EQ(0, k.PutKrigingKernVarType(static_cast<E_KrigingKernVarType>(kvt)));
    ASSERT_EQ(0, k.PutScalingType(ScaleInputsOutputs));
    Give(k, X, Y, PolyQuadratic);
    ASSERT_EQ(0, k.Solve()) << kvt;
    EXPECT_EQ(1.0, k.InpScaleVec[1]);
    EXPECT_EQ(-3.0, k.InpInterceptVec[1]);
    for (int j = 0; j < k.KernVec.Dim(); ++j) EXPECT_TRUE(std::isfinite(k.KernVec[j]));
    if (kvt == 1) {
      EXPECT_NEAR(1.0, k.KernVec[0], 1e-14);  // a standardised column has variance 1
      EXPECT_EQ(1.0, k.KernVec[1]);           // the constant column: kernel value 1
    } else {
      EXPECT_NEAR(2.0, k.KernVec[0], 1e-14);  // n / (1 + 0)
    }
    double mle = 0.0;
    ASSERT_EQ(0, k.GetMLE(mle));
    EXPECT_TRUE(std::isfinite(mle));
    int rows = 0;
    k.GetNumPolyCoeff(rows);
    EXPECT_EQ(1, rows);  // the zero column leaves only the constant trend
  }

  /* Every column constant: the shared estimate n / 0 becomes 1. */
  C_MatMGe<double> Xc = MakeMat<double>(3, 2, {1.0, 2.0, 1.0, 2.0, 1.0, 2.0});
  C_MatMGe<double> Yc = MakeMat<double>(3, 1, {1.0, 2.0, 4.0});
  KrigingProbe<double> flat;
  Give(flat, Xc, Yc, PolyConstant);
  ASSERT_EQ(0, flat.Solve());
  EXPECT_EQ(1.0, flat.KernVec[0]);
}

TEST(KrigingFit, SingleSampleNeverDividesByZero) {
  for (int scaling : {0, 3}) {
    KrigingProbe<double> k;
    C_MatMGe<double> X = MakeMat<double>(1, 1, {2.5});
    C_MatMGe<double> Y = MakeMat<double>(1, 1, {-4.0});
    ASSERT_EQ(0, k.PutScalingType(static_cast<E_KrigingScalingType>(scaling)));
    Give(k, X, Y, PolyQuadratic);
    ASSERT_EQ(0, k.Solve()) << scaling;
    EXPECT_EQ(1.0, k.KernVec[0]);
    double v = -1.0;
    ASSERT_EQ(0, k.GetMLE(v));
    EXPECT_TRUE(std::isfinite(v));
    ASSERT_EQ(0, k.GetProcVarnc(v, 0));
    EXPECT_TRUE(std::isfinite(v));
    C_MatMGe<double> B;
    ASSERT_EQ(0, k.GetPolyCoeff(B));
    ASSERT_EQ(1, B.rows);  // one sample supports the constant trend only
    EXPECT_TRUE(std::isfinite(B.GetVal(0, 0)));
  }
}

TEST(KrigingFit, OutputScalingKeepsVariancesInTheCallersUnits) {
  C_MatMGe<double> X = RandomMat(10, 2, 61u);
  C_MatMGe<double> Y(10, 1);
  for (int i = 0; i < 10; ++i) Y.SetVal(i, 0, 40.0 * X.GetVal(i, 0) - 25.0 * X.GetVal(i, 1) * X.GetVal(i, 1));
  double maxAbs = 0.0;
  for (int i = 0; i < 10; ++i) maxAbs = std::max(maxAbs, std::fabs(Y.GetVal(i, 0)));
  const double s = 1.0 / maxAbs;

  KrigingProbe<double> plain, scaled;
  Give(plain, X, Y, PolyLinear);
  ASSERT_EQ(0, scaled.PutScalingType(ScaleOutputs));
  Give(scaled, X, Y, PolyLinear);
  GiveKern(plain, 1.5);
  GiveKern(scaled, 1.5);
  ASSERT_EQ(0, plain.Solve());
  ASSERT_EQ(0, scaled.Solve());
  EXPECT_DOUBLE_EQ(s, scaled.OutScaleVec[0]);

  double vp = 0.0, vs = 0.0, mp = 0.0, ms = 0.0;
  ASSERT_EQ(0, plain.GetProcVarnc(vp, 0));
  ASSERT_EQ(0, scaled.GetProcVarnc(vs, 0));
  EXPECT_NEAR(vp, vs, 1e-10 * vp);
  ASSERT_EQ(0, plain.GetMLE(mp));
  ASSERT_EQ(0, scaled.GetMLE(ms));
  EXPECT_NEAR(mp * s * s, ms, 1e-10 * ms);  // the objective stays in scaled units
  C_MatMGe<double> Gp, Gs;
  plain.GetCorrCoeff(Gp);
  scaled.GetCorrCoeff(Gs);
  for (int i = 0; i < 10; ++i) EXPECT_NEAR(Gp.GetVal(i, 0) * s, Gs.GetVal(i, 0), 1e-10);
}

TEST(KrigingFit, DeterminantTermInGroupsOfTwenty) {
  KrigingProbe<double> k;
  /* 22 diagonal entries of 1e-15: the plain product (1e-330) underflows; grouped it does not. */
  C_MatMSym<double> C(22, 1);
  for (int i = 0; i < 22; ++i) C(i, i) = 1e-15;
  EXPECT_NEAR(1e-30, k.DetTerm(C), 1e-42);

  /* m = 21: groups {0} and {1 .. 20}, no leftover. */
  C_MatMSym<double> C21(21, 1);
  C21(0, 0) = 2.0;
  for (int i = 1; i < 21; ++i) C21(i, i) = 3.0;
  const double expected = std::pow(2.0, 2.0 / 21.0) * std::pow(3.0, 40.0 / 21.0);
  EXPECT_NEAR(expected, k.DetTerm(C21), 1e-13 * expected);
  ASSERT_EQ(0, k.EvalDetTerm(C21));
  EXPECT_NEAR(expected, k.MLE, 1e-13 * expected);

  C_MatMSym<double> C1(1, 1);
  C1(0, 0) = 0.5;
  EXPECT_DOUBLE_EQ(0.25, k.DetTerm(C1));
}

TEST(KrigingFit, RegularisationOfTheCorrelationMatrix) {
  KrigingProbe<double> k;
  ASSERT_EQ(0, k.PutNumSamp(4));
  C_MatMSym<double> R(4, 1);
  for (int i = 0; i < 4; ++i) R(i, i) = 1.0;
  R(1, 0) = 5e-9;   // below the drop tolerance: dropped
  R(2, 0) = 1e-8;   // equal to it: kept
  R(3, 0) = -3e-9;  // small in magnitude: dropped
  R(2, 1) = 0.5;
  R(3, 1) = -0.25;
  R(3, 2) = 2e-8;
  ASSERT_EQ(0, k.RegularizeCorrMtx(R));
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(1.0 + 2.000014e-8, R(i, i), 1e-22);
  EXPECT_EQ(0.0, R(1, 0));
  EXPECT_EQ(1e-8, R(2, 0));
  EXPECT_EQ(0.0, R(3, 0));
  EXPECT_EQ(0.5, R(2, 1));
  EXPECT_EQ(-0.25, R(3, 1));
  EXPECT_EQ(2e-8, R(3, 2));
}

TEST(KrigingFit, FitLineReportsKernelAndObjective) {
  C_MatMGe<double> X = MakeMat<double>(2, 1, {0.0, 1.0});
  C_MatMGe<double> Y = MakeMat<double>(2, 1, {1.0, 3.0});
  const double a = Diag(2), r = std::exp(-1.0);
  char objective[64];
  std::snprintf(objective, sizeof objective, "%lf", std::sqrt(a * a - r * r) / (a - r));
  const std::string expected = std::string("   Kernel : 1.000000  -> ") + objective;

  {
    kvtest::MsgCapture cap;
    cap.SetLevel(Kvelo::MessageToolEnums::LEVEL_INTERNAL);
    cap.AddScope(502);
    Kriging<double> k;
    ASSERT_NO_FATAL_FAILURE(GiveAndSolve(k, X, Y, PolyConstant, 1.0));
    ASSERT_EQ(1, cap.Count(1));
    EXPECT_EQ(expected, cap.OfType(1)[0].text);
    /* A solved model is left alone: no second line. */
    ASSERT_EQ(0, k.Solve());
    EXPECT_EQ(1, cap.Count(1));
  }
  /* Scope 502 inactive, or a verbosity below 3: the line is not shown. */
  for (bool lowVerbosity : {false, true}) {
    kvtest::MsgCapture cap;
    cap.SetLevel(lowVerbosity ? Kvelo::MessageToolEnums::LEVEL_2
                              : Kvelo::MessageToolEnums::LEVEL_INTERNAL);
    if (lowVerbosity) cap.AddScope(502);
    Kriging<double> k;
    ASSERT_NO_FATAL_FAILURE(GiveAndSolve(k, X, Y, PolyConstant, 1.0));
    EXPECT_EQ(0, cap.Count(1)) << "verbosity below 3: " << lowVerbosity;
  }
  {
    /* Several kernel values, one blank after each. */
    kvtest::MsgCapture cap;
    cap.SetLevel(Kvelo::MessageToolEnums::LEVEL_INTERNAL);
    cap.OnlyScope(502);
    C_MatMGe<double> X2 = MakeMat<double>(3, 2, {0.0, 0.0, 1.0, 0.0, 0.0, 1.0});
    C_MatMGe<double> Y2 = MakeMat<double>(3, 1, {1.0, 2.0, 0.0});
    Kriging<double> k;
    ASSERT_EQ(0, k.PutKrigingKernVarType(KernPerInput));
    Give(k, X2, Y2, PolyConstant);
    RVec t(2);
    t[0] = 0.25;
    t[1] = 12.5;
    ASSERT_EQ(0, k.PutKernVec(t));
    ASSERT_EQ(0, k.Solve());
    ASSERT_EQ(1, cap.Count(1));
    EXPECT_EQ(0u, cap.OfType(1)[0].text.find("   Kernel : 0.250000 12.500000  -> "));
  }
}

TEST(KrigingFit, ReadinessAndSolveSchedule) {
  KrigingProbe<double> k;
  EXPECT_EQ(1, k.Solve());
  EXPECT_EQ(KrigingDataIncomplete, k.GetKrigingStatus());

  C_MatMGe<double> X = RandomMat(6, 2, 71u), Y = RandomMat(6, 1, 72u);
  Give(k, X, Y, PolyLinear);
  ASSERT_EQ(0, k.PutSolnType(static_cast<E_KrigingSolType>(1)));
  EXPECT_EQ(1, k.Solve());
  EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
  EXPECT_EQ(0, k.SolveCount);

  ASSERT_EQ(0, k.PutSolnType(SolDefault));
  ASSERT_EQ(0, k.Solve());
  EXPECT_EQ(1, k.SolveCount);
  EXPECT_TRUE(k.RescaleRequested);
  C_MatMGe<double> G1, G2;
  k.GetCorrCoeff(G1);

  /* A solved model is not refitted; any demoting setter makes the next Solve refit. */
  ASSERT_EQ(0, k.Solve());
  EXPECT_EQ(1, k.SolveCount);
  ASSERT_EQ(0, k.PutCorrFuncType(CorrExponential));
  ASSERT_EQ(0, k.Solve());
  EXPECT_EQ(2, k.SolveCount);
  k.GetCorrCoeff(G2);
  EXPECT_NE(G1.GetVal(0, 0), G2.GetVal(0, 0));

  /* An unknown correlation function fails the build; the state stays 1. */
  ASSERT_EQ(0, k.PutCorrFuncType(static_cast<E_CorrFuncType>(5)));
  EXPECT_EQ(1, k.Solve());
  EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
  EXPECT_EQ(2, k.SolveCount);
  ASSERT_EQ(0, k.PutScalingType(static_cast<E_KrigingScalingType>(7)));
  ASSERT_EQ(0, k.PutCorrFuncType(CorrGaussian));
  EXPECT_EQ(1, k.Solve());
}

TEST(KrigingFit, SolvesBetweenKernelSearchesReuseTheInputScales) {
  C_MatMGe<double> X = RandomMat(7, 2, 75u), Y = RandomMat(7, 1, 76u);
  KrigingProbe<double> k;
  ASSERT_EQ(0, k.PutScalingType(ScaleInputs));
  Give(k, X, Y, PolyLinear);
  ASSERT_EQ(0, k.Solve());
  const double s0 = k.InpScaleVec[0], c0 = k.InpInterceptVec[0];

  /* New inputs of the same shape, kernel optimisation every third solve, and a solve count
   * that is not a multiple of it: the build keeps the kernel and the stored input scales. */
  C_MatMGe<double> X2 = RandomMat(7, 2, 77u, 5.0, 9.0);
  ASSERT_EQ(0, k.PutInpSampMtx(X2));
  ASSERT_EQ(0, k.PutKrigingKernOptType(KernOptLikelihood));
  ASSERT_EQ(0, k.SetStep(3));
  const double theta = k.KernVec[0];
  ASSERT_EQ(1, k.SolveCount);
  ASSERT_EQ(0, k.Solve());
  EXPECT_FALSE(k.RescaleRequested);
  EXPECT_EQ(2, k.SolveCount);
  EXPECT_EQ(s0, k.InpScaleVec[0]);
  EXPECT_EQ(c0, k.InpInterceptVec[0]);
  EXPECT_EQ(theta, k.KernVec[0]);

  /* Without kernel optimisation every solve rescales. */
  ASSERT_EQ(0, k.PutKrigingKernOptType(KernOptNone));
  ASSERT_EQ(0, k.Solve());
  EXPECT_TRUE(k.RescaleRequested);
  EXPECT_NE(c0, k.InpInterceptVec[0]);
}

TEST(KrigingFit, FailedFactorisationStoresNothing) {
  C_MatMGe<double> X = MakeMat<double>(2, 1, {0.0, 1.0});
  C_MatMGe<double> Y = MakeMat<double>(2, 1, {1.0, 3.0});
  KrigingProbe<double> k;
  ASSERT_NO_FATAL_FAILURE(GiveAndSolve(k, X, Y, PolyConstant, 1.0));
  C_MatMGe<double> G1;
  k.GetCorrCoeff(G1);
  const double mle = k.MLE, c0 = k.CorrMtx.Adr()[0];

  /* A negative kernel makes the off-diagonal correlation e > 1: not positive definite. No
   * fit makes one and PutKernVec refuses it, so it is written in directly. */
  RVec negative(1, -1.0);
  EXPECT_EQ(1, k.PutKernVec(negative));
  k.KernVec[0] = -1.0;
  k.KrigingStatus = KrigingSolveRequired;
  kvtest::KrigingLines lines;
  EXPECT_EQ(1, k.Solve());
  EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
  EXPECT_TRUE(lines.Fits().empty());  // no fit line for a failed fit, but its reason
  EXPECT_EQ(std::vector<std::string>({"Kriging: the correlation matrix is not positive definite"}),
            lines.Refusals());
  double v = 0.0;
  EXPECT_EQ(1, k.GetMLE(v));
  EXPECT_EQ(mle, k.MLE);
  EXPECT_EQ(c0, k.CorrMtx.Adr()[0]);
  C_MatMGe<double> G2;
  k.GetCorrCoeff(G2);
  EXPECT_EQ(G1.GetVal(0, 0), G2.GetVal(0, 0));
  EXPECT_EQ(G1.GetVal(1, 0), G2.GetVal(1, 0));

  /* A good kernel again fits. */
  GiveKern(k, 1.0);
  EXPECT_EQ(0, k.Solve());
}

TEST(KrigingFit, RankDeficientLeastSquaresStoresNothing) {
  KrigingProbe<double> k;
  C_MatMGe<double> X = RandomMat(3, 1, 81u), Y = MakeMat<double>(3, 1, {1.0, 2.0, 4.0});
  Give(k, X, Y, PolyConstant);
  C_MatMSym<double> R(3, 1);
  for (int i = 0; i < 3; ++i) R(i, i) = 1.0;
  C_MatMGe<double> F = MakeMat<double>(3, 2, {1.0, 0.0, 1.0, 0.0, 1.0, 0.0});
  EXPECT_EQ(1, k.FitModel(R, F, Y));
  EXPECT_EQ(0, k.CorrCoeff.rows);
  EXPECT_EQ(0, k.CorrMtx.rows);
  EXPECT_FALSE(k.FtReady);
  EXPECT_TRUE(k.SolveRequired);

  /* Shapes that do not belong to the model are refused. */
  C_MatMSym<double> R2(2, 1);
  EXPECT_EQ(1, k.FitModel(R2, F, Y));
  C_MatMGe<double> Y2 = RandomMat(3, 2, 82u);
  EXPECT_EQ(1, k.FitModel(R, F, Y2));
}

/* Outputs that are not finite are refused when given; written into the model all the same
 * (by a derived model), they are refused by the fit, never fitted to a NaN objective. */
TEST(KrigingFit, NonFiniteOutputsNeverGiveANaNObjective) {
  C_MatMGe<double> X = RandomMat(5, 1, 91u);
  C_MatMGe<double> Y = MakeMat<double>(5, 1, {1.0, 1.5, 2.0, 0.0, 1.0});
  for (double bad : {std::nan(""), std::numeric_limits<double>::infinity()}) {
    KrigingProbe<double> k;
    Give(k, X, Y, PolyConstant);
    C_MatMGe<double> Yb = Y;
    Yb.SetVal(1, 0, bad);
    EXPECT_EQ(1, k.PutOutSampMtx(Yb));
    k.OutSampMtx.SetVal(1, 0, bad);
    EXPECT_EQ(1, k.Solve());
    EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
    EXPECT_FALSE(std::isnan(k.MLE));
  }
}

/* Complex data with zero imaginary parts must reproduce the real model. */
TEST(KrigingFit, ComplexInstanceAgreesWithRealOnRealData) {
  const int m = 16;
  C_MatMGe<double> X = RandomMat(m, 2, 101u, -2.0, 3.0);
  C_MatMGe<double> Y(m, 2);
  for (int i = 0; i < m; ++i) {
    const double a = X.GetVal(i, 0), b = X.GetVal(i, 1);
    Y.SetVal(i, 0, std::cos(a) * b + 0.1 * a * a);
    Y.SetVal(i, 1, 100.0 + a - 2.0 * b + std::sin(3.0 * b));
  }
  C_MatMGe<cplx> Xc = ToComplex(X), Yc = ToComplex(Y);
  for (int type : {1, 2, 3, 7})
    for (int scaling : {0, 3})
      for (int kvt : {0, 1}) {
        KrigingProbe<double> kr;
        KrigingProbe<cplx> kc;
        for (int pass = 0; pass < 2; ++pass) {
          if (pass == 0) {
            ASSERT_EQ(0, kr.PutCorrFuncType(static_cast<E_CorrFuncType>(type)));
            ASSERT_EQ(0, kr.PutScalingType(static_cast<E_KrigingScalingType>(scaling)));
            ASSERT_EQ(0, kr.PutKrigingKernVarType(static_cast<E_KrigingKernVarType>(kvt)));
            Give(kr, X, Y, PolyQuadratic);
          } else {
            ASSERT_EQ(0, kc.PutCorrFuncType(static_cast<E_CorrFuncType>(type)));
            ASSERT_EQ(0, kc.PutScalingType(static_cast<E_KrigingScalingType>(scaling)));
            ASSERT_EQ(0, kc.PutKrigingKernVarType(static_cast<E_KrigingKernVarType>(kvt)));
            Give(kc, Xc, Yc, PolyQuadratic);
          }
        }
        const std::string tag = "type " + std::to_string(type) + " scaling " +
                                std::to_string(scaling) + " kvt " + std::to_string(kvt);
        ASSERT_EQ(0, kr.Solve()) << tag;
        ASSERT_EQ(0, kc.Solve()) << tag;
        EXPECT_EQ(kr.GetPolynomType(), kc.GetPolynomType()) << tag;
        ASSERT_EQ(kr.KernVec.Dim(), kc.KernVec.Dim());
        for (int j = 0; j < kr.KernVec.Dim(); ++j)
          EXPECT_NEAR(kr.KernVec[j], kc.KernVec[j], 1e-13 * kr.KernVec[j]) << tag;
        EXPECT_NEAR(kr.MLE, kc.MLE, 1e-9 * std::fabs(kr.MLE)) << tag;
        for (int o = 0; o < 2; ++o) {
          double vr = 0.0, vc = 0.0;
          ASSERT_EQ(0, kr.GetProcVarnc(vr, o));
          ASSERT_EQ(0, kc.GetProcVarnc(vc, o));
          EXPECT_NEAR(vr, vc, 1e-9 * std::fabs(vr)) << tag;
        }
        C_MatMGe<double> Gr, Br;
        C_MatMGe<cplx> Gc, Bc;
        kr.GetCorrCoeff(Gr);
        kc.GetCorrCoeff(Gc);
        kr.GetPolyCoeff(Br);
        kc.GetPolyCoeff(Bc);
        ASSERT_EQ(Gr.rows, Gc.rows);
        ASSERT_EQ(Br.rows, Bc.rows);
        double gmax = 0.0, bmax = 0.0;
        for (int o = 0; o < 2; ++o) {
          for (int i = 0; i < Gr.rows; ++i) gmax = std::max(gmax, std::fabs(Gr.GetVal(i, o)));
          for (int i = 0; i < Br.rows; ++i) bmax = std::max(bmax, std::fabs(Br.GetVal(i, o)));
        }
        for (int o = 0; o < 2; ++o) {
          for (int i = 0; i < Gr.rows; ++i) {
            EXPECT_NEAR(Gr.GetVal(i, o), Gc.GetVal(i, o).real(), 1e-9 * gmax) << tag;
            EXPECT_NEAR(0.0, Gc.GetVal(i, o).imag(), 1e-12 * gmax) << tag;
          }
          for (int i = 0; i < Br.rows; ++i)
            EXPECT_NEAR(Br.GetVal(i, o), Bc.GetVal(i, o).real(), 1e-9 * bmax) << tag;
        }
        if (scaling == 3) {
          for (int j = 0; j < 2; ++j) {
            EXPECT_DOUBLE_EQ(kr.InpScaleVec[j], kc.InpScaleVec[j]) << tag;
            EXPECT_NEAR(kr.InpInterceptVec[j], kc.InpInterceptVec[j].real(), 1e-14) << tag;
            EXPECT_DOUBLE_EQ(kr.OutScaleVec[j], kc.OutScaleVec[j]) << tag;
          }
        }
      }
}

/* ---- outputs of very small magnitude ------------------------------------------------------
 * For outputs c Y the fit is that of Y with beta and gamma times c, the process variances and
 * the objective times c^2 (D = det(R)^(1/m) does not depend on the outputs) and the predictor
 * errors times c; the kernel search compares objectives that all carry c^2, so it takes the
 * same steps. With c a power of two every step scales exactly, as long as c^2 times the
 * variances stays a normal double. */

/* Twelve samples of two inputs, one output that varies. */
void TinyProblem(C_MatMGe<double>& X, C_MatMGe<double>& Y, double c) {
  X = RandomMat(12, 2, 111u);
  Y = C_MatMGe<double>(12, 1);
  for (int i = 0; i < 12; ++i)
    Y.SetVal(i, 0, c * (std::sin(4.0 * X.GetVal(i, 0)) + X.GetVal(i, 1) * X.GetVal(i, 1)));
}

TEST(KrigingFit, OutputsScaledByAPowerOfTwoScaleTheFit) {
  const double c = std::ldexp(1.0, -400); /* about 3.9e-121 */
  for (int scaling : {0, 1})
    for (bool search : {false, true}) {
      C_MatMGe<double> X, Y, Xc, Yc;
      TinyProblem(X, Y, 1.0);
      TinyProblem(Xc, Yc, c);
      KrigingProbe<double> a, b;
      for (KrigingProbe<double>* k : {&a, &b}) {
        ASSERT_EQ(0, k->PutKrigingKernVarType(KernPerInput));
        ASSERT_EQ(0, k->PutScalingType(static_cast<E_KrigingScalingType>(scaling)));
        ASSERT_EQ(0, k->PutKrigingKernOptType(search ? KernOptLikelihood : KernOptNone));
        Give(*k, k == &a ? X : Xc, k == &a ? Y : Yc, PolyConstant);
        ASSERT_EQ(0, k->Solve()) << scaling << search;
      }
      const std::string tag = "scaling " + std::to_string(scaling) + (search ? " search" : "");
      ASSERT_EQ(2, b.KernVec.Dim());
      for (int j = 0; j < 2; ++j) EXPECT_EQ(a.KernVec[j], b.KernVec[j]) << tag;
      EXPECT_NEAR(c * c * a.MLE, b.MLE, 1e-13 * c * c * a.MLE) << tag;
      EXPECT_GT(b.MLE, 0.0);
      EXPECT_NEAR(c * c * a.ProcVarnc[0], b.ProcVarnc[0], 1e-13 * c * c * a.ProcVarnc[0]) << tag;
      C_MatMGe<double> P = RandomMat(5, 2, 112u), Ya, Yb;
      a.KeepPredErr = b.KeepPredErr = true;
      ASSERT_EQ(0, a.EvalModel(P, Ya));
      ASSERT_EQ(0, b.EvalModel(P, Yb));
      for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(c * Ya.GetVal(i, 0), Yb.GetVal(i, 0), 1e-12 * c * std::fabs(Ya.GetVal(i, 0))) << tag;
        const double ea = a.PredErrMtx.GetVal(i, 0), eb = b.PredErrMtx.GetVal(i, 0);
        EXPECT_GT(ea, 0.0);
        EXPECT_NEAR(c * ea, eb, 1e-12 * c * ea) << tag;
      }
    }
}

/* Outputs of magnitude 1e-300 that vary: their variance (about 1e-600) is no double, and a fit
 * that stored 0 for it would pass for a perfect one, with zero errors everywhere and a search
 * that cannot move. Such a fit is refused, under any scaling, with or without a search.
 * Constant outputs keep their fit (zero residual, objective 0). */
TEST(KrigingFit, OutputsBelowTheDoubleRangeAreRefused) {
  for (int scaling : {0, 1, 2, 3})
    for (bool search : {false, true}) {
      C_MatMGe<double> X, Y;
      TinyProblem(X, Y, 1e-300);
      KrigingProbe<double> k;
      ASSERT_EQ(0, k.PutScalingType(static_cast<E_KrigingScalingType>(scaling)));
      ASSERT_EQ(0, k.PutKrigingKernOptType(search ? KernOptLikelihood : KernOptNone));
      Give(k, X, Y, PolyConstant);
      kvtest::KrigingLines lines;
      EXPECT_EQ(1, k.Solve()) << scaling << search;
      EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
      EXPECT_TRUE(lines.Fits().empty()); /* no fit line */
      /* Each failed build names the variance; a search that fits none says so at the end. */
      const std::string variance =
          "Kriging: the process variance of an output lies below the range of doubles";
      std::vector<std::string> why = lines.Refusals();
      if (search) {
        ASSERT_GT(why.size(), 2u);
        EXPECT_EQ("Kriging: no kernel of the search could be fitted", why.back());
        why.pop_back();
      }
      EXPECT_EQ(std::vector<std::string>(search ? why.size() : 1, variance), why);
      double v = 0.0;
      EXPECT_EQ(1, k.GetMLE(v));
      C_MatMGe<double> P = RandomMat(3, 2, 113u), Yp;
      EXPECT_EQ(1, k.EvalModel(P, Yp));
    }
  C_MatMGe<double> X = RandomMat(6, 2, 114u), Y(6, 1);
  for (int i = 0; i < 6; ++i) Y.SetVal(i, 0, 1e-300);
  KrigingProbe<double> k;
  Give(k, X, Y, PolyConstant);
  EXPECT_EQ(0, k.Solve());
  EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
}

}  // namespace

/* A fit that fails leaves the model as it was, but unsolved: outputs of 1e200 have an output
 * factor of 1 (above 1e30) and a process variance beyond the doubles. The failed attempt
 * has recomputed the scale vectors and estimated a kernel; all of that is put back, with the
 * coefficients and the trend type, and the mended model fits again. */
TEST(KrigingFit, FailedFitLeavesTheModelAsItWas) {
  C_MatMGe<double> X = RandomMat(10, 2, 141u, -1.0, 2.0), Y = RandomMat(10, 1, 142u, 3.0, 5.0);
  KrigingProbe<double> k;
  ASSERT_EQ(0, k.PutScalingType(ScaleInputsOutputs));
  Give(k, X, Y, PolyQuadratic);
  ASSERT_EQ(0, k.Solve());
  RVec scale0(0), kern0(0);
  k.GetOutScaleVec(scale0);
  k.GetKernVec(kern0);
  C_MatMGe<double> G0, B0;
  ASSERT_EQ(0, k.GetCorrCoeff(G0));
  ASSERT_EQ(0, k.GetPolyCoeff(B0));
  const int poly0 = k.GetPolynomType(), count0 = k.SolveCount;
  ASSERT_NE(1.0, scale0[0]);

  C_MatMGe<double> Big = Y;
  for (int i = 0; i < Big.rows; ++i) Big.SetVal(i, 0, 1e200 * Y.GetVal(i, 0));
  ASSERT_EQ(0, k.PutOutSampMtx(Big));
  ASSERT_EQ(0, k.PutNumVar(3)); /* a new count asks for a new kernel estimate ... */
  ASSERT_EQ(0, k.PutNumVar(2)); /* ... kept through the return to two inputs */
  ASSERT_EQ(0, k.PutInpSampMtx(X));
  ASSERT_EQ(0, k.PutOutSampMtx(Big));
  ASSERT_TRUE(k.KernToEstimate);
  EXPECT_EQ(1, k.Solve());
  EXPECT_EQ(KrigingSolveRequired, k.GetKrigingStatus());
  RVec scale1(0), kern1(0);
  k.GetOutScaleVec(scale1);
  k.GetKernVec(kern1);
  EXPECT_TRUE(SameVec(scale0, scale1));
  EXPECT_TRUE(SameVec(kern0, kern1));
  EXPECT_TRUE(k.KernToEstimate);
  C_MatMGe<double> G1, B1;
  ASSERT_EQ(0, k.GetCorrCoeff(G1));
  ASSERT_EQ(0, k.GetPolyCoeff(B1));
  EXPECT_TRUE(SameMat(G0, G1));
  EXPECT_TRUE(SameMat(B0, B1));
  EXPECT_EQ(poly0, k.GetPolynomType());
  EXPECT_EQ(count0, k.SolveCount);

  ASSERT_EQ(0, k.PutOutSampMtx(Y));
  EXPECT_EQ(0, k.Solve());
}
