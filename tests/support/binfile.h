// binfile.h: test helpers for files: unique temporary paths removed at scope exit, whole-file
// reads and writes as bytes, what a call prints to a FILE*, big-endian byte builders and
// anonymous files holding given bytes, and byte comparisons that print both sides in hex.
#ifndef KVELO_TEST_BINFILE_H
#define KVELO_TEST_BINFILE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace kvtest {

using Bytes = std::vector<unsigned char>;

// A unique path in the working directory ("kvt_<tag>_XXXXXX<suffix>"); the file is created
// empty (unless makeFile is false) and removed, with "<path>.tmp", when the object dies.
class TempPath {
 public:
  explicit TempPath(const std::string& tag, const std::string& suffix = "", bool makeFile = true);
  ~TempPath();
  TempPath(const TempPath&) = delete;
  TempPath& operator=(const TempPath&) = delete;
  const std::string& str() const { return m_path; }
  const char* c_str() const { return m_path.c_str(); }
  std::wstring wide() const;  // the path as wchar_t (the names made here are ASCII)

 private:
  std::string m_path;
};

// A unique directory in the working directory, removed with its content at scope exit.
class TempDir {
 public:
  explicit TempDir(const std::string& tag);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& str() const { return m_path; }
  std::string file(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

Bytes ReadFileBytes(const std::string& path);                    // the whole file; empty when missing
std::string ReadFileText(const std::string& path);               // the whole file as text
bool WriteFileBytes(const std::string& path, const Bytes& data);  // replaces the file
bool WriteFileText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);

// Everything print(FILE*) writes, through an anonymous temporary file ("<no tmpfile>" when
// none can be had).
template <class F>
std::string PrintedBy(F print) {
  FILE* f = std::tmpfile();
  if (!f) return "<no tmpfile>";
  print(f);
  std::fflush(f);
  std::rewind(f);
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

// Appends the 4 big-endian bytes of an int, the 8 of a double: hand-made binary forms, built
// without the library's own byte-order code.
inline void PutInt(Bytes& b, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<unsigned char>(u >> s));
}
inline void PutDouble(Bytes& b, double v) {
  uint64_t u;
  std::memcpy(&u, &v, 8);
  for (int s = 56; s >= 0; s -= 8) b.push_back(static_cast<unsigned char>(u >> s));
}

// An anonymous file holding data, stream and descriptor at its start; nullptr when none can
// be had. The caller closes it.
FILE* StreamWith(const Bytes& data);

// Offset of f's descriptor: how far the binary readers, which read through it, have gone.
inline long Position(FILE* f) { return static_cast<long>(lseek(fileno(f), 0, SEEK_CUR)); }

Bytes MakeBytes(std::initializer_list<int> values);  // {0x00, 0xFF, ...}
std::string Hex(const Bytes& data);                  // "00 FF ..."

// Success when actual equals expected; otherwise both in hex and the first differing offset.
::testing::AssertionResult BytesEqual(const Bytes& actual, const Bytes& expected);

// Runs f() in a child process whose files cannot grow beyond limit bytes (RLIMIT_FSIZE, with
// SIGXFSZ ignored: a write past the limit fails with EFBIG as one on a full disk fails with
// ENOSPC), so that a write fails part way on a real, named file. Returns what f returned (the
// child's exit status, 0 to 255), or -1 when the child could not run or died of a signal.
template <class F>
int WithFileSizeLimit(long long limit, F f) {
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim;
    lim.rlim_cur = lim.rlim_max = static_cast<rlim_t>(limit);
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(255);
    const int r = f();
    std::fflush(nullptr);
    _exit(r & 0xFF);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace kvtest
#endif
