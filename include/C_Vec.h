/* C_Vec.h: the element-type-free vector interface C_BaseVec<I> and the abstract typed vector
 * C_Vec<T,I>: text and binary forms, string accessors, arithmetic, norms and extreme
 * positions, all written over the vector's own virtual element interface so that a class
 * derived by a host decides its storage. Instances: T in int, float, double, long long,
 * complex<float>, complex<double>; I in int, long long (all exported by libkvelo.so).
 *
 * Failures throw C_KveloException (reason 0): 2 negative size, 3 bad norm type, 12 null FILE
 * or full/non-full copy, 21 read failed, 22 write failed, 38 data not in core or without a
 * contiguous address, 2871 operation not provided by the class, 2872 sizes differ, 2873
 * operand not full in a multiply-add, 14008 difference of vectors without contiguous data.
 * A vector belongs to one thread at a time; independent vectors may live on different threads
 * (the object counts are process-wide and updated atomically). */
#ifndef KVELO_C_VEC_H
#define KVELO_C_VEC_H

#include "kvelo_export.h"
#include "C_Type.h"
#include "C_KveloException.h"
#include "C_bfd.h"
#include "ITF_blas_lapack.h"

#include <cmath>
#include <complex>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace kvelo_vec {

// Largest count handed to one 32-bit BLAS call, and the block length of storage that has
// no contiguous data.
constexpr long long kPieceLength = 2147483647LL;
constexpr int kBlockLength = 4096;
// Largest run of values that readers of outside data (files, a peer process) take at once:
// their memory grows by what has arrived, never by what a count announces.
constexpr size_t kReadBlockBytes = 1u << 20;
// Values of T in one such run.
template <class T>
constexpr long long ReadBlockLength() {
  return static_cast<long long>(kReadBlockBytes / sizeof(T));
}

// Appends printf-formatted text to s (the formats used here never need more than 64 bytes,
// but the length is checked all the same). Inline, so that the matrix templates a host
// instantiates form their element texts with it too.
inline void AppendFormat(std::string& s, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
inline void AppendFormat(std::string& s, const char* fmt, ...) {
  va_list ap, again;
  va_start(ap, fmt);
  va_copy(again, ap);
  char local[128];
  const int n = std::vsnprintf(local, sizeof local, fmt, ap);
  va_end(ap);
  if (n >= 0 && static_cast<size_t>(n) < sizeof local) {
    s.append(local, static_cast<size_t>(n));
  } else if (n > 0) {
    const size_t at = s.size();
    s.resize(at + static_cast<size_t>(n) + 1);
    std::vsnprintf(&s[at], static_cast<size_t>(n) + 1, fmt, again);
    s.resize(at + static_cast<size_t>(n));
  }
  va_end(again);
}

// y := x for n elements, the two ranges possibly overlapping; nothing for n <= 0 or x == y.
template <class T>
inline void MoveElements(int n, const T* x, T* y) {
  if (n > 0 && x != y) std::memmove(static_cast<void*>(y), x, static_cast<size_t>(n) * sizeof(T));
}

// Wrap-around integer arithmetic: the integer kernels are formed in the element type
// without overflow checks, so overflow wraps instead of being undefined.
template <class T>
struct Wrap {
  using U = typename std::make_unsigned<T>::type;
  static T Add(T a, T b) { return static_cast<T>(static_cast<U>(a) + static_cast<U>(b)); }
  static T Sub(T a, T b) { return static_cast<T>(static_cast<U>(a) - static_cast<U>(b)); }
  static T Mul(T a, T b) { return static_cast<T>(static_cast<U>(a) * static_cast<U>(b)); }
  static U Mag(T v) { return v < 0 ? static_cast<U>(0) - static_cast<U>(v) : static_cast<U>(v); }
};

// Per element type: type code and names, formats, and the kernels of the arithmetic.
template <class T>
struct Kernel;

// The type in which sums of magnitudes and squares are formed, whatever the element type:
// double for real and integer elements, complex<double> for complex ones. Integer sums would
// wrap and single-precision sums stop growing at 2^24, both long before a double does.
template <class T>
struct WideOf {
  using type = double;
};
template <class R>
struct WideOf<std::complex<R>> {
  using type = std::complex<double>;
};
template <class T>
inline typename WideOf<T>::type Widen(T v) {
  return static_cast<typename WideOf<T>::type>(v);
}
// Whether T is already that type (double, complex<double>): its sums need no widening, and
// its two-norm comes from its own dot product.
template <class T>
inline constexpr bool kIsWide = std::is_same<typename WideOf<T>::type, T>::value;

// Sum of |x_i| (complex: the modulus) over n elements, added in double.
template <class T>
inline double OneNormOf(int n, const T* x) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s += std::abs(Widen(x[i]));
  return s;
}

// Sum of |x_i|^2 over n elements, added in double.
template <class T>
inline double SumSquaresOf(int n, const T* x) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s += std::norm(Widen(x[i]));
  return s;
}

// Sum of n elements: integers in their own type (wrapping, as every integer kernel does),
// floating-point ones added in double (complex<double>) and rounded once at the end.
template <class T, class I>
inline T SumOf(I n, const T* x) {
  if constexpr (std::is_integral<T>::value) {
    T s = 0;
    for (I i = 0; i < n; ++i) s = Wrap<T>::Add(s, x[i]);
    return s;
  } else {
    typename WideOf<T>::type s = 0;
    for (I i = 0; i < n; ++i) s += Widen(x[i]);
    return static_cast<T>(s);
  }
}

// Shared parts of the integer kernels (plain loops of the library's own).
template <class T>
struct IntKernel {
  using W = Wrap<T>;
  static constexpr bool kBlasSearch = false;
  static constexpr bool kMagnitudeSearch = std::is_same<T, int>::value;
  static void Scal(int n, T a, T* x) {
    for (int i = 0; i < n; ++i) x[i] = W::Mul(a, x[i]);
  }
  static T Dot(int n, const T* x, const T* y) {
    T s = 0;
    for (int i = 0; i < n; ++i) s = W::Add(s, W::Mul(x[i], y[i]));
    return s;
  }
  static void Axpy(int n, T a, const T* x, T* y) {
    for (int i = 0; i < n; ++i) y[i] = W::Add(y[i], W::Mul(a, x[i]));
  }
  static void Copy(int n, const T* x, T* y) { MoveElements(n, x, y); }
  // The first element of largest magnitude, as a double.
  static double InfNorm(int n, const T* x) {
    typename W::U best = 0;
    for (int i = 0; i < n; ++i) {
      typename W::U m = W::Mag(x[i]);
      if (i == 0 || m > best) best = m;
    }
    return static_cast<double>(best);
  }
  static T Add(T a, T b) { return W::Add(a, b); }
  static T Sub(T a, T b) { return W::Sub(a, b); }
  static T Mul(T a, T b) { return W::Mul(a, b); }
  static T Conj(T v) { return v; }
  static double AbsD(T v) { return std::fabs(static_cast<double>(v)); }
  static T Key(T v) { return v; }
  static typename W::U Mag(T v) { return W::Mag(v); }
  // 1/t with t the norm truncated toward zero: 1 for norms in [1, 2), 0 from 2 on.
  static T NrmFactor(double r) {
    if (!(r > -2.0 && r < 2.0)) return 0;
    T t = static_cast<T>(r);
    return t == 0 ? T(0) : static_cast<T>(1 / t);
  }
};

template <>
struct Kernel<int> : IntKernel<int> {
  static constexpr C_Type::E_Type kType = C_Type::TypeInt;
  static const char* Name() { return "Integer"; }
  static void Append(std::string& s, int v) { AppendFormat(s, "% 8d ", v); }
};

template <>
struct Kernel<long long> : IntKernel<long long> {
  static constexpr C_Type::E_Type kType = C_Type::TypeLongLong;
  static const char* Name() { return "Hyper"; }
  static void Append(std::string& s, long long v) { AppendFormat(s, "% 8lld ", v); }
};

// Shared parts of the real and complex kernels. |x| is the modulus of a complex element.
template <class T>
struct FloatKernelBase {
  static constexpr bool kBlasSearch = true;
  static constexpr bool kMagnitudeSearch = false;
  static T Add(T a, T b) { return a + b; }
  static T Sub(T a, T b) { return a - b; }
  static T Mul(T a, T b) { return a * b; }
  // By memmove; the double kinds use the BLAS copy where the ranges do not overlap.
  static void Copy(int n, const T* x, T* y) { MoveElements(n, x, y); }
  // |x| of the element the BLAS i?amax picks (for complex, by |Re| + |Im|: not necessarily
  // the largest modulus), formed in double (a single-precision modulus could overflow).
  static double InfNorm(int n, const T* x) {
    int k = Kernel<T>::IAmax(n, x);
    return k < 1 ? 0.0 : std::abs(Widen(x[k - 1]));
  }
};

template <>
struct Kernel<float> : FloatKernelBase<float> {
  static constexpr C_Type::E_Type kType = C_Type::TypeFloat;
  static const char* Name() { return "Float"; }
  static void Append(std::string& s, float v) { AppendFormat(s, "% 2.3e ", static_cast<double>(v)); }
  static void Scal(int n, float a, float* x) { ITF_sscal(n, a, x, 1); }
  static float Dot(int n, const float* x, const float* y) { return ITF_sdot(n, x, 1, y, 1); }
  static void Axpy(int n, float a, const float* x, float* y) { ITF_saxpy(n, a, x, 1, y, 1); }
  static int IAmax(int n, const float* x) { return ITF_isamax(n, x, 1); }
  static int IAmin(int n, const float* x) { return ITF_isamin(n, x, 1); }
  static float Conj(float v) { return v; }
  static double AbsD(float v) { return std::fabs(static_cast<double>(v)); }
  static float Key(float v) { return v; }
  static float NrmFactor(double r) { return 1.0f / static_cast<float>(r); }
};

template <>
struct Kernel<double> : FloatKernelBase<double> {
  static constexpr C_Type::E_Type kType = C_Type::TypeDouble;
  static const char* Name() { return "Double"; }
  static void Append(std::string& s, double v) { AppendFormat(s, "% 2.3e ", v); }
  static void Scal(int n, double a, double* x) { ITF_dscal(n, a, x, 1); }
  static double Dot(int n, const double* x, const double* y) { return ITF_ddot(n, x, 1, y, 1); }
  static void Axpy(int n, double a, const double* x, double* y) { ITF_daxpy(n, a, x, 1, y, 1); }
  static void Copy(int n, const double* x, double* y);
  static int IAmax(int n, const double* x) { return ITF_idamax(n, x, 1); }
  static int IAmin(int n, const double* x) { return ITF_idamin(n, x, 1); }
  static double Conj(double v) { return v; }
  static double AbsD(double v) { return std::fabs(v); }
  static double SqrtAbs(double r) { return std::sqrt(std::fabs(r)); }
  static double Key(double v) { return v; }
  static double NrmFactor(double r) { return 1.0 / r; }
};

template <>
struct Kernel<std::complex<float>> : FloatKernelBase<std::complex<float>> {
  using C = std::complex<float>;
  static constexpr C_Type::E_Type kType = C_Type::TypeComplexFloat;
  static const char* Name() { return "Float complex"; }
  static void Append(std::string& s, C v) {
    AppendFormat(s, "% 2.3E % 2.3E ", static_cast<double>(v.real()), static_cast<double>(v.imag()));
  }
  static void Scal(int n, C a, C* x) { ITF_cscal(n, a, x, 1); }
  static C Dot(int n, const C* x, const C* y) {
    C r(0.0f, 0.0f);
    ITF_kvelocdot(n, x, y, &r, 1);
    return r;
  }
  static void Axpy(int n, C a, const C* x, C* y) { ITF_caxpy(n, a, x, 1, y, 1); }
  static int IAmax(int n, const C* x) { return ITF_icamax(n, x, 1); }
  static int IAmin(int n, const C* x) { return ITF_icamin(n, x, 1); }
  static C Conj(C v) { return std::conj(v); }
  static double AbsD(C v) { return std::abs(std::complex<double>(v)); }
  static float Key(C v) { return v.real(); }
  static C NrmFactor(double r) { return C(1.0f, 0.0f) / C(static_cast<float>(r), 0.0f); }
};

template <>
struct Kernel<std::complex<double>> : FloatKernelBase<std::complex<double>> {
  using C = std::complex<double>;
  static constexpr C_Type::E_Type kType = C_Type::TypeComplexDouble;
  static const char* Name() { return "Double complex"; }
  static void Append(std::string& s, C v) { AppendFormat(s, "% 2.3E % 2.3E ", v.real(), v.imag()); }
  static void Scal(int n, C a, C* x) { ITF_zscal(n, a, x, 1); }
  static C Dot(int n, const C* x, const C* y) {
    C r(0.0, 0.0);
    ITF_kvelozdot(n, x, y, &r, 1);
    return r;
  }
  static void Axpy(int n, C a, const C* x, C* y) { ITF_zaxpy(n, a, x, 1, y, 1); }
  static void Copy(int n, const C* x, C* y);
  static int IAmax(int n, const C* x) { return ITF_izamax(n, x, 1); }
  static int IAmin(int n, const C* x) { return ITF_izamin(n, x, 1); }
  static C Conj(C v) { return std::conj(v); }
  static double AbsD(C v) { return std::abs(v); }
  static double SqrtAbs(C r) { return std::sqrt(std::abs(r)); }
  static double Key(C v) { return v.real(); }
  static C NrmFactor(double r) { return C(1.0, 0.0) / C(r, 0.0); }
};

// A piece of memory: `bytes` bytes from `at`; empty when at is null or bytes is 0. Every
// operation that writes a result while reading operands compares such pieces to learn
// whether an operand lives in memory the result overwrites (or a resize of the result may
// give back), whatever object (view, sub-view, shared buffer) the operand came through.
struct MemRange {
  const void* at = nullptr;
  size_t bytes = 0;
};

// The memory of n elements from p (empty for a null p or n <= 0).
template <class T>
inline MemRange RangeOf(const T* p, long long n) {
  MemRange r;
  if (p && n > 0) {
    r.at = p;
    r.bytes = static_cast<size_t>(n) * sizeof(T);
  }
  return r;
}

// Whether two pieces of memory share at least one byte.
inline bool Overlaps(const MemRange& a, const MemRange& b) {
  if (!a.at || !b.at || a.bytes == 0 || b.bytes == 0) return false;
  const uintptr_t pa = reinterpret_cast<uintptr_t>(a.at), pb = reinterpret_cast<uintptr_t>(b.at);
  return pa < pb + b.bytes && pb < pa + a.bytes;
}

// True when [a, a+n) and [b, b+n) share memory but do not start at the same element (an
// element-wise kernel over the very same elements needs no copy; a shifted one does).
template <class T>
inline bool Overlap(const T* a, const T* b, long long n) {
  return a != b && Overlaps(RangeOf(a, n), RangeOf(b, n));
}

// The first n values from p, set aside in a copy when `aside` is true (they lie in memory
// the caller is about to overwrite or give back), else read where they are.
template <class T>
class HeldValues {
 public:
  HeldValues(const T* p, long long n, bool aside) : m_at(p) {
    if (aside && p && n > 0) {
      m_copy.assign(p, p + n);
      m_at = m_copy.data();
    }
  }
  const T* get() const { return m_at; }

 private:
  std::vector<T> m_copy;
  const T* m_at;
};

inline void Kernel<double>::Copy(int n, const double* x, double* y) {
  if (n <= 0 || x == y) return;
  if (Overlap(x, y, n))
    MoveElements(n, x, y);
  else
    ITF_dcopy(n, x, 1, y, 1);
}

inline void Kernel<std::complex<double>>::Copy(int n, const C* x, C* y) {
  if (n <= 0 || x == y) return;
  if (Overlap(x, y, n))
    MoveElements(n, x, y);
  else
    ITF_zcopy(n, x, 1, y, 1);
}

// Runs write(f) on the file path opened with mode and closes it, also when write throws.
// False, write not run, when path is null or the file does not open.
template <class W>
inline bool WithFile(const char* path, const char* mode, W&& write) {
  FILE* f = path ? std::fopen(path, mode) : nullptr;
  if (!f) return false;
  try {
    write(f);
  } catch (...) {
    std::fclose(f);
    throw;
  }
  std::fclose(f);
  return true;
}

// Runs f(offset, count) once per piece of at most 2^31-1 elements (one piece for I = int;
// a count of 0 is one piece of 0).
template <class F>
inline void ForEachPiece(int n, F&& f) {
  f(0, n);
}
template <class F>
inline void ForEachPiece(long long n, F&& f) {
  int nb = 0;
  long long bs = 0, lbs = 0;
  SplitCountInBlocks(n, kPieceLength, nb, bs, lbs);
  for (int k = 0; k < nb; ++k) f(static_cast<long long>(k) * bs, static_cast<int>(k == nb - 1 ? lbs : bs));
}

// Runs f(first, count) once per block of 4096 elements (n > 0), I being int or long long.
template <class I, class F>
inline void ForEachBlock(I n, F&& f) {
  int nb = 0;
  I bs = 0, lbs = 0;
  SplitCountInBlocks(n, static_cast<I>(kBlockLength), nb, bs, lbs);
  for (int k = 0; k < nb; ++k) f(static_cast<I>(k) * bs, k == nb - 1 ? lbs : bs);
}

}  // namespace kvelo_vec

// ---------------------------------------------------------------------------------------
// C_BaseVec<I>: the element-type-free vector (dimension only).
// ---------------------------------------------------------------------------------------
template <class I>
class KVELO_API C_BaseVec : public C_Type {
 public:
  I dim;  // the number of elements; callers may read it directly

  C_BaseVec(I n = 0) : dim(n) {}
  C_BaseVec(const C_BaseVec& o) : C_Type(), dim(o.dim) {}
  C_BaseVec& operator=(const C_BaseVec& o) {
    dim = o.dim;
    return *this;
  }
  virtual ~C_BaseVec() {}

  // Bytes of element storage.
  virtual int MemSize() const = 0;
  // 1 when the elements are in memory.
  virtual int InCore() = 0;
  // 1 when every position holds a value (else callers read through the value cursor).
  virtual int Full() = 0;
  // Class name shown by the text forms: "C_BaseVec".
  virtual const char* AffType() const;
  // Element-type code: 7 (none) here.
  virtual C_Type::E_Type Type() const;
  // Writes the dimension, little-endian (4 or 8 bytes); null f throws 12, failure 22.
  virtual int Write(FILE* f);
  // Reads a little-endian dimension into dim (no resize); null f throws 12, failure 21 (dim
  // unchanged).
  virtual int Read(FILE* f);
  // Replaces file path with WriteMatlab(FILE*); an unopenable path hands on a null stream.
  virtual int WriteMatlab(const char* path);
  // Text header for Matlab readers; throws 2871 here.
  virtual int WriteMatlab(FILE* f);
  // Appends (append true) or replaces file path with Print(FILE*); a null or unopenable
  // path returns 0 and writes nothing; returns 0 whatever Print(FILE*) returned.
  virtual int Print(const char* path, bool append);
  // Text form of the vector on an open stream.
  virtual int Print(FILE* f) = 0;
  // Zeroes elements first..last (last -1: the end); throws 2871 here.
  virtual int Zero(I first, I last);
  // Appends the formatted value of element i to s.
  virtual void GetVal(I i, std::string& s) = 0;
  // Appends the first / next delivered value to s and returns its position; -1 when none.
  virtual I FirstVal(std::string& s) = 0;
  virtual I NextVal(std::string& s) = 0;
  // Frees the elements; nothing here.
  virtual void Release();
  // Sets the dimension to n and returns 0 (no check here).
  virtual int Resize(I n);
  // Norm selected by type (0 infinity, 1 one, 2 two).
  virtual double Nrm(E_NrmType type) = 0;
  // Divides the vector by its norm, stored in *norm when norm is not null.
  virtual int Normalize(E_NrmType type, double* norm) = 0;

  // The dimension.
  I Dim() const { return dim; }
};

// ---------------------------------------------------------------------------------------
// C_Vec<T,I>: the abstract typed vector. It holds no element; the element interface below
// is virtual and everything else is written on top of it.
// ---------------------------------------------------------------------------------------
template <class T, class I>
class KVELO_API C_Vec : public C_Counter<C_Vec<T, I>>, public C_BaseVec<I> {
 public:
  using K = kvelo_vec::Kernel<T>;

  // Counts the object in; dimension n (not checked).
  C_Vec(I n = 0) : C_Counter<C_Vec<T, I>>(), C_BaseVec<I>(n) {}
  // Counts the new object in and copies the dimension (an abstract vector has no elements).
  C_Vec(const C_Vec& o) : C_Counter<C_Vec<T, I>>(o), C_BaseVec<I>(o) {}
  // Copies the dimension; the counts are unchanged.
  C_Vec& operator=(const C_Vec& o) {
    C_BaseVec<I>::operator=(o);
    return *this;
  }
  // Counts the object out; frees nothing.
  ~C_Vec() override {}

  using C_BaseVec<I>::Read;
  using C_BaseVec<I>::WriteMatlab;

  // Reads as Read(FILE*); the int is not used.
  virtual int Read(FILE* f, int unused);
  // Address of element i when the elements lie contiguously in memory; null here.
  virtual T* Adr(I i);
  // Value of element i.
  virtual T GetVal(I i) = 0;
  // Stores v in element i; throws 2871 here.
  virtual int SetVal(I i, T v);
  // Reference to element i; throws 2871 here.
  virtual T& operator[](I i);
  // Value cursor: first / next stored value into v and its position, -1 when none;
  // throws 2871 here.
  virtual I FirstVal(T& v);
  virtual I NextVal(T& v);
  // Pointer to elements first..last laid out contiguously (buf: caller's heap buffer or
  // null); throws 2871 here.
  virtual T* Extract(I first, I last, T* buf);
  // Stores v in elements first..last; throws 2871 here.
  virtual int Init(T v, I first, I last);
  // Sum of elements first..last.
  virtual T Sum(I first, I last) = 0;
  // This takes v's dimension and elements (v may share this vector's memory); throws 12 when
  // Full() differ, 38 when either is not in core or this is not full (this then already has
  // v's dimension).
  virtual int Copy(C_Vec& v);
  // New heap view of the elements from offset on; the caller deletes it.
  virtual C_Vec* Lnk(I offset) = 0;
  // Makes the vector a view of a caller's n elements; throws 2871 here.
  virtual int Attach(I n, T* data);
  // Multiplies elements first..last by a.
  virtual int SMlt(T a, I first, I last) = 0;
  // x := a x; throws 38 unless in core and full.
  virtual void operator*=(T a);
  // x := x + v (v.Axpy(x, 1)).
  virtual void operator+=(C_Vec& v);
  // x_i := a + x_i; throws 38 when not empty and without contiguous address.
  virtual void operator+=(T a);
  // Dot product, conj(x_i) v_i for complex T; throws 2872 when dimensions differ.
  virtual T operator*(C_Vec& v);
  // y := y + a x, returns 0 (x shifted against y in one buffer is read from a copy); throws
  // 2872 when dimensions differ, 2873 when either is not full.
  virtual int Axpy(C_Vec& y, T a);
  // x := x - v (v.Axpy(x, -1)).
  virtual void operator-=(C_Vec& v);
  // d := |sum of (x_i - v_i)^2| (no square root; complex squares), formed in double
  // (complex<double>) whatever T is, returns 0; throws 2872 when dimensions differ, 14008 when
  // either has no contiguous address or is not full.
  virtual int Diff(C_Vec& v, double& d);
  // Two-norm and infinity norm (Nrm(2), Nrm(0)).
  virtual double Nrm2();
  virtual double NrmInf();
  // Offset from first of the smallest / largest element of first..last (last -1 or past the
  // end: the last element); an empty or out-of-range range gives -1 (BLAS searches) or -2
  // (loops); throws 38 when not in core.
  virtual I IMin(I first, I last);
  virtual I IMax(I first, I last);
  // Sends / receives this vector through the host's communicator (C_Communicator.h):
  // C_Vec_Send / C_Vec_Recv on this vector with (a, b) handed on unchanged.
  virtual void Send(int a, int b);
  virtual void Recv(int a, int b);

  // "C_Vec".
  const char* AffType() const override;
  C_Type::E_Type Type() const override;
  // Binary form: the dimension little-endian, then the values big-endian; null f throws 12,
  // a failed write 22.
  int Write(FILE* f) override;
  // Three header lines (class, scalar name, dimension); null f throws 12.
  int WriteMatlab(FILE* f) override;
  // As C_BaseVec::Print(path, append).
  int Print(const char* path, bool append) override;
  // Four header lines (object, scalar, dimension, in core); null f throws 12.
  int Print(FILE* f) override;
  void GetVal(I i, std::string& s) override;
  I FirstVal(std::string& s) override;
  I NextVal(std::string& s) override;
  // Norm selected by type; 0 for an empty vector; throws 38 without contiguous address,
  // 3 for a type other than 0, 1, 2. Sums of magnitudes (one-norm) and of squares (two-norm
  // of integer and single-precision elements) are added in double; double-precision
  // elements take the two-norm from their dot product.
  double Nrm(E_NrmType type) override;
  // Divides by Nrm(type) through SMlt (integers: by the truncated norm, so a norm of 2 or
  // more zeroes them); a zero norm leaves the vector unchanged. Returns SMlt's result.
  int Normalize(E_NrmType type, double* norm) override;

 protected:
  I SearchExtreme(I first, I last, bool largest);
};

namespace kvelo_vec {

// The memory that an operation resizing v to `extent` elements may write or give back: v's
// values, extended to max(dimension, extent) elements (a growing resize may move them all).
// Empty when v keeps no values in core at a contiguous address: such values are only ever
// reached through copies, which nothing else can share.
template <class T, class I>
inline MemRange ValueMemory(C_Vec<T, I>& v, long long extent = 0) {
  if (!v.InCore()) return MemRange();
  const long long n = static_cast<long long>(v.Dim()) > extent ? static_cast<long long>(v.Dim()) : extent;
  return RangeOf(static_cast<const T*>(v.Adr(0)), n);
}

}  // namespace kvelo_vec

// ---------------------------------------------------------------------------------------
// C_BaseVec<I> bodies (Write and Read live in the library's source).
// ---------------------------------------------------------------------------------------
template <class I>
const char* C_BaseVec<I>::AffType() const {
  return "C_BaseVec";
}

template <class I>
C_Type::E_Type C_BaseVec<I>::Type() const {
  return C_Type::TypeNone;
}

template <class I>
int C_BaseVec<I>::WriteMatlab(const char* path) {
  if (!kvelo_vec::WithFile(path, "w", [this](FILE* f) { this->WriteMatlab(f); }))
    return WriteMatlab(static_cast<FILE*>(nullptr));
  return 0;
}

template <class I>
int C_BaseVec<I>::WriteMatlab(FILE*) {
  KVELO_THROW(2871);
}

template <class I>
int C_BaseVec<I>::Print(const char* path, bool append) {
  kvelo_vec::WithFile(path, append ? "a" : "w", [this](FILE* f) { this->Print(f); });
  return 0;
}

template <class I>
int C_BaseVec<I>::Zero(I, I) {
  KVELO_THROW(2871);
}

template <class I>
void C_BaseVec<I>::Release() {}

template <class I>
int C_BaseVec<I>::Resize(I n) {
  dim = n;
  return 0;
}

// ---------------------------------------------------------------------------------------
// C_Vec<T,I> bodies.
// ---------------------------------------------------------------------------------------
template <class T, class I>
int C_Vec<T, I>::Read(FILE* f, int) {
  return C_BaseVec<I>::Read(f);
}

template <class T, class I>
T* C_Vec<T, I>::Adr(I) {
  return nullptr;
}

template <class T, class I>
int C_Vec<T, I>::SetVal(I, T) {
  KVELO_THROW(2871);
}

template <class T, class I>
T& C_Vec<T, I>::operator[](I) {
  KVELO_THROW(2871);
}

template <class T, class I>
I C_Vec<T, I>::FirstVal(T&) {
  KVELO_THROW(2871);
}

template <class T, class I>
I C_Vec<T, I>::NextVal(T&) {
  KVELO_THROW(2871);
}

template <class T, class I>
T* C_Vec<T, I>::Extract(I, I, T*) {
  KVELO_THROW(2871);
}

template <class T, class I>
int C_Vec<T, I>::Init(T, I, I) {
  KVELO_THROW(2871);
}

template <class T, class I>
int C_Vec<T, I>::Attach(I, T*) {
  KVELO_THROW(2871);
}

// Transfers of a vector through the host's communicator; defined with the communicator
// (C_Communicator.h tells the protocol and the failures).
template <class T, class I>
KVELO_API void C_Vec_Send(C_Vec<T, I>* v, int a, int b);
template <class T, class I>
KVELO_API void C_Vec_Recv(C_Vec<T, I>* v, int a, int b);

template <class T, class I>
void C_Vec<T, I>::Send(int a, int b) {
  C_Vec_Send<T, I>(this, a, b);
}

template <class T, class I>
void C_Vec<T, I>::Recv(int a, int b) {
  C_Vec_Recv<T, I>(this, a, b);
}

template <class T, class I>
const char* C_Vec<T, I>::AffType() const {
  return "C_Vec";
}

template <class T, class I>
C_Type::E_Type C_Vec<T, I>::Type() const {
  return K::kType;
}

template <class T, class I>
int C_Vec<T, I>::Write(FILE* f) {
  C_BaseVec<I>::Write(f);
  const I n = this->dim;
  if (n <= 0) return 0;
  T* p = Adr(0);
  if (p) {
    if (T_BF_write(f, p, n, true) != 0) KVELO_THROW(22);
    return 0;
  }
  // No contiguous address: one value per call, in order.
  for (I i = 0; i < n; ++i) {
    T v = GetVal(i);
    if (T_BF_write(f, &v, static_cast<I>(1), true) != 0) KVELO_THROW(22);
  }
  return 0;
}

template <class T, class I>
int C_Vec<T, I>::WriteMatlab(FILE* f) {
  if (!f) KVELO_THROW(12);
  std::fprintf(f, "%s\n", AffType());
  std::fprintf(f, "%s\n", K::Name());
  std::fprintf(f, "%lld\n", static_cast<long long>(this->dim));
  return 0;
}

template <class T, class I>
int C_Vec<T, I>::Print(const char* path, bool append) {
  return C_BaseVec<I>::Print(path, append);
}

template <class T, class I>
int C_Vec<T, I>::Print(FILE* f) {
  if (!f) KVELO_THROW(12);
  std::fprintf(f, "- Object : %s\n", AffType());
  std::fprintf(f, "- Scalar : %s\n", K::Name());
  std::fprintf(f, "- Dim : %lld\n", static_cast<long long>(this->dim));
  std::fprintf(f, "- In Core : %d\n", this->InCore());
  return 0;
}

template <class T, class I>
void C_Vec<T, I>::GetVal(I i, std::string& s) {
  K::Append(s, GetVal(i));
}

template <class T, class I>
I C_Vec<T, I>::FirstVal(std::string& s) {
  T v = T();
  I r = FirstVal(v);
  if (r == -1) return -1;
  K::Append(s, v);
  return r;
}

template <class T, class I>
I C_Vec<T, I>::NextVal(std::string& s) {
  T v = T();
  I r = NextVal(v);
  if (r == -1) return -1;
  K::Append(s, v);
  return r;
}

template <class T, class I>
void C_Vec<T, I>::operator*=(T a) {
  if (!(this->InCore() && this->Full())) KVELO_THROW(38);
  const I n = this->dim;
  if (n <= 0) return;
  T* p = Adr(0);
  if (!p) KVELO_THROW(38);
  kvelo_vec::ForEachPiece(n, [&](I off, int len) { K::Scal(len, a, p + off); });
}

template <class T, class I>
void C_Vec<T, I>::operator+=(T a) {
  T* p = Adr(0);
  const I n = this->dim;
  if (n <= 0) return;
  if (!p) KVELO_THROW(38);
  for (I i = 0; i < n; ++i) p[i] = K::Add(a, p[i]);
}

template <class T, class I>
T C_Vec<T, I>::operator*(C_Vec& v) {
  const I n = this->dim;
  if (n != v.dim) KVELO_THROW(2872);
  const bool xc = this->InCore() && this->Full();
  if (xc && v.InCore() && v.Full()) {
    T s = T();
    if (n <= 0) return s;
    const T* px = Adr(0);
    const T* pv = v.Adr(0);
    if (!px || !pv) KVELO_THROW(38);
    kvelo_vec::ForEachPiece(n, [&](I off, int len) { s = K::Add(s, K::Dot(len, px + off, pv + off)); });
    return s;
  }
  // Only this vector is contiguous: let v's class walk its own storage, roles exchanged;
  // for complex T conj(v . x) = x . v keeps the first operand conjugated.
  if (xc) return K::Conj(v.operator*(*this));
  T s = T();
  if (n <= 0) return s;
  T* bx = this->InCore() ? nullptr : Adr(0);
  T* bv = v.InCore() ? nullptr : v.Adr(0);
  kvelo_vec::ForEachBlock(n, [&](I first, I len) {
    const T* pv = v.Extract(first, first + len - 1, bv);
    const T* px = Extract(first, first + len - 1, bx);
    if (!px || !pv) KVELO_THROW(38);
    kvelo_vec::ForEachPiece(len, [&](I off, int l) { s = K::Add(s, K::Dot(l, px + off, pv + off)); });
  });
  return s;
}

template <class T, class I>
int C_Vec<T, I>::Axpy(C_Vec& y, T a) {
  const I n = this->dim;
  if (n != y.dim) KVELO_THROW(2872);
  if (n <= 0) return 0;
  if (!this->Full() || !y.Full()) KVELO_THROW(2873);
  if (this->InCore() && y.InCore()) {
    T* py = y.Adr(0);
    if (!Adr(0) || !py) KVELO_THROW(38);
    // x shifted against y within one buffer would be read after y overwrote it.
    const kvelo_vec::HeldValues<T> x(Adr(0), n, kvelo_vec::Overlap<T>(Adr(0), py, n));
    const T* px = x.get();
    kvelo_vec::ForEachPiece(n, [&](I off, int len) { K::Axpy(len, a, px + off, py + off); });
    return 0;
  }
  T* bx = this->InCore() ? nullptr : Adr(0);
  T* by = y.InCore() ? nullptr : y.Adr(0);
  kvelo_vec::ForEachBlock(n, [&](I first, I len) {
    T* py = y.Extract(first, first + len - 1, by);
    const T* px = Extract(first, first + len - 1, bx);
    if (!px || !py) KVELO_THROW(38);
    kvelo_vec::ForEachPiece(len, [&](I off, int l) { K::Axpy(l, a, px + off, py + off); });
  });
  return 0;
}

template <class T, class I>
void C_Vec<T, I>::operator+=(C_Vec& v) {
  v.Axpy(*this, T(1));
}

template <class T, class I>
void C_Vec<T, I>::operator-=(C_Vec& v) {
  v.Axpy(*this, T(-1));
}

template <class T, class I>
int C_Vec<T, I>::Copy(C_Vec& v) {
  if ((this->Full() != 0) != (v.Full() != 0)) KVELO_THROW(12);
  // v's values are set aside first when they lie in memory this vector's resize may give back.
  const bool aside = &v != this && kvelo_vec::Overlaps(kvelo_vec::ValueMemory(*this, v.dim), kvelo_vec::ValueMemory(v));
  const kvelo_vec::HeldValues<T> held(aside ? v.Adr(0) : nullptr, v.dim, aside);
  this->Resize(v.dim);
  if (this->InCore() && v.InCore() && this->Full()) {
    const I n = this->dim;
    if (n <= 0) return 0;
    if (n != v.dim) KVELO_THROW(2872);
    T* px = Adr(0);
    const T* pv = aside ? held.get() : v.Adr(0);
    if (!px || !pv) KVELO_THROW(38);
    if (px != pv) std::memmove(static_cast<void*>(px), pv, static_cast<size_t>(n) * sizeof(T));
    return 0;
  }
  KVELO_THROW(38);
}

template <class T, class I>
int C_Vec<T, I>::Diff(C_Vec& v, double& d) {
  if (&v == this) {
    d = 0.0;
    return 0;
  }
  const I n = this->dim;
  if (n != v.dim) KVELO_THROW(2872);
  if (n <= 0) {  // two empty vectors are at distance 0, whatever their storage
    d = 0.0;
    return 0;
  }
  const T* px = Adr(0);
  const T* pv = v.Adr(0);
  if (!px || !this->Full() || !pv || !v.Full()) KVELO_THROW(14008);
  // Formed in double (complex<double>): integer squares would wrap, single ones saturate.
  typename kvelo_vec::WideOf<T>::type s = 0;
  for (I i = 0; i < n; ++i) {
    const auto e = kvelo_vec::Widen(px[i]) - kvelo_vec::Widen(pv[i]);
    s += e * e;
  }
  d = std::abs(s);
  return 0;
}

template <class T, class I>
double C_Vec<T, I>::Nrm(E_NrmType type) {
  const I n = this->dim;
  if (n <= 0) return 0.0;
  const T* p = Adr(0);
  if (!p) KVELO_THROW(38);
  switch (static_cast<int>(type)) {
    case NRM_INF: {
      double r = 0.0;
      kvelo_vec::ForEachPiece(n, [&](I off, int len) {
        double v = K::InfNorm(len, p + off);
        if (!(r > v)) r = v;
      });
      return r;
    }
    case NRM_ONE: {
      double r = 0.0;
      kvelo_vec::ForEachPiece(n, [&](I off, int len) { r += kvelo_vec::OneNormOf(len, p + off); });
      return r;
    }
    case NRM_TWO: {
      if constexpr (kvelo_vec::kIsWide<T>) return K::SqrtAbs((*this) * (*this));
      double r = 0.0;
      kvelo_vec::ForEachPiece(n, [&](I off, int len) { r += kvelo_vec::SumSquaresOf(len, p + off); });
      return std::sqrt(r);
    }
    default:
      KVELO_THROW(3);
  }
}

template <class T, class I>
double C_Vec<T, I>::Nrm2() {
  return Nrm(NRM_TWO);
}

template <class T, class I>
double C_Vec<T, I>::NrmInf() {
  return Nrm(NRM_INF);
}

template <class T, class I>
int C_Vec<T, I>::Normalize(E_NrmType type, double* norm) {
  double r = Nrm(type);
  if (norm) *norm = r;
  if (r == 0.0) return 0;
  return SMlt(K::NrmFactor(r), 0, -1);
}

template <class T, class I>
I C_Vec<T, I>::SearchExtreme(I first, I last, bool largest) {
  const I n = this->dim;
  if (last == -1 || last >= n) last = n - 1;
  T* base = Adr(0);
  if (!this->InCore()) KVELO_THROW(38);
  const bool blas = K::kBlasSearch && std::is_same<I, int>::value;
  const I empty = blas ? -1 : -2;
  if (first < 0 || first > n) return empty;
  const I m = last - first + 1;
  if (m < 1) return empty;
  if (!base) KVELO_THROW(38);
  const T* p = base + first;
  if constexpr (K::kBlasSearch && std::is_same<I, int>::value) {
    int k = largest ? K::IAmax(static_cast<int>(m), p) : K::IAmin(static_cast<int>(m), p);
    return static_cast<I>(k - 1);
  } else if constexpr (K::kMagnitudeSearch && std::is_same<I, int>::value) {
    I held = 0;
    auto hv = K::Mag(p[0]);
    for (I i = 1; i < m; ++i) {
      auto v = K::Mag(p[i]);
      if (largest ? v > hv : v < hv) {
        hv = v;
        held = i;
      }
    }
    return held;
  } else {
    // Signed values (complex: real parts only).
    I held = 0;
    auto hv = K::Key(p[0]);
    for (I i = 1; i < m; ++i) {
      auto v = K::Key(p[i]);
      if (largest ? v > hv : v < hv) {
        hv = v;
        held = i;
      }
    }
    return held;
  }
}

template <class T, class I>
I C_Vec<T, I>::IMin(I first, I last) {
  return SearchExtreme(first, last, false);
}

template <class T, class I>
I C_Vec<T, I>::IMax(I first, I last) {
  return SearchExtreme(first, last, true);
}

// The element types of the library's vector instances: X(T) once for each. The declarations
// below and the instances compiled into libkvelo.so are made from this one list.
#define KVELO_VEC_ELEMENT_TYPES(X) \
  X(int) X(float) X(double) X(long long) X(std::complex<float>) X(std::complex<double>)

// The instances live in libkvelo.so; users of this header take them from there.
extern template class C_BaseVec<int>;
extern template class C_BaseVec<long long>;
#define KVELO_VEC_EXTERN(T)                                  \
  extern template struct C_Counter<C_Vec<T, int>>;           \
  extern template struct C_Counter<C_Vec<T, long long>>;     \
  extern template class C_Vec<T, int>;                       \
  extern template class C_Vec<T, long long>;
KVELO_VEC_ELEMENT_TYPES(KVELO_VEC_EXTERN)
#undef KVELO_VEC_EXTERN

#endif
