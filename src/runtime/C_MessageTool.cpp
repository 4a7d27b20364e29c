// C_MessageTool.cpp: the message router. Filters every message per stream by type,
// verbosity and debug scope, supplies code texts from its message database, writes through
// the stream controllers (the tool itself by default), follows each error with its call-stack
// listing, and carries the host's set-up (message file, log file) and progress reports.
#include "C_MessageTool.h"

#include "C_CallStack.h"
#include "chaine.h"
#include "kvelosys.h"
#include "platform/plat_display.h"
#include "platform/plat_file.h"
#include "platform/plat_text.h"
#include "runtime/C_MessageDatabase.h"
#include "runtime/int_text.h"
#include "runtime/msg_format.h"
#include "runtime/msgtool_registry.h"
#include "runtime/no_memory.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace Kvelo {

using namespace MessageToolEnums;

namespace {
const char kDefaultKey[] = "DefaultMessageTool";
const char kNotInitialized[] = "MessageTool is not initialized!";
const char kNoMemory[] = "MessageTool is out of memory!";
const char kInvalidMessage[] = "*** MessageTool: invalid message, empty string in argument!";

bool ValidStream(int s) { return s >= 0 && s <= 2; }
}  // namespace

const std::string& detail::DefaultToolName() {
  alignas(std::string) static unsigned char storage[sizeof(std::string)];
  static const std::string& name = *new (storage) std::string(kDefaultKey);
  return name;
}

namespace {
[[maybe_unused]] const bool g_defaultToolNameBuilt = (detail::DefaultToolName(), true);
}  // namespace

C_MessageTool* C_MessageTool::_LastMessageTool = nullptr;

C_MessageStream::C_MessageStream()
    : typeFilter(15), level(LEVEL_PUBLIC), scopes{0}, ctrl(nullptr) {}

// ---------------------------------------------------------------- locks and registry

namespace detail {

namespace {
// A recursive lock built on first use and never destroyed.
std::recursive_mutex& LastingLock(unsigned char* storage) {
  return *new (storage) std::recursive_mutex();
}
}  // namespace

std::recursive_mutex& RegistryLock() {
  alignas(std::recursive_mutex) static unsigned char storage[sizeof(std::recursive_mutex)];
  static std::recursive_mutex& lock = LastingLock(storage);
  return lock;
}

std::recursive_mutex& OutputLock() {
  alignas(std::recursive_mutex) static unsigned char storage[sizeof(std::recursive_mutex)];
  static std::recursive_mutex& lock = LastingLock(storage);
  return lock;
}

// Holds a tool's log file open, under the output lock, for the writing of one message or
// listing. Holds nest on the thread that has the lock: only the outermost opens and closes,
// so that a report made by a controller while the log is open never closes it under the
// controller that is writing to it.
class LogHold {
 public:
  // Opens the log unless this thread holds it already; lets openLogFile's exception pass.
  explicit LogHold(C_MessageTool* tool) : m_tool(tool), m_lock(OutputLock()) {
    if (m_tool->m_logHolds == 0) m_tool->openLogFile();
    ++m_tool->m_logHolds;
  }
  ~LogHold() {
    if (--m_tool->m_logHolds == 0) m_tool->closeLogFile();
  }
  LogHold(const LogHold&) = delete;
  LogHold& operator=(const LogHold&) = delete;
  // The open log file, or null when the tool has no log.
  FILE* File() const { return m_tool->m_log; }

 private:
  C_MessageTool* m_tool;
  std::lock_guard<std::recursive_mutex> m_lock;
};

}  // namespace detail

C_MessageTool* C_MessageTool::Instance(const std::string& key) {
  std::unique_ptr<C_MessageTool> unregistered;  // deleted, should registering fail, outside the lock
  std::lock_guard<std::recursive_mutex> hold(detail::RegistryLock());
  detail::ToolRegistry* reg = detail::MessageToolRegistry();
  if (reg == nullptr) return nullptr;
  auto it = reg->find(key);
  if (it != reg->end()) {
    if (it->second->m_initialized) _LastMessageTool = it->second;
    return it->second;
  }
  // Made and registered under the lock: threads asking for a new name at once get one tool.
  try {
    unregistered.reset(new C_MessageTool(key));
    reg->emplace(key, unregistered.get());
    return unregistered.release();
  } catch (...) {
    kvrt::RethrowUnlessNoMemory();
    return nullptr;
  }
}

bool C_MessageTool::HasInstance(const std::string& key) {
  std::lock_guard<std::recursive_mutex> hold(detail::RegistryLock());
  detail::ToolRegistry* reg = detail::MessageToolRegistry();
  return reg != nullptr && reg->find(key) != reg->end();
}

C_MessageTool* C_MessageTool::LastInstance() {
  std::lock_guard<std::recursive_mutex> hold(detail::RegistryLock());
  return _LastMessageTool;
}

// ---------------------------------------------------------------- life

C_MessageTool::C_MessageTool(const std::string& key)
    : m_log(nullptr),
      m_logHolds(0),
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
  {
    std::lock_guard<std::recursive_mutex> hold(detail::RegistryLock());
    if (_LastMessageTool == this) _LastMessageTool = nullptr;
    detail::ToolRegistry* reg = detail::MessageToolRegistry();
    if (reg != nullptr) {
      auto it = reg->find(m_key);
      if (it != reg->end() && it->second == this) reg->erase(it);
    }
  }
  std::lock_guard<std::recursive_mutex> hold(detail::OutputLock());
  m_initialized = false;
  delete m_database;
  m_database = nullptr;
  closeLogFile();
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

// The new sets are made whole before any stream's set is replaced: a reset that runs out of
// memory leaves every stream as it was.
void C_MessageTool::ResetDebugScopes() {
  std::vector<int> ids;
  const char* env = kvelo_getenv("KVELO_DEBUG_SCOPES");
  if (env != nullptr) {
    const std::string value(env);
    std::size_t pos = 0;
    while (pos <= value.size()) {
      std::size_t end = value.find(';', pos);
      if (end == std::string::npos) end = value.size();
      // An item read as atoi reads it, but one with no number at its start, or a number beyond
      // int, names no scope: it is skipped, neither activated nor listed (scope 0, which such
      // an item used to become, is in every set anyway).
      int id = 0;
      const std::string item = value.substr(pos, end - pos);
      const char* text = item.c_str();
      if (kvrt::ReadIntText(text, id)) ids.push_back(id);
      pos = end + 1;
    }
  }
  std::set<int> fresh[3];
  for (std::set<int>& f : fresh) {
    f.insert(0);
    f.insert(ids.begin(), ids.end());
  }
  for (int i = 0; i < 3; ++i) m_streams[i].scopes.swap(fresh[i]);
  if (ids.empty()) return;
  std::printf("\nKVELO_DEBUG_SCOPES defined, activating the debug scopes: ");
  for (int id : ids) std::printf("%d ", id);
  std::printf("\n");
  std::fflush(stdout);
}

void C_MessageTool::ActivateDebugScope(int scope, bool on, E_MessageStream_enum stream) {
  kvrt::Or1001([&] { ChangeDebugScope(scope, on, stream); });
}

void C_MessageTool::ChangeDebugScope(int scope, bool on, E_MessageStream_enum stream) {
  if (scope == -1) {
    // A reset covers every stream; asked for all streams it runs once per stream.
    int runs = (stream == STREAM_ALL) ? 3 : 1;
    for (int i = 0; i < runs; ++i) ResetDebugScopes();
    return;
  }
  if (stream == STREAM_ALL) {
    if (!on) {
      for (C_MessageStream& s : m_streams) s.scopes.erase(scope);
      return;
    }
    // All three sets or none: the scope goes into copies, which then replace the sets.
    std::set<int> grown[3] = {m_streams[0].scopes, m_streams[1].scopes, m_streams[2].scopes};
    for (std::set<int>& g : grown) g.insert(scope);
    for (int i = 0; i < 3; ++i) m_streams[i].scopes.swap(grown[i]);
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
std::string C_MessageTool::getKey() const {
  return kvrt::Or1001([&] { return std::string(m_key); });
}

C_MessageStreamCtrl* C_MessageTool::Ctrl(int stream) {
  C_MessageStreamCtrl* c = m_streams[stream].ctrl;
  if (c == nullptr) c = m_streams[STREAM_SCREEN].ctrl;
  return c != nullptr ? c : this;
}

// ---------------------------------------------------------------- set-up and log file

namespace {

// Whether name is valid text and names an existing file or directory; allocates nothing.
bool FileExists(const std::string& name) {
  kvplat::FileInfo info;
  return kvplat::Utf8ToWide(name.c_str(), nullptr) >= 0 && kvplat::StatPath(name.c_str(), info);
}

// Wide form of a name: false when it is not valid text; std::bad_alloc when memory runs out.
bool WideOf(const std::string& name, std::wstring& out) {
  const long long n = kvplat::Utf8ToWide(name.c_str(), nullptr);
  if (n < 0) return false;
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  kvplat::Utf8ToWide(name.c_str(), &w[0]);
  out.swap(w);
  return true;
}

// UTF-8 form of a wide name that came from UTF-8 text; std::bad_alloc when memory runs out.
std::string NarrowOf(const wchar_t* w) {
  const long long n = kvplat::WideToUtf8(w, nullptr);
  if (n < 0) return std::string();
  std::string s(static_cast<std::size_t>(n), '\0');
  kvplat::WideToUtf8(w, &s[0]);
  return s;
}

// The directory part of path into out; false (out empty) for a path without one. Written into
// a given buffer, the path parts of chaine.h take no memory, so a null means no such part.
bool DirectoryOf(const std::wstring& path, std::vector<wchar_t>& out) {
  return extraire_repertoire(path.c_str(), out.data()) != nullptr;
}

// "<dir>/ke<language>.msb", cut to 1,023 characters.
std::string ResourcesFilename(const std::string& dir, int language) {
  std::string out = detail::Format("%s/ke%d.msb", dir.c_str(), language);
  if (out.size() > 1023) out.resize(1023);
  return out;
}

int Report(const std::string& text, C_MessageTool::E_MessageType_enum type) {
  return C_MessageTool::HandleMessage(C_KveloMessage("C_MessageTool::Initialize", __FILE__, __LINE__,
                                                     detail::DefaultToolName(), text, type, LEVEL_PUBLIC,
                                                     SCOPE_NONE, STREAM_ALL));
}

// LoadFile's failure as a code: 0 when it loaded.
int Load(C_MessageDatabase& db, const std::string& file, C_MessageTool::E_CodeLang language) {
  try {
    db.LoadFile(file, language);
    return 0;
  } catch (const C_KveloException& e) {
    return e.getExceptionCode();
  } catch (...) {
    kvrt::RethrowUnlessNoMemory();
    return 1001;
  }
}

}  // namespace

// Every setter works out the new settings aside and installs them only when nothing can fail
// any more: a refused or failed call leaves the tool as it was.
int C_MessageTool::setResourcesFilename(std::string name, E_CodeLang language) {
  if (!FileExists(name)) {
    std::fprintf(stderr, "Resource filename %s does not exist.", name.c_str());
    return -1;
  }
  try {
    std::string dir = m_resourcesDir;
    std::wstring wide;
    if (WideOf(name, wide)) {
      std::vector<wchar_t> part(wide.size() + 1, L'\0');
      if (DirectoryOf(wide, part)) dir = NarrowOf(part.data());
    }
    m_resourcesFile.swap(name);
    m_resourcesDir.swap(dir);
    m_language = language;
    return 0;
  } catch (...) {
    kvrt::RethrowUnlessNoMemory();
    return -1;
  }
}

void C_MessageTool::setResourcesDir(std::string dir, E_CodeLang language) {
  std::string file = kvrt::Or1001([&] { return ResourcesFilename(dir, language); });
  m_resourcesDir.swap(dir);
  m_language = language;
  m_resourcesFile.swap(file);
}

void C_MessageTool::setResourcesDirByEnv(std::string variableName, E_CodeLang language) {
  const char* found = kvelo_getenv(variableName.c_str());
  std::string value, dir, file;
  kvrt::Or1001([&] {
    value = (found != nullptr) ? std::string(found) : std::string(" ");
    dir = value;
    file = ResourcesFilename(dir, language);
  });
  m_resourcesVar.swap(variableName);
  m_language = language;
  m_resourcesValue.swap(value);
  m_resourcesDir.swap(dir);
  m_resourcesFile.swap(file);
}

int C_MessageTool::Initialize() {
  try {
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

    // The texts load into a new database; the tool's own (and its initialized state) is
    // replaced only once the new one has loaded, so a reload that fails keeps the texts the
    // tool had, and other threads never look up a database that is being filled or deleted.
    std::unique_ptr<C_MessageDatabase> fresh(new C_MessageDatabase());
    int failure = Load(*fresh, m_resourcesFile, m_language);
    if (failure != 0 && m_language != C_MessageDatabaseTypes::LANG_DEFAULT) {
      m_language = C_MessageDatabaseTypes::LANG_DEFAULT;
      BuildResourcesFilename(m_resourcesFile);
      failure = Load(*fresh, m_resourcesFile, m_language);
    }
    if (failure == 0) {
      C_MessageDatabase* old = nullptr;
      {
        std::lock_guard<std::recursive_mutex> hold(detail::OutputLock());
        old = m_database;
        m_database = fresh.release();
        m_initialized = true;
      }
      delete old;
      return 0;
    }
    std::string report = "Cannot load messages database";
    if (failure == 102)
      report += ": invalid filename";
    else if (failure == 103)
      report += ": load failed";
    Report(report, TYPE_ERROR);
    return -1;
  } catch (...) {
    kvrt::RethrowUnlessNoMemory();
    SafeDisplay("%s\n*** Cannot load messages database.", kNoMemory);
    return -1;
  }
}

int C_MessageTool::setLogFilename(const std::string& name, bool append) {
  try {
    C_Trace trace("C_MessageTool::setLogFilename", __FILE__, __LINE__);
    std::string copy(name);
    std::lock_guard<std::recursive_mutex> hold(detail::OutputLock());
    closeLogFile();
    m_append = append;
    m_logName.swap(copy);
    return 0;
  } catch (...) {
    kvrt::RethrowUnlessNoMemory();
    return -1;
  }
}

std::string C_MessageTool::getLogFilename() const {
  std::lock_guard<std::recursive_mutex> hold(detail::OutputLock());
  return kvrt::Or1001([&] { return std::string(m_logName); });
}

std::string C_MessageTool::GenerateDefaultLogFilename(const std::string& path, const std::string& suffix) const {
  C_Trace trace("C_MessageTool::GenerateDefaultLogFilename", __FILE__, __LINE__);
  return kvrt::Or1001([&] { return DefaultLogFilename(path, suffix); });
}

std::string C_MessageTool::DefaultLogFilename(const std::string& path, const std::string& suffix) {
  std::wstring wide;
  if (!WideOf(path, wide)) return suffix;  // a path that is not valid text has no usable part
  // Each part is written into a buffer of the path's size: no part is longer than the path.
  std::vector<wchar_t> base(wide.size() + 1, L'\0'), part(wide.size() + 1, L'\0');
  enleve_extension(wide.c_str(), base.data());
  const std::wstring baseText(base.data());
  std::string kept;
  if (DirectoryOf(baseText, part) && FileExists(NarrowOf(part.data()))) {
    kept = NarrowOf(base.data());
  } else {
    extraire_fichier(base.data(), part.data());
    kept = NarrowOf(part.data());
  }
  return kept + suffix;
}

void C_MessageTool::BuildResourcesFilename(std::string& out) const {
  kvrt::Or1001([&] { out = ResourcesFilename(m_resourcesDir, m_language); });
}

int C_MessageTool::openLogFile() {
  std::lock_guard<std::recursive_mutex> hold(detail::OutputLock());
  closeLogFile();
  if (m_logName.empty()) return 0;
  m_log = std::fopen(m_logName.c_str(), m_append ? "a" : "w");
  if (m_log == nullptr) {
    int err = errno;
    std::string name;
    name.swap(m_logName);  // later messages go on without a log
    HandleMessageArg("Cannot open file %s for write.", TYPE_WARNING, LEVEL_PUBLIC, SCOPE_NONE, name.c_str());
    errno = err;
    KVELO_THROW_R(29, 100);
  }
  m_append = true;
  return 0;
}

int C_MessageTool::closeLogFile() {
  std::lock_guard<std::recursive_mutex> hold(detail::OutputLock());
  if (m_log != nullptr) {
    std::fclose(m_log);
    m_log = nullptr;
  }
  return 0;
}

// ---------------------------------------------------------------- the heart

namespace {

// The platform's text of an errno value, whichever strerror_r the C library offers.
inline const char* ErrnoText(int r, const char* buf) { return r == 0 ? buf : "Unknown error"; }
inline const char* ErrnoText(const char* text, const char*) { return text; }

// The last-resort lines of a report that could not be composed for want of memory.
int NoMemoryForMessage(const C_KveloMessage& m) {
  C_MessageTool::SafeDisplay("%s\n*** Cannot handle message id=%d type=%d level=%d", kNoMemory,
                             m.getMessageCode(), static_cast<int>(m.getMessageType()),
                             static_cast<int>(m.getVerbosityLevel()));
  return -1;
}

}  // namespace

// text = the text of m's code from the database of the tool named key (the failure text, and
// -1, when the lookup fails). A want of memory passes (std::bad_alloc or 1001), whatever text
// was built is then lost.
int C_MessageTool::CodeText(E_MessageCode_t code, std::string& out, va_list* args, const std::string& key) {
  C_MessageTool* tool = nullptr;
  {
    std::lock_guard<std::recursive_mutex> hold(detail::RegistryLock());
    detail::ToolRegistry* reg = detail::MessageToolRegistry();
    if (reg != nullptr) {
      auto it = reg->find(key);
      if (it != reg->end()) tool = it->second;
    }
  }
  if (tool == nullptr || !tool->m_initialized) {
    out = detail::Format("%s Cannot get message ID=%d.", kNotInitialized, code);
    return -1;
  }
  try {
    detail::ToolAccess::DatabaseText(tool, code, out, args);
    return 0;
  } catch (const C_KveloException& e) {
    if (kvrt::IsNoMemory(e)) throw;  // a want of memory is not a missing text
    out = detail::Format("MessageDatabase failed to load id %d", code);
    return -1;
  }
}

int C_MessageTool::HandleMessage(const C_KveloMessage& m) {
  const E_MessageCode_t code = m.getMessageCode();
  const E_MessageType_enum type = m.getMessageType();
  const E_VerbosityLevel_enum level = m.getVerbosityLevel();
  const E_MessageStream_enum stream = m.getMessageStream();
  try {
    C_MessageTool* tool = Instance(m.getKey());
    if (tool == nullptr) {
      C_Trace trace("C_MessageTool::HandleMessage", __FILE__, __LINE__);
      SafeDisplay("%s\n*** Cannot handle message id=%d type=%d level=%d", kNotInitialized, code,
                  static_cast<int>(type), static_cast<int>(level));
      return -1;
    }
    if (!tool->MessageActive(m, stream)) return 0;
    // The message's own text is handed on as it is: no copy, so a report with a text goes out
    // even when no memory is left.
    int result = 0;
    std::string looked;
    const std::string* text = &m.getMessage();
    if (text->empty()) {
      if (code == 0)
        looked = " ";
      else if (CodeText(code, looked, nullptr, m.getKey()) != 0)
        result = -1;
      text = &looked;
    }
    for (int s = 0; s < 3; ++s) {
      if (stream != STREAM_ALL && stream != s) continue;
      const E_MessageStream_enum es = static_cast<E_MessageStream_enum>(s);
      if (!tool->MessageActive(m, es)) continue;
      int r;
      if (s == STREAM_LOG) {
        // The log is opened, written and closed by one thread at a time.
        detail::LogHold log(tool);
        r = tool->Ctrl(s)->AppHandleMessage(*text, type, es, log.File());
      } else {
        r = tool->Ctrl(s)->AppHandleMessage(*text, type, es, nullptr);
      }
      if (r != 0) result = -1;
    }
    if (type == TYPE_ERROR && HandleCallStack(m, level) != 0) result = -1;
    return result;
  } catch (...) {
    kvrt::RethrowUnlessNoMemory();
    return NoMemoryForMessage(m);
  }
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
  try {
    // The code texts are put together aside and appended in one step: e gets all or none.
    std::string added;
    std::string t = e.getExceptionMessage();
    if (!t.empty()) {
      added = t;
    } else if (e.getExceptionCode() != 0) {
      if (CodeText(e.getExceptionCode(), t, nullptr, e.getKey()) != 0) failed = true;
      added = t;
    }
    t = e.getReasonMessage();
    if (!t.empty()) {
      added += "\n" + t;
    } else if (e.getReasonCode() == 100) {
      char buf[256] = "";
      added += "\n" + std::string(ErrnoText(strerror_r(e.getErrno(), buf, sizeof buf), buf));
    } else if (!failed && e.getReasonCode() != 0) {
      if (CodeText(e.getReasonCode(), t, nullptr, e.getKey()) != 0) failed = true;
      added += "\n" + t;
    }
    e.Append(added);
  } catch (...) {
    kvrt::RethrowUnlessNoMemory();
    // No memory for the texts: the codes go out on the last-resort display, when the tool
    // would show the exception at all.
    if (tool->MessageActive(e, e.getMessageStream()))
      SafeDisplay("%s\n*** Cannot handle exception code=%d reason=%d type=%d level=%d%s%s", kNoMemory,
                  e.getExceptionCode(), e.getReasonCode(), static_cast<int>(type), static_cast<int>(level),
                  e.getMessage().empty() ? "" : "\n", e.getMessage().c_str());
    return -1;
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
  char buffer[CALLSTACK_BUFFER_SIZE];
  std::memset(buffer, 0, sizeof buffer);
  tool->BuildCallStackString(m, buffer);
  std::string listing;
  try {
    listing.assign(buffer);
  } catch (...) {
    kvrt::RethrowUnlessNoMemory();
    // No memory to hand the listing on: the screen's last resort shows it as it stands.
    if (tool->m_streams[STREAM_SCREEN].level >= level) kvplat::ShowError(buffer);
    return -1;
  }
  detail::LogHold log(tool);  // the log stays open for the three streams, as for one message
  int result = 0;
  for (int s = 0; s < 3; ++s) {
    if (tool->m_streams[s].level < level) continue;
    int r = tool->Ctrl(s)->AppHandleMessage(listing, TYPE_TRACE, static_cast<E_MessageStream_enum>(s),
                                            log.File());
    if (r != 0) result = -1;
  }
  return result;
}

int C_MessageTool::BuildCallStackString(const C_KveloMessage& m, char* out) {
  if (out == nullptr) return -1;
  const C_CallStack none(0);
  const C_CallStack* stack = &m.getCallStack();
  if (m.getMessageNature() != C_KveloMessage::NATURE_EXCEPTION) {
    try {
      stack = &GlobalCallstackCollection().GetCurrentCallStack();
    } catch (...) {
      kvrt::RethrowUnlessNoMemory();
      stack = &none;  // a thread that has no stack yet and no memory for one has no scope open
    }
  }
  const C_Entry& loc = m.getErrorLocation();
  const std::size_t size = CALLSTACK_BUFFER_SIZE;
  std::size_t used = 0;
  out[0] = '\0';
  // Each line goes in whole or is cut at the end of the buffer; formatted on the stack, as a
  // listing is also written when memory has run out. False once the buffer is full.
  auto put = [&](int index, const char* function, const char* file, int line) {
    char text[C_Entry::FUNCTION_SIZE + C_Entry::FILE_SIZE + 64];
    int k = std::snprintf(text, sizeof text, "%d %s(), %s line %d\n", index, function, file, line);
    if (k < 0) return true;
    std::size_t len = std::strlen(text);
    std::size_t room = size - 1 - used;
    if (len > room) len = room;
    std::memcpy(out + used, text, len);
    used += len;
    out[used] = '\0';
    return used + 1 < size;
  };
  const int n = stack->NbEntries();
  bool room = put(n, loc.function, loc.file, loc.line);
  for (int i = n - 1; i >= 0 && room; --i) {
    const C_Entry& e = stack->GetEntry(i);
    room = put(i, e.function, e.file, e.line);
  }
  return 0;
}

int C_MessageTool::getMessage(E_MessageCode_t code, std::string& out, va_list* args, const std::string& key) {
  try {
    return CodeText(code, out, args, key);
  } catch (...) {
    kvrt::RethrowUnlessNoMemory();
    out.clear();
    return -1;
  }
}

void detail::ToolAccess::DatabaseText(C_MessageTool* tool, int code, std::string& out, va_list* args) {
  // One look-up at a time: the database formats in a work buffer of its own and makes a
  // language's collection on first use.
  std::lock_guard<std::recursive_mutex> hold(OutputLock());
  // A tool initialized with all its streams swallowed loaded no database: no code has a text.
  if (tool == nullptr || tool->m_database == nullptr) KVELO_THROW(104);
  tool->m_database->GetMessage(out, code, args);
}

void C_MessageTool::SafeDisplay(const char* fmt, ...) {
  // Formatted on the stack: this is also the display of last resort when memory has run out.
  char text[1024];
  text[0] = '\0';
  if (fmt != nullptr) {
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    text[sizeof text - 1] = '\0';
  }
  kvplat::ShowError(text);
}

// ---------------------------------------------------------------- convenience families

namespace {

int Route(const C_KveloMessage& m) { return C_MessageTool::HandleMessage(m); }

// The families build their message (and its text) before routing it: when memory runs out for
// that, the report goes to the display of last resort and the result is -1.
int NoMemoryFor(C_MessageTool::E_MessageCode_t code, C_MessageTool::E_MessageType_enum type,
                C_MessageTool::E_VerbosityLevel_enum level) {
  C_MessageTool::SafeDisplay("%s\n*** Cannot handle message id=%d type=%d level=%d", kNoMemory, code,
                             static_cast<int>(type), static_cast<int>(level));
  return -1;
}

// A message of the given text routed to all streams, located in this file.
int RouteText(const char* op, int line, const std::string& key, const std::string& text,
              C_MessageTool::E_MessageType_enum type, C_MessageTool::E_VerbosityLevel_enum level,
              C_MessageTool::E_DebugScope_enum scope) {
  try {
    return Route(C_KveloMessage(op, __FILE__, line, key, text, type, level, scope, STREAM_ALL));
  } catch (...) {
    kvrt::RethrowUnlessNoMemory();
    return NoMemoryFor(0, type, level);
  }
}

// The same with a text given as characters (not a format) to the default tool.
int RouteChars(const char* op, int line, const char* text, C_MessageTool::E_MessageType_enum type,
               C_MessageTool::E_VerbosityLevel_enum level, C_MessageTool::E_DebugScope_enum scope) {
  try {
    return RouteText(op, line, detail::DefaultToolName(), std::string(text != nullptr ? text : kInvalidMessage),
                     type, level, scope);
  } catch (...) {
    kvrt::RethrowUnlessNoMemory();
    return NoMemoryFor(0, type, level);
  }
}

int RouteCode(const char* op, int line, const std::string& key, C_MessageTool::E_MessageCode_t code,
              C_MessageTool::E_MessageType_enum type, C_MessageTool::E_VerbosityLevel_enum level) {
  try {
    return Route(C_KveloMessage(op, __FILE__, line, key, code, type, level, SCOPE_NONE, STREAM_ALL));
  } catch (...) {
    kvrt::RethrowUnlessNoMemory();
    return NoMemoryFor(code, type, level);
  }
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
  if (looked != 0 && text.empty()) return NoMemoryFor(code, type, level);  // not even the failure text
  int r = RouteText(op, line, key, text, type, level, SCOPE_NONE);
  return (looked != 0 || r != 0) ? -1 : 0;
}

int RouteFormat(const char* op, int line, const std::string& key, const char* fmt,
                C_MessageTool::E_MessageType_enum type, C_MessageTool::E_VerbosityLevel_enum level,
                C_MessageTool::E_DebugScope_enum scope, va_list ap, std::size_t limit = 0) {
  try {
    std::string text = (fmt == nullptr || *fmt == '\0') ? std::string(kInvalidMessage)
                                                        : detail::FormatV(fmt, ap, limit);
    return RouteText(op, line, key, text, type, level, scope);
  } catch (...) {
    kvrt::RethrowUnlessNoMemory();
    return NoMemoryFor(0, type, level);
  }
}

}  // namespace

int C_MessageTool::HandleMessage(E_MessageCode_t code, E_MessageType_enum type, E_VerbosityLevel_enum level) {
  return RouteCode("C_MessageTool::HandleMessage", __LINE__, detail::DefaultToolName(), code, type, level);
}

int C_MessageTool::HandleMessage(const std::string& key, E_MessageCode_t code, E_MessageType_enum type,
                                 E_VerbosityLevel_enum level) {
  return RouteCode("C_MessageTool::HandleMessage", __LINE__, key, code, type, level);
}

int C_MessageTool::HandleMessage(const std::string& text, E_MessageType_enum type, E_VerbosityLevel_enum level,
                                 E_DebugScope_enum scope) {
  return RouteText("C_MessageTool::HandleMessage", __LINE__, detail::DefaultToolName(), text, type, level, scope);
}

int C_MessageTool::HandleMessage(const std::string& key, const std::string& text, E_MessageType_enum type,
                                 E_VerbosityLevel_enum level, E_DebugScope_enum scope) {
  return RouteText("C_MessageTool::HandleMessage", __LINE__, key, text, type, level, scope);
}

int C_MessageTool::HandleMessage(const char* text, E_MessageType_enum type, E_VerbosityLevel_enum level,
                                 E_DebugScope_enum scope) {
  return RouteChars("C_MessageTool::HandleMessage", __LINE__, text, type, level, scope);
}

int C_MessageTool::HandleMessage(const char* text, E_MessageType_enum type, E_VerbosityLevel_enum level,
                                 int scope) {
  return HandleMessage(text, type, level, static_cast<E_DebugScope_enum>(scope));
}

int C_MessageTool::HandleMessageArg(E_MessageCode_t code, E_MessageType_enum type, E_VerbosityLevel_enum level,
                                    ...) {
  va_list ap;
  va_start(ap, level);
  int r = RouteCodeArgs("C_MessageTool::HandleMessageArg", __LINE__, detail::DefaultToolName(), code, type, level, ap);
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
  int r = RouteFormat("C_MessageTool::HandleMessageArg", __LINE__, detail::DefaultToolName(), fmt.c_str(), type, level,
                      scope, ap);
  va_end(ap);
  return r;
}

int C_MessageTool::HandleMessageArg(const std::string& fmt, E_MessageType_enum type, E_VerbosityLevel_enum level,
                                    int scope, ...) {
  va_list ap;
  va_start(ap, scope);
  int r = RouteFormat("C_MessageTool::HandleMessageArg", __LINE__, detail::DefaultToolName(), fmt.c_str(), type, level,
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
  int r = RouteFormat("C_MessageTool::HandleMessageArg", __LINE__, detail::DefaultToolName(), fmt, type, level, scope, ap);
  va_end(ap);
  return r;
}

int C_MessageTool::HandleMessageArg(const char* fmt, E_MessageType_enum type, E_VerbosityLevel_enum level,
                                    int scope, ...) {
  va_list ap;
  va_start(ap, scope);
  int r = RouteFormat("C_MessageTool::HandleMessageArg", __LINE__, detail::DefaultToolName(), fmt, type, level,
                      static_cast<E_DebugScope_enum>(scope), ap);
  va_end(ap);
  return r;
}

int C_MessageTool::HandleMessageInf(E_MessageCode_t code) {
  return RouteCode("C_MessageTool::HandleMessageInf", __LINE__, detail::DefaultToolName(), code, TYPE_INFORMATION, LEVEL_PUBLIC);
}

int C_MessageTool::HandleMessageInf(const std::string& key, E_MessageCode_t code) {
  return RouteCode("C_MessageTool::HandleMessageInf", __LINE__, key, code, TYPE_INFORMATION, LEVEL_PUBLIC);
}

int C_MessageTool::HandleMessageInf(const std::string& text) {
  return RouteText("C_MessageTool::HandleMessageInf", __LINE__, detail::DefaultToolName(), text, TYPE_INFORMATION,
                   LEVEL_PUBLIC, SCOPE_NONE);
}

int C_MessageTool::HandleMessageInf(const char* text) {
  return RouteChars("C_MessageTool::HandleMessageInf", __LINE__, text, TYPE_INFORMATION, LEVEL_PUBLIC,
                    SCOPE_NONE);
}

int C_MessageTool::HandleMessageInfArg(E_MessageCode_t code, ...) {
  va_list ap;
  va_start(ap, code);
  int r = RouteCodeArgs("C_MessageTool::HandleMessageInfArg", __LINE__, detail::DefaultToolName(), code, TYPE_INFORMATION,
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
  int r = RouteFormat("C_MessageTool::HandleMessageInfArg", __LINE__, detail::DefaultToolName(), fmt, TYPE_INFORMATION,
                      LEVEL_PUBLIC, SCOPE_NONE, ap, 1024);
  va_end(ap);
  return r;
}

int C_MessageTool::InfArgFormat(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int r = RouteFormat("C_MessageTool::HandleMessageInfArg", __LINE__, detail::DefaultToolName(), fmt, TYPE_INFORMATION,
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

// A tool's progress moves under the output lock, one step at a time; a step that runs out of
// memory fails (-1) and leaves the progress where it was.
int C_MessageTool::OpenProgress(int maximum, const C_KveloMessage& m) {
  C_MessageTool* tool = Instance(m.getKey());
  if (tool == nullptr) return -1;
  std::lock_guard<std::recursive_mutex> hold(detail::OutputLock());
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
  try {
    C_KveloMessage m = ProgressMessage("C_MessageTool::OpenProgress", __LINE__, LEVEL_PUBLIC);
    m.Set(text);
    return OpenProgress(maximum, m);
  } catch (...) {
    kvrt::RethrowUnlessNoMemory();
    return -1;
  }
}

int C_MessageTool::SetProgress(int value, const C_KveloMessage& m) {
  C_MessageTool* tool = Instance(m.getKey());
  if (tool == nullptr) return -1;
  std::lock_guard<std::recursive_mutex> hold(detail::OutputLock());
  try {
    int result = 0;
    std::string text = m.getMessage();
    if (text.empty()) {
      if (m.getMessageCode() == 0)
        text = " ";
      else if (CodeText(m.getMessageCode(), text, nullptr, m.getKey()) != 0)
        result = -1;
    }
    if (tool->m_progressStopped) text = "Processing stopped...";
    if (value < 0) value = tool->m_progressCurrent;
    tool->m_progressCurrent = value;
    const E_MessageStream_enum stream = m.getMessageStream();
    for (int s = 0; s < 3; ++s) {
      if (stream != STREAM_ALL && stream != s) continue;
      const E_MessageStream_enum es = static_cast<E_MessageStream_enum>(s);
      if (!tool->MessageActive(m, es)) continue;
      int r;
      if (s == STREAM_LOG) {
        try {
          detail::LogHold log(tool);
          r = tool->Ctrl(s)->AppSetProgress(text, value, es);
        } catch (const C_KveloException&) {
          // The warning has gone out and the name is emptied; the progress step fails here.
          result = -1;
          break;
        }
      } else {
        r = tool->Ctrl(s)->AppSetProgress(text, value, es);
      }
      if (r != 0) result = -1;
    }
    return result;
  } catch (...) {
    kvrt::RethrowUnlessNoMemory();
    return -1;
  }
}

int C_MessageTool::SetProgress(int value, E_MessageCode_t code, E_VerbosityLevel_enum level) {
  C_KveloMessage m = ProgressMessage("C_MessageTool::SetProgress", __LINE__, level);
  m.setMessageCode(code);
  return SetProgress(value, m);
}

int C_MessageTool::SetProgress(int value, const std::string& text, E_VerbosityLevel_enum level) {
  try {
    C_KveloMessage m = ProgressMessage("C_MessageTool::SetProgress", __LINE__, level);
    m.Set(text);
    return SetProgress(value, m);
  } catch (...) {
    kvrt::RethrowUnlessNoMemory();
    return -1;
  }
}

int C_MessageTool::SetProgressArg(int value, const char* fmt, E_VerbosityLevel_enum level, ...) {
  va_list ap;
  va_start(ap, level);
  int r = -1;
  try {
    C_KveloMessage m = ProgressMessage("C_MessageTool::SetProgressArg", __LINE__, level);
    m.Set(detail::FormatV(fmt, ap));
    r = SetProgress(value, m);
  } catch (...) {
    kvrt::RethrowUnlessNoMemory();
  }
  va_end(ap);
  return r;
}

int C_MessageTool::CloseProgress(const std::string& key) {
  C_MessageTool* tool = Instance(key);
  if (tool == nullptr) return -1;
  std::lock_guard<std::recursive_mutex> hold(detail::OutputLock());
  int result = 0;
  for (int s = 0; s < 3; ++s)
    if (tool->Ctrl(s)->AppCloseProgress() != 0) result = -1;
  tool->m_progressOpen = false;
  tool->m_progressCurrent = 0;
  return result;
}

bool C_MessageTool::ProgressStopped(const std::string& key) {
  C_MessageTool* tool = Instance(key);
  if (tool == nullptr) return false;
  std::lock_guard<std::recursive_mutex> hold(detail::OutputLock());
  return tool->m_progressStopped;
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
  // A progress of no steps has no share done: 0 rather than the NaN or infinity of a division by 0.
  const float percent = m_progressMax > 0 ? static_cast<float>(value * 100.0 / m_progressMax) : 0.0f;
  int r = std::printf(" %4.1f%% %s\n", static_cast<double>(percent), text.c_str());
  std::fflush(stdout);
  return r < 0 ? -1 : 0;
}

int C_MessageTool::AppCloseProgress() { return 0; }

}  // namespace Kvelo
