// Tests of the profiling blocks: identifiers and the name table, call counts, nested
// blocks with and without the call graph, blocks ended out of order or re-entered, the
// clocks, copies, and the global manager's switches.
#include "C_TimeManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <cmath>
#include <string>
#include <thread>

namespace {

char* N(const char* s) { return const_cast<char*>(s); }

// The process's CPU time in seconds, read from the system's own clock.
double ProcessCpu() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Burns about ms milliseconds of CPU time (however busy the machine is: the loop watches the
// CPU clock, not the wall clock, and gives up after ten seconds of wall-clock time).
void Spin(int ms) {
  const double start = ProcessCpu();
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  volatile double x = 0;
  while (ProcessCpu() - start < ms / 1000.0 && std::chrono::steady_clock::now() < giveUp) x = x + 1.0;
}

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

TEST(Clocks, ElapsedAndCpuFollowTheirClocks) {
  double origin = -1, cpuOrigin = -1;
  int ticks = InitElapseTime(&origin, &cpuOrigin);
  EXPECT_EQ(cpuOrigin, 0.0);
  EXPECT_GE(origin, 0.0);
  EXPECT_EQ(ticks, static_cast<int>(origin));
  Sleep(60);
  double seconds = ReturnElapseTime(origin);
  EXPECT_GE(seconds, 0.055);  // sleeping counts as elapsed time
  float c0 = cputim_c(0.0f);
  const double before = ProcessCpu();
  Spin(60);
  float spent = cputim_c(c0);
  const double measured = ProcessCpu() - before;
  EXPECT_GT(spent, 0.03f);  // spinning counts as CPU time
  EXPECT_NEAR(spent, measured, 0.02);
  // A start at or below 0.00001 is not subtracted.
  EXPECT_GE(cputim_c(0.000001f), c0);
}

TEST(C_TimeManager, IdentifiersCountsAndNameTable) {
  C_TimeManager tm;
  tm.BeginBlock(N("A"));
  tm.EndBlock(N("A"));
  tm.BeginBlock(N("B"));
  tm.EndBlock(N("B"));
  tm.BeginBlock(N("A"));
  C_Timer* a = tm.EndBlock(N("A"));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->GetId(), 0);
  EXPECT_EQ(a->NbCalls(), 2);
  EXPECT_EQ(tm.TimerByName("B")->GetId(), 1);
  EXPECT_EQ(tm.GetTabNames().size(), 1000u);
  std::string name;
  EXPECT_EQ(tm.TimerById(1, name), tm.TimerByName("B"));
  EXPECT_EQ(name, "B");
  EXPECT_EQ(tm.GetNameById(0), "A");
  EXPECT_EQ(tm.TimerById(5, name), nullptr);  // an identifier never given
  EXPECT_EQ(name, "");

  for (int i = 2; i <= 1000; ++i) {  // the 1001st distinct name
    tm.BeginBlock("blk%d", i);
    tm.EndBlock("blk%d", i);
  }
  EXPECT_EQ(tm.GetTabNames().size(), 2000u);
  EXPECT_EQ(tm.GetNameById(1000), "blk1000");
  EXPECT_EQ(tm.TimerByName("blk%d", 1000)->GetId(), 1000);
}

TEST(C_TimeManager, FormattedNamesAreCutAt1023Characters) {
  C_TimeManager tm;
  std::string longName(2000, 'z');
  tm.BeginBlock("%s", longName.c_str());
  C_Timer* t = tm.EndBlock("%s", longName.c_str());
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(tm.GetNameById(t->GetId()), longName.substr(0, 1023));
}

TEST(C_TimeManager, NestedBlocksWithoutCallGraph) {
  C_TimeManager tm(false, false);
  tm.BeginBlock(N("A"));
  Sleep(20);
  tm.BeginBlock(N("B"));
  Sleep(30);
  C_Timer* b = tm.EndBlock(N("B"));
  Sleep(10);
  C_Timer* a = tm.EndBlock(N("A"));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  const double aTotal = a->GetTimeValue(C_Timer::TOTAL_ELAPSED);
  const double bTotal = b->GetTimeValue(C_Timer::TOTAL_ELAPSED);
  EXPECT_GE(bTotal, 0.028);
  EXPECT_GT(aTotal, bTotal);
  // A's self accumulator is its total less B's interval, exactly.
  EXPECT_EQ(a->GetTimeValue(C_Timer::SELF_ELAPSED), aTotal - bTotal);
  EXPECT_FLOAT_EQ(static_cast<float>(a->GetTimeValue(C_Timer::SELF_CPU)),
                  static_cast<float>(a->GetTimeValue(C_Timer::TOTAL_CPU) - b->GetTimeValue(C_Timer::TOTAL_CPU)));
  EXPECT_EQ(b->GetTimeValue(C_Timer::SELF_ELAPSED), bTotal);
  double se, sc;
  a->SelfTime(se, sc);
  EXPECT_EQ(se, aTotal - bTotal);
  double step, stepCpu;
  b->GetStepTime(step, stepCpu);
  EXPECT_EQ(step, bTotal);
  EXPECT_EQ(a->GetTimeValue(static_cast<C_Timer::E_TimeValue>(9)), 0.0);
}

TEST(C_TimeManager, NestedBlocksWithCallGraph) {
  C_TimeManager tm(true, false);
  EXPECT_TRUE(tm.ContainsCallGraph());
  tm.BeginBlock(N("A"));
  Sleep(10);
  tm.BeginBlock(N("B"));
  Sleep(20);
  C_Timer* b = tm.EndBlock(N("B"));
  C_Timer* a = tm.EndBlock(N("A"));
  const double aTotal = a->GetTimeValue(C_Timer::TOTAL_ELAPSED);
  const double bTotal = b->GetTimeValue(C_Timer::TOTAL_ELAPSED);
  // The nested interval sits in the graph: A's accumulator equals its total ...
  EXPECT_EQ(a->GetTimeValue(C_Timer::SELF_ELAPSED), aTotal);
  // ... and the self time subtracts the child's entry, so it matches the flat case.
  double se, sc;
  a->SelfTime(se, sc);
  EXPECT_DOUBLE_EQ(se, aTotal - bTotal);
  b->SelfTime(se, sc);
  EXPECT_EQ(se, bTotal);  // a parent entry does not reduce self time
}

TEST(C_TimeManager, EndOfABlockNotOpenChangesNothing) {
  C_TimeManager tm;
  EXPECT_EQ(tm.EndBlock(N("A")), nullptr);  // nothing open
  tm.BeginBlock(N("A"));
  EXPECT_EQ(tm.EndBlock(N("Never")), nullptr);
  C_Timer* a = tm.TimerByName("A");
  EXPECT_EQ(a->NbCalls(), 1);
  EXPECT_EQ(a->GetTimeValue(C_Timer::TOTAL_ELAPSED), 0.0);  // still open, nothing added
  EXPECT_EQ(tm.TimerByName("Never"), nullptr);
  EXPECT_EQ(tm.EndBlock(N("A")), a);
  EXPECT_EQ(tm.EndBlock(N("A")), nullptr);  // closed once only
  EXPECT_EQ(a->NbCalls(), 1);
}

TEST(C_TimeManager, BlockEndedOutOfOrderLeavesInnerBlocksOpen) {
  for (bool graph : {false, true}) {
    C_TimeManager tm(graph, false);
    tm.BeginBlock(N("A"));
    tm.BeginBlock(N("B"));
    Sleep(5);
    C_Timer* a = tm.EndBlock(N("A"));  // A is not innermost
    ASSERT_NE(a, nullptr);
    const double aTotal = a->GetTimeValue(C_Timer::TOTAL_ELAPSED);
    EXPECT_GT(aTotal, 0.0);
    Sleep(5);
    C_Timer* b = tm.EndBlock(N("B"));  // B is still open and ends normally
    ASSERT_NE(b, nullptr);
    EXPECT_GT(b->GetTimeValue(C_Timer::TOTAL_ELAPSED), 0.0);
    // Nothing was charged to a block that had already ended, and nothing stays open.
    EXPECT_EQ(a->GetTimeValue(C_Timer::SELF_ELAPSED), aTotal);
    EXPECT_EQ(tm.EndBlock(N("A")), nullptr);
    EXPECT_EQ(tm.EndBlock(N("B")), nullptr);
    // The table keeps working.
    tm.BeginBlock(N("A"));
    tm.BeginBlock(N("B"));
    EXPECT_EQ(tm.EndBlock(N("B")), b);
    EXPECT_EQ(tm.EndBlock(N("A")), a);
    EXPECT_EQ(a->NbCalls(), 2);
    EXPECT_EQ(b->NbCalls(), 2);
  }
}

TEST(C_TimeManager, ReenteredBlockTimesItsOutermostRun) {
  for (bool graph : {false, true}) {
    C_TimeManager tm(graph, false);
    tm.BeginBlock(N("P"));
    tm.BeginBlock(N("R"));
    Sleep(10);
    tm.BeginBlock(N("R"));  // recursion: R inside R
    Sleep(10);
    C_Timer* innerEnd = tm.EndBlock(N("R"));
    ASSERT_NE(innerEnd, nullptr);
    EXPECT_EQ(innerEnd->GetTimeValue(C_Timer::TOTAL_ELAPSED), 0.0);  // outer run still open
    Sleep(10);
    C_Timer* r = tm.EndBlock(N("R"));
    C_Timer* p = tm.EndBlock(N("P"));
    ASSERT_EQ(r, innerEnd);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(r->NbCalls(), 2);
    const double rTotal = r->GetTimeValue(C_Timer::TOTAL_ELAPSED);
    EXPECT_GE(rTotal, 0.028);  // the whole outer run
    EXPECT_LT(rTotal, p->GetTimeValue(C_Timer::TOTAL_ELAPSED));
    double se, sc;
    r->SelfTime(se, sc);
    EXPECT_EQ(se, rTotal);  // never charged to itself
    p->SelfTime(se, sc);
    EXPECT_NEAR(se, p->GetTimeValue(C_Timer::TOTAL_ELAPSED) - rTotal, 1e-12);
    EXPECT_GE(se, 0.0);
    EXPECT_EQ(tm.EndBlock(N("R")), nullptr);
  }
}

TEST(C_TimeManager, ResetKeepsNamesAndIdentifiers) {
  C_TimeManager tm;
  tm.BeginBlock(N("A"));
  Sleep(2);
  tm.EndBlock(N("A"));
  tm.Reset();
  C_Timer* a = tm.TimerByName("A");
  EXPECT_EQ(a->NbCalls(), 0);
  EXPECT_EQ(a->GetTimeValue(C_Timer::TOTAL_ELAPSED), 0.0);
  EXPECT_EQ(a->GetId(), 0);
  tm.BeginBlock(N("B"));
  EXPECT_EQ(tm.EndBlock(N("B"))->GetId(), 1);
}

TEST(C_TimeManager, CopyCarriesCountsAndTimesButNoGraph) {
  C_TimeManager tm(true, false);
  tm.BeginBlock(N("A"));
  tm.BeginBlock(N("B"));
  Sleep(3);
  tm.EndBlock(N("B"));
  tm.EndBlock(N("A"));
  C_TimeManager copy(tm);
  C_Timer* a = copy.TimerByName("A");
  ASSERT_NE(a, nullptr);
  EXPECT_NE(a, tm.TimerByName("A"));
  EXPECT_EQ(a->NbCalls(), 1);
  EXPECT_EQ(a->GetTimeValue(C_Timer::TOTAL_ELAPSED), tm.TimerByName("A")->GetTimeValue(C_Timer::TOTAL_ELAPSED));
  double se, sc;
  a->SelfTime(se, sc);  // no children entries in the copy
  EXPECT_EQ(se, a->GetTimeValue(C_Timer::SELF_ELAPSED));
  EXPECT_TRUE(copy.ContainsCallGraph());
  copy.BeginBlock(N("A"));
  EXPECT_EQ(copy.EndBlock(N("A")), a);
  EXPECT_EQ(a->NbCalls(), 2);
  copy.BeginBlock(N("C"));
  EXPECT_EQ(copy.EndBlock(N("C"))->GetId(), 2);
  EXPECT_EQ(tm.TimerByName("C"), nullptr);
}

TEST(C_TimeManager, DestroyedWithOpenBlocksReportsThemWhenAsked) {
  testing::internal::CaptureStderr();
  {
    C_TimeManager tm(false, true);
    tm.BeginBlock(N("Outer"));
    tm.BeginBlock(N("Inner"));
  }
  {
    C_TimeManager quiet(false, false);
    quiet.BeginBlock(N("Silent"));
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "C_TimeManager : Le Bloc Inner n'est pas ferme\n"
            "C_TimeManager : Le Bloc Outer n'est pas ferme\n");
}

TEST(GlobalTimeManager, InitAndFree) {
  ASSERT_EQ(S_GetTimeManager(), nullptr);
  initTimeManager(0);
  EXPECT_EQ(S_GetTimeManager(), nullptr);
  initTimeManager(1);
  C_TimeManager* first = S_GetTimeManager();
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(first->ContainsCallGraph());
  cTimeManagerBeginBlock("G");
  cTimeManagerEndBlock("G");
  EXPECT_EQ(first->TimerByName("G")->NbCalls(), 1);
  initTimeManager(0);  // keeps the manager
  EXPECT_EQ(S_GetTimeManager(), first);
  initTimeManager(2);  // replaced, with the call graph, blocks dropped
  ASSERT_NE(S_GetTimeManager(), nullptr);
  EXPECT_TRUE(S_GetTimeManager()->ContainsCallGraph());
  EXPECT_EQ(S_GetTimeManager()->TimerByName("G"), nullptr);
  initTimeManager(-1);
  EXPECT_EQ(S_GetTimeManager(), nullptr);
  cTimeManagerBeginBlock("G");  // no manager: nothing happens
  cTimeManagerEndBlock("G");
  initTimeManager(1);
  freeTimeManager();
  EXPECT_EQ(S_GetTimeManager(), nullptr);
  freeTimeManager();
  dispTimeManager();
}
