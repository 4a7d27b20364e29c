// binfile.cpp: file helpers shared by the test suites (temporary paths, whole-file bytes,
// hex comparison).
#include "binfile.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <ftw.h>

namespace kvtest {

namespace {
std::string Template(const std::string& tag) { return "kvt_" + tag + "_XXXXXX"; }
}  // namespace

TempPath::TempPath(const std::string& tag, const std::string& suffix, bool makeFile) {
  std::string t = Template(tag) + suffix;
  std::vector<char> buf(t.begin(), t.end());
  buf.push_back('\0');
  const int fd = mkstemps(buf.data(), static_cast<int>(suffix.size()));
  if (fd >= 0) close(fd);
  m_path = buf.data();
  if (!makeFile) std::remove(m_path.c_str());
}

TempPath::~TempPath() {
  std::remove(m_path.c_str());
  std::remove((m_path + ".tmp").c_str());
}

std::wstring TempPath::wide() const { return std::wstring(m_path.begin(), m_path.end()); }

TempDir::TempDir(const std::string& tag) {
  std::string t = Template(tag);
  std::vector<char> buf(t.begin(), t.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data())) m_path = buf.data();
}

TempDir::~TempDir() {
  if (m_path.empty()) return;
  nftw(
      m_path.c_str(),
      [](const char* p, const struct stat*, int, struct FTW*) { return std::remove(p); }, 16,
      FTW_DEPTH | FTW_PHYS);
}

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadFileText(const std::string& path) {
  const Bytes b = ReadFileBytes(path);
  return std::string(b.begin(), b.end());
}

bool WriteFileBytes(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

bool WriteFileText(const std::string& path, const std::string& text) {
  return WriteFileBytes(path, Bytes(text.begin(), text.end()));
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

FILE* StreamWith(const Bytes& data) {
  FILE* f = std::tmpfile();
  if (f == nullptr) return nullptr;
  if (!data.empty() && std::fwrite(data.data(), 1, data.size(), f) != data.size()) {
    std::fclose(f);
    return nullptr;
  }
  std::fflush(f);
  std::rewind(f);
  return f;
}

Bytes MakeBytes(std::initializer_list<int> values) {
  Bytes b;
  for (int v : values) b.push_back(static_cast<unsigned char>(v));
  return b;
}

std::string Hex(const Bytes& data) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < data.size(); ++i) {
    if (i) s += ' ';
    s += digits[data[i] >> 4];
    s += digits[data[i] & 15];
  }
  return s;
}

::testing::AssertionResult BytesEqual(const Bytes& actual, const Bytes& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t i = 0;
  while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
  return ::testing::AssertionFailure() << "bytes differ at offset " << i << "\n  actual   (" << actual.size()
                                       << "): " << Hex(actual) << "\n  expected (" << expected.size()
                                       << "): " << Hex(expected);
}

}  // namespace kvtest
