// plat_text.h: conversions between the library's narrow text (UTF-8), its in-memory wide
// text (wchar_t, one Unicode scalar value per element) and 16-bit units on disk (UTF-16).
// Invalid input is refused, never replaced: callers turn a refusal into their error result.
#ifndef KVELO_PLAT_TEXT_H
#define KVELO_PLAT_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace kvplat {

// true when c is a Unicode scalar value (not a surrogate, at most U+10FFFF).
inline bool IsScalarValue(std::uint32_t c) { return c <= 0x10FFFFu && (c < 0xD800u || c > 0xDFFFu); }

// Decodes the UTF-8 string s into out (when out is not null), without terminator; returns the
// number of wide characters, or -1 when s is null or not valid UTF-8 (overlong forms,
// surrogates, values above U+10FFFF and cut sequences are invalid).
long long Utf8ToWide(const char* s, wchar_t* out);
// Encodes the wide string s as UTF-8 into out (when out is not null), without terminator;
// returns the number of bytes, or -1 when s is null or holds a value that is not a scalar value.
long long WideToUtf8(const wchar_t* s, char* out);

// std::string forms of the two conversions; false on invalid or null input, or when memory
// runs out (out then empty). They never throw.
bool ToWide(const char* s, std::wstring& out);
bool ToUtf8(const wchar_t* s, std::string& out);
// UTF-8 form of a wide file or variable name for a system call: false with errno EINVAL for a
// null name, EILSEQ for one that is not valid text (out then empty).
bool NarrowName(const wchar_t* name, std::string& out);

// UTF-16 units of one wide character: 1 or 2 units in out, or 0 when c is not a scalar value.
int Utf16Encode(wchar_t c, std::uint16_t out[2]);
// Number of UTF-16 units of the first n characters of s (n < 0: up to the terminator);
// -1 when one of them is not a scalar value or s is null.
long long Utf16Length(const wchar_t* s, long long n);

// Turns a stream of UTF-16 units into wide characters. A high surrogate waits for its low
// partner; a lone surrogate is kept as its own value so that nothing read is lost.
class Utf16Decoder {
 public:
  // Feeds one unit; writes 0, 1 or 2 characters to out and returns their number.
  int Put(std::uint16_t unit, wchar_t out[2]);
  // Ends the stream: writes a pending lone high surrogate (0 or 1 characters).
  int Finish(wchar_t out[1]);

 private:
  std::uint16_t m_high = 0;
};

}  // namespace kvplat
#endif
