// test_prop_coverage.cpp: every function libkvelo.so exports is held by a property harness
// (named in some harness's KVELO_HOLDS list) or named, with its reason, in
// coverage_exclusions.txt. The check reads the dynamic table itself, so a function added to
// the library without a harness fails here rather than going unnoticed.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifndef KVELO_LIB_FILE
#error "KVELO_LIB_FILE must name libkvelo.so"
#endif
#ifndef KVELO_PROPS_DIR
#error "KVELO_PROPS_DIR must name tests/properties"
#endif

namespace {

// The name a harness uses for a demangled symbol: no parameter list, no template arguments,
// no return type (template functions demangle with one), no Kvelo:: namespace and no ABI tag.
std::string HeldForm(const std::string& demangled) {
  std::string s = demangled;
  for (const char* tag : {"[abi:cxx11]"}) {
    for (std::size_t at = s.find(tag); at != std::string::npos; at = s.find(tag))
      s.erase(at, std::string(tag).size());
  }
  // The parameter list opens at the first '(' outside template brackets that does not belong
  // to an operator's own name (operator() keeps its pair).
  int depth = 0;
  std::size_t cut = std::string::npos;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '<' && !(i >= 8 && s.compare(i - 8, 8, "operator") == 0)) ++depth;
    else if (c == '>' && depth > 0 && !(i >= 9 && s.compare(i - 9, 9, "operator-") == 0)) --depth;
    else if (c == '(' && depth == 0) {
      if (s.compare(i, 3, "()(") == 0 && i >= 8 && s.compare(i - 8, 8, "operator") == 0) {
        cut = i + 2;
        break;
      }
      cut = i;
      break;
    }
  }
  std::string head = s.substr(0, cut);
  std::string out;
  depth = 0;
  for (std::size_t i = 0; i < head.size(); ++i) {
    const char c = head[i];
    const bool isOperatorChar = i >= 8 && head.compare(i - 8, 8, "operator") == 0;
    if (c == '<' && !isOperatorChar && !(i >= 9 && head.compare(i - 9, 9, "operator<") == 0)) {
      ++depth;
      continue;
    }
    if (c == '>' && depth > 0) {
      --depth;
      continue;
    }
    if (depth == 0) out += c;
  }
  // A return type stands before the name, separated by a blank outside any operator name.
  const std::size_t op = out.find("operator");
  const std::size_t lastBlank = out.rfind(' ', op == std::string::npos ? std::string::npos : op);
  if (lastBlank != std::string::npos && (op == std::string::npos || lastBlank < op)) {
    if (op == std::string::npos || out.find(' ', 0) < op) out = out.substr(lastBlank + 1);
  }
  if (out.compare(0, 7, "Kvelo::") == 0) out.erase(0, 7);
  return out;
}

// Demangled names of the functions (text symbols, weak or not) libkvelo.so exports.
std::set<std::string> ExportedFunctions() {
  std::set<std::string> out;
  const std::string cmd = std::string("nm -D --defined-only -C '") + KVELO_LIB_FILE + "' 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[8192];
  while (std::fgets(buf, sizeof buf, p)) {
    std::string line(buf);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    const std::size_t a = line.find(' ');
    if (a == std::string::npos || a + 2 >= line.size()) continue;
    const char type = line[a + 1];
    if (type != 'T' && type != 'W' && type != 'i') continue;
    const std::string name = line.substr(a + 3);
    // Thunks adjust `this` and jump to a function that is listed in its own right.
    if (name.rfind("non-virtual thunk to ", 0) == 0 || name.rfind("virtual thunk to ", 0) == 0)
      continue;
    out.insert(HeldForm(name));
  }
  pclose(p);
  return out;
}

std::string ReadFile(const std::filesystem::path& f) {
  std::ifstream in(f);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The string literals of every KVELO_HOLDS(...) list in the harnesses, with the harness each
// came from.
std::map<std::string, std::string> HeldNames() {
  std::map<std::string, std::string> held;
  for (const auto& e : std::filesystem::directory_iterator(KVELO_PROPS_DIR)) {
    const std::string file = e.path().filename().string();
    if (file.rfind("prop_", 0) != 0 || e.path().extension() != ".cpp") continue;
    const std::string s = ReadFile(e.path());
    const std::string key = "KVELO_HOLDS(";
    for (std::size_t at = s.find(key); at != std::string::npos; at = s.find(key, at + 1)) {
      int depth = 1;
      for (std::size_t i = at + key.size(); i < s.size() && depth > 0; ++i) {
        if (s[i] == '(') ++depth;
        else if (s[i] == ')') --depth;
        else if (s[i] == '"') {
          const std::size_t end = s.find('"', i + 1);
          if (end == std::string::npos) break;
          held.emplace(s.substr(i + 1, end - i - 1), file);
          i = end;
        }
      }
    }
  }
  return held;
}

struct Exclusion {
  std::string pattern;  // a name, or a prefix ending in '*'
  std::string reason;
};

// coverage_exclusions.txt: "<name or prefix*>  <reason>" a line; '#' starts a comment line.
std::vector<Exclusion> Exclusions() {
  std::vector<Exclusion> out;
  std::istringstream in(ReadFile(std::filesystem::path(KVELO_PROPS_DIR) / "coverage_exclusions.txt"));
  std::string line;
  while (std::getline(in, line)) {
    std::size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos || line[b] == '#') continue;
    const std::size_t e = line.find_first_of(" \t", b);
    Exclusion x;
    x.pattern = line.substr(b, e == std::string::npos ? std::string::npos : e - b);
    if (e != std::string::npos) {
      const std::size_t r = line.find_first_not_of(" \t", e);
      if (r != std::string::npos) x.reason = line.substr(r);
    }
    out.push_back(x);
  }
  return out;
}

bool Matches(const std::string& pattern, const std::string& name) {
  if (!pattern.empty() && pattern.back() == '*')
    return name.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
  return name == pattern;
}

TEST(PropCoverage, TheHeldFormOfDemangledNames) {
  struct Case {
    const char* demangled;
    const char* held;
  } cases[] = {
      {"Kvelo::Kriging<double>::Solve()", "Kriging::Solve"},
      {"Kriging<std::complex<double> >::EvalModel(Kriging<std::complex<double> > const&) const",
       "Kriging::EvalModel"},
      {"C_PtrInCore<double, int>::operator=(C_PtrInCore<double, int> const&)",
       "C_PtrInCore::operator="},
      {"C_Vec<double>::~C_Vec()", "C_Vec::~C_Vec"},
      {"C_TimeManager::operator+=(C_TimeManager const&)", "C_TimeManager::operator+="},
      {"C_Foo::operator<(C_Foo const&) const", "C_Foo::operator<"},
      {"C_Foo::operator()(int)", "C_Foo::operator()"},
      {"int C_RandNum::GetRandNum<int>(int*)", "C_RandNum::GetRandNum"},
      {"void C_Vec_Send<double>(C_Communicator&, C_Vec<double> const&)", "C_Vec_Send"},
      {"C_KveloMessage::getMessage[abi:cxx11]() const", "C_KveloMessage::getMessage"},
      {"_LM_v_get", "_LM_v_get"},
  };
  for (const Case& c : cases) EXPECT_EQ(HeldForm(c.demangled), c.held) << c.demangled;
}

TEST(PropCoverage, EveryExportedFunctionIsHeldOrExcludedWithAReason) {
  const std::set<std::string> exported = ExportedFunctions();
  ASSERT_GT(exported.size(), 1000u) << "nm found no dynamic table in " << KVELO_LIB_FILE;
  const std::map<std::string, std::string> held = HeldNames();
  const std::vector<Exclusion> excluded = Exclusions();
  for (const Exclusion& x : excluded)
    EXPECT_FALSE(x.reason.empty()) << "exclusion without a reason: " << x.pattern;

  std::string missing;
  int count = 0;
  for (const std::string& f : exported) {
    if (held.count(f)) continue;
    bool ex = false;
    for (const Exclusion& x : excluded) ex = ex || Matches(x.pattern, f);
    if (!ex) {
      missing += "\n  " + f;
      ++count;
    }
  }
  EXPECT_EQ(count, 0) << count << " exported functions are held by no harness and not excluded:"
                      << missing;
}

TEST(PropCoverage, HeldAndExcludedNamesAreExported) {
  const std::set<std::string> exported = ExportedFunctions();
  ASSERT_GT(exported.size(), 1000u);
  for (const auto& [name, file] : HeldNames())
    EXPECT_TRUE(exported.count(name)) << file << " holds '" << name << "', which is not exported";
  for (const Exclusion& x : Exclusions()) {
    bool any = false;
    for (const std::string& f : exported) any = any || Matches(x.pattern, f);
    EXPECT_TRUE(any) << "exclusion '" << x.pattern << "' matches no exported function";
  }
}

}  // namespace
