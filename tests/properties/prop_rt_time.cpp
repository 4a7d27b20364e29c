// prop_rt_time.cpp: profiling blocks (C_TimeManager, C_Timer, the global manager and the
// clocks), named objects (C_Entity), call-stack entries (C_Entry) and object counts
// (C_Counter), driven by random command sequences against a model of names, counts and open
// runs. After every command the manager lists every block it holds (ties of a sorted listing
// in name order), a refused call leaves its written image as it was, and its record reads back
// into a manager that writes the same blocks; a reader given a damaged record refuses it and
// changes nothing, or accepts it and writes it back.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "C_CallStack.h"
#include "C_Entity.h"
#include "C_KveloException.h"
#include "C_TimeManager.h"
#include "C_MatMGe.h"
#include "bf.h"
#include "failing_new.h"
#include "kvelo_time.h"
#include "msgcapture.h"
#include "prop_rt_io.h"
#include "prop_support.h"

// clang-format off
KVELO_HOLDS(
    "C_TimeManager::C_TimeManager", "C_TimeManager::~C_TimeManager", "C_TimeManager::BeginBlock",
    "C_TimeManager::EndBlock", "C_TimeManager::DoBeginBlock", "C_TimeManager::DoEndBlock",
    "C_TimeManager::NewBlock", "C_TimeManager::TimerByName", "C_TimeManager::TimerById",
    "C_TimeManager::GetNameById", "C_TimeManager::GetTabNames", "C_TimeManager::setCallGraph",
    "C_TimeManager::ContainsCallGraph", "C_TimeManager::Reset", "C_TimeManager::FirstBlock",
    "C_TimeManager::NextBlock", "C_TimeManager::WalkFirstBlock", "C_TimeManager::WalkNextBlock",
    "C_TimeManager::SortBlocks", "C_TimeManager::SortBlocksAside", "C_TimeManager::SumOverProcs",
    "C_TimeManager::operator+=", "C_TimeManager::operator-=", "C_TimeManager::Add",
    "C_TimeManager::Remove", "C_TimeManager::IdsFrom", "C_TimeManager::FillSummary",
    "C_TimeManager::FillSummaryAside", "C_TimeManager::Print", "C_TimeManager::ExportCsvFile",
    "C_TimeManager::DoExportCsvFile", "C_TimeManager::Write", "C_TimeManager::DoWrite",
    "C_TimeManager::Read", "C_TimeManager::DoRead", "C_TimeManager::ClearBlocks",
    "C_Timer::C_Timer", "C_Timer::~C_Timer", "C_Timer::Start", "C_Timer::Finish", "C_Timer::Reset",
    "C_Timer::TotalTime", "C_Timer::GetStepTime", "C_Timer::SelfTime", "C_Timer::GetTimeValue",
    "C_Timer::SubmitFromChild", "C_Timer::AssignToParent", "C_Timer::FirstChild",
    "C_Timer::NextChild", "C_Timer::FirstParent", "C_Timer::NextParent", "C_Timer::FillSummary",
    "C_Timer::Summary", "C_Timer::Print", "C_Timer::ExportCsv", "C_Timer::Write", "C_Timer::Read",
    "C_Timer::ReadRecord", "C_Timer::Merge", "C_Timer::Subtract",
    "S_GetTimeManager", "cTimeManagerBeginBlock", "cTimeManagerEndBlock", "initTimeManager",
    "freeTimeManager", "dispTimeManager", "dumpTimeManager", "InitElapseTime",
    "ReturnElapseTime", "cputim_c",
    "C_Entity::C_Entity", "C_Entity::GetName", "C_Entity::SetName", "C_Entity::operator=",
    "C_Entry::C_Entry", "C_Entry::Assign",
    "C_Counter::C_Counter", "C_Counter::operator=", "C_Counter::~C_Counter");
// clang-format on

namespace {

using kvtest::Bytes;

// The written record of a manager (or timer), or empty when the writer refuses.
template <class W>
Bytes Image(W& w, int* result = nullptr) {
  FILE* f = std::tmpfile();
  RC_ASSERT((f != nullptr));
  const int r = w.Write(f);
  if (result) *result = r;
  Bytes b = kvtest::FdBytes(fileno(f));
  std::fclose(f);
  return b;
}

// Reads bytes into w; the reader's result.
template <class W>
int ReadInto(W& w, const Bytes& b) {
  FILE* f = std::tmpfile();
  RC_ASSERT((f != nullptr));
  if (!b.empty()) RC_ASSERT(std::fwrite(b.data(), 1, b.size(), f) == b.size());
  std::fflush(f);
  std::rewind(f);
  lseek(fileno(f), 0, SEEK_SET);
  const int r = w.Read(f);
  std::fclose(f);
  return r;
}

// ---------------------------------------------------------------------------------------------
// An independent parser of the manager's record, giving it in a canonical form: the listed
// blocks by name (the writer lists them in the listing's order, which a sort changes).

struct Cursor {
  const Bytes& b;
  size_t at = 0;
  bool ok = true;
  std::uint64_t Take(int n) {
    if (at + static_cast<size_t>(n) > b.size()) {
      ok = false;
      return 0;
    }
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | b[at++];
    return v;
  }
  int Int() { return static_cast<int>(static_cast<std::uint32_t>(Take(4))); }
};

struct Canon {
  int count = 0, flag = 0;
  std::vector<std::string> names;
  std::map<std::string, Bytes> listed;
  Bytes overhead;
  bool operator==(const Canon& o) const {
    return count == o.count && flag == o.flag && names == o.names && listed == o.listed && overhead == o.overhead;
  }
};

Bytes TimerRecord(Cursor& c) {
  const size_t from = c.at;
  c.Take(8 + 8 + 4 + 8 + 4);
  for (int g = 0; g < 2 && c.ok; ++g) {
    const int n = c.Int();
    if (n < 0 || n > 100000) c.ok = false;
    for (int i = 0; i < n && c.ok; ++i) c.Take(4 + 16);
  }
  return c.ok ? Bytes(c.b.begin() + static_cast<long>(from), c.b.begin() + static_cast<long>(c.at)) : Bytes();
}

bool Parse(const Bytes& b, Canon& out) {
  Cursor c{b};
  out = Canon();
  out.count = c.Int();
  out.flag = c.Int();
  if (!c.ok || out.count < 0 || out.count > 100000) return false;
  for (int i = 0; i < out.count && c.ok; ++i) {
    const int L = c.Int();
    if (L <= 0 || static_cast<size_t>(L) > b.size()) return false;
    std::string s;
    for (int k = 0; k < L && c.ok; ++k) s.push_back(static_cast<char>(c.Take(1)));
    out.names.push_back(s);
  }
  const int listed = c.Int();
  if (!c.ok || listed < 0 || listed > out.count) return false;
  for (int i = 0; i < listed && c.ok; ++i) {
    const int id = c.Int();
    if (id < 0 || id >= out.count) return false;
    out.listed[out.names[static_cast<size_t>(id)]] = TimerRecord(c);
  }
  out.overhead = TimerRecord(c);
  const Bytes end = TimerRecord(c);
  out.overhead.insert(out.overhead.end(), end.begin(), end.end());
  return c.ok && c.at == b.size();
}

// ---------------------------------------------------------------------------------------------
// The manager against a model: names in the order met (identifiers), call counts, open runs.

struct TmModel {
  std::vector<std::string> names;          // by identifier
  std::map<std::string, int> calls;        // blocks held
  std::vector<std::string> open;           // innermost first
  bool callGraph = false;
  int sortedBy = 0;                        // 0: name order
  bool zeroTimes = true;                   // every time 0 (after Reset, before any run closes)
};

struct TmSut {
  std::unique_ptr<C_TimeManager> tm{new C_TimeManager(false, false)};
};

using TmCmd = rc::state::Command<TmModel, TmSut>;

const std::vector<std::string>& BlockNames() {
  static const std::vector<std::string> n = {"alpha", "beta", "C::f", "C::g", "z", "D::h"};
  return n;
}

// The listing. Right after a sort (order checked) it is by value (NaN first, then
// decreasing), ties in name order; later runs change the values but not the listing.
std::vector<std::string> Listing(C_TimeManager& tm, int sortedBy, bool checkOrder = false) {
  std::vector<std::string> out;
  std::vector<double> values;
  std::string name;
  for (C_Timer* t = tm.FirstBlock(name, 0); t != nullptr; t = tm.NextBlock(name, 0)) {
    RC_ASSERT(out.size() < 1000u);
    out.push_back(name);
    values.push_back(t->GetTimeValue(static_cast<C_Timer::E_TimeValue>(sortedBy)));
  }
  for (size_t i = 1; i < out.size() && checkOrder; ++i) {
    if (sortedBy < 1 || sortedBy > 4) {
      RC_ASSERT(out[i - 1] < out[i]);
      continue;
    }
    const double a = values[i - 1], b = values[i];
    if (std::isnan(a) && std::isnan(b)) RC_ASSERT(out[i - 1] < out[i]);
    else if (std::isnan(b)) RC_FAIL("a value that is no number listed after a number");
    else if (!std::isnan(a)) {
      RC_ASSERT(a >= b);
      if (a == b) RC_ASSERT(out[i - 1] < out[i]);
    }
  }
  return out;
}

void CheckTm(const TmModel& m, TmSut& s) {
  std::vector<std::string> listing = Listing(*s.tm, m.sortedBy);
  std::vector<std::string> held;
  for (const auto& kv : m.calls) held.push_back(kv.first);
  std::sort(listing.begin(), listing.end());
  RC_ASSERT(listing == held);  // every block listed once, whatever the order
  for (const auto& kv : m.calls) {
    C_Timer* t = s.tm->TimerByName("%s", kv.first.c_str());
    RC_ASSERT((t != nullptr));
    RC_ASSERT(t->NbCalls() == kv.second);
    RC_ASSERT(s.tm->GetNameById(t->GetId()) == kv.first);
  }
  RC_ASSERT(s.tm->ContainsCallGraph() == m.callGraph);
  // The record closes: read into a new manager, which writes the same blocks.
  int r = 0;
  const Bytes w1 = Image(*s.tm, &r);
  RC_ASSERT(r == 0);
  Canon c1, c2;
  RC_ASSERT(Parse(w1, c1));
  RC_ASSERT(c1.listed.size() == m.calls.size());  // no block left out of the record
  C_TimeManager back(false, false);
  RC_ASSERT(ReadInto(back, w1) == 0);
  const Bytes w2 = Image(back, &r);
  RC_ASSERT(r == 0);
  RC_ASSERT(Parse(w2, c2));
  RC_ASSERT(c1 == c2);
}

struct TmBegin : TmCmd {
  std::string name = *rc::gen::elementOf(BlockNames());
  bool formatted = *rc::gen::arbitrary<bool>();
  void apply(TmModel& m) const override {
    if (!m.calls.count(name)) m.names.push_back(name);
    ++m.calls[name];
    m.open.insert(m.open.begin(), name);
  }
  void run(const TmModel& m, TmSut& s) const override {
    if (formatted)
      s.tm->BeginBlock("%s", name.c_str());
    else
      s.tm->BeginBlock(const_cast<char*>(name.c_str()));
    TmModel next = m;
    apply(next);
    CheckTm(next, s);
  }
  void show(std::ostream& os) const override { os << "BeginBlock(" << name << ")"; }
};

struct TmEnd : TmCmd {
  std::string name = *rc::gen::elementOf(BlockNames());
  void apply(TmModel& m) const override {
    auto it = std::find(m.open.begin(), m.open.end(), name);
    if (it == m.open.end()) return;
    m.open.erase(it);
    m.zeroTimes = false;
  }
  void run(const TmModel& m, TmSut& s) const override {
    const bool open = std::find(m.open.begin(), m.open.end(), name) != m.open.end();
    const Bytes before = Image(*s.tm);
    C_Timer* t = s.tm->EndBlock(const_cast<char*>(name.c_str()));
    if (!open) {
      RC_ASSERT((t == nullptr));
      // Refused: no block changed (the EndBlock overhead timer counts the call, by its rule).
      Canon a, b;
      RC_ASSERT(Parse(before, a));
      RC_ASSERT(Parse(Image(*s.tm), b));
      a.overhead.clear();
      b.overhead.clear();
      RC_ASSERT(a == b);
    } else {
      RC_ASSERT((t == s.tm->TimerByName("%s", name.c_str())));
    }
    TmModel next = m;
    apply(next);
    CheckTm(next, s);
  }
  void show(std::ostream& os) const override { os << "EndBlock(" << name << ")"; }
};

struct TmReset : TmCmd {
  void apply(TmModel& m) const override {
    for (auto& kv : m.calls) kv.second = 0;
    m.zeroTimes = true;
  }
  void run(const TmModel& m, TmSut& s) const override {
    s.tm->Reset();
    TmModel next = m;
    apply(next);
    CheckTm(next, s);
    // Every time is 0 now: a sort by any value ties every block.
    for (const auto& kv : m.calls) {
      C_Timer* t = s.tm->TimerByName("%s", kv.first.c_str());
      for (int v = 1; v <= 4; ++v) RC_ASSERT(t->GetTimeValue(static_cast<C_Timer::E_TimeValue>(v)) == 0.0);
    }
  }
  void show(std::ostream& os) const override { os << "Reset"; }
};

struct TmSort : TmCmd {
  int which = *rc::gen::inRange(-1, 6);
  void apply(TmModel& m) const override { m.sortedBy = (which >= 1 && which <= 4) ? which : 0; }
  void run(const TmModel& m, TmSut& s) const override {
    s.tm->SortBlocks(static_cast<C_Timer::E_TimeValue>(which));
    Listing(*s.tm, (which >= 1 && which <= 4) ? which : 0, true);
    TmModel next = m;
    apply(next);
    CheckTm(next, s);
  }
  void show(std::ostream& os) const override { os << "SortBlocks(" << which << ")"; }
};

struct TmCallGraph : TmCmd {
  bool on = *rc::gen::arbitrary<bool>();
  void apply(TmModel& m) const override { m.callGraph = on; }
  void run(const TmModel& m, TmSut& s) const override {
    s.tm->setCallGraph(on);
    TmModel next = m;
    apply(next);
    CheckTm(next, s);
  }
  void show(std::ostream& os) const override { os << "setCallGraph(" << on << ")"; }
};

// Reports: no state changes but the listing's cursor; the summary holds every listed block.
struct TmReports : TmCmd {
  int which = *rc::gen::inRange(0, 5);
  void apply(TmModel&) const override {}
  void run(const TmModel& m, TmSut& s) const override {
    const Bytes before = Image(*s.tm);
    kvtest::ScratchDir d;
    if (which == 0) {
      std::string out = "keep";
      s.tm->FillSummary(out);
      RC_ASSERT(out.compare(0, 4, "keep") == 0);
      for (const auto& kv : m.calls) {
        const size_t sep = kv.first.find("::");
        RC_ASSERT(out.find(sep == std::string::npos ? kv.first : kv.first.substr(sep)) != std::string::npos);
      }
    } else if (which == 1) {
      FILE* f = std::tmpfile();
      s.tm->Print(f);
      s.tm->Print(nullptr);
      std::fclose(f);
    } else if (which == 2) {
      const std::string p = d.File("t.csv");
      s.tm->ExportCsvFile(p);
      const Bytes csv = kvtest::FileBytes(p);
      const std::string text(csv.begin(), csv.end());
      // A header, a line per block and the two overhead lines.
      RC_ASSERT(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) == m.calls.size() + 3);
    } else if (which == 3) {
      // Named-file record: replaced whole; reads back the same.
      const std::string p = d.File("t.cpu");
      RC_ASSERT(s.tm->Write(p) == 0);
      C_TimeManager back(false, false);
      RC_ASSERT(back.Read(p) == 0);
      Canon a, b;
      RC_ASSERT(Parse(Image(*s.tm), a));
      RC_ASSERT(Parse(Image(back), b));
      RC_ASSERT(a == b);
      RC_ASSERT(back.Read(d.File("missing.cpu")) == -1);
    } else {
      // Names by identifier.
      std::vector<std::string>& tab = s.tm->GetTabNames();
      for (size_t id = 0; id < m.names.size(); ++id) {
        RC_ASSERT(tab[id] == m.names[id]);
        std::string name = "old";
        C_Timer* t = s.tm->TimerById(static_cast<int>(id), name);
        RC_ASSERT(name == m.names[id]);
        RC_ASSERT((t != nullptr));
        RC_ASSERT(t->GetId() == static_cast<int>(id));
      }
    }
    // Summaries and exports change nothing written (the listing's cursor aside).
    RC_ASSERT(Image(*s.tm) == before);
    CheckTm(m, s);
  }
  void show(std::ostream& os) const override { os << "Report(" << which << ")"; }
};

// Combining with a copy: += adds the counts, -= takes them away again.
struct TmCombine : TmCmd {
  void apply(TmModel&) const override {}
  void run(const TmModel& m, TmSut& s) const override {
    C_TimeManager copy(*s.tm);
    *s.tm += copy;
    for (const auto& kv : m.calls) RC_ASSERT(s.tm->TimerByName("%s", kv.first.c_str())->NbCalls() == 2 * kv.second);
    *s.tm -= copy;
    for (const auto& kv : m.calls) RC_ASSERT(s.tm->TimerByName("%s", kv.first.c_str())->NbCalls() == kv.second);
    s.tm->SumOverProcs();
    TmModel next = m;
    CheckTm(next, s);
  }
  void show(std::ostream& os) const override { os << "+= copy, -= copy"; }
};

// A damaged record: cut, a byte changed, or a name holding a zero byte. Refused: the manager
// writes what it wrote before. Accepted: it writes the record it read (in canonical form).
struct TmReadDamaged : TmCmd {
  int how = *rc::gen::inRange(0, 4);
  int where = *rc::gen::inRange(0, 1 << 20);
  unsigned char value = *rc::gen::arbitrary<unsigned char>();
  void apply(TmModel&) const override {}
  void run(const TmModel& m, TmSut& s) const override {
    // The record of the model's blocks, made by a reader from the manager's own record.
    C_TimeManager source(false, false);
    RC_ASSERT(ReadInto(source, Image(*s.tm)) == 0);
    Bytes x = Image(source);
    if (how == 0 && !x.empty()) {
      x.resize(static_cast<size_t>(where) % x.size());
    } else if (how == 1 && !x.empty()) {
      x[static_cast<size_t>(where) % x.size()] = value;
    } else if (how == 2) {
      // The first name of two or more characters gets a zero byte inside: "ab\0cd".
      Canon c;
      RC_ASSERT(Parse(x, c));
      size_t at = 8;
      for (const std::string& n : c.names) {
        if (n.size() >= 2) {
          x[at + 4 + 1 + static_cast<size_t>(where) % (n.size() - 1)] = 0;
          break;
        }
        at += 4 + n.size();
      }
    }
    const Bytes before = Image(*s.tm);
    const std::vector<std::string> listingBefore = Listing(*s.tm, m.sortedBy);
    RC_LOG() << "record read: " << rc::toString(x) << "\n";
    const int r = ReadInto(*s.tm, x);
    if (r != 0) {
      RC_ASSERT(r == -1);
      RC_ASSERT(Image(*s.tm) == before);
      RC_ASSERT(Listing(*s.tm, m.sortedBy) == listingBefore);
      CheckTm(m, s);
      return;
    }
    // Accepted: it writes back what it read, and the model becomes what it holds.
    Canon cx, cy;
    RC_ASSERT(Parse(x, cx));
    RC_ASSERT(Parse(Image(*s.tm), cy));
    RC_ASSERT(cx == cy);
    RC_ASSERT(ReadInto(*s.tm, before) == 0);  // back to the model's blocks (name order)
    if (m.sortedBy != 0) s.tm->SortBlocks(static_cast<C_Timer::E_TimeValue>(m.sortedBy));
    if (m.callGraph) s.tm->setCallGraph(true);
    TmModel next = m;
    next.open.clear();
    const_cast<TmModel&>(m) = next;  // reading forgets the open runs
    CheckTm(next, s);
  }
  void show(std::ostream& os) const override {
    static const char* const h[] = {"cut", "byte", "zero in a name", "as written"};
    os << "Read(" << h[how] << ", where=" << where << ", value=" << static_cast<int>(value) << ")";
  }
};

RC_GTEST_PROP(TimeManager, EveryBlockIsListedWrittenAndReadBack, ()) {
  kvtest::MsgCapture quiet;
  TmSut s;
  rc::state::check(TmModel{}, s,
                   rc::state::gen::execOneOfWithArgs<TmBegin, TmBegin, TmEnd, TmEnd, TmReset, TmSort, TmCallGraph,
                                                     TmReports, TmCombine>());
}

// The reader of damaged records, on a manager that holds the blocks of a random run.
RC_GTEST_PROP(TimeManager, DamagedRecordsAreRefusedOrWrittenBack, ()) {
  kvtest::MsgCapture quiet;
  TmSut s;
  TmModel m;
  const int runs = *rc::gen::inRange(0, 6);
  for (int i = 0; i < runs; ++i) {
    const std::string n = *rc::gen::elementOf(BlockNames());
    s.tm->BeginBlock(const_cast<char*>(n.c_str()));
    s.tm->EndBlock(const_cast<char*>(n.c_str()));
    if (!m.calls.count(n)) m.names.push_back(n);
    ++m.calls[n];
  }
  if (*rc::gen::arbitrary<bool>()) {
    s.tm->Reset();
    for (auto& kv : m.calls) kv.second = 0;
  }
  for (int k = 0; k < 3; ++k) {
    TmReadDamaged cmd;
    cmd.run(m, s);
  }
}

// ---------------------------------------------------------------------------------------------
// A timer alone: graph entries, the record and its reader.

RC_GTEST_PROP(Timer, RecordClosesAndDamageChangesNothing, ()) {
  kvtest::MsgCapture quiet;
  C_Timer t(*rc::gen::inRange(0, 50));
  double e = 0.0, c = 0.0;
  const int steps = *rc::gen::inRange(0, 8);
  std::map<int, std::pair<double, double>> kids, parents;
  for (int i = 0; i < steps; ++i) {
    const int op = *rc::gen::inRange(0, 5);
    const int id = *rc::gen::inRange(0, 5);
    double de = *kvtest::TameDouble(), dc = *kvtest::TameDouble();
    if (op == 0) {
      t.Start(e, c);
      t.Finish(e, c);
    } else if (op == 1) {
      t.SubmitFromChild(true, id, de, dc);
      kids[id].first += de;
      kids[id].second += dc;
    } else if (op == 2) {
      t.AssignToParent(true, id, de, dc);
      parents[id].first += de;
      parents[id].second += dc;
    } else if (op == 3) {
      t.SubmitFromChild(false, id, de, dc);
      t.AssignToParent(false, id, de, dc);
    } else {
      t.Reset();
      RC_ASSERT(t.NbCalls() == 0);
    }
  }
  // The walks give the entries in identifier order.
  RC_ASSERT(t.NbChilds() == static_cast<int>(kids.size()));
  RC_ASSERT(t.NbParents() == static_cast<int>(parents.size()));
  double we, wc;
  auto it = kids.begin();
  for (int id = t.FirstChild(we, wc); id != -1; id = t.NextChild(we, wc), ++it) {
    RC_ASSERT(it != kids.end());
    RC_ASSERT(id == it->first);
    RC_ASSERT(we == it->second.first);
  }
  RC_ASSERT((it == kids.end()));
  auto ip = parents.begin();
  for (int id = t.FirstParent(we, wc); id != -1; id = t.NextParent(we, wc), ++ip) RC_ASSERT(id == ip->first);
  RC_ASSERT((ip == parents.end()));
  double te, tc, se, sc;
  t.TotalTime(te, tc);
  t.GetStepTime(se, sc);
  t.SelfTime(se, sc);
  RC_ASSERT(t.GetTimeValue(C_Timer::TOTAL_ELAPSED) == te);
  RC_ASSERT(t.GetTimeValue(static_cast<C_Timer::E_TimeValue>(9)) == 0.0);
  std::vector<std::string> names = {"a", "b"};
  std::string sum = "x";
  t.FillSummary(names, sum);
  RC_ASSERT(sum.size() > 1);
  FILE* f = std::tmpfile();
  t.Print(names, f);
  t.ExportCsv(f, "name");
  t.Print(names, nullptr);
  t.ExportCsv(nullptr, "name");
  std::fclose(f);
  // Copy: identifier, count and times, no graph.
  C_Timer copy(t);
  RC_ASSERT(copy.GetId() == t.GetId());
  RC_ASSERT(copy.NbCalls() == t.NbCalls());
  RC_ASSERT(copy.NbChilds() == 0);
  // The record reads back into a timer that writes it again byte for byte.
  const Bytes w = Image(t);
  C_Timer back(-5);
  RC_ASSERT(ReadInto(back, w) == 0);
  RC_ASSERT(Image(back) == w);
  // Damage: cut, or a byte changed.
  Bytes x = w;
  const int where = *rc::gen::inRange(0, static_cast<int>(w.size()));
  if (*rc::gen::arbitrary<bool>())
    x.resize(static_cast<size_t>(where));
  else
    x[static_cast<size_t>(where)] = *rc::gen::arbitrary<unsigned char>();
  const int r = ReadInto(back, x);
  if (r != 0) {
    RC_ASSERT(Image(back) == w);
  } else {
    // What the reader accepts it writes back: the bytes it took (a smaller count changed in
    // the record ends it early, the rest left unread).
    const Bytes again = Image(back);
    RC_ASSERT(again.size() <= x.size());
    RC_ASSERT((std::equal(again.begin(), again.end(), x.begin())));
  }
}

// ---------------------------------------------------------------------------------------------
// Named objects: the name as one portable string.

RC_GTEST_PROP(Entity, NamesWriteReadAndRefuseAsStored, ()) {
  kvtest::MsgCapture quiet;
  const std::string name = *rc::gen::weightedOneOf<std::string>(
      {{5, rc::gen::nonEmpty(rc::gen::container<std::string>(rc::gen::inRange<char>(1, 127)))},
       {1, rc::gen::element<std::string>(std::string(), std::string("ab\0cd", 5), std::string("\0", 1))}});
  C_Entity e(name);
  RC_ASSERT(e.GetName() == name);
  RC_ASSERT(std::strcmp(e.Nom(), name.c_str()) == 0);
  RC_ASSERT(std::string(e.Type()) == "C_Entity");
  C_Entity copy(e);
  RC_ASSERT(copy.GetName() == name);
  C_Entity assigned("other");
  assigned = e;
  RC_ASSERT(assigned.GetName() == name);
  std::ostringstream info;
  e.Info(info);
  RC_ASSERT(info.str().find(name.c_str()) != std::string::npos);
  int r = 0;
  const Bytes w = Image(e, &r);
  const bool storable = !name.empty() && name.find('\0') == std::string::npos;
  RC_ASSERT(r == (storable ? 0 : -1));
  if (!storable) RC_ASSERT(w.empty());
  // Reading: the bytes of a stored name, possibly damaged, into an entity named "keep".
  Bytes x;
  const int how = *rc::gen::inRange(0, 4);
  const std::string stored = how == 3 ? *rc::gen::nonEmpty(rc::gen::container<std::string>(rc::gen::arbitrary<char>()))
                                      : name;
  kvtest::PutBE(x, how == 2 ? static_cast<std::uint32_t>(*rc::gen::element(-1, 0, INT_MAX)) : stored.size(), 4);
  x.insert(x.end(), stored.begin(), stored.end());
  if (how == 1 && !x.empty()) x.resize(static_cast<size_t>(*rc::gen::inRange(0, static_cast<int>(x.size()))));
  C_Entity target("keep");
  const int rr = ReadInto(target, x);
  if (rr != 0) {
    RC_ASSERT(rr == -1);
    RC_ASSERT(target.GetName() == "keep");
  } else {
    RC_ASSERT(Image(target) == x);  // what the reader accepts its writer writes back
  }
  target.SetName(name);
  RC_ASSERT(target.GetName() == name);
  RC_ASSERT(C_CbfObject::write_function(nullptr, nullptr) == -1);
}

// ---------------------------------------------------------------------------------------------
// Call-stack entries: fixed fields, each cut to its width less one and terminated.

RC_GTEST_PROP(Entry, FieldsAreCutAndTerminated, ()) {
  const std::string fn = *rc::gen::container<std::string>(rc::gen::inRange<char>(32, 127));
  const std::string file = *rc::gen::container<std::string>(rc::gen::inRange<char>(32, 127));
  const int line = *rc::gen::arbitrary<int>();
  const bool nulls = *rc::gen::arbitrary<bool>();
  Kvelo::C_Entry e(nulls ? nullptr : fn.c_str(), nulls ? nullptr : file.c_str(), line);
  const std::string expectFn = nulls ? std::string() : fn.substr(0, Kvelo::C_Entry::FUNCTION_SIZE - 1);
  RC_ASSERT(std::string(e.function) == expectFn);
  RC_ASSERT((std::memchr(e.file, 0, sizeof e.file) != nullptr));
  RC_ASSERT(e.line == line);
  Kvelo::C_Entry a;
  RC_ASSERT(a.function[0] == '\0');
  RC_ASSERT(a.file[0] == '\0');
  RC_ASSERT(a.line == 0);
  a.Assign("f", "/x/y/src/runtime/bf.cpp", 7);
  RC_ASSERT(std::string(a.file) == "src/bf");
  RC_ASSERT(std::string(a.function) == "f");
}

// Object counts: every construction counts, destruction takes one away, assignment nothing.
RC_GTEST_PROP(Counter, CountsFollowConstructionAndDestruction, ()) {
  using M = C_MatMGe<double>;
  using Count = C_Counter<C_Mat<double>>;
  const int made0 = Count::objects_created, alive0 = Count::objects_alive;
  const int n = *rc::gen::inRange(0, 6);
  {
    std::vector<std::unique_ptr<M>> ms;
    for (int i = 0; i < n; ++i) ms.emplace_back(new M(2, 2));
    RC_ASSERT(Count::objects_alive == alive0 + n);
    RC_ASSERT(Count::objects_created == made0 + n);
    if (n > 0) {
      M copy(*ms[0]);
      RC_ASSERT(Count::objects_created == made0 + n + 1);
      *ms[0] = copy;
      RC_ASSERT(Count::objects_created == made0 + n + 1);
      RC_ASSERT(Count::objects_alive == alive0 + n + 1);
    }
  }
  RC_ASSERT(Count::objects_alive == alive0);
}

// ---------------------------------------------------------------------------------------------
// The global manager and the clocks.

RC_GTEST_PROP(GlobalManager, MadeFedDumpedAndFreed, ()) {
  kvtest::MsgCapture quiet;
  const int n = *rc::gen::element(-1, 0, 1, 2);
  const std::vector<std::string> names = *rc::gen::container<std::vector<std::string>>(rc::gen::elementOf(BlockNames()));
  freeTimeManager();
  RC_ASSERT((S_GetTimeManager() == nullptr));
  initTimeManager(n);
  RC_ASSERT(((S_GetTimeManager() != nullptr) == (n > 0)));
  if (n > 0) RC_ASSERT(S_GetTimeManager()->ContainsCallGraph() == (n > 1));
  for (const std::string& b : names) cTimeManagerBeginBlock(b.c_str());
  for (auto it = names.rbegin(); it != names.rend(); ++it) cTimeManagerEndBlock(it->c_str());
  dispTimeManager();
  kvtest::ScratchDir d;
  char cwd[4096];
  RC_ASSERT((getcwd(cwd, sizeof cwd) != nullptr));
  RC_ASSERT(chdir(d.Path().c_str()) == 0);
  dumpTimeManager(n > 0 ? n : 3);
  const std::string csv = n == 1 ? "TimeManager.csv" : "TimeManager-" + std::to_string(n > 0 ? n : 3) + ".csv";
  const std::string cpu = n == 1 ? "TimeManager.cpu" : "TimeManager-" + std::to_string(n > 0 ? n : 3) + ".cpu";
  const bool haveCsv = access(csv.c_str(), F_OK) == 0;
  const bool haveCpu = access(cpu.c_str(), F_OK) == 0;
  C_TimeManager back(false, false);
  const int r = haveCpu ? back.Read(d.File(cpu)) : -1;
  RC_ASSERT(chdir(cwd) == 0);
  RC_ASSERT(haveCsv == (n > 0));
  RC_ASSERT(haveCpu == (n > 0));
  if (n > 0) {
    RC_ASSERT(r == 0);
    for (const std::string& b : names) {
      C_Timer* t = back.TimerByName("%s", b.c_str());
      RC_ASSERT((t != nullptr));
      RC_ASSERT(t->NbCalls() >= static_cast<int>(std::count(names.begin(), names.end(), b)));
    }
  }
  // A null name is the empty one (a manager holding it can no longer be written).
  cTimeManagerBeginBlock(nullptr);
  cTimeManagerEndBlock(nullptr);
  freeTimeManager();
  RC_ASSERT((S_GetTimeManager() == nullptr));
  cTimeManagerBeginBlock("alpha");  // no manager: nothing
  cTimeManagerEndBlock("alpha");
  dumpTimeManager(1);
}

RC_GTEST_PROP(Clocks, ElapsedAndCpuTimesAreFiniteAndMoveForward, ()) {
  double origin = -1.0, cpuOrigin = -1.0;
  const int ms = InitElapseTime(&origin, &cpuOrigin);
  RC_ASSERT(std::isfinite(origin));
  RC_ASSERT(origin >= 0.0);
  RC_ASSERT(cpuOrigin == 0.0);
  RC_ASSERT(ms >= 0);
  RC_ASSERT(InitElapseTime(nullptr, nullptr) >= ms);
  const double a = ReturnElapseTime(origin);
  const double b = ReturnElapseTime(origin);
  RC_ASSERT(std::isfinite(a));
  RC_ASSERT(a >= 0.0);
  RC_ASSERT(b >= a);
  const float c0 = cputim_c(0.0f);
  RC_ASSERT(std::isfinite(c0));
  RC_ASSERT(c0 >= 0.0f);
  const float start = *rc::gen::element(0.0f, 0.000001f, 0.5f, 1e6f);
  const float d = cputim_c(start);
  RC_ASSERT(std::isfinite(d));
  if (start > 0.00001f) RC_ASSERT(d <= cputim_c(0.0f) - start + 0.01f);
}

}  // namespace
