// meminfo.cpp: memory accounting of the C matrix library by record type.
// Five accounting lists (list 0 holds the 16 standard record types from load on), the
// accounting switch, and the count and report operations the allocators and hosts call.
#include <climits>
#include <cstdio>
#include <initializer_list>

#include "cmatrix/lm_status.h"
#include "matrix.h"
#include "meminfo.h"
#include "bvec.h"
#include "zmatrix.h"
#include "vmorse.h"
#include "vstruct.h"

namespace kvlm {

int lm_context = 0;

namespace {

// The tables call each free function with the record as an untyped pointer.
template <class R, int (*FreeFn)(R*)>
int FreeAs(void* p) {
  return FreeFn(static_cast<R*>(p));
}

char kTypeNames[MEM_CONNECT_STD_TYPES][8] = {"MAT",  "BAND", "PERM", "VEC",  "IVEC",  "ITER",
                                             "SPROW", "SPMAT", "ZVEC", "ZMAT", "LVEC", "VECM",
                                             "VECMP", "VSTRUCT", "VECMW", "BVEC"};
char* kTypeNamePtrs[MEM_CONNECT_STD_TYPES] = {
    kTypeNames[0],  kTypeNames[1],  kTypeNames[2],  kTypeNames[3],
    kTypeNames[4],  kTypeNames[5],  kTypeNames[6],  kTypeNames[7],
    kTypeNames[8],  kTypeNames[9],  kTypeNames[10], kTypeNames[11],
    kTypeNames[12], kTypeNames[13], kTypeNames[14], kTypeNames[15]};
// BAND, ITER, SPROW and SPMAT are names only: their entries are the matrix free.
MEM_FREE_FN kFreeFns[MEM_CONNECT_STD_TYPES] = {
    FreeAs<MAT, m_free>,       FreeAs<MAT, m_free>,     FreeAs<PERM, px_free>,
    FreeAs<VEC, v_free>,       FreeAs<IVEC, iv_free>,   FreeAs<MAT, m_free>,
    FreeAs<MAT, m_free>,       FreeAs<MAT, m_free>,     FreeAs<ZVEC, zv_free>,
    FreeAs<ZMAT, zm_free>,     FreeAs<LVEC, lv_free>,   FreeAs<VECM, vecm_free>,
    FreeAs<VECMP, vecmp_free>, FreeAs<VSTRUCT, vs_free>, FreeAs<VECMW, vecmw_free>,
    FreeAs<BVEC, _LM_bv_free>};
MEM_COUNTS kStdCounts[MEM_CONNECT_STD_TYPES];

}  // namespace

MemConnect mem_connect[MEM_CONNECT_MAX_LISTS] = {
    {kTypeNamePtrs, kFreeFns, MEM_CONNECT_STD_TYPES, kStdCounts},
    {nullptr, nullptr, 0, nullptr},
    {nullptr, nullptr, 0, nullptr},
    {nullptr, nullptr, 0, nullptr},
    {nullptr, nullptr, 0, nullptr}};

namespace {

int g_memInfoSwitch = 0;

// The list and type are known and the type can be freed: its counts may be touched.
bool KnownType(int type, int list) {
  if (list < 0 || list >= MEM_CONNECT_MAX_LISTS) return false;
  const MemConnect& mc = mem_connect[list];
  if (type < 0 || static_cast<unsigned>(type) >= mc.type_count) return false;
  return mc.free_fn != nullptr && mc.free_fn[type] != nullptr && mc.counts != nullptr;
}

const char* TypeName(int type, int list) {
  const MemConnect& mc = mem_connect[list];
  if (mc.type_name == nullptr || mc.type_name[type] == nullptr) return "(null)";
  return mc.type_name[type];
}

void WarnNegative(const char* what, int type, int list) {
  const char* name = TypeName(type, list);
  for (FILE* f : {stderr, stdout}) {
    std::fprintf(f, "\n WARNING !! memory info: allocated %s is less than 0\n", what);
    std::fprintf(f, "\t TYPE %s \n\n", name);
  }
}

}  // namespace

void AccountBytes(int type, int64_t oldBytes, int64_t newBytes) {
  if (!mem_info_is_on() || oldBytes == newBytes) return;
  if (oldBytes <= INT_MAX && newBytes <= INT_MAX) {
    mem_bytes_list(type, static_cast<int>(oldBytes), static_cast<int>(newBytes), 0);
    return;
  }
  // Beyond what one int carries: report the change in int-sized steps.
  int64_t delta = newBytes - oldBytes;
  while (delta != 0) {
    int step = static_cast<int>(delta > INT_MAX ? INT_MAX : (delta < -INT_MAX ? -INT_MAX : delta));
    if (step > 0)
      mem_bytes_list(type, 0, step, 0);
    else
      mem_bytes_list(type, -step, 0, 0);
    delta -= step;
  }
}

void AccountRecords(int type, int num) {
  if (mem_info_is_on()) mem_numvar_list(type, num, 0);
}

}  // namespace kvlm

using kvlm::mem_connect;
using kvlm::MemConnect;

extern "C" {

KVELO_API int mem_info_on(int flag) {
  int old = kvlm::g_memInfoSwitch;
  kvlm::g_memInfoSwitch = flag;
  return old;
}

KVELO_API int mem_info_is_on(void) { return kvlm::g_memInfoSwitch; }

KVELO_API int mem_attach_list(int list, int typeCount, char** typeNames, MEM_FREE_FN* freeFns,
                              MEM_COUNTS* counts) {
  if (list < 0 || list >= MEM_CONNECT_MAX_LISTS || typeNames == nullptr || freeFns == nullptr ||
      counts == nullptr || typeCount < 0)
    return -1;
  MemConnect& mc = mem_connect[list];
  if (mc.type_count != 0) {
    // Reported, and the new tables replace the old ones all the same.
    _LM_error("meminfo", 21, __LINE__, "mem_attach_list", 0, 0, "");
  }
  mc.type_name = typeNames;
  mc.free_fn = freeFns;
  mc.type_count = static_cast<unsigned>(typeCount);
  mc.counts = counts;
  return 0;
}

KVELO_API int mem_free_vars(int list) {
  if (list < 0 || list >= MEM_CONNECT_MAX_LISTS) return -1;
  MemConnect& mc = mem_connect[list];
  mc.type_name = nullptr;
  mc.free_fn = nullptr;
  mc.type_count = 0;
  mc.counts = nullptr;
  return 0;
}

KVELO_API int mem_is_list_attached(int list) {
  if (list < 0 || list >= MEM_CONNECT_MAX_LISTS) return 0;
  const MemConnect& mc = mem_connect[list];
  return (mc.type_name != nullptr && mc.free_fn != nullptr && mc.counts != nullptr) ? 1 : 0;
}

KVELO_API void mem_bytes_list(int type, int oldSize, int newSize, int list) {
  if (!kvlm::KnownType(type, list)) return;
  if (oldSize < 0 || newSize < 0) {
    _LM_error("meminfo", 20, __LINE__, "mem_bytes_list", 0, 0, "");
  }
  MEM_COUNTS& c = mem_connect[list].counts[type];
  // Both sizes are ints, so the difference is taken in 64 bits to stay exact.
  c.bytes += static_cast<long long>(newSize) - static_cast<long long>(oldSize);
  if (oldSize > 0 && c.bytes < 0) kvlm::WarnNegative("memory", type, list);
}

KVELO_API void mem_numvar_list(int type, int num, int list) {
  if (!kvlm::KnownType(type, list)) return;
  MEM_COUNTS& c = mem_connect[list].counts[type];
  c.numvar += num;
  if (num < 0 && c.numvar < 0) kvlm::WarnNegative("# of variables", type, list);
}

KVELO_API long long mem_info_bytes(int type, int list) {
  if (!mem_info_is_on() || !kvlm::KnownType(type, list)) return 0;
  return mem_connect[list].counts[type].bytes;
}

KVELO_API int mem_info_numvar(int type, int list) {
  if (!mem_info_is_on() || !kvlm::KnownType(type, list)) return 0;
  return mem_connect[list].counts[type].numvar;
}

KVELO_API void mem_info_file(FILE* fp, int list) {
  if (fp == nullptr || !mem_info_is_on() || list < 0 || list >= MEM_CONNECT_MAX_LISTS) return;
  const MemConnect& mc = mem_connect[list];
  if (list == 0)
    std::fprintf(fp, " MEMORY INFORMATION (standard types):\n");
  else
    std::fprintf(fp, " MEMORY INFORMATION (list no. %d):\n", list);
  long long totalBytes = 0;
  int totalVars = 0;
  if (mc.type_name != nullptr && mc.counts != nullptr) {
    for (unsigned t = 0; t < mc.type_count; ++t) {
      if (mc.type_name[t] == nullptr) continue;
      const MEM_COUNTS& c = mc.counts[t];
      std::fprintf(fp, " type %-7s %10lld alloc. byte%c  %6d alloc. variable%c\n", mc.type_name[t],
                   c.bytes, c.bytes == 1 ? ' ' : 's', c.numvar, c.numvar == 1 ? ' ' : 's');
      totalBytes += c.bytes;
      totalVars += c.numvar;
    }
  }
  std::fprintf(fp, " %-12s %10lld alloc. byte%c  %6d alloc. variable%c\n\n", "total:", totalBytes,
               totalBytes == 1 ? ' ' : 's', totalVars, totalVars == 1 ? ' ' : 's');
}

KVELO_API void mem_dump_list(FILE* fp, int list) {
  if (fp == nullptr || list < 0 || list >= MEM_CONNECT_MAX_LISTS) return;
  const MemConnect& mc = mem_connect[list];
  std::fprintf(fp, " %15s[%d]:\n", "CONTENTS OF mem_connect", list);
  std::fprintf(fp, " %-7s   %-12s   %-9s   %s\n", "name of", "alloc.", "# alloc.", "address");
  std::fprintf(fp, " %-7s   %-12s   %-9s   %s\n", " type", "bytes", "variables", "of *_free()");
  if (mc.type_name != nullptr && mc.free_fn != nullptr && mc.counts != nullptr) {
    for (unsigned t = 0; t < mc.type_count; ++t) {
      std::fprintf(fp, "  %-7s   %-12lld   %-9d   %p\n",
                   mc.type_name[t] ? mc.type_name[t] : "(null)", mc.counts[t].bytes,
                   mc.counts[t].numvar, reinterpret_cast<void*>(mc.free_fn[t]));
    }
  }
  std::fprintf(fp, "\n");
}

}  // extern "C"
