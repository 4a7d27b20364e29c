// C_Mat.cpp: the element-type-free matrix base (shape, cursors, binary header, file forms)
// and the library's instances of the matrix templates. The general and packed symmetric
// matrices themselves are header templates; only C_GenericMat and the column cursors of
// C_Mat<double> and C_Mat<complex<double>> are exported from here.
#include "C_Mat.h"

#include <complex>

#include "C_AlgoPower.h"
#include "C_MatMGe.h"
#include "C_MatMSym.h"
#include "bf.h"

C_GenericMat::~C_GenericMat() {}

int C_GenericMat::Side() const { return 3; }

long long C_GenericMat::Dim() const {
  // Taken in 64 bits: a 32-bit product would wrap for 46341 x 46341 and report a negative
  // count for a shape whose true count the result type holds.
  return static_cast<long long>(rows) * cols;
}

int C_GenericMat::NbColPtr() const { return -1; }

const char* C_GenericMat::AffType() const { return "C_GenericMat Type"; }

const char* C_GenericMat::Version() const { return "0.1"; }

C_Type::E_Type C_GenericMat::Type() const { return C_Type::TypeNone; }

int C_GenericMat::Write(FILE* f) {
  if (!f) KVELO_THROW(12);
  if (BF_fwrite_int(f, &rows, 1) != 0) KVELO_THROW(22);
  if (BF_fwrite_int(f, &cols, 1) != 0) KVELO_THROW(22);
  return 0;
}

void C_GenericMat::ReadHeader(FILE* f, int& r, int& c) {
  if (!f) KVELO_THROW(12);
  if (BF_fread_int(f, &r, 1) != 0) KVELO_THROW(21);
  if (BF_fread_int(f, &c, 1) != 0) KVELO_THROW(21);
  if (r < 0 || c < 0) KVELO_THROW(21);
}

int C_GenericMat::Read(FILE* f) {
  int r = 0, c = 0;
  ReadHeader(f, r, c);
  rows = r;
  cols = c;
  return 0;
}

int C_GenericMat::WriteMatlab(const char* path) {
  if (!kvelo_vec::WithFile(path, "w", [this](FILE* f) { WriteMatlab(f); })) WriteMatlab(static_cast<FILE*>(nullptr));
  return 0;
}

int C_GenericMat::WriteMatlab(FILE* f) {
  (void)f;
  KVELO_THROW(2871);
}

int C_GenericMat::Print(FILE* f, int row) {
  (void)f;
  (void)row;
  return 0;
}

int C_GenericMat::Print(const char* path, int row, bool append) {
  kvelo_vec::WithFile(path, append ? "a" : "w", [this, row](FILE* f) { Print(f, row); });
  return 0;
}

int C_GenericMat::Copy(C_GenericMat& other) {
  rows = other.rows;
  cols = other.cols;
  return 0;
}

int C_GenericMat::Resize(int r, int c) {
  if (r < 0 || c < 0) KVELO_THROW(2);
  rows = r;
  cols = c;
  return 0;
}

int C_GenericMat::ResizeKeep(int r, int c) {
  (void)r;
  (void)c;
  KVELO_THROW(2871);
}

int C_GenericMat::Row(int row) {
  if (row < 0 || row >= rows) KVELO_THROW(2872);
  rowCursor = row;
  return row;
}

int C_GenericMat::NextRow() {
  rowCursor++;
  if (rowCursor >= rows) {
    rowCursor = rows;
    return -1;
  }
  return rowCursor;
}

int C_GenericMat::Zero() { KVELO_THROW(2871); }

double C_GenericMat::Nrm(E_NrmType type) {
  (void)type;
  KVELO_THROW(2871);
}

void C_GenericMat::WriteTextHeader(FILE* f, const char* typeName) const {
  if (!f) KVELO_THROW(12);
  std::fprintf(f, "%s\n", AffType());
  std::fprintf(f, "%s\n", typeName);
  std::fprintf(f, "%d %d\n", rows, cols);
}

void C_GenericMat::WriteInfoBlock(FILE* f, const char* typeName) const {
  std::fprintf(f, " Type: %s\n Rows: %d\n Columns: %d\n In Core: %d\n Sym: %s\n", typeName, rows, cols,
               InCore(), IsSym() ? "YES" : "NO");
}

// The library's own instances; the column cursors of C_Mat<T> are exported.
template KVELO_API int C_Mat<double>::FirstCol(double&);
template KVELO_API int C_Mat<double>::NextCol(double&);
template KVELO_API int C_Mat<double>::FirstCol(std::string&);
template KVELO_API int C_Mat<double>::NextCol(std::string&);
template KVELO_API int C_Mat<std::complex<double>>::FirstCol(std::complex<double>&);
template KVELO_API int C_Mat<std::complex<double>>::NextCol(std::complex<double>&);
template KVELO_API int C_Mat<std::complex<double>>::FirstCol(std::string&);
template KVELO_API int C_Mat<std::complex<double>>::NextCol(std::string&);
template class C_MatMGe<double>;
template class C_MatMGe<std::complex<double>>;
template class C_MatMSym<double>;
template class C_MatMSym<std::complex<double>>;
template class C_AlgoPower<double>;
template class C_AlgoPower<std::complex<double>>;
template double MatNrm2<double>(C_Mat<double>&, double);
template double MatNrm2<std::complex<double>>(C_Mat<std::complex<double>>&, double);

