// plat_text.cpp: UTF-8, UTF-16 and wide-character conversions used for file names,
// environment values and the 16-bit text of portable binary files.
#include "platform/plat_text.h"

#include <cerrno>
#include <new>

namespace kvplat {

static_assert(sizeof(wchar_t) == 4, "wide characters are expected to hold a whole code point");

long long Utf8ToWide(const char* s, wchar_t* out) {
  if (!s) return -1;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
  long long n = 0;
  while (*p) {
    std::uint32_t c = *p;
    int extra;
    std::uint32_t minimum;
    if (c < 0x80) {
      extra = 0;
      minimum = 0;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      c &= 0x1F;
      minimum = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      c &= 0x0F;
      minimum = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      c &= 0x07;
      minimum = 0x10000;
    } else {
      return -1;
    }
    ++p;
    for (int i = 0; i < extra; ++i, ++p) {
      if ((*p & 0xC0) != 0x80) return -1;  // also stops at the terminator
      c = (c << 6) | (*p & 0x3Fu);
    }
    if (c < minimum || !IsScalarValue(c)) return -1;
    if (out) out[n] = static_cast<wchar_t>(c);
    ++n;
  }
  return n;
}

long long WideToUtf8(const wchar_t* s, char* out) {
  if (!s) return -1;
  long long n = 0;
  for (; *s; ++s) {
    const std::uint32_t c = static_cast<std::uint32_t>(*s);
    if (!IsScalarValue(c)) return -1;
    unsigned char b[4];
    int len;
    if (c < 0x80) {
      b[0] = static_cast<unsigned char>(c);
      len = 1;
    } else if (c < 0x800) {
      b[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
      b[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      len = 2;
    } else if (c < 0x10000) {
      b[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
      b[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      b[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      len = 3;
    } else {
      b[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
      b[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
      b[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      b[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      len = 4;
    }
    if (out)
      for (int i = 0; i < len; ++i) out[n + i] = static_cast<char>(b[i]);
    n += len;
  }
  return n;
}

// A counting pass of convert sizes out, a second pass fills it: false (out empty) when the
// input is refused or the string cannot be had.
template <typename In, typename Str>
static bool ConvertInto(const In* s, Str& out, long long (*convert)(const In*, typename Str::value_type*)) {
  out.clear();
  const long long n = convert(s, nullptr);
  if (n < 0) return false;
  try {
    out.resize(static_cast<size_t>(n));
  } catch (const std::bad_alloc&) {
    return false;
  }
  convert(s, &out[0]);
  return true;
}

bool ToWide(const char* s, std::wstring& out) { return ConvertInto(s, out, Utf8ToWide); }

bool ToUtf8(const wchar_t* s, std::string& out) { return ConvertInto(s, out, WideToUtf8); }

bool NarrowName(const wchar_t* name, std::string& out) {
  if (!name) {
    out.clear();
    errno = EINVAL;
    return false;
  }
  if (ToUtf8(name, out)) return true;
  errno = EILSEQ;
  return false;
}

int Utf16Encode(wchar_t c, std::uint16_t out[2]) {
  const std::uint32_t v = static_cast<std::uint32_t>(c);
  if (!IsScalarValue(v)) return 0;
  if (v < 0x10000u) {
    out[0] = static_cast<std::uint16_t>(v);
    return 1;
  }
  const std::uint32_t w = v - 0x10000u;
  out[0] = static_cast<std::uint16_t>(0xD800u | (w >> 10));
  out[1] = static_cast<std::uint16_t>(0xDC00u | (w & 0x3FFu));
  return 2;
}

long long Utf16Length(const wchar_t* s, long long n) {
  if (!s) return -1;
  long long units = 0;
  for (long long i = 0; n < 0 ? s[i] != 0 : i < n; ++i) {
    const std::uint32_t v = static_cast<std::uint32_t>(s[i]);
    if (!IsScalarValue(v)) return -1;
    units += v < 0x10000u ? 1 : 2;
  }
  return units;
}

int Utf16Decoder::Put(std::uint16_t unit, wchar_t out[2]) {
  int k = 0;
  if (m_high) {
    if (unit >= 0xDC00u && unit <= 0xDFFFu) {
      const std::uint32_t c = 0x10000u + ((static_cast<std::uint32_t>(m_high) - 0xD800u) << 10) +
                              (static_cast<std::uint32_t>(unit) - 0xDC00u);
      m_high = 0;
      out[0] = static_cast<wchar_t>(c);
      return 1;
    }
    out[k++] = static_cast<wchar_t>(m_high);
    m_high = 0;
  }
  if (unit >= 0xD800u && unit <= 0xDBFFu) {
    m_high = unit;
    return k;
  }
  out[k++] = static_cast<wchar_t>(unit);
  return k;
}

int Utf16Decoder::Finish(wchar_t out[1]) {
  if (!m_high) return 0;
  out[0] = static_cast<wchar_t>(m_high);
  m_high = 0;
  return 1;
}

}  // namespace kvplat
