// Tests of the text utilities: useful lines, path parts, free names and keyword files.
#include "kvelo.h"

#include "binfile.h"
#include "failing_new.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

using kvtest::TempPath;

namespace {

std::wstring Take(wchar_t* s) {
  std::wstring out = s ? std::wstring(s) : std::wstring(L"<null>");
  kvelomem_free(s, __FILE__, __LINE__);
  return out;
}

std::wstring W(const std::string& s) { return std::wstring(s.begin(), s.end()); }

TEST(UsefulLines, Classification) {
  struct Case {
    const char* line;
    int useful;
  };
  const Case cases[] = {
      {"\n", 0},        {"# comment\n", 0}, {"   \n", 0}, {"  x\n", 1}, {"", 1},
      {"x", 0},  // a last line of one character: as long as spaces + 1
      {"xy", 1},        {"key 1\n", 1},     {"\t\n", 1},  {" #x\n", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(ligne_utile(c.line), c.useful) << '"' << c.line << '"';
  EXPECT_EQ(ligne_utile(nullptr), 0);
}

TEST(UsefulLines, NextUsefulLineStopsAtTheEnd) {
  TempPath p("next");
  kvtest::WriteFileText(p.str(), "# head\n\n   \nfirst 1\n# mid\nsecond 2\n\n");
  FILE* f = fopen(p.c_str(), "r");
  char buf[256];
  EXPECT_EQ(ligne_suivante(buf, f), 1);
  EXPECT_STREQ(buf, "first 1\n");
  EXPECT_EQ(ligne_suivante(buf, f), 1);
  EXPECT_STREQ(buf, "second 2\n");
  EXPECT_EQ(ligne_suivante(buf, f), 0);  // end of file: no endless loop, empty buffer
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(ligne_suivante(buf, f), 0);
  fclose(f);
  EXPECT_EQ(ligne_suivante(nullptr, stdin), 0);
}

TEST(UsefulLines, ALongLineIsOneLineCutToTheBuffer) {
  // A line longer than the buffer stays one line: its first 255 characters are delivered and
  // the rest is read past, never taken for a line of its own. Its kind (comment, blank) is
  // that of the whole line.
  TempPath p("long");
  const std::string tail = "tail of a long comment\n";
  kvtest::WriteFileText(p.str(), std::string(300, 'a') + "\n" + "#" + std::string(254, 'x') + tail +
                                     std::string(300, ' ') + "\n" + "next\n");
  FILE* f = fopen(p.c_str(), "r");
  char buf[256];
  ASSERT_EQ(ligne_suivante(buf, f), 1);
  EXPECT_EQ(std::string(buf), std::string(255, 'a'));
  ASSERT_EQ(ligne_suivante(buf, f), 1);
  EXPECT_EQ(std::string(buf), "next\n");
  EXPECT_EQ(ligne_suivante(buf, f), 0);
  fclose(f);
}

TEST(PathParts, FilePart) {
  EXPECT_EQ(Take(extraire_fichier(L"dir/sub/f.txt", nullptr)), L"f.txt");
  EXPECT_EQ(Take(extraire_fichier(L"C:\\dir\\f.txt", nullptr)), L"f.txt");
  EXPECT_EQ(Take(extraire_fichier(L"f.txt", nullptr)), L"f.txt");
  EXPECT_EQ(Take(extraire_fichier(L"a\\b/c", nullptr)), L"c");
  EXPECT_EQ(Take(extraire_fichier(L"dir/", nullptr)), L"");
  wchar_t out[32];
  EXPECT_EQ(extraire_fichier(L"x/y.z", out), out);
  EXPECT_EQ(std::wstring(out), L"y.z");
  EXPECT_EQ(extraire_fichier(nullptr, out), nullptr);
}

TEST(PathParts, DirectoryPart) {
  EXPECT_EQ(Take(extraire_repertoire(L"dir/sub/f.txt", nullptr)), L"dir/sub");
  EXPECT_EQ(Take(extraire_repertoire(L"C:\\dir\\f.txt", nullptr)), L"C:\\dir");
  EXPECT_EQ(Take(extraire_repertoire(L"a\\b/c", nullptr)), L"a");
  EXPECT_EQ(Take(extraire_repertoire(L"/f", nullptr)), L"");
  wchar_t out[32] = L"old";
  EXPECT_EQ(extraire_repertoire(L"f.txt", out), nullptr);
  EXPECT_EQ(std::wstring(out), L"");
  EXPECT_EQ(extraire_repertoire(L"f.txt", nullptr), nullptr);
  EXPECT_EQ(extraire_repertoire(L"d/e.f", out), out);
  EXPECT_EQ(std::wstring(out), L"d");
  EXPECT_EQ(extraire_repertoire(nullptr, out), nullptr);
}

TEST(PathParts, WithoutExtension) {
  EXPECT_EQ(Take(enleve_extension(L"dir/f.txt", nullptr)), L"dir/f");
  EXPECT_EQ(Take(enleve_extension(L"a.b.c", nullptr)), L"a.b");
  EXPECT_EQ(Take(enleve_extension(L"noext", nullptr)), L"noext");
  // Only the last component's extension counts; a leading dot names, it does not extend.
  EXPECT_EQ(Take(enleve_extension(L"dir.old/f", nullptr)), L"dir.old/f");
  EXPECT_EQ(Take(enleve_extension(L"./run", nullptr)), L"./run");
  EXPECT_EQ(Take(enleve_extension(L"d\\.hidden", nullptr)), L"d\\.hidden");
  EXPECT_EQ(Take(enleve_extension(L"./run.dat", nullptr)), L"./run");
  wchar_t out[32];
  EXPECT_EQ(enleve_extension(L"plain", out), out);
  EXPECT_EQ(std::wstring(out), L"plain");
  EXPECT_EQ(enleve_extension(nullptr, out), nullptr);
}

// Short of memory (every operator new and every library heap block refused): a path part
// written into a given buffer needs no memory and comes out right; a heap copy gives null
// with errno ENOMEM, which tells it from the null of a path without a directory part (errno
// left alone). The results are taken under the shortage and checked after it.
TEST(PathParts, WithoutMemory) {
  wchar_t file[32] = L"old", dir[32] = L"old", stem[32] = L"old", none[32] = L"old";
  wchar_t* got[4];
  wchar_t* heap[3];
  int heapErrno[3];
  wchar_t* noDir;
  int noDirErrno;
  {
    kvtest::NoMemory nomem;
    got[0] = extraire_fichier(L"dir/sub/f.txt", file);
    got[1] = extraire_repertoire(L"dir/sub/f.txt", dir);
    got[2] = enleve_extension(L"dir/sub/f.txt", stem);
    got[3] = extraire_repertoire(L"f.txt", none);
    using Part = wchar_t* (*)(const wchar_t*, wchar_t*);
    const Part parts[] = {extraire_fichier, extraire_repertoire, enleve_extension};
    for (int i = 0; i < 3; ++i) {
      errno = 0;
      heap[i] = parts[i](L"dir/sub/f.txt", nullptr);
      heapErrno[i] = errno;
    }
    errno = 0;
    noDir = extraire_repertoire(L"f.txt", nullptr);
    noDirErrno = errno;
  }
  EXPECT_EQ(got[0], file);
  EXPECT_EQ(std::wstring(file), L"f.txt");
  EXPECT_EQ(got[1], dir);
  EXPECT_EQ(std::wstring(dir), L"dir/sub");
  EXPECT_EQ(got[2], stem);
  EXPECT_EQ(std::wstring(stem), L"dir/sub/f");
  EXPECT_EQ(got[3], nullptr);
  EXPECT_EQ(std::wstring(none), L"");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(heap[i], nullptr) << i;
    EXPECT_EQ(heapErrno[i], ENOMEM) << i;
  }
  EXPECT_EQ(noDir, nullptr);
  EXPECT_EQ(noDirErrno, 0);
}

// The part may be written over the path itself.
TEST(PathParts, IntoThePathItself) {
  wchar_t a[32] = L"dir/sub/f.txt", b[32] = L"dir/sub/f.txt", c[32] = L"dir/sub/f.txt";
  EXPECT_EQ(extraire_fichier(a, a), a);
  EXPECT_EQ(std::wstring(a), L"f.txt");
  EXPECT_EQ(extraire_repertoire(b, b), b);
  EXPECT_EQ(std::wstring(b), L"dir/sub");
  EXPECT_EQ(enleve_extension(c, c), c);
  EXPECT_EQ(std::wstring(c), L"dir/sub/f");
}

TEST(FreeNames, WithoutMemoryNullAndENOMEM) {
  wchar_t* name;
  int err;
  {
    kvtest::NoMemory nomem;
    errno = 0;
    name = kvelo_nom_libre(L"run.dat");
    err = errno;
  }
  EXPECT_EQ(name, nullptr);
  EXPECT_EQ(err, ENOMEM);
}

// Short of memory at any one allocation, a free name is never that of a file that exists:
// the existence test takes no memory, so no lack of it passes for a missing file.
TEST(FreeNames, NoAllocationThatFailsGivesTheNameOfAFileThatExists) {
  kvtest::TempDir dir("free_nomem");
  const std::wstring wd = W(dir.str());
  kvtest::WriteFileText(dir.file("run.dat"), "x");
  const std::wstring taken = wd + L"/run.dat";
  int wrong = 0;
  const int failures = kvtest::ForEachAllocation(
      [&] {
        wchar_t* name = kvelo_nom_libre(taken.c_str());
        if (name != nullptr && taken == name) ++wrong;
        kvelomem_free(name, __FILE__, __LINE__);
      },
      [] {});
  EXPECT_GT(failures, 0);
  EXPECT_EQ(wrong, 0);
  kvtest::NoMemory nomem;
  EXPECT_EQ(kvelo_file_exist(taken.c_str()), 1);
}

TEST(FreeNames, NumberedAfterTheBaseKeepingTheDirectory) {
  kvtest::TempDir dir("free");
  const std::string d = dir.str();
  const std::wstring wd = W(d);
  EXPECT_EQ(Take(kvelo_nom_libre((wd + L"/run.dat").c_str())), wd + L"/run.dat");
  kvtest::WriteFileText(dir.file("run.dat"), "x");
  kvtest::WriteFileText(dir.file("run_1.dat"), "x");
  EXPECT_EQ(Take(kvelo_nom_libre((wd + L"/run.dat").c_str())), wd + L"/run_2.dat");
  kvtest::WriteFileText(dir.file("plain"), "x");
  EXPECT_EQ(Take(kvelo_nom_libre((wd + L"/plain").c_str())), wd + L"/plain_1");
  kvtest::WriteFileText(dir.file("a.b.c"), "x");
  EXPECT_EQ(Take(kvelo_nom_libre((wd + L"/a.b.c").c_str())), wd + L"/a.b_1.c");
  EXPECT_EQ(kvelo_nom_libre(nullptr), nullptr);

  // A relative name starting with "./" keeps it.
  ASSERT_EQ(chdir(d.c_str()), 0);
  const std::wstring rel = Take(kvelo_nom_libre(L"./run.dat"));
  ASSERT_EQ(chdir(".."), 0);
  EXPECT_EQ(rel, L"./run_2.dat");
  kvtest::TempPath p("free1", ".dat");
  const std::string expect = p.str().substr(0, p.str().size() - 4) + "_1.dat";
  EXPECT_EQ(Take(kvelo_nom_libre((L"./" + p.wide()).c_str())), L"./" + W(expect));
}

TEST(BlankInside, Cases) {
  EXPECT_EQ(cadena_con_blanco("a b"), 1);
  EXPECT_EQ(cadena_con_blanco(" ab"), 1);
  EXPECT_EQ(cadena_con_blanco("ab  "), 0);
  EXPECT_EQ(cadena_con_blanco("ab\t\n"), 0);
  EXPECT_EQ(cadena_con_blanco("a\tb\n"), 1);
  EXPECT_EQ(cadena_con_blanco(""), 0);
  EXPECT_EQ(cadena_con_blanco("   "), 0);
  EXPECT_EQ(cadena_con_blanco(nullptr), 0);
  // Read in place: no memory is needed for the answer.
  int inside, trailing;
  {
    kvtest::NoMemory nomem;
    inside = cadena_con_blanco("a b  ");
    trailing = cadena_con_blanco("ab  ");
  }
  EXPECT_EQ(inside, 1);
  EXPECT_EQ(trailing, 0);
}

// A keyword file open for reading, closed at scope exit.
struct KeywordFile {
  explicit KeywordFile(const std::string& text) : path("kw") {
    kvtest::WriteFileText(path.str(), text);
    f = fopen(path.c_str(), "r");
  }
  ~KeywordFile() { fclose(f); }
  TempPath path;
  FILE* f;
};

TEST(Keywords, SearchFindsUsefulLinesOnly) {
  // A keyword is found as a word: not inside niterations, nor after a letter.
  KeywordFile k("# niter 5\nsize 3\nniterations 4\nmaxniter 2\n  niter 7\nniter 9\n");
  int found = -1;
  char line[256];
  char* at = cherche_mot_cle(k.f, "niter", &found, line);
  ASSERT_NE(at, nullptr);
  EXPECT_EQ(found, 1);
  EXPECT_STREQ(line, "  niter 7\n");
  EXPECT_EQ(at, line + 2);
  ASSERT_NE(cherche_mot_cle(k.f, "niter", &found, line), nullptr);  // from the current position
  EXPECT_STREQ(line, "niter 9\n");
  EXPECT_EQ(cherche_mot_cle(k.f, "niter", &found, line), nullptr);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(cherche_mot_cle(nullptr, "niter", &found, line), nullptr);
  EXPECT_EQ(found, 0);
}

TEST(Keywords, IntegerValues) {
  struct Case {
    const char* text;
    int result, found, value;
  };
  const Case cases[] = {
      {"niter 12\n", 1, 1, 12},
      {"niter   -3 trailing\n", 1, 1, -3},
      {"  niter 12\n", 0, 0, 99},  // a line that does not begin with the keyword is no setting
      {"niterations 5\n", 0, 0, 99},  // nor one where it begins a longer word
      {"depth 4 niter\nniter 7\n", 1, 1, 7},  // a mention in another setting is passed over
      {"niter abc\n", 0, 1, 99},
      {"niter\n", EOF, 1, 99},
      {"niter 99999999999\n", 0, 1, 99},  // beyond int: refused, not wrapped
      // The ends of int are the last numbers read; one beyond either end is no number.
      {"niter 2147483647\n", 1, 1, 2147483647},
      {"niter 2147483648\n", 0, 1, 99},
      {"niter -2147483648\n", 1, 1, -2147483647 - 1},
      {"niter -2147483649\n", 0, 1, 99},
      {"niter +2147483647\n", 1, 1, 2147483647},
      {"niter 00000000002147483647\n", 1, 1, 2147483647},
      {"other 1\n", 0, 0, 99},
  };
  for (const Case& c : cases) {
    KeywordFile k(c.text);
    int found = -1, value = 99;
    char line[256];
    EXPECT_EQ(lire_valeur_mot_cle(k.f, "niter", &found, line, &value), c.result) << c.text;
    EXPECT_EQ(found, c.found) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
}

// What follows the keyword is read however long it is: leading zeros and white space of any
// length, digits cut far past the end of int, a zero byte ending the text.
TEST(Keywords, IntegerValuesOfAnyLength) {
  const std::string zeros(300, '0'), spaces(300, ' ');
  const struct {
    std::string text;
    int result, value;
  } cases[] = {
      {"niter " + zeros + "42\n", 1, 42},
      {"niter -" + zeros + "2147483648\n", 1, INT_MIN},
      {"niter +" + zeros + "2147483648\n", 0, 99},
      {"niter " + zeros + "\n", 1, 0},
      {"niter -0\n", 1, 0},
      {"niter " + spaces + "7\n", 1, 7},
      {"niter \t" + spaces + "\n", EOF, 99},
      {"niter 100000000000\n", 0, 99},      // 12 digits
      {"niter 1" + zeros + "\n", 0, 99},     // 301 digits
      {"niter 21474836470\n", 0, 99},       // 11 digits
      {"niter 0000000000021474836\n", 1, 21474836},
      {"niter 12x34\n", 1, 12},
      {"niter - 5\n", 0, 99},
      {"niter +\n", 0, 99},
      {std::string("niter 5\0" "6\n", 10), 1, 5},
      {std::string("niter \0" "6\n", 9), EOF, 99},
  };
  for (const auto& c : cases) {
    KeywordFile k(c.text);
    int found = -1, value = 99;
    char line[256];
    EXPECT_EQ(lire_valeur_mot_cle(k.f, "niter", &found, line, &value), c.result) << c.text.size();
    EXPECT_EQ(found, 1) << c.text.size();
    EXPECT_EQ(value, c.value) << c.text.size();
  }
}

// The searches and value readers take no memory: short of it they find and read as ever
// (they gave "not found" before, having read past the line).
TEST(Keywords, ReadersWithoutMemory) {
  KeywordFile k("# niter 1\nniter " + std::string(400, ' ') + "12\nsave yes\nsize 3\n");
  int found[3] = {-1, -1, -1}, value = 99, yes = -1, r[3];
  char line[256];
  char* at;
  {
    kvtest::NoMemory nomem;
    r[0] = lire_valeur_mot_cle(k.f, "niter", &found[0], line, &value);
    r[1] = lire_valeur_mot_cle_yn(k.f, "save", &found[1], line, &yes);
    at = cherche_mot_cle(k.f, "size", &found[2], line);
  }
  EXPECT_EQ(r[0], 1);
  EXPECT_EQ(found[0], 1);
  EXPECT_EQ(value, 12);
  EXPECT_EQ(r[1], 1);
  EXPECT_EQ(found[1], 1);
  EXPECT_EQ(yes, 1);
  EXPECT_EQ(at, line);
  EXPECT_EQ(found[2], 1);
  EXPECT_STREQ(line, "size 3\n");
}

TEST(Keywords, YesNoValues) {
  struct Case {
    const char* text;
    int result, found, yes;
  };
  const Case cases[] = {
      {"save oui\n", 1, 1, 1}, {"save Yes\n", 1, 1, 1}, {"save y\n", 1, 1, 1},  {"save O\n", 1, 1, 1},
      {"save no\n", 1, 1, 0},  {"save 1\n", 1, 1, 0},   {"save\n", EOF, 1, 0}, {"other y\n", 0, 0, 0},
      {"  save y\n", 0, 0, 0}, {"saved y\nsave n\n", 1, 1, 0},
  };
  for (const Case& c : cases) {
    KeywordFile k(c.text);
    int found = -1, yes = -1;
    char line[256];
    EXPECT_EQ(lire_valeur_mot_cle_yn(k.f, "save", &found, line, &yes), c.result) << c.text;
    EXPECT_EQ(found, c.found) << c.text;
    EXPECT_EQ(yes, c.yes) << c.text;
  }
}

TEST(Keywords, PercentSignsAreLiteral) {
  KeywordFile k("rate%d 5\nrate%s%n 6\n");
  int found = 0, value = 0;
  char line[256];
  EXPECT_EQ(lire_valeur_mot_cle(k.f, "rate%d", &found, line, &value), 1);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(lire_valeur_mot_cle(k.f, "rate%s%n", &found, line, &value), 1);
  EXPECT_EQ(value, 6);
  rewind(k.f);
  int yes = 0;
  EXPECT_EQ(lire_valeur_mot_cle_yn(k.f, "%s", &found, line, &yes), 0);  // only mid-line: no setting
  EXPECT_EQ(found, 0);
}

// A comment of 255 characters and more, whose tail holds "NB 7", then the setting "NB 3".
const std::string kLongComment = "#" + std::string(254, 'x') + "NB 7\n";

TEST(Keywords, ATailOfALongCommentIsNoSetting) {
  KeywordFile k(kLongComment + "NB 3\n");
  int found = -1, value = 99;
  char line[256];
  EXPECT_EQ(lire_valeur_mot_cle(k.f, "NB", &found, line, &value), 1);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(value, 3);
  EXPECT_STREQ(line, "NB 3\n");
  EXPECT_EQ(lire_valeur_mot_cle(k.f, "NB", &found, line, &value), 0);
  EXPECT_EQ(found, 0);
  int yes = -1;
  KeywordFile yn("#" + std::string(254, 'x') + "SAVE yes\nSAVE no\n");
  EXPECT_EQ(lire_valeur_mot_cle_yn(yn.f, "SAVE", &found, line, &yes), 1);
  EXPECT_EQ(yes, 0);
}

TEST(Keywords, TheRestOfALongLineIsNotALineOfItsOwn) {
  // "NB 5", then text that carries "NB 9" past the 255th character, then "NB 6": the line
  // begins with NB and gives 5; the next keyword line is "NB 6".
  const std::string first = "NB 5 " + std::string(250, '-') + "NB 9 " + std::string(40, '-') + "\n";
  KeywordFile k(first + "NB 6\n");
  int found = -1, value = 0;
  char line[256];
  ASSERT_EQ(lire_valeur_mot_cle(k.f, "NB", &found, line, &value), 1);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(std::string(line), first.substr(0, 255));
  ASSERT_EQ(lire_valeur_mot_cle(k.f, "NB", &found, line, &value), 1);
  EXPECT_EQ(value, 6);
}

TEST(Keywords, AKeywordIsSeenWhereverItLiesInALongLine) {
  // Cut by the 255th character, or well past it: found, and the buffer holds the stretch of
  // the line around it.
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"across the first cut", std::string(252, 'y') + " KEYW rest\n"},
      {"far along", std::string(699, 'y') + " KEYW rest\n"},
      {"across a later cut", std::string(504, 'y') + " KEYW\n"},
  };
  for (const auto& c : cases) {
    KeywordFile k(c.text + "after\n");
    int found = -1;
    char line[256];
    char* at = cherche_mot_cle(k.f, "KEYW", &found, line);
    ASSERT_NE(at, nullptr) << c.what;
    EXPECT_EQ(found, 1) << c.what;
    EXPECT_TRUE(at >= line && at + 4 <= line + 255) << c.what;
    EXPECT_EQ(std::string(at, 4), "KEYW") << c.what;
    EXPECT_LE(std::strlen(line), 255u) << c.what;
    char next[256];
    ASSERT_EQ(ligne_suivante(next, k.f), 1) << c.what;  // the stream is at the next line
    EXPECT_STREQ(next, "after\n") << c.what;
  }
}

TEST(Keywords, AValueMayRunPastTheFirst255Characters) {
  const std::string keyword(250, 'k');
  KeywordFile k(keyword + " 123456\n");
  int found = -1, value = 0;
  char line[256];
  ASSERT_EQ(lire_valeur_mot_cle(k.f, keyword.c_str(), &found, line, &value), 1);
  EXPECT_EQ(value, 123456);
  const std::string tooLong(256, 'k');  // no line buffer holds it
  KeywordFile k2(tooLong + " 1\n");
  EXPECT_EQ(cherche_mot_cle(k2.f, tooLong.c_str(), &found, line), nullptr);
  EXPECT_EQ(found, 0);
}

TEST(KeywordRewrite, MissingFileIsCreatedWithTheLineAlone) {
  TempPath p("sub", "", false);
  int found = -1;
  EXPECT_EQ(subsitue_mot_cle(p.c_str(), "niter", &found, "niter 4"), 0);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(kvtest::ReadFileText(p.str()), "niter 4");
}

TEST(KeywordRewrite, AbsentKeywordIsAppended) {
  TempPath p("sub");
  kvtest::WriteFileText(p.str(), "# settings\nsize 3\n");
  int found = -1;
  EXPECT_EQ(subsitue_mot_cle(p.c_str(), "niter", &found, "niter 4"), 0);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(kvtest::ReadFileText(p.str()), "# settings\nsize 3\nniter 4\n");
}

TEST(KeywordRewrite, AppendingAfterALastLineWithoutNewline) {
  TempPath p("sub", "", false);
  int found = -1;
  ASSERT_EQ(subsitue_mot_cle(p.c_str(), "size", &found, "size 3"), 0);  // "size 3", no newline
  ASSERT_EQ(subsitue_mot_cle(p.c_str(), "niter", &found, "niter 4"), 0);
  EXPECT_EQ(kvtest::ReadFileText(p.str()), "size 3\nniter 4\n");
  int value = 0;
  char line[256];
  FILE* f = fopen(p.c_str(), "r");
  EXPECT_EQ(lire_valeur_mot_cle(f, "size", &found, line, &value), 1);
  EXPECT_EQ(value, 3);
  fclose(f);
}

TEST(KeywordRewrite, EveryKeywordLineIsReplacedCommentsKept) {
  TempPath p("sub");
  kvtest::WriteFileText(p.str(), "# niter is the count\nniter 1\nsize 3\nniter 2\n\nlast");
  chmod(p.c_str(), 0640);
  int found = -1;
  EXPECT_EQ(subsitue_mot_cle(p.c_str(), "niter", &found, "niter 8"), 0);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(kvtest::ReadFileText(p.str()), "# niter is the count\nniter 8\nsize 3\nniter 8\n\nlast");
  // Only settings of the keyword are replaced: lines that begin with it, as a word.
  kvtest::WriteFileText(p.str(), "niterations 4\ndepth 2 niter\n  niter 1\nniter=3\nniter 5\n");
  EXPECT_EQ(subsitue_mot_cle(p.c_str(), "niter", &found, "niter 8"), 0);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(kvtest::ReadFileText(p.str()), "niterations 4\ndepth 2 niter\n  niter 1\nniter 8\nniter 8\n");
  EXPECT_FALSE(kvtest::FileExists(p.str() + ".tmp"));
  struct stat st;
  ASSERT_EQ(stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // the rewritten file keeps its permissions
}

TEST(KeywordRewrite, LongLinesAreCopiedWhole) {
  // A comment whose tail holds the keyword stays a comment, whole; the real setting is
  // replaced; other lines are copied byte for byte, zero bytes included.
  TempPath p("sub");
  const std::string other = std::string("a\0b", 3) + std::string(400, 'z') + "\n";
  const std::string before = kLongComment + other + "NB 3\n";
  ASSERT_TRUE(kvtest::WriteFileText(p.str(), before));
  int found = -1;
  EXPECT_EQ(subsitue_mot_cle(p.c_str(), "NB", &found, "NB 4"), 0);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(kvtest::ReadFileText(p.str()), kLongComment + other + "NB 4\n");

  // Only the comment mentions the keyword: it is absent, and the line is appended.
  TempPath q("sub");
  ASSERT_TRUE(kvtest::WriteFileText(q.str(), kLongComment));
  EXPECT_EQ(subsitue_mot_cle(q.c_str(), "NB", &found, "NB 4"), 0);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(kvtest::ReadFileText(q.str()), kLongComment + "NB 4\n");
  FILE* f = fopen(q.c_str(), "r");
  int value = 0;
  char line[256];
  EXPECT_EQ(lire_valeur_mot_cle(f, "NB", &found, line, &value), 1);
  EXPECT_EQ(value, 4);
  fclose(f);
}

TEST(KeywordRewrite, FailureLeavesTheKeywordFileIntact) {
  TempPath p("sub");
  const std::string text = "niter 1\nsize 2\n";
  kvtest::WriteFileText(p.str(), text);
  // The temporary name is taken by a directory: the rewrite cannot start.
  ASSERT_EQ(mkdir((p.str() + ".tmp").c_str(), 0700), 0);
  int found = -1;
  EXPECT_EQ(subsitue_mot_cle(p.c_str(), "niter", &found, "niter 5"), -1);
  EXPECT_EQ(kvtest::ReadFileText(p.str()), text);
  rmdir((p.str() + ".tmp").c_str());

  // A long path is never cut: the temporary name is built whole.
  kvtest::TempDir dir("subdeep");
  std::string deep = dir.str();
  for (int i = 0; i < 3; ++i) {
    deep += "/" + std::string(100, static_cast<char>('a' + i));
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
  }
  const std::string kw = deep + "/settings.txt";
  kvtest::WriteFileText(kw, text);
  EXPECT_EQ(subsitue_mot_cle(kw.c_str(), "niter", &found, "niter 5"), 0);
  EXPECT_EQ(kvtest::ReadFileText(kw), "niter 5\nsize 2\n");
  EXPECT_EQ(subsitue_mot_cle(nullptr, "niter", &found, "niter 5"), -1);
}

TEST(KeywordRewrite, AWriteThatFailsPartWayLeavesTheFileAsItWas) {
  // The files may not grow past 40 bytes (see WithFileSizeLimit): each change below needs more.
  const std::string text = "# settings of the run\nsize 3\nniter 1\n";  // 36 bytes
  const struct {
    const char* what;
    const char* keyword;
  } cases[] = {{"appending an absent keyword", "tolerance"}, {"replacing a keyword line", "niter"}};
  for (const auto& c : cases) {
    TempPath p("subfull");
    ASSERT_TRUE(kvtest::WriteFileText(p.str(), text));
    const int r = kvtest::WithFileSizeLimit(40, [&]() -> int {
      int found = -1;
      const std::string line = std::string(c.keyword) + " 1234567890";
      return subsitue_mot_cle(p.c_str(), c.keyword, &found, line.c_str()) == -1 ? 0 : 1;
    });
    EXPECT_EQ(r, 0) << c.what;
    EXPECT_EQ(kvtest::ReadFileText(p.str()), text) << c.what;  // never half a line
    EXPECT_FALSE(kvtest::FileExists(p.str() + ".tmp")) << c.what;
  }
  // A new file that cannot be written whole is not left behind.
  TempPath fresh("subfull", "", false);
  const std::string big(100, 'x');
  EXPECT_EQ(kvtest::WithFileSizeLimit(40, [&]() -> int {
              int found = -1;
              return subsitue_mot_cle(fresh.c_str(), "x", &found, big.c_str()) == -1 ? 0 : 1;
            }),
            0);
  EXPECT_FALSE(kvtest::FileExists(fresh.str()));
  EXPECT_FALSE(kvtest::FileExists(fresh.str() + ".tmp"));
}

// Whichever allocation fails, the rewrite either succeeds or gives -1 with the keyword file as
// it was and no temporary file left.
TEST(KeywordRewrite, ShortOfMemoryTheFileIsOldOrNew) {
  const std::string text = "# run\nniter 1\nsize 3\n", want = "# run\nniter 5\nsize 3\n";
  TempPath p("subnomem");
  int failures = 0;
  const int runs = kvtest::ForEachAllocation(
      [&] {
        // Written through stdio: the refused allocation is meant for the rewrite.
        FILE* f = fopen(p.c_str(), "w");
        fputs(text.c_str(), f);
        fclose(f);
        int found = -1;
        if (subsitue_mot_cle(p.c_str(), "niter", &found, "niter 5") == -1) ++failures;
      },
      [&] {
        const std::string now = kvtest::ReadFileText(p.str());
        EXPECT_TRUE(now == text || now == want) << now;
        EXPECT_FALSE(kvtest::FileExists(p.str() + ".tmp"));
      });
  EXPECT_GT(runs, 0);
  EXPECT_GT(failures, 0);
  EXPECT_EQ(kvtest::ReadFileText(p.str()), want);  // the last run met no refusal
  // With no memory at all (both heaps), the file stays as it was.
  kvtest::WriteFileText(p.str(), text);
  int r;
  {
    kvtest::NoMemory nomem;
    int found = -1;
    r = subsitue_mot_cle(p.c_str(), "niter", &found, "niter 5");
  }
  EXPECT_EQ(r, -1);
  EXPECT_EQ(kvtest::ReadFileText(p.str()), text);
  EXPECT_FALSE(kvtest::FileExists(p.str() + ".tmp"));
}

TEST(KeywordRewrite, UnreadableFileIsNotRecreated) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  TempPath p("sub");
  kvtest::WriteFileText(p.str(), "niter 1\n");
  chmod(p.c_str(), 0200);
  int found = -1;
  EXPECT_EQ(subsitue_mot_cle(p.c_str(), "niter", &found, "niter 5"), -1);
  chmod(p.c_str(), 0600);
  EXPECT_EQ(kvtest::ReadFileText(p.str()), "niter 1\n");
}

}  // namespace

namespace {

std::string ReadAll(const std::string& path) { return kvtest::ReadFileText(path); }

// Every setting of keyword in path, as lire_valeur_mot_cle reads them: (result, value).
std::vector<std::pair<int, int>> Settings(const std::string& path, const char* keyword) {
  std::vector<std::pair<int, int>> out;
  FILE* f = fopen(path.c_str(), "r");
  if (!f) return out;
  char line[256];
  for (;;) {
    int found = 0, value = -99;
    const int r = lire_valeur_mot_cle(f, keyword, &found, line, &value);
    if (!found) break;
    out.emplace_back(r, value);
  }
  fclose(f);
  return out;
}

}  // namespace

// The word check at the start of a line: one character before the keyword is enough to make
// it part of another word, so xniter is no setting (nor mention) of niter.
TEST(Keywords, OneCharacterBeforeTheKeywordMakesAnotherWord) {
  KeywordFile k("xniter 5\n");
  int found = -1, value = 99;
  char line[256];
  EXPECT_EQ(lire_valeur_mot_cle(k.f, "niter", &found, line, &value), 0);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(value, 99);
  KeywordFile m("xniter 5\n");
  EXPECT_EQ(cherche_mot_cle(m.f, "niter", &found, line), nullptr);
  EXPECT_EQ(found, 0);
  KeywordFile n("xniter 5\nniter 7\n");
  EXPECT_EQ(lire_valeur_mot_cle(n.f, "niter", &found, line, &value), 1);
  EXPECT_EQ(value, 7);
  TempPath p("onechar");
  kvtest::WriteFileText(p.str(), "xniter 5\n");
  EXPECT_EQ(subsitue_mot_cle(p.c_str(), "niter", &found, "niter 6"), 0);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(ReadAll(p.str()), "xniter 5\nniter 6\n");
}

// An empty keyword names no setting: the readers find nothing, the rewrite refuses it and
// leaves the file as it was (it used to replace every line).
TEST(Keywords, AnEmptyKeywordNamesNoSetting) {
  KeywordFile k("NB 5\nniter 3\n");
  int found = -1, value = 99;
  char line[256];
  EXPECT_EQ(lire_valeur_mot_cle(k.f, "", &found, line, &value), 0);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(value, 99);
  KeywordFile m("NB 5\n");
  int yes = 7;
  EXPECT_EQ(lire_valeur_mot_cle_yn(m.f, "", &found, line, &yes), 0);
  EXPECT_EQ(found, 0);
  KeywordFile n("NB 5\n");
  EXPECT_EQ(cherche_mot_cle(n.f, "", &found, line), nullptr);
  EXPECT_EQ(found, 0);
  TempPath p("emptykw");
  kvtest::WriteFileText(p.str(), "NB 5\nniter 3\n");
  found = -1;
  EXPECT_EQ(subsitue_mot_cle(p.c_str(), "", &found, "x 1"), -1);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(ReadAll(p.str()), "NB 5\nniter 3\n");
  TempPath q("emptykw_missing", "", false);
  EXPECT_EQ(subsitue_mot_cle(q.c_str(), "", &found, "x 1"), -1);
  EXPECT_FALSE(kvelo_file_exist(std::wstring(q.str().begin(), q.str().end()).c_str()));
}

// A last line "A" without newline is no setting, but appending "A 5" gives it its newline and
// it would become a setting read first (with nothing after it): it is replaced instead.
TEST(KeywordRewrite, ABareLastLineThatAnAppendWouldMakeASettingIsReplaced) {
  TempPath p("bare");
  kvtest::WriteFileText(p.str(), "B 1\nA");
  int found = -1;
  ASSERT_EQ(subsitue_mot_cle(p.c_str(), "A", &found, "A 5"), 0);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(ReadAll(p.str()), "B 1\nA 5\n");
  EXPECT_EQ(Settings(p.str(), "A"), (std::vector<std::pair<int, int>>{{1, 5}}));
  // A bare last line of another keyword is kept and completed.
  TempPath q("bare2");
  kvtest::WriteFileText(q.str(), "B 1\nC");
  ASSERT_EQ(subsitue_mot_cle(q.c_str(), "A", &found, "A 5"), 0);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(ReadAll(q.str()), "B 1\nC\nA 5\n");
  // With a setting elsewhere the bare line stays as it is: no newline is added, it is no setting.
  TempPath r("bare3");
  kvtest::WriteFileText(r.str(), "A 1\nA");
  ASSERT_EQ(subsitue_mot_cle(r.c_str(), "A", &found, "A 5"), 0);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(ReadAll(r.str()), "A 5\nA");
  EXPECT_EQ(Settings(r.str(), "A"), (std::vector<std::pair<int, int>>{{1, 5}}));
}
