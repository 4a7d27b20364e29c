/* C_Ptr.h: element storage of the concrete vectors. C_Ptr<T,I> is the abstract storage
 * (addresses, values, ranges, copy, resize, binary write, 2-norm); C_PtrInCore<T,I> is the
 * library's one storage: a heap buffer that the storage either owns or borrows from a caller.
 * A storage does not know its length: every range operation takes (first, count) from the
 * vector that holds it. Instances: I = int, T = int, double, complex<double> (exported).
 *
 * Failures throw C_KveloException (reason 0): 2 negative size, 38 a source without contiguous
 * values, 1001 no memory, 2870 a borrowed buffer cannot grow (or an assignment or Attach would
 * borrow memory the storage is about to give back), 2871 not provided by the class.
 * A storage belongs to one object and one thread at a time; nothing is locked. */
#ifndef KVELO_C_PTR_H
#define KVELO_C_PTR_H

#include "kvelo_export.h"
#include "C_Type.h"
#include "C_Vec.h"
#include "C_KveloException.h"
#include "C_bfd.h"
#include "kvelosys.h"

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

namespace kvelo_vec {

// The root of a storage's 2-norm as the element type: truncated toward zero for integers (the
// largest value of the type when the norm lies beyond it), rounded for single precision, the
// norm as real part for complex elements. The norm comes from TwoNormOf or a SquareSum over
// the elements' parts, so it neither overflows nor underflows before the norm does.
template <class T>
struct NormKernel {
  static T Root(const SquareSum& s) { return Of(s.Root()); }
  static T Of(double r) {
    if constexpr (std::is_integral<T>::value) {
      const double top = static_cast<double>(std::numeric_limits<T>::max());
      return r >= top ? std::numeric_limits<T>::max() : static_cast<T>(r);
    } else {
      return T(static_cast<typename Kernel<T>::Real>(r));
    }
  }
};

}  // namespace kvelo_vec

// ---------------------------------------------------------------------------------------
// C_Ptr<T,I>: the abstract storage. Defaults: "2871" bodies for what a storage need not
// offer, and block-wise Write and Nrm2 through Extract for storage without contiguous data.
// ---------------------------------------------------------------------------------------
template <class T, class I>
class KVELO_API C_Ptr : public C_Type {
 public:
  C_Ptr() {}
  C_Ptr(const C_Ptr&) : C_Type() {}
  C_Ptr& operator=(const C_Ptr&) { return *this; }
  virtual ~C_Ptr() {}

  // New heap view of the values from offset on (the caller deletes it); null here.
  virtual C_Ptr* Lnk(I offset);
  // Takes n values from src's contiguous address into a buffer of its own.
  virtual void Copy(C_Ptr& src, I n) = 0;
  // 1 when the values are in memory.
  virtual int InCore() = 0;
  // Brings the values into / out of memory; 2871 here.
  virtual int Load();
  virtual int UnLoad();
  // Makes room for n values; 2871 here.
  virtual int Resize(I n);
  // Address of value i, or null without contiguous values (here).
  virtual T* Adr(I i);
  // Value i.
  virtual T GetVal(I i) = 0;
  // Stores v in value i; returns 0 and stores nothing here.
  virtual int SetVal(I i, T v);
  // Reference to value i; 2871 here.
  virtual T& operator[](I i);
  // Pointer to n values from first: the values themselves for a null buf, else buf (a heap
  // block, possibly moved) filled with them; 2871 here.
  virtual T* Extract(I first, I n, T* buf);
  // Writes n values from first, big-endian, in blocks of 4096 fetched through Extract:
  // 0, or -1 when a block could not be written (earlier blocks stay in the file).
  virtual int Write(FILE* f, I first, I n);
  // Zeroes / sets n values from first; 2871 here.
  virtual int Zero(I first, I n);
  virtual int Init(T v, I first, I n);
  // Sum of n values from first (integers in their own type, wrapping; floating-point values
  // added in double and rounded once).
  virtual T Sum(I first, I n) = 0;
  // Multiplies n values from first by a (a zero a makes NaN and infinite values NaN).
  virtual int SMlt(T a, I first, I n) = 0;
  // 2-norm of n values from first into out, block-wise through Extract; returns 0. Scaled
  // sums of squares: no overflow or underflow before the norm itself (3e200, 4e200 give
  // 5e200), NaN when a value holds one; an integer norm beyond the type's range gives its
  // largest value.
  virtual int Nrm2(I first, I n, T& out);
};

namespace kvelo_vec {

// Hands visit(p, len) the n values of s from first in blocks of 4096 fetched through Extract,
// until visit returns false: in core the blocks are the values themselves, otherwise copies
// in one scratch buffer (allocated under the name who) that Extract may move. p is what
// Extract answered (null included). Throws 1001 when the scratch buffer cannot be had.
template <class T, class I, class V>
void VisitExtractedBlocks(C_Ptr<T, I>& s, I first, I n, const char* who, V&& visit) {
  const I blockCap = n < kBlockLength ? n : kBlockLength;
  T* scratch = nullptr;
  if (!s.InCore()) {
    scratch = static_cast<T*>(kvelomem_calloc(static_cast<size_t>(blockCap), sizeof(T), who, 0, __FILE__, __LINE__));
    if (!scratch) KVELO_THROW(1001);
  }
  bool more = true;
  try {
    ForEachBlock(n, [&](I start, I len) {
      if (!more) return;
      T* p = s.Extract(first + start, len, scratch);
      if (scratch) scratch = p;
      more = visit(p, len);
    });
  } catch (...) {
    kvelomem_free(scratch, __FILE__, __LINE__);
    throw;
  }
  kvelomem_free(scratch, __FILE__, __LINE__);
}

}  // namespace kvelo_vec

// ---------------------------------------------------------------------------------------
// C_PtrInCore<T,I>: a heap buffer, owned (freed by the storage) or borrowed (never freed).
// ---------------------------------------------------------------------------------------
template <class T, class I>
class KVELO_API C_PtrInCore : public C_Ptr<T, I> {
 public:
  int owns;  // 1: the storage owns data and frees it; 0: data belongs to someone else
  T* data;   // element 0, or null without buffer
  I nalloc;  // elements in an owned buffer (0 when borrowed or empty)

  // Owned buffer of n zeros (none for n <= 0), then every element set to init when init is
  // not zero (a NaN part counts as not zero); throws 1001 when out of memory.
  explicit C_PtrInCore(I n = 0, T init = T());
  // Borrows p: never frees it.
  explicit C_PtrInCore(T* p) : owns(0), data(p), nalloc(0) {}
  // A copy borrows the source's buffer (it never becomes a second owner of it).
  C_PtrInCore(const C_PtrInCore& o) : C_Ptr<T, I>(o), owns(o.data ? 0 : 1), data(o.data), nalloc(0) {}
  // Borrows o's buffer after giving back an owned buffer of its own (kept when it is o's:
  // o's buffer starting where this one does changes nothing). Throws 2870, nothing changed,
  // when o looks into this storage's owned buffer past its start (a view from Lnk, the end
  // included): the buffer would be given back under it.
  C_PtrInCore& operator=(const C_PtrInCore& o);
  // Gives back an owned buffer.
  ~C_PtrInCore() override { Release(); }

  // Frees an owned buffer, then borrows p (p equal to the current buffer changes nothing);
  // throws 2870, nothing changed, when p lies inside the owned buffer past its start or just
  // past its end.
  void Attach(T* p);
  // Whether p lies in the buffer this storage owns, or just past its end: memory that giving
  // the buffer back would take from under a borrower of p.
  bool InOwnedBuffer(const T* p) const {
    return owns == 1 && p && data &&
           kvelo_vec::Overlaps(kvelo_vec::RangeOf(p, 1), kvelo_vec::RangeOf(static_cast<const T*>(data), static_cast<long long>(nalloc) + 1));
  }
  // Exchanges buffers (address, ownership, allocated length) with o; nothing is copied or freed.
  void Swap(C_PtrInCore& o) {
    std::swap(owns, o.owns);
    std::swap(data, o.data);
    std::swap(nalloc, o.nalloc);
  }

  // View (owns 0) of the values from offset on; throws 1001 when out of memory.
  C_Ptr<T, I>* Lnk(I offset) override;
  // Allocates and fills a new buffer of n values from src.Adr(0) before giving back the old
  // one, so src may be this storage or a view of it; throws 2 for n < 0, 38 when src has no
  // contiguous values, 1001 when out of memory.
  void Copy(C_Ptr<T, I>& src, I n) override;
  int InCore() override { return 1; }
  int Load() override { return 0; }
  int UnLoad() override { return 0; }
  // Buffer of n values (0: freed or forgotten); grown values are zero; throws 2 for n < 0,
  // 2870 for a borrowed buffer, 1001 when out of memory (the old buffer is then kept).
  int Resize(I n) override;
  T* Adr(I i) override { return data ? data + i : nullptr; }
  T GetVal(I i) override { return data[i]; }
  int SetVal(I i, T v) override {
    data[i] = v;
    return 1;
  }
  T& operator[](I i) override { return data[i]; }
  // null buf: data + first; n <= 0: buf; else buf reallocated to n values and filled
  // (throws 1001 when out of memory).
  T* Extract(I first, I n, T* buf) override;
  // The n values as one big-endian typed array: 0, or -1 (null f, n <= 0, short write).
  int Write(FILE* f, I first, I n) override;
  int Zero(I first, I n) override;
  int Init(T v, I first, I n) override;
  T Sum(I first, I n) override;
  int SMlt(T a, I first, I n) override;
  int Nrm2(I first, I n, T& out) override;
  // Frees an owned buffer; ends owning and empty.
  virtual void Release();
};

// ---------------------------------------------------------------------------------------
// C_Ptr<T,I> bodies.
// ---------------------------------------------------------------------------------------
template <class T, class I>
C_Ptr<T, I>* C_Ptr<T, I>::Lnk(I) {
  return nullptr;
}

template <class T, class I>
int C_Ptr<T, I>::Load() {
  KVELO_THROW(2871);
}

template <class T, class I>
int C_Ptr<T, I>::UnLoad() {
  KVELO_THROW(2871);
}

template <class T, class I>
int C_Ptr<T, I>::Resize(I) {
  KVELO_THROW(2871);
}

template <class T, class I>
T* C_Ptr<T, I>::Adr(I) {
  return nullptr;
}

template <class T, class I>
int C_Ptr<T, I>::SetVal(I, T) {
  return 0;
}

template <class T, class I>
T& C_Ptr<T, I>::operator[](I) {
  KVELO_THROW(2871);
}

template <class T, class I>
T* C_Ptr<T, I>::Extract(I, I, T*) {
  KVELO_THROW(2871);
}

template <class T, class I>
int C_Ptr<T, I>::Zero(I, I) {
  KVELO_THROW(2871);
}

template <class T, class I>
int C_Ptr<T, I>::Init(T, I, I) {
  KVELO_THROW(2871);
}

template <class T, class I>
int C_Ptr<T, I>::Write(FILE* f, I first, I n) {
  // Nothing to write: the typed-array writer refuses the empty array (and traces it).
  if (n <= 0) return T_BF_write(f, static_cast<const T*>(nullptr), static_cast<int>(n), true);
  int rc = 0;
  kvelo_vec::VisitExtractedBlocks(*this, first, n, "C_Ptr<T>::Write", [&](const T* p, I len) {
    if (!p || T_BF_write(f, p, static_cast<int>(len), true) != 0) rc = -1;
    return rc == 0;
  });
  return rc;
}

template <class T, class I>
int C_Ptr<T, I>::Nrm2(I first, I n, T& out) {
  kvelo_vec::SquareSum s;
  if (n > 0)
    kvelo_vec::VisitExtractedBlocks(*this, first, n, "C_Ptr<T>::Nrm2", [&](const T* p, I len) {
      if (!p) KVELO_THROW(38);
      s.AddAll(len, p);
      return true;
    });
  out = kvelo_vec::NormKernel<T>::Root(s);
  return 0;
}

// ---------------------------------------------------------------------------------------
// C_PtrInCore<T,I> bodies.
// ---------------------------------------------------------------------------------------
template <class T, class I>
C_PtrInCore<T, I>::C_PtrInCore(I n, T init) : owns(1), data(nullptr), nalloc(0) {
  if (n <= 0) return;
  data = static_cast<T*>(kvelomem_calloc(static_cast<size_t>(n), sizeof(T), "C_PtrInCore<T>::C_PtrInCore", 0, __FILE__, __LINE__));
  if (!data) KVELO_THROW(1001);
  nalloc = n;
  if (!(init == T()))
    for (I i = 0; i < n; ++i) data[i] = init;
}

template <class T, class I>
C_PtrInCore<T, I>& C_PtrInCore<T, I>::operator=(const C_PtrInCore& o) {
  if (this == &o || o.data == data) return *this;
  if (InOwnedBuffer(o.data)) KVELO_THROW(2870);
  Release();
  owns = o.data ? 0 : 1;
  data = o.data;
  nalloc = 0;
  return *this;
}

template <class T, class I>
void C_PtrInCore<T, I>::Attach(T* p) {
  if (p && p == data) return;  // attaching its own buffer changes nothing (and frees nothing)
  // Memory inside the owned buffer (or at its end) would be freed before it is borrowed.
  if (InOwnedBuffer(p)) KVELO_THROW(2870);
  if (owns == 1) kvelomem_free(data, __FILE__, __LINE__);
  owns = 0;
  data = p;
  nalloc = 0;
}

template <class T, class I>
C_Ptr<T, I>* C_PtrInCore<T, I>::Lnk(I offset) {
  C_Ptr<T, I>* view = new (std::nothrow) C_PtrInCore<T, I>(data ? data + offset : nullptr);
  if (!view) KVELO_THROW(1001);
  return view;
}

template <class T, class I>
void C_PtrInCore<T, I>::Copy(C_Ptr<T, I>& src, I n) {
  if (n < 0) KVELO_THROW(2);
  if (n == 0) {
    Release();
    return;
  }
  const T* s = src.Adr(0);
  if (!s) KVELO_THROW(38);
  T* fresh = static_cast<T*>(kvelomem_calloc(static_cast<size_t>(n), sizeof(T), "C_PtrInCore<T>::Resize", 0, __FILE__, __LINE__));
  if (!fresh) KVELO_THROW(1001);
  std::memcpy(static_cast<void*>(fresh), s, static_cast<size_t>(n) * sizeof(T));
  Release();
  data = fresh;
  owns = 1;
  nalloc = n;
}

template <class T, class I>
int C_PtrInCore<T, I>::Resize(I n) {
  if (n < 0) KVELO_THROW(2);
  if (n == 0) {
    if (owns == 1) kvelomem_free(data, __FILE__, __LINE__);
    data = nullptr;
    nalloc = 0;
    return 0;
  }
  if (owns == 0 && data) KVELO_THROW(2870);
  const size_t bytes = static_cast<size_t>(n) * sizeof(T);
  if (data) {
    T* grown = static_cast<T*>(kvelomem_realloc(data, bytes, "C_PtrInCore<T>::Resize", 0, __FILE__, __LINE__));
    if (!grown) KVELO_THROW(1001);  // the old buffer stays, unchanged
    if (n > nalloc)
      std::memset(static_cast<void*>(grown + nalloc), 0, static_cast<size_t>(n - nalloc) * sizeof(T));
    data = grown;
  } else {
    data = static_cast<T*>(kvelomem_calloc(static_cast<size_t>(n), sizeof(T), "C_PtrInCore<T>::Resize", 0, __FILE__, __LINE__));
    if (!data) KVELO_THROW(1001);
    owns = 1;  // a buffer the storage allocated is the storage's to free
  }
  nalloc = n;
  return 0;
}

template <class T, class I>
T* C_PtrInCore<T, I>::Extract(I first, I n, T* buf) {
  if (!buf) return data ? data + first : nullptr;
  if (n <= 0) return buf;
  T* out = static_cast<T*>(kvelomem_realloc(buf, static_cast<size_t>(n) * sizeof(T), "C_PtrInCore<T>::Extract", 0, __FILE__, __LINE__));
  if (!out) KVELO_THROW(1001);
  std::memcpy(static_cast<void*>(out), data + first, static_cast<size_t>(n) * sizeof(T));
  return out;
}

template <class T, class I>
int C_PtrInCore<T, I>::Write(FILE* f, I first, I n) {
  return T_BF_write(f, static_cast<const T*>(data ? data + first : nullptr), n, true);
}

template <class T, class I>
int C_PtrInCore<T, I>::Zero(I first, I n) {
  if (n > 0) std::memset(static_cast<void*>(data + first), 0, static_cast<size_t>(n) * sizeof(T));
  return 0;
}

template <class T, class I>
int C_PtrInCore<T, I>::Init(T v, I first, I n) {
  for (I i = 0; i < n; ++i) data[first + i] = v;
  return 0;
}

template <class T, class I>
T C_PtrInCore<T, I>::Sum(I first, I n) {
  return n > 0 ? kvelo_vec::SumOf(n, data + first) : T();
}

template <class T, class I>
int C_PtrInCore<T, I>::SMlt(T a, I first, I n) {
  if (n > 0) kvelo_vec::ForEachPiece(n, [&](I off, int len) { kvelo_vec::Kernel<T>::Scal(len, a, data + first + off); });
  return 0;
}

template <class T, class I>
int C_PtrInCore<T, I>::Nrm2(I first, I n, T& out) {
  out = kvelo_vec::NormKernel<T>::Of(n > 0 ? kvelo_vec::TwoNormOf(n, data + first) : 0.0);
  return 0;
}

template <class T, class I>
void C_PtrInCore<T, I>::Release() {
  if (owns == 1 && data) kvelomem_free(data, __FILE__, __LINE__);
  data = nullptr;
  owns = 1;
  nalloc = 0;
}

// The instances live in libkvelo.so.
extern template class C_Ptr<int, int>;
extern template class C_Ptr<double, int>;
extern template class C_Ptr<std::complex<double>, int>;
extern template class C_PtrInCore<int, int>;
extern template class C_PtrInCore<double, int>;
extern template class C_PtrInCore<std::complex<double>, int>;

#endif
