// Tests of the message tool: per-stream routing by type, verbosity and debug scope, the
// screen and log prefixes, the echo of level-5 streams, the call-stack listing after errors,
// code texts of a tool without database, exception reports, the log file, the registry and
// host-installed stream controllers.
#include "C_CallStack.h"
#include "C_KveloException.h"
#include "C_MessageTool.h"
#include "msgcapture.h"
#include "msgtool_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <memory>
#include <string>
#include <type_traits>
#include <unistd.h>
#include <vector>

using namespace Kvelo;
using namespace Kvelo::MessageToolEnums;
using kvtest::DefaultTool;

namespace {

// Puts a tool back to its settings at creation.
void Restore(C_MessageTool* t) {
  kvtest::RestoreFilters(t);
  t->ResetMessageStreamCtrl(STREAM_ALL);
  t->setEndMsgChar(' ');
  t->setLogFilename("", true);
}

class MessageToolTest : public testing::Test {
 protected:
  void SetUp() override { Restore(DefaultTool()); }
  void TearDown() override { Restore(DefaultTool()); }
};

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string TempName(const char* tag) {
  return std::string("msgtool_") + tag + "_" + std::to_string(getpid()) + ".log";
}

struct Routed {
  std::string out, err;
  int result;
};

// Routes m and returns what reached standard output and standard error.
Routed Route(const C_KveloMessage& m) {
  CaptureStdout();
  CaptureStderr();
  int r = C_MessageTool::HandleMessage(m);
  Routed x;
  x.err = GetCapturedStderr();
  x.out = GetCapturedStdout();
  x.result = r;
  return x;
}

C_KveloMessage Msg(E_MessageType_enum type, const std::string& text, int scope = 0,
                   E_VerbosityLevel_enum level = LEVEL_PUBLIC, E_MessageStream_enum stream = STREAM_ALL) {
  return C_KveloMessage("Here::Fn", "here.cpp", 77, text, type, level, static_cast<E_DebugScope_enum>(scope),
                        stream);
}

}  // namespace

TEST_F(MessageToolTest, ScreenPrefixesByType) {
  struct Case {
    E_MessageType_enum type;
    const char* out;
    const char* err;
  } cases[] = {
      {TYPE_INFORMATION, "hello ", ""},
      {TYPE_WARNING, "", "*** Warning: hello "},
      {TYPE_TRACE, "", "hello "},
      {TYPE_PROGRESS, "", ""},  // the default filter 15 lacks bit 16
  };
  for (const Case& c : cases) {
    Routed r = Route(Msg(c.type, "hello"));
    EXPECT_EQ(r.out, c.out) << c.type;
    EXPECT_EQ(r.err, c.err) << c.type;
    EXPECT_EQ(r.result, 0);
  }
  DefaultTool()->ActivateMessageType(TYPE_PROGRESS, true, STREAM_SCREEN);
  EXPECT_EQ(Route(Msg(TYPE_PROGRESS, "p")).out, "p ");
  DefaultTool()->setEndMsgChar('\n');
  EXPECT_EQ(Route(Msg(TYPE_INFORMATION, "line")).out, "line\n");
}

TEST_F(MessageToolTest, ErrorIsFollowedByTheCallStackListing) {
  Routed r;
  {
    C_Trace a("Outer::Run", "outer.cpp", 10);
    C_Trace b("Inner::Run", "inner.cpp", 20);
    r = Route(Msg(TYPE_ERROR, "it broke"));
  }
  const int base = GlobalCallstackCollection().GetCurrentCallStack().NbEntries();
  ASSERT_EQ(base, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "*** it broke "
            "2 Here::Fn(), src/here line 77\n"
            "1 Inner::Run(), src/inner line 20\n"
            "0 Outer::Run(), src/outer line 10\n"
            " ");
  EXPECT_EQ(r.result, 0);
}

TEST_F(MessageToolTest, ExceptionListsItsOwnStack) {
  C_KveloException e;
  int line = 0;
  try {
    C_Trace a("Deep::Op", "deep.cpp", 3);
    line = __LINE__ + 1;
    KVELO_THROW(2872);
  } catch (C_KveloException& caught) {
    e = caught;
  }
  CaptureStderr();
  int r = C_MessageTool::HandleMessage(e, TYPE_ERROR, LEVEL_PUBLIC);
  std::string err = GetCapturedStderr();
  EXPECT_EQ(r, -1);  // the code has no text: the tool is not initialized
  EXPECT_EQ(err, "*** MessageTool is not initialized! Cannot get message ID=2872. " +
                     std::string("1 Throwing(), src/test_C_MessageTool line ") + std::to_string(line) +
                     "\n0 Deep::Op(), src/deep line 3\n ");
}

TEST_F(MessageToolTest, ExceptionReportAppendsCodeAndReasonTexts) {
  C_KveloException withTexts("Throwing", "t.cpp", 1, 0, 0, "DefaultMessageTool");
  withTexts.setReason("reason text");
  kvtest::MsgCapture cap;
  EXPECT_EQ(C_MessageTool::HandleMessage(withTexts, TYPE_WARNING, LEVEL_PUBLIC), 0);
  ASSERT_EQ(cap.Count(TYPE_WARNING), 1);
  EXPECT_EQ(cap.OfType(TYPE_WARNING)[0].text, "\nreason text");
  EXPECT_EQ(withTexts.getMessageType(), TYPE_WARNING);
  // Reporting the same exception again repeats the appended texts.
  C_MessageTool::HandleMessage(withTexts, TYPE_WARNING, LEVEL_PUBLIC);
  EXPECT_EQ(cap.OfType(TYPE_WARNING)[1].text, "\nreason text\nreason text");

  // A reason taken from errno is already mapped to its code (31 for ENOENT) when reported.
  errno = ENOENT;
  C_KveloException fromErrno("Throwing", "t.cpp", 1, 0, 100, "DefaultMessageTool");
  EXPECT_EQ(C_MessageTool::HandleMessage(fromErrno, TYPE_WARNING, LEVEL_PUBLIC), -1);
  EXPECT_EQ(cap.OfType(TYPE_WARNING)[2].text, "\nMessageTool is not initialized! Cannot get message ID=31.");

  C_KveloException coded("Throwing", "t.cpp", 1, 28, 17, "DefaultMessageTool");
  EXPECT_EQ(C_MessageTool::HandleMessage(coded, TYPE_ERROR, LEVEL_PUBLIC), -1);
  auto errors = cap.OfType(TYPE_ERROR);
  ASSERT_EQ(errors.size(), 1u);
  // The exception code failed, so the reason code is not looked up.
  EXPECT_EQ(errors[0].text, "MessageTool is not initialized! Cannot get message ID=28.");
  EXPECT_EQ(errors[0].code, 28);
  EXPECT_EQ(cap.Count(TYPE_TRACE), 1);  // its call-stack listing
}

TEST_F(MessageToolTest, CodeOnlyMessageWithoutTextFails) {
  kvtest::MsgCapture cap;
  C_KveloMessage m("F", "f.cpp", 1, 77, TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE, STREAM_ALL);
  EXPECT_EQ(C_MessageTool::HandleMessage(m), -1);
  ASSERT_EQ(cap.Count(), 1);
  EXPECT_EQ(cap.Messages()[0].text, "MessageTool is not initialized! Cannot get message ID=77.");
  // No code and no text: a single blank.
  C_KveloMessage empty("F", "f.cpp", 1, TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE, STREAM_ALL);
  EXPECT_EQ(C_MessageTool::HandleMessage(empty), 0);
  EXPECT_EQ(cap.Messages()[1].text, " ");
  std::string out;
  EXPECT_EQ(C_MessageTool::getMessage(5, out, nullptr), -1);
  EXPECT_EQ(out, "MessageTool is not initialized! Cannot get message ID=5.");
  EXPECT_EQ(C_MessageTool::getMessage(5, out, nullptr, "No such tool at all"), -1);
  EXPECT_FALSE(C_MessageTool::HasInstance("No such tool at all"));
}

TEST_F(MessageToolTest, InitializedToolWithoutDatabaseGivesTheDatabaseFailureText) {
  C_MessageTool* t = C_MessageTool::Instance("SwallowedTool");
  C_DevNullCtrl devnull;
  t->setMessageStreamCtrl(devnull, STREAM_ALL);
  EXPECT_EQ(t->Initialize(), 0);  // nothing to load for a swallowed tool
  EXPECT_TRUE(t->isInitialized());
  t->ResetMessageStreamCtrl(STREAM_ALL);
  kvtest::MsgCapture cap("SwallowedTool");
  C_KveloMessage m("F", "f.cpp", 1, std::string("SwallowedTool"), 77, TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE,
                   STREAM_ALL);
  EXPECT_EQ(C_MessageTool::HandleMessage(m), -1);
  ASSERT_EQ(cap.Count(), 1);
  EXPECT_EQ(cap.Messages()[0].text, "MessageDatabase failed to load id 77");
}

TEST_F(MessageToolTest, VerbosityAndEcho) {
  C_MessageTool* t = DefaultTool();
  EXPECT_EQ(Route(Msg(TYPE_INFORMATION, "internal", 0, LEVEL_INTERNAL)).out, "");
  t->setVerbosityLevel(LEVEL_INTERNAL, STREAM_SCREEN);
  EXPECT_EQ(Route(Msg(TYPE_INFORMATION, "internal", 0, LEVEL_INTERNAL)).out, "internal ");
  t->setVerbosityLevel(LEVEL_ECHO, STREAM_SCREEN);
  EXPECT_EQ(Route(Msg(TYPE_INFORMATION, "hi")).out, "AppHandleMessage(SCREEN,1): hi hi ");
  Routed w = Route(Msg(TYPE_WARNING, "w"));
  EXPECT_EQ(w.out, "AppHandleMessage(SCREEN,4): w ");
  EXPECT_EQ(w.err, "*** Warning: w ");
  t->setVerbosityLevel(LEVEL_PUBLIC, STREAM_SCREEN);
  // The log record stream only echoes; the log stream writes nothing without a log file.
  t->setVerbosityLevel(LEVEL_ECHO, STREAM_LOG_RECORD);
  t->setVerbosityLevel(LEVEL_ECHO, STREAM_LOG);
  Routed r = Route(Msg(TYPE_INFORMATION, "x", 0, LEVEL_PUBLIC, STREAM_LOG_RECORD));
  EXPECT_EQ(r.out, "AppHandleMessage(LOG_RECORD,1): x ");
  EXPECT_EQ(r.err, "");
  r = Route(Msg(TYPE_INFORMATION, "y", 0, LEVEL_PUBLIC, STREAM_LOG));
  EXPECT_EQ(r.out, "AppHandleMessage(LOG,1): y ");
}

TEST_F(MessageToolTest, DebugScopesFilterPerStream) {
  C_MessageTool* t = DefaultTool();
  EXPECT_EQ(Route(Msg(TYPE_INFORMATION, "scoped", 452)).out, "");
  t->ActivateDebugScope(452, true, STREAM_SCREEN);
  EXPECT_TRUE(t->DebugScopeActive(452, STREAM_SCREEN));
  EXPECT_FALSE(t->DebugScopeActive(452, STREAM_LOG));
  EXPECT_EQ(Route(Msg(TYPE_INFORMATION, "scoped", 452)).out, "scoped ");
  t->ActivateDebugScope(SCOPE_NONE, false, STREAM_SCREEN);  // scope 0 off on the screen only
  EXPECT_EQ(Route(Msg(TYPE_INFORMATION, "plain")).out, "");
  EXPECT_TRUE(t->DebugScopeActive(0, STREAM_LOG));
  EXPECT_TRUE(t->MessageActive(Msg(TYPE_INFORMATION, "plain"), STREAM_ALL));  // the log would take it
  EXPECT_FALSE(t->MessageActive(Msg(TYPE_INFORMATION, "plain"), STREAM_SCREEN));
  t->ActivateDebugScope(-1, true, STREAM_SCREEN);  // reset: every stream back to {0}
  EXPECT_FALSE(t->DebugScopeActive(452, STREAM_SCREEN));
  EXPECT_TRUE(t->DebugScopeActive(0, STREAM_SCREEN));
}

TEST_F(MessageToolTest, FiltersAndStreamNumbers) {
  C_MessageTool* t = DefaultTool();
  EXPECT_EQ(t->getMessageTypeFilter(STREAM_SCREEN), 15u);
  EXPECT_EQ(t->getMessageTypeFilter(STREAM_ALL), 0u);
  EXPECT_FALSE(t->MessageTypeActive(TYPE_INFORMATION, STREAM_ALL));
  EXPECT_FALSE(t->MessageTypeActive(TYPE_ALL, STREAM_SCREEN));
  EXPECT_FALSE(t->VerbosityLevelActive(LEVEL_PUBLIC, STREAM_ALL));
  EXPECT_FALSE(t->DebugScopeActive(0, STREAM_ALL));
  t->ActivateMessageType(TYPE_ALL, true, STREAM_LOG);
  EXPECT_EQ(t->getMessageTypeFilter(STREAM_LOG), 0xFFFFu);
  t->ActivateMessageType(TYPE_ALL, false, STREAM_ALL);
  EXPECT_EQ(t->getMessageTypeFilter(STREAM_SCREEN), 0u);
  EXPECT_EQ(Route(Msg(TYPE_WARNING, "gone")).err, "");
  t->ActivateMessageType(static_cast<E_MessageType_enum>(TYPE_WARNING | TYPE_ERROR), true, STREAM_SCREEN);
  EXPECT_EQ(t->getMessageTypeFilter(STREAM_SCREEN), 6u);
  t->ActivateMessageType(TYPE_ERROR, false, STREAM_SCREEN);
  EXPECT_EQ(t->getMessageTypeFilter(STREAM_SCREEN), 4u);
  // A message typed "all types" passes no filter.
  t->setMessageTypeFilter(0xFFFF, STREAM_ALL);
  EXPECT_FALSE(t->MessageActive(Msg(TYPE_ALL, "x"), STREAM_ALL));
  // Out-of-range stream numbers change nothing and answer 0 / false.
  t->setVerbosityLevel(LEVEL_ECHO, static_cast<E_MessageStream_enum>(7));
  EXPECT_EQ(t->getVerbosityLevel(static_cast<E_MessageStream_enum>(7)), LEVEL_PUBLIC);
  EXPECT_FALSE(t->MessageActive(Msg(TYPE_INFORMATION, "x"), static_cast<E_MessageStream_enum>(-1)));
}

TEST_F(MessageToolTest, DefaultControllerEdgeCases) {
  C_MessageTool* t = DefaultTool();
  CaptureStdout();
  CaptureStderr();
  EXPECT_EQ(t->AppHandleMessage("", TYPE_ERROR, STREAM_SCREEN, nullptr), 0);
  EXPECT_EQ(t->AppHandleMessage("x", TYPE_ALL, STREAM_SCREEN, nullptr), 0);
  EXPECT_EQ(t->AppHandleMessage("x", TYPE_ERROR, STREAM_ALL, nullptr), 0);
  EXPECT_EQ(t->AppHandleMessage("x", static_cast<E_MessageType_enum>(32), STREAM_SCREEN, nullptr), 0);
  EXPECT_EQ(t->AppHandleMessage("odd", TYPE_INFORMATION, static_cast<E_MessageStream_enum>(9), nullptr), -1);
  EXPECT_EQ(GetCapturedStderr(), "AppHandleMessage(UNKNOWN STREAM,1): odd ");
  EXPECT_EQ(GetCapturedStdout(), "");
  // Progress through the tool itself needs an open progress.
  EXPECT_EQ(t->AppSetProgress("p", 1, STREAM_SCREEN), -1);
  EXPECT_EQ(t->AppOpenProgress(), 0);
  EXPECT_EQ(t->AppCloseProgress(), 0);
}

TEST_F(MessageToolTest, LogFileGetsPrefixesAndTheListing) {
  const std::string name = TempName("prefix");
  std::remove(name.c_str());
  C_MessageTool* t = DefaultTool();
  {
    std::ofstream old(name);
    old << "previous run\n";
  }
  EXPECT_EQ(t->setLogFilename(name, false), 0);
  EXPECT_EQ(t->getLogFilename(), name);
  C_DevNullCtrl quiet;  // keeps the terminal quiet; the log stream is the tool's own
  t->setMessageStreamCtrl(quiet, STREAM_SCREEN);
  struct Entry {
    E_MessageType_enum type;
    const char* text;
  } entries[] = {{TYPE_INFORMATION, "info"}, {TYPE_WARNING, "warn"}, {TYPE_TRACE, "trace"}};
  for (const Entry& e : entries) EXPECT_EQ(C_MessageTool::HandleMessage(Msg(e.type, e.text)), 0);
  {
    C_Trace scope("Log::Scope", "log.cpp", 4);
    EXPECT_EQ(C_MessageTool::HandleMessage(Msg(TYPE_ERROR, "err")), 0);
  }
  // The first opening truncated the old content; later ones appended.
  EXPECT_EQ(ReadFile(name),
            "info *** Warning: warn trace *** err "
            "1 Here::Fn(), src/here line 77\n0 Log::Scope(), src/log line 4\n ");
  t->setLogFilename("", true);
  std::remove(name.c_str());
}

TEST_F(MessageToolTest, UnopenableLogThrowsAndGoesOnWithoutLog) {
  C_MessageTool* t = DefaultTool();
  const std::string bad = "no_such_dir_" + std::to_string(getpid()) + "/x.log";
  t->setLogFilename(bad, true);
  CaptureStdout();
  CaptureStderr();
  try {
    C_MessageTool::HandleMessage(Msg(TYPE_INFORMATION, "to log"));
    ADD_FAILURE() << "no exception";
  } catch (const C_KveloException& e) {
    EXPECT_EQ(e.getExceptionCode(), 29);
    EXPECT_EQ(e.getErrno(), ENOENT);
    EXPECT_EQ(e.getReasonCode(), 31);
  }
  EXPECT_EQ(GetCapturedStderr(), "*** Warning: Cannot open file " + bad + " for write. ");
  EXPECT_EQ(GetCapturedStdout(), "to log ");  // the screen took it before the log failed
  EXPECT_EQ(t->getLogFilename(), "");
  EXPECT_EQ(Route(Msg(TYPE_INFORMATION, "next")).result, 0);
}

TEST_F(MessageToolTest, RegistryAndLastUsedTool) {
  static int run = 0;  // tools live until unload: each repetition needs a new name
  const std::string name = "Registry probe " + std::to_string(run++);
  EXPECT_FALSE(C_MessageTool::HasInstance(name));
  EXPECT_FALSE(C_MessageTool::HasInstance(name));
  C_MessageTool* t = C_MessageTool::Instance(name);
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(C_MessageTool::HasInstance(name));
  EXPECT_EQ(C_MessageTool::Instance(name), t);
  EXPECT_EQ(t->getKey(), name);
  EXPECT_FALSE(t->isInitialized());
  EXPECT_NE(C_MessageTool::LastInstance(), t);  // not initialized: never the last-used tool
  C_DevNullCtrl devnull;
  t->setMessageStreamCtrl(devnull, STREAM_SCREEN);
  CaptureStderr();
  EXPECT_EQ(t->Initialize(), -1);  // the log streams are not swallowed: a message file is needed
  EXPECT_EQ(GetCapturedStderr().substr(0, 56), "*** Programming error: resources file is not specified. ");
  EXPECT_FALSE(t->isInitialized());
  t->setMessageStreamCtrl(devnull, STREAM_ALL);
  EXPECT_EQ(t->Initialize(), 0);
  EXPECT_NE(C_MessageTool::LastInstance(), t);  // set when Instance finds it, not before
  EXPECT_EQ(C_MessageTool::Instance(name), t);
  EXPECT_EQ(C_MessageTool::LastInstance(), t);
  t->ResetMessageStreamCtrl(STREAM_ALL);
}

TEST_F(MessageToolTest, ConvenienceFamilies) {
  kvtest::MsgCapture cap;
  cap.SetTypeFilter(0xFFFF);
  EXPECT_EQ(C_MessageTool::HandleMessage(std::string("s1"), TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE), 0);
  EXPECT_EQ(C_MessageTool::HandleMessage("c%d", TYPE_WARNING, LEVEL_PUBLIC, 0), 0);
  EXPECT_EQ(C_MessageTool::HandleMessageArg("v=%d", TYPE_INFORMATION, LEVEL_PUBLIC, 0, 5), 0);
  EXPECT_EQ(C_MessageTool::HandleMessageArg(std::string("w=%s"), TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE, "z"), 0);
  EXPECT_EQ(C_MessageTool::HandleMessageArg("", TYPE_INFORMATION, LEVEL_PUBLIC, 0), 0);
  EXPECT_EQ(C_MessageTool::HandleMessageArg(static_cast<const char*>(nullptr), TYPE_INFORMATION, LEVEL_PUBLIC, 0), 0);
  EXPECT_EQ(C_MessageTool::HandleMessageInf("inf %d"), 0);
  EXPECT_EQ(C_MessageTool::HandleMessageInfArg("n=%d", 9), 0);
  EXPECT_EQ(C_MessageTool::HandleMessageInf(12), -1);
  EXPECT_EQ(C_MessageTool::HandleMessageInfArg(13, 1), -1);
  EXPECT_EQ(C_MessageTool::HandleMessage(14, TYPE_PROGRESS, LEVEL_PUBLIC), -1);
  std::vector<std::string> want = {"s1",
                                   "c%d",
                                   "v=5",
                                   "w=z",
                                   "*** MessageTool: invalid message, empty string in argument!",
                                   "*** MessageTool: invalid message, empty string in argument!",
                                   "inf %d",
                                   "n=9",
                                   "MessageTool is not initialized! Cannot get message ID=12.",
                                   "MessageTool is not initialized! Cannot get message ID=13.",
                                   "MessageTool is not initialized! Cannot get message ID=14."};
  ASSERT_EQ(cap.Count(), static_cast<int>(want.size()));
  for (std::size_t i = 0; i < want.size(); ++i) EXPECT_EQ(cap.Messages()[i].text, want[i]);
  EXPECT_EQ(cap.Messages()[1].type, TYPE_WARNING);
  EXPECT_EQ(cap.Messages()[10].type, TYPE_PROGRESS);
  // The keyed rows create their tool.
  CaptureStdout();
  EXPECT_EQ(C_MessageTool::HandleMessageInf(std::string("Keyed family tool"), 3), -1);
  EXPECT_EQ(GetCapturedStdout(), "MessageTool is not initialized! Cannot get message ID=3. ");
  EXPECT_TRUE(C_MessageTool::HasInstance("Keyed family tool"));
  // HandleMessageInfArg (fmt) formats into 1,024 bytes.
  cap.Clear();
  std::string big(3000, 'b');
  C_MessageTool::HandleMessageInfArg("%s", big.c_str());
  EXPECT_EQ(cap.Messages()[0].text.size(), 1023u);
}

TEST_F(MessageToolTest, HostControllerReceivesWhatTheStreamAccepts) {
  kvtest::MsgCapture cap;
  cap.SetLevel(LEVEL_INTERNAL);
  cap.OnlyScope(502);
  C_MessageTool::HandleMessageArg("fit %d", TYPE_INFORMATION, LEVEL_INTERNAL, 502, 1);
  C_MessageTool::HandleMessageArg("other scope", TYPE_INFORMATION, LEVEL_INTERNAL, 0);
  C_MessageTool::HandleMessageArg("too verbose", TYPE_INFORMATION, LEVEL_4, 502);
  ASSERT_EQ(cap.Count(), 1);
  EXPECT_EQ(cap.Messages()[0].text, "fit 1");
  EXPECT_EQ(cap.Messages()[0].scope, 502);
  EXPECT_EQ(cap.Messages()[0].stream, 0);
}

TEST_F(MessageToolTest, DeepStackListingIsCutToItsBuffer) {
  std::vector<std::unique_ptr<C_Trace>> scopes;
  const std::string name(60, 'd');
  for (int i = 0; i < 100; ++i) scopes.emplace_back(new C_Trace(name.c_str(), "deep_file.cpp", i));
  std::vector<char> out(C_MessageTool::CALLSTACK_BUFFER_SIZE + 64, '#');
  C_KveloMessage m = Msg(TYPE_ERROR, "x");
  EXPECT_EQ(DefaultTool()->BuildCallStackString(m, out.data()), 0);
  EXPECT_EQ(std::strlen(out.data()), static_cast<std::size_t>(C_MessageTool::CALLSTACK_BUFFER_SIZE - 1));
  EXPECT_EQ(out[C_MessageTool::CALLSTACK_BUFFER_SIZE], '#');  // nothing written past the buffer
  EXPECT_EQ(std::string(out.data()).substr(0, 32), "100 Here::Fn(), src/here line 77");
  while (!scopes.empty()) scopes.pop_back();
}

TEST_F(MessageToolTest, SafeDisplayWritesOneLineOnStandardError) {
  CaptureStderr();
  C_MessageTool::SafeDisplay("%s\n*** Cannot handle callstack.", "MessageTool is not initialized!");
  std::string big(2000, 's');
  C_MessageTool::SafeDisplay("%s", big.c_str());
  EXPECT_EQ(GetCapturedStderr(), "Error: MessageTool is not initialized!\n*** Cannot handle callstack.\n"
                                 "Error: " + big.substr(0, 1023) + "\n");
}

TEST_F(MessageToolTest, CaptureGivesTheStreamBackAsItFoundIt) {
  C_MessageTool* t = DefaultTool();
  t->ActivateDebugScope(306, true, STREAM_SCREEN);
  {
    kvtest::MsgCapture cap;
    cap.SetLevel(LEVEL_INTERNAL);
    cap.SetTypeFilter(0xFFFF);
    cap.AddScope(502);
    cap.OnlyScope(452);
    EXPECT_FALSE(t->DebugScopeActive(0, STREAM_SCREEN));
    EXPECT_FALSE(t->DebugScopeActive(502, STREAM_SCREEN));
    EXPECT_TRUE(t->DebugScopeActive(452, STREAM_SCREEN));
    EXPECT_TRUE(t->DebugScopeActive(306, STREAM_SCREEN));  // unknown to the capture: left alone
  }
  EXPECT_EQ(t->getVerbosityLevel(STREAM_SCREEN), LEVEL_PUBLIC);
  EXPECT_EQ(t->getMessageTypeFilter(STREAM_SCREEN), 15u);
  EXPECT_TRUE(t->DebugScopeActive(0, STREAM_SCREEN));
  EXPECT_TRUE(t->DebugScopeActive(306, STREAM_SCREEN));
  EXPECT_FALSE(t->DebugScopeActive(452, STREAM_SCREEN));
  EXPECT_FALSE(t->DebugScopeActive(502, STREAM_SCREEN));
  EXPECT_EQ(Route(Msg(TYPE_INFORMATION, "back")).out, "back ");  // the tool writes again
}

namespace {
// A host keeps its controllers through their own class: deleting one through a
// C_MessageStreamCtrl pointer must not compile, since the destructor is not virtual.
static_assert(!std::is_destructible<C_MessageStreamCtrl>::value, "C_MessageStreamCtrl's destructor is reachable");
static_assert(std::is_destructible<C_DevNullCtrl>::value && std::is_destructible<C_MessageTool>::value,
              "a derived controller cannot be destroyed");

// A host controller of the log stream that reports a message of its own while it writes.
class ReportingLogCtrl : public C_MessageStreamCtrl {
 public:
  explicit ReportingLogCtrl(const std::string& key) : m_key(key) {}
  int AppHandleMessage(const std::string& text, E_MessageType_enum, E_MessageStream_enum stream,
                       FILE* log) override {
    if (stream != STREAM_LOG || log == nullptr) return 0;
    if (!m_inside && text == "outer") {
      m_inside = true;
      C_MessageTool::HandleMessage(m_key, std::string("inner"), TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE);
      m_inside = false;
    }
    // The file handed to this call must still be open after the nested report.
    return std::fprintf(log, "[%s]", text.c_str()) < 0 ? -1 : 0;
  }
  int AppOpenProgress() override { return 0; }
  int AppSetProgress(const std::string&, int, E_MessageStream_enum) override { return 0; }
  int AppCloseProgress() override { return 0; }

 private:
  std::string m_key;
  bool m_inside = false;
};
}  // namespace

TEST_F(MessageToolTest, AControllerThatReportsWhileWritingTheLogKeepsItOpen) {
  const std::string key = "Nested log tool";
  const std::string name = TempName("nested");
  std::remove(name.c_str());
  C_MessageTool* t = C_MessageTool::Instance(key);
  ReportingLogCtrl ctrl(key);
  C_DevNullCtrl quiet;
  t->setMessageStreamCtrl(quiet, STREAM_SCREEN);
  t->setMessageStreamCtrl(ctrl, STREAM_LOG);
  t->setLogFilename(name, false);
  EXPECT_EQ(C_MessageTool::HandleMessage(key, std::string("outer"), TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE), 0);
  EXPECT_EQ(C_MessageTool::HandleMessage(key, std::string("after"), TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE), 0);
  t->setLogFilename("", true);
  t->ResetMessageStreamCtrl(STREAM_ALL);
  // The nested report shares the open log: it lands first, then the outer text, in one file.
  EXPECT_EQ(ReadFile(name), "[inner][outer][after]");
  std::remove(name.c_str());
}
