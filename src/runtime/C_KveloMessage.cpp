// C_KveloMessage.cpp: messages and the library's exception type. A message carries either
// its own text or a code whose text the routing tool's database supplies; an exception adds
// exception and reason codes, errno and a snapshot of the raising thread's call stack.
#include "C_KveloMessage.h"

#include "C_KveloException.h"
#include "C_MessageTool.h"
#include "runtime/msg_format.h"
#include "runtime/no_memory.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
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
  const int n = std::vsnprintf(nullptr, 0, fmt, probe);
  va_end(probe);
  if (n < 0) {
    // More than an int can count (or a conversion that fails): without a limit there is no
    // text; with one, the part that fits, which the formatting still writes.
    if (limit == 0) return std::string();
    std::vector<char> buf(limit, '\0');
    va_list again;
    va_copy(again, ap);
    std::vsnprintf(buf.data(), buf.size(), fmt, again);
    va_end(again);
    buf[limit - 1] = '\0';
    return std::string(buf.data());
  }
  // Only what is kept is allocated, however wide the format would make the text.
  std::size_t want = static_cast<std::size_t>(n);
  if (limit != 0 && want > limit - 1) want = limit - 1;
  std::string out(want, '\0');
  va_list again;
  va_copy(again, ap);
  std::vsnprintf(&out[0], want + 1, fmt, again);  // writes the terminator at out[want]
  va_end(again);
  return out;
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
  for (const char* p = fmt; *p != '\0' && text.size() < kMessageBuffer - 1; ++p) {
    if (p[0] == '%' && p[1] == '%') ++p;
    text += *p;
  }
  return text;
}

namespace {
// dst = a copy of src; 1001, dst unchanged, when memory runs out.
void TakeText(std::string& dst, const std::string& src) {
  kvrt::Or1001([&] { dst = src; });
}

// dst = a copy of src, or left empty when memory runs out; never throws.
void CopyTextOrLeaveEmpty(std::string& dst, const std::string& src) noexcept {
  try {
    dst = src;
  } catch (...) {
    dst.clear();
  }
}
}  // namespace

// ---------------------------------------------------------------- C_KveloBase

C_KveloBase::~C_KveloBase() {}

// ---------------------------------------------------------------- construction

namespace {

typedef std::shared_ptr<const std::string> SharedKey;

// Built at load (below) and never destroyed: a message made in a static destructor, or when
// memory has run out, still has it.
const SharedKey& SharedDefaultKey() {
  alignas(SharedKey) static unsigned char storage[sizeof(SharedKey)];
  static const SharedKey* key = new (storage) SharedKey(std::make_shared<const std::string>(kDefaultKey));
  return *key;
}
[[maybe_unused]] const bool g_defaultKeyBuilt = (SharedDefaultKey(), true);

}  // namespace

const std::shared_ptr<const std::string>& C_KveloMessage::DefaultKey() noexcept { return SharedDefaultKey(); }

std::shared_ptr<const std::string> C_KveloMessage::KeyOf(const std::string& key) {
  if (key == kDefaultKey) return DefaultKey();
  return kvrt::Or1001([&] { return std::make_shared<const std::string>(key); });
}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               std::shared_ptr<const std::string> key, E_MessageType_enum type) noexcept
    : m_key(std::move(key)),
      m_code(0),
      m_type(type),
      m_level(MessageToolEnums::LEVEL_PUBLIC),
      m_scope(MessageToolEnums::SCOPE_NONE),
      m_stream(MessageToolEnums::STREAM_ALL),
      m_callStack(0),
      m_nature(NATURE_MESSAGE),
      m_location(function, file, line) {}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               const std::string& key, E_MessageType_enum type)
    : C_KveloMessage(function, file, line, KeyOf(key), type) {}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               E_MessageType_enum type, E_MessageCode_t code, ...)
    : C_KveloMessage(function, file, line, DefaultKey(), type) {
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
    : C_KveloMessage(function, file, line, DefaultKey(), type) {
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

// The forms without a key share the default tool's key.
C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               E_MessageType_enum type, const std::string& text)
    : C_KveloMessage(function, file, line, DefaultKey(), type) {
  TakeText(m_text, text);
}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               const std::string& key, E_MessageType_enum type,
                               const std::string& text)
    : C_KveloMessage(function, file, line, key, type) {
  TakeText(m_text, text);
}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               E_MessageType_enum type, E_VerbosityLevel_enum level,
                               E_DebugScope_enum scope, E_MessageStream_enum stream)
    : C_KveloMessage(function, file, line, DefaultKey(), type) {
  m_level = level;
  m_scope = scope;
  m_stream = stream;
}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               E_MessageCode_t code, E_MessageType_enum type,
                               E_VerbosityLevel_enum level, E_DebugScope_enum scope,
                               E_MessageStream_enum stream)
    : C_KveloMessage(function, file, line, type, level, scope, stream) {
  m_code = code;
}

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
    : C_KveloMessage(function, file, line, type, level, scope, stream) {
  TakeText(m_text, text);
}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               const std::string& key, const std::string& text,
                               E_MessageType_enum type, E_VerbosityLevel_enum level,
                               E_DebugScope_enum scope, E_MessageStream_enum stream)
    : C_KveloMessage(function, file, line, key, E_MessageCode_t(0), type, level, scope, stream) {
  TakeText(m_text, text);
}

C_KveloMessage::C_KveloMessage(const char* function, const char* file, int line,
                               const char* text, E_MessageType_enum type,
                               E_VerbosityLevel_enum level, E_DebugScope_enum scope,
                               E_MessageStream_enum stream)
    : C_KveloMessage(function, file, line, type, level, scope, stream) {
  if (text != nullptr) kvrt::Or1001([&] { m_text = text; });
}

C_KveloMessage::C_KveloMessage(const char*, const char*, int, const C_KveloMessage& other) noexcept
    : C_KveloMessage(other) {}

// The key is shared and the other fields are plain values: only the text and the stack
// entries need memory, and each is left out alone when it cannot be had.
C_KveloMessage::C_KveloMessage(const C_KveloMessage& other) noexcept
    : m_key(other.m_key),
      m_code(other.m_code),
      m_type(other.m_type),
      m_level(other.m_level),
      m_scope(other.m_scope),
      m_stream(other.m_stream),
      m_callStack(0),
      m_nature(other.m_nature),
      m_location(other.m_location) {
  CopyTextOrLeaveEmpty(m_text, other.m_text);
  try {
    m_callStack = other.m_callStack;
  } catch (...) {
    // The snapshot stays empty; the place of the report is kept.
  }
}

C_KveloMessage::~C_KveloMessage() {}

// ---------------------------------------------------------------- texts

void C_KveloMessage::LookupText(const std::string& key, E_MessageCode_t code, va_list* args,
                                std::string& out) noexcept {
  out.clear();
  try {
    if (C_MessageTool::Instance(key) != nullptr && C_MessageTool::getMessage(code, out, args, key) == 0)
      return;
  } catch (...) {
    // Any failure of the lookup gives the failure text below.
  }
  try {
    out = detail::Format("MessageDatabase failed to load id %d", code);
  } catch (...) {
    out.clear();  // no memory even for that: no text
  }
}

// Each text operation builds its result aside and installs it only once it is whole.
void C_KveloMessage::Set(const char* fmt, va_list* args) {
  std::string text;
  kvrt::Or1001([&] {
    if (args == nullptr) {
      if (fmt != nullptr) text.assign(fmt, ::strnlen(fmt, kMessageBuffer - 1));
    } else {
      text = detail::FormatV(fmt, *args, kMessageBuffer);
    }
  });
  m_text.swap(text);
}

void C_KveloMessage::Set(E_MessageCode_t code, va_list* args) {
  std::string text;
  LookupText(*m_key, code, args, text);
  m_code = code;
  m_text.swap(text);
}

void C_KveloMessage::Set(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  Set(fmt, &ap);
  va_end(ap);
}

void C_KveloMessage::Set(const std::string& s) { TakeText(m_text, s); }

void C_KveloMessage::Set(E_MessageCode_t code, ...) {
  va_list ap;
  va_start(ap, code);
  Set(code, &ap);
  va_end(ap);
}

// Appending changes nothing when it fails: the text grows in one step or not at all.
void C_KveloMessage::Append(const char* fmt, va_list* args) {
  kvrt::Or1001([&] {
    if (args == nullptr) {
      if (fmt != nullptr) m_text.append(fmt, ::strnlen(fmt, kMessageBuffer - 1));
      return;
    }
    m_text += detail::FormatV(fmt, *args, kMessageBuffer);
  });
}

void C_KveloMessage::Append(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  Append(fmt, &ap);
  va_end(ap);
}

void C_KveloMessage::Append(const std::string& s) {
  kvrt::Or1001([&] { m_text += s; });
}

void C_KveloMessage::Append(E_MessageCode_t code, ...) {
  va_list ap;
  va_start(ap, code);
  std::string text;
  LookupText(*m_key, code, &ap, text);
  va_end(ap);
  m_code = code;
  try {
    m_text += text;
  } catch (...) {
    // No memory for the longer text: it stays as it was.
  }
}

bool C_KveloMessage::IsActive() {
  C_MessageTool* tool = C_MessageTool::Instance(*m_key);
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
  TakeText(m_text, s);
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

void C_KveloMessage::setKey(const std::string& key) { m_key = KeyOf(key); }
void C_KveloMessage::setMessageCode(E_MessageCode_t code) { m_code = code; }
void C_KveloMessage::setMessageType(E_MessageType_enum type) { m_type = type; }
void C_KveloMessage::setVerbosityLevel(E_VerbosityLevel_enum level) { m_level = level; }
void C_KveloMessage::setDebugScope(E_DebugScope_enum scope) { m_scope = scope; }
void C_KveloMessage::setMessageStream(E_MessageStream_enum stream) { m_stream = stream; }

const std::string& C_KveloMessage::getKey() const { return *m_key; }
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

void C_KveloMessage::SwapMessage(C_KveloMessage& other) noexcept {
  using std::swap;
  swap(m_key, other.m_key);
  swap(m_code, other.m_code);
  swap(m_type, other.m_type);
  swap(m_level, other.m_level);
  swap(m_scope, other.m_scope);
  swap(m_stream, other.m_stream);
  m_text.swap(other.m_text);
  swap(m_callStack, other.m_callStack);
  swap(m_nature, other.m_nature);
  swap(m_location, other.m_location);
}

// The copy is made whole first, then exchanged: the target changes at once or not at all.
C_KveloMessage& C_KveloMessage::operator=(const C_KveloMessage& other) noexcept {
  if (this == &other) return *this;
  C_KveloMessage copy(other);
  SwapMessage(copy);
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
  kvrt::Or1001([&] { m_text = LiteralFormat(fmt); });
  return *this;
}

C_KveloMessage& C_KveloMessage::operator+=(const std::string& s) {
  Append(s);
  return *this;
}

C_KveloMessage& C_KveloMessage::operator+=(const char* fmt) {
  kvrt::Or1001([&] { m_text += LiteralFormat(fmt); });
  return *this;
}

}  // namespace Kvelo

// ==================================================================== C_KveloException

using Kvelo::C_KveloMessage;

namespace {

// The stored key of an exception: never fails, the default key standing in for one that
// cannot be stored.
// Set while this thread takes an exception's stack snapshot. The snapshot may run out of memory
// and raise 1001, whose own exception must then go without one: else each would need the next.
thread_local bool t_takingSnapshot = false;

std::shared_ptr<const std::string> ExceptionKey(const char* key) noexcept {
  if (key == nullptr || std::strcmp(key, Kvelo::kDefaultKey) == 0) return Kvelo::SharedDefaultKey();
  try {
    return std::make_shared<const std::string>(key);
  } catch (...) {
    return Kvelo::SharedDefaultKey();
  }
}

}  // namespace

C_KveloException::C_KveloException(const char* function, const char* file, int line,
                                   E_MessageCode_t exceptionCode, E_MessageCode_t reasonCode,
                                   const char* key) noexcept
    : C_KveloMessage(function, file, line, ExceptionKey(key), Kvelo::MessageToolEnums::TYPE_ERROR),
      m_exceptionCode(exceptionCode),
      m_reasonCode(reasonCode),
      m_errno(0) {
  m_code = exceptionCode;
  m_nature = NATURE_EXCEPTION;
  if (reasonCode == 100) setReasonCodeFromErrno();
  // The snapshot needs memory; without it the exception still goes out, with its place.
  if (t_takingSnapshot) return;
  t_takingSnapshot = true;
  try {
    m_callStack = Kvelo::GlobalCallstackCollection().GetCurrentCallStack();
  } catch (...) {
  }
  t_takingSnapshot = false;
}

C_KveloException::C_KveloException(const char* function, const char* file, int line,
                                   E_MessageCode_t exceptionCode, E_MessageCode_t reasonCode,
                                   const std::string& key) noexcept
    : C_KveloException(function, file, line, exceptionCode, reasonCode, key.c_str()) {}

C_KveloException::C_KveloException(const C_KveloException& other) noexcept
    : C_KveloMessage(other),
      m_exceptionCode(other.m_exceptionCode),
      m_reasonCode(other.m_reasonCode),
      m_errno(other.m_errno) {
  Kvelo::CopyTextOrLeaveEmpty(m_exceptionText, other.m_exceptionText);
  Kvelo::CopyTextOrLeaveEmpty(m_reasonText, other.m_reasonText);
}

C_KveloException& C_KveloException::operator=(const C_KveloException& other) noexcept {
  if (this == &other) return *this;
  C_KveloException copy(other);
  SwapMessage(copy);
  std::swap(m_exceptionCode, copy.m_exceptionCode);
  std::swap(m_reasonCode, copy.m_reasonCode);
  m_exceptionText.swap(copy.m_exceptionText);
  m_reasonText.swap(copy.m_reasonText);
  std::swap(m_errno, copy.m_errno);
  return *this;
}

C_KveloException::~C_KveloException() {}

void C_KveloException::setExceptionCode(E_MessageCode_t code, ...) {
  va_list ap;
  va_start(ap, code);
  std::string text;
  LookupText(*m_key, code, &ap, text);
  va_end(ap);
  m_exceptionCode = code;
  setMessageCode(code);
  m_exceptionText.swap(text);
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
  std::string text;
  try {
    text = kvrt::Or1001([&] { return Kvelo::detail::FormatV(fmt, ap, Kvelo::kReasonBuffer); });
  } catch (...) {
    va_end(ap);
    throw;
  }
  va_end(ap);
  m_reasonText.swap(text);
}

void C_KveloException::setReason(E_MessageCode_t code, ...) {
  m_reasonCode = code;
  if (code == 100) {
    setReasonCodeFromErrno();
    return;
  }
  va_list ap;
  va_start(ap, code);
  std::string text;
  LookupText(*m_key, code, &ap, text);
  va_end(ap);
  m_reasonText.swap(text);
}

C_KveloException::E_MessageCode_t C_KveloException::getExceptionCode() const { return m_exceptionCode; }
C_KveloException::E_MessageCode_t C_KveloException::getReasonCode() const { return m_reasonCode; }
std::string C_KveloException::getReasonMessage() const {
  return kvrt::Or1001([&] { return std::string(m_reasonText); });
}
std::string C_KveloException::getExceptionMessage() const {
  return kvrt::Or1001([&] { return std::string(m_exceptionText); });
}
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
