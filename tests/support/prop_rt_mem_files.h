// prop_rt_mem_files.h: what the harnesses of out-of-core units, mappings, the work space and
// the system wrappers share: a private directory whose every file is read back as bytes, wide
// names with odd characters and their UTF-8 form, names padded to the system's path limit, the
// descriptors and mappings the process holds on that directory, and the faults a call can be
// run under (no library heap, no operator new, files that cannot grow as on a full disk).
#ifndef KVELO_TEST_PROP_RT_MEM_FILES_H
#define KVELO_TEST_PROP_RT_MEM_FILES_H

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <new>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "failing_new.h"
#include "ooc_files.h"
#include "runtime/heap_limit.h"
#include "runtime/m_err_internal.h"

namespace kvtest {
namespace rtmem {

using Bytes = std::vector<unsigned char>;

// UTF-8 of a wide string of Unicode scalar values (the test's own encoder, independent of the
// library's).
inline std::string Utf8(const std::wstring& w) {
  std::string out;
  for (wchar_t wc : w) {
    const unsigned long c = static_cast<unsigned long>(wc);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// The wide form of an ASCII path (the directory names made here are ASCII).
inline std::wstring WideAscii(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// A fresh directory that $TMPDIR names while it lives (PrivateTmpDir); whatever is left in it,
// directories included, goes with it (so that a failing case leaves nothing either).
class Dir : public PrivateTmpDir {
 public:
  Dir() = default;
  ~Dir() { Clear(); }

  void Clear() const {
    for (const std::string& f : Entries()) {
      const std::string p = File(f);
      struct stat st;
      if (lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        rmdir(p.c_str());
      } else {
        unlink(p.c_str());
      }
    }
  }
  std::vector<std::string> Entries() const { return Files(); }
  // Every entry with its bytes (a directory reads as the one byte 'D').
  std::map<std::string, Bytes> Contents() const {
    std::map<std::string, Bytes> out;
    for (const std::string& e : Entries()) out[e] = ReadAll(File(e));
    return out;
  }
  static Bytes ReadAll(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Bytes{'D'};
    Bytes b;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return b;
    unsigned char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) b.insert(b.end(), buf, buf + n);
    close(fd);
    return b;
  }
  static bool WriteAll(const std::string& path, const Bytes& b) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool ok = b.empty() || write(fd, b.data(), b.size()) == static_cast<ssize_t>(b.size());
    return close(fd) == 0 && ok;
  }

  // Descriptors of this process open on something in the directory.
  int OpenDescriptors() const {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    if (!d) return 0;
    while (dirent* e = readdir(d)) {
      char target[PATH_MAX + 1];
      const std::string link = std::string("/proc/self/fd/") + e->d_name;
      const ssize_t len = readlink(link.c_str(), target, PATH_MAX);
      if (len <= 0) continue;
      target[len] = '\0';
      if (std::strncmp(target, Path().c_str(), Path().size()) == 0 && target[Path().size()] == '/') ++n;
    }
    closedir(d);
    return n;
  }
  // Lines of /proc/self/maps naming a file of the directory (deleted ones included).
  std::vector<std::string> Mappings() const {
    std::vector<std::string> out;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    const std::string key = Path() + "/";
    while (std::getline(maps, line)) {
      if (line.find(key) != std::string::npos) out.push_back(line);
    }
    return out;
  }
};

// A path naming dir/entry spelt with extra slashes so that it is exactly `bytes` bytes long
// (bytes - 1 is the longest path the system takes; bytes = PATH_MAX is one too long).
inline std::string Padded(const std::string& dir, const std::string& entry, size_t bytes) {
  const size_t plain = dir.size() + 1 + entry.size();
  if (bytes <= plain) return dir + "/" + entry;
  return dir + std::string(bytes - plain + 1, '/') + entry;
}

// Odd entry names: blanks, control bytes, a newline, characters of two, three and four UTF-8
// bytes, a leading dash and dot. Each is made unique with n.
inline std::wstring OddName(int kind, int n) {
  const std::wstring num = std::to_wstring(n);
  switch (kind % 8) {
    case 0: return L"f" + num;
    case 1: return L"f " + num + L" .bin";
    case 2: return L"f\n" + num;
    case 3: return std::wstring(L"f\x01\x7f") + num;
    case 4: return L"f\u00e9" + num;
    case 5: return L"f\u4e2d" + num;
    case 6: return std::wstring(L"f") + static_cast<wchar_t>(0x1F600) + num;
    default: return L"-f.d" + num;
  }
}

// Runs f with stderr sent nowhere (the C library reports its errors there); returns the code
// of the last error reported through _LM_error during the call (0 for none).
template <class F>
int Quietly(F f) {
  std::fflush(stderr);
  const int saved = dup(2);
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null >= 0) {
    dup2(null, 2);
    close(null);
  }
  LM_ResetErrors();
  f();
  const int code = LM_LastErrorCode();
  std::fflush(stderr);
  if (saved >= 0) {
    dup2(saved, 2);
    close(saved);
  }
  return code;
}

// The fault a call runs under. Heap: the library's C heap gives `k` more blocks and then none.
// New: operator new gives k more and then none. Disk: files cannot grow past `k` bytes
// (RLIMIT_FSIZE, SIGXFSZ ignored), as on a full disk.
struct Fault {
  enum Kind { None, Heap, New, Disk } kind = None;
  long k = 0;
};

inline const char* FaultName(Fault::Kind k) {
  switch (k) {
    case Fault::Heap: return "heap";
    case Fault::New: return "new";
    case Fault::Disk: return "disk";
    default: return "none";
  }
}

inline std::ostream& operator<<(std::ostream& os, const Fault& f) {
  os << FaultName(f.kind);
  if (f.kind != Fault::None) os << "@" << f.k;
  return os;
}

// Runs f under the fault (no allocation of the test may fall inside); true when the fault
// was met (a block or an allocation was refused; for the disk, always).
template <class F>
bool UnderFault(const Fault& fault, F f) {
  // The fault is lifted however f leaves, also by an exception.
  struct Lift {
    const Fault& fault;
    struct rlimit old;
    bool met = false;
    ~Lift() {
      switch (fault.kind) {
        case Fault::Heap:
          met = kvrt::HeapBlocksRanOut();
          kvrt::SetHeapBlocksLeft(-1);
          break;
        case Fault::New:
          met = NewWasRefused();
          Heal();
          break;
        case Fault::Disk:
          setrlimit(RLIMIT_FSIZE, &old);
          break;
        default:
          break;
      }
    }
  } lift{fault, {}};
  switch (fault.kind) {
    case Fault::Heap:
      kvrt::SetHeapBlocksLeft(fault.k);
      break;
    case Fault::New:
      FailNewAfter(fault.k);
      break;
    case Fault::Disk: {
      signal(SIGXFSZ, SIG_IGN);
      getrlimit(RLIMIT_FSIZE, &lift.old);
      struct rlimit lim = lift.old;
      lim.rlim_cur = static_cast<rlim_t>(fault.k);
      setrlimit(RLIMIT_FSIZE, &lim);
      break;
    }
    default:
      break;
  }
  f();
  switch (fault.kind) {
    case Fault::Heap: return kvrt::HeapBlocksRanOut();
    case Fault::New: return NewWasRefused();
    case Fault::Disk: return true;
    default: return false;
  }
}

}  // namespace rtmem
}  // namespace kvtest

#endif
