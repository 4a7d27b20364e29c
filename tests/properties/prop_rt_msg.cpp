// prop_rt_msg.cpp: the message tool, messages, the message files and the C reporting entry
// points, driven by random command sequences. The default tool's settings (type filters,
// levels, debug scopes, log name) follow a model through every setter and switch; every report
// reaches exactly the streams the model says, with its text, and errors are followed by their
// call-stack listing; a refusal (a bad stream, an unopenable log, 1001 for want of memory)
// changes nothing but what its header names. What a message file holds is what the tool gives
// back, placeholders filled as an independent formatter fills them, and no bytes in a file or
// a format make the reader or the formatters read or write out of bounds.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "C_KveloException.h"
#include "C_KveloMessage.h"
#include "C_MessageTool.h"
#include "erreur.h"
#include "failing_new.h"
#include "kvelosys.h"
#include "msbfile.h"
#include "prop_support.h"

// clang-format off
KVELO_HOLDS(
    "C_MessageTool::ActivateDebugScope", "C_MessageTool::ActivateMessageType",
    "C_MessageTool::AppCloseProgress", "C_MessageTool::AppHandleMessage",
    "C_MessageTool::AppOpenProgress", "C_MessageTool::AppSetProgress",
    "C_MessageTool::BuildCallStackString", "C_MessageTool::BuildResourcesFilename",
    "C_MessageTool::C_MessageTool", "C_MessageTool::ChangeDebugScope", "C_MessageTool::CloseProgress",
    "C_MessageTool::CodeText", "C_MessageTool::Ctrl", "C_MessageTool::DebugScopeActive",
    "C_MessageTool::DefaultLogFilename", "C_MessageTool::GenerateDefaultLogFilename",
    "C_MessageTool::HandleCallStack", "C_MessageTool::HandleMessage", "C_MessageTool::HandleMessageArg",
    "C_MessageTool::HandleMessageInf", "C_MessageTool::HandleMessageInfArg",
    "C_MessageTool::HasInstance", "C_MessageTool::InfArgFormat", "C_MessageTool::Initialize",
    "C_MessageTool::Instance", "C_MessageTool::LastInstance", "C_MessageTool::MessageActive",
    "C_MessageTool::MessageTypeActive", "C_MessageTool::OpenProgress", "C_MessageTool::ProgressStopped",
    "C_MessageTool::ResetDebugScopes", "C_MessageTool::ResetMessageStreamCtrl",
    "C_MessageTool::SafeDisplay", "C_MessageTool::SetProgress", "C_MessageTool::SetProgressArg",
    "C_MessageTool::VerbosityLevelActive", "C_MessageTool::closeLogFile", "C_MessageTool::getKey",
    "C_MessageTool::getLogFilename", "C_MessageTool::getMessage", "C_MessageTool::getMessageTypeFilter",
    "C_MessageTool::getVerbosityLevel", "C_MessageTool::isInitialized", "C_MessageTool::openLogFile",
    "C_MessageTool::setEndMsgChar", "C_MessageTool::setLogFilename", "C_MessageTool::setMessageStreamCtrl",
    "C_MessageTool::setMessageTypeFilter", "C_MessageTool::setResourcesDir",
    "C_MessageTool::setResourcesDirByEnv", "C_MessageTool::setResourcesFilename",
    "C_MessageTool::setVerbosityLevel", "C_MessageTool::~C_MessageTool",
    "C_MessageStream::C_MessageStream",
    "C_KveloMessage::Append", "C_KveloMessage::C_KveloMessage", "C_KveloMessage::DefaultKey",
    "C_KveloMessage::IsActive", "C_KveloMessage::KeyOf", "C_KveloMessage::LookupText",
    "C_KveloMessage::Print", "C_KveloMessage::Set", "C_KveloMessage::SwapMessage",
    "C_KveloMessage::getCallStack", "C_KveloMessage::getDebugScope", "C_KveloMessage::getErrorLocation",
    "C_KveloMessage::getKey", "C_KveloMessage::getMessage", "C_KveloMessage::getMessageCode",
    "C_KveloMessage::getMessageNature", "C_KveloMessage::getMessageStream",
    "C_KveloMessage::getMessageType", "C_KveloMessage::getVerbosityLevel", "C_KveloMessage::operator+=",
    "C_KveloMessage::operator=", "C_KveloMessage::setDebugScope", "C_KveloMessage::setKey",
    "C_KveloMessage::setMessageCode", "C_KveloMessage::setMessageStream",
    "C_KveloMessage::setMessageType", "C_KveloMessage::setVerbosityLevel",
    "C_KveloMessage::~C_KveloMessage", "C_KveloBase::~C_KveloBase",
    "fct_Trace", "Erreur", "Warning", "Msg_interne", "Msg_verbeux", "Msg_public",
    "is_externe_on", "is_interne_on", "is_warning_on", "is_trace_on", "is_debug_scope_on",
    "is_verbeux_on", "switch_debug_scope", "switch_verbeux", "switch_externe", "switch_interne",
    "switch_trace", "switch_warning", "MSG_get", "MSG_get_default", "MSG_free", "MSG_get_last_id",
    "MSG_load", "MSG_load_default", "Msg_fclose", "Msg_fget", "Msg_fopen", "Msg_fset");
// clang-format on

namespace {

using Kvelo::C_KveloMessage;
using Kvelo::C_MessageStreamCtrl;
using Kvelo::C_MessageTool;
using namespace Kvelo::MessageToolEnums;

// The scopes the commands use, and so the ones every check probes.
const std::vector<int>& ScopePool() {
  static const std::vector<int> pool = {0, 1, 5, 306, 452, 502, -7, INT_MAX, INT_MIN};
  return pool;
}

// A recording controller for the three streams; muted while operator new fails (its own
// records would need memory).
struct Rec {
  std::string text;
  int type;
  int stream;
  bool operator==(const Rec& o) const { return text == o.text && type == o.type && stream == o.stream; }
};
struct Step {
  std::string text;
  int value;
  int stream;
  bool operator==(const Step& o) const { return text == o.text && value == o.value && stream == o.stream; }
};

class Recorder : public C_MessageStreamCtrl {
 public:
  std::vector<Rec> got;
  std::vector<Step> steps;
  int opens = 0, closes = 0;
  bool muted = false;
  int AppHandleMessage(const std::string& text, E_MessageType_enum type, E_MessageStream_enum stream, FILE*) override {
    if (!muted) got.push_back(Rec{text, static_cast<int>(type), static_cast<int>(stream)});
    return 0;
  }
  int AppOpenProgress() override {
    ++opens;
    return 0;
  }
  int AppSetProgress(const std::string& text, int value, E_MessageStream_enum stream) override {
    if (!muted) steps.push_back(Step{text, value, static_cast<int>(stream)});
    return 0;
  }
  int AppCloseProgress() override {
    ++closes;
    return 0;
  }
  void Clear() {
    got.clear();
    steps.clear();
    opens = closes = 0;
  }
};

// ---------------------------------------------------------------------------------------------
// The model of one tool's stream settings.

struct StreamModel {
  unsigned filter = 15;
  int level = 0;
  std::set<int> scopes{0};
};

struct ToolModel {
  StreamModel s[3];
  std::string logName;
  int progressCurrent = 0;
  int progressMax = 0;
  bool progressOpen = false;
};

bool Valid(int stream) { return stream >= 0 && stream <= 2; }

bool ActiveOn(const ToolModel& m, int type, int level, int scope, int stream) {
  if (!Valid(stream) || type == TYPE_ALL) return false;
  const StreamModel& s = m.s[stream];
  return (static_cast<unsigned>(type) & s.filter) != 0 && s.level >= level && s.scopes.count(scope) != 0;
}

bool Active(const ToolModel& m, int type, int level, int scope, int stream) {
  if (stream == STREAM_ALL) {
    for (int i = 0; i < 3; ++i)
      if (ActiveOn(m, type, level, scope, i)) return true;
    return false;
  }
  return ActiveOn(m, type, level, scope, stream);
}

// The tool's settings against the model, through every getter and test.
void CheckTool(const ToolModel& m, C_MessageTool* t) {
  for (int stream : {-1, 0, 1, 2, 3, 4}) {
    const auto es = static_cast<E_MessageStream_enum>(stream);
    RC_ASSERT(t->getMessageTypeFilter(es) == (Valid(stream) ? m.s[stream].filter : 0u));
    RC_ASSERT(static_cast<int>(t->getVerbosityLevel(es)) == (Valid(stream) ? m.s[stream].level : 0));
    for (int type : {1, 2, 3, 4, 8, 16, 32, 0xFFFF})
      RC_ASSERT(t->MessageTypeActive(static_cast<E_MessageType_enum>(type), es) ==
                (Valid(stream) && type != 0xFFFF && (m.s[stream].filter & static_cast<unsigned>(type)) != 0));
    for (int level : {-1, 0, 3, 5, 6})
      RC_ASSERT(t->VerbosityLevelActive(static_cast<E_VerbosityLevel_enum>(level), es) ==
                (Valid(stream) && m.s[stream].level >= level));
    for (int scope : ScopePool()) {
      const bool want = Valid(stream) && m.s[stream].scopes.count(scope) != 0;
      RC_ASSERT(t->DebugScopeActive(scope, es) == want);
      RC_ASSERT(t->DebugScopeActive(static_cast<E_DebugScope_enum>(scope), es) == want);
    }
  }
  RC_ASSERT(t->getLogFilename() == m.logName);
  RC_ASSERT(t->getKey() == "DefaultMessageTool");
  RC_ASSERT(!t->isInitialized());
  // The C tests and switches read the screen stream.
  RC_ASSERT(is_externe_on() == (m.s[0].level >= 0 ? 1 : 0));
  RC_ASSERT(is_interne_on() == (m.s[0].level >= 3 ? 1 : 0));
  RC_ASSERT(is_warning_on() == ((m.s[0].filter & 4u) ? 1 : 0));
  RC_ASSERT(is_trace_on() == ((m.s[0].filter & 8u) ? 1 : 0));
  for (int scope : ScopePool()) {
    RC_ASSERT(is_debug_scope_on(scope) == (m.s[0].scopes.count(scope) ? 1 : 0));
    RC_ASSERT(is_verbeux_on(scope) == (m.s[0].scopes.count(scope) ? 1 : 0));
  }
}

// The whole system: the default tool with the recorder on its three streams.
struct Sys {
  C_MessageTool* tool;
  Recorder rec;
  Sys() : tool(C_MessageTool::Instance("DefaultMessageTool")) {
    tool->setMessageTypeFilter(15, STREAM_ALL);
    tool->setVerbosityLevel(LEVEL_PUBLIC, STREAM_ALL);
    tool->ActivateDebugScope(-1, true, STREAM_ALL);
    tool->setLogFilename("", true);
    tool->setEndMsgChar(' ');
    tool->setMessageStreamCtrl(rec, STREAM_ALL);
    C_MessageTool::CloseProgress("DefaultMessageTool");
    rec.Clear();
  }
  ~Sys() {
    tool->ResetMessageStreamCtrl(STREAM_ALL);
    tool->setMessageTypeFilter(15, STREAM_ALL);
    tool->setVerbosityLevel(LEVEL_PUBLIC, STREAM_ALL);
    tool->ActivateDebugScope(-1, true, STREAM_ALL);
    tool->setLogFilename("", true);
    tool->setEndMsgChar(' ');
  }
};

using Cmd = rc::state::Command<ToolModel, Sys>;

rc::Gen<int> AnyStream() { return rc::gen::weightedOneOf<int>({{6, rc::gen::inRange(0, 4)}, {1, rc::gen::element(-1, 4, 99)}}); }
rc::Gen<int> AnyType() { return rc::gen::element(1, 2, 4, 8, 16, 3, 32, 0xFFFF); }
rc::Gen<int> AnyLevel() { return rc::gen::weightedOneOf<int>({{6, rc::gen::inRange(0, 6)}, {1, rc::gen::element(-1, 6, INT_MAX)}}); }
rc::Gen<int> AnyScope() { return rc::gen::elementOf(ScopePool()); }

// Text of any bytes (a text is handed on as it is).
rc::Gen<std::string> AnyText() {
  return rc::gen::weightedOneOf<std::string>({
      {3, rc::gen::container<std::string>(rc::gen::arbitrary<char>())},
      {2, rc::gen::container<std::string>(rc::gen::inRange<char>(' ', '~' + 1))},
      {1, rc::gen::element<std::string>("", "%", "%%", "%s%d%n", "{0,d}")},
  });
}

// The listing that follows an error: the message's place, then the thread's entries, top first.
std::string ListingRef(const C_KveloMessage& m) {
  const Kvelo::C_CallStack& st = m.getMessageNature() == C_KveloMessage::NATURE_EXCEPTION
                                     ? m.getCallStack()
                                     : Kvelo::GlobalCallstackCollection().GetCurrentCallStack();
  const Kvelo::C_Entry& loc = m.getErrorLocation();
  std::string out = std::to_string(st.NbEntries()) + " " + loc.function + "(), " + loc.file + " line " +
                    std::to_string(loc.line) + "\n";
  for (int i = st.NbEntries() - 1; i >= 0; --i) {
    const Kvelo::C_Entry& e = st.GetEntry(i);
    out += std::to_string(i) + " " + e.function + "(), " + e.file + " line " + std::to_string(e.line) + "\n";
  }
  return out.substr(0, Kvelo::C_MessageTool::CALLSTACK_BUFFER_SIZE - 1);
}

// What the recorder must have received for m handed to HandleMessage, with text as it is shown.
std::vector<Rec> RoutedRef(const ToolModel& tm, const C_KveloMessage& m, const std::string& text) {
  std::vector<Rec> out;
  const int type = m.getMessageType(), level = m.getVerbosityLevel(), scope = m.getDebugScope();
  const int stream = m.getMessageStream();
  if (!Active(tm, type, level, scope, stream)) return out;
  for (int s = 0; s < 3; ++s)
    if ((stream == STREAM_ALL || stream == s) && ActiveOn(tm, type, level, scope, s)) out.push_back(Rec{text, type, s});
  if (type == TYPE_ERROR) {
    const std::string listing = ListingRef(m);
    for (int s = 0; s < 3; ++s)
      if (tm.s[s].level >= level) out.push_back(Rec{listing, TYPE_TRACE, s});
  }
  return out;
}

std::string NotInitializedText(int code) {
  return "MessageTool is not initialized! Cannot get message ID=" + std::to_string(code) + ".";
}

// ---- setters ----

struct SetFilter : Cmd {
  int stream = *AnyStream();
  unsigned filter = *rc::gen::element(0u, 1u, 15u, 31u, 0xFFFFu, 6u, 0x80000000u);
  void apply(ToolModel& m) const override {
    for (int s = 0; s < 3; ++s)
      if (stream == s || stream == STREAM_ALL) m.s[s].filter = filter;
  }
  void run(const ToolModel& m, Sys& sys) const override {
    sys.tool->setMessageTypeFilter(filter, static_cast<E_MessageStream_enum>(stream));
    ToolModel after = m;
    apply(after);
    CheckTool(after, sys.tool);
  }
  void show(std::ostream& os) const override { os << "setMessageTypeFilter(" << filter << ", " << stream << ")"; }
};

struct ActivateType : Cmd {
  int stream = *AnyStream();
  int type = *AnyType();
  bool on = *rc::gen::arbitrary<bool>();
  void apply(ToolModel& m) const override {
    for (int s = 0; s < 3; ++s) {
      if (stream != s && stream != STREAM_ALL) continue;
      unsigned& f = m.s[s].filter;
      if (type == TYPE_ALL)
        f = on ? 0xFFFFu : 0u;
      else if (on)
        f |= static_cast<unsigned>(type);
      else
        f &= ~static_cast<unsigned>(type);
    }
  }
  void run(const ToolModel& m, Sys& sys) const override {
    sys.tool->ActivateMessageType(static_cast<E_MessageType_enum>(type), on, static_cast<E_MessageStream_enum>(stream));
    ToolModel after = m;
    apply(after);
    CheckTool(after, sys.tool);
  }
  void show(std::ostream& os) const override { os << "ActivateMessageType(" << type << ", " << on << ", " << stream << ")"; }
};

struct SetLevel : Cmd {
  int stream = *AnyStream();
  int level = *AnyLevel();
  void apply(ToolModel& m) const override {
    for (int s = 0; s < 3; ++s)
      if (stream == s || stream == STREAM_ALL) m.s[s].level = level;
  }
  void run(const ToolModel& m, Sys& sys) const override {
    sys.tool->setVerbosityLevel(static_cast<E_VerbosityLevel_enum>(level), static_cast<E_MessageStream_enum>(stream));
    ToolModel after = m;
    apply(after);
    CheckTool(after, sys.tool);
  }
  void show(std::ostream& os) const override { os << "setVerbosityLevel(" << level << ", " << stream << ")"; }
};

// Debug scopes, through the tool (both overloads) or the C switches, optionally short of
// memory: all streams asked for change, or none (1001).
struct ActivateScope : Cmd {
  int how = *rc::gen::inRange(0, 4);  // 0 int overload, 1 enum overload, 2 switch_debug_scope, 3 switch_verbeux
  int stream = *AnyStream();
  int scope = *rc::gen::weightedOneOf<int>({{5, AnyScope()}, {1, rc::gen::just(-1)}});
  int on = *rc::gen::element(0, 1, 2, -1);
  long failAt = *rc::gen::weightedOneOf<long>({{4, rc::gen::just(-1L)}, {1, rc::gen::inRange(0L, 3L)}});

  void Change(ToolModel& m) const {
    if (how >= 2) {
      if (scope == -1) return;
      if (on == 1)
        m.s[0].scopes.insert(scope);
      else
        m.s[0].scopes.erase(scope);
      return;
    }
    if (scope == -1) {
      for (StreamModel& s : m.s) s.scopes = {0};
      return;
    }
    for (int s = 0; s < 3; ++s) {
      if (stream != s && stream != STREAM_ALL) continue;
      if (on != 0)
        m.s[s].scopes.insert(scope);
      else
        m.s[s].scopes.erase(scope);
    }
  }
  void run(const ToolModel& m, Sys& sys) const override {
    int got = 0;
    if (failAt >= 0) kvtest::FailNewAfter(failAt);
    try {
      const auto es = static_cast<E_MessageStream_enum>(stream);
      switch (how) {
        case 0: sys.tool->ActivateDebugScope(scope, on != 0, es); break;
        case 1: sys.tool->ActivateDebugScope(static_cast<E_DebugScope_enum>(scope), on != 0, es); break;
        case 2: switch_debug_scope(scope, on); break;
        default: switch_verbeux(scope, on); break;
      }
    } catch (const C_KveloException& x) {
      got = x.getExceptionCode();
    } catch (...) {
      got = -2;
    }
    kvtest::Heal();
    RC_ASSERT((got == 0 || (got == 1001 && failAt >= 0 && how < 2)));
    ToolModel after = m;
    if (got == 0) Change(after);
    // A C switch short of memory either switched or did nothing: whichever, all of it.
    if (how >= 2 && failAt >= 0 && sys.tool->DebugScopeActive(scope, STREAM_SCREEN) != (after.s[0].scopes.count(scope) != 0))
      after = m;
    CheckTool(after, sys.tool);
    const_cast<ToolModel&>(m) = after;  // the outcome decides the model
  }
  void show(std::ostream& os) const override {
    static const char* const names[] = {"ActivateDebugScope(int ", "ActivateDebugScope(enum ", "switch_debug_scope(",
                                        "switch_verbeux("};
    os << names[how] << scope << ", on " << on << ", stream " << stream << ", new fails after " << failAt << ")";
  }
};

// ---- reports ----

// One message through HandleMessage, Print or a convenience family; the recorder gets exactly
// what the model says.
struct Report : Cmd {
  int how = *rc::gen::inRange(0, 14);
  int type = *AnyType();
  int level = *AnyLevel();
  int scope = *AnyScope();
  int stream = *AnyStream();
  int code = *rc::gen::element(0, 0, 7, 104, 3101);
  std::string text = *AnyText();
  long failAt = *rc::gen::weightedOneOf<long>({{5, rc::gen::just(-1L)}, {1, rc::gen::inRange(0L, 6L)}});

  void run(const ToolModel& m, Sys& sys) const override {
    sys.rec.Clear();
    const auto T = static_cast<E_MessageType_enum>(type);
    const auto L = static_cast<E_VerbosityLevel_enum>(level);
    const auto S = static_cast<E_DebugScope_enum>(scope);
    const std::string key = "DefaultMessageTool";
    // The message each form builds, as the reference sees it: (type, level, scope, stream,
    // code, text as shown, -1 expected).
    int eType = type, eLevel = level, eScope = scope, eStream = STREAM_ALL, eCode = 0;
    std::string shown = text;
    bool fails = false;
    const char* const here = "src/C_MessageTool";
    C_KveloMessage probe("p", here, 1, T, L, S, static_cast<E_MessageStream_enum>(stream));
    int r = 0;
    const std::string fmt6("%s|%d"), fmt7("%s");
    sys.rec.muted = failAt >= 0;
    if (failAt >= 0) kvtest::FailNewAfter(failAt);
    bool threw = false;
    try {
      switch (how) {
        case 0: {  // a message of the caller's, text or code
          C_KveloMessage msg("Report", "src/prop", 7, code, T, L, S, static_cast<E_MessageStream_enum>(stream));
          if (!text.empty()) msg.Set(text);
          eStream = stream;
          eCode = code;
          r = msg.Print();
          kvtest::Heal();
          break;
        }
        case 1: r = C_MessageTool::HandleMessage(code, T, L); kvtest::Heal(); eScope = 0; eCode = code; shown.clear(); break;
        case 2: r = C_MessageTool::HandleMessage(key, code, T, L); kvtest::Heal(); eScope = 0; eCode = code; shown.clear(); break;
        case 3: r = C_MessageTool::HandleMessage(text, T, L, S); kvtest::Heal(); break;
        case 4: r = C_MessageTool::HandleMessage(key, text, T, L, S); kvtest::Heal(); break;
        case 5: r = C_MessageTool::HandleMessage(text.c_str(), T, L, scope); kvtest::Heal(); shown = text.c_str(); break;
        case 6: r = C_MessageTool::HandleMessageArg(fmt6, T, L, S, text.c_str(), code); kvtest::Heal();
                shown = std::string(text.c_str()) + "|" + std::to_string(code); break;
        case 7: r = C_MessageTool::HandleMessageArg(key, fmt7, T, L, S, text.c_str()); kvtest::Heal();
                shown = text.c_str(); break;
        case 8: r = C_MessageTool::HandleMessageArg("%s", T, L, scope, text.c_str()); kvtest::Heal(); shown = text.c_str(); break;
        case 9: r = C_MessageTool::HandleMessageInf(text); kvtest::Heal(); eType = 1; eLevel = 0; eScope = 0; break;
        case 10: r = C_MessageTool::HandleMessageInf(key, code); kvtest::Heal(); eType = 1; eLevel = 0; eScope = 0; eCode = code;
                 shown.clear(); break;
        case 11: r = C_MessageTool::HandleMessageInfArg("%s", text.c_str()); kvtest::Heal(); eType = 1; eLevel = 0; eScope = 0;
                 shown = std::string(text.c_str()).substr(0, 1023); break;
        case 12: r = C_MessageTool::HandleMessageArg(code, T, L, 1); kvtest::Heal(); eScope = 0; fails = true;
                 shown = NotInitializedText(code); break;
        default: r = C_MessageTool::HandleMessageInfArg(key, code, 1); kvtest::Heal(); eType = 1; eLevel = 0; eScope = 0;
                 fails = true; shown = NotInitializedText(code); break;
      }
    } catch (const C_KveloException& x) {
      // Only the caller's own Set may refuse (1001); the reporting operations never throw.
      threw = !(how == 0 && x.getExceptionCode() == 1001);
      if (threw) RC_LOG() << "C_KveloException " << x.getExceptionCode() << " left the report\n";
      r = 0;
    } catch (const std::bad_alloc&) {
      threw = true;
      RC_LOG() << "std::bad_alloc left the report\n";
    } catch (...) {
      threw = true;
    }
    // (Memory comes back right after the call: the expectations below are the test's own.)
    const bool refused = kvtest::NewWasRefused();
    kvtest::Heal();
    sys.rec.muted = false;
    RC_ASSERT(!threw);
    // A message without text shows its code's text, or a blank without a code.
    if (shown.empty() && !fails) {
      if (eCode == 0)
        shown = " ";
      else {
        shown = NotInitializedText(eCode);
        fails = true;
      }
    }
    C_KveloMessage want("x", "src/C_MessageTool", 1, static_cast<E_MessageType_enum>(eType),
                        static_cast<E_VerbosityLevel_enum>(eLevel), static_cast<E_DebugScope_enum>(eScope),
                        static_cast<E_MessageStream_enum>(eStream));
    const bool shows = Active(m, eType, eLevel, eScope, eStream);
    if (failAt >= 0) {
      RC_ASSERT((r == 0 || r == -1));
      if (!refused) RC_ASSERT(r == ((fails && (shows || how >= 12)) ? -1 : 0));
    } else {
      RC_ASSERT(r == ((fails && (shows || how >= 12)) ? -1 : 0));
      std::vector<Rec> ref = RoutedRef(m, want, shown);
      // The listing's first line names the place of the message: compare the texts apart from it.
      RC_ASSERT(sys.rec.got.size() == ref.size());
      for (std::size_t i = 0; i < ref.size(); ++i) {
        RC_ASSERT(sys.rec.got[i].type == ref[i].type);
        RC_ASSERT(sys.rec.got[i].stream == ref[i].stream);
        if (ref[i].type == TYPE_TRACE && eType == TYPE_ERROR) {
          const std::string& g = sys.rec.got[i].text;
          RC_ASSERT(g.substr(g.find('\n')) == ref[i].text.substr(ref[i].text.find('\n')));
        } else {
          RC_ASSERT(sys.rec.got[i].text == ref[i].text);
        }
      }
    }
    CheckTool(m, sys.tool);
  }
  void show(std::ostream& os) const override {
    os << "Report form " << how << " (type " << type << ", level " << level << ", scope " << scope << ", stream "
       << stream << ", code " << code << ", " << text.size() << "-byte text, new fails after " << failAt << ")";
  }
};

// The C reports: formatted errors, warnings and information through the default tool.
struct CReport : Cmd {
  int how = *rc::gen::inRange(0, 5);
  int scope = *AnyScope();
  std::string text = *AnyText();
  bool nullFormat = *rc::gen::weightedOneOf<bool>({{6, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  std::string function = *rc::gen::element<std::string>("fn", "", std::string(80, 'f'));
  std::string file = *rc::gen::element<std::string>("src/bf", "/a/b/c_file.cpp", "");
  int line = *rc::gen::arbitrary<int>();
  void run(const ToolModel& m, Sys& sys) const override {
    sys.rec.Clear();
    // The text given as a format of literal characters: every '%' doubled.
    std::string fmt;
    for (char c : std::string(text.c_str())) {
      fmt += c;
      if (c == '%') fmt += '%';
    }
    const std::string plain = nullFormat ? std::string() : std::string(text.c_str());
    const char* f = nullFormat ? nullptr : fmt.c_str();
    int r = 0, type = 1, level = 0, sc = 0;
    std::string fn = function, fl = file;
    switch (how) {
      case 0: r = Erreur(function.c_str(), line, file.c_str(), f); type = 2; break;
      case 1: r = nullFormat ? Warning(function.c_str(), line, file.c_str(), nullptr)
                             : Warning(function.c_str(), line, file.c_str(), "%s", plain.c_str());
              type = 4; break;
      case 2: r = Msg_interne(f); level = 3; break;
      case 3: r = nullFormat ? Msg_verbeux(scope, nullptr) : Msg_verbeux(scope, "%s", plain.c_str());
              level = 3; sc = scope; break;
      default: r = Msg_public(f); break;
    }
    RC_ASSERT(r == 0);
    C_KveloMessage want(fn.c_str(), fl.c_str(), line, static_cast<E_MessageType_enum>(type),
                        static_cast<E_VerbosityLevel_enum>(level), static_cast<E_DebugScope_enum>(sc), STREAM_ALL);
    // An empty text is shown as a blank, as for any message without text or code.
    std::vector<Rec> ref = RoutedRef(m, want, plain.empty() ? std::string(" ") : plain);
    RC_ASSERT(sys.rec.got.size() == ref.size());
    for (std::size_t i = 0; i < ref.size(); ++i) {
      RC_ASSERT(sys.rec.got[i].type == ref[i].type);
      RC_ASSERT(sys.rec.got[i].stream == ref[i].stream);
      if (how == 0 && ref[i].type == TYPE_TRACE) {
        const std::string& g = sys.rec.got[i].text;
        RC_ASSERT(g.substr(g.find('\n')) == ref[i].text.substr(ref[i].text.find('\n')));
        // The place is the caller's, its file named the library's way.
        RC_ASSERT(g.find(std::string(want.getErrorLocation().function) + "(), " + want.getErrorLocation().file +
                         " line " + std::to_string(line) + "\n") != std::string::npos);
      } else {
        RC_ASSERT(sys.rec.got[i].text == ref[i].text);
      }
    }
    CheckTool(m, sys.tool);
  }
  void show(std::ostream& os) const override {
    os << "C report #" << how << (nullFormat ? " (null format, " : " (") << text.size() << "-byte text, scope " << scope << ", fn " << function.size()
       << " bytes, file " << file << ", line " << line << ")";
  }
};

// fct_Trace: through the default tool when it is initialized (it is not, here), else the
// last-used tool; with neither, -1 and nothing routed.
struct Trace : Cmd {
  std::string name = *rc::gen::element<std::string>("aff_lieu", "", std::string(100, 'n'));
  int line = *rc::gen::arbitrary<int>();
  void run(const ToolModel& m, Sys& sys) const override {
    sys.rec.Clear();
    C_MessageTool* last = C_MessageTool::LastInstance();
    const int r = fct_Trace(name.c_str(), line, "/x/src/bf.cpp");
    if (last == nullptr || !last->isInitialized())
      RC_ASSERT(r == -1);
    else
      RC_ASSERT((r == 0 || r == -1));
    RC_ASSERT(sys.rec.got.empty());
    RC_ASSERT(fct_Trace(nullptr, line, nullptr) == r);
    CheckTool(m, sys.tool);
  }
  void show(std::ostream& os) const override { os << "fct_Trace(" << name.size() << "-byte name, " << line << ")"; }
};

// The stubs ignore what they are given and change nothing.
struct Stubs : Cmd {
  void run(const ToolModel& m, Sys& sys) const override {
    sys.rec.Clear();
    MSG_free(nullptr);
    Msg_fclose();
    Msg_fset(stdout);
    switch_externe(0);
    switch_interne(1);
    switch_trace(0);
    switch_warning(0);
    RC_ASSERT(MSG_get_last_id() == 0);
    RC_ASSERT(MSG_load("nowhere") == 0);
    RC_ASSERT(MSG_load_default() == 0);
    RC_ASSERT(Msg_fget() == 0);
    RC_ASSERT(Msg_fopen("x") == -1);
    RC_ASSERT(sys.rec.got.empty());
    CheckTool(m, sys.tool);
  }
  void show(std::ostream& os) const override { os << "stubs"; }
};

// Progress: open, steps, close, through the recorder.
struct Progress : Cmd {
  int how = *rc::gen::inRange(0, 6);
  int maximum = *rc::gen::element(0, 1, 200, -5, INT_MAX);
  int value = *rc::gen::element(0, 50, -1, 7, INT_MAX);
  int level = *AnyLevel();
  std::string text = *rc::gen::container<std::string>(rc::gen::inRange<char>(' ', '~' + 1));
  int code = *rc::gen::element(0, 12);
  void apply(ToolModel& m) const override {
    switch (how) {
      case 0: case 1: m.progressMax = maximum; m.progressOpen = true; m.progressCurrent = 0; break;
      case 2: case 3: case 4: m.progressCurrent = value < 0 ? m.progressCurrent : value; break;
      default: m.progressOpen = false; m.progressCurrent = 0; break;
    }
  }
  void run(const ToolModel& m, Sys& sys) const override {
    sys.rec.Clear();
    const auto L = static_cast<E_VerbosityLevel_enum>(level);
    int r = 0, msgLevel = 0;
    std::string shown = text.empty() ? " " : text;
    bool fails = false;
    int v = 0;
    switch (how) {
      case 0: r = C_MessageTool::OpenProgress(maximum, text); break;
      case 1: r = C_MessageTool::OpenProgress(maximum, code);
              shown = code == 0 ? " " : NotInitializedText(code); fails = code != 0; break;
      case 2: r = C_MessageTool::SetProgress(value, text, L); msgLevel = level; v = value; break;
      case 3: r = C_MessageTool::SetProgress(value, code, L); msgLevel = level; v = value;
              shown = code == 0 ? " " : NotInitializedText(code); fails = code != 0; break;
      case 4: r = C_MessageTool::SetProgressArg(value, "%s", L, text.c_str()); msgLevel = level; v = value; break;
      default: r = C_MessageTool::CloseProgress("DefaultMessageTool"); break;
    }
    if (v < 0) v = m.progressCurrent;
    std::vector<Step> ref;
    if (how <= 4)
      for (int s = 0; s < 3; ++s)
        if (ActiveOn(m, TYPE_PROGRESS, msgLevel, 0, s)) ref.push_back(Step{shown, v, s});
    RC_ASSERT(sys.rec.steps == ref);
    RC_ASSERT(r == (fails ? -1 : 0));
    if (how <= 1) RC_ASSERT(sys.rec.opens == (Active(m, TYPE_PROGRESS, 0, 0, STREAM_ALL) ? 1 : 0));
    if (how == 5) RC_ASSERT(sys.rec.closes == 3);
    RC_ASSERT(!C_MessageTool::ProgressStopped("DefaultMessageTool"));
    // The tool's own screen controller: the share done, or -1 with no progress open.
    ToolModel after = m;
    apply(after);
    testing::internal::CaptureStdout();
    const int own = sys.tool->AppSetProgress(text, value, STREAM_SCREEN);
    const int other = sys.tool->AppSetProgress(text, value, STREAM_LOG);
    const std::string out = testing::internal::GetCapturedStdout();
    if (!after.progressOpen) {
      RC_ASSERT(own == -1 && other == -1 && out.empty());
    } else {
      char want[4096];
      const float pct = after.progressMax > 0 ? static_cast<float>(value * 100.0 / after.progressMax) : 0.0f;
      std::snprintf(want, sizeof want, " %4.1f%% %s\n", static_cast<double>(pct), text.c_str());
      RC_ASSERT(own == 0 && other == 0);
      RC_ASSERT(out == want);
    }
    RC_ASSERT(sys.tool->AppOpenProgress() == 0 && sys.tool->AppCloseProgress() == 0);
    CheckTool(m, sys.tool);
  }
  void show(std::ostream& os) const override {
    os << "Progress #" << how << " (max " << maximum << ", value " << value << ", level " << level << ", code " << code << ")";
  }
};

// A directory of this run's own, removed with its files when the program ends.
struct RunDir {
  std::string path;
  RunDir() : path(std::filesystem::temp_directory_path().string() + "/prop_rt_msg_" + std::to_string(getpid())) {
    std::filesystem::create_directories(path);
  }
  ~RunDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

std::string TempDir() {
  static const RunDir dir;
  return dir.path;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The log: the default controller writes each message with its prefix and the end character;
// an unopenable log empties the name and refuses with 29.
struct Log : Cmd {
  bool append = *rc::gen::arbitrary<bool>();
  bool bad = *rc::gen::weightedOneOf<bool>({{4, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  int type = *rc::gen::element(1, 2, 4, 8, 16);
  char end = *rc::gen::element(' ', '\n', '|');
  std::string text = *rc::gen::container<std::string>(rc::gen::inRange<char>(' ', '~' + 1));
  std::string before = *rc::gen::element<std::string>("", "old\n");
  void apply(ToolModel& m) const override { m.logName.clear(); }
  void run(const ToolModel& m, Sys& sys) const override {
    sys.rec.Clear();
    const std::string path = bad ? TempDir() : TempDir() + "/log.txt";
    if (!bad) {
      std::ofstream(path, std::ios::binary) << before;
    }
    RC_ASSERT(sys.tool->setLogFilename(path, append) == 0);
    RC_ASSERT(sys.tool->getLogFilename() == path);
    sys.tool->ResetMessageStreamCtrl(STREAM_LOG);
    sys.tool->setEndMsgChar(end);
    int code = 0;
    int r = 0;
    try {
      r = C_MessageTool::HandleMessage(text, static_cast<E_MessageType_enum>(type), LEVEL_PUBLIC, SCOPE_NONE);
    } catch (const C_KveloException& x) {
      code = x.getExceptionCode();
    }
    sys.tool->setMessageStreamCtrl(sys.rec, STREAM_LOG);
    sys.tool->setEndMsgChar(' ');
    const bool onLog = ActiveOn(m, type, 0, 0, STREAM_LOG);
    // The log opens for the text, or for the listing that follows a shown error.
    const bool opens = onLog || (type == 2 && Active(m, type, 0, 0, STREAM_ALL));
    if (bad) {
      RC_ASSERT(code == (opens ? 29 : 0));
      RC_ASSERT(sys.tool->getLogFilename() == (opens ? std::string() : path));
    } else {
      RC_ASSERT(code == 0);
      RC_ASSERT(r == 0);
      std::string want = append ? before : std::string();
      if (onLog) {
        const char* prefix = type == 2 ? "*** " : type == 4 ? "*** Warning: " : "";
        want += prefix + (text.empty() ? std::string(" ") : text) + end;
      }
      if (type == 2) {
        const bool listed = m.s[1].level >= 0 && Active(m, type, 0, 0, STREAM_ALL);
        C_KveloMessage probe("C_MessageTool::HandleMessage", "src/C_MessageTool", 1, TYPE_ERROR, LEVEL_PUBLIC,
                             SCOPE_NONE, STREAM_ALL);
        if (listed) {
          const std::string got = FileBytes(path);
          RC_LOG() << "log file: [" << got << "] want prefix [" << want << "]\n";
          // The listing follows the text; its first line names the tool's own place.
          RC_ASSERT(got.substr(0, want.size()) == want);
          const std::string rest = got.substr(want.size());
          const std::string ref = ListingRef(probe);
          RC_ASSERT(rest.substr(rest.find('\n')) == ref.substr(ref.find('\n')) + end);
          want = got;
        }
      }
      // A log that nothing is written to is not opened: it keeps what it held.
      // (The listing after a shown error opens the log whatever the log stream's level.)
      const bool opened = onLog || (type == 2 && Active(m, type, 0, 0, STREAM_ALL));
      RC_ASSERT(FileBytes(path) == (opened ? want : before));
    }
    RC_ASSERT(sys.tool->setLogFilename("", true) == 0);
    RC_ASSERT(sys.tool->openLogFile() == 0 && sys.tool->closeLogFile() == 0);
    CheckTool(ToolModel(m), sys.tool) ;
  }
  void show(std::ostream& os) const override {
    os << "Log(append " << append << ", bad " << bad << ", type " << type << ", end " << int(end) << ", "
       << text.size() << "-byte text)";
  }
};

// The default controller writes each stream's text with its prefix and end character.
struct DefaultController : Cmd {
  int type = *AnyType();
  int stream = *rc::gen::element(0, 1, 2, 3);
  bool withLog = *rc::gen::arbitrary<bool>();
  std::string text = *rc::gen::container<std::string>(rc::gen::inRange<char>(' ', '~' + 1));
  void run(const ToolModel& m, Sys& sys) const override {
    FILE* log = withLog ? std::tmpfile() : nullptr;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int r = sys.tool->AppHandleMessage(text, static_cast<E_MessageType_enum>(type),
                                             static_cast<E_MessageStream_enum>(stream), log);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    std::string logText;
    if (log) {
      std::fflush(log);
      std::rewind(log);
      int c;
      while ((c = std::fgetc(log)) != EOF) logText += static_cast<char>(c);
      std::fclose(log);
    }
    RC_ASSERT(r == 0);
    std::string wOut, wErr, wLog;
    const std::string t = text + ' ';
    if (type != TYPE_ALL && stream != 3 && !text.empty()) {
      static const char* const names[] = {"SCREEN", "LOG", "LOG_RECORD"};
      if (m.s[stream].level == 5) wOut += std::string("AppHandleMessage(") + names[stream] + "," + std::to_string(type) + "): " + t;
      if (stream == 0) {
        if (type == 1 || type == 16) wOut += t;
        if (type == 2) wErr += "*** " + t;
        if (type == 4) wErr += "*** Warning: " + t;
        if (type == 8) wErr += t;
      }
      if (stream == 1 && withLog) {
        if (type == 1 || type == 8 || type == 16) wLog += t;
        if (type == 2) wLog += "*** " + t;
        if (type == 4) wLog += "*** Warning: " + t;
      }
    }
    RC_ASSERT(out == wOut);
    RC_ASSERT(err == wErr);
    RC_ASSERT(logText == wLog);
    CheckTool(m, sys.tool);
  }
  void show(std::ostream& os) const override {
    os << "AppHandleMessage(type " << type << ", stream " << stream << ", log " << withLog << ", " << text.size() << " bytes)";
  }
};

}  // namespace

RC_GTEST_PROP(MessageToolProps, SettingsFollowTheModelAndReportsReachTheirStreams, ()) {
  Sys sys;
  rc::state::check(ToolModel{}, sys,
                   rc::state::gen::execOneOfWithArgs<SetFilter, ActivateType, SetLevel, ActivateScope, Report, CReport,
                                                     Trace, Stubs, Progress, Log, DefaultController>());
}

// ---------------------------------------------------------------------------------------------
// Messages: every constructor gives its fields, texts are set as their forms say, copies equal
// the original, and a refusal for want of memory (1001) leaves the text as it was.

namespace {
bool SameMessage(const C_KveloMessage& a, const C_KveloMessage& b) {
  if (a.getKey() != b.getKey() || a.getMessageCode() != b.getMessageCode() || a.getMessageType() != b.getMessageType() ||
      a.getVerbosityLevel() != b.getVerbosityLevel() || a.getDebugScope() != b.getDebugScope() ||
      a.getMessageStream() != b.getMessageStream() || a.getMessage() != b.getMessage() ||
      a.getMessageNature() != b.getMessageNature() ||
      std::memcmp(&a.getErrorLocation(), &b.getErrorLocation(), sizeof(Kvelo::C_Entry)) != 0 ||
      a.getCallStack().NbEntries() != b.getCallStack().NbEntries())
    return false;
  for (int i = 0; i < a.getCallStack().NbEntries(); ++i)
    if (std::memcmp(&a.getCallStack().GetEntry(i), &b.getCallStack().GetEntry(i), sizeof(Kvelo::C_Entry)) != 0)
      return false;
  return true;
}

std::string Literal(const std::string& fmt) {
  std::string out;
  const std::string f = fmt.c_str();
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] == '%' && i + 1 < f.size() && f[i + 1] == '%') ++i;
    out += f[i];
  }
  return out.substr(0, 16399);
}
}  // namespace

RC_GTEST_PROP(MessageProps, ConstructorsTextsAndCopies, ()) {
  Sys sys;  // reports go to the recorder
  Recorder other;
  C_MessageTool::Instance("prop-msg-key")->setMessageStreamCtrl(other, STREAM_ALL);
  struct Back {
    ~Back() { C_MessageTool::Instance("prop-msg-key")->ResetMessageStreamCtrl(STREAM_ALL); }
  } back;
  const int how = *rc::gen::inRange(0, 13);
  const auto T = static_cast<E_MessageType_enum>(*AnyType());
  const auto L = static_cast<E_VerbosityLevel_enum>(*AnyLevel());
  const auto S = static_cast<E_DebugScope_enum>(*AnyScope());
  const auto R = static_cast<E_MessageStream_enum>(*AnyStream());
  const int code = *rc::gen::element(0, 3, 104);
  const std::string key = *rc::gen::element<std::string>("DefaultMessageTool", "prop-msg-key");
  const std::string text = *AnyText();
  const std::string failText = "MessageDatabase failed to load id " + std::to_string(code);
  // The expected fields: key, code, type, level, scope, stream, text.
  std::string eKey = "DefaultMessageTool", eText;
  int eCode = 0, eLevel = 0, eScope = 0, eStream = 3;
  const char* F = "fn";
  const char* Fi = "/p/q/src/x.cpp";
  std::unique_ptr<C_KveloMessage> m;
  switch (how) {
    case 0: m.reset(new C_KveloMessage(F, Fi, 5, T, code)); eCode = code; eText = failText; break;
    case 1: m.reset(new C_KveloMessage(F, Fi, 5, key, T, code)); eKey = key; eCode = code; eText = failText; break;
    case 2: m.reset(new C_KveloMessage(F, Fi, 5, T, "%s", text.c_str())); eText = text.c_str(); break;
    case 3: m.reset(new C_KveloMessage(F, Fi, 5, key, T, "%s", text.c_str())); eKey = key; eText = text.c_str(); break;
    case 4: m.reset(new C_KveloMessage(F, Fi, 5, T, text)); eText = text; break;
    case 5: m.reset(new C_KveloMessage(F, Fi, 5, key, T, text)); eKey = key; eText = text; break;
    case 6: m.reset(new C_KveloMessage(F, Fi, 5, T, L, S, R)); eLevel = L; eScope = S; eStream = R; break;
    case 7: m.reset(new C_KveloMessage(F, Fi, 5, code, T, L, S, R)); eCode = code; eLevel = L; eScope = S; eStream = R; break;
    case 8: m.reset(new C_KveloMessage(F, Fi, 5, key, code, T, L, S, R)); eKey = key; eCode = code; eLevel = L;
            eScope = S; eStream = R; break;
    case 9: m.reset(new C_KveloMessage(F, Fi, 5, text, T, L, S, R)); eText = text; eLevel = L; eScope = S; eStream = R; break;
    case 10: m.reset(new C_KveloMessage(F, Fi, 5, key, text, T, L, S, R)); eKey = key; eText = text; eLevel = L;
             eScope = S; eStream = R; break;
    case 11: m.reset(new C_KveloMessage(F, Fi, 5, text.c_str(), T, L, S, R)); eText = text.c_str(); eLevel = L;
             eScope = S; eStream = R; break;
    default: {
      C_KveloMessage other(F, Fi, 5, key, text, T, L, S, R);
      m.reset(new C_KveloMessage("ignored", "ignored", 9, other));
      eKey = key; eText = text; eLevel = L; eScope = S; eStream = R;
    }
  }
  RC_ASSERT(m->getKey() == eKey);
  RC_ASSERT(m->getMessageCode() == eCode);
  RC_ASSERT(m->getMessageType() == T);
  RC_ASSERT(static_cast<int>(m->getVerbosityLevel()) == eLevel);
  RC_ASSERT(static_cast<int>(m->getDebugScope()) == eScope);
  RC_ASSERT(static_cast<int>(m->getMessageStream()) == eStream);
  RC_ASSERT(m->getMessage() == eText);
  RC_ASSERT(m->getMessageNature() == C_KveloMessage::NATURE_MESSAGE);
  RC_ASSERT(m->getCallStack().NbEntries() == 0);
  RC_ASSERT(std::string(m->getErrorLocation().function) == "fn");
  RC_ASSERT(std::string(m->getErrorLocation().file) == "src/x");
  RC_ASSERT(m->getErrorLocation().line == 5);

  // Copies and assignment equal the original; self-assignment changes nothing.
  C_KveloMessage copy(*m);
  RC_ASSERT(SameMessage(copy, *m));
  C_KveloMessage assigned("a", "src/a", 1, TYPE_TRACE, LEVEL_4, SCOPE_DESIGN, STREAM_LOG);
  assigned = *m;
  RC_ASSERT(SameMessage(assigned, *m));
  assigned = assigned;
  RC_ASSERT(SameMessage(assigned, *m));

  // Text forms.
  const std::string more = *AnyText();
  copy.Set(text);
  RC_ASSERT(copy.getMessage() == text);
  copy.Append(more);
  RC_ASSERT(copy.getMessage() == text + more);
  copy = text.c_str();  // a format without arguments
  RC_ASSERT(copy.getMessage() == Literal(text));
  copy += more.c_str();
  RC_ASSERT(copy.getMessage() == Literal(text) + Literal(more));
  copy = text;
  RC_ASSERT(copy.getMessage() == text);
  copy += more;
  RC_ASSERT(copy.getMessage() == text + more);
  copy.Set("%s:%d", text.c_str(), code);
  RC_ASSERT(copy.getMessage() == std::string(text.c_str()) + ":" + std::to_string(code));
  copy.Append("%d", code);
  RC_ASSERT(copy.getMessage() == std::string(text.c_str()) + ":" + std::to_string(code) + std::to_string(code));
  copy.Set(text.c_str(), static_cast<va_list*>(nullptr));
  RC_ASSERT(copy.getMessage() == std::string(text.c_str()).substr(0, 16399));
  copy.Append(text.c_str(), static_cast<va_list*>(nullptr));
  copy.Set(code, 1);
  RC_ASSERT(copy.getMessageCode() == code && copy.getMessage() == failText);
  copy.Append(code + 1, 2);
  RC_ASSERT(copy.getMessageCode() == code + 1);
  RC_ASSERT(copy.getMessage() == failText + "MessageDatabase failed to load id " + std::to_string(code + 1));
  copy = static_cast<C_KveloMessage::E_MessageCode_t>(code);
  RC_ASSERT(copy.getMessage() == failText);
  // A long formatted text is cut to 16,399 characters.
  const std::string big(static_cast<std::size_t>(*rc::gen::inRange(16390, 16410)), 'b');
  copy.Set("%s", big.c_str());
  RC_ASSERT(copy.getMessage() == big.substr(0, 16399));

  // Setters and getters.
  copy.setKey(key);
  copy.setMessageCode(code + 2);
  copy.setMessageType(T);
  copy.setVerbosityLevel(L);
  copy.setDebugScope(S);
  copy.setMessageStream(R);
  RC_ASSERT(copy.getKey() == key && copy.getMessageCode() == code + 2 && copy.getMessageType() == T &&
            copy.getVerbosityLevel() == L && copy.getDebugScope() == S && copy.getMessageStream() == R);

  // A refused text form (no memory) leaves the message as it was; a copy never throws.
  const C_KveloMessage before(copy);
  const int form = *rc::gen::inRange(0, 6);
  const long failAt = *rc::gen::inRange(0L, 3L);
  int got = 0;
  kvtest::FailNewAfter(failAt);
  try {
    switch (form) {
      case 0: copy.Set(big); break;
      case 1: copy.Append(big); break;
      case 2: copy.Set("%s", big.c_str()); break;
      case 3: copy = big.c_str(); break;
      case 4: copy += big; break;
      default: copy.setKey(big); break;
    }
  } catch (const C_KveloException& x) {
    got = x.getExceptionCode();
  } catch (...) {
    got = -2;
  }
  kvtest::Heal();
  RC_ASSERT((got == 0 || got == 1001));
  if (got != 0) RC_ASSERT(SameMessage(copy, before));
  kvtest::FailNewAfter(failAt);
  C_KveloMessage poor(before);
  poor = before;
  kvtest::Heal();
  RC_ASSERT(poor.getKey() == before.getKey() && poor.getMessageCode() == before.getMessageCode());

  // Printing: the recorder gets what the tool would show; IsActive says whether it shows.
  sys.rec.Clear();
  ToolModel fresh;
  const bool active = m->IsActive();
  RC_ASSERT(active == (m->getKey() == "DefaultMessageTool" ? Active(fresh, T, eLevel, eScope, eStream)
                                                            : m->IsActive()));
  const int r = m->Print();
  if (m->getKey() == "DefaultMessageTool" && !active) RC_ASSERT(sys.rec.got.empty());
  RC_ASSERT((r == 0 || r == -1));
  m->Print("%s", text.c_str());
  m->Print(text);
  m->Print(code, 1);
}

// ---------------------------------------------------------------------------------------------
// Message files: what a file holds is what the tool gives back; any bytes load or refuse
// without reading out of bounds; placeholders are filled as a small reference fills them.

namespace {

struct Msg {
  int lang, code;
  std::string text;  // no byte 0xFF; not starting with '|' or '#'
};

rc::Gen<std::string> FileText() {
  return rc::gen::map(rc::gen::container<std::string>(rc::gen::arbitrary<char>()), [](std::string s) {
    std::string out;
    for (char c : s)
      if (static_cast<unsigned char>(c) != 0xFF) out += c;
    if (!out.empty() && (out[0] == '|' || out[0] == '#')) out.insert(out.begin(), 'x');
    return out;
  });
}

// A placeholder text: pieces of plain text and {N,format}, numbers mostly 0..k-1 each at least
// once (sometimes one left out, so reading stops there), formats of one argument family or
// unknown (no argument taken), and now and then a piece long enough to reach the 5,120 limit.
struct Template {
  std::string text;
  int family;  // 0 ints, 1 doubles, 2 strings
  std::vector<int> numbers;        // of each placeholder, in order of appearance
  std::vector<std::string> formats;  // likewise
};

rc::Gen<Template> AnyTemplate() {
  return rc::gen::exec([] {
    Template t;
    t.family = *rc::gen::inRange(0, 3);
    const int k = *rc::gen::inRange(1, 5);
    const int count = *rc::gen::inRange(k, k + 3);
    const int gap = *rc::gen::weightedOneOf<int>({{4, rc::gen::just(-1)}, {1, rc::gen::inRange(0, 5)}});
    std::vector<std::string> formatOf(static_cast<std::size_t>(k));
    for (int i = 0; i < k; ++i) {
      const bool unknown = *rc::gen::weightedOneOf<bool>({{5, rc::gen::just(false)}, {1, rc::gen::just(true)}});
      if (unknown)
        formatOf[i] = *rc::gen::element<std::string>("x", "g", "g3", "r", "rx", "q1");
      else if (t.family == 0)
        formatOf[i] = *rc::gen::element<std::string>("d", "u", "dx");
      else if (t.family == 1)
        formatOf[i] = *rc::gen::element<std::string>("e", "f", "g1", "g2", "re", "rf");
      else
        formatOf[i] = *rc::gen::element<std::string>("s", "str");
    }
    std::vector<int> order;
    for (int i = 0; i < k; ++i)
      if (i != gap) order.push_back(i);
    for (int i = k; i < count; ++i) {
      const int n = *rc::gen::inRange(0, k);
      if (n != gap) order.push_back(n);
    }
    // Shuffled: a number may appear anywhere in the text.
    for (std::size_t i = order.size(); i > 1; --i)
      std::swap(order[i - 1], order[static_cast<std::size_t>(*rc::gen::inRange<int>(0, static_cast<int>(i)))]);
    std::vector<bool> seen(static_cast<std::size_t>(k), false);
    for (int n : order) {
      const bool longPiece = *rc::gen::weightedOneOf<bool>({{8, rc::gen::just(false)}, {1, rc::gen::just(true)}});
      t.text += longPiece ? std::string(static_cast<std::size_t>(*rc::gen::inRange(1000, 5200)), 'p')
                          : *rc::gen::container<std::string>(rc::gen::inRange<char>('a', 'z' + 1));
      // The first placeholder of a number gives its format; later ones may carry another.
      const std::string format =
          seen[n] ? *rc::gen::element<std::string>(std::string(formatOf[n]), std::string("zz")) : formatOf[n];
      seen[n] = true;
      t.text += "{" + std::to_string(n) + "," + format + "}";
      t.numbers.push_back(n);
      t.formats.push_back(format);
    }
    t.text += *rc::gen::element<std::string>("", "tail", "{", "{x}", "{1,}", "{,d}");
    return t;
  });
}

std::string FormatRef(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string FormatRef(const char* fmt, ...) {
  std::vector<char> buf(8192);
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf.data(), buf.size(), fmt, ap);
  va_end(ap);
  return buf.data();
}

// The reference filler: numbers 0, 1, 2, ... in turn until one is missing; each known format takes
// the next argument, an unknown one none and stays as written; every placeholder of a number
// shows its value; the result is cut to 5,120 characters.
std::string FillRef(const Template& t, const int* iv, const double* dv, const char* const* sv) {
  std::map<int, std::string> formatOf;
  for (std::size_t i = 0; i < t.numbers.size(); ++i) formatOf.emplace(t.numbers[i], t.formats[i]);
  std::map<int, std::string> value;
  int arg = 0;
  for (int n = 0; formatOf.count(n); ++n) {
    const std::string& s = formatOf[n];
    const char c = s[0], c2 = s.size() > 1 ? s[1] : '\0';
    if (c == 'd') value[n] = FormatRef("%d", iv[arg++]);
    else if (c == 'u') value[n] = FormatRef("%u", static_cast<unsigned>(iv[arg++]));
    else if (c == 'e') value[n] = FormatRef("%e", dv[arg++]);
    else if (c == 'f') value[n] = FormatRef("%g", dv[arg++]);
    else if (c == 'g' && c2 == '1') value[n] = FormatRef("%10g", dv[arg++]);
    else if (c == 'g' && c2 == '2') value[n] = FormatRef("%15g", dv[arg++]);
    else if (c == 'r' && (c2 == 'e' || c2 == 'f')) value[n] = FormatRef("%lf", dv[arg++]);
    else if (c == 's') {
      const char* a = sv[arg++];
      value[n] = a == nullptr ? std::string() : std::strlen(a) >= 5120 ? std::string("*arg too long*") : std::string(a);
    }
  }
  std::string out;
  std::size_t pos = 0;
  for (std::size_t i = 0; i < t.numbers.size(); ++i) {
    const std::string ph = "{" + std::to_string(t.numbers[i]) + "," + t.formats[i] + "}";
    const std::size_t at = t.text.find(ph, pos);
    auto v = value.find(t.numbers[i]);
    out += t.text.substr(pos, at - pos) + (v != value.end() ? v->second : ph);
    pos = at + ph.size();
  }
  out += t.text.substr(pos);
  return out.substr(0, 5120);
}

C_MessageTool* FileTool() { return C_MessageTool::Instance("prop-rt-msg-files"); }

}  // namespace

RC_GTEST_PROP(MessageFileProps, WhatAFileHoldsIsWhatTheToolGivesBack, ()) {
  Sys quiet;  // the set-up reports go to the recorder
  const int lang = *rc::gen::inRange(0, 4);
  std::vector<Msg> msgs = *rc::gen::container<std::vector<Msg>>(
      *rc::gen::inRange(0, 8), rc::gen::construct<Msg>(rc::gen::element(lang, lang, lang, lang + 1),
                                                      rc::gen::inRange(0, 40), FileText()));
  const Template tpl = *AnyTemplate();
  const int tplCode = 1000;
  kvtest::MsbWriter w;
  for (const Msg& m : msgs) {
    if (*rc::gen::arbitrary<bool>()) {
      w.Message(m.lang, m.code, m.text);
    } else {  // separated by headers only, the text in two pieces
      w.Header(m.lang, m.code);
      const std::size_t cut = m.text.size() / 2;
      if (cut > 0 && m.text[cut] != '|' && m.text[cut] != '#') {
        w.Piece(m.text.substr(0, cut)).Piece(m.text.substr(cut) + "\n");
      } else {
        w.Piece(m.text + "\n");
      }
    }
    if (*rc::gen::arbitrary<bool>()) w.Record("|" + std::to_string(lang) + ",7 class").Piece("skipped\n");
  }
  w.Message(lang, tplCode, tpl.text);
  const std::string path = TempDir() + "/texts.msb";
  RC_ASSERT(w.Save(path));
  C_MessageTool* t = FileTool();
  RC_ASSERT(t->setResourcesFilename(path, static_cast<C_MessageTool::E_CodeLang>(lang)) == 0);
  std::string built;
  t->BuildResourcesFilename(built);
  RC_ASSERT(built == TempDir() + "/ke" + std::to_string(lang) + ".msb");
  RC_ASSERT(t->Initialize() == 0);
  RC_ASSERT(t->isInitialized());
  RC_ASSERT(C_MessageTool::Instance("prop-rt-msg-files") == t);
  RC_ASSERT(C_MessageTool::LastInstance() == t);

  std::map<int, std::string> want;
  for (const Msg& m : msgs)
    if (m.lang == lang) want[m.code] = m.text;
  want[tplCode] = tpl.text;
  for (int code = -1; code <= 41; ++code) {
    std::string out;
    const int r = C_MessageTool::getMessage(code, out, nullptr, "prop-rt-msg-files");
    auto it = want.find(code);
    if (it == want.end()) {
      RC_ASSERT(r == -1);
      RC_ASSERT(out == "MessageDatabase failed to load id " + std::to_string(code));
    } else {
      RC_ASSERT(r == 0);
      RC_ASSERT(out == it->second);
      // The C form: the default tool is not initialized, so the last-used one answers.
      char* c = MSG_get(code);
      RC_ASSERT((c != nullptr));
      RC_ASSERT(std::string(c) == std::string(it->second.c_str()));
      kvelomem_free(c, __FILE__, __LINE__);
    }
  }
  RC_ASSERT((MSG_get(-1) == nullptr));
  RC_ASSERT((MSG_get_default(-5) == nullptr));
  bool threw104 = false;
  try {
    char* c = MSG_get(41);
    kvelomem_free(c, __FILE__, __LINE__);
  } catch (const C_KveloException& x) {
    threw104 = x.getExceptionCode() == 104;
  }
  RC_ASSERT(threw104);

  // Placeholders filled from the arguments.
  const int iv[4] = {*rc::gen::arbitrary<int>(), *rc::gen::arbitrary<int>(), *rc::gen::arbitrary<int>(), 4};
  const double dv[4] = {*kvtest::AnyDouble(), *kvtest::AnyDouble(), *kvtest::AnyDouble(), 4.5};
  const std::string s0 = *rc::gen::container<std::string>(rc::gen::inRange<char>(' ', '~' + 1));
  const std::string s1(static_cast<std::size_t>(*rc::gen::element(0, 5119, 5120, 6000)), 'A');
  const char* sv[4] = {s0.c_str(), s1.c_str(), *rc::gen::arbitrary<bool>() ? nullptr : "", "four"};
  char* got = nullptr;
  if (tpl.family == 0) got = MSG_get(tplCode, iv[0], iv[1], iv[2], iv[3]);
  if (tpl.family == 1) got = MSG_get_default(tplCode, dv[0], dv[1], dv[2], dv[3]);
  if (tpl.family == 2) got = MSG_get(tplCode, sv[0], sv[1], sv[2], sv[3]);
  RC_ASSERT((got != nullptr));
  const std::string filled = got;
  kvelomem_free(got, __FILE__, __LINE__);
  RC_ASSERT(filled == FillRef(tpl, iv, dv, sv));

  // A reload that fails for want of memory keeps the texts the tool had.
  const long failAt = *rc::gen::inRange(0L, 40L);
  kvtest::FailNewAfter(failAt);
  int r = 0;
  bool threw = false;
  try {
    r = t->Initialize();
  } catch (...) {
    threw = true;
  }
  kvtest::Heal();
  RC_ASSERT(!threw);
  RC_ASSERT((r == 0 || r == -1));
  RC_ASSERT(t->isInitialized());
  for (const auto& kv : want) {
    std::string out;
    RC_ASSERT(C_MessageTool::getMessage(kv.first, out, nullptr, "prop-rt-msg-files") == 0);
    RC_ASSERT(out == kv.second);
  }
}

// Any bytes in a message file: the load succeeds or refuses, and whatever it installed gives
// texts back without reading out of bounds.
RC_GTEST_PROP(MessageFileProps, AnyBytesLoadOrRefuseCleanly, ()) {
  Sys quiet;
  const std::vector<unsigned char> bytes = *rc::gen::weightedOneOf<std::vector<unsigned char>>({
      {2, rc::gen::arbitrary<std::vector<unsigned char>>()},
      {3, rc::gen::exec([] {
         kvtest::MsbWriter w;
         const int n = *rc::gen::inRange(0, 6);
         for (int i = 0; i < n; ++i) {
           switch (*rc::gen::inRange(0, 6)) {
             case 0: w.Header(*rc::gen::inRange(-1, 2), *rc::gen::inRange(-3, 5)); break;
             case 1: w.Piece(*rc::gen::container<std::string>(rc::gen::arbitrary<char>())); break;
             case 2: w.End(); break;
             case 3: w.Length(*rc::gen::element(-1, 0, 1, 1000, INT_MAX)); break;
             case 4: w.Record("|" + *rc::gen::container<std::string>(rc::gen::arbitrary<char>())); break;
             default: w.Raw(*rc::gen::arbitrary<std::vector<unsigned char>>()); break;
           }
         }
         return w.Bytes();
       })},
  });
  const std::string path = TempDir() + "/any.msb";
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  C_MessageTool* t = C_MessageTool::Instance("prop-rt-msg-any");
  RC_ASSERT(t->setResourcesFilename(path, static_cast<C_MessageTool::E_CodeLang>(0)) == 0);
  const int r = t->Initialize();
  RC_ASSERT((r == 0 || r == -1));
  for (int code = -3; code <= 5; ++code) {
    std::string out;
    const int g = C_MessageTool::getMessage(code, out, nullptr, "prop-rt-msg-any");
    RC_ASSERT((g == 0 || g == -1));
    std::string filled;
    const int g2 = C_MessageTool::getMessage(code, filled, nullptr, "prop-rt-msg-any");
    RC_ASSERT(g2 == g);
    RC_ASSERT(filled == out);
  }
  // A file that does not exist is refused and changes nothing.
  std::string before;
  t->BuildResourcesFilename(before);
  testing::internal::CaptureStderr();
  RC_ASSERT(t->setResourcesFilename(TempDir() + "/missing.msb", static_cast<C_MessageTool::E_CodeLang>(7)) == -1);
  RC_ASSERT(testing::internal::GetCapturedStderr() == "Resource filename " + TempDir() + "/missing.msb does not exist.");
  std::string after;
  t->BuildResourcesFilename(after);
  RC_ASSERT(after == before);
}

// ---------------------------------------------------------------------------------------------
// The registry, set-up helpers and the last-resort display.

namespace {
struct OwnTool : C_MessageTool {
  explicit OwnTool(const std::string& key) : C_MessageTool(key) {}
};
}  // namespace

RC_GTEST_PROP(MessageToolProps, RegistrySetUpAndDisplay, ()) {
  Sys quiet;
  const std::string key = "prop-rt-msg-" + *rc::gen::element<std::string>("a", "b", "temp");
  const bool existed = C_MessageTool::HasInstance(key);
  C_MessageTool* t = C_MessageTool::Instance(key);
  RC_ASSERT((t != nullptr));
  RC_ASSERT(C_MessageTool::HasInstance(key));
  RC_ASSERT(C_MessageTool::Instance(key) == t);
  RC_ASSERT(t->getKey() == key);
  (void)existed;
  // A tool of the caller's own class is not registered; a registered one leaves the registry
  // with its destruction.
  {
    OwnTool own("prop-rt-msg-own");
    RC_ASSERT(own.getKey() == "prop-rt-msg-own");
    RC_ASSERT(!C_MessageTool::HasInstance("prop-rt-msg-own"));
    Kvelo::C_DevNullCtrl none;
    own.setMessageStreamCtrl(none, STREAM_ALL);
    RC_ASSERT(own.Initialize() == 0);  // every stream swallowed: nothing to load
    RC_ASSERT(own.isInitialized());
    Kvelo::C_MessageStream fresh;
    RC_ASSERT(fresh.typeFilter == 15u && fresh.level == LEVEL_PUBLIC && fresh.scopes == std::set<int>{0} &&
              fresh.ctrl == nullptr);
  }
  if (key == "prop-rt-msg-temp") {
    delete t;
    RC_ASSERT(!C_MessageTool::HasInstance(key));
    t = C_MessageTool::Instance("prop-rt-msg-a");
  }

  // Resources directory: "<dir>/ke<lang>.msb"; by variable: its value, or a blank.
  const std::string dir = *rc::gen::element<std::string>("C:/res", "", "d", std::string(2000, 'r'));
  const int lang = *rc::gen::inRange(-2, 9);
  C_MessageTool* s = C_MessageTool::Instance("prop-rt-msg-res");
  s->setResourcesDir(dir, static_cast<C_MessageTool::E_CodeLang>(lang));
  std::string name;
  s->BuildResourcesFilename(name);
  RC_ASSERT(name == (dir + "/ke" + std::to_string(lang) + ".msb").substr(0, 1023));
  const bool set = *rc::gen::arbitrary<bool>();
  if (set)
    setenv("PROP_RT_MSG_DIR", dir.c_str(), 1);
  else
    unsetenv("PROP_RT_MSG_DIR");
  s->setResourcesDirByEnv("PROP_RT_MSG_DIR", static_cast<C_MessageTool::E_CodeLang>(lang));
  s->BuildResourcesFilename(name);
  RC_ASSERT(name == ((set ? dir : std::string(" ")) + "/ke" + std::to_string(lang) + ".msb").substr(0, 1023));

  // Default log names: the path without its extension, whole when its directory exists.
  const std::string base = *rc::gen::element<std::string>("run", "run.dat", "a.b.c");
  const std::string where = *rc::gen::element<std::string>("", TempDir() + "/", "/no/such/dir/");
  const std::string suffix = *rc::gen::element<std::string>(".log", "", "_x.txt");
  std::string stem = base.substr(0, base.rfind('.') == std::string::npos ? base.size() : base.rfind('.'));
  const std::string wantLog = (where == "/no/such/dir/" ? stem : where + stem) + suffix;
  RC_ASSERT(s->GenerateDefaultLogFilename(where + base, suffix) == wantLog);

  // The last-resort display: one line on standard error, cut to 1,023 characters.
  const std::string text = *rc::gen::container<std::string>(rc::gen::inRange<char>(' ', '~' + 1));
  const std::string longText = text + std::string(static_cast<std::size_t>(*rc::gen::inRange(0, 1100)), 'L');
  testing::internal::CaptureStderr();
  C_MessageTool::SafeDisplay("%s", longText.c_str());
  C_MessageTool::SafeDisplay(nullptr);
  const std::string err = testing::internal::GetCapturedStderr();
  RC_ASSERT(err == "Error: " + longText.substr(0, 1023) + "\nError: \n");

  // The listing writer: the message's place, then the stack, cut to the buffer.
  const int depth = *rc::gen::inRange(0, 40);
  std::vector<std::unique_ptr<Kvelo::C_Trace>> scopes;
  for (int i = 0; i < depth; ++i)
    scopes.emplace_back(new Kvelo::C_Trace(std::string(60, static_cast<char>('a' + i % 26)).c_str(), "src/deep", i));
  C_KveloMessage m("where", "src/w", 3, TYPE_ERROR, LEVEL_PUBLIC, SCOPE_NONE, STREAM_ALL);
  char buffer[C_MessageTool::CALLSTACK_BUFFER_SIZE + 16];
  std::memset(buffer, 'S', sizeof buffer);
  RC_ASSERT(t->BuildCallStackString(m, buffer) == 0);
  RC_ASSERT(std::string(buffer) == ListingRef(m));
  for (std::size_t i = std::strlen(buffer) + 1; i < C_MessageTool::CALLSTACK_BUFFER_SIZE; ++i) (void)i;
  RC_ASSERT(std::memcmp(buffer + C_MessageTool::CALLSTACK_BUFFER_SIZE, "SSSSSSSSSSSSSSSS", 16) == 0);
  RC_ASSERT(t->BuildCallStackString(m, nullptr) == -1);
  quiet.rec.Clear();
  RC_ASSERT(C_MessageTool::HandleCallStack(m, LEVEL_PUBLIC) == 0);
  RC_ASSERT(quiet.rec.got.size() == 3u);
  for (const Rec& r : quiet.rec.got) RC_ASSERT((r.text == ListingRef(m) && r.type == TYPE_TRACE));
  scopes.clear();
}
