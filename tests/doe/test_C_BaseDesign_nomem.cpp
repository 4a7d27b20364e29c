// A design short of memory while its progress lines are shown: whichever allocation of
// operator new or of the library's heap fails, and from then on, adding points reports its
// status (no exception leaves the call), and the design is either as it was, with a failure
// status, or complete, with the rows a run with memory gives.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "C_BaseDesign.h"
#include "failing_new.h"
#include "matrix.h"
#include "msgcapture.h"
#include "runtime/heap_limit.h"

using Kvelo::C_BaseDesign;

namespace {

class TestDesign : public C_BaseDesign {
 public:
  using C_BaseDesign::C_BaseDesign;
  using C_BaseDesign::AddRandomPoints;
};

std::vector<std::vector<double>> Rows(const C_BaseDesign& d) {
  std::vector<std::vector<double>> out;
  for (unsigned i = 0; d.DesignMatrix != nullptr && i < d.DesignMatrix->m; ++i)
    out.emplace_back(d.DesignMatrix->me[i], d.DesignMatrix->me[i] + d.DesignMatrix->n);
  return out;
}

// A design of two variables and two rows.
void Start(TestDesign& d) {
  ASSERT_EQ(d.AllocateDesignMatrix(2), 0);
  d.DesignMatrix->me[0][0] = 0.5;
  d.DesignMatrix->me[0][1] = -0.25;
  d.DesignMatrix->me[1][0] = -0.75;
  d.DesignMatrix->me[1][1] = 0.125;
  d.NbPoints = 2;
}

struct Case {
  const char* name;
  // Runs the operation; true when it reports success.
  std::function<bool(TestDesign&, VEC*)> op;
};

}  // namespace

TEST(BaseDesignNoMemory, AddingPointsReportsAStatusAndLeavesTheDesignWholeOrAsItWas) {
  // The design's progress lines are shown, so that they are composed.
  kvtest::MsgCapture cap;
  cap.SetLevel(Kvelo::MessageToolEnums::LEVEL_INTERNAL);
  cap.OnlyScope(452);

  VEC* point = _LM_v_get("test", 0, 2, __LINE__, "test", nullptr);
  ASSERT_NE(point, nullptr);
  point->ve[0] = 0.0625;
  point->ve[1] = 0.875;
  const std::vector<Case> cases = {
      {"AddSpecificPoint",
       [](TestDesign& d, VEC* p) {
         int err = 0;
         return d.AddSpecificPoint(p, 1, &err) && err == 0;
       }},
      {"AddCentralPoint",
       [](TestDesign& d, VEC*) {
         int err = 0;
         return d.AddCentralPoint(&err) && err == 0;
       }},
      {"AddRandomPoints",
       [](TestDesign& d, VEC*) { return d.AddRandomPoints(3, -1, 1, nullptr) == 0; }},
  };

  for (const Case& c : cases) {
    TestDesign full(2, 5);
    Start(full);
    ASSERT_TRUE(c.op(full, point)) << c.name;
    const std::vector<std::vector<double>> grown = Rows(full);

    for (bool heap : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (heap ? ", library heap" : ", operator new"));
      for (long k = 0;; ++k) {
        TestDesign d(2, 5);
        Start(d);
        const std::vector<std::vector<double>> before = Rows(d);
        bool ok = false, threw = false;
        if (heap)
          kvrt::SetHeapBlocksLeft(k);
        else
          kvtest::FailNewAfter(k);
        try {
          ok = c.op(d, point);
        } catch (...) {
          threw = true;
        }
        const bool refused = heap ? kvrt::HeapBlocksRanOut() : kvtest::NewWasRefused();
        kvtest::Heal();
        kvrt::SetHeapBlocksLeft(-1);

        EXPECT_FALSE(threw) << "allocation " << k;
        if (ok) {
          EXPECT_EQ(grown, Rows(d)) << "allocation " << k;
          EXPECT_EQ(static_cast<int>(grown.size()), d.NbPoints) << "allocation " << k;
        } else {
          EXPECT_EQ(before, Rows(d)) << "allocation " << k;
          EXPECT_EQ(2, d.NbPoints) << "allocation " << k;
        }
        if (::testing::Test::HasFailure() || !refused) break;
      }
    }
  }
  v_free(point);
}
