// msgtool_support.h: the common ground of the tests that watch what the library prints:
// gtest's captures of the standard streams under their short names, the default message
// tool, and the filters a tool starts with put back.
#ifndef KVELO_TEST_MSGTOOL_SUPPORT_H
#define KVELO_TEST_MSGTOOL_SUPPORT_H

#include <gtest/gtest.h>

#include "C_MessageTool.h"

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace kvtest {

// "DefaultMessageTool", the tool the C reports go through.
inline Kvelo::C_MessageTool* DefaultTool() { return Kvelo::C_MessageTool::Instance("DefaultMessageTool"); }

// Puts back the filters of a new tool on every stream: type filter 15, public verbosity, and
// the debug scopes reset (scope -1).
inline void RestoreFilters(Kvelo::C_MessageTool* t) {
  using namespace Kvelo::MessageToolEnums;
  t->setMessageTypeFilter(15, STREAM_ALL);
  t->setVerbosityLevel(LEVEL_PUBLIC, STREAM_ALL);
  t->ActivateDebugScope(-1, true, STREAM_SCREEN);
}

}  // namespace kvtest

#endif
