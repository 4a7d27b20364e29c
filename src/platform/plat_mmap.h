// plat_mmap.h: shared file mappings and the data files behind them, for out-of-core blocks
// and the work space: temporary files made with mkstemp, lengths set with ftruncate,
// views made with mmap(MAP_SHARED). Offsets of views are multiples of the granularity.
#ifndef KVELO_PLAT_MMAP_H
#define KVELO_PLAT_MMAP_H

#include <cstddef>
#include <string>

namespace kvplat {

long long AllocationGranularity();  // the page size: alignment of view offsets

// Creates a new empty file named prefix + six unique characters in dir (TempDir() when dir
// is empty), open for reading and writing, owner-only; its name goes to path. fd, or -1 (errno
// set; ENOMEM when memory runs out, path then unchanged and no file made); never throws.
int CreateTempFile(const std::string& dir, const std::string& prefix, std::string& path);
// Opens path for reading and writing (created, owner read/write, when create is true): fd or -1.
int OpenReadWrite(const char* path, bool create);
int CloseFile(int fd);                           // 0, or -1
bool SetFileLength(int fd, long long length);    // longer or shorter; false on failure or length < 0
long long FileLength(int fd);                    // bytes, or -1

// A shared view of length bytes of fd from offset (a multiple of AllocationGranularity()),
// writable or read-only; null on failure (length 0, bad offset, bad descriptor).
void* MapFile(int fd, long long offset, std::size_t length, bool writable);
bool UnmapFile(void* address, std::size_t length);  // false on failure or null address

}  // namespace kvplat
#endif
