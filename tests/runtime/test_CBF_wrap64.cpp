// Tests of the 64-bit file wrappers: block transfers on descriptors, positions, wide names.
#include "kvelo.h"

#include "binfile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using kvtest::Bytes;
using kvtest::TempPath;

namespace {

TEST(CbfOpen, WideNamesAndModes) {
  TempPath p("open", "", false);
  const std::wstring name = p.wide() + L"_\u00e9";
  const std::string utf8 = p.str() + "_\xC3\xA9";
  FILE* f = CBF_fopen64(name.c_str(), L"wb");
  ASSERT_NE(f, nullptr);
  const char data[] = "hello";
  EXPECT_EQ(CBF_fwrite64(data, 1, 5, f), 5u);
  EXPECT_EQ(CBF_fclose64(f), 0);
  EXPECT_EQ(kvtest::ReadFileText(utf8), "hello");

  const int fd = CBF_open64(name.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  char back[8] = {};
  EXPECT_EQ(CBF_read64(back, 1, 8, fd), 5u);
  EXPECT_STREQ(back, "hello");
  EXPECT_EQ(CBF_close64(fd), 0);
  EXPECT_EQ(CBF_close64(fd), -1);
  std::remove(utf8.c_str());

  EXPECT_EQ(CBF_fopen64(nullptr, L"r"), nullptr);
  EXPECT_EQ(CBF_fopen64(name.c_str(), nullptr), nullptr);
  EXPECT_EQ(CBF_fopen64(L"kvt_no_such_file", L"r"), nullptr);
  EXPECT_EQ(CBF_open64(nullptr, O_RDONLY), -1);
  EXPECT_EQ(CBF_fclose64(nullptr), EOF);
}

TEST(CbfOpen, CreatedFileIsReadableAndWritableByItsOwner) {
  TempPath p("perm", "", false);
  const mode_t old = umask(022);
  const int fd = CBF_open64(p.wide().c_str(), O_CREAT | O_RDWR);
  umask(old);
  ASSERT_GE(fd, 0);
  struct stat st;
  ASSERT_EQ(fstat(fd, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  close(fd);
}

TEST(CbfBlocks, WholeElementsAreCounted) {
  TempPath p("blocks");
  kvtest::WriteFileBytes(p.str(), Bytes(7, 0xAB));
  FILE* f = fopen(p.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::uint32_t v[4] = {};
  EXPECT_EQ(CBF_fread64(v, 4, 4, f), 1u);  // 7 bytes: one whole element of 4
  EXPECT_EQ(v[0], 0xABABABABu);
  EXPECT_EQ(CBF_fread64(v, 4, 1, f), 0u);  // at the end of the file
  fclose(f);
}

TEST(CbfBlocks, RefusedRequestsMakeNoCall) {
  TempPath p("refuse");
  FILE* f = fopen(p.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  const char data[16] = {1, 2, 3};
  EXPECT_EQ(CBF_fwrite64(data, 0, 16, f), 0u);  // element size 0
  EXPECT_EQ(CBF_fwrite64(nullptr, 1, 16, f), 0u);
  EXPECT_EQ(CBF_fwrite64(data, 1, -1, f), 0u);
  EXPECT_EQ(CBF_fwrite64(data, 1, 16, nullptr), 0u);
  // size x count above 2^31-1 bytes: refused before anything reaches the platform.
  EXPECT_EQ(CBF_fwrite64(data, size_t(1) << 20, 1 << 12, f), 0u);
  EXPECT_EQ(CBF_fwrite64(data, size_t(1) << 32, 1, f), 0u);
  EXPECT_EQ(CBF_fwrite64(data, 2, 0x40000000, f), 0u);
  EXPECT_EQ(CBF_write64(data, 1, 16, -1), 0u);
  char in[16];
  EXPECT_EQ(CBF_fread64(in, 0, 16, f), 0u);
  EXPECT_EQ(CBF_fread64(in, 8, 0x10000000, f), 0u);
  EXPECT_EQ(CBF_read64(nullptr, 1, 1, fileno(f)), 0u);
  fclose(f);
  EXPECT_TRUE(kvtest::ReadFileBytes(p.str()).empty());
}

TEST(CbfBlocks, PlatformFailureNeverEqualsTheRequestedCount) {
  TempPath p("fail");
  const int ro = open(p.c_str(), O_RDONLY);
  ASSERT_GE(ro, 0);
  const double d[3] = {1, 2, 3};
  const size_t got = CBF_write64(d, sizeof(double), 3, ro);
  EXPECT_NE(got, 3u);
  EXPECT_EQ(got, static_cast<size_t>(-1) / sizeof(double));
  close(ro);
  const int wo = open(p.c_str(), O_WRONLY);
  double back[3];
  EXPECT_NE(CBF_read64(back, sizeof(double), 3, wo), 3u);
  close(wo);
}

TEST(CbfBlocks, StreamFormsBypassTheStreamBuffer) {
  TempPath p("order");
  FILE* f = fopen(p.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fprintf(f, "AB");
  EXPECT_EQ(CBF_fwrite64("cd", 1, 2, f), 2u);
  fclose(f);
  EXPECT_EQ(kvtest::ReadFileText(p.str()), "cdAB");  // buffered text lands after

  f = fopen(p.c_str(), "wb");
  fprintf(f, "AB");
  fflush(f);
  EXPECT_EQ(CBF_fwrite64("cd", 1, 2, f), 2u);
  fclose(f);
  EXPECT_EQ(kvtest::ReadFileText(p.str()), "ABcd");
}

TEST(CbfPositions, SeekAndTell) {
  TempPath p("seek");
  kvtest::WriteFileText(p.str(), "0123456789");
  FILE* f = fopen(p.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(CBF_fseek64(f, 7, SEEK_SET), 0);  // 0, not the position
  EXPECT_EQ(CBF_ftell64(f), 7);
  char c = 0;
  EXPECT_EQ(CBF_fread64(&c, 1, 1, f), 1u);
  EXPECT_EQ(c, '7');
  EXPECT_EQ(CBF_fseek64(f, -3, SEEK_END), 0);
  EXPECT_EQ(CBF_ftell64(f), 7);
  EXPECT_EQ(CBF_fseek64(f, -20, SEEK_CUR), -1);
  EXPECT_EQ(CBF_fseek64(nullptr, 0, SEEK_SET), -1);
  EXPECT_EQ(CBF_ftell64(nullptr), -1);

  const int fd = fileno(f);
  EXPECT_EQ(CBF_lseek64(fd, 4, SEEK_SET), 4);  // the position itself
  EXPECT_EQ(CBF_tell64(fd), 4);
  EXPECT_EQ(CBF_lseek64(fd, 2, SEEK_CUR), 6);
  EXPECT_EQ(CBF_lseek64(fd, 1LL << 40, SEEK_SET), 1LL << 40);  // 64-bit positions
  EXPECT_EQ(CBF_tell64(fd), 1LL << 40);
  EXPECT_EQ(CBF_lseek64(fd, -1, SEEK_SET), -1);
  EXPECT_EQ(CBF_lseek64(-1, 0, SEEK_SET), -1);
  EXPECT_EQ(CBF_tell64(-1), -1);
  fclose(f);
}

}  // namespace
