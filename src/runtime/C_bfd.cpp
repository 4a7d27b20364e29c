// C_bfd.cpp: typed arrays in portable binary files, in the byte order the caller picks,
// with 64-bit counts cut into blocks that one 32-bit file call can take.
// Reversal goes through a stack area per call, so concurrent writers share nothing.
#include "C_bfd.h"

#include "C_KveloException.h"
#include "erreur.h"
#include "kvelosys.h"
#include "runtime/byteorder.h"

#include <type_traits>

namespace {

const char kSource[] = "src/C_bfd";

int Refuse(int line) {
  fct_Trace("aff_lieu", line, kSource);
  return -1;
}

// The two kinds of file, behind one spelling.
bool IsNull(int) { return false; }
bool IsNull(FILE* f) { return f == nullptr; }
size_t Put(int fd, const void* b, size_t size, int n) { return CBF_write64(b, size, n, fd); }
size_t Put(FILE* f, const void* b, size_t size, int n) { return CBF_fwrite64(b, size, n, f); }
size_t Get(int fd, void* b, size_t size, int n) { return CBF_read64(b, size, n, fd); }
size_t Get(FILE* f, void* b, size_t size, int n) { return CBF_fread64(b, size, n, f); }

bool NeedsReversal(bool bigEndian) { return bigEndian != kvbyte::HostIsBigEndian(); }

template <typename T>
struct Complex {
  static constexpr bool value = false;
};
template <typename R>
struct Complex<std::complex<R>> {
  static constexpr bool value = true;
  using Part = R;
};

// ---- int-count bodies of the scalar types ----

template <typename T, typename File>
int WriteScalar(File file, const T* data, int n, bool bigEndian) {
  if (IsNull(file) || !data || n <= 0) return Refuse(__LINE__);
  return kvbyte::PutElements(data, n, NeedsReversal(bigEndian),
                             [file](const void* b, size_t size, int k) { return Put(file, b, size, k); });
}

template <typename T, typename File>
int ReadScalar(File file, const T* cdata, int n, bool bigEndian) {
  if (IsNull(file) || !cdata || n <= 0) return Refuse(__LINE__);
  // The interface hands the destination as const; the caller's array is writable.
  T* data = const_cast<T*>(cdata);
  if (kvbyte::GetElements(data, n, [file](void* b, size_t size, int k) { return Get(file, b, size, k); }) != 0)
    return -1;
  if (NeedsReversal(bigEndian)) {
    if (sizeof(T) == 1) {
      // Bytes have no order to reverse: a descriptor read that asks for it is a caller
      // fault, reported after the read; a stream read lets it pass.
      if constexpr (!std::is_same<File, FILE*>::value) KVELO_THROW(2871);
    } else {
      kvbyte::ReverseEach<sizeof(T)>(data, n);
    }
  }
  return 0;
}

// Both directions share one path above the scalar bodies.
enum class Direction { kWrite, kRead };

template <Direction D, typename T, typename File>
int Scalar(File file, const T* data, int n, bool bigEndian) {
  if constexpr (D == Direction::kWrite)
    return WriteScalar<T>(file, data, n, bigEndian);
  else
    return ReadScalar<T>(file, data, n, bigEndian);
}

// ---- 64-bit counts: blocks through the int-count forms ----

template <Direction D, typename T, typename File>
int InBlocks(File file, const T* data, long long n, bool bigEndian) {
  if (n == 0) return 0;
  if (n < 0) return Refuse(__LINE__);
  int blocks;
  long long size, last;
  if (!SplitCountInBlocks(n, kvbyte::MaxElements<T>(), blocks, size, last)) return Refuse(__LINE__);
  for (int i = 0; i < blocks; ++i) {
    const long long k = (i == blocks - 1) ? last : size;
    if (Scalar<D>(file, data + static_cast<long long>(i) * size, static_cast<int>(k), bigEndian) != 0) return -1;
  }
  return 0;
}

// A complex array moves as the array of its 2n parts.
template <Direction D, typename T, typename File>
int Transfer(File file, const T* data, long long n, bool bigEndian) {
  if constexpr (Complex<T>::value) {
    using R = typename Complex<T>::Part;
    if (IsNull(file) || !data) return Refuse(__LINE__);
    if (n > LLONG_MAX / 2) return Refuse(__LINE__);
    return Transfer<D, R>(file, reinterpret_cast<const R*>(data), 2 * n, bigEndian);
  } else {
    return InBlocks<D>(file, data, n, bigEndian);
  }
}

// The int-count entry: scalars have their own body; complex counts are widened to 64 bits
// before doubling, so no count below 2^31 can overflow.
template <Direction D, typename T, typename File>
int TransferInt(File file, const T* data, int n, bool bigEndian) {
  if constexpr (Complex<T>::value) {
    if (IsNull(file) || !data || n <= 0) return Refuse(__LINE__);
    return Transfer<D, T>(file, data, static_cast<long long>(n), bigEndian);
  } else {
    return Scalar<D>(file, data, n, bigEndian);
  }
}

}  // namespace

template <typename T>
int T_BF_write(int fd, const T* data, int n, bool bigEndian) {
  return TransferInt<Direction::kWrite>(fd, data, n, bigEndian);
}
template <typename T>
int T_BF_write(int fd, const T* data, long long n, bool bigEndian) {
  return Transfer<Direction::kWrite>(fd, data, n, bigEndian);
}
template <typename T>
int T_BF_write(FILE* f, const T* data, int n, bool bigEndian) {
  return TransferInt<Direction::kWrite>(f, data, n, bigEndian);
}
template <typename T>
int T_BF_write(FILE* f, const T* data, long long n, bool bigEndian) {
  return Transfer<Direction::kWrite>(f, data, n, bigEndian);
}
template <typename T>
int T_BF_read(int fd, const T* data, int n, bool bigEndian) {
  return TransferInt<Direction::kRead>(fd, data, n, bigEndian);
}
template <typename T>
int T_BF_read(int fd, const T* data, long long n, bool bigEndian) {
  return Transfer<Direction::kRead>(fd, data, n, bigEndian);
}
template <typename T>
int T_BF_read(FILE* f, const T* data, int n, bool bigEndian) {
  return TransferInt<Direction::kRead>(f, data, n, bigEndian);
}
template <typename T>
int T_BF_read(FILE* f, const T* data, long long n, bool bigEndian) {
  return Transfer<Direction::kRead>(f, data, n, bigEndian);
}

#define KVELO_BFD_INSTANCES(T)                                             \
  template KVELO_API int T_BF_write<T>(int, const T*, int, bool);          \
  template KVELO_API int T_BF_write<T>(int, const T*, long long, bool);    \
  template KVELO_API int T_BF_write<T>(FILE*, const T*, int, bool);        \
  template KVELO_API int T_BF_write<T>(FILE*, const T*, long long, bool);  \
  template KVELO_API int T_BF_read<T>(int, const T*, int, bool);           \
  template KVELO_API int T_BF_read<T>(int, const T*, long long, bool);     \
  template KVELO_API int T_BF_read<T>(FILE*, const T*, int, bool);         \
  template KVELO_API int T_BF_read<T>(FILE*, const T*, long long, bool);

KVELO_BFD_INSTANCES(char)
KVELO_BFD_INSTANCES(int)
KVELO_BFD_INSTANCES(long long)
KVELO_BFD_INSTANCES(float)
KVELO_BFD_INSTANCES(double)
KVELO_BFD_INSTANCES(std::complex<float>)
KVELO_BFD_INSTANCES(std::complex<double>)
#undef KVELO_BFD_INSTANCES
