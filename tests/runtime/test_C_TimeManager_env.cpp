// USE_TIMEMANAGER is read once when the library loads: this program runs once per value
// (see C_TimeManager.cmake), KVELO_TEST_EXPECT telling what the load must have produced:
// "none" (no global manager), "flat" (manager without call graph) or "graph".
#include "C_CallStack.h"
#include "C_TimeManager.h"
#include "binfile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>
#include <string>
#include <unistd.h>
#include <vector>

TEST(UseTimeManagerAtLoad, GlobalManagerMatchesTheVariable) {
  const char* e = std::getenv("KVELO_TEST_EXPECT");
  ASSERT_NE(e, nullptr);
  const std::string expect(e);
  C_TimeManager* tm = S_GetTimeManager();
  if (expect == "none") {
    EXPECT_EQ(tm, nullptr);
    Kvelo::C_Trace scope("Env::Scope", __FILE__, __LINE__);  // only the stack moves
    EXPECT_EQ(S_GetTimeManager(), nullptr);
    return;
  }
  ASSERT_NE(tm, nullptr);
  EXPECT_EQ(tm->ContainsCallGraph(), expect == "graph");
  for (int i = 0; i < 2; ++i) {
    Kvelo::C_Trace outer("Env::Outer", __FILE__, __LINE__);
    Kvelo::C_Trace inner("Env::Inner", __FILE__, __LINE__);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // The manager built at load measures real intervals (its clock origin is sound).
  const double innerTotal = tm->TimerByName("Env::Inner")->GetTimeValue(C_Timer::TOTAL_ELAPSED);
  EXPECT_GE(innerTotal, 0.018);
  EXPECT_LT(innerTotal, 60.0);
  ASSERT_NE(tm->TimerByName("Env::Outer"), nullptr);
  EXPECT_EQ(tm->TimerByName("Env::Outer")->NbCalls(), 2);
  EXPECT_EQ(tm->TimerByName("Env::Inner")->NbCalls(), 2);
  C_Timer* outer = tm->TimerByName("Env::Outer");
  double se, sc;
  outer->SelfTime(se, sc);
  EXPECT_NEAR(se, outer->GetTimeValue(C_Timer::TOTAL_ELAPSED) -
                      tm->TimerByName("Env::Inner")->GetTimeValue(C_Timer::TOTAL_ELAPSED), 1e-12);
  // Graph mode keeps the nested time in the children entries, not in the accumulator.
  EXPECT_EQ(outer->GetTimeValue(C_Timer::SELF_ELAPSED) == outer->GetTimeValue(C_Timer::TOTAL_ELAPSED),
            expect == "graph");
}

// A host that drives the library from several threads: every scope of every thread goes to
// the one global manager. Whatever USE_TIMEMANAGER says, the program must run as it does
// without it; with a manager, every run of every thread is counted.
TEST(UseTimeManagerAtLoad, ScopesOfSeveralThreadsAtOnce) {
  const std::string expect(std::getenv("KVELO_TEST_EXPECT"));
  const int kThreads = 6;
  const int kRounds = 400;
  std::atomic<int> ready{0};
  auto work = [&](int t) {
    ready.fetch_add(1);
    while (ready.load() < kThreads) {
    }
    const std::string own = "Thread" + std::to_string(t) + "::Own";
    for (int i = 0; i < kRounds; ++i) {
      Kvelo::C_Trace outer("Threads::Outer", __FILE__, __LINE__);
      Kvelo::C_Trace middle("Threads::Middle", __FILE__, __LINE__);
      Kvelo::C_Trace mine(own.c_str(), __FILE__, __LINE__);  // a new block in every thread
      Kvelo::C_Trace inner("Threads::Inner", __FILE__, __LINE__);
    }
  };
  // The dumps of the global manager run meanwhile, in a directory of their own.
  kvtest::TempDir dir("tm_threads");
  char old[PATH_MAX];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(dir.str().c_str()), 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(work, t);
  for (int k = 0; k < 5; ++k) dumpTimeManager(7);
  for (std::thread& th : threads) th.join();
  ASSERT_EQ(chdir(old), 0);

  C_TimeManager* tm = S_GetTimeManager();
  if (expect == "none") {
    EXPECT_EQ(tm, nullptr);
    return;
  }
  ASSERT_NE(tm, nullptr);
  for (const char* name : {"Threads::Outer", "Threads::Middle", "Threads::Inner"}) {
    ASSERT_NE(tm->TimerByName(name), nullptr) << name;
    EXPECT_EQ(tm->TimerByName(name)->NbCalls(), kThreads * kRounds) << name;
  }
  for (int t = 0; t < kThreads; ++t) {
    C_Timer* own = tm->TimerByName("Thread%d::Own", t);
    ASSERT_NE(own, nullptr) << t;
    EXPECT_EQ(own->NbCalls(), kRounds) << t;
  }
  // Every run was closed again: a new run of a block is its only open one.
  tm->BeginBlock(const_cast<char*>("Threads::Outer"));
  ASSERT_NE(tm->EndBlock(const_cast<char*>("Threads::Outer")), nullptr);
  EXPECT_EQ(tm->EndBlock(const_cast<char*>("Threads::Outer")), nullptr);
}
