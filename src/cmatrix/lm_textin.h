// lm_textin.h: the scanning primitives of the C matrix library's text readers. They parse
// the printed layouts the way the C formatted-input functions would, but tell a mismatch
// from the end of the input and never convert a number that does not fit.
#ifndef KVELO_CMATRIX_LM_TEXTIN_H
#define KVELO_CMATRIX_LM_TEXTIN_H

#include <cstdio>

namespace kvlm {

// Largest size a text heading may announce.
constexpr long long kMaxTextSize = 2001;

enum class Scan { Ok, Mismatch, End };

// Matches lit character by character; a blank in lit matches any white space (also none).
// A mismatching character is pushed back.
Scan ScanLiteral(std::FILE* fp, const char* lit);
// A decimal integer after optional white space and sign (as "%d"/"%u" read it); values
// beyond +-1e18 saturate. The character after the digits is pushed back.
Scan ScanInteger(std::FILE* fp, long long* value);
// A double as "%lf" reads it.
Scan ScanDouble(std::FILE* fp, double* value);

}  // namespace kvlm

#endif
