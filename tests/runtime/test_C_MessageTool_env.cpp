// KVELO_VERBOSITY and KVELO_DEBUG_SCOPES shape every message tool when it is created: this
// program runs once per setting (see C_MessageTool.cmake). KVELO_TEST_LEVEL is the level
// the streams must get, KVELO_TEST_SCOPES the ','-separated scopes that must be activated.
#include "C_MessageTool.h"
#include "erreur.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

using namespace Kvelo;
using namespace Kvelo::MessageToolEnums;

namespace {
std::vector<int> ExpectedScopes() {
  std::vector<int> v;
  const char* e = std::getenv("KVELO_TEST_SCOPES");
  std::stringstream s(e ? e : "");
  std::string item;
  while (std::getline(s, item, ','))
    if (!item.empty()) v.push_back(std::atoi(item.c_str()));
  return v;
}
}  // namespace

TEST(EnvironmentAtToolCreation, LevelAndScopes) {
  const char* lv = std::getenv("KVELO_TEST_LEVEL");
  ASSERT_NE(lv, nullptr);
  const int level = std::atoi(lv);
  const std::vector<int> scopes = ExpectedScopes();

  testing::internal::CaptureStdout();
  C_MessageTool* t = C_MessageTool::Instance("EnvProbeTool");
  std::string out = testing::internal::GetCapturedStdout();

  for (int s = 0; s < 3; ++s) {
    E_MessageStream_enum st = static_cast<E_MessageStream_enum>(s);
    EXPECT_EQ(t->getVerbosityLevel(st), level);
    EXPECT_TRUE(t->DebugScopeActive(0, st));
    for (int id : scopes) EXPECT_TRUE(t->DebugScopeActive(id, st)) << id;
    EXPECT_FALSE(t->DebugScopeActive(999, st));
  }
  // The activation line is printed once per stream of the reset made at creation.
  std::string line;
  if (!scopes.empty()) {
    line = "\nKVELO_DEBUG_SCOPES defined, activating the debug scopes: ";
    for (int id : scopes) line += std::to_string(id) + " ";
    line += "\n";
  }
  EXPECT_EQ(out, line + line + line);

  // The default tool gets the same settings, seen through the C tests.
  testing::internal::CaptureStdout();
  for (int id : scopes) EXPECT_EQ(is_debug_scope_on(id), 1);
  EXPECT_EQ(is_interne_on(), level >= 3 ? 1 : 0);
  testing::internal::GetCapturedStdout();
}
