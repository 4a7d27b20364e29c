// Tests of the power iteration and the matrix 2-norm: closed-form singular values of real,
// complex, general and symmetric matrices from the smallest to the largest doubles, the stop
// criteria, values that are not finite, the result line and the reproducible start vector.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "C_AlgoPower.h"
#include "C_MatMGe.h"
#include "C_MatMSym.h"
#include "mat_support.h"
#include "msgcapture.h"

using namespace Kvelo::MessageToolEnums;

namespace {

// Listens to the result lines: information, verbosity 3, debug scope 306.
struct ResultLines {
  kvtest::MsgCapture cap;
  ResultLines() {
    cap.SetLevel(LEVEL_INTERNAL);
    cap.AddScope(306);
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (const auto& m : cap.OfType(1))
      if (m.text.find("\tIter [") != std::string::npos) out.push_back(m.text);
    return out;
  }
};

// Step index shown by a result line "[name]\tIter [%3d] : ...".
int StepOf(const std::string& line) {
  std::size_t p = line.find("Iter [");
  return std::atoi(line.c_str() + p + 6);
}

}  // namespace

TEST(AlgoPower, AlgorithmObject) {
  C_AlgoPower<double> a("P", 0.01);
  EXPECT_EQ(static_cast<int>(a.GetDebugScope()), 306);
  EXPECT_STREQ(a.Type(), "C_Algorithm");
  EXPECT_EQ(a.GetName(), "P");
  EXPECT_TRUE(a.isOption_b("A*A"));
  EXPECT_FALSE(a.getOption_b("A*A"));
  EXPECT_EQ(a.getOption_i("StopCriteria"), 0);
  EXPECT_EQ(a.Tolerance(), 0.01);
}

TEST(AlgoPower, TwoNormsAgainstClosedForms) {
  // diag(3, 1), general: 3.
  C_MatMGe<double> d(2, 2);
  d.SetVal(0, 0, 3), d.SetVal(1, 1, 1);
  EXPECT_NEAR(MatNrm2(d, 0.001), 3.0, 3e-3);
  // [[3, 0], [4, 5]]: sqrt(45).
  C_MatMGe<double> t(2, 2);
  t.SetVal(0, 0, 3), t.SetVal(1, 0, 4), t.SetVal(1, 1, 5);
  EXPECT_NEAR(MatNrm2(t, 0.001), std::sqrt(45.0), 1e-3 * std::sqrt(45.0));
  // A non-square 3 x 2 matrix [[1, 0], [0, 2], [0, 0]]: 2.
  C_MatMGe<double> r(3, 2);
  r.SetVal(0, 0, 1), r.SetVal(1, 1, 2);
  EXPECT_NEAR(r.Nrm(NRM_TWO), 2.0, 2e-3);
  // A single row (1, 2, 2): its length 3.
  C_MatMGe<double> row(1, 3);
  row.SetVal(0, 0, 1), row.SetVal(0, 1, 2), row.SetVal(0, 2, 2);
  EXPECT_NEAR(row.Nrm(NRM_TWO), 3.0, 3e-3);
  // Complex general [[1, i], [0, 1]]: A^H A has eigenvalues (3 +- sqrt 5)/2, norm the golden ratio.
  C_MatMGe<zc> z(2, 2);
  z.SetVal(0, 0, 1.0), z.SetVal(0, 1, zc(0, 1)), z.SetVal(1, 1, 1.0);
  const double phi = (1 + std::sqrt(5.0)) / 2;
  EXPECT_NEAR(z.Nrm(NRM_TWO), phi, 1e-3 * phi);
  // Symmetric diag(-3, 1) and [[0, 3], [3, 0]]: 3, the modulus of the dominant eigenvalue.
  C_MatMSym<double> s(2, 1);
  s.SetVal(0, 0, -3), s.SetVal(1, 1, 1);
  EXPECT_NEAR(MatNrm2(s, 0.001), 3.0, 3e-3);
  C_MatMSym<double> o(2, 0);
  o.SetVal(1, 0, 3);
  EXPECT_NEAR(MatNrm2(o, 0.001), 3.0, 3e-3);
  // Complex symmetric [[2, i], [i, 0]]: its eigenvalues are both 1, but A^H A has 3 +- 2 sqrt 2,
  // so the norm is 1 + sqrt 2.
  C_MatMSym<zc> cs(2, 1);
  cs.SetVal(0, 0, 2.0), cs.SetVal(1, 0, zc(0, 1));
  EXPECT_NEAR(cs.Nrm(NRM_TWO), 1 + std::sqrt(2.0), 1e-3 * (1 + std::sqrt(2.0)));
  // The nilpotent [[0, 1], [0, 0]]: 1.
  C_MatMGe<double> nil(2, 2);
  nil.SetVal(0, 1, 1.0);
  EXPECT_NEAR(nil.Nrm(NRM_TWO), 1.0, 1e-3);
}

TEST(AlgoPower, ZeroMatrixGivesZeroWithoutResultLine) {
  ResultLines lines;
  C_MatMGe<double> zero(3, 3);
  EXPECT_EQ(MatNrm2(zero, 0.001), 0.0);
  C_MatMGe<double> nocols(3, 0);
  EXPECT_EQ(nocols.Nrm(NRM_TWO), 0.0);
  EXPECT_TRUE(lines.Lines().empty());
}

TEST(AlgoPower, RunsAreReproducibleAndSendOneResultLine) {
  ResultLines lines;
  C_MatMGe<double> a(3, 3);
  const double v[3][3] = {{2, -1, 0}, {-1, 2, -1}, {0, -1, 2}};
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) a.SetVal(i, j, v[i][j]);
  const double first = MatNrm2(a, 0.001);
  const double second = MatNrm2(a, 0.001);
  EXPECT_EQ(first, second);
  EXPECT_NEAR(first, 2 + std::sqrt(2.0), 1e-3 * (2 + std::sqrt(2.0)));  // largest eigenvalue
  auto got = lines.Lines();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], got[1]);
  // "[MatNrm2]\tIter [%3d] : Teta = %g " with Teta the dominant eigenvalue of A^T A.
  const std::string& line = got[0];
  const std::string head = "[MatNrm2]\tIter [";
  ASSERT_EQ(line.rfind(head, 0), 0u) << line;
  EXPECT_EQ(line.substr(head.size() + 3, 11), "] : Teta = ") << line;
  EXPECT_EQ(line.back(), ' ');
  const double shown = std::atof(line.c_str() + head.size() + 14);
  EXPECT_NEAR(shown, first * first, 1e-5 * first * first) << line;
}

TEST(AlgoPower, StopCriteriaAndStepLimit) {
  ResultLines lines;
  // Singular values 1 and 0.99: far from converged after a few steps.
  C_MatMGe<double> a(3, 3);
  a.SetVal(0, 0, 1.0), a.SetVal(1, 1, 0.99), a.SetVal(2, 2, 0.5);
  DVec x(0), y(0);

  C_AlgoPower<double> p("P", 0.0);  // tolerance 0: only the step limit stops criteria 0 and 2
  p.setOption("A*A", true);
  p.setOption("StopCriteria", 2);
  p.Iterate(a, x, y, -1);  // the limit is the column count: steps 0 .. 3
  p.setOption("StopCriteria", 0);
  p.Iterate(a, x, y, 5);
  p.setOption("StopCriteria", 7);  // any other value: one step
  p.Iterate(a, x, y, 5);
  auto got = lines.Lines();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].rfind("[P]\tIter [  3] : Teta = ", 0), 0u) << got[0];
  EXPECT_EQ(StepOf(got[1]), 5);
  EXPECT_EQ(StepOf(got[2]), 0);

  // Criteria 1 has no step limit: it runs until the relative change reaches the tolerance.
  C_AlgoPower<double> q("Q", 1e-6);
  q.setOption("A*A", true);
  q.setOption("StopCriteria", 1);
  double teta = q.Iterate(a, x, y, 0);
  EXPECT_GT(StepOf(lines.Lines().back()), 5);
  EXPECT_NEAR(teta, 1.0, 1e-4);
  // x holds Teta times the last normalised iterate, y the last product.
  EXPECT_NEAR(x.Nrm(NRM_TWO), teta, 1e-12);
  EXPECT_EQ(y.Dim(), 3);
}

TEST(AlgoPower, IterationOnAItselfAndBreakdown) {
  ResultLines lines;
  // Without A*A the Rayleigh quotient of a symmetric matrix keeps the eigenvalue's sign.
  C_MatMSym<double> s(2, 1);
  s.SetVal(0, 0, -3), s.SetVal(1, 1, 1);
  C_AlgoPower<double> p("P", 1e-8);
  p.setOption("StopCriteria", 1);
  DVec x(0), y(0);
  EXPECT_NEAR(p.Iterate(s, x, y, -1), -3.0, 1e-6);
  // The nilpotent [[0, 1], [0, 0]] maps the second iterate to zero: the run is abandoned.
  C_MatMGe<double> nil(2, 2);
  nil.SetVal(0, 1, 1.0);
  EXPECT_EQ(ThrownCode([&] { p.Iterate(nil, x, y, -1); }), 2872);
}

// A tolerance that no run can meet: NaN under every criterion, and below 0 where no step
// limit ends the run ("StopCriteria" 1). Refused (code 3, a bad argument value) before x or y
// change; such a run used to go on for ever. A negative tolerance still means "to the step
// limit" where there is one.
TEST(AlgoPower, AToleranceNoRunCanMeetIsRefused) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  C_MatMSym<double> s(2, 1);
  s.SetVal(0, 0, 3), s.SetVal(1, 1, 1);
  C_MatMGe<zc> z(2, 2);
  z.SetVal(0, 0, 3.0), z.SetVal(1, 1, zc(0, 1));
  const struct {
    double tolerance;
    int criterion;
  } refused[] = {{nan, 1}, {-1e-3, 1}, {nan, 0}, {nan, 2}, {nan, 7}};
  for (const auto& c : refused) {
    for (bool aa : {false, true}) {
      C_AlgoPower<double> p("P", c.tolerance);
      p.setOption("A*A", aa);
      p.setOption("StopCriteria", c.criterion);
      DVec x(1), y(3);
      x[0] = 5;
      EXPECT_EQ(ThrownCode([&] { p.Iterate(s, x, y, -1); }), 3) << c.tolerance << " " << c.criterion;
      EXPECT_EQ(x.Dim(), 1);
      EXPECT_EQ(x[0], 5.0);
      EXPECT_EQ(y.Dim(), 3);
      C_AlgoPower<zc> q("Q", c.tolerance);
      q.setOption("A*A", aa);
      q.setOption("StopCriteria", c.criterion);
      ZVec zx(0), zy(0);
      EXPECT_EQ(ThrownCode([&] { q.Iterate(z, zx, zy, -1); }), 3) << c.tolerance << " " << c.criterion;
      EXPECT_EQ(zx.Dim(), 0);
    }
  }
  ResultLines lines;
  for (int crit : {0, 2}) {
    C_AlgoPower<double> p("P", -1.0);
    p.setOption("StopCriteria", crit);
    DVec x(0), y(0);
    EXPECT_NEAR(p.Iterate(s, x, y, 6), 3.0, 1e-3) << crit;
  }
  const auto got = lines.Lines();
  ASSERT_EQ(got.size(), 2u);
  for (const auto& line : got) EXPECT_EQ(StepOf(line), 6) << line;
}

// A = [[1, 1], [0, -1]] has eigenvalues 1 and -1 and A^2 = I: iterated with A itself, Teta
// alternates between two values for ever, so the relative change never falls below the
// tolerance. Criterion 1 has no step limit of the caller's, yet the run ends at its ceiling.
TEST(AlgoPower, ATetaThatNeverSettlesEndsAtTheCeilingOfCriterionOne) {
  ResultLines lines;
  C_MatMGe<double> a(2, 2);
  a.SetVal(0, 0, 1.0), a.SetVal(0, 1, 1.0), a.SetVal(1, 1, -1.0);
  C_AlgoPower<double> p("P", 1e-3);
  p.setOption("StopCriteria", 1);
  DVec x(0), y(0);
  const double teta = p.Iterate(a, x, y, -1);
  EXPECT_TRUE(std::isfinite(teta));
  ASSERT_EQ(lines.Lines().size(), 1u);
  EXPECT_EQ(StepOf(lines.Lines()[0]), 100000);
}

TEST(AlgoPower, StepLimitLetsSlowRunsConverge) {
  ResultLines lines;
  // diag(2, 1.9): the estimate gains about 19% a step, far more than n + 1 = 3 steps are needed.
  C_MatMGe<double> a(2, 2);
  a.SetVal(0, 0, 2.0), a.SetVal(1, 1, 1.9);
  EXPECT_NEAR(a.Nrm(NRM_TWO), 2.0, 5e-3 * 2.0);
  ASSERT_EQ(lines.Lines().size(), 1u);
  EXPECT_GT(StepOf(lines.Lines()[0]), 3);
}

namespace {

// A 2 x 2 symmetric pattern times a scale, built as each of the four matrices whose Nrm(2)
// runs the power iteration. The complex ones also carry the phase 0.6 + 0.8i, of modulus 1,
// which leaves every singular value as it is.
struct Scaled2x2 {
  double a00, a10, a11, scale;

  template <class M, class T>
  void Fill(M& m, T phase) const {
    const double v[2][2] = {{a00, a10}, {a10, a11}};
    for (int i = 0; i < 2; i++)
      for (int j = 0; j <= (m.IsSym() ? i : 1); j++) m.SetVal(i, j, phase * (v[i][j] * scale));
  }
};

const zc kPhase(0.6, 0.8);

// Nrm(2) of the pattern as a general and a symmetric matrix, real and complex.
std::vector<double> FourNorms(const Scaled2x2& p) {
  C_MatMGe<double> g(2, 2);
  C_MatMSym<double> s(2, 1);
  C_MatMGe<zc> zg(2, 2);
  C_MatMSym<zc> zs(2, 0);
  p.Fill(g, 1.0), p.Fill(s, 1.0), p.Fill(zg, kPhase), p.Fill(zs, kPhase);
  return {g.Nrm(NRM_TWO), s.Nrm(NRM_TWO), zg.Nrm(NRM_TWO), zs.Nrm(NRM_TWO)};
}

}  // namespace

TEST(AlgoPower, NormsOfHugeAndTinyMatricesKeepTheirScale) {
  // Each norm is the largest |eigenvalue| of the symmetric pattern times the scale, found by
  // hand; the estimate stops at a relative change of 0.001 of its square.
  struct Case {
    const char* name;
    Scaled2x2 p;
    double norm;
  } cases[] = {
      {"diag(1e100, 1)", {1e100, 0, 1, 1}, 1e100},
      {"diag(3, 1) x 1e-8", {3, 0, 1, 1e-8}, 3e-8},
      {"diag(3, 1) x 1e-200", {3, 0, 1, 1e-200}, 3e-200},
      {"diag(1e300, 1)", {1e300, 0, 1, 1}, 1e300},
      {"diag(1.7e308, 1)", {1.7e308, 0, 1, 1}, 1.7e308},
      {"diag(3, 1) x 1e-310 (subnormal)", {3, 0, 1, 1e-310}, 3e-310},
      {"[[2, 1], [1, 2]] x 1e250", {2, 1, 2, 1e250}, 3e250},
      {"[[2, 1], [1, 2]] x 1e-250", {2, 1, 2, 1e-250}, 3e-250},
      {"[[0, 3], [3, 0]] x 5e307", {0, 3, 0, 5e307}, 1.5e308},
      {"diag(-3, 1) x 1e-160", {-3, 0, 1, 1e-160}, 3e-160},
  };
  const char* kinds[] = {"general", "symmetric", "complex general", "complex symmetric"};
  for (const Case& c : cases) {
    const std::vector<double> got = FourNorms(c.p);
    for (int k = 0; k < 4; k++)
      EXPECT_NEAR(got[k] / c.norm, 1.0, 1e-3) << c.name << ", " << kinds[k] << ": " << got[k];
  }
  // A general matrix whose norm is near the top of the range while A^T A is far beyond it:
  // [[3, 0], [4, 5]] has the norm sqrt(45).
  for (double s : {2e307, 1e-300}) {
    C_MatMGe<double> t(2, 2);
    t.SetVal(0, 0, 3 * s), t.SetVal(1, 0, 4 * s), t.SetVal(1, 1, 5 * s);
    EXPECT_NEAR(t.Nrm(NRM_TWO) / (std::sqrt(45.0) * s), 1.0, 1e-3) << s;
  }
  // A norm beyond the double range is inf, not a wrapped or NaN value.
  C_MatMGe<double> over(2, 2);
  over.SetVal(0, 0, 1.5e308), over.SetVal(0, 1, 1.5e308), over.SetVal(1, 0, 1.5e308), over.SetVal(1, 1, 1.5e308);
  EXPECT_EQ(over.Nrm(NRM_TWO), std::numeric_limits<double>::infinity());
}

TEST(AlgoPower, EveryStopCriterionEndsOnHugeAndTinyMatrices) {
  ResultLines lines;
  // The Rayleigh quotient of A itself, symmetric diag(s, s / 3): Teta = s whatever s is,
  // under every criterion ("StopCriteria" 1 has no step limit).
  for (double s : {1e100, 1e300, 1e-8, 1e-200, 1e-310}) {
    C_MatMSym<double> a(2, 1);
    a.SetVal(0, 0, s), a.SetVal(1, 1, s / 3);
    C_MatMSym<zc> z(2, 1);
    z.SetVal(0, 0, s), z.SetVal(1, 1, s / 3);
    for (int crit : {0, 1, 2, 7}) {
      C_AlgoPower<double> p("P", 1e-6);
      p.setOption("StopCriteria", crit);
      DVec x(0), y(0);
      const double teta = p.Iterate(a, x, y, 100);
      C_AlgoPower<zc> q("Q", 1e-6);
      q.setOption("StopCriteria", crit);
      ZVec zx(0), zy(0);
      const zc zteta = q.Iterate(z, zx, zy, 100);
      if (crit == 7) continue;  // one step: no convergence to check
      EXPECT_NEAR(teta / s, 1.0, 1e-3) << s << " criterion " << crit;
      EXPECT_NEAR(std::abs(zteta) / s, 1.0, 1e-3) << s << " criterion " << crit;
      // x is Teta times a unit vector, in the matrix's own units.
      EXPECT_NEAR(x.Nrm(NRM_INF) / s, 1.0, 1e-3) << s;
    }
  }
  // With A*A, Teta is the square of the norm: 1e200 for diag(1e100, 1).
  C_MatMGe<double> g(2, 2);
  g.SetVal(0, 0, 1e100), g.SetVal(1, 1, 1.0);
  C_AlgoPower<double> p("P", 1e-6);
  p.setOption("A*A", true);
  p.setOption("StopCriteria", 1);
  DVec x(0), y(0);
  EXPECT_NEAR(p.Iterate(g, x, y, -1) / 1e200, 1.0, 1e-6);
  EXPECT_NEAR(y.Nrm(NRM_INF) / 1e200, 1.0, 1e-6);  // the last product A^T A x
}

TEST(AlgoPower, AValueThatIsNotFiniteGivesNaNAtTheFirstStep) {
  ResultLines lines;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {nan, inf, -inf}) {
    // diag(bad, 1, 1), and the bad value off the diagonal of a larger matrix.
    C_MatMGe<double> g(3, 3);
    g.SetVal(0, 0, bad), g.SetVal(1, 1, 1), g.SetVal(2, 2, 1);
    C_MatMSym<double> s(3, 1);
    s.SetVal(2, 0, bad), s.SetVal(1, 1, 1);
    C_MatMGe<zc> zg(3, 3);
    zg.SetVal(1, 2, zc(0, bad)), zg.SetVal(0, 0, 1);
    C_MatMSym<zc> zs(3, 0);
    zs.SetVal(0, 0, zc(bad, 1)), zs.SetVal(2, 2, 1);
    EXPECT_TRUE(std::isnan(g.Nrm(NRM_TWO))) << bad;
    EXPECT_TRUE(std::isnan(s.Nrm(NRM_TWO))) << bad;
    EXPECT_TRUE(std::isnan(zg.Nrm(NRM_TWO))) << bad;
    EXPECT_TRUE(std::isnan(zs.Nrm(NRM_TWO))) << bad;
    // Without a step limit the run ends as well, at its first step, with NaN in x.
    for (bool aa : {false, true}) {
      C_AlgoPower<double> p("P", 1e-6);
      p.setOption("A*A", aa);
      p.setOption("StopCriteria", 1);
      DVec x(0), y(0);
      EXPECT_TRUE(std::isnan(p.Iterate(g, x, y, -1)));
      ASSERT_EQ(x.Dim(), 3);
      for (int i = 0; i < 3; i++) EXPECT_TRUE(std::isnan(x[i]));
      C_AlgoPower<zc> q("Q", 1e-6);
      q.setOption("A*A", aa);
      q.setOption("StopCriteria", 1);
      ZVec zx(0), zy(0);
      EXPECT_TRUE(std::isnan(std::abs(q.Iterate(zs, zx, zy, -1))));
    }
  }
  const auto got = lines.Lines();
  ASSERT_EQ(got.size(), 3u * (4 + 4));
  for (const auto& line : got) {
    EXPECT_EQ(StepOf(line), 0) << line;
    const bool shownNaN = line.find("Teta = nan ") != std::string::npos || line.find("Teta = -nan ") != std::string::npos;
    EXPECT_TRUE(shownNaN) << line;
  }
}

TEST(AlgoPower, ResidualOfAComplexIterateCountsEveryDifference) {
  ResultLines lines;
  // Criterion 0 stops when sum |y_i - Teta x_i|^2 / |Teta| reaches the tolerance; summing the
  // complex squares (y_i - Teta x_i)^2 instead lets them cancel. Fixture: from the start vector
  // x of the run (unit length), a residual e orthogonal to x whose squares sum to 0, and
  // A = 1.2 I + e x^H, so that A x = 1.2 x + e and the first Teta is 1.2. The iterate is far
  // from an eigenvector (|e|^2 / 1.2 = 0.075); A - 1.2 I is nilpotent, so the residual only
  // decays like 1/step and never reaches 1e-10 within five steps.
  const int n = 3;
  ZVec start(n);
  InitRand(start, static_cast<E_InitSeedType>(2), 1u);
  std::vector<zc> x(start.Adr(0), start.Adr(0) + n);
  auto dot = [&](const std::vector<zc>& a, const std::vector<zc>& b) {  // a^H b
    zc s = 0;
    for (int i = 0; i < n; i++) s += std::conj(a[i]) * b[i];
    return s;
  };
  auto axpy = [&](std::vector<zc> a, zc f, const std::vector<zc>& b) {  // a + f b
    for (int i = 0; i < n; i++) a[i] += f * b[i];
    return a;
  };
  x = axpy(std::vector<zc>(n), 1.0 / std::sqrt(dot(x, x).real()), x);
  // u, w: the unit vectors e1, e2 made orthogonal to x (and u to w).
  std::vector<zc> u = {1, 0, 0}, w = {0, 1, 0};
  u = axpy(u, -dot(x, u), x);
  u = axpy(std::vector<zc>(n), 1.0 / std::sqrt(dot(u, u).real()), u);
  w = axpy(w, -dot(x, w), x);
  w = axpy(w, -dot(u, w), u);
  // e = a u + w with (a u + w)^T (a u + w) = 0: a^2 uu + 2 a uw + ww = 0.
  auto sq = [&](const std::vector<zc>& a, const std::vector<zc>& b) {  // a^T b
    zc s = 0;
    for (int i = 0; i < n; i++) s += a[i] * b[i];
    return s;
  };
  const zc uu = sq(u, u), uw = sq(u, w), ww = sq(w, w);
  const zc a = (-uw + std::sqrt(uw * uw - uu * ww)) / uu;
  std::vector<zc> e = axpy(w, a, u);
  e = axpy(std::vector<zc>(n), 0.3 / std::sqrt(dot(e, e).real()), e);
  ASSERT_LT(std::abs(sq(e, e)), 1e-14);
  ASSERT_LT(std::abs(dot(x, e)), 1e-14);

  C_MatMGe<zc> A(n, n);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < n; j++) A.SetVal(i, j, (i == j ? 1.2 : 0.0) + e[i] * std::conj(x[j]));
  C_AlgoPower<zc> p("P", 1e-10);
  ZVec zx(0), zy(0);
  EXPECT_NEAR(std::abs(p.Iterate(A, zx, zy, 5) - 1.2), 0.0, 0.2);
  ASSERT_EQ(lines.Lines().size(), 1u);
  EXPECT_EQ(StepOf(lines.Lines()[0]), 5);
}
