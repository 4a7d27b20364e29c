// C_CallStack.cpp: per-thread call stacks, scope traces, and the library's load-time
// start-up and exit order (call-stack collection first, message-tool registry second,
// torn down in reverse).
#include "C_CallStack.h"

#include "C_MessageTool.h"
#include "C_TimeManager.h"
#include "platform/plat_thread.h"
#include "runtime/int_text.h"
#include "runtime/msgtool_registry.h"
#include "runtime/no_memory.h"
#include "runtime/source_name.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace Kvelo {

namespace {

// Copies src into a field of width size, cut to size - 1 characters; always terminated.
void CopyField(char* dst, std::size_t size, const char* src) {
  std::size_t n = 0;
  if (src != nullptr) {
    while (n + 1 < size && src[n] != '\0') {
      dst[n] = src[n];
      ++n;
    }
  }
  std::memset(dst + n, 0, size - n);
}

// Frees a thread's stacks when the thread ends (the slots themselves have no destructor): one
// record per collection that made this thread a stack, so that a collection of a caller's own
// neither takes over nor loses the record of the process-wide one.
struct ReapRecord {
  const C_StackCollection* owner;
  unsigned key;
  C_CallStack* stack;
};
struct StackReaper {
  std::vector<ReapRecord> records;
  ~StackReaper();
};

thread_local StackReaper t_reaper;
thread_local bool t_reaped = false;  // trivially destructible: valid after t_reaper is gone

}  // namespace

// ---------------------------------------------------------------- C_Entry

C_Entry::C_Entry() : line(0) {
  std::memset(file, 0, sizeof file);
  std::memset(function, 0, sizeof function);
}

C_Entry::C_Entry(const char* functionName, const char* fileName, int lineNumber) {
  Assign(functionName, fileName, lineNumber);
}

void C_Entry::Assign(const char* functionName, const char* fileName, int lineNumber) {
  CopyField(function, sizeof function, functionName);
  // Every entry, and so every message, exception and listing, names its source the library's
  // way ("src/C_WorkSpace"), whatever path the build gave __FILE__.
  std::memset(file, 0, sizeof file);
  kvrt::SourceName(fileName, file, sizeof file);
  line = lineNumber;
}

// ---------------------------------------------------------------- C_CallStack

C_CallStack::C_CallStack() : m_cursor(0) {
  kvrt::Or1001([&] { m_entries.reserve(30); });
}

C_CallStack::C_CallStack(std::size_t room) : m_cursor(0) {
  if (room > 0) kvrt::Or1001([&] { m_entries.reserve(room); });
}

C_CallStack::C_CallStack(const C_CallStack& other) : m_cursor(other.m_cursor) {
  kvrt::Or1001([&] { m_entries = other.m_entries; });
}

// The entries are copied aside first: a copy that runs out of memory leaves this stack whole.
C_CallStack& C_CallStack::operator=(const C_CallStack& other) {
  if (this != &other) {
    std::vector<C_Entry> copy = kvrt::Or1001([&] { return std::vector<C_Entry>(other.m_entries); });
    m_entries.swap(copy);
    m_cursor = other.m_cursor;
  }
  return *this;
}

C_CallStack::C_CallStack(C_CallStack&& other) noexcept
    : m_entries(std::move(other.m_entries)), m_cursor(other.m_cursor) {
  other.m_entries.clear();
  other.m_cursor = 0;
}

C_CallStack& C_CallStack::operator=(C_CallStack&& other) noexcept {
  if (this != &other) {
    m_entries.swap(other.m_entries);
    m_cursor = other.m_cursor;
    other.m_entries.clear();
    other.m_cursor = 0;
  }
  return *this;
}

C_CallStack::~C_CallStack() {}

void C_CallStack::Push(const C_Entry& e) {
  kvrt::Or1001([&] { m_entries.push_back(e); });
  m_cursor = m_entries.size();
  cTimeManagerBeginBlock(m_entries.back().function);
}

void C_CallStack::Pop() {
  if (m_entries.empty()) return;
  cTimeManagerEndBlock(m_entries.back().function);
  m_entries.pop_back();
  m_cursor = m_entries.size();
}

void C_CallStack::Clear() {
  if (m_cursor < m_entries.size()) m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(m_cursor), m_entries.end());
}

// ---------------------------------------------------------------- C_StackCollection

C_StackCollection::C_StackCollection() : m_slot(0), m_valid(false) {
  kvplat::TlsSlot slot = kvplat::TlsAlloc();
  m_slot = slot.key;
  m_valid = slot.valid;
  const char* use = std::getenv("USE_TIMEMANAGER");
  if (use != nullptr) initTimeManager(kvrt::IntOrZero(use));
}

C_StackCollection::~C_StackCollection() {
  if (m_valid) {
    // The stack this collection made for the calling thread goes with it; other threads free
    // theirs when they end. (Once this thread's records are gone, its stacks are already freed.)
    if (!t_reaped) {
      std::vector<ReapRecord>& records = t_reaper.records;
      for (std::size_t i = records.size(); i-- > 0;) {
        if (records[i].owner != this) continue;
        kvplat::TlsSlot slot{m_slot, true};
        if (kvplat::TlsGet(slot) == records[i].stack) kvplat::TlsSet(slot, nullptr);
        delete records[i].stack;
        records.erase(records.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
    kvplat::TlsSlot slot{m_slot, true};
    kvplat::TlsFree(slot);
    m_valid = false;
  }
  freeTimeManager();
}

// The stacks of last resort: one per thread that asks when no thread-local slot can be had
// (allocation refused, library unloading) or after its own stack was freed at its end. Each
// thread gets its own, so that threads ending at once never share one; they are chained on a
// list that is never freed, so late scopes (static and thread-local destructors) stay safe
// and the stacks stay reachable.
namespace {
struct LateStackNode {
  C_CallStack stack{0};
  LateStackNode* next = nullptr;
};
std::atomic<LateStackNode*> g_lateStacks{nullptr};
thread_local C_CallStack* t_lateStack = nullptr;  // trivially destructible: valid to the end
}  // namespace

static C_CallStack& LateStack() {
  if (t_lateStack != nullptr) return *t_lateStack;
  LateStackNode* node = new (std::nothrow) LateStackNode();
  if (node == nullptr) KVELO_THROW(1001);  // as for a thread's first stack
  node->next = g_lateStacks.load(std::memory_order_relaxed);
  while (!g_lateStacks.compare_exchange_weak(node->next, node, std::memory_order_release,
                                             std::memory_order_relaxed)) {
  }
  t_lateStack = &node->stack;
  return *t_lateStack;
}

C_CallStack& C_StackCollection::GetCurrentCallStack() {
  if (!m_valid || t_reaped) return LateStack();
  kvplat::TlsSlot slot{m_slot, true};
  void* v = kvplat::TlsGet(slot);
  if (v != nullptr) return *static_cast<C_CallStack*>(v);
  // Room for the record first: once the stack is in the slot, keeping its record cannot fail.
  std::vector<ReapRecord>& records = t_reaper.records;
  kvrt::Or1001([&] { records.reserve(records.size() + 1); });
  C_CallStack* created = kvrt::Or1001([] { return new C_CallStack(); });
  if (!kvplat::TlsSet(slot, created)) {
    delete created;
    return LateStack();
  }
  records.push_back(ReapRecord{this, m_slot, created});
  return *created;
}

StackReaper::~StackReaper() {
  t_reaped = true;
  for (const ReapRecord& r : records) {
    // Leave no dangling pointer for code that still runs on this thread: from now on it uses
    // the stack of last resort. Only the process-wide collection's slot is known to be alive
    // here; a caller's own collection may have freed its slot already.
    if (r.owner == &GlobalCallstackCollection() && GlobalCallstackCollection().IsValid()) {
      kvplat::TlsSlot slot{r.key, true};
      if (kvplat::TlsGet(slot) == r.stack) kvplat::TlsSet(slot, nullptr);
    }
    delete r.stack;
  }
  records.clear();
}

// ---------------------------------------------------------------- C_Trace

// A scope that cannot be recorded for want of memory (a thread's first stack, or a stack that
// must grow) goes untraced: tracing never makes the traced operation fail.
static bool PushScope(const char* function, const char* file, int line) noexcept {
  try {
    GlobalCallstackCollection().GetCurrentCallStack().Push(C_Entry(function, file, line));
    return true;
  } catch (...) {
    return false;
  }
}

C_Trace::C_Trace(const char* function, const char* file, int line) : m_onExit(nullptr) {
  m_pushed = PushScope(function, file, line);
}

C_Trace::C_Trace(const char* function, const char* file, int line, Callback onEnter, Callback onExit)
    : m_onExit(onExit) {
  m_pushed = PushScope(function, file, line);
  if (m_pushed && onEnter != nullptr) onEnter(const_cast<char*>(function));
}

C_Trace::~C_Trace() {
  if (!m_pushed) return;
  C_CallStack* s = nullptr;
  try {
    s = &GlobalCallstackCollection().GetCurrentCallStack();
  } catch (...) {
    return;  // the thread's stack is gone and no other can be had: nothing left to pop
  }
  if (m_onExit != nullptr) {
    const C_Entry* top = s->Top();
    if (top != nullptr) {
      char name[C_Entry::FUNCTION_SIZE];
      std::memcpy(name, top->function, sizeof name);
      m_onExit(name);
    }
  }
  s->Pop();
}

// ---------------------------------------------------------------- load-time start-up

namespace {

// The registry's destruction deletes every tool; each tool's destructor removes its own
// entry, so the walk goes over a copy.
struct RegistryHolder {
  detail::ToolRegistry map;
  bool alive = true;
  ~RegistryHolder() {
    std::vector<C_MessageTool*> tools;
    {
      std::lock_guard<std::recursive_mutex> hold(detail::RegistryLock());
      for (auto& kv : map) tools.push_back(kv.second);
    }
    for (C_MessageTool* t : tools) delete t;
    std::lock_guard<std::recursive_mutex> hold(detail::RegistryLock());
    map.clear();
    alive = false;
  }
};

// Built before any other static object of the library, in this order, and destroyed in
// reverse: tools go first, then the stacks' slot and the global time manager.
__attribute__((init_priority(200))) C_StackCollection g_collection;
__attribute__((init_priority(200))) RegistryHolder g_registry;

}  // namespace

C_StackCollection& GlobalCallstackCollection() { return g_collection; }

namespace detail {
ToolRegistry* MessageToolRegistry() { return g_registry.alive ? &g_registry.map : nullptr; }
}  // namespace detail

}  // namespace Kvelo
