// Tests of the per-thread call stacks and the C_Trace scope object: fixed-width entries,
// push/pop/clear, per-thread isolation, popping on exceptions, callbacks, and the profiling
// blocks that each scope opens in the global time manager.
#include "C_CallStack.h"
#include "C_KveloException.h"
#include "C_TimeManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <vector>
#include <stdexcept>
#include <string>
#include <thread>

using Kvelo::C_CallStack;
using Kvelo::C_Entry;
using Kvelo::C_Trace;
using Kvelo::GlobalCallstackCollection;

namespace {

C_CallStack& Current() { return GlobalCallstackCollection().GetCurrentCallStack(); }

std::string TopName() {
  const C_Entry* e = Current().Top();
  return e ? e->function : "";
}

}  // namespace

TEST(C_Entry, NamesAreCutToTheirFieldWidthLessOne) {
  struct Case {
    std::size_t functionLen, fileLen, wantFunction, wantFile;
  } cases[] = {{0, 0, 0, 0}, {63, 127, 63, 127}, {64, 128, 63, 127}, {200, 500, 63, 127}, {10, 20, 10, 20}};
  for (const Case& c : cases) {
    std::string fn(c.functionLen, 'f'), file(c.fileLen, 'x');
    C_Entry e(fn.c_str(), file.c_str(), 42);
    EXPECT_EQ(std::strlen(e.function), c.wantFunction);
    EXPECT_EQ(std::strlen(e.file), c.wantFile);
    EXPECT_EQ(std::string(e.function), fn.substr(0, c.wantFunction));
    EXPECT_EQ(e.line, 42);
  }
  C_Entry nulls(nullptr, nullptr, 7);
  EXPECT_STREQ(nulls.function, "");
  EXPECT_STREQ(nulls.file, "");
}

TEST(C_CallStack, PushPopClear) {
  C_CallStack s;
  EXPECT_EQ(s.NbEntries(), 0);
  s.Pop();  // empty: nothing happens
  EXPECT_EQ(s.NbEntries(), 0);
  EXPECT_EQ(s.Top(), nullptr);
  for (int i = 0; i < 40; ++i) s.Push(C_Entry(("f" + std::to_string(i)).c_str(), "file.cpp", i));
  EXPECT_EQ(s.NbEntries(), 40);  // grows past the 30 reserved
  EXPECT_STREQ(s.Top()->function, "f39");
  EXPECT_STREQ(s.GetEntry(0).function, "f0");
  s.Clear();  // right after a push: unchanged
  EXPECT_EQ(s.NbEntries(), 40);
  s.Pop();
  s.Clear();  // right after a pop: unchanged
  EXPECT_EQ(s.NbEntries(), 39);
  EXPECT_EQ(s.Top()->line, 38);

  C_CallStack copy(s);
  s.Pop();
  EXPECT_EQ(copy.NbEntries(), 39);
  EXPECT_EQ(s.NbEntries(), 38);
  C_CallStack assigned;
  assigned = copy;
  EXPECT_STREQ(assigned.Top()->function, "f38");
}

TEST(C_Trace, ScopesNestAndPopOnNormalExit) {
  const int base = Current().NbEntries();
  {
    C_Trace outer("Outer::Run", "outer.cpp", 10);
    EXPECT_EQ(Current().NbEntries(), base + 1);
    {
      C_Trace inner("Inner::Run", "inner.cpp", 20);
      EXPECT_EQ(Current().NbEntries(), base + 2);
      EXPECT_EQ(TopName(), "Inner::Run");
      EXPECT_STREQ(Current().Top()->file, "src/inner");  // the library's name of the source
      EXPECT_EQ(Current().Top()->line, 20);
    }
    EXPECT_EQ(TopName(), "Outer::Run");
  }
  EXPECT_EQ(Current().NbEntries(), base);
}

TEST(C_Trace, ScopeLeftByExceptionPopsLikeAReturn) {
  const int base = Current().NbEntries();
  auto thrower = [] {
    C_Trace a("A::f", __FILE__, __LINE__);
    C_Trace b("B::g", __FILE__, __LINE__);
    throw std::runtime_error("boom");
  };
  EXPECT_THROW(thrower(), std::runtime_error);
  EXPECT_EQ(Current().NbEntries(), base);

  // A library exception carries the scopes open at the throw, deepest last.
  try {
    C_Trace a("Level1::Op", "l1.cpp", 1);
    C_Trace b("Level2::Op", "l2.cpp", 2);
    KVELO_THROW(2872);
  } catch (const C_KveloException& e) {
    const C_CallStack& s = e.getCallStack();
    ASSERT_EQ(s.NbEntries(), base + 2);
    EXPECT_STREQ(s.GetEntry(base).function, "Level1::Op");
    EXPECT_STREQ(s.GetEntry(base + 1).function, "Level2::Op");
  }
  EXPECT_EQ(Current().NbEntries(), base);
}

TEST(C_Trace, EachThreadHasItsOwnStack) {
  C_Trace mainScope("Main::Scope", __FILE__, __LINE__);
  const C_CallStack* mainStack = &Current();
  const int mainDepth = Current().NbEntries();
  int depthSeen = -1, depthInside = -1;
  std::string topInside;
  const C_CallStack* otherStack = nullptr;
  std::thread t([&] {
    depthSeen = Current().NbEntries();  // fresh and empty, whatever the main thread holds
    otherStack = &Current();
    {
      C_Trace s1("T::one", __FILE__, __LINE__);
      C_Trace s2("T::two", __FILE__, __LINE__);
      depthInside = Current().NbEntries();
      topInside = TopName();
    }
  });
  t.join();
  EXPECT_EQ(depthSeen, 0);
  EXPECT_EQ(depthInside, 2);
  EXPECT_EQ(topInside, "T::two");
  EXPECT_NE(otherStack, mainStack);
  EXPECT_EQ(Current().NbEntries(), mainDepth);
  EXPECT_EQ(TopName(), "Main::Scope");
}

TEST(C_Trace, ManyThreadsWithDeepScopes) {
  std::vector<std::thread> threads;
  std::vector<int> ok(8, 0);
  for (int k = 0; k < 8; ++k) {
    threads.emplace_back([k, &ok] {
      std::function<int(int)> dive = [&](int d) -> int {
        C_Trace t(("Dive::" + std::to_string(k)).c_str(), __FILE__, d);
        if (d == 0) return Current().NbEntries();
        return dive(d - 1);
      };
      ok[static_cast<std::size_t>(k)] = (dive(49) == 50 && Current().NbEntries() == 0) ? 1 : 0;
    });
  }
  for (auto& t : threads) t.join();
  for (int v : ok) EXPECT_EQ(v, 1);
}

namespace {
char* g_enterArg = nullptr;
std::string g_enterTop, g_exitArg, g_exitTop;
int g_exitDepth = -1;
void OnEnter(char* name) {
  g_enterArg = name;
  g_enterTop = TopName();
}
void OnExit(char* name) {
  g_exitArg = name;
  g_exitTop = TopName();
  g_exitDepth = Current().NbEntries();
}
}  // namespace

TEST(C_Trace, CallbacksSeeThePushedEntry) {
  const std::string longName(80, 'n');
  const int base = Current().NbEntries();
  {
    C_Trace t(longName.c_str(), "cb.cpp", 5, OnEnter, OnExit);
    // Enter runs after the push, with the caller's own pointer (not the cut copy).
    EXPECT_EQ(g_enterArg, longName.c_str());
    EXPECT_EQ(g_enterTop, longName.substr(0, 63));
  }
  // Exit runs before the pop, with the stored cut name.
  EXPECT_EQ(g_exitArg, longName.substr(0, 63));
  EXPECT_EQ(g_exitTop, longName.substr(0, 63));
  EXPECT_EQ(g_exitDepth, base + 1);
  EXPECT_EQ(Current().NbEntries(), base);
  {
    C_Trace noCallbacks("Plain::Scope", "cb.cpp", 6, nullptr, nullptr);
    EXPECT_EQ(TopName(), "Plain::Scope");
  }
}

TEST(C_Trace, ScopesFeedTheGlobalTimeManagerUnderTheCutName) {
  ASSERT_EQ(S_GetTimeManager(), nullptr);  // USE_TIMEMANAGER is not set for this program
  {
    C_Trace t("NoManager::Op", __FILE__, __LINE__);  // only the stack moves
  }
  initTimeManager(1);
  ASSERT_NE(S_GetTimeManager(), nullptr);
  const std::string longName = std::string(60, 'C') + "::LongMethodName";
  for (int i = 0; i < 3; ++i) {
    C_Trace outer("Profiled::Outer", __FILE__, __LINE__);
    C_Trace inner(longName.c_str(), __FILE__, __LINE__);
  }
  C_TimeManager* tm = S_GetTimeManager();
  C_Timer* outer = tm->TimerByName("Profiled::Outer");
  ASSERT_NE(outer, nullptr);
  EXPECT_EQ(outer->NbCalls(), 3);
  C_Timer* inner = tm->TimerByName("%s", longName.substr(0, 63).c_str());
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->NbCalls(), 3);
  EXPECT_EQ(tm->TimerByName("%s", longName.c_str()), nullptr);
  EXPECT_EQ(tm->TimerByName("NoManager::Op"), nullptr);
  // Every scope closed its block: nothing is left open to end.
  EXPECT_EQ(tm->EndBlock("Profiled::Outer"), nullptr);
  freeTimeManager();
  EXPECT_EQ(S_GetTimeManager(), nullptr);
}

TEST(C_StackCollection, TheGlobalCollectionIsValid) {
  EXPECT_TRUE(GlobalCallstackCollection().IsValid());
  EXPECT_EQ(&GlobalCallstackCollection(), &GlobalCallstackCollection());
  EXPECT_EQ(&Current(), &Current());
}

namespace {
int g_lateDepth = -1;
struct LateScope {
  bool armed = false;
  ~LateScope() {
    if (!armed) return;
    // Runs after the thread's own stack was freed: the scope must still work.
    C_Trace t("Late::Scope", __FILE__, __LINE__);
    g_lateDepth = Current().NbEntries();
  }
};
thread_local LateScope t_late;
}  // namespace

TEST(C_Trace, ScopeOpenedWhileAThreadEnds) {
  std::thread t([] {
    t_late.armed = true;  // constructed before the thread's stack, so destroyed after it
    C_Trace s("Thread::Body", __FILE__, __LINE__);
  });
  t.join();
  EXPECT_GE(g_lateDepth, 1);
}

namespace {
std::atomic<int> g_lateDone{0};
std::atomic<int> g_lateWrong{0};
struct BusyLateScopes {
  int id = -1;
  ~BusyLateScopes() {
    if (id < 0) return;
    // Threads that end together, each opening scopes after its own stack was freed: each must
    // get a stack of its own, never one shared with another ending thread.
    const std::string name = "Late::Busy" + std::to_string(id);
    for (int k = 0; k < 300; ++k) {
      C_Trace a(name.c_str(), __FILE__, k);
      C_Trace b(name.c_str(), __FILE__, k + 1);
      if (TopName() != name || Current().NbEntries() != 2) g_lateWrong.fetch_add(1);
      try {
        KVELO_THROW(2);
      } catch (const C_KveloException& e) {
        if (e.getCallStack().NbEntries() != 2) g_lateWrong.fetch_add(1);
      }
    }
    g_lateDone.fetch_add(1);
  }
};
thread_local BusyLateScopes t_busyLate;
}  // namespace

TEST(C_Trace, ThreadsEndingTogetherEachKeepTheirLateStack) {
  const int n = 8;
  std::atomic<int> started{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < n; ++i)
    threads.emplace_back([&started, i, n] {
      t_busyLate.id = i;  // constructed before the thread's stack, so destroyed after it
      C_Trace s("Thread::Body", __FILE__, __LINE__);
      started.fetch_add(1);
      while (started.load() < n) std::this_thread::yield();  // end together
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(g_lateDone.load(), n);
  EXPECT_EQ(g_lateWrong.load(), 0);
}

// A collection of the caller's own keeps its per-thread stacks apart from the process-wide
// one, and frees them: the calling thread's with the collection, another thread's when that
// thread ends. Before, each such stack took over the thread's one record of what to free, so
// the process-wide stack (or the own one) was never freed (the leak check of the sanitized
// build saw both).
TEST(C_StackCollection, OwnCollectionsFreeTheirStacksAndLeaveTheGlobalOneAlone) {
  auto work = [](bool globalFirst, bool ownOutlivesThread, Kvelo::C_StackCollection* shared) {
    if (globalFirst) Kvelo::GlobalCallstackCollection().GetCurrentCallStack();
    Kvelo::C_Trace outer("outer", "src/t", 1);
    const int depth = Kvelo::GlobalCallstackCollection().GetCurrentCallStack().NbEntries();
    {
      Kvelo::C_StackCollection mine;
      Kvelo::C_CallStack& a = mine.GetCurrentCallStack();
      EXPECT_NE(&a, &Kvelo::GlobalCallstackCollection().GetCurrentCallStack());
      a.Push(Kvelo::C_Entry("mine", "src/mine", 2));
      EXPECT_EQ(a.NbEntries(), 1);
    }
    if (ownOutlivesThread) shared->GetCurrentCallStack().Push(Kvelo::C_Entry("shared", "src/s", 3));
    EXPECT_EQ(Kvelo::GlobalCallstackCollection().GetCurrentCallStack().NbEntries(), depth);
  };
  Kvelo::C_StackCollection shared;
  for (bool first : {false, true})
    for (bool outlive : {false, true}) {
      std::thread t(work, first, outlive, &shared);
      t.join();
      work(first, outlive, &shared);
    }
  EXPECT_EQ(shared.GetCurrentCallStack().NbEntries(), 2);  // this thread's two pushes
}
