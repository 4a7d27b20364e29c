// vmorse_support.h: helpers for the tests of the sparse, bit and structured vectors: dense
// vectors from lists, anonymous files filled with given bytes or read back whole, and
// big-endian byte builders for hand-made binary forms.
#ifndef KVELO_TEST_VMORSE_SUPPORT_H
#define KVELO_TEST_VMORSE_SUPPORT_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "matrix.h"

namespace sparse_test {

using Bytes = std::vector<unsigned char>;

// A new VEC holding the values (caller frees with v_free).
inline VEC* Vec(std::initializer_list<double> vals) {
  int st = 0;
  VEC* v = _LM_v_get("test", 0, static_cast<int>(vals.size()), __LINE__, "Vec", &st);
  unsigned i = 0;
  for (double x : vals) v->ve[i++] = x;
  return v;
}

inline VEC* Vec(const std::vector<double>& vals) {
  int st = 0;
  VEC* v = _LM_v_get("test", 0, static_cast<int>(vals.size()), __LINE__, "Vec", &st);
  for (size_t i = 0; i < vals.size(); ++i) v->ve[i] = vals[i];
  return v;
}

// A new IVEC holding the values (caller frees with iv_free).
inline IVEC* Ivec(std::initializer_list<int> vals) {
  int st = 0;
  IVEC* v = _LM_iv_get("test", 0, static_cast<int>(vals.size()), __LINE__, "Ivec", &st);
  unsigned i = 0;
  for (int x : vals) v->ive[i++] = x;
  return v;
}

inline std::vector<double> Values(const VEC* v) { return std::vector<double>(v->ve, v->ve + v->dim); }
inline std::vector<int> Values(const IVEC* v) { return std::vector<int>(v->ive, v->ive + v->dim); }

// Big-endian builders of hand-made binary forms.
inline void PutInt(Bytes& b, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<unsigned char>(u >> s));
}
inline void PutDouble(Bytes& b, double v) {
  uint64_t u;
  std::memcpy(&u, &v, 8);
  for (int s = 56; s >= 0; s -= 8) b.push_back(static_cast<unsigned char>(u >> s));
}

// An anonymous file holding bytes, positioned at its start (caller closes it).
inline FILE* FileWith(const Bytes& bytes) {
  FILE* f = std::tmpfile();
  if (f == nullptr) return nullptr;
  if (!bytes.empty() && write(fileno(f), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    std::fclose(f);
    return nullptr;
  }
  lseek(fileno(f), 0, SEEK_SET);
  return f;
}

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

// Position of the file's descriptor.
inline long Position(FILE* f) { return static_cast<long>(lseek(fileno(f), 0, SEEK_CUR)); }

}  // namespace sparse_test

#endif
