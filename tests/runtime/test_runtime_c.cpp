// test_runtime_c.cpp: the runtime's C interface as a C program sees it. The calls are made
// from runtime_headers_c.c, a C99 translation unit holding every runtime C header, linked
// against libkvelo.so: a declaration that C cannot compile or a function exported with C++
// linkage breaks this program before any check runs. The checks here only read what came back.
#include "runtime_headers_c.h"

#include <gtest/gtest.h>

TEST(RuntimeCHost, EveryFamilyAnswersAC99Host) {
  RuntimeCResults r{};
  runtime_c_host(&r);
  // The clocks: an origin in milliseconds since load, the CPU clock moving with the work done.
  EXPECT_GE(r.origin, 0.0);
  EXPECT_EQ(r.cpuOrigin, 0.0);
  EXPECT_EQ(r.tickCount, static_cast<int>(r.origin));
  EXPECT_GT(r.cpuUsed, 0.0f);
  EXPECT_GE(r.elapsed, 0.0);
  EXPECT_LT(r.elapsed, 600.0);
  EXPECT_GT(r.spin, 0.0);
  // The rest: answers known without the library.
  EXPECT_EQ(r.strdupEqual, 1);
  EXPECT_EQ(r.endianCorrect, 0);  // x86-64 is little-endian; the files are big-endian
  EXPECT_EQ(r.usefulLine, 1);
  EXPECT_EQ(r.commentLine, 0);
  EXPECT_EQ(r.hashCreated, 0);
  EXPECT_EQ(r.hashFound, 1);
  EXPECT_EQ(r.listLength, 3);
  EXPECT_EQ(r.listSecond, 20);
  EXPECT_EQ(r.memoryMode, 1);
  EXPECT_EQ(r.munmapNull, -1);
  EXPECT_EQ(r.munmapStatus, -1);
  EXPECT_EQ(r.ismappedNull, 0);
  EXPECT_EQ(r.statusWord, 0);
  EXPECT_EQ(r.traceOn, 1);
}
