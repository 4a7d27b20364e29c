// Tests of messages and exceptions: defaults, formatting and its limits, code texts without
// a database, copies, the errno-to-reason table, the call stack and place an exception
// records, and the throw helper every module uses.
#include "C_KveloException.h"
#include "C_KveloMessage.h"
#include "C_MessageTool.h"
#include "msgcapture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

using namespace Kvelo;
using namespace Kvelo::MessageToolEnums;

TEST(C_KveloMessage, TypeOnlyMessageHasTheDefaults) {
  C_KveloMessage m("Fn", "file.cpp", 12, TYPE_INFORMATION, std::string());
  EXPECT_EQ(m.getKey(), "DefaultMessageTool");
  EXPECT_EQ(m.getMessageCode(), 0);
  EXPECT_EQ(m.getMessageType(), TYPE_INFORMATION);
  EXPECT_EQ(m.getVerbosityLevel(), LEVEL_PUBLIC);
  EXPECT_EQ(m.getDebugScope(), SCOPE_NONE);
  EXPECT_EQ(m.getMessageStream(), STREAM_ALL);
  EXPECT_EQ(m.getMessage(), "");
  EXPECT_EQ(m.getMessageNature(), C_KveloMessage::NATURE_MESSAGE);
  EXPECT_EQ(m.getCallStack().NbEntries(), 0);
  EXPECT_STREQ(m.getErrorLocation().function, "Fn");
  EXPECT_STREQ(m.getErrorLocation().file, "src/file");
  EXPECT_EQ(m.getErrorLocation().line, 12);

  C_KveloMessage n("Fn", "f", 1, TYPE_WARNING, LEVEL_INTERNAL, static_cast<E_DebugScope_enum>(452), STREAM_LOG);
  EXPECT_EQ(n.getVerbosityLevel(), LEVEL_INTERNAL);
  EXPECT_EQ(n.getDebugScope(), 452);
  EXPECT_EQ(n.getMessageStream(), STREAM_LOG);
  EXPECT_EQ(n.getMessage(), "");
}

TEST(C_KveloMessage, ConstructorsTakeTextsFormatsAndKeys) {
  C_KveloMessage fmt("F", "f", 1, TYPE_INFORMATION, "n=%d x=%.2f s=%s", 7, 1.5, "ab");
  EXPECT_EQ(fmt.getMessage(), "n=7 x=1.50 s=ab");
  C_KveloMessage keyed("F", "f", 1, std::string("OtherTool"), TYPE_ERROR, "%s!", "hey");
  EXPECT_EQ(keyed.getKey(), "OtherTool");
  EXPECT_EQ(keyed.getMessage(), "hey!");
  // Plain texts are not formats.
  C_KveloMessage plain("F", "f", 1, TYPE_INFORMATION, std::string("100% %d"));
  EXPECT_EQ(plain.getMessage(), "100% %d");
  C_KveloMessage chars("F", "f", 1, "50%% %s", TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE, STREAM_SCREEN);
  EXPECT_EQ(chars.getMessage(), "50%% %s");
  EXPECT_EQ(chars.getMessageStream(), STREAM_SCREEN);
  C_KveloMessage coded("F", "f", 1, 3107, TYPE_ERROR, LEVEL_PUBLIC, SCOPE_NONE, STREAM_ALL);
  EXPECT_EQ(coded.getMessageCode(), 3107);
  EXPECT_EQ(coded.getMessage(), "");  // the text is looked up when it is reported
  C_KveloMessage keyCoded("F", "f", 1, std::string("K2"), 55, TYPE_WARNING, LEVEL_1, SCOPE_NONE, STREAM_LOG);
  EXPECT_EQ(keyCoded.getKey(), "K2");
  EXPECT_EQ(keyCoded.getMessageCode(), 55);
}

TEST(C_KveloMessage, CodeTextWithoutDatabaseIsTheFailureText) {
  C_KveloMessage m("F", "f", 1, TYPE_ERROR, 4242);
  EXPECT_EQ(m.getMessageCode(), 4242);
  EXPECT_EQ(m.getMessage(), "MessageDatabase failed to load id 4242");
  m.Append(77);
  EXPECT_EQ(m.getMessageCode(), 77);
  EXPECT_EQ(m.getMessage(), "MessageDatabase failed to load id 4242MessageDatabase failed to load id 77");
  m = 12;
  EXPECT_EQ(m.getMessage(), "MessageDatabase failed to load id 12");
  C_KveloMessage keyed("F", "f", 1, std::string("Unknown tool name"), TYPE_ERROR, 9);
  EXPECT_EQ(keyed.getMessage(), "MessageDatabase failed to load id 9");
}

TEST(C_KveloMessage, SetAppendAndOperators) {
  C_KveloMessage m("F", "f", 1, TYPE_INFORMATION, std::string());
  m.Set("a=%d", 1);
  EXPECT_EQ(m.getMessage(), "a=1");
  m.Append(", b=%s", "two");
  EXPECT_EQ(m.getMessage(), "a=1, b=two");
  m.Append(std::string(" %d"));
  EXPECT_EQ(m.getMessage(), "a=1, b=two %d");
  m.Set(std::string("plain %s"));
  EXPECT_EQ(m.getMessage(), "plain %s");
  // operator= (const char*) takes the characters as a format without arguments.
  m = "100%% done";
  EXPECT_EQ(m.getMessage(), "100% done");
  m = "keeps %d and %s";  // a conversion without an argument is kept, never read
  EXPECT_EQ(m.getMessage(), "keeps %d and %s");
  m = std::string("raw %%");
  EXPECT_EQ(m.getMessage(), "raw %%");
  m += std::string("+s");
  m += "+c%%";
  EXPECT_EQ(m.getMessage(), "raw %%+s+c%");
  m.setKey("K");
  m.setMessageCode(5);
  m.setMessageType(TYPE_TRACE);
  m.setVerbosityLevel(LEVEL_4);
  m.setDebugScope(static_cast<E_DebugScope_enum>(9));
  m.setMessageStream(STREAM_LOG_RECORD);
  EXPECT_EQ(m.getKey(), "K");
  EXPECT_EQ(m.getMessageCode(), 5);
  EXPECT_EQ(m.getMessageType(), TYPE_TRACE);
  EXPECT_EQ(m.getVerbosityLevel(), LEVEL_4);
  EXPECT_EQ(m.getDebugScope(), 9);
  EXPECT_EQ(m.getMessageStream(), STREAM_LOG_RECORD);
}

TEST(C_KveloMessage, FormattedTextIsCutToItsBuffer) {
  C_KveloMessage m("F", "f", 1, TYPE_INFORMATION, std::string());
  std::string big(20000, 'q');
  m.Set("%s", big.c_str());
  EXPECT_EQ(m.getMessage().size(), 16399u);
  m.Append("%s", big.c_str());
  EXPECT_EQ(m.getMessage().size(), 2 * 16399u);
  m.Set(big);  // a plain string is not formatted and not cut
  EXPECT_EQ(m.getMessage().size(), 20000u);
  m.Set(static_cast<const char*>(nullptr), static_cast<va_list*>(nullptr));
  EXPECT_EQ(m.getMessage(), "");
}

TEST(C_KveloMessage, CopiesKeepEveryFieldAndTheOriginalPlace) {
  C_KveloMessage a("Orig", "orig.cpp", 99, std::string("KeyA"), TYPE_WARNING, "t%d", 3);
  a.setDebugScope(static_cast<E_DebugScope_enum>(17));
  C_KveloMessage b("Other", "other.cpp", 1, a);
  EXPECT_STREQ(b.getErrorLocation().function, "Orig");
  EXPECT_STREQ(b.getErrorLocation().file, "src/orig");
  EXPECT_EQ(b.getErrorLocation().line, 99);
  EXPECT_EQ(b.getKey(), "KeyA");
  EXPECT_EQ(b.getMessage(), "t3");
  EXPECT_EQ(b.getDebugScope(), 17);
  C_KveloMessage c("X", "x", 2, TYPE_INFORMATION, std::string("old"));
  c = a;
  EXPECT_EQ(c.getMessage(), "t3");
  EXPECT_EQ(c.getErrorLocation().line, 99);
  C_KveloMessage& self = c;
  c = self;
  EXPECT_EQ(c.getMessage(), "t3");
  EXPECT_EQ(c.getMessageType(), TYPE_WARNING);
}

TEST(C_KveloException, BuiltWithDefaults) {
  C_KveloException e;
  EXPECT_STREQ(e.getErrorLocation().function, "");
  EXPECT_STREQ(e.getErrorLocation().file, "include/C_KveloException");
  EXPECT_EQ(e.getExceptionCode(), 0);
  EXPECT_EQ(e.getReasonCode(), 0);
  EXPECT_EQ(e.getKey(), "DefaultMessageTool");
  EXPECT_EQ(e.getMessageType(), TYPE_ERROR);
  EXPECT_EQ(e.getMessageNature(), C_KveloMessage::NATURE_EXCEPTION);
  EXPECT_EQ(e.getErrno(), 0);
  EXPECT_EQ(e.getExceptionMessage(), "");
  EXPECT_EQ(e.getReasonMessage(), "");
  EXPECT_EQ(e.getMessage(), "");
}

TEST(C_KveloException, ReasonFromErrnoFollowsTheTable) {
  struct Case {
    int err, reason;
  } cases[] = {{ENXIO, 17},  {EBADF, 16},  {ENOMEM, 1}, {EACCES, 2828}, {EINVAL, 18}, {ENFILE, 8},
               {EMFILE, 7},  {EFBIG, 9},   {ENOSPC, 5}, {0, 31},        {ENOENT, 31}, {EPIPE, 31}};
  for (const Case& c : cases) {
    errno = c.err;
    C_KveloException e("Throwing", "x.cpp", 3, 21, 100, "DefaultMessageTool");
    EXPECT_EQ(e.getReasonCode(), c.reason) << "errno " << c.err;
    EXPECT_EQ(e.getErrno(), c.err);
    EXPECT_EQ(e.getExceptionCode(), 21);
    EXPECT_EQ(e.getMessageCode(), 21);
  }
  errno = EACCES;
  C_KveloException e("Throwing", "x.cpp", 3, 22, 0, "DefaultMessageTool");
  EXPECT_EQ(e.getErrno(), 0);  // not taken when the reason is not 100
  e.setReasonCode(100);
  EXPECT_EQ(e.getReasonCode(), 2828);
  EXPECT_EQ(e.getErrno(), EACCES);
  errno = ENOSPC;
  e.setExceptionCode(30, 100);
  EXPECT_EQ(e.getExceptionCode(), 30);
  EXPECT_EQ(e.getMessageCode(), 30);
  EXPECT_EQ(e.getReasonCode(), 5);
}

TEST(C_KveloException, ReasonAndExceptionTexts) {
  C_KveloException e("Throwing", "x.cpp", 3, 21, 0, "DefaultMessageTool");
  e.setReason("disk %s at %d%%", "full", 99);
  EXPECT_EQ(e.getReasonMessage(), "disk full at 99%");
  std::string big(3000, 'r');
  e.setReason("%s", big.c_str());
  EXPECT_EQ(e.getReasonMessage().size(), 1023u);
  e.setReason("keep me");
  errno = EBADF;
  e.setReason(100);  // from errno; the text stays
  EXPECT_EQ(e.getReasonCode(), 16);
  EXPECT_EQ(e.getReasonMessage(), "keep me");
  e.setReason(555);
  EXPECT_EQ(e.getReasonCode(), 555);
  EXPECT_EQ(e.getReasonMessage(), "MessageDatabase failed to load id 555");
  e.setExceptionCode(2872);
  EXPECT_EQ(e.getExceptionCode(), 2872);
  EXPECT_EQ(e.getMessageCode(), 2872);
  EXPECT_EQ(e.getExceptionMessage(), "MessageDatabase failed to load id 2872");
}

TEST(C_KveloException, ThrowHelperRecordsPlaceCodesAndStack) {
  int line = 0;
  try {
    C_Trace outer("Outer::Op", "outer.cpp", 5);
    C_Trace inner("Inner::Op", "inner.cpp", 6);
    line = __LINE__ + 1;
    KVELO_THROW_R(2872, 18);
  } catch (const C_KveloException& e) {
    EXPECT_STREQ(e.getErrorLocation().function, "Throwing");
    EXPECT_STREQ(e.getErrorLocation().file, "src/test_C_KveloMessage");  // never the build's path
    EXPECT_EQ(e.getErrorLocation().line, line);
    EXPECT_EQ(e.getExceptionCode(), 2872);
    EXPECT_EQ(e.getReasonCode(), 18);
    EXPECT_EQ(e.getKey(), "DefaultMessageTool");
    const C_CallStack& s = e.getCallStack();
    ASSERT_GE(s.NbEntries(), 2);
    EXPECT_STREQ(s.GetEntry(s.NbEntries() - 1).function, "Inner::Op");
    EXPECT_STREQ(s.GetEntry(s.NbEntries() - 2).function, "Outer::Op");
    // The snapshot does not follow the thread: the scopes are closed by now.
    EXPECT_EQ(GlobalCallstackCollection().GetCurrentCallStack().NbEntries(), s.NbEntries() - 2);
    // A copy carries the stack too.
    C_KveloException copy(e);
    EXPECT_EQ(copy.getCallStack().NbEntries(), s.NbEntries());
    EXPECT_EQ(copy.getReasonCode(), 18);
  }
  try {
    KVELO_THROW(2);
  } catch (const C_KveloMessage& m) {  // caught as the message it also is
    EXPECT_EQ(m.getMessageCode(), 2);
    EXPECT_EQ(m.getMessageNature(), C_KveloMessage::NATURE_EXCEPTION);
  }
}

TEST(C_KveloMessage, PrintAndIsActiveGoThroughTheTool) {
  kvtest::MsgCapture cap;
  C_KveloMessage m("F", "f", 1, TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE, STREAM_SCREEN);
  EXPECT_TRUE(m.IsActive());
  EXPECT_EQ(m.Print("v=%d", 4), 0);
  EXPECT_EQ(m.Print(std::string("plain %d")), 0);
  ASSERT_EQ(cap.Count(), 2);
  EXPECT_EQ(cap.Messages()[0].text, "v=4");
  EXPECT_EQ(cap.Messages()[1].text, "plain %d");
  m.setDebugScope(static_cast<E_DebugScope_enum>(452));
  EXPECT_FALSE(m.IsActive());
  EXPECT_EQ(m.Print(), 0);  // filtered: nothing written, no failure
  EXPECT_EQ(cap.Count(), 2);
  C_KveloMessage coded("F", "f", 1, TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE, STREAM_SCREEN);
  EXPECT_EQ(coded.Print(31), 0);  // the failure text is the message's own text now
  EXPECT_EQ(cap.Messages().back().text, "MessageDatabase failed to load id 31");
  EXPECT_EQ(cap.Messages().back().code, 31);
}
