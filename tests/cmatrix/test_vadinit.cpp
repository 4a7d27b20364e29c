// Tests of the fills and of the library's own generator: the published first draws after
// loading, reseeding that keeps the stream position, the bulk and record forms drawing the
// same stream, and the zero, one and identity fills.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "cmat_support.h"
#include "dense_fixtures.h"
#include "matrix.h"

using namespace cmat_test;

namespace {

const double kFirst[3] = {0.846186767260631, 0.46831436570189633, 0.23691746277591094};

void Skip(int n) {
  for (int i = 0; i < n; ++i) mrand();
}

}  // namespace

// One test, so that the order of the draws is fixed from the load of the library on.
TEST(MRand, StreamFromLoadAndReseeding) {
  for (double want : kFirst) EXPECT_NEAR(mrand(), want, 1e-16);

  // 55 draws in all: the indices are back where they stood, so a reseed with the default
  // seed repeats the stream of a fresh load; the record fill draws from it.
  Skip(55 - 3);
  smrand(3127);
  int st = 0;
  VecP v(_LM_v_get("t", 0, 3, __LINE__, "get", &st));
  ASSERT_EQ(_LM_v_rand(v.get(), __LINE__, "rand", &st), v.get());
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(v->ve[i], kFirst[i], 1e-16);

  // After 10 draws from there the indices stand at 10 and 41: a reseed gives another stream.
  Skip(10 - 3);
  smrand(3127);
  const double other = mrand();
  EXPECT_GT(std::fabs(other - kFirst[0]), 1e-3);

  // Back to a multiple of 55 draws since the load (the position, not the seed, decides):
  // the fresh stream again, in bulk.
  Skip(45 - 1);
  smrand(3127);
  double a[3];
  mrandlist(a, 3);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], kFirst[i], 1e-16);

  // The bulk form, the record forms and single draws continue one stream.
  Skip(55 - 3);
  smrand(3127);
  MatP M(_LM_m_get("t", 0, 2, 2, __LINE__, "get", &st));
  ASSERT_EQ(_LM_m_rand(M.get(), __LINE__, "rand", &st), M.get());
  Skip(55 - 4);
  smrand(3127);
  double b[4];
  mrandlist(b, 4);
  EXPECT_EQ(Rows(M.get()), std::vector<double>(b, b + 4));

  // Every draw lies in [0, 1).
  for (int i = 0; i < 20000; ++i) {
    const double d = mrand();
    ASSERT_GE(d, 0.0);
    ASSERT_LT(d, 1.0);
  }
  // Another seed gives another stream; a negative seed works too.
  smrand(17);
  const double s17 = mrand();
  smrand(-17);
  const double sm17 = mrand();
  EXPECT_NE(s17, sm17);
  EXPECT_GE(sm17, 0.0);
}

TEST(Fill, ZerosOnesAndIdentity) {
  int st = 0;
  VecP v(NewVec({-0.0, 3, NAN}));
  ASSERT_EQ(_LM_v_zero(v.get(), __LINE__, "z", &st), v.get());
  for (double x : Values(v.get())) {
    EXPECT_EQ(x, 0.0);
    EXPECT_FALSE(std::signbit(x));
  }
  ASSERT_EQ(_LM_v_ones(v.get(), __LINE__, "o", &st), v.get());
  EXPECT_EQ(Values(v.get()), (std::vector<double>{1, 1, 1}));

  MatP A(NewMat({{5, 5, 5}, {5, -0.0, 5}}));
  ASSERT_EQ(_LM_m_ident(A.get(), __LINE__, "id", &st), A.get());
  EXPECT_EQ(Rows(A.get()), (std::vector<double>{1, 0, 0, 0, 1, 0}));
  ASSERT_EQ(_LM_m_ones(A.get(), __LINE__, "o", &st), A.get());
  EXPECT_EQ(Rows(A.get()), (std::vector<double>{1, 1, 1, 1, 1, 1}));
  ASSERT_EQ(_LM_m_zero(A.get(), __LINE__, "z", &st), A.get());
  EXPECT_EQ(Rows(A.get()), (std::vector<double>(6, 0.0)));
  MatP T(NewMat({{2, 2}, {2, 2}, {2, 2}}));
  ASSERT_EQ(_LM_m_ident(T.get(), __LINE__, "id", &st), T.get());
  EXPECT_EQ(Rows(T.get()), (std::vector<double>{1, 0, 0, 1, 0, 0}));

  PermP p(NewPerm({2, 2, 0}));
  ASSERT_EQ(_LM_px_ident(p.get(), __LINE__, "id", &st), p.get());
  EXPECT_EQ(cmat_test::Entries(p.get()), (std::vector<unsigned>{0, 1, 2}));
  EXPECT_EQ(st, 0);
}

TEST(Fill, NullRecordsRaise8UnderTheirOwnNames) {
  int st = 0;
  ErrWatch w;
  const struct {
    bool failed;
    const char* routine;
  } cases[] = {
      {_LM_v_zero(nullptr, __LINE__, "f", &st) == nullptr, "v_zero"},
      {_LM_m_zero(nullptr, __LINE__, "f", &st) == nullptr, "m_zero"},
      {_LM_m_ident(nullptr, __LINE__, "f", &st) == nullptr, "m_ident"},
      {_LM_px_ident(nullptr, __LINE__, "f", &st) == nullptr, "px_ident"},
      {_LM_v_ones(nullptr, __LINE__, "f", &st) == nullptr, "v_ones"},
      {_LM_m_ones(nullptr, __LINE__, "f", &st) == nullptr, "m_ones"},
      {_LM_v_rand(nullptr, __LINE__, "f", &st) == nullptr, "v_rand"},
      {_LM_m_rand(nullptr, __LINE__, "f", &st) == nullptr, "m_rand"},
  };
  ASSERT_EQ(w.count(), 8);
  for (int i = 0; i < 8; ++i) {
    EXPECT_TRUE(cases[i].failed);
    const kvlm_err::LM_ErrorRecord* r = LM_ErrorRecordAt(i);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r->function, cases[i].routine);
    EXPECT_STREQ(r->file, "vadinit");
  }
  EXPECT_EQ(st, -1);
}
