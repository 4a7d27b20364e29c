// plat_mmap.cpp: POSIX files and shared mappings that stand in for the file-mapping and
// temporary-file services of the original platform.
#include "platform/plat_mmap.h"

#include "platform/plat_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <new>
#include <unistd.h>

namespace kvplat {

long long AllocationGranularity() {
  const long page = sysconf(_SC_PAGESIZE);
  return page > 0 ? page : 4096;
}

int CreateTempFile(const std::string& dir, const std::string& prefix, std::string& path) {
  try {
    // Every allocation comes before the file is made: once it exists, nothing can fail.
    std::string templ = dir.empty() ? TempDir() : dir;
    if (templ.back() != '/') templ += '/';
    templ += prefix;
    templ += "XXXXXX";
    std::string made(templ);
    const int fd = mkstemp(&made[0]);  // owner read/write only; the X's are replaced in place
    if (fd < 0) return -1;
    path.swap(made);
    return fd;
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return -1;
  }
}

int OpenReadWrite(const char* path, bool create) {
  if (!path) {
    errno = EINVAL;
    return -1;
  }
  return open(path, O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
}

int CloseFile(int fd) { return close(fd); }

bool SetFileLength(int fd, long long length) {
  if (length < 0) {
    errno = EINVAL;
    return false;
  }
  return ftruncate(fd, static_cast<off_t>(length)) == 0;
}

long long FileLength(int fd) {
  FileInfo info;
  return StatFd(fd, info) ? info.size : -1;
}

void* MapFile(int fd, long long offset, std::size_t length, bool writable) {
  if (length == 0 || offset < 0 || offset % AllocationGranularity() != 0) {
    errno = EINVAL;
    return nullptr;
  }
  const int prot = writable ? (PROT_READ | PROT_WRITE) : PROT_READ;
  void* p = mmap(nullptr, length, prot, MAP_SHARED, fd, static_cast<off_t>(offset));
  return p == MAP_FAILED ? nullptr : p;
}

bool UnmapFile(void* address, std::size_t length) {
  if (!address) {
    errno = EINVAL;
    return false;
  }
  return munmap(address, length) == 0;
}

}  // namespace kvplat
