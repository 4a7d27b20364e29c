/* kvelo.h: umbrella header of libkvelo.so for C++ hosts. A host includes only this file to
 * reach the whole public C and C++ interface: runtime services, BLAS/LAPACK forwarders,
 * vector and matrix containers, the Kriging model, the C matrix library and the design of
 * experiments (C hosts include kvelo_c.h, which holds the C part). Installed, the headers
 * lie in <prefix>/include/kvelo: "kvelo.h" or <kvelo/kvelo.h> both find this file.
 * Threads: independent objects (models, vectors, matrices, designs, random generators) may
 * be used from different threads at once, each object from one thread at a time. Predictions
 * and predictor errors write to the model's caches and scratch arrays, so a model shared
 * between threads needs the host's lock, or one copy per thread. Messages may be reported
 * from several threads; call stacks are per thread, and the global time manager serialises
 * its own operations. Process-wide set-up and state are unguarded: set up message tools
 * before other threads report, and drive the C matrix library (status word, random numbers,
 * memory accounting) and the out-of-core units from one thread (README, "Threads"). */
#ifndef KVELO_H
#define KVELO_H

#include "kvelo_export.h"
#include "kvelo_version.h"

/* Every public C interface: runtime services, BLAS/LAPACK entry points, C matrix library. */
#include "kvelo_c.h"

/* Runtime: portable binary files of typed arrays, random numbers, call stacks, profiling,
 * messages, exceptions, the message tool, objects and algorithms, the work space. */
#include "C_bfd.h"
#include "C_RandNum.h"
#include "C_CallStack.h"
#include "C_TimeManager.h"
#include "C_KveloMessage.h"
#include "C_KveloException.h"
#include "C_MessageTool.h"
#include "C_Entity.h"
#include "C_WorkSpace.h"

/* Vector and matrix containers. */
#include "C_Type.h"
#include "C_Ptr.h"
#include "C_Vec.h"
#include "C_VecPi.h"
#include "C_VecRand.h"
#include "C_Communicator.h"
#include "C_Mat.h"
#include "C_MatMGe.h"
#include "C_MatMSym.h"
#include "C_AlgoPower.h"

/* Kriging response surfaces. */
#include "Kriging.h"

/* Design of experiments. */
#include "C_BaseDesign.h"

#endif
