// Tests of mapped file regions: views at unaligned offsets, read-write and read-only access,
// regions the file does not cover, the registered handles with their identifiers, and
// releasing views once and only once.
#include "erreur.h"
#include "kvelo_mmap.h"
#include "kvelosys.h"
#include "ooc_files.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

using kvtest::FileSize;
using kvtest::Pattern;
using kvtest::Protection;
using kvtest::ReadBytes;
using kvtest::Wide;
using kvtest::WriteBytes;

namespace {

class MmapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    G = static_cast<unsigned long long>(sysconf(_SC_PAGESIZE));
    path = dir.File("data.bin");
    name = Wide(path);
    data = Pattern(static_cast<size_t>(3 * G + 100));
    ASSERT_TRUE(WriteBytes(path, data));
  }

  MMAP_VIEW* View(int access, unsigned long long offset, unsigned long long length, int& st,
                  MMAP_VIEW* into = nullptr) {
    return kvelo_mmap_(into, -1, name.c_str(), access, offset, length, "MmapTest", __FILE__, __LINE__, &st);
  }
  MMAP_HANDLE* Map(MMAP_HANDLE* h, int access, unsigned long long offset, unsigned long long length, int& st) {
    return kvelo_mmap(h, -1, name.c_str(), access, offset, length, "MmapTest", __FILE__, __LINE__, &st);
  }
  int Unmap(MMAP_HANDLE* h, int& st) { return kvelo_munmap(h, "MmapTest", __FILE__, __LINE__, &st); }

  kvtest::PrivateTmpDir dir;
  unsigned long long G = 0;
  std::string path;
  std::wstring name;
  std::vector<unsigned char> data;
};

}  // namespace

TEST_F(MmapTest, AnUnalignedOffsetMapsFromTheBoundaryBelow) {
  int st = 1;
  MMAP_VIEW* v = View(2, G + 10, 100, st);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(v->base) % G, 0u);
  EXPECT_EQ(static_cast<char*>(v->address) - static_cast<char*>(v->base), 10);
  EXPECT_EQ(v->length, 110u);
  EXPECT_EQ(v->file, -1);
  EXPECT_EQ(v->mapping, -1);
  EXPECT_EQ(std::memcmp(v->base, &data[G], 110), 0);
  EXPECT_EQ(std::memcmp(v->address, &data[G + 10], 100), 0);
  EXPECT_EQ(kvelo_munmap_(v, "MmapTest", __FILE__, __LINE__), 0);
  EXPECT_EQ(v->base, nullptr);
  // A second release of the same record has nothing left to unmap.
  EXPECT_EQ(kvelo_munmap_(v, "MmapTest", __FILE__, __LINE__), 0);
  kvelomem_free(v, __FILE__, __LINE__);
  EXPECT_EQ(kvelo_munmap_(nullptr, "MmapTest", __FILE__, __LINE__), 0);
}

TEST_F(MmapTest, ACallersViewRecordIsFilledAndNotFreed) {
  MMAP_VIEW mine;
  std::memset(&mine, 0, sizeof mine);
  int st = 1;
  EXPECT_EQ(View(2, 5, 20, st, &mine), &mine);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(static_cast<char*>(mine.address) - static_cast<char*>(mine.base), 5);
  EXPECT_EQ(std::memcmp(mine.address, &data[5], 20), 0);
  EXPECT_EQ(kvelo_munmap_(&mine, "MmapTest", __FILE__, __LINE__), 0);
}

TEST_F(MmapTest, ZeroLengthMapsUpToTheEndOfTheFile) {
  int st = 1;
  MMAP_VIEW* v = View(0, G, 0, st);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->length, data.size() - G);
  EXPECT_EQ(v->address, v->base);
  EXPECT_EQ(std::memcmp(v->base, &data[G], data.size() - G), 0);
  kvelo_munmap_(v, "MmapTest", __FILE__, __LINE__);
  kvelomem_free(v, __FILE__, __LINE__);
}

// Length 0 at an offset off the boundary still means "up to the end of the file": before, the
// view held only the bytes between the boundary and the offset, and the rest was not mapped.
TEST_F(MmapTest, ZeroLengthAtAnUnalignedOffsetMapsTheRestOfTheFile) {
  for (unsigned long long offset : {1ull, G + 10, static_cast<unsigned long long>(data.size() - 1)}) {
    int st = 1;
    MMAP_VIEW* v = View(0, offset, 0, st);
    ASSERT_NE(v, nullptr) << offset;
    EXPECT_EQ(st, 0);
    EXPECT_EQ(v->length, data.size() - (offset - offset % G));
    EXPECT_EQ(std::memcmp(v->address, &data[offset], data.size() - offset), 0);
    kvelo_munmap_(v, "MmapTest", __FILE__, __LINE__);
    kvelomem_free(v, __FILE__, __LINE__);
    MMAP_HANDLE* h = Map(nullptr, 2, offset, 0, st);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(std::memcmp(h->address, &data[offset], data.size() - offset), 0);
    EXPECT_EQ(Unmap(h, st), 0);
    kvelomem_free(h, __FILE__, __LINE__);
  }
  // Nothing left after the offset: nothing to map, also off the boundary.
  for (unsigned long long offset : {static_cast<unsigned long long>(data.size()), static_cast<unsigned long long>(data.size() + 7)}) {
    int st = 0;
    EXPECT_EQ(View(0, offset, 0, st), nullptr) << offset;
    EXPECT_EQ(st, -1);
  }
}

TEST_F(MmapTest, RegionsTheFileDoesNotCoverAreRefused) {
  struct Case {
    unsigned long long offset, length;
  } cases[] = {{0, data.size() + 1}, {2 * G, G + 101}, {data.size(), 1}, {10 * G, 10}, {4 * G, 0}};
  for (const Case& c : cases) {
    for (int access : {0, 2}) {
      int st = 0;
      EXPECT_EQ(View(access, c.offset, c.length, st), nullptr) << c.offset << " " << c.length;
      EXPECT_EQ(st, -1);
      MMAP_HANDLE* h = Map(nullptr, access, c.offset, c.length, st);
      EXPECT_EQ(h, nullptr);
      EXPECT_EQ(st, -1);
    }
  }
  // The exact end is fine.
  int st = 1;
  MMAP_VIEW* v = View(0, 2 * G, G + 100, st);
  ASSERT_NE(v, nullptr);
  kvelo_munmap_(v, "MmapTest", __FILE__, __LINE__);
  kvelomem_free(v, __FILE__, __LINE__);
}

TEST_F(MmapTest, MissingEmptyOrUnnamedFilesAreRefusedAndNothingIsCreated) {
  const std::string missing = dir.File("missing.bin");
  const std::wstring wmissing = Wide(missing);
  int st = 0;
  EXPECT_EQ(kvelo_mmap(nullptr, -1, wmissing.c_str(), 2, 0, 10, "t", __FILE__, __LINE__, &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(FileSize(missing), -1);
  ASSERT_TRUE(WriteBytes(dir.File("empty.bin"), {}));
  const std::wstring wempty = Wide(dir.File("empty.bin"));
  for (int access : {0, 2}) {
    st = 0;
    EXPECT_EQ(kvelo_mmap_(nullptr, -1, wempty.c_str(), access, 0, 0, "t", __FILE__, __LINE__, &st), nullptr);
    EXPECT_EQ(st, -1);
  }
  st = 0;
  EXPECT_EQ(kvelo_mmap(nullptr, -1, nullptr, 2, 0, 10, "t", __FILE__, __LINE__, &st), nullptr);
  EXPECT_EQ(st, -1);
  const wchar_t bad[] = {L'/', static_cast<wchar_t>(0xD800), L'\0'};  // not a scalar value
  EXPECT_EQ(kvelo_mmap(nullptr, -1, bad, 2, 0, 10, "t", __FILE__, __LINE__, &st), nullptr);
  EXPECT_EQ(st, -1);
}

TEST_F(MmapTest, ReadWriteViewsReachTheFileAndReadOnlyViewsCannotWrite) {
  int st = 1;
  MMAP_HANDLE* h = Map(nullptr, 2, G + 10, 100, st);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(h->state, 'Y');
  EXPECT_EQ(h->reserved, 0);
  EXPECT_EQ(std::memcmp(h->address, &data[G + 10], 100), 0);
  EXPECT_EQ(Protection(h->address), "rw-s");
  std::memset(h->address, 0xAB, 100);
  EXPECT_EQ(Unmap(h, st), 0);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(h->state, 'N');
  const std::vector<unsigned char> after = ReadBytes(path);
  ASSERT_EQ(after.size(), data.size());
  for (size_t i = 0; i < after.size(); ++i) {
    const unsigned char expect = (i >= G + 10 && i < G + 110) ? 0xAB : data[i];
    ASSERT_EQ(after[i], expect) << i;
  }
  kvelomem_free(h, __FILE__, __LINE__);

  // Read-only at an offset past the first granularity step; any access but 2 reads only.
  for (int access : {0, 7}) {
    h = Map(nullptr, access, 2 * G + 1, 50, st);
    ASSERT_NE(h, nullptr) << access;
    EXPECT_EQ(std::memcmp(h->address, &data[2 * G + 1], 50), 0);
    EXPECT_EQ(Protection(h->address), "r--s") << access;
    EXPECT_EQ(Unmap(h, st), 0);
    kvelomem_free(h, __FILE__, __LINE__);
  }
}

TEST_F(MmapTest, IdentifiersRunOnAndAReusedHandleGetsTheNewMapping) {
  int st = 1;
  MMAP_HANDLE* a = Map(nullptr, 2, 0, 10, st);
  MMAP_HANDLE* b = Map(nullptr, 0, G, 10, st);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_GE(a->id, 1);
  EXPECT_EQ(b->id, a->id + 1);
  // Both regions are registered and released independently.
  EXPECT_EQ(Unmap(a, st), 0);
  EXPECT_EQ(a->state, 'N');
  EXPECT_EQ(b->state, 'Y');
  EXPECT_EQ(std::memcmp(b->address, &data[G], 10), 0);
  // a receives a new mapping under a new identifier.
  EXPECT_EQ(Map(a, 2, 2 * G, 10, st), a);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(a->id, b->id + 1);
  EXPECT_EQ(a->state, 'Y');
  EXPECT_EQ(std::memcmp(a->address, &data[2 * G], 10), 0);
  EXPECT_EQ(Unmap(a, st), 0);
  EXPECT_EQ(Unmap(b, st), 0);
  kvelomem_free(a, __FILE__, __LINE__);
  kvelomem_free(b, __FILE__, __LINE__);
}

TEST_F(MmapTest, UnmappingTwiceOrWithoutEntryDoesNothing) {
  int st = 1;
  MMAP_HANDLE* h = Map(nullptr, 2, 0, 10, st);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(Unmap(h, st), 0);
  st = 1;
  EXPECT_EQ(Unmap(h, st), 0);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(h->state, 'N');
  kvelomem_free(h, __FILE__, __LINE__);
  // A handle marked mapped that the table does not know is left as it is.
  char somewhere[16];
  MMAP_HANDLE fake = {somewhere, 0, 'Y', 0};
  st = 1;
  EXPECT_EQ(Unmap(&fake, st), 0);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(fake.state, 'Y');
}

TEST_F(MmapTest, NullHandlesAndAddressesAreRefused) {
  int st = 0;
  EXPECT_EQ(Unmap(nullptr, st), -1);
  EXPECT_EQ(st, -1);
  MMAP_HANDLE none = {nullptr, 1, 'Y', 0};
  st = 0;
  EXPECT_EQ(Unmap(&none, st), -1);
  EXPECT_EQ(st, -1);
}

TEST_F(MmapTest, TheTableCanBeDroppedAndIsMadeAgainOnTheNextMapping) {
  free_variables_kvelo_mmap();
  free_variables_kvelo_mmap();  // nothing left to drop
  int st = 1;
  MMAP_HANDLE* h = Map(nullptr, 2, 0, 10, st);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(Unmap(h, st), 0);
  EXPECT_EQ(h->state, 'N');
  kvelomem_free(h, __FILE__, __LINE__);
  free_variables_kvelo_mmap();
}

TEST_F(MmapTest, ManyRegistrationsOfOneFileStayDistinct) {
  std::vector<MMAP_HANDLE*> hs;
  int st = 1;
  for (int i = 0; i < 600; ++i) {  // more than the table's 509 buckets
    MMAP_HANDLE* h = Map(nullptr, 0, static_cast<unsigned long long>(i % 3) * G + static_cast<unsigned long long>(i), 8, st);
    ASSERT_NE(h, nullptr) << i;
    hs.push_back(h);
  }
  for (size_t i = 0; i < hs.size(); ++i) {
    const size_t off = (i % 3) * G + i;
    ASSERT_EQ(std::memcmp(hs[i]->address, &data[off], 8), 0) << i;
  }
  for (MMAP_HANDLE* h : hs) {
    EXPECT_EQ(Unmap(h, st), 0);
    EXPECT_EQ(h->state, 'N');
    kvelomem_free(h, __FILE__, __LINE__);
  }
}
