// plat_file.cpp: stat, whole-transfer loops, the temporary directory, fresh file names and
// whole-or-nothing rewrites of named files over POSIX calls.
#include "platform/plat_file.h"

#include <atomic>
#include <cerrno>
#include <new>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace kvplat {

static void Fill(const struct stat& st, FileInfo& info) {
  info.size = static_cast<long long>(st.st_size);
  info.mtime = static_cast<long long>(st.st_mtime);
  info.isDirectory = S_ISDIR(st.st_mode);
  info.isRegular = S_ISREG(st.st_mode);
}

bool StatPath(const char* path, FileInfo& info) {
  if (!path) {
    errno = EINVAL;
    return false;
  }
  struct stat st;
  if (stat(path, &st) != 0) return false;
  Fill(st, info);
  return true;
}

bool StatFd(int fd, FileInfo& info) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  Fill(st, info);
  return true;
}

long long RemainingBytes(int fd) {
  FileInfo info;
  if (!StatFd(fd, info) || !info.isRegular) return -1;
  const off_t pos = lseek(fd, 0, SEEK_CUR);
  if (pos < 0) return -1;
  return pos >= info.size ? 0 : info.size - static_cast<long long>(pos);
}

// The loop both directions share: call moves at most the rest from p + done (read or write).
template <typename Byte, typename Call>
static long long TransferFull(int fd, Byte* p, std::size_t bytes, Call call) {
  std::size_t done = 0;
  while (done < bytes) {
    const ssize_t r = call(fd, p + done, bytes - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      if (done == 0) return -1;
      break;
    }
    if (r == 0) break;
    done += static_cast<std::size_t>(r);
  }
  return static_cast<long long>(done);
}

long long ReadFull(int fd, void* buf, std::size_t bytes) {
  return TransferFull(fd, static_cast<char*>(buf), bytes, read);
}

long long WriteFull(int fd, const void* buf, std::size_t bytes) {
  return TransferFull(fd, static_cast<const char*>(buf), bytes, write);
}

std::string TempDir() {
  const char* env = std::getenv("TMPDIR");
  FileInfo info;
  if (env && *env && StatPath(env, info) && info.isDirectory) return env;
  return "/tmp";
}

// splitmix64: a cheap mixer; the names only need to differ, not to be secret.
static std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

static bool FreshNameOrThrow(const std::string& dir, const std::string& prefix, std::string& name) {
  static std::atomic<std::uint64_t> counter{0};
  static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  const std::string base = dir.empty() ? TempDir() : dir;
  const bool needSlash = base.back() != '/';
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  std::uint64_t seed = Mix(static_cast<std::uint64_t>(ts.tv_nsec) ^
                           (static_cast<std::uint64_t>(ts.tv_sec) << 20) ^
                           (static_cast<std::uint64_t>(getpid()) << 40));
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::uint64_t r = Mix(seed ^ counter.fetch_add(1));
    std::string candidate = base;
    if (needSlash) candidate += '/';
    candidate += prefix;
    for (int i = 0; i < 6; ++i) {
      candidate += kAlphabet[r % 62];
      r /= 62;
    }
    struct stat st;
    if (lstat(candidate.c_str(), &st) != 0 && errno == ENOENT) {
      name = candidate;
      return true;
    }
    seed = Mix(seed);
  }
  errno = EEXIST;
  return false;
}

bool FreshName(const std::string& dir, const std::string& prefix, std::string& name) {
  try {
    return FreshNameOrThrow(dir, prefix, name);
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return false;
  }
}

ReplacingFile::~ReplacingFile() { Abandon(); }

bool ReplacingFile::Open(const char* target, const char* temp) {
  Abandon();
  if (!target || !*target) {
    errno = EINVAL;
    return false;
  }
  try {
    return OpenOrThrow(target, temp);
  } catch (const std::bad_alloc&) {
    Abandon();  // a new file already made goes again
    errno = ENOMEM;
    return false;
  }
}

bool ReplacingFile::OpenOrThrow(const char* target, const char* temp) {
  m_target = target;
  int fd = -1;
  if (temp) {
    m_temp = temp;
    fd = open(temp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } else {
    const std::size_t slash = m_target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : m_target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? m_target : m_target.substr(slash + 1);
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
      if (!FreshName(dir, base + ".tmp", m_temp)) return false;
      fd = open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0 && errno != EEXIST) break;
    }
  }
  if (fd < 0) {
    m_temp.clear();
    return false;
  }
  // The rewritten file keeps the permissions of the one it replaces.
  struct stat st;
  if (stat(target, &st) == 0 && S_ISREG(st.st_mode)) (void)fchmod(fd, st.st_mode & 07777);
  m_file = fdopen(fd, "w");
  if (!m_file) {
    const int err = errno;
    close(fd);
    unlink(m_temp.c_str());
    m_temp.clear();
    errno = err;
    return false;
  }
  return true;
}

bool ReplacingFile::Commit() {
  if (!m_file) {
    errno = EBADF;
    return false;
  }
  bool ok = std::fflush(m_file) == 0 && !std::ferror(m_file);
  // Data still in the system's cache can yet fail to reach the disk: sync before the rename.
  ok = ok && fsync(fileno(m_file)) == 0;
  int err = ok ? 0 : errno;
  if (std::fclose(m_file) != 0 && ok) {
    ok = false;
    err = errno;
  }
  m_file = nullptr;
  if (ok && std::rename(m_temp.c_str(), m_target.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlink(m_temp.c_str());
    errno = err ? err : EIO;
  }
  m_temp.clear();
  return ok;
}

void ReplacingFile::Abandon() {
  if (m_file) {
    std::fclose(m_file);
    m_file = nullptr;
  }
  if (!m_temp.empty()) {
    const int err = errno;
    unlink(m_temp.c_str());
    errno = err;
    m_temp.clear();
  }
}

}  // namespace kvplat
