/* C_Vec.h: the element-type-free vector interface C_BaseVec<I> and the abstract typed vector
 * C_Vec<T,I>: text and binary forms, string accessors, arithmetic, norms and extreme
 * positions, all written over the vector's own virtual element interface so that a class
 * derived by a host decides its storage. Instances: T in int, float, double, long long,
 * complex<float>, complex<double>; I in int, long long (all exported by libkvelo.so).
 *
 * Failures throw C_KveloException (reason 0): 2 negative size, 3 bad norm type, 12 null FILE
 * or full/non-full copy, 21 read failed, 22 write failed, 38 data not in core or without a
 * contiguous address, 1001 no memory (for values set aside), 2871 operation not provided by
 * the class, 2872 sizes differ, 2873 operand not full in a multiply-add, 14008 difference of
 * vectors without contiguous data.
 * A vector belongs to one thread at a time; independent vectors may live on different threads
 * (the object counts are process-wide and updated atomically). */
#ifndef KVELO_C_VEC_H
#define KVELO_C_VEC_H

#include "kvelo_export.h"
#include "C_Type.h"
#include "C_KveloException.h"
#include "C_bfd.h"
#include "ITF_blas_lapack.h"
#include "kvelosys.h"

#include <cmath>
#include <complex>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

namespace kvelo_vec {

// Largest count handed to one 32-bit BLAS call, and the block length of storage that has
// no contiguous data.
constexpr long long kPieceLength = 2147483647LL;
constexpr int kBlockLength = 4096;
// The piece length in force for the long long vectors, which go to their kernels piece by
// piece (ForEachVecPiece): kPieceLength, unless the library's own tests lowered it (through a
// setter in the library's source) to reach the joins between pieces at small sizes. Internal:
// not exported, and called only from the vector instances compiled into libkvelo.so.
long long PieceLength();
// Largest run of values that readers of outside data (files, a peer process) take at once:
// their memory grows by what has arrived, never by what a count announces.
constexpr size_t kReadBlockBytes = 1u << 20;
// Values of T in one such run.
template <class T>
constexpr long long ReadBlockLength() {
  return static_cast<long long>(kReadBlockBytes / sizeof(T));
}

// The text operations of the containers grow strings, and the standard strings say a want of
// memory with std::bad_alloc: grow(s) runs here, which gives it to the host as the library's
// 1001. grow must leave s as it was when it throws.
template <class Grow>
inline void GrowText(std::string& s, Grow grow) {
  try {
    grow(s);
  } catch (const std::bad_alloc&) {
    KVELO_THROW(1001);
  }
}

// The most that the text of one value takes (the widest, a complex one, needs 26 bytes).
constexpr size_t kValueTextRoom = 64;

// Room in s for one more value's text, made before a cursor moves: the value then goes in
// without memory. 1001, s unchanged, when the room cannot be had.
inline void MakeRoomForValue(std::string& s) {
  GrowText(s, [](std::string& t) { t.reserve(t.size() + kValueTextRoom); });
}

// Appends printf-formatted text to s (the formats used here never need more than 64 bytes,
// but the length is checked all the same); 1001, s unchanged, when memory runs out. Inline,
// so that the matrix templates a host instantiates form their element texts with it too.
inline void AppendFormat(std::string& s, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
inline void AppendFormat(std::string& s, const char* fmt, ...) {
  va_list ap, again;
  va_start(ap, fmt);
  va_copy(again, ap);
  char local[128];
  const int n = std::vsnprintf(local, sizeof local, fmt, ap);
  va_end(ap);
  // A text longer than the local buffer is formatted aside, so that s changes in one step.
  std::string wide;
  const char* text = local;
  if (n > 0 && static_cast<size_t>(n) >= sizeof local) {
    try {
      GrowText(wide, [&](std::string& t) { t.resize(static_cast<size_t>(n) + 1); });
    } catch (...) {
      va_end(again);
      throw;
    }
    std::vsnprintf(&wide[0], static_cast<size_t>(n) + 1, fmt, again);
    text = wide.c_str();
  }
  va_end(again);
  if (n > 0) GrowText(s, [&](std::string& t) { t.append(text, static_cast<size_t>(n)); });
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
// only its sums and squares can leave the range of double.
template <class T>
inline constexpr bool kIsWide = std::is_same<typename WideOf<T>::type, T>::value;

// Whether v holds a NaN (a complex v in either part); never for integers.
template <class T>
inline bool IsNaN(T v) {
  if constexpr (std::is_integral<T>::value)
    return false;
  else if constexpr (std::is_floating_point<T>::value)
    return v != v;
  else
    return v.real() != v.real() || v.imag() != v.imag();
}

// Whether v is finite (a complex v in both parts); always for integers.
template <class T>
inline bool IsFinite(T v) {
  if constexpr (std::is_integral<T>::value)
    return true;
  else if constexpr (std::is_floating_point<T>::value)
    return std::isfinite(v);
  else
    return std::isfinite(v.real()) && std::isfinite(v.imag());
}

// Offset of the first of n elements holding a NaN, -1 when none.
template <class T, class I>
inline I FirstNaN(I n, const T* x) {
  if constexpr (!std::is_integral<T>::value)
    for (I i = 0; i < n; ++i)
      if (IsNaN(x[i])) return i;
  return -1;
}

// |v| as a double (complex: the modulus, formed without overflow). NaN whenever v holds one,
// also beside an infinite part, so that no norm turns a NaN into a number.
template <class T>
inline double Magnitude(T v) {
  if (IsNaN(v)) return std::numeric_limits<double>::quiet_NaN();
  return std::abs(Widen(v));
}

// The running maximum of norms: v is taken unless best is greater, and a NaN, once taken,
// stays (a later finite value never replaces it).
inline double KeepMax(double best, double v) { return (best != best || best > v) ? best : v; }

// Sum of |x_i| (complex: the modulus) over n elements, added in double.
template <class T>
inline double OneNormOf(int n, const T* x) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s += Magnitude(x[i]);
  return s;
}

// The square root of a sum of squares of real terms, in one pass without division and without
// overflow or underflow before the result: terms are summed in three accumulators by size
// (those above 2^486 scaled down by 2^-538, those below 2^-511 scaled up by 2^537, the rest as
// they are), whose squares therefore stay within double. Only the root itself overflows, when
// the norm does. A NaN term makes the root NaN, an infinite one (and no NaN) +inf.
class SquareSum {
 public:
  void Add(double t) {
    const double a = std::fabs(t);
    if (Middle(a)) {
      mid_ += a * a;
    } else if (a > kBig) {  // infinite terms too: big_ becomes +inf
      const double s = a * kDownBig;
      big_ += s * s;
    } else if (a < kSmall) {
      const double s = a * kUpSmall;
      small_ += s * s;
    } else {
      nan_ = true;
    }
  }
  // Every part of the n elements from x (real and imaginary parts of complex ones).
  template <class T, class I>
  void AddAll(I n, const T* x) {
    for (I i = 0; i < n; ++i) {
      if constexpr (std::is_integral<T>::value || std::is_floating_point<T>::value) {
        Add(static_cast<double>(x[i]));
      } else {
        Add(static_cast<double>(x[i].real()));
        Add(static_cast<double>(x[i].imag()));
      }
    }
  }
  double Root() const {
    if (nan_) return std::numeric_limits<double>::quiet_NaN();
    if (big_ > 0.0) {
      // Middle terms count at the big terms' scale; small ones are below its precision.
      const double b = big_ + (mid_ * kDownBig) * kDownBig;
      return std::sqrt(b) * kUpBigRoot;
    }
    if (small_ > 0.0) {
      const double sm = std::sqrt(small_) * kDownSmallRoot;
      if (mid_ <= 0.0) return sm;
      const double md = std::sqrt(mid_);
      const double hi = md > sm ? md : sm, lo = md > sm ? sm : md;
      const double q = lo / hi;
      return hi * std::sqrt(1.0 + q * q);
    }
    return std::sqrt(mid_);
  }

 private:
  // A term whose square is summed as it is (0 included: it adds nothing anywhere).
  static bool Middle(double a) { return a <= kBig && (a >= kSmall || a == 0.0); }
  static constexpr double kSmall = 0x1p-511;         // below: squares may underflow
  static constexpr double kBig = 0x1p486;            // above: squares (and their sums) may overflow
  static constexpr double kUpSmall = 0x1p537;        // small terms are summed times this
  static constexpr double kDownSmallRoot = 0x1p-537;
  static constexpr double kDownBig = 0x1p-538;       // big terms are summed times this
  static constexpr double kUpBigRoot = 0x1p538;
  double small_ = 0.0, mid_ = 0.0, big_ = 0.0;
  bool nan_ = false;
};

// Sum of n elements: integers in their own type (wrapping, as every integer kernel does),
// floating-point ones added in double (complex<double>) and rounded once at the end. A double
// sum whose partial sums overflowed although every element is finite is taken again on the
// elements divided by 2^64 and multiplied back, so it is infinite only when the sum itself is.
template <class T, class I>
inline T SumOf(I n, const T* x) {
  if constexpr (std::is_integral<T>::value) {
    T s = 0;
    for (I i = 0; i < n; ++i) s = Wrap<T>::Add(s, x[i]);
    return s;
  } else {
    using W = typename WideOf<T>::type;
    W s = 0;
    for (I i = 0; i < n; ++i) s += Widen(x[i]);
    if constexpr (kIsWide<T>) {
      if (!IsFinite(s)) {  // overflowed partial sums (inf, or inf - inf), or a non-finite element
        bool finite = true;
        for (I i = 0; i < n && finite; ++i) finite = IsFinite(x[i]);
        if (finite) {
          W scaled = 0;
          for (I i = 0; i < n; ++i) scaled += x[i] * 0x1p-64;
          s = scaled * 0x1p64;
        }
      }
    }
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

// Whether the BLAS scaling cannot be trusted with factor a: a zero factor makes it store zeros
// without multiplying (turning NaN and infinite elements into 0, where 0 times those is NaN), and
// a NaN or infinite factor may be passed over for zero elements in the same way.
template <class T>
inline bool NeedsPlainScale(T a) {
  return a == T() || !IsFinite(a);
}

// x := a x element by element, each the plain product: a NaN anywhere in a or x_i gives NaN, and
// so does 0 times an infinity; complex elements take the product of parts, in which a NaN or an
// infinite part meeting a zero makes the result NaN.
template <class T>
inline void ScaleOneByOne(int n, T a, T* x) {
  for (int i = 0; i < n; ++i) {
    if constexpr (std::is_floating_point<T>::value) {
      x[i] = a * x[i];
    } else {
      const T v = x[i];
      x[i] = T(a.real() * v.real() - a.imag() * v.imag(), a.real() * v.imag() + a.imag() * v.real());
    }
  }
}

// y := y + a x element by element with the plain product (as ScaleOneByOne), for the factors
// that the BLAS multiply-adds pass over: with a zero factor they leave y as it is, though 0
// times a NaN or infinite x_i is NaN.
template <class T>
inline void AxpyOneByOne(int n, T a, const T* x, T* y) {
  for (int i = 0; i < n; ++i) {
    const T v = x[i];
    if constexpr (std::is_floating_point<T>::value) {
      y[i] = y[i] + a * v;
    } else {
      using R = typename T::value_type;
      const R re = a.real() * v.real() - a.imag() * v.imag(), im = a.real() * v.imag() + a.imag() * v.real();
      y[i] = T(y[i].real() + re, y[i].imag() + im);
    }
  }
}

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
  // The largest |x|, formed in double (a single-precision modulus could overflow); NaN when
  // any element holds a NaN, which the BLAS search may pass over. For complex elements the
  // BLAS i?amax ranks by |Re| + |Im|, which need not pick the largest modulus ([3, 2+2i]
  // would give 2.83): every modulus is compared instead.
  static double InfNorm(int n, const T* x) {
    if (std::is_same<T, std::complex<float>>::value || std::is_same<T, std::complex<double>>::value) {
      double best = 0.0;
      for (int i = 0; i < n; ++i) {
        const double m = Magnitude(x[i]);
        if (m != m) return m;
        if (m > best) best = m;
      }
      return best;
    }
    const int k = Kernel<T>::IAmax(n, x);
    const double r = k < 1 ? 0.0 : Magnitude(x[k - 1]);
    return (r == r && FirstNaN(n, x) >= 0) ? std::numeric_limits<double>::quiet_NaN() : r;
  }
};

template <>
struct Kernel<float> : FloatKernelBase<float> {
  using Real = float;
  static constexpr C_Type::E_Type kType = C_Type::TypeFloat;
  static const char* Name() { return "Float"; }
  static void Append(std::string& s, float v) { AppendFormat(s, "% 2.3e ", static_cast<double>(v)); }
  static void Scal(int n, float a, float* x) {
    if (NeedsPlainScale(a))
      ScaleOneByOne(n, a, x);
    else
      ITF_sscal(n, a, x, 1);
  }
  static float Dot(int n, const float* x, const float* y) { return ITF_sdot(n, x, 1, y, 1); }
  static void Axpy(int n, float a, const float* x, float* y) {
    if (NeedsPlainScale(a))
      AxpyOneByOne(n, a, x, y);
    else
      ITF_saxpy(n, a, x, 1, y, 1);
  }
  static int IAmax(int n, const float* x) { return ITF_isamax(n, x, 1); }
  static int IAmin(int n, const float* x) { return ITF_isamin(n, x, 1); }
  static float Conj(float v) { return v; }
  static double AbsD(float v) { return std::fabs(static_cast<double>(v)); }
  static float Key(float v) { return v; }
  static float NrmFactor(double r) { return 1.0f / static_cast<float>(r); }
};

template <>
struct Kernel<double> : FloatKernelBase<double> {
  using Real = double;
  static constexpr C_Type::E_Type kType = C_Type::TypeDouble;
  static const char* Name() { return "Double"; }
  static void Append(std::string& s, double v) { AppendFormat(s, "% 2.3e ", v); }
  static void Scal(int n, double a, double* x) {
    if (NeedsPlainScale(a))
      ScaleOneByOne(n, a, x);
    else
      ITF_dscal(n, a, x, 1);
  }
  static double Dot(int n, const double* x, const double* y) { return ITF_ddot(n, x, 1, y, 1); }
  static void Axpy(int n, double a, const double* x, double* y) {
    if (NeedsPlainScale(a))
      AxpyOneByOne(n, a, x, y);
    else
      ITF_daxpy(n, a, x, 1, y, 1);
  }
  static void Copy(int n, const double* x, double* y);
  static int IAmax(int n, const double* x) { return ITF_idamax(n, x, 1); }
  static int IAmin(int n, const double* x) { return ITF_idamin(n, x, 1); }
  static double Conj(double v) { return v; }
  static double AbsD(double v) { return std::fabs(v); }
  static double Key(double v) { return v; }
  static double NrmFactor(double r) { return 1.0 / r; }
};

template <>
struct Kernel<std::complex<float>> : FloatKernelBase<std::complex<float>> {
  using C = std::complex<float>;
  using Real = float;
  static constexpr C_Type::E_Type kType = C_Type::TypeComplexFloat;
  static const char* Name() { return "Float complex"; }
  static void Append(std::string& s, C v) {
    AppendFormat(s, "% 2.3E % 2.3E ", static_cast<double>(v.real()), static_cast<double>(v.imag()));
  }
  static void Scal(int n, C a, C* x) {
    if (NeedsPlainScale(a))
      ScaleOneByOne(n, a, x);
    else
      ITF_cscal(n, a, x, 1);
  }
  static C Dot(int n, const C* x, const C* y) {
    C r(0.0f, 0.0f);
    ITF_kvelocdot(n, x, y, &r, 1);
    return r;
  }
  static void Axpy(int n, C a, const C* x, C* y) {
    if (NeedsPlainScale(a))
      AxpyOneByOne(n, a, x, y);
    else
      ITF_caxpy(n, a, x, 1, y, 1);
  }
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
  using Real = double;
  static constexpr C_Type::E_Type kType = C_Type::TypeComplexDouble;
  static const char* Name() { return "Double complex"; }
  static void Append(std::string& s, C v) { AppendFormat(s, "% 2.3E % 2.3E ", v.real(), v.imag()); }
  static void Scal(int n, C a, C* x) {
    if (NeedsPlainScale(a))
      ScaleOneByOne(n, a, x);
    else
      ITF_zscal(n, a, x, 1);
  }
  static C Dot(int n, const C* x, const C* y) {
    C r(0.0, 0.0);
    ITF_kvelozdot(n, x, y, &r, 1);
    return r;
  }
  static void Axpy(int n, C a, const C* x, C* y) {
    if (NeedsPlainScale(a))
      AxpyOneByOne(n, a, x, y);
    else
      ITF_zaxpy(n, a, x, 1, y, 1);
  }
  static void Copy(int n, const C* x, C* y);
  static int IAmax(int n, const C* x) { return ITF_izamax(n, x, 1); }
  static int IAmin(int n, const C* x) { return ITF_izamin(n, x, 1); }
  static C Conj(C v) { return std::conj(v); }
  static double AbsD(C v) { return std::abs(v); }
  static double Key(C v) { return v.real(); }
  static C NrmFactor(double r) { return C(1.0, 0.0) / C(r, 0.0); }
};

// The factors by which Normalize divides a vector of T by its norm r (a double, not 0):
// the plain factor of the element type (Kernel::NrmFactor) when r and 1/r are both normal
// numbers of T's precision, or r is not finite; otherwise a power of two that brings the
// values near 1, then the rest of 1/r, so that neither product overflows or sinks below the
// normal range where 1/r alone would (3e-320, or a float norm beyond 2^126). Returns how many
// factors to apply in turn (1 or 2).
template <class T>
inline int ReciprocalSteps(double r, T& first, T& second) {
  using K = Kernel<T>;
  if constexpr (std::is_integral<T>::value) {
    first = K::NrmFactor(r);
    second = T(1);
    return 1;
  } else {
    using R = typename K::Real;
    const double lo = static_cast<double>(std::numeric_limits<R>::min());
    if (!std::isfinite(r) || (std::fabs(r) >= lo && std::fabs(r) <= 1.0 / lo)) {
      first = K::NrmFactor(r);
      second = T(R(1));
      return 1;
    }
    int e = 0;
    const double m = std::frexp(r, &e);  // r = m 2^e, 0.5 <= |m| < 1
    const int minExp = std::numeric_limits<R>::min_exponent - 1;
    const int maxExp = std::numeric_limits<R>::max_exponent - 1;
    const int a = -e < minExp ? minExp : (-e > maxExp ? maxExp : -e);
    first = T(static_cast<R>(std::ldexp(1.0, a)));
    second = T(static_cast<R>(std::ldexp(1.0 / m, -e - a)));
    return 2;
  }
}

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
// the caller is about to overwrite or give back), else read where they are. The copy comes
// from the library's heap; when it cannot be had the constructor throws 1001 before the
// caller has changed anything.
template <class T>
class HeldValues {
 public:
  HeldValues(const T* p, long long n, bool aside) : m_at(p) {
    if (aside && p && n > 0) {
      m_copy = static_cast<T*>(kvelomem_calloc(static_cast<size_t>(n), sizeof(T), "HeldValues", 0, __FILE__, __LINE__));
      if (!m_copy) KVELO_THROW(1001);
      std::memcpy(static_cast<void*>(m_copy), p, static_cast<size_t>(n) * sizeof(T));
      m_at = m_copy;
    }
  }
  ~HeldValues() { kvelomem_free(m_copy, __FILE__, __LINE__); }
  HeldValues(const HeldValues&) = delete;
  HeldValues& operator=(const HeldValues&) = delete;
  const T* get() const { return m_at; }

 private:
  T* m_copy = nullptr;
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

// Runs f(offset, count) once per piece of at most `piece` elements, 2^31-1 unless told
// otherwise (one piece for I = int; a count of 0 is one piece of 0).
template <class F>
inline void ForEachPiece(int n, F&& f, long long = kPieceLength) {
  f(0, n);
}
template <class F>
inline void ForEachPiece(long long n, F&& f, long long piece = kPieceLength) {
  int nb = 0;
  long long bs = 0, lbs = 0;
  SplitCountInBlocks(n, piece, nb, bs, lbs);
  for (int k = 0; k < nb; ++k) f(static_cast<long long>(k) * bs, static_cast<int>(k == nb - 1 ? lbs : bs));
}

// ForEachPiece with the piece length in force (PieceLength()): the form the vector
// operations use, compiled into libkvelo.so only.
template <class F>
inline void ForEachVecPiece(int n, F&& f) {
  f(0, n);
}
template <class F>
inline void ForEachVecPiece(long long n, F&& f) {
  ForEachPiece(n, f, PieceLength());
}

// The two-norm of the n contiguous elements from p. Doubles (real or complex) go through the
// dot product first: a sum that is finite and not below 2^-900 means that no square
// overflowed and that those which underflowed lie far below its precision, so its root is the
// norm, at the dot product's speed. Any other sum (0, tiny, infinite, NaN) and the other
// element types take one pass of SquareSum, which neither overflows nor underflows before
// the norm does.
template <class T, class I>
inline double TwoNormOf(I n, const T* p) {
  if constexpr (std::is_same<T, double>::value || std::is_same<T, std::complex<double>>::value) {
    double r = 0.0;
    ForEachPiece(n, [&](I off, int len) { r += std::real(Kernel<T>::Dot(len, p + off, p + off)); });
    if (r >= 0x1p-900 && r <= std::numeric_limits<double>::max()) return std::sqrt(r);
  }
  SquareSum s;
  s.AddAll(n, p);
  return s.Root();
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
  // Appends the formatted value of element i to s; C_KveloException 1001, s unchanged, when
  // memory runs out.
  virtual void GetVal(I i, std::string& s) = 0;
  // Appends the first / next delivered value to s and returns its position; -1 when none.
  // 1001, s and the cursor unchanged, when memory runs out.
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
  // Full() differ, 38 when either is not in core, this is not full or v gives no address
  // (this then unchanged; only a class whose Resize leaves it without an address throws 38
  // after resizing), 1001 when v's values must be set aside and no memory is left.
  virtual int Copy(C_Vec& v);
  // New heap view of the elements from offset on; the caller deletes it.
  virtual C_Vec* Lnk(I offset) = 0;
  // Makes the vector a view of a caller's n elements; throws 2871 here.
  virtual int Attach(I n, T* data);
  // Multiplies elements first..last by a.
  virtual int SMlt(T a, I first, I last) = 0;
  // x := a x (a zero a turns NaN and infinite elements into NaN); throws 38 unless in core and
  // full.
  virtual void operator*=(T a);
  // x := x + v (v.Axpy(x, 1)).
  virtual void operator+=(C_Vec& v);
  // x_i := a + x_i; throws 38 when not empty and without contiguous address.
  virtual void operator+=(T a);
  // Dot product, conj(x_i) v_i for complex T; throws 2872 when dimensions differ.
  virtual T operator*(C_Vec& v);
  // y := y + a x, returns 0 (x sharing memory with y, x = y included, is read from a copy; 0 times
  // a NaN or infinite x_i is NaN, also for a zero a); throws
  // 2872 when dimensions differ, 2873 when either is not full, 1001 when that copy cannot be
  // had (y unchanged).
  virtual int Axpy(C_Vec& y, T a);
  // x := x - v (v.Axpy(x, -1)).
  virtual void operator-=(C_Vec& v);
  // d := |sum of (x_i - v_i)^2| (no square root; complex squares), formed in double
  // (complex<double>) whatever T is; infinite only when the sum is, NaN when an element holds
  // a NaN; returns 0; throws 2872 when dimensions differ, 14008 when either has no contiguous
  // address or is not full.
  virtual int Diff(C_Vec& v, double& d);
  // Two-norm and infinity norm (Nrm(2), Nrm(0)).
  virtual double Nrm2();
  virtual double NrmInf();
  // Offset from first of the smallest / largest element of first..last (last -1 or past the
  // end: the last element); the first element holding a NaN when there is one; an empty or
  // out-of-range range gives -1 (BLAS searches) or -2 (loops); throws 38 when not in core.
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
  // 3 for a type other than 0, 1, 2. Sums of magnitudes (one-norm) are added in double; the
  // two-norm is one pass of scaled sums of squares, so it is infinite or 0 only when the norm
  // itself is beyond or below double. Every norm is NaN when an element holds a NaN.
  double Nrm(E_NrmType type) override;
  // Divides by Nrm(type) through SMlt (integers: by the truncated norm, so a norm of 2 or
  // more zeroes them); a zero norm leaves the vector unchanged. Where 1/norm would overflow or
  // fall below the normal range, or the norm of finite values overflowed, SMlt is called
  // twice (a power of two, then the rest). Returns SMlt's result (the first nonzero one).
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

// The room for the text is made before the cursor moves: a want of memory leaves both as they were.
template <class T, class I>
I C_Vec<T, I>::FirstVal(std::string& s) {
  kvelo_vec::MakeRoomForValue(s);
  T v = T();
  I r = FirstVal(v);
  if (r == -1) return -1;
  K::Append(s, v);
  return r;
}

template <class T, class I>
I C_Vec<T, I>::NextVal(std::string& s) {
  kvelo_vec::MakeRoomForValue(s);
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
  kvelo_vec::ForEachVecPiece(n, [&](I off, int len) { K::Scal(len, a, p + off); });
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
    kvelo_vec::ForEachVecPiece(n, [&](I off, int len) { s = K::Add(s, K::Dot(len, px + off, pv + off)); });
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
    kvelo_vec::ForEachVecPiece(len, [&](I off, int l) { s = K::Add(s, K::Dot(l, px + off, pv + off)); });
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
    // x sharing memory with y would be read after y overwrote it: shifted against y, and for
    // complex elements also at the same place (the kernel reads a part it has already written).
    const kvelo_vec::HeldValues<T> x(Adr(0), n, kvelo_vec::Overlaps(kvelo_vec::RangeOf(static_cast<const T*>(Adr(0)), n), kvelo_vec::RangeOf(static_cast<const T*>(py), n)));
    const T* px = x.get();
    kvelo_vec::ForEachVecPiece(n, [&](I off, int len) { K::Axpy(len, a, px + off, py + off); });
    return 0;
  }
  T* bx = this->InCore() ? nullptr : Adr(0);
  T* by = y.InCore() ? nullptr : y.Adr(0);
  kvelo_vec::ForEachBlock(n, [&](I first, I len) {
    T* py = y.Extract(first, first + len - 1, by);
    const T* px = Extract(first, first + len - 1, bx);
    if (!px || !py) KVELO_THROW(38);
    kvelo_vec::ForEachVecPiece(len, [&](I off, int l) { K::Axpy(l, a, px + off, py + off); });
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
  // Everything that can be known before the resize is asked before it, so that a copy that
  // cannot be made leaves this vector as it was.
  if (!(this->InCore() && v.InCore() && this->Full())) KVELO_THROW(38);
  const I n = v.dim;
  if (n > 0 && !v.Adr(0)) KVELO_THROW(38);
  // v's values are set aside first when they lie in memory this vector's resize may give back.
  const bool aside = &v != this && kvelo_vec::Overlaps(kvelo_vec::ValueMemory(*this, n), kvelo_vec::ValueMemory(v));
  const kvelo_vec::HeldValues<T> held(aside ? v.Adr(0) : nullptr, n, aside);
  this->Resize(n);
  if (n <= 0) return 0;
  if (this->dim != n) KVELO_THROW(2872);
  T* px = Adr(0);
  const T* pv = aside ? held.get() : v.Adr(0);
  if (!px || !pv) KVELO_THROW(38);
  if (px != pv) std::memmove(static_cast<void*>(px), pv, static_cast<size_t>(n) * sizeof(T));
  return 0;
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
  // The complex square is written out so that a NaN part makes the term NaN (the library's
  // complex product would turn an infinite part beside a NaN into an infinity).
  using W = typename kvelo_vec::WideOf<T>::type;
  auto sum = [&](double scale) {
    W s = 0;
    for (I i = 0; i < n; ++i) {
      const W e = kvelo_vec::Widen(px[i]) * scale - kvelo_vec::Widen(pv[i]) * scale;
      if constexpr (std::is_same<W, double>::value)
        s += e * e;
      else
        s += W(e.real() * e.real() - e.imag() * e.imag(), 2.0 * (e.real() * e.imag()));
    }
    return s;
  };
  W s = sum(1.0);
  if constexpr (std::is_same<T, std::complex<double>>::value) {
    // Complex squares can cancel: terms that overflow (or differences that do) may still
    // sum to a finite value. Taken again on the operands divided by a power of two near
    // their largest part, and the modulus multiplied back.
    if (!kvelo_vec::IsFinite(s)) {
      double top = 0.0;
      bool finite = true;
      for (I i = 0; i < n && finite; ++i) {
        finite = kvelo_vec::IsFinite(px[i]) && kvelo_vec::IsFinite(pv[i]);
        for (double part : {px[i].real(), px[i].imag(), pv[i].real(), pv[i].imag()}) top = std::fmax(top, std::fabs(part));
      }
      if (finite) {
        int e = 0;
        std::frexp(top, &e);
        d = std::ldexp(kvelo_vec::Magnitude(sum(std::ldexp(1.0, -e))), 2 * e);
        return 0;
      }
    }
  }
  d = kvelo_vec::Magnitude(s);
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
      kvelo_vec::ForEachVecPiece(n, [&](I off, int len) { r = kvelo_vec::KeepMax(r, K::InfNorm(len, p + off)); });
      return r;
    }
    case NRM_ONE: {
      double r = 0.0;
      kvelo_vec::ForEachVecPiece(n, [&](I off, int len) { r += kvelo_vec::OneNormOf(len, p + off); });
      return r;
    }
    case NRM_TWO:
      // Not the plain root of the dot product, which overflows from 1.4e154 on and vanishes
      // below 1.5e-162: TwoNormOf takes it only where it is exact enough.
      return kvelo_vec::TwoNormOf(n, p);
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
  if constexpr (kvelo_vec::kIsWide<T>) {
    if (std::isinf(r)) {
      // The norm of finite values can overflow while the values over it cannot: divide by
      // 2^128 first and take the norm again (infinite values keep it infinite).
      const int rc = SMlt(T(0x1p-128), 0, -1);
      if (rc != 0) return rc;
      r = Nrm(type);
      if (r == 0.0) return 0;
    }
  }
  T first, second;
  const int steps = kvelo_vec::ReciprocalSteps<T>(r, first, second);
  const int rc = SMlt(first, 0, -1);
  if (steps == 1 || rc != 0) return rc;
  return SMlt(second, 0, -1);
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
  // A NaN is no number to compare: the first element holding one is the answer, whichever
  // extreme is sought (the BLAS searches would pass over it, or stop at it, by position).
  const I nan = kvelo_vec::FirstNaN(m, p);
  if (nan >= 0) return nan;
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
