/* fuzz_support.h: what the reader harnesses share: the fuzzer's bytes as a file the readers
 * can open by name or as a stream whose size they can see (a regular file) or cannot (a pipe),
 * and a library that prints nothing while it refuses input. */
#ifndef KVELO_FUZZ_SUPPORT_H
#define KVELO_FUZZ_SUPPORT_H

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "C_MessageTool.h"

namespace kvfuzz {

/* A temporary file (in TMPDIR, or /tmp) that holds the given bytes while the object lives. */
class BytesFile {
 public:
  BytesFile(const uint8_t* data, size_t size) {
    const char* dir = std::getenv("TMPDIR");
    std::string tmpl = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") +
                       "/kvelo_fuzz_XXXXXX";
    const int fd = mkstemp(&tmpl[0]);
    if (fd < 0) std::abort();
    size_t done = 0;
    while (done < size) {
      const ssize_t w = write(fd, data + done, size - done);
      if (w <= 0) std::abort();
      done += static_cast<size_t>(w);
    }
    close(fd);
    path_ = tmpl;
  }
  ~BytesFile() { std::remove(path_.c_str()); }
  BytesFile(const BytesFile&) = delete;
  BytesFile& operator=(const BytesFile&) = delete;

  const char* Path() const { return path_.c_str(); }

 private:
  std::string path_;
};

// Bytes a pipe can take before anyone reads: the harnesses write first and read afterwards,
// without a thread, so longer inputs go through the regular file instead.
inline size_t PipeRoom(int wfd) {
  const int room = fcntl(wfd, F_GETPIPE_SZ);
  return room > 0 ? static_cast<size_t>(room) : 4096u;
}

// The bytes as a read-only FILE*: from a pipe when asked and when they fit in it, else from a
// temporary regular file. Owns the file (and the temporary) until destroyed.
class InputStream {
 public:
  InputStream(const uint8_t* data, size_t size, bool asPipe) {
    if (asPipe && OpenPipe(data, size)) return;
    file_.reset(new BytesFile(data, size));
    f_ = std::fopen(file_->Path(), "rb");
    if (f_ == nullptr) std::abort();
  }
  ~InputStream() {
    if (f_ != nullptr) std::fclose(f_);
  }
  InputStream(const InputStream&) = delete;
  InputStream& operator=(const InputStream&) = delete;

  FILE* Get() const { return f_; }
  bool IsPipe() const { return !file_; }

 private:
  bool OpenPipe(const uint8_t* data, size_t size) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    if (size > PipeRoom(fds[1])) fcntl(fds[1], F_SETPIPE_SZ, static_cast<int>(size));
    if (size > PipeRoom(fds[1])) {
      close(fds[0]);
      close(fds[1]);
      return false;
    }
    size_t done = 0;
    while (done < size) {
      const ssize_t w = write(fds[1], data + done, size - done);
      if (w <= 0) std::abort();
      done += static_cast<size_t>(w);
    }
    close(fds[1]);
    f_ = fdopen(fds[0], "rb");
    if (f_ == nullptr) std::abort();
    return true;
  }

  std::unique_ptr<BytesFile> file_;
  FILE* f_ = nullptr;
};

// The library's reports (fct_Trace marks, Erreur texts) go to the default message tool; a tool
// whose three streams are swallowed initializes without a message file and prints nothing.
inline void SilenceMessages() {
  static Kvelo::C_DevNullCtrl devnull;
  static bool done = false;
  if (done) return;
  done = true;
  Kvelo::C_MessageTool* tool = Kvelo::C_MessageTool::Instance("DefaultMessageTool");
  if (tool == nullptr) return;
  tool->setMessageStreamCtrl(devnull, Kvelo::MessageToolEnums::STREAM_ALL);
  tool->Initialize();
}

// Sends what the library writes on standard output to /dev/null while alive (a reader that
// reports on standard output by design); restored, flushed, on destruction.
class MuteStdout {
 public:
  MuteStdout() {
    std::fflush(stdout);
    saved_ = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    if (saved_ < 0 || null < 0 || dup2(null, 1) < 0) std::abort();
    close(null);
  }
  ~MuteStdout() {
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
  }
  MuteStdout(const MuteStdout&) = delete;
  MuteStdout& operator=(const MuteStdout&) = delete;

 private:
  int saved_ = -1;
};

}  // namespace kvfuzz

#endif
