// prop_rt_lists.cpp: the C linked lists (LTE heads and bare LIS chains) and the string-keyed
// hash table, driven by random command sequences against a plain model. After every command
// the structure must equal the model (order, types, values, links, count, last node, current
// node), a refused call must leave it as it was, the binary form must read back as written and
// write again byte for byte, and memory running out must refuse cleanly.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bf.h"
#include "hash_util.h"
#include "kvelosys.h"
#include "liste_chainee.h"
#include "msgcapture.h"
#include "prop_support.h"
#include "runtime/heap_limit.h"

// clang-format off
KVELO_HOLDS(
    "LTE_creer", "LTE_ins", "LTE_ins_debut", "LTE_ins_fin", "LTE_ins_fin_unique", "LTE_ins_avant",
    "LTE_ins_apres", "LTE_length", "LTE_length_type", "LTE_length_cmp", "LTE_chercher",
    "LTE_chercher_objet", "LTE_chercher_element", "LTE_exist", "LTE_chercher_ieme",
    "LTE_chercher_type", "LTE_append", "LTE_sup_elt", "LTE_sup_objet", "LTE_free", "LTE_copier",
    "LTE_print", "LTE_boutput", "LTE_binput",
    "LIS_creer", "LIS_ins", "LIS_ins_debut", "LIS_ins_fin", "LIS_ins_fin_unique", "LIS_length",
    "LIS_length_type", "LIS_length_cmp", "LIS_chercher", "LIS_chercher_objet",
    "LIS_chercher_element", "LIS_exist", "LIS_chercher_ieme", "LIS_chercher_type", "LIS_append",
    "LIS_sup_elt", "LIS_sup_objet", "LIS_free", "LIS_copier", "LIS_print", "LIS_boutput",
    "LIS_binput", "LIS_cmp_int", "LIS_cmp_ptr", "LIS_cmp_str", "LIS_cmp_db", "LIS_free_int",
    "LIS_free_str", "LIS_free_db", "LIS_copy_int", "LIS_copy_str", "LIS_copy_db",
    "LIS_print_int", "LIS_print_str", "LIS_print_db",
    "hashCreate", "hashAdd", "hashSearch", "hashDelete", "hashDestroy", "hashDump",
    "hashStatistics");
// clang-format on

namespace {

using Node = std::pair<int, int>;  // type, value

// ---------------------------------------------------------------------------------------------
// Elements: heap ints (the lists' own copier and release), written as 4-byte ints.

void* NewInt(int v) {
  int err = 0;
  void* p = LIS_copy_int(&v, &err);
  RC_ASSERT((p != nullptr));
  RC_ASSERT(err == 0);
  return p;
}
int ValueOf(void* o) { return *static_cast<int*>(o); }
int WriteInt(FILE* f, void* o) { return BF_fwrite_int(f, static_cast<const int*>(o), 1); }
void* ReadInt(FILE* f, int* err) {
  int v = 0;
  if (BF_fread_int(f, &v, 1) != 0) {
    *err = 1;
    return nullptr;
  }
  return LIS_copy_int(&v, err);
}

// Every byte a stream holds, from the start.
std::vector<unsigned char> Bytes(FILE* f) {
  std::fflush(f);
  std::vector<unsigned char> out;
  std::rewind(f);
  int c;
  while ((c = std::fgetc(f)) != EOF) out.push_back(static_cast<unsigned char>(c));
  return out;
}

// The chain from first as (type, value) pairs; the links must mirror each other and end.
std::vector<Node> Walk(LIS* first, LIS** last = nullptr) {
  std::vector<Node> out;
  LIS* prev = nullptr;
  for (LIS* n = first; n; n = n->next) {
    RC_ASSERT(n->prev == prev);
    RC_ASSERT(out.size() < 100000u);
    out.emplace_back(n->type, ValueOf(n->object));
    prev = n;
  }
  if (last) *last = prev;
  return out;
}

LIS* NodeAt(LIS* first, int i) {
  LIS* n = first;
  while (n && i-- > 0) n = n->next;
  return n;
}

int IndexOf(LIS* first, const LIS* node) {
  int i = 0;
  for (LIS* n = first; n; n = n->next, ++i)
    if (n == node) return i;
  return -1;
}

// ---------------------------------------------------------------------------------------------
// The system: one list head and one bare chain. The model: their nodes, and the head's
// current node as an index (-1 for none, -2 for "any node of the list or none").

struct Lists {
  LTE* head = nullptr;
  LIS* chain = nullptr;
  ~Lists() {
    LTE_free(&head, LIS_free_int);
    LIS_free(&chain, LIS_free_int);
  }
};

struct Model {
  std::vector<Node> head;
  bool headExists = false;
  int current = -1;
  std::vector<Node> chain;
};

// The whole observable state of the system, for "a refusal changes nothing".
struct Snapshot {
  bool headExists;
  std::vector<Node> head;
  int count, current;
  std::vector<Node> chain;
  bool operator==(const Snapshot& o) const {
    return headExists == o.headExists && head == o.head && count == o.count &&
           current == o.current && chain == o.chain;
  }
};

Snapshot Take(const Lists& s) {
  Snapshot t{};
  t.headExists = s.head != nullptr;
  if (s.head) {
    t.head = Walk(s.head->first);
    t.count = s.head->count;
    t.current = s.head->current ? IndexOf(s.head->first, s.head->current) : -1;
  }
  t.chain = Walk(s.chain);
  return t;
}

// The system against the model: nodes, count, last node, and current within the list.
void Check(const Model& m, const Lists& s) {
  RC_ASSERT(((s.head != nullptr) == m.headExists));
  if (s.head) {
    LIS* last = nullptr;
    RC_ASSERT(Walk(s.head->first, &last) == m.head);
    RC_ASSERT(s.head->count == static_cast<int>(m.head.size()));
    RC_ASSERT(s.head->last == last);
    if (s.head->first) RC_ASSERT((s.head->first->prev == nullptr));
    const int cur = s.head->current ? IndexOf(s.head->first, s.head->current) : -1;
    // A current node that is not a node of the list is a dangling pointer.
    if (s.head->current) RC_ASSERT(cur >= 0);
    if (m.current != -2) RC_ASSERT(cur == m.current);
  }
  RC_ASSERT(Walk(s.chain) == m.chain);
}

using Cmd = rc::state::Command<Model, Lists>;

rc::Gen<int> SmallValue() { return rc::gen::inRange(-3, 6); }
rc::Gen<int> SmallType() { return rc::gen::inRange(-1, 3); }

// Inserts of the head: at the start, at the end, unique at the end, before or after a node
// (index -1 stands for a null node).
struct HeadInsert : Cmd {
  int how = *rc::gen::inRange(0, 6);
  int at = *rc::gen::inRange(-1, 8);
  int type = *SmallType();
  int value = *SmallValue();
  bool withCmp = *rc::gen::arbitrary<bool>();

  // Where the new node lands, and whether it lands at all.
  int Landing(const Model& m, bool* inserted) const {
    const int n = static_cast<int>(m.head.size());
    *inserted = true;
    switch (how) {
      case 0:
        return 0;
      case 1:
        return n;
      case 2:
        for (int i = 0; i < n; ++i)
          if (withCmp && m.head[i].second == value) {
            *inserted = false;
            return i;
          }
        return n;  // pointer equality never matches a fresh object
      case 3:  // before
        return at < 0 || at >= n ? 0 : at;
      default:  // 4, 5: after (LTE_ins_apres and LTE_ins)
        return at < 0 || at >= n ? 0 : at + 1;
    }
  }
  void apply(Model& m) const override {
    bool inserted;
    const int k = Landing(m, &inserted);
    m.headExists = true;
    if (inserted) m.head.insert(m.head.begin() + k, Node(type, value));
    m.current = k;
  }
  void run(const Model& m, Lists& s) const override {
    const int n = static_cast<int>(m.head.size());
    // A node index past the end stands for a node of another list: only indices inside it
    // are passed, the rest become null.
    LIS* node = s.head && at >= 0 && at < n ? NodeAt(s.head->first, at) : nullptr;
    void* obj = NewInt(value);
    int inserted = -7, rc = -7;
    switch (how) {
      case 0: rc = LTE_ins_debut(&s.head, obj, type); break;
      case 1: rc = LTE_ins_fin(&s.head, obj, type); break;
      case 2: rc = LTE_ins_fin_unique(&s.head, obj, type, &inserted, withCmp ? LIS_cmp_int : nullptr); break;
      case 3: rc = LTE_ins_avant(&s.head, node, obj, type); break;
      case 4: rc = LTE_ins_apres(&s.head, node, obj, type); break;
      default: rc = LTE_ins(&s.head, node, obj, type); break;
    }
    RC_ASSERT(rc == 0);
    if (how == 2) {
      bool want;
      Landing(m, &want);
      RC_ASSERT(inserted == (want ? 1 : 0));
      if (!want) LIS_free_int(obj);
    }
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override {
    static const char* names[] = {"ins_debut", "ins_fin", "ins_fin_unique", "ins_avant", "ins_apres", "ins"};
    os << "LTE_" << names[how] << "(at " << at << ", type " << type << ", value " << value
       << (how == 2 ? (withCmp ? ", cmp int" : ", cmp ptr") : "") << ")";
  }
};

// Queries of the head: none may change it, each answers as the model does.
struct HeadQuery : Cmd {
  int what = *rc::gen::inRange(0, 9);
  int arg = *rc::gen::inRange(-2, 8);
  void apply(Model& m) const override {
    // Only LTE_chercher says what becomes of the current node; after the other searches it
    // may be any node of the list.
    if (what >= 1 && what <= 4) m.current = -2;
    if (what == 0) {  // LTE_chercher sets current to the match, or null
      m.current = -1;
      for (int i = 0; i < static_cast<int>(m.head.size()); ++i)
        if (m.head[i].second == arg) {
          m.current = i;
          break;
        }
    }
  }
  void run(const Model& m, Lists& s) const override {
    int probe = arg;
    int first = -1, count = 0, typed = 0, firstTyped = -1;
    for (int i = 0; i < static_cast<int>(m.head.size()); ++i) {
      if (m.head[i].second == arg) {
        if (first < 0) first = i;
        ++count;
      }
      if (arg == -1 || m.head[i].first == arg) ++typed;
      if (firstTyped < 0 && m.head[i].first == arg) firstTyped = i;
    }
    LTE* h = s.head;
    switch (what) {
      case 0: {
        LIS* found = reinterpret_cast<LIS*>(1);
        void* o = LTE_chercher(h, &probe, LIS_cmp_int, &found);
        RC_ASSERT((o != nullptr) == (first >= 0));
        if (h) RC_ASSERT(IndexOf(h->first, found) == first);
        if (o) RC_ASSERT(ValueOf(o) == arg);
        break;
      }
      case 1: {
        void* o = LTE_chercher_objet(h, &probe, LIS_cmp_int);
        RC_ASSERT((o != nullptr) == (first >= 0));
        break;
      }
      case 2: {
        LIS* e = LTE_chercher_element(h, &probe, LIS_cmp_int);
        RC_ASSERT((h ? IndexOf(h->first, e) == first : e == nullptr));
        break;
      }
      case 3: RC_ASSERT(LTE_exist(h, &probe, LIS_cmp_int) == (first >= 0 ? 1 : 0)); break;
      case 4: RC_ASSERT(LTE_length_cmp(h, &probe, LIS_cmp_int) == count); break;
      case 5: RC_ASSERT(LTE_length_type(h, arg) == typed); break;
      case 6: {
        LIS* e = LTE_chercher_ieme(h, arg);
        const bool inside = arg >= 0 && arg < static_cast<int>(m.head.size());
        RC_ASSERT((inside ? h && IndexOf(h->first, e) == arg : e == nullptr));
        break;
      }
      case 7: {
        LIS* e = LTE_chercher_type(h, arg);
        RC_ASSERT((h ? IndexOf(h->first, e) == firstTyped : e == nullptr));
        break;
      }
      default: RC_ASSERT(LTE_length(h) == static_cast<int>(m.head.size())); break;
    }
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override {
    static const char* names[] = {"chercher", "chercher_objet", "chercher_element", "exist",
                                  "length_cmp", "length_type", "chercher_ieme", "chercher_type", "length"};
    os << "LTE_" << names[what] << "(" << arg << ")";
  }
};

// Removal of a node by position or by value; a null node or an empty list is refused.
struct HeadRemove : Cmd {
  bool byValue = *rc::gen::arbitrary<bool>();
  int arg = *rc::gen::inRange(-1, 8);
  int Target(const Model& m) const {
    if (!byValue) return arg >= 0 && arg < static_cast<int>(m.head.size()) ? arg : -1;
    for (int i = 0; i < static_cast<int>(m.head.size()); ++i)
      if (m.head[i].second == arg) return i;
    return -1;
  }
  void apply(Model& m) const override {
    const int k = Target(m);
    // Removal by value goes through a search, which moves the current node.
    if (byValue) m.current = -2;
    if (k < 0) return;
    m.head.erase(m.head.begin() + k);
    if (m.current == k) m.current = -1;
    else if (m.current > k) --m.current;
  }
  void run(const Model& m, Lists& s) const override {
    const Snapshot before = Take(s);
    const int k = Target(m);
    int rc;
    if (byValue) {
      int probe = arg;
      rc = LTE_sup_objet(s.head, &probe, LIS_cmp_int, LIS_free_int);
      RC_ASSERT(rc == 0);
    } else {
      LIS* node = s.head && k >= 0 ? NodeAt(s.head->first, k) : nullptr;
      rc = LTE_sup_elt(s.head, node, LIS_free_int);
      RC_ASSERT(rc == (k >= 0 ? 0 : -1));
    }
    if (rc != 0) RC_ASSERT(Take(s) == before);
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override {
    os << (byValue ? "LTE_sup_objet(value " : "LTE_sup_elt(node ") << arg << ")";
  }
};

// Appends a fresh list to the head; the other head is left empty and is freed here.
struct HeadAppend : Cmd {
  std::vector<int> values = *rc::gen::container<std::vector<int>>(*rc::gen::inRange(0, 4), SmallValue());
  void apply(Model& m) const override {
    m.headExists = true;
    for (int v : values) m.head.emplace_back(7, v);
    m.current = -2;
  }
  void run(const Model& m, Lists& s) const override {
    LTE* other = nullptr;
    for (int v : values) RC_ASSERT(LTE_ins_fin(&other, NewInt(v), 7) == 0);
    RC_ASSERT(LTE_append(&s.head, other) == 0);
    if (other) {
      RC_ASSERT((other->count == 0 && other->first == nullptr && other->last == nullptr));
      RC_ASSERT(LTE_free(&other, LIS_free_int) == 0);
    }
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override { os << "LTE_append(" << values.size() << " nodes)"; }
};

// A copy equals the original and shares no object with it; a copier that fails part-way hands
// back the copies made before it.
struct HeadCopy : Cmd {
  int failAt = *rc::gen::inRange(-1, 5);  // -1: no failure
  void run(const Model& m, Lists& s) const override {
    const Snapshot before = Take(s);
    static int left;
    left = failAt;
    auto copier = [](void* o, int* err) -> void* {
      if (left == 0) {
        *err = 1;
        return nullptr;
      }
      if (left > 0) --left;
      return LIS_copy_int(o, err);
    };
    int err = 0;
    LTE* copy = LTE_copier(s.head, copier, &err);
    RC_ASSERT(Take(s) == before);
    const int n = static_cast<int>(m.head.size());
    const bool fails = failAt >= 0 && failAt < n;
    RC_ASSERT((err != 0) == fails);
    const int made = fails ? failAt : n;
    // A null head copies as no head or as an empty one.
    if (s.head == nullptr) RC_ASSERT((copy == nullptr || copy->count == 0));
    if (copy) {
      std::vector<Node> want(m.head.begin(), m.head.begin() + made);
      RC_ASSERT(Walk(copy->first) == want);
      RC_ASSERT(copy->count == made);
      if (s.head)
        for (LIS *a = copy->first, *b = s.head->first; a; a = a->next, b = b->next) RC_ASSERT((a->object != b->object));
    }
    LTE_free(&copy, LIS_free_int);
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "LTE_copier(fail at " << failAt << ")"; }
};

// The binary form: what is written reads back as the same nodes, and the nodes read write back
// byte for byte. A cut stream keeps the nodes read whole (current the last of them) and a head
// the reader created but never filled is freed.
struct HeadBinary : Cmd {
  int cut = *rc::gen::inRange(-1, 40);  // bytes kept of the written form; -1 keeps all
  void apply(Model& m) const override {
    (void)m;  // run() appends what it reads to a new head of its own: the system is unchanged
  }
  void run(const Model& m, Lists& s) const override {
    const Snapshot before = Take(s);
    FILE* f = std::tmpfile();
    RC_ASSERT((f != nullptr));
    RC_ASSERT(LTE_boutput(f, s.head, WriteInt) == 0);
    std::vector<unsigned char> written = Bytes(f);
    std::fclose(f);
    RC_ASSERT(Take(s) == before);
    RC_ASSERT(written.size() == 4 + m.head.size() * 8);

    const bool whole = cut < 0 || cut >= static_cast<int>(written.size());
    std::vector<unsigned char> fed(written.begin(), whole ? written.end() : written.begin() + cut);
    FILE* g = std::tmpfile();
    if (!fed.empty()) std::fwrite(fed.data(), 1, fed.size(), g);
    std::rewind(g);
    LTE* back = nullptr;
    const int rc = LTE_binput(g, &back, ReadInt);
    std::fclose(g);
    if (whole) {
      RC_ASSERT(rc == 0);
      if (!m.head.empty()) {
        RC_ASSERT((back != nullptr));
        RC_ASSERT(Walk(back->first) == m.head);
        FILE* h = std::tmpfile();
        RC_ASSERT(LTE_boutput(h, back, WriteInt) == 0);
        RC_ASSERT(Bytes(h) == written);
        std::fclose(h);
      }
    } else {
      RC_ASSERT(rc == -1);
      // Nodes are 8 bytes after the 4-byte count; a count cut short reads none.
      const int whole_nodes = fed.size() < 4 ? 0 : static_cast<int>((fed.size() - 4) / 8);
      if (whole_nodes == 0) {
        RC_ASSERT((back == nullptr));
      } else {
        RC_ASSERT((back != nullptr));
        std::vector<Node> want(m.head.begin(), m.head.begin() + whole_nodes);
        RC_ASSERT(Walk(back->first) == want);
        RC_ASSERT(back->current == back->last);
      }
    }
    LTE_free(&back, LIS_free_int);
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "LTE_boutput/LTE_binput(cut " << cut << ")"; }
};

// Printing lists every value in order, one line each.
struct HeadPrint : Cmd {
  void run(const Model& m, Lists& s) const override {
    FILE* f = std::tmpfile();
    RC_ASSERT(LTE_print(s.head, LIS_print_int, f) == 0);
    std::vector<unsigned char> b = Bytes(f);
    std::fclose(f);
    std::string want;
    for (const Node& n : m.head) want += std::to_string(n.second) + "\n";
    RC_ASSERT(std::string(b.begin(), b.end()) == want);
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "LTE_print"; }
};

// Memory running out at the k-th block of an insertion or a copy: the call is refused and the
// list is as it was (a head the call would have created stays null).
struct HeadNoMemory : Cmd {
  int how = *rc::gen::inRange(0, 4);
  int value = *SmallValue();
  void run(const Model& m, Lists& s) const override {
    const Snapshot before = Take(s);
    void* obj = NewInt(value);
    kvrt::SetHeapBlocksLeft(0);
    int rc = 0;
    LIS* found = nullptr;
    switch (how) {
      case 0: rc = LTE_ins_fin(&s.head, obj, 1); break;
      case 1: rc = LTE_ins_debut(&s.head, obj, 1); break;
      case 2: rc = LTE_ins_avant(&s.head, s.head ? s.head->first : nullptr, obj, 1); break;
      default: {
        int inserted = -1;
        rc = LTE_ins_fin_unique(&s.head, obj, 1, &inserted, nullptr);
        RC_ASSERT(inserted == 0);
        (void)found;
      }
    }
    kvrt::SetHeapBlocksLeft(-1);
    RC_ASSERT(rc == -1);
    RC_ASSERT(Take(s) == before);
    LIS_free_int(obj);
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "no memory: insert #" << how; }
};

// Releasing the whole head: it becomes null, and a null head is released again harmlessly.
struct HeadFree : Cmd {
  void apply(Model& m) const override {
    m.head.clear();
    m.headExists = false;
    m.current = -1;
  }
  void run(const Model& m, Lists& s) const override {
    RC_ASSERT(LTE_free(&s.head, LIS_free_int) == 0);
    RC_ASSERT((s.head == nullptr));
    RC_ASSERT(LTE_free(&s.head, LIS_free_int) == 0);
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override { os << "LTE_free"; }
};

// ---- The bare chain. ----

struct ChainInsert : Cmd {
  int how = *rc::gen::inRange(0, 4);
  int at = *rc::gen::inRange(-1, 8);
  int type = *SmallType();
  int value = *SmallValue();
  int Landing(const Model& m, bool* inserted) const {
    const int n = static_cast<int>(m.chain.size());
    *inserted = true;
    switch (how) {
      case 0: return 0;
      case 1: return n;
      case 2:
        for (int i = 0; i < n; ++i)
          if (m.chain[i].second == value) {
            *inserted = false;
            return i;
          }
        return n;
      default:  // LIS_ins after the node at `at`; a null place takes the node itself
        return at < 0 || at >= n ? (n == 0 ? 0 : -1) : at + 1;
    }
  }
  void apply(Model& m) const override {
    bool inserted;
    const int k = Landing(m, &inserted);
    if (inserted && k >= 0) m.chain.insert(m.chain.begin() + k, Node(type, value));
  }
  void run(const Model& m, Lists& s) const override {
    bool want;
    const int k = Landing(m, &want);
    void* obj = NewInt(value);
    int rc = -7, inserted = -7;
    switch (how) {
      case 0: rc = LIS_ins_debut(&s.chain, obj, type); break;
      case 1: rc = LIS_ins_fin(&s.chain, obj, type); break;
      case 2: rc = LIS_ins_fin_unique(&s.chain, obj, type, &inserted, LIS_cmp_int); break;
      default: {
        if (k < 0) {  // a null place on a non-empty chain would start a second chain: skip
          LIS_free_int(obj);
          Check(m, s);
          return;
        }
        LIS* place = at >= 0 && at < static_cast<int>(m.chain.size()) ? NodeAt(s.chain, at) : nullptr;
        LIS** where = place ? &place : &s.chain;
        rc = LIS_ins(where, obj, type);
      }
    }
    RC_ASSERT(rc == 0);
    if (how == 2) {
      RC_ASSERT(inserted == (want ? 1 : 0));
      if (!want) LIS_free_int(obj);
    }
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override {
    static const char* names[] = {"ins_debut", "ins_fin", "ins_fin_unique", "ins"};
    os << "LIS_" << names[how] << "(at " << at << ", type " << type << ", value " << value << ")";
  }
};

struct ChainQuery : Cmd {
  int what = *rc::gen::inRange(0, 9);
  int arg = *rc::gen::inRange(-2, 8);
  void run(const Model& m, Lists& s) const override {
    int probe = arg;
    int first = -1, count = 0, typed = 0, firstTyped = -1;
    for (int i = 0; i < static_cast<int>(m.chain.size()); ++i) {
      if (m.chain[i].second == arg) {
        if (first < 0) first = i;
        ++count;
      }
      if (arg == -1 || m.chain[i].first == arg) ++typed;
      if (firstTyped < 0 && m.chain[i].first == arg) firstTyped = i;
    }
    switch (what) {
      case 0: {
        LIS* found = nullptr;
        void* o = LIS_chercher(s.chain, &probe, LIS_cmp_int, &found);
        RC_ASSERT((o != nullptr) == (first >= 0));
        RC_ASSERT(IndexOf(s.chain, found) == first);
        break;
      }
      case 1: RC_ASSERT((LIS_chercher_objet(s.chain, &probe, LIS_cmp_int) != nullptr) == (first >= 0)); break;
      case 2: RC_ASSERT(IndexOf(s.chain, LIS_chercher_element(s.chain, &probe, LIS_cmp_int)) == first); break;
      case 3: RC_ASSERT(LIS_exist(s.chain, &probe, LIS_cmp_int) == (first >= 0 ? 1 : 0)); break;
      case 4: RC_ASSERT(LIS_length_cmp(s.chain, &probe, LIS_cmp_int) == count); break;
      case 5: RC_ASSERT(LIS_length_type(s.chain, arg) == typed); break;
      case 6: {
        const bool inside = arg >= 0 && arg < static_cast<int>(m.chain.size());
        LIS* e = LIS_chercher_ieme(s.chain, arg);
        RC_ASSERT((inside ? IndexOf(s.chain, e) == arg : e == nullptr));
        break;
      }
      case 7: RC_ASSERT(IndexOf(s.chain, LIS_chercher_type(s.chain, arg)) == firstTyped); break;
      default: RC_ASSERT(LIS_length(s.chain) == static_cast<int>(m.chain.size())); break;
    }
    // Pointer equality matches only the very object.
    if (s.chain) RC_ASSERT(LIS_exist(s.chain, s.chain->object, LIS_cmp_ptr) == 1);
    RC_ASSERT(LIS_exist(s.chain, &probe, LIS_cmp_ptr) == 0);
    Check(m, s);
  }
  void show(std::ostream& os) const override {
    static const char* names[] = {"chercher", "chercher_objet", "chercher_element", "exist",
                                  "length_cmp", "length_type", "chercher_ieme", "chercher_type", "length"};
    os << "LIS_" << names[what] << "(" << arg << ")";
  }
};

struct ChainRemove : Cmd {
  bool byValue = *rc::gen::arbitrary<bool>();
  int arg = *rc::gen::inRange(-1, 8);
  int Target(const Model& m) const {
    if (!byValue) return arg >= 0 && arg < static_cast<int>(m.chain.size()) ? arg : -1;
    for (int i = 0; i < static_cast<int>(m.chain.size()); ++i)
      if (m.chain[i].second == arg) return i;
    return -1;
  }
  void apply(Model& m) const override {
    const int k = Target(m);
    if (k >= 0) m.chain.erase(m.chain.begin() + k);
  }
  void run(const Model& m, Lists& s) const override {
    const Snapshot before = Take(s);
    const int k = Target(m);
    int rc;
    if (byValue) {
      int probe = arg;
      rc = LIS_sup_objet(&s.chain, &probe, LIS_cmp_int, LIS_free_int);
      RC_ASSERT(rc == 0);
    } else {
      LIS* node = k >= 0 ? NodeAt(s.chain, k) : nullptr;
      rc = LIS_sup_elt(&s.chain, node, LIS_free_int);
      RC_ASSERT(rc == (k >= 0 ? 0 : -1));
    }
    if (rc != 0 || k < 0) RC_ASSERT(Take(s).chain == before.chain);
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override {
    os << (byValue ? "LIS_sup_objet(value " : "LIS_sup_elt(node ") << arg << ")";
  }
};

// Copy, print, binary form and append of the chain, each checked as for the head.
struct ChainRoundTrips : Cmd {
  int what = *rc::gen::inRange(0, 4);
  std::vector<int> values = *rc::gen::container<std::vector<int>>(*rc::gen::inRange(0, 3), SmallValue());
  void apply(Model& m) const override {
    if (what == 3)
      for (int v : values) m.chain.emplace_back(5, v);
  }
  void run(const Model& m, Lists& s) const override {
    const Snapshot before = Take(s);
    switch (what) {
      case 0: {
        int err = 0;
        LIS* copy = LIS_copier(s.chain, LIS_copy_int, &err);
        RC_ASSERT(err == 0);
        RC_ASSERT(Walk(copy) == m.chain);
        LIS_free(&copy, LIS_free_int);
        RC_ASSERT((copy == nullptr));
        break;
      }
      case 1: {
        FILE* f = std::tmpfile();
        RC_ASSERT(LIS_print(s.chain, LIS_print_int, f) == 0);
        std::vector<unsigned char> b = Bytes(f);
        std::fclose(f);
        std::string want;
        for (const Node& n : m.chain) want += std::to_string(n.second) + "\n";
        RC_ASSERT(std::string(b.begin(), b.end()) == want);
        break;
      }
      case 2: {
        FILE* f = std::tmpfile();
        const int type = values.empty() ? -1 : values[0] % 3;
        RC_ASSERT(LIS_boutput(f, s.chain, WriteInt, type) == 0);
        std::vector<unsigned char> written = Bytes(f);
        std::rewind(f);
        int err = 0;
        LIS* back = LIS_binput(f, ReadInt, &err);
        std::fclose(f);
        RC_ASSERT(err == 0);
        std::vector<Node> want;
        for (const Node& n : m.chain)
          if (type == -1 || n.first == type) want.push_back(n);
        RC_ASSERT(Walk(back) == want);
        FILE* g = std::tmpfile();
        RC_ASSERT(LIS_boutput(g, back, WriteInt, -1) == 0);
        RC_ASSERT(Bytes(g) == written);
        std::fclose(g);
        LIS_free(&back, LIS_free_int);
        break;
      }
      default: {
        LIS* other = nullptr;
        for (int v : values) RC_ASSERT(LIS_ins_fin(&other, NewInt(v), 5) == 0);
        LIS* formerLast = LIS_append(&s.chain, other);
        RC_ASSERT(IndexOf(s.chain, formerLast) == static_cast<int>(m.chain.size()) - 1);
        Model after = m;
        apply(after);
        Check(after, s);
        return;
      }
    }
    RC_ASSERT(Take(s) == before);
    Check(m, s);
  }
  void show(std::ostream& os) const override {
    static const char* names[] = {"LIS_copier", "LIS_print", "LIS_boutput/LIS_binput", "LIS_append"};
    os << names[what] << "(" << values.size() << ")";
  }
};

struct ChainNoMemory : Cmd {
  int how = *rc::gen::inRange(0, 4);
  void run(const Model& m, Lists& s) const override {
    const Snapshot before = Take(s);
    void* obj = NewInt(1);
    int err = 0;
    kvrt::SetHeapBlocksLeft(0);
    int rc = 0;
    switch (how) {
      case 0: rc = LIS_ins_fin(&s.chain, obj, 1); break;
      case 1: rc = LIS_ins_debut(&s.chain, obj, 1); break;
      case 2: {
        int inserted = -1;
        rc = LIS_ins_fin_unique(&s.chain, obj, 1, &inserted, nullptr);
        RC_ASSERT(inserted == 0);
        break;
      }
      default: {
        LIS* node = LIS_creer(3, &err);
        LTE* head = LTE_creer(&err);
        RC_ASSERT((node == nullptr && head == nullptr && err == -1));
        rc = -1;
      }
    }
    kvrt::SetHeapBlocksLeft(-1);
    RC_ASSERT(rc == -1);
    RC_ASSERT(Take(s) == before);
    LIS_free_int(obj);
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "no memory: chain insert #" << how; }
};

}  // namespace

RC_GTEST_PROP(ListProps, EveryListOperationKeepsTheModel, ()) {
  kvtest::MsgCapture quiet;  // refusals report; the harness reads results, not texts
  Model m;
  Lists s;
  rc::state::check(m, s,
                   rc::state::gen::execOneOfWithArgs<HeadInsert, HeadQuery, HeadRemove, HeadAppend, HeadCopy,
                                                     HeadBinary, HeadPrint, HeadNoMemory, HeadFree, ChainInsert,
                                                     ChainQuery, ChainRemove, ChainRoundTrips, ChainNoMemory>());
}

// The ready-made element functions: comparators, copies, printers and releases of strings,
// ints and doubles, over values from the whole range.
RC_GTEST_PROP(ListProps, ElementFunctionsAgreeWithTheirDefinitions, ()) {
  kvtest::MsgCapture quiet;
  const double a = *kvtest::AnyDouble();
  const double b = *rc::gen::oneOf(rc::gen::just(a), kvtest::AnyDouble());
  double da = a, db = b;
  const bool near = (a == b) || (std::isfinite(a) && std::isfinite(b) && std::fabs(a - b) < 1e-14);
  RC_ASSERT(LIS_cmp_db(&da, &db) == (near && !std::isnan(a) && !std::isnan(b) ? 1 : 0));
  int err = 0;
  void* cd = LIS_copy_db(&da, &err);
  RC_ASSERT((err == 0 && cd != nullptr && kvtest::SameBits(*static_cast<double*>(cd), a)));
  const std::string text = *rc::gen::container<std::string>(rc::gen::inRange('a', 'z'));
  void* cs = LIS_copy_str(const_cast<char*>(text.c_str()), &err);
  RC_ASSERT((err == 0 && cs != nullptr && std::strcmp(static_cast<char*>(cs), text.c_str()) == 0));
  RC_ASSERT(LIS_cmp_str(cs, const_cast<char*>(text.c_str())) == 1);
  int i1 = *rc::gen::arbitrary<int>(), i2 = i1;
  RC_ASSERT(LIS_cmp_int(&i1, &i2) == 1);
  FILE* f = std::tmpfile();
  RC_ASSERT(LIS_print_str(cs, f) == 0 && LIS_print_int(&i1, f) == 0 && LIS_print_db(&da, f) == 0);
  char want[128];
  std::snprintf(want, sizeof want, "%d\n%g\n", i1, a);
  std::vector<unsigned char> bytes = Bytes(f);
  std::fclose(f);
  RC_ASSERT(std::string(bytes.begin(), bytes.end()) == text + "\n" + want);
  LIS_free_db(cd);
  LIS_free_str(cs);
  // Copies made with no memory left give null and -1.
  kvrt::SetHeapBlocksLeft(0);
  err = 0;
  void* none = LIS_copy_int(&i1, &err);
  kvrt::SetHeapBlocksLeft(-1);
  RC_ASSERT((none == nullptr && err == -1));
}

// ---------------------------------------------------------------------------------------------
// The hash table against a map: every key of a small pool is looked up after every command.

struct Table {
  HASH_TABLE* t = nullptr;
  ~Table() { hashDestroy(t); }
};
using HashModel = std::map<std::string, long>;
using HCmd = rc::state::Command<HashModel, Table>;

const std::vector<std::string>& KeyPool() {
  static const std::vector<std::string> pool = {"", "a", "b", "ab", "ba", "key", "KEY", "k e y",
                                                std::string(300, 'x'), "\xc3\xa9t\xc3\xa9"};
  return pool;
}

void CheckTable(const HashModel& m, const Table& s) {
  for (const std::string& k : KeyPool()) {
    void* v = reinterpret_cast<void*>(1);
    const int rc = hashSearch(s.t, k.c_str(), &v);
    auto it = m.find(k);
    RC_ASSERT((rc != 0) == (it != m.end()));
    RC_ASSERT((v == (it == m.end() ? nullptr : reinterpret_cast<void*>(it->second))));
  }
}

struct HashAdd : HCmd {
  std::string key = *rc::gen::elementOf(KeyPool());
  long value = *rc::gen::inRange(1, 1000);
  void apply(HashModel& m) const override { m[key] = value; }
  void run(const HashModel& m, Table& s) const override {
    RC_ASSERT(hashAdd(s.t, key.c_str(), reinterpret_cast<void*>(value)) == 0);
    HashModel after = m;
    apply(after);
    CheckTable(after, s);
  }
  void show(std::ostream& os) const override { os << "hashAdd(\"" << key.substr(0, 12) << "\", " << value << ")"; }
};

struct HashDelete : HCmd {
  std::string key = *rc::gen::elementOf(KeyPool());
  void apply(HashModel& m) const override { m.erase(key); }
  void run(const HashModel& m, Table& s) const override {
    RC_ASSERT(hashDelete(s.t, key.c_str()) == 0);
    HashModel after = m;
    apply(after);
    CheckTable(after, s);
  }
  void show(std::ostream& os) const override { os << "hashDelete(\"" << key.substr(0, 12) << "\")"; }
};

// Refused calls (null key, null table, memory out for a new key) change nothing.
struct HashRefused : HCmd {
  int how = *rc::gen::inRange(0, 5);
  std::string key = *rc::gen::elementOf(KeyPool());
  void run(const HashModel& m, Table& s) const override {
    // A replacement needs no memory and succeeds: only a new key can run out.
    if (how == 4 && m.count(key)) return CheckTable(m, s);
    int rc = 0;
    switch (how) {
      case 0: rc = hashAdd(s.t, nullptr, reinterpret_cast<void*>(5)); break;
      case 1: rc = hashAdd(nullptr, key.c_str(), reinterpret_cast<void*>(5)); break;
      case 2: rc = hashDelete(s.t, nullptr); break;
      case 3: rc = hashDelete(nullptr, key.c_str()); break;
      default:
        kvrt::SetHeapBlocksLeft(0);
        rc = hashAdd(s.t, key.c_str(), reinterpret_cast<void*>(5));
        kvrt::SetHeapBlocksLeft(-1);
    }
    RC_ASSERT(rc == -1);
    CheckTable(m, s);
  }
  void show(std::ostream& os) const override { os << "refused hash call #" << how << " (\"" << key.substr(0, 12) << "\")"; }
};

// The printed forms name every key, and printing changes nothing.
struct HashPrint : HCmd {
  void run(const HashModel& m, Table& s) const override {
    FILE* f = std::tmpfile();
    RC_ASSERT(hashStatistics(f, s.t) == 0);
    RC_ASSERT(hashDump(f, "table %p\n", s.t) == 0);
    std::vector<unsigned char> b = Bytes(f);
    std::fclose(f);
    const std::string text(b.begin(), b.end());
    for (const auto& kv : m)
      if (!kv.first.empty()) RC_ASSERT(text.find(kv.first) != std::string::npos);
    RC_ASSERT((hashStatistics(nullptr, s.t) == -1));
    RC_ASSERT((hashDump(nullptr, "x", s.t) == -1));
    CheckTable(m, s);
  }
  void show(std::ostream& os) const override { os << "hashStatistics + hashDump"; }
};

RC_GTEST_PROP(HashProps, EveryTableOperationKeepsTheModel, ()) {
  kvtest::MsgCapture quiet;
  const int size = *rc::gen::inRange(0, 12);
  Table s;
  RC_ASSERT(hashCreate(size, &s.t) == 0);
  RC_ASSERT((s.t != nullptr));
  // The bucket count is the first prime at or above the size (1 for 0 and 1; even sizes start
  // one above).
  auto prime = [](int n) {
    if (n < 2) return false;
    for (int d = 2; d * d <= n; ++d)
      if (n % d == 0) return false;
    return true;
  };
  int want = size <= 1 ? 1 : (size % 2 == 0 ? size + 1 : size);
  while (want > 1 && !prime(want)) ++want;
  RC_ASSERT(s.t->size == want);
  rc::state::check(HashModel{}, s, rc::state::gen::execOneOfWithArgs<HashAdd, HashDelete, HashRefused, HashPrint>());
}

RC_GTEST_PROP(HashProps, CreationRefusesWithoutLeavingATable, ()) {
  kvtest::MsgCapture quiet;
  const int size = *rc::gen::inRange(-5, 50);
  const bool noMemory = *rc::gen::arbitrary<bool>();
  HASH_TABLE* t = reinterpret_cast<HASH_TABLE*>(1);
  if (noMemory) kvrt::SetHeapBlocksLeft(0);
  const int rc = hashCreate(size, &t);
  kvrt::SetHeapBlocksLeft(-1);
  if (size < 0 || noMemory) {
    RC_ASSERT(rc == -1);
    RC_ASSERT((t == nullptr));
  } else {
    RC_ASSERT(rc == 0);
    RC_ASSERT(hashDestroy(t) == 0);
  }
  RC_ASSERT((hashCreate(3, nullptr) == -1));
  RC_ASSERT((hashDestroy(nullptr) == 0));
}
