// Tests of the long vector LVEC: its values are 32-bit quantities held in longs, so sums
// wrap at 32 bits and the reader refuses wider values; creation, resizing, copy, move,
// sort, sixteen-a-line text form and its reader, and accounting.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cmat_intvec.h"
#include "cmat_sort.h"
#include "cmat_support.h"
#include "dense_fixtures.h"
#include "matrix.h"

using namespace cmat_test;

namespace {

// The "%16ld" of the text form.
std::string Pad16(long v) { return Padded(v, 16); }

}  // namespace

TEST(LvecRecord, CreationResizeCopyMove) {
  int st = 3;
  LvecP e(_LM_lv_get("t", 0, 0, __LINE__, "get", &st));
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(e->dim, 0u);
  EXPECT_EQ(e->max_dim, 1u);

  LvecP v(NewLvec({1, 2, 3}));
  ASSERT_EQ(_LM_lv_resize("t", 0, v.get(), 5, __LINE__, "r", &st), v.get());
  EXPECT_EQ(Longs(v.get()), (std::vector<long>{1, 2, 3, 0, 0}));
  ASSERT_EQ(_LM_lv_resize("t", 0, v.get(), 0, __LINE__, "r", &st), v.get());
  EXPECT_EQ(v->dim, 0u);
  EXPECT_EQ(v->max_dim, 5u);

  LvecP in(NewLvec({-7, 8, 9}));
  LvecP copy(_LM_lv_copy(in.get(), nullptr, __LINE__, "c", &st));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Longs(copy.get()), (std::vector<long>{-7, 8, 9}));
  LvecP out(NewLvec({5}));
  ASSERT_EQ(_LM_lv_move(in.get(), 0, 2, out.get(), 2, __LINE__, "m", &st), out.get());
  EXPECT_EQ(Longs(out.get()), (std::vector<long>{5, 0, -7, 8}));

  ErrWatch w;
  EXPECT_EQ(_LM_lv_get("t", 0, -2, __LINE__, "get", &st), nullptr);
  EXPECT_EQ(w.last(), 20);
  EXPECT_EQ(w.routine(), "lv_get");
  EXPECT_EQ(_LM_lv_move(in.get(), 2, 2, out.get(), 0, __LINE__, "m", &st), nullptr);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(w.routine(), "lv_move");
  EXPECT_EQ(_LM_lv_copy(nullptr, nullptr, __LINE__, "c", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(lv_free(nullptr), -1);
}

TEST(LvecArithmetic, SumsWrapAt32BitsLikeTheirBinaryForm) {
  int st = 0;
  LvecP a(NewLvec({INT32_MAX, -3, INT32_MIN}));
  LvecP b(NewLvec({1, 10, -1}));
  LvecP s(_LM_lv_add(a.get(), b.get(), nullptr, __LINE__, "add", &st));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(Longs(s.get()), (std::vector<long>{INT32_MIN, 7, INT32_MAX}));
  LvecP d(_LM_lv_sub(a.get(), b.get(), nullptr, __LINE__, "sub", &st));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(Longs(d.get()), (std::vector<long>{INT32_MAX - 1, -13, INT32_MIN + 1}));
  ErrWatch w;
  LvecP c(NewLvec({1}));
  EXPECT_EQ(_LM_lv_add(a.get(), c.get(), nullptr, __LINE__, "add", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "lv_add");
}

TEST(LvecSort, AgreesWithStdSortAndRecordsTheOrder) {
  std::mt19937 gen(99);
  std::uniform_int_distribution<long> d(INT32_MIN, INT32_MAX);
  int st = 0;
  for (int n : {1, 2, 7, 64, 3000}) {
    LvecP x(_LM_lv_get("t", 0, n, __LINE__, "t", &st));
    std::vector<long> in(n);
    for (long& e : in) e = d(gen) % 1000;
    std::copy(in.begin(), in.end(), x->lve);
    PermP order(_LM_px_get("t", 0, n, __LINE__, "p", &st));
    ASSERT_EQ(_LM_lv_sort(x.get(), order.get(), __LINE__, "sort", &st), x.get());
    std::vector<long> want = in;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(Longs(x.get()), want);
    for (int k = 0; k < n; ++k) EXPECT_EQ(x->lve[k], in[order->pe[k]]);
  }
  LvecP t(NewLvec({3, 1, 2}));
  PermP order(_LM_px_get("t", 0, 3, __LINE__, "p", &st));
  ASSERT_EQ(_LM_lv_sort(t.get(), order.get(), __LINE__, "sort", &st), t.get());
  EXPECT_EQ(Entries(order.get()), (std::vector<unsigned>{1, 2, 0}));
}

TEST(LvecText, SixteenValuesALine) {
  LvecP v(NewLvec({}));
  int st = 0;
  ASSERT_EQ(_LM_lv_resize("t", 0, v.get(), 16, __LINE__, "r", &st), v.get());
  std::string want = "LongVector: dim: 16\n";
  for (int i = 0; i < 16; ++i) {
    v->lve[i] = (i % 2 == 0 ? 1L : -1L) * i * 100000L;
    want += Pad16(v->lve[i]) + (i == 15 ? "\n" : " ");
  }
  EXPECT_EQ(cmat_test::CaptureFile([&](FILE* f) { lv_foutput(f, v.get()); }), want);

  LvecP three(NewLvec({1, 2, 3}));
  EXPECT_EQ(cmat_test::CaptureFile([&](FILE* f) { lv_foutput(f, three.get()); }),
            "LongVector: dim: 3\n" + Pad16(1) + " " + Pad16(2) + " " + Pad16(3) + " \n");
  EXPECT_EQ(cmat_test::CaptureFile([&](FILE* f) { lv_foutput(f, nullptr); }),
            "LongVector: **** NULL ****\n");
  const std::string dump = cmat_test::CaptureFile([&](FILE* f) { lv_dump(f, three.get()); });
  std::ostringstream addr;
  addr << std::hex << reinterpret_cast<uintptr_t>(three->lve);
  const std::string head = "LongVector: dim: 3, max_dim: 3\nlve @ 0x" + addr.str() + "\n";
  EXPECT_EQ(dump.compare(0, head.size(), head), 0) << dump;

  // The printed form reads back.
  TextFile in("# saved\n" + want);
  LvecP back(_LM_lv_finput(in.get(), nullptr, __LINE__, "read", &st));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(Longs(back.get()), Longs(v.get()));
}

TEST(LvecText, ReaderRefusesBadInputAndWideValues) {
  const struct {
    const char* text;
    int code;
  } cases[] = {
      {"LongVector: dim: 2002\n", 6},
      {"LongVector: dim", 7},
      {"IntVector: dim: 1\n 1", 6},
      {"LongVector: dim: 2\n 1", 7},
      {"LongVector: dim: 1\n 2147483648", 6},   // beyond 32 bits: refused, not cut
      {"LongVector: dim: 1\n -2147483649", 6},
  };
  for (const auto& c : cases) {
    ErrWatch w;
    int st = 0;
    TextFile in(c.text);
    EXPECT_EQ(_LM_lv_finput(in.get(), nullptr, __LINE__, "read", &st), nullptr) << c.text;
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), c.code) << c.text;
    EXPECT_EQ(w.routine(), "blv_finput");
  }
  int st = 0;
  TextFile edge("LongVector: dim: 2\n -2147483648 2147483647\n");
  LvecP v(_LM_blv_finput(edge.get(), nullptr, __LINE__, "read", &st));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(Longs(v.get()), (std::vector<long>{INT32_MIN, INT32_MAX}));
}

TEST(LvecText, AVectorHandedInTakesTheHeadingsDim) {
  // Handed in larger, as large and smaller than the heading's dim, and for an empty heading.
  ExpectHandedInTakesTheHeadingsDim<LVEC>();
}

TEST(LvecAccounting, BalancedCounts) {
  const int was = mem_info_on(1);
  const long long bytes0 = mem_info_bytes(TYPE_LVEC, 0);
  const int vars0 = mem_info_numvar(TYPE_LVEC, 0);
  int st = 0;
  LVEC* v = _LM_lv_get("t", 0, 0, __LINE__, "acc", &st);
  EXPECT_EQ(mem_info_bytes(TYPE_LVEC, 0), bytes0 + static_cast<long long>(sizeof(LVEC) + sizeof(long)));
  EXPECT_EQ(mem_info_numvar(TYPE_LVEC, 0), vars0 + 1);
  EXPECT_EQ(lv_free(v), 0);
  EXPECT_EQ(mem_info_bytes(TYPE_LVEC, 0), bytes0);
  EXPECT_EQ(mem_info_numvar(TYPE_LVEC, 0), vars0);
  mem_info_on(was);
}

TEST(LvecSort, HardInputsSortWithAValidOrderPermutation) {
  ExpectHardInputsSorted<LVEC>(6, [](long long k) { return static_cast<long>(k) * 2000 - 7; });
}
