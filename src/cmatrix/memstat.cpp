// memstat.cpp: registry of the static work records of the C matrix library.
// Operations that keep a scratch record in a static pointer register that pointer here
// under the current mark; freeing a mark releases every such record at once.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "cmatrix/lm_status.h"
#include "cmatrix/memstat_internal.h"
#include "meminfo.h"

namespace kvlm {
namespace {

struct StatSlot {
  void** var;  // the registered pointer variable (not the record); null when empty
  int type;
  int mark;
};

StatSlot g_slots[MEM_HASHSIZE];
// Registrations in order, as slot number + 1 (0: removed). Holes are compacted when the
// list fills up, so it never needs more entries than there are slots.
int g_regList[MEM_HASHSIZE];
int g_regCount = 0;
int g_currentMark = 0;
int g_marksOpened = 0;

constexpr int kAlreadyRegistered = -1;
constexpr int kTableFull = -2;

}  // namespace

// The slot for var: an empty slot to fill (>= 0), kAlreadyRegistered or kTableFull.
int mem_lookup(const void* var) {
  const int h = static_cast<int>(reinterpret_cast<uintptr_t>(var) % MEM_HASHSIZE);
  for (int k = 0; k < MEM_HASHSIZE; ++k) {
    const int s = (h + k) % MEM_HASHSIZE;  // h, h+1, ..., 508, then 0 .. h-1
    if (g_slots[s].var == var) return kAlreadyRegistered;
    if (g_slots[s].var == nullptr) return s;
  }
  for (FILE* f : {stderr, stdout}) {
    std::fprintf(f, "\n WARNING !!! static memory: mem_stat_var is too small\n");
    std::fprintf(f, " Increase MEM_HASHSIZE in file: %s (currently = %d)\n\n", "meminfo",
                 MEM_HASHSIZE);
  }
  _LM_error("memstat", 3, __LINE__, "mem_lookup", 0, 0, "");
  return kTableFull;
}

int MemStatSlotOf(const void* var) {
  if (var == nullptr) return -1;
  for (int s = 0; s < MEM_HASHSIZE; ++s)
    if (g_slots[s].var == var) return s;
  return -1;
}

namespace {

void CompactRegList() {
  int w = 0;
  for (int r = 0; r < g_regCount; ++r)
    if (g_regList[r] != 0) g_regList[w++] = g_regList[r];
  g_regCount = w;
}

bool HasFreeTable(int list) {
  return list >= 0 && list < MEM_CONNECT_MAX_LISTS && mem_connect[list].free_fn != nullptr;
}

// The list's tables have a free function for records of type.
bool Freeable(const MemConnect& mc, int type) {
  return type >= 0 && static_cast<unsigned>(type) < mc.type_count && mc.free_fn != nullptr &&
         mc.free_fn[type] != nullptr;
}

}  // namespace
}  // namespace kvlm

using kvlm::mem_connect;

extern "C" {

KVELO_API int mem_stat_mark(int mark) {
  if (mark < 0) {
    kvlm::g_currentMark = 0;
    return -1;
  }
  if (mark == 0) {
    kvlm::g_currentMark = 0;
    return 0;
  }
  ++kvlm::g_marksOpened;
  kvlm::g_currentMark = mark;
  return mark;
}

KVELO_API int mem_stat_show_mark(void) { return kvlm::g_currentMark; }

KVELO_API int mem_stat_reg_list(void** var, int type, int list) {
  using namespace kvlm;
  if (list < 0 || list >= MEM_CONNECT_MAX_LISTS) return -1;
  if (g_currentMark == 0) return 0;
  if (var == nullptr) return -1;
  const MemConnect& mc = mem_connect[list];
  if (!Freeable(mc, type)) {
    _LM_error("memstat", 1, __LINE__, "mem_stat_reg_list", 0, 0, "");
    return -1;
  }
  const int slot = mem_lookup(var);
  if (slot < 0) return g_currentMark;
  if (g_regCount == MEM_HASHSIZE) CompactRegList();  // a free slot means a hole exists
  g_slots[slot].var = var;
  g_slots[slot].type = type;
  g_slots[slot].mark = g_currentMark;
  g_regList[g_regCount++] = slot + 1;
  return g_currentMark;
}

KVELO_API int mem_stat_reg_vars(int list, int type, ...) {
  va_list ap;
  va_start(ap, type);
  int count = 0;
  for (void** var = va_arg(ap, void**); var != nullptr; var = va_arg(ap, void**)) {
    mem_stat_reg_list(var, type, list);
    ++count;
  }
  va_end(ap);
  return count;
}

KVELO_API int mem_stat_free_list(int mark, int list) {
  using namespace kvlm;
  if (!HasFreeTable(list)) return -1;
  if (mark < 0) {
    g_currentMark = 0;
    return -1;
  }
  if (mark == 0) {
    g_currentMark = 0;
    return 0;
  }
  if (g_marksOpened <= 0) {
    _LM_error("memstat", 2, __LINE__, "mem_stat_free", 0, 0, "");
    return -1;
  }
  const MemConnect& mc = mem_connect[list];
  for (int r = 0; r < g_regCount; ++r) {
    const int e = g_regList[r];
    if (e == 0) continue;
    StatSlot& s = g_slots[e - 1];
    if (s.mark != mark) continue;
    if (Freeable(mc, s.type))
      mc.free_fn[s.type](*s.var);
    else
      _LM_error("memstat", 1, __LINE__, "mem_stat_free", 0, 0, "");
    *s.var = nullptr;
    s.var = nullptr;
    s.mark = 0;
    g_regList[r] = 0;
  }
  while (g_regCount > 0 && g_regList[g_regCount - 1] == 0) --g_regCount;
  --g_marksOpened;
  g_currentMark = 0;
  return 0;
}

KVELO_API void mem_stat_dump(FILE* fp, int list) {
  using namespace kvlm;
  if (fp == nullptr || !HasFreeTable(list)) return;
  const MemConnect& mc = mem_connect[list];
  std::fprintf(fp, " Array mem_stat_var (list no. %d):\n", list);
  long n = 0;
  for (int r = 0; r < g_regCount; ++r) {
    const int e = g_regList[r];
    if (e == 0) continue;
    const StatSlot& s = g_slots[e - 1];
    const bool known =
        Freeable(mc, s.type) && mc.type_name != nullptr && mc.type_name[s.type] != nullptr;
    std::fprintf(fp, " %ld.  var = 0x%llx, type = %s, mark = %d\n", ++n, AddressBits(s.var),
                 known ? mc.type_name[s.type] : "???", s.mark);
  }
  std::fprintf(fp, "\n");
}

}  // extern "C"
