// Tests of the C reporting entry points once the default message tool is initialized (as a
// tool whose streams are all swallowed becomes, then given back its own controllers).
#include "C_KveloException.h"
#include "C_MessageTool.h"
#include "erreur.h"
#include "msgtool_support.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

using namespace Kvelo;
using namespace Kvelo::MessageToolEnums;
using kvtest::DefaultTool;

namespace {

class InitializedDefault : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    C_DevNullCtrl devnull;
    DefaultTool()->setMessageStreamCtrl(devnull, STREAM_ALL);
    ASSERT_EQ(DefaultTool()->Initialize(), 0);
    DefaultTool()->ResetMessageStreamCtrl(STREAM_ALL);
  }
  void TearDown() override {
    DefaultTool()->setMessageTypeFilter(15, STREAM_ALL);
    DefaultTool()->setLogFilename("", true);
  }
};

}  // namespace

TEST_F(InitializedDefault, TraceMarkGoesToStandardError) {
  CaptureStderr();
  EXPECT_EQ(fct_Trace("aff_lieu", 120, "src/bf"), 0);
  EXPECT_EQ(fct_Trace(nullptr, 3, nullptr), 0);
  EXPECT_EQ(GetCapturedStderr(), "fct_Trace: aff_lieu(), src/bf line 120 fct_Trace: (),  line 3 ");
  DefaultTool()->ActivateMessageType(TYPE_TRACE, false, STREAM_ALL);
  CaptureStderr();
  EXPECT_EQ(fct_Trace("aff_lieu", 121, "src/bf"), 0);  // filtered: nothing, no failure
  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST_F(InitializedDefault, MsgGetOfTheDefaultTool) {
  CaptureStderr();
  EXPECT_EQ(MSG_get(-1), nullptr);  // nothing shown for a negative id
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_THROW(MSG_get(3103, 10, "caller"), C_KveloException);  // no database: no text
}

TEST_F(InitializedDefault, MatrixErrorWithoutTextStillSetsTheStatus) {
  _LM_err_status = 0;
  CaptureStderr();
  EXPECT_EQ(_LM_error("vecop", 3, 55, "v_add", 0, 10, "caller"), 0);
  EXPECT_EQ(_LM_err_status, -1);
  EXPECT_EQ(GetCapturedStderr(), "***   0 v_add(), vecop line 55\n ");
  _LM_err_status = 0;
}

TEST_F(InitializedDefault, TraceMarkNeverThrows) {
  DefaultTool()->setLogFilename("no_such_dir_" + std::to_string(getpid()) + "/t.log", true);
  CaptureStderr();
  int r = 0;
  EXPECT_NO_THROW(r = fct_Trace("aff_lieu", 9, "src/bf"));
  EXPECT_EQ(r, -1);
  EXPECT_NE(GetCapturedStderr().find("*** Warning: Cannot open file"), std::string::npos);
}
