/* kvelo.h: umbrella header of libkvelo.so. A host includes only this file to reach the
 * whole public C and C++ interface: runtime services, BLAS/LAPACK forwarders, vector and
 * matrix containers, the Kriging model, the C matrix library and the design of experiments.
 * Process-wide state of the library (message-tool registry, time manager, C status word,
 * ...) is unguarded: drive the library from one thread at a time unless a header says otherwise. */
#ifndef KVELO_H
#define KVELO_H

#include "kvelo_export.h"

/* Headers appear here as their subsystems land; those not yet written are skipped. */
#if __has_include("kvelosys.h")
#include "kvelosys.h"
#endif
#if __has_include("bf.h")
#include "bf.h"
#endif
#if __has_include("C_bfd.h")
#include "C_bfd.h"
#endif
#if __has_include("chaine.h")
#include "chaine.h"
#endif
#if __has_include("C_RandNum.h")
#include "C_RandNum.h"
#endif
#if __has_include("C_CallStack.h")
#include "C_CallStack.h"
#endif
#if __has_include("C_TimeManager.h")
#include "C_TimeManager.h"
#endif
#if __has_include("C_KveloMessage.h")
#include "C_KveloMessage.h"
#endif
#if __has_include("C_KveloException.h")
#include "C_KveloException.h"
#endif
#if __has_include("C_MessageTool.h")
#include "C_MessageTool.h"
#endif
#if __has_include("erreur.h")
#include "erreur.h"
#endif
#if __has_include("hash_util.h")
#include "hash_util.h"
#endif
#if __has_include("kvelo_mmap.h")
#include "kvelo_mmap.h"
#endif
#if __has_include("kvelomem_ooc.h")
#include "kvelomem_ooc.h"
#endif
#if __has_include("liste_chainee.h")
#include "liste_chainee.h"
#endif
#if __has_include("C_Entity.h")
#include "C_Entity.h"
#endif
#if __has_include("C_WorkSpace.h")
#include "C_WorkSpace.h"
#endif
#if __has_include("ITF_blas_lapack.h")
#include "ITF_blas_lapack.h"
#endif
#if __has_include("C_Type.h")
#include "C_Type.h"
#endif
#if __has_include("C_Ptr.h")
#include "C_Ptr.h"
#endif
#if __has_include("C_Vec.h")
#include "C_Vec.h"
#endif
#if __has_include("C_VecPi.h")
#include "C_VecPi.h"
#endif
#if __has_include("C_VecRand.h")
#include "C_VecRand.h"
#endif
#if __has_include("C_Communicator.h")
#include "C_Communicator.h"
#endif
#if __has_include("C_Mat.h")
#include "C_Mat.h"
#endif
#if __has_include("C_MatMGe.h")
#include "C_MatMGe.h"
#endif
#if __has_include("C_MatMSym.h")
#include "C_MatMSym.h"
#endif
#if __has_include("C_AlgoPower.h")
#include "C_AlgoPower.h"
#endif
#if __has_include("Kriging.h")
#include "Kriging.h"
#endif
#if __has_include("matrix.h")
#include "matrix.h"
#endif
#if __has_include("meminfo.h")
#include "meminfo.h"
#endif
#if __has_include("zmatrix.h")
#include "zmatrix.h"
#endif
#if __has_include("matrix_bf.h")
#include "matrix_bf.h"
#endif
#if __has_include("bvec.h")
#include "bvec.h"
#endif
#if __has_include("vmorse.h")
#include "vmorse.h"
#endif
#if __has_include("vstruct.h")
#include "vstruct.h"
#endif
#if __has_include("matwrap.h")
#include "matwrap.h"
#endif
#if __has_include("C_BaseDesign.h")
#include "C_BaseDesign.h"
#endif

#endif
