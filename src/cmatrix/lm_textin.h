// lm_textin.h: the scanning primitives of the C matrix library's text readers. They parse
// the printed layouts the way the C formatted-input functions would, but tell a mismatch
// from the end of the input and never convert a number that does not fit: such a number is
// refused, never wrapped or saturated into another value.
#ifndef KVELO_CMATRIX_LM_TEXTIN_H
#define KVELO_CMATRIX_LM_TEXTIN_H

#include <cstdio>
#include <new>
#include <vector>

namespace kvlm {

// Largest size a text heading may announce.
constexpr long long kMaxTextSize = 2001;

// Range: the text is a well-formed number beyond what the target type holds; its digits
// are consumed. Readers report it as a bad value (code 6), as they do a Mismatch.
enum class Scan { Ok, Mismatch, End, Range };

// Matches lit character by character; a blank in lit matches any white space (also none).
// A mismatching character is pushed back.
Scan ScanLiteral(std::FILE* fp, const char* lit);
// A decimal integer after optional white space and sign (as "%d"/"%u" read it). A value
// outside the range of long long gives Range. The character after the digits is pushed
// back; *value is written only on Ok.
Scan ScanInteger(std::FILE* fp, long long* value);
// A double as "%lf" reads it (decimal or hexadecimal, "inf", "infinity", "nan"). Finite
// text whose value lies beyond the largest double gives Range (a value below the smallest
// one rounds to a subnormal or zero, as the printed subnormals must read back). *value is
// written only on Ok.
Scan ScanDouble(std::FILE* fp, double* value);

// The heading of a vector or permutation form: junk skipped, then lit and a size. Returns
// 0 when the size is read and within 0 .. kMaxTextSize, else the reader's error code: 7 at
// the end of the input, 6 for a mismatch or a size out of range.
int ScanSizeHeading(std::FILE* fp, const char* lit, long long* size);

// The readers gather a form's values in scratch storage that grows as they arrive (never
// from the count a heading claims) and size and fill the caller's record only once the whole
// form has been read and checked: a refused form leaves that record as it was. Appends v;
// false when memory runs out.
template <class T>
bool KeepValue(std::vector<T>& vals, T v) noexcept {
  try {
    vals.push_back(v);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace kvlm

#endif
