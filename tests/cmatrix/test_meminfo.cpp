// Tests of the memory accounting of the C matrix library: the switch, the counts that the
// VEC, MAT and PERM allocators report, the listing and dump texts, the negative-count
// warnings and the attachment of accounting lists. Tests run in file order.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cmat_support.h"
#include "cmatrix/lm_status.h"
#include "matrix.h"
#include "meminfo.h"

using cmat_test::CaptureFile;
using cmat_test::ErrWatch;

namespace {

int g_freed = 0;
int CountingFree(void*) {
  ++g_freed;
  return 0;
}

// Byte and record counts of the standard types must be back to zero after each test.
void ExpectAllZero() {
  for (int t = 0; t < MEM_CONNECT_STD_TYPES; ++t) {
    EXPECT_EQ(mem_info_bytes(t, 0), 0) << "type " << t;
    EXPECT_EQ(mem_info_numvar(t, 0), 0) << "type " << t;
  }
}

}  // namespace

TEST(MemInfo, SwitchStartsOffAndReturnsItsPreviousValue) {
  EXPECT_EQ(mem_info_is_on(), 0);
  EXPECT_EQ(mem_info_on(1), 0);
  EXPECT_EQ(mem_info_is_on(), 1);
  EXPECT_EQ(mem_info_on(0), 1);
  EXPECT_EQ(mem_info_on(7), 0);
  EXPECT_EQ(mem_info_is_on(), 7);  // any non-zero value means on
  EXPECT_EQ(mem_info_on(0), 7);
}

TEST(MemInfo, WithAccountingOffNothingIsCountedOrListed) {
  int st = 0;
  VEC* v = _LM_v_get("t", 0, 5, __LINE__, "t", &st);
  EXPECT_EQ(mem_info_bytes(TYPE_VEC, 0), 0);
  EXPECT_EQ(CaptureFile([](FILE* f) { mem_info_file(f, 0); }), "");
  v_free(v);
  mem_info_on(1);
  ExpectAllZero();  // nothing was counted while off
  mem_info_on(0);
  // The dump ignores the switch.
  std::string dump = CaptureFile([](FILE* f) { mem_dump_list(f, 0); });
  EXPECT_EQ(dump.rfind(" CONTENTS OF mem_connect[0]:\n", 0), 0u) << dump;
}

TEST(MemInfo, ListingOfOneCountedVector) {
  ASSERT_EQ(sizeof(VEC), 16u);
  int st = 0;
  mem_info_on(1);
  VEC* v = _LM_v_get("t", 0, 5, __LINE__, "t", &st);
  EXPECT_EQ(mem_info_bytes(TYPE_VEC, 0), static_cast<long long>(sizeof(VEC)) + 40);
  EXPECT_EQ(mem_info_numvar(TYPE_VEC, 0), 1);
  const std::string text = CaptureFile([](FILE* f) { mem_info_file(f, 0); });
  const char* names[] = {"MAT",  "BAND", "PERM", "VEC",  "IVEC",  "ITER",    "SPROW", "SPMAT",
                         "ZVEC", "ZMAT", "LVEC", "VECM", "VECMP", "VSTRUCT", "VECMW", "BVEC"};
  std::string want = " MEMORY INFORMATION (standard types):\n";
  for (const char* name : names) {
    if (std::string(name) == "VEC") {
      want += " type VEC             56 alloc. bytes       1 alloc. variable \n";
    } else {
      std::string padded = name;
      padded.resize(7, ' ');
      want += " type " + padded + "          0 alloc. bytes       0 alloc. variables\n";
    }
  }
  want += " total:               56 alloc. bytes       1 alloc. variable \n\n";
  EXPECT_EQ(text, want);
  v_free(v);
  ExpectAllZero();
  mem_info_on(0);
}

TEST(MemInfo, AllocatorsReportEveryBlockAndFreesReturnToZero) {
  int st = 0;
  mem_info_on(1);
  const long long ptr = sizeof(double*);

  VEC* v = _LM_v_get("t", 0, 2, __LINE__, "t", &st);
  v = _LM_v_resize("t", 0, v, 6, __LINE__, "t", &st);
  EXPECT_EQ(mem_info_bytes(TYPE_VEC, 0), static_cast<long long>(sizeof(VEC)) + 48);
  v = _LM_v_resize("t", 0, v, 3, __LINE__, "t", &st);  // capacities never shrink
  EXPECT_EQ(mem_info_bytes(TYPE_VEC, 0), static_cast<long long>(sizeof(VEC)) + 48);

  MAT* A = _LM_m_get("t", 0, 2, 3, __LINE__, "t", &st);
  EXPECT_EQ(mem_info_bytes(TYPE_MAT, 0), static_cast<long long>(sizeof(MAT)) + 48 + 2 * ptr);
  A = _LM_m_resize("t", 0, A, 3, 5, __LINE__, "t", &st);
  EXPECT_EQ(mem_info_bytes(TYPE_MAT, 0), static_cast<long long>(sizeof(MAT)) + 120 + 3 * ptr);
  A = _LM_m_resize("t", 0, A, 1, 1, __LINE__, "t", &st);
  EXPECT_EQ(mem_info_bytes(TYPE_MAT, 0), static_cast<long long>(sizeof(MAT)) + 120 + 3 * ptr);
  EXPECT_EQ(mem_info_numvar(TYPE_MAT, 0), 1);

  PERM* p = _LM_px_get("t", 0, 3, __LINE__, "t", &st);
  p = _LM_px_resize("t", 0, p, 10, __LINE__, "t", &st);
  EXPECT_EQ(mem_info_bytes(TYPE_PERM, 0), static_cast<long long>(sizeof(PERM)) + 40);

  MAT* B = _LM_m_resize("t", 0, nullptr, 0, 0, __LINE__, "t", &st);  // a new 1 x 1 matrix
  EXPECT_EQ(mem_info_numvar(TYPE_MAT, 0), 2);

  v_free(v);
  m_free(A);
  m_free(B);
  px_free(p);
  ExpectAllZero();
  mem_info_on(0);
}

TEST(MemInfo, ViewHeadersAreNotCountedAsRecordsWhenFreed) {
  int st = 0;
  VEC* owner = _LM_v_get("t", 0, 3, __LINE__, "t", &st);
  mem_info_on(1);
  // What the sub-vector operation reports for a new view header: its bytes, no record.
  VEC* view = static_cast<VEC*>(kvelomem_calloc(1, sizeof(VEC), "view", 0, __FILE__, __LINE__));
  view->dim = 2;
  view->ve = owner->ve;
  mem_bytes_list(TYPE_VEC, 0, sizeof(VEC), 0);
  EXPECT_EQ(v_free(view), 0);
  ExpectAllZero();
  mem_info_on(0);
  v_free(owner);
}

TEST(MemInfo, FreeingUncountedRecordsWarnsOnBothStreams) {
  int st = 0;
  VEC* v = _LM_v_get("t", 0, 2, __LINE__, "t", &st);  // made while accounting is off
  mem_info_on(1);
  const cmat_test::StdStreams printed = cmat_test::CaptureStdStreams([&] { v_free(v); });
  const std::string want =
      "\n WARNING !! memory info: allocated memory is less than 0\n\t TYPE VEC \n\n"
      "\n WARNING !! memory info: allocated # of variables is less than 0\n\t TYPE VEC \n\n";
  EXPECT_EQ(printed.err, want);
  EXPECT_EQ(printed.out, want);
  // Put the counts back by hand: nothing in the library corrects them.
  mem_bytes_list(TYPE_VEC, 0, static_cast<int>(sizeof(VEC)) + 16, 0);
  mem_numvar_list(TYPE_VEC, 1, 0);
  ExpectAllZero();
  mem_info_on(0);
}

TEST(MemInfo, CountGuardsAndNegativeSizes) {
  mem_info_on(1);
  // Unknown lists and types: no effect, no error.
  {
    ErrWatch w;
    mem_bytes_list(TYPE_VEC, 0, 100, 5);
    mem_bytes_list(16, 0, 100, 0);
    mem_bytes_list(-1, 0, 100, 0);
    mem_numvar_list(16, 1, 0);
    mem_numvar_list(TYPE_VEC, 1, -1);
    EXPECT_EQ(w.count(), 0);
  }
  ExpectAllZero();
  EXPECT_EQ(mem_info_bytes(TYPE_VEC, 5), 0);
  EXPECT_EQ(mem_info_numvar(-1, 0), 0);
  EXPECT_EQ(mem_info_numvar(TYPE_BVEC + 1, 0), 0);
  {
    // A negative size raises code 20 and the difference is still added.
    ErrWatch w;
    mem_bytes_list(TYPE_PERM, -5, 10, 0);
    EXPECT_EQ(w.count(), 1);
    EXPECT_EQ(w.last(), 20);
    EXPECT_EQ(_LM_err_status, -1);
    EXPECT_EQ(mem_info_bytes(TYPE_PERM, 0), 15);
    mem_bytes_list(TYPE_PERM, 15, 0, 0);
  }
  ExpectAllZero();
  // Blocks beyond what one int carries are counted exactly (the allocators' path).
  kvlm::AccountBytes(TYPE_MAT, 0, 5000000000LL);
  EXPECT_EQ(mem_info_bytes(TYPE_MAT, 0), 5000000000LL);
  kvlm::AccountBytes(TYPE_MAT, 5000000000LL, 3000000000LL);
  EXPECT_EQ(mem_info_bytes(TYPE_MAT, 0), 3000000000LL);
  kvlm::AccountBytes(TYPE_MAT, 3000000000LL, 0);
  ExpectAllZero();
  mem_info_on(0);
  kvlm::AccountBytes(TYPE_MAT, 0, 10);  // nothing while the switch is off
  mem_info_on(1);
  ExpectAllZero();
  mem_info_on(0);
  EXPECT_EQ(CaptureFile([](FILE* f) { mem_info_file(f, 9); }), "");
  EXPECT_EQ(CaptureFile([](FILE* f) { mem_dump_list(f, -1); }), "");
}

TEST(MemInfo, ExtraListsAttachListAndDetach) {
  char n0[] = "AAA";
  char n2[] = "CC";
  char* names[] = {n0, nullptr, n2};
  MEM_FREE_FN fns[] = {CountingFree, CountingFree, nullptr};
  MEM_COUNTS counts[3] = {{5, 1}, {0, 0}, {0, 0}};

  EXPECT_EQ(mem_attach_list(5, 3, names, fns, counts), -1);
  EXPECT_EQ(mem_attach_list(-1, 3, names, fns, counts), -1);
  EXPECT_EQ(mem_attach_list(1, -1, names, fns, counts), -1);
  EXPECT_EQ(mem_attach_list(1, 3, nullptr, fns, counts), -1);
  EXPECT_EQ(mem_attach_list(1, 3, names, nullptr, counts), -1);
  EXPECT_EQ(mem_attach_list(1, 3, names, fns, nullptr), -1);
  EXPECT_EQ(mem_is_list_attached(1), 0);

  ErrWatch w;
  EXPECT_EQ(mem_attach_list(1, 3, names, fns, counts), 0);
  EXPECT_EQ(w.count(), 0);
  EXPECT_EQ(mem_is_list_attached(1), 1);
  EXPECT_EQ(mem_is_list_attached(5), 0);

  mem_info_on(1);
  EXPECT_EQ(mem_info_bytes(0, 1), 5);
  EXPECT_EQ(mem_info_numvar(0, 1), 1);
  EXPECT_EQ(mem_info_bytes(2, 1), 0);  // type without a free function
  mem_bytes_list(2, 0, 10, 1);         // ignored for the same reason
  EXPECT_EQ(counts[2].bytes, 0);
  mem_bytes_list(1, 0, 1, 1);
  // Types without a name are left out of the listing; the totals cover the listed ones.
  EXPECT_EQ(CaptureFile([](FILE* f) { mem_info_file(f, 1); }),
            " MEMORY INFORMATION (list no. 1):\n"
            " type AAA              5 alloc. bytes       1 alloc. variable \n"
            " type CC               0 alloc. bytes       0 alloc. variables\n"
            " total:                5 alloc. bytes       1 alloc. variable \n\n");
  mem_info_on(0);

  char dumpWant[512];
  std::snprintf(dumpWant, sizeof dumpWant,
                " CONTENTS OF mem_connect[1]:\n"
                " name of   alloc.         # alloc.    address\n"
                "  type     bytes          variables   of *_free()\n"
                "  AAA       5              1           %p\n"
                "  (null)    1              0           %p\n"
                "  CC        0              0           %p\n\n",
                reinterpret_cast<void*>(CountingFree), reinterpret_cast<void*>(CountingFree),
                static_cast<void*>(nullptr));
  EXPECT_EQ(CaptureFile([](FILE* f) { mem_dump_list(f, 1); }), dumpWant);

  // Over an attached list: code 21, and the new tables replace the old ones.
  MEM_COUNTS counts2[1] = {{0, 0}};
  EXPECT_EQ(mem_attach_list(1, 1, names, fns, counts2), 0);
  EXPECT_EQ(w.count(), 1);
  EXPECT_EQ(w.last(), 21);
  mem_info_on(1);
  EXPECT_EQ(mem_info_bytes(0, 1), 0);
  EXPECT_EQ(mem_info_bytes(2, 1), 0);
  mem_info_on(0);

  EXPECT_EQ(mem_free_vars(1), 0);
  EXPECT_EQ(mem_is_list_attached(1), 0);
  EXPECT_EQ(mem_free_vars(5), -1);
  EXPECT_EQ(CaptureFile([](FILE* f) { mem_dump_list(f, 1); }),
            " CONTENTS OF mem_connect[1]:\n"
            " name of   alloc.         # alloc.    address\n"
            "  type     bytes          variables   of *_free()\n\n");
  EXPECT_EQ(g_freed, 0);
}

TEST(MemInfo, ReattachingListZeroRaisesCode21AndReplacesTheStandardTypes) {
  const kvlm::MemConnect saved = kvlm::mem_connect[0];
  char n0[] = "ONLY";
  char* names[] = {n0};
  MEM_FREE_FN fns[] = {CountingFree};
  MEM_COUNTS counts[1] = {{0, 0}};
  ErrWatch w;
  EXPECT_EQ(mem_attach_list(0, 1, names, fns, counts), 0);
  EXPECT_EQ(w.last(), 21);
  mem_info_on(1);
  EXPECT_EQ(CaptureFile([](FILE* f) { mem_info_file(f, 0); }),
            " MEMORY INFORMATION (standard types):\n"
            " type ONLY             0 alloc. bytes       0 alloc. variables\n"
            " total:                0 alloc. bytes       0 alloc. variables\n\n");
  mem_info_on(0);
  // List 0 may be detached as well; then allocators count nothing.
  EXPECT_EQ(mem_free_vars(0), 0);
  EXPECT_EQ(mem_is_list_attached(0), 0);
  kvlm::mem_connect[0] = saved;
  EXPECT_EQ(mem_is_list_attached(0), 1);
}
