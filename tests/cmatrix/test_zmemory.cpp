// Tests of the complex records ZVEC and ZMAT: creation, release, resizing (values kept,
// zero sizes kept, sizes taken in 64 bits), zeroing, the several-variable families, memory
// accounting and the status protocol.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>

#include "cmat_pattern.h"
#include "cmat_support.h"
#include "meminfo.h"
#include "zmatrix.h"

using cmat_test::ErrWatch;
using cmat_test::ExpectKeptPattern;
using cmat_test::FillPattern;

namespace {

const char kTag[] = "test";

ZVEC* VGet(int dim, int* st) { return _LM_zv_get(kTag, 0, dim, __LINE__, "VGet", st); }
ZMAT* MGet(int m, int n, int* st) { return _LM_zm_get(kTag, 0, m, n, __LINE__, "MGet", st); }
ZVEC* VResize(ZVEC* x, int dim, int* st) {
  return _LM_zv_resize(kTag, 0, x, dim, __LINE__, "VResize", st);
}
ZMAT* MResize(ZMAT* A, int m, int n, int* st) {
  return _LM_zm_resize(kTag, 0, A, m, n, __LINE__, "MResize", st);
}

bool AllBitsZero(const void* p, size_t bytes) {
  const unsigned char* c = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < bytes; ++i)
    if (c[i] != 0) return false;
  return true;
}

}  // namespace

TEST(ZRecordLayout, ScalarIsTwoPackedDoublesAndZmatHoldsBaseBeforeTable) {
  static_assert(sizeof(::complex) == 16, "two doubles");
  static_assert(offsetof(::complex, re) == 0 && offsetof(::complex, im) == 8, "re first");
  static_assert(offsetof(ZMAT, base) < offsetof(ZMAT, me), "element block before the table");
  static_assert(offsetof(ZVEC, ve) > offsetof(ZVEC, max_dim), "ZVEC member order");
  SUCCEED();
}

TEST(ZVecRecord, GetGivesZeroedVectorWithCapacityAtLeastOne) {
  int st = 7;
  ZVEC* v = VGet(0, &st);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(v->dim, 0u);
  EXPECT_EQ(v->max_dim, 1u);
  EXPECT_TRUE(AllBitsZero(v->ve, sizeof(::complex)));
  EXPECT_EQ(zv_free(v), 0);
  st = -1;
  v = VGet(5, &st);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(v->dim, 5u);
  EXPECT_EQ(v->max_dim, 5u);
  EXPECT_TRUE(AllBitsZero(v->ve, 5 * sizeof(::complex)));
  EXPECT_EQ(zv_free(v), 0);
}

TEST(ZVecRecord, NegativeSizesRaiseCode20) {
  int st = 0;
  ErrWatch w;
  EXPECT_EQ(VGet(-1, &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(_LM_err_status, -1);
  EXPECT_EQ(w.last(), 20);
  EXPECT_EQ(w.routine(), "_LM_zv_get");
  ZVEC* v = VGet(2, &st);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(st, 0);
  ErrWatch w2;
  EXPECT_EQ(VResize(v, -3, &st), nullptr);
  EXPECT_EQ(w2.last(), 20);
  EXPECT_EQ(w2.routine(), "zv_resize");
  EXPECT_EQ(v->dim, 2u);
  zv_free(v);
}

TEST(ZVecRecord, ResizeKeepsZeroAndZeroesNewlyCoveredElements) {
  int st = 0;
  ZVEC* v = VGet(3, &st);
  for (int i = 0; i < 3; ++i) v->ve[i] = zmake(i + 1.0, -(i + 1.0));
  // A resize to 0 keeps 0 (the real resize would give 1) and the capacity.
  ASSERT_EQ(VResize(v, 0, &st), v);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(v->dim, 0u);
  EXPECT_EQ(v->max_dim, 3u);
  // Back to 2: elements 0 and 1 are newly covered, so zero.
  ASSERT_EQ(VResize(v, 2, &st), v);
  EXPECT_EQ(v->dim, 2u);
  EXPECT_TRUE(AllBitsZero(v->ve, 2 * sizeof(::complex)));
  v->ve[0] = zmake(4.0, 5.0);
  // Growing past the capacity keeps the values and zeroes the rest.
  ASSERT_NE((v = VResize(v, 6, &st)), nullptr);
  EXPECT_EQ(v->dim, 6u);
  EXPECT_EQ(v->max_dim, 6u);
  EXPECT_EQ(v->ve[0].re, 4.0);
  EXPECT_EQ(v->ve[0].im, 5.0);
  EXPECT_TRUE(AllBitsZero(v->ve + 1, 5 * sizeof(::complex)));
  // Same size: untouched record; NULL: a new one.
  EXPECT_EQ(VResize(v, 6, &st), v);
  ZVEC* w = VResize(nullptr, 0, &st);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->dim, 0u);
  EXPECT_EQ(w->max_dim, 1u);
  zv_free(w);
  zv_free(v);
}

TEST(ZVecRecord, ResizeOfARecordWithoutCapacityMakesANewOne) {
  ::complex buf[2] = {zmake(1, 2), zmake(3, 4)};
  ZVEC view = {2, 0, buf};
  int st = 0;
  ZVEC* v = VResize(&view, 3, &st);
  ASSERT_NE(v, nullptr);
  EXPECT_NE(v, &view);
  EXPECT_EQ(view.dim, 2u);
  EXPECT_EQ(view.ve, buf);
  EXPECT_EQ(buf[1].im, 4.0);
  zv_free(v);
}

TEST(ZVecRecord, FreeRefusesNullAndNegativeDims) {
  EXPECT_EQ(zv_free(nullptr), -1);
  EXPECT_EQ(zm_free(nullptr), -1);
  int st = 0;
  ZVEC* v = VGet(1, &st);
  const unsigned saved = v->dim;
  v->dim = 0x80000000u;
  EXPECT_EQ(zv_free(v), -1);
  v->dim = saved;
  EXPECT_EQ(zv_free(v), 0);
  ZMAT* A = MGet(1, 1, &st);
  A->n = 0xFFFFFFFFu;
  EXPECT_EQ(zm_free(A), -1);
  A->n = 1;
  EXPECT_EQ(zm_free(A), 0);
}

TEST(ZMatRecord, GetLaysRowsOutAtStrideNAndKeepsZeroSizes) {
  int st = 0;
  ZMAT* A = MGet(3, 4, &st);
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(A->max_m, 3u);
  EXPECT_EQ(A->max_n, 4u);
  EXPECT_EQ(A->max_size, 12u);
  for (unsigned i = 0; i < 3; ++i) EXPECT_EQ(A->me[i], A->base + 4 * i);
  EXPECT_TRUE(AllBitsZero(A->base, 12 * sizeof(::complex)));
  zm_free(A);
  A = MResize(nullptr, 0, 0, &st);
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(A->m, 0u);
  EXPECT_EQ(A->n, 0u);
  EXPECT_EQ(A->max_m, 1u);
  EXPECT_EQ(A->max_n, 1u);
  zm_free(A);
}

TEST(ZStatus, MatrixCreationAndVectorResizeLeaveAnEarlierErrorInPlace) {
  // _LM_zm_get and _LM_zv_resize write neither the status argument nor the status word when
  // they succeed, so a -1 from an earlier failure stays for the caller to see; a resize of
  // NULL goes through _LM_zv_get, which clears both, as every other creation and resize
  // (the real twins included) does.
  ZVEC* held = VGet(2, nullptr);
  ZVEC* fresh = nullptr;
  ZMAT* A = nullptr;
  VEC* rv = nullptr;
  MAT* rA = nullptr;
  struct Case {
    const char* what;
    std::function<bool(int*)> call;  // true when the call succeeded
    int left;                        // what the status argument and word hold afterwards
  };
  const Case cases[] = {
      {"_LM_zm_get", [&](int* st) { return (A = MGet(2, 3, st)) != nullptr; }, -1},
      {"_LM_zv_resize, grown", [&](int* st) { return VResize(held, 5, st) == held; }, -1},
      {"_LM_zv_resize, same size", [&](int* st) { return VResize(held, 5, st) == held; }, -1},
      {"_LM_zv_resize, shrunk", [&](int* st) { return VResize(held, 1, st) == held; }, -1},
      {"_LM_zv_resize of NULL", [&](int* st) { return (fresh = VResize(nullptr, 2, st)) != nullptr; }, 0},
      {"_LM_zm_resize", [&](int* st) { return MResize(A, 4, 4, st) == A; }, 0},
      {"_LM_zv_get", [&](int* st) { ZVEC* v = VGet(1, st); zv_free(v); return v != nullptr; }, 0},
      {"_LM_m_get", [&](int* st) { return (rA = _LM_m_get(kTag, 0, 2, 2, __LINE__, "t", st)) != nullptr; }, 0},
      {"_LM_v_resize", [&](int* st) { return (rv = _LM_v_resize(kTag, 0, rv, 3, __LINE__, "t", st)) != nullptr; }, 0},
  };
  for (const Case& c : cases) {
    // A failure just before: the status word and the caller's status both hold -1.
    int st = 0;
    ErrWatch w;
    EXPECT_EQ(MGet(-1, 1, &st), nullptr);
    ASSERT_EQ(st, -1);
    ASSERT_EQ(_LM_err_status, -1);
    EXPECT_TRUE(c.call(&st)) << c.what;
    EXPECT_EQ(st, c.left) << c.what;
    EXPECT_EQ(_LM_err_status, c.left) << c.what;
    EXPECT_EQ(w.count(), 1) << c.what;  // only the failure set up above
  }
  // The failures themselves still leave -1 in both.
  int st = 0;
  ErrWatch w;
  EXPECT_EQ(VResize(held, -1, &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(_LM_err_status, -1);
  EXPECT_EQ(w.last(), 20);
  EXPECT_EQ(w.routine(), "zv_resize");
  EXPECT_EQ(held->dim, 1u);
  zv_free_vars(&held, &fresh, nullptr);
  zm_free(A);
  v_free(rv);
  m_free(rA);
}

TEST(ZMatRecord, ResizeKeepsTheCommonPartInEveryDirection) {
  int st = 0;
  ZMAT* A = MGet(2, 3, &st);
  FillPattern(A);
  ASSERT_EQ(MResize(A, 3, 5, &st), A);
  EXPECT_EQ(st, 0);
  ExpectKeptPattern(A, 3, 5, 2, 3);
  EXPECT_EQ(A->max_n, 5u);
  FillPattern(A);
  ASSERT_EQ(MResize(A, 3, 2, &st), A);
  ExpectKeptPattern(A, 3, 2, 3, 2);
  EXPECT_EQ(A->max_n, 5u);  // capacities never shrink
  FillPattern(A);
  ASSERT_EQ(MResize(A, 1, 4, &st), A);
  ExpectKeptPattern(A, 1, 4, 1, 2);
  FillPattern(A);
  ASSERT_EQ(MResize(A, 4, 1, &st), A);
  ExpectKeptPattern(A, 4, 1, 1, 1);
  // To 0 x 0 and back: nothing is kept, everything new is zero.
  ASSERT_EQ(MResize(A, 0, 0, &st), A);
  EXPECT_EQ(A->m, 0u);
  EXPECT_EQ(A->n, 0u);
  ASSERT_EQ(MResize(A, 2, 2, &st), A);
  ExpectKeptPattern(A, 2, 2, 0, 0);
  zm_free(A);
}

TEST(ZMatRecord, ResizeFollowsRowPointersAfterACopyIntoALargerMatrix) {
  int st = 0;
  ZMAT* small = MGet(2, 2, &st);
  FillPattern(small);
  ZMAT* big = MGet(4, 5, &st);
  ASSERT_EQ(_LM__zm_copy(small, big, 0, 0, __LINE__, "t", &st), big);
  EXPECT_EQ(big->m, 2u);
  EXPECT_EQ(big->n, 2u);
  EXPECT_EQ(big->me[1], big->base + 5);  // rows stay at the old stride
  ASSERT_EQ(MResize(big, 3, 3, &st), big);
  ExpectKeptPattern(big, 3, 3, 2, 2);
  zm_free(small);
  zm_free(big);
}

TEST(ZMatRecord, SizesThatOverflowTheSizeFieldGiveCode3AndLeaveTheRecord) {
  int st = 0;
  ErrWatch w;
  EXPECT_EQ(MGet(70000, 70000, &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.last(), 3);
  ZMAT* A = MGet(2, 2, &st);
  FillPattern(A);
  ErrWatch w2;
  EXPECT_EQ(MResize(A, 70000, 70000, &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w2.last(), 3);
  EXPECT_EQ(w2.routine(), "zm_resize");
  ExpectKeptPattern(A, 2, 2, 2, 2);
  EXPECT_EQ(A->max_m, 2u);
  EXPECT_EQ(A->max_size, 4u);
  zm_free(A);
}

TEST(ZRecords, ZeroingClearsEveryBitOfTheUsedPart) {
  int st = 0;
  ZVEC* v = VGet(3, &st);
  for (int i = 0; i < 3; ++i) v->ve[i] = zmake(-0.0, -1.0);
  ASSERT_EQ(_LM_zv_zero(v, __LINE__, "t", &st), v);
  EXPECT_TRUE(AllBitsZero(v->ve, 3 * sizeof(::complex)));
  ZMAT* A = MGet(3, 3, &st);
  FillPattern(A);
  ASSERT_EQ(MResize(A, 2, 2, &st), A);
  A->me[1][1] = zmake(-0.0, -0.0);
  ASSERT_EQ(_LM_zm_zero(A, __LINE__, "t", &st), A);
  for (unsigned i = 0; i < 2; ++i) EXPECT_TRUE(AllBitsZero(A->me[i], 2 * sizeof(::complex)));
  ErrWatch w;
  EXPECT_EQ(_LM_zv_zero(nullptr, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(w.routine(), "zv_zero");
  EXPECT_EQ(_LM_zm_zero(nullptr, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 8);
  EXPECT_EQ(w.routine(), "zm_zero");
  EXPECT_EQ(st, -1);
  zv_free(v);
  zm_free(A);
}

TEST(ZVars, GetResizeAndFreeSeveralVariables) {
  int st = -1;
  ZVEC *a = nullptr, *b = nullptr, *c = nullptr;
  EXPECT_EQ(_LM_zv_get_vars(kTag, 0, __LINE__, "t", &st, 4, &a, &b, &c, nullptr), 3);
  EXPECT_EQ(st, 0);
  for (ZVEC* v : {a, b, c}) {
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->dim, 4u);
  }
  a->ve[3] = zmake(1, 1);
  EXPECT_EQ(_LM_zv_resize_vars(kTag, 0, __LINE__, "t", &st, 6, &a, &b, nullptr), 2);
  EXPECT_EQ(a->dim, 6u);
  EXPECT_EQ(a->ve[3].re, 1.0);
  EXPECT_EQ(b->dim, 6u);
  EXPECT_EQ(c->dim, 4u);
  EXPECT_EQ(zv_free_vars(&a, &b, &c, nullptr), 3);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(c, nullptr);

  ZMAT *A = nullptr, *B = nullptr;
  EXPECT_EQ(_LM_zm_get_vars(kTag, 0, __LINE__, "t", &st, 2, 3, &A, &B, nullptr), 2);
  EXPECT_EQ(A->m, 2u);
  EXPECT_EQ(B->n, 3u);
  EXPECT_EQ(_LM_zm_resize_vars(kTag, 0, __LINE__, "t", &st, 0, 0, &A, nullptr), 1);
  EXPECT_EQ(A->m, 0u);
  EXPECT_EQ(zm_free_vars(&A, &B, nullptr), 2);
  EXPECT_EQ(B, nullptr);

  st = -1;
  EXPECT_EQ(_LM_zv_get_vars(kTag, 0, __LINE__, "t", &st, 1, nullptr), 0);
  EXPECT_EQ(st, 0);  // an empty list clears the status
}

TEST(ZVars, AFailureStopsTheWalkWithMinusOne) {
  int st = 0;
  ZVEC *a = reinterpret_cast<ZVEC*>(1), *b = reinterpret_cast<ZVEC*>(1);
  ErrWatch w;
  EXPECT_EQ(_LM_zv_get_vars(kTag, 0, __LINE__, "t", &st, -2, &a, &b, nullptr), -1);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.last(), 20);
  EXPECT_EQ(a, nullptr);                          // the failing one holds NULL
  EXPECT_EQ(b, reinterpret_cast<ZVEC*>(1));      // later ones are untouched

  // A resize that overflows in the second variable: the first keeps its new size, the
  // second its old record.
  ZMAT *A = MGet(1, 1, &st), *B = MGet(1, 70000, &st), *C = nullptr;
  ZMAT* const oldB = B;
  EXPECT_EQ(_LM_zm_resize_vars(kTag, 0, __LINE__, "t", &st, 70000, 1, &A, &B, &C, nullptr), -1);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(A->m, 70000u);
  EXPECT_EQ(B, oldB);
  EXPECT_EQ(B->n, 70000u);
  EXPECT_EQ(C, nullptr);
  zm_free_vars(&A, &B, nullptr);
}

TEST(ZAccounting, CountsBytesAndRecordsWhileTheSwitchIsOn) {
  const int was = mem_info_on(1);
  const long long v0 = mem_info_bytes(TYPE_ZVEC, 0), m0 = mem_info_bytes(TYPE_ZMAT, 0);
  const int nv0 = mem_info_numvar(TYPE_ZVEC, 0), nm0 = mem_info_numvar(TYPE_ZMAT, 0);
  int st = 0;
  ZVEC* v = VGet(5, &st);
  EXPECT_EQ(mem_info_bytes(TYPE_ZVEC, 0) - v0, static_cast<long long>(sizeof(ZVEC) + 5 * 16));
  EXPECT_EQ(mem_info_numvar(TYPE_ZVEC, 0) - nv0, 1);
  v = VResize(v, 9, &st);
  EXPECT_EQ(mem_info_bytes(TYPE_ZVEC, 0) - v0, static_cast<long long>(sizeof(ZVEC) + 9 * 16));
  v = VResize(v, 2, &st);  // capacity kept
  EXPECT_EQ(mem_info_bytes(TYPE_ZVEC, 0) - v0, static_cast<long long>(sizeof(ZVEC) + 9 * 16));
  zv_free(v);
  EXPECT_EQ(mem_info_bytes(TYPE_ZVEC, 0), v0);
  EXPECT_EQ(mem_info_numvar(TYPE_ZVEC, 0), nv0);

  ZMAT* A = MGet(2, 3, &st);
  const long long base = sizeof(ZMAT) + 6 * 16 + 2 * sizeof(void*);
  EXPECT_EQ(mem_info_bytes(TYPE_ZMAT, 0) - m0, base);
  EXPECT_EQ(mem_info_numvar(TYPE_ZMAT, 0) - nm0, 1);
  A = MResize(A, 4, 5, &st);
  EXPECT_EQ(mem_info_bytes(TYPE_ZMAT, 0) - m0,
            static_cast<long long>(sizeof(ZMAT) + 20 * 16 + 4 * sizeof(void*)));
  zm_free(A);
  EXPECT_EQ(mem_info_bytes(TYPE_ZMAT, 0), m0);
  EXPECT_EQ(mem_info_numvar(TYPE_ZMAT, 0), nm0);
  mem_info_on(was);
}
