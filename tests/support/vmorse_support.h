// vmorse_support.h: helpers for the tests of the sparse, bit and structured vectors: dense
// vectors from lists, anonymous files filled with given bytes or read back whole, big-endian
// byte builders for hand-made binary forms, and the truncated and damaged copies of a form.
#ifndef KVELO_TEST_VMORSE_SUPPORT_H
#define KVELO_TEST_VMORSE_SUPPORT_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "binfile.h"
#include "dense_fixtures.h"
#include "matrix.h"

namespace sparse_test {

using kvtest::Bytes;

// The dense records are built and read as in the dense tests.
using cmat_test::Ints;
using cmat_test::NewIvec;
using cmat_test::NewVec;
using cmat_test::Values;

// Big-endian builders of hand-made binary forms, anonymous files holding bytes, and the
// descriptor's position, shared with every suite.
using kvtest::Position;
using kvtest::PutDouble;
using kvtest::PutInt;
using kvtest::StreamWith;

// Everything in the file, whatever its position; the position is put back at the start.
inline Bytes FileBytes(FILE* f) {
  std::fflush(f);
  Bytes out;
  lseek(fileno(f), 0, SEEK_SET);
  unsigned char buf[4096];
  ssize_t n;
  while ((n = read(fileno(f), buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
  lseek(fileno(f), 0, SEEK_SET);
  return out;
}

// Puts the file's descriptor back at the start (the binary primitives read through it).
inline void Rewind(FILE* f) {
  std::fflush(f);
  lseek(fileno(f), 0, SEEK_SET);
}

// Calls check(f, len) for every proper prefix of form, shortest first, with f an anonymous
// file holding the first len bytes; f is closed after each call.
template <class Check>
void ForEachPrefix(const Bytes& form, Check check) {
  for (size_t len = 0; len < form.size(); ++len) {
    FILE* f = StreamWith(Bytes(form.begin(), form.begin() + static_cast<long>(len)));
    ASSERT_NE(f, nullptr);
    check(f, len);
    std::fclose(f);
  }
}

// Calls check(f) for every single flipped bit of form, with f an anonymous file holding the
// damaged copy; f is closed after each call.
template <class Check>
void ForEachFlippedBit(const Bytes& form, Check check) {
  for (size_t pos = 0; pos < form.size(); ++pos) {
    for (int bit = 0; bit < 8; ++bit) {
      Bytes b = form;
      b[pos] ^= static_cast<unsigned char>(1u << bit);
      FILE* f = StreamWith(b);
      ASSERT_NE(f, nullptr);
      SCOPED_TRACE(testing::Message() << "byte " << pos << " bit " << bit);
      check(f);
      std::fclose(f);
    }
  }
}

}  // namespace sparse_test

#endif
