// CBF_wrap64.cpp: 64-bit positions and block transfers on streams and descriptors, the
// single path of all portable binary file traffic. The stream forms act on the stream's
// descriptor, so the stream's own buffer is neither used nor flushed.
#include "kvelosys.h"

#include "platform/plat_file.h"
#include "platform/plat_text.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

// Byte count of one transfer; -1 when the request is refused before any call: a null buffer,
// a negative count, or a product above 2^31-1 (one call moves at most that many bytes).
long long TransferBytes(const void* buf, size_t size, int count) {
  if (!buf || count < 0) return -1;
  const unsigned long long bytes = static_cast<unsigned long long>(size) * static_cast<unsigned long long>(count);
  if (size > static_cast<size_t>(INT_MAX) || bytes > static_cast<unsigned long long>(INT_MAX)) return -1;
  return static_cast<long long>(bytes);
}

size_t Elements(long long moved, size_t size) {
  // A failure becomes (size_t)-1 / size, which never equals a requested count.
  return static_cast<size_t>(moved) / size;
}

// One block transfer of count elements on fd through full (the whole-transfer loop of the
// direction); the elements moved. A refused request or a missing descriptor (fd < 0, also
// what a null stream is handed as) sets errno to EINVAL and moves nothing.
template <typename Buf, typename Full>
size_t Block(Buf* buf, size_t size, int count, int fd, Full full) {
  if (size == 0) return 0;
  const long long bytes = TransferBytes(buf, size, count);
  if (bytes < 0 || fd < 0) {
    errno = EINVAL;
    return 0;
  }
  return Elements(full(fd, buf, static_cast<size_t>(bytes)), size);
}

int StreamFd(FILE* stream) { return stream ? fileno(stream) : -1; }

}  // namespace

extern "C" {

FILE* CBF_fopen64(const wchar_t* name, const wchar_t* mode) {
  std::string n, m;
  if (!kvplat::NarrowName(name, n) || !kvplat::NarrowName(mode, m)) return nullptr;
  return std::fopen(n.c_str(), m.c_str());
}

int CBF_open64(const wchar_t* name, int flags) {
  std::string n;
  if (!kvplat::NarrowName(name, n)) return -1;
  return open(n.c_str(), flags, 0600);
}

int CBF_fclose64(FILE* stream) {
  if (!stream) {
    errno = EINVAL;
    return EOF;
  }
  return std::fclose(stream);
}

int CBF_close64(int fd) { return close(fd); }

long long CBF_fseek64(FILE* stream, long long offset, int origin) {
  const long long pos = CBF_lseek64(kvelo_fileno(stream), offset, origin);
  return pos >= 0 ? 0 : -1;
}

long long CBF_lseek64(int fd, long long offset, int origin) {
  if (fd < 0) {
    errno = EBADF;
    return -1;
  }
  return static_cast<long long>(lseek(fd, static_cast<off_t>(offset), origin));
}

long long CBF_ftell64(FILE* stream) { return CBF_tell64(kvelo_fileno(stream)); }

long long CBF_tell64(int fd) { return CBF_lseek64(fd, 0, SEEK_CUR); }

size_t CBF_fwrite64(const void* buf, size_t size, int count, FILE* stream) {
  return Block(buf, size, count, StreamFd(stream), kvplat::WriteFull);
}

size_t CBF_fread64(void* buf, size_t size, int count, FILE* stream) {
  return Block(buf, size, count, StreamFd(stream), kvplat::ReadFull);
}

size_t CBF_write64(const void* buf, size_t size, int count, int fd) {
  return Block(buf, size, count, fd, kvplat::WriteFull);
}

size_t CBF_read64(void* buf, size_t size, int count, int fd) { return Block(buf, size, count, fd, kvplat::ReadFull); }

}  // extern "C"
