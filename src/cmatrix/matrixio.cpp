// matrixio.cpp: text forms of the dense records MAT, VEC and PERM: printers, dumps with
// capacities and addresses, and readers that parse the printed layout back after blank
// space and '#' comment lines, changing the caller's record only once a whole form is read.
// Also the scanning primitives every text reader shares.
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cmatrix/lm_status.h"
#include "cmatrix/lm_textin.h"
#include "matrix.h"

using kvlm::AddressBits;
using kvlm::LmOp;
using kvlm::Scan;

namespace {

const char kFile[] = "matrixio";

// The one value format of the matrix and vector printers and dumps.
const char* const kValueFormat = "%14.9g ";

int Lower(int c) { return std::tolower(static_cast<unsigned char>(c)); }

// Takes the characters of word (lower case) from fp, matched case-insensitively, appending
// them to tok; false at the first one that differs (pushed back) or at the end of the input.
bool TakeWord(std::FILE* fp, const char* word, std::string& tok) {
  for (const char* p = word; *p != '\0'; ++p) {
    const int c = std::getc(fp);
    if (c == EOF) return false;
    if (Lower(c) != *p) {
      std::ungetc(c, fp);
      return false;
    }
    tok += static_cast<char>(c);
  }
  return true;
}

// Takes the run of decimal (or hexadecimal) digits that follows, appending it to tok; returns
// its length. The character after the run is pushed back.
size_t TakeDigits(std::FILE* fp, bool hex, std::string& tok) {
  size_t n = 0;
  int c;
  while ((c = std::getc(fp)) != EOF && (hex ? std::isxdigit(c) : std::isdigit(c))) {
    tok += static_cast<char>(c);
    ++n;
  }
  if (c != EOF) std::ungetc(c, fp);
  return n;
}

// The rest of an "inf", "infinity" or "nan" (with an optional "(chars)") whose first letter
// c has been read; Ok with the value, or Mismatch for a word cut short.
kvlm::Scan ScanSpecial(std::FILE* fp, int c, std::string& tok, double* value) {
  std::ungetc(c, fp);
  if (Lower(c) == 'i') {
    if (!TakeWord(fp, "inf", tok)) return kvlm::Scan::Mismatch;
    const int d = std::getc(fp);
    if (d != EOF && Lower(d) == 'i') {
      tok += static_cast<char>(d);
      if (!TakeWord(fp, "nity", tok)) return kvlm::Scan::Mismatch;
    } else if (d != EOF) {
      std::ungetc(d, fp);
    }
  } else {
    if (!TakeWord(fp, "nan", tok)) return kvlm::Scan::Mismatch;
    int d = std::getc(fp);
    if (d == '(') {
      // The characters inside only name a payload: skipped, not kept.
      while ((d = std::getc(fp)) != EOF && (std::isalnum(d) || d == '_')) {
      }
      if (d != ')') {
        if (d != EOF) std::ungetc(d, fp);
        return kvlm::Scan::Mismatch;
      }
    } else if (d != EOF) {
      std::ungetc(d, fp);
    }
  }
  *value = std::strtod(tok.c_str(), nullptr);
  return kvlm::Scan::Ok;
}

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
  // The magnitude grows in unsigned arithmetic and is tested before each digit, so that it
  // never passes the limit: a value beyond it is refused once all its digits are consumed.
  const unsigned long long limit =
      negative ? static_cast<unsigned long long>(LLONG_MAX) + 1 : static_cast<unsigned long long>(LLONG_MAX);
  unsigned long long mag = 0;
  bool fits = true;
  for (; c != EOF && std::isdigit(c); c = std::getc(fp)) {
    const unsigned d = static_cast<unsigned>(c - '0');
    if (fits && mag > (limit - d) / 10) fits = false;
    if (fits) mag = mag * 10 + d;
  }
  if (c != EOF) std::ungetc(c, fp);
  if (!fits) return Scan::Range;
  if (!negative) {
    *value = static_cast<long long>(mag);
  } else {
    *value = mag == limit ? LLONG_MIN : -static_cast<long long>(mag);
  }
  return Scan::Ok;
}

Scan ScanDouble(std::FILE* fp, double* value) {
  // The number's text is gathered as the formatted input takes it (the longest prefix of a
  // number, one character of look-ahead) and converted by strtod, which rounds correctly
  // whatever the count of digits or the size of the exponent; only a finite text that
  // overflows is refused.
  int c;
  do {
    c = std::getc(fp);
  } while (c != EOF && std::isspace(c));
  std::string tok;
  if (c == '+' || c == '-') {
    tok += static_cast<char>(c);
    c = std::getc(fp);
  }
  if (c == EOF) return Scan::End;
  if (Lower(c) == 'i' || Lower(c) == 'n') return ScanSpecial(fp, c, tok, value);
  if (!std::isdigit(c) && c != '.') {
    std::ungetc(c, fp);
    return Scan::Mismatch;
  }
  bool hex = false;
  size_t digits = 0;
  if (c == '0') {
    tok += '0';
    digits = 1;
    const int x = std::getc(fp);
    if (x == 'x' || x == 'X') {
      hex = true;
      tok += static_cast<char>(x);
      digits = 0;
    } else if (x != EOF) {
      std::ungetc(x, fp);
    }
  } else {
    std::ungetc(c, fp);
  }
  digits += TakeDigits(fp, hex, tok);
  int d = std::getc(fp);
  if (d == '.') {
    tok += '.';
    digits += TakeDigits(fp, hex, tok);
    d = std::getc(fp);
  }
  if (digits == 0) {
    if (d != EOF) std::ungetc(d, fp);
    return Scan::Mismatch;
  }
  if (d != EOF && Lower(d) == (hex ? 'p' : 'e')) {
    tok += static_cast<char>(d);
    int e = std::getc(fp);
    if (e == '+' || e == '-') {
      tok += static_cast<char>(e);
      e = std::getc(fp);
    }
    if (e == EOF || !std::isdigit(e)) {
      if (e != EOF) std::ungetc(e, fp);
      return Scan::Mismatch;
    }
    std::ungetc(e, fp);
    TakeDigits(fp, false, tok);
  } else if (d != EOF) {
    std::ungetc(d, fp);
  }
  char* end = nullptr;
  const double v = std::strtod(tok.c_str(), &end);
  if (end != tok.c_str() + tok.size()) return Scan::Mismatch;
  if (std::isinf(v)) return Scan::Range;
  *value = v;
  return Scan::Ok;
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
  std::fprintf(fp, "Matrix: %u by %u @ 0x%llx\n", A->m, A->n, AddressBits(A));
  int r = std::fprintf(fp, "\tmax_m = %u, max_n = %u, max_size = %u\n", A->max_m, A->max_n, A->max_size);
  if (A->me == nullptr) return std::fputs("NULL\n", fp);
  std::fprintf(fp, "a->me @ 0x%llx\n", AddressBits(A->me));
  r = std::fprintf(fp, "a->base @ 0x%llx\n", AddressBits(A->base));
  for (unsigned i = 0; i < A->m; ++i) {
    std::fprintf(fp, "row %u: @ 0x%llx ", i, AddressBits(A->me[i]));
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
  int r = std::fprintf(fp, "Vector: dim: %u @ 0x%llx\n", x->dim, AddressBits(x));
  if (x->ve == nullptr) return std::fputs("NULL\n", fp);
  r = std::fprintf(fp, "x->ve @ 0x%llx\n", AddressBits(x->ve));
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
  std::fprintf(fp, "Permutation: size: %u @ 0x%llx\n", px->size, AddressBits(px));
  if (px->pe == nullptr) return std::fputs("NULL\n", fp);
  std::fprintf(fp, "px->pe @ 0x%llx\n", AddressBits(px->pe));
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
  std::vector<double> vals;
  for (long long i = 0; i < m; ++i) {
    skipjunk(fp);
    long long label = 0;
    s = kvlm::ScanLiteral(fp, " row");
    if (s == Scan::Ok) s = kvlm::ScanInteger(fp, &label);
    if (s != Scan::Ok) LM_FAIL(op, 6, nullptr);
    kvlm::ScanLiteral(fp, ":");  // as the formatted input, a missing colon is let through
    for (long long j = 0; j < n; ++j) {
      double v = 0.0;
      s = kvlm::ScanDouble(fp, &v);
      if (s != Scan::Ok) LM_FAIL(op, s == Scan::End ? 7 : 6, nullptr);
      if (!kvlm::KeepValue(vals, v)) LM_FAIL(op, 3, nullptr);
    }
  }
  // The whole form is in: a given matrix takes the heading's shape, as a new one does
  // (smaller, it is grown so that no value lands past its rows; larger, it is cut down, so
  // that its sizes tell the caller which values were read).
  const unsigned want_m = m > 0 ? static_cast<unsigned>(m) : 1u;
  const unsigned want_n = n > 0 ? static_cast<unsigned>(n) : 1u;
  MAT* res = A;
  if (res == nullptr || res->m != want_m || res->n != want_n) {
    res = _LM_m_resize("_LM_bm_finput", kvlm::lm_context, A, static_cast<int>(m), static_cast<int>(n),
                       callerLine, callerName, op.st());
    LM_CHECK(op, nullptr);
  }
  // An empty heading reads no value into the one row or column the record keeps: it holds 0.
  for (unsigned i = 0; i < res->m; ++i)
    for (unsigned j = 0; j < res->n; ++j)
      res->me[i][j] = vals.empty() ? 0.0 : vals[static_cast<size_t>(i) * res->n + j];
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
  skipjunk(fp);
  // A value that cannot be read is reported and the reading goes on, so that every bad
  // value is named; the vector then comes back as it was handed in (NULL when none was)
  // with the status -1: a partly read form is never installed.
  std::vector<double> vals;
  bool whole = true;
  for (long long i = 0; i < dim; ++i) {
    double v = 0.0;
    const Scan s = kvlm::ScanDouble(fp, &v);
    if (s != Scan::Ok) {
      op.raise(s == Scan::End ? 7 : 6, __LINE__);
      whole = false;
    } else if (whole && !kvlm::KeepValue(vals, v)) {
      LM_FAIL(op, 3, nullptr);
    }
  }
  if (!whole) return op.done(x);
  // A given vector takes the heading's dim, larger or smaller, as the matrix reader does.
  VEC* res = x;
  if (res == nullptr || res->dim != (dim > 0 ? static_cast<unsigned>(dim) : 1u)) {
    res = _LM_v_resize("_LM_bfin_vec", kvlm::lm_context, x, static_cast<int>(dim), callerLine, callerName,
                       op.st());
    LM_CHECK(op, nullptr);
  }
  if (dim == 0) res->ve[0] = 0.0;
  for (size_t i = 0; i < vals.size(); ++i) res->ve[i] = vals[i];
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
  skipjunk(fp);
  std::vector<unsigned> images;
  bool seen[kvlm::kMaxTextSize] = {};
  for (long long k = 0; k < size; ++k) {
    long long index = 0, image = 0;
    Scan s = kvlm::ScanInteger(fp, &index);
    if (s == Scan::Ok) s = kvlm::ScanLiteral(fp, " -> ");
    if (s == Scan::Ok) s = kvlm::ScanInteger(fp, &image);
    if (s != Scan::Ok) LM_FAIL(op, s == Scan::End ? 7 : 6, nullptr);
    if (image < 0 || image >= size || seen[image]) LM_FAIL(op, 2, nullptr);
    seen[image] = true;
    if (!kvlm::KeepValue(images, static_cast<unsigned>(image))) LM_FAIL(op, 3, nullptr);
  }
  // A whole permutation was read: a given one takes the heading's size (a larger one keeping
  // its tail would hold entries that repeat the images read: no permutation at all).
  PERM* res = px;
  if (res == nullptr || res->size != (size > 0 ? static_cast<unsigned>(size) : 1u)) {
    res = _LM_px_resize("_LM_bpx_finput", kvlm::lm_context, px, static_cast<int>(size), callerLine,
                        callerName, op.st());
    LM_CHECK(op, nullptr);
  }
  if (size == 0) res->pe[0] = 0;
  for (size_t k = 0; k < images.size(); ++k) res->pe[k] = images[k];
  return op.done(res);
}

KVELO_API PERM* _LM_px_finput(FILE* fp, PERM* px, int callerLine, const char* callerName,
                              int* status) {
  return _LM_bpx_finput(fp, px, callerLine, callerName, status);
}

}  // extern "C"
