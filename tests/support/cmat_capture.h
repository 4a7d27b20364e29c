// cmat_capture.h: what a call prints, for the tests of printers: the text written to a FILE*
// handed to the call, and the text it sends to the standard output and error streams.
#ifndef KVELO_TESTS_CMAT_CAPTURE_H
#define KVELO_TESTS_CMAT_CAPTURE_H

#include <gtest/gtest.h>

#include "binfile.h"

#include <cstdio>
#include <string>

namespace cmat_test {

// Runs fn(FILE*) on a temporary file and returns what it wrote.
template <class Fn>
std::string CaptureFile(Fn fn) {
  return kvtest::PrintedBy(fn);
}

// What a call printed on the two standard streams.
struct StdStreams {
  std::string out;
  std::string err;
};

// Runs fn() with stdout and stderr captured and returns what each received.
template <class Fn>
StdStreams CaptureStdStreams(Fn fn) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  fn();
  std::fflush(stdout);
  std::fflush(stderr);
  StdStreams got;
  got.out = testing::internal::GetCapturedStdout();
  got.err = testing::internal::GetCapturedStderr();
  return got;
}

}  // namespace cmat_test

#endif
