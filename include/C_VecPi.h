/* C_VecPi.h: the library's concrete vector C_VecPi<T,I,P>, a C_Vec<T,I> whose elements live
 * in a storage P = C_PtrInCore<T,I> held in place: always in core and contiguous, owning its
 * buffer (with a capacity that shrinking and regrowing keep) or borrowing a caller's array.
 * Instances: I = int, T = int, double, complex<double> (exported by libkvelo.so).
 *
 * Range operations take (first, last), last -1 or past the end meaning the last element, and
 * fail without exception (-1, null or zero) when first < 0 or first > dimension.
 * Failures throw C_KveloException (reason 0): 2 negative dimension, 12 null FILE, 21 read
 * failed, 22 write failed, 1001 no memory, 2870 a borrowed buffer cannot grow, 2871 value
 * cursor not provided, 2872 view offset out of range. One thread at a time per vector. */
#ifndef KVELO_C_VECPI_H
#define KVELO_C_VECPI_H

#include "kvelo_export.h"
#include "C_Type.h"
#include "C_Vec.h"
#include "C_Ptr.h"
#include "C_KveloException.h"
#include "C_bfd.h"

#include <climits>
#include <complex>
#include <cstdio>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

template <class T, class I = int, class P = C_PtrInCore<T, I>>
class KVELO_API C_VecPi : public C_Vec<T, I> {
 public:
  using K = kvelo_vec::Kernel<T>;

  int capacity;  // elements of the last allocation the vector made; 0 for a borrowing vector
  P ptr;         // the storage: owns flag and data address

  // Owned vector of n zeros (no buffer for n <= 0); dimension = capacity = n, whatever the
  // sign of n; throws 1001 when out of memory.
  explicit C_VecPi(I n = 0) : C_Vec<T, I>(n), capacity(n), ptr(n, T()) {}
  // (double only) Owned vector of n elements equal to init.
  template <class U = T, typename std::enable_if<std::is_same<U, double>::value, int>::type = 0>
  C_VecPi(I n, double init) : C_Vec<T, I>(n), capacity(n), ptr(n, init) {}
  // View of a caller's array of n elements, which must outlive the vector; never freed.
  C_VecPi(I n, T* p) : C_Vec<T, I>(n), capacity(0), ptr(p) {}
  // Deep copy: a buffer of its own holding the source's values (never a shared owner).
  C_VecPi(const C_VecPi& o);
  // Deep copy into a buffer of its own (allocated before the old one is given back, so the
  // source may view this vector); counts unchanged; throws 1001 when out of memory. A vector
  // that borrows its values (a view, a caller's array) stays a view: the values land in the
  // memory it looks into, as Assign puts them (2870, nothing changed, when it would grow).
  C_VecPi& operator=(const C_VecPi& o);
  // Gives back an owned buffer; counts the vector out.
  ~C_VecPi() override {}

  using C_Vec<T, I>::GetVal;

  // dimension x sizeof(T), as int (INT_MAX beyond it).
  int MemSize() const override;
  int InCore() override { return ptr.InCore(); }
  int Full() override { return 1; }
  // "C_VecPi Vector".
  const char* AffType() const override;
  // Binary form: dimension as a big-endian 4-byte int, then the values big-endian; throws 22
  // when a write fails (a null f included), 2 (nothing written) for a negative dimension,
  // which Read refuses.
  int Write(FILE* f) override;
  // Read(f, 0).
  int Read(FILE* f) override;
  // File form of WriteMatlab(FILE*).
  int WriteMatlab(const char* path) override;
  // Three header lines, then every value followed by a space on one line; null f throws 12,
  // no memory 1001 (nothing written).
  int WriteMatlab(FILE* f) override;
  // File form of Print(FILE*); returns 0.
  int Print(const char* path, bool append) override;
  // Four header lines, "- Values : ", then the values five to a line; null f throws 12, no
  // memory 1001 (nothing written).
  int Print(FILE* f) override;
  // Zeroes first..last; -1 for a bad first.
  int Zero(I first, I last) override;
  // Frees an owned buffer (forgets a borrowed one); dimension and capacity become 0.
  void Release() override;
  // New dimension n: shrinking and regrowing within the capacity keep the buffer and its
  // values; growing beyond it reallocates (new values zero). Throws 2 for n < 0, 2870 when
  // a borrowing vector must grow, 1001 when out of memory.
  int Resize(I n) override;

  // Binary form of Write: the dimension, then the values, which replace the vector's only once
  // all have arrived (memory grows with them, never with the dimension the file claims).
  // Throws 21 when a read fails, 2 for a negative dimension, 2870 when a borrowing vector
  // would have to grow; the vector is then as it was.
  int Read(FILE* f, int unused) override;
  // Reads n big-endian values from f in blocks of at most 1 MiB into a buffer that grows with
  // what arrives, then makes them the vector's values (TakeValues); returns 0. Throws 2 for
  // n < 0, 21 when fewer than n values can be read, 1001 when out of memory, 2870 as
  // TakeValues; the vector is unchanged whenever it throws.
  int ReadValues(FILE* f, I n);
  // This vector takes src's dimension and values and src becomes empty. src's owned buffer is
  // handed over when this vector owns its buffer (or has none) and src's values exceed its
  // capacity; otherwise the values are copied into this vector's buffer (views of it stay
  // valid). Throws 2870, both unchanged, when a borrowing vector would have to grow.
  void TakeValues(C_VecPi& src);
  T* Adr(I i) override { return ptr.Adr(i); }
  T GetVal(I i) override { return ptr[i]; }
  // Stores v in element i and returns 1 (i not checked).
  int SetVal(I i, T v) override { return ptr.SetVal(i, v); }
  T& operator[](I i) override { return ptr[i]; }
  // Storage Extract over first..last; null for a bad first.
  T* Extract(I first, I last, T* buf) override;
  // Sets first..last to v; -1 for a bad first.
  int Init(T v, I first, I last) override;
  // Sum of first..last; zero for a bad first.
  T Sum(I first, I last) override;
  // This takes src's dimension and values (contiguous: one copy call; without contiguous
  // data: blocks of 4096 through Extract; not full: zeros, then the values src's cursor
  // delivers). Errors of Resize pass through; 38 when an Extract gives nothing or a contiguous
  // source no address, 2872 when the cursor names a position outside src. Whatever fails,
  // this vector is as it was: sources without contiguous data are read whole before it changes.
  int Copy(C_Vec<T, I>& src) override;
  // New heap view (capacity 0, not owning) of the values from offset on; the caller deletes
  // it; valid while this vector keeps its buffer. Throws 2872 for offset < 0 or > dimension,
  // 1001 when out of memory.
  C_Vec<T, I>* Lnk(I offset) override;
  // Becomes a view of the caller's n elements at p (an owned buffer is freed first); returns 0.
  // Throws 2870, nothing changed, when p lies inside its own buffer past the start or just past
  // its end (the buffer would be freed under the view). p at the start of its own buffer keeps
  // the buffer owned, with its capacity, and takes dimension n (2870, nothing changed, when n
  // exceeds the buffer).
  int Attach(I n, T* p) override;
  // Multiplies first..last by a; -1 for a bad first.
  int SMlt(T a, I first, I last) override;
  // Multiplies every element by a.
  void operator*=(T a) override;

  // (double, complex<double>) Deep copy of src's values: Resize to src's dimension (a view of
  // equal length stays a view), then the values in order; returns 0; errors of Resize pass.
  // src may share memory with this vector (a view of it, or another view of one buffer).
  template <class U = T, typename std::enable_if<!std::is_same<U, int>::value, int>::type = 0>
  int Assign(const C_VecPi& src) {
    AssignValues(src);
    return 0;
  }

 protected:
  // Resize to src's dimension, then src's values in order (src may share memory with this
  // vector); nothing changes when the resize throws (2 negative, 2870 a view that would grow,
  // 1001 no memory, also for setting shared values aside).
  void AssignValues(const C_VecPi& src);
  // Sets last to dimension - 1 when it is -1 or past the end; returns last - first + 1.
  I CompLength(I& first, I& last);
  // true when first is a valid start of a range (0 <= first <= dimension).
  bool RangeOk(I first) const { return first >= 0 && first <= this->dim; }
};

// ---------------------------------------------------------------------------------------
// Bodies.
// ---------------------------------------------------------------------------------------
template <class T, class I, class P>
C_VecPi<T, I, P>::C_VecPi(const C_VecPi& o) : C_Vec<T, I>(o), capacity(o.dim), ptr() {
  if (o.dim > 0) ptr.Copy(const_cast<P&>(o.ptr), o.dim);
}

template <class T, class I, class P>
C_VecPi<T, I, P>& C_VecPi<T, I, P>::operator=(const C_VecPi& o) {
  if (this == &o) return *this;
  if (ptr.owns == 0 && ptr.data) {
    // A view: a result written into it belongs in the elements it looks into.
    AssignValues(o);
    return *this;
  }
  if (o.dim > 0)
    ptr.Copy(const_cast<P&>(o.ptr), o.dim);
  else
    ptr.Release();
  C_Vec<T, I>::operator=(o);
  capacity = o.dim;
  return *this;
}

template <class T, class I, class P>
void C_VecPi<T, I, P>::AssignValues(const C_VecPi& src) {
  const I n = src.dim;
  const bool aside = &src != this && kvelo_vec::Overlaps(kvelo_vec::ValueMemory(*this, n),
                                                         kvelo_vec::RangeOf(static_cast<const T*>(src.ptr.data), n));
  const kvelo_vec::HeldValues<T> from(src.ptr.data, n, aside);
  this->Resize(n);
  if (this->dim > 0) std::memmove(static_cast<void*>(Adr(0)), from.get(), static_cast<size_t>(this->dim) * sizeof(T));
}

template <class T, class I, class P>
int C_VecPi<T, I, P>::MemSize() const {
  // An int cannot hold the size of a vector beyond 2 GiB: it then answers the largest int
  // rather than a wrapped (negative or small) count.
  const long long bytes = static_cast<long long>(this->dim) * static_cast<long long>(sizeof(T));
  return bytes > INT_MAX ? INT_MAX : static_cast<int>(bytes);
}

template <class T, class I, class P>
const char* C_VecPi<T, I, P>::AffType() const {
  return "C_VecPi Vector";
}

template <class T, class I, class P>
int C_VecPi<T, I, P>::Write(FILE* f) {
  // Read refuses a negative dimension: such a vector has no binary form.
  if (this->dim < 0) KVELO_THROW(2);
  if (T_BF_write(f, &this->dim, 1, true) != 0) KVELO_THROW(22);
  if (this->dim > 0 && ptr.Write(f, 0, this->dim) != 0) KVELO_THROW(22);
  return 0;
}

template <class T, class I, class P>
int C_VecPi<T, I, P>::Read(FILE* f) {
  return Read(f, 0);
}

template <class T, class I, class P>
int C_VecPi<T, I, P>::Read(FILE* f, int) {
  I n = 0;
  if (T_BF_read(f, &n, 1, true) != 0) KVELO_THROW(21);
  return ReadValues(f, n);
}

template <class T, class I, class P>
int C_VecPi<T, I, P>::ReadValues(FILE* f, I n) {
  if (n < 0) KVELO_THROW(2);
  // The count comes from outside: room is made as values arrive (doubling, so the copies
  // stay linear), never for values that are only announced.
  const I block = static_cast<I>(kvelo_vec::ReadBlockLength<T>());
  C_VecPi in(0);
  for (I have = 0; have < n;) {
    const I len = n - have < block ? n - have : block;
    if (have + len > in.capacity) {
      const I doubled = in.capacity > n / 2 ? n : 2 * in.capacity;
      in.Resize(have + len > doubled ? have + len : doubled);
    }
    if (T_BF_read(f, static_cast<const T*>(in.Adr(have)), len, true) != 0) KVELO_THROW(21);
    have += len;
  }
  in.Resize(n);
  TakeValues(in);
  return 0;
}

template <class T, class I, class P>
void C_VecPi<T, I, P>::TakeValues(C_VecPi& src) {
  if (&src == this) return;
  const I n = src.dim;
  if (n > 0 && n > capacity && src.ptr.owns == 1 && (ptr.owns == 1 || !ptr.data)) {
    ptr.Swap(src.ptr);
    std::swap(capacity, src.capacity);
    this->dim = n;
    src.Release();  // gives back this vector's former buffer
    return;
  }
  this->Resize(n);
  if (n > 0) K::Copy(n, src.Adr(0), Adr(0));
  src.Release();
}

template <class T, class I, class P>
int C_VecPi<T, I, P>::WriteMatlab(const char* path) {
  return C_BaseVec<I>::WriteMatlab(path);
}

template <class T, class I, class P>
int C_VecPi<T, I, P>::WriteMatlab(FILE* f) {
  // Value by value: the line is as long as the vector, its text need not be held at once. The
  // room for one value is made first: no memory, and nothing is written.
  std::string text;
  kvelo_vec::MakeRoomForValue(text);
  C_Vec<T, I>::WriteMatlab(f);
  for (I i = 0; i < this->dim; ++i) {
    text.clear();
    K::Append(text, ptr[i]);
    text += ' ';
    std::fputs(text.c_str(), f);
  }
  std::fputs("\n", f);
  return 0;
}

template <class T, class I, class P>
int C_VecPi<T, I, P>::Print(const char* path, bool append) {
  C_BaseVec<I>::Print(path, append);
  return 0;
}

template <class T, class I, class P>
int C_VecPi<T, I, P>::Print(FILE* f) {
  std::string text;
  kvelo_vec::MakeRoomForValue(text);  // as in WriteMatlab
  C_Vec<T, I>::Print(f);
  std::fputs("- Values : \n", f);
  for (I i = 0; i < this->dim; ++i) {
    text.clear();
    K::Append(text, ptr[i]);
    text += (i % 5 == 4) ? '\n' : ' ';
    std::fputs(text.c_str(), f);
  }
  if (this->dim > 0 && this->dim % 5 != 0) std::fputs("\n", f);
  return 0;
}

template <class T, class I, class P>
I C_VecPi<T, I, P>::CompLength(I& first, I& last) {
  if (last == -1 || last >= this->dim) last = this->dim - 1;
  return last - first + 1;
}

template <class T, class I, class P>
int C_VecPi<T, I, P>::Zero(I first, I last) {
  if (!RangeOk(first)) return -1;
  I n = CompLength(first, last);
  return ptr.Zero(first, n);
}

template <class T, class I, class P>
T* C_VecPi<T, I, P>::Extract(I first, I last, T* buf) {
  if (!RangeOk(first)) return nullptr;
  I n = CompLength(first, last);
  return ptr.Extract(first, n, buf);
}

template <class T, class I, class P>
int C_VecPi<T, I, P>::Init(T v, I first, I last) {
  if (!RangeOk(first)) return -1;
  I n = CompLength(first, last);
  return ptr.Init(v, first, n);
}

template <class T, class I, class P>
T C_VecPi<T, I, P>::Sum(I first, I last) {
  if (!RangeOk(first)) return T();
  I n = CompLength(first, last);
  return ptr.Sum(first, n);
}

template <class T, class I, class P>
int C_VecPi<T, I, P>::SMlt(T a, I first, I last) {
  if (!RangeOk(first)) return -1;
  I n = CompLength(first, last);
  return ptr.SMlt(a, first, n);
}

template <class T, class I, class P>
void C_VecPi<T, I, P>::operator*=(T a) {
  ptr.SMlt(a, 0, this->dim);
}

template <class T, class I, class P>
void C_VecPi<T, I, P>::Release() {
  ptr.Resize(0);
  this->dim = 0;
  capacity = 0;
}

template <class T, class I, class P>
int C_VecPi<T, I, P>::Resize(I n) {
  if (n < 0) KVELO_THROW(2);
  if (n == this->dim) return 0;
  if (n == 0) {
    ptr.Resize(0);
    this->dim = 0;
    capacity = 0;
    return 0;
  }
  if (n < this->dim || n <= capacity) {
    this->dim = n;  // the buffer and the values beyond n stay
    return 0;
  }
  ptr.Resize(n);
  this->dim = n;
  capacity = n;
  return 0;
}

template <class T, class I, class P>
int C_VecPi<T, I, P>::Copy(C_Vec<T, I>& src) {
  const I n = src.dim;
  if (src.InCore() && src.Full()) {
    const T* ps = src.Adr(0);
    if (n > 0 && !ps) KVELO_THROW(38);
    // src's values are set aside first when they lie in memory this vector's resize may give
    // back (src a view of this vector's buffer); overlapping ranges are otherwise copied safely.
    const bool aside = &src != this && kvelo_vec::Overlaps(kvelo_vec::ValueMemory(*this, n), kvelo_vec::ValueMemory(src));
    const kvelo_vec::HeldValues<T> held(aside ? ps : nullptr, n, aside);
    this->Resize(n);
    if (n > 0) K::Copy(n, aside ? held.get() : ps, Adr(0));
    return 0;
  }
  // Any other source is read whole into a vector of its own first: its Extract or its value
  // cursor may fail part-way, and this vector must then be as it was.
  C_VecPi in(0);
  in.Resize(n);
  if (src.Full()) {
    if (n > 0) {
      T* buf = src.InCore() ? nullptr : src.Adr(0);
      kvelo_vec::ForEachBlock(n, [&](I first, I len) {
        const T* p = src.Extract(first, first + len - 1, buf);
        if (!p) KVELO_THROW(38);
        K::Copy(len, p, in.Adr(first));
      });
    }
  } else {
    // Not full: zeros (the fresh buffer's), then the values its cursor delivers.
    T v = T();
    I i = src.FirstVal(v);
    while (i != -1) {
      if (i < 0 || i >= n) KVELO_THROW(2872);
      in.ptr[i] = v;
      i = src.NextVal(v);
    }
  }
  TakeValues(in);
  return 0;
}

template <class T, class I, class P>
C_Vec<T, I>* C_VecPi<T, I, P>::Lnk(I offset) {
  if (offset < 0 || offset > this->dim) KVELO_THROW(2872);
  T* base = Adr(0);
  C_Vec<T, I>* view = new (std::nothrow) C_VecPi(this->dim - offset, base ? base + offset : nullptr);
  if (!view) KVELO_THROW(1001);
  return view;
}

template <class T, class I, class P>
int C_VecPi<T, I, P>::Attach(I n, T* p) {
  if (p && p == ptr.data && ptr.owns == 1) {
    // Its own buffer from the start: the vector keeps owning it with its capacity, and may not
    // claim elements beyond it.
    if (n > ptr.nalloc) KVELO_THROW(2870);
    this->dim = n;
    return 0;
  }
  ptr.Attach(p);  // may refuse: the vector changes only after it
  capacity = 0;
  this->dim = n;
  return 0;
}

// The instances live in libkvelo.so.
extern template class C_VecPi<int, int, C_PtrInCore<int, int>>;
extern template class C_VecPi<double, int, C_PtrInCore<double, int>>;
extern template class C_VecPi<std::complex<double>, int, C_PtrInCore<std::complex<double>, int>>;

#endif
