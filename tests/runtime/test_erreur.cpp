// Tests of the C reporting entry points while the default message tool is not initialized:
// formatted errors, warnings and information with their exact screen texts, the screen
// tests and switches, the stubs, the fall-back of fct_Trace and MSG_get to the last-used
// tool, and that no C++ exception leaves them.
#include "C_KveloException.h"
#include "C_MessageTool.h"
#include "erreur.h"
#include "kvelosys.h"
#include "msgcapture.h"
#include "msgtool_support.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

using namespace Kvelo;
using namespace Kvelo::MessageToolEnums;
using kvtest::DefaultTool;

namespace {

class ErreurTest : public testing::Test {
 protected:
  void TearDown() override {
    kvtest::RestoreFilters(DefaultTool());
    DefaultTool()->setLogFilename("", true);
  }
};

}  // namespace

TEST_F(ErreurTest, ErrorWarningAndInformationTexts) {
  CaptureStdout();
  CaptureStderr();
  EXPECT_EQ(Erreur("v_add", 12, "src/vecop", "sizes %d and %d differ", 3, 4), 0);
  EXPECT_EQ(Warning("v_add", 13, "src/vecop", "%s", "50% kept"), 0);
  EXPECT_EQ(Msg_public("public %s", "line"), 0);
  EXPECT_EQ(Msg_interne("internal %d", 1), 0);   // level 3: not shown at level 0
  EXPECT_EQ(Msg_verbeux(306, "scoped %d", 2), 0);  // scope 306 not active
  std::string err = GetCapturedStderr();
  std::string out = GetCapturedStdout();
  EXPECT_EQ(err,
            "*** sizes 3 and 4 differ "
            "0 v_add(), src/vecop line 12\n "
            "*** Warning: 50% kept ");
  EXPECT_EQ(out, "public line ");
}

TEST_F(ErreurTest, InternalAndScopedInformationFollowTheScreenSettings) {
  DefaultTool()->setVerbosityLevel(LEVEL_INTERNAL, STREAM_SCREEN);
  switch_verbeux(306, 1);
  CaptureStdout();
  Msg_interne("internal %d", 1);
  Msg_verbeux(306, "scoped %d", 2);
  Msg_verbeux(307, "other scope");
  EXPECT_EQ(GetCapturedStdout(), "internal 1 scoped 2 ");
  switch_verbeux(306, 0);
}

TEST_F(ErreurTest, ReportsReachAHostController) {
  kvtest::MsgCapture cap;
  const std::string big(20000, 'e');  // the formatted text is not cut
  Erreur("f", 1, "file", "%s", big.c_str());
  fct_Trace("aff_lieu", 5, "src/x");  // the default tool is not initialized: no trace message
  ASSERT_EQ(cap.Count(TYPE_ERROR), 1);
  EXPECT_EQ(cap.OfType(TYPE_ERROR)[0].text, big);
  EXPECT_EQ(cap.Count(TYPE_TRACE), 1);  // the call-stack listing of the error
}

TEST_F(ErreurTest, ScreenTestsAndSwitches) {
  EXPECT_EQ(is_externe_on(), 1);
  EXPECT_EQ(is_interne_on(), 0);
  EXPECT_EQ(is_warning_on(), 1);
  EXPECT_EQ(is_trace_on(), 1);
  EXPECT_EQ(is_debug_scope_on(0), 1);
  EXPECT_EQ(is_debug_scope_on(306), 0);
  switch_debug_scope(306, 1);
  EXPECT_EQ(is_debug_scope_on(306), 1);
  EXPECT_EQ(is_verbeux_on(306), 1);
  EXPECT_EQ(DefaultTool()->DebugScopeActive(306, STREAM_LOG), false);  // the screen only
  switch_debug_scope(306, 2);  // only 1 activates
  EXPECT_EQ(is_debug_scope_on(306), 0);
  switch_verbeux(0, 0);
  EXPECT_EQ(is_debug_scope_on(0), 0);
  switch_verbeux(0, 1);
  switch_debug_scope(-1, 1);  // not a scope: nothing is reset or switched
  EXPECT_EQ(is_debug_scope_on(-1), 0);
  DefaultTool()->setVerbosityLevel(LEVEL_INTERNAL, STREAM_SCREEN);
  EXPECT_EQ(is_interne_on(), 1);
  DefaultTool()->setVerbosityLevel(static_cast<E_VerbosityLevel_enum>(-1), STREAM_SCREEN);
  EXPECT_EQ(is_externe_on(), 0);
  DefaultTool()->setMessageTypeFilter(1, STREAM_SCREEN);
  EXPECT_EQ(is_warning_on(), 0);
  EXPECT_EQ(is_trace_on(), 0);
}

TEST_F(ErreurTest, StubsReturnTheirFixedValues) {
  EXPECT_EQ(Msg_fopen("anything.txt"), -1);
  EXPECT_EQ(Msg_fopen(nullptr), -1);
  EXPECT_EQ(MSG_load("x.msb"), 0);
  EXPECT_EQ(MSG_load_default(), 0);
  EXPECT_EQ(MSG_get_last_id(), 0);
  EXPECT_EQ(Msg_fget(), 0);
  MSG_free(nullptr);
  Msg_fclose();
  Msg_fset(stdout);
  switch_externe(0);
  switch_interne(1);
  switch_trace(0);
  switch_warning(0);
  EXPECT_EQ(is_trace_on(), 1);  // the stubs switched nothing
  EXPECT_EQ(is_warning_on(), 1);
}

TEST_F(ErreurTest, NoExceptionLeavesTheCEntryPoints) {
  // A log file that cannot be opened makes the tool throw; the C entry points give -1.
  DefaultTool()->setLogFilename("no_such_dir_" + std::to_string(getpid()) + "/e.log", true);
  CaptureStderr();
  int r = 0;
  EXPECT_NO_THROW(r = Erreur("f", 1, "file", "x"));
  EXPECT_EQ(r, -1);
  EXPECT_EQ(DefaultTool()->getLogFilename(), "");  // later reports go on without the log
  EXPECT_NO_THROW(r = Warning("f", 1, "file", "y"));
  EXPECT_EQ(r, 0);
  GetCapturedStderr();
}

// Runs in one test so that the order is fixed: first no tool is initialized, then a second
// tool is, and becomes the last-used tool once Instance finds it.
TEST_F(ErreurTest, FallBackToTheLastUsedTool) {
  static int run = 0;
  if (run++ > 0) GTEST_SKIP() << "needs a process in which no tool was initialized yet";
  ASSERT_EQ(C_MessageTool::LastInstance(), nullptr);
  CaptureStderr();
  EXPECT_EQ(fct_Trace("aff_lieu", 120, "src/bf"), -1);
  EXPECT_EQ(MSG_get(5), nullptr);
  EXPECT_EQ(MSG_get_default(-1), nullptr);  // the tool check comes first
  EXPECT_EQ(GetCapturedStderr(),
            "Error: *** We couldn't retrieve the \"last used\" Message Tool !\n"
            "*** fct_Trace( aff_lieu, 120, src/bf)\n"
            "Error: *** We couldn't retrieve the \"last used\" Message Tool !\n"
            "Error: *** We couldn't retrieve the \"last used\" Message Tool !\n");

  C_MessageTool* second = C_MessageTool::Instance("SecondTool");
  C_DevNullCtrl devnull;
  second->setMessageStreamCtrl(devnull, STREAM_ALL);
  ASSERT_EQ(second->Initialize(), 0);
  second->ResetMessageStreamCtrl(STREAM_ALL);
  ASSERT_EQ(C_MessageTool::Instance("SecondTool"), second);
  ASSERT_EQ(C_MessageTool::LastInstance(), second);

  CaptureStderr();
  EXPECT_EQ(fct_Trace("aff_lieu", 120, "src/bf"), 0);
  EXPECT_EQ(GetCapturedStderr(), "fct_Trace: aff_lieu(), src/bf line 120 ");
  {
    kvtest::MsgCapture cap("SecondTool");
    EXPECT_EQ(fct_Trace("my_function", 7, "src/liste_chainee"), 0);
    ASSERT_EQ(cap.Count(TYPE_TRACE), 1);
    EXPECT_EQ(cap.Messages()[0].text, "fct_Trace: my_function(), src/liste_chainee line 7");
  }
  // MSG_get reads the last-used tool's database, which lacks every code here.
  EXPECT_EQ(MSG_get(-3), nullptr);
  try {
    MSG_get(5, 1, "x");
    ADD_FAILURE() << "no exception";
  } catch (const C_KveloException& e) {
    EXPECT_EQ(e.getExceptionCode(), 104);
  }
}
