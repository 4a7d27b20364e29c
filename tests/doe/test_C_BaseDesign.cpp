// Tests of the design of experiments: allocation, normalisation, print format, specific and
// central points with duplicate rejection, the maximin augmentation checked against an
// independent computation from the standard MT19937 generator, values that are not finite or
// beyond the double range, and designs used in several threads at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "C_BaseDesign.h"
#include "cmat_capture.h"
#include "dense_fixtures.h"
#include "matrix.h"
#include "msgcapture.h"
#include "msgtool_support.h"

using Kvelo::C_BaseDesign;
using cmat_test::NewVec;

namespace {

const int kScope = 452;

// Opens the protected operations to the tests, as a derived design of a host would.
class TestDesign : public C_BaseDesign {
 public:
  using C_BaseDesign::C_BaseDesign;
  using C_BaseDesign::AddRandomPoints;
  using C_BaseDesign::ComputeDistMin;
};

// A design reporting under a scope of its own.
class ScopedDesign : public C_BaseDesign {
 public:
  using C_BaseDesign::C_BaseDesign;
  Kvelo::MessageToolEnums::E_DebugScope_enum GetDebugScope() override {
    return static_cast<Kvelo::MessageToolEnums::E_DebugScope_enum>(777);
  }
};

std::string Printed(C_BaseDesign& d) {
  return cmat_test::CaptureFile([&d](std::FILE* f) { d.Print(f); });
}

// Fills the design with the given rows (NbVar columns) and counts them.
void SetRows(C_BaseDesign& d, const std::vector<std::vector<double>>& rows) {
  ASSERT_EQ(d.AllocateDesignMatrix(static_cast<int>(rows.size())), 0);
  for (size_t i = 0; i < rows.size(); ++i)
    for (int k = 0; k < d.NbVar; ++k) d.DesignMatrix->me[i][k] = rows[i][k];
  d.NbPoints = static_cast<int>(rows.size());
}

std::vector<double> Row(const MAT* A, unsigned i) { return std::vector<double>(A->me[i], A->me[i] + A->n); }

// The maximin choice computed from scratch: candidates from std::mt19937 seeded with 1, each
// draw (hi - lo) * (word + 0.5) * 2^-32 + lo with (lo, hi) = (-1, 1); distances to the
// existing rows, then greedy picks of the farthest candidate (lowest index on ties).
struct Expected {
  std::vector<std::vector<double>> picks;
  std::vector<double> pickDist;
};

Expected MaximinReference(int nvar, int nlevels, const std::vector<std::vector<double>>& design, int n) {
  const int K = static_cast<int>(std::sqrt(static_cast<double>(nvar)) * 10000.0);
  std::mt19937 gen(1u);
  std::vector<std::vector<double>> cand(K, std::vector<double>(nvar));
  for (int i = 0; i < K; ++i)
    for (int k = 0; k < nvar; ++k) {
      const double u = (static_cast<double>(gen()) + 0.5) * std::ldexp(1.0, -32);
      double x = (1.0 - (-1.0)) * u + (-1.0);
      if (nlevels == 2) x = x >= 0 ? 1.0 : -1.0;
      cand[i][k] = x;
    }
  auto sq = [nvar](const std::vector<double>& a, const std::vector<double>& b) {
    double d = 0;
    for (int k = 0; k < nvar; ++k) d += (a[k] - b[k]) * (a[k] - b[k]);
    return d;
  };
  // 1e30 stands for no rows; a row farther than that keeps its distance.
  std::vector<double> dist(K, design.empty() ? 1e30 : std::numeric_limits<double>::infinity());
  for (int i = 0; i < K; ++i)
    for (const auto& r : design) dist[i] = std::min(dist[i], sq(r, cand[i]));
  Expected e;
  for (int h = 0; h < n; ++h) {
    int best = 0;
    for (int i = 1; i < K; ++i)
      if (dist[i] > dist[best]) best = i;
    e.picks.push_back(cand[best]);
    e.pickDist.push_back(dist[best]);
    for (int i = 0; i < K; ++i) dist[i] = std::min(dist[i], sq(cand[best], cand[i]));
    dist[best] = 0;
  }
  return e;
}

}  // namespace

TEST(BaseDesign, ANewDesignHasNoMatrixAndPrintsAnEmptyLine) {
  C_BaseDesign d(2, 3);
  EXPECT_EQ(d.NbVar, 2);
  EXPECT_EQ(d.NbLevels, 3);
  EXPECT_EQ(d.NbPoints, 0);
  EXPECT_EQ(d.getDesignMatrix(), nullptr);
  EXPECT_EQ(static_cast<int>(d.GetDebugScope()), kScope);
  int err = 0;
  d.Normalize(1, 0, &err);
  EXPECT_EQ(err, -1);
  err = 5;
  d.Normalize(-1, 1, &err);  // nothing to map
  EXPECT_EQ(err, 5);
  EXPECT_FALSE(d.Normalized);
  EXPECT_EQ(Printed(d), "\n");
  VEC* p = NewVec({0, 0});
  EXPECT_FALSE(d.AddSpecificPoint(p, 0, &err));
  EXPECT_EQ(err, -1);
  EXPECT_FALSE(d.AddSpecificPoint(nullptr, 0, nullptr));
  v_free(p);
}

TEST(BaseDesign, AllocationKeepsTheCommonPartAndLeavesTheCountAlone) {
  C_BaseDesign d(2, 3);
  ASSERT_EQ(d.AllocateDesignMatrix(2), 0);
  MAT* A = d.getDesignMatrix();
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(A->m, 2u);
  EXPECT_EQ(A->n, 2u);
  A->me[1][1] = 7;
  ASSERT_EQ(d.AllocateDesignMatrix(4), 0);
  EXPECT_EQ(d.DesignMatrix->me[1][1], 7.0);
  EXPECT_EQ(d.DesignMatrix->me[3][0], 0.0);
  EXPECT_EQ(d.NbPoints, 0);
  ASSERT_EQ(d.AllocateDesignMatrix(0), 0);  // no rows means one row
  EXPECT_EQ(d.DesignMatrix->m, 1u);
  MAT* before = d.DesignMatrix;
  EXPECT_EQ(d.AllocateDesignMatrix(-1), -1);
  EXPECT_EQ(d.DesignMatrix, before);
  EXPECT_EQ(d.DesignMatrix->m, 1u);
}

TEST(BaseDesign, NormalizeMapsCodedLevelsToTheRange) {
  C_BaseDesign d(1, 3);
  SetRows(d, {{0}, {1}, {2}});
  int err = 0;
  d.Normalize(-1, 1, &err);
  EXPECT_EQ(err, 0);
  EXPECT_TRUE(d.Normalized);
  EXPECT_EQ(Row(d.DesignMatrix, 0)[0], -1.0);
  EXPECT_EQ(Row(d.DesignMatrix, 1)[0], 0.0);
  EXPECT_EQ(Row(d.DesignMatrix, 2)[0], 1.0);
  // Once normalised, lo > hi is accepted, and the stored values are mapped again.
  d.Normalize(10, 0, &err);  // s = -5: x -> 10 - 5x
  EXPECT_EQ(err, 0);
  EXPECT_EQ(Row(d.DesignMatrix, 0)[0], 15.0);
  EXPECT_EQ(Row(d.DesignMatrix, 2)[0], 5.0);

  C_BaseDesign one(2, 1);  // one level: scale 1
  SetRows(one, {{0, 2.5}, {1, -1}});
  one.NbPoints = 1;  // only the counted row is mapped
  one.Normalize(-1, 3, &err);
  EXPECT_EQ(Row(one.DesignMatrix, 0), (std::vector<double>{-1, 1.5}));
  EXPECT_EQ(Row(one.DesignMatrix, 1), (std::vector<double>{1, -1}));

  C_BaseDesign over(1, 5);  // a count beyond the matrix covers only the rows it has
  SetRows(over, {{4}});
  over.NbPoints = 10;
  over.Normalize(0, 1, &err);
  EXPECT_EQ(Row(over.DesignMatrix, 0)[0], 1.0);
}

TEST(BaseDesign, PrintFormatFollowsTheNumberOfLevelsAndTheSign) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    int levels;
    const char* want;
  } cases[] = {
      {-1, "\n 0.0 -1.2  1234.6\n"},
      {0, "\n 0.00 -1.25  1234.57\n"},
      {9, "\n 0.00 -1.25  1234.57\n"},
      {10, "\n  0.0 -1.2  1234.6\n"},
      {99, "\n  0.0 -1.2  1234.6\n"},
      {100, "\n   0.0  -1.2  1234.6\n"},
      {999, "\n   0.0  -1.2  1234.6\n"},
      {1000, "\n 0.0 -1.2  1234.6\n"},
  };
  for (const Case& c : cases) {
    C_BaseDesign d(3, c.levels);
    SetRows(d, {{0, -1.25, 1234.5678}});
    EXPECT_EQ(Printed(d), c.want) << "levels " << c.levels;
  }
  // The count covers at most the rows the matrix has; without a matrix only "\n" is written.
  C_BaseDesign noMatrix(2, 3);
  noMatrix.NbPoints = 4;
  EXPECT_EQ(Printed(noMatrix), "\n");
  C_BaseDesign short1(2, 3);
  SetRows(short1, {{1, 2}});
  short1.NbPoints = 4;
  EXPECT_EQ(Printed(short1), "\n 1.00  2.00\n");
  short1.NbPoints = 0;
  EXPECT_EQ(Printed(short1), "\n");

  // A value that is not a number takes the format without the leading blank.
  C_BaseDesign d(2, 3);
  SetRows(d, {{nan, -0.5}, {2, 0.5}});
  EXPECT_EQ(Printed(d), "\n nan -0.50\n 2.00  0.50\n");
}

TEST(BaseDesign, SpecificPointsAreInsertedAtTheClampedPositionUnlessPresent) {
  kvtest::MsgCapture cap;
  cap.SetLevel(Kvelo::MessageToolEnums::LEVEL_INTERNAL);
  cap.OnlyScope(kScope);

  C_BaseDesign d(2, 3);
  SetRows(d, {{1, 1}, {2, 2}, {3, 3}});
  d.NbPoints = 0;
  int err = 7;
  VEC* p = NewVec({-5, 5});
  EXPECT_TRUE(d.AddSpecificPoint(p, -5, &err));
  EXPECT_EQ(err, 0);
  EXPECT_EQ(d.NbPoints, 4);  // the full row count
  EXPECT_EQ(Row(d.DesignMatrix, 0), (std::vector<double>{-5, 5}));
  EXPECT_EQ(Row(d.DesignMatrix, 1), (std::vector<double>{1, 1}));
  EXPECT_EQ(Row(d.DesignMatrix, 3), (std::vector<double>{3, 3}));
  ASSERT_EQ(cap.Count(1), 1);
  EXPECT_EQ(cap.OfType(1)[0].text,
            "[BASE DOE] : Ajout d'un point au plan d'experience : Point ajoute. (Nb = 4)");

  VEC* q = NewVec({9, 9});
  EXPECT_TRUE(d.AddSpecificPoint(q, 99, &err));  // beyond the end: appended
  EXPECT_EQ(Row(d.DesignMatrix, 4), (std::vector<double>{9, 9}));
  VEC* r = NewVec({0.5, 0.5});
  EXPECT_TRUE(d.AddSpecificPoint(r, 2, &err));
  EXPECT_EQ(Row(d.DesignMatrix, 2), (std::vector<double>{0.5, 0.5}));
  EXPECT_EQ(Row(d.DesignMatrix, 3), (std::vector<double>{2, 2}));
  EXPECT_EQ(d.DesignMatrix->m, 6u);

  cap.Clear();
  err = 7;
  EXPECT_FALSE(d.AddSpecificPoint(q, 0, &err));  // equal to row 5
  EXPECT_EQ(err, 0);
  EXPECT_EQ(d.DesignMatrix->m, 6u);
  ASSERT_EQ(cap.Count(1), 1);
  EXPECT_EQ(cap.OfType(1)[0].text,
            "[BASE DOE] : Ajout d'un point au plan d'experience : Point deja present -> rejete");

  VEC* wrong = NewVec({1, 2, 3});
  cap.Clear();
  EXPECT_FALSE(d.AddSpecificPoint(wrong, 0, &err));
  EXPECT_EQ(err, -1);
  EXPECT_EQ(cap.Count(), 0);

  v_free_vars(&p, &q, &r, &wrong, (VEC**)nullptr);
}

TEST(BaseDesign, SpecificPointIntoAMatrixWithoutRows) {
  C_BaseDesign d(2, 3);
  int st = 0;
  d.DesignMatrix = _LM_m_get("test", 0, 0, 2, __LINE__, "test", &st);
  VEC* p = NewVec({4, 5});
  int err = -3;
  EXPECT_TRUE(d.AddSpecificPoint(p, 3, &err));
  EXPECT_EQ(err, 0);
  EXPECT_EQ(d.DesignMatrix->m, 1u);
  EXPECT_EQ(Row(d.DesignMatrix, 0), (std::vector<double>{4, 5}));
  EXPECT_EQ(d.NbPoints, 1);
  v_free(p);
}

TEST(BaseDesign, CentralPoint) {
  kvtest::MsgCapture cap;
  cap.SetLevel(Kvelo::MessageToolEnums::LEVEL_INTERNAL);
  cap.OnlyScope(kScope);
  C_BaseDesign d(3, 3);
  SetRows(d, {{1, 1, 1}});
  int err = 7;
  EXPECT_TRUE(d.AddCentralPoint(&err));
  EXPECT_EQ(err, 0);
  EXPECT_EQ(Row(d.DesignMatrix, 0), (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(Row(d.DesignMatrix, 1), (std::vector<double>{1, 1, 1}));
  ASSERT_GE(cap.Count(1), 2);
  EXPECT_EQ(cap.OfType(1)[0].text, "[BASE DOE] : Ajout du point central");

  EXPECT_FALSE(d.AddCentralPoint(1, &err));  // already holds the zero point
  EXPECT_EQ(err, 0);
  EXPECT_EQ(d.DesignMatrix->m, 2u);
  EXPECT_FALSE(d.AddCentralPoint(nullptr));

  // A failure of the insertion is passed on, not reported as success.
  C_BaseDesign empty(3, 3);
  err = 7;
  EXPECT_FALSE(empty.AddCentralPoint(&err));
  EXPECT_EQ(err, -1);
  // The zero point cannot be made for a negative number of variables.
  C_BaseDesign bad(-1, 3);
  EXPECT_FALSE(bad.AddCentralPoint(&err));
  EXPECT_EQ(err, -1);
}

TEST(BaseDesign, AugmentRefusesUnknownMethodsAndTargetsOfTheWrongShape) {
  kvtest::MsgCapture cap;
  cap.SetLevel(Kvelo::MessageToolEnums::LEVEL_INTERNAL);
  cap.OnlyScope(kScope);
  C_BaseDesign d(2, 3);
  EXPECT_EQ(d.AugmentDesign('x', 5, nullptr), -1);
  EXPECT_EQ(cap.Count(1), 0);  // nothing drawn, nothing said
  int st = 0;
  MAT* target = _LM_m_get("test", 0, 4, 2, __LINE__, "test", &st);
  EXPECT_EQ(d.AugmentDesign('r', 5, target), -1);
  EXPECT_EQ(cap.Count(1), 0);
  MAT* narrow = _LM_m_get("test", 0, 5, 1, __LINE__, "test", &st);
  EXPECT_EQ(d.AugmentDesign('R', 5, narrow), -1);
  EXPECT_EQ(d.getDesignMatrix(), nullptr);
  m_free(target);
  m_free(narrow);
}

TEST(BaseDesign, MaximinAugmentationMatchesAnIndependentComputation) {
  const std::vector<std::vector<double>> start = {{0, 0}, {0.5, -0.5}, {-0.9, 0.9}};
  const int n = 6;
  const Expected e = MaximinReference(2, 5, start, n);

  kvtest::MsgCapture cap;
  cap.SetLevel(Kvelo::MessageToolEnums::LEVEL_INTERNAL);
  cap.OnlyScope(kScope);
  C_BaseDesign d(2, 5);
  SetRows(d, start);
  ASSERT_EQ(d.AugmentDesign('R', n, nullptr), 0);
  ASSERT_EQ(d.DesignMatrix->m, 9u);
  EXPECT_EQ(d.NbPoints, 9);  // the appended rows are counted
  for (unsigned i = 0; i < 3; ++i) EXPECT_EQ(Row(d.DesignMatrix, i), start[i]);
  for (int h = 0; h < n; ++h) EXPECT_EQ(Row(d.DesignMatrix, 3 + h), e.picks[h]) << "pick " << h;
  for (int h = 1; h < n; ++h)
    for (int g = 0; g < h; ++g) EXPECT_NE(e.picks[h], e.picks[g]);  // no candidate twice

  std::vector<std::string> want = {
      "[BASE DOE] : Appel a C_BaseDesign::AddRandomPoints",
      "[BASE DOE] : On genere 14142 points random dans l'espace des variables",
      "[BASE DOE] : On selectionne les 6 points les mieux places"};
  for (int h = 0; h < n; ++h) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "[BASE DOE] : Pt %d : distance = %f", h, e.pickDist[h]);
    want.push_back(buf);
  }
  std::vector<std::string> got;
  for (const auto& m : cap.OfType(1)) got.push_back(m.text);
  EXPECT_EQ(got, want);

  // The same start gives the same points; the printed rows are the counted ones.
  C_BaseDesign twin(2, 5);
  SetRows(twin, start);
  ASSERT_EQ(twin.AugmentDesign('r', n, nullptr), 0);
  for (unsigned i = 0; i < 9; ++i) EXPECT_EQ(Row(twin.DesignMatrix, i), Row(d.DesignMatrix, i));
  const std::string text = Printed(twin);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 10);
}

TEST(BaseDesign, MaximinIntoATargetLeavesTheDesignAlone) {
  const std::vector<std::vector<double>> start = {{0.25, 0.25}};
  // The distances start from the design's rows; later picks see only the target's rows.
  const Expected e = MaximinReference(2, 0, start, 3);
  TestDesign d(2, 0);
  SetRows(d, start);
  int st = 0;
  MAT* target = _LM_m_get("test", 0, 3, 2, __LINE__, "test", &st);
  ASSERT_EQ(d.AddRandomPoints(3, 5.0, 6.0, target), 0);  // lo and hi are not used
  for (int h = 0; h < 3; ++h) EXPECT_EQ(Row(target, h), e.picks[h]) << "pick " << h;
  EXPECT_EQ(d.DesignMatrix->m, 1u);
  EXPECT_EQ(d.NbPoints, 1);
  m_free(target);
}

TEST(BaseDesign, FirstPickOnAnEmptyDesignIsTheFirstCandidate) {
  std::mt19937 gen(1u);
  std::vector<double> first(3);
  for (double& x : first) x = 2.0 * ((static_cast<double>(gen()) + 0.5) * std::ldexp(1.0, -32)) - 1.0;
  C_BaseDesign d(3, 0);
  ASSERT_EQ(d.AugmentDesign('r', 1, nullptr), 0);
  ASSERT_NE(d.DesignMatrix, nullptr);
  EXPECT_EQ(d.DesignMatrix->m, 1u);
  EXPECT_EQ(d.NbPoints, 1);
  EXPECT_EQ(Row(d.DesignMatrix, 0), first);
}

TEST(BaseDesign, TwoLevelDesignsOnlyReceiveCorners) {
  C_BaseDesign d(2, 2);
  ASSERT_EQ(d.AugmentDesign('r', 6, nullptr), 0);
  ASSERT_EQ(d.DesignMatrix->m, 6u);
  const Expected e = MaximinReference(2, 2, {}, 6);
  std::vector<std::vector<double>> rows;
  for (unsigned i = 0; i < 6; ++i) {
    rows.push_back(Row(d.DesignMatrix, i));
    for (double x : rows.back()) EXPECT_TRUE(x == 1.0 || x == -1.0);
    EXPECT_EQ(rows.back(), e.picks[i]);
  }
  // The four corners first, then candidate 0 again once every distance is 0.
  for (int h = 1; h < 4; ++h)
    for (int g = 0; g < h; ++g) EXPECT_NE(rows[h], rows[g]);
  EXPECT_EQ(rows[4], rows[0]);
  EXPECT_EQ(rows[5], rows[0]);
}

TEST(BaseDesign, RandomPointsRefuseBadCountsAndVariables) {
  TestDesign none(0, 3);
  EXPECT_EQ(none.AddRandomPoints(2, -1, 1, nullptr), -1);
  TestDesign neg(2, 3);
  EXPECT_EQ(neg.AddRandomPoints(-1, -1, 1, nullptr), -1);
  EXPECT_EQ(neg.AddRandomPoints(0, -1, 1, nullptr), 0);  // nothing to add
  EXPECT_EQ(neg.DesignMatrix, nullptr);
  TestDesign mismatch(2, 3);
  SetRows(mismatch, {{1, 2}});
  mismatch.NbVar = 3;  // the matrix no longer has NbVar columns
  EXPECT_EQ(mismatch.AddRandomPoints(1, -1, 1, nullptr), -1);
  EXPECT_EQ(mismatch.DesignMatrix->m, 1u);
}

TEST(BaseDesign, ComputeDistMinIsTheSmallestSquaredDistance) {
  TestDesign d(2, 3);
  SetRows(d, {{0, 0}, {3, 4}, {1, 1}});
  double p[] = {3, 3};
  EXPECT_EQ(d.ComputeDistMin(0, 3, p, d.DesignMatrix), 1.0);   // to (3, 4)
  EXPECT_EQ(d.ComputeDistMin(0, 1, p, d.DesignMatrix), 18.0);  // to (0, 0) only
  EXPECT_EQ(d.ComputeDistMin(2, 3, p, d.DesignMatrix), 8.0);
  EXPECT_EQ(d.ComputeDistMin(2, 2, p, d.DesignMatrix), 1e30);
  EXPECT_EQ(d.ComputeDistMin(0, 3, p, nullptr), 1e30);
  EXPECT_EQ(d.ComputeDistMin(0, 50, p, d.DesignMatrix), 1.0);  // rows it lacks are skipped
}

TEST(BaseDesign, ADerivedDesignReportsUnderItsOwnScope) {
  kvtest::MsgCapture cap;
  cap.SetLevel(Kvelo::MessageToolEnums::LEVEL_INTERNAL);
  cap.OnlyScope(777);
  ScopedDesign d(1, 3);
  SetRows(d, {{1}});
  int err = 0;
  EXPECT_TRUE(d.AddCentralPoint(&err));
  EXPECT_TRUE(cap.Contains("[BASE DOE] : Ajout du point central", 1));
  EXPECT_TRUE(cap.Contains("Point ajoute. (Nb = 2)", 1));
}

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Every value of the matrix, row by row (NaN compared as equal by the callers through bits).
std::vector<std::vector<double>> Rows(const MAT* A) {
  std::vector<std::vector<double>> out;
  for (unsigned i = 0; A != nullptr && i < A->m; ++i) out.push_back(Row(A, i));
  return out;
}

// Same values bit for bit (so that a NaN equals itself).
bool SameBits(const std::vector<std::vector<double>>& a, const std::vector<std::vector<double>>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].size() != b[i].size() || std::memcmp(a[i].data(), b[i].data(), a[i].size() * sizeof(double)) != 0)
      return false;
  return true;
}

}  // namespace

TEST(BaseDesign, NormalizeRefusesBoundsThatAreNotFinite) {
  const double bounds[][2] = {{kNaN, 1}, {-1, kNaN}, {kNaN, kNaN}, {-kInf, 1}, {0, kInf}, {-kInf, kInf}};
  for (bool normalized : {false, true}) {
    for (const auto& b : bounds) {
      C_BaseDesign d(1, 3);
      SetRows(d, {{0}, {1}, {2}});
      d.Normalized = normalized;
      int err = 0;
      d.Normalize(b[0], b[1], &err);
      EXPECT_EQ(err, -1) << b[0] << " " << b[1];
      EXPECT_EQ(Rows(d.DesignMatrix), (std::vector<std::vector<double>>{{0}, {1}, {2}})) << b[0] << " " << b[1];
      EXPECT_EQ(d.Normalized, normalized);
    }
  }
  // Refused without a matrix too, like lo > hi.
  C_BaseDesign none(1, 3);
  int err = 0;
  none.Normalize(0, kInf, &err);
  EXPECT_EQ(err, -1);
}

TEST(BaseDesign, NormalizeSpansTheWholeDoubleRange) {
  // Bounds of opposite signs whose width hi - lo is beyond the double range: every level
  // still lands on its place, the end levels on the bounds themselves.
  C_BaseDesign three(1, 3);
  SetRows(three, {{0}, {1}, {2}});
  int err = 0;
  three.Normalize(-1e308, 1e308, &err);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(Rows(three.DesignMatrix), (std::vector<std::vector<double>>{{-1e308}, {0}, {1e308}}));
  C_BaseDesign two(2, 2);
  SetRows(two, {{0, 1}, {1, 0}});
  two.Normalize(-DBL_MAX, DBL_MAX, &err);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(Rows(two.DesignMatrix), (std::vector<std::vector<double>>{{-DBL_MAX, DBL_MAX}, {DBL_MAX, -DBL_MAX}}));
  C_BaseDesign five(1, 5);  // (hi - lo) / 4 = 0.5e308 a level
  SetRows(five, {{0}, {1}, {3}, {4}});
  five.Normalize(-1e308, 1e308, &err);
  EXPECT_EQ(Rows(five.DesignMatrix), (std::vector<std::vector<double>>{{-1e308}, {-0.5e308}, {0.5e308}, {1e308}}));
}

TEST(BaseDesign, NormalizeTakesImagesWhoseIntermediatesLeaveTheRange) {
  // lo + x (hi - lo) / (levels - 1) with a finite image whose product alone overflows, or
  // whose scale falls below the normal range. The images: -1e308 + 1.8e308 = 8e307;
  // -1.7e308 + 2.5 * 0.7e308 = 5e306; 7.5e12 * 2^-1074 / 2 = 3.75e12 * 2^-1074 (exact
  // in subnormals: 3750000000000 quanta).
  struct Case {
    double lo, hi;
    int levels;
    double x, image;
  } cases[] = {
      {-1e308, 0, 2, 1.8, 8e307},
      {-1.7e308, -1e308, 2, 2.5, 5e306},
      {0, 4.9406564584124654e-324, 3, 7.5e12, 3750000000000 * 4.9406564584124654e-324},
  };
  for (const Case& c : cases) {
    C_BaseDesign d(1, c.levels);
    SetRows(d, {{c.x}});
    int err = 0;
    d.Normalize(c.lo, c.hi, &err);
    EXPECT_EQ(err, 0) << c.lo << " " << c.hi << " " << c.x;
    EXPECT_TRUE(d.Normalized);
    // Within a few roundings of the terms lo and x (hi - lo) / (levels - 1).
    const double tol = 4e-16 * (std::fabs(c.lo) + std::fabs(c.x) * (c.hi / 2 - c.lo / 2) * 2) + 4.9406564584124654e-324;
    EXPECT_NEAR(Rows(d.DesignMatrix)[0][0], c.image, tol) << c.lo << " " << c.hi << " " << c.x;
  }
}

TEST(BaseDesign, NormalizeIsAllOrNothing) {
  // Level 4 of a three-level design maps to 2 * hi: beyond the double range for hi = 1e308.
  // Nothing changes, not even the rows before it.
  C_BaseDesign d(2, 3);
  SetRows(d, {{0, 1}, {2, 1}, {1, 4}});
  int err = 0;
  d.Normalize(0, 1e308, &err);
  EXPECT_EQ(err, -1);
  EXPECT_EQ(Rows(d.DesignMatrix), (std::vector<std::vector<double>>{{0, 1}, {2, 1}, {1, 4}}));
  EXPECT_FALSE(d.Normalized);
  // A value that is already NaN or infinite is carried through; the others are mapped.
  C_BaseDesign n(3, 3);
  SetRows(n, {{kNaN, 1, kInf}});
  err = 0;
  n.Normalize(-1, 1, &err);
  EXPECT_EQ(err, 0);
  EXPECT_TRUE(SameBits(Rows(n.DesignMatrix), {{kNaN, 0, kInf}}));
  EXPECT_TRUE(n.Normalized);
}

TEST(BaseDesign, SpecificPointsThatAreNotFiniteAreRefused) {
  kvtest::MsgCapture cap;
  cap.SetLevel(Kvelo::MessageToolEnums::LEVEL_INTERNAL);
  cap.OnlyScope(kScope);
  C_BaseDesign d(2, 3);
  SetRows(d, {{1, 1}, {2, 2}});
  for (double bad : {kNaN, kInf, -kInf}) {
    for (int k = 0; k < 2; ++k) {
      VEC* p = NewVec({0.5, 0.5});
      p->ve[k] = bad;
      int err = 7;
      EXPECT_FALSE(d.AddSpecificPoint(p, 0, &err)) << bad;
      EXPECT_EQ(err, -1);
      v_free(p);
    }
  }
  EXPECT_EQ(Rows(d.DesignMatrix), (std::vector<std::vector<double>>{{1, 1}, {2, 2}}));
  EXPECT_EQ(d.NbPoints, 2);
  EXPECT_EQ(cap.Count(), 0);  // refused before anything is said, like a point of the wrong size
}

TEST(BaseDesign, RandomPointsRefuseADesignHoldingValuesThatAreNotFinite) {
  for (double bad : {kNaN, kInf, -kInf}) {
    const std::vector<std::vector<double>> start = {{0, 0}, {bad, 0.5}, {0.3, 0.3}};
    TestDesign d(2, 5);
    SetRows(d, start);
    EXPECT_EQ(d.AugmentDesign('r', 2, nullptr), -1) << bad;
    EXPECT_TRUE(SameBits(Rows(d.DesignMatrix), start));
    EXPECT_EQ(d.NbPoints, 3);
    int st = 0;
    MAT* target = _LM_m_get("test", 0, 2, 2, __LINE__, "test", &st);
    target->me[0][0] = 9;
    EXPECT_EQ(d.AddRandomPoints(2, -1, 1, target), -1);
    EXPECT_EQ(Rows(target), (std::vector<std::vector<double>>{{9, 0}, {0, 0}}));
    m_free(target);
  }
  // Rows beyond the counted ones take part in the distances, so they are checked as well.
  TestDesign d(1, 5);
  SetRows(d, {{0.5}, {kNaN}});
  d.NbPoints = 1;
  EXPECT_EQ(d.AugmentDesign('r', 1, nullptr), -1);
  EXPECT_EQ(d.DesignMatrix->m, 2u);
}

TEST(BaseDesign, ComputeDistMinKeepsANaNDistance) {
  TestDesign d(2, 3);
  double p[] = {3, 3};
  // The NaN row first, then a finite one at distance 1: the NaN is not replaced.
  SetRows(d, {{kNaN, 0}, {3, 4}});
  EXPECT_TRUE(std::isnan(d.ComputeDistMin(0, 2, p, d.DesignMatrix)));
  SetRows(d, {{3, 4}, {kNaN, 0}});
  EXPECT_TRUE(std::isnan(d.ComputeDistMin(0, 2, p, d.DesignMatrix)));
  EXPECT_EQ(d.ComputeDistMin(0, 1, p, d.DesignMatrix), 1.0);  // the NaN row not in the range
  double q[] = {kNaN, 0};
  SetRows(d, {{0, 0}, {1, 1}});
  EXPECT_TRUE(std::isnan(d.ComputeDistMin(0, 2, q, d.DesignMatrix)));
  // A squared distance beyond 1e30 (the value for no rows) is kept, and one beyond the
  // double range is +inf.
  SetRows(d, {{4e15, 0}, {1e200, 0}, {0, 1}});
  double o[] = {0, 0};
  EXPECT_EQ(d.ComputeDistMin(0, 1, o, d.DesignMatrix), 1.6e31);
  EXPECT_EQ(d.ComputeDistMin(1, 2, o, d.DesignMatrix), kInf);
  EXPECT_EQ(d.ComputeDistMin(0, 2, o, d.DesignMatrix), 1.6e31);
  EXPECT_EQ(d.ComputeDistMin(0, 3, o, d.DesignMatrix), 1.0);
}

TEST(BaseDesign, MaximinTellsApartCandidatesFartherThan1e15) {
  // One point at 4e15: every candidate in (-1, 1) lies about 1.6e31 away (squared), and the
  // farthest are those nearest -1, not the first one drawn.
  const std::vector<std::vector<double>> start = {{4e15}};
  const Expected e = MaximinReference(1, 0, start, 2);
  ASSERT_LT(e.picks[0][0], -0.75);
  C_BaseDesign d(1, 0);
  SetRows(d, start);
  ASSERT_EQ(d.AugmentDesign('r', 2, nullptr), 0);
  EXPECT_EQ(Row(d.DesignMatrix, 1), e.picks[0]);
  EXPECT_EQ(Row(d.DesignMatrix, 2), e.picks[1]);
}

TEST(BaseDesign, CandidatesTheContainersCannotHoldFailTheCall) {
  kvtest::MsgCapture cap;
  // 5000 variables: 707106 candidates of 5000 values, more than one matrix holds (2^31).
  TestDesign d(5000, 3);
  EXPECT_EQ(d.AugmentDesign('r', 1, nullptr), -1);
  EXPECT_EQ(d.DesignMatrix, nullptr);
  EXPECT_EQ(d.NbPoints, 0);
  EXPECT_GE(cap.Count(2), 1);  // the container's refusal is reported as an error
  // A design that cannot grow by n rows within an int is refused before drawing.
  TestDesign g(1, 3);
  SetRows(g, {{0.5}, {0.25}});
  EXPECT_EQ(g.AddRandomPoints(INT_MAX - 1, -1, 1, nullptr), -1);
  EXPECT_EQ(g.DesignMatrix->m, 2u);
}

TEST(BaseDesign, DesignsInSeveralThreadsMatchASequentialRun) {
  // Each worker grows a design of its own point by point, tries its central point, adds a
  // maximin batch and normalises it. Meanwhile another thread keeps asking the C matrix
  // library for a matrix of -1 rows, which sets the library's process-wide status word to -1
  // each time: no worker may take that for a failure of its own, and no result may differ
  // from the same work done in one thread.
  const int kWorkers = 3, kPoints = 150, kRefusals = 400;
  // The points are C matrix records, made in this thread: the C library's status word and
  // records are not for several threads, only the designs are.
  std::vector<std::vector<VEC*>> points(kWorkers + 1);
  for (int id = 1; id <= kWorkers; ++id)
    for (int j = 0; j < kPoints; ++j) {
      VEC* p = _LM_v_get("test", 0, 2, __LINE__, "test", nullptr);
      ASSERT_NE(p, nullptr);
      p->ve[0] = id + 0.001 * j;
      p->ve[1] = -0.002 * j;
      points[id].push_back(p);
    }
  auto work = [&points](int id, std::vector<std::vector<double>>& rows, int& failures) {
    C_BaseDesign d(2, 5);
    if (d.AllocateDesignMatrix(1) != 0) ++failures;
    d.DesignMatrix->me[0][0] = d.DesignMatrix->me[0][1] = 0.125 * id;
    for (int j = 0; j < kPoints; ++j) {
      int err = 0;
      if (!d.AddSpecificPoint(points[id][j], j % 3, &err) || err != 0) ++failures;
    }
    int err = 0;
    if (!d.AddCentralPoint(&err) || err != 0) ++failures;
    if (d.AugmentDesign('r', 3, nullptr) != 0) ++failures;
    err = 0;
    d.Normalize(-1, 1, &err);
    if (err != 0) ++failures;
    rows = Rows(d.DesignMatrix);
  };

  std::vector<std::vector<std::vector<double>>> alone(kWorkers);
  for (int id = 0; id < kWorkers; ++id) {
    int failures = 0;
    work(id + 1, alone[id], failures);
    ASSERT_EQ(failures, 0);
  }

  kvtest::DefaultTool();  // made before the threads start
  CaptureStderr();        // the refusals' reports
  std::vector<std::vector<std::vector<double>>> together(kWorkers);
  std::vector<int> failures(kWorkers, 0);
  int refused = 0;
  std::atomic<bool> go(false);
  std::vector<std::thread> threads;
  for (int id = 0; id < kWorkers; ++id)
    threads.emplace_back([&, id] {
      while (!go) std::this_thread::yield();
      work(id + 1, together[id], failures[id]);
    });
  threads.emplace_back([&] {
    while (!go) std::this_thread::yield();
    C_BaseDesign bad(2, 5);
    for (int i = 0; i < kRefusals; ++i)
      if (bad.AllocateDesignMatrix(-1) == -1) ++refused;
  });
  go = true;
  for (auto& t : threads) t.join();
  GetCapturedStderr();

  EXPECT_EQ(refused, kRefusals);
  for (int id = 0; id < kWorkers; ++id) {
    EXPECT_EQ(failures[id], 0) << "worker " << id;
    EXPECT_TRUE(SameBits(together[id], alone[id])) << "worker " << id;
  }
  for (auto& list : points)
    for (VEC* p : list) v_free(p);
}
