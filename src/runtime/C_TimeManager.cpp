// C_TimeManager.cpp: profiling blocks and the global time manager fed by the C_Trace
// scopes. Elapsed time comes from a monotonic clock, CPU time from the process's usage.
#include "C_TimeManager.h"

#include "platform/plat_time.h"

#include <cstdarg>
#include <cstdio>
#include <new>

namespace {

// Origin of the elapsed clock: its first reading (at load, when USE_TIMEMANAGER creates the
// global manager), so readings stay small like clock(). Read lazily: the manager is built
// before ordinary static objects are.
double LoadMs() {
  static const double origin = kvplat::ElapsedMs();
  return origin;
}

C_TimeManager* g_timeManager = nullptr;

// A block name formatted into at most 1023 characters.
std::string FormatName(const char* fmt, va_list ap) {
  char buf[1024];
  if (fmt == nullptr) return std::string();
  int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  if (n < 0) return std::string();
  return std::string(buf);
}

}  // namespace

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
  ++m_nbCalls;
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

C_TimeManager::C_TimeManager(bool callGraph, bool reportOpenBlocks)
    : m_nbBlocks(0),
      m_blocks(1),
      m_nbSlots(1),
      m_callGraph(callGraph),
      m_reportOpenBlocks(reportOpenBlocks),
      m_slotsMerged(false),
      m_openBlocks(1),
      m_names(1000),
      m_lastEnded(1, nullptr),
      m_elapsedOrigin(0.0),
      m_cpuOrigin(0.0),
      m_active(true) {
  InitElapseTime(&m_elapsedOrigin, &m_cpuOrigin);
  m_listCursor = m_blocks[0].end();
  m_sortedCursor = m_sorted.end();
  m_beginOverhead.push_back(new C_Timer(-1));
  m_endOverhead.push_back(new C_Timer(-2));
}

C_TimeManager::C_TimeManager(C_TimeManager& other)
    : m_nbBlocks(other.m_nbBlocks),
      m_blocks(static_cast<std::size_t>(other.m_nbSlots)),
      m_nbSlots(other.m_nbSlots),
      m_callGraph(other.m_callGraph),
      m_reportOpenBlocks(other.m_reportOpenBlocks),
      m_slotsMerged(other.m_slotsMerged),
      m_openBlocks(static_cast<std::size_t>(other.m_nbSlots)),
      m_names(other.m_names),
      m_lastEnded(static_cast<std::size_t>(other.m_nbSlots), nullptr),
      m_elapsedOrigin(other.m_elapsedOrigin),
      m_cpuOrigin(other.m_cpuOrigin),
      m_active(other.m_active) {
  for (int s = 0; s < m_nbSlots; ++s) {
    for (auto& kv : other.m_blocks[static_cast<std::size_t>(s)])
      m_blocks[static_cast<std::size_t>(s)][kv.first] = new C_Timer(*kv.second);
    m_beginOverhead.push_back(new C_Timer(*other.m_beginOverhead[static_cast<std::size_t>(s)]));
    m_endOverhead.push_back(new C_Timer(*other.m_endOverhead[static_cast<std::size_t>(s)]));
  }
  m_listCursor = m_blocks[0].end();
  m_sortedCursor = m_sorted.end();
}

C_TimeManager::~C_TimeManager() {
  if (m_reportOpenBlocks) {
    for (auto& stack : m_openBlocks)
      for (C_Timer* t : stack)
        std::fprintf(stderr, "C_TimeManager : Le Bloc %s n'est pas ferme\n",
                     m_names[static_cast<std::size_t>(t->GetId())].c_str());
  }
  for (auto& stack : m_openBlocks) stack.clear();
  for (auto& map : m_blocks) {
    for (auto& kv : map) delete kv.second;
    map.clear();
  }
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
    if (it != map.end()) {
      t = it->second;
    } else {
      t = new C_Timer(m_nbBlocks);
      if (static_cast<std::size_t>(m_nbBlocks) >= m_names.size()) m_names.resize(m_names.size() + 1000);
      m_names[static_cast<std::size_t>(m_nbBlocks)] = key;
      ++m_nbBlocks;
      map[key] = t;
    }
  }
  m_openBlocks[0].push_front(t);
  // A block begun again while open nests: the count grows, the outermost run is timed.
  if (t->m_openDepth++ == 0)
    t->Start(m_elapsedOrigin, m_cpuOrigin);
  else
    ++t->m_nbCalls;
  overhead->Finish(m_elapsedOrigin, m_cpuOrigin);
  return t;
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

void C_TimeManager::BeginBlock(char* name) { DoBeginBlock(name); }

void C_TimeManager::BeginBlock(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string name = FormatName(fmt, ap);
  va_end(ap);
  DoBeginBlock(name.c_str());
}

C_Timer* C_TimeManager::EndBlock(char* name) { return DoEndBlock(name); }

C_Timer* C_TimeManager::EndBlock(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string name = FormatName(fmt, ap);
  va_end(ap);
  return DoEndBlock(name.c_str());
}

C_Timer* C_TimeManager::TimerByName(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string name = FormatName(fmt, ap);
  va_end(ap);
  auto it = m_blocks[0].find(name);
  return it != m_blocks[0].end() ? it->second : nullptr;
}

C_Timer* C_TimeManager::TimerById(int id, std::string& name) {
  name = m_names[static_cast<std::size_t>(id)];
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

// ==================================================================== global manager

void cTimeManagerBeginBlock(const char* name) {
  if (g_timeManager != nullptr) g_timeManager->BeginBlock(const_cast<char*>(name));
}

void cTimeManagerEndBlock(const char* name) {
  if (g_timeManager != nullptr) g_timeManager->EndBlock(const_cast<char*>(name));
}

C_TimeManager* S_GetTimeManager() { return g_timeManager; }

KVELO_C_BEGIN

void initTimeManager(int n) {
  if (n == 0) return;
  freeTimeManager();
  if (n > 0) g_timeManager = new (std::nothrow) C_TimeManager(n > 1, false);
}

void freeTimeManager(void) {
  delete g_timeManager;
  g_timeManager = nullptr;
}

void dispTimeManager(void) {}

KVELO_C_END
