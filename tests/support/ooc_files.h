// ooc_files.h: fixtures for the mapping and out-of-core tests: a private temporary directory
// that $TMPDIR points to while a test runs (everything left in it is removed afterwards),
// whole-file reads and writes, wide names, and the protection of a mapped address.
#ifndef KVELO_TEST_OOC_FILES_H
#define KVELO_TEST_OOC_FILES_H

#include "binfile.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kvtest {

// A fresh directory under the current $TMPDIR (or /tmp); $TMPDIR names it until destruction,
// which removes every file left in it, the directory, and restores $TMPDIR.
class PrivateTmpDir {
 public:
  PrivateTmpDir() {
    const char* old = std::getenv("TMPDIR");
    m_hadOld = old != nullptr;
    if (old) m_old = old;
    std::string templ = (old && *old ? std::string(old) : std::string("/tmp")) + "/kvooc_XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) m_path = buf.data();
    setenv("TMPDIR", m_path.c_str(), 1);
  }
  ~PrivateTmpDir() {
    for (const std::string& f : Files()) unlink((m_path + "/" + f).c_str());
    rmdir(m_path.c_str());
    if (m_hadOld) {
      setenv("TMPDIR", m_old.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  PrivateTmpDir(const PrivateTmpDir&) = delete;
  PrivateTmpDir& operator=(const PrivateTmpDir&) = delete;

  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }
  // Names of the entries of the directory (no "." or "..").
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    DIR* d = opendir(m_path.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d)) {
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    }
    closedir(d);
    return names;
  }

 private:
  std::string m_path;
  std::string m_old;
  bool m_hadOld = false;
};

inline std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }
inline std::string Narrow(const wchar_t* s) {
  std::string out;
  for (; s && *s; ++s) out += static_cast<char>(*s);
  return out;
}

// Whole-file writes and reads, under the short names these tests use.
inline bool WriteBytes(const std::string& path, const Bytes& bytes) { return WriteFileBytes(path, bytes); }
inline Bytes ReadBytes(const std::string& path) { return ReadFileBytes(path); }

// -1 when the file does not exist.
inline long long FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// Bytes i -> (i * 7 + 3) mod 251: no two neighbouring pages look alike.
inline std::vector<unsigned char> Pattern(size_t n) {
  std::vector<unsigned char> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<unsigned char>((i * 7 + 3) % 251);
  return v;
}

// Protection field ("rw-s", "r--s", ...) of the mapping that holds address, from
// /proc/self/maps; empty when no mapping holds it.
inline std::string Protection(const void* address) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  const std::uintptr_t a = reinterpret_cast<std::uintptr_t>(address);
  while (std::getline(maps, line)) {
    std::istringstream in(line);
    std::string range, perms;
    in >> range >> perms;
    const size_t dash = range.find('-');
    if (dash == std::string::npos) continue;
    const std::uintptr_t lo = std::stoull(range.substr(0, dash), nullptr, 16);
    const std::uintptr_t hi = std::stoull(range.substr(dash + 1), nullptr, 16);
    if (a >= lo && a < hi) return perms;
  }
  return std::string();
}

}  // namespace kvtest

#endif
