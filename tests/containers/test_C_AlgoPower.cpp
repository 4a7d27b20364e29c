// Tests of the power iteration and the matrix 2-norm: closed-form singular values of real,
// complex, general and symmetric matrices, the stop criteria, the result line and the
// reproducible start vector.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <string>

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

TEST(AlgoPower, StepLimitLetsSlowRunsConverge) {
  ResultLines lines;
  // diag(2, 1.9): the estimate gains about 19% a step, far more than n + 1 = 3 steps are needed.
  C_MatMGe<double> a(2, 2);
  a.SetVal(0, 0, 2.0), a.SetVal(1, 1, 1.9);
  EXPECT_NEAR(a.Nrm(NRM_TWO), 2.0, 5e-3 * 2.0);
  ASSERT_EQ(lines.Lines().size(), 1u);
  EXPECT_GT(StepOf(lines.Lines()[0]), 3);
}
