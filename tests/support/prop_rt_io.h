// prop_rt_io.h: what the runtime file harnesses share: scratch files in a directory of their
// own, the whole byte image of a file or descriptor, and big-endian encoders written from the
// format's definition (not from the library) to hold the writers' bytes against.
#ifndef KVELO_TEST_PROP_RT_IO_H
#define KVELO_TEST_PROP_RT_IO_H

#include <rapidcheck.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvtest {

using Bytes = std::vector<unsigned char>;

// A fresh directory under the system's temporary directory, removed with what it holds.
class ScratchDir {
 public:
  ScratchDir() {
    const char* base = std::getenv("TMPDIR");
    std::string t = std::string(base && *base ? base : "/tmp") + "/kvelo_prop_XXXXXX";
    std::vector<char> buf(t.begin(), t.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) m_path = buf.data();
  }
  // The harnesses make flat directories: their files, then the directory itself.
  ~ScratchDir() {
    if (m_path.empty()) return;
    if (DIR* d = opendir(m_path.c_str())) {
      while (dirent* e = readdir(d)) {
        const std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        const std::string p = m_path + "/" + n;
        if (unlink(p.c_str()) != 0) rmdir(p.c_str());
      }
      closedir(d);
    }
    rmdir(m_path.c_str());
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// Every byte of the file at path; found false when there is none.
inline Bytes FileBytes(const std::string& path, bool* found = nullptr) {
  Bytes out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (found) *found = f != nullptr;
  if (!f) return out;
  int c;
  while ((c = std::fgetc(f)) != EOF) out.push_back(static_cast<unsigned char>(c));
  std::fclose(f);
  return out;
}

inline void PutFileBytes(const std::string& path, const Bytes& b) {
  FILE* f = std::fopen(path.c_str(), "wb");
  RC_ASSERT((f != nullptr));
  if (!b.empty()) RC_ASSERT(std::fwrite(b.data(), 1, b.size(), f) == b.size());
  std::fclose(f);
}

// Every byte a descriptor's file holds, read with pread: its position stays.
inline Bytes FdBytes(int fd) {
  Bytes out;
  unsigned char buf[4096];
  off_t at = 0;
  for (;;) {
    const ssize_t r = pread(fd, buf, sizeof buf, at);
    if (r <= 0) break;
    out.insert(out.end(), buf, buf + r);
    at += r;
  }
  return out;
}

// Big-endian bytes of an unsigned value of `bytes` bytes.
inline void PutBE(Bytes& out, std::uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
inline void PutLE(Bytes& out, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
template <class T>
std::uint64_t BitsOf(const T& v) {
  std::uint64_t u = 0;
  std::memcpy(&u, &v, sizeof(T));  // little-endian host: the low bytes
  return u;
}

}  // namespace kvtest

#endif
