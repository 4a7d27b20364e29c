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

// Opens path for reading and writing, creating it when no file has the name (created tells
// which; a file made here is the caller's to remove on failure): fd, or -1 with errno.
int OpenOrCreate(const char* path, bool& created);
// What tells one file from every other, whatever the name it is reached by: its device and
// inode; and its length. false with errno when fstat fails.
struct FileIdentity {
  unsigned long long device = 0;
  unsigned long long inode = 0;
  long long length = 0;
  bool Same(const FileIdentity& o) const { return device == o.device && inode == o.inode; }
};
bool IdentityOf(int fd, FileIdentity& id);
// Reserves the disk blocks of the bytes [offset, offset + length) of the file, within its
// length, without changing a byte or the length: holes of a sparse file then cannot fail to
// be written later. true when done or when the file system cannot reserve; false with errno
// (ENOSPC) when the blocks cannot be had.
bool ReserveRange(int fd, long long offset, long long length);

}  // namespace kvplat
#endif
