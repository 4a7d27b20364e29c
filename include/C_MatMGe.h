/* C_MatMGe.h: the general dense matrix C_MatMGe<T> (T = double, complex<double>), stored by
 * columns with a leading dimension ld (element (i, j) at i + j * ld) and a table of column
 * addresses, with BLAS products, LU factorisation and solve, norms, reshaping (Transpose,
 * TransposeInPlace, ResizeKeep), text forms and a big-endian binary form:
 * rows, cols, count = rows * cols (4-byte ints), then the values column by column.
 * Errors are C_KveloException codes (2 negative size, 12 null FILE or bad column, 21 read,
 * 22 write, 2869 singular, 2870 storage not usable, 2872 sizes, 2873 not full, 2875 invalid
 * argument, 2880 more than 2^31-1 elements). Every operation that refuses or runs out of
 * memory leaves the matrix as it was (Factor excepted: see there). A view of a caller's array
 * (a strided block of a larger matrix included) only ever writes its own elements: a result
 * of its shape lands in them, keeping its leading dimension, and a shape change that would
 * leave them is refused with 2870. A matrix belongs to one thread at a time. */
#ifndef KVELO_C_MATMGE_H
#define KVELO_C_MATMGE_H

#include <algorithm>
#include <climits>
#include <complex>
#include <cstdio>
#include <cstring>
#include <memory>

#include "C_AlgoPower.h"
#include "C_CallStack.h"
#include "C_KveloException.h"
#include "C_Mat.h"
#include "C_VecPi.h"
#include "C_bfd.h"
#include "ITF_blas_lapack.h"
#include "kvelosys.h"

namespace kvelo_mat_detail {
typedef std::complex<double> zc;
inline void Gemv(const char* t, int m, int n, double a, const double* A, int lda, const double* x,
                 double b, double* y) {
  ITF_dgemv(t, m, n, a, A, lda, x, 1, b, y, 1);
}
inline void Gemv(const char* t, int m, int n, zc a, const zc* A, int lda, const zc* x, zc b, zc* y) {
  ITF_zgemv(t, m, n, a, A, lda, x, 1, b, y, 1);
}
inline void Gemm(const char* ta, const char* tb, int m, int n, int k, double a, const double* A,
                 int lda, const double* B, int ldb, double b, double* C, int ldc) {
  ITF_dgemm(ta, tb, m, n, k, a, A, lda, B, ldb, b, C, ldc);
}
inline void Gemm(const char* ta, const char* tb, int m, int n, int k, zc a, const zc* A, int lda,
                 const zc* B, int ldb, zc b, zc* C, int ldc) {
  ITF_zgemm(ta, tb, m, n, k, a, A, lda, B, ldb, b, C, ldc);
}
inline void Getrf(int m, int n, double* A, int lda, int* ipiv, int* info) {
  ITF_dgetrf(m, n, A, lda, ipiv, info);
}
inline void Getrf(int m, int n, zc* A, int lda, int* ipiv, int* info) {
  ITF_zgetrf(m, n, A, lda, ipiv, info);
}
inline void Getrs(int n, const double* A, int lda, const int* ipiv, double* b, int* info) {
  ITF_dgetrs("N", n, 1, A, lda, ipiv, b, n > 1 ? n : 1, info);
}
inline void Getrs(int n, const zc* A, int lda, const int* ipiv, zc* b, int* info) {
  ITF_zgetrs("N", n, 1, A, lda, ipiv, b, n > 1 ? n : 1, info);
}
// Transposition letters the BLAS accept: N, T, C in either case.
inline bool ValidTrans(char t) {
  return t == 'N' || t == 'n' || t == 'T' || t == 't' || t == 'C' || t == 'c';
}
inline bool IsNoTrans(char t) { return t == 'N' || t == 'n'; }
inline int AtLeast1(int v) { return v > 1 ? v : 1; }
}  // namespace kvelo_mat_detail

template <class T>
class C_MatMGe : public C_Mat<T> {
 public:
  typedef typename C_Mat<T>::PivotVec PivotVec;
  typedef typename C_Mat<T>::VecType VecType;
  using C_GenericMat::rows;
  using C_GenericMat::cols;

  bool factored;   // set by a successful Factor; cleared by every operation that loads values
  VecType storage; // the values, column by column
  T** col;         // column j starts at col[j] (null when the matrix never had a column)
  int ld;          // distance between the starts of two columns, in elements

  // Owned rows x cols matrix of zeros, ld = rows. Code 2 for a negative count, 2880 for more
  // than 2^31-1 elements, 1001 when memory runs out.
  explicit C_MatMGe(int r = 0, int c = 0)
      : C_Mat<T>(0, 0), factored(false), storage(0), col(nullptr), ld(0), colCap(0) {
    try {
      Resize(r, c);
    } catch (...) {
      FreeColTable();  // no destructor runs for an object that was never made
      throw;
    }
  }
  // View of a caller's column-major array (never freed here) with leading dimension ldA (-1:
  // rows). Code 2 for a negative count, 2872 when ldA < rows, 2880 when cols * ldA > 2^31-1,
  // 2870 for a null array holding values.
  C_MatMGe(int r, int c, T* data, int ldA)
      : C_Mat<T>(0, 0), factored(false), storage(0), col(nullptr), ld(0), colCap(0) {
    if (ldA == -1) ldA = r;
    if (r < 0 || c < 0 || ldA < 0) KVELO_THROW(2);
    if (ldA < r) KVELO_THROW(2872);
    long long n = static_cast<long long>(c) * ldA;
    if (n > INT_MAX) KVELO_THROW(2880);
    if (n > 0 && !data) KVELO_THROW(2870);
    if (n > 0) ReserveCols(c);
    storage.Attach(static_cast<int>(n), data);
    rows = r;
    cols = c;
    ld = ldA;
    PointCols();
  }
  // Deep copy: an owned contiguous matrix with src's shape and values (code 1001 when memory
  // runs out).
  C_MatMGe(const C_MatMGe& src) : C_Mat<T>(src), factored(false), storage(0), col(nullptr), ld(0), colCap(0) {
    rows = cols = 0;
    try {
      *this = src;
    } catch (...) {
      FreeColTable();
      throw;
    }
  }
  ~C_MatMGe() override { Release(); }

  // ---- C_GenericMat ----
  // Bytes of values; 1 (in core); false (not symmetric); number of stored values (cols * ld);
  // cols column pointers; the label "C_MatMGe Type".
  int MemSize() const override { return storage.MemSize(); }
  int InCore() const override { return 1; }
  bool IsSym() const override { return false; }
  long long Dim() const override { return storage.Dim(); }
  int NbColPtr() const override { return cols; }
  const char* AffType() const override { return "C_MatMGe Type"; }
  // Binary form (rows, cols, count, values by column, big-endian); 0. Codes 12 null FILE,
  // 22 write failure, 2880 count above 2^31-1.
  int Write(FILE* f) override;
  // Reads the binary form into a temporary and installs it only when complete and consistent
  // (count = rows * cols); memory grows with the values that arrive, not with the header, and
  // a matrix without rows allocates no column table. A view takes the values into its own
  // elements (its shape, or, contiguous, as many elements). 0. Codes 12 null FILE, 21 read
  // failure or inconsistent file, 2870 a view that cannot hold the shape read, 1001 no memory;
  // the matrix is then unchanged.
  int Read(FILE* f) override;
  using C_GenericMat::WriteMatlab;
  // Text header, then the rows, each element's text followed by " "; 0. Code 12 for a null FILE.
  int WriteMatlab(FILE* f) override;
  // Info block, " Values: ", then row `row` (all rows for -1) as "[i,j]:value" (1-based), five
  // per line; 0. Code 12 for a null FILE, 2872 for a row outside the matrix.
  int Print(FILE* f, int row) override;
  // Print(FILE*, row) into path; 0 in every case. A row outside the matrix prints nothing and
  // leaves the file as it was (it is not opened, so not truncated either).
  int Print(const char* path, int row, bool append) override {
    if (row != -1 && (row < 0 || row >= rows)) return 0;
    C_GenericMat::Print(path, row, append);
    return 0;
  }
  // New shape rows x cols with ld = rows; the values are not rearranged (an unchanged count keeps
  // them in storage order). The same shape changes nothing (a strided view keeps its ld). A view
  // of a caller's array takes another shape only when contiguous and of as many elements.
  // Clears factored. Code 2 for a negative count, 2880 for 2^31 or more elements, 2870 for a
  // view that would change its count or lose its stride, 1001 no memory; nothing changes on
  // failure.
  int Resize(int r, int c) override;
  // New shape keeping element (i, j) for i, j inside both shapes, zeros elsewhere; clears
  // factored. Code 2 for a negative count, 2880 for 2^31 or more elements, 2870 on a strided
  // view or a view that would change its count, 1001 no memory; nothing changes on failure.
  int ResizeKeep(int r, int c) override;
  // 0 infinity, 1 one, 2 two-norm (power iteration, tolerance 0.001); a single column gives its
  // vector norm. Code 3 for another type (more than one column), 2872 for the infinity norm
  // of a matrix without rows or columns.
  double Nrm(E_NrmType type) override;

  // ---- C_Mat<T> ----
  using C_Mat<T>::GetVal;
  using C_Mat<T>::FirstCol;
  using C_Mat<T>::NextCol;
  // New heap view of the same values (same ld); the caller deletes it. 1001 on no memory.
  C_Mat<T>* Lnk() override {
    C_MatMGe<T>* v = new (std::nothrow) C_MatMGe<T>(rows, cols, Adr(), ld);
    if (!v) KVELO_THROW(1001);
    return v;
  }
  // New heap deep copy; the caller deletes it. 1001 on no memory.
  C_Mat<T>* Dup() override {
    std::unique_ptr<C_MatMGe<T>> d(new (std::nothrow) C_MatMGe<T>(0, 0));
    if (!d) KVELO_THROW(1001);
    *d = *this;
    return d.release();
  }
  // Address of the first value (null when there is none).
  T* Adr() const override { return const_cast<VecType&>(storage).Adr(0); }
  // Element (i, j) through the column table; no range test.
  T GetVal(int i, int j) const override { return col[j][i]; }
  // Sets element (i, j); no range test; the factored flag is kept.
  void SetVal(int i, int j, T v) override { col[j][i] = v; }
  // v becomes a view of column j (rows values); code 12 when j is not a column.
  void LnkCol(int j, C_Vec<T, int>& v) override {
    if (j < 0 || j >= cols) KVELO_THROW(12);
    v.Attach(rows, col ? col[j] : nullptr);  // no table: no values, so no rows either
  }
  // Every element set to v (column by column on a strided view); clears factored; 0.
  int Init(T v) override;
  // y = alpha op(A) x + beta y; op by trans: N plain, T transposed, C conjugate-transposed.
  // y may share memory with x or with this matrix (views, one buffer): the shared operand is
  // then read from a copy. Codes: 2875 other letter, 2870 x or y not in core (or y not
  // taking the result's length), 2873 not full, 2872 x's length.
  int Mv(T alpha, C_Vec<T, int>& x, T beta, C_Vec<T, int>& y, char trans) override;
  using C_Mat<T>::Axpy;
  // y = y + a * this; a general y of the same shape goes through ?axpy (code 2872 otherwise).
  // A y sharing this matrix's storage (this itself, a view) adds from a copy of this.
  void Axpy(C_Mat<T>& y, T a) override;
  // Every element scaled by a (nothing for a = 1).
  void operator*=(T a) override;
  // LU with partial pivoting in place (ipiv resized to rows); nothing when already factored and
  // refactor is false. Codes 2869 singular (exact zero pivot: the matrix then holds LAPACK's
  // factors as far as they go, ipiv their pivots, and factored stays false), 2875 invalid
  // argument, 1001 no memory for ipiv (nothing changed).
  int Factor(PivotVec& ipiv, bool refactor) override;
  // Solves A z = b with the factors in place (into *x when given, b untouched; else into b).
  // A right-hand side sharing memory with the factors is solved in a copy, then stored.
  // Code 2872 unless square, b of length rows and ipiv of at least rows valid pivots; 38 for a
  // right-hand side without contiguous data; 2875 invalid argument.
  int Solve(PivotVec& ipiv, C_Vec<T, int>& b, C_Vec<T, int>* x) override;

  // ---- own operations ----
  // The leading dimension.
  int Ld() const { return ld; }
  // Rebuilds the column table from the storage address and ld (freed when there are no
  // values: a matrix without rows needs no column addresses); 0. Code 1001 when the table must
  // grow and memory runs out (the table is then as it was).
  int ConnectCols() {
    PointCols();
    return 0;
  }
  // Empties the matrix: shape, ld and factored 0, storage released, column table freed.
  void Release();
  // Deep copy of src's shape and values; 0. An owned result is contiguous; a view takes them
  // in its own elements (Resize's rules). src may view this matrix's storage (it is copied
  // aside before the resize). Codes of Resize; nothing changes on failure.
  int operator=(const C_MatMGe& src);
  // this = alpha op(A) op(B) + beta this (this resized to the product's shape first, by
  // Resize's rules); an empty product changes nothing. A or B may share this matrix's storage
  // (this itself, Lnk(), a view over Adr()): such an operand is read from a copy made before
  // the resize. Codes 2875 other letter, 2872 inner sizes differ, and those of Resize;
  // nothing changes on failure.
  int Mm(char transA, char transB, T alpha, C_MatMGe<T>& A, C_MatMGe<T>& B, T beta);
  // This m x n matrix becomes its n x m transpose (no conjugation), through a temporary; 0.
  // Codes of Resize (a strided view only transposes when square); nothing changes on failure.
  int Transpose();
  // The same result in place, with (m + n) / 2 ints of extra memory. Code 2870 on a strided
  // view, 1001 no memory; nothing changes on failure.
  int TransposeInPlace();

 private:
  int colCap;  // entries of the column table

  // Grows the column table to at least c entries. The entries it holds stay valid, so this
  // runs before the matrix changes: code 1001 when memory runs out, the table as it was.
  void ReserveCols(int c) {
    if (c <= colCap) return;
    T** p = static_cast<T**>(kvelomem_realloc(col, static_cast<size_t>(c) * sizeof(T*),
                                              "C_MatMGe<T>::ConnectCols", 0, __FILE__, __LINE__));
    if (!p) KVELO_THROW(1001);
    col = p;
    colCap = c;
  }
  // Points the column table at the storage's columns. The operations that change the shape
  // reserve the table first, so that here nothing is allocated and nothing can fail.
  void PointCols();
  void FreeColTable() {
    kvelomem_free(col, __FILE__, __LINE__);
    col = nullptr;
    colCap = 0;
  }
  bool Contiguous() const { return ld == rows; }
  // Whether the values are a caller's (a view built on an array, or by Lnk).
  bool Borrowed() const { return storage.ptr.owns == 0 && storage.ptr.data != nullptr; }
  // A view must stay over its caller's elements: it takes an r x c shape only when that is
  // its own, or, contiguous, one of as many elements; else code 2870.
  void CheckViewShape(int r, int c) const {
    if (!Borrowed() || (r == rows && c == cols)) return;
    if (!Contiguous() || static_cast<long long>(r) * c != Dim()) KVELO_THROW(2870);
  }
  // Copies src's values (of this matrix's shape) into this matrix's elements.
  void CopyValues(const C_MatMGe& src);
  // The element count of a new r x c shape (code 2 for a negative count, 2880 beyond an
  // int's worth of elements); -1 when it is the present shape, which keeps the values where
  // they are (a strided view stays one, so a result written into it lands in its own
  // elements) and only forgets the factors.
  long long NewShapeCount(int r, int c) {
    if (r < 0 || c < 0) KVELO_THROW(2);
    const long long n = static_cast<long long>(r) * c;
    if (n > INT_MAX) KVELO_THROW(2880);
    if (r != rows || c != cols) return n;
    factored = false;
    return -1;
  }
};

template <class T>
void C_MatMGe<T>::PointCols() {
  if (cols <= 0) return;
  T* base = storage.Adr(0);
  if (!base || storage.Dim() == 0) {
    FreeColTable();
    return;
  }
  ReserveCols(cols);  // already done by every operation that changed the shape
  for (int j = 0; j < cols; j++) col[j] = base + static_cast<long long>(j) * ld;
}

template <class T>
void C_MatMGe<T>::Release() {
  rows = cols = 0;
  ld = 0;
  factored = false;
  storage.Release();
  FreeColTable();
}

template <class T>
int C_MatMGe<T>::Resize(int r, int c) {
  const long long n = NewShapeCount(r, c);
  if (n < 0) return 0;
  CheckViewShape(r, c);
  // Everything that can fail comes first (the table keeps its old entries valid while it
  // grows); once the storage has its new size, nothing is allocated any more.
  if (n > 0) ReserveCols(c);
  storage.Resize(static_cast<int>(n));
  rows = r;
  cols = c;
  ld = r;
  factored = false;
  PointCols();
  return 0;
}

template <class T>
void C_MatMGe<T>::CopyValues(const C_MatMGe& src) {
  if (rows == 0 || cols == 0) return;
  if (Contiguous() && src.Contiguous()) {
    std::memcpy(static_cast<void*>(Adr()), static_cast<const void*>(src.Adr()),
                static_cast<size_t>(rows) * cols * sizeof(T));
    return;
  }
  for (int j = 0; j < cols; j++)
    std::memcpy(static_cast<void*>(col[j]), static_cast<const void*>(src.col[j]), static_cast<size_t>(rows) * sizeof(T));
}

template <class T>
int C_MatMGe<T>::operator=(const C_MatMGe& src) {
  if (&src == this) return 0;
  if (src.rows == rows && src.cols == cols && src.Adr() == Adr() && src.ld == ld) {
    factored = false;  // a view of our own values: nothing to copy
    return 0;
  }
  // A source sharing our storage (a view of it, or we a view of its buffer) would lose values
  // to the resize or to the copy itself: copy it aside first.
  if (kvelo_vec::Overlaps(this->ResultMemory(static_cast<long long>(src.rows) * src.cols), src.ValueMemory())) {
    C_MatMGe<T> tmp(src);
    return *this = tmp;
  }
  Resize(src.rows, src.cols);
  CopyValues(src);
  return 0;
}

template <class T>
int C_MatMGe<T>::Init(T v) {
  factored = false;
  if (Contiguous()) {
    storage.Init(v, 0, -1);
    return 0;
  }
  VecType tmp(0);
  for (int j = 0; j < cols; j++) {
    LnkCol(j, tmp);
    tmp.Init(v, 0, -1);
  }
  return 0;
}

template <class T>
void C_MatMGe<T>::operator*=(T a) {
  if (a == T(1)) return;
  if (Contiguous()) {
    storage *= a;
    return;
  }
  VecType tmp(0);
  for (int j = 0; j < cols; j++) {
    LnkCol(j, tmp);
    tmp *= a;
  }
}

template <class T>
int C_MatMGe<T>::Mv(T alpha, C_Vec<T, int>& x, T beta, C_Vec<T, int>& y, char trans) {
  using namespace kvelo_mat_detail;
  if (!ValidTrans(trans)) KVELO_THROW(2875);
  if (!x.InCore() || !y.InCore()) KVELO_THROW(2870);
  if (!x.Full() || !y.Full()) KVELO_THROW(2873);
  if (rows == 0) return 0;  // no rows: nothing done, y as it was
  const bool plain = IsNoTrans(trans);
  if (x.Dim() != (plain ? cols : rows)) KVELO_THROW(2872);
  const int len = plain ? rows : cols;
  const int inner = plain ? cols : rows;
  // ?gemv must not write into what it reads, and y's resize may give back the memory an
  // operand views: an operand sharing y's memory (the same vector, a view of one buffer, a
  // column of this matrix) is read from a copy.
  const kvelo_vec::MemRange out = kvelo_vec::ValueMemory(y, len);
  if (kvelo_vec::Overlaps(out, this->ValueMemory())) {
    C_MatMGe<T> a(*this);
    return a.Mv(alpha, x, beta, y, trans);
  }
  VecType xCopy(0);
  C_Vec<T, int>* in = &x;
  if (kvelo_vec::Overlaps(out, kvelo_vec::ValueMemory(x))) {
    xCopy.Copy(x);
    in = &xCopy;
  }
  y.Resize(len);
  if (y.Dim() != len || (len > 0 && !y.Adr(0))) KVELO_THROW(2870);
  if (len == 0) return 0;
  if (inner == 0) {
    // No columns: op(A) x has no terms and y is beta y, which ?gemv would skip (it returns at
    // once when a dimension is 0), leaving y as it was. beta = 0 gives zeros, as ?gemv's own
    // rule does.
    // The scaling kernel, as ?gemv itself would scale: plain products, so that a NaN part of
    // beta or y stays NaN (the recovery of C++'s complex product would make it infinite).
    T* p = y.Adr(0);
    if (beta == T(0))
      std::fill(p, p + len, T(0));
    else
      kvelo_vec::Kernel<T>::Scal(len, beta, p);
    return 0;
  }
  const char t[2] = {trans, 0};
  Gemv(t, rows, cols, alpha, Adr(), AtLeast1(ld), in->Adr(0), beta, y.Adr(0));
  return 0;
}

template <class T>
int C_MatMGe<T>::Mm(char transA, char transB, T alpha, C_MatMGe<T>& A, C_MatMGe<T>& B, T beta) {
  using namespace kvelo_mat_detail;
  if (!ValidTrans(transA) || !ValidTrans(transB)) KVELO_THROW(2875);
  const bool na = IsNoTrans(transA), nb = IsNoTrans(transB);
  const int m = na ? A.rows : A.cols;
  const int n = nb ? B.cols : B.rows;
  const int k = na ? A.cols : A.rows;
  const int kb = nb ? B.rows : B.cols;
  if (kb != k) KVELO_THROW(2872);
  if (m == 0 || n == 0) return 0;
  // ?gemm must not write into one of its operands, and the resize may give back the storage
  // an operand views: an operand sharing this matrix's memory (this itself, Lnk(), a view
  // over Adr()) is copied aside first. The result's own values stay where beta finds them.
  const kvelo_vec::MemRange out = this->ResultMemory(static_cast<long long>(m) * n);
  std::unique_ptr<C_MatMGe<T>> copyA, copyB;
  C_MatMGe<T>* a = &A;
  C_MatMGe<T>* b = &B;
  // This itself is copied even when it holds no values (k = 0): the resize changes the shape
  // and the leading dimension that ?gemm would be given for it.
  if (&A == this || kvelo_vec::Overlaps(out, A.ValueMemory())) {
    copyA.reset(new (std::nothrow) C_MatMGe<T>(A));
    if (!copyA) KVELO_THROW(1001);
    a = copyA.get();
  }
  if (&B == &A) {
    b = a;
  } else if (&B == this || kvelo_vec::Overlaps(out, B.ValueMemory())) {
    copyB.reset(new (std::nothrow) C_MatMGe<T>(B));
    if (!copyB) KVELO_THROW(1001);
    b = copyB.get();
  }
  Resize(m, n);
  const char ta[2] = {transA, 0}, tb[2] = {transB, 0};
  Gemm(ta, tb, m, n, k, alpha, a->Adr(), AtLeast1(a->Ld()), b->Adr(), AtLeast1(b->Ld()), beta, Adr(),
       AtLeast1(ld));
  return 0;
}

template <class T>
void C_MatMGe<T>::Axpy(C_Mat<T>& y, T a) {
  C_MatMGe<T>* g = nullptr;
  if (std::strcmp(y.AffType(), "C_MatMGe Type") == 0) g = dynamic_cast<C_MatMGe<T>*>(&y);
  if (!g) {
    C_Mat<T>::Axpy(y, a);  // which reads values y shares before writing them
    return;
  }
  if (g->rows != rows || g->cols != cols) KVELO_THROW(2872);
  if (rows == 0 || cols == 0) return;
  // ?axpy would overwrite values still to be read, and with y the same array as x it may
  // read what it has just written (the vector kernels do not promise an in-place sum): a y
  // sharing this matrix's storage, this itself included, adds from a copy.
  if (kvelo_vec::Overlaps(this->ValueMemory(), g->ValueMemory())) {
    C_MatMGe<T> src(*this);
    src.Axpy(*g, a);
    return;
  }
  if (Contiguous() && g->ld == g->rows) {
    kvelo_vec::Kernel<T>::Axpy(rows * cols, a, Adr(), g->Adr());
    return;
  }
  for (int j = 0; j < cols; j++) kvelo_vec::Kernel<T>::Axpy(rows, a, col[j], g->col[j]);
}

template <class T>
double C_MatMGe<T>::Nrm(E_NrmType type) {
  if (cols == 1) {
    VecType tmp(0);
    LnkCol(0, tmp);
    return tmp.Nrm(type);
  }
  switch (static_cast<int>(type)) {
    case 0: return this->MatNrmInf();
    case 1: return this->MatNrmOne();
    case 2: return MatNrm2(*this, 0.001);
    default: KVELO_THROW(3);
  }
}

template <class T>
int C_MatMGe<T>::Factor(PivotVec& ipiv, bool refactor) {
  Kvelo::C_Trace trace("C_MatMGe<T>::Factor", "include/C_MatMGe", __LINE__);
  if (factored && !refactor) return 0;
  ipiv.Resize(rows);
  int info = 0;
  kvelo_mat_detail::Getrf(rows, cols, Adr(), kvelo_mat_detail::AtLeast1(ld), ipiv.Adr(0), &info);
  if (info < 0) {
    std::fprintf(stderr, "Lapack call getrf() failed: info%dis an invalid value\n", -info);
    KVELO_THROW(2875);
  }
  if (info > 0) KVELO_THROW(2869);
  factored = true;
  return 0;
}

template <class T>
int C_MatMGe<T>::Solve(PivotVec& ipiv, C_Vec<T, int>& b, C_Vec<T, int>* x) {
  Kvelo::C_Trace trace("C_MatMGe<T>::Solve", "include/C_MatMGe", __LINE__);
  const int n = rows;
  // The installed ?getrs reports a bad argument only through its error handler, and a pivot
  // outside 1 .. n makes it swap rows outside the right-hand side: check everything first.
  // An empty system (0 x 0, b empty) has nothing to solve and is no error: ld 0 is its own.
  if (rows != cols || ld < rows || b.Dim() != n || ipiv.Dim() < n) KVELO_THROW(2872);
  for (int k = 0; k < n; k++) {
    const int p = ipiv[k];
    if (p < 1 || p > n) KVELO_THROW(2872);
  }
  // A right-hand side in the factors' memory (a column view of this matrix) is solved in a
  // copy (SolveRhs).
  return this->SolveRhs(
      n, b, x, []() -> int { KVELO_THROW(38); },
      [&](T* rhs) {
        int info = 0;
        kvelo_mat_detail::Getrs(n, Adr(), ld, ipiv.Adr(0), rhs, &info);
        if (info < 0) {
          std::fprintf(stderr, "Lapack call getrf() failed: info%dis an invalid value.\n", -info);
          KVELO_THROW(2875);
        }
        return 0;
      });
}

template <class T>
int C_MatMGe<T>::Print(FILE* f, int row) {
  if (!f) KVELO_THROW(12);
  if (row != -1 && (row < 0 || row >= rows)) KVELO_THROW(2872);
  this->WriteInfoBlock(f, C_Mat<T>::TypeName());
  std::fprintf(f, " Values: \n");
  const int first = row == -1 ? 0 : row;
  const int last = row == -1 ? rows - 1 : row;
  for (int i = first; i <= last; i++) {
    for (int j = 0; j < cols; j++) {
      std::fprintf(f, "[%d,%d]:", i + 1, j + 1);
      KveloPrintElem(f, GetVal(i, j));
      std::fprintf(f, "%s", j % 5 == 4 ? "\n" : "");
    }
    std::fprintf(f, "\n");
  }
  return 0;
}

template <class T>
int C_MatMGe<T>::WriteMatlab(FILE* f) {
  return this->WriteMatlabRows(f);
}

template <class T>
int C_MatMGe<T>::Write(FILE* f) {
  C_GenericMat::Write(f);
  if (Contiguous()) {
    storage.Write(f);
    return 0;
  }
  const long long count = static_cast<long long>(rows) * cols;
  if (count > INT_MAX) KVELO_THROW(2880);
  const int c32 = static_cast<int>(count);
  if (T_BF_write(f, &c32, 1, true) != 0) KVELO_THROW(22);
  if (rows > 0)
    for (int j = 0; j < cols; j++)
      if (T_BF_write(f, col[j], rows, true) != 0) KVELO_THROW(22);
  return 0;
}

template <class T>
int C_MatMGe<T>::Read(FILE* f) {
  int r = 0, c = 0;
  C_GenericMat::ReadHeader(f, r, c);
  VecType tmp(0);
  C_Mat<T>::ReadValues(f, tmp, [&](int count) { return static_cast<long long>(r) * c == count; });
  // Only now, with every value in hand, does the matrix change.
  if (Borrowed()) {
    // A view takes them in its own elements, as from any other matrix of that shape.
    const C_MatMGe<T> in(r, c, tmp.Adr(0), -1);
    return *this = in;
  }
  // The column table first (sized by columns that hold values), then the values themselves,
  // handed over without a copy when the storage must grow anyway: an owned storage takes
  // them without allocating.
  if (tmp.Dim() > 0) ReserveCols(c);
  storage.TakeValues(tmp);
  rows = r;
  cols = c;
  ld = r;
  factored = false;
  PointCols();
  return 0;
}

template <class T>
int C_MatMGe<T>::Transpose() {
  C_MatMGe<T> tmp(cols, rows);
  for (int j = 0; j < cols; j++)
    for (int i = 0; i < rows; i++) tmp.col[i][j] = col[j][i];
  return *this = tmp;
}

template <class T>
int C_MatMGe<T>::TransposeInPlace() {
  if (!Contiguous()) KVELO_THROW(2870);
  const int m = rows, n = cols;
  // The marks of the cycle walk are the one allocation: made before the shape changes. The
  // count stays, so Resize keeps the values where they are and fails only before any change.
  const int range = (m > 1 && n > 1 && m != n) ? (m + n) / 2 : 0;
  C_VecPi<int, int, C_PtrInCore<int, int>> marks(range);
  Resize(n, m);
  if (m <= 1 || n <= 1) return 0;
  T* a = Adr();
  if (m == n) {
    for (int j = 0; j < n; j++)
      for (int i = j + 1; i < n; i++) std::swap(a[i + static_cast<long long>(j) * n], a[j + static_cast<long long>(i) * n]);
    return 0;
  }
  // Position p of the n x m result takes the value at position (p * m) mod K of the m x n
  // source (K = m n - 1); cycles of that map are rotated one step, each with its companion
  // (the positions K - q), from its smallest member. Marks cover positions 1 .. (m + n) / 2;
  // beyond them a candidate leads when its cycle stays within (p, K - p].
  const long long N = static_cast<long long>(m) * n;
  const long long K = N - 1;
  int* mark = marks.Adr(0);
  auto succ = [&](long long p) { return (p * m) % K; };
  long long placed = 2;
  for (int r = 1; r <= m - 2; r++) {
    const long long num = static_cast<long long>(r) * (n - 1);
    if (num % (m - 1) != 0) continue;
    const long long p = r + static_cast<long long>(m) * (num / (m - 1));
    placed++;
    if (p <= range) mark[p - 1] = 1;
  }
  // Rotates the cycle through p one step; returns whether K - p lies on it.
  auto rotate = [&](long long p) {
    bool selfCompanion = false;
    T saved = a[p];
    long long cur = p;
    for (;;) {
      if (cur == K - p) selfCompanion = true;
      if (cur <= range) mark[cur - 1] = 2;
      placed++;
      const long long nxt = succ(cur);
      if (nxt == p) {
        a[cur] = saved;
        break;
      }
      a[cur] = a[nxt];
      cur = nxt;
    }
    return selfCompanion;
  };
  for (long long p = 1; placed < N && p < K; p++) {
    if (p <= range) {
      if (mark[p - 1] != 0) continue;
    } else {
      if (succ(p) == p) continue;
      // p leads when every other member of its cycle lies above p and at most at K - p (a
      // cycle that is its own companion holds K - p itself).
      bool leads = true;
      for (long long q = succ(p); q != p; q = succ(q)) {
        if (q < p || q > K - p) {
          leads = false;
          break;
        }
      }
      if (!leads) continue;
    }
    if (!rotate(p)) rotate(K - p);
  }
  return 0;
}

template <class T>
int C_MatMGe<T>::ResizeKeep(int r, int c) {
  const long long n = NewShapeCount(r, c);
  if (n < 0) return 0;
  CheckViewShape(r, c);
  if (!Contiguous()) KVELO_THROW(2870);
  // Everything that can fail comes first: the column table, then the storage's growth.
  // Afterwards the kept block of each column moves to its new place, which needs no memory
  // at all and cannot fail, so the matrix changes only once it surely can.
  if (n > 0) ReserveCols(c);
  if (n > Dim()) storage.Resize(static_cast<int>(n));
  const int oldRows = rows, oldCols = cols;
  const int keptCols = oldCols < c ? oldCols : c, keptRows = oldRows < r ? oldRows : r;
  T* a = storage.Adr(0);
  if (a) {
    auto zero = [](T* p, long long count) { std::fill(p, p + count, T(0)); };
    auto move = [&](int j) {
      std::memmove(static_cast<void*>(a + static_cast<long long>(j) * r),
                   static_cast<const void*>(a + static_cast<long long>(j) * oldRows),
                   static_cast<size_t>(keptRows) * sizeof(T));
    };
    if (r > oldRows) {
      // Columns move towards the end: the last one first, so none overwrites one still to
      // move; the rows they gain are zeros.
      for (int j = keptCols - 1; j >= 0; j--) {
        move(j);
        zero(a + static_cast<long long>(j) * r + keptRows, r - keptRows);
      }
    } else if (r < oldRows) {
      for (int j = 0; j < keptCols; j++) move(j);
    }
    // Columns beyond the old ones are zeros, whatever the storage's capacity still held there.
    zero(a + static_cast<long long>(keptCols) * r, static_cast<long long>(c - keptCols) * r);
  }
  rows = r;
  cols = c;
  ld = r;
  factored = false;
  if (n < Dim()) storage.Resize(static_cast<int>(n));  // a shrink keeps the buffer: no failure
  PointCols();
  return 0;
}

#endif
