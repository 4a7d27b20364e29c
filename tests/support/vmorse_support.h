// vmorse_support.h: helpers for the tests of the sparse, bit and structured vectors: dense
// vectors from lists, anonymous files filled with given bytes or read back whole, big-endian
// byte builders for hand-made binary forms, the truncated and damaged copies of a form, and
// the table of dense vectors with the entries their sparse forms must keep.
#ifndef KVELO_TEST_VMORSE_SUPPORT_H
#define KVELO_TEST_VMORSE_SUPPORT_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
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

// A dense vector and the indices that every dense-to-sparse conversion, writer and statistic
// must keep from it: |x_i| > 1e-16 times the largest finite |x_j|, and every infinite or NaN
// entry (worked out by hand).
struct KeptCase {
  std::vector<double> x;
  std::vector<int> kept;
  const char* what;
};

inline std::vector<KeptCase> KeptCases() {
  const double inf = HUGE_VAL, nan = std::nan("");
  return {
      {{1, 1e-10, 0, -1e-17}, {0, 1}, "threshold 1e-16: 1e-10 kept, -1e-17 not"},
      {{1, 1e-16}, {0}, "1e-16 is the threshold itself, not above it"},
      {{0, 1e-17, 1, -2}, {2, 3}, "threshold 2e-16"},
      {{0, 0, 0}, {}, "all zero: nothing kept"},
      {{inf, 1, 0, 1e-20}, {0, 1}, "an infinite entry: the threshold comes from 1"},
      {{2, -inf, 1e-15, 1e-17}, {0, 1, 2}, "-inf among finite entries"},
      {{1, 2, nan}, {0, 1, 2}, "a NaN last"},
      {{nan, 1, 3e-17, 2}, {0, 1, 3}, "a NaN first"},
      {{inf, -inf, nan}, {0, 1, 2}, "no finite entry"},
      {{0, inf, 5, 5, 0, 7}, {1, 2, 3, 5}, "a run that starts with an infinite entry"},
  };
}

// Whether got holds exactly the values x[i] for the kept indices, in that order (a NaN
// matches a NaN).
inline bool SameKept(const std::vector<std::pair<int, double>>& got, const KeptCase& c) {
  if (got.size() != c.kept.size()) return false;
  for (size_t k = 0; k < got.size(); ++k) {
    const double want = c.x[static_cast<size_t>(c.kept[k])];
    if (got[k].first != c.kept[k]) return false;
    if (std::isnan(want) ? !std::isnan(got[k].second) : got[k].second != want) return false;
  }
  return true;
}

// Text of a list of (index, value) pairs for failure messages.
inline std::string Show(const std::vector<std::pair<int, double>>& e) {
  std::string s;
  for (const auto& p : e) s += "(" + std::to_string(p.first) + ", " + std::to_string(p.second) + ") ";
  return s;
}

}  // namespace sparse_test

#endif
