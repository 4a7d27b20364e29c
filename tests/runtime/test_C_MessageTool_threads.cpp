// Tests of the message system driven from several threads at once, as a host does that fits
// independent models in parallel: the first messages of the process make one default tool,
// tools asked for by several threads at once are made once, a log file written by every thread
// holds every line whole, code texts looked up at once come out right, and exceptions thrown
// and reported in every thread carry their own thread's call stack.
#include "C_CallStack.h"
#include "C_KveloException.h"
#include "C_MessageTool.h"
#include "binfile.h"
#include "erreur.h"
#include "kvelosys.h"
#include "msbfile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace Kvelo;
using namespace Kvelo::MessageToolEnums;

namespace {

const int kThreads = 8;

// Starts n threads running body(i) together (each waits until all have started) and joins them.
template <class Body>
void RunTogether(int n, Body body) {
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < n; ++i)
    threads.emplace_back([&, i] {
      ready.fetch_add(1);
      while (ready.load() < n) std::this_thread::yield();
      body(i);
    });
  for (std::thread& t : threads) t.join();
}

}  // namespace

// Runs first in this program: no tool exists yet.
TEST(MessageThreads, FirstMessagesOfTheProcessMakeOneDefaultTool) {
  ASSERT_FALSE(C_MessageTool::HasInstance("DefaultMessageTool"));
  std::vector<C_MessageTool*> seen(kThreads, nullptr);
  std::vector<int> results(kThreads, -2);
  RunTogether(kThreads, [&](int i) {
    // An internal line, hidden at the default verbosity, as a model fit sends one.
    results[i] = C_MessageTool::HandleMessage(std::string("fit line"), TYPE_INFORMATION, LEVEL_INTERNAL,
                                              SCOPE_KRIGING);
    seen[i] = C_MessageTool::Instance("DefaultMessageTool");
  });
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(results[i], 0);
    EXPECT_EQ(seen[i], seen[0]);
  }
  EXPECT_NE(seen[0], nullptr);
}

TEST(MessageThreads, ANewNameAskedForAtOnceMakesOneTool) {
  // Every thread asks for the same new names in the same order, so most are asked for by
  // several threads at the same moment.
  const int names = 300;
  std::vector<std::string> name(names);
  for (int j = 0; j < names; ++j) name[j] = "Raced tool " + std::to_string(j);
  std::vector<std::vector<C_MessageTool*>> seen(kThreads, std::vector<C_MessageTool*>(names, nullptr));
  RunTogether(kThreads, [&](int i) {
    for (int j = 0; j < names; ++j) seen[i][j] = C_MessageTool::Instance(name[j]);
  });
  for (int j = 0; j < names; ++j) {
    ASSERT_NE(seen[0][j], nullptr);
    for (int i = 1; i < kThreads; ++i) ASSERT_EQ(seen[i][j], seen[0][j]) << name[j];
    EXPECT_EQ(C_MessageTool::Instance(name[j]), seen[0][j]);
  }
}

TEST(MessageThreads, LogHoldsEveryLineWhole) {
  kvtest::TempDir dir("msg_threads");
  const std::string key = "Threaded log tool";
  const std::string logName = dir.file("threads.log");
  C_MessageTool* t = C_MessageTool::Instance(key);
  static C_DevNullCtrl quiet;  // the screen stays silent; the log stream is the tool's own
  t->setMessageStreamCtrl(quiet, STREAM_SCREEN);
  t->setEndMsgChar('\n');
  ASSERT_TRUE(kvtest::WriteFileText(logName, "earlier run\n"));
  ASSERT_EQ(t->setLogFilename(logName, false), 0);
  const int perThread = 300;
  std::vector<int> failures(kThreads, 0);
  RunTogether(kThreads, [&](int i) {
    for (int k = 0; k < perThread; ++k) {
      const std::string text = "thread " + std::to_string(i) + " message " + std::to_string(k);
      const E_MessageType_enum type = (k % 3 == 0) ? TYPE_WARNING : TYPE_INFORMATION;
      if (C_MessageTool::HandleMessage(key, text, type, LEVEL_PUBLIC, SCOPE_NONE) != 0) ++failures[i];
    }
  });
  t->setLogFilename("", true);
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(failures[i], 0) << "thread " << i;
  // The first opening truncated the file; every line is one whole message, each message once.
  std::istringstream log(kvtest::ReadFileText(logName));
  std::map<std::pair<int, int>, int> count;
  std::string line;
  int lines = 0;
  while (std::getline(log, line)) {
    ++lines;
    int thread = -1, k = -1;
    char rest = 0;
    const bool warning = line.compare(0, 13, "*** Warning: ") == 0;
    const char* body = line.c_str() + (warning ? 13 : 0);
    ASSERT_EQ(std::sscanf(body, "thread %d message %d%c", &thread, &k, &rest), 2) << "cut line: " << line;
    EXPECT_EQ(warning, k % 3 == 0) << line;
    ++count[{thread, k}];
  }
  EXPECT_EQ(lines, kThreads * perThread);
  for (int i = 0; i < kThreads; ++i)
    for (int k = 0; k < perThread; ++k) EXPECT_EQ((count[{i, k}]), 1) << i << " " << k;
  t->ResetMessageStreamCtrl(STREAM_ALL);
  t->setEndMsgChar(' ');
}

TEST(MessageThreads, CodeTextsLookedUpAtOnceComeOutRight) {
  kvtest::TempDir dir("msg_threads_texts");
  kvtest::MsbWriter w;
  w.Message(0, 12, "Exception twelve").Message(0, 13, "reason {0,d} of {1,s}").Message(0, 14, "plain fourteen");
  ASSERT_TRUE(w.Save(dir.file("ke0.msb")));
  const std::string key = "Threaded texts tool";
  C_MessageTool* t = C_MessageTool::Instance(key);
  static C_DevNullCtrl quiet;
  t->setMessageStreamCtrl(quiet, STREAM_ALL);
  t->ResetMessageStreamCtrl(STREAM_LOG);  // not all streams swallowed: the texts are loaded
  t->setResourcesDir(dir.str(), static_cast<C_MessageTool::E_CodeLang>(0));
  ASSERT_EQ(t->Initialize(), 0);
  t->setMessageStreamCtrl(quiet, STREAM_ALL);
  std::vector<int> wrong(kThreads, 0);
  RunTogether(kThreads, [&](int i) {
    for (int k = 0; k < 200; ++k) {
      std::string out;
      const std::string who = "t" + std::to_string(i);
      if (C_MessageTool::getMessage(14, out, nullptr, key) != 0 || out != "plain fourteen") ++wrong[i];
      C_KveloMessage m("F", "f.cpp", 1, key, TYPE_INFORMATION, static_cast<MessageCode::E_MessageCode_t>(13), k,
                       who.c_str());
      if (m.getMessage() != "reason " + std::to_string(k) + " of " + who) ++wrong[i];
      // An exception reported in this thread: its texts, and the listing of its own stack.
      try {
        C_Trace scope(who.c_str(), "thread.cpp", k);
        throw C_KveloException("Throwing", "thread.cpp", 7, 12, 14, key);
      } catch (C_KveloException& e) {
        if (e.getCallStack().NbEntries() != 1 || who != e.getCallStack().GetEntry(0).function) ++wrong[i];
        if (C_MessageTool::HandleMessage(e, TYPE_ERROR, LEVEL_PUBLIC) != 0) ++wrong[i];
        if (e.getMessage() != "Exception twelve\nplain fourteen") ++wrong[i];
      }
    }
  });
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(wrong[i], 0) << "thread " << i;
  t->ResetMessageStreamCtrl(STREAM_ALL);
}

TEST(MessageThreads, CReportsFromEveryThread) {
  // The C entry points and the C matrix library's error handler, from every thread at once;
  // the default tool's streams are swallowed so that nothing is printed.
  C_MessageTool* t = C_MessageTool::Instance("DefaultMessageTool");
  static C_DevNullCtrl quiet;
  t->setMessageStreamCtrl(quiet, STREAM_ALL);
  std::vector<int> bad(kThreads, 0);
  RunTogether(kThreads, [&](int i) {
    for (int k = 0; k < 200; ++k) {
      if (Erreur("Threads::C", k, "src/threads", "error %d of thread %d", k, i) != 0) ++bad[i];
      if (Warning("Threads::C", k, "src/threads", "warning %d", k) != 0) ++bad[i];
      if (Msg_verbeux(502, "fit %d", k) != 0) ++bad[i];
      _LM_error("src/threads", 2, k, "Threads::C", 0, k, "caller");  // no text: a blank message
    }
  });
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(bad[i], 0) << "thread " << i;
  EXPECT_EQ(_LM_err_status, -1);
  _LM_err_status = 0;
  t->ResetMessageStreamCtrl(STREAM_ALL);
}
