// test_interposition.cpp: a host that defines C functions of the same names as the library's
// exported m_free and v_free. The host's own calls reach its definitions, but the library's
// calls to its own functions (direct calls and function pointers it takes) stay inside the
// library, so the host cannot change what the library frees or counts.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "kvelo.h"

namespace {

int g_hostMFree = 0;
int g_hostVFree = 0;

}  // namespace

// The host's functions of the same names: they count their calls and free nothing (the
// library's own m_free and v_free return -1 for NULL; these return 0).
extern "C" int m_free(MAT*) {
  ++g_hostMFree;
  return 0;
}
extern "C" int v_free(VEC*) {
  ++g_hostVFree;
  return 0;
}

namespace {

class Interposition : public ::testing::Test {
 protected:
  void SetUp() override {
    g_hostMFree = g_hostVFree = 0;
    previous_ = mem_info_on(1);
  }
  void TearDown() override { mem_info_on(previous_); }
  int previous_ = 0;
};

TEST_F(Interposition, HostDefinitionsAreTheOnesTheDynamicTableOffers) {
  // Without this the test would prove nothing: a lookup by name finds the host's functions,
  // as the library's calls would if they went through the dynamic symbol table.
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "m_free"), reinterpret_cast<void*>(&m_free));
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "v_free"), reinterpret_cast<void*>(&v_free));
  EXPECT_EQ(m_free(nullptr), 0);  // the host's own call reaches the host's function
  EXPECT_EQ(g_hostMFree, 1);
}

TEST_F(Interposition, LibraryFreesThroughItsOwnFunctionPointers) {
  // m_free_vars and v_free_vars hand the library's m_free and v_free on as pointers.
  const int mats = mem_info_numvar(TYPE_MAT, 0), vecs = mem_info_numvar(TYPE_VEC, 0);
  int st = 0;
  MAT* a = _LM_m_get("interposition", 0, 3, 4, __LINE__, "test", &st);
  VEC* x = _LM_v_get("interposition", 0, 5, __LINE__, "test", &st);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(mem_info_numvar(TYPE_MAT, 0), mats + 1);
  EXPECT_EQ(mem_info_numvar(TYPE_VEC, 0), vecs + 1);

  EXPECT_EQ(m_free_vars(&a, static_cast<MAT**>(nullptr)), 1);
  EXPECT_EQ(v_free_vars(&x, static_cast<VEC**>(nullptr)), 1);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(x, nullptr);
  EXPECT_EQ(g_hostMFree, 0);
  EXPECT_EQ(g_hostVFree, 0);
  // The library's own functions ran: the records are no longer counted (and, under the
  // leak checker, really freed).
  EXPECT_EQ(mem_info_numvar(TYPE_MAT, 0), mats);
  EXPECT_EQ(mem_info_numvar(TYPE_VEC, 0), vecs);
}

TEST_F(Interposition, LibraryDirectCallsStayInside) {
  // The design class frees its design matrix with a direct call to m_free.
  const int mats = mem_info_numvar(TYPE_MAT, 0);
  {
    Kvelo::C_BaseDesign design(2, 0);
    ASSERT_EQ(design.AugmentDesign('R', 4, nullptr), 0);
    ASSERT_NE(design.getDesignMatrix(), nullptr);
    EXPECT_GT(mem_info_numvar(TYPE_MAT, 0), mats);
  }
  EXPECT_EQ(g_hostMFree, 0);
  EXPECT_EQ(mem_info_numvar(TYPE_MAT, 0), mats);
}

}  // namespace
