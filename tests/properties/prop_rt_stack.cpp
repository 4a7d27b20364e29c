// prop_rt_stack.cpp: call stacks, scope traces, exceptions and the communicator slot, driven by
// random command sequences. After every command a stack must equal its model (names cut to
// their fields, sources named the library's way), the calling thread's stack must be as deep as
// before once every scope has closed (also when a scope is left by an exception or runs out of
// memory), an exception must carry its codes, place and the stack open at the throw, and its
// copies must equal it. A refusal (1001 for want of memory) leaves a stack as it was.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "C_CallStack.h"
#include "C_Communicator.h"
#include "C_KveloException.h"
#include "failing_new.h"
#include "msgcapture.h"
#include "prop_support.h"

// clang-format off
KVELO_HOLDS(
    "C_CallStack::C_CallStack", "C_CallStack::Clear", "C_CallStack::Pop", "C_CallStack::Push",
    "C_CallStack::operator=", "C_CallStack::~C_CallStack", "C_Entry::C_Entry", "C_Entry::Assign",
    "C_StackCollection::C_StackCollection", "C_StackCollection::GetCurrentCallStack",
    "C_StackCollection::~C_StackCollection", "C_Trace::C_Trace", "C_Trace::~C_Trace",
    "GlobalCallstackCollection", "KveloThrow",
    "C_KveloException::C_KveloException", "C_KveloException::getErrno",
    "C_KveloException::getExceptionCode", "C_KveloException::getExceptionMessage",
    "C_KveloException::getReasonCode", "C_KveloException::getReasonMessage",
    "C_KveloException::operator=", "C_KveloException::setExceptionCode",
    "C_KveloException::setReason", "C_KveloException::setReasonCode",
    "C_KveloException::setReasonCodeFromErrno", "C_KveloException::~C_KveloException",
    "C_Communicator::Bcast", "C_Communicator::Instance", "C_Communicator::barrier",
    "C_Communicator::check", "C_Communicator::exchange", "C_Communicator::glbMax",
    "C_Communicator::glbMin", "C_Communicator::glbOr", "C_Communicator::glbSum",
    "C_Communicator::recv", "C_Communicator::send", "C_Communicator::setInstance");
// clang-format on

namespace {

using Kvelo::C_CallStack;
using Kvelo::C_Entry;
using Kvelo::C_Trace;

// ---------------------------------------------------------------------------------------------
// Independent references: a name cut to its field, and the library's name of a source.

std::string Cut(const std::string& s, std::size_t field) {
  std::string t = s.substr(0, s.find('\0'));
  return t.substr(0, field - 1);
}

std::string SourceRef(const std::string& given) {
  const std::string file = given.substr(0, given.find('\0'));
  const std::size_t slash = file.find_last_of("/\\");
  const std::string last = slash == std::string::npos ? file : file.substr(slash + 1);
  const std::size_t dot = last.rfind('.');
  std::string out = file;
  if (dot != std::string::npos && dot != 0) {
    std::string ext = last.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "c" || ext == "cc" || ext == "cpp" || ext == "cxx") out = "src/" + last.substr(0, dot);
    if (ext == "h" || ext == "hh" || ext == "hpp" || ext == "hxx") out = "include/" + last.substr(0, dot);
  }
  return Cut(out, C_Entry::FILE_SIZE);
}

struct Ent {
  std::string function, file;
  int line;
  bool operator==(const Ent& o) const { return function == o.function && file == o.file && line == o.line; }
};

Ent Expected(const std::string& function, const std::string& file, int line) {
  return Ent{Cut(function, C_Entry::FUNCTION_SIZE), SourceRef(file), line};
}

// Whether a fixed-width field is terminated inside its width.
bool Terminated(const char* field, std::size_t size) { return std::memchr(field, '\0', size) != nullptr; }

std::vector<Ent> EntriesOf(const C_CallStack& s) {
  std::vector<Ent> out;
  for (int i = 0; i < s.NbEntries(); ++i) {
    const C_Entry& e = s.GetEntry(i);
    RC_ASSERT(Terminated(e.function, sizeof e.function));
    RC_ASSERT(Terminated(e.file, sizeof e.file));
    out.push_back(Ent{e.function, e.file, e.line});
  }
  return out;
}

// Names from the whole byte range (with embedded zeros and every length around the fields),
// and the usual forms.
rc::Gen<std::string> AnyName() {
  return rc::gen::weightedOneOf<std::string>({
      {3, rc::gen::element<std::string>("C_MatMGe<T>::Factor", "src/C_Vec", "include/C_Mat", "",
                                         "/build/x/src/runtime/C_WorkSpace.cpp", "a\\b\\C.HPP",
                                         ".cpp", "dir.cpp/", "x.c", "y.txt")},
      {2, rc::gen::map(rc::gen::inRange(55, 140), [](int n) { return std::string(static_cast<std::size_t>(n), 'n'); })},
      {3, rc::gen::container<std::string>(rc::gen::arbitrary<char>())},
  });
}

// Runs f with operator new failing after failAt allocations (never for -1); what left it: 0
// nothing, the code of a C_KveloException, -2 std::bad_alloc, -3 anything else. Memory is back
// when it returns.
template <class F>
int UnderFailure(long failAt, F f) {
  int got = 0;
  if (failAt >= 0) kvtest::FailNewAfter(failAt);
  try {
    f();
  } catch (const C_KveloException& x) {
    got = x.getExceptionCode();
  } catch (const std::bad_alloc&) {
    got = -2;
  } catch (...) {
    got = -3;
  }
  kvtest::Heal();
  return got;
}

C_CallStack& ThreadStack() { return Kvelo::GlobalCallstackCollection().GetCurrentCallStack(); }

// ---------------------------------------------------------------------------------------------
// A stack of the test's own and the thread's stack. The model lives in the system: a want of
// memory decides at run time whether a push happens.

struct Stacks {
  C_CallStack own;
  std::vector<Ent> model;
};
struct NoModel {};
using Cmd = rc::state::Command<NoModel, Stacks>;

void CheckOwn(const Stacks& s) { RC_ASSERT(EntriesOf(s.own) == s.model); }

struct Push : Cmd {
  std::string function = *AnyName();
  std::string file = *AnyName();
  int line = *rc::gen::arbitrary<int>();
  long failAt = *rc::gen::weightedOneOf<long>({{4, rc::gen::just(-1L)}, {1, rc::gen::inRange(0L, 3L)}});
  void run(const NoModel&, Stacks& s) const override {
    const C_Entry e(function.c_str(), file.c_str(), line);
    RC_ASSERT(std::string(e.function) == Cut(function, C_Entry::FUNCTION_SIZE));
    RC_ASSERT(std::string(e.file) == SourceRef(file));
    const int got = UnderFailure(failAt, [&] { s.own.Push(e); });
    RC_ASSERT((got == 0 || got == 1001));
    const bool refused = got != 0;
    if (!refused) s.model.push_back(Expected(function, file, line));
    CheckOwn(s);
  }
  void show(std::ostream& os) const override {
    os << "Push(" << function.size() << "-byte name, " << file.size() << "-byte file, " << line
       << (failAt >= 0 ? ", new fails after " + std::to_string(failAt) : std::string()) << ")";
  }
};

struct Pop : Cmd {
  void run(const NoModel&, Stacks& s) const override {
    s.own.Pop();
    if (!s.model.empty()) s.model.pop_back();
    CheckOwn(s);
    RC_ASSERT((s.own.Top() == nullptr) == s.model.empty());
  }
  void show(std::ostream& os) const override { os << "Pop"; }
};

struct Clear : Cmd {
  void run(const NoModel&, Stacks& s) const override {
    s.own.Clear();
    CheckOwn(s);
  }
  void show(std::ostream& os) const override { os << "Clear"; }
};

// Copies equal the original; a copy that runs out of memory refuses with 1001 and leaves its
// target as it was; moves leave their source empty.
struct Copies : Cmd {
  long failAt = *rc::gen::weightedOneOf<long>({{3, rc::gen::just(-1L)}, {1, rc::gen::inRange(0L, 2L)}});
  void run(const NoModel&, Stacks& s) const override {
    C_CallStack copy(s.own);
    RC_ASSERT(EntriesOf(copy) == s.model);
    C_CallStack target;
    target.Push(C_Entry("target", "src/t", 1));
    const int got = UnderFailure(failAt, [&] { target = s.own; });
    RC_ASSERT((got == 0 || got == 1001));
    const bool refused = got != 0;
    if (refused)
      RC_ASSERT((EntriesOf(target) == std::vector<Ent>{Ent{"target", "src/t", 1}}));
    else
      RC_ASSERT(EntriesOf(target) == s.model);
    target = target;  // self-assignment changes nothing
    C_CallStack moved(std::move(copy));
    RC_ASSERT(EntriesOf(moved) == s.model);
    RC_ASSERT(copy.NbEntries() == 0);
    C_CallStack movedTo;
    movedTo = std::move(moved);
    RC_ASSERT(EntriesOf(movedTo) == s.model);
    RC_ASSERT(moved.NbEntries() == 0);
    CheckOwn(s);
  }
  void show(std::ostream& os) const override { os << "Copies(fail after " << failAt << ")"; }
};

// ---------------------------------------------------------------------------------------------
// Scopes on the thread's stack: nested C_Trace scopes, optionally with callbacks, optionally
// left by an exception thrown at the innermost, optionally short of memory.

// The callbacks record into fixed room: they may run while operator new fails.
char g_enteredNames[8][256], g_exitedNames[8][256];
int g_nEntered = 0, g_nExited = 0;
bool g_failing = false, g_refused = false;
void Record(char (*into)[256], int& n, const char* name) {
  if (n < 8) std::snprintf(into[n], 256, "%s", name);
  ++n;
}
void OnEnter(char* name) { Record(g_enteredNames, g_nEntered, name); }
void OnExit(char* name) { Record(g_exitedNames, g_nExited, name); }

struct ScopePlan {
  std::vector<std::string> names;
  bool callbacks;
  bool throwInside;
  int code, reason;
};

// Opens the scopes from level i down; at the innermost, records the thread's entries and throws
// when asked.
void OpenScopes(const ScopePlan& p, std::size_t i, std::vector<Ent>& seenInside, int& throwLine) {
  if (i == p.names.size()) {
    // The record is the test's own: made with memory, then the want of memory goes on.
    g_refused = g_refused || kvtest::NewWasRefused();
    kvtest::Heal();
    seenInside = EntriesOf(ThreadStack());
    if (g_failing) kvtest::FailNewAfter(0);
    if (p.throwInside) {
      throwLine = __LINE__ + 1;
      KveloThrow(p.code, p.reason, __FILE__, throwLine);
    }
    return;
  }
  if (p.callbacks) {
    C_Trace t(p.names[i].c_str(), __FILE__, 100 + static_cast<int>(i), OnEnter, OnExit);
    OpenScopes(p, i + 1, seenInside, throwLine);
  } else {
    C_Trace t(p.names[i].c_str(), __FILE__, 100 + static_cast<int>(i));
    OpenScopes(p, i + 1, seenInside, throwLine);
  }
}

struct Scopes : Cmd {
  ScopePlan plan{*rc::gen::container<std::vector<std::string>>(*rc::gen::inRange(0, 6), AnyName()),
                 *rc::gen::arbitrary<bool>(), *rc::gen::arbitrary<bool>(), *rc::gen::inRange(-5, 4000),
                 *rc::gen::element(0, 1, 18, 100, 2828)};
  int err = *rc::gen::element(0, ENXIO, EBADF, ENOMEM, EACCES, EINVAL, ENFILE, EMFILE, EFBIG, ENOSPC, EPERM);
  long failAt = *rc::gen::weightedOneOf<long>({{3, rc::gen::just(-1L)}, {1, rc::gen::inRange(0L, 4L)}});

  void run(const NoModel&, Stacks& s) const override {
    const std::vector<Ent> before = EntriesOf(ThreadStack());
    g_nEntered = g_nExited = 0;
    std::vector<Ent> inside;
    int throwLine = 0;
    bool caught = false;
    g_failing = failAt >= 0;
    g_refused = false;
    if (g_failing) kvtest::FailNewAfter(failAt);
    errno = err;
    try {
      OpenScopes(plan, 0, inside, throwLine);
    } catch (const C_KveloException& x) {
      caught = true;
      const bool noMemory = g_refused || kvtest::NewWasRefused();
      kvtest::Heal();
      RC_ASSERT(plan.throwInside);
      RC_ASSERT(x.getExceptionCode() == plan.code);
      RC_ASSERT(x.getMessageCode() == plan.code);
      RC_ASSERT(x.getMessageType() == Kvelo::MessageToolEnums::TYPE_ERROR);
      RC_ASSERT(x.getMessageNature() == Kvelo::C_KveloMessage::NATURE_EXCEPTION);
      RC_ASSERT(x.getKey() == "DefaultMessageTool");
      RC_ASSERT(std::string(x.getErrorLocation().function) == "Throwing");
      RC_ASSERT(std::string(x.getErrorLocation().file) == "src/prop_rt_stack");
      RC_ASSERT(x.getErrorLocation().line == throwLine);
      if (plan.reason == 100) {
        RC_ASSERT(x.getErrno() == err);
        RC_ASSERT(x.getReasonCode() == ReasonOf(err));
      } else {
        RC_ASSERT(x.getErrno() == 0);
        RC_ASSERT(x.getReasonCode() == plan.reason);
      }
      // The snapshot is the stack open at the throw; only a want of memory may leave it empty.
      const std::vector<Ent> snap = EntriesOf(x.getCallStack());
      RC_ASSERT((snap == inside || (noMemory && snap.empty())));
      const C_KveloException copy(x);
      RC_ASSERT(SameException(copy, x));
      C_KveloException assigned("other", "src/o", 9, 1, 2, "prop-other-key");
      assigned = x;
      RC_ASSERT(SameException(assigned, x));
    }
    kvtest::Heal();
    RC_ASSERT(caught == plan.throwInside);
    RC_ASSERT(EntriesOf(ThreadStack()) == before);
    // Every scope that was entered was left, innermost first, under its cut name.
    RC_ASSERT(g_nEntered == g_nExited);
    if (failAt < 0) RC_ASSERT(g_nEntered == (plan.callbacks ? static_cast<int>(plan.names.size()) : 0));
    for (int i = 0; failAt < 0 && i < g_nEntered; ++i) {
      RC_ASSERT(std::string(g_enteredNames[i]) == plan.names[i].substr(0, plan.names[i].find('\0')).substr(0, 255));
      RC_ASSERT(std::string(g_exitedNames[g_nExited - 1 - i]) == Cut(plan.names[i], C_Entry::FUNCTION_SIZE));
    }
    if (failAt < 0) {
      // With memory, every scope is on the stack inside.
      std::vector<Ent> want = before;
      for (std::size_t i = 0; i < plan.names.size(); ++i)
        want.push_back(Expected(plan.names[i], __FILE__, 100 + static_cast<int>(i)));
      RC_ASSERT(inside == want);
    }
    CheckOwn(s);
  }

  static int ReasonOf(int e) {
    switch (e) {
      case ENXIO: return 17;
      case EBADF: return 16;
      case ENOMEM: return 1;
      case EACCES: return 2828;
      case EINVAL: return 18;
      case ENFILE: return 8;
      case EMFILE: return 7;
      case EFBIG: return 9;
      case ENOSPC: return 5;
      default: return 31;
    }
  }
  static bool SameException(const C_KveloException& a, const C_KveloException& b) {
    return a.getExceptionCode() == b.getExceptionCode() && a.getReasonCode() == b.getReasonCode() &&
           a.getErrno() == b.getErrno() && a.getExceptionMessage() == b.getExceptionMessage() &&
           a.getReasonMessage() == b.getReasonMessage() && a.getKey() == b.getKey() &&
           a.getMessageCode() == b.getMessageCode() && a.getMessageType() == b.getMessageType() &&
           a.getVerbosityLevel() == b.getVerbosityLevel() && a.getDebugScope() == b.getDebugScope() &&
           a.getMessageStream() == b.getMessageStream() && a.getMessage() == b.getMessage() &&
           a.getMessageNature() == b.getMessageNature() &&
           EntriesOf(a.getCallStack()) == EntriesOf(b.getCallStack()) &&
           std::memcmp(&a.getErrorLocation(), &b.getErrorLocation(), sizeof(C_Entry)) == 0;
  }
  void show(std::ostream& os) const override {
    os << "Scopes(" << plan.names.size() << " deep, callbacks " << plan.callbacks << ", throw "
       << plan.throwInside << " code " << plan.code << " reason " << plan.reason << ", errno " << err
       << ", new fails after " << failAt << ")";
  }
};

// A collection of the caller's own: a stack per thread of its own, distinct from the global
// one, and gone with it; the thread's global stack is untouched.
struct OwnCollection : Cmd {
  int pushes = *rc::gen::inRange(0, 4);
  bool globalFirst = *rc::gen::arbitrary<bool>();
  void run(const NoModel&, Stacks& s) const override {
    if (globalFirst) ThreadStack();
    const std::vector<Ent> before = EntriesOf(ThreadStack());
    {
      Kvelo::C_StackCollection mine;
      RC_ASSERT(mine.IsValid());
      C_CallStack& a = mine.GetCurrentCallStack();
      RC_ASSERT(&a == &mine.GetCurrentCallStack());
      RC_ASSERT(&a != &ThreadStack());
      for (int i = 0; i < pushes; ++i) a.Push(C_Entry("mine", "src/mine", i));
      RC_ASSERT(a.NbEntries() == pushes);
      RC_ASSERT(EntriesOf(ThreadStack()) == before);
    }
    RC_ASSERT(EntriesOf(ThreadStack()) == before);
    RC_ASSERT(&Kvelo::GlobalCallstackCollection() == &Kvelo::GlobalCallstackCollection());
    RC_ASSERT(Kvelo::GlobalCallstackCollection().IsValid());
    { C_Trace t("after own collection", "src/x", 1); RC_ASSERT(ThreadStack().NbEntries() == static_cast<int>(before.size()) + 1); }
    RC_ASSERT(EntriesOf(ThreadStack()) == before);
    CheckOwn(s);
  }
  void show(std::ostream& os) const override { os << "OwnCollection(" << pushes << " pushes, global first " << globalFirst << ")"; }
};

}  // namespace

RC_GTEST_PROP(StackProps, StacksFollowTheirModelAndScopesBalance, ()) {
  kvtest::MsgCapture quiet;
  Stacks s;
  rc::state::check(NoModel{}, s, rc::state::gen::execOneOfWithArgs<Push, Pop, Clear, Copies, Scopes, OwnCollection>());
}

// ---------------------------------------------------------------------------------------------
// Exceptions built directly: every field as given, texts as set, copies equal, and building,
// copying and assigning never throw, also short of memory.

RC_GTEST_PROP(ExceptionProps, FieldsTextsAndCopies, ()) {
  kvtest::MsgCapture quiet;
  const std::string function = *AnyName();
  const std::string file = *AnyName();
  const int line = *rc::gen::arbitrary<int>();
  const int code = *rc::gen::arbitrary<int>();
  const int reason = *rc::gen::element(0, 1, 31, 100, 104, -7);
  const bool nullKey = *rc::gen::arbitrary<bool>();
  const std::string key = *rc::gen::element<std::string>("DefaultMessageTool", "prop-stack-key", "");
  const int err = *rc::gen::element(0, EACCES, ENOSPC, EPERM);
  const long failAt = *rc::gen::weightedOneOf<long>({{3, rc::gen::just(-1L)}, {1, rc::gen::inRange(0L, 6L)}});

  errno = err;
  if (failAt >= 0) kvtest::FailNewAfter(failAt);
  C_KveloException e(function.c_str(), file.c_str(), line, code, reason, nullKey ? nullptr : key.c_str());
  const C_KveloException copy(e);
  kvtest::Heal();
  RC_ASSERT(e.getExceptionCode() == code);
  RC_ASSERT(e.getMessageCode() == code);
  RC_ASSERT(std::string(e.getErrorLocation().function) == Cut(function, C_Entry::FUNCTION_SIZE));
  RC_ASSERT(std::string(e.getErrorLocation().file) == SourceRef(file));
  RC_ASSERT(e.getErrorLocation().line == line);
  const std::string wantKey = nullKey ? "DefaultMessageTool" : key;
  RC_ASSERT((e.getKey() == wantKey || (failAt >= 0 && e.getKey() == "DefaultMessageTool")));
  RC_ASSERT(e.getReasonCode() == (reason == 100 ? Scopes::ReasonOf(err) : reason));
  RC_ASSERT(e.getErrno() == (reason == 100 ? err : 0));
  RC_ASSERT(e.getMessage().empty());
  RC_ASSERT(copy.getExceptionCode() == code && copy.getReasonCode() == e.getReasonCode());
  RC_ASSERT(std::memcmp(&copy.getErrorLocation(), &e.getErrorLocation(), sizeof(C_Entry)) == 0);
  if (failAt < 0) RC_ASSERT(Scopes::SameException(copy, e));

  // Reason text: a format taken with its arguments, cut to 1,023 characters.
  const std::string word = *rc::gen::container<std::string>(rc::gen::inRange<char>('a', 'z' + 1));
  const int reps = *rc::gen::inRange(0, 300);
  e.setReason("%s-%d", word.c_str(), reps);
  RC_ASSERT(e.getReasonMessage() == (word + "-" + std::to_string(reps)).substr(0, 1023));
  std::string big(static_cast<std::size_t>(reps) * 7, 'w');
  e.setReason("%s", big.c_str());
  RC_ASSERT(e.getReasonMessage() == big.substr(0, 1023));
  // A refused reason text (no memory) leaves the text as it was.
  const std::string keep = e.getReasonMessage();
  const int got = UnderFailure(0, [&] { e.setReason("%s!", "fresh"); });
  RC_ASSERT((got == 0 || got == 1001));
  const bool refused = got != 0;
  RC_ASSERT(e.getReasonMessage() == (refused ? keep : std::string("fresh!")));

  // Codes: (exception, reason) sets both; a reason of 100 comes from errno.
  errno = err;
  e.setExceptionCode(code ^ 1, 100);
  RC_ASSERT(e.getExceptionCode() == (code ^ 1) && e.getMessageCode() == (code ^ 1));
  RC_ASSERT(e.getReasonCode() == Scopes::ReasonOf(err) && e.getErrno() == err);
  e.setReasonCode(reason == 100 ? 7 : reason);
  RC_ASSERT(e.getReasonCode() == (reason == 100 ? 7 : reason));
  // Code texts from a tool that is not initialized: the failure text with the code.
  const int textCode = *rc::gen::suchThat(rc::gen::inRange(0, 5000), [](int c) { return c != 99; });
  e.setExceptionCode(textCode, 1, 2);  // three arguments: the text form
  RC_ASSERT(e.getExceptionCode() == textCode);
  RC_ASSERT(e.getExceptionMessage() == "MessageDatabase failed to load id " + std::to_string(textCode));
  e.setReason(textCode + 1, 3);
  RC_ASSERT(e.getReasonCode() == textCode + 1);
  RC_ASSERT(e.getReasonMessage() == "MessageDatabase failed to load id " + std::to_string(textCode + 1));
  errno = err;
  e.setReason(100);
  RC_ASSERT(e.getReasonCode() == Scopes::ReasonOf(err));
  RC_ASSERT(e.getReasonMessage() == "MessageDatabase failed to load id " + std::to_string(textCode + 1));

  // Assignment short of memory never throws and keeps every plain field.
  C_KveloException target("t", "src/t", 1, 5, 6, "prop-stack-key");
  const long assignFail = *rc::gen::inRange(-1L, 4L);
  if (assignFail >= 0) kvtest::FailNewAfter(assignFail);
  target = e;
  kvtest::Heal();
  RC_ASSERT(target.getExceptionCode() == e.getExceptionCode() && target.getReasonCode() == e.getReasonCode());
  RC_ASSERT(target.getErrno() == e.getErrno() && target.getKey() == e.getKey());
  if (assignFail < 0) RC_ASSERT(Scopes::SameException(target, e));
  target = target;
  if (assignFail < 0) RC_ASSERT(Scopes::SameException(target, e));
}

// ---------------------------------------------------------------------------------------------
// The communicator slot: what is installed is what Instance gives, null uninstalls, and every
// default body does nothing with what it is handed.

namespace {
struct Plain : C_Communicator {
  Plain() {
    m_cpuNum = 3;
    m_size = 8;
  }
};
}  // namespace

RC_GTEST_PROP(CommunicatorProps, SlotRoundTripsAndDefaultsDoNothing, ()) {
  C_Communicator* const saved = C_Communicator::Instance();
  Plain a, b;
  const int pick = *rc::gen::inRange(0, 3);
  C_Communicator* want = pick == 0 ? nullptr : pick == 1 ? static_cast<C_Communicator*>(&a) : &b;
  C_Communicator::setInstance(want);
  RC_ASSERT(C_Communicator::Instance() == want);
  C_Communicator::setInstance(nullptr);
  RC_ASSERT(C_Communicator::Instance() == nullptr);
  C_Communicator::setInstance(saved);
  RC_ASSERT(C_Communicator::Instance() == saved);

  const int n = *rc::gen::inRange(0, 5);
  std::vector<int> iv(static_cast<std::size_t>(n) + 1, 7), iv2 = iv;
  std::vector<double> dv(static_cast<std::size_t>(n) + 1, 1.5), dv2 = dv;
  std::vector<std::complex<double>> zv(static_cast<std::size_t>(n) + 1, {1, 2}), zv2 = zv;
  std::vector<std::complex<float>> cv(static_cast<std::size_t>(n) + 1, {3, 4}), cv2 = cv;
  std::vector<float> fv(static_cast<std::size_t>(n) + 1, 2.5f), fv2 = fv;
  std::vector<long long> lv(static_cast<std::size_t>(n) + 1, 9), lv2 = lv;
  bool bv[8] = {true, false, true, false, true, false, true, false};
  int* ip = iv.data();
  double* dp = dv.data();
  const int x = *rc::gen::arbitrary<int>(), y = *rc::gen::arbitrary<int>();
  C_Communicator& c = a;
  c.Bcast(iv.data(), n, x);
  c.Bcast(dv.data(), n, x);
  c.Bcast(zv.data(), n, x);
  c.Bcast(lv.data(), n, x);
  c.Bcast(bv, n, x);
  c.barrier(x);
  c.check(y);
  c.exchange(x, y, iv.data(), iv.data(), iv.data(), iv.data(), iv.data());
  c.exchange(x, y, iv.data(), iv.data(), &ip, iv.data(), &ip);
  c.exchange(x, y, iv.data(), iv.data(), &dp, iv.data(), &dp);
  c.glbMax(n, iv.data());
  c.glbMax(n, dv.data());
  c.glbMax(n, lv.data());
  c.glbMin(n, iv.data());
  c.glbMin(n, dv.data());
  c.glbMin(n, lv.data());
  c.glbOr(n, iv.data());
  c.glbOr(n, bv);
  c.glbSum(n, iv.data());
  c.glbSum(n, dv.data());
  c.glbSum(n, zv.data());
  c.glbSum(n, lv.data());
  c.send(x, y, zv.data(), n);
  c.send(x, y, cv.data(), n);
  c.send(x, y, dv.data(), n);
  c.send(x, y, fv.data(), n);
  c.send(x, y, lv.data(), n);
  c.send(x, y, iv.data(), n);
  c.recv(x, y, zv.data(), n);
  c.recv(x, y, cv.data(), n);
  c.recv(x, y, dv.data(), n);
  c.recv(x, y, fv.data(), n);
  c.recv(x, y, lv.data(), n);
  c.recv(x, y, iv.data(), n);
  c.send(x, y, static_cast<double*>(nullptr), 0);
  c.recv(x, y, static_cast<double*>(nullptr), 0);
  RC_ASSERT(iv == iv2 && dv == dv2 && zv == zv2 && cv == cv2 && fv == fv2 && lv == lv2);
  RC_ASSERT(ip == iv.data() && dp == dv.data());
  RC_ASSERT(bv[0] && !bv[1]);
  RC_ASSERT(a.cpuNum() == 3 && a.size() == 8);
}
