// Tests of the serialisable objects, named entities and the algorithm options with their
// listing message.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "C_Entity.h"
#include "binfile.h"
#include "failing_new.h"
#include "msgcapture.h"

using namespace Kvelo::MessageToolEnums;

namespace {

Kvelo::C_KveloMessage ScreenInfo() {
  return Kvelo::C_KveloMessage("test", __FILE__, __LINE__, TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE,
                               STREAM_SCREEN);
}

std::string OptionLine(const char* fmt, const char* name, const char* value) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, name, value);
  return buf;
}

}  // namespace

TEST(CbfObject, RootDefaults) {
  C_Entity e("x");
  C_CbfObject& o = e;
  EXPECT_EQ(o.TypeCBF(), -1);
  EXPECT_STREQ(o.Version(), "1");
  EXPECT_EQ(o.VersionInt(), 1);
  std::string s = "keep";
  EXPECT_EQ(o.Info(s), 0);
  EXPECT_EQ(s, "keep");
}

TEST(Entity, NameAndInfo) {
  C_Entity e;
  EXPECT_EQ(e.GetName(), "");
  e.SetName("mesh");
  EXPECT_STREQ(e.Nom(), "mesh");
  C_Entity copy(e);
  EXPECT_EQ(copy.GetName(), "mesh");
  EXPECT_STREQ(e.Type(), "C_Entity");
  std::ostringstream os;
  e.Info(os);
  EXPECT_EQ(os.str(), std::string(40, '=') + "\nC_Entity : mesh\n");

  C_Algorithm a("solver");
  std::ostringstream os2;
  a.Info(os2);
  EXPECT_EQ(os2.str(), std::string(40, '=') + "\nC_Algorithm : solver\n");
}

TEST(Entity, BinaryNameRoundTrip) {
  kvtest::TempPath path("entity");
  C_Entity e("abc");
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_EQ(e.Write(f), 0);
  std::fclose(f);
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(path.str()), kvtest::MakeBytes({0, 0, 0, 3, 'a', 'b', 'c'})));

  C_Entity r("old");
  f = std::fopen(path.c_str(), "rb");
  ASSERT_EQ(r.Read(f), 0);
  EXPECT_EQ(r.GetName(), "abc");
  // At the end of the file the read fails and the name stays.
  EXPECT_EQ(r.Read(f), -1);
  EXPECT_EQ(r.GetName(), "abc");
  std::fclose(f);

  // The list callbacks reach Write and Read through the object pointer.
  f = std::fopen(path.c_str(), "wb");
  C_Entity w("zz");
  EXPECT_EQ(C_CbfObject::write_function(f, &w), 0);
  std::fclose(f);
  f = std::fopen(path.c_str(), "rb");
  C_Entity target;
  void* obj = &target;
  int err = -7;
  EXPECT_EQ(C_CbfObject::read_function(f, &obj, &err), &target);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(target.GetName(), "zz");
  std::fclose(f);
}

TEST(Entity, EmptyNameCannotBeWritten) {
  kvtest::MsgCapture cap;
  kvtest::TempPath path("entity_empty");
  FILE* f = std::fopen(path.c_str(), "wb");
  C_Entity e;
  EXPECT_EQ(e.Write(f), -1);
  std::fclose(f);
}

TEST(Entity, AnEmptyStoredNameIsRefused) {
  // No entity writes an empty name (see above): a record holding one is refused and the name
  // stays, so that every name read can be written again.
  kvtest::MsgCapture cap;
  for (const kvtest::Bytes& bytes : {kvtest::MakeBytes({0, 0, 0, 0}), kvtest::MakeBytes({0, 0, 0, 2, 0, 'b'})}) {
    FILE* f = kvtest::StreamWith(bytes);
    ASSERT_NE(f, nullptr);
    C_Entity e("kept");
    EXPECT_EQ(e.Read(f), -1);
    EXPECT_EQ(e.GetName(), "kept");
    std::fclose(f);
    kvtest::TempPath path("entity_again");
    FILE* out = std::fopen(path.c_str(), "wb");
    EXPECT_EQ(e.Write(out), 0);
    std::fclose(out);
  }
}

TEST(Algorithm, OptionsAddReplaceAndDefaults) {
  C_Algorithm a("alg");
  EXPECT_STREQ(a.Type(), "C_Algorithm");
  EXPECT_EQ(static_cast<int>(a.GetDebugScope()), 0);
  C_ItfAlgorithm itf;
  EXPECT_EQ(a.Run(itf), 0);

  EXPECT_FALSE(a.isOption_i("n"));
  EXPECT_EQ(a.getOption_i("n"), 0);  // added with its default
  EXPECT_TRUE(a.isOption_i("n"));
  EXPECT_FALSE(a.isOption_d("n"));

  a.setOption("n", 3);
  a.setOption("n", 4);
  EXPECT_EQ(a.getOption_i("n"), 4);
  a.setOption("n", 2.5);            // the same name in another map
  a.setOption("n", std::string("s"));
  a.setOption("n", true);
  EXPECT_EQ(a.getOption_d("n"), 2.5);
  EXPECT_EQ(a.getOption_s("n"), "s");
  EXPECT_TRUE(a.getOption_b("n"));

  bool b = true;
  a.getOption("flag", b);
  EXPECT_FALSE(b);
  EXPECT_TRUE(a.isOption_b("flag"));
  double d = 1;
  a.getOption("tol", d);
  EXPECT_EQ(d, 0.0);
  std::string s = "x";
  a.getOption("label", s);
  EXPECT_EQ(s, "");
  int i = 9;
  a.getOption("n", i);
  EXPECT_EQ(i, 4);
  EXPECT_EQ(a.getiOptions().size(), 1u);
  EXPECT_EQ(a.getbOptions().size(), 2u);
  EXPECT_EQ(a.getdOptions().size(), 2u);
  EXPECT_EQ(a.getsOptions().size(), 2u);
}

TEST(Algorithm, AnOptionSetOutOfMemoryIsSetWholeOrNotAtAll) {
  C_Algorithm a("solver");
  const std::string value(100, 'v');
  const int failures = kvtest::ForEachAllocation(
      [&] { a.setOption(std::string("a rather long option name"), value); },
      [&] { EXPECT_FALSE(a.isOption_s("a rather long option name")); });
  EXPECT_GE(failures, 1);
  EXPECT_EQ(a.getOption_s("a rather long option name"), value);
}

TEST(Algorithm, CharacterStringsAreStringOptions) {
  // A string literal must never become the bool option true.
  C_Algorithm a("alg");
  a.setOption("Method", "LU");
  EXPECT_TRUE(a.isOption_s("Method"));
  EXPECT_FALSE(a.isOption_b("Method"));
  EXPECT_EQ(a.getOption_s("Method"), "LU");
  char mutableText[] = "QR";
  a.setOption("Method", mutableText);
  const char* pointer = "Cholesky";
  a.setOption("Solver", pointer);
  a.setOption("Empty", static_cast<const char*>(nullptr));
  std::string s;
  a.getOption("Method", s);
  EXPECT_EQ(s, "QR");
  EXPECT_EQ(a.getOption_s("Solver"), "Cholesky");
  EXPECT_TRUE(a.isOption_s("Empty"));
  EXPECT_EQ(a.getOption_s("Empty"), "");
  EXPECT_TRUE(a.getbOptions().empty());
  // The listing shows them as strings.
  kvtest::MsgCapture cap;
  Kvelo::C_KveloMessage msg("Test", __FILE__, __LINE__, Kvelo::MessageToolEnums::TYPE_INFORMATION,
                            Kvelo::MessageToolEnums::LEVEL_PUBLIC, Kvelo::MessageToolEnums::SCOPE_NONE,
                            Kvelo::MessageToolEnums::STREAM_ALL);
  a.AffOptions(msg);
  ASSERT_EQ(cap.Count(1), 1);
  char line[128];
  std::snprintf(line, sizeof line, "  %20s  [str] :   %s\n", "Method", "QR");
  EXPECT_NE(cap.Messages()[0].text.find(line), std::string::npos) << cap.Messages()[0].text;
  EXPECT_EQ(cap.Messages()[0].text.find("[bool]"), std::string::npos);
}

TEST(Algorithm, ListingWithoutOptions) {
  kvtest::MsgCapture cap;
  C_Algorithm a("empty");
  Kvelo::C_KveloMessage m = ScreenInfo();
  a.AffOptions(m);
  ASSERT_EQ(cap.Count(1), 1);
  EXPECT_EQ(cap.OfType(1)[0].text, "\nLIST OF OPTIONS:\n\n  No active Options\n");
}

TEST(Algorithm, ListingLinesInNameOrderPerType) {
  kvtest::MsgCapture cap;
  C_Algorithm a("alg");
  a.setOption("StopCriteria", 5);
  a.setOption("A*A", true);
  a.setOption("off", false);
  a.setOption("tol", 0.001);
  a.setOption("mode", std::string("fast"));
  a.getOption_i("Zeta");  // read before set: listed with 0
  Kvelo::C_KveloMessage m = ScreenInfo();
  a.AffOptions(m);
  ASSERT_EQ(cap.Count(1), 1);
  char zeta[128], stop[128], tol[128];
  std::snprintf(stop, sizeof stop, "  %20s  [int] :   %d\n", "StopCriteria", 5);
  std::snprintf(zeta, sizeof zeta, "  %20s  [int] :   %d\n", "Zeta", 0);
  std::snprintf(tol, sizeof tol, "  %20s  [dbl] :   %g\n", "tol", 0.001);
  const std::string expected = std::string("\nLIST OF OPTIONS:\n\n") +
                               OptionLine("  %20s [bool] :   %s\n", "A*A", "true") +
                               OptionLine("  %20s [bool] :   %s\n", "off", "false") + stop + zeta + tol +
                               OptionLine("  %20s  [str] :   %s\n", "mode", "fast");
  EXPECT_EQ(cap.OfType(1)[0].text, expected);
  // The names are right-aligned in 20 characters.
  EXPECT_NE(expected.find("                   A*A [bool] :   true\n"), std::string::npos);
}

TEST(Algorithm, ListingOnlyWhenTheMessageWouldShow) {
  kvtest::MsgCapture cap;
  cap.SetLevel(LEVEL_PUBLIC);
  C_Algorithm a("alg");
  a.setOption("x", 1);
  Kvelo::C_KveloMessage internal("test", __FILE__, __LINE__, TYPE_INFORMATION, LEVEL_INTERNAL, SCOPE_NONE,
                                 STREAM_SCREEN);
  a.AffOptions(internal);
  EXPECT_EQ(cap.Count(), 0);
  EXPECT_EQ(internal.getMessage(), "");  // untouched when inactive
}

TEST(ProgressEngine, BaseStoresSetUpAndInterfaceHandsItOut) {
  C_ProgressEngine pe(4);
  char text[] = "work";
  pe.SetUp(text, 12.5, C_ProgressEngine::PROGRESS_STEPS);
  EXPECT_EQ(pe.getId(), 4);
  EXPECT_EQ(pe.getTotal(), 12.5);
  EXPECT_EQ(pe.getProgressType(), C_ProgressEngine::PROGRESS_STEPS);
  pe.Update(1);
  pe.Update(2, 0.5);
  pe.Finish();
  EXPECT_FALSE(pe.checkAbort());
  C_ItfAlgorithm itf(&pe);
  EXPECT_EQ(itf.getProgressEngine(), &pe);
}
