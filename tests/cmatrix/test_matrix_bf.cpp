// Tests of the portable binary forms of the C matrix records: every writer against bytes
// built by hand, the readers on those bytes (several records in one stream, reuse of a
// record), every truncation and every flipped byte of each form (the reused record must come
// through a failure untouched), impossible sizes from regular files and from pipes, and the
// CSP-to-skyline writer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "binfile.h"
#include "dev_full.h"
#include "cmat_support.h"
#include "matrix_bf.h"

using cmat_test::ErrWatch;
using kvtest::Bytes;
using kvtest::Position;
using kvtest::PutDouble;
using kvtest::PutInt;
using kvtest::StreamWith;

namespace {

const char kTag[] = "test";

Bytes I32s(std::initializer_list<int32_t> v) {
  Bytes b;
  for (int32_t x : v) PutInt(b, x);
  return b;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}
Bytes VecForm(std::initializer_list<double> v) {
  Bytes b;
  PutInt(b, static_cast<int32_t>(v.size()));
  for (double d : v) PutDouble(b, d);
  return b;
}

// Runs write(fp) on a fresh temporary file and returns the bytes it left.
Bytes Written(const std::function<void(FILE*)>& write) {
  kvtest::TempPath p("matbf", ".bin");
  FILE* fp = std::fopen(p.c_str(), "wb");
  EXPECT_NE(fp, nullptr);
  write(fp);
  std::fclose(fp);
  return kvtest::ReadFileBytes(p.str());
}


// Raw bytes of a record's header and of the elements it reaches, to show it untouched.
template <class T>
Bytes Raw(const T* p, size_t count) {
  const unsigned char* c = reinterpret_cast<const unsigned char*>(p);
  return Bytes(c, c + count * sizeof(T));
}
Bytes SnapIv(const IVEC* v) { return Cat({Raw(v, 1), Raw(v->ive, v->max_dim)}); }
Bytes SnapLv(const LVEC* v) { return Cat({Raw(v, 1), Raw(v->lve, v->max_dim)}); }
Bytes SnapV(const VEC* v) { return Cat({Raw(v, 1), Raw(v->ve, v->max_dim)}); }
Bytes SnapZv(const ZVEC* v) { return Cat({Raw(v, 1), Raw(v->ve, v->max_dim)}); }
Bytes SnapPx(const PERM* p) { return Cat({Raw(p, 1), Raw(p->pe, p->max_size)}); }
Bytes SnapM(const MAT* A) {
  Bytes b = Cat({Raw(A, 1), Raw(A->me, A->max_m), Raw(A->base, A->max_size)});
  return b;
}
Bytes SnapZm(const ZMAT* A) { return Cat({Raw(A, 1), Raw(A->me, A->max_m), Raw(A->base, A->max_size)}); }

// One record kind for the table-driven truncation and corruption tests: a valid form, a
// reused record made afresh, its snapshot, a read into it, and a release.
struct Kind {
  const char* name;
  Bytes form;
  std::function<void*()> make;
  std::function<Bytes(void*)> snap;
  std::function<void*(FILE*, void*, int*)> read;
  std::function<void(void*)> release;
};

std::vector<Kind> Kinds() {
  std::vector<Kind> k;
  k.push_back({"IVEC", I32s({3, 7, -1, 2147483647}),
               [] { int st; IVEC* v = _LM_iv_get(kTag, 0, 2, 0, "t", &st); v->ive[0] = 42; return static_cast<void*>(v); },
               [](void* p) { return SnapIv(static_cast<IVEC*>(p)); },
               [](FILE* f, void* r, int* e) { return static_cast<void*>(_LM_iv_binput(f, static_cast<IVEC*>(r), __LINE__, "t", e)); },
               [](void* p) { iv_free(static_cast<IVEC*>(p)); }});
  k.push_back({"LVEC", I32s({2, -5, 9}),
               [] { int st; LVEC* v = _LM_lv_get(kTag, 0, 4, 0, "t", &st); v->lve[3] = 8; return static_cast<void*>(v); },
               [](void* p) { return SnapLv(static_cast<LVEC*>(p)); },
               [](FILE* f, void* r, int* e) { return static_cast<void*>(_LM_lv_binput(f, static_cast<LVEC*>(r), __LINE__, "t", e)); },
               [](void* p) { lv_free(static_cast<LVEC*>(p)); }});
  k.push_back({"VEC", VecForm({1.0, -2.0, 0.5}),
               [] { int st; VEC* v = _LM_v_get(kTag, 0, 2, 0, "t", &st); v->ve[1] = 3.25; return static_cast<void*>(v); },
               [](void* p) { return SnapV(static_cast<VEC*>(p)); },
               [](FILE* f, void* r, int* e) { return static_cast<void*>(_LM_v_binput(f, static_cast<VEC*>(r), __LINE__, "t", e)); },
               [](void* p) { v_free(static_cast<VEC*>(p)); }});
  {
    Bytes b = I32s({2});
    for (double d : {1.0, 2.0, -3.0, 0.25}) PutDouble(b, d);
    k.push_back({"ZVEC", b,
                 [] { int st; ZVEC* v = _LM_zv_get(kTag, 0, 3, 0, "t", &st); v->ve[2] = zmake(6, 7); return static_cast<void*>(v); },
                 [](void* p) { return SnapZv(static_cast<ZVEC*>(p)); },
                 [](FILE* f, void* r, int* e) { return static_cast<void*>(_LM_zv_binput(f, static_cast<ZVEC*>(r), __LINE__, "t", e)); },
                 [](void* p) { zv_free(static_cast<ZVEC*>(p)); }});
  }
  k.push_back({"PERM", I32s({3, 2, 0, 1}),
               [] { int st; PERM* p = _LM_px_get(kTag, 0, 5, 0, "t", &st); p->pe[0] = 4; p->pe[4] = 0; return static_cast<void*>(p); },
               [](void* p) { return SnapPx(static_cast<PERM*>(p)); },
               [](FILE* f, void* r, int* e) { return static_cast<void*>(_LM_px_binput(f, static_cast<PERM*>(r), __LINE__, "t", e)); },
               [](void* p) { px_free(static_cast<PERM*>(p)); }});
  {
    Bytes b = I32s({2, 3});
    for (double d : {1.0, 2.0, 3.0, 4.0, 5.0, 6.0}) PutDouble(b, d);
    k.push_back({"MAT", b,
                 [] { int st; MAT* A = _LM_m_get(kTag, 0, 3, 3, 0, "t", &st); A->me[2][2] = 9; return static_cast<void*>(A); },
                 [](void* p) { return SnapM(static_cast<MAT*>(p)); },
                 [](FILE* f, void* r, int* e) { return static_cast<void*>(_LM_m_binput(f, static_cast<MAT*>(r), __LINE__, "t", e)); },
                 [](void* p) { m_free(static_cast<MAT*>(p)); }});
  }
  {
    Bytes b = I32s({1, 2});
    for (double d : {1.0, -1.0, 2.0, 0.0}) PutDouble(b, d);
    k.push_back({"ZMAT", b,
                 [] { int st = 0; ZMAT* A = _LM_zm_get(kTag, 0, 2, 2, 0, "t", &st); A->me[1][1] = zmake(3, 3); return static_cast<void*>(A); },
                 [](void* p) { return SnapZm(static_cast<ZMAT*>(p)); },
                 [](FILE* f, void* r, int* e) { return static_cast<void*>(_LM_zm_binput(f, static_cast<ZMAT*>(r), __LINE__, "t", e)); },
                 [](void* p) { zm_free(static_cast<ZMAT*>(p)); }});
  }
  return k;
}

}  // namespace

/* ------------------------------------------------------------------ writers -------- */

TEST(BinaryWrite, VectorFormsAreByteExact) {
  int err = 7;
  EXPECT_TRUE(kvtest::BytesEqual(Written([&](FILE* f) { iv_boutput(f, nullptr, &err); }), I32s({0})));
  EXPECT_EQ(err, 0);
  int st = 0;
  IVEC* iv = _LM_iv_get(kTag, 0, 2, __LINE__, "t", &st);
  iv->ive[0] = 1;
  iv->ive[1] = -2;
  EXPECT_TRUE(kvtest::BytesEqual(Written([&](FILE* f) { iv_boutput(f, iv, &err); }),
                                 kvtest::MakeBytes({0, 0, 0, 2, 0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFE})));
  EXPECT_EQ(err, 0);

  LVEC* lv = _LM_lv_get(kTag, 0, 2, __LINE__, "t", &st);
  lv->lve[0] = 5;
  lv->lve[1] = -1;
  EXPECT_TRUE(kvtest::BytesEqual(Written([&](FILE* f) { lv_boutput(f, lv, &err); }), I32s({2, 5, -1})));
  // A value beyond 32 bits is refused before anything is written.
  lv->lve[1] = 1L << 40;
  EXPECT_TRUE(Written([&](FILE* f) { lv_boutput(f, lv, &err); }).empty());
  EXPECT_EQ(err, -1);

  VEC* v = _LM_v_get(kTag, 0, 2, __LINE__, "t", &st);
  v->ve[0] = 1.0;
  v->ve[1] = -2.0;
  EXPECT_TRUE(kvtest::BytesEqual(Written([&](FILE* f) { v_boutput(f, v, &err); }),
                                 kvtest::MakeBytes({0, 0, 0, 2, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0xC0,
                                                    0, 0, 0, 0, 0, 0, 0})));
  EXPECT_EQ(err, 0);
  VEC* v0 = _LM_v_get(kTag, 0, 0, __LINE__, "t", &st);
  EXPECT_TRUE(kvtest::BytesEqual(Written([&](FILE* f) { v_boutput(f, v0, &err); }), I32s({0})));
  EXPECT_TRUE(Written([&](FILE* f) { v_boutput(f, nullptr, &err); }).empty());
  EXPECT_EQ(err, -1);

  ZVEC* z = _LM_zv_get(kTag, 0, 1, __LINE__, "t", &st);
  z->ve[0] = zmake(1.0, 2.0);
  Bytes want = I32s({1});
  PutDouble(want, 1.0);
  PutDouble(want, 2.0);
  EXPECT_TRUE(kvtest::BytesEqual(Written([&](FILE* f) { zv_boutput(f, z, &err); }), want));
  EXPECT_EQ(err, 0);

  iv_boutput(nullptr, iv, &err);
  EXPECT_EQ(err, -1);
  iv_free(iv);
  lv_free(lv);
  v_free(v);
  v_free(v0);
  zv_free(z);
}

TEST(BinaryWrite, PermutationAndMatrixForms) {
  int err = 0, st = 0;
  PERM* px = _LM_px_get(kTag, 0, 3, __LINE__, "t", &st);
  px->pe[0] = 2;
  px->pe[1] = 0;
  px->pe[2] = 1;
  EXPECT_TRUE(kvtest::BytesEqual(Written([&](FILE* f) { px_boutput(f, px, &err); }), I32s({3, 2, 0, 1})));
  EXPECT_EQ(err, 0);
  px->size = 0;
  EXPECT_TRUE(Written([&](FILE* f) { px_boutput(f, px, &err); }).empty());
  EXPECT_EQ(err, -1);

  MAT* A = _LM_m_get(kTag, 0, 2, 3, __LINE__, "t", &st);
  Bytes want = I32s({2, 3});
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 3; ++j) {
      A->me[i][j] = 10 * i + j + 0.5;
      PutDouble(want, 10 * i + j + 0.5);
    }
  const Bytes got = Written([&](FILE* f) { m_boutput(f, A, &err); });
  EXPECT_EQ(got.size(), 8u + 48u);
  EXPECT_TRUE(kvtest::BytesEqual(got, want));
  // Rows are written through the row pointers: a narrowed matrix writes its current rows.
  ASSERT_NE(_LM_m_resize(kTag, 0, A, 2, 2, __LINE__, "t", &st), nullptr);
  Bytes narrow = I32s({2, 2});
  for (double d : {0.5, 1.5, 10.5, 11.5}) PutDouble(narrow, d);
  EXPECT_TRUE(kvtest::BytesEqual(Written([&](FILE* f) { m_boutput(f, A, &err); }), narrow));

  ZMAT* Z = _LM_zm_get(kTag, 0, 1, 2, __LINE__, "t", &st);
  Z->me[0][0] = zmake(1, -1);
  Z->me[0][1] = zmake(0.5, 8);
  Bytes zwant = I32s({1, 2});
  for (double d : {1.0, -1.0, 0.5, 8.0}) PutDouble(zwant, d);
  EXPECT_TRUE(kvtest::BytesEqual(Written([&](FILE* f) { zm_boutput(f, Z, &err); }), zwant));
  ZMAT* empty = _LM_zm_get(kTag, 0, 0, 2, __LINE__, "t", &st);
  EXPECT_TRUE(Written([&](FILE* f) { zm_boutput(f, empty, &err); }).empty());
  EXPECT_EQ(err, -1);
  EXPECT_TRUE(Written([&](FILE* f) { m_boutput(f, nullptr, &err); }).empty());
  EXPECT_EQ(err, -1);
  px_free(px);
  m_free(A);
  zm_free(Z);
  zm_free(empty);
}

TEST(BinaryWrite, SparseRecordForms) {
  int err = 0, st = 0;
  IVEC* rc = _LM_iv_get(kTag, 0, 2, __LINE__, "t", &st);
  rc->ive[0] = 1;
  rc->ive[1] = 1;
  IVEC* ci = _LM_iv_get(kTag, 0, 2, __LINE__, "t", &st);
  ci->ive[0] = 0;
  ci->ive[1] = 1;
  VEC* val = _LM_v_get(kTag, 0, 2, __LINE__, "t", &st);
  val->ve[0] = 4;
  val->ve[1] = 5;
  CSP csp = {2, 2, rc, ci, val};
  EXPECT_TRUE(kvtest::BytesEqual(Written([&](FILE* f) { csp_boutput(f, &csp, &err); }),
                                 Cat({I32s({2, 2, 2, 1, 1, 2, 0, 1}), VecForm({4, 5})})));
  EXPECT_EQ(err, 0);
  // A NULL member IVEC is the empty form; a NULL member VEC fails the writer.
  csp.col_index = nullptr;
  EXPECT_TRUE(kvtest::BytesEqual(Written([&](FILE* f) { csp_boutput(f, &csp, &err); }),
                                 Cat({I32s({2, 2, 2, 1, 1, 0}), VecForm({4, 5})})));
  csp.value = nullptr;
  Written([&](FILE* f) { csp_boutput(f, &csp, &err); });
  EXPECT_EQ(err, -1);
  csp.m = 0;
  EXPECT_TRUE(Written([&](FILE* f) { csp_boutput(f, &csp, &err); }).empty());
  EXPECT_EQ(err, -1);

  // SK: the diagonal is written before the profile values.
  VEC* profile = _LM_v_get(kTag, 0, 3, __LINE__, "t", &st);
  profile->ve[0] = 1;
  profile->ve[1] = 2;
  profile->ve[2] = 3;
  SK sk = {2, 2, rc, profile, val};
  EXPECT_TRUE(kvtest::BytesEqual(Written([&](FILE* f) { sk_boutput(f, &sk, &err); }),
                                 Cat({I32s({2, 2, 2, 1, 1}), VecForm({4, 5}), VecForm({1, 2, 3})})));
  EXPECT_EQ(err, 0);

  ZVEC* z1 = _LM_zv_get(kTag, 0, 1, __LINE__, "t", &st);
  z1->ve[0] = zmake(1, 2);
  ZVEC* z2 = _LM_zv_get(kTag, 0, 0, __LINE__, "t", &st);
  ZSK zsk = {1, 1, nullptr, z1, z2};
  Bytes zwant = I32s({1, 1, 0, 1});
  PutDouble(zwant, 1);
  PutDouble(zwant, 2);
  PutInt(zwant, 0);
  EXPECT_TRUE(kvtest::BytesEqual(Written([&](FILE* f) { zsk_boutput(f, &zsk, &err); }), zwant));
  EXPECT_EQ(err, 0);

  err = 5;
  EXPECT_TRUE(Written([&](FILE* f) { zcsp_boutput(f, nullptr, &err); }).empty());
  EXPECT_EQ(err, 0);
  iv_free(rc);
  iv_free(ci);
  v_free(val);
  v_free(profile);
  zv_free(z1);
  zv_free(z2);
}

TEST(BinaryWrite, AFailedWriteSetsErrMinusOne) {
  FILE* full = kvtest::OpenDevFull();
  if (full == nullptr) GTEST_SKIP() << "/dev/full is not a character device here";
  int err = 0, st = 0;
  VEC* v = _LM_v_get(kTag, 0, 3, __LINE__, "t", &st);
  v_boutput(full, v, &err);
  EXPECT_EQ(err, -1);
  iv_boutput(full, nullptr, &err);
  EXPECT_EQ(err, -1);
  std::fclose(full);
  v_free(v);
}

/* ------------------------------------------------------------------ readers -------- */

TEST(BinaryRead, SeveralRecordsFromOneStreamRoundTrip) {
  int err = 0, st = 0;
  IVEC* iv = _LM_iv_get(kTag, 0, 3, __LINE__, "t", &st);
  for (int i = 0; i < 3; ++i) iv->ive[i] = i * 1000 - 7;
  LVEC* lv = _LM_lv_get(kTag, 0, 2, __LINE__, "t", &st);
  lv->lve[0] = INT32_MIN;
  lv->lve[1] = INT32_MAX;
  VEC* v = _LM_v_get(kTag, 0, 4, __LINE__, "t", &st);
  for (int i = 0; i < 4; ++i) v->ve[i] = std::ldexp(1.0 + i / 7.0, i * 300 - 600);
  ZVEC* zv = _LM_zv_get(kTag, 0, 2, __LINE__, "t", &st);
  zv->ve[0] = zmake(-0.0, INFINITY);
  zv->ve[1] = zmake(1e-310, -3);
  PERM* px = _LM_px_get(kTag, 0, 4, __LINE__, "t", &st);
  px->pe[0] = 3;
  px->pe[3] = 0;
  MAT* A = _LM_m_get(kTag, 0, 3, 2, __LINE__, "t", &st);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 2; ++j) A->me[i][j] = i - 0.125 * j;
  ZMAT* Z = _LM_zm_get(kTag, 0, 2, 2, __LINE__, "t", &st);
  Z->me[1][0] = zmake(4, -4);

  FILE* fp = std::tmpfile();
  iv_boutput(fp, iv, &err);
  lv_boutput(fp, lv, &err);
  v_boutput(fp, v, &err);
  zv_boutput(fp, zv, &err);
  px_boutput(fp, px, &err);
  m_boutput(fp, A, &err);
  zm_boutput(fp, Z, &err);
  ASSERT_EQ(err, 0);
  lseek(fileno(fp), 0, SEEK_SET);

  IVEC* iv2 = _LM_iv_binput(fp, nullptr, __LINE__, "t", &err);
  LVEC* lv2 = _LM_lv_binput(fp, nullptr, __LINE__, "t", &err);
  VEC* v2 = _LM_v_binput(fp, nullptr, __LINE__, "t", &err);
  ZVEC* zv2 = _LM_zv_binput(fp, nullptr, __LINE__, "t", &err);
  PERM* px2 = _LM_px_binput(fp, nullptr, __LINE__, "t", &err);
  MAT* A2 = _LM_m_binput(fp, nullptr, __LINE__, "t", &err);
  ZMAT* Z2 = _LM_zm_binput(fp, nullptr, __LINE__, "t", &err);
  ASSERT_EQ(err, 0);
  ASSERT_TRUE(iv2 && lv2 && v2 && zv2 && px2 && A2 && Z2);
  EXPECT_EQ(std::memcmp(iv2->ive, iv->ive, 3 * sizeof(int)), 0);
  EXPECT_EQ(lv2->lve[0], INT32_MIN);
  EXPECT_EQ(lv2->lve[1], INT32_MAX);
  EXPECT_EQ(std::memcmp(v2->ve, v->ve, 4 * sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(zv2->ve, zv->ve, 2 * sizeof(::complex)), 0);  // -0.0 and inf kept
  EXPECT_EQ(std::memcmp(px2->pe, px->pe, 4 * sizeof(unsigned)), 0);
  ASSERT_EQ(A2->m, 3u);
  ASSERT_EQ(A2->n, 2u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(std::memcmp(A2->me[i], A->me[i], 2 * sizeof(double)), 0);
  ASSERT_EQ(Z2->m, 2u);
  EXPECT_EQ(Z2->me[1][0].im, -4.0);
  // The stream is exhausted: one more read fails.
  EXPECT_EQ(_LM_v_binput(fp, nullptr, __LINE__, "t", &err), nullptr);
  EXPECT_EQ(err, -1);
  std::fclose(fp);
  iv_free(iv);
  iv_free(iv2);
  lv_free(lv);
  lv_free(lv2);
  v_free(v);
  v_free(v2);
  zv_free(zv);
  zv_free(zv2);
  px_free(px);
  px_free(px2);
  m_free(A);
  m_free(A2);
  zm_free(Z);
  zm_free(Z2);
}

TEST(BinaryRead, EmptyFormsAndReuse) {
  int err = 0, st = 0;
  // The empty IVEC form reads back as NULL with err 0 and leaves reuse alone.
  IVEC* iv = _LM_iv_get(kTag, 0, 2, __LINE__, "t", &st);
  FILE* fp = StreamWith(I32s({0}));
  EXPECT_EQ(_LM_iv_binput(fp, iv, __LINE__, "t", &err), nullptr);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(iv->dim, 2u);
  std::fclose(fp);
  // The empty VEC form gives a vector of dim 0 with capacity 1.
  fp = StreamWith(I32s({0, 0, 0}));
  VEC* v = _LM_v_binput(fp, nullptr, __LINE__, "t", &err);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(v->dim, 0u);
  EXPECT_EQ(v->max_dim, 1u);
  ZVEC* zv = _LM_zv_binput(fp, nullptr, __LINE__, "t", &err);
  ASSERT_NE(zv, nullptr);
  EXPECT_EQ(zv->dim, 0u);
  LVEC* lv = _LM_lv_binput(fp, nullptr, __LINE__, "t", &err);
  ASSERT_NE(lv, nullptr);
  EXPECT_EQ(lv->dim, 0u);
  EXPECT_EQ(Position(fp), 12);
  std::fclose(fp);
  // A 2 x 3 form into a 5 x 5 matrix: that matrix, resized, with the values read.
  MAT* A = _LM_m_get(kTag, 0, 5, 5, __LINE__, "t", &st);
  Bytes form = I32s({2, 3});
  for (int k = 0; k < 6; ++k) PutDouble(form, k + 0.5);
  fp = StreamWith(form);
  ASSERT_EQ(_LM_m_binput(fp, A, __LINE__, "t", &err), A);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(A->m, 2u);
  EXPECT_EQ(A->n, 3u);
  EXPECT_EQ(A->me[1][2], 5.5);
  std::fclose(fp);
  // 0 x 0 forms: the real matrix comes back 1 x 1 (its resize's least size), the complex
  // one 0 x 0; nothing follows the sizes.
  fp = StreamWith(I32s({0, 0, 0, 0}));
  MAT* B = _LM_m_binput(fp, nullptr, __LINE__, "t", &err);
  ASSERT_NE(B, nullptr);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(B->m, 1u);
  EXPECT_EQ(B->n, 1u);
  ZMAT* Z = _LM_zm_binput(fp, nullptr, __LINE__, "t", &err);
  ASSERT_NE(Z, nullptr);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(Z->m, 0u);
  EXPECT_EQ(Z->n, 0u);
  EXPECT_EQ(Position(fp), 16);
  std::fclose(fp);
  iv_free(iv);
  v_free(v);
  zv_free(zv);
  lv_free(lv);
  m_free(A);
  m_free(B);
  zm_free(Z);
}

// An empty matrix form read into a matrix that holds values: the real matrix keeps one row
// and one column (its resize's least size), and that element is 0, not the old value that
// stood there, which would pass for a read one (it came back as 7).
TEST(BinaryRead, AnEmptyMatrixFormLeavesNoOldValueInUse) {
  int st = 0, err = 0;
  MAT* A = _LM_m_get(kTag, 0, 2, 2, __LINE__, "t", &st);
  A->me[0][0] = 7;
  A->me[1][1] = 8;
  FILE* fp = StreamWith(I32s({0, 0}));
  ASSERT_EQ(_LM_m_binput(fp, A, __LINE__, "t", &err), A);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(A->m, 1u);
  EXPECT_EQ(A->n, 1u);
  EXPECT_EQ(A->me[0][0], 0.0);
  std::fclose(fp);
  m_free(A);
}

TEST(BinaryRead, ImpossibleSizesFailWithTheRecordUntouched) {
  int st = 0;
  struct Case {
    const char* what;
    Bytes form;
    int code;  // code raised (0: a trace mark only)
  };
  const Case mats[] = {
      {"zero columns", I32s({2, 0}), 0},
      // No value follows a form without rows: its column count must not size anything (the
      // largest would ask for 16 GiB, or 32 GiB complex, from eight bytes).
      {"zero rows", I32s({0, 4}), 0},
      {"zero rows, the largest column count", I32s({0, INT32_MAX}), 0},
      {"zero rows, values after them", Cat({I32s({0, 2}), I32s({0, 0, 0, 0})}), 0},
      {"negative rows", I32s({-1, 2}), 20},
      {"beyond the size field", I32s({70000, 70000}), 3},
      {"beyond the file", I32s({1000, 1000, 0, 0}), 0},
  };
  for (const Case& c : mats) {
    MAT* A = _LM_m_get(kTag, 0, 2, 2, __LINE__, "t", &st);
    A->me[1][1] = 4;
    const Bytes before = SnapM(A);
    ErrWatch w;
    int err = 0;
    FILE* fp = StreamWith(c.form);
    EXPECT_EQ(_LM_m_binput(fp, A, __LINE__, "t", &err), nullptr) << c.what;
    EXPECT_EQ(err, -1) << c.what;
    EXPECT_EQ(w.last(), c.code) << c.what;
    EXPECT_TRUE(kvtest::BytesEqual(SnapM(A), before)) << c.what;
    std::fclose(fp);
    ZMAT* Z = _LM_zm_get(kTag, 0, 1, 1, __LINE__, "t", &st);
    const Bytes zbefore = SnapZm(Z);
    ErrWatch w2;
    fp = StreamWith(c.form);
    EXPECT_EQ(_LM_zm_binput(fp, Z, __LINE__, "t", &err), nullptr) << c.what;
    EXPECT_EQ(err, -1);
    EXPECT_EQ(w2.last(), c.code) << c.what;
    EXPECT_TRUE(kvtest::BytesEqual(SnapZm(Z), zbefore)) << c.what;
    std::fclose(fp);
    m_free(A);
    zm_free(Z);
  }
  const Case perms[] = {
      {"size 0", I32s({0}), 0},
      {"negative size", I32s({-3}), 20},
      {"entry out of range", I32s({3, 0, 3, 1}), 0},
      {"repeated entry", I32s({3, 0, 2, 2}), 0},
      {"negative entry", I32s({2, -1, 0}), 0},
  };
  for (const Case& c : perms) {
    PERM* p = _LM_px_get(kTag, 0, 2, __LINE__, "t", &st);
    const Bytes before = SnapPx(p);
    ErrWatch w;
    int err = 0;
    FILE* fp = StreamWith(c.form);
    EXPECT_EQ(_LM_px_binput(fp, p, __LINE__, "t", &err), nullptr) << c.what;
    EXPECT_EQ(err, -1);
    EXPECT_EQ(w.last(), c.code) << c.what;
    EXPECT_TRUE(kvtest::BytesEqual(SnapPx(p), before)) << c.what;
    std::fclose(fp);
    px_free(p);
  }
  // A negative vector dimension is no form any writer makes.
  VEC* v = _LM_v_get(kTag, 0, 2, __LINE__, "t", &st);
  const Bytes vbefore = SnapV(v);
  int err = 0;
  FILE* fp = StreamWith(I32s({-2}));
  EXPECT_EQ(_LM_v_binput(fp, v, __LINE__, "t", &err), nullptr);
  EXPECT_EQ(err, -1);
  EXPECT_TRUE(kvtest::BytesEqual(SnapV(v), vbefore));
  std::fclose(fp);
  v_free(v);
  EXPECT_EQ(_LM_iv_binput(nullptr, nullptr, __LINE__, "t", &err), nullptr);
  EXPECT_EQ(err, -1);
}

TEST(BinaryRead, APipeClaimingAHugeRecordFailsAtItsEnd) {
  // A pipe has no size to check against: the reader must stop at the end of what was sent
  // without having allocated what the header claimed (2^28 doubles, 2 GiB).
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  Bytes form = I32s({1 << 28});
  PutDouble(form, 1.0);
  ASSERT_EQ(write(fds[1], form.data(), form.size()), static_cast<ssize_t>(form.size()));
  close(fds[1]);
  FILE* fp = fdopen(fds[0], "rb");
  ASSERT_NE(fp, nullptr);
  int err = 0, st = 0;
  VEC* v = _LM_v_get(kTag, 0, 1, __LINE__, "t", &st);
  EXPECT_EQ(_LM_v_binput(fp, v, __LINE__, "t", &err), nullptr);
  EXPECT_EQ(err, -1);
  EXPECT_EQ(v->dim, 1u);
  std::fclose(fp);
  v_free(v);
}

TEST(BinaryRead, EveryTruncationFailsAndLeavesTheReusedRecord) {
  for (const Kind& k : Kinds()) {
    for (size_t len = 0; len < k.form.size(); ++len) {
      void* reuse = k.make();
      const Bytes before = k.snap(reuse);
      FILE* fp = StreamWith(Bytes(k.form.begin(), k.form.begin() + static_cast<long>(len)));
      int err = 0;
      void* got = k.read(fp, reuse, &err);
      EXPECT_EQ(got, nullptr) << k.name << " prefix " << len;
      EXPECT_EQ(err, -1) << k.name << " prefix " << len;
      EXPECT_TRUE(kvtest::BytesEqual(k.snap(reuse), before)) << k.name << " prefix " << len;
      std::fclose(fp);
      k.release(reuse);
    }
    // The whole form reads, into the reused record.
    void* reuse = k.make();
    FILE* fp = StreamWith(k.form);
    int err = 0;
    void* got = k.read(fp, reuse, &err);
    EXPECT_EQ(err, 0) << k.name;
    EXPECT_EQ(got, reuse) << k.name;
    EXPECT_EQ(Position(fp), static_cast<long>(k.form.size())) << k.name;
    std::fclose(fp);
    k.release(reuse);
  }
}

TEST(BinaryRead, FlippedBytesNeverCorruptTheReusedRecord) {
  for (const Kind& k : Kinds()) {
    for (size_t at = 0; at < k.form.size(); ++at) {
      for (unsigned char mask : {0x01, 0x80, 0xFF}) {
        Bytes bad = k.form;
        bad[at] ^= mask;
        void* reuse = k.make();
        const Bytes before = k.snap(reuse);
        FILE* fp = StreamWith(bad);
        int err = 0;
        void* got = k.read(fp, reuse, &err);
        if (got == nullptr) {
          // Either a failure (reuse untouched) or the empty IVEC form.
          if (err != 0) {
            EXPECT_EQ(err, -1);
            EXPECT_TRUE(kvtest::BytesEqual(k.snap(reuse), before))
                << k.name << " byte " << at << " mask " << int(mask);
          }
        } else {
          EXPECT_EQ(err, 0);
          EXPECT_LE(Position(fp), static_cast<long>(bad.size()));
          if (got != reuse) k.release(got);
        }
        std::fclose(fp);
        k.release(reuse);
      }
    }
  }
}

TEST(BinaryRead, SparseReadersReadNothing) {
  FILE* fp = StreamWith(I32s({1, 2, 3}));
  int err = -1;
  EXPECT_EQ(csp_binput(fp, &err), nullptr);
  EXPECT_EQ(err, 0);
  err = -1;
  EXPECT_EQ(sk_binput(fp, &err), nullptr);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(zcsp_binput(fp, &err), nullptr);
  EXPECT_EQ(zsk_binput(fp, &err), nullptr);
  EXPECT_EQ(Position(fp), 0);
  std::fclose(fp);
}

/* ------------------------------------------------------------ CSP to skyline ------- */

namespace {

// Builds a CSP from rows of (column, value) pairs.
struct CspHolder {
  CSP csp{};
  explicit CspHolder(int m, int n, std::vector<std::vector<std::pair<int, double>>> rows) {
    int st = 0, total = 0;
    for (auto& r : rows) total += static_cast<int>(r.size());
    csp.m = m;
    csp.n = n;
    csp.row_count = _LM_iv_get(kTag, 0, static_cast<int>(rows.size()), __LINE__, "t", &st);
    csp.col_index = _LM_iv_get(kTag, 0, total, __LINE__, "t", &st);
    csp.value = _LM_v_get(kTag, 0, total, __LINE__, "t", &st);
    int k = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
      csp.row_count->ive[i] = static_cast<int>(rows[i].size());
      for (auto& e : rows[i]) {
        csp.col_index->ive[k] = e.first;
        csp.value->ve[k] = e.second;
        ++k;
      }
    }
  }
  ~CspHolder() {
    iv_free(csp.row_count);
    iv_free(csp.col_index);
    v_free(csp.value);
  }
};

}  // namespace

TEST(CspToSkyline, WritesTheLowerProfile) {
  CspHolder h(3, 3, {{{0, 4}}, {{0, 1}, {1, 5}}, {{1, 2}, {2, 6}}});
  kvtest::TempPath p("sk", ".bin");
  int err = -1;
  csp_2_sk_disk(&h.csp, p.c_str(), &err);
  EXPECT_EQ(err, 0);
  const Bytes want = Cat({I32s({3, 3, 4, 1, 2, 4, 6}), VecForm({4, 5, 6}), VecForm({4, 1, 5, 2, 6})});
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(p.str()), want));
}

TEST(CspToSkyline, IgnoresEntriesAboveTheDiagonalAndKeepsTheLastDiagonalEntry) {
  // Row 0 holds (0: 1) and (2: 9) above the diagonal; row 1 is empty; row 2 holds (0: 3),
  // (2: 7) and again (2: 8).
  CspHolder h(3, 3, {{{0, 1}, {2, 9}}, {}, {{0, 3}, {2, 7}, {2, 8}}});
  kvtest::TempPath p("sk", ".bin");
  int err = -1;
  csp_2_sk_disk(&h.csp, p.c_str(), &err);
  EXPECT_EQ(err, 0);
  const Bytes want = Cat({I32s({3, 3, 4, 1, 2, 2, 5}), VecForm({1, 0, 8}), VecForm({1, 3, 0, 8})});
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(p.str()), want));
}

TEST(CspToSkyline, RefusesWhatItCannotLayOutAndCreatesNoFile) {
  struct Case {
    const char* what;
    int m, n;
    std::vector<std::vector<std::pair<int, double>>> rows;
  } cases[] = {
      {"not square", 2, 3, {{{0, 1}}, {{1, 1}}}},
      {"first column beyond the row", 2, 2, {{{1, 1}}, {{1, 1}}}},
      {"column out of range", 2, 2, {{{0, 1}}, {{0, 1}, {5, 1}}}},
      {"column before the first", 3, 3, {{{0, 1}}, {{0, 1}}, {{1, 1}, {0, 2}}}},
      {"too few rows counted", 3, 3, {{{0, 1}}, {{1, 1}}}},
  };
  for (const Case& c : cases) {
    CspHolder h(c.m, c.n, c.rows);
    kvtest::TempPath p("sk", ".bin", false);
    int err = 0;
    csp_2_sk_disk(&h.csp, p.c_str(), &err);
    EXPECT_EQ(err, -1) << c.what;
    EXPECT_FALSE(kvtest::FileExists(p.str())) << c.what;
  }
  // Counts that claim more entries than are stored.
  CspHolder h(2, 2, {{{0, 1}}, {{1, 1}}});
  h.csp.row_count->ive[1] = 5;
  kvtest::TempPath p("sk", ".bin", false);
  int err = 0;
  csp_2_sk_disk(&h.csp, p.c_str(), &err);
  EXPECT_EQ(err, -1);
  EXPECT_FALSE(kvtest::FileExists(p.str()));
  h.csp.row_count->ive[1] = -1;
  csp_2_sk_disk(&h.csp, p.c_str(), &err);
  EXPECT_EQ(err, -1);
  csp_2_sk_disk(nullptr, p.c_str(), &err);
  EXPECT_EQ(err, -1);
  EXPECT_FALSE(kvtest::FileExists(p.str()));
}
