// prop_design.cpp: designs of experiments driven by random command sequences against a plain
// list of points, and the random number generator they draw from against the published
// MT19937. After every command the design must hold what the model holds; a refused call must
// leave it as it was; normalised values must agree with a long-double map; the maximin choice
// must be the one a transcription of the greedy rule makes from the same candidates; and
// memory running out must refuse cleanly.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "C_BaseDesign.h"
#include "C_RandNum.h"
#include "failing_new.h"
#include "matrix.h"
#include "msgcapture.h"
#include "prop_support.h"

// clang-format off
KVELO_HOLDS(
    "C_BaseDesign::C_BaseDesign", "C_BaseDesign::~C_BaseDesign", "C_BaseDesign::GetDebugScope",
    "C_BaseDesign::AllocateDesignMatrix", "C_BaseDesign::getDesignMatrix", "C_BaseDesign::Normalize",
    "C_BaseDesign::Print", "C_BaseDesign::AddSpecificPoint", "C_BaseDesign::AddCentralPoint",
    "C_BaseDesign::AugmentDesign", "C_BaseDesign::AddRandomPoints", "C_BaseDesign::ComputeDistMin",
    "C_RandNum::C_RandNum", "C_RandNum::~C_RandNum", "C_RandNum::Init", "C_RandNum::SetRangeValue",
    "C_RandNum::GetRandNum", "C_RandNum::GetSeed", "C_RandNum::GetSeedVectorSize",
    "C_RandNum::Regenerate", "C_RandNum::NextWord", "C_RandNum::Reseed");
// clang-format on

namespace {

using Kvelo::C_BaseDesign;
using Rows = std::vector<std::vector<double>>;

// The protected members are part of what a derived design calls.
class Design : public C_BaseDesign {
 public:
  Design(int nvar, int nlevels) : C_BaseDesign(nvar, nlevels) {}
  using C_BaseDesign::AddRandomPoints;
  using C_BaseDesign::ComputeDistMin;
};

// ---- The mirror: the counts, the matrix (none, or rows of `cols` values), the flag. ----
// Whether memory runs out is drawn per command, so the mirror lives beside the design and is
// moved on by each command from what the call reported, after checking that report against
// what the call may do.
struct Mirror {
  int nvar = 0;
  int levels = 0;
  bool hasMatrix = false;
  unsigned cols = 0;
  Rows rows;
  int points = 0;
  bool normalized = false;
};

struct Model {};  // the state machine's own model carries nothing: the mirror is in the Sut

struct Sut {
  Design d{0, 0};
  Mirror m;
};

struct Shot {
  int nvar, levels, points;
  bool normalized, hasMatrix;
  unsigned m, n;
  std::vector<double> values;
  bool operator==(const Shot& o) const {
    return nvar == o.nvar && levels == o.levels && points == o.points && normalized == o.normalized &&
           hasMatrix == o.hasMatrix && m == o.m && n == o.n && kvtest::SameBits(values, o.values);
  }
};

Shot Take(const Design& d) {
  Shot s{d.NbVar, d.NbLevels, d.NbPoints, d.Normalized, d.DesignMatrix != nullptr, 0, 0, {}};
  if (d.DesignMatrix != nullptr) {
    s.m = d.DesignMatrix->m;
    s.n = d.DesignMatrix->n;
    for (unsigned i = 0; i < s.m; ++i)
      for (unsigned k = 0; k < s.n; ++k) s.values.push_back(d.DesignMatrix->me[i][k]);
  }
  return s;
}

void Check(const Mirror& m, const Design& d) {
  RC_ASSERT(d.NbVar == m.nvar);
  RC_ASSERT(d.NbLevels == m.levels);
  RC_ASSERT(d.NbPoints == m.points);
  RC_ASSERT(d.Normalized == m.normalized);
  RC_ASSERT((d.DesignMatrix != nullptr) == m.hasMatrix);
  RC_ASSERT(const_cast<Design&>(d).getDesignMatrix() == d.DesignMatrix);
  if (!m.hasMatrix) return;
  RC_ASSERT(d.DesignMatrix->m == m.rows.size());
  RC_ASSERT(d.DesignMatrix->n == m.cols);
  for (size_t i = 0; i < m.rows.size(); ++i)
    for (unsigned k = 0; k < m.cols; ++k) RC_ASSERT(kvtest::SameBits(d.DesignMatrix->me[i][k], m.rows[i][k]));
}

unsigned CountedRows(const Mirror& m) {
  if (!m.hasMatrix || m.points <= 0) return 0;
  return std::min<size_t>(static_cast<size_t>(m.points), m.rows.size());
}
unsigned CountedCols(const Mirror& m) {
  if (!m.hasMatrix || m.nvar <= 0) return 0;
  return std::min(static_cast<unsigned>(m.nvar), m.cols);
}

// Memory running out after k allocations (C++ and the library's C heap), or -1: plenty.
rc::Gen<int> ShortageGen() {
  return rc::gen::weightedOneOf<int>({{6, rc::gen::just(-1)}, {1, rc::gen::inRange(0, 4)}});
}

// Runs call, short of memory when asked; a refused call must change nothing. Whether the call
// was refused is call's answer.
template <class F>
bool Guarded(int shortage, const Design& d, F&& call) {
  const Shot before = Take(d);
  bool ok;
  if (shortage >= 0) {
    kvtest::NoMemory nm(shortage);
    ok = call();
  } else {
    ok = call();
  }
  if (!ok) RC_ASSERT(Take(d) == before);
  return ok;
}

std::ostream& Short(std::ostream& os, int shortage) {
  if (shortage >= 0) os << " [memory runs out after " << shortage << " allocations]";
  return os;
}

using Cmd = rc::state::Command<Model, Sut>;

// The public counts are the host's to set (NbVar, NbLevels, NbPoints).
struct SetCounts : Cmd {
  int which = *rc::gen::inRange(0, 3);
  int value = *rc::gen::weightedOneOf<int>({{4, rc::gen::inRange(0, 6)}, {1, rc::gen::inRange(-3, 12)}});
  void run(const Model&, Sut& s) const override {
    switch (which) {
      case 0: s.d.NbVar = s.m.nvar = value; break;
      case 1: s.d.NbLevels = s.m.levels = value; break;
      default: s.d.NbPoints = s.m.points = value; break;
    }
    Check(s.m, s.d);
  }
  void show(std::ostream& os) const override {
    static const char* names[] = {"NbVar", "NbLevels", "NbPoints"};
    os << names[which] << " = " << value;
  }
};

struct Allocate : Cmd {
  int n = *rc::gen::inRange(-2, 7);
  int shortage = *ShortageGen();
  void run(const Model&, Sut& s) const override {
    const bool ok = Guarded(shortage, s.d, [&] { return s.d.AllocateDesignMatrix(n) == 0; });
    const bool valid = n >= 0 && s.m.nvar >= 0;
    if (shortage < 0) RC_ASSERT(ok == valid);
    if (!valid) RC_ASSERT(!ok);
    if (ok) {
      const size_t rows = n == 0 ? 1 : static_cast<size_t>(n);
      // The C matrix library takes a dimension of 0 as 1, columns as well as rows.
      const unsigned cols = s.m.nvar == 0 ? 1u : static_cast<unsigned>(s.m.nvar);
      Rows grown(rows, std::vector<double>(cols, 0.0));
      for (size_t i = 0; i < rows && i < s.m.rows.size(); ++i)
        for (unsigned k = 0; k < cols && k < s.m.cols; ++k) grown[i][k] = s.m.rows[i][k];
      s.m.rows = grown;
      s.m.cols = cols;
      s.m.hasMatrix = true;
    }
    Check(s.m, s.d);
  }
  void show(std::ostream& os) const override { Short(os << "AllocateDesignMatrix(" << n << ")", shortage); }
};

// Values anywhere in the double range, now and then straight into the matrix (the host owns
// its values as much as the design does).
struct Poke : Cmd {
  int row = *rc::gen::inRange(0, 8);
  int col = *rc::gen::inRange(0, 4);
  double value = *rc::gen::weightedOneOf<double>(
      {{2, rc::gen::element(1.8, 1.5, 2.0, 0.5, -1.0, 3.0)}, {1, kvtest::TameDouble()}, {2, kvtest::AnyDouble()}});
  void run(const Model&, Sut& s) const override {
    if (!s.m.hasMatrix || static_cast<size_t>(row) >= s.m.rows.size() || static_cast<unsigned>(col) >= s.m.cols)
      return;
    s.d.DesignMatrix->me[row][col] = value;
    s.m.rows[row][col] = value;
    Check(s.m, s.d);
  }
  void show(std::ostream& os) const override { os << "me[" << row << "][" << col << "] = " << value; }
};

// The long-double image of x: lo + x (hi - lo) / (levels - 1), or lo + x below two levels.
long double Image(long double lo, long double hi, int levels, long double x) {
  if (levels < 2) return lo + x;
  return lo + x * ((hi - lo) / static_cast<long double>(levels - 1));
}

// Bounds of ordinary size, near the ends of the range (where widths and products overflow
// though the images need not), or anything at all.
rc::Gen<double> Bound() {
  return rc::gen::weightedOneOf<double>({{3, kvtest::TameDouble()},
                                         {2, rc::gen::element(-1.7e308, -1e308, -0.0, 0.0, 1.0, 1e308, 1.7e308)},
                                         {2, kvtest::AnyDouble()}});
}

struct Normalize : Cmd {
  double lo = *Bound();
  double hi = *Bound();
  bool nullErr = *rc::gen::weightedOneOf<bool>({{5, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  void run(const Model&, Sut& s) const override {
    int err = 12345;
    const Shot before = Take(s.d);
    s.d.Normalize(lo, hi, nullErr ? nullptr : &err);
    const bool badBounds = !std::isfinite(lo) || !std::isfinite(hi) || (lo > hi && !s.m.normalized);
    const unsigned rows = CountedRows(s.m), cols = CountedCols(s.m);
    // Out of range: a finite value whose exact image is beyond the double range. Images within
    // a rounding of DBL_MAX may go either way.
    bool outside = false, edge = false;
    for (unsigned i = 0; i < rows && !badBounds; ++i)
      for (unsigned k = 0; k < cols; ++k) {
        const double x = s.m.rows[i][k];
        if (!std::isfinite(x)) continue;
        const long double y = std::fabs(Image(lo, hi, s.m.levels, x));
        if (y > static_cast<long double>(DBL_MAX) * (1 + 1e-15L)) outside = true;
        else if (y > static_cast<long double>(DBL_MAX) * (1 - 1e-15L)) edge = true;
      }
    const bool refused = badBounds || (s.m.hasMatrix && outside);
    if (!refused && s.m.hasMatrix && edge && Take(s.d) == before && err == -1) return;  // rounded out
    if (refused) {
      RC_ASSERT(Take(s.d) == before);
      if (!nullErr) RC_ASSERT(err == -1);
      return;
    }
    if (!nullErr) RC_ASSERT(err == 12345);  // left alone on success
    if (!s.m.hasMatrix) {
      RC_ASSERT(Take(s.d) == before);
      return;
    }
    for (unsigned i = 0; i < rows; ++i)
      for (unsigned k = 0; k < cols; ++k) {
        const double x = s.m.rows[i][k];
        const double got = s.d.DesignMatrix->me[i][k];
        if (std::isnan(x)) {
          RC_ASSERT(std::isnan(got));
        } else if (std::isinf(x)) {
          RC_ASSERT(!std::isfinite(got));  // inf, or NaN when the scale is 0
        } else {
          const long double want = Image(lo, hi, s.m.levels, x);
          const long double scale = s.m.levels < 2 ? 1.0L : std::fabs((static_cast<long double>(hi) - lo) / (s.m.levels - 1));
          const long double tol = 4 * DBL_EPSILON * (std::fabs(static_cast<long double>(lo)) + scale * std::fabs(x)) +
                                  4 * DBL_TRUE_MIN;
          RC_ASSERT(std::isfinite(got));
          RC_ASSERT(std::fabs(got - want) <= tol);
        }
        s.m.rows[i][k] = got;
      }
    s.m.normalized = true;
    Check(s.m, s.d);
  }
  void show(std::ostream& os) const override {
    os << "Normalize(" << lo << ", " << hi << (nullErr ? ", null" : "") << ")";
  }
};

struct Print : Cmd {
  void run(const Model&, Sut& s) const override {
    const Shot before = Take(s.d);
    FILE* f = std::tmpfile();
    RC_ASSERT(f != nullptr);
    s.d.Print(f);
    s.d.Print(nullptr);
    std::rewind(f);
    int lines = 0;
    for (int c; (c = std::fgetc(f)) != EOF;)
      if (c == '\n') ++lines;
    std::fclose(f);
    RC_ASSERT(lines == 1 + static_cast<int>(CountedCols(s.m) > 0 ? CountedRows(s.m) : 0));
    RC_ASSERT(Take(s.d) == before);
  }
  void show(std::ostream& os) const override { os << "Print"; }
};

// A point of some dimension, its coordinates drawn from a few levels (so that duplicates
// occur) or from anywhere in the double range.
struct AddPoint : Cmd {
  int pos = *rc::gen::inRange(-2, 9);
  int dim = *rc::gen::weightedOneOf<int>({{5, rc::gen::just(-1)}, {1, rc::gen::inRange(0, 5)}});  // -1: NbVar
  std::vector<double> coords = *rc::gen::container<std::vector<double>>(
      5, rc::gen::weightedOneOf<double>({{6, rc::gen::element(-1.0, 0.0, 1.0, -0.0, 0.5)}, {1, kvtest::AnyDouble()}}));
  int how = *rc::gen::inRange(0, 5);  // 0-1 specific, 2 null point, 3 central at pos, 4 central at 0
  bool nullErr = *rc::gen::weightedOneOf<bool>({{6, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  int shortage = *ShortageGen();
  void run(const Model&, Sut& s) const override {
    const bool central = how >= 3;
    const unsigned d = central ? static_cast<unsigned>(std::max(s.m.nvar, 0))
                               : (dim < 0 ? static_cast<unsigned>(std::max(s.m.nvar, 0)) : static_cast<unsigned>(dim));
    std::vector<double> p(d, 0.0);
    if (!central)
      for (unsigned k = 0; k < d; ++k) p[k] = coords[k % coords.size()];
    int err = 777;
    bool added = false;
    VEC* v = nullptr;
    if (how <= 1) {
      int st = 0;
      v = _LM_v_get("p", 0, static_cast<int>(d), __LINE__, "p", &st);
      RC_ASSERT(st == 0 && v != nullptr);
      for (unsigned k = 0; k < d; ++k) v->ve[k] = p[k];
    }
    Guarded(shortage, s.d, [&] {
      int* e = nullErr ? nullptr : &err;
      switch (how) {
        case 0: case 1: case 2: added = s.d.AddSpecificPoint(v, pos, e); break;
        case 3: added = s.d.AddCentralPoint(pos, e); break;
        default: added = s.d.AddCentralPoint(e); break;
      }
      return added;
    });
    if (v != nullptr) v_free(v);
    const int at = how == 4 ? 0 : pos;
    // What the call may do: a central point needs err; a point of the matrix's width with
    // finite coordinates is added unless an equal row is there.
    bool valid = s.m.hasMatrix && how != 2 && !(central && nullErr) && d == s.m.cols;
    for (double c : p) valid = valid && std::isfinite(c);
    bool dup = false;
    for (const auto& r : s.m.rows) {
      bool same = valid;
      for (unsigned k = 0; k < d && same; ++k) same = r[k] == p[k];
      dup = dup || same;
    }
    if (shortage < 0) RC_ASSERT(added == (valid && !dup));
    if (added) {
      RC_ASSERT(valid && !dup);
      if (!nullErr) RC_ASSERT(err == 0);
      const size_t where = at < 0 ? 0 : std::min<size_t>(static_cast<size_t>(at), s.m.rows.size());
      s.m.rows.insert(s.m.rows.begin() + static_cast<long>(where), p);
      s.m.points = static_cast<int>(s.m.rows.size());
    } else if (!nullErr && !(central && nullErr)) {
      // A duplicate says 0; any other refusal -1.
      if (shortage < 0) RC_ASSERT(err == (valid && dup ? 0 : -1));
      else RC_ASSERT(err == 0 || err == -1);
    }
    Check(s.m, s.d);
  }
  void show(std::ostream& os) const override {
    static const char* names[] = {"AddSpecificPoint", "AddSpecificPoint", "AddSpecificPoint(null)",
                                  "AddCentralPoint(pos)", "AddCentralPoint()"};
    os << names[how] << " pos " << pos << " dim " << dim << " [";
    for (double c : coords) os << c << " ";
    Short(os << "]" << (nullErr ? " null err" : ""), shortage);
  }
};

// The greedy maximin rule, transcribed: K = floor(sqrt(nvar) 10000) candidates, each nvar
// draws 2u - 1 with u = (w + 0.5) / 2^32 from std::mt19937 seeded with 1 (snapped to +-1 for two
// levels); each pick is a candidate farthest from the rows so far (smallest squared distance,
// long double), and then counts as a row. Distances the library sums in double may order
// near-ties differently: a pick within a relative 1e-12 of the farthest is taken, and the
// transcription goes on from the library's own pick.
void CheckMaximin(const Rows& design, int nvar, int levels, const Rows& picks) {
  std::mt19937 gen(1u);
  const int K = static_cast<int>(std::sqrt(static_cast<double>(nvar)) * 10000.0);
  std::vector<std::vector<double>> cand(K, std::vector<double>(nvar));
  for (auto& c : cand)
    for (auto& x : c) {
      const double u = (static_cast<double>(gen()) + 0.5) / 4294967296.0;
      x = 2.0 * u + -1.0;
      if (levels == 2) x = x >= 0 ? 1.0 : -1.0;
    }
  auto dist = [&](const std::vector<double>& row, const std::vector<double>& c) {
    long double d = 0;
    for (int k = 0; k < nvar; ++k) {
      const long double t = static_cast<long double>(row[k]) - c[k];
      d += t * t;
    }
    return d;
  };
  std::vector<long double> best(K, 1e30L);
  for (int j = 0; j < K; ++j)
    for (const auto& r : design) best[j] = std::min(best[j], dist(r, cand[j]));
  for (const auto& p : picks) {
    const long double far = *std::max_element(best.begin(), best.end());
    int pick = -1;
    for (int j = 0; j < K && pick < 0; ++j)
      if (kvtest::SameBits(cand[j], p) && best[j] >= far * (1 - 1e-12L)) pick = j;
    RC_ASSERT(pick >= 0);
    for (int j = 0; j < K; ++j) best[j] = std::min(best[j], dist(p, cand[j]));
    best[pick] = 0;
  }
}

struct Augment : Cmd {
  char method = *rc::gen::element('R', 'r', 'x');
  int n = *rc::gen::weightedOneOf<int>({{5, rc::gen::inRange(0, 3)}, {1, rc::gen::inRange(-2, 0)}});
  int targetRows = *rc::gen::inRange(-2, 4);  // -2: no target; -1: the right shape
  int targetCols = *rc::gen::inRange(-1, 4);  // -1: NbVar
  bool direct = *rc::gen::arbitrary<bool>();  // AddRandomPoints itself, with bounds it ignores
  int shortage = *ShortageGen();
  void run(const Model&, Sut& s) const override {
    MAT* target = nullptr;
    int st = 0;
    if (targetRows != -2) {
      const int r = targetRows == -1 ? std::max(n, 0) : targetRows;
      const int c = targetCols == -1 ? std::max(s.m.nvar, 0) : targetCols;
      target = _LM_m_get("t", 0, r, c, __LINE__, "t", &st);
      RC_ASSERT(st == 0 && target != nullptr);
      for (unsigned i = 0; i < target->m; ++i)
        for (unsigned k = 0; k < target->n; ++k) target->me[i][k] = 42.0;
    }
    std::vector<double> targetBefore;
    if (target != nullptr)
      for (unsigned i = 0; i < target->m; ++i)
        for (unsigned k = 0; k < target->n; ++k) targetBefore.push_back(target->me[i][k]);
    int result = 0;
    const bool ok = Guarded(shortage, s.d, [&] {
      result = direct ? s.d.AddRandomPoints(n, 1e300, -5.0, target) : s.d.AugmentDesign(method, n, target);
      return result == 0;
    });
    const bool methodOk = direct || method == 'R' || method == 'r';
    bool designFinite = true;
    for (const auto& r : s.m.rows)
      for (unsigned k = 0; k < std::min(static_cast<unsigned>(std::max(s.m.nvar, 0)), s.m.cols); ++k)
        designFinite = designFinite && std::isfinite(r[k]);
    const bool shapeOk = target == nullptr || (n >= 0 && target->m == static_cast<unsigned>(n) &&
                                               target->n == static_cast<unsigned>(std::max(s.m.nvar, 0)) && s.m.nvar >= 0);
    const bool valid = methodOk && shapeOk && n >= 0 && s.m.nvar >= 1 &&
                       (!s.m.hasMatrix || s.m.cols == static_cast<unsigned>(s.m.nvar)) &&
                       (n == 0 || designFinite);
    RC_ASSERT(result == 0 || result == -1);
    if (shortage < 0 || n == 0) RC_ASSERT(ok == valid);
    if (ok) RC_ASSERT(valid);
    std::vector<double> targetAfter;
    if (target != nullptr)
      for (unsigned i = 0; i < target->m; ++i)
        for (unsigned k = 0; k < target->n; ++k) targetAfter.push_back(target->me[i][k]);
    if (!ok) RC_ASSERT(kvtest::SameBits(targetAfter, targetBefore));
    if (ok && n > 0) {
      const MAT* dest = target != nullptr ? target : s.d.DesignMatrix;
      const size_t first = target != nullptr ? 0 : s.m.rows.size();
      RC_ASSERT(dest->m == first + static_cast<size_t>(n));
      Rows picks;
      for (int i = 0; i < n; ++i) picks.emplace_back(dest->me[first + i], dest->me[first + i] + s.m.nvar);
      CheckMaximin(s.m.rows, s.m.nvar, s.m.levels, picks);
      if (target == nullptr) {
        for (const auto& r : picks) s.m.rows.push_back(r);
        s.m.hasMatrix = true;
        s.m.cols = static_cast<unsigned>(s.m.nvar);
        s.m.points = static_cast<int>(s.m.rows.size());
      }
    }
    if (target != nullptr) m_free(target);
    Check(s.m, s.d);
  }
  void show(std::ostream& os) const override {
    if (direct) os << "AddRandomPoints(" << n;
    else os << "AugmentDesign('" << method << "', " << n;
    Short(os << ", target " << targetRows << "x" << targetCols << ")", shortage);
  }
};

// The smallest squared distance from a point to rows [first, end) of the design matrix.
struct DistMin : Cmd {
  int first = *rc::gen::inRange(-2, 6);
  int end = *rc::gen::inRange(-2, 9);
  // As many coordinates as the design could count (NbVar is at most 11 here).
  std::vector<double> point = *rc::gen::container<std::vector<double>>(12, kvtest::AnyDouble());
  bool nullPoint = *rc::gen::weightedOneOf<bool>({{8, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  void run(const Model&, Sut& s) const override {
    const Shot before = Take(s.d);
    std::vector<double> p = point;
    const double got = s.d.ComputeDistMin(first, end, nullPoint ? nullptr : p.data(), s.d.DesignMatrix);
    RC_ASSERT(Take(s.d) == before);
    const int f = std::max(first, 0);
    const int e = s.m.hasMatrix ? std::min<int>(end, static_cast<int>(s.m.rows.size())) : 0;
    if (nullPoint || !s.m.hasMatrix || f >= e) {
      RC_ASSERT(got == 1e30);
      return;
    }
    const unsigned w = CountedCols(s.m);
    bool nan = false;
    long double best = INFINITY;
    for (int r = f; r < e && !nan; ++r) {
      long double d = 0;
      for (unsigned k = 0; k < w; ++k) {
        const long double t = static_cast<long double>(s.m.rows[r][k]) - p[k];
        d += t * t;
      }
      if (std::isnan(d)) nan = true;
      else best = std::min(best, d);
    }
    // The library sums in double: a difference or a sum beyond the double range is +inf there.
    if (nan) {
      RC_ASSERT(std::isnan(got));
    } else if (best > DBL_MAX * (1 - 1e-14L)) {
      RC_ASSERT(got >= DBL_MAX * (1 - 1e-14) || std::isinf(got));
    } else if (std::isfinite(got)) {
      RC_ASSERT(std::fabs(got - best) <= 8 * DBL_EPSILON * best + 8 * DBL_TRUE_MIN);
    } else {
      // A difference that overflows though the squares' sum would not (never: a squared
      // difference beyond the range makes the sum beyond it too), or NaN from inf - inf.
      RC_ASSERT(std::isnan(got) || best > DBL_MAX * (1 - 1e-14L));
    }
  }
  void show(std::ostream& os) const override {
    os << "ComputeDistMin(" << first << ", " << end << (nullPoint ? ", null" : "") << ")";
  }
};

struct Scope : Cmd {
  void run(const Model&, Sut& s) const override {
    RC_ASSERT(s.d.GetDebugScope() == Kvelo::MessageToolEnums::SCOPE_DESIGN);
    RC_ASSERT(static_cast<int>(s.d.GetDebugScope()) == 452);
  }
  void show(std::ostream& os) const override { os << "GetDebugScope"; }
};

RC_GTEST_PROP(DesignProps, EveryOperationKeepsThePoints, ()) {
  kvtest::MsgCapture quiet;
  const int nvar = *rc::gen::inRange(0, 4);
  const int levels = *rc::gen::element(0, 1, 2, 3, 5);
  Sut s;
  s.d.NbVar = s.m.nvar = nvar;
  s.d.NbLevels = s.m.levels = levels;
  {
    Design fresh(nvar, levels);  // the constructor's own state
    RC_ASSERT(fresh.NbVar == nvar && fresh.NbLevels == levels && fresh.NbPoints == 0 &&
              fresh.DesignMatrix == nullptr && !fresh.Normalized);
  }
  Model m;
  rc::state::check(m, s,
                   rc::state::gen::execOneOfWithArgs<SetCounts, Allocate, Allocate, Poke, Normalize, Normalize, Print,
                                                     AddPoint, AddPoint, AddPoint, Augment, DistMin, Scope>());
}

// ---- The generator: against the published MT19937 (std::mt19937 and its array seeding). ----

// The published init_by_array seeding, transcribed.
std::vector<uint32_t> ArrayState(const std::vector<unsigned>& key) {
  std::vector<uint32_t> mt(624);
  mt[0] = 19650218u;
  for (int i = 1; i < 624; ++i) mt[i] = 1812433253u * (mt[i - 1] ^ (mt[i - 1] >> 30)) + i;
  int i = 1, j = 0;
  const int n = static_cast<int>(key.size());
  for (int k = std::max(624, n); k; --k) {
    mt[i] = (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1664525u)) + key[j] + j;
    if (++i >= 624) { mt[0] = mt[623]; i = 1; }
    if (++j >= n) j = 0;
  }
  for (int k = 623; k; --k) {
    mt[i] = (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1566083941u)) - i;
    if (++i >= 624) { mt[0] = mt[623]; i = 1; }
  }
  mt[0] = 0x80000000u;
  return mt;
}

// A generator whose state is given, then run as MT19937 (std::mt19937 takes its state
// through a stream).
std::mt19937 FromState(const std::vector<uint32_t>& mt) {
  std::stringstream ss;
  for (uint32_t w : mt) ss << w << ' ';
  std::mt19937 g;
  ss >> g;
  return g;
}

struct RandSut {
  C_RandNum r;
  bool ready = false;
  std::mt19937 ref;
  std::vector<unsigned> seeds;
  double lo = 0, hi = 1;
};
struct RandModel {};
using RCmd = rc::state::Command<RandModel, RandSut>;

void CheckSeeds(RandSut& s) {
  unsigned seed = 0;
  int size = -5;
  if (!s.ready) {
    RC_ASSERT(s.r.GetSeed(seed) == 1);
    RC_ASSERT(s.r.GetSeedVectorSize(size) == 1);
    RC_ASSERT(s.r.GetSeed(0, seed) == 1);
    return;
  }
  RC_ASSERT(s.r.GetSeed(seed) == 0 && seed == s.seeds[0]);
  RC_ASSERT(s.r.GetSeedVectorSize(size) == 0 && size == static_cast<int>(s.seeds.size()));
  for (int i = -1; i <= size; ++i) {
    unsigned v = 4242;
    const int rc = s.r.GetSeed(i, v);
    if (i < 0 || i >= size) RC_ASSERT(rc == 1 && v == 4242u);
    else RC_ASSERT(rc == 0 && v == s.seeds[i]);
  }
}

struct InitOne : RCmd {
  int type = *rc::gen::inRange(-1, 4);
  unsigned seed = *rc::gen::weightedOneOf<unsigned>({{1, rc::gen::just(0u)}, {5, rc::gen::arbitrary<unsigned>()}});
  int shortage = *ShortageGen();
  void run(const RandModel&, RandSut& s) const override {
    int rc;
    if (shortage >= 0) {
      kvtest::NoMemory nm(shortage);
      rc = s.r.Init(static_cast<E_InitSeedType>(type), seed);
    } else {
      rc = s.r.Init(static_cast<E_InitSeedType>(type), seed);
    }
    const bool valid = type == E_SeedFixed || (type == E_SeedGiven && seed != 0) || type == E_SeedFromClock;
    if (shortage < 0) RC_ASSERT((rc == 0) == valid);
    RC_ASSERT(rc == 0 || rc == 1);
    if (rc == 0) {
      RC_ASSERT(valid);
      unsigned used = 0;
      RC_ASSERT(s.r.GetSeed(used) == 0);
      if (type == E_SeedFixed) RC_ASSERT(used == 123457u);
      if (type == E_SeedGiven) RC_ASSERT(used == seed);
      s.ready = true;
      s.seeds = {used};
      s.ref = std::mt19937(used);
    }
    CheckSeeds(s);
  }
  void show(std::ostream& os) const override { Short(os << "Init(type " << type << ", " << seed << ")", shortage); }
};

struct InitArray : RCmd {
  std::vector<unsigned> seeds = *rc::gen::container<std::vector<unsigned>>(
      rc::gen::weightedOneOf<unsigned>({{1, rc::gen::just(0u)}, {8, rc::gen::arbitrary<unsigned>()}}));
  int n = *rc::gen::inRange(-1, 2);  // -1: fewer than given, 0: as given, 1: null seeds
  int shortage = *ShortageGen();
  void run(const RandModel&, RandSut& s) const override {
    const int count = n == -1 ? static_cast<int>(seeds.size()) - 1 : static_cast<int>(seeds.size());
    const unsigned* p = n == 1 || seeds.empty() ? nullptr : seeds.data();
    int rc;
    if (shortage >= 0) {
      kvtest::NoMemory nm(shortage);
      rc = s.r.Init(count, p);
    } else {
      rc = s.r.Init(count, p);
    }
    bool valid = count > 0 && p != nullptr;
    for (int i = 0; valid && i < count; ++i) valid = seeds[i] != 0;
    if (shortage < 0) RC_ASSERT((rc == 0) == valid);
    if (rc == 0) {
      RC_ASSERT(valid);
      s.ready = true;
      s.seeds.assign(seeds.begin(), seeds.begin() + count);
      s.ref = FromState(ArrayState(s.seeds));
    }
    CheckSeeds(s);
  }
  void show(std::ostream& os) const override {
    os << "Init(" << seeds.size() << " seeds, form " << n << ")";
    Short(os, shortage);
  }
};

struct Range : RCmd {
  double lo = *rc::gen::weightedOneOf<double>({{3, kvtest::TameDouble()}, {1, kvtest::FiniteDouble()}});
  double hi = *rc::gen::weightedOneOf<double>({{3, kvtest::TameDouble()}, {1, kvtest::FiniteDouble()}});
  void run(const RandModel&, RandSut& s) const override {
    s.r.SetRangeValue(lo, hi);
    s.lo = lo;
    s.hi = hi;
  }
  void show(std::ostream& os) const override { os << "SetRangeValue(" << lo << ", " << hi << ")"; }
};

struct Draw : RCmd {
  int n = *rc::gen::weightedOneOf<int>({{6, rc::gen::inRange(0, 40)}, {1, rc::gen::inRange(-2, 1)}, {1, rc::gen::inRange(600, 1300)}});
  int kind = *rc::gen::inRange(0, 3);  // double, float, int
  void run(const RandModel&, RandSut& s) const override {
    const size_t room = static_cast<size_t>(std::max(n, 0)) + 2;
    std::vector<double> d(room, -7.0);
    std::vector<float> f(room, -7.0f);
    std::vector<int> k(room, -7);
    double* pd = d.data() + 1;
    float* pf = f.data() + 1;
    int* pk = k.data() + 1;
    int rc;
    switch (kind) {
      case 0: rc = s.r.GetRandNum(n, pd); break;
      case 1: rc = s.r.GetRandNum(n, pf); break;
      default: rc = s.r.GetRandNum(n, pk); break;
    }
    const int drawn = s.ready && n > 0 ? n : 0;
    RC_ASSERT(rc == (s.ready ? 0 : 1));
    // Nothing outside the n outputs changes.
    RC_ASSERT(d.front() == -7.0 && d.back() == -7.0 && f.front() == -7.0f && f.back() == -7.0f &&
              k.front() == -7 && k.back() == -7);
    const long double lo = s.lo, hi = s.hi;
    for (int i = 0; i < drawn; ++i) {
      const long double u = (static_cast<long double>(s.ref()) + 0.5L) / 4294967296.0L;
      const long double want = lo + (hi - lo) * u;
      const long double tol = 4 * DBL_EPSILON * (std::fabs(lo) + std::fabs(hi - lo)) + 4 * DBL_TRUE_MIN;
      switch (kind) {
        case 0:
          RC_ASSERT(std::isfinite(pd[i]));
          RC_ASSERT(std::fabs(pd[i] - want) <= tol);
          RC_ASSERT(pd[i] >= std::min(s.lo, s.hi) && pd[i] <= std::max(s.lo, s.hi));
          break;
        case 1:
          if (std::fabs(want) < FLT_MAX / 2)
            RC_ASSERT(std::fabs(pf[i] - want) <= 4 * FLT_EPSILON * (std::fabs(lo) + std::fabs(hi - lo)) + FLT_TRUE_MIN);
          RC_ASSERT(!std::isnan(pf[i]));
          break;
        default:
          if (std::fabs(want) < 2e9L) RC_ASSERT(std::fabs(pk[i] - std::trunc(want)) <= 1 + tol);
          break;
      }
    }
  }
  void show(std::ostream& os) const override {
    static const char* names[] = {"double", "float", "int"};
    os << "GetRandNum<" << names[kind] << ">(" << n << ")";
  }
};

RC_GTEST_PROP(RandNumProps, DrawsFollowThePublishedGenerator, ()) {
  RandSut s;
  CheckSeeds(s);
  RandModel m;
  rc::state::check(m, s, rc::state::gen::execOneOfWithArgs<InitOne, InitArray, Range, Draw, Draw, Draw>());
}

}  // namespace
