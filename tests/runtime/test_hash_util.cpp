// Tests of the string-keyed hash table: prime bucket counts, the word-sum bucket index,
// sorted chains, search/delete outcomes, the statistics and dump texts, and bad input.
#include "binfile.h"
#include "hash_util.h"
#include "kvelosys.h"
#include "msgtool_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Table made with hashCreate, destroyed at scope end.
struct Table {
  HASH_TABLE* t = nullptr;
  explicit Table(int size) { EXPECT_EQ(hashCreate(size, &t), 0); }
  ~Table() { hashDestroy(t); }
};

bool IsPrimeRef(int n) {
  if (n < 2) return false;
  for (int d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return true;
}

// Keys of one chain, head first.
std::vector<std::string> Chain(const HASH_TABLE* t, int bucket) {
  std::vector<std::string> keys;
  for (const HASH_ENTRY* e = (&t->buckets[0])[bucket]; e; e = e->next) keys.push_back(e->key);
  return keys;
}

int g_values[64];

}  // namespace

TEST(HashCreate, BucketCountIsTheNextPrimeOfAnOddSize) {
  struct Case {
    int size, buckets;
  } cases[] = {{0, 1}, {1, 1}, {2, 3}, {3, 3}, {4, 5}, {7, 7}, {8, 11}, {9, 11}, {25, 29},
               {100, 101}, {120, 127}, {509, 509}, {1000, 1009}};
  for (const Case& c : cases) {
    Table tb(c.size);
    ASSERT_NE(tb.t, nullptr) << c.size;
    EXPECT_EQ(tb.t->size, c.buckets) << c.size;
    EXPECT_EQ(tb.t->trace, 0);
    EXPECT_EQ(tb.t->nonEmpty, 0);
    EXPECT_EQ(tb.t->longest, 0);
    for (int i = 0; i < tb.t->size; ++i) EXPECT_EQ((&tb.t->buckets[0])[i], nullptr);
  }
  // Against an independent primality test: the first prime at or above the odd start.
  for (int size = 4; size < 400; ++size) {
    Table tb(size);
    int expect = size % 2 == 0 ? size + 1 : size;
    while (!IsPrimeRef(expect)) expect += 2;
    EXPECT_EQ(tb.t->size, expect) << size;
  }
}

TEST(HashCreate, RefusesANegativeSizeAndANullOut) {
  HASH_TABLE* t = reinterpret_cast<HASH_TABLE*>(&g_values[0]);
  CaptureStderr();
  EXPECT_EQ(hashCreate(-5, &t), -1);
  EXPECT_EQ(t, nullptr);
  EXPECT_EQ(hashCreate(10, nullptr), -1);
  GetCapturedStderr();
}

TEST(HashIndex, SumsBigEndianWordsOfFourBytes) {
  // "ab" is one word 97*256+98 = 24930, 24930 mod 11 = 4. "abcde" is 0x61626364 =
  // 1633837924 plus 'e' = 101: 1633838025 mod 11 = 6. Five bytes 0xFF give 0xFFFFFFFF + 0xFF,
  // which wraps to 254 modulo 2^32: 254 mod 11 = 1 (bytes taken unsigned).
  struct Case {
    const char* key;
    int bucket;
  } cases[] = {{"ab", 4}, {"abcde", 6}, {"\xff\xff\xff\xff\xff", 1}};
  for (const Case& c : cases) {
    Table tb(11);
    ASSERT_EQ(hashAdd(tb.t, c.key, &g_values[1]), 0);
    EXPECT_EQ(Chain(tb.t, c.bucket), std::vector<std::string>{c.key}) << c.key;
    const std::string dump = kvtest::PrintedBy([&](FILE* f) { hashDump(f, nullptr, tb.t); });
    EXPECT_NE(dump.find("Bucket " + std::to_string(c.bucket) + ":\n"), std::string::npos) << dump;
  }
  // One bucket: every key lands in bucket 0.
  Table one(0);
  EXPECT_EQ(hashAdd(one.t, "anything", nullptr), 0);
  EXPECT_EQ(Chain(one.t, 0).size(), 1u);
}

TEST(HashAdd, KeepsChainsSortedAndKeysCopied) {
  Table tb(1);
  char key[8];
  std::strcpy(key, "b");
  ASSERT_EQ(hashAdd(tb.t, key, &g_values[2]), 0);
  std::strcpy(key, "x");  // the table holds its own copy
  ASSERT_EQ(hashAdd(tb.t, "a", &g_values[1]), 0);
  ASSERT_EQ(hashAdd(tb.t, "c", &g_values[3]), 0);
  ASSERT_EQ(hashAdd(tb.t, "bb", &g_values[4]), 0);
  EXPECT_EQ(Chain(tb.t, 0), (std::vector<std::string>{"a", "b", "bb", "c"}));
  EXPECT_EQ(tb.t->nonEmpty, 1);
  EXPECT_EQ(tb.t->longest, 4);
}

TEST(HashAdd, ASecondAddOfAKeyReplacesItsValueOnly) {
  Table tb(1);
  ASSERT_EQ(hashAdd(tb.t, "k", &g_values[1]), 0);
  ASSERT_EQ(hashAdd(tb.t, "k", &g_values[2]), 0);
  EXPECT_EQ(Chain(tb.t, 0).size(), 1u);
  EXPECT_EQ(tb.t->longest, 1);
  EXPECT_EQ(tb.t->nonEmpty, 1);
  void* v = nullptr;
  EXPECT_EQ(hashSearch(tb.t, "k", &v), -1);
  EXPECT_EQ(v, &g_values[2]);
}

TEST(HashSearch, FoundGivesMinusOneAndTheValueAbsentGivesZeroAndNull) {
  Table tb(1);
  ASSERT_EQ(hashAdd(tb.t, "m", &g_values[5]), 0);
  ASSERT_EQ(hashAdd(tb.t, "q", &g_values[6]), 0);
  void* v = &g_values[0];
  EXPECT_EQ(hashSearch(tb.t, "q", &v), -1);
  EXPECT_EQ(v, &g_values[6]);
  EXPECT_EQ(hashSearch(tb.t, "m", nullptr), -1);  // value may be null
  // Smaller than the head ("a" < "m"), between two keys, after the last.
  for (const char* absent : {"a", "n", "z", ""}) {
    v = &g_values[0];
    EXPECT_EQ(hashSearch(tb.t, absent, &v), 0) << absent;
    EXPECT_EQ(v, nullptr) << absent;
  }
  // A null key is never in a table.
  v = &g_values[0];
  EXPECT_EQ(hashSearch(tb.t, nullptr, &v), 0);
  EXPECT_EQ(v, nullptr);
}

TEST(HashSearch, TraceFlagPrintsEachOutcome) {
  Table tb(3);
  ASSERT_EQ(hashAdd(tb.t, "a", &g_values[7]), 0);
  tb.t->trace = 1;
  CaptureStdout();
  hashSearch(tb.t, "a", nullptr);
  hashSearch(tb.t, "b", nullptr);
  const std::string out = GetCapturedStdout();
  char expect[256];
  std::snprintf(expect, sizeof expect,
                "(hashSearch) \"a\":%p found in table %p.\n(hashSearch) Key \"b\" not found in table %p.\n",
                static_cast<void*>(&g_values[7]), static_cast<void*>(tb.t), static_cast<void*>(tb.t));
  EXPECT_EQ(out, expect);
}

TEST(HashTable, NullTableIsReportedAndRefused) {
  void* v = &g_values[0];
  CaptureStderr();
  EXPECT_EQ(hashSearch(nullptr, "key", &v), -1);
  EXPECT_EQ(hashDelete(nullptr, "key"), -1);
  EXPECT_EQ(hashAdd(nullptr, "key", nullptr), -1);
  const std::string err = GetCapturedStderr();
  EXPECT_NE(err.find("hashSearch(), src/hash_util line"), std::string::npos) << err;
  EXPECT_NE(err.find("hashDelete(), src/hash_util line"), std::string::npos) << err;
  EXPECT_NE(err.find("hashAdd(), src/hash_util line"), std::string::npos) << err;
  EXPECT_EQ(hashDestroy(nullptr), 0);
  Table tb(3);
  CaptureStderr();
  EXPECT_EQ(hashAdd(tb.t, nullptr, nullptr), -1);
  EXPECT_EQ(hashDelete(tb.t, nullptr), -1);
  GetCapturedStderr();
  EXPECT_EQ(tb.t->nonEmpty, 0);
}

TEST(HashDelete, UnlinksHeadMiddleAndTailAndLeavesStatistics) {
  Table tb(1);
  for (const char* k : {"a", "b", "c", "d"}) ASSERT_EQ(hashAdd(tb.t, k, nullptr), 0);
  EXPECT_EQ(hashDelete(tb.t, "b"), 0);
  EXPECT_EQ(Chain(tb.t, 0), (std::vector<std::string>{"a", "c", "d"}));
  EXPECT_EQ(hashDelete(tb.t, "a"), 0);
  EXPECT_EQ(Chain(tb.t, 0), (std::vector<std::string>{"c", "d"}));
  EXPECT_EQ(hashDelete(tb.t, "d"), 0);
  EXPECT_EQ(Chain(tb.t, 0), (std::vector<std::string>{"c"}));
  // An absent key leaves the table as it was.
  EXPECT_EQ(hashDelete(tb.t, "zz"), 0);
  EXPECT_EQ(Chain(tb.t, 0), (std::vector<std::string>{"c"}));
  EXPECT_EQ(hashDelete(tb.t, "c"), 0);
  EXPECT_EQ((&tb.t->buckets[0])[0], nullptr);
  // Deletions lower neither statistic: the emptied bucket still counts as non-empty.
  EXPECT_EQ(tb.t->nonEmpty, 1);
  EXPECT_EQ(tb.t->longest, 4);
  void* v = &g_values[0];
  EXPECT_EQ(hashSearch(tb.t, "c", &v), 0);
  EXPECT_EQ(v, nullptr);
  const std::string s = kvtest::PrintedBy([&](FILE* f) { hashStatistics(f, tb.t); });
  EXPECT_EQ(s.rfind("There are 0 empty buckets, 1 non-empty buckets,\nand 4 items in the longest chain.\n\n", 0), 0u)
      << s;
  EXPECT_NE(s.find("\nMean bucket length = 0\n"), std::string::npos) << s;
}

TEST(HashTable, ManyKeysAreAllFoundAndChainsStaySorted) {
  Table tb(101);
  std::vector<std::string> keys;
  for (int i = 0; i < 1000; ++i) keys.push_back("key" + std::to_string((i * 7919) % 1000));
  for (size_t i = 0; i < keys.size(); ++i) ASSERT_EQ(hashAdd(tb.t, keys[i].c_str(), &g_values[i % 64]), 0);
  int total = 0, used = 0, longest = 0;
  for (int b = 0; b < tb.t->size; ++b) {
    const std::vector<std::string> chain = Chain(tb.t, b);
    for (size_t j = 1; j < chain.size(); ++j) EXPECT_LT(chain[j - 1], chain[j]);
    total += static_cast<int>(chain.size());
    used += chain.empty() ? 0 : 1;
    longest = std::max(longest, static_cast<int>(chain.size()));
  }
  EXPECT_EQ(total, 1000);
  EXPECT_EQ(tb.t->nonEmpty, used);
  EXPECT_EQ(tb.t->longest, longest);
  for (size_t i = 0; i < keys.size(); ++i) {
    void* v = nullptr;
    EXPECT_EQ(hashSearch(tb.t, keys[i].c_str(), &v), -1);
    EXPECT_EQ(v, &g_values[i % 64]);
  }
  for (const std::string& k : keys) EXPECT_EQ(hashDelete(tb.t, k.c_str()), 0);
  for (int b = 0; b < tb.t->size; ++b) EXPECT_TRUE(Chain(tb.t, b).empty());
}

TEST(HashStatistics, PrintsHistogramMeanAndDeviation) {
  // Three buckets; one-letter keys land in (code mod 3): a, d, g in bucket 1, b in bucket 2.
  // Lengths {3, 1}: mean 2, sample deviation sqrt(((3-2)^2 + (1-2)^2) / 1) = sqrt(2).
  Table tb(3);
  for (const char* k : {"a", "d", "g", "b"}) ASSERT_EQ(hashAdd(tb.t, k, nullptr), 0);
  EXPECT_EQ(Chain(tb.t, 1), (std::vector<std::string>{"a", "d", "g"}));
  const std::string s = kvtest::PrintedBy([&](FILE* f) { EXPECT_EQ(hashStatistics(f, tb.t), 0); });
  EXPECT_EQ(s,
            "There are 1 empty buckets, 2 non-empty buckets,\nand 3 items in the longest chain.\n\n"
            "Buckets of length 1: 1\nBuckets of length 2: 0\nBuckets of length 3: 1\n"
            "\nMean bucket length = 2\n\nStandard deviation = 1.41421\n");
  EXPECT_EQ(kvtest::PrintedBy([](FILE* f) { hashStatistics(f, nullptr); }), "-- Null Hash Table --\n");
  CaptureStderr();
  EXPECT_EQ(hashStatistics(nullptr, tb.t), -1);
  GetCapturedStderr();
}

TEST(HashStatistics, DegenerateTablesPrintNotANumber) {
  // No non-empty bucket: the mean is 0/0. One non-empty bucket: the deviation is 0/0.
  Table empty(5);
  std::string s = kvtest::PrintedBy([&](FILE* f) { hashStatistics(f, empty.t); });
  EXPECT_EQ(s.rfind("There are 5 empty buckets, 0 non-empty buckets,\nand 0 items in the longest chain.\n\n", 0), 0u);
  size_t mean = s.find("\nMean bucket length = ");
  ASSERT_NE(mean, std::string::npos);
  EXPECT_NE(s.find("NAN", mean), std::string::npos) << s;
  Table one(5);
  ASSERT_EQ(hashAdd(one.t, "x", nullptr), 0);
  ASSERT_EQ(hashAdd(one.t, "x2", nullptr), 0);
  s = kvtest::PrintedBy([&](FILE* f) { hashStatistics(f, one.t); });
  // "x" = 120 and "x2" = 120*256+50 = 30770 fall in 0 and 0 (mod 5): one chain of 2.
  EXPECT_NE(s.find("\nMean bucket length = 2\n"), std::string::npos) << s;
  const size_t dev = s.find("\nStandard deviation = ");
  ASSERT_NE(dev, std::string::npos);
  EXPECT_NE(s.find("NAN", dev), std::string::npos) << s;
}

TEST(HashStatistics, LargeTablesKeepAnExactDeviation) {
  // Chains of 30000 and 20000 entries, linked by hand through the public layout: the
  // squares (9e8 + 4e8) times the non-empty count pass 2^31. Mean 25000, sample deviation
  // sqrt(2 * 5000^2) = 7071.07.
  HASH_TABLE* t = nullptr;
  ASSERT_EQ(hashCreate(3, &t), 0);
  const int lengths[2] = {30000, 20000};
  for (int b = 0; b < 2; ++b) {
    HASH_ENTRY* head = nullptr;
    for (int i = lengths[b] - 1; i >= 0; --i) {
      HASH_ENTRY* e = static_cast<HASH_ENTRY*>(kvelomem_calloc(1, sizeof(HASH_ENTRY), "test", 0, __FILE__, __LINE__));
      ASSERT_NE(e, nullptr);
      char key[16];
      std::snprintf(key, sizeof key, "%06d", i);
      e->key = kvelo_strdup(key, "test");
      e->next = head;
      head = e;
    }
    (&t->buckets[0])[b] = head;
  }
  t->nonEmpty = 2;
  t->longest = 30000;
  const std::string s = kvtest::PrintedBy([&](FILE* f) { EXPECT_EQ(hashStatistics(f, t), 0); });
  EXPECT_NE(s.find("Buckets of length 20000: 1\n"), std::string::npos);
  EXPECT_NE(s.find("Buckets of length 30000: 1\n"), std::string::npos);
  EXPECT_NE(s.find("\nMean bucket length = 25000\n"), std::string::npos);
  EXPECT_NE(s.find("\nStandard deviation = 7071.07\n"), std::string::npos) << s.substr(s.size() - 80);
  EXPECT_EQ(hashDestroy(t), 0);  // frees every hand-made entry and key
}

TEST(HashDump, PrintsHeaderStatisticsAndBuckets) {
  Table tb(3);
  ASSERT_EQ(hashAdd(tb.t, "b", &g_values[2]), 0);
  ASSERT_EQ(hashAdd(tb.t, "a", &g_values[1]), 0);
  ASSERT_EQ(hashAdd(tb.t, "d", &g_values[4]), 0);
  const std::string stats = kvtest::PrintedBy([&](FILE* f) { hashStatistics(f, tb.t); });
  char expect[1024];
  std::snprintf(expect, sizeof expect,
                "table at %p 100%%\n%s\nBucket 1:\n    Value: %p    Key: \"a\"\n    Value: %p    Key: \"d\"\n"
                "Bucket 2:\n    Value: %p    Key: \"b\"\n",
                static_cast<void*>(tb.t), stats.c_str(), static_cast<void*>(&g_values[1]),
                static_cast<void*>(&g_values[4]), static_cast<void*>(&g_values[2]));
  EXPECT_EQ(kvtest::PrintedBy([&](FILE* f) { EXPECT_EQ(hashDump(f, "table at %p 100%%\n", tb.t), 0); }), expect);
  EXPECT_EQ(kvtest::PrintedBy([](FILE* f) { hashDump(f, "T %p\n", nullptr); }), "T (nil)\n-- Null Hash Table --\n");
  EXPECT_EQ(kvtest::PrintedBy([](FILE* f) { hashDump(f, nullptr, nullptr); }), "-- Null Hash Table --\n");
}

TEST(HashDump, AHeaderAskingForOtherArgumentsIsPrintedAsText) {
  // "%s" or a second "%p" would read arguments that are not there.
  for (const char* header : {"name %s\n", "%p and %p\n", "%d%%\n", "trailing %"}) {
    const std::string out = kvtest::PrintedBy([&](FILE* f) { hashDump(f, header, nullptr); });
    EXPECT_EQ(out, std::string(header) + "-- Null Hash Table --\n") << header;
  }
  CaptureStderr();
  EXPECT_EQ(hashDump(nullptr, "x", nullptr), -1);
  GetCapturedStderr();
}
