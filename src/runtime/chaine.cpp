// chaine.cpp: useful lines of text files, path parts of wide names, free file names and
// the keyword files (read a keyword's integer or yes/no value, rewrite its line).
// Keyword files are rewritten whole through "<name>.tmp", renamed over the original.
#include "chaine.h"

#include "kvelosys.h"
#include "platform/plat_file.h"
#include "runtime/int_text.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const int kLine = 256;  // caller line buffers: fgets reads at most 255 characters

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// Result of a path operation: copied into out when given, else a heap copy.
wchar_t* Deliver(const std::wstring& s, wchar_t* out) {
  if (out) {
    std::wmemcpy(out, s.c_str(), s.size() + 1);
    return out;
  }
  wchar_t* copy = static_cast<wchar_t*>(
      kvelomem_malloc((s.size() + 1) * sizeof(wchar_t), "chaine", 0, __FILE__, __LINE__));
  if (!copy) return nullptr;
  std::wmemcpy(copy, s.c_str(), s.size() + 1);
  return copy;
}

// The path operations: cut(p) trims a copy of path in place, or returns false when path has no
// such part (out then empty, result null). Null for a null path or when memory runs out.
template <class Cut>
wchar_t* PathPart(const wchar_t* path, wchar_t* out, Cut cut) {
  if (!path) return nullptr;
  try {
    std::wstring p(path);
    if (!cut(p)) {
      if (out) out[0] = L'\0';
      return nullptr;
    }
    return Deliver(p, out);
  } catch (...) {
    return nullptr;
  }
}

// Position of the '.' that starts the extension of the last component, or npos.
size_t ExtensionDot(const std::wstring& path) {
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i)
    if (IsSeparator(path[i])) start = i + 1;
  const size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || dot <= start) return std::wstring::npos;
  return dot;
}

// Line starts with keyword: the rest after it, else null.
const char* AfterKeyword(const char* line, const char* keyword) {
  const size_t n = std::strlen(keyword);
  return std::strncmp(line, keyword, n) == 0 ? line + n : nullptr;
}

const char* SkipSpace(const char* p) {
  while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
  return p;
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
  while (std::fgets(buf, kLine, f)) {
    if (ligne_utile(buf)) return 1;
  }
  buf[0] = '\0';
  return 0;
}

wchar_t* extraire_fichier(const wchar_t* path, wchar_t* out) {
  return PathPart(path, out, [](std::wstring& p) {
    size_t cut = p.rfind(L'/');
    if (cut == std::wstring::npos) cut = p.rfind(L'\\');
    if (cut != std::wstring::npos) p.erase(0, cut + 1);
    return true;
  });
}

wchar_t* extraire_repertoire(const wchar_t* path, wchar_t* out) {
  return PathPart(path, out, [](std::wstring& p) {
    if (p.find_first_of(L"/\\") == std::wstring::npos) return false;
    size_t cut = p.rfind(L'/');
    if (cut != std::wstring::npos) p.resize(cut);
    cut = p.rfind(L'\\');
    if (cut != std::wstring::npos) p.resize(cut);
    return true;
  });
}

wchar_t* enleve_extension(const wchar_t* path, wchar_t* out) {
  return PathPart(path, out, [](std::wstring& p) {
    const size_t dot = ExtensionDot(p);
    if (dot != std::wstring::npos) p.resize(dot);
    return true;
  });
}

wchar_t* kvelo_nom_libre(const wchar_t* name) {
  if (!name) return nullptr;
  try {
    const std::wstring given(name);
    const size_t dot = ExtensionDot(given);
    const std::wstring base = dot == std::wstring::npos ? given : given.substr(0, dot);
    const std::wstring ext = dot == std::wstring::npos ? std::wstring() : given.substr(dot);
    std::wstring candidate = given;
    // Each candidate comes from the given name, never from the previous candidate.
    for (unsigned long long i = 1; kvelo_file_exist(candidate.c_str()); ++i)
      candidate = base + L"_" + std::to_wstring(i) + ext;
    return Deliver(candidate, nullptr);
  } catch (...) {
    return nullptr;
  }
}

int cadena_con_blanco(const char* s) {
  if (!s) return 0;
  char* copy = kvelo_strdup(s, "cadena_con_blanco");
  if (!copy) return 0;
  size_t n = std::strlen(copy);
  while (n > 0 && std::isspace(static_cast<unsigned char>(copy[n - 1]))) copy[--n] = '\0';
  int blank = 0;
  for (size_t i = 0; i < n && !blank; ++i)
    if (std::isspace(static_cast<unsigned char>(copy[i]))) blank = 1;
  kvelomem_free(copy, __FILE__, __LINE__);
  return blank;
}

char* cherche_mot_cle(FILE* f, const char* keyword, int* found, char* line) {
  if (found) *found = 0;
  if (!f || !keyword || !found || !line) return nullptr;
  while (std::fgets(line, kLine, f)) {
    if (!ligne_utile(line)) continue;
    char* at = std::strstr(line, keyword);
    if (at) {
      *found = 1;
      return at;
    }
  }
  return nullptr;
}

int lire_valeur_mot_cle(FILE* f, const char* keyword, int* found, char* line, int* value) {
  if (!value || !cherche_mot_cle(f, keyword, found, line)) return 0;
  const char* rest = AfterKeyword(line, keyword);
  if (!rest) return 0;
  const char* p = SkipSpace(rest);
  if (!*p) return EOF;
  int v = 0;
  if (!kvrt::ReadIntText(p, v)) return 0;
  *value = v;
  return 1;
}

int lire_valeur_mot_cle_yn(FILE* f, const char* keyword, int* found, char* line, int* yes) {
  if (yes) *yes = 0;
  if (!yes || !cherche_mot_cle(f, keyword, found, line)) return 0;
  const char* rest = AfterKeyword(line, keyword);
  if (!rest) return 0;
  const char* p = SkipSpace(rest);
  if (!*p) return EOF;
  *yes = (*p == 'O' || *p == 'Y' || *p == 'o' || *p == 'y') ? 1 : 0;
  return 1;
}

int subsitue_mot_cle(const char* path, const char* keyword, int* found, const char* line) {
  if (found) *found = 0;
  if (!path || !keyword || !found || !line) return -1;
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
  if (!src) {
    ok = std::fputs(line, tmp) >= 0;
  } else {
    char buf[kLine];
    if (!cherche_mot_cle(src, keyword, found, buf)) {
      // The file as it is, then the line; a last line without its newline gets one first.
      std::rewind(src);
      int last = '\n';
      size_t n;
      char block[4096];
      while (ok && (n = std::fread(block, 1, sizeof block, src)) > 0) {
        ok = std::fwrite(block, 1, n, tmp) == n;
        last = static_cast<unsigned char>(block[n - 1]);
      }
      if (ok && last != '\n') ok = std::fputc('\n', tmp) != EOF;
      ok = ok && std::fprintf(tmp, "%s\n", line) >= 0;
    } else {
      std::rewind(src);
      while (ok && std::fgets(buf, kLine, src)) {
        if (ligne_utile(buf) && std::strstr(buf, keyword))
          ok = std::fprintf(tmp, "%s\n", line) >= 0;
        else
          ok = std::fputs(buf, tmp) >= 0;
      }
    }
    // A copy cut short by a read error must never replace the keyword file.
    ok = ok && !std::ferror(src);
    std::fclose(src);
  }
  if (!ok) {
    out.Abandon();
    return -1;
  }
  // rename replaces the keyword file in one step: it is never absent.
  return out.Commit() ? 0 : -1;
}

}  // extern "C"
