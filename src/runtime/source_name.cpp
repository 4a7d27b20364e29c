// source_name.cpp: turns the file name a caller hands over (usually __FILE__, whatever path
// the build gave it) into the library's own name of that source, so that no report carries
// the layout of the build machine and every report names a place the same way.
#include "runtime/source_name.h"

#include <cctype>
#include <cstring>

namespace kvrt {

namespace {

// Case-blind comparison of the n characters at s with the terminated word w.
bool SameWord(const char* s, std::size_t n, const char* w) {
  if (std::strlen(w) != n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != w[i]) return false;
  return true;
}

bool IsOneOf(const char* ext, std::size_t n, const char* const* words) {
  for (; *words; ++words)
    if (SameWord(ext, n, *words)) return true;
  return false;
}

const char* const kSourceExt[] = {"c", "cc", "cpp", "cxx", nullptr};
const char* const kHeaderExt[] = {"h", "hh", "hpp", "hxx", nullptr};

// Appends n characters of s to out at *used, keeping room for the terminator.
void Put(char* out, std::size_t size, std::size_t* used, const char* s, std::size_t n) {
  const std::size_t room = size - 1 - *used;
  if (n > room) n = room;
  std::memcpy(out + *used, s, n);
  *used += n;
}

}  // namespace

std::size_t SourceName(const char* file, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  std::size_t used = 0;
  if (file != nullptr) {
    const std::size_t len = std::strlen(file);
    std::size_t start = 0;
    for (std::size_t i = 0; i < len; ++i)
      if (file[i] == '/' || file[i] == '\\') start = i + 1;
    const char* last = file + start;
    const std::size_t lastLen = len - start;
    const char* dot = nullptr;  // the last '.' of the last component
    for (std::size_t i = lastLen; i > 0 && dot == nullptr; --i)
      if (last[i - 1] == '.') dot = last + i - 1;
    const char* prefix = nullptr;
    if (dot != nullptr && dot != last) {
      const std::size_t extLen = lastLen - static_cast<std::size_t>(dot + 1 - last);
      if (IsOneOf(dot + 1, extLen, kSourceExt)) prefix = "src/";
      else if (IsOneOf(dot + 1, extLen, kHeaderExt)) prefix = "include/";
    }
    if (prefix != nullptr) {
      Put(out, size, &used, prefix, std::strlen(prefix));
      Put(out, size, &used, last, static_cast<std::size_t>(dot - last));
    } else {
      Put(out, size, &used, file, len);
    }
  }
  out[used] = '\0';
  return used;
}

std::string SourceName(const char* file) {
  std::string out(file != nullptr ? std::strlen(file) + 16 : 1, '\0');
  out.resize(SourceName(file, &out[0], out.size()));
  return out;
}

}  // namespace kvrt
