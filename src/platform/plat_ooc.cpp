// plat_ooc.cpp: read-only opening and space-reserving resizes of out-of-core data files
// (open, fallocate, ftruncate).
#include "platform/plat_ooc.h"

#include "platform/plat_mmap.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvplat {

int OpenReadOnly(const char* path) {
  if (!path) {
    errno = EINVAL;
    return -1;
  }
  return open(path, O_RDONLY | O_CLOEXEC);
}

bool ResizeFileReserved(int fd, long long length) {
  if (length < 0) {
    errno = EINVAL;
    return false;
  }
  const long long current = FileLength(fd);
  if (current < 0) return false;
  if (length <= current) return length == current || ftruncate(fd, static_cast<off_t>(length)) == 0;
  // The system call itself, never the C library's emulation, which writes a byte per block
  // and would crawl through a huge request.
  if (fallocate(fd, 0, static_cast<off_t>(current), static_cast<off_t>(length - current)) == 0) return true;
  if (errno == EOPNOTSUPP || errno == ENOSYS) {
    if (ftruncate(fd, static_cast<off_t>(length)) == 0) return true;
  }
  // A real failure (ENOSPC, EFBIG): a request that got part of the way may have left blocks or
  // length behind; the file goes back to its old length, so that nothing changed.
  const int err = errno;
  (void)ftruncate(fd, static_cast<off_t>(current));
  errno = err;
  return false;
}

int OpenOrCreate(const char* path, bool& created) {
  created = false;
  if (!path) {
    errno = EINVAL;
    return -1;
  }
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = open(path, O_RDWR | O_CLOEXEC | O_CREAT | O_EXCL, 0600);
    if (fd >= 0) {
      created = true;
      return fd;
    }
    if (errno != EEXIST) return -1;
    fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT) return fd;  // gone in between: try again
  }
  return -1;
}

bool IdentityOf(int fd, FileIdentity& id) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  id.device = static_cast<unsigned long long>(st.st_dev);
  id.inode = static_cast<unsigned long long>(st.st_ino);
  id.length = static_cast<long long>(st.st_size);
  return true;
}

bool ReserveRange(int fd, long long offset, long long length) {
  if (offset < 0 || length < 0) {
    errno = EINVAL;
    return false;
  }
  if (length == 0) return true;
  if (fallocate(fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset), static_cast<off_t>(length)) == 0) return true;
  return errno == EOPNOTSUPP || errno == ENOSYS;
}

}  // namespace kvplat
