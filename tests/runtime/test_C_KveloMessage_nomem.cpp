// Tests of the message system when memory runs out: a library failure still reaches the host
// as C_KveloException 1001 (never std::bad_alloc), exceptions are built, copied and assigned
// without throwing, the report of such an exception neither throws nor crashes, and a message,
// an exception or a tool setting that cannot be completed is left as it was. The C++ heap is
// made to fail through the replaced operator new of failing_new.cpp (every allocation, or the
// k-th one for k = 0, 1, 2, ...), the library's C heap through its block ceiling.
#include "C_CallStack.h"
#include "C_KveloException.h"
#include "C_KveloMessage.h"
#include "C_MessageTool.h"
#include "C_Ptr.h"
#include "C_VecPi.h"
#include "binfile.h"
#include "erreur.h"
#include "failing_new.h"
#include "kvelosys.h"
#include "msbfile.h"
#include "msgtool_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Kvelo;
using namespace Kvelo::MessageToolEnums;

namespace {

typedef C_VecPi<double, int, C_PtrInCore<double, int>> Vec;

// What a catch site saw, recorded without allocating.
struct Caught {
  bool kvelo = false, badAlloc = false, other = false;
  int code = -1, reason = -1;
  bool defaultKey = false;
  char function[64] = "";
  int handled = -2;  // HandleMessage's result
  bool handleThrew = false;
};

// A text long enough that every copy of it needs the heap.
const std::string kLong(40, 'L');

// A tool whose three streams swallow what they get (nothing printed), named for one test.
C_MessageTool* QuietTool(const std::string& name) {
  static C_DevNullCtrl devnull;
  C_MessageTool* t = C_MessageTool::Instance(name);
  t->setMessageStreamCtrl(devnull, STREAM_ALL);
  return t;
}

}  // namespace

TEST(NoMemory, ContainerAllocationReachesTheHostAsCode1001) {
  C_MessageTool::Instance("DefaultMessageTool");  // exists before memory runs out
  Caught c;
  CaptureStderr();
  {
    C_Trace scope("NoMemory::Container", __FILE__, __LINE__);
    kvtest::NoMemory nomem;  // every operator new and every library heap block fails
    try {
      Vec v(1000);
      c.code = 0;
    } catch (C_KveloException& e) {
      c.kvelo = true;
      c.code = e.getExceptionCode();
      c.reason = e.getReasonCode();
      c.defaultKey = (e.getKey() == "DefaultMessageTool");
      std::snprintf(c.function, sizeof c.function, "%s", e.getErrorLocation().function);
      // The host reports it as documented: no exception, no crash.
      try {
        c.handled = C_MessageTool::HandleMessage(e, TYPE_ERROR, LEVEL_PUBLIC);
      } catch (...) {
        c.handleThrew = true;
      }
    } catch (const std::bad_alloc&) {
      c.badAlloc = true;
    } catch (...) {
      c.other = true;
    }
  }
  const std::string err = GetCapturedStderr();
  EXPECT_FALSE(c.badAlloc);
  EXPECT_FALSE(c.other);
  ASSERT_TRUE(c.kvelo);
  EXPECT_EQ(c.code, 1001);
  EXPECT_EQ(c.reason, 0);
  EXPECT_TRUE(c.defaultKey);
  EXPECT_STREQ(c.function, "Throwing");
  EXPECT_FALSE(c.handleThrew);
  EXPECT_EQ(c.handled, -1);  // the report could not be composed
  EXPECT_EQ(err, "Error: MessageTool is out of memory!\n*** Cannot handle exception code=1001 reason=0 "
                 "type=2 level=0\n");
}

// Catching by value is what is tested here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcatch-value"
TEST(NoMemory, CaughtByValueRethrownAndCopied) {
  // Catching by value copies the exception inside the exception machinery, where a copy that
  // throws ends the program; a rethrow by value copies it again.
  int byValue = -1, asMessage = -1, rethrown = -1, assigned = -1;
  bool badAlloc = false;
  {
    kvtest::NoMemory nomem;
    try {
      try {
        Vec v(50);
      } catch (C_KveloException e) {  // a copy
        byValue = e.getExceptionCode();
        throw e;  // another copy
      }
    } catch (C_KveloMessage m) {  // sliced copy
      asMessage = m.getMessageCode();
    } catch (const std::bad_alloc&) {
      badAlloc = true;
    }
    try {
      Vec v(50);
    } catch (const C_KveloException& e) {
      C_KveloException kept("Old", "old.cpp", 1, 5, 6, "DefaultMessageTool");
      kept = e;  // assignment, also without memory
      rethrown = e.getExceptionCode();
      assigned = kept.getExceptionCode() * 10000 + kept.getReasonCode();
    } catch (const std::bad_alloc&) {
      badAlloc = true;
    }
  }
  EXPECT_FALSE(badAlloc);
  EXPECT_EQ(byValue, 1001);
  EXPECT_EQ(asMessage, 1001);
  EXPECT_EQ(rethrown, 1001);
  EXPECT_EQ(assigned, 1001 * 10000 + 0);
}
#pragma GCC diagnostic pop

TEST(NoMemory, ExceptionsAreBuiltWithoutMemory) {
  C_Trace outer("NoMemory::Outer", __FILE__, __LINE__);  // the thread's stack is not empty
  struct Result {
    int code = -1, reason = -1, err = -1, depth = -1, line = -1;
    bool defaultKey = false, threw = false;
  } r[4];
  {
    kvtest::NoMemory nomem;
    try {
      C_KveloException plain;
      r[0].code = plain.getExceptionCode();
      r[0].defaultKey = plain.getKey() == "DefaultMessageTool";
      r[0].depth = plain.getCallStack().NbEntries();
    } catch (...) {
      r[0].threw = true;
    }
    try {
      // A key of its own cannot be stored: the default one stands in.
      C_KveloException keyed("Throwing", "keyed.cpp", 7, 21, 0, std::string("Other tool"));
      r[1].code = keyed.getExceptionCode();
      r[1].defaultKey = keyed.getKey() == "DefaultMessageTool";
      r[1].line = keyed.getErrorLocation().line;
    } catch (...) {
      r[1].threw = true;
    }
    try {
      errno = ENOMEM;
      C_KveloException fromErrno("Throwing", "errno.cpp", 8, 30, 100, "DefaultMessageTool");
      r[2].code = fromErrno.getExceptionCode();
      r[2].reason = fromErrno.getReasonCode();
      r[2].err = fromErrno.getErrno();
    } catch (...) {
      r[2].threw = true;
    }
    try {
      KVELO_THROW_R(2872, 18);
    } catch (const C_KveloException& e) {
      r[3].code = e.getExceptionCode();
      r[3].reason = e.getReasonCode();
      r[3].depth = e.getCallStack().NbEntries();  // no memory for the snapshot
      r[3].defaultKey = e.getKey() == "DefaultMessageTool";
    } catch (...) {
      r[3].threw = true;
    }
  }
  for (const Result& x : r) EXPECT_FALSE(x.threw);
  EXPECT_EQ(r[0].code, 0);
  EXPECT_TRUE(r[0].defaultKey);
  EXPECT_EQ(r[0].depth, 0);
  EXPECT_EQ(r[1].code, 21);
  EXPECT_TRUE(r[1].defaultKey);
  EXPECT_EQ(r[1].line, 7);
  EXPECT_EQ(r[2].code, 30);
  EXPECT_EQ(r[2].reason, 1);
  EXPECT_EQ(r[2].err, ENOMEM);
  EXPECT_EQ(r[3].code, 2872);
  EXPECT_EQ(r[3].reason, 18);
  EXPECT_EQ(r[3].depth, 0);
  EXPECT_TRUE(r[3].defaultKey);
  // With memory, the same exception keeps its own key and the stack.
  C_KveloException keyed("Throwing", "keyed.cpp", 7, 21, 0, std::string("Other tool"));
  EXPECT_EQ(keyed.getKey(), "Other tool");
  EXPECT_GE(keyed.getCallStack().NbEntries(), 1);
}

TEST(NoMemory, CopiesNeverThrowAndKeepWhatTheyCan) {
  C_Trace scope("NoMemory::Copies", __FILE__, __LINE__);
  C_KveloException e("Throwing", "copies.cpp", 9, 12, 13, std::string("Copies tool"));
  e.setReason("%s", kLong.c_str());
  e.Set(kLong + " text");
  const char* problem = nullptr;  // the first field a copy got wrong (a literal: no allocation)
  int runs = kvtest::SweepAllocations(
      [] {},
      [&] {
        C_KveloException copy(e);
        C_KveloException assigned;
        assigned = e;
        C_KveloMessage sliced(e);
        for (const C_KveloException* x : {&copy, &assigned}) {
          if (x->getExceptionCode() != 12 || x->getReasonCode() != 13) problem = "codes";
          if (x->getErrorLocation().line != 9) problem = "place";
          if (x->getKey() != "Copies tool") problem = "key";
          // Each text and the stack are whole or left out.
          if (!x->getMessage().empty() && x->getMessage().size() != kLong.size() + 5) problem = "text";
          if (x->getMessage().size() == kLong.size() + 5 && x->getMessage().compare(0, kLong.size(), kLong) != 0)
            problem = "text";
          const int n = x->getCallStack().NbEntries();
          if (n != 0 && n != e.getCallStack().NbEntries()) problem = "stack";
        }
        if (sliced.getMessageCode() != 12) problem = "sliced";
      },
      [&](int k, bool threw) {
        EXPECT_FALSE(threw) << "allocation " << k;
        EXPECT_EQ(problem, nullptr) << problem << ", allocation " << k;
        problem = nullptr;
      });
  // With memory, a copy has everything.
  C_KveloException copy(e);
  EXPECT_EQ(copy.getMessage(), kLong + " text");
  EXPECT_EQ(copy.getReasonMessage(), kLong);
  EXPECT_EQ(copy.getCallStack().NbEntries(), e.getCallStack().NbEntries());
  EXPECT_GT(runs, 3);
}

TEST(NoMemory, TextOperationsChangeAllOrNothing) {
  // The text forms either install the whole new text or throw C_KveloException 1001 with the
  // old one kept (never std::bad_alloc); the code forms never throw.
  const std::string old = "old " + kLong;
  struct Case {
    const char* name;
    bool mayThrow;
    std::function<void(C_KveloMessage&)> op;
    std::string want;  // the text once it worked
  } cases[] = {
      {"Set(fmt)", true, [](C_KveloMessage& m) { m.Set("%s-%d", kLong.c_str(), 7); }, kLong + "-7"},
      {"Append(fmt)", true, [](C_KveloMessage& m) { m.Append("+%s", kLong.c_str()); }, old + "+" + kLong},
      {"Set(string)", true, [](C_KveloMessage& m) { m.Set(kLong); }, kLong},
      {"operator=(fmt)", true, [](C_KveloMessage& m) { m = "%% done with the whole long text"; },
       "% done with the whole long text"},
      {"Set(code)", false, [](C_KveloMessage& m) { m.Set(static_cast<MessageCode::E_MessageCode_t>(4242)); },
       "MessageDatabase failed to load id 4242"},
      {"Append(code)", false,
       [](C_KveloMessage& m) { m.Append(static_cast<MessageCode::E_MessageCode_t>(4243)); },
       old + "MessageDatabase failed to load id 4243"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<C_KveloMessage> m;
    kvtest::SweepRefusals(
        [&] { m.reset(new C_KveloMessage("F", "f.cpp", 1, TYPE_INFORMATION, old)); },
        [&] { c.op(*m); },
        [&](int k, kvtest::Refusal refusal) {
          EXPECT_NE(refusal, kvtest::Refusal::BadAlloc) << c.name << " let std::bad_alloc out, allocation " << k;
          const bool threw = refusal != kvtest::Refusal::None;
          if (threw) {
            EXPECT_TRUE(c.mayThrow) << c.name << " threw at allocation " << k;
            EXPECT_EQ(m->getMessage(), old) << c.name << " changed before it failed, allocation " << k;
          } else if (c.mayThrow) {
            EXPECT_EQ(m->getMessage(), c.want) << c.name << " allocation " << k;
          } else {
            // Without memory for any text: Set leaves none (the code's text is then looked up
            // when reported), Append leaves the old one.
            const std::string none = std::string(c.name) == "Set(code)" ? "" : old;
            const std::string& got = m->getMessage();
            EXPECT_TRUE(got == c.want || got == none) << c.name << " allocation " << k << ": " << got;
          }
        });
    EXPECT_EQ(m->getMessage(), c.want) << c.name;
  }
}

TEST(NoMemory, ExceptionCodeSettersNeverThrow) {
  C_KveloException e("Throwing", "e.cpp", 3, 21, 0, "DefaultMessageTool");
  kvtest::SweepAllocations(
      [&] { e = C_KveloException("Throwing", "e.cpp", 3, 21, 0, "DefaultMessageTool"); },
      [&] {
        e.setExceptionCode(2872);
        e.setReason(static_cast<MessageCode::E_MessageCode_t>(555));
      },
      [&](int k, bool threw) {
        EXPECT_FALSE(threw) << "allocation " << k;
        EXPECT_EQ(e.getExceptionCode(), 2872);
        EXPECT_EQ(e.getReasonCode(), 555);
        const std::string x = e.getExceptionMessage(), r = e.getReasonMessage();
        EXPECT_TRUE(x.empty() || x == "MessageDatabase failed to load id 2872") << x;
        EXPECT_TRUE(r.empty() || r == "MessageDatabase failed to load id 555") << r;
      });
  EXPECT_EQ(e.getExceptionMessage(), "MessageDatabase failed to load id 2872");
}

TEST(NoMemory, ReportingNeverThrowsAndAppendsAllTextsOrNone) {
  kvtest::TempDir dir("nomem_report");
  const std::string key = "NoMemory report tool";
  C_MessageTool* t = QuietTool(key);
  t->setLogFilename(dir.file("report.log"), false);
  const std::string reasonText = "reason " + kLong;
  std::unique_ptr<C_KveloException> e;
  int result = 0;
  CaptureStderr();
  kvtest::SweepAllocations(
      [&] {
        e.reset(new C_KveloException("Throwing", "r.cpp", 4, 12, 13, key));
        e->setExceptionCode(12);  // no database: the failure text
        e->setReason("%s", reasonText.c_str());
        e->Set("own " + kLong);
      },
      [&] { result = C_MessageTool::HandleMessage(*e, TYPE_ERROR, LEVEL_PUBLIC); },
      [&](int k, bool threw) {
        EXPECT_FALSE(threw) << "allocation " << k;
        const std::string whole = "own " + kLong + "MessageDatabase failed to load id 12\n" + reasonText;
        const std::string& got = e->getMessage();
        EXPECT_TRUE(got == whole || got == "own " + kLong) << "allocation " << k << ": " << got;
        if (got != whole) {
          EXPECT_EQ(result, -1);
        }
      });
  GetCapturedStderr();  // the codes of the reports that could not be composed
  EXPECT_EQ(result, 0);
  t->setLogFilename("", true);
}

TEST(NoMemory, RoutingAMessageNeverThrows) {
  kvtest::TempDir dir("nomem_route");
  const std::string key = "NoMemory routing tool";
  C_MessageTool* t = QuietTool(key);
  t->setLogFilename(dir.file("route.log"), false);
  C_Trace scope("NoMemory::Routing", __FILE__, __LINE__);
  // Built beforehand: only the routing runs short of memory.
  const C_KveloMessage error("F", "f.cpp", 1, key, kLong, TYPE_ERROR, LEVEL_PUBLIC, SCOPE_NONE, STREAM_ALL);
  const C_KveloMessage coded("F", "f.cpp", 1, key, 77, TYPE_WARNING, LEVEL_PUBLIC, SCOPE_NONE, STREAM_ALL);
  const std::string format = "%s";
  struct Case {
    const char* name;
    std::function<int()> op;
  } cases[] = {
      {"error with text", [&] { return C_MessageTool::HandleMessage(error); }},
      {"code without text", [&] { return C_MessageTool::HandleMessage(coded); }},
      {"family with a code", [&] { return C_MessageTool::HandleMessage(key, 77, TYPE_WARNING, LEVEL_PUBLIC); }},
      {"format", [&] { return C_MessageTool::HandleMessageArg(key, format, TYPE_INFORMATION, LEVEL_PUBLIC,
                                                               SCOPE_NONE, kLong.c_str()); }},
      {"code with arguments", [&] { return C_MessageTool::HandleMessageInfArg(key, 78, 1); }},
      {"call stack", [&] { return C_MessageTool::HandleCallStack(error, LEVEL_PUBLIC); }},
  };
  CaptureStderr();
  for (const Case& c : cases) {
    int r = 0;
    kvtest::SweepAllocations([] {}, [&] { r = c.op(); },
                             [&](int k, bool threw) {
                               EXPECT_FALSE(threw) << c.name << " allocation " << k;
                               EXPECT_TRUE(r == 0 || r == -1) << c.name;
                             });
  }
  GetCapturedStderr();
  t->setLogFilename("", true);
}

TEST(NoMemory, ToolSettersChangeAllOrNothing) {
  const std::string key = "NoMemory setters tool";
  C_MessageTool* t = QuietTool(key);
  kvtest::TempDir dir("nomem_setters");
  ASSERT_TRUE(kvtest::WriteFileText(dir.file("texts.msb"), "x"));
  const std::string longDir = dir.str() + "/" + kLong;
  auto resources = [t] {
    std::string name;
    t->BuildResourcesFilename(name);
    return name;
  };
  const std::string startDir = "start" + kLong;
  const std::string startName = startDir + "/ke1.msb";
  const std::string var = "KVELO_NOMEM_RES_" + std::to_string(getpid());
  setenv(var.c_str(), longDir.c_str(), 1);
  // The setters take their string by value: the copy is the caller's, made here with memory
  // and moved in.
  struct Case {
    const char* name;
    std::string arg;
    std::function<bool(std::string&)> op;  // false: refused (-1)
    std::string want;                      // resources file name once done
  } cases[] = {
      {"setResourcesDir", longDir,
       [&](std::string& a) { t->setResourcesDir(std::move(a), static_cast<C_MessageTool::E_CodeLang>(2)); return true; },
       longDir + "/ke2.msb"},
      {"setResourcesDirByEnv", var,
       [&](std::string& a) { t->setResourcesDirByEnv(std::move(a), static_cast<C_MessageTool::E_CodeLang>(3)); return true; },
       longDir + "/ke3.msb"},
      {"setResourcesFilename", dir.file("texts.msb"),
       [&](std::string& a) { return t->setResourcesFilename(std::move(a), static_cast<C_MessageTool::E_CodeLang>(4)) == 0; },
       dir.str() + "/ke4.msb"},
  };
  for (const Case& c : cases) {
    std::string arg;
    kvtest::SweepRefusals(
        [&] {
          t->setResourcesDir(startDir, static_cast<C_MessageTool::E_CodeLang>(1));
          arg = c.arg;
        },
        [&] {
          if (!c.op(arg)) KVELO_THROW(1001);  // a refusal counts as a failure that must change nothing
        },
        [&](int k, kvtest::Refusal refusal) {
          EXPECT_NE(refusal, kvtest::Refusal::BadAlloc) << c.name << " let std::bad_alloc out, allocation " << k;
          const bool failed = refusal != kvtest::Refusal::None;
          if (failed)
            EXPECT_EQ(resources(), startName) << c.name << " changed before it failed, allocation " << k;
          else
            EXPECT_EQ(resources(), c.want) << c.name << " allocation " << k;
        });
    EXPECT_EQ(resources(), c.want) << c.name;
  }
  unsetenv(var.c_str());

  // The log file name.
  const std::string logName = dir.file(kLong + ".log");
  kvtest::SweepAllocations([&] { t->setLogFilename("", true); },
                           [&] {
                             if (t->setLogFilename(logName, false) != 0) throw std::bad_alloc();
                           },
                           [&](int k, bool failed) {
                             EXPECT_EQ(t->getLogFilename(), failed ? "" : logName) << "allocation " << k;
                           });
  t->setLogFilename("", true);

  // Debug scopes of all three streams: every set or none.
  auto scopes = [t](int scope) {
    return (t->DebugScopeActive(scope, STREAM_SCREEN) ? 1 : 0) + (t->DebugScopeActive(scope, STREAM_LOG) ? 2 : 0) +
           (t->DebugScopeActive(scope, STREAM_LOG_RECORD) ? 4 : 0);
  };
  kvtest::SweepRefusals([&] { t->ActivateDebugScope(-1, true, STREAM_SCREEN); },
                        [&] { t->ActivateDebugScope(881, true, STREAM_ALL); },
                        [&](int k, kvtest::Refusal refusal) {
                          EXPECT_NE(refusal, kvtest::Refusal::BadAlloc) << "allocation " << k;
                          EXPECT_EQ(scopes(881), refusal != kvtest::Refusal::None ? 0 : 7) << "allocation " << k;
                        });
  // A reset that fails keeps every stream's set, scope 0 included.
  kvtest::SweepRefusals([&] { t->ActivateDebugScope(882, true, STREAM_ALL); },
                        [&] { t->ActivateDebugScope(-1, true, STREAM_ALL); },
                        [&](int k, kvtest::Refusal refusal) {
                             EXPECT_NE(refusal, kvtest::Refusal::BadAlloc) << "allocation " << k;
                             const bool threw = refusal != kvtest::Refusal::None;
                             EXPECT_EQ(scopes(0), 7) << "allocation " << k;
                             // The reset runs once per stream: one that fails after an earlier
                             // one has run leaves the reset state, never a mixed one.
                             const int s882 = scopes(882);
                             EXPECT_TRUE(s882 == 0 || (threw && s882 == 7)) << s882 << ", allocation " << k;
                           });
}

TEST(NoMemory, AReloadThatFailsKeepsTheTexts) {
  kvtest::TempDir dir("nomem_reload");
  kvtest::MsbWriter one;
  one.Message(0, 1, "first " + kLong);
  ASSERT_TRUE(one.Save(dir.file("ke0.msb")));
  const std::string key = "NoMemory reload tool";
  C_MessageTool* t = C_MessageTool::Instance(key);
  t->setResourcesDir(dir.str(), static_cast<C_MessageTool::E_CodeLang>(0));
  ASSERT_EQ(t->Initialize(), 0);
  kvtest::MsbWriter two;
  two.Message(0, 1, "second " + kLong);
  ASSERT_TRUE(two.Save(dir.file("ke0.msb")));
  auto text = [&] {
    std::string out;
    C_MessageTool::getMessage(1, out, nullptr, key);
    return out;
  };
  CaptureStderr();
  int result = 0;
  kvtest::SweepAllocations([] {}, [&] { result = t->Initialize(); },
                           [&](int k, bool threw) {
                             EXPECT_FALSE(threw) << "allocation " << k;
                             EXPECT_TRUE(t->isInitialized()) << "allocation " << k;
                             EXPECT_EQ(text(), result == 0 ? "second " + kLong : "first " + kLong)
                                 << "allocation " << k;
                           });
  GetCapturedStderr();
  EXPECT_EQ(result, 0);
}

TEST(NoMemory, CEntryPointsStillShowTheirReport) {
  C_MessageTool::Instance("DefaultMessageTool");
  CaptureStderr();
  int erreur = 0, trace = 0;
  {
    kvtest::NoMemory nomem;
    erreur = Erreur("NoMemory::C", 12, "src/nomem", "disk %s at %d%%", "full", 99);
  }
  const std::string err = GetCapturedStderr();
  EXPECT_EQ(erreur, -1);
  EXPECT_EQ(err, "Error: disk full at 99%\n");
  // A level-3 message hidden by the default tool stays hidden.
  CaptureStderr();
  {
    kvtest::NoMemory nomem;
    Msg_interne("internal %s", "detail");
  }
  EXPECT_EQ(GetCapturedStderr(), "");
  // A trace mark needs an initialized tool: a quiet one, found last.
  kvtest::TempDir dir("nomem_trace");
  kvtest::MsbWriter w;
  w.Message(0, 1, "one");
  ASSERT_TRUE(w.Save(dir.file("ke0.msb")));
  C_MessageTool* t = C_MessageTool::Instance("NoMemory trace tool");
  t->setResourcesDir(dir.str(), static_cast<C_MessageTool::E_CodeLang>(0));
  ASSERT_EQ(t->Initialize(), 0);
  ASSERT_EQ(C_MessageTool::Instance("NoMemory trace tool"), t);  // found initialized: the last-used tool
  ASSERT_EQ(C_MessageTool::LastInstance(), t);
  CaptureStderr();
  {
    kvtest::NoMemory nomem;
    trace = fct_Trace("aff_lieu", 120, "/build/path/src/bf.cpp");
  }
  EXPECT_EQ(trace, -1);
  EXPECT_EQ(GetCapturedStderr(), "Error: fct_Trace: aff_lieu(), src/bf line 120\n");
  // MSG_get gives null rather than throwing.
  char* text = reinterpret_cast<char*>(1);
  bool threw = false;
  {
    kvtest::NoMemory nomem;
    try {
      text = MSG_get(1);
    } catch (...) {
      threw = true;
    }
  }
  EXPECT_FALSE(threw);
  EXPECT_EQ(text, nullptr);
  text = MSG_get(1);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "one");
  kvelomem_free(text, __FILE__, __LINE__);
}

TEST(NoMemory, ALibraryHeapFailureIsNoWrongPath) {
  // Names are handled on the C++ heap: a refused library heap neither hides an existing file
  // nor cuts a log name to its suffix.
  kvtest::TempDir dir("nomem_cheap");
  ASSERT_TRUE(kvtest::WriteFileText(dir.file("texts.msb"), "x"));
  const std::string key = "NoMemory C heap tool";
  C_MessageTool* t = QuietTool(key);
  std::string generated, resources;
  int set = 0;
  {
    kvtest::NoCHeap nocheap;
    set = t->setResourcesFilename(dir.file("texts.msb"), static_cast<C_MessageTool::E_CodeLang>(6));
    generated = t->GenerateDefaultLogFilename(dir.file("run.dat"), ".log");
    t->BuildResourcesFilename(resources);
  }
  EXPECT_EQ(set, 0);
  EXPECT_EQ(resources, dir.str() + "/ke6.msb");
  EXPECT_EQ(generated, dir.file("run.log"));
}

TEST(NoMemory, FormattingAllocatesOnlyWhatItKeeps) {
  // A text cut to its buffer is never formatted whole first: the memory follows the kept text,
  // not the width the format asks for.
  C_KveloMessage m("F", "f.cpp", 1, TYPE_INFORMATION, std::string());
  kvtest::LargestNewSince();
  m.Set("%50000000d", 7);
  EXPECT_LT(kvtest::LargestNewSince(), 20000u);
  ASSERT_EQ(m.getMessage().size(), 16399u);
  EXPECT_EQ(m.getMessage().find_first_not_of(' '), std::string::npos);  // only the padding fits
  C_KveloException e;
  e.setReason("%20000000s|", "r");
  EXPECT_LT(kvtest::LargestNewSince(), 20000u);
  EXPECT_EQ(e.getReasonMessage().size(), 1023u);
}

namespace {
// Opens n nested scopes; the depth of the thread's stack inside the innermost.
int OpenScopes(int n) {
  if (n == 0) return GlobalCallstackCollection().GetCurrentCallStack().NbEntries();
  C_Trace scope("NoMemory::Deep", __FILE__, n);
  return OpenScopes(n - 1);
}
}  // namespace

TEST(NoMemory, ScopesThatCannotBePushedGoUntraced) {
  // A thread's first scope needs a new stack, and a scope beyond the room reserved needs a
  // larger one: without memory they go untraced, and the traced operation goes on to fail
  // with its own code.
  int code = -1, depthInside = -1;
  bool badAlloc = false;
  std::thread worker([&] {
    kvtest::NoMemory nomem;
    try {
      C_Trace first("NoMemory::FirstScope", __FILE__, __LINE__);  // no stack for this thread yet
      depthInside = -2;
      Vec v(1000);
    } catch (const C_KveloException& e) {
      code = e.getExceptionCode();
    } catch (const std::bad_alloc&) {
      badAlloc = true;
    }
  });
  worker.join();
  EXPECT_FALSE(badAlloc);
  EXPECT_EQ(depthInside, -2);
  EXPECT_EQ(code, 1001);
  // On a thread with a stack: 40 nested scopes where room for 30 is reserved.
  C_CallStack& stack = GlobalCallstackCollection().GetCurrentCallStack();
  const int before = stack.NbEntries();
  int deepest = -1;
  badAlloc = false;
  {
    kvtest::NoMemory nomem;
    try {
      deepest = OpenScopes(40);
    } catch (const std::bad_alloc&) {
      badAlloc = true;
    }
  }
  EXPECT_FALSE(badAlloc);
  EXPECT_GE(deepest, before);
  EXPECT_LT(deepest, before + 40);  // the scopes beyond the room went untraced
  EXPECT_EQ(stack.NbEntries(), before);  // and none of them popped another's entry
}
