// Tests of the complex records when the heap refuses a block: the sanitizer's allocator is
// told (through this test's environment) to return NULL for blocks above 256 MiB, so the
// allocation failures of creation and resizing can be reached with ordinary sizes.
#include <gtest/gtest.h>

#include "cmat_support.h"
#include "zmatrix.h"

using cmat_test::ErrWatch;

namespace {

const char kTag[] = "test";
// 20 million complex elements: 320 MB, above the allocator's limit for this test.
const int kHuge = 20000000;

bool HeapCanRefuse() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#else
  return false;
#endif
}

}  // namespace

TEST(ZNoMemory, CreationFailsWithCode3AndLeavesNothingBehind) {
  if (!HeapCanRefuse()) GTEST_SKIP() << "needs the sanitizer's allocator limit";
  int st = 0;
  ErrWatch w;
  EXPECT_EQ(_LM_zv_get(kTag, 0, kHuge, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.last(), 3);
  EXPECT_EQ(_LM_zm_get(kTag, 0, kHuge, 1, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 3);
  EXPECT_EQ(w.routine(), "_LM_zm_get");
  // The leak check at exit shows that the record headers were released.
}

TEST(ZNoMemory, FailedResizesKeepTheRecordIntact) {
  if (!HeapCanRefuse()) GTEST_SKIP() << "needs the sanitizer's allocator limit";
  int st = 0;
  ZVEC* v = _LM_zv_get(kTag, 0, 3, __LINE__, "t", &st);
  v->ve[2] = zmake(5, 6);
  ErrWatch w;
  EXPECT_EQ(_LM_zv_resize(kTag, 0, v, kHuge, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.last(), 3);
  EXPECT_EQ(v->dim, 3u);
  EXPECT_EQ(v->max_dim, 3u);
  EXPECT_EQ(v->ve[2].im, 6.0);

  // The row table (a few MB) can grow, the element block cannot: sizes and values stay.
  ZMAT* A = _LM_zm_get(kTag, 0, 2, 2, __LINE__, "t", &st);
  A->me[1][1] = zmake(7, 8);
  EXPECT_EQ(_LM_zm_resize(kTag, 0, A, kHuge, 2, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(w.last(), 3);
  EXPECT_EQ(A->m, 2u);
  EXPECT_EQ(A->n, 2u);
  EXPECT_EQ(A->max_m, 2u);
  EXPECT_EQ(A->me[1], A->base + 2);
  EXPECT_EQ(A->me[1][1].re, 7.0);
  // Still usable afterwards.
  ASSERT_EQ(_LM_zm_resize(kTag, 0, A, 3, 3, __LINE__, "t", &st), A);
  EXPECT_EQ(A->me[1][1].im, 8.0);

  // In a several-variable resize the failing variable keeps its record.
  ZVEC* a = nullptr;
  ZVEC* b = v;
  EXPECT_EQ(_LM_zv_resize_vars(kTag, 0, __LINE__, "t", &st, kHuge, &b, &a, nullptr), -1);
  EXPECT_EQ(b, v);
  EXPECT_EQ(a, nullptr);
  zv_free(v);
  zm_free(A);
}
