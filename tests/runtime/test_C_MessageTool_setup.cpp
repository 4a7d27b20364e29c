// Tests of a message tool's set-up: resources file, directory and variable, language, loading
// the message database with its fall-back files and its language-0 retry, texts of codes once
// loaded, default log-file names and the log's truncation, and progress reports.
// Each test works in a fresh temporary directory, where the fall-back files are looked for.
#include "C_KveloException.h"
#include "C_MessageTool.h"
#include "binfile.h"
#include "msbfile.h"
#include "msgcapture.h"
#include "msgtool_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Kvelo;
using namespace Kvelo::MessageToolEnums;
using kvtest::MsbWriter;

namespace {

C_MessageTool::E_CodeLang Lang(int n) { return static_cast<C_MessageTool::E_CodeLang>(n); }

// Tools live until unload: every test takes new names.
std::string NewToolName(const char* tag) {
  static int n = 0;
  return std::string("Setup ") + tag + " " + std::to_string(n++);
}

// Runs the test in a new temporary directory, removed afterwards.
class SetupTest : public testing::Test {
 protected:
  void SetUp() override {
    char buf[PATH_MAX];
    ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
    m_old = buf;
    m_dir.reset(new kvtest::TempDir("msgsetup"));
    ASSERT_FALSE(m_dir->str().empty());
    ASSERT_EQ(chdir(m_dir->str().c_str()), 0);
  }
  void TearDown() override {
    ASSERT_EQ(chdir(m_old.c_str()), 0);
    m_dir.reset();
  }
  // A message file with one message per (code, text) in language lang.
  static void Write(const std::string& path, int lang, const std::vector<std::pair<int, std::string>>& texts) {
    MsbWriter w;
    for (const auto& t : texts) w.Message(lang, t.first, t.second);
    ASSERT_TRUE(w.Save(path));
  }
  static std::string Text(const std::string& key, int code) {
    std::string out;
    C_MessageTool::getMessage(code, out, nullptr, key);
    return out;
  }
  std::string m_old;
  std::unique_ptr<kvtest::TempDir> m_dir;
};

}  // namespace

TEST_F(SetupTest, ResourcesDirectoryNamesTheLanguageFile) {
  C_MessageTool* t = C_MessageTool::Instance(NewToolName("dir"));
  t->setResourcesDir("C:/res", Lang(2));
  std::string name;
  t->BuildResourcesFilename(name);
  EXPECT_EQ(name, "C:/res/ke2.msb");
  kvtest::MsgCapture cap;  // the set-up reports through the default tool
  EXPECT_EQ(t->Initialize(), -1);
  EXPECT_FALSE(t->isInitialized());
  ASSERT_EQ(cap.Count(TYPE_ERROR), 1);
  EXPECT_EQ(cap.OfType(TYPE_ERROR)[0].text, "Resources file 'C:/res/ke2.msb' not found.");
  EXPECT_EQ(cap.Count(TYPE_TRACE), 1);  // an error is followed by its call-stack listing
}

TEST_F(SetupTest, NothingSpecifiedAndNoFallBackFile) {
  C_MessageTool* t = C_MessageTool::Instance(NewToolName("none"));
  kvtest::MsgCapture cap;
  EXPECT_EQ(t->Initialize(), -1);
  ASSERT_EQ(cap.Count(TYPE_ERROR), 1);
  EXPECT_EQ(cap.OfType(TYPE_ERROR)[0].text, "Programming error: resources file is not specified.");
  EXPECT_EQ(Text(t->getKey(), 1), "MessageTool is not initialized! Cannot get message ID=1.");
}

TEST_F(SetupTest, FallBackFilesAreTakenInOrder) {
  struct Case {
    std::vector<const char*> present;
    const char* taken;
  } cases[] = {{{"lum0.msb"}, "lum0.msb"},
               {{"lum0.msb", "ke0.msb"}, "ke0.msb"},
               {{"lum0.msb", "ke0.msb", "kvelo0.msb"}, "kvelo0.msb"}};
  for (const Case& c : cases) {
    for (const char* f : c.present) Write(f, 0, {{1, std::string("from ") + f}});
    C_MessageTool* t = C_MessageTool::Instance(NewToolName("fallback"));
    kvtest::MsgCapture cap;
    EXPECT_EQ(t->Initialize(), 0) << c.taken;
    EXPECT_TRUE(t->isInitialized());
    ASSERT_EQ(cap.Count(TYPE_WARNING), 1);
    EXPECT_EQ(cap.OfType(TYPE_WARNING)[0].text,
              "Programming error: resources file is not specified.\nFound file '" + std::string(c.taken) +
                  "': loading and continuing.");
    EXPECT_EQ(cap.Count(TYPE_ERROR), 0);
    EXPECT_EQ(Text(t->getKey(), 1), std::string("from ") + c.taken);
    for (const char* f : c.present) std::remove(f);
  }
}

TEST_F(SetupTest, ResourcesVariable) {
  const std::string var = "KVELO_TEST_RESOURCES_" + std::to_string(getpid());
  unsetenv(var.c_str());
  Write("kvelo0.msb", 0, {{1, "fall-back text"}});
  {  // unset: the directory is a single blank; the report names the variable and its blank value
    C_MessageTool* t = C_MessageTool::Instance(NewToolName("unset"));
    t->setResourcesDirByEnv(var, Lang(0));
    std::string name;
    t->BuildResourcesFilename(name);
    EXPECT_EQ(name, " /ke0.msb");
    kvtest::MsgCapture cap;
    EXPECT_EQ(t->Initialize(), 0);
    ASSERT_EQ(cap.Count(TYPE_WARNING), 1);
    EXPECT_EQ(cap.OfType(TYPE_WARNING)[0].text, "Resources file ' /ke0.msb' not found. " + var +
                                                    " =  \nFound file 'kvelo0.msb': loading and continuing.");
    EXPECT_EQ(Text(t->getKey(), 1), "fall-back text");
  }
  {  // set to an empty value: the variable "is not specified"
    setenv(var.c_str(), "", 1);
    C_MessageTool* t = C_MessageTool::Instance(NewToolName("empty"));
    t->setResourcesDirByEnv(var, Lang(0));
    kvtest::MsgCapture cap;
    EXPECT_EQ(t->Initialize(), 0);
    ASSERT_EQ(cap.Count(TYPE_WARNING), 1);
    EXPECT_EQ(cap.OfType(TYPE_WARNING)[0].text, "Resources file '/ke0.msb' not found. " + var +
                                                    " is not specified.\nFound file 'kvelo0.msb': loading and "
                                                    "continuing.");
  }
  {  // set to a directory holding the language's file: no report at all
    ASSERT_EQ(mkdir("res", 0700), 0);
    Write("res/ke4.msb", 4, {{1, "vier"}});
    setenv(var.c_str(), "res", 1);
    C_MessageTool* t = C_MessageTool::Instance(NewToolName("set"));
    t->setResourcesDirByEnv(var, Lang(4));
    kvtest::MsgCapture cap;
    EXPECT_EQ(t->Initialize(), 0);
    EXPECT_EQ(cap.Count(), 0);
    EXPECT_EQ(Text(t->getKey(), 1), "vier");
  }
  unsetenv(var.c_str());
}

TEST_F(SetupTest, ResourcesFileGivesTheDirectory) {
  ASSERT_EQ(mkdir("sub", 0700), 0);
  Write("sub/texts.msb", 5, {{9, "neun"}});
  C_MessageTool* t = C_MessageTool::Instance(NewToolName("file"));
  EXPECT_EQ(t->setResourcesFilename("sub/texts.msb", Lang(5)), 0);
  std::string name;
  t->BuildResourcesFilename(name);
  EXPECT_EQ(name, "sub/ke5.msb");
  // A name that does not exist: one line on standard error, -1, and nothing changed, the
  // language neither.
  CaptureStderr();
  EXPECT_EQ(t->setResourcesFilename("missing.msb", Lang(6)), -1);
  EXPECT_EQ(GetCapturedStderr(), "Resource filename missing.msb does not exist.");
  t->BuildResourcesFilename(name);
  EXPECT_EQ(name, "sub/ke5.msb");
  ASSERT_EQ(t->setResourcesFilename("sub/texts.msb", Lang(5)), 0);
  EXPECT_EQ(t->Initialize(), 0);
  EXPECT_EQ(Text(t->getKey(), 9), "neun");
  // A file name without a directory part keeps the directory.
  Write("plain.msb", 5, {{9, "plain"}});
  EXPECT_EQ(t->setResourcesFilename("plain.msb", Lang(5)), 0);
  t->BuildResourcesFilename(name);
  EXPECT_EQ(name, "sub/ke5.msb");
}

TEST_F(SetupTest, OtherLanguages) {
  ASSERT_EQ(mkdir("res", 0700), 0);
  Write("res/ke0.msb", 0, {{1, "zero"}});
  {  // a language-3 file without language-3 texts loads, but holds no text
    Write("res/ke3.msb", 0, {{1, "wrong language"}});
    C_MessageTool* t = C_MessageTool::Instance(NewToolName("lang3"));
    t->setResourcesDir("res", Lang(3));
    EXPECT_EQ(t->Initialize(), 0);
    EXPECT_EQ(Text(t->getKey(), 1), "MessageDatabase failed to load id 1");
    std::remove("res/ke3.msb");
  }
  {  // a language-3 file that cannot be loaded: the language-0 file of the directory instead
    ASSERT_EQ(mkdir("res/ke3.msb", 0700), 0);
    C_MessageTool* t = C_MessageTool::Instance(NewToolName("retry"));
    t->setResourcesDir("res", Lang(3));
    kvtest::MsgCapture cap;
    EXPECT_EQ(t->Initialize(), 0);
    EXPECT_EQ(cap.Count(), 0);
    EXPECT_EQ(Text(t->getKey(), 1), "zero");
    std::string name;
    t->BuildResourcesFilename(name);
    EXPECT_EQ(name, "res/ke0.msb");  // the language is now 0
    rmdir("res/ke3.msb");
  }
  {  // a language-3 file that does not exist: the first fall-back file, in language 3
    MsbWriter w;
    w.Message(0, 1, "fall-back zero").Message(3, 1, "fall-back three");
    ASSERT_TRUE(w.Save("kvelo0.msb"));
    C_MessageTool* t = C_MessageTool::Instance(NewToolName("missing3"));
    t->setResourcesDir("res", Lang(3));
    kvtest::MsgCapture cap;
    EXPECT_EQ(t->Initialize(), 0);
    EXPECT_EQ(cap.Count(TYPE_WARNING), 1);
    EXPECT_EQ(Text(t->getKey(), 1), "fall-back three");
  }
}

TEST_F(SetupTest, LoadingThatFailsForGood) {
  ASSERT_EQ(mkdir("res", 0700), 0);
  ASSERT_EQ(mkdir("res/ke0.msb", 0700), 0);  // exists, but is no regular file
  C_MessageTool* t = C_MessageTool::Instance(NewToolName("bad"));
  t->setResourcesDir("res", Lang(0));
  {
    kvtest::MsgCapture cap;
    EXPECT_EQ(t->Initialize(), -1);
    EXPECT_FALSE(t->isInitialized());
    ASSERT_EQ(cap.Count(TYPE_ERROR), 1);
    EXPECT_EQ(cap.OfType(TYPE_ERROR)[0].text, "Cannot load messages database: invalid filename");
    // Repeating it replaces the database of the first attempt (this also runs, before the
    // descriptors are used up below, every check the sanitizers make on that road).
    EXPECT_EQ(t->Initialize(), -1);
    EXPECT_EQ(cap.Count(TYPE_ERROR), 2);
  }
  // A file that cannot be opened (no descriptor left): "load failed".
  rmdir("res/ke0.msb");
  Write("res/ke0.msb", 0, {{1, "one"}});
  {
    kvtest::MsgCapture cap;
    const int lowest = dup(0);
    ASSERT_GE(lowest, 0);
    close(lowest);
    struct rlimit saved, tight;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowest);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    int r = t->Initialize();
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(r, -1);
    ASSERT_EQ(cap.Count(TYPE_ERROR), 1);
    EXPECT_EQ(cap.OfType(TYPE_ERROR)[0].text, "Cannot load messages database: load failed");
    EXPECT_FALSE(t->isInitialized());
  }
  // Once the resources are right, Initialize can be repeated.
  EXPECT_EQ(t->Initialize(), 0);
  EXPECT_EQ(Text(t->getKey(), 1), "one");
}

TEST_F(SetupTest, AnInitializedToolTurnsCodesIntoTexts) {
  Write("ke0.msb", 0,
        {{10, "plain ten"}, {11, "Value {1,s} at {0,d}"}, {12, "Exception twelve"}, {13, "reason thirteen"}});
  const std::string key = NewToolName("texts");
  C_MessageTool* t = C_MessageTool::Instance(key);
  t->setResourcesDir(".", Lang(0));
  ASSERT_EQ(t->Initialize(), 0);
  EXPECT_NE(C_MessageTool::LastInstance(), t);
  EXPECT_EQ(C_MessageTool::Instance(key), t);
  EXPECT_EQ(C_MessageTool::LastInstance(), t);  // found initialized: the last-used tool

  kvtest::MsgCapture cap(key);
  cap.SetTypeFilter(0xFFFF);
  EXPECT_EQ(C_MessageTool::HandleMessage(key, 10, TYPE_INFORMATION, LEVEL_PUBLIC), 0);
  EXPECT_EQ(C_MessageTool::HandleMessageArg(key, 11, TYPE_WARNING, LEVEL_PUBLIC, 7, "x"), 0);
  EXPECT_EQ(C_MessageTool::HandleMessageInfArg(key, 11, 8, "y"), 0);
  EXPECT_EQ(C_MessageTool::HandleMessage(key, 99, TYPE_INFORMATION, LEVEL_PUBLIC), -1);
  C_KveloMessage m("F", "f.cpp", 1, key, TYPE_INFORMATION, static_cast<MessageCode::E_MessageCode_t>(11), 3, "z");
  EXPECT_EQ(m.getMessage(), "Value z at 3");
  C_KveloException e("Throwing", "t.cpp", 5, 12, 13, key);
  EXPECT_EQ(C_MessageTool::HandleMessage(e, TYPE_ERROR, LEVEL_PUBLIC), 0);
  std::vector<std::string> want = {"plain ten", "Value x at 7", "Value y at 8", "MessageDatabase failed to load id 99",
                                   "Exception twelve\nreason thirteen"};
  std::vector<std::string> got;
  for (const auto& c : cap.Messages())
    if (c.type != TYPE_TRACE) got.push_back(c.text);
  EXPECT_EQ(got, want);
  EXPECT_EQ(cap.Count(TYPE_TRACE), 1);
  // Without arguments the placeholders stay.
  EXPECT_EQ(Text(key, 11), "Value {1,s} at {0,d}");
}

TEST_F(SetupTest, AReloadThatFailsKeepsTheTextsItHad) {
  ASSERT_EQ(mkdir("res", 0700), 0);
  Write("res/ke0.msb", 0, {{1, "loaded"}});
  C_MessageTool* t = C_MessageTool::Instance(NewToolName("reload"));
  t->setResourcesDir("res", Lang(0));
  ASSERT_EQ(t->Initialize(), 0);
  // The file turns into something that cannot be loaded: the reload fails, reported, and the
  // tool goes on with the texts it had.
  std::remove("res/ke0.msb");
  ASSERT_EQ(mkdir("res/ke0.msb", 0700), 0);
  kvtest::MsgCapture cap;
  EXPECT_EQ(t->Initialize(), -1);
  ASSERT_EQ(cap.Count(TYPE_ERROR), 1);
  EXPECT_EQ(cap.OfType(TYPE_ERROR)[0].text, "Cannot load messages database: invalid filename");
  EXPECT_TRUE(t->isInitialized());
  EXPECT_EQ(Text(t->getKey(), 1), "loaded");
  rmdir("res/ke0.msb");
  Write("res/ke0.msb", 0, {{1, "reloaded"}});
  EXPECT_EQ(t->Initialize(), 0);
  EXPECT_EQ(Text(t->getKey(), 1), "reloaded");
}

TEST_F(SetupTest, SwallowedToolLoadsNothing) {
  C_MessageTool* t = C_MessageTool::Instance(NewToolName("swallowed"));
  C_DevNullCtrl devnull;
  t->setMessageStreamCtrl(devnull, STREAM_ALL);
  EXPECT_EQ(t->Initialize(), 0);  // no resources needed
  t->ResetMessageStreamCtrl(STREAM_ALL);
  EXPECT_EQ(Text(t->getKey(), 1), "MessageDatabase failed to load id 1");
}

TEST_F(SetupTest, DefaultLogFileNames) {
  ASSERT_EQ(mkdir("logs", 0700), 0);
  C_MessageTool* t = C_MessageTool::Instance(NewToolName("logname"));
  struct Case {
    const char* path;
    const char* suffix;
    const char* want;
  } cases[] = {
      {"logs/run.dat", ".log", "logs/run.log"},         // existing directory: kept
      {"nowhere/run.dat", ".log", "run.log"},           // missing directory: the file part only
      {"run.dat", "_trace.log", "run_trace.log"},       // no directory part
      {"logs/archive.v2/run", ".log", "run.log"},       // the dot of a directory is no extension
      {"logs/.hidden", ".log", "logs/.hidden.log"},     // a leading dot is no extension
      {"logs/run.tar.gz", "", "logs/run.tar"},
  };
  for (const Case& c : cases) EXPECT_EQ(t->GenerateDefaultLogFilename(c.path, c.suffix), c.want) << c.path;
}

TEST_F(SetupTest, LogIsTruncatedAtTheNextMessageOnly) {
  const std::string key = NewToolName("log");
  C_MessageTool* t = C_MessageTool::Instance(key);
  C_DevNullCtrl quiet;
  t->setMessageStreamCtrl(quiet, STREAM_SCREEN);
  ASSERT_TRUE(kvtest::WriteFileText("run.log", "old content\n"));
  t->setLogFilename("run.log", false);
  EXPECT_EQ(kvtest::ReadFileText("run.log"), "old content\n");  // nothing opened yet
  C_MessageTool::HandleMessage(key, std::string("first"), TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE);
  C_MessageTool::HandleMessage(key, std::string("second"), TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE);
  EXPECT_EQ(kvtest::ReadFileText("run.log"), "first second ");
  // Naming it again without truncation appends.
  t->setLogFilename("run.log", true);
  C_MessageTool::HandleMessage(key, std::string("third"), TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE);
  EXPECT_EQ(kvtest::ReadFileText("run.log"), "first second third ");
  t->setLogFilename("", true);
  t->ResetMessageStreamCtrl(STREAM_ALL);
}

// ------------------------------------------------------------------------ progress

namespace {

class ProgressTest : public SetupTest {
 protected:
  void TearDown() override {
    C_MessageTool* t = C_MessageTool::Instance("DefaultMessageTool");
    C_MessageTool::CloseProgress("DefaultMessageTool");
    t->setMessageTypeFilter(15, STREAM_ALL);
    t->setLogFilename("", true);
    SetupTest::TearDown();
  }
};

}  // namespace

TEST_F(ProgressTest, HiddenByTheDefaultTypeFilter) {
  CaptureStdout();
  CaptureStderr();
  EXPECT_EQ(C_MessageTool::OpenProgress(200, std::string("work")), 0);
  EXPECT_EQ(C_MessageTool::SetProgress(50, std::string("work"), LEVEL_PUBLIC), 0);
  EXPECT_EQ(C_MessageTool::CloseProgress("DefaultMessageTool"), 0);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST_F(ProgressTest, ScreenLinesShowThePercentage) {
  C_MessageTool* t = C_MessageTool::Instance("DefaultMessageTool");
  t->ActivateMessageType(TYPE_PROGRESS, true, STREAM_SCREEN);
  EXPECT_FALSE(C_MessageTool::ProgressStopped("DefaultMessageTool"));
  CaptureStdout();
  EXPECT_EQ(C_MessageTool::OpenProgress(200, std::string("work")), 0);
  EXPECT_EQ(C_MessageTool::SetProgress(50, std::string("work"), LEVEL_PUBLIC), 0);
  EXPECT_EQ(C_MessageTool::SetProgress(-1, std::string("again"), LEVEL_PUBLIC), 0);  // the current value
  EXPECT_EQ(C_MessageTool::SetProgressArg(150, "step %d of %s", LEVEL_PUBLIC, 3, "four"), 0);
  EXPECT_EQ(C_MessageTool::SetProgress(1, std::string("one"), LEVEL_PUBLIC), 0);  // under 10 %: padded to 4 characters
  EXPECT_EQ(C_MessageTool::SetProgress(5, std::string("hidden"), LEVEL_INTERNAL), 0);  // above the level
  EXPECT_EQ(C_MessageTool::CloseProgress("DefaultMessageTool"), 0);
  EXPECT_EQ(GetCapturedStdout(), "  0.0% work\n 25.0% work\n 25.0% again\n 75.0% step 3 of four\n  0.5% one\n");
  // Closed: the tool's own controller refuses the next step.
  CaptureStdout();
  EXPECT_EQ(C_MessageTool::SetProgress(10, std::string("late"), LEVEL_PUBLIC), -1);
  EXPECT_EQ(GetCapturedStdout(), "");
}

TEST_F(ProgressTest, AProgressOfNoStepsShowsNoShareDone) {
  // A maximum of 0 or less has no share to show: 0 %, not "nan", "inf" nor a negative share.
  C_MessageTool* t = C_MessageTool::Instance("DefaultMessageTool");
  t->ActivateMessageType(TYPE_PROGRESS, true, STREAM_SCREEN);
  for (const int maximum : {0, -1, -200, INT_MIN}) {
    CaptureStdout();
    EXPECT_EQ(C_MessageTool::OpenProgress(maximum, std::string("nothing")), 0);
    EXPECT_EQ(C_MessageTool::SetProgress(3, std::string("still nothing"), LEVEL_PUBLIC), 0);
    EXPECT_EQ(C_MessageTool::SetProgress(-5, std::string("again"), LEVEL_PUBLIC), 0);  // the current value
    EXPECT_EQ(C_MessageTool::CloseProgress("DefaultMessageTool"), 0);
    EXPECT_EQ(GetCapturedStdout(), "  0.0% nothing\n  0.0% still nothing\n  0.0% again\n") << maximum;
  }
}

TEST_F(ProgressTest, HostControllersReceiveTheSteps) {
  kvtest::MsgCapture cap;
  cap.SetTypeFilter(TYPE_PROGRESS);
  EXPECT_EQ(C_MessageTool::OpenProgress(10, std::string("load")), 0);
  EXPECT_EQ(C_MessageTool::SetProgress(4, std::string("load"), LEVEL_PUBLIC), 0);
  C_KveloMessage noText("F", "f.cpp", 1, TYPE_PROGRESS, LEVEL_PUBLIC, SCOPE_NONE, STREAM_SCREEN);
  EXPECT_EQ(C_MessageTool::SetProgress(-3, noText), 0);  // no text and no code: a blank
  EXPECT_EQ(C_MessageTool::CloseProgress("DefaultMessageTool"), 0);
  EXPECT_EQ(cap.NbOpenProgress(), 1);
  EXPECT_EQ(cap.NbCloseProgress(), 1);  // the other two streams are the tool's own
  std::vector<std::pair<std::string, int>> want = {{"load", 0}, {"load", 4}, {" ", 4}};
  EXPECT_EQ(cap.ProgressSteps(), want);
  // A code without text: its failure text is sent and the step fails.
  cap.Clear();
  EXPECT_EQ(C_MessageTool::OpenProgress(10, static_cast<MessageCode::E_MessageCode_t>(77)), -1);
  ASSERT_EQ(cap.ProgressSteps().size(), 1u);
  EXPECT_EQ(cap.ProgressSteps()[0].first, "MessageTool is not initialized! Cannot get message ID=77.");
  EXPECT_EQ(C_MessageTool::SetProgress(2, static_cast<MessageCode::E_MessageCode_t>(77), LEVEL_PUBLIC), -1);
}

TEST_F(ProgressTest, LogStreamOpensTheLogAndAFailureEndsTheStep) {
  C_MessageTool* t = C_MessageTool::Instance("DefaultMessageTool");
  t->setMessageTypeFilter(TYPE_PROGRESS, STREAM_LOG);
  t->setLogFilename("progress.log", false);
  ASSERT_TRUE(kvtest::WriteFileText("progress.log", "old"));
  EXPECT_EQ(C_MessageTool::OpenProgress(4, std::string("p")), 0);
  EXPECT_EQ(kvtest::ReadFileText("progress.log"), "");  // opened (truncated) around the step, nothing written
  const std::string bad = "no_such_dir/x.log";
  t->setLogFilename(bad, true);
  CaptureStderr();
  EXPECT_EQ(C_MessageTool::SetProgress(1, std::string("p"), LEVEL_PUBLIC), -1);  // no exception
  EXPECT_EQ(GetCapturedStderr(), "*** Warning: Cannot open file " + bad + " for write. ");
  EXPECT_EQ(t->getLogFilename(), "");
  EXPECT_EQ(C_MessageTool::SetProgress(2, std::string("p"), LEVEL_PUBLIC), 0);
}
