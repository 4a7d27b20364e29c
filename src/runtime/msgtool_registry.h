// msgtool_registry.h: the process-wide registry of message tools by name.
// Built at load right after the call-stack collection and destroyed before it at exit
// (C_CallStack.cpp owns both); the message tool module fills and empties it.
#ifndef KVELO_MSGTOOL_REGISTRY_H
#define KVELO_MSGTOOL_REGISTRY_H

#include <cstdarg>
#include <map>
#include <string>

namespace Kvelo {
class C_MessageTool;
namespace detail {

typedef std::map<std::string, C_MessageTool*> ToolRegistry;

// The registry, or null before it is built and once it is destroyed at exit.
ToolRegistry* MessageToolRegistry();

// The tool the C entry points read texts from: the default tool, or the last-used one while
// the default is not initialized. Null when neither can serve, *why then the reason to show.
C_MessageTool* ReadingTool(const char** why);

// Library-internal access to a tool's message texts.
struct ToolAccess {
  // out = text of code from tool's database with args substituted (null args: none);
  // throws C_KveloException code 104 when the database has no text for code.
  static void DatabaseText(C_MessageTool* tool, int code, std::string& out, va_list* args);
};

}  // namespace detail
}  // namespace Kvelo
#endif
