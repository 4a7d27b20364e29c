// C_MessageTool.cpp: the message router. Filters every message per stream by type,
// verbosity and debug scope, supplies code texts from its message database, writes through
// the stream controllers (the tool itself by default), follows each error with its call-stack
// listing, and carries the host's set-up (message file, log file) and progress reports.
#include "C_MessageTool.h"

#include "C_CallStack.h"
#include "chaine.h"
#include "kvelosys.h"
#include "platform/plat_display.h"
#include "runtime/C_MessageDatabase.h"
#include "runtime/int_text.h"
#include "runtime/msg_format.h"
#include "runtime/msgtool_registry.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace Kvelo {

using namespace MessageToolEnums;

namespace {
const char kDefaultKey[] = "DefaultMessageTool";
const char kNotInitialized[] = "MessageTool is not initialized!";
const char kInvalidMessage[] = "*** MessageTool: invalid message, empty string in argument!";

bool ValidStream(int s) { return s >= 0 && s <= 2; }
}  // namespace

C_MessageTool* C_MessageTool::_LastMessageTool = nullptr;

C_MessageStream::C_MessageStream()
    : typeFilter(15), level(LEVEL_PUBLIC), scopes{0}, ctrl(nullptr) {}

// ---------------------------------------------------------------- registry

C_MessageTool* C_MessageTool::Instance(const std::string& key) {
  detail::ToolRegistry* reg = detail::MessageToolRegistry();
  if (reg == nullptr) return nullptr;
  auto it = reg->find(key);
  if (it != reg->end()) {
    if (it->second->m_initialized) _LastMessageTool = it->second;
    return it->second;
  }
  try {
    C_MessageTool* tool = new C_MessageTool(key);
    (*reg)[key] = tool;
    return tool;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool C_MessageTool::HasInstance(const std::string& key) {
  detail::ToolRegistry* reg = detail::MessageToolRegistry();
  return reg != nullptr && reg->find(key) != reg->end();
}

C_MessageTool* C_MessageTool::LastInstance() { return _LastMessageTool; }

// ---------------------------------------------------------------- life

C_MessageTool::C_MessageTool(const std::string& key)
    : m_log(nullptr),
      m_append(true),
      m_initialized(false),
      m_progressOpen(false),
      m_progressStopped(false),
      m_progressMax(0),
      m_progressCurrent(0),
      m_database(nullptr),
      m_language(C_MessageDatabaseTypes::LANG_DEFAULT),
      m_endChar(' ') {
  setMessageTypeFilter(15, STREAM_ALL);
  setVerbosityLevel(LEVEL_PUBLIC, STREAM_ALL);
  ActivateDebugScope(-1, true, STREAM_ALL);
  m_key = key;
  const char* verbosity = kvelo_getenv("KVELO_VERBOSITY");
  if (verbosity != nullptr)
    setVerbosityLevel(static_cast<E_VerbosityLevel_enum>(kvrt::IntOrZero(verbosity)), STREAM_ALL);
  for (C_MessageStream& s : m_streams) s.ctrl = this;
}

C_MessageTool::~C_MessageTool() {
  if (_LastMessageTool == this) _LastMessageTool = nullptr;
  m_initialized = false;
  delete m_database;
  m_database = nullptr;
  closeLogFile();
  detail::ToolRegistry* reg = detail::MessageToolRegistry();
  if (reg != nullptr) {
    auto it = reg->find(m_key);
    if (it != reg->end() && it->second == this) reg->erase(it);
  }
}

// ---------------------------------------------------------------- stream settings

void C_MessageTool::setMessageTypeFilter(unsigned filter, E_MessageStream_enum stream) {
  if (stream == STREAM_ALL) {
    for (C_MessageStream& s : m_streams) s.typeFilter = filter;
  } else if (ValidStream(stream)) {
    m_streams[stream].typeFilter = filter;
  }
}

unsigned C_MessageTool::getMessageTypeFilter(E_MessageStream_enum stream) const {
  return ValidStream(stream) ? m_streams[stream].typeFilter : 0u;
}

void C_MessageTool::ActivateMessageType(E_MessageType_enum type, bool on, E_MessageStream_enum stream) {
  if (stream == STREAM_ALL) {
    for (int s = 0; s < 3; ++s) ActivateMessageType(type, on, static_cast<E_MessageStream_enum>(s));
    return;
  }
  if (!ValidStream(stream)) return;
  unsigned& f = m_streams[stream].typeFilter;
  if (type == TYPE_ALL)
    f = on ? 0xFFFFu : 0u;
  else if (on)
    f |= static_cast<unsigned>(type);
  else
    f &= ~static_cast<unsigned>(type);
}

bool C_MessageTool::MessageTypeActive(E_MessageType_enum type, E_MessageStream_enum stream) const {
  if (!ValidStream(stream) || type == TYPE_ALL) return false;
  return (static_cast<unsigned>(type) & m_streams[stream].typeFilter) != 0;
}

void C_MessageTool::setVerbosityLevel(E_VerbosityLevel_enum level, E_MessageStream_enum stream) {
  if (stream == STREAM_ALL) {
    for (C_MessageStream& s : m_streams) s.level = level;
  } else if (ValidStream(stream)) {
    m_streams[stream].level = level;
  }
}

C_MessageTool::E_VerbosityLevel_enum C_MessageTool::getVerbosityLevel(E_MessageStream_enum stream) const {
  return ValidStream(stream) ? m_streams[stream].level : LEVEL_PUBLIC;
}

bool C_MessageTool::VerbosityLevelActive(E_VerbosityLevel_enum level, E_MessageStream_enum stream) const {
  return ValidStream(stream) && m_streams[stream].level >= level;
}

void C_MessageTool::ResetDebugScopes() {
  for (C_MessageStream& s : m_streams) {
    s.scopes.clear();
    s.scopes.insert(0);
  }
  const char* env = kvelo_getenv("KVELO_DEBUG_SCOPES");
  if (env == nullptr) return;
  std::vector<int> ids;
  std::string value(env);
  std::size_t pos = 0;
  while (pos <= value.size()) {
    std::size_t end = value.find(';', pos);
    if (end == std::string::npos) end = value.size();
    if (end > pos) ids.push_back(kvrt::IntOrZero(value.substr(pos, end - pos).c_str()));
    pos = end + 1;
  }
  if (ids.empty()) return;
  std::printf("\nKVELO_DEBUG_SCOPES defined, activating the debug scopes: ");
  for (int id : ids) {
    for (C_MessageStream& s : m_streams) s.scopes.insert(id);
    std::printf("%d ", id);
  }
  std::printf("\n");
  std::fflush(stdout);
}

void C_MessageTool::ActivateDebugScope(int scope, bool on, E_MessageStream_enum stream) {
  if (scope == -1) {
    // A reset covers every stream; asked for all streams it runs once per stream.
    int runs = (stream == STREAM_ALL) ? 3 : 1;
    for (int i = 0; i < runs; ++i) ResetDebugScopes();
    return;
  }
  if (stream == STREAM_ALL) {
    for (C_MessageStream& s : m_streams) {
      if (on)
        s.scopes.insert(scope);
      else
        s.scopes.erase(scope);
    }
  } else if (ValidStream(stream)) {
    if (on)
      m_streams[stream].scopes.insert(scope);
    else
      m_streams[stream].scopes.erase(scope);
  }
}

void C_MessageTool::ActivateDebugScope(E_DebugScope_enum scope, bool on, E_MessageStream_enum stream) {
  ActivateDebugScope(static_cast<int>(scope), on, stream);
}

bool C_MessageTool::DebugScopeActive(int scope, E_MessageStream_enum stream) const {
  if (!ValidStream(stream)) return false;
  return m_streams[stream].scopes.count(scope) != 0;
}

bool C_MessageTool::DebugScopeActive(E_DebugScope_enum scope, E_MessageStream_enum stream) const {
  return DebugScopeActive(static_cast<int>(scope), stream);
}

bool C_MessageTool::MessageActive(const C_KveloMessage& m, E_MessageStream_enum stream) const {
  if (stream == STREAM_ALL) {
    for (int s = 0; s < 3; ++s)
      if (MessageActive(m, static_cast<E_MessageStream_enum>(s))) return true;
    return false;
  }
  if (!ValidStream(stream)) return false;
  return MessageTypeActive(m.getMessageType(), stream) &&
         m_streams[stream].level >= m.getVerbosityLevel() &&
         DebugScopeActive(static_cast<int>(m.getDebugScope()), stream);
}

void C_MessageTool::setMessageStreamCtrl(C_MessageStreamCtrl& ctrl, E_MessageStream_enum stream) {
  if (stream == STREAM_ALL) {
    for (C_MessageStream& s : m_streams) s.ctrl = &ctrl;
  } else if (ValidStream(stream)) {
    m_streams[stream].ctrl = &ctrl;
  }
}

void C_MessageTool::ResetMessageStreamCtrl(E_MessageStream_enum stream) {
  if (stream == STREAM_ALL) {
    for (C_MessageStream& s : m_streams) s.ctrl = this;
  } else if (ValidStream(stream)) {
    m_streams[stream].ctrl = this;
  }
}

void C_MessageTool::setEndMsgChar(char c) { m_endChar = c; }
bool C_MessageTool::isInitialized() const { return m_initialized; }
std::string C_MessageTool::getKey() const { return m_key; }

C_MessageStreamCtrl* C_MessageTool::Ctrl(int stream) {
  C_MessageStreamCtrl* c = m_streams[stream].ctrl;
  if (c == nullptr) c = m_streams[STREAM_SCREEN].ctrl;
  return c != nullptr ? c : this;
}

// ---------------------------------------------------------------- set-up and log file

namespace {

// Heap strings of the wide-character helpers, freed on every path.
struct WideFree {
  void operator()(wchar_t* p) const { kvelomem_free(p, __FILE__, __LINE__); }
};
struct NarrowFree {
  void operator()(char* p) const { kvelomem_free(p, __FILE__, __LINE__); }
};
typedef std::unique_ptr<wchar_t, WideFree> WidePtr;
typedef std::unique_ptr<char, NarrowFree> NarrowPtr;

bool FileExists(const std::string& name) {
  WidePtr wide(kvelo_char2Tchar(name.c_str()));
  return wide && kvelo_file_exist(wide.get()) != 0;
}

// UTF-8 form of a wide result; empty for null.
std::string Narrow(const wchar_t* w) {
  if (w == nullptr) return std::string();
  NarrowPtr n(kvelo_Tchar2char(w));
  return n ? std::string(n.get()) : std::string();
}

int Report(const std::string& text, C_MessageTool::E_MessageType_enum type) {
  return C_MessageTool::HandleMessage(C_KveloMessage("C_MessageTool::Initialize", __FILE__, __LINE__,
                                                     std::string(kDefaultKey), text, type, LEVEL_PUBLIC,
                                                     SCOPE_NONE, STREAM_ALL));
}

}  // namespace

int C_MessageTool::setResourcesFilename(std::string name, E_CodeLang language) {
  m_language = language;
  if (!FileExists(name)) {
    std::fprintf(stderr, "Resource filename %s does not exist.", name.c_str());
    return -1;
  }
  m_resourcesFile = name;
  WidePtr wide(kvelo_char2Tchar(name.c_str()));
  WidePtr dir(extraire_repertoire(wide.get(), nullptr));
  if (dir) m_resourcesDir = Narrow(dir.get());
  return 0;
}

void C_MessageTool::setResourcesDir(std::string dir, E_CodeLang language) {
  m_resourcesDir = dir;
  m_language = language;
  BuildResourcesFilename(m_resourcesFile);
}

void C_MessageTool::setResourcesDirByEnv(std::string variableName, E_CodeLang language) {
  m_resourcesVar = variableName;
  m_language = language;
  const char* value = kvelo_getenv(variableName.c_str());
  m_resourcesValue = (value != nullptr) ? std::string(value) : std::string(" ");
  m_resourcesDir = m_resourcesValue;
  BuildResourcesFilename(m_resourcesFile);
}

int C_MessageTool::Initialize() {
  C_Trace trace("C_MessageTool::Initialize", __FILE__, __LINE__);
  bool allSwallowed = true;
  for (C_MessageStream& s : m_streams)
    if (dynamic_cast<C_DevNullCtrl*>(s.ctrl) == nullptr) allSwallowed = false;
  if (allSwallowed) {
    m_initialized = true;
    return 0;
  }

  if (m_resourcesFile.empty() || !FileExists(m_resourcesFile)) {
    std::string report = m_resourcesFile.empty()
                             ? std::string("Programming error: resources file is not specified.")
                             : "Resources file '" + m_resourcesFile + "' not found.";
    if (!m_resourcesVar.empty()) {
      if (!m_resourcesValue.empty())
        report += " " + m_resourcesVar + " = " + m_resourcesValue;
      else
        report += " " + m_resourcesVar + " is not specified.";
    }
    m_resourcesFile.clear();
    static const char* const fallBacks[] = {"kvelo0.msb", "ke0.msb", "lum0.msb"};
    for (const char* f : fallBacks) {
      if (FileExists(f)) {
        m_resourcesFile = f;
        break;
      }
    }
    if (m_resourcesFile.empty()) {
      Report(report, TYPE_ERROR);
      return -1;
    }
    report += "\nFound file '" + m_resourcesFile + "': loading and continuing.";
    Report(report, TYPE_WARNING);
  }

  // A reload replaces the texts: the tool is not initialized until the new ones are in.
  m_initialized = false;
  delete m_database;
  m_database = nullptr;
  m_database = new C_MessageDatabase();
  int failure = 0;
  try {
    m_database->LoadFile(m_resourcesFile, m_language);
  } catch (const C_KveloException& e) {
    failure = e.getExceptionCode();
  } catch (const std::bad_alloc&) {
    failure = 1001;
  }
  if (failure != 0 && m_language != C_MessageDatabaseTypes::LANG_DEFAULT) {
    m_language = C_MessageDatabaseTypes::LANG_DEFAULT;
    BuildResourcesFilename(m_resourcesFile);
    failure = 0;
    try {
      m_database->LoadFile(m_resourcesFile, m_language);
    } catch (const C_KveloException& e) {
      failure = e.getExceptionCode();
    } catch (const std::bad_alloc&) {
      failure = 1001;
    }
  }
  if (failure == 0) {
    m_initialized = true;
    return 0;
  }
  std::string report = "Cannot load messages database";
  if (failure == 102)
    report += ": invalid filename";
  else if (failure == 103)
    report += ": load failed";
  Report(report, TYPE_ERROR);
  return -1;
}

int C_MessageTool::setLogFilename(const std::string& name, bool append) {
  C_Trace trace("C_MessageTool::setLogFilename", __FILE__, __LINE__);
  closeLogFile();
  m_append = append;
  m_logName = name;
  return 0;
}

std::string C_MessageTool::getLogFilename() const { return m_logName; }

std::string C_MessageTool::GenerateDefaultLogFilename(const std::string& path, const std::string& suffix) const {
  C_Trace trace("C_MessageTool::GenerateDefaultLogFilename", __FILE__, __LINE__);
  WidePtr wide(kvelo_char2Tchar(path.c_str()));
  WidePtr base(enleve_extension(wide.get(), nullptr));
  if (!base) return suffix;  // a path that is not valid text has no usable part
  WidePtr dir(extraire_repertoire(base.get(), nullptr));
  std::string kept;
  if (dir && kvelo_file_exist(dir.get())) {
    kept = Narrow(base.get());
  } else {
    WidePtr file(extraire_fichier(base.get(), nullptr));
    kept = Narrow(file.get());
  }
  return kept + suffix;
}

void C_MessageTool::BuildResourcesFilename(std::string& out) const {
  out = detail::Format("%s/ke%d.msb", m_resourcesDir.c_str(), m_language);
  if (out.size() > 1023) out.resize(1023);
}

int C_MessageTool::openLogFile() {
  closeLogFile();
  if (m_logName.empty()) return 0;
  m_log = std::fopen(m_logName.c_str(), m_append ? "a" : "w");
  if (m_log == nullptr) {
    int err = errno;
    std::string name = m_logName;
    m_logName.clear();  // later messages go on without a log
    HandleMessageArg(std::string("Cannot open file %s for write."), TYPE_WARNING, LEVEL_PUBLIC,
                     SCOPE_NONE, name.c_str());
    errno = err;
    KVELO_THROW_R(29, 100);
  }
  m_append = true;
  return 0;
}

int C_MessageTool::closeLogFile() {
  if (m_log != nullptr) {
    std::fclose(m_log);
    m_log = nullptr;
  }
  return 0;
}

// ---------------------------------------------------------------- the heart

namespace {

// text = what a message shows: its own text, else its code's text from its tool's database
// (the failure text, and -1, when the lookup fails), else a blank for a message of neither.
int TextToShow(const C_KveloMessage& m, std::string& text) {
  text = m.getMessage();
  if (!text.empty()) return 0;
  if (m.getMessageCode() == 0) {
    text = " ";
    return 0;
  }
  return C_MessageTool::getMessage(m.getMessageCode(), text, nullptr, m.getKey()) != 0 ? -1 : 0;
}

}  // namespace

int C_MessageTool::HandleMessage(const C_KveloMessage& m) {
  E_MessageCode_t code = m.getMessageCode();
  E_MessageType_enum type = m.getMessageType();
  E_VerbosityLevel_enum level = m.getVerbosityLevel();
  E_MessageStream_enum stream = m.getMessageStream();
  C_MessageTool* tool = Instance(m.getKey());
  if (tool == nullptr) {
    C_Trace trace("C_MessageTool::HandleMessage", __FILE__, __LINE__);
    SafeDisplay("%s\n*** Cannot handle message id=%d type=%d level=%d", kNotInitialized, code,
                static_cast<int>(type), static_cast<int>(level));
    return -1;
  }
  if (!tool->MessageActive(m, stream)) return 0;
  std::string text;
  int result = TextToShow(m, text);
  for (int s = 0; s < 3; ++s) {
    if (stream != STREAM_ALL && stream != s) continue;
    E_MessageStream_enum es = static_cast<E_MessageStream_enum>(s);
    if (!tool->MessageActive(m, es)) continue;
    if (s == STREAM_LOG && tool->openLogFile() != 0) result = -1;
    int r = tool->Ctrl(s)->AppHandleMessage(text, type, es, tool->m_log);
    tool->closeLogFile();
    if (r != 0) result = -1;
  }
  if (type == TYPE_ERROR && HandleCallStack(m, level) != 0) result = -1;
  return result;
}

int C_MessageTool::HandleMessage(C_KveloException& e, E_MessageType_enum type, E_VerbosityLevel_enum level) {
  e.setMessageType(type);
  e.setVerbosityLevel(level);
  C_MessageTool* tool = Instance(e.getKey());
  if (tool == nullptr) {
    SafeDisplay("%s\n*** Cannot handle exception code=%d reason=%d type=%d level=%d", kNotInitialized,
                e.getExceptionCode(), e.getReasonCode(), static_cast<int>(type), static_cast<int>(level));
    return 0;
  }
  bool failed = false;
  std::string exceptionText = e.getExceptionMessage();
  if (!exceptionText.empty()) {
    e.Append(exceptionText);
  } else if (e.getExceptionCode() != 0) {
    std::string t;
    if (getMessage(e.getExceptionCode(), t, nullptr, e.getKey()) != 0) failed = true;
    e.Append(t);
  }
  std::string reasonText = e.getReasonMessage();
  if (!reasonText.empty()) {
    e.Append("\n" + reasonText);
  } else if (e.getReasonCode() == 100) {
    e.Append("\n" + std::string(std::strerror(e.getErrno())));
  } else if (!failed && e.getReasonCode() != 0) {
    std::string t;
    if (getMessage(e.getReasonCode(), t, nullptr, e.getKey()) != 0) failed = true;
    e.Append("\n" + t);
  }
  int r = HandleMessage(static_cast<const C_KveloMessage&>(e));
  return (failed || r == -1) ? -1 : 0;
}

int C_MessageTool::HandleCallStack(const C_KveloMessage& m, E_VerbosityLevel_enum level) {
  C_MessageTool* tool = Instance(m.getKey());
  if (tool == nullptr) {
    SafeDisplay("%s\n*** Cannot handle callstack.", kNotInitialized);
    return 0;
  }
  std::vector<char> buffer(CALLSTACK_BUFFER_SIZE, '\0');
  tool->BuildCallStackString(m, buffer.data());
  std::string listing(buffer.data());
  int opened = tool->openLogFile();
  if (opened != 0) return opened;
  int result = 0;
  for (int s = 0; s < 3; ++s) {
    if (tool->m_streams[s].level < level) continue;
    int r = tool->Ctrl(s)->AppHandleMessage(listing, TYPE_TRACE, static_cast<E_MessageStream_enum>(s),
                                            tool->m_log);
    if (r != 0) result = -1;
  }
  tool->closeLogFile();
  return result;
}

int C_MessageTool::BuildCallStackString(const C_KveloMessage& m, char* out) {
  if (out == nullptr) return -1;
  const C_CallStack& stack = (m.getMessageNature() == C_KveloMessage::NATURE_EXCEPTION)
                                 ? m.getCallStack()
                                 : GlobalCallstackCollection().GetCurrentCallStack();
  const C_Entry& loc = m.getErrorLocation();
  const std::size_t size = CALLSTACK_BUFFER_SIZE;
  std::size_t used = 0;
  int n = stack.NbEntries();
  // Each line goes in whole or is cut at the end of the buffer.
  auto put = [&](const std::string& line) {
    if (used + 1 >= size) return;
    std::size_t room = size - 1 - used;
    std::size_t k = line.size() < room ? line.size() : room;
    std::memcpy(out + used, line.data(), k);
    used += k;
    out[used] = '\0';
  };
  out[0] = '\0';
  put(detail::Format("%d %s(), %s line %d\n", n, loc.function, loc.file, loc.line));
  for (int i = n - 1; i >= 0; --i) {
    const C_Entry& e = stack.GetEntry(i);
    put(detail::Format("%d %s(), %s line %d\n", i, e.function, e.file, e.line));
  }
  return 0;
}

int C_MessageTool::getMessage(E_MessageCode_t code, std::string& out, va_list* args, const std::string& key) {
  detail::ToolRegistry* reg = detail::MessageToolRegistry();
  C_MessageTool* tool = nullptr;
  if (reg != nullptr) {
    auto it = reg->find(key);
    if (it != reg->end()) tool = it->second;
  }
  if (tool == nullptr || !tool->m_initialized) {
    out = detail::Format("%s Cannot get message ID=%d.", kNotInitialized, code);
    return -1;
  }
  try {
    detail::ToolAccess::DatabaseText(tool, code, out, args);
    return 0;
  } catch (const C_KveloException&) {
    out = detail::Format("MessageDatabase failed to load id %d", code);
    return -1;
  }
}

void detail::ToolAccess::DatabaseText(C_MessageTool* tool, int code, std::string& out, va_list* args) {
  // A tool initialized with all its streams swallowed loaded no database: no code has a text.
  if (tool == nullptr || tool->m_database == nullptr) KVELO_THROW(104);
  tool->m_database->GetMessage(out, code, args);
}

void C_MessageTool::SafeDisplay(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string text = detail::FormatV(fmt, ap, 1024);
  va_end(ap);
  kvplat::ShowError(text.c_str());
}

// ---------------------------------------------------------------- convenience families

namespace {

int Route(const C_KveloMessage& m) { return C_MessageTool::HandleMessage(m); }

// A message of the given text routed to all streams, located in this file.
int RouteText(const char* op, int line, const std::string& key, const std::string& text,
              C_MessageTool::E_MessageType_enum type, C_MessageTool::E_VerbosityLevel_enum level,
              C_MessageTool::E_DebugScope_enum scope) {
  return Route(C_KveloMessage(op, __FILE__, line, key, text, type, level, scope, STREAM_ALL));
}

int RouteCode(const char* op, int line, const std::string& key, C_MessageTool::E_MessageCode_t code,
              C_MessageTool::E_MessageType_enum type, C_MessageTool::E_VerbosityLevel_enum level) {
  return Route(C_KveloMessage(op, __FILE__, line, key, code, type, level, SCOPE_NONE, STREAM_ALL));
}

// The Arg rows with a code: the looked-up text goes on a message of code 0.
int RouteCodeArgs(const char* op, int line, const std::string& key, C_MessageTool::E_MessageCode_t code,
                  C_MessageTool::E_MessageType_enum type, C_MessageTool::E_VerbosityLevel_enum level,
                  va_list ap) {
  if (C_MessageTool::Instance(key) == nullptr) {
    C_MessageTool::SafeDisplay("%s\n*** Cannot handle message id=%d type=%d level=%d", kNotInitialized,
                               code, static_cast<int>(type), static_cast<int>(level));
    return 0;
  }
  std::string text;
  va_list args;
  va_copy(args, ap);
  int looked = C_MessageTool::getMessage(code, text, &args, key);
  va_end(args);
  int r = RouteText(op, line, key, text, type, level, SCOPE_NONE);
  return (looked != 0 || r != 0) ? -1 : 0;
}

int RouteFormat(const char* op, int line, const std::string& key, const char* fmt,
                C_MessageTool::E_MessageType_enum type, C_MessageTool::E_VerbosityLevel_enum level,
                C_MessageTool::E_DebugScope_enum scope, va_list ap, std::size_t limit = 0) {
  std::string text = (fmt == nullptr || *fmt == '\0') ? std::string(kInvalidMessage)
                                                      : detail::FormatV(fmt, ap, limit);
  return RouteText(op, line, key, text, type, level, scope);
}

}  // namespace

int C_MessageTool::HandleMessage(E_MessageCode_t code, E_MessageType_enum type, E_VerbosityLevel_enum level) {
  return RouteCode("C_MessageTool::HandleMessage", __LINE__, kDefaultKey, code, type, level);
}

int C_MessageTool::HandleMessage(const std::string& key, E_MessageCode_t code, E_MessageType_enum type,
                                 E_VerbosityLevel_enum level) {
  return RouteCode("C_MessageTool::HandleMessage", __LINE__, key, code, type, level);
}

int C_MessageTool::HandleMessage(const std::string& text, E_MessageType_enum type, E_VerbosityLevel_enum level,
                                 E_DebugScope_enum scope) {
  return RouteText("C_MessageTool::HandleMessage", __LINE__, kDefaultKey, text, type, level, scope);
}

int C_MessageTool::HandleMessage(const std::string& key, const std::string& text, E_MessageType_enum type,
                                 E_VerbosityLevel_enum level, E_DebugScope_enum scope) {
  return RouteText("C_MessageTool::HandleMessage", __LINE__, key, text, type, level, scope);
}

int C_MessageTool::HandleMessage(const char* text, E_MessageType_enum type, E_VerbosityLevel_enum level,
                                 E_DebugScope_enum scope) {
  return RouteText("C_MessageTool::HandleMessage", __LINE__, kDefaultKey,
                   text != nullptr ? std::string(text) : std::string(kInvalidMessage), type, level, scope);
}

int C_MessageTool::HandleMessage(const char* text, E_MessageType_enum type, E_VerbosityLevel_enum level,
                                 int scope) {
  return HandleMessage(text, type, level, static_cast<E_DebugScope_enum>(scope));
}

int C_MessageTool::HandleMessageArg(E_MessageCode_t code, E_MessageType_enum type, E_VerbosityLevel_enum level,
                                    ...) {
  va_list ap;
  va_start(ap, level);
  int r = RouteCodeArgs("C_MessageTool::HandleMessageArg", __LINE__, kDefaultKey, code, type, level, ap);
  va_end(ap);
  return r;
}

int C_MessageTool::HandleMessageArg(const std::string& key, E_MessageCode_t code, E_MessageType_enum type,
                                    E_VerbosityLevel_enum level, ...) {
  va_list ap;
  va_start(ap, level);
  int r = RouteCodeArgs("C_MessageTool::HandleMessageArg", __LINE__, key, code, type, level, ap);
  va_end(ap);
  return r;
}

int C_MessageTool::HandleMessageArg(const std::string& fmt, E_MessageType_enum type, E_VerbosityLevel_enum level,
                                    E_DebugScope_enum scope, ...) {
  va_list ap;
  va_start(ap, scope);
  int r = RouteFormat("C_MessageTool::HandleMessageArg", __LINE__, kDefaultKey, fmt.c_str(), type, level,
                      scope, ap);
  va_end(ap);
  return r;
}

int C_MessageTool::HandleMessageArg(const std::string& fmt, E_MessageType_enum type, E_VerbosityLevel_enum level,
                                    int scope, ...) {
  va_list ap;
  va_start(ap, scope);
  int r = RouteFormat("C_MessageTool::HandleMessageArg", __LINE__, kDefaultKey, fmt.c_str(), type, level,
                      static_cast<E_DebugScope_enum>(scope), ap);
  va_end(ap);
  return r;
}

int C_MessageTool::HandleMessageArg(const std::string& key, const std::string& fmt, E_MessageType_enum type,
                                    E_VerbosityLevel_enum level, E_DebugScope_enum scope, ...) {
  va_list ap;
  va_start(ap, scope);
  int r = RouteFormat("C_MessageTool::HandleMessageArg", __LINE__, key, fmt.c_str(), type, level, scope, ap);
  va_end(ap);
  return r;
}

int C_MessageTool::HandleMessageArg(const char* fmt, E_MessageType_enum type, E_VerbosityLevel_enum level,
                                    E_DebugScope_enum scope, ...) {
  va_list ap;
  va_start(ap, scope);
  int r = RouteFormat("C_MessageTool::HandleMessageArg", __LINE__, kDefaultKey, fmt, type, level, scope, ap);
  va_end(ap);
  return r;
}

int C_MessageTool::HandleMessageArg(const char* fmt, E_MessageType_enum type, E_VerbosityLevel_enum level,
                                    int scope, ...) {
  va_list ap;
  va_start(ap, scope);
  int r = RouteFormat("C_MessageTool::HandleMessageArg", __LINE__, kDefaultKey, fmt, type, level,
                      static_cast<E_DebugScope_enum>(scope), ap);
  va_end(ap);
  return r;
}

int C_MessageTool::HandleMessageInf(E_MessageCode_t code) {
  return RouteCode("C_MessageTool::HandleMessageInf", __LINE__, kDefaultKey, code, TYPE_INFORMATION, LEVEL_PUBLIC);
}

int C_MessageTool::HandleMessageInf(const std::string& key, E_MessageCode_t code) {
  return RouteCode("C_MessageTool::HandleMessageInf", __LINE__, key, code, TYPE_INFORMATION, LEVEL_PUBLIC);
}

int C_MessageTool::HandleMessageInf(const std::string& text) {
  return RouteText("C_MessageTool::HandleMessageInf", __LINE__, kDefaultKey, text, TYPE_INFORMATION,
                   LEVEL_PUBLIC, SCOPE_NONE);
}

int C_MessageTool::HandleMessageInf(const char* text) {
  return RouteText("C_MessageTool::HandleMessageInf", __LINE__, kDefaultKey,
                   text != nullptr ? std::string(text) : std::string(kInvalidMessage), TYPE_INFORMATION,
                   LEVEL_PUBLIC, SCOPE_NONE);
}

int C_MessageTool::HandleMessageInfArg(E_MessageCode_t code, ...) {
  va_list ap;
  va_start(ap, code);
  int r = RouteCodeArgs("C_MessageTool::HandleMessageInfArg", __LINE__, kDefaultKey, code, TYPE_INFORMATION,
                        LEVEL_PUBLIC, ap);
  va_end(ap);
  return r;
}

int C_MessageTool::HandleMessageInfArg(const std::string& key, E_MessageCode_t code, ...) {
  va_list ap;
  va_start(ap, code);
  int r = RouteCodeArgs("C_MessageTool::HandleMessageInfArg", __LINE__, key, code, TYPE_INFORMATION,
                        LEVEL_PUBLIC, ap);
  va_end(ap);
  return r;
}

int C_MessageTool::HandleMessageInfArg(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int r = RouteFormat("C_MessageTool::HandleMessageInfArg", __LINE__, kDefaultKey, fmt, TYPE_INFORMATION,
                      LEVEL_PUBLIC, SCOPE_NONE, ap, 1024);
  va_end(ap);
  return r;
}

int C_MessageTool::InfArgFormat(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int r = RouteFormat("C_MessageTool::HandleMessageInfArg", __LINE__, kDefaultKey, fmt, TYPE_INFORMATION,
                      LEVEL_PUBLIC, SCOPE_NONE, ap, 1024);
  va_end(ap);
  return r;
}

// ---------------------------------------------------------------- progress

namespace {

C_KveloMessage ProgressMessage(const char* op, int line, E_VerbosityLevel_enum level) {
  return C_KveloMessage(op, __FILE__, line, TYPE_PROGRESS, level, SCOPE_NONE, STREAM_ALL);
}

}  // namespace

int C_MessageTool::OpenProgress(int maximum, const C_KveloMessage& m) {
  C_MessageTool* tool = Instance(m.getKey());
  if (tool == nullptr) return -1;
  tool->m_progressMax = maximum;
  tool->m_progressOpen = true;
  tool->m_progressStopped = false;
  int result = 0;
  if (tool->MessageActive(m, STREAM_ALL)) {
    const int s = m.getMessageStream();
    if (tool->Ctrl(ValidStream(s) ? s : STREAM_SCREEN)->AppOpenProgress() != 0) result = -1;
  }
  if (SetProgress(0, m) != 0) result = -1;
  return result;
}

int C_MessageTool::OpenProgress(int maximum, E_MessageCode_t code) {
  C_KveloMessage m = ProgressMessage("C_MessageTool::OpenProgress", __LINE__, LEVEL_PUBLIC);
  m.setMessageCode(code);
  return OpenProgress(maximum, m);
}

int C_MessageTool::OpenProgress(int maximum, const std::string& text) {
  C_KveloMessage m = ProgressMessage("C_MessageTool::OpenProgress", __LINE__, LEVEL_PUBLIC);
  m.Set(text);
  return OpenProgress(maximum, m);
}

int C_MessageTool::SetProgress(int value, const C_KveloMessage& m) {
  C_MessageTool* tool = Instance(m.getKey());
  if (tool == nullptr) return -1;
  std::string text;
  int result = TextToShow(m, text);
  if (value < 0) value = tool->m_progressCurrent;
  tool->m_progressCurrent = value;
  if (tool->m_progressStopped) text = "Processing stopped...";
  const E_MessageStream_enum stream = m.getMessageStream();
  for (int s = 0; s < 3; ++s) {
    if (stream != STREAM_ALL && stream != s) continue;
    const E_MessageStream_enum es = static_cast<E_MessageStream_enum>(s);
    if (!tool->MessageActive(m, es)) continue;
    if (s == STREAM_LOG) {
      try {
        tool->openLogFile();
      } catch (const C_KveloException&) {
        // The warning has gone out and the name is emptied; the progress step fails here.
        result = -1;
        break;
      }
    }
    int r = tool->Ctrl(s)->AppSetProgress(text, value, es);
    tool->closeLogFile();
    if (r != 0) result = -1;
  }
  return result;
}

int C_MessageTool::SetProgress(int value, E_MessageCode_t code, E_VerbosityLevel_enum level) {
  C_KveloMessage m = ProgressMessage("C_MessageTool::SetProgress", __LINE__, level);
  m.setMessageCode(code);
  return SetProgress(value, m);
}

int C_MessageTool::SetProgress(int value, const std::string& text, E_VerbosityLevel_enum level) {
  C_KveloMessage m = ProgressMessage("C_MessageTool::SetProgress", __LINE__, level);
  m.Set(text);
  return SetProgress(value, m);
}

int C_MessageTool::SetProgressArg(int value, const char* fmt, E_VerbosityLevel_enum level, ...) {
  C_KveloMessage m = ProgressMessage("C_MessageTool::SetProgressArg", __LINE__, level);
  va_list ap;
  va_start(ap, level);
  m.Set(detail::FormatV(fmt, ap));
  va_end(ap);
  return SetProgress(value, m);
}

int C_MessageTool::CloseProgress(const std::string& key) {
  C_MessageTool* tool = Instance(key);
  if (tool == nullptr) return -1;
  int result = 0;
  for (int s = 0; s < 3; ++s)
    if (tool->Ctrl(s)->AppCloseProgress() != 0) result = -1;
  tool->m_progressOpen = false;
  tool->m_progressCurrent = 0;
  return result;
}

bool C_MessageTool::ProgressStopped(const std::string& key) {
  C_MessageTool* tool = Instance(key);
  return tool != nullptr && tool->m_progressStopped;
}

// ---------------------------------------------------------------- default controller

int C_MessageTool::AppHandleMessage(const std::string& text, E_MessageType_enum type,
                                    E_MessageStream_enum stream, FILE* log) {
  if (type == TYPE_ALL || stream == STREAM_ALL || text.empty()) return 0;
  const char* t = text.c_str();
  const char c = m_endChar;
  int bad = 0;
  auto check = [&bad](int r) {
    if (r < 0) bad = 1;
  };
  switch (stream) {
    case STREAM_SCREEN:
      if (m_streams[0].level == LEVEL_ECHO)
        check(std::fprintf(stdout, "AppHandleMessage(SCREEN,%d): %s%c", static_cast<int>(type), t, c));
      switch (type) {
        case TYPE_INFORMATION:
        case TYPE_PROGRESS: check(std::fprintf(stdout, "%s%c", t, c)); break;
        case TYPE_ERROR: check(std::fprintf(stderr, "*** %s%c", t, c)); break;
        case TYPE_WARNING: check(std::fprintf(stderr, "*** Warning: %s%c", t, c)); break;
        case TYPE_TRACE: check(std::fprintf(stderr, "%s%c", t, c)); break;
        default: break;
      }
      break;
    case STREAM_LOG:
      if (m_streams[1].level == LEVEL_ECHO)
        check(std::fprintf(stdout, "AppHandleMessage(LOG,%d): %s%c", static_cast<int>(type), t, c));
      if (log != nullptr) {
        switch (type) {
          case TYPE_INFORMATION:
          case TYPE_TRACE:
          case TYPE_PROGRESS: check(std::fprintf(log, "%s%c", t, c)); break;
          case TYPE_ERROR: check(std::fprintf(log, "*** %s%c", t, c)); break;
          case TYPE_WARNING: check(std::fprintf(log, "*** Warning: %s%c", t, c)); break;
          default: break;
        }
      }
      break;
    case STREAM_LOG_RECORD:
      if (m_streams[2].level == LEVEL_ECHO)
        check(std::fprintf(stdout, "AppHandleMessage(LOG_RECORD,%d): %s%c", static_cast<int>(type), t, c));
      break;
    default:
      // No such stream: say so rather than drop the text silently.
      std::fprintf(stderr, "AppHandleMessage(UNKNOWN STREAM,%d): %s%c", static_cast<int>(type), t, c);
      bad = 1;
      break;
  }
  return bad ? -1 : 0;
}

int C_MessageTool::AppOpenProgress() { return 0; }

int C_MessageTool::AppSetProgress(const std::string& text, int value, E_MessageStream_enum stream) {
  if (!m_progressOpen) {
    C_Trace trace("C_MessageTool::AppSetProgress", __FILE__, __LINE__);
    return -1;
  }
  if (stream != STREAM_SCREEN) return 0;
  float percent = static_cast<float>(value * 100.0 / m_progressMax);
  int r = std::printf(" %4.1f%% %s\n", static_cast<double>(percent), text.c_str());
  std::fflush(stdout);
  return r < 0 ? -1 : 0;
}

int C_MessageTool::AppCloseProgress() { return 0; }

}  // namespace Kvelo
