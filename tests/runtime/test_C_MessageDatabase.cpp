// Tests of the message database: reading message files (headers, pieces, end markers, other
// languages, "class" headers, broken records), the errors of LoadFile and GetMessage, and the
// filling of "{N,conv}" placeholders from variadic arguments.
#include "runtime/C_MessageDatabase.h"

#include "C_CallStack.h"
#include "C_KveloException.h"
#include "binfile.h"
#include "failing_new.h"
#include "msbfile.h"
#include "msgcapture.h"
#include "thrown_code.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Kvelo::MessageToolEnums;
using kvtest::MsbWriter;
using kvtest::TempDir;
using kvtest::TempPath;

namespace {

C_MessageDatabase::E_CodeLang Lang(int n) { return static_cast<C_MessageDatabase::E_CodeLang>(n); }

// Loads the records into a fresh database of language lang.
struct Loaded {
  TempPath path{"msgdb", ".msb"};
  C_MessageDatabase db;
  Loaded(const MsbWriter& w, int lang) {
    EXPECT_TRUE(w.Save(path.str()));
    EXPECT_EQ(db.LoadFile(path.str(), Lang(lang)), 0);
  }
};

// The stored text of id, or "<none>".
std::string TextOf(C_MessageDatabase& db, int id) {
  std::string out;
  try {
    db.GetMessage(out, id, static_cast<va_list*>(nullptr));
  } catch (const C_KveloException&) {
    return "<none>";
  }
  return out;
}

}  // namespace

TEST(C_MessageDatabase, EndMarkersAndHeadersAloneDelimitTheSameTexts) {
  MsbWriter marked;
  marked.Message(0, 1, "first").Message(0, 2, "second").Message(0, 3, "third");
  MsbWriter bare;  // messages separated only by the next header; the last one ends with a marker
  bare.Header(0, 1).Piece("first\n").Header(0, 2).Piece("second\n").Header(0, 3).Piece("third\n").End();
  Loaded a(marked, 0), b(bare, 0);
  for (int id = 1; id <= 3; ++id) EXPECT_EQ(TextOf(a.db, id), TextOf(b.db, id)) << id;
  EXPECT_EQ(TextOf(a.db, 2), "second");
  EXPECT_EQ(a.db.Language(), 0);
  EXPECT_EQ(a.db.FileName(), a.path.str());
}

TEST(C_MessageDatabase, PiecesAreJoinedAndOnlyTheLastCharacterIsDropped) {
  MsbWriter w;
  w.Header(2, 10).Piece("line one\n").Piece("line two\n").End();
  w.Header(2, 11).Piece("no line end").End();  // the last character goes whatever it is
  w.Header(2, 12).End();                          // an empty text stays empty
  w.Header(2, 13).Piece("tab\there\r\n").End();
  Loaded l(w, 2);
  EXPECT_EQ(TextOf(l.db, 10), "line one\nline two");
  EXPECT_EQ(TextOf(l.db, 11), "no line en");
  EXPECT_EQ(TextOf(l.db, 12), "");
  EXPECT_EQ(TextOf(l.db, 13), "tab\there\r");
}

TEST(C_MessageDatabase, OtherLanguagesAndClassHeadersAreSkippedWithTheirPieces) {
  MsbWriter w;
  w.Message(1, 5, "english five");
  w.Message(0, 5, "langue zero");  // another language: not loaded into a language-1 database
  w.Record("|1,6 class header").Piece("skipped\n").End();
  w.Record("|1,7").Piece("kept\n");
  w.Record("|class").Piece("also skipped\n");  // ends message 7 and starts nothing
  w.Record("|x,8").Piece("not a header that parses\n").End();
  w.Message(1, 9, "nine");
  Loaded l(w, 1);
  EXPECT_EQ(TextOf(l.db, 5), "english five");
  EXPECT_EQ(TextOf(l.db, 6), "<none>");
  EXPECT_EQ(TextOf(l.db, 7), "kept");
  EXPECT_EQ(TextOf(l.db, 8), "<none>");
  EXPECT_EQ(TextOf(l.db, 9), "nine");
  // Only the database's language is filled; another language's collection exists only when
  // asked for, and is then empty.
  C_MessageCollection* zero = l.db.GetCollection(0);
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(zero->Size(), 0u);
  EXPECT_EQ(zero->Language(), 0);
  EXPECT_EQ(l.db.GetCollection(1)->Size(), 3u);
  EXPECT_EQ(l.db.GetCollection(0), zero);  // created once
}

// Numbers beyond int in a header are no header of this language: they are not wrapped into
// another code (2^32 + 10 would otherwise land on message 10).
TEST(C_MessageDatabase, HeaderNumbersBeyondIntAreNotWrapped) {
  MsbWriter w;
  w.Record("|1,4294967306").Piece("wrapped code\n").End();
  w.Record("|4294967297,11").Piece("wrapped language\n").End();
  w.Record("|1,-2147483649").Piece("below int\n").End();
  w.Record("|1, 12").Piece("blank before the code\n").End();  // as "%d" reads it
  w.Record("|1,2147483647").Piece("largest code\n").End();
  Loaded l(w, 1);
  EXPECT_EQ(TextOf(l.db, 10), "<none>");
  EXPECT_EQ(TextOf(l.db, 11), "<none>");
  EXPECT_EQ(TextOf(l.db, 12), "blank before the code");
  EXPECT_EQ(TextOf(l.db, 2147483647), "largest code");
  EXPECT_EQ(l.db.GetCollection(1)->Size(), 2u);
}

// The ends of int are the last header numbers taken; one beyond either end is no header, in the
// language as in the code, and never stands for the other end (which wrapping would give).
TEST(C_MessageDatabase, HeaderNumbersAtTheEndsOfInt) {
  const int kMax = 2147483647;
  const int kMin = -2147483647 - 1;
  const struct {
    const char* header;
    int language;  // of the database
    int code;      // the code to look up
    bool held;     // whether it holds the text
  } cases[] = {
      {"|1,2147483647", 1, kMax, true},      {"|1,2147483648", 1, kMin, false},
      {"|1,-2147483648", 1, kMin, true},     {"|1,-2147483649", 1, kMax, false},
      {"|2147483647,7", kMax, 7, true},      {"|2147483648,7", kMin, 7, false},
      {"|-2147483648,7", kMin, 7, true},     {"|-2147483649,7", kMax, 7, false},
  };
  for (const auto& c : cases) {
    MsbWriter w;
    w.Record(c.header).Piece("text\n").End();
    Loaded l(w, c.language);
    EXPECT_EQ(TextOf(l.db, c.code), c.held ? "text" : "<none>") << c.header;
    EXPECT_EQ(l.db.GetCollection(c.language)->Size(), c.held ? 1u : 0u) << c.header;
  }
}

TEST(C_MessageDatabase, LaterTextsOfACodeReplaceEarlierOnesAndASecondLoadAdds) {
  MsbWriter w;
  w.Message(0, 1, "old").Message(0, 1, "new");
  Loaded l(w, 0);
  EXPECT_EQ(TextOf(l.db, 1), "new");
  TempPath second("msgdb2", ".msb");
  MsbWriter more;
  more.Message(0, 1, "newer").Message(0, 2, "two");
  ASSERT_TRUE(more.Save(second.str()));
  EXPECT_EQ(l.db.LoadFile(second.str(), Lang(0)), 0);
  EXPECT_EQ(TextOf(l.db, 1), "newer");
  EXPECT_EQ(TextOf(l.db, 2), "two");
  EXPECT_EQ(l.db.FileName(), second.str());
}

TEST(C_MessageDatabase, BrokenRecordsEndTheLoadingAndKeepWhatWasStored) {
  struct Case {
    const char* what;
    MsbWriter tail;
  };
  std::vector<Case> cases(5);
  cases[0].what = "zero length";
  cases[0].tail.Length(0).Message(0, 3, "after");
  cases[1].what = "negative length";
  cases[1].tail.Length(-5).Message(0, 3, "after");
  cases[2].what = "length past the end";
  cases[2].tail.Length(1000).Raw({0x9E, 0x9D});
  cases[3].what = "cut inside the length";
  cases[3].tail.Raw({0x00, 0x00});
  cases[4].what = "message without end at the end of the file";
  cases[4].tail.Header(0, 3).Piece("dropped\n");
  for (Case& c : cases) {
    MsbWriter w;
    w.Message(0, 1, "one").Header(0, 2).Piece("two\n").End();
    w.Raw(c.tail.Bytes());
    Loaded l(w, 0);
    EXPECT_EQ(TextOf(l.db, 1), "one") << c.what;
    EXPECT_EQ(TextOf(l.db, 2), "two") << c.what;
    EXPECT_EQ(TextOf(l.db, 3), "<none>") << c.what;
  }
}

TEST(C_MessageDatabase, AStoredZeroByteEndsTheRecordText) {
  // The byte 0xFF of a text is stored as 0: the reader stops restoring there.
  MsbWriter w;
  w.Header(0, 1).Piece(std::string("abc\xFF" "def\n")).Piece("ghi\n").End();
  Loaded l(w, 0);
  EXPECT_EQ(TextOf(l.db, 1), "abcghi");
}

TEST(C_MessageDatabase, LoadFileFailures) {
  C_MessageDatabase db;
  // Not a regular file, or nothing to examine: 102, thrown inside LoadFile's traced scope.
  TempDir dir("msgdb_dir");
  for (const std::string& name : {std::string("no_such_file.msb"), dir.str(), std::string()}) {
    try {
      db.LoadFile(name, Lang(4));
      ADD_FAILURE() << name;
    } catch (const C_KveloException& e) {
      EXPECT_EQ(e.getExceptionCode(), 102) << name;
      EXPECT_EQ(e.getReasonCode(), 0);
      EXPECT_EQ(e.getKey(), "DefaultMessageTool");
      EXPECT_STREQ(e.getErrorLocation().function, "Throwing");
      const Kvelo::C_CallStack& stack = e.getCallStack();
      ASSERT_GE(stack.NbEntries(), 1);
      EXPECT_STREQ(stack.GetEntry(stack.NbEntries() - 1).function, "C_MessageDatabase::LoadFile");
    }
  }
  // A load that fails takes neither the language nor the file name.
  EXPECT_EQ(db.Language(), 0);
  EXPECT_EQ(db.FileName(), "");
  EXPECT_EQ(Kvelo::GlobalCallstackCollection().GetCurrentCallStack().NbEntries(), 0);

  if (geteuid() != 0) {  // permissions do not stop the superuser
    TempPath locked("msgdb_locked", ".msb");
    ASSERT_TRUE(MsbWriter().Message(0, 1, "x").Save(locked.str()));
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    try {
      db.LoadFile(locked.str(), Lang(0));
      ADD_FAILURE() << "no exception";
    } catch (const C_KveloException& e) {
      EXPECT_EQ(e.getExceptionCode(), 103);
      EXPECT_EQ(e.getErrno(), EACCES);
      EXPECT_EQ(e.getReasonCode(), 2828);  // EACCES
    }
    chmod(locked.c_str(), 0600);
  }
  // No descriptor left: stat succeeds, the opening fails (EMFILE, reason 7), even for root.
  TempPath full("msgdb_emfile", ".msb");
  ASSERT_TRUE(MsbWriter().Message(0, 1, "x").Save(full.str()));
  const int lowest = dup(0);
  ASSERT_GE(lowest, 0);
  close(lowest);
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  struct rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(lowest);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  int code = 0, reason = 0, err = 0;
  try {
    db.LoadFile(full.str(), Lang(0));
  } catch (const C_KveloException& e) {
    code = e.getExceptionCode();
    reason = e.getReasonCode();
    err = e.getErrno();
  }
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(code, 103);
  EXPECT_EQ(err, EMFILE);
  EXPECT_EQ(reason, 7);
}

TEST(C_MessageDatabase, AFailedLoadLeavesTheDatabaseAsItWas) {
  MsbWriter before;
  before.Message(0, 1, "first").Message(0, 2, "second");
  Loaded l(before, 0);
  auto unchanged = [&](const char* what) {
    EXPECT_EQ(l.db.Language(), 0) << what;
    EXPECT_EQ(l.db.FileName(), l.path.str()) << what;
    EXPECT_EQ(TextOf(l.db, 1), "first") << what;
    EXPECT_EQ(TextOf(l.db, 2), "second") << what;
    EXPECT_EQ(TextOf(l.db, 3), "<none>") << what;
  };
  // A file that is not there: the database keeps its language, file and texts.
  EXPECT_EQ(kvtest::ThrownCode([&] { l.db.LoadFile("no_such_file.msb", Lang(5)); }), 102);
  unchanged("missing file");

  // A second file of the same language, whose load runs out of memory at each of its
  // allocations in turn: every failure leaves the texts of the first file, none of the second.
  MsbWriter after;
  after.Message(0, 2, "replaced").Message(0, 3, "third");
  TempPath second("msgdb_second", ".msb");
  ASSERT_TRUE(after.Save(second.str()));
  const int failures =
      kvtest::ForEachAllocation([&] { l.db.LoadFile(second.str(), Lang(0)); }, [&] { unchanged("no memory"); });
  EXPECT_GT(failures, 3);
  EXPECT_EQ(l.db.FileName(), second.str());
  EXPECT_EQ(TextOf(l.db, 1), "first");
  EXPECT_EQ(TextOf(l.db, 2), "replaced");
  EXPECT_EQ(TextOf(l.db, 3), "third");
}

TEST(C_MessageDatabase, ATextStoredOutOfMemoryIsStoredWholeOrNotAtAll) {
  C_MessageCollection texts(0);
  const std::string text(200, 't');
  const int failures = kvtest::ForEachAllocation([&] { texts.SetText(5, text); },
                                                 [&] {
                                                   std::string out = "none";
                                                   EXPECT_EQ(texts.GetText(5, out), -1);
                                                   EXPECT_EQ(out, "none");
                                                 });
  EXPECT_GE(failures, 1);
  std::string out;
  ASSERT_EQ(texts.GetText(5, out), 0);
  EXPECT_EQ(out, text);
}

TEST(C_MessageDatabase, MissingCodesThrow104) {
  MsbWriter w;
  w.Message(0, 1, "one");
  Loaded l(w, 0);
  std::string out = "kept";
  EXPECT_EQ(kvtest::ThrownCode([&] { l.db.GetMessage(out, 0, static_cast<va_list*>(nullptr)); }), 104);
  EXPECT_EQ(kvtest::ThrownCode([&] { l.db.GetMessage(out, 2, 7); }), 104);
  EXPECT_EQ(out, "kept");
  C_MessageDatabase empty;
  try {
    empty.GetMessage(out, 1, static_cast<va_list*>(nullptr));
    ADD_FAILURE() << "no exception";
  } catch (const C_KveloException& e) {
    EXPECT_EQ(e.getExceptionCode(), 104);
    const Kvelo::C_CallStack& stack = e.getCallStack();
    ASSERT_GE(stack.NbEntries(), 1);
    EXPECT_STREQ(stack.GetEntry(stack.NbEntries() - 1).function, "C_MessageDatabase::GetMessage");
  }
}

class Placeholders : public testing::Test {
 protected:
  void SetUp() override {
    MsbWriter w;
    w.Message(0, 1, "Value {1,s} at {0,d}");
    w.Message(0, 2, "d={0,d} u={1,u} e={2,e} f={3,f} g1=[{4,g1}] g2=[{5,g2}] re={6,re} rf={7,rf} s={8,s}");
    w.Message(0, 3, "no placeholders {here");
    w.Message(0, 4, "{0,s}");
    w.Message(0, 5, "{0,dx} {1,g2y} {2,rfz}");  // only the first character, the second for g and r
    w.Message(0, 6, "[{0,s}]");
    w.Message(0, 7, "twice {0,d} and {0,d}, then {1,s}");
    w.Message(0, 8, "a {0,q} b {1,d}");
    w.Message(0, 9, "gap {0,d} {2,d}");
    w.Message(0, 10, "braces {x} {0} {,d} {1,} {0,d} { 1,s} {-1,d} {2,d");
    w.Message(0, 11, "g {0,g} r {1,r}");
    w.Message(0, 12, "x={0,s} ? {1,zz} y={2,f} {3,g9} z={4,d}");
    ASSERT_TRUE(w.Save(path.str()));
    ASSERT_EQ(db.LoadFile(path.str(), Lang(0)), 0);
  }
  TempPath path{"msgdb_ph", ".msb"};
  C_MessageDatabase db;
  std::string out;
};

TEST_F(Placeholders, ArgumentsAreTakenInNumberOrderAndPlacedWhereTheirNumberStands) {
  EXPECT_EQ(db.GetMessage(out, 1, 7, "x"), "Value x at 7");
  EXPECT_EQ(db.GetMessage(out, 6, static_cast<const char*>(nullptr)), "[]");  // a null string prints nothing
}

TEST_F(Placeholders, EachConversionHasItsFormat) {
  db.GetMessage(out, 2, -12, 4000000000u, 1.5, 0.5, 2.5, 1234.5, 1.25, 3.0, "str");
  EXPECT_EQ(out,
            "d=-12 u=4000000000 e=1.500000e+00 f=0.5 g1=[       2.5] g2=[         1234.5] re=1.250000 "
            "rf=3.000000 s=str");
  // f is "%g", not "%f".
  db.GetMessage(out, 5, 42, 1e-5, 2.0);
  EXPECT_EQ(out, "42 " + std::string(10, ' ') + "1e-05 2.000000");
}

TEST_F(Placeholders, TextsWithoutArgumentListOrPlaceholdersComeBackUnchanged) {
  EXPECT_EQ(db.GetMessage(out, 1, static_cast<va_list*>(nullptr)), "Value {1,s} at {0,d}");
  EXPECT_EQ(db.GetMessage(out, 3, 1), "no placeholders {here");
}

TEST_F(Placeholders, ANumberUsedTwiceShowsItsArgumentAtEachPlace) {
  EXPECT_EQ(db.GetMessage(out, 7, 5, "s"), "twice 5 and 5, then s");
}

TEST_F(Placeholders, AnUnknownConversionTakesNoArgumentAndTheRestAreFilled) {
  kvtest::MsgCapture cap;
  cap.SetLevel(LEVEL_INTERNAL);
  // An unknown conversion is reported and stays as written; it takes no argument, so the next
  // number takes the next argument: here the first one.
  EXPECT_EQ(db.GetMessage(out, 8, 7), "a {0,q} b 7");
  ASSERT_EQ(cap.Count(TYPE_INFORMATION), 1);
  EXPECT_EQ(cap.Messages()[0].text, "internal error: unknown format specifier");
  cap.Clear();
  // g and r with another second character are unknown too: two reports, no argument taken.
  EXPECT_EQ(db.GetMessage(out, 11, 1.0, 2.0), "g {0,g} r {1,r}");
  EXPECT_EQ(cap.Count(TYPE_INFORMATION), 2);
  cap.Clear();
  // Unknown conversions between known ones, of every kind of argument.
  EXPECT_EQ(db.GetMessage(out, 12, "s", 2.5, 9), "x=s ? {1,zz} y=2.5 {3,g9} z=9");
  EXPECT_EQ(cap.Count(TYPE_INFORMATION), 2);
  // A missing number still ends the reading: which type its argument has is unknown.
  EXPECT_EQ(db.GetMessage(out, 9, 1, 2, 3), "gap 1 {2,d}");
}

TEST_F(Placeholders, TheLengthLimitCutsOnlyWhatDoesNotFit) {
  // "[" + argument + "]": results of 5,119, 5,120 and 5,121 characters. A result of exactly
  // 5,120 characters is whole: the limit is reached only when something would be dropped.
  kvtest::MsgCapture cap;
  cap.SetLevel(LEVEL_INTERNAL);
  const struct {
    std::size_t resultLength;
    bool cut;
  } cases[] = {{5119, false}, {5120, false}, {5121, true}};
  for (const auto& c : cases) {
    cap.Clear();
    const std::string arg(c.resultLength - 2, 'q');
    const std::string whole = "[" + arg + "]";
    db.GetMessage(out, 6, arg.c_str());
    EXPECT_EQ(out, c.cut ? whole.substr(0, 5120) : whole) << c.resultLength;
    EXPECT_EQ(out.size(), c.cut ? 5120u : c.resultLength) << c.resultLength;
    EXPECT_EQ(cap.Count(TYPE_INFORMATION), c.cut ? 1 : 0) << c.resultLength;
    if (c.cut && cap.Count(TYPE_INFORMATION) == 1) {
      EXPECT_EQ(cap.Messages()[0].text, "Message 6 is too long! The maximum message len is 5120.");
    }
  }
}

TEST_F(Placeholders, BracesThatOpenNoPlaceholderAreCopied) {
  EXPECT_EQ(db.GetMessage(out, 10, 7, "s", 9), "braces {x} {0} {,d} {1,} 7 s {-1,d} {2,d");
}

TEST_F(Placeholders, OverlongStringArgumentsAndResultsAreCutWithAReport) {
  kvtest::MsgCapture cap;
  cap.SetLevel(LEVEL_INTERNAL);
  const std::string fits(5119, 'a');
  EXPECT_EQ(db.GetMessage(out, 4, fits.c_str()), fits);
  EXPECT_EQ(cap.Count(), 0);
  const std::string tooLong(5120, 'b');
  EXPECT_EQ(db.GetMessage(out, 1, 3, tooLong.c_str()), "Value *arg too long* at 3");
  ASSERT_EQ(cap.Count(TYPE_INFORMATION), 1);
  EXPECT_EQ(cap.Messages()[0].text, "Argument 1 to the message 1 is too long! The maximum message len is 5120.");
  cap.Clear();
  // "[" + 5119 + "]" is 5121 characters: the result keeps 5120 and the report says so.
  EXPECT_EQ(db.GetMessage(out, 6, fits.c_str()), "[" + fits);
  ASSERT_EQ(cap.Count(TYPE_INFORMATION), 1);
  EXPECT_EQ(cap.Messages()[0].text, "Message 6 is too long! The maximum message len is 5120.");
}

TEST(C_MessageDatabase, ReportsOfTheLookupAreInternal) {
  // At the default level the reports of the lookup do not reach the screen.
  MsbWriter w;
  w.Message(0, 1, "{0,s}");
  Loaded l(w, 0);
  kvtest::MsgCapture cap;
  const std::string tooLong(6000, 'c');
  std::string out;
  EXPECT_EQ(l.db.GetMessage(out, 1, tooLong.c_str()), "*arg too long*");
  EXPECT_EQ(cap.Count(), 0);
}
