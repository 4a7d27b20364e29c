// plat_ooc.h: the few file services of out-of-core memory that plat_mmap and plat_file lack:
// read-only opening for read-only views, and growing a data file with its disk space
// reserved, so that a full disk shows when the file is sized rather than as a fault later.
#ifndef KVELO_PLAT_OOC_H
#define KVELO_PLAT_OOC_H

namespace kvplat {

// Opens path for reading only (never created): fd, or -1 with errno.
int OpenReadOnly(const char* path);
// Sets the file's length to length bytes. Growing reserves the disk blocks of the new part
// (fallocate; a file system that cannot reserve falls back to a plain extension);
// shrinking cuts the file. false with errno on failure or a negative length; a growth that
// fails leaves the file at its old length.
bool ResizeFileReserved(int fd, long long length);

}  // namespace kvplat
#endif
