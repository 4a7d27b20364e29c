// Tests of the portable binary values: exact bytes on disk, round trips, and refusals of
// bad arguments and of lengths or widths that a file cannot hold.
#include "kvelo.h"

#include "binfile.h"
#include "pipe_feed.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <unistd.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using kvtest::Bytes;
using kvtest::BytesEqual;
using kvtest::MakeBytes;
using kvtest::TempPath;

namespace {

// Runs writer on a fresh file and returns its bytes; *result receives the writer's result.
Bytes Written(const std::function<int(FILE*)>& writer, int* result = nullptr) {
  TempPath p("bfw");
  FILE* f = fopen(p.c_str(), "wb");
  EXPECT_NE(f, nullptr);
  const int r = writer(f);
  if (result) *result = r;
  fclose(f);
  return kvtest::ReadFileBytes(p.str());
}

// A file holding bytes, open for reading; closed and removed by the destructor.
struct Source {
  explicit Source(const Bytes& bytes) : path("bfr") {
    kvtest::WriteFileBytes(path.str(), bytes);
    f = fopen(path.c_str(), "rb");
  }
  ~Source() {
    if (f) fclose(f);
  }
  TempPath path;
  FILE* f = nullptr;
};

TEST(BfValues, HostOrderIsNotTheFileOrder) { EXPECT_EQ(BF_EndianIsCorrect(), 0); }

TEST(BfValues, ExactBytesOfEachKind) {
  const int ints[] = {1, -2, INT_MIN};
  EXPECT_TRUE(BytesEqual(Written([&](FILE* f) { return BF_fwrite_int(f, ints, 3); }),
                         MakeBytes({0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFE, 0x80, 0, 0, 0})));
  const long longs[] = {1, -1, 2147483647L};
  EXPECT_TRUE(BytesEqual(Written([&](FILE* f) { return BF_fwrite_long(f, longs, 3); }),
                         MakeBytes({0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF})));
  const long long hyper = 0x0102030405060708LL;
  EXPECT_TRUE(BytesEqual(Written([&](FILE* f) { return BF_fwrite_hyper(f, &hyper, 1); }),
                         MakeBytes({1, 2, 3, 4, 5, 6, 7, 8})));
  const float fl[] = {1.0f, -2.5f};
  EXPECT_TRUE(BytesEqual(Written([&](FILE* f) { return BF_fwrite_float(f, fl, 2); }),
                         MakeBytes({0x3F, 0x80, 0, 0, 0xC0, 0x20, 0, 0})));
  const double db[] = {1.0, 0.1};
  EXPECT_TRUE(BytesEqual(Written([&](FILE* f) { return BF_fwrite_double(f, db, 2); }),
                         MakeBytes({0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0x3F, 0xB9, 0x99, 0x99, 0x99, 0x99, 0x99, 0x9A})));
  const char ch[] = {'a', '\0', '\xFF'};
  EXPECT_TRUE(BytesEqual(Written([&](FILE* f) { return BF_fwrite_char(f, ch, 3); }), MakeBytes({0x61, 0, 0xFF})));
  const uint16_t tc[] = {0x1234, 0x00E9};
  EXPECT_TRUE(BytesEqual(Written([&](FILE* f) { return BF_fwrite_tchar(f, tc, 2); }),
                         MakeBytes({0x12, 0x34, 0x00, 0xE9})));
}

TEST(BfValues, RoundTripOfEveryKind) {
  TempPath p("bfrt");
  FILE* f = fopen(p.c_str(), "wb+");
  ASSERT_NE(f, nullptr);
  const int i[] = {7, -123456789};
  const long l[] = {-2147483648L, 42};
  const long long h[] = {-1, LLONG_MAX};
  const float fl[] = {3.25f, -0.0f};
  const double d[] = {-1e300, 6.02214076e23};
  const char c[] = "xyz";
  const uint16_t t[] = {0xD834, 0xDD1E, 0x41};
  ASSERT_EQ(BF_fwrite_int(f, i, 2), 0);
  ASSERT_EQ(BF_fwrite_long(f, l, 2), 0);
  ASSERT_EQ(BF_fwrite_hyper(f, h, 2), 0);
  ASSERT_EQ(BF_fwrite_float(f, fl, 2), 0);
  ASSERT_EQ(BF_fwrite_double(f, d, 2), 0);
  ASSERT_EQ(BF_fwrite_char(f, c, 3), 0);
  ASSERT_EQ(BF_fwrite_tchar(f, t, 3), 0);
  ASSERT_EQ(CBF_fseek64(f, 0, SEEK_SET), 0);
  int i2[2];
  long l2[2];
  long long h2[2];
  float fl2[2];
  double d2[2];
  char c2[3];
  uint16_t t2[3];
  ASSERT_EQ(BF_fread_int(f, i2, 2), 0);
  ASSERT_EQ(BF_fread_long(f, l2, 2), 0);
  ASSERT_EQ(BF_fread_hyper(f, h2, 2), 0);
  ASSERT_EQ(BF_fread_float(f, fl2, 2), 0);
  ASSERT_EQ(BF_fread_double(f, d2, 2), 0);
  ASSERT_EQ(BF_fread_char(f, c2, 3), 0);
  ASSERT_EQ(BF_fread_tchar(f, t2, 3), 0);
  fclose(f);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(i2[k], i[k]);
    EXPECT_EQ(l2[k], l[k]);  // 4 bytes on disk, sign-extended on reading
    EXPECT_EQ(h2[k], h[k]);
    EXPECT_EQ(fl2[k], fl[k]);
    EXPECT_EQ(d2[k], d[k]);
  }
  EXPECT_TRUE(std::signbit(fl2[1]));
  EXPECT_EQ(std::string(c2, 3), "xyz");
  EXPECT_EQ(t2[0], 0xD834);
  EXPECT_EQ(t2[1], 0xDD1E);
  EXPECT_EQ(t2[2], 0x41);
}

TEST(BfValues, LongOutside32BitsIsRefusedNotCut) {
  const long bad[] = {1, 2147483648L};
  int r = 0;
  EXPECT_TRUE(Written([&](FILE* f) { return BF_fwrite_long(f, bad, 2); }, &r).empty());
  EXPECT_EQ(r, -1);
  const long low[] = {-2147483649L};
  EXPECT_TRUE(Written([&](FILE* f) { return BF_fwrite_long(f, low, 1); }, &r).empty());
  EXPECT_EQ(r, -1);
}

TEST(BfValues, LongRunsCrossTheChunkBoundaries) {
  // 257 and 1000 elements go out in chunks of 256: every chunk must land in order.
  for (int n : {255, 256, 257, 1000}) {
    std::vector<int> v(n);
    Bytes expect;
    for (int k = 0; k < n; ++k) {
      v[k] = k * 65537 - 3;
      kvtest::PutInt(expect, v[k]);
    }
    int r = -1;
    EXPECT_TRUE(BytesEqual(Written([&](FILE* f) { return BF_fwrite_int(f, v.data(), n); }, &r), expect)) << n;
    EXPECT_EQ(r, 0);
    std::vector<long> lv(v.begin(), v.end());
    EXPECT_TRUE(BytesEqual(Written([&](FILE* f) { return BF_fwrite_long(f, lv.data(), n); }), expect)) << n;
    Source s(expect);
    std::vector<long> back(n);
    ASSERT_EQ(BF_fread_long(s.f, back.data(), n), 0);
    EXPECT_EQ(back, lv);
  }
}

TEST(BfValues, BadArgumentsAreRefused) {
  const int one = 1;
  int r = 0;
  EXPECT_TRUE(Written([&](FILE* f) { return BF_fwrite_int(f, &one, 0); }, &r).empty());
  EXPECT_EQ(r, -1);
  EXPECT_TRUE(Written([&](FILE* f) { return BF_fwrite_int(f, &one, -4); }, &r).empty());
  EXPECT_EQ(r, -1);
  EXPECT_TRUE(Written([&](FILE* f) { return BF_fwrite_double(f, nullptr, 1); }, &r).empty());
  EXPECT_EQ(r, -1);
  EXPECT_EQ(BF_fwrite_int(nullptr, &one, 1), -1);
  int in = 0;
  EXPECT_EQ(BF_fread_int(nullptr, &in, 1), -1);
  Source s(MakeBytes({0, 0, 0, 5}));
  EXPECT_EQ(BF_fread_int(s.f, nullptr, 1), -1);
  EXPECT_EQ(BF_fread_int(s.f, &in, 0), -1);
  EXPECT_EQ(BF_fread_int(s.f, &in, 1), 0);  // nothing was consumed by the refusals
  EXPECT_EQ(in, 5);
}

TEST(BfValues, FileEndingInsideAValue) {
  Source s(MakeBytes({0x3F, 0xF0, 0, 0, 0}));
  double d = 0;
  EXPECT_EQ(BF_fread_double(s.f, &d, 1), -1);
  Source t(MakeBytes({0, 0, 0, 1, 0, 0}));
  int v[2] = {0, 0};
  EXPECT_EQ(BF_fread_int(t.f, v, 2), -1);
}

TEST(BfStrings, ExactBytesAndRoundTrip) {
  EXPECT_TRUE(BytesEqual(Written([](FILE* f) { return BF_fwrite_str(f, "abc"); }),
                         MakeBytes({0, 0, 0, 3, 0x61, 0x62, 0x63})));
  Source s(MakeBytes({0, 0, 0, 3, 0x61, 0x62, 0x63}));
  char* out = nullptr;
  ASSERT_EQ(BF_fread_str(s.f, &out), 0);
  ASSERT_NE(out, nullptr);
  EXPECT_STREQ(out, "abc");
  kvelomem_free(out, __FILE__, __LINE__);
}

TEST(BfStrings, EmptyOrNullStringsCannotBeWritten) {
  int r = 0;
  EXPECT_TRUE(Written([](FILE* f) { return BF_fwrite_str(f, ""); }, &r).empty());
  EXPECT_EQ(r, -1);
  EXPECT_TRUE(Written([](FILE* f) { return BF_fwrite_str(f, nullptr); }, &r).empty());
  EXPECT_EQ(r, -1);
  EXPECT_TRUE(Written([](FILE* f) { return BF_fwrite_tstr(f, L""); }, &r).empty());
  EXPECT_EQ(r, -1);
  EXPECT_EQ(BF_fwrite_str(nullptr, "abc"), -1);
}

TEST(BfStrings, StoredLengthsAreCheckedBeforeUse) {
  struct Case {
    Bytes file;
    int result;
  };
  const Case cases[] = {
      {MakeBytes({0, 0, 0, 0}), 0},                  // length 0: no string, success
      {MakeBytes({0xFF, 0xFF, 0xFF, 0xFF}), -1},     // negative
      {MakeBytes({0x80, 0, 0, 0}), -1},              // most negative
      {MakeBytes({0x7F, 0xFF, 0xFF, 0xFF, 'a'}), -1},  // far beyond the file: nothing allocated
      {MakeBytes({0, 0, 0, 4, 'a', 'b', 'c'}), -1},  // one byte short
      {MakeBytes({0, 0, 0}), -1},                    // no length at all
  };
  for (const Case& c : cases) {
    Source s(c.file);
    char* out = reinterpret_cast<char*>(&s);  // must be overwritten
    EXPECT_EQ(BF_fread_str(s.f, &out), c.result) << kvtest::Hex(c.file);
    EXPECT_EQ(out, nullptr) << kvtest::Hex(c.file);
    kvelomem_free(out, __FILE__, __LINE__);
  }
  for (const Case& c : cases) {
    Source s(c.file);
    wchar_t* out = reinterpret_cast<wchar_t*>(&s);
    EXPECT_EQ(BF_fread_tstr(s.f, &out), c.result) << kvtest::Hex(c.file);
    EXPECT_EQ(out, nullptr);
  }
  char* dummy = nullptr;
  EXPECT_EQ(BF_fread_str(nullptr, &dummy), -1);
  wchar_t* wdummy = nullptr;
  EXPECT_EQ(BF_fread_tstr(nullptr, &wdummy), -1);
  Source s(MakeBytes({0, 0, 0, 1, 'a'}));
  EXPECT_EQ(BF_fread_str(s.f, nullptr), -1);
}

TEST(BfStrings, ShortReadFromAPipeKeepsWhatArrived) {
  // A pipe has no size to check against: the block is made and the read comes up short.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const unsigned char data[] = {0, 0, 0, 4, 'a', 'b'};
  ASSERT_EQ(write(fds[1], data, sizeof data), static_cast<ssize_t>(sizeof data));
  close(fds[1]);
  FILE* f = fdopen(fds[0], "rb");
  ASSERT_NE(f, nullptr);
  char* out = nullptr;
  EXPECT_EQ(BF_fread_str(f, &out), -1);
  ASSERT_NE(out, nullptr);
  EXPECT_STREQ(out, "ab");
  kvelomem_free(out, __FILE__, __LINE__);
  fclose(f);
}

// A string of `units` units (unit i is first + i % 26) through a pipe: its length, its units
// (one byte each for char, UTF-16 big-endian for wchar_t), then '!'. Several times the
// reader's first block, it must be read whole and leave the '!' in the stream.
template <class C>
void ExpectLongStringReadWhole(int (*read)(FILE*, C**), int units, char first) {
  Bytes form;
  kvtest::PutInt(form, units);
  for (int i = 0; i < units; ++i) {
    if (sizeof(C) > 1) form.push_back(0);
    form.push_back(static_cast<unsigned char>(first + i % 26));
  }
  form.push_back('!');  // what follows the value stays in the stream
  kvtest::PipeFeed p(form);
  ASSERT_NE(p.get(), nullptr);
  C* out = nullptr;
  ASSERT_EQ(read(p.get(), &out), 0);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(std::char_traits<C>::length(out), static_cast<std::size_t>(units));
  bool same = true;
  for (int i = 0; i < units && same; ++i) same = out[i] == static_cast<C>(first + i % 26);
  EXPECT_TRUE(same);
  kvelomem_free(out, __FILE__, __LINE__);
  char next = 0;
  EXPECT_EQ(BF_fread_char(p.get(), &next, 1), 0);
  EXPECT_EQ(next, '!');
}

// A stream that is not a regular file cannot be measured: the string must grow with the bytes
// that arrive. The library heap refuses blocks above 1 MiB meanwhile, so a reader that sized
// its block from the claimed length (2^31 - 1) would fail at once and read nothing.
TEST(BfStrings, PipesGrowTheStringWithWhatArrives) {
  kvtest::HeapCeiling ceiling(1 << 20);
  {
    kvtest::PipeFeed p(MakeBytes({0x7F, 0xFF, 0xFF, 0xFF, '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}));
    ASSERT_NE(p.get(), nullptr);
    char* out = nullptr;
    EXPECT_EQ(BF_fread_str(p.get(), &out), -1);  // the stream ends long before the claim
    ASSERT_NE(out, nullptr);
    EXPECT_STREQ(out, "0123456789");
    kvelomem_free(out, __FILE__, __LINE__);
  }
  {
    kvtest::PipeFeed p(MakeBytes({0x7F, 0xFF, 0xFF, 0xFF, 0x00, 0x41, 0xD8, 0x34, 0xDD, 0x1E}));
    ASSERT_NE(p.get(), nullptr);
    wchar_t* out = nullptr;
    EXPECT_EQ(BF_fread_tstr(p.get(), &out), -1);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::wstring(out), std::wstring());  // only whole chunks of 256 units are decoded
    kvelomem_free(out, __FILE__, __LINE__);
  }
  // True long strings through a pipe: 300000 bytes, and a wide string of 150000 units.
  ExpectLongStringReadWhole(BF_fread_str, 300000, 'a');
  ExpectLongStringReadWhole(BF_fread_tstr, 150000, 'A');
}

TEST(BfStrings, WideStringsAreUtf16OnDisk) {
  EXPECT_TRUE(BytesEqual(Written([](FILE* f) { return BF_fwrite_tstr(f, L"A\u00e9"); }),
                         MakeBytes({0, 0, 0, 2, 0x00, 0x41, 0x00, 0xE9})));
  // A character above U+FFFF is one surrogate pair: two units counted in the length.
  const wchar_t clef[] = {L'x', 0x1D11E, 0};
  EXPECT_TRUE(BytesEqual(Written([&](FILE* f) { return BF_fwrite_tstr(f, clef); }),
                         MakeBytes({0, 0, 0, 3, 0x00, 0x78, 0xD8, 0x34, 0xDD, 0x1E})));
  Source s(MakeBytes({0, 0, 0, 3, 0x00, 0x78, 0xD8, 0x34, 0xDD, 0x1E}));
  wchar_t* out = nullptr;
  ASSERT_EQ(BF_fread_tstr(s.f, &out), 0);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(std::wstring(out), std::wstring(clef));
  kvelomem_free(out, __FILE__, __LINE__);

  const wchar_t lone[] = {L'a', 0xD800, 0};
  int r = 0;
  EXPECT_TRUE(Written([&](FILE* f) { return BF_fwrite_tstr(f, lone); }, &r).empty());
  EXPECT_EQ(r, -1);
}

TEST(BfStrings, LongWideStringsCrossChunks) {
  // Pairs straddle the 256-unit chunks of the writer and the reader.
  std::wstring text;
  for (int k = 0; k < 700; ++k) text += (k % 3 == 0) ? static_cast<wchar_t>(0x10000 + k) : static_cast<wchar_t>(L'a' + k % 26);
  TempPath p("tstr");
  FILE* f = fopen(p.c_str(), "wb+");
  ASSERT_EQ(BF_fwrite_tstr(f, text.c_str()), 0);
  ASSERT_EQ(CBF_fseek64(f, 0, SEEK_SET), 0);
  int units = 0;
  ASSERT_EQ(BF_fread_int(f, &units, 1), 0);
  EXPECT_EQ(units, 700 + 234);
  ASSERT_EQ(CBF_fseek64(f, 0, SEEK_SET), 0);
  wchar_t* out = nullptr;
  ASSERT_EQ(BF_fread_tstr(f, &out), 0);
  EXPECT_EQ(std::wstring(out), text);
  kvelomem_free(out, __FILE__, __LINE__);
  fclose(f);
}

TEST(BfMultiplatform, FixedFieldOf16BitUnits) {
  EXPECT_TRUE(BytesEqual(Written([](FILE* f) { return BF_fwrite_multiplatform_char(f, L"abc", 3); }),
                         MakeBytes({0, 0, 0, 2, 0, 0x61, 0, 0x62, 0, 0x63})));
  // A shorter text is padded with zero units up to the field.
  EXPECT_TRUE(BytesEqual(Written([](FILE* f) { return BF_fwrite_multiplatform_char(f, L"ab", 4); }),
                         MakeBytes({0, 0, 0, 2, 0, 0x61, 0, 0x62, 0, 0, 0, 0})));
  int r = 0;
  EXPECT_TRUE(BytesEqual(Written([](FILE* f) { return BF_fwrite_multiplatform_char(f, L"abc", 0); }, &r),
                         MakeBytes({0, 0, 0, 2})));
  EXPECT_EQ(r, -1);
  // A pair that does not fit in the field is refused, never cut in half.
  const wchar_t clef[] = {L'a', 0x1D11E, 0};
  Written([&](FILE* f) { return BF_fwrite_multiplatform_char(f, clef, 2); }, &r);
  EXPECT_EQ(r, -1);
  EXPECT_TRUE(BytesEqual(Written([&](FILE* f) { return BF_fwrite_multiplatform_char(f, clef, 3); }, &r),
                         MakeBytes({0, 0, 0, 2, 0, 0x61, 0xD8, 0x34, 0xDD, 0x1E})));
  EXPECT_EQ(r, 0);
}

TEST(BfMultiplatform, ReadingBack) {
  Source s(MakeBytes({0, 0, 0, 2, 0, 0x61, 0xD8, 0x34, 0xDD, 0x1E, 0, 0}));
  wchar_t dst[5] = {9, 9, 9, 9, 9};
  ASSERT_EQ(BF_fread_multiplatform_char(s.f, dst, 4), 0);
  EXPECT_EQ(dst[0], L'a');
  EXPECT_EQ(dst[1], static_cast<wchar_t>(0x1D11E));
  EXPECT_EQ(dst[2], 0);
  EXPECT_EQ(dst[3], 0);  // the unit count exceeds the characters: zero-filled
  EXPECT_EQ(dst[4], 9);  // nothing beyond n

  Source shortFile(MakeBytes({0, 0, 0, 2, 0, 0x61}));
  EXPECT_EQ(BF_fread_multiplatform_char(shortFile.f, dst, 2), -1);
}

TEST(BfMultiplatform, WidthsOtherThanTwoAreRefused) {
  for (int width : {0, 1, 3, 4, -1, 1000}) {
    Bytes file;
    kvtest::PutInt(file, width);
    file.resize(file.size() + 64, 0x41);
    Source s(file);
    wchar_t dst[4] = {7, 7, 7, 7};
    EXPECT_EQ(BF_fread_multiplatform_char(s.f, dst, 4), -1) << width;
    EXPECT_EQ(dst[0], 7);
    EXPECT_EQ(CBF_ftell64(s.f), 4);  // nothing read beyond the width
  }
}

}  // namespace
