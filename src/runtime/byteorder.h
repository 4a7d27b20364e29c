// byteorder.h: host byte order and element byte reversal shared by the portable binary
// values and the typed binary arrays.
#ifndef KVELO_RUNTIME_BYTEORDER_H
#define KVELO_RUNTIME_BYTEORDER_H

#include <cstring>

namespace kvbyte {

// The order test of the file formats: an int whose bytes, most significant first, are
// 1, 2, 3, 4 is big-endian when its first byte in memory is 1.
inline bool HostIsBigEndian() {
  static const int kProbe = 0x01020304;
  unsigned char first;
  std::memcpy(&first, &kProbe, 1);
  return first == 1;
}

// Reverses the bytes of one element of N bytes in place.
template <unsigned N>
inline void Reverse(unsigned char* p) {
  for (unsigned i = 0; i < N / 2; ++i) {
    const unsigned char t = p[i];
    p[i] = p[N - 1 - i];
    p[N - 1 - i] = t;
  }
}

// Reverses each of the n elements of N bytes starting at p.
template <unsigned N>
inline void ReverseEach(void* p, long long n) {
  unsigned char* b = static_cast<unsigned char*>(p);
  for (long long i = 0; i < n; ++i) Reverse<N>(b + i * N);
}

}  // namespace kvbyte
#endif
