// Tests of out-of-core units: the memory mode, creation of zeroed data files (temporary or
// named), resizes that keep the data, adoption of existing files, freeing with the file
// deleted or kept, the queries, and every error code with nothing left behind.
#include "erreur.h"
#include "failing_new.h"
#include "kvelo_mmap.h"
#include "kvelomem_ooc.h"
#include "kvelosys.h"
#include "ooc_files.h"
#include "runtime/m_err_internal.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using kvtest::FileSize;
using kvtest::Narrow;
using kvtest::Pattern;
using kvtest::ReadBytes;
using kvtest::Wide;
using kvtest::WriteBytes;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

const char kTag[] = "OocTest";

// Runs f with the error output captured; returns the code of the last error it reported
// (0 when it reported none).
template <class F>
int CodeOf(F f) {
  LM_ResetErrors();
  _LM_err_status = 0;
  CaptureStderr();
  f();
  GetCapturedStderr();
  const int code = LM_LastErrorCode();
  _LM_err_status = 0;
  return code;
}

bool AllZero(const void* p, size_t n) {
  const unsigned char* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i] != 0) return false;
  return true;
}

bool DescriptorOpen(int fd) { return fd >= 0 && fcntl(fd, F_GETFD) != -1; }

class OocTest : public ::testing::Test {
 protected:
  MMAP_HANDLE* Calloc(size_t count, size_t size, const wchar_t* name, int& st) {
    return kvelomem_calloc_ooc(count, size, name, kTag, __FILE__, __LINE__, &st);
  }
  MMAP_HANDLE* Realloc(MMAP_HANDLE* h, size_t size, const wchar_t* name, int& st) {
    return kvelomem_realloc_ooc(h, size, name, kTag, __FILE__, __LINE__, &st);
  }
  void Free(MMAP_HANDLE* h, int type, int& st) { kvelomem_free_ooc(h, type, kTag, __FILE__, __LINE__, &st); }
  std::string FileName(MMAP_HANDLE* h) {
    int st = 1;
    wchar_t* w = kvelomem_get_mapped_filename(h, kTag, __LINE__, &st);
    EXPECT_EQ(st, 0);
    std::string s = Narrow(w);
    if (w && *w) kvelomem_free(w, __FILE__, __LINE__);
    return s;
  }
  unsigned long long Size(MMAP_HANDLE* h) {
    int st = 1;
    const unsigned long long n = kvelomem_get_mapped_size(h, kTag, __LINE__, &st);
    EXPECT_EQ(st, 0);
    return n;
  }
  int Unit(MMAP_HANDLE* h) {
    int st = 1;
    const int fd = kvelomem_get_mapped_unit(h, kTag, __LINE__, &st);
    EXPECT_EQ(st, 0);
    return fd;
  }
  // A temporary unit of n bytes holding Pattern(n); null when it could not be made.
  MMAP_HANDLE* PatternUnit(size_t n, int& st) {
    MMAP_HANDLE* h = Calloc(1, n, nullptr, st);
    if (h != nullptr) std::memcpy(h->address, Pattern(n).data(), n);
    return h;
  }
  // A resize of h, a unit of n bytes holding Pattern(n), that must fail with code and change
  // nothing: still a unit, its view mapped at the same address with the same bytes, n long.
  void ExpectResizeRefused(MMAP_HANDLE* h, size_t size, int code, size_t n) {
    void* const address = h->address;
    int st = 1;
    MMAP_HANDLE* r = reinterpret_cast<MMAP_HANDLE*>(1);
    EXPECT_EQ(CodeOf([&] { r = Realloc(h, size, nullptr, st); }), code);
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(kvelomem_ismapped(h), 1);
    EXPECT_EQ(h->state, 'Y');
    EXPECT_EQ(h->address, address);
    EXPECT_EQ(std::memcmp(h->address, Pattern(n).data(), n), 0);
    EXPECT_EQ(Size(h), n);
  }
  // Frees a unit with its file (type 1): status 0 and nothing left in the folder.
  void FreeLeavingNothing(MMAP_HANDLE* h) {
    int st = 1;
    Free(h, 1, st);
    EXPECT_EQ(st, 0);
    EXPECT_TRUE(dir.Files().empty());
  }

  kvtest::PrivateTmpDir dir;
};

}  // namespace

// Must run first: the mode as the library starts.
TEST(OocMode, StartsInCoreAndTakesOnlyOneOrTwo) {
  EXPECT_EQ(kvelomem_getmode(), 1);
  kvelomem_setmode(2);
  EXPECT_EQ(kvelomem_getmode(), 2);
  for (int bad : {3, 0, -1, 100}) {
    kvelomem_setmode(bad);
    EXPECT_EQ(kvelomem_getmode(), 2) << bad;
  }
  kvelomem_setmode(1);
  EXPECT_EQ(kvelomem_getmode(), 1);
}

TEST_F(OocTest, UnnamedUnitIsAZeroedTemporaryFileDeletedByTypeOne) {
  int st = 1;
  MMAP_HANDLE* h = Calloc(1000, 8, nullptr, st);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(h->state, 'Y');
  const std::vector<std::string> files = dir.Files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].rfind("KVTMP", 0), 0u) << files[0];
  const std::string path = dir.File(files[0]);
  EXPECT_EQ(FileName(h), path);
  EXPECT_EQ(FileSize(path), 8000);
  EXPECT_TRUE(AllZero(h->address, 8000));
  EXPECT_EQ(Size(h), 8000u);
  EXPECT_EQ(kvelomem_ismapped(h), 1);
  EXPECT_GE(Unit(h), 0);
  FreeLeavingNothing(h);
}

TEST_F(OocTest, TypeTwoKeepsTheFileWithItsData) {
  int st = 1;
  MMAP_HANDLE* h = Calloc(4, 1000, nullptr, st);
  ASSERT_NE(h, nullptr);
  const std::vector<unsigned char> bytes = Pattern(4000);
  std::memcpy(h->address, bytes.data(), bytes.size());
  const std::string path = FileName(h);
  Free(h, 2, st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(ReadBytes(path), bytes);
}

TEST_F(OocTest, ANamedFileIsEmptiedAndSized) {
  const std::string path = dir.File("named.bin");
  ASSERT_TRUE(WriteBytes(path, Pattern(20000)));
  int st = 1;
  MMAP_HANDLE* h = kvelomem_malloc_ooc(1000, Wide(path).c_str(), kTag, __FILE__, __LINE__, &st);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(FileSize(path), 1000);
  EXPECT_TRUE(AllZero(h->address, 1000));
  EXPECT_EQ(FileName(h), path);
  Free(h, 1, st);
  EXPECT_EQ(FileSize(path), -1);
}

TEST_F(OocTest, TheNameOfALiveUnitIsRefused) {
  const std::wstring name = Wide(dir.File("taken.bin"));
  int st = 1;
  MMAP_HANDLE* h = Calloc(10, 100, name.c_str(), st);
  ASSERT_NE(h, nullptr);
  std::memset(h->address, 0x5A, 1000);
  MMAP_HANDLE* second = reinterpret_cast<MMAP_HANDLE*>(1);
  EXPECT_EQ(CodeOf([&] { second = Calloc(5, 5, name.c_str(), st); }), 24);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(st, -1);
  // The live unit and its file are untouched.
  EXPECT_EQ(FileSize(dir.File("taken.bin")), 1000);
  EXPECT_EQ(static_cast<unsigned char*>(h->address)[999], 0x5A);
  FreeLeavingNothing(h);
}

TEST_F(OocTest, SizeZeroCannotBeMappedAndLeavesNoFile) {
  int st = 0;
  MMAP_HANDLE* h = reinterpret_cast<MMAP_HANDLE*>(1);
  EXPECT_EQ(CodeOf([&] { h = Calloc(0, 8, nullptr, st); }), 22);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_TRUE(dir.Files().empty());
  const std::wstring name = Wide(dir.File("zero.bin"));
  EXPECT_EQ(CodeOf([&] { h = Calloc(8, 0, name.c_str(), st); }), 22);
  EXPECT_EQ(h, nullptr);
  EXPECT_TRUE(dir.Files().empty());
}

TEST_F(OocTest, SizesBeyondAFileAreRefusedAndLeaveNoFile) {
  struct Case {
    size_t count, size;
  } cases[] = {{SIZE_MAX, 2},
               {2, SIZE_MAX},
               {1, static_cast<size_t>(LLONG_MAX) + 1},
               {(size_t{1} << 32) + 1, size_t{1} << 31},
               {1, size_t{1} << 62}};  // fits an offset, not the file system: made, then removed
  for (const Case& c : cases) {
    int st = 0;
    MMAP_HANDLE* h = reinterpret_cast<MMAP_HANDLE*>(1);
    EXPECT_EQ(CodeOf([&] { h = Calloc(c.count, c.size, nullptr, st); }), 24) << c.count << " " << c.size;
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_TRUE(dir.Files().empty());
  }
}

TEST_F(OocTest, UnwritableNamesAreRefused) {
  int st = 0;
  const std::wstring inMissingDir = Wide(dir.File("no/such/dir/f.bin"));
  EXPECT_EQ(CodeOf([&] { Calloc(1, 10, inMissingDir.c_str(), st); }), 24);
  EXPECT_EQ(st, -1);
  const std::wstring isDir = Wide(dir.Path());
  EXPECT_EQ(CodeOf([&] { Calloc(1, 10, isDir.c_str(), st); }), 24);
  const wchar_t bad[] = {L'/', static_cast<wchar_t>(0xDC00), L'\0'};
  EXPECT_EQ(CodeOf([&] { Calloc(1, 10, bad, st); }), 24);
  EXPECT_TRUE(dir.Files().empty());
}

TEST_F(OocTest, GrowingKeepsTheDataAndZeroesTheRest) {
  int st = 1;
  MMAP_HANDLE* h = Calloc(1000, 8, nullptr, st);
  ASSERT_NE(h, nullptr);
  const std::vector<unsigned char> bytes = Pattern(8000);
  std::memcpy(h->address, bytes.data(), 8000);
  const int oldId = h->id;
  const std::string path = FileName(h);
  MMAP_HANDLE* g = Realloc(h, 16000, nullptr, st);  // h is freed from here on
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_NE(g->id, oldId);
  EXPECT_EQ(g->state, 'Y');
  EXPECT_EQ(std::memcmp(g->address, bytes.data(), 8000), 0);
  EXPECT_TRUE(AllZero(static_cast<char*>(g->address) + 8000, 8000));
  EXPECT_EQ(FileSize(path), 16000);
  EXPECT_EQ(Size(g), 16000u);
  EXPECT_EQ(kvelomem_ismapped(g), 1);
  EXPECT_EQ(FileName(g), path);
  FreeLeavingNothing(g);
}

TEST_F(OocTest, ShrinkingAndSameSizeKeepTheData) {
  int st = 1;
  MMAP_HANDLE* h = PatternUnit(16000, st);
  ASSERT_NE(h, nullptr);
  const std::vector<unsigned char> bytes = Pattern(16000);
  const std::string path = FileName(h);
  h = Realloc(h, 16000, nullptr, st);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(std::memcmp(h->address, bytes.data(), 16000), 0);
  h = Realloc(h, 100, nullptr, st);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(FileSize(path), 100);
  EXPECT_EQ(Size(h), 100u);
  EXPECT_EQ(std::memcmp(h->address, bytes.data(), 100), 0);
  // Growing again: the bytes cut off earlier are gone, the new part reads 0.
  h = Realloc(h, 5000, nullptr, st);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(std::memcmp(h->address, bytes.data(), 100), 0);
  EXPECT_TRUE(AllZero(static_cast<char*>(h->address) + 100, 4900));
  FreeLeavingNothing(h);
}

TEST_F(OocTest, AStoredUnitIsReloadedBySameSizeResize) {
  // What a packed structured vector does: release the view, later map it again.
  int st = 1;
  MMAP_HANDLE* h = Calloc(3, 1000, nullptr, st);
  ASSERT_NE(h, nullptr);
  const std::vector<unsigned char> bytes = Pattern(3000);
  std::memcpy(h->address, bytes.data(), 3000);
  EXPECT_EQ(kvelo_munmap(h, kTag, __FILE__, __LINE__, &st), 0);
  EXPECT_EQ(h->state, 'N');
  EXPECT_EQ(kvelomem_ismapped(h), 1);
  EXPECT_EQ(Size(h), 3000u);
  MMAP_HANDLE* again = Realloc(h, 3000, nullptr, st);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->state, 'Y');
  EXPECT_EQ(std::memcmp(again->address, bytes.data(), 3000), 0);
  FreeLeavingNothing(again);
}

TEST_F(OocTest, ResizeErrors) {
  int st = 0;
  // A handle of a plain mapping has no unit: 27.
  const std::string other = dir.File("other.bin");
  ASSERT_TRUE(WriteBytes(other, Pattern(100)));
  MMAP_HANDLE* plain = kvelo_mmap(nullptr, -1, Wide(other).c_str(), 2, 0, 100, kTag, __FILE__, __LINE__, &st);
  ASSERT_NE(plain, nullptr);
  MMAP_HANDLE* r = reinterpret_cast<MMAP_HANDLE*>(1);
  EXPECT_EQ(CodeOf([&] { r = Realloc(plain, 200, nullptr, st); }), 27);
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(plain->state, 'Y');  // untouched
  EXPECT_EQ(kvelo_munmap(plain, kTag, __FILE__, __LINE__, &st), 0);
  kvelomem_free(plain, __FILE__, __LINE__);
  // Neither handle nor name: 3.
  EXPECT_EQ(CodeOf([&] { r = Realloc(nullptr, 10, nullptr, st); }), 3);
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(st, -1);
}

TEST_F(OocTest, AUnitWhoseFileVanishedStaysMappedUntilFreedWithTypeTwo) {
  int st = 1;
  MMAP_HANDLE* h = PatternUnit(500, st);
  ASSERT_NE(h, nullptr);
  const std::string path = FileName(h);
  ASSERT_EQ(unlink(path.c_str()), 0);
  // The failed resize changes nothing: the view is where it was, with its bytes.
  ExpectResizeRefused(h, 1000, 24, 500);
  // A file that cannot be deleted fails the free before the unit is touched.
  EXPECT_EQ(CodeOf([&] { Free(h, 1, st); }), 25);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(kvelomem_ismapped(h), 1);
  EXPECT_EQ(h->state, 'Y');
  EXPECT_EQ(std::memcmp(h->address, Pattern(500).data(), 500), 0);
  EXPECT_EQ(CodeOf([&] { Free(h, 2, st); }), 0);
  EXPECT_EQ(st, 0);
}

TEST_F(OocTest, AResizeToNothingFailsAndChangesNothing) {
  // An empty file cannot be mapped: 22, and the unit keeps its view, size and file.
  int st = 1;
  MMAP_HANDLE* h = PatternUnit(4096, st);
  ASSERT_NE(h, nullptr);
  const std::string path = FileName(h);
  ExpectResizeRefused(h, 0, 22, 4096);
  EXPECT_EQ(FileSize(path), 4096);
  EXPECT_EQ(CodeOf([&] { Free(h, 1, st); }), 0);
  EXPECT_EQ(st, 0);
  EXPECT_TRUE(dir.Files().empty());
}

TEST_F(OocTest, AFailedGrowthLeavesTheUnitAsItWas) {
  int st = 1;
  MMAP_HANDLE* h = PatternUnit(100, st);
  ASSERT_NE(h, nullptr);
  const std::string path = FileName(h);
  const size_t huge = size_t{1} << 62;  // beyond what the file system can hold
  ExpectResizeRefused(h, huge, 24, 100);
  EXPECT_EQ(FileSize(path), 100);
  EXPECT_FALSE(DescriptorOpen(Unit(h)));  // no descriptor is left behind
  EXPECT_EQ(kvelomem_close_mapped_unit(h, kTag, __FILE__, __LINE__, &st), 0);  // nothing open
  EXPECT_EQ(st, 0);
  // The unit works on.
  MMAP_HANDLE* g = Realloc(h, 200, nullptr, st);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(Size(g), 200u);
  EXPECT_EQ(std::memcmp(g->address, Pattern(100).data(), 100), 0);
  FreeLeavingNothing(g);
}

// A file that cannot grow for real: a file size limit the growth cannot fit in (see
// WithFileSizeLimit), in a child process, which reports by its exit status. The growth fails
// with 24 and the caller's view must stay mapped at its address with its bytes; before that
// fix the view was already gone and touching it killed the child.
TEST_F(OocTest, AGrowthRefusedByTheFileSystemKeepsTheViewMapped) {
  int st = 1;
  MMAP_HANDLE* h = PatternUnit(8192, st);
  ASSERT_NE(h, nullptr);
  const std::vector<unsigned char> bytes = Pattern(8192);
  const std::string path = FileName(h);
  const int result = kvtest::WithFileSizeLimit(8192, [&]() -> int {
    unsigned char* const view = static_cast<unsigned char*>(h->address);
    const int fd = dup(2);  // the report goes nowhere: the parent keeps its stderr clean
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 2);
    int cst = 0;
    MMAP_HANDLE* r = kvelomem_realloc_ooc(h, 16384, nullptr, kTag, __FILE__, __LINE__, &cst);
    if (fd >= 0) dup2(fd, 2);
    if (r != nullptr || cst != -1) return 11;
    if (LM_LastErrorCode() != 24) return 12;
    if (h->state != 'Y' || h->address != view) return 13;
    if (std::memcmp(view, bytes.data(), 8192) != 0) return 14;  // faults when unmapped
    view[8191] = 0x77;                                          // still writable
    if (kvelomem_get_mapped_size(h, kTag, __LINE__, &cst) != 8192) return 15;
    if (FileSize(path) != 8192) return 16;
    return 0;
  });
  ASSERT_NE(result, -1) << "the child did not run or died of a signal";
  EXPECT_EQ(result, 0);
  // The child's write went to the shared file.
  EXPECT_EQ(static_cast<unsigned char*>(h->address)[8191], 0x77);
  FreeLeavingNothing(h);
}

TEST_F(OocTest, NoMemoryAtAnyStepLeavesNothingBehind) {
  // A unit made, then grown, with each allocation the call makes failing in turn: a failure is
  // a null result with status -1 (no exception leaves these C functions), no file is left, and
  // the unit that was to grow is as it was; the call then succeeds.
  bool escaped = false;
  MMAP_HANDLE* h = nullptr;
  int st = 0;
  CaptureStderr();
  const int made = kvtest::ForEachAllocation(
      [&] {
        h = nullptr;
        st = 1;
        try {
          h = Calloc(1, 5000, nullptr, st);
        } catch (...) {
          escaped = true;
        }
      },
      [&] {
        if (h != nullptr) {  // the failure fell where it could be done without
          kvelomem_free_ooc(h, 1, kTag, __FILE__, __LINE__, &st);
        } else {
          EXPECT_EQ(st, -1);
        }
        EXPECT_TRUE(dir.Files().empty());
      });
  GetCapturedStderr();
  EXPECT_FALSE(escaped);
  EXPECT_GE(made, 1);
  ASSERT_NE(h, nullptr);
  std::memcpy(h->address, Pattern(5000).data(), 5000);
  void* const address = h->address;
  MMAP_HANDLE* grown = nullptr;
  CaptureStderr();
  kvtest::ForEachAllocation(
      [&] {
        try {
          grown = Realloc(h, 9000, nullptr, st);
        } catch (...) {
          escaped = true;
        }
      },
      [&] {
        EXPECT_EQ(grown, nullptr);
        EXPECT_EQ(h->address, address);
        EXPECT_EQ(std::memcmp(h->address, Pattern(5000).data(), 5000), 0);
        EXPECT_EQ(Size(h), 5000u);
      });
  GetCapturedStderr();
  EXPECT_FALSE(escaped);
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(std::memcmp(grown->address, Pattern(5000).data(), 5000), 0);
  FreeLeavingNothing(grown);
}

TEST_F(OocTest, AdoptingAFileKeepsItsContents) {
  const std::string path = dir.File("adopted.bin");
  const std::vector<unsigned char> bytes = Pattern(5000);
  ASSERT_TRUE(WriteBytes(path, bytes));
  int st = 1;
  MMAP_HANDLE* h = Realloc(nullptr, 4096, Wide(path).c_str(), st);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(std::memcmp(h->address, bytes.data(), 4096), 0);
  EXPECT_EQ(Size(h), 4096u);
  EXPECT_EQ(FileName(h), path);
  EXPECT_EQ(kvelomem_ismapped(h), 1);
  EXPECT_EQ(FileSize(path), 5000);
  static_cast<unsigned char*>(h->address)[0] = 0xEE;
  // Growing an adopted unit extends its file; the unit's bytes stay, and every grown byte
  // reads 0, also those the file held past the unit (4096 to 5000).
  h = Realloc(h, 6000, nullptr, st);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(FileSize(path), 6000);
  EXPECT_EQ(static_cast<unsigned char*>(h->address)[0], 0xEE);
  EXPECT_EQ(std::memcmp(static_cast<unsigned char*>(h->address) + 1, bytes.data() + 1, 4095), 0);
  EXPECT_TRUE(AllZero(static_cast<char*>(h->address) + 4096, 6000 - 4096));
  Free(h, 2, st);
  EXPECT_EQ(st, 0);
  std::vector<unsigned char> expect(bytes.begin(), bytes.begin() + 4096);
  expect[0] = 0xEE;
  expect.resize(6000, 0);
  EXPECT_EQ(ReadBytes(path), expect);
}

// A unit adopted from a file longer than itself, grown within the file and past it, and grown
// after a shrink: the header promises zeros for grown bytes, whatever the file held there.
TEST_F(OocTest, GrownBytesOfAnAdoptedUnitReadZeroWhateverTheFileHeld) {
  const std::string path = dir.File("longer.bin");
  const std::vector<unsigned char> bytes = Pattern(9000);
  ASSERT_TRUE(WriteBytes(path, bytes));
  int st = 1;
  MMAP_HANDLE* h = Realloc(nullptr, 100, Wide(path).c_str(), st);
  ASSERT_NE(h, nullptr);
  h = Realloc(h, 101, nullptr, st);  // within the file: byte 100 was 0xBF in the file
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(std::memcmp(h->address, bytes.data(), 100), 0);
  EXPECT_EQ(static_cast<unsigned char*>(h->address)[100], 0);
  h = Realloc(h, 12000, nullptr, st);  // past the file's end
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(std::memcmp(h->address, bytes.data(), 100), 0);
  EXPECT_TRUE(AllZero(static_cast<char*>(h->address) + 100, 12000 - 100));
  std::vector<unsigned char> expect(bytes.begin(), bytes.begin() + 100);
  expect.resize(12000, 0);
  EXPECT_EQ(ReadBytes(path), expect);
  FreeLeavingNothing(h);
}

// Adopting no bytes of a file that has some: a unit of size 0 has no view, as a unit made or
// resized to 0 has none: 22, and the file stays.
TEST_F(OocTest, AdoptingNoBytesOfAFileIsRefused) {
  const std::string path = dir.File("some.bin");
  ASSERT_TRUE(WriteBytes(path, Pattern(100)));
  int st = 0;
  MMAP_HANDLE* r = reinterpret_cast<MMAP_HANDLE*>(1);
  EXPECT_EQ(CodeOf([&] { r = Realloc(nullptr, 0, Wide(path).c_str(), st); }), 22);
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(ReadBytes(path), Pattern(100));
}

// The file of a live unit under another spelling of its path, or through a hard link, is the
// same file: neither a new unit nor an adoption may take it (24), and the live unit, its view
// and its file stay as they were. Before, the new unit emptied the live one's file; an
// adopted second unit, once shrunk, cut the file under the first view (SIGBUS on reading it).
TEST_F(OocTest, TheFileOfALiveUnitIsRefusedUnderEveryName) {
  const std::string path = dir.File("live.bin");
  int st = 1;
  MMAP_HANDLE* h = Calloc(1, 8192, Wide(path).c_str(), st);
  ASSERT_NE(h, nullptr);
  std::memcpy(h->address, Pattern(8192).data(), 8192);
  ASSERT_EQ(link(path.c_str(), dir.File("hard.bin").c_str()), 0);
  const std::vector<std::string> names = {path, dir.Path() + "/./live.bin", dir.Path() + "//live.bin",
                                          dir.File("hard.bin")};
  for (const std::string& name : names) {
    MMAP_HANDLE* r = reinterpret_cast<MMAP_HANDLE*>(1);
    EXPECT_EQ(CodeOf([&] { r = Calloc(1, 10, Wide(name).c_str(), st); }), 24) << name;
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(CodeOf([&] { r = Realloc(nullptr, 10, Wide(name).c_str(), st); }), 24) << name;
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(CodeOf([&] { r = Calloc(0, 10, Wide(name).c_str(), st); }), 22) << name;
    EXPECT_EQ(FileSize(path), 8192);
    EXPECT_EQ(std::memcmp(h->address, Pattern(8192).data(), 8192), 0);
  }
  EXPECT_EQ(ReadBytes(dir.File("hard.bin")), Pattern(8192));
  unlink(dir.File("hard.bin").c_str());
  FreeLeavingNothing(h);
}

// A call that is refused leaves the caller's own file as it was: for no bytes, for a size no
// file takes, for a file that cannot grow (as on a full disk), and for memory that runs out at
// any step. Before, the first and the last removed the caller's file.
TEST_F(OocTest, ARefusedUnitLeavesTheCallersFileAsItWas) {
  const std::string path = dir.File("mine.bin");
  ASSERT_TRUE(WriteBytes(path, Pattern(3000)));
  const std::wstring name = Wide(path);
  int st = 0;
  MMAP_HANDLE* r = reinterpret_cast<MMAP_HANDLE*>(1);
  EXPECT_EQ(CodeOf([&] { r = Calloc(0, 8, name.c_str(), st); }), 22);
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(ReadBytes(path), Pattern(3000));
  EXPECT_EQ(CodeOf([&] { r = Calloc(1, size_t{1} << 62, name.c_str(), st); }), 24);
  EXPECT_EQ(ReadBytes(path), Pattern(3000));
  const int limited = kvtest::WithFileSizeLimit(4000, [&]() -> int {
    const int fd = dup(2);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 2);
    int cst = 0;
    MMAP_HANDLE* c = kvelomem_calloc_ooc(1, 8000, name.c_str(), kTag, __FILE__, __LINE__, &cst);
    if (fd >= 0) dup2(fd, 2);
    return c == nullptr && cst == -1 ? 0 : 1;
  });
  EXPECT_EQ(limited, 0);
  EXPECT_EQ(ReadBytes(path), Pattern(3000));
  // Each allocation of the call fails in turn (operator new, then the library heap).
  CaptureStderr();
  const int runs = kvtest::ForEachAllocation([&] { r = Calloc(1, 100, name.c_str(), st); },
                                             [&] {
                                               if (r) {
                                                 Free(r, 2, st);
                                                 ASSERT_TRUE(WriteBytes(path, Pattern(3000)));
                                               } else {
                                                 EXPECT_EQ(ReadBytes(path), Pattern(3000));
                                               }
                                             });
  GetCapturedStderr();
  EXPECT_GE(runs, 1);
  if (r) Free(r, 2, st);
  ASSERT_TRUE(WriteBytes(path, Pattern(3000)));
  for (long k = 0; k < 4; ++k) {
    kvrt::SetHeapBlocksLeft(k);
    CodeOf([&] { r = Calloc(1, 100, name.c_str(), st); });
    const bool ranOut = kvrt::HeapBlocksRanOut();
    kvrt::SetHeapBlocksLeft(-1);
    if (!ranOut) {
      ASSERT_NE(r, nullptr);
      Free(r, 2, st);
      break;
    }
    EXPECT_EQ(r, nullptr) << k;
    EXPECT_EQ(ReadBytes(path), Pattern(3000)) << k;
  }
  EXPECT_TRUE(kvtest::FileExists(path));
}

TEST_F(OocTest, AdoptionNeedsAnExistingFileLargeEnough) {
  const std::string path = dir.File("small.bin");
  ASSERT_TRUE(WriteBytes(path, Pattern(100)));
  int st = 0;
  MMAP_HANDLE* r = reinterpret_cast<MMAP_HANDLE*>(1);
  EXPECT_EQ(CodeOf([&] { r = Realloc(nullptr, 101, Wide(path).c_str(), st); }), 24);
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(ReadBytes(path), Pattern(100));
  const std::string missing = dir.File("missing.bin");
  EXPECT_EQ(CodeOf([&] { r = Realloc(nullptr, 10, Wide(missing).c_str(), st); }), 24);
  EXPECT_EQ(FileSize(missing), -1);
  // An empty adopted size maps nothing: 22, the file stays.
  ASSERT_TRUE(WriteBytes(dir.File("empty.bin"), {}));
  EXPECT_EQ(CodeOf([&] { r = Realloc(nullptr, 0, Wide(dir.File("empty.bin")).c_str(), st); }), 22);
  EXPECT_EQ(FileSize(dir.File("empty.bin")), 0);
}

TEST_F(OocTest, AnUnknownFreeTypeLeavesTheUnitMapped) {
  int st = 1;
  MMAP_HANDLE* h = Calloc(1, 100, nullptr, st);
  ASSERT_NE(h, nullptr);
  std::memset(h->address, 0x3D, 100);
  const std::string path = FileName(h);
  EXPECT_EQ(CodeOf([&] { Free(h, 5, st); }), 26);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(h->state, 'Y');
  EXPECT_EQ(static_cast<unsigned char*>(h->address)[99], 0x3D);
  EXPECT_EQ(kvelomem_ismapped(h), 1);
  EXPECT_EQ(FileSize(path), 100);
  FreeLeavingNothing(h);
}

TEST_F(OocTest, HandlesWithoutUnitAreLeftAloneByFreeAndQueries) {
  const std::string path = dir.File("plain.bin");
  ASSERT_TRUE(WriteBytes(path, Pattern(64)));
  int st = 1;
  MMAP_HANDLE* plain = kvelo_mmap(nullptr, -1, Wide(path).c_str(), 2, 0, 64, kTag, __FILE__, __LINE__, &st);
  ASSERT_NE(plain, nullptr);
  st = 1;
  Free(plain, 1, st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(plain->state, 'Y');
  EXPECT_EQ(FileSize(path), 64);
  EXPECT_EQ(kvelomem_ismapped(plain), 0);
  wchar_t* name = kvelomem_get_mapped_filename(plain, kTag, __LINE__, &st);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name[0], L'\0');  // shared, not to be freed
  EXPECT_EQ(Unit(plain), -1);
  EXPECT_EQ(Size(plain), 0u);
  EXPECT_EQ(kvelomem_close_mapped_unit(plain, kTag, __FILE__, __LINE__, &st), 0);
  EXPECT_EQ(kvelo_munmap(plain, kTag, __FILE__, __LINE__, &st), 0);
  kvelomem_free(plain, __FILE__, __LINE__);
  // Null handles.
  st = 1;
  EXPECT_EQ(kvelomem_get_mapped_filename(nullptr, kTag, __LINE__, &st), nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(Unit(nullptr), -1);
  EXPECT_EQ(Size(nullptr), 0u);
  EXPECT_EQ(kvelomem_ismapped(nullptr), 0);
  st = 1;
  Free(nullptr, 1, st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(kvelomem_close_mapped_unit(nullptr, kTag, __FILE__, __LINE__, &st), 0);
}

TEST_F(OocTest, ManyUnitsAreFoundByTheirOwnHandles) {
  std::vector<MMAP_HANDLE*> hs;
  std::vector<std::string> names;
  int st = 1;
  for (int i = 0; i < 20; ++i) {
    MMAP_HANDLE* h = Calloc(static_cast<size_t>(i + 1), 100, nullptr, st);
    ASSERT_NE(h, nullptr);
    std::memset(h->address, i + 1, static_cast<size_t>(i + 1) * 100);
    hs.push_back(h);
    names.push_back(FileName(h));
  }
  EXPECT_EQ(dir.Files().size(), 20u);
  // Resize every third unit, then free in a scrambled order, every unit by its own handle.
  for (int i = 0; i < 20; i += 3) {
    hs[i] = Realloc(hs[i], static_cast<size_t>(i + 1) * 200, nullptr, st);
    ASSERT_NE(hs[i], nullptr);
  }
  for (int k = 0; k < 20; ++k) {
    const int i = (k * 7) % 20;
    const size_t n = static_cast<size_t>(i + 1) * (i % 3 == 0 ? 200 : 100);
    EXPECT_EQ(Size(hs[i]), n);
    EXPECT_EQ(FileName(hs[i]), names[i]);
    EXPECT_EQ(static_cast<unsigned char*>(hs[i]->address)[0], i + 1);
    Free(hs[i], 1, st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(FileSize(names[i]), -1);
  }
  EXPECT_TRUE(dir.Files().empty());
}

TEST_F(OocTest, ACopyOfAHandleReachesItsUnitWithoutBeingFreed) {
  // Units are known by address and identifier; the library frees only its own records.
  int st = 1;
  MMAP_HANDLE* h = Calloc(1, 100, nullptr, st);
  ASSERT_NE(h, nullptr);
  std::memset(h->address, 0x11, 100);
  MMAP_HANDLE copy = *h;
  EXPECT_EQ(kvelomem_ismapped(&copy), 1);
  EXPECT_EQ(Size(&copy), 100u);
  MMAP_HANDLE* g = Realloc(&copy, 200, nullptr, st);  // h is freed, the copy is not
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(static_cast<unsigned char*>(g->address)[99], 0x11);
  MMAP_HANDLE copy2 = *g;
  FreeLeavingNothing(&copy2);  // g is freed
}

TEST_F(OocTest, FilesOfFourGigabytesAndMoreAreMeasuredInSixtyFourBits) {
  // A sparse file of 2^32 + 100 bytes (no disk used): its size cut to 32 bits would read
  // 100, and a resize to 100 bytes would then leave the file as it was.
  const std::string path = dir.File("big.bin");
  ASSERT_TRUE(WriteBytes(path, Pattern(100)));
  ASSERT_EQ(truncate(path.c_str(), (1LL << 32) + 100), 0);
  int st = 1;
  MMAP_HANDLE* h = Realloc(nullptr, 100, Wide(path).c_str(), st);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(std::memcmp(h->address, Pattern(100).data(), 100), 0);
  h = Realloc(h, 100, nullptr, st);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(FileSize(path), 100);
  EXPECT_EQ(std::memcmp(h->address, Pattern(100).data(), 100), 0);
  FreeLeavingNothing(h);
}
