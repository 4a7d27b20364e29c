// test_C_WorkSpace.cpp: the block work space in core and out of core: first-fit block
// bookkeeping, growth of the area and of the data file, block views of the file, the report,
// and the data file's life (created in a private $TMPDIR, removed on release and on failure).
// Allocations that must fail are refused by the library heap's own ceiling, so that the cases
// hold with any allocator, sanitized or not.
#include "C_WorkSpace.h"
#include "C_KveloException.h"
#include "binfile.h"
#include "failing_new.h"
#include "msgcapture.h"
#include "ooc_files.h"
#include "pipe_feed.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using Kvelo::C_WorkSpace;

namespace {

constexpr unsigned long long kMiB = 1ULL << 20;

struct Thrown {
  int code = -1;  // -1: nothing thrown
  int reason = -1;
  int err = 0;
};

template <class F>
Thrown Catch(F&& f) {
  Thrown t;
  try {
    f();
  } catch (C_KveloException& e) {
    t.code = e.getExceptionCode();
    t.reason = e.getReasonCode();
    t.err = e.getErrno();
  }
  return t;
}

// The report of Info as text.
std::string InfoText(C_WorkSpace& ws) {
  return kvtest::PrintedBy([&](FILE* f) { ws.Info(f); });
}

// The number after the label of one line of the report, -1 when absent.
long long InfoValue(C_WorkSpace& ws, const std::string& label) {
  const std::string text = InfoText(ws);
  const size_t p = text.find(label);
  if (p == std::string::npos) return -1;
  const size_t colon = text.find(':', p);
  return std::stoll(text.substr(colon + 1));
}

std::string Narrow(const std::wstring& w) { return kvtest::Narrow(w.c_str()); }

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// No heap block above 16 MiB while it lives, whatever the allocator.
struct HeapCeiling : kvtest::HeapCeiling {
  HeapCeiling() : kvtest::HeapCeiling(16 * kMiB) {}
};

}  // namespace

// ---------------------------------------------------------------------------------------
// In core.
// ---------------------------------------------------------------------------------------
TEST(WorkSpaceInCore, OneMebibyteSplitsFirstFit) {
  C_WorkSpace ws(C_WorkSpace::INCORE, 1);
  EXPECT_EQ(ws.getCoreMode(), C_WorkSpace::INCORE);
  EXPECT_TRUE(ws.getMemOwner());
  EXPECT_EQ(ws.getWorkSpaceSize(), kMiB);
  EXPECT_EQ(ws.getDataFileDescriptor(), -1);
  EXPECT_TRUE(ws.getDataFileName().empty());
  EXPECT_EQ(ws.BlockSize(0), kMiB);  // one free block over the whole area
  EXPECT_EQ(InfoValue(ws, "Number of Free Blocks"), 1);

  int st = 7;
  EXPECT_EQ(ws.AddNewBlock(1000, st), 0);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(ws.BlockSize(0), 1000u);
  EXPECT_EQ(ws.BlockSize(1), kMiB - 1000);
  int unused = 0;
  char* a0 = static_cast<char*>(ws.AdrBlock(0, unused));
  char* a1 = static_cast<char*>(ws.AdrBlock(1, unused));
  ASSERT_NE(a0, nullptr);
  EXPECT_EQ(a1 - a0, 1000);
  EXPECT_EQ(ws.MapBlock(1, st), a1);  // in core: the address in the area
  EXPECT_EQ(ws.AdrBlockOnFile(1, unused), 0u);

  st = 7;
  EXPECT_EQ(ws.AddNewBlock(1000, st), 1);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(ws.BlockSize(1), 1000u);
  EXPECT_EQ(ws.BlockSize(2), kMiB - 2000);
  EXPECT_EQ(static_cast<char*>(ws.AdrBlock(2, unused)) - a0, 2000);
  EXPECT_EQ(ws.getWorkSpaceSize(), kMiB);  // the area did not grow

  // The blocks are disjoint: each keeps what is written to it.
  std::memset(a0, 0x11, 1000);
  std::memset(ws.AdrBlock(1, unused), 0x22, 1000);
  EXPECT_EQ(a0[999], 0x11);
  EXPECT_EQ(a0[1000], 0x22);

  EXPECT_EQ(InfoValue(ws, "Used Size"), 2000);
  EXPECT_EQ(InfoValue(ws, "Free Size"), static_cast<long long>(kMiB - 2000));
  EXPECT_EQ(InfoValue(ws, "Number of Blocks"), 3);
  EXPECT_EQ(ws.getMappedSize(), 0u);
}

TEST(WorkSpaceInCore, ReuseIsFirstFitInNumberOrder) {
  C_WorkSpace ws;  // in core, empty
  int st = 0;
  const int a = ws.AddNewBlock(500, st);
  const int b = ws.AddNewBlock(100, st);
  const int c = ws.AddNewBlock(300, st);
  const int d = ws.AddNewBlock(200, st);
  ASSERT_EQ((std::vector<int>{a, b, c, d}), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(ws.getWorkSpaceSize(), 1100u);
  ws.FreeBlock(a);  // 500 at offset 0
  ws.FreeBlock(c);  // 300 at offset 600

  // 250 fits both free blocks: the lower number wins (first fit, not best fit).
  int unused = 0;
  char* base = static_cast<char*>(ws.AdrBlock(b, unused)) - 500;
  EXPECT_EQ(ws.AddNewBlock(250, st), a);
  EXPECT_EQ(ws.BlockSize(a), 250u);
  // The rest of block a became block 4, free, right after it.
  EXPECT_EQ(ws.BlockSize(4), 250u);
  EXPECT_EQ(static_cast<char*>(ws.AdrBlock(4, unused)) - base, 250);
  // 260 no longer fits block 4 (250) but fits block 2 (300).
  EXPECT_EQ(ws.AddNewBlock(260, st), c);
  EXPECT_EQ(ws.BlockSize(5), 40u);
  EXPECT_EQ(static_cast<char*>(ws.AdrBlock(5, unused)) - base, 860);
  // An exact fit takes the block whole: no new block.
  EXPECT_EQ(ws.AddNewBlock(250, st), 4);
  EXPECT_EQ(InfoValue(ws, "Number of Blocks"), 6);
  // Larger than every free block: appended at the end, the area grows by the request.
  EXPECT_EQ(ws.AddNewBlock(1000, st), 6);
  EXPECT_EQ(ws.getWorkSpaceSize(), 2100u);
  base = static_cast<char*>(ws.AdrBlock(0, unused));
  EXPECT_EQ(static_cast<char*>(ws.AdrBlock(6, unused)) - base, 1100);
  EXPECT_EQ(InfoValue(ws, "Used Size"), 250 + 100 + 260 + 200 + 250 + 1000);
  EXPECT_EQ(InfoValue(ws, "Number of Free Blocks"), 1);
}

TEST(WorkSpaceInCore, DefaultGrowsOnFirstBlockAndKeepsValues) {
  C_WorkSpace ws;
  EXPECT_EQ(ws.getCoreMode(), C_WorkSpace::INCORE);
  EXPECT_EQ(ws.getWorkSpaceSize(), 0u);
  EXPECT_EQ(InfoValue(ws, "Number of Blocks"), 0);
  int unused = 0;
  EXPECT_EQ(ws.AdrBlock(0, unused), nullptr);

  int st = -5;
  EXPECT_EQ(ws.AddNewBlock(64, st), 0);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(ws.getWorkSpaceSize(), 64u);
  unsigned char* p = static_cast<unsigned char*>(ws.AdrBlock(0, unused));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 64; ++i) p[i] = static_cast<unsigned char>(i * 3);
  // Growing (possibly moving) the area keeps the values of the earlier blocks.
  EXPECT_EQ(ws.AddNewBlock(4 * kMiB, st), 1);
  p = static_cast<unsigned char*>(ws.AdrBlock(0, unused));
  for (int i = 0; i < 64; ++i) ASSERT_EQ(p[i], static_cast<unsigned char>(i * 3));
  EXPECT_EQ(static_cast<unsigned char*>(ws.AdrBlock(1, unused)) - p, 64);
}

TEST(WorkSpaceInCore, ManyBlocksOutgrowTheTableSteps) {
  C_WorkSpace ws;
  int st = 0;
  int unused = 0;
  for (int i = 0; i < 65; ++i) ASSERT_EQ(ws.AddNewBlock(static_cast<unsigned long long>(i + 1), st), i);
  char* base = static_cast<char*>(ws.AdrBlock(0, unused));
  long long offset = 0;
  for (int i = 0; i < 65; ++i) {
    EXPECT_EQ(ws.BlockSize(i), static_cast<unsigned long long>(i + 1));
    EXPECT_EQ(static_cast<char*>(ws.AdrBlock(i, unused)) - base, offset);
    offset += i + 1;
  }
  EXPECT_EQ(ws.getWorkSpaceSize(), 65u * 66u / 2u);
}

TEST(WorkSpaceInCore, BadBlockNumbersChangeNothing) {
  C_WorkSpace ws(C_WorkSpace::INCORE, 1);
  int st = 0;
  ws.AddNewBlock(100, st);
  int unused = 0;
  for (int b : {-1, -1000, 2, 3, 1 << 30}) {
    SCOPED_TRACE(b);
    EXPECT_EQ(ws.BlockSize(b), 0u);
    EXPECT_EQ(ws.AdrBlock(b, unused), nullptr);
    EXPECT_EQ(ws.MapBlock(b, st), nullptr);
    EXPECT_EQ(ws.AdrBlockOnFile(b, unused), 0u);
    EXPECT_EQ(ws.UnMapBlock(b), 0);
    EXPECT_EQ(ws.FreeBlock(b), 0);
  }
  EXPECT_EQ(InfoValue(ws, "Used Size"), 100);
  EXPECT_EQ(InfoValue(ws, "Number of Free Blocks"), 1);
}

TEST(WorkSpaceInCore, FreeingTwiceAndEmptyRequests) {
  C_WorkSpace ws(C_WorkSpace::INCORE, 1);
  int st = 0;
  ASSERT_EQ(ws.AddNewBlock(4000, st), 0);
  EXPECT_EQ(ws.FreeBlock(0), 0);
  EXPECT_EQ(ws.FreeBlock(0), 0);  // already free: the used size is not taken off again
  EXPECT_EQ(InfoValue(ws, "Used Size"), 0);
  EXPECT_EQ(InfoValue(ws, "Free Size"), static_cast<long long>(kMiB));

  // A block of no bytes is refused and nothing changes.
  st = 0;
  EXPECT_EQ(ws.AddNewBlock(0, st), -1);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(InfoValue(ws, "Number of Blocks"), 2);
  EXPECT_EQ(ws.getWorkSpaceSize(), kMiB);
}

TEST(WorkSpaceInCore, AreaThatCannotGrowThrowsOne) {
  C_WorkSpace ws(C_WorkSpace::INCORE, 1);
  int st = 0;
  ASSERT_EQ(ws.AddNewBlock(100, st), 0);
  int unused = 0;
  char* before = static_cast<char*>(ws.AdrBlock(0, unused));
  std::memset(before, 0x5A, 100);
  HeapCeiling ceiling;  // 64 MiB cannot be had
  const Thrown t = Catch([&] { ws.AddNewBlock(64 * kMiB, st); });
  EXPECT_EQ(t.code, 1);
  EXPECT_EQ(t.reason, 0);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(ws.getWorkSpaceSize(), kMiB);
  EXPECT_EQ(InfoValue(ws, "Number of Blocks"), 2);
  EXPECT_EQ(ws.AdrBlock(0, unused), before);
  EXPECT_EQ(before[99], 0x5A);
  // A request beyond 64 bits of size cannot be had either.
  EXPECT_EQ(Catch([&] { ws.AddNewBlock(~0ULL, st); }).code, 1);
}

TEST(WorkSpaceInCore, NoMemoryForTheTableChangesNothing) {
  // Splitting a free block makes a new table entry: when no memory can be had for it, at any
  // allocation the call makes, the blocks stay as they were; the call then succeeds.
  C_WorkSpace ws(C_WorkSpace::INCORE, 1);
  int st = 0;
  ASSERT_EQ(ws.AddNewBlock(100, st), 0);  // block 0 used, block 1 free
  const std::string before = InfoText(ws);
  int got = -2;
  const int failures = kvtest::ForEachAllocation([&] { got = ws.AddNewBlock(1000, st); },
                                                 [&] { EXPECT_EQ(InfoText(ws), before); });
  EXPECT_GE(failures, 1);
  EXPECT_EQ(got, 1);
  EXPECT_EQ(ws.BlockSize(1), 1000u);
  EXPECT_EQ(ws.BlockSize(2), kMiB - 1100);
  EXPECT_EQ(InfoValue(ws, "Number of Free Blocks"), 1);
  EXPECT_EQ(InfoValue(ws, "Used Size"), 1100);
  EXPECT_EQ(ws.AddNewBlock(kMiB - 1100, st), 2);  // the split-off rest is a free block
}

TEST(WorkSpaceInCore, ReleaseFreesTheArea) {
  C_WorkSpace ws(C_WorkSpace::INCORE, 1);
  int st = 0;
  ws.AddNewBlock(10, st);
  EXPECT_EQ(ws.Release(), 0);
  int unused = 0;
  EXPECT_EQ(ws.AdrBlock(0, unused), nullptr);
  EXPECT_EQ(ws.MapBlock(0, st), nullptr);
  EXPECT_EQ(ws.BlockSize(0), 10u);  // the table stays
  EXPECT_EQ(ws.Release(), 0);
}

TEST(WorkSpaceInCore, InfoReport) {
  C_WorkSpace ws(C_WorkSpace::INCORE, 1);
  int st = 0;
  ws.AddNewBlock(1000, st);
  ws.AddNewBlock(24, st);
  ws.FreeBlock(0);
  const std::string expected =
      "\n==============================\nC_WorkSpace Information\n==============================\n\n"
      " . Core Mode                : INCORE\n"
      " . Total Size               : 1048576\n"
      " . Used Size                : 24\n"
      " . Free Size                : 1048552\n"
      " . Number of Blocks         : 3\n"
      " . Number of MappedBlocks   : 0 (Size = 0)\n"
      " . Number of Free Blocks    : 2 ( Size = 1048552)\n";
  EXPECT_EQ(InfoText(ws), expected);
  EXPECT_EQ(Catch([&] { ws.Info(nullptr); }).code, 12);
}

// ---------------------------------------------------------------------------------------
// Out of core.
// ---------------------------------------------------------------------------------------
class WorkSpaceOutOfCore : public ::testing::Test {
 protected:
  kvtest::PrivateTmpDir tmp;
};

TEST_F(WorkSpaceOutOfCore, DataFileAndBlockViews) {
  std::string path;
  {
    C_WorkSpace ws(C_WorkSpace::OUTOFCORE, 1);
    EXPECT_EQ(ws.getCoreMode(), C_WorkSpace::OUTOFCORE);
    path = Narrow(ws.getDataFileName());
    EXPECT_TRUE(StartsWith(path, tmp.Path() + "/KVTMP")) << path;
    EXPECT_EQ(kvtest::FileSize(path), static_cast<long long>(kMiB));
    EXPECT_GE(ws.getDataFileDescriptor(), 0);
    EXPECT_EQ(ws.getWorkSpaceSize(), kMiB);

    int st = 0;
    int unused = 0;
    ASSERT_EQ(ws.AddNewBlock(5000, st), 0);
    ASSERT_EQ(ws.AddNewBlock(10000, st), 1);
    EXPECT_EQ(ws.AdrBlockOnFile(0, unused), 0u);
    EXPECT_EQ(ws.AdrBlockOnFile(1, unused), 5000u);
    EXPECT_EQ(ws.AdrBlock(1, unused), nullptr);  // not mapped yet

    const std::vector<unsigned char> pat = kvtest::Pattern(10000);
    st = -3;
    unsigned char* p1 = static_cast<unsigned char*>(ws.MapBlock(1, st));  // offset not page-aligned
    EXPECT_EQ(st, 0);
    ASSERT_NE(p1, nullptr);
    EXPECT_EQ(ws.AdrBlock(1, unused), p1);
    std::memcpy(p1, pat.data(), pat.size());
    unsigned char* p0 = static_cast<unsigned char*>(ws.MapBlock(0, st));
    ASSERT_NE(p0, nullptr);
    std::memset(p0, 0xEE, 5000);
    EXPECT_EQ(ws.getMappedSize(), 15000u);
    EXPECT_EQ(InfoValue(ws, "Number of MappedBlocks"), 2);
    // Mapping a mapped block again hands back its view.
    EXPECT_EQ(ws.MapBlock(1, st), p1);
    EXPECT_EQ(ws.getMappedSize(), 15000u);

    EXPECT_EQ(ws.UnMapAllBlocks(), 0);
    EXPECT_EQ(ws.getMappedSize(), 0u);
    EXPECT_EQ(ws.AdrBlock(0, unused), nullptr);

    // The bytes went to the data file at the blocks' offsets.
    const std::vector<unsigned char> file = kvtest::ReadBytes(path);
    ASSERT_EQ(file.size(), kMiB);
    EXPECT_EQ(std::vector<unsigned char>(file.begin(), file.begin() + 5000),
              std::vector<unsigned char>(5000, 0xEE));
    EXPECT_EQ(std::vector<unsigned char>(file.begin() + 5000, file.begin() + 15000), pat);
    EXPECT_EQ(file[15000], 0);

    // Mapped again, a block shows what was written.
    p1 = static_cast<unsigned char*>(ws.MapBlock(1, st));
    ASSERT_NE(p1, nullptr);
    EXPECT_EQ(std::memcmp(p1, pat.data(), pat.size()), 0);
    EXPECT_EQ(ws.UnMapBlock(1), 0);
    EXPECT_EQ(ws.UnMapBlock(1), 0);

    // Freeing a mapped block unmaps it.
    ws.MapBlock(0, st);
    EXPECT_EQ(ws.FreeBlock(0), 0);
    EXPECT_EQ(ws.AdrBlock(0, unused), nullptr);
    EXPECT_EQ(ws.getMappedSize(), 0u);

    ws.MapBlock(1, st);  // left mapped: Release unmaps it
    EXPECT_EQ(ws.Release(), 0);
    EXPECT_EQ(kvtest::FileSize(path), -1);
    EXPECT_TRUE(ws.getDataFileName().empty());
    EXPECT_EQ(ws.getDataFileDescriptor(), -1);
    EXPECT_EQ(ws.getWorkSpaceSize(), 0u);
    EXPECT_EQ(ws.getMappedSize(), 0u);
  }
  EXPECT_TRUE(tmp.Files().empty());
}

TEST_F(WorkSpaceOutOfCore, DestructorUnmapsAndDeletes) {
  std::string path;
  {
    C_WorkSpace ws(C_WorkSpace::OUTOFCORE, 1);
    path = Narrow(ws.getDataFileName());
    int st = 0;
    ws.AddNewBlock(3000, st);
    ws.AddNewBlock(3000, st);
    ASSERT_NE(ws.MapBlock(0, st), nullptr);
    ASSERT_NE(ws.MapBlock(1, st), nullptr);
    ASSERT_EQ(kvtest::FileSize(path), static_cast<long long>(kMiB));
  }
  EXPECT_EQ(kvtest::FileSize(path), -1);
  EXPECT_TRUE(tmp.Files().empty());
}

TEST_F(WorkSpaceOutOfCore, FileGrowsWithAppendedBlocks) {
  C_WorkSpace ws(C_WorkSpace::OUTOFCORE, 0);
  const std::string path = Narrow(ws.getDataFileName());
  EXPECT_EQ(kvtest::FileSize(path), 0);
  EXPECT_EQ(InfoValue(ws, "Number of Blocks"), 0);
  int st = -1;
  int unused = 0;
  EXPECT_EQ(ws.AddNewBlock(3000, st), 0);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(kvtest::FileSize(path), 3000);
  EXPECT_EQ(ws.AddNewBlock(70000, st), 1);
  EXPECT_EQ(kvtest::FileSize(path), 73000);
  EXPECT_EQ(ws.AdrBlockOnFile(1, unused), 3000u);
  EXPECT_EQ(ws.getWorkSpaceSize(), 73000u);

  // A view of the appended block reaches the end of the file.
  unsigned char* p = static_cast<unsigned char*>(ws.MapBlock(1, st));
  ASSERT_NE(p, nullptr);
  p[69999] = 0xAB;
  ws.UnMapBlock(1);
  EXPECT_EQ(kvtest::ReadBytes(path).back(), 0xAB);

  // Reusing a freed block does not grow the file.
  ws.FreeBlock(0);
  EXPECT_EQ(ws.AddNewBlock(1000, st), 0);
  EXPECT_EQ(ws.AdrBlockOnFile(2, unused), 1000u);
  EXPECT_EQ(kvtest::FileSize(path), 73000);
}

TEST_F(WorkSpaceOutOfCore, TwoGibibytesAreRefusedAndTheFileRemoved) {
  kvtest::MsgCapture capture;
  const Thrown t = Catch([] { C_WorkSpace ws(C_WorkSpace::OUTOFCORE, 2048); });
  EXPECT_EQ(t.code, 9);
  EXPECT_EQ(t.reason, 0);
  EXPECT_TRUE(tmp.Files().empty());
  EXPECT_GE(capture.Count(2), 1);  // reported as an error before it left the constructor
  // with the scopes it was raised in
  EXPECT_TRUE(capture.Contains("C_WorkSpace::CreateDataFile"));
  EXPECT_TRUE(capture.Contains("C_WorkSpace::_setDataFileSize"));

  // A block that would carry the file to 2^31 bytes is refused and nothing changes.
  C_WorkSpace ws(C_WorkSpace::OUTOFCORE, 1);
  int st = 0;
  EXPECT_EQ(Catch([&] { ws.AddNewBlock((1ULL << 31) - kMiB, st); }).code, 9);
  EXPECT_EQ(ws.getWorkSpaceSize(), kMiB);
  EXPECT_EQ(InfoValue(ws, "Number of Blocks"), 1);
  EXPECT_EQ(kvtest::FileSize(Narrow(ws.getDataFileName())), static_cast<long long>(kMiB));
  EXPECT_EQ(Catch([&] { ws.AddNewBlock(~0ULL, st); }).code, 9);
}

TEST_F(WorkSpaceOutOfCore, InCoreAreaThatCannotBeHadGoesOutOfCore) {
  HeapCeiling ceiling;  // 32 MiB cannot be had in core
  C_WorkSpace ws(C_WorkSpace::INCORE, 32);
  EXPECT_EQ(ws.getCoreMode(), C_WorkSpace::OUTOFCORE);
  const std::string path = Narrow(ws.getDataFileName());
  EXPECT_EQ(kvtest::FileSize(path), static_cast<long long>(32 * kMiB));
  EXPECT_EQ(ws.BlockSize(0), 32 * kMiB);
  int st = 0;
  EXPECT_EQ(ws.AddNewBlock(100, st), 0);
  EXPECT_NE(ws.MapBlock(0, st), nullptr);
}

TEST_F(WorkSpaceOutOfCore, AConstructionThatRunsOutOfMemoryLeavesNothing) {
  // Whatever allocation fails, the work space is not built, and neither its area nor its data
  // file is left behind (the leak check sees the area).
  for (const C_WorkSpace::E_CoreMode mode : {C_WorkSpace::INCORE, C_WorkSpace::OUTOFCORE}) {
    kvtest::MsgCapture cap;
    const int failures = kvtest::ForEachAllocation([&] { C_WorkSpace ws(mode, 1); },
                                                   [&] { EXPECT_TRUE(tmp.Files().empty()) << mode; });
    EXPECT_GE(failures, 1) << mode;
    EXPECT_TRUE(tmp.Files().empty()) << mode;
  }
}

TEST_F(WorkSpaceOutOfCore, IndependentWorkSpacesInSeveralThreads) {
  // Each thread maps and releases blocks of its own work space; all their views go through the
  // process's one mapping table. Every thread reads back what it wrote, every file goes.
  const int kThreads = 6;
  const int kRounds = 60;
  std::vector<int> good(kThreads, 0);
  auto run = [&](int t) {
    try {
      C_WorkSpace ws(C_WorkSpace::OUTOFCORE, 1);
      int st = 0;
      bool ok = true;
      for (int r = 0; r < kRounds && ok; ++r) {
        const unsigned long long n = 4096 + 64 * static_cast<unsigned long long>(t);
        const int b = ws.AddNewBlock(n, st);
        unsigned char* p = static_cast<unsigned char*>(ws.MapBlock(b, st));
        std::memset(p, (t * 31 + r) & 0xFF, n);
        ws.UnMapBlock(b);
        p = static_cast<unsigned char*>(ws.MapBlock(b, st));
        for (unsigned long long k = 0; k < n && ok; ++k) ok = p[k] == static_cast<unsigned char>((t * 31 + r) & 0xFF);
        if (r % 3 == 0) ws.FreeBlock(b);
      }
      good[static_cast<size_t>(t)] = ok ? 1 : 0;
    } catch (...) {
      good[static_cast<size_t>(t)] = -1;
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(run, t);
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(good[static_cast<size_t>(t)], 1) << t;
  EXPECT_TRUE(tmp.Files().empty());
}

TEST_F(WorkSpaceOutOfCore, InfoNamesTheFile) {
  C_WorkSpace ws(C_WorkSpace::OUTOFCORE, 1);
  int st = 0;
  ws.AddNewBlock(4096, st);
  ws.MapBlock(0, st);
  const std::string expected =
      "\n==============================\nC_WorkSpace Information\n==============================\n\n"
      " . Core Mode                : OUTOFCORE\n"
      " . File Name                : " +
      Narrow(ws.getDataFileName()) +
      "\n"
      " . Total Size               : 1048576\n"
      " . Used Size                : 4096\n"
      " . Free Size                : 1044480\n"
      " . Number of Blocks         : 2\n"
      " . Number of MappedBlocks   : 1 (Size = 4096)\n"
      " . Number of Free Blocks    : 1 ( Size = 1044480)\n";
  EXPECT_EQ(InfoText(ws), expected);
}

TEST_F(WorkSpaceOutOfCore, FileDeletedBehindItsBack) {
  kvtest::MsgCapture capture;
  {
    C_WorkSpace ws(C_WorkSpace::OUTOFCORE, 1);
    const std::string path = Narrow(ws.getDataFileName());
    ASSERT_EQ(std::remove(path.c_str()), 0);
    const Thrown t = Catch([&] { ws.Release(); });
    EXPECT_EQ(t.code, 26);
    EXPECT_EQ(t.err, ENOENT);  // the reason comes from errno
    EXPECT_EQ(ws.getDataFileDescriptor(), -1);

    // Without its file no block can be mapped.
    int st = 0;
    const Thrown m = Catch([&] { ws.MapBlock(0, st); });
    EXPECT_EQ(m.code, 13);
    EXPECT_EQ(m.err, ENOENT);
    EXPECT_EQ(st, -1);
    capture.Clear();
  }
  // The destructor tried once more and reported the failure instead of throwing.
  EXPECT_GE(capture.Count(2), 1);
  EXPECT_TRUE(tmp.Files().empty());
}

TEST_F(WorkSpaceOutOfCore, GrowingAfterReleaseFails) {
  C_WorkSpace ws(C_WorkSpace::OUTOFCORE, 0);
  ASSERT_EQ(ws.Release(), 0);
  EXPECT_TRUE(tmp.Files().empty());
  int st = 0;
  const Thrown t = Catch([&] { ws.AddNewBlock(10, st); });
  EXPECT_EQ(t.code, 24);
  EXPECT_EQ(t.err, EBADF);  // the reason comes from errno
  EXPECT_TRUE(tmp.Files().empty());
}

TEST_F(WorkSpaceOutOfCore, AReleasedFileHasNothingFree) {
  // Release takes the data file and its size, while the blocks in use stay counted: the
  // report shows nothing free, never a negative amount.
  C_WorkSpace ws(C_WorkSpace::OUTOFCORE, 1);
  int st = 0;
  ASSERT_EQ(ws.AddNewBlock(1000, st), 0);
  ASSERT_EQ(ws.Release(), 0);
  EXPECT_EQ(InfoValue(ws, "Total Size"), 0);
  EXPECT_EQ(InfoValue(ws, "Used Size"), 1000);
  EXPECT_EQ(InfoValue(ws, "Free Size"), 0);
}
