// matrixio.cpp: text forms of the dense records MAT, VEC and PERM: printers, dumps with
// capacities and addresses, and readers that parse the printed layout back after blank
// space and '#' comment lines. Also the scanning primitives every text reader shares.
#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "cmatrix/lm_dense.h"
#include "cmatrix/lm_owned.h"
#include "cmatrix/lm_status.h"
#include "cmatrix/lm_textin.h"
#include "matrix.h"

using kvlm::RaiseAndDrop;
using kvlm::LmOp;
using kvlm::Scan;

namespace {

const char kFile[] = "matrixio";

// The one value format of the matrix and vector printers and dumps.
const char* const kValueFormat = "%14.9g ";

unsigned long Address(const void* p) { return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)); }

}  // namespace

namespace kvlm {

Scan ScanLiteral(std::FILE* fp, const char* lit) {
  for (const char* p = lit; *p != '\0'; ++p) {
    int c;
    if (*p == ' ') {
      do {
        c = std::getc(fp);
      } while (c != EOF && std::isspace(c));
      if (c != EOF) std::ungetc(c, fp);
      continue;
    }
    c = std::getc(fp);
    if (c == EOF) return Scan::End;
    if (c != static_cast<unsigned char>(*p)) {
      std::ungetc(c, fp);
      return Scan::Mismatch;
    }
  }
  return Scan::Ok;
}

Scan ScanInteger(std::FILE* fp, long long* value) {
  int c;
  do {
    c = std::getc(fp);
  } while (c != EOF && std::isspace(c));
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = std::getc(fp);
  }
  if (c == EOF) return Scan::End;
  if (!std::isdigit(c)) {
    std::ungetc(c, fp);
    return Scan::Mismatch;
  }
  const long long kCap = 1000000000000000000LL;
  long long v = 0;
  for (; c != EOF && std::isdigit(c); c = std::getc(fp))
    if (v < kCap) v = v * 10 + (c - '0');
  if (c != EOF) std::ungetc(c, fp);
  *value = negative ? -v : v;
  return Scan::Ok;
}

Scan ScanDouble(std::FILE* fp, double* value) {
  const int r = std::fscanf(fp, "%lf", value);
  if (r == 1) return Scan::Ok;
  return r == EOF ? Scan::End : Scan::Mismatch;
}

int ScanSizeHeading(std::FILE* fp, const char* lit, long long* size) {
  skipjunk(fp);
  Scan s = ScanLiteral(fp, lit);
  if (s == Scan::Ok) s = ScanInteger(fp, size);
  if (s == Scan::End) return 7;
  if (s != Scan::Ok || *size < 0 || *size > kMaxTextSize) return 6;
  return 0;
}

}  // namespace kvlm

namespace {

// The values of one matrix row: a line break after the 4th value and then every 5th; the
// row ends with a line break unless its last value ended the line.
int PrintRow(std::FILE* fp, const double* row, unsigned n) {
  int r = 0;
  for (unsigned j = 0; j < n; ++j) {
    r = std::fprintf(fp, kValueFormat, row[j]);
    if (j % 5 == 3) r = std::fputs("\n", fp);
  }
  if (n % 5 != 4) r = std::fputs("\n", fp);
  return r;
}

// Vector values: a line break after every 5th, and a final one when the last line is short.
int PrintVecValues(std::FILE* fp, const double* v, unsigned dim) {
  int r = 0;
  for (unsigned i = 0; i < dim; ++i) {
    r = std::fprintf(fp, kValueFormat, v[i]);
    if (i % 5 == 4) r = std::fputs("\n", fp);
  }
  if (dim % 5 != 0) r = std::fputs("\n", fp);
  return r;
}

}  // namespace

extern "C" {

KVELO_API int skipjunk(FILE* fp) {
  if (fp == nullptr) return 0;
  for (;;) {
    int c = std::getc(fp);
    if (c != EOF && std::isspace(c)) continue;
    if (c == '#') {
      do {
        c = std::getc(fp);
      } while (c != EOF && c != '\n');
      continue;
    }
    if (c != EOF) std::ungetc(c, fp);
    return 0;
  }
}

KVELO_API int m_foutput(FILE* fp, MAT* A) {
  if (fp == nullptr) return -1;
  if (A == nullptr) return std::fputs("Matrix: NULL\n", fp);
  int r = std::fprintf(fp, "Matrix: %u by %u\n", A->m, A->n);
  if (A->me == nullptr) return std::fputs("NULL\n", fp);
  for (unsigned i = 0; i < A->m; ++i) {
    std::fprintf(fp, "row %u: ", i);
    r = PrintRow(fp, A->me[i], A->n);
  }
  return r;
}

KVELO_API int m_dump(FILE* fp, MAT* A) {
  if (fp == nullptr) return -1;
  if (A == nullptr) return std::fputs("Matrix: NULL\n", fp);
  std::fprintf(fp, "Matrix: %u by %u @ 0x%lx\n", A->m, A->n, Address(A));
  int r = std::fprintf(fp, "\tmax_m = %u, max_n = %u, max_size = %u\n", A->max_m, A->max_n, A->max_size);
  if (A->me == nullptr) return std::fputs("NULL\n", fp);
  std::fprintf(fp, "a->me @ 0x%lx\n", Address(A->me));
  r = std::fprintf(fp, "a->base @ 0x%lx\n", Address(A->base));
  for (unsigned i = 0; i < A->m; ++i) {
    std::fprintf(fp, "row %u: @ 0x%lx ", i, Address(A->me[i]));
    r = PrintRow(fp, A->me[i], A->n);
  }
  return r;
}

KVELO_API int v_foutput(FILE* fp, VEC* x) {
  if (fp == nullptr) return -1;
  if (x == nullptr) return std::fputs("Vector: NULL\n", fp);
  int r = std::fprintf(fp, "Vector: dim: %u\n", x->dim);
  if (x->ve == nullptr) return std::fputs("NULL\n", fp);
  if (x->dim > 0) r = PrintVecValues(fp, x->ve, x->dim);
  return r;
}

KVELO_API int v_dump(FILE* fp, VEC* x) {
  if (fp == nullptr) return -1;
  if (x == nullptr) return std::fputs("Vector: NULL\n", fp);
  int r = std::fprintf(fp, "Vector: dim: %u @ 0x%lx\n", x->dim, Address(x));
  if (x->ve == nullptr) return std::fputs("NULL\n", fp);
  r = std::fprintf(fp, "x->ve @ 0x%lx\n", Address(x->ve));
  if (x->dim > 0) r = PrintVecValues(fp, x->ve, x->dim);
  return r;
}

KVELO_API int px_foutput(FILE* fp, PERM* px) {
  if (fp == nullptr) return -1;
  if (px == nullptr) return std::fputs("Permutation: NULL\n", fp);
  std::fprintf(fp, "Permutation: size: %u\n", px->size);
  if (px->pe == nullptr) return std::fputs("NULL\n", fp);
  for (unsigned i = 0; i < px->size; ++i)
    std::fprintf(fp, (i % 8 == 0 && i != 0) ? "\n  %u->%u " : "%u->%u ", i, px->pe[i]);
  return std::fputs("\n", fp);
}

KVELO_API int px_dump(FILE* fp, PERM* px) {
  if (fp == nullptr) return -1;
  if (px == nullptr) return std::fputs("Permutation: NULL\n", fp);
  std::fprintf(fp, "Permutation: size: %u @ 0x%lx\n", px->size, Address(px));
  if (px->pe == nullptr) return std::fputs("NULL\n", fp);
  std::fprintf(fp, "px->pe @ 0x%lx\n", Address(px->pe));
  for (unsigned i = 0; i < px->size; ++i) std::fprintf(fp, "%u->%u ", i, px->pe[i]);
  return std::fputs("\n", fp);
}

KVELO_API MAT* _LM_bm_finput(FILE* fp, MAT* A, int callerLine, const char* callerName, ...) {
  va_list ap;
  va_start(ap, callerName);
  int* status = va_arg(ap, int*);
  va_end(ap);
  LmOp op(kFile, "bm_finput", callerLine, callerName, status);
  if (fp == nullptr) LM_FAIL(op, 8, nullptr);
  skipjunk(fp);
  long long m = 0, n = 0;
  Scan s = kvlm::ScanLiteral(fp, " Matrix:");
  if (s == Scan::Ok) s = kvlm::ScanInteger(fp, &m);
  if (s == Scan::Ok) s = kvlm::ScanLiteral(fp, " by");
  if (s == Scan::Ok) s = kvlm::ScanInteger(fp, &n);
  if (s == Scan::End) LM_FAIL(op, 18, nullptr);
  if (s != Scan::Ok || m < 0 || n < 0 || m > kvlm::kMaxTextSize || n > kvlm::kMaxTextSize)
    LM_FAIL(op, 6, nullptr);
  // A given matrix is read in place; one smaller than the heading is grown first, so that
  // no value lands past its rows.
  MAT* res = A;
  if (res == nullptr || res->m < m || res->n < n) {
    const long long rm = res != nullptr && res->m > m ? res->m : m;
    const long long rn = res != nullptr && res->n > n ? res->n : n;
    res = _LM_m_resize("_LM_bm_finput", kvlm::lm_context, A, static_cast<int>(rm), static_cast<int>(rn),
                       callerLine, callerName, op.st());
    LM_CHECK(op, nullptr);
  }
  for (long long i = 0; i < m; ++i) {
    skipjunk(fp);
    long long label = 0;
    s = kvlm::ScanLiteral(fp, " row");
    if (s == Scan::Ok) s = kvlm::ScanInteger(fp, &label);
    if (s != Scan::Ok) return RaiseAndDrop(op, 6, __LINE__, res, A);
    kvlm::ScanLiteral(fp, ":");  // as the formatted input, a missing colon is let through
    for (long long j = 0; j < n; ++j) {
      s = kvlm::ScanDouble(fp, &res->me[i][j]);
      if (s != Scan::Ok) return RaiseAndDrop(op, s == Scan::End ? 7 : 6, __LINE__, res, A);
    }
  }
  return op.done(res);
}

KVELO_API MAT* _LM_m_finput(FILE* fp, MAT* A, int callerLine, const char* callerName, int* status) {
  return _LM_bm_finput(fp, A, callerLine, callerName, status);
}

KVELO_API VEC* _LM_bfin_vec(FILE* fp, VEC* x, int callerLine, const char* callerName, ...) {
  va_list ap;
  va_start(ap, callerName);
  int* status = va_arg(ap, int*);
  va_end(ap);
  LmOp op(kFile, "bfin_vec", callerLine, callerName, status);
  if (fp == nullptr) LM_FAIL(op, 8, nullptr);
  long long dim = 0;
  if (const int code = kvlm::ScanSizeHeading(fp, " Vector: dim:", &dim)) LM_FAIL(op, code, nullptr);
  VEC* res = kvlm::GrownVec(op, "_LM_bfin_vec", x, static_cast<unsigned>(dim));
  LM_CHECK(op, nullptr);
  skipjunk(fp);
  // A value that cannot be read is reported and the reading goes on: the vector comes
  // back with the status -1.
  for (long long i = 0; i < dim; ++i) {
    const Scan s = kvlm::ScanDouble(fp, &res->ve[i]);
    if (s != Scan::Ok) op.raise(s == Scan::End ? 7 : 6, __LINE__);
  }
  return op.done(res);
}

KVELO_API VEC* _LM_v_finput(FILE* fp, VEC* x, int callerLine, const char* callerName, int* status) {
  return _LM_bfin_vec(fp, x, callerLine, callerName, status);
}

KVELO_API PERM* _LM_bpx_finput(FILE* fp, PERM* px, int callerLine, const char* callerName, ...) {
  va_list ap;
  va_start(ap, callerName);
  int* status = va_arg(ap, int*);
  va_end(ap);
  LmOp op(kFile, "bpx_finput", callerLine, callerName, status);
  if (fp == nullptr) LM_FAIL(op, 8, nullptr);
  long long size = 0;
  if (const int code = kvlm::ScanSizeHeading(fp, " Permutation: size:", &size)) LM_FAIL(op, code, nullptr);
  PERM* res = px;
  if (res == nullptr || res->size < size) {
    res = _LM_px_resize("_LM_bpx_finput", kvlm::lm_context, px, static_cast<int>(size), callerLine,
                        callerName, op.st());
    LM_CHECK(op, nullptr);
  }
  skipjunk(fp);
  bool seen[kvlm::kMaxTextSize] = {};
  for (long long k = 0; k < size; ++k) {
    long long index = 0, image = 0;
    Scan s = kvlm::ScanInteger(fp, &index);
    if (s == Scan::Ok) s = kvlm::ScanLiteral(fp, " -> ");
    if (s == Scan::Ok) s = kvlm::ScanInteger(fp, &image);
    int code = 0;
    if (s != Scan::Ok)
      code = s == Scan::End ? 7 : 6;
    else if (image < 0 || image >= size || seen[image])
      code = 2;
    if (code != 0) return RaiseAndDrop(op, code, __LINE__, res, px);
    seen[image] = true;
    res->pe[k] = static_cast<unsigned>(image);
  }
  return op.done(res);
}

KVELO_API PERM* _LM_px_finput(FILE* fp, PERM* px, int callerLine, const char* callerName,
                              int* status) {
  return _LM_bpx_finput(fp, px, callerLine, callerName, status);
}

}  // extern "C"
