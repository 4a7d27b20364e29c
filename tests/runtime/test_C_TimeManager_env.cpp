// USE_TIMEMANAGER is read once when the library loads: this program runs once per value
// (see C_TimeManager.cmake), KVELO_TEST_EXPECT telling what the load must have produced:
// "none" (no global manager), "flat" (manager without call graph) or "graph".
#include "C_CallStack.h"
#include "C_TimeManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <string>

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
