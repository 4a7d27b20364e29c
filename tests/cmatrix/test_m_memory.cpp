// Tests of the dense records VEC, MAT and PERM: creation, release, resizing (values kept,
// sizes taken in 64 bits, a failed growth leaving the record as it was), the several-variable
// families and the status protocol.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <random>
#include <vector>

#include "cmat_pattern.h"
#include "cmat_support.h"
#include "kvelosys.h"
#include "matrix.h"
#include "pipe_feed.h"

using cmat_test::ErrWatch;
using cmat_test::ExpectKeptPattern;
using cmat_test::FillPattern;

namespace {

const char kTag[] = "test";

VEC* VGet(int dim, int* st) { return _LM_v_get(kTag, 0, dim, __LINE__, "VGet", st); }
MAT* MGet(int m, int n, int* st) { return _LM_m_get(kTag, 0, m, n, __LINE__, "MGet", st); }
PERM* PGet(int size, int* st) { return _LM_px_get(kTag, 0, size, __LINE__, "PGet", st); }
VEC* VResize(VEC* x, int dim, int* st) { return _LM_v_resize(kTag, 0, x, dim, __LINE__, "VResize", st); }
MAT* MResize(MAT* A, int m, int n, int* st) {
  return _LM_m_resize(kTag, 0, A, m, n, __LINE__, "MResize", st);
}
PERM* PResize(PERM* p, int size, int* st) { return _LM_px_resize(kTag, 0, p, size, __LINE__, "PResize", st); }

}  // namespace

TEST(VecRecord, GetGivesZeroedVectorWithCapacityAtLeastOne) {
  int st = 7;
  VEC* v = VGet(0, &st);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(v->dim, 0u);
  EXPECT_EQ(v->max_dim, 1u);
  EXPECT_EQ(v->ve[0], 0.0);
  EXPECT_EQ(v_free(v), 0);

  v = VGet(4, &st);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->dim, 4u);
  EXPECT_EQ(v->max_dim, 4u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(v->ve[i], 0.0);
  EXPECT_EQ(v_free(v), 0);
}

TEST(VecRecord, NegativeSizesRaiseCode20AndTheNextSuccessClearsTheStatus) {
  int st = 0;
  {
    ErrWatch w;
    EXPECT_EQ(VGet(-1, &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(_LM_err_status, -1);
    EXPECT_EQ(w.count(), 1);
    EXPECT_EQ(w.last(), 20);
    EXPECT_EQ(w.routine(), "_LM_v_get");
  }
  {
    ErrWatch w;
    EXPECT_EQ(MGet(2, -3, &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 20);
  }
  {
    ErrWatch w;
    EXPECT_EQ(PGet(-2, &st), nullptr);
    EXPECT_EQ(w.last(), 20);
  }
  VEC* v = VGet(2, &st);
  ASSERT_NE(v, nullptr);
  {
    ErrWatch w;
    EXPECT_EQ(VResize(v, -4, &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 20);
    EXPECT_EQ(w.routine(), "v_resize");
    EXPECT_EQ(v->dim, 2u);  // untouched
  }
  EXPECT_EQ(VResize(v, 3, &st), v);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(_LM_err_status, 0);
  v_free(v);
}

TEST(VecRecord, NullStatusPointerIsTolerated) {
  VEC* v = VGet(3, nullptr);
  ASSERT_NE(v, nullptr);
  ErrWatch w;
  EXPECT_EQ(VGet(-1, nullptr), nullptr);
  EXPECT_EQ(w.last(), 20);
  EXPECT_EQ(_LM_err_status, -1);
  v_free(v);
}

TEST(VecRecord, ResizeKeepsValuesZeroesNewlyCoveredElementsAndTakesZeroAsOne) {
  int st = 0;
  VEC* v = VGet(3, &st);
  for (int i = 0; i < 3; ++i) v->ve[i] = i + 1.0;

  EXPECT_EQ(VResize(v, 3, &st), v);  // unchanged size: untouched

  ASSERT_EQ(VResize(v, 5, &st), v);
  EXPECT_EQ(v->dim, 5u);
  EXPECT_EQ(v->max_dim, 5u);
  const double grown[] = {1, 2, 3, 0, 0};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(v->ve[i], grown[i]);

  v->ve[3] = 40;
  v->ve[4] = 50;
  ASSERT_EQ(VResize(v, 2, &st), v);  // smaller: capacity and the values beyond are kept
  EXPECT_EQ(v->dim, 2u);
  EXPECT_EQ(v->max_dim, 5u);
  EXPECT_EQ(v->ve[3], 40.0);
  EXPECT_EQ(v->ve[4], 50.0);

  ASSERT_EQ(VResize(v, 4, &st), v);  // regrowing covers 2 and 3 again: they become 0
  EXPECT_EQ(v->ve[1], 2.0);
  EXPECT_EQ(v->ve[2], 0.0);
  EXPECT_EQ(v->ve[3], 0.0);
  EXPECT_EQ(v->ve[4], 50.0);

  ASSERT_EQ(VResize(v, 0, &st), v);
  EXPECT_EQ(v->dim, 1u);
  EXPECT_EQ(v->ve[0], 1.0);
  v_free(v);

  VEC* e = VGet(0, &st);
  e->ve[0] = 9;  // beyond dim 0: newly covered by the resize to 0 (= 1)
  ASSERT_EQ(VResize(e, 0, &st), e);
  EXPECT_EQ(e->dim, 1u);
  EXPECT_EQ(e->ve[0], 0.0);
  v_free(e);

  VEC* n = VResize(nullptr, 2, &st);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->dim, 2u);
  v_free(n);
}

TEST(VecRecord, ViewsAreNeverFreedThroughTheirHeaderAndResizeIntoANewVector) {
  int st = 0;
  VEC* owner = VGet(4, &st);
  for (int i = 0; i < 4; ++i) owner->ve[i] = i;
  // A view as the sub-vector operation makes it: a zeroed header, no capacity.
  VEC* view = static_cast<VEC*>(kvelomem_calloc(1, sizeof(VEC), "view", 0, __FILE__, __LINE__));
  view->dim = 2;
  view->ve = owner->ve + 1;

  VEC* fresh = VResize(view, 3, &st);
  ASSERT_NE(fresh, nullptr);
  EXPECT_NE(fresh, view);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(view->dim, 2u);
  EXPECT_EQ(view->ve, owner->ve + 1);
  EXPECT_EQ(fresh->dim, 3u);
  v_free(fresh);

  EXPECT_EQ(v_free(view), 0);  // frees the header only (ASan would catch a bad free)
  EXPECT_EQ(owner->ve[1], 1.0);
  EXPECT_EQ(v_free(owner), 0);
}

TEST(MatRecord, GetLaysRowsOutAndKeepsOneRowPointerForZeroRows) {
  int st = 0;
  MAT* A = MGet(0, 3, &st);
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(A->m, 0u);
  EXPECT_EQ(A->n, 3u);
  EXPECT_EQ(A->max_m, 1u);
  EXPECT_EQ(A->max_n, 3u);
  EXPECT_EQ(A->max_size, 3u);
  EXPECT_EQ(A->me[0], A->base);
  m_free(A);

  A = MGet(2, 3, &st);
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(A->max_size, 6u);
  ExpectKeptPattern(A, 2, 3, 0, 0);
  m_free(A);

  A = MGet(3, 0, &st);
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(A->n, 0u);
  EXPECT_EQ(A->max_n, 1u);
  EXPECT_EQ(A->me[2], A->base + 2);
  m_free(A);
}

TEST(MatRecord, ResizeKeepsTheCommonPartAtTheSamePlaces) {
  int st = 0;
  MAT* A = MGet(2, 3, &st);
  FillPattern(A);
  ASSERT_EQ(MResize(A, 3, 5, &st), A);
  EXPECT_EQ(st, 0);
  ExpectKeptPattern(A, 3, 5, 2, 3);
  EXPECT_EQ(A->max_n, 5u);
  m_free(A);

  A = MGet(3, 5, &st);
  FillPattern(A);
  ASSERT_EQ(MResize(A, 3, 2, &st), A);
  ExpectKeptPattern(A, 3, 2, 3, 2);
  EXPECT_EQ(A->max_n, 5u);
  // Wider again, below the largest column count: the lost columns come back as 0.
  ASSERT_EQ(MResize(A, 3, 4, &st), A);
  ExpectKeptPattern(A, 3, 4, 3, 2);
  m_free(A);

  A = MGet(4, 3, &st);
  FillPattern(A);
  ASSERT_EQ(MResize(A, 2, 3, &st), A);
  ExpectKeptPattern(A, 2, 3, 2, 3);
  ASSERT_EQ(MResize(A, 4, 3, &st), A);  // rows 2 and 3 return as zeros
  ExpectKeptPattern(A, 4, 3, 2, 3);
  EXPECT_EQ(A->max_m, 4u);
  m_free(A);

  // Both directions at once: fewer rows, more columns, and the reverse.
  A = MGet(4, 2, &st);
  FillPattern(A);
  ASSERT_EQ(MResize(A, 3, 6, &st), A);
  ExpectKeptPattern(A, 3, 6, 3, 2);
  m_free(A);
  A = MGet(2, 6, &st);
  FillPattern(A);
  ASSERT_EQ(MResize(A, 5, 1, &st), A);
  ExpectKeptPattern(A, 5, 1, 2, 1);
  m_free(A);
}

TEST(MatRecord, ResizeTakesZeroAsOneAndNullAsANewMatrix) {
  int st = 0;
  MAT* A = MResize(nullptr, 0, 3, &st);
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(A->m, 1u);
  EXPECT_EQ(A->n, 3u);
  A->me[0][2] = 5;
  ASSERT_EQ(MResize(A, 0, 0, &st), A);
  EXPECT_EQ(A->m, 1u);
  EXPECT_EQ(A->n, 1u);
  ASSERT_EQ(MResize(A, 1, 3, &st), A);
  EXPECT_EQ(A->me[0][2], 0.0);  // the column was dropped, so it comes back as 0
  EXPECT_EQ(MResize(A, 1, 3, &st), A);
  m_free(A);
}

TEST(MatRecord, ResizeAfterACopyIntoALargerMatrixKeepsTheCopiedValues) {
  int st = 0;
  MAT* src = MGet(2, 2, &st);
  FillPattern(src);
  MAT* out = MGet(4, 5, &st);
  for (unsigned i = 0; i < 4; ++i)
    for (unsigned j = 0; j < 5; ++j) out->me[i][j] = -1;
  ASSERT_EQ(_LM__m_copy(src, out, 0, 0, __LINE__, "copy", &st), out);
  ASSERT_EQ(out->m, 2u);
  ASSERT_EQ(out->n, 2u);
  EXPECT_EQ(out->me[1], out->base + 5);  // rows left at the old stride

  ASSERT_EQ(MResize(out, 3, 3, &st), out);
  ExpectKeptPattern(out, 3, 3, 2, 2);
  m_free(out);

  out = MGet(4, 5, &st);
  ASSERT_EQ(_LM__m_copy(src, out, 0, 0, __LINE__, "copy", &st), out);
  ASSERT_EQ(MResize(out, 2, 7, &st), out);  // wider than the old stride
  ExpectKeptPattern(out, 2, 7, 2, 2);
  m_free(out);
  m_free(src);
}

TEST(MatRecord, ResizeOfAViewCopiesTheViewedValuesIntoItsOwnBlock) {
  int st = 0;
  MAT* owner = MGet(3, 3, &st);
  FillPattern(owner);
  // A view of rows 1..2, columns 1..2, as the sub-matrix operation lays it out.
  MAT* view = static_cast<MAT*>(kvelomem_calloc(1, sizeof(MAT), "view", 0, __FILE__, __LINE__));
  view->me = static_cast<double**>(kvelomem_calloc(2, sizeof(double*), "view", 0, __FILE__, __LINE__));
  view->m = 2;
  view->n = 2;
  view->me[0] = owner->me[1] + 1;
  view->me[1] = owner->me[2] + 1;

  ASSERT_EQ(MResize(view, 3, 2, &st), view);
  EXPECT_NE(view->base, nullptr);
  EXPECT_EQ(view->me[0][0], 12.0);
  EXPECT_EQ(view->me[0][1], 13.0);
  EXPECT_EQ(view->me[1][0], 22.0);
  EXPECT_EQ(view->me[1][1], 23.0);
  EXPECT_EQ(view->me[2][0], 0.0);
  view->me[0][0] = -5;
  EXPECT_EQ(owner->me[1][1], 12.0);  // no longer shares
  m_free(view);

  // Freeing a view header leaves the viewed block alone.
  MAT* v2 = static_cast<MAT*>(kvelomem_calloc(1, sizeof(MAT), "view", 0, __FILE__, __LINE__));
  v2->me = static_cast<double**>(kvelomem_calloc(1, sizeof(double*), "view", 0, __FILE__, __LINE__));
  v2->m = 1;
  v2->n = 3;
  v2->me[0] = owner->me[0];
  EXPECT_EQ(m_free(v2), 0);
  EXPECT_EQ(owner->me[0][0], 1.0);
  m_free(owner);
}

TEST(MatRecord, SizesBeyondTheSizeFieldGiveCode3AndLeaveTheRecordAsItWas) {
  int st = 0;
  {
    ErrWatch w;
    EXPECT_EQ(MGet(70000, 70000, &st), nullptr);  // 4.9e9 elements > 2^32 - 1
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 3);
  }
  MAT* A = MGet(2, 3, &st);
  FillPattern(A);
  double* base = A->base;
  {
    ErrWatch w;
    EXPECT_EQ(MResize(A, 70000, 70000, &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 3);
  }
  EXPECT_EQ(A->base, base);
  EXPECT_EQ(A->max_m, 2u);
  EXPECT_EQ(A->max_size, 6u);
  ExpectKeptPattern(A, 2, 3, 2, 3);
  {
    // Capacity growth alone can overflow: max_m stays 70000 after the rows shrink.
    ErrWatch w;
    MAT* B = MGet(70000, 1, &st);
    ASSERT_NE(B, nullptr);
    ASSERT_EQ(MResize(B, 1, 1, &st), B);
    EXPECT_EQ(MResize(B, 1, 70000, &st), nullptr);
    EXPECT_EQ(w.last(), 3);
    EXPECT_EQ(B->n, 1u);
    EXPECT_EQ(B->max_n, 1u);
    m_free(B);
  }
  m_free(A);
}

TEST(PermRecord, GetGivesTheIdentityAndResizeFollowsItsRules) {
  int st = 0;
  PERM* p = PGet(0, &st);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->size, 0u);
  EXPECT_EQ(p->max_size, 1u);
  px_free(p);

  p = PGet(5, &st);
  for (unsigned i = 0; i < 5; ++i) EXPECT_EQ(p->pe[i], i);
  for (unsigned i = 0; i < 5; ++i) p->pe[i] = 4 - i;
  ASSERT_EQ(PResize(p, 3, &st), p);  // smaller: the identity of the new size
  EXPECT_EQ(p->size, 3u);
  EXPECT_EQ(p->max_size, 5u);
  for (unsigned i = 0; i < 3; ++i) EXPECT_EQ(p->pe[i], i);
  px_free(p);

  p = PGet(3, &st);
  p->pe[0] = 2;
  p->pe[1] = 0;
  p->pe[2] = 1;
  ASSERT_EQ(PResize(p, 5, &st), p);  // larger: old entries kept, new ones map to themselves
  const unsigned want[] = {2, 0, 1, 3, 4};
  for (unsigned i = 0; i < 5; ++i) EXPECT_EQ(p->pe[i], want[i]);
  EXPECT_EQ(PResize(p, 5, &st), p);
  ASSERT_EQ(PResize(p, 0, &st), p);
  EXPECT_EQ(p->size, 1u);
  EXPECT_EQ(p->pe[0], 0u);
  px_free(p);

  PERM* q = PResize(nullptr, 2, &st);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->pe[1], 1u);
  px_free(q);
  ErrWatch w;
  EXPECT_EQ(PResize(nullptr, -1, &st), nullptr);
  EXPECT_EQ(w.last(), 20);
}

TEST(Release, FreesRefuseNullAndSizesNegativeAsSignedInts) {
  EXPECT_EQ(v_free(nullptr), -1);
  EXPECT_EQ(m_free(nullptr), -1);
  EXPECT_EQ(px_free(nullptr), -1);
  int st = 0;
  VEC* v = VGet(1, &st);
  v->dim = 0x80000000u;
  EXPECT_EQ(v_free(v), -1);
  v->dim = 1;
  EXPECT_EQ(v_free(v), 0);
  MAT* A = MGet(1, 1, &st);
  A->n = 0x90000000u;
  EXPECT_EQ(m_free(A), -1);
  A->n = 1;
  A->m = 0xFFFFFFFFu;
  EXPECT_EQ(m_free(A), -1);
  A->m = 1;
  EXPECT_EQ(m_free(A), 0);
  PERM* p = PGet(1, &st);
  p->size = 0x80000001u;
  EXPECT_EQ(px_free(p), -1);
  p->size = 1;
  EXPECT_EQ(px_free(p), 0);
}

TEST(SeveralVariables, GetResizeAndFreeFamilies) {
  int st = 0;
  VEC *a = nullptr, *b = nullptr, *c = nullptr;
  EXPECT_EQ(_LM_v_get_vars(kTag, 0, __LINE__, "vars", &st, 4, &a, &b, &c, (VEC**)nullptr), 3);
  EXPECT_EQ(st, 0);
  for (VEC* v : {a, b, c}) {
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->dim, 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(v->ve[i], 0.0);
  }
  a->ve[0] = 3;
  EXPECT_EQ(_LM_v_resize_vars(kTag, 0, __LINE__, "vars", &st, 6, &a, &b, (VEC**)nullptr), 2);
  EXPECT_EQ(a->dim, 6u);
  EXPECT_EQ(a->ve[0], 3.0);
  EXPECT_EQ(b->dim, 6u);
  EXPECT_EQ(c->dim, 4u);
  EXPECT_EQ(v_free_vars(&a, &b, &c, (VEC**)nullptr), 3);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(c, nullptr);

  st = 5;  // an empty list leaves the status as it was
  EXPECT_EQ(_LM_v_get_vars(kTag, 0, __LINE__, "vars", &st, 4, (VEC**)nullptr), 0);
  EXPECT_EQ(st, 5);

  MAT *A = nullptr, *B = nullptr;
  EXPECT_EQ(_LM_m_get_vars(kTag, 0, __LINE__, "vars", &st, 2, 3, &A, &B, (MAT**)nullptr), 2);
  EXPECT_EQ(B->n, 3u);
  EXPECT_EQ(_LM_m_resize_vars(kTag, 0, __LINE__, "vars", &st, 4, 1, &A, &B, (MAT**)nullptr), 2);
  EXPECT_EQ(A->m, 4u);
  EXPECT_EQ(B->n, 1u);
  EXPECT_EQ(m_free_vars(&A, &B, (MAT**)nullptr), 2);
  EXPECT_EQ(A, nullptr);

  PERM *p = nullptr, *q = nullptr;
  EXPECT_EQ(_LM_px_get_vars(kTag, 0, __LINE__, "vars", &st, 3, &p, &q, (PERM**)nullptr), 2);
  EXPECT_EQ(q->pe[2], 2u);
  EXPECT_EQ(_LM_px_resize_vars(kTag, 0, __LINE__, "vars", &st, 5, &p, (PERM**)nullptr), 1);
  EXPECT_EQ(p->size, 5u);
  EXPECT_EQ(px_free_vars(&p, &q, (PERM**)nullptr), 2);
  EXPECT_EQ(q, nullptr);
}

TEST(SeveralVariables, StopAtTheFirstFailure) {
  int st = 0;
  VEC* a = reinterpret_cast<VEC*>(0x1);  // sentinels: must not be touched or must become NULL
  VEC* b = reinterpret_cast<VEC*>(0x2);
  ErrWatch w;
  EXPECT_EQ(_LM_v_get_vars(kTag, 0, __LINE__, "vars", &st, -1, &a, &b, (VEC**)nullptr), -1);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(w.last(), 20);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(b, reinterpret_cast<VEC*>(0x2));

  // A failing resize keeps the record it could not resize; earlier ones keep their new size.
  MAT* A = MGet(1, 1, &st);
  MAT* B = MResize(MGet(70000, 1, &st), 1, 1, &st);  // keeps a capacity of 70000 rows
  ASSERT_NE(B, nullptr);
  EXPECT_EQ(_LM_m_resize_vars(kTag, 0, __LINE__, "vars", &st, 2, 70000, &A, &B, (MAT**)nullptr), -1);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(A->n, 70000u);
  ASSERT_NE(B, nullptr);
  EXPECT_EQ(B->n, 1u);
  m_free_vars(&A, &B, (MAT**)nullptr);
}

TEST(MatRecord, RandomResizesAndCopiesAgreeWithAPlainModel) {
  // A reference model of the matrix contents: resizes keep the common part and zero the
  // rest; a copy from a smaller matrix lowers the sizes and takes its values. The record's
  // rows may then lie at an old stride, which the next resize must follow.
  std::mt19937 gen(20240611u);
  auto pick = [&gen](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); };
  int st = 0;
  MAT* A = MGet(3, 3, &st);
  std::vector<std::vector<double>> model(3, std::vector<double>(3, 0.0));
  for (int step = 0; step < 400; ++step) {
    const int m = static_cast<int>(model.size()), n = static_cast<int>(model[0].size());
    if (pick(0, 2) == 0 && m >= 1 && n >= 1) {
      const int sm = pick(1, m), sn = pick(1, n);
      MAT* src = MGet(sm, sn, &st);
      for (int i = 0; i < sm; ++i)
        for (int j = 0; j < sn; ++j) src->me[i][j] = pick(-99, 99);
      ASSERT_EQ(_LM__m_copy(src, A, 0, 0, __LINE__, "copy", &st), A);
      model.assign(sm, std::vector<double>(sn));
      for (int i = 0; i < sm; ++i)
        for (int j = 0; j < sn; ++j) model[i][j] = src->me[i][j];
      m_free(src);
    } else {
      const int nm = pick(0, 8), nn = pick(0, 8);
      ASSERT_EQ(MResize(A, nm, nn, &st), A) << "step " << step;
      const int em = nm ? nm : 1, en = nn ? nn : 1;
      std::vector<std::vector<double>> next(em, std::vector<double>(en, 0.0));
      for (int i = 0; i < std::min(em, m); ++i)
        for (int j = 0; j < std::min(en, n); ++j) next[i][j] = model[i][j];
      model = next;
      // Written after the resize, so that later steps carry values that were not zero.
      model[0][0] = step;
      A->me[0][0] = step;
    }
    ASSERT_EQ(A->m, model.size());
    ASSERT_EQ(A->n, model[0].size());
    for (unsigned i = 0; i < A->m; ++i)
      for (unsigned j = 0; j < A->n; ++j) ASSERT_EQ(A->me[i][j], model[i][j]) << "step " << step;
  }
  m_free(A);
}

// Records without a block (as the printers know them: a size and no entries, a matrix
// without its row table) that a resize cannot grow keep their sizes and their missing
// blocks: the permutation's size stayed 3 (not 0) and the matrix got no row table pointing
// nowhere. Blocks above 32 bytes are refused here.
TEST(FailedGrowth, RecordsWithoutBlocksStayAsTheyWere) {
  int st = 0;
  PERM* p = PGet(3, &st);
  kvelomem_free(p->pe, __FILE__, __LINE__);
  p->pe = nullptr;
  MAT* A = MGet(2, 2, &st);
  kvelomem_free(A->me, __FILE__, __LINE__);
  kvelomem_free(A->base, __FILE__, __LINE__);
  A->me = nullptr;
  A->base = nullptr;
  {
    kvtest::HeapCeiling ceiling(32);
    ErrWatch w;
    EXPECT_EQ(PResize(p, 9, &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 3);
    EXPECT_EQ(p->size, 3u);
    EXPECT_EQ(p->pe, nullptr);
    // The row table (2 pointers) fits under the ceiling, the block (2 x 9 doubles) does not.
    EXPECT_EQ(MResize(A, 2, 9, &st), nullptr);
    EXPECT_EQ(w.last(), 3);
    EXPECT_EQ(A->m, 2u);
    EXPECT_EQ(A->n, 2u);
    EXPECT_EQ(A->me, nullptr);
    EXPECT_EQ(A->base, nullptr);
  }
  // Without the ceiling both get their blocks: nothing to keep, so the identity and zeros.
  ASSERT_EQ(PResize(p, 4, &st), p);
  EXPECT_EQ(std::vector<unsigned>(p->pe, p->pe + 4), (std::vector<unsigned>{0, 1, 2, 3}));
  ASSERT_EQ(MResize(A, 2, 9, &st), A);
  ExpectKeptPattern(A, 2, 9, 0, 0);
  px_free(p);
  m_free(A);
}
