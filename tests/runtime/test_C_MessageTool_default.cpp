// Tests of the library's reports once "DefaultMessageTool" has loaded a message file: code
// texts of messages and exceptions, MSG_get, the C matrix library's error messages and trace
// marks. Initializing the default tool cannot be undone, hence this program of its own.
#include "C_KveloException.h"
#include "C_MessageTool.h"
#include "binfile.h"
#include "erreur.h"
#include "kvelosys.h"
#include "msbfile.h"
#include "msgcapture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>

using namespace Kvelo;
using namespace Kvelo::MessageToolEnums;

namespace {

class DefaultToolEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    m_dir.reset(new kvtest::TempDir("msgdefault"));
    kvtest::MsbWriter w;
    w.Message(2, 20, "Cannot do it");
    w.Message(2, 2828, "Access refused by the system");
    w.Message(2, 30, "Item {0,d} of {1,s}");
    w.Message(2, 3103, "Error 3 at line {0,d} of {1,s}");
    w.Message(2, 31, "Unknown reason");
    ASSERT_TRUE(w.Save(m_dir->file("ke2.msb")));
    C_MessageTool* t = C_MessageTool::Instance("DefaultMessageTool");
    t->setResourcesDir(m_dir->str(), static_cast<C_MessageTool::E_CodeLang>(2));
    ASSERT_EQ(t->Initialize(), 0);
  }
  void TearDown() override { m_dir.reset(); }

 private:
  std::unique_ptr<kvtest::TempDir> m_dir;
};

testing::Environment* const g_env = testing::AddGlobalTestEnvironment(new DefaultToolEnvironment);

}  // namespace

TEST(DefaultTool, MessagesTakeTheirCodeTexts) {
  C_KveloMessage m("F", "f.cpp", 1, TYPE_INFORMATION, static_cast<MessageCode::E_MessageCode_t>(30), 4, "five");
  EXPECT_EQ(m.getMessage(), "Item 4 of five");
  m.Append(static_cast<MessageCode::E_MessageCode_t>(20));
  EXPECT_EQ(m.getMessage(), "Item 4 of fiveCannot do it");
  m.Set(static_cast<MessageCode::E_MessageCode_t>(404));
  EXPECT_EQ(m.getMessage(), "MessageDatabase failed to load id 404");
}

TEST(DefaultTool, ExceptionsReportTheirCodeAndReasonTexts) {
  kvtest::MsgCapture cap;
  errno = EACCES;
  C_KveloException e("Throwing", "x.cpp", 3, 20, 100);  // reason taken from errno: 2828
  EXPECT_EQ(C_MessageTool::HandleMessage(e, TYPE_ERROR, LEVEL_PUBLIC), 0);
  ASSERT_EQ(cap.Count(TYPE_ERROR), 1);
  EXPECT_EQ(cap.OfType(TYPE_ERROR)[0].text, "Cannot do it\nAccess refused by the system");
  C_KveloException missing("Throwing", "x.cpp", 3, 21, 31);
  EXPECT_EQ(C_MessageTool::HandleMessage(missing, TYPE_ERROR, LEVEL_PUBLIC), -1);
  EXPECT_EQ(cap.OfType(TYPE_ERROR)[1].text, "MessageDatabase failed to load id 21");
}

TEST(DefaultTool, MsgGetFillsAHeapCopy) {
  char* text = MSG_get(30, 12, "things");
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "Item 12 of things");
  kvelomem_free(text, __FILE__, __LINE__);
  EXPECT_EQ(MSG_get(-1), nullptr);
  try {
    MSG_get(999);
    ADD_FAILURE() << "no exception";
  } catch (const C_KveloException& e) {
    EXPECT_EQ(e.getExceptionCode(), 104);
  }
}

TEST(DefaultTool, MatrixLibraryErrorsComeFromTheDatabase) {
  kvtest::MsgCapture cap;
  _LM_err_status = 0;
  EXPECT_EQ(_LM_error("src/solve", 3, 77, "v_add", 0, 42, "caller_fn"), 0);
  EXPECT_EQ(_LM_err_status, -1);
  ASSERT_EQ(cap.Count(TYPE_ERROR), 1);
  EXPECT_EQ(cap.OfType(TYPE_ERROR)[0].text, "Error 3 at line 42 of caller_fn");
  _LM_err_status = 0;
}

TEST(DefaultTool, TraceMarksGoThroughTheDefaultTool) {
  kvtest::MsgCapture cap;
  EXPECT_EQ(fct_Trace("aff_lieu", 120, "src/bf"), 0);
  ASSERT_EQ(cap.Count(TYPE_TRACE), 1);
  EXPECT_EQ(cap.OfType(TYPE_TRACE)[0].text, "fct_Trace: aff_lieu(), src/bf line 120");
}
