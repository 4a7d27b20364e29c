/* test_C_Ptr_nomem.cpp: what the storage and the concrete vector do when the heap gives no
 * memory (code 1001): nothing is lost, the old buffer and the vector's shape stay as they
 * were, and nothing leaks. Runs under AddressSanitizer only, whose allocator is set (by the
 * test's environment) to refuse blocks above 256 MB; elsewhere it is skipped. Also: readers
 * of vectors, matrices and peer transfers told of gigabytes take memory only for what arrives
 * (under the sanitizer's limit, or in a child process with a capped address space). */
#include "C_Communicator.h"
#include "C_MatMGe.h"
#include "C_MatMSym.h"
#include "C_Ptr.h"
#include "C_VecPi.h"
#include "binfile.h"
#include "kvelosys.h"
#include "vec_files.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <complex>
#include <cstdio>
#include <stdexcept>
#include <vector>

using VD = C_VecPi<double, int, C_PtrInCore<double, int>>;
using PD = C_PtrInCore<double, int>;
using Bytes = std::vector<unsigned char>;

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
  // A dimension of 100000000 (05 F5 E1 00) with no values behind it: the reader asks the
  // heap for room as values arrive, so the failure is the missing values, not the memory.
  WriteAll(tmp.path(), {0x05, 0xF5, 0xE1, 0x00});
  FILE* f = std::fopen(tmp.path(), "rb");
  EXPECT_KVELO_CODE(v.Read(f), 21);
  std::fclose(f);
  EXPECT_EQ(v.Dim(), 4);
  EXPECT_EQ(v[3], 3.0);
}

// ---------------------------------------------------------------------------------------
// Readers of outside data (files, a peer process) that are told of gigabytes and given a few
// bytes: the memory they take follows what arrives. Under the sanitizer every block above
// 256 MB is refused; elsewhere the checks run in a child process whose address space is
// capped 512 MB above what this process already maps. Either way, a reader that sized an
// allocation from the announced count would fail with 1001 instead.
// ---------------------------------------------------------------------------------------
namespace {

#if !defined(__SANITIZE_ADDRESS__)
// Bytes of address space this process maps now.
size_t MappedBytes() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  unsigned long pages = 0;
  if (f) {
    if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  return static_cast<size_t>(pages) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}
#endif

// Runs check (returning 0 when all is as expected, else a small number naming what was not)
// where large blocks cannot be had; returns its result, or 255 when the child died.
template <class F>
int WithBoundedMemory(F check) {
  if (AllocatorRefusesLargeBlocks()) return check();
#if defined(__SANITIZE_ADDRESS__)
  return -1;  // the sanitizer's shadow memory leaves no room for an address-space cap
#else
  const size_t cap = MappedBytes() + (static_cast<size_t>(512) << 20);
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    struct rlimit lim;
    lim.rlim_cur = lim.rlim_max = cap;
    if (setrlimit(RLIMIT_AS, &lim) != 0) _exit(254);
    _exit(check());
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 255;
  return WEXITSTATUS(status);
#endif
}

Bytes Ints(std::initializer_list<int> values) {
  Bytes b;
  for (int v : values) kvtest::PutInt(b, v);
  return b;
}

// A peer announcing 2^31 - 1 values that sends one run of them and then fails.
class LyingPeer : public C_Communicator {
 public:
  int calls = 0;
  void recv(int, int, int* p, int n) override {
    if (calls++ == 0 && n == 1) {
      *p = 2147483647;
      return;
    }
    if (calls > 2) throw std::runtime_error("peer gone");
    for (int i = 0; i < n; ++i) p[i] = i;
  }
  void recv(int, int, double* p, int n) override {
    if (++calls > 2) throw std::runtime_error("peer gone");
    for (int i = 0; i < n; ++i) p[i] = i;
  }
};

}  // namespace

TEST(BoundedReads, VectorsAnnouncingGigabytes) {
  const int r = WithBoundedMemory([] {
    VD d(2, 1.5);
    if (ReadFromBytes(d, {0x7F, 0xFF, 0xFF, 0xFF}) != 21 || d.Dim() != 2 || d[1] != 1.5) return 1;
    C_VecPi<std::complex<double>, int, C_PtrInCore<std::complex<double>, int>> z(1);
    if (ReadFromBytes(z, {0x7F, 0xFF, 0xFF, 0xFF}) != 21 || z.Dim() != 1) return 2;
    C_VecPi<int, int, C_PtrInCore<int, int>> i(0);
    if (ReadFromBytes(i, {0x40, 0, 0, 0, 0, 0, 0, 7}) != 21 || i.Dim() != 0) return 3;
    return 0;
  });
  if (r == -1) GTEST_SKIP() << "needs the sanitizer's allocator limit";
  EXPECT_EQ(r, 0);
}

TEST(BoundedReads, MatricesAnnouncingGigabytes) {
  const int r = WithBoundedMemory([] {
    // 0 x 637534208: no values, and no table of 637534208 column addresses (5 GB).
    C_MatMGe<double> wide(1, 1);
    if (ReadFromBytes(wide, Ints({0, 637534208, 0})) != 0 || wide.rows != 0 || wide.cols != 637534208) return 1;
    // 1 x 268435455 with as many values announced (2 GB), two present.
    C_MatMGe<double> m(1, 1);
    Bytes b = Ints({1, 268435455, 268435455});
    kvtest::PutDouble(b, 1.0), kvtest::PutDouble(b, 2.0);
    if (ReadFromBytes(m, b) != 21 || m.rows != 1 || m.cols != 1) return 2;
    // Order 65535 with 2147450880 packed values announced (16 GB), none present.
    C_MatMSym<double> s(1, 1);
    if (ReadFromBytes(s, Ints({65535, 65535, 1, 2147450880})) != 21 || s.rows != 1) return 3;
    return 0;
  });
  if (r == -1) GTEST_SKIP() << "needs the sanitizer's allocator limit";
  EXPECT_EQ(r, 0);
}

TEST(BoundedReads, PeerAnnouncingGigabytes) {
  const int r = WithBoundedMemory([] {
    LyingPeer peer;
    C_Communicator::setInstance(&peer);
    VD v(2, 1.5);
    bool threw = false;
    try {
      C_Vec_Recv<double, int>(&v, 0, 0);
    } catch (const std::runtime_error&) {
      threw = true;
    } catch (...) {
    }
    C_Communicator::setInstance(nullptr);
    return threw && v.Dim() == 2 && v[0] == 1.5 ? 0 : 1;
  });
  if (r == -1) GTEST_SKIP() << "needs the sanitizer's allocator limit";
  EXPECT_EQ(r, 0);
}
