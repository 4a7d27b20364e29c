/* C_Mat.h: the matrix base classes. C_GenericMat is the element-type-free face of every
 * matrix (shape, row and column cursors, text and binary header, copy, resize, norm);
 * C_Mat<T> (T = double, complex<double>) the typed face (element access, views, products,
 * factorisation) on which the general (C_MatMGe) and packed symmetric (C_MatMSym) matrices stand.
 * Errors are C_KveloException codes: 3 norm type, 12 null FILE, 21 read, 22 write,
 * 1001 no memory, 2871 operation not provided by the class, 2872 shape or cursor out of range,
 * 2880 more than 2^31-1 values. */
#ifndef KVELO_C_MAT_H
#define KVELO_C_MAT_H

#include <climits>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kvelo_export.h"
#include "C_KveloException.h"
#include "C_Type.h"
#include "C_Vec.h"
#include "C_VecPi.h"

/* Element-type-free matrix: rows x cols, with a row cursor and a column cursor for walks
 * through the text accessors. One walk at a time per matrix. */
class KVELO_API C_GenericMat : public C_Type {
 public:
  int rows;       // number of rows
  int cols;       // number of columns
  int rowCursor;  // the row that the column walk reads
  int colCursor;  // the position of the column walk

  explicit C_GenericMat(int r = 0, int c = 0) : rows(r), cols(c), rowCursor(0), colCursor(0) {}
  C_GenericMat(const C_GenericMat&) = default;
  C_GenericMat& operator=(const C_GenericMat&) = default;
  virtual ~C_GenericMat();

  // Bytes of storage.
  virtual int MemSize() const = 0;
  // 1 when the values are in memory.
  virtual int InCore() const = 0;
  // Whether the matrix is symmetric (packed storage).
  virtual bool IsSym() const = 0;
  // Stored side of a symmetric matrix; 3 for a general one.
  virtual int Side() const;
  // Number of stored values: rows x cols here (taken in 64 bits, never wrapped).
  virtual long long Dim() const;
  // Number of column pointers; -1 when the class keeps none.
  virtual int NbColPtr() const;
  // Class label used in the text header: "C_GenericMat Type" here.
  virtual const char* AffType() const;
  // "0.1" for every matrix.
  virtual const char* Version() const;
  // Element-type code: 7 (none) here.
  virtual C_Type::E_Type Type() const;
  // Writes rows and cols as big-endian ints; 0; code 12 null FILE, 22 write failure.
  virtual int Write(FILE* f);
  // Reads rows and cols; 0; code 12 null FILE, 21 read failure or a negative count
  // (nothing changes on failure).
  virtual int Read(FILE* f);
  // Opens path with "w", writes WriteMatlab(FILE*) to it, closes it; 0. A file that does not
  // open reaches WriteMatlab(FILE*) as null (code 12 in the concrete classes).
  virtual int WriteMatlab(const char* path);
  // Text form; code 2871 here.
  virtual int WriteMatlab(FILE* f);
  // Text listing of one row (-1: all); prints nothing here; 0.
  virtual int Print(FILE* f, int row);
  // Print(FILE*, row) into path (appended or truncated); 0 also for a null path or a file
  // that does not open (then nothing is written).
  virtual int Print(const char* path, int row, bool append);
  // Takes other's rows and cols; 0.
  virtual int Copy(C_GenericMat& other);
  // Sets rows and cols; 0; code 2 for a negative count (nothing changes).
  virtual int Resize(int r, int c);
  // Resize keeping the common values; code 2871 here.
  virtual int ResizeKeep(int r, int c);
  // Appends the text of element (i, j) to s and returns s; 1001, s unchanged, on no memory.
  virtual std::string& GetVal(int i, int j, std::string& s) = 0;
  // Sets the row cursor to row and returns it; code 2872 when row is not in 0 .. rows-1.
  virtual int Row(int row);
  // Advances the row cursor; -1 when it reaches rows, else the new cursor.
  virtual int NextRow();
  // Appends the text of the first element of the current row; returns 0 or -1 (see C_Mat<T>).
  // Both walks throw C_KveloException 1001, s and the cursors unchanged, on no memory.
  virtual int FirstCol(std::string& s) = 0;
  // Appends the text of the next element of the current row; its column, or -1 at the end.
  virtual int NextCol(std::string& s) = 0;
  // Sets every value to 0; code 2871 here.
  virtual int Zero();
  // Matrix norm (0 infinity, 1 one, 2 two); code 2871 here.
  virtual double Nrm(E_NrmType type);

 protected:
  // Reads the binary header into r and c without touching the matrix: code 12 null FILE,
  // 21 when a value cannot be read or is negative.
  static void ReadHeader(FILE* f, int& r, int& c);
  // Writes the text header "AffType\nTypeName\nrows cols\n"; code 12 for a null FILE.
  void WriteTextHeader(FILE* f, const char* typeName) const;
  // Writes the info block " Type: ...\n Rows: ...\n ...".
  void WriteInfoBlock(FILE* f, const char* typeName) const;
};

/* Writes the text of one element, as the vectors and the string accessors form it; 1001, the
 * element not written, when memory runs out for its text. */
template <class T>
inline void KveloPrintElem(FILE* f, const T& v) {
  std::string text;
  kvelo_vec::Kernel<T>::Append(text, v);
  std::fputs(text.c_str(), f);
}

template <class T> class C_MatMSym;

namespace kvelo_mat_detail {
// The largest of a run of sums of moduli (each >= 0 or NaN). A NaN sum makes the result NaN
// for good: a later finite sum must not hide that some element was not a number.
class LargestSum {
 public:
  void Take(double sum) {
    if (!std::isnan(best_) && (std::isnan(sum) || sum > best_)) best_ = sum;
  }
  double Get() const { return best_; }

 private:
  double best_ = 0.0;
};
}  // namespace kvelo_mat_detail

/* Typed abstract matrix. Constructions (copies included) are counted in C_Counter<C_Mat<T>>.
 * Indices are 0-based: i the row, j the column. */
template <class T>
class C_Mat : public C_Counter<C_Mat<T>>, public C_GenericMat {
 public:
  typedef C_VecPi<int, int, C_PtrInCore<int, int>> PivotVec;
  typedef C_VecPi<T, int, C_PtrInCore<T, int>> VecType;

  explicit C_Mat(int r = 0, int c = 0) : C_GenericMat(r, c) {}
  C_Mat(const C_Mat& other) : C_Counter<C_Mat<T>>(other), C_GenericMat(other) {}
  C_Mat& operator=(const C_Mat& other) {
    C_GenericMat::operator=(other);
    return *this;
  }
  ~C_Mat() override {}

  using C_GenericMat::FirstCol;
  using C_GenericMat::NextCol;

  // A new heap matrix of the same shape viewing the same values (caller deletes it).
  virtual C_Mat<T>* Lnk() = 0;
  // A new heap matrix holding a copy of the values; code 2871 here.
  virtual C_Mat<T>* Dup() { KVELO_THROW(2871); }
  // Address of the first stored value.
  virtual T* Adr() const = 0;
  // Value of element (i, j); the caller keeps i, j within the shape.
  virtual T GetVal(int i, int j) const = 0;
  // Sets element (i, j) to v; the caller keeps i, j within the shape.
  virtual void SetVal(int i, int j, T v) = 0;
  // Makes v a view of column j; code 2871 here.
  virtual void LnkCol(int j, C_Vec<T, int>& v) { (void)j; (void)v; KVELO_THROW(2871); }
  // out = first element of the current row; returns 0. Code 2872 when the matrix has no rows
  // or no columns or the row cursor is outside the rows.
  virtual int FirstCol(T& out);
  // out = next element of the current row and returns its column; -1 (out untouched) past
  // the last column. Code 2872 when the row cursor is outside the rows (the cursor then
  // stays where it was).
  virtual int NextCol(T& out);
  // Every stored value set to v; 0.
  virtual int Init(T v) = 0;
  // y = alpha op(A) x + beta y; 0.
  virtual int Mv(T alpha, C_Vec<T, int>& x, T beta, C_Vec<T, int>& y, char trans) = 0;
  // y = y + a * this, element by element; code 2872 for another shape. Into a symmetric y each
  // stored (packed) element is visited once, taking this(i, j) for i >= j.
  virtual void Axpy(C_Mat<T>& y, T a);
  // Every value scaled by a.
  virtual void operator*=(T a) = 0;
  // LU factorisation in place; code 2871 here.
  virtual int Factor(PivotVec& ipiv, bool refactor) { (void)ipiv; (void)refactor; KVELO_THROW(2871); }
  // Solves with the factors in place: into *x when given (b untouched), else into b.
  virtual int Solve(PivotVec& ipiv, C_Vec<T, int>& b, C_Vec<T, int>* x) = 0;

  // The memory holding the stored values (Dim() values from Adr()), which the operations
  // that write one matrix while reading another compare to detect shared storage.
  kvelo_vec::MemRange ValueMemory() const { return kvelo_vec::RangeOf(static_cast<const T*>(Adr()), Dim()); }
  // The memory this matrix may write or give back when it takes `count` values: its stored
  // values, extended to count (a growing resize may move them all).
  kvelo_vec::MemRange ResultMemory(long long count) const {
    return kvelo_vec::RangeOf(static_cast<const T*>(Adr()), Dim() > count ? Dim() : count);
  }

  // C_GenericMat operations supplied for every typed matrix.
  C_Type::E_Type Type() const override { return kvelo_vec::Kernel<T>::kType; }
  // Element copy from a matrix of the same element type: Resize to other's shape, then every
  // (i, j) in row-major order; 0. -1 (nothing changed) for another element type or when the
  // resize returns -1; code 2872 when this is symmetric and other is not square, 1001 no
  // memory, and the codes of Resize (a view that cannot take the shape: 2870). Nothing
  // changes on failure.
  int Copy(C_GenericMat& other) override;
  std::string& GetVal(int i, int j, std::string& s) override {
    kvelo_vec::Kernel<T>::Append(s, GetVal(i, j));
    return s;
  }
  // String forms of the column walk: the result goes to the column cursor; the element's
  // text is appended unless the result is -1. The room for the text is made before the cursor
  // moves: 1001 leaves s and the cursor as they were.
  int FirstCol(std::string& s) override;
  int NextCol(std::string& s) override;
  // Init(0).
  int Zero() override { return Init(T(0)); }

 protected:
  static const char* TypeName() { return kvelo_vec::Kernel<T>::Name(); }
  // Puts the r x c values get(i, j) aside in held (row by row when byRows, else column by
  // column), in the library's heap: code 1001 when memory runs out, 2880 beyond 2^31-1 values.
  template <class Get>
  static void HoldValues(VecType& held, int r, int c, bool byRows, Get get);
  // Largest row sum of |a(i, j)| (the vectors' magnitude: NaN for an element with a NaN
  // part, also beside an infinite one); the cursors do not move. Code 2872 without rows or
  // columns.
  double MatNrmInf();
  // Largest column sum of |a(i, j)|, through LnkCol; NaN when an element has a NaN part. Code 2871
  // when the class has no column views.
  double MatNrmOne();
  // The text form of the concrete matrices: the text header, then each row of elements, each
  // followed by " "; code 12 for a null FILE.
  int WriteMatlabRows(FILE* f);
  // Where Solve puts the solution: *x holding a copy of b when x is given, else b itself;
  // null when the copy fails.
  static C_Vec<T, int>* SolveTarget(C_Vec<T, int>& b, C_Vec<T, int>* x) {
    if (!x) return &b;
    return x->Copy(b) == 0 ? x : nullptr;
  }
  // The right-hand side protocol of the Solve of the factored matrices: solve(rhs) runs the
  // factors' solver over the n values at rhs (0, or -1 after its own report) in the vector
  // SolveTarget picks, which must be in core, full and n long, else badRhs() (raises or
  // returns -1). A right-hand side in the factors' memory (a view of this matrix) would be
  // overwritten while the solver reads them: it is solved in a copy and stored afterwards.
  // 0, or -1 when a copy or the solver fails.
  template <class BadRhs, class Solver>
  int SolveRhs(int n, C_Vec<T, int>& b, C_Vec<T, int>* x, BadRhs badRhs, Solver solve);
  // Reads the value count and the values of a binary form into tmp, so that only a complete,
  // consistent matrix replaces this one: code 21 when either cannot be read or
  // consistent(count) is false. tmp's memory grows with the values that arrive, not with the
  // count (VecType::ReadValues).
  template <class Consistent>
  static void ReadValues(FILE* f, VecType& tmp, Consistent consistent);
};

template <class T>
template <class BadRhs, class Solver>
int C_Mat<T>::SolveRhs(int n, C_Vec<T, int>& b, C_Vec<T, int>* x, BadRhs badRhs, Solver solve) {
  C_Vec<T, int>* dest = x ? x : &b;
  const bool shares = kvelo_vec::Overlaps(ValueMemory(), kvelo_vec::ValueMemory(*dest, n));
  // A vector the solver cannot write is refused before it takes a copy of b.
  if (!shares && (!dest->InCore() || !dest->Full())) return badRhs();
  VecType scratch(0);
  C_Vec<T, int>* rhs = &scratch;
  if (shares)
    scratch.Copy(b);
  else if (!(rhs = SolveTarget(b, x)))
    return -1;
  if (n == 0) return shares ? (dest->Copy(scratch) == 0 ? 0 : -1) : 0;
  if (!rhs->InCore() || !rhs->Full() || rhs->Dim() != n || !rhs->Adr(0)) return badRhs();
  if (solve(rhs->Adr(0)) != 0) return -1;
  if (shares && dest->Copy(scratch) != 0) return -1;
  return 0;
}

template <class T>
int C_Mat<T>::FirstCol(T& out) {
  if (rows <= 0 || cols <= 0 || rowCursor < 0 || rowCursor >= rows) KVELO_THROW(2872);
  colCursor = 0;
  out = GetVal(rowCursor, 0);
  return 0;
}

template <class T>
int C_Mat<T>::NextCol(T& out) {
  const int next = colCursor + 1;
  if (next >= cols || next < 0) {
    colCursor = next;
    return -1;
  }
  // A refused step leaves the cursor where it was.
  if (rowCursor < 0 || rowCursor >= rows) KVELO_THROW(2872);
  colCursor = next;
  out = GetVal(rowCursor, colCursor);
  return colCursor;
}

template <class T>
int C_Mat<T>::FirstCol(std::string& s) {
  kvelo_vec::MakeRoomForValue(s);
  T v = T(0);
  int r = FirstCol(v);
  colCursor = r;
  if (r != -1) kvelo_vec::Kernel<T>::Append(s, v);
  return r;
}

template <class T>
int C_Mat<T>::NextCol(std::string& s) {
  kvelo_vec::MakeRoomForValue(s);
  T v = T(0);
  int r = NextCol(v);
  colCursor = r;
  if (r != -1) kvelo_vec::Kernel<T>::Append(s, v);
  return r;
}

template <class T>
template <class Get>
void C_Mat<T>::HoldValues(VecType& held, int r, int c, bool byRows, Get get) {
  const long long count = static_cast<long long>(r) * c;
  if (count > INT_MAX) KVELO_THROW(2880);
  held.Resize(static_cast<int>(count));
  int k = 0;
  const int outer = byRows ? r : c, inner = byRows ? c : r;
  for (int p = 0; p < outer; p++)
    for (int q = 0; q < inner; q++) held[k++] = byRows ? get(p, q) : get(q, p);
}

template <class T>
int C_Mat<T>::Copy(C_GenericMat& other) {
  C_Mat<T>* src = dynamic_cast<C_Mat<T>*>(&other);
  if (!src) return -1;
  if (src == this) return 0;
  if (IsSym() && src->rows != src->cols) KVELO_THROW(2872);
  const int r = src->rows, c = src->cols;
  // A source sharing this matrix's storage (a view of it, or of its buffer) is read before
  // the resize, which may move or give back that storage, and before any element is written.
  const long long extent = static_cast<long long>(r) * c;
  const bool aside = kvelo_vec::Overlaps(ResultMemory(extent), src->ValueMemory());
  VecType held(0);
  if (aside) HoldValues(held, r, c, true, [src](int i, int j) { return src->GetVal(i, j); });
  if (Resize(r, c) != 0) return -1;
  int k = 0;
  for (int i = 0; i < rows; i++)
    for (int j = 0; j < cols; j++, k++) SetVal(i, j, aside ? held[k] : src->GetVal(i, j));
  return 0;
}

template <class T>
void C_Mat<T>::Axpy(C_Mat<T>& y, T a) {
  if (y.rows != rows || y.cols != cols) KVELO_THROW(2872);
  // A symmetric target stores (i, j) and (j, i) once: adding both would count it twice.
  const bool packed = y.IsSym();
  // y sharing this matrix's storage through another layout (a view, a shifted view) would
  // overwrite values still to be read: they are read first. The same object adds in place.
  const bool aside = &y != this && kvelo_vec::Overlaps(ValueMemory(), y.ValueMemory());
  VecType held(0);
  if (aside) HoldValues(held, rows, cols, false, [this](int i, int j) { return GetVal(i, j); });
  for (int j = 0; j < cols; j++)
    for (int i = packed ? j : 0; i < rows; i++)
      y.SetVal(i, j, y.GetVal(i, j) + a * (aside ? held[j * rows + i] : GetVal(i, j)));
}

template <class T>
double C_Mat<T>::MatNrmInf() {
  // Refused before anything is read; the walk goes through the elements, not the cursors,
  // which stay where the caller left them.
  if (rows <= 0 || cols <= 0) KVELO_THROW(2872);
  kvelo_mat_detail::LargestSum best;
  for (int i = 0; i < rows; i++) {
    double sum = 0.0;
    for (int j = 0; j < cols; j++) sum += kvelo_vec::Magnitude(GetVal(i, j));
    best.Take(sum);
  }
  return best.Get();
}

template <class T>
double C_Mat<T>::MatNrmOne() {
  VecType tmp(0);
  kvelo_mat_detail::LargestSum best;
  for (int j = 0; j < cols; j++) {
    LnkCol(j, tmp);
    double sum = 0.0;
    for (int i = 0; i < rows; i++) sum += kvelo_vec::Magnitude(tmp[i]);
    best.Take(sum);
  }
  return best.Get();
}

template <class T>
int C_Mat<T>::WriteMatlabRows(FILE* f) {
  if (!f) KVELO_THROW(12);
  WriteTextHeader(f, TypeName());
  for (int i = 0; i < rows; i++) {
    for (int j = 0; j < cols; j++) {
      KveloPrintElem(f, GetVal(i, j));
      std::fprintf(f, " ");
    }
    std::fprintf(f, "\n");
  }
  return 0;
}

template <class T>
template <class Consistent>
void C_Mat<T>::ReadValues(FILE* f, VecType& tmp, Consistent consistent) {
  int count = 0;
  if (T_BF_read(f, &count, 1, true) != 0 || !consistent(count)) KVELO_THROW(21);
  tmp.ReadValues(f, count);
}

// The column cursors of the library's two instances are compiled once, in the library, and
// exported from it.
extern template KVELO_API int C_Mat<double>::FirstCol(double&);
extern template KVELO_API int C_Mat<double>::NextCol(double&);
extern template KVELO_API int C_Mat<double>::FirstCol(std::string&);
extern template KVELO_API int C_Mat<double>::NextCol(std::string&);
extern template KVELO_API int C_Mat<std::complex<double>>::FirstCol(std::complex<double>&);
extern template KVELO_API int C_Mat<std::complex<double>>::NextCol(std::complex<double>&);
extern template KVELO_API int C_Mat<std::complex<double>>::FirstCol(std::string&);
extern template KVELO_API int C_Mat<std::complex<double>>::NextCol(std::string&);

#endif
