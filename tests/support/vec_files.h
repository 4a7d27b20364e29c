/* vec_files.h: small helpers of the container tests: a uniquely named file in the working
 * directory that removes itself, whole-file byte reads and writes, what a writer puts into a
 * fresh file, and the check that an operation throws C_KveloException with a given
 * exception code. */
#ifndef KVELO_TEST_VEC_FILES_H
#define KVELO_TEST_VEC_FILES_H

#include "C_KveloException.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

// A fresh file name (the file exists, empty) removed at the end of the scope.
class TempFile {
 public:
  explicit TempFile(const char* stem = "kvelo_vec") {
    std::string pattern = std::string(stem) + "_XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    int fd = mkstemp(buf.data());
    if (fd >= 0) close(fd);
    path_ = buf.data();
  }
  ~TempFile() { std::remove(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

inline std::vector<unsigned char> ReadAll(const char* path) {
  std::vector<unsigned char> out;
  FILE* f = std::fopen(path, "rb");
  if (!f) return out;
  int c;
  while ((c = std::fgetc(f)) != EOF) out.push_back(static_cast<unsigned char>(c));
  std::fclose(f);
  return out;
}

inline void WriteAll(const char* path, const std::vector<unsigned char>& bytes) {
  FILE* f = std::fopen(path, "wb");
  ASSERT_NE(f, nullptr);
  if (!bytes.empty()) {
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
  }
  std::fclose(f);
}

inline std::string ReadText(const char* path) {
  std::vector<unsigned char> b = ReadAll(path);
  return std::string(b.begin(), b.end());
}

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

// Runs stmt and expects a C_KveloException carrying exception code `code`.
#define EXPECT_KVELO_CODE(stmt, code)                                       \
  do {                                                                      \
    bool thrown_ = false;                                                   \
    try {                                                                   \
      stmt;                                                                 \
    } catch (const C_KveloException& e_) {                                  \
      thrown_ = true;                                                       \
      EXPECT_EQ(static_cast<int>(e_.getExceptionCode()), (code)) << #stmt; \
    }                                                                       \
    EXPECT_TRUE(thrown_) << #stmt << " did not throw";                      \
  } while (0)

#endif
