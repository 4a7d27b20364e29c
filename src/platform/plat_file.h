// plat_file.h: the POSIX file services behind the library's file wrappers: stat of names and
// descriptors, whole transfers on descriptors, the temporary directory and fresh names.
// Narrow names are UTF-8; wide names are converted with plat_text before any call.
#ifndef KVELO_PLAT_FILE_H
#define KVELO_PLAT_FILE_H

#include <cstddef>
#include <cstdio>
#include <string>

namespace kvplat {

struct FileInfo {
  long long size = 0;   // bytes
  long long mtime = 0;  // modification time, seconds since 1970
  bool isDirectory = false;
  bool isRegular = false;
};

bool StatPath(const char* path, FileInfo& info);  // false (errno set) when stat fails or path is null
bool StatFd(int fd, FileInfo& info);              // false (errno set) when fstat fails
// Bytes between the descriptor's position and the end of a regular file; -1 when fd is not a
// regular file or its size or position cannot be had (a pipe, a terminal, a bad descriptor).
long long RemainingBytes(int fd);

// Moves bytes until all are done, end of file (read) or an error; EINTR is retried. Returns
// the bytes moved, or -1 when the first call failed (errno set).
long long ReadFull(int fd, void* buf, std::size_t bytes);
long long WriteFull(int fd, const void* buf, std::size_t bytes);

// $TMPDIR when it names a directory, else "/tmp".
std::string TempDir();
// A name in dir (TempDir() when dir is empty) made of prefix and six random letters or digits
// that no file has at the time of the call; the file is not created. False after many tries
// (errno EEXIST), or when memory runs out (ENOMEM); never throws.
bool FreshName(const std::string& dir, const std::string& prefix, std::string& name);

// A named file rewritten whole or not at all. The data go to a new file in the same directory;
// only when every byte has reached the disk does it take the name, in one rename, so that a
// write that fails part way (a full disk) never leaves a cut file where a good one was: the
// named file is then exactly as it was and the new file is gone.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile();  // abandons a file not committed
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Creates the new file for target: temp when given (an earlier one is emptied), else a fresh
  // name beside target. It gets the permissions of an existing target, else those of a new
  // file. false with errno when it cannot be made (ENOMEM when memory runs out; no new file
  // is then left behind); never throws.
  bool Open(const char* target, const char* temp = nullptr);
  FILE* Stream() const { return m_file; }
  // Flushes, syncs and closes the new file and renames it over target: true; false with errno
  // when any step fails (the new file is then removed, target untouched).
  bool Commit();
  // Closes and removes the new file; target untouched.
  void Abandon();

 private:
  bool OpenOrThrow(const char* target, const char* temp);  // Open letting std::bad_alloc pass

  std::string m_target;
  std::string m_temp;
  FILE* m_file = nullptr;
};

}  // namespace kvplat
#endif
