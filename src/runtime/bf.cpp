// bf.cpp: the portable binary values: big-endian integers, reals, bytes, 16-bit text units
// and length-prefixed strings, moved through the descriptor-level block wrappers.
// Argument faults are traced and return -1; short transfers return -1 without a trace.
#include "bf.h"

#include "erreur.h"
#include "kvelosys.h"
#include "platform/plat_file.h"
#include "platform/plat_text.h"
#include "runtime/byteorder.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>

namespace {

const char kSource[] = "src/bf";
const int kChunk = 256;  // values staged per call by the long and 16-bit text forms

int Refuse(int line) {
  fct_Trace("aff_lieu", line, kSource);
  return -1;
}

bool Swapping() { return !kvbyte::HostIsBigEndian(); }

// Writes n > 0 elements of T in file order (big-endian).
template <typename T>
int WriteElems(FILE* f, const T* v, int n) {
  return kvbyte::PutElements(v, n, Swapping(), [f](const void* b, size_t size, int k) {
    return CBF_fwrite64(b, size, k, f);
  });
}

// Reads n > 0 elements of T into v and brings them to host order.
template <typename T>
int ReadElems(FILE* f, T* v, int n) {
  if (kvbyte::GetElements(v, n, [f](void* b, size_t size, int k) { return CBF_fread64(b, size, k, f); }) != 0)
    return -1;
  if (Swapping() && sizeof(T) > 1) kvbyte::ReverseEach<sizeof(T)>(v, n);
  return 0;
}

// Stored length L of elements of unitBytes each: false (nothing allocated) when L is
// negative or exceeds what is left of a regular file.
bool LengthFits(FILE* f, int length, int unitBytes) {
  if (length < 0) return false;
  const long long left = kvplat::RemainingBytes(kvelo_fileno(f));
  return left < 0 || static_cast<long long>(length) * unitBytes <= left;
}

// The length prefix of a stored string of units of unitBytes each: the length (0 for the
// empty string), or -1 when it cannot be read or does not fit.
int ReadLength(FILE* f, int unitBytes) {
  int L = 0;
  if (BF_fread_int(f, &L, 1) != 0) return -1;
  if (L != 0 && !LengthFits(f, L, unitBytes)) return -1;
  return L;
}

// Elements a string reader allocates before any of them arrived when no regular file backs
// the stored length (a pipe, a socket): the buffer then grows with what actually comes, so
// that a claimed length of 2^31-1 costs what the stream delivers, not 2 GiB up front.
const int kFirstBlock = 65536;

// Room for the first elements of a stored string of length L (checked by ReadLength): all of
// them when what is left of a regular file backs the length, else one block.
int FirstCapacity(FILE* f, int L) {
  return kvplat::RemainingBytes(kvelo_fileno(f)) >= 0 ? L : std::min(L, kFirstBlock);
}

// Grows the heap array *block of *cap elements of T (plus one for the terminator) so that it
// holds at least need elements, at most limit: doubling, so that a long string is copied only
// a few times. false (block unchanged) when memory runs out.
template <typename T>
bool GrowTo(T** block, int* cap, int need, int limit) {
  if (need <= *cap) return true;
  long long next = std::max<long long>(need, 2LL * *cap);
  if (next > limit) next = limit;
  void* grown = kvelomem_realloc(*block, (static_cast<size_t>(next) + 1) * sizeof(T), "BF_fread_str", 0,
                                 __FILE__, __LINE__);
  if (!grown) return false;
  *block = static_cast<T*>(grown);
  *cap = static_cast<int>(next);
  return true;
}

// Reads units > 0 16-bit units and decodes them into dst (room for units characters); the
// number of characters written, or -1 when the file ends first.
long long ReadUtf16(FILE* f, wchar_t* dst, int units) {
  kvplat::Utf16Decoder decoder;
  uint16_t chunk[kChunk];
  long long w = 0;
  for (int done = 0; done < units;) {
    const int k = std::min(kChunk, units - done);
    if (BF_fread_tchar(f, chunk, k) != 0) return -1;
    for (int i = 0; i < k; ++i) w += decoder.Put(chunk[i], dst + w);
    done += k;
  }
  return w + decoder.Finish(dst + w);
}

// Writes the first chars characters of s (scalar values) as 16-bit units, then zero units up
// to units in all (at least the units of those characters); 0, or -1 at a short write.
int WriteUtf16(FILE* f, const wchar_t* s, long long chars, long long units) {
  uint16_t chunk[kChunk];
  int k = 0;
  long long c = 0;
  for (long long written = 0; written < units;) {
    if (c < chars)
      k += kvplat::Utf16Encode(s[c++], chunk + k);
    else
      chunk[k++] = 0;
    if (k >= kChunk - 1 || written + k == units) {
      if (BF_fwrite_tchar(f, chunk, k) != 0) return -1;
      written += k;
      k = 0;
    }
  }
  return 0;
}

}  // namespace

extern "C" {

int BF_EndianIsCorrect(void) { return kvbyte::HostIsBigEndian() ? 1 : 0; }

#define KVELO_BF_PAIR(name, T)                                        \
  int BF_fwrite_##name(FILE* f, const T* v, int n) {                  \
    if (!f || !v || n <= 0) return Refuse(__LINE__);                  \
    return WriteElems(f, v, n);                                       \
  }                                                                   \
  int BF_fread_##name(FILE* f, T* v, int n) {                         \
    if (!f || !v || n <= 0) return Refuse(__LINE__);                  \
    return ReadElems(f, v, n);                                        \
  }

KVELO_BF_PAIR(int, int)
KVELO_BF_PAIR(hyper, long long)
KVELO_BF_PAIR(float, float)
KVELO_BF_PAIR(double, double)
KVELO_BF_PAIR(char, char)
KVELO_BF_PAIR(tchar, uint16_t)
#undef KVELO_BF_PAIR

int BF_fwrite_long(FILE* f, const long* v, int n) {
  if (!f || !v || n <= 0) return Refuse(__LINE__);
  // A long is 4 bytes in the file: a value it cannot hold is refused, never cut.
  for (int i = 0; i < n; ++i)
    if (v[i] < INT32_MIN || v[i] > INT32_MAX) return Refuse(__LINE__);
  std::int32_t chunk[kChunk];
  for (int done = 0; done < n;) {
    const int k = std::min(kChunk, n - done);
    for (int i = 0; i < k; ++i) chunk[i] = static_cast<std::int32_t>(v[done + i]);
    if (WriteElems(f, chunk, k) != 0) return -1;
    done += k;
  }
  return 0;
}

int BF_fread_long(FILE* f, long* v, int n) {
  if (!f || !v || n <= 0) return Refuse(__LINE__);
  std::int32_t chunk[kChunk];
  for (int done = 0; done < n;) {
    const int k = std::min(kChunk, n - done);
    if (ReadElems(f, chunk, k) != 0) return -1;
    for (int i = 0; i < k; ++i) v[done + i] = chunk[i];
    done += k;
  }
  return 0;
}

int BF_fwrite_str(FILE* f, const char* s) {
  if (!f || !s) return Refuse(__LINE__);
  const size_t len = std::strlen(s);
  if (len == 0 || len > static_cast<size_t>(INT_MAX)) return Refuse(__LINE__);
  const int L = static_cast<int>(len);
  if (BF_fwrite_int(f, &L, 1) != 0) return -1;
  return BF_fwrite_char(f, s, L) != 0 ? -1 : 0;
}

int BF_fread_str(FILE* f, char** out) {
  if (!f || !out) return Refuse(__LINE__);
  *out = nullptr;
  const int L = ReadLength(f, 1);
  if (L <= 0) return L;
  int cap = FirstCapacity(f, L);
  char* s = static_cast<char*>(kvelomem_malloc(static_cast<size_t>(cap) + 1, "BF_fread_str", 0, __FILE__, __LINE__));
  if (!s) return -1;
  *out = s;
  s[0] = '\0';
  for (int got = 0; got < L;) {
    if (!GrowTo(&s, &cap, got + 1, L)) return -1;  // *out keeps what came
    *out = s;
    const int k = cap - got;
    const size_t moved = CBF_fread64(s + got, 1, k, f);
    // A failure with nothing moved comes back as a count that is never below k.
    got += moved <= static_cast<size_t>(k) ? static_cast<int>(moved) : 0;
    s[got] = '\0';
    if (moved != static_cast<size_t>(k)) return -1;  // short read: *out holds what was read
  }
  return 0;
}

int BF_fwrite_tstr(FILE* f, const wchar_t* s) {
  if (!f || !s) return Refuse(__LINE__);
  const long long units = kvplat::Utf16Length(s, -1);
  if (units <= 0 || units > INT_MAX) return Refuse(__LINE__);
  const int L = static_cast<int>(units);
  if (BF_fwrite_int(f, &L, 1) != 0) return -1;
  return WriteUtf16(f, s, static_cast<long long>(std::wcslen(s)), L);
}

int BF_fread_tstr(FILE* f, wchar_t** out) {
  if (!f || !out) return Refuse(__LINE__);
  *out = nullptr;
  const int L = ReadLength(f, 2);
  if (L <= 0) return L;
  // L units decode into at most L characters, and the first n units into at most n: the
  // buffer grows with the units that arrive.
  int cap = FirstCapacity(f, L);
  wchar_t* s = static_cast<wchar_t*>(
      kvelomem_malloc((static_cast<size_t>(cap) + 1) * sizeof(wchar_t), "BF_fread_str", 0, __FILE__, __LINE__));
  if (!s) return -1;
  *out = s;
  s[0] = L'\0';
  kvplat::Utf16Decoder decoder;
  uint16_t chunk[kChunk];
  int w = 0;
  for (int done = 0; done < L;) {
    const int k = std::min(kChunk, L - done);
    if (!GrowTo(&s, &cap, done + k, L)) return -1;
    *out = s;
    if (BF_fread_tchar(f, chunk, k) != 0) return -1;  // *out holds what was decoded so far
    for (int i = 0; i < k; ++i) w += decoder.Put(chunk[i], s + w);
    s[w] = L'\0';
    done += k;
  }
  w += decoder.Finish(s + w);
  s[w] = L'\0';
  // Only a text of characters is a tstr value: a zero unit would end the string early, and a
  // lone surrogate is no character (the writer refuses both), so neither is handed back.
  bool text = true;
  for (int i = 0; i < w && text; ++i) {
    const unsigned long c = static_cast<unsigned long>(s[i]);
    text = c != 0 && !(c >= 0xD800ul && c <= 0xDFFFul);
  }
  if (!text) {
    kvelomem_free(s, __FILE__, __LINE__);
    *out = nullptr;
    return -1;
  }
  return 0;
}

int BF_fwrite_multiplatform_char(FILE* f, const wchar_t* s, int n) {
  const int width = 2;
  if (BF_fwrite_int(f, &width, 1) != 0) return -1;
  if (!s || n <= 0) return Refuse(__LINE__);
  // The field is n units whatever the text: refuse text that needs more, pad the rest.
  int chars = 0;
  long long units = 0;
  for (; chars < n && s[chars]; ++chars) {
    uint16_t u[2];
    const int k = kvplat::Utf16Encode(s[chars], u);
    if (k == 0 || units + k > n) return Refuse(__LINE__);
    units += k;
  }
  return WriteUtf16(f, s, chars, n);
}

int BF_fread_multiplatform_char(FILE* f, wchar_t* dst, int n) {
  int width = 0;
  if (BF_fread_int(f, &width, 1) != 0) return -1;
  if (width != 2) return Refuse(__LINE__);  // only 16-bit units are written by any writer
  if (!dst || n <= 0) return Refuse(__LINE__);
  long long w = ReadUtf16(f, dst, n);
  if (w < 0) return -1;
  // The writer puts characters up to the text's end and zeros after them: a lone surrogate (no
  // character) or a character after a zero is a field it never writes, and the text read would
  // write back as another field.
  bool ended = false;
  for (long long i = 0; i < w; ++i) {
    const unsigned long c = static_cast<unsigned long>(dst[i]);
    if ((c >= 0xD800ul && c <= 0xDFFFul) || (ended && c != 0)) return Refuse(__LINE__);
    ended = ended || c == 0;
  }
  for (; w < n; ++w) dst[w] = L'\0';
  return 0;
}

}  // extern "C"
