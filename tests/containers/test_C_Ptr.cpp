/* test_C_Ptr.cpp: the element storage: construction and fill, owned and borrowed buffers,
 * Resize (zero growth, refusal for borrowed buffers), Extract with and without a buffer,
 * views, copies that never become a second owner, Copy from itself, the range kernels and
 * 2-norms of the three instances, the binary write, and the block-wise defaults of C_Ptr. */
#include "C_Ptr.h"
#include "derived_vec.h"
#include "kvelosys.h"
#include "vec_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <memory>
#include <vector>

using cd = std::complex<double>;
using PD = C_PtrInCore<double, int>;
using PI = C_PtrInCore<int, int>;
using PZ = C_PtrInCore<cd, int>;
using Bytes = std::vector<unsigned char>;

TEST(CPtrInCore, ConstructionAndFill) {
  PD empty(0, 5.0);
  EXPECT_EQ(empty.data, nullptr);
  EXPECT_EQ(empty.owns, 1);
  EXPECT_EQ(empty.Resize(3), 0);
  ASSERT_NE(empty.data, nullptr);
  EXPECT_EQ(empty.owns, 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(empty.data[i], 0.0);

  PI sevens(4, 7);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(sevens.GetVal(i), 7);
  PI zeros(4, 0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(zeros[i], 0);

  PD nan(2, std::numeric_limits<double>::quiet_NaN());  // a NaN counts as not zero
  EXPECT_TRUE(std::isnan(nan.data[0]) && std::isnan(nan.data[1]));
  PZ imag(2, cd(0.0, 1.0));
  EXPECT_EQ(imag.data[1], cd(0.0, 1.0));
  PD negative(-4, 1.0);
  EXPECT_EQ(negative.data, nullptr);
  EXPECT_EQ(negative.owns, 1);
  PD defaulted;
  EXPECT_EQ(defaulted.data, nullptr);
  EXPECT_EQ(defaulted.InCore(), 1);
  EXPECT_EQ(defaulted.Load(), 0);
  EXPECT_EQ(defaulted.UnLoad(), 0);
}

TEST(CPtrInCore, BorrowedBufferIsNeverFreedNorGrown) {
  double caller[5] = {1, 2, 3, 4, 5};
  PD p(caller);
  EXPECT_EQ(p.owns, 0);
  EXPECT_KVELO_CODE(p.Resize(5), 2870);
  EXPECT_EQ(p.data, caller);
  EXPECT_EQ(p.Resize(0), 0);  // forgotten, not freed
  EXPECT_EQ(p.data, nullptr);
  EXPECT_EQ(caller[4], 5.0);

  PD q(caller);
  q.Release();
  EXPECT_EQ(q.owns, 1);
  EXPECT_EQ(q.data, nullptr);
  EXPECT_EQ(caller[0], 1.0);

  // Attach frees an owned buffer first (the leak checker sees the rest).
  PD r(3, 1.0);
  r.Attach(caller);
  EXPECT_EQ(r.owns, 0);
  EXPECT_EQ(r.data, caller);
  r.Attach(nullptr);
  EXPECT_EQ(r.owns, 0);
  EXPECT_EQ(r.data, nullptr);
  // A borrowing, empty storage that grows owns what it allocates (no leak).
  EXPECT_EQ(r.Resize(2), 0);
  EXPECT_EQ(r.owns, 1);
  EXPECT_EQ(r.data[0], 0.0);
}

TEST(CPtrInCore, ResizeKeepsValuesAndZeroesWhatItAdds) {
  PD p(3, 2.0);
  EXPECT_EQ(p.Resize(6000), 0);  // large enough that realloc moves and leaves garbage
  for (int i = 0; i < 3; ++i) EXPECT_EQ(p.data[i], 2.0);
  for (int i = 3; i < 6000; ++i) ASSERT_EQ(p.data[i], 0.0) << i;
  EXPECT_EQ(p.Resize(2), 0);
  EXPECT_EQ(p.Resize(5), 0);  // regrown through realloc: the dropped values are zero again
  EXPECT_EQ(p.data[1], 2.0);
  EXPECT_EQ(p.data[2], 0.0);
  EXPECT_EQ(p.data[4], 0.0);
  EXPECT_KVELO_CODE(p.Resize(-1), 2);
  EXPECT_EQ(p.data[0], 2.0);
}

TEST(CPtrInCore, AccessorsDoNotCheckAndSetValAnswersOne) {
  PI p(3, 0);
  EXPECT_EQ(p.SetVal(1, 9), 1);
  EXPECT_EQ(p.GetVal(1), 9);
  p[2] = 4;
  EXPECT_EQ(*p.Adr(2), 4);
  EXPECT_EQ(p.Adr(0), p.data);
  PI none;
  EXPECT_EQ(none.Adr(0), nullptr);
}

TEST(CPtrInCore, Extract) {
  PD p(5, 0.0);
  for (int i = 0; i < 5; ++i) p.data[i] = i + 1;
  EXPECT_EQ(p.Extract(2, 3, nullptr), p.data + 2);
  double* buf = static_cast<double*>(kvelomem_malloc(sizeof(double), "test", 0, __FILE__, __LINE__));
  EXPECT_EQ(p.Extract(2, 0, buf), buf);
  double* got = p.Extract(2, 3, buf);  // reallocated to exactly three elements
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got[0], 3.0);
  EXPECT_EQ(got[1], 4.0);
  EXPECT_EQ(got[2], 5.0);
  kvelomem_free(got, __FILE__, __LINE__);
}

TEST(CPtrInCore, ViewsShareAndNeverFree) {
  PD p(5, 0.0);
  for (int i = 0; i < 5; ++i) p.data[i] = 10.0 * i;
  std::unique_ptr<C_Ptr<double, int>> view(p.Lnk(2));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->GetVal(0), 20.0);
  (*view)[1] = -1.0;
  EXPECT_EQ(p.data[3], -1.0);
  view.reset();
  EXPECT_EQ(p.data[4], 40.0);  // the source's buffer is intact
}

TEST(CPtrInCore, CopiesBorrowInsteadOfSharingOwnership) {
  auto* p = new PD(3, 1.5);
  PD copy(*p);
  EXPECT_EQ(copy.owns, 0);
  EXPECT_EQ(copy.data, p->data);
  PD assigned(4, 2.0);  // its own buffer is given back, not leaked
  assigned = *p;
  EXPECT_EQ(assigned.owns, 0);
  EXPECT_EQ(assigned.data, p->data);
  assigned = assigned;
  EXPECT_EQ(assigned.data, p->data);
  delete p;  // the one owner frees once; the copies forget
  copy.Attach(nullptr);
  assigned.Attach(nullptr);

  PD none;
  PD emptyCopy(none);
  EXPECT_EQ(emptyCopy.owns, 1);
  EXPECT_EQ(emptyCopy.data, nullptr);
}

TEST(CPtrInCore, CopyFromItselfOrAViewOfItself) {
  PD p(4, 0.0);
  for (int i = 0; i < 4; ++i) p.data[i] = i + 1.0;
  p.Copy(p, 4);
  EXPECT_EQ(p.owns, 1);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(p.data[i], i + 1.0);
  std::unique_ptr<C_Ptr<double, int>> view(p.Lnk(1));
  p.Copy(*view, 3);  // reads the old buffer before giving it back
  view.reset();
  EXPECT_EQ(p.data[0], 2.0);
  EXPECT_EQ(p.data[2], 4.0);

  double caller[2] = {7.0, 8.0};
  PD borrowing(caller);
  PD source(2, 3.0);
  borrowing.Copy(source, 2);  // gets a buffer of its own
  EXPECT_EQ(borrowing.owns, 1);
  EXPECT_NE(borrowing.data, caller);
  EXPECT_EQ(caller[0], 7.0);
  borrowing.Copy(source, 0);
  EXPECT_EQ(borrowing.data, nullptr);

  ChunkPtr<double> noAddress({1.0, 2.0});
  EXPECT_KVELO_CODE(p.Copy(noAddress, 2), 38);
  EXPECT_EQ(p.data[0], 2.0);
  EXPECT_KVELO_CODE(p.Copy(source, -1), 2);
}

TEST(CPtrInCore, RangeKernels) {
  PI p(5, 0);
  for (int i = 0; i < 5; ++i) p[i] = i + 1;
  EXPECT_EQ(p.Sum(1, 3), 2 + 3 + 4);
  EXPECT_EQ(p.Sum(1, 0), 0);
  EXPECT_EQ(p.Zero(0, -1), 0);
  EXPECT_EQ(p[0], 1);
  EXPECT_EQ(p.Zero(3, 2), 0);
  EXPECT_EQ(p[3], 0);
  EXPECT_EQ(p[4], 0);
  EXPECT_EQ(p.Init(9, 0, 2), 0);
  EXPECT_EQ(p[1], 9);
  EXPECT_EQ(p[2], 3);
  EXPECT_EQ(p.SMlt(-2, 1, 2), 0);
  EXPECT_EQ(p[0], 9);
  EXPECT_EQ(p[1], -18);
  EXPECT_EQ(p[2], -6);

  PD d(3, 1.0);
  EXPECT_EQ(d.SMlt(0.5, 0, 3), 0);
  EXPECT_EQ(d.Sum(0, 3), 1.5);
  PZ z(2, cd(1, 1));
  EXPECT_EQ(z.SMlt(cd(0, 1), 0, 2), 0);  // i(1+i) = -1+i
  EXPECT_EQ(z.Sum(0, 2), cd(-2, 2));
}

TEST(CPtrInCore, Nrm2OfTheThreeInstances) {
  PI a(2, 0);
  a[0] = 3;
  a[1] = 4;
  int ia = 0;
  EXPECT_EQ(a.Nrm2(0, 2, ia), 0);
  EXPECT_EQ(ia, 5);
  a[0] = 1;
  a[1] = 1;
  EXPECT_EQ(a.Nrm2(0, 2, ia), 0);
  EXPECT_EQ(ia, 1);  // sqrt(2) truncated

  PZ z(2, cd(0, 0));
  z[0] = cd(3, 4);
  cd out;
  EXPECT_EQ(z.Nrm2(0, 2, out), 0);
  EXPECT_NEAR(out.real(), 5.0, 1e-15);
  EXPECT_EQ(out.imag(), 0.0);

  PD d(3, 0.0);
  d[1] = -6.0;
  d[2] = 8.0;
  double dn = -1.0;
  EXPECT_EQ(d.Nrm2(1, 2, dn), 0);
  EXPECT_EQ(dn, 10.0);
  EXPECT_EQ(d.Nrm2(0, 0, dn), 0);
  EXPECT_EQ(dn, 0.0);
}

TEST(CPtrInCore, WriteIsOneBigEndianArray) {
  TempFile tmp("ptr_write");
  PI p(3, 0);
  p[0] = 1;
  p[1] = -1;
  p[2] = 256;
  FILE* f = std::fopen(tmp.path(), "wb");
  EXPECT_EQ(p.Write(f, 1, 2), 0);
  EXPECT_EQ(p.Write(f, 0, 0), -1);  // an empty array is refused
  std::fclose(f);
  EXPECT_EQ(ReadAll(tmp.path()), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00}));
  EXPECT_EQ(p.Write(nullptr, 0, 3), -1);
}

TEST(CPtrDefaults, AbstractStorageBodies) {
  ChunkPtr<double> s({1.0, 2.0});
  double x = 0.0;
  EXPECT_EQ(s.Lnk(0), nullptr);
  EXPECT_EQ(s.Adr(0), nullptr);
  EXPECT_EQ(s.SetVal(0, 5.0), 0);  // stores nothing
  EXPECT_EQ(s.values[0], 1.0);
  EXPECT_KVELO_CODE(s.Load(), 2871);
  EXPECT_KVELO_CODE(s.UnLoad(), 2871);
  EXPECT_KVELO_CODE(s.Resize(3), 2871);
  EXPECT_KVELO_CODE(s[0], 2871);
  EXPECT_KVELO_CODE(s.Zero(0, 1), 2871);
  EXPECT_KVELO_CODE(s.Init(x, 0, 1), 2871);
  BareVec<double, int> unused;  // keeps the vector header's instances in view
  (void)unused;
}

TEST(CPtrDefaults, BlockWiseWriteAndNrm2ThroughExtract) {
  const int n = 10000;
  std::vector<double> vals(n);
  double sumsq = 0.0;
  for (int i = 0; i < n; ++i) {
    vals[i] = (i % 11) - 5.0;
    sumsq += vals[i] * vals[i];
  }
  // Not in core: a scratch block that Extract reallocates and fills.
  ChunkPtr<double> s(vals);
  double out = 0.0;
  EXPECT_EQ(s.Nrm2(0, n, out), 0);
  EXPECT_NEAR(out, std::sqrt(sumsq), 1e-12 * std::sqrt(sumsq));
  ASSERT_EQ(s.extracts.size(), 3u);
  EXPECT_EQ(s.extracts[1], std::make_pair(4096, 4096));
  EXPECT_EQ(s.extracts[2], std::make_pair(8192, 1808));
  EXPECT_TRUE(s.gotBuffer[0] && s.gotBuffer[2]);

  TempFile tmp("ptr_blocks");
  FILE* f = std::fopen(tmp.path(), "wb");
  EXPECT_EQ(s.Write(f, 1, n - 1), 0);
  std::fclose(f);
  Bytes bytes = ReadAll(tmp.path());
  ASSERT_EQ(bytes.size(), static_cast<size_t>(n - 1) * 8);
  // Element 1 is -4.0 = C0 10 00 .. 00; element 9998 is (9998 % 11) - 5 = 5.0 = 40 14 00 .. 00
  // and element 9999 = 11 x 909 gives -5.0 = C0 14 00 .. 00.
  EXPECT_EQ(bytes[0], 0xC0);
  EXPECT_EQ(bytes[1], 0x10);
  EXPECT_EQ(bytes[bytes.size() - 16], 0x40);
  EXPECT_EQ(bytes[bytes.size() - 15], 0x14);
  EXPECT_EQ(bytes[bytes.size() - 8], 0xC0);
  EXPECT_EQ(bytes[bytes.size() - 7], 0x14);

  // In core: no scratch buffer, Extract hands out addresses.
  ChunkPtr<int> in({3, 4});
  in.inCore = 1;
  int iout = 0;
  EXPECT_EQ(in.Nrm2(0, 2, iout), 0);
  EXPECT_EQ(iout, 5);
  ASSERT_EQ(in.gotBuffer.size(), 1u);
  EXPECT_FALSE(in.gotBuffer[0]);

  ChunkPtr<cd> zc({cd(3, 4), cd(0, 0)});
  cd zout;
  EXPECT_EQ(zc.Nrm2(0, 2, zout), 0);
  EXPECT_NEAR(zout.real(), 5.0, 1e-15);

  f = std::fopen(tmp.path(), "rb");  // read-only: the first block fails, -1
  EXPECT_EQ(s.Write(f, 0, 10), -1);
  std::fclose(f);
  EXPECT_EQ(s.Write(nullptr, 0, 0), -1);
}

TEST(CPtrInCore, SumsAndNormsBeyondTheElementType) {
  // float: 2^24 then 1000 ones sum to 16778216 (single precision stops at 2^24).
  C_PtrInCore<float, int> f(1001, 1.0f);
  f[0] = 16777216.0f;
  EXPECT_EQ(f.Sum(0, 1001), 16778216.0f);
  float fn = 0.0f;
  C_PtrInCore<float, int> big(2, 0.0f);
  big[0] = 3e20f;
  big[1] = 4e20f;
  EXPECT_EQ(big.Nrm2(0, 2, fn), 0);
  EXPECT_NEAR(fn, 5e20f, 5e20f * 1e-6f);  // the squares overflow single precision
  // int: 46341^2 + 46341^2 = 4294976562 exceeds 32 bits; its root is 65536.07.
  PI a(2, 46341);
  int ia = 0;
  EXPECT_EQ(a.Nrm2(0, 2, ia), 0);
  EXPECT_EQ(ia, 65536);
  // A norm beyond int gives the largest int: (2e9, 2e9) has the norm 2.83e9.
  PI b(2, 2000000000);
  EXPECT_EQ(b.Nrm2(0, 2, ia), 0);
  EXPECT_EQ(ia, std::numeric_limits<int>::max());
  // Integer sums keep wrapping in their own type.
  PI w(2, std::numeric_limits<int>::max());
  EXPECT_EQ(w.Sum(0, 2), -2);
}

TEST(CPtrInCore, NormsAndSumsNearTheEndsOfTheRange) {
  // Squares of 3e200 and 4e200 overflow, those of 3e-200 and 4e-200 underflow; the norms
  // 5e200 and 5e-200 do neither. In core, and block-wise through Extract.
  for (double scale : {1e200, 1e-200}) {
    PD d(2, 0.0);
    d[0] = 3.0 * scale;
    d[1] = -4.0 * scale;
    double dn = 0.0;
    EXPECT_EQ(d.Nrm2(0, 2, dn), 0);
    EXPECT_NEAR(dn, 5.0 * scale, 5.0 * scale * 1e-15) << scale;
    PZ z(1, cd(3.0 * scale, 4.0 * scale));
    cd zn;
    EXPECT_EQ(z.Nrm2(0, 1, zn), 0);
    EXPECT_NEAR(zn.real(), 5.0 * scale, 5.0 * scale * 1e-15) << scale;
    EXPECT_EQ(zn.imag(), 0.0);
    ChunkPtr<double> blocks({3.0 * scale, 4.0 * scale});
    EXPECT_EQ(blocks.Nrm2(0, 2, dn), 0);
    EXPECT_NEAR(dn, 5.0 * scale, 5.0 * scale * 1e-15) << scale;
  }
  // A NaN is never lost beside an infinity.
  PD bad(2, 0.0);
  bad[0] = HUGE_VAL;
  bad[1] = NAN;
  double bn = 0.0;
  EXPECT_EQ(bad.Nrm2(0, 2, bn), 0);
  EXPECT_TRUE(std::isnan(bn));
  EXPECT_TRUE(std::isnan(bad.Sum(0, 2)));
  // Partial sums beyond double, a sum within it: (1e308 + 1e308) - 1e308.
  PD s(3, 1e308);
  s[2] = -1e308;
  EXPECT_EQ(s.Sum(0, 3), 1e308);
  PZ zs(3, cd(-1e308, 1e308));
  zs[2] = cd(1e308, -1e308);
  EXPECT_EQ(zs.Sum(0, 3), cd(-1e308, 1e308));
}

TEST(CPtrInCore, AttachInsideTheOwnedBufferIsRefused) {
  // Freeing the buffer first would leave the new address dangling.
  PD p(4, 1.0);
  double* buf = p.data;
  EXPECT_KVELO_CODE(p.Attach(buf + 2), 2870);
  EXPECT_EQ(p.data, buf);
  EXPECT_EQ(p.owns, 1);
  EXPECT_EQ(p.data[3], 1.0);
  // A borrowed buffer may be moved within freely: nothing is freed.
  double caller[3] = {1, 2, 3};
  PD view(caller);
  view.Attach(caller + 1);
  EXPECT_EQ(view.data, caller + 1);
  EXPECT_EQ(view.owns, 0);
}

TEST(CPtrInCore, AttachAtTheEndOfTheOwnedBufferIsRefused) {
  // One past the end is no element, yet freeing the buffer would leave it dangling all the same.
  PD p(3, 2.0);
  double* buf = p.data;
  EXPECT_KVELO_CODE(p.Attach(buf + 3), 2870);
  EXPECT_EQ(p.data, buf);
  EXPECT_EQ(p.owns, 1);
  EXPECT_EQ(p.nalloc, 3);
  EXPECT_EQ(p.data[2], 2.0);
}

TEST(CPtrInCore, AssignmentFromAViewIntoTheOwnBufferIsRefused) {
  // The view's address lies in the buffer the assignment would give back: refused like Attach,
  // nothing changed (under ASan a use after free otherwise).
  for (int k = 1; k <= 4; ++k) {
    PD p(4);
    for (int i = 0; i < 4; ++i) p[i] = 10.0 + i;
    double* buf = p.data;
    std::unique_ptr<C_Ptr<double, int>> view(p.Lnk(k));
    EXPECT_KVELO_CODE(p = *static_cast<PD*>(view.get()), 2870) << "k = " << k;
    EXPECT_EQ(p.data, buf);
    EXPECT_EQ(p.owns, 1);
    EXPECT_EQ(p.nalloc, 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(p.data[i], 10.0 + i);
  }
  // A view at the start is the buffer itself: nothing changes.
  PZ z(2, cd(1, 2));
  std::unique_ptr<C_Ptr<cd, int>> start(z.Lnk(0));
  z = *static_cast<PZ*>(start.get());
  EXPECT_EQ(z.owns, 1);
  EXPECT_EQ(z.nalloc, 2);
  EXPECT_EQ(z.data[1], cd(1, 2));
}

TEST(CPtrInCore, ScalingByZeroKeepsNaNAndInfinities) {
  // 0 times NaN or an infinity is NaN; the BLAS scaling stores zeros for a zero factor.
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  PD p(8, 1.0);
  p[1] = nan;
  p[4] = -inf;
  p[6] = -3.0;
  p.SMlt(0.0, 0, 8);
  for (int i = 0; i < 8; ++i) {
    if (i == 1 || i == 4)
      EXPECT_TRUE(std::isnan(p[i])) << i;
    else
      EXPECT_EQ(p[i], 0.0) << i;
  }
  EXPECT_TRUE(std::signbit(p[6]));
  PZ z(5, cd(1, 1));
  z[2] = cd(inf, 0);
  z[3] = cd(0, nan);
  z.SMlt(cd(0, 0), 0, 5);
  EXPECT_EQ(z[0], cd(0, 0));
  EXPECT_TRUE(std::isnan(z[2].real()));
  EXPECT_TRUE(std::isnan(z[3].real()) || std::isnan(z[3].imag()));
}
