// C_KveloMessage.cpp: messages and the library's exception type. A message carries either
// its own text or a code whose text the routing tool's database supplies; an exception adds
// exception and reason codes, errno and a snapshot of the raising thread's call stack.
#include "C_KveloMessage.h"

#include "C_KveloException.h"
#include "C_MessageTool.h"
#include "runtime/msg_format.h"

#include <cerrno>
#include <cstdio>
#include <vector>

namespace Kvelo {

namespace {
const char kDefaultKey[] = "DefaultMessageTool";
// The formatting buffers the texts were once bound to; longer texts are cut to fit them.
const std::size_t kMessageBuffer = 16400;
const std::size_t kReasonBuffer = 1024;
}  // namespace

namespace detail {

std::string FormatV(const char* fmt, va_list ap, std::size_t limit) {
  if (fmt == nullptr) return std::string();
  va_list probe;
  va_copy(probe, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, probe);
  va_end(probe);
  if (n < 0) return std::string();
  std::size_t want = static_cast<std::size_t>(n);
  if (limit != 0 && want > limit - 1) want = limit - 1;
  std::vector<char> buf(static_cast<std::size_t>(n) + 1);
  va_list again;
  va_copy(again, ap);
  std::vsnprintf(buf.data(), buf.size(), fmt, again);
  va_end(again);
  return std::string(buf.data(), want);
}

std::string Format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string s = FormatV(fmt, ap);
  va_end(ap);
  return s;
}

}  // namespace detail

// A format used without arguments: "%%" gives "%". Any other conversion would read an
// argument that is not there, so it is kept as written.
static std::string LiteralFormat(const char* fmt) {
  std::string text;
  if (fmt == nullptr) return text;
  for (const char* p = fmt; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == '%') ++p;
    text += *p;
  }
  if (text.size() > kMessageBuffer - 1) text.resize(kMessageBuffer - 1);
  return text;
}

// ---------------------------------------------------------------- C_KveloBase

C_KveloBase::~C_KveloBase() {}

// ---------------------------------------------------------------- construction

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               const std::string& key, E_MessageType_enum type)
    : m_key(key),
      m_code(0),
      m_type(type),
      m_level(MessageToolEnums::LEVEL_PUBLIC),
      m_scope(MessageToolEnums::SCOPE_NONE),
      m_stream(MessageToolEnums::STREAM_ALL),
      m_nature(NATURE_MESSAGE),
      m_location(function, file, line) {}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               E_MessageType_enum type, E_MessageCode_t code, ...)
    : C_KveloMessage(function, file, line, kDefaultKey, type) {
  va_list ap;
  va_start(ap, code);
  Set(code, &ap);
  va_end(ap);
}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               const std::string& key, E_MessageType_enum type,
                               E_MessageCode_t code, ...)
    : C_KveloMessage(function, file, line, key, type) {
  va_list ap;
  va_start(ap, code);
  Set(code, &ap);
  va_end(ap);
}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               E_MessageType_enum type, const char* fmt, ...)
    : C_KveloMessage(function, file, line, kDefaultKey, type) {
  va_list ap;
  va_start(ap, fmt);
  Set(fmt, &ap);
  va_end(ap);
}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               const std::string& key, E_MessageType_enum type,
                               const char* fmt, ...)
    : C_KveloMessage(function, file, line, key, type) {
  va_list ap;
  va_start(ap, fmt);
  Set(fmt, &ap);
  va_end(ap);
}

// The forms without a key are those of the default tool.
C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               E_MessageType_enum type, const std::string& text)
    : C_KveloMessage(function, file, line, kDefaultKey, type, text) {}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               const std::string& key, E_MessageType_enum type,
                               const std::string& text)
    : C_KveloMessage(function, file, line, key, type) {
  m_text = text;
}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               E_MessageType_enum type, E_VerbosityLevel_enum level,
                               E_DebugScope_enum scope, E_MessageStream_enum stream)
    : C_KveloMessage(function, file, line, kDefaultKey, E_MessageCode_t(0), type, level, scope,
                     stream) {}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               E_MessageCode_t code, E_MessageType_enum type,
                               E_VerbosityLevel_enum level, E_DebugScope_enum scope,
                               E_MessageStream_enum stream)
    : C_KveloMessage(function, file, line, kDefaultKey, code, type, level, scope, stream) {}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               const std::string& key, E_MessageCode_t code,
                               E_MessageType_enum type, E_VerbosityLevel_enum level,
                               E_DebugScope_enum scope, E_MessageStream_enum stream)
    : C_KveloMessage(function, file, line, key, type) {
  m_code = code;
  m_level = level;
  m_scope = scope;
  m_stream = stream;
}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               const std::string& text, E_MessageType_enum type,
                               E_VerbosityLevel_enum level, E_DebugScope_enum scope,
                               E_MessageStream_enum stream)
    : C_KveloMessage(function, file, line, kDefaultKey, text, type, level, scope, stream) {}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               const std::string& key, const std::string& text,
                               E_MessageType_enum type, E_VerbosityLevel_enum level,
                               E_DebugScope_enum scope, E_MessageStream_enum stream)
    : C_KveloMessage(function, file, line, key, E_MessageCode_t(0), type, level, scope, stream) {
  m_text = text;
}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               const char* text, E_MessageType_enum type,
                               E_VerbosityLevel_enum level, E_DebugScope_enum scope,
                               E_MessageStream_enum stream)
    : C_KveloMessage(function, file, line, kDefaultKey,
                     text != nullptr ? std::string(text) : std::string(), type, level, scope,
                     stream) {}

C_KveloMessage::C_KveloMessage(const char*, const char*, int, const C_KveloMessage& other)
    : C_KveloMessage(other) {}

C_KveloMessage::C_KveloMessage(const C_KveloMessage& other) = default;

C_KveloMessage::~C_KveloMessage() {}

// ---------------------------------------------------------------- texts

std::string C_KveloMessage::LookupText(const std::string& key, E_MessageCode_t code,
                                       va_list* args) {
  try {
    std::string out;
    if (C_MessageTool::Instance(key) != nullptr &&
        C_MessageTool::getMessage(code, out, args, key) == 0)
      return out;
  } catch (...) {
    // Any failure of the lookup gives the failure text below.
  }
  return detail::Format("MessageDatabase failed to load id %d", code);
}

void C_KveloMessage::Set(const char* fmt, va_list* args) {
  m_text.clear();
  Append(fmt, args);
}

void C_KveloMessage::Set(E_MessageCode_t code, va_list* args) {
  m_code = code;
  m_text = LookupText(m_key, code, args);
}

void C_KveloMessage::Set(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  Set(fmt, &ap);
  va_end(ap);
}

void C_KveloMessage::Set(const std::string& s) { m_text = s; }

void C_KveloMessage::Set(E_MessageCode_t code, ...) {
  va_list ap;
  va_start(ap, code);
  Set(code, &ap);
  va_end(ap);
}

void C_KveloMessage::Append(const char* fmt, va_list* args) {
  if (args == nullptr) {
    if (fmt != nullptr) m_text += std::string(fmt).substr(0, kMessageBuffer - 1);
    return;
  }
  m_text += detail::FormatV(fmt, *args, kMessageBuffer);
}

void C_KveloMessage::Append(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  Append(fmt, &ap);
  va_end(ap);
}

void C_KveloMessage::Append(const std::string& s) { m_text += s; }

void C_KveloMessage::Append(E_MessageCode_t code, ...) {
  va_list ap;
  va_start(ap, code);
  m_code = code;
  m_text += LookupText(m_key, code, &ap);
  va_end(ap);
}

bool C_KveloMessage::IsActive() {
  C_MessageTool* tool = C_MessageTool::Instance(m_key);
  return tool != nullptr && tool->MessageActive(*this, m_stream);
}

int C_KveloMessage::Print(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  Set(fmt, &ap);
  va_end(ap);
  return Print();
}

int C_KveloMessage::Print(const std::string& s) {
  m_text = s;
  return Print();
}

int C_KveloMessage::Print(E_MessageCode_t code, ...) {
  va_list ap;
  va_start(ap, code);
  Set(code, &ap);
  va_end(ap);
  return Print();
}

int C_KveloMessage::Print() { return C_MessageTool::HandleMessage(*this); }

// ---------------------------------------------------------------- fields

void C_KveloMessage::setKey(const std::string& key) { m_key = key; }
void C_KveloMessage::setMessageCode(E_MessageCode_t code) { m_code = code; }
void C_KveloMessage::setMessageType(E_MessageType_enum type) { m_type = type; }
void C_KveloMessage::setVerbosityLevel(E_VerbosityLevel_enum level) { m_level = level; }
void C_KveloMessage::setDebugScope(E_DebugScope_enum scope) { m_scope = scope; }
void C_KveloMessage::setMessageStream(E_MessageStream_enum stream) { m_stream = stream; }

const std::string& C_KveloMessage::getKey() const { return m_key; }
C_KveloMessage::E_MessageCode_t C_KveloMessage::getMessageCode() const { return m_code; }
C_KveloMessage::E_MessageType_enum C_KveloMessage::getMessageType() const { return m_type; }
C_KveloMessage::E_VerbosityLevel_enum C_KveloMessage::getVerbosityLevel() const { return m_level; }
C_KveloMessage::E_DebugScope_enum C_KveloMessage::getDebugScope() const { return m_scope; }
C_KveloMessage::E_MessageStream_enum C_KveloMessage::getMessageStream() const { return m_stream; }
const std::string& C_KveloMessage::getMessage() const { return m_text; }
C_KveloMessage::E_MessageNature C_KveloMessage::getMessageNature() const { return m_nature; }
const C_CallStack& C_KveloMessage::getCallStack() const { return m_callStack; }
const C_Entry& C_KveloMessage::getErrorLocation() const { return m_location; }

// ---------------------------------------------------------------- operators

C_KveloMessage& C_KveloMessage::operator=(const C_KveloMessage& other) {
  if (this == &other) return *this;
  m_key = other.m_key;
  m_code = other.m_code;
  m_type = other.m_type;
  m_level = other.m_level;
  m_scope = other.m_scope;
  m_stream = other.m_stream;
  m_text = other.m_text;
  m_callStack = other.m_callStack;
  m_nature = other.m_nature;
  m_location = other.m_location;
  return *this;
}

C_KveloMessage& C_KveloMessage::operator=(E_MessageCode_t code) {
  Set(code, static_cast<va_list*>(nullptr));
  return *this;
}

C_KveloMessage& C_KveloMessage::operator=(const std::string& s) {
  Set(s);
  return *this;
}

C_KveloMessage& C_KveloMessage::operator=(const char* fmt) {
  m_text = LiteralFormat(fmt);
  return *this;
}

C_KveloMessage& C_KveloMessage::operator+=(const std::string& s) {
  Append(s);
  return *this;
}

C_KveloMessage& C_KveloMessage::operator+=(const char* fmt) {
  m_text += LiteralFormat(fmt);
  return *this;
}

}  // namespace Kvelo

// ==================================================================== C_KveloException

using Kvelo::C_KveloMessage;

C_KveloException::C_KveloException(const char* function, const char* file, int line,
                                   E_MessageCode_t exceptionCode, E_MessageCode_t reasonCode,
                                   const std::string& key)
    : C_KveloMessage(function, file, line, key, Kvelo::MessageToolEnums::TYPE_ERROR),
      m_exceptionCode(exceptionCode),
      m_reasonCode(reasonCode),
      m_errno(0) {
  m_code = exceptionCode;
  m_nature = NATURE_EXCEPTION;
  if (reasonCode == 100) setReasonCodeFromErrno();
  m_callStack = Kvelo::GlobalCallstackCollection().GetCurrentCallStack();
}

C_KveloException::~C_KveloException() {}

void C_KveloException::setExceptionCode(E_MessageCode_t code, ...) {
  m_exceptionCode = code;
  setMessageCode(code);
  va_list ap;
  va_start(ap, code);
  m_exceptionText = LookupText(m_key, code, &ap);
  va_end(ap);
}

void C_KveloException::setExceptionCode(E_MessageCode_t exception, E_MessageCode_t reason) {
  m_exceptionCode = exception;
  setMessageCode(exception);
  setReasonCode(reason);
}

void C_KveloException::setReasonCode(E_MessageCode_t code) {
  m_reasonCode = code;
  if (code == 100) setReasonCodeFromErrno();
}

void C_KveloException::setReason(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  m_reasonText = Kvelo::detail::FormatV(fmt, ap, Kvelo::kReasonBuffer);
  va_end(ap);
}

void C_KveloException::setReason(E_MessageCode_t code, ...) {
  m_reasonCode = code;
  if (code == 100) {
    setReasonCodeFromErrno();
    return;
  }
  va_list ap;
  va_start(ap, code);
  m_reasonText = LookupText(m_key, code, &ap);
  va_end(ap);
}

C_KveloException::E_MessageCode_t C_KveloException::getExceptionCode() const { return m_exceptionCode; }
C_KveloException::E_MessageCode_t C_KveloException::getReasonCode() const { return m_reasonCode; }
std::string C_KveloException::getReasonMessage() const { return m_reasonText; }
std::string C_KveloException::getExceptionMessage() const { return m_exceptionText; }
int C_KveloException::getErrno() const { return m_errno; }

void C_KveloException::setReasonCodeFromErrno() {
  m_errno = errno;
  E_MessageCode_t reason;
  switch (m_errno) {
    case ENXIO: reason = 17; break;
    case EBADF: reason = 16; break;
    case ENOMEM: reason = 1; break;
    case EACCES: reason = 2828; break;
    case EINVAL: reason = 18; break;
    case ENFILE: reason = 8; break;
    case EMFILE: reason = 7; break;
    case EFBIG: reason = 9; break;
    case ENOSPC: reason = 5; break;
    default: reason = 31; break;
  }
  setReasonCode(reason);
}

void KveloThrow(int code, int reason, const char* file, int line) {
  throw C_KveloException("Throwing", file, line, code, reason, "DefaultMessageTool");
}
