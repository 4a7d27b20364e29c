// byteorder.h: host byte order, element byte reversal, and the block transfers of elements
// shared by the portable binary values and the typed binary arrays.
#ifndef KVELO_RUNTIME_BYTEORDER_H
#define KVELO_RUNTIME_BYTEORDER_H

#include <algorithm>
#include <climits>
#include <cstddef>
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

// Largest count of T whose bytes one file call can move (at most 2^31-1 bytes).
template <typename T>
constexpr int MaxElements() {
  return static_cast<int>(INT_MAX / sizeof(T));
}

// Elements reversed per call when writing in the other byte order: 2 KiB of stack at most.
constexpr int kReverseChunk = 256;

// Hands n > 0 elements of v to put(const void* block, size_t size, int count), which returns
// the count it moved. In host order the blocks are the largest one call takes; reversed
// (reverse true, elements wider than a byte) they go through a stack area, so the caller's
// array is never changed. 0, or -1 at the first short block.
template <typename T, typename Put>
int PutElements(const T* v, int n, bool reverse, Put put) {
  if (!reverse || sizeof(T) == 1) {
    for (int done = 0; done < n;) {
      const int k = std::min(MaxElements<T>(), n - done);
      if (put(v + done, sizeof(T), k) != static_cast<std::size_t>(k)) return -1;
      done += k;
    }
    return 0;
  }
  T chunk[kReverseChunk];
  for (int done = 0; done < n;) {
    const int k = std::min(kReverseChunk, n - done);
    std::memcpy(chunk, v + done, static_cast<std::size_t>(k) * sizeof(T));
    ReverseEach<sizeof(T)>(chunk, k);
    if (put(chunk, sizeof(T), k) != static_cast<std::size_t>(k)) return -1;
    done += k;
  }
  return 0;
}

// Fills v with n > 0 elements from get(void* block, size_t size, int count), which returns the
// count it moved, in the largest blocks one call takes; the bytes stay in file order.
// 0, or -1 at the first short block.
template <typename T, typename Get>
int GetElements(T* v, int n, Get get) {
  for (int done = 0; done < n;) {
    const int k = std::min(MaxElements<T>(), n - done);
    if (get(v + done, sizeof(T), k) != static_cast<std::size_t>(k)) return -1;
    done += k;
  }
  return 0;
}

}  // namespace kvbyte
#endif
