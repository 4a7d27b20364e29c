/* fuzz_rt_bfd.cpp: the typed binary arrays read from arbitrary bytes, every element type, both
 * byte orders, descriptor and stream forms, int and 64-bit counts, from a file or a pipe. A
 * complete read is checked against the bytes decoded here, element by element.
 * Input: byte 0 (bit 7: pipe), then a program of (op, count) byte pairs, up to the first 0xFF
 * byte; the rest is the stream. op: bits 0-2 type, bit 3 big-endian, bit 4 descriptor form,
 * bit 5 64-bit count. */
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "C_KveloException.h"
#include "C_bfd.h"
#include "fuzz_support.h"

namespace {

// The value a file's bytes hold in the given order, built here byte by byte.
template <typename T>
T Decode(const uint8_t* p, bool bigEndian) {
  unsigned char b[sizeof(T)];
  for (size_t i = 0; i < sizeof(T); ++i) b[i] = p[bigEndian ? sizeof(T) - 1 - i : i];
  // b now holds the value least significant byte first, the host's order here.
  T v;
  std::memcpy(&v, b, sizeof(T));
  return v;
}

template <typename R>
std::complex<R> DecodeComplex(const uint8_t* p, bool bigEndian) {
  return std::complex<R>(Decode<R>(p, bigEndian), Decode<R>(p + sizeof(R), bigEndian));
}

template <typename T>
bool Same(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// Reads n elements of T through the form op names; on success compares them with the bytes
// at expect (avail bytes of the stream from the read's start, or null when the position is not
// known). Returns the read's result.
template <typename T, typename Decoder>
int ReadAndCheck(FILE* f, int n, uint8_t op, const uint8_t* expect, size_t avail, Decoder decode) {
  const bool big = (op & 0x08) != 0;
  const bool fdForm = (op & 0x10) != 0;
  const bool wide = (op & 0x20) != 0;
  std::vector<T> out(static_cast<size_t>(n > 0 ? n : 1));
  int r;
  try {
    if (fdForm) {
      const int fd = fileno(f);
      r = wide ? T_BF_read(fd, out.data(), static_cast<long long>(n), big) : T_BF_read(fd, out.data(), n, big);
    } else {
      r = wide ? T_BF_read(f, out.data(), static_cast<long long>(n), big) : T_BF_read(f, out.data(), n, big);
    }
  } catch (const C_KveloException&) {
    return -1;  // chars from a descriptor in reversed order: a documented refusal
  }
  if (r == 0 && expect != nullptr && n > 0) {
    const size_t need = static_cast<size_t>(n) * sizeof(T);
    if (need > avail) std::abort();  // success past the end of the bytes
    for (int i = 0; i < n; ++i)
      if (!Same(out[static_cast<size_t>(i)], decode(expect + static_cast<size_t>(i) * sizeof(T), big)))
        std::abort();
  }
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvfuzz::SilenceMessages();
  if (size < 1) return 0;
  const bool pipe = (data[0] & 0x80) != 0;
  size_t p = 1;
  std::vector<std::pair<uint8_t, uint8_t> > program;
  while (p + 1 < size && data[p] != 0xFF && program.size() < 16) {
    program.emplace_back(data[p], data[p + 1]);
    p += 2;
  }
  if (p < size && data[p] == 0xFF) ++p;
  const uint8_t* bytes = data + p;
  const size_t count = size - p;
  kvfuzz::InputStream in(bytes, count, pipe);
  FILE* f = in.Get();
  // Every reader moves the descriptor itself (the stream buffers nothing), so the offset is
  // known while every step has succeeded.
  size_t offset = 0;
  for (const auto& step : program) {
    const uint8_t op = step.first;
    // A count of 0 or a negative one is refused (int form) or reads nothing (64-bit form).
    const int n = static_cast<int>(step.second) - 2;
    const uint8_t* expect = offset <= count ? bytes + offset : nullptr;
    const size_t avail = offset <= count ? count - offset : 0;
    int r = -1;
    size_t elem = 0;
    switch (op & 0x07) {
      case 0: r = ReadAndCheck<char>(f, n, op, expect, avail, Decode<char>); elem = 1; break;
      case 1: r = ReadAndCheck<int>(f, n, op, expect, avail, Decode<int>); elem = 4; break;
      case 2: r = ReadAndCheck<long long>(f, n, op, expect, avail, Decode<long long>); elem = 8; break;
      case 3: r = ReadAndCheck<float>(f, n, op, expect, avail, Decode<float>); elem = 4; break;
      case 4: r = ReadAndCheck<double>(f, n, op, expect, avail, Decode<double>); elem = 8; break;
      case 5:
        r = ReadAndCheck<std::complex<float> >(f, n, op, expect, avail, DecodeComplex<float>);
        elem = 8;
        break;
      default:
        r = ReadAndCheck<std::complex<double> >(f, n, op, expect, avail, DecodeComplex<double>);
        elem = 16;
        break;
    }
    if (r != 0) break;
    if (n > 0) offset += static_cast<size_t>(n) * elem;
  }
  return 0;
}
