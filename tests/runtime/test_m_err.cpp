// Tests of the C matrix library's error handler: the status word, the kept records (the
// last 100, fields cut to their sizes) and the report that goes out with each error.
#include "erreur.h"
#include "runtime/m_err_internal.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
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

// The kept records as (function, line) pairs, oldest first.
std::vector<std::pair<std::string, int>> KeptRecords() {
  std::vector<std::pair<std::string, int>> out;
  for (int i = 0; i < LM_ErrorCount(); ++i) out.emplace_back(LM_ErrorRecordAt(i)->function, LM_ErrorRecordAt(i)->line);
  return out;
}

// The processors this process may run on, at least 2 and at most 8.
int ThreadsToRelease() {
  cpu_set_t set;
  CPU_ZERO(&set);
  const int usable = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 2;
  return std::min(8, std::max(2, usable));
}

TEST(LM_error, ThreadsReleasedTogetherKeepEveryRecord) {
  // Each report takes the output's lock, which lines threads up one behind the other, so that
  // threads pushing in a loop rarely meet inside the records. Here the records are full (each
  // push drops the oldest and moves the other 99 down, which takes a while) and one thread per
  // processor pushes `each` records per round; the last thread to finish a round checks it and
  // releases the next one while the others spin, so that they start together. After every
  // round the records must be the newest of before, in order, then the round's records, each
  // whole and each once, however the threads met.
  const int n = ThreadsToRelease(), each = 96 / n, rounds = 120;
  const int fresh = n * each;
  LM_ResetErrors();
  CaptureStderr();
  for (int i = 0; i < kvlm_err::LM_MAX_RECORDS; ++i) _LM_error_push("together", "before", "src/threads", -1 - i);
  std::vector<std::pair<std::string, int>> before = KeptRecords();
  std::vector<std::string> wrong;
  // The round's check, made by the thread that finished it last.
  auto check = [&](int r) {
    const std::vector<std::pair<std::string, int>> after = KeptRecords();
    bool whole = after.size() == before.size() && std::equal(before.begin() + fresh, before.end(), after.begin());
    std::vector<int> next(n, r * each);  // each thread's records come in its own order
    for (std::size_t i = after.size() - fresh; whole && i < after.size(); ++i) {
      const int t = after[i].second / 1000000;
      whole = t >= 0 && t < n && after[i].second % 1000000 == next[t]++ &&
              after[i].first == "thread_fn_" + std::to_string(t) &&
              std::strcmp(LM_ErrorRecordAt(static_cast<int>(i))->message, "together") == 0;
    }
    if (!whole) wrong.push_back("round " + std::to_string(r));
    before = after;
  };
  std::atomic<int> round{0};
  std::atomic<int> finished{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < n; ++t)
    threads.emplace_back([&, t] {
      const std::string fn = "thread_fn_" + std::to_string(t);
      for (int r = 0; r < rounds; ++r) {
        // Spinning a while before yielding: the threads that wait for the round are still
        // on their processors when it starts.
        for (int spins = 0; round.load(std::memory_order_acquire) < r; ++spins)
          if (spins < 20000)
            __builtin_ia32_pause();
          else
            std::this_thread::yield();
        for (int k = 0; k < each; ++k) _LM_error_push("together", fn.c_str(), "src/threads", t * 1000000 + r * each + k);
        if (finished.fetch_add(1, std::memory_order_acq_rel) + 1 == n * (r + 1)) {
          check(r);
          round.store(r + 1, std::memory_order_release);
        }
      }
    });
  for (std::thread& th : threads) th.join();
  GetCapturedStderr();
  std::string list;
  for (const std::string& w : wrong) list += " " + w;
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " of " << rounds << " rounds (" << n
                             << " threads) lost, moved or tore records:" << list;
  LM_ResetErrors();
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
