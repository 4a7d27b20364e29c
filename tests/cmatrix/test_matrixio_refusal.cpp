// Tests of what the text readers of MAT, VEC, PERM, IVEC and LVEC leave behind when they
// refuse a form: a record handed in stays exactly as it was (sizes, capacities, every stored
// value), from files and from pipes; nothing is made when none was handed in; memory follows
// the values that arrive, not the size a heading claims. Also the heading limits (2001, sizes
// below 0 or beyond int) pinned with well-formed bodies after them, and numbers at the edges
// of their types inside the values.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cmat_snap.h"
#include "cmat_support.h"
#include "dense_fixtures.h"
#include "matrix.h"
#include "pipe_feed.h"

using namespace cmat_test;

namespace {

// Where a form comes from: a regular file, or a pipe whose length the reader cannot know.
enum class Source { File, Pipe };

const char* Name(Source s) { return s == Source::File ? "file" : "pipe"; }

// Hands the text to read(FILE*) through the source; gives what read returned and, in rest,
// what it left unread (file only: a pipe's rest is not looked at).
template <class R>
R* ReadFrom(Source src, const std::string& text, const std::function<R*(FILE*)>& read,
            std::string* rest = nullptr) {
  if (src == Source::File) {
    TextFile in(text);
    R* r = read(in.get());
    if (rest != nullptr) *rest = in.Rest();
    return r;
  }
  kvtest::PipeFeed feed(kvtest::Bytes(text.begin(), text.end()));
  EXPECT_NE(feed.get(), nullptr);
  return feed.get() == nullptr ? nullptr : read(feed.get());
}

// Each reader and the records a test hands to it: small (one element), middle (3, or 2 x 2)
// and large (7, or 3 x 5), filled with 9 (a permutation: reversed).
template <class R>
struct Reader;

template <>
struct Reader<MAT> {
  static constexpr const char* kRoutine = "bm_finput";
  static MAT* Read(FILE* f, MAT* A, int* st) { return _LM_m_finput(f, A, __LINE__, "read", st); }
  static MAT* Make(int k) {
    const int m[] = {1, 2, 3}, n[] = {1, 2, 5};
    MAT* A = _LM_m_get("t", 0, m[k], n[k], __LINE__, "t", nullptr);
    for (unsigned i = 0; i < A->m; ++i)
      for (unsigned j = 0; j < A->n; ++j) A->me[i][j] = 9;
    return A;
  }
  static void Free(MAT* A) { m_free(A); }
};

template <>
struct Reader<VEC> {
  static constexpr const char* kRoutine = "bfin_vec";
  static VEC* Read(FILE* f, VEC* x, int* st) { return _LM_v_finput(f, x, __LINE__, "read", st); }
  static VEC* Make(int k) {
    const int dim[] = {1, 3, 7};
    VEC* x = _LM_v_get("t", 0, dim[k], __LINE__, "t", nullptr);
    for (unsigned i = 0; i < x->dim; ++i) x->ve[i] = 9;
    return x;
  }
  static void Free(VEC* x) { v_free(x); }
};

template <>
struct Reader<PERM> {
  static constexpr const char* kRoutine = "bpx_finput";
  static PERM* Read(FILE* f, PERM* p, int* st) { return _LM_px_finput(f, p, __LINE__, "read", st); }
  static PERM* Make(int k) {
    const int size[] = {1, 3, 7};
    PERM* p = _LM_px_get("t", 0, size[k], __LINE__, "t", nullptr);
    for (unsigned i = 0; i < p->size; ++i) p->pe[i] = p->size - 1 - i;
    return p;
  }
  static void Free(PERM* p) { px_free(p); }
};

template <>
struct Reader<IVEC> {
  static constexpr const char* kRoutine = "biv_finput";
  static IVEC* Read(FILE* f, IVEC* v, int* st) { return _LM_iv_finput(f, v, __LINE__, "read", st); }
  static IVEC* Make(int k) {
    const int dim[] = {1, 3, 7};
    IVEC* v = _LM_iv_get("t", 0, dim[k], __LINE__, "t", nullptr);
    for (unsigned i = 0; i < v->dim; ++i) v->ive[i] = 9;
    return v;
  }
  static void Free(IVEC* v) { iv_free(v); }
};

template <>
struct Reader<LVEC> {
  static constexpr const char* kRoutine = "blv_finput";
  static LVEC* Read(FILE* f, LVEC* v, int* st) { return _LM_lv_finput(f, v, __LINE__, "read", st); }
  static LVEC* Make(int k) {
    const int dim[] = {1, 3, 7};
    LVEC* v = _LM_lv_get("t", 0, dim[k], __LINE__, "t", nullptr);
    for (unsigned i = 0; i < v->dim; ++i) v->lve[i] = 9;
    return v;
  }
  static void Free(LVEC* v) { lv_free(v); }
};

// A form that the reader refuses after its heading, once values have been read, and the code
// of the refusal.
struct Refusal {
  std::string text;
  int code;
};

// Every refusal, from a file and from a pipe, into NULL and into each record size: the reader
// gives NULL (the vector reader, after bad values, the vector handed in), the status -1 and
// the code, and the record handed in is byte for byte what it was.
template <class R>
void ExpectRefusalsChangeNothing(const std::vector<Refusal>& cases, bool recordComesBack = false) {
  using K = Reader<R>;
  for (const Refusal& c : cases) {
    for (Source src : {Source::File, Source::Pipe}) {
      for (int k = -1; k < 3; ++k) {
        SCOPED_TRACE(c.text + " / " + Name(src) + " / record " + std::to_string(k));
        R* given = k < 0 ? nullptr : K::Make(k);
        const RecordBytes before = given != nullptr ? Snap(given) : RecordBytes();
        ErrWatch w;
        int st = 5;
        R* got = ReadFrom<R>(src, c.text, [&](FILE* f) { return K::Read(f, given, &st); });
        EXPECT_EQ(got, recordComesBack ? given : nullptr);
        EXPECT_EQ(st, -1);
        EXPECT_EQ(w.last(), c.code);
        EXPECT_EQ(w.routine(), K::kRoutine);
        if (given != nullptr) {
          EXPECT_TRUE(Snap(given) == before) << "the record handed in was changed";
          K::Free(given);
        }
      }
    }
  }
}

}  // namespace

TEST(TextRefusal, MatrixFormsCutOrDamagedAfterTheHeading) {
  ExpectRefusalsChangeNothing<MAT>({
      {"Matrix: 2 by 2\nrow 0: 1 2\nrow 1: 3", 7},
      {"Matrix: 2 by 2\nrow 0: 1 2\nrow 1: 3 x\n", 6},
      {"Matrix: 2 by 2\nrow 0: 1 2\n", 6},  // the second label cut off by the end
      {"Matrix: 2 by 2\nrow 0: 1 2\nline 1: 3 4\n", 6},
      {"Matrix: 2 by 2\nrow 0: 1 1e999\nrow 1: 3 4\n", 6},
      {"Matrix: 3 by 5\nrow 0: 1 2 3 4 5\nrow 1: 1 2 3 4 5\nrow 2: 1 2 3 4\n", 7},
  });
}

TEST(TextRefusal, PermutationFormsThatAreNoPermutation) {
  ExpectRefusalsChangeNothing<PERM>({
      {"Permutation: size: 3\n0->1 1->1 2->2\n", 2},
      {"Permutation: size: 3\n0->2 1->3 2->0\n", 2},
      {"Permutation: size: 3\n0->2 1->0 2->", 7},
      {"Permutation: size: 3\n0->2 1=>0 2->1\n", 6},
      // As "%u" would take it this image wraps to 0 and the form reads as (1 0).
      {"Permutation: size: 2\n0->1 1->4294967296\n", 2},
      {"Permutation: size: 7\n0->6 1->5 2->4 3->3 4->2 5->1 6->6\n", 2},
  });
}

TEST(TextRefusal, IntegerAndLongVectorFormsCutOrOutOfRange) {
  ExpectRefusalsChangeNothing<IVEC>({
      {"IntVector: dim: 3\n 1 2", 7},
      {"IntVector: dim: 3\n 1 2147483648 3", 6},
      {"IntVector: dim: 3\n 1 -2147483649 3", 6},
      {"IntVector: dim: 7\n 1 2 3 4 5 6 x", 6},
  });
  ExpectRefusalsChangeNothing<LVEC>({
      {"LongVector: dim: 3\n 1 2", 7},
      // Cut to 32 bits this would read as 0.
      {"LongVector: dim: 3\n 1 4294967296 3", 6},
      {"LongVector: dim: 3\n 1 -2147483649 3", 6},
  });
}

// The vector reader names every bad value and hands back the vector it was given (NULL when
// none was) with the status -1: the values it did read are not installed.
TEST(TextRefusal, VectorFormsWithBadValuesComeBackAsHandedIn) {
  ExpectRefusalsChangeNothing<VEC>(
      {
          {"Vector: dim: 3\n1 2", 7},
          {"Vector: dim: 3\n1 x 2", 6},
          {"Vector: dim: 3\n1 1e999 2\n", 6},
          {"Vector: dim: 3\n-1e999 2 3\n", 6},
          {"Vector: dim: 7\n1 2 3 4 5 6 1e999", 6},
      },
      true);
  // Heading failures end the read with NULL, as before.
  ExpectRefusalsChangeNothing<VEC>({{"Vector: dim", 7}, {"Vector: dim: 2002\n", 6}});
}

// The instances that showed the fault: a vector of 9s read from a form cut after two values
// came back as 1 2 9, and a refused permutation as (1 1 2), which is none.
TEST(TextRefusal, TheVectorOfNinesAndTheIdentityStayWhole) {
  int st = 0;
  VecP x(NewVec({9, 9, 9}));
  TextFile vin("Vector: dim: 3\n1 2");
  EXPECT_EQ(_LM_v_finput(vin.get(), x.get(), __LINE__, "read", &st), x.get());
  EXPECT_EQ(st, -1);
  EXPECT_EQ(Values(x.get()), (std::vector<double>{9, 9, 9}));

  PermP p(NewPerm({0, 1, 2}));
  TextFile pin("Permutation: size: 3\n0->1 1->1 2->2\n");
  EXPECT_EQ(_LM_px_finput(pin.get(), p.get(), __LINE__, "read", &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(Entries(p.get()), (std::vector<unsigned>{0, 1, 2}));
}

// A record of the heading's size is filled in place once the form is whole; a failed read
// of the next form in the stream leaves the first one's values.
TEST(TextRefusal, AFormAfterAGoodOneInTheSameStream) {
  int st = 0;
  TextFile in("Matrix: 2 by 2\nrow 0: 1 2\nrow 1: 3 4\nMatrix: 2 by 2\nrow 0: 5 6\nrow 1: 7\n");
  MatP A(_LM_m_finput(in.get(), nullptr, __LINE__, "read", &st));
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(_LM_m_finput(in.get(), A.get(), __LINE__, "read", &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(Rows(A.get()), (std::vector<double>{1, 2, 3, 4}));
}

// A heading may claim up to 2001 x 2001 values (32 MB) in a few bytes: the readers hold only
// what arrives. Under a ceiling of 4 KiB on single blocks of the library's heap, such claims
// followed by a few values end at the end of the input (code 7), not in a refused block
// (code 3), and a record handed in stays as it was.
TEST(TextRefusal, MemoryFollowsTheValuesNotTheHeadingsClaim) {
  auto check = [](auto* given, auto read, const std::string& text) {
    SCOPED_TRACE(text);
    const RecordBytes before = Snap(given);
    kvtest::HeapCeiling ceiling(4096);
    for (auto* into : {given, static_cast<decltype(given)>(nullptr)}) {
      ErrWatch w;
      int st = 0;
      TextFile in(text);
      EXPECT_EQ(read(in.get(), into, &st), nullptr);
      EXPECT_EQ(st, -1);
      EXPECT_EQ(w.last(), 7);
    }
    EXPECT_TRUE(Snap(given) == before);
  };
  MatP A(Reader<MAT>::Make(1));
  check(A.get(), Reader<MAT>::Read, "Matrix: 2001 by 2001\nrow 0: 1 2 3");
  check(A.get(), Reader<MAT>::Read, "Matrix: 2001 by 2\nrow 0: 1 2\nrow 1: 3");
  PermP p(Reader<PERM>::Make(1));
  check(p.get(), Reader<PERM>::Read, "Permutation: size: 2001\n0->5 1->7");
  IvecP iv(Reader<IVEC>::Make(1));
  check(iv.get(), Reader<IVEC>::Read, "IntVector: dim: 2001\n 1 2 3");
  LvecP lv(Reader<LVEC>::Make(1));
  check(lv.get(), Reader<LVEC>::Read, "LongVector: dim: 2001\n 1 2 3");
}

namespace {

// n well-formed values "1 2 3 ..." of a body, each after a blank.
std::string Counting(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += " " + std::to_string(i + 1);
  return s;
}
// A well-formed matrix body: rows labelled 0 .. m-1 of n values each.
std::string MatBody(int m, int n) {
  std::string s;
  for (int i = 0; i < m; ++i) s += "\nrow " + std::to_string(i) + ":" + Counting(n);
  return s + "\n";
}
// A well-formed permutation body: the identity of size n.
std::string PermBody(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += " " + std::to_string(i) + "->" + std::to_string(i);
  return s + "\n";
}

// A heading (refused) followed by a well-formed body: the refusal comes at the heading, with
// code 6 alone, and the body is left in the stream unread.
struct HeadingCase {
  char kind;  // m, v, p, i or l
  std::string heading;
  std::string body;
};

void ExpectRefusedAtTheHeading(const HeadingCase& c) {
  SCOPED_TRACE(c.heading);
  ErrWatch w;
  int st = 0;
  std::string rest;
  TextFile in(c.heading + c.body);
  void* r = nullptr;
  switch (c.kind) {
    case 'm': r = _LM_m_finput(in.get(), nullptr, __LINE__, "read", &st); break;
    case 'v': r = _LM_v_finput(in.get(), nullptr, __LINE__, "read", &st); break;
    case 'p': r = _LM_px_finput(in.get(), nullptr, __LINE__, "read", &st); break;
    case 'i': r = _LM_iv_finput(in.get(), nullptr, __LINE__, "read", &st); break;
    default: r = _LM_lv_finput(in.get(), nullptr, __LINE__, "read", &st); break;
  }
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.count(), 1);
  EXPECT_EQ(w.last(), 6);
  EXPECT_EQ(in.Rest(), c.body);
}

}  // namespace

// The limit is 2001 in each size, rows and columns apart: 2002 is refused at the heading even
// when a well-formed body follows (with the check gone these forms would read whole), while
// 2001 reads.
TEST(TextHeading, SizesAbove2001AreRefusedBeforeAWellFormedBody) {
  const HeadingCase cases[] = {
      {'m', "Matrix: 1 by 2002", MatBody(1, 2002)},
      {'m', "Matrix: 2002 by 1", MatBody(2002, 1)},
      {'m', "Matrix: 2002 by 2002", MatBody(1, 2)},
      {'v', "Vector: dim: 2002", "\n" + Counting(2002) + "\n"},
      {'p', "Permutation: size: 2002", "\n" + PermBody(2002)},
      {'i', "IntVector: dim: 2002", "\n" + Counting(2002) + "\n"},
      {'l', "LongVector: dim: 2002", "\n" + Counting(2002) + "\n"},
  };
  for (const HeadingCase& c : cases) ExpectRefusedAtTheHeading(c);

  int st = 0;
  TextFile wide("Matrix: 1 by 2001" + MatBody(1, 2001));
  MatP A(_LM_m_finput(wide.get(), nullptr, __LINE__, "read", &st));
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(A->n, 2001u);
  EXPECT_EQ(A->me[0][2000], 2001.0);
  TextFile tall("Matrix: 2001 by 1" + MatBody(2001, 1));
  MatP B(_LM_m_finput(tall.get(), nullptr, __LINE__, "read", &st));
  ASSERT_NE(B, nullptr);
  EXPECT_EQ(B->m, 2001u);
  EXPECT_EQ(B->me[2000][0], 1.0);
  TextFile vec("Vector: dim: 2001\n" + Counting(2001));
  VecP v(_LM_v_finput(vec.get(), nullptr, __LINE__, "read", &st));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->ve[2000], 2001.0);
  TextFile perm("Permutation: size: 2001\n" + PermBody(2001));
  PermP p(_LM_px_finput(perm.get(), nullptr, __LINE__, "read", &st));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->pe[2000], 2000u);
}

// Negative sizes, and sizes beyond an int or an unsigned (4294967297 would wrap to 1 as "%u"
// takes it, and the body after it would read as a record of one value), refused at the
// heading by every reader, a well-formed body after them.
TEST(TextHeading, SizesBelowZeroOrBeyondIntAreRefused) {
  const std::string one = "\n 5\n";
  const HeadingCase cases[] = {
      {'v', "Vector: dim: -1", one},
      {'v', "Vector: dim: 2147483648", one},
      {'v', "Vector: dim: 4294967297", one},
      {'p', "Permutation: size: -1", "\n 0->0\n"},
      {'p', "Permutation: size: 2147483648", "\n 0->0\n"},
      {'p', "Permutation: size: 4294967297", "\n 0->0\n"},
      {'m', "Matrix: -1 by 1", MatBody(1, 1)},
      {'m', "Matrix: 1 by -1", MatBody(1, 1)},
      {'m', "Matrix: 4294967297 by 1", MatBody(1, 1)},
      {'m', "Matrix: 1 by 4294967297", MatBody(1, 1)},
      {'m', "Matrix: 2147483648 by 2147483648", MatBody(1, 1)},
      {'i', "IntVector: dim: 4294967297", one},
      {'l', "LongVector: dim: -1", one},
      {'l', "LongVector: dim: 4294967297", one},
  };
  for (const HeadingCase& c : cases) ExpectRefusedAtTheHeading(c);
}

// Values at the edges of their types: the largest and smallest of int and of 32 bits read
// exactly; the words of the printers' infinities and NaN read as such; a decimal value below
// the smallest double reads as a zero of its sign; beyond the largest it is refused (code 6),
// never taken as an infinity that no printer wrote for a finite value.
TEST(TextValues, NumbersAtTheEdgesOfTheirTypes) {
  int st = 0;
  TextFile iv("IntVector: dim: 2\n 2147483647 -2147483648\n");
  IvecP a(_LM_iv_finput(iv.get(), nullptr, __LINE__, "read", &st));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(Ints(a.get()), (std::vector<int>{INT_MAX, INT_MIN}));
  TextFile lv("LongVector: dim: 2\n 2147483647 -2147483648\n");
  LvecP b(_LM_lv_finput(lv.get(), nullptr, __LINE__, "read", &st));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Longs(b.get()), (std::vector<long>{2147483647L, -2147483648L}));

  TextFile words("Vector: dim: 7\n inf -inf nan -Infinity NAN 1e-999 -1e-999\n");
  VecP v(_LM_v_finput(words.get(), nullptr, __LINE__, "read", &st));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(v->ve[0], HUGE_VAL);
  EXPECT_EQ(v->ve[1], -HUGE_VAL);
  EXPECT_TRUE(std::isnan(v->ve[2]));
  EXPECT_EQ(v->ve[3], -HUGE_VAL);
  EXPECT_TRUE(std::isnan(v->ve[4]));
  EXPECT_EQ(v->ve[5], 0.0);
  EXPECT_FALSE(std::signbit(v->ve[5]));
  EXPECT_EQ(v->ve[6], 0.0);
  EXPECT_TRUE(std::signbit(v->ve[6]));

  TextFile mat("Matrix: 1 by 3\nrow 0: nan -inf 1.7976931348623157e308\n");
  MatP A(_LM_m_finput(mat.get(), nullptr, __LINE__, "read", &st));
  ASSERT_NE(A, nullptr);
  EXPECT_TRUE(std::isnan(A->me[0][0]));
  EXPECT_EQ(A->me[0][1], -HUGE_VAL);
  EXPECT_EQ(A->me[0][2], 1.7976931348623157e308);
  for (const char* text : {"Matrix: 1 by 2\nrow 0: 1 1.8e308\n", "Matrix: 1 by 2\nrow 0: 1e999 1\n"}) {
    ErrWatch w;
    TextFile bad(text);
    EXPECT_EQ(_LM_m_finput(bad.get(), nullptr, __LINE__, "read", &st), nullptr) << text;
    EXPECT_EQ(w.last(), 6) << text;
  }
}
