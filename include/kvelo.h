/* kvelo.h: umbrella header of libkvelo.so for C++ hosts. A host includes only this file to
 * reach the whole public C and C++ interface: runtime services, BLAS/LAPACK forwarders,
 * vector and matrix containers, the Kriging model, the C matrix library and the design of
 * experiments (C hosts include kvelo_c.h, which holds the C part). Installed, the headers
 * lie in <prefix>/include/kvelo: "kvelo.h" or <kvelo/kvelo.h> both find this file.
 * Process-wide state of the library (message-tool registry, C status word, mapping tables,
 * random-number state of the C matrix library) is unguarded: drive the library from one
 * thread at a time; the call stacks are per thread and the global time manager serialises
 * its own operations. */
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
