/* test_C_MatMGe_failonce.cpp: the general matrix when one request for its column table fails.
 * Whichever request fails, every operation either completes or throws 1001 with the matrix
 * as it was: its shape, its leading dimension and its values, and a column table that points
 * into its own storage.
 * The table is allocated by the matrix's header code, which is compiled into this test; the
 * test's own kvelomem_realloc below therefore stands in for the library's for those requests
 * (and for nothing the library does itself) and can refuse the k-th request for the table.
 * Every other request goes to the C heap, as the library's does. */
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "C_MatMGe.h"
#include "binfile.h"
#include "kvelosys.h"
#include "mat_support.h"

namespace {
int g_tableRequests = 0;  // requests for the column table since the last Arm
int g_refuse = 0;         // the request (1-based) that is refused; 0: none

void Arm(int refuse) {
  g_tableRequests = 0;
  g_refuse = refuse;
}
}  // namespace

extern "C" void* kvelomem_realloc(void* block, size_t size, const char* tag, int, const char*, int) {
  if (tag && std::strcmp(tag, "C_MatMGe<T>::ConnectCols") == 0 && ++g_tableRequests == g_refuse) {
    errno = ENOMEM;
    return nullptr;
  }
  return std::realloc(block, size);
}

namespace {

// What can be seen of a matrix without trusting its column table: the shape, ld, the values
// read from the storage through ld, and whether every table entry points at its column.
struct State {
  int rows = 0, cols = 0, ld = 0;
  std::vector<double> values;
  bool tableSound = true;
  bool operator==(const State& o) const {
    return rows == o.rows && cols == o.cols && ld == o.ld && values == o.values && tableSound && o.tableSound;
  }
};

State StateOf(const C_MatMGe<double>& m) {
  State s;
  s.rows = m.rows, s.cols = m.cols, s.ld = m.Ld();
  const double* a = m.Adr();
  for (int j = 0; j < m.cols; j++)
    for (int i = 0; i < m.rows; i++) s.values.push_back(a[i + static_cast<long long>(j) * m.Ld()]);
  if (m.rows > 0)
    for (int j = 0; j < m.cols; j++) s.tableSound = s.tableSound && m.col && m.col[j] == a + static_cast<long long>(j) * m.Ld();
  return s;
}

std::string Describe(const State& s) {
  std::string out = std::to_string(s.rows) + " x " + std::to_string(s.cols) + " ld " + std::to_string(s.ld) +
                    (s.tableSound ? "" : " (column table not into the storage)") + ":";
  for (double v : s.values) out += " " + std::to_string(v);
  return out;
}

C_MatMGe<double> Counting(int r, int c, double from) {
  C_MatMGe<double> m(r, c);
  for (int j = 0; j < c; j++)
    for (int i = 0; i < r; i++) m.SetVal(i, j, from + i + 10.0 * j);
  return m;
}

// What m writes, for Read.
Bytes FormOf(C_MatMGe<double>& m) {
  kvtest::TempPath path("mge_failonce");
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return Bytes();
  m.Write(f);
  std::fclose(f);
  return kvtest::ReadFileBytes(path.str());
}

}  // namespace

TEST(MatMGeTableFailure, EveryOperationCompletesOrChangesNothing) {
  C_MatMGe<double> a35 = Counting(3, 5, 100), a32 = Counting(3, 2, 200), b25 = Counting(2, 5, 300);
  const Bytes form35 = FormOf(a35);
  struct Case {
    const char* what;
    std::function<void(C_MatMGe<double>&)> op;
  };
  const Case cases[] = {
      {"Resize 2 x 3 to 4 x 6", [](C_MatMGe<double>& m) { m.Resize(4, 6); }},
      {"Resize 2 x 3 to 1 x 2", [](C_MatMGe<double>& m) { m.Resize(1, 2); }},
      {"Resize 2 x 3 to 1 x 6", [](C_MatMGe<double>& m) { m.Resize(1, 6); }},
      {"operator= from 3 x 5", [&](C_MatMGe<double>& m) { m = a35; }},
      {"operator= from 3 x 2", [&](C_MatMGe<double>& m) { m = a32; }},
      {"Copy from 3 x 5", [&](C_MatMGe<double>& m) { m.Copy(a35); }},
      {"Read of a 3 x 5 form", [&](C_MatMGe<double>& m) {
         FILE* f = kvtest::StreamWith(form35);
         const int code = ThrownCode([&] { m.Read(f); });
         std::fclose(f);
         if (code) KVELO_THROW(code);
       }},
      {"Mm giving 3 x 5", [&](C_MatMGe<double>& m) { m.Mm('N', 'N', 1.0, a32, b25, 0.0); }},
      {"Mm of itself giving 3 x 3", [&](C_MatMGe<double>& m) { m.Mm('T', 'N', 1.0, m, m, 0.0); }},
      {"ResizeKeep to 4 x 5", [](C_MatMGe<double>& m) { m.ResizeKeep(4, 5); }},
      {"ResizeKeep to 1 x 7", [](C_MatMGe<double>& m) { m.ResizeKeep(1, 7); }},
      {"Transpose", [](C_MatMGe<double>& m) { m.Transpose(); }},
      {"TransposeInPlace", [](C_MatMGe<double>& m) { m.TransposeInPlace(); }},
  };
  // Every case starts from this 2 x 3 matrix, and from its 3 x 2 transpose (whose table
  // must grow to take three columns).
  const int starts[][2] = {{2, 3}, {3, 2}};
  for (const auto& st : starts) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + ", from " + std::to_string(st[0]) + " x " + std::to_string(st[1]));
      // The outcome with nothing refused.
      C_MatMGe<double> ref = Counting(st[0], st[1], 1);
      Arm(0);
      c.op(ref);
      const State done = StateOf(ref);
      for (int k = 1; k <= 4; k++) {
        SCOPED_TRACE("request " + std::to_string(k) + " refused");
        C_MatMGe<double> m = Counting(st[0], st[1], 1);
        const State before = StateOf(m);
        Arm(k);
        const int code = ThrownCode([&] { c.op(m); });
        Arm(0);
        const State after = StateOf(m);
        if (code == 0)
          EXPECT_TRUE(after == done) << Describe(after) << "\nnot " << Describe(done);
        else {
          EXPECT_EQ(code, 1001);
          EXPECT_TRUE(after == before) << Describe(after) << "\nnot " << Describe(before);
        }
      }
    }
  }
}

TEST(MatMGeTableFailure, ConstructionsThatFailLeaveNothingBehind) {
  // Built by shape, as a view, as a copy: a refused table gives 1001 and nothing leaks (the
  // leak checker of the sanitized build watches).
  double data[6] = {1, 2, 3, 4, 5, 6};
  C_MatMGe<double> src = Counting(2, 3, 1);
  Arm(1);
  EXPECT_EQ(ThrownCode([] { C_MatMGe<double> m(2, 3); }), 1001);
  Arm(1);
  EXPECT_EQ(ThrownCode([&] { C_MatMGe<double> v(2, 3, data, -1); }), 1001);
  Arm(1);
  EXPECT_EQ(ThrownCode([&] { C_MatMGe<double> copy(src); }), 1001);
  Arm(1);
  EXPECT_EQ(ThrownCode([&] { delete src.Dup(); }), 1001);
  // The requests were this test's to refuse: with none refused the same constructions ask.
  Arm(0);
  { C_MatMGe<double> m(2, 3); }
  EXPECT_GT(g_tableRequests, 0);
}
