/* C_KveloMessage.h: one report of the library (text or message code, type, verbosity,
 * debug scope, target stream, place of origin) and the shared enumerations of the message
 * system. Messages are printed by handing them to the message tool (C_MessageTool.h).
 * A message belongs to the thread that builds it; messages of different threads share
 * nothing but their routing key's storage, which is immutable. */
#ifndef KVELO_C_KVELOMESSAGE_H
#define KVELO_C_KVELOMESSAGE_H

#include "kvelo_export.h"
#include "C_CallStack.h"

#include <cstdarg>
#include <memory>
#include <string>

namespace Kvelo {

/* Root class of the runtime's polymorphic objects: only a virtual destructor. */
class KVELO_API C_KveloBase {
 public:
  virtual ~C_KveloBase();
};

namespace MessageCode {
// Message number in the message database; 0 means no code.
typedef int E_MessageCode_t;
}  // namespace MessageCode

namespace MessageToolEnums {
// Message types, bit flags. TYPE_ALL only selects every type in the filter operations.
enum E_MessageType_enum : int {
  TYPE_INFORMATION = 1,
  TYPE_ERROR = 2,
  TYPE_WARNING = 4,
  TYPE_TRACE = 8,      // also the type of call-stack listings
  TYPE_PROGRESS = 16,
  TYPE_ALL = 0xFFFF
};
// Verbosity levels: a stream shows a message whose level is at most its own.
enum E_VerbosityLevel_enum : int {
  LEVEL_PUBLIC = 0,
  LEVEL_1 = 1,
  LEVEL_2 = 2,
  LEVEL_INTERNAL = 3,
  LEVEL_4 = 4,
  LEVEL_ECHO = 5      // a stream at this level also echoes every message to standard output
};
// Debug-scope ids are plain integers; 0 means no scope. The library's own scopes are named;
// a host may use any other integer.
enum E_DebugScope_enum : int {
  SCOPE_NONE = 0,
  SCOPE_ALGO_POWER = 306,  // the power iteration's result lines
  SCOPE_DESIGN = 452,      // the design of experiments' lines
  SCOPE_KRIGING = 502      // the Kriging fit lines and refusal reasons
};
// Target streams.
enum E_MessageStream_enum : int {
  STREAM_SCREEN = 0,
  STREAM_LOG = 1,
  STREAM_LOG_RECORD = 2,
  STREAM_ALL = 3
};
}  // namespace MessageToolEnums

/* One message. A plain value: copying copies every field, the call stack included. A copy
 * never throws: when memory runs out it keeps key, codes, type, level, scope, stream, nature
 * and place, and leaves out the text or call-stack entries it cannot allocate. */
class KVELO_API C_KveloMessage {
 public:
  typedef MessageCode::E_MessageCode_t E_MessageCode_t;
  typedef MessageToolEnums::E_MessageType_enum E_MessageType_enum;
  typedef MessageToolEnums::E_VerbosityLevel_enum E_VerbosityLevel_enum;
  typedef MessageToolEnums::E_DebugScope_enum E_DebugScope_enum;
  typedef MessageToolEnums::E_MessageStream_enum E_MessageStream_enum;
  enum E_MessageNature { NATURE_MESSAGE = 0, NATURE_EXCEPTION = 1 };

  // Every constructor takes first the place of the report (function, file, line), kept as
  // the error location. Unnamed fields: key "DefaultMessageTool", code 0, level 0, scope 0,
  // stream all, empty text. A constructor that must store a text or a key other than the
  // default one throws C_KveloException 1001 when memory runs out for it.
  // Text of code from the database, arguments substituted (failure text when the lookup fails).
  C_KveloMessage(const char* function, const char* file, int line, E_MessageType_enum type,
                 E_MessageCode_t code, ...);
  C_KveloMessage(const char* function, const char* file, int line, const std::string& key,
                 E_MessageType_enum type, E_MessageCode_t code, ...);
  // Text printf-formatted from fmt.
  C_KveloMessage(const char* function, const char* file, int line, E_MessageType_enum type,
                 const char* fmt, ...);
  C_KveloMessage(const char* function, const char* file, int line, const std::string& key,
                 E_MessageType_enum type, const char* fmt, ...);
  // Text taken unchanged.
  C_KveloMessage(const char* function, const char* file, int line, E_MessageType_enum type,
                 const std::string& text);
  C_KveloMessage(const char* function, const char* file, int line, const std::string& key,
                 E_MessageType_enum type, const std::string& text);
  // No text.
  C_KveloMessage(const char* function, const char* file, int line, E_MessageType_enum type,
                 E_VerbosityLevel_enum level, E_DebugScope_enum scope, E_MessageStream_enum stream);
  // A code, no text.
  C_KveloMessage(const char* function, const char* file, int line, E_MessageCode_t code,
                 E_MessageType_enum type, E_VerbosityLevel_enum level, E_DebugScope_enum scope,
                 E_MessageStream_enum stream);
  C_KveloMessage(const char* function, const char* file, int line, const std::string& key,
                 E_MessageCode_t code, E_MessageType_enum type, E_VerbosityLevel_enum level,
                 E_DebugScope_enum scope, E_MessageStream_enum stream);
  // Text taken unchanged (the const char* form is not a format).
  C_KveloMessage(const char* function, const char* file, int line, const std::string& text,
                 E_MessageType_enum type, E_VerbosityLevel_enum level, E_DebugScope_enum scope,
                 E_MessageStream_enum stream);
  C_KveloMessage(const char* function, const char* file, int line, const std::string& key,
                 const std::string& text, E_MessageType_enum type, E_VerbosityLevel_enum level,
                 E_DebugScope_enum scope, E_MessageStream_enum stream);
  C_KveloMessage(const char* function, const char* file, int line, const char* text,
                 E_MessageType_enum type, E_VerbosityLevel_enum level, E_DebugScope_enum scope,
                 E_MessageStream_enum stream);
  // A copy of other; the place arguments are not used.
  C_KveloMessage(const char* function, const char* file, int line, const C_KveloMessage& other) noexcept;
  C_KveloMessage(const C_KveloMessage& other) noexcept;

  virtual ~C_KveloMessage();

  // The text forms (fmt, string) change nothing and throw C_KveloException 1001 when memory
  // runs out (Print(fmt or string) then prints nothing).
  // The code forms never throw: with no memory for any text they set the code and leave the
  // text empty (Set; the code's text is then looked up when the message is reported) or
  // unchanged (Append).
  // Text = fmt printf-formatted, cut to 16,399 characters (null args: fmt unformatted).
  virtual void Set(const char* fmt, va_list* args);
  // Code = code; text = the database text of code with args (failure text on any lookup failure).
  virtual void Set(E_MessageCode_t code, va_list* args);
  virtual void Set(const char* fmt, ...);
  // Text = s, unchanged.
  virtual void Set(const std::string& s);
  virtual void Set(E_MessageCode_t code, ...);
  // Appends fmt printf-formatted (the appended part cut to 16,399 characters).
  virtual void Append(const char* fmt, va_list* args);
  virtual void Append(const char* fmt, ...);
  // Appends s unchanged.
  virtual void Append(const std::string& s);
  // Code = code; appends its database text (or the failure text).
  virtual void Append(E_MessageCode_t code, ...);
  // Whether any targeted stream of the routing tool would show this message.
  virtual bool IsActive();
  // Set(fmt, ...) then Print(); returns 0, or -1 when the tool reports a failure.
  virtual int Print(const char* fmt, ...);
  // Text = s, then Print().
  virtual int Print(const std::string& s);
  // Set(code, ...) then Print().
  virtual int Print(E_MessageCode_t code, ...);
  // Hands the message to C_MessageTool::HandleMessage; 0, or -1 on a failure.
  virtual int Print();

  // Plain access to the fields; the getters of strings and records return references.
  // setKey throws C_KveloException 1001, key unchanged, when memory runs out.
  virtual void setKey(const std::string& key);
  virtual void setMessageCode(E_MessageCode_t code);
  virtual void setMessageType(E_MessageType_enum type);
  virtual void setVerbosityLevel(E_VerbosityLevel_enum level);
  virtual void setDebugScope(E_DebugScope_enum scope);
  virtual void setMessageStream(E_MessageStream_enum stream);

  virtual const std::string& getKey() const;
  virtual E_MessageCode_t getMessageCode() const;
  virtual E_MessageType_enum getMessageType() const;
  virtual E_VerbosityLevel_enum getVerbosityLevel() const;
  virtual E_DebugScope_enum getDebugScope() const;
  virtual E_MessageStream_enum getMessageStream() const;
  virtual const std::string& getMessage() const;  // the text

  virtual E_MessageNature getMessageNature() const;
  virtual const C_CallStack& getCallStack() const;
  virtual const C_Entry& getErrorLocation() const;

  // Copies every field (as the copy constructor does, so never throws); self-assignment
  // changes nothing.
  C_KveloMessage& operator=(const C_KveloMessage& other) noexcept;
  // Set(code) without arguments: only for codes whose text has no placeholder.
  C_KveloMessage& operator=(E_MessageCode_t code);
  // Set(s), unchanged (1001, text unchanged, when memory runs out).
  C_KveloMessage& operator=(const std::string& s);
  // Set(fmt): the characters are a format without arguments ("%%" gives "%"; any other
  // conversion is kept as written, never read); 1001, text unchanged, when memory runs out.
  C_KveloMessage& operator=(const char* fmt);
  // Append(s), unchanged (1001, text unchanged, when memory runs out).
  C_KveloMessage& operator+=(const std::string& s);
  // Appends fmt taken as a format without arguments ("%%" gives "%"); 1001 as above.
  C_KveloMessage& operator+=(const char* fmt);

 protected:
  // Fields shared with C_KveloException. The key is shared and never changed in place, so that
  // a copy never allocates for it; it is never null.
  std::shared_ptr<const std::string> m_key;
  E_MessageCode_t m_code;
  E_MessageType_enum m_type;
  E_VerbosityLevel_enum m_level;
  E_DebugScope_enum m_scope;
  E_MessageStream_enum m_stream;
  std::string m_text;
  C_CallStack m_callStack;
  E_MessageNature m_nature;
  C_Entry m_location;

  // Defaults of every field, with the given place.
  C_KveloMessage(const char* function, const char* file, int line, const std::string& key,
                 E_MessageType_enum type);
  // The same with a shared key (never null); allocates nothing.
  C_KveloMessage(const char* function, const char* file, int line,
                 std::shared_ptr<const std::string> key, E_MessageType_enum type) noexcept;
  // out = the database text of code (args may be null) for key, or the failure text when that
  // fails; out is left empty when memory runs out even for that. Never throws.
  static void LookupText(const std::string& key, E_MessageCode_t code, va_list* args,
                         std::string& out) noexcept;
  // The stored key of a name: the shared default key for "DefaultMessageTool" (no allocation),
  // else a new one (C_KveloException 1001 when it cannot be had).
  static std::shared_ptr<const std::string> KeyOf(const std::string& key);
  // The shared default key "DefaultMessageTool".
  static const std::shared_ptr<const std::string>& DefaultKey() noexcept;
  // Exchanges every field with other's; never throws.
  void SwapMessage(C_KveloMessage& other) noexcept;
};

}  // namespace Kvelo

#endif
