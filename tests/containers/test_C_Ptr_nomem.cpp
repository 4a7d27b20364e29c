/* test_C_Ptr_nomem.cpp: what the storage and the concrete vector do when the heap gives no
 * memory (code 1001): nothing is lost, the old buffer and the vector's shape stay as they
 * were, and nothing leaks. Runs under AddressSanitizer only, whose allocator is set (by the
 * test's environment) to refuse blocks above 256 MB; elsewhere it is skipped. */
#include "C_Ptr.h"
#include "C_VecPi.h"
#include "kvelosys.h"
#include "vec_files.h"

#include <gtest/gtest.h>

#include <complex>

using VD = C_VecPi<double, int, C_PtrInCore<double, int>>;
using PD = C_PtrInCore<double, int>;

namespace {
constexpr int kHuge = 100000000;  // 800 MB of doubles: above the allocator's limit

bool AllocatorRefusesLargeBlocks() {
#if defined(__SANITIZE_ADDRESS__)
  void* probe = kvelomem_malloc(static_cast<size_t>(kHuge) * 8, "probe", 0, __FILE__, __LINE__);
  kvelomem_free(probe, __FILE__, __LINE__);
  return probe == nullptr;
#else
  return false;
#endif
}
}  // namespace

class NoMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!AllocatorRefusesLargeBlocks()) GTEST_SKIP() << "needs the sanitizer's allocator limit";
  }
};

TEST_F(NoMemory, StorageConstructionAndResize) {
  EXPECT_KVELO_CODE((void)PD(kHuge, 0.0), 1001);
  PD p(3, 2.0);
  double* before = p.data;
  EXPECT_KVELO_CODE(p.Resize(kHuge), 1001);
  EXPECT_EQ(p.data, before);  // the old buffer is kept, values intact
  EXPECT_EQ(p.data[2], 2.0);
  EXPECT_EQ(p.owns, 1);
  PD empty;
  EXPECT_KVELO_CODE(empty.Resize(kHuge), 1001);
  EXPECT_EQ(empty.data, nullptr);
}

TEST_F(NoMemory, StorageExtractAndCopy) {
  PD p(3, 1.0);
  double* buf = static_cast<double*>(kvelomem_malloc(8, "test", 0, __FILE__, __LINE__));
  EXPECT_KVELO_CODE(p.Extract(0, kHuge, buf), 1001);
  kvelomem_free(buf, __FILE__, __LINE__);  // a refused realloc leaves the caller's block
  PD big(3, 4.0);
  EXPECT_KVELO_CODE(p.Copy(big, kHuge), 1001);
  EXPECT_EQ(p.data[0], 1.0);
}

TEST_F(NoMemory, VectorKeepsItsShape) {
  EXPECT_KVELO_CODE((void)VD(kHuge), 1001);
  VD v(4, 3.0);
  EXPECT_KVELO_CODE(v.Resize(kHuge), 1001);
  EXPECT_EQ(v.Dim(), 4);
  EXPECT_EQ(v.capacity, 4);
  EXPECT_EQ(v[3], 3.0);
  VD copy(v);
  EXPECT_EQ(copy[3], 3.0);

  TempFile tmp("nomem_read");
  // A dimension of 100000000 (05 F5 E1 00) with no values behind it.
  WriteAll(tmp.path(), {0x05, 0xF5, 0xE1, 0x00});
  FILE* f = std::fopen(tmp.path(), "rb");
  EXPECT_KVELO_CODE(v.Read(f), 1001);
  std::fclose(f);
  EXPECT_EQ(v.Dim(), 4);
}
