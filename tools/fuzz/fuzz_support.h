/* fuzz_support.h: what the reader harnesses share: the fuzzer's bytes as a stream whose size
 * the reader can see (an anonymous regular file) or cannot (a pipe fed by a thread), both from
 * the tests' own fixtures, and a library that prints nothing while it refuses input. */
#ifndef KVELO_FUZZ_SUPPORT_H
#define KVELO_FUZZ_SUPPORT_H

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include "C_MessageTool.h"
#include "binfile.h"
#include "pipe_feed.h"

namespace kvfuzz {

// The bytes as a read-only FILE* at their start: a pipe when asked, else an anonymous regular
// file (whose descriptor the binary readers read through). Owns the stream until destroyed.
class InputStream {
 public:
  InputStream(const uint8_t* data, size_t size, bool asPipe) {
    kvtest::Bytes bytes(data, data + size);
    if (asPipe) {
      pipe_.reset(new kvtest::PipeFeed(std::move(bytes)));
      f_ = pipe_->get();
    } else {
      f_ = kvtest::StreamWith(bytes);
    }
    if (f_ == nullptr) std::abort();
  }
  ~InputStream() {
    if (!pipe_) std::fclose(f_);
  }
  InputStream(const InputStream&) = delete;
  InputStream& operator=(const InputStream&) = delete;

  FILE* Get() const { return f_; }

 private:
  std::unique_ptr<kvtest::PipeFeed> pipe_;
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
