// Tests of the C matrix library's error handler: the status word, the kept records (the
// last 100, fields cut to their sizes) and the report that goes out with each error.
#include "erreur.h"
#include "runtime/m_err_internal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {
const std::string kNoTool = "Error: *** We couldn't retrieve the \"last used\" Message Tool !\n";
}

TEST(LM_error, SetsTheStatusKeepsTheRecordAndReports) {
  LM_ResetErrors();
  _LM_err_status = 0;
  CaptureStderr();
  EXPECT_EQ(_LM_error("vecop", 3, 55, "v_add", 0, 10, "caller"), 0);
  // No tool can give the text of message 3103: the report carries a blank.
  EXPECT_EQ(GetCapturedStderr(), kNoTool + "***   0 v_add(), vecop line 55\n ");
  EXPECT_EQ(_LM_err_status, -1);
  EXPECT_EQ(LM_LastErrorCode(), 3);
  ASSERT_EQ(LM_ErrorCount(), 1);
  const kvlm_err::LM_ErrorRecord* r = LM_ErrorRecordAt(0);
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(r->message, " ");
  EXPECT_STREQ(r->function, "v_add");
  EXPECT_STREQ(r->file, "vecop");
  EXPECT_EQ(r->line, 55);
  EXPECT_EQ(LM_ErrorRecordAt(1), nullptr);
  EXPECT_EQ(LM_ErrorRecordAt(-1), nullptr);
  _LM_err_status = 0;
}

TEST(LM_error, NamesAreCutAndNullsGiveBlanks) {
  LM_ResetErrors();
  const std::string fn(150, 'f'), file(300, 'g');
  CaptureStderr();
  _LM_error(file.c_str(), 1, 7, fn.c_str(), 0, 0, nullptr);
  _LM_error(nullptr, 2, 8, nullptr, 0, 0, nullptr);
  GetCapturedStderr();
  ASSERT_EQ(LM_ErrorCount(), 2);
  EXPECT_EQ(std::string(LM_ErrorRecordAt(0)->function), fn.substr(0, 99));
  EXPECT_EQ(std::string(LM_ErrorRecordAt(0)->file), file.substr(0, 254));
  EXPECT_STREQ(LM_ErrorRecordAt(1)->function, " ");
  EXPECT_STREQ(LM_ErrorRecordAt(1)->file, " ");
  EXPECT_EQ(LM_LastErrorCode(), 2);
  // Records pushed directly keep up to their own field sizes.
  const std::string msg(400, 'm');
  CaptureStderr();
  _LM_error_push(msg.c_str(), fn.c_str(), file.c_str(), 9);
  GetCapturedStderr();
  EXPECT_EQ(std::string(LM_ErrorRecordAt(2)->message), msg.substr(0, 254));
  EXPECT_EQ(std::string(LM_ErrorRecordAt(2)->function), fn.substr(0, 99));
  EXPECT_EQ(std::string(LM_ErrorRecordAt(2)->file), file.substr(0, 256));
  _LM_err_status = 0;
}

TEST(LM_error, KeepsTheLastHundredErrors) {
  LM_ResetErrors();
  CaptureStderr();
  for (int i = 1; i <= 101; ++i) _LM_error("zvecop", 4, i, "zv_add", 0, 0, "");
  GetCapturedStderr();
  ASSERT_EQ(LM_ErrorCount(), 100);
  EXPECT_EQ(LM_ErrorRecordAt(0)->line, 2);
  EXPECT_EQ(LM_ErrorRecordAt(99)->line, 101);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(LM_ErrorRecordAt(i)->line, i + 2);
  _LM_err_status = 0;
}

TEST(LM_error, PushAloneLeavesTheStatusWord) {
  LM_ResetErrors();
  _LM_err_status = 0;
  CaptureStderr();
  _LM_error_push("direct", "fn", "file", 3);
  EXPECT_EQ(GetCapturedStderr(), "*** direct 0 fn(), file line 3\n ");
  EXPECT_EQ(_LM_err_status, 0);
  EXPECT_EQ(LM_LastErrorCode(), 0);
  EXPECT_EQ(LM_ErrorCount(), 1);
}

TEST(LM_error, ErrorsOfSeveralThreadsStayInsideTheRecords) {
  // Each thread's errors go out and are kept whole; the records never grow past 100.
  LM_ResetErrors();
  const int n = 8, each = 150;
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  CaptureStderr();
  for (int t = 0; t < n; ++t)
    threads.emplace_back([&ready, t] {
      ready.fetch_add(1);
      while (ready.load() < n) std::this_thread::yield();
      const std::string fn = "thread_fn_" + std::to_string(t);
      for (int i = 0; i < each; ++i) _LM_error_push("threaded", fn.c_str(), "src/threads", t * 1000 + i);
    });
  for (std::thread& th : threads) th.join();
  const std::string err = GetCapturedStderr();
  ASSERT_EQ(LM_ErrorCount(), 100);
  for (int i = 0; i < 100; ++i) {
    const kvlm_err::LM_ErrorRecord* r = LM_ErrorRecordAt(i);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r->message, "threaded");
    EXPECT_EQ(std::string(r->function), "thread_fn_" + std::to_string(r->line / 1000));
  }
  // Every report reached standard error whole.
  std::size_t reports = 0;
  for (std::size_t p = err.find("*** threaded"); p != std::string::npos; p = err.find("*** threaded", p + 1)) ++reports;
  EXPECT_EQ(reports, static_cast<std::size_t>(n * each));
}

TEST(LM_error, ACodeBeyondTheMessageNumbersHasNoText) {
  // 3100 + code must not overflow: such a code has no message, and is still kept and reported.
  LM_ResetErrors();
  _LM_err_status = 0;
  CaptureStderr();
  EXPECT_EQ(_LM_error("vecop", INT_MAX, 5, "v_big", 0, 1, "caller"), 0);
  EXPECT_EQ(_LM_error("vecop", INT_MAX - 3099, 6, "v_big", 0, 1, "caller"), 0);
  GetCapturedStderr();
  EXPECT_EQ(_LM_err_status, -1);
  EXPECT_EQ(LM_LastErrorCode(), INT_MAX - 3099);
  ASSERT_EQ(LM_ErrorCount(), 2);
  EXPECT_STREQ(LM_ErrorRecordAt(0)->message, " ");
  EXPECT_EQ(LM_ErrorRecordAt(0)->line, 5);
  _LM_err_status = 0;
}
