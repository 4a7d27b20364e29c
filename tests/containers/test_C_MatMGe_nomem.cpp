/* test_C_MatMGe_nomem.cpp: the general and packed symmetric matrices when the heap refuses
 * every block above a ceiling (the library's internal one, in every build): an operation
 * that needs no new block completes, one that needs a refused block throws 1001 with the
 * matrix as it was, and a construction that fails leaks nothing (the sanitized build's leak
 * checker watches). */
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "C_MatMGe.h"
#include "C_MatMSym.h"
#include "mat_support.h"
#include "runtime/heap_limit.h"

namespace {

// Blocks above bytes are refused while this lives.
class Ceiling {
 public:
  explicit Ceiling(std::size_t bytes) { kvrt::SetHeapBlockLimit(bytes); }
  ~Ceiling() { kvrt::SetHeapBlockLimit(0); }
  Ceiling(const Ceiling&) = delete;
  Ceiling& operator=(const Ceiling&) = delete;
};

C_MatMGe<double> Counting(int r, int c) {
  C_MatMGe<double> m(r, c);
  for (int j = 0; j < c; j++)
    for (int i = 0; i < r; i++) m.SetVal(i, j, 1.0 + i + 10.0 * j);
  return m;
}

// The elements by columns.
std::vector<double> Elements(const C_MatMGe<double>& m) {
  std::vector<double> out;
  for (int j = 0; j < m.cols; j++)
    for (int i = 0; i < m.rows; i++) out.push_back(m.GetVal(i, j));
  return out;
}

}  // namespace

TEST(MatMGeNoMemory, ShrinkingNeedsNoBlock) {
  // 2 x 3 to 1 x 2 keeps the storage and the column table: with no block to be had at all
  // it completes, by Resize, by assignment and as the result of a product.
  C_MatMGe<double> small(1, 2), one(1, 1);
  small.SetVal(0, 0, 7), small.SetVal(0, 1, 8);
  one.SetVal(0, 0, 2);
  for (int how = 0; how < 3; how++) {
    SCOPED_TRACE(how);
    C_MatMGe<double> m = Counting(2, 3);
    {
      Ceiling none(1);
      const int code = ThrownCode([&] {
        if (how == 0) m.Resize(1, 2);
        if (how == 1) m = small;
        if (how == 2) m.Mm('N', 'N', 1.0, one, small, 0.0);
      });
      EXPECT_EQ(code, 0);
    }
    ASSERT_EQ(m.rows, 1);
    ASSERT_EQ(m.cols, 2);
    // Resize keeps the storage order; the others hold their results.
    const std::vector<double> want[3] = {{1, 2}, {7, 8}, {14, 16}};
    EXPECT_EQ(Elements(m), want[how]);
  }
}

TEST(MatMGeNoMemory, GrowingBeyondTheCeilingChangesNothing) {
  // The column table of 30 columns (240 bytes) can be had, their values (9600 bytes) cannot.
  struct Case {
    const char* what;
    void (*op)(C_MatMGe<double>&);
  };
  const Case cases[] = {
      {"Resize", [](C_MatMGe<double>& m) { m.Resize(40, 30); }},
      {"ResizeKeep", [](C_MatMGe<double>& m) { m.ResizeKeep(40, 30); }},
      {"ResizeKeep, columns first", [](C_MatMGe<double>& m) { m.ResizeKeep(2, 600); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    C_MatMGe<double> m = Counting(2, 3);
    const double* before = m.Adr();
    {
      Ceiling limit(1000);
      EXPECT_EQ(ThrownCode([&] { c.op(m); }), 1001);
    }
    ASSERT_EQ(m.rows, 2);
    ASSERT_EQ(m.cols, 3);
    EXPECT_EQ(m.Ld(), 2);
    EXPECT_EQ(m.Adr(), before);
    EXPECT_EQ(Elements(m), (std::vector<double>{1, 2, 11, 12, 21, 22}));
  }
}

TEST(MatMGeNoMemory, TransposeInPlaceWithoutRoomForItsMarks) {
  // 2 x 1000 needs 501 marks (2004 bytes), refused: the matrix keeps its shape and values.
  C_MatMGe<double> m = Counting(2, 1000);
  const std::vector<double> before = Elements(m);
  {
    Ceiling limit(1024);
    EXPECT_EQ(ThrownCode([&] { m.TransposeInPlace(); }), 1001);
  }
  EXPECT_EQ(m.rows, 2);
  EXPECT_EQ(m.cols, 1000);
  EXPECT_EQ(Elements(m), before);
  EXPECT_EQ(m.TransposeInPlace(), 0);
  EXPECT_EQ(m.GetVal(999, 1), 1.0 + 1 + 10.0 * 999);
}

TEST(MatMGeNoMemory, FailedConstructionsLeakNothing) {
  // The table of 1000 columns (8000 bytes) can be had, the 4000 values (32000 bytes) cannot.
  C_MatMGe<double> src(4, 1000);
  Ceiling limit(16000);
  EXPECT_EQ(ThrownCode([] { C_MatMGe<double> m(4, 1000); }), 1001);
  EXPECT_EQ(ThrownCode([&] { C_MatMGe<double> copy(src); }), 1001);
  EXPECT_EQ(ThrownCode([&] { delete src.Dup(); }), 1001);
}
