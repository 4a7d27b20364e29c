/* test_exported_symbols.cpp: libkvelo.so exports its interface and nothing of its insides.
 * Every namespace the sources and headers declare, apart from the public ones, is internal;
 * no defined dynamic symbol may be qualified by one of them or by an anonymous namespace,
 * and none may be an instantiation of the standard library's templates. */
#include <gtest/gtest.h>

#include <cxxabi.h>

#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifndef KVELO_LIB_FILE
#error "KVELO_LIB_FILE must name libkvelo.so"
#endif
#ifndef KVELO_SOURCE_DIR
#error "KVELO_SOURCE_DIR must name the source tree"
#endif

namespace {

// The namespaces of the library a host may meet in the dynamic table. The standard library's
// are not among them: its template instantiations (some over internal types) stay inside, and
// a host instantiates its own.
const std::set<std::string> kPublic = {"Kvelo", "MessageCode", "MessageToolEnums"};

bool IdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Every namespace name declared ("namespace name {") in the sources and headers of the
// library, public or not.
std::set<std::string> DeclaredNamespaces() {
  std::set<std::string> out;
  const std::string kw = "namespace";
  for (const char* sub : {"src", "include"}) {
    const std::filesystem::path root = std::filesystem::path(KVELO_SOURCE_DIR) / sub;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
      const std::string ext = e.path().extension().string();
      if (!e.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
      std::ifstream in(e.path());
      std::stringstream text;
      text << in.rdbuf();
      const std::string s = text.str();
      for (std::size_t at = s.find(kw); at != std::string::npos; at = s.find(kw, at + 1)) {
        if (at > 0 && IdentChar(s[at - 1])) continue;
        std::size_t i = at + kw.size();
        if (i >= s.size() || !std::isspace(static_cast<unsigned char>(s[i]))) continue;
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        const std::size_t first = i;
        while (i < s.size() && IdentChar(s[i])) ++i;
        const std::string name = s.substr(first, i - first);
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        if (!name.empty() && i < s.size() && s[i] == '{') out.insert(name);
      }
    }
  }
  return out;
}

// Names of the defined dynamic symbols of a shared object, demangled or as they are stored.
std::vector<std::string> DynamicSymbols(const std::string& file, bool demangled = true) {
  std::vector<std::string> out;
  const std::string cmd = std::string("nm -D --defined-only ") + (demangled ? "-C '" : "'") + file + "' 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  while (std::fgets(buf, sizeof buf, p)) {
    std::string line(buf);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    // "<address> <type> <name...>"
    const std::size_t a = line.find(' ');
    const std::size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
    if (b != std::string::npos) out.push_back(line.substr(b + 1));
  }
  pclose(p);
  return out;
}

// Whether name is qualified anywhere by ns (ns:: at the start or after a non-identifier).
bool QualifiedBy(const std::string& name, const std::string& ns) {
  const std::string q = ns + "::";
  for (std::size_t at = name.find(q); at != std::string::npos; at = name.find(q, at + 1)) {
    const char before = at == 0 ? ' ' : name[at - 1];
    if (!IdentChar(before)) return true;
  }
  return false;
}

TEST(ExportedSymbols, NoInternalNamespaceReachesTheDynamicTable) {
  std::set<std::string> internal;
  for (const std::string& ns : DeclaredNamespaces())
    if (!kPublic.count(ns)) internal.insert(ns);
  // The scan sees the library's own internal namespaces (a guard against a scan that finds
  // nothing and lets everything pass).
  ASSERT_TRUE(internal.count("kriging_internal"));
  ASSERT_TRUE(internal.count("kvlm"));

  const std::vector<std::string> symbols = DynamicSymbols(KVELO_LIB_FILE);
  ASSERT_GT(symbols.size(), 1000u) << "nm found no dynamic table in " << KVELO_LIB_FILE;

  std::vector<std::string> leaked;
  for (const std::string& s : symbols) {
    bool bad = s.find("(anonymous namespace)") != std::string::npos;
    for (const std::string& ns : internal) bad = bad || QualifiedBy(s, ns);
    if (bad) leaked.push_back(s);
  }
  std::string list;
  for (const std::string& s : leaked) list += "\n  " + s;
  EXPECT_TRUE(leaked.empty()) << leaked.size() << " internal symbols exported:" << list;
}

// Whether a mangled name is an entity of the standard library (namespace std, spelled St or
// one of its abbreviations Sa Sb Ss Si So Sd, or __gnu_cxx), or the typeinfo, vtable, guard
// variable or static local of one.
bool StandardLibraryEntity(const std::string& m) {
  if (m.compare(0, 2, "_Z") != 0) return false;
  std::size_t p = 2;
  for (const char* special : {"TV", "TI", "TS", "TT", "GV"})
    if (m.compare(p, 2, special) == 0) {
      p += 2;
      break;
    }
  if (p < m.size() && m[p] == 'Z') ++p;  // a static local: the function that holds it follows
  if (p < m.size() && m[p] == 'L') ++p;  // internal linkage
  if (p < m.size() && m[p] == 'N') {
    ++p;
    while (p < m.size() && (m[p] == 'r' || m[p] == 'V' || m[p] == 'K' || m[p] == 'R' || m[p] == 'O')) ++p;
  }
  if (m.compare(p, 10, "9__gnu_cxx") == 0) return true;
  return p + 1 < m.size() && m[p] == 'S' && std::string("tabsiod").find(m[p + 1]) != std::string::npos;
}

std::string Demangled(const std::string& m) {
  int status = 0;
  char* d = abi::__cxa_demangle(m.c_str(), nullptr, nullptr, &status);
  const std::string out = status == 0 && d != nullptr ? d : m;
  std::free(d);
  return out;
}

TEST(ExportedSymbols, TheCheckKnowsTheStandardLibrarysNames) {
  for (const char* m : {"_ZNSt6vectorIiSaIiEE17_M_realloc_insertIJRKiEEEvN9__gnu_cxx17__normal_iteratorIPiS1_EEDpOT_",
                        "_ZNKSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEE7compareEPKc", "_ZNSaIcED2Ev",
                        "_ZSt4swapIdEvRT_S1_", "_ZTVSt23_Sp_counted_ptr_inplaceIiSaIiELN9__gnu_cxx12_Lock_policyE2EE",
                        "_ZTINSt6thread6_StateE", "_ZTSSt9exception", "_ZGVZNSt8ios_base4InitC4EvE1x",
                        "_ZZNSt6vectorIiSaIiEE4dataEvE1x", "_ZN9__gnu_cxx13new_allocatorIcE8allocateEmPKv"})
    EXPECT_TRUE(StandardLibraryEntity(m)) << m;
  for (const char* m : {"_ZN5Kvelo11C_WorkSpace4FreeEv", "_ZN7KrigingIdE5SolveEv", "_ZTV7KrigingIdE",
                        "_ZN5C_VecISt7complexIdEiE3NrmEi", "_ZTIN5Kvelo17C_KveloExceptionE", "m_free",
                        "_ZN10C_VecShapeIiE7ReshapeEii", "ITF_dgemm"})
    EXPECT_FALSE(StandardLibraryEntity(m)) << m;
}

TEST(ExportedSymbols, NoStandardLibraryInstantiationIsExported) {
  const std::vector<std::string> symbols = DynamicSymbols(KVELO_LIB_FILE, false);
  ASSERT_GT(symbols.size(), 1000u) << "nm found no dynamic table in " << KVELO_LIB_FILE;
  std::string list;
  int leaked = 0;
  for (const std::string& s : symbols)
    if (StandardLibraryEntity(s)) {
      ++leaked;
      list += "\n  " + Demangled(s);
    }
  EXPECT_EQ(leaked, 0) << " standard-library symbols exported:" << list;
}

TEST(ExportedSymbols, InterfaceNamesStayExported) {
  const std::vector<std::string> symbols = DynamicSymbols(KVELO_LIB_FILE);
  const std::set<std::string> have(symbols.begin(), symbols.end());
  // C names a host calls, a class operation and a forwarder.
  for (const char* name : {"zexp", "Erreur", "m_free", "_LM_v_get", "ITF_dgemm",
                           "Kriging<double>::Solve()"})
    EXPECT_TRUE(have.count(name)) << name;
}

}  // namespace
