// pipe_feed.h: streams whose size a reader cannot know before reading (a pipe fed with given
// bytes by a thread) and a ceiling on the single blocks of the library's heap, so that the
// tests of every binary reader can show that its memory follows the data that arrive, not
// the counts a header claims: a block sized from a huge claim fails in every build.
#ifndef KVELO_TESTS_PIPE_FEED_H
#define KVELO_TESTS_PIPE_FEED_H

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <thread>
#include <utility>

#include "binfile.h"
#include "runtime/heap_limit.h"

namespace kvtest {

// The read end of a pipe as a FILE*, fed with bytes by a thread that then closes the write
// end (so forms larger than the pipe's buffer go through). The read end is closed before the
// thread is joined: a write that the reader left waiting then fails (SIGPIPE is blocked in
// the writer) and the thread ends.
class PipeFeed {
 public:
  explicit PipeFeed(kvtest::Bytes bytes) {
    int fds[2];
    if (pipe(fds) != 0) return;
    f_ = fdopen(fds[0], "rb");
    if (f_ == nullptr) {
      close(fds[0]);
      close(fds[1]);
      return;
    }
    const int wfd = fds[1];
    writer_ = std::thread([wfd, b = std::move(bytes)] {
      sigset_t pipeSignal;
      sigemptyset(&pipeSignal);
      sigaddset(&pipeSignal, SIGPIPE);
      pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
      size_t done = 0;
      while (done < b.size()) {
        const ssize_t n = write(wfd, b.data() + done, b.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
      close(wfd);
    });
  }
  ~PipeFeed() {
    if (f_ != nullptr) std::fclose(f_);
    if (writer_.joinable()) writer_.join();
  }
  PipeFeed(const PipeFeed&) = delete;
  PipeFeed& operator=(const PipeFeed&) = delete;

  // The read end; null when the pipe could not be made.
  FILE* get() const { return f_; }

 private:
  FILE* f_ = nullptr;
  std::thread writer_;
};

// Blocks of the library's heap above bytes are refused while this lives.
class HeapCeiling {
 public:
  explicit HeapCeiling(size_t bytes) { kvrt::SetHeapBlockLimit(bytes); }
  ~HeapCeiling() { kvrt::SetHeapBlockLimit(0); }
  HeapCeiling(const HeapCeiling&) = delete;
  HeapCeiling& operator=(const HeapCeiling&) = delete;
};

}  // namespace kvtest

#endif
