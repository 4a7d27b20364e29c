// Writer and reader pairs of the C matrix library: every binary writer against its reader
// with values at the edges of their type (NaN payloads, signed zeros, subnormals, the ends of
// int), one-element, empty and large records, a narrowed matrix, and all kinds following one
// another in one stream; the sparse vectors' binary forms, trees filled in any order; and the
// text printers against their readers, to the precision the printers keep.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "cmat_capture.h"
#include "dense_fixtures.h"
#include "edge_values.h"
#include "matrix.h"
#include "matrix_bf.h"
#include "scratch_file.h"
#include "vmorse.h"
#include "zmatrix.h"

using namespace cmat_test;

using kvtest::EdgeDoubles;
using kvtest::Scratch;

namespace {

const char kTag[] = "pairs";

bool SameBits(const void* a, const void* b, size_t bytes) { return bytes == 0 || std::memcmp(a, b, bytes) == 0; }


VEC* MakeVec(const std::vector<double>& v) {
  int st = 0;
  VEC* x = _LM_v_get(kTag, 0, static_cast<int>(v.size()), __LINE__, "t", &st);
  if (!v.empty()) std::memcpy(x->ve, v.data(), v.size() * sizeof(double));
  return x;
}

}  // namespace

/* ------------------------------------------------------------ dense binary forms -- */

TEST(CMatBinaryPairs, EveryRecordKindKeepsEveryBitInOneStream) {
  const std::vector<double> d = EdgeDoubles();
  const size_t nd = d.size();
  int st = 0, err = 0;
  VEC* v = MakeVec(d);
  VEC* vone = MakeVec({-0.0});
  VEC* vempty = MakeVec({});
  std::vector<double> bigValues(300001);
  for (size_t k = 0; k < bigValues.size(); ++k) bigValues[k] = kvtest::FromBits(0x0123456789ABCDEFull ^ (k * 0x9E3779B97F4A7C15ull));
  VEC* vbig = MakeVec(bigValues);
  ZVEC* zv = _LM_zv_get(kTag, 0, static_cast<int>(nd), __LINE__, "t", &st);
  for (size_t k = 0; k < nd; ++k) zv->ve[k] = zmake(d[k], d[nd - 1 - k]);
  ZVEC* zempty = _LM_zv_get(kTag, 0, 0, __LINE__, "t", &st);
  // A matrix of edge values, and one narrowed after it was filled (its rows keep a longer
  // stride than its width).
  MAT* A = _LM_m_get(kTag, 0, 3, 5, __LINE__, "t", &st);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 5; ++j) A->me[i][j] = d[(5 * i + j) % nd];
  MAT* narrow = _LM_m_get(kTag, 0, 4, 4, __LINE__, "t", &st);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) narrow->me[i][j] = d[(4 * i + j + 3) % nd];
  ASSERT_NE(_LM_m_resize(kTag, 0, narrow, 3, 2, __LINE__, "t", &st), nullptr);
  MAT* mone = _LM_m_get(kTag, 0, 1, 1, __LINE__, "t", &st);
  mone->me[0][0] = d[12];
  ZMAT* Z = _LM_zm_get(kTag, 0, 2, 3, __LINE__, "t", &st);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 3; ++j) Z->me[i][j] = zmake(d[(3 * i + j) % nd], d[(3 * i + j + 7) % nd]);
  IVEC* iv = _LM_iv_get(kTag, 0, 5, __LINE__, "t", &st);
  const int ints[] = {INT_MIN, INT_MAX, -1, 0, 0x01020304};
  std::copy(ints, ints + 5, iv->ive);
  LVEC* lv = _LM_lv_get(kTag, 0, 4, __LINE__, "t", &st);
  const long longs[] = {INT32_MIN, INT32_MAX, -1, 0};
  std::copy(longs, longs + 4, lv->lve);
  LVEC* lempty = _LM_lv_get(kTag, 0, 0, __LINE__, "t", &st);
  PERM* pone = _LM_px_get(kTag, 0, 1, __LINE__, "t", &st);
  PERM* pbig = _LM_px_get(kTag, 0, 100000, __LINE__, "t", &st);
  std::vector<unsigned> order(100000);
  for (unsigned k = 0; k < order.size(); ++k) order[k] = k;
  std::shuffle(order.begin(), order.end(), std::mt19937(11));
  std::copy(order.begin(), order.end(), pbig->pe);
  ASSERT_EQ(st, 0);

  Scratch s;
  ASSERT_NE(s.f, nullptr);
  std::vector<int> errs;
  auto put = [&](const std::function<void(int*)>& w) {
    err = 7;
    w(&err);
    errs.push_back(err);
  };
  put([&](int* e) { v_boutput(s.f, v, e); });
  put([&](int* e) { v_boutput(s.f, vempty, e); });
  put([&](int* e) { zv_boutput(s.f, zv, e); });
  put([&](int* e) { m_boutput(s.f, A, e); });
  put([&](int* e) { v_boutput(s.f, vone, e); });
  put([&](int* e) { zv_boutput(s.f, zempty, e); });
  put([&](int* e) { m_boutput(s.f, narrow, e); });
  put([&](int* e) { iv_boutput(s.f, iv, e); });
  put([&](int* e) { lv_boutput(s.f, lempty, e); });
  put([&](int* e) { m_boutput(s.f, mone, e); });
  put([&](int* e) { zm_boutput(s.f, Z, e); });
  put([&](int* e) { lv_boutput(s.f, lv, e); });
  put([&](int* e) { px_boutput(s.f, pone, e); });
  put([&](int* e) { px_boutput(s.f, pbig, e); });
  put([&](int* e) { v_boutput(s.f, vbig, e); });
  EXPECT_EQ(errs, std::vector<int>(errs.size(), 0));
  s.Rewind();

  VEC* rv = _LM_v_binput(s.f, nullptr, __LINE__, "t", &err);
  ASSERT_EQ(err, 0);
  VEC* rvempty = _LM_v_binput(s.f, nullptr, __LINE__, "t", &err);
  ASSERT_EQ(err, 0);
  ZVEC* rzv = _LM_zv_binput(s.f, nullptr, __LINE__, "t", &err);
  ASSERT_EQ(err, 0);
  MAT* rA = _LM_m_binput(s.f, nullptr, __LINE__, "t", &err);
  ASSERT_EQ(err, 0);
  // Into records of other shapes, which the readers resize.
  VEC* rvone = _LM_v_binput(s.f, MakeVec({1, 2, 3}), __LINE__, "t", &err);
  ASSERT_EQ(err, 0);
  ZVEC* rzempty = _LM_zv_binput(s.f, nullptr, __LINE__, "t", &err);
  ASSERT_EQ(err, 0);
  MAT* rnarrow = _LM_m_binput(s.f, _LM_m_get(kTag, 0, 1, 7, __LINE__, "t", &st), __LINE__, "t", &err);
  ASSERT_EQ(err, 0);
  IVEC* riv = _LM_iv_binput(s.f, nullptr, __LINE__, "t", &err);
  ASSERT_EQ(err, 0);
  LVEC* rlempty = _LM_lv_binput(s.f, nullptr, __LINE__, "t", &err);
  ASSERT_EQ(err, 0);
  MAT* rmone = _LM_m_binput(s.f, nullptr, __LINE__, "t", &err);
  ASSERT_EQ(err, 0);
  ZMAT* rZ = _LM_zm_binput(s.f, nullptr, __LINE__, "t", &err);
  ASSERT_EQ(err, 0);
  LVEC* rlv = _LM_lv_binput(s.f, nullptr, __LINE__, "t", &err);
  ASSERT_EQ(err, 0);
  PERM* rpone = _LM_px_binput(s.f, nullptr, __LINE__, "t", &err);
  ASSERT_EQ(err, 0);
  PERM* rpbig = _LM_px_binput(s.f, nullptr, __LINE__, "t", &err);
  ASSERT_EQ(err, 0);
  VEC* rvbig = _LM_v_binput(s.f, nullptr, __LINE__, "t", &err);
  ASSERT_EQ(err, 0);
  EXPECT_TRUE(s.AtEnd());

  ASSERT_TRUE(rv && rvempty && rzv && rA && rvone && rzempty && rnarrow && riv && rlempty && rmone && rZ && rlv &&
              rpone && rpbig && rvbig);
  ASSERT_EQ(rv->dim, nd);
  EXPECT_TRUE(SameBits(rv->ve, d.data(), nd * sizeof(double)));
  EXPECT_EQ(rvempty->dim, 0u);
  ASSERT_EQ(rzv->dim, nd);
  EXPECT_TRUE(SameBits(rzv->ve, zv->ve, nd * sizeof(::complex)));
  ASSERT_EQ(rA->m, 3u);
  ASSERT_EQ(rA->n, 5u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(SameBits(rA->me[i], A->me[i], 5 * sizeof(double))) << i;
  ASSERT_EQ(rvone->dim, 1u);
  EXPECT_TRUE(std::signbit(rvone->ve[0]) && rvone->ve[0] == 0.0);
  EXPECT_EQ(rzempty->dim, 0u);
  ASSERT_EQ(rnarrow->m, 3u);
  ASSERT_EQ(rnarrow->n, 2u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(SameBits(rnarrow->me[i], narrow->me[i], 2 * sizeof(double))) << i;
  ASSERT_EQ(riv->dim, 5u);
  EXPECT_TRUE(SameBits(riv->ive, ints, sizeof ints));
  EXPECT_EQ(rlempty->dim, 0u);
  ASSERT_EQ(rmone->m, 1u);
  ASSERT_EQ(rmone->n, 1u);
  EXPECT_TRUE(SameBits(rmone->me[0], mone->me[0], sizeof(double)));
  ASSERT_EQ(rZ->m, 2u);
  ASSERT_EQ(rZ->n, 3u);
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(SameBits(rZ->me[i], Z->me[i], 3 * sizeof(::complex))) << i;
  ASSERT_EQ(rlv->dim, 4u);
  EXPECT_TRUE(SameBits(rlv->lve, longs, sizeof longs));
  ASSERT_EQ(rpone->size, 1u);
  EXPECT_EQ(rpone->pe[0], 0u);
  ASSERT_EQ(rpbig->size, 100000u);
  EXPECT_TRUE(SameBits(rpbig->pe, order.data(), order.size() * sizeof(unsigned)));
  ASSERT_EQ(rvbig->dim, bigValues.size());
  EXPECT_TRUE(SameBits(rvbig->ve, bigValues.data(), bigValues.size() * sizeof(double)));

  for (VEC* x : {v, vone, vempty, vbig, rv, rvempty, rvone, rvbig}) v_free(x);
  for (ZVEC* x : {zv, zempty, rzv, rzempty}) zv_free(x);
  for (MAT* x : {A, narrow, mone, rA, rnarrow, rmone}) m_free(x);
  for (ZMAT* x : {Z, rZ}) zm_free(x);
  for (IVEC* x : {iv, riv}) iv_free(x);
  for (LVEC* x : {lv, lempty, rlv, rlempty}) lv_free(x);
  for (PERM* x : {pone, pbig, rpone, rpbig}) px_free(x);
}

/* ------------------------------------------------------------ sparse binary forms -- */

TEST(VmorsePairs, SparseFormsOfEdgeValuesReadBackFromOneStream) {
  const std::vector<double> d = EdgeDoubles();
  int st = 0;
  // A tree filled in shuffled index order (its in-order walk must come out ascending), with
  // an explicit zero stored, on the largest dimension.
  const int dim = INT_MAX;
  std::vector<int> idx = {0, 1, 2, 1000, 65536, dim - 3, dim - 2, dim - 1, 77, 5, 123456789, 31, 8, 9, 40, 4096, 300000};
  ASSERT_EQ(idx.size(), d.size());
  std::vector<size_t> fillOrder(idx.size());
  for (size_t k = 0; k < fillOrder.size(); ++k) fillOrder[k] = k;
  std::shuffle(fillOrder.begin(), fillOrder.end(), std::mt19937(5));
  VECM* m = LM_vecm_get(dim, 1, &st);
  ASSERT_NE(m, nullptr);
  for (size_t k : fillOrder) ASSERT_EQ(LM_vecm_addval(m, idx[k], d[k], 0), 0);
  VECM* mone = LM_vecm_get(1, 1, &st);
  ASSERT_EQ(LM_vecm_addval(mone, 0, -0.0, 0), 0);
  VECM* mnone = LM_vecm_get(3, 0, &st);  // dimension 3, nothing stored

  // A packed vector made by hand, ascending indices.
  std::vector<std::pair<int, double>> sorted;
  for (size_t k = 0; k < idx.size(); ++k) sorted.push_back({idx[k], d[k]});
  std::sort(sorted.begin(), sorted.end(), [](const std::pair<int, double>& a, const std::pair<int, double>& b) {
    return a.first < b.first;
  });
  VECMP* p = LM_vecmp_get(dim, static_cast<int>(sorted.size()), &st);
  ASSERT_NE(p, nullptr);
  for (size_t k = 0; k < sorted.size(); ++k) {
    p->idx[k] = sorted[k].first;
    p->val[k] = sorted[k].second;
  }
  // A windowed vector of a dense one: runs at the start, in the middle and at the end, single
  // entries, NaN and infinite entries.
  // (Magnitudes within 1e16 of each other: every finite entry is significant.)
  std::vector<double> dense(40, 0.0);
  const int at[] = {0, 1, 2, 10, 20, 21, 22, 23, 30, 37, 38, 39};
  const double values[] = {1.5, -2.25, 3e-3, 7, kvtest::FromBits(0x7FF4DEADBEEF0001ull), HUGE_VAL,
                           -HUGE_VAL, 1.0 / 3.0, kvtest::FromBits(0xFFF8000000000000ull), 4, 9, -1e10};
  for (size_t k = 0; k < 12; ++k) dense[at[k]] = values[k];
  VEC* x = MakeVec(dense);
  VECMW* w = LM_vec2vecmw(x, &st);
  ASSERT_NE(w, nullptr);

  Scratch s;
  ASSERT_NE(s.f, nullptr);
  int e1 = 7, e2 = 7, e3 = 7, e4 = 7, e5 = 7, e6 = 7, e7 = 7;
  vecm_boutput(s.f, m, &e1);
  vecmp_boutput(s.f, p, &e2);
  vecm_boutput(s.f, mone, &e3);
  vecmw_boutput(s.f, w, &e4);
  vecm_boutput_as_vecmp(s.f, m, &e5);
  v_boutput_as_vecm(s.f, x, &e6);
  vecm_boutput(s.f, mnone, &e7);
  EXPECT_EQ(std::vector<int>({e1, e2, e3, e4, e5, e6, e7}), std::vector<int>(7, 0));
  s.Rewind();

  int rs = 0;
  VECM* rm = LM_vecm_binput(s.f, nullptr, &rs);
  VECMP* rp = LM_vecmp_binput(s.f, nullptr, &rs);
  VECM* rmone = LM_vecm_binput(s.f, nullptr, &rs);
  VECMW* rw = LM_vecmw_binput(s.f, nullptr, &rs);
  VECMP* rmp = LM_vecmp_binput(s.f, nullptr, &rs);
  VECM* rx = LM_vecm_binput(s.f, nullptr, &rs);
  VECM* rnone = LM_vecm_binput(s.f, nullptr, &rs);
  EXPECT_TRUE(s.AtEnd());
  ASSERT_TRUE(rm && rp && rmone && rw && rmp && rx && rnone);

  auto expectTree = [&](VECM* got, VECM* want, const char* what) {
    ASSERT_EQ(got->dim, want->dim) << what;
    ASSERT_EQ(got->nnz, want->nnz) << what;
    for (int k = 0; k < want->nnz; ++k) {
      const VECM_NODE& n = want->pool[k];
      int s2 = 0;
      const double g = LM_vecm_getval(got, n.idx, &s2);
      EXPECT_TRUE(SameBits(&g, &n.val, sizeof(double))) << what << " index " << n.idx;
    }
  };
  expectTree(rm, m, "tree");
  expectTree(rmone, mone, "one entry");
  expectTree(rnone, mnone, "nothing stored");
  for (VECMP* q : {rp, rmp}) {
    ASSERT_EQ(q->dim, dim);
    ASSERT_EQ(q->nnz, static_cast<int>(sorted.size()));
    for (size_t k = 0; k < sorted.size(); ++k) {
      EXPECT_EQ(q->idx[k], sorted[k].first);
      EXPECT_TRUE(SameBits(&q->val[k], &sorted[k].second, sizeof(double))) << k;
    }
  }
  ASSERT_EQ(rw->dim, w->dim);
  ASSERT_EQ(rw->nval, w->nval);
  ASSERT_EQ(rw->ncode, w->ncode);
  EXPECT_EQ(rw->lead, w->lead);
  EXPECT_TRUE(SameBits(rw->code, w->code, static_cast<size_t>(w->ncode) * sizeof(int)));
  EXPECT_TRUE(SameBits(rw->val, w->val, static_cast<size_t>(w->nval) * sizeof(double)));
  // The dense vector's significant entries, as a tree.
  VEC* back = LM_vecm2vec(rx, nullptr, &rs);
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->dim, dense.size());
  EXPECT_TRUE(SameBits(back->ve, dense.data(), dense.size() * sizeof(double)));

  for (VECM* q : {m, mone, mnone, rm, rmone, rx, rnone}) vecm_free(q);
  for (VECMP* q : {p, rp, rmp}) vecmp_free(q);
  for (VECMW* q : {w, rw}) vecmw_free(q);
  v_free(x);
  v_free(back);
}

/* ------------------------------------------------------------ text forms -- */

namespace {

// What a value printed with the printers' "%14.9g" reads as: the truth the text readers
// must meet (the printers keep nine significant digits).
double AsPrinted(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%14.9g", x);
  return std::strtod(buf, nullptr);
}

testing::AssertionResult SameAsPrinted(double got, double original) {
  const double want = AsPrinted(original);
  if (std::isnan(want) ? std::isnan(got) : (got == want && std::signbit(got) == std::signbit(want)))
    return testing::AssertionSuccess();
  return testing::AssertionFailure() << "read " << got << " for " << original;
}

}  // namespace

TEST(CMatTextPairs, PrintedFormsOfEdgeValuesReadBackInOneStream) {
  const std::vector<double> d = EdgeDoubles();
  const size_t nd = d.size();
  int st = 0;
  VecP v(NewVec(d));
  VecP vone(NewVec({-0.0}));
  VecP vmax(MakeVec(std::vector<double>(2001, -1.0 / 7.0)));
  MatP A(_LM_m_get(kTag, 0, 4, 7, __LINE__, "t", &st));
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 7; ++j) A->me[i][j] = d[(7 * i + j) % nd];
  MatP narrow(_LM_m_get(kTag, 0, 3, 3, __LINE__, "t", &st));
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) narrow->me[i][j] = d[(3 * i + j + 2) % nd];
  ASSERT_NE(_LM_m_resize(kTag, 0, narrow.get(), 2, 1, __LINE__, "t", &st), nullptr);
  PermP pone(NewPerm({0}));
  std::vector<unsigned> order(2001);
  for (unsigned k = 0; k < order.size(); ++k) order[k] = k;
  std::shuffle(order.begin(), order.end(), std::mt19937(3));
  PermP pmax(NewPerm(order));
  IvecP iv(_LM_iv_get(kTag, 0, 9, __LINE__, "t", &st));
  const int ints[] = {INT_MIN, INT_MAX, -1, 0, 1, INT_MIN + 1, INT_MAX - 1, 8, -8};
  std::copy(ints, ints + 9, iv->ive);
  LvecP lv(_LM_lv_get(kTag, 0, 17, __LINE__, "t", &st));
  for (int k = 0; k < 17; ++k) lv->lve[k] = k % 2 ? INT32_MIN + k : INT32_MAX - k;

  const std::string text = CaptureFile([&](FILE* f) {
    v_foutput(f, v.get());
    m_foutput(f, A.get());
    iv_foutput(f, iv.get());
    v_foutput(f, vone.get());
    px_foutput(f, pone.get());
    m_foutput(f, narrow.get());
    lv_foutput(f, lv.get());
    px_foutput(f, pmax.get());
    v_foutput(f, vmax.get());
  });
  TextFile in(text);
  VecP rv(_LM_v_finput(in.get(), nullptr, __LINE__, "t", &st));
  ASSERT_EQ(st, 0);
  MatP rA(_LM_m_finput(in.get(), nullptr, __LINE__, "t", &st));
  ASSERT_EQ(st, 0);
  IvecP riv(_LM_iv_finput(in.get(), nullptr, __LINE__, "t", &st));
  ASSERT_EQ(st, 0);
  VecP rvone(_LM_v_finput(in.get(), nullptr, __LINE__, "t", &st));
  ASSERT_EQ(st, 0);
  PermP rpone(_LM_px_finput(in.get(), nullptr, __LINE__, "t", &st));
  ASSERT_EQ(st, 0);
  MatP rnarrow(_LM_m_finput(in.get(), nullptr, __LINE__, "t", &st));
  ASSERT_EQ(st, 0);
  LvecP rlv(_LM_lv_finput(in.get(), nullptr, __LINE__, "t", &st));
  ASSERT_EQ(st, 0);
  PermP rpmax(_LM_px_finput(in.get(), nullptr, __LINE__, "t", &st));
  ASSERT_EQ(st, 0);
  VecP rvmax(_LM_v_finput(in.get(), nullptr, __LINE__, "t", &st));
  ASSERT_EQ(st, 0);
  ASSERT_TRUE(rv && rA && riv && rvone && rpone && rnarrow && rlv && rpmax && rvmax);

  ASSERT_EQ(rv->dim, nd);
  for (size_t k = 0; k < nd; ++k) EXPECT_TRUE(SameAsPrinted(rv->ve[k], d[k])) << k;
  ASSERT_EQ(rA->m, 4u);
  ASSERT_EQ(rA->n, 7u);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 7; ++j) EXPECT_TRUE(SameAsPrinted(rA->me[i][j], A->me[i][j])) << i << "," << j;
  ASSERT_EQ(riv->dim, 9u);
  EXPECT_TRUE(SameBits(riv->ive, ints, sizeof ints));
  ASSERT_EQ(rvone->dim, 1u);
  EXPECT_TRUE(SameAsPrinted(rvone->ve[0], -0.0));
  ASSERT_EQ(rpone->size, 1u);
  EXPECT_EQ(rpone->pe[0], 0u);
  ASSERT_EQ(rnarrow->m, 2u);
  ASSERT_EQ(rnarrow->n, 1u);
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(SameAsPrinted(rnarrow->me[i][0], narrow->me[i][0])) << i;
  ASSERT_EQ(rlv->dim, 17u);
  EXPECT_TRUE(SameBits(rlv->lve, lv->lve, 17 * sizeof(long)));
  ASSERT_EQ(rpmax->size, 2001u);
  EXPECT_TRUE(SameBits(rpmax->pe, order.data(), order.size() * sizeof(unsigned)));
  ASSERT_EQ(rvmax->dim, 2001u);
  for (size_t k = 0; k < 2001; ++k) ASSERT_TRUE(SameAsPrinted(rvmax->ve[k], -1.0 / 7.0)) << k;
}
