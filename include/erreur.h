/* erreur.h: the C entry points that report through the message tool: trace marks for the
 * place of a failure, formatted errors/warnings/information, tests and switches on the
 * default tool's screen stream, message texts by code, and the C matrix library's error
 * handler with its status word. A source file handed over as a path (__FILE__) is named in
 * every report as the library names its sources: "src/<module>" or "include/<header>" (the last
 * component without extension); a name already of that form is kept. No C++ exception leaves
 * any of them (MSG_get excepted, which passes the database's exception to C++ callers). A
 * report that cannot be composed for want of memory still goes to standard error (as
 * C_MessageTool::SafeDisplay shows it, when the default tool would show it at all) and gives
 * -1.
 * Threads: each report formats its own text, and the kept error records of the C matrix
 * library are guarded, so reports may come from several threads at once. The switches change
 * the default tool's settings: set-up state, not guarded. The status word _LM_err_status is
 * process-wide and not guarded: the C matrix library is single-threaded. */
#ifndef KVELO_ERREUR_H
#define KVELO_ERREUR_H

#include "kvelo_export.h"

#include <stdio.h>

KVELO_C_BEGIN

/* Trace mark (type 8) "fct_Trace: <name>(), <file> line <line>" through "DefaultMessageTool",
 * or the last-used tool when that is not initialized; 0, or -1 (after a display on standard
 * error) when no initialized tool can be had or routing failed. */
KVELO_API int fct_Trace(const char* name, int line, const char* file);
/* Error (type 2, level 0) with the printf-formatted text, followed by the call-stack listing;
 * 0, or -1 on a routing failure. */
KVELO_API int Erreur(const char* function, int line, const char* file, const char* fmt, ...);
/* Warning (type 4, level 0) with the printf-formatted text; 0, or -1 on a routing failure. */
KVELO_API int Warning(const char* function, int line, const char* file, const char* fmt, ...);
/* Internal information (type 1, level 3, scope 0); 0 or -1. */
KVELO_API int Msg_interne(const char* fmt, ...);
/* Scoped information (type 1, level 3, the given debug scope); 0 or -1. */
KVELO_API int Msg_verbeux(int scope, const char* fmt, ...);
/* Public information (type 1, level 0, scope 0); 0 or -1. */
KVELO_API int Msg_public(const char* fmt, ...);

/* Tests on the screen stream of "DefaultMessageTool" (created when absent): 1 or 0. */
KVELO_API int is_externe_on(void);             /* screen level >= 0 */
KVELO_API int is_interne_on(void);             /* screen level >= 3 */
KVELO_API int is_warning_on(void);             /* screen filter has the warning bit */
KVELO_API int is_trace_on(void);               /* screen filter has the trace bit */
KVELO_API int is_debug_scope_on(int scope);    /* scope active on the screen */
KVELO_API int is_verbeux_on(int scope);        /* same as is_debug_scope_on */
/* Activates scope on the default tool's screen when on is 1, deactivates it otherwise. */
KVELO_API void switch_debug_scope(int scope, int on);
KVELO_API void switch_verbeux(int scope, int on);  /* same as switch_debug_scope */

/* Text of message id with the arguments substituted, as a heap copy the caller frees with
 * kvelomem_free; null for a negative id, when no initialized tool can be had or when memory
 * runs out. An id the database lacks raises the database's exception to C++ callers. */
KVELO_API char* MSG_get(int id, ...);
KVELO_API char* MSG_get_default(int id, ...);  /* same as MSG_get */

/* Fixed stubs kept for old callers: they ignore their arguments. */
KVELO_API void MSG_free(char* message);        /* does nothing (free with kvelomem_free) */
KVELO_API void Msg_fclose(void);               /* does nothing */
KVELO_API void Msg_fset(FILE* file);           /* does nothing */
KVELO_API void switch_externe(int on);         /* does nothing */
KVELO_API void switch_interne(int on);         /* does nothing */
KVELO_API void switch_trace(int on);           /* does nothing */
KVELO_API void switch_warning(int on);         /* does nothing */
KVELO_API int MSG_get_last_id(void);           /* returns 0 */
KVELO_API int MSG_load(const char* file);      /* returns 0 */
KVELO_API int MSG_load_default(void);          /* returns 0 */
KVELO_API int Msg_fget(void);                  /* returns 0 */
KVELO_API int Msg_fopen(const char* file);     /* returns -1 */

/* Status word of the C matrix library: 0 no error, -1 after _LM_error. Callers clear it
 * before a step and copy it into their status argument after it. */
KVELO_API extern int _LM_err_status;

/* Error handler of the C matrix library: reports message 3100 + code (placeholders 0 and 1
 * receive callerLine and callerName; a blank text when there is none, or when that number
 * lies beyond int) as an error at (function, file, line), keeps it among the last 100 records
 * and sets _LM_err_status to -1; returns 0. list is not used. */
KVELO_API int _LM_error(const char* file, int code, int line, const char* function, int list,
                        int callerLine, const char* callerName);
/* Keeps one error record (the oldest of 100 is dropped) and reports it with Erreur. */
KVELO_API void _LM_error_push(const char* message, const char* function, const char* file,
                              int line);

KVELO_C_END

#endif
