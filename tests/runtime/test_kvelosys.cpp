// Tests of the C heap and the system wrappers, through the exported interface.
#include "kvelo.h"

#include "binfile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using kvtest::TempPath;

namespace {

std::wstring W(const std::string& s) { return std::wstring(s.begin(), s.end()); }

TEST(KveloHeap, BlocksAreUsableAndFreedThroughOneFunction) {
  int* a = static_cast<int*>(kvelomem_calloc(10, sizeof(int), "t", 0, __FILE__, __LINE__));
  ASSERT_NE(a, nullptr);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(a[i], 0);
  int* b = static_cast<int*>(kvelomem_realloc(a, 1000 * sizeof(int), "t", 0, __FILE__, __LINE__));
  ASSERT_NE(b, nullptr);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(b[i], 0);  // realloc keeps the old content
  b[999] = 7;
  kvelomem_free(b, __FILE__, __LINE__);
  void* m = kvelomem_malloc(33, "t", 1, __FILE__, __LINE__);
  ASSERT_NE(m, nullptr);
  kvelo_free(m, __FILE__, __LINE__);  // the second name frees blocks of the first
  kvelomem_free(nullptr, __FILE__, __LINE__);
}

TEST(KveloHeap, SecondNamesAreTheSameFunctions) {
  EXPECT_EQ(reinterpret_cast<void*>(&kvelo_calloc), reinterpret_cast<void*>(&kvelomem_calloc));
  EXPECT_EQ(reinterpret_cast<void*>(&kvelo_malloc), reinterpret_cast<void*>(&kvelomem_malloc));
  EXPECT_EQ(reinterpret_cast<void*>(&kvelo_realloc), reinterpret_cast<void*>(&kvelomem_realloc));
  EXPECT_EQ(reinterpret_cast<void*>(&kvelo_free), reinterpret_cast<void*>(&kvelomem_free));
}

TEST(KveloStrdup, CopiesWithTerminator) {
  EXPECT_EQ(kvelo_strdup(nullptr, "t"), nullptr);
  char* e = kvelo_strdup("", "t");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e[0], '\0');
  kvelomem_free(e, __FILE__, __LINE__);
  const char src[] = "keyword 12";
  char* c = kvelo_strdup(src, "t");
  ASSERT_NE(c, nullptr);
  EXPECT_NE(c, src);
  EXPECT_STREQ(c, src);
  kvelomem_free(c, __FILE__, __LINE__);
}

TEST(KveloFiles, ExistenceAndModificationTime) {
  TempPath p("exist");
  EXPECT_EQ(kvelo_file_exist(p.wide().c_str()), 1);
  EXPECT_EQ(kvelo_file_exist(L"."), 1);  // a directory exists as well as a file
  EXPECT_EQ(kvelo_file_exist(nullptr), 0);
  EXPECT_EQ(kvelo_file_exist(L"kvt_no_such_file_here"), 0);

  struct stat st;
  ASSERT_EQ(stat(p.c_str(), &st), 0);
  EXPECT_EQ(kvelo_file_mod_time(p.wide().c_str()), static_cast<long long>(st.st_mtime));
  EXPECT_EQ(kvelo_file_mod_time(nullptr), 0);
  EXPECT_EQ(kvelo_file_mod_time(L"kvt_no_such_file_here"), 0);
}

// A name of exactly `bytes` bytes for the file at path: slashes repeated after its directory
// (or after "." for a name without one) name the same file.
std::string PaddedName(const std::string& path, std::size_t bytes) {
  const std::size_t cut = path.rfind('/');
  const std::string dir = cut == std::string::npos ? "." : path.substr(0, cut);
  const std::string base = cut == std::string::npos ? path : path.substr(cut + 1);
  if (bytes < dir.size() + 1 + base.size()) return path;
  return dir + std::string(bytes - dir.size() - base.size(), '/') + base;
}

TEST(KveloFiles, NamesAtTheSystemsLengthLimit) {
  // The names are converted on the stack, in a buffer of PATH_MAX bytes with the terminator:
  // PATH_MAX - 1 bytes is the longest name the system takes, and one byte more must be
  // refused before it is written there.
  TempPath p("exist");
  struct stat st;
  ASSERT_EQ(stat(p.c_str(), &st), 0);
  const std::string longest = PaddedName(p.str(), PATH_MAX - 1);
  ASSERT_EQ(longest.size(), static_cast<std::size_t>(PATH_MAX - 1));
  ASSERT_EQ(stat(longest.c_str(), &st), 0);  // the system takes it, and it names the file
  EXPECT_EQ(kvelo_file_exist(W(longest).c_str()), 1);
  EXPECT_EQ(kvelo_file_mod_time(W(longest).c_str()), static_cast<long long>(st.st_mtime));

  for (const std::size_t bytes : {std::size_t(PATH_MAX), std::size_t(PATH_MAX) + 1, std::size_t(3) * PATH_MAX}) {
    const std::string name = PaddedName(p.str(), bytes);
    ASSERT_EQ(name.size(), bytes);
    EXPECT_EQ(kvelo_file_exist(W(name).c_str()), 0) << bytes;
    EXPECT_EQ(kvelo_file_mod_time(W(name).c_str()), 0) << bytes;
  }
  // The limit counts UTF-8 bytes, not characters: PATH_MAX - 2 characters of which one is
  // two bytes long make PATH_MAX - 1 bytes; two such characters make PATH_MAX.
  const std::wstring stem = W(PaddedName(p.str(), PATH_MAX - 3));
  EXPECT_EQ(kvelo_file_exist((stem + L"\u00e9").c_str()), 0);  // fits, names no file
  EXPECT_EQ(kvelo_file_exist((stem.substr(0, stem.size() - 1) + L"\u00e9\u00e9").c_str()), 0);
  EXPECT_EQ(kvelo_file_mod_time((stem.substr(0, stem.size() - 1) + L"\u00e9\u00e9").c_str()), 0);
}

TEST(KveloFiles, RenameAccessUnlinkWithWideNames) {
  TempPath from("ren");
  TempPath to("ren", "", false);
  // A non-ASCII name travels as UTF-8.
  const std::wstring accented = W(to.str()) + L"_\u00e9t\u00e9";
  const std::string accentedUtf8 = to.str() + "_\xC3\xA9t\xC3\xA9";
  ASSERT_EQ(kvelo_rename(from.wide().c_str(), accented.c_str()), 0);
  EXPECT_FALSE(kvtest::FileExists(from.str()));
  EXPECT_TRUE(kvtest::FileExists(accentedUtf8));
  EXPECT_EQ(kvelo_access(accented.c_str(), 0), 0);
  EXPECT_EQ(kvelo_access(accented.c_str(), 6), 0);
  EXPECT_EQ(kvelo_unlink(accented.c_str()), 0);
  EXPECT_EQ(kvelo_access(accented.c_str(), 0), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(kvelo_unlink(accented.c_str()), -1);

  errno = 0;
  EXPECT_EQ(kvelo_rename(nullptr, accented.c_str()), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(kvelo_access(nullptr, 0), -1);
  EXPECT_EQ(kvelo_unlink(nullptr), -1);
  const wchar_t bad[] = {L'a', static_cast<wchar_t>(0xD800), 0};  // not a character
  EXPECT_EQ(kvelo_unlink(bad), -1);
  EXPECT_EQ(errno, EILSEQ);
}

TEST(KveloEnv, NarrowAndWideValues) {
  ASSERT_EQ(setenv("KVT_ENV_VALUE", "caf\xC3\xA9 \xE2\x82\xAC", 1), 0);
  const char* narrow = kvelo_getenv("KVT_ENV_VALUE");
  ASSERT_NE(narrow, nullptr);
  EXPECT_EQ(narrow, getenv("KVT_ENV_VALUE"));  // the runtime's own string, not a copy
  const wchar_t* wide = kvelo_wgetenv(L"KVT_ENV_VALUE");
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(std::wstring(wide), std::wstring(L"caf\u00e9 \u20ac"));
  EXPECT_EQ(kvelo_wgetenv(L"KVT_ENV_VALUE"), wide);  // unchanged value, same string

  unsetenv("KVT_ENV_VALUE");
  EXPECT_EQ(kvelo_getenv("KVT_ENV_VALUE"), nullptr);
  EXPECT_EQ(kvelo_wgetenv(L"KVT_ENV_VALUE"), nullptr);
  EXPECT_EQ(kvelo_getenv(nullptr), nullptr);
  EXPECT_EQ(kvelo_wgetenv(nullptr), nullptr);
}

TEST(KveloSystem, FirstArgumentIsIgnored) {
  const int a = kvelo_system(nullptr, "exit 3");
  const int b = kvelo_system("anything at all", "exit 3");
  ASSERT_TRUE(WIFEXITED(a));
  EXPECT_EQ(WEXITSTATUS(a), 3);
  EXPECT_EQ(a, b);
  TempPath p("sys");
  const std::string cmd = "printf x > " + p.str();
  EXPECT_EQ(kvelo_system("ignored", cmd.c_str()), 0);
  EXPECT_EQ(kvtest::ReadFileText(p.str()), "x");
}

TEST(KveloMisc, PidDescriptorsMathAndComparison) {
  EXPECT_EQ(kvelo_getpid(), static_cast<int>(getpid()));
  EXPECT_EQ(kvelo_fileno(stdin), 0);
  EXPECT_EQ(kvelo_fileno(stderr), 2);
  EXPECT_EQ(kvelo_fileno(5), 5);  // a descriptor is its own descriptor
  errno = 0;
  EXPECT_EQ(kvelo_fileno(static_cast<FILE*>(nullptr)), -1);
  EXPECT_EQ(errno, EINVAL);

  const double pi = std::acos(-1.0);
  EXPECT_DOUBLE_EQ(kvelo_atan2(1.0, 1.0), pi / 4);
  EXPECT_DOUBLE_EQ(kvelo_atan2(1.0, -1.0), 3 * pi / 4);
  EXPECT_DOUBLE_EQ(kvelo_atan2(-0.0, -1.0), -pi);

  EXPECT_EQ(kvelo_strncasecmp("KeyWord", "kEYwORD", 7), 0);
  EXPECT_EQ(kvelo_strncasecmp("ABCx", "abcY", 3), 0);
  EXPECT_LT(kvelo_strncasecmp("abc", "ABD", 3), 0);
  EXPECT_GT(kvelo_strncasecmp("b", "A", 1), 0);
  EXPECT_EQ(kvelo_strncasecmp(nullptr, "a", 1), INT_MAX);
}

TEST(KveloText, NarrowToWide) {
  struct Case {
    const char* utf8;
    std::wstring wide;
  };
  const Case ok[] = {
      {"", L""},
      {"abc", L"abc"},
      {"\xC3\xA9t\xC3\xA9", L"\u00e9t\u00e9"},
      {"\xE2\x82\xAC", L"\u20ac"},
      {"\xF0\x9D\x84\x9E", std::wstring(1, static_cast<wchar_t>(0x1D11E))},
      {"\xF4\x8F\xBF\xBF", std::wstring(1, static_cast<wchar_t>(0x10FFFF))},
  };
  for (const Case& c : ok) {
    wchar_t* w = kvelo_char2Tchar(c.utf8);
    ASSERT_NE(w, nullptr) << c.utf8;
    EXPECT_EQ(std::wstring(w), c.wide);
    kvelomem_free(w, __FILE__, __LINE__);
  }
  const char* invalid[] = {
      "\xC3\x28",          // continuation missing
      "\xC0\xAF",          // overlong '/'
      "\xE0\x80\xAF",      // overlong, three bytes
      "\xED\xA0\x80",      // an encoded surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xFF",              // never valid
      "ab\xE2\x82",        // cut at the end
  };
  for (const char* s : invalid) EXPECT_EQ(kvelo_char2Tchar(s), nullptr) << kvtest::Hex(kvtest::Bytes(s, s + strlen(s)));
  EXPECT_EQ(kvelo_char2Tchar(nullptr), nullptr);
}

TEST(KveloText, WideToNarrow) {
  const wchar_t src[] = {L'a', 0xE9, 0x20AC, 0x1D11E, 0};
  char* n = kvelo_Tchar2char(src);
  ASSERT_NE(n, nullptr);
  EXPECT_STREQ(n, "a\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E");
  kvelomem_free(n, __FILE__, __LINE__);
  char* e = kvelo_Tchar2char(L"");
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e, "");
  kvelomem_free(e, __FILE__, __LINE__);
  const wchar_t surrogate[] = {L'a', 0xDC00, 0};
  const wchar_t tooBig[] = {0x110000, 0};
  EXPECT_EQ(kvelo_Tchar2char(surrogate), nullptr);
  EXPECT_EQ(kvelo_Tchar2char(tooBig), nullptr);
  EXPECT_EQ(kvelo_Tchar2char(nullptr), nullptr);
}

TEST(KveloTempnam, FreshNameInTheGivenDirectory) {
  kvtest::TempDir dir("tnam");
  ASSERT_FALSE(dir.str().empty());
  const std::wstring wdir = W(dir.str());
  wchar_t* a = kvelo_tempnam(wdir.c_str(), L"kv");
  wchar_t* b = kvelo_tempnam(wdir.c_str(), L"kv");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  const std::wstring sa(a), sb(b);
  EXPECT_EQ(sa.rfind(wdir + L"/kv", 0), 0u) << std::string(sa.begin(), sa.end());
  EXPECT_NE(sa, sb);
  EXPECT_EQ(kvelo_file_exist(a), 0);  // only a name: the file is not made
  kvelomem_free(a, __FILE__, __LINE__);
  kvelomem_free(b, __FILE__, __LINE__);

  // A directory that does not exist gives a name in the temporary directory.
  const char* oldTmp = getenv("TMPDIR");
  const std::string savedTmp = oldTmp ? oldTmp : "";
  ASSERT_EQ(setenv("TMPDIR", dir.str().c_str(), 1), 0);
  wchar_t* c = kvelo_tempnam(L"kvt_no_such_dir", L"pre");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(std::wstring(c).rfind(wdir + L"/pre", 0), 0u);
  kvelomem_free(c, __FILE__, __LINE__);
  unsetenv("TMPDIR");
  wchar_t* d = kvelo_tempnam(nullptr, nullptr);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(std::wstring(d).rfind(L"/tmp/", 0), 0u);
  kvelomem_free(d, __FILE__, __LINE__);
  if (oldTmp) setenv("TMPDIR", savedTmp.c_str(), 1);
}

TEST(KveloFtruncate, LongerShorterAndPosition) {
  TempPath p("trunc");
  const int fd = open(p.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "abcdef", 6), 6);
  EXPECT_EQ(kvelo_ftruncate(fd, 10000), 0);  // beyond the end: the file grows
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 10000);
  struct stat st;
  ASSERT_EQ(fstat(fd, &st), 0);
  EXPECT_EQ(st.st_size, 10000);
  EXPECT_EQ(kvelo_ftruncate(fd, 3), 0);
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 3);
  close(fd);
  EXPECT_EQ(kvtest::ReadFileText(p.str()), "abc");

  const int ro = open(p.c_str(), O_RDONLY);
  ASSERT_GE(ro, 0);
  ASSERT_EQ(lseek(ro, 2, SEEK_SET), 2);
  EXPECT_EQ(kvelo_ftruncate(ro, 1), -1);
  EXPECT_TRUE(errno == EINVAL || errno == EBADF) << errno;  // the truncation's own error
  EXPECT_EQ(lseek(ro, 0, SEEK_CUR), 2);  // a refused call leaves the position
  close(ro);
  EXPECT_EQ(kvelo_ftruncate(-1, 0), -1);
  const int fd2 = open(p.c_str(), O_RDWR);
  EXPECT_EQ(kvelo_ftruncate(fd2, -5), -1);
  close(fd2);
  EXPECT_EQ(kvtest::ReadFileText(p.str()), "abc");
}

}  // namespace
