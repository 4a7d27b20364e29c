// Tests of the structured vectors: unpacked and packed lists of every item type, packed
// resizes checked against a model of what each item must keep, out-of-core packs in mapped
// temporary files (store, reload, removal, and a file that cannot grow or be reopened, met in
// a child process), copies, release and accounting, and the item operations against dense
// arithmetic.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "bvec.h"
#include "cmat_support.h"
#include "kvelomem_ooc.h"
#include "meminfo.h"
#include "ooc_files.h"
#include "runtime/heap_limit.h"
#include "vmorse.h"
#include "vmorse_support.h"
#include "vstruct.h"
#include "zmatrix.h"

using cmat_test::ErrWatch;
using namespace sparse_test;

namespace {

VSTRUCT* Pack(int type, int count, int n, int m, int* st) {
  return _LM_vs_get_liste_pack("t", 0, __LINE__, "t", st, type, count, n, m);
}
VSTRUCT* Repack(VSTRUCT* vs, int count, int n, int m, int* st) {
  return _LM_vs_resize_liste_pack("t", 0, __LINE__, "t", st, vs, count, n, m);
}
VSTRUCT* List(int type, int count, int n, int m, int* st) {
  return _LM_vs_get_liste("t", 0, __LINE__, "t", st, type, count, n, m);
}

// Item values of a packed list as one model: item i, element k (row-major for matrices; the
// real part for complex items, the imaginary part being minus the real part).
using Model = std::vector<std::vector<double>>;

double Get(const VSTRUCT* vs, int i, int k, int cols) {
  switch (vs->type) {
    case TYPE_VEC: return static_cast<VEC*>(vs->items[i])->ve[k];
    case TYPE_IVEC: return static_cast<IVEC*>(vs->items[i])->ive[k];
    case TYPE_ZVEC: return static_cast<ZVEC*>(vs->items[i])->ve[k].re;
    case TYPE_MAT: return static_cast<MAT*>(vs->items[i])->me[k / cols][k % cols];
    default: return static_cast<ZMAT*>(vs->items[i])->me[k / cols][k % cols].re;
  }
}
double GetIm(const VSTRUCT* vs, int i, int k, int cols) {
  if (vs->type == TYPE_ZVEC) return static_cast<ZVEC*>(vs->items[i])->ve[k].im;
  if (vs->type == TYPE_ZMAT) return static_cast<ZMAT*>(vs->items[i])->me[k / cols][k % cols].im;
  return -Get(vs, i, k, cols);
}
void Set(VSTRUCT* vs, int i, int k, int cols, double x) {
  switch (vs->type) {
    case TYPE_VEC: static_cast<VEC*>(vs->items[i])->ve[k] = x; break;
    case TYPE_IVEC: static_cast<IVEC*>(vs->items[i])->ive[k] = static_cast<int>(x); break;
    case TYPE_ZVEC: static_cast<ZVEC*>(vs->items[i])->ve[k] = zmake(x, -x); break;
    case TYPE_MAT: static_cast<MAT*>(vs->items[i])->me[k / cols][k % cols] = x; break;
    default: static_cast<ZMAT*>(vs->items[i])->me[k / cols][k % cols] = zmake(x, -x); break;
  }
}

bool IsMat(int type) { return type == TYPE_MAT || type == TYPE_ZMAT; }

// Checks shapes, the contiguous layout of the items in the pack and every value.
void ExpectModel(const VSTRUCT* vs, const Model& model, int n, int m) {
  ASSERT_EQ(vs->dim, static_cast<int>(model.size()));
  const int cols = IsMat(vs->type) ? m : 1;
  const int per = IsMat(vs->type) ? n * m : n;
  for (int i = 0; i < vs->dim; ++i) {
    ASSERT_NE(vs->items[i], nullptr);
    switch (vs->type) {
      case TYPE_VEC:
        ASSERT_EQ(static_cast<VEC*>(vs->items[i])->dim, static_cast<unsigned>(n));
        EXPECT_EQ(static_cast<VEC*>(vs->items[i])->ve, static_cast<double*>(vs->pack) + i * per);
        break;
      case TYPE_IVEC:
        ASSERT_EQ(static_cast<IVEC*>(vs->items[i])->dim, static_cast<unsigned>(n));
        EXPECT_EQ(static_cast<IVEC*>(vs->items[i])->ive, static_cast<int*>(vs->pack) + i * per);
        break;
      case TYPE_ZVEC:
        ASSERT_EQ(static_cast<ZVEC*>(vs->items[i])->dim, static_cast<unsigned>(n));
        EXPECT_EQ(static_cast<ZVEC*>(vs->items[i])->ve, static_cast<kvelo_complex*>(vs->pack) + i * per);
        break;
      case TYPE_MAT: {
        const MAT* A = static_cast<MAT*>(vs->items[i]);
        ASSERT_EQ(A->m, static_cast<unsigned>(n));
        ASSERT_EQ(A->n, static_cast<unsigned>(m));
        for (int r = 0; r < n; ++r) EXPECT_EQ(A->me[r], static_cast<double*>(vs->pack) + i * per + r * m);
        break;
      }
      default: {
        const ZMAT* A = static_cast<ZMAT*>(vs->items[i]);
        ASSERT_EQ(A->m, static_cast<unsigned>(n));
        ASSERT_EQ(A->n, static_cast<unsigned>(m));
        for (int r = 0; r < n; ++r) EXPECT_EQ(A->me[r], static_cast<kvelo_complex*>(vs->pack) + i * per + r * m);
        break;
      }
    }
    for (int k = 0; k < per; ++k) {
      EXPECT_EQ(Get(vs, i, k, cols), model[i][k]) << "item " << i << " element " << k;
      EXPECT_EQ(GetIm(vs, i, k, cols), -model[i][k]) << "item " << i << " element " << k;
    }
  }
}

// What a packed resize must leave: the common part of each surviving item, zeros elsewhere.
Model Resized(const Model& old, int oldN, int oldM, int count, int n, int m, bool matrix) {
  Model out(count);
  for (int i = 0; i < count; ++i) {
    if (matrix) {
      out[i].assign(static_cast<size_t>(n) * m, 0.0);
      if (i < static_cast<int>(old.size()))
        for (int r = 0; r < std::min(n, oldN); ++r)
          for (int c = 0; c < std::min(m, oldM); ++c) out[i][r * m + c] = old[i][r * oldM + c];
    } else {
      out[i].assign(n, 0.0);
      if (i < static_cast<int>(old.size()))
        for (int k = 0; k < std::min(n, oldN); ++k) out[i][k] = old[i][k];
    }
  }
  return out;
}

// Fills every element with a value of its own and returns the model of it.
Model Fill(VSTRUCT* vs, int n, int m, int seed) {
  const bool matrix = IsMat(vs->type);
  const int per = matrix ? n * m : n;
  Model model(vs->dim, std::vector<double>(per));
  for (int i = 0; i < vs->dim; ++i)
    for (int k = 0; k < per; ++k) {
      const double x = seed + 100.0 * i + k + 1;
      Set(vs, i, k, matrix ? m : 1, x);
      model[i][k] = x;
    }
  return model;
}

struct Shape {
  int count, n, m;
};

// Runs a sequence of packed resizes over a list of the type, checking each step.
void RunShapes(int type, const std::vector<Shape>& shapes) {
  const bool matrix = IsMat(type);
  int st = 0;
  Shape s = shapes[0];
  VSTRUCT* vs = Pack(type, s.count, s.n, s.m, &st);
  ASSERT_NE(vs, nullptr);
  Model model(s.count, std::vector<double>(matrix ? s.n * s.m : s.n, 0.0));
  ExpectModel(vs, model, s.n, s.m);
  model = Fill(vs, s.n, s.m, 0);
  for (size_t step = 1; step < shapes.size(); ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const Shape t = shapes[step];
    ASSERT_EQ(Repack(vs, t.count, t.n, t.m, &st), vs);
    EXPECT_EQ(st, 0);
    model = Resized(model, s.n, s.m, t.count, t.n, t.m, matrix);
    ExpectModel(vs, model, t.n, t.m);
    s = t;
    if (step % 2 == 0) model = Fill(vs, s.n, s.m, static_cast<int>(step) * 1000);
  }
  EXPECT_EQ(vs_free(vs), 0);
}

// True when the items of vs lie at their places in the pack for shape n or n x m and hold
// the model's values: the gtest-free check of ExpectModel, for a child process.
bool Holds(const VSTRUCT* vs, const Model& model, int n, int m) {
  if (vs->dim != static_cast<int>(model.size())) return false;
  const bool matrix = IsMat(vs->type);
  const int cols = matrix ? m : 1;
  const int per = matrix ? n * m : n;
  const size_t es = vs->type == TYPE_IVEC ? sizeof(int)
                    : (vs->type == TYPE_ZVEC || vs->type == TYPE_ZMAT) ? sizeof(kvelo_complex)
                                                                       : sizeof(double);
  for (int i = 0; i < vs->dim; ++i) {
    if (vs->items[i] == nullptr) return false;
    const char* place = static_cast<const char*>(vs->pack) + static_cast<size_t>(i) * per * es;
    const void* first = nullptr;
    switch (vs->type) {
      case TYPE_VEC: first = static_cast<VEC*>(vs->items[i])->ve; break;
      case TYPE_IVEC: first = static_cast<IVEC*>(vs->items[i])->ive; break;
      case TYPE_ZVEC: first = static_cast<ZVEC*>(vs->items[i])->ve; break;
      case TYPE_MAT: first = static_cast<MAT*>(vs->items[i])->me[0]; break;
      default: first = static_cast<ZMAT*>(vs->items[i])->me[0]; break;
    }
    if (first != place) return false;
    for (int k = 0; k < per; ++k)
      if (Get(vs, i, k, cols) != model[i][k] || GetIm(vs, i, k, cols) != -model[i][k]) return false;
  }
  return true;
}

// Runs body in a child process and returns what it exited with: 0 when all its checks
// passed, the number of the first failed check, or 100 + the signal that ended it (a crash
// on a lost mapping among them).
int InChild(const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  int ws = 0;
  if (waitpid(pid, &ws, 0) != pid) return 255;
  if (WIFEXITED(ws)) return WEXITSTATUS(ws);
  return WIFSIGNALED(ws) ? 100 + WTERMSIG(ws) : 255;
}

// Lowers the soft limit of resource to value (the hard limit stays, so it can be raised
// back); returns the former soft limit.
rlim_t LowerLimit(int resource, rlim_t value) {
  rlimit lim{};
  getrlimit(resource, &lim);
  const rlim_t old = lim.rlim_cur;
  lim.rlim_cur = value;
  setrlimit(resource, &lim);
  return old;
}

}  // namespace

TEST(VstructGet, EmptyListsAndTheirSizes) {
  int st = 0;
  VSTRUCT* vs = _LM_vs_get("t", 0, 99, 0, __LINE__, "t", &st);
  ASSERT_NE(vs, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(vs->dim, 0);
  EXPECT_EQ(vs->max_dim, 1);
  EXPECT_EQ(vs->type, 99);
  EXPECT_EQ(vs->pack, nullptr);
  EXPECT_EQ(vs->unit, nullptr);
  EXPECT_EQ(vs_free(vs), 0);
  vs = _LM_vs_get("t", 0, TYPE_VEC, 3, __LINE__, "t", &st);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(vs->items[i], nullptr);
  EXPECT_EQ(vs_free(vs), 0);
  {
    ErrWatch w;
    EXPECT_EQ(_LM_vs_get("t", 0, TYPE_VEC, -1, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 20);
    EXPECT_EQ(w.routine(), "vs_get");
  }
  EXPECT_EQ(vs_free(nullptr), -1);
}

TEST(VstructGet, UnpackedListsMakeOneRecordPerItem) {
  int st = 0;
  VSTRUCT* mats = List(TYPE_MAT, 2, 3, 4, &st);
  ASSERT_NE(mats, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(static_cast<MAT*>(mats->items[1])->m, 3u);
  EXPECT_EQ(static_cast<MAT*>(mats->items[1])->n, 4u);
  VSTRUCT* zm = List(TYPE_ZMAT, 1, 2, 5, &st);
  EXPECT_EQ(static_cast<ZMAT*>(zm->items[0])->n, 5u);
  VSTRUCT* iv = List(TYPE_IVEC, 3, 7, 0, &st);
  EXPECT_EQ(static_cast<IVEC*>(iv->items[2])->dim, 7u);
  VSTRUCT* zv = List(TYPE_ZVEC, 2, 6, 0, &st);
  EXPECT_EQ(static_cast<ZVEC*>(zv->items[1])->dim, 6u);
  VSTRUCT* vm = List(TYPE_VECM, 2, 10, 3, &st);
  EXPECT_EQ(static_cast<VECM*>(vm->items[0])->dim, 10);
  EXPECT_EQ(static_cast<VECM*>(vm->items[0])->max_nnz, 3);
  VSTRUCT* vp = List(TYPE_VECMP, 2, 10, 3, &st);
  EXPECT_EQ(static_cast<VECMP*>(vp->items[1])->nnz, 3);
  for (VSTRUCT* vs : {mats, zm, iv, zv, vm, vp}) EXPECT_EQ(vs_free(vs), 0);
  {
    ErrWatch w;
    EXPECT_EQ(List(TYPE_VECMW, 2, 3, 0, &st), nullptr);
    EXPECT_EQ(w.last(), 7);
    EXPECT_EQ(List(TYPE_VEC, -2, 3, 0, &st), nullptr);
    EXPECT_EQ(w.last(), 20);
    // An item that cannot be made leaves its slot empty and the status -1.
    VSTRUCT* bad = List(TYPE_VECM, 2, 3, 5, &st);
    ASSERT_NE(bad, nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(bad->items[0], nullptr);
    EXPECT_EQ(bad->items[1], nullptr);
    EXPECT_EQ(w.last(), 2);
    vs_free(bad);
  }
}

TEST(VstructPack, PackedItemsAreViewsIntoOneBlock) {
  int st = 0;
  VSTRUCT* vs = Pack(TYPE_VEC, 3, 4, 0, &st);
  ASSERT_NE(vs, nullptr);
  EXPECT_EQ(st, 0);
  ASSERT_NE(vs->pack, nullptr);
  EXPECT_EQ(vs->unit, nullptr);
  for (int i = 0; i < 3; ++i) {
    VEC* v = static_cast<VEC*>(vs->items[i]);
    EXPECT_EQ(v->ve, static_cast<double*>(vs->pack) + 4 * i);
    EXPECT_EQ(v->max_dim, 0u);  // a view: it owns nothing
    for (int k = 0; k < 4; ++k) EXPECT_EQ(v->ve[k], 0.0);
  }
  static_cast<VEC*>(vs->items[1])->ve[0] = 5.0;
  EXPECT_EQ(static_cast<double*>(vs->pack)[4], 5.0);
  vs_free(vs);

  VSTRUCT* mats = Pack(TYPE_MAT, 2, 2, 3, &st);
  const MAT* A = static_cast<MAT*>(mats->items[1]);
  EXPECT_EQ(A->me[1], static_cast<double*>(mats->pack) + 6 + 3);
  EXPECT_EQ(A->base, nullptr);
  vs_free(mats);

  mem_info_on(1);
  const long long bytes = mem_info_bytes(TYPE_VSTRUCT, 0);
  VSTRUCT* none = Pack(TYPE_VEC, 0, 5, 0, &st);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->dim, 0);
  // The record, one slot and a pack of one element.
  EXPECT_EQ(mem_info_bytes(TYPE_VSTRUCT, 0), bytes + static_cast<long long>(sizeof(VSTRUCT)) + 8 + 8);
  vs_free(none);
  EXPECT_EQ(mem_info_bytes(TYPE_VSTRUCT, 0), bytes);
  mem_info_on(0);
  {
    ErrWatch w;
    EXPECT_EQ(Pack(TYPE_VECM, 2, 3, 1, &st), nullptr);
    EXPECT_EQ(w.last(), 7);
    EXPECT_EQ(w.routine(), "vs_get_liste_pack");
    EXPECT_EQ(Pack(TYPE_VEC, 2, -3, 0, &st), nullptr);
    EXPECT_EQ(w.last(), 20);
    EXPECT_EQ(Pack(TYPE_MAT, 2000000000, 2000000000, 2000000000, &st), nullptr);
    EXPECT_EQ(w.last(), 3);
  }
}

TEST(VstructPack, VectorResizesKeepTheLeadingValues) {
  RunShapes(TYPE_VEC, {{3, 4, 0}, {3, 6, 0}, {3, 2, 0}, {5, 2, 0}, {1, 7, 0}, {0, 3, 0}, {2, 3, 0}, {4, 9, 0}});
  RunShapes(TYPE_IVEC, {{2, 5, 0}, {4, 3, 0}, {3, 8, 0}});
  RunShapes(TYPE_ZVEC, {{2, 3, 0}, {2, 6, 0}, {3, 1, 0}});
}

TEST(VstructPack, MatrixResizesKeepTheCommonRowsAndColumns) {
  // The worked case: two 2 x 2 items to three 3 x 2 items.
  int st = 0;
  VSTRUCT* vs = Pack(TYPE_MAT, 2, 2, 2, &st);
  Model model = Fill(vs, 2, 2, 0);
  ASSERT_EQ(Repack(vs, 3, 3, 2, &st), vs);
  ExpectModel(vs, Resized(model, 2, 2, 3, 3, 2, true), 3, 2);
  EXPECT_EQ(static_cast<MAT*>(vs->items[0])->me[1][1], 4.0);
  EXPECT_EQ(static_cast<MAT*>(vs->items[0])->me[2][0], 0.0);
  vs_free(vs);

  RunShapes(TYPE_MAT, {{2, 2, 2}, {3, 3, 2}, {2, 2, 1}, {4, 1, 3}, {4, 3, 3}, {3, 2, 5}, {1, 0, 0}, {2, 2, 2}, {2, 5, 1}});
  RunShapes(TYPE_ZMAT, {{2, 2, 3}, {2, 4, 3}, {3, 4, 1}, {1, 2, 6}});
}

TEST(VstructPack, ResizingAndFreeingKeepTheAccountsBalanced) {
  mem_info_on(1);
  const long long bytes = mem_info_bytes(TYPE_VSTRUCT, 0);
  const int lists = mem_info_numvar(TYPE_VSTRUCT, 0);
  int st = 0;
  VSTRUCT* vs = Pack(TYPE_ZMAT, 3, 4, 5, &st);
  EXPECT_EQ(mem_info_numvar(TYPE_VSTRUCT, 0), lists + 1);
  Repack(vs, 5, 6, 2, &st);
  Repack(vs, 1, 1, 9, &st);
  _LM_vs_resize("t", 0, vs, TYPE_ZMAT, 4, __LINE__, "t", &st);
  _LM_vs_resize("t", 0, vs, TYPE_ZMAT, 0, __LINE__, "t", &st);
  Repack(vs, 2, 3, 3, &st);
  EXPECT_EQ(st, 0);
  vs_free(vs);
  EXPECT_EQ(mem_info_bytes(TYPE_VSTRUCT, 0), bytes);
  EXPECT_EQ(mem_info_numvar(TYPE_VSTRUCT, 0), lists);
  mem_info_on(0);
}

TEST(VstructPack, CountChangesByTheListResizeKeepThePackUsable) {
  int st = 0;
  VSTRUCT* vs = Pack(TYPE_VEC, 3, 2, 0, &st);
  Model model = Fill(vs, 2, 0, 0);
  // Fewer items: their headers go, the pack stays.
  ASSERT_EQ(_LM_vs_resize("t", 0, vs, TYPE_VEC, 1, __LINE__, "t", &st), vs);
  EXPECT_EQ(vs->dim, 1);
  // More again: the new slots are empty until a packed resize gives them places.
  ASSERT_EQ(_LM_vs_resize("t", 0, vs, TYPE_VEC, 4, __LINE__, "t", &st), vs);
  EXPECT_EQ(vs->dim, 4);
  EXPECT_EQ(vs->items[1], nullptr);
  ASSERT_EQ(Repack(vs, 4, 2, 0, &st), vs);
  model.resize(1);
  ExpectModel(vs, Resized(model, 2, 0, 4, 2, 0, false), 2, 0);
  // Down to no item and back: the list is still the same record.
  ASSERT_EQ(_LM_vs_resize("t", 0, vs, TYPE_VEC, 0, __LINE__, "t", &st), vs);
  EXPECT_GE(vs->max_dim, 1);
  ASSERT_EQ(_LM_vs_resize("t", 0, vs, TYPE_VEC, 2, __LINE__, "t", &st), vs);
  ASSERT_EQ(Repack(vs, 2, 3, 0, &st), vs);
  ExpectModel(vs, Model(2, std::vector<double>(3, 0.0)), 3, 0);
  vs_free(vs);
  {
    ErrWatch w;
    EXPECT_EQ(Repack(nullptr, 1, 1, 0, &st), nullptr);
    EXPECT_EQ(w.last(), 8);
    VSTRUCT* un = List(TYPE_VEC, 2, 3, 0, &st);
    EXPECT_EQ(Repack(un, 2, 4, 0, &st), nullptr);  // not a packed list
    EXPECT_EQ(w.last(), 7);
    EXPECT_EQ(static_cast<VEC*>(un->items[0])->dim, 3u);
    VSTRUCT* p = Pack(TYPE_VEC, 1, 1, 0, &st);
    EXPECT_EQ(Repack(p, -1, 1, 0, &st), nullptr);
    EXPECT_EQ(w.last(), 20);
    vs_free(un);
    vs_free(p);
  }
}

TEST(VstructOutOfCore, PacksLiveInTemporaryFilesThatAreStoredReloadedAndRemoved) {
  kvtest::PrivateTmpDir dir;
  kvelomem_setmode(2);
  int st = 0;
  VSTRUCT* vs = Pack(TYPE_VEC, 3, 1000, 0, &st);
  kvelomem_setmode(1);  // the mode is read when the list is made
  ASSERT_NE(vs, nullptr);
  ASSERT_NE(vs->unit, nullptr);
  EXPECT_EQ(vs->pack, vs->unit->address);
  ASSERT_EQ(dir.Files().size(), 1u);
  EXPECT_EQ(kvtest::FileSize(dir.File(dir.Files()[0])), 3 * 1000 * 8);
  Model model = Fill(vs, 1000, 0, 7);

  // A store releases the mapping; a reload maps the file again with every item re-pointed.
  void* before = vs->pack;
  _LM_vs_store(vs, "t", "t", __LINE__, &st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(kvtest::Protection(before), "");
  ASSERT_EQ(_LM_vs_reload(vs, "t", __LINE__, "t", &st), vs);
  EXPECT_EQ(st, 0);
  EXPECT_NE(kvtest::Protection(vs->pack), "");
  ExpectModel(vs, model, 1000, 0);
  // A reload of a mapped list maps it again too.
  ASSERT_EQ(_LM_vs_reload(vs, "t", __LINE__, "t", &st), vs);
  ExpectModel(vs, model, 1000, 0);

  // Packed resizes work on the file, bigger and smaller.
  ASSERT_EQ(Repack(vs, 4, 1500, 0, &st), vs);
  model = Resized(model, 1000, 0, 4, 1500, 0, false);
  ExpectModel(vs, model, 1500, 0);
  EXPECT_EQ(kvtest::FileSize(dir.File(dir.Files()[0])), 4 * 1500 * 8);
  ASSERT_EQ(Repack(vs, 2, 10, 0, &st), vs);
  ExpectModel(vs, Resized(model, 1500, 0, 2, 10, 0, false), 10, 0);
  EXPECT_EQ(kvtest::FileSize(dir.File(dir.Files()[0])), 2 * 10 * 8);

  // Store, then free without reloading: the file goes all the same.
  _LM_vs_store(vs, "t", "t", __LINE__, &st);
  EXPECT_EQ(vs_free(vs), 0);
  EXPECT_TRUE(dir.Files().empty());

  // A stored matrix list comes back intact.
  kvelomem_setmode(2);
  VSTRUCT* mats = Pack(TYPE_ZMAT, 2, 3, 4, &st);
  kvelomem_setmode(1);
  ASSERT_NE(mats, nullptr);
  model = Fill(mats, 3, 4, 0);
  _LM_vs_store(mats, "t", "t", __LINE__, &st);
  ASSERT_EQ(_LM_vs_reload(mats, "t", __LINE__, "t", &st), mats);
  ExpectModel(mats, model, 3, 4);
  vs_free(mats);
  EXPECT_TRUE(dir.Files().empty());

  // In-core and unpacked lists: store and reload change nothing.
  VSTRUCT* core = Pack(TYPE_VEC, 1, 3, 0, &st);
  void* pack = core->pack;
  st = 5;
  _LM_vs_store(core, "t", "t", __LINE__, &st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(_LM_vs_reload(core, "t", __LINE__, "t", &st), core);
  EXPECT_EQ(core->pack, pack);
  _LM_vs_store(nullptr, "t", "t", __LINE__, &st);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(_LM_vs_reload(nullptr, "t", __LINE__, "t", &st), nullptr);
  EXPECT_EQ(st, -1);
  vs_free(core);
  {
    ErrWatch w;
    kvelomem_setmode(2);
    // With a temporary directory that cannot hold files the pack cannot be made.
    setenv("TMPDIR", "/proc/self", 1);
    EXPECT_EQ(Pack(TYPE_VEC, 2, 2, 0, &st), nullptr);
    EXPECT_EQ(st, -1);
    setenv("TMPDIR", dir.Path().c_str(), 1);
    kvelomem_setmode(1);
  }
}

// After a store the items of an out-of-core list point into no mapping: the copy (as a
// source) and every item operation refuse the list with code 7, nothing read or written,
// where they used to read the released view. The calls run in a child process, so that a
// crash is reported as one; the child then reloads and finds every value as it was.
TEST(VstructOutOfCore, AStoredPackIsRefusedByTheOperationsOnItsItems) {
  kvtest::PrivateTmpDir dir;
  kvelomem_setmode(2);
  int st = 0;
  VSTRUCT* vs = Pack(TYPE_VEC, 2, 3, 0, &st);
  kvelomem_setmode(1);
  ASSERT_NE(vs, nullptr);
  const Model model = Fill(vs, 3, 0, 5);
  _LM_vs_store(vs, "t", "t", __LINE__, &st);
  ASSERT_EQ(st, 0);
  VEC* v = NewVec({1, 2, 3});
  const int failed = InChild([&]() -> int {
    int check = 0;
    ErrWatch w;
    // Each call gives its refusal result, status -1 and one new error, of code 7.
    const std::vector<std::function<bool(int*)>> calls = {
        [&](int* s) { return _LM__vs_copy(vs, 0, 2, nullptr, __LINE__, "t", s) == nullptr; },
        [&](int* s) { return LM_vs_XtractVec(vs, 0, nullptr, "t", s) == nullptr; },
        [&](int* s) { return LM_vs_in_prod(v, vs, 1, "t", s) == 0.0; },
        [&](int* s) { return LM_vs_v_mltadd(v, vs, 0, 2.0, nullptr, "t", s) == nullptr; },
        [&](int* s) {
          LM_vs_sv_mlt(2.0, vs, 1, "t", s);
          return true;
        },
        [&](int* s) {
          LM_vs_CopyVec(v, vs, 0, "t", s);
          return true;
        },
    };
    for (const auto& call : calls) {
      ++check;
      int s = 0;
      const int before = w.count();
      if (!call(&s) || s != -1 || w.count() != before + 1 || w.last() != 7) return check;
    }
    ++check;
    int s = 0;
    if (_LM_vs_reload(vs, "t", __LINE__, "t", &s) != vs || s != 0) return check;
    ++check;
    return Holds(vs, model, 3, 0) ? 0 : check;
  });
  EXPECT_EQ(failed, 0);
  // Reloaded, the list serves the item operations again.
  ASSERT_EQ(_LM_vs_reload(vs, "t", __LINE__, "t", &st), vs);
  EXPECT_EQ(LM_vs_in_prod(v, vs, 1, "t", &st), 1 * 106.0 + 2 * 107.0 + 3 * 108.0);
  EXPECT_EQ(st, 0);
  ExpectModel(vs, model, 3, 0);
  v_free(v);
  vs_free(vs);
  EXPECT_TRUE(dir.Files().empty());
}

TEST(VstructOutOfCore, AFileThatCannotGrowLeavesTheListAsItWas) {
  // The data file may not grow past a limit (as on a full disk): the packed resize fails,
  // and the list keeps its pack, mapped where it was, its items and every value, and stays
  // usable: it can be written, stored, reloaded, resized once the room is back, and freed.
  kvtest::PrivateTmpDir dir;
  struct Case {
    const char* what;
    int type;
    Shape from, to;
  };
  const Case cases[] = {
      {"vectors", TYPE_VEC, {3, 1000, 0}, {3, 100000, 0}},
      {"more vectors", TYPE_IVEC, {2, 64, 0}, {90000, 64, 0}},
      {"complex matrices", TYPE_ZMAT, {2, 3, 4}, {2, 300, 40}},
      {"matrices, columns first", TYPE_MAT, {4, 5, 6}, {4, 5, 20000}},
  };
  for (const Case& c : cases) {
    const int result = InChild([&c] {
      kvelomem_setmode(2);
      int st = 0;
      VSTRUCT* vs = Pack(c.type, c.from.count, c.from.n, c.from.m, &st);
      kvelomem_setmode(1);
      if (vs == nullptr || vs->unit == nullptr) return 1;
      const Model model = Fill(vs, c.from.n, c.from.m, 3);
      void* const pack = vs->pack;
      MMAP_HANDLE* const unit = vs->unit;
      std::vector<void*> items(vs->items, vs->items + vs->dim);
      std::signal(SIGXFSZ, SIG_IGN);
      const rlim_t room = LowerLimit(RLIMIT_FSIZE, 256 * 1024);
      if (Repack(vs, c.to.count, c.to.n, c.to.m, &st) != nullptr || st != -1) return 2;
      if (vs->pack != pack || vs->unit != unit || vs->dim != c.from.count) return 3;
      if (!std::equal(items.begin(), items.end(), vs->items)) return 4;
      if (!Holds(vs, model, c.from.n, c.from.m)) return 5;
      // Still a working list.
      const Model again = Fill(vs, c.from.n, c.from.m, 9);
      if (!Holds(vs, again, c.from.n, c.from.m)) return 6;
      _LM_vs_store(vs, "t", "t", __LINE__, &st);
      if (st != 0 || _LM_vs_reload(vs, "t", __LINE__, "t", &st) != vs || st != 0) return 7;
      if (!Holds(vs, again, c.from.n, c.from.m)) return 8;
      LowerLimit(RLIMIT_FSIZE, room);
      if (Repack(vs, c.to.count, c.to.n, c.to.m, &st) != vs || st != 0) return 9;
      const Model grown = Resized(again, c.from.n, c.from.m, c.to.count, c.to.n, c.to.m, IsMat(c.type));
      if (!Holds(vs, grown, c.to.n, c.to.m)) return 10;
      if (vs_free(vs) != 0) return 11;
      return 0;
    });
    EXPECT_EQ(result, 0) << c.what;
    EXPECT_TRUE(dir.Files().empty()) << c.what;
  }
}

TEST(VstructOutOfCore, MemoryShortForTheNewItemsLeavesTheListAsItWas) {
  // The file could grow but the heap refuses the larger slot table (or the new headers): the
  // list is left as it was, its pack still mapped where it was and its items pointing there,
  // not at a view the failed resize let go.
  kvtest::PrivateTmpDir dir;
  const int result = InChild([] {
    kvelomem_setmode(2);
    int st = 0;
    VSTRUCT* vs = Pack(TYPE_VEC, 2, 4, 0, &st);
    kvelomem_setmode(1);
    if (vs == nullptr || vs->unit == nullptr) return 1;
    const Model model = Fill(vs, 4, 0, 2);
    void* const pack = vs->pack;
    kvrt::SetHeapBlockLimit(64 * 1024);  // 100000 slots need 800 kB
    if (Repack(vs, 100000, 4, 0, &st) != nullptr || st != -1) return 2;
    kvrt::SetHeapBlockLimit(0);
    if (vs->pack != pack || vs->dim != 2) return 3;
    if (!Holds(vs, model, 4, 0)) return 4;
    if (Repack(vs, 100000, 4, 0, &st) != vs || st != 0) return 5;
    if (!Holds(vs, Resized(model, 4, 0, 100000, 4, 0, false), 4, 0)) return 6;
    if (vs_free(vs) != 0) return 7;
    return 0;
  });
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(dir.Files().empty());
}

TEST(VstructOutOfCore, AShrinkThatCannotRemapStillCompletesTheResize) {
  // Cutting the pack down comes after the data were moved to their new places. When the
  // file cannot be reopened for that (no descriptor left), the pack stays mapped at its
  // larger size and the resize has still done its work.
  kvtest::PrivateTmpDir dir;
  const Shape from{3, 1000, 0}, to{2, 10, 0};
  const int result = InChild([&] {
    kvelomem_setmode(2);
    int st = 0;
    VSTRUCT* vs = Pack(TYPE_VEC, from.count, from.n, from.m, &st);
    kvelomem_setmode(1);
    if (vs == nullptr || vs->unit == nullptr) return 1;
    const Model model = Fill(vs, from.n, from.m, 5);
    // The lowest free descriptor becomes the limit: no file can be opened from now on.
    const int probe = open("/dev/null", O_RDONLY);
    if (probe < 0) return 2;
    close(probe);
    const rlim_t files = LowerLimit(RLIMIT_NOFILE, static_cast<rlim_t>(probe));
    if (open("/dev/null", O_RDONLY) >= 0) return 3;
    VSTRUCT* r = Repack(vs, to.count, to.n, to.m, &st);
    LowerLimit(RLIMIT_NOFILE, files);
    if (r != vs || st != 0 || _LM_err_status != 0) return 4;
    const Model kept = Resized(model, from.n, from.m, to.count, to.n, to.m, false);
    if (!Holds(vs, kept, to.n, to.m)) return 5;
    if (kvtest::FileSize(dir.File(dir.Files()[0])) != from.count * from.n * 8) return 6;
    // The next resize cuts the file down after all.
    if (Repack(vs, to.count, to.n, to.m, &st) != vs || st != 0) return 7;
    if (!Holds(vs, kept, to.n, to.m)) return 8;
    if (kvtest::FileSize(dir.File(dir.Files()[0])) != to.count * to.n * 8) return 9;
    if (vs_free(vs) != 0) return 10;
    return 0;
  });
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(dir.Files().empty());
}

TEST(VstructResize, UnpackedListsKeepTheirItemsUntilFreed) {
  mem_info_on(1);
  const int vecs = mem_info_numvar(TYPE_VEC, 0);
  int st = 0;
  VSTRUCT* vs = List(TYPE_VEC, 5, 3, 0, &st);
  EXPECT_EQ(mem_info_numvar(TYPE_VEC, 0), vecs + 5);
  ASSERT_EQ(_LM_vs_resize("t", 0, vs, TYPE_VEC, 2, __LINE__, "t", &st), vs);
  EXPECT_EQ(vs->dim, 2);
  EXPECT_EQ(vs->max_dim, 5);
  EXPECT_NE(vs->items[4], nullptr);
  // Reopened slots start empty: what they held is released.
  ASSERT_EQ(_LM_vs_resize("t", 0, vs, TYPE_VEC, 3, __LINE__, "t", &st), vs);
  EXPECT_EQ(vs->items[2], nullptr);
  EXPECT_EQ(mem_info_numvar(TYPE_VEC, 0), vecs + 4);
  // Growing past the slots keeps the old ones.
  ASSERT_EQ(_LM_vs_resize("t", 0, vs, TYPE_VEC, 9, __LINE__, "t", &st), vs);
  EXPECT_EQ(vs->max_dim, 9);
  EXPECT_NE(vs->items[0], nullptr);
  EXPECT_EQ(vs->items[8], nullptr);
  EXPECT_EQ(vs_free(vs), 0);
  EXPECT_EQ(mem_info_numvar(TYPE_VEC, 0), vecs);

  // Shrunk to two and freed: all five items are released.
  vs = List(TYPE_VEC, 5, 3, 0, &st);
  _LM_vs_resize("t", 0, vs, TYPE_VEC, 2, __LINE__, "t", &st);
  EXPECT_EQ(vs_free(vs), 0);
  EXPECT_EQ(mem_info_numvar(TYPE_VEC, 0), vecs);
  mem_info_on(0);

  VSTRUCT* made = _LM_vs_resize("t", 0, nullptr, TYPE_IVEC, 2, __LINE__, "t", &st);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->type, TYPE_IVEC);
  vs_free(made);
  {
    ErrWatch w;
    EXPECT_EQ(_LM_vs_resize("t", 0, nullptr, TYPE_IVEC, -2, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 20);
    EXPECT_EQ(w.routine(), "vs_resize");
  }
}

TEST(VstructGet, ItemsAreMadeOutsideTheCurrentStaticWorkMark) {
  int st = 0;
  mem_stat_mark(3);
  mem_info_on(1);
  const long long bytes = mem_info_bytes(TYPE_VSTRUCT, 0);
  VSTRUCT* vs = List(TYPE_MAT, 2, 3, 3, &st);
  EXPECT_EQ(mem_stat_show_mark(), 3);  // closed while the items were made, then reopened
  EXPECT_EQ(vs_free(vs), 0);
  EXPECT_EQ(mem_stat_show_mark(), 3);
  EXPECT_EQ(mem_info_bytes(TYPE_VSTRUCT, 0), bytes);
  mem_info_on(0);
  EXPECT_EQ(mem_stat_free_list(3, 0), 0);
  EXPECT_EQ(mem_stat_show_mark(), 0);
}

TEST(VstructResize, UnpackedItemsAreResizedByTheirOwnTypes) {
  int st = 0;
  VSTRUCT* vs = List(TYPE_MAT, 2, 2, 2, &st);
  static_cast<MAT*>(vs->items[1])->me[1][1] = 7.0;
  ASSERT_EQ(_LM_vs_resize_liste("t", 0, __LINE__, "t", &st, vs, TYPE_MAT, 3, 3, 4), vs);
  EXPECT_EQ(st, 0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(static_cast<MAT*>(vs->items[i])->m, 3u);
    EXPECT_EQ(static_cast<MAT*>(vs->items[i])->n, 4u);
  }
  EXPECT_EQ(static_cast<MAT*>(vs->items[1])->me[1][1], 7.0);
  vs_free(vs);
  VSTRUCT* fresh = _LM_vs_resize_liste("t", 0, __LINE__, "t", &st, nullptr, TYPE_ZVEC, 2, 5, 0);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(static_cast<ZVEC*>(fresh->items[1])->dim, 5u);
  vs_free(fresh);
  {
    ErrWatch w;
    EXPECT_EQ(_LM_vs_resize_liste("t", 0, __LINE__, "t", &st, nullptr, TYPE_VECM, 2, 5, 0), nullptr);
    EXPECT_EQ(w.last(), 7);
    VSTRUCT* p = Pack(TYPE_VEC, 2, 3, 0, &st);
    EXPECT_EQ(_LM_vs_resize_liste("t", 0, __LINE__, "t", &st, p, TYPE_VEC, 2, 5, 0), nullptr);
    EXPECT_EQ(w.last(), 7);
    vs_free(p);
  }
}

TEST(VstructCopy, CopiesAreUnpackedAndIndependent) {
  int st = 0;
  VSTRUCT* src = Pack(TYPE_VEC, 4, 3, 0, &st);
  Fill(src, 3, 0, 0);
  VSTRUCT* c = _LM__vs_copy(src, 1, 3, nullptr, __LINE__, "t", &st);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(c->dim, 2);
  EXPECT_EQ(c->pack, nullptr);
  EXPECT_EQ(Values(static_cast<VEC*>(c->items[0])), (std::vector<double>{101, 102, 103}));
  EXPECT_NE(static_cast<VEC*>(c->items[0])->max_dim, 0u);  // a record of its own
  static_cast<VEC*>(c->items[1])->ve[0] = -1;
  EXPECT_EQ(static_cast<VEC*>(src->items[2])->ve[0], 201.0);
  // Into an existing list of the type: items copied in place.
  ASSERT_EQ(_LM__vs_copy(src, 0, 1, c, __LINE__, "t", &st), c);
  EXPECT_EQ(c->dim, 1);
  EXPECT_EQ(Values(static_cast<VEC*>(c->items[0])), (std::vector<double>{1, 2, 3}));
  VSTRUCT* none = _LM__vs_copy(src, 2, 2, nullptr, __LINE__, "t", &st);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->dim, 0);
  EXPECT_EQ(_LM__vs_copy(src, 0, 4, src, __LINE__, "t", &st), src);

  // Every item type copies by its own copy; empty slots stay empty.
  VSTRUCT* bits = _LM_vs_get("t", 0, TYPE_BVEC, 2, __LINE__, "t", &st);
  bits->items[0] = _LM_bv_get_codage("t", 0, 40, __LINE__, "t", &st);
  _LM_bv_insere(static_cast<BVEC*>(bits->items[0]), 33, &st);
  VSTRUCT* bc = _LM__vs_copy(bits, 0, 2, nullptr, __LINE__, "t", &st);
  ASSERT_NE(bc, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(_LM_bv_is_on(static_cast<BVEC*>(bc->items[0]), 33), 1);
  EXPECT_EQ(bc->items[1], nullptr);
  VSTRUCT* sparse = List(TYPE_VECMP, 1, 5, 2, &st);
  VSTRUCT* sc = _LM__vs_copy(sparse, 0, 1, nullptr, __LINE__, "t", &st);
  EXPECT_EQ(static_cast<VECMP*>(sc->items[0])->nnz, 2);
  {
    ErrWatch w;
    EXPECT_EQ(_LM__vs_copy(src, 1, 5, nullptr, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 2);
    EXPECT_EQ(w.routine(), "_vs_copy");
    EXPECT_EQ(_LM__vs_copy(src, 3, 2, nullptr, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(_LM__vs_copy(nullptr, 0, 0, nullptr, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 8);
    EXPECT_EQ(_LM__vs_copy(src, 0, 1, sc, __LINE__, "t", &st), nullptr);  // another item type
    EXPECT_EQ(w.last(), 7);
  }
  VSTRUCT* a = c;
  VSTRUCT* b = none;
  EXPECT_EQ(vs_free_vars(&a, &b, static_cast<VSTRUCT**>(nullptr)), 2);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(b, nullptr);
  for (VSTRUCT* vs : {src, bits, bc, sparse, sc}) vs_free(vs);
}

TEST(VstructItems, ItemOperationsMatchDenseArithmetic) {
  int st = 0;
  VEC* v = NewVec({1, 0, 2, 0, 0, 3});
  VEC* w = NewVec({1, 1, 1, 1, 1, 1});
  const std::vector<double> dv{1, 0, 2, 0, 0, 3}, dw(6, 1.0);
  for (int type : {TYPE_VEC, TYPE_VECM, TYPE_VECMP, TYPE_VECMW}) {
    SCOPED_TRACE("type " + std::to_string(type));
    VSTRUCT* vs = _LM_vs_get("t", 0, type, 2, __LINE__, "t", &st);
    LM_vs_CopyVec(v, vs, 1, "t", &st);
    EXPECT_EQ(st, 0);
    ASSERT_NE(vs->items[1], nullptr);
    LM_vs_CopyVec(v, vs, 1, "t", &st);  // replacing an item frees the old one
    EXPECT_EQ(LM_vs_in_prod(w, vs, 1, "t", &st), 6.0);
    EXPECT_EQ(st, 0);
    VEC* out = LM_vs_v_mltadd(w, vs, 1, 2.0, nullptr, "t", &st);
    ASSERT_NE(out, nullptr);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(out->ve[k], dw[k] + 2.0 * dv[k]);
    LM_vs_sv_mlt(1.0, vs, 1, "t", &st);
    EXPECT_EQ(LM_vs_in_prod(w, vs, 1, "t", &st), 6.0);
    LM_vs_sv_mlt(-3.0, vs, 1, "t", &st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(LM_vs_in_prod(w, vs, 1, "t", &st), -18.0);
    if (type != TYPE_VECMP) {
      VEC* x = LM_vs_XtractVec(vs, 1, nullptr, "t", &st);
      ASSERT_NE(x, nullptr);
      EXPECT_EQ(Values(x), (std::vector<double>{-3, 0, -6, 0, 0, -9}));
      v_free(x);
    } else {
      ErrWatch err;
      EXPECT_EQ(LM_vs_XtractVec(vs, 1, nullptr, "t", &st), nullptr);
      EXPECT_EQ(err.last(), 7);
    }
    LM_vs_sv_mlt(0.0, vs, 1, "t", &st);
    EXPECT_EQ(LM_vs_in_prod(w, vs, 1, "t", &st), 0.0);
    {
      ErrWatch err;
      LM_vs_sv_mlt(2.0, vs, 0, "t", &st);  // an empty slot
      EXPECT_EQ(st, -1);
      EXPECT_EQ(err.last(), 7);
      LM_vs_sv_mlt(2.0, vs, 2, "t", &st);
      EXPECT_EQ(err.last(), 2);
      LM_vs_CopyVec(v, vs, 2, "t", &st);
      EXPECT_EQ(err.last(), 2);
      LM_vs_CopyVec(v, vs, -1, "t", &st);
      EXPECT_EQ(err.last(), 2);
      EXPECT_EQ(LM_vs_in_prod(w, vs, 2, "t", &st), 0.0);
      EXPECT_EQ(err.last(), 2);
      EXPECT_EQ(LM_vs_v_mltadd(nullptr, vs, 1, 1.0, nullptr, "t", &st), nullptr);
      EXPECT_EQ(err.last(), 7);
    }
    v_free(out);
    vs_free(vs);
  }
  // A packed VEC item takes a copy only of its own length.
  VSTRUCT* p = Pack(TYPE_VEC, 2, 6, 0, &st);
  LM_vs_CopyVec(v, p, 0, "t", &st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(static_cast<double*>(p->pack)[5], 3.0);
  LM_vs_sv_mlt(2.0, p, 0, "t", &st);
  EXPECT_EQ(static_cast<double*>(p->pack)[5], 6.0);
  VEC* three = NewVec({1, 2, 3});
  {
    ErrWatch err;
    LM_vs_CopyVec(three, p, 1, "t", &st);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(err.last(), 1);
    EXPECT_EQ(static_cast<VEC*>(p->items[1])->dim, 6u);
    VSTRUCT* ints = List(TYPE_IVEC, 1, 3, 0, &st);
    LM_vs_CopyVec(v, ints, 0, "t", &st);
    EXPECT_EQ(err.last(), 7);
    LM_vs_sv_mlt(2.0, ints, 0, "t", &st);
    EXPECT_EQ(err.last(), 7);
    LM_vs_sv_mlt(2.0, nullptr, 0, "t", &st);
    EXPECT_EQ(err.last(), 7);
    vs_free(ints);
  }
  vs_free(p);
  v_free(v);
  v_free(w);
  v_free(three);
}
