/* vec_files.h: the file helpers of the container tests in the form they use them, over the
 * shared ones of binfile.h: a uniquely named file in the working directory that removes
 * itself, whole-file byte reads and writes, what a writer puts into a fresh file, and the
 * check that an operation throws C_KveloException with a given exception code. */
#ifndef KVELO_TEST_VEC_FILES_H
#define KVELO_TEST_VEC_FILES_H

#include "binfile.h"
#include "thrown_code.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

// A fresh file name (the file exists, empty) removed at the end of the scope.
class TempFile : public kvtest::TempPath {
 public:
  explicit TempFile(const char* stem = "kvelo_vec") : kvtest::TempPath(stem) {}
  const char* path() const { return c_str(); }
};

inline std::vector<unsigned char> ReadAll(const char* path) { return kvtest::ReadFileBytes(path); }

inline void WriteAll(const char* path, const std::vector<unsigned char>& bytes) {
  ASSERT_TRUE(kvtest::WriteFileBytes(path, bytes)) << path;
}

inline std::string ReadText(const char* path) { return kvtest::ReadFileText(path); }

// The bytes, or the same as text, that write(FILE*) puts into a fresh file named after stem;
// write is expected to return 0.
template <class W>
std::vector<unsigned char> BytesWrittenBy(const char* stem, W write) {
  TempFile tmp(stem);
  FILE* f = std::fopen(tmp.path(), "wb");
  EXPECT_NE(f, nullptr);
  EXPECT_EQ(write(f), 0);
  std::fclose(f);
  return ReadAll(tmp.path());
}
template <class W>
std::string TextWrittenBy(const char* stem, W write) {
  const std::vector<unsigned char> b = BytesWrittenBy(stem, write);
  return std::string(b.begin(), b.end());
}

// Reads bytes into target (anything with Read(FILE*)) through an anonymous file; the
// exception code thrown, 0 for none, -1 when the file cannot be made.
template <class X>
int ReadFromBytes(X& target, const std::vector<unsigned char>& bytes) {
  FILE* f = kvtest::StreamWith(bytes);
  if (!f) return -1;
  const int code = kvtest::ThrownCode([&] { target.Read(f); });
  std::fclose(f);
  return code;
}

// Runs stmt and expects a C_KveloException carrying exception code `code`.
#define EXPECT_KVELO_CODE(stmt, code) EXPECT_EQ(kvtest::ThrownCode([&] { stmt; }), (code)) << #stmt

#endif
