// Every public operation that needs memory says its want as C_KveloException 1001, never as
// std::bad_alloc: each operation of the table runs with operator new failing from its k-th
// allocation on (k = 0, 1, 2, ... until it runs without a refusal), and must then end in 1001
// with its object as it was, or succeed.
#include "C_CallStack.h"
#include "C_Entity.h"
#include "C_KveloException.h"
#include "C_KveloMessage.h"
#include "C_MatMGe.h"
#include "C_MessageTool.h"
#include "C_Ptr.h"
#include "C_TimeManager.h"
#include "C_VecPi.h"
#include "C_WorkSpace.h"
#include "derived_vec.h"
#include "failing_new.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>

using namespace Kvelo;
using namespace Kvelo::MessageToolEnums;

namespace {

// Long enough that every copy needs the heap.
const std::string kLong(48, 'q');

// The operations' arguments are all made before memory runs out: a string the test builds
// while operator new fails would throw std::bad_alloc in the test's own code.
const std::string kToolKey = "no bad_alloc tool";

C_MessageTool* QuietTool() {
  static C_DevNullCtrl devnull;
  C_MessageTool* t = C_MessageTool::Instance(kToolKey);
  t->setMessageStreamCtrl(devnull, STREAM_ALL);
  return t;
}

char* Name(const std::string& s) { return const_cast<char*>(s.c_str()); }

typedef C_VecPi<double, int, C_PtrInCore<double, int>> Vec;

// The objects the operations work on, made afresh before each run.
struct World {
  std::unique_ptr<C_KveloMessage> msg;
  std::unique_ptr<C_KveloException> exc;
  std::unique_ptr<C_CallStack> stack, other;
  std::unique_ptr<C_Algorithm> algo;
  std::unique_ptr<C_TimeManager> tm, tm2;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> record{nullptr, std::fclose};  // tm2 written
  std::unique_ptr<C_WorkSpace> ws;
  std::unique_ptr<ChunkVec<double, int>> walkVec;
  std::unique_ptr<C_MatMGe<double>> mat;
  std::unique_ptr<C_Mat<double>> made;
  std::string text, got;
  std::string a1, a2;  // arguments, made with memory (a by-value parameter is moved into)
  int result = 0;

  void Make() {
    msg.reset(new C_KveloMessage("F", "f.cpp", 1, "no bad_alloc tool", TYPE_INFORMATION, "old " + kLong));
    exc.reset(new C_KveloException("Throwing", "e.cpp", 2, 12, 13, "DefaultMessageTool"));
    exc->setReason("%s", ("reason " + kLong).c_str());
    exc->setExceptionCode(12);
    stack.reset(new C_CallStack(0));
    for (int i = 0; i < 4; ++i) stack->Push(C_Entry("f", "src/x", i));  // full: room for 4
    other.reset(new C_CallStack(0));
    for (int i = 0; i < 40; ++i) other->Push(C_Entry("g", "src/y", i));
    algo.reset(new C_Algorithm("algo " + kLong));
    algo->setOption("kept " + kLong, 1);
    tm.reset(new C_TimeManager());
    tm2.reset(new C_TimeManager());
    for (const char* b : {"A::one", "B::two", "C::three"}) {
      const std::string name = std::string(b) + kLong;
      tm->BeginBlock(Name(name));
      tm->EndBlock(Name(name));
      tm2->BeginBlock(Name(name + "x"));
      tm2->EndBlock(Name(name + "x"));
    }
    record.reset(std::tmpfile());
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(tm2->Write(record.get()), 0);
    std::rewind(record.get());
    ws.reset(new C_WorkSpace(C_WorkSpace::INCORE, 0));
    int status = 0;
    for (int i = 0; i < 20; ++i) ws->AddNewBlock(8, status);
    walkVec.reset(new ChunkVec<double, int>(4));
    walkVec->full = 0;
    walkVec->stored = {{0, 1.5}, {2, -2.5}, {3, 4.0}};
    mat.reset(new C_MatMGe<double>(2, 3));
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < 2; ++i) mat->SetVal(i, j, i + 10.0 * j);
    made.reset();
    text = kLong;
    got.clear();
    a1 = "first argument " + kLong;
    a2 = "second argument " + kLong;
    double v = 0;
    walkVec->FirstVal(v);  // the cursor stands after the first value
    mat->Row(1);
    mat->FirstCol(v);
  }

  // What the operations may change, in words: it must read the same after a refusal.
  std::string State() {
    std::string s = msg->getMessage() + "|" + msg->getKey() + "|" + exc->getReasonMessage() + "|" +
                    exc->getExceptionMessage() + "|" + std::to_string(stack->NbEntries()) + "|" +
                    algo->GetName() + "|" + text + "|" + std::to_string(walkVec->cursor) + "|" +
                    std::to_string(mat->colCursor) + "|" + std::to_string(ws->getWorkSpaceSize());
    for (int b = 0; b < 24; ++b) s += "," + std::to_string(ws->BlockSize(b));
    for (auto* m : {&algo->getsOptions()})
      for (auto& kv : *m) s += ";" + kv.first + "=" + kv.second;
    for (auto& kv : algo->getiOptions()) s += ";" + kv.first + "=" + std::to_string(kv.second);
    std::string summary;
    tm->FillSummary(summary);
    // The elapsed times move on their own: only the block names and counts are compared.
    std::string name;
    for (C_Timer* t = tm->FirstBlock(name, 0); t != nullptr; t = tm->NextBlock(name, 0))
      s += ";" + name + ":" + std::to_string(t->NbCalls());
    return s;
  }
};

struct Case {
  const char* name;
  std::function<void(World&)> op;
  bool wholeOrNothing = true;  // false: documented to keep the part done before the refusal
};

TEST(NoBadAlloc, EveryOperationSaysNoMemoryAs1001AndChangesNothing) {
  QuietTool();
  const Case cases[] = {
      // messages
      {"C_KveloMessage(type, fmt, ...)",
       [](World&) { C_KveloMessage m("F", "f.cpp", 1, TYPE_INFORMATION, "%s-%d", kLong.c_str(), 1); }},
      {"C_KveloMessage(key, type, text)",
       [](World& w) { C_KveloMessage m("F", "f.cpp", 1, w.a1, TYPE_INFORMATION, w.text); }},
      {"C_KveloMessage(text chars, ...)",
       [](World&) { C_KveloMessage m("F", "f.cpp", 1, kLong.c_str(), TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE, STREAM_ALL); }},
      {"Set(fmt)", [](World& w) { w.msg->Set("%s-%d", kLong.c_str(), 7); }},
      {"Set(string)", [](World& w) { w.msg->Set(w.a1); }},
      {"Append(fmt)", [](World& w) { w.msg->Append("+%s", kLong.c_str()); }},
      {"Append(string)", [](World& w) { w.msg->Append(w.text); }},
      {"Print(fmt)", [](World& w) { w.msg->Print("%s!", kLong.c_str()); }},
      {"Print(string)", [](World& w) { w.msg->Print(w.a1); }},
      {"setKey", [](World& w) { w.msg->setKey(w.a1); }},
      {"operator=(fmt)", [](World& w) { *w.msg = "%% and the whole long text of the assignment"; }},
      {"operator+=(string)", [](World& w) { *w.msg += w.text; }},
      {"operator+=(fmt)", [](World& w) { *w.msg += "%% and the whole long text of the addition"; }},
      // exceptions
      {"setReason(fmt)", [](World& w) { w.exc->setReason("%s/%s", kLong.c_str(), kLong.c_str()); }},
      {"getReasonMessage", [](World& w) { w.got = w.exc->getReasonMessage(); }},
      {"getExceptionMessage", [](World& w) { w.got = w.exc->getExceptionMessage(); }},
      // the message tool
      {"ActivateDebugScope", [](World&) { QuietTool()->ActivateDebugScope(4711, true, STREAM_ALL); }},
      {"setResourcesDir", [](World& w) { QuietTool()->setResourcesDir(std::move(w.a1), C_MessageTool::E_CodeLang(0)); }},
      {"GenerateDefaultLogFilename", [](World& w) { w.got = QuietTool()->GenerateDefaultLogFilename(w.a1, w.a2); }},
      {"getKey", [](World& w) { w.got = QuietTool()->getKey(); }},
      {"BuildResourcesFilename", [](World& w) { QuietTool()->BuildResourcesFilename(w.text); }},
      // call stacks
      {"C_CallStack()", [](World&) { C_CallStack s; }},
      {"C_CallStack copy", [](World& w) { C_CallStack s(*w.other); }},
      {"C_CallStack assignment", [](World& w) { *w.stack = *w.other; }},
      {"C_CallStack::Push", [](World& w) { w.stack->Push(C_Entry("h", "src/z", 9)); }},
      // algorithms and their options
      {"C_Algorithm(name)", [](World& w) { C_Algorithm a(w.a1); }},
      {"setOption(string)", [](World& w) { w.algo->setOption(std::move(w.a1), std::move(w.a2)); }},
      {"setOption(int)", [](World& w) { w.algo->setOption(std::move(w.a1), 5); }},
      {"getOption_s", [](World& w) { w.got = w.algo->getOption_s(std::move(w.a1)); }},
      {"SetName", [](World& w) { w.algo->SetName(w.a1); }},
      {"GetName", [](World& w) { w.got = w.algo->GetName(); }},
      // profiling
      {"C_TimeManager()", [](World&) { C_TimeManager t; }},
      {"BeginBlock", [](World& w) { w.tm2->BeginBlock(Name(w.a1)); }},
      {"SortBlocks", [](World& w) { w.tm->SortBlocks(C_Timer::TOTAL_CPU); }},
      {"operator+=", [](World& w) { *w.tm += *w.tm2; }, false},  // block by block
      {"FillSummary", [](World& w) { w.tm->FillSummary(w.text); }},
      {"FirstBlock", [](World& w) { w.tm->FirstBlock(w.text, 0); }},
      {"C_TimeManager copy", [](World& w) { C_TimeManager t(*w.tm); }},
      {"C_TimeManager::Write", [](World& w) {
         std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::tmpfile(), std::fclose);
         ASSERT_NE(f, nullptr);
         w.tm->Write(f.get());
       }},
      {"C_TimeManager::Read", [](World& w) { w.tm->Read(w.record.get()); }},
      // the work space's block table
      {"AddNewBlock", [](World& w) {
         int status = 0;
         w.ws->AddNewBlock(8, status);
       }},
      // containers
      {"C_Vec::GetVal(i, string)", [](World& w) {
         Vec v(3);
         v[1] = 2.5;
         v.GetVal(1, w.text);
       }},
      {"C_Vec::FirstVal(string)", [](World& w) { w.walkVec->FirstVal(w.text); }},
      {"C_Vec::NextVal(string)", [](World& w) { w.walkVec->NextVal(w.text); }},
      {"C_Mat::GetVal(i, j, string)", [](World& w) { w.mat->GetVal(1, 2, w.text); }},
      {"C_Mat::FirstCol(string)", [](World& w) { w.mat->FirstCol(w.text); }},
      {"C_Mat::NextCol(string)", [](World& w) { w.mat->NextCol(w.text); }},
      {"C_MatMGe::Lnk", [](World& w) { w.made.reset(w.mat->Lnk()); }},
      {"C_MatMGe::Dup", [](World& w) { w.made.reset(w.mat->Dup()); }},
      {"C_VecPi::Print(FILE*)", [](World&) {
         Vec v(7);
         std::FILE* f = std::tmpfile();
         ASSERT_NE(f, nullptr);
         try {
           v.Print(f);
         } catch (...) {
           std::fclose(f);
           throw;
         }
         std::fclose(f);
       }},
  };
  for (const Case& c : cases) {
    World w;
    std::string before;
    int refusals = 0;
    const int runs = kvtest::SweepRefusals(
        [&] {
          w.Make();
          before = w.State();
        },
        [&] { c.op(w); },
        [&](int k, kvtest::Refusal refusal) {
          EXPECT_NE(refusal, kvtest::Refusal::BadAlloc) << c.name << " let std::bad_alloc out at allocation " << k;
          if (refusal == kvtest::Refusal::None) return;
          ++refusals;
          if (c.wholeOrNothing) {
            EXPECT_EQ(w.State(), before) << c.name << " changed before it failed, allocation " << k;
          }
        });
    EXPECT_LT(runs, 2000) << c.name;
    EXPECT_GT(refusals, 0) << c.name << " never needed memory: the case tests nothing";
  }
}

// A thread's first stack is made on its first request: without memory for it, 1001.
TEST(NoBadAlloc, AThreadsFirstStack) {
  for (int k = 0; k < 50; ++k) {
    kvtest::Refusal got = kvtest::Refusal::None;
    bool refused = false;
    std::thread worker([&] {
      kvtest::FailNewAfter(k);
      try {
        GlobalCallstackCollection().GetCurrentCallStack();
      } catch (const std::bad_alloc&) {
        got = kvtest::Refusal::BadAlloc;
      } catch (const C_KveloException& e) {
        if (e.getExceptionCode() == 1001) got = kvtest::Refusal::Code1001;
      }
      refused = kvtest::NewWasRefused();
      kvtest::Heal();
    });
    worker.join();
    EXPECT_NE(got, kvtest::Refusal::BadAlloc) << "allocation " << k;
    if (k == 0) {
      EXPECT_EQ(got, kvtest::Refusal::Code1001);
    }
    if (!refused) break;
  }
}

// The roads of last resort still recognise a want of memory now that the operations they call
// say it as 1001: the reports return -1 after the last-resort display, and never throw.
TEST(NoBadAlloc, ReportsStillTakeTheRoadOfLastResort) {
  QuietTool();
  const std::string text = "report " + kLong, key = "no bad_alloc tool", fmt = "%s";
  struct Report {
    const char* name;
    std::function<int()> op;
  } reports[] = {
      {"HandleMessage(text)", [&] { return C_MessageTool::HandleMessage(key, text, TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE); }},
      {"HandleMessageArg(fmt)", [&] { return C_MessageTool::HandleMessageArg(fmt, TYPE_INFORMATION, LEVEL_PUBLIC, SCOPE_NONE, text.c_str()); }},
      {"SetProgress(text)", [&] { return C_MessageTool::SetProgress(1, text, LEVEL_PUBLIC); }},
  };
  for (const Report& r : reports) {
    int result = 0;
    const int runs = kvtest::SweepRefusals([] {}, [&] { result = r.op(); },
                                           [&](int k, kvtest::Refusal refusal) {
                                             EXPECT_EQ(refusal, kvtest::Refusal::None) << r.name << " threw at allocation " << k;
                                             EXPECT_TRUE(result == 0 || result == -1) << r.name;
                                           });
    EXPECT_GT(runs, 1) << r.name;
  }
}

}  // namespace
