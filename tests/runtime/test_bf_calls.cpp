// Tests of how portable binary writers cut their output into descriptor writes. The test
// program puts its own write() in front of the C library's to count and fail calls on one
// watched descriptor; every other descriptor goes straight to the system call.
#include "kvelo.h"

#include "binfile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <complex>
#include <vector>

namespace {

int g_watched = -1;      // descriptor whose writes are counted
int g_failAt = 0;        // 1-based number of the watched write that fails (0: none)
int g_calls = 0;
size_t g_sizes[64];      // bytes asked by each watched write

}  // namespace

extern "C" ssize_t write(int fd, const void* buf, size_t n) {
  if (fd == g_watched && fd >= 0) {
    const int call = ++g_calls;
    if (call <= 64) g_sizes[call - 1] = n;
    if (call == g_failAt) {
      errno = ENOSPC;
      return -1;
    }
  }
  return syscall(SYS_write, fd, buf, n);
}

namespace {

// Opens a fresh watched file for writing; closes it and stops watching at scope exit.
struct Watched {
  explicit Watched(int failAt = 0) : path("bfcalls") {
    f = fopen(path.c_str(), "wb");
    g_calls = 0;
    g_failAt = failAt;
    g_watched = fileno(f);
  }
  ~Watched() {
    g_watched = -1;
    fclose(f);
  }
  kvtest::TempPath path;
  FILE* f;
};

TEST(BinaryWrites, ChunksOf256ElementsWhenBytesAreReversed) {
  std::vector<int> v(257, 1);
  {
    Watched w;
    ASSERT_EQ(BF_fwrite_int(w.f, v.data(), 257), 0);
    ASSERT_EQ(g_calls, 2);
    EXPECT_EQ(g_sizes[0], 256u * 4);
    EXPECT_EQ(g_sizes[1], 4u);
  }
  {
    std::vector<double> d(600, 2.0);
    Watched w;
    ASSERT_EQ(T_BF_write(w.f, d.data(), 600, true), 0);  // reversed: 256 + 256 + 88
    ASSERT_EQ(g_calls, 3);
    EXPECT_EQ(g_sizes[2], 88u * 8);
  }
  {
    std::vector<double> d(600, 2.0);
    Watched w;
    ASSERT_EQ(T_BF_write(fileno(w.f), d.data(), 600LL, false), 0);  // host order: one call
    ASSERT_EQ(g_calls, 1);
    EXPECT_EQ(g_sizes[0], 600u * 8);
  }
  {
    std::vector<char> c(1000, 'x');
    Watched w;
    ASSERT_EQ(BF_fwrite_char(w.f, c.data(), 1000), 0);  // bytes are never reversed
    EXPECT_EQ(g_calls, 1);
  }
}

TEST(BinaryWrites, AFailedChunkStopsAtOnceKeepingEarlierChunks) {
  std::vector<int> v(600);
  for (int k = 0; k < 600; ++k) v[k] = k;
  Watched w(2);
  EXPECT_EQ(BF_fwrite_int(w.f, v.data(), 600), -1);
  EXPECT_EQ(g_calls, 2);  // the third chunk is never tried
  fflush(w.f);
  EXPECT_EQ(kvtest::ReadFileBytes(w.path.str()).size(), 256u * 4);

  Watched t(1);
  std::vector<std::complex<double>> z(300);
  EXPECT_EQ(T_BF_write(t.f, z.data(), 300, true), -1);
  EXPECT_EQ(g_calls, 1);
}

}  // namespace
