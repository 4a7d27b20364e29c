// erreur.cpp: the C reporting entry points over the message tool: trace marks, formatted
// errors, warnings and information, and the tests and switches on the default tool's screen
// stream. No exception leaves them: a failure anywhere on the road gives their error value.
#include "erreur.h"
#include "runtime/c_report.h"

#include "C_KveloMessage.h"
#include "C_MessageTool.h"
#include "kvelosys.h"
#include "runtime/msg_format.h"
#include "runtime/msgtool_registry.h"
#include "runtime/no_memory.h"
#include "runtime/source_name.h"

#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>

using Kvelo::C_KveloMessage;
using Kvelo::C_MessageTool;
using namespace Kvelo::MessageToolEnums;

namespace {

const char* Safe(const char* s) { return s != nullptr ? s : ""; }

// The screen stream of the default tool, or null when no tool can be had.
C_MessageTool* DefaultTool() {
  try {
    return C_MessageTool::Instance(Kvelo::detail::DefaultToolName());
  } catch (...) {
    return nullptr;
  }
}

// A report that could not be built for want of memory: its text, formatted on the stack, goes
// to the display of last resort when the default tool would show such a message.
void ShowWithoutMemory(const char* function, const char* file, int line, E_MessageType_enum type,
                       E_VerbosityLevel_enum level, int scope, const char* fmt, va_list ap) {
  char text[1024] = "";
  if (fmt != nullptr) {
    va_list again;
    va_copy(again, ap);
    std::vsnprintf(text, sizeof text, fmt, again);
    va_end(again);
    text[sizeof text - 1] = '\0';
  }
  try {
    // A message without text allocates nothing: it only asks the filters.
    C_KveloMessage m(Safe(function), Safe(file), line, type, level, static_cast<E_DebugScope_enum>(scope),
                     STREAM_ALL);
    C_MessageTool* tool = DefaultTool();
    if (tool != nullptr && !tool->MessageActive(m, STREAM_ALL)) return;
  } catch (...) {
  }
  C_MessageTool::SafeDisplay("%s", text);
}

// Builds the message of one formatted report (the text is taken unchanged) and prints it.
int Report(const char* function, const char* file, int line, E_MessageType_enum type,
           E_VerbosityLevel_enum level, int scope, const char* fmt, va_list ap) {
  try {
    std::string text = Kvelo::detail::FormatV(fmt, ap);
    C_KveloMessage m(Safe(function), Safe(file), line, text, type, level,
                     static_cast<E_DebugScope_enum>(scope), STREAM_ALL);
    return m.Print();
  } catch (...) {
    if (kvrt::NoMemoryInFlight()) ShowWithoutMemory(function, file, line, type, level, scope, fmt, ap);
    return -1;
  }
}

}  // namespace

namespace kvrt {

void ReportCode(const char* file, const char* fn, int line, int code, const char* arg) {
  char* text = nullptr;
  try {
    text = arg ? MSG_get(code, arg) : MSG_get(code);
  } catch (...) {
    text = nullptr;
  }
  if (text) {
    Erreur(fn, line, file, "%s", text);
  } else {
    Erreur(fn, line, file, "MessageDatabase failed to load id %d", code);
  }
  kvelomem_free(text, file, __LINE__);
}

}  // namespace kvrt

KVELO_C_BEGIN

int fct_Trace(const char* name, int line, const char* file) {
  name = Safe(name);
  const char* const original = file;
  try {
    // The mark names the source as every other report does, not by the build's path.
    const std::string source = kvrt::SourceName(file);
    file = source.c_str();
    const char* why = nullptr;
    C_MessageTool* tool = Kvelo::detail::ReadingTool(&why);
    if (tool == nullptr) {
      C_MessageTool::SafeDisplay("%s\n*** fct_Trace( %s, %d, %s)", why, name, line, file);
      return -1;
    }
    std::string text = Kvelo::detail::Format("fct_Trace: %s(), %s line %d", name, file, line);
    C_KveloMessage m(name, file, line, tool->getKey(), text, TYPE_TRACE, LEVEL_PUBLIC, SCOPE_NONE, STREAM_ALL);
    return C_MessageTool::HandleMessage(m);
  } catch (...) {
    if (!kvrt::NoMemoryInFlight()) return -1;
    // The mark of a failure's place is not lost for want of memory.
    char source[Kvelo::C_Entry::FILE_SIZE];
    kvrt::SourceName(original, source, sizeof source);
    C_MessageTool::SafeDisplay("fct_Trace: %s(), %s line %d", name, source, line);
    return -1;
  }
}

int Erreur(const char* function, int line, const char* file, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int r = Report(function, file, line, TYPE_ERROR, LEVEL_PUBLIC, 0, fmt, ap);
  va_end(ap);
  return r;
}

int Warning(const char* function, int line, const char* file, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int r = Report(function, file, line, TYPE_WARNING, LEVEL_PUBLIC, 0, fmt, ap);
  va_end(ap);
  return r;
}

int Msg_interne(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int r = Report("Msg_interne", __FILE__, __LINE__, TYPE_INFORMATION, LEVEL_INTERNAL, 0, fmt, ap);
  va_end(ap);
  return r;
}

int Msg_verbeux(int scope, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int r = Report("Msg_verbeux", __FILE__, __LINE__, TYPE_INFORMATION, LEVEL_INTERNAL, scope, fmt, ap);
  va_end(ap);
  return r;
}

int Msg_public(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int r = Report("Msg_public", __FILE__, __LINE__, TYPE_INFORMATION, LEVEL_PUBLIC, 0, fmt, ap);
  va_end(ap);
  return r;
}

int is_externe_on(void) {
  C_MessageTool* t = DefaultTool();
  return (t != nullptr && t->VerbosityLevelActive(LEVEL_PUBLIC, STREAM_SCREEN)) ? 1 : 0;
}

int is_interne_on(void) {
  C_MessageTool* t = DefaultTool();
  return (t != nullptr && t->VerbosityLevelActive(LEVEL_INTERNAL, STREAM_SCREEN)) ? 1 : 0;
}

int is_warning_on(void) {
  C_MessageTool* t = DefaultTool();
  return (t != nullptr && t->MessageTypeActive(TYPE_WARNING, STREAM_SCREEN)) ? 1 : 0;
}

int is_trace_on(void) {
  C_MessageTool* t = DefaultTool();
  return (t != nullptr && t->MessageTypeActive(TYPE_TRACE, STREAM_SCREEN)) ? 1 : 0;
}

int is_debug_scope_on(int scope) {
  C_MessageTool* t = DefaultTool();
  return (t != nullptr && t->DebugScopeActive(scope, STREAM_SCREEN)) ? 1 : 0;
}

int is_verbeux_on(int scope) { return is_debug_scope_on(scope); }

void switch_debug_scope(int scope, int on) {
  C_MessageTool* t = DefaultTool();
  if (t == nullptr) return;
  try {
    // Scope -1 would reset every stream: only the one scope named is switched here.
    if (scope == -1) return;
    t->ActivateDebugScope(scope, on == 1, STREAM_SCREEN);
  } catch (...) {
  }
}

void switch_verbeux(int scope, int on) { switch_debug_scope(scope, on); }

// Stubs kept for old callers.
void MSG_free(char*) {}
void Msg_fclose(void) {}
void Msg_fset(FILE*) {}
void switch_externe(int) {}
void switch_interne(int) {}
void switch_trace(int) {}
void switch_warning(int) {}
int MSG_get_last_id(void) { return 0; }
int MSG_load(const char*) { return 0; }
int MSG_load_default(void) { return 0; }
int Msg_fget(void) { return 0; }
int Msg_fopen(const char*) { return -1; }

KVELO_C_END
