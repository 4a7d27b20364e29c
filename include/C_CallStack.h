/* C_CallStack.h: per-thread call stacks and the C_Trace scope object.
 * Every thread entering the library keeps its own stack of open traced scopes; exceptions
 * copy it and the message tool lists it after each error. Each push/pop also opens/closes
 * the profiling block of the same name in the global time manager, when one exists. */
#ifndef KVELO_C_CALLSTACK_H
#define KVELO_C_CALLSTACK_H

#include "kvelo_export.h"

#include <cstddef>
#include <vector>

namespace Kvelo {

/* One call-stack entry: fixed-width copies of the names, each always terminated. */
struct KVELO_API C_Entry {
  enum { FILE_SIZE = 128, FUNCTION_SIZE = 64 };
  char file[FILE_SIZE];          // source name ("src/<module>", "include/<header>"), cut to 127 characters
  char function[FUNCTION_SIZE];  // function name (and profiling block name), cut to 63 characters
  int line;                      // source line

  C_Entry();  // empty names, line 0
  // Copies function and file (null taken as empty), each cut to its field width less one. A
  // file given as a path (__FILE__) is kept as the library's name of that source: its last
  // component without extension after "src/" (sources) or "include/" (headers).
  C_Entry(const char* functionName, const char* fileName, int lineNumber);
  // Replaces the three fields as the constructor above does.
  void Assign(const char* functionName, const char* fileName, int lineNumber);
};

/* One thread's stack of entries, bottom first. Copying copies the entries (C_KveloException
 * 1001 when they cannot be had, the target then unchanged); moving takes them and allocates
 * nothing. */
class KVELO_API C_CallStack {
 public:
  C_CallStack();   // empty, room for 30 entries reserved (1001 when it cannot be had)
  // Empty, room for `room` entries reserved: 0 allocates nothing (a snapshot to be filled);
  // 1001 when the room cannot be had.
  explicit C_CallStack(std::size_t room);
  ~C_CallStack();
  C_CallStack(const C_CallStack& other);
  C_CallStack& operator=(const C_CallStack& other);
  C_CallStack(C_CallStack&& other) noexcept;             // other is left empty
  C_CallStack& operator=(C_CallStack&& other) noexcept;  // other is left empty

  // Appends a copy of e, then begins the profiling block named e.function; C_KveloException
  // 1001, stack unchanged, on no memory.
  void Push(const C_Entry& e);
  // Ends the profiling block of the top entry, then removes it; does nothing on an empty stack.
  void Pop();
  // Erases the entries from the cursor to the end (a stack driven only by Push/Pop keeps all).
  void Clear();

  // Number of entries held.
  int NbEntries() const { return static_cast<int>(m_entries.size()); }
  // Entry at index i (0 = bottom); i must lie in [0, NbEntries()).
  const C_Entry& GetEntry(int i) const { return m_entries[static_cast<std::size_t>(i)]; }
  // Top entry, or null when the stack is empty.
  const C_Entry* Top() const { return m_entries.empty() ? nullptr : &m_entries.back(); }

 private:
  std::vector<C_Entry> m_entries;
  std::size_t m_cursor;  // position after the top entry
};

/* Process-wide holder of the per-thread stacks, in one thread-local slot. Built when the
 * library loads (which also creates the global time manager from USE_TIMEMANAGER) and
 * destroyed when it unloads. Not guarded: each thread only touches its own stack. */
class KVELO_API C_StackCollection {
 public:
  C_StackCollection();   // allocates the slot; initTimeManager(USE_TIMEMANAGER as atoi reads it, 0 beyond int) when that is set
  // Frees the calling thread's stack of this collection and the slot when valid, then
  // freeTimeManager(). Other threads' stacks of it are freed when those threads end.
  ~C_StackCollection();
  C_StackCollection(const C_StackCollection&) = delete;
  C_StackCollection& operator=(const C_StackCollection&) = delete;

  // The calling thread's stack, created empty on first request; never null
  // (C_KveloException 1001 when a new stack cannot be allocated). A thread whose own stack was freed
  // at its end (a scope in a later thread-local destructor), or any thread when no slot
  // exists, gets a stack of its own that is kept until the process ends.
  C_CallStack& GetCurrentCallStack();
  // Whether the thread-local slot could be allocated.
  bool IsValid() const { return m_valid; }

 private:
  unsigned m_slot;
  bool m_valid;
};

// The process-wide collection of call stacks.
KVELO_API C_StackCollection& GlobalCallstackCollection();

/* Scope object: pushes an entry on the calling thread's stack on construction and pops it
 * on destruction (also when the scope is left by an exception). Scopes nest strictly.
 * Never throws: a scope that cannot be pushed for want of memory goes untraced (no entry, no
 * profiling block, no callbacks), and the operation it traces goes on. */
class KVELO_API C_Trace {
 public:
  typedef void (*Callback)(char*);
  // Pushes (function, file, line); no exit callback.
  C_Trace(const char* function, const char* file, int line);
  // Stores onExit, pushes, then calls onEnter (when not null) with the caller's function pointer.
  C_Trace(const char* function, const char* file, int line, Callback onEnter, Callback onExit);
  // Calls the exit callback (when set) with the stored, possibly cut, name, then pops.
  ~C_Trace();
  C_Trace(const C_Trace&) = delete;
  C_Trace& operator=(const C_Trace&) = delete;

 private:
  Callback m_onExit;
  bool m_pushed;  // false when the scope could not be pushed: nothing to pop
};

}  // namespace Kvelo

#endif
