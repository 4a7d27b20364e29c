// liste_chainee.cpp: the library's generic doubly linked lists (bare chains and list heads)
// with their portable binary form. Objects are the caller's; failures are reported through
// Erreur (texts of the message database) or marked with fct_Trace, never thrown.
#include "liste_chainee.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "bf.h"
#include "erreur.h"
#include "runtime/c_report.h"
#include "kvelosys.h"

namespace {

const char* const kFile = "src/liste_chainee";

void ReportCode(const char* fn, int line, int code, const char* arg = nullptr) {
  kvrt::ReportCode(kFile, fn, line, code, arg);
}

void Trace(const char* fn, int line) { fct_Trace(fn, line, kFile); }

int PtrEqual(void* a, void* b) { return a == b ? 1 : 0; }

LIS* LastNode(LIS* first) {
  if (!first) return nullptr;
  while (first->next) first = first->next;
  return first;
}

void FreeNode(LIS* node) { kvelomem_free(node, kFile, __LINE__); }

// A zeroed node or head; null after report 1001 at fn (and *error = -1) when memory runs out.
template <typename Rec>
Rec* NewRecord(const char* fn, int* error) {
  Rec* r = static_cast<Rec*>(kvelomem_calloc(1, sizeof(Rec), fn, 0, kFile, __LINE__));
  if (!r) {
    ReportCode(fn, __LINE__, 1001);
    if (error) *error = -1;
  }
  return r;
}

// A heap copy of the value at object, for the stock copiers; null (and *error = -1) when
// memory runs out.
template <typename T>
void* CopyValue(void* object, int* error, const char* tag) {
  T* p = static_cast<T*>(kvelomem_calloc(1, sizeof(T), tag, 0, kFile, __LINE__));
  if (!p) {
    if (error) *error = -1;
    return nullptr;
  }
  *p = *static_cast<T*>(object);
  return p;
}

// Gets the head, creating it when *head is null; null after a trace on failure.
LTE* EnsureHead(LTE** head, const char* fn, int line) {
  if (!head) {
    Trace(fn, line);
    return nullptr;
  }
  if (*head) return *head;
  int err = 0;
  LTE* h = LTE_creer(&err);
  if (!h) {
    Trace(fn, line);
    return nullptr;
  }
  *head = h;
  return h;
}

// A fresh node holding object; null after a trace at fn, line when it cannot be had.
LIS* NewNode(void* object, int type, const char* fn, int line) {
  int err = 0;
  LIS* n = LIS_creer(type, &err);
  if (!n) {
    Trace(fn, line);
    return nullptr;
  }
  n->object = object;
  return n;
}

// The head insertion that the positional inserts fall back on; -1 after a trace at fn, line.
int InsertFirst(LTE** head, void* object, int type, const char* fn, int line) {
  if (LTE_ins_debut(head, object, type) != 0) {
    Trace(fn, line);
    return -1;
  }
  return 0;
}

// The object a copy of the list holds for node n: the copier's copy, or the same object
// without a copier. False when the copier reports a failure through *error.
bool CopyObject(const LIS* n, LIS_COPY_FCT copier, int* error, void** obj) {
  *obj = n->object;
  if (!copier) return true;
  *error = 0;
  *obj = copier(n->object, error);
  return *error == 0;
}

// Links node n after *last (n becomes the first node when *last is null) and makes it *last.
void LinkAfter(LIS** first, LIS** last, LIS* n) {
  n->prev = *last;
  n->next = nullptr;
  if (*last) (*last)->next = n;
  else *first = n;
  *last = n;
}

// Appends node n to the head's chain as its new current node.
void LinkLast(LTE* h, LIS* n) {
  LinkAfter(&h->first, &h->last, n);
  h->current = n;
  h->count++;
}

// One more object for a list being built (a copy of src through copier, or the next object of
// a binary form through reader): the node is made first, so that an object, once made, always
// has a node to live in. The filled node, or null after a trace at fn with *error set (no node
// is left behind, and a failing callback must leave nothing to free).
LIS* FilledNode(const LIS* src, LIS_COPY_FCT copier, FILE* stream, LIS_READ_FCT reader, int* error,
                const char* fn) {
  LIS* n = LIS_creer(src ? src->type : -1, error);
  if (!n) {
    Trace(fn, __LINE__);
    *error = -1;
    return nullptr;
  }
  bool ok = true;
  if (src) {
    ok = CopyObject(src, copier, error, &n->object);
  } else {
    ok = BF_fread_int(stream, &n->type, 1) == 0;
    if (ok) {
      *error = 0;
      n->object = reader(stream, error);
      ok = (*error == 0);
    }
  }
  if (!ok) {
    Trace(fn, __LINE__);
    if (*error == 0) *error = -1;
    n->object = nullptr;
    FreeNode(n);
    return nullptr;
  }
  return n;
}

// The binary form shared by chains and heads: count, then (type, object) for each node of
// the given type (-1: every node); fn names the caller in the reports.
int WriteNodes(FILE* stream, LIS* first, int count, int type, LIS_WRITE_FCT writer, const char* fn) {
  if (!stream) {
    ReportCode(fn, __LINE__, 2500);
    return -1;
  }
  if (!writer) {
    Trace(fn, __LINE__);
    return -1;
  }
  if (BF_fwrite_int(stream, &count, 1) != 0) {
    Trace(fn, __LINE__);
    return -1;
  }
  for (LIS* n = first; n; n = n->next) {
    if (type != -1 && n->type != type) continue;
    if (BF_fwrite_int(stream, &n->type, 1) != 0 || writer(stream, n->object) != 0) {
      Trace(fn, __LINE__);
      return -1;
    }
  }
  if (fflush(stream) != 0) {
    ReportCode(fn, __LINE__, 1003, strerror(errno));
    return -1;
  }
  return 0;
}

// The node count that opens a binary form, read after the argument checks (argsOk covers the
// reader and the destination); 0, or -1 after a report at fn.
int ReadCount(FILE* stream, bool argsOk, const char* fn, int* count) {
  if (!stream) {
    ReportCode(fn, __LINE__, 2005);
    return -1;
  }
  if (!argsOk || BF_fread_int(stream, count, 1) != 0 || *count < 0) {
    Trace(fn, __LINE__);
    return -1;
  }
  return 0;
}

// Unlinks `node` from the chain starting at *first (the node must be in it) and frees it.
void UnlinkAndFree(LIS** first, LIS* node, LIS_FREE_FCT rel, bool releaseNull) {
  if (node->prev) node->prev->next = node->next;
  else *first = node->next;
  if (node->next) node->next->prev = node->prev;
  if (rel && (releaseNull || node->object)) rel(node->object);
  node->object = nullptr;
  FreeNode(node);
}

}  // namespace

KVELO_C_BEGIN

LIS* LIS_creer(int type, int* error) {
  LIS* n = NewRecord<LIS>("LIS_creer", error);
  if (n) n->type = type;
  return n;
}

LTE* LTE_creer(int* error) { return NewRecord<LTE>("LTE_creer", error); }

int LIS_ins(LIS** at, void* object, int type) {
  if (!at) {
    Trace("LIS_ins", __LINE__);
    return -1;
  }
  LIS* n = NewNode(object, type, "LIS_ins", __LINE__);
  if (!n) return -1;
  if (!*at) {
    *at = n;
    return 0;
  }
  LIS* a = *at;
  n->prev = a;
  n->next = a->next;
  if (a->next) a->next->prev = n;
  a->next = n;
  return 0;
}

int LIS_ins_debut(LIS** list, void* object, int type) {
  if (!list) {
    Trace("LIS_ins_debut", __LINE__);
    return -1;
  }
  LIS* n = NewNode(object, type, "LIS_ins_debut", __LINE__);
  if (!n) return -1;
  n->next = *list;
  if (*list) (*list)->prev = n;
  *list = n;
  return 0;
}

int LIS_ins_fin(LIS** list, void* object, int type) {
  if (!list) {
    Trace("LIS_ins_fin", __LINE__);
    return -1;
  }
  LIS* n = NewNode(object, type, "LIS_ins_fin", __LINE__);
  if (!n) return -1;
  LIS* last = LastNode(*list);
  if (!last) {
    *list = n;
  } else {
    last->next = n;
    n->prev = last;
  }
  return 0;
}

int LIS_ins_fin_unique(LIS** list, void* object, int type, int* inserted, LIS_CMP_FCT cmp) {
  if (inserted) *inserted = 0;
  if (!list) {
    Trace("LIS_ins_fin_unique", __LINE__);
    return -1;
  }
  LIS* found = nullptr;
  LIS_chercher(*list, object, cmp, &found);
  if (found) return 0;
  if (LIS_ins_fin(list, object, type) != 0) {
    Trace("LIS_ins_fin_unique", __LINE__);
    return -1;
  }
  if (inserted) *inserted = 1;
  return 0;
}

int LTE_ins_debut(LTE** head, void* object, int type) {
  LTE* h = EnsureHead(head, "LTE_ins_debut", __LINE__);
  if (!h) return -1;
  LIS* n = NewNode(object, type, "LTE_ins_debut", __LINE__);
  if (!n) return -1;
  n->next = h->first;
  if (h->first) h->first->prev = n;
  h->first = n;
  if (!h->last) h->last = n;
  h->current = n;
  h->count++;
  return 0;
}

int LTE_ins_fin(LTE** head, void* object, int type) {
  LTE* h = EnsureHead(head, "LTE_ins_fin", __LINE__);
  if (!h) return -1;
  LIS* n = NewNode(object, type, "LTE_ins_fin", __LINE__);
  if (!n) return -1;
  LinkLast(h, n);
  return 0;
}

int LTE_ins_fin_unique(LTE** head, void* object, int type, int* inserted, LIS_CMP_FCT cmp) {
  if (inserted) *inserted = 0;
  if (!head || !*head) {
    if (InsertFirst(head, object, type, "LTE_ins_fin_unique", __LINE__) != 0) return -1;
    if (inserted) *inserted = 1;
    return 0;
  }
  LIS* found = nullptr;
  LIS_chercher((*head)->first, object, cmp, &found);
  if (found) {
    (*head)->current = found;
    return 0;
  }
  if (LTE_ins_fin(head, object, type) != 0) {
    Trace("LTE_ins_fin_unique", __LINE__);
    return -1;
  }
  if (inserted) *inserted = 1;
  return 0;
}

int LTE_ins_avant(LTE** head, LIS* node, void* object, int type) {
  if (!head || !*head || !node || (*head)->count == 0 || node == (*head)->first) {
    return InsertFirst(head, object, type, "LTE_ins_avant", __LINE__);
  }
  LTE* h = *head;
  LIS* n = NewNode(object, type, "LTE_ins_avant", __LINE__);
  if (!n) return -1;
  n->next = node;
  n->prev = node->prev;
  if (node->prev) node->prev->next = n;
  node->prev = n;
  h->current = n;
  h->count++;
  return 0;
}

int LTE_ins_apres(LTE** head, LIS* node, void* object, int type) {
  if (!head || !*head || !node || (*head)->count == 0) {
    return InsertFirst(head, object, type, "LTE_ins_apres", __LINE__);
  }
  LTE* h = *head;
  LIS* n = NewNode(object, type, "LTE_ins_apres", __LINE__);
  if (!n) return -1;
  n->prev = node;
  n->next = node->next;
  if (node->next) node->next->prev = n;
  node->next = n;
  if (h->last == node) h->last = n;
  h->current = n;
  h->count++;
  return 0;
}

int LTE_ins(LTE** head, LIS* node, void* object, int type) {
  return LTE_ins_apres(head, node, object, type);
}

int LIS_length(LIS* first) {
  int n = 0;
  for (; first; first = first->next) n++;
  return n;
}

int LTE_length(LTE* head) { return head ? head->count : 0; }

int LIS_length_type(LIS* first, int type) {
  int n = 0;
  for (; first; first = first->next)
    if (type == -1 || first->type == type) n++;
  return n;
}

int LTE_length_type(LTE* head, int type) { return head ? LIS_length_type(head->first, type) : 0; }

int LIS_length_cmp(LIS* first, void* probe, LIS_CMP_FCT cmp) {
  if (!cmp) cmp = PtrEqual;
  int n = 0;
  for (; first; first = first->next)
    if (cmp(first->object, probe)) n++;
  return n;
}

int LTE_length_cmp(LTE* head, void* probe, LIS_CMP_FCT cmp) {
  return head ? LIS_length_cmp(head->first, probe, cmp) : 0;
}

void* LIS_chercher(LIS* first, void* probe, LIS_CMP_FCT cmp, LIS** found) {
  if (!cmp) cmp = PtrEqual;
  for (LIS* n = first; n; n = n->next) {
    if (found) *found = n;
    if (cmp(n->object, probe)) return n->object;
  }
  if (found) *found = nullptr;
  return nullptr;
}

void* LTE_chercher(LTE* head, void* probe, LIS_CMP_FCT cmp, LIS** found) {
  LIS* node = nullptr;
  void* obj = LIS_chercher(head ? head->first : nullptr, probe, cmp, &node);
  if (head) head->current = node;
  if (found) *found = node;
  return obj;
}

void* LIS_chercher_objet(LIS* first, void* probe, LIS_CMP_FCT cmp) {
  return LIS_chercher(first, probe, cmp, nullptr);
}

void* LTE_chercher_objet(LTE* head, void* probe, LIS_CMP_FCT cmp) {
  return LTE_chercher(head, probe, cmp, nullptr);
}

LIS* LIS_chercher_element(LIS* first, void* probe, LIS_CMP_FCT cmp) {
  LIS* node = nullptr;
  LIS_chercher(first, probe, cmp, &node);
  return node;
}

LIS* LTE_chercher_element(LTE* head, void* probe, LIS_CMP_FCT cmp) {
  LIS* node = nullptr;
  LTE_chercher(head, probe, cmp, &node);
  return node;
}

int LIS_exist(LIS* first, void* probe, LIS_CMP_FCT cmp) {
  return LIS_chercher(first, probe, cmp, nullptr) ? 1 : 0;
}

int LTE_exist(LTE* head, void* probe, LIS_CMP_FCT cmp) {
  return LTE_chercher(head, probe, cmp, nullptr) ? 1 : 0;
}

LIS* LIS_chercher_ieme(LIS* first, int i) {
  if (i < 0) return nullptr;
  for (; first && i > 0; i--) first = first->next;
  return first;
}

LIS* LTE_chercher_ieme(LTE* head, int i) { return head ? LIS_chercher_ieme(head->first, i) : nullptr; }

LIS* LIS_chercher_type(LIS* first, int type) {
  for (; first; first = first->next)
    if (first->type == type) return first;
  return nullptr;
}

LIS* LTE_chercher_type(LTE* head, int type) { return head ? LIS_chercher_type(head->first, type) : nullptr; }

LIS* LIS_append(LIS** list, LIS* chain) {
  LIS* last = LastNode(*list);
  if (!last) {
    *list = chain;
    return nullptr;
  }
  last->next = chain;
  if (chain) chain->prev = last;
  return last;
}

int LTE_append(LTE** head, LTE* other) {
  LTE* h = EnsureHead(head, "LTE_append", __LINE__);
  if (!h) return -1;
  if (!other || other == h || other->count == 0 || !other->first) return 0;
  if (h->last) {
    h->last->next = other->first;
    other->first->prev = h->last;
  } else {
    h->first = other->first;
  }
  h->last = other->last;
  h->count += other->count;
  // The nodes now belong to *head alone: an emptied `other` can be freed without touching them.
  other->first = other->last = other->current = nullptr;
  other->count = 0;
  return 0;
}

int LIS_sup_elt(LIS** list, LIS* node, LIS_FREE_FCT rel) {
  if (!list || !*list || !node) {
    ReportCode("LIS_sup_elt", __LINE__, 2500);
    return -1;
  }
  if (node == *list) {
    UnlinkAndFree(list, node, rel, false);
    return 0;
  }
  LIS* p = *list;
  while (p && p->next != node) p = p->next;
  if (!p) return 0;
  UnlinkAndFree(list, node, rel, true);
  return 0;
}

int LTE_sup_elt(LTE* head, LIS* node, LIS_FREE_FCT rel) {
  if (!head || !head->first || !node) {
    ReportCode("LTE_sup_elt", __LINE__, 2500);
    return -1;
  }
  LIS* pred = nullptr;
  if (node != head->first) {
    LIS* p = head->first;
    while (p && p->next != node) p = p->next;
    if (!p) return 0;
    pred = p;
  }
  bool wasLast = (head->last == node);
  if (head->current == node) head->current = nullptr;
  UnlinkAndFree(&head->first, node, rel, pred != nullptr);
  head->count--;
  if (wasLast) head->last = pred;
  if (head->count <= 0) {
    head->count = 0;
    head->last = nullptr;
  }
  return 0;
}

int LIS_sup_objet(LIS** list, void* probe, LIS_CMP_FCT cmp, LIS_FREE_FCT rel) {
  LIS* node = nullptr;
  LIS_chercher(list ? *list : nullptr, probe, cmp, &node);
  if (!node) return 0;
  if (LIS_sup_elt(list, node, rel) != 0) {
    Trace("LIS_sup_objet", __LINE__);
    return -1;
  }
  return 0;
}

int LTE_sup_objet(LTE* head, void* probe, LIS_CMP_FCT cmp, LIS_FREE_FCT rel) {
  LIS* node = nullptr;
  LTE_chercher(head, probe, cmp, &node);
  if (!node) return 0;
  if (LTE_sup_elt(head, node, rel) != 0) {
    Trace("LTE_sup_objet", __LINE__);
    return -1;
  }
  return 0;
}

int LIS_free(LIS** list, LIS_FREE_FCT rel) {
  if (!list) return 0;
  LIS* n = *list;
  while (n) {
    LIS* next = n->next;
    if (rel) {
      rel(n->object);
      n->object = nullptr;
    }
    FreeNode(n);
    n = next;
  }
  *list = nullptr;
  return 0;
}

int LTE_free(LTE** head, LIS_FREE_FCT rel) {
  if (!head || !*head) return 0;
  LIS_free(&(*head)->first, rel);
  kvelomem_free(*head, kFile, __LINE__);
  *head = nullptr;
  return 0;
}

LIS* LIS_copier(LIS* first, LIS_COPY_FCT copier, int* error) {
  int localErr = 0;
  if (!error) error = &localErr;
  *error = 0;
  // On a failure the copies made so far are handed back in their chain: the list cannot
  // release the caller's objects, the caller can.
  LIS* out = nullptr;
  LIS* tail = nullptr;
  for (LIS* n = first; n; n = n->next) {
    LIS* node = FilledNode(n, copier, nullptr, nullptr, error, "LIS_copier");
    if (!node) return out;
    LinkAfter(&out, &tail, node);
  }
  return out;
}

LTE* LTE_copier(LTE* head, LIS_COPY_FCT copier, int* error) {
  int localErr = 0;
  if (!error) error = &localErr;
  *error = 0;
  LTE* out = LTE_creer(error);
  if (!out) {
    Trace("LTE_copier", __LINE__);
    return nullptr;
  }
  for (LIS* n = head ? head->first : nullptr; n; n = n->next) {
    LIS* node = FilledNode(n, copier, nullptr, nullptr, error, "LTE_copier");
    if (!node) return out;  // the copies made so far, for the caller to release
    LinkLast(out, node);
  }
  return out;
}

int LIS_print(LIS* first, LIS_PRINT_FCT printer, FILE* stream) {
  if (!stream) stream = stdout;
  if (!first || !printer) return 0;
  for (LIS* n = first; n; n = n->next) printer(n->object, stream);
  fflush(stream);
  return 0;
}

int LTE_print(LTE* head, LIS_PRINT_FCT printer, FILE* stream) {
  return LIS_print(head ? head->first : nullptr, printer, stream);
}

int LIS_boutput(FILE* stream, LIS* first, LIS_WRITE_FCT writer, int type) {
  return WriteNodes(stream, first, LIS_length_type(first, type), type, writer, "LIS_boutput");
}

int LTE_boutput(FILE* stream, LTE* head, LIS_WRITE_FCT writer) {
  // A missing head is written as the empty list it stands for.
  return WriteNodes(stream, head ? head->first : nullptr, head ? head->count : 0, -1, writer, "LTE_boutput");
}

LIS* LIS_binput(FILE* stream, LIS_READ_FCT reader, int* error) {
  int localErr = 0;
  if (!error) error = &localErr;
  int count = 0;
  *error = ReadCount(stream, reader != nullptr, "LIS_binput", &count);
  if (*error != 0 || count == 0) return nullptr;
  // The objects come from the caller's reader and only the caller can release them: on a
  // damaged record the nodes read whole are handed back with the error.
  LIS* first = nullptr;
  LIS* last = nullptr;
  for (int k = 0; k < count; k++) {
    LIS* n = FilledNode(nullptr, nullptr, stream, reader, error, "LIS_binput");
    if (!n) return first;
    LinkAfter(&first, &last, n);
  }
  return first;
}

int LTE_binput(FILE* stream, LTE** head, LIS_READ_FCT reader) {
  int count = 0;
  if (ReadCount(stream, head != nullptr && reader != nullptr, "LTE_binput", &count) != 0) return -1;
  if (count == 0) return 0;
  const bool created = (*head == nullptr);
  LTE* h = EnsureHead(head, "LTE_binput", __LINE__);
  if (!h) return -1;
  for (int k = 0; k < count; k++) {
    int err = 0;
    LIS* n = FilledNode(nullptr, nullptr, stream, reader, &err, "LTE_binput");
    if (!n) {
      // The nodes read whole stay in the head, where the caller can release their objects.
      if (created && h->count == 0) LTE_free(head, nullptr);
      return -1;
    }
    LinkLast(h, n);
  }
  return 0;
}

int LIS_cmp_str(void* a, void* b) { return std::strcmp(static_cast<const char*>(a), static_cast<const char*>(b)) == 0 ? 1 : 0; }

int LIS_cmp_int(void* a, void* b) { return *static_cast<int*>(a) == *static_cast<int*>(b) ? 1 : 0; }

int LIS_cmp_db(void* a, void* b) {
  // Equal values match even where their difference is no number (two equal infinities).
  const double x = *static_cast<double*>(a);
  const double y = *static_cast<double*>(b);
  return (x == y || std::fabs(x - y) < 1e-14) ? 1 : 0;
}

int LIS_cmp_ptr(void* a, void* b) { return PtrEqual(a, b); }

void LIS_free_str(void* object) { kvelomem_free(object, kFile, __LINE__); }
void LIS_free_int(void* object) { kvelomem_free(object, kFile, __LINE__); }
void LIS_free_db(void* object) { kvelomem_free(object, kFile, __LINE__); }

int LIS_print_str(void* object, FILE* stream) {
  fprintf(stream ? stream : stdout, "%s\n", static_cast<const char*>(object));
  return 0;
}

int LIS_print_int(void* object, FILE* stream) {
  fprintf(stream ? stream : stdout, "%d\n", *static_cast<int*>(object));
  return 0;
}

int LIS_print_db(void* object, FILE* stream) {
  fprintf(stream ? stream : stdout, "%g\n", *static_cast<double*>(object));
  return 0;
}

void* LIS_copy_str(void* object, int* error) {
  char* s = kvelo_strdup(static_cast<const char*>(object), "LIS_copy_str");
  if (!s && object && error) *error = -1;
  return s;
}

void* LIS_copy_int(void* object, int* error) { return CopyValue<int>(object, error, "LIS_copy_int"); }

void* LIS_copy_db(void* object, int* error) { return CopyValue<double>(object, error, "LIS_copy_db"); }

KVELO_C_END
