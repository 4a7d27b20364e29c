// Tests of the registry of static work records: marks, registration, freeing by mark, the
// hash probing with its wrap-around, the full table and the dump. Tests run in file order:
// the first one needs a process in which no mark was ever opened.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

#include "cmat_support.h"
#include "cmatrix/memstat_internal.h"
#include "matrix.h"
#include "meminfo.h"

using cmat_test::CaptureFile;
using cmat_test::ErrWatch;

namespace {

// Pointer variables to register; consecutive entries are 8 bytes apart, so entries 509
// apart share their home slot (509 * 8 is a multiple of 509).
void* g_vars[1600];

// The address appears once, as "0x" and its hexadecimal digits.
std::string DumpLine(int n, void* var, const char* type, int mark) {
  std::ostringstream line;
  line << " " << n << ".  var = 0x" << std::hex << reinterpret_cast<uintptr_t>(var) << std::dec
       << ", type = " << type << ", mark = " << mark << "\n";
  return line.str();
}

}  // namespace

TEST(MemStat, FreeingBeforeAnyMarkWasOpenedRaisesCode2) {
  ErrWatch w;
  EXPECT_EQ(mem_stat_free_list(3, 0), -1);
  EXPECT_EQ(w.count(), 1);
  EXPECT_EQ(w.last(), 2);
  EXPECT_EQ(mem_stat_show_mark(), 0);
}

TEST(MemStat, MarksOpenAndClose) {
  EXPECT_EQ(mem_stat_mark(4), 4);
  EXPECT_EQ(mem_stat_show_mark(), 4);
  EXPECT_EQ(mem_stat_mark(-3), -1);
  EXPECT_EQ(mem_stat_show_mark(), 0);
  EXPECT_EQ(mem_stat_mark(6), 6);
  EXPECT_EQ(mem_stat_mark(0), 0);
  EXPECT_EQ(mem_stat_show_mark(), 0);
  // Closing through the free operation without freeing anything.
  EXPECT_EQ(mem_stat_mark(2), 2);
  EXPECT_EQ(mem_stat_free_list(0, 0), 0);
  EXPECT_EQ(mem_stat_show_mark(), 0);
  EXPECT_EQ(mem_stat_free_list(-1, 0), -1);
  EXPECT_EQ(mem_stat_free_list(1, 5), -1);
}

TEST(MemStat, RegistrationNeedsAMarkAKnownTypeAndAVariable) {
  void** var = &g_vars[0];
  EXPECT_EQ(mem_stat_reg_list(var, TYPE_VEC, 0), 0);  // no mark: nothing registered
  EXPECT_EQ(kvlm::MemStatSlotOf(var), -1);

  ASSERT_EQ(mem_stat_mark(1), 1);
  EXPECT_EQ(mem_stat_reg_list(var, TYPE_VEC, 7), -1);
  EXPECT_EQ(mem_stat_reg_list(nullptr, TYPE_VEC, 0), -1);
  ErrWatch w;
  EXPECT_EQ(mem_stat_reg_list(var, 16, 0), -1);
  EXPECT_EQ(w.last(), 1);
  EXPECT_EQ(mem_stat_reg_list(var, -1, 0), -1);
  EXPECT_EQ(w.count(), 2);
  EXPECT_EQ(mem_stat_reg_list(var, TYPE_VEC, 1), -1);  // list 1 is not attached
  EXPECT_EQ(kvlm::MemStatSlotOf(var), -1);
  mem_stat_mark(0);
}

TEST(MemStat, FreeingAMarkReleasesOnlyItsRecordsAndNullsTheVariables) {
  int st = 0;
  VEC* a = _LM_v_get("t", 0, 3, __LINE__, "t", &st);
  VEC* b = _LM_v_get("t", 0, 3, __LINE__, "t", &st);
  MAT* c = _LM_m_get("t", 0, 2, 2, __LINE__, "t", &st);
  PERM* d = _LM_px_get("t", 0, 2, __LINE__, "t", &st);

  ASSERT_EQ(mem_stat_mark(1), 1);
  EXPECT_EQ(mem_stat_reg_vars(0, TYPE_VEC, (void**)&a, (void**)nullptr), 1);
  EXPECT_EQ(mem_stat_reg_list((void**)&c, TYPE_MAT, 0), 1);
  ASSERT_EQ(mem_stat_mark(2), 2);
  EXPECT_EQ(mem_stat_reg_vars(0, TYPE_VEC, (void**)&b, (void**)nullptr), 1);
  EXPECT_EQ(mem_stat_reg_list((void**)&d, TYPE_PERM, 0), 2);
  // Registering again, under another mark, keeps the first registration.
  EXPECT_EQ(mem_stat_reg_list((void**)&a, TYPE_VEC, 0), 2);

  EXPECT_EQ(CaptureFile([](FILE* f) { mem_stat_dump(f, 0); }),
            " Array mem_stat_var (list no. 0):\n" + DumpLine(1, &a, "VEC", 1) +
                DumpLine(2, &c, "MAT", 1) + DumpLine(3, &b, "VEC", 2) +
                DumpLine(4, &d, "PERM", 2) + "\n");

  EXPECT_EQ(mem_stat_free_list(1, 0), 0);  // ASan checks that a and c were really freed
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(c, nullptr);
  EXPECT_NE(b, nullptr);
  EXPECT_NE(d, nullptr);
  EXPECT_EQ(mem_stat_show_mark(), 0);
  EXPECT_EQ(kvlm::MemStatSlotOf(&a), -1);
  EXPECT_GE(kvlm::MemStatSlotOf(&b), 0);
  EXPECT_EQ(CaptureFile([](FILE* f) { mem_stat_dump(f, 0); }),
            " Array mem_stat_var (list no. 0):\n" + DumpLine(1, &b, "VEC", 2) +
                DumpLine(2, &d, "PERM", 2) + "\n");

  EXPECT_EQ(mem_stat_free_list(2, 0), 0);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(d, nullptr);
  EXPECT_EQ(CaptureFile([](FILE* f) { mem_stat_dump(f, 0); }),
            " Array mem_stat_var (list no. 0):\n\n");
  EXPECT_EQ(CaptureFile([](FILE* f) { mem_stat_dump(f, 3); }), "");
}

TEST(MemStat, CollidingAddressesProbeForwardAndWrapToSlotZero) {
  int i = 0;
  while (reinterpret_cast<uintptr_t>(&g_vars[i]) % MEM_HASHSIZE != 508) ++i;
  ASSERT_LT(i, MEM_HASHSIZE);
  void** home = &g_vars[i];
  void** second = &g_vars[i + 509];
  void** third = &g_vars[i + 1018];
  ASSERT_EQ(reinterpret_cast<uintptr_t>(second) % MEM_HASHSIZE, 508u);

  ASSERT_EQ(mem_stat_mark(3), 3);
  EXPECT_EQ(mem_stat_reg_list(home, TYPE_VEC, 0), 3);
  EXPECT_EQ(mem_stat_reg_list(second, TYPE_VEC, 0), 3);
  EXPECT_EQ(mem_stat_reg_list(third, TYPE_VEC, 0), 3);
  EXPECT_EQ(kvlm::MemStatSlotOf(home), 508);
  EXPECT_EQ(kvlm::MemStatSlotOf(second), 0);
  EXPECT_EQ(kvlm::MemStatSlotOf(third), 1);
  EXPECT_EQ(kvlm::mem_lookup(second), -1);  // already registered
  EXPECT_EQ(mem_stat_free_list(3, 0), 0);   // the variables hold NULL: nothing to free
  EXPECT_EQ(kvlm::MemStatSlotOf(second), -1);
}

TEST(MemStat, A510thRegistrationFindsTheTableFull) {
  ASSERT_EQ(mem_stat_mark(9), 9);
  for (int k = 0; k < MEM_HASHSIZE; ++k) ASSERT_EQ(mem_stat_reg_list(&g_vars[k], TYPE_VEC, 0), 9);
  ErrWatch w;
  const cmat_test::StdStreams printed = cmat_test::CaptureStdStreams(
      [] { EXPECT_EQ(mem_stat_reg_list(&g_vars[MEM_HASHSIZE], TYPE_VEC, 0), 9); });
  const std::string warn =
      "\n WARNING !!! static memory: mem_stat_var is too small\n"
      " Increase MEM_HASHSIZE in file: meminfo (currently = 509)\n\n";
  EXPECT_EQ(printed.err.substr(0, warn.size()), warn);
  EXPECT_EQ(printed.out.substr(0, warn.size()), warn);
  EXPECT_EQ(w.count(), 1);
  EXPECT_EQ(w.last(), 3);
  EXPECT_EQ(kvlm::MemStatSlotOf(&g_vars[MEM_HASHSIZE]), -1);
  EXPECT_EQ(mem_stat_free_list(9, 0), 0);
  EXPECT_EQ(kvlm::MemStatSlotOf(&g_vars[0]), -1);
}

TEST(MemStat, AlternatingMarksReuseTheRegistrationList) {
  // Each round leaves a hole before a live entry; 300 rounds make 600 entries in all, more
  // than the list holds, while never more than 301 registrations are alive.
  void** scratch = &g_vars[1590];
  for (int k = 0; k < 300; ++k) {
    ASSERT_EQ(mem_stat_mark(1), 1);
    ASSERT_EQ(mem_stat_reg_list(scratch, TYPE_VEC, 0), 1);
    ASSERT_EQ(mem_stat_mark(2), 2);
    ASSERT_EQ(mem_stat_reg_list(&g_vars[k], TYPE_VEC, 0), 2);
    ASSERT_EQ(mem_stat_free_list(1, 0), 0);
  }
  const std::string dump = CaptureFile([](FILE* f) { mem_stat_dump(f, 0); });
  std::string want = " Array mem_stat_var (list no. 0):\n";
  for (int k = 0; k < 300; ++k) want += DumpLine(k + 1, &g_vars[k], "VEC", 2);
  EXPECT_EQ(dump, want + "\n");
  ASSERT_EQ(mem_stat_mark(2), 2);
  EXPECT_EQ(mem_stat_free_list(2, 0), 0);
  EXPECT_EQ(kvlm::MemStatSlotOf(&g_vars[299]), -1);
}
