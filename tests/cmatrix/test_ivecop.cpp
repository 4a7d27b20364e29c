// Tests of the integer vector IVEC: creation and resizing (a size of 0 stays 0), copy and
// move, wrap-around sums, the sort and its order permutation, sum, maximum, comparison,
// the text form and its reader, zero fill, the several-variable families and accounting.
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

IVEC* Resize(IVEC* v, int dim, int* st) { return _LM_iv_resize("t", 0, v, dim, __LINE__, "Resize", st); }

// The "%8d" of the text form.
std::string Pad(int v) { return Padded(v, 8); }

}  // namespace

TEST(IvecRecord, EmptyVectorsKeepDimZeroAndResizeKeepsValues) {
  int st = 5;
  IvecP v(_LM_iv_get("t", 0, 0, __LINE__, "get", &st));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(v->dim, 0u);
  EXPECT_EQ(v->max_dim, 1u);

  IvecP w(NewIvec({1, 2, 3}));
  ASSERT_EQ(Resize(w.get(), 5, &st), w.get());
  EXPECT_EQ(Ints(w.get()), (std::vector<int>{1, 2, 3, 0, 0}));
  ASSERT_EQ(Resize(w.get(), 2, &st), w.get());
  EXPECT_EQ(Ints(w.get()), (std::vector<int>{1, 2}));
  EXPECT_EQ(w->max_dim, 5u);
  ASSERT_EQ(Resize(w.get(), 0, &st), w.get());  // 0 is kept, not raised to 1
  EXPECT_EQ(w->dim, 0u);
  ASSERT_EQ(Resize(w.get(), 4, &st), w.get());  // newly covered places are 0 again
  EXPECT_EQ(Ints(w.get()), (std::vector<int>{0, 0, 0, 0}));

  IvecP fresh(Resize(nullptr, 3, &st));
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(Ints(fresh.get()), (std::vector<int>{0, 0, 0}));
}

TEST(IvecRecord, NegativeSizesAndNullFree) {
  int st = 0;
  ErrWatch w;
  EXPECT_EQ(_LM_iv_get("t", 0, -1, __LINE__, "get", &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.last(), 20);
  EXPECT_EQ(w.routine(), "iv_get");
  IvecP v(NewIvec({7}));
  EXPECT_EQ(Resize(v.get(), -3, &st), nullptr);
  EXPECT_EQ(w.last(), 20);
  EXPECT_EQ(w.routine(), "iv_resize");
  EXPECT_EQ(Ints(v.get()), std::vector<int>{7});
  EXPECT_EQ(iv_free(nullptr), -1);
}

TEST(IvecRecord, CopyAndMove) {
  int st = 0;
  IvecP in(NewIvec({4, 5, 6}));
  IvecP copy(_LM_iv_copy(in.get(), nullptr, __LINE__, "c", &st));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Ints(copy.get()), (std::vector<int>{4, 5, 6}));
  IvecP longer(NewIvec({9, 9, 9, 9, 9}));
  ASSERT_EQ(_LM_iv_copy(in.get(), longer.get(), __LINE__, "c", &st), longer.get());
  EXPECT_EQ(Ints(longer.get()), (std::vector<int>{4, 5, 6}));

  // in[1..2] to out[3..4]: out grows from 2 to 5, its values kept and the gap zeroed.
  IvecP out(NewIvec({1, 2}));
  ASSERT_EQ(_LM_iv_move(in.get(), 1, 2, out.get(), 3, __LINE__, "m", &st), out.get());
  EXPECT_EQ(Ints(out.get()), (std::vector<int>{1, 2, 0, 5, 6}));
  IvecP made(_LM_iv_move(in.get(), 0, 3, nullptr, 0, __LINE__, "m", &st));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(Ints(made.get()), (std::vector<int>{4, 5, 6}));

  ErrWatch w;
  EXPECT_EQ(_LM_iv_copy(nullptr, out.get(), __LINE__, "c", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  const struct { int i0, len, i1; } bad[] = {{2, 2, 0}, {-1, 1, 0}, {0, -1, 0}, {0, 1, -1}};
  for (const auto& b : bad) {
    EXPECT_EQ(_LM_iv_move(in.get(), b.i0, b.len, out.get(), b.i1, __LINE__, "m", &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 2);
    EXPECT_EQ(w.routine(), "iv_move");
  }
  EXPECT_EQ(Ints(out.get()), (std::vector<int>{1, 2, 0, 5, 6}));
}

TEST(IvecArithmetic, SumAndDifferenceWrapAt32Bits) {
  int st = 0;
  IvecP a(NewIvec({INT_MAX, 1, -5}));
  IvecP b(NewIvec({1, INT_MIN, 7}));
  IvecP sum(_LM_iv_add(a.get(), b.get(), nullptr, __LINE__, "add", &st));
  ASSERT_NE(sum, nullptr);
  EXPECT_EQ(Ints(sum.get()), (std::vector<int>{INT_MIN, INT_MIN + 1, 2}));
  IvecP diff(_LM_iv_sub(a.get(), b.get(), nullptr, __LINE__, "sub", &st));
  ASSERT_NE(diff, nullptr);
  EXPECT_EQ(Ints(diff.get()), (std::vector<int>{INT_MAX - 1, INT_MIN + 1, -12}));
  // In place on either operand.
  ASSERT_EQ(_LM_iv_sub(a.get(), b.get(), b.get(), __LINE__, "sub", &st), b.get());
  EXPECT_EQ(Ints(b.get()), (std::vector<int>{INT_MAX - 1, INT_MIN + 1, -12}));

  ErrWatch w;
  IvecP shorter(NewIvec({1}));
  EXPECT_EQ(_LM_iv_add(a.get(), shorter.get(), nullptr, __LINE__, "add", &st), nullptr);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "iv_add");
  EXPECT_EQ(_LM_iv_sub(nullptr, a.get(), nullptr, __LINE__, "sub", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
}

TEST(IvecSort, SmallCasesAndOrderPermutation) {
  int st = 0;
  IvecP x(NewIvec({3, 1, 2}));
  PermP order(_LM_px_get("t", 0, 3, __LINE__, "p", &st));
  ASSERT_EQ(_LM_iv_sort(x.get(), order.get(), __LINE__, "sort", &st), x.get());
  EXPECT_EQ(Ints(x.get()), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Entries(order.get()), (std::vector<unsigned>{1, 2, 0}));

  IvecP y(NewIvec({5, 5, 1}));
  ASSERT_EQ(_LM_iv_sort(y.get(), order.get(), __LINE__, "sort", &st), y.get());
  EXPECT_EQ(Ints(y.get()), (std::vector<int>{1, 5, 5}));
  EXPECT_EQ(Entries(order.get()), (std::vector<unsigned>{2, 0, 1}));

  // An order of another size is resized; an empty vector gives an order of size 1.
  IvecP four(NewIvec({4, -1, 0, -7}));
  PermP small(_LM_px_get("t", 0, 1, __LINE__, "p", &st));
  ASSERT_EQ(_LM_iv_sort(four.get(), small.get(), __LINE__, "sort", &st), four.get());
  EXPECT_EQ(Ints(four.get()), (std::vector<int>{-7, -1, 0, 4}));
  EXPECT_EQ(Entries(small.get()), (std::vector<unsigned>{3, 1, 2, 0}));
  IvecP empty(NewIvec({}));
  ASSERT_EQ(_LM_iv_sort(empty.get(), small.get(), __LINE__, "sort", &st), empty.get());
  EXPECT_EQ(Entries(small.get()), std::vector<unsigned>{0});

  ErrWatch w;
  EXPECT_EQ(_LM_iv_sort(nullptr, nullptr, __LINE__, "sort", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(w.routine(), "v_sort");
}

TEST(IvecSort, AgreesWithStdSortOnRandomAndAdversarialInput) {
  std::mt19937 gen(12345);
  int st = 0;
  std::vector<std::vector<int>> inputs;
  for (int n : {2, 3, 10, 100, 1000, 5000}) {
    std::vector<int> v(n);
    std::uniform_int_distribution<int> d(-50, 50);  // many ties
    for (int& e : v) e = d(gen);
    inputs.push_back(v);
    std::vector<int> asc(n), desc(n), flat(n, 7);
    for (int i = 0; i < n; ++i) asc[i] = i, desc[i] = n - i;
    inputs.push_back(asc);
    inputs.push_back(desc);
    inputs.push_back(flat);
  }
  for (const auto& in : inputs) {
    IvecP x(_LM_iv_get("t", 0, static_cast<int>(in.size()), __LINE__, "t", &st));
    std::copy(in.begin(), in.end(), x->ive);
    PermP order(_LM_px_get("t", 0, 1, __LINE__, "p", &st));
    ASSERT_EQ(_LM_iv_sort(x.get(), order.get(), __LINE__, "sort", &st), x.get());
    std::vector<int> want = in;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(Ints(x.get()), want);
    // order[k] names where x[k] stood before: a permutation that maps the input onto x.
    std::vector<unsigned> ord = Entries(order.get());
    std::vector<unsigned> seen = ord;
    std::sort(seen.begin(), seen.end());
    for (size_t k = 0; k < in.size(); ++k) {
      EXPECT_EQ(seen[k], k);
      EXPECT_EQ(x->ive[k], in[ord[k]]);
    }
  }
}

TEST(IvecReduce, SumMaxAndCompare) {
  int st = 0, index = -9;
  IvecP e(NewIvec({}));
  EXPECT_EQ(_LM_iv_sum(e.get(), __LINE__, "sum", &st), 0);
  EXPECT_EQ(st, 0);
  IvecP w1(NewIvec({INT_MAX, 2, -1}));
  EXPECT_EQ(_LM_iv_sum(w1.get(), __LINE__, "sum", &st), INT_MIN);  // wraps

  IvecP m(NewIvec({4, 9, 9, 1}));
  EXPECT_EQ(_LM_iv_max(m.get(), &index, __LINE__, "max", &st), 9);
  EXPECT_EQ(index, 1);
  IvecP neg(NewIvec({-3, -8}));
  EXPECT_EQ(_LM_iv_max(neg.get(), nullptr, __LINE__, "max", &st), -3);

  IvecP a(NewIvec({1, 2})), b(NewIvec({1, 2, 3})), c(NewIvec({1, 2})), d(NewIvec({1, 3}));
  EXPECT_EQ(_LM_iv_cmp(a.get(), b.get(), __LINE__, "cmp", &st), 0);
  EXPECT_EQ(_LM_iv_cmp(a.get(), c.get(), __LINE__, "cmp", &st), 1);
  EXPECT_EQ(_LM_iv_cmp(a.get(), d.get(), __LINE__, "cmp", &st), 0);
  EXPECT_EQ(st, 0);

  ErrWatch w;
  index = -9;
  EXPECT_EQ(_LM_iv_max(e.get(), &index, __LINE__, "max", &st), -1);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "_LM_iv_max");
  EXPECT_EQ(index, -9);
  EXPECT_EQ(_LM_iv_cmp(a.get(), e.get(), __LINE__, "cmp", &st), -1);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(w.routine(), "_LM_iv_cmp");
  EXPECT_EQ(st, -1);
  EXPECT_EQ(_LM_iv_sum(nullptr, __LINE__, "sum", &st), -1);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(w.routine(), "_LM_iv_sum");
  EXPECT_EQ(_LM_iv_cmp(nullptr, a.get(), __LINE__, "cmp", &st), -1);
  EXPECT_EQ(w.last(), 8);
}

TEST(IvecText, PrintedFormEightValuesALine) {
  IvecP v(NewIvec({1, 2, 3, 4, 5, 6, 7, 8, 9, -10}));
  std::string want = "IntVector: dim: 10\n";
  for (int i = 1; i <= 7; ++i) want += Pad(i) + " ";
  want += Pad(8) + "\n" + Pad(9) + " " + Pad(-10) + " \n";
  EXPECT_EQ(cmat_test::CaptureFile([&](FILE* f) { iv_foutput(f, v.get()); }), want);

  IvecP eight(NewIvec({1, 1, 1, 1, 1, 1, 1, 1}));
  std::string line;
  for (int i = 0; i < 7; ++i) line += Pad(1) + " ";
  EXPECT_EQ(cmat_test::CaptureFile([&](FILE* f) { iv_foutput(f, eight.get()); }),
            "IntVector: dim: 8\n" + line + Pad(1) + "\n");
  IvecP e(NewIvec({}));
  EXPECT_EQ(cmat_test::CaptureFile([&](FILE* f) { iv_foutput(f, e.get()); }), "IntVector: dim: 0\n");
  EXPECT_EQ(cmat_test::CaptureFile([&](FILE* f) { iv_foutput(f, nullptr); }),
            "IntVector: **** NULL ****\n");
}

TEST(IvecText, DumpShowsCapacityAndEveryStoredValue) {
  int st = 0;
  IvecP v(NewIvec({5, 6, 7}));
  ASSERT_EQ(Resize(v.get(), 1, &st), v.get());  // capacity 3, dim 1; 6 and 7 still stored
  const std::string out = cmat_test::CaptureFile([&](FILE* f) { iv_dump(f, v.get()); });
  // The block's address once, as "0x" and its hexadecimal digits.
  std::ostringstream addr;
  addr << std::hex << reinterpret_cast<uintptr_t>(v->ive);
  const std::string head = "IntVector: dim: 1, max_dim: 3\nive @ 0x" + addr.str() + "\n";
  ASSERT_EQ(out.compare(0, head.size(), head), 0) << out;
  const std::string tail = Pad(5) + " " + Pad(6) + " " + Pad(7) + " \n";
  ASSERT_GE(out.size(), tail.size());
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
  EXPECT_EQ(cmat_test::CaptureFile([&](FILE* f) { iv_dump(f, nullptr); }),
            "IntVector: **** NULL ****\n");
}

TEST(IvecText, ReadsThePrintedFormBack) {
  int st = 0;
  IvecP v(NewIvec({3, -14, 159, 2653, 58979, -323846, 2643383, 27950288, -419716939}));
  const std::string text = cmat_test::CaptureFile([&](FILE* f) { iv_foutput(f, v.get()); });
  TextFile in("\n  # a comment line\n\n" + text);
  IvecP back(_LM_iv_finput(in.get(), nullptr, __LINE__, "read", &st));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(Ints(back.get()), Ints(v.get()));

  // A smaller vector handed in grows; a larger one is cut down to the heading's dim.
  TextFile in2("IntVector: dim: 3\n 1 2 3\n");
  IvecP small(NewIvec({9}));
  ASSERT_EQ(_LM_iv_finput(in2.get(), small.get(), __LINE__, "read", &st), small.get());
  EXPECT_EQ(Ints(small.get()), (std::vector<int>{1, 2, 3}));
  TextFile in3("IntVector: dim: 2\n 4 5\n");
  IvecP large(NewIvec({9, 9, 9, 9}));
  ASSERT_EQ(_LM_iv_finput(in3.get(), large.get(), __LINE__, "read", &st), large.get());
  EXPECT_EQ(Ints(large.get()), (std::vector<int>{4, 5}));
}

TEST(IvecText, AVectorHandedInTakesTheHeadingsDim) {
  // Handed in larger, as large and smaller than the heading's dim, and for an empty heading.
  ExpectHandedInTakesTheHeadingsDim<IVEC>();
}

TEST(IvecText, ReaderErrors) {
  const struct {
    const char* text;
    int code;
  } cases[] = {
      {"IntVector: dim: 2002\n", 6},           // above 2001
      {"IntVector: dim: -1\n", 6},             // negative size
      {"IntVector: size: 2\n", 6},             // heading that does not match
      {"IntVector: di", 7},                    // input ends in the heading
      {"", 7},                                 // nothing at all
      {"IntVector: dim: 3\n 1 2", 7},          // ends inside the values
      {"IntVector: dim: 3\n 1 x 2", 6},        // a value that is no number
      {"IntVector: dim: 2\n 1 # note\n 2", 6}, // comments between values are not skipped
      {"IntVector: dim: 1\n 2147483648", 6},   // does not fit an int
  };
  for (const auto& c : cases) {
    ErrWatch w;
    int st = 0;
    TextFile in(c.text);
    EXPECT_EQ(_LM_iv_finput(in.get(), nullptr, __LINE__, "read", &st), nullptr) << c.text;
    EXPECT_EQ(st, -1) << c.text;
    EXPECT_EQ(w.last(), c.code) << c.text;
    EXPECT_EQ(w.routine(), "biv_finput") << c.text;
  }
  // A failure leaves a vector the caller handed in as it was: no value read before it is
  // installed.
  int st = 0;
  TextFile in("IntVector: dim: 3\n 7 8 oops");
  IvecP v(NewIvec({0, 0, 0}));
  EXPECT_EQ(_LM_iv_finput(in.get(), v.get(), __LINE__, "read", &st), nullptr);
  EXPECT_EQ(Ints(v.get()), (std::vector<int>{0, 0, 0}));
  // The variadic reader takes the status as its last argument.
  TextFile ok("IntVector: dim: 1\n -4\n");
  st = 9;
  IvecP r(_LM_biv_finput(ok.get(), nullptr, __LINE__, "read", &st));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(Ints(r.get()), std::vector<int>{-4});
}

TEST(IvecFill, ZeroFill) {
  int st = 0;
  IvecP v(NewIvec({1, -2, 3}));
  ASSERT_EQ(_LM_iv_zero(v.get(), __LINE__, "z", &st), v.get());
  EXPECT_EQ(Ints(v.get()), (std::vector<int>{0, 0, 0}));
  ErrWatch w;
  EXPECT_EQ(_LM_iv_zero(nullptr, __LINE__, "z", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(w.routine(), "iv_zero");
}

TEST(IvecVars, GetResizeAndFreeSeveralVariables) {
  int st = 0;
  IVEC *a = nullptr, *b = nullptr, *c = nullptr;
  EXPECT_EQ(_LM_iv_get_vars("t", 0, __LINE__, "vars", &st, 4, &a, &b, &c, nullptr), 3);
  for (IVEC* v : {a, b, c}) {
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(Ints(v), (std::vector<int>{0, 0, 0, 0}));
  }
  a->ive[0] = 11;
  EXPECT_EQ(_LM_iv_resize_vars("t", 0, __LINE__, "vars", &st, 6, &a, &b, nullptr), 2);
  EXPECT_EQ(a->dim, 6u);
  EXPECT_EQ(a->ive[0], 11);
  EXPECT_EQ(b->dim, 6u);
  EXPECT_EQ(c->dim, 4u);
  EXPECT_EQ(_LM_iv_get_vars("t", 0, __LINE__, "vars", &st, 4, nullptr), 0);

  // A failing resize stops the walk and leaves the variable's record in place.
  ErrWatch w;
  EXPECT_EQ(_LM_iv_resize_vars("t", 0, __LINE__, "vars", &st, -1, &a, nullptr), -1);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.last(), 20);
  EXPECT_NE(a, nullptr);
  EXPECT_EQ(iv_free_vars(&a, &b, &c, nullptr), 3);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(c, nullptr);
}

TEST(IvecAccounting, CreationAndReleaseBalanceEvenForAnEmptyVector) {
  const int was = mem_info_on(1);
  const long long bytes0 = mem_info_bytes(TYPE_IVEC, 0);
  const int vars0 = mem_info_numvar(TYPE_IVEC, 0);
  int st = 0;
  IVEC* v = _LM_iv_get("t", 0, 5, __LINE__, "acc", &st);
  EXPECT_EQ(mem_info_bytes(TYPE_IVEC, 0), bytes0 + static_cast<long long>(sizeof(IVEC) + 5 * sizeof(int)));
  EXPECT_EQ(mem_info_numvar(TYPE_IVEC, 0), vars0 + 1);
  ASSERT_EQ(Resize(v, 8, &st), v);  // the block grows by three ints
  EXPECT_EQ(mem_info_bytes(TYPE_IVEC, 0), bytes0 + static_cast<long long>(sizeof(IVEC) + 8 * sizeof(int)));
  EXPECT_EQ(iv_free(v), 0);
  EXPECT_EQ(mem_info_bytes(TYPE_IVEC, 0), bytes0);
  EXPECT_EQ(mem_info_numvar(TYPE_IVEC, 0), vars0);

  // The empty vector holds one int of storage: counted when made, taken off when freed.
  IVEC* e = _LM_iv_get("t", 0, 0, __LINE__, "acc", &st);
  EXPECT_EQ(mem_info_bytes(TYPE_IVEC, 0), bytes0 + static_cast<long long>(sizeof(IVEC) + sizeof(int)));
  EXPECT_EQ(iv_free(e), 0);
  EXPECT_EQ(mem_info_bytes(TYPE_IVEC, 0), bytes0);
  mem_info_on(was);
}

TEST(IvecSort, HardInputsSortWithAValidOrderPermutation) {
  ExpectHardInputsSorted<IVEC>(4, [](long long k) { return static_cast<int>(k); });
}
