// chaine.cpp: useful lines of text files, path parts of wide names, free file names and
// the keyword files (read a keyword's integer or yes/no value, rewrite its line).
// A line is a line whatever its length; keyword files are rewritten whole through
// "<name>.tmp", renamed over the original. The searches, and the path parts written into a
// caller's buffer, take no memory, so that they have no failure that could pass for a result.
#include "chaine.h"

#include "kvelosys.h"
#include "platform/plat_file.h"
#include "runtime/int_text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>

namespace {

const int kLine = 256;          // caller line buffers
const int kPiece = kLine - 1;   // characters one read puts in them

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// The part of a path that a path operation gives: `length` characters from `begin`.
struct PathSpan {
  size_t begin;
  size_t length;
};

// Result of a path operation: copied into out when given (out may be path itself: the part
// only moves towards the start), which takes no memory; else a heap copy, null with errno
// ENOMEM when there is no memory for it.
wchar_t* Deliver(const wchar_t* path, PathSpan part, wchar_t* out) {
  if (out) {
    std::wmemmove(out, path + part.begin, part.length);
    out[part.length] = L'\0';
    return out;
  }
  wchar_t* copy = static_cast<wchar_t*>(
      kvelomem_malloc((part.length + 1) * sizeof(wchar_t), "chaine", 0, __FILE__, __LINE__));
  if (!copy) {
    errno = ENOMEM;
    return nullptr;
  }
  std::wmemcpy(copy, path + part.begin, part.length);
  copy[part.length] = L'\0';
  return copy;
}

// Position of the last c among the first n characters of path, or npos.
size_t LastOf(const wchar_t* path, size_t n, wchar_t c) {
  for (size_t i = n; i > 0; --i)
    if (path[i - 1] == c) return i - 1;
  return std::wstring::npos;
}

// Position of the '.' that starts the extension of the last component of the n characters
// at path, or npos.
size_t ExtensionDot(const wchar_t* path, size_t n) {
  size_t start = 0;
  for (size_t i = 0; i < n; ++i)
    if (IsSeparator(path[i])) start = i + 1;
  const size_t dot = LastOf(path, n, L'.');
  if (dot == std::wstring::npos || dot <= start) return std::wstring::npos;
  return dot;
}

// ---- lines of any length ----
//
// A caller's buffer holds 255 characters, but a line is a line whatever its length: a line
// longer than that is read on to its end, and what follows the first 255 characters is never
// taken for a line of its own. Otherwise the tail of a long comment would be read as a setting,
// and a rewrite would cut the comment in two.

// Reads the next characters of the current line of f into dst, at most cap, stopping after a
// newline: the count read. *ended once the line is over (its newline read, or the file ended).
// Characters are taken one by one, so that a zero byte in the text is counted like any other.
int ReadPiece(FILE* f, char* dst, int cap, bool* ended) {
  int n = 0;
  *ended = false;
  while (n < cap) {
    const int c = std::getc(f);
    if (c == EOF) {
      *ended = true;
      break;
    }
    dst[n++] = static_cast<char>(c);
    if (c == '\n') {
      *ended = true;
      break;
    }
  }
  return n;
}

// Whether a line is useful, decided on the whole line as its characters arrive: the rule of
// ligne_utile (first character neither '\n' nor '#'; as a C string, not its leading spaces and
// one more character).
class LineKind {
 public:
  void Add(const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i, ++m_length) {
      const char c = s[i];
      if (m_length == 0) m_comment = (c == '\n' || c == '#');
      if (m_leading) {
        if (c == ' ')
          ++m_spaces;
        else
          m_leading = false;
      }
      if (m_textLength < 0 && c == '\0') m_textLength = m_length;
    }
  }
  // Known from the first character: a comment or an empty line.
  bool Comment() const { return m_comment; }
  bool Useful() const {
    const long long text = m_textLength < 0 ? m_length : m_textLength;
    return !m_comment && text != m_spaces + 1;
  }

 private:
  long long m_length = 0;
  long long m_spaces = 0;
  long long m_textLength = -1;  // position of the first zero byte, if any
  bool m_leading = true;
  bool m_comment = false;
};

bool WordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The first place of keyword (length klen) in the n bytes at s where it stands as a word of its
// own, or null: a keyword that begins (ends) with a letter, digit or '_' is not taken where one
// comes before (after) it, so that NB is not found inside NBMAX, and rewriting the setting NB
// never replaces the line of NBMAX. A neighbour outside the n bytes (a line longer than the
// buffer, read in pieces) is taken as a boundary. A keyword that no buffer can hold (longer
// than 255 characters) is never found.
const char* FindKeyword(const char* s, size_t n, const char* keyword, size_t klen) {
  // An empty keyword names no setting: it is found nowhere (it would otherwise match every
  // line, and a rewrite would replace them all).
  if (klen == 0 || klen > static_cast<size_t>(kPiece)) return nullptr;
  const char* end = s + n;
  for (const char* from = s;; ++from) {
    const char* at = std::search(from, end, keyword, keyword + klen);
    if (at == end) return nullptr;
    const bool before = at > s && WordChar(keyword[0]) && WordChar(at[-1]);
    const bool after = at + klen < end && WordChar(keyword[klen - 1]) && WordChar(at[klen]);
    if (!before && !after) return at;
    from = at;
  }
}
char* FindKeyword(char* s, int n, const char* keyword, size_t klen) {
  return const_cast<char*>(
      FindKeyword(static_cast<const char*>(s), static_cast<size_t>(n), keyword, klen));
}

// What the value readers take from the text after a keyword that starts a line, kept in a few
// bytes however long the line is, so that no search needs memory: the white space before the
// value is skipped, then its first characters are kept, with a run of leading zeros kept as
// one zero and the digits cut after 12 (12 digits without a leading zero are beyond int
// whatever follows, so ReadIntText refuses the cut run as it refuses the whole one). A zero
// byte ends the text, as the end of a C string does.
class ValueHead {
 public:
  void Add(const char* s, size_t n) {
    for (size_t i = 0; i < n && m_state != kDone; ++i) Take(s[i]);
  }
  // The kept text, terminated; empty when nothing but white space followed the keyword.
  const char* Text() const { return m_text; }

 private:
  enum State { kSpace, kSign, kZeros, kDigits, kDone };
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  void Keep(char c) { m_text[m_length++] = c; }
  void Take(char c) {
    if (c == '\0') {
      m_state = kDone;
      return;
    }
    switch (m_state) {
      case kSpace:
        if (std::isspace(static_cast<unsigned char>(c))) return;
        Keep(c);
        m_state = (c == '+' || c == '-') ? kSign : c == '0' ? kZeros : IsDigit(c) ? Digit() : kDone;
        return;
      case kSign:
        Keep(c);
        m_state = c == '0' ? kZeros : IsDigit(c) ? Digit() : kDone;
        return;
      case kZeros:
        if (c == '0') return;
        if (!IsDigit(c)) {
          m_state = kDone;
          return;
        }
        Keep(c);
        m_state = Digit();
        return;
      case kDigits:
        if (!IsDigit(c) || m_digits == kMaxDigits) {
          m_state = kDone;
          return;
        }
        Keep(c);
        m_state = Digit();
        return;
      case kDone:
        return;
    }
  }
  // Counts a significant digit just kept.
  State Digit() {
    ++m_digits;
    return kDigits;
  }

  static const int kMaxDigits = 12;
  char m_text[kMaxDigits + 4] = {};  // sign, one zero, the digits, the terminator
  int m_length = 0;
  int m_digits = 0;
  State m_state = kSpace;
};

// One line of a text file as the search functions see it.
struct LineScan {
  bool useful = false;
  char* at = nullptr;          // the keyword inside the caller's buffer (useful or not)
  bool atLineStart = false;    // the line begins with the keyword
  ValueHead value;             // what follows the keyword, when the line begins with it
};

// Reads the next line of f whole. The caller's buffer (256 bytes) receives its first 255
// characters; when a keyword is given and the line could be useful, the search runs over the
// whole line, the buffer then holding the run of the line in which the keyword was found first
// (runs overlap by the keyword's length less one, so that a keyword is seen wherever it lies).
// With keepValue, what follows the keyword in a line that begins with it is fed to out.value.
// False, the buffer untouched, at the end of the file.
bool NextLine(FILE* f, char* buf, const char* keyword, bool keepValue, LineScan& out) {
  out = LineScan();
  bool ended = false;
  int n = ReadPiece(f, buf, kPiece, &ended);
  if (n == 0) return false;
  buf[n] = '\0';
  LineKind kind;
  kind.Add(buf, static_cast<size_t>(n));
  const size_t klen = keyword ? std::strlen(keyword) : 0;
  // An empty keyword is found nowhere: there is nothing to search for.
  bool searching = keyword != nullptr && klen > 0 && !kind.Comment();
  if (searching) {
    out.at = FindKeyword(buf, n, keyword, klen);
    if (out.at) {
      searching = false;
      out.atLineStart = (out.at == buf);
      if (keepValue && out.atLineStart) out.value.Add(buf + klen, static_cast<size_t>(n) - klen);
    }
    if (klen > static_cast<size_t>(kPiece)) searching = false;
  }
  // The rest of the line: searched on in the buffer while the keyword is not found, else read
  // through a scratch area (fed to the value when it is wanted).
  char scratch[kLine];
  while (!ended) {
    if (searching) {
      const int carry = static_cast<int>(klen) - 1;  // 0 to 254: the read below moves on
      std::memmove(buf, buf + n - carry, static_cast<size_t>(carry));
      const int m = ReadPiece(f, buf + carry, kPiece - carry, &ended);
      kind.Add(buf + carry, static_cast<size_t>(m));
      n = carry + m;
      buf[n] = '\0';
      out.at = FindKeyword(buf, n, keyword, klen);
      if (out.at) searching = false;
    } else {
      const int m = ReadPiece(f, scratch, kPiece, &ended);
      kind.Add(scratch, static_cast<size_t>(m));
      if (keepValue && out.atLineStart) out.value.Add(scratch, static_cast<size_t>(m));
    }
  }
  out.useful = kind.Useful();
  return true;
}

// The next useful line containing keyword, as cherche_mot_cle finds it; null at the end. With
// keepValue, only a setting of keyword counts: a line that begins with it. A line that merely
// mentions the keyword (another setting's value, say) is passed over, as the rewrite leaves it.
char* FindKeywordLine(FILE* f, const char* keyword, char* line, bool keepValue, LineScan& scan) {
  while (NextLine(f, line, keyword, keepValue, scan)) {
    if (scan.useful && scan.at && (!keepValue || scan.atLineStart)) return scan.at;
  }
  return nullptr;
}

// The head of the value after the keyword of a line that begins with it (white space skipped);
// null when the line does not begin with the keyword.
const char* ValueText(const LineScan& scan) {
  if (!scan.atLineStart) return nullptr;
  return scan.value.Text();
}

// The next whole line of f, its newline included, into line; false at the end of the file.
bool ReadWholeLine(FILE* f, std::string& line) {
  line.clear();
  int c;
  while ((c = std::getc(f)) != EOF) {
    line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !line.empty();
}

// Whether a whole line is a setting of keyword, which a rewrite replaces: useful, and beginning
// with the keyword as a word (the lines the value readers take).
bool IsKeywordLine(const std::string& line, const char* keyword) {
  const size_t klen = std::strlen(keyword);
  if (klen > static_cast<size_t>(kPiece)) return false;
  LineKind kind;
  kind.Add(line.data(), line.size());
  if (!kind.Useful()) return false;
  return FindKeyword(line.data(), line.size(), keyword, klen) == line.data();
}

}  // namespace

extern "C" {

int ligne_utile(const char* line) {
  if (!line) return 0;
  if (line[0] == '\n' || line[0] == '#') return 0;
  size_t spaces = 0;
  while (line[spaces] == ' ') ++spaces;
  return std::strlen(line) == spaces + 1 ? 0 : 1;
}

int ligne_suivante(char* buf, FILE* f) {
  if (!buf || !f) return 0;
  LineScan scan;
  while (NextLine(f, buf, nullptr, false, scan)) {
    if (scan.useful) return 1;
  }
  buf[0] = '\0';
  return 0;
}

wchar_t* extraire_fichier(const wchar_t* path, wchar_t* out) {
  if (!path) return nullptr;
  const size_t n = std::wcslen(path);
  size_t cut = LastOf(path, n, L'/');
  if (cut == std::wstring::npos) cut = LastOf(path, n, L'\\');
  const size_t begin = cut == std::wstring::npos ? 0 : cut + 1;
  return Deliver(path, PathSpan{begin, n - begin}, out);
}

wchar_t* extraire_repertoire(const wchar_t* path, wchar_t* out) {
  if (!path) return nullptr;
  if (!std::wcspbrk(path, L"/\\")) {
    // No directory part: the one null that is no failure (errno is left alone).
    if (out) out[0] = L'\0';
    return nullptr;
  }
  size_t end = std::wcslen(path);
  size_t cut = LastOf(path, end, L'/');
  if (cut != std::wstring::npos) end = cut;
  cut = LastOf(path, end, L'\\');
  if (cut != std::wstring::npos) end = cut;
  return Deliver(path, PathSpan{0, end}, out);
}

wchar_t* enleve_extension(const wchar_t* path, wchar_t* out) {
  if (!path) return nullptr;
  const size_t n = std::wcslen(path);
  const size_t dot = ExtensionDot(path, n);
  return Deliver(path, PathSpan{0, dot == std::wstring::npos ? n : dot}, out);
}

wchar_t* kvelo_nom_libre(const wchar_t* name) {
  if (!name) return nullptr;
  try {
    const std::wstring given(name);
    const size_t dot = ExtensionDot(given.c_str(), given.size());
    const std::wstring base = dot == std::wstring::npos ? given : given.substr(0, dot);
    const std::wstring ext = dot == std::wstring::npos ? std::wstring() : given.substr(dot);
    std::wstring candidate = given;
    // Each candidate comes from the given name, never from the previous candidate.
    for (unsigned long long i = 1; kvelo_file_exist(candidate.c_str()); ++i)
      candidate = base + L"_" + std::to_wstring(i) + ext;
    return Deliver(candidate.c_str(), PathSpan{0, candidate.size()}, nullptr);
  } catch (...) {
    errno = ENOMEM;
    return nullptr;
  }
}

int cadena_con_blanco(const char* s) {
  if (!s) return 0;
  // Read in place: the text up to its trailing white space, which needs no copy.
  size_t n = std::strlen(s);
  while (n > 0 && std::isspace(static_cast<unsigned char>(s[n - 1]))) --n;
  for (size_t i = 0; i < n; ++i)
    if (std::isspace(static_cast<unsigned char>(s[i]))) return 1;
  return 0;
}

char* cherche_mot_cle(FILE* f, const char* keyword, int* found, char* line) {
  if (found) *found = 0;
  if (!f || !keyword || !found || !line) return nullptr;
  LineScan scan;
  char* at = FindKeywordLine(f, keyword, line, false, scan);
  if (at) *found = 1;
  return at;
}

int lire_valeur_mot_cle(FILE* f, const char* keyword, int* found, char* line, int* value) {
  if (found) *found = 0;
  if (!f || !keyword || !found || !line || !value) return 0;
  LineScan scan;
  if (!FindKeywordLine(f, keyword, line, true, scan)) return 0;
  *found = 1;
  const char* p = ValueText(scan);
  if (!p) return 0;
  if (!*p) return EOF;
  int v = 0;
  if (!kvrt::ReadIntText(p, v)) return 0;
  *value = v;
  return 1;
}

int lire_valeur_mot_cle_yn(FILE* f, const char* keyword, int* found, char* line, int* yes) {
  if (yes) *yes = 0;
  if (found) *found = 0;
  if (!f || !keyword || !found || !line || !yes) return 0;
  LineScan scan;
  if (!FindKeywordLine(f, keyword, line, true, scan)) return 0;
  *found = 1;
  const char* p = ValueText(scan);
  if (!p) return 0;
  if (!*p) return EOF;
  *yes = (*p == 'O' || *p == 'Y' || *p == 'o' || *p == 'y') ? 1 : 0;
  return 1;
}

int subsitue_mot_cle(const char* path, const char* keyword, int* found, const char* line) {
  if (found) *found = 0;
  if (!path || !keyword || !*keyword || !found || !line) return -1;
  FILE* src = std::fopen(path, "r");
  // Only a missing file is created; one that exists but cannot be read is left alone.
  if (!src && errno != ENOENT) return -1;
  // Every change, also a new file or an appended line, is written whole to "<path>.tmp" and
  // renamed over the keyword file once on disk: a write that fails part way (full disk) never
  // leaves the file cut or ending in half a line.
  std::string tmpName;
  try {
    tmpName = std::string(path) + ".tmp";
  } catch (...) {
    if (src) std::fclose(src);
    return -1;
  }
  kvplat::ReplacingFile out;
  if (!out.Open(path, tmpName.c_str())) {
    if (src) std::fclose(src);
    return -1;
  }
  FILE* tmp = out.Stream();
  bool ok = true;
  try {
    if (!src) {
      ok = std::fputs(line, tmp) >= 0;
    } else {
      // One pass over whole lines, whatever their length: a keyword line becomes the new line,
      // every other line is copied as read, byte for byte.
      std::string text;
      int last = '\n';
      while (ok && ReadWholeLine(src, text)) {
        // A last line without its newline is judged as the line it becomes: when the keyword
        // line is appended, that line gets its newline first, and a bare "A" would turn into a
        // setting of A read before the new one. Replacing it keeps every setting the new line.
        const bool unterminated = text.back() != '\n';
        if (IsKeywordLine(text, keyword) || (unterminated && !*found && IsKeywordLine(text + '\n', keyword))) {
          *found = 1;
          ok = std::fprintf(tmp, "%s\n", line) >= 0;
        } else {
          ok = std::fwrite(text.data(), 1, text.size(), tmp) == text.size();
        }
        last = static_cast<unsigned char>(text.back());
      }
      if (ok && !*found) {
        // The file as it was, then the line; a last line without its newline gets one first.
        if (last != '\n') ok = std::fputc('\n', tmp) != EOF;
        ok = ok && std::fprintf(tmp, "%s\n", line) >= 0;
      }
      // A copy cut short by a read error must never replace the keyword file.
      ok = ok && !std::ferror(src);
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (src) std::fclose(src);
  if (!ok) {
    out.Abandon();
    return -1;
  }
  // rename replaces the keyword file in one step: it is never absent.
  return out.Commit() ? 0 : -1;
}

}  // extern "C"
