// Tests of the generic wrappers GVEC and GMAT: the record chosen by the kind, views refreshed
// by resizes, copies into larger wrappers, products and inverses against hand computation,
// for real and complex records, and the refusal of kinds and types that do not match.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>

#include "cmat_support.h"
#include "kvelosys.h"
#include "bvec.h"
#include "matwrap.h"
#include "vmorse.h"
#include "vstruct.h"
#include "vstruct_layout.h"

using cmat_test::ErrWatch;

extern "C" size_t vstruct_headers_c_layout(int k);

namespace {

GVEC* VGet(int kind, int dim, int* st) { return _LM_vec_get("t", 0, kind, dim, __LINE__, "t", st); }
GMAT* MGet(int kind, int m, int n, int* st) { return _LM_mat_get("t", 0, kind, m, n, __LINE__, "t", st); }

void Release(GVEC* w) {
  kvelo_vec_free(w);
  kvelomem_free(w, __FILE__, __LINE__);
}
void Release(GMAT* w) {
  mat_free(w);
  kvelomem_free(w, __FILE__, __LINE__);
}

double& R(GMAT* w, int i, int j) { return static_cast<double*>(w->rows[i])[j]; }
kvelo_complex& Z(GMAT* w, int i, int j) { return static_cast<kvelo_complex*>(w->rows[i])[j]; }

}  // namespace

TEST(Gvec, TheKindChoosesTheRecordAndResizesRefreshTheViews) {
  int st = 0;
  GVEC* r = VGet(5, 4, &st);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(r->type, 3);
  VEC* v = static_cast<VEC*>(r->vec);
  EXPECT_EQ(r->pdim, &v->dim);
  EXPECT_EQ(r->data, v->ve);
  EXPECT_EQ(*r->pdim, 4u);
  GVEC* z = VGet(6, 2, &st);
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(z->type, 8);
  EXPECT_EQ(*z->pdim, 2u);

  ASSERT_EQ(_LM_vec_resize("t", 0, r, 5, 100, __LINE__, "t", &st), r);
  EXPECT_EQ(*r->pdim, 100u);
  EXPECT_EQ(r->data, static_cast<VEC*>(r->vec)->ve);
  static_cast<double*>(r->data)[99] = 1.0;
  ASSERT_EQ(_LM_vec_resize("t", 0, r, 5, 100, __LINE__, "t", &st), r);
  GVEC* fresh = _LM_vec_resize("t", 0, nullptr, 6, 3, __LINE__, "t", &st);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->type, 8);
  {
    ErrWatch w;
    EXPECT_EQ(VGet(7, 3, &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 6);
    EXPECT_EQ(w.routine(), "vec_get");
    EXPECT_EQ(_LM_vec_resize("t", 0, r, 6, 3, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 6);
    EXPECT_EQ(w.routine(), "vec_resize");
    EXPECT_EQ(_LM_vec_resize("t", 0, r, 5, -3, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 20);
    EXPECT_EQ(VGet(5, -1, &st), nullptr);
    EXPECT_EQ(w.last(), 20);
    EXPECT_EQ(_LM_vec_zero(nullptr, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 8);
  }
  ASSERT_EQ(_LM_vec_zero(r, __LINE__, "t", &st), r);
  EXPECT_EQ(static_cast<double*>(r->data)[99], 0.0);
  static_cast<kvelo_complex*>(z->data)[1] = zmake(1, 2);
  ASSERT_EQ(_LM_vec_zero(z, __LINE__, "t", &st), z);
  EXPECT_EQ(static_cast<kvelo_complex*>(z->data)[1].im, 0.0);

  EXPECT_EQ(kvelo_vec_free(r), 0);
  EXPECT_EQ(r->vec, nullptr);
  EXPECT_EQ(kvelo_vec_free(nullptr), -1);
  {
    ErrWatch w;
    GVEC odd = *z;
    odd.type = 0;
    EXPECT_EQ(kvelo_vec_free(&odd), 0);
    EXPECT_EQ(w.last(), 6);
    EXPECT_EQ(odd.vec, z->vec);  // kept
  }
  kvelomem_free(r, __FILE__, __LINE__);
  Release(z);
  Release(fresh);
}

TEST(Gvec, CopiesFillTheLeadingElementsOfALargerWrapper) {
  int st = 0;
  GVEC* src = VGet(5, 3, &st);
  for (int i = 0; i < 3; ++i) static_cast<double*>(src->data)[i] = i + 1.0;
  GVEC* big = VGet(5, 5, &st);
  for (int i = 0; i < 5; ++i) static_cast<double*>(big->data)[i] = 9.0;
  ASSERT_EQ(_LM_vec_copy(src, big, __LINE__, "t", &st), big);
  EXPECT_EQ(*big->pdim, 5u);
  const double* d = static_cast<double*>(big->data);
  EXPECT_EQ(d[0], 1.0);
  EXPECT_EQ(d[2], 3.0);
  EXPECT_EQ(d[3], 9.0);
  GVEC* made = _LM_vec_copy(src, nullptr, __LINE__, "t", &st);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->type, 3);
  EXPECT_EQ(*made->pdim, 3u);
  EXPECT_EQ(static_cast<double*>(made->data)[1], 2.0);

  GVEC* zsrc = VGet(6, 2, &st);
  static_cast<kvelo_complex*>(zsrc->data)[1] = zmake(3, -4);
  GVEC* zsmall = VGet(6, 1, &st);
  ASSERT_EQ(_LM_vec_copy(zsrc, zsmall, __LINE__, "t", &st), zsmall);  // grown to the source
  EXPECT_EQ(*zsmall->pdim, 2u);
  EXPECT_EQ(static_cast<kvelo_complex*>(zsmall->data)[1].im, -4.0);
  {
    ErrWatch w;
    EXPECT_EQ(_LM_vec_copy(zsrc, big, __LINE__, "t", &st), nullptr);  // complex into real
    EXPECT_EQ(w.last(), 6);
    EXPECT_EQ(static_cast<double*>(big->data)[3], 9.0);
    EXPECT_EQ(_LM_vec_copy(nullptr, big, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 8);
  }
  EXPECT_EQ(_LM_vec_copy(src, src, __LINE__, "t", &st), src);
  for (GVEC* w : {src, big, made, zsrc, zsmall}) Release(w);
}

TEST(Gmat, RowTablesFollowTheMatrixAndCopiesFillTheLeadingBlock) {
  int st = 0;
  GMAT* a = MGet(5, 2, 3, &st);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->type, 0);
  MAT* A = static_cast<MAT*>(a->mat);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(a->rows[i], A->me[i]);
  EXPECT_EQ(a->pm, &A->m);
  EXPECT_EQ(*a->pn, 3u);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 3; ++j) R(a, i, j) = 10 * i + j + 1;

  GMAT* big = MGet(5, 4, 4, &st);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) R(big, i, j) = -1;
  ASSERT_EQ(_LM_mat_copy(a, big, __LINE__, "t", &st), big);
  EXPECT_EQ(*big->pm, 4u);
  EXPECT_EQ(*big->pn, 4u);
  EXPECT_EQ(R(big, 1, 2), 13.0);
  EXPECT_EQ(R(big, 1, 3), -1.0);
  EXPECT_EQ(R(big, 2, 0), -1.0);
  GMAT* made = _LM_mat_copy(a, nullptr, __LINE__, "t", &st);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(*made->pm, 2u);
  EXPECT_EQ(*made->pn, 3u);
  EXPECT_EQ(R(made, 1, 0), 11.0);

  // A resize moves the rows: the table follows them.
  ASSERT_EQ(_LM_mat_resize("t", 0, a, 5, 3, 5, __LINE__, "t", &st), a);
  A = static_cast<MAT*>(a->mat);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(a->rows[i], A->me[i]);
  EXPECT_EQ(R(a, 1, 2), 13.0);
  EXPECT_EQ(R(a, 2, 4), 0.0);
  ASSERT_EQ(_LM_mat_zero(a, __LINE__, "t", &st), a);
  EXPECT_EQ(R(a, 1, 2), 0.0);

  GMAT* z = MGet(6, 2, 2, &st);
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(z->type, 9);
  EXPECT_EQ(z->rows[1], static_cast<ZMAT*>(z->mat)->me[1]);
  {
    ErrWatch w;
    EXPECT_EQ(MGet(4, 2, 2, &st), nullptr);
    EXPECT_EQ(w.last(), 6);
    EXPECT_EQ(w.routine(), "mat_get");
    EXPECT_EQ(MGet(5, -2, 2, &st), nullptr);
    EXPECT_EQ(w.last(), 20);
    EXPECT_EQ(_LM_mat_resize("t", 0, z, 5, 2, 2, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 6);
    EXPECT_EQ(w.routine(), "mat_resize");
    EXPECT_EQ(_LM_mat_copy(z, big, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 6);
    EXPECT_EQ(_LM_mat_copy(nullptr, big, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 8);
    EXPECT_EQ(_LM_mat_zero(nullptr, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 8);
  }
  EXPECT_EQ(mat_free(nullptr), -1);
  {
    ErrWatch w;
    GMAT odd = *z;
    odd.type = 3;
    odd.rows = nullptr;
    EXPECT_EQ(mat_free(&odd), 0);
    EXPECT_EQ(w.last(), 6);
    EXPECT_EQ(odd.mat, z->mat);  // kept
  }
  for (GMAT* w : {a, big, made, z}) Release(w);
}

TEST(Gmat, ProductsAndInversesMatchHandComputation) {
  int st = 0;
  GMAT* a = MGet(5, 2, 3, &st);
  GMAT* b = MGet(5, 3, 2, &st);
  const double av[2][3] = {{1, 2, 3}, {4, 5, 6}};
  const double bv[3][2] = {{7, 8}, {9, 10}, {11, 12}};
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 3; ++j) R(a, i, j) = av[i][j];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 2; ++j) R(b, i, j) = bv[i][j];
  GMAT* c = _LM_mat_mlt(a, b, nullptr, __LINE__, "t", &st);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(*c->pm, 2u);
  EXPECT_EQ(*c->pn, 2u);
  EXPECT_EQ(R(c, 0, 0), 58.0);
  EXPECT_EQ(R(c, 0, 1), 64.0);
  EXPECT_EQ(R(c, 1, 0), 139.0);
  EXPECT_EQ(R(c, 1, 1), 154.0);
  // An output of another shape is resized to the product's.
  GMAT* odd = MGet(5, 5, 1, &st);
  ASSERT_EQ(_LM_mat_mlt(a, b, odd, __LINE__, "t", &st), odd);
  EXPECT_EQ(*odd->pm, 2u);
  EXPECT_EQ(R(odd, 1, 1), 154.0);

  GMAT* sq = MGet(5, 2, 2, &st);
  R(sq, 0, 0) = 4;
  R(sq, 0, 1) = 7;
  R(sq, 1, 0) = 2;
  R(sq, 1, 1) = 6;
  GMAT* inv = _LM_mat_inverse(sq, nullptr, __LINE__, "t", &st);
  ASSERT_NE(inv, nullptr);
  EXPECT_EQ(inv->type, 0);
  const double want[2][2] = {{0.6, -0.7}, {-0.2, 0.4}};
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) EXPECT_NEAR(R(inv, i, j), want[i][j], 8 * 2.2e-16);

  // Complex: [[1, i], [0, 2]] times [[2, 0], [1, -i]] and the inverse of the first.
  GMAT* za = MGet(6, 2, 2, &st);
  GMAT* zb = MGet(6, 2, 2, &st);
  Z(za, 0, 0) = zmake(1, 0);
  Z(za, 0, 1) = zmake(0, 1);
  Z(za, 1, 1) = zmake(2, 0);
  Z(zb, 0, 0) = zmake(2, 0);
  Z(zb, 1, 0) = zmake(1, 0);
  Z(zb, 1, 1) = zmake(0, -1);
  GMAT* zc = _LM_mat_mlt(za, zb, nullptr, __LINE__, "t", &st);
  ASSERT_NE(zc, nullptr);
  EXPECT_EQ(zc->type, 9);
  EXPECT_EQ(Z(zc, 0, 0).re, 2.0);
  EXPECT_EQ(Z(zc, 0, 0).im, 1.0);
  EXPECT_EQ(Z(zc, 0, 1).re, 1.0);
  EXPECT_EQ(Z(zc, 0, 1).im, 0.0);
  EXPECT_EQ(Z(zc, 1, 0).re, 2.0);
  EXPECT_EQ(Z(zc, 1, 1).im, -2.0);
  GMAT* zi = _LM_mat_inverse(za, nullptr, __LINE__, "t", &st);
  ASSERT_NE(zi, nullptr);
  EXPECT_EQ(zi->type, 9);
  EXPECT_NEAR(Z(zi, 0, 0).re, 1.0, 1e-15);
  EXPECT_NEAR(Z(zi, 0, 1).im, -0.5, 1e-15);
  EXPECT_NEAR(Z(zi, 0, 1).re, 0.0, 1e-15);
  EXPECT_NEAR(Z(zi, 1, 1).re, 0.5, 1e-15);
  {
    ErrWatch w;
    EXPECT_EQ(_LM_mat_mlt(a, b, a, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 12);
    EXPECT_EQ(_LM_mat_mlt(a, a, nullptr, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 1);
    EXPECT_EQ(_LM_mat_mlt(sq, za, nullptr, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 6);
    EXPECT_EQ(_LM_mat_mlt(za, zb, c, __LINE__, "t", &st), nullptr);  // a real output
    EXPECT_EQ(w.last(), 6);
    EXPECT_EQ(_LM_mat_mlt(nullptr, b, nullptr, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 8);
    EXPECT_EQ(w.routine(), "mat_mlt");
    EXPECT_EQ(_LM_mat_inverse(a, nullptr, __LINE__, "t", &st), nullptr);  // not square
    EXPECT_EQ(w.last(), 9);
    EXPECT_EQ(_LM_mat_inverse(nullptr, nullptr, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 8);
    EXPECT_EQ(_LM_mat_inverse(za, inv, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 6);
  }
  for (GMAT* w : {a, b, c, odd, sq, inv, za, zb, zc, zi}) Release(w);
}

TEST(Headers, CAndCppHostsSeeTheSameRecordLayouts) {
  const size_t cpp[] = {VSTRUCT_LAYOUT_VALUES};
  for (int k = 0; k < static_cast<int>(sizeof cpp / sizeof cpp[0]); ++k)
    EXPECT_EQ(vstruct_headers_c_layout(k), cpp[k]) << k;
  // The documented field order: four ints, three list pointers, the iterator.
  EXPECT_EQ(offsetof(BVEC, deb_blocs), 4 * sizeof(int));
  EXPECT_EQ(offsetof(VECM_NODE, idx), sizeof(double));
}
