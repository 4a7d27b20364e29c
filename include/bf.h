/* bf.h: portable binary values. A file is a sequence of plain values, big-endian, with no
 * header, padding or type tags, read back in the order it was written. Values move through
 * CBF_fwrite64/CBF_fread64, i.e. on the stream's descriptor, bypassing the stream's buffer.
 * Every function returns 0 on success and -1 on failure; bad arguments are also marked with
 * fct_Trace("aff_lieu", line, "src/bf"); short reads and writes are not traced. A short write
 * leaves what was written in the file; a short read of elements leaves in the caller's array
 * the bytes that arrived, as they are in the file (not brought to host order): no values to
 * use (the string readers below say what they hand back). */
#ifndef KVELO_BF_H
#define KVELO_BF_H

#include "kvelo_export.h"

#include <stdint.h>
#include <stdio.h>
#include <wchar.h>

KVELO_C_BEGIN

/* 1 when the host's byte order is the file's (big-endian host), else 0. */
KVELO_API int BF_EndianIsCorrect(void);

/* Writers of n elements (n > 0, f and v not null): int 4 bytes, long 4 bytes (a value outside
 * 32 bits is refused before anything is written), hyper 8, float 4, double 8, char 1,
 * tchar one 16-bit unit. */
KVELO_API int BF_fwrite_int(FILE* f, const int* v, int n);
KVELO_API int BF_fwrite_long(FILE* f, const long* v, int n);
KVELO_API int BF_fwrite_hyper(FILE* f, const long long* v, int n);
KVELO_API int BF_fwrite_float(FILE* f, const float* v, int n);
KVELO_API int BF_fwrite_double(FILE* f, const double* v, int n);
KVELO_API int BF_fwrite_char(FILE* f, const char* v, int n);
KVELO_API int BF_fwrite_tchar(FILE* f, const uint16_t* v, int n);

/* Readers of n elements into v (n > 0, f and v not null); a file that ends first gives -1.
 * BF_fread_long sign-extends the 4 bytes read. */
KVELO_API int BF_fread_int(FILE* f, int* v, int n);
KVELO_API int BF_fread_long(FILE* f, long* v, int n);
KVELO_API int BF_fread_hyper(FILE* f, long long* v, int n);
KVELO_API int BF_fread_float(FILE* f, float* v, int n);
KVELO_API int BF_fread_double(FILE* f, double* v, int n);
KVELO_API int BF_fread_char(FILE* f, char* v, int n);
KVELO_API int BF_fread_tchar(FILE* f, uint16_t* v, int n);

/* Writes the int length strlen(s) then the bytes, no terminator; an empty or null s is
 * refused. */
KVELO_API int BF_fwrite_str(FILE* f, const char* s);
/* Reads a str value into a new heap string *out (free with kvelomem_free). A stored length of
 * 0 gives *out null and 0; a negative length, or one longer than what is left of a regular
 * file, gives *out null and -1. A text holding a zero byte comes back whole (its L bytes and a
 * terminator), so that as a C string it ends at that byte: the message database stores its
 * pieces so, while named records (entities, profiling blocks) refuse such a name. On a stream that is not a regular file (a pipe) the string
 * grows with the bytes that arrive, never with the length merely claimed. After a short read
 * (or when memory runs out part way) *out holds what was read and -1. */
KVELO_API int BF_fread_str(FILE* f, char** out);
/* Writes s as UTF-16: the int length in 16-bit units (a character above U+FFFF takes two),
 * then the units. An empty or null s, or one holding a non-character value, is refused. */
KVELO_API int BF_fwrite_tstr(FILE* f, const wchar_t* s);
/* Reads a tstr value into a new heap wide string *out (free with kvelomem_free); surrogate
 * pairs become one character. Lengths, growth and short reads as for BF_fread_str; a text
 * holding a zero unit or a lone surrogate (which BF_fwrite_tstr refuses) gives *out null and
 * -1. */
KVELO_API int BF_fread_tstr(FILE* f, wchar_t** out);
/* Writes the width 2 as an int, then a field of exactly n 16-bit units holding s in UTF-16
 * up to its terminator, padded with zero units. Fails (after the width) for a null s, n <= 0
 * or when s does not fit in n units. */
KVELO_API int BF_fwrite_multiplatform_char(FILE* f, const wchar_t* s, int n);
/* Reads the width, then n 16-bit units decoded into dst (room for n wide characters); the
 * rest of dst after the decoded characters is zero-filled. A width other than 2 is refused
 * (dst untouched); a file that ends within the units gives -1, dst then holding the
 * characters decoded from the units that arrived, the rest of it untouched; so does a field
 * that no writer writes (a lone surrogate, or a character after a zero unit), dst then holding
 * the decoded units. */
KVELO_API int BF_fread_multiplatform_char(FILE* f, wchar_t* dst, int n);

KVELO_C_END

#endif
