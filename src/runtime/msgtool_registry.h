// msgtool_registry.h: the process-wide registry of message tools by name, and the two locks of
// the message system. Built at load right after the call-stack collection and destroyed before
// it at exit (C_CallStack.cpp owns both); the message tool module fills and empties it.
#ifndef KVELO_MSGTOOL_REGISTRY_H
#define KVELO_MSGTOOL_REGISTRY_H

#include <cstdarg>
#include <map>
#include <mutex>
#include <string>

namespace Kvelo {
class C_MessageTool;
namespace detail {

typedef std::map<std::string, C_MessageTool*> ToolRegistry;

// The registry, or null before it is built and once it is destroyed at exit. Read and change
// it, and the last-used tool, only while holding RegistryLock().
ToolRegistry* MessageToolRegistry();

// "DefaultMessageTool", built at load and never destroyed: naming the default tool allocates
// nothing, also when memory has run out.
const std::string& DefaultToolName();

// Guards the registry and the last-used tool. Held only for a look-up or an insertion (and
// the construction of a new tool); nothing else is locked while it is held.
std::recursive_mutex& RegistryLock();
// Guards every tool's log file (open, write, close), its message database (look-ups and the
// replacement by Initialize) and its progress. Held while a message is written to the log;
// a report made meanwhile on the same thread (a controller that reports) nests.
// Order: OutputLock may be held when RegistryLock is taken, never the other way round.
// Both locks are built on first use and never destroyed, so late reports stay safe.
std::recursive_mutex& OutputLock();

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
