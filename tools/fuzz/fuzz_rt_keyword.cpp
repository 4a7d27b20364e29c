/* fuzz_rt_keyword.cpp: keyword files and useful lines read from arbitrary text: the searches,
 * the integer and yes/no values, the line-by-line reading, and the rewrite of a keyword's
 * lines, which must leave a file that holds the new line and reads its value back.
 * Input: byte 0 (bits 0-1: keyword), the rest the keyword file. */
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "chaine.h"
#include "fuzz_support.h"

namespace {

const char* const kKeywords[4] = {"NITER", "VERBOSE", "#", "A"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const char* keyword = kKeywords[data[0] & 0x03];
  // A named file (the rewrite goes through the name), removed with its ".tmp" at the end.
  const kvtest::TempPath file("fuzz_keyword");
  if (!kvtest::WriteFileBytes(file.str(), kvtest::Bytes(data + 1, data + size))) std::abort();
  char line[256];
  int found = 0, value = 0, yes = 0;
  {
    FILE* f = std::fopen(file.c_str(), "r");
    if (f == nullptr) std::abort();
    while (cherche_mot_cle(f, keyword, &found, line) != nullptr) {
      if (std::strlen(line) > 255) std::abort();
    }
    std::rewind(f);
    while (lire_valeur_mot_cle(f, keyword, &found, line, &value) != 0 && found) {
    }
    std::rewind(f);
    while (lire_valeur_mot_cle_yn(f, keyword, &found, line, &yes) != 0 && found) {
    }
    std::rewind(f);
    int lines = 0;
    while (ligne_suivante(line, f) && line[0] != '\0' && ++lines < 100000) {
    }
    std::fclose(f);
  }
  // The rewrite, on the file itself: afterwards the keyword reads the new value.
  const std::string replacement = std::string(keyword) + " 42";
  if (subsitue_mot_cle(file.c_str(), keyword, &found, replacement.c_str()) != 0) std::abort();
  const std::string after = kvtest::ReadFileText(file.str());
  if (after.find(replacement) == std::string::npos) std::abort();
  // The first keyword line is now the new one (a '#' keyword makes it a comment, which no
  // search reads), whatever the lines around it, long ones included.
  if (keyword[0] != '#') {
    FILE* f = std::fopen(file.c_str(), "r");
    if (f == nullptr) std::abort();
    if (lire_valeur_mot_cle(f, keyword, &found, line, &value) != 1 || value != 42) std::abort();
    std::fclose(f);
  }
  return 0;
}
