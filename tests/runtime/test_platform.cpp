// Tests of the internal platform layer: text conversions, file helpers, temporary files and
// shared mappings.
#include "platform/plat_file.h"
#include "platform/plat_mmap.h"
#include "platform/plat_text.h"

#include "binfile.h"
#include "failing_new.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <functional>
#include <vector>

namespace {

TEST(PlatText, Utf16UnitsOfCharacters) {
  std::uint16_t u[2];
  EXPECT_EQ(kvplat::Utf16Encode(L'A', u), 1);
  EXPECT_EQ(u[0], 0x41);
  EXPECT_EQ(kvplat::Utf16Encode(static_cast<wchar_t>(0xFFFD), u), 1);
  EXPECT_EQ(kvplat::Utf16Encode(static_cast<wchar_t>(0x10000), u), 2);
  EXPECT_EQ(u[0], 0xD800);
  EXPECT_EQ(u[1], 0xDC00);
  EXPECT_EQ(kvplat::Utf16Encode(static_cast<wchar_t>(0x10FFFF), u), 2);
  EXPECT_EQ(u[0], 0xDBFF);
  EXPECT_EQ(u[1], 0xDFFF);
  EXPECT_EQ(kvplat::Utf16Encode(static_cast<wchar_t>(0xD800), u), 0);
  EXPECT_EQ(kvplat::Utf16Encode(static_cast<wchar_t>(0x110000), u), 0);

  const wchar_t s[] = {L'a', 0x1F600, L'b', 0};
  EXPECT_EQ(kvplat::Utf16Length(s, -1), 4);
  EXPECT_EQ(kvplat::Utf16Length(s, 2), 3);
  EXPECT_EQ(kvplat::Utf16Length(nullptr, -1), -1);
  const wchar_t bad[] = {L'a', 0xDFFF, 0};
  EXPECT_EQ(kvplat::Utf16Length(bad, -1), -1);
}

TEST(PlatText, Utf16DecoderKeepsLoneSurrogates) {
  struct Case {
    std::vector<std::uint16_t> units;
    std::wstring chars;
  };
  const Case cases[] = {
      {{0x41, 0xD83D, 0xDE00, 0x42}, {L'A', static_cast<wchar_t>(0x1F600), L'B'}},
      {{0xD800, 0x41}, {static_cast<wchar_t>(0xD800), L'A'}},              // high without low
      {{0xDC00, 0x41}, {static_cast<wchar_t>(0xDC00), L'A'}},              // low alone
      {{0xD800, 0xD800, 0xDC00}, {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x10000)}},
      {{0x41, 0xDBFF}, {L'A', static_cast<wchar_t>(0xDBFF)}},              // pending at the end
  };
  for (const Case& c : cases) {
    kvplat::Utf16Decoder dec;
    std::wstring out;
    wchar_t buf[2];
    for (std::uint16_t u : c.units) {
      const int k = dec.Put(u, buf);
      out.append(buf, k);
    }
    out.append(buf, dec.Finish(buf));
    EXPECT_EQ(out, c.chars);
    EXPECT_LE(out.size(), c.units.size());
  }
}

TEST(PlatText, Utf8RoundTripOfEveryPlane) {
  std::wstring all;
  for (std::uint32_t c = 1; c <= 0x10FFFF; c += (c < 0x800 ? 1 : 97))
    if (kvplat::IsScalarValue(c)) all += static_cast<wchar_t>(c);
  std::string utf8;
  ASSERT_TRUE(kvplat::ToUtf8(all.c_str(), utf8));
  std::wstring back;
  ASSERT_TRUE(kvplat::ToWide(utf8.c_str(), back));
  EXPECT_EQ(back, all);
  EXPECT_FALSE(kvplat::ToWide(nullptr, back));
  EXPECT_TRUE(back.empty());
  EXPECT_EQ(kvplat::Utf8ToWide("\xE2\x82\xAC", nullptr), 1);
  EXPECT_EQ(kvplat::WideToUtf8(L"\u20ac", nullptr), 3);
}

TEST(PlatFile, RemainingBytesAndStat) {
  kvtest::TempPath p("pf");
  kvtest::WriteFileText(p.str(), "0123456789");
  const int fd = open(p.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(kvplat::RemainingBytes(fd), 10);
  ASSERT_EQ(lseek(fd, 4, SEEK_SET), 4);
  EXPECT_EQ(kvplat::RemainingBytes(fd), 6);
  ASSERT_EQ(lseek(fd, 40, SEEK_SET), 40);
  EXPECT_EQ(kvplat::RemainingBytes(fd), 0);
  kvplat::FileInfo info;
  ASSERT_TRUE(kvplat::StatFd(fd, info));
  EXPECT_EQ(info.size, 10);
  EXPECT_TRUE(info.isRegular);
  close(fd);
  EXPECT_EQ(kvplat::RemainingBytes(fd), -1);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  EXPECT_EQ(kvplat::RemainingBytes(fds[0]), -1);  // a pipe has no end to measure
  close(fds[0]);
  close(fds[1]);

  ASSERT_TRUE(kvplat::StatPath(".", info));
  EXPECT_TRUE(info.isDirectory);
  EXPECT_FALSE(kvplat::StatPath("kvt_no_such_file", info));
  EXPECT_FALSE(kvplat::StatPath(nullptr, info));
}

TEST(PlatFile, WholeTransfers) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  EXPECT_EQ(kvplat::WriteFull(fds[1], "abcdef", 6), 6);
  close(fds[1]);
  char buf[16] = {};
  EXPECT_EQ(kvplat::ReadFull(fds[0], buf, 16), 6);  // end of data before the request
  EXPECT_STREQ(buf, "abcdef");
  EXPECT_EQ(kvplat::ReadFull(fds[0], buf, 16), 0);
  close(fds[0]);
  EXPECT_EQ(kvplat::ReadFull(-1, buf, 4), -1);
  EXPECT_EQ(kvplat::WriteFull(-1, buf, 4), -1);
}

TEST(PlatFile, TemporaryDirectoryAndFreshNames) {
  kvtest::TempDir dir("ptmp");
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  const std::string abs = std::string(cwd) + "/" + dir.str();
  const char* old = getenv("TMPDIR");
  const std::string saved = old ? old : "";
  setenv("TMPDIR", abs.c_str(), 1);
  EXPECT_EQ(kvplat::TempDir(), abs);
  setenv("TMPDIR", "kvt_no_such_dir", 1);
  EXPECT_EQ(kvplat::TempDir(), "/tmp");
  setenv("TMPDIR", abs.c_str(), 1);

  std::string a, b;
  ASSERT_TRUE(kvplat::FreshName("", "kvp", a));
  ASSERT_TRUE(kvplat::FreshName(abs + "/", "kvp", b));
  EXPECT_EQ(a.rfind(abs + "/kvp", 0), 0u);
  EXPECT_EQ(b.rfind(abs + "/kvp", 0), 0u);
  EXPECT_EQ(a.size(), abs.size() + 1 + 3 + 6);
  EXPECT_NE(a, b);
  EXPECT_FALSE(kvtest::FileExists(a));

  std::string path;
  const int fd = kvplat::CreateTempFile("", "kvm", path);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(path.rfind(abs + "/kvm", 0), 0u);
  struct stat st;
  ASSERT_EQ(fstat(fd, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(kvplat::FileLength(fd), 0);
  EXPECT_EQ(kvplat::CloseFile(fd), 0);
  EXPECT_EQ(std::remove(path.c_str()), 0);
  EXPECT_EQ(kvplat::CreateTempFile(abs + "/kvt_missing", "x", path), -1);

  if (old)
    setenv("TMPDIR", saved.c_str(), 1);
  else
    unsetenv("TMPDIR");
}

TEST(PlatMmap, SharedViewsReachTheFile) {
  const long long g = kvplat::AllocationGranularity();
  EXPECT_GT(g, 0);
  EXPECT_EQ(g & (g - 1), 0);  // a power of two
  kvtest::TempPath p("pm");
  const int fd = kvplat::OpenReadWrite(p.c_str(), false);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(kvplat::SetFileLength(fd, 3 * g));
  EXPECT_EQ(kvplat::FileLength(fd), 3 * g);

  // A view of the second granule: writes land at that offset of the file.
  char* view = static_cast<char*>(kvplat::MapFile(fd, g, static_cast<size_t>(g), true));
  ASSERT_NE(view, nullptr);
  std::memcpy(view, "mapped", 6);
  view[g - 1] = 'z';
  EXPECT_TRUE(kvplat::UnmapFile(view, static_cast<size_t>(g)));
  char buf[7] = {};
  ASSERT_EQ(pread(fd, buf, 6, g), 6);
  EXPECT_STREQ(buf, "mapped");
  ASSERT_EQ(pread(fd, buf, 1, 2 * g - 1), 1);
  EXPECT_EQ(buf[0], 'z');

  // Writes to the file are seen by a later read-only view.
  ASSERT_EQ(pwrite(fd, "file", 4, 0), 4);
  const char* ro = static_cast<const char*>(kvplat::MapFile(fd, 0, 8, false));
  ASSERT_NE(ro, nullptr);
  EXPECT_EQ(std::string(ro, 4), "file");
  EXPECT_TRUE(kvplat::UnmapFile(const_cast<char*>(ro), 8));

  EXPECT_EQ(kvplat::MapFile(fd, 1, 8, true), nullptr);  // offset not on a granule
  EXPECT_EQ(kvplat::MapFile(fd, 0, 0, true), nullptr);
  EXPECT_EQ(kvplat::MapFile(-1, 0, 8, true), nullptr);
  EXPECT_FALSE(kvplat::UnmapFile(nullptr, 8));
  EXPECT_TRUE(kvplat::SetFileLength(fd, 5));
  EXPECT_EQ(kvplat::FileLength(fd), 5);
  EXPECT_FALSE(kvplat::SetFileLength(fd, -1));
  EXPECT_EQ(kvplat::CloseFile(fd), 0);
  EXPECT_EQ(kvplat::FileLength(fd), -1);
  EXPECT_EQ(kvplat::OpenReadWrite(nullptr, true), -1);
  EXPECT_EQ(kvplat::OpenReadWrite("kvt_missing_file", false), -1);
}

// Entries of a directory (without "." and ".."), and descriptors open in this process.
int Entries(const std::string& dir) {
  int n = 0;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++n;
    closedir(d);
  }
  return n;
}
int OpenDescriptors() { return Entries("/proc/self/fd"); }

TEST(PlatFile, FilesAreMadeWholeOrNotAtAllWhenMemoryRunsOut) {
  // Each is run with the k-th allocation failing, k = 0, 1, 2, ...: a failure is a result
  // (ENOMEM), never an exception, and leaves no file and no descriptor behind.
  kvtest::TempDir dir("pnomem");
  const std::string base = dir.str() + "/";
  const std::string target = base + "target.txt";
  const std::string temp = target + ".tmp";
  ASSERT_TRUE(kvtest::WriteFileText(target, "old"));
  const int descriptors = OpenDescriptors();
  struct Case {
    const char* name;
    int made;  // files the operation leaves once it worked
    std::function<bool()> op;
  } cases[] = {
      {"FreshName", 0, [&] {
         std::string name;
         return kvplat::FreshName(base, "kvf", name);
       }},
      {"CreateTempFile", 1, [&] {
         std::string path = "unchanged";
         const int fd = kvplat::CreateTempFile(base, "kvc", path);
         if (fd < 0) return path == "unchanged" ? false : (ADD_FAILURE() << "path changed", false);
         kvplat::CloseFile(fd);
         return true;
       }},
      {"ReplacingFile beside the target", 0, [&] {
         kvplat::ReplacingFile f;
         return f.Open(target.c_str());  // abandoned at the end of the scope
       }},
      {"ReplacingFile with a given temporary name", 0, [&] {
         kvplat::ReplacingFile f;
         return f.Open(target.c_str(), temp.c_str());
       }},
  };
  for (const Case& c : cases) {
    int worked = 0;
    kvtest::SweepAllocations(
        [] {},
        [&] { worked = c.op() ? 1 : 0; },
        [&](int k, bool threw) {
          EXPECT_FALSE(threw) << c.name << " allocation " << k;
          if (!threw && worked == 0) {
            EXPECT_EQ(errno, ENOMEM) << c.name << " allocation " << k;
          }
          EXPECT_EQ(Entries(dir.str()), 1 + worked * c.made) << c.name << " allocation " << k;
          EXPECT_EQ(OpenDescriptors(), descriptors) << c.name << " allocation " << k;
          // Leave only the target for the next run.
          if (DIR* d = opendir(dir.str().c_str())) {
            while (dirent* e = readdir(d))
              if (e->d_name[0] != '.' && std::string(e->d_name) != "target.txt") std::remove((base + e->d_name).c_str());
            closedir(d);
          }
        });
    EXPECT_EQ(worked, 1) << c.name;
  }
  EXPECT_EQ(kvtest::ReadFileText(target), "old");
}

}  // namespace
