/* kvelo.h: umbrella header of libkvelo.so. A host includes only this file to reach the
 * whole public C and C++ interface: runtime services, BLAS/LAPACK forwarders, vector and
 * matrix containers, the Kriging model, the C matrix library and the design of experiments.
 * Process-wide state of the library (message-tool registry, time manager, C status word,
 * mapping tables, random-number state of the C matrix library) is unguarded: drive the
 * library from one thread at a time; only the call stacks are per thread. */
#ifndef KVELO_H
#define KVELO_H

#include "kvelo_export.h"

/* Runtime: heap and system wrappers, portable binary files, keyword files, random numbers. */
#include "kvelosys.h"
#include "bf.h"
#include "C_bfd.h"
#include "chaine.h"
#include "C_RandNum.h"
/* Runtime: call stacks, profiling, messages, exceptions, message tool, C message interface. */
#include "C_CallStack.h"
#include "C_TimeManager.h"
#include "C_KveloMessage.h"
#include "C_KveloException.h"
#include "C_MessageTool.h"
#include "erreur.h"
/* Runtime: hash table, out-of-core memory, lists, objects and algorithms, work space. */
#include "hash_util.h"
#include "kvelo_mmap.h"
#include "kvelomem_ooc.h"
#include "liste_chainee.h"
#include "C_Entity.h"
#include "C_WorkSpace.h"

/* BLAS and LAPACK forwarders. */
#include "ITF_blas_lapack.h"

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

/* C matrix library. */
#include "matrix.h"
#include "meminfo.h"
#include "zmatrix.h"
#include "matrix_bf.h"
#include "bvec.h"
#include "vmorse.h"
#include "vstruct.h"
#include "matwrap.h"

/* Design of experiments. */
#include "C_BaseDesign.h"

#endif
