/* runtime_headers_c.c: a C host of the runtime's C headers. It includes every one of them as a
 * C99 translation unit and calls into each family, so that a header that is not C, or a
 * function exported with C++ linkage, fails the build or the link of this test. */
#include "kvelosys.h"
#include "bf.h"
#include "chaine.h"
#include "erreur.h"
#include "hash_util.h"
#include "kvelo_mmap.h"
#include "kvelomem_ooc.h"
#include "liste_chainee.h"
#include "kvelo_time.h"

#include <string.h>

#include "runtime_headers_c.h"

/* Burns some CPU time so that the CPU clock must move. */
static double Spin(void) {
  volatile double x = 0.0;
  long i;
  for (i = 0; i < 20000000L; ++i) x += 1e-9 * (double)(i % 7);
  return x;
}

void runtime_c_host(struct RuntimeCResults* r) {
  double origin = -1.0, cpuOrigin = -1.0;
  float cpu0, cpuUsed;
  char* copy;
  HASH_TABLE* table = NULL;
  void* found = NULL;
  static int values[3] = {10, 20, 30};
  LIS* list = NULL;
  int status = 1;

  /* Clocks and the global time manager. */
  r->tickCount = InitElapseTime(&origin, &cpuOrigin);
  r->origin = origin;
  r->cpuOrigin = cpuOrigin;
  cpu0 = cputim_c(0.0f);
  r->spin = Spin();
  cpuUsed = cputim_c(cpu0);
  r->cpuUsed = cpuUsed;
  r->elapsed = ReturnElapseTime(origin);
  freeTimeManager();
  initTimeManager(2);
  cTimeManagerBeginBlock("CHost::Outer");
  cTimeManagerBeginBlock("CHost::Inner");
  cTimeManagerEndBlock("CHost::Inner");
  cTimeManagerEndBlock("CHost::Outer");
  dispTimeManager();
  freeTimeManager();
  dumpTimeManager(1); /* no manager any more: writes nothing */
  initTimeManager(0);

  /* Heap and text. */
  copy = kvelo_strdup("C host", "runtime_c_host");
  r->strdupEqual = copy != NULL && strcmp(copy, "C host") == 0;
  kvelomem_free(copy, __FILE__, __LINE__);
  r->endianCorrect = BF_EndianIsCorrect();
  r->usefulLine = ligne_utile("keyword 12\n");
  r->commentLine = ligne_utile("# comment\n");

  /* Hash table and lists. */
  r->hashCreated = hashCreate(10, &table);
  hashAdd(table, "alpha", &values[1]);
  r->hashFound = hashSearch(table, "alpha", &found) != 0 && found == &values[1];
  hashDestroy(table);
  LIS_ins_fin(&list, &values[0], 1);
  LIS_ins_fin(&list, &values[1], 2);
  LIS_ins_fin(&list, &values[2], 3);
  r->listLength = LIS_length(list);
  r->listSecond = *(int*)LIS_chercher_ieme(list, 1)->object;
  LIS_free(&list, NULL);

  /* Out-of-core memory: the mode, and refusals that need no file. */
  r->memoryMode = kvelomem_getmode();
  r->munmapNull = kvelo_munmap(NULL, "runtime_c_host", __FILE__, __LINE__, &status);
  r->munmapStatus = status;
  r->ismappedNull = kvelomem_ismapped(NULL);

  /* C message interface: the status word of the C matrix library is reachable. */
  _LM_err_status = 0;
  r->statusWord = _LM_err_status;
  r->traceOn = is_trace_on(); /* the default tool shows trace marks on the screen */
}
