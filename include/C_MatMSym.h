/* C_MatMSym.h: the symmetric matrix C_MatMSym<T> (T = double, complex<double>; complex
 * symmetric, no conjugation) in LAPACK packed storage of n(n+1)/2 values, lower (side nonzero)
 * or upper (side 0) triangle: element access on both triangles, packed products (?spmv),
 * multiply-add, solve with a packed symmetric factorisation made in place by the caller
 * (?sptrs), norms, text forms and a big-endian binary form: rows, cols, side, count (4-byte
 * ints), then the packed values. Errors are C_KveloException codes (2 negative size, 12 null
 * FILE, 21 read, 22 write, 2870 storage not usable, 2871 not provided, 2872 sizes, 2880 more
 * than 2^31-1 values). Every operation that refuses or runs out of memory leaves the matrix as
 * it was. A view of another matrix's packed values (Lnk) keeps its order and its side: a
 * result of its order lands in its own packed places, and a change of order is refused with
 * 2870. A matrix belongs to one thread at a time. */
#ifndef KVELO_C_MATMSYM_H
#define KVELO_C_MATMSYM_H

#include <climits>
#include <complex>
#include <cstdio>
#include <cstring>

#include "C_AlgoPower.h"
#include "C_CallStack.h"
#include "C_KveloException.h"
#include "C_Mat.h"
#include "C_MessageTool.h"
#include "C_VecPi.h"
#include "bf.h"
#include "erreur.h"
#include "ITF_blas_lapack.h"
#include "kvelosys.h"

namespace kvelo_msym_detail {
typedef std::complex<double> zc;
inline void Spmv(const char* uplo, int n, double a, const double* ap, const double* x, double b, double* y) {
  ITF_dspmv(uplo, n, a, ap, x, 1, b, y, 1);
}
inline void Spmv(const char* uplo, int n, zc a, const zc* ap, const zc* x, zc b, zc* y) {
  ITF_zspmv(uplo, n, a, ap, x, 1, b, y, 1);
}
inline void Sptrs(const char* uplo, int n, const double* ap, const int* ipiv, double* b, int* info) {
  ITF_dsptrs(uplo, n, 1, ap, ipiv, b, n > 1 ? n : 1, info);
}
inline void Sptrs(const char* uplo, int n, const zc* ap, const int* ipiv, zc* b, int* info) {
  ITF_zsptrs(uplo, n, 1, ap, ipiv, b, n > 1 ? n : 1, info);
}
// Number of packed values of order n, or -1 when it exceeds 2^31-1.
inline long long PackedCount(long long n) {
  const long long c = n * (n + 1) / 2;
  return c > INT_MAX ? -1 : c;
}
}  // namespace kvelo_msym_detail

template <class T>
class C_MatMSym : public C_Mat<T> {
 public:
  typedef typename C_Mat<T>::PivotVec PivotVec;
  typedef typename C_Mat<T>::VecType VecType;
  using C_GenericMat::rows;
  using C_GenericMat::cols;

  int side;        // nonzero: lower triangle stored ('L'); 0: upper ('U')
  VecType storage; // the n(n+1)/2 packed values

  // Order n (zeros), side as given. Code 2 for n < 0, 2880 above 2^31-1 packed values.
  explicit C_MatMSym(int n = 0, int s = 0) : C_Mat<T>(0, 0), side(s), storage(0) {
    if (n < 0) KVELO_THROW(2);
    const long long c = kvelo_msym_detail::PackedCount(n);
    if (c < 0) KVELO_THROW(2880);
    storage.Resize(static_cast<int>(c));
    rows = cols = n;
  }
  // Deep copy: an owned matrix with src's order, side and packed values.
  C_MatMSym(const C_MatMSym& src) : C_Mat<T>(src), side(src.side), storage(0) {
    rows = cols = 0;
    *this = src;
  }
  ~C_MatMSym() override {}

  // Packed position of (i, j) for this order and side; (i, j) and (j, i) share it.
  long long Pos(int i, int j) const {
    const long long lo = i < j ? i : j, hi = i < j ? j : i;
    return side ? hi + lo * rows - lo * (lo + 1) / 2 : lo + hi * (hi + 1) / 2;
  }

  // ---- C_GenericMat ----
  // Bytes of values; 1 (in core); true (symmetric); the side; n(n+1)/2 stored values; the label
  // "C_MatMSym Type".
  int MemSize() const override { return storage.MemSize(); }
  int InCore() const override { return 1; }
  bool IsSym() const override { return true; }
  int Side() const override { return side; }
  long long Dim() const override { return storage.Dim(); }
  const char* AffType() const override { return "C_MatMSym Type"; }
  // Binary form (rows, cols, side, count, packed values, big-endian); 0. Codes 12 null FILE,
  // 22 write failure; -1 after a trace when the side cannot be written.
  int Write(FILE* f) override;
  // Reads the binary form into a temporary and installs it only when complete and consistent
  // (rows = cols, count = n(n+1)/2); memory grows with the values that arrive, not with the
  // header. A view takes the values of its own order into its own side's places. 0. Codes 12
  // null FILE, 21 read failure or inconsistent file, 2870 a view of another order, 1001 no
  // memory; -1 after a trace when the side cannot be read. The matrix is unchanged on failure.
  int Read(FILE* f) override;
  using C_GenericMat::WriteMatlab;
  // Text header, then the full n x n matrix row by row; 0. Code 12 for a null FILE.
  int WriteMatlab(FILE* f) override;
  // Info block, "- Side : Lower|Upper", then the upper triangle as "[i,j]:value" (0-based), a
  // line break after every fifth element of a row; row is not used; 0. Code 12 for a null FILE.
  int Print(FILE* f, int row) override;
  // Print(FILE*, row) into path; 0 in every case.
  int Print(const char* path, int row, bool append) override { return C_GenericMat::Print(path, row, append); }
  // Order r (c must not be negative but is not used), side 0 (upper); values not rearranged.
  // The same order changes nothing. Code 2 negative, 2880 above 2^31-1 packed values, 2870 a
  // view asked for another order, 1001 no memory; nothing changes on failure.
  int Resize(int r, int c) override;
  // 0 infinity norm, 2 two-norm (power iteration, tolerance 0.001); 1 throws 2871 for a matrix
  // with columns (no column views); code 3 for another type.
  double Nrm(E_NrmType type) override;

  // ---- C_Mat<T> ----
  using C_Mat<T>::GetVal;
  using C_Mat<T>::FirstCol;
  using C_Mat<T>::NextCol;
  // A new heap matrix of the same order and side viewing this one's packed values; 1001 on
  // no memory.
  C_Mat<T>* Lnk() override {
    C_MatMSym<T>* v = new (std::nothrow) C_MatMSym<T>(0, side);
    if (!v) KVELO_THROW(1001);
    const int count = storage.Dim();
    v->storage.Attach(count, Adr());
    v->rows = v->cols = rows;
    return v;
  }
  // Address of the first packed value.
  T* Adr() const override { return const_cast<VecType&>(storage).Adr(0); }
  // Element (i, j) = (j, i) of the packed storage; no range test.
  T GetVal(int i, int j) const override { return const_cast<VecType&>(storage)[static_cast<int>(Pos(i, j))]; }
  // Sets element (i, j) and with it (j, i); no range test.
  void SetVal(int i, int j, T v) override { storage[static_cast<int>(Pos(i, j))] = v; }
  // Reference to the packed element (i, j); no range test.
  T& operator()(int i, int j) { return storage[static_cast<int>(Pos(i, j))]; }
  // Every packed value set to v; 0.
  int Init(T v) override { return storage.Init(v, 0, -1); }
  // y = alpha A x + beta y (trans is not used). y may share memory with x or with this
  // matrix (views, one buffer): the shared operand is then read from a copy.
  // Codes 2872 x's length, 2870 y not in core, 38 y not full or x's values not to be had;
  // y is unchanged on failure.
  int Mv(T alpha, C_Vec<T, int>& x, T beta, C_Vec<T, int>& y, char trans) override;
  using C_Mat<T>::Axpy;
  // Element loop of C_Mat<T> (each packed element of a symmetric y once).
  void Axpy(C_Mat<T>& y, T a) override { C_Mat<T>::Axpy(y, a); }
  // Every packed value scaled by a.
  void operator*=(T a) override { storage *= a; }
  // Solves with the packed symmetric factors the caller made in place (pivots in ipiv): into
  // *x when given (b untouched), else into b. A size that does not fit (b of length n, ipiv of
  // n valid pivots, contiguous right-hand side) or an argument LAPACK refuses is reported as an
  // error message and gives -1; -1 also when x->Copy(b) fails. A right-hand side in the
  // factors' memory is solved in a copy and stored afterwards.
  int Solve(PivotVec& ipiv, C_Vec<T, int>& b, C_Vec<T, int>* x) override;
  // y = y + a * this over the packed values (one ?axpy when both store the same side, element
  // by element otherwise); a y sharing this matrix's storage (this itself, a view) adds from
  // a copy of this. Code 2872 for another order.
  virtual void Axpy(C_MatMSym<T>& y, T a);

  // Deep copy of src's order, side and packed values (src may share this matrix's storage); 0.
  // A view keeps its side and takes src's elements in its own packed places; it refuses
  // another order with 2870. Code 1001 no memory; nothing changes on failure.
  int operator=(const C_MatMSym& src);

 private:
  // Whether the packed values are another matrix's (Lnk) or a caller's array.
  bool Borrowed() const { return storage.ptr.owns == 0 && storage.ptr.data != nullptr; }
  const char* Uplo() const { return side ? "L" : "U"; }
  // The error path of Solve: a message of the database, then -1.
  int SolveError(int code) {
    Kvelo::C_MessageTool::HandleMessageArg(code, Kvelo::MessageToolEnums::TYPE_ERROR,
                                           Kvelo::MessageToolEnums::LEVEL_PUBLIC);
    return -1;
  }
};

template <class T>
int C_MatMSym<T>::Resize(int r, int c) {
  if (r < 0 || c < 0) KVELO_THROW(2);
  if (r == rows) return 0;
  const long long count = kvelo_msym_detail::PackedCount(r);
  if (count < 0) KVELO_THROW(2880);
  // A view that shrank could never reach its owner's other values again.
  if (Borrowed()) KVELO_THROW(2870);
  if (storage.Resize(static_cast<int>(count)) != 0) {
    fct_Trace("aff_lieu", __LINE__, "include/C_MatMSym");
    return -1;
  }
  rows = cols = r;
  side = 0;
  return 0;
}

template <class T>
int C_MatMSym<T>::operator=(const C_MatMSym& src) {
  if (&src == this) return 0;
  const int count = src.storage.Dim();
  const T* from = src.Adr();
  const bool view = Borrowed();
  if (view && src.rows != rows) KVELO_THROW(2870);
  const bool sameSide = (side != 0) == (src.Side() != 0);
  if (from == Adr() && count == storage.Dim() && (sameSide || !view)) {  // a view of our own values
    rows = cols = src.rows;
    side = src.Side();
    return 0;
  }
  // A source sharing our storage would lose values to the resize or to the copy itself.
  if (kvelo_vec::Overlaps(this->ResultMemory(count), src.ValueMemory())) {
    C_MatMSym<T> tmp(src);
    return *this = tmp;
  }
  if (view && !sameSide) {
    // The owner reads these places in its own packed order: fill them element by element.
    for (int j = 0; j < rows; j++)
      for (int i = j; i < rows; i++) SetVal(i, j, src.GetVal(i, j));
    return 0;
  }
  if (storage.Resize(count) != 0) {
    fct_Trace("aff_lieu", __LINE__, "include/C_MatMSym");
    fct_Trace("aff_lieu", __LINE__, "include/C_MatMSym");
    return -1;
  }
  rows = cols = src.rows;
  side = src.Side();
  if (count > 0) std::memcpy(static_cast<void*>(Adr()), static_cast<const void*>(from), static_cast<size_t>(count) * sizeof(T));
  return 0;
}

template <class T>
int C_MatMSym<T>::Mv(T alpha, C_Vec<T, int>& x, T beta, C_Vec<T, int>& y, char trans) {
  (void)trans;
  Kvelo::C_Trace trace("C_MatMSym<T>::Mv", "include/C_MatMSym", __LINE__);
  const int n = rows;
  if (x.Dim() != n) KVELO_THROW(2872);
  if (!y.InCore()) KVELO_THROW(2870);
  // ?spmv must not write into what it reads, and y's resize may give back the memory an
  // operand views: an operand sharing y's memory is read from a copy. An x that is not in
  // core reaches ?spmv as a copy of its own and shares nothing.
  const kvelo_vec::MemRange out = kvelo_vec::ValueMemory(y, n);
  if (kvelo_vec::Overlaps(out, this->ValueMemory())) {
    C_MatMSym<T> a(*this);
    return a.Mv(alpha, x, beta, y, trans);
  }
  if (kvelo_vec::Overlaps(out, kvelo_vec::ValueMemory(x))) {
    VecType in(0);
    in.Copy(x);
    return Mv(alpha, in, beta, y, trans);
  }
  if (!y.Full()) KVELO_THROW(38);
  if (n == 0) {
    y.Resize(0);
    return 0;
  }
  // x's values first (a copy of its own when not in core): y changes only once they are in hand.
  const bool xInCore = x.InCore() != 0;
  struct Held {
    T* p;
    bool owned;
    ~Held() {
      if (owned) kvelomem_free(p, __FILE__, __LINE__);
    }
  } xHeld{x.Extract(0, n - 1, nullptr), !xInCore};
  if (!xHeld.p) KVELO_THROW(38);
  y.Resize(n);
  T* yp = y.Adr(0);
  if (!yp) KVELO_THROW(38);
  kvelo_msym_detail::Spmv(Uplo(), n, alpha, Adr(), xHeld.p, beta, yp);
  return 0;
}

template <class T>
void C_MatMSym<T>::Axpy(C_MatMSym<T>& y, T a) {
  Kvelo::C_Trace trace("C_MatMSym<T>::Axpy", "include/C_MatMSym", __LINE__);
  if (y.rows != rows || y.cols != cols) KVELO_THROW(2872);
  // y would overwrite values still to be read. This itself adds from a copy too: y + a y is
  // not (1 + a) y, which rounds otherwise, overflows otherwise, and gives 0 for a NaN at a = -1.
  if (kvelo_vec::Overlaps(this->ValueMemory(), y.ValueMemory())) {
    C_MatMSym<T> src(*this);
    src.Axpy(y, a);
    return;
  }
  if ((side != 0) != (y.side != 0)) {
    // The packed orders differ: add element by element, each packed element once.
    for (int j = 0; j < cols; j++)
      for (int i = j; i < rows; i++) y.SetVal(i, j, y.GetVal(i, j) + a * GetVal(i, j));
    return;
  }
  const int count = storage.Dim();
  if (count > 0) kvelo_vec::Kernel<T>::Axpy(count, a, Adr(), y.Adr());
}

template <class T>
int C_MatMSym<T>::Solve(PivotVec& ipiv, C_Vec<T, int>& b, C_Vec<T, int>* x) {
  Kvelo::C_Trace trace("C_MatMSym<T>::Solve", "include/C_MatMSym", __LINE__);
  const int n = rows;
  // The installed ?sptrs reports a bad argument only through its error handler, and a pivot
  // outside +-1 .. +-n makes it swap outside the right-hand side: check everything first.
  if (rows != cols || b.Dim() != n || ipiv.Dim() < n || storage.Dim() < kvelo_msym_detail::PackedCount(n))
    return SolveError(2872);
  for (int k = 0; k < n; k++) {
    const int p = ipiv[k];
    if (p == 0 || p > n || p < -n) return SolveError(2872);
  }
  // A right-hand side in the factors' memory is solved in a copy (SolveRhs).
  return this->SolveRhs(
      n, b, x, [this] { return SolveError(2872); },
      [&](T* rhs) {
        int info = 0;
        kvelo_msym_detail::Sptrs(Uplo(), n, Adr(), ipiv.Adr(0), rhs, &info);
        if (info < 0) {
          Kvelo::C_MessageTool::HandleMessageArg("Lapack call getrf() failed: info=%d is an invalid value.",
                                                 Kvelo::MessageToolEnums::TYPE_ERROR,
                                                 Kvelo::MessageToolEnums::LEVEL_PUBLIC, 0, -info);
          return -1;
        }
        return 0;
      });
}

template <class T>
double C_MatMSym<T>::Nrm(E_NrmType type) {
  switch (static_cast<int>(type)) {
    case 0: return this->MatNrmInf();
    case 1: return this->MatNrmOne();
    case 2: return MatNrm2(*this, 0.001);
    default: KVELO_THROW(3);
  }
}

template <class T>
int C_MatMSym<T>::Print(FILE* f, int row) {
  (void)row;
  if (!f) KVELO_THROW(12);
  this->WriteInfoBlock(f, C_Mat<T>::TypeName());
  std::fprintf(f, "- Side : %s\n", side ? "Lower" : "Upper");
  for (int i = 0; i < rows; i++) {
    for (int j = i; j < rows; j++) {
      std::fprintf(f, "[%d,%d]:", i, j);
      KveloPrintElem(f, GetVal(i, j));
      std::fprintf(f, " %s", (j - i) % 5 == 4 ? "\n" : " ");
    }
    std::fprintf(f, "\n");
  }
  return 0;
}

template <class T>
int C_MatMSym<T>::WriteMatlab(FILE* f) {
  return this->WriteMatlabRows(f);  // rows = cols: the full square
}

template <class T>
int C_MatMSym<T>::Write(FILE* f) {
  C_GenericMat::Write(f);
  if (BF_fwrite_int(f, &side, 1) != 0) {
    fct_Trace("aff_lieu", __LINE__, "include/C_MatMSym");
    return -1;
  }
  if (storage.Write(f) != 0) {
    fct_Trace("aff_lieu", __LINE__, "include/C_MatMSym");
    return -1;
  }
  return 0;
}

template <class T>
int C_MatMSym<T>::Read(FILE* f) {
  int r = 0, c = 0;
  C_GenericMat::ReadHeader(f, r, c);
  int s = 0;
  if (BF_fread_int(f, &s, 1) != 0) {
    fct_Trace("aff_lieu", __LINE__, "include/C_MatMSym");
    return -1;
  }
  VecType tmp(0);
  // PackedCount's -1 ("too many to count") is no count: a file announcing -1 values is refused.
  C_Mat<T>::ReadValues(f, tmp, [&](int count) {
    return r == c && count >= 0 && kvelo_msym_detail::PackedCount(r) == count;
  });
  // The matrix changes only now, with every value in hand.
  if (Borrowed()) {
    C_MatMSym<T> in(0, s);
    in.storage.TakeValues(tmp);
    in.rows = in.cols = r;
    return *this = in;
  }
  storage.TakeValues(tmp);  // an owned storage takes them without allocating
  rows = cols = r;
  side = s;
  return 0;
}

#endif
