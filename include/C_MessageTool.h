/* C_MessageTool.h: named message routers. Every message and reported exception of the
 * library ends in C_MessageTool::HandleMessage, which filters it per stream (screen, log,
 * log record) by type, verbosity and debug scope, turns codes into texts through the tool's
 * message database, hands the text to the stream's controller (the tool itself, or one the
 * host installs) and lists the call stack after every error. The host sets a tool up (message
 * file and language, log file) and long operations report progress through it. Tools live in
 * a process-wide registry by name, created on first use.
 * Threads: messages may come from several threads at once. The registry and the last-used tool
 * are guarded, and so are each tool's log file (opened, written and closed by one message at
 * a time, so every message reaches the log whole), its message texts and its progress. A
 * tool's settings (filters, levels, scopes, controllers, resources, log name, end character)
 * are set-up state and not guarded: set tools up before other threads report. A host
 * controller of the log stream runs while the log's lock is held.
 * Memory: a report that cannot be composed for want of memory goes to the display of last
 * resort (SafeDisplay) and the operation returns -1; no std::bad_alloc leaves the reporting
 * operations. */
#ifndef KVELO_C_MESSAGETOOL_H
#define KVELO_C_MESSAGETOOL_H

#include "kvelo_export.h"
#include "C_KveloMessage.h"
#include "C_KveloException.h"

#include <cstdio>
#include <set>
#include <string>

class C_MessageDatabase;

/* The language numbers of message files ("<dir>/ke<language>.msb"). The message database
 * itself stays inside the library; C_MessageTool::E_CodeLang names the same type for hosts.
 * Any int is a language number; 0 is the fall-back language. */
class C_MessageDatabaseTypes {
 public:
  enum E_CodeLang : int { LANG_DEFAULT = 0 };
};

namespace Kvelo {
namespace detail {
struct ToolAccess;
class LogHold;
}

/* Receiver of one stream's output. A host derives from it and installs it per stream. */
class KVELO_API C_MessageStreamCtrl {
 public:
  // Writes one text of the given type for the stream; log is the open log file or null; 0 or -1.
  virtual int AppHandleMessage(const std::string& text, MessageToolEnums::E_MessageType_enum type,
                               MessageToolEnums::E_MessageStream_enum stream, FILE* log) = 0;
  virtual int AppOpenProgress() = 0;
  virtual int AppSetProgress(const std::string& text, int value,
                             MessageToolEnums::E_MessageStream_enum stream) = 0;
  virtual int AppCloseProgress() = 0;

 protected:
  // A host keeps its controllers through their own class: deleting one through a
  // C_MessageStreamCtrl pointer does not compile (the destructor is not virtual, and stays so
  // to keep the layout hosts were built against).
  ~C_MessageStreamCtrl() = default;
};

/* A controller that swallows its stream. */
class KVELO_API C_DevNullCtrl : public C_MessageStreamCtrl {
 public:
  int AppHandleMessage(const std::string&, MessageToolEnums::E_MessageType_enum,
                       MessageToolEnums::E_MessageStream_enum, FILE*) override { return 0; }
  int AppOpenProgress() override { return 0; }
  int AppSetProgress(const std::string&, int, MessageToolEnums::E_MessageStream_enum) override {
    return 0;
  }
  int AppCloseProgress() override { return 0; }
};

/* One stream's settings. */
struct KVELO_API C_MessageStream {
  unsigned typeFilter;                         // a message passes when its type bit is set
  MessageToolEnums::E_VerbosityLevel_enum level;  // passes when its level is at most this
  std::set<int> scopes;                        // passes when its scope is in the set
  C_MessageStreamCtrl* ctrl;                   // receiver; null means the screen stream's
  C_MessageStream();
};

class KVELO_API C_MessageTool : public C_MessageStreamCtrl, public C_KveloBase {
 public:
  typedef MessageCode::E_MessageCode_t E_MessageCode_t;
  typedef MessageToolEnums::E_MessageType_enum E_MessageType_enum;
  typedef MessageToolEnums::E_VerbosityLevel_enum E_VerbosityLevel_enum;
  typedef MessageToolEnums::E_DebugScope_enum E_DebugScope_enum;
  typedef MessageToolEnums::E_MessageStream_enum E_MessageStream_enum;
  typedef C_MessageDatabaseTypes::E_CodeLang E_CodeLang;

  // ---- registry ----
  // The tool registered under key, created and registered on first use (a new tool does not
  // become the last-used tool; a found initialized one does). Null only after unloading began,
  // or when memory runs out for a new tool. Threads asking for a new name at once get one tool.
  static C_MessageTool* Instance(const std::string& key);
  // Whether a tool of that name exists; creates nothing.
  static bool HasInstance(const std::string& key);
  // The last-used tool, or null.
  static C_MessageTool* LastInstance();

  ~C_MessageTool() override;

  // ---- stream settings (stream 3 = all: setters apply to the three, getters answer 0,
  //      single-stream tests answer false) ----
  void setMessageTypeFilter(unsigned filter, E_MessageStream_enum stream);
  unsigned getMessageTypeFilter(E_MessageStream_enum stream) const;
  // TYPE_ALL sets the whole filter to 0xFFFF (on) or 0 (off); other types set/clear their bits.
  void ActivateMessageType(E_MessageType_enum type, bool on, E_MessageStream_enum stream);
  // Whether type AND the stream's filter is not 0 (false for stream 3 and TYPE_ALL).
  bool MessageTypeActive(E_MessageType_enum type, E_MessageStream_enum stream) const;
  void setVerbosityLevel(E_VerbosityLevel_enum level, E_MessageStream_enum stream);
  E_VerbosityLevel_enum getVerbosityLevel(E_MessageStream_enum stream) const;
  // Whether the stream's level is at least level.
  bool VerbosityLevelActive(E_VerbosityLevel_enum level, E_MessageStream_enum stream) const;
  // Scope -1 resets every stream to {0} and applies KVELO_DEBUG_SCOPES; otherwise on inserts
  // the scope in the stream's set and off removes it. Every stream asked for changes, or none:
  // C_KveloException 1001, sets unchanged, when memory runs out.
  void ActivateDebugScope(E_DebugScope_enum scope, bool on, E_MessageStream_enum stream);
  void ActivateDebugScope(int scope, bool on, E_MessageStream_enum stream);
  bool DebugScopeActive(E_DebugScope_enum scope, E_MessageStream_enum stream) const;
  bool DebugScopeActive(int scope, E_MessageStream_enum stream) const;
  // Whether the stream (any of the three for stream 3) passes m's type, level and scope.
  bool MessageActive(const C_KveloMessage& m, E_MessageStream_enum stream) const;
  // Installs ctrl (not owned) as the stream's receiver / gives the stream back to the tool.
  void setMessageStreamCtrl(C_MessageStreamCtrl& ctrl, E_MessageStream_enum stream);
  void ResetMessageStreamCtrl(E_MessageStream_enum stream);
  // Character written after every text by the default controller (a blank at creation).
  void setEndMsgChar(char c);
  bool isInitialized() const;
  std::string getKey() const;  // a copy of the tool's name; 1001 when it cannot be had

  // ---- set-up and log file ----
  // When the file name exists: resources file = name, resources directory = its directory
  // part (when it has one), language = language; 0. Otherwise writes "Resource filename
  // <name> does not exist." on standard error and returns -1, changing nothing (the language
  // neither); -1, nothing changed, also when memory runs out.
  int setResourcesFilename(std::string name, E_CodeLang language);
  // Resources directory = dir, language = language, resources file = "<dir>/ke<language>.msb";
  // C_KveloException 1001, nothing changed, when memory runs out.
  void setResourcesDir(std::string dir, E_CodeLang language);
  // The same with the directory read from the environment variable variableName (a single
  // blank when it is not set); the variable's name and value are kept for reports. 1001,
  // nothing changed, when memory runs out.
  void setResourcesDirByEnv(std::string variableName, E_CodeLang language);
  // Loads the message database: 0 once loaded (or at once when all three streams are
  // swallowed by C_DevNullCtrl controllers). A missing resources file falls back to
  // "kvelo0.msb", "ke0.msb" or "lum0.msb" of the current directory (with a warning); a file
  // that fails to load is retried in language 0. -1 after an error report when no file
  // loads (also when memory runs out): the tool then keeps the texts it had, and its
  // initialized state (not initialized when it had none). A new database replaces the old one
  // only once it has loaded.
  int Initialize();
  // Closes an open log and names the log file; append false truncates it at the next opening.
  // 0; -1, nothing changed, when memory runs out.
  int setLogFilename(const std::string& name, bool append);
  std::string getLogFilename() const;  // a copy of the log's name; 1001 when it cannot be had
  // path without its extension, kept whole when its directory exists, else only its file
  // part; suffix appended (suffix alone for a path that is not valid text). C_KveloException
  // 1001 when memory runs out.
  std::string GenerateDefaultLogFilename(const std::string& path, const std::string& suffix) const;

  // ---- progress (0, or -1 when a step failed; the messages are of type 16, so a stream
  //      shows progress only when its type filter has that bit) ----
  // Opens a progress of maximum steps on the tool of m's key (stopped flag cleared), tells
  // the controller of m's stream when the message is active, then SetProgress(0, m).
  static int OpenProgress(int maximum, const C_KveloMessage& m);
  // The same with a level-0 message of "DefaultMessageTool" holding the code / the text.
  static int OpenProgress(int maximum, E_MessageCode_t code);
  static int OpenProgress(int maximum, const std::string& text);
  // Moves the progress of the tool of m's key to value (a negative value repeats the current
  // one) and hands m's text (its code's text, else a blank; "Processing stopped..." once
  // stopped) to the controller of every stream that accepts m. -1, progress unchanged, when
  // memory runs out.
  static int SetProgress(int value, const C_KveloMessage& m);
  // The same with a message of "DefaultMessageTool" at level holding the code / the text /
  // fmt printf-formatted with the arguments.
  static int SetProgress(int value, E_MessageCode_t code, E_VerbosityLevel_enum level);
  static int SetProgress(int value, const std::string& text, E_VerbosityLevel_enum level);
  static int SetProgressArg(int value, const char* fmt, E_VerbosityLevel_enum level, ...);
  // Tells every stream's controller of the tool named key that the progress ends; closes it.
  static int CloseProgress(const std::string& key);
  // The stopped flag of the tool named key (created when absent).
  static bool ProgressStopped(const std::string& key);

  // ---- reporting (0, or -1 when anything on the road failed) ----
  // Routes m to every stream that accepts it; lists the call stack after an error. Of its own
  // failures only C_KveloException 29 (log file cannot be opened) leaves it; what a host
  // controller throws passes, std::bad_alloc and C_KveloException 1001 excepted (taken as
  // the want of memory).
  static int HandleMessage(const C_KveloMessage& m);
  // Reports e: its type and level are set, the code texts appended to its text (all of them
  // or, when memory runs out, none: the codes then go to SafeDisplay and the result is -1),
  // then routed.
  static int HandleMessage(C_KveloException& e, E_MessageType_enum type, E_VerbosityLevel_enum level);
  // Writes the call-stack listing of m on every stream whose level is at least level.
  static int HandleCallStack(const C_KveloMessage& m, E_VerbosityLevel_enum level);
  // out = text of code from the database of the tool named key (args may be null); 0, or -1
  // with a failure text when the tool is not initialized or the database lacks the code
  // (out empty when memory runs out even for that). Never throws.
  static int getMessage(E_MessageCode_t code, std::string& out, va_list* args,
                        const std::string& key = "DefaultMessageTool");
  // Last resort: "Error: <formatted text>" on standard error (text cut to 1023 characters);
  // allocates nothing.
  static void SafeDisplay(const char* fmt, ...);

  // Convenience families: all streams, error location in this tool's source.
  static int HandleMessage(E_MessageCode_t code, E_MessageType_enum type, E_VerbosityLevel_enum level);
  static int HandleMessage(const std::string& key, E_MessageCode_t code, E_MessageType_enum type,
                           E_VerbosityLevel_enum level);
  static int HandleMessage(const std::string& text, E_MessageType_enum type,
                           E_VerbosityLevel_enum level, E_DebugScope_enum scope);
  static int HandleMessage(const std::string& key, const std::string& text, E_MessageType_enum type,
                           E_VerbosityLevel_enum level, E_DebugScope_enum scope);
  static int HandleMessage(const char* text, E_MessageType_enum type, E_VerbosityLevel_enum level,
                           E_DebugScope_enum scope);
  static int HandleMessage(const char* text, E_MessageType_enum type, E_VerbosityLevel_enum level,
                           int scope);
  static int HandleMessageArg(E_MessageCode_t code, E_MessageType_enum type,
                              E_VerbosityLevel_enum level, ...);
  static int HandleMessageArg(const std::string& key, E_MessageCode_t code, E_MessageType_enum type,
                              E_VerbosityLevel_enum level, ...);
  static int HandleMessageArg(const std::string& fmt, E_MessageType_enum type,
                              E_VerbosityLevel_enum level, E_DebugScope_enum scope, ...);
  static int HandleMessageArg(const std::string& fmt, E_MessageType_enum type,
                              E_VerbosityLevel_enum level, int scope, ...);
  static int HandleMessageArg(const std::string& key, const std::string& fmt, E_MessageType_enum type,
                              E_VerbosityLevel_enum level, E_DebugScope_enum scope, ...);
  static int HandleMessageArg(const char* fmt, E_MessageType_enum type, E_VerbosityLevel_enum level,
                              E_DebugScope_enum scope, ...);
  static int HandleMessageArg(const char* fmt, E_MessageType_enum type, E_VerbosityLevel_enum level,
                              int scope, ...);
  static int HandleMessageInf(E_MessageCode_t code);
  static int HandleMessageInf(const std::string& key, E_MessageCode_t code);
  static int HandleMessageInf(const std::string& text);
  static int HandleMessageInf(const char* text);
  static int HandleMessageInfArg(E_MessageCode_t code, ...);
  static int HandleMessageInfArg(const std::string& key, E_MessageCode_t code, ...);
  static int HandleMessageInfArg(const char* fmt, ...);
  // A format followed by arguments is always the format form, never the keyed one.
  template <class A, class... R>
  static int HandleMessageInfArg(const char* fmt, A first, R... rest) {
    return InfArgFormat(fmt, first, rest...);
  }

  // ---- the tool as its own controller ----
  // Writes text on the screen/log with its type prefix and the end-of-message character.
  int AppHandleMessage(const std::string& text, E_MessageType_enum type,
                       E_MessageStream_enum stream, FILE* log) override;
  int AppOpenProgress() override;   // 0
  // Screen: " %4.1f%% %s\n" (value as a share of the maximum; 0 for a maximum of 0 or less)
  // while a progress is open; -1 when none is open.
  int AppSetProgress(const std::string& text, int value, E_MessageStream_enum stream) override;
  int AppCloseProgress() override;  // 0
  // out = "<resources directory>/ke<language>.msb"; 1001, out unchanged, when memory runs out.
  virtual void BuildResourcesFilename(std::string& out) const;
  // Opens the log (closing it first) unless no name is set; 0. An unopenable log empties the
  // name, reports a warning and throws C_KveloException code 29 (reason from errno).
  virtual int openLogFile();
  virtual int closeLogFile();  // 0
  // Size of the buffer BuildCallStackString writes into; a longer listing is cut.
  enum { CALLSTACK_BUFFER_SIZE = 2048 };
  // Writes the call-stack listing of m (its own stack for an exception, else the calling
  // thread's) into out, which holds CALLSTACK_BUFFER_SIZE bytes, cut at its end when longer;
  // 0, or -1 when out is null. Allocates nothing.
  virtual int BuildCallStackString(const C_KveloMessage& m, char* out);

 protected:
  explicit C_MessageTool(const std::string& key);

 private:
  C_MessageTool(const C_MessageTool&) = delete;
  C_MessageTool& operator=(const C_MessageTool&) = delete;
  C_MessageStreamCtrl* Ctrl(int stream);
  static int InfArgFormat(const char* fmt, ...);
  void ResetDebugScopes();
  // ActivateDebugScope letting std::bad_alloc pass.
  void ChangeDebugScope(int scope, bool on, E_MessageStream_enum stream);
  // GenerateDefaultLogFilename letting std::bad_alloc pass.
  static std::string DefaultLogFilename(const std::string& path, const std::string& suffix);
  // getMessage letting a want of memory pass.
  static int CodeText(E_MessageCode_t code, std::string& out, va_list* args, const std::string& key);

  C_MessageStream m_streams[3];
  std::string m_key;
  std::string m_resourcesDir;
  std::string m_resourcesFile;
  std::string m_resourcesVar;
  std::string m_resourcesValue;
  std::string m_logName;
  FILE* m_log;
  int m_logHolds;  // nested holds of the open log by the thread holding the output lock
  bool m_append;
  bool m_initialized;
  bool m_progressOpen;
  bool m_progressStopped;
  int m_progressMax;
  int m_progressCurrent;
  C_MessageDatabase* m_database;
  E_CodeLang m_language;
  char m_endChar;

  static C_MessageTool* _LastMessageTool;
  friend struct detail::ToolAccess;
  friend class detail::LogHold;
};

}  // namespace Kvelo

#endif
