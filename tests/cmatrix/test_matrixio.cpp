// Tests of the text forms of MAT, VEC and PERM: the exact printed layouts (line breaks,
// NULL records, missing blocks), the dumps, the readers on the printed forms (round trips
// up to the 2001 limit, infinities, NaN and subnormals included), comment skipping, every
// error code of the readers, numbers beyond their type, the scanning primitives at the
// edges of long long and double, and records handed in that are smaller or larger than the
// heading. What a refused form leaves behind is tested in test_matrixio_refusal.
#include <gtest/gtest.h>

#include <cctype>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "cmat_support.h"
#include "cmatrix/lm_textin.h"
#include "dense_fixtures.h"
#include "matrix.h"

using namespace cmat_test;

namespace {

// One value as the printers write it: the format "%14.9g ".
std::string V(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%14.9g ", x);
  return buf;
}

MAT* ReadMat(const std::string& text, MAT* A, int* st) {
  TextFile in(text);
  return _LM_m_finput(in.get(), A, __LINE__, "read", st);
}
VEC* ReadVec(const std::string& text, VEC* x, int* st) {
  TextFile in(text);
  return _LM_v_finput(in.get(), x, __LINE__, "read", st);
}
PERM* ReadPerm(const std::string& text, PERM* p, int* st) {
  TextFile in(text);
  return _LM_px_finput(in.get(), p, __LINE__, "read", st);
}

// One call of a scanning primitive: the text, what the scan gives, the value it writes (only
// on Ok; a NaN means any NaN) and what it leaves in the stream.
template <class T>
struct ScanCase {
  const char* text;
  kvlm::Scan scan;
  T value;
  const char* rest;
};

// Every case through scan(stream, &value): the result, the value written only on Ok (a
// value of -42 stays otherwise), and the rest of the stream.
template <class T, size_t N, class ScanFn>
void ExpectScans(const ScanCase<T> (&cases)[N], ScanFn scan) {
  for (const ScanCase<T>& c : cases) {
    TextFile in(c.text);
    T v = -42;
    EXPECT_EQ(scan(in.get(), &v), c.scan) << c.text;
    if (c.scan != kvlm::Scan::Ok) {
      EXPECT_EQ(v, -42) << c.text;
    } else if (std::isnan(c.value)) {  // false for every integer
      EXPECT_TRUE(std::isnan(v)) << c.text;
    } else {
      EXPECT_EQ(v, c.value) << c.text;
    }
    EXPECT_EQ(in.Rest(), c.rest) << c.text;
  }
}

// Whether s is pattern with each '#' standing for one or more hexadecimal digits.
bool MatchHex(const std::string& s, const std::string& pattern) {
  size_t i = 0;
  for (char c : pattern) {
    if (c != '#') {
      if (i >= s.size() || s[i] != c) return false;
      ++i;
      continue;
    }
    const size_t start = i;
    while (i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i]))) ++i;
    if (i == start) return false;
  }
  return i == s.size();
}

}  // namespace

TEST(TextPrint, MatrixLayout) {
  MatP A(NewMat({{1, 2, 3}, {4, 5, 6}}));
  EXPECT_EQ(CaptureFile([&](FILE* f) { m_foutput(f, A.get()); }),
            "Matrix: 2 by 3\nrow 0: " + V(1) + V(2) + V(3) + "\nrow 1: " + V(4) + V(5) + V(6) + "\n");
  // Nine columns: a line with the label and four values, then one with five values.
  std::vector<double> nine(9);
  for (int j = 0; j < 9; ++j) nine[j] = j + 0.5;
  MatP B(cmat_test::NewMat(1, 9, nine));
  std::string want = "Matrix: 1 by 9\nrow 0: ";
  for (int j = 0; j < 4; ++j) want += V(nine[j]);
  want += "\n";
  for (int j = 4; j < 9; ++j) want += V(nine[j]);
  want += "\n";
  EXPECT_EQ(CaptureFile([&](FILE* f) { m_foutput(f, B.get()); }), want);
  // Five columns: the fifth value starts a line of its own.
  MatP C(cmat_test::NewMat(1, 5, {1, 2, 3, 4, 5}));
  EXPECT_EQ(CaptureFile([&](FILE* f) { m_foutput(f, C.get()); }),
            "Matrix: 1 by 5\nrow 0: " + V(1) + V(2) + V(3) + V(4) + "\n" + V(5) + "\n");
  int st = 0;
  MatP E(_LM_m_get("t", 0, 2, 0, __LINE__, "get", &st));
  EXPECT_EQ(CaptureFile([&](FILE* f) { m_foutput(f, E.get()); }), "Matrix: 2 by 0\nrow 0: \nrow 1: \n");
  EXPECT_EQ(CaptureFile([&](FILE* f) { m_foutput(f, nullptr); }), "Matrix: NULL\n");
  MAT noTable{1, 1, 0, 0, 0, nullptr, nullptr};
  EXPECT_EQ(CaptureFile([&](FILE* f) { m_foutput(f, &noTable); }), "Matrix: 1 by 1\nNULL\n");
}

TEST(TextPrint, VectorAndPermutationLayout) {
  VecP v(NewVec({1, 2, 3, 4, 5, 6, 7.25}));
  EXPECT_EQ(CaptureFile([&](FILE* f) { v_foutput(f, v.get()); }),
            "Vector: dim: 7\n" + V(1) + V(2) + V(3) + V(4) + V(5) + "\n" + V(6) + V(7.25) + "\n");
  VecP five(NewVec({1, 2, 3, 4, 5}));
  EXPECT_EQ(CaptureFile([&](FILE* f) { v_foutput(f, five.get()); }),
            "Vector: dim: 5\n" + V(1) + V(2) + V(3) + V(4) + V(5) + "\n");
  VecP e(NewVec({}));
  EXPECT_EQ(CaptureFile([&](FILE* f) { v_foutput(f, e.get()); }), "Vector: dim: 0\n");
  EXPECT_EQ(CaptureFile([&](FILE* f) { v_foutput(f, nullptr); }), "Vector: NULL\n");
  VEC noBlock{2, 0, nullptr};
  EXPECT_EQ(CaptureFile([&](FILE* f) { v_foutput(f, &noBlock); }), "Vector: dim: 2\nNULL\n");

  PermP p(NewPerm({8, 7, 6, 5, 4, 3, 2, 1, 0}));
  EXPECT_EQ(CaptureFile([&](FILE* f) { px_foutput(f, p.get()); }),
            "Permutation: size: 9\n0->8 1->7 2->6 3->5 4->4 5->3 6->2 7->1 \n  8->0 \n");
  PermP q(NewPerm({1, 0}));
  EXPECT_EQ(CaptureFile([&](FILE* f) { px_foutput(f, q.get()); }), "Permutation: size: 2\n0->1 1->0 \n");
  EXPECT_EQ(CaptureFile([&](FILE* f) { px_foutput(f, nullptr); }), "Permutation: NULL\n");
  PERM noEntries{3, 0, nullptr};
  EXPECT_EQ(CaptureFile([&](FILE* f) { px_foutput(f, &noEntries); }), "Permutation: size: 3\nNULL\n");
}

TEST(TextPrint, Dumps) {
  MatP A(NewMat({{1, 2, 3}, {4, 5, 6}}));
  const std::string md = CaptureFile([&](FILE* f) { m_dump(f, A.get()); });
  EXPECT_TRUE(MatchHex(md, "Matrix: 2 by 3 @ 0x#\n\tmax_m = 2, max_n = 3, max_size = 6\n"
                           "a->me @ 0x#\na->base @ 0x#\nrow 0: @ 0x# " + V(1) + V(2) + V(3) +
                           "\nrow 1: @ 0x# " + V(4) + V(5) + V(6) + "\n"))
      << md;
  MAT noTable{1, 1, 1, 1, 1, nullptr, nullptr};
  const std::string nd = CaptureFile([&](FILE* f) { m_dump(f, &noTable); });
  EXPECT_TRUE(MatchHex(nd, "Matrix: 1 by 1 @ 0x#\n\tmax_m = 1, max_n = 1, max_size = 1\nNULL\n")) << nd;

  VecP v(NewVec({1, 2}));
  const std::string vd = CaptureFile([&](FILE* f) { v_dump(f, v.get()); });
  EXPECT_TRUE(MatchHex(vd, "Vector: dim: 2 @ 0x#\nx->ve @ 0x#\n" + V(1) + V(2) + "\n")) << vd;
  PermP p(NewPerm({2, 0, 1}));
  const std::string pd = CaptureFile([&](FILE* f) { px_dump(f, p.get()); });
  EXPECT_TRUE(MatchHex(pd, "Permutation: size: 3 @ 0x#\npx->pe @ 0x#\n0->2 1->0 2->1 \n")) << pd;
  EXPECT_EQ(CaptureFile([&](FILE* f) { m_dump(f, nullptr); }), "Matrix: NULL\n");
  EXPECT_EQ(CaptureFile([&](FILE* f) { v_dump(f, nullptr); }), "Vector: NULL\n");
  EXPECT_EQ(CaptureFile([&](FILE* f) { px_dump(f, nullptr); }), "Permutation: NULL\n");
}

TEST(TextRead, SkipjunkStopsAtTheFirstCharacterThatMatters) {
  TextFile a("  \n# one\n\t# two # still two\n  x y");
  EXPECT_EQ(skipjunk(a.get()), 0);
  EXPECT_EQ(a.Rest(), "x y");
  TextFile b("  # a comment without its line break");
  EXPECT_EQ(skipjunk(b.get()), 0);
  EXPECT_EQ(b.Rest(), "");
}

TEST(TextRead, PrintedFormsReadBack) {
  std::mt19937 g(6);
  std::uniform_real_distribution<double> d(-1e3, 1e3);
  int st = 0;
  const int shapes[][2] = {{1, 1}, {3, 7}, {4, 9}, {2001, 2}, {2, 2001}};
  for (const auto& s : shapes) {
    MatP A(_LM_m_get("t", 0, s[0], s[1], __LINE__, "get", &st));
    for (int i = 0; i < s[0]; ++i)
      for (int j = 0; j < s[1]; ++j) A->me[i][j] = d(g);
    MatP B(ReadMat(CaptureFile([&](FILE* f) { m_foutput(f, A.get()); }), nullptr, &st));
    ASSERT_NE(B, nullptr);
    EXPECT_EQ(st, 0);
    ASSERT_EQ(B->m, A->m);
    ASSERT_EQ(B->n, A->n);
    for (int i = 0; i < s[0]; ++i)
      for (int j = 0; j < s[1]; ++j) ASSERT_NEAR(B->me[i][j], A->me[i][j], 1e-8 * std::fabs(A->me[i][j]));
  }
  for (int n : {1, 5, 6, 2001}) {
    VecP x(_LM_v_get("t", 0, n, __LINE__, "get", &st));
    for (int i = 0; i < n; ++i) x->ve[i] = d(g);
    VecP y(ReadVec(CaptureFile([&](FILE* f) { v_foutput(f, x.get()); }), nullptr, &st));
    ASSERT_NE(y, nullptr);
    EXPECT_EQ(st, 0);
    ASSERT_EQ(y->dim, x->dim);
    for (int i = 0; i < n; ++i) ASSERT_NEAR(y->ve[i], x->ve[i], 1e-8 * std::fabs(x->ve[i]));
  }
  for (unsigned n : {1u, 8u, 9u, 2001u}) {
    std::vector<unsigned> pv(n);
    for (unsigned i = 0; i < n; ++i) pv[i] = (i * 7 + 3) % n;
    if (n % 7 == 0) continue;
    PermP p(NewPerm(pv));
    PermP q(ReadPerm(CaptureFile([&](FILE* f) { px_foutput(f, p.get()); }), nullptr, &st));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(Entries(q.get()), pv);
  }
}

TEST(TextRead, BlankLinesCommentsAndLooseLabels) {
  int st = 0;
  MatP A(ReadMat("\n# saved matrix\n\n  Matrix: 2 by 3\n# first row\nrow 0: 1 2 3\n\n row 1: 4 5 6\n", nullptr, &st));
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(Rows(A.get()), (std::vector<double>{1, 2, 3, 4, 5, 6}));
  // The number of a row label is read but not used; as with formatted input a missing
  // colon after it is let through.
  MatP B(ReadMat("Matrix: 1 by 2\nrow 7 1.5 -2\n", nullptr, &st));
  ASSERT_NE(B, nullptr);
  EXPECT_EQ(Rows(B.get()), (std::vector<double>{1.5, -2}));
  VecP v(ReadVec("# v\nVector: dim:3\n# values\n 1e3 -2.5\n0.125", nullptr, &st));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(Values(v.get()), (std::vector<double>{1000, -2.5, 0.125}));
  PermP p(ReadPerm("Permutation: size:3\n  # entries\n 0 -> 2  1->0\n 2 ->1", nullptr, &st));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(Entries(p.get()), (std::vector<unsigned>{2, 0, 1}));
}

TEST(TextRead, EmptySizesGiveOneElement) {
  int st = 0;
  VecP v(ReadVec("Vector: dim: 0\n", nullptr, &st));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(Values(v.get()), std::vector<double>{0});
  MatP A(ReadMat("Matrix: 0 by 3\n", nullptr, &st));
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(A->m, 1u);
  EXPECT_EQ(Rows(A.get()), (std::vector<double>{0, 0, 0}));
}

TEST(TextRead, ErrorCodes) {
  const struct {
    char kind;  // m, v or p
    const char* text;
    int code;
  } cases[] = {
      {'m', "Matrix: 2 by", 18},
      {'m', "Matr", 18},
      {'m', "", 18},
      {'m', "Matrix: 2002 by 1\n", 6},
      {'m', "Matrix: 1 by 2002\n", 6},
      {'m', "Matrix: 2 x 3\n", 6},
      {'m', "Vector: dim: 2\n", 6},
      {'m', "Matrix: 1 by 1\nRow 0: 1\n", 6},
      {'m', "Matrix: 2 by 1\nrow 0: 1\n", 6},  // second label cut off by the end
      {'m', "Matrix: 1 by 2\nrow 0: 1", 7},
      {'m', "Matrix: 1 by 2\nrow 0: 1 # no\n", 6},
      {'v', "Vector: dim", 7},
      {'v', "", 7},
      {'v', "Vector: dim: 2002\n", 6},
      {'v', "Vector: size: 2\n", 6},
      {'p', "Permutation: size", 7},
      {'p', "Permutation: size: 2002\n", 6},
      {'p', "Permutation: dim: 2\n", 6},
      {'p', "Permutation: size: 3\n0->0 1->2 2->2\n", 2},  // repeated at the third entry
      {'p', "Permutation: size: 2\n0->0 1->2\n", 2},       // equal to the size
      {'p', "Permutation: size: 2\n0->0 1->-1\n", 2},
      {'p', "Permutation: size: 2\n0->1 1->", 7},
      {'p', "Permutation: size: 2\n0=>1 1->0", 6},
      // Numbers beyond their type are refused, never wrapped into another value (these
      // once read as 2, 5 and 0 and were accepted).
      {'v', "Vector: dim: 92233720368547758082\n 1 2\n", 6},
      {'m', "Matrix: 92233720368547758082 by 1\nrow 0: 1\nrow 1: 2\n", 6},
      {'m', "Matrix: 1 by 1\nrow 92233720368547758085: 1\n", 6},
      {'p', "Permutation: size: 2\n0->92233720368547758080 1->1\n", 6},
      {'p', "Permutation: size: 2\n92233720368547758080->1 1->0\n", 6},
      {'p', "Permutation: size: 1\n0->-92233720368547758080\n", 6},
      {'m', "Matrix: 1 by 2\nrow 0: 1 1e400\n", 6},
      {'m', "Matrix: 1 by 1\nrow 0: -1e99999999999999999999\n", 6},
  };
  for (const auto& c : cases) {
    ErrWatch w;
    int st = 0;
    void* r = nullptr;
    const char* routine = "";
    if (c.kind == 'm') r = ReadMat(c.text, nullptr, &st), routine = "bm_finput";
    if (c.kind == 'v') r = ReadVec(c.text, nullptr, &st), routine = "bfin_vec";
    if (c.kind == 'p') r = ReadPerm(c.text, nullptr, &st), routine = "bpx_finput";
    EXPECT_EQ(r, nullptr) << c.text;  // anything made on the way is released
    EXPECT_EQ(st, -1) << c.text;
    EXPECT_EQ(w.last(), c.code) << c.text;
    EXPECT_EQ(w.routine(), routine) << c.text;
    EXPECT_EQ(w.file(), "matrixio");
  }
}

TEST(TextRead, VectorReaderGoesOnAfterABadValue) {
  int st = 0;
  ErrWatch w;
  VecP given(NewVec({9, 9, 9, 9}));
  EXPECT_EQ(ReadVec("Vector: dim: 4\n 1.5 abc 2 3\n", given.get(), &st), given.get());
  EXPECT_EQ(st, -1);
  // The text that cannot be converted stays in the stream: each later value fails too.
  EXPECT_EQ(w.count(), 3);
  EXPECT_EQ(w.last(), 6);
  // The values read are not installed: the vector comes back as it was handed in.
  EXPECT_EQ(Values(given.get()), (std::vector<double>{9, 9, 9, 9}));
  // At the end of the input each missing value reports code 7; with no vector handed in
  // nothing is made.
  ErrWatch w2;
  EXPECT_EQ(ReadVec("Vector: dim: 3\n 1", nullptr, &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w2.count(), 2);
  EXPECT_EQ(w2.last(), 7);
}

TEST(TextRead, VectorValuesBeyondTheLargestDoubleAreRefusedAndTheReadGoesOn) {
  int st = 0;
  ErrWatch w;
  VecP given(NewVec({9, 9, 9}));
  TextFile in("Vector: dim: 3\n 1 1e400 2\nrest");
  EXPECT_EQ(_LM_v_finput(in.get(), given.get(), __LINE__, "read", &st), given.get());
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.count(), 1);
  EXPECT_EQ(w.last(), 6);
  // The refused text is consumed and the value after it read: only what follows the form
  // is left; the vector stays as it was.
  EXPECT_EQ(in.Rest(), "\nrest");
  EXPECT_EQ(Values(given.get()), (std::vector<double>{9, 9, 9}));
}

TEST(TextRead, InfinitiesNanAndSubnormalsReadBackAsPrinted) {
  const std::vector<double> vals{HUGE_VAL, -HUGE_VAL, std::nan(""), 4.9406564584124654e-324, 1e-310,
                                 1.79769313e308, -0.0};
  VecP x(NewVec(vals));
  int st = 0;
  VecP y(ReadVec(CaptureFile([&](FILE* f) { v_foutput(f, x.get()); }), nullptr, &st));
  ASSERT_NE(y, nullptr);
  EXPECT_EQ(st, 0);
  ASSERT_EQ(y->dim, vals.size());
  EXPECT_EQ(y->ve[0], HUGE_VAL);
  EXPECT_EQ(y->ve[1], -HUGE_VAL);
  EXPECT_TRUE(std::isnan(y->ve[2]));
  EXPECT_EQ(y->ve[3], 4.9406564584124654e-324);
  EXPECT_NEAR(y->ve[4], 1e-310, 1e-318);
  EXPECT_EQ(y->ve[5], 1.79769313e308);
  EXPECT_TRUE(std::signbit(y->ve[6]));
}

// The scanning primitives that every text reader (the integer and long vectors' included)
// stands on, at the edges of their types: what they give and what they leave in the stream.
TEST(TextScan, IntegersAtTheEdgesOfLongLong) {
  using kvlm::Scan;
  const ScanCase<long long> cases[] = {
      {"9223372036854775807 x", Scan::Ok, LLONG_MAX, " x"},
      {"-9223372036854775808\n", Scan::Ok, LLONG_MIN, "\n"},
      {"  +12:", Scan::Ok, 12, ":"},
      {"0007", Scan::Ok, 7, ""},
      {"9223372036854775808", Scan::Range, 0, ""},
      {"-9223372036854775809 1", Scan::Range, 0, " 1"},
      {"92233720368547758085 7", Scan::Range, 0, " 7"},
      {"123456789012345678901234567890->", Scan::Range, 0, "->"},
      {"-", Scan::End, 0, ""},
      {"", Scan::End, 0, ""},
      {"-x", Scan::Mismatch, 0, "x"},
      {"abc", Scan::Mismatch, 0, "abc"},
  };
  ExpectScans(cases, kvlm::ScanInteger);
}

TEST(TextScan, DoublesAtTheEdgesOfTheRange) {
  using kvlm::Scan;
  const ScanCase<double> cases[] = {
      {" 1.5e3 x", Scan::Ok, 1500, " x"},
      {"-.25", Scan::Ok, -0.25, ""},
      {"12abc", Scan::Ok, 12, "abc"},
      {"0x1.8p1 ", Scan::Ok, 3, " "},
      {"1.7976931348623157e308", Scan::Ok, DBL_MAX, ""},
      {"4.9406564584124654e-324", Scan::Ok, 4.9406564584124654e-324, ""},
      {"1e-400", Scan::Ok, 0.0, ""},
      {"1e-99999999999999999999", Scan::Ok, 0.0, ""},
      {"0e99999999999999999999 2", Scan::Ok, 0.0, " 2"},
      {"inf", Scan::Ok, HUGE_VAL, ""},
      {"-Infinity,", Scan::Ok, -HUGE_VAL, ","},
      {"nan ", Scan::Ok, std::nan(""), " "},
      {"-nan(123)", Scan::Ok, std::nan(""), ""},
      {"1.8e308", Scan::Range, 0, ""},
      {"-1e400 5", Scan::Range, 0, " 5"},
      {"1e99999999999999999999", Scan::Range, 0, ""},
      {"1e+", Scan::Mismatch, 0, ""},
      {"1e+x", Scan::Mismatch, 0, "x"},
      {".", Scan::Mismatch, 0, ""},
      {"infin", Scan::Mismatch, 0, ""},
      {"abc", Scan::Mismatch, 0, "abc"},
      {"", Scan::End, 0, ""},
      {"-", Scan::End, 0, ""},
  };
  ExpectScans(cases, kvlm::ScanDouble);
}

// A record handed in takes the heading's size, as a new one does: a smaller one (in rows,
// columns or both) is grown without a write past it, a larger one cut down so that its sizes
// tell which values were read and no old value passes for a read one.
TEST(TextRead, RecordsHandedInTakeTheHeadingsSize) {
  int st = 0;
  const std::string m23 = "Matrix: 2 by 3\nrow 0: 1 2 3\nrow 1: 4 5 6\n";
  const int shapes[][2] = {{1, 1}, {3, 1}, {2, 2}, {1, 3}, {3, 3}, {4, 5}, {2, 3}};
  for (const auto& sh : shapes) {
    MatP A(_LM_m_get("t", 0, sh[0], sh[1], __LINE__, "get", &st));
    for (int i = 0; i < sh[0]; ++i)
      for (int j = 0; j < sh[1]; ++j) A->me[i][j] = 9;
    ASSERT_EQ(ReadMat(m23, A.get(), &st), A.get()) << sh[0] << "x" << sh[1];
    EXPECT_EQ(st, 0);
    EXPECT_EQ(A->m, 2u) << sh[0] << "x" << sh[1];
    EXPECT_EQ(A->n, 3u) << sh[0] << "x" << sh[1];
    EXPECT_EQ(Rows(A.get()), (std::vector<double>{1, 2, 3, 4, 5, 6})) << sh[0] << "x" << sh[1];
  }
  VecP small(NewVec({7}));
  ASSERT_EQ(ReadVec("Vector: dim: 3\n 1 2 3\n", small.get(), &st), small.get());
  EXPECT_EQ(Values(small.get()), (std::vector<double>{1, 2, 3}));
  VecP large(NewVec({7, 7, 7, 7, 7}));
  ASSERT_EQ(ReadVec("Vector: dim: 3\n 1 2 3\n", large.get(), &st), large.get());
  EXPECT_EQ(Values(large.get()), (std::vector<double>{1, 2, 3}));
  // A size-3 form into a permutation of size 5: once (0 1 2 1 0), no permutation at all.
  PermP p(NewPerm({4, 3, 2, 1, 0}));
  ASSERT_EQ(ReadPerm("Permutation: size: 3\n0->0 1->1 2->2\n", p.get(), &st), p.get());
  EXPECT_EQ(st, 0);
  EXPECT_EQ(Entries(p.get()), (std::vector<unsigned>{0, 1, 2}));
  PermP q(NewPerm({0}));
  ASSERT_EQ(ReadPerm("Permutation: size: 3\n0->2 1->0 2->1\n", q.get(), &st), q.get());
  EXPECT_EQ(Entries(q.get()), (std::vector<unsigned>{2, 0, 1}));
  // Empty headings leave the one element every record keeps at 0, not at an old value.
  VecP ev(NewVec({5, 5, 5}));
  ASSERT_EQ(ReadVec("Vector: dim: 0\n", ev.get(), &st), ev.get());
  EXPECT_EQ(Values(ev.get()), std::vector<double>{0});
  MatP em(NewMat({{9, 9}, {9, 9}}));
  ASSERT_EQ(ReadMat("Matrix: 0 by 3\n", em.get(), &st), em.get());
  EXPECT_EQ(em->m, 1u);
  EXPECT_EQ(Rows(em.get()), (std::vector<double>{0, 0, 0}));
  MatP en(NewMat({{9, 9, 9}, {9, 9, 9}, {9, 9, 9}}));
  ASSERT_EQ(ReadMat("Matrix: 2 by 0\nrow 0:\nrow 1:\n", en.get(), &st), en.get());
  EXPECT_EQ(en->m, 2u);
  EXPECT_EQ(Rows(en.get()), (std::vector<double>{0, 0}));
  PermP ep(NewPerm({2, 0, 1}));
  ASSERT_EQ(ReadPerm("Permutation: size: 0\n", ep.get(), &st), ep.get());
  EXPECT_EQ(Entries(ep.get()), std::vector<unsigned>{0});
  // A failure leaves a record handed in as it was: no value read before it is installed.
  MatP keep(NewMat({{0, 0}, {0, 0}}));
  EXPECT_EQ(ReadMat("Matrix: 2 by 2\nrow 0: 1 2\nrow 1: 3 x\n", keep.get(), &st), nullptr);
  EXPECT_EQ(Rows(keep.get()), (std::vector<double>{0, 0, 0, 0}));
  // The variadic readers take the status as their last argument.
  TextFile in("Vector: dim: 1\n 4\n");
  st = 5;
  VecP r(_LM_bfin_vec(in.get(), nullptr, __LINE__, "read", &st));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(st, 0);
}
