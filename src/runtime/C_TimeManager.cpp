// C_TimeManager.cpp: profiling blocks and the global time manager fed by the C_Trace
// scopes, with the reports built on them: call-graph walks, listings, merges, the summary,
// the tab-separated text file and the portable binary file. Elapsed time comes from a
// monotonic clock, CPU time from the process's usage.
#include "C_TimeManager.h"

#include "bf.h"
#include "erreur.h"
#include "kvelosys.h"
#include "platform/plat_file.h"
#include "platform/plat_time.h"
#include "runtime/msg_format.h"
#include "runtime/no_memory.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <climits>
#include <memory>
#include <mutex>
#include <new>
#include <set>

namespace {

// Origin of the elapsed clock: its first reading (at load, when USE_TIMEMANAGER creates the
// global manager), so readings stay small like clock(). Read lazily: the manager is built
// before ordinary static objects are.
double LoadMs() {
  static const double origin = kvplat::ElapsedMs();
  return origin;
}

// The global manager. Scopes of any thread feed it, so its block operations, its replacement
// and its dumps hold the lock below; the pointer itself is read without the lock first, so
// that a program that does not profile never takes it.
std::atomic<C_TimeManager*> g_timeManager{nullptr};

// A call count plus (or minus) another. Counts come from live runs and from profile records,
// which may hold any int (a difference of managers is negative): they stop at the ends of int
// instead of wrapping, which would be undefined and turn a busy block's count negative.
int CountSum(int count, long long more) {
  const long long sum = static_cast<long long>(count) + more;
  return sum > INT_MAX ? INT_MAX : sum < INT_MIN ? INT_MIN : static_cast<int>(sum);
}

// The larger of two elapsed times, as managers and slots combine them; not a number when either
// is one: a maximum that dropped it would hide a damaged record behind the other's value.
double MaxTime(double a, double b) {
  if (std::isnan(a)) return a;
  if (std::isnan(b)) return b;
  return std::max(a, b);
}

// Recursive: a dump that fails reports through fct_Trace, whose own traced scopes come back
// to the manager on the same thread. Built on first use (possibly while the library loads)
// and never destroyed, so that the unload's freeTimeManager still finds it.
std::recursive_mutex& GlobalLock() {
  alignas(std::recursive_mutex) static unsigned char storage[sizeof(std::recursive_mutex)];
  static std::recursive_mutex* lock = new (storage) std::recursive_mutex();
  return *lock;
}

// Runs op on the global manager holding the lock: all threads' scopes go to the one manager,
// whose maps and open-block list are not made for that. Without a manager nothing is done
// and no lock is taken. What op throws (no memory) ends op alone: profiling never fails the
// program it profiles.
template <class Op>
void WithGlobalManager(Op op) {
  if (g_timeManager.load(std::memory_order_acquire) == nullptr) return;
  std::lock_guard<std::recursive_mutex> hold(GlobalLock());
  C_TimeManager* tm = g_timeManager.load(std::memory_order_relaxed);
  if (tm == nullptr) return;
  try {
    op(tm);
  } catch (...) {
  }
}

// A block name formatted into at most 1023 characters; like any C string, it ends at its
// first NUL.
// 1001 when memory runs out for it.
std::string FormatName(const char* fmt, va_list ap) {
  return kvrt::Or1001([&] { return std::string(Kvelo::detail::FormatV(fmt, ap, 1024).c_str()); });
}

}  // namespace

KVELO_C_BEGIN

int InitElapseTime(double* origin, double* cpuOrigin) {
  const double start = LoadMs();  // first, so that a first reading is never before it
  double now = kvplat::ElapsedMs() - start;
  if (origin != nullptr) *origin = now;
  if (cpuOrigin != nullptr) *cpuOrigin = 0.0;
  if (now >= 2147483647.0) return 2147483647;
  if (now <= 0.0) return 0;
  return static_cast<int>(now);
}

double ReturnElapseTime(double origin) {
  const double start = LoadMs();
  return ((kvplat::ElapsedMs() - start) - origin) / 1000.0;
}

float cputim_c(float start) {
  float now = static_cast<float>(kvplat::ProcessCpuMs() / 1000.0);
  if (static_cast<double>(start) > 0.00001) now -= start;
  return now;
}

KVELO_C_END

// ==================================================================== C_Timer

C_Timer::C_Timer(int id)
    : m_id(id),
      m_nbCalls(0),
      m_totalElapsed(0.0),
      m_totalCpu(0.0f),
      m_stepElapsed(0.0),
      m_stepCpu(0.0f),
      m_selfElapsed(0.0),
      m_selfCpu(0.0f),
      m_openDepth(0) {
  m_childCursor = m_children.end();
  m_parentCursor = m_parents.end();
}

C_Timer::C_Timer(C_Timer& other)
    : m_id(other.m_id),
      m_nbCalls(other.m_nbCalls),
      m_totalElapsed(other.m_totalElapsed),
      m_totalCpu(other.m_totalCpu),
      m_stepElapsed(other.m_stepElapsed),
      m_stepCpu(other.m_stepCpu),
      m_selfElapsed(other.m_selfElapsed),
      m_selfCpu(other.m_selfCpu),
      m_openDepth(0) {
  m_childCursor = m_children.end();
  m_parentCursor = m_parents.end();
}

C_Timer::~C_Timer() {}

void C_Timer::Start(double& elapsedOrigin, double&) {
  m_nbCalls = CountSum(m_nbCalls, 1);
  m_stepElapsed = -ReturnElapseTime(elapsedOrigin);
  m_stepCpu = cputim_c(0.0f);
}

void C_Timer::Finish(double& elapsedOrigin, double&) {
  m_stepElapsed += ReturnElapseTime(elapsedOrigin);
  // The difference of two readings: a start reading near 0 must not be taken as "no origin".
  m_stepCpu = cputim_c(0.0f) - m_stepCpu;
  m_totalElapsed += m_stepElapsed;
  m_selfElapsed += m_stepElapsed;
  m_totalCpu += m_stepCpu;
  m_selfCpu += m_stepCpu;
}

void C_Timer::Reset() {
  m_nbCalls = 0;
  m_totalElapsed = 0.0;
  m_totalCpu = 0.0f;
  m_stepElapsed = 0.0;
  m_stepCpu = 0.0f;
  m_selfElapsed = 0.0;
  m_selfCpu = 0.0f;
}

void C_Timer::TotalTime(double& elapsed, double& cpu) {
  elapsed = m_totalElapsed;
  cpu = static_cast<double>(m_totalCpu);
}

void C_Timer::GetStepTime(double& elapsed, double& cpu) {
  elapsed = m_stepElapsed;
  cpu = static_cast<double>(m_stepCpu);
}

void C_Timer::SelfTime(double& elapsed, double& cpu) {
  double e = m_selfElapsed;
  double c = static_cast<double>(m_selfCpu);
  for (const auto& kv : m_children) {
    e -= kv.second.first;
    c -= kv.second.second;
  }
  elapsed = e;
  cpu = c;
}

double C_Timer::GetTimeValue(E_TimeValue which) {
  switch (which) {
    case TOTAL_ELAPSED: return m_totalElapsed;
    case TOTAL_CPU: return static_cast<double>(m_totalCpu);
    case SELF_ELAPSED: return m_selfElapsed;
    case SELF_CPU: return static_cast<double>(m_selfCpu);
    default: return 0.0;
  }
}

void C_Timer::SubmitFromChild(bool graph, int childId, double& elapsed, double& cpu) {
  if (graph) {
    std::pair<double, double>& p = m_children[childId];
    p.first += elapsed;
    p.second += cpu;
  } else {
    m_selfElapsed -= elapsed;
    m_selfCpu -= static_cast<float>(cpu);
  }
}

void C_Timer::AssignToParent(bool graph, int parentId, double& elapsed, double& cpu) {
  if (!graph) return;
  std::pair<double, double>& p = m_parents[parentId];
  p.first += elapsed;
  p.second += cpu;
}

// ==================================================================== C_TimeManager

// The tables are made in the body, so that a want of memory leaves as 1001 and the timers
// made before it are freed.
C_TimeManager::C_TimeManager(bool callGraph, bool reportOpenBlocks)
    : m_nbBlocks(0),
      m_nbSlots(1),
      m_callGraph(callGraph),
      m_reportOpenBlocks(reportOpenBlocks),
      m_slotsMerged(false),
      m_listSlot(-1),
      m_elapsedOrigin(0.0),
      m_cpuOrigin(0.0),
      m_active(true) {
  kvrt::Or1001([&] {
    m_blocks.resize(1);
    m_openBlocks.resize(1);
    m_names.resize(1000);
    m_lastEnded.assign(1, nullptr);
    std::unique_ptr<C_Timer> begin(new C_Timer(-1)), end(new C_Timer(-2));
    m_beginOverhead.reserve(1);
    m_endOverhead.reserve(1);
    m_beginOverhead.push_back(begin.release());
    m_endOverhead.push_back(end.release());
  });
  InitElapseTime(&m_elapsedOrigin, &m_cpuOrigin);
  m_listCursor = m_blocks[0].end();
  m_sortedCursor = m_sorted.end();
}

// A copy that runs out of memory gives back the timers it made, and says so as 1001.
C_TimeManager::C_TimeManager(C_TimeManager& other) try
    : m_nbBlocks(other.m_nbBlocks),
      m_blocks(static_cast<std::size_t>(other.m_nbSlots)),
      m_nbSlots(other.m_nbSlots),
      m_callGraph(other.m_callGraph),
      m_reportOpenBlocks(other.m_reportOpenBlocks),
      m_slotsMerged(other.m_slotsMerged),
      m_openBlocks(static_cast<std::size_t>(other.m_nbSlots)),
      m_listSlot(-1),
      m_names(other.m_names),
      m_lastEnded(static_cast<std::size_t>(other.m_nbSlots), nullptr),
      m_elapsedOrigin(other.m_elapsedOrigin),
      m_cpuOrigin(other.m_cpuOrigin),
      m_active(other.m_active) {
  try {
    m_beginOverhead.reserve(static_cast<std::size_t>(m_nbSlots));
    m_endOverhead.reserve(static_cast<std::size_t>(m_nbSlots));
    for (int s = 0; s < m_nbSlots; ++s) {
      const std::size_t slot = static_cast<std::size_t>(s);
      for (auto& kv : other.m_blocks[slot]) {
        std::unique_ptr<C_Timer> t(new C_Timer(*kv.second));
        m_blocks[slot][kv.first] = t.get();
        t.release();
      }
      std::unique_ptr<C_Timer> begin(new C_Timer(*other.m_beginOverhead[slot]));
      std::unique_ptr<C_Timer> end(new C_Timer(*other.m_endOverhead[slot]));
      m_beginOverhead.push_back(begin.release());
      m_endOverhead.push_back(end.release());
    }
  } catch (...) {
    ClearBlocks();
    for (C_Timer* t : m_beginOverhead) delete t;
    for (C_Timer* t : m_endOverhead) delete t;
    throw;
  }
  m_listCursor = m_blocks[0].end();
  m_sortedCursor = m_sorted.end();
} catch (const std::bad_alloc&) {
  KVELO_THROW(1001);
}

C_TimeManager::~C_TimeManager() {
  if (m_reportOpenBlocks) {
    for (auto& stack : m_openBlocks)
      for (C_Timer* t : stack)
        std::fprintf(stderr, "C_TimeManager : Le Bloc %s n'est pas ferme\n",
                     m_names[static_cast<std::size_t>(t->GetId())].c_str());
  }
  ClearBlocks();
  m_active = false;
  for (C_Timer* t : m_beginOverhead) delete t;
  for (C_Timer* t : m_endOverhead) delete t;
}

C_Timer* C_TimeManager::DoBeginBlock(const char* name) {
  C_Timer* overhead = m_beginOverhead[0];
  overhead->Start(m_elapsedOrigin, m_cpuOrigin);
  std::string key(name != nullptr ? name : "");
  C_Timer* t = m_lastEnded[0];
  if (t == nullptr || m_names[static_cast<std::size_t>(t->GetId())] != key) {
    T_BlockMap& map = m_blocks[0];
    auto it = map.find(key);
    t = (it != map.end()) ? it->second : NewBlock(key);
  }
  m_openBlocks[0].push_front(t);
  // A block begun again while open nests: the count grows, the outermost run is timed.
  if (t->m_openDepth++ == 0)
    t->Start(m_elapsedOrigin, m_cpuOrigin);
  else
    t->m_nbCalls = CountSum(t->m_nbCalls, 1);
  overhead->Finish(m_elapsedOrigin, m_cpuOrigin);
  return t;
}

C_Timer* C_TimeManager::NewBlock(const std::string& name) {
  // While a sorted listing stands, a new block joins it with its value, 0 for every kind of
  // value, among the other zeros in name order: a listing, and so a record, never leaves a
  // block out. Its entry is made first, so that once the block is in the map nothing can fail.
  T_SortedList::node_type entry;
  if (!m_sorted.empty()) {
    T_SortedList one;
    one.emplace(0.0, 0);
    entry = one.extract(one.begin());
  }
  auto listed = [&](int id) {
    if (entry.empty()) return;
    entry.mapped() = id;
    auto range = m_sorted.equal_range(0.0);
    auto at = range.first;
    while (at != range.second && m_names[static_cast<std::size_t>(at->second)] < name) ++at;
    m_sorted.insert(at, std::move(entry));
  };
  // A name keeps its identifier for the manager's life. A record read back may name blocks it
  // lists no timer for: such a name, begun again, gets its timer under the identifier it
  // already has, never a second entry in the table, which would make the next record
  // unreadable. Only then can the table hold more names than the map holds blocks, so the
  // usual case pays no search.
  if (m_blocks[0].size() < static_cast<std::size_t>(m_nbBlocks)) {
    for (int id = 0; id < m_nbBlocks && static_cast<std::size_t>(id) < m_names.size(); ++id) {
      if (m_names[static_cast<std::size_t>(id)] != name) continue;
      std::unique_ptr<C_Timer> t(new C_Timer(id));
      m_blocks[0][name] = t.get();
      listed(id);
      return t.release();
    }
  }
  std::unique_ptr<C_Timer> t(new C_Timer(m_nbBlocks));
  if (static_cast<std::size_t>(m_nbBlocks) >= m_names.size()) m_names.resize(m_names.size() + 1000);
  m_names[static_cast<std::size_t>(m_nbBlocks)] = name;
  m_blocks[0][name] = t.get();
  listed(m_nbBlocks);
  ++m_nbBlocks;
  return t.release();
}

C_Timer* C_TimeManager::DoEndBlock(const char* name) {
  C_Timer* overhead = m_endOverhead[0];
  overhead->Start(m_elapsedOrigin, m_cpuOrigin);
  std::list<C_Timer*>& open = m_openBlocks[0];
  std::string key(name != nullptr ? name : "");
  // The innermost open run of that name leaves the stack; runs opened inside it stay open.
  auto pos = open.begin();
  for (; pos != open.end(); ++pos)
    if (m_names[static_cast<std::size_t>((*pos)->GetId())] == key) break;
  if (pos == open.end()) {
    overhead->Finish(m_elapsedOrigin, m_cpuOrigin);
    return nullptr;
  }
  C_Timer* t = *pos;
  auto outer = open.erase(pos);
  m_lastEnded[0] = t;
  if (--t->m_openDepth > 0) {
    // An inner run of a re-entered block: its time belongs to the outer run still open.
    overhead->Finish(m_elapsedOrigin, m_cpuOrigin);
    return t;
  }
  t->Finish(m_elapsedOrigin, m_cpuOrigin);
  if (outer != open.end()) {
    C_Timer* p = *outer;
    double e = t->m_stepElapsed;
    double c = static_cast<double>(t->m_stepCpu);
    if (m_callGraph) {
      t->AssignToParent(true, p->GetId(), e, c);
      p->SubmitFromChild(true, t->GetId(), e, c);
    } else {
      p->SubmitFromChild(false, t->GetId(), e, c);
    }
  }
  overhead->Finish(m_elapsedOrigin, m_cpuOrigin);
  return t;
}

void C_TimeManager::BeginBlock(char* name) {
  kvrt::Or1001([&] { DoBeginBlock(name); });
}

void C_TimeManager::BeginBlock(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string name;
  try {
    name = FormatName(fmt, ap);
  } catch (...) {
    va_end(ap);
    throw;
  }
  va_end(ap);
  BeginBlock(&name[0]);
}

C_Timer* C_TimeManager::EndBlock(char* name) {
  return kvrt::Or1001([&] { return DoEndBlock(name); });
}

C_Timer* C_TimeManager::EndBlock(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string name;
  try {
    name = FormatName(fmt, ap);
  } catch (...) {
    va_end(ap);
    throw;
  }
  va_end(ap);
  return EndBlock(&name[0]);
}

C_Timer* C_TimeManager::TimerByName(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string name;
  try {
    name = FormatName(fmt, ap);
  } catch (...) {
    va_end(ap);
    throw;
  }
  va_end(ap);
  auto it = m_blocks[0].find(name);
  return it != m_blocks[0].end() ? it->second : nullptr;
}

C_Timer* C_TimeManager::TimerById(int id, std::string& name) {
  kvrt::Or1001([&] { name = m_names[static_cast<std::size_t>(id)]; });
  auto it = m_blocks[0].find(name);
  return it != m_blocks[0].end() ? it->second : nullptr;
}

std::string& C_TimeManager::GetNameById(int id) { return m_names[static_cast<std::size_t>(id)]; }

std::vector<std::string>& C_TimeManager::GetTabNames() { return m_names; }

void C_TimeManager::setCallGraph(bool on) { m_callGraph = on; }

bool C_TimeManager::ContainsCallGraph() { return m_callGraph; }

void C_TimeManager::Reset() {
  for (auto& map : m_blocks)
    for (auto& kv : map) kv.second->Reset();
}

// ==================================================================== call graph and reports

namespace {

// Source named in the trace marks of the binary file's readers and writers.
const char kTraceFile[] = "src/C_TimeManager";

using Kvelo::detail::Format;

int Fail(int line) {
  fct_Trace("aff_lieu", line, kTraceFile);
  return -1;
}

struct CharFree {
  void operator()(char* p) const { kvelomem_free(p, __FILE__, __LINE__); }
};

struct FileCloser {
  void operator()(FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};

// One call-graph step: the entry under the cursor, or -1 at the end.
int GraphEntry(const C_Timer::T_Graph& graph, C_Timer::T_Graph::iterator cursor, double& elapsed, double& cpu) {
  if (cursor == graph.end()) return -1;
  elapsed = cursor->second.first;
  cpu = cursor->second.second;
  return cursor->first;
}

// The two steps of a walk through the children or the parents: to the first entry, or one
// entry on (-1 once the walk has passed the end); each reads the entry it reaches.
int WalkFirst(C_Timer::T_Graph& graph, C_Timer::T_Graph::iterator& cursor, double& elapsed, double& cpu) {
  cursor = graph.begin();
  return GraphEntry(graph, cursor, elapsed, cpu);
}

int WalkNext(C_Timer::T_Graph& graph, C_Timer::T_Graph::iterator& cursor, double& elapsed, double& cpu) {
  if (cursor == graph.end()) return -1;
  ++cursor;
  return GraphEntry(graph, cursor, elapsed, cpu);
}

const std::string& NameOf(const std::vector<std::string>& names, int id) {
  static const std::string none;
  return (id >= 0 && static_cast<std::size_t>(id) < names.size()) ? names[static_cast<std::size_t>(id)] : none;
}

int WriteGraph(FILE* f, const C_Timer::T_Graph& graph) {
  int n = static_cast<int>(graph.size());
  if (BF_fwrite_int(f, &n, 1) != 0) return Fail(__LINE__);
  for (const auto& kv : graph) {
    int id = kv.first;
    double values[2] = {kv.second.first, kv.second.second};
    if (BF_fwrite_int(f, &id, 1) != 0) return Fail(__LINE__);
    if (BF_fwrite_double(f, values, 2) != 0) return Fail(__LINE__);
  }
  return 0;
}

int ReadGraph(FILE* f, C_Timer::T_Graph& graph, int idLimit) {
  int n = 0;
  if (BF_fread_int(f, &n, 1) != 0 || n < 0) return Fail(__LINE__);
  // The writer lists the entries once each in ascending identifier order: a record in another
  // order, or naming an identifier twice, is not one it wrote, and reading it would change it.
  int last = -1;
  for (int i = 0; i < n; ++i) {
    int id = 0;
    double values[2] = {0.0, 0.0};
    if (BF_fread_int(f, &id, 1) != 0 || id < 0 || id >= idLimit || id <= last) return Fail(__LINE__);
    if (BF_fread_double(f, values, 2) != 0) return Fail(__LINE__);
    graph.emplace_hint(graph.end(), id, std::make_pair(values[0], values[1]));
    last = id;
  }
  return 0;
}

}  // namespace

int C_Timer::FirstChild(double& elapsed, double& cpu) { return WalkFirst(m_children, m_childCursor, elapsed, cpu); }

int C_Timer::NextChild(double& elapsed, double& cpu) { return WalkNext(m_children, m_childCursor, elapsed, cpu); }

int C_Timer::FirstParent(double& elapsed, double& cpu) { return WalkFirst(m_parents, m_parentCursor, elapsed, cpu); }

int C_Timer::NextParent(double& elapsed, double& cpu) { return WalkNext(m_parents, m_parentCursor, elapsed, cpu); }

std::string C_Timer::Summary(std::vector<std::string>& names) {
  double se = 0.0, sc = 0.0;
  SelfTime(se, sc);
  const double totalCpu = static_cast<double>(m_totalCpu);
  std::string out = Format("%8d%15lf%15lf%15lf%15lf\n", m_nbCalls, m_totalElapsed, totalCpu, se, sc);
  // Shares of this timer's totals. Nothing of a total of nothing is no share (0 %), which is
  // what a block too short for the clocks shows; a part of a zero total (only records combined
  // or read can hold one) keeps the quotient as it comes.
  auto share = [](double part, double total) { return (part == 0.0 && total == 0.0) ? 0.0 : 100.0 * part / total; };
  auto lines = [&](const T_Graph& graph) {
    for (const auto& kv : graph)
      out += Format("\t %4d %-50.40s        %8lf %% %8lf %%\n", kv.first, NameOf(names, kv.first).c_str(),
                    share(kv.second.first, m_totalElapsed), share(kv.second.second, totalCpu));
  };
  if (!m_children.empty()) {
    out += "-- Childs --\n";
    lines(m_children);
  }
  if (!m_parents.empty()) {
    out += "-- Parents --\n";
    lines(m_parents);
  }
  return out;
}

void C_Timer::FillSummary(std::vector<std::string>& names, std::string& out) {
  kvrt::Or1001([&] { out += Summary(names); });
}

void C_Timer::Print(std::vector<std::string>& names, FILE* f) {
  if (f == nullptr) return;
  std::string out;
  FillSummary(names, out);
  std::fprintf(f, "%s", out.c_str());
}

void C_Timer::ExportCsv(FILE* f, const std::string& name) {
  if (f == nullptr) return;
  double se = 0.0, sc = 0.0;
  SelfTime(se, sc);
  const double ratio = (se == 0.0) ? 100.0 : 100.0 * sc / se;
  std::fprintf(f, "%40s\t%d\t", name.c_str(), m_nbCalls);
  std::fprintf(f, "%lf\t%lf\t", m_totalElapsed, static_cast<double>(m_totalCpu));
  std::fprintf(f, "%lf\t%lf\t%lf %%\n", se, sc, ratio);
}

int C_Timer::Write(FILE* f) {
  int head[2] = {m_id, m_nbCalls};
  if (BF_fwrite_int(f, head, 2) != 0) return Fail(__LINE__);
  if (BF_fwrite_double(f, &m_totalElapsed, 1) != 0) return Fail(__LINE__);
  if (BF_fwrite_float(f, &m_totalCpu, 1) != 0) return Fail(__LINE__);
  if (BF_fwrite_double(f, &m_selfElapsed, 1) != 0) return Fail(__LINE__);
  if (BF_fwrite_float(f, &m_selfCpu, 1) != 0) return Fail(__LINE__);
  if (WriteGraph(f, m_children) != 0) return -1;
  return WriteGraph(f, m_parents);
}

int C_Timer::Read(FILE* f) { return ReadRecord(f, INT_MAX); }

int C_Timer::ReadRecord(FILE* f, int idLimit) {
  // The record is read into temporaries and takes the timer's place only once whole: a cut or
  // damaged record leaves the timer as it was, identifier, counts, times and call graph.
  int head[2] = {0, 0};
  double totalElapsed = 0.0, selfElapsed = 0.0;
  float totalCpu = 0.0f, selfCpu = 0.0f;
  T_Graph children, parents;
  if (BF_fread_int(f, head, 2) != 0) return Fail(__LINE__);
  if (BF_fread_double(f, &totalElapsed, 1) != 0) return Fail(__LINE__);
  if (BF_fread_float(f, &totalCpu, 1) != 0) return Fail(__LINE__);
  if (BF_fread_double(f, &selfElapsed, 1) != 0) return Fail(__LINE__);
  if (BF_fread_float(f, &selfCpu, 1) != 0) return Fail(__LINE__);
  if (ReadGraph(f, children, idLimit) != 0) return -1;
  if (ReadGraph(f, parents, idLimit) != 0) return -1;
  m_id = head[0];
  m_nbCalls = head[1];
  m_totalElapsed = totalElapsed;
  m_totalCpu = totalCpu;
  m_stepElapsed = 0.0;
  m_stepCpu = 0.0f;
  m_selfElapsed = selfElapsed;
  m_selfCpu = selfCpu;
  m_children.swap(children);
  m_parents.swap(parents);
  m_childCursor = m_children.end();
  m_parentCursor = m_parents.end();
  return 0;
}

namespace {

// o's call-graph entries as this timer's: keyed by this manager's identifiers (idOf maps one
// of o's identifiers to one of ours, -1 to leave the entry out). The copy is taken first, so
// that combining a timer with itself reads what it held before.
C_Timer::T_Graph Translated(const C_Timer::T_Graph& theirs, const std::function<int(int)>& idOf) {
  C_Timer::T_Graph out;
  for (const auto& kv : theirs) {
    const int id = idOf ? idOf(kv.first) : kv.first;
    if (id < 0) continue;
    std::pair<double, double>& p = out[id];  // two of theirs on one of ours: added
    p.first += kv.second.first;
    p.second += kv.second.second;
  }
  return out;
}

}  // namespace

namespace {

// A call graph combined into a copy takes the place of the timer's own: the swap cannot fail,
// and the walk cursor stays on the entry it was on.
void InstallGraph(C_Timer::T_Graph& mine, C_Timer::T_Graph::iterator& cursor, C_Timer::T_Graph& fresh) {
  const bool atEntry = cursor != mine.end();
  const int key = atEntry ? cursor->first : 0;
  mine.swap(fresh);
  cursor = atEntry ? mine.find(key) : mine.end();
}

}  // namespace

// Both combinations work on copies of the call graph and touch the timer only once the copies
// are whole: a timer runs out of memory unchanged, never half combined.
void C_Timer::Merge(C_Timer& o, const std::function<int(int)>& idOf) {
  double e = 0.0, c = 0.0;
  o.SelfTime(e, c);
  T_Graph children = m_children;
  T_Graph parents = m_parents;
  auto combine = [](T_Graph& mine, const T_Graph& theirs) {
    for (const auto& kv : theirs) {
      auto it = mine.find(kv.first);
      if (it != mine.end()) {
        it->second.first = MaxTime(it->second.first, kv.second.first);
        it->second.second += kv.second.second;
      } else {
        mine[kv.first] = kv.second;
      }
    }
  };
  combine(children, Translated(o.m_children, idOf));
  combine(parents, Translated(o.m_parents, idOf));
  m_nbCalls = CountSum(m_nbCalls, o.m_nbCalls);
  m_totalElapsed = MaxTime(m_totalElapsed, o.m_totalElapsed);
  m_totalCpu += o.m_totalCpu;
  m_selfElapsed = MaxTime(m_selfElapsed, e);
  m_selfCpu += static_cast<float>(c);
  InstallGraph(m_children, m_childCursor, children);
  InstallGraph(m_parents, m_parentCursor, parents);
}

void C_Timer::Subtract(C_Timer& o, const std::function<int(int)>& idOf) {
  double e = 0.0, c = 0.0;
  o.SelfTime(e, c);
  T_Graph children = m_children;
  T_Graph parents = m_parents;
  auto remove = [](T_Graph& mine, const T_Graph& theirs) {
    for (const auto& kv : theirs) {
      std::pair<double, double>& p = mine[kv.first];  // absent: a new entry at (0, 0)
      p.first -= kv.second.first;
      p.second -= kv.second.second;
    }
  };
  remove(children, Translated(o.m_children, idOf));
  remove(parents, Translated(o.m_parents, idOf));
  m_nbCalls = CountSum(m_nbCalls, -static_cast<long long>(o.m_nbCalls));
  m_totalElapsed -= o.m_totalElapsed;
  m_totalCpu -= o.m_totalCpu;
  m_selfElapsed -= e;
  m_selfCpu -= static_cast<float>(c);
  InstallGraph(m_children, m_childCursor, children);
  InstallGraph(m_parents, m_parentCursor, parents);
}

// -------------------------------------------------------------------- manager listings

namespace {

// The sorted walk from cursor on: the first block that slot 0 still holds, its name in name;
// null at the end.
C_Timer* SortedFrom(const C_TimeManager::T_SortedList& sorted, C_TimeManager::T_SortedList::iterator& cursor,
                    const std::vector<std::string>& names, C_TimeManager::T_BlockMap& blocks, std::string& name) {
  for (; cursor != sorted.end(); ++cursor) {
    name = NameOf(names, cursor->second);
    auto it = blocks.find(name);
    if (it != blocks.end()) return it->second;
  }
  return nullptr;
}

}  // namespace

// The listing's cursors are put back when the name cannot be had: a walk that fails for want of
// memory is where it was.
template <class Walk>
C_Timer* C_TimeManager::KeepCursorsOnFailure(Walk walk) {
  const T_BlockMap::iterator listCursor = m_listCursor;
  const int listSlot = m_listSlot;
  const T_SortedList::iterator sortedCursor = m_sortedCursor;
  try {
    return kvrt::Or1001(walk);
  } catch (...) {
    m_listCursor = listCursor;
    m_listSlot = listSlot;
    m_sortedCursor = sortedCursor;
    throw;
  }
}

C_Timer* C_TimeManager::FirstBlock(std::string& name, int slot) {
  return KeepCursorsOnFailure([&] { return WalkFirstBlock(name, slot); });
}

C_Timer* C_TimeManager::NextBlock(std::string& name, int slot) {
  return KeepCursorsOnFailure([&] { return WalkNextBlock(name, slot); });
}

C_Timer* C_TimeManager::WalkFirstBlock(std::string& name, int slot) {
  if (!m_sorted.empty()) {
    m_sortedCursor = m_sorted.begin();
    return SortedFrom(m_sorted, m_sortedCursor, m_names, m_blocks[0], name);
  }
  if (slot < 0 || slot >= m_nbSlots) {
    m_listSlot = -1;
    return nullptr;
  }
  m_listSlot = slot;
  T_BlockMap& map = m_blocks[static_cast<std::size_t>(slot)];
  m_listCursor = map.begin();
  if (m_listCursor == map.end()) return nullptr;
  name = m_listCursor->first;
  return m_listCursor->second;
}

C_Timer* C_TimeManager::WalkNextBlock(std::string& name, int) {
  if (!m_sorted.empty()) {
    if (m_sortedCursor == m_sorted.end()) return nullptr;
    ++m_sortedCursor;
    return SortedFrom(m_sorted, m_sortedCursor, m_names, m_blocks[0], name);
  }
  if (m_listSlot < 0) return nullptr;
  T_BlockMap& map = m_blocks[static_cast<std::size_t>(m_listSlot)];
  if (m_listCursor == map.end()) return nullptr;
  ++m_listCursor;
  if (m_listCursor == map.end()) return nullptr;
  name = m_listCursor->first;
  return m_listCursor->second;
}

void C_TimeManager::SortBlocks(C_Timer::E_TimeValue which) {
  kvrt::Or1001([&] { SortBlocksAside(which); });
}

void C_TimeManager::SortBlocksAside(C_Timer::E_TimeValue which) {
  SumOverProcs();
  // Built apart and then put in place: no memory leaves the listing as it was.
  T_SortedList sorted;
  // Blocks of equal value are all kept, each after those inserted before it: in name order.
  if (static_cast<int>(which) != 0)
    for (auto& kv : m_blocks[0]) sorted.insert(std::make_pair(kv.second->GetTimeValue(which), kv.second->GetId()));
  m_sorted.swap(sorted);
  m_sortedCursor = m_sorted.end();
}

void C_TimeManager::SumOverProcs() {
  if (m_slotsMerged) return;
  for (int s = 1; s < m_nbSlots; ++s) {
    T_BlockMap& map = m_blocks[static_cast<std::size_t>(s)];
    for (auto& kv : map) {
      auto it = m_blocks[0].find(kv.first);
      if (it != m_blocks[0].end()) {
        it->second->Merge(*kv.second, nullptr);  // the slots share one set of identifiers
        delete kv.second;
      } else {
        m_blocks[0][kv.first] = kv.second;
      }
    }
    map.clear();
    m_openBlocks[static_cast<std::size_t>(s)].clear();
    m_lastEnded[static_cast<std::size_t>(s)] = nullptr;
    if (m_listSlot == s) m_listSlot = -1;
  }
  m_slotsMerged = true;
}

std::function<int(int)> C_TimeManager::IdsFrom(C_TimeManager& other, bool add) {
  // Two managers number their blocks in the order each met them: an identifier of the other
  // manager means a name there, and the same name may have any identifier here.
  auto cache = std::make_shared<std::map<int, int> >();
  return [this, &other, add, cache](int theirs) -> int {
    auto hit = cache->find(theirs);
    if (hit != cache->end()) return hit->second;
    int mine = -1;
    if (theirs >= 0 && theirs < other.m_nbBlocks && static_cast<std::size_t>(theirs) < other.m_names.size()) {
      const std::string& name = other.m_names[static_cast<std::size_t>(theirs)];
      auto it = m_blocks[0].find(name);
      if (it != m_blocks[0].end()) {
        mine = it->second->GetId();
      } else if (add) {
        mine = NewBlock(name)->GetId();
      }
    }
    (*cache)[theirs] = mine;
    return mine;
  };
}

C_TimeManager& C_TimeManager::operator+=(C_TimeManager& other) {
  kvrt::Or1001([&] { Add(other); });
  return *this;
}

C_TimeManager& C_TimeManager::operator-=(C_TimeManager& other) {
  kvrt::Or1001([&] { Remove(other); });
  return *this;
}

void C_TimeManager::Add(C_TimeManager& other) {
  const std::function<int(int)> idOf = IdsFrom(other, true);
  for (int s = 0; s < m_nbSlots && s < other.m_nbSlots; ++s) {
    for (auto& kv : other.m_blocks[static_cast<std::size_t>(s)]) {
      T_BlockMap& mine = m_blocks[static_cast<std::size_t>(s)];
      auto it = mine.find(kv.first);
      C_Timer* t = nullptr;
      if (it != mine.end()) {
        t = it->second;
      } else if (s == 0) {
        t = NewBlock(kv.first);
      } else {
        continue;  // identifiers are given in slot 0 only
      }
      t->Merge(*kv.second, idOf);
    }
  }
}

void C_TimeManager::Remove(C_TimeManager& other) {
  const std::function<int(int)> idOf = IdsFrom(other, false);
  for (int s = 0; s < m_nbSlots && s < other.m_nbSlots; ++s) {
    T_BlockMap& mine = m_blocks[static_cast<std::size_t>(s)];
    for (auto& kv : other.m_blocks[static_cast<std::size_t>(s)]) {
      auto it = mine.find(kv.first);
      if (it != mine.end()) it->second->Subtract(*kv.second, idOf);
    }
  }
}

// -------------------------------------------------------------------- manager reports

void C_TimeManager::FillSummary(std::string& summary) {
  if (!m_active) return;
  kvrt::Or1001([&] { FillSummaryAside(summary); });
}

void C_TimeManager::FillSummaryAside(std::string& summary) {
  SumOverProcs();
  // Built apart and appended whole: out of memory, the caller's text is as it was.
  std::string out;
  const std::string rule = std::string(98, '=') + "\n";
  out += rule;
  out += Format("===== Number of threads :%d\n", m_nbSlots);
  out += Format("===== Number of Blocks : %d", static_cast<int>(m_blocks[0].size()));
  out += std::string(70, ' ') + "||\n";
  out += std::string(41, '=') + "||         Total Time         ||       Self Time       ||\n";
  out += Format("%-30.25s", "Name");
  out += "NbCalls    Elapsed Time      CPU Time    Elapsed Time      CPU Time\n";
  out += rule;
  out += Format("%-30.25s", "C_TimeManager::BeginBlock");
  m_beginOverhead[0]->FillSummary(m_names, out);
  out += Format("%-30.25s", "C_TimeManager::EndBlock");
  m_endOverhead[0]->FillSummary(m_names, out);
  out += rule;
  bool haveClass = false;
  std::string lastClass;
  std::string name;
  for (C_Timer* t = FirstBlock(name, 0); t != nullptr; t = NextBlock(name, 0)) {
    const std::size_t sep = name.find("::");
    if (sep != std::string::npos) {
      const std::string cls = name.substr(0, sep);
      if (!haveClass || cls != lastClass) out += Format("\n===== Class : %-30.25s\n", cls.c_str());
      haveClass = true;
      lastClass = cls;
      out += Format("%-30.25s", name.substr(sep).c_str());
    } else {
      out += Format("%-30.25s", name.c_str());
    }
    t->FillSummary(m_names, out);
  }
  summary += out;
}

void C_TimeManager::Print(FILE* f) {
  if (f == nullptr) return;
  std::string out;
  FillSummary(out);
  std::fprintf(f, "%s", out.c_str());
}

void C_TimeManager::ExportCsvFile(const std::string& fileName) {
  kvrt::Or1001([&] { DoExportCsvFile(fileName); });
}

void C_TimeManager::DoExportCsvFile(const std::string& fileName) {
  if (!m_active) return;
  // A dump cut short by a full disk must not take the place of the last good one.
  kvplat::ReplacingFile out;
  if (!out.Open(fileName.c_str())) return;
  FILE* f = out.Stream();
  std::fprintf(f, "%40s\tNbCalls\tTotalElapTime\tTotalCpuTime\tSelfElapTime\tSelfCpuTime\tRatio\n", "blockname");
  std::string name;
  for (C_Timer* t = FirstBlock(name, 0); t != nullptr; t = NextBlock(name, 0)) t->ExportCsv(f, name);
  m_beginOverhead[0]->ExportCsv(f, "C_TimeManager::BeginBlock");
  m_endOverhead[0]->ExportCsv(f, "C_TimeManager::EndBlock");
  if (!out.Commit()) Fail(__LINE__);
}

int C_TimeManager::Write(FILE* f) {
  return kvrt::Or1001([&] { return DoWrite(f); });
}

int C_TimeManager::DoWrite(FILE* f) {
  int head[2] = {m_nbBlocks, m_callGraph ? 1 : 0};
  if (BF_fwrite_int(f, head, 2) != 0) return Fail(__LINE__);
  for (int id = 0; id < m_nbBlocks; ++id)
    if (BF_fwrite_str(f, m_names[static_cast<std::size_t>(id)].c_str()) != 0) return Fail(__LINE__);
  std::string name;
  int listed = 0;
  for (C_Timer* t = FirstBlock(name, 0); t != nullptr; t = NextBlock(name, 0)) ++listed;
  if (BF_fwrite_int(f, &listed, 1) != 0) return Fail(__LINE__);
  for (C_Timer* t = FirstBlock(name, 0); t != nullptr; t = NextBlock(name, 0)) {
    int id = t->GetId();
    if (BF_fwrite_int(f, &id, 1) != 0) return Fail(__LINE__);
    if (t->Write(f) != 0) return -1;
  }
  if (m_beginOverhead[0]->Write(f) != 0) return -1;
  return m_endOverhead[0]->Write(f);
}

void C_TimeManager::ClearBlocks() {
  for (auto& stack : m_openBlocks) stack.clear();
  for (auto& map : m_blocks) {
    for (auto& kv : map) delete kv.second;
    map.clear();
  }
  for (C_Timer*& t : m_lastEnded) t = nullptr;
  m_listSlot = -1;
  m_sorted.clear();
  m_sortedCursor = m_sorted.end();
  m_nbBlocks = 0;
}

int C_TimeManager::Read(FILE* f) {
  return kvrt::Or1001([&] { return DoRead(f); });
}

int C_TimeManager::DoRead(FILE* f) {
  // Everything is read into temporaries: the statistics held are replaced only by a complete,
  // consistent record, never lost to a cut or damaged file.
  int count = 0;
  if (BF_fread_int(f, &count, 1) != 0) return Fail(__LINE__);
  std::printf("Nombre de blocs : %d\n", count);
  int flag = 0;
  if (BF_fread_int(f, &flag, 1) != 0) return Fail(__LINE__);
  std::printf("CallGraph ? : %d\n", flag);
  // The flag is written as 0 or 1; another value would be read as off and written back as 0.
  if (count < 0 || (flag != 0 && flag != 1)) return Fail(__LINE__);
  // Names are read one by one: a count that the file cannot back ends at its last value.
  std::vector<std::string> names;
  std::set<std::string> seen;
  for (int id = 0; id < count; ++id) {
    // A name is read whole, in pieces (a length merely claimed takes no memory). An empty name,
    // or one holding a zero byte ("ab\0cd", which would be taken for "ab"), is none a writer
    // stores: the writer refuses both.
    int length = 0;
    if (BF_fread_int(f, &length, 1) != 0 || length <= 0) return Fail(__LINE__);
    std::string name;
    char piece[256];
    for (int got = 0; got < length;) {
      const int k = std::min(256, length - got);
      if (BF_fread_char(f, piece, k) != 0) return Fail(__LINE__);
      name.append(piece, static_cast<std::size_t>(k));
      got += k;
    }
    if (name.find('\0') != std::string::npos) return Fail(__LINE__);
    names.push_back(std::move(name));
    if (!seen.insert(names.back()).second) return Fail(__LINE__);  // two blocks of one name
  }
  int listed = 0;
  if (BF_fread_int(f, &listed, 1) != 0 || listed < 0) return Fail(__LINE__);
  std::map<std::string, std::unique_ptr<C_Timer> > blocks;
  for (int i = 0; i < listed; ++i) {
    int id = 0;
    if (BF_fread_int(f, &id, 1) != 0 || id < 0 || id >= count) return Fail(__LINE__);
    const std::string& name = names[static_cast<std::size_t>(id)];
    if (blocks.count(name) != 0) return Fail(__LINE__);
    std::unique_ptr<C_Timer> t(new C_Timer(id));
    if (t->ReadRecord(f, count) != 0) return -1;
    if (t->GetId() != id) return Fail(__LINE__);
    blocks[name] = std::move(t);
  }
  std::unique_ptr<C_Timer> begin(new C_Timer(-1));
  std::unique_ptr<C_Timer> end(new C_Timer(-2));
  if (begin->ReadRecord(f, count) != 0 || end->ReadRecord(f, count) != 0) return -1;

  // The whole record is in: install it. The new block map is made before anything is let go
  // of (making it can run out of memory); from there on nothing can fail.
  T_BlockMap installed;
  for (auto& kv : blocks) installed[kv.first] = kv.second.get();
  ClearBlocks();
  m_blocks[0].swap(installed);
  for (auto& kv : blocks) kv.second.release();
  m_names.swap(names);
  m_nbBlocks = count;
  m_callGraph = (flag == 1);
  delete m_beginOverhead[0];
  m_beginOverhead[0] = begin.release();
  delete m_endOverhead[0];
  m_endOverhead[0] = end.release();
  return 0;
}

int C_TimeManager::Write(const std::string& fileName) {
  if (!m_active) return -1;
  // The record goes to a new file that takes the name once complete: a write that fails part
  // way (full disk) leaves the profile that was there.
  kvplat::ReplacingFile out;
  if (!out.Open(fileName.c_str())) return Fail(__LINE__);
  if (Write(out.Stream()) != 0) return -1;  // out abandons the new file
  if (!out.Commit()) return Fail(__LINE__);
  return 0;
}

int C_TimeManager::Read(const std::string& fileName) {
  std::unique_ptr<FILE, FileCloser> f(std::fopen(fileName.c_str(), "rb"));
  if (!f) return Fail(__LINE__);
  return Read(f.get());
}

// ==================================================================== global manager

C_TimeManager* S_GetTimeManager() { return g_timeManager.load(std::memory_order_acquire); }

KVELO_C_BEGIN

// No memory for a new block: the scope goes unprofiled rather than failing its caller.
void cTimeManagerBeginBlock(const char* name) {
  WithGlobalManager([name](C_TimeManager* tm) { tm->BeginBlock(const_cast<char*>(name)); });
}

// No memory for the name: the run stays open, the scope's caller goes on (a scope's end runs
// in a destructor, where nothing may be thrown).
void cTimeManagerEndBlock(const char* name) {
  WithGlobalManager([name](C_TimeManager* tm) { tm->EndBlock(const_cast<char*>(name)); });
}

void initTimeManager(int n) {
  if (n == 0) return;
  std::lock_guard<std::recursive_mutex> hold(GlobalLock());
  freeTimeManager();
  if (n > 0) {
    try {
      g_timeManager.store(new C_TimeManager(n > 1, false), std::memory_order_release);
    } catch (...) {
      // A manager that cannot be built leaves profiling off.
    }
  }
}

void freeTimeManager(void) {
  std::lock_guard<std::recursive_mutex> hold(GlobalLock());
  C_TimeManager* tm = g_timeManager.exchange(nullptr, std::memory_order_acq_rel);
  delete tm;
}

void dispTimeManager(void) {}

// No memory to build the dump: nothing is written, the earlier files stay.
void dumpTimeManager(int n) {
  WithGlobalManager([n](C_TimeManager* tm) {
    const std::string suffix = (n == 1) ? std::string() : Kvelo::detail::Format("-%d", n);
    tm->ExportCsvFile("TimeManager" + suffix + ".csv");
    tm->Write("TimeManager" + suffix + ".cpu");
  });
}

KVELO_C_END
