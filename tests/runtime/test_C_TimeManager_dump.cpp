// Tests of the profiling reports: call-graph walks, block listings in name and value order,
// manager merges, the printed summary, the tab-separated text file, the portable binary file
// (checked against records encoded here byte by byte) and the dumps of the global manager.
#include "C_MessageTool.h"
#include "C_TimeManager.h"
#include "binfile.h"
#include "failing_new.h"
#include "msgcapture.h"
#include "msgtool_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <limits>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using kvtest::Bytes;

namespace {

char* N(const char* s) { return const_cast<char*>(s); }

// ------------------------------------------------------------ big-endian encoder

struct Encoder {
  Bytes b;
  Encoder& I(std::int32_t v) {
    kvtest::PutInt(b, v);
    return *this;
  }
  Encoder& F(float v) {
    std::int32_t u;
    std::memcpy(&u, &v, 4);
    kvtest::PutInt(b, u);
    return *this;
  }
  Encoder& D(double v) {
    kvtest::PutDouble(b, v);
    return *this;
  }
  Encoder& S(const std::string& s) {
    I(static_cast<std::int32_t>(s.size()));
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
};

struct Entry {
  int id;
  double e, c;
};

struct Rec {
  int id, calls;
  double te;
  float tc;
  double se;
  float sc;
  std::vector<Entry> children, parents;
};

void Timer(Encoder& out, const Rec& r) {
  out.I(r.id).I(r.calls).D(r.te).F(r.tc).D(r.se).F(r.sc);
  out.I(static_cast<int>(r.children.size()));
  for (const Entry& x : r.children) out.I(x.id).D(x.e).D(x.c);
  out.I(static_cast<int>(r.parents.size()));
  for (const Entry& x : r.parents) out.I(x.id).D(x.e).D(x.c);
}

// A manager record: names by identifier, the block records in the given order, overheads.
Bytes Manager(const std::vector<std::string>& names, bool graph, const std::vector<Rec>& blocks,
              const Rec& begin, const Rec& end) {
  Encoder out;
  out.I(static_cast<int>(names.size())).I(graph ? 1 : 0);
  for (const std::string& n : names) out.S(n);
  out.I(static_cast<int>(blocks.size()));
  for (const Rec& r : blocks) {
    out.I(r.id);
    Timer(out, r);
  }
  Timer(out, begin);
  Timer(out, end);
  return out.b;
}

const Rec kBegin{-1, 6, 0.25, 0.125f, 0.25, 0.125f, {}, {}};
const Rec kEnd{-2, 6, 0.5, 0.25f, 0.5, 0.25f, {}, {}};

// Three blocks without call graph; identifiers in order of first use, records in name order.
Bytes FlatFile() {
  return Manager({"C_Vec::Dot", "Solve", "C_Vec::Axpy"}, false,
                 {{2, 3, 5.0, 2.0f, 5.0, 2.0f, {}, {}},
                  {0, 1, 2.0, 1.0f, 0.0, 0.5f, {}, {}},
                  {1, 2, 4.0, 4.0f, 2.0, 1.0f, {}, {}}},
                 kBegin, kEnd);
}

// Outer runs Inner once, with the call graph.
Bytes GraphFile() {
  return Manager({"Outer", "Inner"}, true,
                 {{1, 2, 1.0, 0.5f, 1.0, 0.5f, {}, {{0, 1.0, 0.5}}},
                  {0, 1, 4.0, 2.0f, 4.0, 2.0f, {{1, 1.0, 0.5}}, {}}},
                 kBegin, kEnd);
}

// Total elapsed 2.0, 5.0 and 2.0.
Bytes TieFile() {
  return Manager({"A", "B", "C"}, false,
                 {{0, 1, 2.0, 1.0f, 2.0, 1.0f, {}, {}},
                  {1, 1, 5.0, 1.0f, 5.0, 1.0f, {}, {}},
                  {2, 1, 2.0, 1.0f, 2.0, 1.0f, {}, {}}},
                 kBegin, kEnd);
}

// Reads the bytes into tm through a file; the result of Read, its standard output in *out.
int Load(C_TimeManager& tm, const Bytes& bytes, std::string* out = nullptr) {
  kvtest::TempPath path("tmdump", ".cpu");
  EXPECT_TRUE(kvtest::WriteFileBytes(path.str(), bytes));
  CaptureStdout();
  int r = tm.Read(path.str());
  std::string printed = GetCapturedStdout();
  if (out != nullptr) *out = printed;
  return r;
}

std::vector<std::string> Listing(C_TimeManager& tm) {
  std::vector<std::string> names;
  std::string name;
  for (C_Timer* t = tm.FirstBlock(name, 0); t != nullptr; t = tm.NextBlock(name, 0)) names.push_back(name);
  return names;
}

std::string Right(const std::string& s, std::size_t w) { return std::string(w > s.size() ? w - s.size() : 0, ' ') + s; }
std::string Left(const std::string& s, std::size_t w) { return s + std::string(w > s.size() ? w - s.size() : 0, ' '); }

// The timer summary line: call count in 8, four times in 15 with six decimals.
std::string Line(int calls, const char* te, const char* tc, const char* se, const char* sc) {
  return Right(std::to_string(calls), 8) + Right(te, 15) + Right(tc, 15) + Right(se, 15) + Right(sc, 15) + "\n";
}

// Routes the trace marks of this program to a capture: an initialized tool found by Instance
// is the last-used tool, which fct_Trace takes while the default tool is not initialized.
struct TraceSink {
  TraceSink() {
    Kvelo::C_MessageTool* t = Kvelo::C_MessageTool::Instance("Time manager trace sink");
    Kvelo::C_DevNullCtrl devnull;
    t->setMessageStreamCtrl(devnull, Kvelo::MessageToolEnums::STREAM_ALL);
    t->Initialize();
    t->ResetMessageStreamCtrl(Kvelo::MessageToolEnums::STREAM_ALL);
    Kvelo::C_MessageTool::Instance("Time manager trace sink");
    cap.reset(new kvtest::MsgCapture("Time manager trace sink"));
  }
  std::unique_ptr<kvtest::MsgCapture> cap;
};

}  // namespace

TEST(TimeManagerFile, ReadingGivesTheRecordedBlocksAndWritingGivesTheSameBytes) {
  C_TimeManager tm;
  tm.BeginBlock(N("Live block"));  // replaced by what is read
  tm.EndBlock(N("Live block"));
  std::string printed;
  ASSERT_EQ(Load(tm, FlatFile(), &printed), 0);
  EXPECT_EQ(printed, "Nombre de blocs : 3\nCallGraph ? : 0\n");
  EXPECT_FALSE(tm.ContainsCallGraph());
  EXPECT_EQ(tm.TimerByName("Live block"), nullptr);
  EXPECT_EQ(tm.GetTabNames().size(), 3u);
  EXPECT_EQ(tm.GetNameById(2), "C_Vec::Axpy");
  C_Timer* solve = tm.TimerByName("Solve");
  ASSERT_NE(solve, nullptr);
  EXPECT_EQ(solve->GetId(), 1);
  EXPECT_EQ(solve->NbCalls(), 2);
  double e = 0, c = 0;
  solve->TotalTime(e, c);
  EXPECT_EQ(e, 4.0);
  EXPECT_EQ(c, 4.0);
  solve->SelfTime(e, c);
  EXPECT_EQ(e, 2.0);
  EXPECT_EQ(c, 1.0);
  solve->GetStepTime(e, c);  // not stored: 0
  EXPECT_EQ(e, 0.0);
  EXPECT_EQ(c, 0.0);

  kvtest::TempPath again("tmdump_again", ".cpu");
  EXPECT_EQ(tm.Write(again.str()), 0);
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(again.str()), FlatFile()));

  // A block begun after the reading takes the next identifier.
  tm.BeginBlock(N("New"));
  EXPECT_EQ(tm.EndBlock(N("New"))->GetId(), 3);
  EXPECT_EQ(tm.GetNameById(3), "New");
}

TEST(TimeManagerFile, CallGraphEntriesAndTheirWalks) {
  C_TimeManager tm;
  ASSERT_EQ(Load(tm, GraphFile()), 0);
  EXPECT_TRUE(tm.ContainsCallGraph());
  C_Timer* outer = tm.TimerByName("Outer");
  C_Timer* inner = tm.TimerByName("Inner");
  ASSERT_TRUE(outer != nullptr && inner != nullptr);
  double e = -1, c = -1;
  EXPECT_EQ(outer->NbChilds(), 1);
  EXPECT_EQ(outer->NbParents(), 0);
  EXPECT_EQ(outer->FirstChild(e, c), 1);
  EXPECT_EQ(e, 1.0);
  EXPECT_EQ(c, 0.5);
  EXPECT_EQ(outer->NextChild(e, c), -1);
  EXPECT_EQ(outer->NextChild(e, c), -1);
  EXPECT_EQ(outer->FirstParent(e, c), -1);
  EXPECT_EQ(inner->FirstParent(e, c), 0);
  EXPECT_EQ(inner->FirstChild(e, c), -1);
  outer->SelfTime(e, c);  // the accumulators less the children
  EXPECT_EQ(e, 3.0);
  EXPECT_EQ(c, 1.5);
  std::string s;
  outer->FillSummary(tm.GetTabNames(), s);
  EXPECT_EQ(s, Line(1, "4.000000", "2.000000", "3.000000", "1.500000") + "-- Childs --\n" + "\t    1 " +
                   Left("Inner", 50) + "        25.000000 % 25.000000 %\n");
  s.clear();
  inner->FillSummary(tm.GetTabNames(), s);
  EXPECT_EQ(s, Line(2, "1.000000", "0.500000", "1.000000", "0.500000") + "-- Parents --\n" + "\t    0 " +
                   Left("Outer", 50) + "        100.000000 % 100.000000 %\n");
  kvtest::TempPath again("tmdump_graph", ".cpu");
  EXPECT_EQ(tm.Write(again.str()), 0);
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(again.str()), GraphFile()));
}

TEST(TimeManagerFile, LiveCallGraphWalks) {
  C_TimeManager tm(true, false);
  for (int i = 0; i < 2; ++i) {
    tm.BeginBlock(N("Run"));
    tm.BeginBlock(N("Step"));
    tm.EndBlock(N("Step"));
    tm.BeginBlock(N("Check"));
    tm.EndBlock(N("Check"));
    tm.EndBlock(N("Run"));
  }
  C_Timer* run = tm.TimerByName("Run");
  C_Timer* step = tm.TimerByName("Step");
  C_Timer* check = tm.TimerByName("Check");
  EXPECT_EQ(run->NbChilds(), 2);
  double e1, c1, e2, c2;
  EXPECT_EQ(run->FirstChild(e1, c1), step->GetId());  // ascending identifiers
  EXPECT_EQ(step->FirstParent(e2, c2), run->GetId());
  EXPECT_EQ(e1, e2);  // the same intervals on both sides
  EXPECT_EQ(c1, c2);
  EXPECT_EQ(run->NextChild(e1, c1), check->GetId());
  EXPECT_EQ(run->NextChild(e1, c1), -1);
  EXPECT_EQ(step->NextParent(e2, c2), -1);
}

TEST(TimeManagerFile, ReadFailures) {
  const Bytes good = FlatFile();
  // Cut anywhere: within the counts, a name, the block records or the overhead records.
  for (std::size_t cut : {std::size_t(0), std::size_t(2), std::size_t(6), std::size_t(14), std::size_t(40),
                          std::size_t(70), good.size() - 90, good.size() - 1}) {
    C_TimeManager tm;
    EXPECT_EQ(Load(tm, Bytes(good.begin(), good.begin() + static_cast<long>(cut))), -1) << cut;
  }
  struct Case {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"negative block count", Encoder().I(-1).I(0).I(0).b},
      {"identifier past the names", Manager({"A"}, false, {{1, 1, 1.0, 1.0f, 1.0, 1.0f, {}, {}}}, kBegin, kEnd)},
      {"block given twice",
       Manager({"A"}, false, {{0, 1, 1.0, 1.0f, 1.0, 1.0f, {}, {}}, {0, 1, 1.0, 1.0f, 1.0, 1.0f, {}, {}}}, kBegin,
               kEnd)},
      {"child past the names", Manager({"A"}, true, {{0, 1, 1.0, 1.0f, 1.0, 1.0f, {{4, 1, 1}}, {}}}, kBegin, kEnd)},
      {"negative entry count", Encoder().I(1).I(0).S("A").I(1).I(0).I(0).I(1).D(1).F(1).D(1).F(1).I(-2).b},
      {"empty name", Encoder().I(1).I(0).I(0).b},
      // Stored bytes that begin with a zero byte make an empty name, which no writer stores and
      // which could never be written again.
      {"name starting with a zero byte", Manager({std::string("\0B", 2)}, false, {}, kBegin, kEnd)},
  };
  for (const Case& c : cases) {
    C_TimeManager tm;
    EXPECT_EQ(Load(tm, c.bytes), -1) << c.what;
  }
  // Two identifiers of one name would make the blocks unreachable by identifier.
  {
    C_TimeManager tm;
    EXPECT_EQ(Load(tm, Manager({"A", "A"}, false, {{0, 1, 1.0, 1.0f, 1.0, 1.0f, {}, {}}}, kBegin, kEnd)), -1);
  }
  // A record whose identifier differs from its block's.
  Bytes mismatch = Manager({"A", "B"}, false, {{0, 1, 1.0, 1.0f, 1.0, 1.0f, {}, {}}}, kBegin, kEnd);
  mismatch[4 * 2 + 5 + 5 + 4 + 4 + 3] = 1;  // the record's own identifier: 1 instead of 0
  C_TimeManager tm;
  EXPECT_EQ(Load(tm, mismatch), -1);
  C_TimeManager missing;
  CaptureStdout();
  EXPECT_EQ(missing.Read(std::string("no_such_dir/none.cpu")), -1);
  EXPECT_EQ(GetCapturedStdout(), "");
}

TEST(TimeManagerFile, AFailedReadKeepsWhatTheManagerHeld) {
  // A cut or damaged file must not cost the statistics already held: each failure below leaves
  // the manager writing exactly the record it was loaded with.
  const Bytes good = GraphFile();
  const Bytes flat = FlatFile();
  std::vector<Bytes> bad;
  for (std::size_t cut : {std::size_t(4), std::size_t(20), good.size() / 2, good.size() - 1})
    bad.emplace_back(good.begin(), good.begin() + static_cast<long>(cut));
  bad.push_back(Manager({"X", "Y"}, true, {{0, 1, 1.0, 1.0f, 1.0, 1.0f, {{7, 1, 1}}, {}}}, kBegin, kEnd));
  bad.push_back(Manager({"X", "X"}, true, {}, kBegin, kEnd));
  for (std::size_t k = 0; k < bad.size(); ++k) {
    C_TimeManager tm;
    ASSERT_EQ(Load(tm, flat), 0);
    EXPECT_EQ(Load(tm, bad[k]), -1) << k;
    EXPECT_FALSE(tm.ContainsCallGraph()) << k;  // the flag of the file that failed is not taken
    EXPECT_EQ(Listing(tm), (std::vector<std::string>{"C_Vec::Axpy", "C_Vec::Dot", "Solve"})) << k;
    kvtest::TempPath again("tmdump_kept", ".cpu");
    ASSERT_EQ(tm.Write(again.str()), 0);
    EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(again.str()), flat)) << k;
  }
}

TEST(TimeManagerFile, AFailedTimerReadKeepsTheTimer) {
  // A single timer's record, cut anywhere or with an entry the format forbids: the timer keeps
  // its identifier, count, times and call graph. A whole record then replaces them all.
  C_TimeManager tm;
  ASSERT_EQ(Load(tm, GraphFile()), 0);
  C_Timer* outer = tm.TimerByName("Outer");
  ASSERT_NE(outer, nullptr);
  auto same = [&](const std::string& what) {
    EXPECT_EQ(outer->GetId(), 0) << what;
    EXPECT_EQ(outer->NbCalls(), 1) << what;
    EXPECT_EQ(outer->GetTimeValue(C_Timer::TOTAL_ELAPSED), 4.0) << what;
    EXPECT_EQ(outer->GetTimeValue(C_Timer::SELF_CPU), 2.0) << what;
    double e = 0, c = 0;
    EXPECT_EQ(outer->NbChilds(), 1) << what;
    EXPECT_EQ(outer->FirstChild(e, c), 1) << what;
    EXPECT_EQ(e, 1.0) << what;
  };
  const Rec other{7, 9, 8.0, 4.0f, 6.0, 3.0f, {{3, 2.0, 1.0}, {5, 0.5, 0.25}}, {{2, 1.5, 0.75}}};
  Encoder whole;
  Timer(whole, other);
  std::vector<Bytes> bad;
  for (std::size_t cut : {std::size_t(0), std::size_t(3), std::size_t(8), std::size_t(20), std::size_t(36),
                          std::size_t(44), std::size_t(60), whole.b.size() - 1})
    bad.emplace_back(whole.b.begin(), whole.b.begin() + static_cast<long>(cut));
  Encoder negative;
  Timer(negative, Rec{7, 9, 8.0, 4.0f, 6.0, 3.0f, {{3, 2.0, 1.0}}, {{-4, 1.0, 1.0}}});
  bad.push_back(negative.b);
  for (std::size_t k = 0; k < bad.size(); ++k) {
    FILE* f = kvtest::StreamWith(bad[k]);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(outer->Read(f), -1) << k;
    std::fclose(f);
    same("record " + std::to_string(k));
  }
  FILE* f = kvtest::StreamWith(whole.b);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(outer->Read(f), 0);
  std::fclose(f);
  EXPECT_EQ(outer->GetId(), 7);
  EXPECT_EQ(outer->NbCalls(), 9);
  EXPECT_EQ(outer->NbChilds(), 2);
  EXPECT_EQ(outer->NbParents(), 1);
  double e = 0, c = 0;
  outer->SelfTime(e, c);  // 6 - 2 - 0.5, 3 - 1 - 0.25
  EXPECT_EQ(e, 3.5);
  EXPECT_EQ(c, 1.75);
}

TEST(TimeManagerFile, AWriteThatFailsPartWayKeepsTheFileThatWasThere) {
  // The files of a full disk: a size limit the records cannot fit in (see WithFileSizeLimit).
  kvtest::TempDir dir("tmdump_full");
  const std::string cpu = dir.file("profile.cpu");
  const std::string csv = dir.file("profile.csv");
  C_TimeManager old;
  ASSERT_EQ(Load(old, FlatFile()), 0);
  ASSERT_EQ(old.Write(cpu), 0);
  old.ExportCsvFile(csv);
  const Bytes cpuBefore = kvtest::ReadFileBytes(cpu);
  const Bytes csvBefore = kvtest::ReadFileBytes(csv);
  ASSERT_FALSE(csvBefore.empty());

  C_TimeManager bigger;
  ASSERT_EQ(Load(bigger, GraphFile()), 0);
  for (int i = 0; i < 40; ++i) bigger.BeginBlock("Block number %d with a long name to fill the file", i);
  for (int i = 39; i >= 0; --i) bigger.EndBlock("Block number %d with a long name to fill the file", i);
  const long long limit = static_cast<long long>(std::min(cpuBefore.size(), csvBefore.size())) + 16;
  const int result = kvtest::WithFileSizeLimit(limit, [&]() -> int {
    TraceSink sink;  // the failure is marked, not printed
    if (bigger.Write(cpu) != -1) return 1;
    bigger.ExportCsvFile(csv);
    return sink.cap->Count(8) >= 2 ? 0 : 2;
  });
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(cpu), cpuBefore));
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(csv), csvBefore));
  // Nothing but the two files is left in the directory: the new, cut files are gone.
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.str().c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"profile.cpu", "profile.csv"}));
  // Without the limit the same writes replace both files whole.
  ASSERT_EQ(bigger.Write(cpu), 0);
  bigger.ExportCsvFile(csv);
  C_TimeManager back;
  ASSERT_EQ(Load(back, kvtest::ReadFileBytes(cpu)), 0);
  EXPECT_NE(back.TimerByName("Block number 39 with a long name to fill the file"), nullptr);
  EXPECT_NE(kvtest::ReadFileText(csv).find("Block number 0 with"), std::string::npos);
}

TEST(TimeManagerFile, FailuresAreMarkedWithTheSourceOfTheProfiler) {
  TraceSink sink;
  C_TimeManager tm;
  EXPECT_EQ(tm.Write(std::string("no_such_dir/out.cpu")), -1);
  ASSERT_EQ(sink.cap->Count(8), 1);
  EXPECT_EQ(sink.cap->Messages()[0].text.rfind("fct_Trace: aff_lieu(), src/C_TimeManager line ", 0), 0u);
  // A block with an empty name cannot be written.
  tm.BeginBlock(N(""));
  tm.EndBlock(N(""));
  kvtest::TempPath out("tmdump_empty", ".cpu");
  EXPECT_EQ(tm.Write(out.str()), -1);
  EXPECT_GE(sink.cap->Count(8), 2);
  // Writing to a null stream fails at its first value.
  EXPECT_EQ(tm.Write(static_cast<FILE*>(nullptr)), -1);
}

TEST(TimeManagerReports, TextFileColumns) {
  C_TimeManager tm;
  ASSERT_EQ(Load(tm, FlatFile()), 0);
  kvtest::TempPath csv("tmdump", ".csv");
  tm.ExportCsvFile(csv.str());
  const std::string want =
      Right("blockname", 40) + "\tNbCalls\tTotalElapTime\tTotalCpuTime\tSelfElapTime\tSelfCpuTime\tRatio\n" +
      Right("C_Vec::Axpy", 40) + "\t3\t5.000000\t2.000000\t5.000000\t2.000000\t40.000000 %\n" +
      Right("C_Vec::Dot", 40) + "\t1\t2.000000\t1.000000\t0.000000\t0.500000\t100.000000 %\n" +  // self elapsed 0
      Right("Solve", 40) + "\t2\t4.000000\t4.000000\t2.000000\t1.000000\t50.000000 %\n" +
      Right("C_TimeManager::BeginBlock", 40) + "\t6\t0.250000\t0.125000\t0.250000\t0.125000\t50.000000 %\n" +
      Right("C_TimeManager::EndBlock", 40) + "\t6\t0.500000\t0.250000\t0.500000\t0.250000\t50.000000 %\n";
  EXPECT_EQ(kvtest::ReadFileText(csv.str()), want);
  // An unopenable name writes nothing and does not fail loudly.
  tm.ExportCsvFile("no_such_dir/x.csv");
}

TEST(TimeManagerReports, SummaryGroupsBlocksByClass) {
  C_TimeManager tm;
  ASSERT_EQ(Load(tm, FlatFile()), 0);
  const std::string rule = std::string(98, '=') + "\n";
  const std::string head =
      rule + "===== Number of threads :1\n" + "===== Number of Blocks : 3" + std::string(70, ' ') + "||\n" +
      std::string(41, '=') + "||         Total Time         ||       Self Time       ||\n" + Left("Name", 30) +
      "NbCalls    Elapsed Time      CPU Time    Elapsed Time      CPU Time\n" + rule +
      Left("C_TimeManager::BeginBlock", 30) + Line(6, "0.250000", "0.125000", "0.250000", "0.125000") +
      Left("C_TimeManager::EndBlock", 30) + Line(6, "0.500000", "0.250000", "0.500000", "0.250000") + rule;
  const std::string classHeader = "\n===== Class : " + Left("C_Vec", 30) + "\n";
  const std::string axpy = Left("::Axpy", 30) + Line(3, "5.000000", "2.000000", "5.000000", "2.000000");
  const std::string dot = Left("::Dot", 30) + Line(1, "2.000000", "1.000000", "0.000000", "0.500000");
  const std::string solve = Left("Solve", 30) + Line(2, "4.000000", "4.000000", "2.000000", "1.000000");
  std::string s = "before:";
  tm.FillSummary(s);  // appends
  EXPECT_EQ(s, "before:" + head + classHeader + axpy + dot + solve);
  // Sorted by total elapsed time: Axpy 5, Solve 4, Dot 2; Dot follows a block without class
  // and keeps the remembered class: no second header.
  tm.SortBlocks(C_Timer::TOTAL_ELAPSED);
  s.clear();
  tm.FillSummary(s);
  EXPECT_EQ(s, head + classHeader + axpy + solve + dot);
  kvtest::TempPath printed("tmdump", ".txt");
  FILE* f = std::fopen(printed.c_str(), "w");
  ASSERT_NE(f, nullptr);
  tm.Print(f);
  std::fclose(f);
  EXPECT_EQ(kvtest::ReadFileText(printed.str()), s);
  tm.Print(nullptr);
}

TEST(TimeManagerReports, SortingByValue) {
  // Every block stays listed: equal values in name order (after Reset every value ties).
  C_TimeManager tm;
  ASSERT_EQ(Load(tm, TieFile()), 0);
  EXPECT_EQ(Listing(tm), (std::vector<std::string>{"A", "B", "C"}));
  tm.SortBlocks(C_Timer::TOTAL_ELAPSED);  // 2, 5, 2: both 2.0 blocks, in name order
  EXPECT_EQ(Listing(tm), (std::vector<std::string>{"B", "A", "C"}));
  tm.SortBlocks(static_cast<C_Timer::E_TimeValue>(9));  // every value 0.0: name order
  EXPECT_EQ(Listing(tm), (std::vector<std::string>{"A", "B", "C"}));
  tm.SortBlocks(C_Timer::TOTAL_CPU);  // all equal
  EXPECT_EQ(Listing(tm), (std::vector<std::string>{"A", "B", "C"}));
  tm.SortBlocks(C_Timer::TOTAL_ELAPSED);
  // The binary file holds every block and every name.
  kvtest::TempPath sorted("tmdump_sorted", ".cpu");
  EXPECT_EQ(tm.Write(sorted.str()), 0);
  C_TimeManager back;
  ASSERT_EQ(Load(back, kvtest::ReadFileBytes(sorted.str())), 0);
  EXPECT_EQ(Listing(back), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(back.GetNameById(2), "C");
  tm.SortBlocks(static_cast<C_Timer::E_TimeValue>(0));
  EXPECT_EQ(Listing(tm), (std::vector<std::string>{"A", "B", "C"}));
  std::string name;
  EXPECT_EQ(tm.FirstBlock(name, 3), nullptr);  // no such slot
  EXPECT_EQ(tm.NextBlock(name, 0), nullptr);
  EXPECT_NE(tm.FirstBlock(name, 0), nullptr);
  while (tm.NextBlock(name, 0) != nullptr) {
  }
  EXPECT_EQ(tm.NextBlock(name, 0), nullptr);  // stays at the end
}

TEST(TimeManagerReports, ABlockLeftOutOfASortedRecordKeepsItsIdentifier) {
  // A record may name blocks it holds no timer for (a sorted listing once left equal values
  // out of the record). Begun again after reading, such a block takes the identifier its name
  // has in the record, and the next record reads back with each name once.
  C_TimeManager back;
  ASSERT_EQ(Load(back, Manager({"A", "B", "C"}, false,
                               {{1, 1, 5.0, 1.0f, 5.0, 1.0f, {}, {}}, {0, 1, 2.0, 1.0f, 2.0, 1.0f, {}, {}}},
                               kBegin, kEnd)),
            0);
  ASSERT_EQ(back.TimerByName("C"), nullptr);
  back.BeginBlock(N("C"));
  back.EndBlock(N("C"));
  back.BeginBlock(N("D"));  // a name the record does not know comes after its three
  back.EndBlock(N("D"));
  ASSERT_NE(back.TimerByName("C"), nullptr);
  EXPECT_EQ(back.TimerByName("C")->GetId(), 2);
  EXPECT_EQ(back.TimerByName("D")->GetId(), 3);
  EXPECT_EQ(back.GetNameById(2), "C");
  EXPECT_EQ(back.GetNameById(3), "D");
  kvtest::TempPath extended("tmdump_extended", ".cpu");
  ASSERT_EQ(back.Write(extended.str()), 0);
  C_TimeManager last;
  std::string printed;
  ASSERT_EQ(Load(last, kvtest::ReadFileBytes(extended.str()), &printed), 0);
  EXPECT_EQ(printed, "Nombre de blocs : 4\nCallGraph ? : 0\n");
  EXPECT_EQ(Listing(last), (std::vector<std::string>{"A", "B", "C", "D"}));
  EXPECT_EQ(last.TimerByName("C")->GetId(), 2);
}

TEST(TimeManagerReports, CallCountsStopAtTheEndsOfInt) {
  // A record may hold any call count (a difference of managers is negative). Counting on
  // from the largest, or merging past either end, keeps the end instead of wrapping.
  struct Case {
    const char* what;
    int mine, theirs;
    bool add;
    int want;
  } cases[] = {
      {"largest plus more", INT_MAX, 5, true, INT_MAX},
      {"largest minus the smallest", INT_MAX, INT_MIN, false, INT_MAX},
      {"smallest minus more", INT_MIN, 7, false, INT_MIN},
      {"smallest plus the smallest", INT_MIN, INT_MIN, true, INT_MIN},
      {"within range", 40, -2, false, 42},
  };
  for (const Case& c : cases) {
    C_TimeManager a, b;
    ASSERT_EQ(Load(a, Manager({"A"}, false, {{0, c.mine, 1.0, 1.0f, 1.0, 1.0f, {}, {}}}, kBegin, kEnd)), 0);
    ASSERT_EQ(Load(b, Manager({"A"}, false, {{0, c.theirs, 1.0, 1.0f, 1.0, 1.0f, {}, {}}}, kBegin, kEnd)), 0);
    if (c.add)
      a += b;
    else
      a -= b;
    EXPECT_EQ(a.TimerByName("A")->NbCalls(), c.want) << c.what;
  }
  C_TimeManager busy;
  ASSERT_EQ(Load(busy, Manager({"A"}, false, {{0, INT_MAX, 1.0, 1.0f, 1.0, 1.0f, {}, {}}}, kBegin, kEnd)), 0);
  busy.BeginBlock(N("A"));
  busy.BeginBlock(N("A"));  // nested: counted without a second start
  busy.EndBlock(N("A"));
  busy.EndBlock(N("A"));
  EXPECT_EQ(busy.TimerByName("A")->NbCalls(), INT_MAX);
}

TEST(TimeManagerReports, MergingManagers) {
  C_TimeManager tm;
  ASSERT_EQ(Load(tm, FlatFile()), 0);
  C_TimeManager copy(tm);
  copy += tm;  // counts and CPU times double, elapsed times stay
  C_Timer* axpy = copy.TimerByName("C_Vec::Axpy");
  EXPECT_EQ(axpy->NbCalls(), 6);
  EXPECT_EQ(axpy->GetTimeValue(C_Timer::TOTAL_ELAPSED), 5.0);
  EXPECT_EQ(axpy->GetTimeValue(C_Timer::TOTAL_CPU), 4.0);
  EXPECT_EQ(axpy->GetTimeValue(C_Timer::SELF_ELAPSED), 5.0);
  EXPECT_EQ(axpy->GetTimeValue(C_Timer::SELF_CPU), 4.0);
  copy -= tm;
  EXPECT_EQ(axpy->NbCalls(), 3);
  EXPECT_EQ(axpy->GetTimeValue(C_Timer::TOTAL_ELAPSED), 0.0);
  EXPECT_EQ(axpy->GetTimeValue(C_Timer::TOTAL_CPU), 2.0);

  // Call-graph entries merge by identifier: elapsed by maximum, CPU by sum.
  C_TimeManager graph;
  ASSERT_EQ(Load(graph, GraphFile()), 0);
  C_TimeManager twice;
  ASSERT_EQ(Load(twice, GraphFile()), 0);
  twice += graph;
  double e, c;
  EXPECT_EQ(twice.TimerByName("Outer")->FirstChild(e, c), 1);
  EXPECT_EQ(e, 1.0);
  EXPECT_EQ(c, 1.0);
  twice -= graph;
  twice -= graph;
  EXPECT_EQ(twice.TimerByName("Inner")->FirstParent(e, c), 0);
  EXPECT_EQ(e, -1.0);
  EXPECT_EQ(c, 0.0);

  // A block that this manager lacks is added by += under a new identifier, left out by -=.
  C_TimeManager ties;
  ASSERT_EQ(Load(ties, TieFile()), 0);
  tm -= ties;
  EXPECT_EQ(tm.TimerByName("B"), nullptr);
  tm += ties;
  C_Timer* b = tm.TimerByName("B");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->GetId(), 4);
  EXPECT_EQ(tm.GetNameById(4), "B");
  EXPECT_EQ(b->NbCalls(), 1);
  EXPECT_EQ(b->GetTimeValue(C_Timer::TOTAL_ELAPSED), 5.0);
  // The merged manager still writes a complete file.
  kvtest::TempPath out("tmdump_merged", ".cpu");
  EXPECT_EQ(tm.Write(out.str()), 0);
}

TEST(TimeManagerReports, MergedCallGraphEntriesFollowBlockNamesNotIdentifiers) {
  // Two runs met the blocks in another order: identifiers 0 and 1 name Outer and Inner in the
  // first manager, Inner and Outer in the second.
  const Bytes first = Manager({"Outer", "Inner"}, true,
                              {{1, 2, 1.0, 0.5f, 1.0, 0.5f, {}, {{0, 1.0, 0.5}}},
                               {0, 1, 4.0, 2.0f, 4.0, 2.0f, {{1, 1.0, 0.5}}, {}}},
                              kBegin, kEnd);
  const Bytes second = Manager({"Inner", "Outer", "Extra"}, true,
                               {{0, 3, 3.0, 1.5f, 3.0, 1.5f, {}, {{1, 3.0, 1.5}, {2, 0.25, 0.125}}},
                                {1, 1, 6.0, 3.0f, 6.0, 3.0f, {{0, 3.0, 1.5}}, {}},
                                {2, 1, 2.0, 1.0f, 2.0, 1.0f, {{0, 0.25, 0.125}}, {}}},
                               kBegin, kEnd);
  C_TimeManager a, b;
  ASSERT_EQ(Load(a, first), 0);
  ASSERT_EQ(Load(b, second), 0);
  a += b;
  C_Timer* outer = a.TimerByName("Outer");
  C_Timer* inner = a.TimerByName("Inner");
  C_Timer* extra = a.TimerByName("Extra");
  ASSERT_TRUE(outer && inner && extra);
  EXPECT_EQ(extra->GetId(), 2);  // added under the next identifier
  double e = 0, c = 0;
  // Outer's one child is Inner (identifier 1 here): elapsed max(1, 3), CPU 0.5 + 1.5.
  EXPECT_EQ(outer->NbChilds(), 1);
  EXPECT_EQ(outer->FirstChild(e, c), inner->GetId());
  EXPECT_EQ(e, 3.0);
  EXPECT_EQ(c, 2.0);
  EXPECT_EQ(outer->NbParents(), 0);
  // Inner's parents: Outer (0) and Extra (2), none under Inner's own identifier.
  EXPECT_EQ(inner->NbParents(), 2);
  EXPECT_EQ(inner->FirstParent(e, c), outer->GetId());
  EXPECT_EQ(e, 3.0);
  EXPECT_EQ(c, 2.0);
  EXPECT_EQ(inner->NextParent(e, c), extra->GetId());
  EXPECT_EQ(e, 0.25);
  EXPECT_EQ(c, 0.125);
  EXPECT_EQ(inner->NbChilds(), 0);
  EXPECT_EQ(extra->FirstChild(e, c), inner->GetId());
  // Subtracting the second run again takes its entries off the same blocks.
  a -= b;
  EXPECT_EQ(outer->FirstChild(e, c), inner->GetId());
  EXPECT_EQ(e, 0.0);
  EXPECT_EQ(c, 0.5);
  EXPECT_EQ(inner->NbChilds(), 0);
  // -= leaves out what this manager lacks: entries naming a block it does not have.
  C_TimeManager lone;
  ASSERT_EQ(Load(lone, Manager({"Outer"}, true, {{0, 1, 1.0, 1.0f, 1.0, 1.0f, {}, {}}}, kBegin, kEnd)), 0);
  lone -= b;
  EXPECT_EQ(lone.TimerByName("Outer")->NbChilds(), 0);
  EXPECT_EQ(lone.TimerByName("Inner"), nullptr);
}

TEST(TimeManagerReports, ATimeThatIsNotANumberIsKept) {
  // A record holding a time that is not a number (damaged, or the difference of two infinite
  // times): merged, it stays not a number, whichever side holds it; listed by value, it comes
  // first instead of being taken for an equal of another value.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Bytes damaged = Manager({"A", "B"}, true,
                                {{0, 1, nan, 1.0f, nan, 1.0f, {{1, nan, 0.5}}, {}},
                                 {1, 1, 1.0, 0.5f, 1.0, 0.5f, {}, {{0, 1.0, 0.5}}}},
                                kBegin, kEnd);
  const Bytes sound = Manager({"A", "B"}, true,
                              {{0, 1, 3.0, 1.0f, 3.0, 1.0f, {{1, 1.0, 0.5}}, {}},
                               {1, 1, 1.0, 0.5f, 1.0, 0.5f, {}, {{0, 1.0, 0.5}}}},
                              kBegin, kEnd);
  for (bool damagedFirst : {true, false}) {
    C_TimeManager a, b;
    ASSERT_EQ(Load(a, damagedFirst ? damaged : sound), 0);
    ASSERT_EQ(Load(b, damagedFirst ? sound : damaged), 0);
    a += b;
    C_Timer* t = a.TimerByName("A");
    EXPECT_TRUE(std::isnan(t->GetTimeValue(C_Timer::TOTAL_ELAPSED))) << damagedFirst;
    EXPECT_TRUE(std::isnan(t->GetTimeValue(C_Timer::SELF_ELAPSED))) << damagedFirst;
    double e = 0, c = 0;
    ASSERT_EQ(t->FirstChild(e, c), 1);
    EXPECT_TRUE(std::isnan(e)) << damagedFirst;
    EXPECT_EQ(c, 1.0);
    EXPECT_EQ(a.TimerByName("B")->GetTimeValue(C_Timer::TOTAL_ELAPSED), 1.0);  // the max of 1 and 1
  }
  C_TimeManager tm;
  ASSERT_EQ(Load(tm, Manager({"A", "B", "C", "D"}, false,
                             {{0, 1, 2.0, 1.0f, 2.0, 1.0f, {}, {}},
                              {1, 1, nan, 1.0f, nan, 1.0f, {}, {}},
                              {2, 1, 5.0, 1.0f, 5.0, 1.0f, {}, {}},
                              {3, 1, nan, 1.0f, nan, 1.0f, {}, {}}},
                             kBegin, kEnd)),
            0);
  tm.SortBlocks(C_Timer::TOTAL_ELAPSED);  // B and D first (not numbers, in name order)
  EXPECT_EQ(Listing(tm), (std::vector<std::string>{"B", "D", "C", "A"}));
}

TEST(TimeManagerReports, NothingOfANothingTotalIsNoShare) {
  // Blocks too short for the clocks: totals of 0 and entries of 0 show 0 %, not "nan %". A
  // part of a zero total (only a combined or read record can hold one) shows the quotient.
  C_TimeManager tm;
  ASSERT_EQ(Load(tm, Manager({"Outer", "Inner"}, true,
                             {{0, 1, 0.0, 0.0f, 0.0, 0.0f, {{1, 0.0, 0.0}}, {}},
                              {1, 1, 2.0, 0.0f, 2.0, 0.0f, {}, {{0, 1.0, 0.0}}}},
                             kBegin, kEnd)),
            0);
  std::string s;
  tm.TimerByName("Outer")->FillSummary(tm.GetTabNames(), s);
  EXPECT_EQ(s, Line(1, "0.000000", "0.000000", "0.000000", "0.000000") + "-- Childs --\n" + "\t    1 " +
                   Left("Inner", 50) + "        0.000000 % 0.000000 %\n");
  s.clear();
  tm.TimerByName("Inner")->FillSummary(tm.GetTabNames(), s);
  EXPECT_EQ(s, Line(1, "2.000000", "0.000000", "2.000000", "0.000000") + "-- Parents --\n" + "\t    0 " +
                   Left("Outer", 50) + "        50.000000 % 0.000000 %\n");
  C_TimeManager odd;
  ASSERT_EQ(Load(odd, Manager({"Outer", "Inner"}, true, {{0, 1, 0.0, 0.0f, 0.0, 0.0f, {{1, 1.0, 0.0}}, {}}},
                              kBegin, kEnd)),
            0);
  s.clear();
  odd.TimerByName("Outer")->FillSummary(odd.GetTabNames(), s);
  EXPECT_NE(s.find("inf % 0.000000 %"), std::string::npos) << s;
}

TEST(TimeManagerReports, NoMemoryPartWayChangesNothingHalfWay) {
  // Each allocation of a read, a merge, a sort and a summary fails in turn: what fails leaves
  // the manager (and the caller's text) as it was, block by block for a merge.
  C_TimeManager tm;
  ASSERT_EQ(Load(tm, FlatFile()), 0);
  FILE* f = kvtest::StreamWith(GraphFile());
  ASSERT_NE(f, nullptr);
  CaptureStdout();
  int failures = kvtest::ForEachAllocation(
      [&] {
        lseek(fileno(f), 0, SEEK_SET);
        tm.Read(f);
      },
      [&] {
        EXPECT_FALSE(tm.ContainsCallGraph());
        EXPECT_EQ(Listing(tm), (std::vector<std::string>{"C_Vec::Axpy", "C_Vec::Dot", "Solve"}));
        EXPECT_EQ(tm.GetTabNames().size(), 3u);
      });
  GetCapturedStdout();
  std::fclose(f);
  EXPECT_GT(failures, 5);
  EXPECT_EQ(Listing(tm), (std::vector<std::string>{"Inner", "Outer"}));

  // Merging: Outer gains the child Extra, which it lacked.
  const std::vector<std::string> names{"Outer", "Inner", "Extra"};
  const Bytes mine = Manager(names, true,
                             {{2, 1, 1.0, 1.0f, 1.0, 1.0f, {}, {}},
                              {1, 1, 1.0, 0.5f, 1.0, 0.5f, {}, {{0, 1.0, 0.5}}},
                              {0, 1, 4.0, 2.0f, 4.0, 2.0f, {{1, 1.0, 0.5}}, {}}},
                             kBegin, kEnd);
  const Bytes theirs = Manager(names, true,
                               {{2, 2, 3.0, 1.0f, 3.0, 1.0f, {}, {{0, 0.5, 0.25}}},
                                {1, 1, 2.0, 0.5f, 2.0, 0.5f, {}, {{0, 2.0, 0.5}}},
                                {0, 1, 6.0, 2.0f, 6.0, 2.0f, {{1, 2.0, 0.5}, {2, 0.5, 0.25}}, {}}},
                               kBegin, kEnd);
  std::unique_ptr<C_TimeManager> a(new C_TimeManager);
  C_TimeManager b, want;
  ASSERT_EQ(Load(*a, mine), 0);
  ASSERT_EQ(Load(b, theirs), 0);
  ASSERT_EQ(Load(want, mine), 0);
  want += b;
  auto summary = [](C_TimeManager& m, const char* block) {
    std::string s;
    m.TimerByName(block)->FillSummary(m.GetTabNames(), s);
    return s;
  };
  std::vector<std::string> before, after;
  for (const std::string& n : names) {
    before.push_back(summary(*a, n.c_str()));
    after.push_back(summary(want, n.c_str()));
  }
  failures = kvtest::ForEachAllocation([&] { *a += b; },
                                       [&] {
                                         for (std::size_t k = 0; k < names.size(); ++k) {
                                           const std::string now = summary(*a, names[k].c_str());
                                           EXPECT_TRUE(now == before[k] || now == after[k]) << names[k] << "\n" << now;
                                         }
                                         // The next attempt starts from the manager as loaded.
                                         a.reset(new C_TimeManager);
                                         ASSERT_EQ(Load(*a, mine), 0);
                                       });
  EXPECT_GE(failures, 1);
  for (std::size_t k = 0; k < names.size(); ++k) EXPECT_EQ(summary(*a, names[k].c_str()), after[k]) << names[k];

  // Sorting and the summary.
  C_TimeManager ties;
  ASSERT_EQ(Load(ties, TieFile()), 0);
  ties.SortBlocks(C_Timer::TOTAL_ELAPSED);
  failures = kvtest::ForEachAllocation([&] { ties.SortBlocks(C_Timer::SELF_CPU); },
                                       [&] { EXPECT_EQ(Listing(ties), (std::vector<std::string>{"B", "A", "C"})); });
  EXPECT_GE(failures, 1);
  EXPECT_EQ(Listing(ties), (std::vector<std::string>{"A", "B", "C"}));
  std::string text = "kept";
  failures = kvtest::ForEachAllocation([&] { ties.FillSummary(text); }, [&] { EXPECT_EQ(text, "kept"); });
  EXPECT_GE(failures, 1);
  EXPECT_EQ(text.find("kept===="), 0u);
}

TEST(TimeManagerReports, EmptyManager) {
  C_TimeManager tm(true, false);
  kvtest::TempPath csv("tmdump_empty", ".csv");
  tm.ExportCsvFile(csv.str());
  const std::string text = kvtest::ReadFileText(csv.str());
  EXPECT_EQ(text.find(Right("blockname", 40) + "\tNbCalls"), 0u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
  EXPECT_NE(text.find(Right("C_TimeManager::BeginBlock", 40) + "\t0\t"), std::string::npos);
  EXPECT_NE(text.find(Right("C_TimeManager::EndBlock", 40) + "\t0\t"), std::string::npos);
  kvtest::TempPath bin("tmdump_empty", ".cpu");
  EXPECT_EQ(tm.Write(bin.str()), 0);
  const Rec zero1{-1, 0, 0.0, 0.0f, 0.0, 0.0f, {}, {}}, zero2{-2, 0, 0.0, 0.0f, 0.0, 0.0f, {}, {}};
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(bin.str()), Manager({}, true, {}, zero1, zero2)));
  std::string s;
  tm.FillSummary(s);
  EXPECT_NE(s.find("===== Number of Blocks : 0"), std::string::npos);
}

TEST(TimeManagerDump, GlobalManagerFiles) {
  kvtest::TempDir dir("tmdump_global");
  char old[PATH_MAX];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(dir.str().c_str()), 0);
  freeTimeManager();
  dumpTimeManager(1);  // no global manager: nothing
  EXPECT_FALSE(kvtest::FileExists("TimeManager.csv"));
  EXPECT_FALSE(kvtest::FileExists("TimeManager.cpu"));
  initTimeManager(1);
  cTimeManagerBeginBlock("Dump::Work");
  cTimeManagerEndBlock("Dump::Work");
  for (int n : {1, 3, 0, -2}) {
    dumpTimeManager(n);
    const std::string base = (n == 1) ? std::string("TimeManager") : "TimeManager-" + std::to_string(n);
    EXPECT_TRUE(kvtest::FileExists(base + ".csv")) << n;
    ASSERT_TRUE(kvtest::FileExists(base + ".cpu")) << n;
    EXPECT_NE(kvtest::ReadFileText(base + ".csv").find(Right("Dump::Work", 40) + "\t1\t"), std::string::npos);
    C_TimeManager back;
    CaptureStdout();
    EXPECT_EQ(back.Read(base + ".cpu"), 0);
    GetCapturedStdout();
    ASSERT_NE(back.TimerByName("Dump::Work"), nullptr);
    EXPECT_EQ(back.TimerByName("Dump::Work")->NbCalls(), 1);
  }
  freeTimeManager();
  ASSERT_EQ(chdir(old), 0);
}

// After Reset every value is 0: a sort ties all the blocks, and the record still holds all six.
TEST(TimeManagerReports, ASortedRecordKeepsEveryBlockAfterReset) {
  C_TimeManager tm;
  const char* names[] = {"f", "b", "e", "a", "d", "c"};
  for (const char* n : names) {
    tm.BeginBlock(N(n));
    tm.EndBlock(N(n));
  }
  tm.Reset();
  tm.SortBlocks(C_Timer::TOTAL_ELAPSED);
  EXPECT_EQ(Listing(tm), (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
  tm.BeginBlock(N("bb"));  // a block begun after the sort joins the listing
  tm.EndBlock(N("bb"));
  kvtest::TempPath sorted("tmdump_reset", ".cpu");
  ASSERT_EQ(tm.Write(sorted.str()), 0);
  C_TimeManager back;
  ASSERT_EQ(Load(back, kvtest::ReadFileBytes(sorted.str())), 0);
  EXPECT_EQ(Listing(back), (std::vector<std::string>{"a", "b", "bb", "c", "d", "e", "f"}));
}

// A stored block name holding a zero byte ("ab\0cd") would be read as "ab": refused, the
// manager as it was. So are a call-graph flag other than 0 or 1 and entries out of order.
TEST(TimeManagerFile, RecordsNoWriterMakesAreRefused) {
  C_TimeManager tm;
  ASSERT_EQ(Load(tm, TieFile()), 0);
  Bytes zero = Manager({"A", "B", "C"}, false,
                       {{0, 1, 2.0, 1.0f, 2.0, 1.0f, {}, {}}}, kBegin, kEnd);
  Bytes renamed = Manager({"A", "Bxyzw", "C"}, false, {{0, 1, 2.0, 1.0f, 2.0, 1.0f, {}, {}}}, kBegin, kEnd);
  // The name "Bxyzw" follows the count (8 bytes), "A" (5 bytes) and its own length (4 bytes).
  ASSERT_EQ(renamed[8 + 5 + 4 + 2], 'y');
  renamed[8 + 5 + 4 + 2] = 0;
  EXPECT_EQ(Load(tm, renamed), -1);
  EXPECT_EQ(Listing(tm), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(tm.GetNameById(1), "B");
  Bytes flag = zero;
  flag[7] = 2;  // the call-graph flag
  EXPECT_EQ(Load(tm, flag), -1);
  EXPECT_FALSE(tm.ContainsCallGraph());
  EXPECT_EQ(Load(tm, Manager({"A", "B", "C"}, true, {{0, 1, 2.0, 1.0f, 2.0, 1.0f, {{2, 1.0, 1.0}, {1, 1.0, 1.0}}, {}}},
                             kBegin, kEnd)),
            -1);
  EXPECT_EQ(Load(tm, Manager({"A", "B", "C"}, true, {{0, 1, 2.0, 1.0f, 2.0, 1.0f, {{1, 1.0, 1.0}, {1, 2.0, 1.0}}, {}}},
                             kBegin, kEnd)),
            -1);
  EXPECT_EQ(Listing(tm), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(Load(tm, zero), 0);
}
