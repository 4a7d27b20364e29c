// Tests of the typed binary arrays: byte order chosen by the caller, descriptor and stream
// forms, int and 64-bit counts, complex layout, block splitting and refusals.
#include "kvelo.h"

#include "binfile.h"
#include "dev_full.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <vector>

using kvtest::Bytes;
using kvtest::BytesEqual;
using kvtest::MakeBytes;
using kvtest::TempPath;

namespace {

// Bytes of a stream writer's file and its result.
Bytes ViaStream(const std::function<int(FILE*)>& writer, int* result) {
  TempPath p("bfds");
  FILE* f = fopen(p.c_str(), "wb");
  *result = writer(f);
  fclose(f);
  return kvtest::ReadFileBytes(p.str());
}

Bytes ViaFd(const std::function<int(int)>& writer, int* result) {
  TempPath p("bfdf");
  const int fd = open(p.c_str(), O_WRONLY | O_TRUNC);
  *result = writer(fd);
  close(fd);
  return kvtest::ReadFileBytes(p.str());
}

// The expected file: each element's bytes (parts of a complex separately), most significant
// first when big is true. The test host is little-endian (checked below).
template <typename T>
Bytes Expected(const std::vector<T>& v, bool big) {
  Bytes out;
  for (const T& x : v) {
    unsigned char raw[sizeof(T)];
    std::memcpy(raw, &x, sizeof(T));
    const size_t part = std::is_same<T, std::complex<double>>::value  ? 8
                        : std::is_same<T, std::complex<float>>::value ? 4
                                                                      : sizeof(T);
    for (size_t base = 0; base < sizeof(T); base += part) {
      if (big) std::reverse(raw + base, raw + base + part);
    }
    out.insert(out.end(), raw, raw + sizeof(T));
  }
  return out;
}

template <typename T>
std::vector<T> Sample(int n);
template <>
std::vector<char> Sample(int n) {
  std::vector<char> v(n);
  for (int k = 0; k < n; ++k) v[k] = static_cast<char>(k * 7 + 1);
  return v;
}
template <>
std::vector<int> Sample(int n) {
  std::vector<int> v(n);
  for (int k = 0; k < n; ++k) v[k] = static_cast<int>(static_cast<unsigned>(k) * 0x01020305u - 77u);
  return v;
}
template <>
std::vector<long long> Sample(int n) {
  std::vector<long long> v(n);
  for (int k = 0; k < n; ++k) v[k] = static_cast<long long>(static_cast<unsigned long long>(k) * 0x0102030405060709ULL - 5u);
  return v;
}
template <>
std::vector<float> Sample(int n) {
  std::vector<float> v(n);
  for (int k = 0; k < n; ++k) v[k] = 1.5f * k - 1000.25f;
  return v;
}
template <>
std::vector<double> Sample(int n) {
  std::vector<double> v(n);
  for (int k = 0; k < n; ++k) v[k] = 0.1 * k - 1e10;
  return v;
}
template <>
std::vector<std::complex<float>> Sample(int n) {
  std::vector<std::complex<float>> v(n);
  for (int k = 0; k < n; ++k) v[k] = {0.5f * k, -3.0f * k - 1};
  return v;
}
template <>
std::vector<std::complex<double>> Sample(int n) {
  std::vector<std::complex<double>> v(n);
  for (int k = 0; k < n; ++k) v[k] = {1.0 / (k + 1), -2.0 * k};
  return v;
}

template <typename T>
class TypedArrays : public ::testing::Test {};
using ElementTypes =
    ::testing::Types<char, int, long long, float, double, std::complex<float>, std::complex<double>>;
TYPED_TEST_SUITE(TypedArrays, ElementTypes);

TYPED_TEST(TypedArrays, BytesAndRoundTripInBothOrdersAndAllForms) {
  using T = TypeParam;
  ASSERT_EQ(BF_EndianIsCorrect(), 0) << "expectations below are written for a little-endian host";
  for (int n : {1, 255, 256, 257, 600}) {
    const std::vector<T> v = Sample<T>(n);
    for (bool big : {true, false}) {
      const Bytes expect = Expected(v, big);
      int r = -1;
      EXPECT_TRUE(BytesEqual(ViaStream([&](FILE* f) { return T_BF_write(f, v.data(), n, big); }, &r), expect));
      EXPECT_EQ(r, 0);
      EXPECT_TRUE(BytesEqual(ViaStream([&](FILE* f) { return T_BF_write(f, v.data(), (long long)n, big); }, &r), expect));
      EXPECT_EQ(r, 0);
      EXPECT_TRUE(BytesEqual(ViaFd([&](int fd) { return T_BF_write(fd, v.data(), n, big); }, &r), expect));
      EXPECT_EQ(r, 0);
      EXPECT_TRUE(BytesEqual(ViaFd([&](int fd) { return T_BF_write(fd, v.data(), (long long)n, big); }, &r), expect));
      EXPECT_EQ(r, 0);

      TempPath p("bfdr");
      kvtest::WriteFileBytes(p.str(), expect);
      std::vector<T> back(n);
      FILE* f = fopen(p.c_str(), "rb");
      if (sizeof(T) == 1) big = false;  // descriptor reads of bytes refuse reversal (own test)
      ASSERT_EQ(T_BF_read(f, back.data(), n, big), 0);
      EXPECT_EQ(back, v);
      std::fill(back.begin(), back.end(), T());
      ASSERT_EQ(CBF_fseek64(f, 0, SEEK_SET), 0);
      ASSERT_EQ(T_BF_read(f, back.data(), (long long)n, big), 0);
      EXPECT_EQ(back, v);
      std::fill(back.begin(), back.end(), T());
      ASSERT_EQ(CBF_fseek64(f, 0, SEEK_SET), 0);
      ASSERT_EQ(T_BF_read(fileno(f), back.data(), n, big), 0);
      EXPECT_EQ(back, v);
      std::fill(back.begin(), back.end(), T());
      ASSERT_EQ(CBF_fseek64(f, 0, SEEK_SET), 0);
      ASSERT_EQ(T_BF_read(fileno(f), back.data(), (long long)n, big), 0);
      EXPECT_EQ(back, v);
      // The file ends: one element more than it holds.
      ASSERT_EQ(CBF_fseek64(f, 0, SEEK_SET), 0);
      std::vector<T> more(n + 1);
      EXPECT_EQ(T_BF_read(f, more.data(), n + 1, big), -1);
      fclose(f);
    }
  }
}

TYPED_TEST(TypedArrays, CountsAndNullArguments) {
  using T = TypeParam;
  const std::vector<T> v = Sample<T>(3);
  int r = 0;
  // int counts refuse 0; the 64-bit forms write an empty array as success.
  EXPECT_TRUE(ViaStream([&](FILE* f) { return T_BF_write(f, v.data(), 0, true); }, &r).empty());
  EXPECT_EQ(r, -1);
  EXPECT_TRUE(ViaFd([&](int fd) { return T_BF_write(fd, v.data(), 0, true); }, &r).empty());
  EXPECT_EQ(r, -1);
  EXPECT_TRUE(ViaStream([&](FILE* f) { return T_BF_write(f, v.data(), 0LL, true); }, &r).empty());
  EXPECT_EQ(r, 0);
  EXPECT_TRUE(ViaFd([&](int fd) { return T_BF_write(fd, v.data(), 0LL, false); }, &r).empty());
  EXPECT_EQ(r, 0);
  // A negative count is a fault in every form.
  EXPECT_TRUE(ViaStream([&](FILE* f) { return T_BF_write(f, v.data(), -2, true); }, &r).empty());
  EXPECT_EQ(r, -1);
  EXPECT_TRUE(ViaStream([&](FILE* f) { return T_BF_write(f, v.data(), -2LL, true); }, &r).empty());
  EXPECT_EQ(r, -1);
  EXPECT_TRUE(ViaStream([&](FILE* f) { return T_BF_write(f, static_cast<const T*>(nullptr), 3, true); }, &r).empty());
  EXPECT_EQ(r, -1);
  EXPECT_EQ(T_BF_write(static_cast<FILE*>(nullptr), v.data(), 3, true), -1);
  EXPECT_EQ(T_BF_write(static_cast<FILE*>(nullptr), v.data(), 3LL, true), -1);
  EXPECT_EQ(T_BF_write(-1, v.data(), 3, false), -1);
  std::vector<T> back(3);
  EXPECT_EQ(T_BF_read(static_cast<FILE*>(nullptr), back.data(), 3, false), -1);
  EXPECT_EQ(T_BF_read(-1, back.data(), 3, false), -1);
  EXPECT_EQ(T_BF_read(0, back.data(), 0LL, false), 0);
}

TEST(TypedArrayBytes, DoubleOneInEachOrder) {
  const double one = 1.0;
  int r = -1;
  EXPECT_TRUE(BytesEqual(ViaStream([&](FILE* f) { return T_BF_write(f, &one, 1, true); }, &r),
                         MakeBytes({0x3F, 0xF0, 0, 0, 0, 0, 0, 0})));
  EXPECT_TRUE(BytesEqual(ViaStream([&](FILE* f) { return T_BF_write(f, &one, 1, false); }, &r),
                         MakeBytes({0, 0, 0, 0, 0, 0, 0xF0, 0x3F})));
}

TEST(TypedArrayBytes, ComplexIsRealThenImaginary) {
  const std::complex<double> z[2] = {{1.0, -2.0}, {0.5, 4.0}};
  int r = -1;
  EXPECT_TRUE(BytesEqual(ViaStream([&](FILE* f) { return T_BF_write(f, z, 2, true); }, &r),
                         MakeBytes({0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0xC0, 0x00, 0, 0, 0, 0, 0, 0,
                                    0x3F, 0xE0, 0, 0, 0, 0, 0, 0, 0x40, 0x10, 0, 0, 0, 0, 0, 0})));
  EXPECT_EQ(r, 0);
}

TEST(TypedArrayBytes, SameFileAsThePortableValueWriters) {
  const int v[4] = {1, -2, 300000, -2147483647 - 1};
  TempPath p("bfdint");
  FILE* f = fopen(p.c_str(), "wb+");
  ASSERT_EQ(T_BF_write(f, v, 4, true), 0);
  ASSERT_EQ(CBF_fseek64(f, 0, SEEK_SET), 0);
  int back[4];
  ASSERT_EQ(BF_fread_int(f, back, 4), 0);
  fclose(f);
  EXPECT_TRUE(std::equal(v, v + 4, back));
}

TEST(TypedArrayBytes, CharsFromADescriptorRefuseReversal) {
  TempPath p("bfdchar");
  kvtest::WriteFileText(p.str(), "abcd");
  const int fd = open(p.c_str(), O_RDONLY);
  char buf[4] = {};
  try {
    T_BF_read(fd, buf, 4, true);
    ADD_FAILURE() << "no exception";
  } catch (const C_KveloException& e) {
    EXPECT_EQ(e.getExceptionCode(), 2871);
    EXPECT_EQ(e.getReasonCode(), 0);
  }
  EXPECT_EQ(std::string(buf, 4), "abcd");  // raised after the read
  ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
  EXPECT_THROW(T_BF_read(fd, buf, 4LL, true), C_KveloException);
  ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
  EXPECT_EQ(T_BF_read(fd, buf, 4, false), 0);
  close(fd);
  // The stream form ignores the flag.
  FILE* f = fopen(p.c_str(), "rb");
  EXPECT_EQ(T_BF_read(f, buf, 4, true), 0);
  EXPECT_EQ(std::string(buf, 4), "abcd");
  fclose(f);
  // Written bytes do not depend on the flag.
  int r = -1;
  EXPECT_TRUE(BytesEqual(ViaStream([&](FILE* s) { return T_BF_write(s, "xyz", 3, true); }, &r), MakeBytes({'x', 'y', 'z'})));
}

TEST(TypedArrayBytes, AFullDeviceFailsTheWrite) {
  FILE* f = kvtest::OpenDevFull();
  if (!f) GTEST_SKIP() << "/dev/full is not a character device here";
  const std::vector<double> v = Sample<double>(600);
  EXPECT_EQ(T_BF_write(f, v.data(), 600LL, true), -1);
  EXPECT_EQ(T_BF_write(f, v.data(), 600, false), -1);
  EXPECT_EQ(T_BF_write(fileno(f), v.data(), 600, true), -1);
  fclose(f);
}

TEST(SplitCount, BlocksOfTheLargestSize) {
  const long long M = 2147483647LL;
  struct Case {
    long long n, max;
    int blocks;
    long long size, last;
  };
  const Case cases[] = {
      {0, M, 1, 0, 0},
      {1, M, 1, 1, 1},
      {M, M, 1, M, M},
      {M + 1, M, 2, M, 1},
      {2147483648LL, M, 2, M, 1},
      {2 * M, M, 2, M, M},
      {2 * M + 5, M, 3, M, 5},
      {-5, M, 1, -5, -5},
      {10, 3, 4, 3, 1},
      {9, 3, 3, 3, 3},
      {4096 * 3 + 1, 4096, 4, 4096, 1},
  };
  for (const Case& c : cases) {
    int blocks = -1;
    long long size = -1, last = -1;
    EXPECT_TRUE(SplitCountInBlocks(c.n, c.max, blocks, size, last));
    EXPECT_EQ(blocks, c.blocks) << c.n << "/" << c.max;
    EXPECT_EQ(size, c.size) << c.n << "/" << c.max;
    EXPECT_EQ(last, c.last) << c.n << "/" << c.max;
    if (c.n > 0) {
      EXPECT_EQ(size * (blocks - 1) + last, c.n);
    }
  }
  int blocks;
  long long size, last;
  EXPECT_FALSE(SplitCountInBlocks(10, 0, blocks, size, last));
  EXPECT_FALSE(SplitCountInBlocks(1LL << 62, 2, blocks, size, last));  // more blocks than an int counts
}

}  // namespace
