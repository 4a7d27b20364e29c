// test_source_name.cpp: how reports name the place they come from. Whatever path the build gave
// __FILE__, messages, exceptions, call-stack entries and listings, trace marks, errors and the
// C matrix library's error records name a source "src/<module>" and a header
// "include/<header>", the way the library's own fixed names ("src/bf") already do.
#include "C_CallStack.h"
#include "C_KveloException.h"
#include "C_MessageTool.h"
#include "C_WorkSpace.h"
#include "erreur.h"
#include "msgcapture.h"
#include "ooc_files.h"
#include "runtime/m_err_internal.h"
#include "runtime/source_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace Kvelo;
using namespace Kvelo::MessageToolEnums;

namespace {

struct NameCase {
  const char* given;
  const char* named;
};

// An initialized tool whose screen a capture takes over: fct_Trace needs an initialized tool,
// and finds this one as the last used while the default tool is not initialized.
struct InitializedCapture {
  InitializedCapture() {
    C_MessageTool* t = C_MessageTool::Instance("Source name sink");
    C_DevNullCtrl devnull;
    t->setMessageStreamCtrl(devnull, STREAM_ALL);
    t->Initialize();
    t->ResetMessageStreamCtrl(STREAM_ALL);
    C_MessageTool::Instance("Source name sink");  // the last-used tool from now on
    cap.reset(new kvtest::MsgCapture("Source name sink"));
  }
  std::unique_ptr<kvtest::MsgCapture> cap;
};

// Whether the text names a file by a path or with an extension of a source or a header.
bool HasBuildPath(const std::string& text) {
  for (const char* bad : {".cpp", ".h ", ".c ", "/src/", "/include/", "runtime/", "\\"})
    if (text.find(bad) != std::string::npos) return true;
  return false;
}

}  // namespace

TEST(SourceName, TheLibrarysNameOfAFile) {
  const NameCase cases[] = {
      {"/home/builder/kvelo/src/runtime/C_WorkSpace.cpp", "src/C_WorkSpace"},
      {"src/runtime/C_MessageTool.cpp", "src/C_MessageTool"},
      {"C:\\build\\kvelo\\src\\erreur.cpp", "src/erreur"},
      {"/opt/x/include/C_Vec.h", "include/C_Vec"},
      {"../../include/C_KveloException.h", "include/C_KveloException"},
      {"tests/cmatrix/vstruct_headers_c.c", "src/vstruct_headers_c"},
      {"m.cc", "src/m"},
      {"m.cxx", "src/m"},
      {"LIB.CPP", "src/LIB"},
      {"h.hpp", "include/h"},
      {"h.hh", "include/h"},
      {"h.hxx", "include/h"},
      {"/a/b.v2/c_lib.h", "include/c_lib"},  // only the last component counts
      // Names already in the library's form, and names that are no source file, stay.
      {"src/bf", "src/bf"},
      {"include/C_Entity", "include/C_Entity"},
      {"vadinit", "vadinit"},
      {"Kriging", "Kriging"},
      {"notes.txt", "notes.txt"},
      {"/a/b.cpp/README", "/a/b.cpp/README"},
      {".h", ".h"},
      {"dir/", "dir/"},
      {"", ""},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(kvrt::SourceName(c.given), c.named) << c.given;
    char field[128];
    std::memset(field, '#', sizeof field);
    EXPECT_EQ(kvrt::SourceName(c.given, field, sizeof field), std::strlen(c.named)) << c.given;
    EXPECT_STREQ(field, c.named) << c.given;
  }
  EXPECT_EQ(kvrt::SourceName(nullptr), "");
  // Cut to the field, always terminated, nothing written past it.
  char small[9];
  std::memset(small, '#', sizeof small);
  EXPECT_EQ(kvrt::SourceName("/x/src/C_MessageDatabase.cpp", small, 8), 7u);
  EXPECT_STREQ(small, "src/C_M");
  EXPECT_EQ(small[8], '#');
}

TEST(SourceName, EntriesMessagesAndExceptionsKeepTheLibrarysName) {
  C_Entry e("Fn", "/work/build/kvelo/src/containers/C_Vec.cpp", 3);
  EXPECT_STREQ(e.file, "src/C_Vec");
  C_KveloMessage m("Fn", "/abs/include/C_MatMGe.h", 9, TYPE_INFORMATION, std::string("x"));
  EXPECT_STREQ(m.getErrorLocation().file, "include/C_MatMGe");
  // The library's own throw: the place is the throwing source, by the library's name.
  C_WorkSpace ws(C_WorkSpace::INCORE, 0);
  try {
    ws.Info(nullptr);
    ADD_FAILURE() << "no exception";
  } catch (const C_KveloException& x) {
    EXPECT_EQ(x.getExceptionCode(), 12);
    EXPECT_STREQ(x.getErrorLocation().function, "Throwing");
    EXPECT_STREQ(x.getErrorLocation().file, "src/C_WorkSpace");
  }
}

TEST(SourceName, TheListingAfterAnErrorNamesEverySourceTheLibrarysWay) {
  // A work space whose data file cannot be sized reports the exception with the stack of its
  // two traced scopes, then throws it on.
  kvtest::PrivateTmpDir tmp;
  kvtest::MsgCapture cap;
  try {
    C_WorkSpace ws(C_WorkSpace::OUTOFCORE, 2048);
    ADD_FAILURE() << "no exception";
  } catch (const C_KveloException& x) {
    EXPECT_EQ(x.getExceptionCode(), 9);
    const C_CallStack& s = x.getCallStack();
    ASSERT_EQ(s.NbEntries(), 2);
    EXPECT_STREQ(s.GetEntry(0).function, "C_WorkSpace::CreateDataFile");
    EXPECT_STREQ(s.GetEntry(0).file, "src/C_WorkSpace");
    EXPECT_STREQ(s.GetEntry(1).function, "C_WorkSpace::_setDataFileSize");
    EXPECT_STREQ(s.GetEntry(1).file, "src/C_WorkSpace");
  }
  ASSERT_EQ(cap.Count(TYPE_TRACE), 1);
  const std::string listing = cap.OfType(TYPE_TRACE)[0].text;
  EXPECT_EQ(listing.find("2 Throwing(), src/C_WorkSpace line "), 0u) << listing;
  EXPECT_NE(listing.find("\n1 C_WorkSpace::_setDataFileSize(), src/C_WorkSpace line "), std::string::npos) << listing;
  EXPECT_NE(listing.find("\n0 C_WorkSpace::CreateDataFile(), src/C_WorkSpace line "), std::string::npos) << listing;
  EXPECT_FALSE(HasBuildPath(listing)) << listing;
  EXPECT_TRUE(tmp.Files().empty());
}

TEST(SourceName, TraceMarksErrorsAndTheMatrixErrorHandler) {
  InitializedCapture sink;
  kvtest::MsgCapture cap;  // errors, warnings and their listings go to the default tool
  C_Trace scope("Host::Step", "/home/u/app/src/host_app.cpp", 42);
  // The trace mark names the source.
  EXPECT_EQ(fct_Trace("aff_lieu", 120, "/builder/kvelo/src/runtime/bf.cpp"), 0);
  ASSERT_EQ(sink.cap->Count(TYPE_TRACE), 1);
  EXPECT_EQ(sink.cap->Messages()[0].text, "fct_Trace: aff_lieu(), src/bf line 120");
  // An error is listed with its own place first, then the open scopes.
  EXPECT_EQ(Erreur("Host::Check", 7, "/builder/kvelo/include/C_Vec.h", "bad %d", 3), 0);
  ASSERT_EQ(cap.Count(TYPE_ERROR), 1);
  EXPECT_EQ(cap.OfType(TYPE_ERROR)[0].text, "bad 3");
  ASSERT_EQ(cap.Count(TYPE_TRACE), 1);
  EXPECT_EQ(cap.OfType(TYPE_TRACE)[0].text,
            "1 Host::Check(), include/C_Vec line 7\n0 Host::Step(), src/host_app line 42\n");
  cap.Clear();
  EXPECT_EQ(Warning("Host::Warn", 8, "C:\\w\\src\\cmatrix\\vecop.cpp", "careful"), 0);
  ASSERT_EQ(cap.Count(TYPE_WARNING), 1);
  cap.Clear();
  // The C matrix library's errors: kept and reported under the source's name.
  LM_ResetErrors();
  _LM_err_status = 0;
  EXPECT_EQ(_LM_error("/builder/kvelo/src/cmatrix/vecop.cpp", 3, 99, "v_add", 0, 10, "caller"), 0);
  EXPECT_EQ(_LM_err_status, -1);
  _LM_err_status = 0;
  ASSERT_EQ(LM_ErrorCount(), 1);
  EXPECT_STREQ(LM_ErrorRecordAt(0)->file, "src/vecop");
  _LM_error_push("pushed", "m_add", "/x/src/cmatrix/matop.cpp", 5);
  ASSERT_EQ(LM_ErrorCount(), 2);
  EXPECT_STREQ(LM_ErrorRecordAt(1)->file, "src/matop");
  // Names given the library's way stay as they are.
  _LM_error("vadinit", 3, 1, "v_rand", 0, 1, "caller");
  _LM_err_status = 0;
  EXPECT_STREQ(LM_ErrorRecordAt(2)->file, "vadinit");
  for (const kvtest::CapturedMessage& m : cap.Messages()) EXPECT_FALSE(HasBuildPath(m.text)) << m.text;
  EXPECT_NE(cap.OfType(TYPE_TRACE).at(0).text.find("v_add(), src/vecop line 99\n"), std::string::npos);
  LM_ResetErrors();
}
