// MSG_get.cpp: the text of a message code as a C string, from the default message tool
// (or the last-used one when the default is not initialized), arguments substituted; and the
// choice of that tool, which the C trace marks share.
#include "erreur.h"

#include "C_KveloException.h"
#include "C_MessageTool.h"
#include "kvelosys.h"
#include "runtime/msgtool_registry.h"
#include "runtime/no_memory.h"

#include <cstdarg>
#include <new>
#include <string>

using Kvelo::C_MessageTool;

namespace Kvelo {
namespace detail {

C_MessageTool* ReadingTool(const char** why) {
  C_MessageTool* tool = C_MessageTool::Instance(DefaultToolName());
  if (tool == nullptr) {
    *why = "*** We couldn't retrieve the Default Message Tool !";
    return nullptr;
  }
  if (tool->isInitialized()) return tool;
  tool = C_MessageTool::LastInstance();
  if (tool == nullptr) {
    *why = "*** We couldn't retrieve the \"last used\" Message Tool !";
    return nullptr;
  }
  if (!tool->isInitialized()) {
    *why = "*** The \"last used\" Message Tool is not initialized !";
    return nullptr;
  }
  return tool;
}

}  // namespace detail
}  // namespace Kvelo

namespace {

char* GetV(int id, va_list ap) {
  const char* why = nullptr;
  C_MessageTool* tool = Kvelo::detail::ReadingTool(&why);
  if (tool == nullptr) {
    C_MessageTool::SafeDisplay("%s", why);
    return nullptr;
  }
  if (id < 0) return nullptr;
  std::string text;
  va_list args;
  va_copy(args, ap);
  try {
    Kvelo::detail::ToolAccess::DatabaseText(tool, id, text, &args);
  } catch (...) {
    va_end(args);
    if (kvrt::NoMemoryInFlight()) return nullptr;  // no memory for the text: no copy either, as kvelo_strdup would say
    throw;  // the database's exception (code 104) reaches C++ callers
  }
  va_end(args);
  return kvelo_strdup(text.c_str(), "MSG_get");
}

}  // namespace

KVELO_C_BEGIN

char* MSG_get(int id, ...) {
  va_list ap;
  va_start(ap, id);
  char* r = nullptr;
  try {
    r = GetV(id, ap);
  } catch (...) {
    va_end(ap);
    throw;
  }
  va_end(ap);
  return r;
}

char* MSG_get_default(int id, ...) {
  va_list ap;
  va_start(ap, id);
  char* r = nullptr;
  try {
    r = GetV(id, ap);
  } catch (...) {
    va_end(ap);
    throw;
  }
  va_end(ap);
  return r;
}

KVELO_C_END
