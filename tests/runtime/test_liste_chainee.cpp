// Tests of the linked lists: chain and head insertions, searches, removals, copies, printing
// and the binary form (checked byte by byte against hand-made files).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "binfile.h"
#include "bf.h"
#include "kvelosys.h"
#include "liste_chainee.h"
#include "msgcapture.h"

using kvtest::Bytes;
using kvtest::MakeBytes;

namespace {

// Objects of the chain tests: the addresses of these ints.
int v[8] = {10, 11, 12, 13, 14, 15, 16, 17};

std::vector<int> Values(LIS* first) {
  std::vector<int> out;
  for (LIS* n = first; n; n = n->next) out.push_back(*static_cast<int*>(n->object));
  return out;
}

// Checks that every prev link mirrors the next links.
bool LinksConsistent(LIS* first) {
  LIS* prev = nullptr;
  for (LIS* n = first; n; n = n->next) {
    if (n->prev != prev) return false;
    prev = n;
  }
  return true;
}

int g_released = 0;
void CountRelease(void*) { g_released++; }

int WriteStr(FILE* f, void* o) { return BF_fwrite_str(f, static_cast<const char*>(o)); }
// Reader of heap strings that, when it fails, frees what it read: it leaves nothing to free.
void* ReadStr(FILE* f, int* err) {
  char* s = nullptr;
  if (BF_fread_str(f, &s) != 0) {
    kvelomem_free(s, __FILE__, __LINE__);
    *err = 1;
    return nullptr;
  }
  return s;
}

// Reader of 4-byte ints that hands out addresses of a static pool (so a failed read leaks nothing).
int g_pool[16];
int g_poolNext = 0;
void* ReadPooledInt(FILE* f, int* err) {
  int* p = &g_pool[g_poolNext++ % 16];
  if (BF_fread_int(f, p, 1) != 0) *err = 1;
  return p;
}
int WriteInt(FILE* f, void* o) { return BF_fwrite_int(f, static_cast<const int*>(o), 1); }

// What LIS_binput reads with read from the file at path (*err its status); the file is closed.
LIS* ReadList(const kvtest::TempPath& path, void* (*read)(FILE*, int*), int* err) {
  FILE* f = std::fopen(path.c_str(), "rb");
  LIS* l = LIS_binput(f, read, err);
  std::fclose(f);
  return l;
}

// Whether the chain from first holds exactly these strings with these types, in order, every
// prev link mirroring the next links.
testing::AssertionResult HoldsStrings(LIS* first, const std::vector<std::pair<std::string, int>>& want) {
  if (LIS_length(first) != static_cast<int>(want.size()))
    return testing::AssertionFailure() << "length " << LIS_length(first) << ", want " << want.size();
  LIS* n = first;
  for (size_t k = 0; k < want.size(); ++k, n = n->next) {
    if (static_cast<char*>(n->object) != want[k].first || n->type != want[k].second)
      return testing::AssertionFailure() << "node " << k << ": \"" << static_cast<char*>(n->object) << "\" type "
                                         << n->type;
  }
  if (!LinksConsistent(first)) return testing::AssertionFailure() << "prev links differ from next links";
  return testing::AssertionSuccess();
}

void* FailingCopy(void* o, int* err) {
  if (*static_cast<int*>(o) == 12) {
    *err = 1;
    return nullptr;
  }
  return LIS_copy_int(o, err);
}

}  // namespace

TEST(LisChain, InsertionsKeepOrderAndLinks) {
  LIS* l = nullptr;
  ASSERT_EQ(LIS_ins_fin(&l, &v[0], 1), 0);  // a
  ASSERT_EQ(LIS_ins_fin(&l, &v[1], 2), 0);  // a b
  LIS* at = l;
  ASSERT_EQ(LIS_ins(&at, &v[2], 3), 0);     // a new b
  EXPECT_EQ(Values(l), (std::vector<int>{10, 12, 11}));
  ASSERT_EQ(LIS_ins_debut(&l, &v[3], 4), 0);
  EXPECT_EQ(Values(l), (std::vector<int>{13, 10, 12, 11}));
  EXPECT_TRUE(LinksConsistent(l));
  EXPECT_EQ(l->prev, nullptr);

  LIS* empty = nullptr;
  ASSERT_EQ(LIS_ins(&empty, &v[4], 7), 0);  // a null *at becomes the node
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->type, 7);
  EXPECT_EQ(LIS_free(&empty, nullptr), 0);
  EXPECT_EQ(empty, nullptr);
  EXPECT_EQ(LIS_free(&l, nullptr), 0);
}

TEST(LisChain, InsertUniqueUsesPointerEqualityOrComparator) {
  LIS* l = nullptr;
  int inserted = -1;
  EXPECT_EQ(LIS_ins_fin_unique(&l, &v[0], 0, &inserted, nullptr), 0);
  EXPECT_EQ(inserted, 1);
  EXPECT_EQ(LIS_ins_fin_unique(&l, &v[0], 0, &inserted, nullptr), 0);
  EXPECT_EQ(inserted, 0);
  int same = 10;  // equal value, other address
  EXPECT_EQ(LIS_ins_fin_unique(&l, &same, 0, &inserted, nullptr), 0);
  EXPECT_EQ(inserted, 1);
  int again = 10;
  EXPECT_EQ(LIS_ins_fin_unique(&l, &again, 0, &inserted, LIS_cmp_int), 0);
  EXPECT_EQ(inserted, 0);
  EXPECT_EQ(LIS_length(l), 2);
  LIS_free(&l, nullptr);
}

TEST(LisChain, CountsAndSearches) {
  LIS* l = nullptr;
  for (int k = 0; k < 5; k++) LIS_ins_fin(&l, &v[k], k % 2);
  EXPECT_EQ(LIS_length(l), 5);
  EXPECT_EQ(LIS_length(nullptr), 0);
  EXPECT_EQ(LIS_length_type(l, -1), LIS_length(l));
  EXPECT_EQ(LIS_length_type(l, 1), 2);
  int probe = 12;
  EXPECT_EQ(LIS_length_cmp(l, &probe, LIS_cmp_int), 1);

  LIS* found = reinterpret_cast<LIS*>(1);
  EXPECT_EQ(LIS_chercher(l, &probe, LIS_cmp_int, &found), &v[2]);
  EXPECT_EQ(found, l->next->next);
  int absent = 99;
  EXPECT_EQ(LIS_chercher(l, &absent, LIS_cmp_int, &found), nullptr);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(LIS_chercher_objet(l, &v[3], nullptr), &v[3]);  // pointer equality by default
  EXPECT_EQ(LIS_chercher_objet(l, &probe, nullptr), nullptr);
  EXPECT_EQ(LIS_exist(l, &probe, LIS_cmp_int), 1);
  EXPECT_EQ(LIS_exist(l, &absent, LIS_cmp_int), 0);
  EXPECT_EQ(LIS_chercher_element(l, &v[4], nullptr), l->next->next->next->next);

  EXPECT_EQ(LIS_chercher_ieme(l, 0), l);
  EXPECT_EQ(LIS_chercher_ieme(l, 4)->object, &v[4]);
  EXPECT_EQ(LIS_chercher_ieme(l, 5), nullptr);
  EXPECT_EQ(LIS_chercher_ieme(l, -1), nullptr);
  EXPECT_EQ(LIS_chercher_type(l, 1), l->next);
  EXPECT_EQ(LIS_chercher_type(l, 9), nullptr);
  EXPECT_EQ(LTE_chercher_ieme(nullptr, 0), nullptr);
  EXPECT_EQ(LTE_chercher_type(nullptr, 0), nullptr);
  LIS_free(&l, nullptr);
}

TEST(LisChain, AppendReturnsFormerLast) {
  LIS* a = nullptr;
  LIS* b = nullptr;
  LIS_ins_fin(&a, &v[0], 0);
  LIS_ins_fin(&a, &v[1], 0);
  LIS_ins_fin(&b, &v[2], 0);
  LIS* last = a->next;
  EXPECT_EQ(LIS_append(&a, b), last);
  EXPECT_EQ(Values(a), (std::vector<int>{10, 11, 12}));
  EXPECT_TRUE(LinksConsistent(a));
  LIS* c = nullptr;
  LIS* d = nullptr;
  LIS_ins_fin(&d, &v[3], 0);
  EXPECT_EQ(LIS_append(&c, d), nullptr);
  EXPECT_EQ(c, d);
  LIS_free(&a, nullptr);
  LIS_free(&c, nullptr);
}

TEST(LisChain, RemovalRules) {
  kvtest::MsgCapture cap;
  LIS* l = nullptr;
  for (int k = 0; k < 3; k++) LIS_ins_fin(&l, &v[k], 0);

  // A node of another chain: nothing changes, no report.
  LIS* other = nullptr;
  LIS_ins_fin(&other, &v[5], 0);
  EXPECT_EQ(LIS_sup_elt(&l, other, nullptr), 0);
  EXPECT_EQ(LIS_length(l), 3);

  // Middle node with a release: the release gets its object.
  g_released = 0;
  EXPECT_EQ(LIS_sup_elt(&l, l->next, CountRelease), 0);
  EXPECT_EQ(g_released, 1);
  EXPECT_EQ(Values(l), (std::vector<int>{10, 12}));
  EXPECT_TRUE(LinksConsistent(l));

  // First node whose object is null: the release is not called for it.
  l->object = nullptr;
  g_released = 0;
  EXPECT_EQ(LIS_sup_elt(&l, l, CountRelease), 0);
  EXPECT_EQ(g_released, 0);
  EXPECT_EQ(Values(l), (std::vector<int>{12}));
  EXPECT_EQ(l->prev, nullptr);

  // Remove by object.
  int probe = 12;
  EXPECT_EQ(LIS_sup_objet(&l, &probe, LIS_cmp_int, nullptr), 0);
  EXPECT_EQ(l, nullptr);
  EXPECT_EQ(LIS_sup_objet(&l, &probe, LIS_cmp_int, nullptr), 0);  // absent

  // Empty list or null node: -1 with an error report.
  cap.Clear();
  EXPECT_EQ(LIS_sup_elt(&l, other, nullptr), -1);
  EXPECT_EQ(LIS_sup_elt(&other, nullptr, nullptr), -1);
  EXPECT_GE(cap.Count(2), 2);
  LIS_free(&other, nullptr);
}

TEST(LteHead, InsertionsMaintainCountLastAndCurrent) {
  LTE* h = nullptr;
  ASSERT_EQ(LTE_ins_fin(&h, &v[1], 0), 0);  // creates the head
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(LTE_ins_debut(&h, &v[0], 0), 0);
  EXPECT_EQ(h->current->object, &v[0]);
  ASSERT_EQ(LTE_ins_apres(&h, h->last, &v[3], 0), 0);  // after the last: new last
  EXPECT_EQ(h->last->object, &v[3]);
  ASSERT_EQ(LTE_ins_avant(&h, h->last, &v[2], 0), 0);
  ASSERT_EQ(LTE_ins_avant(&h, h->first, &v[4], 0), 0);  // before the first: new first
  EXPECT_EQ(h->first->object, &v[4]);
  EXPECT_EQ(h->current, h->first);
  ASSERT_EQ(LTE_ins(&h, h->first, &v[5], 0), 0);
  EXPECT_EQ(Values(h->first), (std::vector<int>{14, 15, 10, 11, 12, 13}));
  EXPECT_EQ(h->count, 6);
  EXPECT_EQ(LTE_length(h), 6);
  EXPECT_TRUE(LinksConsistent(h->first));
  EXPECT_EQ(h->last->next, nullptr);

  int inserted = -1;
  int probe = 12;
  EXPECT_EQ(LTE_ins_fin_unique(&h, &probe, 0, &inserted, LIS_cmp_int), 0);
  EXPECT_EQ(inserted, 0);
  EXPECT_EQ(h->current->object, &v[2]);  // the matching node becomes current
  EXPECT_EQ(LTE_ins_fin_unique(&h, &v[6], 0, &inserted, nullptr), 0);
  EXPECT_EQ(inserted, 1);
  EXPECT_EQ(h->last->object, &v[6]);
  EXPECT_EQ(LTE_free(&h, nullptr), 0);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(LTE_free(&h, nullptr), 0);  // null head: nothing

  LTE* h2 = nullptr;
  EXPECT_EQ(LTE_ins_fin_unique(&h2, &v[0], 3, &inserted, nullptr), 0);
  EXPECT_EQ(inserted, 1);
  EXPECT_EQ(h2->count, 1);
  LTE* h3 = nullptr;
  EXPECT_EQ(LTE_ins_avant(&h3, nullptr, &v[0], 0), 0);
  EXPECT_EQ(LTE_ins_apres(&h3, nullptr, &v[1], 0), 0);  // null node: at the start
  EXPECT_EQ(Values(h3->first), (std::vector<int>{11, 10}));
  LTE_free(&h2, nullptr);
  LTE_free(&h3, nullptr);
}

TEST(LteHead, SearchSetsCurrent) {
  LTE* h = nullptr;
  for (int k = 0; k < 4; k++) LTE_ins_fin(&h, &v[k], k);
  int probe = 11;
  LIS* node = nullptr;
  EXPECT_EQ(LTE_chercher(h, &probe, LIS_cmp_int, &node), &v[1]);
  EXPECT_EQ(h->current, node);
  int absent = 99;
  EXPECT_EQ(LTE_chercher_objet(h, &absent, LIS_cmp_int), nullptr);
  EXPECT_EQ(h->current, nullptr);
  EXPECT_EQ(LTE_chercher_element(h, &v[3], nullptr), h->last);
  EXPECT_EQ(LTE_exist(h, &probe, LIS_cmp_int), 1);
  EXPECT_EQ(LTE_length_type(h, 2), 1);
  EXPECT_EQ(LTE_length_cmp(h, &probe, LIS_cmp_int), 1);
  EXPECT_EQ(LTE_chercher_ieme(h, 2)->object, &v[2]);
  EXPECT_EQ(LTE_chercher_type(h, 3), h->last);
  LTE_free(&h, nullptr);
}

TEST(LteHead, RemovalKeepsCountLastAndClearsCurrent) {
  kvtest::MsgCapture cap;
  LTE* h = nullptr;
  for (int k = 0; k < 3; k++) LTE_ins_fin(&h, &v[k], 0);
  // Removing the current (last inserted) node clears current and moves last back.
  ASSERT_EQ(h->current, h->last);
  LIS* mid = h->first->next;
  EXPECT_EQ(LTE_sup_elt(h, h->last, nullptr), 0);
  EXPECT_EQ(h->current, nullptr);
  EXPECT_EQ(h->last, mid);
  EXPECT_EQ(h->count, 2);
  int probe = 10;
  EXPECT_EQ(LTE_sup_objet(h, &probe, LIS_cmp_int, nullptr), 0);
  EXPECT_EQ(h->count, 1);
  EXPECT_EQ(h->first, mid);
  EXPECT_EQ(mid->prev, nullptr);
  EXPECT_EQ(LTE_sup_elt(h, mid, nullptr), 0);  // the only node
  EXPECT_EQ(h->count, 0);
  EXPECT_EQ(h->first, nullptr);
  EXPECT_EQ(h->last, nullptr);
  cap.Clear();
  EXPECT_EQ(LTE_sup_elt(h, nullptr, nullptr), -1);
  EXPECT_GE(cap.Count(2), 1);
  LTE_free(&h, nullptr);
}

TEST(LteHead, AppendMovesNodesAndEmptiesTheOther) {
  LTE* a = nullptr;
  LTE* b = nullptr;
  LTE_ins_fin(&a, &v[0], 0);
  LTE_ins_fin(&b, &v[1], 0);
  LTE_ins_fin(&b, &v[2], 0);
  EXPECT_EQ(LTE_append(&a, b), 0);
  EXPECT_EQ(Values(a->first), (std::vector<int>{10, 11, 12}));
  EXPECT_EQ(a->count, 3);
  EXPECT_EQ(a->last->object, &v[2]);
  EXPECT_TRUE(LinksConsistent(a->first));
  // The other head no longer names the moved nodes: freeing it frees none of them.
  EXPECT_EQ(b->count, 0);
  EXPECT_EQ(b->first, nullptr);
  EXPECT_EQ(b->last, nullptr);
  LTE_free(&b, nullptr);

  LTE* c = nullptr;
  LTE* empty = nullptr;
  int err = 0;
  empty = LTE_creer(&err);
  EXPECT_EQ(LTE_append(&c, a), 0);  // creates c
  EXPECT_EQ(c->count, 3);
  EXPECT_EQ(LTE_append(&c, empty), 0);
  EXPECT_EQ(c->count, 3);
  LTE_free(&a, nullptr);
  LTE_free(&empty, nullptr);
  LTE_free(&c, nullptr);
}

TEST(LisCopy, DeepSharedAndFailingCopies) {
  LIS* l = nullptr;
  for (int k = 0; k < 3; k++) LIS_ins_fin(&l, &v[k], k + 1);
  int err = -5;
  LIS* deep = LIS_copier(l, LIS_copy_int, &err);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(Values(deep), (std::vector<int>{10, 11, 12}));
  EXPECT_NE(deep->object, l->object);
  EXPECT_EQ(deep->next->type, 2);
  EXPECT_TRUE(LinksConsistent(deep));
  LIS_free(&deep, LIS_free_int);

  LIS* shared = LIS_copier(l, nullptr, &err);
  EXPECT_EQ(shared->object, l->object);
  LIS_free(&shared, nullptr);
  EXPECT_EQ(LIS_copier(nullptr, nullptr, &err), nullptr);

  // A copier that fails on the first object: nothing was copied, nothing is handed back.
  LIS* two = nullptr;
  LIS_ins_fin(&two, &v[2], 0);
  EXPECT_EQ(LIS_copier(two, FailingCopy, &err), nullptr);
  EXPECT_NE(err, 0);
  LIS_free(&two, nullptr);

  LTE* h = nullptr;
  for (int k = 0; k < 2; k++) LTE_ins_fin(&h, &v[k], 0);
  LTE* hc = LTE_copier(h, LIS_copy_int, &err);
  ASSERT_NE(hc, nullptr);
  EXPECT_EQ(hc->count, 2);
  EXPECT_EQ(Values(hc->first), (std::vector<int>{10, 11}));
  LTE_free(&hc, LIS_free_int);
  LTE_free(&h, nullptr);
  LTE* e = LTE_creer(&err);
  LTE* ec = LTE_copier(e, nullptr, &err);
  ASSERT_NE(ec, nullptr);
  EXPECT_EQ(ec->count, 0);
  LTE_free(&e, nullptr);
  LTE_free(&ec, nullptr);
  LIS_free(&l, nullptr);
}

// The copies a copier made before a later one failed are the caller's objects: they come back
// in the chain (or head) returned with the error, where the caller releases them. Leak
// detection checks that nothing is lost; the values check that nothing is mixed up.
TEST(LisCopy, ALaterFailureHandsBackTheCopiesMade) {
  LIS* l = nullptr;
  for (int k = 0; k < 4; k++) LIS_ins_fin(&l, &v[k], k + 1);  // 10 11 12 13: fails at 12
  int err = 0;
  LIS* part = LIS_copier(l, FailingCopy, &err);
  EXPECT_NE(err, 0);
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(Values(part), (std::vector<int>{10, 11}));
  EXPECT_EQ(part->type, 1);
  EXPECT_EQ(part->next->type, 2);
  EXPECT_NE(part->object, l->object);  // copies, not the originals
  EXPECT_TRUE(LinksConsistent(part));
  LIS_free(&part, LIS_free_int);

  LTE* h = nullptr;
  for (int k = 0; k < 4; k++) LTE_ins_fin(&h, &v[k], k + 1);
  err = 0;
  LTE* hc = LTE_copier(h, FailingCopy, &err);
  EXPECT_NE(err, 0);
  ASSERT_NE(hc, nullptr);
  EXPECT_EQ(hc->count, 2);
  EXPECT_EQ(Values(hc->first), (std::vector<int>{10, 11}));
  EXPECT_EQ(hc->last, hc->first->next);
  EXPECT_EQ(hc->current, hc->last);
  LTE_free(&hc, LIS_free_int);
  LTE_free(&h, nullptr);
  LIS_free(&l, nullptr);
}

TEST(LisBinary, ADamagedRecordHandsBackTheObjectsReadBeforeIt) {
  // Three strings announced, the third cut: the two read whole are heap strings of the reader.
  kvtest::TempPath path("lis_dmg");
  ASSERT_TRUE(kvtest::WriteFileBytes(path.str(), MakeBytes({0, 0, 0, 3, 0, 0, 0, 7, 0, 0, 0, 2, 'a', 'b',
                                                            0, 0, 0, 8, 0, 0, 0, 1, 'c',
                                                            0, 0, 0, 9, 0, 0, 0, 5, 'd'})));
  int err = 0;
  LIS* part = ReadList(path, ReadStr, &err);
  EXPECT_NE(err, 0);
  EXPECT_TRUE(HoldsStrings(part, {{"ab", 7}, {"c", 8}}));
  LIS_free(&part, LIS_free_str);

  // Into a new head: the head is made and holds them.
  LTE* h = nullptr;
  FILE* f = std::fopen(path.c_str(), "rb");
  EXPECT_EQ(LTE_binput(f, &h, ReadStr), -1);
  std::fclose(f);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->count, 2);
  EXPECT_STREQ(static_cast<char*>(h->last->object), "c");
  LTE_free(&h, LIS_free_str);

  // A record damaged before its type: the same, with the nodes read before it.
  ASSERT_TRUE(kvtest::WriteFileBytes(path.str(), MakeBytes({0, 0, 0, 2, 0, 0, 0, 7, 0, 0, 0, 1, 'x', 0, 0})));
  part = ReadList(path, ReadStr, &err);
  EXPECT_NE(err, 0);
  EXPECT_TRUE(HoldsStrings(part, {{"x", 7}}));
  LIS_free(&part, LIS_free_str);
  // Damaged at the first record: nothing to hand back; a head made for it is freed again.
  ASSERT_TRUE(kvtest::WriteFileBytes(path.str(), MakeBytes({0, 0, 0, 2, 0, 0})));
  f = std::fopen(path.c_str(), "rb");
  EXPECT_EQ(LIS_binput(f, ReadStr, &err), nullptr);
  EXPECT_NE(err, 0);
  std::rewind(f);
  EXPECT_EQ(LTE_binput(f, &h, ReadStr), -1);
  EXPECT_EQ(h, nullptr);
  std::fclose(f);
}

TEST(LisElements, ReadyMadeFunctions) {
  double a = 1.0, b = 1.0 + 1e-15, c = 1.0 + 1e-13;
  EXPECT_EQ(LIS_cmp_db(&a, &b), 1);
  EXPECT_EQ(LIS_cmp_db(&a, &c), 0);
  // Equal values match whatever they are: the difference of two equal infinities is no number.
  double inf = HUGE_VAL, minf = -HUGE_VAL, nan = std::nan(""), big = 1e300;
  EXPECT_EQ(LIS_cmp_db(&inf, &inf), 1);
  EXPECT_EQ(LIS_cmp_db(&minf, &minf), 1);
  EXPECT_EQ(LIS_cmp_db(&inf, &minf), 0);
  EXPECT_EQ(LIS_cmp_db(&inf, &big), 0);
  EXPECT_EQ(LIS_cmp_db(&nan, &nan), 0);  // no number matches, not even itself
  EXPECT_EQ(LIS_cmp_db(&nan, &a), 0);
  char s1[] = "abc", s2[] = "abc", s3[] = "abd";
  EXPECT_EQ(LIS_cmp_str(s1, s2), 1);
  EXPECT_EQ(LIS_cmp_str(s1, s3), 0);
  int i1 = 4, i2 = 4, i3 = 5;
  EXPECT_EQ(LIS_cmp_int(&i1, &i2), 1);
  EXPECT_EQ(LIS_cmp_int(&i1, &i3), 0);
  EXPECT_EQ(LIS_cmp_ptr(&i1, &i1), 1);
  EXPECT_EQ(LIS_cmp_ptr(&i1, &i2), 0);

  int err = 0;
  char* sc = static_cast<char*>(LIS_copy_str(s1, &err));
  EXPECT_STREQ(sc, "abc");
  EXPECT_NE(sc, s1);
  LIS_free_str(sc);
  double* dc = static_cast<double*>(LIS_copy_db(&c, &err));
  EXPECT_EQ(*dc, c);
  LIS_free_db(dc);
}

TEST(LisPrint, PrintsInOrderAndNothingForEmpty) {
  kvtest::TempPath path("lis_print");
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  char a[] = "alpha", b[] = "beta";
  LIS* l = nullptr;
  LIS_ins_fin(&l, a, 0);
  LIS_ins_fin(&l, b, 0);
  EXPECT_EQ(LIS_print(l, LIS_print_str, f), 0);
  int x = -3;
  double d = 2.5;
  LIS* li = nullptr;
  LIS_ins_fin(&li, &x, 0);
  LTE* h = nullptr;
  LTE_ins_fin(&h, &d, 0);
  EXPECT_EQ(LIS_print(li, LIS_print_int, f), 0);
  EXPECT_EQ(LTE_print(h, LIS_print_db, f), 0);
  EXPECT_EQ(LIS_print(nullptr, LIS_print_str, f), 0);
  std::fclose(f);
  EXPECT_EQ(kvtest::ReadFileText(path.str()), "alpha\nbeta\n-3\n2.5\n");
  LIS_free(&l, nullptr);
  LIS_free(&li, nullptr);
  LTE_free(&h, nullptr);
}

TEST(LisBinary, TwoStringsByteForm) {
  kvtest::TempPath path("lis_bin");
  char a[] = "ab", b[] = "c";
  LIS* l = nullptr;
  LIS_ins_fin(&l, a, 5);
  LIS_ins_fin(&l, b, -2);
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_EQ(LIS_boutput(f, l, WriteStr, -1), 0);
  std::fclose(f);
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(path.str()),
                                 MakeBytes({0, 0, 0, 2, 0, 0, 0, 5, 0, 0, 0, 2, 'a', 'b', 0xFF, 0xFF, 0xFF, 0xFE,
                                            0, 0, 0, 1, 'c'})));

  int err = -1;
  LIS* back = ReadList(path, ReadStr, &err);
  EXPECT_EQ(err, 0);
  EXPECT_TRUE(HoldsStrings(back, {{"ab", 5}, {"c", -2}}));
  LIS_free(&back, LIS_free_str);

  // A type filter writes the number of selected nodes, not the length.
  f = std::fopen(path.c_str(), "wb");
  ASSERT_EQ(LIS_boutput(f, l, WriteStr, -2), 0);
  std::fclose(f);
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(path.str()),
                                 MakeBytes({0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 1, 'c'})));
  LIS_free(&l, nullptr);
}

TEST(LisBinary, HeadFormAppendsOnRead) {
  kvtest::TempPath path("lte_bin");
  int a = 7, b = -1;
  LTE* h = nullptr;
  LTE_ins_fin(&h, &a, 1);
  LTE_ins_fin(&h, &b, 2);
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_EQ(LTE_boutput(f, h, WriteInt), 0);
  std::fclose(f);
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(path.str()),
                                 MakeBytes({0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 7, 0, 0, 0, 2, 0xFF, 0xFF, 0xFF, 0xFF})));

  f = std::fopen(path.c_str(), "rb");
  ASSERT_EQ(LTE_binput(f, &h, ReadPooledInt), 0);
  std::fclose(f);
  EXPECT_EQ(h->count, 4);
  EXPECT_EQ(Values(h->first), (std::vector<int>{7, -1, 7, -1}));
  EXPECT_EQ(h->last->type, 2);
  EXPECT_TRUE(LinksConsistent(h->first));
  LTE_free(&h, nullptr);

  LTE* fresh = nullptr;
  f = std::fopen(path.c_str(), "rb");
  ASSERT_EQ(LTE_binput(f, &fresh, ReadPooledInt), 0);
  std::fclose(f);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->count, 2);
  LTE_free(&fresh, nullptr);
}

TEST(LisBinary, EmptyAndFailedReads) {
  kvtest::MsgCapture cap;
  kvtest::TempPath path("lis_bad");
  int err = 0;

  // An empty list: null with error 0; the head is left alone.
  ASSERT_TRUE(kvtest::WriteFileBytes(path.str(), MakeBytes({0, 0, 0, 0})));
  EXPECT_EQ(ReadList(path, ReadPooledInt, &err), nullptr);
  EXPECT_EQ(err, 0);
  LTE* h = nullptr;
  FILE* f = std::fopen(path.c_str(), "rb");
  EXPECT_EQ(LTE_binput(f, &h, ReadPooledInt), 0);
  EXPECT_EQ(h, nullptr);
  std::fclose(f);

  // Three announced nodes, the third object truncated: the two read whole come back with the
  // error (ASan checks that nothing else is left).
  ASSERT_TRUE(kvtest::WriteFileBytes(path.str(), MakeBytes({0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 5, 0, 0, 0, 1,
                                                            0, 0, 0, 6, 0, 0, 0, 1, 0, 0})));
  LIS* part = ReadList(path, ReadPooledInt, &err);
  EXPECT_NE(err, 0);
  EXPECT_EQ(Values(part), (std::vector<int>{5, 6}));
  LIS_free(&part, nullptr);

  // Into an existing head: it keeps what it had, followed by the nodes read whole.
  int z = 42;
  LTE_ins_fin(&h, &z, 9);
  LIS* before = h->first;
  f = std::fopen(path.c_str(), "rb");
  EXPECT_EQ(LTE_binput(f, &h, ReadPooledInt), -1);
  std::fclose(f);
  EXPECT_EQ(h->count, 3);
  EXPECT_EQ(h->first, before);
  EXPECT_EQ(Values(h->first), (std::vector<int>{42, 5, 6}));
  EXPECT_EQ(h->last->next, nullptr);
  EXPECT_EQ(h->current, h->last);
  EXPECT_TRUE(LinksConsistent(h->first));
  LTE_free(&h, nullptr);

  // A negative count is malformed.
  ASSERT_TRUE(kvtest::WriteFileBytes(path.str(), MakeBytes({0xFF, 0xFF, 0xFF, 0xFF})));
  EXPECT_EQ(ReadList(path, ReadPooledInt, &err), nullptr);
  EXPECT_NE(err, 0);

  // Null streams are reported as errors.
  cap.Clear();
  EXPECT_EQ(LIS_binput(nullptr, ReadPooledInt, &err), nullptr);
  EXPECT_EQ(err, -1);
  EXPECT_EQ(LTE_binput(nullptr, &h, ReadPooledInt), -1);
  LIS* l = nullptr;
  EXPECT_EQ(LIS_boutput(nullptr, l, WriteInt, -1), -1);
  EXPECT_GE(cap.Count(2), 3);
}

TEST(LisArguments, MissingListsAndCallbacks) {
  kvtest::MsgCapture cap;
  // A null head stands for an empty list.
  EXPECT_EQ(LTE_length(nullptr), 0);
  EXPECT_EQ(LTE_length_type(nullptr, -1), 0);
  EXPECT_EQ(LTE_length_cmp(nullptr, &v[0], nullptr), 0);
  EXPECT_EQ(LTE_chercher(nullptr, &v[0], nullptr, nullptr), nullptr);
  EXPECT_EQ(LTE_sup_objet(nullptr, &v[0], nullptr, nullptr), 0);
  kvtest::TempPath path("lis_args");
  FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_EQ(LTE_boutput(f, nullptr, WriteInt), 0);
  EXPECT_EQ(LTE_boutput(f, nullptr, nullptr), -1);
  EXPECT_EQ(LIS_boutput(f, nullptr, nullptr, -1), -1);
  std::fclose(f);
  EXPECT_TRUE(kvtest::BytesEqual(kvtest::ReadFileBytes(path.str()), MakeBytes({0, 0, 0, 0})));
  // Missing addresses of lists and missing callbacks are refused, not dereferenced.
  EXPECT_EQ(LIS_ins(nullptr, &v[0], 0), -1);
  EXPECT_EQ(LIS_ins_fin(nullptr, &v[0], 0), -1);
  EXPECT_EQ(LIS_ins_debut(nullptr, &v[0], 0), -1);
  EXPECT_EQ(LTE_ins_fin(nullptr, &v[0], 0), -1);
  EXPECT_EQ(LTE_ins_avant(nullptr, nullptr, &v[0], 0), -1);
  f = std::fopen(path.c_str(), "rb");
  int err = 0;
  EXPECT_EQ(LIS_binput(f, nullptr, &err), nullptr);
  EXPECT_EQ(err, -1);
  EXPECT_EQ(LTE_binput(f, nullptr, ReadPooledInt), -1);
  std::fclose(f);
  LIS* l = nullptr;
  LIS_ins_fin(&l, &v[0], 0);
  EXPECT_EQ(LIS_length_cmp(l, &v[0], nullptr), 1);  // pointer equality without a comparator
  EXPECT_EQ(LIS_print(l, nullptr, nullptr), 0);
  LIS_free(&l, nullptr);
}
